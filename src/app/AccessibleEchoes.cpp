#include "AccessibleEchoes.h"

#include <QAccessible>
#include <QApplication>
#include <QHash>
#include <QMenu>
#include <QMenuBar>

namespace quillbox {

namespace {

QAccessible::UpdateHandler previousHandler = nullptr;
// What the bus was last told of each window: active or not.
QHash<QObject*, bool> toldActive;

void Filter(QAccessibleEvent* event);

void Forward(QAccessibleEvent* event) {
    if (previousHandler) {
        previousHandler(event);
        return;
    }
    // With no handler of its own, Qt hands the event to the platform's bridge.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(Filter);
}

bool IsEcho(QAccessibleEvent* event) {
    QObject* object = event->object();
    if (event->type() == QAccessible::StateChanged) {
        if (!static_cast<QAccessibleStateChangeEvent*>(event)->changedStates().active)
            return false;
        auto* window = qobject_cast<QWidget*>(object);
        QAccessibleInterface* node = event->accessibleInterface();
        if (!window || !window->isWindow() || !node)
            return false;
        const bool active = node->state().active;
        const auto told = toldActive.constFind(object);
        if (told != toldActive.constEnd() && *told == active)
            return true;
        if (told == toldActive.constEnd())
            QObject::connect(object, &QObject::destroyed, [object] { toldActive.remove(object); });
        toldActive.insert(object, active);
        return false;
    }
    if (event->type() == QAccessible::Focus && qobject_cast<QMenu*>(QApplication::activePopupWidget()))
        return !qobject_cast<QMenu*>(object) && !qobject_cast<QMenuBar*>(object);
    return false;
}

void Filter(QAccessibleEvent* event) {
    if (!IsEcho(event))
        Forward(event);
}

} // namespace

void DropAccessibleEchoes() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    previousHandler = QAccessible::installUpdateHandler(Filter);
}

} // namespace quillbox
