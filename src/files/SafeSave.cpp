#include "SafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <system_error>

#ifdef Q_OS_UNIX
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

std::filesystem::path FsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
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
    QString shown;     // the path as the caller gave it, for messages
    QString finalPath; // after following symlinks
    QString tempPath;  // empty once renamed (or never created)
};

// Removes every temporary file that has not been renamed, whatever way Commit() is left.
class TempFiles {
public:
    std::vector<Prepared> items;
    ~TempFiles() {
        for (const Prepared& p : items) {
            if (!p.tempPath.isEmpty())
                QFile::remove(p.tempPath);
        }
    }
};

// Creates the temporary file beside `item.finalPath` and writes, flushes and syncs `content` to it.
// `item.tempPath` is set as soon as the file exists so that it is removed on any later failure.
void Prepare(Prepared& item, const QByteArray& content) {
    const QFileInfo target(item.finalPath);
    if (item.finalPath.isEmpty() || target.fileName().isEmpty())
        throw CannotOpen(item.shown);

#ifdef Q_OS_UNIX
    struct stat targetStat {};
    const bool targetExists = ::stat(QFile::encodeName(item.finalPath).constData(), &targetStat) == 0;
    if (targetExists && !S_ISREG(targetStat.st_mode))
        throw CannotOpen(item.shown);
#else
    const bool targetExists = target.exists();
    if (targetExists && !target.isFile())
        throw CannotOpen(item.shown);
#endif
    // A file the user made read-only stays as it is, even though its folder would allow a rename.
    if (targetExists && !target.isWritable())
        throw CannotOpen(item.shown);

    const QString folder = target.absolutePath();
    const QString base = target.fileName().left(200);
    QFile file;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = folder + QLatin1Char('/') + QLatin1Char('.') + base + QLatin1Char('-') +
                                  QString::number(QRandomGenerator::global()->generate(), 16) +
                                  QStringLiteral(".tmp");
        file.setFileName(candidate);
        // A new file gets the usual permissions (the umask applies); an existing one's are copied below.
        const QFileDevice::Permissions newFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                            QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                      newFilePermissions)) {
            item.tempPath = candidate;
            break;
        }
        if (!QFileInfo::exists(candidate))
            break; // not a name clash: the folder does not let us create files
    }
    if (item.tempPath.isEmpty())
        throw CannotOpen(item.shown);

#ifdef Q_OS_UNIX
    if (targetExists) {
        const int fd = file.handle();
        if (::fchmod(fd, targetStat.st_mode & 07777) != 0)
            throw CannotOpen(item.shown);
        // Keeping the owner needs privileges we usually lack; then the file is simply ours.
        if (::fchown(fd, targetStat.st_uid, targetStat.st_gid) != 0) {
        }
    }
#else
    if (targetExists)
        file.setPermissions(QFile::permissions(item.finalPath));
#endif

    const qint64 written = WriteHookFn() ? WriteHookFn()(item.shown, file, content) : file.write(content);
    if (written != content.size())
        throw CannotWrite(item.shown);
    if (!file.flush())
        throw CannotWrite(item.shown);
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        throw CannotFlush(item.shown);
#endif
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw CannotWrite(item.shown);
}

void SyncFolder(const QString& folder) {
#ifdef Q_OS_UNIX
    // Makes the renames themselves durable; a folder that cannot be synced is no reason to fail.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
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

void SafeSave::Commit() {
    TempFiles temps;
    temps.items.reserve(items_.size());
    for (const Item& item : items_) {
        const std::optional<QString> finalPath = ResolveLinks(item.target);
        if (!finalPath)
            throw CannotOpen(item.target);
        temps.items.push_back({item.target, *finalPath, QString()});
        Prepare(temps.items.back(), item.content);
    }

    // Everything is on disk; now each temporary file replaces its target, in the order added.
    QStringList folders;
    for (Prepared& p : temps.items) {
        if (Hook())
            Hook()(p.shown);
        std::error_code error;
        std::filesystem::rename(FsPath(p.tempPath), FsPath(p.finalPath), error);
        if (error)
            throw CannotWrite(p.shown);
        p.tempPath.clear();
        const QString folder = QFileInfo(p.finalPath).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    // One sync per folder makes all its renames durable (the library and its side file share one).
    for (const QString& folder : folders)
        SyncFolder(folder);
}

} // namespace quillbox
