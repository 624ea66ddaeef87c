#pragma once

#include "LibraryController.h"

#include <QDialog>
#include <functional>

class QGridLayout;
class QLabel;
class QPushButton;
class QTextBrowser;

namespace quillbox {

// frmCompare: two entries side by side, their positions, names, descriptions, the five decoded
// parameters (differences highlighted) and the 18 bytes in hexadecimal and bits, with the differing
// bits and the name and bound fields marked. Only "Take →" changes data: it asks `take` to write the
// left entry's value of one parameter into the right one, which must be a library entry.
class CompareWindow : public QDialog {
    Q_OBJECT
public:
    using Take = std::function<void(BoundField)>;
    CompareWindow(const LibraryController& controller, Take take, QWidget* parent = nullptr);

    // Compares `left` with `right` and shows them.
    void ShowEntries(const LibraryController::EntryRef& left, const LibraryController::EntryRef& right);
    // Shows the two entries again as they now stand (after a command, undo or redo).
    void Refresh();
    const LibraryController::EntryRef& Left() const { return left_; }
    const LibraryController::EntryRef& Right() const { return right_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QString BytesHtml(const PatchComparison& comparison) const;

    const LibraryController& controller_;
    Take take_;
    LibraryController::EntryRef left_, right_;
    QLabel* leftHead_ = nullptr;
    QLabel* rightHead_ = nullptr;
    QLabel* nameCaption_ = nullptr;
    QLabel* leftName_ = nullptr;
    QLabel* rightName_ = nullptr;
    QLabel* leftDescription_ = nullptr;
    QLabel* rightDescription_ = nullptr;
    QList<QLabel*> leftValues_, rightValues_, parameterLabels_;
    QList<QPushButton*> takeButtons_;
    QLabel* verdict_ = nullptr;
    QTextBrowser* bytes_ = nullptr;
};

} // namespace quillbox
