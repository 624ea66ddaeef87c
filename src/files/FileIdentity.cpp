#include "FileIdentity.h"

#include "LibraryFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#ifdef Q_OS_UNIX
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

QByteArray FileIdentity::ToText() const {
    if (!exists)
        return QByteArrayLiteral("-");
    return QByteArray::number(device) + ':' + QByteArray::number(inode) + ':' + QByteArray::number(size) +
           ':' + QByteArray::number(modifiedNs) +
           (changedNs == UnknownChange ? QByteArray() : ':' + QByteArray::number(changedNs));
}

std::optional<FileIdentity> FileIdentity::FromText(const QByteArray& text) {
    if (text == "-")
        return FileIdentity{};
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 4 && parts.size() != 5)
        return std::nullopt;
    FileIdentity id;
    bool ok[5] = {false, false, false, false, true};
    id.exists = true;
    id.device = parts[0].toULongLong(&ok[0]);
    id.inode = parts[1].toULongLong(&ok[1]);
    id.size = parts[2].toLongLong(&ok[2]);
    id.modifiedNs = parts[3].toLongLong(&ok[3]);
    id.changedNs = parts.size() == 5 ? parts[4].toLongLong(&ok[4]) : UnknownChange;
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || !ok[4] || id.size < 0 ||
        (parts.size() == 5 && id.changedNs < 0))
        return std::nullopt;
    return id;
}

#ifdef Q_OS_UNIX
FileIdentity IdentityFromStat(const struct stat& st) {
    FileIdentity id;
    id.exists = true;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    id.changedNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    return id;
}
#endif

FileIdentity IdentityOf(const QString& path) {
    FileIdentity id;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id = IdentityFromStat(st);
#else
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return id;
    id.exists = true;
    id.size = info.size();
    id.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
#endif
    return id;
}

QString UserName(uint uid) {
#ifdef Q_OS_UNIX
    if (const passwd* pw = ::getpwuid(uid))
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    return QStringLiteral("user %1").arg(uid);
}

OwnFile ReadOwnFile(const QString& path, qint64 maxBytes) {
    OwnFile file;
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        file.missing = errno == ENOENT;
        if (!file.missing)
            file.refusal =
                errno == ELOOP ? QStringLiteral("it is a link") : QStringLiteral("it cannot be opened");
        return file;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        file.refusal = QStringLiteral("it is not a regular file");
    else if (st.st_uid != ::geteuid())
        file.refusal = QStringLiteral("it belongs to %1").arg(UserName(st.st_uid));
    else if (st.st_size > maxBytes)
        file.refusal = QStringLiteral("it is %1 bytes, more than such a file can be").arg(st.st_size);
    if (file.refusal.isEmpty()) {
        // One byte more than allowed is asked for, so that a file that grew since is noticed.
        file.bytes.resize(qsizetype(std::min<qint64>(st.st_size, maxBytes) + 1));
        qsizetype got = 0;
        while (got < file.bytes.size()) {
            const ssize_t n = ::read(fd, file.bytes.data() + got, size_t(file.bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        file.bytes.resize(got);
        if (got > maxBytes)
            file.refusal = QStringLiteral("it is more than such a file can be");
    }
    ::close(fd);
#else
    const QFileInfo info(path);
    QFile qfile(path);
    if (!info.exists() && !info.isSymLink())
        file.missing = true;
    else if (info.isSymLink())
        file.refusal = QStringLiteral("it is a link");
    else if (!info.isFile())
        file.refusal = QStringLiteral("it is not a regular file");
    else if (info.size() > maxBytes)
        file.refusal = QStringLiteral("it is %1 bytes, more than such a file can be").arg(info.size());
    else if (!qfile.open(QIODevice::ReadOnly))
        file.refusal = QStringLiteral("it cannot be opened");
    else
        file.bytes = qfile.read(maxBytes + 1);
#endif
    if (!file.refusal.isEmpty())
        file.bytes.clear();
    return file;
}

bool SameFile(const QString& first, const QString& second) {
    const QString canonical = QFileInfo(first).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(second).canonicalFilePath();
}

QString LibraryKeyPath(const QString& libPath) {
    const QFileInfo info(libPath);
    QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return QDir::cleanPath(info.absoluteFilePath());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + info.fileName();
}

bool IsOwnRegularFile(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_uid == ::geteuid();
#else
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
#endif
}

PairIdentity PairIdentityOf(const QString& libPath) {
    return {IdentityOf(libPath), IdentityOf(SideFilePath(libPath))};
}

} // namespace quillbox
