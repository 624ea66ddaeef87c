#include "MainWindow.h"

#include "AccessibleEchoes.h"
#include "AppInfo.h"
#include "AtSpiSelection.h"
#include "CommandMenus.h"
#include "Commands.h"
#include "DescriptionBox.h"
#include "EditMenu.h"
#include "FileAccess.h"
#include "FileDrops.h"
#include "LibraryFile.h"
#include "MainWindowShows.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "PatchListView.h"
#include "PatchNameEditor.h"
#include "PrintDialog.h"
#include "QuestionBoxes.h"
#include "ScreenFit.h"
#include "SetListDocument.h"
#include "StatusLine.h"
#include "TagsDialog.h"
#include "WindowSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <exception>
#include <optional>

namespace quillbox {

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      panes_(new LibraryPanes(
          controller_,
          [this](const char* handler, const std::function<void()>& work) { Guarded(handler, work); }, this)),
      controller_(*panes_, *this, AppInfo::ProductName()), splash_(options_.splash) {
    setObjectName(QStringLiteral("frmMain"));
    if (!options_.pause)
        options_.pause = [](int milliseconds) {
            QThread::msleep(static_cast<unsigned long>(milliseconds));
        };
    if (!options_.openUrl)
        options_.openUrl = [](const QUrl& url) {
            return QDesktopServices::openUrl(url);
        };

    settings_ = std::make_unique<WindowSettings>(options_.settings);
    // On a screen smaller than the designed window the client area scrolls, so that every control
    // can be reached and seen; at the designed size and above it simply fills the window.
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName(QStringLiteral("clientScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidgetResizable(true);
    scroller->setWidget(panes_);
    setCentralWidget(scroller);
    connect(panes_, &LibraryPanes::nameEditorOpened, this, &MainWindow::PrepareNameEditor);
    // Screen readers and switch access select lines through the accessibility bus too.
    OfferAtSpiSelection();
    // Walking the menu bar with the arrow keys announces the menus, not the window again each time.
    DropAccessibleEchoes();
    menus_ = new CommandMenus(this);
    mnuRecent_ = menus_->RecentMenu();
    FillRecentMenu();
    shows_ = new MainWindowShows(*this, *settings_, menus_->Submenu(QStringLiteral("mnuFile_RecentShows")),
                                 options_.collectionCache);
    BuildEditMenuAndStatusBar();
    ConnectCommands();
    FitLayout();
    RestoreWindowPlace();
    // Every window opened over this one stays whole on the screen this one is on.
    QApplication::instance()->installEventFilter(new ScreenFitter(this, [this] { return ScreenAreas(); }));
    // Text boxes take dropped text themselves; a dragged file is the window's wherever it lands.
    setAcceptDrops(true);
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        if (child->acceptDrops())
            child->installEventFilter(this);
    }
    Load();
}

MainWindow::~MainWindow() {
    // A name editor still open commits when it goes, after the controller has gone.
    panes_->ForgetController();
}

void MainWindow::FillRecentMenu() {
    if (mnuRecent_->actions().isEmpty())
        MakeRecentItems(mnuRecent_, WindowSettings::MaxRecent, QStringLiteral("mnuFile_Recent"), this,
                        [this](const QString& path) {
                            Guarded("mnuFile_Recent_Click", [this, &path] { OpenRecentLibrary(path); });
                        });
    ShowRecentItems(mnuRecent_, settings_->RecentLibraries());
}

void MainWindow::OpenRecentLibrary(const QString& path) {
    // A name that does not exist would make a new library, as in the dialog; from this list it can
    // only mean that the library has gone.
    if (!QFileInfo::exists(path)) {
        settings_->RemoveRecentLibrary(path);
        FillRecentMenu();
        ShowMessage(QStringLiteral("File not found: ") + path);
        return;
    }
    controller_.LoadLibFromPath(path);
}

void MainWindow::BuildEditMenuAndStatusBar() {
    editMenu_ = new EditMenu(
        this, menus_->PatchMenu()->menuAction(),
        [this] { Guarded("mnuEdit_Undo_Click", [this] { controller_.Undo(); }); },
        [this] { Guarded("mnuEdit_Redo_Click", [this] { controller_.Redo(); }); });
    // Text boxes keep the undo and redo keys for their own text.
    for (QLineEdit* box : panes_->findChildren<QLineEdit*>())
        editMenu_->KeepKeysIn(box);
    editMenu_->KeepKeysIn(panes_->Description());
    panes_->Description()->SetTagSource([this] { return knownTags_.All(); });
    // A label rather than a status bar message: the menus' status tips would wipe a message out
    // as soon as a menu opens.
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusLine_ = new StatusLine(statusBar());
    statusLine_->setTextFormat(Qt::PlainText);
    statusLine_->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(statusLine_, 1);
}

void MainWindow::ConnectCommands() {
    for (const Command& command : Commands()) {
        const CommandAction& action = command.action;
        if (!action.run && action.window == WindowCommand::None)
            continue;
        connect(menus_->Action(S(command.name)), &QAction::triggered, this, [this, &command, &action] {
            const QByteArray handler = command.HandlerName().toUtf8();
            Guarded(handler.constData(), [this, &action] {
                if (action.run)
                    action.run(controller_);
                else
                    RunWindowCommand(*this, action.window);
            });
        });
    }
    // The right button pops up the list's menu as it stands.
    for (const Command& command : Commands()) {
        if (command.popup == CommandPopup::None)
            continue;
        auto* menu = menuBar()->findChild<QMenu*>(S(command.name));
        connect(
            panes_->ListView(command.popup == CommandPopup::LibraryList ? ListId::Library : ListId::Patches),
            &PatchListView::menuRequested, this, [menu](const QPoint& pos) { menu->popup(pos); });
    }
}

void MainWindow::FitLayout() {
    const QSize client = panes_->FitLayout();
    // Below the fitted size the client area scrolls.
    panes_->setMinimumSize(TwipsToPixels(client.width()), TwipsToPixels(client.height()));
    resize(TwipsToPixels(client.width()), TwipsToPixels(client.height()) + menuBar()->sizeHint().height() +
                                              statusBar()->sizeHint().height());
    // Centred on the primary screen, yet never beyond its edges: on a small or scaled screen the
    // title bar stays reachable.
    const QList<QRect> areas = ScreenAreas();
    if (!areas.isEmpty()) {
        QRect place(QPoint(), size());
        place.moveCenter(areas.first().center());
        setGeometry(WindowSettings::PlaceOnScreens(place, {areas.first()}));
        checkPlace_ = true;
    }
}

QList<QRect> MainWindow::ScreenAreas() const {
    if (options_.screenAreas)
        return options_.screenAreas();
    QList<QRect> areas;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        areas.append(primary->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            areas.append(screen->availableGeometry());
    }
    return areas;
}

void MainWindow::RestoreWindowPlace() {
    const std::optional<QRect> saved = settings_->WindowRect();
    if (!saved)
        return; // the fitted size, centred on the screen
    setGeometry(WindowSettings::PlaceOnScreens(*saved, ScreenAreas()));
    checkPlace_ = true;
    if (settings_->WindowMaximized())
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A new theme: the marks' rings take the lists' new text colour.
    if (event->type() == QEvent::PaletteChange && panes_) {
        panes_->TakeListColours();
        panes_->RefreshListMarks();
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!std::exchange(checkPlace_, false) || isMaximized())
        return;
    // The frame is known once the window is shown: the title bar has to be on the screen too.
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (!frame.isNull())
        setGeometry(WindowSettings::PlaceOnScreens(inner, ScreenAreas(), frame));
}

void MainWindow::Load() {
    try {
        if (splash_)
            splash_->SetStatus(QStringLiteral("Initialize ..."));
        setWindowTitle(AppInfo::MainCaption() + QStringLiteral("[*]"));
        controller_.Startup();
        panes_->FillParameterLists();
        options_.pause(1000);
    } catch (const std::exception& error) {
        if (splash_)
            splash_->close();
        ShowMessage(QStringLiteral("Form_Load: ") + QString::fromLocal8Bit(error.what()));
    } catch (const FileError& error) {
        if (splash_)
            splash_->close();
        ShowMessage(QStringLiteral("Form_Load: ") + error.description);
    }
}

void MainWindow::Guarded(const char* handler, const std::function<void()>& work) {
    RunGuarded(handler, work, [this](const QString& message) { ShowMessage(message); });
}

QString MainWindow::ProgramDirectory() const {
    return options_.programDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                               : options_.programDirectory;
}

// ---- Rename and find ----

void MainWindow::RenameCommand() {
    if (!panes_->EditSelectedName())
        ShowStatus(QStringLiteral("Nothing renamed: no library patch is selected"));
}

void MainWindow::PrepareNameEditor(QLineEdit* editor, PatchNameValidator* validator) {
    connect(validator, &PatchNameValidator::refused, this, &MainWindow::ShowStatus);
    editMenu_->KeepKeysIn(editor);
    // A file dragged onto the editor is the window's, as anywhere else.
    editor->installEventFilter(this);
}

void MainWindow::FindCommand() {
    panes_->OpenFind();
}

// ---- Help, about, top ----

void MainWindow::HelpCommand() {
    const QString chmPath = HelpFilePath(ProgramDirectory(), QStringLiteral("Quillbox.chm"));
    // The compiled help opens in the desktop's viewer when there is one that takes it.
    if (QFileInfo(chmPath).isFile() && options_.openUrl(QUrl::fromLocalFile(chmPath)))
        return;
    QString text;
    try {
        text = PlainHelpText(HelpFilePath(ProgramDirectory(), QStringLiteral("Quillbox.hlp")));
    } catch (const FileError& error) {
        ShowMessage(QStringLiteral("mnuHelp_Help_Click: ") + error.description);
        return;
    }
    if (!help_)
        help_ = new HelpWindow(this);
    help_->setWindowTitle(AppInfo::ProductName() + QLatin1Char(' ') + AppInfo::VersionText() +
                          QStringLiteral(" Help"));
    help_->SetHelpText(text);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainWindow::AboutCommand() {
    if (!splash_)
        splash_ = new SplashWindow;
    splash_->ShowNow();
}

void MainWindow::OpenReconcile(const QString& path) {
    if (!reconcile_)
        reconcile_ = new ReconcileWindow(controller_, this);
    QString error;
    if (!reconcile_->Open(path, &error)) {
        ShowMessage(error, MessageStyle::Plain);
        return;
    }
    reconcile_->show();
    reconcile_->raise();
    reconcile_->activateWindow();
}

void MainWindow::TagsCommand() {
    if (controller_.Selection(ListId::Library).isEmpty()) {
        ShowStatus(QStringLiteral("Nothing tagged: no library patch is selected"));
        return;
    }
    TagsDialog(controller_, knownTags_.All(), this).exec();
}

void MainWindow::SelectDuplicatesCommand() {
    controller_.SelectDuplicates();
    if (!controller_.Selection(ListId::Library).isEmpty())
        panes_->ListView(ListId::Library)->setFocus(Qt::OtherFocusReason);
}

void MainWindow::MenuBarCommand() {
    // As F10 does on the desktops here: the first menu opens, the arrow keys go on from there.
    menuBar()->setActiveAction(menuBar()->actions().value(0));
}

void MainWindow::CompareCommand() {
    const auto pair = controller_.SelectedPairToCompare();
    if (!pair) {
        ShowStatus(QStringLiteral("Nothing to compare: select a patch in each list"));
        return;
    }
    if (!compare_) {
        compare_ = new CompareWindow(
            controller_,
            [this](BoundField field) {
                Guarded("cmdTake_Click", [this, field] {
                    controller_.TakeParameter(compare_->Left(), compare_->Right().index, field);
                });
            },
            this);
        // The twin marks the compare window shows change with the lists' marks.
        connect(panes_, &LibraryPanes::marksRefreshed, compare_, [compare = compare_.data()] {
            if (compare->isVisible())
                compare->Refresh();
        });
    }
    compare_->ShowEntries(pair->first, pair->second);
    compare_->show();
    compare_->raise();
    compare_->activateWindow();
}

void MainWindow::CollectionCommand() {
    if (!collection_) {
        const QString settingsPath = options_.settings ? options_.settings->fileName() : QString();
        collection_ = new CollectionWindow(controller_, settingsPath, settings_->RecentLibraries(),
                                           options_.collectionCache, options_.collectionVersions, this);
        collection_->setAttribute(Qt::WA_DeleteOnClose);
        connect(collection_, &CollectionWindow::scanned, this, [this] { knownTags_.Forget(); });
        shows_->WatchCollection(collection_);
        collection_->show();
        collection_->Rescan();
    }
    collection_->show();
    collection_->raise();
    collection_->activateWindow();
}

void MainWindow::PrintSetListCommand() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(controller_.SetListTitle());
    if (!PrintDialog::Ask(this, printer))
        return;
    const std::vector<SetListRow> rows = controller_.SetList();
    SetBusy(true);
    PrintSetList(printer, controller_.SetListTitle(), QDate::currentDate(), rows);
    SetBusy(false);
    ShowStatus(QStringLiteral("Printed the set list of %1 patches").arg(rows.size()));
}

void MainWindow::TopCommand() {
    onTop_ = !onTop_;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop_);
    // Changing a window flag hides the window.
    if (visible)
        show();
    menus_->Action(QStringLiteral("mnuWindow_Top"))->setChecked(onTop_);
}

// ---- Files from the command line and drops ----

QStringList MainWindow::OpenFiles(const QStringList& paths) {
    QString library;
    QString patchFile;
    QStringList rest;
    for (const QString& path : paths) {
        QString& slot = IsLibraryPath(path) ? library : patchFile;
        if (slot.isEmpty())
            slot = path;
        else
            rest.append(path);
    }
    // The library first, so that the imported patches can go into it at once.
    if (!library.isEmpty())
        Guarded("mnuFile_LoadLib_Click", [this, &library] { controller_.LoadLibFromPath(library); });
    if (!patchFile.isEmpty())
        Guarded("mnuFile_LoadPatches_Click",
                [this, &patchFile] { controller_.ImportPatchesFromPath(patchFile); });
    return rest;
}

// ---- Events ----

void MainWindow::closeEvent(QCloseEvent* event) {
    bool mayClose = true;
    Guarded("Form_QueryUnload", [this, &mayClose] { mayClose = controller_.QueryClose(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    if (help_)
        help_->close();
    if (splash_)
        splash_->close();
    settings_->SetWindowPlace(normalGeometry(), isMaximized());
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // A file dropped is opened once the drop has ended: a question asked now would hold up the
    // program the files were dragged from. A name that is not text is refused as on the command line.
    const auto dropped = [this](const DraggedNames& names) {
        for (const QByteArray& name : names.notText)
            ShowMessage(FileNameNotTextMessage(name), MessageStyle::Plain);
        OpenFiles(names.files);
    };
    if (TakeFileDrag(event, this, dropped))
        return true;
    if (watched == this && event->type() == QEvent::WindowActivate) {
        // Back from another program, which may have written the library meanwhile.
        Guarded("Form_Activate", [this] { controller_.CheckChangedOnDisk(); });
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- ShellView ----

void MainWindow::WriteSetListPdf(const QString& path, const QString& title,
                                 const std::vector<SetListRow>& rows, SetListPrint print) {
    quillbox::WriteSetListPdf(path, title, QDate::currentDate(), rows, print);
}

void MainWindow::SetCaption(const QString& caption) {
    // "[*]" is where the title marks unsaved changes; one in the path itself is doubled, which the
    // title shows as it is.
    setWindowTitle(QString(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")) +
                   QStringLiteral("[*]"));
}

void MainWindow::SetFileCommandsEnabled(bool enabled) {
    menus_->SetFileCommandsEnabled(enabled);
}

void MainWindow::SetBusy(bool busy) {
    if (busy) {
        if (busyDepth_++ == 0)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void MainWindow::ShowMessage(const QString& text, MessageStyle style) {
    const NormalPointer pointer;
    if (style == MessageStyle::Critical)
        MessageBoxes::ShowCritical(this, text);
    else
        MessageBoxes::ShowPlain(this, text);
}

bool MainWindow::AskYesNo(const QString& text, const QString& title) {
    const NormalPointer pointer;
    return MessageBoxes::AskYesNo(this, text, title);
}

SaveAnswer MainWindow::AskSaveQuestion() {
    return AskSaveNowBox(this);
}

RecoveryAnswer MainWindow::AskRestoreUnsaved(const QString& text) {
    return AskRestoreUnsavedBox(this, text);
}

DiskChangeAnswer MainWindow::AskChangedOnDisk(const QString& text) {
    return AskChangedOnDiskBox(this, text);
}

void MainWindow::RecoverUnsavedWork() {
    Guarded("RecoverUnsavedWork", [this] { controller_.RecoverAtStart(); });
}

std::optional<QString> MainWindow::AskPath(const FileDialogRequest& request) {
    if (!fileDialog_)
        fileDialog_ = std::make_unique<OpenSaveDLG>();
    const std::optional<QString> path =
        AskFileBox(*fileDialog_, this, request, settings_->LastFolder(request.kind));
    if (path)
        settings_->SetLastFolder(request.kind, QFileInfo(*path).absolutePath());
    return path;
}

int MainWindow::ChosenFilter() const {
    return fileDialog_ ? fileDialog_->FilterIndex() : -1;
}

void MainWindow::LibraryFileUsed(const QString& path) {
    settings_->AddRecentLibrary(path);
    settings_->SetLastFolder(FileKind::Library, QFileInfo(path).absolutePath());
    FillRecentMenu();
}

void MainWindow::ShowStatus(const QString& text) {
    statusLine_->Show(text);
}

void MainWindow::SetModified(bool modified) {
    setWindowModified(modified);
}

void MainWindow::ShowHistory(const QString& undoStep, const QString& redoStep) {
    editMenu_->ShowHistory(undoStep, redoStep);
}

} // namespace quillbox
