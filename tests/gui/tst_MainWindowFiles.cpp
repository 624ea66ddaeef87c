// The main window's files: the File menu's dialogs, files and names from outside, recent
// libraries, the settings file, a killed window's edits and a library changed on disk.

#include "EarlierVersionsDialog.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "ReconcileWindow.h"
#include "Start.h"
#include "UnsavedWork.h"
#include "WindowFixture.h"
#include "WindowSettings.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;

class TestMainWindowFiles : public WindowFixture {
    Q_OBJECT

    // The captions of the recent libraries' items as shown.
    QStringList RecentItems() const {
        QStringList items;
        for (const QAction* action : Find<QMenu>("mnuFile_Recent")->actions()) {
            if (action->isVisible())
                items.append(action->text());
        }
        return items;
    }

private Q_SLOTS:
    // A name that does not exist makes a new library; Ctrl+S saves without a dialog.
    void fileCommands() {
        Choose("mnuFile_LoadLib", Path(L("new")));
        QCOMPARE(ReadBytes(Path(L("new.pslib"))), QByteArray(1, '\x01'));
        QCOMPARE(Title(), L("Quillbox   ") + Path(L("new")));
        LoadLibrary(Names);
        QCOMPARE(Find<QLabel>("lblLib")->toolTip(), L("sample.pslib"));
        Click(Lib(), 0);
        Trigger("mnuLibrary_MoveDown");
        QTest::keySequence(window.get(), QKeySequence(L("Ctrl+S")));
        QCOMPARE(OpenSaveDLG::takeShown().size(), 0);
        const QByteArray moved = Store(Names).mid(18, 18) + Store(Names).left(18) + Store(Names).mid(36);
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), LibraryFileBytes(moved));
        QVERIFY(ReadBytes(Path(L("sample.pslib.txt"))).contains("1=second&*&line"));
        QVERIFY(!State().LibChanged);
    }

    void dialogs_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("title");    // after "Quillbox "
        QTest::addColumn<QString>("pattern");  // the filter's first pattern
        QTest::addColumn<QString>("folder");   // the one it starts in: that of the kind's last file
        QTest::addColumn<QString>("fileName"); // offered; set only in the Save dialog
        const QString lib = L("*.pslib"), pch = L("*.pch"), exportTitle = L("Export PS02PatchFile");
        // clang-format off
        QTest::newRow("Load (Library) ")    << L("mnuFile_LoadLib") << L("Load Library File") << lib << L("libs") << L("");
        QTest::newRow("Save As (Library)")  << L("mnuFile_SaveAsLib") << L("Save Library File") << lib << L("libs") << L("sample.pslib");
        QTest::newRow("Import Library")     << L("mnuFile_LoadLibToPatches") << L("Import Library") << lib << L("libs") << L("");
        QTest::newRow("Import PS02")        << L("mnuFile_LoadPatches") << L("Import PS02PatchFile") << pch << L("dumps") << L("");
        QTest::newRow("Export Library -> PS02") << L("mnuFile_SaveLibAsPatches") << exportTitle << pch << L("dumps") << L("sample.pch");
        QTest::newRow("Export Selected")    << L("mnuFile_ExportSelected") << exportTitle << pch << L("dumps") << L("sample.pch");
        // clang-format on
    }

    // Each command shows its dialog; those that write show the Save dialog; each kind of file starts
    // in its last folder, also in the next run. A cancel changes nothing and takes the hourglass away.
    void dialogs() {
        QFETCH(QString, command);
        QFETCH(QString, title);
        QFETCH(QString, pattern);
        QFETCH(QString, folder);
        QFETCH(QString, fileName);
        QVERIFY(QDir().mkpath(Path(L("libs"))) && QDir().mkpath(Path(L("dumps"))));
        WriteBytes(Path(L("libs/sample.pslib")), LibraryFileBytes(Store(Names)));
        WriteBytes(Path(L("dumps/device.pch")), Store(Names));
        Choose("mnuFile_LoadLib", Path(L("libs/sample.pslib")));
        Choose("mnuFile_LoadPatches", Path(L("dumps/device.pch")));
        OpenWindow();
        Choose("mnuFile_LoadLib", Path(L("libs/sample.pslib"))); // from the recent list, the same
        Click(Lib(), 0);                                         // Export Selected asks only with a selection
        OpenSaveDLG::setNextCancel();
        Trigger(command.toLatin1().constData());
        const OpenSaveDLG::Shown shown = OpenSaveDLG::takeShown().value(0);
        QCOMPARE(TakeMessages(), QStringList{L("Cancelled: no file was chosen.")});
        QCOMPARE(shown.title, L("Quillbox ") + title);
        QCOMPARE(shown.filter.section(QChar(0), 1, 1), pattern);
        QCOMPARE(shown.initDir, Path(folder));
        QCOMPARE(shown.filename, fileName);
        QCOMPARE(shown.saveDialog, !fileName.isEmpty());
        QCOMPARE(Lib()->model()->rowCount(), Names.size());
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // A name whose bytes are not valid text would be decoded into another name: it is left out of
    // the files to open, and why is told.
    void argumentsNotText() {
        const char* const argv[] = {"quillbox", "lib.pslib", "bad\xFF.pslib", "d\xC3\xA9j\xC3\xA0.pch"};
        QStringList refused;
        QCOMPARE(TextArguments(4, argv, refused),
                 (QStringList{L("lib.pslib"), QString::fromUtf8("déjà.pch")}));
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused[0].startsWith(L("The file name bad\\xFF.pslib is not valid text")),
                 qPrintable(refused[0]));
    }

    // A dropped or chosen name that is not valid text reaches the window with U+FFFD in place of its
    // bad bytes: it is refused with the command line's message, and nothing is opened or created.
    // `name`: the file's real bytes below the test folder; `how`: "drop", "drop decoded" (an address
    // made from the decoded text) or the file command whose dialog answers the decoded name.
    void namesNotText_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("libRows");
        QTest::addColumn<int>("patchRows");
        QTest::addColumn<bool>("refused");
        QTest::newRow("library dropped") << L("drop") << QByteArray("bad\xFF.pslib") << 4 << 0 << true;
        QTest::newRow("patch file dropped") << L("drop") << QByteArray("bad\xFE.pch") << 4 << 0 << true;
        QTest::newRow("dropped, address decoded")
            << L("drop decoded") << QByteArray("bad\xFF.pslib") << 4 << 0 << true;
        QTest::newRow("folder not text") << L("drop") << QByteArray("d\xFF/lib.pslib") << 4 << 0 << true;
        QTest::newRow("Load (Library) dialog")
            << L("mnuFile_LoadLib") << QByteArray("bad\xFF.pslib") << 4 << 0 << true;
        QTest::newRow("Import dialog")
            << L("mnuFile_LoadPatches") << QByteArray("bad\xC3.pch") << 4 << 0 << true;
        QTest::newRow("text name dropped")
            << L("drop") << QByteArray("d\xC3\xA9j\xC3\xA0.pslib") << 2 << 0 << false;
    }
    void namesNotText() {
        QFETCH(QString, how);
        QFETCH(QByteArray, name);
        QFETCH(int, libRows);
        QFETCH(int, patchRows);
        QFETCH(bool, refused);
        LoadLibrary(Names);
        const QByteArray folder = QFile::encodeName(tmp->path()) + '/';
        const QByteArray path = folder + name;
        const qsizetype slash = name.indexOf('/');
        if (slash > 0)
            QCOMPARE(::mkdir(QByteArray(folder + name.left(slash)).constData(), 0755), 0);
        const QByteArray content =
            name.endsWith(".pslib") ? LibraryFileBytes(Store({L("ECHO"), L("FOXTRT")})) : Store({L("GOLF")});
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) == content.size());
        ::close(fd);
        // QDir cannot name what it would remove.
        const auto remove = qScopeGuard([&] {
            ::unlink(path.constData());
            if (slash > 0)
                ::rmdir(QByteArray(folder + name.left(slash)).constData());
        });
        const QStringList before = QDir(tmp->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QString decoded = QFile::decodeName(path);
        if (how.startsWith(L("drop"))) {
            QMimeData data;
            data.setUrls({how == L("drop")
                              ? QUrl(L("file://") + QString::fromLatin1(path.toPercentEncoding("/")))
                              : QUrl::fromLocalFile(decoded)});
            QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(window.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(window.get(), &dropped);
            QCoreApplication::processEvents(); // the files are opened once the drop has ended
        } else {
            Choose(how.toLatin1().constData(), decoded);
        }
        QTRY_COMPARE(Lib()->model()->rowCount(), libRows);
        QCOMPARE(Patches()->model()->rowCount(), patchRows);
        QCOMPARE(State().LibFilePath, refused ? Path(L("sample.pslib")) : decoded);
        QCOMPARE(QDir(tmp->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QCOMPARE(TakeMessages(), refused ? QStringList{FileNameNotTextMessage(path)} : QStringList());
    }

    // Files handed over by the command line or dropped on the window or on a text box.
    void filesFromOutside_data() {
        QTest::addColumn<QString>("how"); // "argument", or where it is dropped ("" for the window)
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("libRows");
        QTest::addColumn<int>("patchRows");
        QTest::newRow("no argument") << L("argument") << L("") << 4 << 0;
        QTest::newRow(".pslib argument") << L("argument") << L("sub/../lib.pslib") << 2 << 0;
        QTest::newRow(".pch argument") << L("argument") << L("dump.pch") << 4 << 3;
        QTest::newRow(".pslib dropped") << L("") << L("lib.pslib") << 2 << 0;
        QTest::newRow(".pch dropped on the description") << L("txtDescription") << L("dump.pch") << 4 << 3;
        QTest::newRow(".pch dropped on the library list") << L("lstLib") << L("dump.pch") << 4 << 3;
        QTest::newRow("web address dropped") << L("") << L("https://example.org/x.pch") << 4 << 0;
    }

    void filesFromOutside() {
        QFETCH(QString, how);
        QFETCH(QString, file);
        QFETCH(int, libRows);
        QFETCH(int, patchRows);
        LoadLibrary(Names);
        Click(Lib(), 0); // the description box is enabled and takes drops
        WriteBytes(Path(L("lib.pslib")), LibraryFileBytes(Store({L("ECHO"), L("FOXTRT")})));
        WriteBytes(Path(L("dump.pch")), Store({L("GOLF"), L("HOTEL"), L("INDIA")}));
        if (how == L("argument")) {
            const CommandLine line =
                ParseCommandLine(QStringList{L("q"), file}.mid(0, file.isEmpty() ? 1 : 2), tmp->path());
            QVERIFY(!line.exit);
            QCOMPARE(window->OpenFiles(line.files), QStringList());
        } else {
            const QUrl url = file.contains(QLatin1Char(':')) ? QUrl(file) : QUrl::fromLocalFile(Path(file));
            QMimeData data; // file managers offer the names as text too, which a text box would insert
            data.setUrls({url});
            data.setText(url.toString());
            QWidget* widget = how.isEmpty()        ? window.get()
                              : how == L("lstLib") ? Lib()->viewport()
                                                   : Description()->viewport();
            QVERIFY(widget->acceptDrops());
            QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(widget, &enter);
            QCOMPARE(enter.isAccepted(), url.isLocalFile());
            QDropEvent dropped({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            if (url.isLocalFile())
                QApplication::sendEvent(widget, &dropped);
        }
        QTRY_COMPARE(Patches()->model()->rowCount(), patchRows);
        QTRY_COMPARE(Lib()->model()->rowCount(), libRows);
        QCOMPARE(Description()->Text(), State().DescArray.value(1));
    }

    // The last eight libraries loaded or saved, newest first; each item loads its library, one that
    // is gone is said so and leaves the list. The list comes back in the next run.
    void recentLibraries() {
        QStringList loaded;
        for (int i = 1; i <= 9; ++i) {
            const QString path = Path(L("lib%1.pslib").arg(i));
            WriteBytes(path, LibraryFileBytes(Store(Names.mid(0, i % 4 + 1))));
            Choose("mnuFile_LoadLib", path);
            loaded.prepend(path);
        }
        Choose("mnuFile_SaveAsLib", Path(L("saved as")));
        QCOMPARE(TakeMessages().size(), 1);
        loaded.prepend(Path(L("saved as.pslib")));
        QStringList expected;
        for (int i = 0; i < WindowSettings::MaxRecent; ++i)
            expected.append(L("&%1 ").arg(i + 1) + QDir::toNativeSeparators(loaded.at(i)));
        QCOMPARE(RecentItems(), expected);

        OpenWindow();
        QCOMPARE(RecentItems(), expected);
        QVERIFY(QFile::remove(loaded.at(2)));
        Trigger("mnuFile_Recent_3"); // gone
        QCOMPARE(TakeMessages(), QStringList{L("File not found: ") + loaded.at(2)});
        QCOMPARE(Lib()->model()->rowCount(), 0);
        QVERIFY(!QFile::exists(loaded.at(2)));
        Trigger("mnuFile_Recent_3"); // what was the fourth
        QCOMPARE(State().LibFilePath, loaded.at(3));
        QCOMPARE(Lib()->model()->rowCount(), 4); // lib7: 7 % 4 + 1 entries
        loaded.removeAt(2);
        loaded.move(2, 0);
        expected.clear();
        for (int i = 0; i < 7; ++i)
            expected.append(L("&%1 ").arg(i + 1) + QDir::toNativeSeparators(loaded.at(i)));
        QCOMPARE(RecentItems(), expected);
    }

    void settingsFile_data() {
        QTest::addColumn<QByteArray>("content"); // "<folder>": a folder where the file belongs
        QTest::addColumn<int>("recent");         // items shown at start
        QTest::addColumn<QRect>("geometry");     // kept in the file; empty: the fitted size, centred
        const QRect on(40, 30, 500, 400);
        QTest::newRow("missing") << QByteArray() << 0 << QRect();
        QTest::newRow("unreadable") << QByteArray("<folder>") << 0 << QRect();
        QTest::newRow("damaged") << QByteArray("\xff\xfe[Window\x00\nGeometry=@Rect(1 2\n[General]\n"
                                               "RecentLibraries=@Variant(\\0\\0\\0\\x7f\\0)\n=\n\x01\x02",
                                               66)
                                 << 0 << QRect();
        QTest::newRow("wrong types") << QByteArray("[General]\nRecentLibraries=relative.pslib\n"
                                                   "[Window]\nGeometry=big\n")
                                     << 0 << QRect();
        QTest::newRow("kept") << QByteArray("[General]\nRecentLibraries=/a/x.pslib, /b/y.pslib, /a/x.pslib\n"
                                            "[Window]\nGeometry=@Rect(40 30 500 400)\n")
                              << 2 << on;
        QTest::newRow("off every screen") << QByteArray("[Window]\nGeometry=@Rect(-3000 5000 500 400)\n") << 0
                                          << QRect(-3000, 5000, 500, 400);
    }

    // A missing, unreadable or damaged settings file means the defaults, never a failure; the window
    // comes back where it was, on the screen, and goes on remembering.
    void settingsFile() {
        QFETCH(QByteArray, content);
        QFETCH(int, recent);
        QFETCH(QRect, geometry);
        const QRect fitted = window->geometry();
        QVERIFY(QDir().mkpath(Path(L("settings"))));
        if (content == "<folder>")
            QVERIFY(QDir().mkpath(SettingsPath()));
        else if (!content.isEmpty())
            WriteBytes(SettingsPath(), content);
        OpenWindow();
        QCOMPARE(RecentItems().size(), recent);
        QCOMPARE(Find<QAction>("mnuFile_Recent")->isEnabled(), recent > 0);
        const QRect screen = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry(), inner = window->geometry();
        if (geometry.isEmpty())
            QCOMPARE(inner, fitted);
        else if (screen.contains(geometry))
            QCOMPARE(inner, geometry);
        else // moved onto the screen with its frame, no larger than it (each case: placeOnScreens)
            QVERIFY(screen.contains(frame) &&
                    inner.size() == geometry.size().boundedTo(screen.size() - (frame.size() - inner.size())));
        LoadLibrary(Names);
        QCOMPARE(RecentItems().value(0), L("&1 ") + QDir::toNativeSeparators(Path(L("sample.pslib"))));
        window->resize(620, 430);
        QVERIFY(window->close());
        const QRect closedAt = window->geometry();
        OpenWindow();
        if (content == "<folder>") // nothing could be kept
            QCOMPARE(RecentItems().size(), 0);
        else
            QCOMPARE(QPair(RecentItems().size(), window->geometry()),
                     QPair(qsizetype(std::min(recent + 1, 8)), closedAt));
    }

    // The user's settings file is used only when it is a regular file or a link to one; anything
    // else is neither read (a FIFO would block for ever) nor written, with one line on standard error.
    void settingsFileNotRegular_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("used");
        QTest::newRow("regular file") << L("file") << true;
        QTest::newRow("link to a regular file") << L("link to file") << true;
        QTest::newRow("FIFO") << L("fifo") << false;
        QTest::newRow("link to a FIFO") << L("link to fifo") << false;
        QTest::newRow("folder") << L("folder") << false;
    }
    void settingsFileNotRegular() {
        QFETCH(QString, kind);
        QFETCH(bool, used);
        const std::optional<QByteArray> configHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME")
                                                         ? std::optional(qgetenv("XDG_CONFIG_HOME"))
                                                         : std::nullopt;
        const auto restore = qScopeGuard([&configHome] {
            if (configHome)
                qputenv("XDG_CONFIG_HOME", *configHome);
            else
                qunsetenv("XDG_CONFIG_HOME");
        });
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path(L("config"))));
        const QString folder = Path(L("config/quillbox"));
        const QString ini = folder + L("/quillbox.ini");
        const QString target = kind.startsWith(L("link")) ? Path(L("elsewhere")) : ini;
        QVERIFY(QDir().mkpath(folder));
        if (kind.endsWith(L("file")))
            WriteBytes(target, "[Folders]\nLibrary=" + QFile::encodeName(tmp->path()) + '\n');
        else if (kind.endsWith(L("fifo")))
            QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkpath(target));
        if (target != ini)
            QVERIFY(QFile::link(target, ini));

        QTemporaryFile errors;
        QVERIFY(errors.open());
        std::fflush(stderr);
        const int savedErr = ::dup(2);
        QVERIFY(savedErr >= 0 && ::dup2(errors.handle(), 2) == 2);
        ::alarm(20); // a read or write that blocks ends the test rather than hanging it
        std::optional<WindowSettings> settings;
        settings.emplace();
        const QString lastFolder = settings->LastFolder(FileKind::Library);
        settings->SetLastFolder(FileKind::PatchFile, Path(L("bin")));
        settings.reset();
        ::alarm(0);
        std::fflush(stderr);
        ::dup2(savedErr, 2);
        ::close(savedErr);

        QCOMPARE(lastFolder, used ? tmp->path() : QString());
        QVERIFY(errors.seek(0)); // the offset is shared with the standard error that wrote it
        const QByteArray written = errors.readAll();
        QCOMPARE(written.count('\n'), used ? 0 : 1);
        QVERIFY2(used || written.startsWith(
                             QByteArray("quillbox: " + QFile::encodeName(ini) + " is not a regular file")),
                 written.constData());
        QFileInfo after(target);
        QCOMPARE(after.isFile(), kind.endsWith(L("file")));
        QCOMPARE(after.isDir(), kind == L("folder"));
        if (used)
            QVERIFY(ReadBytes(target).contains(QFile::encodeName(Path(L("bin")))));
    }

    // A window killed after edits loses nothing kept: the next start asks, and Restore brings back
    // the bytes and descriptions exactly, as unsaved changes, with the library on disk untouched.
    void killedWindowRestoresItsEdits() {
        WriteBytes(Path(L("sample.pslib")), LibraryFileBytes(Store(Names)));
        WriteBytes(Path(L("sample.pslib.txt")), Side);
        const QByteArray diskLib = ReadBytes(Path(L("sample.pslib")));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(L("QUILLBOX_EDITING_CHILD"), tmp->path());
        environment.insert(L("QT_QPA_PLATFORM"), L("offscreen"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        while (!said.contains('\n') && child.waitForReadyRead(30000))
            said += child.readAllStandardOutput();
        QVERIFY2(said.startsWith("ready"), said.constData());
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), diskLib);
        const std::optional<UnsavedWork> expected = UnsavedWorkFiles::Decode(ReadBytes(Path(L("expected"))));
        QVERIFY(expected);

        OpenWindow();                                  // the next start, with the same data folder
        MessageBoxes::setNextAnswer(QMessageBox::Yes); // Restore
        window->RecoverUnsavedWork();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.startsWith(L("Restore unsaved changes to ") + Path(L("sample.pslib")) +
                                          L(" from ")),
                 qPrintable(shown[0].text));
        QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::Open | QMessageBox::Discard);
        QCOMPARE(State().LibraryData, expected->library);
        QCOMPARE(State().DescArray, expected->descriptions);
        QVERIFY(State().DescArray.value(1).startsWith(L("Grüße, привет"))); // entry 0 went, 1 moved up
        QCOMPARE(Lib()->model()->rowCount(), Names.size());                 // one cloned, one deleted
        QVERIFY(Title().contains(QLatin1Char('*')));
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), diskLib);
        // One undo step back to the library on disk.
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, DecodeLibrary(diskLib));
        QVERIFY(!State().LibChanged);
    }

    // "Save (Library) " over a library another program rewrote asks first; the window's return to
    // the front says so in the status line.
    void changedOnDiskQuestion() {
        LoadLibrary(Names);
        Click(Lib(), 1);
        Trigger("mnuLibrary_ClonePatch");
        const QByteArray theirs = LibraryFileBytes(Store({L("OTHER")}));
        WriteBytes(Path(L("sample.pslib")), theirs);
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(window.get(), &activate);
        QCOMPARE(
            Find<QLabel>("lblStatus")->text(),
            L("…/sample.pslib was changed on disk since it was loaded; Save will ask before replacing it"));
        MessageBoxes::setNextAnswer(QMessageBox::Cancel);
        Trigger("mnuFile_SaveLib");
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, L("Changed on disk"));
        QVERIFY2(
            shown[0].text.startsWith(Path(L("sample.pslib")) + L(" was changed on disk by another program")),
            qPrintable(shown[0].text));
        QCOMPARE(shown[0].buttons,
                 QMessageBox::Save | QMessageBox::SaveAll | QMessageBox::Apply | QMessageBox::Cancel);
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), theirs);
        QVERIFY(Title().contains(QLatin1Char('*')));
        // Reconcile: nothing saved; the window sets the library against the pair on disk.
        MessageBoxes::setNextAnswer(QMessageBox::Apply);
        Trigger("mnuFile_SaveLib");
        QCOMPARE(MessageBoxes::takeShown().size(), 1);
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), theirs);
        QVERIFY(window->Reconcile() && window->Reconcile()->isVisible());
        QCOMPARE(window->Reconcile()->windowTitle(), L("Reconcile with sample.pslib"));
        window->Reconcile()->close();
        // Overwrite: saved, and what the other program wrote is kept as an earlier version.
        MessageBoxes::setNextAnswer(QMessageBox::Save);
        Trigger("mnuFile_SaveLib");
        QCOMPARE(MessageBoxes::takeShown().size(), 1);
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), EncodeLibrary(State().LibraryData));
        QCOMPARE(window->Controller().LibEarlierVersions().size(), 1);
    }
};

std::unique_ptr<QObject> quillbox::test::NewMainWindowFilesTests() {
    return std::make_unique<TestMainWindowFiles>();
}

#include "tst_MainWindowFiles.moc"
