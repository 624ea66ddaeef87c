#pragma once

#include "CommandBase.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryView.h"
#include "StepRunner.h"
#include "UnsavedWork.h"

#include <QSet>

namespace quillbox {

class FileCommands;

// Recovery of unsaved work, and the check that a save does not replace a pair another program
// wrote. While the library has unsaved changes a recovery file is kept for it (StepRunner); at
// start, and when a library is loaded, the files of windows that are gone are offered here.
class RecoveryCommands : private CommandBase {
public:
    RecoveryCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, FileCommands& files,
                     ShellView& shell);

    void RecoverAtStart();
    QString RecoveredDifferences(const UnsavedWork& work) const;
    void CheckChangedOnDisk();
    // A loaded library's recovery file, if there is one: the question.
    void OfferRecovery(const QString& libPath);
    // Before "Save (Library) " replaces a pair another program changed: false to stop the save.
    bool ConfirmChangedOnDisk(bool& savedAs);

private:
    // `file`: the recovery file that holds `work`, of a window that is gone.
    void AskAboutRecovered(const UnsavedWork& work, const QString& file);
    void ApplyRecovered(const UnsavedWork& work);
    void SaveRecoveredElsewhere(const UnsavedWork& work, const QString& file, const QString& why);
    void ReportRecoveryProblem(const QString& problem);

    FileCommands& files_;
    ShellView& shell_;
    QSet<QString> reportedRecoveryProblems_;
    bool offeringRecovery_ = false;
    QSet<QString> offeredAtStart_; // the recovery files asked about by the start's offer so far
};

} // namespace quillbox
