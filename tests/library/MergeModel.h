#pragma once

// Random three-way merges and a small model of their intended result, for checking the merge.
//
// Every entry the generator makes carries an identity: a base entry keeps its identity through every
// change either side makes to it, and an insertion gets a new one (the same on both sides when both
// insert it). The model groups entries by that identity, not by looking at them, and merges each
// group by the rules the merge promises. The generator keeps to changes the merge can recognise:
// names and texts are never reused, an entry is not both renamed and edited by one side alone
// (except the same rename and edit on both sides, in triples without moves, where it makes no
// difference whether the merge recognises it), and the moves of each side must leave one longest
// run of entries in order (otherwise which entries moved is a matter of taste, and the generator
// draws again).

#include "PatchImage.h"
#include "Reconcile.h"

#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace quillbox::test {

struct TrialEntry {
    QByteArray bytes;
    QString text;
    int id = -1; // base entries 0..n-1, insertions from InsertedIds on
};
using TrialSide = std::vector<TrialEntry>;

struct Triple {
    TrialSide base, left, right;
    bool calm = false; // no change both sides make differently: the merge must be clean
};

inline constexpr int InsertedIds = 100000;

inline ReconcileSide ToReconcileSide(const TrialSide& side) {
    ReconcileSide result{{}, {QString()}};
    for (const TrialEntry& e : side) {
        result.store.append(e.bytes);
        result.descriptions.append(e.text);
    }
    return result;
}

// "3 7' 100000 ..." : each entry's identity, "'" when its bytes differ from the base's, "+" when its
// text does.
inline QString TripleSideText(const TrialSide& side, const TrialSide& base) {
    QStringList tokens;
    for (const TrialEntry& e : side) {
        QString token = QString::number(e.id);
        if (e.id < InsertedIds && e.bytes != base[size_t(e.id)].bytes)
            token += u'\'';
        if (e.id < InsertedIds && e.text != base[size_t(e.id)].text)
            token += u'+';
        tokens.append(token);
    }
    return tokens.join(u' ');
}

class TripleMaker {
public:
    explicit TripleMaker(quint32 seed) : random_(seed) {}

    Triple Make() {
        Triple t;
        t.calm = Chance(50);
        const bool reworks = Chance(15); // the same rename and edit on both sides; then nothing moves
        const int n = int(random_.bounded(301));
        for (int i = 0; i < n; ++i)
            t.base.push_back({NewBytes(), Chance(40) ? QString() : NewText(), i});
        t.left = t.base;
        t.right = t.base;
        std::vector<char> deletedLeft(size_t(n), 0), deletedRight(size_t(n), 0);
        std::vector<char> movesLeft(size_t(n), 0), movesRight(size_t(n), 0), movesBoth(size_t(n), 0);
        for (int i = 0; i < n; ++i) {
            if (Chance(65))
                continue;
            TrialEntry &l = t.left[size_t(i)], &r = t.right[size_t(i)];
            const int kind = int(random_.bounded(t.calm ? 3 : 4));
            if (kind == 0 || kind == 1) { // one side only: a change, a move, or both
                const bool left = kind == 0;
                char& moves = (left ? movesLeft : movesRight)[size_t(i)];
                moves = !reworks && Chance(30);
                if (!moves || Chance(50))
                    Change(left ? l : r, left ? deletedLeft[size_t(i)] : deletedRight[size_t(i)]);
            } else if (kind == 2) { // the same change on both sides
                if (reworks && Chance(50)) {
                    l.bytes = Edited(Renamed(l.bytes));
                } else {
                    char deleted = 0;
                    Change(l, deleted);
                    deletedLeft[size_t(i)] = deleted;
                    if (!deleted && !reworks && Chance(30))
                        movesBoth[size_t(i)] = 1;
                }
                r = l;
                deletedRight[size_t(i)] = deletedLeft[size_t(i)];
            } else { // each side its own change
                Change(l, deletedLeft[size_t(i)]);
                Change(r, deletedRight[size_t(i)]);
                if (!reworks) {
                    movesLeft[size_t(i)] = Chance(20);
                    movesRight[size_t(i)] = Chance(20);
                }
            }
        }
        // Deletions, then insertions (some the same on both sides), then moves; the moves both sides
        // make alike put the entry behind the same base entry on both.
        Drop(t.left, deletedLeft);
        Drop(t.right, deletedRight);
        for (int k = 0, count = int(random_.bounded(quint32(n / 10 + 3))); k < count; ++k) {
            const TrialEntry entry{NewBytes(), Chance(50) ? QString() : NewText(), nextId_++};
            const int where = int(random_.bounded(3));
            if (where != 1)
                InsertAnywhere(t.left, entry);
            if (where != 0)
                InsertAnywhere(t.right, entry);
        }
        MoveAnywhere(t.left, movesLeft);
        MoveAnywhere(t.right, movesRight);
        for (int i = 0; i < n; ++i) {
            if (!movesBoth[size_t(i)])
                continue;
            const int behind = int(random_.bounded(quint32(n)));
            if (behind != i && Has(t.left, behind) && Has(t.right, behind)) {
                MoveBehind(t.left, i, behind);
                MoveBehind(t.right, i, behind);
            }
        }
        return t;
    }

private:
    bool Chance(int percent) { return random_.bounded(100) < percent; }

    // 18 bytes, the name field a name never used before.
    QByteArray NewBytes() {
        QByteArray bytes(PatchImageSize, '\0');
        for (char& b : bytes)
            b = char(random_.bounded(256));
        return Renamed(bytes);
    }
    QByteArray Renamed(QByteArray bytes) {
        const quint64 name = quint64(++names_) << 5;
        for (int m = 0; m < 6; ++m) { // bits 5..40 of bytes 12..17
            const quint8 mask = quint8((((quint64(1) << 36) - 1) << 5) >> (8 * m));
            bytes[11 + m] = char((quint8(bytes[11 + m]) & ~mask) | (quint8(name >> (8 * m)) & mask));
        }
        return bytes;
    }
    // One bit of the first eleven bytes flipped: a parameter, never the name.
    QByteArray Edited(QByteArray bytes) {
        const int at = int(random_.bounded(11));
        bytes[at] = char(bytes[at] ^ (1 << random_.bounded(8)));
        return bytes;
    }
    QString NewText() {
        const QString text = QStringLiteral("text ") + QString::number(++texts_);
        return Chance(20) ? text + QStringLiteral("\r\nsecond line") : text;
    }

    // Changes an entry one way, or deletes it.
    void Change(TrialEntry& e, char& deleted) {
        switch (random_.bounded(6)) {
        case 0:
            deleted = 1;
            break;
        case 1:
            e.bytes = Edited(e.bytes);
            break;
        case 2:
            e.bytes = Renamed(e.bytes);
            break;
        case 3:
            e.text = NewText();
            break;
        case 4:
            e.bytes = Edited(e.bytes);
            e.text = NewText();
            break;
        default:
            e.bytes = Renamed(e.bytes);
            e.text = NewText();
        }
    }

    static void Drop(TrialSide& side, const std::vector<char>& deleted) {
        std::erase_if(side, [&](const TrialEntry& e) { return e.id < InsertedIds && deleted[size_t(e.id)]; });
    }
    void InsertAnywhere(TrialSide& side, const TrialEntry& entry) {
        side.insert(side.begin() + random_.bounded(quint32(side.size() + 1)), entry);
    }
    static qsizetype Find(const TrialSide& side, int id) {
        for (size_t k = 0; k < side.size(); ++k) {
            if (side[k].id == id)
                return qsizetype(k);
        }
        return -1;
    }
    static bool Has(const TrialSide& side, int id) { return Find(side, id) >= 0; }
    void MoveAnywhere(TrialSide& side, const std::vector<char>& moves) {
        for (size_t id = 0; id < moves.size(); ++id) {
            const qsizetype at = moves[id] ? Find(side, int(id)) : -1;
            if (at < 0)
                continue;
            const TrialEntry entry = side[size_t(at)];
            side.erase(side.begin() + at);
            InsertAnywhere(side, entry);
        }
    }
    static void MoveBehind(TrialSide& side, int id, int behind) {
        const qsizetype at = Find(side, id);
        const TrialEntry entry = side[size_t(at)];
        side.erase(side.begin() + at);
        side.insert(side.begin() + Find(side, behind) + 1, entry);
    }

    QRandomGenerator random_;
    int names_ = 0, texts_ = 0, nextId_ = InsertedIds;
};

// What the merge of a triple should give: its conflicts as "base left right reason" (positions from
// 1, "-" for none), or else the merged entries.
struct ModelMerge {
    QStringList conflicts;
    std::vector<std::pair<QByteArray, QString>> merged;
};

namespace model {

// The entries of `seq` (-1: none; the others all different) on the one longest increasing run, or
// nothing when there are several such runs: an entry is on a longest run when the best run ending
// there and the best run starting there make one; there is one such run when exactly that many
// entries are on one.
inline std::optional<std::vector<char>> OnlyLongestRun(const std::vector<int>& seq) {
    const size_t n = seq.size();
    std::vector<int> ending(n, 0), starting(n, 0);
    // The best run's length ending at each entry: the least last value of a run of each length.
    const auto lengths = [n, &seq](std::vector<int>& length, auto order, int sign) {
        std::vector<int> least;
        for (size_t k = 0; k < n; ++k) {
            const size_t i = order(k);
            if (seq[i] < 0)
                continue;
            const auto at = std::lower_bound(least.begin(), least.end(), sign * seq[i]);
            length[i] = int(at - least.begin()) + 1;
            if (at == least.end())
                least.push_back(sign * seq[i]);
            else
                *at = sign * seq[i];
        }
        return int(least.size());
    };
    const int longest = lengths(
        ending, [](size_t k) { return k; }, 1);
    lengths(
        starting, [n](size_t k) { return n - 1 - k; }, -1);
    std::vector<char> on(n, 0);
    int count = 0;
    for (size_t i = 0; i < n; ++i) {
        if (seq[i] >= 0 && ending[i] + starting[i] - 1 == longest) {
            on[i] = 1;
            ++count;
        }
    }
    if (count != longest)
        return std::nullopt;
    return on;
}

} // namespace model

// The intended merge, or nothing when a side's moves leave more than one longest run.
inline std::optional<ModelMerge> MergeByModel(const Triple& t) {
    const int n = int(t.base.size());
    const auto positions = [n](const TrialSide& side) {
        QHash<int, int> at;
        for (size_t k = 0; k < side.size(); ++k)
            at.insert(side[k].id, int(k));
        return at;
    };
    const QHash<int, int> atLeft = positions(t.left), atRight = positions(t.right);
    // Moved: a base entry a side kept outside the one longest run of kept entries in base order.
    const auto movedOn = [n](const QHash<int, int>& at) -> std::optional<std::vector<char>> {
        std::vector<int> seq(static_cast<size_t>(n));
        for (int b = 0; b < n; ++b)
            seq[size_t(b)] = at.value(b, -1);
        const std::optional<std::vector<char>> run = model::OnlyLongestRun(seq);
        if (!run)
            return std::nullopt;
        std::vector<char> moved(static_cast<size_t>(n));
        for (int b = 0; b < n; ++b)
            moved[size_t(b)] = seq[size_t(b)] >= 0 && !(*run)[size_t(b)];
        return moved;
    };
    const std::optional<std::vector<char>> movedLeft = movedOn(atLeft), movedRight = movedOn(atRight);
    if (!movedLeft || !movedRight)
        return std::nullopt;

    // The base entry behind an entry of a side: the nearest before it that has one.
    const auto baseBehind = [n](const TrialSide& side, int at) {
        for (int k = at - 1; k >= 0; --k) {
            if (side[size_t(k)].id < n)
                return side[size_t(k)].id;
        }
        return -1;
    };
    const auto pos = [](int at) {
        return at < 0 ? QStringLiteral("-") : QString::number(at + 1);
    };

    // One item per group that stays: its entry, and where it goes.
    struct Item {
        QByteArray bytes;
        QString text;
        int left = -1, right = -1; // the group's entries
        bool atRight = false;
    };
    std::vector<Item> items;
    QHash<int, int> itemOf; // identity -> item
    ModelMerge result;
    for (int b = 0; b < n; ++b) {
        const int l = atLeft.value(b, -1), r = atRight.value(b, -1);
        const TrialEntry& base = t.base[size_t(b)];
        const auto same = [&base](const TrialEntry& e) {
            return e.bytes == base.bytes && e.text == base.text;
        };
        const auto conflict = [&](const char* reason) {
            result.conflicts.append(pos(b) + u' ' + pos(l) + u' ' + pos(r) + u' ' +
                                    QString::fromUtf8(reason));
        };
        if (l < 0 && r < 0)
            continue;
        if (l < 0) {
            if (!same(t.right[size_t(r)]))
                conflict("deleted on the left, changed on the right");
            continue;
        }
        if (r < 0) {
            if (!same(t.left[size_t(l)]))
                conflict("changed on the left, deleted on the right");
            continue;
        }
        const TrialEntry &le = t.left[size_t(l)], &re = t.right[size_t(r)];
        Item item;
        item.left = l;
        item.right = r;
        bool differently = false;
        if (le.bytes == base.bytes)
            item.bytes = re.bytes;
        else if (re.bytes == base.bytes || re.bytes == le.bytes)
            item.bytes = le.bytes;
        else
            differently = true;
        if (le.text == base.text)
            item.text = re.text;
        else if (re.text == base.text || re.text == le.text)
            item.text = le.text;
        else
            differently = true;
        if (differently) {
            conflict("changed differently on both sides");
            continue;
        }
        const bool ml = (*movedLeft)[size_t(b)], mr = (*movedRight)[size_t(b)];
        if (ml && mr && baseBehind(t.left, l) != baseBehind(t.right, r)) {
            conflict("moved differently on both sides");
            continue;
        }
        item.atRight = mr && !ml;
        itemOf.insert(b, int(items.size()));
        items.push_back(item);
    }
    if (!result.conflicts.isEmpty())
        return result;
    // Insertions: on one side at that side's place, on both (alike) once at the left's.
    for (size_t k = 0; k < t.left.size(); ++k) {
        const TrialEntry& e = t.left[k];
        if (e.id < n)
            continue;
        itemOf.insert(e.id, int(items.size()));
        items.push_back({e.bytes, e.text, int(k), atRight.value(e.id, -1), false});
    }
    for (size_t k = 0; k < t.right.size(); ++k) {
        const TrialEntry& e = t.right[k];
        if (e.id < n || atLeft.contains(e.id))
            continue;
        itemOf.insert(e.id, int(items.size()));
        items.push_back({e.bytes, e.text, -1, int(k), true});
    }

    // An item at the right's place follows the item of the nearest entry before it on the right
    // that stays (-1: the top), after the left's own insertions behind that item.
    constexpr int Top = -1;
    const auto anchorOf = [&](const Item& item) {
        for (int k = item.right - 1; k >= 0; --k) {
            const int x = itemOf.value(t.right[size_t(k)].id, -1);
            if (x >= 0)
                return x;
        }
        return Top;
    };
    std::vector<int> byRight; // the items at the right's place, in right order
    for (size_t k = 0; k < t.right.size(); ++k) {
        const int x = itemOf.value(t.right[k].id, -1);
        if (x >= 0 && items[size_t(x)].atRight)
            byRight.push_back(x);
    }
    const auto emit = [&](int x) {
        result.merged.emplace_back(items[size_t(x)].bytes, items[size_t(x)].text);
    };
    const auto emitAfter = [&](auto&& self, int anchor) -> void {
        for (int x : byRight) {
            if (anchorOf(items[size_t(x)]) == anchor) {
                emit(x);
                self(self, x);
            }
        }
    };
    int anchor = Top;
    for (size_t k = 0; k < t.left.size(); ++k) {
        const int x = itemOf.value(t.left[k].id, -1);
        if (x < 0 || items[size_t(x)].atRight)
            continue;
        if (items[size_t(x)].right < 0) {
            emit(x);
            continue;
        }
        emitAfter(emitAfter, anchor);
        emit(x);
        anchor = x;
    }
    emitAfter(emitAfter, anchor);
    return result;
}

} // namespace quillbox::test
