// The Patch menu: copy, replace, update, append and Update All, end to end through a FakeView.
#include "FieldMap.h"
#include "LibraryTestSupport.h"

using namespace quillbox;
using namespace quillbox::test;

namespace {
QByteArray Entries(const QByteArray& store, std::initializer_list<int> indexes) {
    QByteArray out;
    for (int i : indexes)
        out += Entry(store, i);
    return out;
}
} // namespace

class TestTransfer : public QObject {
    Q_OBJECT

    // A library of `libCount` entries (descriptions L1..) and a patches list of `patchCount`
    // (descriptions p1..).
    static void Setup(Fixture& f, int libCount, int patchCount) {
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(libCount),
                      NumberedDescriptions(libCount, QStringLiteral("L")));
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(patchCount, 500),
                        NumberedDescriptions(patchCount, QStringLiteral("p")));
    }

private Q_SLOTS:
    void copy_data() {
        QTest::addColumn<int>("libCount");
        QTest::addColumn<int>("libSelected");
        QTest::addColumn<int>("patch");
        QTest::addColumn<int>("at"); // position of the new entry; -1 nothing copied
        QTest::newRow("after entry 2 of 5") << 5 << 2 << 1 << 3;
        QTest::newRow("after the last entry") << 5 << 4 << 0 << 5;
        QTest::newRow("no library selection: at the end") << 5 << -1 << 2 << 5;
        QTest::newRow("into an empty library") << 0 << -1 << 0 << 0;
        QTest::newRow("no patch selected") << 5 << 2 << -1 << -1;
    }
    void copy() {
        QFETCH(int, libCount);
        QFETCH(int, libSelected);
        QFETCH(int, patch);
        QFETCH(int, at);
        Fixture f;
        Setup(f, libCount, 3);
        const QByteArray lib = f.S().LibraryData;
        const QStringList desc = f.S().DescArray;
        if (libSelected >= 0)
            f.Ctl().LibraryClicked(libSelected);
        if (patch >= 0)
            f.Ctl().PatchesClicked(patch);
        const int refills = f.view.library.refills;
        const DetailValues shown = *f.view.details;

        f.Ctl().CopySelectedPatch();

        QByteArray expectedLib = lib;
        QStringList expectedDesc = desc;
        if (at >= 0) {
            expectedLib.insert(at * 18, Entry(MakeStore(3, 500), patch));
            expectedDesc.insert(at + 1, QStringLiteral("p%1").arg(patch + 1));
        }
        QCOMPARE(f.S().LibraryData, expectedLib);
        QCOMPARE(f.S().DescArray, expectedDesc);
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.view.library.refills, refills + 1);
        QCOMPARE(f.view.library.count, libCount + (at >= 0 ? 1 : 0));
        QCOMPARE(f.view.library.toolTip, QStringLiteral("%1 Patches").arg(f.view.library.count));
        QCOMPARE(f.view.library.selected, -1);
        QCOMPARE(f.S().LibSelection, -1);
        QCOMPARE(f.S().PatchesSelection, patch);
        QCOMPARE(*f.view.details, shown); // the panel keeps what it showed
    }

    // Patches go only into a loaded library: one that was never loaded could not be saved. Once a
    // new, empty library exists the first copy gives it elements 0 and 1.
    void copyNeedsALoadedLibrary() {
        Fixture f;
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(2, 7), {QStringLiteral("only")});
        f.Ctl().PatchesClicked(0);
        f.Ctl().PatchesDoubleClicked();
        f.Ctl().AppendAllPatches();
        QVERIFY(f.S().LibraryData.isEmpty());
        QVERIFY(f.S().DescArray.isEmpty());
        QVERIFY(!f.S().LibChanged);
        QCOMPARE(f.view.messages.size(), 2);
        QVERIFY(f.view.messages[0].text.startsWith(QStringLiteral("No library is loaded.")));

        f.view.paths.push_back(f.Path(QStringLiteral("new")));
        f.Ctl().LoadLib();
        f.Ctl().CopySelectedPatch();
        QCOMPARE(f.S().LibraryData, Entry(MakeStore(2, 7), 0));
        QCOMPARE(f.S().DescArray, (QStringList{QString(), QStringLiteral("only")}));
        QVERIFY(f.S().LibChanged);
    }

    // A double click copies as the menu command does, and marks the library changed.
    void twoDoubleClicks() {
        Fixture f;
        Setup(f, 4, 3);
        const QByteArray lib = f.S().LibraryData;
        const QByteArray patches = f.S().PatchesData;
        f.Ctl().LibraryClicked(1);
        f.Ctl().PatchesClicked(0);
        f.Ctl().PatchesDoubleClicked();
        QVERIFY(f.S().LibChanged);
        f.Ctl().PatchesClicked(2);
        f.Ctl().PatchesDoubleClicked();
        QCOMPARE(f.S().LibraryData,
                 Entries(lib, {0, 1}) + Entry(patches, 0) + Entries(lib, {2, 3}) + Entry(patches, 2));
        QCOMPARE(f.S().DescArray,
                 (QStringList{QString(), QStringLiteral("L1"), QStringLiteral("L2"), QStringLiteral("p1"),
                              QStringLiteral("L3"), QStringLiteral("L4"), QStringLiteral("p3")}));
    }

    void doubleClickWithoutPatchChangesNothing() {
        Fixture f;
        Setup(f, 2, 2);
        f.Ctl().PatchesDoubleClicked();
        QCOMPARE(f.S().LibraryData, MakeStore(2));
        QVERIFY(!f.S().LibChanged);
    }

    void replaceAndUpdate_data() {
        QTest::addColumn<bool>("withDescription");
        QTest::addColumn<bool>("sideFile");
        QTest::newRow("replace") << true << true;
        QTest::newRow("replace, patch without description") << true << false;
        QTest::newRow("update") << false << true;
    }
    void replaceAndUpdate() {
        QFETCH(bool, withDescription);
        QFETCH(bool, sideFile);
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(3),
                      NumberedDescriptions(3, QStringLiteral("L")));
        const QByteArray patches = MakeStore(2, 300);
        f.ImportPatches(QStringLiteral("in.pch"), patches,
                        sideFile ? NumberedDescriptions(2, QStringLiteral("p")) : QStringList());
        f.Ctl().LibraryClicked(1);
        f.Ctl().PatchesClicked(1);
        f.Ctl().LibraryClicked(1); // the panel shows library entry 1
        QCOMPARE(f.view.description, QStringLiteral("L2"));

        if (withDescription)
            f.Ctl().ReplaceSelectedPatch();
        else
            f.Ctl().UpdateLibWithSelected();

        QCOMPARE(f.S().LibraryData, Entry(MakeStore(3), 0) + Entry(patches, 1) + Entry(MakeStore(3), 2));
        const QString expected =
            withDescription ? (sideFile ? QStringLiteral("p2") : QString()) : QStringLiteral("L2");
        QCOMPARE(f.S().DescArray.at(2), expected);
        QCOMPARE(f.S().DescArray.size(), 4);
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.view.library.selected, -1);
        // The panel shows the image now stored, and the box the description now stored.
        QCOMPARE(*f.view.details, ShowPatchDetails(PatchImage(Entry(patches, 1))));
        QCOMPARE(f.S().CurrentPatch.Bytes(), Entry(patches, 1));
        QCOMPARE(f.view.description, expected);
        // Typing on goes to that entry and keeps the replaced description as its start.
        f.Ctl().DescriptionEdited(expected + QStringLiteral("!"));
        QCOMPARE(f.S().DescArray.at(2), expected + QStringLiteral("!"));
    }

    void replaceWithoutSelectionChangesNoData_data() {
        QTest::addColumn<int>("lib");
        QTest::addColumn<int>("patch");
        QTest::newRow("no library selection") << -1 << 0;
        QTest::newRow("no patch selection") << 0 << -1;
    }
    void replaceWithoutSelectionChangesNoData() {
        QFETCH(int, lib);
        QFETCH(int, patch);
        Fixture f;
        Setup(f, 2, 2);
        if (patch >= 0)
            f.Ctl().PatchesClicked(patch);
        if (lib >= 0)
            f.Ctl().LibraryClicked(lib);
        f.Ctl().ReplaceSelectedPatch();
        QCOMPARE(f.S().LibraryData, MakeStore(2));
        QCOMPARE(f.S().DescArray, WithElementZero(NumberedDescriptions(2, QStringLiteral("L"))));
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.view.library.selected, -1);
    }

    void appendAll_data() {
        QTest::addColumn<int>("patchCount");
        QTest::newRow("empty patches list") << 0;
        QTest::newRow("three patches") << 3;
    }
    void appendAll() {
        QFETCH(int, patchCount);
        Fixture f;
        Setup(f, 2, patchCount);
        f.Ctl().LibraryClicked(1);
        f.Ctl().AppendAllPatches();
        QCOMPARE(f.S().LibraryData, MakeStore(2) + MakeStore(patchCount, 500));
        QCOMPARE(f.S().DescArray, WithElementZero(NumberedDescriptions(2, QStringLiteral("L")) +
                                                  NumberedDescriptions(patchCount, QStringLiteral("p"))));
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.view.library.selected, -1);
        QCOMPARE(f.S().LibSelection, -1);
        QCOMPARE(f.view.library.count, 2 + patchCount);
    }

    void appendDifferent() {
        Fixture f;
        const QByteArray lib = MakeStore(3);
        f.LoadLibrary(QStringLiteral("lib.pslib"), lib, NumberedDescriptions(3, QStringLiteral("L")));
        const QByteArray a = MakeImage(QStringLiteral("NEWA"), 900);
        const QByteArray b = MakeImage(QStringLiteral("NEWB"), 901);
        QByteArray sameNameOtherBytes = Entry(lib, 1);
        sameNameOtherBytes[0] = char(sameNameOtherBytes[0] ^ 1);
        // a, copy of library entry 1, b, a again, a different image under entry 1's name, b again.
        const QByteArray patches = a + Entry(lib, 1) + b + a + sameNameOtherBytes + b;
        f.ImportPatches(QStringLiteral("in.pch"), patches, NumberedDescriptions(6, QStringLiteral("p")));
        f.Ctl().LibraryClicked(0);

        f.Ctl().AppendDifferentPatches();
        QCOMPARE(f.S().LibraryData, lib + a + b + sameNameOtherBytes);
        QCOMPARE(f.S().DescArray, WithElementZero(NumberedDescriptions(3, QStringLiteral("L")) +
                                                  QStringList{QStringLiteral("p1"), QStringLiteral("p3"),
                                                              QStringLiteral("p5")}));
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.view.library.selected, -1);

        // Run again: everything is known now.
        f.Ctl().AppendDifferentPatches();
        QCOMPARE(f.S().LibraryData, lib + a + b + sameNameOtherBytes);
    }

    void updateAll_data() {
        QTest::addColumn<QString>("case_");
        QTest::newRow("first three names agree") << "agree";
        QTest::newRow("names agree at other positions") << "shifted";
        QTest::newRow("images already equal") << "equal";
    }
    void updateAll() {
        QFETCH(QString, case_);
        Fixture f;
        const QByteArray lib = MakeStore(10);
        f.LoadLibrary(QStringLiteral("lib.pslib"), lib, NumberedDescriptions(10, QStringLiteral("L")));
        QByteArray patches;
        if (case_ == QStringLiteral("agree")) {
            for (int i = 0; i < 3; ++i)
                patches += MakeImage(QStringLiteral("P%1").arg(i), 700 + i); // same names, other bytes
        } else if (case_ == QStringLiteral("shifted")) {
            for (int i = 0; i < 3; ++i)
                patches += MakeImage(QStringLiteral("P%1").arg(i + 1), 700 + i);
        } else {
            patches = lib.left(3 * 18);
        }
        f.ImportPatches(QStringLiteral("in.pch"), patches);
        f.Ctl().LibraryClicked(1); // the panel shows entry 1
        const int refills = f.view.library.refills;
        const QStringList desc = f.S().DescArray;

        f.Ctl().UpdateAllPatchesInLib();

        const bool agree = case_ == QStringLiteral("agree");
        QCOMPARE(f.S().LibraryData, agree ? patches + lib.mid(3 * 18) : lib);
        QCOMPARE(f.S().LibChanged, agree);
        QCOMPARE(f.S().DescArray, desc);
        QCOMPARE(f.view.library.refills, refills);
        QCOMPARE(f.S().LibSelection, 1);
        if (agree)
            QCOMPARE(*f.view.details, ShowPatchDetails(PatchImage(Entry(patches, 1))));
    }

    // Patches cut short by the end of their file go into the library as whole 18-byte images, so
    // the entries after them keep their places.
    void shortPatchIsPaddedWhenCarriedIn() {
        Fixture f;
        const QByteArray lib = MakeStore(3);
        f.LoadLibrary(QStringLiteral("lib.pslib"), lib);
        const QByteArray patches = MakeStore(1, 40) + QByteArray("\x09\x08\x07\x06", 4);
        f.ImportPatches(QStringLiteral("in.pch"), patches);
        f.Ctl().LibraryClicked(0);
        f.Ctl().PatchesClicked(1);
        f.Ctl().CopySelectedPatch();
        const QByteArray padded = QByteArray("\x09\x08\x07\x06", 4) + QByteArray(14, ' ');
        QCOMPARE(f.S().LibraryData, Entry(lib, 0) + padded + lib.mid(18));
        QCOMPARE(f.view.library.count, 4);
        QCOMPARE(f.view.library.lines.at(2), QStringLiteral("03:  P1    "));
    }
};

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_Transfer.moc"
