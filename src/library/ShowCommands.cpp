#include "ShowCommands.h"

#include <algorithm>

namespace quillbox {

bool ShowCommands::Apply(const std::function<bool(ShowDocument&)>& operation) {
    const bool changed = operation(doc_);
    if (!doc_.UnsavedProblem().isEmpty())
        view_.ShowStatus(QStringLiteral("Unsaved changes not kept: ") + doc_.UnsavedProblem());
    if (changed)
        view_.ShowChanged();
    return changed;
}

void ShowCommands::AddSong() {
    const qsizetype current = view_.CurrentSong();
    const qsizetype at = current < 0 ? -1 : current + 1;
    const QString title = QStringLiteral("Song %1").arg(doc_.Show().songs.size() + 1);
    if (Apply([&](ShowDocument& doc) { return doc.AddSong(at, title); }))
        view_.SelectPlace({doc_.Place().song, -1});
}

void ShowCommands::DeleteSongs() {
    const qsizetype song = view_.CurrentSong();
    Apply([&](ShowDocument& doc) { return doc.RemoveSongs({song}); });
}

void ShowCommands::MoveSong(int by) {
    const qsizetype song = view_.CurrentSong();
    Apply([&](ShowDocument& doc) { return song >= 0 && doc.MoveSong(song, song + by); });
}

void ShowCommands::DeleteCues() {
    const qsizetype song = view_.CurrentSong();
    const QList<qsizetype> cues = view_.SelectedCues();
    Apply([&](ShowDocument& doc) { return !cues.isEmpty() && doc.RemoveCues(song, cues); });
}

void ShowCommands::MoveCues(int by) {
    const qsizetype song = view_.CurrentSong();
    const QList<qsizetype> cues = view_.SelectedCues();
    const QList<ShowSong>& songs = doc_.Show().songs;
    const qsizetype count = song >= 0 && song < songs.size() ? songs.at(song).cues.size() : 0;
    if (cues.isEmpty() || (by < 0 && cues.first() == 0) || (by > 0 && cues.last() + 1 >= count))
        return;
    // Before the cue above the first, or after the one below the last.
    const qsizetype before = by < 0 ? cues.first() - 1 : cues.last() + 2 >= count ? -1 : cues.last() + 2;
    Apply([&](ShowDocument& doc) { return doc.MoveCues(song, cues, song, before); });
}

void ShowCommands::UpdateCue() {
    const qsizetype song = view_.CurrentSong();
    const qsizetype cue = view_.CurrentCue();
    const QList<ShowSong>& songs = doc_.Show().songs;
    const QList<QList<CueCheck>>& checks = view_.LastCheck().songs;
    if (song < 0 || song >= songs.size() || cue < 0 || cue >= songs.at(song).cues.size() ||
        song >= checks.size() || cue >= checks.at(song).size())
        return;
    const CueCheck& check = checks.at(song).at(cue);
    const std::optional<ShowCue> updated = UpdatedFromSource(songs.at(song).cues.at(cue), check);
    if (!updated) {
        view_.ShowStatus(QStringLiteral("Nothing to update: the cue is ") + check.Words());
        return;
    }
    if (Apply([&](ShowDocument& doc) { return doc.ReplaceCue(song, cue, *updated); }))
        view_.ShowStatus(QStringLiteral("The cue took the patch its library holds now"));
}

void ShowCommands::KeepCue() {
    // The next cue after this one that is not ok, through the later songs.
    const QList<QList<CueCheck>>& songs = view_.LastCheck().songs;
    qsizetype song = view_.CurrentSong();
    qsizetype cue = view_.CurrentCue() + 1;
    for (; song >= 0 && song < songs.size(); ++song, cue = 0) {
        for (; cue < songs.at(song).size(); ++cue) {
            if (songs.at(song).at(cue).state != CueState::Ok) {
                view_.SelectPlace({song, cue});
                return;
            }
        }
    }
    view_.ShowStatus(QStringLiteral("Kept; every later cue is ok"));
}

void ShowCommands::AddCuesToSelectedSong(const QList<ShowCue>& cues) {
    if (cues.isEmpty()) {
        view_.ShowStatus(QStringLiteral("Nothing added: no patch is selected"));
        return;
    }
    // A show without songs gets its first with the cues, in one step.
    const qsizetype song = doc_.Show().songs.isEmpty() ? 0 : std::max<qsizetype>(view_.CurrentSong(), 0);
    if (Apply([&](ShowDocument& doc) { return doc.AddCues(song, -1, cues); }))
        view_.ShowStatus((cues.size() == 1 ? QStringLiteral("Added 1 cue to ")
                                           : QStringLiteral("Added %1 cues to ").arg(cues.size())) +
                         doc_.Show().songs.at(song).title);
}

void ShowCommands::Undo() {
    Apply([](ShowDocument& doc) { return doc.Undo(); });
}

void ShowCommands::Redo() {
    Apply([](ShowDocument& doc) { return doc.Redo(); });
}

} // namespace quillbox
