#include "PatchImage.h"

#include <algorithm>

namespace quillbox {

PatchImage::PatchImage() : bytes_(PatchImageSize, '\0') {}

PatchImage::PatchImage(const QByteArray& bytes) : bytes_(bytes) {
    Q_ASSERT(bytes.size() == PatchImageSize);
}

PatchImage PatchImage::FromStore(const QByteArray& store, qsizetype index) {
    QByteArray bytes = EntryBytes(store, index);
    if (bytes.size() < PatchImageSize)
        bytes.append(PatchImageSize - bytes.size(), ' ');
    return PatchImage(bytes);
}

qsizetype EntryCount(const QByteArray& store) {
    return (store.size() + PatchImageSize - 1) / PatchImageSize;
}

QByteArray EntryBytes(const QByteArray& store, qsizetype index) {
    const QByteArrayView entry = EntryView(store, index);
    return entry.isEmpty() ? QByteArray() : entry.toByteArray();
}

QByteArray StoreHead(const QByteArray& store, qsizetype entries) {
    if (entries <= 0)
        return {};
    return store.left(std::min(store.size(), entries * PatchImageSize));
}

QByteArray StoreTail(const QByteArray& store, qsizetype fromEntry) {
    const qsizetype start = std::max<qsizetype>(0, fromEntry) * PatchImageSize;
    if (start >= store.size())
        return {};
    return store.mid(start);
}

} // namespace quillbox
