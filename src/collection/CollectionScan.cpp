#include "CollectionScan.h"

#include "DescriptionFile.h"
#include "EarlierVersions.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "PatchImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct Walker {
    FolderWalk walk;
    QSet<NodeKey> folders; // every folder entered: a link back up is not entered again
    QSet<NodeKey> files;   // every file taken: a link to one already taken adds nothing

    static bool IsPatchFileName(const QString& name) {
        return name.endsWith(QStringLiteral(".pch"), Qt::CaseInsensitive);
    }

    void Skip(const QString& path, const QString& reason) { walk.skipped.push_back({path, reason}); }

    void Take(const QString& path, const struct stat& st, PlaceKind kind, const QString& origin = {}) {
        if (!S_ISREG(st.st_mode))
            return Skip(path, QStringLiteral("it is not a regular file"));
        if (qint64(st.st_size) > MaxFileSize())
            return Skip(path, QStringLiteral("it is larger than %1").arg(MaxFileSizeText()));
        if (files.contains({quint64(st.st_dev), quint64(st.st_ino)}))
            return;
        files.insert({quint64(st.st_dev), quint64(st.st_ino)});
        walk.files.push_back({path, kind, origin, IdentityFromStat(st), IdentityOf(SideFilePath(path))});
    }

    void Folder(const QString& dir, const struct stat& st) {
        if (folders.contains({quint64(st.st_dev), quint64(st.st_ino)}))
            return;
        folders.insert({quint64(st.st_dev), quint64(st.st_ino)});
        DIR* d = ::opendir(QFile::encodeName(dir).constData());
        if (!d)
            return Skip(dir, QStringLiteral("the folder cannot be read"));
        QStringList names;
        while (const dirent* entry = ::readdir(d)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (name != QStringLiteral(".") && name != QStringLiteral(".."))
                names.append(name);
        }
        ::closedir(d);
        names.sort();
        for (const QString& name : names) {
            const QString path = dir + QLatin1Char('/') + name;
            const bool wanted = IsLibraryPath(name) || IsPatchFileName(name);
            struct stat entry {};
            // stat follows links; a broken link is told from a missing file by lstat.
            if (::stat(QFile::encodeName(path).constData(), &entry) != 0) {
                if (wanted)
                    Skip(path, errno == ENOENT ? QStringLiteral("it is a broken link")
                                               : QStringLiteral("it cannot be looked at"));
                continue;
            }
            if (S_ISDIR(entry.st_mode))
                Folder(path, entry);
            else if (wanted)
                Take(path, entry, IsLibraryPath(name) ? PlaceKind::Library : PlaceKind::PatchFile);
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
    static const QRegularExpression versionName(QStringLiteral("^\\d{6,}-\\d{8}-\\d{6}-\\d{3}\\.pslib$"));
    const QDir store(versionsFolder);
    if (versionsFolder.isEmpty() || !store.exists())
        return;
    for (const QString& sub : store.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = store.filePath(sub);
        // The record of which library the hashed folder is for; a few hundred bytes at most.
        const PlainRead record = ReadRegularFile(dir + QStringLiteral("/library-path.txt"), 4096);
        if (!record.refusal.isEmpty() || record.missing)
            continue;
        const QString library = QString::fromUtf8(record.bytes).trimmed();
        if (!std::any_of(prefixes.cbegin(), prefixes.cend(),
                         [&](const QString& prefix) { return library.startsWith(prefix); }))
            continue;
        for (const QString& name :
             QDir(dir).entryList({QStringLiteral("*.pslib")}, QDir::Files, QDir::Name)) {
            if (!versionName.match(name).hasMatch())
                continue;
            const QString path = dir + QLatin1Char('/') + name;
            struct stat st {};
            if (::stat(QFile::encodeName(path).constData(), &st) == 0)
                walker.Take(path, st, PlaceKind::EarlierVersion, library);
        }
    }
}

} // namespace

FolderWalk WalkFolders(const QStringList& folders, const QString& versionsFolder) {
    Walker walker;
    QStringList prefixes;
    for (const QString& folder : folders) {
        const QString dir = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
        struct stat st {};
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            walker.Skip(dir, QStringLiteral("it is not a folder"));
            continue;
        }
        walker.Folder(dir, st);
        if (const QString prefix = FolderPrefix(dir); !prefix.isEmpty())
            prefixes.append(prefix);
    }
    WalkVersions(walker, prefixes, versionsFolder);
    std::sort(walker.walk.files.begin(), walker.walk.files.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    return std::move(walker.walk);
}

PlainRead ReadRegularFile(const QString& path, qint64 maxBytes) {
    PlainRead read;
    // Not O_NOFOLLOW: the collection follows the user's links. O_NONBLOCK: a FIFO never waits.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        read.missing = errno == ENOENT;
        read.refusal = read.missing      ? QStringLiteral("it is gone")
                       : errno == EACCES ? QStringLiteral("it may not be read")
                                         : QStringLiteral("it cannot be opened");
        return read;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        read.refusal = QStringLiteral("it is not a regular file");
    else if (st.st_size > maxBytes)
        read.refusal = QStringLiteral("it is larger than %1").arg(MaxFileSizeText());
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
            read.refusal = QStringLiteral("it is larger than %1").arg(MaxFileSizeText());
    }
    ::close(fd);
    if (!read.refusal.isEmpty())
        read.bytes.clear();
    return read;
}

ScannedFile ReadScannedFile(const QString& path, PlaceKind kind) {
    ScannedFile file;
    const PlainRead content = ReadRegularFile(path, MaxFileSize());
    file.identity = content.identity;
    if (!content.refusal.isEmpty()) {
        file.refusal = content.refusal;
        return file;
    }
    QByteArray store;
    if (kind == PlaceKind::PatchFile) {
        store = content.bytes;
    } else if (IsValidLibrary(content.bytes)) {
        store = DecodeLibrary(content.bytes);
    } else {
        file.refusal = QStringLiteral("it is not a valid library");
        return file;
    }
    if (store.isEmpty()) {
        file.refusal = QStringLiteral("it holds no patch");
        return file;
    }
    const qsizetype count = (store.size() + PatchImageSize - 1) / PatchImageSize;
    file.patches.reserve(size_t(count));
    for (qsizetype k = 0; k < count; ++k) {
        QByteArray image = store.mid(k * PatchImageSize, PatchImageSize);
        if (image.size() < PatchImageSize)
            image.append(QByteArray(PatchImageSize - image.size(), ' '));
        file.patches.push_back(image);
    }
    const PlainRead side = ReadRegularFile(SideFilePath(path), MaxFileSize());
    file.sideIdentity = side.identity;
    if (!side.missing && !side.refusal.isEmpty())
        file.sideRefusal = side.refusal;
    const DescriptionReader descriptions = DescriptionReader::FromBytes(side.bytes);
    file.descriptions = descriptions.DescArray(count).mid(1);
    return file;
}

} // namespace quillbox
