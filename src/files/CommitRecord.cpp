#include "CommitRecord.h"

#include "SaveSteps.h"

#include <QFile>
#include <QFileInfo>
#include <optional>

namespace quillbox::saving {

// Text lines: a title, then per target its path, its temporary file, its old version ("-" when the
// target did not exist), the new size, the identities of the old target and of the prepared file and
// the prepared content's hash, each path as percent-encoded bytes; then "end". A record without its
// last line was cut short while being written: no rename had begun. A save that is being undone is
// marked by a line "rollback" before "end", so that a kill while the old files go back cannot lead a
// later recovery to finish the save instead and mix the two.

namespace {

const QByteArray RecordTitle = QByteArrayLiteral("Quillbox commit record 2");

QByteArray EncodePath(const QString& path) {
    return path.isEmpty() ? QByteArrayLiteral("-") : QFile::encodeName(path).toPercentEncoding("/");
}

QString DecodePath(const QByteArray& field) {
    return field == "-" ? QString() : QFile::decodeName(QByteArray::fromPercentEncoding(field));
}

} // namespace

QByteArray RecordBytes(const std::vector<Prepared>& items) {
    QByteArray bytes = RecordTitle + '\n';
    for (const Prepared& p : items)
        bytes += EncodePath(p.finalPath) + '\t' + EncodePath(p.tempPath) + '\t' + EncodePath(p.backupPath) +
                 '\t' + QByteArray::number(p.size) + '\t' + p.oldId.ToText() + '\t' + p.newId.ToText() +
                 '\t' + p.hash + '\t' + p.backupId.ToText() + '\n';
    return bytes + "end\n";
}

Record ParseRecord(const QByteArray& bytes) {
    Record record;
    const QList<QByteArray> lines = bytes.split('\n');
    // Cut short inside its title: no line names anything yet.
    if (lines.size() == 1 && !bytes.isEmpty() && RecordTitle.startsWith(bytes)) {
        record.valid = true;
        return record;
    }
    if (lines.isEmpty() || lines.front() != RecordTitle)
        return record;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i] == "end" && i + 1 < lines.size()) {
            record.complete = i + 2 == lines.size() && lines.back().isEmpty();
            record.valid = record.complete && !record.items.empty();
            return record;
        }
        // The last line of a record cut short while being written may be cut itself: the lines
        // before it still count. No rename had begun then.
        if (i + 1 == lines.size()) {
            record.valid = true;
            return record;
        }
        if (lines[i] == "rollback") {
            record.rollBack = true;
            continue;
        }
        const QList<QByteArray> fields = lines[i].split('\t');
        if (fields.size() != 8)
            return record;
        bool sized = false;
        const qint64 size = fields[3].toLongLong(&sized);
        const std::optional<FileIdentity> oldId = FileIdentity::FromText(fields[4]);
        const std::optional<FileIdentity> newId = FileIdentity::FromText(fields[5]);
        const std::optional<FileIdentity> backupId = FileIdentity::FromText(fields[7]);
        if (!sized || size < 0 || fields[0] == "-" || fields[1] == "-" || !oldId || !newId ||
            !newId->exists || !backupId || fields[6].size() != 64 || (fields[2] == "-") == oldId->exists ||
            (fields[2] == "-") == backupId->exists)
            return record;
        Prepared p;
        p.finalPath = p.shown = DecodePath(fields[0]);
        p.tempPath = DecodePath(fields[1]);
        p.backupPath = DecodePath(fields[2]);
        p.existed = oldId->exists;
        p.size = size;
        p.oldId = *oldId;
        p.newId = *newId;
        p.hash = fields[6];
        p.backupId = *backupId;
        record.items.push_back(p);
    }
    return record;
}

void WriteRecord(const QString& recordPath, const QByteArray& bytes) {
    QFile file(recordPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        throw CannotOpen(recordPath);
    try {
        WriteAndSync(file, recordPath, bytes);
    } catch (const FileError&) {
        file.remove(); // no half record may stay behind a save that was refused
        throw;
    }
}

// Replaces the record by one marked "rollback" (atomically: a temporary file renamed over it).
// Nothing can be done about a failure here; the old files are put back all the same.
void MarkRollBack(const QString& recordPath, const QByteArray& bytes) {
    QFile file;
    const QString temp = CreateTemp(file, recordPath);
    if (temp.isEmpty())
        return;
    try {
        WriteAndSync(file, recordPath, bytes.chopped(4) + "rollback\nend\n");
    } catch (const FileError&) {
        QFile::remove(temp);
        return;
    }
    if (!Rename(temp, recordPath))
        QFile::remove(temp);
    SyncFolder(QFileInfo(recordPath).absolutePath());
}

QStringList FoldersOf(const std::vector<Prepared>& items, const QString& recordPath) {
    QStringList folders{QFileInfo(recordPath).absolutePath()};
    for (const Prepared& p : items) {
        const QString folder = QFileInfo(p.finalPath).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

} // namespace quillbox::saving
