#include "UnsavedWork.h"

#include "FileAccess.h"
#include "FileIdentity.h"
#include "PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

namespace {

const QByteArray Magic = QByteArrayLiteral("QUILLBOX UNSAVED WORK 1");
const QString Suffix = QStringLiteral(".unsaved");

// The library's hash, then the window's instance (none for a file of an earlier release).
const QRegularExpression& RecoveryName() {
    static const QRegularExpression name(QStringLiteral("^([0-9a-f]{40})(?:-([0-9a-f]{16}))?\\.unsaved$"));
    return name;
}

QString LibraryHash(const QString& libPath) {
    return QString::fromLatin1(
        QCryptographicHash::hash(LibraryKeyPath(libPath).toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString WindowLockFile(const QString& instance) {
    return PrivateLockFolder() + QStringLiteral("/window-") + instance + QStringLiteral(".lock");
}

// Whether the window `instance` still lives: its lock is held. A file of an earlier release (no
// instance) has no living window.
bool WindowAlive(const QString& instance) {
    if (instance.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(WindowLockFile(instance)).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno != ENOENT; // a lock file we cannot look at: taken as living, nothing is touched
    struct stat st {};
    bool alive = true;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
        alive = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return alive;
#else
    return false;
#endif
}

// Reads the fields of a recovery file front to back; every read is checked against what is left.
class Cursor {
public:
    explicit Cursor(const QByteArray& bytes) : bytes_(bytes) {}
    qsizetype At() const { return at_; }
    // The next line without its '\n'; nullopt at the end or without a '\n'.
    std::optional<QByteArray> Line() {
        const qsizetype end = bytes_.indexOf('\n', at_);
        if (end < 0)
            return std::nullopt;
        QByteArray line = bytes_.mid(at_, end - at_);
        at_ = end + 1;
        return line;
    }
    // A line "word VALUE"; the value.
    std::optional<QByteArray> Field(const char* word) {
        const std::optional<QByteArray> line = Line();
        const QByteArray prefix = QByteArray(word) + ' ';
        if (!line || !line->startsWith(prefix))
            return std::nullopt;
        return line->mid(prefix.size());
    }
    std::optional<qint64> Count(const char* word) {
        const std::optional<QByteArray> value = Field(word);
        bool ok = false;
        const qint64 n = value ? value->toLongLong(&ok) : -1;
        if (!ok || n < 0 || n > Left())
            return std::nullopt;
        return n;
    }
    // `n` bytes followed by '\n'.
    std::optional<QByteArray> Block(qint64 n) {
        if (n < 0 || n + 1 > Left() || bytes_.at(at_ + n) != '\n')
            return std::nullopt;
        QByteArray block = bytes_.mid(at_, n);
        at_ += n + 1;
        return block;
    }
    qint64 Left() const { return bytes_.size() - at_; }

private:
    const QByteArray& bytes_;
    qsizetype at_ = 0;
};

QString Why(const QString& file, const QString& reason) {
    return QStringLiteral("The recovery file ") + file + QStringLiteral(" was not used: ") + reason;
}

} // namespace

UnsavedWorkFiles::UnsavedWorkFiles(QString folder, QString instance)
    : folder_(folder.isEmpty() ? DefaultFolder() : std::move(folder)), instance_(std::move(instance)) {}

QString UnsavedWorkFiles::NewInstance() {
    return QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

QString UnsavedWorkFiles::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/unsaved");
}

QString UnsavedWorkFiles::FileFor(const QString& libPath) const {
    return folder_ + QLatin1Char('/') + LibraryHash(libPath) +
           (instance_.isEmpty() ? QString() : QLatin1Char('-') + instance_) + Suffix;
}

QByteArray UnsavedWorkFiles::Encode(const UnsavedWork& work) {
    qsizetype size = 256 + work.library.size();
    for (const QString& text : work.descriptions)
        size += 16 + text.size() * 2;
    QByteArray out;
    out.reserve(size);
    out += Magic + '\n';
    out += "library " + QUrl::toPercentEncoding(work.libPath) + '\n';
    out += "loaded " + work.loaded.library.ToText() + ' ' + work.loaded.side.ToText() + '\n';
    out += "time " + work.time.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n';
    out += "bytes " + QByteArray::number(work.library.size()) + '\n';
    out += work.library + '\n';
    out += "descriptions " + QByteArray::number(work.descriptions.size()) + '\n';
    for (const QString& text : work.descriptions) {
        out += QByteArray::number(text.size()) + '\n';
        const qsizetype at = out.size();
        out.resize(at + text.size() * 2);
        char* to = out.data() + at;
        for (const QChar c : text) {
            *to++ = char(c.unicode() & 0xFF);
            *to++ = char(c.unicode() >> 8);
        }
        out += '\n';
    }
    out += "sha1 " + QCryptographicHash::hash(out, QCryptographicHash::Sha1).toHex() + '\n';
    return out;
}

std::optional<UnsavedWork> UnsavedWorkFiles::Decode(const QByteArray& bytes, QString* problem) {
    auto fail = [problem](const char* reason) -> std::optional<UnsavedWork> {
        if (problem)
            *problem = QString::fromLatin1(reason);
        return std::nullopt;
    };
    // The checksum line closes the file; everything before it must hash to it.
    const qsizetype sumAt = bytes.lastIndexOf("\nsha1 ");
    if (!bytes.startsWith(QByteArray(Magic + '\n')))
        return fail("it is not a recovery file of Quillbox");
    if (sumAt < 0 || !bytes.endsWith('\n'))
        return fail("it is cut short");
    const QByteArray body = bytes.left(sumAt + 1);
    const QByteArray sum = bytes.mid(sumAt + 6, bytes.size() - sumAt - 7);
    if (QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex() != sum)
        return fail("it is damaged (its checksum does not match)");

    Cursor in(body);
    UnsavedWork work;
    in.Line();
    const std::optional<QByteArray> path = in.Field("library");
    if (!path || path->isEmpty())
        return fail("it names no library");
    work.libPath = QUrl::fromPercentEncoding(*path);
    const std::optional<QByteArray> loaded = in.Field("loaded");
    const QList<QByteArray> ids = loaded ? loaded->split(' ') : QList<QByteArray>();
    const std::optional<FileIdentity> libId = ids.size() == 2 ? FileIdentity::FromText(ids[0]) : std::nullopt;
    const std::optional<FileIdentity> sideId =
        ids.size() == 2 ? FileIdentity::FromText(ids[1]) : std::nullopt;
    if (!libId || !sideId)
        return fail("its record of the loaded library is not readable");
    work.loaded = {*libId, *sideId};
    const std::optional<QByteArray> time = in.Field("time");
    work.time = time ? QDateTime::fromString(QString::fromLatin1(*time), Qt::ISODateWithMs) : QDateTime();
    if (!work.time.isValid())
        return fail("its time is not readable");
    work.time = work.time.toUTC();
    const std::optional<qint64> count = in.Count("bytes");
    const std::optional<QByteArray> library = count ? in.Block(*count) : std::nullopt;
    if (!library)
        return fail("its library bytes are not complete");
    work.library = *library;
    // Each description takes at least two bytes, which bounds the count before anything is reserved.
    const std::optional<qint64> descriptions = in.Count("descriptions");
    if (!descriptions || *descriptions > in.Left() / 2)
        return fail("its descriptions are not complete");
    work.descriptions.reserve(*descriptions);
    for (qint64 i = 0; i < *descriptions; ++i) {
        const std::optional<QByteArray> units = in.Line();
        bool ok = false;
        const qint64 n = units ? units->toLongLong(&ok) : -1;
        const std::optional<QByteArray> text =
            ok && n >= 0 && n <= in.Left() / 2 ? in.Block(n * 2) : std::nullopt;
        if (!text)
            return fail("its descriptions are not complete");
        QString description(n, Qt::Uninitialized);
        QChar* to = description.data();
        for (qint64 k = 0; k < n; ++k)
            to[k] = QChar(char16_t(quint8(text->at(2 * k)) | quint8(text->at(2 * k + 1)) << 8));
        work.descriptions.append(std::move(description));
    }
    if (in.Left() != 0)
        return fail("it holds more than it says");
    return work;
}

void UnsavedWorkFiles::Write(const UnsavedWork& work) const {
    // What the user typed is nobody else's business.
    if (const QString problem = MakePrivateFolder(folder_); !problem.isEmpty())
        throw FileError{FileErrorNumber, QStringLiteral("UnsavedWork"), QStringLiteral("Error: ") + problem};
    WritePrivateFile(FileFor(work.libPath), Encode(work), QStringLiteral("UnsavedWork"));
}

bool UnsavedWorkFiles::Remove(const QString& libPath) const {
    const QString file = FileFor(libPath);
    QFileInfo info(file);
    // A link, a folder or another user's file in our place is not ours to remove.
    if (!NotPrivateFile(file).isEmpty())
        return false;
    if (!info.exists())
        return true;
    return QFile::remove(file);
}

UnsavedWorkFiles::Found UnsavedWorkFiles::ReadFile(const QString& file,
                                                   const QString& expectedLibPath) const {
    Found found;
    found.file = file;
    const OwnFile own = ReadOwnFile(file, MaxFileSize());
    if (own.missing)
        return found;
    if (!own.refusal.isEmpty()) {
        found.problem = Why(file, own.refusal);
        return found;
    }
    const QByteArray& bytes = own.bytes;
    QString problem;
    std::optional<UnsavedWork> work = Decode(bytes, &problem);
    if (!work) {
        found.problem = Why(file, problem);
        return found;
    }
    // The file must be one its own library would have, and that library the one asked about.
    const QRegularExpressionMatch name = RecoveryName().match(QFileInfo(file).fileName());
    if (!name.hasMatch() || name.captured(1) != LibraryHash(work->libPath) ||
        (!expectedLibPath.isEmpty() && LibraryKeyPath(work->libPath) != LibraryKeyPath(expectedLibPath))) {
        found.problem = Why(file, QStringLiteral("it was written for another library"));
        return found;
    }
    found.work = std::move(work);
    return found;
}

UnsavedWorkFiles::Found UnsavedWorkFiles::Read(const QString& libPath) const {
    return ReadFile(FileFor(libPath), libPath);
}

QList<UnsavedWorkFiles::Found> UnsavedWorkFiles::ReadAll() const {
    return ReadMatching(QString());
}

QList<UnsavedWorkFiles::Found> UnsavedWorkFiles::ReadLeft(const QString& libPath) const {
    return ReadMatching(libPath);
}

QList<UnsavedWorkFiles::Found> UnsavedWorkFiles::ReadMatching(const QString& expectedLibPath) const {
    QList<Found> all;
    const QString hash = expectedLibPath.isEmpty() ? QString() : LibraryHash(expectedLibPath);
    // Every kind of entry, so that something not ours in our place is named rather than passed over.
    const QStringList names = QDir(folder_).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = RecoveryName().match(name);
        if (!match.hasMatch() || (!hash.isEmpty() && match.captured(1) != hash) ||
            (!instance_.isEmpty() && match.captured(2) == instance_) || WindowAlive(match.captured(2)))
            continue;
        all.append(ReadFile(folder_ + QLatin1Char('/') + name, expectedLibPath));
    }
    std::stable_sort(all.begin(), all.end(), [](const Found& a, const Found& b) {
        const QDateTime ta = a.work ? a.work->time : QDateTime();
        const QDateTime tb = b.work ? b.work->time : QDateTime();
        return ta > tb;
    });
    return all;
}

bool UnsavedWorkFiles::RemoveLeft(const QString& file) const {
    const QFileInfo info(file);
    const QRegularExpressionMatch match = RecoveryName().match(info.fileName());
    if (!match.hasMatch() || info.absolutePath() != QFileInfo(folder_).absoluteFilePath())
        return false;
    const QString instance = match.captured(2);
    if ((!instance_.isEmpty() && instance == instance_) || WindowAlive(instance) ||
        !NotPrivateFile(file).isEmpty())
        return false;
    if (!info.exists())
        return true;
    if (!QFile::remove(file))
        return false;
    // The gone window's lock file goes with its last recovery file.
    if (!instance.isEmpty()) {
        const QStringList rest = QDir(folder_).entryList({QStringLiteral("*-") + instance + Suffix},
                                                         QDir::Files | QDir::Hidden | QDir::System);
        if (rest.isEmpty() && NotPrivateFile(WindowLockFile(instance)).isEmpty())
            QFile::remove(WindowLockFile(instance));
    }
    return true;
}

int UnsavedWorkFiles::LockWindow(const QString& instance, QString* problem) {
#ifdef Q_OS_UNIX
    QString why = MakePrivateFolder(PrivateLockFolder());
    int fd = -1;
    if (why.isEmpty()) {
        const PrivateFd file = OpenPrivateFile(WindowLockFile(instance));
        why = file.problem;
        fd = file.fd;
    }
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        why = QStringLiteral("Cannot lock ") + WindowLockFile(instance);
        ::close(fd);
        fd = -1;
    }
    if (problem)
        *problem = why;
    return fd;
#else
    Q_UNUSED(instance);
    if (problem)
        problem->clear();
    return 0;
#endif
}

void UnsavedWorkFiles::ReleaseWindow(const QString& instance, int fd, bool forget) {
#ifdef Q_OS_UNIX
    if (fd < 0)
        return;
    if (forget)
        QFile::remove(WindowLockFile(instance));
    ::close(fd);
#else
    Q_UNUSED(instance);
    Q_UNUSED(fd);
    Q_UNUSED(forget);
#endif
}

} // namespace quillbox
