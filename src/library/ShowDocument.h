#pragma once

#include "FileIdentity.h"
#include "ShowRecord.h"

#include <QList>
#include <QString>
#include <functional>
#include <vector>

namespace quillbox {

class UnsavedWorkFiles;

// Where the window stood in a show: a song and one of its cues (0-based; -1 for none).
struct ShowPlace {
    qsizetype song = -1;
    qsizetype cue = -1;
    friend bool operator==(const ShowPlace&, const ShowPlace&) = default;
};

// A show being edited: its record, its file, its saved point and its history. It is the only
// writer of the record: the show window, the tool and the tests change a show through these
// operations, each one undo step named as the Edit menu shows it ("Undo Rename Song"). An operation
// that would change nothing (or is given a place the show does not have) records no step and
// returns false.
class ShowDocument {
public:
    ShowDocument();
    ~ShowDocument();

    const ShowRecord& Show() const { return show_; }
    const QString& Path() const { return path_; }
    // The show differs from the one last opened or saved.
    bool Changed() const { return changed_; }

    // A new, empty show with no file; the history starts again.
    void New(const QString& title = {});
    // `show` was read from `path`; the history starts again and the show is unchanged.
    void Open(const QString& path, ShowRecord show);
    // Unsaved work kept after a crash: the show as it was, changed, at `path` (empty: never saved).
    void Restore(const QString& path, ShowRecord show);
    // The show was written to `path`: that is the saved point now.
    void Saved(const QString& path);
    // The file at Path() is no longer the one opened or saved here (another program, a sync tool or
    // a second window wrote it), or, for recovered work, may not be: a save asks before replacing it.
    bool ChangedOnDisk() const;

    bool SetTitle(const QString& title);
    // `at` -1 appends. The new song is where Place() says.
    bool AddSong(qsizetype at, const QString& title);
    bool RenameSong(qsizetype song, const QString& title);
    // Typing into the notes: consecutive changes of one song's notes are one step.
    bool SetNotes(qsizetype song, const QString& notes);
    void EndTypingRun() { typingSong_ = -1; }
    bool RemoveSongs(QList<qsizetype> songs);
    // Moves song `from` so that it ends up at index `to` of the list after the move.
    bool MoveSong(qsizetype from, qsizetype to);
    // Inserts `cues` into `song` before cue `at` (-1: at the end). `song` one past the last makes a
    // new song at the end ("Song N") for them, in the same step: cues added to a show without songs.
    bool AddCues(qsizetype song, qsizetype at, const QList<ShowCue>& cues);
    bool RenameCue(qsizetype song, qsizetype cue, const QString& label);
    bool RemoveCues(qsizetype song, QList<qsizetype> cues);
    // Moves the cues `cues` of `song` (in their order) so that they end up before cue `before` of
    // `toSong` as it is now (-1: at its end); `toSong` may be `song`.
    bool MoveCues(qsizetype song, QList<qsizetype> cues, qsizetype toSong, qsizetype before);
    // Takes `cue` in place of the cue at (`song`, `index`): "Update from Library".
    bool ReplaceCue(qsizetype song, qsizetype index, const ShowCue& cue);

    bool CanUndo() const { return index_ > 0; }
    bool CanRedo() const { return index_ < qsizetype(steps_.size()); }
    QString UndoName() const; // "Rename Song"; empty when there is nothing to undo
    QString RedoName() const;
    bool Undo();
    bool Redo();
    // Where the last operation, undo or redo happened: what the window selects.
    ShowPlace Place() const { return place_; }

    // Unsaved work is kept in `files` after every change (under the show's path, or "" while it has
    // none) and removed when the show is saved or given up; none is kept without them.
    void KeepUnsavedIn(const UnsavedWorkFiles* files);
    // Removes the kept unsaved work (the user closed the show without saving it).
    void ForgetUnsaved();
    // Why the last keeping failed; empty when it worked.
    const QString& UnsavedProblem() const { return unsavedProblem_; }

private:
    struct Step {
        QString name;
        ShowRecord before;
        ShowRecord after;
        ShowPlace placeBefore;
        ShowPlace placeAfter;
        qsizetype typingSong = -1;
    };
    bool Record(const QString& name, ShowRecord after, ShowPlace placeAfter, qsizetype typingSong = -1);
    void Reset(const QString& path, ShowRecord show, bool changed);
    void KeepUnsaved();
    bool ValidSong(qsizetype song) const { return song >= 0 && song < show_.songs.size(); }

    ShowRecord show_;
    QString path_;
    FileIdentity disk_; // of the file at path_ when it was opened or saved here
    bool changed_ = false;
    std::vector<Step> steps_;
    qsizetype index_ = 0;
    qsizetype saved_ = 0; // -1 when no step leads back to the saved show
    qsizetype typingSong_ = -1;
    ShowPlace place_;
    const UnsavedWorkFiles* unsaved_ = nullptr;
    QString unsavedKey_; // the path the kept work is filed under
    bool unsavedKept_ = false;
    QString unsavedProblem_;
};

} // namespace quillbox
