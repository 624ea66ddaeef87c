#pragma once

#include "DescriptionFile.h"
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
    // Whether the identities recorded when it was last read (as ToText gave them) still hold: then
    // it is not read again.
    bool Unchanged(const QByteArray& read, const QByteArray& sideRead) const {
        return read == identity.ToText() && sideRead == sideIdentity.ToText();
    }
};

// A file the walk or the reading passed over, and why ("it is not a regular file", ...).
struct SkippedFile {
    QString path;
    QString reason;
    QByteArray nativePath; // the path's bytes when they are not text; `path` then shows U+FFFD for them
};

struct FolderWalk {
    std::vector<FoundFile> files; // sorted by path; each file (device and inode) once
    std::vector<SkippedFile> skipped;
};

// Walks `folders` recursively for libraries ("*.pslib", exactly so) and device patch files ("*.pch",
// any case), following links to folders and files without looping, plus the earlier versions kept
// in `versionsFolder` of libraries inside the folders. Only names are looked at and files stat'ed:
// nothing is opened, so a FIFO never blocks the walk. Folders that cannot be listed are skipped.
// Names are taken as the bytes the folder holds: a file whose path is not valid text (which the
// cache cannot hold, and which decoded would name another file) is skipped with that reason.
FolderWalk WalkFolders(const QStringList& folders, const QString& versionsFolder);

// A file of the collection, opened to be read without trusting it and without ever writing it:
// opened without waiting on a FIFO and checked on the open file (a regular file of at most
// MaxFileSize() bytes, of any owner, a library by the program's own rule). Its patches are read a
// part at a time, so that memory does not grow with the file; its side file is read by the program's
// own reader, and only up to SideFileLimit() bytes.
class ScannedFile {
public:
    static ScannedFile Open(const QString& path, PlaceKind kind);
    ScannedFile(ScannedFile&& other) noexcept;
    ScannedFile& operator=(ScannedFile&& other) noexcept;
    ~ScannedFile();

    QString refusal; // empty while it can be read
    FileIdentity identity, sideIdentity;
    QString sideRefusal; // the side file was there but was not read

    // How many patches it holds (a short last entry counts).
    qsizetype Count() const { return count_; }
    // Patches [first, first + count), each padded with blanks to 18 bytes as a library stores a
    // short last entry; none, with `refusal` set, when the file no longer holds them.
    std::vector<QByteArray> Patches(qsizetype first, qsizetype count);
    // The same images back to back in one array.
    QByteArray Part(qsizetype first, qsizetype count);
    // The description of patch `index` (from 0); empty without a side file.
    QString Description(qsizetype index) const { return descriptions_.Description(index + 1); }
    // The same appended to `utf8` in UTF-8, without a string of its own when it needs no decoding.
    void AppendDescription(qsizetype index, QByteArray& utf8) const {
        descriptions_.AppendDescription(index + 1, utf8);
    }

    static constexpr qsizetype PartSize = 4096; // patches a scan reads at a time

private:
    ScannedFile() = default;
    int fd_ = -1;
    qint64 storeSize_ = 0;
    bool library_ = false;
    qsizetype count_ = 0;
    DescriptionReader descriptions_;
};

// The most a scan reads of the side file of a file of `patches` patches: what their descriptions can
// take at the longest the program writes them (2 KiB a patch, 64 KiB more for anything else), and
// never more than 32 MiB, so that one side file never costs the scan more than about 200 MB. A larger
// side file is not read: its patches are kept without descriptions and it is counted as skipped.
qint64 SideFileLimit(qsizetype patches);

// A bounded read of any regular file, following links: the bytes, or why not. `limitText` says what
// the limit is in a refusal; empty: the size.
struct PlainRead {
    QString refusal;
    FileIdentity identity;
    QByteArray bytes;
    bool missing = false;
};
PlainRead ReadRegularFile(const QString& path, qint64 maxBytes, const QString& limitText = {});

} // namespace quillbox
