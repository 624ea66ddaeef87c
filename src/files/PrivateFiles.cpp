#include "PrivateFiles.h"

#include "FileAccess.h"
#include "FileError.h"
#include "FileIdentity.h"
#include "SafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

namespace {

#ifdef Q_OS_UNIX
// What is wrong with a file, told by a stat of the file itself (not of what a link names).
QString WhatIsWrong(const struct stat& st, const QString& path) {
    if (S_ISLNK(st.st_mode))
        return path + QStringLiteral(" is a link");
    if (!S_ISREG(st.st_mode))
        return path + QStringLiteral(" is not a regular file");
    if (st.st_uid != ::geteuid())
        return path + QStringLiteral(" belongs to ") + UserName(st.st_uid);
    return {};
}

bool MakeOneFolder(const QByteArray& name) {
    return ::mkdir(name.constData(), 0700) == 0 || errno == EEXIST;
}
#endif

} // namespace

QString MakePrivateFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
#ifdef Q_OS_UNIX
    // The missing folders on the way are made 0700 too: a new folder is private from the start.
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString at;
    for (const QString& part : parts) {
        at += QLatin1Char('/') + part;
        if (!MakeOneFolder(QFile::encodeName(at)))
            return QStringLiteral("Cannot create the folder: ") + at;
    }
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("Cannot create the folder: ") + path;
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("Cannot use the folder: ") + path +
               QStringLiteral(" (it is a link, not a folder of Quillbox's own)");
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("Cannot create the folder: ") + path +
               QStringLiteral(" (something that is not a folder is in its place)");
    if (st.st_uid != ::geteuid())
        return QStringLiteral("Cannot use the folder: ") + path + QStringLiteral(" (it belongs to ") +
               UserName(st.st_uid) + QLatin1Char(')');
    if ((st.st_mode & 07777) != 0700 && ::chmod(QFile::encodeName(path).constData(), 0700) != 0)
        return QStringLiteral("Cannot make the folder private: ") + path;
#else
    if (!QDir().mkpath(path))
        return QStringLiteral("Cannot create the folder: ") + path;
#endif
    return {};
}

QString NotPrivateFile(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return WhatIsWrong(st, path);
#else
    const QFileInfo info(path);
    if (info.isSymLink())
        return path + QStringLiteral(" is a link");
    if (info.exists() && !info.isFile())
        return path + QStringLiteral(" is not a regular file");
    return {};
#endif
}

PrivateFd OpenPrivateFile(const QString& path) {
    PrivateFd result;
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        result.problem = errno == ELOOP ? path + QStringLiteral(" is a link")
                                        : QStringLiteral("Cannot open the file ") + path;
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        result.problem = QStringLiteral("Cannot open the file ") + path;
    else
        result.problem = WhatIsWrong(st, path);
    if (result.problem.isEmpty() && (st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        result.problem = QStringLiteral("Cannot make the file private: ") + path;
    if (result.problem.isEmpty() && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        result.problem = QStringLiteral("Cannot open the file ") + path;
    if (!result.problem.isEmpty()) {
        ::close(fd);
        return result;
    }
    result.fd = fd;
#else
    result.problem = QStringLiteral("Cannot open the file ") + path;
#endif
    return result;
}

void WritePrivateFile(const QString& path, const QByteArray& content, const QString& source) {
    auto fail = [&source](const QString& text) {
        return FileError{FileErrorNumber, source, text};
    };
    const QFileInfo info(path);
    if (const QString wrong = NotPrivateFile(path); !wrong.isEmpty())
        throw fail(QStringLiteral("Error: Not a file Quillbox made, so it is left alone: ") + wrong);
#ifdef Q_OS_UNIX
    QString temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
               QStringLiteral("-%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        fd = ::open(QFile::encodeName(temp).constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const bool full = errno == ENOSPC || errno == EDQUOT;
        throw fail((full ? QStringLiteral("Error: The disk is full, so nothing was written; make room on it "
                                          "and try again: ")
                         : QStringLiteral("Error: Cannot open the file: ")) +
                   path);
    }
    // Through the save's write seam when a test set one, so that a full disk is tried here too.
    qint64 count = -1;
    int writeErrno = 0;
    if (::fchmod(fd, 0600) == 0) {
        if (const SafeSave::WriteHook& hook = SafeSave::WriteHookForTest()) {
            QFile file;
            if (file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
                count = hook(path, file, content);
            writeErrno = errno;
        } else {
            count = WriteAllToFd(fd, content);
            writeErrno = errno;
        }
    }
    const bool written = count == content.size() && ::fsync(fd) == 0;
    if (count == content.size())
        writeErrno = errno;
    ::close(fd);
    if (!written || ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        const bool full = writeErrno == ENOSPC || writeErrno == EDQUOT;
        ::unlink(QFile::encodeName(temp).constData());
        throw fail((full ? QStringLiteral("Error: The disk is full, so nothing was written; make room on it "
                                          "and try again: ")
                         : QStringLiteral("Error: Cannot write to the file: ")) +
                   path);
    }
    const int dir =
        ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
#else
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        throw fail(QStringLiteral("Error: Cannot write to the file: ") + path);
#endif
}

QString PrivateLockFolder() {
#ifdef Q_OS_UNIX
    // The runtime folder is the natural home (memory-backed, cleared at logout), but only when it is
    // what it should be: the user's own and closed to everyone else.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.isEmpty() && runtime.startsWith('/') && ::lstat(runtime.constData(), &st) == 0 &&
        S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700)
        return QFile::decodeName(runtime) + QStringLiteral("/quillbox");
#endif
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/locks");
}

} // namespace quillbox
