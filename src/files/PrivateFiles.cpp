#include "PrivateFiles.h"

#include "FileAccess.h"
#include "FileError.h"
#include "FileIdentity.h"
#include "SafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
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
    WritePrivateFiles({{path, content, {}, {}}}, source);
}

#ifdef Q_OS_UNIX
namespace {

QString NewPrivateTempName(const QFileInfo& info) {
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() +
           QStringLiteral("-%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// A temporary name for `file.path` that is a second name of `file.sameAs`, when the file found there
// is still the one whose bytes were compared (same device, inode, size and modification time) and a
// regular file of ours of mode 0600. False, and no name left, when it cannot be had.
bool LinkTwin(const PrivateFileContent& file, const QFileInfo& info, QString& temp) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = NewPrivateTempName(info);
        if (::link(QFile::encodeName(file.sameAs).constData(), QFile::encodeName(candidate).constData()) !=
            0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        struct stat st {};
        if (::lstat(QFile::encodeName(candidate).constData(), &st) == 0 &&
            WhatIsWrong(st, candidate).isEmpty() && (st.st_mode & 07777) == 0600 &&
            IdentityFromStat(st).SameApartFromChange(file.sameAsId) && st.st_size == file.content.size()) {
            temp = candidate;
            return true;
        }
        ::unlink(QFile::encodeName(candidate).constData());
        return false;
    }
    return false;
}

} // namespace
#endif

void WritePrivateFiles(const std::vector<PrivateFileContent>& files, const QString& source) {
    auto fail = [&source](const QString& text) {
        return FileError{FileErrorNumber, source, text};
    };
    for (const PrivateFileContent& file : files) {
        if (const QString wrong = NotPrivateFile(file.path); !wrong.isEmpty())
            throw fail(QStringLiteral("Error: Not a file Quillbox made, so it is left alone: ") + wrong);
    }
#ifdef Q_OS_UNIX
    auto failed = [&fail](int error, const QString& text, const QString& path) {
        const bool full = error == ENOSPC || error == EDQUOT;
        return fail((full ? QStringLiteral("Error: The disk is full, so nothing was written; make room on it "
                                           "and try again: ")
                          : text) +
                    path);
    };
    // The temporary files made so far; those not renamed are removed on any way out.
    struct Temp {
        QString path;
        int fd = -1;
    };
    std::vector<Temp> temps;
    const auto cleanUp = qScopeGuard([&temps] {
        for (const Temp& temp : temps) {
            if (temp.fd >= 0)
                ::close(temp.fd);
            if (!temp.path.isEmpty())
                ::unlink(QFile::encodeName(temp.path).constData());
        }
    });
    for (const PrivateFileContent& file : files) {
        const QFileInfo info(file.path);
        Temp temp;
        if (!file.sameAs.isEmpty() && LinkTwin(file, info, temp.path)) {
            temps.push_back(temp); // its data reached the disk when it was written
            continue;
        }
        for (int attempt = 0; attempt < 16 && temp.fd < 0; ++attempt) {
            temp.path = NewPrivateTempName(info);
            temp.fd = ::open(QFile::encodeName(temp.path).constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
            if (temp.fd < 0 && errno != EEXIST)
                break;
        }
        if (temp.fd < 0)
            throw failed(errno, QStringLiteral("Error: Cannot open the file: "), file.path);
        temps.push_back(temp);
        // Through the save's write seam when a test set one, so that a full disk is tried here too.
        qint64 count = -1;
        int writeErrno = 0;
        if (::fchmod(temp.fd, 0600) == 0) {
            if (const SafeSave::WriteHook& hook = SafeSave::WriteHookForTest()) {
                QFile out;
                if (out.open(temp.fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                             QFileDevice::DontCloseHandle))
                    count = hook(file.path, out, file.content);
                writeErrno = errno;
            } else {
                count = WriteAllToFd(temp.fd, file.content);
                writeErrno = errno;
            }
        }
        if (count != file.content.size())
            throw failed(writeErrno, QStringLiteral("Error: Cannot write to the file: "), file.path);
#ifdef Q_OS_LINUX
        // Only a start: the disk writes this file while the next one is made; fsync below waits.
        ::sync_file_range(temp.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (temps[i].fd < 0)
            continue;
        const bool synced = ::fsync(temps[i].fd) == 0;
        const int syncErrno = errno;
        ::close(temps[i].fd);
        temps[i].fd = -1;
        if (!synced)
            throw failed(syncErrno, QStringLiteral("Error: Cannot write to the file: "), files[i].path);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const QFileInfo info(files[i].path);
        if (::rename(QFile::encodeName(temps[i].path).constData(),
                     QFile::encodeName(files[i].path).constData()) != 0)
            throw failed(errno, QStringLiteral("Error: Cannot write to the file: "), files[i].path);
        temps[i].path.clear();
        const int dir =
            ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
#else
    for (const PrivateFileContent& file : files) {
        QFile out(file.path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file.content) != file.content.size())
            throw fail(QStringLiteral("Error: Cannot write to the file: ") + file.path);
    }
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
