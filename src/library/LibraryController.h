#pragma once

#include "ChangeHistory.h"
#include "DetailsCommands.h"
#include "EarlierVersions.h"
#include "EntryCommands.h"
#include "FileCommands.h"
#include "ImportExportCommands.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryState.h"
#include "LibraryView.h"
#include "PatchComparison.h"
#include "Reconcile.h"
#include "ReconcileCommands.h"
#include "RecoveryCommands.h"
#include "StepRunner.h"
#include "TransferCommands.h"
#include "TwinCommands.h"
#include "TwinIndex.h"
#include "UnsavedKeeper.h"

#include <QDateTime>
#include <QSet>
#include <functional>
#include <memory>
#include <random>

namespace quillbox {

// The window's way into the library layer: it owns the library document and the command objects
// that carry out every command of the File, Patch and Library menus, the details panel, the lists
// and the description box, and forwards each call to the one that owns it. The window forwards user
// events here and shows what the commands tell its PanesView and ShellView.
class LibraryController {
public:
    using Clock = std::function<QDateTime()>;
    using ByteSource = std::function<quint8()>; // one random byte 0..254 per call

    // `appTitle` is the product name used in captions and dialog titles ("Quillbox").
    LibraryController(LibraryView& view, QString appTitle);
    // The window's panes and its shell apart: each command is given only the half it shows in.
    LibraryController(PanesView& panes, ShellView& shell, QString appTitle);

    const LibraryState& State() const { return doc_.State(); }
    // The library being edited: its entries, descriptions, history and twin counts.
    const LibraryDocument& Document() const { return doc_; }
    LibraryState& MutableState() { return doc_.StateForTest(); } // for tests that set up a situation

    // Test seams: the clock of "Random Modification" and of earlier versions; the random source.
    void SetClock(Clock clock);
    void SetRandomSource(ByteSource source);

    // Lists, as the window shows them.
    qsizetype ListCount(ListId list) const;
    QString ListLine(ListId list, qsizetype index) const;

    // Start-up: details disabled, LibChanged cleared, the File items that need a library disabled.
    void Startup();

    // File menu. Each returns normally; failures are shown through the view.
    void LoadLib(); // "Load (Library) "
    bool SaveLib(); // "Save (Library) "; false when it failed
    void SaveAsLib();
    void ImportLibrary();
    void ImportPatches();  // "Import PS02"
    void ExportLibrary();  // "Export Library -> PS02"
    void ExportSelected(); // "Export Selected -> PS02…": the selected library patches only
    // Loads or imports a path directly, as the commands do after their dialog (command line, drops).
    void LoadLibFromPath(const QString& path);
    void ImportPatchesFromPath(const QString& path);

    // Patch menu.
    void CopySelectedPatch();      // mnuPatch_Copy
    void ReplaceSelectedPatch();   // mnuPatch_Replace
    void AppendDifferentPatches(); // mnuPatch_AppendNew
    void AppendAllPatches();       // mnuPatch_AppentAll
    void UpdateLibWithSelected();  // mnuPatch_UpdateLib
    void UpdateAllPatchesInLib();  // mnuPatch_UpdateLibAll
    void PatchesDoubleClicked();   // same copy as the menu command

    // Library menu.
    void MoveUp();
    void MoveDown();
    void ClonePatch();
    void DeleteSelected();
    void DeleteAll();
    void RandomModification();
    // "Sort by Name": the selected entries, or every entry when one or none is selected, in order of
    // their names (a stable sort), descriptions with them; one step.
    void SortByName();
    // "&Rename…": writes `name` into the name field of library entry `index` (0-based); every other
    // bit stays. The name is padded with blanks to six characters; a name the device cannot hold is
    // refused with the reason in the status line and changes nothing. True when the entry now has
    // that name.
    bool RenameEntry(qsizetype index, const QString& name);

    // "&Tags…": adds `tag` ("#gig") to, or removes it from, the description of every selected library
    // entry, as one step. When a description cannot take it within 255 characters, the entries are
    // named in a message and nothing changes. True when the tag was added or removed.
    bool TagSelected(const QString& tag, bool add);

    // Lists and selection.
    void LibraryClicked(qsizetype index);
    void PatchesClicked(qsizetype index);
    void SelectPatch(bool fromLibrary);
    // A find hid the selected line of `list`: no line is selected any more, so no command acts on a
    // line the user cannot see; the panel and the description box, when they showed it, are emptied.
    void SelectionHidden(ListId list);
    // The user selected several lines (Shift or Ctrl with the mouse or the keys, Ctrl+A):
    // `positions` are the selected lines, `current` the one last clicked or moved to, which the
    // panel shows. One line (or none) is a click on `current`.
    void LibrarySelected(QList<qsizetype> positions, qsizetype current);
    void PatchesSelected(QList<qsizetype> positions, qsizetype current);
    // The selected lines of a list as the commands take them, ascending: one for a single selected
    // line, none without a selection.
    QList<qsizetype> Selection(ListId list) const;

    // Drops on the library list, each one step: library entries moved to stand before entry
    // `before` (ListCount: after the last), descriptions with them; patches of the patches list
    // copied there. `positions` need not be sorted; lines that do not exist are left out.
    void MoveEntriesTo(QList<qsizetype> positions, qsizetype before);
    void CopyPatchesTo(QList<qsizetype> positions, qsizetype before);
    // Patches from elsewhere (the collection): `images` (whole 18-byte images) with their
    // `descriptions` go in before library entry `before` (a drop), or with -1 after the selected
    // library entry, or at the end without one, as one step; the copies are selected.
    void CopyImagesIntoLibrary(const QByteArray& images, const QStringList& descriptions,
                               qsizetype before = -1);

    // Details panel: user picks and presses only.
    void DriveTypePicked(int entry);
    void CabTypePicked(int entry);
    void CabSpeakerPicked(int entry);
    void DriveMousePressed(bool checkedAtPress);
    void CabMousePressed(bool checkedAtPress);
    void SetChangeAll(bool all);

    // Description and name boxes. `text` uses CR LF line breaks.
    void DescriptionEdited(const QString& text);
    void DescriptionClicked();
    void NameKeyReleased(int keyCode, int shift);

    // Earlier versions of the loaded library, kept by every save; newest first.
    QList<EarlierVersion> LibEarlierVersions() const;
    // Loads version `id` of the loaded library as the library being edited, with unsaved changes;
    // nothing is written until the user saves. Unsaved changes bring up the closing question first.
    void LoadEarlierVersion(const QString& id);
    // Test seam: where earlier versions are kept (by default the user's data location).
    void SetVersionsFolder(const QString& folder) { files_.SetVersionsFolder(folder); }

    // Reconciling the library with another one (ReconcileCommands).
    // "Reconcile With…": asks for a library or device patch file and has the view open the
    // reconcile window on it.
    void ReconcileWith();
    // The library as it stands, as the left side of a reconciliation.
    ReconcileSide LibrarySide() const;
    // A library (".pslib") or device patch file with its descriptions. Throws FileError.
    ReconcileSide ReadReconcileSide(const QString& path);
    // Version `id` of the loaded library as a side. Throws FileError.
    ReconcileSide EarlierVersionSide(const QString& id) const;
    // What "Export Library -> PS02" and "Export Selected -> PS02…" wrote from the loaded library,
    // newest first, and one of them as a side (throws FileError): the base for a device patch file.
    QList<EarlierVersion> LibExportRecords() const;
    ReconcileSide ExportRecordSide(const QString& id) const;
    // Makes the library the result of `choices` over `rows` (of `left` against `right`) as one
    // step, "Reconcile with NAME"; nothing is written until the user saves. Refused with a message
    // when the library is no longer `left` (it changed while the user chose). True when applied.
    bool ApplyReconcile(const QString& name, const ReconcileSide& left, const ReconcileSide& right,
                        const std::vector<ReconcileRow>& rows, const std::vector<RowChoice>& choices);

    // Recovery of unsaved work (RecoveryCommands). While the library has unsaved changes a
    // recovery file is kept for it, written shortly after the last change; a save or a clean close
    // removes it. Each window keeps its own file and removes only its own. At start, every recovery
    // file whose window is gone is offered, newest first ("Restore unsaved changes to …"), and so
    // are a library's when it is loaded.
    void RecoverAtStart();
    // What the restore question's Compare shows: the recovered entries against the library on disk,
    // paired as the reconcile rows pair them.
    QString RecoveredDifferences(const UnsavedWork& work) const;
    // The window got the focus back: a status line when the loaded pair was changed on disk.
    void CheckChangedOnDisk();
    // Test seams: where recovery files are kept (by default the user's data location), the pause
    // after the last change before one is written, and the keeper itself (to wait for its writes).
    void SetUnsavedFolder(const QString& folder) { steps_.Unsaved().SetFolder(folder); }
    void SetUnsavedDelay(int milliseconds) { steps_.Unsaved().SetDelay(milliseconds); }
    UnsavedKeeper& Unsaved() { return steps_.Unsaved(); }
    // The pair on disk as the library was loaded or last saved.
    const PairIdentity& DiskIdentity() const { return steps_.DiskIdentity(); }

    // Twins: the kinds of twin (TwinKind bits) the patch of a line has among the library's entries,
    // and the tool tip naming their positions.
    unsigned LineTwinKinds(ListId list, qsizetype index) const;
    // The same without waiting: nullopt while the counts of a big change are still being made (the
    // lines are drawn without marks until then).
    std::optional<unsigned> LineTwinKindsIfCounted(ListId list, qsizetype index) const;
    QString LineTwinToolTip(ListId list, qsizetype index) const;
    // The 0-based positions of the library entries whose 18 bytes equal an earlier entry's.
    std::vector<qsizetype> DuplicatePositions() const;
    // mnuLibrary_SelectDuplicates: selects those entries in the library list.
    void SelectDuplicates();

    // Compare: an entry of one of the lists.
    using EntryRef = quillbox::EntryRef;
    // Two selected lines of one list (the list used last first), else the selected patch of the
    // patches list and the selected library entry; nullopt when neither is there.
    std::optional<std::pair<EntryRef, EntryRef>> SelectedPairToCompare() const;
    bool EntryExists(const EntryRef& entry) const;
    PatchComparison Compare(const EntryRef& left, const EntryRef& right) const;
    QString EntryLabel(const EntryRef& entry) const; // "Patches 03", "Library 12"
    QString EntryDescription(const EntryRef& entry) const;
    // "Take →": writes the value of `field` of entry `from` into library entry `libIndex`, one step.
    void TakeParameter(const EntryRef& from, qsizetype libIndex, BoundField field);

    // The set list: a row per library entry, titled with the library's file name.
    std::vector<SetListRow> SetList() const;
    QString SetListTitle() const;
    // mnuFile_ExportSetList: CSV or PDF, by the extension of the chosen name.
    void ExportSetList();

    // Closing: true when the window may close.
    bool QueryClose();

    // Edit menu: take back the last change to the library or do it again. Each restores the library,
    // the descriptions, the selection, the panel and the description box as they were.
    void Undo();
    void Redo();
    const ChangeHistory& History() const { return doc_.History(); }
    ChangeHistory& MutableHistory() { return doc_.HistoryForTest(); } // for tests that set a budget

    // Keeps DescArray in step with the library; false when it reported a failure.
    bool ModifyDescArray(qint32 arrayNr, qint32 arrayMode, const QString& descriptionText = QString());

    // The description of patch `p` (0-based) of the patches list, from PatchesDescFilePath.
    QString PatchDescription(qsizetype p) const;

    // The command objects, for the command table to call directly.
    LibraryLists& Lists() { return lists_; }
    StepRunner& Steps() { return steps_; }
    FileCommands& Files() { return files_; }
    ImportExportCommands& ImportsExports() { return imports_; }
    RecoveryCommands& Recovery() { return recovery_; }
    TransferCommands& Transfers() { return transfer_; }
    EntryCommands& Entries() { return entries_; }
    DetailsCommands& Details() { return details_; }
    ReconcileCommands& Reconciling() { return reconcile_; }
    TwinCommands& Twins() { return twins_; }

private:
    LibraryDocument doc_;
    LibraryLists lists_;
    StepRunner steps_;
    // The file commands and the recovery of unsaved work call each other: the file commands are
    // given the recovery commands before those are made, and neither uses the other while made.
    FileCommands files_;
    RecoveryCommands recovery_;
    ImportExportCommands imports_;
    TransferCommands transfer_;
    DetailsCommands details_;
    EntryCommands entries_;
    ReconcileCommands reconcile_;
    TwinCommands twins_;
};

} // namespace quillbox
