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
        const QByteArray store = DecodeLibrary(pair.library);
        const DescriptionReader reader =
            pair.side ? DescriptionReader::FromBytes(*pair.side) : DescriptionReader();
        // What is shown is not what the library's files hold until it is saved.
        doc_.Replace(store, reader.DescArray(EntryCount(store)));
        RefillLibList();
        const qsizetype count = ListCount(ListId::Library);
        ShowNothingEditable();
        return StepOutcome{QStringLiteral("Load Earlier Version"),
                           QStringLiteral("Loaded an earlier version of ") + ShortPath(state_.LibFilePath) +
                               QStringLiteral(" with ") + Patches(count) +
                               QStringLiteral("; save to keep it"),
                           QStringLiteral("The earlier version is the same as the library")};
    });
}

} // namespace quillbox
