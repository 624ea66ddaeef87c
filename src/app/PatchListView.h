#pragma once

#include <QElapsedTimer>
#include <QListView>
#include <QPointer>
#include <vector>

namespace quillbox {

// A list box as the main window uses it. Lines are selected as in a file manager (Shift and Ctrl
// with the mouse and the arrow keys, Ctrl+A). Every change of the selection that code did not make
// through SelectRow/SelectRows or inside a Quiet section (the mouse, the keys, a screen reader or
// switch access through the accessibility interfaces) is reported once with linePicked, with the
// line last clicked or moved to; so is a click on a line that changes nothing. Other buttons never
// change the selection; the right button (and the menu key or Shift+F10) asks for the
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

    // A widget shown across the top of the list, above the lines (the find field), or none. It
    // belongs to the list's container and follows the list.
    void SetTopWidget(QWidget* widget);
    // Places the top widget again after it was shown or hidden.
    void PlaceTopWidget();

    void setModel(QAbstractItemModel* model) override;

    // Typing letters jumps to the next line whose name (not its number) starts with them.
    void keyboardSearch(const QString& search) override;

    // While one lives, changes of the list's lines and selection are the program's own and are not
    // reported (a refill, an update after a command).
    class Quiet {
    public:
        explicit Quiet(PatchListView* view) : view_(view) { ++view_->quiet_; }
        ~Quiet() { --view_->quiet_; }
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

    private:
        PatchListView* view_;
    };

Q_SIGNALS:
    // The user's selection changed (or a line was clicked): `row` is the current line.
    void linePicked(int row);
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
    void moveEvent(QMoveEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    // The selection changed: reported now, or once the mouse or key event in hand is handled.
    void SelectionMoved();
    void Report();
    // Handles one mouse or key event so that the selection changes it makes are reported once, at
    // its end.
    template <typename Handle> void AsOneInput(Handle handle);
    // Takes the drag's data when the model does, with the action it does (move or copy).
    bool AcceptDrag(QDropEvent* event);
    // Paints the lines in `area` as the list does, taking which are selected from selectedRows_.
    void PaintLines(const QRect& area);
    bool pressedOnRow_ = false;
    QPointer<QWidget> top_;
    QString typed_;
    QElapsedTimer lastTyped_;
    int quiet_ = 0;        // Quiet sections open
    int inputDepth_ = 0;   // mouse and key events being handled
    bool pending_ = false; // a change to report at the end of the input event
    bool reportedInPress_ = false;
    int dropRow_ = -1; // where the drop indicator is drawn; -1 none
    // The selected rows (ascending) while a selection of many scattered lines made by SelectRows
    // stands unchanged: the selection model answers whether a line is selected by going through all
    // its ranges, which for tens of thousands of them costs more than a frame per repaint.
    std::vector<int> selectedRows_;
    bool rowsKnown_ = false;
    bool selecting_ = false; // inside SelectRows
};

} // namespace quillbox
