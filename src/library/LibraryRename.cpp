// Renaming a library entry in place, and the selection a find hides.
#include "LibraryController.h"
#include "PatchList.h"
#include "PatchName.h"

namespace quillbox {

bool LibraryController::RenameEntry(qsizetype index, const QString& name) {
    if (index < 0 || index >= ListCount(ListId::Library))
        return false;
    const PatchNameCodes codes = EncodePatchName(name);
    if (!codes.ok()) {
        shell_.ShowStatus(PatchNameRefusal(name, codes));
        return false;
    }
    const QString before = LibLine(index);
    if (state_.LibraryData.size() - index * PatchImageSize < NameFieldEnd) {
        shell_.ShowStatus(NameCutShortRefusal(before));
        return false;
    }
    QByteArray image = PatchImage::FromStore(state_.LibraryData, index).Bytes();
    WritePatchName(image, codes.codes);
    const QString newName = StringToPatchName(QByteArrayView(image).sliced(11, 6)).name;
    const QString named = before + QStringLiteral(" to ") +
                          (newName.trimmed().isEmpty() ? QStringLiteral("a blank name") : newName.trimmed());
    AsStep([&] {
        // An entry cut short after its name keeps its length: only the bytes it holds are written.
        const QByteArrayView entry = EntryView(state_.LibraryData, index);
        if (entry != QByteArrayView(image).first(entry.size())) {
            state_.LibraryData.replace(index * PatchImageSize, entry.size(), image.left(entry.size()));
            state_.LibChanged = true;
            panes_.ListLineChanged(ListId::Library, index);
            RefreshPanelIfShowing(index, false);
        }
        return StepOutcome{QStringLiteral("Rename ") + named, QStringLiteral("Renamed ") + named,
                           QStringLiteral("Nothing renamed: ") + before + QStringLiteral(" has that name")};
    });
    return true;
}

void LibraryController::SelectionHidden(ListId list) {
    history_.EndTypingRun();
    const bool library = list == ListId::Library;
    (library ? state_.LibSelection : state_.PatchesSelection) = -1;
    (library ? state_.LibSelected : state_.PatchesSelected).clear();
    panes_.SelectListLine(list, -1);
    // The panel and the box showed that entry: typing must never go into a patch nobody sees.
    if (state_.ActiveList == (library ? ActiveListLibrary : ActiveListPatches))
        ShowNothingEditable();
}

} // namespace quillbox
