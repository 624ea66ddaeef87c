#pragma once

#include "FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace quillbox {

// The one rule for the files Quillbox keeps for itself in the user's folders (earlier versions,
// recovery files, the collection's cache, the save and window locks): each is a regular file of the
// running user, mode 0600, in a folder of that user of mode 0700, whatever the umask; and none is
// ever reached through a link. Anything else found in such a place (a link, a FIFO, another user's
// file or folder) is reported and left alone.

// Makes `folder` (and any missing folder above it) for the user alone. The folder itself must be a
// real folder (not a link) of the running user; it is narrowed to 0700 when it is wider. Returns
// what is wrong, in words naming the path; empty when the folder is ready.
QString MakePrivateFolder(const QString& folder);

// Why what is at `path` is not one of our private files (a regular file of the running user, not a
// link), or empty when it is one or when nothing is there.
QString NotPrivateFile(const QString& path);

// A private file opened for reading and writing, created (0600) when missing, never through a link
// and never waiting on a FIFO; checked on the open file itself (type, owner) and narrowed to 0600.
// `fd` is -1 when it cannot be had, and `problem` then says why, naming the path. The caller closes
// `fd`.
struct PrivateFd {
    int fd = -1;
    QString problem;
};
PrivateFd OpenPrivateFile(const QString& path);

// Writes `content` as the private file `path` in a private folder: a new 0600 temporary file beside
// it (".NAME-xxxxxxxx.tmp"), synced, then renamed over it, so the file is either the old or the new
// one. What is at `path` must be one of our private files or nothing. Throws FileError (source
// `source`) saying what is wrong.
void WritePrivateFile(const QString& path, const QByteArray& content, const QString& source);
// WritePrivateFile() of several files of one folder, each replaced in the order given and the
// folder synced after each rename, so that a file is never there before the ones given before it.
// Every file's data is written and synced before the first rename, all at once, so that the disk
// writes them together. Nothing is renamed when one of them cannot be written.
// `sameAs`, when given, is one of our private files (`sameAsId` the identity it had when its bytes
// were found to be `content`): the file is then made a second name of it, where the file system
// allows, instead of a copy.
struct PrivateFileContent {
    QString path;
    QByteArray content;
    QString sameAs;
    FileIdentity sameAsId;
};
void WritePrivateFiles(const std::vector<PrivateFileContent>& files, const QString& source);

// Where this user's locks live: "quillbox" in $XDG_RUNTIME_DIR when it is set and is a folder of
// the user's own of mode 0700, else "locks" in the user's data location for the program. Nobody
// else can create, hold or replace a file there.
QString PrivateLockFolder();

} // namespace quillbox
