#include "PatchListView.h"

#include "PatchListModel.h"
#include "PatchName.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <algorithm>

namespace quillbox {

PatchListView::PatchListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Room for the twin mark beside each line, as tall as a capital letter and a bit.
    const int side = std::max(8, fontMetrics().capHeight() + 4);
    setIconSize(QSize(side, side));
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
    // Only mouse and key events report lines, so selecting from here reports nothing.
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
    if (widget)
        widget->setParent(this);
    PlaceTopWidget();
}

void PatchListView::PlaceTopWidget() {
    const bool shown = top_ && !top_->isHidden();
    const int height = shown ? top_->sizeHint().height() : 0;
    setViewportMargins(0, height, 0, 0);
    if (shown) {
        const QRect inside = contentsRect();
        top_->setGeometry(inside.left(), inside.top(), inside.width(), height);
        top_->raise();
    }
}

void PatchListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
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
    QListView::mousePressEvent(event);
}

void PatchListView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    QListView::mouseMoveEvent(event);
}

void PatchListView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
    // Dragging over the lines moves the selection, so the line reported is the one selected now.
    const QModelIndex current = currentIndex();
    if (pressedOnRow_ && current.isValid() && selectionModel()->isSelected(current))
        Q_EMIT rowClicked(current.row());
    pressedOnRow_ = false;
}

void PatchListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    pressedOnRow_ = indexAt(event->position().toPoint()).isValid();
    QListView::mouseDoubleClickEvent(event);
}

void PatchListView::keyPressEvent(QKeyEvent* event) {
    const QModelIndex before = currentIndex();
    const bool wasSelected = before.isValid() && selectionModel()->isSelected(before);
    QListView::keyPressEvent(event);
    const QModelIndex after = currentIndex();
    if (after.isValid() && selectionModel()->isSelected(after) && (after != before || !wasSelected))
        Q_EMIT rowClicked(after.row());
}

void PatchListView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // The mouse's menu came with the button press; the menu key brings it up here.
    if (event->reason() != QContextMenuEvent::Mouse)
        Q_EMIT menuRequested(event->globalPos());
}

QItemSelectionModel::SelectionFlags PatchListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    // Ctrl+click would clear the selection of a selected line; a list box keeps its line selected.
    if (flags.testFlag(QItemSelectionModel::Deselect) || flags.testFlag(QItemSelectionModel::Toggle))
        flags = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
}

} // namespace quillbox
