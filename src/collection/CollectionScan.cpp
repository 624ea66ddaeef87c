#include "CollectionScan.h"

#include "DescriptionFile.h"
#include "EarlierVersions.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "PatchImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillbox {

QString PlaceKindText(PlaceKind kind) {
    switch (kind) {
    case PlaceKind::Library:
        return QStringLiteral("library");
    case PlaceKind::PatchFile:
        return QStringLiteral("patch file");
    case PlaceKind::EarlierVersion:
        return QStringLiteral("earlier version");
    }
    return {};
}

namespace {

using NodeKey = std::pair<quint64, quint64>; // device, inode

QString SizeText(qint64 bytes) {
    constexpr qint64 kib = 1024, mib = kib * 1024, gib = mib * 1024;
    if (bytes % gib == 0)
        return QStringLiteral("%1 GiB").arg(bytes / gib);
    if (bytes % mib == 0)
        return QStringLiteral("%1 MiB").arg(bytes / mib);
    if (bytes % kib == 0)
        return QStringLiteral("%1 KiB").arg(bytes / kib);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString NotTextReason() {
    return QStringLiteral("its name is not valid UTF-8, which the collection's cache cannot hold; rename it");
}

// The walk works on the bytes of names: a name decoded to text and encoded again is another name
// when its bytes are not valid UTF-8, so text is made only of paths that come back unchanged.
struct Walker {
    FolderWalk walk;
    QSet<NodeKey> folders; // every folder entered: a link back up is not entered again
    QSet<NodeKey> files;   // every file taken: a link to one already taken adds nothing

    // Load's rule decides what a library is; the name's bytes, decoded as the file system does.
    static bool IsLibraryName(const QByteArray& name) { return IsLibraryPath(QFile::decodeName(name)); }
    static bool IsPatchFileName(const QByteArray& name) {
        return HasPatchFileExtension(QFile::decodeName(name));
    }

    void Skip(const QByteArray& path, const QString& reason) {
        if (const std::optional<QString> text = FileNameFromBytes(path))
            walk.skipped.push_back({*text, reason, {}});
        else
            walk.skipped.push_back({QFile::decodeName(path), reason, path});
    }

    void Take(const QByteArray& path, const struct stat& st, PlaceKind kind, const QString& origin = {}) {
        if (!S_ISREG(st.st_mode))
            return Skip(path, QStringLiteral("it is not a regular file"));
        if (qint64(st.st_size) > MaxFileSize())
            return Skip(path, QStringLiteral("it is larger than %1").arg(MaxFileSizeText()));
        const std::optional<QString> text = FileNameFromBytes(path);
        if (!text)
            return Skip(path, NotTextReason());
        if (files.contains({quint64(st.st_dev), quint64(st.st_ino)}))
            return;
        files.insert({quint64(st.st_dev), quint64(st.st_ino)});
        walk.files.push_back({*text, kind, origin, IdentityFromStat(st), IdentityOf(SideFilePath(*text))});
    }

    void Folder(const QByteArray& dir, const struct stat& st) {
        if (folders.contains({quint64(st.st_dev), quint64(st.st_ino)}))
            return;
        folders.insert({quint64(st.st_dev), quint64(st.st_ino)});
        DIR* d = ::opendir(dir.constData());
        if (!d)
            return Skip(dir, QStringLiteral("the folder cannot be read"));
        // Each name with what the folder says it is: a plain file the walk does not take (the side
        // file beside each library) is not looked at; folders, links and the unknown are.
        std::vector<std::pair<QByteArray, unsigned char>> names;
        while (const dirent* entry = ::readdir(d)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.emplace_back(name, entry->d_type);
        }
        ::closedir(d);
        std::sort(names.begin(), names.end());
        for (const auto& [name, type] : names) {
            const bool wanted = IsLibraryName(name) || IsPatchFileName(name);
            if (!wanted && type == DT_REG)
                continue;
            const QByteArray path = dir + '/' + name;
            struct stat entry {};
            // stat follows links; only what lstat shows to be a link is called a broken one.
            if (::stat(path.constData(), &entry) != 0) {
                const int error = errno;
                struct stat self {};
                if (wanted)
                    Skip(path, ::lstat(path.constData(), &self) != 0 ? QStringLiteral("it is gone")
                               : S_ISLNK(self.st_mode) && (error == ENOENT || error == ENOTDIR)
                                   ? QStringLiteral("it is a broken link")
                                   : QStringLiteral("it cannot be looked at"));
                continue;
            }
            // A folder whose name is not text is still entered: what it holds is named as skipped.
            if (S_ISDIR(entry.st_mode))
                Folder(path, entry);
            else if (wanted)
                Take(path, entry, IsLibraryName(name) ? PlaceKind::Library : PlaceKind::PatchFile);
        }
    }
};

// The canonical folder a path lies in, ended by '/', for telling whether a kept library lies there.
QString FolderPrefix(const QString& folder) {
    QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    if (!canonical.endsWith(QLatin1Char('/')))
        canonical += QLatin1Char('/');
    return canonical;
}

void WalkVersions(Walker& walker, const QStringList& prefixes, const QString& versionsFolder) {
    const QDir store(versionsFolder);
    if (versionsFolder.isEmpty() || !store.exists())
        return;
    for (const QString& sub : store.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = store.filePath(sub);
        // The record of which library the hashed folder is for; a few hundred bytes at most.
        const PlainRead record = ReadRegularFile(EarlierVersions::PathRecordOf(dir), 4096);
        if (!record.refusal.isEmpty() || record.missing)
            continue;
        const QString library = QString::fromUtf8(record.bytes).trimmed();
        if (!std::any_of(prefixes.cbegin(), prefixes.cend(),
                         [&](const QString& prefix) { return library.startsWith(prefix); }))
            continue;
        for (const QString& file : EarlierVersions::VersionFiles(dir)) {
            const QByteArray path = QFile::encodeName(file);
            struct stat st {};
            if (::stat(path.constData(), &st) == 0)
                walker.Take(path, st, PlaceKind::EarlierVersion, library);
        }
    }
}

// Opens a file to read without waiting on a FIFO; the refusal when it cannot be.
int OpenToRead(const QString& path, QString& refusal, bool* missing = nullptr) {
    // Not O_NOFOLLOW: the collection follows the user's links. O_NONBLOCK: a FIFO never waits.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (missing)
            *missing = errno == ENOENT;
        refusal = errno == ENOENT   ? QStringLiteral("it is gone")
                  : errno == EACCES ? QStringLiteral("it may not be read")
                                    : QStringLiteral("it cannot be opened");
    }
    return fd;
}

// Reads `length` bytes at `offset`; false when fewer are there.
bool ReadAt(int fd, qint64 offset, char* into, qint64 length) {
    while (length > 0) {
        const ssize_t n = ::pread(fd, into, size_t(length), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into += n;
        offset += n;
        length -= n;
    }
    return true;
}

} // namespace

FolderWalk WalkFolders(const QStringList& folders, const QString& versionsFolder) {
    Walker walker;
    QStringList prefixes;
    for (const QString& folder : folders) {
        const QString dir = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
        const QByteArray native = QFile::encodeName(dir);
        struct stat st {};
        if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            walker.Skip(native, QStringLiteral("it is not a folder"));
            continue;
        }
        walker.Folder(native, st);
        if (const QString prefix = FolderPrefix(dir); !prefix.isEmpty())
            prefixes.append(prefix);
    }
    WalkVersions(walker, prefixes, versionsFolder);
    std::sort(walker.walk.files.begin(), walker.walk.files.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    return std::move(walker.walk);
}

PlainRead ReadRegularFile(const QString& path, qint64 maxBytes, const QString& limitText) {
    PlainRead read;
    const QString tooLarge =
        QStringLiteral("it is larger than %1").arg(limitText.isEmpty() ? SizeText(maxBytes) : limitText);
    const int fd = OpenToRead(path, read.refusal, &read.missing);
    if (fd < 0)
        return read;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        read.refusal = QStringLiteral("it is not a regular file");
    else if (st.st_size > maxBytes)
        read.refusal = tooLarge;
    if (read.refusal.isEmpty()) {
        read.identity = IdentityFromStat(st);
        // One byte more than allowed is asked for, so that a file that grew since is noticed.
        read.bytes.resize(qsizetype(std::min<qint64>(st.st_size, maxBytes) + 1));
        qsizetype got = 0;
        while (got < read.bytes.size()) {
            const ssize_t n = ::read(fd, read.bytes.data() + got, size_t(read.bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                read.refusal = QStringLiteral("it cannot be read");
            if (n <= 0)
                break;
            got += n;
        }
        read.bytes.resize(got);
        if (got > maxBytes)
            read.refusal = tooLarge;
    }
    ::close(fd);
    if (!read.refusal.isEmpty())
        read.bytes.clear();
    return read;
}

qint64 SideFileLimit(qsizetype patches) {
    constexpr qint64 perPatch = 2048, more = 64 * 1024, most = qint64(32) << 20;
    return std::min({MaxFileSize(), most, more + perPatch * qint64(patches)});
}

ScannedFile ScannedFile::Open(const QString& path, PlaceKind kind) {
    ScannedFile file;
    file.fd_ = OpenToRead(path, file.refusal);
    if (file.fd_ < 0)
        return file;
    struct stat st {};
    if (::fstat(file.fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        file.refusal = QStringLiteral("it is not a regular file");
        return file;
    }
    if (st.st_size > MaxFileSize()) {
        file.refusal = QStringLiteral("it is larger than %1").arg(MaxFileSizeText());
        return file;
    }
    file.identity = IdentityFromStat(st);
    file.library_ = kind != PlaceKind::PatchFile;
    file.storeSize_ = st.st_size;
    if (file.library_) {
        QByteArray marker(1, '\0');
        if (st.st_size < 1 || !ReadAt(file.fd_, 0, marker.data(), 1) || !IsValidLibrary(marker)) {
            file.refusal = QStringLiteral("it is not a valid library");
            return file;
        }
        file.storeSize_ = st.st_size - 1;
    }
    if (file.storeSize_ == 0) {
        file.refusal = QStringLiteral("it holds no patch");
        return file;
    }
    file.count_ = qsizetype((file.storeSize_ + PatchImageSize - 1) / PatchImageSize);
    const qint64 sideLimit = SideFileLimit(file.count_);
    const PlainRead side = ReadRegularFile(
        SideFilePath(path), sideLimit,
        QStringLiteral("%1, the most the descriptions of %2 can take")
            .arg(SizeText(sideLimit), file.count_ == 1 ? QStringLiteral("1 patch")
                                                       : QStringLiteral("%1 patches").arg(file.count_)));
    file.sideIdentity = side.identity;
    if (!side.missing && !side.refusal.isEmpty())
        file.sideRefusal = side.refusal;
    file.descriptions_ = DescriptionReader::FromBytes(side.bytes, file.count_);
    return file;
}

ScannedFile::ScannedFile(ScannedFile&& other) noexcept
    : refusal(std::move(other.refusal)), identity(other.identity), sideIdentity(other.sideIdentity),
      sideRefusal(std::move(other.sideRefusal)), fd_(std::exchange(other.fd_, -1)),
      storeSize_(other.storeSize_), library_(other.library_), count_(other.count_),
      descriptions_(std::move(other.descriptions_)) {}

ScannedFile& ScannedFile::operator=(ScannedFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        refusal = std::move(other.refusal);
        identity = other.identity;
        sideIdentity = other.sideIdentity;
        sideRefusal = std::move(other.sideRefusal);
        fd_ = std::exchange(other.fd_, -1);
        storeSize_ = other.storeSize_;
        library_ = other.library_;
        count_ = other.count_;
        descriptions_ = std::move(other.descriptions_);
    }
    return *this;
}

ScannedFile::~ScannedFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

QByteArray ScannedFile::Part(qsizetype first, qsizetype count) {
    if (!refusal.isEmpty() || first < 0 || count <= 0 || first >= count_)
        return {};
    const qint64 from = qint64(first) * PatchImageSize;
    const qint64 to = std::min(storeSize_, qint64(first + std::min(count, count_ - first)) * PatchImageSize);
    QByteArray part(qsizetype(to - from), Qt::Uninitialized);
    // A library holds its store back to front behind the marker byte.
    const qint64 offset = library_ ? LibraryPartOffset(storeSize_, to) : from;
    if (!ReadAt(fd_, offset, part.data(), part.size())) {
        refusal = QStringLiteral("it changed while it was read");
        return {};
    }
    if (library_)
        std::reverse(part.begin(), part.end());
    if (const qsizetype rest = part.size() % PatchImageSize)
        part.append(QByteArray(PatchImageSize - rest, ' '));
    return part;
}

std::vector<QByteArray> ScannedFile::Patches(qsizetype first, qsizetype count) {
    const QByteArray part = Part(first, count);
    std::vector<QByteArray> patches;
    patches.reserve(size_t(part.size() / PatchImageSize));
    for (qsizetype at = 0; at < part.size(); at += PatchImageSize)
        patches.push_back(part.mid(at, PatchImageSize));
    return patches;
}

} // namespace quillbox
