#pragma once

#include "FileError.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace quillbox {

// Replaces one or more files together. Commit() first writes every content completely to a
// temporary file beside its target (flushed and synced to disk), and only when all are prepared
// renames them over their targets in the order they were added. Any failure before the renames
// removes the temporary files and leaves every target byte for byte as it was; a rename that fails
// puts back the targets already replaced. Symlinked targets are followed; an existing target's
// permissions are kept. Only regular files are replaced, and nothing larger than MaxFileSize().
// Throws FileError (source "WriteToFile", descriptions as WriteToFile words them).
//
// Two renames cannot happen at once, so a save of several files is made recoverable: before the
// first rename a commit record, the hidden file CommitRecordPath(last target added) beside the last
// target, names every prepared temporary file, its target and a link to the target's old version;
// it is synced to disk and removed after the last rename. Recover() finishes a save that a kill or a
// power loss interrupted, or puts the old files back.
class SafeSave {
public:
    void Add(const QString& targetPath, const QByteArray& content);
    void Commit();

    // Where the commit record of a save whose last target is `mainTarget` lives: ".NAME.commit" in
    // the same folder (NAME shortened to fit the file system's limit).
    static QString CommitRecordPath(const QString& mainTarget);
    // Looks for the commit record of `mainTarget`. None: returns nullopt and changes nothing.
    // Otherwise finishes the interrupted save, or when it cannot be finished restores the files as
    // they were before it, removes the save's left-over temporary files and returns what was done,
    // in words for the user. Throws FileError when it can do neither (the record then stays).
    static std::optional<QString> Recover(const QString& mainTarget);

    // Test seam: called with each target path (as added) right before its temporary file is
    // renamed over it, and with the commit record's path right before the record is removed. A
    // hook that throws FileError makes that rename fail as a failing file system would.
    using RenameHook = std::function<void(const QString& targetPath)>;
    static void SetRenameHookForTest(RenameHook hook);

    // Test seam: when set, writes `content` into the temporary file of `targetPath` (or into the
    // commit record, with its path) in place of the plain write and returns the number of bytes
    // written (-1 for an error), so a test can make the device fail at any byte.
    using WriteHook =
        std::function<qint64(const QString& targetPath, QIODevice& file, const QByteArray& content)>;
    static void SetWriteHookForTest(WriteHook hook);

private:
    struct Item {
        QString target;
        QByteArray content;
    };
    std::vector<Item> items_;
};

} // namespace quillbox
