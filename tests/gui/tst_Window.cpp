// The real main window, driven by objectName through the dialog seams, its resize rules in twips and
// the file dialog object. The library layer's tests cover the commands' logic; these check that the
// window shows it and passes the user's events on.

#include "CollectionSettings.h"
#include "CollectionWindow.h"
#include "Commands.h"
#include "CompareWindow.h"
#include "Contrast.h"
#include "DescriptionBox.h"
#include "DialogSeam.h"
#include "EarlierVersionsDialog.h"
#include "FieldMap.h"
#include "FileAccess.h"
#include "FileError.h"
#include "HelpWindow.h"
#include "LibraryFile.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "PatchListModel.h"
#include "PatchListView.h"
#include "PatchName.h"
#include "PrintDialog.h"
#include "ScreenFit.h"
#include "SplashWindow.h"
#include "Start.h"
#include "TestFiles.h"
#include "TwinMarks.h"
#include "UnsavedWork.h"
#include "ValueTables.h"
#include "WindowSettings.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWheelEvent>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillbox;
using namespace quillbox::test;

class TestWindow : public QObject {
    Q_OBJECT

    static QString L(const char* text) { return QString::fromUtf8(text); }

    // An image whose name decodes to `name`; drive type, cab type and cab speaker are `value` (modulo
    // their ranges), Drive is on for even and Cab for multiples of three; other bytes follow `value`.
    static QByteArray Image(const QString& name, int value) {
        QByteArray bytes(PatchImageSize, '\0');
        for (int i = 0; i < PatchImageSize; ++i)
            bytes[i] = char((value * 41 + i * 13 + 48) & 0xFF);
        const QString padded = name.leftJustified(6, QLatin1Char(' '));
        for (int bit = 0; bit < 36; ++bit) { // six 6-bit codes in bits 5..40 from byte 12 on
            const int at = bit + 5, set = int(DeviceAlphabet.indexOf(padded.at(bit / 6)) >> (bit % 6)) & 1;
            bytes[11 + at / 8] = char((bytes[11 + at / 8] & ~(1 << at % 8)) | set << at % 8);
        }
        PatchImage image(bytes);
        const int fields[] = {value % 24, value % 6, value % 7, value % 2 == 0, value % 3 == 0};
        for (int field = 0; field < 5; ++field) // in BoundField's order
            WriteBoundField(image, BoundField(field), fields[field]);
        return image.Bytes();
    }

    static QByteArray Store(const QStringList& names) {
        QByteArray store;
        for (int i = 0; i < names.size(); ++i)
            store += Image(names.at(i), i);
        return store;
    }

    static QString Line(const QAbstractItemView* view, int row) {
        return view->model()->index(row, 0).data().toString();
    }

    static int SelectedRow(const QAbstractItemView* view) { // -1 for none
        return view->selectionModel()->selectedIndexes().value(0).row();
    }

    static void Click(QAbstractItemView* view, int row, Qt::MouseButton button = Qt::LeftButton,
                      bool twice = false, Qt::KeyboardModifiers modifiers = {}) {
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QTest::mouseClick(view->viewport(), button, modifiers, at);
        if (twice)
            QTest::mouseDClick(view->viewport(), button, {}, at);
    }

    static QStringList TakeMessages() {
        QStringList texts;
        for (const MessageBoxes::Shown& shown : MessageBoxes::takeShown())
            texts.append(shown.text);
        return texts;
    }

    // What the nine resize rules set, in their order.
    static QList<int> RuleTargets(const MainGeometry& g) {
        const auto at = [&g](const char* name) {
            return g.value(L(name));
        };
        return {at("frmPatches").height, at("frmLib").height,        at("frmDetail").height,
                at("frmDetail").width,   at("frmDescription").width, at("lstPatches").height,
                at("lstLib").height,     at("txtDescription").width, at("lblDetails").width};
    }

    const QStringList Names = {L("ALPHA"), L("BRAVO"), L("CHARLY"), L("DELTA")};
    const QByteArray Side = "[Description]\r\n1=first\r\n2=second&*&line\r\n4=fourth\r\n";
    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<MainWindow> window;
    QList<QUrl> viewerUrls; // what the help viewer was asked to open
    bool viewerOpens = true;

    QString Path(const QString& name) const { return tmp->filePath(name); }
    template <typename T = QWidget> T* Find(const char* name) const { return window->findChild<T*>(L(name)); }
    PatchListView* Lib() const { return Find<PatchListView>("lstLib"); }
    PatchListView* Patches() const { return Find<PatchListView>("lstPatches"); }
    DescriptionBox* Description() const { return Find<DescriptionBox>("txtDescription"); }
    const LibraryState& State() const { return window->Controller().State(); }
    QString Title() const { return window->windowHandle()->title(); } // as shown, "*" marking changes

    void Trigger(const char* name) const {
        auto* action = Find<QAction>(name);
        QVERIFY2(action && action->isEnabled(), name);
        action->trigger();
    }

    // Runs a file command whose dialog answers `path`; what the dialog was set up with.
    OpenSaveDLG::Shown Choose(const char* action, const QString& path) const {
        OpenSaveDLG::setNextPath(path);
        Trigger(action);
        return OpenSaveDLG::takeShown().value(0);
    }

    // A new window, as a new run of the program, with the settings file of this test's folder.
    // `screens`: the available areas the window is told of instead of the real screens'.
    void OpenWindow(const QList<QRect>& screens = {}) {
        window.reset();
        MainWindowOptions options;
        if (!screens.isEmpty())
            options.screenAreas = [screens] {
                return screens;
            };
        options.pause = [](int) {
        };
        options.programDirectory = Path(L("bin"));
        options.openUrl = [this](const QUrl& url) {
            viewerUrls.append(url);
            return viewerOpens;
        };
        options.settings = std::make_shared<QSettings>(SettingsPath(), QSettings::IniFormat);
        options.collectionCache = Path(L("cache/collection.sqlite"));
        options.collectionVersions = Path(L("versions"));
        window = std::make_unique<MainWindow>(options);
        window->Controller().SetVersionsFolder(Path(L("versions")));
        // Recovery files go to this test's folder, and only the tests of recovery wait for one.
        window->Controller().SetUnsavedFolder(Path(L("unsaved")));
        window->Controller().SetUnsavedDelay(3600 * 1000);
        window->show();
        window->activateWindow(); // shortcuts reach the active window only
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    QString SettingsPath() const { return Path(L("settings/quillbox.ini")); }

    // The captions of the recent libraries' items as shown.
    QStringList RecentItems() const {
        QStringList items;
        for (const QAction* action : Find<QMenu>("mnuFile_Recent")->actions()) {
            if (action->isVisible())
                items.append(action->text());
        }
        return items;
    }

    void LoadLibrary(const QStringList& names) {
        WriteBytes(Path(L("sample.pslib")), LibraryFileBytes(Store(names)));
        WriteBytes(Path(L("sample.pslib.txt")), Side);
        Choose("mnuFile_LoadLib", Path(L("sample.pslib")));
        QCOMPARE(Lib()->model()->rowCount(), names.size());
    }

    void Import(const QStringList& names) {
        WriteBytes(Path(L("device.pch")), Store(names));
        Choose("mnuFile_LoadPatches", Path(L("device.pch")));
        QCOMPARE(Patches()->model()->rowCount(), names.size());
    }

public:
    // The child run of killedWindowRestoresItsEdits: the real window in the folder `dir` loads
    // sample.pslib, takes edits through its controls with the recovery file kept as in use, writes
    // what it then holds to `expected`, says "ready" and waits to be killed.
    static int RunEditingChild(int& argc, char** argv, const QString& dir) {
        QApplication app(argc, argv);
        EnableDialogTestMode(true);
        MainWindowOptions options;
        options.pause = [](int) {
        };
        options.settings = std::make_shared<QSettings>(dir + L("/child.ini"), QSettings::IniFormat);
        MainWindow window(options);
        LibraryController& controller = window.Controller();
        controller.SetVersionsFolder(dir + L("/versions"));
        controller.SetUnsavedFolder(dir + L("/unsaved"));
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return 3;
        const QString lib = dir + L("/sample.pslib");
        controller.LoadLibFromPath(lib);
        auto* list = window.findChild<PatchListView*>(L("lstLib"));
        auto* box = window.findChild<DescriptionBox*>(L("txtDescription"));
        Click(list, 1);
        box->setFocus();
        box->selectAll();
        // Text beyond ASCII comes as an input method commits it.
        QInputMethodEvent commit;
        commit.setCommitString(L("Grüße, привет"));
        QCoreApplication::sendEvent(box, &commit);
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClicks(box, L("zweite Zeile"));
        Click(list, 2);
        window.findChild<QAction*>(L("mnuLibrary_ClonePatch"))->trigger();
        Click(list, 0);
        window.findChild<QAction*>(L("mnuLibrary_DelSelected"))->trigger();
        const LibraryState& state = controller.State();
        if (!state.LibChanged)
            return 4;
        // Ready once the recovery file holds exactly what the window holds.
        const UnsavedWorkFiles files = controller.Unsaved().Files();
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            const UnsavedWorkFiles::Found found = files.Read(lib);
            if (found.work && found.work->library == state.LibraryData &&
                found.work->descriptions == state.DescArray)
                break;
            if (waited.elapsed() > 20000)
                return 5;
            QTest::qWait(20);
        }
        UnsavedWork expected{lib, controller.DiskIdentity(), QDateTime::currentDateTimeUtc(),
                             state.LibraryData, state.DescArray};
        QFile out(dir + L("/expected"));
        if (!out.open(QIODevice::WriteOnly) || out.write(UnsavedWorkFiles::Encode(expected)) < 0)
            return 6;
        out.close();
        std::printf("ready %lld\n", static_cast<long long>(waited.elapsed()));
        std::fflush(stdout);
        return app.exec();
    }

    // The child run of the accessibility-bus walk (atspi_walk.py): the real window on a real
    // display, with a library and imported patches loaded. It reads one command a line on stdin,
    // shows that window (main, find, compare, rename, collection, reconcile, versions, message,
    // question, help, splash), types (focus, type), lists (entries), closes the windows again on
    // "close", and answers each with one line.
    static int RunAccessibilityChild(int& argc, char** argv, const QString& dir) {
        QApplication app(argc, argv);
        QApplication::setApplicationName(L("Quillbox"));
        EnableDialogTestMode(true);
        const QStringList names{L("ALPHA"), L("BRAVO"), L("CHARLY"), L("DELTA"), L("ECHO")};
        WriteBytes(dir + L("/gig.pslib"), LibraryFileBytes(Store(names)));
        WriteBytes(dir + L("/gig.pslib.txt"), "[Description]\r\n1=first #gig\r\n3=third\r\n");
        WriteBytes(dir + L("/device.pch"), Store({L("ALPHA"), L("ZULU")}));
        QDir().mkpath(dir + L("/bin"));
        WriteBytes(dir + L("/bin/Quillbox.hlp"), "Load a library, then pick a patch.\r\n");
        WriteBytes(dir + L("/laptop.pslib"), LibraryFileBytes(Store({L("ALPHA"), L("BRAVO"), L("KILO")})));
        MainWindowOptions options;
        options.pause = [](int) {
        };
        options.programDirectory = dir + L("/bin");
        options.settings = std::make_shared<QSettings>(dir + L("/child.ini"), QSettings::IniFormat);
        options.collectionCache = dir + L("/cache/collection.sqlite");
        options.collectionVersions = dir + L("/versions");
        MainWindow window(options);
        window.Controller().SetVersionsFolder(dir + L("/versions"));
        window.Controller().SetUnsavedFolder(dir + L("/unsaved"));
        window.Controller().SetUnsavedDelay(3600 * 1000);
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return 3;
        window.Controller().LoadLibFromPath(dir + L("/gig.pslib"));
        auto* lib = window.findChild<PatchListView*>(L("lstLib"));
        auto* patches = window.findChild<PatchListView*>(L("lstPatches"));
        auto act = [&window](const char* name) {
            window.findChild<QAction*>(L(name))->trigger();
        };
        // Saved once after an edit, so that there is an earlier version to list.
        Click(lib, 4);
        act("mnuLibrary_ClonePatch");
        window.Controller().SaveLib();
        OpenSaveDLG::setNextPath(dir + L("/device.pch"));
        act("mnuFile_LoadPatches");
        Click(patches, 1);
        Click(lib, 1);
        std::unique_ptr<QWidget> owned;
        auto answer = [](const QString& text) {
            std::printf("%s\n", text.toUtf8().constData());
            std::fflush(stdout);
        };
        QSocketNotifier input(0, QSocketNotifier::Read);
        QByteArray buffer;
        QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
            char chunk[256];
            const ssize_t got = ::read(0, chunk, sizeof chunk);
            if (got <= 0) {
                input.setEnabled(false);
                QCoreApplication::exit(0);
                return;
            }
            buffer.append(chunk, got);
            while (buffer.contains('\n')) {
                const QString command = QString::fromUtf8(buffer.left(buffer.indexOf('\n'))).trimmed();
                buffer.remove(0, buffer.indexOf('\n') + 1);
                if (command == L("close")) {
                    if (QWidget* modal = QApplication::activeModalWidget())
                        qobject_cast<QDialog*>(modal)->reject();
                    for (QWidget* top : QApplication::topLevelWidgets()) {
                        if (top != &window && top->isVisible())
                            top->close();
                    }
                    if (QWidget* focus = QApplication::focusWidget())
                        QTest::keyClick(focus, Qt::Key_Escape);
                    owned.reset();
                    window.activateWindow();
                    QTest::qWait(200);
                    answer(L("closed"));
                } else if (command == L("entries")) {
                    QStringList lines;
                    for (int row = 0; row < lib->model()->rowCount(); ++row)
                        lines.append(Line(lib, row));
                    answer(lines.join(L("|")));
                } else if (command.startsWith(L("focus ")) || command.startsWith(L("type "))) {
                    // "focus <objectName>": the focus into that control; "type <objectName> <keys>":
                    // the keys typed one by one into it, as a user would.
                    const QString name = command.section(QLatin1Char(' '), 1, 1);
                    QWidget* field = nullptr;
                    for (QWidget* top : QApplication::topLevelWidgets())
                        field = field ? field : top->findChild<QWidget*>(name);
                    if (field && command.startsWith(L("focus "))) {
                        field->activateWindow();
                        field->setFocus(Qt::OtherFocusReason);
                    }
                    for (const QChar key : command.section(QLatin1Char(' '), 2)) {
                        QTest::keyClicks(field, QString(key));
                        QTest::qWait(60);
                    }
                    QTest::qWait(300);
                    answer(field ? L("done") : L("no ") + name);
                } else if (command == L("main")) {
                    answer(L("shown"));
                } else if (command == L("find")) {
                    lib->setFocus();
                    QTest::keyClick(lib, Qt::Key_F, Qt::ControlModifier);
                    QTest::keyClicks(QApplication::focusWidget(), L("a"));
                    answer(L("shown"));
                } else if (command == L("rename")) {
                    act("mnuLibrary_Rename");
                    answer(L("shown"));
                } else if (command == L("help") || command == L("splash")) {
                    act(command == L("help") ? "mnuHelp_Help" : "mnuHelp_About");
                    answer(L("shown"));
                } else if (command == L("compare")) {
                    act("mnuPatch_Compare");
                    answer(L("shown"));
                } else if (command == L("collection")) {
                    act("mnuWindow_Collection");
                    QTRY_VERIFY_WITH_TIMEOUT(window.Collection() && !window.Collection()->Scanning(), 20000);
                    answer(L("shown"));
                } else if (command == L("reconcile")) {
                    OpenSaveDLG::setNextPath(dir + L("/laptop.pslib"));
                    act("mnuFile_ReconcileWith");
                    answer(L("shown"));
                } else if (command == L("versions")) {
                    owned = std::make_unique<EarlierVersionsDialog>(window.Controller(), &window);
                    owned->show();
                    answer(L("shown"));
                } else if (command == L("message") || command == L("question")) {
                    // Shown for real, from the event loop; answered once the box is up.
                    const bool question = command == L("question");
                    QTimer::singleShot(0, &window, [&window, question] {
                        EnableDialogTestMode(false);
                        if (question)
                            MessageBoxes::AskYesNo(&window, L("gig.pslib already exists."), L("Quillbox"));
                        else
                            MessageBoxes::ShowCritical(&window, L("File not found: gig2.pslib"));
                        EnableDialogTestMode(true);
                    });
                    QTimer::singleShot(300, &window, [answer] { answer(L("shown")); });
                } else {
                    answer(L("unknown ") + command);
                }
            }
        });
        answer(L("ready"));
        return app.exec();
    }

private Q_SLOTS:
    // Every test gets a fresh folder and window; the help files are looked for in its bin/ folder.
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        viewerUrls.clear();
        viewerOpens = true;
        EnableDialogTestMode(true);
        MessageBoxes::resetSeam();
        OpenSaveDLG::resetSeam();
        PrintDialog::resetSeam();
        QTest::failOnWarning(QRegularExpression(L("^") + L(UnansweredDialogWarning)));
        QVERIFY(QDir().mkpath(Path(L("bin"))) && QDir().mkpath(Path(L("share/quillbox"))));
        OpenWindow();
    }

    // Every message must have been expected, every queued answer used.
    void cleanup() {
        QCOMPARE(TakeMessages(), QStringList());
        QCOMPARE(MessageBoxes::pendingAnswers() + OpenSaveDLG::pendingPaths() + PrintDialog::pendingAnswers(),
                 0);
        window.reset();
    }

    void startUp() {
        QCOMPARE(Title(), L("Quillbox - 1.0  (C) 2024-2025 the Quillbox team"));
        QCOMPARE(Lib()->model()->rowCount() + Patches()->model()->rowCount(), 0);
        for (const char* name : {"cbxDriveType", "cbxCabType", "cbxTotalLevel", "chkDrive", "txtName"})
            QVERIFY2(!Find(name)->isEnabled(), name);
        QVERIFY(!Description()->isEnabled() && Find<QRadioButton>("optSelected")->isChecked());
        QCOMPARE(Find<QComboBox>("cbxCabSpeaker")->count(), 7);
        QCOMPARE(Find<QComboBox>("cbxCabSpeaker")->currentText(), QString());
        // Every menu item in order (a separator has no caption), with its shortcut; "!" marks it disabled.
        QStringList items;
        for (QAction* menu : window->menuBar()->actions()) {
            items.append(menu->text());
            for (const QAction* item : menu->menu()->actions())
                items.append(item->text() + (item->shortcut().isEmpty() ? L("") : L("=")) +
                             item->shortcut().toString() + (item->isEnabled() ? L("") : L("!")));
        }
        QCOMPARE(
            items.join(QLatin1Char('|')),
            L("&File|Load (Library) =Ctrl+L|&Recent Libraries!|Save (Library) =Ctrl+S!|Save As "
              "(Library)!|Earlier &Versions…!||Import PS02!|"
              "Import Library!|Reconcile &With…!||Export Library -> PS02!|Export &Selected -> "
              "PS02…!||E&xport Set "
              "List…!|&Print "
              "Set "
              "List…!||&Exit|&Edit|&Undo=Ctrl+Z!|&Redo=Ctrl+Y!|"
              "&Patch|&Copy Selected Patch -> Library|"
              "&Replace Selected Patch -> Library||Append All &Different Patches -> Library|"
              "&Append All Patches -> Library||Update Library with Selected Patch|"
              "Update All Patches in the Library||Co&mpare…=Ctrl+K|&Library|Move up=Ctrl+U|Move down=Ctrl+D||"
              "&Rename…=F2|Clone Selected Patch=Shift+Ins||Delete &Selected Patch=Shift+Del|Delete &ALL "
              "Patches||"
              "Random Modification||Select &Duplicates|Sort by "
              "&Name|&Compare…=Ctrl+K|Window|Top|&Collection…=Ctrl+Shift+L|?|&Help=F1|&About"));
        QVERIFY(!Find<QAction>("mnuWindow_Top")->isChecked());
        QVERIFY(window->close()); // nothing loaded: nothing asked
    }

    // "Earlier Versions…" comes with a loaded library; its dialog lists the versions the saves kept
    // and loads the chosen one through the controller, as unsaved changes.
    void earlierVersions() {
        QVERIFY(!Find<QAction>("mnuFile_EarlierVersions")->isEnabled());
        LoadLibrary(Names);
        QVERIFY(Find<QAction>("mnuFile_EarlierVersions")->isEnabled());
        const QByteArray first = State().LibraryData;
        for (int save = 0; save < 2; ++save) {
            Click(Lib(), 1);
            Trigger("mnuLibrary_MoveUp");
            Trigger("mnuFile_SaveLib");
        }
        Trigger("mnuLibrary_ClonePatch"); // unsaved: the load is one step that undo takes back
        const QByteArray current = State().LibraryData;
        EarlierVersionsDialog dialog(window->Controller(), window.get());
        auto* table = dialog.findChild<QTableWidget*>(L("lstVersions"));
        auto* load = dialog.findChild<QPushButton*>(L("cmdLoad"));
        QVERIFY(table && load && !load->isEnabled());
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 1)->text(), L("4"));
        QCOMPARE(table->horizontalHeaderItem(0)->text(), L("Replaced at"));
        dialog.show();
        table->selectRow(1); // the oldest: the library as loaded
        QVERIFY(load->isEnabled());
        MessageBoxes::setNextAnswer(QMessageBox::No); // the closing question: the clone is not saved
        QTest::mouseClick(load, Qt::LeftButton);
        QCOMPARE(TakeMessages(), QStringList{L("Do you like to save now?")});
        QVERIFY(!dialog.isVisible());
        QCOMPARE(State().LibraryData, first);
        QVERIFY(State().LibChanged);
        QCOMPARE(Line(Lib(), 0), L("01:  ALPHA "));
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, current);
        window->Controller().MutableState().LibChanged = false; // nothing to ask when the window closes
    }

    // A path holding Qt's unsaved-mark placeholder shows it as it is; a version of one byte (a
    // library without entries) is "1 byte".
    void titleAndSizeTexts() {
        QVERIFY(QDir().mkpath(Path(L("a[*]b"))));
        const QString lib = Path(L("a[*]b/empty.pslib"));
        Choose("mnuFile_LoadLib", lib); // a new, empty library: one byte
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY2(window->windowHandle()->title().contains(L("a[*]b/empty.pslib")),
                 qPrintable(window->windowHandle()->title()));
        QVERIFY(EarlierVersions(Path(L("versions"))).Keep(lib, {QByteArray("\x01"), {}}));
        EarlierVersionsDialog dialog(window->Controller(), window.get());
        QCOMPARE(dialog.findChild<QTableWidget*>(L("lstVersions"))->item(0, 2)->text(), L("1 byte"));
    }

    void layoutAtDesignedSize() {
        MainGeometry g = DesignedMainGeometry();
        QCOMPARE(ApplyResizeRules(g, DesignedClientWidth, DesignedClientHeight), ResizeRuleCount);
        QCOMPARE(RuleTargets(g), (QList<int>{4848, 4848, 4848, 4692, 8364, 4296, 4296, 8340, 4592}));
        QCOMPARE(g.value(L("lstLib")).width, 1596); // the list columns never grow
        // The window runs the rules on every size change.
        window->resize(700, 450 + window->menuBar()->height());
        QTRY_COMPARE(window->centralWidget()->width(), 700);
        QCOMPARE(Find("frmDetail")->geometry().right() + 1, 700);
        QCOMPARE(Find("frmLib")->geometry().bottom() + 1, window->centralWidget()->height());
        QCOMPARE(Lib()->geometry().bottom() + 1, Find("frmLib")->height());
    }

    void layoutTooSmall_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("applied");
        QTest::newRow("fits") << 9500 << 6500 << 9;
        QTest::newRow("lower than the frames") << 8388 << 900 << 0;
        QTest::newRow("narrower than the details") << 3000 << 5832 << 3;
        QTest::newRow("lower than the lists") << 8388 << 1200 << 5;
        QTest::newRow("title margin") << 3700 << 5832 << 8;
    }

    // A rule that would give a negative size ends the run: the rules before it stay, the rest wait.
    void layoutTooSmall() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, applied);
        MainGeometry designed = DesignedMainGeometry();
        ApplyResizeRules(designed, DesignedClientWidth, DesignedClientHeight);
        MainGeometry g = designed;
        ApplyResizeRules(g, 9000, 6000);
        const MainGeometry large = g;
        QCOMPARE(ApplyResizeRules(g, width, height), applied);
        QCOMPARE(RuleTargets(g).mid(applied), RuleTargets(large).mid(applied));
        QVERIFY(applied == 0 || RuleTargets(g).mid(0, applied) != RuleTargets(large).mid(0, applied));
        QCOMPARE(ApplyResizeRules(g, DesignedClientWidth, DesignedClientHeight), ResizeRuleCount);
        QCOMPARE(g, designed);
    }

    void dialogProperties() {
        OpenSaveDLG dialog;
        dialog.SetDialogTitle(L("  Title "));
        dialog.SetInitDir(L(" /tmp  "));
        dialog.SetFilename(L("   "));
        dialog.SetReturnPath(L(" /tmp/a b.pslib "));
        dialog.SetFilter(L(" All (*.*)") + QChar(0) + L("*.*") + QChar(0) + L(" "));
        QCOMPARE(
            QStringList({dialog.DialogTitle(), dialog.InitDir(), dialog.Filename(), dialog.ReturnPath()}),
            QStringList({L("Title"), L("/tmp"), QString(), L("/tmp/a b.pslib")}));
        QCOMPARE(dialog.Filter(), L("All (*.*)") + QChar(0) + L("*.*") + QChar(0));
        QCOMPARE(OpenSaveDLG::Trim0(L("abc") + QChar(0) + L("d") + QChar(0)), L("abc"));
        QCOMPARE(OpenSaveDLG::Trim0(QChar(0) + L("x")), QString());
        // One name, which need not exist (a new library); a blank Filename gives the Open dialog.
        QCOMPARE(dialog.CreateDialog()->fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog.CreateDialog()->acceptMode(), QFileDialog::AcceptOpen);
        dialog.SetFilename(L("x.pslib"));
        QCOMPARE(dialog.CreateDialog()->acceptMode(), QFileDialog::AcceptSave);
        // A cancel empties ReturnPath; with CancelError it is failure number 18.
        OpenSaveDLG::setNextCancel();
        QVERIFY(!dialog.Show());
        QCOMPARE(dialog.ReturnPath(), QString());
        dialog.SetCancelError(true);
        dialog.SetReturnPath(L("old"));
        OpenSaveDLG::setNextCancel();
        qint64 number = 0;
        try {
            dialog.Show();
        } catch (const FileError& error) {
            number = error.number;
        }
        QCOMPARE(number, qint64(18));
        QCOMPARE(dialog.ReturnPath(), QString());
    }

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

    // Shift and Ctrl with the mouse ("s2", "t2"; "c2" a plain click), Shift with the arrow keys and
    // Ctrl+A select several library lines; the panel shows the line last clicked or moved to (or the
    // selected one before it). Delete then deletes them all as one step.
    void selectMany_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<int>("shown");
        QTest::newRow("Shift+click") << L("c1 s3") << QList<int>{1, 2, 3} << 3;
        QTest::newRow("Ctrl+click") << L("c0 t2 t3 t2") << QList<int>{0, 3} << 0;
        QTest::newRow("Ctrl+click the only line") << L("c2 t2") << QList<int>{2} << 2;
        QTest::newRow("Shift+Down") << L("c0 Shift+Down Shift+Down") << QList<int>{0, 1, 2} << 2;
        QTest::newRow("Ctrl+A") << L("c1 Ctrl+A") << QList<int>{0, 1, 2, 3} << 1;
        QTest::newRow("click below the last line") << L("c1 c9") << QList<int>{1} << 1;
        // A screen reader or switch access selects through the accessibility interfaces (a1: select
        // line 1, u1: unselect it); m2 selects line 2 through the view's selection model.
        QTest::newRow("accessibility: another line") << L("c1 u1 a3") << QList<int>{3} << 3;
        QTest::newRow("accessibility: one more line") << L("c1 a3") << QList<int>{1, 3} << 1;
        QTest::newRow("accessibility: the last one left") << L("c0 t2 u0") << QList<int>{2} << 2;
        QTest::newRow("selection model") << L("c1 m2") << QList<int>{2} << 2;
    }
    void selectMany() {
        QFETCH(QString, script);
        QFETCH(QList<int>, rows);
        QFETCH(int, shown);
        LoadLibrary(Names);
        Lib()->setFocus();
        for (const QString& step : script.split(QLatin1Char(' '))) {
            const Qt::KeyboardModifiers modifiers = step[0] == u's'   ? Qt::ShiftModifier
                                                    : step[0] == u't' ? Qt::ControlModifier
                                                                      : Qt::NoModifier;
            QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(Lib())->tableInterface();
            if (step[0] == u'a' || step[0] == u'u')
                QVERIFY(step[0] == u'a' ? table->selectRow(step.mid(1).toInt())
                                        : table->unselectRow(step.mid(1).toInt()));
            else if (step[0] == u'm')
                Lib()->selectionModel()->select(Lib()->model()->index(step.mid(1).toInt(), 0),
                                                QItemSelectionModel::ClearAndSelect);
            else if (step == L("c9")) // below the last line
                QTest::mouseClick(Lib()->viewport(), Qt::LeftButton, {},
                                  Lib()->visualRect(Lib()->model()->index(3, 0)).bottomLeft() + QPoint(4, 8));
            else if (step.size() == 2)
                Click(Lib(), step.mid(1).toInt(), Qt::LeftButton, false, modifiers);
            else
                QTest::keySequence(Lib(), QKeySequence(step));
        }
        QCOMPARE(Lib()->SelectedRows(), rows);
        QList<qsizetype> entries(rows.begin(), rows.end());
        QCOMPARE(window->Controller().Selection(ListId::Library), entries);
        QCOMPARE(State().PatchIndex, shown);
        QCOMPARE(Description()->Text(), State().DescArray.value(shown + 1));
        QTest::keyClick(Lib(), Qt::Key_Delete);
        QCOMPARE(Lib()->model()->rowCount(), Names.size() - rows.size());
        Trigger("mnuEdit_Undo");
        QCOMPARE(Lib()->model()->rowCount(), Names.size());
        QCOMPARE(Lib()->SelectedRows(), rows);
    }

    // A double click on a patch copies it after the library's selected entry; Enter in the patches
    // list copies every selected patch there, in list order.
    void copyFromThePatchesList_data() {
        QTest::addColumn<bool>("enter");
        QTest::addColumn<QString>("lines"); // library lines 2 to 4 afterwards
        QTest::newRow("double click") << false << L("02:  FOXTRT|03:  BRAVO |04:  CHARLY");
        QTest::newRow("Enter on two") << true << L("02:  FOXTRT|03:  GOLF  |04:  BRAVO ");
    }
    void copyFromThePatchesList() {
        QFETCH(bool, enter);
        QFETCH(QString, lines);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        Click(Lib(), 0);
        if (enter) {
            Click(Patches(), 2);
            Click(Patches(), 1, Qt::LeftButton, false, Qt::ControlModifier);
            QTest::keyClick(Patches(), Qt::Key_Return);
        } else {
            Click(Patches(), 1, Qt::LeftButton, true);
        }
        QCOMPARE(Line(Lib(), 1) + L("|") + Line(Lib(), 2) + L("|") + Line(Lib(), 3), lines);
        QCOMPARE(Lib()->toolTip(), enter ? L("6 Patches") : L("5 Patches"));
        QVERIFY(State().LibChanged);
    }

    // F2, the menu item or a double click on the selected line edits its name in the line. Lower
    // case shows as upper case; a character the device lacks, or a seventh, is refused as it is
    // typed, with the reason in the status line; Enter renames (one undo step), Esc keeps the name.
    void renameInPlace_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("editor"); // the editor's text after typing
        QTest::addColumn<QString>("status"); // the status line after typing; empty: not checked
        QTest::addColumn<bool>("enter");     // Enter, else Esc
        QTest::addColumn<QString>("line");   // line 2 afterwards
        QTest::newRow("F2") << L("F2") << L("crunch") << L("CRUNCH") << L("") << true << L("02:  CRUNCH");
        QTest::newRow("menu, a refused sign")
            << L("menu") << L("ab_") << L("AB")
            << L("A patch name cannot hold \"_\"; allowed are A-Z, 0-9, the blank and ' < > * + - / [ = ] @")
            << true << L("02:  AB    ");
        QTest::newRow("double click, seven")
            << L("double click") << L("abcdefg") << L("ABCDEF")
            << L("A patch name has at most 6 characters: \"ABCDEFG\" has 7") << true << L("02:  ABCDEF");
        QTest::newRow("Esc") << L("F2") << L("xy") << L("XY") << L("") << false << L("02:  BRAVO ");
    }
    void renameInPlace() {
        // The editor covers the name only: the line's number stays in view beside it.
        const auto numberStays = [this](const QLineEdit* edit) {
            const QRect line = Lib()->visualRect(Lib()->model()->index(1, 0));
            QStyleOptionViewItem option;
            option.initFrom(Lib());
            option.rect = line;
            option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
            option.decorationSize = Lib()->iconSize();
            option.text = Line(Lib(), 1);
            const QRect text = Lib()->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, Lib());
            const int left = Lib()->viewport()->mapFrom(edit->parentWidget(), edit->geometry().topLeft()).x();
            return left >= text.left() + Lib()->fontMetrics().horizontalAdvance(L("02:"));
        };
        QFETCH(QString, how);
        QFETCH(QString, typed);
        QFETCH(QString, editor);
        QFETCH(QString, status);
        QFETCH(bool, enter);
        QFETCH(QString, line);
        LoadLibrary(Names);
        Click(Lib(), 1);
        const QString nameBox = Find<QLineEdit>("txtName")->text();
        if (how == L("F2"))
            QTest::keyClick(Lib(), Qt::Key_F2);
        else if (how == L("menu"))
            Trigger("mnuLibrary_Rename");
        else
            Click(Lib(), 1, Qt::LeftButton, true);
        // The editor is deleted once Enter or Esc has been handled.
        const QPointer<QLineEdit> edit = Find<QLineEdit>("txtRename");
        QVERIFY(edit && edit->isVisible() && edit->hasFocus());
        QCOMPARE(edit->text(), L("BRAVO"));
        QVERIFY(numberStays(edit));
        // A reader hears what is being renamed, and finds the editor in the window's tree.
        QCOMPARE(edit->accessibleName(), L("New name for 02: BRAVO"));
        bool inTree = false;
        const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            inTree = inTree || (node && node->object() == edit.data());
            for (int i = 0; node && !inTree && i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(window.get()));
        QVERIFY(inTree);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), editor);
        if (!status.isEmpty())
            QCOMPARE(Find<QLabel>("lblStatus")->text(), status);
        QTest::keyClick(edit, enter ? Qt::Key_Return : Qt::Key_Escape);
        QTRY_VERIFY(!edit || !edit->isVisible()); // Enter commits once the key has been handled
        QCOMPARE(Line(Lib(), 1), line);
        QCOMPARE(SelectedRow(Lib()), 1);
        QCOMPARE(State().LibChanged, enter);
        QCOMPARE(Find<QLineEdit>("txtName")->text(), nameBox);
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->isEnabled(), enter); // one step, its texts: history tests
    }

    // Ctrl+F opens the find field over the list with the focus (else the library's). The list shows
    // the matching lines with their own positions; clicks and commands act on those entries, a moved
    // entry stays in view, a selected entry the find hides is no longer selected, and Esc shows
    // every line again with the selection kept.
    void findField() {
        LoadLibrary(Names);
        auto* find = Find<QLineEdit>("txtFindLib");
        auto* findPatches = Find<QLineEdit>("txtFindPatches");
        auto lines = [this] {
            QStringList shown;
            for (int row = 0; row < Lib()->model()->rowCount(); ++row)
                shown.append(Line(Lib(), row));
            return shown.join(L("|"));
        };
        Lib()->setFocus();
        QTest::keyClick(Lib(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(find->isVisible() && find->hasFocus() && !findPatches->isVisible());
        QTest::keyClicks(find, L("ha"));
        QCOMPARE(lines(), L("01:  ALPHA |03:  CHARLY"));
        // With no line selected, the first Down from the field lands on the first line found.
        QTest::keyClick(find, Qt::Key_Down);
        QCOMPARE(QPoint(SelectedRow(Lib()), int(State().LibSelection)), QPoint(0, 0));
        Click(Lib(), 1);
        QCOMPARE(State().LibSelection, 2);
        Trigger("mnuLibrary_MoveUp"); // in the library's order, past BRAVO
        QCOMPARE(State().LibraryData, Store(Names).left(18) + Store(Names).mid(36, 18) +
                                          Store(Names).mid(18, 18) + Store(Names).mid(54));
        QCOMPARE(lines(), L("01:  ALPHA |02:  CHARLY"));
        QCOMPARE(SelectedRow(Lib()), 1);
        find->selectAll();
        QTest::keyClicks(find, L("01"));
        QCOMPARE(lines(), L("01:  ALPHA "));
        QCOMPARE(QPoint(SelectedRow(Lib()), int(State().LibSelection)), QPoint(-1, -1));
        Click(Lib(), 0);
        Trigger("mnuLibrary_MoveDown"); // ALPHA no longer says 01, yet stays in view
        QCOMPARE(lines(), L("01:  CHARLY|02:  ALPHA "));
        QCOMPARE(QPoint(SelectedRow(Lib()), int(State().LibSelection)), QPoint(1, 1));
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible() && Lib()->hasFocus());
        QCOMPARE(lines(), L("01:  CHARLY|02:  ALPHA |03:  BRAVO |04:  DELTA "));
        QCOMPARE(SelectedRow(Lib()), 1);

        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        Patches()->setFocus();
        QTest::keyClick(Patches(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(findPatches->isVisible() && findPatches->hasFocus() && !find->isVisible());
        QTest::keyClicks(findPatches, L("golf"));
        QCOMPARE(Patches()->model()->rowCount(), 1);
        QCOMPARE(Line(Patches(), 0), L("03:  GOLF  "));
    }

    // Typing letters in a list jumps to the next line whose name starts with them (as a click);
    // the same letter again goes on to the next such name; the numbers are not looked at.
    void typingJumpsByName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("row"); // -1: none selected
        QTest::newRow("a first letter") << L("c") << 2;
        QTest::newRow("letters of one name") << L("de") << 3;
        QTest::newRow("the same letter again") << L("dd") << 4;
        QTest::newRow("a number") << L("0") << -1;
    }
    void typingJumpsByName() {
        QFETCH(QString, typed);
        QFETCH(int, row);
        LoadLibrary(Names + QStringList{L("DEMO")});
        Lib()->setFocus();
        QTest::keyClicks(Lib(), typed);
        QCOMPARE(SelectedRow(Lib()), row);
        QCOMPARE(State().LibSelection, row);
    }

    // Lines dragged within the library move to where they are dropped, lines dragged from the
    // patches list are copied there; each drop is one step. The drop goes through the library
    // list's drag events and the models' mimeData/dropMimeData, as a real drag does.
    void dropSeveralLines_data() {
        QTest::addColumn<bool>("fromLibrary");
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<int>("target"); // dropped on the upper half of this line; 4: below the last
        QTest::addColumn<QString>("names");
        QTest::newRow("down to the end") << true << QList<int>{0, 2} << 4 << L("BRAVO DELTA ALPHA CHARLY");
        QTest::newRow("one up") << true << QList<int>{3} << 1 << L("ALPHA DELTA BRAVO CHARLY");
        QTest::newRow("onto itself") << true << QList<int>{1, 2} << 2 << L("ALPHA BRAVO CHARLY DELTA");
        QTest::newRow("patches copied")
            << false << QList<int>{2, 0} << 1 << L("ALPHA ECHO GOLF BRAVO CHARLY DELTA");
    }
    void dropSeveralLines() {
        QFETCH(bool, fromLibrary);
        QFETCH(QList<int>, lines);
        QFETCH(int, target);
        QFETCH(QString, names);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        PatchListView* source = fromLibrary ? Lib() : Patches();
        QModelIndexList indexes;
        for (const int line : lines) {
            Click(source, line, Qt::LeftButton, false,
                  indexes.isEmpty() ? Qt::NoModifier : Qt::ControlModifier);
            indexes.append(source->model()->index(line, 0));
        }
        const std::unique_ptr<QMimeData> data(source->model()->mimeData(indexes));
        const QRect last = Lib()->visualRect(Lib()->model()->index(3, 0));
        const QPoint at = target < 4
                              ? Lib()->visualRect(Lib()->model()->index(target, 0)).topLeft() + QPoint(4, 2)
                              : QPoint(4, last.bottom() + 4);
        const Qt::DropActions actions = source->model()->supportedDragActions();
        QDragEnterEvent enter(at, actions, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &enter);
        QDragMoveEvent move(at, actions, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &move);
        QVERIFY(enter.isAccepted() && move.isAccepted());
        QCOMPARE(move.dropAction(), fromLibrary ? Qt::MoveAction : Qt::CopyAction);
        QDropEvent drop(at, actions, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &drop);
        QStringList shown;
        for (int row = 0; row < Lib()->model()->rowCount(); ++row)
            shown.append(Line(Lib(), row).mid(5).trimmed());
        QCOMPARE(shown.join(QLatin1Char(' ')), names);
        // A drop is one step (its status and undo: history tests, steps).
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->isEnabled(), names != Names.join(QLatin1Char(' ')));
        // Data that no list of this window made is refused.
        QMimeData foreign;
        foreign.setData(data->formats().value(0), "junk");
        QDragEnterEvent strange(at, Qt::MoveAction | Qt::CopyAction, &foreign, Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &strange);
        QVERIFY(!strange.isAccepted());
    }

    void rightClickKeepsSelection_data() {
        QTest::addColumn<bool>("onLibrary");
        QTest::newRow("library") << true;
        QTest::newRow("patches") << false;
    }

    void rightClickKeepsSelection() {
        QFETCH(bool, onLibrary);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        for (PatchListView* list : {Patches(), Lib()}) { // lines 0 and 1 of each, 1 clicked last
            Click(list, 0);
            Click(list, 1, Qt::LeftButton, false, Qt::ShiftModifier);
        }
        const QByteArray shown = State().CurrentPatch.Bytes();
        auto* menu = Find<QMenu>(onLibrary ? "mnuLibrary" : "mnuPatch");
        Click(onLibrary ? Lib() : Patches(), 2, Qt::RightButton);
        QTRY_VERIFY(menu->isVisible());
        menu->close();
        QCOMPARE(Lib()->SelectedRows(), (QList<int>{0, 1}));
        QCOMPARE(Patches()->SelectedRows(), (QList<int>{0, 1}));
        QCOMPARE(QPoint(int(State().LibSelection), int(State().PatchesSelection)), QPoint(1, 1));
        QCOMPARE(State().CurrentPatch.Bytes(), shown);
        // The menu's commands act on the selections as they stand.
        Trigger(onLibrary ? "mnuLibrary_MoveDown" : "mnuPatch_Copy");
        QCOMPARE(Line(Lib(), 2) + Line(Lib(), 3),
                 onLibrary ? L("03:  BRAVO 04:  DELTA ") : L("03:  ECHO  04:  FOXTRT"));
    }

    void changeAllEdit_data() {
        QTest::addColumn<bool>("all");
        QTest::newRow("Change  All") << true;
        QTest::newRow("Change  Selected") << false;
    }

    void changeAllEdit() {
        QFETCH(bool, all);
        LoadLibrary(Names);
        Click(Lib(), 2);
        if (all)
            QTest::mouseClick(Find("optAll"), Qt::LeftButton);
        auto* speaker = Find<QComboBox>("cbxCabSpeaker");
        speaker->setFocus();
        QTest::keyClick(speaker, Qt::Key_Down); // entry 2 to entry 3
        QCOMPARE(speaker->currentText(), L("Stack 4*10\""));
        QVERIFY(State().LibChanged);
        for (int i = 0; i < Names.size(); ++i) // which bits an edit writes: library tests, boundHandlers
            QCOMPARE(CabSpeakerValue(PatchImage::FromStore(State().LibraryData, i)),
                     all || i == 2 ? 3 : i % 7);
        QCOMPARE(State().PatchIndex, 2);
    }

    void checkBoxWritesOnPress_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("how"); // a mouse button, or 0 for the space key
        QTest::addColumn<bool>("writes");
        QTest::newRow("Drive left click") << L("chkDrive") << int(Qt::LeftButton) << true;
        QTest::newRow("Drive right click") << L("chkDrive") << int(Qt::RightButton) << false;
        QTest::newRow("Drive space key") << L("chkDrive") << 0 << true;
        QTest::newRow("Cab space key") << L("chkCab") << 0 << true;
    }

    // The keyboard toggles a bound box and writes exactly as the left button's press does.
    void checkBoxWritesOnPress() {
        QFETCH(QString, box);
        QFETCH(int, how);
        QFETCH(bool, writes);
        LoadLibrary(Names);
        Click(Lib(), 0); // Drive on, Cab on
        QByteArray expected = State().LibraryData;
        auto* check = window->findChild<QCheckBox*>(box);
        QVERIFY(check->isChecked());
        if (how == 0) {
            check->setFocus();
            QTest::keyClick(check, Qt::Key_Space);
        } else {
            QTest::mouseClick(check, Qt::MouseButton(how), {}, QPoint(6, check->height() / 2));
        }
        if (writes) // byte 17 bit 1 (Drive) or 2 (Cab)
            expected[16] = char(expected[16] & ~(box == L("chkDrive") ? 0x02 : 0x04));
        QCOMPARE(State().LibraryData, expected);
        QCOMPARE(State().LibChanged, writes);
        QCOMPARE(check->isChecked(), !writes); // the box shows what is stored
    }

    void dropDownListsTakeNoText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("cabType"); // stored afterwards; entry 1 is shown before
        QTest::newRow("first letters") << L("St") << 3;
        QTest::newRow("no entry after the first letter") << L("Foo") << 2;
        QTest::newRow("no entry") << L("xyz") << 1;
    }

    // Typing picks an entry, which is stored, or nothing: the list never shows what is not stored.
    void dropDownListsTakeNoText() {
        QFETCH(QString, typed);
        QFETCH(int, cabType);
        LoadLibrary(Names);
        Click(Lib(), 1); // cab type 1
        for (const ParameterTableInfo& table : ParameterTables())
            QVERIFY2(!Find<QComboBox>(table.objectName.toUtf8().constData())->isEditable(),
                     qPrintable(table.objectName));
        auto* cab = Find<QComboBox>("cbxCabType");
        cab->setFocus();
        QTest::keyClicks(cab, typed);
        QCOMPARE(CabTypeValue(PatchImage(State().LibraryData.mid(18, 18))), cabType);
        QCOMPARE(cab->currentIndex(), cabType);
        QCOMPARE(State().LibChanged, cabType != 1);
    }

    void unboundControlsChangeNothing() {
        LoadLibrary(Names);
        Click(Lib(), 1);
        const QByteArray before = State().LibraryData;
        for (const char* name : {"cbxEqLow", "cbxModType", "cbxTotalLevel"}) {
            Find(name)->setFocus();
            QTest::keyClick(Find(name), Qt::Key_Down);
            QVERIFY2(!Find<QComboBox>(name)->currentText().isEmpty(), name);
        }
        for (const char* name : {"chkEq", "chkRev"})
            QTest::mouseClick(Find(name), Qt::LeftButton, {}, QPoint(6, Find(name)->height() / 2));
        // The name box takes no typing (it would store nothing) and says where names are changed.
        QTest::keyClicks(Find("txtName"), L("XYZ"));
        QCOMPARE(Find<QLineEdit>("txtName")->text(), L("Patch Name"));
        QVERIFY(Find("txtName")->toolTip().contains(L("Library > Rename\u2026 (F2)")));
        QCOMPARE(Find("txtName")->accessibleDescription(), Find("txtName")->toolTip());
        // Nor does the wheel over a bound list: entries are picked deliberately only.
        QWheelEvent wheel({5, 5}, {5, 5}, {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Find("cbxCabType"), &wheel);
        QCOMPARE(State().LibraryData, before);
        QVERIFY(!State().LibChanged);
        // Read-only, the name box still shows what the program puts into it.
        Trigger("mnuLibrary_Rnd");
        QCOMPARE(Find<QLineEdit>("txtName")->text(), L("RND2"));
    }

    // "Select Duplicates" takes the focus to the library list wherever it was, so that the Delete
    // key removes the selected duplicates.
    void selectDuplicatesThenDelete_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("patches list") << L("lstPatches");
        QTest::newRow("library list") << L("lstLib");
    }

    void selectDuplicatesThenDelete() {
        QFETCH(QString, focus);
        const QByteArray store = Store(Names) + Store(Names).left(2 * PatchImageSize);
        WriteBytes(Path(L("dups.pslib")), LibraryFileBytes(store));
        Choose("mnuFile_LoadLib", Path(L("dups.pslib")));
        Import({L("ECHO"), L("FOXTRT")});
        Click(Lib(), 0);
        Click(Patches(), 1);
        Find(focus.toLatin1().constData())->setFocus();
        QVERIFY(Find(focus.toLatin1().constData())->hasFocus());
        Trigger("mnuLibrary_SelectDuplicates");
        QVERIFY(Lib()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QCOMPARE(State().LibraryData, Store(Names));
    }

    void descriptionTyping_data() {
        QTest::addColumn<QString>("typed"); // "\r" is the Enter key
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("stored");
        const QString x(254, QLatin1Char('x'));
        QTest::newRow("two lines") << L("ab\rc") << L("") << L("ab\r\nc");
        QTest::newRow("256th refused") << x + L("yz") << L("") << x + L("y");
        QTest::newRow("break at 254 refused") << x + L("\rq") << L("") << x + L("q");
        QTest::newRow("paste cut") << x.left(250) << L("b\nccc") << x.left(250) + L("b\r\ncc");
    }

    void descriptionTyping() {
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, stored);
        LoadLibrary(Names);
        Click(Lib(), 2); // its description is empty
        QTest::mouseClick(Description()->viewport(), Qt::LeftButton);
        QTest::keyClicks(Description(), typed);
        QGuiApplication::clipboard()->setText(pasted);
        Description()->paste();
        QCOMPARE(State().DescArray.mid(2, 2), (QStringList{L("second\r\nline"), stored}));
        QCOMPARE(Description()->toolTip(), QString::number(stored.size()) + L("/255"));
        QVERIFY(State().LibChanged);
    }

    // The closing question's wiring: Yes saves and closes (the splash with it), Cancel keeps the
    // window and the changes. Every answer and a failing save: library tests, closingQuestion.
    // The collection window over a folder of a library (whose DELTA a save deleted, so only its
    // earlier version holds it) and a patch file sharing ALPHA: the find filters the distinct
    // patches, where-used lists the selected one's places, Enter copies it into the open library as
    // one step with its description.
    void collectionWindow_data() {
        QTest::addColumn<QString>("find");
        QTest::addColumn<QStringList>("shown");   // the names of the distinct patches, by name
        QTest::addColumn<QStringList>("deleted"); // their "deleted" marks
        QTest::addColumn<QStringList>("places");  // the first one's places (kind, position), by path
        QTest::addColumn<QString>("description"); // the first one's, copied with it
        QTest::newRow("everything") << QString()
                                    << QStringList{L("ALPHA"), L("BRAVO"), L("CHARLY"), L("DELTA"), L("ECHO")}
                                    << QStringList{{}, {}, {}, L("deleted"), {}}
                                    << QStringList{L("library 1"), L("patch file 1"), L("earlier version 1")}
                                    << L("first #gig");
        QTest::newRow("a tag") << L("#gig") << QStringList{L("ALPHA")} << QStringList{{}}
                               << QStringList{L("library 1"), L("patch file 1"), L("earlier version 1")}
                               << L("first #gig");
        QTest::newRow("a word") << L("second") << QStringList{L("BRAVO")} << QStringList{{}}
                                << QStringList{L("library 2"), L("earlier version 2")} << L("second");
        QTest::newRow("deleted") << L("delta") << QStringList{L("DELTA")} << QStringList{L("deleted")}
                                 << QStringList{L("earlier version 4")} << L("fourth");
        QTest::newRow("patch file only") << L("echo") << QStringList{L("ECHO")} << QStringList{{}}
                                         << QStringList{L("patch file 2")} << QString();
        QTest::newRow("nothing") << L("zulu") << QStringList{} << QStringList{} << QStringList{} << QString();
    }
    void collectionWindow() {
        QFETCH(QString, find);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, deleted);
        QFETCH(QStringList, places);
        QFETCH(QString, description);
        const QStringList coll = {L("ALPHA"), L("BRAVO"), L("CHARLY"), L("DELTA")};
        QVERIFY(QDir().mkpath(Path(L("coll"))));
        WriteBytes(Path(L("coll/a.pslib")), LibraryFileBytes(Store(coll)));
        WriteBytes(Path(L("coll/a.pslib.txt")), "[Description]\r\n1=first #gig\r\n2=second\r\n4=fourth\r\n");
        WriteBytes(Path(L("coll/b.pch")), Image(L("ALPHA"), 0) + Image(L("ECHO"), 7));
        Choose("mnuFile_LoadLib", Path(L("coll/a.pslib")));
        Click(Lib(), 3);
        Trigger("mnuLibrary_DelSelected");
        Trigger("mnuFile_SaveLib");
        LoadLibrary(Names); // the library copied into, outside the collection
        QVERIFY(WriteCollectionFolders({Path(L("coll"))}, SettingsPath()));

        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QVERIFY(collection && collection->isVisible());
        QTRY_VERIFY(!collection->Scanning());
        QVERIFY2(collection->Status().contains(L("5 distinct")), qPrintable(collection->Status()));
        collection->findChild<QLineEdit*>(L("txtCollectionFind"))->setText(find);
        auto* patches = collection->findChild<QTableView*>(L("lstCollectionPatches"));
        QStringList names, marks;
        for (int row = 0; row < patches->model()->rowCount(); ++row) {
            names.append(patches->model()->index(row, DistinctPatchModel::Name).data().toString().trimmed());
            marks.append(patches->model()->index(row, DistinctPatchModel::Deleted).data().toString());
        }
        QCOMPARE(names, shown);
        QCOMPARE(marks, deleted);
        QCOMPARE(patches->model()->headerData(DistinctPatchModel::FirstParameter, Qt::Horizontal).toString(),
                 L("Drive type"));
        QCOMPARE(patches->model()->headerData(DistinctPatchModel::Places - 1, Qt::Horizontal).toString(),
                 L("Cab"));
        auto* whereUsed = collection->findChild<QTreeWidget*>(L("lstCollectionWhereUsed"));
        QStringList seen;
        for (int row = 0; row < whereUsed->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = whereUsed->topLevelItem(row);
            QCOMPARE(item->text(3), L("identical"));
            seen.append(item->text(2) + QLatin1Char(' ') + item->text(1));
        }
        QCOMPARE(seen, places);
        if (shown.isEmpty())
            return;

        patches->setFocus();
        QTest::keyClick(patches, Qt::Key_Return);
        QCOMPARE(Lib()->model()->rowCount(), Names.size() + 1);
        QCOMPARE(State().DescArray.value(Names.size() + 1), description);
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->text(), L("&Undo Copy 05:  ") + shown.first());
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, Store(Names));

        // Dragged onto the library's first line: it goes in there, also as one step.
        std::unique_ptr<QMimeData> dragged(patches->model()->mimeData({patches->currentIndex()}));
        QVERIFY(Lib()->model()->dropMimeData(dragged.get(), Qt::CopyAction, 0, 0, {}));
        QCOMPARE(Lib()->model()->index(0, 0).data(PatchListModel::NameRole).toString(), shown.first());
        QCOMPARE(State().DescArray.value(1), description);
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, Store(Names));
    }

    // Typing a tag in the description box offers the known ones that start so; Enter takes one.
    void tagCompletion_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("stored"); // after Enter (or the typing alone, with nothing offered)
        QTest::newRow("prefix") << L("x #G") << QStringList{L("#gig"), L("#gig-2")} << L("x #gig");
        QTest::newRow("inside a word") << L("a#g") << QStringList{} << L("a#g");
        QTest::newRow("unknown") << L("#zz") << QStringList{} << L("#zz");
    }
    void tagCompletion() {
        QFETCH(QString, typed);
        QFETCH(QStringList, offered);
        QFETCH(QString, stored);
        LoadLibrary(Names);
        Click(Lib(), 0);
        Description()->selectAll();
        QTest::keyClicks(Description(), L("warm #gig #gig-2"));
        Click(Lib(), 1);
        Description()->selectAll();
        QTest::keyClicks(Description(), typed);
        QCompleter* completer = Description()->TagCompleter();
        QStringList shown;
        for (int row = 0; completer->popup()->isVisible() && row < completer->completionModel()->rowCount();
             ++row)
            shown.append(completer->completionModel()->index(row, 0).data().toString());
        QCOMPARE(shown, offered);
        if (!offered.isEmpty())
            QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(State().DescArray.value(2), stored);
    }

    // "Folders…" offers the folders of the recent libraries until some are chosen, then the chosen
    // ones; OK keeps what the list shows in the settings file and scans it.
    void collectionFolders_data() {
        QTest::addColumn<QStringList>("chosen"); // kept before the window opens, under the test's folder
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("first use") << QStringList{} << QStringList{L("coll")};
        QTest::newRow("chosen before") << QStringList{L("other")} << QStringList{L("other")};
    }
    void collectionFolders() {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, offered);
        for (const QString& folder : QStringList{L("coll"), L("other")})
            QVERIFY(QDir().mkpath(Path(folder)));
        WriteBytes(Path(L("coll/a.pslib")), LibraryFileBytes(Store(Names)));
        Choose("mnuFile_LoadLib", Path(L("coll/a.pslib"))); // a recent library
        QStringList paths;
        for (const QString& folder : chosen)
            paths.append(Path(folder));
        QVERIFY(WriteCollectionFolders(paths, SettingsPath()));
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        QStringList shown;
        QTimer::singleShot(0, this, [&shown] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            const auto* list = dialog->findChild<QListWidget*>(L("lstCollectionFolders"));
            for (int row = 0; row < list->count(); ++row)
                shown.append(QDir::fromNativeSeparators(list->item(row)->text()));
            dialog->accept();
        });
        // Without folders the window says what to do first, with the focus on the button that does it.
        const bool firstUse = chosen.isEmpty();
        QCOMPARE(collection->Status() ==
                     L("No folders yet: choose Folders\u2026 \u2014 your recent libraries' "
                       "folders are offered there"),
                 firstUse);
        QCOMPARE(collection->focusWidget() == collection->findChild<QPushButton*>(L("cmdCollectionFolders")),
                 firstUse);
        collection->findChild<QPushButton*>(L("cmdCollectionFolders"))->click();
        QStringList expected;
        for (const QString& folder : offered)
            expected.append(Path(folder));
        QCOMPARE(shown, expected);
        QCOMPARE(collection->Folders(), expected);
        QCOMPARE(ReadCollectionFolders(SettingsPath()), expected);
        QTRY_VERIFY(!collection->Scanning());
    }

    // What a reader says for the collection's clear button, status line and Folders…; the help and
    // splash windows are announced as windows.
    void namesAsSaid() {
        const auto said = [](QObject* object) {
            return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
        };
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        const QList<QToolButton*> clear =
            collection->findChild<QLineEdit*>(L("txtCollectionFind"))->findChildren<QToolButton*>();
        QCOMPARE(clear.size(), 1);
        QCOMPARE(said(clear[0]), L("Clear the find field"));
        auto* status = collection->findChild<QLabel*>(L("lblCollectionStatus"));
        QCOMPARE(said(status), status->text());
        QCOMPARE(said(collection->findChild<QPushButton*>(L("cmdCollectionFolders"))), L("Folders\u2026"));
        collection->close();
        WriteBytes(Path(L("bin/Quillbox.hlp")), "help\r\n");
        Trigger("mnuHelp_Help");
        QCOMPARE(QAccessible::queryAccessibleInterface(window->Help())->role(), QAccessible::Window);
        SplashWindow splash;
        QCOMPARE(QAccessible::queryAccessibleInterface(&splash)->role(), QAccessible::Window);
    }

    // While the window is open, a file added to or removed from a folder shows without a command.
    void collectionWatchesFolders_data() {
        QTest::addColumn<QString>("change"); // "add" c.pch holding ECHO, "remove" a.pslib
        QTest::addColumn<QString>("find");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("added") << L("add") << L("echo") << 0 << 1;
        QTest::newRow("removed") << L("remove") << L("alpha") << 1 << 0;
    }
    void collectionWatchesFolders() {
        QFETCH(QString, change);
        QFETCH(QString, find);
        QFETCH(int, before);
        QFETCH(int, after);
        QVERIFY(QDir().mkpath(Path(L("coll/sub"))));
        WriteBytes(Path(L("coll/sub/a.pslib")), LibraryFileBytes(Store(Names)));
        QVERIFY(WriteCollectionFolders({Path(L("coll"))}, SettingsPath()));
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        collection->findChild<QLineEdit*>(L("txtCollectionFind"))->setText(find);
        const QAbstractItemModel* patches =
            collection->findChild<QTableView*>(L("lstCollectionPatches"))->model();
        QCOMPARE(patches->rowCount(), before);
        if (change == L("add"))
            WriteBytes(Path(L("coll/sub/c.pch")), Image(L("ECHO"), 3));
        else
            QVERIFY(QFile::remove(Path(L("coll/sub/a.pslib"))));
        QTRY_COMPARE(patches->rowCount(), after);
    }

    // "Open Library" loads the library of the selected place through the window's load.
    void collectionOpensLibrary() {
        QVERIFY(QDir().mkpath(Path(L("coll"))));
        WriteBytes(Path(L("coll/a.pslib")), LibraryFileBytes(Store(Names)));
        QVERIFY(WriteCollectionFolders({Path(L("coll"))}, SettingsPath()));
        Trigger("mnuWindow_Collection");
        CollectionWindow* collection = window->Collection();
        QTRY_VERIFY(!collection->Scanning());
        QVERIFY(!State().LibraryLoaded);
        collection->findChild<QPushButton*>(L("cmdCollectionOpen"))->click();
        QVERIFY(State().LibraryLoaded);
        QCOMPARE(QFileInfo(State().LibFilePath).canonicalFilePath(),
                 QFileInfo(Path(L("coll/a.pslib"))).canonicalFilePath());
        QCOMPARE(State().LibraryData, Store(Names));
    }

    void closingQuestion_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("Yes") << int(QMessageBox::Yes);
        QTest::newRow("Cancel") << int(QMessageBox::Cancel);
    }

    void closingQuestion() {
        QFETCH(int, answer);
        LoadLibrary(Names);
        Click(Lib(), 0);
        Trigger("mnuLibrary_DelSelected");
        const QByteArray changed = State().LibraryData;
        Trigger("mnuHelp_About");
        QPointer<QWidget> splash = window->Splash();
        MessageBoxes::setNextAnswer(QMessageBox::StandardButton(answer));
        window->close();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title + L(": ") + shown.first().text,
                 L("Library not saved: Do you like to save now?"));
        QCOMPARE(shown.first().buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        const bool closes = answer == QMessageBox::Yes;
        QCOMPARE(window->isVisible(), !closes);
        QCOMPARE(splash && splash->isVisible(), !closes); // closing takes the splash along
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), LibraryFileBytes(closes ? changed : Store(Names)));
        QVERIFY(closes || (State().LibChanged && State().LibraryData == changed));
    }

    // After each command: the status line, the Edit menu's items (disabled: "!") and the title, whose
    // "*" marks unsaved changes. Undoing back to the saved state clears the mark, and closing asks
    // nothing.
    void editMenuStatusAndTitle() {
        const QString sample = Path(L("sample.pslib")), other = Path(L("other.pslib"));
        auto menu = [this] {
            QStringList items;
            for (const QAction* item : Find<QMenu>("mnuEdit")->actions())
                items.append(item->text() + (item->isEnabled() ? L("") : L("!")));
            return items.join(QLatin1Char('|'));
        };
        struct Expected {
            QString status, menu, title;
        };
        const auto check = [&](const Expected& e) {
            QCOMPARE(Find<QLabel>("lblStatus")->text(), e.status);
            QCOMPARE(menu(), e.menu);
            QCOMPARE(Title(), L("Quillbox   ") + e.title);
        };
        LoadLibrary(Names);
        check({L("Loaded 4 patches from \u2026/sample.pslib"), L("&Undo!|&Redo!"), sample});
        Click(Lib(), 2);
        Trigger("mnuLibrary_DelSelected");
        check({L("Deleted 03:  CHARLY"), L("&Undo Delete 03:  CHARLY|&Redo!"), sample + L("*")});
        Trigger("mnuEdit_Undo");
        check({L("Undid Delete 03:  CHARLY"), L("&Undo!|&Redo Delete 03:  CHARLY"), sample});
        Trigger("mnuEdit_Redo");
        check({L("Redid Delete 03:  CHARLY"), L("&Undo Delete 03:  CHARLY|&Redo!"), sample + L("*")});
        // Save As names the file that the next save writes.
        Choose("mnuFile_SaveAsLib", Path(L("other")));
        QCOMPARE(TakeMessages(), QStringList{other + L(" saved")});
        check({L("Saved 3 patches to \u2026/other.pslib"), L("&Undo Delete 03:  CHARLY|&Redo!"), other});
        Trigger("mnuEdit_Undo");
        QCOMPARE(Title(), L("Quillbox   ") + other + L("*"));
        Trigger("mnuEdit_Redo");
        QCOMPARE(Title(), L("Quillbox   ") + other);
        QVERIFY(window->close()); // the saved state again: nothing asked
    }

    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z take back or redo the library's last step, except while a
    // text box that takes typing has the focus: there they work on its text.
    void undoKeys_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("moved");   // BRAVO stays moved down
        QTest::addColumn<QString>("text"); // the box's text afterwards, with "xy" typed into it
        QTest::newRow("list: Ctrl+Z") << L("lstLib") << L("Ctrl+Z") << false << QString();
        QTest::newRow("list: Ctrl+Y") << L("lstLib") << L("Ctrl+Z, Ctrl+Y") << true << QString();
        QTest::newRow("list: Ctrl+Shift+Z") << L("lstLib") << L("Ctrl+Z, Ctrl+Shift+Z") << true << QString();
        QTest::newRow("description: Ctrl+Z")
            << L("txtDescription") << L("Ctrl+Z") << true << L("second\nline");
        QTest::newRow("description: Ctrl+Y")
            << L("txtDescription") << L("Ctrl+Z, Ctrl+Y") << true << L("second\nlinexy");
        // The name box is read-only: typing leaves it as it was, and the keys reach the library.
        QTest::newRow("name: Ctrl+Z") << L("txtName") << L("Ctrl+Z") << false << L("Name");
        QTest::newRow("name: Ctrl+Shift+Z") << L("txtName") << L("Ctrl+Z, Ctrl+Shift+Z") << true << L("Name");
    }
    void undoKeys() {
        QFETCH(QString, focus);
        QFETCH(QString, keys);
        QFETCH(bool, moved);
        QFETCH(QString, text);
        LoadLibrary(Names);
        Click(Lib(), 1);
        Trigger("mnuLibrary_MoveDown");
        QCOMPARE(Line(Lib(), 2), L("03:  BRAVO "));
        QWidget* widget = Find(focus.toLatin1().constData());
        widget->setFocus();
        QVERIFY(widget->hasFocus());
        auto* name = Find<QLineEdit>("txtName");
        const QString before = name->text();
        if (!text.isEmpty()) {
            text.replace(L("Name"), before);
            QTest::keyClick(widget, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(widget, L("xy"));
        }
        for (const QString& key : keys.split(L(", ")))
            QTest::keySequence(widget, QKeySequence(key));
        QCOMPARE(Line(Lib(), 2), moved ? L("03:  BRAVO ") : L("03:  CHARLY"));
        if (focus == L("txtName"))
            QCOMPARE(name->text(), text);
        else if (!text.isEmpty())
            QCOMPARE(Description()->toPlainText(), text);
    }

    // Without an entry the user sees selected the panel and the box are disabled and empty. Which
    // commands leave none: library tests, script.
    void panelDisabledWithoutEditableEntry_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Delete ALL") << L("delete all");
        QTest::newRow("find hides the entry") << L("find");
        QTest::newRow("import again") << L("import");
    }
    void panelDisabledWithoutEditableEntry() {
        QFETCH(QString, how);
        LoadLibrary(Names);
        Click(Lib(), 1);
        QVERIFY(Find("cbxCabType")->isEnabled() && !Description()->toPlainText().isEmpty());
        if (how == L("delete all")) {
            Trigger("mnuLibrary_DelAll");
        } else if (how == L("find")) {
            Lib()->setFocus();
            QTest::keyClick(Lib(), Qt::Key_F, Qt::ControlModifier);
            QTest::keyClicks(Find("txtFindLib"), L("01")); // hides 02:  BRAVO
        } else {
            Import({L("ECHO"), L("FOXTRT")});
            Click(Patches(), 1);
            QCOMPARE(Find<QComboBox>("cbxCabType")->currentIndex(), 1);
            Import({L("GOLF")});
        }
        for (const char* name : {"cbxCabType", "chkDrive", "txtName", "txtDescription"})
            QVERIFY2(!Find(name)->isEnabled(), name);
        QCOMPARE(Description()->toPlainText(), QString());
        for (const char* name : {"cbxDriveType", "cbxCabType", "cbxCabSpeaker"})
            QVERIFY2(Find<QComboBox>(name)->currentText().isEmpty(), name);
        QVERIFY(!Find<QCheckBox>("chkDrive")->isChecked() && !Find<QCheckBox>("chkCab")->isChecked());
    }

    void help_data() {
        QTest::addColumn<QString>("chmIn"); // "bin" (beside the program), "data", "both" or none
        QTest::addColumn<QString>("hlpIn"); // the same, or "empty" for an empty file beside the program
        QTest::addColumn<bool>("viewerTakes");
        QTest::addColumn<QString>("opened"); // the compiled help handed to the viewer
        QTest::addColumn<QString>("shown");  // the help window's text after the about text
        const QString binChm = L("bin/Quillbox.chm");
        QTest::newRow("no viewer") << L("bin") << L("bin") << false << binChm << L("bin help\n.");
        QTest::newRow("empty") << L("") << L("empty") << true << L("")
                               << L("Helpfile corrupt: %1/bin/Quillbox.hlp");
        QTest::newRow("none") << L("") << L("") << true << L("") << L("");
        QTest::newRow("data folder") << L("") << L("data") << true << L("") << L("data help\n.");
        QTest::newRow("beside first") << L("") << L("both") << true << L("") << L("bin help\n.");
        QTest::newRow("chm data folder")
            << L("data") << L("bin") << true << L("share/quillbox/Quillbox.chm") << L("");
        QTest::newRow("chm beside first") << L("both") << L("bin") << true << binChm << L("");
    }

    void help() {
        QFETCH(QString, chmIn);
        QFETCH(QString, hlpIn);
        QFETCH(bool, viewerTakes);
        QFETCH(QString, opened);
        QFETCH(QString, shown);
        for (const auto& [where, dir] : {std::pair{"bin", "bin/"}, std::pair{"data", "share/quillbox/"}}) {
            if (chmIn == L(where) || chmIn == L("both"))
                WriteBytes(Path(L(dir) + L("Quillbox.chm")), "ITSF");
            if (hlpIn == L(where) || hlpIn == L("both"))
                WriteBytes(Path(L(dir) + L("Quillbox.hlp")), QByteArray(where) + " help\r\n.");
        }
        if (hlpIn == L("empty"))
            WriteBytes(Path(L("bin/Quillbox.hlp")), {});
        viewerOpens = viewerTakes;
        QTest::keyClick(window.get(), Qt::Key_F1);
        QCOMPARE(viewerUrls,
                 opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(Path(opened))});
        QPointer<HelpWindow> helpWindow = window->Help();
        QCOMPARE(helpWindow && helpWindow->isVisible(), !shown.isEmpty());
        if (hlpIn.isEmpty()) // missing: the failure names the file beside the program
            QCOMPARE(TakeMessages(),
                     QStringList{L("mnuHelp_Help_Click: File not found: ") + Path(L("bin/Quillbox.hlp"))});
        if (shown.isEmpty())
            return;
        QCOMPARE(helpWindow->windowTitle(), L("Quillbox 1.0 Help"));
        QCOMPARE(helpWindow->HelpText(),
                 L("Quillbox 1.0  (C) 2024-2025 the Quillbox team\n\nCheck for updates - and "
                   "other PS02 tools  https://quillbox.example.org\n\n") +
                     shown.replace(L("%1"), tmp->path()));
        auto* text = helpWindow->findChild<QPlainTextEdit*>(L("txtHelp"));
        text->setFocus();
        QTest::keyClick(text, Qt::Key_Return); // Enter closes it, also from the text
        QVERIFY(!helpWindow || !helpWindow->isVisible());
        QTest::keyClick(window.get(), Qt::Key_F1);
        helpWindow = window->Help();
        QVERIFY(helpWindow && helpWindow->isVisible());
        QTest::keyClick(helpWindow->findChild<QPlainTextEdit*>(L("txtHelp")), Qt::Key_Escape); // and Esc
        QVERIFY(!helpWindow || !helpWindow->isVisible());
    }

    void top() {
        for (const bool on : {true, false}) {
            Trigger("mnuWindow_Top");
            QCOMPARE(Find<QAction>("mnuWindow_Top")->isChecked(), on);
            QCOMPARE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
            QVERIFY(window->isVisible());
        }
    }

    // The commands a load enables: off before the first load, on after it; the others always on.
    void loadEnablesCommands() {
        for (const bool loaded : {false, true}) {
            if (loaded)
                LoadLibrary(Names);
            for (const Command& command : Commands()) {
                if (command.place == CommandPlace::Item || command.place == CommandPlace::Key)
                    QVERIFY2(Find<QAction>(command.name)->isEnabled() ==
                                 (loaded || command.enabling == CommandEnabling::Always),
                             command.name);
            }
        }
    }

    // The library as "NAME speaker" per entry, "+" marking one with a description.
    QString LibraryEntries() const {
        QStringList entries;
        for (int i = 0; i < Lib()->model()->rowCount(); ++i)
            entries.append(Line(Lib(), i).mid(5).trimmed() + QLatin1Char(' ') +
                           QString::number(CabSpeakerValue(PatchImage::FromStore(State().LibraryData, i))) +
                           (State().DescArray.value(i + 1).isEmpty() ? L("") : L("+")));
        return entries.join(L(", "));
    }

    void itemsRunTheirCommand_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("library"); // afterwards
        // Before: DELTA 0+, BRAVO 1+, ALPHA 2, CHARLY 3+ with BRAVO selected; the patches list ECHO 0,
        // BRAVO 5, ALPHA 2 (the library's ALPHA) with ECHO selected.
        // clang-format off
        QTest::newRow("mnuPatch_Copy") << L("mnuPatch_Copy") << L("DELTA 0+, BRAVO 1+, ECHO 0, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuPatch_Replace") << L("mnuPatch_Replace") << L("DELTA 0+, ECHO 0, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuPatch_AppendNew") << L("mnuPatch_AppendNew") << L("DELTA 0+, BRAVO 1+, ALPHA 2, CHARLY 3+, ECHO 0, BRAVO 5");
        QTest::newRow("mnuPatch_AppentAll") << L("mnuPatch_AppentAll") << L("DELTA 0+, BRAVO 1+, ALPHA 2, CHARLY 3+, ECHO 0, BRAVO 5, ALPHA 2");
        QTest::newRow("mnuPatch_UpdateLib") << L("mnuPatch_UpdateLib") << L("DELTA 0+, ECHO 0+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuPatch_UpdateLibAll") << L("mnuPatch_UpdateLibAll") << L("DELTA 0+, BRAVO 5+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_MoveUp") << L("mnuLibrary_MoveUp") << L("BRAVO 1+, DELTA 0+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_MoveDown") << L("mnuLibrary_MoveDown") << L("DELTA 0+, ALPHA 2, BRAVO 1+, CHARLY 3+");
        QTest::newRow("mnuLibrary_ClonePatch") << L("mnuLibrary_ClonePatch") << L("DELTA 0+, BRAVO 1+, BRAVO 1+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_DelSelected") << L("mnuLibrary_DelSelected") << L("DELTA 0+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_DelAll") << L("mnuLibrary_DelAll") << L("");
        QTest::newRow("mnuLibrary_SortByName") << L("mnuLibrary_SortByName") << L("ALPHA 2, BRAVO 1+, CHARLY 3+, DELTA 0+");
        // clang-format on
    }

    // Each item runs its own command (rows of the command table are easily crossed), on the entries
    // selected in the lists.
    void itemsRunTheirCommand() {
        QFETCH(QString, command);
        QFETCH(QString, library);
        LoadLibrary({L("DELTA"), L("BRAVO"), L("ALPHA"), L("CHARLY")});
        WriteBytes(Path(L("device.pch")), Image(L("ECHO"), 0) + Image(L("BRAVO"), 5) + Image(L("ALPHA"), 2));
        Choose("mnuFile_LoadPatches", Path(L("device.pch")));
        Click(Lib(), 1);
        Click(Patches(), 0);
        Trigger(command.toLatin1().constData());
        QCOMPARE(LibraryEntries(), library);
        window->Controller().MutableState().LibChanged = false; // nothing to ask when the window closes
    }

    // The letter after a lone "&", lower case; none for a caption without one.
    static QChar AccessKey(const QString& caption) {
        for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
            if (caption.at(i) != QLatin1Char('&'))
                continue;
            if (caption.at(i + 1) != QLatin1Char('&'))
                return caption.at(i + 1).toLower();
            ++i; // "&&" is a shown "&"
        }
        return {};
    }

    void accessKeys_data() {
        QTest::addColumn<QString>("menu"); // empty for the menu bar itself
        QTest::newRow("menu bar") << QString();
        QTest::newRow("mnuEdit") << L("mnuEdit");
        for (const Command& command : Commands()) {
            if (command.place == CommandPlace::Menu || command.place == CommandPlace::Submenu)
                QTest::newRow(command.name) << L(command.name);
        }
    }

    // Within a menu no two items share an access key, and every item Quillbox added has one.
    void accessKeys() {
        QFETCH(QString, menu);
        LoadLibrary(Names); // "Recent Libraries" lists it
        const QList<QAction*> items =
            menu.isEmpty() ? window->menuBar()->actions() : window->findChild<QMenu*>(menu)->actions();
        QHash<QChar, QString> taken;
        for (const QAction* item : items) {
            if (item->isSeparator())
                continue;
            const QChar key = AccessKey(item->text());
            const auto added = std::find_if(Commands().begin(), Commands().end(), [item](const Command& c) {
                return item->objectName() == L(c.name) && c.added;
            });
            QVERIFY2(!key.isNull() || added == Commands().end(), qPrintable(item->text()));
            if (key.isNull())
                continue;
            QVERIFY2(!taken.contains(key), qPrintable(taken.value(key) + L(" and ") + item->text()));
            taken.insert(key, item->text());
        }
        QVERIFY(!items.isEmpty());
    }

    // What a screen reader says for the menu bar's entries and for the "?" menu.
    void helpMenuName() {
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(window->menuBar());
        QStringList entries;
        for (int i = 0; i < bar->childCount(); ++i)
            entries.append(bar->child(i)->text(QAccessible::Name));
        QCOMPARE(entries,
                 (QStringList{L("File"), L("Edit"), L("Patch"), L("Library"), L("Window"), L("Help")}));
        QAccessibleInterface* help = bar->child(5);
        QCOMPARE(help->role(), QAccessible::MenuItem);
        QCOMPARE(help->parent()->object(), window->menuBar());
        QCOMPARE(help->child(0)->object(), Find<QMenu>("mnuHelp"));
        QCOMPARE(help->child(0)->text(QAccessible::Name), L("Help"));
        QCOMPARE(help->child(0)->parent()->object(), help->object());
        help->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(Find<QMenu>("mnuHelp")->isVisible());
        Find<QMenu>("mnuHelp")->close();
    }

    void compareKey_data() {
        QTest::addColumn<QString>("before"); // what the keyboard did before Ctrl+K
        QTest::newRow("in the library list") << L("");
        QTest::newRow("menu bar reached with Alt") << L("alt");
        QTest::newRow("menu closed with Esc") << L("f10 esc");
    }

    // Both Compare items show Ctrl+K as their key, not as text; the key runs the command once.
    void compareKey() {
        QFETCH(QString, before);
        auto* patch = Find<QAction>("mnuPatch_Compare");
        auto* library = Find<QAction>("mnuLibrary_Compare");
        for (const QAction* item : {patch, library}) {
            QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
            QVERIFY2(!item->text().contains(QLatin1Char('\t')), qPrintable(item->text()));
        }
        LoadLibrary(Names);
        Lib()->setFocus();
        for (const QString& key : before.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const Qt::Key code = key == L("alt")   ? Qt::Key_Alt
                                 : key == L("f10") ? Qt::Key_F10
                                                   : Qt::Key_Escape;
            QWidget* to = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                            : QApplication::focusWidget();
            QTest::keyClick(to, code, code == Qt::Key_Alt ? Qt::AltModifier : Qt::NoModifier);
        }
        QSignalSpy patchRuns(patch, &QAction::triggered);
        QSignalSpy libraryRuns(library, &QAction::triggered);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(patchRuns.size() + libraryRuns.size(), 1);
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Nothing to compare: select a patch in each list"));
    }

    void keyboardReach_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("menu"); // the menu that opens; empty: the menu bar takes the keys
        QTest::newRow("lone Alt") << L("lstLib") << int(Qt::Key_Alt) << int(Qt::AltModifier) << L("");
        QTest::newRow("F10 from the library") << L("lstLib") << int(Qt::Key_F10) << 0 << L("mnuFile");
        QTest::newRow("F10 from the description")
            << L("txtDescription") << int(Qt::Key_F10) << 0 << L("mnuFile");
        QTest::newRow("Shift+F10 on the library")
            << L("lstLib") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << L("mnuLibrary");
        QTest::newRow("Shift+F10 on the patches")
            << L("lstPatches") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << L("mnuPatch");
        QTest::newRow("menu key on the library") << L("lstLib") << int(Qt::Key_Menu) << 0 << L("mnuLibrary");
    }

    // Alt reaches the menu bar and F10 opens its first menu; Shift+F10, as the menu key, opens a list's
    // menu below its current line.
    void keyboardReach() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, menu);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT")});
        Click(Lib(), 1);
        Click(Patches(), 1);
        auto* widget = window->findChild<QWidget*>(focus);
        widget->setFocus();
        if (key == Qt::Key_Menu) {
            // What the desktop sends for the menu key.
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(0, 0),
                                    widget->mapToGlobal(QPoint(0, 0)));
            QApplication::sendEvent(widget, &event);
        } else {
            QTest::keyClick(widget, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        }
        if (menu.isEmpty()) {
            QCOMPARE(window->menuBar()->activeAction(), Find<QMenu>("mnuFile")->menuAction());
            QCOMPARE(QApplication::focusWidget(), window->menuBar());
            QTest::keyClick(window->menuBar(), Qt::Key_Escape);
            QCOMPARE(QApplication::focusWidget(), widget);
            return;
        }
        auto* opened = Find<QMenu>(menu.toLatin1().constData());
        QTRY_VERIFY(opened->isVisible());
        if (auto* list = qobject_cast<PatchListView*>(widget); list && menu != L("mnuFile")) {
            const QRect line = list->visualRect(list->currentIndex());
            QCOMPARE(opened->pos(), list->viewport()->mapToGlobal(line.bottomLeft()));
        }
        opened->close();
        QCOMPARE(Lib()->SelectedRows(), QList<int>{1}); // nothing chosen
    }

    void aboutSplashCloses_data() {
        QTest::addColumn<QString>("how"); // a label's name, "window" or "key"; "release" only releases
        QTest::newRow("click on the window") << L("window");
        QTest::newRow("click on a label") << L("lblCopyright");
        QTest::newRow("key") << L("key");
        QTest::newRow("foreign release") << L("release");
    }

    void aboutSplashCloses() {
        QFETCH(QString, how);
        Trigger("mnuHelp_About");
        QPointer<SplashWindow> splash = window->Splash();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        if (how == L("key"))
            QTest::keyClick(splash, Qt::Key_Space);
        else if (how == L("release")) // the Enter that chose "&About", released over the splash
            QTest::keyRelease(splash, Qt::Key_Return);
        else if (how == L("window"))
            QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(3, splash->height() - 3));
        else
            QTest::mouseClick(splash, Qt::LeftButton, {},
                              splash->findChild<QLabel*>(how)->geometry().center());
        QCOMPARE(splash && splash->isVisible(), how == L("release"));
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
    void shiftInsDelInTextBoxes_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text"); // what the box holds afterwards; "-": not a text box
        QTest::addColumn<int>("entries");  // in the library afterwards
        QTest::newRow("description paste")
            << L("txtDescription") << int(Qt::Key_Insert) << L("abcPASTE") << 4;
        QTest::newRow("description cut") << L("txtDescription") << int(Qt::Key_Delete) << L("ab") << 4;
        QTest::newRow("name paste") << L("txtName") << int(Qt::Key_Insert) << L("abcPASTE") << 4;
        QTest::newRow("find cut") << L("txtFindLib") << int(Qt::Key_Delete) << L("ab") << 4;
        QTest::newRow("list: clone") << L("lstLib") << int(Qt::Key_Insert) << L("-") << 5;
        QTest::newRow("list: delete") << L("lstLib") << int(Qt::Key_Delete) << L("-") << 3;
    }

    // In a text box Shift+Ins and Shift+Del paste and cut; elsewhere they run their commands.
    void shiftInsDelInTextBoxes() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(int, entries);
        LoadLibrary(Names);
        Click(Lib(), 2); // no description
        QGuiApplication::clipboard()->setText(L("PASTE"));
        QWidget* widget = window->findChild<QWidget*>(focus);
        if (focus == L("txtFindLib"))
            window->FindCommand();
        widget->setFocus();
        if (auto* name = qobject_cast<QLineEdit*>(widget)) {
            name->setText(L("abc"));
            name->setSelection(2, 1);
        } else if (widget == Description()) {
            QTest::keyClicks(Description(), L("abc"));
            QTest::keyClick(Description(), Qt::Key_Left, Qt::ShiftModifier); // "c" selected
        }
        if (key == Qt::Key_Insert)
            QTest::keyClick(widget, Qt::Key_Right); // the cursor behind "abc"
        QTest::keyClick(widget, Qt::Key(key), Qt::ShiftModifier);
        QCOMPARE(window->Controller().ListCount(ListId::Library), entries);
        if (text == L("-"))
            return;
        QCOMPARE(widget == Description() ? Description()->toPlainText()
                                         : qobject_cast<QLineEdit*>(widget)->text(),
                 text);
        if (key == Qt::Key_Delete)
            QCOMPARE(QGuiApplication::clipboard()->text(), L("c"));
        if (widget == Description())
            QCOMPARE(State().DescArray.at(3), text);
    }

    void wideNamesReadable_data() {
        QTest::addColumn<QList<int>>("codes"); // the name's six codes
        QTest::newRow("one code outside the alphabet") << QList<int>{22, 23, 50, 24, 25, 26};
        QTest::newRow("six") << QList<int>{50, 53, 56, 59, 62, 63};
    }

    // A line with name codes 50-63 is wider than the list: it is never cut, the list scrolls
    // sideways, and the line's tool tip shows it whole; other lines keep the list's tool tip.
    void wideNamesReadable() {
        QFETCH(QList<int>, codes);
        QByteArray wide = Image(L("WIDE"), 1);
        for (int bit = 0; bit < 36; ++bit) {
            const int at = bit + 5, set = (codes.at(bit / 6) >> (bit % 6)) & 1;
            wide[11 + at / 8] = char((wide[11 + at / 8] & ~(1 << at % 8)) | set << at % 8);
        }
        WriteBytes(Path(L("wide.pslib")), LibraryFileBytes(Image(L("ALPHA"), 0) + wide));
        Choose("mnuFile_LoadLib", Path(L("wide.pslib")));
        const QString line = Line(Lib(), 1);
        QString name;
        for (const int code : codes)
            name += PatchCharFromCode(code);
        QCOMPARE(line, L("02:  ") + name);
        const QModelIndex index = Lib()->model()->index(1, 0);
        QCOMPARE(index.data(Qt::ToolTipRole).toString(), line);
        QVERIFY(!Lib()->model()->index(0, 0).data(Qt::ToolTipRole).isValid());
        // The item's rectangle holds the whole text with the view's margins (no "…").
        const int margin = Lib()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Lib()) + 1;
        QVERIFY(Lib()->visualRect(index).width() >=
                Lib()->fontMetrics().horizontalAdvance(line) + 2 * margin);
        QCOMPARE(Lib()->horizontalScrollBar()->maximum() > 0,
                 Lib()->visualRect(index).width() > Lib()->viewport()->width());
    }

    void eqListsEvenGaps_data() {
        QTest::addColumn<int>("pointSize"); // 0: the default font
        QTest::newRow("default font") << 0;
        QTest::newRow("large font") << 15;
    }

    // However the lists are widened to fit their entries, the four EQ lists keep the designed gaps
    // and no two controls of the panel overlap.
    void eqListsEvenGaps() {
        QFETCH(int, pointSize);
        const QFont font = QApplication::font();
        if (pointSize > 0) {
            QFont large = font;
            large.setPointSize(pointSize);
            QApplication::setFont(large);
            OpenWindow();
            QApplication::setFont(font);
        }
        const MainGeometry g = window->FittedGeometry(), designed = DesignedMainGeometry();
        const char* const eq[] = {"cbxEqHigh", "cbxEqMid", "cbxEqLow", "cbxEqLevel"};
        for (int i = 0; i + 1 < 4; ++i)
            QCOMPARE(g[L(eq[i + 1])].left - g[L(eq[i])].right(),
                     designed[L(eq[i + 1])].left - designed[L(eq[i])].right());
        const QList<QWidget*> panel = Find("frmDetail")->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (const QWidget* a : panel) {
            for (const QWidget* b : panel)
                QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + L(" / ") + b->objectName()));
        }
    }

    void tabReachesChosenOption_data() {
        QTest::addColumn<QString>("choose"); // how "Change  All" is chosen; empty: not at all
        QTest::addColumn<bool>(
            "backwards"); // Shift+Tab from the description box, else Tab from the last list
        QTest::newRow("at start") << L("") << false;
        QTest::newRow("at start, backwards") << L("") << true;
        QTest::newRow("All by click") << L("click") << false;
        QTest::newRow("All by arrow key, backwards") << L("arrow") << true;
        QTest::newRow("All, then a press off Selected") << L("press") << false;
    }

    void tabReachesChosenOption() {
        QFETCH(QString, choose);
        QFETCH(bool, backwards);
        LoadLibrary(Names);
        Click(Lib(), 0);
        auto* all = Find<QRadioButton>("optAll");
        auto* selected = Find<QRadioButton>("optSelected");
        if (choose == L("click") || choose == L("press"))
            QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(6, all->height() / 2));
        if (choose == L("arrow")) {
            selected->setFocus();
            QTest::keyClick(selected, Qt::Key_Left);
        }
        if (choose == L("press")) { // pressed on "Change  Selected", released away from it
            QTest::mousePress(selected, Qt::LeftButton, {}, QPoint(6, selected->height() / 2));
            QTest::mouseRelease(selected, Qt::LeftButton, {}, QPoint(-50, -50));
        }
        QRadioButton* chosen = choose.isEmpty() ? selected : all;
        QVERIFY(chosen->isChecked());
        QWidget* from = backwards ? static_cast<QWidget*>(Description()) : Find("cbxTotalLevel");
        from->setFocus();
        QTest::keyClick(from, Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(QApplication::focusWidget(), chosen);
        QCOMPARE(State().ChangeAll, chosen == all);
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

    // Each line carries the mark of its closest twin, drawn distinctly per kind, with a tool tip naming
    // the twins; the marks follow a command and its undo.
    void twinMarks() {
        LoadLibrary({L("ALPHA"), L("BRAVO"), L("ALPHA")}); // entries 01 and 03: same name, other sound
        // 01: same sound as 01, 02: identical to 02, 03: same sound as 03, 04: no twin.
        Import({L("ZULU"), L("BRAVO"), L("CHARLY"), L("DELTA")});
        const auto mark = [](const QAbstractItemView* view, int row) {
            const QIcon icon = view->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
            return icon.pixmap(view->iconSize()).toImage();
        };
        const auto tip = [](const QAbstractItemView* view, int row) {
            return view->model()->index(row, 0).data(Qt::ToolTipRole).toString();
        };
        const QImage name = mark(Lib(), 0), none = mark(Lib(), 1), sound = mark(Patches(), 0),
                     identical = mark(Patches(), 1);
        const QList<QImage> marks{name, none, sound, identical};
        for (qsizetype i = 0; i < marks.size(); ++i) {
            QVERIFY(!marks[i].isNull());
            for (qsizetype j = i + 1; j < marks.size(); ++j)
                QVERIFY2(marks[i] != marks[j], qPrintable(L("marks %1 and %2").arg(i).arg(j)));
        }
        QCOMPARE(mark(Lib(), 2), name);
        QCOMPARE(mark(Patches(), 2), sound);
        QCOMPARE(mark(Patches(), 3), none);
        QCOMPARE(Line(Lib(), 0), L("01:  ALPHA ")); // the text stays as it was
        QCOMPARE(tip(Lib(), 0),
                 L("01:  ALPHA\nSame name, other sound: 03")); // each kind's text: library twins
        QCOMPARE(tip(Patches(), 1), L("02:  BRAVO\nIdentical to 02"));

        Click(Lib(), 1);
        Trigger("mnuLibrary_ClonePatch");
        QCOMPARE(mark(Lib(), 1), identical);
        QCOMPARE(tip(Patches(), 1), L("02:  BRAVO\nIdentical to 02, 03"));
        Trigger("mnuEdit_Undo");
        QCOMPARE(mark(Lib(), 1), none);
        QCOMPARE(tip(Patches(), 1), L("02:  BRAVO\nIdentical to 02"));
    }

    // Ctrl+K compares the selected patch with the selected library entry; "Take →" writes one
    // parameter as one undo step, and the window follows the undo.
    void compareAndTake() {
        LoadLibrary(Names);
        Import({L("ZULU"), L("BRAVO")});
        QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Nothing to compare: select a patch in each list"));
        QVERIFY(!window->Compare());

        Click(Patches(), 0);
        Click(Lib(), 1);
        QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier);
        CompareWindow* compare = window->Compare();
        QVERIFY(compare && compare->isVisible());
        QCOMPARE(compare->findChild<QLabel*>(L("lblLeft"))->text(), L("Patches 01"));
        QCOMPARE(compare->findChild<QLabel*>(L("lblRight"))->text(), L("Library 02"));
        auto* take = compare->findChild<QPushButton*>(L("cmdTake_DriveType"));
        QVERIFY(take->isEnabled()); // drive types 0 and 1
        // A reader hears what the button does, each value with its field and side, and a difference
        // in words, which the text shows too.
        QCOMPARE(take->accessibleName(), L("Take Drive type from ZULU into BRAVO"));
        QStringList said;
        for (QLabel* label : compare->findChildren<QLabel*>()) {
            if (label->accessibleName().startsWith(L("Drive type")) ||
                label->text().startsWith(L("Drive type")))
                said.append(label->accessibleName().isEmpty() ? label->text() : label->accessibleName());
        }
        said.sort();
        QCOMPARE(said.size(), 3);
        QCOMPARE(said.at(0), L("Drive type (differs)"));
        QVERIFY2(said.at(1).startsWith(L("Drive type, Library 02: ")) && said.at(1).endsWith(L(", differs")),
                 qPrintable(said.at(1)));
        QVERIFY2(said.at(2).startsWith(L("Drive type, Patches 01: ")) && said.at(2).endsWith(L(", differs")),
                 qPrintable(said.at(2)));
        const QByteArray before = State().LibraryData;
        take->click();
        QCOMPARE(DriveTypeValue(PatchImage::FromStore(State().LibraryData, 1)), 0);
        QVERIFY(!take->isEnabled()); // nothing left to take
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->text(), L("&Undo Take Drive type into 02:  BRAVO"));
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, before);
        QVERIFY(take->isEnabled());
        // It fits a 1024 x 600 screen with room for a title bar; its byte table scrolls there.
        QVERIFY2(compare->minimumSizeHint().height() <= 540 && compare->minimumSizeHint().width() <= 1024,
                 qPrintable(L("%1 x %2")
                                .arg(compare->minimumSizeHint().width())
                                .arg(compare->minimumSizeHint().height())));
        auto* bytes = compare->findChild<QTextBrowser*>(L("txtBytes"));
        compare->resize(compare->minimumSizeHint());
        QTRY_VERIFY(bytes->verticalScrollBar()->maximum() > 0);
        compare->close();
    }

    // The set list as PDF, exported and printed: pages, the library's name, every entry, wrapped
    // descriptions and page numbers, read back with a PDF text extractor.
    void setListPdf() {
        QStringList names, descriptions;
        for (int i = 0; i < 70; ++i)
            names.append(L("N%1").arg(i));
        const QString longText =
            L("a description long enough to wrap inside its column ").repeated(4) + L("ENDWORD");
        QByteArray side = "[Description]\r\n";
        for (int i = 1; i <= 70; ++i)
            side += QByteArray::number(i) + '=' +
                    (i == 5 ? longText.toLatin1() : QByteArray("d") + QByteArray::number(i)) + "\r\n";
        WriteBytes(Path(L("sets.pslib")), LibraryFileBytes(Store(names)));
        WriteBytes(Path(L("sets.pslib.txt")), side);
        Choose("mnuFile_LoadLib", Path(L("sets.pslib")));
        const auto text = [](const QString& pdf, const QString& tool) {
            QProcess process;
            process.start(tool, tool == L("pdfinfo") ? QStringList{pdf} : QStringList{pdf, L("-")});
            if (!process.waitForFinished() || process.exitCode() != 0)
                return QString();
            return QString::fromUtf8(process.readAllStandardOutput());
        };
        Choose("mnuFile_ExportSetList", Path(L("gone/sets.pdf"))); // a folder that is not there
        QCOMPARE(TakeMessages(), QStringList{L("Error: Cannot open the file: ") + Path(L("gone/sets.pdf"))});
        QVERIFY(!QFileInfo::exists(Path(L("gone"))));
        Choose("mnuFile_ExportSetList", Path(L("sets.pdf")));
        PrintDialog::setNextAnswer(Path(L("printed.pdf")));
        Trigger("mnuFile_PrintSetList");
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Printed the set list of 70 patches"));
        PrintDialog::setNextAnswer(QString()); // cancelled: nothing printed
        Trigger("mnuFile_PrintSetList");
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Printed the set list of 70 patches"));
        for (const QString& pdf : {Path(L("sets.pdf")), Path(L("printed.pdf"))}) {
            const QString info = text(pdf, L("pdfinfo"));
            QVERIFY2(!info.isEmpty(), "pdfinfo (poppler-utils) is needed to read the PDF");
            const int pages = QRegularExpression(L("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
            QVERIFY2(pages >= 2, qPrintable(info));
            const QString all = text(pdf, L("pdftotext")).simplified();
            for (const QString& expected : {L("sets.pslib"), L("Set list of 70 patches"), L("Drive type"),
                                            L("01 N0"), L("70 N69"), L("d70"), L("ENDWORD")})
                QVERIFY2(all.contains(expected), qPrintable(expected));
            // Each page has the title, the header row and its number.
            const QStringList perPage =
                text(pdf, L("pdftotext")).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
            QCOMPARE(perPage.size(), pages);
            for (int page = 1; page <= pages; ++page) {
                const QString& onPage = perPage[page - 1];
                QVERIFY2(onPage.contains(L("Page %1 of %2").arg(page).arg(pages)) &&
                             onPage.contains(L("sets.pslib")) && onPage.contains(L("Description")),
                         qPrintable(onPage));
            }
        }
    }

    // A set list that fits a page is printed on one; a description that is one long word is broken
    // inside its column, not cut; large print (the third filter) puts fewer, larger rows on a page.
    void setListPdfFits_data() {
        QTest::addColumn<int>("patches");
        QTest::addColumn<int>("filter"); // of the Export Set List dialog
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("longWord"); // entry 4's description is one word of 255 characters
        QTest::newRow("30 patches") << 30 << 1 << 1 << false;
        QTest::newRow("40 patches") << 40 << 1 << 2 << false;
        QTest::newRow("30 patches, large print") << 30 << 2 << 2 << false;
        QTest::newRow("a long word") << 5 << 1 << 1 << true;
        QTest::newRow("a long word, large print") << 5 << 2 << 1 << true;
    }

    void setListPdfFits() {
        QFETCH(int, patches);
        QFETCH(int, filter);
        QFETCH(int, pages);
        QFETCH(bool, longWord);
        QStringList names;
        QByteArray side = "[Description]\r\n";
        const QByteArray word(255, '#'); // nothing else in the list holds a "#"
        for (int i = 0; i < patches; ++i) {
            names.append(L("N%1").arg(i));
            side += QByteArray::number(i + 1) + '=' +
                    (i == 3 && longWord ? word : QByteArray("d") + QByteArray::number(i)) + "\r\n";
        }
        WriteBytes(Path(L("sets.pslib")), LibraryFileBytes(Store(names)));
        WriteBytes(Path(L("sets.pslib.txt")), side);
        Choose("mnuFile_LoadLib", Path(L("sets.pslib")));
        OpenSaveDLG::setNextFilter(filter);
        const OpenSaveDLG::Shown shown = Choose("mnuFile_ExportSetList", Path(L("sets")));
        QVERIFY(shown.filter.contains(L("Set list in large print for the stage (*.pdf)")));
        const QString pdf = Path(L("sets.pdf"));
        QProcess info, text;
        info.start(L("pdfinfo"), {pdf});
        text.start(L("pdftotext"), {pdf, L("-")});
        QVERIFY2(info.waitForFinished() && text.waitForFinished() && info.exitCode() == 0,
                 "pdfinfo and pdftotext (poppler-utils) are needed to read the PDF");
        const QString all = QString::fromUtf8(text.readAllStandardOutput());
        const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
        QCOMPARE(QRegularExpression(L("Pages:\\s+(\\d+)")).match(infoText).captured(1).toInt(), pages);
        QCOMPARE(all.count(QLatin1Char('#')), longWord ? 255 : 0);
        QVERIFY(all.contains(L("N%1").arg(patches - 1)) && all.contains(L("d%1").arg(patches - 1)));
        QCOMPARE(all.contains(L("Drive type")), filter != 2); // large print: number, name, description
    }

    // The status line never widens the window: a long text is cut where it is drawn and shown
    // whole in the tool tip (and to a screen reader).
    void statusLineElided() {
        const int width = window->width();
        const QString text =
            L("Imported 120 patches from \u2026/a-rather-long-folder-name/device.pch: ") +
            L("12 identical to library patches, 3 same name with other settings, 105 new.").repeated(3);
        window->ShowStatus(text);
        auto* status = Find<QLabel>("lblStatus");
        QCOMPARE(status->text(), text);
        QCOMPARE(status->toolTip(), text);
        QVERIFY(status->minimumSizeHint().width() <= status->width());
        QCOMPARE(window->width(), width);
        QVERIFY(status->width() < status->fontMetrics().horizontalAdvance(text));
    }

    // The first window on a small screen (1280 x 800 at twice the scale gives 640 x 400) opens whole
    // on the screen.
    void firstWindowOnSmallScreen_data() {
        QTest::addColumn<QRect>("screen");
        QTest::newRow("2x of 1280 x 800") << QRect(0, 0, 640, 400);
        QTest::newRow("2x of 1280 x 800, panel on top") << QRect(0, 28, 640, 372);
        QTest::newRow("1024 x 600") << QRect(0, 0, 1024, 600);
    }
    void firstWindowOnSmallScreen() {
        QFETCH(QRect, screen);
        window.reset();
        MainWindowOptions options;
        options.pause = [](int) {
        };
        options.settings = std::make_shared<QSettings>(Path(L("first.ini")), QSettings::IniFormat);
        options.screenAreas = [screen] {
            return QList<QRect>{screen};
        };
        window = std::make_unique<MainWindow>(options);
        window->show();
        const QRect frame = window->frameGeometry();
        QVERIFY2(frame.top() >= screen.top() && frame.left() >= screen.left(),
                 qPrintable(L("%1,%2").arg(frame.left()).arg(frame.top())));
        QVERIFY(screen.contains(frame));
        // Every control of the client area can be brought into view and seen whole: where the
        // screen is smaller than the designed window, the client area scrolls.
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* scroller = qobject_cast<QScrollArea*>(window->centralWidget());
        QVERIFY(scroller);
        QWidget* panes = Find("clientArea");
        int checked = 0;
        for (QWidget* control : panes->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(panes) || !(control->focusPolicy() & Qt::TabFocus))
                continue;
            scroller->ensureWidgetVisible(control, 0, 0);
            QCoreApplication::processEvents();
            const QRect shown(control->mapTo(scroller->viewport(), QPoint()), control->size());
            // The designed resize rule gives the description box the client width less its left
            // edge within its frame: it reaches a frame's width beyond the client area at any size.
            const QRect view = scroller->viewport()->rect().adjusted(0, 0, 4, 0);
            const bool fits = control->width() <= view.width() && control->height() <= view.height();
            QVERIFY2(fits ? view.contains(shown) : view.intersects(shown),
                     qPrintable(control->objectName() + L(" %1,%2 %3x%4 in %5x%6")
                                                            .arg(shown.x())
                                                            .arg(shown.y())
                                                            .arg(shown.width())
                                                            .arg(shown.height())
                                                            .arg(view.width())
                                                            .arg(view.height())));
            ++checked;
        }
        QVERIFY(checked >= 20);
        // Where the designed window fits, nothing scrolls.
        if (screen.height() >= 600)
            QCOMPARE(panes->size(), scroller->viewport()->size());
    }

    // Every other window and dialog opens whole on the main window's screen, small or scaled, and none
    // needs more room than that screen has.
    void windowsFitSmallScreens_data() {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QRect>("screen");
        const std::pair<const char*, QRect> screens[] = {{"1024 x 600", QRect(0, 0, 1024, 600)},
                                                         {"2x of 1280 x 800", QRect(0, 0, 640, 400)},
                                                         {"2x of 1920 x 1080", QRect(0, 0, 960, 540)}};
        for (const char* shown : {"compare", "earlier versions", "reconcile", "collection",
                                  "collection folders", "help", "message", "file", "print"}) {
            for (const auto& [name, screen] : screens)
                QTest::newRow(qPrintable(L("%1 on %2").arg(L(shown), L(name)))) << L(shown) << screen;
        }
    }
    void windowsFitSmallScreens() {
        QFETCH(QString, shown);
        QFETCH(QRect, screen);
        OpenWindow({screen});
        LoadLibrary(Names);
        Import({L("ALPHA"), L("ECHO")});
        Click(Lib(), 0);
        Click(Patches(), 1);
        QRect frame;
        QSize least;
        const auto measure = [&frame, &least](QWidget* top) {
            if (!top || !top->isVisible())
                return;
            frame = top->frameGeometry();
            least = top->minimumSize().expandedTo(top->minimumSizeHint()) + frame.size() - top->size();
        };
        QPrinter printer;
        std::unique_ptr<QWidget> owned; // a dialog that is shown modally, shown here without blocking
        if (shown == L("compare")) {
            Trigger("mnuPatch_Compare");
            measure(window->Compare());
        } else if (shown == L("earlier versions")) {
            owned = std::make_unique<EarlierVersionsDialog>(window->Controller(), window.get());
        } else if (shown == L("reconcile")) {
            WriteBytes(Path(L("other.pch")), Store({L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}));
            Choose("mnuFile_ReconcileWith", Path(L("other.pch")));
            measure(window->Reconcile());
        } else if (shown.startsWith(L("collection"))) {
            Trigger("mnuWindow_Collection");
            QTRY_VERIFY(!window->Collection()->Scanning());
            measure(window->Collection());
            if (shown == L("collection folders")) {
                frame = QRect();
                QTimer::singleShot(0, this, [&measure] {
                    measure(QApplication::activeModalWidget());
                    QApplication::activeModalWidget()->close();
                });
                window->Collection()->findChild<QPushButton*>(L("cmdCollectionFolders"))->click();
            }
        } else if (shown == L("help")) {
            WriteBytes(Path(L("bin/Quillbox.hlp")), QByteArray("help ").repeated(400) + "\r\n");
            Trigger("mnuHelp_Help");
            measure(window->Help());
        } else if (shown == L("message")) {
            owned = std::make_unique<QMessageBox>(
                QMessageBox::Warning, L("Changed on disk"),
                Path(L("a-rather-long-folder-name/sample.pslib")) +
                    L(" was changed on disk by another program since it was loaded. ").repeated(4),
                QMessageBox::Save | QMessageBox::SaveAll | QMessageBox::Apply | QMessageBox::Cancel,
                window.get());
        } else if (shown == L("file")) {
            auto dialog = std::make_unique<QFileDialog>(window.get());
            dialog->setOption(QFileDialog::DontUseNativeDialog, true);
            owned = std::move(dialog);
        } else if (shown == L("print")) {
            owned = std::make_unique<QPrintDialog>(&printer, window.get());
        }
        if (owned) {
            owned->show();
            measure(owned.get());
        }
        QVERIFY2(frame.isValid(), "the window is not shown");
        QVERIFY2(least.width() <= screen.width() && least.height() <= screen.height(),
                 qPrintable(L("needs %1 x %2").arg(least.width()).arg(least.height())));
        QVERIFY2(screen.contains(frame), qPrintable(L("%1,%2 %3 x %4")
                                                        .arg(frame.left())
                                                        .arg(frame.top())
                                                        .arg(frame.width())
                                                        .arg(frame.height())));
    }

    // Every control the keyboard reaches looks different while it has the focus, as the style the
    // program runs with draws it.
    void focusShows_data() {
        QTest::addColumn<QString>("shown");
        QTest::newRow("main window") << L("main");
        QTest::newRow("compare") << L("compare");
    }
    void focusShows() {
        QFETCH(QString, shown);
        QCOMPARE(QApplication::style()->name(), L("fusion"));
        LoadLibrary(Names);
        Import({L("ALPHA"), L("ECHO")});
        Click(Patches(), 1);
        Click(Lib(), 0); // the details panel and description box show it
        QWidget* top = window.get();
        if (shown == L("compare")) {
            Trigger("mnuPatch_Compare");
            top = window->Compare();
            top->activateWindow();
            QTRY_VERIFY(top->isActiveWindow());
        }
        if (QWidget* current = top->focusWidget()) // each control below gains the focus
            current->clearFocus();
        QStringList unmarked;
        int checked = 0;
        for (QWidget* control : top->findChildren<QWidget*>()) {
            if (control->window() != top || !control->isVisible() || !control->isEnabled() ||
                !(control->focusPolicy() & Qt::TabFocus) || control->focusProxy())
                continue;
            control->setFocus(Qt::ShortcutFocusReason); // as the keyboard moves it: the style marks it
            QVERIFY2(control->hasFocus(), qPrintable(control->objectName()));
            const QImage focused = control->grab().toImage();
            control->clearFocus();
            ++checked;
            if (control->grab().toImage() == focused)
                unmarked.append(control->objectName() + L(" (") + L(control->metaObject()->className()) +
                                L(")"));
        }
        QVERIFY2(checked >= (shown == L("main") ? 20 : 3), qPrintable(QString::number(checked)));
        QCOMPARE(unmarked.join(L(", ")), QString());
    }

    // A screen reader can name every control the keyboard reaches, in the main window, in each of its
    // other windows and in the message boxes, file and print dialogs it opens as Qt builds them;
    // list lines say their twin marks in words.
    void accessibleNames_data() {
        QTest::addColumn<QString>("shown");
        QTest::newRow("main window") << L("main");
        QTest::newRow("find field") << L("find");
        QTest::newRow("compare") << L("compare");
        QTest::newRow("earlier versions") << L("versions");
        QTest::newRow("help") << L("help");
        QTest::newRow("reconcile") << L("reconcile");
        QTest::newRow("collection") << L("collection");
        QTest::newRow("closing question") << L("closing");
        QTest::newRow("yes/no question") << L("yes/no");
        QTest::newRow("question with own buttons") << L("choice");
        QTest::newRow("error message") << L("critical");
        QTest::newRow("plain message") << L("plain");
        QTest::newRow("open file") << L("open");
        QTest::newRow("save file") << L("save");
        QTest::newRow("print") << L("print");
    }
    void accessibleNames() {
        QFETCH(QString, shown);
        LoadLibrary(Names);
        Import({L("ALPHA"), L("ECHO")});
        Click(Lib(), 0);
        Trigger("mnuLibrary_ClonePatch");
        Click(Patches(), 1);
        std::unique_ptr<QWidget> owned;
        QWidget* top = window.get();
        if (shown == L("find")) {
            Lib()->setFocus();
            QTest::keyClick(Lib(), Qt::Key_F, Qt::ControlModifier);
        } else if (shown == L("compare")) {
            Trigger("mnuPatch_Compare");
            top = window->Compare();
        } else if (shown == L("versions")) {
            owned = std::make_unique<EarlierVersionsDialog>(window->Controller(), window.get());
            owned->show();
            top = owned.get();
        } else if (shown == L("help")) {
            WriteBytes(Path(L("bin/Quillbox.hlp")), "help\r\n");
            Trigger("mnuHelp_Help");
            top = window->Help();
        } else if (shown == L("reconcile")) {
            WriteBytes(Path(L("other.pch")), Image(L("ALPHA"), 0) + Image(L("ZULU"), 3));
            Choose("mnuFile_ReconcileWith", Path(L("other.pch")));
            top = window->Reconcile();
        } else if (shown == L("collection")) {
            Trigger("mnuWindow_Collection");
            top = window->Collection();
            QTRY_VERIFY(!window->Collection()->Scanning());
        }
        // The program's modal dialogs, shown for real: walked once open, then cancelled.
        std::function<void()> modal;
        const char* modalClass = "QMessageBox";
        OpenSaveDLG files;
        files.SetOwner(window.get());
        files.SetDialogTitle(L("Quillbox Load Library File"));
        files.SetFilter(L("PS02 Library(*.pslib)") + QChar(0) + L("*.pslib") + QChar(0));
        QPrinter printer;
        if (shown == L("closing")) {
            modal = [this] {
                window->close();
            };
        } else if (shown == L("yes/no")) {
            modal = [this] {
                MessageBoxes::AskYesNo(window.get(), Path(L("a.pslib")) + L(" already exists."),
                                       L("Quillbox"));
            };
        } else if (shown == L("choice")) {
            modal = [this] {
                MessageBoxes::AskChoice(
                    window.get(), L("Changed on disk"), L("Changed on disk"),
                    {{QMessageBox::Save, L("&Overwrite")}, {QMessageBox::Cancel, L("Cancel")}},
                    QMessageBox::Cancel, QMessageBox::Cancel);
            };
        } else if (shown == L("critical") || shown == L("plain")) {
            modal = [this, critical = shown == L("critical")] {
                if (critical)
                    MessageBoxes::ShowCritical(window.get(), L("File not found: ") + Path(L("a.pslib")));
                else
                    MessageBoxes::ShowPlain(window.get(), L("Saved"));
            };
        } else if (shown == L("open") || shown == L("save")) {
            if (shown == L("save")) { // a name to start from makes it the Save dialog
                files.SetDialogTitle(L("Quillbox Save Library File"));
                files.SetFilename(L("Library.pslib"));
            }
            files.SetInitDir(tmp->path());
            modalClass = "QFileDialog";
            modal = [&files] {
                files.Show();
            };
        } else if (shown == L("print")) {
            modalClass = "QPrintDialog";
            modal = [this, &printer] {
                PrintDialog::Ask(window.get(), printer);
            };
        }
        QStringList unnamed, lines;
        const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            if (!node)
                return;
            const auto* widget = qobject_cast<const QWidget*>(node->object());
            const QString name = node->text(QAccessible::Name).trimmed();
            if (widget && widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus) && name.isEmpty())
                unnamed.append(widget->objectName() + L(" (") + L(widget->metaObject()->className()) +
                               L(")"));
            if (!widget && node->role() == QAccessible::ListItem)
                lines.append(name);
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        if (modal) {
            EnableDialogTestMode(false);
            const auto testMode = qScopeGuard([] { EnableDialogTestMode(true); });
            // The print dialog's settings are behind its Options button, the paper's in the Properties
            // dialog it opens.
            QStringList opened;
            const std::function<void()> walkModal = [&] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                opened.append(L(dialog->metaObject()->className()));
                for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                    if (button->text().remove(QLatin1Char('&')).startsWith(L("Options")))
                        button->click();
                }
                walk(QAccessible::queryAccessibleInterface(dialog));
                if (auto* properties = dialog->findChild<QPushButton*>(L("properties"));
                    properties && properties->isEnabled()) {
                    QTimer::singleShot(0, this, walkModal);
                    properties->click();
                }
                dialog->reject();
            };
            QTimer::singleShot(0, this, walkModal);
            modal();
            QCOMPARE(opened.value(0), L(modalClass));
            if (shown == L("print"))
                QCOMPARE(opened.value(1), L("QPrintPropertiesDialog"));
        } else {
            QVERIFY(top && top->isVisible());
            walk(QAccessible::queryAccessibleInterface(top));
        }
        QCOMPARE(unnamed, QStringList());
        if (shown == L("main")) {
            QVERIFY2(lines.contains(L("02: ALPHA, identical to 01")), qPrintable(lines.join(L("|"))));
            QVERIFY2(lines.contains(L("03: BRAVO")), qPrintable(lines.join(L("|"))));
        }
    }

    // Under a light, a dark and a high-contrast palette every highlighted text of the compare window,
    // the help text and the twin marks stand out from their grounds by at least 4.5 : 1, as the
    // windows draw them.
    void contrastUnderThemes_data() {
        QTest::addColumn<QPalette>("palette");
        const auto make = [](QColor ground, QColor windowText, QColor base, QColor text) {
            QPalette palette(windowText, ground, ground.lighter(), ground.darker(), ground.darker(150), text,
                             windowText, base, ground);
            palette.setColor(QPalette::Base, base);
            palette.setColor(QPalette::Text, text);
            return palette;
        };
        QTest::newRow("light") << make(QColor(0xef, 0xef, 0xef), Qt::black, Qt::white, Qt::black);
        QTest::newRow("dark") << make(QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xee),
                                      QColor(0x2a, 0x2a, 0x2a), QColor(0xee, 0xee, 0xee));
        QTest::newRow("high contrast") << make(Qt::black, Qt::white, Qt::black, QColor(0xff, 0xff, 0x00));
    }
    void contrastUnderThemes() {
        QFETCH(QPalette, palette);
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&before] { QApplication::setPalette(before); });
        QApplication::setPalette(palette);
        LoadLibrary(Names);
        Import({L("ALPHA"), L("BRAVO")});
        Click(Lib(), 2);
        Click(Patches(), 0);
        Trigger("mnuPatch_Compare");
        CompareWindow* compare = window->Compare();
        QVERIFY(compare && compare->isVisible());
        // Each styled piece of the byte table and its legend: its colour and ground, the table's
        // where it sets none.
        const QPalette& used = compare->palette();
        QStringList failures;
        int checked = 0;
        const auto check = [&](const QString& what, const QColor& text, const QColor& ground) {
            ++checked;
            const double ratio = ContrastRatio(text, ground);
            if (ratio < ReadableContrast)
                failures.append(
                    L("%1: %2 on %3 is %4:1").arg(what, text.name(), ground.name()).arg(ratio, 0, 'f', 2));
        };
        const auto colourIn = [](const QString& style, const QString& property, const QColor& otherwise) {
            const QRegularExpressionMatch m =
                QRegularExpression(L("(?:^|[;\\s])") + property + L("\\s*:\\s*(#[0-9a-fA-F]{6})"))
                    .match(style);
            return m.hasMatch() ? QColor(m.captured(1)) : otherwise;
        };
        const QString bytes = compare->findChild<QTextBrowser*>(L("txtBytes"))->toHtml();
        QRegularExpressionMatchIterator styles =
            QRegularExpression(L("style=\"([^\"]*)\"")).globalMatch(bytes);
        while (styles.hasNext()) {
            const QString style = styles.next().captured(1);
            if (style.contains(L("color")) || style.contains(L("background")))
                check(L("table: ") + style, colourIn(style, L("color"), used.color(QPalette::Text)),
                      colourIn(style, L("background-color"), used.color(QPalette::Base)));
        }
        for (QLabel* label : compare->findChildren<QLabel*>()) {
            if (!label->styleSheet().isEmpty())
                check(L("label: ") + label->styleSheet(),
                      colourIn(label->styleSheet(), L("color"), used.color(QPalette::WindowText)),
                      colourIn(label->styleSheet(), L("background"), used.color(QPalette::Window)));
        }
        // The twin marks: each symbol on its fill, and the ring that sets a mark off the list's ground.
        for (const TwinKind kind : {TwinIdentical, TwinSameSound, TwinSameName})
            check(L("twin mark %1").arg(int(kind)), MarkColours(kind).symbol, MarkColours(kind).fill);
        const auto* model = qobject_cast<const PatchListModel*>(Lib()->model());
        check(L("twin marks' ring"), model->MarkEdge(), Lib()->palette().color(QPalette::Base));
        WriteBytes(Path(L("bin/Quillbox.hlp")), "help\r\n");
        Trigger("mnuHelp_Help");
        const QPalette help = window->Help()->findChild<QPlainTextEdit*>(L("txtHelp"))->palette();
        check(L("help"), help.color(QPalette::Text), help.color(QPalette::Base));
        QCOMPARE(help.color(QPalette::Text), palette.color(QPalette::Text)); // the theme's, not a fixed one
        QVERIFY2(checked > 20, qPrintable(QString::number(checked))); // the differing bits and names too
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(L("\n"))));
    }

    void placeOnScreens_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("placed");
        // Two screens side by side, the primary on the left.
        QTest::newRow("on the primary") << QRect(10, 20, 300, 200) << QRect(10, 20, 300, 200);
        QTest::newRow("on the second") << QRect(1300, 100, 300, 200) << QRect(1300, 100, 300, 200);
        QTest::newRow("mostly on the second") << QRect(1000, 100, 300, 200) << QRect(1024, 100, 300, 200);
        QTest::newRow("partly below the second") << QRect(1200, 700, 300, 200) << QRect(1200, 568, 300, 200);
        QTest::newRow("off both") << QRect(5000, -4000, 300, 200) << QRect(362, 284, 300, 200);
        QTest::newRow("larger than the second") << QRect(1100, 0, 3000, 3000) << QRect(1024, 0, 1280, 768);
    }

    void placeOnScreens() {
        QFETCH(QRect, saved);
        QFETCH(QRect, placed);
        QCOMPARE(WindowSettings::PlaceOnScreens(saved, {QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 768)}),
                 placed);
    }

    // A window opened over its owner goes on the owner's screen (the one it overlaps most), whole and
    // no larger than that screen with its frame (4 px a side, a 20 px title).
    void fittedOnScreen_data() {
        QTest::addColumn<QRect>("opened");
        QTest::addColumn<QRect>("owner");
        QTest::addColumn<QRect>("placed");
        // Two screens side by side, the primary on the left.
        QTest::newRow("owner on the second, window across both")
            << QRect(900, 100, 300, 200) << QRect(1300, 0, 600, 500) << QRect(1028, 100, 300, 200);
        QTest::newRow("owner on the second, window on the primary")
            << QRect(700, 100, 300, 200) << QRect(1300, 0, 600, 500) << QRect(1514, 292, 300, 200);
        QTest::newRow("owner mostly on the primary")
            << QRect(900, 100, 300, 200) << QRect(700, 0, 400, 500) << QRect(720, 100, 300, 200);
        QTest::newRow("taller than the screen")
            << QRect(10, -50, 300, 900) << QRect(0, 0, 500, 500) << QRect(10, 20, 300, 744);
        QTest::newRow("owner off both")
            << QRect(5000, 0, 300, 200) << QRect(5000, 0, 300, 200) << QRect(362, 292, 300, 200);
    }
    void fittedOnScreen() {
        QFETCH(QRect, opened);
        QFETCH(QRect, owner);
        QFETCH(QRect, placed);
        QCOMPARE(FittedOnScreen(opened, QMargins(4, 20, 4, 4), owner,
                                {QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 768)}),
                 placed);
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

    // File > Reconcile With… opens the window on the chosen file; the rows' choices and Apply make one
    // undo step (what the step does: the library tests).
    void reconcileWindow_data() {
        QTest::addColumn<QStringList>("right");
        QTest::addColumn<QString>("take");
        QTest::addColumn<QStringList>("result");
        QTest::newRow("take right") << QStringList{L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}
                                    << L("cmdTakeRight")
                                    << QStringList{L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")};
        QTest::newRow("keep both") << QStringList{L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}
                                   << L("cmdTakeBoth")
                                   << QStringList{L("ALPHA"), L("BRAVO"), L("CHARLY"), L("ECHO"), L("DELTA")};
        QTest::newRow("take right, one deleted and one added")
            << QStringList{L("BRAVO"), L("CHARLY"), L("DELTA"), L("FOXTRT")} << L("cmdTakeRight")
            << QStringList{L("BRAVO"), L("CHARLY"), L("DELTA"), L("FOXTRT")};
    }
    void reconcileWindow() {
        QFETCH(QStringList, right);
        QFETCH(QString, take);
        QFETCH(QStringList, result);
        QVERIFY(!Find<QAction>("mnuFile_ReconcileWith")->isEnabled());
        LoadLibrary(Names);
        WriteBytes(Path(L("other.pch")), Store(right));
        WriteBytes(Path(L("other.pch.txt")), Side);
        const OpenSaveDLG::Shown dialog = Choose("mnuFile_ReconcileWith", Path(L("other.pch")));
        QVERIFY(dialog.filter.contains(L("*.pslib")) && dialog.filter.contains(L("*.pch")));
        ReconcileWindow* reconcile = window->Reconcile();
        QVERIFY(reconcile && reconcile->isVisible());
        auto* table = reconcile->findChild<QTableView*>(L("tblRows"));
        // Every name is shown whole, and the counts are words a reader can say ("1 differs").
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            const QString name = table->model()->index(row, ReconcileModel::NameColumn).data().toString();
            QVERIFY2(table->columnWidth(ReconcileModel::NameColumn) >
                         table->fontMetrics().horizontalAdvance(name),
                     qPrintable(name));
        }
        const QString summary = reconcile->findChild<QLabel*>(L("lblSummary"))->text();
        QVERIFY2(!summary.contains(QRegularExpression(L("\\b1 (rows|differ|conflicts)\\b"))),
                 qPrintable(summary));
        table->setFocus();
        QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
        reconcile->findChild<QPushButton*>(take)->click();
        reconcile->findChild<QPushButton*>(L("cmdApply"))->click();
        QVERIFY(!reconcile->isVisible());
        QStringList names;
        for (int row = 0; row < Lib()->model()->rowCount(); ++row)
            names.append(Line(Lib(), row).section(QLatin1Char(':'), 1).trimmed());
        QCOMPARE(names, result);
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->text(), L("&Undo Reconcile with other.pch"));
        QVERIFY(Title().contains(QLatin1Char('*')));
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, Store(Names));
        QVERIFY(!Find<QAction>("mnuEdit_Undo")->isEnabled());
    }

    // A device patch file read back: the newest export record is the base, chosen already; a change
    // on the device alone is taken, one the library made too is a conflict that keeps Apply off until
    // the user chooses.
    void reconcileDeviceFile_data() {
        QTest::addColumn<QString>("libraryName"); // the library's own rename of entry 3 after the export
        QTest::addColumn<bool>("conflict");
        QTest::newRow("device changed alone") << QString() << false;
        QTest::newRow("both changed the entry") << L("GOLF") << true;
    }
    void reconcileDeviceFile() {
        QFETCH(QString, libraryName);
        QFETCH(bool, conflict);
        LoadLibrary(Names);
        Choose("mnuFile_SaveLibAsPatches", Path(L("dev.pch")));
        TakeMessages();
        if (!libraryName.isEmpty())
            QVERIFY(window->Controller().RenameEntry(2, libraryName));
        WriteBytes(Path(L("dev.pch")), Store({L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}));
        Choose("mnuFile_ReconcileWith", Path(L("dev.pch")));
        ReconcileWindow* reconcile = window->Reconcile();
        QVERIFY(reconcile && reconcile->isVisible());
        auto* base = reconcile->findChild<QComboBox*>(L("cboBase"));
        QCOMPARE(base->currentIndex(), 1);
        QVERIFY(base->currentText().startsWith(L("Export to the device")));
        auto* apply = reconcile->findChild<QPushButton*>(L("cmdApply"));
        QCOMPARE(apply->isEnabled(), !conflict);
        QCOMPARE(reconcile->OpenConflicts(), conflict ? 1 : 0);
        if (conflict) {
            auto* table = reconcile->findChild<QTableView*>(L("tblRows"));
            table->setFocus();
            QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
            // From the rows to "Take Right" with the keyboard.
            QTest::keyClick(table, Qt::Key_Tab);
            QTest::keyClick(reconcile->focusWidget(), Qt::Key_Tab);
            QCOMPARE(reconcile->focusWidget()->objectName(), L("cmdTakeRight"));
            QTest::keyClick(reconcile->focusWidget(), Qt::Key_Space);
            QVERIFY(apply->isEnabled());
        }
        apply->click();
        QCOMPARE(Line(Lib(), 2).section(QLatin1Char(':'), 1).trimmed(), L("ECHO"));
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

// The test program runs as the child of killedWindowRestoresItsEdits when started with its folder.
// ... and of the accessibility-bus walk.
QTEST_MAIN_WRAPPER(
    TestWindow, if (qEnvironmentVariableIsSet("QUILLBOX_EDITING_CHILD")) return TestWindow::RunEditingChild(
                    argc, argv, qEnvironmentVariable("QUILLBOX_EDITING_CHILD"));
    if (qEnvironmentVariableIsSet("QUILLBOX_ACCESSIBILITY_CHILD")) return TestWindow::RunAccessibilityChild(
        argc, argv, qEnvironmentVariable("QUILLBOX_ACCESSIBILITY_CHILD"));
    QTEST_MAIN_SETUP())
#include "tst_Window.moc"
