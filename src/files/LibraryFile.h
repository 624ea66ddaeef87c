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

// Adds ".pslib" unless the path already ends in exactly (case-sensitively) ".pslib".
QString ApplyLibraryExtension(const QString& path);
// The description side file of a library or patch file: its path followed by ".txt".
QString SideFilePath(const QString& path);

} // namespace quillbox
