#include "FileAccess.h"
#include "TestUtil.h"

#include <QTest>

using namespace quillbox;
using namespace testutil;

class TestFileAccess : public QObject {
    Q_OBJECT

    ScratchFolder dir_;
    QString Path(const QString& name) const { return dir_.Path(name); }

private Q_SLOTS:
    void init() {
        dir_.Create();
        QVERIFY(dir_.IsValid());
    }
    void cleanup() { dir_.Reset(); }

    void contentRoundTrip_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("0 bytes") << QByteArray();
        QTest::newRow("single NUL") << QByteArray(1, '\0');
        QTest::newRow("NUL and 128-255") << AllBytes();
        QTest::newRow("line ends untranslated") << QByteArrayLiteral("a\r\nb\nc\rd\x1A");
        QTest::newRow("one image") << QByteArray(18, char(0xE9));
    }
    void contentRoundTrip() {
        QFETCH(QByteArray, content);
        const QString written = Path(QStringLiteral("written.bin"));
        WriteToFile(written, content, 0);
        QCOMPARE(ReadRaw(written), content);
        QCOMPARE(ReadFileAsString(written), content);

        const QString foreign = Path(QStringLiteral("foreign.bin"));
        QVERIFY(WriteRaw(foreign, content));
        QCOMPARE(ReadFileAsString(foreign), content);
        QCOMPARE(FolderEntries(dir_.Path()),
                 (QStringList{QStringLiteral("foreign.bin"), QStringLiteral("written.bin")}));
    }

    void overwrite_data() {
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("mode");
        QTest::newRow("shorter") << QByteArray(1000, 'x') << QByteArrayLiteral("short") << 0;
        QTest::newRow("empty") << QByteArray(1000, 'x') << QByteArray() << 0;
        QTest::newRow("longer") << QByteArrayLiteral("ab") << AllBytes() << 0;
        QTest::newRow("mode 2 overwrites") << QByteArray(50, 'x') << QByteArrayLiteral("new") << 2;
        QTest::newRow("mode -1 overwrites") << QByteArray(50, 'x') << QByteArrayLiteral("new") << -1;
    }
    void overwrite() {
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, content);
        QFETCH(int, mode);
        const QString path = Path(QStringLiteral("target.bin"));
        QVERIFY(WriteRaw(path, old));
        WriteToFile(path, content, mode);
        QCOMPARE(ReadRaw(path), content);
        QCOMPARE(FolderEntries(dir_.Path()), QStringList{QStringLiteral("target.bin")});
    }

    void append_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing file is created") << false << QByteArray() << QByteArrayLiteral("first");
        QTest::newRow("existing file grows")
            << true << QByteArray("old\0", 4) << QByteArrayLiteral("\xFFnew");
        QTest::newRow("nothing appended") << true << QByteArrayLiteral("old") << QByteArray();
    }
    void append() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, content);
        const QString path = Path(QStringLiteral("log.bin"));
        if (exists)
            QVERIFY(WriteRaw(path, old));
        WriteToFile(path, content, 1);
        QCOMPARE(ReadRaw(path), old + content);
    }

    void readErrors_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QString>("prefix");
        const QString cannotOpen = QStringLiteral("ReadFileAsString Error - Cannot open the file: ");
        QTest::newRow("missing file")
            << QStringLiteral("missing") << FileNotFoundNumber << QStringLiteral("File not found: ");
        QTest::newRow("missing folder on the way")
            << QStringLiteral("missingFolder") << FileNotFoundNumber << QStringLiteral("File not found: ");
        QTest::newRow("a file on the way")
            << QStringLiteral("fileOnTheWay") << FileNotFoundNumber << QStringLiteral("File not found: ");
        QTest::newRow("folder") << QStringLiteral("folder") << FileErrorNumber << cannotOpen;
        QTest::newRow("no read permission") << QStringLiteral("unreadable") << FileErrorNumber << cannotOpen;
        QTest::newRow("folder that may not be entered")
            << QStringLiteral("locked") << FileErrorNumber << cannotOpen;
        QTest::newRow("larger than 16 MiB")
            << QStringLiteral("huge") << FileErrorNumber
            << QStringLiteral("ReadFileAsString Error - The file is larger than 16 MiB: ");
    }
    void readErrors() {
        QFETCH(QString, situation);
        QFETCH(qint64, number);
        QFETCH(QString, prefix);
        QString path = Path(QStringLiteral("file.pslib"));
        if (situation == QLatin1String("missingFolder")) {
            path = Path(QStringLiteral("nowhere/file.pslib"));
        } else if (situation == QLatin1String("fileOnTheWay")) {
            QVERIFY(WriteRaw(Path(QStringLiteral("plain")), "x"));
            path = Path(QStringLiteral("plain/file.pslib"));
        } else if (situation == QLatin1String("folder")) {
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("file.pslib")));
        } else if (situation == QLatin1String("unreadable")) {
            if (RunningAsRoot())
                QSKIP("root reads any file regardless of its permissions");
            QVERIFY(WriteRaw(path, "\x01"));
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        } else if (situation == QLatin1String("locked")) {
            if (RunningAsRoot())
                QSKIP("root enters any folder regardless of its permissions");
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("locked")));
            path = Path(QStringLiteral("locked/file.pslib"));
            QVERIFY(WriteRaw(path, "\x01"));
            QVERIFY(
                QFile::setPermissions(Path(QStringLiteral("locked")), QFile::ReadOwner | QFile::WriteOwner));
        } else if (situation == QLatin1String("huge")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(MaxReadSize + 1)); // sparse: costs no disk space
        }
        try {
            const QByteArray content = ReadFileAsString(path);
            QFAIL(qPrintable(QStringLiteral("read %1 bytes instead of failing").arg(content.size())));
        } catch (const FileError& error) {
            QCOMPARE(error.number, number);
            QCOMPARE(error.source, QStringLiteral("ReadFileAsString"));
            QCOMPARE(error.description, prefix + path);
        }
    }

    void readAtTheLimit() {
        const QString path = Path(QStringLiteral("big.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(MaxReadSize));
        QVERIFY(file.seek(MaxReadSize - 1));
        QVERIFY(file.putChar('\x7F'));
        file.close();
        const QByteArray content = ReadFileAsString(path);
        QCOMPARE(content.size(), MaxReadSize);
        QCOMPARE(content.back(), '\x7F');
    }

    void readDeviceWithoutSize() {
        // A device reports size 0 but never ends: the limit must still stop the read.
        if (!QFileInfo::exists(QStringLiteral("/dev/zero")))
            QSKIP("no /dev/zero here");
        try {
            ReadFileAsString(QStringLiteral("/dev/zero"));
            QFAIL("an endless device was read");
        } catch (const FileError& error) {
            QVERIFY(error.description.contains(QStringLiteral("16 MiB")));
        }
    }

    void readFailsAfterOpening() {
        // Opens fine, but reading at offset 0 fails (nothing is mapped there).
        const QString path = QStringLiteral("/proc/self/mem");
        if (!QFileInfo::exists(path))
            QSKIP("no /proc here");
        try {
            ReadFileAsString(path);
            QFAIL("the read did not fail");
        } catch (const FileError& error) {
            QCOMPARE(error.number, FileErrorNumber);
            QCOMPARE(error.source, QStringLiteral("ReadFileAsString"));
            QCOMPARE(error.description, QStringLiteral("Error: Cannot read the file: ") + path);
        }
    }

    void writeErrors_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("mode");
        QTest::newRow("missing folder") << QStringLiteral("missingFolder") << 0;
        QTest::newRow("missing folder, append") << QStringLiteral("missingFolder") << 1;
        QTest::newRow("target is a folder") << QStringLiteral("folder") << 0;
        QTest::newRow("target is a folder, append") << QStringLiteral("folder") << 1;
        QTest::newRow("parent is a file") << QStringLiteral("fileOnTheWay") << 0;
        QTest::newRow("empty path") << QStringLiteral("empty") << 0;
        QTest::newRow("read-only folder") << QStringLiteral("readOnlyFolder") << 0;
    }
    void writeErrors() {
        QFETCH(QString, situation);
        QFETCH(int, mode);
        QString path = Path(QStringLiteral("out.pslib"));
        if (situation == QLatin1String("missingFolder")) {
            path = Path(QStringLiteral("nowhere/out.pslib"));
        } else if (situation == QLatin1String("folder")) {
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("out.pslib")));
        } else if (situation == QLatin1String("fileOnTheWay")) {
            QVERIFY(WriteRaw(Path(QStringLiteral("plain")), "x"));
            path = Path(QStringLiteral("plain/out.pslib"));
        } else if (situation == QLatin1String("empty")) {
            path.clear();
        } else if (situation == QLatin1String("readOnlyFolder")) {
            if (RunningAsRoot())
                QSKIP("root writes into any folder regardless of its permissions");
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("ro")));
            path = Path(QStringLiteral("ro/out.pslib"));
            QVERIFY(QFile::setPermissions(Path(QStringLiteral("ro")), QFile::ReadOwner | QFile::ExeOwner));
        }
        const QStringList before = FolderEntries(dir_.Path());
        try {
            WriteToFile(path, QByteArrayLiteral("\x01"), mode);
            QFAIL("the write did not fail");
        } catch (const FileError& error) {
            QCOMPARE(error.number, FileErrorNumber);
            QCOMPARE(error.source, QStringLiteral("WriteToFile"));
            QCOMPARE(error.description, QStringLiteral("Error: Cannot open the file: ") + path);
        }
        QCOMPARE(FolderEntries(dir_.Path()), before);
    }

    void fileExists_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("exists");
        QTest::newRow("file") << QStringLiteral("file") << true;
        QTest::newRow("missing") << QStringLiteral("missing") << false;
        QTest::newRow("empty path") << QStringLiteral("empty") << false;
        QTest::newRow("folder") << QStringLiteral("folder") << true;
        QTest::newRow("unreadable file") << QStringLiteral("unreadable") << true;
        QTest::newRow("dangling symlink") << QStringLiteral("dangling") << true;
        QTest::newRow("missing folder on the way") << QStringLiteral("missingFolder") << false;
        QTest::newRow("a file on the way") << QStringLiteral("fileOnTheWay") << false;
        QTest::newRow("inside a folder that may not be entered") << QStringLiteral("locked") << true;
    }
    void fileExists() {
        QFETCH(QString, situation);
        QFETCH(bool, exists);
        QString path = Path(QStringLiteral("x.pslib"));
        if (situation == QLatin1String("file")) {
            QVERIFY(WriteRaw(path, QByteArray()));
        } else if (situation == QLatin1String("empty")) {
            path.clear();
        } else if (situation == QLatin1String("folder")) {
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("x.pslib")));
        } else if (situation == QLatin1String("unreadable")) {
            QVERIFY(WriteRaw(path, "\x01"));
            QVERIFY(QFile::setPermissions(path, {}));
        } else if (situation == QLatin1String("dangling")) {
            QVERIFY(QFile::link(Path(QStringLiteral("gone")), path));
        } else if (situation == QLatin1String("missingFolder")) {
            path = Path(QStringLiteral("nowhere/x.pslib"));
        } else if (situation == QLatin1String("fileOnTheWay")) {
            QVERIFY(WriteRaw(Path(QStringLiteral("plain")), "x"));
            path = Path(QStringLiteral("plain/x.pslib"));
        } else if (situation == QLatin1String("locked")) {
            if (RunningAsRoot())
                QSKIP("root enters any folder regardless of its permissions");
            QVERIFY(QDir(dir_.Path()).mkdir(QStringLiteral("locked")));
            path = Path(QStringLiteral("locked/x.pslib"));
            QVERIFY(
                QFile::setPermissions(Path(QStringLiteral("locked")), QFile::ReadOwner | QFile::WriteOwner));
        }
        QCOMPARE(FileExists(path), exists);
    }

    void getFileName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("full path") << QStringLiteral("/home/me/Lib/my.pslib") << QStringLiteral("my.pslib");
        QTest::newRow("name only") << QStringLiteral("my.pslib") << QStringLiteral("my.pslib");
        QTest::newRow("ends in a separator") << QStringLiteral("/home/me/Lib/") << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("root file") << QStringLiteral("/x") << QStringLiteral("x");
        // Here a backslash is an ordinary character of a file name.
        QTest::newRow("backslashes") << QStringLiteral("C:\\Lib\\my.pslib")
                                     << QStringLiteral("C:\\Lib\\my.pslib");
        QTest::newRow("mixed") << QStringLiteral("/a\\b/c\\d.pslib") << QStringLiteral("c\\d.pslib");
    }
    void getFileName() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(GetFileName(path), name);
    }
};

int RunFileAccessTests(int argc, char** argv) {
    TestFileAccess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fileaccess.moc"
