#pragma once

#include "CollectionIndex.h"

#include <QHash>
#include <QMap>
#include <atomic>
#include <memory>
#include <vector>

namespace quillbox {

// One file of the collection as read for the memory: its patches and descriptions, by the same
// rules as the cache's scan (ScannedFile), so that both answer alike.
struct ReadFile {
    QString path;
    PlaceKind kind = PlaceKind::Library;
    QByteArray identity, sideIdentity; // as ToText() gives them: the next look compares them
    QByteArray store;                  // the patches back to back, each a whole image, until taken in
    QByteArray texts;                  // the descriptions in UTF-8, back to back
    std::vector<quint32> ends;         // where description k ends in `texts`
    std::vector<qint32> entries;       // the list's entry of each patch (held by the memory)
    QMap<QString, qint32> tags;        // each tag (case-folded) and how many of its patches hold it
    bool kept = false;                 // false: refused, nothing of it is kept
    qsizetype Count() const { return qsizetype(ends.size()); }
    QByteArrayView Text(qsizetype k) const {
        const quint32 start = k == 0 ? 0 : ends[size_t(k - 1)];
        return QByteArrayView(texts.constData() + start, ends[size_t(k)] - start);
    }
};

// What one look at the folders found: the files to take anew (changed or new), those gone, and
// what was passed over.
struct FolderLook {
    std::vector<ReadFile> read;
    QStringList gone;
    std::vector<SkippedFile> skipped;
    bool cancelled = false;
    bool Changed() const { return !read.empty() || !gone.isEmpty(); }
};

// The collection held in memory, read straight from its files: the list a window shows and
// searches, and the answers about one patch (its description, twins and places). The files are the
// truth and reading them is cheap; the SQLite cache is written behind it for the tools and for the
// windows that have no collection open. A look at the folders (on any thread) reads only the files
// whose identity changed, and applying it (on the owner's thread) takes out the places of those
// files and puts in the new ones, so the list follows one changed file without being read again.
//
// The list's entries keep their numbers while they live: a patch whose places or descriptions
// change is given a new entry and its old one dies, so that what a window keeps per entry stays
// true.
class CollectionMemory {
public:
    CollectionMemory();
    ~CollectionMemory();
    CollectionMemory(const CollectionMemory&) = delete;
    CollectionMemory& operator=(const CollectionMemory&) = delete;

    using Known = QHash<QString, std::pair<QByteArray, QByteArray>>; // path: identity, side identity
    // The files held and their identities, for a look on another thread.
    Known KnownFiles() const;
    // Walks `folders` and reads the files that are not in `known` as they are now, on up to two
    // threads. `cancel` is looked at between files.
    static FolderLook Look(const QStringList& folders, const QString& versionsFolder, const Known& known,
                           const CollectionIndex::Progress& progress = {},
                           const std::atomic_bool* cancel = nullptr);
    // Takes what `look` found. Returns whether the list changed.
    ScanResult Apply(FolderLook look);

    // The list of distinct patches (entries by number; dead ones are left out of every answer).
    std::shared_ptr<const CollectionIndex::DistinctList> List() const { return list_; }
    // The same counts the cache's scan gives: files, of them earlier versions, patches, distinct.
    ScanResult Counts() const;

    QString DescriptionOf(qsizetype entry) const; // the greatest of its places'
    unsigned TwinKindsOf(qsizetype entry) const;  // as CollectionIndex::TwinKindsOf
    std::vector<RelatedPlace> WhereUsed(const QByteArray& bytes) const;
    std::vector<TagCount> Tags() const; // places of libraries and patch files per tag, by tag

    // A copy of the list's finder, to build a word index from on another thread while this memory
    // goes on changing (its texts are shared until either changes them).
    PatchFinder FinderCopy() const { return list_->finder; }
    // Searches the list with `index` (built from FinderCopy) from now on; false when it no longer fits.
    bool UseWordIndex(PatchFinder::WordIndex index) { return list_->finder.UseWordIndex(std::move(index)); }
    // Whether the list holds more dead entries than live ones: a fresh read would be smaller.
    bool Worn() const { return list_->Count() > 2 * list_->LiveCount() + 1024; }
    // The bytes it holds beside the list (its files' patches and texts, and its tables).
    qsizetype HeldBytes() const;

private:
    struct Tables;
    void AddFile(ReadFile file);
    void DropFile(qsizetype index);
    void Settle(); // gives the touched patches their new entries and puts the list in order
    // Numbers the patches of a list read afresh, in its order, and groups their places.
    void TakeFresh(std::vector<qint32>& starts, std::vector<std::pair<qint32, qint32>>& places);
    qint32 NewEntry(const char* image);

    std::vector<ReadFile> files_; // by path; a dropped file leaves an empty slot until compaction
    QHash<QString, qsizetype> fileOf_;
    std::shared_ptr<CollectionIndex::DistinctList> list_;
    std::unique_ptr<Tables> tables_;
    std::vector<qint32> touched_; // entries of the files dropped since the last Settle
};

} // namespace quillbox
