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
//
// A record is acted on only when it is proven this save's own: a regular file (not a link) owned by
// the user running Quillbox, small, naming exactly the target and its side file, with every other
// name absolute, in its target's folder and of this code's own pattern; and a target is renamed over
// or put back only while it is still the old file or the prepared one the record identifies (device,
// inode, size, modification time, and a hash of what was prepared). Anything else is reported and
// left as it is. Saves and recoveries of files in one folder are serialised with an advisory lock that
// only this user's processes can take (a lock file in the user's private lock folder, named after the
// folder's device and inode), so that two of them never work on one save at once, and nothing
// another user does can make a save or a load wait.
class SafeSave {
public:
    // One target as it was before a save or the recovery of one: `source` holds its old content (a
    // second name of the old file), empty when the target did not exist.
    struct OldFile {
        QString target;
        QString source;
    };
    // Shown a pair that no file will hold once a save or recovery is done, so that the caller can
    // keep it as an earlier version; true when it was kept.
    using KeepFiles = std::function<bool(const std::vector<OldFile>&)>;

    void Add(const QString& targetPath, const QByteArray& content);
    // `keep`, when given, sees the replaced files once every target is replaced (what it throws or
    // returns does not change the save, which has happened).
    void Commit(const KeepFiles& keep = {});

    // Where the commit record of a save whose last target is `mainTarget` lives: ".NAME.commit" in
    // the same folder (NAME shortened to fit the file system's limit).
    static QString CommitRecordPath(const QString& mainTarget);
    // Looks for the commit record of `mainTarget`. None: returns nullopt and changes nothing.
    // Otherwise finishes the interrupted save, or when it cannot be finished restores the files as
    // they were before it, removes the save's left-over temporary files and returns what was done,
    // in words for the user. A record that is not proven ours, or whose targets changed since, is
    // reported and nothing it names is touched. `keep` sees the pair that is not kept on disk: the
    // old files after a save is finished, or the prepared ones when the targets changed since (then
    // the record and its files stay unless `keep` returns true). Throws FileError when it can
    // neither finish nor undo (the record then stays), or when another program holds the save lock.
    // `foreign`, when given, is set to whether the record was left alone as not ours.
    static std::optional<QString> Recover(const QString& mainTarget, const KeepFiles& keep = {},
                                          bool* foreign = nullptr);

    // Test seam: how long a save waits for another one of the same folder before giving up (ms).
    static void SetLockWaitForTest(int milliseconds);

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
    // The hook set, for the other writers of the files layer (the files kept in private folders).
    static const WriteHook& WriteHookForTest();

    // Test seam: called right before each step that makes a save durable or visible, in the order
    // they happen: a file's data synced (`path`, the file itself), a rename (`path` to `to`), a
    // folder synced (`path`). A hook may stop the process there, as a power cut would.
    struct DiskStep {
        enum Kind { SyncFile, Rename, SyncFolder } kind;
        QString path;
        QString to;
    };
    using DiskStepHook = std::function<void(const DiskStep& step)>;
    static void SetDiskStepHookForTest(DiskStepHook hook);

private:
    struct Item {
        QString target;
        QByteArray content;
    };
    std::vector<Item> items_;
};

} // namespace quillbox
