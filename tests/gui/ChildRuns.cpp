// The program's child runs (see main.cpp): the real window driven from outside a test function.

#include "DialogSeam.h"
#include "EarlierVersionsDialog.h"
#include "LibraryFile.h"
#include "StageView.h"
#include "UnsavedWork.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace quillbox::test {

int WindowFixture::RunEditingChild(int& argc, char** argv, const QString& dir) {
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
    UnsavedWork expected{lib, controller.DiskIdentity(), QDateTime::currentDateTimeUtc(), state.LibraryData,
                         state.DescArray};
    QFile out(dir + L("/expected"));
    if (!out.open(QIODevice::WriteOnly) || out.write(UnsavedWorkFiles::Encode(expected)) < 0)
        return 6;
    out.close();
    std::printf("ready %lld\n", static_cast<long long>(waited.elapsed()));
    std::fflush(stdout);
    return app.exec();
}

int WindowFixture::RunAccessibilityChild(int& argc, char** argv, const QString& dir) {
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
    QPointer<StageView> stage;
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
            } else if (command.startsWith(L("menus "))) {
                // "menus <n>": the menu bar opened with F10 and n Right arrows across it, as a
                // keyboard user walks the menus; then closed again.
                QTest::keyClick(&window, Qt::Key_F10);
                QTest::qWait(300);
                for (int i = command.section(QLatin1Char(' '), 1).toInt(); i > 0; --i) {
                    QWidget* menu = QApplication::activePopupWidget();
                    QTest::keyClick(menu ? menu : window.menuBar(), Qt::Key_Right);
                    QTest::qWait(300);
                }
                while (QWidget* menu = QApplication::activePopupWidget()) {
                    QTest::keyClick(menu, Qt::Key_Escape);
                    QTest::qWait(100);
                }
                QTest::keyClick(window.menuBar(), Qt::Key_Escape);
                QTest::qWait(300);
                answer(L("done"));
            } else if (command == L("stage")) {
                // A show of two songs on the stage view, full screen.
                ShowRecord show{L("Friday gig"),
                                {{L("Opener"),
                                  L("Capo 2"),
                                  {{L("Intro"), Image(L("CLEAN1"), 1), {}, {}},
                                   {L("Verse"), Image(L("CRUNCH"), 2), {}, {}}}},
                                 {L("Ballad"), {}, {}}}};
                ShowSlots slots;
                slots.slotOfCue = {{1, 2}, {}};
                stage = new StageView(show, slots, {0, 0}, &window);
                stage->ShowStage();
                answer(L("shown"));
            } else if (command.startsWith(L("stagekey "))) {
                // "stagekey <n>": n Right keys where the stage view's keyboard is.
                for (int i = command.section(QLatin1Char(' '), 1).toInt(); stage && i > 0; --i) {
                    QTest::keyClick(stage->focusWidget() ? stage->focusWidget() : stage.data(),
                                    Qt::Key_Right);
                    QTest::qWait(100);
                }
                answer(stage ? L("done") : L("no stage"));
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
            } else if (command == L("shows")) {
                act("mnuWindow_Shows");
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

} // namespace quillbox::test
