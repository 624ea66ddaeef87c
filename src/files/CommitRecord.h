#pragma once

// The commit record of a save of several files: what a save prepared, written down before its first
// rename, so that recovery can finish the save or put the old files back. For SafeSave's own files.

#include "FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace quillbox::saving {

struct Prepared {
    QString shown;      // the path as the caller gave it, for messages
    QString finalPath;  // after following symlinks
    QString tempPath;   // empty once renamed (or never created)
    QString backupPath; // a second name of the old target while the save is under way; empty: none
    bool existed = false;
    qint64 size = 0;
    FileIdentity oldId;    // the target before the save (missing when it did not exist)
    FileIdentity newId;    // the prepared temporary file
    FileIdentity backupId; // the second name of the old target (a link: the same as oldId)
    QByteArray hash;       // of the prepared content (hex)
};

// A record names two files with three paths each; anything larger is not one of ours.
constexpr qint64 RecordMaxBytes = 16 * 1024;

QByteArray RecordBytes(const std::vector<Prepared>& items);

struct Record {
    std::vector<Prepared> items;
    bool complete = false;
    bool rollBack = false;
    bool valid = false; // every line read is a line this code writes
};

Record ParseRecord(const QByteArray& bytes);
void WriteRecord(const QString& recordPath, const QByteArray& bytes);
// Replaces the record by one marked "rollback" (atomically: a temporary file renamed over it).
void MarkRollBack(const QString& recordPath, const QByteArray& bytes);
// The folders a save or its recovery works in: the record's and each target's.
QStringList FoldersOf(const std::vector<Prepared>& items, const QString& recordPath);

} // namespace quillbox::saving
