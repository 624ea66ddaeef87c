#pragma once

#include "ChangeHistory.h"
#include "EntryChange.h"
#include "LibraryState.h"
#include "TwinIndex.h"

#include <QList>
#include <functional>
#include <future>

namespace quillbox {

// ModifyDescArray modes.
enum DescArrayMode : int {
    DescRemove = 1,
    DescClear = 2,
    DescInsertAfter = 3,
    DescDuplicate = 4,
    DescResizeAndSet = 5,
    DescAppend = 6,
    DescSetSelected = 7,
    DescSwapWithPrevious = 8,
    DescSwapWithNext = 9,
};

// The library being edited: its entries and descriptions (with the rest of the window's record in
// LibraryState), the point it was saved at, its history of changes and the twin counts. Every
// operation on entries takes a set of positions (ascending, each once, existing); one entry is a set
// of one and changes the entry and its description exactly as the single-entry commands always have,
// including the description array's own checks.
class LibraryDocument {
public:
    // Where the description array's failures go ("ModifyDescArray: …").
    using MessageSink = std::function<void(const QString&)>;
    explicit LibraryDocument(MessageSink messages) : messages_(std::move(messages)) {}

    LibraryState& State() { return state_; }
    const LibraryState& State() const { return state_; }
    ChangeHistory& History() { return history_; }
    const ChangeHistory& History() const { return history_; }
    // The twin counts of the library as it stands (counted again only where it changed); waits for a
    // count running beside the window.
    const TwinIndex& Twins() const;
    // The counts when they are at hand, without waiting: nullptr while a big change is counted beside
    // the window (a count of a big library that changed beyond recognition is started here), so
    // that drawing the marks never holds up a frame.
    const TwinIndex* TwinsIfCounted() const;

    qsizetype Count() const;
    // Entry k as the library stores it: 18 bytes, a short last entry padded with blanks.
    QByteArray Entry(qsizetype k) const;
    QString Description(qsizetype k) const { return state_.DescArray.value(k + 1); }

    // Keeps DescArray in step with the library; false when it reported a failure.
    bool ModifyDescArray(qint32 arrayNr, qint32 arrayMode, const QString& descriptionText = QString());

    // The entry operations. Each leaves the library changed or, for None, untouched.
    EntryChange Remove(const QList<qsizetype>& positions);
    // Each entry's copy right after it.
    EntryChange Clone(const QList<qsizetype>& positions);
    // Every entry one place up (-1) or down (+1), as a block that keeps its shape; None at an end.
    EntryChange MoveBy(const QList<qsizetype>& positions, int direction);
    // The entries, in their order, to stand before entry `before` (Count(): after the last).
    EntryChange MoveTo(const QList<qsizetype>& positions, qsizetype before);
    // The entries at `positions` in order of their names as shown, a stable sort: the names change
    // places, the positions stay those of the set.
    EntryChange SortByName(const QList<qsizetype>& positions);
    // `images` (whole 18-byte images) with `descriptions` (one per image) before entry `at`.
    EntryChange Insert(qsizetype at, const QByteArray& images, const QStringList& descriptions);
    // A last entry cut short by the end of its file is padded to a whole image before a patch goes
    // behind it, so that the new patch's bytes never fill the short entry up.
    void PadShortLastEntry();

    // The order of the running step's rearrangements: with exactly one, the history keeps the step
    // as the positions moved.
    void StartStep();
    const QList<qsizetype>* StepOrder() const { return stepRearranges_ == 1 ? &stepOrder_ : nullptr; }

    // Changes of at least this many entries, and libraries of at least this many entries counted
    // anew, are counted beside the window.
    static constexpr qsizetype CountedAside = 4096;
    static constexpr qsizetype BigLibrary = 20000;

private:
    void WaitForCounts() const;
    // Runs `update` of the counts for a change of `entries` entries: at once when it is small and
    // nothing is being counted, else beside the window after the count that runs. Each update
    // counts only when the counts are of the library it changed (TwinIndex checks), so a change
    // the counts missed leaves them to be counted anew.
    void UpdateCounts(qsizetype entries, std::function<void()> update);

    // The library as the entries of `order` (positions, repeats allowed), each with its description;
    // a short last entry is padded unless it stays last. The running step learns the order.
    void Rearrange(const QList<qsizetype>& order);
    // The entries in the order `order` (a permutation): None when it changes nothing.
    EntryChange Reorder(const QList<qsizetype>& order);

    MessageSink messages_;
    LibraryState state_;
    ChangeHistory history_;
    mutable TwinIndex twins_;
    QList<qsizetype> stepOrder_;
    int stepRearranges_ = 0;
    // The count running beside the window; last, so that it is waited for before the counts go.
    mutable std::future<void> counting_;
};

// The names' order of the sort: as shown, ignoring case, blanks at the end counting for nothing.
bool NameSortsBefore(const QString& left, const QString& right);

} // namespace quillbox
