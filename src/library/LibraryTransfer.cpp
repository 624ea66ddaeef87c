// The Patch menu: carrying patches from the patches list into the library.
#include "DescriptionFile.h"
#include "LibraryController.h"
#include "PatchList.h"

#include <QSet>

namespace quillbox {

QByteArray LibraryController::PatchForLibrary(qsizetype p) const {
    return PatchImage::FromStore(state_.PatchesData, p).Bytes();
}

bool LibraryController::LibraryReadyForTransfer() {
    if (state_.LibraryLoaded)
        return true;
    shell_.ShowMessage(QStringLiteral("No library is loaded. Load a library or create a new one with "
                                     "\"Load (Library) \" first."),
                      MessageStyle::Plain);
    return false;
}

bool LibraryController::CopyPatchToLib() {
    const qsizetype p = state_.PatchesSelection;
    const qsizetype k = state_.LibSelection;
    bool copied = false;
    if (p >= 0 && p < ListCount(ListId::Patches)) {
        const QByteArray patch = PatchForLibrary(p);
        const QString description = PatchDescription(p);
        if (k < 0 || k + 1 >= ListCount(ListId::Library))
            doc_.PadShortLastEntry();
        if (k >= 0) {
            // After the selected entry; its description goes in at the same place.
            state_.LibraryData.insert(std::min(state_.LibraryData.size(), (k + 1) * PatchImageSize), patch);
            ModifyDescArray(qint32(k + 1), DescInsertAfter, description);
        } else {
            // The description array is sized by the list as it stands, so it goes first.
            ModifyDescArray(qint32(ListCount(ListId::Library)), DescResizeAndSet, description);
            state_.LibraryData.append(patch);
        }
        copied = true;
    }
    RefillLibList();
    return copied;
}

void LibraryController::DoCopySelectedPatch() {
    if (!LibraryReadyForTransfer())
        return;
    CopyPatchToLib();
    state_.LibChanged = true;
}

void LibraryController::DoPatchesDoubleClicked() {
    if (!LibraryReadyForTransfer())
        return;
    if (CopyPatchToLib())
        state_.LibChanged = true;
}

void LibraryController::ReplaceLibPatch(bool withDescription) {
    const qsizetype p = state_.PatchesSelection;
    const qsizetype k = state_.LibSelection;
    if (p >= 0 && p < ListCount(ListId::Patches) && k >= 0 && k < ListCount(ListId::Library)) {
        state_.LibraryData.replace(k * PatchImageSize, EntryLength(state_.LibraryData.size(), k),
                                   PatchForLibrary(p));
        if (withDescription)
            ModifyDescArray(qint32(k + 1), DescSetSelected, PatchDescription(p));
        // The panel, if it shows that entry, shows what is now stored there.
        RefreshPanelIfShowing(k, withDescription);
    }
    RefillLibList();
}

void LibraryController::DoReplaceSelectedPatch() {
    if (!LibraryReadyForTransfer())
        return;
    ReplaceLibPatch(true);
    state_.LibChanged = true;
}

void LibraryController::DoUpdateLibWithSelected() {
    if (!LibraryReadyForTransfer())
        return;
    ReplaceLibPatch(false);
    state_.LibChanged = true;
}

void LibraryController::DoAppendAllPatches() {
    if (!LibraryReadyForTransfer())
        return;
    const qsizetype count = ListCount(ListId::Patches);
    const DescriptionReader reader(state_.PatchesDescFilePath);
    state_.LibraryData.reserve(state_.LibraryData.size() + count * PatchImageSize);
    state_.DescArray.reserve(state_.DescArray.size() + count + 1);
    if (count > 0)
        doc_.PadShortLastEntry();
    for (qsizetype p = 0; p < count; ++p) {
        state_.LibraryData.append(PatchForLibrary(p));
        ModifyDescArray(0, DescAppend, reader.Description(p + 1));
    }
    state_.LibChanged = true;
    RefillLibList();
}

void LibraryController::DoAppendDifferentPatches() {
    if (!LibraryReadyForTransfer())
        return;
    // A patch is appended when its 18 bytes equal no library entry and no patch appended before it.
    QSet<QByteArray> known;
    const qsizetype libCount = ListCount(ListId::Library);
    known.reserve(libCount);
    for (qsizetype k = 0; k < libCount; ++k)
        known.insert(PatchImage::FromStore(state_.LibraryData, k).Bytes());

    const qsizetype count = ListCount(ListId::Patches);
    const DescriptionReader reader(state_.PatchesDescFilePath);
    for (qsizetype p = 0; p < count; ++p) {
        QByteArray patch = PatchForLibrary(p);
        if (known.contains(patch))
            continue;
        known.insert(patch);
        doc_.PadShortLastEntry();
        state_.LibraryData.append(patch);
        ModifyDescArray(0, DescAppend, reader.Description(p + 1));
    }
    state_.LibChanged = true;
    RefillLibList();
}

void LibraryController::DoUpdateAllPatchesInLib() {
    if (!LibraryReadyForTransfer())
        return;
    // A list line starts with the entry's position, so line p of the patches list can only equal
    // line p of the library list: one pass comparing equal positions finds every pair.
    const qsizetype count = std::min(ListCount(ListId::Patches), ListCount(ListId::Library));
    bool changed = false;
    bool shownChanged = false;
    for (qsizetype p = 0; p < count; ++p) {
        if (PatchListLine(state_.PatchesData, p) != PatchListLine(state_.LibraryData, p))
            continue;
        const QByteArray patch = PatchForLibrary(p);
        const QByteArrayView entry = EntryView(state_.LibraryData, p);
        if (entry == QByteArrayView(patch))
            continue;
        state_.LibraryData.replace(p * PatchImageSize, entry.size(), patch);
        changed = true;
        if (p == state_.PatchIndex)
            shownChanged = true;
    }
    if (changed)
        state_.LibChanged = true;
    if (shownChanged)
        RefreshPanelIfShowing(state_.PatchIndex, false);
}

} // namespace quillbox
