#include "SafeSave.h"

#include "FileAccess.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "PrivateFiles.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>
#include <optional>
#include <set>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

namespace {

SafeSave::RenameHook& Hook() {
    static SafeSave::RenameHook hook;
    return hook;
}

SafeSave::WriteHook& WriteHookFn() {
    static SafeSave::WriteHook hook;
    return hook;
}

SafeSave::DiskStepHook& DiskStepHookFn() {
    static SafeSave::DiskStepHook hook;
    return hook;
}

void ReportStep(SafeSave::DiskStep::Kind kind, const QString& path, const QString& to = {}) {
    if (DiskStepHookFn())
        DiskStepHookFn()({kind, path, to});
}

#ifdef Q_OS_UNIX
// Every sync goes through here, so that the test seam sees each one where it happens.
int Sync(SafeSave::DiskStep::Kind kind, int fd, const QString& path) {
    ReportStep(kind, path);
    return ::fsync(fd);
}
#endif

FileError WriteError(const QString& prefix, const QString& path) {
    return FileError{FileErrorNumber, QStringLiteral("WriteToFile"), prefix + path};
}

// True when the last failed call ran out of space (or of the user's quota): the message says so,
// since "cannot write" sends the user looking for a permission problem.
bool DiskFull() {
#ifdef Q_OS_UNIX
    return errno == ENOSPC || errno == EDQUOT;
#else
    return false;
#endif
}

FileError DiskFullError(const QString& path) {
    return WriteError(QStringLiteral("Error: The disk is full, so nothing was written; make room on it and "
                                     "try again: "),
                      path);
}

FileError CannotOpen(const QString& path) {
    if (DiskFull())
        return DiskFullError(path);
    return WriteError(QStringLiteral("Error: Cannot open the file: "), path);
}

FileError CannotWrite(const QString& path) {
    if (DiskFull())
        return DiskFullError(path);
    return WriteError(QStringLiteral("Error: Cannot write to the file: "), path);
}

FileError CannotFlush(const QString& path) {
    if (DiskFull())
        return DiskFullError(path);
    return WriteError(QStringLiteral("Error: Cannot wflush the file: "), path);
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

bool Rename(const QString& from, const QString& to) {
    ReportStep(SafeSave::DiskStep::Rename, from, to);
#ifdef Q_OS_UNIX
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#else
    QFile::remove(to);
    return QFile::rename(from, to);
#endif
}

bool Exists(const QString& path) {
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

void SyncFolder(const QString& folder) {
#ifdef Q_OS_UNIX
    // Makes renames and new names durable; a folder that cannot be synced is no reason to fail.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        Sync(SafeSave::DiskStep::SyncFolder, fd, folder);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

// The longest name the file system takes in `folder`, in bytes.
qint64 NameMax(const QString& folder) {
#ifdef Q_OS_UNIX
    const long max = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return max > 0 ? max : 255;
#else
    Q_UNUSED(folder);
    return 255;
#endif
}

// What a temporary name adds to its target's: "." before, "-" and 8 hex digits and ".tmp" after.
constexpr qint64 TempNameOverhead = 14;

// The part of a target's name that its temporary files and commit record carry: the name itself, or,
// when that would not fit the file system's limit in bytes, as many whole characters of it as fit
// followed by a short hash of the whole name, so that two long names stay apart.
QString NameBase(const QString& folder, const QString& fileName) {
    const qint64 budget = NameMax(folder) - TempNameOverhead;
    if (QFile::encodeName(fileName).size() <= budget)
        return fileName;
    const QString hash =
        QLatin1Char('~') +
        QString::fromLatin1(
            QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Md5).toHex().left(8));
    QString base = fileName;
    while (!base.isEmpty() && QFile::encodeName(base).size() + hash.size() > budget)
        base.chop(base.size() >= 2 && base.back().isLowSurrogate() ? 2 : 1);
    return base + hash;
}

QString TempPrefix(const QString& finalPath) {
    const QFileInfo info(finalPath);
    return info.absolutePath() + QStringLiteral("/.") + NameBase(info.absolutePath(), info.fileName()) +
           QLatin1Char('-');
}

QString NewTempName(const QString& finalPath) {
    return TempPrefix(finalPath) +
           QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')) +
           QStringLiteral(".tmp");
}

// True for a name this code gives the temporary files of `finalPath` (in its folder).
bool IsTempNameOf(const QString& name, const QString& finalPath) {
    const QString prefix = QFileInfo(TempPrefix(finalPath)).fileName();
    if (!name.startsWith(prefix) || name.size() != prefix.size() + 12 ||
        !name.endsWith(QStringLiteral(".tmp")))
        return false;
    for (qsizetype i = prefix.size(); i < prefix.size() + 8; ++i) {
        const QChar c = name[i];
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

// Removes the temporary files a killed save of `finalPath` left: only our own regular files with
// names of exactly the pattern this code gives them, never anything else.
void RemoveLeftovers(const QString& finalPath) {
    const QFileInfo info(finalPath);
    const QString prefix = QFileInfo(TempPrefix(finalPath)).fileName();
    const QDir folder(info.absolutePath());
    // Not a wildcard filter: the name may hold '[' or '*' itself.
    for (const QString& name :
         folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDir::Unsorted)) {
        if (name.startsWith(prefix) && IsTempNameOf(name, finalPath) &&
            IsOwnRegularFile(folder.filePath(name)))
            QFile::remove(folder.filePath(name));
    }
}

// The file a path finally names: a symlink is replaced by writing to what it points at, so the link
// itself stays a link. Returns nothing for a loop of links.
std::optional<QString> ResolveLinks(const QString& path) {
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        const QString next = info.symLinkTarget();
        if (next.isEmpty())
            return std::nullopt;
        current = next;
    }
    return std::nullopt;
}

struct Prepared {
    QString shown;      // the path as the caller gave it, for messages
    QString finalPath;  // after following symlinks
    QString tempPath;   // empty once renamed (or never created)
    QString backupPath; // a second name of the old target while the save is under way; empty: none
    bool existed = false;
    qint64 size = 0;
    FileIdentity oldId;    // the target before the save (missing when it did not exist)
    FileIdentity newId;    // the prepared temporary file
    FileIdentity backupId; // the second name of the old target (a link: the same as oldId)
    QByteArray hash;       // of the prepared content (hex)
};

QByteArray HashOf(const QByteArray& content) {
    // BLAKE2b: the fastest of the hashes Qt has here (about six times SHA-256), at no cost in safety.
    return QCryptographicHash::hash(content, QCryptographicHash::Blake2b_256).toHex();
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

// The path a target is finally written at: links followed, made absolute. Empty when it cannot be.
QString FinalPath(const QString& target) {
    const std::optional<QString> finalPath = ResolveLinks(target);
    if (!finalPath || finalPath->isEmpty() || QFileInfo(*finalPath).fileName().isEmpty())
        return {};
    return QFileInfo(*finalPath).absoluteFilePath();
}

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

// Creates a new temporary file for `finalPath` and opens it; returns its name, empty on failure.
QString CreateTemp(QFile& file, const QString& finalPath) {
    // A new file gets the usual permissions (the umask applies); an existing one's are copied later.
    const QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                 QFileDevice::ReadOther | QFileDevice::WriteOther;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = NewTempName(finalPath);
        file.setFileName(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered, permissions))
            return candidate;
        if (!QFileInfo::exists(candidate))
            break; // not a name clash: the folder does not let us create files
    }
    return {};
}

// Writes `content` to the open `file`, flushes and syncs it and closes it.
void WriteAndSync(QFile& file, const QString& shown, const QByteArray& content) {
    errno = 0;
#ifdef Q_OS_UNIX
    const qint64 written =
        WriteHookFn() ? WriteHookFn()(shown, file, content) : WriteAllToFd(file.handle(), content);
#else
    const qint64 written = WriteHookFn() ? WriteHookFn()(shown, file, content) : file.write(content);
#endif
    if (written != content.size())
        throw CannotWrite(shown);
    if (!file.flush())
        throw CannotWrite(shown);
#ifdef Q_OS_UNIX
    if (Sync(SafeSave::DiskStep::SyncFile, file.handle(), file.fileName()) != 0)
        throw CannotFlush(shown);
#endif
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw CannotWrite(shown);
}

// Creates the temporary file beside `item.finalPath` and writes, flushes and syncs `content` to it.
// `item.tempPath` is set as soon as the file exists so that it is removed on any later failure.
void Prepare(Prepared& item, const QByteArray& content) {
    QFile file;
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
    WriteAndSync(file, item.shown, content);
    item.newId = IdentityOf(item.tempPath);
    item.hash = HashOf(content);
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

// ---- The save lock ----
//
// Saves and recoveries of files in one folder take turns, so that a second save of the same files
// (another window, the tool) waits for the first instead of taking its temporary files for a killed
// save's. Only this user's own Quillbox processes need to take turns, so the lock is a lock file in
// this user's private lock folder, named after the folder's device and inode: nobody else can hold
// it, and no file another user can open is ever waited on.

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

class FolderLock {
public:
    FolderLock(const QStringList& folders, const QString& shown) {
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
    ~FolderLock() {
        for (const auto& [lock, fd] : held_) {
#ifdef Q_OS_UNIX
            ::flock(fd, LOCK_UN);
            ::close(fd);
#endif
            heldLocks.erase(lock);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    // The lock file of `folder`; empty when the folder cannot be looked at (nothing is saved there).
    static QString LockFileFor(const QString& folder) {
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

    void Lock(const QString& lock, const QString& shown) {
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
    std::vector<std::pair<QString, int>> held_;
};

// ---- The commit record ----
//
// Text lines: a title, then per target its path, its temporary file, its old version ("-" when the
// target did not exist), the new size, the identities of the old target and of the prepared file and
// the prepared content's hash, each path as percent-encoded bytes; then "end". A record without its
// last line was cut short while being written: no rename had begun. A save that is being undone is
// marked by a line "rollback" before "end", so that a kill while the old files go back cannot lead a
// later recovery to finish the save instead and mix the two.

const QByteArray RecordTitle = QByteArrayLiteral("Quillbox commit record 2");
// A record names two files with three paths each; anything larger is not one of ours.
constexpr qint64 RecordMaxBytes = 16 * 1024;

QByteArray EncodePath(const QString& path) {
    return path.isEmpty() ? QByteArrayLiteral("-") : QFile::encodeName(path).toPercentEncoding("/");
}

QString DecodePath(const QByteArray& field) {
    return field == "-" ? QString() : QFile::decodeName(QByteArray::fromPercentEncoding(field));
}

QByteArray RecordBytes(const std::vector<Prepared>& items) {
    QByteArray bytes = RecordTitle + '\n';
    for (const Prepared& p : items)
        bytes += EncodePath(p.finalPath) + '\t' + EncodePath(p.tempPath) + '\t' + EncodePath(p.backupPath) +
                 '\t' + QByteArray::number(p.size) + '\t' + p.oldId.ToText() + '\t' + p.newId.ToText() +
                 '\t' + p.hash + '\t' + p.backupId.ToText() + '\n';
    return bytes + "end\n";
}

struct Record {
    std::vector<Prepared> items;
    bool complete = false;
    bool rollBack = false;
    bool valid = false; // every line read is a line this code writes
};

Record ParseRecord(const QByteArray& bytes) {
    Record record;
    const QList<QByteArray> lines = bytes.split('\n');
    // Cut short inside its title: no line names anything yet.
    if (lines.size() == 1 && !bytes.isEmpty() && RecordTitle.startsWith(bytes)) {
        record.valid = true;
        return record;
    }
    if (lines.isEmpty() || lines.front() != RecordTitle)
        return record;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i] == "end" && i + 1 < lines.size()) {
            record.complete = i + 2 == lines.size() && lines.back().isEmpty();
            record.valid = record.complete && !record.items.empty();
            return record;
        }
        // The last line of a record cut short while being written may be cut itself: the lines
        // before it still count. No rename had begun then.
        if (i + 1 == lines.size()) {
            record.valid = true;
            return record;
        }
        if (lines[i] == "rollback") {
            record.rollBack = true;
            continue;
        }
        const QList<QByteArray> fields = lines[i].split('\t');
        if (fields.size() != 8)
            return record;
        bool sized = false;
        const qint64 size = fields[3].toLongLong(&sized);
        const std::optional<FileIdentity> oldId = FileIdentity::FromText(fields[4]);
        const std::optional<FileIdentity> newId = FileIdentity::FromText(fields[5]);
        const std::optional<FileIdentity> backupId = FileIdentity::FromText(fields[7]);
        if (!sized || size < 0 || fields[0] == "-" || fields[1] == "-" || !oldId || !newId ||
            !newId->exists || !backupId || fields[6].size() != 64 || (fields[2] == "-") == oldId->exists ||
            (fields[2] == "-") == backupId->exists)
            return record;
        Prepared p;
        p.finalPath = p.shown = DecodePath(fields[0]);
        p.tempPath = DecodePath(fields[1]);
        p.backupPath = DecodePath(fields[2]);
        p.existed = oldId->exists;
        p.size = size;
        p.oldId = *oldId;
        p.newId = *newId;
        p.hash = fields[6];
        p.backupId = *backupId;
        record.items.push_back(p);
    }
    return record;
}

void WriteRecord(const QString& recordPath, const QByteArray& bytes) {
    QFile file(recordPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        throw CannotOpen(recordPath);
    try {
        WriteAndSync(file, recordPath, bytes);
    } catch (const FileError&) {
        file.remove(); // no half record may stay behind a save that was refused
        throw;
    }
}

// Replaces the record by one marked "rollback" (atomically: a temporary file renamed over it).
// Nothing can be done about a failure here; the old files are put back all the same.
void MarkRollBack(const QString& recordPath, const QByteArray& bytes) {
    QFile file;
    const QString temp = CreateTemp(file, recordPath);
    if (temp.isEmpty())
        return;
    try {
        WriteAndSync(file, recordPath, bytes.chopped(4) + "rollback\nend\n");
    } catch (const FileError&) {
        QFile::remove(temp);
        return;
    }
    if (!Rename(temp, recordPath))
        QFile::remove(temp);
    SyncFolder(QFileInfo(recordPath).absolutePath());
}

QStringList FoldersOf(const std::vector<Prepared>& items, const QString& recordPath) {
    QStringList folders{QFileInfo(recordPath).absolutePath()};
    for (const Prepared& p : items) {
        const QString folder = QFileInfo(p.finalPath).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

void SyncFolders(const QStringList& folders) {
    for (const QString& folder : folders)
        SyncFolder(folder);
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

// Who owns the file at `path` itself (a link's own owner), in words.
QString OwnerOf(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return UserName(st.st_uid);
#endif
    return QStringLiteral("an unknown user");
}

QString NotOurs(const QString& recordPath, const QString& mainTarget, const QString& why) {
    return QStringLiteral("Quillbox found %1 (owned by %2) beside %3, but it is not a record of a save of "
                          "this library (%4). Quillbox has not touched it nor any file it names; if you "
                          "do not know it, remove it.")
        .arg(recordPath, OwnerOf(recordPath), mainTarget, why);
}

FileError RecordInTheWay(const QString& recordPath, const QString& why) {
    return WriteError(
        QStringLiteral("Error: Nothing was saved: a file that Quillbox did not write (%1) is in "
                       "the place of its commit record; remove or rename it, then save again: ")
            .arg(why),
        recordPath);
}

QString Finished(const QString& mainTarget) {
    return QStringLiteral(
               "The last save of %1 was interrupted. Quillbox has now finished it: the file and its "
               "descriptions both come from that save.")
        .arg(mainTarget);
}

QString RolledBack(const QString& mainTarget) {
    return QStringLiteral(
               "The last save of %1 was interrupted and could not be finished, so Quillbox has put "
               "back the file and its descriptions as they were before that save.")
        .arg(mainTarget);
}

QString NothingReplaced(const QString& mainTarget) {
    return QStringLiteral("The last save of %1 was interrupted before it had replaced a file: the file and "
                          "its descriptions are as they were before that save.")
        .arg(mainTarget);
}

enum class Kept { NotAsked, Yes, Failed };

QString ChangedSince(const QString& mainTarget, const QStringList& changed, Kept kept) {
    const QString start = QStringLiteral("The last save of %1 was interrupted, and since then %2 changed. "
                                         "Quillbox has left the files as they are now")
                              .arg(mainTarget, changed.join(QStringLiteral(" and ")));
    switch (kept) {
    case Kept::Yes:
        return start + QStringLiteral("; what that save would have written is kept as an earlier version.");
    case Kept::Failed:
        return start + QStringLiteral(", and the interrupted save's own files beside them, since it could "
                                      "not keep them as an earlier version; make room in your data folder.");
    case Kept::NotAsked:
        break;
    }
    return start + QLatin1Char('.');
}

FileError CannotRecover(const QString& mainTarget) {
    return WriteError(QStringLiteral("Error: The last save of this file was interrupted, and Quillbox can "
                                     "neither finish it nor put back the files as they were; make sure the "
                                     "folder can be written, then try again: "),
                      mainTarget);
}

// Why the record at `recordPath` is not this save's own, or empty when it is (then `record` holds it).
QString TrustRecord(const QString& recordPath, const QString& mainTarget, Record& record, QByteArray& bytes) {
    const OwnFile file = ReadOwnFile(recordPath, RecordMaxBytes);
    if (!file.refusal.isEmpty())
        return file.refusal;
    bytes = file.bytes;
    record = ParseRecord(bytes);
    if (!record.valid)
        return QStringLiteral("it is not a commit record that Quillbox wrote");
    // Its targets are exactly this library and its side file, as a save of it resolves them; every
    // other name lies beside its target and is one this code gives.
    const QString mainFinal = FinalPath(mainTarget);
    const QString sideFinal = FinalPath(SideFilePath(mainTarget));
    QStringList seen;
    for (const Prepared& p : record.items) {
        if (p.finalPath != mainFinal && p.finalPath != sideFinal)
            return QStringLiteral("it names %1, which is neither this library nor its side file")
                .arg(p.finalPath);
        if (seen.contains(p.finalPath))
            return QStringLiteral("it names %1 twice").arg(p.finalPath);
        seen.append(p.finalPath);
        const QString folder = QFileInfo(p.finalPath).absolutePath();
        for (const QString& name : {p.tempPath, p.backupPath}) {
            if (name.isEmpty())
                continue;
            const QFileInfo info(name);
            if (!QDir::isAbsolutePath(name) || info.absolutePath() != folder ||
                folder + QLatin1Char('/') + info.fileName() != name ||
                !IsTempNameOf(info.fileName(), p.finalPath))
                return QStringLiteral("it names %1, which is not a file Quillbox makes for %2")
                    .arg(name, p.finalPath);
        }
    }
    if (!record.complete)
        return {};
    if (!seen.contains(mainFinal))
        return QStringLiteral("it does not name this library");
    return {};
}

// What a target holds now, set against the record. OldUnproven: the old file by every mark but its
// change time, where that time is not the record's to prove: a record of an earlier release does
// not hold it, a roll back under way changed it by renaming the file back, and the loss of the
// save's second name of the file (a link) changed it too. Such a target is never written over, so
// the save is then undone.
enum class Now { Old, OldUnproven, New, Other };

bool HoldsHash(const QString& path, const QByteArray& hash) {
    try {
        return HashOf(ReadFileAsString(path)) == hash;
    } catch (const FileError&) {
        return false;
    }
}

Now TargetNow(const Prepared& p, bool rollBack) {
    const FileIdentity now = IdentityOf(p.finalPath);
    // Renamed into place, the prepared file has a change time of its own: then its content says it.
    if (now.exists && now.SameApartFromChange(p.newId) &&
        (now.changedNs == p.newId.changedNs || HoldsHash(p.finalPath, p.hash)))
        return Now::New;
    if (now == p.oldId) // also both missing: the target did not exist and still does not
        return Now::Old;
    if (now.exists && now.SameApartFromChange(p.oldId) && p.oldId.changedNs == FileIdentity::UnknownChange)
        return Now::OldUnproven;
    if (rollBack && now.exists && now.SameApartFromChange(p.backupId)) // put back before a kill
        return Now::OldUnproven;
    if (now.exists && now.SameApartFromChange(p.oldId) && p.backupId.SameApartFromChange(p.oldId)) {
        const FileIdentity backup = IdentityOf(p.backupPath);
        if (!backup.exists || backup.inode != p.oldId.inode || backup.device != p.oldId.device)
            return Now::OldUnproven;
    }
    return Now::Other;
}

// Our prepared temporary file, still as the save wrote it (identity and content).
bool TempIntact(const Prepared& p) {
    if (p.tempPath.isEmpty() || !IsOwnRegularFile(p.tempPath) ||
        !IdentityOf(p.tempPath).SameApartFromChange(p.newId))
        return false;
    try {
        return HashOf(ReadFileAsString(p.tempPath)) == p.hash;
    } catch (const FileError&) {
        return false;
    }
}

// A second name of the old target is the old file itself (so owned by whoever owned that), a copy
// is ours; neither is a link.
bool OwnOrLinkedFile(const Prepared& p) {
    if (p.backupId == p.oldId)
        return !QFileInfo(p.backupPath).isSymLink() && QFileInfo(p.backupPath).isFile();
    return IsOwnRegularFile(p.backupPath);
}

// Our second name of the old target, still that file.
// Its change time is not asked: the rename of the target over it changed that.
bool BackupIntact(const Prepared& p) {
    return !p.backupPath.isEmpty() && OwnOrLinkedFile(p) &&
           IdentityOf(p.backupPath).SameApartFromChange(p.backupId);
}

// Removes the temporary files and second names the record names, where they are still ours: a
// second name also when the target was rewritten in place through it (one file, two names).
void RemoveRecordedFiles(const std::vector<Prepared>& items) {
    for (const Prepared& p : items) {
        if (!p.tempPath.isEmpty() && IsOwnRegularFile(p.tempPath) &&
            IdentityOf(p.tempPath).SameApartFromChange(p.newId))
            QFile::remove(p.tempPath);
        const FileIdentity backup = IdentityOf(p.backupPath), target = IdentityOf(p.finalPath);
        const bool sameFile = backup.exists && backup.device == target.device &&
                              backup.inode == target.inode && p.backupId == p.oldId &&
                              !QFileInfo(p.backupPath).isSymLink();
        if (BackupIntact(p) || sameFile)
            QFile::remove(p.backupPath);
    }
}

std::optional<QString> RecoverLocked(const QString& mainTarget, const SafeSave::KeepFiles& keep,
                                     QString* foreign) {
    const QString recordPath = SafeSave::CommitRecordPath(mainTarget);
    if (!Exists(recordPath))
        return std::nullopt;
    Record record;
    QByteArray bytes;
    if (const QString why = TrustRecord(recordPath, mainTarget, record, bytes); !why.isEmpty()) {
        if (foreign)
            *foreign = why;
        return NotOurs(recordPath, mainTarget, why);
    }
    const QStringList folders = FoldersOf(record.items, recordPath);
    QString report;
    if (!record.complete) {
        // Cut short while being written: no target has been touched. Its temporary files are removed
        // below with every other leftover of ours.
        RemoveRecordedFiles(record.items);
        RemoveLeftovers(SideFilePath(mainTarget));
        RemoveLeftovers(mainTarget);
        report = NothingReplaced(mainTarget);
    } else {
        std::vector<Now> now;
        QStringList changed;
        for (const Prepared& p : record.items) {
            now.push_back(TargetNow(p, record.rollBack));
            if (now.back() == Now::Other)
                changed.prepend(p.finalPath); // the library (added last) first
        }
        if (!changed.isEmpty()) {
            // Someone wrote the files since: what is there now stays. The save's own pair is kept
            // where the caller can keep it, and only then are its files removed.
            std::vector<SafeSave::OldFile> prepared;
            bool whole = true;
            for (size_t i = 0; i < record.items.size(); ++i) {
                const Prepared& p = record.items[i];
                if (now[i] == Now::New)
                    prepared.push_back({p.finalPath, p.finalPath});
                else if (TempIntact(p))
                    prepared.push_back({p.finalPath, p.tempPath});
                else
                    whole = false;
            }
            Kept kept = Kept::NotAsked;
            if (whole && keep) {
                kept = Kept::Failed;
                try {
                    if (keep(prepared))
                        kept = Kept::Yes;
                } catch (const FileError&) {
                }
            }
            if (kept == Kept::Failed) {
                if (foreign)
                    *foreign = QStringLiteral("an interrupted save whose files could not be kept");
                return ChangedSince(mainTarget, changed, kept);
            }
            RemoveRecordedFiles(record.items);
            QFile::remove(recordPath);
            return ChangedSince(mainTarget, changed, kept);
        }
        // Every target is still its old or its new file: finish when each old one has its intact
        // prepared file, else put the old ones back.
        bool forward = !record.rollBack;
        for (size_t i = 0; forward && i < record.items.size(); ++i)
            forward = now[i] == Now::New || (now[i] == Now::Old && TempIntact(record.items[i]));
        if (forward) {
            for (size_t i = 0; i < record.items.size(); ++i) {
                Prepared& p = record.items[i];
                if (now[i] == Now::Old && !Rename(p.tempPath, p.finalPath))
                    throw CannotRecover(mainTarget);
            }
            SyncFolders(folders);
            report = Finished(mainTarget);
            // The pair the save replaced goes where every save's does.
            std::vector<SafeSave::OldFile> old;
            bool whole = true;
            for (const Prepared& p : record.items) {
                if (!p.existed)
                    old.push_back({p.finalPath, QString()});
                else if (BackupIntact(p))
                    old.push_back({p.finalPath, p.backupPath});
                else
                    whole = false;
            }
            if (whole && keep) {
                try {
                    keep(old);
                } catch (const FileError&) {
                }
            }
        } else {
            if (!record.rollBack)
                MarkRollBack(recordPath, bytes);
            bool ok = true, replaced = false;
            for (size_t i = 0; i < record.items.size(); ++i) {
                Prepared& p = record.items[i];
                if (now[i] != Now::New)
                    continue;
                replaced = true;
                if (p.existed)
                    ok = BackupIntact(p) && Rename(p.backupPath, p.finalPath) && ok;
                else
                    ok = QFile::remove(p.finalPath) && ok;
            }
            if (!ok)
                throw CannotRecover(mainTarget);
            SyncFolders(folders);
            report = replaced ? RolledBack(mainTarget) : NothingReplaced(mainTarget);
        }
        RemoveRecordedFiles(record.items);
    }
    if (!QFile::remove(recordPath))
        throw CannotRecover(mainTarget);
    RemoveLeftovers(recordPath);
    for (const Prepared& p : record.items)
        RemoveLeftovers(p.finalPath);
    return report;
}

QStringList TargetFolders(const QString& mainTarget) {
    QStringList folders{QFileInfo(mainTarget).absolutePath()};
    const QString mainFinal = FinalPath(mainTarget), sideFinal = FinalPath(SideFilePath(mainTarget));
    for (const QString& path : {mainFinal, sideFinal})
        if (!path.isEmpty())
            folders.append(QFileInfo(path).absolutePath());
    return folders;
}

} // namespace

void SafeSave::SetRenameHookForTest(RenameHook hook) {
    Hook() = std::move(hook);
}

void SafeSave::SetWriteHookForTest(WriteHook hook) {
    WriteHookFn() = std::move(hook);
}

const SafeSave::WriteHook& SafeSave::WriteHookForTest() {
    return WriteHookFn();
}

void SafeSave::SetDiskStepHookForTest(DiskStepHook hook) {
    DiskStepHookFn() = std::move(hook);
}

void SafeSave::SetLockWaitForTest(int milliseconds) {
    LockWaitMs() = milliseconds < 0 ? 5000 : milliseconds;
}

void SafeSave::Add(const QString& targetPath, const QByteArray& content) {
    items_.push_back({targetPath, content});
}

QString SafeSave::CommitRecordPath(const QString& mainTarget) {
    const QFileInfo info(mainTarget);
    return info.absolutePath() + QStringLiteral("/.") + NameBase(info.absolutePath(), info.fileName()) +
           QStringLiteral(".commit");
}

std::optional<QString> SafeSave::Recover(const QString& mainTarget, const KeepFiles& keep, bool* foreign) {
    const QString recordPath = CommitRecordPath(mainTarget);
    if (mainTarget.isEmpty() || !Exists(recordPath))
        return std::nullopt;
    // A record that is not ours is told about without waiting for the lock: nothing it names is
    // touched, so no save needs to be waited for, and a load never waits on anything of another's.
    {
        Record record;
        QByteArray bytes;
        if (const QString why = TrustRecord(recordPath, mainTarget, record, bytes); !why.isEmpty()) {
            if (foreign)
                *foreign = true;
            return NotOurs(recordPath, mainTarget, why);
        }
    }
    const FolderLock lock(TargetFolders(mainTarget), mainTarget);
    QString why;
    std::optional<QString> report = RecoverLocked(mainTarget, keep, &why);
    if (foreign)
        *foreign = !why.isEmpty();
    return report;
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

    for (size_t i = 0; i < items_.size(); ++i)
        Prepare(temps.items[i], items_[i].content);

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
