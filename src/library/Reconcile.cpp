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

// The pairing of two lists (see the header): for each side the partner on the other, -1 when none,
// and for each entry of `a` whether its pair is moved.
struct Matching {
    std::vector<qsizetype> aToB, bToA;
    std::vector<char> moved; // by entry of a
};

// Pairs the leftovers whose key occurs once on each side. `key` returns false for an entry that has none.
template <typename Key, typename KeyOf>
void PairUnique(Matching& m, const ReconcileSide& a, const ReconcileSide& b, KeyOf keyOf) {
    constexpr qsizetype Repeated = -2;
    const auto uniques = [&keyOf](const ReconcileSide& side, const std::vector<qsizetype>& partner) {
        QHash<Key, qsizetype> unique;
        for (qsizetype i = 0; i < qsizetype(partner.size()); ++i) {
            Key key;
            if (partner[size_t(i)] >= 0 || !keyOf(side, i, key))
                continue;
            auto it = unique.find(key);
            if (it == unique.end())
                unique.insert(key, i);
            else
                it.value() = Repeated;
        }
        return unique;
    };
    const QHash<Key, qsizetype> inA = uniques(a, m.aToB);
    if (inA.isEmpty())
        return;
    const QHash<Key, qsizetype> inB = uniques(b, m.bToA);
    for (auto it = inA.cbegin(); it != inA.cend(); ++it) {
        const qsizetype j = inB.value(it.key(), Repeated);
        if (it.value() >= 0 && j >= 0) {
            m.aToB[size_t(it.value())] = j;
            m.bToA[size_t(j)] = it.value();
        }
    }
}

// Marks the pairs of `m` outside the longest run whose b positions increase in a order as moved,
// and returns that run as a positions.
std::vector<qsizetype> MarkMoved(Matching& m) {
    std::vector<qsizetype> tails;                     // a position ending the best run of each length
    std::vector<qsizetype> before(m.aToB.size(), -1); // the a position before it in that run
    for (qsizetype i = 0; i < qsizetype(m.aToB.size()); ++i) {
        const qsizetype j = m.aToB[size_t(i)];
        if (j < 0)
            continue;
        const auto at = std::lower_bound(tails.begin(), tails.end(), j, [&m](qsizetype t, qsizetype value) {
            return m.aToB[size_t(t)] < value;
        });
        if (at != tails.begin())
            before[size_t(i)] = *(at - 1);
        if (at == tails.end())
            tails.push_back(i);
        else
            *at = i;
    }
    std::vector<qsizetype> run(tails.size());
    for (qsizetype i = tails.empty() ? -1 : tails.back(), k = qsizetype(run.size()) - 1; i >= 0;
         i = before[size_t(i)], --k)
        run[size_t(k)] = i;
    m.moved.resize(m.aToB.size());
    for (size_t k = 0; k < m.aToB.size(); ++k)
        m.moved[k] = m.aToB[k] >= 0 ? 1 : 0;
    for (qsizetype i : run)
        m.moved[size_t(i)] = 0;
    return run;
}

Matching Match(const ReconcileSide& a, const ReconcileSide& b) {
    const qsizetype na = EntryCount(a.store), nb = EntryCount(b.store);
    Matching m{std::vector<qsizetype>(size_t(na), -1), std::vector<qsizetype>(size_t(nb), -1), {}};

    // 1. Exact: chains of b entries by hash, in b order; each a entry takes the first free equal one.
    QHash<size_t, qsizetype> head;
    head.reserve(nb);
    std::vector<qsizetype> next(size_t(nb), -1);
    for (qsizetype j = nb - 1; j >= 0; --j) {
        const size_t h = EntryHash(b, j);
        const auto it = head.find(h);
        if (it == head.end()) {
            head.insert(h, j);
        } else {
            next[size_t(j)] = it.value();
            it.value() = j;
        }
    }
    for (qsizetype i = 0; i < na; ++i) {
        const auto it = head.find(EntryHash(a, i));
        if (it == head.end())
            continue;
        qsizetype j = it.value();
        while (j >= 0 && m.bToA[size_t(j)] >= 0)
            j = next[size_t(j)];
        it.value() = j; // taken ones are never looked at again
        for (; j >= 0; j = next[size_t(j)]) {
            if (m.bToA[size_t(j)] < 0 && SameEntry(a, i, b, j)) {
                m.aToB[size_t(i)] = j;
                m.bToA[size_t(j)] = i;
                break;
            }
        }
    }

    // 2. By name, 3. by everything but the name.
    PairUnique<quint64>(m, a, b, [](const ReconcileSide& side, qsizetype i, quint64& key) {
        const QByteArrayView entry = EntryView(side, i);
        if (entry.size() < NameFieldBytes)
            return false;
        key = NameField(entry);
        return true;
    });
    PairUnique<QByteArray>(m, a, b, [](const ReconcileSide& side, qsizetype i, QByteArray& key) {
        key = Body(EntryView(side, i));
        return true;
    });

    // 4. By position within the gaps between pairs kept in order.
    const std::vector<qsizetype> run = MarkMoved(m);
    std::vector<qsizetype> gapA, gapB;
    for (size_t k = 0; k <= run.size(); ++k) {
        const qsizetype fromA = k == 0 ? 0 : run[k - 1] + 1, toA = k == run.size() ? na : run[k];
        const qsizetype fromB = k == 0 ? 0 : m.aToB[size_t(run[k - 1])] + 1,
                        toB = k == run.size() ? nb : m.aToB[size_t(run[k])];
        gapA.clear();
        gapB.clear();
        for (qsizetype i = fromA; i < toA; ++i)
            if (m.aToB[size_t(i)] < 0)
                gapA.push_back(i);
        if (gapA.empty())
            continue;
        for (qsizetype j = fromB; j < toB; ++j)
            if (m.bToA[size_t(j)] < 0)
                gapB.push_back(j);
        for (size_t p = 0; p < std::min(gapA.size(), gapB.size()); ++p) {
            if (LookAlike(a, gapA[p], b, gapB[p])) {
                m.aToB[size_t(gapA[p])] = gapB[p];
                m.bToA[size_t(gapB[p])] = gapA[p];
            }
        }
    }
    return m;
}

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

// Walks items depth first: each item, then the items that follow it, in order (no recursion: a run
// of a hundred thousand insertions would be as deep).
template <typename Visit>
void EmitWithFollowers(qsizetype root, const std::vector<std::vector<qsizetype>>& followers, Visit visit) {
    std::vector<qsizetype> stack{root};
    while (!stack.empty()) {
        const qsizetype x = stack.back();
        stack.pop_back();
        visit(x);
        const std::vector<qsizetype>& after = followers[size_t(x)];
        stack.insert(stack.end(), after.rbegin(), after.rend());
    }
}

} // namespace

std::vector<ReconcileRow> ReconcileRows(const ReconcileSide& left, const ReconcileSide& right) {
    std::vector<ReconcileRow> rows;
    if (Identical(left, right)) {
        const qsizetype count = EntryCount(left.store);
        rows.resize(size_t(count));
        for (qsizetype i = 0; i < count; ++i)
            rows[size_t(i)] = {RowKind::Same, i, i, NoField};
        return rows;
    }
    const Matching m = Match(left, right);
    const qsizetype nr = qsizetype(m.bToA.size());
    rows.reserve(std::max(m.aToB.size(), m.bToA.size()) + 16);
    // Entries only on the right wait for the next paired left entry, so that what the left alone has
    // at a place comes first, as a deletion before an insertion.
    qsizetype waiting = 0; // the first right entry not yet placed
    const auto placeOnlyRight = [&] {
        for (; waiting < nr && m.bToA[size_t(waiting)] < 0; ++waiting)
            rows.push_back({RowKind::OnlyRight, -1, waiting, NoField});
    };
    for (qsizetype i = 0; i < qsizetype(m.aToB.size()); ++i) {
        const qsizetype j = m.aToB[size_t(i)];
        if (j < 0) {
            rows.push_back({RowKind::OnlyLeft, i, -1, NoField});
            continue;
        }
        placeOnlyRight();
        const int differs = FieldsApart(left, i, right, j);
        const RowKind kind = m.moved[size_t(i)] ? RowKind::Moved : differs ? RowKind::Changed : RowKind::Same;
        rows.push_back({kind, i, j, differs});
        waiting = j + 1;
    }
    placeOnlyRight();
    return rows;
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

ReconcileSide ApplyChoices(const ReconcileSide& left, const ReconcileSide& right,
                           const std::vector<ReconcileRow>& rows, const std::vector<RowChoice>& choices) {
    const qsizetype n = qsizetype(rows.size());
    std::vector<qsizetype> rowOfRight(size_t(EntryCount(right.store)), -1);
    for (qsizetype r = 0; r < n; ++r) {
        if (rows[size_t(r)].right >= 0)
            rowOfRight[size_t(rows[size_t(r)].right)] = r;
    }
    // Rows whose right entry moves to its right-side place follow the row of its right predecessor
    // (index n stands for the top), and so do the rows only on the right that come after it there.
    std::vector<std::vector<qsizetype>> followers(size_t(n) + 1);
    std::vector<char> deferred(size_t(n), 0);
    for (qsizetype j = 0; j < qsizetype(rowOfRight.size()); ++j) {
        const qsizetype r = rowOfRight[size_t(j)];
        if (r < 0)
            continue;
        const ReconcileRow& row = rows[size_t(r)];
        const qsizetype before = j == 0 ? n : rowOfRight[size_t(j - 1)];
        const bool moves = row.kind == RowKind::Moved && choices[size_t(r)].take == RowChoice::Right;
        const bool goesWith = row.kind == RowKind::OnlyRight && before < n && deferred[size_t(before)];
        if (!moves && !goesWith)
            continue;
        deferred[size_t(r)] = 1;
        followers[size_t(before)].push_back(r);
    }
    std::vector<Entry> entries;
    entries.reserve(rows.size());
    const auto visit = [&](qsizetype r) {
        if (r == n)
            return;
        const ReconcileRow& row = rows[size_t(r)];
        const RowChoice& choice = choices[size_t(r)];
        const bool paired = row.left >= 0 && row.right >= 0;
        const auto text = [&](const ReconcileSide& side, qsizetype index) {
            if (paired && choice.description == RowChoice::LeftText)
                return Description(left, row.left);
            if (paired && choice.description == RowChoice::RightText)
                return Description(right, row.right);
            return Description(side, index);
        };
        if (choice.take != RowChoice::Right && row.left >= 0)
            entries.push_back({EntryView(left, row.left), choice.take == RowChoice::Both
                                                              ? Description(left, row.left)
                                                              : text(left, row.left)});
        if (choice.take != RowChoice::Left && row.right >= 0)
            entries.push_back({EntryView(right, row.right), choice.take == RowChoice::Both
                                                                ? Description(right, row.right)
                                                                : text(right, row.right)});
    };
    EmitWithFollowers(n, followers, visit);
    for (qsizetype r = 0; r < n; ++r) {
        if (!deferred[size_t(r)])
            EmitWithFollowers(r, followers, visit);
    }
    return Assemble(entries);
}

namespace {

// The base entry of the nearest entry before `index` that has one, -1 when none does.
qsizetype BasePredecessor(const std::vector<qsizetype>& toBase, qsizetype index) {
    for (qsizetype k = index - 1; k >= 0; --k) {
        if (toBase[size_t(k)] >= 0)
            return toBase[size_t(k)];
    }
    return -1;
}

} // namespace

MergeResult MergeThreeWay(const ReconcileSide& base, const ReconcileSide& left, const ReconcileSide& right) {
    MergeResult result;
    const Matching ml = Match(base, left), mr = Match(base, right);
    const qsizetype nb = EntryCount(base.store), nl = EntryCount(left.store), nr = EntryCount(right.store);
    const std::vector<qsizetype>& leftToBase = ml.bToA;
    const std::vector<qsizetype>& rightToBase = mr.bToA;

    // Per base entry: kept or not, the side whose entry is taken, and whether it goes to the right's place.
    enum Take : char { Dropped, FromLeft, FromRight };
    std::vector<Take> take(size_t(nb), Dropped);
    std::vector<char> toRightPlace(size_t(nb), 0);
    for (qsizetype b = 0; b < nb; ++b) {
        const qsizetype l = ml.aToB[size_t(b)], r = mr.aToB[size_t(b)];
        const bool leftChanged = l >= 0 && !SameEntry(base, b, left, l);
        const bool rightChanged = r >= 0 && !SameEntry(base, b, right, r);
        const auto conflict = [&](const char* reason) {
            result.conflicts.push_back({b, l, r, QString::fromUtf8(reason)});
        };
        if (l < 0 || r < 0) {
            if (l < 0 && rightChanged)
                conflict("deleted on the left, changed on the right");
            else if (r < 0 && leftChanged)
                conflict("changed on the left, deleted on the right");
            continue;
        }
        if (leftChanged && rightChanged && !SameEntry(left, l, right, r)) {
            conflict("changed differently on both sides");
            continue;
        }
        const bool movedLeft = ml.moved[size_t(b)], movedRight = mr.moved[size_t(b)];
        if (movedLeft && movedRight && BasePredecessor(leftToBase, l) != BasePredecessor(rightToBase, r)) {
            conflict("moved differently on both sides");
            continue;
        }
        take[size_t(b)] = rightChanged && !leftChanged ? FromRight : FromLeft;
        toRightPlace[size_t(b)] = movedRight && !movedLeft;
    }
    if (!result.conflicts.empty())
        return result;

    // Insertions made alike on both sides are one: each right insertion takes the first free equal
    // left insertion.
    std::vector<qsizetype> rightTwinOfLeft(size_t(nl), -1);
    std::vector<char> rightInsertionTaken(size_t(nr), 0);
    {
        QHash<size_t, std::vector<qsizetype>> leftInsertions;
        for (qsizetype l = 0; l < nl; ++l) {
            if (leftToBase[size_t(l)] < 0)
                leftInsertions[EntryHash(left, l)].push_back(l);
        }
        for (qsizetype r = 0; r < nr && !leftInsertions.isEmpty(); ++r) {
            if (rightToBase[size_t(r)] >= 0)
                continue;
            const auto it = leftInsertions.find(EntryHash(right, r));
            if (it == leftInsertions.end())
                continue;
            for (qsizetype& l : it.value()) {
                if (l >= 0 && SameEntry(left, l, right, r)) {
                    rightTwinOfLeft[size_t(l)] = r;
                    rightInsertionTaken[size_t(r)] = 1;
                    l = -1;
                    break;
                }
            }
        }
    }

    struct Item {
        const ReconcileSide* from;
        qsizetype index;
        bool deferred;
        bool leftInsertion = false; // only the left has it: no right entry follows it
    };
    std::vector<Item> items;
    items.reserve(size_t(std::max(nl, nr)));
    std::vector<qsizetype> itemOfRight(size_t(nr), -1);
    for (qsizetype l = 0; l < nl; ++l) {
        const qsizetype b = leftToBase[size_t(l)];
        if (b < 0) {
            if (rightTwinOfLeft[size_t(l)] >= 0)
                itemOfRight[size_t(rightTwinOfLeft[size_t(l)])] = qsizetype(items.size());
            items.push_back({&left, l, false, rightTwinOfLeft[size_t(l)] < 0});
            continue;
        }
        if (take[size_t(b)] == Dropped)
            continue;
        const qsizetype r = mr.aToB[size_t(b)];
        itemOfRight[size_t(r)] = qsizetype(items.size());
        items.push_back(take[size_t(b)] == FromRight ? Item{&right, r, bool(toRightPlace[size_t(b)])}
                                                     : Item{&left, l, bool(toRightPlace[size_t(b)])});
    }
    for (qsizetype r = 0; r < nr; ++r) {
        if (rightToBase[size_t(r)] < 0 && !rightInsertionTaken[size_t(r)]) {
            itemOfRight[size_t(r)] = qsizetype(items.size());
            items.push_back({&right, r, true});
        }
    }
    // Each item going to its right-side place follows the item of its nearest right predecessor.
    const qsizetype top = qsizetype(items.size());
    std::vector<std::vector<qsizetype>> followers(size_t(top) + 1);
    qsizetype previous = top;
    for (qsizetype r = 0; r < nr; ++r) {
        const qsizetype item = itemOfRight[size_t(r)];
        if (item < 0)
            continue;
        if (items[size_t(item)].deferred)
            followers[size_t(previous)].push_back(item);
        previous = item;
    }
    std::vector<Entry> entries;
    entries.reserve(items.size());
    const auto visit = [&](qsizetype x) {
        if (x != top)
            entries.push_back({EntryView(*items[size_t(x)].from, items[size_t(x)].index),
                               Description(*items[size_t(x)].from, items[size_t(x)].index)});
    };
    // The items that follow an item come after it and after the left's own insertions behind it.
    qsizetype anchor = top;
    const auto placeFollowers = [&] {
        for (qsizetype f : followers[size_t(anchor)])
            EmitWithFollowers(f, followers, visit);
    };
    for (qsizetype x = 0; x < top; ++x) {
        const Item& item = items[size_t(x)];
        if (item.deferred)
            continue;
        if (item.leftInsertion) {
            visit(x);
            continue;
        }
        placeFollowers();
        visit(x);
        anchor = x;
    }
    placeFollowers();
    result.merged = Assemble(entries);
    return result;
}

std::vector<PresetChoice> PresetChoices(const ReconcileSide& base, const ReconcileSide& left,
                                        const ReconcileSide& right, const std::vector<ReconcileRow>& rows) {
    const Matching ml = Match(base, left), mr = Match(base, right);
    std::vector<PresetChoice> presets(rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
        const ReconcileRow& row = rows[k];
        PresetChoice& preset = presets[k];
        const qsizetype bl = row.left >= 0 ? ml.bToA[size_t(row.left)] : -1;
        const qsizetype br = row.right >= 0 ? mr.bToA[size_t(row.right)] : -1;
        const bool leftChanged = bl >= 0 && !SameEntry(base, bl, left, row.left);
        const bool rightChanged = br >= 0 && !SameEntry(base, br, right, row.right);
        const auto set = [&preset](RowChoice::Take take) {
            preset.choice.take = take;
        };
        if (row.kind == RowKind::Same) {
            set(RowChoice::Left);
        } else if (row.right < 0) {
            // Inserted on the left (kept), or deleted on the right (gone unless the left changed it).
            preset.conflict = bl >= 0 && leftChanged;
            set(bl < 0 ? RowChoice::Left : RowChoice::Right);
        } else if (row.left < 0) {
            preset.conflict = br >= 0 && rightChanged;
            set(br < 0 ? RowChoice::Right : RowChoice::Left);
        } else if (bl < 0 || bl != br) {
            preset.conflict = true; // the two entries have no common past
        } else {
            const bool movedLeft = ml.moved[size_t(bl)], movedRight = mr.moved[size_t(bl)];
            const bool rightWinsContent = rightChanged && !leftChanged;
            const bool leftWinsContent = leftChanged && !rightChanged;
            const bool rightWinsPlace = row.kind == RowKind::Moved && movedRight && !movedLeft;
            const bool leftWinsPlace = row.kind == RowKind::Moved && movedLeft && !movedRight;
            preset.conflict = (leftChanged && rightChanged && row.differs != NoField) ||
                              (row.kind == RowKind::Moved && !rightWinsPlace && !leftWinsPlace) ||
                              (rightWinsContent && leftWinsPlace) || (leftWinsContent && rightWinsPlace);
            set(rightWinsContent || rightWinsPlace ? RowChoice::Right : RowChoice::Left);
        }
    }
    return presets;
}

} // namespace quillbox
