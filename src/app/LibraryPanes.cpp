#include "LibraryPanes.h"

#include "ControlSize.h"
#include "DescriptionBox.h"
#include "FindField.h"
#include "LibraryController.h"
#include "PatchList.h"
#include "PatchListModel.h"
#include "PatchListView.h"
#include "TextBoxKeys.h"
#include "ValueTables.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>

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

// Shift state of a key event as the key handlers take it: 1 Shift, 2 Ctrl, 4 Alt.
int ShiftState(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

// The store a list shows, and its selected entry (-1 for none).
const QByteArray& StoreOf(const LibraryState& state, ListId list) {
    return list == ListId::Library ? state.LibraryData : state.PatchesData;
}

qsizetype SelectedOf(const LibraryState& state, ListId list) {
    return list == ListId::Library ? state.LibSelection : state.PatchesSelection;
}

} // namespace

LibraryPanes::LibraryPanes(LibraryController& controller, Guard guard, QWidget* parent)
    : QWidget(parent), controller_(controller), guarded_(std::move(guard)) {
    setObjectName(QStringLiteral("clientArea"));
    BuildControls();
    ConnectControls();
}

template <typename T> T* LibraryPanes::Control(const char* name) const {
    return qobject_cast<T*>(controls_.value(S(name)));
}

void LibraryPanes::BuildControls() {
    for (const ControlDesign& design : MainWindowControls()) {
        QWidget* parent = design.container.isEmpty() ? this : controls_.value(design.container);
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
            Side(id).view = list;
            Side(id).model = model;
            Side(id).find = new FindField(controller_, id, list, model);
            if (id == ListId::Library) {
                // A library line's name is edited in place; the controller renames the entry.
                model->SetRenameHandler([this](qsizetype entry, const QString& name) {
                    bool renamed = false;
                    guarded_("lstLib_Rename", [this, entry, &name, &renamed] {
                        renamed = controller_.RenameEntry(entry, name);
                    });
                    return renamed;
                });
                list->setItemDelegate(new PatchNameDelegate(
                    [this](QLineEdit* editor, PatchNameValidator* validator) {
                        Q_EMIT nameEditorOpened(editor, validator);
                        // Shift+Ins and Shift+Del paste and cut here too (see TakeTextBoxEditKey).
                        editor->installEventFilter(this);
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
        controls_.insert(design.name, widget);
    }
    Side(ListId::Patches).label = Control<QLabel>("lblPatches");
    Side(ListId::Library).label = Control<QLabel>("lblLib");
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
    // Every text box, the find fields included, pastes and cuts with Shift+Ins and Shift+Del.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->installEventFilter(this);
}

void LibraryPanes::NameForScreenReaders() {
    // The lists are named by their headings, the boxes by what they hold; buttons and check boxes
    // by their captions.
    const std::pair<const char*, const char*> buddies[] = {{"lblPatches", "lstPatches"},
                                                           {"lblLib", "lstLib"},
                                                           {"lblName", "txtName"},
                                                           {"lblLevel", "cbxTotalLevel"}};
    for (const auto& [label, control] : buddies)
        Control<QLabel>(label)->setBuddy(controls_.value(S(control)));
    // On Linux a drop-down is announced by its value alone; the name a reader says before it comes
    // from the label it is the buddy of. The drop-downs the design gives no caption of their own
    // get one that is not shown (their check boxes stand beside them), so nothing on screen moves.
    const std::pair<const char*, const char*> captions[] = {
        {"cbxDriveType", "Drive type"}, {"cbxCabType", "Cab type"},      {"cbxCabSpeaker", "Cab speaker"},
        {"cbxZNRLevel", "ZNR level"},   {"cbxEqHigh", "EQ high"},        {"cbxEqMid", "EQ mid"},
        {"cbxEqLow", "EQ low"},         {"cbxEqLevel", "EQ level"},      {"cbxModType", "Mod type"},
        {"cbxRevType", "Rev type"},     {"cbxTotalLevel", "Total level"}};
    for (const auto& [control, caption] : captions) {
        QWidget* combo = controls_.value(S(control));
        combo->setAccessibleName(S(caption));
        if (combo == controls_.value(QStringLiteral("cbxTotalLevel")))
            continue; // lblLevel is its caption
        auto* label = new QLabel(S(caption), combo->parentWidget());
        label->setObjectName(S(control).replace(0, 3, QStringLiteral("lbl")));
        label->setBuddy(combo);
        label->hide();
        label->setGeometry(0, 0, 0, 0); // takes no room in the panel, even as a rectangle
    }
    PatchListView* patches = ListView(ListId::Patches);
    PatchListView* library = ListView(ListId::Library);
    patches->setAccessibleName(QStringLiteral("Patches"));
    patches->setAccessibleDescription(QStringLiteral("The patches imported from a device patch file"));
    library->setAccessibleName(QStringLiteral("Library"));
    library->setAccessibleDescription(QStringLiteral("The patches of the library being edited"));
    txtDescription_->setAccessibleName(QStringLiteral("Description"));
    txtDescription_->setAccessibleDescription(
        QStringLiteral("The description of the selected library patch"));
    controls_.value(QStringLiteral("txtName"))->setAccessibleName(QStringLiteral("Patch name"));
    Side(ListId::Patches).find->setAccessibleName(QStringLiteral("Find in the patches"));
    Side(ListId::Library).find->setAccessibleName(QStringLiteral("Find in the library"));
}

void LibraryPanes::ConnectControls() {
    // Lists: a click (or the keyboard) selects, a double click on a patch copies it, one on the
    // selected library line edits its name. Delete in the library and Enter in the patches list run
    // "Delete Selected Patch" and "Copy Selected Patch -> Library". Lines dropped on the library are
    // moved there (its own) or copied there (from the patches list). A row is the entry the list
    // shows there (a find shows only some).
    const ListSide& library = Side(ListId::Library);
    const ListSide& patches = Side(ListId::Patches);
    // Every change of a list's selection that the program did not make itself (the mouse, the keys,
    // a screen reader, switch access) reaches the controller here, the same way.
    connect(library.view, &PatchListView::linePicked, this, [this](int row) {
        guarded_("lstLib_Click", [this, row] {
            controller_.LibrarySelected(SelectedEntries(ListId::Library),
                                        Side(ListId::Library).model->EntryAt(row));
        });
    });
    connect(patches.view, &PatchListView::linePicked, this, [this](int row) {
        guarded_("lstPatches_Click", [this, row] {
            controller_.PatchesSelected(SelectedEntries(ListId::Patches),
                                        Side(ListId::Patches).model->EntryAt(row));
        });
    });
    connect(library.view, &PatchListView::commandKeyPressed, this, [this](int key) {
        if (key == Qt::Key_Delete)
            guarded_("lstLib_KeyDown", [this] { controller_.Entries().DeleteSelected(); });
    });
    connect(patches.view, &PatchListView::commandKeyPressed, this, [this](int key) {
        if (key == Qt::Key_Return)
            guarded_("lstPatches_KeyDown", [this] { controller_.Transfers().CopySelectedPatch(); });
    });
    connect(library.model, &PatchListModel::entriesDropped, this,
            [this](ListId from, const QList<qsizetype>& entries, qsizetype before) {
                guarded_("lstLib_DragDrop", [&] {
                    from == ListId::Library ? controller_.MoveEntriesTo(entries, before)
                                            : controller_.CopyPatchesTo(entries, before);
                });
            });
    connect(library.model, &PatchListModel::imagesDropped, this,
            [this](const QByteArray& images, const QStringList& descriptions, qsizetype before) {
                guarded_("lstLib_DragDrop",
                         [&] { controller_.CopyImagesIntoLibrary(images, descriptions, before); });
            });
    connect(patches.view, &QAbstractItemView::doubleClicked, this,
            [this] { guarded_("lstPatches_DblClick", [this] { controller_.PatchesDoubleClicked(); }); });
    connect(library.view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        const ListSide& side = Side(ListId::Library);
        if (controller_.State().LibSelection == side.model->EntryAt(index.row()))
            side.view->edit(index);
    });
    for (const ListId list : {ListId::Library, ListId::Patches})
        connect(Side(list).find, &FindField::filtered, this, [this, list] { ShowSelectionAfterFind(list); });

    // The three bound lists react to the user's picks only; showing a patch sets them silently.
    auto connectPick = [this](const char* name, const char* handler, std::function<void(int)> pick) {
        connect(Control<QComboBox>(name), &QComboBox::activated, this,
                [this, handler, pick](int entry) { guarded_(handler, [&pick, entry] { pick(entry); }); });
    };
    connectPick("cbxDriveType", "cbxDriveType_Click",
                [this](int entry) { controller_.DriveTypePicked(entry); });
    connectPick("cbxCabType", "cbxCabType_Click", [this](int entry) { controller_.CabTypePicked(entry); });
    connectPick("cbxCabSpeaker", "cbxCabSpeaker_Click",
                [this](int entry) { controller_.CabSpeakerPicked(entry); });

    // The two bound check boxes write on the mouse press (see BoundCheckEvent); a box whose press
    // did not end in a toggle (released elsewhere) is set to the state that was written.
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
        guarded_("optAll_Click", [this, all] { controller_.SetChangeAll(all); });
    });
    for (const char* name : {"optAll", "optSelected"})
        Control<QRadioButton>(name)->installEventFilter(this);
    KeepTabOnChosenOption();

    connect(txtDescription_, &DescriptionBox::edited, this, [this](const QString& text) {
        guarded_("txtDescription_Change", [this, &text] { controller_.DescriptionEdited(text); });
    });
    connect(txtDescription_, &DescriptionBox::clicked, this,
            [this] { guarded_("txtDescription_Click", [this] { controller_.DescriptionClicked(); }); });
    txtDescription_->installEventFilter(this);
}

void LibraryPanes::ForgetController() {
    Side(ListId::Library).model->SetRenameHandler({});
}

void LibraryPanes::KeepTabOnChosenOption() {
    for (const char* name : {"optAll", "optSelected"}) {
        QRadioButton* option = Control<QRadioButton>(name);
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void LibraryPanes::BoundCheckPressed(QCheckBox* box) {
    const bool checkedAtPress = box->isChecked();
    pressedCheck_ = box;
    pressedCheckTarget_ = !checkedAtPress;
    if (box->objectName() == QLatin1String("chkDrive"))
        guarded_("chkDrive_MouseDown",
                 [this, checkedAtPress] { controller_.DriveMousePressed(checkedAtPress); });
    else
        guarded_("chkCab_MouseDown", [this, checkedAtPress] { controller_.CabMousePressed(checkedAtPress); });
}

// ---- Layout ----

QSize LibraryPanes::NeededSize(const QString& name) const {
    const QWidget* widget = controls_.value(name);
    return widget ? NeededTwips(*widget) : QSize();
}

QSize LibraryPanes::FitLayout() {
    fitted_ =
        FitMainGeometry(DesignedMainGeometry(), [this](const QString& name) { return NeededSize(name); });
    geometry_ = fitted_;
    const QSize client = FittedClientSize(fitted_);
    ApplyResizeRules(geometry_, client.width(), client.height());
    ApplyGeometry();
    return client;
}

void LibraryPanes::ApplyGeometry() {
    for (auto it = geometry_.cbegin(); it != geometry_.cend(); ++it) {
        if (QWidget* widget = controls_.value(it.key()))
            widget->setGeometry(ToPixels(it.value()));
    }
}

void LibraryPanes::LayOut() {
    if (window()->isMinimized())
        return;
    ApplyResizeRules(geometry_, PixelsToTwips(width()), PixelsToTwips(height()));
    ApplyGeometry();
}

void LibraryPanes::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void LibraryPanes::FillParameterLists() {
    for (const ParameterTableInfo& table : ParameterTables()) {
        QComboBox* combo = Control<QComboBox>(table.objectName.toUtf8().constData());
        const QSignalBlocker blocker(combo);
        combo->addItems(table.entries);
        combo->setCurrentIndex(-1);
        combo->setEditText(QString());
    }
}

void LibraryPanes::TakeListColours() {
    for (ListSide& side : sides_)
        side.model->SetMarkEdge(side.view->palette().color(QPalette::Text));
}

// ---- Events ----

bool LibraryPanes::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox*>(watched)) {
        // A wheel turned while the pointer passes over a list would pick an entry, and with
        // "Change  All" rewrite every patch of the library: entries are picked deliberately only.
        return true;
    }
    if (BoundCheckEvent(watched, event) || TakeTextBoxEditKey(watched, event))
        return true;
    if (event->type() == QEvent::FocusOut && qobject_cast<QRadioButton*>(watched)) {
        // Focus taken by a press that did not choose leaves the tab chain on the chosen option.
        KeepTabOnChosenOption();
        return false;
    }
    if (event->type() == QEvent::KeyRelease && watched == controls_.value(QStringLiteral("txtName"))) {
        const auto* key = static_cast<QKeyEvent*>(event);
        guarded_("txtName_KeyUp",
                 [this, key] { controller_.NameKeyReleased(key->key(), ShiftState(key->modifiers())); });
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

bool LibraryPanes::BoundCheckEvent(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QCheckBox*>(watched);
    if (!box || !box->isEnabled())
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        // Only the left button toggles a check box, so only its press may write the new state.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            BoundCheckPressed(box);
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The keys that toggle a check box write as the left button's press does; a box already
        // held down by the other has written.
        if (!box->isDown() && !key->isAutoRepeat() &&
            (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select))
            BoundCheckPressed(box);
    }
    return false;
}

// ---- Lists ----

bool LibraryPanes::EditSelectedName() {
    const qsizetype entry = controller_.State().LibSelection;
    if (entry < 0)
        return false;
    const ListSide& library = Side(ListId::Library);
    const QModelIndex index = library.model->index(library.model->KeepShown(entry));
    library.view->scrollTo(index);
    library.view->setFocus(Qt::ShortcutFocusReason);
    library.view->edit(index);
    return true;
}

void LibraryPanes::OpenFind() {
    const QWidget* focus = QApplication::focusWidget();
    const PatchListView* patches = ListView(ListId::Patches);
    const bool inPatches =
        focus && (focus == patches || patches->isAncestorOf(focus) || focus == Side(ListId::Patches).find);
    Side(inPatches ? ListId::Patches : ListId::Library).find->Open();
}

void LibraryPanes::ShowSelectionAfterFind(ListId list) {
    const qsizetype entry = SelectedOf(controller_.State(), list);
    const ListSide& side = Side(list);
    const int row = entry < 0 ? -1 : side.model->RowOf(entry);
    if (entry >= 0 && row < 0)
        guarded_("Find_Change", [this, list] { controller_.SelectionHidden(list); });
    else
        side.view->SelectRow(row);
}

QList<qsizetype> LibraryPanes::SelectedEntries(ListId list) const {
    const ListSide& side = Side(list);
    const PatchListModel* model = side.model;
    const QList<int> rows = side.view->SelectedRows();
    QList<qsizetype> entries;
    entries.reserve(rows.size());
    for (const int row : rows)
        entries.append(model->EntryAt(row));
    return entries;
}

// ---- PanesView ----

void LibraryPanes::RefillList(ListId list) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ListSide& side = Side(list);
    const PatchListView::Quiet quiet(side.view);
    side.outside = MostCodesOutsideAlphabet(StoreOf(controller_.State(), list));
    const QSize lineSize = side.view->LineSize(controller_.ListCount(list), side.outside);
    // While a find is open the list shows the entries that hold its words as the store now stands.
    side.model->Refill(lineSize, side.find->IsOpen() ? side.find->Matching() : std::nullopt);
    QGuiApplication::restoreOverrideCursor();
}

void LibraryPanes::ListEntriesChanged(ListId list, const EntryChange& change) {
    // While a find is open, which lines match is found anew.
    ListSide& side = Side(list);
    if (side.find->IsOpen())
        return RefillList(list);
    const PatchListView::Quiet quiet(side.view);
    const QByteArray& store = StoreOf(controller_.State(), list);
    int& outside = side.outside;
    if (change.kind == EntryChange::Kind::Inserted) {
        QByteArray added;
        added.reserve(change.positions.size() * PatchImageSize);
        for (const qsizetype k : change.positions)
            added.append(PatchImage::FromStore(store, k).Bytes());
        outside = std::max(outside, MostCodesOutsideAlphabet(added));
    }
    // Lines that went keep the width they needed: narrower lines would shift the list for nothing.
    side.model->EntriesChanged(change, side.view->LineSize(controller_.ListCount(list), outside));
}

void LibraryPanes::ListLineChanged(ListId list, qsizetype index) {
    const PatchListView::Quiet quiet(Side(list).view);
    Side(list).model->EntryChanged(index);
}

void LibraryPanes::SelectListLine(ListId list, qsizetype index) {
    // An entry a command selects is shown even when the find left it out: the user sees what the
    // next command acts on.
    const ListSide& side = Side(list);
    const PatchListView::Quiet quiet(side.view); // KeepShown may show the line again
    side.view->SelectRow(index < 0 ? -1 : side.model->KeepShown(index));
}

void LibraryPanes::SelectListLines(ListId list, const QList<qsizetype>& positions, qsizetype current) {
    PatchListModel* model = Side(list).model;
    const PatchListView::Quiet quiet(Side(list).view);
    // The current entry is shown even when the find left it out, as for one selected line; other
    // entries the find leaves out are not selected: no command may act on a line nobody sees.
    const int currentRow = current < 0 ? -1 : model->KeepShown(current);
    QList<int> rows;
    rows.reserve(positions.size());
    for (const qsizetype entry : positions) {
        if (const int row = model->RowOf(entry); row >= 0)
            rows.append(row);
    }
    Side(list).view->SelectRows(rows, currentRow);
}

void LibraryPanes::RefreshListMarks() {
    for (const ListSide& side : sides_)
        side.view->viewport()->update();
    Q_EMIT marksRefreshed();
}

void LibraryPanes::SetListToolTip(ListId list, const QString& text) {
    Side(list).view->setToolTip(text);
}

void LibraryPanes::SetLabelToolTip(ListId list, const QString& text) {
    Side(list).label->setToolTip(text);
}

void LibraryPanes::ShowDetails(const DetailValues& values) {
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

void LibraryPanes::EnableDetails(bool enabled) {
    for (const char* name : DetailControls)
        controls_.value(S(name))->setEnabled(enabled);
}

void LibraryPanes::SetDescriptionText(const QString& text) {
    txtDescription_->SetText(text);
}

void LibraryPanes::SetDescriptionCounter(const QString& toolTip) {
    txtDescription_->setToolTip(toolTip);
}

void LibraryPanes::SetNameText(const QString& text) {
    QLineEdit* name = Control<QLineEdit>("txtName");
    const QSignalBlocker blocker(name);
    name->setText(text);
}

} // namespace quillbox
