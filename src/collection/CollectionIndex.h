#pragma once

#include "CollectionScan.h"
#include "PatchFinder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace quillbox {

class PatchRows;

// One patch at one place of the collection.
struct Place {
    QString path;
    qsizetype position = 0; // 0-based; shown from 1
    PlaceKind kind = PlaceKind::Library;
    QString name;
    QString description;
    QByteArray bytes;
};

// A patch's bytes with its name field blanked: equal for two patches that sound the same.
QByteArray SoundOf(const QByteArray& bytes);
// The name a list shows for a patch's bytes.
QString NameOf(const QByteArray& bytes);

// One distinct patch (identical bytes grouped) for the collection's list.
struct DistinctPatch {
    QByteArray bytes;
    QString name;
    QString description; // the first non-empty one among its places
    qsizetype places = 0;
    bool deleted = false; // held only by earlier versions
};

// How another place relates to a patch.
enum class Relation { Identical, SameSound, SameName };
QString RelationText(Relation relation); // "identical", "same-sound", "same-name"

struct RelatedPlace {
    Relation relation;
    Place place;
};

struct TagCount {
    QString tag; // "#gig", case-folded
    qsizetype places = 0;
};

struct ScanProgress {
    qsizetype done = 0;  // files read so far
    qsizetype total = 0; // files that need reading
};

struct ScanResult {
    qsizetype files = 0;    // files in the collection (libraries, patch files, earlier versions)
    qsizetype versions = 0; // of them earlier versions
    qsizetype patches = 0;  // by CountPatches()
    qsizetype distinct = 0; // by CountPatches()
    qsizetype read = 0;     // files read this time (the others were unchanged)
    std::vector<SkippedFile> skipped;
    bool cancelled = false;
};

// The collection's index: a cache in an SQLite database, never the truth. The files are: a missing,
// damaged or other-version cache is built anew from them, with a status line. Only files whose
// identity (device, inode, size, modification time; also of the side file) changed are read again,
// and nothing is ever written to a scanned file.
//
// One index talks to its database through a connection of its own, in the thread that opened it: a
// worker thread creates and uses its own index over the same cache path.
class CollectionIndex {
public:
    // `cachePath` empty means DefaultCachePath(); `versionsFolder` empty means the earlier versions'
    // default folder.
    explicit CollectionIndex(QString cachePath = {}, QString versionsFolder = {});
    ~CollectionIndex();
    CollectionIndex(const CollectionIndex&) = delete;
    CollectionIndex& operator=(const CollectionIndex&) = delete;

    // "collection.sqlite" in the user's cache location.
    static QString DefaultCachePath();
    static constexpr int SchemaVersion = 3;

    // Opens the cache, or builds it anew when it is missing, damaged or of another version. Returns
    // false (with `error`) only when no database can be had at all. `status` tells when the cache
    // was started anew and why. When what is at the cache's place (or its folder) is not ours (a
    // link, a FIFO, another user's file), it is left alone and the index lives in memory, shared by
    // every index over that path in this process; `status` says so.
    bool Open(QString* status = nullptr, QString* error = nullptr);

    // Whether this SQLite has full-text search (FTS5); without it finds scan the texts. The answers
    // are the same either way.
    bool HasFullText() const { return fullText_; }
    // Test seam: open the next caches without full-text search, as on an SQLite lacking it.
    static void SetFullTextForbiddenForTest(bool forbidden);

    using Progress = std::function<void(const ScanProgress&)>;
    // Brings the cache up to date with `folders`: files no longer there leave it. Usable on a worker
    // thread; `cancel` is looked at between files (what was read until then is kept).
    ScanResult Scan(const QStringList& folders, const Progress& progress = {},
                    const std::atomic_bool* cancel = nullptr);
    // Fills in the patches and distinct patches of `result`: a count over every patch, so the
    // scan leaves it to those who show it.
    void CountPatches(ScanResult& result) const;

    // Every place whose patch holds all the words of `query` (the lists' find rules; a word starting
    // with '#' is a tag and matches that tag only), sorted by path then position. Earlier versions
    // only when `withVersions`.
    std::vector<Place> Find(const QString& query, bool withVersions) const;
    // The distinct patches whose text holds all the words (every one for a blank query), by name.
    std::vector<DistinctPatch> Distinct(const QString& query = {}) const;
    // Every distinct patch, by name, with a finder over them for a window to filter as the user
    // types without asking the database: a patch's text is its name, every description it has at
    // any place, and its decoded parameters, so that it is found by the words Distinct takes. Kept
    // small for a large collection: the images back to back and a count and a mark per patch; the
    // names come from the images and the descriptions from DescriptionOf when they are shown.
    struct DistinctList {
        QByteArray store;            // the whole images back to back, by name
        std::vector<quint8> lengths; // each one's stored length (a short last entry is shorter)
        std::vector<qint32> places;  // how many places hold each
        std::vector<bool> deleted;   // held only by earlier versions
        PatchFinder finder{false};
        // A list kept in memory and changed in place (CollectionMemory) keeps its entries' numbers:
        // a changed patch gets a new entry and the old one dies, and `order` holds the live ones by
        // name (`rank` is each entry's place in it, -1 when dead). Both are empty for a list read
        // whole, whose entries are in order and all live.
        std::vector<bool> dead;
        std::vector<qint32> order, rank;
        bool inOrder = false; // every entry lives and `order` is 0, 1, 2...: answers need no ordering
        qsizetype Count() const { return qsizetype(places.size()); }
        // The entries shown, in order: all live ones.
        qsizetype LiveCount() const {
            return order.empty() && dead.empty() ? Count() : qsizetype(order.size());
        }
        // The live entries whose text holds every word of `query`, in the list's order.
        std::vector<qsizetype> Matching(const QString& query) const;
        // Those of `among` (entries in the list's order) that match `query`: typing on.
        std::vector<qsizetype> MatchingAmong(const QString& query, const std::vector<qsizetype>& among) const;
        // The bytes the list holds.
        qsizetype HeldBytes() const {
            return store.capacity() +
                   qsizetype(lengths.capacity() + places.capacity() * sizeof(qint32) +
                             (deleted.capacity() + dead.capacity()) / 8 +
                             (order.capacity() + rank.capacity()) * sizeof(qint32)) +
                   finder.HeldBytes();
        }
        // Patch `k`, its description left empty.
        DistinctPatch Patch(qsizetype k) const;
    };
    DistinctList ReadDistinct() const;
    // The description Distinct shows for the patch of `bytes`: the greatest of its places'.
    QString DescriptionOf(const QByteArray& bytes) const;
    // Every place holding `bytes`, and the places of the same sound under another name and of the
    // same name with another sound, by relation, path and position.
    std::vector<RelatedPlace> WhereUsed(const QByteArray& bytes) const;
    // The files that hold exactly `bytes` now ("PATH:POS", POS from 1; earlier versions left out):
    // where a show's cue could take its patch from again.
    QStringList IdenticalPlaces(const QByteArray& bytes) const;
    // The kinds of twin (TwinKind bits) `patch` has across the collection, as the lists mark them:
    // identical when more than one place holds it, same sound under another name, same name with
    // another sound. Two index lookups, so that a list asks only for the lines it draws.
    unsigned TwinKindsOf(const DistinctPatch& patch) const;
    // The place at `path` (as the scan found it) and 0-based `position`, when the cache has it.
    std::optional<Place> PlaceAt(const QString& path, qsizetype position) const;
    std::vector<TagCount> Tags() const;

    // The tags the cache at `cachePath` (empty: the default) knows, sorted, read without changing or
    // building it; none when there is no cache of ours there.
    static QStringList CachedTags(const QString& cachePath = {});

private:
    bool Create(QString* error);
    bool OpenInMemory(const QString& problem, QString* status, QString* error);
    bool Usable() const;
    void DropFile(qint64 fileId, bool textIndexed = true);
    bool AddFile(const FoundFile& found, ScannedFile& scanned, PatchRows& rows, bool indexText);
    QString WordsCondition(const QString& query, QVariantList& values) const;
    std::vector<Place> PlacesOf(const QString& where, const QVariantList& values) const;

    QString cachePath_;
    QString versionsFolder_;
    QString connection_;
    bool fullText_ = false;
};

// The places a cache written by an earlier scan knows of a patch's bytes (as
// CollectionIndex::IdenticalPlaces answers), read only, for a window that has no collection open.
// Nothing when there is no cache of the user's own, or it cannot be read.
class CachedPlaces {
public:
    explicit CachedPlaces(const QString& cachePath = {});
    ~CachedPlaces();
    CachedPlaces(const CachedPlaces&) = delete;
    CachedPlaces& operator=(const CachedPlaces&) = delete;
    QStringList Of(const QByteArray& bytes) const;

private:
    QString connection_;
    bool open_ = false;
};

} // namespace quillbox
