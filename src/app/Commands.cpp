#include "Commands.h"

#include "EarlierVersionsDialog.h"
#include "MainWindow.h"

namespace quillbox {

namespace {

constexpr CommandEnabling Always = CommandEnabling::Always;
constexpr CommandEnabling WithLibrary = CommandEnabling::WithLibrary;
constexpr CommandPlace Item = CommandPlace::Item;
constexpr CommandPlace Submenu = CommandPlace::Submenu;
constexpr CommandPlace Key = CommandPlace::Key;
constexpr bool Original = false;
constexpr bool Added = true;

Command Menu(const char* name, const char* caption, CommandPopup popup = CommandPopup::None,
             const char* accessibleName = nullptr) {
    return {name, caption, {}, CommandPlace::Menu, Always, Original, nullptr, popup, accessibleName};
}

Command KeyShownOnly(Command command) {
    command.keyShownOnly = true;
    return command;
}

Command Separator(const char* name) {
    return {name, "-", {}, CommandPlace::Separator};
}

LibraryController& C(MainWindow& window) {
    return window.Controller();
}

} // namespace

const std::vector<Command>& Commands() {
    using W = MainWindow&;
    const QKeySequence none;
    // clang-format off
    static const std::vector<Command> commands = {
        Menu("mnuFile", "&File"),
        {"mnuFile_LoadLib", "Load (Library) ", QKeySequence(Qt::CTRL | Qt::Key_L), Item, Always, Original,
            [](W w) { C(w).LoadLib(); }},
        // The libraries loaded or saved last; the window fills it from its settings.
        {"mnuFile_Recent", "&Recent Libraries", none, Submenu, CommandEnabling::ByItself, Added},
        {"mnuFile_SaveLib", "Save (Library) ", QKeySequence(Qt::CTRL | Qt::Key_S), Item, WithLibrary,
            Original, [](W w) { C(w).SaveLib(); }},
        {"mnuFile_SaveAsLib", "Save As (Library)", none, Item, WithLibrary, Original,
            [](W w) { C(w).SaveAsLib(); }},
        {"mnuFile_EarlierVersions", "Earlier &Versions…", none, Item, WithLibrary, Added,
            [](W w) { EarlierVersionsDialog(C(w), &w).exec(); }},
        Separator("mnuFile_Sep1"),
        {"mnuFile_LoadPatches", "Import PS02", none, Item, WithLibrary, Original,
            [](W w) { C(w).ImportPatches(); }},
        {"mnuFile_LoadLibToPatches", "Import Library", none, Item, WithLibrary, Original,
            [](W w) { C(w).ImportLibrary(); }},
        {"mnuFile_ReconcileWith", "Reconcile &With…", none, Item, WithLibrary, Added,
            [](W w) { C(w).ReconcileWith(); }},
        Separator("mnuFile_Sep2"),
        {"mnuFile_SaveLibAsPatches", "Export Library -> PS02", none, Item, WithLibrary, Original,
            [](W w) { C(w).ExportLibrary(); }},
        {"mnuFile_ExportSelected", "Export &Selected -> PS02…", none, Item, WithLibrary, Added,
            [](W w) { C(w).ExportSelected(); }},
        Separator("mnuFile_Sep3"),
        {"mnuFile_ExportSetList", "E&xport Set List…", none, Item, WithLibrary, Added,
            [](W w) { C(w).ExportSetList(); }},
        {"mnuFile_PrintSetList", "&Print Set List…", none, Item, WithLibrary, Added,
            [](W w) { w.PrintSetListCommand(); }},
        Separator("mnuFile_Sep99"),
        {"mnuFile_Exit", "&Exit", none, Item, Always, Original, [](W w) { w.close(); }},

        Menu("mnuPatch", "&Patch", CommandPopup::PatchesList),
        {"mnuPatch_Copy", "&Copy Selected Patch -> Library", none, Item, Always, Original,
            [](W w) { C(w).CopySelectedPatch(); }},
        {"mnuPatch_Replace", "&Replace Selected Patch -> Library", none, Item, Always, Original,
            [](W w) { C(w).ReplaceSelectedPatch(); }},
        Separator("mnuPatch_Sep1"),
        {"mnuPatch_AppendNew", "Append All &Different Patches -> Library", none, Item, Always, Original,
            [](W w) { C(w).AppendDifferentPatches(); }},
        {"mnuPatch_AppentAll", "&Append All Patches -> Library", none, Item, Always, Original,
            [](W w) { C(w).AppendAllPatches(); }},
        Separator("mnuPatch_Sep2"),
        {"mnuPatch_UpdateLib", "Update Library with Selected Patch", none, Item, Always, Original,
            [](W w) { C(w).UpdateLibWithSelected(); }},
        {"mnuPatch_UpdateLibAll", "Update All Patches in the Library", none, Item, Always, Original,
            [](W w) { C(w).UpdateAllPatchesInLib(); }},
        Separator("mnuPatch_Sep3"),
        // "C" is Copy's: Compare takes a letter no other item of the menu uses.
        {"mnuPatch_Compare", "Co&mpare…", QKeySequence(Qt::CTRL | Qt::Key_K), Item, Always, Added,
            [](W w) { w.CompareCommand(); }},

        Menu("mnuLibrary", "&Library", CommandPopup::LibraryList),
        {"mnuLibrary_MoveUp", "Move up", QKeySequence(Qt::CTRL | Qt::Key_U), Item, Always, Original,
            [](W w) { C(w).MoveUp(); }},
        {"mnuLibrary_MoveDown", "Move down", QKeySequence(Qt::CTRL | Qt::Key_D), Item, Always, Original,
            [](W w) { C(w).MoveDown(); }},
        Separator("mnuLibrary_Sep1"),
        {"mnuLibrary_Rename", "&Rename…", QKeySequence(Qt::Key_F2), Item, Always, Added,
            [](W w) { w.RenameCommand(); }},
        {"mnuLibrary_ClonePatch", "Clone Selected Patch", QKeySequence(Qt::SHIFT | Qt::Key_Insert), Item,
            Always, Original, [](W w) { C(w).ClonePatch(); }},
        Separator("mnuLibrary_Sep2"),
        {"mnuLibrary_DelSelected", "Delete &Selected Patch", QKeySequence(Qt::SHIFT | Qt::Key_Delete), Item,
            Always, Original, [](W w) { C(w).DeleteSelected(); }},
        {"mnuLibrary_DelAll", "Delete &ALL Patches", none, Item, Always, Original,
            [](W w) { C(w).DeleteAll(); }},
        Separator("mnuLibrary_Sep3"),
        {"mnuLibrary_Rnd", "Random Modification", none, Item, Always, Original,
            [](W w) { C(w).RandomModification(); }},
        Separator("mnuLibrary_Sep4"),
        {"mnuLibrary_SelectDuplicates", "Select &Duplicates", none, Item, Always, Added,
            [](W w) { w.SelectDuplicatesCommand(); }},
        {"mnuLibrary_SortByName", "Sort by &Name", none, Item, Always, Added, [](W w) { C(w).SortByName(); }},
        {"mnuLibrary_Tags", "&Tags…", none, Item, Always, Added, [](W w) { w.TagsCommand(); }},
        // Ctrl+K is the Patch menu's Compare, the same command.
        KeyShownOnly({"mnuLibrary_Compare", "&Compare…", QKeySequence(Qt::CTRL | Qt::Key_K), Item, Always,
            Added, [](W w) { w.CompareCommand(); }}),

        Menu("mnuWindow", "Window"),
        {"mnuWindow_Top", "Top", none, Item, Always, Original, [](W w) { w.TopCommand(); }},
        {"mnuWindow_Collection", "&Collection…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), Item, Always,
            Added, [](W w) { w.CollectionCommand(); }},

        Menu("mnuHelp", "?", CommandPopup::None, "Help"),
        {"mnuHelp_Help", "&Help", QKeySequence(Qt::Key_F1), Item, Always, Original,
            [](W w) { w.HelpCommand(); }},
        {"mnuHelp_About", "&About", none, Item, Always, Original, [](W w) { w.AboutCommand(); }},

        // Keys without a menu item: they work wherever the focus is in the window.
        {"actFind", "Find", QKeySequence(Qt::CTRL | Qt::Key_F), Key, Always, Added,
            [](W w) { w.FindCommand(); }},
        {"actMenuBar", "Menu Bar", QKeySequence(Qt::Key_F10), Key, Always, Added,
            [](W w) { w.MenuBarCommand(); }},
    };
    // clang-format on
    return commands;
}

} // namespace quillbox
