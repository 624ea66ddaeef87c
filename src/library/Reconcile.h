#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace quillbox {

// Reconciling two libraries: what changed between them, entry by entry, and their merge.
//
// An entry is its bytes (18, or fewer for a last entry cut short) together with its description.
// Entries of two lists are paired in four passes, each over what the earlier ones left:
//   1. exact: the same bytes and description (hashed, so O(n)); equal entries pair in their order;
//   2. name: a name that occurs once among the leftovers of each side (an edited patch);
//   3. body: the same bytes outside the name field, once on each side (a renamed patch);
//   4. position: between two pairs kept in order, the k-th leftover of each side pair when they look
//      alike (at most 12 bits differ outside the name, or the same non-empty description).
// What stays unpaired is only left or only right. A pair whose order relative to the others differs
// is moved: the pairs of passes 1-3 form the longest run whose right positions increase in left
// order (O(n log n)); those outside it are moved. Identical lists are answered without matching.

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

// The rows of `left` against `right`, in left (library) order; an entry only on the right follows
// the left entry whose counterpart precedes it on the right (at the top when none does), after the
// entries only on the left there.
std::vector<ReconcileRow> ReconcileRows(const ReconcileSide& left, const ReconcileSide& right);

// True when the row is anything but the same entry at the same place ("differences only").
inline bool RowDiffers(const ReconcileRow& row) {
    return row.kind != RowKind::Same;
}

// "same", "changed", "only-left", "only-right", "moved".
QString RowKindName(RowKind kind);
// The differing fields as "name, parameters, other bits, description, length" (those that apply).
QString RowFieldsText(int differs);

// The user's choice for one row. `Both` keeps the two entries, the left one first. `description`
// picks the text of a row whose descriptions differ: by default that of the entry taken.
struct RowChoice {
    enum Take { Left, Right, Both } take = Left;
    enum Text { FollowTake, LeftText, RightText } description = FollowTake;
};

// The library that the rows and choices make (one choice per row). An entry taken from the right
// of a moved row goes to its right-side place: after the entry that precedes it on the right. An
// entry cut short that no longer ends the result is padded with blanks, as the lists show it.
ReconcileSide ApplyChoices(const ReconcileSide& left, const ReconcileSide& right,
                           const std::vector<ReconcileRow>& rows, const std::vector<RowChoice>& choices);

// Three-way: `base` is the common past of left and right.
//
// Each side is paired with the base as above. Per base entry: unchanged on both sides, it stays;
// changed on one side only, that side's entry is taken; the same change on both sides is taken
// once; different changes on both sides are a conflict, and so is a deletion on one side with a
// change on the other; a deletion on one side with no change on the other (a move is none)
// deletes it. The unit is the whole entry (18 bytes and description): a name changed on one side
// and a description on the other is a conflict, not a blend.
//
// Order: the result follows left's order. An entry the right side inserted, or moved while the
// left did not, follows the result entry of its nearest right-side predecessor that is in the
// result (at the top when there is none), after the left's own insertions behind that entry;
// several after the same entry keep the right's order.
// An entry both sides moved is a conflict unless it follows the same base entry on both sides.
// An entry inserted on both sides alike (same bytes and description) is taken once.
struct MergeConflict {
    qsizetype base = -1, left = -1, right = -1; // 0-based entries, -1 when none
    QString reason;
};

struct MergeResult {
    ReconcileSide merged;                 // valid only when `conflicts` is empty
    std::vector<MergeConflict> conflicts; // in base order
};

MergeResult MergeThreeWay(const ReconcileSide& base, const ReconcileSide& left, const ReconcileSide& right);

// For the two-way rows of left against right: the choice the base makes for each row (a change on
// one side only is chosen for the user), and whether the row is a conflict that needs the user.
// Besides the merge's conflicts, a moved row whose content one side changed and whose place the
// other side changed needs the user too: one choice takes the entry and its place from one side.
struct PresetChoice {
    RowChoice choice;
    bool conflict = false;
};
std::vector<PresetChoice> PresetChoices(const ReconcileSide& base, const ReconcileSide& left,
                                        const ReconcileSide& right, const std::vector<ReconcileRow>& rows);

} // namespace quillbox
