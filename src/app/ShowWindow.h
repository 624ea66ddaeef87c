#pragma once

#include "EarlierVersions.h"
#include "ShowCheck.h"
#include "ShowDocument.h"
#include "UnsavedWork.h"

#include <QHash>
#include <QKeySequence>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLineEdit;
class QListView;
class QMimeData;
class QPlainTextEdit;

namespace quillbox {

class EditMenu;
class OpenSaveDLG;
class ShowCuesModel;
class ShowSongsModel;
class StatusLine;
struct FileDialogRequest;

// What the show window takes from the window that opened it.
struct ShowWindowHooks {
    // The cues for patches dragged from the main window's lists or the collection; nullopt when
    // `data` holds none.
    std::function<std::optional<QList<ShowCue>>(const QMimeData* dropped)> patchesIn;
    // Where else the collection knows a patch, while it is open; empty otherwise.
    std::function<OtherPlaces()> otherPlaces;
    // A show file was opened or saved: the recent shows list takes it.
    std::function<void(const QString& path)> showFileUsed;
    // The folder the dialogs start in (remembered between runs by the opener).
    std::function<QString()> lastFolder;
    std::function<void(const QString& folder)> setLastFolder;
    // Where replaced show and device files are kept.
    EarlierVersions versions;
    // Where unsaved work of a show is kept (a folder of its own, the main window's instance), and
    // whether it may be: only while that instance's lock is held, else another window would take
    // the work for a crashed window's.
    UnsavedWorkFiles unsaved;
    bool keepsUnsaved = true;
};

// frmShow: one show being edited. Its songs on the left, the selected song's cues on the right with
// their slots and checks, the song's notes below. Every change goes through the ShowDocument, one
// undo step each, and the lists then show where it happened.
class ShowWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ShowWindow(ShowWindowHooks hooks, QWidget* parent = nullptr);
    ~ShowWindow() override;

    const ShowDocument& Document() const { return doc_; }
    const ShowCheckResult& Checks() const { return checks_; }
    const ShowSlots& Slots() const { return slots_; }
    qsizetype CurrentSong() const;
    QList<qsizetype> SelectedCues() const;

    // The File menu.
    void NewShow();
    void OpenShow();
    // Opens the show at `path` after the closing question; a file that cannot be read is said so
    // and the show shown stays. False when nothing was opened.
    bool OpenShowFile(const QString& path);
    bool Save();
    bool SaveAs();
    void BuildDeviceFileCommand();
    void PrintCommand();
    void StageViewCommand();

    // The Song and Cue menus.
    void AddSong();
    void RenameSelected(bool cue);
    void DeleteSongs();
    void MoveSong(int by);
    void DeleteCues();
    void MoveCues(int by);
    void UpdateCue();
    void KeepCue();
    void CheckAgain();

    // "Add to Show": `cues` at the end of the selected song; a show without songs gets "Song 1".
    void AddCuesToSelectedSong(const QList<ShowCue>& cues);

    // Asks whether to save a changed show: true when the window may close (saved, or given up).
    bool QueryClose();
    // Offers the show a window that is gone left unsaved; at most once per window.
    void OfferLeftWork();

    QAction* Action(const QString& name) const { return actions_.value(name); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildMenus();
    // An item of `menu`; with `keyOwner` its key works only while that list has the focus.
    QAction* AddAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                       const std::function<void()>& run, QWidget* keyOwner = nullptr);
    // Shows the document as it is now, at Place(); `recheck` runs the check of every cue anew.
    void Refresh(bool recheck = false);
    // Selects `place` (a song of -1: the one shown) and shows its cues and notes.
    void GoTo(const ShowPlace& place);
    void FillNotes();
    void SongChosen();
    void UpdateCaption();
    void UpdateCommands();
    // The checks of cues not checked yet (new, or taken anew); with `all` every cue's again.
    void RunCheck(bool all);
    const CueCheck* CheckOf(qsizetype song, qsizetype cue) const;
    bool Drop(const QMimeData* dropped, qsizetype song, qsizetype before, bool ontoSongs);
    bool CanDrop(const QMimeData* dropped) const;
    std::optional<QString> AskPath(const FileDialogRequest& request);
    bool WriteTo(const QString& path);
    void Message(const QString& text);
    void Status(const QString& text);
    // Runs a user event's handling; a failure is shown as a message, never thrown into Qt.
    void Guarded(const char* handler, const std::function<void()>& work);
    // Runs an operation of the document and shows the result (`later`: once the event that asked is
    // done); false when it changed nothing.
    bool Apply(const std::function<bool(ShowDocument&)>& operation, bool later = false);

    ShowWindowHooks hooks_;
    ShowDocument doc_;
    ShowCheckResult checks_;
    // Checks by cue source, so that an edit checks only the cues it brings.
    QHash<QString, CueCheck> checked_;
    ShowSlots slots_;
    QListView* songs_ = nullptr;
    QListView* cues_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QLineEdit* title_ = nullptr;
    ShowSongsModel* songsModel_ = nullptr;
    ShowCuesModel* cuesModel_ = nullptr;
    EditMenu* editMenu_ = nullptr;
    StatusLine* status_ = nullptr;
    QHash<QString, QAction*> actions_;
    std::unique_ptr<OpenSaveDLG> fileDialog_;
    qsizetype shownSong_ = -1;
    bool filling_ = false; // the window is writing its controls: their signals are not edits
    bool offered_ = false;
};

} // namespace quillbox
