#pragma once

#include "ShowCheck.h"
#include "ShowDocument.h"

#include <QList>
#include <QString>
#include <functional>

namespace quillbox {

// What the show's commands see of the show window and ask of it. None of these calls may call back
// into the commands.
class ShowView {
public:
    virtual ~ShowView() = default;

    virtual qsizetype CurrentSong() const = 0;         // -1 for none
    virtual qsizetype CurrentCue() const = 0;          // of the current song; -1 for none
    virtual QList<qsizetype> SelectedCues() const = 0; // ascending; the current cue when none is selected
    // The check of every cue as the window shows it, one row per song.
    virtual const ShowCheckResult& LastCheck() const = 0;
    // The show changed: show it anew where the document's Place() says.
    virtual void ShowChanged() = 0;
    // Selects `place` without changing the show and puts the focus on its list: the cues when it
    // names a cue, else the songs.
    virtual void SelectPlace(const ShowPlace& place) = 0;
    virtual void ShowStatus(const QString& text) = 0;
};

// The Song and Cue menus, "Add to Show" and the Edit menu's undo and redo, on the show's document
// and what the window selects. Each change is one step of the document.
class ShowCommands {
public:
    ShowCommands(ShowDocument& doc, ShowView& view) : doc_(doc), view_(view) {}

    // Runs an operation of the document and has the view show the result; false when it changed
    // nothing. Every change of the show made for the window goes through here.
    bool Apply(const std::function<bool(ShowDocument&)>& operation);

    void AddSong();
    void DeleteSongs();
    void MoveSong(int by); // -1 up, +1 down
    void DeleteCues();
    void MoveCues(int by);
    void UpdateCue();
    void KeepCue();
    // `cues` at the end of the current song; a show without songs gets "Song 1" with them, one step.
    void AddCuesToSelectedSong(const QList<ShowCue>& cues);
    void Undo();
    void Redo();

private:
    ShowDocument& doc_;
    ShowView& view_;
};

} // namespace quillbox
