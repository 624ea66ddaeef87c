#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace quillbox {

// Reconciling two libraries: what changed between them, entry by entry, and their merge.
//
// An entry is its bytes (18, or fewer for a last entry cut short) together with its description.
// The entries of left and right, and of their common past when it is known, are grouped once: each
// entry of each side belongs to at most one group, and everything below (the rows, the choices the
// base makes, the merge) reads its verdicts from that one grouping, so that they never disagree.
// Entries are grouped two sides at a time (base with left, base with right, left with right) in four
// passes, each over what the earlier ones left:
//   1. exact: the same bytes and description (hashed, so O(n)); equal entries pair in their order;
//   2. name: a name that occurs once among the leftovers of each side (an edited patch);
//   3. body: the same bytes outside the name field, once on each side (a renamed patch);
//   4. position: between two pairs kept in order, the k-th leftover of each side pair when they look
//      alike (at most 12 bits differ outside the name, or the same non-empty description).
// A link that would put two entries of one side in a group is not made. What stays without a
// partner on the other side is only left or only right. A pair whose order relative to the others
// differs is moved: the pairs form the longest run whose positions on the one side increase in the
// other's order (O(n log n)); those outside it are moved. Identical lists are answered without
// grouping.

// One side: a patch store and its descriptions as a description array (element 0 unused, element i
// the description of entry i; missing elements count as empty).
struct ReconcileSide {
    QByteArray store;
    QStringList descriptions;
};

enum class RowKind { Same, Changed, OnlyLeft, OnlyRight, Moved };

// What differs between the two entries of a row (a moved row may differ too).
enum RowField : int {
    NoField = 0,
    NameDiffers = 1,
    ParametersDiffer = 2, // the five decoded parameters
    OtherBitsDiffer = 4,  // bits carried without being interpreted
    DescriptionDiffers = 8,
    LengthDiffers = 16, // one entry is cut short, the other not (or shorter)
};

struct ReconcileRow {
    RowKind kind = RowKind::Same;
    qsizetype left = -1;  // 0-based entry of the left side, -1 when none
    qsizetype right = -1; // 0-based entry of the right side, -1 when none
    int differs = NoField;
    friend bool operator==(const ReconcileRow&, const ReconcileRow&) = default;
};

// True when the row is anything but the same entry at the same place ("differences only").
inline bool RowDiffers(const ReconcileRow& row) {
    return row.kind != RowKind::Same;
}

// "same", "changed", "only-left", "only-right", "moved".
QString RowKindName(RowKind kind);
// The differing fields as "name, parameters, other bits, description, length" (those that apply).
QString RowFieldsText(int differs);

// The user's choice for one row. `take` says whose bytes: `Both` keeps the two entries, the left one
// first. `description` picks the text of a row whose descriptions differ: by default that of the
// entry taken. `place` says where the entry goes: by default a moved row's entry goes where the side
// it is taken from put it, any other row's where the left has it.
struct RowChoice {
    enum Take { Left, Right, Both } take = Left;
    enum Text { FollowTake, LeftText, RightText } description = FollowTake;
    enum Place { PlaceOfTake, LeftPlace, RightPlace } place = PlaceOfTake;
};

// Whether the entry the row takes goes to its right-side place (an entry only on the right always
// does; of `Both` kept at the right's place, the right one).
bool ToRightPlace(const ReconcileRow& row, const RowChoice& choice);

// "left", "right" or "both", followed for a row taken apart by what comes from the other side:
// "right (left description)", "right (left place)", "left (right description, right place)".
QString ChoiceText(const ReconcileRow& row, const RowChoice& choice);

// The library that the rows and choices make (one choice per row). An entry at its left place keeps
// the left's order; one at its right place (an entry only on the right, or one taken to where the
// right put it) follows the result entry of its nearest right-side predecessor (at the top when none
// has one), after the entries only on the left behind that one; several after the same entry keep
// the right's order. An entry cut short that no longer ends the result is padded with blanks, as
// the lists show it.
ReconcileSide ApplyChoices(const ReconcileSide& left, const ReconcileSide& right,
                           const std::vector<ReconcileRow>& rows, const std::vector<RowChoice>& choices);

// Three-way, with the base as the common past of left and right. Per group:
// - with an entry on all three sides, it merges field by field: its bytes from the side that changed
//   them and its description from the side that changed it (the same change on both sides is taken
//   once). Both sides changing the same field differently is a conflict. Its place is the right's
//   when the right moved it and the left did not, else the left's; moved by both, it is a conflict
//   unless it follows the same base entry on both sides.
// - deleted on one side: gone, unless the other side changed it (a conflict); deleted on both: gone.
// - inserted on one side: kept, at that side's place. Inserted on both sides alike (the same bytes
//   and description): taken once; grouped but different: both kept, each at its side's place.
// So a conflict is only where both sides changed the same part of an entry differently, one side
// deleted what the other changed, or both moved it to different places.
struct MergeConflict {
    qsizetype base = -1, left = -1, right = -1; // 0-based entries, -1 when none
    QString reason;
};

// The choice the base makes for a row (the merge's verdict), and whether the row is a conflict that
// needs the user.
struct PresetChoice {
    RowChoice choice;
    bool conflict = false;
};

struct Reconciliation {
    std::vector<ReconcileRow> rows; // left against right, in left (library) order
    // With a base: per row, the merge's choice; and the conflicts, in base order.
    std::vector<PresetChoice> presets;
    std::vector<MergeConflict> conflicts;
};

// The rows of `left` against `right` and, with a `base`, the merge's verdicts. An entry only on the
// right follows the left entry whose counterpart precedes it on the right (at the top when none
// does), after the entries only on the left there.
Reconciliation Reconcile(const ReconcileSide& left, const ReconcileSide& right,
                         const ReconcileSide* base = nullptr);

// The rows without a base.
std::vector<ReconcileRow> ReconcileRows(const ReconcileSide& left, const ReconcileSide& right);

struct MergeResult {
    ReconcileSide merged;                 // valid only when `conflicts` is empty
    std::vector<MergeConflict> conflicts; // in base order
};

// The merge: the preset choices of Reconcile applied, or its conflicts.
MergeResult MergeThreeWay(const ReconcileSide& base, const ReconcileSide& left, const ReconcileSide& right);

} // namespace quillbox
