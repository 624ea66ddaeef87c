#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <cstddef>
#include <vector>

namespace quillbox {

// The kinds of twin a patch can have among the library's entries.
enum TwinKind : unsigned {
    TwinNone = 0,
    TwinIdentical = 1, // the same 18 bytes
    TwinSameSound = 2, // equal with the name field masked, other name bits
    TwinSameName = 4,  // the same rendered name (blank codes alike), other settings
};

// Counts the library's entries by their bytes, their sound (the bytes with the name masked) and their
// rendered name, so that the twins of any line are found by lookups. The counts do not depend on
// positions: after a command only the entries that changed are counted again. Entries are compared as
// the library stores them (a short last entry padded with blanks).
class TwinIndex {
public:
    // Counts `library` anew, or only the entries between its common start and end with the library
    // counted last (one pass of comparison), so that a single-entry command costs little.
    void Update(const QByteArray& library);
    // The library became `library` by a change the caller knows: its entries rearranged (the counts
    // do not depend on positions), entries of `before` at `removed` taken out, or entries of
    // `library` at `inserted` put in. Only those entries are counted; counts that are not of
    // `before` are left for Update.
    void Rearranged(const QByteArray& before, const QByteArray& library);
    void Removed(const QByteArray& before, const QList<qsizetype>& removed, const QByteArray& library);
    void Inserted(const QByteArray& before, const QList<qsizetype>& inserted, const QByteArray& library);

    // The kinds of twin library entry `index` has among the other library entries.
    unsigned LibraryKinds(qsizetype index) const;
    // The kinds of twin patch `index` of `patches` has among the library's entries.
    unsigned PatchKinds(const QByteArray& patches, qsizetype index) const;
    // The kinds of every patch of `patches`, in order: one pass, much faster than asking per patch.
    std::vector<unsigned> AllPatchKinds(const QByteArray& patches) const;
    // Whether some library entry shows the same name as patch `index` of `patches`.
    bool NameInLibrary(const QByteArray& patches, qsizetype index) const;
    // Whether the counts are of `library` as it stands: a changed library no longer shares its bytes
    // with the one counted (the counts keep a shared copy, so any write detaches it).
    bool IsOf(const QByteArray& library) const {
        return counted_.constData() == library.constData() && counted_.size() == library.size();
    }

    // How often Update counted a library it was not told how it changed (for tests).
    int Recounts() const { return recounts_; }

    // The 0-based positions of the library entries that are twins of `image` of `kind`, leaving
    // out `self` (a library entry's own position, or -1).
    std::vector<qsizetype> TwinPositions(const QByteArray& image, TwinKind kind, qsizetype self = -1) const;

    // The tool tip naming a line's twins, e.g. "Identical to 04, 17\nSame sound, other name: 09";
    // empty when the line has none.
    QString ToolTip(const QByteArray& image, qsizetype self = -1) const;

    using Key = std::array<unsigned char, 18>;

private:
    // Counts by key in one flat table (open addressing): a hundred thousand entries are counted
    // without a node allocation each. A key whose count drops to 0 keeps its slot until the table
    // grows, so nothing is ever removed.
    template <typename K> class Counts {
    public:
        qsizetype Of(const K& key) const;
        void Add(const K& key, qsizetype delta);
        void Reserve(size_t keys); // room for this many keys without growing
        // Asks the processor for the slot of `key` ahead of its use: counting or looking up many
        // entries then waits for memory once per batch instead of once per entry.
        void Prefetch(const K& key) const;

    private:
        static constexpr qint32 Unused = -1;
        struct Slot {
            K key{};
            qint32 count = Unused;
        };
        size_t Find(const K& key) const; // the slot holding `key`, or the free slot where it belongs
        std::vector<Slot> slots_;
        size_t used_ = 0;
    };
    struct Keys {
        Key bytes, sound, nameSound;
        quint64 name; // the rendered name's codes
    };
    static Keys KeysOf(const QByteArray& store, qsizetype index);
    static constexpr qsizetype Batch = 16; // entries whose slots are fetched together
    void PrefetchAll(const Keys& keys) const;
    void Count(const QByteArray& store, qsizetype from, qsizetype to, qsizetype delta);
    void CountAt(const QByteArray& store, const QList<qsizetype>& positions, qsizetype delta);
    // Counts the entries position(0) .. position(n - 1) of `store`, a batch at a time.
    template <typename Position>
    void CountEach(const QByteArray& store, qsizetype n, Position position, qsizetype delta);
    unsigned Kinds(const Keys& keys, qsizetype self) const;

    QByteArray counted_; // the library the counts are of (shared, not copied)
    int recounts_ = 0;
    Counts<Key> bytes_, sound_, nameSound_;
    Counts<quint64> name_;
};

} // namespace quillbox
