#pragma once

#include "ChangeHistory.h"
#include "DescriptionFile.h"
#include "EarlierVersions.h"
#include "LibraryDocument.h"
#include "LibraryState.h"
#include "LibraryView.h"
#include "PatchComparison.h"
#include "Reconcile.h"
#include "TwinIndex.h"
#include "UnsavedKeeper.h"

#include <QDateTime>
#include <QSet>
#include <functional>
#include <memory>
#include <random>

namespace quillbox {

// Owns the library state and carries out every command of the File, Patch and Library menus, the
// details panel, the lists and the description box. The window forwards user events here and shows
// what the controller tells its LibraryView.
class LibraryController {
public:
    using Clock = std::function<QDateTime()>;
    using ByteSource = std::function<quint8()>; // one random byte 0..254 per call

    // `appTitle` is the product name used in captions and dialog titles ("Quillbox").
    LibraryController(LibraryView& view, QString appTitle);
    // The window's panes and its shell apart: each command is given only the half it shows in.
    LibraryController(PanesView& panes, ShellView& shell, QString appTitle);

    const LibraryState& State() const { return state_; }
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
    void SetVersionsFolder(const QString& folder) { versionsFolder_ = folder; }

    // Reconciling the library with another one (LibraryReconcile.cpp).
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

    // Recovery of unsaved work (LibraryUnsaved.cpp). While the library has unsaved changes a
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
    void SetUnsavedFolder(const QString& folder) { unsaved_->SetFolder(folder); }
    void SetUnsavedDelay(int milliseconds) { unsaved_->SetDelay(milliseconds); }
    UnsavedKeeper& Unsaved() { return *unsaved_; }
    // The pair on disk as the library was loaded or last saved.
    const PairIdentity& DiskIdentity() const { return diskIdentity_; }

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
    struct EntryRef {
        ListId list = ListId::Patches;
        qsizetype index = -1;
        friend bool operator==(const EntryRef&, const EntryRef&) = default;
    };
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
    const ChangeHistory& History() const { return history_; }
    ChangeHistory& MutableHistory() { return doc_.HistoryForTest(); } // for tests that set a budget

    // Keeps DescArray in step with the library; false when it reported a failure.
    bool ModifyDescArray(qint32 arrayNr, qint32 arrayMode, const QString& descriptionText = QString());

    // The description of patch `p` (0-based) of the patches list, from PatchesDescFilePath.
    QString PatchDescription(qsizetype p) const;

private:
    // What a recorded command tells: its step's name (the entry's list line where it has one), the
    // status line when it changed the library, and the status line when it changed nothing.
    struct StepOutcome {
        QString step;
        QString done;
        QString nothing;
    };
    // Runs `body` as one step of the history: the state before and after are compared and only what
    // differs is kept (a body that only rearranged the entries keeps where they went); a body that
    // changes nothing makes no step. `typingEntry` >= 0 marks typing into that description
    // element, which joins the typing step before it.
    void AsStep(const std::function<StepOutcome()>& body, qsizetype typingEntry = -1);
    // The twin counts of the library as it stands (counted again where it changed).
    const TwinIndex& Twins() const;
    // "…: 12 identical to library patches, 3 same name with other settings, 25 new."
    QString ImportAccounting() const;
    const QByteArray& Store(ListId list) const;
    PanelState Panel() const;
    // Shows the library as a step left it: the list, the selected line, the panel and the box.
    void RestorePanel(const PanelState& panel);
    void ShowHistory();
    QString LibLine(qsizetype k) const; // the list line of library entry k, without trailing blanks
    QString PatchesName(qsizetype p) const;
    QString EntryNumber(qsizetype k) const;        // "04" for entry 3
    static QString ShortPath(const QString& path); // "…/live.pslib"
    static QString Patches(qsizetype count);       // "1 patch", "120 patches"

    // The commands as they change the library, before they are recorded.
    void DoCopySelectedPatch();
    void DoReplaceSelectedPatch();
    void DoAppendDifferentPatches();
    void DoAppendAllPatches();
    void DoUpdateLibWithSelected();
    void DoUpdateAllPatchesInLib();
    void DoPatchesDoubleClicked();
    void DoRandomModification();

    // The multi-entry commands, run when several lines are selected (LibrarySelection.cpp).
    void CopySelectedPatches(const QList<qsizetype>& patches);
    void MoveSelectionBy(int direction); // -1 up, +1 down
    void RandomizeSelection();
    // Patches of the patches list as the library stores them, their descriptions appended to
    // `descriptions`.
    QByteArray PatchImages(const QList<qsizetype>& patches, QStringList* descriptions) const;
    QByteArray RandomImage(qsizetype k);
    QString RandomDescription() const;
    // Writes `images` to a device patch file the user picks and `descriptions` (element 0 unused)
    // to its side file.
    void ExportImages(const QByteArray& images, const QStringList& descriptions, qsizetype count);
    // Shows the library after an entry operation: the list learns what changed, and `positions` are
    // selected with `current` as the line shown.
    void ShowLibraryChange(const EntryChange& change, const QList<qsizetype>& positions, qsizetype current);
    void SelectLibraryLines(const QList<qsizetype>& positions, qsizetype current);
    QString Lines(const QList<qsizetype>& positions) const; // "3 patches", or the one entry's line
    // The one entry's line, or "3 patches: 02: A, 05: B, 09: C", naming at most three.
    QString NamedLines(const QList<qsizetype>& positions) const;

    // List refills. Refilling the library list optionally selects a line from code, which runs the
    // list's click handling as a user click would; with `change`, the list updates only that.
    void RefillLibList(qsizetype select = -1, const EntryChange* change = nullptr);
    void RefillPatchesList();
    void SelectLibraryLine(qsizetype index);
    void ShowSelectionOrNothing();
    // The details panel shows nothing editable any more (the entry it showed is gone, hidden or
    // belongs to a list that was filled anew): disable and empty it and the description box.
    void ShowNothingEditable();
    void ClearDescriptionBox();
    bool PanelShowsLibraryEntry() const;
    void RefreshPanelIfShowing(qsizetype libIndex, bool withDescription);
    void DescriptionChanged(const QString& text);

    void ApplyBoundChange(BoundField field, int value);
    void WriteBoundChange(BoundField field, int value, const QList<qsizetype>& selected);
    void ApplyDetailChange();

    // Patches can only go into a loaded library: one that was never loaded could not be saved, and
    // closing would drop it without a question. Tells the user so and returns false.
    bool LibraryReadyForTransfer();
    bool CopyPatchToLib();
    void ReplaceLibPatch(bool withDescription);
    // Patch `p` of the patches list as the library stores it: always 18 bytes, an entry cut short
    // by the end of its file padded with blanks, so that it can never shift the entries after it.
    QByteArray PatchForLibrary(qsizetype p) const;

    // File commands: busy pointer around `body`; every failure is shown as a plain message.
    bool RunFileCommand(const std::function<void()>& body);
    QString AskPathOrCancel(const FileDialogRequest& request);
    bool ConfirmReplace(const QString& path);
    // The closing question, asked when unsaved changes would be lost: true when the caller may go on.
    bool OfferToSave();
    void ShowImportedPatches(QByteArray patches, const QString& path);
    void LoadLibBody(const QString& path);
    void ImportPatchesBody(const QString& path);
    // Writes the library and its side file to `libPath`, then keeps the pair it replaced as an
    // earlier version; returns why that version could not be kept (empty when it was, or when there
    // was nothing to keep). The save goes on either way.
    QString WriteLibraryFiles(const QString& libPath);
    // Saves the pair; returns why the pair it replaced could not be kept (empty when it was).
    QString SavePair(const QString& libPath, const QByteArray& libBytes,
                     const std::optional<QByteArray>& sideBytes);
    EarlierVersions Versions() const;
    static std::optional<QByteArray> ExistingSideFile(const QString& sideFilePath);
    static std::optional<QByteArray> SideFileFor(const std::optional<QByteArray>& existing,
                                                 const QStringList& descriptions, qsizetype count);
    // Finishes or undoes a save of `path` and its side file that was interrupted, and tells the user.
    void RecoverInterruptedSave(const QString& path, bool saving = false);

    // Recovery of unsaved work and the changed-on-disk check (LibraryUnsaved.cpp).
    std::optional<UnsavedWork> UnsavedNow() const;
    // After every change: keeps the recovery file while there are unsaved changes, removes it once
    // there are none.
    void KeepUnsaved();
    // Removes the recovery file of `libPath` and waits until it is gone.
    void ForgetUnsaved(const QString& libPath);
    // A loaded library's recovery file, if there is one: the question.
    void OfferRecovery(const QString& libPath);
    // `file`: the recovery file that holds `work`, of a window that is gone.
    void AskAboutRecovered(const UnsavedWork& work, const QString& file);
    void ApplyRecovered(const UnsavedWork& work);
    void SaveRecoveredElsewhere(const UnsavedWork& work, const QString& file, const QString& why);
    void ReportRecoveryProblem(const QString& problem);
    // Before "Save (Library) " replaces a pair another program changed: false to stop the save.
    bool ConfirmChangedOnDisk(bool& savedAs);
    void RecordDiskIdentity(const QString& libPath);

    // The patches list's side file, parsed once and read again only when the file changes, so that
    // showing or copying one patch of a large list does not parse the whole file each time.
    struct PatchesDescCache {
        QString path;
        QByteArray stamp; // size, modification time and file id when read; empty: not read
        DescriptionReader reader;
    };
    mutable PatchesDescCache patchesDesc_;

    QString versionsFolder_; // empty: EarlierVersions::DefaultFolder()
    PanesView& panes_;
    ShellView& shell_;
    QString appTitle_;
    LibraryDocument doc_{[this](const QString& text) {
        shell_.ShowMessage(text, MessageStyle::Plain);
    }};
    // The document's record (read-only) and history, and the window's own part of the record.
    const LibraryState& state_ = doc_.State();
    const ChangeHistory& history_ = doc_.History();
    SessionRecord& session_ = doc_.Session();
    Clock clock_;
    ByteSource random_;
    PairIdentity diskIdentity_;     // the pair on disk as loaded or last saved
    PairIdentity reportedIdentity_; // the changed pair the status line last told of
    // The library's own pair as a reconciliation read it from disk: once the user has applied the
    // choices against it, a save replaces it without asking again.
    struct OwnPairRead {
        PairIdentity identity;
        ReconcileSide side;
    };
    std::optional<OwnPairRead> ownPairRead_;
    QSet<QString> reportedRecoveryProblems_;
    bool offeringRecovery_ = false;
    QSet<QString> offeredAtStart_; // the recovery files asked about by the start's offer so far
    // Last, so that its worker finishes before anything it may still read goes.
    std::unique_ptr<UnsavedKeeper> unsaved_ =
        std::make_unique<UnsavedKeeper>([this] { return UnsavedNow(); });
};

} // namespace quillbox
