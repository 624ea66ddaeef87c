#include "SaveSteps.h"

#include "FileAccess.h"

#include <QCryptographicHash>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quillbox {

namespace saving {

namespace {

void ReportStep(SafeSave::DiskStep::Kind kind, const QString& path, const QString& to = {}) {
    if (DiskStepHookFn())
        DiskStepHookFn()({kind, path, to});
}

#ifdef Q_OS_UNIX
// Every sync goes through here, so that the test seam sees each one where it happens.
int SyncFd(SafeSave::DiskStep::Kind kind, int fd, const QString& path) {
    ReportStep(kind, path);
    return ::fsync(fd);
}
#endif

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

FileError CannotFlush(const QString& path) {
    if (DiskFull())
        return DiskFullError(path);
    return WriteError(QStringLiteral("Error: Cannot wflush the file: "), path);
}

} // namespace

SafeSave::WriteHook& WriteHookFn() {
    static SafeSave::WriteHook hook;
    return hook;
}

SafeSave::DiskStepHook& DiskStepHookFn() {
    static SafeSave::DiskStepHook hook;
    return hook;
}

FileError WriteError(const QString& prefix, const QString& path) {
    return FileError{FileErrorNumber, QStringLiteral("WriteToFile"), prefix + path};
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
        SyncFd(SafeSave::DiskStep::SyncFolder, fd, folder);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

void SyncFolders(const QStringList& folders) {
    for (const QString& folder : folders)
        SyncFolder(folder);
}

QByteArray HashOf(const QByteArray& content) {
    // BLAKE2b: the fastest of the hashes Qt has here (about six times SHA-256), at no cost in safety.
    return QCryptographicHash::hash(content, QCryptographicHash::Blake2b_256).toHex();
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
    Write(file, shown, content);
    Sync(file, shown);
}

void Write(QFile& file, const QString& shown, const QByteArray& content) {
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
#ifdef Q_OS_LINUX
    // Only a start: the sync below is what makes the data durable. Meanwhile the next file is
    // written, and the disk writes both at once.
    ::sync_file_range(file.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void Sync(QFile& file, const QString& shown) {
#ifdef Q_OS_UNIX
    errno = 0;
    if (SyncFd(SafeSave::DiskStep::SyncFile, file.handle(), file.fileName()) != 0)
        throw CannotFlush(shown);
#endif
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw CannotWrite(shown);
}

} // namespace saving

using namespace saving;

void SafeSave::SetWriteHookForTest(WriteHook hook) {
    WriteHookFn() = std::move(hook);
}

const SafeSave::WriteHook& SafeSave::WriteHookForTest() {
    return WriteHookFn();
}

void SafeSave::SetDiskStepHookForTest(DiskStepHook hook) {
    DiskStepHookFn() = std::move(hook);
}

} // namespace quillbox
