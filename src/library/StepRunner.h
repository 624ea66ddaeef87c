#pragma once

#include "FileIdentity.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryView.h"
#include "UnsavedKeeper.h"

#include <functional>
#include <memory>

namespace quillbox {

// What a recorded command tells: its step's name (the entry's list line where it has one), the
// status line when it changed the library, and the status line when it changed nothing.
struct StepOutcome {
    QString step;
    QString done;
    QString nothing;
};

// Runs a command as one step of the document's history and shows what the step left: the Edit
// menu's names, the modified mark, the status line; and keeps the recovery file of unsaved work,
// made against the pair on disk as it was loaded or last saved. Undo and Redo are here too.
class StepRunner {
public:
    StepRunner(LibraryDocument& doc, LibraryLists& lists, PanesView& panes, ShellView& shell);

    // Runs `body` as one step of the history: the state before and after are compared and only what
    // differs is kept (a body that only rearranged the entries keeps where they went); a body that
    // changes nothing makes no step. `typingEntry` >= 0 marks typing into that description
    // element, which joins the typing step before it.
    void AsStep(const std::function<StepOutcome()>& body, qsizetype typingEntry = -1);
    void ShowHistory();

    // Edit menu: take back the last change to the library or do it again.
    void Undo();
    void Redo();

    // After every change: keeps the recovery file while there are unsaved changes, removes it once
    // there are none.
    void KeepUnsaved();
    // Removes the recovery file of `libPath` and waits until it is gone.
    void ForgetUnsaved(const QString& libPath);
    UnsavedKeeper& Unsaved() { return *unsaved_; }

    // The pair on disk as loaded or last saved, and the changed pair the status line last told of.
    PairIdentity& DiskIdentity() { return diskIdentity_; }
    const PairIdentity& DiskIdentity() const { return diskIdentity_; }
    PairIdentity& ReportedIdentity() { return reportedIdentity_; }
    void RecordDiskIdentity(const QString& libPath);

private:
    std::optional<UnsavedWork> UnsavedNow() const;

    LibraryDocument& doc_;
    const LibraryState& state_ = doc_.State();
    const ChangeHistory& history_ = doc_.History();
    LibraryLists& lists_;
    PanesView& panes_;
    ShellView& shell_;
    PairIdentity diskIdentity_;
    PairIdentity reportedIdentity_;
    // Last, so that its worker finishes before anything it may still read goes.
    std::unique_ptr<UnsavedKeeper> unsaved_ =
        std::make_unique<UnsavedKeeper>([this] { return UnsavedNow(); });
};

} // namespace quillbox
