#include "ScreenFit.h"

#include "WindowSettings.h"

#include <QEvent>
#include <QWidget>
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
    const QRect placed = FittedOnScreen(inner, frame, owner_->frameGeometry(), areas_());
    if (placed != inner)
        window->setGeometry(placed);
}

bool ScreenFitter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog) && IsOver(widget, owner_))
            Fit(widget);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quillbox
