#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace quillbox::saving {

// Saves and recoveries of files in one folder take turns, so that a second save of the same files
// (another window, the tool) waits for the first instead of taking its temporary files for a killed
// save's. Only this user's own Quillbox processes need to take turns, so the lock is a lock file in
// this user's private lock folder, named after the folder's device and inode: nobody else can hold
// it, and no file another user can open is ever waited on.
class FolderLock {
public:
    // Takes the locks of `folders` (in one order for every saver); `shown` names the file in messages.
    FolderLock(const QStringList& folders, const QString& shown);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    static QString LockFileFor(const QString& folder);
    void Lock(const QString& lock, const QString& shown);
    std::vector<std::pair<QString, int>> held_;
};

} // namespace quillbox::saving
