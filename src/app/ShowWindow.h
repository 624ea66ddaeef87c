#pragma once

#include "EarlierVersions.h"
#include "ShowCheck.h"
#include "ShowCommandTable.h"
#include "ShowCommands.h"
#include "ShowDocument.h"
#include "UnsavedWork.h"

#include <QHash>
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
// their slots and checks, the song's notes below. Its menus and keys come from the show's command
// table; the Song and Cue commands are ShowCommands over the document and this window's ShowView.
// Every change goes through the ShowDocument, one undo step each, and the lists then show where it
// happened.
class ShowWindow : public QMainWindow, public ShowView {
    Q_OBJECT
public:
    explicit ShowWindow(ShowWindowHooks hooks, QWidget* parent = nullptr);
    ~ShowWindow() override;

    const ShowDocument& Document() const { return doc_; }
    const ShowCheckResult& Checks() const { return checks_; }
    const ShowSlots& Slots() const { return slots_; }
    ShowCommands& Commands() { return commands_; }

    // ShowView
    qsizetype CurrentSong() const override;
    qsizetype CurrentCue() const override;
    QList<qsizetype> SelectedCues() const override;
    const ShowCheckResult& LastCheck() const override { return checks_; }
    void ShowChanged() override;
    void SelectPlace(const ShowPlace& place) override;
    void ShowStatus(const QString& text) override;

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

    // Opens the editor of the current song's title or cue's label in its list.
    void RenameSelected(bool cue);
    void CheckAgain();

    // Asks whether to save a changed show: true when the window may close (saved, or given up).
    bool QueryClose();
    // Offers the show a window that is gone left unsaved; at most once per window.
    void OfferLeftWork();

    QAction* Action(const QString& name) const { return actions_.value(name); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The menus and keys of the show's command table, and the Edit menu.
    void BuildMenus();
    void Run(ShowWindowCommand command);
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
    // Runs a user event's handling; a failure is shown as a message, never thrown into Qt.
    void Guarded(const char* handler, const std::function<void()>& work);
    // Runs an operation of the document through the commands and shows the result (`later`: once
    // the event that asked is done); false when it changed nothing.
    bool Apply(const std::function<bool(ShowDocument&)>& operation, bool later = false);

    ShowWindowHooks hooks_;
    ShowDocument doc_;
    ShowCommands commands_{doc_, *this};
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
    bool refreshLater_ = false; // a change is shown once the event that asked for it is done
};

} // namespace quillbox
