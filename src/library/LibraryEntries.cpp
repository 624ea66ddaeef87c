// The commands on the selected library entries and the drops. Each takes the selected lines as a
// set, one step of the history whatever their number; one selected line is a set of one and changes
// the library exactly as the single-entry command always has.
#include "LibraryController.h"
#include "PatchList.h"

#include <algorithm>
#include <numeric>

namespace quillbox {

namespace {

const QString NoLibrarySelection = QStringLiteral(": no library patch is selected");

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
    const QList<qsizetype>& many = library ? session_.LibSelected : session_.PatchesSelected;
    const qsizetype current = library ? session_.LibSelection : session_.PatchesSelection;
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
    doc_.EndTypingRun();
    session_.LibSelection = CurrentAmong(positions, current);
    session_.LibSelected = std::move(positions);
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryController::PatchesSelected(QList<qsizetype> positions, qsizetype current) {
    positions = Cleaned(std::move(positions), ListCount(ListId::Patches));
    if (positions.size() <= 1)
        return PatchesClicked(positions.isEmpty() ? -1 : positions.first());
    doc_.EndTypingRun();
    session_.PatchesSelection = CurrentAmong(positions, current);
    session_.PatchesSelected = std::move(positions);
    session_.ActiveList = ActiveListPatches;
    SelectPatch(false);
}

void LibraryController::SelectLibraryLines(const QList<qsizetype>& positions, qsizetype current) {
    if (positions.size() <= 1) {
        if (!positions.isEmpty())
            SelectLibraryLine(positions.first());
        return;
    }
    session_.LibSelection = current;
    session_.LibSelected = positions;
    panes_.SelectListLines(ListId::Library, positions, current);
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryController::ShowLibraryChange(const EntryChange& change, const QList<qsizetype>& positions,
                                          qsizetype current) {
    RefillLibList(-1, &change);
    SelectLibraryLines(positions, current);
}

QString LibraryController::Lines(const QList<qsizetype>& positions) const {
    return positions.size() == 1 ? LibLine(positions.first()) : Patches(positions.size());
}

QString LibraryController::NamedLines(const QList<qsizetype>& positions) const {
    if (positions.size() == 1)
        return LibLine(positions.first());
    // A few are named, so that the user sees what went without opening the list.
    constexpr qsizetype Named = 3;
    QStringList names;
    for (qsizetype i = 0; i < std::min(Named, positions.size()); ++i)
        names.append(LibLine(positions.at(i)));
    QString text = Patches(positions.size()) + QStringLiteral(": ") + names.join(QStringLiteral(", "));
    if (positions.size() > Named)
        text += QStringLiteral(" and %1 more").arg(positions.size() - Named);
    return text;
}

// ---------------------------------------------------------------------------------------------
// The Library menu

void LibraryController::MoveUp() {
    MoveSelectionBy(-1);
}

void LibraryController::MoveDown() {
    MoveSelectionBy(+1);
}

void LibraryController::MoveSelectionBy(int direction) {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype count = ListCount(ListId::Library);
    const qsizetype current = session_.LibSelection;
    const bool up = direction < 0;
    const bool one = selected.size() <= 1;
    // One line names itself and where it went; several are counted.
    const QString what = one ? LibLine(current) : Patches(selected.size());
    const QString way = up ? QStringLiteral(" up") : QStringLiteral(" down");
    AsStep([&] {
        const EntryChange change = doc_.MoveBy(selected, direction);
        if (change.kind == EntryChange::Kind::None) {
            if (selected.isEmpty())
                return StepOutcome{{}, {}, QStringLiteral("Nothing moved") + NoLibrarySelection};
            // The selection moves as a whole and keeps its shape: at an end it stops.
            const QString end = one ? what : LibLine(up ? 0 : count - 1);
            return StepOutcome{
                {},
                {},
                QStringLiteral("Nothing moved: ") + end +
                    (up ? QStringLiteral(" is the first patch") : QStringLiteral(" is the last patch"))};
        }
        doc_.MarkChanged();
        QList<qsizetype> moved = selected;
        for (qsizetype& k : moved)
            k += direction;
        ShowLibraryChange(change, moved, current + direction);
        const QString step = (up ? QStringLiteral("Move up ") : QStringLiteral("Move down ")) + what;
        if (one)
            return StepOutcome{step,
                               QStringLiteral("Moved ") + what + way + QStringLiteral(" to ") +
                                   EntryNumber(current + direction),
                               {}};
        return StepOutcome{step, QStringLiteral("Moved ") + what + way, {}};
    });
}

void LibraryController::ClonePatch() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype current = session_.LibSelection;
    const QString what = selected.size() <= 1 ? LibLine(current) : Patches(selected.size());
    AsStep([&] {
        const EntryChange change = doc_.Clone(selected);
        if (change.kind == EntryChange::Kind::None)
            return StepOutcome{{}, {}, QStringLiteral("Nothing cloned") + NoLibrarySelection};
        doc_.MarkChanged();
        // The clones are selected, the current entry's clone shown.
        const QList<qsizetype>& clones = change.positions;
        const qsizetype shown = clones.at(IndexIn(selected, current));
        ShowLibraryChange(change, clones, shown);
        if (selected.size() == 1)
            return StepOutcome{QStringLiteral("Clone ") + what,
                               QStringLiteral("Cloned ") + what + QStringLiteral(" as ") + EntryNumber(shown),
                               {}};
        return StepOutcome{QStringLiteral("Clone ") + what, QStringLiteral("Cloned ") + what, {}};
    });
}

void LibraryController::DeleteSelected() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const QString step = selected.size() <= 1 ? LibLine(session_.LibSelection) : Patches(selected.size());
    const QString named = NamedLines(selected);
    AsStep([&] {
        const EntryChange change = doc_.Remove(selected);
        // The entry that moved into the first deleted one's place is selected, else the new last one;
        // with nothing selected, the first line is.
        const qsizetype kept = selected.isEmpty() ? 0 : selected.first();
        const qsizetype left = ListCount(ListId::Library);
        const qsizetype select = left > kept ? kept : left - 1;
        if (change.kind == EntryChange::Kind::None)
            RefillLibList(select);
        else
            ShowLibraryChange(change, select < 0 ? QList<qsizetype>() : QList<qsizetype>{select}, select);
        // The selected entry's description is already in the box (the selection showed it); with no
        // entry left to show, the panel and the box hold nothing editable.
        ShowSelectionOrNothing();
        doc_.MarkChanged();
        return StepOutcome{QStringLiteral("Delete ") + step, QStringLiteral("Deleted ") + named,
                           QStringLiteral("Nothing deleted") + NoLibrarySelection};
    });
}

void LibraryController::DeleteAll() {
    const qsizetype count = ListCount(ListId::Library);
    AsStep([&] {
        doc_.ClearEntries();
        RefillLibList();
        ModifyDescArray(0, DescClear);
        ShowNothingEditable();
        return StepOutcome{QStringLiteral("Delete ALL Patches"),
                           QStringLiteral("Deleted all ") + Patches(count),
                           QStringLiteral("Nothing deleted: the library is empty")};
    });
}

void LibraryController::SortByName() {
    QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype current = session_.LibSelection;
    const bool all = selected.size() <= 1;
    if (all)
        selected = Run(0, ListCount(ListId::Library));
    const QString what = Patches(selected.size());
    AsStep([&] {
        const EntryChange change = doc_.SortByName(selected);
        if (change.kind == EntryChange::Kind::None)
            return StepOutcome{{},
                               {},
                               QStringLiteral("Nothing sorted: ") + what +
                                   QStringLiteral(" are already in order by name")};
        doc_.MarkChanged();
        if (all) {
            // The entry the user had selected stays selected at its new place.
            const QList<qsizetype>* order = doc_.StepOrder();
            qsizetype went = -1;
            if (order && current >= 0)
                went = std::find(order->begin(), order->end(), current) - order->begin();
            ShowLibraryChange(change, went >= 0 ? QList<qsizetype>{went} : QList<qsizetype>(), went);
        } else {
            ShowLibraryChange(change, selected, current);
        }
        return StepOutcome{QStringLiteral("Sort by Name"),
                           QStringLiteral("Sorted ") + what + QStringLiteral(" by name"),
                           {}};
    });
}

// ---------------------------------------------------------------------------------------------
// Drops and copies of several patches

QByteArray LibraryController::PatchImages(const QList<qsizetype>& patches, QStringList* descriptions) const {
    QByteArray images;
    images.reserve(patches.size() * PatchImageSize);
    for (const qsizetype p : patches) {
        images.append(PatchForLibrary(p));
        descriptions->append(PatchDescription(p));
    }
    return images;
}

void LibraryController::CopySelectedPatches(const QList<qsizetype>& patches) {
    const qsizetype k = session_.LibSelection;
    const qsizetype at = k >= 0 ? k + 1 : ListCount(ListId::Library);
    AsStep([&] {
        if (!LibraryReadyForTransfer())
            return StepOutcome{};
        QStringList descriptions;
        const EntryChange change = doc_.Insert(at, PatchImages(patches, &descriptions), descriptions);
        doc_.MarkChanged();
        // As with one patch, the library list is left without a selection, so that the next copy
        // goes to the end.
        RefillLibList(-1, &change);
        return StepOutcome{
            QStringLiteral("Copy ") + Patches(patches.size()),
            QStringLiteral("Copied %1 into the library as %2 to %3")
                .arg(Patches(patches.size()), EntryNumber(at), EntryNumber(at + patches.size() - 1)),
            {}};
    });
}

void LibraryController::MoveEntriesTo(QList<qsizetype> positions, qsizetype before) {
    const qsizetype count = ListCount(ListId::Library);
    positions = Cleaned(std::move(positions), count);
    if (positions.isEmpty())
        return;
    before = std::clamp<qsizetype>(before, 0, count);
    const qsizetype current = CurrentAmong(positions, session_.LibSelection);
    const QString what = Lines(positions);
    // Where the moved entries begin: after the unmoved entries before the drop line.
    const qsizetype first = before - IndexIn(positions, before);
    AsStep([&] {
        const EntryChange change = doc_.MoveTo(positions, before);
        const QList<qsizetype> moved = Run(first, positions.size());
        const qsizetype shown = first + IndexIn(positions, current);
        if (change.kind != EntryChange::Kind::None) {
            doc_.MarkChanged();
            ShowLibraryChange(change, moved, shown);
        } else {
            SelectLibraryLines(moved, shown);
        }
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
    const qsizetype current = CurrentAmong(positions, session_.PatchesSelection);
    AsStep([&] {
        if (!LibraryReadyForTransfer())
            return StepOutcome{};
        QStringList descriptions;
        const EntryChange change = doc_.Insert(before, PatchImages(positions, &descriptions), descriptions);
        doc_.MarkChanged();
        // The copies are selected, the copy of the patch last clicked shown.
        ShowLibraryChange(change, Run(before, positions.size()), before + IndexIn(positions, current));
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

void LibraryController::CopyImagesIntoLibrary(const QByteArray& images, const QStringList& descriptions,
                                              qsizetype before) {
    const qsizetype count = images.size() / PatchImageSize;
    if (count == 0)
        return;
    const QByteArray whole = images.left(count * PatchImageSize);
    QStringList texts = descriptions.mid(0, count);
    while (texts.size() < count)
        texts.append(QString());
    const qsizetype k = session_.LibSelection;
    const qsizetype entries = ListCount(ListId::Library);
    const qsizetype at = before >= 0 ? std::min(before, entries) : k >= 0 && k < entries ? k + 1 : entries;
    AsStep([&] {
        if (!LibraryReadyForTransfer())
            return StepOutcome{};
        const EntryChange change = doc_.Insert(at, whole, texts);
        doc_.MarkChanged();
        ShowLibraryChange(change, Run(at, count), at);
        if (count == 1) {
            const QString line = ListLine(ListId::Library, at);
            const QString name = line.mid(line.indexOf(QStringLiteral(":  ")) + 3).trimmed();
            return StepOutcome{QStringLiteral("Copy ") + LibLine(at),
                               QStringLiteral("Copied ") + name + QStringLiteral(" into the library as ") +
                                   EntryNumber(at),
                               {}};
        }
        return StepOutcome{QStringLiteral("Copy ") + Patches(count),
                           QStringLiteral("Copied %1 into the library as %2 to %3")
                               .arg(Patches(count), EntryNumber(at), EntryNumber(at + count - 1)),
                           {}};
    });
}

} // namespace quillbox
