#pragma once

#include "EntryChange.h"
#include "FieldMap.h"
#include "SetList.h"

#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace quillbox {

enum class ListId { Patches, Library };

// The kinds of file the dialogs pick; each kind starts in the folder last used for it.
enum class FileKind { Library, PatchFile };

// What a file command asks the file dialog for.
struct FileDialogRequest {
    QString dialogTitle;
    QString filter;         // description/pattern pairs, each followed by a NUL character
    bool readOnly = true;   // open-style dialog for one existing or new name
    bool forSaving = false; // the chosen name is to be written (the command asks before replacing)
    FileKind kind = FileKind::Library;
    QString fileName; // a name to offer; set, it makes the dialog a Save dialog
};

enum class MessageStyle {
    Plain,   // OK only, no icon, no title of its own
    Critical // OK only, critical-stop icon, the product name as title
};

enum class SaveAnswer { Yes, No, Cancel };

// "Restore unsaved changes to LIBRARY from TIME?": Restore (the default), Compare, Discard; Later
// when the box was closed without an answer (the recovery file stays).
enum class RecoveryAnswer { Restore, Compare, Discard, Later };
// A save would replace a pair that another program changed: overwrite it, save under another name,
// cancel, or cancel and set the library against the pair on disk entry by entry.
enum class DiskChangeAnswer { Overwrite, SaveAs, Cancel, Reconcile };

// What the library layer shows in the window's panes: the two lists, the details panel and the
// description box. None of these calls may call back into the controller.
class PanesView {
public:
    virtual ~PanesView() = default;

    // The list shows `LibraryController::ListCount(list)` lines, computed on demand from the store.
    virtual void RefillList(ListId list) = 0;
    // Entries of the list were removed, inserted or rearranged as `change` says; the list shows the
    // store as it now stands. A view that cannot do better refills.
    virtual void ListEntriesChanged(ListId list, const EntryChange& change) {
        static_cast<void>(change);
        RefillList(list);
    }
    // Line `index` of the list shows something else now (a rename); the list keeps its lines.
    virtual void ListLineChanged(ListId list, qsizetype index) = 0;
    // Selects a line without raising the list's click handling; -1 clears the selection.
    virtual void SelectListLine(ListId list, qsizetype index) = 0;
    // Selects several lines (ascending) with `current` as the line last moved to, without raising
    // the list's click handling.
    virtual void SelectListLines(ListId list, const QList<qsizetype>& positions, qsizetype current) = 0;
    // The lines' twin marks may have changed although no list was refilled: show them as they are.
    virtual void RefreshListMarks() = 0;
    virtual void SetListToolTip(ListId list, const QString& text) = 0;
    // Tool tip of the label above the list (lblPatches / lblLib).
    virtual void SetLabelToolTip(ListId list, const QString& text) = 0;

    virtual void ShowDetails(const DetailValues& values) = 0;
    virtual void EnableDetails(bool enabled) = 0;
    virtual void SetDescriptionText(const QString& text) = 0; // must not come back as a user edit
    virtual void SetDescriptionCounter(const QString& toolTip) = 0;
    virtual void SetNameText(const QString& text) = 0;
};

// The window's services to the library layer: caption, menus' states, messages and questions, file
// dialogs, printing and the status line. None of these calls may call back into the controller.
class ShellView {
public:
    virtual ~ShellView() = default;

    virtual void SetCaption(const QString& caption) = 0;
    virtual void SetFileCommandsEnabled(bool enabled) = 0; // the File items enabled by a load

    virtual void SetBusy(bool busy) = 0; // hourglass pointer
    virtual void ShowMessage(const QString& text, MessageStyle style = MessageStyle::Plain) = 0;
    virtual bool AskYesNo(const QString& text, const QString& title) = 0;
    virtual SaveAnswer AskSaveQuestion() = 0; // "Do you like to save now?" / "Library not saved"
    virtual RecoveryAnswer AskRestoreUnsaved(const QString& text) = 0;
    virtual DiskChangeAnswer AskChangedOnDisk(const QString& text) = 0;
    // The chosen path, or nullopt when the dialog was cancelled.
    virtual std::optional<QString> AskPath(const FileDialogRequest& request) = 0;
    // Opens the reconcile window: the library against the library or device patch file at `path`.
    // The window reads the file and applies the user's choices through the controller.
    virtual void OpenReconcile(const QString& path) = 0;
    // The filter (0-based, in the request's order) the user chose with the last path AskPath gave.
    virtual int ChosenFilter() const { return 0; }
    // Writes the set list as a paged PDF document titled `title`; a failure throws FileError and
    // leaves an existing file at `path` as it was.
    virtual void WriteSetListPdf(const QString& path, const QString& title,
                                 const std::vector<SetListRow>& rows, SetListPrint print) = 0;

    // A library file was loaded or saved (also under a new name) successfully.
    virtual void LibraryFileUsed(const QString& path) = 0;
    // One line on what the last command did ("Deleted 03:  CLEAN").
    virtual void ShowStatus(const QString& text) = 0;
    // `LibChanged` as it now stands: the window marks unsaved changes.
    virtual void SetModified(bool modified) = 0;
    // The steps that undo and redo would take back or do again; empty for none.
    virtual void ShowHistory(const QString& undoStep, const QString& redoStep) = 0;
};

// Everything the library layer asks the window to show or to ask. The window implements it; tests
// implement it with a recorder.
class LibraryView : public PanesView, public ShellView {};

} // namespace quillbox
