#include "AccessibleWindow.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace quillbox {

namespace {

const char WindowRoleProperty[] = "quillboxAccessibleWindow";

QAccessibleInterface* WindowRoleFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->isWindow() && widget->property(WindowRoleProperty).toBool())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

void AnnounceAsWindow(QWidget* window) {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(WindowRoleFactory);
    }
    window->setProperty(WindowRoleProperty, true);
}

} // namespace quillbox
