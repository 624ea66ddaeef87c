#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quillbox {

// What tells one version of a file from another without reading it: the device and inode it lives
// on, its size, its modification time and its change time (nanoseconds). A rewrite in place changes
// the times and usually the size, a replacement by another file changes the inode. The modification
// time can be set back by any program; the change time cannot, so a rewrite that keeps the size and
// puts the old modification time back still differs. (A rename, a new link or a change of mode
// changes the change time too.) `exists` is false for a missing file (the other fields are then zero).
struct FileIdentity {
    // The change time of an identity written by an earlier release, which did not record it: such an
    // identity never equals one taken now, so nothing is trusted on the strength of it.
    static constexpr qint64 UnknownChange = -1;

    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
    // The same file with the same size and modification time, whatever its change time: for files
    // only Quillbox renames or links (which changes that time), and only where their content is
    // checked too or nothing is overwritten on the strength of it.
    bool SameApartFromChange(const FileIdentity& other) const {
        return exists == other.exists && device == other.device && inode == other.inode &&
               size == other.size && modifiedNs == other.modifiedNs;
    }

    // One word without blanks ("-" for a missing file), for records and recovery files. FromText
    // also reads the word of an earlier release (without the change time, which is then unknown).
    QByteArray ToText() const;
    static std::optional<FileIdentity> FromText(const QByteArray& text);
};

// The identity of the file at `path`, following links. A path that names nothing (or that cannot be
// looked at) gives a missing identity.
FileIdentity IdentityOf(const QString& path);
#ifdef Q_OS_UNIX
// The identity a stat(2) or lstat(2) result tells.
FileIdentity IdentityFromStat(const struct stat& st);
#endif

// True for a regular file (not a link) that belongs to the user running the program: the only kind of
// file that can be one this program left behind.
bool IsOwnRegularFile(const QString& path);

// What ReadOwnFile() found: nothing there, a file it refuses (and why, in words), or its bytes.
struct OwnFile {
    bool missing = false;
    QString refusal;
    QByteArray bytes;
};
// Reads a file this program may have left (a commit record, a recovery file) without trusting it:
// opened without following a link and without waiting on a FIFO, then checked on the open file
// itself, so that what is read is what was checked. Only a regular file of the running user of at
// most `maxBytes` is read.
OwnFile ReadOwnFile(const QString& path, qint64 maxBytes);

// The name of the user with id `uid`, for messages.
QString UserName(uint uid);

// A library's path as it is filed by what is kept for it elsewhere (earlier versions, unsaved work):
// its folder's canonical path (links and ".." gone) with the file name as given, so that two
// spellings of one library share one key, and its side file is found by that name.
QString LibraryKeyPath(const QString& libPath);
// Whether two paths name one existing file, whatever the spelling (links, "..", a relative path).
bool SameFile(const QString& first, const QString& second);

// A library file and its description side file, as a save or a load saw them.
struct PairIdentity {
    FileIdentity library;
    FileIdentity side;
    friend bool operator==(const PairIdentity&, const PairIdentity&) = default;
};
PairIdentity PairIdentityOf(const QString& libPath);

} // namespace quillbox
