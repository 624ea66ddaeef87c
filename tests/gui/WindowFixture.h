#pragma once

// The window tests' shared fixture: every test class derives from WindowFixture, which gives each
// test a fresh folder and a real main window (init), checks that every message was expected and
// every queued dialog answer used (cleanup), and holds the helpers the tests share: images and
// files made by hand, the controls by objectName, commands triggered by name through the dialog
// seams. The classes, one per window (the main window's by concern), run from main.cpp.

#include "DescriptionBox.h"
#include "LibraryState.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "PatchListView.h"
#include "TestFiles.h"

#include <QAction>
#include <QList>
#include <QObject>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <memory>

namespace quillbox::test {

class WindowFixture : public QObject {
    Q_OBJECT

public:
    static QString L(const char* text) { return QString::fromUtf8(text); }

    // An image whose name decodes to `name`; drive type, cab type and cab speaker are `value` (modulo
    // their ranges), Drive is on for even and Cab for multiples of three; other bytes follow `value`.
    static QByteArray Image(const QString& name, int value);
    static QByteArray Store(const QStringList& names);

    static QString Line(const QAbstractItemView* view, int row) {
        return view->model()->index(row, 0).data().toString();
    }

    static void Click(QAbstractItemView* view, int row, Qt::MouseButton button = Qt::LeftButton,
                      bool twice = false, Qt::KeyboardModifiers modifiers = {});

    static QStringList TakeMessages();

    // The child run of killedWindowRestoresItsEdits: the real window in the folder `dir` loads
    // sample.pslib, takes edits through its controls with the recovery file kept as in use, writes
    // what it then holds to `expected`, says "ready" and waits to be killed.
    static int RunEditingChild(int& argc, char** argv, const QString& dir);

    // The child run of the accessibility-bus walk (atspi_walk.py): the real window on a real
    // display, with a library and imported patches loaded. It reads one command a line on stdin,
    // shows that window (main, find, compare, rename, collection, reconcile, versions, message,
    // question, help, splash, stage), types (focus, type), lists (entries), steps the stage view
    // (stagekey), closes the windows again on "close", and answers each with one line.
    static int RunAccessibilityChild(int& argc, char** argv, const QString& dir);

protected:
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
    void OpenWindow(const QList<QRect>& screens = {});

    QString SettingsPath() const { return Path(L("settings/quillbox.ini")); }

    void LoadLibrary(const QStringList& names);
    void Import(const QStringList& names);

    // QTest runs these around every test function of each class derived from this one; the test
    // classes must not declare their own.
private Q_SLOTS:
    // Every test gets a fresh folder and window; the help files are looked for in its bin/ folder.
    void init();
    // Every message must have been expected, every queued answer used.
    void cleanup();
};

// The test classes, in the order main.cpp runs them.
std::unique_ptr<QObject> NewMainWindowCommandsTests();
std::unique_ptr<QObject> NewMainWindowListsTests();
std::unique_ptr<QObject> NewMainWindowFilesTests();
std::unique_ptr<QObject> NewMainWindowScreenTests();
std::unique_ptr<QObject> NewCompareWindowTests();
std::unique_ptr<QObject> NewReconcileWindowTests();
std::unique_ptr<QObject> NewCollectionWindowTests();
std::unique_ptr<QObject> NewOtherWindowsTests();
std::unique_ptr<QObject> NewStageViewTests();
std::unique_ptr<QObject> NewShowWindowTests();

// A PDF as poppler's tools (pdfinfo, pdftotext) read it: its pages (-1 when the tools could not
// read it) and its text, pages apart by form feeds.
struct PdfContent {
    int pages = -1;
    QString text;
};
PdfContent ReadPdf(const QString& path);

} // namespace quillbox::test
