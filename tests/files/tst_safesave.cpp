// The safe save seen from below: what reaches the disk in which order, what a recovery does with a
// save that was stopped part way, and what a save keeps of the file it replaces.
#include "FileAccess.h"
#include "LibraryFile.h"
#include "SafeSave.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;
using namespace Qt::StringLiterals;
using Step = SafeSave::DiskStep;

namespace {

int ModeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Saves `lib` (and its side file, when `side` is given, as a library pair is saved) through SafeSave.
void SavePair(const QString& lib, const QByteArray& libBytes, const std::optional<QByteArray>& side) {
    SafeSave save;
    if (side)
        save.Add(SideFilePath(lib), *side);
    save.Add(lib, libBytes);
    save.Commit();
}

QByteArray OldLib() {
    return "\x01old library";
}
QByteArray OldSide() {
    return "[Description]\r\n1=old\r\n";
}
QByteArray NewLib() {
    return "\x01new library, longer";
}
QByteArray NewSide() {
    return "[Description]\r\n1=new\r\n";
}

// Where a save of the pair is stopped by a kill: before the library's rename (the side file is in
// place then), or while the pair is put back after that rename failed.
enum Stop { BeforeLibRename, WhileRollingBack };

// Runs the pair save in a child process that is killed at `stop`; true when it was.
bool KilledSave(const QString& lib, Stop stop) {
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) { // no test macros here: the child ends by SIGKILL, or with status 3
        SafeSave::SetRenameHookForTest([&](const QString& target) {
            if (target == lib && stop == WhileRollingBack)
                throw FileError{FileErrorNumber, QStringLiteral("test"), QStringLiteral("rename refused")};
        });
        int sideRenames = 0;
        SafeSave::SetDiskStepHookForTest([&](const Step& step) {
            const bool libRename = step.kind == Step::Rename && step.to == lib;
            // Putting back: the side file's old version goes over it, after its new one did.
            const bool putBack =
                step.kind == Step::Rename && step.to == SideFilePath(lib) && ++sideRenames == 2;
            if ((stop == BeforeLibRename && libRename) || (stop == WhileRollingBack && putBack))
                ::raise(SIGKILL);
        });
        SavePair(lib, NewLib(), NewSide());
        ::_exit(3);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

QString PreparedLibrary(const QString& lib) { // the killed save's temporary file of the library
    const QDir dir = QFileInfo(lib).absoluteDir();
    for (const QString& name :
         dir.entryList({QStringLiteral(".lib.pslib-*.tmp")}, QDir::Files | QDir::Hidden))
        if (ReadBytes(dir.filePath(name)) == NewLib())
            return dir.filePath(name);
    return {};
}

} // namespace

class TestSafeSave : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;
    QString Path(const QString& name) const { return dir_->filePath(name); }

private Q_SLOTS:
    void init() { dir_.emplace(); }
    void cleanup() {
        SafeSave::SetDiskStepHookForTest({});
        SafeSave::SetRenameHookForTest({});
        dir_.reset();
    }

    // Each file's data is synced before it is renamed over its target, and the target's folder
    // after that rename; a pair's commit record, and its folder, before the first rename. A target
    // reached through a link is replaced in the link's target's folder, and that folder is synced.
    void durableOrder_data() {
        QTest::addColumn<bool>("pair");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("linked"); // the library is a link to a file in another folder
        QTest::newRow("new file") << false << false << false;
        QTest::newRow("existing file") << false << true << false;
        QTest::newRow("new pair") << true << false << false;
        QTest::newRow("existing pair") << true << true << false;
        QTest::newRow("pair, library linked elsewhere") << true << true << true;
    }
    void durableOrder() {
        QFETCH(bool, pair);
        QFETCH(bool, existing);
        QFETCH(bool, linked);
        QVERIFY(QDir(Path({})).mkpath(QStringLiteral("work")) &&
                QDir(Path({})).mkpath(QStringLiteral("real")));
        const QString lib = Path(QStringLiteral("work/lib.pslib")), side = SideFilePath(lib);
        const QString libFinal = linked ? Path(QStringLiteral("real/lib.pslib")) : lib;
        if (existing) {
            WriteBytes(libFinal, OldLib());
            WriteBytes(side, OldSide());
        }
        if (linked)
            QVERIFY(QFile::link(libFinal, lib));
        std::vector<Step> steps;
        SafeSave::SetDiskStepHookForTest([&](const Step& step) { steps.push_back(step); });
        SavePair(lib, NewLib(), pair ? std::optional(NewSide()) : std::nullopt);
        SafeSave::SetDiskStepHookForTest({});
        QCOMPARE(ReadBytes(lib), NewLib());

        const auto find = [&](Step::Kind kind, const QString& path, size_t from = 0) {
            for (size_t i = from; i < steps.size(); ++i)
                if (steps[i].kind == kind &&
                    (steps[i].path == path || (kind == Step::Rename && steps[i].to == path)))
                    return qsizetype(i);
            return qsizetype(-1);
        };
        qsizetype firstRename = qsizetype(steps.size());
        QStringList targets{libFinal};
        if (pair)
            targets.prepend(side);
        for (const QString& target : targets) {
            const qsizetype rename = find(Step::Rename, target);
            QVERIFY2(rename >= 0, qPrintable(target + QStringLiteral(" was not renamed into place")));
            firstRename = std::min(firstRename, rename);
            const qsizetype synced = find(Step::SyncFile, steps[size_t(rename)].path);
            QVERIFY2(synced >= 0 && synced < rename,
                     qPrintable(target + QStringLiteral(": data not synced before its rename")));
            QVERIFY2(find(Step::SyncFolder, QFileInfo(target).absolutePath(), size_t(rename)) > rename,
                     qPrintable(target + QStringLiteral(": folder not synced after the rename")));
        }
        if (!pair)
            return;
        const QString record = SafeSave::CommitRecordPath(lib);
        const qsizetype recordSynced = find(Step::SyncFile, record);
        QVERIFY2(recordSynced >= 0 && recordSynced < firstRename,
                 "commit record not synced before the renames");
        const qsizetype folderSynced =
            find(Step::SyncFolder, QFileInfo(record).absolutePath(), size_t(recordSynced));
        QVERIFY2(folderSynced >= 0 && folderSynced < firstRename,
                 "record's folder not synced before the renames");
    }

    // A pair save killed part way is finished by the recovery only when the record says it may be
    // and the prepared library is still exactly what the save wrote; otherwise the old pair comes
    // back. Either way every rename of the recovery is followed by a sync of its folder.
    void recovery_data() {
        QTest::addColumn<int>("stop");
        // What is altered after the kill: 0 nothing, 1 the prepared library's bytes (its time put
        // back), 2 the record's hash of it.
        QTest::addColumn<int>("tamper");
        QTest::addColumn<bool>("finished");
        QTest::newRow("killed before the library's rename") << int(BeforeLibRename) << 0 << true;
        QTest::newRow("prepared library altered, its time kept") << int(BeforeLibRename) << 1 << false;
        QTest::newRow("record's hash of it not the content's") << int(BeforeLibRename) << 2 << false;
        QTest::newRow("killed while putting the pair back") << int(WhileRollingBack) << 0 << false;
    }
    void recovery() {
        QFETCH(int, stop);
        QFETCH(int, tamper);
        QFETCH(bool, finished);
        const QString lib = Path(QStringLiteral("lib.pslib")), side = SideFilePath(lib);
        WriteBytes(lib, OldLib());
        WriteBytes(side, OldSide());
        QVERIFY2(KilledSave(lib, Stop(stop)), "the save was not stopped");
        const QString record = SafeSave::CommitRecordPath(lib);
        QVERIFY(QFileInfo::exists(record));
        QCOMPARE(ReadBytes(record).contains("\nrollback\n"), stop == WhileRollingBack);
        QCOMPARE(ReadBytes(side), NewSide()); // replaced before the stop
        const QString prepared = PreparedLibrary(lib);
        QVERIFY(!prepared.isEmpty());
        if (tamper == 1) { // same size, same inode, and the time put back as it was
            struct stat before {};
            QCOMPARE(::stat(QFile::encodeName(prepared).constData(), &before), 0);
            QFile file(prepared);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.write(QByteArray(NewLib()).replace("new", "bad")) == NewLib().size());
            file.close();
            const timespec times[2] = {before.st_atim, before.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(prepared).constData(), times, 0), 0);
        } else if (tamper == 2) { // the library's line is the record's last before "end"
            QByteArray bytes = ReadBytes(record);
            QList<QByteArray> lines = bytes.split('\n');
            QList<QByteArray> fields = lines[lines.size() - 3].split('\t');
            QCOMPARE(fields.size(), 8);
            fields[6] = QByteArray(64, fields[6].startsWith('0') ? '1' : '0');
            lines[lines.size() - 3] = fields.join('\t');
            QFile file(record);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(lines.join('\n')) > 0);
        }

        std::vector<Step> steps;
        SafeSave::SetDiskStepHookForTest([&](const Step& step) { steps.push_back(step); });
        const std::optional<QString> report = SafeSave::Recover(lib);
        SafeSave::SetDiskStepHookForTest({});
        QVERIFY(report);
        const QString told =
            finished ? u"The last save of %1 was interrupted. Quillbox has now finished it: the file and its "
                       u"descriptions both come from that save."_s
                     : u"The last save of %1 was interrupted and could not be finished, so Quillbox has put "
                       u"back the file and its descriptions as they were before that save."_s;
        QCOMPARE(*report, told.arg(lib));
        QCOMPARE(ReadBytes(lib), finished ? NewLib() : OldLib());
        QCOMPARE(ReadBytes(side), finished ? NewSide() : OldSide());
        QVERIFY(!QFileInfo::exists(record));
        QCOMPARE(QDir(Path({})).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{u"lib.pslib"_s, u"lib.pslib.txt"_s}));
        qsizetype lastRename = -1, lastFolderSync = -1;
        for (size_t i = 0; i < steps.size(); ++i) {
            if (steps[i].kind == Step::Rename)
                lastRename = qsizetype(i);
            if (steps[i].kind == Step::SyncFolder && steps[i].path == QFileInfo(lib).absolutePath())
                lastFolderSync = qsizetype(i);
        }
        QVERIFY(lastRename >= 0);
        QVERIFY2(lastFolderSync > lastRename, "the folder is not synced after the recovery's renames");
    }

    // A file of exactly the size limit is saved (the next load reads it); a byte more is refused
    // before anything is written.
    void sizeLimit_data() {
        QTest::addColumn<int>("over");
        QTest::newRow("at the limit") << 0;
        QTest::newRow("a byte over") << 1;
    }
    void sizeLimit() {
        QFETCH(int, over);
        SetMaxFileSizeForTest(4096);
        const auto restore = qScopeGuard([] { SetMaxFileSizeForTest(0); });
        const QString lib = Path(QStringLiteral("lib.pslib"));
        WriteBytes(lib, OldLib());
        const QByteArray content(4096 + over, 'x');
        try {
            SavePair(lib, content, std::nullopt);
            QVERIFY2(over == 0, "a file over the limit was saved");
            QCOMPARE(ReadBytes(lib), content);
        } catch (const FileError& error) {
            QVERIFY2(over > 0, qPrintable(error.description));
            QVERIFY(error.description.startsWith(u"Error: Nothing was saved: the file would be larger"_s));
            QCOMPARE(ReadBytes(lib), OldLib());
            QCOMPARE(QDir(Path({})).entryList(QDir::Files | QDir::Hidden), QStringList{u"lib.pslib"_s});
        }
    }

    // A save over a file keeps its mode; a new file gets the usual one, as the umask says.
    void keepsMode_data() {
        QTest::addColumn<int>("mode"); // -1: no file before
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("expected");
        QTest::newRow("0600 kept") << 0600 << 022 << 0600;
        QTest::newRow("0640 kept") << 0640 << 022 << 0640;
        QTest::newRow("0604 kept") << 0604 << 077 << 0604;
        QTest::newRow("0755 kept") << 0755 << 022 << 0755;
        QTest::newRow("new, umask 022") << -1 << 022 << 0644;
        QTest::newRow("new, umask 077") << -1 << 077 << 0600;
    }
    void keepsMode() {
        QFETCH(int, mode);
        QFETCH(int, umask);
        QFETCH(int, expected);
        const QString lib = Path(QStringLiteral("lib.pslib"));
        if (mode >= 0) {
            WriteBytes(lib, OldLib());
            QCOMPARE(::chmod(QFile::encodeName(lib).constData(), mode_t(mode)), 0);
        }
        const mode_t old = ::umask(mode_t(umask));
        const auto restore = qScopeGuard([old] { ::umask(old); });
        SavePair(lib, NewLib(), NewSide());
        QCOMPARE(ReadBytes(lib), NewLib());
        QCOMPARE(ModeOf(lib), expected);
    }
};

QTEST_GUILESS_MAIN(TestSafeSave)
#include "tst_safesave.moc"
