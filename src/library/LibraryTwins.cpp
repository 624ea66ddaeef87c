// Twins, the comparison of two entries with its "Take →", and the set list.
#include "LibraryController.h"
#include "PatchList.h"
#include "SafeSave.h"

#include <QFileInfo>
#include <QSet>

namespace quillbox {

// ---------------------------------------------------------------------------------------------
// Twins

const TwinIndex& LibraryController::Twins() const {
    return doc_.Twins();
}

const QByteArray& LibraryController::Store(ListId list) const {
    return list == ListId::Library ? state_.LibraryData : session_.PatchesData;
}

unsigned LibraryController::LineTwinKinds(ListId list, qsizetype index) const {
    if (index < 0 || index >= ListCount(list))
        return TwinNone;
    return list == ListId::Library ? Twins().LibraryKinds(index)
                                   : Twins().PatchKinds(session_.PatchesData, index);
}

std::optional<unsigned> LibraryController::LineTwinKindsIfCounted(ListId list, qsizetype index) const {
    if (index < 0 || index >= ListCount(list))
        return TwinNone;
    const TwinIndex* twins = doc_.TwinsIfCounted();
    if (!twins)
        return std::nullopt;
    return list == ListId::Library ? twins->LibraryKinds(index)
                                   : twins->PatchKinds(session_.PatchesData, index);
}

QString LibraryController::LineTwinToolTip(ListId list, qsizetype index) const {
    if (index < 0 || index >= ListCount(list))
        return {};
    const QByteArray image = PatchImage::FromStore(Store(list), index).Bytes();
    return Twins().ToolTip(image, list == ListId::Library ? index : -1);
}

std::vector<qsizetype> LibraryController::DuplicatePositions() const {
    QSet<QByteArray> seen;
    const qsizetype count = ListCount(ListId::Library);
    seen.reserve(count);
    std::vector<qsizetype> duplicates;
    for (qsizetype k = 0; k < count; ++k) {
        // As the library stores them: a short last entry is its padded image.
        const QByteArray image = PatchImage::FromStore(state_.LibraryData, k).Bytes();
        if (seen.contains(image))
            duplicates.push_back(k);
        else
            seen.insert(image);
    }
    return duplicates;
}

void LibraryController::SelectDuplicates() {
    doc_.EndTypingRun();
    const std::vector<qsizetype> duplicates = DuplicatePositions();
    if (duplicates.empty()) {
        shell_.ShowStatus(QStringLiteral("No duplicates: no library patch repeats an earlier one"));
        return;
    }
    // The first duplicate becomes the current entry, as a click would make it; the others are
    // selected with it, so that Delete removes them all in one step.
    SelectLibraryLines(QList<qsizetype>(duplicates.begin(), duplicates.end()), duplicates.front());
    shell_.ShowStatus(duplicates.size() == 1
                         ? QStringLiteral("Selected 1 duplicate: ") + EntryNumber(duplicates.front())
                         : QStringLiteral("Selected %1 duplicates").arg(duplicates.size()));
}

QString LibraryController::ImportAccounting() const {
    const qsizetype count = ListCount(ListId::Patches);
    const TwinIndex& twins = Twins();
    qsizetype identical = 0, sameName = 0;
    const std::vector<unsigned> kinds = twins.AllPatchKinds(session_.PatchesData);
    for (qsizetype p = 0; p < count; ++p) {
        if (kinds[size_t(p)] & TwinIdentical)
            ++identical;
        else if (twins.NameInLibrary(session_.PatchesData, p))
            ++sameName;
    }
    return QStringLiteral(": %1 identical to library patches, %2 same name with other settings, %3 new.")
        .arg(identical)
        .arg(sameName)
        .arg(count - identical - sameName);
}

// ---------------------------------------------------------------------------------------------
// Compare

std::optional<std::pair<LibraryController::EntryRef, LibraryController::EntryRef>>
LibraryController::SelectedPairToCompare() const {
    // Two selected lines of one list (the one used last first) compare with each other.
    const ListId lastUsed = session_.ActiveList == ActiveListPatches ? ListId::Patches : ListId::Library;
    for (const ListId list : {lastUsed, lastUsed == ListId::Library ? ListId::Patches : ListId::Library}) {
        if (const QList<qsizetype> selected = Selection(list); selected.size() == 2)
            return std::pair{EntryRef{list, selected[0]}, EntryRef{list, selected[1]}};
    }
    const EntryRef left{ListId::Patches, session_.PatchesSelection};
    const EntryRef right{ListId::Library, session_.LibSelection};
    if (!EntryExists(left) || !EntryExists(right))
        return std::nullopt;
    return std::pair{left, right};
}

bool LibraryController::EntryExists(const EntryRef& entry) const {
    return entry.index >= 0 && entry.index < ListCount(entry.list);
}

PatchComparison LibraryController::Compare(const EntryRef& left, const EntryRef& right) const {
    return ComparePatches(Store(left.list), left.index, Store(right.list), right.index);
}

QString LibraryController::EntryLabel(const EntryRef& entry) const {
    const QString line = ListLine(entry.list, entry.index);
    return (entry.list == ListId::Library ? QStringLiteral("Library ") : QStringLiteral("Patches ")) +
           line.left(line.indexOf(QLatin1Char(':')));
}

QString LibraryController::EntryDescription(const EntryRef& entry) const {
    if (!EntryExists(entry))
        return {};
    return entry.list == ListId::Library ? state_.DescArray.value(entry.index + 1)
                                         : PatchDescription(entry.index);
}

namespace {

ImageField FieldOf(BoundField field) {
    switch (field) {
    case BoundField::DriveType:
        return ImageField::DriveType;
    case BoundField::CabType:
        return ImageField::CabType;
    case BoundField::CabSpeaker:
        return ImageField::CabSpeaker;
    case BoundField::DriveModule:
        return ImageField::DriveModule;
    case BoundField::CabModule:
        return ImageField::CabModule;
    }
    return ImageField::Carried;
}

} // namespace

void LibraryController::TakeParameter(const EntryRef& from, qsizetype libIndex, BoundField field) {
    doc_.EndTypingRun();
    const EntryRef to{ListId::Library, libIndex};
    if (!EntryExists(from) || !EntryExists(to) || from == to)
        return;
    const PatchComparison comparison = Compare(from, to);
    const qsizetype parameter = static_cast<qsizetype>(field);
    const QString line = LibLine(libIndex);
    const QString name = comparison.parameterNames.value(parameter);
    AsStep([&] {
        // The field's own bits are copied: every other bit of the entry stays as it was.
        QByteArray image = comparison.right;
        const ImageField target = FieldOf(field);
        for (int byte1 = 1; byte1 <= PatchImageSize; ++byte1) {
            for (int bit = 0; bit < 8; ++bit) {
                if (FieldOfBit(byte1, bit) != target)
                    continue;
                const char mask = char(1 << bit);
                image[byte1 - 1] = char((image[byte1 - 1] & ~mask) | (comparison.left[byte1 - 1] & mask));
            }
        }
        if (image != comparison.right) {
            doc_.SetEntry(libIndex, image);
            RefreshPanelIfShowing(libIndex, false);
        }
        return StepOutcome{QStringLiteral("Take ") + name + QStringLiteral(" into ") + line,
                           QStringLiteral("Took the ") + name.toLower() + QStringLiteral(" of ") +
                               EntryLabel(from) + QStringLiteral(" into ") + line,
                           QStringLiteral("Nothing changed: ") + line + QStringLiteral(" already had that ") +
                               name.toLower()};
    });
}

// ---------------------------------------------------------------------------------------------
// The set list

std::vector<SetListRow> LibraryController::SetList() const {
    return SetListRows(state_.LibraryData, state_.DescArray);
}

QString LibraryController::SetListTitle() const {
    return state_.LibFileName.isEmpty() ? appTitle_ : state_.LibFileName;
}

void LibraryController::ExportSetList() {
    RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Export Set List");
        request.filter = QStringLiteral("Set list as CSV (*.csv)") + QChar(0) + QStringLiteral("*.csv") +
                         QChar(0) + QStringLiteral("Set list as PDF (*.pdf)") + QChar(0) +
                         QStringLiteral("*.pdf") + QChar(0) +
                         QStringLiteral("Set list in large print for the stage (*.pdf)") + QChar(0) +
                         QStringLiteral("*.pdf") + QChar(0);
        request.readOnly = false;
        request.forSaving = true;
        request.kind = FileKind::Library;
        request.fileName = QFileInfo(state_.LibFileName).completeBaseName() + QStringLiteral(".csv");
        QString path = AskPathOrCancel(request);
        const QString suffix = QFileInfo(path).suffix().toLower();
        // The name's extension decides between CSV and PDF; a name without either takes the chosen
        // filter's. The third filter prints a PDF in large print.
        const int filter = shell_.ChosenFilter();
        const bool csv = suffix == QLatin1String("csv");
        const bool pdf = suffix == QLatin1String("pdf") || (!csv && (filter == 1 || filter == 2));
        const bool largePrint = pdf && filter == 2;
        if (!csv && suffix != QLatin1String("pdf"))
            path += pdf ? QStringLiteral(".pdf") : QStringLiteral(".csv");
        if (!ConfirmReplace(path))
            return;
        const std::vector<SetListRow> rows = SetList();
        if (pdf) {
            shell_.WriteSetListPdf(path, SetListTitle(), rows,
                                  largePrint ? SetListPrint::LargePrint : SetListPrint::Table);
        } else {
            SafeSave save;
            save.Add(path, SetListCsv(rows));
            save.Commit();
        }
        shell_.SetBusy(false);
        shell_.ShowStatus(QStringLiteral("Exported the set list of ") + Patches(qsizetype(rows.size())) +
                         QStringLiteral(" to ") + ShortPath(path));
    });
}

} // namespace quillbox
