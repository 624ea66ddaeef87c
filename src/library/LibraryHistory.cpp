// Undo and redo: every command that changes the library runs as one recorded step, and tells the
// user in one line what it did.
#include "LibraryController.h"
#include "PatchList.h"

#include <QFileInfo>

namespace quillbox {

namespace {

const QString NoLibrarySelection = QStringLiteral(": no library patch is selected");

} // namespace

// ---------------------------------------------------------------------------------------------
// Recording

PanelState LibraryController::Panel() const {
    return doc_.Panel();
}

void LibraryController::ShowHistory() {
    shell_.ShowHistory(history_.UndoName(), history_.RedoName());
}

void LibraryController::AsStep(const std::function<StepOutcome()>& body, qsizetype typingEntry) {
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

void LibraryController::RestorePanel(const PanelState& panel) {
    RefillLibList();
    const qsizetype count = ListCount(ListId::Library);
    if (panel.libSelection >= 0 && panel.libSelection < count) {
        session_.LibSelection = panel.libSelection;
        panes_.SelectListLine(ListId::Library, panel.libSelection);
        if (panel.libSelected.size() > 1 && panel.libSelected.last() < count) {
            session_.LibSelected = panel.libSelected;
            panes_.SelectListLines(ListId::Library, panel.libSelected, panel.libSelection);
        }
    }
    session_.ActiveList = panel.activeList;
    if (panel.detailsEnabled && panel.patchIndex >= 0 && panel.patchIndex < count) {
        session_.PatchIndex = panel.patchIndex;
        session_.CurrentPatch = PatchImage::FromStore(state_.LibraryData, panel.patchIndex);
        panes_.ShowDetails(ShowPatchDetails(session_.CurrentPatch));
        session_.DetailsEnabled = true;
        panes_.EnableDetails(true);
        const QString text = state_.DescArray.value(panel.patchIndex + 1);
        panes_.SetDescriptionText(text);
        DescriptionChanged(text);
    } else if (session_.DetailsEnabled) {
        // The panel shows a library entry that the restored state did not show.
        ShowNothingEditable();
    }
    session_.PatchIndex = panel.patchIndex;
}

void LibraryController::Undo() {
    doc_.EndTypingRun();
    if (!history_.CanUndo())
        return;
    const QString name = history_.UndoName();
    RestorePanel(doc_.Undo());
    shell_.SetModified(state_.LibChanged);
    KeepUnsaved();
    ShowHistory();
    shell_.ShowStatus(QStringLiteral("Undid ") + name);
}

void LibraryController::Redo() {
    doc_.EndTypingRun();
    if (!history_.CanRedo())
        return;
    const QString name = history_.RedoName();
    RestorePanel(doc_.Redo());
    shell_.SetModified(state_.LibChanged);
    KeepUnsaved();
    ShowHistory();
    shell_.ShowStatus(QStringLiteral("Redid ") + name);
}

// ---------------------------------------------------------------------------------------------
// Names

QString LibraryController::LibLine(qsizetype k) const {
    return ListLine(ListId::Library, k).trimmed();
}

QString LibraryController::PatchesName(qsizetype p) const {
    const QString line = ListLine(ListId::Patches, p);
    return line.mid(line.indexOf(QStringLiteral(":  ")) + 3).trimmed();
}

QString LibraryController::EntryNumber(qsizetype k) const {
    const QString line = ListLine(ListId::Library, k);
    return line.left(line.indexOf(QLatin1Char(':')));
}

QString LibraryController::Patches(qsizetype count) {
    return count == 1 ? QStringLiteral("1 patch") : QString::number(count) + QStringLiteral(" patches");
}

QString LibraryController::ShortPath(const QString& path) {
    return QStringLiteral("\u2026/") + QFileInfo(path).fileName();
}

// ---------------------------------------------------------------------------------------------
// The Patch menu

void LibraryController::CopySelectedPatch() {
    // Several selected patches go in together; one takes the single-patch path.
    if (const QList<qsizetype> patches = Selection(ListId::Patches); patches.size() > 1)
        return CopySelectedPatches(patches);
    const qsizetype p = session_.PatchesSelection;
    const qsizetype k = session_.LibSelection;
    const bool ready = state_.LibraryLoaded;
    const qsizetype at = k >= 0 ? k + 1 : ListCount(ListId::Library);
    AsStep([&] {
        DoCopySelectedPatch();
        return StepOutcome{QStringLiteral("Copy ") + LibLine(at),
                           QStringLiteral("Copied ") + PatchesName(p) +
                               QStringLiteral(" into the library as ") + EntryNumber(at),
                           ready ? QStringLiteral("Nothing copied: no patch of the patches list is selected")
                                 : QString()};
    });
}

void LibraryController::PatchesDoubleClicked() {
    const qsizetype p = session_.PatchesSelection;
    const qsizetype k = session_.LibSelection;
    const qsizetype at = k >= 0 ? k + 1 : ListCount(ListId::Library);
    AsStep([&] {
        DoPatchesDoubleClicked();
        return StepOutcome{QStringLiteral("Copy ") + LibLine(at),
                           QStringLiteral("Copied ") + PatchesName(p) +
                               QStringLiteral(" into the library as ") + EntryNumber(at),
                           {}};
    });
}

void LibraryController::ReplaceSelectedPatch() {
    const qsizetype p = session_.PatchesSelection;
    const QString line = LibLine(session_.LibSelection);
    const bool ready = state_.LibraryLoaded;
    AsStep([&] {
        DoReplaceSelectedPatch();
        return StepOutcome{QStringLiteral("Replace ") + line,
                           QStringLiteral("Replaced ") + line + QStringLiteral(" with ") + PatchesName(p),
                           ready ? QStringLiteral("Nothing replaced: select a patch in each list")
                                 : QString()};
    });
}

void LibraryController::UpdateLibWithSelected() {
    const qsizetype p = session_.PatchesSelection;
    const QString line = LibLine(session_.LibSelection);
    const bool ready = state_.LibraryLoaded;
    AsStep([&] {
        DoUpdateLibWithSelected();
        return StepOutcome{QStringLiteral("Update ") + line,
                           QStringLiteral("Updated ") + line + QStringLiteral(" from ") + PatchesName(p),
                           ready ? QStringLiteral("Nothing updated: select a patch in each list")
                                 : QString()};
    });
}

void LibraryController::AppendAllPatches() {
    const bool ready = state_.LibraryLoaded;
    const qsizetype offered = ListCount(ListId::Patches);
    AsStep([&] {
        DoAppendAllPatches();
        return StepOutcome{QStringLiteral("Append All Patches"),
                           QStringLiteral("Appended ") + Patches(offered),
                           ready ? QStringLiteral("Nothing appended: the patches list is empty") : QString()};
    });
}

void LibraryController::AppendDifferentPatches() {
    const bool ready = state_.LibraryLoaded;
    const qsizetype offered = ListCount(ListId::Patches);
    const qsizetype countBefore = ListCount(ListId::Library);
    // Why a patch is left out: the library has it, or an earlier patch of the list is the same.
    qsizetype inLibrary = 0;
    if (ready) {
        for (const unsigned kinds : Twins().AllPatchKinds(session_.PatchesData))
            inLibrary += (kinds & TwinIdentical) ? 1 : 0;
    }
    AsStep([&] {
        DoAppendDifferentPatches();
        const qsizetype appended = ListCount(ListId::Library) - countBefore;
        const qsizetype skipped = offered - appended;
        QStringList why;
        if (inLibrary > 0)
            why.append(QStringLiteral("%1 identical to library patches").arg(inLibrary));
        if (skipped - inLibrary > 0)
            why.append(
                QStringLiteral("%1 identical to earlier patches of the list").arg(skipped - inLibrary));
        const QString reasons = why.join(QStringLiteral(", "));
        QString done = QStringLiteral("Appended %1 of %2").arg(appended).arg(Patches(offered));
        if (skipped > 0)
            done += QStringLiteral("; skipped %1: ").arg(skipped) + reasons;
        QString nothing;
        if (ready)
            nothing = offered == 0 ? QStringLiteral("Nothing appended: the patches list is empty")
                                   : QStringLiteral("Appended none of %1: ").arg(Patches(offered)) + reasons;
        return StepOutcome{QStringLiteral("Append All Different Patches"), done, nothing};
    });
}

void LibraryController::UpdateAllPatchesInLib() {
    const bool ready = state_.LibraryLoaded;
    const QByteArray before = state_.LibraryData;
    AsStep([&] {
        DoUpdateAllPatchesInLib();
        const QByteArray& after = state_.LibraryData;
        const qsizetype count = ListCount(ListId::Library);
        qsizetype updated = 0;
        if (after.constData() != before.constData()) {
            for (qsizetype k = 0; k < count; ++k) {
                if (EntryView(before, k) != EntryView(after, k))
                    ++updated;
            }
        }
        const QString done = QStringLiteral("Updated %1 of %2 library patches").arg(updated).arg(count);
        return StepOutcome{QStringLiteral("Update All Patches in the Library"), done,
                           ready ? done : QString()};
    });
}

// ---------------------------------------------------------------------------------------------
// The Library menu

void LibraryController::RandomModification() {
    if (Selection(ListId::Library).size() > 1)
        return RandomizeSelection();
    const QString line = LibLine(session_.LibSelection);
    AsStep([&] {
        DoRandomModification();
        return StepOutcome{QStringLiteral("Random Modification of ") + line,
                           QStringLiteral("Made a random variation of ") + line,
                           QStringLiteral("Nothing changed") + NoLibrarySelection};
    });
}

} // namespace quillbox
