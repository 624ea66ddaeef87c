#include "SafeSave.h"

#include "CommitRecord.h"
#include "FileAccess.h"
#include "FileIdentity.h"
#include "SaveLock.h"
#include "SaveRecovery.h"
#include "SaveSteps.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <future>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

using namespace saving;

namespace {

SafeSave::RenameHook& Hook() {
    static SafeSave::RenameHook hook;
    return hook;
}

FileError TooLargeToSave(const QString& path) {
    return WriteError(QStringLiteral("Error: Nothing was saved: the file would be larger than %1, the most "
                                     "Quillbox reads back; make it smaller (split the library) and save "
                                     "again: ")
                          .arg(MaxFileSizeText()),
                      path);
}

FileError NotRegularToSave(const QString& path) {
    return WriteError(
        QStringLiteral("Error: Not a regular file (a FIFO, a device or a socket), which Quillbox "
                       "does not write; choose another name: "),
        path);
}

FileError NameTooLong(const QString& path, qsizetype bytes, qint64 limit) {
    return WriteError(
        QStringLiteral("Error: The file name is too long (%1 bytes, where this folder allows at "
                       "most %2); choose a shorter name: ")
            .arg(bytes)
            .arg(limit),
        path);
}

// Removes every temporary file that has not been renamed and every backup name, whatever way
// Commit() is left, unless a commit record that names them has to stay.
class TempFiles {
public:
    std::vector<Prepared> items;
    bool keep = false;
    ~TempFiles() {
        if (keep)
            return;
        for (const Prepared& p : items) {
            if (!p.tempPath.isEmpty())
                QFile::remove(p.tempPath);
            if (!p.backupPath.isEmpty())
                QFile::remove(p.backupPath);
        }
    }
};

// Everything that can be known about a target before a byte is written.
Prepared Check(const QString& target, const QByteArray& content) {
    const QString finalPath = FinalPath(target);
    if (finalPath.isEmpty())
        throw CannotOpen(target);
    // Absolute, so that the commit record names the same files from any working folder.
    Prepared item;
    item.shown = target;
    item.finalPath = finalPath;
    item.size = content.size();
    const QFileInfo info(item.finalPath);
    if (content.size() > MaxFileSize())
        throw TooLargeToSave(item.shown);
    const qsizetype nameBytes = QFile::encodeName(info.fileName()).size();
    if (const qint64 limit = NameMax(info.absolutePath()); nameBytes > limit)
        throw NameTooLong(item.shown, nameBytes, limit);
#ifdef Q_OS_UNIX
    struct stat targetStat {};
    item.existed = ::stat(QFile::encodeName(item.finalPath).constData(), &targetStat) == 0;
    if (item.existed && S_ISDIR(targetStat.st_mode))
        throw CannotOpen(item.shown);
    if (item.existed && !S_ISREG(targetStat.st_mode))
        throw NotRegularToSave(item.shown);
#else
    item.existed = info.exists();
    if (item.existed && info.isDir())
        throw CannotOpen(item.shown);
    if (item.existed && !info.isFile())
        throw NotRegularToSave(item.shown);
#endif
    // A file the user made read-only stays as it is, even though its folder would allow a rename.
    if (item.existed && !info.isWritable())
        throw CannotOpen(item.shown);
    return item;
}

// Creates the temporary file beside `item.finalPath` and writes `content` to it, its way to the disk
// started; Sync() makes it durable. `item.tempPath` is set as soon as the file exists so that it is
// removed on any later failure.
void Prepare(Prepared& item, QFile& file, const QByteArray& content) {
    item.tempPath = CreateTemp(file, item.finalPath);
    if (item.tempPath.isEmpty())
        throw CannotOpen(item.shown);
    if (item.existed) {
#ifdef Q_OS_UNIX
        struct stat targetStat {};
        const int fd = file.handle();
        if (::stat(QFile::encodeName(item.finalPath).constData(), &targetStat) != 0 ||
            ::fchmod(fd, targetStat.st_mode & 07777) != 0)
            throw CannotOpen(item.shown);
        // Keeping the owner needs privileges we usually lack; then the file is simply ours.
        if (::fchown(fd, targetStat.st_uid, targetStat.st_gid) != 0) {
        }
#else
        file.setPermissions(QFile::permissions(item.finalPath));
#endif
    }
    Write(file, item.shown, content);
}

// A second name for the old target, so that it can be put back until the save is complete: a hard
// link where the file system has them, else a synced copy.
void KeepOldVersion(Prepared& item) {
    item.oldId = IdentityOf(item.finalPath);
#ifdef Q_OS_UNIX
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = NewTempName(item.finalPath);
        if (::link(QFile::encodeName(item.finalPath).constData(), QFile::encodeName(candidate).constData()) ==
            0) {
            item.backupPath = candidate;
            // The new link changed the file's change time: the old target is recorded as it is now,
            // which is what a later look at it must find.
            item.backupId = IdentityOf(candidate);
            item.oldId = item.backupId;
            return;
        }
        if (errno != EEXIST)
            break;
    }
#endif
    // A copy is another file: the record then identifies the old target by what it was before the
    // save, and rolling back is judged by the target alone.
    const QByteArray old = ReadFileAsString(item.finalPath);
    QFile file;
    item.backupPath = CreateTemp(file, item.finalPath);
    if (item.backupPath.isEmpty())
        throw CannotOpen(item.shown);
    WriteAndSync(file, item.shown, old);
    item.backupId = IdentityOf(item.backupPath);
}

// Puts every target of a save under way back as it was (see Commit()): the old version's second
// name is renamed over it, and a target that did not exist is removed again once its temporary file
// has replaced it. False when a target cannot be put back.
bool RollBackOwnSave(std::vector<Prepared>& items) {
    bool ok = true;
    for (Prepared& p : items) {
        const bool tempLeft = !p.tempPath.isEmpty() && Exists(p.tempPath);
        if (p.existed) {
            if (p.backupPath.isEmpty() || !Exists(p.backupPath))
                continue;
            if (!Rename(p.backupPath, p.finalPath)) {
                ok = false;
                continue;
            }
            QFile::remove(p.backupPath); // still there when it named the target's own file
            p.backupPath.clear();
        } else if (!tempLeft && Exists(p.finalPath) && !QFile::remove(p.finalPath)) {
            ok = false;
        }
    }
    return ok;
}

FileError RecordInTheWay(const QString& recordPath, const QString& why) {
    return WriteError(
        QStringLiteral("Error: Nothing was saved: a file that Quillbox did not write (%1) is in "
                       "the place of its commit record; remove or rename it, then save again: ")
            .arg(why),
        recordPath);
}

} // namespace

void SafeSave::SetRenameHookForTest(RenameHook hook) {
    Hook() = std::move(hook);
}

void SafeSave::Add(const QString& targetPath, const QByteArray& content) {
    items_.push_back({targetPath, content});
}

void SafeSave::Commit(const KeepFiles& keep) {
    if (items_.empty())
        return;
    TempFiles temps;
    temps.items.reserve(items_.size());
    // Everything that can be known beforehand is checked before a byte is written.
    for (const Item& item : items_)
        temps.items.push_back(Check(item.target, item.content));

    const QString recordPath = CommitRecordPath(items_.back().target);
    QStringList lockFolders = FoldersOf(temps.items, recordPath);
    const FolderLock lock(lockFolders, items_.back().target);

    // A save of the same files that was interrupted is finished (or undone) first; callers that
    // tell the user about it have called Recover() already. A record that is not ours stays, and
    // then a save that needs a record of its own cannot be made.
    const bool recorded = temps.items.size() > 1;
    QString foreign;
    RecoverLocked(items_.back().target, keep, &foreign);
    if (recorded && Exists(recordPath))
        throw RecordInTheWay(recordPath,
                             foreign.isEmpty() ? QStringLiteral("it could not be removed") : foreign);
    for (const Prepared& p : temps.items)
        RemoveLeftovers(p.finalPath);

    // The commit record names each new file by the hash of its content: each computed on a thread of
    // its own while the files are written and synced, which mostly waits for the disk. The futures
    // are waited for on every way out, so the contents outlive them; without a thread to spare, they
    // run here.
    std::vector<std::future<QByteArray>> hashes;
    for (const Item& item : items_)
        hashes.push_back(
            std::async(std::launch::async | std::launch::deferred, [&item] { return HashOf(item.content); }));
    // All the files are written before the first is synced, so that the disk writes them together
    // and one flush of the file system's journal can serve them all. Closed (when still open) before
    // `temps` removes them.
    std::vector<std::unique_ptr<QFile>> files;
    for (size_t i = 0; i < items_.size(); ++i) {
        files.push_back(std::make_unique<QFile>());
        Prepare(temps.items[i], *files.back(), items_[i].content);
    }
    for (size_t i = 0; i < items_.size(); ++i) {
        Sync(*files[i], temps.items[i].shown);
        temps.items[i].newId = IdentityOf(temps.items[i].tempPath);
    }
    for (size_t i = 0; i < items_.size(); ++i)
        temps.items[i].hash = hashes[i].get();

    QByteArray recordBytes;
    const QStringList folders = FoldersOf(temps.items, recordPath);
    for (Prepared& p : temps.items) {
        if (p.existed && (recorded || keep))
            KeepOldVersion(p);
    }
    if (recorded) {
        recordBytes = RecordBytes(temps.items);
        WriteRecord(recordPath, recordBytes);
        // The record, the temporary files and the old versions' names are durable before any target
        // changes.
        SyncFolders(folders);
    }

    // Everything is on disk; now each temporary file replaces its target, in the order added.
    for (Prepared& p : temps.items) {
        bool renamed = false;
        try {
            if (Hook())
                Hook()(p.shown);
            renamed = Rename(p.tempPath, p.finalPath);
        } catch (const FileError&) {
        }
        if (!renamed) {
            const int renameErrno = errno;
            if (recorded) {
                // The targets already replaced get their old versions back; the record goes only
                // once that has happened, so that a later Recover() can still try.
                MarkRollBack(recordPath, recordBytes);
                if (!RollBackOwnSave(temps.items)) {
                    temps.keep = true;
                    errno = renameErrno;
                    throw CannotWrite(p.shown);
                }
                SyncFolders(folders);
                QFile::remove(recordPath);
            }
            errno = renameErrno;
            throw CannotWrite(p.shown);
        }
        p.tempPath.clear();
    }
    // One sync per folder makes all its renames durable (the library and its side file share one).
    SyncFolders(folders);
    if (recorded) {
        if (Hook())
            Hook()(recordPath);
        QFile::remove(recordPath);
    }
    // The save is complete; the replaced pair is handed over while its second names still hold it.
    if (keep) {
        std::vector<OldFile> old;
        for (const Prepared& p : temps.items)
            old.push_back({p.finalPath, p.backupPath});
        try {
            keep(old);
        } catch (const FileError&) {
        }
    }
}

} // namespace quillbox
