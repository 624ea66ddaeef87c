// Earlier versions: kept by every save, listed and loaded back as the library being edited.
#include "FileAccess.h"
#include "LibraryController.h"
#include "LibraryFile.h"

namespace quillbox {

EarlierVersions LibraryController::Versions() const {
    return EarlierVersions(versionsFolder_, clock_);
}

QList<EarlierVersion> LibraryController::LibEarlierVersions() const {
    if (!state_.LibraryLoaded || state_.LibFilePath.isEmpty())
        return {};
    return Versions().List(state_.LibFilePath);
}

void LibraryController::LoadEarlierVersion(const QString& id) {
    if (!state_.LibraryLoaded)
        return;
    // Read before the closing question: saving now keeps another version and may prune this one.
    LibraryPair pair;
    if (!RunFileCommand([this, &id, &pair] { pair = Versions().Read(state_.LibFilePath, id); }))
        return;
    if (!IsValidLibrary(pair.library)) {
        shell_.ShowMessage(QStringLiteral("Not a valid Library"), MessageStyle::Plain);
        return;
    }
    if (!OfferToSave())
        return;

    // One step of the history: undo gives back the library as it was before, saved or not.
    AsStep([&] {
        const LibrarySnapshot before = Snapshot();
        state_.LibraryData = DecodeLibrary(pair.library);
        RefillLibList();
        const DescriptionReader reader =
            pair.side ? DescriptionReader::FromBytes(*pair.side) : DescriptionReader();
        const qsizetype count = ListCount(ListId::Library);
        state_.DescArray = reader.DescArray(count);
        // What is shown is not what the library's files hold until it is saved.
        state_.LibChanged = state_.LibChanged || state_.LibraryData != before.library ||
                            state_.DescArray != before.descriptions;
        ShowNothingEditable();
        return StepOutcome{QStringLiteral("Load Earlier Version"),
                           QStringLiteral("Loaded an earlier version of ") + ShortPath(state_.LibFilePath) +
                               QStringLiteral(" with ") + Patches(count) +
                               QStringLiteral("; save to keep it"),
                           QStringLiteral("The earlier version is the same as the library")};
    });
}

} // namespace quillbox
