#pragma once

// The window's side of the command table: the keys as a key sequence, and the commands only the
// window carries out.
#include "CommandTable.h"

#include <QKeySequence>

namespace quillbox {

class MainWindow;

inline QKeySequence Shortcut(const Command& command) {
    return command.HasShortcut() ? QKeySequence(command.shortcut) : QKeySequence();
}

// Carries out a command only the window has (the row's WindowCommand).
void RunWindowCommand(MainWindow& window, WindowCommand command);

} // namespace quillbox
