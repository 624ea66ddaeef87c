#pragma once

#include "CollectionWindow.h"
#include "CompareWindow.h"
#include "HelpWindow.h"
#include "KnownTags.h"
#include "LibraryController.h"
#include "LibraryPanes.h"
#include "LibraryView.h"
#include "MainLayout.h"
#include "ReconcileWindow.h"
#include "SplashWindow.h"

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QMenu;
class QSettings;

namespace quillbox {

class CommandMenus;
class MainWindowShows;
class CompareWindow;
class CollectionWindow;
class EditMenu;
class StatusLine;
class OpenSaveDLG;
class WindowSettings;

struct MainWindowOptions {
    // The start-up splash, whose status line the load step writes; "&About" opens a new one when it
    // is not open.
    QPointer<SplashWindow> splash;
    // The load step's pause that keeps the splash in view; by default a blocking sleep.
    std::function<void(int milliseconds)> pause;
    // Where "Quillbox.chm" and "Quillbox.hlp" are looked for first; by default the program's
    // directory. The installed data folder, found from here, is looked in second.
    QString programDirectory;
    // Opens the compiled help in the desktop's viewer; by default QDesktopServices::openUrl.
    std::function<bool(const QUrl&)> openUrl;
    // What the window remembers between runs; by default the user's settings file in the standard
    // place.
    std::shared_ptr<QSettings> settings;
    // The available areas of the screens, the primary first; by default those of the screens there
    // are now (a test gives others).
    std::function<QList<QRect>()> screenAreas;
    // The collection's cache and the earlier versions it reads; empty: the user's standard places.
    QString collectionCache;
    QString collectionVersions;
};

// frmMain: the menus, dialogs, status line and the window's place around the panes (LibraryPanes),
// which hold the lists, the details panel and the description box. The panes are the controller's
// PanesView; the window is its ShellView and runs the menus' commands through it.
class MainWindow : public QMainWindow, public ShellView {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    LibraryController& Controller() { return controller_; }
    const LibraryController& Controller() const { return controller_; }
    // The client area: the lists, the details panel and the description box.
    LibraryPanes& Panes() { return *panes_; }
    bool OnTop() const { return onTop_; }
    SplashWindow* Splash() const { return splash_; }
    HelpWindow* Help() const { return help_; }
    // The layout in twips as it stands (after fitting and the last resize).
    const MainGeometry& CurrentGeometry() const { return panes_->CurrentGeometry(); }
    // The geometry the window started from: the designed one, widened where the content needs it.
    const MainGeometry& FittedGeometry() const { return panes_->FittedGeometry(); }
    // A control's minimum size in twips at the current font (empty for controls that adapt).
    QSize NeededSize(const QString& controlName) const { return panes_->NeededSize(controlName); }

    // The commands of the "Window" and "?" menus.
    void HelpCommand();
    void AboutCommand();
    void TopCommand();
    // "&Compare…": the selected patch of the patches list beside the selected library entry.
    void CompareCommand();
    // "Print Set List…": the set list through the system's print dialog.
    void PrintSetListCommand();
    // "&Collection…": opens (or raises) the collection window over the chosen folders.
    void CollectionCommand();
    CollectionWindow* Collection() const { return collection_; }
    // The show window and its commands (MainWindowShows).
    MainWindowShows& Shows() { return *shows_; }
    CompareWindow* Compare() const { return compare_; }
    ReconcileWindow* Reconcile() const { return reconcile_; }
    // "&Rename…" (F2): edits the name of the selected library entry in its line.
    void RenameCommand();
    // "Select &Duplicates": selects the entries that have a twin; a selection takes the focus to the
    // library list, so that the next key (Delete) acts on it.
    void SelectDuplicatesCommand();
    // "&Tags…": a tag for every selected library entry (TagsDialog).
    void TagsCommand();
    // F10: opens the first menu of the menu bar.
    void MenuBarCommand();
    // Ctrl+F: the find field over the list that has the focus (the library list otherwise).
    void FindCommand();

    // Opens files handed over by the command line or a drop: the first whose name ends in ".pslib"
    // is loaded as "Load (Library) " loads it, then the first other one is imported as "Import PS02"
    // imports it. Returns the files left unopened.
    QStringList OpenFiles(const QStringList& paths);

    // The start's look for unsaved work that a killed or crashed run left: offers the newest.
    void RecoverUnsavedWork();

    // Loads a library of "File > Recent Libraries"; one that is gone is said so and leaves the list.
    void OpenRecentLibrary(const QString& path);

    // ShellView
    void SetCaption(const QString& caption) override;
    void SetFileCommandsEnabled(bool enabled) override;
    void WriteSetListPdf(const QString& path, const QString& title, const std::vector<SetListRow>& rows,
                         SetListPrint print) override;
    void SetBusy(bool busy) override;
    void ShowMessage(const QString& text, MessageStyle style = MessageStyle::Plain) override;
    bool AskYesNo(const QString& text, const QString& title) override;
    SaveAnswer AskSaveQuestion() override;
    RecoveryAnswer AskRestoreUnsaved(const QString& text) override;
    DiskChangeAnswer AskChangedOnDisk(const QString& text) override;
    std::optional<QString> AskPath(const FileDialogRequest& request) override;
    int ChosenFilter() const override;
    void LibraryFileUsed(const QString& path) override;
    void OpenReconcile(const QString& path) override;
    void ShowStatus(const QString& text) override;
    void SetModified(bool modified) override;
    void ShowHistory(const QString& undoStep, const QString& redoStep) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildEditMenuAndStatusBar();
    void ConnectCommands();
    void FitLayout();
    // Puts the window where it was when it last closed, on a screen there is now.
    void RestoreWindowPlace();
    // The available areas of the screens there are now, the primary first.
    QList<QRect> ScreenAreas() const;
    void FillRecentMenu();
    void Load();
    // Runs a user event's handling; a failure is shown as `handler` + ": " + its description, so
    // that nothing escapes into Qt's event loop.
    void Guarded(const char* handler, const std::function<void()>& work);
    QString ProgramDirectory() const;
    // Sets up a name editor of the library list: its refusals go to the status line, and the keys
    // of the menus' commands stay with its text.
    void PrepareNameEditor(QLineEdit* editor, PatchNameValidator* validator);

    MainWindowOptions options_;
    // The panes and the controller know each other: the panes are made first, holding a reference
    // to the controller made right after them, and neither calls the other while being made.
    LibraryPanes* panes_; // the client area
    LibraryController controller_;
    QPointer<SplashWindow> splash_;
    QPointer<HelpWindow> help_;
    QPointer<CompareWindow> compare_;
    QPointer<CollectionWindow> collection_;
    // The tags of the collection's cache, read when a tag is first typed and again after a scan.
    KnownTags knownTags_{controller_, options_.collectionCache};
    QPointer<ReconcileWindow> reconcile_;
    std::unique_ptr<OpenSaveDLG> fileDialog_;
    std::unique_ptr<WindowSettings> settings_;
    QMenu* mnuRecent_ = nullptr;
    CommandMenus* menus_ = nullptr; // the menu bar and the keys, from the command table
    MainWindowShows* shows_ = nullptr;
    EditMenu* editMenu_ = nullptr;
    StatusLine* statusLine_ = nullptr;
    bool onTop_ = false;
    bool checkPlace_ = false; // the window's place is checked once shown, when its frame is known
    int busyDepth_ = 0;
};

} // namespace quillbox
