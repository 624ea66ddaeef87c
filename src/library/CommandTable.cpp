#include "CommandTable.h"

#include "LibraryController.h"

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
    return {name, caption, {}, CommandPlace::Menu, Always, Original, {}, popup, accessibleName};
}

Command KeyShownOnly(Command command) {
    command.keyShownOnly = true;
    return command;
}

Command Separator(const char* name) {
    return {name, "-", {}, CommandPlace::Separator, Always, Original, {}};
}

} // namespace

const std::vector<Command>& Commands() {
    using L = LibraryController&;
    const QKeyCombination none = QKeyCombination::fromCombined(0);
    // clang-format off
    static const std::vector<Command> commands = {
        Menu("mnuFile", "&File"),
        {"mnuFile_LoadLib", "Load (Library) ", Qt::CTRL | Qt::Key_L, Item, Always, Original,
            [](L c) { c.Files().LoadLib(); }},
        // The libraries loaded or saved last; the window fills it from its settings.
        {"mnuFile_Recent", "&Recent Libraries", none, Submenu, CommandEnabling::ByItself, Added, {}},
        {"mnuFile_SaveLib", "Save (Library) ", Qt::CTRL | Qt::Key_S, Item, WithLibrary,
            Original, [](L c) { c.Files().SaveLib(); }},
        {"mnuFile_SaveAsLib", "Save As (Library)", none, Item, WithLibrary, Original,
            [](L c) { c.Files().SaveAsLib(); }},
        {"mnuFile_EarlierVersions", "Earlier &Versions…", none, Item, WithLibrary, Added,
            WindowCommand::EarlierVersions},
        Separator("mnuFile_Sep1"),
        {"mnuFile_NewShow", "&New Show…", none, Item, Always, Added, WindowCommand::NewShow},
        {"mnuFile_OpenShow", "&Open Show…", none, Item, Always, Added, WindowCommand::OpenShow},
        // The shows opened or saved last; the window fills it from its settings.
        {"mnuFile_RecentShows", "Recen&t Shows", none, Submenu, CommandEnabling::ByItself, Added, {}},
        Separator("mnuFile_SepShows"),
        {"mnuFile_LoadPatches", "Import PS02", none, Item, WithLibrary, Original,
            [](L c) { c.ImportsExports().ImportPatches(); }},
        {"mnuFile_LoadLibToPatches", "Import Library", none, Item, WithLibrary, Original,
            [](L c) { c.ImportsExports().ImportLibrary(); }},
        {"mnuFile_ReconcileWith", "Reconcile &With…", none, Item, WithLibrary, Added,
            [](L c) { c.Reconciling().ReconcileWith(); }},
        Separator("mnuFile_Sep2"),
        {"mnuFile_SaveLibAsPatches", "Export Library -> PS02", none, Item, WithLibrary, Original,
            [](L c) { c.ImportsExports().ExportLibrary(); }},
        {"mnuFile_ExportSelected", "Export &Selected -> PS02…", none, Item, WithLibrary, Added,
            [](L c) { c.ImportsExports().ExportSelected(); }},
        Separator("mnuFile_Sep3"),
        {"mnuFile_ExportSetList", "E&xport Set List…", none, Item, WithLibrary, Added,
            [](L c) { c.ImportsExports().ExportSetList(); }},
        {"mnuFile_PrintSetList", "&Print Set List…", none, Item, WithLibrary, Added,
            WindowCommand::PrintSetList},
        Separator("mnuFile_Sep99"),
        {"mnuFile_Exit", "&Exit", none, Item, Always, Original, WindowCommand::Exit},

        Menu("mnuPatch", "&Patch", CommandPopup::PatchesList),
        {"mnuPatch_Copy", "&Copy Selected Patch -> Library", none, Item, Always, Original,
            [](L c) { c.Transfers().CopySelectedPatch(); }},
        {"mnuPatch_Replace", "&Replace Selected Patch -> Library", none, Item, Always, Original,
            [](L c) { c.Transfers().ReplaceSelectedPatch(); }},
        Separator("mnuPatch_Sep1"),
        {"mnuPatch_AppendNew", "Append All &Different Patches -> Library", none, Item, Always, Original,
            [](L c) { c.Transfers().AppendDifferentPatches(); }},
        {"mnuPatch_AppentAll", "&Append All Patches -> Library", none, Item, Always, Original,
            [](L c) { c.Transfers().AppendAllPatches(); }},
        Separator("mnuPatch_Sep2"),
        {"mnuPatch_UpdateLib", "Update Library with Selected Patch", none, Item, Always, Original,
            [](L c) { c.Transfers().UpdateLibWithSelected(); }},
        {"mnuPatch_UpdateLibAll", "Update All Patches in the Library", none, Item, Always, Original,
            [](L c) { c.Transfers().UpdateAllPatchesInLib(); }},
        Separator("mnuPatch_Sep3"),
        {"mnuPatch_AddToShow", "Add to S&how", none, Item, Always, Added, WindowCommand::AddPatchesToShow},
        // "C" is Copy's: Compare takes a letter no other item of the menu uses.
        {"mnuPatch_Compare", "Co&mpare…", Qt::CTRL | Qt::Key_K, Item, Always, Added,
            WindowCommand::Compare},

        Menu("mnuLibrary", "&Library", CommandPopup::LibraryList),
        {"mnuLibrary_MoveUp", "Move up", Qt::CTRL | Qt::Key_U, Item, Always, Original,
            [](L c) { c.Entries().MoveUp(); }},
        {"mnuLibrary_MoveDown", "Move down", Qt::CTRL | Qt::Key_D, Item, Always, Original,
            [](L c) { c.Entries().MoveDown(); }},
        Separator("mnuLibrary_Sep1"),
        {"mnuLibrary_Rename", "&Rename…", Qt::Key_F2, Item, Always, Added,
            WindowCommand::Rename},
        {"mnuLibrary_ClonePatch", "Clone Selected Patch", Qt::SHIFT | Qt::Key_Insert, Item,
            Always, Original, [](L c) { c.Entries().ClonePatch(); }},
        Separator("mnuLibrary_Sep2"),
        {"mnuLibrary_DelSelected", "Delete &Selected Patch", Qt::SHIFT | Qt::Key_Delete, Item,
            Always, Original, [](L c) { c.Entries().DeleteSelected(); }},
        {"mnuLibrary_DelAll", "Delete &ALL Patches", none, Item, Always, Original,
            [](L c) { c.Entries().DeleteAll(); }},
        Separator("mnuLibrary_Sep3"),
        {"mnuLibrary_Rnd", "Random Modification", none, Item, Always, Original,
            [](L c) { c.Entries().RandomModification(); }},
        Separator("mnuLibrary_Sep4"),
        {"mnuLibrary_SelectDuplicates", "Select &Duplicates", none, Item, Always, Added,
            WindowCommand::SelectDuplicates},
        {"mnuLibrary_SortByName", "Sort by &Name", none, Item, Always, Added,
            [](L c) { c.Entries().SortByName(); }},
        {"mnuLibrary_Tags", "&Tags…", none, Item, Always, Added, WindowCommand::Tags},
        {"mnuLibrary_AddToShow", "Add to S&how", none, Item, Always, Added,
            WindowCommand::AddLibraryToShow},
        // Ctrl+K is the Patch menu's Compare, the same command.
        KeyShownOnly({"mnuLibrary_Compare", "&Compare…", Qt::CTRL | Qt::Key_K, Item, Always,
            Added, WindowCommand::Compare}),

        Menu("mnuWindow", "Window"),
        {"mnuWindow_Top", "Top", none, Item, Always, Original, WindowCommand::Top},
        {"mnuWindow_Collection", "&Collection…", Qt::CTRL | Qt::SHIFT | Qt::Key_L, Item, Always,
            Added, WindowCommand::Collection},
        {"mnuWindow_Shows", "&Shows…", none, Item, Always, Added, WindowCommand::Shows},

        Menu("mnuHelp", "?", CommandPopup::None, "Help"),
        {"mnuHelp_Help", "&Help", Qt::Key_F1, Item, Always, Original,
            WindowCommand::Help},
        {"mnuHelp_About", "&About", none, Item, Always, Original, WindowCommand::About},

        // Keys without a menu item: they work wherever the focus is in the window.
        {"actFind", "Find", Qt::CTRL | Qt::Key_F, Key, Always, Added,
            WindowCommand::Find},
        {"actMenuBar", "Menu Bar", Qt::Key_F10, Key, Always, Added,
            WindowCommand::MenuBar},
    };
    // clang-format on
    return commands;
}

const Command* FindCommand(QStringView name) {
    for (const Command& command : Commands()) {
        if (name == QLatin1StringView(command.name))
            return &command;
    }
    return nullptr;
}

} // namespace quillbox
