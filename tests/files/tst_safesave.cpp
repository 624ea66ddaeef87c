#include "FileAccess.h"
#include "SafeSave.h"
#include "TestUtil.h"

#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace quillbox;
using namespace testutil;

namespace {

int ModeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

// Makes writes beyond `bytes` fail for this process while it lives (as a full disk would).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool Ok() const { return ok_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool ok_ = false;
};

} // namespace

class TestSafeSave : public QObject {
    Q_OBJECT

    ScratchFolder dir_;
    QString Path(const QString& name) const { return dir_.Path(name); }

    const QByteArray oldSide_ = QByteArrayLiteral("[Description]\r\n1=old\r\n");
    const QByteArray oldLibrary_ = AllBytes();

private Q_SLOTS:
    void init() {
        dir_.Create();
        QVERIFY(dir_.IsValid());
        QVERIFY(WriteRaw(Path(QStringLiteral("my.pslib.txt")), oldSide_));
        QVERIFY(WriteRaw(Path(QStringLiteral("my.pslib")), oldLibrary_));
    }
    void cleanup() {
        SafeSave::SetRenameHookForTest({});
        dir_.Reset();
    }

    void replacesEveryTarget() {
        SafeSave save;
        save.Add(Path(QStringLiteral("my.pslib.txt")), QByteArrayLiteral("new side"));
        save.Add(Path(QStringLiteral("my.pslib")), QByteArrayLiteral("\x01new"));
        save.Add(Path(QStringLiteral("fresh.pslib")), QByteArray());
        save.Commit();
        QCOMPARE(ReadRaw(Path(QStringLiteral("my.pslib.txt"))), QByteArrayLiteral("new side"));
        QCOMPARE(ReadRaw(Path(QStringLiteral("my.pslib"))), QByteArrayLiteral("\x01new"));
        QCOMPARE(ReadRaw(Path(QStringLiteral("fresh.pslib"))), QByteArray());
        QCOMPARE(FolderEntries(dir_.Path()),
                 (QStringList{QStringLiteral("fresh.pslib"), QStringLiteral("my.pslib"),
                              QStringLiteral("my.pslib.txt")}));
    }

    // The side file is prepared first, then the library file fails: neither old file may change
    // and no temporary file may stay behind, in either folder.
    void failureLeavesEverything_data() {
        QTest::addColumn<QString>("situation");
        QTest::newRow("parent is a regular file") << QStringLiteral("fileOnTheWay");
        QTest::newRow("missing folder") << QStringLiteral("missingFolder");
        QTest::newRow("target is a folder") << QStringLiteral("folder");
        QTest::newRow("write fails midway") << QStringLiteral("sizeLimit");
        QTest::newRow("read-only folder") << QStringLiteral("readOnlyFolder");
        QTest::newRow("read-only target") << QStringLiteral("readOnlyTarget");
        QTest::newRow("symlink loop") << QStringLiteral("linkLoop");
    }
    void failureLeavesEverything() {
        QFETCH(QString, situation);
        QString second = Path(QStringLiteral("my.pslib"));
        QByteArray secondContent = QByteArrayLiteral("\x01new");
        QString prefix = QStringLiteral("Error: Cannot open the file: ");
        std::unique_ptr<FileSizeLimit> limit;
        if (situation == QLatin1String("fileOnTheWay")) {
            second = Path(QStringLiteral("my.pslib.txt/other.pslib"));
        } else if (situation == QLatin1String("missingFolder")) {
            second = Path(QStringLiteral("nowhere/other.pslib"));
        } else if (situation == QLatin1String("folder")) {
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("other.pslib")));
            second = Path(QStringLiteral("other.pslib"));
        } else if (situation == QLatin1String("sizeLimit")) {
            secondContent = QByteArray(256 * 1024, 'x');
            prefix = QStringLiteral("Error: Cannot write to the file: ");
            limit = std::make_unique<FileSizeLimit>(64 * 1024);
            QVERIFY(limit->Ok());
        } else if (situation == QLatin1String("readOnlyFolder")) {
            if (RunningAsRoot())
                QSKIP("root writes into any folder regardless of its permissions");
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("ro")));
            second = Path(QStringLiteral("ro/other.pslib"));
            QVERIFY(WriteRaw(second, "\x01old"));
            QVERIFY(QFile::setPermissions(Path(QStringLiteral("ro")), QFile::ReadOwner | QFile::ExeOwner));
        } else if (situation == QLatin1String("readOnlyTarget")) {
            if (RunningAsRoot())
                QSKIP("root may write to any file regardless of its permissions");
            QVERIFY(QFile::setPermissions(second, QFile::ReadOwner));
        } else if (situation == QLatin1String("linkLoop")) {
            QVERIFY(QFile::link(Path(QStringLiteral("loopB")), Path(QStringLiteral("loopA"))));
            QVERIFY(QFile::link(Path(QStringLiteral("loopA")), Path(QStringLiteral("loopB"))));
            second = Path(QStringLiteral("loopA"));
        }
        const QStringList entriesBefore = FolderEntries(dir_.Path());
        const QString secondFolder = QFileInfo(second).absolutePath();
        const QStringList secondEntriesBefore = FolderEntries(secondFolder);

        SafeSave save;
        save.Add(Path(QStringLiteral("my.pslib.txt")), QByteArrayLiteral("new side"));
        save.Add(second, secondContent);
        try {
            save.Commit();
            QFAIL("the save did not fail");
        } catch (const FileError& error) {
            QCOMPARE(error.number, FileErrorNumber);
            QCOMPARE(error.source, QStringLiteral("WriteToFile"));
            QCOMPARE(error.description, prefix + second);
        }
        limit.reset();
        QCOMPARE(ReadRaw(Path(QStringLiteral("my.pslib.txt"))), oldSide_);
        QCOMPARE(ReadRaw(Path(QStringLiteral("my.pslib"))), oldLibrary_);
        QCOMPARE(FolderEntries(dir_.Path()), entriesBefore);
        QCOMPARE(FolderEntries(secondFolder), secondEntriesBefore);
    }

    void renamesInOrderAdded() {
        QStringList order;
        SafeSave::SetRenameHookForTest([&](const QString& target) {
            // When a target is renamed, every target added before it already holds its new content.
            for (const QString& done : order)
                QVERIFY(ReadRaw(done).startsWith("new"));
            order.append(target);
        });
        SafeSave save;
        save.Add(Path(QStringLiteral("my.pslib.txt")), QByteArrayLiteral("new side"));
        save.Add(Path(QStringLiteral("my.pslib")), QByteArrayLiteral("new library"));
        save.Commit();
        QCOMPARE(order,
                 (QStringList{Path(QStringLiteral("my.pslib.txt")), Path(QStringLiteral("my.pslib"))}));
    }

    void renameFailure_data() {
        QTest::addColumn<int>("failingRename");
        QTest::addColumn<bool>("sideReplaced");
        QTest::newRow("first rename fails") << 0 << false;
        QTest::newRow("second rename fails") << 1 << true;
    }
    void renameFailure() {
        QFETCH(int, failingRename);
        QFETCH(bool, sideReplaced);
        int renames = 0;
        SafeSave::SetRenameHookForTest([&](const QString& target) {
            if (renames++ == failingRename)
                throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                                QStringLiteral("rename refused: ") + target};
        });
        SafeSave save;
        save.Add(Path(QStringLiteral("my.pslib.txt")), QByteArrayLiteral("new side"));
        save.Add(Path(QStringLiteral("my.pslib")), QByteArrayLiteral("new library"));
        QVERIFY_THROWS_EXCEPTION(FileError, save.Commit());
        QCOMPARE(ReadRaw(Path(QStringLiteral("my.pslib.txt"))),
                 sideReplaced ? QByteArrayLiteral("new side") : oldSide_);
        QCOMPARE(ReadRaw(Path(QStringLiteral("my.pslib"))), oldLibrary_);
        QCOMPARE(FolderEntries(dir_.Path()),
                 (QStringList{QStringLiteral("my.pslib"), QStringLiteral("my.pslib.txt")}));
    }

    void symlinksAreFollowed_data() {
        QTest::addColumn<QString>("linkTarget");
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("relative link") << QStringLiteral("real/lib.pslib") << true;
        QTest::newRow("absolute link") << QStringLiteral("<abs>/real/lib.pslib") << true;
        QTest::newRow("link to a link") << QStringLiteral("middle") << true;
        QTest::newRow("dangling link") << QStringLiteral("real/new.pslib") << false;
    }
    void symlinksAreFollowed() {
        QFETCH(QString, linkTarget);
        QFETCH(bool, targetExists);
        QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("real")));
        const QString real = Path(QStringLiteral("real/lib.pslib"));
        QVERIFY(WriteRaw(real, "old"));
        QVERIFY(QFile::link(QStringLiteral("real/lib.pslib"), Path(QStringLiteral("middle"))));
        linkTarget.replace(QStringLiteral("<abs>"), dir_.Path());
        const QString link = Path(QStringLiteral("link.pslib"));
        // A relative link is resolved from the link's own folder.
        QVERIFY(::symlink(QFile::encodeName(linkTarget).constData(), QFile::encodeName(link).constData()) ==
                0);
        const QString finalFile = targetExists ? real : Path(QStringLiteral("real/new.pslib"));

        WriteToFile(link, QByteArrayLiteral("\x01\x02"), 0);

        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadRaw(finalFile), QByteArrayLiteral("\x01\x02"));
        QCOMPARE(ReadRaw(link), QByteArrayLiteral("\x01\x02"));
        QStringList expectedReal{QStringLiteral("lib.pslib")};
        if (!targetExists)
            expectedReal.append(QStringLiteral("new.pslib"));
        QCOMPARE(FolderEntries(Path(QStringLiteral("real"))), expectedReal);
        QCOMPARE(
            FolderEntries(dir_.Path()),
            (QStringList{QStringLiteral("link.pslib"), QStringLiteral("middle"), QStringLiteral("my.pslib"),
                         QStringLiteral("my.pslib.txt"), QStringLiteral("real")}));
    }

    void permissionsAreKept_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("0640") << 0640;
        QTest::newRow("0600") << 0600;
        QTest::newRow("0755") << 0755;
        QTest::newRow("0604") << 0604;
        QTest::newRow("0666") << 0666;
    }
    void permissionsAreKept() {
        QFETCH(int, mode);
        const QString path = Path(QStringLiteral("my.pslib"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        WriteToFile(path, QByteArrayLiteral("\x01"), 0);
        QCOMPARE(ReadRaw(path), QByteArrayLiteral("\x01"));
        QCOMPARE(ModeOf(path), mode);
    }

    void newFileGetsTheUsualPermissions() {
        const QString made = Path(QStringLiteral("made-by-open"));
        QFile reference(made);
        QVERIFY(reference.open(QIODevice::WriteOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                         QFile::WriteGroup | QFile::ReadOther |
                                                         QFile::WriteOther));
        reference.close();
        const QString path = Path(QStringLiteral("new.pslib"));
        WriteToFile(path, QByteArrayLiteral("\x01"), 0);
        QCOMPARE(ModeOf(path), ModeOf(made));
    }
};

int RunSafeSaveTests(int argc, char** argv) {
    TestSafeSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_safesave.moc"
