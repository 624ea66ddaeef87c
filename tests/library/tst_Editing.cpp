// The details panel's five bound handlers, selection, and the description box.
#include "FieldMap.h"
#include "LibraryTestSupport.h"

using namespace quillbox;
using namespace quillbox::test;

namespace {
// An image with chosen bytes 1, 3 and 17 (counted from 1) and everything else from MakeImage.
QByteArray WithBytes(int seed, int b1, int b3, int b17) {
    QByteArray image = MakeImage(QStringLiteral("E%1").arg(seed), seed);
    image[0] = char(b1);
    image[2] = char(b3);
    image[16] = char((b17 & 0xFE) | (image[16] & 1)); // bit 0 belongs to the name
    return image;
}
} // namespace

class TestEditing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void boundHandlerChangesOneField_data() {
        QTest::addColumn<int>("handler"); // 0 drive type, 1 cab type, 2 cab speaker, 3 chkDrive, 4 chkCab
        QTest::addColumn<int>("value");   // entry index, or the box's state at the press (0/1)
        QTest::addColumn<int>("b1");
        QTest::addColumn<int>("b3");
        QTest::addColumn<int>("b17");
        QTest::addColumn<int>("newB1");
        QTest::addColumn<int>("newB3");
        QTest::addColumn<int>("newB17");
        // clang-format off
        QTest::newRow("drive type 27 -> Tweet keeps bits 5-7") << 0 << 2 << 0xFB << 0x00 << 0x00 << 0xE2 << 0x00 << 0x00;
        QTest::newRow("drive type 0 -> 23")                   << 0 << 23 << 0x40 << 0x5A << 0x06 << 0x57 << 0x5A << 0x06;
        QTest::newRow("cab type keeps speaker, bits 0 and 7")  << 1 << 5 << 0x11 << 0xF1 << 0x00 << 0x11 << 0xFB << 0x00;
        QTest::newRow("cab type 0")                            << 1 << 0 << 0x00 << 0xFF << 0x00 << 0x00 << 0xF1 << 0x00;
        QTest::newRow("cab speaker keeps type, bits 0 and 7")  << 2 << 6 << 0x00 << 0x8F << 0x00 << 0x00 << 0xEF << 0x00;
        QTest::newRow("cab speaker 0")                         << 2 << 0 << 0x00 << 0xFF << 0x00 << 0x00 << 0x8F << 0x00;
        QTest::newRow("unchecked Drive pressed sets bit 1")   << 3 << 0 << 0x00 << 0x00 << 0xF8 << 0x00 << 0x00 << 0xFA;
        QTest::newRow("checked Drive pressed clears bit 1")   << 3 << 1 << 0x00 << 0x00 << 0xFE << 0x00 << 0x00 << 0xFC;
        QTest::newRow("unchecked Cab pressed sets bit 2")     << 4 << 0 << 0x00 << 0x00 << 0x02 << 0x00 << 0x00 << 0x06;
        QTest::newRow("checked Cab pressed clears bit 2")     << 4 << 1 << 0x00 << 0x00 << 0xFE << 0x00 << 0x00 << 0xFA;
        // clang-format on
    }
    void boundHandlerChangesOneField() {
        QFETCH(int, handler);
        QFETCH(int, value);
        QFETCH(int, b1);
        QFETCH(int, b3);
        QFETCH(int, b17);
        QFETCH(int, newB1);
        QFETCH(int, newB3);
        QFETCH(int, newB17);
        Fixture f;
        const QByteArray target = WithBytes(1, b1, b3, b17);
        const QByteArray lib = MakeStore(1) + target + MakeStore(1, 5);
        f.LoadLibrary(QStringLiteral("lib.pslib"), lib);
        f.Ctl().LibraryClicked(1);
        const PatchImage shownBefore = f.S().CurrentPatch;

        switch (handler) {
        case 0:
            f.Ctl().DriveTypePicked(value);
            break;
        case 1:
            f.Ctl().CabTypePicked(value);
            break;
        case 2:
            f.Ctl().CabSpeakerPicked(value);
            break;
        case 3:
            f.Ctl().DriveMousePressed(value != 0);
            break;
        default:
            f.Ctl().CabMousePressed(value != 0);
            break;
        }
        QByteArray expected = target;
        expected[0] = char(newB1);
        expected[2] = char(newB3);
        expected[16] = char((newB17 & 0xFE) | (target[16] & 1));
        QCOMPARE(Entry(f.S().LibraryData, 1), expected);
        QCOMPARE(Entry(f.S().LibraryData, 0), Entry(lib, 0));
        QCOMPARE(Entry(f.S().LibraryData, 2), Entry(lib, 2));
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.S().PatchIndex, 1);
        QCOMPARE(f.S().CurrentPatch, shownBefore);
        QCOMPARE(f.view.library.refills, 1); // no list line holds a bound field
    }

    void changeAllCabSpeaker() {
        Fixture f;
        QByteArray lib;
        for (int i = 0; i < 6; ++i)
            lib += WithBytes(i, i * 41, (i * 2 + 1) | (i % 2 ? 0x80 : 0), i * 3);
        f.LoadLibrary(QStringLiteral("lib.pslib"), lib);
        f.Ctl().LibraryClicked(4);
        const PatchImage current = f.S().CurrentPatch;
        f.Ctl().SetChangeAll(true);
        f.Ctl().CabSpeakerPicked(4);

        for (int i = 0; i < 6; ++i) {
            QByteArray expected = Entry(lib, i);
            expected[2] = char((expected[2] & 0x8F) | 0x40);
            QCOMPARE(Entry(f.S().LibraryData, i), expected);
        }
        QCOMPARE(f.S().PatchIndex, 4);
        QCOMPARE(f.S().CurrentPatch, current);
        QVERIFY(f.S().LibChanged);

        // Back to "Change  Selected": only the entry shown changes.
        f.Ctl().SetChangeAll(false);
        const QByteArray before = f.S().LibraryData;
        f.Ctl().CabTypePicked(0);
        QCOMPARE(f.S().LibraryData.left(4 * 18), before.left(4 * 18));
        QCOMPARE(f.S().LibraryData.mid(5 * 18), before.mid(5 * 18));
        QCOMPARE(quint8(f.S().LibraryData[4 * 18 + 2]) & 0x0E, 0);
    }

    // An imported patch is shown read-only: no handler writes anywhere.
    void importedPatchIsReadOnly_data() {
        QTest::addColumn<bool>("changeAll");
        QTest::newRow("Change  Selected") << false;
        QTest::newRow("Change  All") << true;
    }
    void importedPatchIsReadOnly() {
        QFETCH(bool, changeAll);
        Fixture f;
        const QByteArray lib = MakeStore(3);
        f.LoadLibrary(QStringLiteral("lib.pslib"), lib);
        const QByteArray patch = WithBytes(9, 0x13, 0x2A, 0x06);
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(1, 3) + patch);
        f.Ctl().LibraryClicked(1);
        f.Ctl().PatchesClicked(1);
        QCOMPARE(f.view.detailsEnabled, std::optional<bool>(false));
        const DetailValues expected{0x13, 5, 2, true, true};
        QCOMPARE(*f.view.details, expected);

        f.Ctl().SetChangeAll(changeAll);
        f.Ctl().DriveTypePicked(1);
        f.Ctl().CabTypePicked(1);
        f.Ctl().CabSpeakerPicked(1);
        f.Ctl().DriveMousePressed(true);
        f.Ctl().CabMousePressed(true);
        QCOMPARE(f.S().LibraryData, lib);
        QCOMPARE(f.S().PatchesData, MakeStore(1, 3) + patch);
        QVERIFY(!f.S().LibChanged);
    }

    void changeAllOnEmptyLibraryChangesNothing() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), QByteArray());
        f.Ctl().SetChangeAll(true);
        f.Ctl().CabTypePicked(2);
        f.Ctl().CabMousePressed(false);
        QCOMPARE(f.S().LibraryData, QByteArray());
        QVERIFY(!f.S().LibChanged);
    }

    // A change to a last entry cut short fills it up to 18 bytes with blanks.
    void changeToShortLastEntryPadsIt() {
        Fixture f;
        const QByteArray lib = MakeStore(1) + QByteArray("\x01\x02\x03\x04\x05", 5);
        f.LoadLibrary(QStringLiteral("lib.pslib"), lib);
        f.Ctl().LibraryClicked(1);
        f.Ctl().DriveTypePicked(7);
        QCOMPARE(f.S().LibraryData,
                 MakeStore(1) + QByteArray("\x07\x02\x03\x04\x05", 5) + QByteArray(13, ' '));
    }

    void selectPatch() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(3),
                      {QStringLiteral("one"), QStringLiteral("two"), QString()});
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(2, 30), {QStringLiteral("first&*&line")});

        // Without a selection nothing changes (the click still makes the list the active one).
        f.Ctl().LibraryClicked(2);
        const DetailValues shown = *f.view.details;
        const int sets = f.view.descriptionSets;
        f.Ctl().MutableState().PatchesSelection = -1;
        f.Ctl().SelectPatch(false);
        QCOMPARE(f.S().PatchIndex, 2);
        QCOMPARE(*f.view.details, shown);
        QCOMPARE(f.view.descriptionSets, sets);

        // A library entry shows its own element, never element 0.
        f.Ctl().MutableState().DescArray[0] = QStringLiteral("element zero");
        f.Ctl().LibraryClicked(0);
        QCOMPARE(f.view.description, QStringLiteral("one"));
        QCOMPARE(f.view.counter, QStringLiteral("3/255"));
        QCOMPARE(f.view.detailsEnabled, std::optional<bool>(true));
        QCOMPARE(f.S().CurrentPatch.Bytes(), Entry(MakeStore(3), 0));

        // An imported patch shows the description from its side file; the counter keeps its value.
        f.Ctl().PatchesClicked(0);
        QCOMPARE(f.S().ActiveList, ActiveListPatches);
        QCOMPARE(f.view.description, QStringLiteral("first\r\nline"));
        QCOMPARE(f.view.counter, QStringLiteral("3/255"));
        QCOMPARE(f.view.detailsEnabled, std::optional<bool>(false));
        QCOMPARE(f.S().CurrentPatch.Bytes(), Entry(MakeStore(2, 30), 0));
        f.Ctl().PatchesClicked(1); // no key for it
        QCOMPARE(f.view.description, QString());
        QVERIFY(!f.S().LibChanged);
    }

    void patchWithoutSideFileHasEmptyDescription() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(1), {QStringLiteral("one")});
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(1, 30));
        f.Ctl().LibraryClicked(0);
        f.Ctl().PatchesClicked(0);
        QCOMPARE(f.view.description, QString());
    }

    void typedDescriptions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("counter");
        QTest::newRow("Hello") << "Hello"
                               << "5/255";
        QTest::newRow("two lines") << "ab\r\nc"
                                   << "5/255";
        QTest::newRow("empty") << ""
                               << "0/255";
        QTest::newRow("255 characters") << QString(255, QLatin1Char('x')) << "255/255";
    }
    void typedDescriptions() {
        QFETCH(QString, text);
        QFETCH(QString, counter);
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(4), NumberedDescriptions(4));
        QVERIFY(f.Ctl().SaveLib());
        f.Ctl().LibraryClicked(2);
        QVERIFY(!f.S().LibChanged);
        f.Ctl().DescriptionEdited(text);
        QStringList expected = WithElementZero(NumberedDescriptions(4));
        expected[3] = text;
        QCOMPARE(f.S().DescArray, expected);
        QCOMPARE(f.view.counter, counter);
        // A typed change marks the library changed even without a click into the box.
        QVERIFY(f.S().LibChanged);
    }

    void typingTheStoredTextChangesNothing() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(2), NumberedDescriptions(2));
        f.Ctl().LibraryClicked(1);
        f.Ctl().DescriptionEdited(QStringLiteral("d2"));
        QVERIFY(!f.S().LibChanged);
        f.Ctl().DescriptionClicked();
        QVERIFY(f.S().LibChanged);
    }

    void typingWhileImportedPatchShownStoresNothing() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(2), NumberedDescriptions(2));
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(2, 30));
        f.Ctl().LibraryClicked(1);
        f.Ctl().PatchesClicked(0);
        f.Ctl().DescriptionEdited(QStringLiteral("lost"));
        QCOMPARE(f.S().DescArray, WithElementZero(NumberedDescriptions(2)));
        QCOMPARE(f.view.counter, QStringLiteral("2/255"));
        QVERIFY(!f.S().LibChanged);
    }

    void typingWithoutLibraryOnlyCounts() {
        Fixture f;
        f.Ctl().MutableState().ActiveList = ActiveListLibrary;
        f.Ctl().DescriptionEdited(QStringLiteral("abc"));
        QVERIFY(f.S().DescArray.isEmpty());
        QCOMPARE(f.view.counter, QStringLiteral("3/255"));
        QVERIFY(!f.S().LibChanged);
        // A click into the box marks a change, but with no library there is nothing to save.
        f.Ctl().DescriptionClicked();
        QVERIFY(f.S().LibChanged);
        QVERIFY(f.Ctl().QueryClose());
        QCOMPARE(f.view.saveQuestions, 0);
    }

    void descLockStoresNothing() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(2), NumberedDescriptions(2));
        f.Ctl().LibraryClicked(0);
        f.Ctl().MutableState().DescLock = true;
        f.Ctl().DescriptionEdited(QString());
        QCOMPARE(f.S().DescArray.at(1), QStringLiteral("d1"));
        QCOMPARE(f.view.counter, QStringLiteral("2/255"));
    }

    // A stale index never writes element 0 or grows the array.
    void staleIndexWritesNothing() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(2), NumberedDescriptions(2));
        f.Ctl().LibraryClicked(1);
        f.Ctl().MutableState().PatchIndex = 5;
        f.Ctl().DescriptionEdited(QStringLiteral("x"));
        f.Ctl().MutableState().PatchIndex = -1;
        f.Ctl().DescriptionEdited(QStringLiteral("y"));
        f.Ctl().DriveTypePicked(1);
        QCOMPARE(f.S().DescArray, WithElementZero(NumberedDescriptions(2)));
        QCOMPARE(f.S().LibraryData, MakeStore(2));
        QVERIFY(!f.S().LibChanged);
    }

    void nameBoxChangesNothing() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(2), NumberedDescriptions(2));
        f.Ctl().LibraryClicked(1);
        const LibraryState before = f.S();
        f.Ctl().NameKeyReleased(65, 0);
        f.Ctl().NameKeyReleased(32, 1);
        QCOMPARE(f.S().LibraryData, before.LibraryData);
        QCOMPARE(f.S().DescArray, before.DescArray);
        QCOMPARE(f.S().LibChanged, before.LibChanged);
    }
};

QTEST_GUILESS_MAIN(TestEditing)
#include "tst_Editing.moc"
