#include "ShowCommandTable.h"

#include "ShowCommands.h"

namespace quillbox {

namespace {

constexpr CommandPlace Item = CommandPlace::Item;
constexpr ShowKeyScope Window = ShowKeyScope::Window;
constexpr ShowKeyScope Songs = ShowKeyScope::SongsList;
constexpr ShowKeyScope Cues = ShowKeyScope::CuesList;
constexpr bool Step = true;
constexpr bool NoStep = false;

ShowCommand Menu(const char* name, const char* caption) {
    return {name, caption, {}, CommandPlace::Menu, Window, ShowEnabling::Always, NoStep, {}};
}

ShowCommand Separator(const char* name) {
    return {name, "-", {}, CommandPlace::Separator, Window, ShowEnabling::Always, NoStep, {}};
}

} // namespace

const std::vector<ShowCommand>& ShowCommandRows() {
    using C = ShowCommands&;
    using W = ShowWindowCommand;
    using E = ShowEnabling;
    const QKeyCombination none = QKeyCombination::fromCombined(0);
    // clang-format off
    static const std::vector<ShowCommand> rows = {
        Menu("mnuShow", "&File"),
        {"mnuShow_New", "&New", none, Item, Window, E::Always, NoStep, W::New},
        {"mnuShow_Open", "&Open…", Qt::CTRL | Qt::Key_O, Item, Window, E::Always, NoStep, W::Open},
        {"mnuShow_Save", "&Save", Qt::CTRL | Qt::Key_S, Item, Window, E::Always, NoStep, W::Save},
        {"mnuShow_SaveAs", "Save &As…", none, Item, Window, E::Always, NoStep, W::SaveAs},
        Separator("mnuShow_Sep1"),
        {"mnuShow_BuildDeviceFile", "&Build Device File…", none, Item, Window, E::WithSlots, NoStep,
            W::BuildDeviceFile},
        {"mnuShow_Print", "&Print Show…", Qt::CTRL | Qt::Key_P, Item, Window, E::Always, NoStep, W::Print},
        Separator("mnuShow_Sep2"),
        {"mnuShow_Close", "&Close", none, Item, Window, E::Always, NoStep, W::Close},

        Menu("mnuSong", "&Song"),
        {"mnuSong_Add", "&Add Song", Qt::CTRL | Qt::Key_N, Item, Window, E::Always, Step,
            [](C c) { c.AddSong(); }},
        {"mnuSong_Rename", "&Rename", Qt::Key_F2, Item, Songs, E::WithSong, Step, W::RenameSong},
        {"mnuSong_Delete", "&Delete", Qt::Key_Delete, Item, Songs, E::WithSong, Step,
            [](C c) { c.DeleteSongs(); }},
        {"mnuSong_MoveUp", "Move &Up", Qt::ALT | Qt::Key_Up, Item, Songs, E::SongAbove, Step,
            [](C c) { c.MoveSong(-1); }},
        {"mnuSong_MoveDown", "Move Do&wn", Qt::ALT | Qt::Key_Down, Item, Songs, E::SongBelow, Step,
            [](C c) { c.MoveSong(1); }},

        Menu("mnuCue", "&Cue"),
        {"mnuCue_Rename", "&Rename", Qt::Key_F2, Item, Cues, E::WithCue, Step, W::RenameCue},
        {"mnuCue_Delete", "&Delete", Qt::Key_Delete, Item, Cues, E::WithCue, Step,
            [](C c) { c.DeleteCues(); }},
        {"mnuCue_MoveUp", "Move &Up", Qt::ALT | Qt::Key_Up, Item, Cues, E::WithCue, Step,
            [](C c) { c.MoveCues(-1); }},
        {"mnuCue_MoveDown", "Move Do&wn", Qt::ALT | Qt::Key_Down, Item, Cues, E::WithCue, Step,
            [](C c) { c.MoveCues(1); }},
        Separator("mnuCue_Sep1"),
        {"mnuCue_Update", "Update from &Library", none, Item, Window, E::WithCue, Step,
            [](C c) { c.UpdateCue(); }},
        {"mnuCue_Keep", "&Keep", none, Item, Window, E::WithCue, NoStep, [](C c) { c.KeepCue(); }},
        {"mnuCue_CheckAgain", "&Check Again", Qt::Key_F5, Item, Window, E::Always, NoStep, W::CheckAgain},

        Menu("mnuView", "&View"),
        {"mnuView_StageView", "&Stage View", Qt::Key_F11, Item, Window, E::WithSlots, NoStep, W::StageView},
    };
    // clang-format on
    return rows;
}

const ShowCommand* FindShowCommand(QStringView name) {
    for (const ShowCommand& row : ShowCommandRows()) {
        if (name == QLatin1StringView(row.name))
            return &row;
    }
    return nullptr;
}

} // namespace quillbox
