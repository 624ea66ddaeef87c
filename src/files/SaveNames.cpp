#include "FileIdentity.h"
#include "SaveSteps.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace quillbox {

namespace saving {

// The longest name the file system takes in `folder`, in bytes.
qint64 NameMax(const QString& folder) {
#ifdef Q_OS_UNIX
    const long max = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return max > 0 ? max : 255;
#else
    Q_UNUSED(folder);
    return 255;
#endif
}

// What a temporary name adds to its target's: "." before, "-" and 8 hex digits and ".tmp" after.
constexpr qint64 TempNameOverhead = 14;

// The part of a target's name that its temporary files and commit record carry: the name itself, or,
// when that would not fit the file system's limit in bytes, as many whole characters of it as fit
// followed by a short hash of the whole name, so that two long names stay apart.
QString NameBase(const QString& folder, const QString& fileName) {
    const qint64 budget = NameMax(folder) - TempNameOverhead;
    if (QFile::encodeName(fileName).size() <= budget)
        return fileName;
    const QString hash =
        QLatin1Char('~') +
        QString::fromLatin1(
            QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Md5).toHex().left(8));
    QString base = fileName;
    while (!base.isEmpty() && QFile::encodeName(base).size() + hash.size() > budget)
        base.chop(base.size() >= 2 && base.back().isLowSurrogate() ? 2 : 1);
    return base + hash;
}

namespace {

QString TempPrefix(const QString& finalPath) {
    const QFileInfo info(finalPath);
    return info.absolutePath() + QStringLiteral("/.") + NameBase(info.absolutePath(), info.fileName()) +
           QLatin1Char('-');
}

} // namespace

QString NewTempName(const QString& finalPath) {
    return TempPrefix(finalPath) +
           QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')) +
           QStringLiteral(".tmp");
}

// True for a name this code gives the temporary files of `finalPath` (in its folder).
bool IsTempNameOf(const QString& name, const QString& finalPath) {
    const QString prefix = QFileInfo(TempPrefix(finalPath)).fileName();
    if (!name.startsWith(prefix) || name.size() != prefix.size() + 12 ||
        !name.endsWith(QStringLiteral(".tmp")))
        return false;
    for (qsizetype i = prefix.size(); i < prefix.size() + 8; ++i) {
        const QChar c = name[i];
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

// Removes the temporary files a killed save of `finalPath` left: only our own regular files with
// names of exactly the pattern this code gives them, never anything else.
void RemoveLeftovers(const QString& finalPath) {
    const QFileInfo info(finalPath);
    const QString prefix = QFileInfo(TempPrefix(finalPath)).fileName();
    const QDir folder(info.absolutePath());
    // Not a wildcard filter: the name may hold '[' or '*' itself.
    for (const QString& name :
         folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDir::Unsorted)) {
        if (name.startsWith(prefix) && IsTempNameOf(name, finalPath) &&
            IsOwnRegularFile(folder.filePath(name)))
            QFile::remove(folder.filePath(name));
    }
}

namespace {

// The file a path finally names: a symlink is replaced by writing to what it points at, so the link
// itself stays a link. Returns nothing for a loop of links.
std::optional<QString> ResolveLinks(const QString& path) {
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        const QString next = info.symLinkTarget();
        if (next.isEmpty())
            return std::nullopt;
        current = next;
    }
    return std::nullopt;
}

} // namespace

// The path a target is finally written at: links followed, made absolute. Empty when it cannot be.
QString FinalPath(const QString& target) {
    const std::optional<QString> finalPath = ResolveLinks(target);
    if (!finalPath || finalPath->isEmpty() || QFileInfo(*finalPath).fileName().isEmpty())
        return {};
    return QFileInfo(*finalPath).absoluteFilePath();
}

} // namespace saving

using namespace saving;

QString SafeSave::CommitRecordPath(const QString& mainTarget) {
    const QFileInfo info(mainTarget);
    return info.absolutePath() + QStringLiteral("/.") + NameBase(info.absolutePath(), info.fileName()) +
           QStringLiteral(".commit");
}

} // namespace quillbox
