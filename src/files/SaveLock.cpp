#include "SaveLock.h"

#include "PrivateFiles.h"
#include "SafeSave.h"
#include "SaveSteps.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <set>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

namespace saving {

namespace {

int& LockWaitMs() {
    static int wait = 5000;
    return wait;
}

thread_local std::set<QString> heldLocks;

FileError SomeoneElseSaving(const QString& shown) {
    return WriteError(QStringLiteral("Error: Another program is saving this file, so nothing was written; "
                                     "try again in a moment: "),
                      shown);
}

FileError LockInTheWay(const QString& problem, const QString& shown) {
    return WriteError(QStringLiteral("Error: Nothing was saved: Quillbox cannot use its own save lock (%1); "
                                     "remove what is in its place, then save again: ")
                          .arg(problem),
                      shown);
}

} // namespace

FolderLock::FolderLock(const QStringList& folders, const QString& shown) {
    QStringList locks;
    for (const QString& folder : folders)
        if (const QString lock = LockFileFor(folder); !lock.isEmpty())
            locks.append(lock);
    locks.sort(); // one order for every saver, so that two never wait on each other
    locks.removeDuplicates();
    if (!locks.isEmpty()) {
        const QString folder = PrivateLockFolder();
        if (const QString problem = MakePrivateFolder(folder); !problem.isEmpty()) {
            // A data folder that cannot be written is no reason to refuse a save (as a file system
            // without locks is not); something in the lock folder's place is named.
#ifdef Q_OS_UNIX
            struct stat st {};
            if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
                return;
#endif
            throw LockInTheWay(problem, shown);
        }
    }
    for (const QString& lock : locks)
        Lock(lock, shown);
}

FolderLock::~FolderLock() {
    for (const auto& [lock, fd] : held_) {
#ifdef Q_OS_UNIX
        ::flock(fd, LOCK_UN);
        ::close(fd);
#endif
        heldLocks.erase(lock);
    }
}

// The lock file of `folder`; empty when the folder cannot be looked at (nothing is saved there).
QString FolderLock::LockFileFor(const QString& folder) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return {};
    return PrivateLockFolder() +
           QStringLiteral("/save-%1-%2.lock").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
#else
    Q_UNUSED(folder);
    return {};
#endif
}

void FolderLock::Lock(const QString& lock, const QString& shown) {
    if (heldLocks.count(lock))
        return; // this thread holds it already (a recovery inside a save)
#ifdef Q_OS_UNIX
    const PrivateFd file = OpenPrivateFile(lock);
    if (file.fd < 0)
        throw LockInTheWay(file.problem, shown);
    QDeadlineTimer deadline(LockWaitMs());
    while (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(file.fd); // no locks here: go on without
            return;
        }
        if (deadline.hasExpired()) {
            ::close(file.fd);
            throw SomeoneElseSaving(shown);
        }
        QThread::msleep(10);
    }
    held_.emplace_back(lock, file.fd);
    heldLocks.insert(lock);
#else
    Q_UNUSED(shown);
#endif
}

} // namespace saving

void SafeSave::SetLockWaitForTest(int milliseconds) {
    saving::LockWaitMs() = milliseconds < 0 ? 5000 : milliseconds;
}

} // namespace quillbox
