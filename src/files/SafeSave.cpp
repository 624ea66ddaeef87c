#include "SafeSave.h"

#include "FileAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

FileError WriteError(const QString& prefix, const QString& path) {
    return FileError{FileErrorNumber, QStringLiteral("WriteToFile"), prefix + path};
}

FileError CannotOpen(const QString& path) {
    return WriteError(QStringLiteral("Error: Cannot open the file: "), path);
}

FileError CannotWrite(const QString& path) {
    return WriteError(QStringLiteral("Error: Cannot write to the file: "), path);
}

FileError CannotFlush(const QString& path) {
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
        ::fsync(fd);
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

// Removes the temporary files a killed save of `finalPath` left: only names of exactly the pattern
// this code gives them, never anything else.
void RemoveLeftovers(const QString& finalPath) {
    const QFileInfo info(finalPath);
    const QString prefix = QFileInfo(TempPrefix(finalPath)).fileName();
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(prefix) +
                                     QStringLiteral("[0-9a-f]{1,8}\\.tmp$"));
    const QDir folder(info.absolutePath());
    // Not a wildcard filter: the name may hold '[' or '*' itself.
    for (const QString& name :
         folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDir::Unsorted)) {
        if (name.startsWith(prefix) && pattern.match(name).hasMatch())
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
};

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
    const std::optional<QString> finalPath = ResolveLinks(target);
    if (!finalPath || finalPath->isEmpty() || QFileInfo(*finalPath).fileName().isEmpty())
        throw CannotOpen(target);
    // Absolute, so that the commit record names the same files from any working folder.
    Prepared item{target, QFileInfo(*finalPath).absoluteFilePath(), {}, {}, false, content.size()};
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
    const qint64 written = WriteHookFn() ? WriteHookFn()(shown, file, content) : file.write(content);
    if (written != content.size())
        throw CannotWrite(shown);
    if (!file.flush())
        throw CannotWrite(shown);
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
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
}

// A second name for the old target, so that it can be put back until the save is complete: a hard
// link where the file system has them, else a synced copy.
void KeepOldVersion(Prepared& item) {
#ifdef Q_OS_UNIX
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = NewTempName(item.finalPath);
        if (::link(QFile::encodeName(item.finalPath).constData(), QFile::encodeName(candidate).constData()) ==
            0) {
            item.backupPath = candidate;
            return;
        }
        if (errno != EEXIST)
            break;
    }
#endif
    const QByteArray old = ReadFileAsString(item.finalPath);
    QFile file;
    item.backupPath = CreateTemp(file, item.finalPath);
    if (item.backupPath.isEmpty())
        throw CannotOpen(item.shown);
    WriteAndSync(file, item.shown, old);
}

// ---- The commit record ----
//
// Text lines: a title, then per target its path, its temporary file, its old version ("-" when the
// target did not exist) and the new size, each path as percent-encoded bytes; then "end". A record
// without its last line was cut short while being written: no rename had begun. A save that is
// being undone is marked by a line "rollback" before "end", so that a kill while the old files go
// back cannot lead a later recovery to finish the save instead and mix the two.

const QByteArray RecordTitle = QByteArrayLiteral("Quillbox commit record 1");

QByteArray EncodePath(const QString& path) {
    return path.isEmpty() ? QByteArrayLiteral("-") : QFile::encodeName(path).toPercentEncoding();
}

QString DecodePath(const QByteArray& field) {
    return field == "-" ? QString() : QFile::decodeName(QByteArray::fromPercentEncoding(field));
}

QByteArray RecordBytes(const std::vector<Prepared>& items) {
    QByteArray bytes = RecordTitle + '\n';
    for (const Prepared& p : items)
        bytes += EncodePath(p.finalPath) + '\t' + EncodePath(p.tempPath) + '\t' + EncodePath(p.backupPath) +
                 '\t' + QByteArray::number(p.size) + '\n';
    return bytes + "end\n";
}

struct Record {
    std::vector<Prepared> items;
    bool complete = false;
    bool rollBack = false;
};

Record ParseRecord(const QByteArray& bytes) {
    Record record;
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.front() != RecordTitle)
        return record;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i] == "end") {
            record.complete = i + 2 == lines.size() && lines.back().isEmpty();
            return record;
        }
        if (lines[i] == "rollback") {
            record.rollBack = true;
            continue;
        }
        const QList<QByteArray> fields = lines[i].split('\t');
        bool sized = false;
        const qint64 size = fields.size() == 4 ? fields[3].toLongLong(&sized) : 0;
        if (!sized || fields[0] == "-" || fields[1] == "-")
            return record;
        Prepared p;
        p.finalPath = p.shown = DecodePath(fields[0]);
        p.tempPath = DecodePath(fields[1]);
        p.backupPath = DecodePath(fields[2]);
        p.existed = !p.backupPath.isEmpty();
        p.size = size;
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

// Puts every target back as it was before the save: the old version's second name is renamed over
// it (where the temporary file had not replaced it yet, both names are the same file and nothing
// changes), and a target that did not exist is removed again once its temporary file has replaced
// it. Can run again after a kill: an old version already put back has no second name left. False
// when a target cannot be put back.
bool RollBack(std::vector<Prepared>& items) {
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

FileError CannotRecover(const QString& mainTarget) {
    return WriteError(QStringLiteral("Error: The last save of this file was interrupted, and Quillbox can "
                                     "neither finish it nor put back the files as they were; make sure the "
                                     "folder can be written, then try again: "),
                      mainTarget);
}

} // namespace

void SafeSave::SetRenameHookForTest(RenameHook hook) {
    Hook() = std::move(hook);
}

void SafeSave::SetWriteHookForTest(WriteHook hook) {
    WriteHookFn() = std::move(hook);
}

void SafeSave::Add(const QString& targetPath, const QByteArray& content) {
    items_.push_back({targetPath, content});
}

QString SafeSave::CommitRecordPath(const QString& mainTarget) {
    const QFileInfo info(mainTarget);
    return info.absolutePath() + QStringLiteral("/.") + NameBase(info.absolutePath(), info.fileName()) +
           QStringLiteral(".commit");
}

std::optional<QString> SafeSave::Recover(const QString& mainTarget) {
    if (mainTarget.isEmpty())
        return std::nullopt;
    const QString recordPath = CommitRecordPath(mainTarget);
    if (!Exists(recordPath))
        return std::nullopt;
    QByteArray bytes;
    try {
        bytes = ReadFileAsString(recordPath);
    } catch (const FileError&) {
        throw CannotRecover(mainTarget);
    }
    Record record = ParseRecord(bytes);
    const QStringList folders = FoldersOf(record.items, recordPath);
    QString report;
    if (!record.complete) {
        // Cut short while being written: no target has been touched.
        for (const Prepared& p : record.items) {
            QFile::remove(p.tempPath);
            if (!p.backupPath.isEmpty())
                QFile::remove(p.backupPath);
        }
        report = NothingReplaced(mainTarget);
    } else {
        // Every temporary file was complete and synced before the record was written, so the save
        // can be finished by the renames that did not happen.
        bool finished = !record.rollBack;
        for (Prepared& p : record.items) {
            if (!finished)
                break;
            if (Exists(p.tempPath))
                finished = Rename(p.tempPath, p.finalPath);
            else
                finished = QFileInfo(p.finalPath).size() == p.size; // else not what this save wrote
        }
        if (finished) {
            report = Finished(mainTarget);
        } else {
            if (!record.rollBack)
                MarkRollBack(recordPath, bytes);
            if (!RollBack(record.items))
                throw CannotRecover(mainTarget);
            report = RolledBack(mainTarget);
        }
        SyncFolders(folders);
        for (const Prepared& p : record.items) {
            QFile::remove(p.tempPath);
            if (!p.backupPath.isEmpty())
                QFile::remove(p.backupPath);
        }
    }
    if (!QFile::remove(recordPath))
        throw CannotRecover(mainTarget);
    RemoveLeftovers(recordPath);
    for (const Prepared& p : record.items)
        RemoveLeftovers(p.finalPath);
    return report;
}

void SafeSave::Commit() {
    if (items_.empty())
        return;
    TempFiles temps;
    temps.items.reserve(items_.size());
    // Everything that can be known beforehand is checked before a byte is written.
    for (const Item& item : items_)
        temps.items.push_back(Check(item.target, item.content));

    // A save of the same files that was interrupted is finished (or undone) first; callers that
    // tell the user about it have called Recover() already.
    const QString recordPath = CommitRecordPath(items_.back().target);
    Recover(items_.back().target);
    for (const Prepared& p : temps.items)
        RemoveLeftovers(p.finalPath);

    for (size_t i = 0; i < items_.size(); ++i)
        Prepare(temps.items[i], items_[i].content);

    const bool recorded = temps.items.size() > 1;
    QByteArray recordBytes;
    const QStringList folders = FoldersOf(temps.items, recordPath);
    if (recorded) {
        for (Prepared& p : temps.items) {
            if (p.existed)
                KeepOldVersion(p);
        }
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
            if (recorded) {
                // The targets already replaced get their old versions back; the record goes only
                // once that has happened, so that a later Recover() can still try.
                MarkRollBack(recordPath, recordBytes);
                if (!RollBack(temps.items)) {
                    temps.keep = true;
                    throw CannotWrite(p.shown);
                }
                SyncFolders(folders);
                QFile::remove(recordPath);
            }
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
}

} // namespace quillbox
