#include "CollectionIndex.h"
#include "CollectionScan.h"
#include "DescriptionFile.h"
#include "EarlierVersions.h"
#include "FileAccess.h"
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
