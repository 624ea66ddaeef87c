// What other users of the machine, links and in-place rewrites can do to the files Quillbox keeps for
// itself: the save lock, the modes of kept files, identities with their change time, and links or
// FIFOs in the places of kept files.
#include "EarlierVersions.h"
#include "FileAccess.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "PrivateFiles.h"
#include "SafeSave.h"
#include "TestFiles.h"
#include "UnsavedWork.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;
using namespace Qt::StringLiterals;

namespace {

constexpr uid_t Nobody = 65534;

int ModeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A child process that is another user (uid/gid 65534) doing `act` and then staying until the test
// ends it, as someone logged in beside us would.
class OtherUser {
public:
    template <class Act> explicit OtherUser(Act act) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
                ::_exit(3);
            act();
            (void)!::write(ready[1], "x", 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        started_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~OtherUser() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return started_; }

private:
    pid_t pid_ = -1;
    bool started_ = false;
};

// Rewrites `path` in place with `bytes` of the same size and puts its modification time back, as a
// program that hides its change would.
void RewriteKeepingTime(const QString& path, const QByteArray& bytes) {
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    QCOMPARE(qint64(bytes.size()), qint64(before.st_size));
    QThread::msleep(20); // past the clock's tick, so that the change time moves
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    QCOMPARE(::futimens(fd, times), 0);
    ::close(fd);
}

} // namespace

class TestPrivate : public QObject {
    Q_OBJECT

    QTemporaryDir dataHome_;

private Q_SLOTS:
    void initTestCase() {
        // The private lock folder goes here, never into the user's own data folder.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_.path()));
        qunsetenv("XDG_RUNTIME_DIR");
    }

    // Another user who can read the library's folder holds a lock on it and drops a file of any
    // content where the commit record goes. A load and a save of the library alone neither wait nor
    // fail; a save that needs the record's place refuses at once, naming the file in its way.
    void otherUserCannotBlock_data() {
        QTest::addColumn<bool>("planted");
        QTest::newRow("folder locked") << false;
        QTest::newRow("folder locked, record planted") << true;
    }
    void otherUserCannotBlock() {
        QFETCH(bool, planted);
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user (uid 65534)");
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 01777) == 0); // a shared folder
        const QString lib = dir.filePath(u"g.pslib"_s), record = SafeSave::CommitRecordPath(lib);
        WriteBytes(lib, "\x01old");
        WriteBytes(SideFilePath(lib), "[Description]\r\n");
        const QByteArray folder = QFile::encodeName(dir.path()), recordName = QFile::encodeName(record);
        OtherUser other([&] {
            const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
                ::_exit(4);
            if (planted) {
                const int file = ::open(recordName.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (file < 0 || ::write(file, "anything\n", 9) != 9)
                    ::_exit(5);
            }
        });
        QVERIFY(other.Started());

        QElapsedTimer clock;
        clock.start();
        bool foreign = false;
        std::optional<QString> report;
        QString thrown;
        try {
            report = SafeSave::Recover(lib, {}, &foreign);
        } catch (const FileError& e) {
            thrown = e.description;
        }
        QCOMPARE(thrown, QString());
        QCOMPARE(foreign, planted);
        QCOMPARE(report.has_value(), planted);
        if (planted)
            QVERIFY2(report->contains(record), qPrintable(*report));
        QCOMPARE(ReadFileAsString(lib), QByteArray("\x01old"));

        QString refused;
        try {
            SafeSave save;
            save.Add(SideFilePath(lib), "[Description]\r\n1=new\r\n");
            save.Add(lib, "\x01new");
            save.Commit();
        } catch (const FileError& e) {
            refused = e.description;
        }
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        if (planted) {
            QVERIFY2(refused.contains(record), qPrintable(refused));
            QCOMPARE(ReadFileAsString(lib), QByteArray("\x01old"));
            QCOMPARE(ReadFileAsString(record), QByteArray("anything\n"));
        } else {
            QCOMPARE(refused, QString());
            QCOMPARE(ReadFileAsString(lib), QByteArray("\x01new"));
        }
        // The lock Quillbox takes is its own, in a place only this user can write.
        const QString locks = PrivateLockFolder();
        QVERIFY(locks.startsWith(dataHome_.path()));
        QCOMPARE(ModeOf(locks), 0700);
        const QStringList lockFiles = QDir(locks).entryList({u"save-*.lock"_s}, QDir::Files | QDir::Hidden);
        QVERIFY(!lockFiles.isEmpty());
        for (const QString& name : lockFiles)
            QCOMPARE(ModeOf(locks + u'/' + name), 0600);
    }

    // Whatever the umask, what Quillbox keeps about a library is 0600 in folders of 0700: the earlier
    // versions of a private library, the recovery files, the locks.
    void keptFilesArePrivate_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("earlier version") << u"version"_s;
        QTest::newRow("export record") << u"export"_s;
        QTest::newRow("recovery file") << u"recovery"_s;
        QTest::newRow("window lock") << u"window"_s;
    }
    void keptFilesArePrivate() {
        QFETCH(QString, kind);
        const mode_t umask = ::umask(0);
        auto restore = qScopeGuard([umask] { ::umask(umask); });
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"private.pslib"_s), store = dir.filePath(u"data/store"_s);
        WriteBytes(lib, "\x01lib");
        QVERIFY(::chmod(QFile::encodeName(lib).constData(), 0600) == 0);
        QStringList files, folders;
        if (kind == u"version"_s || kind == u"export"_s) {
            EarlierVersions versions(store);
            const LibraryPair pair{"\x01old", QByteArray("[Description]\r\n1=secret\r\n")};
            if (kind == u"version"_s)
                QVERIFY(versions.Keep(lib, pair));
            else
                versions.KeepExport(lib, pair);
            folders << store << versions.FolderFor(lib);
            for (const QString& name : QDir(versions.FolderFor(lib)).entryList(QDir::Files | QDir::Hidden))
                files << versions.FolderFor(lib) + u'/' + name;
            QCOMPARE(files.size(), 3); // the pair and the record of the library's path
        } else if (kind == u"recovery"_s) {
            const UnsavedWorkFiles unsaved(store, UnsavedWorkFiles::NewInstance());
            unsaved.Write(
                UnsavedWork{lib, PairIdentityOf(lib), QDateTime::currentDateTimeUtc(), "x", {u"y"_s}});
            folders << store;
            files << unsaved.FileFor(lib);
        } else {
            const QString instance = UnsavedWorkFiles::NewInstance();
            QString problem;
            const int fd = UnsavedWorkFiles::LockWindow(instance, &problem);
            QVERIFY2(fd >= 0, qPrintable(problem));
            folders << PrivateLockFolder();
            files = QDir(PrivateLockFolder()).entryList({u"window-"_s + instance + u".lock"_s}, QDir::Files);
            QCOMPARE(files.size(), 1);
            files[0] = PrivateLockFolder() + u'/' + files[0];
            UnsavedWorkFiles::ReleaseWindow(instance, fd, true);
            QCOMPARE(ModeOf(files[0]), -1);
            return;
        }
        for (const QString& folder : std::as_const(folders))
            QVERIFY2(ModeOf(folder) == 0700, qPrintable(folder + u' ' + QString::number(ModeOf(folder), 8)));
        for (const QString& file : std::as_const(files))
            QVERIFY2(ModeOf(file) == 0600, qPrintable(file + u' ' + QString::number(ModeOf(file), 8)));
    }

    // A link, a FIFO or another user's file in the place of a kept file is left alone: nothing is
    // written through it, nothing it names is read, and the refusal names it.
    void linksInKeptPlaces_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("recovery file is a link") << u"recovery link"_s;
        QTest::newRow("recovery file is a FIFO") << u"recovery fifo"_s;
        QTest::newRow("recovery file of another user") << u"recovery other"_s;
        QTest::newRow("path record of versions is a link") << u"versions link"_s;
        QTest::newRow("a version is a link") << u"version link"_s;
        QTest::newRow("save lock is a link") << u"lock link"_s;
    }
    void linksInKeptPlaces() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"lib.pslib"_s), store = dir.filePath(u"store"_s);
        const QString victim = dir.filePath(u"victim.txt"_s);
        WriteBytes(lib, "\x01lib");
        WriteBytes(victim, "precious");
        QString refused, place;
        auto attempt = [&refused](auto&& act) {
            try {
                act();
            } catch (const FileError& e) {
                refused = e.description;
            }
        };
        if (kind.startsWith(u"recovery"_s)) {
            const UnsavedWorkFiles unsaved(store, UnsavedWorkFiles::NewInstance());
            QVERIFY(MakePrivateFolder(store).isEmpty());
            place = unsaved.FileFor(lib);
            if (kind.endsWith(u"link"_s))
                QVERIFY(QFile::link(victim, place));
            else if (kind.endsWith(u"fifo"_s))
                QCOMPARE(::mkfifo(QFile::encodeName(place).constData(), 0600), 0);
            else {
                if (::geteuid() != 0)
                    QSKIP("needs root to give a file to another user");
                WriteBytes(place, "theirs");
                QCOMPARE(::chown(QFile::encodeName(place).constData(), Nobody, Nobody), 0);
            }
            attempt([&] { unsaved.Write(UnsavedWork{lib, {}, QDateTime::currentDateTimeUtc(), "x", {}}); });
            QVERIFY(!unsaved.Remove(lib));
            QVERIFY(!unsaved.Read(lib).work);
        } else if (kind == u"lock link"_s) {
            QVERIFY(MakePrivateFolder(PrivateLockFolder()).isEmpty());
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(dir.path()).constData(), &st), 0);
            place =
                PrivateLockFolder() + u"/save-%1-%2.lock"_s.arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
            QFile::remove(place); // a lock file left by a folder that had this inode before
            QVERIFY(QFile::link(victim, place));
            attempt([&] {
                SafeSave save;
                save.Add(SideFilePath(lib), "[Description]\r\n");
                save.Add(lib, "\x01new");
                save.Commit();
            });
            QCOMPARE(ReadFileAsString(lib), QByteArray("\x01lib"));
        } else {
            EarlierVersions versions(store);
            QVERIFY(versions.Keep(lib, {"\x01one", std::nullopt}));
            const QList<EarlierVersion> kept = versions.List(lib);
            QCOMPARE(kept.size(), 1);
            place = versions.FolderFor(lib) +
                    (kind == u"versions link"_s ? u"/library-path.txt"_s : u'/' + kept[0].id);
            QVERIFY(QFile::remove(place));
            QVERIFY(QFile::link(victim, place));
            if (kind == u"versions link"_s) {
                attempt([&] { versions.Keep(lib, {"\x01two", std::nullopt}); });
            } else {
                QVERIFY(versions.List(lib).isEmpty());
                attempt([&] { versions.Read(lib, kept[0].id); });
            }
        }
        QVERIFY2(refused.contains(place), qPrintable(refused));
        QCOMPARE(ReadFileAsString(victim), QByteArray("precious"));
        QVERIFY(QFileInfo(place).isSymLink() || QFileInfo(place).exists());
        if (kind == u"lock link"_s)
            QFile::remove(place); // another folder may get this one's inode
    }

    // An identity tells a rewrite in place that keeps the size and puts the modification time back;
    // one written by an earlier release (without the change time) is read, and matches nothing now.
    void identityHasChangeTime() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"lib.pslib"_s);
        WriteBytes(path, "\x01same size");
        const FileIdentity before = IdentityOf(path);
        QCOMPARE(FileIdentity::FromText(before.ToText()), std::optional(before));
        RewriteKeepingTime(path, "\x01SAME SIZE");
        const FileIdentity after = IdentityOf(path);
        QCOMPARE(after.modifiedNs, before.modifiedNs);
        QVERIFY(after != before);
        QVERIFY(after.SameApartFromChange(before));

        const QByteArray earlier = QByteArray::number(after.device) + ':' + QByteArray::number(after.inode) +
                                   ':' + QByteArray::number(after.size) + ':' +
                                   QByteArray::number(after.modifiedNs);
        const std::optional<FileIdentity> read = FileIdentity::FromText(earlier);
        QVERIFY(read);
        QCOMPARE(read->changedNs, FileIdentity::UnknownChange);
        QVERIFY(*read != after);
        QCOMPARE(read->ToText(), earlier);
        QVERIFY(!FileIdentity::FromText(earlier + ":-5"));
    }

    // A save killed before its renames; then another program rewrites the library in place, keeping
    // its size and putting its time back. Recovery must not roll the stale save forward over it.
    void staleRecordSeesChangeTime() {
        QTemporaryDir dir;
        const QString lib = dir.filePath(u"lib.pslib"_s), side = SideFilePath(lib);
        WriteBytes(lib, "\x01old library");
        WriteBytes(side, "[Description]\r\n1=old\r\n");
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            SafeSave::SetRenameHookForTest([](const QString&) { ::_exit(0); }); // killed at the first rename
            SafeSave save;
            save.Add(side, "[Description]\r\n1=new\r\n");
            save.Add(lib, "\x01new library");
            save.Commit();
            ::_exit(1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY(QFileInfo::exists(SafeSave::CommitRecordPath(lib)));
        RewriteKeepingTime(lib, "\x01THEIR LIBRA");
        const std::optional<QString> report = SafeSave::Recover(lib);
        QVERIFY(report);
        QVERIFY2(report->contains(u"changed"_s), qPrintable(*report));
        QCOMPARE(ReadFileAsString(lib), QByteArray("\x01THEIR LIBRA"));
        QCOMPARE(ReadFileAsString(side), QByteArray("[Description]\r\n1=old\r\n"));
    }

    // Files kept together (an earlier version's pair) are all written or, when one of them cannot
    // be, none is: what was there stays as it was, and no temporary file is left.
    void privateFilesTogether_data() {
        QTest::addColumn<int>("failing"); // the file whose write fails; -1: none
        QTest::newRow("all written") << -1;
        QTest::newRow("the first fails") << 0;
        QTest::newRow("the second fails") << 1;
        QTest::newRow("the last fails") << 2;
    }
    void privateFilesTogether() {
        QFETCH(int, failing);
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"kept"_s);
        QCOMPARE(MakePrivateFolder(folder), QString());
        const QStringList paths{folder + u"/a"_s, folder + u"/b"_s, folder + u"/c"_s};
        WritePrivateFile(paths[1], "old", u"test"_s);
        auto unhook = qScopeGuard([] { SafeSave::SetWriteHookForTest({}); });
        SafeSave::SetWriteHookForTest([&](const QString& target, QIODevice& file, const QByteArray& content) {
            if (failing < 0 || target != paths[failing])
                return file.write(content);
            file.write(content.left(1));
            errno = ENOSPC;
            return qint64(-1);
        });
        QString told;
        try {
            WritePrivateFiles({{paths[0], "A", {}, {}}, {paths[1], "B", {}, {}}, {paths[2], "C", {}, {}}},
                              u"test"_s);
        } catch (const FileError& error) {
            told = error.description;
        }
        if (failing >= 0) {
            QCOMPARE(told,
                     u"Error: The disk is full, so nothing was written; make room on it and try again: "_s +
                         paths[failing]);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"b"_s});
            QCOMPARE(ReadBytes(paths[1]), "old");
            return;
        }
        QCOMPARE(told, QString());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
        for (const QString& path : paths) {
            QCOMPARE(ReadBytes(path), QFileInfo(path).fileName().toUpper().toLatin1());
            QCOMPARE(ModeOf(path), 0600);
        }
    }
};

QTEST_GUILESS_MAIN(TestPrivate)
#include "tst_private.moc"
