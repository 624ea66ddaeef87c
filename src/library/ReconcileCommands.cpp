// "Reconcile With…": the library set against another library, a device patch file or an earlier
// version, and the user's choices applied as one step.
#include "ReconcileCommands.h"

#include "DescriptionFile.h"
#include "FileAccess.h"
#include "FileCommands.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"

#include <QFileInfo>

namespace quillbox {

namespace {

// Descriptions as a side keeps them: element 0 unused, one element per entry.
QStringList SideDescriptions(const QStringList& descriptions, qsizetype count) {
    QStringList result = descriptions.mid(0, count + 1);
    if (result.isEmpty())
        result.append(QString());
    while (result.size() < count + 1)
        result.append(QString());
    return result;
}

ReconcileSide SideOf(const PairContent& pair) {
    return {pair.store, SideDescriptions(pair.descriptions, EntryCount(pair.store))};
}

// What the choices do to the library, for the status line.
struct Accounting {
    qsizetype taken = 0, kept = 0, added = 0, removed = 0;
};

Accounting Account(const std::vector<ReconcileRow>& rows, const std::vector<RowChoice>& choices) {
    Accounting a;
    for (size_t k = 0; k < rows.size(); ++k) {
        const ReconcileRow& row = rows[k];
        const RowChoice& choice = choices[k];
        if (!RowDiffers(row))
            continue;
        const bool paired = row.left >= 0 && row.right >= 0;
        if (paired && choice.take == RowChoice::Both)
            ++a.added;
        else if (paired && (choice.take == RowChoice::Right || choice.description == RowChoice::RightText))
            ++a.taken;
        else if (row.left >= 0 && choice.take == RowChoice::Right)
            ++a.removed;
        else if (row.left >= 0)
            ++a.kept;
        else if (choice.take != RowChoice::Left)
            ++a.added;
    }
    return a;
}

} // namespace

ReconcileCommands::ReconcileCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps,
                                     FileCommands& files, ShellView& shell)
    : CommandBase(doc, lists, steps), files_(files), shell_(shell) {}

void ReconcileCommands::ReconcileWith() {
    if (!lists_.LibraryReadyForTransfer())
        return;
    QString path;
    if (!files_.RunFileCommand([this, &path] {
            path = files_.AskPathToRead(QStringLiteral(" Reconcile With"), LibraryPatchOrAnyFileFilter(),
                                        FileKind::Library);
        }))
        return;
    shell_.OpenReconcile(path);
}

ReconcileSide ReconcileCommands::LibrarySide() const {
    const qsizetype count = lists_.ListCount(ListId::Library);
    return {state_.LibraryData, SideDescriptions(state_.DescArray, count)};
}

ReconcileSide ReconcileCommands::ReadReconcileSide(const QString& path) {
    files_.RecoverInterruptedSave(path);
    // Taken before reading: a pair changed while it is read does not count as the one read.
    const bool own = state_.LibraryLoaded && !state_.LibFilePath.isEmpty() && SameFile(path, state_.LibFilePath);
    const PairIdentity identity = own ? PairIdentityOf(path) : PairIdentity();
    PairContent pair;
    try {
        pair = LibraryPairFile(path).Read();
    } catch (const FileError& error) {
        if (error.number != NotALibraryNumber)
            throw;
        throw FileError{FileErrorNumber, path, path + QStringLiteral(": Not a valid Library")};
    }
    // Reconciling against descriptions that could not be read would offer to drop them all.
    if (!pair.sideFileProblem.isEmpty())
        throw FileError{FileErrorNumber, SideFilePath(path), pair.sideFileProblem};
    ReconcileSide side = SideOf(pair);
    if (own)
        ownPairRead_ = OwnPairRead{identity, side};
    return side;
}

ReconcileSide ReconcileCommands::EarlierVersionSide(const QString& id) const {
    const LibraryPair pair = files_.Versions().Read(state_.LibFilePath, id);
    if (!IsValidLibrary(pair.library))
        throw FileError{FileErrorNumber, QString(),
                        QStringLiteral("The earlier version is not a valid Library")};
    return SideOf(LibraryPairFile::FromLibraryBytes(pair.library, pair.side));
}

QList<EarlierVersion> ReconcileCommands::LibExportRecords() const {
    if (!state_.LibraryLoaded || state_.LibFilePath.isEmpty())
        return {};
    return files_.Versions().Exports(state_.LibFilePath);
}

ReconcileSide ReconcileCommands::ExportRecordSide(const QString& id) const {
    const LibraryPair pair = files_.Versions().ReadExport(state_.LibFilePath, id);
    return SideOf(LibraryPairFile::WithSide(pair.library, pair.side));
}

bool ReconcileCommands::ApplyReconcile(const QString& name, const ReconcileSide& left,
                                       const ReconcileSide& right, const std::vector<ReconcileRow>& rows,
                                       const std::vector<RowChoice>& choices) {
    const ReconcileSide now = LibrarySide();
    if (now.store != left.store || now.descriptions != left.descriptions || rows.size() != choices.size()) {
        shell_.ShowMessage(QStringLiteral("The library changed while the reconcile window was open; "
                                          "nothing was applied. Open Reconcile With… again."),
                           MessageStyle::Plain);
        return false;
    }
    const ReconcileSide result = ApplyChoices(left, right, rows, choices);
    const Accounting a = Account(rows, choices);
    steps_.AsStep([&] {
        doc_.Replace(result.store, result.descriptions);
        lists_.RefillLibList();
        lists_.ShowNothingEditable();
        return StepOutcome{QStringLiteral("Reconcile with ") + name,
                           QStringLiteral("Reconciled with %1: %2 taken from the right, %3 kept, %4 added, "
                                          "%5 removed; save to keep it")
                               .arg(name)
                               .arg(a.taken)
                               .arg(a.kept)
                               .arg(a.added)
                               .arg(a.removed),
                           QStringLiteral("Reconciled with ") + name +
                               QStringLiteral(": the library stays as it was")};
    });
    // Reconciled with its own pair on disk: the user has seen what another program wrote there.
    if (ownPairRead_ && ownPairRead_->side.store == right.store &&
        ownPairRead_->side.descriptions == right.descriptions) {
        steps_.DiskIdentity() = ownPairRead_->identity;
        steps_.ReportedIdentity() = steps_.DiskIdentity();
    }
    ownPairRead_.reset();
    return true;
}

} // namespace quillbox
