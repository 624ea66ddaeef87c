#include "DescriptionFile.h"
#include "FileAccess.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "ProfileFile.h"
#include "QuotedPath.h"
#include "TestFiles.h"
#include "TestPaths.h"
#include "TextEncoding.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <numeric>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;
using namespace Qt::StringLiterals;

namespace {

const QString CannotOpen = QStringLiteral("Error: Cannot open the file: ");
const QString Default = QStringLiteral("<default>");

bool WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Hidden entries too, so that a left-over temporary file shows.
QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray AllBytes() { // every byte value, twice
    QByteArray bytes(512, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    return bytes;
}

int ModeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QByteArray Utf16(const char16_t* text) {
    return "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(text),
                                   qsizetype(std::char_traits<char16_t>::length(text) * 2));
}

QString Fixture(const char* name) {
    return QStringLiteral(QUILLBOX_TEST_DATA_DIR "/") + QString::fromUtf8(name);
}

// CR LF, Windows-1252 letters, a comment, sections around, keys 6 and 7 left by a longer library.
const QString Original = Fixture("sidefile_original.pslib.txt");

// Words, blanks, line breaks of every kind, "&*&", quotes, letters in and beyond 1252, profile syntax.
QString RandomDescription(std::mt19937& random) {
    static const QStringList pieces =
        QString::fromUtf8("Crunch|lead|x| |  |\t|\r\n|\r|\n|&*&|\"|'|é|€|ж|🎸|=|[|]|;")
            .split(QLatin1Char('|'));
    QString text;
    for (int i = int(random() % 14); i > 0 && text.size() < 240; --i)
        text += pieces[qsizetype(random() % pieces.size())];
    return text;
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;
    QString Path(const QString& name = {}) const { return dir_->filePath(name); }

    // Builds the situation a row names around the file `name`; returns the path to use.
    std::optional<QString> Prepare(const QString& situation, const QString& name) {
        QString path = Path(name);
        bool ok = true;
        if (situation == QLatin1String("empty")) {
            path.clear();
        } else if (situation == QLatin1String("nofolder")) {
            path = Path(QStringLiteral("nowhere/") + name);
        } else if (situation == QLatin1String("under a file")) { // a file where a folder should be
            ok = WriteRaw(Path(QStringLiteral("plain")), "x");
            path = Path(QStringLiteral("plain/") + name);
        } else if (situation == QLatin1String("folder")) {
            ok = QDir(Path()).mkdir(name);
        } else if (situation == QLatin1String("dangling")) { // relative: to "gone" in its own folder
            ok = ::symlink("gone", QFile::encodeName(path).constData()) == 0;
        } else if (situation == QLatin1String("link")) {
            ok = WriteRaw(Path(QStringLiteral("real")), "\x01old") &&
                 ::chmod(QFile::encodeName(Path(QStringLiteral("real"))).constData(), 0640) == 0 &&
                 ::symlink("real", QFile::encodeName(path).constData()) == 0;
        } else if (situation == QLatin1String("rofolder")) {
            path = Path(QStringLiteral("ro/") + name);
            ok = QDir(Path()).mkdir(QStringLiteral("ro")) && WriteRaw(path, "\x01old") &&
                 QFile::setPermissions(Path(QStringLiteral("ro")), QFile::ReadOwner | QFile::ExeOwner);
        } else if (situation.startsWith(QLatin1String("limit"))) {
            QFile file(path); // sparse: costs no disk space
            ok = file.open(QIODevice::WriteOnly) && file.resize(MaxFileSize() + situation.endsWith(u'1'));
        } else if (situation == QLatin1String("fifo")) {
            ok = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        } else if (situation == QLatin1String("device")) {
            path = QStringLiteral("/dev/zero");
        } else if (situation == QLatin1String("too long")) {
            path = Path(QString(128, QChar(0xE9))); // 256 bytes
        } else if (!situation.isEmpty()) {          // an existing file
            ok = WriteRaw(path, "\x01old");
            if (situation == QLatin1String("unreadable"))
                ok = ok && QFile::setPermissions(path, QFile::WriteOwner);
        }
        return ok ? std::optional(path) : std::nullopt;
    }
    // Permissions do not stop root.
    static bool SkippedAsRoot(const QString& situation) {
        return ::geteuid() == 0 &&
               (situation == QLatin1String("unreadable") || situation == QLatin1String("rofolder"));
    }

private Q_SLOTS:
    void init() { dir_.emplace(); }
    void cleanup() {
        QFile::setPermissions(Path(QStringLiteral("ro")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        dir_.reset();
    }

    // Exists? Reads? Does a write (0 bytes over a file, else every byte value) succeed or fail cleanly?
    // The size rule is checked at a small limit, so that no file of a gibibyte is needed; a save over
    // the limit is refused through the save command (tst_faults, failedSave).
    void fileRoutines_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("readError");  // empty: reads
        QTest::addColumn<QString>("writeError"); // empty: writes
        const QString open = QStringLiteral("ReadFileAsString Error - Cannot open the file: ");
        const QString notFound = QStringLiteral("File not found: ");
        const QString notRegular =
            QStringLiteral("ReadFileAsString Error - Not a regular file (a FIFO, a device "
                           "or a socket), which Quillbox does not read; choose a regular "
                           "file: ");
        const QString notRegularToWrite =
            QStringLiteral("Error: Not a regular file (a FIFO, a device or a "
                           "socket), which Quillbox does not write; choose another "
                           "name: ");
        QTest::newRow("missing") << QString() << false << notFound << QString();
        QTest::newRow("empty path") << QStringLiteral("empty") << false << notFound << CannotOpen;
        QTest::newRow("no folder") << QStringLiteral("nofolder") << false << notFound << CannotOpen;
        QTest::newRow("under a file") << QStringLiteral("under a file") << false << notFound << CannotOpen;
        QTest::newRow("folder") << QStringLiteral("folder") << true << open << CannotOpen;
        QTest::newRow("file") << QStringLiteral("file") << true << QString() << QString();
        QTest::newRow("dangling link") << QStringLiteral("dangling") << true << notFound << QString();
        QTest::newRow("link") << QStringLiteral("link") << true << QString() << QString();
        QTest::newRow("unreadable") << QStringLiteral("unreadable") << true << open << QString();
        QTest::newRow("ro folder") << QStringLiteral("rofolder") << true << QString() << CannotOpen;
        QTest::newRow("at the limit") << QStringLiteral("limit") << true << QString() << QString();
        QTest::newRow("limit + 1") << QStringLiteral("limit + 1") << true
                                   << QStringLiteral(
                                          "ReadFileAsString Error - The file is larger than 65536 bytes: ")
                                   << QString();
        QTest::newRow("fifo") << QStringLiteral("fifo") << true << notRegular << notRegularToWrite;
        QTest::newRow("/dev/zero") << QStringLiteral("device") << true << notRegular << notRegularToWrite;
        QTest::newRow("name of 256 bytes")
            << QStringLiteral("too long") << false
            << QStringLiteral(
                   "ReadFileAsString Error - The file name is too long for the file system; choose a "
                   "shorter name: ")
            << QStringLiteral("Error: The file name is too long (256 bytes, where this folder allows at most "
                              "255); choose a shorter name: ");
    }
    void fileRoutines() {
        QFETCH(QString, situation);
        QFETCH(bool, exists);
        QFETCH(QString, readError);
        QFETCH(QString, writeError);
        if (SkippedAsRoot(situation))
            QSKIP("root ignores permissions");
        SetMaxFileSizeForTest(1 << 16);
        const auto restore = qScopeGuard([] {
            SetMaxFileSizeForTest(0);
            ::alarm(0);
        });
        ::alarm(20); // a FIFO that blocks ends the test instead of hanging it
        const std::optional<QString> prepared = Prepare(situation, QStringLiteral("f.pslib"));
        QVERIFY(prepared);
        const QString path = *prepared;
        QCOMPARE(FileExists(path), exists);
        try {
            const QByteArray content = ReadFileAsString(path);
            QVERIFY2(readError.isEmpty(), "the read did not fail");
            QCOMPARE(content.size(), situation == QLatin1String("limit") ? MaxFileSize() : 4);
        } catch (const FileError& error) {
            QCOMPARE(error.number,
                     readError == QLatin1String("File not found: ") ? FileNotFoundNumber : FileErrorNumber);
            QCOMPARE(error.source, QStringLiteral("ReadFileAsString"));
            QCOMPARE(error.description, readError + path);
        }
        const QStringList before = FolderEntries(QFileInfo(path).absolutePath());
        const QByteArray content = situation == QLatin1String("file") ? QByteArray() : AllBytes();
        try {
            WriteToFile(path, content, 0);
            QVERIFY2(writeError.isEmpty(), "the write did not fail");
            // An old file keeps its mode, a new one gets the usual mode; a link stays a link.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            const int mode = situation == QLatin1String("unreadable") ? 0200
                             : situation == QLatin1String("link")     ? 0640
                                                                      : int(0666 & ~mask);
            QCOMPARE(ModeOf(path), mode);
            QCOMPARE(QFileInfo(path).isSymLink(),
                     situation == QLatin1String("link") || situation == QLatin1String("dangling"));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner)); // "unreadable" too
            QCOMPARE(ReadFileAsString(path), content);
            QCOMPARE(FolderEntries(QFileInfo(path).absolutePath()).filter(QStringLiteral(".tmp")),
                     QStringList());
        } catch (const FileError& error) {
            QCOMPARE(error.source, QStringLiteral("WriteToFile"));
            QCOMPARE(error.description, writeError + path);
            QCOMPARE(FolderEntries(QFileInfo(path).absolutePath()), before);
        }
    }

    // Exactly 256 characters fit Windows-1252, one per byte value, and each reads back as itself;
    // the C1 controls the code page leaves to other letters (U+0080 and the like) do not fit.
    void cp1252Characters() {
        int fitting = 0;
        for (char16_t u = 0; u < 0x3000; ++u) {
            if (QChar::isSurrogate(u))
                continue;
            const QString text(QChar{u});
            const std::optional<QByteArray> bytes = TryEncodeCp1252(text);
            QCOMPARE(FitsCp1252(text), bytes.has_value());
            if (!bytes)
                continue;
            ++fitting;
            QCOMPARE(bytes->size(), 1);
            QCOMPARE(DecodeText(*bytes).text, text);
        }
        QCOMPARE(fitting, 256);
    }

    // Two versions of a file a nanosecond apart are two identities, in memory and through the text
    // a record keeps, whatever else an identity holds.
    void identityNanoseconds() {
        const QString path = Path(QStringLiteral("f"));
        QVERIFY(WriteRaw(path, "x"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        struct stat later = st;
        later.st_mtim.tv_nsec = st.st_mtim.tv_nsec == 999999999 ? 999999998 : st.st_mtim.tv_nsec + 1;
        const FileIdentity a = IdentityFromStat(st), b = IdentityFromStat(later);
        QVERIFY(IdentityOf(path) == a);
        QVERIFY(a != b);
        QVERIFY(FileIdentity::FromText(a.ToText()) == a);
        QVERIFY(FileIdentity::FromText(b.ToText()) == b);
    }

    // The marker and the reversed bytes, also of an entry cut short. The common names (a typed name
    // without ".pslib", "X.PSLIB", the side file's and the shown file name) go through the load
    // command in the library tests; here the odd ones.
    void libraryFormatAndNames() {
        const QByteArray store =
            "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11\x12\x13";
        const QByteArray file =
            "\x01\x13\x12\x11\x10\x0F\x0E\x0D\x0C\x0B\x0A\x09\x08\x07\x06\x05\x04\x03\x02\x01";
        QCOMPARE(EncodeLibrary(store), file);
        QCOMPARE(DecodeLibrary(file), store);
        QCOMPARE(DecodeLibrary("\x01"), QByteArray());
        QVERIFY(IsValidLibrary("\x01") && !IsValidLibrary({}) && !IsValidLibrary("\x02\x01"));
        QCOMPARE(ApplyLibraryExtension(QStringLiteral("mypslib")), QStringLiteral("mypslib.pslib"));
        QCOMPARE(GetFileName(QStringLiteral("/home/me/Lib/")), QString());
        QCOMPARE(GetFileName(QStringLiteral("C:\\Lib\\my.pslib")), QStringLiteral("C:\\Lib\\my.pslib"));
    }

    // Which files are libraries: Load's rule, the one every reader, writer and scan asks.
    void libraryPaths_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("library");
        QTest::addColumn<QString>("without"); // the name without its library extension
        QTest::newRow("library") << u"/music/live.pslib"_s << true << u"/music/live"_s;
        QTest::newRow("upper case") << u"X.PSLIB"_s << false << u"X.PSLIB"_s;
        QTest::newRow("mixed case") << u"x.Pslib"_s << false << u"x.Pslib"_s;
        QTest::newRow("side file") << u"live.pslib.txt"_s << false << u"live.pslib.txt"_s;
        QTest::newRow("a blank after") << u"live.pslib "_s << false << u"live.pslib "_s;
        QTest::newRow("no dot") << u"pslib"_s << false << u"pslib"_s;
        QTest::newRow("the extension alone") << u".pslib"_s << true << QString();
        QTest::newRow("in a folder so named") << u"/a.pslib/song.pch"_s << false << u"/a.pslib/song.pch"_s;
    }
    void libraryPaths() {
        QFETCH(QString, path);
        QFETCH(bool, library);
        QFETCH(QString, without);
        QCOMPARE(IsLibraryPath(path), library);
        QCOMPARE(WithoutLibraryExtension(path), without);
        QCOMPARE(ApplyLibraryExtension(path), library ? path : path + u".pslib"_s);
    }

    // The one reader of a pair: a library decoded, a patch file as it is, the side file's descriptions
    // one per entry; a file named a library that holds none refused with the reason; a side file that
    // cannot be read told apart, the entries still read.
    void readPair_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("side"); // "dir": a folder where the side file would be
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QStringList>("descriptions");
        QTest::addColumn<QString>("problem"); // the refusal, or what the side file's reading said
        const QByteArray entry(18, 'a'), other(18, 'b');
        const QByteArray side = "[Description]\r\n1=one\r\n2=two&*&lines\r\n";
        QTest::newRow("library") << u"a.pslib"_s << EncodeLibrary(entry + other) << side << entry + other
                                 << QStringList{{}, u"one"_s, u"two\r\nlines"_s} << QString();
        QTest::newRow("patch file, no side") << u"a.pch"_s << entry << QByteArray() << entry
                                             << QStringList{{}, {}} << QString();
        QTest::newRow("capitals are a patch file") << u"a.PSLIB"_s << other << QByteArray() << other
                                                   << QStringList{{}, {}} << QString();
        QTest::newRow("empty library") << u"a.pslib"_s << QByteArray() << QByteArray() << QByteArray()
                                       << QStringList() << u"Not a valid Library (the file is empty)"_s;
        QTest::newRow("no marker") << u"a.pslib"_s << QByteArray("\x07") + entry << QByteArray() << QByteArray()
                                   << QStringList() << u"Not a valid Library (its first byte is 7, not"_s;
        QTest::newRow("side unreadable") << u"a.pslib"_s << EncodeLibrary(entry) << QByteArray("dir") << entry
                                         << QStringList{{}, {}} << u"a.pslib.txt"_s;
    }
    void readPair() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, side);
        QFETCH(QByteArray, store);
        QFETCH(QStringList, descriptions);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        WriteBytes(path, content);
        if (side == "dir")
            QVERIFY(QDir().mkdir(SideFilePath(path)));
        else if (!side.isEmpty())
            WriteBytes(SideFilePath(path), side);
        PairContent pair;
        try {
            pair = LibraryPairFile(path).Read();
        } catch (const FileError& error) {
            QCOMPARE(error.number, NotALibraryNumber);
            QVERIFY2(!problem.isEmpty() && error.description.startsWith(problem), qPrintable(error.description));
            return;
        }
        QCOMPARE(pair.store, store);
        QCOMPARE(pair.descriptions, descriptions);
        QVERIFY2(problem.isEmpty() ? pair.sideFileProblem.isEmpty() : pair.sideFileProblem.contains(problem),
                 qPrintable(pair.sideFileProblem));
    }

    // The set list's file: the name's extension decides the format, a name with neither takes the
    // chosen filter's (CSV, PDF, PDF in large print) and its extension.
    void setListFile_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("format");
        const int csv = int(SetListFormat::Csv), pdf = int(SetListFormat::Pdf),
                  large = int(SetListFormat::LargePrintPdf);
        QTest::newRow("no extension, CSV") << u"gig"_s << 0 << u"gig.csv"_s << csv;
        QTest::newRow("no extension, PDF") << u"gig"_s << 1 << u"gig.pdf"_s << pdf;
        QTest::newRow("no extension, large print") << u"gig.v2"_s << 2 << u"gig.v2.pdf"_s << large;
        QTest::newRow("PDF in capitals") << u"gig.PDF"_s << 0 << u"gig.PDF"_s << pdf;
        QTest::newRow("CSV whatever the filter") << u"gig.csv"_s << 2 << u"gig.csv"_s << csv;
    }
    void setListFile() {
        QFETCH(QString, chosen);
        QFETCH(int, filter);
        QFETCH(QString, path);
        QFETCH(int, format);
        const SetListFile file = SetListFileFor(chosen, filter);
        QCOMPARE(file.path, path);
        QCOMPARE(int(file.format), format);
    }

    // Device patch file names and the names the file dialogs offer. The collection takes ".pch" in
    // any case; an export adds ".pch" unless the name ends in exactly that.
    void patchFileNames_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("patchFile");         // HasPatchFileExtension
        QTest::addColumn<QString>("exportPath");     // ApplyPatchFileExtension
        QTest::addColumn<QString>("exportOffer");    // PatchExportFileName, `path` as the library's name
        QTest::addColumn<QString>("recoveredOffer"); // RecoveredLibraryFileName
        QTest::newRow("exact case") << u"song.pch"_s << true << u"song.pch"_s << u"song.pch.pch"_s
                                    << u"song.pch (recovered).pslib"_s;
        QTest::newRow("upper case") << u"X.PCH"_s << true << u"X.PCH.pch"_s << u"X.PCH.pch"_s
                                    << u"X.PCH (recovered).pslib"_s;
        QTest::newRow("side file") << u"live.pch.txt"_s << false << u"live.pch.txt.pch"_s
                                   << u"live.pch.txt.pch"_s << u"live.pch.txt (recovered).pslib"_s;
        QTest::newRow("library") << u"live.pslib"_s << false << u"live.pslib.pch"_s << u"live.pch"_s
                                 << u"live (recovered).pslib"_s;
        QTest::newRow("no dot") << u"songpch"_s << false << u"songpch.pch"_s << u"songpch.pch"_s
                                << u"songpch (recovered).pslib"_s;
        QTest::newRow("in a folder so named") << u"/a.pch/song"_s << false << u"/a.pch/song.pch"_s
                                              << u"/a.pch/song.pch"_s << u"/a.pch/song (recovered).pslib"_s;
        QTest::newRow("empty name") << QString() << false << u".pch"_s << u"Library.pch"_s
                                    << u" (recovered).pslib"_s;
    }
    void patchFileNames() {
        QFETCH(QString, path);
        QFETCH(bool, patchFile);
        QFETCH(QString, exportPath);
        QFETCH(QString, exportOffer);
        QFETCH(QString, recoveredOffer);
        QCOMPARE(HasPatchFileExtension(path), patchFile);
        QCOMPARE(ApplyPatchFileExtension(path), exportPath);
        QCOMPARE(PatchExportFileName(path), exportOffer);
        QCOMPARE(RecoveredLibraryFileName(path), recoveredOffer);
    }

    // The dialogs' filters, byte for byte ('|' stands for NUL here).
    void dialogFilters() {
        const auto nuls = [](QString text) {
            return text.replace(u'|', QChar(0));
        };
        QCOMPARE(DefaultLibraryFileName(), u"Library.pslib"_s);
        QCOMPARE(LibraryFileFilter(), nuls(u"PS02 Library(*.pslib)|*.pslib|"_s));
        QCOMPARE(PatchFileFilter(), nuls(u"PS02 Patches(*.pch)|*.pch|"_s));
        QCOMPARE(PatchOrAnyFileFilter(), nuls(u"PS02 Patches(*.pch)|*.pch|All (*.*)|*.*|"_s));
        QCOMPARE(LibraryPatchOrAnyFileFilter(),
                 nuls(u"PS02 Library(*.pslib)|*.pslib|PS02 Patches(*.pch)|*.pch|All (*.*)|*.*|"_s));
    }

    // Reading as the Windows profile routines read.
    void profileRead_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const QByteArray& file, const char* key,
                            const char16_t* expected) {
            QTest::newRow(tag) << file << QString::fromUtf8(key)
                               << (expected ? QString::fromUtf16(expected) : Default);
        };
        row("plain", "[s]\r\n1=Crunch\r\n", "1", u"Crunch");
        row("case", "[S]\r\nKey=v\r\n", "kEY", u"v");
        row("trimmed", "  [ s ]  \r\n\t key \t=  v w \t\r\n", " key", u"v w");
        row("1st section", "[s]\r\na=1\r\n[s]\r\nb=3\r\n", "b", nullptr);
        row("1st key", "[s]\r\na=1\r\nA=2\r\n", "a", u"1");
        row("no '='", "[s]\r\na\r\na=1\r\n", "a", nullptr);
        row("\"\"", "[s]\r\na= \" x \" \r\n", "a", u" x ");
        row("''", "[s]\r\na='x'\r\n", "a", u"x");
        row("\"'", "[s]\r\na=\"x'\r\n", "a", u"\"x'");
        row("one pair", "[s]\r\na=\"\"x\"\"\r\n", "a", u"\"x\"");
        row("lone \"", "[s]\r\na=\"\r\n", "a", u"\"");
        row("'=' in value", "[s]\r\na=b=c\r\n", "a", u"b=c");
        row("last ']'", "[s] x]\r\nk=1\r\n", "k", nullptr);
        row("']' tail", "[s] tail\r\nk=1\r\n", "k", u"1");
        row("comment", "[s]\r\n;x=1\r\n", ";x", u"1");
        row("CR, LF", "[s]\ra=1\n\n\rb=2", "b", u"2");
        row("no section", "a=1\r\n[s]\r\nb=2\r\n", "a", nullptr);
        row("1252", "[s]\r\na=caf\xE9 \x80\r\n", "a", u"café €");
        row("UTF-8", "[s]\r\na=caf\xC3\xA9 \xD0\xB6\r\n", "a", u"café ж");
        row("bad UTF-8", "[s]\r\na=\xC3\x28\r\n", "a", u"Ã(");
        row("UTF-8 BOM", "\xEF\xBB\xBF[s]\r\na=\xD0\xB6", "a", u"ж");
        row("UTF-16", Utf16(u"[s]\r\na=\u0436\r\n"), "a", u"ж");
        row("UTF-16 BE", QByteArray("\xFE\xFF\0[\0s\0]\0\n\0a\0=\x04\x36", 16), "a", u"ж");
    }
    void profileRead() {
        QFETCH(QByteArray, file);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(ProfileFile::FromBytes(file).Value(QStringLiteral("s"), key, Default), expected);
    }

    // In place; new keys after their section's last line; quotes where needed; encoding kept if it fits.
    void profileWrite_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key"); // empty: nothing is written
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const auto row = [](const char* tag, const QByteArray& before, const char* key, const char16_t* value,
                            const QByteArray& after) {
            QTest::newRow(tag) << before << QString::fromUtf8(key) << QString::fromUtf16(value) << after;
        };
        row("unchanged", "  [x]  \r\n\t a = 1 \nz\r\r\n\xE9\x81", "", u"",
            "  [x]  \r\n\t a = 1 \nz\r\r\n\xE9\x81");
        row("every byte", AllBytes(), "", u"", AllBytes());
        row("new file", "", "1", u"b", "[s]\r\n1=b\r\n");
        row("in place", "[x]\r\n1=x\r\n[S]\n Abc = old \n2=two", "ABC", u"b",
            "[x]\r\n1=x\r\n[S]\nAbc=b\n2=two");
        row("1st of two", "[s]\r\n1=a\r\n1=c\r\n", "1", u"b", "[s]\r\n1=b\r\n1=c\r\n");
        row("after last", "[s]\r\n1=a\r\n; note\r\n\r\n[t]\r\n", "2", u"b",
            "[s]\r\n1=a\r\n; note\r\n2=b\r\n\r\n[t]\r\n");
        row("no line end", "[s]\r\n1=a", "2", u"b", "[s]\r\n1=a\r\n2=b\r\n");
        row("new section", "[t]\r\nz=1\r\n\r\n", "2", u"b", "[t]\r\nz=1\r\n\r\n[s]\r\n2=b\r\n");
        row("quoted", "", "1", u" 'x' ", "[s]\r\n1=\" 'x' \"\r\n");
        row("inner quotes", "", "1", u"say \"hi\"", "[s]\r\n1=say \"hi\"\r\n");
        row("line break", "", "1", u"a\r\nb\nc", "[s]\r\n1=a  b c\r\n");
        row("1252", "", "1", u"café €", "[s]\r\n1=caf\xE9 \x80\r\n");
        row("beyond 1252", "", "1", u"ж", "\xEF\xBB\xBF[s]\r\n1=\xD0\xB6\r\n");
        row("U+0080", "", "1", u"\u0080", "\xEF\xBB\xBF[s]\r\n1=\xC2\x80\r\n");
        // In Windows-1252 these two letters are the bytes C3 A9, which would read back as UTF-8 "é".
        row("1252 like UTF-8", "", "1", u"\u00C3\u00A9", "\xEF\xBB\xBF[s]\r\n1=\xC3\x83\xC2\xA9\r\n");
        row("1252 to UTF-8", "[s]\r\n1=\xE9\r\n", "2", u"ж",
            "\xEF\xBB\xBF[s]\r\n1=\xC3\xA9\r\n2=\xD0\xB6\r\n");
        row("UTF-8 stays", "[s]\n1=\xC3\xA9\n", "2", u"€", "[s]\n1=\xC3\xA9\n2=\xE2\x82\xAC\r\n");
        row("UTF-16 stays", Utf16(u"[s]\r\n"), "2", u"ж", Utf16(u"[s]\r\n2=\u0436\r\n"));
    }
    void profileWrite() {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        ProfileFile profile = ProfileFile::FromBytes(before);
        if (!key.isEmpty())
            profile.SetValue(QStringLiteral("s"), key, value);
        QCOMPARE(profile.ToBytes(), after);
    }

    // Whatever is written reads back unchanged, in a new file and over an old value: blanks, quotes,
    // a no-break space (no blank to a profile reader) and 1252-looking letters that are not 1252.
    void quotingRoundTrip() {
        const QStringList texts =
            QString::fromUtf16(u"plain| lead|trail |\ttab|\"q\"|'q'|\"|'|\"a'|\"\"|\" s \"|a&*&b||   |"
                               u"é€ж\U0001F600|=x=|[x]|;c|\u00A0nbsp\u00A0|\u00CD\u008D")
                .split(u'|');
        for (const QString& text : texts) {
            for (const QByteArray& before : {QByteArray(), QByteArray("[s]\r\n1=x\r\n")}) {
                ProfileFile profile = ProfileFile::FromBytes(before);
                profile.SetValue(QStringLiteral("s"), QStringLiteral("1"), text);
                QCOMPARE(ProfileFile::FromBytes(profile.ToBytes())
                             .Value(QStringLiteral("s"), QStringLiteral("1"), Default),
                         text);
            }
        }
    }

    // Paths in output for scripts: as git's core.quotePath quotes them where a byte could forge a
    // line or hide what a terminal shows; printable UTF-8 as it is.
    void quotePath_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("quoted");
        const auto row = [](const char* tag, const QByteArray& path, const QByteArray& quoted) {
            QTest::newRow(tag) << path << quoted;
        };
        row("plain", "/home/u/a b:c.pslib", "/home/u/a b:c.pslib");
        row("empty", "", "");
        row("printable UTF-8", "Caf\xc3\xa9 \xf0\x9f\x98\x80.pslib", "Caf\xc3\xa9 \xf0\x9f\x98\x80.pslib");
        row("newline and tabs", "a.pslib:42\tFORGED\tx\ny", "\"a.pslib:42\\tFORGED\\tx\\ny\"");
        row("quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\"");
        row("letters git uses", "\a\b\v\f\r", "\"\\a\\b\\v\\f\\r\"");
        row("other controls and DEL", QByteArray("\x01\x1b[0m\x7f", 6), "\"\\001\\033[0m\\177\"");
        row("not UTF-8", "n\xff.pslib", "\"n\\377.pslib\"");
        row("overlong slash", "a\xc0\xaf", "\"a\\300\\257\"");
        row("surrogate", "a\xed\xa0\x80", "\"a\\355\\240\\200\"");
        row("cut at the end", "a\xe2\x80", "\"a\\342\\200\"");
        row("C1 control",
            "a\xc2\x9b"
            "2J",
            "\"a\\302\\2332J\"");
        row("bidi override", "evil\xe2\x80\xaetxt.pslib", "\"evil\\342\\200\\256txt.pslib\"");
        row("line separator",
            "a\xe2\x80\xa8"
            "b",
            "\"a\\342\\200\\250b\"");
        row("no-break space stays",
            "a\xc2\xa0"
            "b",
            "a\xc2\xa0"
            "b");
    }
    void quotePath() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, quoted);
        QCOMPARE(QuotePathBytes(path), quoted);
        QCOMPARE(PathNeedsNoQuotes(path), path == quoted);
        if (const std::optional<QString> text = FileNameFromBytes(path))
            QCOMPARE(QuotePath(*text).toUtf8(), quoted);
    }

    // Side files that are missing, a folder, cut short or not text at all read without failing.
    void badSideFiles() {
        QCOMPARE(DescriptionReader(Fixture("none.txt")).Description(1), QString());
        QCOMPARE(DescriptionReader(Fixture("")).Description(1), QString());
        QCOMPARE(DescriptionReader(Fixture("sidefile_truncated.pslib.txt")).Description(2),
                 QStringLiteral("Sec"));
        QCOMPARE(DescriptionReader(Fixture("sidefile_corrupt.pslib.txt")).Description(1), QString());
    }

    // The fixture reads; a save changes only changed lines and adds keys, other lines stay byte for byte.
    void saveOverFixture() {
        const QByteArray original = ReadBytes(Original);
        QCOMPARE(ReadDescription(QStringLiteral("Settings"), QStringLiteral("Owner"), {}, Original),
                 QStringLiteral(u"René Müller"));
        const DescriptionReader reader(Original);
        QStringList descriptions;
        for (int i = 0; i <= 9; ++i)
            descriptions.append(reader.Description(i));
        QCOMPARE(descriptions, QString::fromUtf8("|Crunch for the verse|Lead\r\nwith delay|Café solo € 5||"
                                                 "Clean\r\n\r\nChorus été|old six|old seven||")
                                   .split(u'|'));
        QCOMPARE(BuildSideFile(original, descriptions, 5).value(), original);
        QCOMPARE(BuildSideFile(original, descriptions, 3).value(), original); // keys above N stay
        descriptions[2] = QStringLiteral(u"Lead\r\nwith é €");
        descriptions[9] = QStringLiteral(" nine ");
        QCOMPARE(BuildSideFile(original, descriptions, 9).value(),
                 QByteArray(original)
                     .replace("2=Lead&*&with delay\r\n", "2=Lead&*&with \xE9 \x80\r\n")
                     .replace("7=old seven\r\n", "7=old seven\r\n8=\r\n9=\" nine \"\r\n"));
        descriptions[1] = QStringLiteral(u"ж"); // beyond Windows-1252: the whole file becomes UTF-8
        const QByteArray saved = BuildSideFile(original, descriptions, 2).value();
        QCOMPARE(saved,
                 "\xEF\xBB\xBF" + DecodeText(original)
                                      .text.toUtf8()
                                      .replace("1=Crunch for the verse", "1=\xD0\xB6")
                                      .replace("2=Lead&*&with delay", "2=Lead&*&with \xC3\xA9 \xE2\x82\xAC"));
        QCOMPARE(DescriptionReader::FromBytes(saved).Description(2), descriptions[2]);
    }

    // Side files read on their bytes (Windows-1252, UTF-8) give the descriptions the general profile
    // code reads from the decoded text; files it cannot read that way (UTF-16, a BOM before bytes
    // that are not UTF-8 or before a second BOM, a section name that only Unicode case folding
    // matches) give them too. The description array shares one buffer: each description ends in a
    // null character, and changing one changes no other.
    void sideFileReadOnBytes_data() {
        QTest::addColumn<QByteArray>("file");
        const QByteArray lines = "[Other]\r\n1=not this\r\n[Description]\r\n";
        auto row = [](const char* name, const QByteArray& file) {
            QTest::newRow(name) << file;
        };
        row("ASCII, CR LF", lines + "1=one\r\n2=two words\r\n3=\r\n4=last");
        row("LF and lone CR", "[Description]\n1=one\n\n2=two\r3=three\n");
        row("Windows-1252", lines + "1=caf\xE9 \x80 5\r\n2=\x9D\x81\x8D\x8F\x90 \x93q\x94\r\n3=\xFF");
        row("UTF-8", lines + "1=caf\xC3\xA9 \xE2\x82\xAC\r\n2=\xF0\x9F\x8E\xB8 solo\r\n");
        row("UTF-8 with a BOM", "\xEF\xBB\xBF" + lines + "1=caf\xC3\xA9\r\n2=plain");
        row("UTF-8, a value opening with U+FEFF", lines + "1=\xEF\xBB\xBFx\r\n2=\xC3\xA9");
        row("a second BOM", "\xEF\xBB\xBF\xEF\xBB\xBF" + lines + "1=one");
        row("a BOM before bytes not UTF-8", "\xEF\xBB\xBF" + lines + "1=caf\xE9\r\n2=two");
        row("UTF-16",
            EncodeText(QString::fromLatin1(lines + "1=caf\xE9&*&x\r\n2=two"), TextEncoding::Utf16LE));
        row("line codes", lines + "1=&*&a&*&\r\n2=&*&*&\r\n3=&&*&&\r\n4=a&*b&*&\r\n5=&*&\r\n6=&");
        row("keys repeated and out of order",
            lines + "3=three\r\n1=one\r\n3=again\r\n 2 = two \r\n1=dup\r\n02=no\r\n-1=minus");
        row("quotes and blanks", lines + "1=\" padded \"\r\n2='q'\r\n3=\"\r\n4=\t x \t\r\n5\r\n6=\"\"");
        row("a later section ends it", lines + "1=one\r\n[more]\r\n2=two\r\n[Description]\r\n3=no");
        row("a name matched by case folding", "[De\xC5\xBF"
                                              "cription]\r\n1=folded\r\n2=\xC3\xA9\r\n");
        row("a header beyond ASCII after it", lines + "1=one\r\n[\xC3\xA9]\r\n2=no");
        row("no section", "1=one\r\n2=\xC3\xA9");
    }
    void sideFileReadOnBytes() {
        QFETCH(QByteArray, file);
        const ProfileFile profile = ProfileFile::FromBytes(file);
        QStringList expected{QString()};
        for (int i = 1; i <= 7; ++i)
            expected.append(DecodeLineBreaks(profile.Value(DescriptionSection, QString::number(i), {})));
        for (const std::optional<qsizetype> count :
             {std::optional<qsizetype>(), std::optional<qsizetype>(7)}) {
            const DescriptionReader reader = DescriptionReader::FromBytes(file, count);
            for (int i = count ? 1 : -1; i <= 7; ++i) // with a count, only positions 1..count are kept
                QCOMPARE(reader.Description(i),
                         DecodeLineBreaks(profile.Value(DescriptionSection, QString::number(i), {})));
            QStringList descriptions = reader.DescArray(7);
            QCOMPARE(descriptions, expected);
            for (const QString& description : descriptions)
                QCOMPARE(description.utf16()[description.size()], u'\0');
            const QStringList before = descriptions;
            for (qsizetype i = 1; i < descriptions.size(); ++i) {
                descriptions[i] += QStringLiteral("more");
                descriptions[i].front() = u'#';
            }
            QCOMPARE(reader.DescArray(7), expected);
            QCOMPARE(before, expected);
        }
    }

    // The one-pass reader of a load gives what the reader's two steps give, on the rows above and on
    // lines that reach past its sixteen-byte steps, keys it does not expect next, and counts that cut
    // the file short; each description ends in a null character, and changing one changes no other.
    void sideFileOnePass_data() {
        sideFileReadOnBytes_data();
        const QByteArray head = "[Description]\r\n";
        const QByteArray a20(20, 'a'), b15(15, 'b'), c16(16, 'c'), d17(17, 'd'), e31(31, 'e');
        QTest::newRow("long values: codes and C1 bytes in later blocks")
            << head + "1=" + a20 + a20 + "&*&" + a20 + "\x93q\r\n2=" + b15 + "\r\n3=" + c16 + "\n4=" + d17 +
                   " \t \r\n5=\"" + e31 + "\"\r\n6=" + b15 + "&" + c16 + "&*&\r\n7=" + c16 + "\x80";
        QTest::newRow("long UTF-8 values") << head + "1=" + a20 + "\xC3\xA9" + b15 +
                                                  "&*&\xE2\x82\xAC\r\n2= " + c16 +
                                                  "\xF0\x9F\x8E\xB8\r\n3=" + d17;
        QByteArray counted = head;
        for (int i = 1; i <= 12; ++i)
            counted += QByteArray::number(i) + "=v" + QByteArray::number(i) + "\r\n";
        counted += "15=fifteen\r\n14=fourteen\r\n13=thirteen\r\n15=again\r\n";
        for (int i = 98; i <= 129; ++i)
            counted += QByteArray::number(i) + "=" + QByteArray(i % 23, 'x') + "\r\n";
        QTest::newRow("keys counted past 9 and 99, gaps, out of order") << counted;
        QTest::newRow("huge keys") << head + "999999999999999999=big\r\n1000000000000000000=bigger\r\n"
                                             "12345678901234567890=x\r\n1=one\r\n2=two";
        QTest::newRow("blank lines, lone CRs, a key alone")
            << head + "\r\n\r\n1\r\n1=later\r\r\r2=b\n\n3=c\r\n12 x=1\r\n1 2=3\r\n4 \t=\t" + a20 + "\t";
        QTest::newRow("a key of nine digits, then the end") << head + "2=b\r\n123456789=" + a20;
        QByteArray everyPlace = head; // a C1 byte, a code and a quote at each place of two steps
        for (int k = 0; k < 34; ++k)
            everyPlace += QByteArray::number(k + 1) + "=" + QByteArray(k, 'x') + "\x80" +
                          QByteArray(33 - k, 'y') + "\r\n" + QByteArray::number(k + 40) + "=\"" +
                          QByteArray(k, 'x') + "&*&\"\r\n";
        QTest::newRow("C1 bytes, codes and quotes at every place") << everyPlace;
    }
    void sideFileOnePass() {
        QFETCH(QByteArray, file);
        for (const qsizetype count : {0, 2, 7, 16, 80, 130}) {
            const QStringList expected = DescriptionReader::FromBytes(file, count).DescArray(count);
            QStringList descriptions = DescriptionReader::DescArrayOf(file, count);
            QCOMPARE(descriptions, expected);
            for (const QString& description : descriptions)
                QCOMPARE(description.utf16()[description.size()], u'\0');
            for (qsizetype i = 1; i < descriptions.size(); ++i)
                descriptions[i] += QStringLiteral("more");
            QCOMPARE(DescriptionReader::DescArrayOf(file, count), expected);
        }
    }

    // The same on random files: lines with the keys a save writes, gaps, repeats and odd keys,
    // descriptions of any length, in either encoding read on bytes.
    void sideFileOnePassRandom() {
        static const QStringList odd =
            QString::fromUtf8("01|-1| 3 |x|[Other]|[Description]| |=").split(QLatin1Char('|'));
        std::mt19937 random(7);
        for (int round = 0; round < 400; ++round) {
            QString text = QStringLiteral("[Description]\r\n");
            int next = 1;
            for (int i = int(random() % 40); i > 0; --i) {
                const auto kind = random() % 10;
                const QString key = kind < 6   ? QString::number(next++)
                                    : kind < 8 ? QString::number(random() % 60)
                                               : odd[qsizetype(random() % odd.size())];
                QString value = EncodeLineBreaks(RandomDescription(random));
                if (random() % 3 == 0)
                    value += QString(qsizetype(random() % 40), u'w');
                text += key + QLatin1Char('=') + value +
                        (random() % 4 ? QStringLiteral("\r\n") : QStringLiteral("\n"));
            }
            const QByteArray file =
                random() % 2
                    ? text.toUtf8()
                    : EncodeText(text.replace(u'ж', u'e').replace(QStringLiteral("🎸"), QStringLiteral("g")),
                                 TextEncoding::Cp1252);
            const qsizetype count = qsizetype(random() % 50);
            QCOMPARE(DescriptionReader::DescArrayOf(file, count),
                     DescriptionReader::FromBytes(file, count).DescArray(count));
        }
    }

    // Letting go of a description array frees what only it holds and leaves every description held
    // elsewhere (one of them, the whole list, an edited one) as it was.
    void descArrayReleased_data() {
        QTest::addColumn<QString>("heldElsewhere");
        for (const char* held : {"nothing", "one description", "the list", "an edited description"})
            QTest::newRow(held) << QString::fromLatin1(held);
    }
    void descArrayReleased() {
        QFETCH(QString, heldElsewhere);
        QByteArray file = "[Description]\r\n";
        for (int i = 1; i <= 50; ++i)
            file += QByteArray::number(i) + "=description " + QByteArray::number(i) + "\r\n";
        QStringList descriptions = DescriptionReader::DescArrayOf(file, 50);
        const QStringList expected = descriptions;
        QStringList list = DescriptionReader::DescArrayOf(file, 50);
        QString one;
        QStringList whole;
        if (heldElsewhere == QLatin1String("one description"))
            one = list[17];
        else if (heldElsewhere == QLatin1String("the list"))
            whole = list;
        else if (heldElsewhere == QLatin1String("an edited description"))
            list[3] += QStringLiteral(" edited");
        ReleaseDescArray(list);
        QVERIFY(list.isEmpty());
        const QStringList other = DescriptionReader::DescArrayOf(file, 50); // may take the freed memory
        QCOMPARE(other, expected);
        if (!one.isNull())
            QCOMPARE(one, expected[17]);
        if (!whole.isEmpty())
            QCOMPARE(whole, expected);
        ReleaseDescArray(whole);
        QCOMPARE(descriptions, expected);
    }

    // A library's content is reversed where it is when nothing else holds it, and copied when
    // something does: the same store either way, at every length around the eight-byte steps.
    void libraryDecodedInPlace_data() {
        QTest::addColumn<int>("size");
        for (const int size : {1, 2, 3, 8, 9, 16, 17, 18, 31, 32, 33, 100})
            QTest::newRow(QByteArray::number(size).constData()) << size;
    }
    void libraryDecodedInPlace() {
        QFETCH(int, size);
        QByteArray store(size - 1, Qt::Uninitialized);
        for (int i = 0; i < store.size(); ++i)
            store[i] = char(i * 37 + 11);
        const QByteArray file = EncodeLibrary(store);
        QCOMPARE(DecodeLibrary(file), store); // held here too: copied
        QCOMPARE(file, EncodeLibrary(store));
        QByteArray alone = file;
        alone.detach();
        QCOMPARE(DecodeLibrary(std::move(alone)), store);
    }

    // The one-pass side-file reader and writer agree with the general profile code on random files.
    void fastPathsAgree() {
        static const QStringList lines =
            QString::fromUtf8("[Description]|[ description ]|[Other]|1=a| 2 = b |3|01=x|2=\"q\"|"
                              "; c||4='y'|-1=z|1=dup|é=1|[Description|5=ж")
                .split(QLatin1Char('|'));
        static const QStringList breaks{QStringLiteral("\r\n"), QStringLiteral("\n"), QStringLiteral("\r")};
        std::mt19937 random(99);
        for (int round = 0; round < 500; ++round) {
            QString text;
            for (int i = int(random() % 16); i > 0; --i)
                text += lines[qsizetype(random() % lines.size())] + breaks[qsizetype(random() % 3)];
            const QByteArray file =
                random() % 2 ? text.toUtf8() : EncodeText(text.replace(u'ж', u'e'), TextEncoding::Cp1252);
            const ProfileFile profile = ProfileFile::FromBytes(file);
            const DescriptionReader reader = DescriptionReader::FromBytes(file);
            for (int i = -1; i <= 6; ++i)
                QCOMPARE(reader.Description(i),
                         DecodeLineBreaks(profile.Value(DescriptionSection, QString::number(i), {})));

            QStringList descriptions{QString()};
            ProfileFile stepwise = profile;
            for (int i = int(random() % 7) + 1; i > 0; --i) {
                descriptions.append(RandomDescription(random));
                stepwise.SetValue(DescriptionSection, QString::number(descriptions.size() - 1),
                                  EncodeLineBreaks(descriptions.back()));
            }
            QCOMPARE(BuildSideFile(file, descriptions, descriptions.size() - 1).value_or("-"),
                     stepwise.ToBytes());
        }
    }

    // A save writes back the lines whose descriptions did not change as they are; the file must be
    // what the general profile code writes all the same: quotes added or dropped, blanks around '='
    // dropped, a value that no longer fits Windows-1252 or that would read as UTF-8 turning the file
    // into UTF-8, a description that only starts or ends like the stored one.
    void sideFileKeepsUnchangedLines_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("changes"); // "N=text": description N becomes text; else as read
        const QByteArray cp1252 = "[Description]\r\n1=Crunch\r\n2=Caf\xE9&*&solo\r\n3=\r\n4=x\x80y\r\n";
        const QByteArray utf8 =
            "[Description]\r\n1=Crunch\r\n2=Caf\xC3\xA9&*&solo\r\n3=\xF0\x9F\x8E\xB8\r\n4=\xD0\xB6";
        const auto row = [](const char* name, const QByteArray& file, const QStringList& changes = {}) {
            QTest::newRow(name) << file << changes;
        };
        row("Windows-1252, as read", cp1252);
        row("Windows-1252, one changed", cp1252, {u"2=Café\nsolo!"_s});
        row("Windows-1252, a prefix and a longer one", cp1252, {u"1=Crunc"_s, u"4=x€yz"_s});
        row("Windows-1252, line breaks of every kind", cp1252, {u"2=Café\rsolo"_s, u"3=\r\n"_s});
        row("Windows-1252, the break code typed", cp1252, {u"2=Café&*&solo"_s});
        row("Windows-1252, beyond it", cp1252, {u"1=ж"_s});
        row("UTF-8, as read", utf8);
        row("UTF-8, one changed", utf8, {u"3=🎸🎸"_s, u"4=ж"_s});
        row("UTF-8, a lone surrogate", utf8, {QStringLiteral("1=a") + QChar(0xD800)});
        row("UTF-8 with a BOM", "\xEF\xBB\xBF" + utf8, {u"1=é"_s});
        row("quoted and blank values", "[Description]\r\n1=\" x \"\r\n2= y\r\n3=\"q\"\r\n4='r'\r\n 5=z \r\n");
        row("quotes needed now", "[Description]\r\n1= a\r\n2='b'\r\n3=\"c\"d\r\n",
            {u"1= a"_s, u"2='b'"_s, u"3=\"c\"d"_s});
        row("a no-break space at an end",
            "[Description]\r\n1=\xA0x\r\n2=y\xA0\r\n3=\xE9\r\n4=caf\xE9\r\n5=x\x85\r\n");
        row("spaces beyond ASCII at an end, UTF-8",
            "[Description]\r\n1=\xC2\xA0x\r\n2=y\xE3\x80\x80\r\n3=\xE2\x80\x83\r\n4=a\xF0\x9F\x8E\xB8\r\n");
        row("a value that reads as UTF-8", "[Description]\r\n1=\xC3\xA9\r\n2=\xE9\r\n");
        row("keys repeated, blanks, no value",
            "[Description]\r\n1=a\r\n1=b\r\n2 =c\r\n3\r\n01=d\r\n[Other]\r\n4=e");
        row("entries to add", "[Description]\r\n1=a", {u"6=six"_s});
    }
    void sideFileKeepsUnchangedLines() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, changes);
        QStringList descriptions = DescriptionReader::FromBytes(file).DescArray(4);
        for (const QString& change : changes) {
            const qsizetype position = change.section(u'=', 0, 0).toInt();
            while (descriptions.size() <= position)
                descriptions.append(QString());
            descriptions[position] = change.section(u'=', 1);
        }
        ProfileFile stepwise = ProfileFile::FromBytes(file);
        for (qsizetype i = 1; i < descriptions.size(); ++i)
            stepwise.SetValue(DescriptionSection, QString::number(i), EncodeLineBreaks(descriptions[i]));
        QCOMPARE(BuildSideFile(file, descriptions, descriptions.size() - 1).value(), stepwise.ToBytes());
    }

    // The same on random files whose descriptions are mostly written back as read.
    void sideFileKeepsUnchangedLinesAtRandom() {
        static const QStringList values =
            QString::fromUtf8("a|é|\xC3\xA9|&*&| b|\"c\"|€|ж|🎸|\t|x&*&y ").split(u'|');
        std::mt19937 random(7);
        for (int round = 0; round < 400; ++round) {
            QString text = u"[Description]\r\n"_s;
            for (int i = 1 + int(random() % 6); i > 0; --i)
                text += QString::number(1 + random() % 6) + u'=' +
                        values[qsizetype(random() % values.size())] +
                        values[qsizetype(random() % values.size())] + u"\r\n"_s;
            const QByteArray file =
                random() % 2
                    ? text.toUtf8()
                    : EncodeText(text.replace(u"ж"_s, u"e"_s).replace(u"🎸"_s, u"f"_s), TextEncoding::Cp1252);
            QStringList descriptions = DescriptionReader::FromBytes(file).DescArray(6);
            ProfileFile stepwise = ProfileFile::FromBytes(file);
            for (qsizetype i = 1; i < descriptions.size(); ++i) {
                if (random() % 4 == 0)
                    descriptions[i] = RandomDescription(random);
                stepwise.SetValue(DescriptionSection, QString::number(i), EncodeLineBreaks(descriptions[i]));
            }
            QCOMPARE(BuildSideFile(file, descriptions, 6).value(), stepwise.ToBytes());
        }
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
