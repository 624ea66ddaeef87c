#pragma once

#include <QElapsedTimer>
#include <QListView>
#include <QPointer>

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

    // A widget shown across the top of the list, above the lines (the find field), or none.
    void SetTopWidget(QWidget* widget);
    // Places the top widget again after it was shown or hidden.
    void PlaceTopWidget();

    // Typing letters jumps to the next line whose name (not its number) starts with them.
    void keyboardSearch(const QString& search) override;

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
    void resizeEvent(QResizeEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    bool pressedOnRow_ = false;
    QPointer<QWidget> top_;
    QString typed_;
    QElapsedTimer lastTyped_;
};

} // namespace quillbox
