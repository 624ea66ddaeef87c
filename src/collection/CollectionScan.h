#pragma once

#include "FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quillbox {

// Where a place of the collection is: a library, a device patch file, or an earlier version Quillbox
// keeps of a library. The numbers are stored in the cache.
enum class PlaceKind : int { Library = 0, PatchFile = 1, EarlierVersion = 2 };
QString PlaceKindText(PlaceKind kind); // "library", "patch file", "earlier version"

// A file the collection reads, found by a walk of the folders.
struct FoundFile {
    QString path;
    PlaceKind kind = PlaceKind::Library;
    QString origin; // an earlier version's library path; empty otherwise
    FileIdentity identity, sideIdentity;
};

// A file the walk or the reading passed over, and why ("it is not a regular file", ...).
struct SkippedFile {
    QString path;
    QString reason;
};

struct FolderWalk {
    std::vector<FoundFile> files; // sorted by path; each file (device and inode) once
    std::vector<SkippedFile> skipped;
};

// Walks `folders` recursively for libraries ("*.pslib", exactly so) and device patch files ("*.pch",
// any case), following links to folders and files without looping, plus the earlier versions kept
// in `versionsFolder` of libraries inside the folders. Only names are looked at and files stat'ed:
// nothing is opened, so a FIFO never blocks the walk. Folders that cannot be listed are skipped.
FolderWalk WalkFolders(const QStringList& folders, const QString& versionsFolder);

// What a scanned file held: its patches (each padded with blanks to 18 bytes, as a library stores
// a short last entry) and their descriptions, or why it was refused.
struct ScannedFile {
    QString refusal; // empty when read
    FileIdentity identity, sideIdentity;
    std::vector<QByteArray> patches;
    QStringList descriptions; // one per patch
    QString sideRefusal;      // the side file was there but could not be read
};

// Reads a file of the collection without trusting it and without ever writing it: opened without
// waiting on a FIFO, checked on the open file (a regular file of at most MaxFileSize() bytes, of
// any owner), then parsed by the program's own library and side-file readers.
ScannedFile ReadScannedFile(const QString& path, PlaceKind kind);

// A bounded read of any regular file, following links: the bytes, or why not.
struct PlainRead {
    QString refusal;
    FileIdentity identity;
    QByteArray bytes;
    bool missing = false;
};
PlainRead ReadRegularFile(const QString& path, qint64 maxBytes);

} // namespace quillbox
