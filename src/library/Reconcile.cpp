#include "Reconcile.h"

#include "PatchComparison.h"
#include "PatchImage.h"
#include "ReconcileGrouping.h"

#include <algorithm>

namespace quillbox {

using namespace reconcile;

namespace {

int FieldsApart(const ReconcileSide& a, qsizetype i, const ReconcileSide& b, qsizetype j) {
    const QByteArrayView x = EntryView(a, i), y = EntryView(b, j);
    int differs = NoField;
    if (Description(a, i) != Description(b, j))
        differs |= DescriptionDiffers;
    if (x.size() != y.size())
        differs |= LengthDiffers;
    if (x != y) {
        const PatchComparison c = ComparePatches(a.store, i, b.store, j);
        if (c.FieldDiffers(ImageField::Name))
            differs |= NameDiffers;
        if (std::find(c.parameterDiffers.begin(), c.parameterDiffers.end(), true) != c.parameterDiffers.end())
            differs |= ParametersDiffer;
        if (c.FieldDiffers(ImageField::Carried))
            differs |= OtherBitsDiffer;
    }
    return differs;
}

bool Identical(const ReconcileSide& a, const ReconcileSide& b) {
    if (a.store != b.store)
        return false;
    const qsizetype count = EntryCount(a.store);
    for (qsizetype i = 0; i < count; ++i) {
        if (Description(a, i) != Description(b, i))
            return false;
    }
    return true;
}

struct Entry {
    QByteArrayView bytes;
    QString description;
};

ReconcileSide Assemble(const std::vector<Entry>& entries) {
    ReconcileSide result;
    result.store.reserve(qsizetype(entries.size()) * PatchImageSize);
    result.descriptions.reserve(qsizetype(entries.size()) + 1);
    result.descriptions.append(QString());
    for (size_t k = 0; k < entries.size(); ++k) {
        result.store.append(entries[k].bytes);
        if (k + 1 < entries.size() && entries[k].bytes.size() < PatchImageSize)
            result.store.append(QByteArray(PatchImageSize - entries[k].bytes.size(), ' '));
        result.descriptions.append(entries[k].description);
    }
    return result;
}

// Items that follow other items, as flat lists (a hundred thousand items, most followed by none):
// the first item following each, and the next one following the same.
struct Followers {
    explicit Followers(qsizetype items)
        : first(size_t(items), -1), last(size_t(items), -1), next(size_t(items), -1) {}
    void Append(qsizetype leader, qsizetype x) {
        (last[size_t(leader)] < 0 ? first[size_t(leader)] : next[size_t(last[size_t(leader)])]) = x;
        last[size_t(leader)] = x;
    }
    // Walks depth first: each item, then the items that follow it, in order (no recursion: a run of
    // a hundred thousand insertions would be as deep).
    template <typename Visit> void Emit(qsizetype root, Visit visit) const {
        std::vector<qsizetype> stack{root};
        while (!stack.empty()) {
            const qsizetype x = stack.back();
            stack.pop_back();
            visit(x);
            const size_t mark = stack.size();
            for (qsizetype f = first[size_t(x)]; f >= 0; f = next[size_t(f)])
                stack.push_back(f);
            std::reverse(stack.begin() + qsizetype(mark), stack.end());
        }
    }
    std::vector<qsizetype> first, last, next;
};

// The rows of left against right from the pairing of their entries, in left (library) order.
// Entries only on the right wait for the next paired left entry, so that what the left alone has at
// a place comes first, as a deletion before an insertion.
std::vector<ReconcileRow> RowsOf(const ReconcileSide& left, const ReconcileSide& right,
                                 const std::vector<qsizetype>& leftToRight,
                                 const std::vector<qsizetype>& rightToLeft, bool fields) {
    const std::vector<char> moved = MovedOutside(leftToRight);
    const qsizetype nr = qsizetype(rightToLeft.size());
    std::vector<ReconcileRow> rows;
    rows.reserve(std::max(leftToRight.size(), rightToLeft.size()) + 16);
    qsizetype waiting = 0; // the first right entry not yet placed
    const auto placeOnlyRight = [&] {
        for (; waiting < nr && rightToLeft[size_t(waiting)] < 0; ++waiting)
            rows.push_back({RowKind::OnlyRight, -1, waiting, NoField});
    };
    for (qsizetype i = 0; i < qsizetype(leftToRight.size()); ++i) {
        const qsizetype j = leftToRight[size_t(i)];
        if (j < 0) {
            rows.push_back({RowKind::OnlyLeft, i, -1, NoField});
            continue;
        }
        placeOnlyRight();
        // A merge needs only whether a row differs, not in which fields (the compare window's
        // comparison of every field is the costly part of the rows): `differs` stays empty then.
        const int differs = fields ? FieldsApart(left, i, right, j) : NoField;
        const bool changed = fields ? differs != NoField : !SameEntry(left, i, right, j);
        const RowKind kind = moved[size_t(i)] ? RowKind::Moved : changed ? RowKind::Changed : RowKind::Same;
        rows.push_back({kind, i, j, differs});
        waiting = j + 1;
    }
    placeOnlyRight();
    return rows;
}

std::vector<ReconcileRow> SameRows(qsizetype count) {
    std::vector<ReconcileRow> rows(static_cast<size_t>(count));
    for (qsizetype i = 0; i < count; ++i)
        rows[size_t(i)] = {RowKind::Same, i, i, NoField};
    return rows;
}

// Which side's version of one part of an entry (its bytes, or its description) a merge takes.
enum class Part { Either, Left, Right, Conflict };

Part MergePart(bool leftKept, bool rightKept, bool sidesAlike) {
    if (rightKept)
        return leftKept ? Part::Either : Part::Left;
    if (leftKept)
        return Part::Right;
    return sidesAlike ? Part::Either : Part::Conflict;
}

// The base entry of the nearest entry before `index` on one side that has one, -1 when none does;
// `toBase` is that side's own map.
qsizetype BaseBefore(const std::vector<qsizetype>& toBase, qsizetype index) {
    for (qsizetype k = index - 1; k >= 0; --k) {
        if (toBase[size_t(k)] >= 0)
            return toBase[size_t(k)];
    }
    return -1;
}

// The verdicts of a three-way reconciliation, one per row of left against right.
struct Verdicts {
    std::vector<PresetChoice> presets;
    std::vector<MergeConflict> conflicts;
};

Verdicts VerdictsOf(const ReconcileSide& base, const ReconcileSide& left, const ReconcileSide& right,
                    const EntryGroups& groups, const std::vector<ReconcileRow>& rows) {
    const std::vector<qsizetype>& leftToBase = groups.To(LeftId, BaseId);
    const std::vector<qsizetype>& rightToBase = groups.To(RightId, BaseId);
    const std::vector<char> movedLeft = MovedOutside(groups.To(BaseId, LeftId));
    const std::vector<char> movedRight = MovedOutside(groups.To(BaseId, RightId));
    Verdicts v;
    v.presets.resize(rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
        const ReconcileRow& row = rows[k];
        PresetChoice& preset = v.presets[k];
        RowChoice& choice = preset.choice;
        const qsizetype l = row.left, r = row.right;
        const qsizetype b = l >= 0 ? leftToBase[size_t(l)] : rightToBase[size_t(r)];
        const auto conflict = [&](const char* reason) {
            preset.conflict = true;
            v.conflicts.push_back({b, l, r, QString::fromUtf8(reason)});
        };
        if (r < 0) { // inserted on the left, or deleted on the right
            if (b >= 0 && !SameEntry(base, b, left, l))
                conflict("changed on the left, deleted on the right");
            choice.take = b < 0 ? RowChoice::Left : RowChoice::Right;
            continue;
        }
        if (l < 0) {
            if (b >= 0 && !SameEntry(base, b, right, r))
                conflict("deleted on the left, changed on the right");
            choice.take = b < 0 ? RowChoice::Right : RowChoice::Left;
            continue;
        }
        if (b < 0) {
            // Inserted on both sides: alike it is one entry; otherwise both are kept, each where its
            // side put it.
            if (!SameEntry(left, l, right, r)) {
                choice.take = RowChoice::Both;
                choice.place = RowChoice::RightPlace;
            }
            continue;
        }
        // Field by field: the bytes from the side that changed them, the description likewise.
        const QByteArrayView baseBytes = EntryView(base, b), leftBytes = EntryView(left, l),
                             rightBytes = EntryView(right, r);
        const Part bytes =
            MergePart(leftBytes == baseBytes, rightBytes == baseBytes, leftBytes == rightBytes);
        const QString &baseText = Description(base, b), &leftText = Description(left, l),
                      &rightText = Description(right, r);
        const Part text = MergePart(leftText == baseText, rightText == baseText, leftText == rightText);
        if (bytes == Part::Conflict || text == Part::Conflict) {
            conflict("changed differently on both sides");
            continue;
        }
        // The place: the right's only where the right moved the entry and the left did not.
        const bool bothMoved = movedLeft[size_t(b)] && movedRight[size_t(b)];
        if (bothMoved && BaseBefore(leftToBase, l) != BaseBefore(rightToBase, r)) {
            conflict("moved differently on both sides");
            continue;
        }
        const Part place = movedRight[size_t(b)] && !movedLeft[size_t(b)] ? Part::Right : Part::Left;
        const Part taken = bytes != Part::Either ? bytes : text != Part::Either ? text : place;
        choice.take = taken == Part::Right ? RowChoice::Right : RowChoice::Left;
        if (text != Part::Either && text != taken)
            choice.description = text == Part::Right ? RowChoice::RightText : RowChoice::LeftText;
        const bool rightPlaceByTake = row.kind == RowKind::Moved && choice.take == RowChoice::Right;
        if (rightPlaceByTake != (place == Part::Right))
            choice.place = place == Part::Right ? RowChoice::RightPlace : RowChoice::LeftPlace;
    }
    std::stable_sort(v.conflicts.begin(), v.conflicts.end(),
                     [](const MergeConflict& x, const MergeConflict& y) { return x.base < y.base; });
    return v;
}

} // namespace

namespace {

// `fields`: the rows say which fields differ (for a reader); without, only whether they do.
Reconciliation ReconcileWith(const ReconcileSide& left, const ReconcileSide& right, const ReconcileSide* base,
                             bool fields) {
    Reconciliation result;
    if (Identical(left, right)) {
        // Whatever the base, the two sides made the same changes: the rows are the same, and so is
        // the merge.
        result.rows = SameRows(EntryCount(left.store));
        if (base)
            result.presets.resize(result.rows.size());
        return result;
    }
    const EntryGroups groups = GroupEntries(base, left, right);
    result.rows = RowsOf(left, right, groups.To(LeftId, RightId), groups.To(RightId, LeftId), fields);
    if (base) {
        Verdicts verdicts = VerdictsOf(*base, left, right, groups, result.rows);
        result.presets = std::move(verdicts.presets);
        result.conflicts = std::move(verdicts.conflicts);
    }
    return result;
}

} // namespace

Reconciliation Reconcile(const ReconcileSide& left, const ReconcileSide& right, const ReconcileSide* base) {
    return ReconcileWith(left, right, base, true);
}

std::vector<ReconcileRow> ReconcileRows(const ReconcileSide& left, const ReconcileSide& right) {
    return Reconcile(left, right).rows;
}

QString RowKindName(RowKind kind) {
    switch (kind) {
    case RowKind::Same:
        return QStringLiteral("same");
    case RowKind::Changed:
        return QStringLiteral("changed");
    case RowKind::OnlyLeft:
        return QStringLiteral("only-left");
    case RowKind::OnlyRight:
        return QStringLiteral("only-right");
    case RowKind::Moved:
        break;
    }
    return QStringLiteral("moved");
}

QString RowFieldsText(int differs) {
    static const std::array<std::pair<int, const char*>, 5> names{{{NameDiffers, "name"},
                                                                   {ParametersDiffer, "parameters"},
                                                                   {OtherBitsDiffer, "other bits"},
                                                                   {DescriptionDiffers, "description"},
                                                                   {LengthDiffers, "length"}}};
    QStringList parts;
    for (const auto& [flag, name] : names) {
        if (differs & flag)
            parts.append(QString::fromUtf8(name));
    }
    return parts.join(QStringLiteral(", "));
}

bool ToRightPlace(const ReconcileRow& row, const RowChoice& choice) {
    if (row.left < 0 || row.right < 0)
        return row.left < 0;
    if (choice.place != RowChoice::PlaceOfTake)
        return choice.place == RowChoice::RightPlace;
    return row.kind == RowKind::Moved && choice.take == RowChoice::Right;
}

QString ChoiceText(const ReconcileRow& row, const RowChoice& choice) {
    const auto sideName = [](bool right) {
        return right ? QStringLiteral("right") : QStringLiteral("left");
    };
    if (choice.take == RowChoice::Both)
        return QStringLiteral("both");
    const bool paired = row.left >= 0 && row.right >= 0;
    const bool right = choice.take == RowChoice::Right;
    if (!paired)
        return sideName(right);
    QStringList besides;
    if (choice.description != RowChoice::FollowTake && (choice.description == RowChoice::RightText) != right)
        besides.append(sideName(!right) + QStringLiteral(" description"));
    if (choice.place != RowChoice::PlaceOfTake && (choice.place == RowChoice::RightPlace) != right)
        besides.append(sideName(!right) + QStringLiteral(" place"));
    return besides.isEmpty() ? sideName(right)
                             : sideName(right) + QStringLiteral(" (") + besides.join(QStringLiteral(", ")) +
                                   QLatin1Char(')');
}

// The result is built from items, each one or two entries of a row. An item at its left place comes
// in left order; one at its right place (an entry only on the right, or one taken to where the right
// put it) follows the item of its nearest right predecessor, after the entries only on the left
// behind that item; several after the same item keep the right's order.
ReconcileSide ApplyChoices(const ReconcileSide& left, const ReconcileSide& right,
                           const std::vector<ReconcileRow>& rows, const std::vector<RowChoice>& choices) {
    enum Part : char { WholeRow, LeftEntry, RightEntry };
    struct Item {
        qsizetype row;
        Part part;
        bool atRightPlace;
        bool hasRight; // stands for a right entry: what follows that entry on the right follows it
    };
    std::vector<Item> items;
    items.reserve(rows.size() + 16);
    std::vector<qsizetype> itemOfRight(size_t(EntryCount(right.store)), -1);
    for (qsizetype r = 0; r < qsizetype(rows.size()); ++r) {
        const ReconcileRow& row = rows[size_t(r)];
        const RowChoice& choice = choices[size_t(r)];
        const bool toRight = ToRightPlace(row, choice);
        if (row.left >= 0 && row.right >= 0 && choice.take == RowChoice::Both && toRight) {
            items.push_back({r, LeftEntry, false, false});
            itemOfRight[size_t(row.right)] = qsizetype(items.size());
            items.push_back({r, RightEntry, true, true});
            continue;
        }
        if (row.right >= 0)
            itemOfRight[size_t(row.right)] = qsizetype(items.size());
        items.push_back({r, WholeRow, toRight, row.right >= 0});
    }
    const qsizetype top = qsizetype(items.size());
    Followers followers(top + 1);
    qsizetype previous = top;
    for (const qsizetype x : itemOfRight) {
        if (x < 0)
            continue;
        if (items[size_t(x)].atRightPlace)
            followers.Append(previous, x);
        previous = x;
    }

    std::vector<Entry> entries;
    entries.reserve(rows.size());
    const auto visit = [&](qsizetype x) {
        if (x == top)
            return;
        const Item& item = items[size_t(x)];
        const ReconcileRow& row = rows[size_t(item.row)];
        const RowChoice& choice = choices[size_t(item.row)];
        if (item.part != WholeRow) {
            const ReconcileSide& side = item.part == LeftEntry ? left : right;
            const qsizetype index = item.part == LeftEntry ? row.left : row.right;
            entries.push_back({EntryView(side, index), Description(side, index)});
            return;
        }
        const bool paired = row.left >= 0 && row.right >= 0;
        const auto text = [&](const ReconcileSide& side, qsizetype index) {
            if (paired && choice.take != RowChoice::Both && choice.description == RowChoice::LeftText)
                return Description(left, row.left);
            if (paired && choice.take != RowChoice::Both && choice.description == RowChoice::RightText)
                return Description(right, row.right);
            return Description(side, index);
        };
        if (choice.take != RowChoice::Right && row.left >= 0)
            entries.push_back({EntryView(left, row.left), text(left, row.left)});
        if (choice.take != RowChoice::Left && row.right >= 0)
            entries.push_back({EntryView(right, row.right), text(right, row.right)});
    };
    qsizetype anchor = top;
    const auto placeFollowers = [&] {
        for (qsizetype f = followers.first[size_t(anchor)]; f >= 0; f = followers.next[size_t(f)])
            followers.Emit(f, visit);
    };
    for (qsizetype x = 0; x < top; ++x) {
        const Item& item = items[size_t(x)];
        if (item.atRightPlace)
            continue;
        if (!item.hasRight) {
            visit(x);
            continue;
        }
        placeFollowers();
        visit(x);
        anchor = x;
    }
    placeFollowers();
    return Assemble(entries);
}

MergeResult MergeThreeWay(const ReconcileSide& base, const ReconcileSide& left, const ReconcileSide& right) {
    Reconciliation reconciliation = ReconcileWith(left, right, &base, false);
    MergeResult result;
    result.conflicts = std::move(reconciliation.conflicts);
    if (!result.conflicts.empty())
        return result;
    std::vector<RowChoice> choices;
    choices.reserve(reconciliation.presets.size());
    for (const PresetChoice& preset : reconciliation.presets)
        choices.push_back(preset.choice);
    result.merged = ApplyChoices(left, right, reconciliation.rows, choices);
    return result;
}

} // namespace quillbox
