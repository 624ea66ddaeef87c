#include "CollectionIndex.h"
#include "CollectionSettings.h"
#include "DescriptionFile.h"
#include "EarlierVersions.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "PatchList.h"
#include "PatchName.h"
#include "TestFiles.h"
#include "TestPaths.h"
#include "ToolCommands.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillbox;
using namespace Qt::StringLiterals;
using namespace quillbox::test;

namespace {

// A library of CRUNCH, "LEAD 1" and "CLEAN " with its side file, and what `list --details` shows.
QString Fixture(const char* name) {
    return QStringLiteral(QUILLBOX_TEST_DATA_DIR "/tool/") + QString::fromUtf8(name);
}

struct Result {
    int code;
    QString out, err;
};

Result Run(const QStringList& arguments) {
    Result r;
    QTextStream out(&r.out), err(&r.err);
    r.code = tool::RunTool(arguments, out, err);
    return r;
}

} // namespace

class TestTool : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;
    QTemporaryDir dataHome_;
    QTemporaryDir cacheHome_, configHome_;
    const QByteArray sample_ = ReadBytes(Fixture("sample.pslib"));
    const QByteArray store_ = DecodeLibrary(sample_);
    const QByteArray sampleSide_ = ReadBytes(Fixture("sample.pslib.txt"));

    QString Write(const QString& name, const QByteArray& content) {
        QFile file(dir_->filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() ? file.fileName()
                                                                                        : QString();
    }

private Q_SLOTS:
    // Earlier versions go to a data folder of this run's own, emptied before every test: never the
    // user's, and not one that another run of this test (from another checkout) empties meanwhile.
    void initTestCase() {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_.path()));
        // The collection's cache and the chosen folders: this run's own, never the user's.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome_.path()));
    }
    void init() {
        dir_.emplace();
        const QString versions = EarlierVersions::DefaultFolder();
        QVERIFY(dataHome_.isValid() && versions.startsWith(dataHome_.path() + u'/'));
        QVERIFY(!QFileInfo::exists(versions) || QFile::remove(versions) ||
                QDir(versions).removeRecursively());
    }

    // A command on the file <f> (none if unnamed): exit status, output, part of the errors; writes nothing.
    void commands_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // empty: nothing on the error output
        const auto row = [](const char* tag, const char* arguments, const char* name,
                            const QByteArray& content, int code, const char* out, const char* err) {
            QTest::newRow(tag) << QString::fromUtf8(arguments).split(u' ', Qt::SkipEmptyParts)
                               << QString::fromUtf8(name) << content << code << QString::fromUtf8(out)
                               << QString::fromUtf8(err);
        };
        row("list", "list <f>", "a.pslib", sample_, 0, "01:  CRUNCH\n02:  LEAD 1\n03:  CLEAN \n", "");
        row("no entries", "list --details <f>", "a.pch", QByteArray(18, '\xFF'), 0,
            "01:  (63)(63)(63)(63)(63)(63)\t\t\t\ton\ton\t\n", "");
        row("40 bytes", "list <f>", "a.pch", store_.left(40), 0, "01:  CRUNCH\n02:  LEAD 1\n03:  \n",
            "warning: <f>: last entry short by 14 bytes");
        row("check", "check <f>", "a.pslib", sample_, 0, "<f>: library with 3 patches\n", "");
        row("check short", "check <f>", "a.pslib", EncodeLibrary(store_.left(19)), 0,
            "<f>: library with 2 patches, last entry short by 17 bytes\n", "");
        row(".PSLIB", "check <f>", "a.PSLIB", sample_, 0,
            "<f>: patch file with 4 patches, last entry short by 17 bytes\n", "");
        row("check pch", "check <f>", "a.pch", store_.left(18), 0, "<f>: patch file with 1 patch\n", "");
        row("no marker", "check <f>", "a.pslib", "\x02xyz", 1, "",
            "<f>: Not a valid Library (its first byte is 2");
        row("0 bytes", "list <f>", "a.pslib", "", 1, "", "<f>: Not a valid Library (the file is empty)");
        row("empty pch", "check <f>", "a.pch", "", 1, "", "<f>: the file is empty");
        row("missing", "list <f>", "", "", 1, "", "File not found: <f>");
        row("exists", "convert <f> <f>", "a.pch", "x", 1, "", "<f> already exists; use --force");
        row("bad in", "convert --force <f> <f>.pch", "a.pslib", "\x02", 1, "", "<f>: Not a valid Library");
        row("bad out", "convert --force <f> <f>/x.pch", "a.pch", "x", 1, "",
            "Cannot open the file: <f>/x.pch");
        row("OUT's name too long",
            "convert <f> "
            "<f>."
            "éééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééééé"
            "ééééééééééééééééééééééééééééééé",
            "a.pch", "x", 1, "",
            "The file name is too long (260 bytes, where this folder allows at most 255)");
        row("--version", "--version", "", "", 0, "quillbox-tool " QUILLBOX_EXPECTED_VERSION "\n", "");
        row("-h", "list -h", "", "", 0, tool::HelpText().toUtf8().constData(), "");
        row("nothing", "", "", "", 2, "", "no command");
        row("unknown", "play x", "", "", 2, "", "unknown command: play");
        row("option", "list --all x", "", "", 2, "", "unknown option: --all");
        row("no file", "list", "", "", 2, "", "usage: quillbox-tool list [--details | --csv] FILE");
        QByteArray formula = store_.left(18); // a name a spreadsheet would run: neutralised as in the window
        WritePatchName(formula, EncodePatchName(QStringLiteral("-1")).codes);
        row("csv, name -1", "list --csv <f>", "a.pch", formula, 0,
            "Position,Name,Drive type,Cab type,Cab speaker,Drive,Cab,Description\r\n"
            "01,'-1,UK-Crunch,Stack,\"Stack 4*10\"\"\",on,on,\r\n",
            "");
    }
    void commands() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString file = name.isEmpty() ? dir_->filePath(QStringLiteral("none")) : Write(name, content);
        QVERIFY(!file.isEmpty());
        const auto withFile = [&](QString text) {
            return text.replace(QStringLiteral("<f>"), file);
        };
        const Result result = Run(arguments.replaceInStrings(QStringLiteral("<f>"), file));
        QCOMPARE(result.code, code);
        QCOMPARE(result.out, withFile(out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(withFile(err)),
                 qPrintable(result.err));
        QCOMPARE(result.err.contains(QStringLiteral("Try 'quillbox-tool --help'")), code == 2);
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files),
                 name.isEmpty() ? QStringList() : QStringList{name});
        QCOMPARE(ReadBytes(file),
                 name.isEmpty() ? QByteArray("<unreadable>") : content); // the input is never changed
    }

    // rename changes only the name bits of one entry of the library <f> (CRUNCH, LEAD 1, CLEAN),
    // saved safely, side file untouched; diff compares two entries; list --csv prints the set list.
    void renameDiffCsv_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");   // a part of the output
        QTest::addColumn<QString>("err");   // a part of the errors; empty: none
        QTest::addColumn<QString>("name2"); // entry 2's name afterwards
        const auto row = [](const char* tag, const char* arguments, int code, const char* out,
                            const char* err, const char* name2) {
            QTest::newRow(tag) << QString::fromUtf8(arguments) << code << QString::fromUtf8(out)
                               << QString::fromUtf8(err) << QString::fromUtf8(name2);
        };
        row("rename", "rename <f> 2 drive", 0, "<f>: renamed 02:  LEAD 1 to 02:  DRIVE \n", "", "DRIVE ");
        row("rename, character refused", "rename <f> 2 a_b", 1, "", "cannot hold \"_\"; allowed are A-Z",
            "LEAD 1");
        row("rename, too long", "rename <f> 2 abcdefg", 1, "", "at most 6 characters", "LEAD 1");
        row("rename, no such position", "rename <f> 4 A", 1, "", "no position 4; positions run from 1 to 3",
            "LEAD 1");
        row("rename, not a library", "rename <f>.pch 1 A", 1, "", "only a library", "LEAD 1");
        row("rename, name starting with -", "rename <f> 2 -ab", 0,
            "<f>: renamed 02:  LEAD 1 to 02:  -AB   \n", "", "-AB   ");
        row("rename, position -1", "rename <f> -1 A", 1, "",
            "there is no position -1; positions run from 1 to 3", "LEAD 1");
        row("rename, -- where the position goes", "rename <f> -- 2 -x", 0,
            "<f>: renamed 02:  LEAD 1 to 02:  -X    \n", "", "-X    ");
        row("diff, identical", "diff <f>:3 <f>:3", 0, "\nidentical\n", "", "LEAD 1");
        row("diff, differ", "diff <f>:1 <f>:3", 1, "* Name          CRUNCH                CLEAN", "",
            "LEAD 1");
        row("diff, no such position", "diff <f>:1 <f>:9", 2, "", "no position 9", "LEAD 1");
        row("diff, no position", "diff <f> <f>:1", 2, "", "expected FILE:POSITION", "LEAD 1");
        row("list --csv", "list --csv <f>", 0,
            "Position,Name,Drive type,Cab type,Cab speaker,Drive,Cab,Description\r\n01,CRUNCH,", "",
            "LEAD 1");
    }
    void renameDiffCsv() {
        QFETCH(QString, arguments);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, name2);
        const QString file = Write(QStringLiteral("a.pslib"), sample_);
        QVERIFY(!Write(QStringLiteral("a.pslib.txt"), sampleSide_).isEmpty());
        const auto withFile = [&file](QString text) {
            return text.replace(QStringLiteral("<f>"), file);
        };
        const Result result = Run(withFile(arguments).split(u' '));
        QCOMPARE(result.code, code);
        QVERIFY2(result.out.contains(withFile(out)), qPrintable(result.out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(err), qPrintable(result.err));
        const QByteArray after = DecodeLibrary(ReadBytes(file));
        QCOMPARE(StringToPatchName(QByteArrayView(after).sliced(18 + 11, 6)).name, name2);
        // Every bit outside entry 2's name field as it was: bits 5..40 of its bytes 12..17.
        const auto nameless = [](QByteArray store) {
            QByteArray entry = store.mid(18, 18);
            WritePatchName(entry, {});
            return store.replace(18, 18, entry);
        };
        QCOMPARE(nameless(after), nameless(store_));
        QCOMPARE(ReadBytes(file + QStringLiteral(".txt")), sampleSide_);
    }

    // sort puts the library <f> (CRUNCH, LEAD 1, CLEAN) in order of names in place, each description
    // with its patch; a library already in order is not written again.
    void sort_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QStringList>("names"); // afterwards, in order
        const QStringList sorted{u"CLEAN "_s, u"CRUNCH"_s, u"LEAD 1"_s};
        const QStringList unsorted{u"CRUNCH"_s, u"LEAD 1"_s, u"CLEAN "_s};
        QTest::newRow("sort")
            << u"sort <f>"_s << 0
            << u"<f>: wrote library with 3 patches, sorted by name\n<f>.txt: wrote the descriptions\n"_s
            << sorted;
        QTest::newRow("sort twice") << u"sort <f> ; sort <f>"_s << 0
                                    << u"<f>: 3 patches are already in order by name; nothing was written\n"_s
                                    << sorted;
        QTest::newRow("not a library") << u"sort <f>.pch"_s << 1 << QString() << unsorted;
        QTest::newRow("two files") << u"sort <f> <f>"_s << 2 << QString() << unsorted;
    }
    void sort() {
        QFETCH(QString, arguments);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QStringList, names);
        const QString file = Write(u"a.pslib"_s, sample_);
        QVERIFY(!Write(u"a.pslib.txt"_s, sampleSide_).isEmpty());
        const DescriptionReader before = DescriptionReader::FromBytes(sampleSide_);
        QHash<QString, QString> descriptionOf;
        for (qsizetype k = 0; k < EntryCount(store_); ++k)
            descriptionOf.insert(PatchListLine(store_, k).mid(5), before.Description(k + 1));
        Result result;
        for (const QString& run : arguments.split(u" ; "_s))
            result = Run(QString(run).replace(u"<f>"_s, file).split(u' '));
        QCOMPARE(result.code, code);
        QCOMPARE(result.out, QString(out).replace(u"<f>"_s, file));
        const QByteArray after = DecodeLibrary(ReadBytes(file));
        const DescriptionReader descriptions = DescriptionReader::FromBytes(ReadBytes(file + u".txt"_s));
        QCOMPARE(EntryCount(after), names.size());
        for (qsizetype k = 0; k < names.size(); ++k) {
            QCOMPARE(PatchListLine(after, k).mid(5), names.at(k));
            QCOMPARE(descriptions.Description(k + 1), descriptionOf.value(names.at(k)));
        }
    }

    // tag changes the descriptions of the library <f> (01 "Crunch for the verse", 02 two lines, 03
    // empty) as "Library > Tags…" does: all the entries or, when a tag does not fit, none.
    void tag_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");         // a part of the errors; empty: none
        QTest::addColumn<QStringList>("described"); // entries 1 and 3 afterwards; empty: file untouched
        const QString long250 = QString(250, u'x');
        QTest::newRow("add to two") << u"tag <f> 3 1 +gig"_s << 0 << QString()
                                    << QStringList{u"Crunch for the verse #gig"_s, u"#gig"_s};
        QTest::newRow("add and remove")
            << u"tag <f> 1 3 +gig +Live ; tag <f> 1 -GIG"_s << 0 << QString()
            << QStringList{u"Crunch for the verse #Live"_s, u"#gig #Live"_s};
        QTest::newRow("does not fit") << u"tag <f> 1 3 +"_s + long250 << 1 << u"01:  CRUNCH"_s << QStringList();
        QTest::newRow("no such position") << u"tag <f> 1 4 +gig"_s << 1 << u"no position 4"_s << QStringList();
        QTest::newRow("no tag") << u"tag <f> 1"_s << 2 << u"usage"_s << QStringList();
        QTest::newRow("not a tag") << u"tag <f> 1 +a.b"_s << 2 << u"not a tag: +a.b"_s << QStringList();
    }
    void tag() {
        QFETCH(QString, arguments);
        QFETCH(int, code);
        QFETCH(QString, err);
        QFETCH(QStringList, described);
        const QString file = Write(u"a.pslib"_s, sample_);
        QVERIFY(!Write(u"a.pslib.txt"_s, sampleSide_).isEmpty());
        Result result;
        for (const QString& run : arguments.split(u" ; "_s))
            result = Run(QString(run).replace(u"<f>"_s, file).split(u' '));
        QCOMPARE(result.code, code);
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(err), qPrintable(result.err));
        QCOMPARE(DecodeLibrary(ReadBytes(file)), store_);
        if (described.isEmpty()) {
            QCOMPARE(ReadBytes(file + u".txt"_s), sampleSide_);
            return;
        }
        const DescriptionReader after = DescriptionReader::FromBytes(ReadBytes(file + u".txt"_s));
        QCOMPARE(after.Description(1), described.at(0));
        QCOMPARE(after.Description(2), DescriptionReader::FromBytes(sampleSide_).Description(2));
        QCOMPARE(after.Description(3), described.at(1));
    }

    // rename refuses a last entry cut short inside its name, as the window does, and writes nothing;
    // one cut short after its name is renamed and keeps its length. `kept`: bytes of entry 3.
    void renameCutShort_data() {
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("5 bytes")
            << 5 << 1
            << QStringLiteral(
                   "<f>: Nothing renamed: 03:   ends before its name, cut short by the end of its file\n");
        QTest::newRow("16 bytes")
            << 16 << 1
            << QStringLiteral(
                   "<f>: Nothing renamed: 03:   ends before its name, cut short by the end of its file\n");
        QTest::newRow("17 bytes") << 17 << 0 << QString();
    }
    void renameCutShort() {
        QFETCH(int, kept);
        QFETCH(int, code);
        QFETCH(QString, err);
        const QByteArray store = store_.left(36 + kept);
        const QString file = Write(QStringLiteral("a.pslib"), EncodeLibrary(store));
        QVERIFY(!file.isEmpty());
        const Result result = Run({QStringLiteral("rename"), file, QStringLiteral("3"), QStringLiteral("x")});
        QCOMPARE(result.code, code);
        QVERIFY2(err.isEmpty() ? result.err.isEmpty()
                               : result.err.contains(err.replace(QStringLiteral("<f>"), file)),
                 qPrintable(result.err));
        QCOMPARE(result.out.contains(QStringLiteral(": renamed 03:")), code == 0);
        const QByteArray after = DecodeLibrary(ReadBytes(file));
        if (code != 0) {
            QCOMPARE(after, store);
            return;
        }
        QCOMPARE(after.size(), store.size());
        QCOMPARE(StringToPatchName(QByteArrayView(after).sliced(36 + 11, 6)).name, QStringLiteral("X     "));
    }

    // convert both ways with descriptions, OUT or its side file replaced only with --force, stale
    // descriptions gone; earlier versions: `convert --force` and `restore --force` keep the library
    // they replace, `versions` lists them, `restore` writes one out. a.pslib starts as the sample
    // with its side file, plain.pslib as the sample without; `before` runs first; then the command.
    // `files`: name=content (sample, side, store, blank, one, empty, missing) afterwards.
    void versions_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // <t>: a time
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("files");
        const QString convert = QStringLiteral("convert --force <d>/one.pch <d>/a.pslib");
        const auto row = [](const char* tag, const QStringList& before, const char* command, int code,
                            const char* out, const char* err, const char* files) {
            QTest::newRow(tag) << before << QString::fromUtf8(command) << code << QString::fromUtf8(out)
                               << QString::fromUtf8(err)
                               << QString::fromUtf8(files).split(u' ', Qt::SkipEmptyParts);
        };
        row("convert to a patch file", {}, "convert <d>/a.pslib <d>/o.pch", 0,
            "<d>/o.pch: wrote patch file with 3 patches\n<d>/o.pch.txt: wrote the descriptions\n", "",
            "o.pch=store o.pch.txt=side");
        row("and back", {QStringLiteral("convert <d>/a.pslib <d>/o.pch")}, "convert <d>/o.pch <d>/b.pslib", 0,
            "<d>/b.pslib: wrote library with 3 patches\n<d>/b.pslib.txt: wrote the descriptions\n", "",
            "b.pslib=sample b.pslib.txt=side");
        row("only OUT's side file exists", {}, "convert <d>/plain.pslib <d>/only.pslib", 1, "",
            "<d>/only.pslib.txt already exists", "only.pslib=missing only.pslib.txt=side");
        row("--force drops stale descriptions", {}, "convert --force <d>/plain.pslib <d>/a.pslib", 0,
            "<d>/a.pslib: wrote library with 3 patches\n<d>/a.pslib.txt: wrote the descriptions\n", "",
            "a.pslib=sample a.pslib.txt=blank");
        row("none kept", {}, "versions <d>/a.pslib", 0, "<d>/a.pslib: no earlier versions kept\n", "", "");
        row("convert keeps", {convert}, "versions <d>/a.pslib", 0,
            "1: <t>, 3 patches, 55 bytes + descriptions 64 bytes\n", "", "a.pslib=one");
        row("restore", {convert}, "restore <d>/a.pslib 1 <d>/r.pslib", 0,
            "<d>/r.pslib: restored version 1 of <d>/a.pslib (<t>)\n<d>/r.pslib.txt: restored the "
            "descriptions\n",
            "", "r.pslib=sample r.pslib.txt=side a.pslib=one");
        row("restore over itself", {convert}, "restore --force <d>/a.pslib 1 <d>/a.pslib", 0,
            "<d>/a.pslib: restored version 1 of <d>/a.pslib (<t>)\n<d>/a.pslib.txt: restored the "
            "descriptions\n",
            "", "a.pslib=sample a.pslib.txt=side");
        row("restored over itself, listed",
            {convert, QStringLiteral("restore --force <d>/a.pslib 1 <d>/a.pslib")}, "versions <d>/a.pslib", 0,
            "1: <t>, 1 patch, 19 bytes + descriptions 47 bytes\n2: <t>, 3 patches, 55 bytes + descriptions "
            "64 bytes\n",
            "", "");
        row("without descriptions", {QStringLiteral("convert --force <d>/one.pch <d>/plain.pslib")},
            "restore --force <d>/plain.pslib 1 <d>/plain.pslib", 0,
            "<d>/plain.pslib: restored version 1 of <d>/plain.pslib (<t>)\n", "",
            "plain.pslib=sample plain.pslib.txt=empty");
        row("exists", {convert}, "restore <d>/a.pslib 1 <d>/a.pslib", 1, "",
            "<d>/a.pslib already exists; use --force", "a.pslib=one");
        row("no such version", {convert}, "restore <d>/a.pslib 2 <d>/r.pslib", 1, "",
            "<d>/a.pslib: there is no earlier version 2 (1 kept)", "r.pslib=missing");
        row("N not a number", {}, "restore <d>/a.pslib x <d>/r.pslib", 2, "", "N must be a version number",
            "");
        row("OUT not a library", {}, "restore <d>/a.pslib 1 <d>/r.pch", 2, "", "OUT must be a library", "");
        row("store blocked", {QStringLiteral("block")}, convert.toUtf8().constData(), 0,
            "<d>/a.pslib: wrote library with 1 patch\n<d>/a.pslib.txt: wrote the descriptions\n",
            "warning: the version that was replaced could not be kept as an earlier version: Error: Cannot "
            "create",
            "a.pslib=one");
    }
    void versions() {
        QFETCH(QStringList, before);
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QStringList, files);
        const QString d = dir_->path();
        const auto expand = [&d](QString text) {
            return text.replace(QStringLiteral("<d>"), d);
        };
        QVERIFY(!Write(QStringLiteral("a.pslib"), sample_).isEmpty() &&
                !Write(QStringLiteral("a.pslib.txt"), sampleSide_).isEmpty() &&
                !Write(QStringLiteral("plain.pslib"), sample_).isEmpty() &&
                !Write(QStringLiteral("one.pch"), store_.left(18)).isEmpty() &&
                !Write(QStringLiteral("one.pch.txt"), "[Description]\r\n1=one\r\n").isEmpty() &&
                !Write(QStringLiteral("only.pslib.txt"), sampleSide_).isEmpty());
        for (const QString& step : before) {
            if (step == QStringLiteral("block")) {
                QVERIFY(QDir().mkpath(QFileInfo(EarlierVersions::DefaultFolder()).path()));
                QFile blocker(EarlierVersions::DefaultFolder());
                QVERIFY(blocker.open(QIODevice::WriteOnly));
                continue;
            }
            const Result r = Run(expand(step).split(u' '));
            QVERIFY2(r.code == 0, qPrintable(r.err));
        }
        const Result result = Run(expand(command).split(u' '));
        QCOMPARE(result.code, code);
        QStringList pieces = expand(out).split(QStringLiteral("<t>"));
        for (QString& piece : pieces)
            piece = QRegularExpression::escape(piece);
        const QRegularExpression pattern(
            u'^' + pieces.join(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")) + u'$');
        QVERIFY2(pattern.match(result.out).hasMatch(), qPrintable(result.out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(expand(err)),
                 qPrintable(result.err));
        const QHash<QString, QByteArray> contents{
            {QStringLiteral("sample"), sample_},
            {QStringLiteral("side"), sampleSide_},
            {QStringLiteral("store"), store_},
            {QStringLiteral("blank"), "[Description]\r\n1=\r\n2=\r\n3=\r\n"},
            {QStringLiteral("one"), EncodeLibrary(store_.left(18))},
            {QStringLiteral("empty"), QByteArray()},
            {QStringLiteral("missing"), QByteArray("<unreadable>")}};
        for (const QString& file : files)
            QCOMPARE(ReadBytes(dir_->filePath(file.section(u'=', 0, 0))),
                     contents.value(file.section(u'=', 1)));
    }

    // reconcile and merge on a.pslib (the sample, with its side file), past.pslib (the same), b.pslib
    // (entry 2 renamed DRIVE), c.pslib (entry 2 renamed OTHER), d.pch (entry 2 deleted, no side file)
    // and o.pslib (one entry, existing). `written`: the list of OUT afterwards ("" when none exists).
    void reconcileMerge_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // a part of the errors; empty: none
        QTest::addColumn<QString>("out2");
        QTest::addColumn<QString>("written");
        const auto row = [](const char* tag, const char* command, int code, const char* out, const char* err,
                            const char* out2, const char* written) {
            QTest::newRow(tag) << QString::fromUtf8(command) << code << QString::fromUtf8(out)
                               << QString::fromUtf8(err) << QString::fromUtf8(out2)
                               << QString::fromUtf8(written);
        };
        row("same", "reconcile <d>/a.pslib <d>/past.pslib", 0, "", "", "m.pslib", "");
        row("renamed", "reconcile <d>/a.pslib <d>/b.pslib", 1, "changed\t2\t2\tLEAD 1 -> DRIVE \tname\n", "",
            "m.pslib", "");
        row("deleted, descriptions differ", "reconcile <d>/a.pslib <d>/d.pch", 1,
            "changed\t1\t1\tCRUNCH\tdescription\nonly-left\t2\t-\tLEAD 1\t\n", "", "m.pslib", "");
        row("with a base", "reconcile <d>/a.pslib <d>/b.pslib --base <d>/past.pslib", 1,
            "changed\t2\t2\tLEAD 1 -> DRIVE \tname\tright\n", "", "m.pslib", "");
        row("conflict shown", "reconcile --base=<d>/past.pslib <d>/b.pslib <d>/c.pslib", 1,
            "changed\t2\t2\tDRIVE  -> OTHER \tname\tconflict\n", "", "m.pslib", "");
        row("missing", "reconcile <d>/a.pslib <d>/none.pslib", 2, "", "File not found: <d>/none.pslib",
            "m.pslib", "");
        row("not a library", "reconcile <d>/a.pslib <d>/bad.pslib", 2, "", "Not a valid Library", "m.pslib",
            "");
        row("reconcile --out", "reconcile <d>/a.pslib <d>/b.pslib --out <d>/m.pslib", 2, "",
            "reconcile takes --base only", "m.pslib", "");
        row("merge", "merge <d>/b.pslib <d>/past.pslib --base <d>/past.pslib --out <d>/m.pslib", 0,
            "<d>/m.pslib: wrote library with 3 patches, merged without conflict\n<d>/m.pslib.txt: wrote the "
            "descriptions\n",
            "", "m.pslib", "01:  CRUNCH\n02:  DRIVE \n03:  CLEAN \n");
        row("merge a rename and a deletion", "merge <d>/b.pslib <d>/d.pch --base <d>/a.pslib --out <d>/m.pch",
            1, "conflict\t2\t2\t-\tLEAD 1\tchanged on the left, deleted on the right\n",
            "1 conflict unresolved", "m.pch", "");
        row("merge conflict", "merge <d>/b.pslib <d>/c.pslib --base <d>/a.pslib --out <d>/m.pslib", 1,
            "conflict\t2\t2\t2\tLEAD 1\tchanged differently on both sides\n",
            "1 conflict unresolved; <d>/m.pslib was not written", "m.pslib", "");
        row("merge over OUT", "merge <d>/b.pslib <d>/a.pslib --base <d>/a.pslib --out <d>/o.pslib", 2, "",
            "<d>/o.pslib already exists; use --force", "o.pslib", "01:  CRUNCH\n");
        row("merge --force over OUT",
            "merge --force <d>/b.pslib <d>/a.pslib --base <d>/a.pslib --out <d>/o.pslib", 0,
            "<d>/o.pslib: wrote library with 3 patches, merged without conflict\n<d>/o.pslib.txt: wrote the "
            "descriptions\n",
            "", "o.pslib", "01:  CRUNCH\n02:  DRIVE \n03:  CLEAN \n");
        row("merge without a base", "merge <d>/b.pslib <d>/a.pslib --out <d>/m.pslib", 2, "",
            "usage:", "m.pslib", "");
        row("merge, --base without a file", "merge <d>/b.pslib <d>/a.pslib --out <d>/m.pslib --base", 2, "",
            "--base and --out each need a file", "m.pslib", "");
    }
    void reconcileMerge() {
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, out2);
        QFETCH(QString, written);
        const auto renamed = [this](const char* name) {
            QByteArray store = store_;
            QByteArray entry = store.mid(18, 18);
            WritePatchName(entry, EncodePatchName(QString::fromUtf8(name)).codes);
            return EncodeLibrary(store.replace(18, 18, entry));
        };
        for (const char* name : {"a.pslib", "past.pslib", "b.pslib", "c.pslib"}) {
            const QString file = QString::fromUtf8(name);
            QVERIFY(!Write(file, file.startsWith(u'b')   ? renamed("DRIVE")
                                 : file.startsWith(u'c') ? renamed("OTHER")
                                                         : sample_)
                         .isEmpty());
            QVERIFY(!Write(file + QStringLiteral(".txt"), sampleSide_).isEmpty());
        }
        QVERIFY(!Write(QStringLiteral("d.pch"), store_.left(18) + store_.mid(36)).isEmpty());
        QVERIFY(!Write(QStringLiteral("bad.pslib"), "\x02").isEmpty());
        const QByteArray existing = EncodeLibrary(store_.left(18));
        QVERIFY(!Write(QStringLiteral("o.pslib"), existing).isEmpty());
        const QString d = dir_->path();
        const auto expand = [&d](QString text) {
            return text.replace(QStringLiteral("<d>"), d);
        };
        const Result result = Run(expand(command).split(u' '));
        QCOMPARE(result.code, code);
        QCOMPARE(result.out, expand(out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(expand(err)),
                 qPrintable(result.err));
        const QString outFile = dir_->filePath(out2);
        if (written.isEmpty()) {
            QVERIFY(!QFileInfo::exists(outFile));
            return;
        }
        const Result listed = Run({QStringLiteral("list"), outFile});
        QCOMPARE(listed.out, written);
        if (code == 0) { // the descriptions go with their entries, and a replaced OUT is kept
            QCOMPARE(ReadBytes(outFile + QStringLiteral(".txt")), sampleSide_);
            QCOMPARE(EarlierVersions().List(outFile).size(), out2 == QStringLiteral("o.pslib") ? 1 : 0);
        } else {
            QCOMPARE(ReadBytes(outFile), existing);
        }
    }

    // A FIFO as IN's or OUT's side file is refused at once, never waited on.
    void fifos_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("fifo");
        QTest::addColumn<QString>("err");
        const QString notRead =
            QStringLiteral("ReadFileAsString Error - Not a regular file (a FIFO, a device or a "
                           "socket), which Quillbox does not read; choose a regular file: ");
        // IN or OUT itself a FIFO: the file routines' table (tst_files) refuses both through the same calls.
        QTest::newRow("IN's side file") << "convert <d>/in.pslib <d>/o.pch"
                                        << "in.pslib.txt" << notRead + QStringLiteral("<d>/in.pslib.txt");
        QTest::newRow("OUT's side file") << "convert --force <d>/in.pslib <d>/o.pch"
                                         << "o.pch.txt" << notRead + QStringLiteral("<d>/o.pch.txt");
    }
    void fifos() {
        QFETCH(QString, arguments);
        QFETCH(QString, fifo);
        QFETCH(QString, err);
        QVERIFY(!Write(QStringLiteral("in.pslib"), sample_).isEmpty());
        QVERIFY(::mkfifo(QFile::encodeName(dir_->filePath(fifo)).constData(), 0600) == 0);
        ::alarm(20); // a FIFO that blocks ends the test rather than hanging it
        const Result result = Run(arguments.replace(QStringLiteral("<d>"), dir_->path()).split(u' '));
        ::alarm(0);
        QCOMPARE(result.code, 1);
        QCOMPARE(result.err, QStringLiteral("quillbox-tool: ") +
                                 err.replace(QStringLiteral("<d>"), dir_->path()) + QLatin1Char('\n'));
        QVERIFY(!QFileInfo::exists(dir_->filePath(QStringLiteral("o.pch"))));
    }

    // The real executable, which gets its arguments as bytes: once for each exit status, and a name
    // whose bytes are not valid text (first or last argument) refused with the reason, nothing read
    // or written under another name. <d>: the test's folder, with in.pslib (the sample) and bad\xFF.pslib.
    void executable_data() {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        const QByteArray bad = "<d>/bad\xFF.pslib";
        const QByteArray refused =
            "quillbox-tool: The file name <d>/bad\\xFF.pslib is not valid text in the system's encoding "
            "(UTF-8): Quillbox would read or write a file of another name. Nothing was opened or written; "
            "rename the file to a name of valid text (for example in a file manager) and try again.\n";
        QTest::newRow("list --details") << QByteArrayList{"list", "--details", "<d>/in.pslib"} << 0
                                        << ReadBytes(Fixture("sample.details")) << QByteArray();
        QTest::newRow("missing") << QByteArrayList{"check", "<d>/none.pslib"} << 1 << QByteArray()
                                 << QByteArray("quillbox-tool: File not found: <d>/none.pslib\n");
        QTest::newRow("usage") << QByteArrayList{"list"} << 2 << QByteArray()
                               << QByteArray(
                                      "quillbox-tool: usage: quillbox-tool list [--details | --csv] FILE\n"
                                      "Try 'quillbox-tool --help' for more information.\n");
        QTest::newRow("name not text, first") << QByteArrayList{"check", bad} << 1 << QByteArray() << refused;
        QTest::newRow("name not text, last")
            << QByteArrayList{"convert", "--force", "<d>/in.pslib", bad} << 1 << QByteArray() << refused;
    }
    void executable() {
        QFETCH(QByteArrayList, arguments);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const QByteArray folder = QFile::encodeName(dir_->path());
        QVERIFY(!Write(QStringLiteral("in.pslib"), sample_).isEmpty() &&
                !Write(QStringLiteral("in.pslib.txt"), sampleSide_).isEmpty());
        const QByteArray bad = folder + "/bad\xFF.pslib";
        const int fd = ::open(bad.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0 && ::write(fd, sample_.constData(), size_t(sample_.size())) == sample_.size());
        ::close(fd);
        const auto removeBad = qScopeGuard([&bad] { ::unlink(bad.constData()); }); // QDir cannot name it
        const auto entries = [this] {
            return QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        const QStringList before = entries();

        std::vector<QByteArray> owned{QByteArray(QUILLBOX_TOOL_EXE)};
        for (QByteArray argument : arguments)
            owned.push_back(argument.replace("<d>", folder));
        std::vector<char*> argv;
        for (QByteArray& argument : owned)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int outPipe[2], errPipe[2];
        QVERIFY(::pipe(outPipe) == 0 && ::pipe(errPipe) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        const auto drain = [](int end) { // the outputs are far smaller than a pipe holds
            QByteArray bytes;
            char buffer[4096];
            for (ssize_t n; (n = ::read(end, buffer, sizeof buffer)) > 0;)
                bytes.append(buffer, n);
            ::close(end);
            return bytes;
        };
        const QByteArray gotOut = drain(outPipe[0]), gotErr = drain(errPipe[0]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), code);
        QCOMPARE(gotOut, out);
        QCOMPARE(gotErr, QByteArray(err).replace("<d>", folder));
        QCOMPARE(entries(), before);
    }

    // The collection commands over a folder holding a.pslib (CRUNCH, LEAD 1, CLEAN with their
    // descriptions), sub/b.pch (the same patches, LEAD 1 renamed ECHO, no side file), an earlier
    // version of a.pslib with a patch since deleted (OLDIE), and a FIFO. <d> is the folder, <v> the
    // earlier version; `chosen` puts the folder in the settings instead of naming it with --in.
    void collection_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const auto row = [](const char* tag, const char* arguments, bool chosen, int code, const char* out,
                            const char* err) {
            QTest::newRow(tag) << QString::fromUtf8(arguments) << chosen << code << QString::fromUtf8(out)
                               << QString::fromUtf8(err);
        };
        row("scan", "collection scan --in <d>", false, 0,
            "files: 3 (1 earlier versions)\npatches: 8\ndistinct patches: 5\nskipped: 1\n",
            "skipped <d>/fifo.pch: it is not a regular file");
        row("find", "collection find --in <d> crunch", false, 0,
            "<d>/a.pslib:1\tCRUNCH\tCrunch for the verse\n<d>/sub/b.pch:1\tCRUNCH\t\n", "1 file skipped");
        row("all words, first line", "collection find --in=<d> LEAD with", false, 0,
            "<d>/a.pslib:2\tLEAD 1\tLead\n", "");
        row("chosen folders", "collection find crunch verse", true, 0,
            "<d>/a.pslib:1\tCRUNCH\tCrunch for the verse\n", "");
        row("deleted, without versions", "collection find --in <d> oldie", false, 1, "", "");
        row("deleted, with versions", "collection find --versions --in <d> oldie", false, 0,
            "<v>:2\tOLDIE \t\n", "");
        row("where", "where <d>/a.pslib:2 --in <d>", false, 0,
            "same-sound\t<d>/sub/b.pch:2\tECHO  \nsame-sound\t<v>:2\tOLDIE \n", "");
        row("where, identical", "where <d>/sub/b.pch:1 --in <d>", false, 0,
            "identical\t<d>/a.pslib:1\tCRUNCH\nidentical\t<v>:1\tCRUNCH\n", "");
        row("where, bad position", "where <d>/a.pslib:9 --in <d>", false, 2, "", "position");
        row("where, no file", "where <d>/none.pch:1 --in <d>", false, 2, "", "<d>/none.pch: it is gone");
        row("nothing found", "collection find --in <d> zebra", false, 1, "", "");
        row("a word beginning with -, after --", "collection find --in <d> -- -crunch", false, 0,
            "<d>/a.pslib:1\tCRUNCH\tCrunch for the verse\n<d>/sub/b.pch:1\tCRUNCH\t\n", "1 file skipped");
        row("a word beginning with -, before --", "collection find --in <d> -crunch", false, 2, "",
            "unknown option: -crunch");
        row("no such folder", "collection find --in <d>/none crunch", false, 2, "",
            "<d>/none: no such folder");
        row("a file for a folder", "collection scan --in <d>/a.pslib", false, 2, "",
            "<d>/a.pslib: not a folder");
        row("where, no such folder", "where <d>/a.pslib:1 --in <d>/none", false, 2, "",
            "<d>/none: no such folder");
        row("no folders chosen", "collection scan", false, 2, "", "no folders are chosen");
        row("no words", "collection find --in <d>", false, 2, "", "usage: quillbox-tool collection scan");
        row("--in without folder", "collection scan --in", false, 2, "", "--in needs a folder");
        row("--versions on where", "where <d>/a.pslib:1 --versions", false, 2, "", "--versions applies to");
        row("--in on list", "list --in <d> <d>/a.pslib", false, 2, "", "--in applies to");
    }
    void collection() {
        QFETCH(QString, arguments);
        QFETCH(bool, chosen);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString library = Write(QStringLiteral("a.pslib"), sample_);
        Write(QStringLiteral("a.pslib.txt"), sampleSide_);
        QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("sub")));
        QByteArray renamed = store_;
        QByteArray echo = store_.mid(18, 18);
        WritePatchName(echo, EncodePatchName(QStringLiteral("ECHO")).codes);
        renamed.replace(18, 18, echo);
        Write(QStringLiteral("sub/b.pch"), renamed);
        QVERIFY(::mkfifo(QFile::encodeName(dir_->filePath(QStringLiteral("fifo.pch"))).constData(), 0600) ==
                0);
        QByteArray old = store_.left(36);
        QByteArray oldie = old.mid(18);
        WritePatchName(oldie, EncodePatchName(QStringLiteral("OLDIE")).codes);
        old.replace(18, 18, oldie);
        QVERIFY(EarlierVersions().Keep(library, {LibraryFileBytes(old), std::nullopt}));
        const QString version =
            EarlierVersions().FolderFor(library) + u'/' + EarlierVersions().List(library).front().id;
        const QString settings = configHome_.filePath(QStringLiteral("quillbox/quillbox.ini"));
        QFile::remove(settings);
        if (chosen)
            QVERIFY(WriteCollectionFolders({dir_->path()}));
        const auto filled = [&](QString text) {
            return text.replace(QStringLiteral("<d>"), dir_->path()).replace(QStringLiteral("<v>"), version);
        };
        const Result r = Run(filled(arguments).split(u' ', Qt::SkipEmptyParts));
        // The earlier versions live in another temporary folder, before or after <d>: the expected
        // lines go in the order the tool promises (relation, then path and position).
        QStringList expected = filled(out).split(u'\n', Qt::SkipEmptyParts);
        const auto key = [](const QString& line) {
            const QString relation = line.section(u'\t', 0, 0);
            const int rank = relation == QStringLiteral("identical")    ? 0
                             : relation == QStringLiteral("same-sound") ? 1
                                                                        : 2;
            return std::make_pair(rank, line.section(u'\t', 1, 1));
        };
        if (arguments.startsWith(QStringLiteral("where ")))
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const QString& a, const QString& b) { return key(a) < key(b); });
        QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), expected);
        QVERIFY2(err.isEmpty() ? !r.err.contains(QStringLiteral("skipped <d>")) : r.err.contains(filled(err)),
                 qPrintable(r.err));
        QCOMPARE(r.code, code);
    }

    // No file name can forge a line: paths printed for scripts are quoted as git quotes them; with -z
    // they are written as they are and each record ends in NUL. <d> is a folder holding <e> (a name
    // with tabs and a line break, the sample library), plain.pslib (the same), b.pslib (LEAD 1
    // renamed ECHO) and a FIFO named "fifo\tx.pch".
    void hostileNames_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out"); // with "<diff>": what diff's first line starts with
        QTest::addColumn<QString>("err");    // a part of the errors
        const QByteArray quoted = "\"<d>/a\\tFORGED\\tline\\nb.pslib\"";
        const QByteArray raw = "<d>/a\tFORGED\tline\nb.pslib";
        const auto row = [](const char* tag, const QStringList& arguments, int code, const QByteArray& out,
                            const char* err = "") {
            QTest::newRow(tag) << arguments << code << out << QString::fromUtf8(err);
        };
        const QStringList find = {u"collection"_s, u"find"_s, u"--in"_s, u"<d>"_s, u"crunch"_s};
        const QByteArray found = ":1\tCRUNCH\tCrunch for the verse";
        row("find", find, 0, quoted + found + "\n<d>/b.pslib" + found + "\n<d>/plain.pslib" + found + '\n');
        row("find -z", find + QStringList{u"-z"_s}, 0,
            raw + found + QByteArray(1, '\0') + "<d>/b.pslib" + found + QByteArray(1, '\0') +
                "<d>/plain.pslib" + found + QByteArray(1, '\0'));
        const QStringList where = {u"where"_s, u"<d>/plain.pslib:1"_s, u"--in"_s, u"<d>"_s};
        row("where", where, 0, "identical\t" + quoted + ":1\tCRUNCH\nidentical\t<d>/b.pslib:1\tCRUNCH\n");
        row("where -z", QStringList{u"-z"_s} + where, 0,
            "identical\t" + raw + ":1\tCRUNCH" + QByteArray(1, '\0') + "identical\t<d>/b.pslib:1\tCRUNCH" +
                QByteArray(1, '\0'));
        row("versions", {u"versions"_s, u"<e>"_s}, 0, quoted + ": no earlier versions kept\n");
        row("versions -z", {u"versions"_s, u"-z"_s, u"<e>"_s}, 0,
            raw + ": no earlier versions kept" + QByteArray(1, '\0'));
        row("diff", {u"diff"_s, u"<e>:1"_s, u"<d>/plain.pslib:1"_s}, 0, "<diff>" + quoted + ":1");
        row("diff -z", {u"diff"_s, u"-z"_s, u"<e>:1"_s, u"<d>/plain.pslib:1"_s}, 0, "<diff>" + raw + ":1");
        row("reconcile -z", {u"reconcile"_s, u"-z"_s, u"<e>"_s, u"<d>/b.pslib"_s}, 1,
            "changed\t2\t2\tLEAD 1 -> ECHO  \tname" + QByteArray(1, '\0'));
        row("scan names what it skipped", {u"collection"_s, u"scan"_s, u"--in"_s, u"<d>"_s}, 0,
            "files: 3 (0 earlier versions)\npatches: 9\ndistinct patches: 4\nskipped: 1\n",
            "skipped \"<d>/fifo\\tx.pch\": it is not a regular file");
        row("-z on list", {u"list"_s, u"-z"_s, u"<e>"_s}, 2, "", "-z applies to");
    }
    void hostileNames() {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QString, err);
        const QString evil = Write(QStringLiteral("a\tFORGED\tline\nb.pslib"), sample_);
        QVERIFY(!evil.isEmpty());
        Write(QStringLiteral("a\tFORGED\tline\nb.pslib.txt"), sampleSide_);
        Write(QStringLiteral("plain.pslib"), sample_);
        Write(QStringLiteral("plain.pslib.txt"), sampleSide_);
        QByteArray renamed = store_;
        QByteArray echo = store_.mid(18, 18);
        WritePatchName(echo, EncodePatchName(QStringLiteral("ECHO")).codes);
        renamed.replace(18, 18, echo);
        Write(QStringLiteral("b.pslib"), LibraryFileBytes(renamed));
        Write(QStringLiteral("b.pslib.txt"), sampleSide_);
        QVERIFY(::mkfifo(QFile::encodeName(dir_->filePath(QStringLiteral("fifo\tx.pch"))).constData(),
                         0600) == 0);
        for (QString& argument : arguments)
            argument.replace(QStringLiteral("<e>"), evil).replace(QStringLiteral("<d>"), dir_->path());
        out.replace("<d>", QFile::encodeName(dir_->path()));
        const Result r = Run(arguments);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(err.replace(QStringLiteral("<d>"), dir_->path())), qPrintable(r.err));
        if (out.startsWith("<diff>")) {
            // The first line of the table names both patches: the second is plain.
            const QByteArray first = out.mid(6);
            const QByteArray expected = QStringLiteral("%1 %2  %3  %4")
                                            .arg(QLatin1Char(' '))
                                            .arg(QString(), -12)
                                            .arg(QString::fromUtf8(first), -20)
                                            .arg(dir_->filePath(QStringLiteral("plain.pslib:1")))
                                            .toUtf8() +
                                        (arguments.contains(u"-z"_s) ? '\0' : '\n');
            QVERIFY2(r.out.toUtf8().startsWith(expected), qPrintable(r.out));
            // With -z the only line break is the one in the name.
            QVERIFY(arguments.contains(u"-z"_s) ? r.out.count(u'\n') == 1 && r.out.endsWith(u"identical\0"_s)
                                                : r.out.endsWith(u"\nidentical\n"_s));
        } else {
            QCOMPARE(r.out.toUtf8(), out);
        }
    }

    // The show commands over libraries made here: a.pslib (CRUNCH, LEAD 1, CLEAN with descriptions),
    // b.pch (a.pslib's CRUNCH, then ECHO) and "c:1.pslib" (the sample; a colon in its name). <s> is
    // the show <d>/s.psshow. `before` runs first: commands that succeed, or "swap a" (entries 1 and 2
    // of a.pslib change places), "rename a 3" (CLEAN becomes DIRTY), "delete b", "plant o.pch".
    // A command that fails changes no file. `kept`: earlier versions of <d>/o.pch afterwards.
    void show_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // <tab>, <nl>, <nul>: those characters
        QTest::addColumn<QString>("err"); // a part of the errors; empty: none
        QTest::addColumn<int>("kept");
        const auto row = [](const char* tag, const QByteArray& before, const char* command, int code,
                            const char* out, const char* err = "", int kept = 0) {
            QTest::newRow(tag) << QString::fromUtf8(before).split(u';', Qt::SkipEmptyParts)
                               << QString::fromUtf8(command) << code << QString::fromUtf8(out)
                               << QString::fromUtf8(err) << kept;
        };
        const char* const two =
            "show new <s>;show add <s> Intro <d>/a.pslib:1;show add <s> Intro <d>/a.pslib:3";
        const QByteArray three = two + QByteArray(";show add <s> Outro <d>/b.pch:1");
        row("new", "", "show new <s> --title Gig", 0, "<s>: wrote an empty show\n");
        row("new over a show", "show new <s>", "show new <s>", 2, "", "<s> already exists; use --force");
        row("new --force", two, "show new --force <s>;show list <s>", 0, "");
        row("new, not a show's name", "", "show new <d>/x.pch", 2, "", "SHOW must be a show");
        row("add", "show new <s>", "show add <s> Intro <d>/a.pslib:2 --label Solo", 0,
            "<s>: cue 1 of song 1 (Intro): LEAD 1\n");
        row("add to a song", two, "show add <s> Intro <d>/b.pch:2", 0,
            "<s>: cue 3 of song 1 (Intro): ECHO\n");
        row("add, POS 0", two, "show add <s> Intro <d>/a.pslib:0", 2, "",
            "<d>/a.pslib: there is no position 0; positions run from 1 to 3");
        row("add, POS beyond the end", two, "show add <s> Outro <d>/a.pslib:4", 2, "", "no position 4");
        row("add, POS not a number", two, "show add <s> Intro <d>/a.pslib:x", 2, "", "no position x");
        row("add, a colon in the path", "show new <s>", "show add <s> Intro <d>/c:1.pslib:3", 0,
            "<s>: cue 1 of song 1 (Intro): CLEAN\n");
        row("add to a library", "", "show add <d>/a.pslib Intro <d>/a.pslib:1", 2, "",
            "Not a Quillbox show (");
        row("add, a label beyond 255 characters", two,
            QByteArray("show add <s> Intro <d>/a.pslib:2 --label " + QByteArray(256, 'x')).constData(), 2, "",
            "the show would not read back: Not a Quillbox show (song 1, cue 3: label is longer than 255 "
            "characters)");
        row("list",
            "show new <s>;show add <s> Intro <d>/a.pslib:1 --label Verse;show add <s> Bridge <d>/a.pslib:2;"
            "show add <s> Bridge <d>/a.pslib:1;show add <s> Outro <d>/b.pch:1",
            "show list <s>", 0,
            "Intro<tab>1<tab>Verse<tab>CRUNCH<tab>1<nl>Bridge<tab>1<tab><tab>LEAD 1<tab>2<nl>"
            "Bridge<tab>2<tab><tab>CRUNCH<tab>1<nl>Outro<tab>1<tab><tab>CRUNCH<tab>1<nl>");
        const char* const tabbed = "show new <s>;show add <s> A<tab>B <d>/a.pslib:1 --label x<nl>y";
        row("list, a tab and a line break", tabbed, "show list <s>", 0,
            "\"A\\tB\"<tab>1<tab>\"x\\ny\"<tab>CRUNCH<tab>1<nl>");
        row("list -z", tabbed, "show list -z <s>", 0, "A\\tB<tab>1<tab>x\\ny<tab>CRUNCH<tab>1<nul>");
        row("check, all ok", two, "show check <s>", 0,
            "ok<tab>Intro<tab>1<tab>CRUNCH<tab><d>/a.pslib:1<nl>ok<tab>Intro<tab>2<tab>CLEAN<tab><d>/"
            "a.pslib:3<nl>");
        row("check after changes", three + ";swap a;rename a 3;delete b", "show check <s>", 1,
            "moved<tab>Intro<tab>1<tab>CRUNCH<tab><d>/a.pslib:2<nl>changed<tab>Intro<tab>2<tab>CLEAN<tab>"
            "<d>/a.pslib:3<nl>missing<tab>Outro<tab>1<tab>CRUNCH<tab><d>/b.pch:1<nl>");
        const char* const build = "show build <s> --out <d>/o.pch";
        const char* const wrote = "<d>/o.pch: wrote patch file with 2 patches for 3 cues<nl>"
                                  "<d>/o.pch.txt: wrote the descriptions<nl>";
        row("build", three, build, 0, wrote);
        row("what build wrote", three + ";show build <s> --out <d>/o.pch", "list --details <d>/o.pch", 0,
            "01:  CRUNCH<tab>UK-Crunch<tab>Stack<tab>Stack 4*10\"<tab>on<tab>on<tab>Crunch for the verse<nl>"
            "02:  CLEAN <tab>US-Clean<tab>Combo<tab>Combo 1*12\"<tab>off<tab>on<tab><nl>");
        row("build onto a file", three + ";plant o.pch", build, 2, "",
            "<d>/o.pch already exists; use --force");
        row("build --force", three + ";plant o.pch", "show build --force <s> --out <d>/o.pch", 0, wrote, "",
            1);
        row("build an empty show", "show new <s>", build, 2, "", "<s>: the show holds no cues");
        row("show, no sub-command", "", "show <s>", 2, "", "usage: quillbox-tool show new SHOW");
    }
    void show() {
        QFETCH(QStringList, before);
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, kept);
        QByteArray b = store_.left(18) + store_.mid(18, 18);
        QByteArray echo = b.mid(18);
        WritePatchName(echo, EncodePatchName(u"ECHO"_s).codes);
        QVERIFY(!Write(u"a.pslib"_s, sample_).isEmpty() && !Write(u"a.pslib.txt"_s, sampleSide_).isEmpty() &&
                !Write(u"b.pch"_s, b.replace(18, 18, echo)).isEmpty() &&
                !Write(u"c:1.pslib"_s, sample_).isEmpty());
        const QDir d(dir_->path());
        const auto filled = [&d](QString text) {
            return text.replace(u"<s>"_s, d.filePath(u"s.psshow"_s))
                .replace(u"<d>"_s, d.path())
                .replace(u"<tab>"_s, u"\t"_s)
                .replace(u"<nl>"_s, u"\n"_s)
                .replace(u"<nul>"_s, QString(QChar(u'\0')));
        };
        const auto run = [&](const QString& line) {
            QStringList arguments;
            for (const QString& argument : line.split(u' '))
                arguments.append(filled(argument));
            return Run(arguments);
        };
        QByteArray store = store_;
        for (const QString& step : before) {
            if (step == u"swap a"_s || step == u"rename a 3"_s) {
                QByteArray dirty = store.mid(36, 18);
                WritePatchName(dirty, EncodePatchName(u"DIRTY"_s).codes);
                store = step == u"swap a"_s ? QByteArray(store.mid(18, 18) + store.left(18) + store.mid(36))
                                            : QByteArray(store.left(36) + dirty);
                QVERIFY(!Write(u"a.pslib"_s, EncodeLibrary(store)).isEmpty());
            } else if (step == u"delete b"_s)
                QVERIFY(QFile::remove(d.filePath(u"b.pch"_s)));
            else if (step == u"plant o.pch"_s)
                QVERIFY(!Write(u"o.pch"_s, "planted").isEmpty());
            else {
                const Result r = run(step);
                QVERIFY2(r.code == 0, qPrintable(step + u": "_s + r.err));
            }
        }
        const auto files = [&d] {
            QHash<QString, QByteArray> contents;
            for (const QString& name : d.entryList(QDir::Files))
                contents.insert(name, ReadBytes(d.filePath(name)));
            return contents;
        };
        const QHash<QString, QByteArray> unchanged = files();
        Result result;
        for (const QString& part : command.split(u';'))
            result = run(part);
        QCOMPARE(result.code, code);
        QCOMPARE(result.out, filled(out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(filled(err)),
                 qPrintable(result.err));
        QCOMPARE(EarlierVersions().List(d.filePath(u"o.pch"_s)).size(), kept);
        if (code != 0)
            QCOMPARE(files(), unchanged); // nothing written, byte for byte
    }

    // Another user who can read the folder holds a lock on it and drops a file of any content
    // where the library's commit record goes: `list` works at once and names that file.
    void otherUserCannotBlockList() {
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user (uid 65534)");
        QVERIFY(::chmod(QFile::encodeName(dir_->path()).constData(), 01777) == 0);
        const QString library = Write(QStringLiteral("g.pslib"), sample_);
        const QByteArray folder = QFile::encodeName(dir_->path());
        const QByteArray record = QFile::encodeName(dir_->filePath(QStringLiteral(".g.pslib.commit")));
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t other = ::fork();
        QVERIFY(other >= 0);
        if (other == 0) {
            const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
            const bool ok =
                ::setgid(65534) == 0 && ::setuid(65534) == 0 && fd >= 0 && ::flock(fd, LOCK_EX) == 0;
            const int file = ok ? ::open(record.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644) : -1;
            if (file < 0 || ::write(file, "x", 1) != 1)
                ::_exit(3);
            (void)!::write(ready[1], "x", 1);
            ::pause();
            ::_exit(0);
        }
        auto end = qScopeGuard([other] {
            ::kill(other, SIGKILL);
            ::waitpid(other, nullptr, 0);
        });
        char byte = 0;
        QCOMPARE(::read(ready[0], &byte, 1), 1);
        QElapsedTimer clock;
        clock.start();
        const Result r = Run({QStringLiteral("list"), library});
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("01:  CRUNCH\n02:  LEAD 1\n03:  CLEAN \n"));
        QVERIFY2(r.err.contains(QFile::decodeName(record)), qPrintable(r.err));
    }

    // The collection's cache place holding a dangling link: the scan leaves it (and what it names)
    // alone, says so, and counts from memory.
    void collectionCacheIsALink() {
        const QString cache = CollectionIndex::DefaultCachePath();
        QVERIFY(cache.startsWith(cacheHome_.path()));
        QVERIFY(QDir().mkpath(QFileInfo(cache).absolutePath()));
        QFile::remove(cache);
        const QString target = dir_->filePath(QStringLiteral("planted.sqlite"));
        QVERIFY(QFile::link(target, cache));
        auto restore = qScopeGuard([cache] { QFile::remove(cache); });
        QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("in")));
        Write(QStringLiteral("in/a.pslib"), sample_);
        const Result r = Run({QStringLiteral("collection"), QStringLiteral("scan"), QStringLiteral("--in"),
                              dir_->filePath(QStringLiteral("in"))});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("files: 1 (0 earlier versions)\npatches: 3\n")),
                 qPrintable(r.out));
        QVERIFY2(r.err.contains(cache) && r.err.contains(QStringLiteral("works from memory")),
                 qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(QFileInfo(cache).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestTool)
#include "TestTool.moc"
