// The Patch menu: carrying patches from the patches list into the library.
#include "DescriptionFile.h"
#include "LibraryController.h"
#include "PatchList.h"

#include <QSet>

namespace quillbox {

QByteArray LibraryController::PatchForLibrary(qsizetype p) const {
    return PatchImage::FromStore(session_.PatchesData, p).Bytes();
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
    const qsizetype p = session_.PatchesSelection;
    const qsizetype k = session_.LibSelection;
    bool copied = false;
    if (p >= 0 && p < ListCount(ListId::Patches)) {
        const QByteArray patch = PatchForLibrary(p);
        const QString description = PatchDescription(p);
        if (k < 0 || k + 1 >= ListCount(ListId::Library))
            doc_.PadShortLastEntry();
        if (k >= 0) {
            // After the selected entry; its description goes in at the same place.
            doc_.InsertImage(k + 1, patch);
            ModifyDescArray(qint32(k + 1), DescInsertAfter, description);
        } else {
            // The description array is sized by the list as it stands, so it goes first.
            ModifyDescArray(qint32(ListCount(ListId::Library)), DescResizeAndSet, description);
            doc_.InsertImage(ListCount(ListId::Library), patch);
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
    doc_.MarkChanged();
}

void LibraryController::DoPatchesDoubleClicked() {
    if (!LibraryReadyForTransfer())
        return;
    if (CopyPatchToLib())
        doc_.MarkChanged();
}

void LibraryController::ReplaceLibPatch(bool withDescription) {
    const qsizetype p = session_.PatchesSelection;
    const qsizetype k = session_.LibSelection;
    if (p >= 0 && p < ListCount(ListId::Patches) && k >= 0 && k < ListCount(ListId::Library)) {
        doc_.SetEntry(k, PatchForLibrary(p));
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
    doc_.MarkChanged();
}

void LibraryController::DoUpdateLibWithSelected() {
    if (!LibraryReadyForTransfer())
        return;
    ReplaceLibPatch(false);
    doc_.MarkChanged();
}

void LibraryController::DoAppendAllPatches() {
    if (!LibraryReadyForTransfer())
        return;
    const qsizetype count = ListCount(ListId::Patches);
    const DescriptionReader reader(session_.PatchesDescFilePath);
    doc_.Reserve(count);
    if (count > 0)
        doc_.PadShortLastEntry();
    for (qsizetype p = 0; p < count; ++p) {
        doc_.InsertImage(ListCount(ListId::Library), PatchForLibrary(p));
        ModifyDescArray(0, DescAppend, reader.Description(p + 1));
    }
    doc_.MarkChanged();
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
    const DescriptionReader reader(session_.PatchesDescFilePath);
    for (qsizetype p = 0; p < count; ++p) {
        QByteArray patch = PatchForLibrary(p);
        if (known.contains(patch))
            continue;
        known.insert(patch);
        doc_.PadShortLastEntry();
        doc_.InsertImage(ListCount(ListId::Library), patch);
        ModifyDescArray(0, DescAppend, reader.Description(p + 1));
    }
    doc_.MarkChanged();
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
        if (PatchListLine(session_.PatchesData, p) != PatchListLine(state_.LibraryData, p))
            continue;
        const QByteArray patch = PatchForLibrary(p);
        const QByteArrayView entry = EntryView(state_.LibraryData, p);
        if (entry == QByteArrayView(patch))
            continue;
        doc_.SetEntry(p, patch);
        changed = true;
        if (p == session_.PatchIndex)
            shownChanged = true;
    }
    if (changed)
        doc_.MarkChanged();
    if (shownChanged)
        RefreshPanelIfShowing(session_.PatchIndex, false);
}

} // namespace quillbox
