#include "AccessibleMenuName.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

namespace quillbox {

namespace {

const char* const NameProperty = "quillboxAccessibleName";

// A menu bar entry as Qt shows one to screen readers, with a name other than its caption.
class NamedMenuBarEntry : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    NamedMenuBarEntry(QMenuBar* bar, QAction* action) : bar_(bar), action_(action) {}

    bool isValid() const override { return bar_ && action_; }
    QObject* object() const override { return action_; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_); }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && action_->menu() ? QAccessible::queryAccessibleInterface(action_->menu())
                                             : nullptr;
    }
    int childCount() const override { return action_->menu() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == action_->menu() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* menu = child(0);
        return menu && menu->rect().contains(x, y) ? menu : nullptr;
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? action_->property(NameProperty).toString() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        return bar_->actionGeometry(action_).translated(bar_->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !bar_->isVisible() || !action_->isVisible();
        state.focused = bar_->activeAction() == action_;
        state.disabled = !action_->isEnabled();
        state.hasPopup = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString& name) override {
        if (name != showMenuAction() || !action_->isEnabled() || !action_->menu())
            return;
        if (action_->menu()->isVisible())
            action_->menu()->hide();
        else
            bar_->setActiveAction(action_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QMenuBar> bar_;
    QPointer<QAction> action_;
};

QAccessibleInterface* NamedEntries(const QString& className, QObject* object) {
    auto* action = qobject_cast<QAction*>(object);
    if (className != QLatin1String("QAction") || !action || !action->property(NameProperty).isValid())
        return nullptr;
    for (QObject* owner : action->associatedObjects()) {
        if (auto* bar = qobject_cast<QMenuBar*>(owner))
            return new NamedMenuBarEntry(bar, action);
    }
    return nullptr;
}

} // namespace

void SetAccessibleMenuName(QMenu* menu, const QString& name) {
    static const bool installed = [] {
        QAccessible::installFactory(NamedEntries);
        return true;
    }();
    (void)installed;
    menu->setAccessibleName(name);
    menu->menuAction()->setProperty(NameProperty, name);
}

} // namespace quillbox
