#pragma once

#include <QKeySequence>
#include <vector>

namespace quillbox {

class MainWindow;

// What a row of the command table puts into the window.
enum class CommandPlace {
    Menu,      // a top-level menu of the menu bar; it holds the rows after it up to the next menu
    Item,      // an item of the menu above it
    Separator, // a line between items
    Submenu,   // a menu inside the menu above it, filled by the window itself
    Key,       // no menu item: a key that works wherever the focus is in the window
};

// When a command can be chosen.
enum class CommandEnabling {
    Always,
    WithLibrary, // from the first successful load on (the window's SetFileCommandsEnabled)
    ByItself,    // the window switches it (a submenu while it has nothing to show is disabled)
};

// The list whose right-click menu a top-level menu also is.
enum class CommandPopup { None, PatchesList, LibraryList };

// One command of the main window.
struct Command {
    const char* name;    // objectName of the action (and of the menu, for a menu)
    const char* caption; // as shown; "&" marks the access key
    QKeySequence shortcut;
    CommandPlace place;
    CommandEnabling enabling = CommandEnabling::Always;
    // Quillbox added the item to the window's first set of menus: it has an access key of its own.
    bool added = false;
    // What choosing it does; a failure is shown with the name + "_Click".
    void (*run)(MainWindow& window) = nullptr;
    CommandPopup popup = CommandPopup::None; // menus only
    const char* accessibleName = nullptr;    // menus only: what a screen reader says for a sign
    // The shortcut is another item's, which runs the same command: this item only shows it.
    bool keyShownOnly = false;
};

// The menu bar (the Edit menu apart, see EditMenu) and the window's keys, in the order the menus show
// them.
const std::vector<Command>& Commands();

} // namespace quillbox
