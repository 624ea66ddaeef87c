#include "EarlierVersions.h"

#include "FileAccess.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillbox {

namespace {

const QString PathRecord = QStringLiteral("library-path.txt");
const QString TimeFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");

// "<sequence>-<UTC time>.pslib": the sequence orders versions even when the clock goes back.
const QRegularExpression& VersionName() {
    static const QRegularExpression name(QStringLiteral("^(\\d{6,})-(\\d{8}-\\d{6}-\\d{3})\\.pslib$"));
    return name;
}

struct Found {
    qint64 sequence;
    QString id;
    QDateTime time;
};

// A listed name's sequence and time, from its match (captures 1 and 2).
Found FoundOf(const QRegularExpressionMatch& match, const QString& name) {
    const QDateTime read = QDateTime::fromString(match.captured(2), TimeFormat);
    return {match.captured(1).toLongLong(), name, QDateTime(read.date(), read.time(), Qt::UTC)};
}

QList<Found> NewestFirst(QList<Found> found) {
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.sequence > b.sequence; });
    return found;
}

// The complete versions in `dir` (those whose library file exists), newest first.
QList<Found> FindVersions(const QString& dir) {
    QList<Found> found;
    const QStringList names = QDir(dir).entryList({QStringLiteral("*.pslib")}, QDir::Files);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = VersionName().match(name);
        // A link or another user's file of that name is none of ours, and is never read or removed.
        if (!match.hasMatch() || !NotPrivateFile(dir + QLatin1Char('/') + name).isEmpty())
            continue;
        found.append(FoundOf(match, name));
    }
    return NewestFirst(std::move(found));
}

FileError CannotKeep(const QString& what, const QString& path) {
    return FileError{FileErrorNumber, QStringLiteral("EarlierVersions"), what + path};
}

// The library's folder of versions, made private (with the folder of all versions above it).
void MakeFolders(const QString& root, const QString& dir) {
    QString problem = MakePrivateFolder(root);
    if (problem.isEmpty())
        problem = MakePrivateFolder(dir);
    if (!problem.isEmpty())
        throw CannotKeep(QStringLiteral("Error: "), problem);
}

void WriteKept(const QString& path, const QByteArray& content) {
    WritePrivateFile(path, content, QStringLiteral("EarlierVersions"));
}

// A version or export record as listed, all but its count of patches: `path` is its file.
EarlierVersion Listed(const QString& path, const Found& found) {
    EarlierVersion listed;
    listed.id = found.id;
    listed.time = found.time;
    listed.libraryBytes = QFileInfo(path).size();
    const QFileInfo side(SideFilePath(path));
    listed.sideBytes = side.isFile() ? side.size() : -1;
    return listed;
}

} // namespace

EarlierVersions::EarlierVersions(QString folder, Clock clock)
    : folder_(folder.isEmpty() ? DefaultFolder() : std::move(folder)), clock_(std::move(clock)) {}

QString EarlierVersions::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/versions");
}

QString EarlierVersions::FolderFor(const QString& libPath) const {
    const QByteArray hash =
        QCryptographicHash::hash(LibraryKeyPath(libPath).toUtf8(), QCryptographicHash::Sha1);
    return folder_ + QLatin1Char('/') + QString::fromLatin1(hash.toHex());
}

namespace {

// Our own leftovers of a version whose keeping was killed: hidden temporary files and commit records
// named after a version, regular files of this user. Anything else in the folder is left alone.
void RemoveLeftovers(const QString& dir) {
    static const QRegularExpression leftover(
        QStringLiteral("^\\.\\d{6,}-\\d{8}-\\d{6}-\\d{3}\\.pslib(\\.txt)?(-[0-9a-f]{8}\\.tmp|\\.commit)$"));
    const QDir folder(dir);
    for (const QString& name :
         folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDir::Unsorted)) {
        if (!leftover.match(name).hasMatch())
            continue;
        if (IsOwnRegularFile(folder.filePath(name)))
            QFile::remove(folder.filePath(name));
    }
}

// Whether the version at `path` can hold `pair`, by the sizes alone: most pairs differ in size, and
// then the version is not read.
bool SameAs(const QString& path, const LibraryPair& pair) {
    const QFileInfo side(SideFilePath(path));
    return QFileInfo(path).size() == pair.library.size() && side.isFile() == pair.side.has_value() &&
           (!pair.side || side.size() == pair.side->size());
}

#ifdef Q_OS_UNIX
// The identity of the file at `path` when it is one of our own regular files (opened without
// following a link) that holds `content`, read a piece at a time from the open file and given up at
// the first difference; nothing otherwise.
std::optional<FileIdentity> OwnFileHolding(const QString& path, const QByteArray& content) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_size != content.size())
        return std::nullopt;
    constexpr qsizetype Piece = 256 * 1024;
    QByteArray piece(std::min(Piece, std::max<qsizetype>(content.size(), 1)), Qt::Uninitialized);
    for (qsizetype at = 0; at < content.size();) {
        const ssize_t got = ::read(fd, piece.data(), size_t(std::min(piece.size(), content.size() - at)));
        if (got <= 0 || std::memcmp(piece.constData(), content.constData() + at, size_t(got)) != 0)
            return std::nullopt;
        at += got;
    }
    return IdentityFromStat(st);
}
#endif

// Whether the file at `path` holds `content`: read a piece at a time and given up at the first
// difference, so that a version that differs from the pair (the usual case when the sizes agree) is
// not read whole.
bool FileHolds(const QString& path, const QByteArray& content) {
#ifdef Q_OS_UNIX
    return OwnFileHolding(path, content).has_value();
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file.size() != content.size())
        return false;
    constexpr qsizetype Piece = 256 * 1024;
    QByteArray piece(Piece, Qt::Uninitialized);
    for (qsizetype at = 0; at < content.size();) {
        const qint64 got = file.read(piece.data(), std::min(Piece, content.size() - at));
        if (got <= 0 || std::memcmp(piece.constData(), content.constData() + at, size_t(got)) != 0)
            return false;
        at += got;
    }
    return true;
#endif
}

// Whether the version at `path` holds `pair`; the side file first, where a save's changes usually are.
bool HoldsPair(const QString& path, const LibraryPair& pair) {
    // Only our own files are read: never what a link in their place names.
    for (const QString& file : {path, SideFilePath(path)})
        if (const QString wrong = NotPrivateFile(file); !wrong.isEmpty())
            throw CannotKeep(QStringLiteral("Error: Not a file Quillbox made, so it is left alone: "), wrong);
    return (pair.side ? FileHolds(SideFilePath(path), *pair.side)
                      : !QFileInfo(SideFilePath(path)).isFile()) &&
           FileHolds(path, pair.library);
}

// A side file goes into the store as a second name of a kept version's side file that holds the same
// bytes, when one of the newest few does (a save that changed only the library, or changed a
// description back): the copy is not written again. Library files are always copies of their own:
// the collection takes a file that two names share once, and each version is a place of its own.
void FindTwinSide(PrivateFileContent& file, const QString& dir, const QList<Found>& versions) {
#ifdef Q_OS_UNIX
    constexpr qsizetype Looked = 3;
    for (qsizetype i = 0; i < std::min(Looked, versions.size()); ++i) {
        const QString path = SideFilePath(dir + QLatin1Char('/') + versions[i].id);
        if (QFileInfo(path).size() != file.content.size())
            continue;
        if (const std::optional<FileIdentity> id = OwnFileHolding(path, file.content)) {
            file.sameAs = path;
            file.sameAsId = *id;
            return;
        }
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(dir);
    Q_UNUSED(versions);
#endif
}

} // namespace

bool EarlierVersions::Keep(const QString& libPath, const LibraryPair& replaced) {
    const QString dir = FolderFor(libPath);
    MakeFolders(folder_, dir);
    RemoveLeftovers(dir);
    const QList<Found> before = FindVersions(dir);
    // A pair that is already the newest version adds nothing: failed or repeated saves never push
    // the real versions out.
    if (!before.isEmpty() && SameAs(dir + QLatin1Char('/') + before.front().id, replaced) &&
        HoldsPair(dir + QLatin1Char('/') + before.front().id, replaced))
        return false;

    // Says which library the hashed folder belongs to, for anyone looking at the store by hand.
    const QString record = dir + QLatin1Char('/') + PathRecord;
    const QByteArray key = LibraryKeyPath(libPath).toUtf8() + '\n';
    if (ReadOwnFile(record, key.size()).bytes != key)
        WriteKept(record, key);

    const qint64 sequence = before.isEmpty() ? 1 : before.front().sequence + 1;
    const QDateTime now = (clock_ ? clock_() : QDateTime::currentDateTimeUtc()).toUTC();
    const QString base =
        dir + QLatin1Char('/') +
        QStringLiteral("%1-%2.pslib").arg(sequence, 6, 10, QLatin1Char('0')).arg(now.toString(TimeFormat));
    // Side file first, each file written whole and renamed into place: a version is complete once
    // its library file is there, and a side file without one is removed below.
    std::vector<PrivateFileContent> files;
    if (replaced.side) {
        files.push_back({SideFilePath(base), *replaced.side, {}, {}});
        FindTwinSide(files.back(), dir, before);
    }
    files.push_back({base, replaced.library, {}, {}});
    WritePrivateFiles(files, QStringLiteral("EarlierVersions"));

    // The oldest beyond the limit go, library file first, so that a version is never listed without
    // its side file; side files left behind by an interrupted version or prune go too.
    const QList<Found> after = FindVersions(dir);
    for (qsizetype i = Kept; i < after.size(); ++i) {
        const QString path = dir + QLatin1Char('/') + after[i].id;
        QFile::remove(path);
        if (NotPrivateFile(SideFilePath(path)).isEmpty())
            QFile::remove(SideFilePath(path));
    }
    const QStringList sides = QDir(dir).entryList({QStringLiteral("*.pslib.txt")}, QDir::Files);
    for (const QString& side : sides) {
        const QString library = side.chopped(4);
        const QRegularExpressionMatch match = VersionName().match(library);
        if (match.hasMatch() && match.captured(1).toLongLong() < sequence &&
            !QFileInfo::exists(dir + QLatin1Char('/') + library) &&
            NotPrivateFile(dir + QLatin1Char('/') + side).isEmpty())
            QFile::remove(dir + QLatin1Char('/') + side);
    }
    return true;
}

QList<EarlierVersion> EarlierVersions::List(const QString& libPath) const {
    const QString dir = FolderFor(libPath);
    QList<EarlierVersion> versions;
    for (const Found& found : FindVersions(dir)) {
        const QString path = dir + QLatin1Char('/') + found.id;
        EarlierVersion version = Listed(path, found);
        QFile file(path);
        char marker = 0;
        if (file.open(QIODevice::ReadOnly) && file.getChar(&marker) && marker == LibraryFileMarker)
            version.patches = (version.libraryBytes - 1 + PatchImageSize - 1) / PatchImageSize;
        versions.append(version);
    }
    return versions;
}

namespace {

// "export-<sequence>-<UTC time>.pch": only names of this form are listed, read or removed.
const QRegularExpression& ExportName() {
    static const QRegularExpression name(QStringLiteral("^export-(\\d{6,})-(\\d{8}-\\d{6}-\\d{3})\\.pch$"));
    return name;
}

QList<Found> FindExports(const QString& dir) {
    QList<Found> found;
    // Only this user's regular files count: a link or another's file of that name is none of ours.
    for (const QString& name :
         QDir(dir).entryList({QStringLiteral("export-*.pch")}, QDir::Files | QDir::NoSymLinks)) {
        const QRegularExpressionMatch match = ExportName().match(name);
        if (!match.hasMatch() || !IsOwnRegularFile(dir + QLatin1Char('/') + name))
            continue;
        found.append(FoundOf(match, name));
    }
    return NewestFirst(std::move(found));
}

} // namespace

void EarlierVersions::KeepExport(const QString& libPath, const LibraryPair& exported) {
    const QString dir = FolderFor(libPath);
    MakeFolders(folder_, dir);
    const QString record = dir + QLatin1Char('/') + PathRecord;
    const QByteArray key = LibraryKeyPath(libPath).toUtf8() + '\n';
    if (ReadOwnFile(record, key.size()).bytes != key)
        WriteKept(record, key);
    const QList<Found> before = FindExports(dir);
    const qint64 sequence = before.isEmpty() ? 1 : before.front().sequence + 1;
    const QDateTime now = (clock_ ? clock_() : QDateTime::currentDateTimeUtc()).toUTC();
    const QString path = dir + QLatin1Char('/') +
                         QStringLiteral("export-%1-%2.pch")
                             .arg(sequence, 6, 10, QLatin1Char('0'))
                             .arg(now.toString(TimeFormat));
    // Side file first: a record is complete once its patch file is there. A side file left without
    // one by an earlier failure is overwritten or never read.
    const QString side = SideFilePath(path);
    if (exported.side)
        WriteKept(side, *exported.side);
    WriteKept(path, exported.library);
    // The oldest beyond the limit go: only our own regular files with the record's name.
    const QList<Found> after = FindExports(dir);
    for (qsizetype i = KeptExports; i < after.size(); ++i) {
        const QString old = dir + QLatin1Char('/') + after[i].id;
        if (IsOwnRegularFile(old))
            QFile::remove(old);
        if (QFileInfo(SideFilePath(old)).isFile() && IsOwnRegularFile(SideFilePath(old)))
            QFile::remove(SideFilePath(old));
    }
    // Side files of records whose patch file never arrived (a failed or killed export record).
    for (const QString& name : QDir(dir).entryList({QStringLiteral("export-*.pch.txt")}, QDir::Files)) {
        const QRegularExpressionMatch match = ExportName().match(name.chopped(4));
        const QString orphan = dir + QLatin1Char('/') + name;
        if (match.hasMatch() && match.captured(1).toLongLong() <= sequence &&
            !QFileInfo::exists(orphan.chopped(4)) && IsOwnRegularFile(orphan))
            QFile::remove(orphan);
    }
}

QList<EarlierVersion> EarlierVersions::Exports(const QString& libPath) const {
    const QString dir = FolderFor(libPath);
    QList<EarlierVersion> records;
    for (const Found& found : FindExports(dir)) {
        const QString path = dir + QLatin1Char('/') + found.id;
        EarlierVersion record = Listed(path, found);
        record.patches = (record.libraryBytes + PatchImageSize - 1) / PatchImageSize;
        records.append(record);
    }
    return records;
}

namespace {

// The pair kept as `id` in `folder`, when `id` has the name `pattern` gives Quillbox's files.
LibraryPair ReadKept(const QString& folder, const QString& id, const QRegularExpression& pattern) {
    const QString path = folder + QLatin1Char('/') + id;
    if (!pattern.match(id).hasMatch())
        throw FileError{FileNotFoundNumber, QStringLiteral("EarlierVersions"),
                        QStringLiteral("File not found: ") + path};
    // Only our own files are read: never what a link in their place names.
    for (const QString& file : {path, SideFilePath(path)})
        if (const QString wrong = NotPrivateFile(file); !wrong.isEmpty())
            throw CannotKeep(QStringLiteral("Error: Not a file Quillbox made, so it is left alone: "), wrong);
    LibraryPair pair{ReadFileAsString(path), std::nullopt};
    if (QFileInfo(SideFilePath(path)).isFile())
        pair.side = ReadFileAsString(SideFilePath(path));
    return pair;
}

} // namespace

LibraryPair EarlierVersions::ReadExport(const QString& libPath, const QString& id) const {
    return ReadKept(FolderFor(libPath), id, ExportName());
}

LibraryPair EarlierVersions::Read(const QString& libPath, const QString& id) const {
    return ReadKept(FolderFor(libPath), id, VersionName());
}

QString EarlierVersions::PathRecordOf(const QString& dir) {
    return dir + QLatin1Char('/') + PathRecord;
}

QStringList EarlierVersions::VersionFiles(const QString& dir) {
    QStringList files;
    for (const QString& name : QDir(dir).entryList({QStringLiteral("*.pslib")}, QDir::Files, QDir::Name)) {
        if (VersionName().match(name).hasMatch())
            files.append(dir + QLatin1Char('/') + name);
    }
    return files;
}

} // namespace quillbox
