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

// Recovery files: one per library with unsaved changes, in a folder of the user's data location
// (never beside the library), named after a hash of the library's path ("HASH.unsaved"). Each is
// written whole through a temporary file and a rename, so it is either the old or the new one.
//
// The format: a header of text lines (magic, the library's path percent-encoded, the identity of
// the loaded pair, the time), the library bytes with their count, the descriptions each as its
// count of UTF-16 code units and those units (little-endian; any text comes back exactly), and a
// SHA-1 of everything before it, so that a cut or altered file is recognised.
class UnsavedWorkFiles {
public:
    // `folder` empty: DefaultFolder().
    explicit UnsavedWorkFiles(QString folder = QString());
    // "unsaved" in the user's writable data location for the program (QStandardPaths::AppDataLocation).
    static QString DefaultFolder();
    QString Folder() const { return folder_; }
    // The recovery file of the library at `libPath` (whether or not it exists).
    QString FileFor(const QString& libPath) const;

    static QByteArray Encode(const UnsavedWork& work);
    // The work a file's bytes hold; nullopt (and why in `problem`) for anything not written by Encode.
    static std::optional<UnsavedWork> Decode(const QByteArray& bytes, QString* problem = nullptr);

    // Writes the recovery file of `work.libPath`, creating the folder (for the user only) when
    // needed. Throws FileError when it cannot.
    void Write(const UnsavedWork& work) const;
    // Removes the recovery file of `libPath`, if there is one; true when none is left.
    bool Remove(const QString& libPath) const;

    // What was found for one library.
    struct Found {
        QString file;                    // the recovery file looked at
        std::optional<UnsavedWork> work; // set only for a file proven ours and for this library
        QString problem;                 // why a file that is there was not taken; empty otherwise
    };
    // The recovery file of `libPath`. A file that is not a regular file owned by this user (a link,
    // another owner), too large, damaged or written for another library is not taken; `problem` says
    // why, and the file is left as it is.
    Found Read(const QString& libPath) const;
    // Every recovery file in the folder, newest change first; only names of our pattern are looked at.
    QList<Found> ReadAll() const;

private:
    Found ReadFile(const QString& file, const QString& expectedLibPath) const;
    QString folder_;
};

} // namespace quillbox
