// Undo and redo: every command that changes the library runs as one recorded step, and tells the
// user in one line what it did. While there are unsaved changes a recovery file is kept for them.
#include "StepRunner.h"

namespace quillbox {

StepRunner::StepRunner(LibraryDocument& doc, LibraryLists& lists, PanesView& panes, ShellView& shell)
    : doc_(doc), lists_(lists), panes_(panes), shell_(shell) {}

// ---------------------------------------------------------------------------------------------
// Recording

void StepRunner::ShowHistory() {
    shell_.ShowHistory(history_.UndoName(), history_.RedoName());
}

void StepRunner::AsStep(const std::function<StepOutcome()>& body, qsizetype typingEntry) {
    StepOutcome outcome;
    bool recorded = false;
    try {
        recorded = doc_.RecordStep(
            [&] {
                outcome = body();
                return outcome.step;
            },
            typingEntry);
    } catch (...) {
        // The document kept what changed before the failure as a step of its own.
        panes_.RefreshListMarks();
        ShowHistory();
        shell_.SetModified(state_.LibChanged);
        KeepUnsaved();
        throw;
    }
    if (recorded)
        panes_.RefreshListMarks();
    ShowHistory();
    shell_.SetModified(state_.LibChanged);
    KeepUnsaved();
    const QString& status = recorded ? outcome.done : outcome.nothing;
    if (!status.isEmpty())
        shell_.ShowStatus(status);
}

void StepRunner::Undo() {
    doc_.EndTypingRun();
    if (!history_.CanUndo())
        return;
    const QString name = history_.UndoName();
    lists_.RestorePanel(doc_.Undo());
    shell_.SetModified(state_.LibChanged);
    KeepUnsaved();
    ShowHistory();
    shell_.ShowStatus(QStringLiteral("Undid ") + name);
}

void StepRunner::Redo() {
    doc_.EndTypingRun();
    if (!history_.CanRedo())
        return;
    const QString name = history_.RedoName();
    lists_.RestorePanel(doc_.Redo());
    shell_.SetModified(state_.LibChanged);
    KeepUnsaved();
    ShowHistory();
    shell_.ShowStatus(QStringLiteral("Redid ") + name);
}

// ---------------------------------------------------------------------------------------------
// Unsaved work

std::optional<UnsavedWork> StepRunner::UnsavedNow() const {
    if (!state_.LibraryLoaded || !state_.LibChanged || state_.LibFilePath.isEmpty())
        return std::nullopt;
    // Copies that share their data with the state: nothing is copied until the state changes again.
    return UnsavedWork{state_.LibFilePath, diskIdentity_, QDateTime::currentDateTimeUtc(), state_.LibraryData,
                       state_.DescArray};
}

void StepRunner::KeepUnsaved() {
    if (state_.LibraryLoaded && state_.LibChanged)
        unsaved_->Changed();
    else if (state_.LibraryLoaded)
        unsaved_->Forget(state_.LibFilePath); // back at the saved state: nothing to recover
    if (const QString problem = unsaved_->TakeProblem(); !problem.isEmpty())
        shell_.ShowStatus(problem);
}

void StepRunner::ForgetUnsaved(const QString& libPath) {
    unsaved_->Forget(libPath);
    unsaved_->WaitIdle();
}

void StepRunner::RecordDiskIdentity(const QString& libPath) {
    diskIdentity_ = PairIdentityOf(libPath);
    reportedIdentity_ = diskIdentity_;
}

} // namespace quillbox
