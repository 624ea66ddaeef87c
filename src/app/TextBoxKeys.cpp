#include "TextBoxKeys.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace quillbox {

bool TakeTextBoxEditKey(QObject* watched, QEvent* event) {
    if ((event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) ||
        (!qobject_cast<QPlainTextEdit*>(watched) && !qobject_cast<QLineEdit*>(watched)))
        return false;
    // In a text box Shift+Ins and Shift+Del paste and cut, as in any text box, before they can
    // reach the Library menu's commands.
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const bool paste = key->key() == Qt::Key_Insert && modifiers == Qt::ShiftModifier;
    const bool cut = key->key() == Qt::Key_Delete && modifiers == Qt::ShiftModifier;
    if (!paste && !cut)
        return false;
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        // Not every desktop's key scheme gives these keys to the text boxes.
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            paste ? edit->paste() : edit->cut();
        else if (auto* box = qobject_cast<QPlainTextEdit*>(watched))
            paste ? box->paste() : box->cut();
    }
    return true;
}

} // namespace quillbox
