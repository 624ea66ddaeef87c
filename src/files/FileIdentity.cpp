#include "FileIdentity.h"

#include "LibraryFile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

QByteArray FileIdentity::ToText() const {
    if (!exists)
        return QByteArrayLiteral("-");
    return QByteArray::number(device) + ':' + QByteArray::number(inode) + ':' + QByteArray::number(size) +
           ':' + QByteArray::number(modifiedNs);
}

std::optional<FileIdentity> FileIdentity::FromText(const QByteArray& text) {
    if (text == "-")
        return FileIdentity{};
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 4)
        return std::nullopt;
    FileIdentity id;
    bool ok[4] = {};
    id.exists = true;
    id.device = parts[0].toULongLong(&ok[0]);
    id.inode = parts[1].toULongLong(&ok[1]);
    id.size = parts[2].toLongLong(&ok[2]);
    id.modifiedNs = parts[3].toLongLong(&ok[3]);
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || id.size < 0)
        return std::nullopt;
    return id;
}

FileIdentity IdentityOf(const QString& path) {
    FileIdentity id;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.exists = true;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
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
