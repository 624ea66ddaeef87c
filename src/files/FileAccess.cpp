#include "FileAccess.h"

#include "SafeSave.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

namespace {

FileError ReadError(qint64 number, const QString& description) {
    return FileError{number, QStringLiteral("ReadFileAsString"), description};
}

FileError CannotOpenForReading(const QString& path) {
    return ReadError(FileErrorNumber,
                     QStringLiteral("ReadFileAsString Error - Cannot open the file: ") + path);
}

FileError TooLarge(const QString& path) {
    return ReadError(FileErrorNumber,
                     QStringLiteral("ReadFileAsString Error - The file is larger than %1 MiB: ")
                             .arg(MaxReadSize / (1024 * 1024)) +
                         path);
}

FileError WriteError(const QString& prefix, const QString& path) {
    return FileError{FileErrorNumber, QStringLiteral("WriteToFile"), prefix + path};
}

void AppendToFile(const QString& filePath, const QByteArray& content) {
    QFile file(filePath);
    if (QFileInfo(filePath).isDir() ||
        !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw WriteError(QStringLiteral("Error: Cannot open the file: "), filePath);
    if (file.write(content) != content.size())
        throw WriteError(QStringLiteral("Error: Cannot write to the file: "), filePath);
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        throw WriteError(QStringLiteral("Error: Cannot wflush the file: "), filePath);
#else
    if (!file.flush())
        throw WriteError(QStringLiteral("Error: Cannot wflush the file: "), filePath);
#endif
}

} // namespace

QByteArray ReadFileAsString(const QString& filePath) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(filePath).constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw ReadError(FileNotFoundNumber, QStringLiteral("File not found: ") + filePath);
        throw CannotOpenForReading(filePath); // e.g. a folder on the way that we may not enter
    }
    if (S_ISDIR(info.st_mode))
        throw CannotOpenForReading(filePath);
    // Refused before a single byte is read, so a huge file costs neither time nor memory.
    if (S_ISREG(info.st_mode) && info.st_size > MaxReadSize)
        throw TooLarge(filePath);
#else
    const QFileInfo info(filePath);
    if (!info.exists())
        throw ReadError(FileNotFoundNumber, QStringLiteral("File not found: ") + filePath);
    if (info.isDir())
        throw CannotOpenForReading(filePath);
    if (info.size() > MaxReadSize)
        throw TooLarge(filePath);
#endif

    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw CannotOpenForReading(filePath);

    // Read until the end rather than trusting the size: the file may have changed meanwhile, and a
    // device or pipe has no size at all. The limit holds for whatever actually arrives.
    QByteArray content;
    content.reserve(qsizetype(std::min(file.size(), MaxReadSize)));
    std::array<char, 64 * 1024> chunk{};
    for (;;) {
        const qint64 n = file.read(chunk.data(), qint64(chunk.size()));
        if (n < 0)
            throw ReadError(FileErrorNumber, QStringLiteral("Error: Cannot read the file: ") + filePath);
        if (n == 0)
            break;
        if (content.size() + n > MaxReadSize)
            throw TooLarge(filePath);
        content.append(chunk.data(), qsizetype(n));
    }
    return content;
}

void WriteToFile(const QString& filePath, const QByteArray& content, qint32 writeMode) {
    if (writeMode == 1) {
        AppendToFile(filePath, content);
        return;
    }
    SafeSave save;
    save.Add(filePath, content);
    save.Commit();
}

bool FileExists(const QString& filePath) {
    if (filePath.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    // lstat, so that a dangling symlink counts as existing too. When the answer cannot be known
    // (no permission to look), say it exists: the caller creates a file only for False.
    struct stat info {};
    if (::lstat(QFile::encodeName(filePath).constData(), &info) == 0)
        return true;
    return !(errno == ENOENT || errno == ENOTDIR);
#else
    const QFileInfo info(filePath);
    return info.exists() || info.isSymLink();
#endif
}

QString GetFileName(const QString& filePath) {
#ifdef Q_OS_WIN
    const QChar separator = QLatin1Char('\\');
#else
    const QChar separator = QLatin1Char('/');
#endif
    return filePath.mid(filePath.lastIndexOf(separator) + 1);
}

} // namespace quillbox
