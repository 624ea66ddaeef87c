// The File menu end to end with real files: load, save, save as, both imports, the export, and the
// closing question.
#include "LibraryTestSupport.h"

#include <QFileInfo>

using namespace quillbox;
using namespace quillbox::test;

namespace {
const QString Cancelled = QStringLiteral("Cancelled: no file was chosen.");
const QString NotValid = QStringLiteral("Not a valid Library");

QString Nul() {
    return QString(QChar(0));
}

// Everything a failed command must leave as it was.
struct Snapshot {
    QByteArray library;
    QByteArray patches;
    QStringList desc;
    QString libPath, descPath, libName, patchesPath, patchesDescPath, patchesName;
    bool changed;
    bool loaded;
    QString caption;
    int libRefills, patchesRefills;
    QString libLabel, patchesLabel;

    static Snapshot Of(const Fixture& f) {
        const LibraryState& s = f.S();
        return {s.LibraryData,
                s.PatchesData,
                s.DescArray,
                s.LibFilePath,
                s.DescFilePath,
                s.LibFileName,
                s.PatchesFilePath,
                s.PatchesDescFilePath,
                s.PatchesFileName,
                s.LibChanged,
                s.LibraryLoaded,
                f.view.caption,
                f.view.library.refills,
                f.view.patches.refills,
                f.view.library.labelToolTip,
                f.view.patches.labelToolTip};
    }
    bool operator==(const Snapshot&) const = default;
};
} // namespace

class TestLibraryFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadNewNameCreatesLibrary_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("created");
        QTest::newRow("no extension") << "new"
                                      << "new.pslib";
        QTest::newRow("with extension") << "new.pslib"
                                        << "new.pslib";
        QTest::newRow("upper-case extension") << "X.PSLIB"
                                              << "X.PSLIB.pslib";
    }
    void loadNewNameCreatesLibrary() {
        QFETCH(QString, typed);
        QFETCH(QString, created);
        Fixture f;
        f.view.paths.push_back(f.Path(typed));
        f.Ctl().LoadLib();

        QCOMPARE(ReadBytes(f.Path(created)), QByteArray(1, '\x01'));
        QVERIFY(f.view.messages.isEmpty());
        QCOMPARE(f.view.pathRequests.size(), 1);
        const FileDialogRequest& request = f.view.pathRequests.at(0);
        QCOMPARE(request.dialogTitle, QStringLiteral("Quillbox Load Library File"));
        QCOMPARE(request.filter,
                 QStringLiteral("PS02 Library(*.pslib)") + Nul() + QStringLiteral("*.pslib") + Nul());
        QVERIFY(request.readOnly);
        QVERIFY(!request.forSaving);

        QCOMPARE(f.S().LibFilePath, f.Path(created));
        QCOMPARE(f.S().DescFilePath, f.Path(created) + QStringLiteral(".txt"));
        QCOMPARE(f.S().LibFileName, created);
        QCOMPARE(f.view.library.labelToolTip, created);
        QCOMPARE(f.view.caption, QStringLiteral("Quillbox   ") + f.Path(typed)); // as typed
        QCOMPARE(f.view.library.count, 0);
        QCOMPARE(f.view.library.toolTip, QStringLiteral("0 Patches"));
        QCOMPARE(f.view.fileCommandsEnabled, std::optional<bool>(true));
        QCOMPARE(f.S().DescArray, QStringList{QString()});
        QVERIFY(f.S().LibraryLoaded);
        QVERIFY(!f.S().LibChanged);
        QVERIFY(!f.view.busy);
        QCOMPARE(f.view.busyStarts, 1);
        QVERIFY(!QFileInfo::exists(f.Path(created) + QStringLiteral(".txt")));
    }

    void loadExistingNameLeavesFileAsItWas() {
        Fixture f;
        const QByteArray store = MakeStore(3);
        const QByteArray fileBytes = LibraryFileBytes(store);
        WriteBytes(f.Path(QStringLiteral("x.pslib")), fileBytes);
        WriteBytes(f.Path(QStringLiteral("x.pslib.txt")),
                   QByteArray("[Description]\r\n1=one\r\n2=two&*&lines\r\n3=\r\n"));
        f.view.paths.push_back(f.Path(QStringLiteral("x"))); // typed without extension
        f.Ctl().LoadLib();

        QCOMPARE(ReadBytes(f.Path(QStringLiteral("x.pslib"))), fileBytes);
        QCOMPARE(f.S().LibraryData, store);
        QCOMPARE(f.view.library.lines,
                 (QStringList{QStringLiteral("01:  P0    "), QStringLiteral("02:  P1    "),
                              QStringLiteral("03:  P2    ")}));
        QCOMPARE(f.view.library.toolTip, QStringLiteral("3 Patches"));
        QCOMPARE(f.view.library.selected, -1);
        QCOMPARE(f.S().DescArray,
                 (QStringList{QString(), QStringLiteral("one"), QStringLiteral("two\r\nlines"), QString()}));
    }

    void loadUpperCaseExtensionAndSave() {
        Fixture f;
        // An existing X.PSLIB is not what "X.PSLIB" names: the library is X.PSLIB.pslib.
        const QByteArray other = LibraryFileBytes(MakeStore(1));
        WriteBytes(f.Path(QStringLiteral("X.PSLIB")), other);
        f.view.paths.push_back(f.Path(QStringLiteral("X.PSLIB")));
        f.Ctl().LoadLib();
        QCOMPARE(f.S().LibFilePath, f.Path(QStringLiteral("X.PSLIB.pslib")));
        QCOMPARE(f.S().LibraryData, QByteArray());

        f.ImportPatches(QStringLiteral("p.pch"), MakeStore(2));
        f.Ctl().PatchesClicked(1);
        f.Ctl().CopySelectedPatch();
        QVERIFY(f.Ctl().SaveLib());
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("X.PSLIB.pslib"))),
                 LibraryFileBytes(Entry(MakeStore(2), 1)));
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("X.PSLIB"))), other);
    }

    // Each of these leaves a loaded library, its paths, list and caption as they were.
    void loadFailureChangesNothing_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // written unless "<dir>" or "<none>"
        QTest::addColumn<QString>("message");    // the message, or the part of it expected
        QTest::addColumn<bool>("exact");
        QTest::newRow("first byte 2") << "b.pslib" << QByteArray("\x02\x05\x06") << NotValid << true;
        QTest::newRow("0 bytes") << "b.pslib" << QByteArray() << NotValid << true;
        QTest::newRow("folder") << "b.pslib" << QByteArray("<dir>") << "b.pslib" << false;
        QTest::newRow("in a missing folder")
            << "missing/b.pslib" << QByteArray("<none>") << "b.pslib" << false;
        QTest::newRow("too large") << "big.pslib" << QByteArray("<big>") << "big.pslib" << false;
    }
    void loadFailureChangesNothing() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(bool, exact);
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(2), {QStringLiteral("A1"), QStringLiteral("A2")});
        f.Ctl().LibraryClicked(1);
        f.Ctl().DescriptionEdited(QStringLiteral("typed"));
        QVERIFY(f.S().LibChanged);
        const Snapshot before = Snapshot::Of(f);
        const DetailValues details = *f.view.details;
        const QString box = f.view.description;
        const int boxSets = f.view.descriptionSets;

        const QString path = f.Path(name);
        if (content == "<dir>") {
            QVERIFY(QDir().mkpath(path));
        } else if (content == "<big>") {
            QFile big(path);
            QVERIFY(big.open(QIODevice::WriteOnly));
            big.write("\x01");
            QVERIFY(big.resize(17 * 1024 * 1024));
        } else if (content != "<none>") {
            WriteBytes(path, content);
        }
        f.view.paths.push_back(path);
        f.view.saveAnswers.push_back(SaveAnswer::No);
        f.Ctl().LoadLib();

        QCOMPARE(f.view.messages.size(), 1);
        if (exact)
            QCOMPARE(f.view.messages.at(0).text, message);
        else
            QVERIFY2(f.view.messages.at(0).text.contains(message), qPrintable(f.view.messages.at(0).text));
        QCOMPARE(f.view.messages.at(0).style, MessageStyle::Plain);
        QVERIFY(Snapshot::Of(f) == before);
        QCOMPARE(*f.view.details, details);
        QCOMPARE(f.view.description, box);
        QCOMPARE(f.view.descriptionSets, boxSets);
        QCOMPARE(f.S().DescArray.at(2), QStringLiteral("typed"));
        QVERIFY(!f.view.busy);
        QVERIFY(!QFileInfo::exists(f.Path(QStringLiteral("missing"))));
        if (content == "<dir>")
            QVERIFY(QFileInfo(path).isDir());
    }

    void load19ByteBodyListsShortEntryWithoutName() {
        Fixture f;
        const QByteArray store = MakeStore(1) + QByteArray(1, '\x07');
        f.LoadLibrary(QStringLiteral("odd.pslib"), store);
        QCOMPARE(f.S().LibraryData, store);
        QCOMPARE(f.view.library.lines, (QStringList{QStringLiteral("01:  P0    "), QStringLiteral("02:  ")}));
        QCOMPARE(f.view.messages.size(), 1);
        QVERIFY(f.view.messages.at(0).text.startsWith(QStringLiteral("StringToPatchName: ")));
        QCOMPARE(f.S().DescArray.size(), 3);
        // Saved back unchanged: a short last entry is kept as it is.
        QVERIFY(f.Ctl().SaveLib());
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("odd.pslib"))), LibraryFileBytes(store));
    }

    void cancelledDialogChangesNothing_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("load") << 0;
        QTest::newRow("save as") << 1;
        QTest::newRow("import library") << 2;
        QTest::newRow("import PS02") << 3;
        QTest::newRow("export") << 4;
    }
    void cancelledDialogChangesNothing() {
        QFETCH(int, command);
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(2));
        f.ImportPatches(QStringLiteral("p.pch"), MakeStore(3, 50));
        f.Ctl().DeleteAll();
        const Snapshot before = Snapshot::Of(f);
        const QStringList files = QDir(f.dir.path()).entryList(QDir::Files);
        f.view.messages.clear();

        f.view.paths.push_back(std::nullopt);
        switch (command) {
        case 0:
            f.view.saveAnswers.push_back(SaveAnswer::No);
            f.Ctl().LoadLib();
            break;
        case 1:
            f.Ctl().SaveAsLib();
            break;
        case 2:
            f.Ctl().ImportLibrary();
            break;
        case 3:
            f.Ctl().ImportPatches();
            break;
        default:
            f.Ctl().ExportLibrary();
            break;
        }
        QCOMPARE(f.view.MessageTexts(), QStringList{Cancelled});
        QVERIFY(Snapshot::Of(f) == before);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), files);
        QVERIFY(!f.view.busy);
    }

    void saveWritesLibraryAndSideFile() {
        Fixture f;
        const QByteArray store = MakeStore(2);
        f.LoadLibrary(QStringLiteral("s.pslib"), store);
        f.Ctl().LibraryClicked(0);
        f.Ctl().DescriptionEdited(QStringLiteral("Crunch for the verse"));
        f.Ctl().LibraryClicked(1);
        f.Ctl().DescriptionEdited(QStringLiteral("Lead\r\nwith delay"));
        QVERIFY(f.S().LibChanged);

        QVERIFY(f.Ctl().SaveLib());
        QVERIFY(!f.S().LibChanged);
        QVERIFY(f.view.messages.isEmpty());
        QVERIFY(f.view.pathRequests.size() == 1); // only the load asked for a path
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("s.pslib"))), LibraryFileBytes(store));
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("s.pslib.txt"))),
                 QByteArray("[Description]\r\n1=Crunch for the verse\r\n2=Lead&*&with delay\r\n"));

        // Loaded back: the same bytes and texts.
        Fixture g;
        g.view.paths.push_back(f.Path(QStringLiteral("s.pslib")));
        g.Ctl().LoadLib();
        QCOMPARE(g.S().LibraryData, store);
        QCOMPARE(g.S().DescArray, f.S().DescArray);
    }

    void saveEmptyLibraryWritesOneByte() {
        Fixture f;
        f.view.paths.push_back(f.Path(QStringLiteral("e")));
        f.Ctl().LoadLib();
        f.Ctl().DescriptionClicked();
        QVERIFY(f.Ctl().SaveLib());
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("e.pslib"))), QByteArray(1, '\x01'));
        QVERIFY(!QFileInfo::exists(f.Path(QStringLiteral("e.pslib.txt"))));
    }

    void saveKeepsHigherKeysAndOtherSections() {
        Fixture f;
        const QByteArray side(
            "; written elsewhere\r\n[Other]\r\nkeep=me\r\n[Description]\r\n1=a\r\n2=b\r\n3=c\r\n"
            "4=d\r\n5=e\r\n6=f\r\n7=g\r\n8=h\r\n");
        WriteBytes(f.Path(QStringLiteral("k.pslib")), LibraryFileBytes(MakeStore(5)));
        WriteBytes(f.Path(QStringLiteral("k.pslib.txt")), side);
        f.view.paths.push_back(f.Path(QStringLiteral("k.pslib")));
        f.Ctl().LoadLib();
        QCOMPARE(f.S().DescArray.size(), 6);
        f.Ctl().LibraryClicked(4);
        f.Ctl().DescriptionEdited(QStringLiteral("E"));
        QVERIFY(f.Ctl().SaveLib());
        QByteArray expected = side;
        expected.replace("5=e", "5=E");
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("k.pslib.txt"))), expected);
    }

    // A save that cannot write leaves both files byte for byte, keeps LibChanged and says why.
    void failedSaveKeepsFilesAndChanges_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("side file is a folder") << 0;
        QTest::newRow("library folder replaced by a file") << 1;
        QTest::newRow("library file replaced by a folder") << 2;
    }
    void failedSaveKeepsFilesAndChanges() {
        QFETCH(int, how);
        Fixture f;
        QVERIFY(QDir().mkpath(f.Path(QStringLiteral("sub"))));
        const QString lib = f.Path(QStringLiteral("sub/f.pslib"));
        const QString sideFile = lib + QStringLiteral(".txt");
        const QByteArray libBytes = LibraryFileBytes(MakeStore(2));
        const QByteArray sideBytes = SideFileBytes({QStringLiteral("x"), QStringLiteral("y")});
        WriteBytes(lib, libBytes);
        WriteBytes(sideFile, sideBytes);
        f.view.paths.push_back(lib);
        f.Ctl().LoadLib();
        f.Ctl().LibraryClicked(0);
        f.Ctl().DescriptionEdited(QStringLiteral("changed"));
        f.Ctl().ClonePatch();
        QVERIFY(f.S().LibChanged);

        if (how == 0) {
            QVERIFY(QFile::remove(sideFile));
            QVERIFY(QDir().mkpath(sideFile));
        } else if (how == 1) {
            QVERIFY(QDir(f.Path(QStringLiteral("sub"))).removeRecursively());
            WriteBytes(f.Path(QStringLiteral("sub")), QByteArray("a file"));
        } else {
            QVERIFY(QFile::remove(lib));
            QVERIFY(QDir().mkpath(lib));
        }
        QVERIFY(!f.Ctl().SaveLib());

        QCOMPARE(f.view.messages.size(), 1);
        QVERIFY2(f.view.messages.at(0).text.contains(QStringLiteral("f.pslib")),
                 qPrintable(f.view.messages.at(0).text));
        QVERIFY(f.S().LibChanged);
        QVERIFY(!f.view.busy);
        if (how == 0)
            QCOMPARE(ReadBytes(lib), libBytes);
        if (how == 1)
            QCOMPARE(ReadBytes(f.Path(QStringLiteral("sub"))), QByteArray("a file"));
        if (how == 2) {
            QVERIFY(QFileInfo(lib).isDir());
            QCOMPARE(ReadBytes(sideFile), sideBytes); // prepared, never written beside a failed library
        }
        // Nothing else was left in the folder (no temporary files).
        if (how != 1)
            QCOMPARE(
                QDir(f.Path(QStringLiteral("sub"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
                2);
    }

    // A side file that exists but cannot be read: the library loads with empty descriptions, the
    // user is told, and a save does not write over the side file.
    void unreadableSideFileIsReported() {
        Fixture f;
        const QString lib = f.Path(QStringLiteral("u.pslib"));
        WriteBytes(lib, LibraryFileBytes(MakeStore(2)));
        QVERIFY(QDir().mkpath(lib + QStringLiteral(".txt")));
        f.Ctl().LoadLibFromPath(lib);
        QCOMPARE(f.S().LibraryData, MakeStore(2));
        QCOMPARE(f.S().DescArray, (QStringList{QString(), QString(), QString()}));
        QCOMPARE(f.view.messages.size(), 1);
        QVERIFY2(f.view.messages.at(0).text.contains(QStringLiteral("u.pslib.txt")),
                 qPrintable(f.view.messages.at(0).text));
        QVERIFY(!f.view.busy);

        f.Ctl().LibraryClicked(0);
        f.Ctl().DescriptionEdited(QStringLiteral("new"));
        QVERIFY(!f.Ctl().SaveLib());
        QCOMPARE(f.view.messages.size(), 2);
        QVERIFY(QFileInfo(lib + QStringLiteral(".txt")).isDir());
        QCOMPARE(ReadBytes(lib), LibraryFileBytes(MakeStore(2)));
        QVERIFY(f.S().LibChanged);
    }

    void saveAsWritesNewFilesAndSwitchesPaths() {
        Fixture f;
        const QByteArray store = MakeStore(2);
        f.LoadLibrary(QStringLiteral("a.pslib"), store, {QStringLiteral("one"), QStringLiteral("two")});
        const QString caption = f.view.caption;
        f.Ctl().LibraryClicked(0);
        f.Ctl().DescriptionClicked();

        f.view.paths.push_back(f.Path(QStringLiteral("other")));
        f.Ctl().SaveAsLib();
        const QString other = f.Path(QStringLiteral("other.pslib"));
        const FileDialogRequest& request = f.view.pathRequests.last();
        QCOMPARE(request.dialogTitle, QStringLiteral("Quillbox Save Library File"));
        QCOMPARE(request.filter,
                 QStringLiteral("PS02 Library(*.pslib)") + Nul() + QStringLiteral("*.pslib") + Nul());
        QVERIFY(!request.readOnly);
        QVERIFY(request.forSaving);
        QCOMPARE(f.view.MessageTexts(), QStringList{other + QStringLiteral(" saved")});
        QCOMPARE(ReadBytes(other), LibraryFileBytes(store));
        QCOMPARE(ReadBytes(other + QStringLiteral(".txt")),
                 QByteArray("[Description]\r\n1=one\r\n2=two\r\n"));
        QCOMPARE(f.S().LibFilePath, other);
        QCOMPARE(f.S().DescFilePath, other + QStringLiteral(".txt"));
        QCOMPARE(f.S().LibFileName, QStringLiteral("other.pslib"));
        QCOMPARE(f.view.library.labelToolTip, QStringLiteral("other.pslib"));
        QCOMPARE(f.view.caption, caption);
        QVERIFY(!f.S().LibChanged);

        // A later save goes to the new file; the old one stays as it was.
        const QByteArray oldBytes = ReadBytes(f.Path(QStringLiteral("a.pslib")));
        f.Ctl().DeleteAll();
        QVERIFY(f.Ctl().SaveLib());
        QCOMPARE(ReadBytes(other), QByteArray(1, '\x01'));
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("a.pslib"))), oldBytes);
    }

    void saveAsAsksBeforeReplacing_data() {
        QTest::addColumn<bool>("replace");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void saveAsAsksBeforeReplacing() {
        QFETCH(bool, replace);
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(2));
        f.Ctl().DeleteAll();
        const QString target = f.Path(QStringLiteral("t.pslib"));
        const QByteArray old = LibraryFileBytes(MakeStore(4));
        WriteBytes(target, old);
        const Snapshot before = Snapshot::Of(f);

        f.view.paths.push_back(f.Path(QStringLiteral("t")));
        f.view.yesNoAnswers.push_back(replace);
        f.Ctl().SaveAsLib();

        QCOMPARE(f.view.yesNoQuestions.size(), 1);
        QCOMPARE(f.view.yesNoQuestions.at(0).first,
                 target + QStringLiteral(" already exists.\nDo you want to replace it?"));
        QCOMPARE(f.view.yesNoQuestions.at(0).second, AppTitle);
        if (replace) {
            QCOMPARE(ReadBytes(target), QByteArray(1, '\x01'));
            QCOMPARE(f.S().LibFilePath, target);
            QVERIFY(!f.S().LibChanged);
        } else {
            QCOMPARE(ReadBytes(target), old);
            QVERIFY(Snapshot::Of(f) == before);
            QVERIFY(f.view.messages.isEmpty());
        }
    }

    void saveAsIntoMissingFolderKeepsPaths() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(1));
        f.Ctl().ClonePatch(); // no selection: nothing
        f.Ctl().DeleteAll();
        const Snapshot before = Snapshot::Of(f);
        f.view.paths.push_back(f.Path(QStringLiteral("nowhere/x")));
        f.Ctl().SaveAsLib();
        QCOMPARE(f.view.messages.size(), 1);
        QVERIFY(Snapshot::Of(f) == before);
        QVERIFY(f.S().LibChanged);
        QVERIFY(!QFileInfo::exists(f.Path(QStringLiteral("nowhere"))));
    }

    void importLibraryFillsPatchesList() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(1));
        const QByteArray libBefore = f.S().LibraryData;
        const QByteArray store = MakeStore(3, 20);
        WriteBytes(f.Path(QStringLiteral("src.pslib")), LibraryFileBytes(store));
        WriteBytes(f.Path(QStringLiteral("src.pslib.txt")),
                   SideFileBytes({QStringLiteral("s1"), QStringLiteral("s2\r\nx")}));

        f.view.paths.push_back(f.Path(QStringLiteral("src")));
        f.Ctl().ImportLibrary();
        const FileDialogRequest& request = f.view.pathRequests.last();
        QCOMPARE(request.dialogTitle, QStringLiteral("Quillbox Import Library"));
        QCOMPARE(request.filter,
                 QStringLiteral("PS02 Library(*.pslib)") + Nul() + QStringLiteral("*.pslib") + Nul());
        QVERIFY(request.readOnly);
        QCOMPARE(f.S().PatchesData, store);
        QCOMPARE(f.S().PatchesFilePath, f.Path(QStringLiteral("src.pslib")));
        QCOMPARE(f.S().PatchesDescFilePath, f.Path(QStringLiteral("src.pslib.txt")));
        QCOMPARE(f.S().PatchesFileName, QStringLiteral("src.pslib"));
        QCOMPARE(f.view.patches.labelToolTip, QStringLiteral("src.pslib"));
        QCOMPARE(f.view.caption, QStringLiteral("Quillbox   ") + f.Path(QStringLiteral("src.pslib")));
        QCOMPARE(f.view.patches.count, 3);
        QCOMPARE(f.view.patches.toolTip, QStringLiteral("3 Patches"));
        QCOMPARE(f.S().LibraryData, libBefore);
        QVERIFY(!f.S().LibChanged);

        f.Ctl().PatchesClicked(1);
        QCOMPARE(f.view.description, QStringLiteral("s2\r\nx"));
    }

    void importFailureChangesNothing_data() {
        QTest::addColumn<bool>("library"); // Import Library, else Import PS02
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("library: missing") << true << "gone" << QByteArray("<none>") << "gone.pslib";
        QTest::newRow("library: not valid") << true << "bad.pslib" << QByteArray("\x02") << NotValid;
        QTest::newRow("library: 0 bytes") << true << "bad.pslib" << QByteArray() << NotValid;
        QTest::newRow("PS02: missing") << false << "gone.pch" << QByteArray("<none>") << "gone.pch";
        QTest::newRow("PS02: folder") << false << "dir.pch" << QByteArray("<dir>") << "dir.pch";
    }
    void importFailureChangesNothing() {
        QFETCH(bool, library);
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(1));
        f.ImportPatches(QStringLiteral("first.pch"), MakeStore(2, 9));
        f.Ctl().PatchesClicked(1);
        const Snapshot before = Snapshot::Of(f);
        if (content == "<dir>")
            QVERIFY(QDir().mkpath(f.Path(name)));
        else if (content != "<none>")
            WriteBytes(f.Path(name), content);
        f.view.paths.push_back(f.Path(name));
        if (library)
            f.Ctl().ImportLibrary();
        else
            f.Ctl().ImportPatches();
        QCOMPARE(f.view.messages.size(), 1);
        QVERIFY2(f.view.messages.at(0).text.contains(message), qPrintable(f.view.messages.at(0).text));
        QVERIFY(Snapshot::Of(f) == before);
        QCOMPARE(f.S().PatchesSelection, 1);
        QVERIFY(!f.view.busy);
    }

    void importPatchFiles_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("nameMessage");
        QTest::newRow("36 bytes") << 36 << 2 << false;
        QTest::newRow("0 bytes") << 0 << 0 << false;
        QTest::newRow("40 bytes") << 40 << 3 << true;
        QTest::newRow("18 bytes") << 18 << 1 << false;
    }
    void importPatchFiles() {
        QFETCH(int, size);
        QFETCH(int, entries);
        QFETCH(bool, nameMessage);
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(1));
        f.ImportPatches(QStringLiteral("first.pch"), MakeStore(5, 3));
        const QByteArray content = MakeStore(3, 70).left(size);
        f.view.messages.clear();
        f.ImportPatches(QStringLiteral("song.pch"), content);

        const FileDialogRequest& request = f.view.pathRequests.last();
        QCOMPARE(request.dialogTitle, QStringLiteral("Quillbox Import PS02PatchFile"));
        QCOMPARE(request.filter, QStringLiteral("PS02 Patches(*.pch)") + Nul() + QStringLiteral("*.pch") +
                                     Nul() + QStringLiteral("All (*.*)") + Nul() + QStringLiteral("*.*") +
                                     Nul());
        QVERIFY(request.readOnly);
        QCOMPARE(f.S().PatchesData, content);
        QCOMPARE(f.view.patches.count, entries);
        QCOMPARE(f.view.patches.toolTip, QString::number(entries) + QStringLiteral(" Patches"));
        QCOMPARE(f.S().PatchesFilePath, f.Path(QStringLiteral("song.pch")));
        QCOMPARE(f.S().PatchesDescFilePath, f.Path(QStringLiteral("song.pch.txt")));
        QCOMPARE(f.view.patches.labelToolTip, QStringLiteral("song.pch"));
        QCOMPARE(f.view.caption, QStringLiteral("Quillbox   ") + f.Path(QStringLiteral("song.pch")));
        QCOMPARE(f.view.messages.size(), nameMessage ? 1 : 0);
        if (nameMessage) {
            QVERIFY(f.view.messages.at(0).text.startsWith(QStringLiteral("StringToPatchName: ")));
            QCOMPARE(f.view.patches.lines.last(), QStringLiteral("03:  "));
        }
        QCOMPARE(f.S().LibraryData, MakeStore(1));
    }

    void exportAndReimport() {
        Fixture f;
        const QByteArray store = MakeStore(3, 40);
        const QStringList desc{QStringLiteral("first"), QString(),
                               QStringLiteral("two\r\nlines &*& \"q\" é")};
        f.LoadLibrary(QStringLiteral("a.pslib"), store);
        for (int i = 0; i < 3; ++i) {
            f.Ctl().LibraryClicked(i);
            f.Ctl().DescriptionEdited(desc.at(i));
        }
        const bool changed = f.S().LibChanged;

        f.view.paths.push_back(f.Path(QStringLiteral("out")));
        f.Ctl().ExportLibrary();
        const FileDialogRequest& request = f.view.pathRequests.last();
        QCOMPARE(request.dialogTitle, QStringLiteral("Quillbox Export PS02PatchFile"));
        QCOMPARE(request.filter,
                 QStringLiteral("PS02 Patches(*.pch)") + Nul() + QStringLiteral("*.pch") + Nul());
        QVERIFY(request.forSaving);
        const QString out = f.Path(QStringLiteral("out.pch"));
        QCOMPARE(f.view.MessageTexts(), QStringList{out + QStringLiteral(" saved")});
        QCOMPARE(ReadBytes(out), store);
        QVERIFY(QFileInfo::exists(out + QStringLiteral(".txt")));
        QCOMPARE(f.S().LibChanged, changed);

        // Re-imported: the same patches, and the same descriptions through the box and a copy.
        f.view.paths.push_back(out);
        f.Ctl().ImportPatches();
        QCOMPARE(f.S().PatchesData, store);
        QCOMPARE(f.Ctl().PatchDescription(0), desc.at(0));
        QCOMPARE(f.Ctl().PatchDescription(1), desc.at(1));
        QCOMPARE(f.Ctl().PatchDescription(2),
                 QStringLiteral("two\r\nlines \r\n \"q\" é")); // "&*&" is a break
        f.Ctl().PatchesClicked(0);
        QCOMPARE(f.view.description, desc.at(0));
        f.Ctl().DeleteAll();
        f.Ctl().AppendAllPatches();
        QCOMPARE(f.S().LibraryData, store);
        QCOMPARE(f.S().DescArray.mid(1, 2), desc.mid(0, 2));

        // A name already ending in ".pch" is kept; an existing file is replaced only after Yes.
        f.view.paths.push_back(out);
        f.view.yesNoAnswers.push_back(false);
        f.Ctl().DeleteAll();
        f.Ctl().ExportLibrary();
        QCOMPARE(ReadBytes(out), store);
        f.view.paths.push_back(out);
        f.view.yesNoAnswers.push_back(true);
        f.Ctl().ExportLibrary();
        QCOMPARE(ReadBytes(out), QByteArray());
    }

    // The closing question, and the same question before loading over unsaved changes.
    void closingQuestion_data() {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("answer"); // -1 none expected, else SaveAnswer
        QTest::addColumn<bool>("breakSave");
        QTest::addColumn<bool>("mayClose");
        QTest::addColumn<bool>("written");
        QTest::newRow("nothing loaded, box clicked") << false << true << -1 << false << true << false;
        QTest::newRow("unchanged") << true << false << -1 << false << true << false;
        QTest::newRow("Yes") << true << true << int(SaveAnswer::Yes) << false << true << true;
        QTest::newRow("No") << true << true << int(SaveAnswer::No) << false << true << false;
        QTest::newRow("Cancel") << true << true << int(SaveAnswer::Cancel) << false << false << false;
        QTest::newRow("Yes, save fails") << true << true << int(SaveAnswer::Yes) << true << false << false;
    }
    void closingQuestion() {
        QFETCH(bool, loaded);
        QFETCH(bool, changed);
        QFETCH(int, answer);
        QFETCH(bool, breakSave);
        QFETCH(bool, mayClose);
        QFETCH(bool, written);
        Fixture f;
        const QString lib = f.Path(QStringLiteral("c.pslib"));
        const QByteArray old = LibraryFileBytes(MakeStore(2));
        if (loaded) {
            WriteBytes(lib, old);
            f.view.paths.push_back(lib);
            f.Ctl().LoadLib();
        }
        if (changed) {
            f.Ctl().DescriptionClicked();
            f.Ctl().LibraryClicked(0);
            f.Ctl().DeleteSelected();
        }
        if (breakSave)
            QVERIFY(QDir().mkpath(lib + QStringLiteral(".txt")));
        if (answer >= 0)
            f.view.saveAnswers.push_back(SaveAnswer(answer));

        QCOMPARE(f.Ctl().QueryClose(), mayClose);
        QCOMPARE(f.view.saveQuestions, answer >= 0 ? 1 : 0);
        if (loaded)
            QCOMPARE(ReadBytes(lib), written ? LibraryFileBytes(MakeStore(2).mid(18)) : old);
        QCOMPARE(f.S().LibChanged, changed && !written);
        QCOMPARE(f.view.messages.size(), breakSave ? 1 : 0);
    }

    void loadAsksAboutUnsavedChanges_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("breakSave");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<bool>("saved");
        QTest::newRow("Yes") << int(SaveAnswer::Yes) << false << true << true;
        QTest::newRow("No") << int(SaveAnswer::No) << false << true << false;
        QTest::newRow("Cancel") << int(SaveAnswer::Cancel) << false << false << false;
        QTest::newRow("Yes, save fails") << int(SaveAnswer::Yes) << true << false << false;
    }
    void loadAsksAboutUnsavedChanges() {
        QFETCH(int, answer);
        QFETCH(bool, breakSave);
        QFETCH(bool, loads);
        QFETCH(bool, saved);
        Fixture f;
        const QByteArray old = LibraryFileBytes(MakeStore(2));
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(2));
        f.Ctl().LibraryClicked(1);
        f.Ctl().MoveUp();
        QVERIFY(f.S().LibChanged);
        WriteBytes(f.Path(QStringLiteral("b.pslib")), LibraryFileBytes(MakeStore(4, 90)));
        if (breakSave)
            QVERIFY(QDir().mkpath(f.Path(QStringLiteral("a.pslib.txt"))));
        const Snapshot before = Snapshot::Of(f);

        f.view.saveAnswers.push_back(SaveAnswer(answer));
        if (loads)
            f.view.paths.push_back(f.Path(QStringLiteral("b.pslib")));
        f.Ctl().LoadLib();

        QCOMPARE(f.view.saveQuestions, 1);
        QVERIFY(f.view.AnswersUsedUp());
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("a.pslib"))) != old, saved);
        if (loads) {
            QCOMPARE(f.S().LibraryData, MakeStore(4, 90));
            QVERIFY(!f.S().LibChanged);
        } else {
            QVERIFY(Snapshot::Of(f) == before);
            QCOMPARE(f.view.pathRequests.size(), 1); // only the first load asked for a file
        }
    }

    // Loading another library leaves nothing of the old one editable in the panel or the box.
    void loadDisablesPanelOfOldLibrary() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(3),
                      {QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3")});
        f.Ctl().LibraryClicked(2);
        QCOMPARE(f.view.detailsEnabled, std::optional<bool>(true));
        QCOMPARE(f.view.description, QStringLiteral("a3"));
        const QByteArray other = MakeStore(3, 60);
        f.LoadLibrary(QStringLiteral("b.pslib"), other,
                      {QStringLiteral("b1"), QStringLiteral("b2"), QStringLiteral("b3")});

        QCOMPARE(f.view.detailsEnabled, std::optional<bool>(false));
        QCOMPARE(f.view.description, QString());
        QCOMPARE(f.view.library.selected, -1);
        // Typing and picking now store nothing in the new library.
        f.Ctl().DescriptionEdited(QStringLiteral("stray"));
        f.Ctl().CabTypePicked(3);
        QCOMPARE(f.S().DescArray,
                 (QStringList{QString(), QStringLiteral("b1"), QStringLiteral("b2"), QStringLiteral("b3")}));
        QCOMPARE(f.S().LibraryData, other);
        QVERIFY(!f.S().LibChanged);
    }

    void loadFromPathAsksFirstAndSkipsDialog() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("a.pslib"), MakeStore(1));
        f.Ctl().DescriptionClicked();
        f.view.saveAnswers.push_back(SaveAnswer::No);
        f.Ctl().LoadLibFromPath(f.Path(QStringLiteral("fresh")));
        QCOMPARE(f.view.saveQuestions, 1);
        QCOMPARE(f.view.pathRequests.size(), 1);
        QCOMPARE(f.S().LibFilePath, f.Path(QStringLiteral("fresh.pslib")));
        QCOMPARE(ReadBytes(f.Path(QStringLiteral("fresh.pslib"))), QByteArray(1, '\x01'));

        WriteBytes(f.Path(QStringLiteral("p.pch")), MakeStore(2, 5));
        f.Ctl().ImportPatchesFromPath(f.Path(QStringLiteral("p.pch")));
        QCOMPARE(f.S().PatchesData, MakeStore(2, 5));
        QCOMPARE(f.view.pathRequests.size(), 1);
    }

    void cleanup() {}
};

QTEST_GUILESS_MAIN(TestLibraryFiles)
#include "tst_LibraryFiles.moc"
