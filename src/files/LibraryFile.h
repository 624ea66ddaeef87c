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

// Whether the file at `path` is a library, by Load's rule: its name ends in exactly (case-sensitively)
// ".pslib"; "X.PSLIB" is a device patch file. The one answer for every reader, writer and scan.
bool IsLibraryPath(const QString& path);
// `name` without its library extension, or unchanged when IsLibraryPath says it has none.
QString WithoutLibraryExtension(const QString& name);
// Adds ".pslib" unless IsLibraryPath says the path has it already.
QString ApplyLibraryExtension(const QString& path);
// The description side file of a library or patch file: its path followed by ".txt".
QString SideFilePath(const QString& path);

} // namespace quillbox
