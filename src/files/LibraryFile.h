#pragma once

#include <QByteArray>
#include <QString>

namespace quillbox {

inline constexpr char LibraryFileMarker = 1;

// Marker byte, then the store's bytes from the last to the first.
QByteArray EncodeLibrary(const QByteArray& store);
// Drops the marker and reverses the rest. Only for content that IsValidLibrary accepts.
QByteArray DecodeLibrary(QByteArray content);
// At least one byte, and the first one is the marker.
bool IsValidLibrary(const QByteArray& content);
// Why `content` is not a library ("the file is empty", "its first byte is 7, not the marker byte 1").
QString InvalidLibraryReason(const QByteArray& content);
// Where the store's bytes [from, to) lie in a library file whose store (the file without its marker)
// is `storeSize` bytes: reversed, starting at this offset of the file. For reading a part at a time.
inline qint64 LibraryPartOffset(qint64 storeSize, qint64 to) {
    return 1 + storeSize - to;
}

// Whether the file at `path` is a library, by Load's rule: its name ends in exactly (case-sensitively)
// ".pslib"; "X.PSLIB" is a device patch file. The one answer for every reader, writer and scan.
bool IsLibraryPath(const QString& path);
// `name` without its library extension, or unchanged when IsLibraryPath says it has none.
QString WithoutLibraryExtension(const QString& name);
// Adds ".pslib" unless IsLibraryPath says the path has it already.
QString ApplyLibraryExtension(const QString& path);
// The description side file of a library or patch file: its path followed by ".txt".
QString SideFilePath(const QString& path);

// Whether a file name is a device patch file's, as the collection finds them: it ends in ".pch" in
// any case.
bool HasPatchFileExtension(const QString& name);
// Adds ".pch" unless the path ends in exactly (case-sensitively) ".pch": the name an export writes.
QString ApplyPatchFileExtension(const QString& path);

// Shows: a name ending in ".psshow" (case-sensitively, as libraries); the extension added to a name
// without it; the file dialogs' filter "Shows (*.psshow)" and the name offered for a new show.
bool IsShowPath(const QString& path);
QString ApplyShowExtension(const QString& path);
QString ShowFilter();
QString DefaultShowFileName();

// The names the file dialogs start from: "Library.pslib" for a library without a name, the library's
// name with ".pch" for an export ("Library.pch" without one), and "NAME (recovered).pslib" for the
// recovered work of the library `libFileName`.
QString DefaultLibraryFileName();
QString PatchExportFileName(const QString& libFileName);
QString RecoveredLibraryFileName(const QString& libFileName);

// The file dialogs' filters, as the dialog takes them: a caption and its pattern, each ended by NUL.
// Libraries; device patch files; device patch files or any file; libraries, device patch files or
// any file.
QString LibraryFileFilter();
QString PatchFileFilter();
QString PatchOrAnyFileFilter();
QString LibraryPatchOrAnyFileFilter();

// The set list's export: its dialog's filters (CSV, PDF, PDF in large print, in that order), the name
// it offers for the library `libFileName`, and what a chosen name and filter make. The name's
// extension decides between CSV and PDF; a name with neither takes the chosen filter's format and
// its extension.
enum class SetListFormat { Csv, Pdf, LargePrintPdf };
struct SetListFile {
    QString path;
    SetListFormat format = SetListFormat::Csv;
};
QString SetListFilter();
QString SetListFileName(const QString& libFileName);
SetListFile SetListFileFor(const QString& chosenPath, int chosenFilter);

} // namespace quillbox
