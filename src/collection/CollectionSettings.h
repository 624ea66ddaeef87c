#pragma once

#include <QString>
#include <QStringList>

namespace quillbox {

// The folders the user chose for the collection, kept in the window's settings file (key
// "Collection/Folders"), so that the tool without --in scans what the window shows. Qt Core only.
// `settingsPath` empty means the user's settings file.
QStringList ReadCollectionFolders(const QString& settingsPath = {});
bool WriteCollectionFolders(const QStringList& folders, const QString& settingsPath = {});
// The user's settings file, where the window keeps its settings.
QString UserSettingsFilePath();

} // namespace quillbox
