// Earlier versions: what a save keeps, what it leaves alone, and the store's order, limit and folders.
#include "EarlierVersions.h"
#include "FileAccess.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;
using namespace Qt::StringLiterals;

namespace {
using Side = std::optional<QByteArray>;
struct KeepRow {
    QByteArray library; // at the library's path now; "<folder>" a folder
    Side side;          // its side file now
    LibraryPair next;   // what the save writes
    bool kept;
};
} // namespace

class TestVersions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keep_data() {
        QTest::addColumn<KeepRow>("row");
        const QByteArray lib = "\x01old library", other = "\x01new library";
        const QByteArray side = "[Description]\r\n1=old\r\n";
        // A changed pair, a new library and a store that cannot be made go through the save command
        // (library tests, saveKeepsVersion). A save that leaves the side file out leaves it as it is.
        // clang-format off
        QTest::newRow("no side file")          << KeepRow{lib, {}, {other, "x"}, true};
        QTest::newRow("only descriptions")     << KeepRow{lib, side, {lib, "[Description]\r\n"}, true};
        QTest::newRow("side file left out")    << KeepRow{lib, side, {other, {}}, true};
        QTest::newRow("not a library")         << KeepRow{"garbage", {}, {other, {}}, true};
        QTest::newRow("the same pair")         << KeepRow{lib, side, {lib, side}, false};
        QTest::newRow("the same, no side")     << KeepRow{lib, {}, {lib, {}}, false};
        QTest::newRow("the same, side left out") << KeepRow{lib, side, {lib, {}}, false};
        QTest::newRow("a folder: no save")     << KeepRow{"<folder>", {}, {other, {}}, false};
        // clang-format on
    }
    void keep() {
        QFETCH(KeepRow, row);
        QTemporaryDir dir;
        const QString libPath = dir.filePath(u"my.pslib"_s), store = dir.filePath(u"store/versions"_s);
        if (row.library == "<folder>")
            QVERIFY(QDir().mkpath(libPath));
        else
            WriteBytes(libPath, row.library);
        if (row.side)
            WriteBytes(libPath + u".txt"_s, *row.side);
        const QDateTime when(QDate(2026, 5, 4), QTime(3, 2, 1, 500), Qt::UTC);
        EarlierVersions versions(store, [when] { return when; });
        // The version is kept by the save, once it is complete: a save that fails keeps nothing.
        try {
            QCOMPARE(LibraryPairFile(libPath, versions).Save(row.next.library, row.next.side), QString());
            QCOMPARE(ReadBytes(libPath), row.next.library);
        } catch (const FileError&) {
            QVERIFY(row.library == "<folder>");
        }
        QCOMPARE(QFileInfo(store).isDir(), row.kept); // nothing made for nothing kept
        const QList<EarlierVersion> list = versions.List(libPath);
        QCOMPARE(list.size(), row.kept ? 1 : 0);
        if (!row.kept)
            return;
        QCOMPARE(versions.Read(libPath, list[0].id), (LibraryPair{row.library, row.side}));
        QCOMPARE(list[0].time, when);
        QCOMPARE(list[0].libraryBytes, row.library.size());
        QCOMPARE(list[0].sideBytes, row.side ? row.side->size() : -1);
        QCOMPARE(list[0].patches, row.library.startsWith('\x01') ? 1 : -1);
        // The store says which library the folder belongs to.
        QCOMPARE(ReadBytes(versions.FolderFor(libPath) + u"/library-path.txt"_s),
                 QFileInfo(dir.path()).canonicalFilePath().toUtf8() + "/my.pslib\n");
    }

    // 23 saves: the newest 20 are kept, newest first, each the pair its save replaced; one folder
    // per library, the same for every way of writing its path; version names cannot reach outside.
    void history() {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(u"sub"_s)));
        const QString a = dir.filePath(u"a.pslib"_s), b = dir.filePath(u"b.pslib"_s);
        QDateTime now(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
        EarlierVersions versions(dir.filePath(u"versions"_s), [&now] { return now; });
        auto pair = [](int i) {
            return LibraryPair{"\x01" + QByteArray(18 * i, char('a' + i % 26)),
                               i % 2 ? Side() : Side("[Description]\r\n1=" + QByteArray::number(i))};
        };
        for (int i = 0; i < 23; ++i, now = now.addSecs(60)) {
            QVERIFY(versions.Keep(a, pair(i)));
            QVERIFY(!versions.Keep(a, pair(i))); // the newest version is never kept twice
        }
        const QList<EarlierVersion> list = versions.List(a);
        QCOMPARE(list.size(), EarlierVersions::Kept);
        for (int n = 0; n < list.size(); ++n) { // number n + 1 replaced pair(22 - n)
            QCOMPARE(list[n].time,
                     QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC).addSecs(60 * (22 - n)));
            QCOMPARE(list[n].patches, 22 - n);
            QCOMPARE(versions.Read(a, list[n].id), pair(22 - n));
        }
        QCOMPARE(QDir(versions.FolderFor(a)).entryList(QDir::Files).size(),
                 1 + 20 + 10); // record, libraries, sides
        QCOMPARE(versions.FolderFor(dir.filePath(u"sub/../a.pslib"_s)), versions.FolderFor(a));
        QVERIFY(versions.FolderFor(b) != versions.FolderFor(a));
        QVERIFY(versions.List(b).isEmpty());
        QVERIFY_THROWS_EXCEPTION(FileError, versions.Read(a, u"../../a.pslib"_s));
    }

    // A killed keeping leaves hidden temporaries and records in the library's versions folder: the
    // next keeping removes exactly its own (this user's regular files of that pattern).
    void leftovers() {
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"a.pslib"_s);
        EarlierVersions versions(dir.filePath(u"versions"_s));
        const QString folder = versions.FolderFor(lib);
        QVERIFY(QDir().mkpath(folder));
        const QString v = u"/.000003-20260101-120000-000.pslib"_s;
        const QStringList ours{v + u"-0123abcd.tmp"_s, v + u".txt-89abcdef.tmp"_s, v + u".commit"_s};
        const QStringList kept{v + u"-0123abc.tmp"_s, u"/notes.txt"_s, v + u".txt-89abcdeX.tmp"_s,
                               v + u"-0123abce.tmp"_s, v + u"-0123ABCD.tmp"_s};
        for (const QString& name : ours + kept)
            WriteBytes(folder + name, "x");
        QVERIFY(QFile::link(dir.filePath(u"a.pslib"_s), folder + v + u"-00000000.tmp"_s));
        QCOMPARE(::chown(QFile::encodeName(folder + kept[3]).constData(), 65534, 65534), 0); // another user's
        QVERIFY(versions.Keep(lib, {"\x01", {}}));
        for (const QString& name : ours)
            QVERIFY2(!QFileInfo::exists(folder + name), qPrintable(name));
        for (const QString& name : kept)
            QVERIFY2(QFileInfo::exists(folder + name), qPrintable(name));
        QVERIFY(QFileInfo(folder + v + u"-00000000.tmp"_s).isSymLink());
    }

    // Export records: the newest five are kept and read back as written, newest first; an earlier
    // version and a record never count as each other.
    void exportRecords_data() {
        QTest::addColumn<int>("exports");
        QTest::newRow("one") << 1;
        QTest::newRow("the limit") << EarlierVersions::KeptExports;
        QTest::newRow("two beyond the limit") << EarlierVersions::KeptExports + 2;
    }
    void exportRecords() {
        QFETCH(int, exports);
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"a.pslib"_s);
        QDateTime now(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
        EarlierVersions versions(dir.filePath(u"versions"_s), [&now] { return now; });
        const auto pair = [](int i) {
            return LibraryPair{QByteArray(18 * (i + 1), char('a' + i)),
                               i % 2 ? Side() : Side("[Description]\r\n1=line&*&" + QByteArray::number(i))};
        };
        QVERIFY(versions.Keep(lib, {"\x01", {}}));
        for (int i = 0; i < exports; ++i, now = now.addSecs(60))
            versions.KeepExport(lib, pair(i));
        const QList<EarlierVersion> list = versions.Exports(lib);
        QCOMPARE(list.size(), std::min(exports, int(EarlierVersions::KeptExports)));
        for (int n = 0; n < list.size(); ++n) {
            QCOMPARE(list[n].patches, exports - n);
            QCOMPARE(versions.ReadExport(lib, list[n].id), pair(exports - 1 - n));
        }
        QCOMPARE(versions.List(lib).size(), 1);
        QVERIFY_THROWS_EXCEPTION(FileError, versions.ReadExport(lib, versions.List(lib)[0].id));
        QVERIFY_THROWS_EXCEPTION(FileError, versions.Read(lib, list[0].id));
    }

    // A record's pruning removes only this user's regular files of the record's name: a side file
    // left without its patch file goes; a link, another user's file and other names stay, and none of
    // them is listed.
    void exportRecordLeftovers() {
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"a.pslib"_s);
        EarlierVersions versions(dir.filePath(u"versions"_s));
        const QString folder = versions.FolderFor(lib);
        QVERIFY(QDir().mkpath(folder));
        const QString orphan = u"/export-000001-20260101-120000-000.pch.txt"_s;
        const QStringList kept{u"/export-notes.pch"_s, u"/export-000002-20260101-120000-000.pch.txt.bak"_s,
                               u"/export-000003-20260101-120000-000.pch.txt"_s};
        for (const QString& name : QStringList{orphan} + kept)
            WriteBytes(folder + name, "x");
        QCOMPARE(::chown(QFile::encodeName(folder + kept[2]).constData(), 65534, 65534), 0); // another user's
        QVERIFY(QFile::link(lib, folder + u"/export-000004-20260101-120000-000.pch"_s));
        WriteBytes(lib, "\x01");
        versions.KeepExport(lib, {QByteArray(18, 'x'), {}});
        QVERIFY(!QFileInfo::exists(folder + orphan));
        for (const QString& name : kept)
            QVERIFY2(QFileInfo::exists(folder + name), qPrintable(name));
        QVERIFY(QFileInfo(folder + u"/export-000004-20260101-120000-000.pch"_s).isSymLink());
        QCOMPARE(versions.Exports(lib).size(), 1);
        QCOMPARE(versions.ReadExport(lib, versions.Exports(lib)[0].id).library, QByteArray(18, 'x'));
    }

    // A side file of a kept pair that a version among the newest three already holds byte for byte
    // is a second name of that version's side file, not another copy; anything else (another size or
    // byte, a version further back, a link or another user's file in the version's place) is written
    // anew, and a library file always is. Every version reads back the pair it was given.
    void keepSharesSameFiles_data() {
        QTest::addColumn<QList<LibraryPair>>("pairs"); // kept one after another
        QTest::addColumn<QList<int>>("sideShares");    // the versions the last one's side file shares
                                                       // its inode with (1: the one before it)
        QTest::addColumn<QString>("plant");            // what is put in the place of version 1's side file
        const QByteArray l1 = "\x01library one", l2 = "\x01library two", l3 = "\x01library 3+",
                         l4 = "\x01library 4+";
        const QByteArray s1 = "[Description]\r\n1=a\r\n", s2 = "[Description]\r\n1=b\r\n",
                         s3 = "[Description]\r\n1=c\r\n";
        const auto row = [](const char* name, const QList<LibraryPair>& pairs, const QList<int>& side,
                            const QString& plant = {}) {
            QTest::newRow(name) << pairs << side << plant;
        };
        row("only descriptions changed", {{l1, s1}, {l1, s2}}, {});
        row("only the library changed", {{l1, s1}, {l2, s1}}, {1});
        row("changed back", {{l1, s1}, {l1, s2}, {l1, s1}}, {2});
        row("three back", {{l1, s1}, {l2, s2}, {l3, s3}, {l4, s1}}, {3});
        row("four back is too far",
            {{l1, s1}, {l2, s2}, {l3, s3}, {l4, "[Description]\r\n1=d\r\n"}, {l1, s1}}, {});
        row("same size, another byte", {{l1, s1}, {l2, s2}}, {});
        row("no side file", {{l1, {}}, {l1, s1}}, {});
        row("a link in a version's place", {{l1, s1}, {l3, s1}}, {}, u"link"_s);
        row("another user's file there", {{l1, s1}, {l3, s1}}, {}, u"other"_s);
        row("a file of ours readable by others", {{l1, s1}, {l3, s1}}, {}, u"mode"_s);
    }
    void keepSharesSameFiles() {
        QFETCH(QList<LibraryPair>, pairs);
        QFETCH(QList<int>, sideShares);
        QFETCH(QString, plant);
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"my.pslib"_s);
        EarlierVersions versions(dir.filePath(u"versions"_s));
        for (qsizetype i = 0; i < pairs.size(); ++i) {
            QVERIFY(versions.Keep(lib, pairs[i]));
            if (i + 2 != pairs.size() || plant.isEmpty())
                continue;
            const QString side = SideFilePath(versions.FolderFor(lib) + u'/' + versions.List(lib).front().id);
            const QString elsewhere = dir.filePath(u"same.txt"_s);
            WriteBytes(elsewhere, ReadBytes(side));
            QVERIFY(QFile::remove(side));
            if (plant == u"link"_s)
                QVERIFY(QFile::link(elsewhere, side));
            else if (plant == u"other"_s)
                QVERIFY(QFile::copy(elsewhere, side) &&
                        ::chown(QFile::encodeName(side).constData(), 65534, 65534) == 0);
            else // ours, but opened to others: sharing it would open the new version too
                QVERIFY(QFile::copy(elsewhere, side) &&
                        ::chmod(QFile::encodeName(side).constData(), 0644) == 0);
        }
        const QList<EarlierVersion> kept = versions.List(lib);
        QCOMPARE(kept.size(), pairs.size());
        const auto inode = [&](qsizetype back, bool side) {
            const QString path = versions.FolderFor(lib) + u'/' + kept[back].id;
            return IdentityOf(side ? SideFilePath(path) : path).inode;
        };
        for (const bool side : {true, false}) {
            for (int back = 1; back < kept.size(); ++back)
                QCOMPARE(inode(0, side) == inode(back, side), side && sideShares.contains(back));
        }
        for (qsizetype i = 0; i < kept.size(); ++i) {
            if (i != 1 || plant.isEmpty()) // a version with something else in its place is not read
                QCOMPARE(versions.Read(lib, kept[i].id), pairs[pairs.size() - 1 - i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestVersions)
#include "tst_versions.moc"
