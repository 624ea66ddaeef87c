#include "ShowDocument.h"

#include "FileError.h"
#include "ShowFile.h"
#include "UnsavedWork.h"

#include <QDateTime>
#include <algorithm>

namespace quillbox {

namespace {

// Positions sorted, each once, all within [0, size); empty when any is outside.
QList<qsizetype> Valid(QList<qsizetype> positions, qsizetype size) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if (positions.isEmpty() || positions.front() < 0 || positions.back() >= size)
        return {};
    return positions;
}

} // namespace

ShowDocument::ShowDocument() = default;
ShowDocument::~ShowDocument() = default;

void ShowDocument::Reset(const QString& path, ShowRecord show, bool changed) {
    if (unsaved_ && !changed)
        ForgetUnsaved();
    show_ = std::move(show);
    path_ = path;
    // Recovered work started from a file that may have changed since: its save asks.
    disk_ = changed || path.isEmpty() ? FileIdentity() : IdentityOf(path);
    steps_.clear();
    index_ = 0;
    saved_ = changed ? -1 : 0;
    changed_ = changed;
    typingSong_ = -1;
    place_ = {show_.songs.isEmpty() ? -1 : 0, -1};
    if (changed)
        KeepUnsaved();
}

void ShowDocument::New(const QString& title) {
    Reset({}, ShowRecord{title, {}}, false);
}

void ShowDocument::Open(const QString& path, ShowRecord show) {
    Reset(path, std::move(show), false);
}

void ShowDocument::Restore(const QString& path, ShowRecord show) {
    Reset(path, std::move(show), true);
}

void ShowDocument::Saved(const QString& path) {
    if (unsaved_)
        ForgetUnsaved();
    path_ = path;
    disk_ = IdentityOf(path);
    saved_ = index_;
    changed_ = false;
    typingSong_ = -1;
}

bool ShowDocument::Record(const QString& name, ShowRecord after, ShowPlace placeAfter, qsizetype typingSong) {
    if (after == show_)
        return false;
    // Typing on in the same song's notes is one step with the typing before it.
    if (typingSong >= 0 && typingSong == typingSong_ && index_ > 0 && index_ == qsizetype(steps_.size()) &&
        steps_.back().typingSong == typingSong && saved_ != index_) {
        steps_.back().after = after;
        steps_.back().placeAfter = placeAfter;
    } else {
        steps_.erase(steps_.begin() + index_, steps_.end());
        if (saved_ > index_)
            saved_ = -1;
        steps_.push_back(Step{name, show_, after, place_, placeAfter, typingSong});
        ++index_;
    }
    typingSong_ = typingSong;
    show_ = std::move(after);
    place_ = placeAfter;
    changed_ = saved_ != index_;
    KeepUnsaved();
    return true;
}

bool ShowDocument::SetTitle(const QString& title) {
    ShowRecord after = show_;
    after.title = title;
    return Record(QStringLiteral("Show Title"), std::move(after), place_);
}

bool ShowDocument::AddSong(qsizetype at, const QString& title) {
    if (at < 0 || at > show_.songs.size())
        at = show_.songs.size();
    ShowRecord after = show_;
    after.songs.insert(at, ShowSong{title, {}, {}});
    return Record(QStringLiteral("Add Song"), std::move(after), {at, -1});
}

bool ShowDocument::RenameSong(qsizetype song, const QString& title) {
    if (!ValidSong(song))
        return false;
    ShowRecord after = show_;
    after.songs[song].title = title;
    return Record(QStringLiteral("Rename Song"), std::move(after), {song, -1});
}

bool ShowDocument::SetNotes(qsizetype song, const QString& notes) {
    if (!ValidSong(song))
        return false;
    ShowRecord after = show_;
    after.songs[song].notes = notes;
    return Record(QStringLiteral("Typing"), std::move(after), {song, -1}, song);
}

bool ShowDocument::RemoveSongs(QList<qsizetype> songs) {
    songs = Valid(std::move(songs), show_.songs.size());
    if (songs.isEmpty())
        return false;
    ShowRecord after = show_;
    for (auto it = songs.crbegin(); it != songs.crend(); ++it)
        after.songs.removeAt(*it);
    const qsizetype next = std::min(songs.front(), after.songs.size() - 1);
    return Record(songs.size() == 1 ? QStringLiteral("Delete Song") : QStringLiteral("Delete Songs"),
                  std::move(after), {next, -1});
}

bool ShowDocument::MoveSong(qsizetype from, qsizetype to) {
    if (!ValidSong(from) || !ValidSong(to) || from == to)
        return false;
    ShowRecord after = show_;
    after.songs.move(from, to);
    return Record(QStringLiteral("Move Song"), std::move(after), {to, -1});
}

bool ShowDocument::AddCues(qsizetype song, qsizetype at, const QList<ShowCue>& cues) {
    const bool newSong = song == show_.songs.size();
    if ((!newSong && !ValidSong(song)) || cues.isEmpty())
        return false;
    ShowRecord after = show_;
    if (newSong)
        after.songs.append(ShowSong{QStringLiteral("Song %1").arg(song + 1), {}, {}});
    const qsizetype size = after.songs[song].cues.size();
    if (at < 0 || at > size)
        at = size;
    QList<ShowCue>& list = after.songs[song].cues;
    for (qsizetype i = 0; i < cues.size(); ++i)
        list.insert(at + i, cues[i]);
    return Record(cues.size() == 1 ? QStringLiteral("Add Cue") : QStringLiteral("Add Cues"), std::move(after),
                  {song, at});
}

bool ShowDocument::RenameCue(qsizetype song, qsizetype cue, const QString& label) {
    if (!ValidSong(song) || cue < 0 || cue >= show_.songs[song].cues.size())
        return false;
    ShowRecord after = show_;
    after.songs[song].cues[cue].label = label;
    return Record(QStringLiteral("Rename Cue"), std::move(after), {song, cue});
}

bool ShowDocument::RemoveCues(qsizetype song, QList<qsizetype> cues) {
    if (!ValidSong(song))
        return false;
    cues = Valid(std::move(cues), show_.songs[song].cues.size());
    if (cues.isEmpty())
        return false;
    ShowRecord after = show_;
    QList<ShowCue>& list = after.songs[song].cues;
    for (auto it = cues.crbegin(); it != cues.crend(); ++it)
        list.removeAt(*it);
    const qsizetype next = std::min(cues.front(), list.size() - 1);
    return Record(cues.size() == 1 ? QStringLiteral("Delete Cue") : QStringLiteral("Delete Cues"), std::move(after),
                  {song, next});
}

bool ShowDocument::MoveCues(qsizetype song, QList<qsizetype> cues, qsizetype toSong, qsizetype before) {
    if (!ValidSong(song) || !ValidSong(toSong))
        return false;
    cues = Valid(std::move(cues), show_.songs[song].cues.size());
    if (cues.isEmpty())
        return false;
    const qsizetype targetSize = show_.songs[toSong].cues.size();
    if (before < 0 || before > targetSize)
        before = targetSize;
    ShowRecord after = show_;
    QList<ShowCue> moving;
    for (const qsizetype c : cues)
        moving.append(show_.songs[song].cues[c]);
    QList<ShowCue>& from = after.songs[song].cues;
    for (auto it = cues.crbegin(); it != cues.crend(); ++it) {
        from.removeAt(*it);
        // Taking out cues before the drop point moves the point up with them.
        if (toSong == song && *it < before)
            --before;
    }
    QList<ShowCue>& to = after.songs[toSong].cues;
    for (qsizetype i = 0; i < moving.size(); ++i)
        to.insert(before + i, moving[i]);
    return Record(moving.size() == 1 ? QStringLiteral("Move Cue") : QStringLiteral("Move Cues"), std::move(after),
                  {toSong, before});
}

bool ShowDocument::ReplaceCue(qsizetype song, qsizetype index, const ShowCue& cue) {
    if (!ValidSong(song) || index < 0 || index >= show_.songs[song].cues.size() || cue.image.size() != 18)
        return false;
    ShowRecord after = show_;
    after.songs[song].cues[index] = cue;
    return Record(QStringLiteral("Update from Library"), std::move(after), {song, index});
}

bool ShowDocument::ChangedOnDisk() const {
    return !path_.isEmpty() && IdentityOf(path_) != disk_;
}

QString ShowDocument::UndoName() const {
    return CanUndo() ? steps_[index_ - 1].name : QString();
}

QString ShowDocument::RedoName() const {
    return CanRedo() ? steps_[index_].name : QString();
}

bool ShowDocument::Undo() {
    if (!CanUndo())
        return false;
    const Step& step = steps_[--index_];
    show_ = step.before;
    place_ = step.placeBefore;
    typingSong_ = -1;
    changed_ = saved_ != index_;
    KeepUnsaved();
    return true;
}

bool ShowDocument::Redo() {
    if (!CanRedo())
        return false;
    const Step& step = steps_[index_++];
    show_ = step.after;
    place_ = step.placeAfter;
    typingSong_ = -1;
    changed_ = saved_ != index_;
    KeepUnsaved();
    return true;
}

void ShowDocument::KeepUnsavedIn(const UnsavedWorkFiles* files) {
    unsaved_ = files;
    if (changed_)
        KeepUnsaved();
}

void ShowDocument::KeepUnsaved() {
    if (!unsaved_)
        return;
    if (!changed_) {
        ForgetUnsaved();
        return;
    }
    // The work is filed under the show's path; a show renamed by Save As leaves its old file behind.
    if (unsavedKept_ && unsavedKey_ != path_)
        unsaved_->Remove(unsavedKey_);
    unsavedKey_ = path_;
    unsavedKept_ = true;
    try {
        unsaved_->Write(UnsavedWork{unsavedKey_, {}, QDateTime::currentDateTimeUtc(), ShowFile::Encode(show_), {}});
        unsavedProblem_.clear();
    } catch (const FileError& e) {
        unsavedProblem_ = e.description;
    }
}

void ShowDocument::ForgetUnsaved() {
    if (unsaved_ && unsavedKept_)
        unsaved_->Remove(unsavedKey_);
    unsavedKept_ = false;
    unsavedKey_.clear();
    unsavedProblem_.clear();
}

} // namespace quillbox
