#include "CollectionSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <sys/stat.h>

namespace quillbox {

namespace {

const QString FoldersKey = QStringLiteral("Collection/Folders");

// QSettings would wait on a FIFO for ever: only a regular file (or none yet) is used.
bool MayUse(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode);
}

} // namespace

QString UserSettingsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quillbox/quillbox.ini");
}

QStringList ReadCollectionFolders(const QString& settingsPath) {
    const QString path = settingsPath.isEmpty() ? UserSettingsFilePath() : settingsPath;
    if (!MayUse(path) || !QFileInfo::exists(path))
        return {};
    const QSettings settings(path, QSettings::IniFormat);
    QStringList folders;
    // A damaged file can hold anything: only absolute paths without control characters are taken.
    for (const QString& folder : settings.value(FoldersKey).toStringList()) {
        if (folder.isEmpty() || !QDir::isAbsolutePath(folder) ||
            std::any_of(folder.cbegin(), folder.cend(), [](QChar c) { return c.unicode() < 32; }))
            continue;
        if (const QString clean = QDir::cleanPath(folder); !folders.contains(clean))
            folders.append(clean);
    }
    return folders;
}

bool WriteCollectionFolders(const QStringList& folders, const QString& settingsPath) {
    const QString path = settingsPath.isEmpty() ? UserSettingsFilePath() : settingsPath;
    if (!MayUse(path))
        return false;
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(FoldersKey, folders);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace quillbox
