#pragma once

#include <QElapsedTimer>
#include <QListView>
#include <QPointer>

namespace quillbox {

// A list box as the main window uses it. Lines are selected as in a file manager (Shift and Ctrl
// with the mouse and the arrow keys, Ctrl+A); a click on a line (left button), and changing the
// selection with the keyboard, report the line last clicked or moved to with rowClicked. Other
// buttons never change the selection; the right button (and the menu key or Shift+F10) asks for the
// list's menu. A click can select lines but never leave the list without a selected line. Selected
// lines can be dragged; where the model takes a drop, a line shows where the dragged lines will land.
class PatchListView : public QListView {
    Q_OBJECT
public:
    explicit PatchListView(QWidget* parent = nullptr);

    // The size of one line of a list holding `count` lines: wide enough for the position number and
    // a name of six of the widest characters, `outside` of them codes outside the device alphabet
    // (shown as "(" code ")"). A line wider than the list scrolls sideways.
    QSize LineSize(qsizetype count, int outside = 0) const;
    // The width the list needs to show such lines of a list of `count` lines without clipping them.
    int NeededWidth(qsizetype count) const;

    // Selects `row` without reporting it (-1: no selection).
    void SelectRow(qsizetype row);
    // Selects `rows` (ascending) with `current` as the current line, without reporting it.
    void SelectRows(const QList<int>& rows, int current);
    // The selected lines, ascending.
    QList<int> SelectedRows() const;
    // The line before which a drop at `pos` (viewport coordinates) lands; the line count below the
    // last line.
    int DropRow(const QPoint& pos) const;

    // A widget shown across the top of the list, above the lines (the find field), or none.
    void SetTopWidget(QWidget* widget);
    // Places the top widget again after it was shown or hidden.
    void PlaceTopWidget();

    // Typing letters jumps to the next line whose name (not its number) starts with them.
    void keyboardSearch(const QString& search) override;

Q_SIGNALS:
    void rowClicked(int row);
    void menuRequested(const QPoint& globalPos);
    // Delete, or Enter (Qt::Key_Return for either Enter key), pressed without modifiers.
    void commandKeyPressed(int key);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    // Takes the drag's data when the model does, with the action it does (move or copy).
    bool AcceptDrag(QDropEvent* event);
    bool pressedOnRow_ = false;
    QPointer<QWidget> top_;
    QString typed_;
    QElapsedTimer lastTyped_;
    QItemSelection selectionAtPress_;
    int dropRow_ = -1; // where the drop indicator is drawn; -1 none
};

} // namespace quillbox
