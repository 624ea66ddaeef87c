// The File menu through the dialog seam: load (new and existing), save, save as, both imports and
// the export with its re-import, as the window shows them.

#include "GuiTestSupport.h"

#include <QLabel>

using namespace quillbox;
using namespace quillbox::test;

namespace {
const QString LibraryFilter =
    QStringLiteral("PS02 Library(*.pslib)") + QChar(0) + QStringLiteral("*.pslib") + QChar(0);
const char* const FileItems[] = {"mnuFile_LoadPatches", "mnuFile_SaveLib", "mnuFile_SaveLibAsPatches",
                                 "mnuFile_SaveAsLib", "mnuFile_LoadLibToPatches"};
const QStringList Names = {QStringLiteral("KILO"), QStringLiteral("LIMA"), QStringLiteral("MIKE")};
const QStringList Descriptions = {QStringLiteral("warm"), QStringLiteral("two\r\nlines"),
                                  QStringLiteral("é and €")};
} // namespace

class TestFileCommands : public QObject {
    Q_OBJECT

    WindowFixture f;

    bool FileItemsEnabled() const {
        for (const char* name : FileItems) {
            if (!f.window->findChild<QAction*>(QString::fromLatin1(name))->isEnabled())
                return false;
        }
        return true;
    }

private Q_SLOTS:
    void init() { f.Start(); }
    void cleanup() { f.Finish(); }

    void loadNewLibrary() {
        QVERIFY(!FileItemsEnabled());
        const QString typed = f.Path(QStringLiteral("new"));
        f.Choose("mnuFile_LoadLib", typed);
        const QList<OpenSaveDLG::Shown> shown = OpenSaveDLG::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("Quillbox Load Library File"));
        QCOMPARE(shown.first().filter, LibraryFilter);
        QVERIFY(shown.first().readOnly);
        QVERIFY(!shown.first().saveDialog);
        QCOMPARE(ReadBytes(typed + QStringLiteral(".pslib")), QByteArray(1, '\x01'));
        QCOMPARE(f.Lib()->model()->rowCount(), 0);
        QVERIFY(FileItemsEnabled());
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Quillbox   ") + typed);
        QCOMPARE(f.Find<QLabel>(QStringLiteral("lblLib"))->toolTip(), QStringLiteral("new.pslib"));
        QVERIFY(!f.State().LibChanged);
    }

    void loadExistingLibrary() {
        const QString path = f.Path(QStringLiteral("mine.pslib"));
        WriteLibrary(path, Store(Names), Descriptions);
        const QByteArray before = ReadBytes(path);
        f.Choose("mnuFile_LoadLib", f.Path(QStringLiteral("mine"))); // typed without extension
        OpenSaveDLG::takeShown();
        QCOMPARE(ReadBytes(path), before);
        QCOMPARE(f.Lib()->model()->rowCount(), 3);
        QCOMPARE(Line(f.Lib(), 0), QStringLiteral("01:  KILO  "));
        QCOMPARE(Line(f.Lib(), 2), QStringLiteral("03:  MIKE  "));
        QCOMPARE(f.Lib()->toolTip(), QStringLiteral("3 Patches"));
        QCOMPARE(f.State().DescArray.mid(1), Descriptions);
        ClickRow(f.Lib(), 2);
        QCOMPARE(f.Find<DescriptionBox>(QStringLiteral("txtDescription"))->toPlainText(),
                 QStringLiteral("é and €"));
    }

    void cancelChangesNothing_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("Load (Library) ") << QStringLiteral("mnuFile_LoadLib");
        QTest::newRow("Save As (Library)") << QStringLiteral("mnuFile_SaveAsLib");
        QTest::newRow("Import PS02") << QStringLiteral("mnuFile_LoadPatches");
        QTest::newRow("Import Library") << QStringLiteral("mnuFile_LoadLibToPatches");
        QTest::newRow("Export Library -> PS02") << QStringLiteral("mnuFile_SaveLibAsPatches");
    }

    void cancelChangesNothing() {
        QFETCH(QString, command);
        const QString path = f.Path(QStringLiteral("mine.pslib"));
        WriteLibrary(path, Store(Names), Descriptions);
        f.Choose("mnuFile_LoadLib", path);
        OpenSaveDLG::takeShown();
        const LibraryState before = f.State();
        const QString caption = f.window->windowTitle();
        const QStringList files = QDir(f.Dir()).entryList(QDir::Files);
        OpenSaveDLG::setNextCancel();
        f.Trigger(command.toLatin1().constData());
        QCOMPARE(OpenSaveDLG::takeShown().size(), 1);
        QCOMPARE(TakeMessages().size(), 1); // the cancel's description
        QCOMPARE(f.State().LibraryData, before.LibraryData);
        QCOMPARE(f.State().PatchesData, before.PatchesData);
        QCOMPARE(f.State().LibFilePath, before.LibFilePath);
        QCOMPARE(f.window->windowTitle(), caption);
        QCOMPARE(QDir(f.Dir()).entryList(QDir::Files), files);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr); // the hourglass is gone
    }

    void saveWritesTheLibrary() {
        const QString path = f.Path(QStringLiteral("mine.pslib"));
        WriteLibrary(path, Store(Names), Descriptions);
        f.Choose("mnuFile_LoadLib", path);
        OpenSaveDLG::takeShown();
        ClickRow(f.Lib(), 0);
        f.Trigger("mnuLibrary_MoveDown");
        QVERIFY(f.State().LibChanged);
        // Ctrl+S from the keyboard.
        QTest::keySequence(f.window.get(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(OpenSaveDLG::takeShown().size(), 0); // no dialog
        const QByteArray expected = Entry(Store(Names), 1) + Entry(Store(Names), 0) + Entry(Store(Names), 2);
        QCOMPARE(ReadBytes(path), LibraryBytes(expected));
        const QByteArray side = ReadBytes(path + QStringLiteral(".txt"));
        QVERIFY(side.contains("1=two&*&lines"));
        QVERIFY(side.contains("2=warm"));
        QVERIFY(!f.State().LibChanged);
        // Nothing to save any more: closing asks nothing.
        QVERIFY(f.window->close());
    }

    void saveAsWritesTheNewFiles() {
        const QString path = f.Path(QStringLiteral("mine.pslib"));
        WriteLibrary(path, Store(Names), Descriptions);
        f.Choose("mnuFile_LoadLib", path);
        OpenSaveDLG::takeShown();
        const QString caption = f.window->windowTitle();
        f.Choose("mnuFile_SaveAsLib", f.Path(QStringLiteral("other")));
        const QList<OpenSaveDLG::Shown> shown = OpenSaveDLG::takeShown();
        QCOMPARE(shown.first().title, QStringLiteral("Quillbox Save Library File"));
        QVERIFY(!shown.first().readOnly);
        const QString other = f.Path(QStringLiteral("other.pslib"));
        QCOMPARE(TakeMessages(), QStringList{other + QStringLiteral(" saved")});
        QCOMPARE(ReadBytes(other), LibraryBytes(Store(Names)));
        QVERIFY(QFile::exists(other + QStringLiteral(".txt")));
        QCOMPARE(f.Find<QLabel>(QStringLiteral("lblLib"))->toolTip(), QStringLiteral("other.pslib"));
        QCOMPARE(f.window->windowTitle(), caption);
        // Replacing an existing file is asked first; No writes nothing.
        ClickRow(f.Lib(), 0);
        f.Trigger("mnuLibrary_DelSelected");
        MessageBoxes::setNextAnswer(QMessageBox::No);
        f.Choose("mnuFile_SaveAsLib", path);
        OpenSaveDLG::takeShown();
        const QList<MessageBoxes::Shown> question = MessageBoxes::takeShown();
        QCOMPARE(question.size(), 1);
        QCOMPARE(question.first().buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(question.first().text.startsWith(path));
        QCOMPARE(ReadBytes(path), LibraryBytes(Store(Names)));
        QVERIFY(f.State().LibChanged);
    }

    void importPS02() {
        const QString lib = f.Path(QStringLiteral("mine.pslib"));
        WriteLibrary(lib, Store(Names));
        f.Choose("mnuFile_LoadLib", lib);
        OpenSaveDLG::takeShown();
        const QString pch = f.Path(QStringLiteral("song.pch"));
        const QByteArray patches = Store({QStringLiteral("ONE"), QStringLiteral("TWO")}) + QByteArray("rest");
        WriteBytes(pch, patches);
        f.Choose("mnuFile_LoadPatches", pch);
        const QList<OpenSaveDLG::Shown> shown = OpenSaveDLG::takeShown();
        QCOMPARE(shown.first().title, QStringLiteral("Quillbox Import PS02PatchFile"));
        QCOMPARE(shown.first().filter, QStringLiteral("PS02 Patches(*.pch)") + QChar(0) +
                                           QStringLiteral("*.pch") + QChar(0) + QStringLiteral("All (*.*)") +
                                           QChar(0) + QStringLiteral("*.*") + QChar(0));
        // 40 bytes: two patches and a short third entry, which has no name to show.
        QCOMPARE(f.Patches()->model()->rowCount(), 3);
        QCOMPARE(Line(f.Patches(), 1), QStringLiteral("02:  TWO   "));
        QCOMPARE(TakeMessages().size(), 1); // the name of the short entry cannot be read
        QCOMPARE(f.State().PatchesData, patches);
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Quillbox   ") + pch);
        QCOMPARE(f.Find<QLabel>(QStringLiteral("lblPatches"))->toolTip(), QStringLiteral("song.pch"));
        QCOMPARE(f.State().LibraryData, Store(Names)); // the library is not touched
    }

    void importLibrary() {
        const QString lib = f.Path(QStringLiteral("mine.pslib"));
        WriteLibrary(lib, Store({QStringLiteral("OWN")}));
        f.Choose("mnuFile_LoadLib", lib);
        OpenSaveDLG::takeShown();
        const QString source = f.Path(QStringLiteral("source.pslib"));
        WriteLibrary(source, Store(Names), Descriptions);
        f.Choose("mnuFile_LoadLibToPatches", f.Path(QStringLiteral("source")));
        QCOMPARE(OpenSaveDLG::takeShown().first().title, QStringLiteral("Quillbox Import Library"));
        QCOMPARE(f.Patches()->model()->rowCount(), 3);
        QCOMPARE(Line(f.Patches(), 0), QStringLiteral("01:  KILO  "));
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Quillbox   ") + source);
        ClickRow(f.Patches(), 1);
        QCOMPARE(f.Find<DescriptionBox>(QStringLiteral("txtDescription"))->toPlainText(),
                 QStringLiteral("two\nlines"));
        // Copying takes the description along.
        f.Trigger("mnuPatch_Copy");
        QCOMPARE(f.Lib()->model()->rowCount(), 2);
        QCOMPARE(f.State().DescArray.at(2), QStringLiteral("two\r\nlines"));
    }

    void exportAndReimport() {
        const QString lib = f.Path(QStringLiteral("mine.pslib"));
        WriteLibrary(lib, Store(Names), Descriptions);
        f.Choose("mnuFile_LoadLib", lib);
        OpenSaveDLG::takeShown();
        f.Choose("mnuFile_SaveLibAsPatches", f.Path(QStringLiteral("device")));
        const QList<OpenSaveDLG::Shown> shown = OpenSaveDLG::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().filter.section(QChar(0), 1, 1), QStringLiteral("*.pch"));
        const QString pch = f.Path(QStringLiteral("device.pch"));
        QCOMPARE(TakeMessages(), QStringList{pch + QStringLiteral(" saved")});
        // Bare images in list order: no marker, not reversed.
        QCOMPARE(ReadBytes(pch), Store(Names));
        QVERIFY(QFile::exists(pch + QStringLiteral(".txt")));
        QVERIFY(!f.State().LibChanged);

        f.Choose("mnuFile_LoadPatches", pch);
        OpenSaveDLG::takeShown();
        QCOMPARE(f.Patches()->model()->rowCount(), f.Lib()->model()->rowCount());
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(Line(f.Patches(), row), Line(f.Lib(), row));
            ClickRow(f.Patches(), row);
            QCOMPARE(f.Find<DescriptionBox>(QStringLiteral("txtDescription"))->Text(), Descriptions.at(row));
        }
        // A name already ending in ".pch" gets nothing added, and replacing is asked first.
        MessageBoxes::setNextAnswer(QMessageBox::Yes);
        f.Choose("mnuFile_SaveLibAsPatches", pch);
        OpenSaveDLG::takeShown();
        const QStringList messages = TakeMessages();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.last(), pch + QStringLiteral(" saved"));
        QVERIFY(!QFile::exists(pch + QStringLiteral(".pch")));
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_FileCommands.moc"
