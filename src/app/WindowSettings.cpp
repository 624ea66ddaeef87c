#include "WindowSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quillbox {

namespace {

const QString RecentKey = QStringLiteral("RecentLibraries");
const QString RecentShowsKey = QStringLiteral("RecentShows");
const QString LibraryFolderKey = QStringLiteral("Folders/Library");
const QString PatchFolderKey = QStringLiteral("Folders/PatchFile");
const QString GeometryKey = QStringLiteral("Window/Geometry");
const QString MaximizedKey = QStringLiteral("Window/Maximized");

// A path as the list keeps it, or empty when the value cannot be one (a damaged file can hold
// anything).
QString CleanPath(const QString& path) {
    if (path.isEmpty() || std::any_of(path.cbegin(), path.cend(), [](QChar c) { return c.unicode() < 32; }))
        return {};
    const QFileInfo info(path);
    return info.isAbsolute() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

// A value of the expected type, or nothing; QSettings turns unknown text into strings.
QString StringValue(const QSettings& settings, const QString& key) {
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// A recent list as kept under `key`: absolute paths, each once, at most `most`.
QStringList RecentList(const QSettings& settings, const QString& key, qsizetype most) {
    const QVariant recent = settings.value(key);
    QStringList paths;
    if (recent.typeId() == QMetaType::QStringList)
        paths = recent.toStringList();
    else if (recent.typeId() == QMetaType::QString)
        paths = QStringList{recent.toString()}; // a list of one is written as a plain value
    QStringList clean;
    for (const QString& path : std::as_const(paths)) {
        const QString cleaned = CleanPath(path);
        if (!cleaned.isEmpty() && !clean.contains(cleaned) && clean.size() < most)
            clean.append(cleaned);
    }
    return clean;
}

// Puts `path` first in `list`; false when it is no path to keep.
bool PutFirst(QStringList& list, const QString& path, qsizetype most) {
    const QString clean = CleanPath(path);
    if (clean.isEmpty())
        return false;
    list.removeAll(clean);
    list.prepend(clean);
    while (list.size() > most)
        list.removeLast();
    return true;
}

qint64 Overlap(const QRect& a, const QRect& b) {
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : qint64(both.width()) * both.height();
}

// The user's settings file, where QSettings keeps it for the organisation and program "quillbox".
QString UserSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quillbox/quillbox.ini");
}

// False when something other than a regular file (or a link to one) is at `path`: QSettings would
// wait on a FIFO for ever and read a device without end, and a write would go into it.
bool MayUseSettingsFile(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return true; // missing (or unknowable): QSettings copes, and creates a regular file
    std::fprintf(stderr,
                 "quillbox: %s is not a regular file; it is neither read nor written, the settings start "
                 "from the defaults\n",
                 QFile::encodeName(path).constData());
    return false;
#else
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace

WindowSettings::WindowSettings(std::shared_ptr<QSettings> settings) : settings_(std::move(settings)) {
    if (!settings_) {
        const QString path = UserSettingsPath();
        if (!MayUseSettingsFile(path))
            return; // the defaults, kept for this run only
        settings_ = std::make_shared<QSettings>(path, QSettings::IniFormat);
    }
    const QSettings& s = *settings_;
    if (s.status() != QSettings::NoError) {
        damaged_ = s.status() == QSettings::FormatError;
        return;
    }
    recent_ = RecentList(s, RecentKey, MaxRecent);
    recentShows_ = RecentList(s, RecentShowsKey, MaxRecent);
    libraryFolder_ = CleanPath(StringValue(s, LibraryFolderKey));
    patchFolder_ = CleanPath(StringValue(s, PatchFolderKey));
    const QVariant geometry = s.value(GeometryKey);
    if (geometry.typeId() == QMetaType::QRect && geometry.toRect().isValid())
        windowRect_ = geometry.toRect();
    maximized_ = s.value(MaximizedKey).toString() == QLatin1String("true");
}

WindowSettings::~WindowSettings() = default;

void WindowSettings::AddRecentLibrary(const QString& path) {
    if (PutFirst(recent_, path, MaxRecent))
        Write();
}

void WindowSettings::AddRecentShow(const QString& path) {
    if (PutFirst(recentShows_, path, MaxRecent))
        Write();
}

void WindowSettings::RemoveRecentShow(const QString& path) {
    if (recentShows_.removeAll(CleanPath(path)) > 0)
        Write();
}

void WindowSettings::RemoveRecentLibrary(const QString& path) {
    if (recent_.removeAll(CleanPath(path)) > 0)
        Write();
}

QString WindowSettings::LastFolder(FileKind kind) const {
    const QString& folder = kind == FileKind::Library ? libraryFolder_ : patchFolder_;
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void WindowSettings::SetLastFolder(FileKind kind, const QString& folder) {
    QString& kept = kind == FileKind::Library ? libraryFolder_ : patchFolder_;
    const QString clean = CleanPath(folder);
    if (clean.isEmpty() || clean == kept)
        return;
    kept = clean;
    Write();
}

void WindowSettings::SetWindowPlace(const QRect& normal, bool maximized) {
    if (!normal.isValid())
        return;
    windowRect_ = normal;
    maximized_ = maximized;
    Write();
}

QRect WindowSettings::PlaceOnScreens(const QRect& saved, const QList<QRect>& screens, const QMargins& frame) {
    if (screens.isEmpty() || !saved.isValid())
        return saved;
    const QRect outer = saved.marginsAdded(frame);
    const auto best =
        std::max_element(screens.cbegin(), screens.cend(), [&outer](const QRect& a, const QRect& b) {
            return Overlap(outer, a) < Overlap(outer, b);
        });
    const bool onAScreen = Overlap(outer, *best) > 0;
    const QRect screen = onAScreen ? *best : screens.first();
    QRect placed(outer.topLeft(), outer.size().boundedTo(screen.size()));
    if (onAScreen) {
        placed.moveLeft(std::clamp(placed.left(), screen.left(), screen.right() - placed.width() + 1));
        placed.moveTop(std::clamp(placed.top(), screen.top(), screen.bottom() - placed.height() + 1));
    } else {
        placed.moveCenter(screen.center());
    }
    return placed.marginsRemoved(frame);
}

void WindowSettings::Write() {
    if (!settings_)
        return;
    QSettings& s = *settings_;
    if (damaged_) {
        // Whatever the damaged file held is not kept: the new file holds what is known now.
        s.clear();
        damaged_ = false;
    }
    s.setValue(RecentKey, recent_);
    if (!recentShows_.isEmpty() || s.contains(RecentShowsKey))
        s.setValue(RecentShowsKey, recentShows_);
    if (!libraryFolder_.isEmpty())
        s.setValue(LibraryFolderKey, libraryFolder_);
    if (!patchFolder_.isEmpty())
        s.setValue(PatchFolderKey, patchFolder_);
    if (windowRect_) {
        s.setValue(GeometryKey, *windowRect_);
        s.setValue(MaximizedKey, maximized_);
    }
    // A file that cannot be written only means that the next run starts from the defaults.
    s.sync();
}

} // namespace quillbox
