#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <algorithm>

namespace quillbox {

// One device patch: 18 bytes exactly as the device keeps them. Byte positions in comments count from 1
// (byte 1 .. byte 18) as the device documentation does; indexes in code count from 0.
inline constexpr qsizetype PatchImageSize = 18;

class PatchImage {
public:
    PatchImage();
    explicit PatchImage(const QByteArray& bytes); // must hold exactly 18 bytes

    // Entry `index` of a patch store; an entry cut short by the end of the store is padded with
    // blanks (code 32) so that an image always has 18 bytes.
    static PatchImage FromStore(const QByteArray& store, qsizetype index);

    const QByteArray& Bytes() const { return bytes_; }
    quint8 Byte(int position1) const { return static_cast<quint8>(bytes_[position1 - 1]); }
    void SetByte(int position1, quint8 value) { bytes_[position1 - 1] = static_cast<char>(value); }

    friend bool operator==(const PatchImage&, const PatchImage&) = default;

private:
    QByteArray bytes_;
};

// Number of entries a store shows as list lines: one per started group of 18 bytes.
qsizetype EntryCount(const QByteArray& store);

// How many bytes entry `index` holds in a store of `storeSize` bytes: 18, fewer when the store ends
// inside it, 0 beyond the end.
constexpr qsizetype EntryLength(qsizetype storeSize, qsizetype index) {
    return std::clamp<qsizetype>(storeSize - index * PatchImageSize, 0, PatchImageSize);
}

// The bytes of entry `index` where they lie in the store (EntryLength of them; empty beyond the end
// or for a negative index); valid while the store is unchanged.
inline QByteArrayView EntryView(const QByteArray& store, qsizetype index) {
    if (index < 0)
        return {};
    return QByteArrayView(store).sliced(std::min(index * PatchImageSize, store.size()),
                                        EntryLength(store.size(), index));
}

// The bytes of entry `index` (fewer than 18 when the store ends inside it, empty beyond the end).
QByteArray EntryBytes(const QByteArray& store, qsizetype index);

// Store splicing helpers: these build a new store from byte ranges, cutting at the end of the store.
QByteArray StoreHead(const QByteArray& store, qsizetype entries);   // entries 0 .. entries-1
QByteArray StoreTail(const QByteArray& store, qsizetype fromEntry); // entries fromEntry .. end

} // namespace quillbox
