#include "Reconcile.h"

#include "PatchComparison.h"
#include "PatchImage.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <bit>

namespace quillbox {

namespace {

// The name field: bits 5..40 of bytes 12..17 (indexes 11..16), read as one little-endian number.
constexpr int NameFirstByte = 11;
constexpr int NameBytes = 6;
constexpr quint64 NameMask = ((quint64(1) << 36) - 1) << 5;
constexpr qsizetype NameFieldBytes = NameFirstByte + NameBytes; // 17: an entry shorter has no whole name
constexpr int SimilarBits = 12; // at most this many bits outside the name differ: an edit, not another patch

QByteArrayView EntryView(const ReconcileSide& side, qsizetype index) {
    return quillbox::EntryView(side.store, index);
}

const QString& Description(const ReconcileSide& side, qsizetype index) {
    static const QString none;
    return index + 1 < side.descriptions.size() ? side.descriptions.at(index + 1) : none;
}

bool SameEntry(const ReconcileSide& a, qsizetype i, const ReconcileSide& b, qsizetype j) {
    return EntryView(a, i) == EntryView(b, j) && Description(a, i) == Description(b, j);
}

size_t EntryHash(const ReconcileSide& side, qsizetype index) {
    return qHash(EntryView(side, index), qHash(Description(side, index)));
}

quint64 NameField(QByteArrayView entry) {
    quint64 value = 0;
    for (int m = 0; m < NameBytes; ++m)
        value |= quint64(quint8(entry[NameFirstByte + m])) << (8 * m);
    return value & NameMask;
}

// The entry's bytes with the name field cleared, its length kept.
QByteArray Body(QByteArrayView entry) {
    QByteArray body(entry.data(), entry.size());
    if (entry.size() >= NameFieldBytes) {
        const quint64 kept = ~NameMask;
        for (int m = 0; m < NameBytes; ++m)
            body[NameFirstByte + m] = char(quint8(body[NameFirstByte + m]) & quint8(kept >> (8 * m)));
    }
    return body;
}

int BitsApartOutsideName(QByteArrayView a, QByteArrayView b) {
    const QByteArray x = Body(a), y = Body(b);
    int bits = 0;
    for (qsizetype i = 0; i < PatchImageSize; ++i) {
        const quint8 p = i < x.size() ? quint8(x[i]) : 32, q = i < y.size() ? quint8(y[i]) : 32;
        bits += std::popcount(quint8(p ^ q));
    }
    return bits;
}

bool LookAlike(const ReconcileSide& a, qsizetype i, const ReconcileSide& b, qsizetype j) {
    const QString& d = Description(a, i);
    return (!d.isEmpty() && d == Description(b, j)) ||
           BitsApartOutsideName(EntryView(a, i), EntryView(b, j)) <= SimilarBits;
}

// The longest run of entries of `a` whose partners (`aToB`, -1 for none) increase in a's order, as
// a positions; among runs of that length, the one patience sorting ends with.
std::vector<qsizetype> LongestRun(const std::vector<qsizetype>& aToB) {
    std::vector<qsizetype> tails;                   // a position ending the best run of each length
    std::vector<qsizetype> tailValues;              // its partner, searched without going through aToB
    std::vector<qsizetype> before(aToB.size(), -1); // the a position before it in that run
    tails.reserve(aToB.size());
    tailValues.reserve(aToB.size());
    for (qsizetype i = 0; i < qsizetype(aToB.size()); ++i) {
        const qsizetype j = aToB[size_t(i)];
        if (j < 0)
            continue;
        // Mostly in order: the run grows at its end, found without a search.
        const size_t at =
            !tailValues.empty() && tailValues.back() < j
                ? tailValues.size()
                : size_t(std::lower_bound(tailValues.begin(), tailValues.end(), j) - tailValues.begin());
        if (at > 0)
            before[size_t(i)] = tails[at - 1];
        if (at == tails.size()) {
            tails.push_back(i);
            tailValues.push_back(j);
        } else {
            tails[at] = i;
            tailValues[at] = j;
        }
    }
    std::vector<qsizetype> run(tails.size());
    for (qsizetype i = tails.empty() ? -1 : tails.back(), k = qsizetype(run.size()) - 1; i >= 0;
         i = before[size_t(i)], --k)
        run[size_t(k)] = i;
    return run;
}

// For each entry of `a`: 1 when it has a partner outside the longest run (moved), else 0.
std::vector<char> MovedOutside(const std::vector<qsizetype>& aToB) {
    std::vector<char> moved(aToB.size());
    for (size_t k = 0; k < aToB.size(); ++k)
        moved[k] = aToB[k] >= 0 ? 1 : 0;
    for (qsizetype i : LongestRun(aToB))
        moved[size_t(i)] = 0;
    return moved;
}

enum SideId { BaseId = 0, LeftId = 1, RightId = 2 };
constexpr int SideCount = 3;

// The one pairing of base, left and right: groups of at most one entry of each side, built by
// linking entries of two sides at a time, each link joining their groups when that keeps one entry
// per side. The passes, each over what the earlier ones left and each for base-left, base-right and
// left-right in turn:
//   1. exact: the same bytes and description; equal entries pair in their order;
//   2. name: a name that occurs once among the leftovers of each side (an edited patch);
//   3. body: the same bytes outside the name field, once on each side (a renamed patch);
//   4. position: between two pairs kept in order, the k-th leftover of each side pair when they look
//      alike (at most 12 bits differ outside the name, or the same non-empty description).
// Identity across all three first means that the same change made on both sides is one group even
// when one side also moved, inserted or deleted around it: the base entry then joins the group
// through whichever side kept it in place.
class Grouping {
public:
    Grouping(const ReconcileSide* base, const ReconcileSide& left, const ReconcileSide& right)
        : sides_{base, &left, &right} {
        for (int s = 0; s < SideCount; ++s) {
            count_[s] = sides_[s] ? EntryCount(sides_[s]->store) : 0;
            for (int t = 0; t < SideCount; ++t) {
                if (s != t)
                    partner_[s][t].assign(size_t(count_[s]), -1);
            }
        }
        const std::vector<std::pair<int, int>> pairs =
            base ? std::vector<std::pair<int, int>>{{BaseId, LeftId}, {BaseId, RightId}, {LeftId, RightId}}
                 : std::vector<std::pair<int, int>>{{LeftId, RightId}};
        for (const auto& [s, t] : pairs)
            PairExact(s, t);
        for (const auto& [s, t] : pairs)
            PairUnique<quint64>(s, t, [](const ReconcileSide& side, qsizetype i, quint64& key) {
                const QByteArrayView entry = EntryView(side, i);
                if (entry.size() < NameFieldBytes)
                    return false;
                key = NameField(entry);
                return true;
            });
        for (const auto& [s, t] : pairs)
            PairUnique<QByteArray>(s, t, [](const ReconcileSide& side, qsizetype i, QByteArray& key) {
                key = Body(EntryView(side, i));
                return true;
            });
        for (const auto& [s, t] : pairs)
            PairByPosition(s, t);
    }

    // The entry of side t grouped with entry i of side s, per entry of s; -1 when none.
    const std::vector<qsizetype>& To(int s, int t) const { return partner_[s][t]; }

private:
    std::array<qsizetype, SideCount> Members(int s, qsizetype i) const {
        std::array<qsizetype, SideCount> m{-1, -1, -1};
        m[size_t(s)] = i;
        for (int t = 0; t < SideCount; ++t) {
            if (t != s)
                m[size_t(t)] = partner_[s][t][size_t(i)];
        }
        return m;
    }

    // Joins the groups of entry i of side s and entry j of side t; false (and nothing changed) when
    // both groups hold an entry of the same side.
    bool Link(int s, qsizetype i, int t, qsizetype j) {
        const std::array<qsizetype, SideCount> a = Members(s, i), b = Members(t, j);
        std::array<qsizetype, SideCount> joined{};
        for (size_t k = 0; k < SideCount; ++k) {
            if (a[k] >= 0 && b[k] >= 0)
                return false;
            joined[k] = a[k] >= 0 ? a[k] : b[k];
        }
        for (int u = 0; u < SideCount; ++u) {
            if (joined[size_t(u)] < 0)
                continue;
            for (int v = 0; v < SideCount; ++v) {
                if (v != u)
                    partner_[u][v][size_t(joined[size_t(u)])] = joined[size_t(v)];
            }
        }
        return true;
    }

    bool Free(int s, int t, qsizetype i) const { return partner_[s][t][size_t(i)] < 0; }
    // Whether some entry of s has no partner on t.
    bool AnyFree(int s, int t) const {
        return std::find(partner_[s][t].begin(), partner_[s][t].end(), -1) != partner_[s][t].end();
    }

    const ReconcileSide& Side(int s) const { return *sides_[size_t(s)]; }

    // The hash of each entry of a side, taken once for every pair the side is in.
    const std::vector<size_t>& Hashes(int s) {
        std::vector<size_t>& hashes = hashes_[size_t(s)];
        if (hashes.size() != size_t(count_[s])) {
            hashes.resize(size_t(count_[s]));
            for (qsizetype i = 0; i < count_[s]; ++i)
                hashes[size_t(i)] = EntryHash(Side(s), i);
        }
        return hashes;
    }

    // 1. Chains of free t entries by hash, in t order; each free s entry takes the first free equal one
    // its group can join. The chains' heads are found by open addressing on the hash (a hundred
    // thousand lookups in a flat table, not in nodes).
    void PairExact(int s, int t) {
        if (!AnyFree(s, t) || !AnyFree(t, s))
            return;
        const ReconcileSide &a = Side(s), &b = Side(t);
        const std::vector<size_t>& hashS = Hashes(s);
        const std::vector<size_t>& hashT = Hashes(t);
        size_t slots = 16;
        while (slots < size_t(count_[t]) * 2)
            slots *= 2;
        // The tables are kept from one pair to the next: memory already touched costs no page faults.
        // A slot holds 32 bits of the hash beside its chain's head, one cache line for both; entries
        // whose hashes share those bits share a chain, and SameEntry tells them apart.
        std::vector<Slot>& table = slots_;
        std::vector<qsizetype>& next = chainNext_;
        table.assign(slots, Slot{});
        next.assign(size_t(count_[t]), -1);
        const auto slotOf = [&](size_t h) {
            const quint32 key = quint32(h);
            size_t k = size_t(h >> 32) & (slots - 1);
            while (table[k].head != Slot::Empty && table[k].key != key)
                k = (k + 1) & (slots - 1);
            table[k].key = key;
            return k;
        };
        bool any = false;
        for (qsizetype j = count_[t] - 1; j >= 0; --j) {
            if (!Free(t, s, j))
                continue;
            Slot& slot = table[slotOf(hashT[size_t(j)])];
            next[size_t(j)] = slot.head == Slot::Empty ? -1 : slot.head;
            slot.head = qint32(j);
            any = true;
        }
        if (!any)
            return;
        for (qsizetype i = 0; i < count_[s]; ++i) {
            if (!Free(s, t, i))
                continue;
            Slot& slot = table[slotOf(hashS[size_t(i)])];
            if (slot.head < 0)
                continue;
            qsizetype j = slot.head;
            while (j >= 0 && !Free(t, s, j))
                j = next[size_t(j)];
            slot.head = qint32(j); // taken ones are never looked at again
            for (; j >= 0; j = next[size_t(j)]) {
                if (Free(t, s, j) && SameEntry(a, i, b, j) && Link(s, i, t, j))
                    break;
            }
        }
    }

    // 2., 3. Links the free entries whose key occurs once among the free ones of each side. `keyOf`
    // returns false for an entry that has none.
    template <typename Key, typename KeyOf> void PairUnique(int s, int t, KeyOf keyOf) {
        constexpr qsizetype Repeated = -2;
        const auto uniques = [this, &keyOf](int x, int y) {
            QHash<Key, qsizetype> unique;
            for (qsizetype i = 0; i < count_[x]; ++i) {
                Key key;
                if (!Free(x, y, i) || !keyOf(Side(x), i, key))
                    continue;
                auto it = unique.find(key);
                if (it == unique.end())
                    unique.insert(key, i);
                else
                    it.value() = Repeated;
            }
            return unique;
        };
        const QHash<Key, qsizetype> inS = uniques(s, t);
        if (inS.isEmpty())
            return;
        const QHash<Key, qsizetype> inT = uniques(t, s);
        for (auto it = inS.cbegin(); it != inS.cend(); ++it) {
            const qsizetype j = inT.value(it.key(), Repeated);
            if (it.value() >= 0 && j >= 0)
                Link(s, it.value(), t, j);
        }
    }

    // 4. Within the gaps between the pairs of s and t kept in order, the k-th free entry of each side.
    void PairByPosition(int s, int t) {
        if (!AnyFree(s, t) || !AnyFree(t, s))
            return;
        const std::vector<qsizetype>& sToT = partner_[s][t];
        const std::vector<qsizetype>& tToS = partner_[t][s];
        const std::vector<qsizetype> run = LongestRun(sToT);
        std::vector<qsizetype> gapS, gapT;
        for (size_t k = 0; k <= run.size(); ++k) {
            const qsizetype fromS = k == 0 ? 0 : run[k - 1] + 1, toS = k == run.size() ? count_[s] : run[k];
            const qsizetype fromT = k == 0 ? 0 : sToT[size_t(run[k - 1])] + 1,
                            toT = k == run.size() ? count_[t] : sToT[size_t(run[k])];
            gapS.clear();
            gapT.clear();
            for (qsizetype i = fromS; i < toS; ++i) {
                if (sToT[size_t(i)] < 0)
                    gapS.push_back(i);
            }
            if (gapS.empty())
                continue;
            for (qsizetype j = fromT; j < toT; ++j) {
                if (tToS[size_t(j)] < 0)
                    gapT.push_back(j);
            }
            for (size_t p = 0; p < std::min(gapS.size(), gapT.size()); ++p) {
                if (LookAlike(Side(s), gapS[p], Side(t), gapT[p]))
                    Link(s, gapS[p], t, gapT[p]);
            }
        }
    }

    std::array<const ReconcileSide*, SideCount> sides_;
    std::array<qsizetype, SideCount> count_{};
    std::vector<qsizetype> partner_[SideCount][SideCount];
    std::array<std::vector<size_t>, SideCount> hashes_;
    struct Slot {
        static constexpr qint32 Empty = -2; // never used; -1: a chain whose entries are all taken
        quint32 key = 0;
        qint32 head = Empty; // entries are fewer than 2^31: a file holds at most 1 GiB
    };
    std::vector<Slot> slots_;
    std::vector<qsizetype> chainNext_;
};

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
                    const Grouping& groups, const std::vector<ReconcileRow>& rows) {
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
    const Grouping groups(base, left, right);
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
