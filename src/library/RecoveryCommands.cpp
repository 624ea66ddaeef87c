// Recovery of unsaved work, and the check that a save does not replace a pair another program wrote.
#include "RecoveryCommands.h"

#include "DescriptionFile.h"
#include "FileAccess.h"
#include "FileCommands.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchList.h"
#include "Reconcile.h"

#include <QDir>
#include <QFileInfo>

namespace quillbox {

namespace {

QString LocalTime(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

constexpr int MostDifferencesListed = 30;

} // namespace

RecoveryCommands::RecoveryCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps,
                                   FileCommands& files, ShellView& shell)
    : CommandBase(doc, lists, steps), files_(files), shell_(shell) {}

void RecoveryCommands::ReportRecoveryProblem(const QString& problem) {
    // A file that is not taken is left alone and named once per run, not at every load.
    if (problem.isEmpty() || reportedRecoveryProblems_.contains(problem))
        return;
    reportedRecoveryProblems_.insert(problem);
    shell_.ShowMessage(problem, MessageStyle::Plain);
}

void RecoveryCommands::RecoverAtStart() {
    // Every file whose window is gone, newest first: each is asked about once here, whether its
    // library's load asks or it is asked about as it is.
    const QList<UnsavedWorkFiles::Found> all = steps_.Unsaved().Files().ReadAll();
    offeredAtStart_.clear();
    for (const UnsavedWorkFiles::Found& found : all) {
        ReportRecoveryProblem(found.problem);
        if (!found.work || offeredAtStart_.contains(found.file))
            continue;
        // The library is loaded first, so that the question stands over it and Restore has it to
        // apply to; its load asks. One that is gone is asked about as it is.
        if (!state_.LibraryLoaded && QFileInfo(found.work->libPath).isFile())
            files_.LoadLibFromPath(found.work->libPath);
        // A library that could not be loaded (not a valid library any more) does not hide its work.
        if (!offeredAtStart_.contains(found.file))
            AskAboutRecovered(*found.work, found.file);
    }
    offeredAtStart_.clear();
}

void RecoveryCommands::OfferRecovery(const QString& libPath) {
    if (offeringRecovery_)
        return;
    for (const UnsavedWorkFiles::Found& found : steps_.Unsaved().Files().ReadLeft(libPath)) {
        ReportRecoveryProblem(found.problem);
        if (found.work)
            AskAboutRecovered(*found.work, found.file);
    }
}

void RecoveryCommands::AskAboutRecovered(const UnsavedWork& work, const QString& file) {
    offeredAtStart_.insert(file);
    offeringRecovery_ = true;
    const QString text = QStringLiteral("Restore unsaved changes to ") + Native(work.libPath) +
                         QStringLiteral(" from ") + LocalTime(work.time) + QLatin1Char('?');
    for (;;) {
        const RecoveryAnswer answer = shell_.AskRestoreUnsaved(text);
        if (answer == RecoveryAnswer::Compare) {
            shell_.ShowMessage(RecoveredDifferences(work), MessageStyle::Plain);
            continue;
        }
        offeringRecovery_ = false;
        switch (answer) {
        case RecoveryAnswer::Discard:
            steps_.Unsaved().Files().RemoveLeft(file);
            shell_.ShowStatus(QStringLiteral("Discarded the unsaved changes to ") + ShortPath(work.libPath) +
                              QStringLiteral(" from ") + LocalTime(work.time));
            return;
        case RecoveryAnswer::Later:
            shell_.ShowStatus(QStringLiteral("The unsaved changes to ") + ShortPath(work.libPath) +
                              QStringLiteral(" are kept; they are offered again when it is loaded"));
            return;
        case RecoveryAnswer::Restore:
        case RecoveryAnswer::Compare:
            break;
        }
        break;
    }
    // The changes were made to the pair as it was then; applied to another one they would mix two
    // histories, so they are offered under a new name instead.
    const PairIdentity now = PairIdentityOf(work.libPath);
    if (now != work.loaded) {
        SaveRecoveredElsewhere(work, file,
                               now.library.exists
                                   ? QStringLiteral(" was changed on disk after these changes were made")
                                   : QStringLiteral(" is no longer there"));
        return;
    }
    // Another window's changes to the library this window is changing are never mixed with its own.
    const bool loadedHere = state_.LibraryLoaded && steps_.Unsaved().Files().FileFor(state_.LibFilePath) ==
                                                        steps_.Unsaved().Files().FileFor(work.libPath);
    if (loadedHere && state_.LibChanged) {
        SaveRecoveredElsewhere(work, file, QStringLiteral(" has other unsaved changes in this window"));
        return;
    }
    if (!loadedHere) {
        if (!files_.OfferToSave())
            return;
        offeringRecovery_ = true;
        const bool loaded = files_.RunFileCommand([this, &work] { files_.LoadLibBody(work.libPath); });
        offeringRecovery_ = false;
        if (!loaded || state_.LibFilePath != work.libPath)
            return;
    }
    ApplyRecovered(work);
    // The work is now this window's: its own file holds it before the other window's goes.
    steps_.Unsaved().WriteNow();
    steps_.Unsaved().WaitIdle();
    if (!state_.LibChanged || QFileInfo::exists(steps_.Unsaved().Files().FileFor(state_.LibFilePath)))
        steps_.Unsaved().Files().RemoveLeft(file);
}

void RecoveryCommands::ApplyRecovered(const UnsavedWork& work) {
    // One step of the history, from the library as loaded: undo gives back what is on disk.
    steps_.AsStep([&] {
        // Nothing is written until the user saves.
        doc_.Replace(work.library, work.descriptions);
        lists_.RefillLibList();
        lists_.ShowNothingEditable();
        return StepOutcome{QStringLiteral("Restore Unsaved Changes"),
                           QStringLiteral("Restored the unsaved changes to ") + ShortPath(work.libPath) +
                               QStringLiteral(" from ") + LocalTime(work.time) + QStringLiteral(" (") +
                               Patches(lists_.ListCount(ListId::Library)) +
                               QStringLiteral("); save to keep them"),
                           QStringLiteral("The recovered changes are the same as the library")};
    });
}

void RecoveryCommands::SaveRecoveredElsewhere(const UnsavedWork& work, const QString& file,
                                              const QString& why) {
    shell_.ShowMessage(Native(work.libPath) + why +
                           QStringLiteral(", so the recovered changes are not applied to it. Choose a new "
                                          "name to save them under."),
                       MessageStyle::Plain);
    const bool saved = files_.RunFileCommand([&] {
        const QString libPath =
            files_.AskLibraryPathToSave(QStringLiteral(" Save Recovered Library"),
                                        RecoveredLibraryFileName(QFileInfo(work.libPath).fileName()));
        if (steps_.Unsaved().Files().FileFor(libPath) == steps_.Unsaved().Files().FileFor(work.libPath))
            throw FileError{FileErrorNumber, QStringLiteral("Recovery"),
                            QStringLiteral("Choose another name than the library's own: ") + Native(libPath)};
        files_.RecoverInterruptedSave(libPath);
        if (!files_.ConfirmReplace(libPath))
            throw FileError{CancelErrorNumber, QString(), QStringLiteral("Cancelled: nothing was saved.")};
        const qsizetype count = EntryCount(work.library);
        const QByteArray libBytes = EncodeLibrary(work.library);
        const std::optional<QByteArray> sideBytes = LibraryPairFile(libPath).SideFor(work.descriptions, count);
        const QString versionProblem = files_.SavePair(libPath, libBytes, sideBytes);
        steps_.Unsaved().Files().RemoveLeft(file);
        if (!versionProblem.isEmpty()) {
            shell_.SetBusy(false);
            shell_.ShowMessage(versionProblem, MessageStyle::Plain);
        }
        // The recovered work is shown as the library, as Restore would show it.
        if (!state_.LibChanged || !state_.LibraryLoaded) {
            files_.LoadLibBody(libPath);
            shell_.ShowStatus(QStringLiteral("Saved the recovered changes to ") + ShortPath(work.libPath) +
                              QStringLiteral(" as ") + ShortPath(libPath));
        }
    });
    if (!saved)
        shell_.ShowStatus(QStringLiteral("The unsaved changes to ") + ShortPath(work.libPath) +
                          QStringLiteral(" are kept; they are offered again when it is loaded"));
}

QString RecoveryCommands::RecoveredDifferences(const UnsavedWork& work) const {
    QString text = QStringLiteral("Unsaved changes to ") + Native(work.libPath) + QStringLiteral(" from ") +
                   LocalTime(work.time) + QStringLiteral(", compared with the library on disk");
    QByteArray disk;
    QStringList diskDescs;
    try {
        PairContent pair = LibraryPairFile(work.libPath).Read();
        if (!pair.sideFileProblem.isEmpty())
            throw FileError{FileErrorNumber, SideFilePath(work.libPath), pair.sideFileProblem};
        disk = std::move(pair.store);
        diskDescs = std::move(pair.descriptions);
    } catch (const FileError& e) {
        if (e.number == NotALibraryNumber)
            return text + QStringLiteral(":\nThe file on disk is not a valid library.");
        return text + QStringLiteral(":\nThe library on disk cannot be read: ") + e.description;
    }
    if (PairIdentityOf(work.libPath) != work.loaded)
        text += QStringLiteral(" (which was changed since these changes were made)");
    const qsizetype ours = EntryCount(work.library), theirs = EntryCount(disk);
    text += QStringLiteral(":\nRecovered: ") + Patches(ours) + QStringLiteral("; on disk: ") +
            Patches(theirs) + QLatin1Char('.');
    // The entries are paired as the reconcile window pairs them, so that a patch renamed and moved
    // is one line, not two changed positions.
    QStringList lines;
    qsizetype differences = 0;
    const std::vector<ReconcileRow> rows =
        ReconcileRows({work.library, work.descriptions}, {disk, diskDescs});
    for (const ReconcileRow& row : rows) {
        if (!RowDiffers(row))
            continue;
        const QString recovered = row.left >= 0 ? PatchListLine(work.library, row.left).trimmed() : QString();
        const QString saved = row.right >= 0 ? PatchListLine(disk, row.right).trimmed() : QString();
        QString line;
        if (row.kind == RowKind::OnlyLeft) {
            line = recovered + QStringLiteral(": added");
        } else if (row.kind == RowKind::OnlyRight) {
            line = saved + QStringLiteral(": not in the recovered changes");
        } else {
            const bool moved = row.kind == RowKind::Moved;
            QStringList notes;
            if (moved)
                notes.append(QStringLiteral("moved"));
            if (row.differs & (ParametersDiffer | OtherBitsDiffer | LengthDiffers))
                notes.append(QStringLiteral("settings changed"));
            if (row.differs & DescriptionDiffers)
                notes.append(QStringLiteral("description changed"));
            line =
                (row.differs & NameDiffers) || moved ? saved + QStringLiteral(" -> ") + recovered : recovered;
            if (!notes.isEmpty())
                line += QStringLiteral(": ") + notes.join(QStringLiteral(", "));
        }
        if (++differences <= MostDifferencesListed)
            lines.append(line);
    }
    if (differences == 0)
        return text + QStringLiteral("\nNo differences.");
    if (differences > MostDifferencesListed)
        lines.append(QStringLiteral("… and %1 more").arg(differences - MostDifferencesListed));
    return text + QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
}

bool RecoveryCommands::ConfirmChangedOnDisk(bool& savedAs) {
    savedAs = false;
    if (!state_.LibraryLoaded || state_.LibFilePath.isEmpty() ||
        PairIdentityOf(state_.LibFilePath) == steps_.DiskIdentity())
        return true;
    const QString text =
        Native(state_.LibFilePath) +
        QStringLiteral(" was changed on disk by another program since Quillbox loaded or saved "
                       "it.\nOverwrite it (the version on disk is kept as an earlier version), "
                       "save under another name, reconcile the library with it entry by entry, or cancel?");
    switch (shell_.AskChangedOnDisk(text)) {
    case DiskChangeAnswer::Overwrite:
        return true;
    case DiskChangeAnswer::SaveAs:
        files_.SaveAsLib();
        savedAs = true;
        return false;
    case DiskChangeAnswer::Cancel:
        break;
    case DiskChangeAnswer::Reconcile:
        // Nothing is saved: the user brings the other program's changes in first, then saves.
        shell_.ShowStatus(QStringLiteral("Not saved: reconcile with ") + ShortPath(state_.LibFilePath) +
                          QStringLiteral(" as it is on disk, then save"));
        shell_.OpenReconcile(state_.LibFilePath);
        return false;
    }
    shell_.ShowStatus(QStringLiteral("Not saved: ") + ShortPath(state_.LibFilePath) +
                      QStringLiteral(" was changed on disk"));
    return false;
}

void RecoveryCommands::CheckChangedOnDisk() {
    if (!state_.LibraryLoaded || state_.LibFilePath.isEmpty())
        return;
    const PairIdentity now = PairIdentityOf(state_.LibFilePath);
    if (now == steps_.DiskIdentity() || now == steps_.ReportedIdentity())
        return;
    steps_.ReportedIdentity() = now;
    shell_.ShowStatus(
        ShortPath(state_.LibFilePath) +
        QStringLiteral(" was changed on disk since it was loaded; Save will ask before replacing it"));
}

} // namespace quillbox
