#pragma once

#include "CommandTable.h"

#include <QKeyCombination>
#include <QString>
#include <type_traits>
#include <vector>

namespace quillbox {

class ShowCommands;

// The show window's commands that only the window can carry out: files and dialogs, the editor of
// a name in place, the check of the libraries and the stage view.
enum class ShowWindowCommand {
    None,
    New,
    Open,
    Save,
    SaveAs,
    BuildDeviceFile,
    Print,
    Close,
    RenameSong,
    RenameCue,
    CheckAgain,
    StageView,
};

// Where a command's key works: anywhere in the window, or only while one list has the focus (there
// Delete, F2 and Alt+arrows mean the list's lines; elsewhere they keep their own meaning).
enum class ShowKeyScope { Window, SongsList, CuesList };

// When a command can be chosen, from what the window shows.
enum class ShowEnabling {
    Always,
    WithSong,  // a song is selected
    SongAbove, // the selected song is not the first
    SongBelow, // the selected song is not the last
    WithCue,   // the selected song has cues
    WithSlots, // the show has a cue somewhere
};

// What choosing a command does: a function of the show's commands, or a window command.
struct ShowCommandAction {
    void (*run)(ShowCommands& commands) = nullptr;
    ShowWindowCommand window = ShowWindowCommand::None;

    ShowCommandAction() = default;
    ShowCommandAction(ShowWindowCommand command) : window(command) {}
    template <typename Run>
    requires std::is_convertible_v<Run, void (*)(ShowCommands&)> ShowCommandAction(Run commands)
        : run(commands) {}
};

// One command of the show window.
struct ShowCommand {
    const char* name;    // objectName of the action (and of the menu, for a menu)
    const char* caption; // as shown; "&" marks the access key
    QKeyCombination shortcut = QKeyCombination::fromCombined(0); // none when 0
    CommandPlace place = CommandPlace::Item;                     // Menu, Item or Separator
    ShowKeyScope keys = ShowKeyScope::Window;
    ShowEnabling enabling = ShowEnabling::Always;
    // Choosing it changes the show as one undo step (a rename once its editor is done).
    bool oneStep = false;
    ShowCommandAction action;

    bool HasShortcut() const { return shortcut.toCombined() != 0; }
    QString HandlerName() const { return CommandHandlerName(name); }
};

// The show window's menu bar (the Edit menu apart: the window's EditMenu runs ShowCommands' Undo and
// Redo) in the order the menus show it.
const std::vector<ShowCommand>& ShowCommandRows();
// The row named `name`, or nullptr.
const ShowCommand* FindShowCommand(QStringView name);

} // namespace quillbox
