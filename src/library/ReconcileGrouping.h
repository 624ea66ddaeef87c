#pragma once

// The one grouping of the entries of base, left and right that every verdict of a reconciliation
// reads (see Reconcile.h). For Reconcile's own files.

#include "Reconcile.h"

#include <QByteArrayView>
#include <vector>

namespace quillbox::reconcile {

QByteArrayView EntryView(const ReconcileSide& side, qsizetype index);
// The description of an entry (0-based), empty when the side has none.
const QString& Description(const ReconcileSide& side, qsizetype index);
// The same bytes and the same description.
bool SameEntry(const ReconcileSide& a, qsizetype i, const ReconcileSide& b, qsizetype j);

// For each entry of `a`: 1 when it has a partner outside the longest run (moved), else 0.
std::vector<char> MovedOutside(const std::vector<qsizetype>& aToB);

enum SideId { BaseId = 0, LeftId = 1, RightId = 2 };
constexpr int SideCount = 3;

// The groups: per pair of sides, the entry of side t grouped with entry i of side s, -1 when none.
struct EntryGroups {
    const std::vector<qsizetype>& To(int s, int t) const { return partner[s][t]; }
    std::vector<qsizetype> partner[SideCount][SideCount];
};

// Groups the entries of the sides (without a base, of left and right alone).
EntryGroups GroupEntries(const ReconcileSide* base, const ReconcileSide& left, const ReconcileSide& right);

} // namespace quillbox::reconcile
