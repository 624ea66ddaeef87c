// Saves that fail: at the first byte, midway, at the last byte, in a read-only folder, over a
// read-only file, onto a folder, on a full filesystem. After each, every file is as it was, nothing
// is left behind, the library is still marked as changed, the user was told, and the next save
// that can succeed does.
#include "FaultSupport.h"
#include "LibraryTestSupport.h"
#include "SafeSave.h"

#include <QScopeGuard>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

using namespace quillbox;
using namespace quillbox::test;

namespace {

enum Fault { Device, ReadOnlyFolder, ReadOnlyFile, FolderTarget, FullFilesystem };

QMap<QString, QByteArray> FolderContent(const QString& folder) {
    QMap<QString, QByteArray> content;
    for (const QString& name : FolderEntries(folder))
        content.insert(name, ReadBytes(folder + QLatin1Char('/') + name));
    return content;
}

// Mounts a small tmpfs on `folder`, in a mount namespace of this process's own so that nothing
// outside it ever sees the mount (not even after a crash).
bool MountTinyFilesystem(const QString& folder, QString* why) {
    if (!RunningAsRoot()) {
        *why = QStringLiteral("mounting a small filesystem needs root");
        return false;
    }
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        *why = QStringLiteral("no private mount namespace here: %1")
                   .arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=1m,mode=0777") != 0) {
        *why =
            QStringLiteral("tmpfs cannot be mounted here: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
}

// Leaves about `freeBytes` free on the filesystem of `folder`.
bool Fill(const QString& folder, qint64 freeBytes) {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    const qint64 available = qint64(info.f_bavail) * qint64(info.f_frsize);
    QFile filler(folder + QStringLiteral("/filler"));
    return filler.open(QIODevice::WriteOnly) &&
           filler.write(QByteArray(std::max<qint64>(0, available - freeBytes), 'f')) >= 0 && filler.flush();
}

} // namespace

class TestFailingWrites : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SafeSave::SetWriteHookForTest({}); }

    void failedSave_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("failing");  // the file named in the message
        QTest::addColumn<int>("bytesWritten"); // Device: bytes written before the failure, -1 = all but one
        QTest::addColumn<bool>("saveAs");      // "Save As (Library)" over other.pslib instead of "Save"
        QTest::addColumn<QString>("message");
        const QString cannotWrite = QStringLiteral("Error: Cannot write to the file: ");
        const QString cannotOpen = QStringLiteral("Error: Cannot open the file: ");
        const QString lib = QStringLiteral("lib.pslib");
        const QString side = QStringLiteral("lib.pslib.txt");
        const QString other = QStringLiteral("other.pslib");
        const QString otherSide = QStringLiteral("other.pslib.txt");
        QTest::newRow("side file fails at the start") << int(Device) << side << 0 << false << cannotWrite;
        QTest::newRow("side file fails midway") << int(Device) << side << 300 << false << cannotWrite;
        QTest::newRow("side file fails at the last byte")
            << int(Device) << side << -1 << false << cannotWrite;
        QTest::newRow("library fails at the start") << int(Device) << lib << 0 << false << cannotWrite;
        QTest::newRow("library fails midway") << int(Device) << lib << 100 << false << cannotWrite;
        QTest::newRow("library fails at the last byte") << int(Device) << lib << -1 << false << cannotWrite;
        QTest::newRow("save as: side file fails midway")
            << int(Device) << otherSide << 300 << true << cannotWrite;
        QTest::newRow("save as: library fails at the last byte")
            << int(Device) << other << -1 << true << cannotWrite;
        QTest::newRow("read-only folder") << int(ReadOnlyFolder) << side << 0 << false << cannotOpen;
        QTest::newRow("read-only library file") << int(ReadOnlyFile) << lib << 0 << false << cannotOpen;
        QTest::newRow("read-only side file") << int(ReadOnlyFile) << side << 0 << false << cannotOpen;
        QTest::newRow("save as onto a folder") << int(FolderTarget) << other << 0 << true << cannotOpen;
        QTest::newRow("full filesystem") << int(FullFilesystem) << side << 0 << false << cannotWrite;
    }
    void failedSave() {
        QFETCH(int, fault);
        QFETCH(QString, failing);
        QFETCH(int, bytesWritten);
        QFETCH(bool, saveAs);
        QFETCH(QString, message);

        Fixture f;
        const QString work = f.Path(QStringLiteral("work"));
        QVERIFY(QDir().mkpath(work));
        if (fault == FullFilesystem) {
            QString why;
            if (!MountTinyFilesystem(work, &why))
                QSKIP(qPrintable(why));
        }
        auto mounted = qScopeGuard([&] {
            if (fault == FullFilesystem)
                ::umount2(QFile::encodeName(work).constData(), MNT_DETACH);
        });
        const QString libPath = work + QStringLiteral("/lib.pslib");
        const QString failingPath = work + QLatin1Char('/') + failing;
        WriteBytes(libPath, LibraryFileBytes(MakeStore(400)));
        WriteBytes(libPath + QStringLiteral(".txt"),
                   SideFileBytes(
                       NumberedDescriptions(400, QStringLiteral("a description of some length, number "))));
        WriteBytes(work + QStringLiteral("/other.pslib"), LibraryFileBytes(MakeStore(2, 70)));
        WriteBytes(work + QStringLiteral("/other.pslib.txt"), "[Description]\r\n1=other\r\n");
        if (fault == FolderTarget) {
            QVERIFY(QFile::remove(failingPath));
            QVERIFY(QDir().mkdir(failingPath));
        }

        // An edited library: an entry cloned, a description typed.
        f.Ctl().LoadLibFromPath(libPath);
        f.Ctl().LibraryClicked(7);
        f.Ctl().ClonePatch();
        f.Ctl().DescriptionEdited(QStringLiteral("typed"));
        QVERIFY(f.S().LibChanged);
        if (fault == FullFilesystem)
            QVERIFY(Fill(work, 8 * 1024));
        const LibraryState stateBefore = f.S();
        const QMap<QString, QByteArray> filesBefore = FolderContent(work);
        QVERIFY(GiveToUnprivilegedUser(f.dir.path()));

        if (fault == Device) {
            SafeSave::SetWriteHookForTest(
                [&](const QString& target, QIODevice& file, const QByteArray& content) {
                    if (target != failingPath)
                        return file.write(content);
                    FailingDevice device(file, bytesWritten < 0 ? content.size() - 1 : bytesWritten);
                    return device.write(content);
                });
        }
        {
            std::optional<Unprivileged> user;
            if (fault == ReadOnlyFolder || fault == ReadOnlyFile) {
                user.emplace();
                QVERIFY(user->Ok());
                const QString locked = fault == ReadOnlyFolder ? work : failingPath;
                QVERIFY(QFile::setPermissions(locked,
                                              fault == ReadOnlyFolder
                                                  ? QFile::ReadOwner | QFile::ExeOwner
                                                  : QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
                // The row is worth nothing if the user could write there after all.
                QFile probe(fault == ReadOnlyFolder ? work + QStringLiteral("/probe") : locked);
                QVERIFY(!probe.open(QIODevice::WriteOnly | QIODevice::Append));
            }
            if (saveAs) {
                f.view.paths.push_back(work + QStringLiteral("/other"));
                f.view.yesNoAnswers.push_back(true); // replace the existing other.pslib
                f.Ctl().SaveAsLib();
            } else {
                QVERIFY(!f.Ctl().SaveLib());
            }
            if (user)
                QFile::setPermissions(fault == ReadOnlyFolder ? work : failingPath,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        SafeSave::SetWriteHookForTest({});

        QCOMPARE(f.view.MessageTexts(), QStringList{message + failingPath});
        QVERIFY(!f.view.busy);
        // Byte for byte as before, and no temporary file left behind.
        QCOMPARE(FolderContent(work), filesBefore);
        QVERIFY(f.S().LibChanged);
        QCOMPARE(f.S().LibFilePath, stateBefore.LibFilePath);
        QCOMPARE(f.S().LibFileName, stateBefore.LibFileName);
        QCOMPARE(f.S().DescFilePath, stateBefore.DescFilePath);
        QCOMPARE(f.S().LibraryData, stateBefore.LibraryData);
        QCOMPARE(f.S().DescArray, stateBefore.DescArray);

        // With the fault gone, the same library saves and loads back whole.
        if (fault == FullFilesystem)
            QVERIFY(QFile::remove(work + QStringLiteral("/filler")));
        QVERIFY(f.Ctl().SaveLib());
        QVERIFY(!f.S().LibChanged);
        Fixture g;
        g.Ctl().LoadLibFromPath(libPath);
        QCOMPARE(g.S().LibraryData, stateBefore.LibraryData);
        QCOMPARE(g.S().DescArray, stateBefore.DescArray);
    }
};

int RunFailingWritesTests(int argc, char** argv) {
    TestFailingWrites test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_FailingWrites.moc"
