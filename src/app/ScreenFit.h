#pragma once

#include <QList>
#include <QMargins>
#include <QObject>
#include <QRect>
#include <functional>

class QWidget;

namespace quillbox {

// Where a window whose inner geometry is `geometry` and whose frame is `frame` goes when it opens
// over an owner at `ownerFrame`: on the available area (of `areas`) that the owner overlaps most, the
// first when it overlaps none; no larger than that area with its frame, and wholly on it.
QRect FittedOnScreen(const QRect& geometry, const QMargins& frame, const QRect& ownerFrame,
                     const QList<QRect>& areas);

// Opens each window opened over `owner` (its own windows, dialogs, message and file boxes) centred on
// the window that opened it, unless the program placed it, and keeps it whole on the owner's screen
// as it is shown: on a small or scaled screen a window's designed size can be larger than the
// screen, and Qt centres a dialog on its owner even where that is off the screen.
class ScreenFitter : public QObject {
public:
    ScreenFitter(QWidget* owner, std::function<QList<QRect>()> areas);

    void Fit(QWidget* window) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* owner_;
    std::function<QList<QRect>()> areas_;
};

} // namespace quillbox
