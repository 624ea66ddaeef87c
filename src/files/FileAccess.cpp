#include "FileAccess.h"

#include "SafeSave.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
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
    return ReadError(
        FileErrorNumber,
        QStringLiteral("ReadFileAsString Error - The file is larger than %1: ").arg(MaxFileSizeText()) +
            path);
}

FileError NotRegularForReading(const QString& path) {
    return ReadError(FileErrorNumber, QStringLiteral("ReadFileAsString Error - Not a regular file (a FIFO, a "
                                                     "device or a socket), which Quillbox does not read; "
                                                     "choose a regular file: ") +
                                          path);
}

FileError NameTooLongForReading(const QString& path) {
    return ReadError(FileErrorNumber, QStringLiteral("ReadFileAsString Error - The file name is too long for "
                                                     "the file system; choose a shorter name: ") +
                                          path);
}

qint64& LimitForTest() {
    static qint64 limit = 0;
    return limit;
}

FileError WriteError(const QString& prefix, const QString& path) {
    return FileError{FileErrorNumber, QStringLiteral("WriteToFile"), prefix + path};
}

void AppendToFile(const QString& filePath, const QByteArray& content) {
    QFile file(filePath);
    const QFileInfo info(filePath);
    if (info.exists() && !info.isFile())
        throw WriteError(QStringLiteral("Error: Cannot open the file: "), filePath);
    if (info.size() + content.size() > MaxFileSize())
        throw WriteError(QStringLiteral("Error: Cannot write to the file: "), filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
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

qint64 MaxFileSize() {
    return LimitForTest() > 0 ? LimitForTest() : DefaultMaxFileSize;
}

QString MaxFileSizeText() {
    const qint64 limit = MaxFileSize();
    constexpr qint64 mib = qint64(1) << 20;
    if (limit % (mib << 10) == 0)
        return QStringLiteral("%1 GiB").arg(limit / (mib << 10));
    if (limit % mib == 0)
        return QStringLiteral("%1 MiB").arg(limit / mib);
    return QStringLiteral("%1 bytes").arg(limit);
}

void SetMaxFileSizeForTest(qint64 limit) {
    LimitForTest() = limit;
}

QByteArray ReadFileAsString(const QString& filePath) {
    const qint64 limit = MaxFileSize();
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(filePath);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw ReadError(FileNotFoundNumber, QStringLiteral("File not found: ") + filePath);
        if (errno == ENAMETOOLONG)
            throw NameTooLongForReading(filePath);
        throw CannotOpenForReading(filePath); // e.g. a folder on the way that we may not enter
    }
    if (S_ISDIR(info.st_mode))
        throw CannotOpenForReading(filePath);
    if (!S_ISREG(info.st_mode))
        throw NotRegularForReading(filePath);
    // Refused before a single byte is read, so a huge file costs neither time nor memory.
    if (info.st_size > limit)
        throw TooLarge(filePath);
    // Opened without waiting: should a FIFO have taken the file's place since the look above, the
    // open returns at once and the second look refuses it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw CannotOpenForReading(filePath);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        throw NotRegularForReading(filePath);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw CannotOpenForReading(filePath);
    }
#else
    const QFileInfo info(filePath);
    if (!info.exists())
        throw ReadError(FileNotFoundNumber, QStringLiteral("File not found: ") + filePath);
    if (info.isDir())
        throw CannotOpenForReading(filePath);
    if (!info.isFile())
        throw NotRegularForReading(filePath);
    if (info.size() > limit)
        throw TooLarge(filePath);
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw CannotOpenForReading(filePath);
#endif

    // Read until the end rather than trusting the size: the file may have changed meanwhile. The
    // limit holds for whatever actually arrives. The bytes the file had go straight into the content;
    // one that shrank meanwhile is cut where it ended, one that grew brings the rest in chunks.
    const auto readError = [&filePath] {
        return ReadError(FileErrorNumber, QStringLiteral("Error: Cannot read the file: ") + filePath);
    };
    QByteArray content(qsizetype(std::min(file.size(), limit)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < content.size()) {
        const qint64 n = file.read(content.data() + got, qint64(content.size() - got));
        if (n < 0)
            throw readError();
        if (n == 0)
            break;
        got += qsizetype(n);
    }
    content.truncate(got);
    std::array<char, 64 * 1024> chunk{};
    for (;;) {
        const qint64 n = file.read(chunk.data(), qint64(chunk.size()));
        if (n < 0)
            throw readError();
        if (n == 0)
            break;
        if (content.size() + n > limit)
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
    // A name too long for the file system names nothing: a save of it then says why it fails.
    if (::lstat(QFile::encodeName(filePath).constData(), &info) == 0)
        return true;
    return !(errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG);
#else
    const QFileInfo info(filePath);
    return info.exists() || info.isSymLink();
#endif
}

std::optional<QString> FileNameFromBytes(const QByteArray& name) {
    QString text = QFile::decodeName(name);
    if (QFile::encodeName(text) != name)
        return std::nullopt;
    return text;
}

std::optional<QByteArray> NameNotTextBehind(const QString& path) {
    constexpr QChar Replacement(0xFFFD);
    if (!path.contains(Replacement) || FileExists(path))
        return std::nullopt;
#ifdef Q_OS_UNIX
    QByteArray real;
    bool notText = false;
    const QStringList parts = path.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        const QByteArray folder = real;
        if (i > 0)
            real += '/';
        const QByteArray asText = QFile::encodeName(part);
        struct stat info {};
        if (!part.contains(Replacement) || ::lstat(QByteArray(real + asText).constData(), &info) == 0) {
            real += asText;
            continue;
        }
        std::optional<QByteArray> match;
        if (DIR* dir = ::opendir(folder.isEmpty() ? (i > 0 ? "/" : ".") : folder.constData())) {
            while (const dirent* entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (!FileNameFromBytes(name) && QFile::decodeName(name) == part) {
                    match = name;
                    break;
                }
            }
            ::closedir(dir);
        }
        notText = notText || match.has_value();
        real += match.value_or(asText);
    }
    if (notText)
        return real;
#endif
    return std::nullopt;
}

QString FileNameNotTextMessage(const QByteArray& name) {
    // Each byte that is not part of a valid character is shown as \xFF, so that the user sees which
    // ones to change; the rest as the letters they are.
    QString shown;
    for (qsizetype i = 0; i < name.size();) {
        qsizetype length = 1;
        for (; length <= 4 && i + length <= name.size(); ++length) {
            const QByteArray piece = name.mid(i, length);
            if (QString::fromUtf8(piece).toUtf8() == piece)
                break;
        }
        const auto byte = static_cast<unsigned char>(name[i]);
        if (length > 4 || i + length > name.size() || byte < 0x20 || byte == 0x7F) {
            shown += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
            length = 1;
        } else {
            shown += QString::fromUtf8(name.mid(i, length));
        }
        i += length;
    }
    return QStringLiteral("The file name %1 is not valid text in the system's encoding (UTF-8): Quillbox "
                          "would read or write a file of another name. Nothing was opened or written; rename "
                          "the file to a name of valid text (for example in a file manager) and try again.")
        .arg(shown);
}

QString GetFileName(const QString& filePath) {
#ifdef Q_OS_WIN
    const QChar separator = QLatin1Char('\\');
#else
    const QChar separator = QLatin1Char('/');
#endif
    return filePath.mid(filePath.lastIndexOf(separator) + 1);
}

#ifdef Q_OS_UNIX
qint64 WriteAllToFd(int fd, const QByteArray& content) {
    qint64 done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        done += n;
    }
    return done;
}
#endif

} // namespace quillbox
