#include "CollectionIndex.h"
#include "CollectionMemory.h"
#include "CollectionScan.h"
#include "DescriptionFile.h"
#include "EarlierVersions.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "PatchName.h"
#include "TestFiles.h"
#include "TwinIndex.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;
using namespace Qt::StringLiterals;

namespace {

// An image named `name` whose sound is set by `sound` (its first byte).
QByteArray Patch(const char* name, char sound) {
    QByteArray image(18, '\0');
    image[0] = sound;
    WritePatchName(image, EncodePatchName(QString::fromUtf8(name)).codes);
    return image;
}

QByteArray SideFile(const QStringList& descriptions) {
    QByteArray text = "[Description]\r\n";
    for (qsizetype i = 0; i < descriptions.size(); ++i)
        text += QByteArray::number(i + 1) + '=' + EncodeLineBreaks(descriptions[i]).toUtf8() + "\r\n";
    return text;
}

// "PATH:POS" (from 1) of each place, the folder's path left out.
QStringList Texts(const std::vector<Place>& places, const QString& root) {
    QStringList texts;
    for (const Place& place : places)
        texts.append(QString(place.path).remove(root + u'/') + u':' + QString::number(place.position + 1));
    return texts;
}

QStringList Split(const char* text) {
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

} // namespace

class TestCollection : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;
    QString root_, cache_, versions_;

    QString In(const char* name) const { return root_ + u'/' + QString::fromUtf8(name); }

    // The collection every test starts from: a library, a patch file beside it in a subfolder, and
    // one earlier version of the library holding a patch since deleted.
    void MakeFolders() {
        QDir(root_).mkpath(QStringLiteral("sub"));
        WriteBytes(In("gig.pslib"),
                   LibraryFileBytes(Patch("ALPHA", 1) + Patch("BETA", 2) + Patch("GAMMA", 3)));
        WriteBytes(In("gig.pslib.txt"),
                   SideFile({QStringLiteral("warm crunch #gig"), QStringLiteral("bright\r\nsecond line"),
                             QStringLiteral("#Fav #gig-2")}));
        WriteBytes(In("sub/read.pch"), Patch("ALPHA", 1) + Patch("ALPHA", 9) + Patch("OTHER", 2));
        EarlierVersions(versions_).Keep(In("gig.pslib"),
                                        {LibraryFileBytes(Patch("ALPHA", 1) + Patch("OLDONE", 4)),
                                         SideFile({QString(), QStringLiteral("gone #gig")})});
    }

    ScanResult Scan(CollectionIndex& index) {
        QString status, error;
        [&] {
            QVERIFY2(index.Open(&status, &error), qPrintable(error));
        }();
        return index.Scan({root_});
    }

private Q_SLOTS:
    void init() {
        dir_.emplace();
        QDir(dir_->path()).mkpath(QStringLiteral("folder"));
        root_ = dir_->filePath(QStringLiteral("folder"));
        cache_ = dir_->filePath(QStringLiteral("cache/collection.sqlite"));
        versions_ = dir_->filePath(QStringLiteral("versions"));
        CollectionIndex::SetFullTextForbiddenForTest(false);
        MakeFolders();
    }
    void cleanup() {
        SetMaxFileSizeForTest(0);
        CollectionIndex::SetFullTextForbiddenForTest(false);
    }

    // Which files a walk of the folders takes: device patch files by their ending in any case,
    // libraries by exactly ".pslib", and earlier versions only of libraries inside the folders.
    void walk_data() {
        QTest::addColumn<QString>("path");  // beside the chosen folder "folder"
        QTest::addColumn<bool>("version");  // an earlier version of that library, not the file
        QTest::addColumn<QString>("taken"); // how the walk lists it; empty: not taken
        QTest::newRow("patch file in capitals")
            << u"folder/LIVE.PCH"_s << false << u"folder/LIVE.PCH patch file"_s;
        QTest::newRow("patch file in mixed case")
            << u"folder/sub/Gig.Pch"_s << false << u"folder/sub/Gig.Pch patch file"_s;
        QTest::newRow("library in capitals") << u"folder/OLD.PSLIB"_s << false << QString();
        QTest::newRow("library name with more after it") << u"folder/gig.pslib.bak"_s << false << QString();
        QTest::newRow("version of a library in a subfolder")
            << u"folder/sub/deep.pslib"_s << true << u"version of folder/sub/deep.pslib"_s;
        QTest::newRow("version of a library elsewhere") << u"elsewhere/lib.pslib"_s << true << QString();
        QTest::newRow("version of a library in a folder named alike")
            << u"folder-old/lib.pslib"_s << true << QString();
    }
    void walk() {
        QFETCH(QString, path);
        QFETCH(bool, version);
        QFETCH(QString, taken);
        const QString file = dir_->filePath(path);
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        const QByteArray bytes = LibraryFileBytes(Patch("WALK", 6));
        if (version)
            QVERIFY(EarlierVersions(versions_).Keep(file, {bytes, std::nullopt}));
        else
            WriteBytes(file, bytes);
        QStringList expected{u"folder/gig.pslib library"_s, u"folder/sub/read.pch patch file"_s,
                             u"version of folder/gig.pslib"_s};
        if (!taken.isEmpty())
            expected.append(taken);
        QStringList listed;
        const QString top = dir_->path() + u'/', canonicalTop = QDir(dir_->path()).canonicalPath() + u'/';
        for (const FoundFile& found : WalkFolders({root_}, versions_).files)
            listed.append(
                found.kind == PlaceKind::EarlierVersion
                    ? QString(u"version of "_s + QString(found.origin).remove(canonicalTop).remove(top))
                    : QString(QString(found.path).remove(top) + u' ' + PlaceKindText(found.kind)));
        expected.sort();
        listed.sort();
        QCOMPARE(listed, expected);
    }

    // A find's places, by path and position, with and without full-text search alike.
    void find_data() {
        QTest::addColumn<bool>("fullText");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("versions");
        QTest::addColumn<QStringList>("places");
        for (const bool fullText : {true, false}) {
            const auto row = [fullText](const char* tag, const char* query, bool versions,
                                        const char* places) {
                QTest::addRow("%s, %s", fullText ? "fts" : "scan", tag)
                    << fullText << QString::fromUtf8(query) << versions << Split(places);
            };
            row("name", "alpha", false, "gig.pslib:1 sub/read.pch:1 sub/read.pch:2");
            row("name, versions", "alpha", true, "gig.pslib:1 sub/read.pch:1 sub/read.pch:2 versions:1");
            row("all words", "ALPHA warm", false, "gig.pslib:1");
            row("second line", "second", false, "gig.pslib:2");
            row("short word", "ha", false, "gig.pslib:1 sub/read.pch:1 sub/read.pch:2");
            row("tag", "#gig", false, "gig.pslib:1");
            row("tag, versions", "#gig", true, "gig.pslib:1 versions:2");
            row("tag case-folded", "#fav", false, "gig.pslib:3");
            row("tag with dash", "#gig-2", false, "gig.pslib:3");
            row("word and tag", "crunch #gig", false, "gig.pslib:1");
            row("two tags", "#fav #gig-2", false, "gig.pslib:3");
            row("word not with tag", "bright #gig", false, "");
            row("part of a tag is no tag", "#gi", false, "");
            row("deleted patch", "oldone", true, "versions:2");
            row("deleted, without versions", "oldone", false, "");
            row("parameter text", "drive off", false,
                "gig.pslib:1 gig.pslib:2 gig.pslib:3 sub/read.pch:1 sub/read.pch:2 sub/read.pch:3");
            // Words only the decoded parameters hold: the full-text index holds no parameter text.
            row("drive type", "us-drive", false, "gig.pslib:1 sub/read.pch:1");
            row("another drive type", "tweet", false, "gig.pslib:2 sub/read.pch:3");
            row("part of a drive type", "ass", false, "gig.pslib:3");
            row("speaker and name", "1*12 alpha", false, "gig.pslib:1 sub/read.pch:1 sub/read.pch:2");
            row("nothing", "zebra", false, "");
        }
    }
    void find() {
        QFETCH(bool, fullText);
        QFETCH(QString, query);
        QFETCH(bool, versions);
        QFETCH(QStringList, places);
        CollectionIndex::SetFullTextForbiddenForTest(!fullText);
        CollectionIndex index(cache_, versions_);
        Scan(index);
        if (fullText && !index.HasFullText())
            QSKIP("this SQLite lacks full-text search (FTS5)");
        QCOMPARE(index.HasFullText(), fullText);
        QStringList found = Texts(index.Find(query, versions), root_);
        const QString version = EarlierVersions(versions_).FolderFor(In("gig.pslib"));
        for (QString& text : found)
            if (text.startsWith(version))
                text = QStringLiteral("versions") + text.mid(text.lastIndexOf(u':'));
        QCOMPARE(found, places);
    }

    // Every other place of the same patch, of each kind, also in an earlier version; the twin marks
    // of its line in the collection say the same.
    void whereUsed_data() {
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<QStringList>("related");
        QTest::addColumn<unsigned>("marks");
        QTest::newRow("identical in all kinds")
            << Patch("ALPHA", 1)
            << Split("identical:gig.pslib:1:library identical:sub/read.pch:1:patch-file "
                     "identical:versions:1:earlier-version same-name:sub/read.pch:2:patch-file")
            << unsigned(TwinIdentical | TwinSameName);
        QTest::newRow("same sound other name")
            << Patch("BETA", 2) << Split("identical:gig.pslib:2:library same-sound:sub/read.pch:3:patch-file")
            << unsigned(TwinSameSound);
        QTest::newRow("held nowhere") << Patch("NEW", 7) << QStringList() << unsigned(TwinNone);
    }
    void whereUsed() {
        QFETCH(QByteArray, patch);
        QFETCH(QStringList, related);
        QFETCH(unsigned, marks);
        CollectionIndex index(cache_, versions_);
        Scan(index);
        const QString version = EarlierVersions(versions_).FolderFor(In("gig.pslib"));
        QStringList found;
        for (const RelatedPlace& place : index.WhereUsed(patch)) {
            QString path = Texts({place.place}, root_).front();
            if (path.startsWith(version))
                path = QStringLiteral("versions") + path.mid(path.lastIndexOf(u':'));
            found.append(RelationText(place.relation) + u':' + path + u':' +
                         PlaceKindText(place.place.kind).replace(u' ', u'-'));
        }
        QCOMPARE(found, related);
        const qsizetype places = std::count_if(found.begin(), found.end(), [](const QString& f) {
            return f.startsWith(QStringLiteral("identical:"));
        });
        QCOMPARE(index.TwinKindsOf({patch, {}, {}, places, false}), marks);
        // A show asks only for the files holding the very bytes now: earlier versions left out.
        QStringList identical;
        for (const QString& f : std::as_const(found))
            if (f.startsWith(QStringLiteral("identical:")) && !f.endsWith(QStringLiteral(":earlier-version")))
                identical.append(QDir(root_).filePath(f.section(u':', 1, 1)) + u':' + f.section(u':', 2, 2));
        QCOMPARE(index.IdenticalPlaces(patch), identical);
        // The same from the cache alone, read by a window without the collection open.
        QCOMPARE(CachedPlaces(cache_).Of(patch), identical);
        QCOMPARE(CachedPlaces(cache_ + QStringLiteral(".none")).Of(patch), QStringList());
    }

    // A change of the files is picked up by the next scan, which reads only the files that changed.
    void changes_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<int>("read");
        QTest::addColumn<QStringList>("alpha"); // where "alpha" is found after the change
        QTest::newRow("nothing") << 0 << 0 << Split("gig.pslib:1 sub/read.pch:1 sub/read.pch:2");
        QTest::newRow("changed") << 1 << 1 << Split("gig.pslib:1 sub/read.pch:3");
        QTest::newRow("added") << 2 << 1 << Split("gig.pslib:1 new.pch:1 sub/read.pch:1 sub/read.pch:2");
        QTest::newRow("removed") << 3 << 0 << Split("gig.pslib:1");
        QTest::newRow("renamed") << 4 << 1 << Split("gig.pslib:1 sub/renamed.pch:1 sub/renamed.pch:2");
        QTest::newRow("side file") << 5 << 1
                                   << Split("gig.pslib:1 gig.pslib:2 sub/read.pch:1 sub/read.pch:2");
        QTest::newRow("rewritten in place, time set back") << 6 << 1 << Split("gig.pslib:1 sub/read.pch:3");
    }
    void changes() {
        QFETCH(int, change);
        QFETCH(int, read);
        QFETCH(QStringList, alpha);
        CollectionIndex index(cache_, versions_);
        QCOMPARE(Scan(index).read, 3);
        switch (change) {
        case 1: // same size, so that only the time tells
            QTest::qSleep(10);
            WriteBytes(In("sub/read.pch"), Patch("X", 1) + Patch("Y", 9) + Patch("ALPHA", 2));
            break;
        case 2:
            WriteBytes(In("new.pch"), Patch("ALPHA", 5));
            break;
        case 3:
            QVERIFY(QFile::remove(In("sub/read.pch")));
            break;
        case 4:
            QVERIFY(QFile::rename(In("sub/read.pch"), In("sub/renamed.pch")));
            break;
        case 5:
            WriteBytes(In("gig.pslib.txt"), SideFile({QString(), QStringLiteral("now alpha too")}));
            break;
        case 6: { // only the change time tells
            struct stat before {};
            QCOMPARE(::stat(QFile::encodeName(In("sub/read.pch")).constData(), &before), 0);
            QTest::qSleep(20);
            WriteBytes(In("sub/read.pch"), Patch("X", 1) + Patch("Y", 9) + Patch("ALPHA", 2));
            const struct timespec times[2] = {before.st_atim, before.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(In("sub/read.pch")).constData(), times, 0), 0);
            break;
        }
        }
        const ScanResult again = index.Scan({root_});
        QCOMPARE(again.read, read);
        QCOMPARE(Texts(index.Find(QStringLiteral("alpha"), false), root_), alpha);
    }

    // A cache that is gone, damaged or of another version is built anew, with a status line and
    // the same answers.
    void rebuilt_data() {
        QTest::addColumn<int>("damage");
        QTest::newRow("deleted") << 0;
        QTest::newRow("garbage") << 1;
        QTest::newRow("other version") << 2;
        QTest::newRow("cut short") << 3;
    }
    void rebuilt() {
        QFETCH(int, damage);
        std::vector<Place> before;
        std::vector<TagCount> tagsBefore;
        {
            CollectionIndex index(cache_, versions_);
            Scan(index);
            before = index.Find(QStringLiteral("a"), true);
            tagsBefore = index.Tags();
        }
        QVERIFY(before.size() >= 6);
        if (damage == 0) {
            QVERIFY(QFile::remove(cache_));
        } else if (damage == 1) {
            WriteBytes(cache_, QByteArray(4096, 'x'));
        } else if (damage == 2) {
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"))
                .setDatabaseName(cache_);
            {
                QSqlDatabase raw = QSqlDatabase::database(QStringLiteral("raw"));
                QVERIFY(
                    QSqlQuery(raw).exec(QStringLiteral("UPDATE meta SET value = '99' WHERE key = 'schema'")));
                raw.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("raw"));
        } else {
            QVERIFY(::truncate(QFile::encodeName(cache_).constData(), 100) == 0);
        }
        CollectionIndex index(cache_, versions_);
        QString status, error;
        QVERIFY2(index.Open(&status, &error), qPrintable(error));
        QVERIFY2(status.contains(QStringLiteral("built")), qPrintable(status));
        ScanResult result = index.Scan({root_});
        index.CountPatches(result);
        QCOMPARE(result.read, 3);
        QCOMPARE(result.files, 3);
        QCOMPARE(result.patches, 8);
        QCOMPARE(result.distinct, 6);
        const std::vector<Place> after = index.Find(QStringLiteral("a"), true);
        QCOMPARE(Texts(after, root_), Texts(before, root_));
        const std::vector<TagCount> tags = index.Tags();
        QCOMPARE(tags.size(), tagsBefore.size());
        QCOMPARE(tags.size(), size_t(3));
        QCOMPARE(tags[0].tag, QStringLiteral("#fav"));
        QCOMPARE(tags[1].tag, QStringLiteral("#gig"));
        QCOMPARE(tags[1].places, 1);
    }

    // Whatever the umask, the cache is the user's alone.
    void cacheIsPrivate() {
        const mode_t umask = ::umask(0);
        CollectionIndex index(cache_, versions_);
        QString error;
        const bool opened = index.Open(nullptr, &error);
        ::umask(umask);
        QVERIFY2(opened, qPrintable(error));
        index.Scan({root_});
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(cache_).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
        QCOMPARE(::stat(QFile::encodeName(QFileInfo(cache_).absolutePath()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0700);
    }

    // Something that is not our cache in its place (a link, even a dangling one, a FIFO, another
    // user's file) is left alone and named; the collection works from memory, shared by the window's
    // index and its scans' over the same path.
    void cacheNotOurs_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"dangling link", "link to a file", "fifo", "other user", "folder is a link"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void cacheNotOurs() {
        QFETCH(QString, kind);
        const QString target = dir_->filePath(QStringLiteral("elsewhere.sqlite"));
        const QString place = kind == u"folder is a link" ? QFileInfo(cache_).absolutePath() : cache_;
        if (kind != u"folder is a link")
            QVERIFY(QDir().mkpath(QFileInfo(cache_).absolutePath()));
        if (kind == u"dangling link") {
            QVERIFY(QFile::link(target, cache_));
        } else if (kind == u"link to a file") {
            WriteBytes(target, "not a cache");
            QVERIFY(QFile::link(target, cache_));
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(cache_).constData(), 0600), 0);
        } else if (kind == u"other user") {
            if (::geteuid() != 0)
                QSKIP("needs root to give a file to another user");
            WriteBytes(cache_, "theirs");
            QCOMPARE(::chown(QFile::encodeName(cache_).constData(), 65534, 65534), 0);
        } else {
            QVERIFY(QDir().mkpath(dir_->filePath(QStringLiteral("elsewhere"))));
            QVERIFY(QFile::link(dir_->filePath(QStringLiteral("elsewhere")), place));
        }
        const QByteArray before = QFileInfo(target).isFile() ? ReadBytes(target) : QByteArray();
        CollectionIndex window(cache_, versions_);
        QString status, error;
        QVERIFY2(window.Open(&status, &error), qPrintable(error));
        QVERIFY2(status.contains(place) && status.contains(QStringLiteral("works from memory")),
                 qPrintable(status));
        {
            CollectionIndex scan(cache_, versions_);
            QVERIFY(scan.Open());
            ScanResult result = scan.Scan({root_});
            scan.CountPatches(result);
            QCOMPARE(result.files, 3);
            QCOMPARE(result.patches, 8);
        }
        QCOMPARE(Texts(window.Find(QStringLiteral("alpha"), false), root_).size(), 3);
        // Left as it was: nothing made through the link, the FIFO still one.
        QCOMPARE(QFileInfo(target).isFile() ? ReadBytes(target) : QByteArray(), before);
        QVERIFY(QFileInfo(place).isSymLink() || QFileInfo(place).exists() || kind == u"fifo");
        QVERIFY(QDir(dir_->filePath(QStringLiteral("elsewhere"))).isEmpty() || kind != u"folder is a link");
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(place).constData(), &st), 0);
        if (kind == u"fifo")
            QVERIFY(S_ISFIFO(st.st_mode));
    }

    // What cannot be read is passed over, named and counted, and blocks nothing.
    void skipped_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("fifo") << "f.pch" << 0 << "it is not a regular file";
        QTest::newRow("no marker") << "bad.pslib" << 1 << "it is not a valid library";
        QTest::newRow("empty patch file") << "empty.pch" << 2 << "it holds no patch";
        QTest::newRow("broken link") << "gone.pslib" << 3 << "it is a broken link";
        QTest::newRow("oversized") << "big.pch" << 4 << "it is larger than";
        QTest::newRow("fifo side file") << "gig.pslib.txt" << 5 << "it is not a regular file";
    }
    void skipped() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        const QString path = root_ + u'/' + name;
        const QByteArray encoded = QFile::encodeName(path);
        if (kind == 0 || kind == 5) {
            QFile::remove(path);
            QVERIFY(::mkfifo(encoded.constData(), 0600) == 0);
        } else if (kind == 1) {
            WriteBytes(path, "\x02junk");
        } else if (kind == 2) {
            WriteBytes(path, {});
        } else if (kind == 3) {
            QVERIFY(QFile::link(root_ + QStringLiteral("/nowhere"), path));
        } else {
            WriteBytes(path, QByteArray(5000, '\0'));
            SetMaxFileSizeForTest(4096);
        }
        CollectionIndex index(cache_, versions_);
        const ScanResult result = Scan(index);
        QCOMPARE(result.skipped.size(), size_t(1));
        QCOMPARE(result.skipped.front().path, path);
        QVERIFY2(result.skipped.front().reason.startsWith(reason), qPrintable(result.skipped.front().reason));
        QCOMPARE(result.files, 3); // the others are all there
        QCOMPARE(Texts(index.Find(QStringLiteral("alpha"), false), root_).size(), 3);
    }

    // A file that takes no room on disk is judged by what it could hold, not by its size: a side file
    // larger than the descriptions of its patches can take is not read (the patches are kept, the
    // side file counted as skipped); a file over the size rule is skipped before a byte is read.
    void sparseFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("skipped"); // relative to the folder
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("files");
        QTest::newRow("side file of one patch") << "one.pch.txt" << (qint64(256) << 20) << "one.pch.txt"
                                                << "it is larger than 66 KiB, the most the descriptions of "
                                                   "1 patch can take"
                                                << 4;
        QTest::newRow("side file at its most") << "one.pch.txt" << qint64(66 * 1024) << ""
                                               << "" << 4;
        QTest::newRow("side file one byte over") << "one.pch.txt" << qint64(66 * 1024 + 1) << "one.pch.txt"
                                                 << "it is larger than 66 KiB" << 4;
        QTest::newRow("patch file over the size rule") << "big.pch" << (qint64(2) << 30) << "big.pch"
                                                       << "it is larger than 1 GiB" << 4;
    }
    void sparseFiles() {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QString, skipped);
        QFETCH(QString, reason);
        QFETCH(int, files);
        WriteBytes(In("one.pch"), Patch("SOLO", 7));
        const int fd = ::open(QFile::encodeName(root_ + u'/' + name).constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        const bool sized = ::ftruncate(fd, off_t(size)) == 0;
        ::close(fd);
        QVERIFY(sized);
        CollectionIndex index(cache_, versions_);
        const ScanResult result = Scan(index);
        QCOMPARE(result.skipped.size(), size_t(skipped.isEmpty() ? 0 : 1));
        if (!skipped.isEmpty()) {
            QCOMPARE(result.skipped.front().path, root_ + u'/' + skipped);
            QVERIFY2(result.skipped.front().reason.startsWith(reason),
                     qPrintable(result.skipped.front().reason));
        }
        QCOMPARE(result.files, files);
        QCOMPARE(Texts(index.Find(QStringLiteral("solo"), false), root_), QStringList{u"one.pch:1"_s});
    }

    // A file of many parts is read a part at a time: every patch at its place with its description,
    // across the parts' seams, a library back to front and a patch file front to back.
    void readInParts_data() {
        QTest::addColumn<bool>("library");
        QTest::newRow("library") << true;
        QTest::newRow("patch file") << false;
    }
    void readInParts() {
        QFETCH(bool, library);
        const qsizetype count = 2 * ScannedFile::PartSize + 5;
        QByteArray store;
        QStringList descriptions;
        for (qsizetype k = 0; k < count; ++k) {
            QByteArray image = Patch("PART", char(k % 100));
            image[1] = char(k >> 8);
            image[2] = char(k & 0xFF);
            store += image;
            descriptions.append(QStringLiteral("entry %1").arg(k + 1));
        }
        store.chop(4); // a short last entry
        const QString path = In(library ? "parts.pslib" : "parts.pch");
        WriteBytes(path, library ? LibraryFileBytes(store) : store);
        WriteBytes(path + QStringLiteral(".txt"), SideFile(descriptions));
        CollectionIndex index(cache_, versions_);
        ScanResult result = Scan(index);
        QVERIFY(result.skipped.empty());
        for (const qsizetype k : {qsizetype(0), ScannedFile::PartSize - 1, ScannedFile::PartSize,
                                  2 * ScannedFile::PartSize, count - 1}) {
            const std::optional<Place> place = index.PlaceAt(path, k);
            QVERIFY(place);
            QByteArray expected = store.mid(k * 18, 18);
            expected.append(QByteArray(18 - expected.size(), ' '));
            QCOMPARE(place->bytes, expected);
            QCOMPARE(place->description, descriptions[k]);
        }
        QVERIFY(!index.PlaceAt(path, count));
    }

    // Names are bytes: a name that is not valid UTF-8 (a folder, a file, or one that decodes to
    // another file's name) is counted as skipped with its reason, never taken for another file, and
    // a regular file is never called a broken link.
    void namesNotText() {
        const QByteArray root = QFile::encodeName(root_);
        const auto write = [](const QByteArray& path, const QByteArray& bytes) {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const bool written =
                fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
            if (fd >= 0)
                ::close(fd);
            return written;
        };
        QVERIFY(::mkdir(QByteArray(root + "/bad\xff").constData(), 0700) == 0);
        QVERIFY(write(root + "/bad\xff/in.pslib", LibraryFileBytes(Patch("INSIDE", 5))));
        QVERIFY(write(root + "/n\xff.pslib", LibraryFileBytes(Patch("BYTEFF", 6))));
        QVERIFY(write(root + "/n\xfe.pslib", LibraryFileBytes(Patch("BYTEFE", 6))));
        // The name both decode to, U+FFFD, is a valid name of its own.
        QVERIFY(write(root + "/n\xef\xbf\xbd.pslib", LibraryFileBytes(Patch("REAL", 7))));
        QVERIFY(write(root + "/r\xfe.pch", Patch("LONELY", 8)));
        CollectionIndex index(cache_, versions_);
        const ScanResult result = Scan(index);
        QStringList skipped;
        for (const SkippedFile& file : result.skipped) {
            QVERIFY2(file.reason.startsWith(u"its name is not valid UTF-8"_s), qPrintable(file.reason));
            skipped.append(QString(file.path).remove(root_ + u'/'));
        }
        const QString bad(QChar(0xFFFD));
        QCOMPARE(skipped, (QStringList{u"bad"_s + bad + u"/in.pslib"_s, u"n"_s + bad + u".pslib"_s,
                                       u"n"_s + bad + u".pslib"_s, u"r"_s + bad + u".pch"_s}));
        QCOMPARE(result.files, 4); // the folder's three and the look-alike
        QCOMPARE(Texts(index.Find(QStringLiteral("real"), false), root_),
                 QStringList{u"n"_s + bad + u".pslib:1"_s});
        for (const char* other : {"inside", "byteff", "bytefe", "lonely"})
            QVERIFY2(index.Find(QString::fromUtf8(other), false).empty(), other);
    }

    // Links are followed, each folder entered once and each file taken once, however it is reached.
    void links() {
        QVERIFY(QFile::link(root_, In("sub/up")));
        QVERIFY(QFile::link(In("sub"), In("again")));
        QVERIFY(QFile::link(In("gig.pslib"), In("sub/link.pslib")));
        CollectionIndex index(cache_, versions_);
        ScanResult result = Scan(index);
        index.CountPatches(result);
        QCOMPARE(result.files, 3);
        QCOMPARE(result.patches, 8);
        QVERIFY(result.skipped.empty());
    }

    // A cancelled scan stops between files and keeps what it read; the next one finishes the work.
    void cancel() {
        CollectionIndex index(cache_, versions_);
        QVERIFY(index.Open());
        std::atomic_bool stop{false};
        std::vector<ScanProgress> steps;
        const ScanResult first = index.Scan(
            {root_},
            [&](const ScanProgress& step) {
                steps.push_back(step);
                stop = step.done == 1;
            },
            &stop);
        QVERIFY(first.cancelled);
        QCOMPARE(first.read, 1);
        QCOMPARE(steps.back().total, 3);
        const ScanResult second = index.Scan({root_});
        QVERIFY(!second.cancelled);
        QCOMPARE(second.read, 2);
        QCOMPARE(second.files, 3);
    }

    // The scan runs on a worker thread with an index of its own; the window's index over the same
    // cache then sees what it wrote.
    void workerThread() {
        ScanResult result;
        QThread* worker = QThread::create([&] {
            CollectionIndex index(cache_, versions_);
            if (index.Open())
                result = index.Scan({root_});
        });
        worker->start();
        QVERIFY(worker->wait(60000));
        delete worker;
        QCOMPARE(result.files, 3);
        CollectionIndex window(cache_, versions_);
        QVERIFY(window.Open());
        QCOMPARE(Texts(window.Find(QStringLiteral("bright"), false), root_),
                 QStringList{QStringLiteral("gig.pslib:2")});
    }

    // The window's list, read once and searched in memory, finds what the cache's own query finds:
    // the same patches in the same order; unfiltered, with the same places, marks and descriptions
    // (the query counts only the places that match, the list every place).
    void distinctInMemory_data() {
        QTest::addColumn<QString>("query");
        for (const char* query : {"", "alpha", "#gig", "#GIG-2", "second", "drive off", "oldone", "zebra"})
            QTest::newRow(*query ? query : "everything") << QString::fromUtf8(query);
    }
    void distinctInMemory() {
        QFETCH(QString, query);
        CollectionIndex index(cache_, versions_);
        Scan(index);
        const CollectionIndex::DistinctList list = index.ReadDistinct();
        const auto text = [&query](const DistinctPatch& p) {
            const QString found = QString::fromLatin1(p.bytes.toHex()) + u' ' + p.name;
            return !query.isEmpty()
                       ? found
                       : QStringLiteral("%1 %2 %3 %4").arg(found, p.description).arg(p.places).arg(p.deleted);
        };
        QStringList inMemory, cached;
        for (const qsizetype k : list.finder.Matching(query)) {
            DistinctPatch patch = list.Patch(k);
            patch.description = index.DescriptionOf(patch.bytes);
            inMemory.append(text(patch));
        }
        for (const DistinctPatch& patch : index.Distinct(query))
            cached.append(text(patch));
        QCOMPARE(inMemory, cached);
        QVERIFY(query == u"zebra" || !cached.isEmpty());
    }

    // The collection read into memory answers as the cache does, when read whole and when it
    // follows a change of the files: counts, the list in order with places, marks and descriptions,
    // finds, where each patch is used, its twins and the tags. Followed, its list is also the one a
    // fresh read gives.
    void memory_data() {
        QTest::addColumn<int>("change");
        QTest::newRow("read whole") << 0;
        QTest::newRow("a file changed") << 1;
        QTest::newRow("a file added") << 2;
        QTest::newRow("a file removed") << 3;
        QTest::newRow("a side file changed") << 5;
        QTest::newRow("a library emptied") << 7;
        QTest::newRow("an earlier version kept") << 8;
        QTest::newRow("a library of many added") << 9;          // finds of a few among many, put in order
        QTest::newRow("names alike, bytes alike far in") << 10; // put in order by their whole images
        QTest::newRow("sound alike, names apart in the last bit") << 11; // the name's bit in byte 16
        QTest::newRow("a name's new sounds, then many added") << 12; // its entries in two runs apart
    }
    void memory() {
        QFETCH(int, change);
        CollectionIndex index(cache_, versions_);
        Scan(index);
        CollectionMemory memory;
        memory.Apply(CollectionMemory::Look({root_}, versions_, memory.KnownFiles()));
        switch (change) {
        case 1:
            QTest::qSleep(10);
            WriteBytes(In("sub/read.pch"),
                       Patch("X", 1) + Patch("BETA", 9) + Patch("ALPHA", 2) + Patch("GAMMA", 3));
            break;
        case 2:
            WriteBytes(In("new.pch"), Patch("ALPHA", 5) + Patch("BETA", 2));
            break;
        case 3:
            QVERIFY(QFile::remove(In("sub/read.pch")));
            break;
        case 5:
            WriteBytes(In("gig.pslib.txt"),
                       SideFile({QString(), QStringLiteral("now #alpha too"), u"GR\u00dcSSE #F\u00e4v"_s}));
            break;
        case 7:
            WriteBytes(In("gig.pslib"), LibraryFileBytes({}));
            break;
        case 9: {
            QByteArray many = Patch("QQZ", 1) + Patch("QQB", 2) + Patch("QQM", 3);
            for (int k = 0; k < 57; ++k)
                many += Patch(QStringLiteral("N%1").arg(56 - k).toUtf8().constData(), char(k));
            WriteBytes(In("many.pslib"), LibraryFileBytes(many));
            break;
        }
        case 10: {
            // The same name and the same first bytes, told apart only further in, written in
            // reverse order; one of them twice.
            QByteArray alike;
            for (int k = 5; k >= 0; --k) {
                QByteArray patch = Patch("ALIKE", 7);
                patch[1] = patch[2] = patch[3] = char(0xA5);
                patch[k % 2 ? 9 : 17] = char(k);
                alike += patch;
            }
            WriteBytes(In("alike.pslib"), LibraryFileBytes(alike + alike.left(18)));
            break;
        }
        case 11:
            // 'A' and 'K' differ in the sixth character's highest bit, the name's only one in byte 16.
            WriteBytes(In("sounds.pslib"), LibraryFileBytes(Patch("SOUNDA", 4) + Patch("SOUNDK", 4)));
            break;
        case 12: {
            // Two sounds more of a name held, numbered after the list, then enough patches that the
            // tables grow: the name's entries lie in two runs apart, both under its one slot.
            WriteBytes(In("new.pch"), Patch("ALPHA", 5) + Patch("ALPHA", 6));
            memory.Apply(CollectionMemory::Look({root_}, versions_, memory.KnownFiles()));
            index.Scan({root_});
            QByteArray many;
            for (int k = 0; k < 600; ++k)
                many += Patch(QStringLiteral("M%1").arg(k).toUtf8().constData(), char(100 + k % 100));
            WriteBytes(In("many.pslib"), LibraryFileBytes(many));
            break;
        }
        case 8:
            EarlierVersions(versions_).Keep(In("gig.pslib"),
                                            {LibraryFileBytes(Patch("BETA", 2) + Patch("NEWOLD", 6)),
                                             SideFile({QStringLiteral("kept #old")})});
            break;
        }
        const ScanResult cached = index.Scan({root_});
        ScanResult followed = memory.Apply(CollectionMemory::Look({root_}, versions_, memory.KnownFiles()));
        index.CountPatches(followed);
        QCOMPARE(followed.read, cached.read);
        QCOMPARE(followed.files, cached.files);
        QCOMPARE(followed.versions, cached.versions);
        ScanResult counted = cached;
        index.CountPatches(counted);
        const ScanResult counts = memory.Counts();
        QCOMPARE(counts.patches, counted.patches);
        QCOMPARE(counts.distinct, counted.distinct);

        CollectionMemory fresh;
        fresh.Apply(CollectionMemory::Look({root_}, versions_, {}));
        const auto listed = [](const CollectionMemory& from, const QString& query) {
            const std::shared_ptr<const CollectionIndex::DistinctList> list = from.List();
            QStringList lines;
            for (const qsizetype k : list->Matching(query)) {
                const DistinctPatch p = list->Patch(k);
                lines.append(QStringLiteral("%1 %2 %3 %4 %5 %6")
                                 .arg(QString::fromLatin1(p.bytes.toHex()), p.name, from.DescriptionOf(k))
                                 .arg(p.places)
                                 .arg(p.deleted)
                                 .arg(from.TwinKindsOf(k)));
            }
            return lines;
        };
        QStringList expected;
        for (const DistinctPatch& p : index.Distinct())
            expected.append(QStringLiteral("%1 %2 %3 %4 %5 %6")
                                .arg(QString::fromLatin1(p.bytes.toHex()), p.name, p.description)
                                .arg(p.places)
                                .arg(p.deleted)
                                .arg(index.TwinKindsOf(p)));
        QCOMPARE(listed(memory, {}), expected);
        QCOMPARE(listed(fresh, {}), expected);
        for (const char* query : {"alpha", "#gig", "second", "drive off", "oldone", "#old", "now", "grüsse",
                                  "#fäv", "qq", "n3", "n1 n"}) {
            QStringList found;
            for (const DistinctPatch& p : index.Distinct(QString::fromUtf8(query)))
                found.append(QString::fromLatin1(p.bytes.toHex()));
            QStringList inMemory;
            const std::shared_ptr<const CollectionIndex::DistinctList> list = memory.List();
            for (const qsizetype k : list->Matching(QString::fromUtf8(query)))
                inMemory.append(QString::fromLatin1(list->Patch(k).bytes.toHex()));
            QVERIFY2(inMemory == found, query);
        }
        const auto where = [](const std::vector<RelatedPlace>& places) {
            QStringList lines;
            for (const RelatedPlace& r : places)
                lines.append(
                    QStringLiteral("%1 %2 %3 %4 %5 %6")
                        .arg(RelationText(r.relation), r.place.path)
                        .arg(r.place.position)
                        .arg(int(r.place.kind))
                        .arg(r.place.name, r.place.description + QString::fromLatin1(r.place.bytes.toHex())));
            return lines;
        };
        for (const DistinctPatch& p : index.Distinct())
            QCOMPARE(where(memory.WhereUsed(p.bytes)), where(index.WhereUsed(p.bytes)));
        QVERIFY(memory.WhereUsed(Patch("NONE", 99)).empty());
        const auto tags = [](const std::vector<TagCount>& all) {
            QStringList lines;
            for (const TagCount& t : all)
                lines.append(t.tag + u' ' + QString::number(t.places));
            return lines;
        };
        QCOMPARE(tags(memory.Tags()), tags(index.Tags()));
    }

    // A list read afresh from enough places to be sorted and numbered by two threads is the list
    // that follows the same files added one after the other (numbered by look-ups and merged in
    // order): the same patches in the same order, with the same places, descriptions and twins.
    void freshInTwo_data() {
        QTest::addColumn<int>("names");
        QTest::addColumn<int>("kinds"); // how many different images a name has, at most
        QTest::newRow("many names, copies between the files") << 5000 << 40;
        QTest::newRow("few names, their images far apart") << 7 << 100000;
        QTest::newRow("one name, one first word") << 1 << 300; // one run of equal keys
    }
    void freshInTwo() {
        QFETCH(int, names);
        QFETCH(int, kinds);
        const int perFile = 40000; // two files: more places than one thread takes
        const auto write = [&](int file) {
            QByteArray store;
            QStringList texts;
            for (int k = 0; k < perFile; ++k) {
                // A third of the patches are the same in both files.
                quint32 seed = quint32(k) * 2654435761u + (k % 3 == 0 ? 0u : quint32(file) * 40503u);
                seed ^= seed >> 15;
                seed *= 2246822519u;
                seed ^= seed >> 13;
                const int kind = int(seed >> 8) % kinds;
                QByteArray patch =
                    Patch(QStringLiteral("N%1").arg(int(seed >> 4) % names).toUtf8().constData(),
                          char(names == 1 ? 0 : kind));
                patch[1] = patch[2] = patch[3] = char(names == 1 ? 0 : seed >> 20);
                patch[5] = char(kind);
                patch[17] = char(kind >> 8);
                store += patch;
                texts.append(k % 5 ? QStringLiteral("entry %1 #t%2").arg(kind).arg(file) : QString());
            }
            const QString path = root_ + QStringLiteral("/two%1.pslib").arg(file);
            WriteBytes(path, LibraryFileBytes(store));
            WriteBytes(SideFilePath(path), SideFile(texts));
        };
        const auto lines = [](const CollectionMemory& memory) {
            const std::shared_ptr<const CollectionIndex::DistinctList> list = memory.List();
            QStringList all;
            for (const qsizetype k : list->Matching({})) {
                const DistinctPatch p = list->Patch(k);
                all.append(QStringLiteral("%1 %2 %3 %4")
                               .arg(QString::fromLatin1(p.bytes.toHex()), memory.DescriptionOf(k))
                               .arg(p.places)
                               .arg(memory.TwinKindsOf(k)));
            }
            return all;
        };
        write(1);
        CollectionMemory followed;
        followed.Apply(CollectionMemory::Look({root_}, versions_, {}));
        write(2);
        followed.Apply(CollectionMemory::Look({root_}, versions_, followed.KnownFiles()));
        CollectionMemory fresh;
        fresh.Apply(CollectionMemory::Look({root_}, versions_, {}));
        const QStringList expected = lines(followed);
        QVERIFY(expected.size() > 100);
        QCOMPARE(lines(fresh), expected);
        // The finder answers alike; a patch held in both files with two texts has them joined.
        const auto found = [](const CollectionMemory& memory, const QString& query) {
            QStringList all;
            for (const qsizetype k : memory.List()->Matching(query))
                all.append(QString::fromLatin1(memory.List()->Patch(k).bytes.toHex()));
            return all;
        };
        for (const QString& query : {QStringLiteral("#t1"), QStringLiteral("#t2 entry"), QStringLiteral("#t1 #t2")})
            QCOMPARE(found(fresh, query), found(followed, query));
        QVERIFY(!found(fresh, QStringLiteral("#t1 #t2")).isEmpty());
        QCOMPARE(fresh.Counts().distinct, followed.Counts().distinct);
        QVERIFY(fresh.Counts().distinct < fresh.Counts().patches); // patches held in two places
        const QByteArray some = fresh.List()->Patch(fresh.List()->Count() / 2).bytes;
        QCOMPARE(fresh.WhereUsed(some).size(), followed.WhereUsed(some).size());
    }

    // Distinct patches: identical bytes grouped, with their places; a patch only kept in an
    // earlier version is marked deleted.
    void distinct() {
        CollectionIndex index(cache_, versions_);
        Scan(index);
        const std::vector<DistinctPatch> all = index.Distinct();
        QCOMPARE(all.size(), size_t(6));
        QCOMPARE(all.front().name, QStringLiteral("ALPHA "));
        const auto alpha = std::find_if(all.begin(), all.end(),
                                        [](const DistinctPatch& p) { return p.bytes == Patch("ALPHA", 1); });
        QVERIFY(alpha != all.end());
        QCOMPARE(alpha->places, 3);
        QVERIFY(!alpha->deleted);
        const std::vector<DistinctPatch> old = index.Distinct(QStringLiteral("oldone"));
        QCOMPARE(old.size(), size_t(1));
        QVERIFY(old.front().deleted);
        QCOMPARE(old.front().description, QStringLiteral("gone #gig"));
        // The tags a description box offers, read from the cache without touching it.
        QCOMPARE(CollectionIndex::CachedTags(cache_),
                 (QStringList{QStringLiteral("#fav"), QStringLiteral("#gig"), QStringLiteral("#gig-2")}));
        QVERIFY(CollectionIndex::CachedTags(In("gig.pslib")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCollection)
#include "tst_collection.moc"
