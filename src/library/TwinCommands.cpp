// Twins, and the comparison of two entries with its "Take →".
#include "TwinCommands.h"

#include "PatchList.h"

#include <QSet>

namespace quillbox {

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

TwinCommands::TwinCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, ShellView& shell)
    : CommandBase(doc, lists, steps), shell_(shell) {}

// ---------------------------------------------------------------------------------------------
// Twins

unsigned TwinCommands::LineTwinKinds(ListId list, qsizetype index) const {
    if (index < 0 || index >= lists_.ListCount(list))
        return TwinNone;
    return list == ListId::Library ? doc_.Twins().LibraryKinds(index)
                                   : doc_.Twins().PatchKinds(session_.PatchesData, index);
}

std::optional<unsigned> TwinCommands::LineTwinKindsIfCounted(ListId list, qsizetype index) const {
    if (index < 0 || index >= lists_.ListCount(list))
        return TwinNone;
    const TwinIndex* twins = doc_.TwinsIfCounted();
    if (!twins)
        return std::nullopt;
    return list == ListId::Library ? twins->LibraryKinds(index)
                                   : twins->PatchKinds(session_.PatchesData, index);
}

QString TwinCommands::LineTwinToolTip(ListId list, qsizetype index) const {
    if (index < 0 || index >= lists_.ListCount(list))
        return {};
    const QByteArray image = PatchImage::FromStore(lists_.Store(list), index).Bytes();
    return doc_.Twins().ToolTip(image, list == ListId::Library ? index : -1);
}

std::vector<qsizetype> TwinCommands::DuplicatePositions() const {
    QSet<QByteArray> seen;
    const qsizetype count = lists_.ListCount(ListId::Library);
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

void TwinCommands::SelectDuplicates() {
    doc_.EndTypingRun();
    const std::vector<qsizetype> duplicates = DuplicatePositions();
    if (duplicates.empty()) {
        shell_.ShowStatus(QStringLiteral("No duplicates: no library patch repeats an earlier one"));
        return;
    }
    // The first duplicate becomes the current entry, as a click would make it; the others are
    // selected with it, so that Delete removes them all in one step.
    lists_.SelectLibraryLines(QList<qsizetype>(duplicates.begin(), duplicates.end()), duplicates.front());
    shell_.ShowStatus(duplicates.size() == 1
                          ? QStringLiteral("Selected 1 duplicate: ") + lists_.EntryNumber(duplicates.front())
                          : QStringLiteral("Selected %1 duplicates").arg(duplicates.size()));
}

// ---------------------------------------------------------------------------------------------
// Compare

std::optional<std::pair<EntryRef, EntryRef>> TwinCommands::SelectedPairToCompare() const {
    // Two selected lines of one list (the one used last first) compare with each other.
    const ListId lastUsed = session_.ActiveList == ActiveListPatches ? ListId::Patches : ListId::Library;
    for (const ListId list : {lastUsed, lastUsed == ListId::Library ? ListId::Patches : ListId::Library}) {
        if (const QList<qsizetype> selected = lists_.Selection(list); selected.size() == 2)
            return std::pair{EntryRef{list, selected[0]}, EntryRef{list, selected[1]}};
    }
    const EntryRef left{ListId::Patches, session_.PatchesSelection};
    const EntryRef right{ListId::Library, session_.LibSelection};
    if (!EntryExists(left) || !EntryExists(right))
        return std::nullopt;
    return std::pair{left, right};
}

bool TwinCommands::EntryExists(const EntryRef& entry) const {
    return entry.index >= 0 && entry.index < lists_.ListCount(entry.list);
}

PatchComparison TwinCommands::Compare(const EntryRef& left, const EntryRef& right) const {
    return ComparePatches(lists_.Store(left.list), left.index, lists_.Store(right.list), right.index);
}

QString TwinCommands::EntryLabel(const EntryRef& entry) const {
    const QString line = lists_.ListLine(entry.list, entry.index);
    return (entry.list == ListId::Library ? QStringLiteral("Library ") : QStringLiteral("Patches ")) +
           line.left(line.indexOf(QLatin1Char(':')));
}

QString TwinCommands::EntryDescription(const EntryRef& entry) const {
    if (!EntryExists(entry))
        return {};
    return entry.list == ListId::Library ? state_.DescArray.value(entry.index + 1)
                                         : lists_.PatchDescription(entry.index);
}

void TwinCommands::TakeParameter(const EntryRef& from, qsizetype libIndex, BoundField field) {
    doc_.EndTypingRun();
    const EntryRef to{ListId::Library, libIndex};
    if (!EntryExists(from) || !EntryExists(to) || from == to)
        return;
    const PatchComparison comparison = Compare(from, to);
    const qsizetype parameter = static_cast<qsizetype>(field);
    const QString line = lists_.LibLine(libIndex);
    const QString name = comparison.parameterNames.value(parameter);
    steps_.AsStep([&] {
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
            lists_.RefreshPanelIfShowing(libIndex, false);
        }
        return StepOutcome{QStringLiteral("Take ") + name + QStringLiteral(" into ") + line,
                           QStringLiteral("Took the ") + name.toLower() + QStringLiteral(" of ") +
                               EntryLabel(from) + QStringLiteral(" into ") + line,
                           QStringLiteral("Nothing changed: ") + line + QStringLiteral(" already had that ") +
                               name.toLower()};
    });
}

} // namespace quillbox
