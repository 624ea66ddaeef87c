// The Patch menu: carrying patches from the patches list into the library.
#include "TransferCommands.h"

#include "DescriptionFile.h"
#include "PatchList.h"

#include <QSet>

namespace quillbox {

TransferCommands::TransferCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps)
    : CommandBase(doc, lists, steps) {}

void TransferCommands::CopySelectedPatch() {
    CopyPatches(true);
}

void TransferCommands::PatchesDoubleClicked() {
    CopyPatches(false);
}

void TransferCommands::CopyPatches(bool menu) {
    // The menu command copies every selected patch; a double click the one patch clicked.
    const QList<qsizetype> patches = menu ? lists_.Selection(ListId::Patches) : QList<qsizetype>();
    const qsizetype p = session_.PatchesSelection;
    const qsizetype k = session_.LibSelection;
    const qsizetype at = k >= 0 ? k + 1 : lists_.ListCount(ListId::Library);
    steps_.AsStep([&] {
        if (!lists_.LibraryReadyForTransfer())
            return StepOutcome{};
        // Several selected patches go in together; one (or none) goes in as a single copy always
        // has, its description put in by the description array's own insert.
        if (patches.size() <= 1) {
            const bool copied = p >= 0 && p < lists_.ListCount(ListId::Patches);
            if (copied) {
                const QByteArray patch = lists_.PatchForLibrary(p);
                const QString description = lists_.PatchDescription(p);
                if (k < 0 || k + 1 >= lists_.ListCount(ListId::Library))
                    doc_.PadShortLastEntry();
                if (k >= 0) {
                    // After the selected entry; its description goes in at the same place.
                    doc_.InsertImage(k + 1, patch);
                    doc_.ModifyDescArray(qint32(k + 1), DescInsertAfter, description);
                } else {
                    // The description array is sized by the list as it stands, so it goes first.
                    doc_.ModifyDescArray(qint32(lists_.ListCount(ListId::Library)), DescResizeAndSet,
                                         description);
                    doc_.InsertImage(lists_.ListCount(ListId::Library), patch);
                }
            }
            lists_.RefillLibList();
            // The menu command marks the library changed even when no patch was selected.
            if (copied || menu)
                doc_.MarkChanged();
            return StepOutcome{
                QStringLiteral("Copy ") + lists_.LibLine(at),
                QStringLiteral("Copied ") + lists_.PatchesName(p) + QStringLiteral(" into the library as ") +
                    lists_.EntryNumber(at),
                menu ? QStringLiteral("Nothing copied: no patch of the patches list is selected")
                     : QString()};
        }
        QStringList descriptions;
        const EntryChange change = doc_.Insert(at, lists_.PatchImages(patches, &descriptions), descriptions);
        doc_.MarkChanged();
        // As with one patch, the library list is left without a selection, so that the next copy
        // goes to the end.
        lists_.RefillLibList(-1, &change);
        return StepOutcome{QStringLiteral("Copy ") + Patches(patches.size()),
                           QStringLiteral("Copied %1 into the library as %2 to %3")
                               .arg(Patches(patches.size()), lists_.EntryNumber(at),
                                    lists_.EntryNumber(at + patches.size() - 1)),
                           {}};
    });
}

void TransferCommands::ReplaceSelectedPatch() {
    ReplaceLibPatch(true);
}

void TransferCommands::UpdateLibWithSelected() {
    ReplaceLibPatch(false);
}

void TransferCommands::ReplaceLibPatch(bool withDescription) {
    const qsizetype p = session_.PatchesSelection;
    const qsizetype k = session_.LibSelection;
    const QString line = lists_.LibLine(k);
    steps_.AsStep([&] {
        if (!lists_.LibraryReadyForTransfer())
            return StepOutcome{};
        if (p >= 0 && p < lists_.ListCount(ListId::Patches) && k >= 0 &&
            k < lists_.ListCount(ListId::Library)) {
            doc_.SetEntry(k, lists_.PatchForLibrary(p));
            if (withDescription)
                doc_.ModifyDescArray(qint32(k + 1), DescSetSelected, lists_.PatchDescription(p));
            // The panel, if it shows that entry, shows what is now stored there.
            lists_.RefreshPanelIfShowing(k, withDescription);
        }
        lists_.RefillLibList();
        doc_.MarkChanged();
        if (withDescription)
            return StepOutcome{QStringLiteral("Replace ") + line,
                               QStringLiteral("Replaced ") + line + QStringLiteral(" with ") +
                                   lists_.PatchesName(p),
                               QStringLiteral("Nothing replaced: select a patch in each list")};
        return StepOutcome{QStringLiteral("Update ") + line,
                           QStringLiteral("Updated ") + line + QStringLiteral(" from ") +
                               lists_.PatchesName(p),
                           QStringLiteral("Nothing updated: select a patch in each list")};
    });
}

void TransferCommands::AppendAllPatches() {
    const qsizetype offered = lists_.ListCount(ListId::Patches);
    steps_.AsStep([&] {
        if (!lists_.LibraryReadyForTransfer())
            return StepOutcome{};
        const qsizetype count = lists_.ListCount(ListId::Patches);
        const DescriptionReader reader(session_.PatchesDescFilePath);
        doc_.Reserve(count);
        if (count > 0)
            doc_.PadShortLastEntry();
        for (qsizetype p = 0; p < count; ++p) {
            doc_.InsertImage(lists_.ListCount(ListId::Library), lists_.PatchForLibrary(p));
            doc_.ModifyDescArray(0, DescAppend, reader.Description(p + 1));
        }
        doc_.MarkChanged();
        lists_.RefillLibList();
        return StepOutcome{QStringLiteral("Append All Patches"),
                           QStringLiteral("Appended ") + Patches(offered),
                           QStringLiteral("Nothing appended: the patches list is empty")};
    });
}

void TransferCommands::AppendDifferentPatches() {
    const bool ready = state_.LibraryLoaded;
    const qsizetype offered = lists_.ListCount(ListId::Patches);
    const qsizetype countBefore = lists_.ListCount(ListId::Library);
    // Why a patch is left out: the library has it, or an earlier patch of the list is the same.
    qsizetype inLibrary = 0;
    if (ready) {
        for (const unsigned kinds : doc_.Twins().AllPatchKinds(session_.PatchesData))
            inLibrary += (kinds & TwinIdentical) ? 1 : 0;
    }
    steps_.AsStep([&] {
        if (!lists_.LibraryReadyForTransfer())
            return StepOutcome{};
        // A patch is appended when its 18 bytes equal no library entry and no patch appended before it.
        QSet<QByteArray> known;
        const qsizetype libCount = lists_.ListCount(ListId::Library);
        known.reserve(libCount);
        for (qsizetype k = 0; k < libCount; ++k)
            known.insert(PatchImage::FromStore(state_.LibraryData, k).Bytes());

        const qsizetype count = lists_.ListCount(ListId::Patches);
        const DescriptionReader reader(session_.PatchesDescFilePath);
        for (qsizetype p = 0; p < count; ++p) {
            QByteArray patch = lists_.PatchForLibrary(p);
            if (known.contains(patch))
                continue;
            known.insert(patch);
            doc_.PadShortLastEntry();
            doc_.InsertImage(lists_.ListCount(ListId::Library), patch);
            doc_.ModifyDescArray(0, DescAppend, reader.Description(p + 1));
        }
        doc_.MarkChanged();
        lists_.RefillLibList();

        const qsizetype appended = lists_.ListCount(ListId::Library) - countBefore;
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
        const QString nothing = offered == 0
                                    ? QStringLiteral("Nothing appended: the patches list is empty")
                                    : QStringLiteral("Appended none of %1: ").arg(Patches(offered)) + reasons;
        return StepOutcome{QStringLiteral("Append All Different Patches"), done, nothing};
    });
}

void TransferCommands::UpdateAllPatchesInLib() {
    const QByteArray before = state_.LibraryData;
    steps_.AsStep([&] {
        if (!lists_.LibraryReadyForTransfer())
            return StepOutcome{};
        // A list line starts with the entry's position, so line p of the patches list can only equal
        // line p of the library list: one pass comparing equal positions finds every pair.
        const qsizetype pairs =
            std::min(lists_.ListCount(ListId::Patches), lists_.ListCount(ListId::Library));
        bool changed = false;
        bool shownChanged = false;
        for (qsizetype p = 0; p < pairs; ++p) {
            if (PatchListLine(session_.PatchesData, p) != PatchListLine(state_.LibraryData, p))
                continue;
            const QByteArray patch = lists_.PatchForLibrary(p);
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
            lists_.RefreshPanelIfShowing(session_.PatchIndex, false);

        const QByteArray& after = state_.LibraryData;
        const qsizetype count = lists_.ListCount(ListId::Library);
        qsizetype updated = 0;
        if (after.constData() != before.constData()) {
            for (qsizetype k = 0; k < count; ++k) {
                if (EntryView(before, k) != EntryView(after, k))
                    ++updated;
            }
        }
        const QString done = QStringLiteral("Updated %1 of %2 library patches").arg(updated).arg(count);
        return StepOutcome{QStringLiteral("Update All Patches in the Library"), done, done};
    });
}

} // namespace quillbox
