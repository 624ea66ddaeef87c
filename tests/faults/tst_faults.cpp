// Bad files and failing writes through the real commands. A bad file is refused with its message and
// changes nothing, or is taken as far as its format allows. A failed save leaves every file byte for
// byte and no temporary file behind, keeps the library marked as changed and tells the user why.
#include "LibraryFile.h"
#include "LibraryTestSupport.h"
#include "SafeSave.h"
#include "TextEncoding.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringEncoder>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;

namespace {

// While alive, permission bits bind this process as they bind any user: running as root, it takes
// the effective ids of nobody/nogroup, which also drops root's capabilities.
struct Unprivileged {
    Unprivileged() { Switch(65534); }
    ~Unprivileged() { Switch(0); }
    static void Switch(uid_t id) {
        if (::getuid() == 0 && (::seteuid(0) != 0 || ::setegid(id) != 0 || ::seteuid(id) != 0))
            std::abort();
    }
};

enum Command { Load, ImportLib, ImportPatches };
// What the file dialog answers: a file holding the row's bytes, or a library file beside a side
// file holding them, or one of the other situations.
enum Input { Bytes, Folder, Missing, Unreadable, Huge, SideBytes, SideFolder, SideHuge };
struct FileRow {
    Command command;
    Input input;
    QByteArray bytes;
    QString message;       // %1: the chosen path; empty: no message
    int entries;           // -1: refused and nothing changes; else the list it fills
    QStringList desc = {}; // Load: the descriptions read
};
// Fault 0 a device failing after `bytes` (-1 all but the last byte), 1 a read-only folder, 2 a folder
// in the way, 3 a full disk; "Save As (Library)" over other.pslib instead of "Save (Library) ".
struct SaveRow {
    int fault, bytes;
    QString failing, message;
    bool saveAs;
};

QString Make(const QString& dir, Input input, Command command, const QByteArray& bytes) {
    const QString file = dir + (command == ImportPatches ? u"/bad.pch"_s : u"/bad.pslib"_s);
    const QString side = file + u".txt"_s;
    if (input == Missing) // Load makes a new library where nothing is; in a missing folder it cannot
        return command == Load ? dir + u"/gone/new.pslib"_s : file;
    if (input == Folder || input == SideFolder)
        QDir().mkpath(input == Folder ? file : side);
    if (input != Folder)
        WriteBytes(file, input == Bytes ? bytes : LibraryFileBytes(MakeStore(2, 50)));
    if (input == SideBytes)
        WriteBytes(side, bytes);
    if (input == Unreadable)
        QFile::setPermissions(file, QFileDevice::WriteOwner);
    QFile huge(input == Huge ? file : side); // 20 MiB without writing them: a hole reads as NUL bytes
    if ((input == Huge || input == SideHuge) && !(huge.open(QIODevice::ReadWrite) && huge.resize(20 << 20)))
        return {};
    return file;
}

QStringList TextLines(const QByteArray& bytes) { // whatever the encoding and line ends
    return DecodeText(bytes).text.split(QRegularExpression(u"[\r\n]+"_s), Qt::SkipEmptyParts);
}

QMap<QString, QByteArray> FolderContent(const QString& folder) { // hidden entries too
    QMap<QString, QByteArray> content;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        content.insert(name, ReadBytes(folder + QLatin1Char('/') + name));
    return content;
}

// A tmpfs of 36 KiB on `folder`, in a mount namespace of this process's own that nothing else sees:
// room for the files of a test, not for another copy of them.
bool MountTinyFilesystem(const QString& folder) {
    return ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=36k") == 0;
}

const QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
const QFile::Permissions Traversable = ReadOnly | QFile::WriteOwner;

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    static auto Library(const LibraryState& s) {
        return std::tuple(s.LibraryData, s.DescArray, s.LibFilePath, s.LibChanged);
    }
    static auto Patches(const LibraryState& s) { return std::tuple(s.PatchesData, s.PatchesFilePath); }

private Q_SLOTS:
    void badFile_data() {
        QTest::addColumn<FileRow>("row");
        const QString notValid = u"Not a valid Library"_s, none;
        const QString cannotOpen = u"ReadFileAsString Error - Cannot open the file: %1"_s;
        const QString tooLarge = u"ReadFileAsString Error - The file is larger than 16 MiB: %1"_s;
        const QString notFound = u"File not found: %1"_s;
        const QString shortName = u"StringToPatchName: the patch ends after %1 of the 6 name bytes"_s;
        const QByteArray s = MakeStore(3, 20);
        const QStringList one{QString()}, two{QString(), QString()};
        QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        QByteArray garbage;
        for (quint32 x = 12345, i = 0; i < 4096; ++i)
            garbage += char((x = x * 1103515245u + 12345u) >> 24);
        // clang-format off
        QTest::newRow("0 bytes, load") << FileRow{Load, Bytes, {}, notValid, -1};
        QTest::newRow("0 bytes, import library") << FileRow{ImportLib, Bytes, {}, notValid, -1};
        QTest::newRow("0 bytes, import patches") << FileRow{ImportPatches, Bytes, {}, none, 0};
        QTest::newRow("first byte 2, load") << FileRow{Load, Bytes, '\x02' + s, notValid, -1};
        QTest::newRow("first byte 2, import library") << FileRow{ImportLib, Bytes, '\x02' + s, notValid, -1};
        QTest::newRow("17 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(16)), shortName.arg(5), 1, one};
        QTest::newRow("19 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(18)), none, 1, one};
        QTest::newRow("20 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(19)), shortName.arg(0), 2, two};
        QTest::newRow("35 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(34)), shortName.arg(5), 2, two};
        QTest::newRow("37 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(36)), none, 2, two};
        QTest::newRow("17 bytes, import patches") << FileRow{ImportPatches, Bytes, s.left(17), none, 1};
        QTest::newRow("19 bytes, import patches") << FileRow{ImportPatches, Bytes, s.left(19), shortName.arg(0), 2};
        QTest::newRow("35 bytes, import patches") << FileRow{ImportPatches, Bytes, s.left(35), none, 2};
        QTest::newRow("37 bytes, import patches") << FileRow{ImportPatches, Bytes, s.left(37), shortName.arg(0), 3};
        for (const auto& [command, name] : {std::pair(Load, "load"), {ImportLib, "import library"}, {ImportPatches, "import patches"}}) {
            QTest::addRow("folder, %s", name) << FileRow{command, Folder, {}, cannotOpen, -1};
            QTest::addRow("unreadable, %s", name) << FileRow{command, Unreadable, {}, cannotOpen, -1};
            QTest::addRow("20 MiB, %s", name) << FileRow{command, Huge, {}, tooLarge, -1};
            QTest::addRow("missing, %s", name) << FileRow{command, Missing, {}, command == Load ? u"Error: Cannot open the file: %1"_s : notFound, -1};
        }
        QTest::newRow("side file with NUL bytes") << FileRow{Load, SideBytes, QByteArray("[Description]\r\n1=ab\0cd\r\n\0\0\r\n2=two\r\n", 35), none, 2,
            {u"ab"_s + QChar(0) + u"cd"_s, u"two"_s}};
        QTest::newRow("side file of binary garbage") << FileRow{Load, SideBytes, garbage, none, 2, two};
        QTest::newRow("side file in UTF-16") << FileRow{Load, SideBytes, utf16(u"[Description]\r\n1=Café €\r\n2=日本\r\n"_s), none, 2,
            {u"Café €"_s, u"日本"_s}};
        QTest::newRow("side file keys 0, -1, 99999999999") << FileRow{Load, SideBytes,
            "[Description]\r\n0=zero\r\n-1=minus\r\n99999999999=big\r\n2=two\r\n", none, 2, {{}, u"two"_s}};
        QTest::newRow("side file is a folder") << FileRow{Load, SideFolder, {}, cannotOpen.arg(u"%1.txt"_s), 2, two};
        QTest::newRow("side file of 20 MiB") << FileRow{Load, SideHuge, {}, tooLarge.arg(u"%1.txt"_s), 2, two};
        // clang-format on
    }
    void badFile() {
        QFETCH(FileRow, row);
        const auto [command, input, bytes, message, entries, desc] = row;
        // The bad file meets a library with unsaved changes and an imported list.
        Fixture f;
        f.LoadLibrary(u"good.pslib"_s, MakeStore(3), {u"one"_s, u"two"_s});
        f.ImportPatches(u"in.pch"_s, MakeStore(2, 90));
        f.Run(u"click"_s);
        QVERIFY(QFile::setPermissions(f.dir.path(), Traversable));
        const QString path = Make(f.dir.path(), Input(input), Command(command), bytes);
        QVERIFY(!path.isEmpty());
        const QByteArray fileBefore = ReadBytes(path);
        const auto libraryBefore = Library(f.S());
        const auto patchesBefore = Patches(f.S());
        const QString caption = f.view.caption;
        f.view.messages.clear();
        {
            std::optional<Unprivileged> user;
            if (input == Unreadable) {
                user.emplace();
                QVERIFY(!QFile(path).open(QIODevice::ReadOnly)); // else the row proves nothing
            }
            f.view.paths.push_back(path);
            if (command == Load)
                f.view.saveAnswers.push_back(SaveAnswer::No);
            f.Run(command == Load ? u"load"_s : command == ImportLib ? u"importLib"_s : u"importPatches"_s);
        }
        const QStringList told =
            message.isEmpty() ? QStringList() : QStringList{QString(message).replace(u"%1"_s, path)};
        QCOMPARE(f.view.messages, told);
        QVERIFY(!f.view.busy && ReadBytes(path) == fileBefore); // the chosen file is never written
        QVERIFY((command == Load && entries >= 0) || Library(f.S()) == libraryBefore);
        QVERIFY((command != Load && entries >= 0) || Patches(f.S()) == patchesBefore);
        QCOMPARE(f.view.caption, entries < 0 ? caption : u"Quillbox   "_s + path);
        if (entries < 0)
            return;
        QCOMPARE(command == Load ? f.S().LibraryData : f.S().PatchesData,
                 command == ImportPatches ? fileBefore : DecodeLibrary(fileBefore));
        QCOMPARE(f.Ctl().ListCount(command == Load ? ListId::Library : ListId::Patches), entries);
        if (command == ImportPatches && entries > 0) { // a patch cut short goes in whole, padded
            f.Run(u"L0 P%1 copy"_s.arg(entries - 1));
            QCOMPARE(f.S().LibraryData.size(), 4 * 18);
        }
        if (command != Load)
            return;
        QCOMPARE(f.S().DescArray, QStringList{QString()} + desc);
        QVERIFY(!f.S().LibChanged);

        // A save keeps every line of the side file that is not one of its entries; a side file that
        // could not be read is not written over.
        const QString side = path + u".txt"_s;
        if (!QFileInfo::exists(side))
            return;
        const QByteArray sideBefore = ReadBytes(side);
        f.view.messages.clear();
        const bool readable = input == SideBytes;
        QCOMPARE(f.Ctl().SaveLib(), readable);
        if (!readable) {
            QCOMPARE(f.view.messages, told);
            QCOMPARE(ReadBytes(side), sideBefore);
            return;
        }
        const QStringList linesAfter = TextLines(ReadBytes(side));
        for (const QString& line : TextLines(sideBefore))
            QVERIFY2(line.startsWith(u'1') || line.startsWith(u'2') || linesAfter.contains(line),
                     qPrintable(line));
    }

    void failedSave_data() {
        QTest::addColumn<SaveRow>("row");
        const QString cannotWrite = u"Error: Cannot write to the file: "_s;
        const QString cannotOpen = u"Error: Cannot open the file: "_s;
        const QString lib = u"lib.pslib"_s, side = u"lib.pslib.txt"_s;
        // clang-format off
        QTest::newRow("side file fails at the start")  << SaveRow{0, 0, side, cannotWrite, false};
        QTest::newRow("side file fails midway")        << SaveRow{0, 300, side, cannotWrite, false};
        QTest::newRow("library fails at the start")    << SaveRow{0, 0, lib, cannotWrite, false};
        QTest::newRow("library fails at the last byte") << SaveRow{0, -1, lib, cannotWrite, false};
        QTest::newRow("save as: side file fails midway") << SaveRow{0, 300, u"other.pslib.txt"_s, cannotWrite, true};
        QTest::newRow("save as: library fails at the last byte") << SaveRow{0, -1, u"other.pslib"_s, cannotWrite, true};
        QTest::newRow("read-only folder, unprivileged") << SaveRow{1, 0, side, cannotOpen, false};
        QTest::newRow("save as onto a folder")         << SaveRow{2, 0, u"other.pslib"_s, cannotOpen, true};
        QTest::newRow("full filesystem")               << SaveRow{3, 0, side, cannotWrite, false};
        // clang-format on
    }
    void failedSave() {
        QFETCH(SaveRow, row);
        const auto [fault, bytes, failing, message, saveAs] = row;
        Fixture f;
        const QString work = f.Path(u"work"_s), lib = work + u"/lib.pslib"_s;
        const QString failingPath = work + QLatin1Char('/') + failing;
        QVERIFY(QDir().mkpath(work));
        if (fault == 3 && !MountTinyFilesystem(work))
            QSKIP("a small filesystem of our own needs root and a mount namespace");
        auto unmount = qScopeGuard([&] {
            SafeSave::SetWriteHookForTest({});
            if (fault == 3)
                ::umount2(QFile::encodeName(work).constData(), MNT_DETACH);
        });
        WriteBytes(lib, LibraryFileBytes(MakeStore(400)));
        WriteBytes(lib + u".txt"_s, SideFileBytes(Descs(400, u"a description, number "_s)));
        WriteBytes(work + u"/other.pslib"_s, LibraryFileBytes(MakeStore(2, 70)));
        WriteBytes(work + u"/other.pslib.txt"_s, "[Description]\r\n1=other\r\n");
        if (fault == 2)
            QVERIFY(QFile::remove(failingPath) && QDir().mkdir(failingPath));
        f.Run(u"open:work/lib.pslib L7 clone t:typed"_s);
        const LibraryState before = f.S();
        const QMap<QString, QByteArray> files = FolderContent(work);
        SafeSave::SetWriteHookForTest([&](const QString& target, QIODevice& file, const QByteArray& content) {
            if (fault != 0 || target != failingPath)
                return file.write(content);
            file.write(content.left(bytes < 0 ? content.size() - 1 : bytes));
            return qint64(-1);
        });
        f.view.paths.assign(saveAs ? 1 : 0, work + u"/other"_s); // replacing the existing other.pslib
        f.view.yesNoAnswers.assign(saveAs ? 1 : 0, true);
        {
            std::optional<Unprivileged> user;
            if (fault == 1) {
                QVERIFY(QFile::setPermissions(f.dir.path(), Traversable));
                QVERIFY(QFile::setPermissions(work, ReadOnly));
                user.emplace();
                QVERIFY(!QFile(work + u"/probe"_s).open(QIODevice::WriteOnly)); // else it proves nothing
            }
            f.Run(saveAs ? u"saveAs"_s : u"save"_s);
        }
        QFile::setPermissions(work, Traversable);
        QCOMPARE(f.view.messages, QStringList{message + failingPath});
        QCOMPARE(FolderContent(work), files); // byte for byte as before, and no temporary file left
        QVERIFY(f.S().LibChanged && !f.view.busy && f.S().LibFilePath == before.LibFilePath &&
                f.S().DescFilePath == before.DescFilePath && f.S().LibraryData == before.LibraryData &&
                f.S().DescArray == before.DescArray);
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
