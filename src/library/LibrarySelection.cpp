// Several selected lines: the commands that act on every selected entry, and the drops that move
// library entries or copy patches into the library. Each is one step of the history. With one
// selected line the commands take their single-entry path instead (LibraryHistory.cpp).
#include "LibraryController.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace quillbox {

namespace {

// Ascending, each once, only lines that exist.
QList<qsizetype> Cleaned(QList<qsizetype> positions, qsizetype count) {
    if (!std::is_sorted(positions.begin(), positions.end()))
        std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.erase(std::remove_if(positions.begin(), positions.end(),
                                   [count](qsizetype k) { return k < 0 || k >= count; }),
                    positions.end());
    return positions;
}

bool Contains(const QList<qsizetype>& sorted, qsizetype k) {
    return std::binary_search(sorted.begin(), sorted.end(), k);
}

// `current` when it is selected; otherwise the selected line before it, or the first one.
qsizetype CurrentAmong(const QList<qsizetype>& sorted, qsizetype current) {
    if (Contains(sorted, current))
        return current;
    const auto after = std::lower_bound(sorted.begin(), sorted.end(), current);
    return after == sorted.begin() ? sorted.first() : *(after - 1);
}

qsizetype IndexIn(const QList<qsizetype>& sorted, qsizetype k) {
    return std::lower_bound(sorted.begin(), sorted.end(), k) - sorted.begin();
}

QList<qsizetype> Run(qsizetype first, qsizetype count) {
    QList<qsizetype> run(count);
    std::iota(run.begin(), run.end(), first);
    return run;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Selecting

QList<qsizetype> LibraryController::Selection(ListId list) const {
    const bool library = list == ListId::Library;
    const QList<qsizetype>& many = library ? state_.LibSelected : state_.PatchesSelected;
    const qsizetype current = library ? state_.LibSelection : state_.PatchesSelection;
    const qsizetype count = ListCount(list);
    if (many.size() > 1 && many.first() >= 0 && many.last() < count && Contains(many, current))
        return many;
    if (current >= 0 && current < count)
        return {current};
    return {};
}

void LibraryController::LibrarySelected(QList<qsizetype> positions, qsizetype current) {
    positions = Cleaned(std::move(positions), ListCount(ListId::Library));
    if (positions.size() <= 1)
        return LibraryClicked(positions.isEmpty() ? -1 : positions.first());
    history_.EndTypingRun();
    state_.LibSelection = CurrentAmong(positions, current);
    state_.LibSelected = std::move(positions);
    state_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryController::PatchesSelected(QList<qsizetype> positions, qsizetype current) {
    positions = Cleaned(std::move(positions), ListCount(ListId::Patches));
    if (positions.size() <= 1)
        return PatchesClicked(positions.isEmpty() ? -1 : positions.first());
    history_.EndTypingRun();
    state_.PatchesSelection = CurrentAmong(positions, current);
    state_.PatchesSelected = std::move(positions);
    state_.ActiveList = ActiveListPatches;
    SelectPatch(false);
}

void LibraryController::SelectLibraryLines(const QList<qsizetype>& positions, qsizetype current) {
    if (positions.size() <= 1) {
        if (!positions.isEmpty())
            SelectLibraryLine(positions.first());
        return;
    }
    state_.LibSelection = current;
    state_.LibSelected = positions;
    view_.SelectListLines(ListId::Library, positions, current);
    state_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryController::RefillLibListSelecting(const QList<qsizetype>& positions, qsizetype current) {
    RefillLibList();
    SelectLibraryLines(positions, current);
}

QString LibraryController::Lines(const QList<qsizetype>& positions) const {
    return positions.size() == 1 ? LibLine(positions.first()) : Patches(positions.size());
}

// ---------------------------------------------------------------------------------------------
// Building blocks

void LibraryController::Rearrange(const QList<qsizetype>& order) {
    const QByteArray& old = state_.LibraryData;
    const QStringList& oldDesc = state_.DescArray;
    const qsizetype last = ListCount(ListId::Library) - 1;
    const bool shortLast = old.size() % PatchImageSize != 0;
    // A short last entry stays as it is only where it stays the last and is not cloned.
    const bool keepShort = shortLast && !order.isEmpty() && order.last() == last &&
                           (order.size() < 2 || order.at(order.size() - 2) != last);
    const qsizetype tail = keepShort ? old.size() % PatchImageSize - PatchImageSize : 0;
    QByteArray bytes(order.size() * PatchImageSize + tail, Qt::Uninitialized);
    char* out = bytes.data();
    QStringList desc;
    desc.reserve(order.size() + 1);
    desc.append(oldDesc.value(0));
    for (qsizetype i = 0; i < order.size(); ++i) {
        const qsizetype k = order.at(i);
        if (shortLast && k == last) {
            const QByteArray entry =
                keepShort && i == order.size() - 1 ? old.sliced(k * PatchImageSize) : LibEntryPadded(k);
            std::memcpy(out, entry.constData(), size_t(entry.size()));
            out += entry.size();
        } else {
            std::memcpy(out, old.constData() + k * PatchImageSize, PatchImageSize);
            out += PatchImageSize;
        }
        desc.append(oldDesc.value(k + 1));
    }
    state_.LibraryData = std::move(bytes);
    state_.DescArray = std::move(desc);
    stepOrder_ = order;
    ++stepRearranges_;
}

void LibraryController::InsertPatches(const QList<qsizetype>& patches, qsizetype at) {
    const qsizetype count = ListCount(ListId::Library);
    at = std::clamp<qsizetype>(at, 0, count);
    if (at == count)
        PadShortLastEntry();
    QByteArray images;
    images.reserve(patches.size() * PatchImageSize);
    QStringList& desc = state_.DescArray;
    if (desc.size() < count + 1)
        desc.resize(count + 1);
    desc.insert(at + 1, patches.size(), QString());
    for (qsizetype i = 0; i < patches.size(); ++i) {
        images.append(PatchForLibrary(patches.at(i)));
        desc[at + 1 + i] = PatchDescription(patches.at(i));
    }
    state_.LibraryData.insert(std::min(state_.LibraryData.size(), at * PatchImageSize), images);
}

// ---------------------------------------------------------------------------------------------
// The commands on several selected lines

void LibraryController::CopySelectedPatches(const QList<qsizetype>& patches) {
    const qsizetype k = state_.LibSelection;
    const qsizetype at = k >= 0 ? k + 1 : ListCount(ListId::Library);
    AsStep([&] {
        if (!LibraryReadyForTransfer())
            return StepOutcome{};
        InsertPatches(patches, at);
        state_.LibChanged = true;
        // As with one patch, the library list is left without a selection, so that the next copy
        // goes to the end.
        RefillLibList();
        return StepOutcome{
            QStringLiteral("Copy ") + Patches(patches.size()),
            QStringLiteral("Copied %1 into the library as %2 to %3")
                .arg(Patches(patches.size()), EntryNumber(at), EntryNumber(at + patches.size() - 1)),
            {}};
    });
}

void LibraryController::MoveSelectionBy(int direction) {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype count = ListCount(ListId::Library);
    const qsizetype current = state_.LibSelection;
    const bool up = direction < 0;
    AsStep([&] {
        // The selection moves as a whole and keeps its shape: at an end it stops.
        if (up ? selected.first() == 0 : selected.last() == count - 1)
            return StepOutcome{
                {},
                {},
                QStringLiteral("Nothing moved: ") + LibLine(up ? 0 : count - 1) +
                    (up ? QStringLiteral(" is the first patch") : QStringLiteral(" is the last patch"))};
        QList<qsizetype> order = Run(0, count);
        if (up) {
            for (const qsizetype k : selected)
                std::swap(order[k - 1], order[k]);
        } else {
            for (auto it = selected.crbegin(); it != selected.crend(); ++it)
                std::swap(order[*it], order[*it + 1]);
        }
        Rearrange(order);
        state_.LibChanged = true;
        QList<qsizetype> moved = selected;
        for (qsizetype& k : moved)
            k += direction;
        RefillLibListSelecting(moved, current + direction);
        const QString what = Patches(selected.size());
        return StepOutcome{(up ? QStringLiteral("Move up ") : QStringLiteral("Move down ")) + what,
                           QStringLiteral("Moved ") + what +
                               (up ? QStringLiteral(" up") : QStringLiteral(" down")),
                           {}};
    });
}

void LibraryController::CloneSelection() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype count = ListCount(ListId::Library);
    const qsizetype current = state_.LibSelection;
    AsStep([&] {
        QList<qsizetype> order;
        order.reserve(count + selected.size());
        QList<qsizetype> clones;
        clones.reserve(selected.size());
        qsizetype next = 0; // index into `selected`
        for (qsizetype k = 0; k < count; ++k) {
            order.append(k);
            if (next < selected.size() && selected.at(next) == k) {
                order.append(k);
                clones.append(order.size() - 1);
                ++next;
            }
        }
        Rearrange(order);
        state_.LibChanged = true;
        // The clones are selected, the current entry's clone shown.
        RefillLibListSelecting(clones, clones.at(IndexIn(selected, current)));
        return StepOutcome{QStringLiteral("Clone ") + Patches(selected.size()),
                           QStringLiteral("Cloned ") + Patches(selected.size()),
                           {}};
    });
}

void LibraryController::DeleteSelection() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype count = ListCount(ListId::Library);
    AsStep([&] {
        QList<qsizetype> order;
        order.reserve(count - selected.size());
        qsizetype next = 0;
        for (qsizetype k = 0; k < count; ++k) {
            if (next < selected.size() && selected.at(next) == k)
                ++next;
            else
                order.append(k);
        }
        Rearrange(order);
        state_.LibChanged = true;
        // As with one entry: the entry that moved into the first deleted one's place is selected,
        // else the new last one.
        const qsizetype kept = selected.first();
        const qsizetype left = order.size();
        RefillLibList(left > kept ? kept : left - 1);
        ShowSelectionOrNothing();
        return StepOutcome{QStringLiteral("Delete ") + Patches(selected.size()),
                           QStringLiteral("Deleted ") + Patches(selected.size()),
                           {}};
    });
}

void LibraryController::RandomizeSelection() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype current = state_.LibSelection;
    AsStep([&] {
        const QString text = RandomDescription();
        for (const qsizetype k : selected) {
            const qsizetype start = k * PatchImageSize;
            state_.LibraryData.replace(start, std::min(PatchImageSize, state_.LibraryData.size() - start),
                                       RandomImage(k));
            if (k + 1 < state_.DescArray.size())
                state_.DescArray[k + 1] = text;
        }
        state_.LibChanged = true;
        RefillLibListSelecting(selected, current);
        view_.SetNameText(QStringLiteral("RND") + QString::number(current + 1));
        NameKeyReleased(32, 0);
        return StepOutcome{QStringLiteral("Random Modification of ") + Patches(selected.size()),
                           QStringLiteral("Made random variations of ") + Patches(selected.size()),
                           {}};
    });
}

void LibraryController::ExportSelected() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    if (selected.isEmpty()) {
        view_.ShowStatus(QStringLiteral("Nothing exported") +
                         QStringLiteral(": no library patch is selected"));
        return;
    }
    const QByteArray& library = state_.LibraryData;
    QByteArray images;
    images.reserve(selected.size() * PatchImageSize);
    QStringList descriptions{QString()};
    descriptions.reserve(selected.size() + 1);
    for (const qsizetype k : selected) {
        images.append(library.sliced(k * PatchImageSize,
                                     std::min(PatchImageSize, library.size() - k * PatchImageSize)));
        descriptions.append(state_.DescArray.value(k + 1));
    }
    ExportImages(images, descriptions, selected.size());
}

// ---------------------------------------------------------------------------------------------
// Drops

void LibraryController::MoveEntriesTo(QList<qsizetype> positions, qsizetype before) {
    const qsizetype count = ListCount(ListId::Library);
    positions = Cleaned(std::move(positions), count);
    if (positions.isEmpty())
        return;
    before = std::clamp<qsizetype>(before, 0, count);
    const qsizetype current = CurrentAmong(positions, state_.LibSelection);
    const QString what = Lines(positions);
    AsStep([&] {
        QList<qsizetype> order;
        order.reserve(count);
        qsizetype next = 0; // the first moved entry not yet passed
        auto appendUnmoved = [&](qsizetype from, qsizetype to) {
            for (qsizetype k = from; k < to; ++k) {
                if (next < positions.size() && positions.at(next) == k)
                    ++next;
                else
                    order.append(k);
            }
        };
        appendUnmoved(0, before);
        const qsizetype first = order.size(); // where the moved entries begin
        order.append(positions);
        appendUnmoved(before, count);
        bool changed = false;
        for (qsizetype i = 0; i < count && !changed; ++i)
            changed = order.at(i) != i;
        if (changed) {
            Rearrange(order);
            state_.LibChanged = true;
            RefillLibList();
        }
        SelectLibraryLines(Run(first, positions.size()), first + IndexIn(positions, current));
        return StepOutcome{QStringLiteral("Move ") + what,
                           QStringLiteral("Moved ") + what + QStringLiteral(" to ") + EntryNumber(first),
                           QStringLiteral("Nothing moved: ") + what +
                               (positions.size() == 1 ? QStringLiteral(" is already there")
                                                      : QStringLiteral(" are already there"))};
    });
}

void LibraryController::CopyPatchesTo(QList<qsizetype> positions, qsizetype before) {
    positions = Cleaned(std::move(positions), ListCount(ListId::Patches));
    if (positions.isEmpty())
        return;
    before = std::clamp<qsizetype>(before, 0, ListCount(ListId::Library));
    const qsizetype current = CurrentAmong(positions, state_.PatchesSelection);
    AsStep([&] {
        if (!LibraryReadyForTransfer())
            return StepOutcome{};
        InsertPatches(positions, before);
        state_.LibChanged = true;
        // The copies are selected, the copy of the patch last clicked shown.
        RefillLibListSelecting(Run(before, positions.size()), before + IndexIn(positions, current));
        const qsizetype last = before + positions.size() - 1;
        if (positions.size() == 1)
            return StepOutcome{QStringLiteral("Copy ") + LibLine(before),
                               QStringLiteral("Copied ") + PatchesName(positions.first()) +
                                   QStringLiteral(" into the library as ") + EntryNumber(before),
                               {}};
        return StepOutcome{QStringLiteral("Copy ") + Patches(positions.size()),
                           QStringLiteral("Copied %1 into the library as %2 to %3")
                               .arg(Patches(positions.size()), EntryNumber(before), EntryNumber(last)),
                           {}};
    });
}

} // namespace quillbox
