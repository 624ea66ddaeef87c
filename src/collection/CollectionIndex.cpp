#include "CollectionIndex.h"

#include "EarlierVersions.h"
#include "FieldMap.h"
#include "LibraryFile.h"
#include "PatchFinder.h"
#include "PatchImage.h"
#include "PatchName.h"
#include "PrivateFiles.h"
#include "Tags.h"
#include "ValueTables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <map>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace quillbox {

namespace {

std::atomic_bool fullTextForbidden{false};

// The text a find looks in besides the decoded parameters: name and description, case-folded,
// joined by a line break (no word holds one, so none spans the two). The parameters' texts are
// matched through their values (ParameterCondition), which keeps the full-text index to what
// differs between patches.
QByteArray WordsText(const QString& name, const QString& description) {
    QByteArray text = PatchFinder::Folded(name);
    text += '\n';
    text += PatchFinder::Folded(description);
    return text;
}

} // namespace

namespace {

// As a library stores a short last entry: padded with blanks to a whole image.
QByteArray Whole(const QByteArray& bytes) {
    return bytes.size() >= PatchImageSize ? bytes.left(PatchImageSize)
                                          : bytes + QByteArray(PatchImageSize - bytes.size(), ' ');
}

} // namespace

QByteArray SoundOf(const QByteArray& bytes) {
    QByteArray sound = Whole(bytes);
    WritePatchName(sound, {0, 0, 0, 0, 0, 0});
    return sound;
}

QString NameOf(const QByteArray& bytes) {
    const QByteArray whole = Whole(bytes);
    return StringToPatchName(QByteArrayView(whole).sliced(11, 6)).name;
}

void CollectionIndex::SetFullTextForbiddenForTest(bool forbidden) {
    fullTextForbidden = forbidden;
}

QString RelationText(Relation relation) {
    switch (relation) {
    case Relation::Identical:
        return QStringLiteral("identical");
    case Relation::SameSound:
        return QStringLiteral("same-sound");
    case Relation::SameName:
        return QStringLiteral("same-name");
    }
    return {};
}

CollectionIndex::CollectionIndex(QString cachePath, QString versionsFolder)
    : cachePath_(cachePath.isEmpty() ? DefaultCachePath() : std::move(cachePath)),
      versionsFolder_(versionsFolder.isEmpty() ? EarlierVersions::DefaultFolder()
                                               : std::move(versionsFolder)),
      connection_(QStringLiteral("collection-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

CollectionIndex::~CollectionIndex() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QString CollectionIndex::DefaultCachePath() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/collection.sqlite");
}

namespace {

bool Exec(QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    return query.exec(sql);
}

// Removes what is at `path` when it is a regular file of this user: a cache this program made. Anything
// else (a link, someone else's file) is left alone.
bool RemoveOwnFile(const QString& path) {
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return true;
    return IsOwnRegularFile(path) && QFile::remove(path);
}

} // namespace

namespace {

// The secondary indices. A scan that fills a (nearly) empty cache drops them and makes them once
// after: building an index from sorted rows costs a fraction of keeping it through every insert.
const QStringList& IndexStatements() {
    static const QStringList statements = {
        QStringLiteral("CREATE INDEX IF NOT EXISTS patches_file ON patches(file_id)"),
        // One index serves both the sound and the bytes: the bytes tell the sound, so a patch is
        // looked up by both and identical patches are next to each other (sorting random keys is
        // the dearest part of making an index).
        QStringLiteral("CREATE INDEX IF NOT EXISTS patches_sound ON patches(sound, bytes)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS patches_name ON patches(name)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS tags_tag ON tags(tag)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS tags_patch ON tags(patch_id, tag)"),
    };
    return statements;
}

const char* const IndexNames[] = {"patches_file", "patches_sound", "patches_name", "tags_tag", "tags_patch"};

} // namespace

bool CollectionIndex::Usable() const {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema'")) || !query.next())
        return false;
    if (query.value(0).toInt() != SchemaVersion)
        return false;
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'fulltext'")) || !check.next())
        return false;
    const bool fullText = check.value(0).toInt() == 1;
    return check.exec(QStringLiteral("SELECT count(*) FROM files")) &&
           check.exec(QStringLiteral("SELECT count(*) FROM patches WHERE id = 0 AND words IS NULL")) &&
           (!fullText ||
            check.exec(QStringLiteral("SELECT count(*) FROM patch_text WHERE patch_text MATCH 'zzz'")));
}

bool CollectionIndex::Create(QString* error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    // Whether this SQLite has full-text search shows in whether it makes such a table.
    fullText_ = !fullTextForbidden &&
                Exec(db, QStringLiteral("CREATE VIRTUAL TABLE temp.probe USING fts5(x, tokenize='trigram')"));
    Exec(db, QStringLiteral("DROP TABLE IF EXISTS temp.probe"));
    QStringList statements = {
        QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)"),
        QStringLiteral("CREATE TABLE files (id INTEGER PRIMARY KEY, path TEXT UNIQUE NOT NULL, kind INTEGER, "
                       "origin TEXT, identity TEXT, side_identity TEXT)"),
        QStringLiteral("CREATE TABLE patches (id INTEGER PRIMARY KEY, file_id INTEGER, position INTEGER, "
                       "bytes BLOB, sound BLOB, name TEXT, drive_type INTEGER, cab_type INTEGER, "
                       "cab_speaker INTEGER, drive_on INTEGER, cab_on INTEGER, description TEXT, "
                       "words TEXT)"),
        QStringLiteral("CREATE TABLE tags (tag TEXT, patch_id INTEGER)"),
    };
    statements += IndexStatements();
    // The full-text index holds no copy of the texts (they are the patches' words), no sizes
    // (nothing is ranked) and no positions (a find asks it for a word's runs of three characters). Its
    // segments are merged sixteen at a time instead of four: a new cache's index is built in about half the
    // time, and a find looks in a few more segments.
    if (fullText_)
        statements << QStringLiteral("CREATE VIRTUAL TABLE patch_text USING fts5(words, tokenize='trigram', "
                                     "content='patches', content_rowid='id', columnsize=0, "
                                     "detail=none)")
                   << QStringLiteral("INSERT INTO patch_text (patch_text, rank) VALUES ('automerge', 16)");
    statements += QStringLiteral("INSERT INTO meta VALUES ('schema', '%1')").arg(SchemaVersion);
    statements += QStringLiteral("INSERT INTO meta VALUES ('fulltext', '%1')").arg(fullText_ ? 1 : 0);
    db.transaction();
    for (const QString& sql : std::as_const(statements)) {
        QSqlQuery query(db);
        if (!query.exec(sql)) {
            db.rollback();
            if (error)
                *error = QStringLiteral("The collection's cache cannot be made: ") + query.lastError().text();
            return false;
        }
    }
    return db.commit();
}

bool CollectionIndex::Open(QString* status, QString* error) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        if (error)
            *error = QStringLiteral("Qt's SQLite driver is not installed");
        return false;
    }
    // The cache and its folder are the user's alone, and never reached through a link: anything else
    // in their place (a link, a FIFO, another user's file) is left alone, and the collection then
    // works from memory.
    const QString cacheFolder = QFileInfo(cachePath_).absolutePath();
    QString unusable = MakePrivateFolder(cacheFolder);
    for (const QString& suffix :
         {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        if (unusable.isEmpty())
            unusable = NotPrivateFile(cachePath_ + suffix);
    const bool existed = QFileInfo::exists(cachePath_);
    if (unusable.isEmpty()) {
        // Made here, 0600, before SQLite opens it: SQLite gives its journals the cache's own mode.
        const PrivateFd file = OpenPrivateFile(cachePath_);
        unusable = file.problem;
#ifdef Q_OS_UNIX
        if (file.fd >= 0)
            ::close(file.fd);
#endif
    }
    if (!unusable.isEmpty())
        return OpenInMemory(unusable, status, error);
    QString why;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlDatabase db = QSqlDatabase::contains(connection_)
                              ? QSqlDatabase::database(connection_, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(cachePath_);
        if (db.open()) {
            // A cache: losing the last moments to a power cut costs a rescan, never a file.
            Exec(db, QStringLiteral("PRAGMA synchronous = OFF"));
            Exec(db, QStringLiteral("PRAGMA temp_store = MEMORY"));
            Exec(db, QStringLiteral("PRAGMA cache_size = -65536"));
            if (Usable()) {
                QSqlQuery query(db);
                fullText_ = query.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'fulltext'")) &&
                            query.next() && query.value(0).toInt() == 1;
                if (status && !why.isEmpty())
                    *status = why;
                return true;
            }
            QSqlQuery empty(db);
            const bool blank = empty.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) &&
                               empty.next() && empty.value(0).toInt() == 0;
            if (blank && Create(error)) {
                if (status)
                    *status =
                        why.isEmpty() && existed
                            ? QStringLiteral("The collection's cache was empty; it is built from the files.")
                        : why.isEmpty()
                            ? QStringLiteral("The collection's cache is new; it is built from the files.")
                            : why;
                return true;
            }
        }
        if (attempt == 1)
            break;
        why =
            QStringLiteral("The collection's cache was damaged or of another version; it is built anew from "
                           "the files.");
        db.close();
        for (const QString& suffix :
             {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
            if (!RemoveOwnFile(cachePath_ + suffix)) {
                if (error)
                    *error = cachePath_ + suffix + QStringLiteral(" cannot be replaced");
                return false;
            }
    }
    if (error && error->isEmpty())
        *error = QStringLiteral("The collection's cache cannot be opened: ") +
                 QSqlDatabase::database(connection_, false).lastError().text();
    return false;
}

bool CollectionIndex::OpenInMemory(const QString& problem, QString* status, QString* error) {
    // One database per cache path in this process, shared by the window and its scans, gone with
    // the last index over it.
    const QString name =
        QStringLiteral("file:quillbox-collection-") +
        QString::fromLatin1(QCryptographicHash::hash(cachePath_.toUtf8(), QCryptographicHash::Sha1).toHex()) +
        QStringLiteral("?mode=memory&cache=shared");
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(name);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
    if (!db.open()) {
        if (error)
            *error = problem +
                     QStringLiteral("; it is left alone, and the collection cannot work without it: ") +
                     db.lastError().text();
        return false;
    }
    if (!Usable()) {
        if (!Create(error))
            return false;
    } else {
        QSqlQuery query(db);
        fullText_ = query.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'fulltext'")) &&
                    query.next() && query.value(0).toInt() == 1;
    }
    if (status)
        *status = QStringLiteral("The collection's cache is not used: ") + problem +
                  QStringLiteral(". Quillbox leaves it alone, and the collection works from memory without a "
                                 "cache (each start reads every file again).");
    return true;
}

void CollectionIndex::DropFile(qint64 fileId, bool textIndexed) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    QStringList statements;
    // The full-text index is told the texts it forgets, as they were given to it.
    if (fullText_ && textIndexed)
        statements += QStringLiteral("INSERT INTO patch_text (patch_text, rowid, words) "
                                     "SELECT 'delete', id, words FROM patches WHERE file_id = ?");
    statements +=
        {QStringLiteral("DELETE FROM tags WHERE patch_id IN (SELECT id FROM patches WHERE file_id = ?)"),
         QStringLiteral("DELETE FROM patches WHERE file_id = ?"),
         QStringLiteral("DELETE FROM files WHERE id = ?")};
    for (const QString& sql : std::as_const(statements)) {
        query.prepare(sql);
        query.addBindValue(fileId);
        query.exec();
    }
}

// Rows written many to a statement: each statement executed through Qt SQL costs about as much as
// its values, so a file's patches and tags go in a few multi-row inserts.
class PatchRows {
public:
    PatchRows(const QString& connection, qint64 nextId) : connection_(connection), nextId_(nextId) {}

    qint64 Add(QVariantList row) {
        const qint64 id = nextId_++;
        patches_.append(id);
        patches_.append(std::move(row));
        return id;
    }
    void AddTag(const QString& tag, qint64 id) { tags_ << tag << id; }

    void Flush() {
        Write(QStringLiteral("patches (id, file_id, position, bytes, sound, name, drive_type, cab_type, "
                             "cab_speaker, drive_on, cab_on, description, words)"),
              MaxColumns, patches_);
        Write(QStringLiteral("tags (tag, patch_id)"), 2, tags_);
    }

private:
    static constexpr qsizetype RowsPerStatement = 64; // 832 values: under SQLite's oldest limit of 999

    static constexpr qsizetype MaxColumns = 13;

    // Values are bound by name: Qt SQL formats a name for each value bound by position, which
    // cost more than SQLite's insert itself.
    static const std::vector<QString>& Names() {
        static const std::vector<QString> names = [] {
            std::vector<QString> all;
            for (qsizetype k = 0; k < MaxColumns * RowsPerStatement; ++k)
                all.push_back(QStringLiteral(":v") + QString::number(k));
            return all;
        }();
        return names;
    }

    void Write(const QString& table, qsizetype columns, QVariantList& values) {
        for (qsizetype at = 0; at < values.size();) {
            const qsizetype rows = std::min(RowsPerStatement, (values.size() - at) / columns);
            QSqlQuery& query = Statement(table, columns, rows);
            const std::vector<QString>& names = Names();
            for (qsizetype k = 0; k < rows * columns; ++k)
                query.bindValue(names[size_t(k)], values[at + k]);
            query.exec();
            at += rows * columns;
        }
        values.clear();
    }

    QSqlQuery& Statement(const QString& table, qsizetype columns, qsizetype rows) {
        const QString key = table + QString::number(rows);
        auto it = statements_.find(key);
        if (it != statements_.end())
            return it->second;
        QStringList values;
        for (qsizetype r = 0; r < rows; ++r) {
            QStringList row;
            for (qsizetype c = 0; c < columns; ++c)
                row.append(Names()[size_t(r * columns + c)]);
            values.append(QLatin1Char('(') + row.join(u',') + u')');
        }
        QSqlQuery query(QSqlDatabase::database(connection_, false));
        query.prepare(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" VALUES ") +
                      values.join(u','));
        return statements_.emplace(key, std::move(query)).first->second;
    }

    QString connection_;
    qint64 nextId_;
    QVariantList patches_, tags_;
    std::map<QString, QSqlQuery> statements_;
};

// Adds a file's patches a part at a time, so that neither the patches nor their rows are ever all in
// memory. False, with nothing of the file left in the cache, when it changed while it was read.
bool CollectionIndex::AddFile(const FoundFile& found, ScannedFile& scanned, PatchRows& rows, bool indexText) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery file(db);
    file.prepare(QStringLiteral(
        "INSERT INTO files (path, kind, origin, identity, side_identity) VALUES (?, ?, ?, ?, ?)"));
    file.addBindValue(found.path);
    file.addBindValue(int(found.kind));
    file.addBindValue(found.origin);
    file.addBindValue(QString::fromLatin1(scanned.identity.ToText()));
    file.addBindValue(QString::fromLatin1(scanned.sideIdentity.ToText()));
    if (!file.exec())
        return true;
    const qint64 fileId = file.lastInsertId().toLongLong();
    for (qsizetype first = 0; first < scanned.Count(); first += ScannedFile::PartSize) {
        const std::vector<QByteArray> part = scanned.Patches(first, ScannedFile::PartSize);
        if (part.empty()) {
            DropFile(fileId, false);
            return false;
        }
        for (size_t k = 0; k < part.size(); ++k) {
            const QByteArray& bytes = part[k];
            const qsizetype position = first + qsizetype(k);
            const QString name = NameOf(bytes);
            const QString description = scanned.Description(position);
            const DetailValues values = ShowPatchDetails(PatchImage::FromStore(bytes, 0));
            const qint64 id =
                rows.Add({fileId, qint64(position), bytes, SoundOf(bytes), name, values.driveType,
                          values.cabType, values.cabSpeaker, values.driveOn ? 1 : 0, values.cabOn ? 1 : 0,
                          description, QString::fromUtf8(WordsText(name, description))});
            for (const QString& t : TagsOf(description))
                rows.AddTag(t, id);
        }
        rows.Flush();
    }
    if (indexText && fullText_) {
        QSqlQuery text(db);
        text.prepare(QStringLiteral(
            "INSERT INTO patch_text (rowid, words) SELECT id, words FROM patches WHERE file_id = ?"));
        text.addBindValue(fileId);
        text.exec();
    }
    return true;
}

ScanResult CollectionIndex::Scan(const QStringList& folders, const Progress& progress,
                                 const std::atomic_bool* cancel) {
    ScanResult result;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    FolderWalk walk = WalkFolders(folders, versionsFolder_);
    result.skipped = std::move(walk.skipped);

    struct Known {
        qint64 id;
        QByteArray identity, side;
    };
    QHash<QString, Known> known;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("SELECT id, path, identity, side_identity FROM files"));
        while (query.next())
            known.insert(query.value(1).toString(),
                         {query.value(0).toLongLong(), query.value(2).toString().toLatin1(),
                          query.value(3).toString().toLatin1()});
    }
    const qsizetype cached = known.size();
    std::vector<const FoundFile*> toRead;
    for (const FoundFile& found : walk.files) {
        const auto it = known.constFind(found.path);
        if (it != known.constEnd() && found.Unchanged(it->identity, it->side)) {
            known.erase(it);
            continue;
        }
        toRead.push_back(&found);
    }
    const qsizetype unchanged = cached - known.size();

    // Files to read four times as many as those kept (a new cache above all): the indices are
    // dropped and made once after the inserts. The files that changed or are gone leave first,
    // while the indices still find their rows.
    const bool bulk = !toRead.empty() && qsizetype(toRead.size()) >= 4 * unchanged;
    // Making an index sorts every row; with temporary storage in memory SQLite's sorter never
    // spills, so a file claiming millions of patches would cost as much memory as its rows. While
    // the indices are made the sorter may use temporary files (made private and unlinked by
    // SQLite), and keeps no more than about the page cache in memory.
    QString tempStore;
    if (bulk) {
        QSqlQuery current(db);
        if (current.exec(QStringLiteral("PRAGMA temp_store")) && current.next())
            tempStore = current.value(0).toString();
        current.finish();
        Exec(db, QStringLiteral("PRAGMA temp_store = FILE"));
    }
    db.transaction();
    if (bulk) {
        for (const Known& old : std::as_const(known))
            DropFile(old.id);
        known.clear();
        for (const char* index : IndexNames)
            Exec(db, QStringLiteral("DROP INDEX IF EXISTS ") + QLatin1String(index));
    }
    qint64 nextId = 1;
    {
        QSqlQuery last(db);
        if (last.exec(QStringLiteral("SELECT coalesce(max(id), 0) + 1 FROM patches")) && last.next())
            nextId = last.value(0).toLongLong();
    }
    PatchRows rows(connection_, nextId);
    ScanProgress step{0, qsizetype(toRead.size())};
    if (progress)
        progress(step);
    for (const FoundFile* found : toRead) {
        if (cancel && cancel->load()) {
            result.cancelled = true;
            break;
        }
        if (const auto it = known.constFind(found->path); it != known.constEnd()) {
            DropFile(it->id);
            known.erase(it);
        }
        ScannedFile scanned = ScannedFile::Open(found->path, found->kind);
        if (scanned.refusal.isEmpty())
            AddFile(*found, scanned, rows, !bulk);
        if (!scanned.refusal.isEmpty())
            result.skipped.push_back({found->path, scanned.refusal, {}});
        else if (!scanned.sideRefusal.isEmpty())
            result.skipped.push_back({SideFilePath(found->path), scanned.sideRefusal, {}});
        ++result.read;
        ++step.done;
        if (progress)
            progress(step);
    }
    // Files that are gone (or no longer in the folders) leave the cache; a cancelled scan leaves
    // them for the next one.
    if (!result.cancelled)
        for (const Known& gone : std::as_const(known))
            DropFile(gone.id);
    if (bulk) {
        for (const QString& sql : IndexStatements())
            Exec(db, sql);
        if (fullText_)
            Exec(db, QStringLiteral("INSERT INTO patch_text (patch_text) VALUES ('rebuild')"));
    }
    db.commit();
    if (!tempStore.isEmpty())
        Exec(db, QStringLiteral("PRAGMA temp_store = ") + tempStore);

    QSqlQuery counts(db);
    if (counts.exec(QStringLiteral("SELECT count(*), coalesce(sum(kind = %1), 0) FROM files")
                        .arg(int(PlaceKind::EarlierVersion))) &&
        counts.next()) {
        result.files = counts.value(0).toLongLong();
        result.versions = counts.value(1).toLongLong();
    }
    return result;
}

void CollectionIndex::CountPatches(ScanResult& result) const {
    QSqlQuery counts(QSqlDatabase::database(connection_, false));
    if (counts.exec(QStringLiteral("SELECT (SELECT count(*) FROM patches), "
                                   "(SELECT count(*) FROM (SELECT 1 FROM patches GROUP BY sound, bytes))")) &&
        counts.next()) {
        result.patches = counts.value(0).toLongLong();
        result.distinct = counts.value(1).toLongLong();
    }
}

} // namespace quillbox
