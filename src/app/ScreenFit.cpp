#include "ScreenFit.h"

#include "WindowSettings.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace quillbox {

namespace {

qint64 Overlap(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

QMargins FrameOf(const QWidget* window) {
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

bool IsOver(const QWidget* window, const QWidget* owner) {
    for (const QWidget* w = window->parentWidget(); w; w = w->parentWidget()) {
        if (w == owner)
            return true;
    }
    return false;
}

} // namespace

QRect FittedOnScreen(const QRect& geometry, const QMargins& frame, const QRect& ownerFrame,
                     const QList<QRect>& areas) {
    if (areas.isEmpty() || !geometry.isValid())
        return geometry;
    const auto area =
        std::max_element(areas.cbegin(), areas.cend(), [&ownerFrame](const QRect& a, const QRect& b) {
            return Overlap(ownerFrame, a) < Overlap(ownerFrame, b);
        });
    return WindowSettings::PlaceOnScreens(geometry, {Overlap(ownerFrame, *area) > 0 ? *area : areas.first()},
                                          frame);
}

ScreenFitter::ScreenFitter(QWidget* owner, std::function<QList<QRect>()> areas)
    : QObject(owner), owner_(owner), areas_(std::move(areas)) {}

void ScreenFitter::Fit(QWidget* window) const {
    // Before a window is first mapped its frame is not known yet; the owner's is the best guess.
    QMargins frame = FrameOf(window);
    if (frame.isNull())
        frame = FrameOf(owner_);
    const QRect inner = window->geometry();
    // A window the program did not place opens centred on the window that opened it. Qt's own
    // centring of a dialog keeps to the screen Qt knows, which is not always the one we fit to.
    const bool centre = !window->testAttribute(Qt::WA_Moved) && window->parentWidget();
    QRect wanted = inner;
    if (centre) {
        QRect outer = inner.marginsAdded(frame);
        outer.moveCenter(window->parentWidget()->window()->frameGeometry().center());
        wanted = outer.marginsRemoved(frame);
    }
    const QRect placed = FittedOnScreen(wanted, frame, owner_->frameGeometry(), areas_());
    // A window shown again keeps the place it had.
    if (placed != inner)
        window->setGeometry(placed);
}

bool ScreenFitter::eventFilter(QObject* watched, QEvent* event) {
    // Not at the widget's Show event: a geometry set there, before the widget's own show handling,
    // marks the window as placed, so a dialog no longer centres itself and stays where Qt first put
    // it (the screen's top-left corner); a message box also sizes itself only there. The window
    // system's window is shown after that and just before it is mapped: the size is final then.
    if (event->type() == QEvent::Show && watched->isWindowType()) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowHandle() != watched)
                continue;
            const Qt::WindowType type = widget->windowType();
            if ((type == Qt::Window || type == Qt::Dialog) && IsOver(widget, owner_))
                Fit(widget);
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quillbox
