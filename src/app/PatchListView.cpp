#include "PatchListView.h"

#include "PatchListModel.h"
#include "PatchName.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <algorithm>

namespace quillbox {

PatchListView::PatchListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Room for the twin mark beside each line, as tall as a capital letter and a bit.
    const int side = std::max(8, fontMetrics().capHeight() + 4);
    setIconSize(QSize(side, side));
    setDragEnabled(true);
    // The line between the lines is drawn here (paintEvent): Qt's own indicator would also offer
    // drops onto a line, which mean nothing in a list of patches.
    setDropIndicatorShown(false);
    // The selection stays as visible while a menu is open or another control has the focus.
    QPalette colours = palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
}

QSize PatchListView::LineSize(qsizetype count, int outside) const {
    const QFontMetrics metrics(font());
    // The widest rendering of a code inside the alphabet and of one outside it.
    auto widest = [&metrics](int from, int to) {
        QString result;
        int most = -1;
        for (int code = from; code <= to; ++code) {
            const QString text = PatchCharFromCode(code);
            if (metrics.horizontalAdvance(text) > most) {
                most = metrics.horizontalAdvance(text);
                result = text;
            }
        }
        return result;
    };
    const int alphabet = static_cast<int>(DeviceAlphabet.size());
    outside = std::clamp(outside, 0, 6);
    const int digits = std::max(2, static_cast<int>(QString::number(count).size()));
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = iconSize();
    option.text = QString(digits, QLatin1Char('0')) + QStringLiteral(":  ") +
                  widest(0, alphabet - 1).repeated(6 - outside) + widest(alphabet, 63).repeated(outside);
    return style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this);
}

int PatchListView::NeededWidth(qsizetype count) const {
    return LineSize(count).width() + 2 * frameWidth() +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void PatchListView::SelectRow(qsizetype row) {
    QItemSelectionModel* selection = selectionModel();
    if (!selection || !model())
        return;
    const Quiet quiet(this);
    if (row < 0 || row >= model()->rowCount()) {
        selection->clear();
        viewport()->update();
        return;
    }
    const QModelIndex index = model()->index(static_cast<int>(row), 0);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
    viewport()->update();
}

void PatchListView::SetTopWidget(QWidget* widget) {
    top_ = widget;
    // Laid over the list but not inside it: a list's accessible children are its lines only, so a
    // field inside it would be missing from what a screen reader reaches.
    if (widget)
        widget->setParent(parentWidget() ? parentWidget() : this);
    PlaceTopWidget();
}

void PatchListView::PlaceTopWidget() {
    const bool shown = top_ && !top_->isHidden();
    const int height = shown ? top_->sizeHint().height() : 0;
    setViewportMargins(0, height, 0, 0);
    if (shown) {
        QRect place = contentsRect();
        place.setHeight(height);
        if (top_->parentWidget() != this)
            place.translate(pos());
        top_->setGeometry(place);
        top_->raise();
    }
}

void PatchListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    PlaceTopWidget();
}

void PatchListView::moveEvent(QMoveEvent* event) {
    QListView::moveEvent(event);
    PlaceTopWidget();
}

void PatchListView::keyboardSearch(const QString& search) {
    if (!model() || search.isEmpty())
        return;
    // Keys typed in quick succession make one word; a pause starts a new one.
    if (lastTyped_.isValid() && lastTyped_.elapsed() < QApplication::keyboardInputInterval())
        typed_ += search;
    else
        typed_ = search;
    lastTyped_.start();
    // One letter again and again steps through the names starting with it.
    QString word = typed_;
    if (word.count(word.front()) == word.size())
        word = word.left(1);
    const int rows = model()->rowCount();
    if (rows == 0)
        return;
    const QModelIndex current = currentIndex();
    // A new word starts after the current line, a longer one may stay on it.
    int from = current.isValid() ? current.row() : 0;
    if (word.size() == 1 && current.isValid())
        from = (from + 1) % rows;
    const QModelIndexList found = model()->match(model()->index(from, 0), PatchListModel::NameRole, word, 1,
                                                 Qt::MatchStartsWith | Qt::MatchWrap);
    if (found.isEmpty())
        return;
    selectionModel()->setCurrentIndex(found.first(), QItemSelectionModel::ClearAndSelect);
    scrollTo(found.first());
}

void PatchListView::SelectRows(const QList<int>& rows, int current) {
    QItemSelectionModel* selection = selectionModel();
    if (!selection || !model())
        return;
    const Quiet quiet(this);
    // The lines are laid out now if a refill left that for later (scrolling to the current line
    // would anyway): before the selection's indexes exist, the layout's look-up of each line among
    // the model's kept indexes finds none quickly.
    executeDelayedItemsLayout();
    const int count = model()->rowCount();
    // Runs of neighbouring lines make one range each, so a selection of every line is one range; a
    // line alone makes a range of one index (one persistent index, not two).
    QItemSelection ranges;
    ranges.reserve(rows.size());
    std::vector<int> known;
    known.reserve(size_t(rows.size()));
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        if (rows.at(i) >= 0 && rows.at(j) < count) {
            const QModelIndex first = model()->index(rows.at(i), 0);
            ranges.append(i == j ? QItemSelectionRange(first)
                                 : QItemSelectionRange(first, model()->index(rows.at(j), 0)));
            for (qsizetype k = i; k <= j; ++k)
                known.push_back(rows.at(k));
        }
        i = j + 1;
    }
    constexpr qsizetype ManyRanges = 64;
    selecting_ = true;
    // Against an empty selection the model reports the new one without comparing it range by range
    // with the old.
    if (ranges.size() > ManyRanges)
        selection->clearSelection();
    selection->select(ranges, QItemSelectionModel::ClearAndSelect);
    selecting_ = false;
    rowsKnown_ = ranges.size() > ManyRanges;
    selectedRows_ = rowsKnown_ ? std::move(known) : std::vector<int>();
    const QModelIndex index = model()->index(current, 0);
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    scrollTo(index);
    viewport()->update();
}

void PatchListView::setModel(QAbstractItemModel* model) {
    QListView::setModel(model);
    rowsKnown_ = false;
    if (!model)
        return;
    // Rows that come, go or move take the selection with them: the known rows no longer hold.
    auto forget = [this] {
        rowsKnown_ = false;
        selectedRows_.clear();
    };
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, forget);
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, forget);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, forget);
    connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, forget);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, forget);
}

QList<int> PatchListView::SelectedRows() const {
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

template <typename Handle> void PatchListView::AsOneInput(Handle handle) {
    ++inputDepth_;
    handle();
    --inputDepth_;
    if (inputDepth_ == 0 && pending_) {
        pending_ = false;
        if (quiet_ == 0)
            Report();
    }
}

void PatchListView::SelectionMoved() {
    if (quiet_ > 0)
        return;
    // A Shift+arrow moves the selection and then the current line: the controller hears of both
    // together.
    if (inputDepth_ > 0)
        pending_ = true;
    else
        Report();
}

void PatchListView::Report() {
    reportedInPress_ = true;
    const QModelIndex current = currentIndex();
    Q_EMIT linePicked(current.isValid() ? current.row() : -1);
}

void PatchListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        // The right button pops up the list's menu, without touching the selection; other buttons do
        // nothing.
        event->accept();
        if (event->button() == Qt::RightButton)
            Q_EMIT menuRequested(event->globalPosition().toPoint());
        return;
    }
    pressedOnRow_ = indexAt(event->position().toPoint()).isValid();
    reportedInPress_ = false;
    AsOneInput([this, event] { QListView::mousePressEvent(event); });
}

void PatchListView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    // Sweeping over the lines selects them.
    AsOneInput([this, event] { QListView::mouseMoveEvent(event); });
}

void PatchListView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    AsOneInput([this, event] { QListView::mouseReleaseEvent(event); });
    // A click on a line reports it even when the selection stays as it was.
    if (pressedOnRow_ && !reportedInPress_ && currentIndex().isValid())
        Report();
    pressedOnRow_ = false;
}

void PatchListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    pressedOnRow_ = indexAt(event->position().toPoint()).isValid();
    AsOneInput([this, event] { QListView::mouseDoubleClickEvent(event); });
}

void PatchListView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_F10 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier) {
        // The menu key of keyboards that have none.
        event->accept();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(0, 0), mapToGlobal(QPoint(0, 0)),
                               event->modifiers());
        contextMenuEvent(&menu);
        return;
    }
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (key == Qt::Key_Delete || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        event->accept();
        Q_EMIT commandKeyPressed(key == Qt::Key_Delete ? key : int(Qt::Key_Return));
        return;
    }
    AsOneInput([this, event] { QListView::keyPressEvent(event); });
}

void PatchListView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // The mouse's menu came with the button press; the menu key brings it up here, below the current
    // line when it is in view, where the user looks (the mouse pointer may be anywhere).
    if (event->reason() == QContextMenuEvent::Mouse)
        return;
    const QRect line = visualRect(currentIndex());
    if (event->reason() == QContextMenuEvent::Keyboard && viewport()->rect().intersects(line))
        Q_EMIT menuRequested(viewport()->mapToGlobal(line.bottomLeft()));
    else
        Q_EMIT menuRequested(event->globalPos());
}

QItemSelectionModel::SelectionFlags PatchListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    // A click below the last line leaves the selection as it is.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    // Ctrl+click takes a line out of the selection, but a list keeps at least one line selected.
    if (flags.testFlag(QItemSelectionModel::Deselect) || flags.testFlag(QItemSelectionModel::Toggle)) {
        const QItemSelection selection = selectionModel()->selection();
        const bool onlyThisOne = selection.size() == 1 && selection.first().height() == 1 &&
                                 selection.first().top() == index.row();
        if (onlyThisOne || !selectionModel()->hasSelection())
            flags = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
    return flags;
}

void PatchListView::startDrag(Qt::DropActions supportedActions) {
    // The press that starts a drag is a click: the controller learns the selection first, so that
    // a cancelled drag leaves the window and the controller agreeing.
    pending_ = false;
    if (quiet_ == 0 && currentIndex().isValid())
        Report();
    pressedOnRow_ = false;
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    QModelIndexList indexes;
    indexes.reserve(rows.size());
    for (const int row : rows)
        indexes.append(model()->index(row, 0));
    QMimeData* dragged = model()->mimeData(indexes);
    if (!dragged)
        return;
    // What is dragged: the line itself, or how many lines.
    const QString text = rows.size() == 1 ? indexes.first().data().toString()
                                          : QString::number(rows.size()) + QStringLiteral(" patches");
    const QFontMetrics metrics(font());
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(QSize(metrics.horizontalAdvance(text) + 8, metrics.height() + 4) * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(palette().color(QPalette::Highlight));
    {
        QPainter painter(&picture);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(QRect(QPoint(0, 0), picture.deviceIndependentSize().toSize()), Qt::AlignCenter,
                         text);
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(dragged);
    drag->setPixmap(picture);
    // Esc ends the drag without a drop; nothing is removed here after a move, the drop moved it.
    drag->exec(supportedActions, supportedActions.testFlag(Qt::MoveAction) ? Qt::MoveAction : Qt::CopyAction);
}

int PatchListView::DropRow(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return model() ? model()->rowCount() : 0;
    return pos.y() < visualRect(index).center().y() ? index.row() : index.row() + 1;
}

bool PatchListView::AcceptDrag(QDropEvent* event) {
    const auto* lines = qobject_cast<const PatchListModel*>(model());
    const Qt::DropAction action = lines ? lines->DropActionFor(event->mimeData()) : Qt::IgnoreAction;
    if (action == Qt::IgnoreAction || !(event->possibleActions() & action)) {
        event->ignore();
        return false;
    }
    event->setDropAction(action);
    event->accept();
    return true;
}

void PatchListView::dragEnterEvent(QDragEnterEvent* event) {
    QListView::dragEnterEvent(event);
    AcceptDrag(event);
}

void PatchListView::dragMoveEvent(QDragMoveEvent* event) {
    QListView::dragMoveEvent(event); // scrolls near the edges
    const int row = AcceptDrag(event) ? DropRow(event->position().toPoint()) : -1;
    if (row != dropRow_) {
        dropRow_ = row;
        viewport()->update();
    }
}

void PatchListView::dragLeaveEvent(QDragLeaveEvent* event) {
    QListView::dragLeaveEvent(event);
    dropRow_ = -1;
    viewport()->update();
}

void PatchListView::dropEvent(QDropEvent* event) {
    dropRow_ = -1;
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    if (!AcceptDrag(event))
        return;
    const int row = DropRow(event->position().toPoint());
    if (!model()->dropMimeData(event->mimeData(), event->dropAction(), row, 0, QModelIndex()))
        event->ignore();
}

void PatchListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    // Any change but SelectRows' own leaves the known rows behind.
    if (!selecting_) {
        rowsKnown_ = false;
        selectedRows_.clear();
    }
    // The view's own handling works out the screen area of every range; for a selection of many
    // scattered lines (an undo brings back 50,000) repainting the visible lines costs far less.
    constexpr qsizetype ManyRanges = 64;
    if (selected.size() + deselected.size() > ManyRanges)
        viewport()->update();
    else
        QListView::selectionChanged(selected, deselected);
    SelectionMoved();
}

void PatchListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // A list tells screen readers its current line has the focus even when it has not (its find
    // field has, and each keystroke moves the line): that noise is left out.
    if (hasFocus())
        QListView::currentChanged(current, previous);
    else
        QAbstractItemView::currentChanged(current, previous);
    // Moving the current line onto a selected one picks it; Ctrl+arrows move it without selecting.
    if (!current.isValid())
        return;
    const bool selected =
        rowsKnown_ ? std::binary_search(selectedRows_.cbegin(), selectedRows_.cend(), current.row())
                   : selectionModel()->isSelected(current);
    if (selected)
        SelectionMoved();
}

void PatchListView::paintEvent(QPaintEvent* event) {
    // An open editor is drawn around by the list's own painting.
    if (rowsKnown_ && state() != EditingState && model() && viewMode() == ListMode && flow() == TopToBottom &&
        !isWrapping())
        PaintLines(event->rect());
    else
        QListView::paintEvent(event);
    if (dropRow_ < 0 || !model())
        return;
    const int rows = model()->rowCount();
    int y = 0;
    if (rows > 0) {
        y = dropRow_ < rows ? visualRect(model()->index(dropRow_, 0)).top()
                            : visualRect(model()->index(rows - 1, 0)).bottom() + 1;
    }
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
}

void PatchListView::PaintLines(const QRect& area) {
    const int rows = model()->rowCount();
    if (rows == 0)
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    QPainter painter(viewport());
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QStyle::State state = option.state;
    const bool enabled = state.testFlag(QStyle::State_Enabled);
    const QModelIndex hover = viewport()->testAttribute(Qt::WA_Hover) && viewport()->underMouse()
                                  ? indexAt(viewport()->mapFromGlobal(QCursor::pos()))
                                  : QModelIndex();
    // Lines are never drawn wider than the view or its contents.
    const int widest = std::max(viewport()->width(), contentsSize().width()) - 2 * spacing();
    // The lines are of one height, one below the other: the first in the area is found from the
    // first line's place.
    const QRect top = visualRect(model()->index(0, 0));
    const int pitch = std::max(1, top.height() + spacing());
    int row = std::clamp((area.top() - top.top()) / pitch - 1, 0, rows - 1);
    auto known = std::lower_bound(selectedRows_.cbegin(), selectedRows_.cend(), row);
    for (; row < rows; ++row) {
        const QModelIndex index = model()->index(row, 0);
        option.rect = visualRect(index);
        if (option.rect.top() > area.bottom())
            break;
        if (!option.rect.intersects(area))
            continue;
        option.rect.setWidth(std::min(widest, option.rect.width()));
        option.state = state;
        while (known != selectedRows_.cend() && *known < row)
            ++known;
        if (known != selectedRows_.cend() && *known == row)
            option.state |= QStyle::State_Selected;
        if (enabled) {
            const bool lineEnabled = model()->flags(index).testFlag(Qt::ItemIsEnabled);
            option.state.setFlag(QStyle::State_Enabled, lineEnabled);
            option.palette.setCurrentColorGroup(lineEnabled ? QPalette::Normal : QPalette::Disabled);
        }
        if (focus && index == current)
            option.state |= QStyle::State_HasFocus;
        option.state.setFlag(QStyle::State_MouseOver, index == hover);
        option.features.setFlag(QStyleOptionViewItem::Alternate, alternatingRowColors() && (row & 1));
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

} // namespace quillbox
