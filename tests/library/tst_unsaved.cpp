// Recovery of unsaved work: the recovery file's format and what is trusted, the controller's
// question and its answers, and the question before a save replaces a pair changed on disk.

#include "EarlierVersions.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "LibraryTestSupport.h"
#include "Reconcile.h"
#include "SafeSave.h"
#include "UnsavedWork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <random>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace quillbox;
using namespace quillbox::test;

namespace {

// A work with every kind of text a description may hold; `tail` extra bytes make a short last entry.
UnsavedWork SampleWork(const QString& libPath, qsizetype entries, qsizetype tail, QStringList descriptions) {
    UnsavedWork work;
    work.libPath = libPath;
    work.loaded = PairIdentityOf(libPath);
    work.time = QDateTime(QDate(2026, 3, 17), QTime(8, 18, 32, 123), Qt::UTC);
    work.library = MakeStore(entries, 7) + QByteArray(tail, '\x5a');
    work.descriptions = std::move(descriptions);
    return work;
}

} // namespace

class TestUnsaved : public QObject {
    Q_OBJECT

    QTemporaryDir unsavedDir_;
    QString Folder() const { return unsavedDir_.filePath(u"unsaved"_s); }

    // A fixture whose recovery files go to this test's folder.
    void Prepare(Fixture& f) const {
        f.controller.SetUnsavedFolder(Folder());
        f.controller.SetUnsavedDelay(20);
    }
    static void Flush(Fixture& f) {
        f.controller.Unsaved().WriteNow();
        f.controller.Unsaved().WaitIdle();
    }
    // The recovery file a file of an earlier release would be; the one window `f` keeps; whether any
    // window keeps one for the library.
    QString RecoveryFile(const QString& libPath) const { return UnsavedWorkFiles(Folder()).FileFor(libPath); }
    static QString OwnFile(Fixture& f, const QString& libPath) {
        return f.controller.Unsaved().Files().FileFor(libPath);
    }
    bool AnyRecoveryFile(const QString& libPath) const {
        const QString hash = QFileInfo(RecoveryFile(libPath)).completeBaseName();
        return !QDir(Folder()).entryList({hash + u"*.unsaved"_s}, QDir::Files).isEmpty();
    }

    // Loads lib.pslib (five entries, descriptions), then changes it: a description with a line
    // break and non-Latin text typed into entry 2, entry 4 deleted, entry 1 renamed.
    void LoadAndEdit(Fixture& f) {
        f.LoadLibrary(u"lib.pslib"_s, MakeStore(5), Descs(5, u"d"_s));
        f.Run(u"L1"_s);
        const QString typed = QStringLiteral("Zeile\r\nпривет 😀");
        f.view.description = typed;
        f.controller.DescriptionEdited(typed);
        f.Run(u"L3 del L0 ren:NEW"_s);
        QVERIFY(f.S().LibChanged);
    }

private Q_SLOTS:
    void init() {
        QDir(Folder()).removeRecursively();
        SetMaxFileSizeForTest(0);
    }

    void roundTrip_data() {
        QTest::addColumn<qsizetype>("entries");
        QTest::addColumn<qsizetype>("tail");
        QTest::addColumn<QStringList>("descriptions");
        const QString lone = QString(QChar(0xD800)) + u"x"_s; // a lone surrogate, kept as it is
        QTest::newRow("short last entry")
            << qsizetype(3) << qsizetype(5) << QStringList{u""_s, u"a"_s, u""_s, u"c"_s};
        QTest::newRow("line breaks") << qsizetype(2) << qsizetype(0)
                                     << QStringList{u""_s, u"one\r\ntwo\n"_s, u"\r\n\r\n"_s};
        QTest::newRow("non-Latin and surrogates")
            << qsizetype(2) << qsizetype(0) << QStringList{u""_s, QStringLiteral("привет 😀 日本"), lone};
        QTest::newRow("empty library") << qsizetype(0) << qsizetype(0) << QStringList{u""_s};
        QTest::newRow("no descriptions") << qsizetype(1) << qsizetype(0) << QStringList{};
        QTest::newRow("only a short entry") << qsizetype(0) << qsizetype(17) << QStringList{u""_s, u"x"_s};
    }
    void roundTrip() {
        QFETCH(qsizetype, entries);
        QFETCH(qsizetype, tail);
        QFETCH(QStringList, descriptions);
        QTemporaryDir dir;
        const UnsavedWork work = SampleWork(dir.filePath(u"a b%ü.pslib"_s), entries, tail, descriptions);
        const UnsavedWorkFiles files(Folder());
        files.Write(work);
        const UnsavedWorkFiles::Found found = files.Read(work.libPath);
        QVERIFY2(found.work, qPrintable(found.problem));
        QCOMPARE(found.work->library, work.library);
        QCOMPARE(found.work->descriptions, work.descriptions);
        QCOMPARE(*found.work, work);
#ifdef Q_OS_UNIX
        QCOMPARE(QFileInfo(Folder()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
#endif
    }

    // Every cut of a file, every single byte changed and random garbage is refused without a crash.
    void decodeRefusesDamage() {
        const QByteArray good = UnsavedWorkFiles::Encode(
            SampleWork(u"/x/y.pslib"_s, 2, 3, {u""_s, QStringLiteral("ä\r\nb"), u"c"_s}));
        QVERIFY(UnsavedWorkFiles::Decode(good));
        for (qsizetype cut = 0; cut < good.size(); ++cut) {
            QString problem;
            QVERIFY2(!UnsavedWorkFiles::Decode(good.left(cut), &problem) && !problem.isEmpty(),
                     qPrintable(QString::number(cut)));
        }
        for (qsizetype at = 0; at < good.size(); ++at) {
            QByteArray bad = good;
            bad[at] = char(bad[at] ^ 0x20);
            QVERIFY2(!UnsavedWorkFiles::Decode(bad), qPrintable(QString::number(at)));
        }
        QVERIFY(!UnsavedWorkFiles::Decode(good + "x"));
        std::mt19937 random(5);
        for (int round = 0; round < 2000; ++round) {
            QByteArray garbage = good.left(qsizetype(random() % 60));
            const int extra = int(random() % 200);
            for (int i = 0; i < extra; ++i)
                garbage += char(random() % 256);
            QVERIFY(!UnsavedWorkFiles::Decode(garbage));
        }
    }

    // Only a regular file of this user, of bounded size, written for this very library is taken;
    // anything else is named once and left exactly as it is.
    void trust_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"link", "other owner", "too big", "garbage", "other library", "folder"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void trust() {
        QFETCH(QString, kind);
        Fixture f;
        Prepare(f);
        const QString lib = f.Path(u"lib.pslib"_s);
        const QString file = RecoveryFile(lib);
        const UnsavedWorkFiles files(Folder());
        WriteBytes(lib, LibraryFileBytes(MakeStore(2)));
        const UnsavedWork work = SampleWork(lib, 3, 0, {u""_s, u"a"_s, u"b"_s, u"c"_s});
        QVERIFY(QDir().mkpath(Folder()));
        if (kind == u"link"_s) {
            const QString elsewhere = f.Path(u"planted"_s);
            WriteBytes(elsewhere, UnsavedWorkFiles::Encode(work));
            QVERIFY(QFile::link(elsewhere, file));
        } else if (kind == u"other owner"_s) {
            if (::geteuid() != 0)
                QSKIP("needs root to give a file to another user");
            files.Write(work);
            QCOMPARE(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
        } else if (kind == u"too big"_s) {
            files.Write(work);
            SetMaxFileSizeForTest(64);
        } else if (kind == u"garbage"_s) {
            WriteBytes(file, "QUILLBOX UNSAVED WORK 1\nlibrary %2Fetc\n\x01\x02");
        } else if (kind == u"other library"_s) {
            UnsavedWork other = work;
            other.libPath = f.Path(u"other.pslib"_s);
            WriteBytes(file, UnsavedWorkFiles::Encode(other));
        } else {
            QVERIFY(QDir().mkpath(file));
        }
        const QFileInfo before(file);
        const QByteArray bytes = before.isFile() ? ReadBytes(file) : QByteArray();

        const UnsavedWorkFiles::Found found = files.Read(lib);
        QVERIFY(!found.work);
        QVERIFY2(!found.problem.isEmpty() || kind == u"folder"_s, qPrintable(kind));
        QCOMPARE(files.ReadAll().value(0).work.has_value(), false);
        // Loaded twice: nothing is asked (the fake view fails on a question), named at most once.
        f.view.paths.push_back(lib);
        f.controller.LoadLib();
        f.controller.LoadLibFromPath(lib);
        QVERIFY(f.view.recoveryQuestions.isEmpty());
        QCOMPARE(f.view.messages.size(), 1);
        SetMaxFileSizeForTest(0);
        QCOMPARE(QFileInfo(file).exists() || QFileInfo(file).isSymLink(), true);
        if (before.isFile())
            QCOMPARE(ReadBytes(file), bytes);
    }

    // A change starts the clock; the file appears once changes pause, holds exactly the library and
    // descriptions, and goes with a save, an undo to the saved state, or a clean close.
    void fileFollowsTheChanges_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("kept");
        QTest::newRow("still unsaved") << u""_s << true;
        QTest::newRow("save") << u"save"_s << false;
        QTest::newRow("undo to saved") << u"undo undo undo undo"_s << false;
        QTest::newRow("undo one step") << u"undo"_s << true;
        QTest::newRow("close without saving") << u"close"_s << false;
        QTest::newRow("save as") << u"saveAs"_s << false;
    }
    void fileFollowsTheChanges() {
        QFETCH(QString, ending);
        QFETCH(bool, kept);
        Fixture f;
        Prepare(f);
        LoadAndEdit(f);
        const QString lib = f.Path(u"lib.pslib"_s);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(OwnFile(f, lib)); }, 3000));
        f.controller.Unsaved().WaitIdle();
        if (ending == u"close"_s) {
            f.view.saveAnswers.push_back(SaveAnswer::No);
            QVERIFY(f.controller.QueryClose());
        } else if (ending == u"saveAs"_s) {
            f.view.paths.push_back(f.Path(u"copy.pslib"_s));
            f.Run(ending);
        } else if (!ending.isEmpty()) {
            f.Run(ending);
        }
        // A closed window takes no more snapshots; any other state is written as it stands.
        if (ending != u"close"_s)
            f.controller.Unsaved().WriteNow();
        f.controller.Unsaved().WaitIdle();
        QCOMPARE(QFileInfo::exists(OwnFile(f, lib)), kept);
        if (kept) {
            const UnsavedWorkFiles::Found found = f.controller.Unsaved().Files().Read(lib);
            QVERIFY2(found.work, qPrintable(found.problem));
            QCOMPARE(found.work->library, f.S().LibraryData);
            QCOMPARE(found.work->descriptions, f.S().DescArray);
            QCOMPARE(found.work->loaded, PairIdentityOf(lib));
        }
    }

    // Changes that never pause are still written, within twice the delay of the first one.
    void steadyChangesAreWritten() {
        Fixture f;
        Prepare(f);
        f.controller.SetUnsavedDelay(300);
        f.LoadLibrary(u"lib.pslib"_s, MakeStore(3), Descs(3, u"d"_s));
        f.Run(u"L1"_s);
        const QString file = OwnFile(f, f.Path(u"lib.pslib"_s));
        QElapsedTimer clock;
        clock.start();
        qint64 seen = -1;
        for (int i = 0; clock.elapsed() < 1500; ++i) {
            f.controller.DescriptionEdited(u"typing "_s + QString::number(i));
            QTest::qWait(50);
            if (seen < 0 && QFileInfo::exists(file))
                seen = clock.elapsed();
        }
        QVERIFY2(seen >= 0 && seen < 800, qPrintable(QString::number(seen)));
    }

    // The next run finds the file when the library is loaded (or at start) and asks; each answer.
    // The Compare of the restore question pairs the entries as the reconcile rows do: a patch renamed
    // and moved is one line, not a changed line at every position between.
    void recoveredDifferences_data() {
        QTest::addColumn<QList<int>>(
            "order"); // the disk's entries the recovered library holds; -1: 1 renamed
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("renamed and moved")
            << QList<int>{0, 2, 3, 4, -1} << QStringList{u"02:  P1 -> 05:  NEW: moved"_s};
        QTest::newRow("renamed in place")
            << QList<int>{0, -1, 2, 3, 4} << QStringList{u"02:  P1 -> 02:  NEW"_s};
        QTest::newRow("one gone") << QList<int>{0, 1, 2, 3}
                                  << QStringList{u"05:  P4: not in the recovered changes"_s};
        QTest::newRow("the same") << QList<int>{0, 1, 2, 3, 4} << QStringList{u"No differences."_s};
    }
    void recoveredDifferences() {
        QFETCH(QList<int>, order);
        QFETCH(QStringList, lines);
        Fixture f;
        const QByteArray disk = MakeStore(5);
        WriteBytes(f.Path(u"lib.pslib"_s), LibraryFileBytes(disk));
        WriteBytes(f.Path(u"lib.pslib.txt"_s), SideFileBytes(Descs(5, u"d"_s)));
        UnsavedWork work;
        work.libPath = f.Path(u"lib.pslib"_s);
        work.descriptions = QStringList{QString()};
        for (const int k : order) {
            work.library += k < 0 ? MakeImage(u"NEW"_s, 1) : Entry(disk, k);
            work.descriptions.append(u"d%1"_s.arg(k < 0 ? 2 : k + 1));
        }
        QCOMPARE(f.controller.RecoveredDifferences(work).section(u'\n', 2), lines.join(u'\n'));
    }

    void restoreQuestion_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<RecoveryAnswer>>("answers");
        QTest::addColumn<QString>("outcome"); // restored, disk, elsewhere
        using A = RecoveryAnswer;
        QTest::newRow("restore on load") << u"load"_s << QList<A>{A::Restore} << u"restored"_s;
        QTest::newRow("restore at start") << u"start"_s << QList<A>{A::Restore} << u"restored"_s;
        QTest::newRow("compare, then restore")
            << u"load"_s << QList<A>{A::Compare, A::Restore} << u"restored"_s;
        QTest::newRow("discard") << u"start"_s << QList<A>{A::Discard} << u"disk"_s;
        QTest::newRow("closed unanswered") << u"load"_s << QList<A>{A::Later} << u"kept"_s;
        QTest::newRow("changed on disk since") << u"changed"_s << QList<A>{A::Restore} << u"elsewhere"_s;
        QTest::newRow("library gone") << u"gone"_s << QList<A>{A::Restore} << u"elsewhere"_s;
        QTest::newRow("library no longer valid") << u"invalid"_s << QList<A>{A::Restore} << u"elsewhere"_s;
    }
    void restoreQuestion() {
        QFETCH(QString, how);
        QFETCH(QList<RecoveryAnswer>, answers);
        QFETCH(QString, outcome);
        // The first run edits, its recovery file is written, and it ends without a close, as a crash
        // ends it; it stays alive only so that its folder does.
        Fixture first;
        Prepare(first);
        LoadAndEdit(first);
        Flush(first);
        first.controller.Unsaved().EndAsIfKilledForTest();
        const QByteArray edited = first.S().LibraryData;
        const QStringList editedDescs = first.S().DescArray;
        const QString lib = first.Path(u"lib.pslib"_s);
        QVERIFY(AnyRecoveryFile(lib));
        const QByteArray diskLib = ReadBytes(lib), diskSide = ReadBytes(lib + u".txt"_s);
        if (how == u"changed"_s) {
            QThread::msleep(5);
            WriteBytes(lib, LibraryFileBytes(MakeStore(2)));
        } else if (how == u"invalid"_s) {
            WriteBytes(lib, "not a library");
        } else if (how == u"gone"_s) {
            QVERIFY(QFile::remove(lib) && QFile::remove(lib + u".txt"_s));
        }

        Fixture f;
        Prepare(f);
        for (RecoveryAnswer answer : answers)
            f.view.recoveryAnswers.push_back(answer);
        if (outcome == u"elsewhere"_s)
            f.view.paths.push_back(f.Path(u"saved.pslib"_s));
        if (how == u"load"_s)
            f.controller.LoadLibFromPath(lib);
        else
            f.controller.RecoverAtStart();
        QCOMPARE(f.view.recoveryQuestions.size(), answers.size());
        QVERIFY(f.view.recoveryQuestions.value(0).startsWith(u"Restore unsaved changes to "_s + lib +
                                                             u" from "_s));
        QVERIFY(f.view.AnswersUsedUp());
        if (answers.contains(RecoveryAnswer::Compare)) {
            // Entry 2 got the typed description, the old entry 4 went, entry 1 was renamed.
            const QString differences = f.view.messages.join(u'\n');
            QVERIFY2(differences.contains(u"Recovered: 4 patches; on disk: 5 patches."_s),
                     qPrintable(differences));
            QVERIFY2(differences.contains(u"-> 01:  NEW"_s), qPrintable(differences));
            QVERIFY2(differences.contains(u"02:  P1: description changed"_s), qPrintable(differences));
        }
        Flush(f);
        const bool fileLeft = AnyRecoveryFile(lib);
        if (outcome == u"restored"_s) {
            QCOMPARE(f.S().LibFilePath, lib);
            QCOMPARE(f.S().LibraryData, edited);
            QCOMPARE(f.S().DescArray, editedDescs);
            QVERIFY(f.S().LibChanged);
            QCOMPARE(f.view.undoStep, u"Restore Unsaved Changes"_s);
            QCOMPARE(ReadBytes(lib), diskLib); // nothing written until the user saves
            QVERIFY(fileLeft);
            // One step: undo gives the library as on disk, redo the recovered work again.
            f.Run(u"undo"_s);
            QCOMPARE(f.S().LibraryData, DecodeLibrary(diskLib));
            QVERIFY(!f.S().LibChanged);
            f.Run(u"redo"_s);
            QCOMPARE(f.S().DescArray, editedDescs);
        } else if (outcome == u"disk"_s) {
            QCOMPARE(f.S().LibraryData, DecodeLibrary(diskLib));
            QVERIFY(!f.S().LibChanged);
            QVERIFY(!fileLeft);
        } else if (outcome == u"kept"_s) {
            QCOMPARE(f.S().LibraryData, DecodeLibrary(diskLib));
            QVERIFY(fileLeft);
        } else {
            // Not applied to the changed (or missing) library: saved under the name chosen.
            QVERIFY(f.view.messages.join(u'\n').contains(u"so the recovered changes are not applied"_s));
            QCOMPARE(ReadBytes(f.Path(u"saved.pslib"_s)), EncodeLibrary(edited));
            QCOMPARE(f.S().LibFilePath, f.Path(u"saved.pslib"_s));
            QCOMPARE(f.S().DescArray, editedDescs);
            QCOMPARE(QFileInfo::exists(lib), how != u"gone"_s);
            if (how == u"changed"_s)
                QCOMPARE(ReadBytes(lib), LibraryFileBytes(MakeStore(2)));
            QVERIFY(!fileLeft);
        }
    }

    // Two windows on one library keep a recovery file each. What ends one window's changes (a save,
    // an undo to the saved state, a clean close) removes its own file only: the other's work stays,
    // whole, and is offered once that window is gone, never while it lives.
    void twoWindows_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("save") << u"save"_s;
        QTest::newRow("undo to saved") << u"undo undo undo undo"_s;
        QTest::newRow("close without saving") << u"close"_s;
        QTest::newRow("killed") << u"killed"_s;
    }
    void twoWindows() {
        QFETCH(QString, ending);
        Fixture a, b;
        Prepare(a);
        Prepare(b);
        LoadAndEdit(a);
        const QString lib = a.Path(u"lib.pslib"_s);
        b.controller.LoadLibFromPath(lib);
        b.Run(u"L2 del L0 ren:BEES"_s);
        Flush(a);
        // B's work is the newer one: kept at least a millisecond later than A's, which the files'
        // times (in milliseconds) tell apart.
        QTest::qWait(2);
        Flush(b);
        const QByteArray workB = b.S().LibraryData;
        QCOMPARE(a.controller.Unsaved().Files().Read(lib).work->library, a.S().LibraryData);
        QCOMPARE(b.controller.Unsaved().Files().Read(lib).work->library, workB);
        if (ending == u"close"_s) {
            a.view.saveAnswers.push_back(SaveAnswer::No);
            QVERIFY(a.controller.QueryClose());
        } else if (ending == u"killed"_s) {
            a.controller.Unsaved().EndAsIfKilledForTest();
        } else {
            // A save that follows the other window's: B's pair on disk is not changed by A's save.
            a.Run(ending);
            a.controller.Unsaved().WriteNow();
        }
        a.controller.Unsaved().WaitIdle();
        QCOMPARE(QFileInfo::exists(OwnFile(a, lib)), ending == u"killed"_s);
        const UnsavedWorkFiles::Found kept = b.controller.Unsaved().Files().Read(lib);
        QVERIFY2(kept.work, qPrintable(kept.problem));
        QCOMPARE(kept.work->library, workB);
        // A third window offers only the work of a window that is gone.
        {
            Fixture c;
            Prepare(c);
            if (ending == u"killed"_s)
                c.view.recoveryAnswers.push_back(RecoveryAnswer::Later);
            c.controller.RecoverAtStart();
            QCOMPARE(c.view.recoveryQuestions.size(), ending == u"killed"_s ? 1 : 0);
        }
        b.controller.Unsaved().EndAsIfKilledForTest();
        Fixture c;
        Prepare(c);
        c.view.recoveryAnswers.push_back(RecoveryAnswer::Restore);
        if (ending == u"killed"_s)
            c.view.recoveryAnswers.push_back(RecoveryAnswer::Later);
        // After A's save, B's changes were made to a pair that is no longer on disk: a new name.
        if (ending == u"save"_s)
            c.view.paths.push_back(c.Path(u"recovered.pslib"_s));
        c.controller.RecoverAtStart();
        QVERIFY(c.view.AnswersUsedUp());
        QCOMPARE(c.S().LibraryData, workB); // the newest first
        // The restored work is now the third window's, and the gone window's file is removed.
        QCOMPARE(QFileInfo::exists(OwnFile(c, lib)), ending != u"save"_s);
        QVERIFY(!QFileInfo::exists(OwnFile(b, lib)));
        QCOMPARE(QFileInfo::exists(OwnFile(a, lib)), ending == u"killed"_s);
    }

    // At start every recovery file of a gone window is offered, newest first, each naming its
    // library and time; one of a living window is not.
    void startOffersEveryGoneWindow() {
        Fixture one, two, alive;
        for (Fixture* f : {&one, &two, &alive})
            Prepare(*f);
        one.LoadLibrary(u"one.pslib"_s, MakeStore(3), Descs(3, u"d"_s));
        one.Run(u"L1 del"_s);
        Flush(one);
        QThread::msleep(20);
        two.LoadLibrary(u"two.pslib"_s, MakeStore(4), Descs(4, u"d"_s));
        two.Run(u"L1 del"_s);
        Flush(two);
        alive.LoadLibrary(u"three.pslib"_s, MakeStore(4), Descs(4, u"d"_s));
        alive.Run(u"L1 del"_s);
        Flush(alive);
        const std::optional<UnsavedWork> oneWork =
            one.controller.Unsaved().Files().Read(one.Path(u"one.pslib"_s)).work;
        const std::optional<UnsavedWork> twoWork =
            two.controller.Unsaved().Files().Read(two.Path(u"two.pslib"_s)).work;
        QVERIFY(oneWork && twoWork);
        const QDateTime oneTime = oneWork->time, twoTime = twoWork->time;
        one.controller.Unsaved().EndAsIfKilledForTest();
        two.controller.Unsaved().EndAsIfKilledForTest();
        Fixture f;
        Prepare(f);
        f.view.recoveryAnswers = {RecoveryAnswer::Later, RecoveryAnswer::Later};
        f.controller.RecoverAtStart();
        QVERIFY(f.view.AnswersUsedUp());
        const auto question = [](const QString& lib, const QDateTime& time) -> QString {
            return u"Restore unsaved changes to "_s + lib + u" from "_s +
                   time.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss"_s) + u'?';
        };
        QCOMPARE(f.view.recoveryQuestions, (QStringList{question(two.Path(u"two.pslib"_s), twoTime),
                                                        question(one.Path(u"one.pslib"_s), oneTime)}));
    }

    // A save that failed at its last step (after it had linked the old files, which changes their
    // change time) leaves the pair as loaded: the next save asks nothing.
    void failedSaveAsksNothingAfter() {
        Fixture f;
        Prepare(f);
        LoadAndEdit(f);
        const QString lib = f.Path(u"lib.pslib"_s);
        const QByteArray before = ReadBytes(lib);
        SafeSave::SetRenameHookForTest([lib](const QString& target) {
            if (target == lib)
                throw FileError{FileErrorNumber, u"test"_s, u"rename refused"_s};
        });
        QVERIFY(!f.controller.SaveLib());
        SafeSave::SetRenameHookForTest({});
        QCOMPARE(ReadBytes(lib), before);
        QCOMPARE(f.view.messages.size(), 1);
        QVERIFY(f.controller.SaveLib());
        QVERIFY(f.view.diskQuestions.isEmpty());
        QCOMPARE(ReadBytes(lib), EncodeLibrary(f.S().LibraryData));
    }

    // "Save (Library) " over a pair that another program wrote asks first; each answer.
    void changedOnDisk_data() {
        QTest::addColumn<QString>("change"); // side, library, none
        QTest::addColumn<DiskChangeAnswer>("answer");
        QTest::addColumn<QString>("outcome"); // written, other name, untouched
        QTest::newRow("not changed: no question") << u"none"_s << DiskChangeAnswer::Cancel << u"written"_s;
        QTest::newRow("library, overwrite") << u"library"_s << DiskChangeAnswer::Overwrite << u"written"_s;
        QTest::newRow("side file, overwrite") << u"side"_s << DiskChangeAnswer::Overwrite << u"written"_s;
        QTest::newRow("library, save as") << u"library"_s << DiskChangeAnswer::SaveAs << u"other name"_s;
        QTest::newRow("library, cancel") << u"library"_s << DiskChangeAnswer::Cancel << u"untouched"_s;
        QTest::newRow("library, reconcile") << u"library"_s << DiskChangeAnswer::Reconcile << u"untouched"_s;
        QTest::newRow("replaced by a rename, cancel")
            << u"rename"_s << DiskChangeAnswer::Cancel << u"untouched"_s;
        QTest::newRow("rewritten in place, time set back, cancel")
            << u"in place"_s << DiskChangeAnswer::Cancel << u"untouched"_s;
    }
    void changedOnDisk() {
        QFETCH(QString, change);
        QFETCH(DiskChangeAnswer, answer);
        QFETCH(QString, outcome);
        Fixture f;
        Prepare(f);
        LoadAndEdit(f);
        const QString lib = f.Path(u"lib.pslib"_s);
        const QByteArray theirs = LibraryFileBytes(MakeStore(7, 3));
        if (change == u"library"_s)
            WriteBytes(lib, theirs);
        else if (change == u"side"_s)
            WriteBytes(lib + u".txt"_s, SideFileBytes(Descs(5, u"theirs"_s)));
        else if (change == u"in place"_s) {
            // Same size, and the modification time put back: only the change time tells.
            struct stat before {};
            QCOMPARE(::stat(QFile::encodeName(lib).constData(), &before), 0);
            QByteArray bytes = ReadBytes(lib);
            bytes[1] = char(bytes[1] ^ 0x01);
            QThread::msleep(20);
            WriteBytes(lib, bytes);
            const struct timespec times[2] = {before.st_atim, before.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(lib).constData(), times, 0), 0);
        } else if (change == u"rename"_s) {
            WriteBytes(f.Path(u"new.pslib"_s), theirs);
            QVERIFY(::rename(QFile::encodeName(f.Path(u"new.pslib"_s)).constData(),
                             QFile::encodeName(lib).constData()) == 0);
        }
        const QByteArray before = ReadBytes(lib);
        f.controller.CheckChangedOnDisk();
        f.controller.CheckChangedOnDisk();
        const qsizetype told = f.view.statuses.filter(u"changed on disk since it was loaded"_s).size();
        QCOMPARE(told, change == u"none"_s ? 0 : 1);
        if (change != u"none"_s)
            f.view.diskAnswers.push_back(answer);
        if (answer == DiskChangeAnswer::SaveAs)
            f.view.paths.push_back(f.Path(u"mine.pslib"_s));
        const bool saved = f.controller.SaveLib();
        QCOMPARE(f.view.diskQuestions.size(), change == u"none"_s ? 0 : 1);
        if (change != u"none"_s)
            QVERIFY(f.view.diskQuestions[0].contains(u"was changed on disk by another program"_s));
        const QString target = outcome == u"other name"_s ? f.Path(u"mine.pslib"_s) : lib;
        QCOMPARE(saved, outcome != u"untouched"_s);
        QCOMPARE(f.S().LibChanged, outcome == u"untouched"_s);
        if (outcome == u"untouched"_s) {
            QCOMPARE(ReadBytes(lib), before);
        } else {
            QCOMPARE(ReadBytes(target), EncodeLibrary(f.S().LibraryData));
            QCOMPARE(f.S().LibFilePath, target);
            QCOMPARE(f.controller.DiskIdentity(), PairIdentityOf(target));
        }
        if (outcome == u"other name"_s)
            QCOMPARE(ReadBytes(lib), before);
        // "Reconcile" sets the library against the pair on disk, and only that answer does. Once
        // the choices are applied (here: everything from the disk), Save replaces the pair without
        // asking again; a pair changed again after it was read is asked about again.
        QCOMPARE(f.view.reconciled, answer == DiskChangeAnswer::Reconcile ? QStringList{lib} : QStringList());
        if (answer == DiskChangeAnswer::Reconcile) {
            const ReconcileSide left = f.controller.LibrarySide();
            const ReconcileSide right = f.controller.ReadReconcileSide(lib);
            const std::vector<ReconcileRow> rows = ReconcileRows(left, right);
            const std::vector<RowChoice> choices(rows.size(), RowChoice{RowChoice::Right});
            QVERIFY(f.controller.ApplyReconcile(u"lib.pslib"_s, left, right, rows, choices));
            QCOMPARE(f.S().LibraryData, MakeStore(7, 3));
            f.Run(u"L0 del"_s);
            QVERIFY(f.controller.SaveLib());
            QCOMPARE(ReadBytes(lib), EncodeLibrary(f.S().LibraryData));
            WriteBytes(lib, theirs);
            f.view.diskAnswers.push_back(DiskChangeAnswer::Cancel);
            QVERIFY(!f.controller.SaveLib());
            QCOMPARE(f.view.diskQuestions.size(), 2);
        }
        // Overwriting keeps what the other program wrote as an earlier version.
        if (change == u"library"_s && answer == DiskChangeAnswer::Overwrite) {
            const QList<EarlierVersion> versions = f.controller.LibEarlierVersions();
            QCOMPARE(versions.size(), 1);
            QCOMPARE(EarlierVersions(f.versionsDir.filePath(u"versions"_s)).Read(lib, versions[0].id).library,
                     theirs);
        }
        // Once saved, the next save asks nothing (the fake view would fail on a question).
        if (saved) {
            f.Run(u"L0 del save"_s);
            QVERIFY(!f.S().LibChanged);
        }
    }
};

QTEST_GUILESS_MAIN(TestUnsaved)
#include "tst_unsaved.moc"
