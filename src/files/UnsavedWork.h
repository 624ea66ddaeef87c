#pragma once

#include "FileIdentity.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillbox {

// The unsaved state of one library, as kept for recovery after a crash: which library, which pair
// on disk it was loaded from (or last saved as), and everything needed to rebuild what the window
// held, byte for byte and character for character.
struct UnsavedWork {
    QString libPath;          // the library file, as loaded
    PairIdentity loaded;      // the pair on disk the changes started from
    QDateTime time;           // the last change kept (UTC)
    QByteArray library;       // the library's images back to back, in list order (a short last one too)
    QStringList descriptions; // element i (1..N) describes entry i; element 0 kept as it was
    friend bool operator==(const UnsavedWork&, const UnsavedWork&) = default;
};

// Recovery files: one per window and library with unsaved changes, in a folder of the user's data
// location (never beside the library), named after a hash of the library's path and the window's
// instance ("HASH-INSTANCE.unsaved"; an earlier release wrote "HASH.unsaved", which no window
// owns). Each is written whole through a temporary file and a rename, so it is either the old or the
// new one, and is private to the user (see PrivateFiles.h).
//
// A window owns its files while it lives: it holds a lock on "window-INSTANCE.lock" in the user's
// private lock folder, which the system lets go when the window's process ends, however it ends.
// A window writes and removes only its own files; the files of a window that is gone are offered by
// the next one, and only then removed. A living window's file is never offered nor removed by
// another.
//
// The format: a header of text lines (magic, the library's path percent-encoded, the identity of
// the loaded pair, the time), the library bytes with their count, the descriptions each as its
// count of UTF-16 code units and those units (little-endian; any text comes back exactly), and a
// SHA-1 of everything before it, so that a cut or altered file is recognised.
class UnsavedWorkFiles {
public:
    // `folder` empty: DefaultFolder(). `instance`: the window whose files these are (see
    // NewInstance()); empty names the files of an earlier release.
    explicit UnsavedWorkFiles(QString folder = QString(), QString instance = QString());
    // "unsaved" in the user's writable data location for the program (QStandardPaths::AppDataLocation).
    static QString DefaultFolder();
    // A new window instance: 16 random hexadecimal digits.
    static QString NewInstance();
    QString Folder() const { return folder_; }
    QString Instance() const { return instance_; }
    // This window's recovery file of the library at `libPath` (whether or not it exists).
    QString FileFor(const QString& libPath) const;

    static QByteArray Encode(const UnsavedWork& work);
    // The work a file's bytes hold; nullopt (and why in `problem`) for anything not written by Encode.
    static std::optional<UnsavedWork> Decode(const QByteArray& bytes, QString* problem = nullptr);

    // Writes this window's recovery file of `work.libPath`, creating the folder (for the user only)
    // when needed. Throws FileError when it cannot (also when what is in its place is not ours).
    void Write(const UnsavedWork& work) const;
    // Removes this window's recovery file of `libPath`, if there is one; true when none is left.
    bool Remove(const QString& libPath) const;

    // What was found for one library.
    struct Found {
        QString file;                    // the recovery file looked at
        std::optional<UnsavedWork> work; // set only for a file proven ours and for this library
        QString problem;                 // why a file that is there was not taken; empty otherwise
    };
    // This window's recovery file of `libPath`. A file that is not a regular file owned by this user
    // (a link, another owner), too large, damaged or written for another library is not taken;
    // `problem` says why, and the file is left as it is.
    Found Read(const QString& libPath) const;
    // The recovery files of `libPath` whose windows are gone, newest change first.
    QList<Found> ReadLeft(const QString& libPath) const;
    // Every recovery file in the folder whose window is gone, newest change first; only names of our
    // pattern are looked at.
    QList<Found> ReadAll() const;
    // Removes `file`, a recovery file found by ReadLeft() or ReadAll(), when it is still one of ours
    // and its window is still gone; true when it is no longer there.
    bool RemoveLeft(const QString& file) const;

    // The lock a living window holds on its instance: the open file, or -1 and why in `problem`.
    // The lock goes with the process, or with ReleaseWindow().
    static int LockWindow(const QString& instance, QString* problem);
    // Lets go of the lock; `forget` also removes its file (a clean end: nothing of the window's is
    // left to own).
    static void ReleaseWindow(const QString& instance, int fd, bool forget);

private:
    Found ReadFile(const QString& file, const QString& expectedLibPath) const;
    QList<Found> ReadMatching(const QString& expectedLibPath) const;
    QString folder_;
    QString instance_;
};

} // namespace quillbox
