// Bad files through the real commands: each is refused with its message and changes nothing, or is
// taken as the file format allows, with the message it calls for and nothing else touched.
#include "FaultSupport.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "LibraryTestSupport.h"

#include <utility>

using namespace quillbox;
using namespace quillbox::test;

namespace {

enum Command { Load, ImportLibrary, ImportPatches };
// What the dialog answers: a file holding the row's bytes, or one of these.
enum Input {
    LibraryFile,
    PatchFile,
    Folder,
    Missing,
    MissingFolder,
    Unreadable,
    Huge,
    SideFile,
    SideFolder,
    SideHuge
};

// Makes the row's input in `dir` and returns the path the file dialog answers.
QString Make(const QString& dir, Input input, Command command, const QByteArray& bytes) {
    const QString file =
        dir + (command == ImportPatches ? QStringLiteral("/bad.pch") : QStringLiteral("/bad.pslib"));
    const QString side = dir + QStringLiteral("/bad.pslib.txt");
    switch (input) {
    case LibraryFile:
    case PatchFile:
        WriteBytes(file, bytes);
        return file;
    case Folder:
        QDir().mkpath(file);
        return file;
    case Missing:
        return file;
    case MissingFolder:
        return dir + QStringLiteral("/gone/new.pslib");
    case Unreadable:
        WriteBytes(file, LibraryFileBytes(MakeStore(2)));
        QFile::setPermissions(file, QFileDevice::WriteOwner);
        return file;
    case Huge:
    case SideHuge: {
        // 20 MiB without writing them: a hole reads as NUL bytes.
        WriteBytes(file, LibraryFileBytes(MakeStore(2, 50)));
        QFile huge(input == Huge ? file : side);
        if (!huge.open(QIODevice::WriteOnly) || huge.write("\x01", 1) != 1 || !huge.resize(20 * 1024 * 1024))
            return QString();
        return file;
    }
    case SideFile:
        WriteBytes(side, bytes);
        WriteBytes(file, LibraryFileBytes(MakeStore(2, 50)));
        return file;
    case SideFolder:
        QDir().mkpath(side);
        WriteBytes(file, LibraryFileBytes(MakeStore(2, 50)));
        return file;
    }
    return QString();
}

QByteArray Utf16(const QString& text, bool bigEndian) {
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

QByteArray Garbage() {
    QByteArray bytes;
    quint32 x = 12345;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1103515245u + 12345u;
        bytes.append(char(x >> 24));
    }
    return bytes;
}

// What a command may change, taken before and after it.
struct Snapshot {
    QByteArray libraryData;
    QStringList descArray;
    QStringList libPaths;
    bool libChanged = false;
    QByteArray patchesData;
    QStringList patchesPaths;
    QString caption;
    qsizetype libCount = 0;
    qsizetype patchesCount = 0;
    QString libLabel;
    QString patchesLabel;

    static Snapshot Of(const Fixture& f) {
        const LibraryState& s = f.S();
        return {s.LibraryData,
                s.DescArray,
                {s.LibFilePath, s.LibFileName, s.DescFilePath},
                s.LibChanged,
                s.PatchesData,
                {s.PatchesFilePath, s.PatchesFileName, s.PatchesDescFilePath},
                f.view.caption,
                f.view.library.count,
                f.view.patches.count,
                f.view.library.labelToolTip,
                f.view.patches.labelToolTip};
    }
    bool LibrarySame(const Snapshot& o) const {
        return libraryData == o.libraryData && descArray == o.descArray && libPaths == o.libPaths &&
               libChanged == o.libChanged && libCount == o.libCount && libLabel == o.libLabel;
    }
    bool PatchesSame(const Snapshot& o) const {
        return patchesData == o.patchesData && patchesPaths == o.patchesPaths &&
               patchesCount == o.patchesCount && patchesLabel == o.patchesLabel;
    }
};

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void badFile_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("input");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");  // %1 stands for the chosen path; empty: no message
        QTest::addColumn<int>("entries");      // -1: refused, nothing changes; else the list it fills
        QTest::addColumn<QStringList>("desc"); // Load: the descriptions read, from position 1
        const QString notValid = QStringLiteral("Not a valid Library");
        const QString cannotOpen = QStringLiteral("ReadFileAsString Error - Cannot open the file: %1");
        const QString tooLarge =
            QStringLiteral("ReadFileAsString Error - The file is larger than 16 MiB: %1");
        const QString notFound = QStringLiteral("File not found: %1");
        const QString shortName =
            QStringLiteral("StringToPatchName: the patch ends after %1 of the 6 name bytes");
        const QByteArray store = MakeStore(3, 20);
        const QStringList two{QString(), QString()};
        auto row = [](const QByteArray& name, Command command, Input input) -> QTestData& {
            return QTest::newRow(name.constData()) << int(command) << int(input);
        };
        row("0 bytes, load", Load, LibraryFile) << QByteArray() << notValid << -1 << QStringList();
        row("0 bytes, import library", ImportLibrary, LibraryFile)
            << QByteArray() << notValid << -1 << QStringList();
        row("0 bytes, import patches", ImportPatches, PatchFile)
            << QByteArray() << QString() << 0 << QStringList();
        row("first byte 2, load", Load, LibraryFile)
            << QByteArray("\x02" + store) << notValid << -1 << QStringList();
        row("first byte 2, import library", ImportLibrary, LibraryFile)
            << QByteArray("\x02" + store) << notValid << -1 << QStringList();
        // A library file of 17 bytes holds an entry of 16 bytes: five of its six name bytes.
        row("17 bytes, load", Load, LibraryFile)
            << LibraryFileBytes(store.left(16)) << shortName.arg(5) << 1 << QStringList{QString()};
        row("19 bytes, load", Load, LibraryFile)
            << LibraryFileBytes(store.left(18)) << QString() << 1 << QStringList{QString()};
        row("35 bytes, load", Load, LibraryFile)
            << LibraryFileBytes(store.left(34)) << shortName.arg(5) << 2 << two;
        row("37 bytes, load", Load, LibraryFile) << LibraryFileBytes(store.left(36)) << QString() << 2 << two;
        // A patch file has no marker: 17 bytes still hold the whole name, 19 end one byte into a second.
        row("17 bytes, import patches", ImportPatches, PatchFile)
            << store.left(17) << QString() << 1 << QStringList();
        row("19 bytes, import patches", ImportPatches, PatchFile)
            << store.left(19) << shortName.arg(0) << 2 << QStringList();
        row("35 bytes, import patches", ImportPatches, PatchFile)
            << store.left(35) << QString() << 2 << QStringList();
        row("37 bytes, import patches", ImportPatches, PatchFile)
            << store.left(37) << shortName.arg(0) << 3 << QStringList();
        for (const auto& [command, name] : {std::pair{Load, "load"},
                                            {ImportLibrary, "import library"},
                                            {ImportPatches, "import patches"}}) {
            const QByteArray label = QByteArray(", ") + name;
            row("folder" + label, command, Folder) << QByteArray() << cannotOpen << -1 << QStringList();
            row("no read permission" + label, command, Unreadable)
                << QByteArray() << cannotOpen << -1 << QStringList();
            row("20 MiB" + label, command, Huge) << QByteArray() << tooLarge << -1 << QStringList();
            // Load makes a new library for a name that does not exist; in a missing folder it cannot.
            if (command == Load)
                row("missing folder, load", command, MissingFolder)
                    << QByteArray() << QStringLiteral("Error: Cannot open the file: %1") << -1
                    << QStringList();
            else
                row("missing file" + label, command, Missing)
                    << QByteArray() << notFound << -1 << QStringList();
        }
        // Side files: the library loads; the side file is read as far as it makes sense, and the next
        // save keeps whatever else it holds, or, when it could not be read, does not write over it.
        row("side file with NUL bytes", Load, SideFile)
            << QByteArray("[Description]\r\n1=ab\0cd\r\n\0\0\r\n2=two\r\n", 35) << QString() << 2
            << QStringList{QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"), QStringLiteral("two")};
        row("side file of binary garbage", Load, SideFile) << Garbage() << QString() << 2 << two;
        row("side file in UTF-16 LE", Load, SideFile)
            << Utf16(QStringLiteral(u"[Description]\r\n1=Café €\r\n2=日本\r\n"), false) << QString() << 2
            << QStringList{QStringLiteral(u"Café €"), QStringLiteral(u"日本")};
        row("side file in UTF-16 BE", Load, SideFile)
            << Utf16(QStringLiteral(u"[Description]\r\n1=Ünö\r\n2=two\r\n"), true) << QString() << 2
            << QStringList{QStringLiteral(u"Ünö"), QStringLiteral("two")};
        row("side file keys 0, -1, 99999999999", Load, SideFile)
            << QByteArray("[Description]\r\n0=zero\r\n-1=minus\r\n99999999999=big\r\n2=two\r\n") << QString()
            << 2 << QStringList{QString(), QStringLiteral("two")};
        row("side file is a folder", Load, SideFolder)
            << QByteArray() << cannotOpen.arg(QStringLiteral("%1.txt")) << 2 << two;
        row("side file of 20 MiB", Load, SideHuge)
            << QByteArray() << tooLarge.arg(QStringLiteral("%1.txt")) << 2 << two;
    }
    void badFile() {
        QFETCH(int, command);
        QFETCH(int, input);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(int, entries);
        QFETCH(QStringList, desc);
        Fixture f;
        // The situation the bad file meets: a library with unsaved changes and an imported list.
        const QByteArray store = MakeStore(3);
        f.LoadLibrary(QStringLiteral("good.pslib"), store,
                      {QStringLiteral("one"), QStringLiteral("two"), QString()});
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(2, 90));
        f.Ctl().DescriptionClicked();
        f.view.messages.clear();
        const QString caption = f.view.caption;
        QVERIFY(f.S().LibChanged);

        const QString work = f.Path(QStringLiteral("work"));
        QVERIFY(QDir().mkpath(work));
        const QString path = Make(work, Input(input), Command(command), bytes);
        QVERIFY(!path.isEmpty());
        const QStringList messages = message.isEmpty() ? QStringList() : QStringList{message.arg(path)};
        const QByteArray bytesBefore = ReadBytes(path);
        const Snapshot before = Snapshot::Of(f);

        {
            QVERIFY(GiveToUnprivilegedUser(f.dir.path()));
            std::optional<Unprivileged> user;
            if (input == Unreadable) {
                user.emplace();
                QVERIFY(user->Ok());
                // The row is worth nothing if the file can be read after all.
                QVERIFY(!QFile(path).open(QIODevice::ReadOnly));
            }
            f.view.paths.push_back(path);
            if (command == Load) {
                // Unsaved changes are not lost to a load: the closing question comes first.
                f.view.saveAnswers.push_back(SaveAnswer::No);
                f.Ctl().LoadLib();
            } else if (command == ImportLibrary) {
                f.Ctl().ImportLibrary();
            } else {
                f.Ctl().ImportPatches();
            }
        }

        QCOMPARE(f.view.MessageTexts(), messages);
        QVERIFY(!f.view.busy);
        const Snapshot after = Snapshot::Of(f);
        // The chosen file is never written, whatever happened.
        QCOMPARE(ReadBytes(path), bytesBefore);
        if (entries < 0) {
            QVERIFY(after.LibrarySame(before));
            QVERIFY(after.PatchesSame(before));
            QCOMPARE(after.caption, caption);
            return;
        }
        if (command != Load) {
            QVERIFY(after.LibrarySame(before));
            QCOMPARE(after.patchesCount, entries);
            QCOMPARE(f.S().PatchesData, command == ImportPatches ? bytesBefore : DecodeLibrary(bytesBefore));
            QCOMPARE(after.caption, AppTitle + QStringLiteral("   ") + path);
            return;
        }

        QVERIFY(after.PatchesSame(before));
        QCOMPARE(f.S().LibraryData, DecodeLibrary(bytesBefore));
        QCOMPARE(after.libCount, entries);
        QCOMPARE(f.S().LibFilePath, path);
        QCOMPARE(f.S().DescArray, WithElementZero(desc));
        QVERIFY(!f.S().LibChanged);

        // Saving what was loaded keeps every line of the side file that is not one of its entries.
        // A side file that could not be read is not written over either.
        const QString sidePath = path + QStringLiteral(".txt");
        if (!QFileInfo::exists(sidePath))
            return;
        if (!QFileInfo(sidePath).isFile() || QFileInfo(sidePath).size() > MaxReadSize) {
            f.view.messages.clear();
            QVERIFY(!f.Ctl().SaveLib());
            QCOMPARE(f.view.MessageTexts(), messages);
            QCOMPARE(ReadBytes(path), bytesBefore);
            return;
        }
        const QByteArray sideBefore = ReadBytes(sidePath);
        QVERIFY(f.Ctl().SaveLib());
        const QStringList linesAfter = TextLines(ReadBytes(sidePath));
        for (const QString& line : TextLines(sideBefore)) {
            if (!line.startsWith(QStringLiteral("1=")) && !line.startsWith(QStringLiteral("2=")))
                QVERIFY2(linesAfter.contains(line), qPrintable(line));
        }
        Fixture g;
        g.Ctl().LoadLibFromPath(path);
        QCOMPARE(g.S().DescArray, f.S().DescArray);
    }

    // The patches list's side file is parsed once and kept; a file changed, replaced or removed on
    // disk since is read again (or reads as empty), never served stale.
    void patchesSideFileChangesOnDisk() {
        Fixture f;
        f.LoadLibrary(QStringLiteral("lib.pslib"), MakeStore(1));
        f.ImportPatches(QStringLiteral("in.pch"), MakeStore(2, 30),
                        {QStringLiteral("first"), QStringLiteral("second")});
        const QString side = f.Path(QStringLiteral("in.pch.txt"));
        f.Ctl().PatchesClicked(1);
        QCOMPARE(f.view.description, QStringLiteral("second"));

        WriteBytes(side, SideFileBytes({QStringLiteral("one"), QStringLiteral("two, longer")}));
        f.Ctl().PatchesClicked(1);
        QCOMPARE(f.view.description, QStringLiteral("two, longer"));

        // Same size, put in place by a rename: a new file all the same.
        const QString other = f.Path(QStringLiteral("other.txt"));
        WriteBytes(other, SideFileBytes({QStringLiteral("one"), QStringLiteral("TWO, LONGER")}));
        QVERIFY(QFile::remove(side));
        QVERIFY(QFile::rename(other, side));
        f.Ctl().LibraryClicked(0);
        f.Ctl().PatchesClicked(1);
        f.Ctl().CopySelectedPatch();
        QCOMPARE(f.S().DescArray.last(), QStringLiteral("TWO, LONGER"));

        QVERIFY(QFile::remove(side));
        f.Ctl().PatchesClicked(0);
        QCOMPARE(f.view.description, QString());
    }
};

int RunBadInputTests(int argc, char** argv) {
    TestBadInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_BadInput.moc"
