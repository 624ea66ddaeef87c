// The Library menu: move, clone, delete and Random Modification.
#include "FieldMap.h"
#include "LibraryTestSupport.h"
#include "PatchList.h"

#include <QLocale>
#include <QSet>

using namespace quillbox;
using namespace quillbox::test;

class TestArrangement : public QObject {
    Q_OBJECT

    static void Setup(Fixture& f, int count) {
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(count), NumberedDescriptions(count));
    }

private Q_SLOTS:
    // Commands whose precondition is not met change nothing at all.
    void commandsWithoutPrecondition_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("command"); // 0 up, 1 down, 2 clone, 3 random
        QTest::newRow("up on entry 0") << 3 << 0 << 0;
        QTest::newRow("down on the last entry") << 3 << 2 << 1;
        QTest::newRow("up, empty library") << 0 << -1 << 0;
        QTest::newRow("down, empty library") << 0 << -1 << 1;
        QTest::newRow("clone, empty library") << 0 << -1 << 2;
        QTest::newRow("up, no selection") << 3 << -1 << 0;
        QTest::newRow("down, no selection") << 3 << -1 << 1;
        QTest::newRow("clone, no selection") << 3 << -1 << 2;
        QTest::newRow("random, no selection") << 3 << -1 << 3;
    }
    void commandsWithoutPrecondition() {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(int, command);
        Fixture f;
        Setup(f, count);
        if (selected >= 0)
            f.Ctl().LibraryClicked(selected);
        const LibraryState before = f.S();
        const int refills = f.view.library.refills;
        switch (command) {
        case 0:
            f.Ctl().MoveUp();
            break;
        case 1:
            f.Ctl().MoveDown();
            break;
        case 2:
            f.Ctl().ClonePatch();
            break;
        default:
            f.Ctl().RandomModification();
            break;
        }
        QCOMPARE(f.S().LibraryData, before.LibraryData);
        QCOMPARE(f.S().DescArray, before.DescArray);
        QCOMPARE(f.S().LibSelection, before.LibSelection);
        QVERIFY(!f.S().LibChanged);
        QCOMPARE(f.view.library.refills, refills);
        QVERIFY(f.view.messages.isEmpty());
    }

    void moveAndClone_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("command"); // 0 up, 1 down, 2 clone
        QTest::addColumn<QList<int>>("order");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("up: entry 1 of 2") << 2 << 1 << 0 << QList<int>{1, 0} << 0;
        QTest::newRow("up: entry 3 of 5") << 5 << 3 << 0 << QList<int>{0, 1, 3, 2, 4} << 2;
        QTest::newRow("down: entry 0 of 2") << 2 << 0 << 1 << QList<int>{1, 0} << 1;
        QTest::newRow("down: entry 2 of 5") << 5 << 2 << 1 << QList<int>{0, 1, 3, 2, 4} << 3;
        QTest::newRow("clone: last entry") << 3 << 2 << 2 << QList<int>{0, 1, 2, 2} << 3;
        QTest::newRow("clone: entry 0") << 3 << 0 << 2 << QList<int>{0, 0, 1, 2} << 1;
    }
    void moveAndClone() {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(int, command);
        QFETCH(QList<int>, order);
        QFETCH(int, selectedAfter);
        Fixture f;
        Setup(f, count);
        const QByteArray lib = f.S().LibraryData;
        f.Ctl().LibraryClicked(selected);
        if (command == 0)
            f.Ctl().MoveUp();
        else if (command == 1)
            f.Ctl().MoveDown();
        else
            f.Ctl().ClonePatch();

        QByteArray expectedLib;
        QStringList expectedDesc{QString()};
        for (int i : order) {
            expectedLib += Entry(lib, i);
            expectedDesc.append(QStringLiteral("d%1").arg(i + 1));
        }
        QCOMPARE(f.S().LibraryData, expectedLib);
        QCOMPARE(f.S().DescArray, expectedDesc);
        QVERIFY(f.S().LibChanged);
        // The moved entry or the copy is selected and shown, as after a click.
        QCOMPARE(f.view.library.selected, selectedAfter);
        QCOMPARE(f.S().LibSelection, selectedAfter);
        QCOMPARE(f.S().PatchIndex, selectedAfter);
        QCOMPARE(f.S().ActiveList, ActiveListLibrary);
        QCOMPARE(f.view.description, expectedDesc.at(selectedAfter + 1));
        QCOMPARE(*f.view.details, ShowPatchDetails(PatchImage(Entry(expectedLib, selectedAfter))));
        QCOMPARE(f.view.detailsEnabled, std::optional<bool>(true));
        QCOMPARE(f.view.library.count, order.size());
    }

    void deleteSelected_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QList<int>>("remaining");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("last entry of 4") << 4 << 3 << QList<int>{0, 1, 2} << 2;
        QTest::newRow("entry 1 of 4") << 4 << 1 << QList<int>{0, 2, 3} << 1;
        QTest::newRow("the only entry") << 1 << 0 << QList<int>{} << -1;
        QTest::newRow("no selection, 3 entries") << 3 << -1 << QList<int>{0, 1, 2} << 0;
        QTest::newRow("no selection, empty") << 0 << -1 << QList<int>{} << -1;
    }
    void deleteSelected() {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(QList<int>, remaining);
        QFETCH(int, selectedAfter);
        Fixture f;
        Setup(f, count);
        const QByteArray lib = f.S().LibraryData;
        if (selected >= 0)
            f.Ctl().LibraryClicked(selected);
        f.Ctl().DeleteSelected();

        QByteArray expectedLib;
        QStringList expectedDesc{QString()};
        for (int i : remaining) {
            expectedLib += Entry(lib, i);
            expectedDesc.append(QStringLiteral("d%1").arg(i + 1));
        }
        QCOMPARE(f.S().LibraryData, expectedLib);
        QCOMPARE(f.S().DescArray, expectedDesc);
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.view.library.selected, selectedAfter);
        if (selectedAfter >= 0) {
            // The box shows the entry now selected, and typing goes to it.
            QCOMPARE(f.view.description, expectedDesc.at(selectedAfter + 1));
            QCOMPARE(f.view.detailsEnabled, std::optional<bool>(true));
            f.Ctl().DescriptionEdited(QStringLiteral("typed"));
            QCOMPARE(f.S().DescArray.at(selectedAfter + 1), QStringLiteral("typed"));
        } else {
            QCOMPARE(f.view.description, QString());
            QCOMPARE(f.view.detailsEnabled, std::optional<bool>(false));
            QCOMPARE(f.S().PatchIndex, -1);
        }
    }

    void deleteAll_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("three entries") << 3;
        QTest::newRow("already empty") << 0;
    }
    void deleteAll() {
        QFETCH(int, count);
        Fixture f;
        Setup(f, count);
        if (count > 0)
            f.Ctl().LibraryClicked(1);
        f.Ctl().DeleteAll();
        QCOMPARE(f.S().LibraryData, QByteArray());
        QCOMPARE(f.S().DescArray, QStringList{QString()});
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.view.library.count, 0);
        QCOMPARE(f.view.library.toolTip, QStringLiteral("0 Patches"));
        QCOMPARE(f.view.library.selected, -1);
        QCOMPARE(f.view.description, QString());
        QCOMPARE(f.view.detailsEnabled, std::optional<bool>(false));
    }

    // Nothing edited in the panel or the box after the last entry went lands in the library.
    void editsAfterEverythingWasDeletedChangeNothing_data() {
        QTest::addColumn<bool>("deleteAll");
        QTest::newRow("Delete ALL") << true;
        QTest::newRow("Delete Selected on the only entry") << false;
    }
    void editsAfterEverythingWasDeletedChangeNothing() {
        QFETCH(bool, deleteAll);
        Fixture f;
        Setup(f, 1);
        f.Ctl().LibraryClicked(0);
        if (deleteAll)
            f.Ctl().DeleteAll();
        else
            f.Ctl().DeleteSelected();
        QVERIFY(f.Ctl().SaveLib());
        QVERIFY(!f.S().LibChanged);

        f.Ctl().DriveTypePicked(3);
        f.Ctl().DriveMousePressed(false);
        f.Ctl().SetChangeAll(true);
        f.Ctl().CabSpeakerPicked(2);
        f.Ctl().DescriptionEdited(QStringLiteral("ghost"));
        QCOMPARE(f.S().LibraryData, QByteArray());
        QCOMPARE(f.S().DescArray, QStringList{QString()});
        QVERIFY(!f.S().LibChanged);
    }

    void randomModification_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected");
        QTest::newRow("entry 0 of 1") << 1 << 0;
        QTest::newRow("entry 2 of 5") << 5 << 2;
    }
    void randomModification() {
        QFETCH(int, count);
        QFETCH(int, selected);
        Fixture f;
        Setup(f, count);
        const QByteArray lib = f.S().LibraryData;
        const QDateTime when(QDate(2024, 3, 9), QTime(17, 45, 12));
        f.Ctl().SetClock([when] { return when; });
        quint8 next = 250;
        f.Ctl().SetRandomSource([&next] { return next++; }); // 250 .. 254, then 255 would follow
        f.Ctl().LibraryClicked(selected);
        f.Ctl().RandomModification();

        QByteArray image;
        for (int i = 0; i < 11; ++i)
            image.append(char((250 + i) % 256 % 255));
        image += Entry(lib, selected).mid(11);
        QCOMPARE(Entry(f.S().LibraryData, selected), image);
        QCOMPARE(f.S().LibraryData.left(selected * 18), lib.left(selected * 18));
        QCOMPARE(f.S().LibraryData.mid((selected + 1) * 18), lib.mid((selected + 1) * 18));
        const QLocale locale = QLocale::system();
        const QString text = QStringLiteral("Random Sound ") +
                             locale.toString(when.date(), QLocale::ShortFormat) + QStringLiteral(" ") +
                             locale.toString(when.time(), QLocale::ShortFormat);
        QStringList expectedDesc = WithElementZero(NumberedDescriptions(count));
        expectedDesc[selected + 1] = text;
        QCOMPARE(f.S().DescArray, expectedDesc);
        QCOMPARE(f.view.library.selected, selected);
        QCOMPARE(f.view.description, text);
        QCOMPARE(*f.view.details, ShowPatchDetails(PatchImage(image)));
        QCOMPARE(f.view.nameText, QStringLiteral("RND%1").arg(selected + 1));
        QCOMPARE(f.view.library.lines.at(selected), PatchListLine(lib, selected)); // the name is kept
        QVERIFY(f.S().LibChanged);
    }

    // The real generator: bytes 1..11 drawn from 0..254 on every run, bytes 12..18 always kept.
    void randomModificationDefaultSource() {
        Fixture f;
        Setup(f, 3);
        const QByteArray lib = f.S().LibraryData;
        f.Ctl().LibraryClicked(1);
        QSet<int> seen;
        QSet<QByteArray> images;
        for (int run = 0; run < 600; ++run) {
            f.Ctl().RandomModification();
            const QByteArray entry = Entry(f.S().LibraryData, 1);
            QCOMPARE(entry.mid(11), Entry(lib, 1).mid(11));
            for (int i = 0; i < 11; ++i) {
                const int value = quint8(entry[i]);
                QVERIFY2(value != 255, "byte value 255 drawn");
                seen.insert(value);
            }
            images.insert(entry);
        }
        QCOMPARE(Entry(f.S().LibraryData, 0), Entry(lib, 0));
        QCOMPARE(Entry(f.S().LibraryData, 2), Entry(lib, 2));
        QCOMPARE(images.size(), 600); // drawn anew each run
        QCOMPARE(seen.size(), 255);   // 6,600 draws cover every value 0..254
    }
};

QTEST_GUILESS_MAIN(TestArrangement)
#include "tst_Arrangement.moc"
