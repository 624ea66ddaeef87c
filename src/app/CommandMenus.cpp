#include "CommandMenus.h"

#include "AccessibleMenuName.h"
#include "Commands.h"

#include <QAction>
#include <QDir>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace quillbox {

void MakeRecentItems(QMenu* menu, int count, const QString& name, QObject* context,
                     const std::function<void(const QString& path)>& open) {
    for (int i = 1; i <= count; ++i) {
        QAction* action = menu->addAction(QString());
        action->setObjectName(name + QLatin1Char('_') + QString::number(i));
        QObject::connect(action, &QAction::triggered, context, [action, open] { open(action->data().toString()); });
    }
}

void ShowRecentItems(QMenu* menu, const QStringList& paths) {
    const QList<QAction*> items = menu->actions();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString path = paths.value(i);
        QString shown = QDir::toNativeSeparators(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        items.at(i)->setText(QLatin1Char('&') + QString::number(i + 1) + QLatin1Char(' ') + shown);
        items.at(i)->setData(path);
        items.at(i)->setVisible(i < paths.size());
    }
    menu->menuAction()->setEnabled(!paths.isEmpty());
}

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

CommandMenus::CommandMenus(QMainWindow* window) : QObject(window), window_(window) {
    QMenu* current = nullptr;
    for (const Command& command : Commands()) {
        const QString name = S(command.name);
        QAction* action = nullptr;
        switch (command.place) {
        case CommandPlace::Menu:
            current = window_->menuBar()->addMenu(S(command.caption));
            current->setObjectName(name);
            current->menuAction()->setObjectName(name);
            if (command.accessibleName)
                SetAccessibleMenuName(current, S(command.accessibleName));
            if (name == QLatin1String("mnuPatch"))
                patch_ = current;
            continue;
        case CommandPlace::Separator:
            action = current->addSeparator();
            action->setParent(window_);
            break;
        case CommandPlace::Submenu: {
            // The recent libraries and shows: the window fills them.
            auto* submenu = new QMenu(S(command.caption), current);
            submenu->setObjectName(name);
            submenu->menuAction()->setObjectName(name);
            current->addMenu(submenu);
            submenus_.insert(name, submenu);
            continue;
        }
        case CommandPlace::Item:
        case CommandPlace::Key:
            action = new QAction(S(command.caption), window_);
            action->setShortcut(Shortcut(command));
            // The menu shows the key; only while the menu bar has the focus would it match, where it
            // would make the key ambiguous (see eventFilter).
            if (command.keyShownOnly)
                action->setShortcutContext(Qt::WidgetShortcut);
            if (command.place == CommandPlace::Item)
                current->addAction(action);
            else
                window_->addAction(action);
            break;
        }
        action->setObjectName(name);
        action->setEnabled(command.enabling != CommandEnabling::WithLibrary);
        actions_.insert(name, action);
    }
    actions_.value(QStringLiteral("mnuWindow_Top"))->setCheckable(true);
    window_->menuBar()->installEventFilter(this); // for the keys items only show, see eventFilter
}

void CommandMenus::SetFileCommandsEnabled(bool enabled) {
    for (const Command& command : Commands()) {
        if (command.enabling == CommandEnabling::WithLibrary)
            actions_.value(S(command.name))->setEnabled(enabled);
    }
}

bool CommandMenus::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) ||
        watched != window_->menuBar())
        return false;
    // While the menu bar has the focus (Alt, or a menu closed with Esc), an item's key that the menu
    // only shows would match beside its owner's, and an ambiguous key runs nothing: the item takes
    // the key itself, once.
    const auto* key = static_cast<QKeyEvent*>(event);
    for (const Command& command : Commands()) {
        if (!command.keyShownOnly || Shortcut(command) != QKeySequence(key->keyCombination()))
            continue;
        event->accept();
        if (event->type() == QEvent::KeyPress)
            actions_.value(S(command.name))->trigger();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quillbox
