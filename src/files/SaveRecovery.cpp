#include "SaveRecovery.h"

#include "CommitRecord.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "PrivateFiles.h"
#include "SaveLock.h"
#include "SaveSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quillbox {

namespace saving {

namespace {

// Who owns the file at `path` itself (a link's own owner), in words.
QString OwnerOf(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return UserName(st.st_uid);
#endif
    return QStringLiteral("an unknown user");
}

QString NotOurs(const QString& recordPath, const QString& mainTarget, const QString& why) {
    return QStringLiteral("Quillbox found %1 (owned by %2) beside %3, but it is not a record of a save of "
                          "this library (%4). Quillbox has not touched it nor any file it names; if you "
                          "do not know it, remove it.")
        .arg(recordPath, OwnerOf(recordPath), mainTarget, why);
}

QString Finished(const QString& mainTarget) {
    return QStringLiteral(
               "The last save of %1 was interrupted. Quillbox has now finished it: the file and its "
               "descriptions both come from that save.")
        .arg(mainTarget);
}

QString RolledBack(const QString& mainTarget) {
    return QStringLiteral(
               "The last save of %1 was interrupted and could not be finished, so Quillbox has put "
               "back the file and its descriptions as they were before that save.")
        .arg(mainTarget);
}

QString NothingReplaced(const QString& mainTarget) {
    return QStringLiteral("The last save of %1 was interrupted before it had replaced a file: the file and "
                          "its descriptions are as they were before that save.")
        .arg(mainTarget);
}

enum class Kept { NotAsked, Yes, Failed };

QString ChangedSince(const QString& mainTarget, const QStringList& changed, Kept kept) {
    const QString start = QStringLiteral("The last save of %1 was interrupted, and since then %2 changed. "
                                         "Quillbox has left the files as they are now")
                              .arg(mainTarget, changed.join(QStringLiteral(" and ")));
    switch (kept) {
    case Kept::Yes:
        return start + QStringLiteral("; what that save would have written is kept as an earlier version.");
    case Kept::Failed:
        return start + QStringLiteral(", and the interrupted save's own files beside them, since it could "
                                      "not keep them as an earlier version; make room in your data folder.");
    case Kept::NotAsked:
        break;
    }
    return start + QLatin1Char('.');
}

FileError CannotRecover(const QString& mainTarget) {
    return WriteError(QStringLiteral("Error: The last save of this file was interrupted, and Quillbox can "
                                     "neither finish it nor put back the files as they were; make sure the "
                                     "folder can be written, then try again: "),
                      mainTarget);
}

// Why the record at `recordPath` is not this save's own, or empty when it is (then `record` holds it).
QString TrustRecord(const QString& recordPath, const QString& mainTarget, Record& record, QByteArray& bytes) {
    const OwnFile file = ReadOwnFile(recordPath, RecordMaxBytes);
    if (!file.refusal.isEmpty())
        return file.refusal;
    bytes = file.bytes;
    record = ParseRecord(bytes);
    if (!record.valid)
        return QStringLiteral("it is not a commit record that Quillbox wrote");
    // Its targets are exactly this library and its side file, as a save of it resolves them; every
    // other name lies beside its target and is one this code gives.
    const QString mainFinal = FinalPath(mainTarget);
    const QString sideFinal = FinalPath(SideFilePath(mainTarget));
    QStringList seen;
    for (const Prepared& p : record.items) {
        if (p.finalPath != mainFinal && p.finalPath != sideFinal)
            return QStringLiteral("it names %1, which is neither this library nor its side file")
                .arg(p.finalPath);
        if (seen.contains(p.finalPath))
            return QStringLiteral("it names %1 twice").arg(p.finalPath);
        seen.append(p.finalPath);
        const QString folder = QFileInfo(p.finalPath).absolutePath();
        for (const QString& name : {p.tempPath, p.backupPath}) {
            if (name.isEmpty())
                continue;
            const QFileInfo info(name);
            if (!QDir::isAbsolutePath(name) || info.absolutePath() != folder ||
                folder + QLatin1Char('/') + info.fileName() != name ||
                !IsTempNameOf(info.fileName(), p.finalPath))
                return QStringLiteral("it names %1, which is not a file Quillbox makes for %2")
                    .arg(name, p.finalPath);
        }
    }
    if (!record.complete)
        return {};
    if (!seen.contains(mainFinal))
        return QStringLiteral("it does not name this library");
    return {};
}

// TrustRecord() for a look that keeps nothing of the record.
QString WhyNotOurs(const QString& recordPath, const QString& mainTarget) {
    Record record;
    QByteArray bytes;
    return TrustRecord(recordPath, mainTarget, record, bytes);
}

// What a target holds now, set against the record. OldUnproven: the old file by every mark but its
// change time, where that time is not the record's to prove: a record of an earlier release does
// not hold it, a roll back under way changed it by renaming the file back, and the loss of the
// save's second name of the file (a link) changed it too. Such a target is never written over, so
// the save is then undone.
enum class Now { Old, OldUnproven, New, Other };

bool HoldsHash(const QString& path, const QByteArray& hash) {
    try {
        return HashOf(ReadFileAsString(path)) == hash;
    } catch (const FileError&) {
        return false;
    }
}

Now TargetNow(const Prepared& p, bool rollBack) {
    const FileIdentity now = IdentityOf(p.finalPath);
    // Renamed into place, the prepared file has a change time of its own: then its content says it.
    if (now.exists && now.SameApartFromChange(p.newId) &&
        (now.changedNs == p.newId.changedNs || HoldsHash(p.finalPath, p.hash)))
        return Now::New;
    if (now == p.oldId) // also both missing: the target did not exist and still does not
        return Now::Old;
    if (now.exists && now.SameApartFromChange(p.oldId) && p.oldId.changedNs == FileIdentity::UnknownChange)
        return Now::OldUnproven;
    if (rollBack && now.exists && now.SameApartFromChange(p.backupId)) // put back before a kill
        return Now::OldUnproven;
    if (now.exists && now.SameApartFromChange(p.oldId) && p.backupId.SameApartFromChange(p.oldId)) {
        const FileIdentity backup = IdentityOf(p.backupPath);
        if (!backup.exists || backup.inode != p.oldId.inode || backup.device != p.oldId.device)
            return Now::OldUnproven;
    }
    return Now::Other;
}

// Our prepared temporary file, still as the save wrote it (identity and content).
bool TempIntact(const Prepared& p) {
    if (p.tempPath.isEmpty() || !IsOwnRegularFile(p.tempPath) ||
        !IdentityOf(p.tempPath).SameApartFromChange(p.newId))
        return false;
    try {
        return HashOf(ReadFileAsString(p.tempPath)) == p.hash;
    } catch (const FileError&) {
        return false;
    }
}

// A second name of the old target is the old file itself (so owned by whoever owned that), a copy
// is ours; neither is a link.
bool OwnOrLinkedFile(const Prepared& p) {
    if (p.backupId == p.oldId)
        return !QFileInfo(p.backupPath).isSymLink() && QFileInfo(p.backupPath).isFile();
    return IsOwnRegularFile(p.backupPath);
}

// Our second name of the old target, still that file.
// Its change time is not asked: the rename of the target over it changed that.
bool BackupIntact(const Prepared& p) {
    return !p.backupPath.isEmpty() && OwnOrLinkedFile(p) &&
           IdentityOf(p.backupPath).SameApartFromChange(p.backupId);
}

// Removes the temporary files and second names the record names, where they are still ours: a
// second name also when the target was rewritten in place through it (one file, two names).
void RemoveRecordedFiles(const std::vector<Prepared>& items) {
    for (const Prepared& p : items) {
        if (!p.tempPath.isEmpty() && IsOwnRegularFile(p.tempPath) &&
            IdentityOf(p.tempPath).SameApartFromChange(p.newId))
            QFile::remove(p.tempPath);
        const FileIdentity backup = IdentityOf(p.backupPath), target = IdentityOf(p.finalPath);
        const bool sameFile = backup.exists && backup.device == target.device &&
                              backup.inode == target.inode && p.backupId == p.oldId &&
                              !QFileInfo(p.backupPath).isSymLink();
        if (BackupIntact(p) || sameFile)
            QFile::remove(p.backupPath);
    }
}

QStringList TargetFolders(const QString& mainTarget) {
    QStringList folders{QFileInfo(mainTarget).absolutePath()};
    const QString mainFinal = FinalPath(mainTarget), sideFinal = FinalPath(SideFilePath(mainTarget));
    for (const QString& path : {mainFinal, sideFinal})
        if (!path.isEmpty())
            folders.append(QFileInfo(path).absolutePath());
    return folders;
}

} // namespace

std::optional<QString> RecoverLocked(const QString& mainTarget, const SafeSave::KeepFiles& keep,
                                     QString* foreign) {
    const QString recordPath = SafeSave::CommitRecordPath(mainTarget);
    if (!Exists(recordPath))
        return std::nullopt;
    Record record;
    QByteArray bytes;
    if (const QString why = TrustRecord(recordPath, mainTarget, record, bytes); !why.isEmpty()) {
        if (foreign)
            *foreign = why;
        return NotOurs(recordPath, mainTarget, why);
    }
    const QStringList folders = FoldersOf(record.items, recordPath);
    QString report;
    if (!record.complete) {
        // Cut short while being written: no target has been touched. Its temporary files are removed
        // below with every other leftover of ours.
        RemoveRecordedFiles(record.items);
        RemoveLeftovers(SideFilePath(mainTarget));
        RemoveLeftovers(mainTarget);
        report = NothingReplaced(mainTarget);
    } else {
        std::vector<Now> now;
        QStringList changed;
        for (const Prepared& p : record.items) {
            now.push_back(TargetNow(p, record.rollBack));
            if (now.back() == Now::Other)
                changed.prepend(p.finalPath); // the library (added last) first
        }
        if (!changed.isEmpty()) {
            // Someone wrote the files since: what is there now stays. The save's own pair is kept
            // where the caller can keep it, and only then are its files removed.
            std::vector<SafeSave::OldFile> prepared;
            bool whole = true;
            for (size_t i = 0; i < record.items.size(); ++i) {
                const Prepared& p = record.items[i];
                if (now[i] == Now::New)
                    prepared.push_back({p.finalPath, p.finalPath});
                else if (TempIntact(p))
                    prepared.push_back({p.finalPath, p.tempPath});
                else
                    whole = false;
            }
            Kept kept = Kept::NotAsked;
            if (whole && keep) {
                kept = Kept::Failed;
                try {
                    if (keep(prepared))
                        kept = Kept::Yes;
                } catch (const FileError&) {
                }
            }
            if (kept == Kept::Failed) {
                if (foreign)
                    *foreign = QStringLiteral("an interrupted save whose files could not be kept");
                return ChangedSince(mainTarget, changed, kept);
            }
            RemoveRecordedFiles(record.items);
            QFile::remove(recordPath);
            return ChangedSince(mainTarget, changed, kept);
        }
        // Every target is still its old or its new file: finish when each old one has its intact
        // prepared file, else put the old ones back.
        bool forward = !record.rollBack;
        for (size_t i = 0; forward && i < record.items.size(); ++i)
            forward = now[i] == Now::New || (now[i] == Now::Old && TempIntact(record.items[i]));
        if (forward) {
            for (size_t i = 0; i < record.items.size(); ++i) {
                Prepared& p = record.items[i];
                if (now[i] == Now::Old && !Rename(p.tempPath, p.finalPath))
                    throw CannotRecover(mainTarget);
            }
            SyncFolders(folders);
            report = Finished(mainTarget);
            // The pair the save replaced goes where every save's does.
            std::vector<SafeSave::OldFile> old;
            bool whole = true;
            for (const Prepared& p : record.items) {
                if (!p.existed)
                    old.push_back({p.finalPath, QString()});
                else if (BackupIntact(p))
                    old.push_back({p.finalPath, p.backupPath});
                else
                    whole = false;
            }
            if (whole && keep) {
                try {
                    keep(old);
                } catch (const FileError&) {
                }
            }
        } else {
            if (!record.rollBack)
                MarkRollBack(recordPath, bytes);
            bool ok = true, replaced = false;
            for (size_t i = 0; i < record.items.size(); ++i) {
                Prepared& p = record.items[i];
                if (now[i] != Now::New)
                    continue;
                replaced = true;
                if (p.existed)
                    ok = BackupIntact(p) && Rename(p.backupPath, p.finalPath) && ok;
                else
                    ok = QFile::remove(p.finalPath) && ok;
            }
            if (!ok)
                throw CannotRecover(mainTarget);
            SyncFolders(folders);
            report = replaced ? RolledBack(mainTarget) : NothingReplaced(mainTarget);
        }
        RemoveRecordedFiles(record.items);
    }
    if (!QFile::remove(recordPath))
        throw CannotRecover(mainTarget);
    RemoveLeftovers(recordPath);
    for (const Prepared& p : record.items)
        RemoveLeftovers(p.finalPath);
    return report;
}

} // namespace saving

using namespace saving;

std::optional<QString> SafeSave::Recover(const QString& mainTarget, const KeepFiles& keep, bool* foreign) {
    const QString recordPath = CommitRecordPath(mainTarget);
    if (mainTarget.isEmpty() || !Exists(recordPath))
        return std::nullopt;
    // A record that is not ours is told about without waiting for the lock: nothing it names is
    // touched, so no save needs to be waited for, and a load never waits on anything of another's.
    if (const QString why = WhyNotOurs(recordPath, mainTarget); !why.isEmpty()) {
        if (foreign)
            *foreign = true;
        return NotOurs(recordPath, mainTarget, why);
    }
    const FolderLock lock(TargetFolders(mainTarget), mainTarget);
    QString why;
    std::optional<QString> report = RecoverLocked(mainTarget, keep, &why);
    if (foreign)
        *foreign = !why.isEmpty();
    return report;
}

} // namespace quillbox
