#pragma once

// The small steps every part of a safe save is made of: the test seams that watch them, the error
// texts of a write, renames and syncs, and writing a temporary file. For SafeSave's own files only.

#include "SafeSave.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillbox::saving {

SafeSave::WriteHook& WriteHookFn();
SafeSave::DiskStepHook& DiskStepHookFn();

FileError WriteError(const QString& prefix, const QString& path);
FileError CannotOpen(const QString& path);
FileError CannotWrite(const QString& path);

bool Rename(const QString& from, const QString& to);
bool Exists(const QString& path);
void SyncFolder(const QString& folder);
void SyncFolders(const QStringList& folders);

QByteArray HashOf(const QByteArray& content);

// Creates a new temporary file for `finalPath` and opens it; returns its name, empty on failure.
QString CreateTemp(QFile& file, const QString& finalPath);
// Writes `content` to the open `file`, flushes and syncs it and closes it.
void WriteAndSync(QFile& file, const QString& shown, const QByteArray& content);
// WriteAndSync() in two halves, so that several files are on their way to the disk at once: Write()
// writes and flushes `content` and starts the disk writing it back; Sync() waits until the file's
// data is on the disk and closes it.
void Write(QFile& file, const QString& shown, const QByteArray& content);
void Sync(QFile& file, const QString& shown);

// ---- Our own names (SaveNames.cpp) ----

// The longest name the file system takes in `folder`, in bytes.
qint64 NameMax(const QString& folder);
// The part of a target's name that its temporary files and commit record carry.
QString NameBase(const QString& folder, const QString& fileName);
QString NewTempName(const QString& finalPath);
// True for a name this code gives the temporary files of `finalPath` (in its folder).
bool IsTempNameOf(const QString& name, const QString& finalPath);
// Removes the temporary files a killed save of `finalPath` left (only our own).
void RemoveLeftovers(const QString& finalPath);
// The path a target is finally written at: links followed, made absolute. Empty when it cannot be.
QString FinalPath(const QString& target);

} // namespace quillbox::saving
