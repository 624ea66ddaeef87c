#include "ReconcileGrouping.h"

#include "PatchImage.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <bit>

namespace quillbox::reconcile {

namespace {

// The name field: bits 5..40 of bytes 12..17 (indexes 11..16), read as one little-endian number.
constexpr int NameFirstByte = 11;
constexpr int NameBytes = 6;
constexpr quint64 NameMask = ((quint64(1) << 36) - 1) << 5;
constexpr qsizetype NameFieldBytes = NameFirstByte + NameBytes; // 17: an entry shorter has no whole name
constexpr int SimilarBits = 12; // at most this many bits outside the name differ: an edit, not another patch

} // namespace

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

namespace {

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

} // namespace

// For each entry of `a`: 1 when it has a partner outside the longest run (moved), else 0.
std::vector<char> MovedOutside(const std::vector<qsizetype>& aToB) {
    std::vector<char> moved(aToB.size());
    for (size_t k = 0; k < aToB.size(); ++k)
        moved[k] = aToB[k] >= 0 ? 1 : 0;
    for (qsizetype i : LongestRun(aToB))
        moved[size_t(i)] = 0;
    return moved;
}

namespace {

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
    EntryGroups Take() && {
        EntryGroups groups;
        for (int s = 0; s < SideCount; ++s)
            for (int t = 0; t < SideCount; ++t)
                groups.partner[s][t] = std::move(partner_[s][t]);
        return groups;
    }

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

} // namespace

EntryGroups GroupEntries(const ReconcileSide* base, const ReconcileSide& left, const ReconcileSide& right) {
    return Grouping(base, left, right).Take();
}

} // namespace quillbox::reconcile
