#pragma once

#include <QByteArray>
#include <QString>

namespace quillbox {

inline constexpr char LibraryFileMarker = 1;

// Marker byte, then the store's bytes from the last to the first.
QByteArray EncodeLibrary(const QByteArray& store);
// Drops the marker and reverses the rest. Only for content that IsValidLibrary accepts.
QByteArray DecodeLibrary(const QByteArray& content);
// At least one byte, and the first one is the marker.
bool IsValidLibrary(const QByteArray& content);
// Where the store's bytes [from, to) lie in a library file whose store (the file without its marker)
// is `storeSize` bytes: reversed, starting at this offset of the file. For reading a part at a time.
inline qint64 LibraryPartOffset(qint64 storeSize, qint64 to) {
    return 1 + storeSize - to;
}

// Adds ".pslib" unless the path already ends in exactly (case-sensitively) ".pslib".
QString ApplyLibraryExtension(const QString& path);
// The description side file of a library or patch file: its path followed by ".txt".
QString SideFilePath(const QString& path);

} // namespace quillbox
