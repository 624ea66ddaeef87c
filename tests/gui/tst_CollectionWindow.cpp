// The collection window: the folders it scans and watches, what it shows, what it opens and what a
// screen reader says for it.

#include "CollectionSettings.h"
#include "CollectionWindow.h"
#include "HelpWindow.h"
#include "PatchListModel.h"
#include "SplashWindow.h"
#include "WindowFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace quillbox;
using namespace quillbox::test;

class TestCollectionWindow : public WindowFixture {
    Q_OBJECT

private Q_SLOTS:
    // The closing question's wiring: Yes saves and closes (the splash with it), Cancel keeps the
    // window and the changes. Every answer and a failing save: library tests, closingQuestion.
    // The collection window over a folder of a library (whose DELTA a save deleted, so only its
    // earlier version holds it) and a patch file sharing ALPHA: the find filters the distinct
    // patches, where-used lists the selected one's places, Enter copies it into the open library as
    // one step with its description.
    void collectionWindow_data() {
        QTest::addColumn<QString>("find");
        QTest::addColumn<QStringList>("shown");   // the names of the distinct patches, by name
        QTest::addColumn<QStringList>("deleted"); // their "deleted" marks
        QTest::addColumn<QStringList>("places");  // the first one's places (kind, position), by path
        QTest::addColumn<QString>("description"); // the first one's, copied with it
        QTest::newRow("everything") << QString()
                                    << QStringList{L("ALPHA"), L("BRAVO"), L("CHARLY"), L("DELTA"), L("ECHO")}
                                    << QStringList{{}, {}, {}, L("deleted"), {}}
                                    << QStringList{L("library 1"), L("patch file 1"), L("earlier version 1")}
                                    << L("first #gig");
        QTest::newRow("a tag") << L("#gig") << QStringList{L("ALPHA")} << QStringList{{}}
                               << QStringList{L("library 1"), L("patch file 1"), L("earlier version 1")}
                               << L("first #gig");
        QTest::newRow("a word") << L("second") << QStringList{L("BRAVO")} << QStringList{{}}
                                << QStringList{L("library 2"), L("earlier version 2")} << L("second");
        QTest::newRow("deleted") << L("delta") << QStringList{L("DELTA")} << QStringList{L("deleted")}
                                 << QStringList{L("earlier version 4")} << L("fourth");
        QTest::newRow("patch file only") << L("echo") << QStringList{L("ECHO")} << QStringList{{}}
                                         << QStringList{L("patch file 2")} << QString();
        QTest::newRow("nothing") << L("zulu") << QStringList{} << QStringList{} << QStringList{} << QString();
    }
    void collectionWindow() {
        QFETCH(QString, find);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, deleted);
        QFETCH(QStringList, places);
        QFETCH(QString, description);
        const QStringList coll = {L("ALPHA"), L("BRAVO"), L("CHARLY"), L("DELTA")};
        QVERIFY(QDir().mkpath(Path(L("coll"))));
        WriteBytes(Path(L("coll/a.pslib")), LibraryFileBytes(Store(coll)));
        WriteBytes(Path(L("coll/a.pslib.txt")), "[Description]\r\n1=first #gig\r\n2=second\r\n4=fourth\r\n");
        WriteBytes(Path(L("coll/b.pch")), Image(L("ALPHA"), 0) + Image(L("ECHO"), 7));
        Choose("mnuFile_LoadLib", Path(L("coll/a.pslib")));
        Click(Lib(), 3);
        Trigger("mnuLibrary_DelSelected");
        Trigger("mnuFile_SaveLib");
        LoadLibrary(Names); // the library copied into, outside the collection
        QVERIFY(WriteCollectionFolders({Path(L("coll"))}, SettingsPath()));

        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QVERIFY(collection && collection->isVisible());
        QTRY_VERIFY(!collection->Scanning());
        QVERIFY2(collection->Status().contains(L("5 distinct")), qPrintable(collection->Status()));
        collection->findChild<QLineEdit*>(L("txtCollectionFind"))->setText(find);
        auto* patches = collection->findChild<QTableView*>(L("lstCollectionPatches"));
        QStringList names, marks;
        for (int row = 0; row < patches->model()->rowCount(); ++row) {
            names.append(patches->model()->index(row, DistinctPatchModel::Name).data().toString().trimmed());
            marks.append(patches->model()->index(row, DistinctPatchModel::Deleted).data().toString());
        }
        QCOMPARE(names, shown);
        QCOMPARE(marks, deleted);
        QCOMPARE(patches->model()->headerData(DistinctPatchModel::FirstParameter, Qt::Horizontal).toString(),
                 L("Drive type"));
        QCOMPARE(patches->model()->headerData(DistinctPatchModel::Places - 1, Qt::Horizontal).toString(),
                 L("Cab"));
        auto* whereUsed = collection->findChild<QTreeWidget*>(L("lstCollectionWhereUsed"));
        QStringList seen;
        for (int row = 0; row < whereUsed->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = whereUsed->topLevelItem(row);
            QCOMPARE(item->text(3), L("identical"));
            seen.append(item->text(2) + QLatin1Char(' ') + item->text(1));
        }
        QCOMPARE(seen, places);
        if (shown.isEmpty())
            return;

        patches->setFocus();
        QTest::keyClick(patches, Qt::Key_Return);
        QCOMPARE(Lib()->model()->rowCount(), Names.size() + 1);
        QCOMPARE(State().DescArray.value(Names.size() + 1), description);
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->text(), L("&Undo Copy 05:  ") + shown.first());
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, Store(Names));

        // Dragged onto the library's first line: it goes in there, also as one step.
        std::unique_ptr<QMimeData> dragged(patches->model()->mimeData({patches->currentIndex()}));
        QVERIFY(Lib()->model()->dropMimeData(dragged.get(), Qt::CopyAction, 0, 0, {}));
        QCOMPARE(Lib()->model()->index(0, 0).data(PatchListModel::NameRole).toString(), shown.first());
        QCOMPARE(State().DescArray.value(1), description);
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, Store(Names));
    }

    // "Folders…" offers the folders of the recent libraries until some are chosen, then the chosen
    // ones; OK keeps what the list shows in the settings file and scans it.
    void collectionFolders_data() {
        QTest::addColumn<QStringList>("chosen"); // kept before the window opens, under the test's folder
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("first use") << QStringList{} << QStringList{L("coll")};
        QTest::newRow("chosen before") << QStringList{L("other")} << QStringList{L("other")};
    }
    void collectionFolders() {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, offered);
        for (const QString& folder : QStringList{L("coll"), L("other")})
            QVERIFY(QDir().mkpath(Path(folder)));
        WriteBytes(Path(L("coll/a.pslib")), LibraryFileBytes(Store(Names)));
        Choose("mnuFile_LoadLib", Path(L("coll/a.pslib"))); // a recent library
        QStringList paths;
        for (const QString& folder : chosen)
            paths.append(Path(folder));
        QVERIFY(WriteCollectionFolders(paths, SettingsPath()));
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        QStringList shown;
        QTimer::singleShot(0, this, [&shown] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            const auto* list = dialog->findChild<QListWidget*>(L("lstCollectionFolders"));
            for (int row = 0; row < list->count(); ++row)
                shown.append(QDir::fromNativeSeparators(list->item(row)->text()));
            dialog->accept();
        });
        // Without folders the window says what to do first, with the focus on the button that does it.
        const bool firstUse = chosen.isEmpty();
        QCOMPARE(collection->Status() ==
                     L("No folders yet: choose Folders\u2026 \u2014 your recent libraries' "
                       "folders are offered there"),
                 firstUse);
        QCOMPARE(collection->focusWidget() == collection->findChild<QPushButton*>(L("cmdCollectionFolders")),
                 firstUse);
        collection->findChild<QPushButton*>(L("cmdCollectionFolders"))->click();
        QStringList expected;
        for (const QString& folder : offered)
            expected.append(Path(folder));
        QCOMPARE(shown, expected);
        QCOMPARE(collection->Folders(), expected);
        QCOMPARE(ReadCollectionFolders(SettingsPath()), expected);
        QTRY_VERIFY(!collection->Scanning());
    }

    // While the window is open, a file added to or removed from a folder shows without a command.
    void collectionWatchesFolders_data() {
        QTest::addColumn<QString>("change"); // "add" c.pch holding ECHO, "remove" a.pslib
        QTest::addColumn<QString>("find");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("added") << L("add") << L("echo") << 0 << 1;
        QTest::newRow("removed") << L("remove") << L("alpha") << 1 << 0;
    }
    void collectionWatchesFolders() {
        QFETCH(QString, change);
        QFETCH(QString, find);
        QFETCH(int, before);
        QFETCH(int, after);
        QVERIFY(QDir().mkpath(Path(L("coll/sub"))));
        WriteBytes(Path(L("coll/sub/a.pslib")), LibraryFileBytes(Store(Names)));
        QVERIFY(WriteCollectionFolders({Path(L("coll"))}, SettingsPath()));
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        collection->findChild<QLineEdit*>(L("txtCollectionFind"))->setText(find);
        const QAbstractItemModel* patches =
            collection->findChild<QTableView*>(L("lstCollectionPatches"))->model();
        QCOMPARE(patches->rowCount(), before);
        if (change == L("add"))
            WriteBytes(Path(L("coll/sub/c.pch")), Image(L("ECHO"), 3));
        else
            QVERIFY(QFile::remove(Path(L("coll/sub/a.pslib"))));
        QTRY_COMPARE(patches->rowCount(), after);
    }

    // "Open Library" loads the library of the selected place through the window's load.
    void collectionOpensLibrary() {
        QVERIFY(QDir().mkpath(Path(L("coll"))));
        WriteBytes(Path(L("coll/a.pslib")), LibraryFileBytes(Store(Names)));
        QVERIFY(WriteCollectionFolders({Path(L("coll"))}, SettingsPath()));
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        QVERIFY(!State().LibraryLoaded);
        collection->findChild<QPushButton*>(L("cmdCollectionOpen"))->click();
        QVERIFY(State().LibraryLoaded);
        QCOMPARE(QFileInfo(State().LibFilePath).canonicalFilePath(),
                 QFileInfo(Path(L("coll/a.pslib"))).canonicalFilePath());
        QCOMPARE(State().LibraryData, Store(Names));
    }

    // What a reader says for the collection's clear button, status line and Folders…; the help and
    // splash windows are announced as windows.
    void namesAsSaid() {
        const auto said = [](QObject* object) {
            return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
        };
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        const QList<QToolButton*> clear =
            collection->findChild<QLineEdit*>(L("txtCollectionFind"))->findChildren<QToolButton*>();
        QCOMPARE(clear.size(), 1);
        QCOMPARE(said(clear[0]), L("Clear the find field"));
        auto* status = collection->findChild<QLabel*>(L("lblCollectionStatus"));
        QCOMPARE(said(status), status->text());
        QCOMPARE(said(collection->findChild<QPushButton*>(L("cmdCollectionFolders"))), L("Folders\u2026"));
        collection->close();
        WriteBytes(Path(L("bin/Quillbox.hlp")), "help\r\n");
        Trigger("mnuHelp_Help");
        QCOMPARE(QAccessible::queryAccessibleInterface(window->Help())->role(), QAccessible::Window);
        SplashWindow splash;
        QCOMPARE(QAccessible::queryAccessibleInterface(&splash)->role(), QAccessible::Window);
    }
};

std::unique_ptr<QObject> quillbox::test::NewCollectionWindowTests() {
    return std::make_unique<TestCollectionWindow>();
}

#include "tst_CollectionWindow.moc"
