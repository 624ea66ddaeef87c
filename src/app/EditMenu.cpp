#include "EditMenu.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace quillbox {

namespace {

enum class Key { Other, Undo, Redo };

Key Which(const QKeyEvent* event) {
    const QKeyCombination pressed = event->keyCombination();
    if (pressed == QKeyCombination(Qt::CTRL | Qt::Key_Z))
        return Key::Undo;
    if (pressed == QKeyCombination(Qt::CTRL | Qt::Key_Y) ||
        pressed == QKeyCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_Z))
        return Key::Redo;
    return Key::Other;
}

QString Caption(const char* verb, const QString& step) {
    QString text = QString::fromLatin1(verb);
    if (!step.isEmpty())
        text += QLatin1Char(' ') + QString(step).replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

bool Editable(QObject* box) {
    if (auto* line = qobject_cast<QLineEdit*>(box))
        return !line->isReadOnly();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(box))
        return !plain->isReadOnly();
    if (auto* rich = qobject_cast<QTextEdit*>(box))
        return !rich->isReadOnly();
    return false;
}

void EditText(QObject* box, Key key) {
    if (auto* line = qobject_cast<QLineEdit*>(box))
        key == Key::Undo ? line->undo() : line->redo();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(box))
        key == Key::Undo ? plain->undo() : plain->redo();
    else if (auto* rich = qobject_cast<QTextEdit*>(box))
        key == Key::Undo ? rich->undo() : rich->redo();
}

} // namespace

EditMenu::EditMenu(QMainWindow* window, QAction* before, std::function<void()> undo,
                   std::function<void()> redo)
    : QObject(window) {
    menu_ = new QMenu(QStringLiteral("&Edit"), window);
    menu_->setObjectName(QStringLiteral("mnuEdit"));
    menu_->menuAction()->setObjectName(QStringLiteral("mnuEdit"));
    window->menuBar()->insertMenu(before, menu_);
    undo_ = menu_->addAction(QString());
    undo_->setObjectName(QStringLiteral("mnuEdit_Undo"));
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo_ = menu_->addAction(QString());
    redo_->setObjectName(QStringLiteral("mnuEdit_Redo"));
    redo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(undo_, &QAction::triggered, this, [undo = std::move(undo)] { undo(); });
    connect(redo_, &QAction::triggered, this, [redo = std::move(redo)] { redo(); });
    ShowHistory({}, {});
}

void EditMenu::ShowHistory(const QString& undoStep, const QString& redoStep) {
    undo_->setText(Caption("&Undo", undoStep));
    undo_->setEnabled(!undoStep.isEmpty());
    redo_->setText(Caption("&Redo", redoStep));
    redo_->setEnabled(!redoStep.isEmpty());
}

void EditMenu::KeepKeysIn(QWidget* box) {
    box->installEventFilter(this);
}

bool EditMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Key which = Which(key);
    if (which == Key::Other)
        return false;
    if (!Editable(watched))
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Accepted, the key goes to the box as a key press instead of to the menu.
        key->accept();
        return true;
    }
    // The box's own undo and redo for every one of these keys, whatever the platform binds.
    EditText(watched, which);
    return true;
}

} // namespace quillbox
