#pragma once

#include <QKeyCombination>
#include <QString>
#include <type_traits>
#include <vector>

namespace quillbox {

class LibraryController;

// The name a failure of the command named `name` is shown with: "mnuFile_LoadLib_Click". The main
// window's table and the show window's share it.
inline QString CommandHandlerName(const char* name) {
    return QString::fromUtf8(name) + QStringLiteral("_Click");
}

// What a row of a command table puts into the window (the show window's table uses Menu, Item and
// Separator).
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

// The commands only the window can carry out: each opens a dialog, another window or the menu bar,
// or works on what the window shows.
enum class WindowCommand {
    None,
    EarlierVersions,
    PrintSetList,
    Exit,
    Compare,
    Rename,
    SelectDuplicates,
    Tags,
    Top,
    Collection,
    Help,
    About,
    Find,
    MenuBar,
    Shows,
    NewShow,
    OpenShow,
    AddPatchesToShow, // the selection of the patches list
    AddLibraryToShow, // the selection of the library list
};

// What choosing a command does: a library command runs on the library's commands (the window, the
// library tests and anything else that holds a LibraryController run the same function); a window
// command is the window's.
struct CommandAction {
    void (*run)(LibraryController& library) = nullptr;
    WindowCommand window = WindowCommand::None;

    CommandAction() = default;
    CommandAction(WindowCommand command) : window(command) {}
    template <typename Run>
        requires std::is_convertible_v<Run, void (*)(LibraryController&)>
    CommandAction(Run library) : run(library) {}
};

// One command of the main window.
struct Command {
    const char* name;    // objectName of the action (and of the menu, for a menu)
    const char* caption; // as shown; "&" marks the access key
    QKeyCombination shortcut = QKeyCombination::fromCombined(0); // none when 0
    CommandPlace place = CommandPlace::Item;
    CommandEnabling enabling = CommandEnabling::Always;
    // Quillbox added the item to the window's first set of menus: it has an access key of its own.
    bool added = false;
    CommandAction action;
    CommandPopup popup = CommandPopup::None; // menus only
    const char* accessibleName = nullptr;    // menus only: what a screen reader says for a sign
    // The shortcut is another item's, which runs the same command: this item only shows it.
    bool keyShownOnly = false;

    bool HasShortcut() const { return shortcut.toCombined() != 0; }
    // The name a failure of the command is shown with: "mnuFile_LoadLib_Click".
    QString HandlerName() const { return CommandHandlerName(name); }
};

// The menu bar (the Edit menu apart, see the window's EditMenu) and the window's keys, in the order
// the menus show them: the one list of the window's commands.
const std::vector<Command>& Commands();
// The row named `name`, or nullptr.
const Command* FindCommand(QStringView name);

} // namespace quillbox
