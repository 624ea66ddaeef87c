#pragma once

#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QMainWindow;
class QWidget;

namespace quillbox {

// The Edit menu: "&Undo <step>" and "&Redo <step>" mirror the library's history. Their keys (Ctrl+Z;
// Ctrl+Y and Ctrl+Shift+Z) belong to a text box while it has the focus, where they take back or
// redo typing as in any text box; elsewhere they run the menu's commands.
class EditMenu : public QObject {
    Q_OBJECT
public:
    // Puts the menu into `window`'s menu bar before `before`.
    EditMenu(QMainWindow* window, QAction* before, std::function<void()> undo, std::function<void()> redo);

    // The steps that undo and redo would take; empty for none (the item is then disabled).
    void ShowHistory(const QString& undoStep, const QString& redoStep);
    // Lets `box` keep the keys while it has the focus.
    void KeepKeysIn(QWidget* box);

    QMenu* Menu() const { return menu_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* menu_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
};

} // namespace quillbox
