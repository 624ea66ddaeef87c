#include "MainWindow.h"

#include "AccessibleMenuName.h"
#include "AppInfo.h"
#include "Commands.h"
#include "CompareWindow.h"
#include "DescriptionBox.h"
#include "EditMenu.h"
#include "FileAccess.h"
#include "FindField.h"
#include "HelpWindow.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "PatchList.h"
#include "PatchListModel.h"
#include "PatchListView.h"
#include "PatchNameEditor.h"
#include "PrintDialog.h"
#include "SetListDocument.h"
#include "SplashWindow.h"
#include "TextEncoding.h"
#include "ValueTables.h"
#include "WindowSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyleOptionFrame>
#include <QThread>
#include <QTimer>
#include <exception>
#include <optional>

namespace quillbox {

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

// The controls EnableDetails switches, in its order.
const char* const DetailControls[] = {
    "cbxCabSpeaker", "cbxCabType", "cbxDriveType",  "cbxEqHigh",     "cbxEqLevel",  "cbxEqLow",
    "cbxEqMid",      "cbxModType", "cbxRevType",    "cbxTotalLevel", "cbxZNRLevel", "chkCab",
    "chkDrive",      "chkEq",      "chkMod",        "chkRev",        "chkZnr",      "txtName",
    "lblName",       "lblLevel",   "txtDescription"};

// Edges are converted, not sizes, so that a control that ends at its container's edge in twips
// also ends there on screen.
QRect ToPixels(const TwipsRect& r) {
    const int left = TwipsToPixels(r.left);
    const int top = TwipsToPixels(r.top);
    return {left, top, TwipsToPixels(r.right()) - left, TwipsToPixels(r.bottom()) - top};
}

QSize ToTwips(QSize pixels) {
    return {PixelsToTwips(pixels.width()), PixelsToTwips(pixels.height())};
}

// While a box asks or tells the user something the normal pointer is shown; the hourglass comes
// back afterwards if work was going on.
class NormalPointer {
public:
    NormalPointer() {
        while (QGuiApplication::overrideCursor()) {
            QGuiApplication::restoreOverrideCursor();
            ++levels_;
        }
    }
    ~NormalPointer() {
        for (int i = 0; i < levels_; ++i)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    int levels_ = 0;
};

// Shift state of a key event as the key handlers take it: 1 Shift, 2 Ctrl, 4 Alt.
int ShiftState(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

// The local files a drag carries, folders left out, in the order given, and apart from them the
// names that are not valid text, which decoded would name another file; nothing when it carries no
// local file or folder.
struct DraggedNames {
    QStringList files;
    QList<QByteArray> notText; // the names' real bytes
};

std::optional<DraggedNames> DraggedFiles(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return std::nullopt;
    std::optional<DraggedNames> names;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        if (!names)
            names.emplace();
        // The address carries the name's bytes percent-encoded; its decoded text has lost those that
        // are not text (and a sender that did not encode them has lost them already).
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        const QString path = url.toLocalFile();
        const std::optional<QByteArray> notText = FileNameFromBytes(bytes) ? NameNotTextBehind(path) : bytes;
        if (notText)
            names->notText.append(*notText);
        else if (!QFileInfo(path).isDir())
            names->files.append(path);
    }
    return names;
}

// The status line: a text longer than the line is cut with "…" where it is drawn, and shown
// whole in the tool tip; the label never asks for more width than the window has.
class StatusLine : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideRight, area.width()),
                              foregroundRole());
    }
};

} // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), controller_(*this, AppInfo::ProductName()),
      splash_(options_.splash) {
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
    BuildControls();
    BuildMenus();
    BuildEditMenuAndStatusBar();
    ConnectControls();
    FitLayout();
    RestoreWindowPlace();
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
    libModel_->SetRenameHandler({});
}

template <typename T> T* MainWindow::Control(const char* name) const {
    return qobject_cast<T*>(controls_.value(S(name)));
}

void MainWindow::BuildControls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client_);
    client_->installEventFilter(this);

    for (const ControlDesign& design : MainWindowControls()) {
        QWidget* parent = design.container.isEmpty() ? client_ : controls_.value(design.container);
        QWidget* widget = nullptr;
        switch (design.kind) {
        case ControlKind::Frame: {
            auto* frame = new QGroupBox(parent);
            frame->setFlat(false);
            widget = frame;
            break;
        }
        case ControlKind::Label:
        case ControlKind::CenteredLabel: {
            auto* label = new QLabel(design.text, parent);
            label->setAlignment(
                (design.kind == ControlKind::CenteredLabel ? Qt::AlignHCenter : Qt::AlignLeft) |
                Qt::AlignTop);
            widget = label;
            break;
        }
        case ControlKind::ListBox: {
            auto* list = new PatchListView(parent);
            const ListId id = design.name == QLatin1String("lstLib") ? ListId::Library : ListId::Patches;
            auto* model = new PatchListModel(controller_, id, list);
            list->setModel(model);
            model->SetMarkSize(list->iconSize());
            model->SetMarkEdge(list->palette().color(QPalette::Text));
            // Lines are dropped on the library only; the patches list is source material.
            list->setAcceptDrops(id == ListId::Library);
            list->viewport()->setAcceptDrops(id == ListId::Library);
            (id == ListId::Library ? lstLib_ : lstPatches_) = list;
            (id == ListId::Library ? libModel_ : patchesModel_) = model;
            (id == ListId::Library ? findLib_ : findPatches_) = new FindField(controller_, id, list, model);
            if (id == ListId::Library) {
                // A library line's name is edited in place; the controller renames the entry.
                model->SetRenameHandler([this](qsizetype entry, const QString& name) {
                    bool renamed = false;
                    Guarded("lstLib_Rename", [this, entry, &name, &renamed] {
                        renamed = controller_.RenameEntry(entry, name);
                    });
                    return renamed;
                });
                list->setItemDelegate(new PatchNameDelegate(
                    [this](QLineEdit* editor, PatchNameValidator* validator) {
                        PrepareNameEditor(editor, validator);
                    },
                    list));
            }
            widget = list;
            break;
        }
        case ControlKind::MultiLineTextBox:
            txtDescription_ = new DescriptionBox(parent);
            widget = txtDescription_;
            break;
        case ControlKind::TextBox:
            widget = new QLineEdit(design.text, parent);
            break;
        case ControlKind::ComboBox: {
            // Not editable: the list shows only its entries (typing picks one or nothing), so it
            // never shows a value that is not stored.
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            // See eventFilter: the wheel does not pick entries here.
            combo->installEventFilter(this);
            widget = combo;
            break;
        }
        case ControlKind::CheckBox:
            widget = new QCheckBox(design.text, parent);
            break;
        case ControlKind::OptionButton:
            widget = new QRadioButton(design.text, parent);
            break;
        }
        widget->setObjectName(design.name);
        // A drop-down list's designed text says what it holds; it shows none once loaded.
        if (design.kind == ControlKind::ComboBox)
            widget->setAccessibleName(design.text);
        controls_.insert(design.name, widget);
    }
    NameForScreenReaders();
    Control<QRadioButton>("optSelected")->setChecked(true);
    // The name box stores nothing: read-only, it cannot look as if a typed name renamed the patch.
    // Its undo keys go to the library's history, as it has no text edits of its own.
    auto* name = Control<QLineEdit>("txtName");
    name->setReadOnly(true);
    const QString renameHint = QStringLiteral("To rename the patch use Library > Rename\u2026 (F2)");
    name->setToolTip(renameHint);
    name->setAccessibleDescription(renameHint);

    const QStringList& order = MainWindowTabOrder();
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(controls_.value(order.at(i)), controls_.value(order.at(i + 1)));
}

void MainWindow::NameForScreenReaders() {
    // The lists are named by their headings, the boxes by what they hold; buttons and check boxes
    // by their captions.
    const std::pair<const char*, const char*> buddies[] = {{"lblPatches", "lstPatches"},
                                                           {"lblLib", "lstLib"},
                                                           {"lblName", "txtName"},
                                                           {"lblLevel", "cbxTotalLevel"}};
    for (const auto& [label, control] : buddies)
        Control<QLabel>(label)->setBuddy(controls_.value(S(control)));
    lstPatches_->setAccessibleName(QStringLiteral("Patches"));
    lstPatches_->setAccessibleDescription(QStringLiteral("The patches imported from a device patch file"));
    lstLib_->setAccessibleName(QStringLiteral("Library"));
    lstLib_->setAccessibleDescription(QStringLiteral("The patches of the library being edited"));
    txtDescription_->setAccessibleName(QStringLiteral("Description"));
    txtDescription_->setAccessibleDescription(
        QStringLiteral("The description of the selected library patch"));
    controls_.value(QStringLiteral("txtName"))->setAccessibleName(QStringLiteral("Patch name"));
    findPatches_->setAccessibleName(QStringLiteral("Find in the patches"));
    findLib_->setAccessibleName(QStringLiteral("Find in the library"));
}

void MainWindow::BuildMenus() {
    QMenu* current = nullptr;
    for (const Command& command : Commands()) {
        const QString name = S(command.name);
        QAction* action = nullptr;
        switch (command.place) {
        case CommandPlace::Menu:
            current = menuBar()->addMenu(S(command.caption));
            current->setObjectName(name);
            current->menuAction()->setObjectName(name);
            if (command.accessibleName)
                SetAccessibleMenuName(current, S(command.accessibleName));
            if (name == QLatin1String("mnuPatch"))
                mnuPatch_ = current;
            continue;
        case CommandPlace::Separator:
            action = current->addSeparator();
            action->setParent(this);
            break;
        case CommandPlace::Submenu:
            // Only "Recent Libraries" (FillRecentMenu) is one.
            mnuRecent_ = new QMenu(S(command.caption), current);
            mnuRecent_->setObjectName(name);
            mnuRecent_->menuAction()->setObjectName(name);
            current->addMenu(mnuRecent_);
            continue;
        case CommandPlace::Item:
        case CommandPlace::Key:
            action = new QAction(S(command.caption), this);
            action->setShortcut(command.shortcut);
            // The menu shows the key; only while the menu bar has the focus would it match, where it
            // would make the key ambiguous (see eventFilter).
            if (command.keyShownOnly)
                action->setShortcutContext(Qt::WidgetShortcut);
            if (command.place == CommandPlace::Item)
                current->addAction(action);
            else
                addAction(action);
            break;
        }
        action->setObjectName(name);
        action->setEnabled(command.enabling != CommandEnabling::WithLibrary);
        actions_.insert(name, action);
    }
    actions_.value(QStringLiteral("mnuWindow_Top"))->setCheckable(true);
    menuBar()->installEventFilter(this); // for the keys items only show, see eventFilter
    FillRecentMenu();
}

void MainWindow::FillRecentMenu() {
    // The menu keeps its eight items and shows as many as there are libraries: an item may be
    // refilled while its own click is being handled.
    if (mnuRecent_->actions().isEmpty()) {
        for (int i = 1; i <= WindowSettings::MaxRecent; ++i) {
            QAction* action = mnuRecent_->addAction(QString());
            action->setObjectName(QStringLiteral("mnuFile_Recent_%1").arg(i));
            connect(action, &QAction::triggered, this, [this, action] {
                const QString path = action->data().toString();
                Guarded("mnuFile_Recent_Click", [this, &path] { OpenRecentLibrary(path); });
            });
        }
    }
    const QStringList recent = settings_->RecentLibraries();
    const QList<QAction*> items = mnuRecent_->actions();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString path = recent.value(i);
        QString shown = QDir::toNativeSeparators(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        items.at(i)->setText(QLatin1Char('&') + QString::number(i + 1) + QLatin1Char(' ') + shown);
        items.at(i)->setData(path);
        items.at(i)->setVisible(i < recent.size());
    }
    mnuRecent_->menuAction()->setEnabled(!recent.isEmpty());
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
        this, mnuPatch_->menuAction(),
        [this] { Guarded("mnuEdit_Undo_Click", [this] { controller_.Undo(); }); },
        [this] { Guarded("mnuEdit_Redo_Click", [this] { controller_.Redo(); }); });
    // Text boxes keep the undo and redo keys for their own text.
    for (QLineEdit* box : client_->findChildren<QLineEdit*>())
        editMenu_->KeepKeysIn(box);
    editMenu_->KeepKeysIn(txtDescription_);
    // A label rather than a status bar message: the menus' status tips would wipe a message out
    // as soon as a menu opens.
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusLine_ = new StatusLine(statusBar());
    statusLine_->setTextFormat(Qt::PlainText);
    statusLine_->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(statusLine_, 1);
}

void MainWindow::ConnectControls() {
    for (const Command& command : Commands()) {
        if (command.run)
            connect(actions_.value(S(command.name)), &QAction::triggered, this,
                    [this, &command] { Guarded(command.handler, [this, &command] { command.run(*this); }); });
    }

    // Lists: a click (or the keyboard) selects, the right button pops up the list's menu as it
    // stands, a double click on a patch copies it, one on the selected library line edits its name.
    // Delete in the library and Enter in the patches list run "Delete Selected Patch" and "Copy
    // Selected Patch -> Library". Lines dropped on the library are moved there (its own) or copied
    // there (from the patches list). A row is the entry the list shows there (a find shows only some).
    connect(lstLib_, &PatchListView::rowClicked, this, [this](int row) {
        Guarded("lstLib_Click", [this, row] {
            controller_.LibrarySelected(SelectedEntries(ListId::Library), libModel_->EntryAt(row));
        });
    });
    connect(lstPatches_, &PatchListView::rowClicked, this, [this](int row) {
        Guarded("lstPatches_Click", [this, row] {
            controller_.PatchesSelected(SelectedEntries(ListId::Patches), patchesModel_->EntryAt(row));
        });
    });
    connect(lstLib_, &PatchListView::commandKeyPressed, this, [this](int key) {
        if (key == Qt::Key_Delete)
            Guarded("lstLib_KeyDown", [this] { controller_.DeleteSelected(); });
    });
    connect(lstPatches_, &PatchListView::commandKeyPressed, this, [this](int key) {
        if (key == Qt::Key_Return)
            Guarded("lstPatches_KeyDown", [this] { controller_.CopySelectedPatch(); });
    });
    connect(libModel_, &PatchListModel::entriesDropped, this,
            [this](ListId from, const QList<qsizetype>& entries, qsizetype before) {
                Guarded("lstLib_DragDrop", [&] {
                    from == ListId::Library ? controller_.MoveEntriesTo(entries, before)
                                            : controller_.CopyPatchesTo(entries, before);
                });
            });
    connect(lstPatches_, &QAbstractItemView::doubleClicked, this,
            [this] { Guarded("lstPatches_DblClick", [this] { controller_.PatchesDoubleClicked(); }); });
    connect(lstLib_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (controller_.State().LibSelection == libModel_->EntryAt(index.row()))
            lstLib_->edit(index);
    });
    for (const ListId list : {ListId::Library, ListId::Patches})
        connect(ListFind(list), &FindField::filtered, this, [this, list] { ShowSelectionAfterFind(list); });
    for (const Command& command : Commands()) {
        if (command.popup == CommandPopup::None)
            continue;
        auto* menu = menuBar()->findChild<QMenu*>(S(command.name));
        connect(ListView(command.popup == CommandPopup::LibraryList ? ListId::Library : ListId::Patches),
                &PatchListView::menuRequested, this, [menu](const QPoint& pos) { menu->popup(pos); });
    }

    // The three bound lists react to the user's picks only; showing a patch sets them silently.
    auto connectPick = [this](const char* name, const char* handler, void (LibraryController::*pick)(int)) {
        connect(Control<QComboBox>(name), &QComboBox::activated, this, [this, handler, pick](int entry) {
            Guarded(handler, [this, pick, entry] { (controller_.*pick)(entry); });
        });
    };
    connectPick("cbxDriveType", "cbxDriveType_Click", &LibraryController::DriveTypePicked);
    connectPick("cbxCabType", "cbxCabType_Click", &LibraryController::CabTypePicked);
    connectPick("cbxCabSpeaker", "cbxCabSpeaker_Click", &LibraryController::CabSpeakerPicked);

    // The two bound check boxes write on the mouse press (see eventFilter); a box whose press did
    // not end in a toggle (released elsewhere) is set to the state that was written.
    for (const char* name : {"chkDrive", "chkCab"}) {
        QCheckBox* box = Control<QCheckBox>(name);
        box->installEventFilter(this);
        connect(box, &QAbstractButton::released, this, [this, box] {
            if (pressedCheck_ == box && box->isChecked() != pressedCheckTarget_) {
                const QSignalBlocker blocker(box);
                box->setChecked(pressedCheckTarget_);
            }
            pressedCheck_.clear();
        });
    }

    connect(Control<QRadioButton>("optAll"), &QRadioButton::toggled, this, [this](bool all) {
        KeepTabOnChosenOption();
        Guarded("optAll_Click", [this, all] { controller_.SetChangeAll(all); });
    });
    for (const char* name : {"optAll", "optSelected"})
        Control<QRadioButton>(name)->installEventFilter(this);
    KeepTabOnChosenOption();

    connect(txtDescription_, &DescriptionBox::edited, this, [this](const QString& text) {
        Guarded("txtDescription_Change", [this, &text] { controller_.DescriptionEdited(text); });
    });
    connect(txtDescription_, &DescriptionBox::clicked, this,
            [this] { Guarded("txtDescription_Click", [this] { controller_.DescriptionClicked(); }); });
    Control<QLineEdit>("txtName")->installEventFilter(this);
    txtDescription_->installEventFilter(this);
}

void MainWindow::KeepTabOnChosenOption() {
    for (const char* name : {"optAll", "optSelected"}) {
        QRadioButton* option = Control<QRadioButton>(name);
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void MainWindow::BoundCheckPressed(QCheckBox* box) {
    const bool checkedAtPress = box->isChecked();
    pressedCheck_ = box;
    pressedCheckTarget_ = !checkedAtPress;
    if (box->objectName() == QLatin1String("chkDrive"))
        Guarded("chkDrive_MouseDown",
                [this, checkedAtPress] { controller_.DriveMousePressed(checkedAtPress); });
    else
        Guarded("chkCab_MouseDown", [this, checkedAtPress] { controller_.CabMousePressed(checkedAtPress); });
}

QSize MainWindow::NeededSize(const QString& name) const {
    QWidget* widget = controls_.value(name);
    if (!widget)
        return {};
    if (qobject_cast<QGroupBox*>(widget) || widget == txtDescription_)
        return {};
    if (auto* list = qobject_cast<PatchListView*>(widget)) {
        // Lines of lists up to 9,999 entries with names of the widest characters; longer lists
        // scroll sideways.
        return ToTwips(QSize(list->NeededWidth(9999), 0));
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        // The widest entry has to fit into the closed box.
        QComboBox probe;
        probe.setFont(combo->font());
        for (const ParameterTableInfo& table : ParameterTables()) {
            if (table.objectName == name)
                probe.addItems(table.entries);
        }
        probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
        return ToTwips(QSize(probe.minimumSizeHint().width(), probe.sizeHint().height()));
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // The designed text and its frame; QLineEdit's own hint asks for room for 17 characters.
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QFontMetrics metrics(edit->font());
        const QSize text(metrics.horizontalAdvance(edit->text()) + 2 * 2 + 1, edit->sizeHint().height());
        const QSize needed = edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit);
        return ToTwips(QSize(needed.width(), edit->sizeHint().height()));
    }
    return ToTwips(widget->sizeHint());
}

void MainWindow::FitLayout() {
    fitted_ =
        FitMainGeometry(DesignedMainGeometry(), [this](const QString& name) { return NeededSize(name); });
    geometry_ = fitted_;
    const QSize client = FittedClientSize(fitted_);
    ApplyResizeRules(geometry_, client.width(), client.height());
    ApplyGeometry();
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
    if (event->type() == QEvent::PaletteChange && libModel_) {
        for (const ListId list : {ListId::Library, ListId::Patches})
            ListModel(list)->SetMarkEdge(ListView(list)->palette().color(QPalette::Text));
        RefreshListMarks();
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

void MainWindow::ApplyGeometry() {
    for (auto it = geometry_.cbegin(); it != geometry_.cend(); ++it) {
        if (QWidget* widget = controls_.value(it.key()))
            widget->setGeometry(ToPixels(it.value()));
    }
}

void MainWindow::LayOut() {
    if (isMinimized())
        return;
    ApplyResizeRules(geometry_, PixelsToTwips(client_->width()), PixelsToTwips(client_->height()));
    ApplyGeometry();
}

void MainWindow::Load() {
    try {
        if (splash_)
            splash_->SetStatus(QStringLiteral("Initialize ..."));
        setWindowTitle(AppInfo::MainCaption() + QStringLiteral("[*]"));
        controller_.Startup();
        FillParameterLists();
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

void MainWindow::FillParameterLists() {
    for (const ParameterTableInfo& table : ParameterTables()) {
        QComboBox* combo = Control<QComboBox>(table.objectName.toUtf8().constData());
        const QSignalBlocker blocker(combo);
        combo->addItems(table.entries);
        combo->setCurrentIndex(-1);
        combo->setEditText(QString());
    }
}

void MainWindow::Guarded(const char* handler, const std::function<void()>& work) {
    try {
        work();
    } catch (const FileError& error) {
        ShowMessage(QString::fromLatin1(handler) + QStringLiteral(": ") + error.description);
    } catch (const std::exception& error) {
        ShowMessage(QString::fromLatin1(handler) + QStringLiteral(": ") +
                    QString::fromLocal8Bit(error.what()));
    }
}

QString MainWindow::ProgramDirectory() const {
    return options_.programDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                               : options_.programDirectory;
}

PatchListView* MainWindow::ListView(ListId list) const {
    return list == ListId::Library ? lstLib_ : lstPatches_;
}

PatchListModel* MainWindow::ListModel(ListId list) const {
    return list == ListId::Library ? libModel_ : patchesModel_;
}

FindField* MainWindow::ListFind(ListId list) const {
    return list == ListId::Library ? findLib_ : findPatches_;
}

// ---- Rename and find ----

void MainWindow::RenameCommand() {
    const qsizetype entry = controller_.State().LibSelection;
    if (entry < 0) {
        ShowStatus(QStringLiteral("Nothing renamed: no library patch is selected"));
        return;
    }
    const QModelIndex index = libModel_->index(libModel_->KeepShown(entry));
    lstLib_->scrollTo(index);
    lstLib_->setFocus(Qt::ShortcutFocusReason);
    lstLib_->edit(index);
}

void MainWindow::PrepareNameEditor(QLineEdit* editor, QObject* validator) {
    connect(static_cast<PatchNameValidator*>(validator), &PatchNameValidator::refused, this,
            &MainWindow::ShowStatus);
    editMenu_->KeepKeysIn(editor);
    editor->installEventFilter(this);
}

void MainWindow::FindCommand() {
    const QWidget* focus = QApplication::focusWidget();
    const bool patches = focus && (focus == lstPatches_ || lstPatches_->isAncestorOf(focus));
    ListFind(patches ? ListId::Patches : ListId::Library)->Open();
}

void MainWindow::ShowSelectionAfterFind(ListId list) {
    const LibraryState& state = controller_.State();
    const qsizetype entry = list == ListId::Library ? state.LibSelection : state.PatchesSelection;
    const int row = entry < 0 ? -1 : ListModel(list)->RowOf(entry);
    if (entry >= 0 && row < 0)
        Guarded("Find_Change", [this, list] { controller_.SelectionHidden(list); });
    else
        ListView(list)->SelectRow(row);
}

// ---- Help, about, top ----

QString MainWindow::HelpFilePath(const QString& name) const {
    const QString beside = QDir(ProgramDirectory()).filePath(name);
    if (QFileInfo::exists(beside))
        return beside;
    // The install puts the help into share/quillbox beside bin/ (cmake/Install.cmake); found from the
    // program's own folder, an unpacked or moved install finds it too.
    const QString installed = QDir::cleanPath(
        QDir(ProgramDirectory()).filePath(QStringLiteral(QUILLBOX_DATA_FROM_PROGRAM "/") + name));
    return QFileInfo::exists(installed) ? installed : beside;
}

void MainWindow::HelpCommand() {
    const QString chmPath = HelpFilePath(QStringLiteral("Quillbox.chm"));
    // The compiled help opens in the desktop's viewer when there is one that takes it.
    if (QFileInfo(chmPath).isFile() && options_.openUrl(QUrl::fromLocalFile(chmPath)))
        return;

    const QString hlpPath = HelpFilePath(QStringLiteral("Quillbox.hlp"));
    QString text = AppInfo::ProductName() + QLatin1Char(' ') + AppInfo::VersionText() + AppInfo::Notice() +
                   QStringLiteral("\r\n\r\n") + QStringLiteral("Check for updates - and other PS02 tools  ") +
                   AppInfo::WebAddress();
    try {
        const QString helpText = DecodeText(ReadFileAsString(hlpPath)).text;
        if (helpText.isEmpty())
            text += QStringLiteral("\r\n\r\nHelpfile corrupt: ") + hlpPath;
        else
            text += QStringLiteral("\r\n\r\n") + helpText;
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

void MainWindow::SelectDuplicatesCommand() {
    controller_.SelectDuplicates();
    if (!controller_.Selection(ListId::Library).isEmpty())
        lstLib_->setFocus(Qt::OtherFocusReason);
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
    }
    compare_->ShowEntries(pair->first, pair->second);
    compare_->show();
    compare_->raise();
    compare_->activateWindow();
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
    actions_.value(QStringLiteral("mnuWindow_Top"))->setChecked(onTop_);
}

// ---- Files from the command line and drops ----

QStringList MainWindow::OpenFiles(const QStringList& paths) {
    QString library;
    QString patchFile;
    QStringList rest;
    for (const QString& path : paths) {
        // The same case-sensitive rule as the file dialog's extension and quillbox-tool.
        QString& slot = path.endsWith(QStringLiteral(".pslib")) ? library : patchFile;
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

bool MainWindow::FileDragEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const std::optional<DraggedNames> names = DraggedFiles(drop->mimeData());
    if (!names)
        return false; // text or a web address: a text box may take it
    // Folders alone are refused here too, so that no text box takes their names as text.
    if (names->files.isEmpty() && names->notText.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) {
        // Opened once the drop has ended: a question asked now would hold up the program the files
        // were dragged from. A name that is not text is refused as on the command line.
        QTimer::singleShot(0, this, [this, dropped = *names] {
            for (const QByteArray& name : dropped.notText)
                ShowMessage(FileNameNotTextMessage(name), MessageStyle::Plain);
            OpenFiles(dropped.files);
        });
    }
    return true;
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
    if (FileDragEvent(event))
        return true;
    if (watched == this && event->type() == QEvent::WindowActivate) {
        // Back from another program, which may have written the library meanwhile.
        Guarded("Form_Activate", [this] { controller_.CheckChangedOnDisk(); });
        return false;
    }
    if (watched == client_ && event->type() == QEvent::Resize) {
        LayOut();
        return false;
    }
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox*>(watched)) {
        // A wheel turned while the pointer passes over a list would pick an entry, and with
        // "Change  All" rewrite every patch of the library: entries are picked deliberately only.
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto* box = qobject_cast<QCheckBox*>(watched);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // Only the left button toggles a check box, so only its press may write the new state.
        if (box && box->isEnabled() && mouse->button() == Qt::LeftButton)
            BoundCheckPressed(box);
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* box = qobject_cast<QCheckBox*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        // The keys that toggle a check box write as the left button's press does; a box already
        // held down by the other has written.
        if (box && box->isEnabled() && !box->isDown() && !key->isAutoRepeat() &&
            (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select))
            BoundCheckPressed(box);
    }
    if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        (watched == txtDescription_ || qobject_cast<QLineEdit*>(watched))) {
        // In a text box Shift+Ins and Shift+Del paste and cut, as in any text box, before they can
        // reach the Library menu's commands.
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool paste = key->key() == Qt::Key_Insert && modifiers == Qt::ShiftModifier;
        const bool cut = key->key() == Qt::Key_Delete && modifiers == Qt::ShiftModifier;
        if (paste || cut) {
            event->accept();
            if (event->type() == QEvent::KeyPress) {
                // Not every desktop's key scheme gives these keys to the text boxes.
                if (auto* edit = qobject_cast<QLineEdit*>(watched))
                    paste ? edit->paste() : edit->cut();
                else
                    paste ? txtDescription_->paste() : txtDescription_->cut();
            }
            return true;
        }
    }
    if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        watched == menuBar()) {
        // While the menu bar has the focus (Alt, or a menu closed with Esc), an item's key that the
        // menu only shows would match beside its owner's, and an ambiguous key runs nothing: the item
        // takes the key itself, once.
        const auto* key = static_cast<QKeyEvent*>(event);
        for (const Command& command : Commands()) {
            if (!command.keyShownOnly || command.shortcut != QKeySequence(key->keyCombination()))
                continue;
            event->accept();
            if (event->type() == QEvent::KeyPress)
                actions_.value(S(command.name))->trigger();
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut && qobject_cast<QRadioButton*>(watched)) {
        // Focus taken by a press that did not choose leaves the tab chain on the chosen option.
        KeepTabOnChosenOption();
        return false;
    }
    if (event->type() == QEvent::KeyRelease && watched == controls_.value(QStringLiteral("txtName"))) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Guarded("txtName_KeyUp",
                [this, key] { controller_.NameKeyReleased(key->key(), ShiftState(key->modifiers())); });
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- LibraryView ----

void MainWindow::RefillList(ListId list) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    PatchListView* view = ListView(list);
    const LibraryState& state = controller_.State();
    const int outside =
        MostCodesOutsideAlphabet(list == ListId::Library ? state.LibraryData : state.PatchesData);
    outside_[int(list)] = outside;
    const QSize lineSize = view->LineSize(controller_.ListCount(list), outside);
    // While a find is open the list shows the entries that hold its words as the store now stands.
    FindField* find = ListFind(list);
    ListModel(list)->Refill(lineSize, find->IsOpen() ? find->Matching() : std::nullopt);
    QGuiApplication::restoreOverrideCursor();
}

void MainWindow::ListEntriesChanged(ListId list, const EntryChange& change) {
    // While a find is open, which lines match is found anew.
    if (ListFind(list)->IsOpen())
        return RefillList(list);
    const LibraryState& state = controller_.State();
    const QByteArray& store = list == ListId::Library ? state.LibraryData : state.PatchesData;
    int& outside = outside_[int(list)];
    if (change.kind == EntryChange::Kind::Inserted) {
        QByteArray added;
        added.reserve(change.positions.size() * PatchImageSize);
        for (const qsizetype k : change.positions)
            added.append(PatchImage::FromStore(store, k).Bytes());
        outside = std::max(outside, MostCodesOutsideAlphabet(added));
    }
    // Lines that went keep the width they needed: narrower lines would shift the list for nothing.
    ListModel(list)->EntriesChanged(change, ListView(list)->LineSize(controller_.ListCount(list), outside));
}

void MainWindow::ListLineChanged(ListId list, qsizetype index) {
    ListModel(list)->EntryChanged(index);
}

void MainWindow::SelectListLine(ListId list, qsizetype index) {
    // An entry a command selects is shown even when the find left it out: the user sees what the
    // next command acts on.
    ListView(list)->SelectRow(index < 0 ? -1 : ListModel(list)->KeepShown(index));
}

void MainWindow::SelectListLines(ListId list, const QList<qsizetype>& positions, qsizetype current) {
    PatchListModel* model = ListModel(list);
    // The current entry is shown even when the find left it out, as for one selected line; other
    // entries the find leaves out are not selected: no command may act on a line nobody sees.
    const int currentRow = current < 0 ? -1 : model->KeepShown(current);
    QList<int> rows;
    rows.reserve(positions.size());
    for (const qsizetype entry : positions) {
        if (const int row = model->RowOf(entry); row >= 0)
            rows.append(row);
    }
    ListView(list)->SelectRows(rows, currentRow);
}

QList<qsizetype> MainWindow::SelectedEntries(ListId list) const {
    const PatchListModel* model = ListModel(list);
    const QList<int> rows = ListView(list)->SelectedRows();
    QList<qsizetype> entries;
    entries.reserve(rows.size());
    for (const int row : rows)
        entries.append(model->EntryAt(row));
    return entries;
}

void MainWindow::RefreshListMarks() {
    lstLib_->viewport()->update();
    lstPatches_->viewport()->update();
    if (compare_ && compare_->isVisible())
        compare_->Refresh();
}

void MainWindow::WriteSetListPdf(const QString& path, const QString& title,
                                 const std::vector<SetListRow>& rows, SetListPrint print) {
    quillbox::WriteSetListPdf(path, title, QDate::currentDate(), rows, print);
}

void MainWindow::SetListToolTip(ListId list, const QString& text) {
    ListView(list)->setToolTip(text);
}

void MainWindow::SetLabelToolTip(ListId list, const QString& text) {
    controls_.value(list == ListId::Library ? QStringLiteral("lblLib") : QStringLiteral("lblPatches"))
        ->setToolTip(text);
}

void MainWindow::SetCaption(const QString& caption) {
    // "[*]" is where the title marks unsaved changes; one in the path itself is doubled, which the
    // title shows as it is.
    setWindowTitle(QString(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")) +
                   QStringLiteral("[*]"));
}

void MainWindow::SetFileCommandsEnabled(bool enabled) {
    for (const Command& command : Commands()) {
        if (command.enabling == CommandEnabling::WithLibrary)
            actions_.value(S(command.name))->setEnabled(enabled);
    }
}

void MainWindow::ShowDetails(const DetailValues& values) {
    auto show = [this](const char* name, int entry) {
        QComboBox* combo = Control<QComboBox>(name);
        const QSignalBlocker blocker(combo);
        if (entry >= 0 && entry < combo->count()) {
            combo->setCurrentIndex(entry);
        } else {
            combo->setCurrentIndex(-1);
            combo->setEditText(QString());
        }
    };
    show("cbxDriveType", values.driveType);
    show("cbxCabType", values.cabType);
    show("cbxCabSpeaker", values.cabSpeaker);
    for (const auto& [name, on] :
         {std::pair{"chkDrive", values.driveOn}, std::pair{"chkCab", values.cabOn}}) {
        QCheckBox* box = Control<QCheckBox>(name);
        const QSignalBlocker blocker(box);
        box->setChecked(on);
    }
}

void MainWindow::EnableDetails(bool enabled) {
    for (const char* name : DetailControls)
        controls_.value(S(name))->setEnabled(enabled);
}

void MainWindow::SetDescriptionText(const QString& text) {
    txtDescription_->SetText(text);
}

void MainWindow::SetDescriptionCounter(const QString& toolTip) {
    txtDescription_->setToolTip(toolTip);
}

void MainWindow::SetNameText(const QString& text) {
    QLineEdit* name = Control<QLineEdit>("txtName");
    const QSignalBlocker blocker(name);
    name->setText(text);
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
    const NormalPointer pointer;
    switch (MessageBoxes::AskSaveNow(this)) {
    case QMessageBox::Yes:
        return SaveAnswer::Yes;
    case QMessageBox::No:
        return SaveAnswer::No;
    default:
        return SaveAnswer::Cancel;
    }
}

RecoveryAnswer MainWindow::AskRestoreUnsaved(const QString& text) {
    const NormalPointer pointer;
    // No escape button: the box closes only with an answer, so the work is never dropped unseen.
    switch (MessageBoxes::AskChoice(this, text, QStringLiteral("Unsaved changes"),
                                    {{QMessageBox::Yes, QStringLiteral("&Restore")},
                                     {QMessageBox::Open, QStringLiteral("&Compare")},
                                     {QMessageBox::Discard, QStringLiteral("&Discard")}},
                                    QMessageBox::Yes, QMessageBox::NoButton)) {
    case QMessageBox::Yes:
        return RecoveryAnswer::Restore;
    case QMessageBox::Open:
        return RecoveryAnswer::Compare;
    case QMessageBox::Discard:
        return RecoveryAnswer::Discard;
    default:
        return RecoveryAnswer::Later;
    }
}

DiskChangeAnswer MainWindow::AskChangedOnDisk(const QString& text) {
    const NormalPointer pointer;
    switch (MessageBoxes::AskChoice(this, text, QStringLiteral("Changed on disk"),
                                    {{QMessageBox::Save, QStringLiteral("&Overwrite")},
                                     {QMessageBox::SaveAll, QStringLiteral("Save &As\u2026")},
                                     {QMessageBox::Apply, QStringLiteral("&Reconcile")},
                                     {QMessageBox::Cancel, QStringLiteral("Cancel")}},
                                    QMessageBox::Cancel, QMessageBox::Cancel)) {
    case QMessageBox::Save:
        return DiskChangeAnswer::Overwrite;
    case QMessageBox::SaveAll:
        return DiskChangeAnswer::SaveAs;
    case QMessageBox::Apply:
        return DiskChangeAnswer::Reconcile;
    default:
        return DiskChangeAnswer::Cancel;
    }
}

void MainWindow::RecoverUnsavedWork() {
    Guarded("RecoverUnsavedWork", [this] { controller_.RecoverAtStart(); });
}

std::optional<QString> MainWindow::AskPath(const FileDialogRequest& request) {
    if (!fileDialog_)
        fileDialog_ = std::make_unique<OpenSaveDLG>();
    OpenSaveDLG& dialog = *fileDialog_;
    dialog.SetDialogTitle(request.dialogTitle);
    dialog.SetFilter(request.filter);
    dialog.SetOwner(this);
    dialog.SetReadOnly(request.readOnly);
    // Set on every call: the dialog keeps what an earlier command set.
    dialog.SetFilename(request.fileName);
    dialog.SetInitDir(settings_->LastFolder(request.kind));
    dialog.SetShortFileName(false);
    dialog.SetOldStyle(false);
    dialog.SetCancelError(true);
    const NormalPointer pointer;
    try {
        dialog.Show();
    } catch (const FileError& error) {
        if (error.number == CancelErrorNumber)
            return std::nullopt;
        throw;
    }
    const QString path = dialog.ReturnPath();
    settings_->SetLastFolder(request.kind, QFileInfo(path).absolutePath());
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
    statusLine_->setText(text);
    statusLine_->setToolTip(text);
}

void MainWindow::SetModified(bool modified) {
    setWindowModified(modified);
}

void MainWindow::ShowHistory(const QString& undoStep, const QString& redoStep) {
    editMenu_->ShowHistory(undoStep, redoStep);
}

} // namespace quillbox
