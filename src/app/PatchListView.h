#pragma once

#include <QListView>

namespace quillbox {

// A list box as the main window uses it. A click on a line (left button), and moving the selection
// with the keyboard, report the line with rowClicked. Other buttons never change the selection; the
// right button asks for the list's menu. A click can select a line but never clear the selection.
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

Q_SIGNALS:
    void rowClicked(int row);
    void menuRequested(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    bool pressedOnRow_ = false;
};

} // namespace quillbox
