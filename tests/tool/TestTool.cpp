#include "DescriptionFile.h"
#include "FileAccess.h"
#include "TestPaths.h"
#include "ToolCommands.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>

using namespace quillbox;
using namespace quillbox::tool;

namespace {

const QString Alphabet = QStringLiteral(" '<>*+-/0123456789[=]@ABCDEFGHIJKLMNOPQRSTUVWXYZ  ");

struct Fields {
    int drive = 0;
    int cabType = 0;
    int speaker = 0;
    bool driveOn = false;
    bool cabOn = false;
};

// An 18-byte image with the given name codes and bound fields; `filler` goes into every bit no
// field uses.
QByteArray ImageFromCodes(const std::array<int, 6>& codes, Fields f = {}, quint8 filler = 0) {
    QByteArray b(18, static_cast<char>(filler));
    b[0] = static_cast<char>((filler & 0xE0) | f.drive);
    b[2] = static_cast<char>((filler & 0x81) | (f.cabType << 1) | (f.speaker << 4));
    quint64 n = filler & 0x1Fu;
    for (int c = 0; c < 6; ++c)
        n |= static_cast<quint64>(codes[static_cast<size_t>(c)]) << (5 + 6 * c);
    n |= f.driveOn ? (quint64{1} << 41) : 0;
    n |= f.cabOn ? (quint64{1} << 42) : 0;
    n |= static_cast<quint64>(filler & 0xF8u) << 40;
    for (int i = 0; i < 6; ++i)
        b[11 + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return b;
}

QByteArray Image(const QString& name, Fields f = {}, quint8 filler = 0) {
    std::array<int, 6> codes{};
    for (int c = 0; c < 6; ++c)
        codes[static_cast<size_t>(c)] = static_cast<int>(Alphabet.indexOf(name[c]));
    return ImageFromCodes(codes, f, filler);
}

QByteArray Library(const QByteArray& store) {
    QByteArray content(1, '\1');
    for (qsizetype i = store.size() - 1; i >= 0; --i)
        content.append(store[i]);
    return content;
}

QByteArray Ini(const char* text) {
    return QByteArray(text);
}

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result Run(const QStringList& arguments) {
    Result result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.exitCode = RunTool(arguments, out, err);
    return result;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

QString FixturePath(const char* name) {
    return QStringLiteral(QUILLBOX_TEST_DATA_DIR "/tool/") + QString::fromUtf8(name);
}

} // namespace

class TestTool : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;

    QString Path(const QString& name) const { return dir_->filePath(name); }

    QString Write(const QString& name, const QByteArray& content) const {
        QFile file(Path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write a test file");
        return Path(name);
    }

    QStringList FilesInDir() const { return QDir(dir_->path()).entryList(QDir::Files, QDir::Name); }

private Q_SLOTS:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void list_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("sideFile"); // empty: none
        QTest::addColumn<bool>("details");
        QTest::addColumn<QString>("expectedOut");
        QTest::addColumn<QString>("expectedWarning"); // empty: no warning

        const QByteArray crunch = Image(QStringLiteral("CRUNCH"), {4, 3, 3, true, true}, 0x5A);
        const QByteArray lead = Image(QStringLiteral("LEAD 1"), {9, 1, 1, true, false}, 0xA5);
        const QByteArray zeros(18, '\0');

        QTest::newRow("library") << "a.pslib" << Library(crunch + lead) << QByteArray() << false
                                 << "01:  CRUNCH\n02:  LEAD 1\n"
                                 << "";
        QTest::newRow("library, details and side file")
            << "a.pslib" << Library(crunch + lead)
            << Ini("[Description]\r\n1=Verse\r\n2=Lead&*&with delay\r\n") << true
            << "01:  CRUNCH\tUK-Crunch\tStack\tStack 4*10\"\ton\ton\tVerse\n"
               "02:  LEAD 1\tSoldano\tBright Combo\tCombo 2*12\"\ton\toff\tLead\\nwith delay\n"
            << "";
        QTest::newRow("empty library") << "e.pslib" << QByteArray(1, '\1') << QByteArray() << true << ""
                                       << "";
        QTest::newRow("patch file, descriptions from FILE.txt")
            << "song.pch" << lead + crunch << Ini("[Description]\r\n2=Tab\there\r\n") << true
            << "01:  LEAD 1\tSoldano\tBright Combo\tCombo 2*12\"\ton\toff\t\n"
               "02:  CRUNCH\tUK-Crunch\tStack\tStack 4*10\"\ton\ton\tTab\\there\n"
            << "";
        QTest::newRow("patch file of 40 bytes: third entry has no name")
            << "s.pch" << crunch + lead + QByteArray("\x04\x05\x06\x07", 4) << QByteArray() << false
            << "01:  CRUNCH\n02:  LEAD 1\n03:  \n"
            << "last entry short by 14 bytes";
        QTest::newRow("empty patch file") << "e.pch" << QByteArray() << QByteArray() << false << ""
                                          << "";
        QTest::newRow("lower-case .pslib read as library")
            << "z.pslib" << Library(zeros) << QByteArray() << false << "01:        \n"
            << "";
        QTest::newRow("upper-case .PSLIB read as patch file")
            << "z.PSLIB" << Library(zeros) << QByteArray() << false << "01:        \n02:  \n"
            << "last entry short by 17 bytes";
        QTest::newRow("code 57 and values without an entry")
            << "c.pch" << ImageFromCodes({33, 22, 57, 0, 48, 49}, {27, 7, 7, false, false}) << QByteArray()
            << true << "01:  LA(57)   \t\t\t\toff\toff\t\n"
            << "";
        QTest::newRow("side file in UTF-8")
            << "u.pch" << crunch
            << QByteArray("[Description]\r\n1=Gr\xc3\xb6\xc3\x9f"
                          "e\r\n")
            << true
            << QString::fromUtf8("01:  CRUNCH\tUK-Crunch\tStack\tStack 4*10\"\ton\ton\tGr\xc3\xb6\xc3\x9f"
                                 "e\n")
            << "";
    }

    void list() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, sideFile);
        QFETCH(bool, details);
        QFETCH(QString, expectedOut);
        QFETCH(QString, expectedWarning);

        const QString path = Write(fileName, content);
        if (!sideFile.isEmpty())
            Write(fileName + QStringLiteral(".txt"), sideFile);
        QStringList arguments{QStringLiteral("list"), path};
        if (details)
            arguments.append(QStringLiteral("--details"));
        const Result result = Run(arguments);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, expectedOut);
        if (expectedWarning.isEmpty())
            QCOMPARE(result.err, QString());
        else
            QVERIFY2(result.err.contains(expectedWarning), qPrintable(result.err));
    }

    void listNumbersPastNinetyNine() {
        QByteArray store;
        for (int i = 0; i < 101; ++i)
            store += Image(QStringLiteral("ABCDEF"));
        const Result result = Run({QStringLiteral("list"), Write(QStringLiteral("big.pch"), store)});
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 101);
        QCOMPARE(lines[8], QStringLiteral("09:  ABCDEF"));
        QCOMPARE(lines[98], QStringLiteral("99:  ABCDEF"));
        QCOMPARE(lines[99], QStringLiteral("100:  ABCDEF"));
    }

    void check_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("expectedExit");
        QTest::addColumn<QString>("expectedOut"); // after "PATH: "
        QTest::addColumn<QString>("errContains"); // empty: stderr must be empty

        const QByteArray p = Image(QStringLiteral("PATCH1"));
        QTest::newRow("library of 3") << "a.pslib" << Library(p + p + p) << 0 << "library with 3 patches\n"
                                      << "";
        QTest::newRow("library of 1") << "a.pslib" << Library(p) << 0 << "library with 1 patch\n"
                                      << "";
        QTest::newRow("empty library") << "a.pslib" << QByteArray(1, '\1') << 0 << "library with 0 patches\n"
                                       << "";
        QTest::newRow("library body of 19 bytes")
            << "a.pslib" << Library(p + 'x') << 0 << "library with 2 patches, last entry short by 17 bytes\n"
            << "";
        QTest::newRow("library body of 35 bytes") << "a.pslib" << Library(p + p.left(17)) << 0
                                                  << "library with 2 patches, last entry short by 1 byte\n"
                                                  << "";
        QTest::newRow("library without marker") << "a.pslib" << QByteArray(19, '\2') << 1 << ""
                                                << "Not a valid Library (its first byte is 2";
        QTest::newRow("empty .pslib") << "a.pslib" << QByteArray() << 1 << ""
                                      << "Not a valid Library (the file is empty)";
        QTest::newRow("patch file of 2") << "a.pch" << p + p << 0 << "patch file with 2 patches\n"
                                         << "";
        QTest::newRow("patch file of 40 bytes")
            << "a.pch" << p + p + "abcd" << 0 << "patch file with 3 patches, last entry short by 14 bytes\n"
            << "";
        QTest::newRow("patch file of 17 bytes")
            << "a.pch" << p.left(17) << 0 << "patch file with 1 patch, last entry short by 1 byte\n"
            << "";
        QTest::newRow("empty patch file") << "a.pch" << QByteArray() << 1 << ""
                                          << "empty";
        QTest::newRow("library named .PSLIB is a patch file")
            << "a.PSLIB" << Library(p) << 0 << "patch file with 2 patches, last entry short by 17 bytes\n"
            << "";
    }

    void check() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(int, expectedExit);
        QFETCH(QString, expectedOut);
        QFETCH(QString, errContains);

        const QString path = Write(fileName, content);
        const Result result = Run({QStringLiteral("check"), path});
        QCOMPARE(result.exitCode, expectedExit);
        QCOMPARE(result.out, expectedOut.isEmpty() ? QString() : path + QStringLiteral(": ") + expectedOut);
        if (errContains.isEmpty()) {
            QCOMPARE(result.err, QString());
        } else {
            QVERIFY2(result.err.contains(errContains), qPrintable(result.err));
            QVERIFY2(result.err.contains(path), "the message names the file");
        }
    }

    // Files that cannot be read at all fail every command the same way.
    void unreadableFiles_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("errContains");
        for (const char* command : {"list", "check", "convert"}) {
            const QString c = QString::fromUtf8(command);
            QTest::addRow("%s missing", command) << c << "missing"
                                                 << "File not found";
            QTest::addRow("%s folder", command) << c << "folder"
                                                << "Cannot open";
            QTest::addRow("%s over 16 MiB", command) << c << "huge"
                                                     << "16";
        }
    }

    void unreadableFiles() {
        QFETCH(QString, command);
        QFETCH(QString, kind);
        QFETCH(QString, errContains);

        QString path = Path(QStringLiteral("in.pch"));
        if (kind == QStringLiteral("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == QStringLiteral("huge")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(MaxReadSize + 1)); // sparse: costs no disk
        }
        QStringList arguments{command, path};
        if (command == QStringLiteral("convert"))
            arguments.append(Path(QStringLiteral("out.pslib")));
        const Result result = Run(arguments);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.out, QString());
        QVERIFY2(result.err.startsWith(QStringLiteral("quillbox-tool: ")), qPrintable(result.err));
        QVERIFY2(result.err.contains(errContains), qPrintable(result.err));
        QVERIFY2(result.err.contains(path), qPrintable(result.err));
        QVERIFY(!QFile::exists(Path(QStringLiteral("out.pslib"))));
    }

    void usage_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("expectedExit");
        QTest::addColumn<QString>("outContains");
        QTest::addColumn<QString>("errContains");

        const QString v = QStringLiteral("quillbox-tool " QUILLBOX_EXPECTED_VERSION "\n");
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "Usage: quillbox-tool"
                              << "";
        QTest::newRow("-h with a command")
            << QStringList{QStringLiteral("list"), QStringLiteral("-h")} << 0 << "convert [--force] IN OUT"
            << "";
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << v << "";
        QTest::newRow("nothing") << QStringList{} << 2 << ""
                                 << "no command";
        QTest::newRow("unknown command")
            << QStringList{QStringLiteral("show"), QStringLiteral("x")} << 2 << ""
            << "unknown command: show";
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("list"), QStringLiteral("--all"), QStringLiteral("x")} << 2 << ""
            << "unknown option: --all";
        QTest::newRow("list without file") << QStringList{QStringLiteral("list")} << 2 << ""
                                           << "list [--details] FILE";
        QTest::newRow("list with two files")
            << QStringList{QStringLiteral("list"), QStringLiteral("a"), QStringLiteral("b")} << 2 << ""
            << "usage";
        QTest::newRow("convert with one file")
            << QStringList{QStringLiteral("convert"), QStringLiteral("a")} << 2 << ""
            << "convert [--force] IN OUT";
        QTest::newRow("check with two files")
            << QStringList{QStringLiteral("check"), QStringLiteral("a"), QStringLiteral("b")} << 2 << ""
            << "check FILE";
        QTest::newRow("--force on list")
            << QStringList{QStringLiteral("list"), QStringLiteral("--force"), QStringLiteral("a")} << 2 << ""
            << "--force";
        QTest::newRow("--details on convert")
            << QStringList{QStringLiteral("convert"), QStringLiteral("--details"), QStringLiteral("a"),
                           QStringLiteral("b")}
            << 2 << ""
            << "--details";
    }

    void usage() {
        QFETCH(QStringList, arguments);
        QFETCH(int, expectedExit);
        QFETCH(QString, outContains);
        QFETCH(QString, errContains);

        const Result result = Run(arguments);
        QCOMPARE(result.exitCode, expectedExit);
        if (outContains.isEmpty())
            QCOMPARE(result.out, QString());
        else
            QVERIFY2(result.out.contains(outContains), qPrintable(result.out));
        if (errContains.isEmpty()) {
            QCOMPARE(result.err, QString());
        } else {
            QVERIFY2(result.err.contains(errContains), qPrintable(result.err));
            QVERIFY2(result.err.contains(QStringLiteral("--help")), "a usage error points to --help");
        }
    }

    void optionsEndAtDoubleDash() {
        const QByteArray p = Image(QStringLiteral("DASH  "));
        Write(QStringLiteral("-x.pch"), p);
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_->path()));
        const Result result = Run({QStringLiteral("check"), QStringLiteral("--"), QStringLiteral("-x.pch")});
        QVERIFY(QDir::setCurrent(previous));
        QCOMPARE(result.err, QString());
        QCOMPARE(result.out, QStringLiteral("-x.pch: patch file with 1 patch\n"));
    }

    void escapeDescription_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CR LF") << "a\r\nb"
                               << "a\\nb";
        QTest::newRow("two CR LF") << "\r\n\r\n"
                                   << "\\n\\n";
        QTest::newRow("lone CR and lone LF") << "a\rb\nc"
                                             << "a\\nb\\nc";
        QTest::newRow("tab") << "a\tb"
                             << "a\\tb";
        QTest::newRow("plain") << "no breaks"
                               << "no breaks";
    }

    void escapeDescription() {
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(EscapeDescription(description), expected);
    }

    void convert_data() {
        QTest::addColumn<QString>("inName");
        QTest::addColumn<QByteArray>("inContent");
        QTest::addColumn<QByteArray>("inSide"); // empty: none
        QTest::addColumn<QString>("outName");
        QTest::addColumn<QByteArray>("expectedContent");
        QTest::addColumn<QStringList>("expectedDescriptions"); // empty: no side file written

        const QByteArray a = Image(QStringLiteral("AAAAAA"), {1, 2, 3, true, false}, 0x3C);
        const QByteArray b = Image(QStringLiteral("BBBBBB"), {5, 4, 6, false, true}, 0xC3);
        const QByteArray side = Ini("[Description]\r\n1=First\r\n2=Second&*&line\r\n");
        const QStringList descriptions{QStringLiteral("First"), QStringLiteral("Second\r\nline")};

        QTest::newRow("library to patch file")
            << "in.pslib" << Library(a + b) << side << "out.pch" << a + b << descriptions;
        QTest::newRow("patch file to library")
            << "in.pch" << a + b << side << "out.pslib" << Library(a + b) << descriptions;
        QTest::newRow("library to library")
            << "in.pslib" << Library(a + b) << side << "out.pslib" << Library(a + b) << descriptions;
        QTest::newRow("no extension means patch file")
            << "in.pslib" << Library(a) << QByteArray() << "out" << a << QStringList();
        QTest::newRow("no descriptions: no side file")
            << "in.pch" << a + b << QByteArray() << "out.pslib" << Library(a + b) << QStringList();
        QTest::newRow("short last entry kept byte for byte")
            << "in.pch" << a + b.left(5) << QByteArray() << "out.pslib" << Library(a + b.left(5))
            << QStringList();
        QTest::newRow("empty patch file to empty library")
            << "in.pch" << QByteArray() << QByteArray() << "out.pslib" << QByteArray(1, '\1')
            << QStringList();
        QTest::newRow("only the second described")
            << "in.pch" << a + b << Ini("[Description]\r\n2=Two\r\n") << "out.pslib" << Library(a + b)
            << QStringList{QString(), QStringLiteral("Two")};
    }

    void convert() {
        QFETCH(QString, inName);
        QFETCH(QByteArray, inContent);
        QFETCH(QByteArray, inSide);
        QFETCH(QString, outName);
        QFETCH(QByteArray, expectedContent);
        QFETCH(QStringList, expectedDescriptions);

        const QString in = Write(inName, inContent);
        if (!inSide.isEmpty())
            Write(inName + QStringLiteral(".txt"), inSide);
        const QString out = Path(outName);
        const Result result = Run({QStringLiteral("convert"), in, out});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.startsWith(out + QStringLiteral(": wrote ")), qPrintable(result.out));
        QCOMPARE(ReadAll(out), expectedContent);
        QCOMPARE(ReadAll(in), inContent);

        const QString outSide = out + QStringLiteral(".txt");
        QCOMPARE(QFile::exists(outSide), !expectedDescriptions.isEmpty());
        const DescriptionReader reader(outSide);
        for (qsizetype i = 0; i < expectedDescriptions.size(); ++i)
            QCOMPARE(reader.Description(i + 1), expectedDescriptions[i]);

        // What was written reads back as the same patches.
        const Result listIn = Run({QStringLiteral("list"), QStringLiteral("--details"), in});
        const Result listOut = Run({QStringLiteral("list"), QStringLiteral("--details"), out});
        QCOMPARE(listOut.out, listIn.out);
    }

    void convertNeverReplacesWithoutForce_data() {
        QTest::addColumn<bool>("outExists");
        QTest::addColumn<bool>("sideExists");
        QTest::newRow("OUT exists") << true << false;
        QTest::newRow("only OUT's side file exists") << false << true;
        QTest::newRow("both exist") << true << true;
    }

    void convertNeverReplacesWithoutForce() {
        QFETCH(bool, outExists);
        QFETCH(bool, sideExists);

        const QByteArray p = Image(QStringLiteral("NEW   "));
        const QString in = Write(QStringLiteral("in.pch"), p);
        Write(QStringLiteral("in.pch.txt"), Ini("[Description]\r\n1=New one\r\n"));
        const QByteArray oldOut = Library(Image(QStringLiteral("OLD   ")));
        const QByteArray oldSide = Ini("[Description]\r\n1=Old one\r\n");
        const QString out = Path(QStringLiteral("out.pslib"));
        if (outExists)
            Write(QStringLiteral("out.pslib"), oldOut);
        if (sideExists)
            Write(QStringLiteral("out.pslib.txt"), oldSide);
        const QStringList before = FilesInDir();

        const Result refused = Run({QStringLiteral("convert"), in, out});
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.out, QString());
        QVERIFY2(refused.err.contains(QStringLiteral("already exists")) &&
                     refused.err.contains(QStringLiteral("--force")),
                 qPrintable(refused.err));
        QCOMPARE(FilesInDir(), before);
        QCOMPARE(ReadAll(out), outExists ? oldOut : QByteArray("<missing>"));
        QCOMPARE(ReadAll(out + QStringLiteral(".txt")), sideExists ? oldSide : QByteArray("<missing>"));

        const Result forced = Run({QStringLiteral("convert"), QStringLiteral("--force"), in, out});
        QCOMPARE(forced.exitCode, 0);
        QCOMPARE(ReadAll(out), Library(p));
        QCOMPARE(DescriptionReader(out + QStringLiteral(".txt")).Description(1), QStringLiteral("New one"));
    }

    // A stale side file of OUT must not lend its descriptions to the new patches.
    void convertForceClearsStaleDescriptions() {
        const QByteArray p = Image(QStringLiteral("PLAIN "));
        const QString in = Write(QStringLiteral("in.pch"), p + p);
        const QString out = Write(QStringLiteral("out.pslib"), QByteArray(1, '\1'));
        Write(QStringLiteral("out.pslib.txt"), Ini("[Description]\r\n1=Stale&*&one\r\n2=Stale two\r\n"));

        const Result result = Run({QStringLiteral("convert"), in, out, QStringLiteral("--force")});
        QCOMPARE(result.exitCode, 0);
        const Result listed = Run({QStringLiteral("list"), QStringLiteral("--details"), out});
        QCOMPARE(listed.out, QStringLiteral("01:  PLAIN \tUS-Clean\tCombo\tCombo 1*12\"\toff\toff\t\n"
                                            "02:  PLAIN \tUS-Clean\tCombo\tCombo 1*12\"\toff\toff\t\n"));
    }

    void convertOntoItself() {
        const QByteArray content = Library(Image(QStringLiteral("SELF  ")));
        const QString path = Write(QStringLiteral("self.pslib"), content);
        Write(QStringLiteral("self.pslib.txt"), Ini("[Description]\r\n1=Mine\r\n"));
        const Result result = Run({QStringLiteral("convert"), QStringLiteral("--force"), path, path});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(ReadAll(path), content);
        QCOMPARE(DescriptionReader(path + QStringLiteral(".txt")).Description(1), QStringLiteral("Mine"));
    }

    void convertFailuresWriteNothing_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("errContains");
        QTest::newRow("IN is not a library") << "badlib"
                                             << "Not a valid Library";
        QTest::newRow("OUT in a missing folder") << "nofolder"
                                                 << "nofolder";
        QTest::newRow("OUT is a folder, --force") << "outfolder"
                                                  << "out.pslib";
        QTest::newRow("IN's side file cannot be read") << "sidefolder"
                                                       << "in.pch.txt";
        QTest::newRow("OUT would exceed 16 MiB") << "toolarge"
                                                 << "16 MiB";
    }

    void convertFailuresWriteNothing() {
        QFETCH(QString, situation);
        QFETCH(QString, errContains);

        QString in = Write(QStringLiteral("in.pch"), Image(QStringLiteral("ABC   ")));
        QString out = Path(QStringLiteral("out.pslib"));
        QStringList arguments{QStringLiteral("convert")};
        if (situation == QStringLiteral("badlib")) {
            in = Write(QStringLiteral("in.pslib"), QByteArray(19, '\2'));
        } else if (situation == QStringLiteral("nofolder")) {
            out = Path(QStringLiteral("nofolder/out.pslib"));
        } else if (situation == QStringLiteral("outfolder")) {
            QVERIFY(QDir().mkdir(out));
            arguments.append(QStringLiteral("--force"));
        } else if (situation == QStringLiteral("sidefolder")) {
            QVERIFY(QDir().mkdir(Path(QStringLiteral("in.pch.txt"))));
        } else if (situation == QStringLiteral("toolarge")) {
            // 16 MiB of patch data is readable, but the library made of it is one byte too large.
            QFile file(in);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(MaxReadSize));
        }
        const QStringList before = FilesInDir();
        arguments << in << out;
        const Result result = Run(arguments);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.out, QString());
        QVERIFY2(result.err.contains(errContains), qPrintable(result.err));
        QCOMPARE(FilesInDir(), before);
        QVERIFY(!QFileInfo(out + QStringLiteral(".txt")).exists());
    }

    // The real executable: exit codes, the streams they go to, and the committed fixture.
    void executable_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("expectedExit");
        QTest::addColumn<QByteArray>("expectedOut");
        QTest::addColumn<bool>("expectErr");

        const QString sample = FixturePath("sample.pslib");
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0
                                 << QByteArray("quillbox-tool " QUILLBOX_EXPECTED_VERSION "\n") << false;
        QTest::newRow("list fixture") << QStringList{QStringLiteral("list"), sample} << 0
                                      << ReadAll(FixturePath("sample.list")) << false;
        QTest::newRow("list --details fixture")
            << QStringList{QStringLiteral("list"), QStringLiteral("--details"), sample} << 0
            << ReadAll(FixturePath("sample.details")) << false;
        QTest::newRow("bad file") << QStringList{QStringLiteral("check"), FixturePath("no-such-file.pslib")}
                                  << 1 << QByteArray() << true;
        QTest::newRow("bad usage") << QStringList{QStringLiteral("list")} << 2 << QByteArray() << true;
    }

    void executable() {
        QFETCH(QStringList, arguments);
        QFETCH(int, expectedExit);
        QFETCH(QByteArray, expectedOut);
        QFETCH(bool, expectErr);

        QProcess process;
        process.start(QStringLiteral(QUILLBOX_TOOL_EXE), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), expectedExit);
        QCOMPARE(process.readAllStandardOutput(), expectedOut);
        QCOMPARE(!process.readAllStandardError().isEmpty(), expectErr);
    }
};

QTEST_GUILESS_MAIN(TestTool)
#include "TestTool.moc"
