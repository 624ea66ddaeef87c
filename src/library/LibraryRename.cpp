// Renaming a library entry in place, and the selection a find hides.
#include "LibraryController.h"
#include "PatchList.h"
#include "PatchName.h"

namespace quillbox {

bool LibraryController::RenameEntry(qsizetype index, const QString& name) {
    if (index < 0 || index >= ListCount(ListId::Library))
        return false;
    const QString before = LibLine(index);
    // The step's name is the list line, known only once the name is written.
    const PatchNameCodes codes = EncodePatchName(name);
    QByteArray image = doc_.Entry(index);
    if (codes.ok())
        WritePatchName(image, codes.codes);
    const QString newName = StringToPatchName(QByteArrayView(image).sliced(11, 6)).name;
    const QString named = before + QStringLiteral(" to ") +
                          (newName.trimmed().isEmpty() ? QStringLiteral("a blank name") : newName.trimmed());
    QString refusal;
    AsStep([&] {
        const LibraryDocument::Renamed renamed = doc_.Rename(index, name);
        refusal = renamed.cutShort ? NameCutShortRefusal(before) : renamed.refusal;
        if (renamed.changed) {
            panes_.ListLineChanged(ListId::Library, index);
            RefreshPanelIfShowing(index, false);
        }
        return StepOutcome{QStringLiteral("Rename ") + named, QStringLiteral("Renamed ") + named,
                           refusal.isEmpty() ? QStringLiteral("Nothing renamed: ") + before +
                                                   QStringLiteral(" has that name")
                                             : refusal};
    });
    if (!refusal.isEmpty())
        return false;
    return true;
}

void LibraryController::SelectionHidden(ListId list) {
    doc_.EndTypingRun();
    const bool library = list == ListId::Library;
    (library ? session_.LibSelection : session_.PatchesSelection) = -1;
    (library ? session_.LibSelected : session_.PatchesSelected).clear();
    panes_.SelectListLine(list, -1);
    // The panel and the box showed that entry: typing must never go into a patch nobody sees.
    if (session_.ActiveList == (library ? ActiveListLibrary : ActiveListPatches))
        ShowNothingEditable();
}

} // namespace quillbox
