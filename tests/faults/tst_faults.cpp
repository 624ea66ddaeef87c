// Bad files and failing writes through the real commands. A bad file is refused with its message and
// changes nothing, or is taken as far as its format allows. A failed save leaves every file byte for
// byte and no temporary file behind, keeps the library marked as changed and tells the user why.
#include "EarlierVersions.h"
#include "FileAccess.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "LibraryTestSupport.h"
#include "NullView.h"
#include "SafeSave.h"
#include "TextEncoding.h"
#include "ToolCommands.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QThread>
#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

enum FileCommand { Load, ImportLib, ImportPatches };
// What the file dialog answers: a file holding the row's bytes, or a library file beside a side
// file holding them, or one of the other situations.
enum Input { Bytes, Folder, Missing, Unreadable, Huge, Fifo, SideBytes, SideFolder, SideHuge, SideFifo };
struct FileRow {
    FileCommand command;
    Input input;
    QByteArray bytes;
    QString message;       // %1: the chosen path; empty: no message
    int entries;           // -1: refused and nothing changes; else the list it fills
    QStringList desc = {}; // Load: the descriptions read
};
// Fault 0 a device failing after `bytes` (-1 all but the last byte), 1 a read-only folder, 2 a folder
// in the way, 3 a full disk (the system refuses to write a file past the old side file's size), 4
// the rename of `failing` fails, 5 the new side file would be `bytes` bytes over the size limit;
// "Save As (Library)" over other.pslib instead of "Save (Library) ", or quillbox-tool's convert
// --force over lib.pslib.
struct SaveRow {
    int fault, bytes;
    QString failing, message;
    bool saveAs, tool = false;
};

QString Make(const QString& dir, Input input, FileCommand command, const QByteArray& bytes) {
    const QString file = dir + (command == ImportPatches ? u"/bad.pch"_s : u"/bad.pslib"_s);
    const QString side = file + u".txt"_s;
    if (input == Missing) // Load makes a new library where nothing is; in a missing folder it cannot
        return command == Load ? dir + u"/gone/new.pslib"_s : file;
    if (input == Folder || input == SideFolder)
        QDir().mkpath(input == Folder ? file : side);
    if ((input == Fifo || input == SideFifo) &&
        ::mkfifo(QFile::encodeName(input == Fifo ? file : side).constData(), 0600) != 0)
        return {};
    if (input != Folder && input != Fifo)
        WriteBytes(file, input == Bytes ? bytes : LibraryFileBytes(MakeStore(2, 50)));
    if (input == SideBytes)
        WriteBytes(side, bytes);
    if (input == Unreadable)
        QFile::setPermissions(file, QFileDevice::WriteOwner);
    QFile huge(input == Huge ? file : side); // over the limit without writing it: a hole reads as NUL bytes
    if ((input == Huge || input == SideHuge) &&
        !(huge.open(QIODevice::ReadWrite) && huge.resize(MaxFileSize() + 1)))
        return {};
    return file;
}

QStringList TextLines(const QByteArray& bytes) { // whatever the encoding and line ends
    return DecodeText(bytes).text.split(QRegularExpression(u"[\r\n]+"_s), Qt::SkipEmptyParts);
}

// The bytes of a regular file; anything else (a FIFO would block) only by what it is, a file of a
// gibibyte (sparse, made by a test) by its size.
QByteArray Snapshot(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile() && info.size() > (64 << 20))
        return "<" + QByteArray::number(info.size()) + " bytes>";
    return info.isFile()   ? ReadBytes(path)
           : info.exists() ? QByteArray("<not a file>")
                           : QByteArray("<none>");
}

QMap<QString, QByteArray> FolderContent(const QString& folder) { // hidden entries too
    QMap<QString, QByteArray> content;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        content.insert(name, Snapshot(folder + QLatin1Char('/') + name));
    return content;
}

// A library's descriptions of up to 255 characters, each one different: a piece of `pieces`, the
// number, then pieces as long as they fit.
QStringList FullDescriptions(qsizetype count, const QStringList& pieces) {
    QStringList descriptions{QString()};
    for (qsizetype i = 1; i <= count; ++i) {
        QString text = pieces[i % pieces.size()] + QString::number(i);
        for (qsizetype k = i; text.size() + pieces[k % pieces.size()].size() <= 255; ++k)
            text += pieces[k % pieces.size()];
        descriptions.append(text);
    }
    return descriptions;
}

// Where a save is stopped: in the write of a temporary file or the record, or right before a
// rename (of "record": before the record is removed).
enum Step { WriteSide, WriteLib, WriteRecord, RenameSide, RenameLib, RemoveRecord };
// Stops the save at `step` by killing this process, or (`fail`) by making that rename fail.
void StopSaveAt(Step step, const QString& lib, bool fail) {
    const QString side = lib + u".txt"_s, record = SafeSave::CommitRecordPath(lib);
    const QString target = step == WriteSide || step == RenameSide ? side
                           : step == WriteLib || step == RenameLib ? lib
                                                                   : record;
    if (step <= WriteRecord) {
        SafeSave::SetWriteHookForTest([target](const QString& t, QIODevice& file, const QByteArray& content) {
            if (t == target) {
                file.write(content.left(content.size() / 2));
                ::raise(SIGKILL);
            }
            return file.write(content);
        });
    } else {
        SafeSave::SetRenameHookForTest([target, fail](const QString& t) {
            if (t == target && fail)
                throw FileError{FileErrorNumber, u"test"_s, u"rename refused"_s};
            if (t == target)
                ::raise(SIGKILL);
        });
    }
}

// Deletes entry 1 and saves, as the window does; or converts `in` over the library, as the tool does.
void SaveWithEntry1Deleted(const QString& lib) {
    NullView view;
    LibraryController ctl(view, u"Quillbox"_s);
    ctl.LoadLibFromPath(lib);
    ctl.LibraryClicked(0);
    ctl.DeleteSelected();
    ctl.SaveLib();
}
int ConvertOver(const QString& in, const QString& lib, QString* errors = nullptr) {
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int code = tool::RunTool({u"convert"_s, u"--force"_s, in, lib}, outStream, errStream);
    if (errors)
        *errors = err;
    return code;
}

// A genuine commit record of `lib`: the one a save of it writes, taken while the save runs (the save
// then ends as usual). Its temporary files are gone after the save.
QByteArray GenuineRecord(const QString& lib) {
    QByteArray record;
    SafeSave::SetRenameHookForTest([&](const QString&) {
        if (record.isEmpty())
            record = ReadBytes(SafeSave::CommitRecordPath(lib));
    });
    SaveWithEntry1Deleted(lib);
    SafeSave::SetRenameHookForTest({});
    return record;
}

// How a planted record is made from a genuine one of the library; `victims` is a folder of files it
// must never touch.
enum Plant {
    OtherOwner,
    Link,
    Fifo_,
    TargetElsewhere,
    TempElsewhere,
    Relative,
    DotDot,
    NotOurPattern,
    NoEndLine,
    TooBig,
    Binary,
    NineBytes,
    OtherLibrary,
    OldFormat
};
struct PlantRow {
    Plant plant;
    QString why; // what the message gives as the reason
};

const QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
const QFile::Permissions Traversable = ReadOnly | QFile::WriteOwner;

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    static auto Library(const LibraryState& s) {
        return std::tuple(s.LibraryData, s.DescArray, s.LibFilePath, s.LibChanged);
    }
    static auto Patches(const LibraryState& s) { return std::tuple(s.PatchesData, s.PatchesFilePath); }
    QTemporaryDir dataHome_;

private Q_SLOTS:
    // The tool keeps earlier versions here, never in the user's data folder, also when run by hand.
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_.path())); }
    void badFile_data() {
        QTest::addColumn<FileRow>("row");
        const QString notValid = u"Not a valid Library"_s, none;
        const QString cannotOpen = u"ReadFileAsString Error - Cannot open the file: %1"_s;
        const QString tooLarge = u"ReadFileAsString Error - The file is larger than 1 GiB: %1"_s;
        const QString notRegular =
            u"ReadFileAsString Error - Not a regular file (a FIFO, a device or a socket), "
            u"which Quillbox does not read; choose a regular file: %1"_s;
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
        // Only the last entry can be cut short; which one that is, with more entries, the model tests' listLines tries.
        QTest::newRow("17 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(16)), shortName.arg(5), 1, one};
        QTest::newRow("19 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(18)), none, 1, one};
        QTest::newRow("20 bytes, load") << FileRow{Load, Bytes, LibraryFileBytes(s.left(19)), shortName.arg(0), 2, two};
        QTest::newRow("17 bytes, import patches") << FileRow{ImportPatches, Bytes, s.left(17), none, 1};
        QTest::newRow("19 bytes, import patches") << FileRow{ImportPatches, Bytes, s.left(19), shortName.arg(0), 2};
        for (const auto& [command, name] : {std::pair(Load, "load"), {ImportLib, "import library"}, {ImportPatches, "import patches"}}) {
            QTest::addRow("folder, %s", name) << FileRow{command, Folder, {}, cannotOpen, -1};
            QTest::addRow("unreadable, %s", name) << FileRow{command, Unreadable, {}, cannotOpen, -1};
            QTest::addRow("1 GiB + 1, %s", name) << FileRow{command, Huge, {}, tooLarge, -1};
            QTest::addRow("FIFO, %s", name) << FileRow{command, Fifo, {}, notRegular, -1};
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
        QTest::newRow("side file of 1 GiB + 1") << FileRow{Load, SideHuge, {}, tooLarge.arg(u"%1.txt"_s), 2, two};
        QTest::newRow("side file is a FIFO") << FileRow{Load, SideFifo, {}, notRegular.arg(u"%1.txt"_s), 2, two};
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
        const QString path = Make(f.dir.path(), Input(input), FileCommand(command), bytes);
        QVERIFY(!path.isEmpty());
        ::alarm(60); // a FIFO that blocks ends the test rather than hanging it
        const auto noAlarm = qScopeGuard([] { ::alarm(0); });
        const QByteArray fileBefore = Snapshot(path);
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
        QVERIFY(!f.view.busy && Snapshot(path) == fileBefore); // the chosen file is never written
        QVERIFY((command == Load && entries >= 0) || Library(f.S()) == libraryBefore);
        QVERIFY((command != Load && entries >= 0) || Patches(f.S()) == patchesBefore);
        QCOMPARE(f.view.caption, entries >= 0 && command == Load ? u"Quillbox   "_s + path : caption);
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
        const QByteArray sideBefore = Snapshot(side);
        f.view.messages.clear();
        const bool readable = input == SideBytes;
        QCOMPARE(f.Ctl().SaveLib(), readable);
        if (!readable) {
            QCOMPARE(f.view.messages, told);
            QCOMPARE(Snapshot(side), sideBefore);
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
        QTest::newRow("side file fails midway")        << SaveRow{0, 300, side, cannotWrite, false};
        QTest::newRow("library fails at the last byte") << SaveRow{0, -1, lib, cannotWrite, false};
        QTest::newRow("save as: side file fails midway") << SaveRow{0, 300, u"other.pslib.txt"_s, cannotWrite, true};
        QTest::newRow("save as: library fails at the last byte") << SaveRow{0, -1, u"other.pslib"_s, cannotWrite, true};
        QTest::newRow("read-only folder, unprivileged") << SaveRow{1, 0, side, cannotOpen, false};
        QTest::newRow("save as onto a folder")         << SaveRow{2, 0, u"other.pslib"_s, cannotOpen, true};
        QTest::newRow("full disk")                     << SaveRow{3, 0, side, cannotWrite, false};
        // The side file has been replaced when the library's rename fails: it is put back.
        QTest::newRow("rename of the library fails")   << SaveRow{4, 0, lib, cannotWrite, false};
        QTest::newRow("save as: rename of the library fails") << SaveRow{4, 0, u"other.pslib"_s, cannotWrite, true};
        QTest::newRow("rename of the side file fails") << SaveRow{4, 0, side, cannotWrite, false};
        QTest::newRow("convert: rename of the library fails") << SaveRow{4, 0, lib, cannotWrite, false, true};
        QTest::newRow("side file over the size limit") << SaveRow{5, 1, side,
            u"Error: Nothing was saved: the file would be larger than %1 bytes, the most Quillbox reads back; "
            u"make it smaller (split the library) and save again: "_s, false};
        // clang-format on
    }
    void failedSave() {
        QFETCH(SaveRow, row);
        const auto [fault, bytes, failing, message, saveAs, tool] = row;
        Fixture f;
        const QString work = f.Path(u"work"_s), lib = work + u"/lib.pslib"_s;
        const QString failingPath = work + QLatin1Char('/') + failing;
        QVERIFY(QDir().mkpath(work));
        rlimit fileSize{};
        ::getrlimit(RLIMIT_FSIZE, &fileSize);
        auto unhook = qScopeGuard([&] {
            SafeSave::SetWriteHookForTest({});
            SafeSave::SetRenameHookForTest({});
            SetMaxFileSizeForTest(0);
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
        });
        WriteBytes(lib, LibraryFileBytes(MakeStore(400)));
        WriteBytes(lib + u".txt"_s, SideFileBytes(Descs(400, u"a description, number "_s)));
        WriteBytes(work + u"/other.pslib"_s, LibraryFileBytes(MakeStore(2, 70)));
        WriteBytes(work + u"/other.pslib.txt"_s, "[Description]\r\n1=other\r\n");
        if (fault == 2)
            QVERIFY(QFile::remove(failingPath) && QDir().mkdir(failingPath));
        WriteBytes(f.Path(u"in.pch"_s), MakeStore(401, 7)); // what the tool converts
        WriteBytes(f.Path(u"in.pch.txt"_s), SideFileBytes(Descs(401, u"new "_s)));
        QString toolErrors;
        f.Run(u"open:work/lib.pslib L7 clone t:typed"_s);
        const LibraryState before = f.S();
        const QMap<QString, QByteArray> files = FolderContent(work);
        SafeSave::SetWriteHookForTest([&](const QString& target, QIODevice& file, const QByteArray& content) {
            if (fault != 0 || target != failingPath)
                return file.write(content);
            file.write(content.left(bytes < 0 ? content.size() - 1 : bytes));
            return qint64(-1);
        });
        if (fault == 4)
            StopSaveAt(failing.endsWith(u".txt"_s) ? RenameSide : RenameLib,
                       failing.endsWith(u".txt"_s) ? failingPath.chopped(4) : failingPath, true);
        // The old side file is read (it fits); the new one, a line longer, does not.
        const qint64 limit = QFileInfo(failingPath).size() + bytes;
        if (fault == 5)
            SetMaxFileSizeForTest(limit);
        const rlimit full{rlim_t(QFileInfo(failingPath).size()), fileSize.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the process
        if (fault == 3)
            ::setrlimit(RLIMIT_FSIZE, &full);
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
            if (tool)
                QCOMPARE(ConvertOver(f.Path(u"in.pch"_s), lib, &toolErrors), 1);
            else
                f.Run(saveAs ? u"saveAs"_s : u"save"_s);
        }
        QFile::setPermissions(work, Traversable);
        const QString told = QString(message).replace(u"%1"_s, QString::number(limit)) + failingPath;
        QCOMPARE(tool ? QStringList{toolErrors} : f.view.messages,
                 QStringList{tool ? u"quillbox-tool: "_s + told + u"\n"_s : told});
        QCOMPARE(FolderContent(work), files); // byte for byte as before, and no temporary file left
        QVERIFY(f.S().LibChanged && !f.view.busy && f.S().LibFilePath == before.LibFilePath &&
                f.S().DescFilePath == before.DescFilePath && f.S().LibraryData == before.LibraryData &&
                f.S().DescArray == before.DescArray);
    }

    // What a save writes, a load reads back, text for text, and saves again byte for byte: no side
    // file for no entries; 100,000 descriptions of about 255 characters make a side file well over
    // the 16 MiB that was once the reading limit, in either encoding. Descriptions start or end with
    // blanks, quotes or a tab; every line break and every typed "&*&" comes back as CR LF.
    void fullLibrary_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QByteArray>("start"); // the side file's first bytes
        QTest::newRow("no entries") << 0 << QStringList{u"x"_s} << QByteArray("<unreadable>");
        QTest::newRow("Windows-1252")
            << 100000
            << u"Crunch für Café \r\n|Lead – 5 € |\"quoted\" |& ; = [x] |\t|\r| |\n|&*&|'"_s.split(u'|')
            << QByteArray("[Description]\r\n1=");
        QTest::newRow("UTF-8") << 100000 << u"Кранч 日本 |🎸 solo\r\n|café – € |x|\n| |\""_s.split(u'|')
                               << QByteArray("\xEF\xBB\xBF[Description]");
    }
    void fullLibrary() {
        QFETCH(int, count);
        QFETCH(QStringList, pieces);
        QFETCH(QByteArray, start);
        Fixture f;
        f.LoadLibrary(u"full.pslib"_s, MakeStore(count));
        const QString side = f.Path(u"full.pslib.txt"_s);
        const QStringList descriptions = FullDescriptions(count, pieces);
        f.Ctl().MutableState().DescArray = descriptions;
        f.Ctl().MutableState().LibChanged = true;
        QVERIFY(f.Ctl().SaveLib());
        const QByteArray saved = ReadBytes(side);
        QVERIFY2((count == 0 || saved.size() > (16 << 20)) && saved.startsWith(start),
                 qPrintable(QString::number(saved.size())));

        Fixture again;
        again.Ctl().LoadLibFromPath(f.Path(u"full.pslib"_s));
        QVERIFY(again.view.messages.isEmpty());
        QCOMPARE(again.S().LibraryData, MakeStore(count));
        static const QRegularExpression breaks(u"\r\n|\r|\n|&\\*&"_s);
        // QCOMPARE would print 100,000 lines
        QVERIFY(again.S().DescArray == QStringList(descriptions).replaceInStrings(breaks, u"\r\n"_s));
        QVERIFY(again.Ctl().SaveLib());
        QVERIFY(ReadBytes(side) == saved);
    }

    // A save killed at each of its steps, by the window's "Save (Library) " and by quillbox-tool
    // convert --force, and then recovered by the next load (or check): the library and its side file
    // are always the whole old pair or the whole new pair, the user is told what was done, and the
    // next save leaves none of the killed save's temporary files, and every file of another name.
    void interruptedSave_data() {
        QTest::addColumn<bool>("tool");
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("lost");     // the library's prepared file is gone before the recovery
        QTest::addColumn<bool>("finished"); // the new pair after recovery
        QTest::addColumn<QString>("told");  // %1: the library's path
        const QString done =
            u"The last save of %1 was interrupted. Quillbox has now finished it: the file and "
            u"its descriptions both come from that save."_s;
        const QString nothing =
            u"The last save of %1 was interrupted before it had replaced a file: the file "
            u"and its descriptions are as they were before that save."_s;
        const QString undone =
            u"The last save of %1 was interrupted and could not be finished, so Quillbox has "
            u"put back the file and its descriptions as they were before that save."_s;
        for (const bool tool : {false, true}) {
            const char* by = tool ? "convert" : "save";
            // clang-format off
            QTest::addRow("%s killed writing the side file", by) << tool << int(WriteSide) << false << false << QString();
            QTest::addRow("%s killed writing the library", by) << tool << int(WriteLib) << false << false << QString();
            QTest::addRow("%s killed writing the record", by) << tool << int(WriteRecord) << false << false << nothing;
            QTest::addRow("%s killed before the side file's rename", by) << tool << int(RenameSide) << false << true << done;
            QTest::addRow("%s killed between the renames", by) << tool << int(RenameLib) << false << true << done;
            QTest::addRow("%s killed between the renames, library lost", by) << tool << int(RenameLib) << true << false << undone;
            QTest::addRow("%s killed before the record's removal", by) << tool << int(RemoveRecord) << false << true << done;
            // clang-format on
        }
    }
    void interruptedSave() {
        QFETCH(bool, tool);
        QFETCH(int, step);
        QFETCH(bool, lost);
        QFETCH(bool, finished);
        QFETCH(QString, told);
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"lib.pslib"_s), in = dir.filePath(u"in.pch"_s);
        const QString ref = dir.filePath(u"ref.pslib"_s); // where the save runs to its end
        const QStringList foreign{u".lib.pslib-0000abcd.tmp.keep"_s, u".lib.pslib-zz.tmp"_s,
                                  u".lib.pslib-123456789.tmp"_s,     u"lib.pslib-0000abcd.tmp"_s,
                                  u".other.pslib-0000abcd.tmp"_s,    u".lib.pslib.commit.keep"_s};
        for (const QString& target : {lib, ref}) {
            WriteBytes(target, LibraryFileBytes(MakeStore(2000)));
            WriteBytes(target + u".txt"_s, SideFileBytes(Descs(2000, u"old "_s)));
        }
        WriteBytes(in, MakeStore(1999, 7));
        WriteBytes(in + u".txt"_s, SideFileBytes(Descs(1999, u"new "_s)));
        for (const QString& name : foreign)
            WriteBytes(dir.filePath(name), "someone else's");
        const QByteArray oldLib = ReadBytes(lib), oldSide = ReadBytes(lib + u".txt"_s);
        tool ? void(ConvertOver(in, ref)) : SaveWithEntry1Deleted(ref);
        const QByteArray newLib = ReadBytes(ref), newSide = ReadBytes(ref + u".txt"_s);
        QVERIFY(newLib != oldLib && newSide != oldSide);
        QVERIFY(QFile::remove(ref) && QFile::remove(ref + u".txt"_s));

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) { // no test macros here: the child ends by SIGKILL, or with status 3
            StopSaveAt(Step(step), lib, false);
            tool ? void(ConvertOver(in, lib)) : SaveWithEntry1Deleted(lib);
            ::_exit(3);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the save was not stopped");
        if (lost) { // the library's prepared file, and its old version's second name, which is the same
            const QRegularExpression temp(u"^\\.lib\\.pslib-[0-9a-f]{8}\\.tmp$"_s);
            for (const QString& name : FolderContent(dir.path()).keys())
                QVERIFY(!temp.match(name).hasMatch() || QFile::remove(dir.filePath(name)));
        }

        QStringList messages;
        if (tool) {
            QString out, err;
            QTextStream outStream(&out), errStream(&err);
            QCOMPARE(tool::RunTool({u"check"_s, lib}, outStream, errStream), 0);
            messages = err.split(u'\n', Qt::SkipEmptyParts).replaceInStrings(u"quillbox-tool: "_s, QString());
        } else {
            Fixture f;
            f.Ctl().LoadLibFromPath(lib);
            messages = f.view.messages;
        }
        QCOMPARE(ReadBytes(lib), finished ? newLib : oldLib);
        QCOMPARE(ReadBytes(lib + u".txt"_s), finished ? newSide : oldSide);
        QCOMPARE(messages, told.isEmpty() ? QStringList() : QStringList{told.arg(lib)});

        // The next save removes what the killed one left, and nothing else.
        if (tool)
            QCOMPARE(ConvertOver(in, lib), 0);
        else
            SaveWithEntry1Deleted(lib);
        QStringList expected =
            foreign + QStringList{u"in.pch"_s, u"in.pch.txt"_s, u"lib.pslib"_s, u"lib.pslib.txt"_s};
        expected.sort();
        QCOMPARE(FolderContent(dir.path()).keys(), expected);
    }

    // A record that Quillbox did not write for this library, whatever it names, touches nothing: the
    // load goes on, the user is told once which file it is and why it is not ours, and a save that
    // would need the record's place refuses and changes nothing.
    void plantedRecord_data() {
        QTest::addColumn<PlantRow>("row");
        const QString notRecord = u"it is not a commit record that Quillbox wrote"_s;
        const QString notMade = u"which is not a file Quillbox makes for"_s;
        // clang-format off
        QTest::newRow("another user's")         << PlantRow{OtherOwner, u"it belongs to nobody"_s};
        QTest::newRow("a link to a record")     << PlantRow{Link, u"it is a link"_s};
        QTest::newRow("a FIFO")                 << PlantRow{Fifo_, u"it is not a regular file"_s};
        QTest::newRow("target elsewhere")       << PlantRow{TargetElsewhere, u"which is neither this library nor its side file"_s};
        QTest::newRow("temporary elsewhere")    << PlantRow{TempElsewhere, notMade};
        QTest::newRow("relative names")         << PlantRow{Relative, notMade};
        QTest::newRow("names with ..")          << PlantRow{DotDot, notMade};
        QTest::newRow("not our pattern")        << PlantRow{NotOurPattern, notMade};
        QTest::newRow("no end line, victims")   << PlantRow{NoEndLine, notMade};
        QTest::newRow("100 KiB")                << PlantRow{TooBig, u"more than such a file can be"_s};
        QTest::newRow("binary")                 << PlantRow{Binary, notRecord};
        QTest::newRow("9 bytes, another user")  << PlantRow{NineBytes, u"it belongs to nobody"_s};
        QTest::newRow("another library's")      << PlantRow{OtherLibrary, u"neither this library nor its side file"_s};
        QTest::newRow("an older format")        << PlantRow{OldFormat, notRecord};
        // clang-format on
    }
    void plantedRecord() {
        QFETCH(PlantRow, row);
        Fixture f;
        const QString work = f.Path(u"work"_s), victims = f.Path(u"victims"_s), lib = work + u"/lib.pslib"_s;
        QVERIFY(QDir().mkpath(work) && QDir().mkpath(victims));
        WriteBytes(lib, LibraryFileBytes(MakeStore(30)));
        WriteBytes(lib + u".txt"_s, SideFileBytes(Descs(30, u"mine "_s)));
        WriteBytes(work + u"/other.pslib"_s, LibraryFileBytes(MakeStore(3, 9)));
        QByteArray record = GenuineRecord(row.plant == OtherLibrary ? work + u"/other.pslib"_s : lib);
        QVERIFY(record.startsWith("Quillbox commit record"));
        const QString recordPath = SafeSave::CommitRecordPath(lib);
        // Files the record will name, planted beside the library and in the victims' folder.
        const QByteArray dirBytes = QFile::encodeName(work);
        QList<QByteArray> lines = record.split('\n');
        auto field = [&](int line, int index) {
            return lines[line].split('\t')[index];
        };
        const QByteArray sideTemp = field(1, 1), libTemp = field(2, 1);
        for (const QByteArray& temp : {sideTemp, libTemp}) // the planted "prepared" files
            WriteBytes(QFile::decodeName(QByteArray::fromPercentEncoding(temp)), "planted by someone else");
        for (const char* name : {"bashrc", "thesis.txt"})
            WriteBytes(victims + u'/' + QLatin1StringView(name), QByteArray("victim's ") + name);
        const QByteArray victimBytes = QFile::encodeName(victims);
        auto replaceIn = [&](int line, int index, const QByteArray& value) {
            QList<QByteArray> fields = lines[line].split('\t');
            fields[index] = value;
            lines[line] = fields.join('\t');
        };
        switch (row.plant) {
        case TargetElsewhere:
            replaceIn(2, 0, victimBytes + "/bashrc");
            break;
        case TempElsewhere:
            replaceIn(2, 1, QByteArray(libTemp).replace(dirBytes, victimBytes));
            WriteBytes(QFile::decodeName(QByteArray(libTemp).replace(dirBytes, victimBytes)), "victim");
            break;
        case Relative:
            replaceIn(2, 1, libTemp.mid(dirBytes.size() + 1));
            break;
        case DotDot:
            replaceIn(2, 1, QByteArray(libTemp).replace(dirBytes, QByteArray(dirBytes + "/../work")));
            break;
        case NotOurPattern:
        case NoEndLine:
            replaceIn(1, 1, victimBytes + "/thesis.txt");
            replaceIn(2, row.plant == NoEndLine ? 2 : 1, victimBytes + "/bashrc");
            break;
        default:
            break;
        }
        record = lines.join('\n');
        if (row.plant == NoEndLine)
            record.chop(5);
        if (row.plant == TooBig)
            record += QByteArray(100 * 1024, 'x');
        if (row.plant == OldFormat)
            record.replace("record 2", "record 1");
        if (row.plant == Binary)
            for (quint32 x = 7, i = 0; i < 4096; ++i)
                record[i % record.size()] = char((x = x * 1103515245u + 12345u) >> 24);
        if (row.plant == NineBytes)
            record = "Quillbox\n";
        if (row.plant == Link) {
            WriteBytes(victims + u"/record"_s, record);
            QVERIFY(QFile::link(victims + u"/record"_s, recordPath));
        } else if (row.plant == Fifo_) {
            QCOMPARE(::mkfifo(QFile::encodeName(recordPath).constData(), 0600), 0);
        } else {
            WriteBytes(recordPath, record);
        }
        if (row.plant == OtherOwner || row.plant == NineBytes)
            QCOMPARE(::chown(QFile::encodeName(recordPath).constData(), 65534, 65534), 0);
        const QMap<QString, QByteArray> workBefore = FolderContent(work),
                                        victimsBefore = FolderContent(victims);
        ::alarm(20); // a FIFO opened for reading would wait for a writer
        auto disarm = qScopeGuard([] { ::alarm(0); });

        f.Ctl().LoadLibFromPath(lib);
        QCOMPARE(LibraryFileBytes(f.S().LibraryData), workBefore.value(u"lib.pslib"_s));
        QCOMPARE(f.view.messages.size(), 1);
        const QString owner = row.plant == OtherOwner || row.plant == NineBytes
                                  ? u"nobody"_s
                                  : QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        QVERIFY2(f.view.messages[0].contains(recordPath + u" (owned by "_s + owner + u')') &&
                     f.view.messages[0].contains(row.why),
                 qPrintable(f.view.messages[0]));
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QCOMPARE(tool::RunTool({u"check"_s, lib}, outStream, errStream), 0);
        QVERIFY2(err.contains(recordPath) && err.contains(row.why), qPrintable(err));
        f.Run(u"L1 clone save"_s);
        QCOMPARE(f.view.messages.size(), 2);
        QVERIFY2(f.view.messages[1].startsWith(
                     u"Error: Nothing was saved: a file that Quillbox did not write"_s) &&
                     f.view.messages[1].endsWith(recordPath),
                 qPrintable(f.view.messages[1]));
        QVERIFY(f.S().LibChanged);
        QCOMPARE(FolderContent(work), workBefore);
        QCOMPARE(FolderContent(victims), victimsBefore);
    }

    // A killed save whose files someone changed since: recovery touches nothing changed, keeps what
    // the interrupted save prepared as an earlier version and says which files changed. A prepared
    // library that went missing is decided by identity, never by size: the old pair comes back.
    void staleRecord_data() {
        QTest::addColumn<int>("step");     // where the save was killed
        QTest::addColumn<int>("change");   // 0 the pair rewritten in place, 1 the library rewritten,
                                           // 2 the prepared library removed
        QTest::addColumn<QString>("told"); // %1 the library, %2 what changed
        const QString changed =
            u"The last save of %1 was interrupted, and since then %2 changed. Quillbox has "
            u"left the files as they are now; what that save would have written is kept "
            u"as an earlier version."_s;
        const QString lost =
            u"The last save of %1 was interrupted, and since then %2 changed. Quillbox has left "
            u"the files as they are now."_s;
        const QString undone =
            u"The last save of %1 was interrupted and could not be finished, so Quillbox has "
            u"put back the file and its descriptions as they were before that save."_s;
        // clang-format off
        QTest::newRow("before the renames, pair rewritten") << int(RenameSide) << 0 << changed;
        QTest::newRow("between the renames, library rewritten") << int(RenameLib) << 1 << changed;
        // The prepared library is the one rewritten: nothing of that save is left to keep.
        QTest::newRow("after the renames, library rewritten") << int(RemoveRecord) << 1 << lost;
        QTest::newRow("between the renames, equal-size temporary gone") << int(RenameLib) << 2 << undone;
        // clang-format on
    }
    void staleRecord() {
        QFETCH(int, step);
        QFETCH(int, change);
        QFETCH(QString, told);
        Fixture f;
        const QString lib = f.Path(u"lib.pslib"_s), side = lib + u".txt"_s;
        WriteBytes(lib, LibraryFileBytes(MakeStore(200)));
        WriteBytes(side, SideFileBytes(Descs(200, u"old "_s)));
        const QByteArray oldLib = ReadBytes(lib), oldSide = ReadBytes(side);
        const QString versions = f.versionsDir.filePath(u"versions"_s);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) { // the same number of entries: the library keeps its size
            NullView view;
            LibraryController ctl(view, u"Quillbox"_s);
            ctl.SetVersionsFolder(versions);
            ctl.LoadLibFromPath(lib);
            ctl.LibraryClicked(0);
            ctl.MoveDown();
            StopSaveAt(Step(step), lib, false);
            ctl.SaveLib();
            ::_exit(3);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the save was not stopped");
        const QRegularExpression temp(u"^\\.lib\\.pslib-[0-9a-f]{8}\\.tmp$"_s);
        QByteArray preparedLib;
        for (const QString& name : FolderContent(f.dir.path()).keys()) {
            if (!temp.match(name).hasMatch() || IdentityOf(f.Path(name)) == IdentityOf(lib))
                continue; // the old library's second name
            preparedLib = ReadBytes(f.Path(name));
            if (change == 2)
                QVERIFY(QFile::remove(f.Path(name)));
        }
        const QByteArray thirdLib = LibraryFileBytes(MakeStore(201, 5));
        const QByteArray thirdSide = SideFileBytes(Descs(201, u"third "_s));
        if (change <= 1) { // rewritten in place, as another program does
            QFile file(lib);
            QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate) && file.write(thirdLib) > 0);
        }
        if (change == 0) {
            QFile file(side);
            QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate) && file.write(thirdSide) > 0);
        }
        const QByteArray libNow = ReadBytes(lib), sideNow = ReadBytes(side);

        f.Ctl().LoadLibFromPath(lib);
        QCOMPARE(f.view.messages.size(), 1);
        const QString what = change == 0 ? lib + u" and "_s + side : lib;
        QCOMPARE(f.view.messages[0], told.arg(lib, what));
        if (change == 2) { // the old pair, whole
            QCOMPARE(ReadBytes(lib), oldLib);
            QCOMPARE(ReadBytes(side), oldSide);
        } else { // nothing changed since is touched; the interrupted save's pair is a version
            QCOMPARE(ReadBytes(lib), libNow);
            QCOMPARE(ReadBytes(side), sideNow);
            const QList<EarlierVersion> kept = f.Ctl().LibEarlierVersions();
            QCOMPARE(kept.size(), told.contains(u"earlier version"_s) ? 1 : 0);
            if (!kept.isEmpty()) {
                const LibraryPair version = EarlierVersions(versions).Read(lib, kept[0].id);
                QCOMPARE(version.library, preparedLib);
                QVERIFY(version.side && version.side != oldSide);
            }
        }
        QCOMPARE(FolderContent(f.dir.path()).keys(), (QStringList{u"lib.pslib"_s, u"lib.pslib.txt"_s}));
    }

    // Failed saves keep no version, so they never push the real ones out; a full disk is named as
    // such, and when it stops the version being kept, the save itself still happens.
    void versionsAndFullDisk() {
        Fixture f;
        const QString lib = f.Path(u"lib.pslib"_s);
        f.LoadLibrary(u"lib.pslib"_s, MakeStore(40), Descs(40, u"d "_s));
        for (int i = 0; i < 3; ++i)
            f.Run(u"L1 clone save"_s);
        const QList<EarlierVersion> real = f.Ctl().LibEarlierVersions();
        QCOMPARE(real.size(), 3);
        auto unhook = qScopeGuard([] { SafeSave::SetWriteHookForTest({}); });
        const QString fullDisk =
            u"Error: The disk is full, so nothing was written; make room on it and try again: "_s;
        bool versionsFull = false;
        SafeSave::SetWriteHookForTest([&](const QString& target, QIODevice& file, const QByteArray& content) {
            if (target.contains(u"/versions/"_s) != versionsFull)
                return file.write(content);
            errno = ENOSPC;
            return qint64(-1);
        });
        f.view.messages.clear();
        for (int i = 0; i < 20; ++i)
            f.Run(u"L1 clone save"_s);
        QCOMPARE(f.view.messages, QStringList(20, fullDisk + lib + u".txt"_s));
        const QList<EarlierVersion> after = f.Ctl().LibEarlierVersions();
        QCOMPARE(after.size(), real.size());
        for (qsizetype i = 0; i < real.size(); ++i)
            QCOMPARE(after[i].id, real[i].id);

        versionsFull = true;
        f.view.messages.clear();
        f.Run(u"save"_s);
        QVERIFY(!f.S().LibChanged);
        QCOMPARE(f.view.messages.size(), 1);
        QVERIFY2(f.view.messages[0].contains(u"could not be kept as an earlier version: "_s + fullDisk),
                 qPrintable(f.view.messages[0]));
        QCOMPARE(ReadBytes(lib), LibraryFileBytes(f.S().LibraryData));
    }

    // Two programs saving one library: the second waits for the first and then saves, with a version
    // number of its own; one that waits too long says another program is saving and writes nothing.
    void twoSavers_data() {
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("saved");
        QTest::newRow("waits for the other") << 5000 << true;
        QTest::newRow("gives up") << 100 << false;
    }
    void twoSavers() {
        QFETCH(int, waitMs);
        QFETCH(bool, saved);
        Fixture f;
        const QString lib = f.Path(u"lib.pslib"_s);
        f.LoadLibrary(u"lib.pslib"_s, MakeStore(40), Descs(40, u"d "_s));
        f.Run(u"L1 clone"_s);
        QThread::msleep(20); // so that the other saver's link of the library shows in its change time
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) { // holds the save lock for a while, in the middle of its renames
            SafeSave::SetRenameHookForTest([&](const QString&) {
                static bool once = false;
                if (!once && (once = true)) {
                    (void)!::write(ready[1], "x", 1);
                    QThread::msleep(1000);
                }
            });
            NullView view;
            LibraryController ctl(view, u"Quillbox"_s);
            ctl.SetVersionsFolder(f.versionsDir.filePath(u"versions"_s));
            ctl.LoadLibFromPath(lib);
            ctl.LibraryClicked(2);
            ctl.DeleteSelected();
            ctl.SaveLib();
            ::_exit(view.messages == 0 ? 0 : 4);
        }
        char byte = 0;
        QCOMPARE(::read(ready[0], &byte, 1), 1);
        SafeSave::SetLockWaitForTest(waitMs);
        auto restore = qScopeGuard([] { SafeSave::SetLockWaitForTest(-1); });
        // The other saver is writing the library: Save asks before it replaces that, and is told to.
        f.view.diskAnswers.push_back(DiskChangeAnswer::Overwrite);
        f.Run(u"save"_s);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        if (saved) {
            QCOMPARE(f.view.messages, QStringList());
            QCOMPARE(ReadBytes(lib), LibraryFileBytes(f.S().LibraryData));
            const QList<EarlierVersion> kept = f.Ctl().LibEarlierVersions();
            QCOMPARE(kept.size(), 2);
            QVERIFY(kept[0].id.left(6) != kept[1].id.left(6));
        } else {
            QCOMPARE(f.view.messages,
                     QStringList{u"Error: Another program is saving this file, so nothing was written; try "
                                 u"again in a moment: "_s +
                                 lib});
            QVERIFY(f.S().LibChanged);
            QCOMPARE(ReadBytes(lib), LibraryFileBytes(MakeStore(40).remove(2 * 18, 18)));
        }
    }

    // Names up to the file system's limit in bytes save, whatever their letters; a longer one is
    // called too long.
    void longNames_data() {
        QTest::addColumn<int>("sideBytes"); // the side file's name, in bytes
        for (const int bytes : {242, 249, 255, 256})
            QTest::addRow("%d bytes", bytes) << bytes;
    }
    void longNames() {
        QFETCH(int, sideBytes);
        Fixture f;
        f.LoadLibrary(u"short.pslib"_s, MakeStore(3), {u"one"_s, u"two"_s, u"three"_s});
        const int stem = sideBytes - int(qstrlen(".pslib.txt"));
        const QString lib = f.Path(QString(stem % 2, u'a') + QString(stem / 2, QChar(0xE9)) + u".pslib"_s);
        QCOMPARE(QFile::encodeName(QFileInfo(lib).fileName() + u".txt"_s).size(), sideBytes);
        const QMap<QString, QByteArray> before = FolderContent(f.dir.path());
        f.view.paths.push_back(lib);
        f.Run(sideBytes > 255 ? u"saveAs"_s : u"saveAs L1 t:changed save"_s);
        if (sideBytes > 255) {
            QCOMPARE(f.view.messages,
                     QStringList{u"Error: The file name is too long (256 bytes, where this folder "
                                 u"allows at most 255); choose a shorter name: "_s +
                                 lib + u".txt"_s});
            QCOMPARE(FolderContent(f.dir.path()), before);
            return;
        }
        QCOMPARE(f.view.messages, QStringList{lib + u" saved"_s});
        QVERIFY(!f.S().LibChanged);
        QCOMPARE(DescriptionReader(lib + u".txt"_s).Description(2), u"changed"_s);
        QCOMPARE(FolderContent(f.dir.path()).size(), before.size() + 2);
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
