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

    // The record, read-only: entries, descriptions and files change only through the operations below.
    const LibraryState& State() const { return state_; }
    // What the window holds around the library (the imported patches, the selection, the panel): the
    // window's own to change.
    SessionRecord& Session() { return state_; }
    const ChangeHistory& History() const { return history_; }
    // Test seams: a situation set up by hand, a history with another budget. No product code uses them.
    LibraryState& StateForTest() { return state_; }
    ChangeHistory& HistoryForTest() { return history_; }
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

    // Recording. Every operation below that changes the library is part of a step: the one running,
    // or else a step of its own named after the operation. RecordStep runs `change` as one step: the
    // library and what the window showed (Panel()) before and after are compared and only what differs
    // is kept; a change that changes nothing makes no step, and one that throws keeps what it changed
    // as "Unfinished change". `change` returns the step's name. `typingEntry` >= 0 marks typing into
    // that description element, which joins the typing step before it. True when a step was recorded.
    bool RecordStep(const std::function<QString()>& change, qsizetype typingEntry = -1);
    // Where the running step's one rearrangement took the entries (entry i now is entry order[i]);
    // nullptr unless the step rearranged them exactly once.
    const QList<qsizetype>* StepOrder() const { return stepRearranges_ == 1 ? &stepOrder_ : nullptr; }
    // The next typed change starts a step of its own.
    void EndTypingRun() { history_.EndTypingRun(); }
    // What the window shows of the library now, as a step keeps it.
    PanelState Panel() const;
    // Takes back the last step (does the next one again): the library as it was, and what the window
    // showed then. Only with History().CanUndo() / CanRedo().
    PanelState Undo();
    PanelState Redo();

    // The library and its files. Open takes a library as read from `libPath` (and its side file at
    // `descPath`): a new history starts, nothing unsaved. Saved marks the library as on disk at
    // `libPath` (a save, also under a new name). Replace makes the library `store` with
    // `descriptions` (a recovery, an earlier version, a reconciliation), unsaved when it differs.
    void Open(const QString& libPath, const QString& descPath, const QByteArray& store,
              const QStringList& descriptions);
    void Saved(const QString& libPath, const QString& descPath);
    void Replace(const QByteArray& store, const QStringList& descriptions);
    // A fresh start: nothing unsaved, no history.
    void Restart();
    // The library counts as changed though its entries are not (the description box was clicked).
    void MarkChanged();

    // Single entries. SetEntry writes `image` over entry k's bytes (a short last entry's few bytes are
    // replaced by all of `image`); SetDescription writes the description of entry k (it must have an
    // element); InsertImage puts `image` before entry `before` (Count(): at the end) and leaves the
    // descriptions to ModifyDescArray, as the single-entry copy always has.
    void SetEntry(qsizetype k, const QByteArray& image);
    void SetDescription(qsizetype k, const QString& text);
    void InsertImage(qsizetype before, const QByteArray& image);
    // Room for `entries` more entries, so that a long run of appends does not copy the library over
    // and over.
    void Reserve(qsizetype entries);
    // No entries left (their descriptions stay to ModifyDescArray's DescClear).
    void ClearEntries();

    // Writes `name` (padded with blanks to six characters) into the name field of entry k; every other
    // bit stays, and an entry cut short after its name keeps its length. Nothing changes when the
    // device cannot hold the name (`refusal` says why) or the entry ends before its name does.
    struct Renamed {
        QString refusal;
        bool cutShort = false;
        bool changed = false; // false too when the entry had that name already
        QString before;       // the entry's list line before and after
        QString after;
        QString newName;      // the name as the device holds it (blanks kept), unless refused
    };
    Renamed Rename(qsizetype k, const QString& name);

    // Tags ("#gig") in the descriptions of `positions`: each of `add` put at the end of a description
    // that lacks it, each of `remove` taken out. All or nothing: when a description could not take its
    // tags within DescriptionLimit characters, nothing changes and the answer names those positions.
    struct TagResult {
        QList<qsizetype> tooLong; // the positions that could not take the tags (then nothing changed)
        qsizetype changed = 0;    // descriptions changed
    };
    TagResult Tag(const QList<qsizetype>& positions, const QStringList& add, const QStringList& remove);
    // A description's length as stored (a line break, CR LF, counts two): the description box's too.
    static constexpr qsizetype DescriptionLimit = 255;

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

    // Changes of at least this many entries, and libraries of at least this many entries counted
    // anew, are counted beside the window.
    static constexpr qsizetype CountedAside = 4096;
    static constexpr qsizetype BigLibrary = 20000;

private:
    // The entry operations as they change the library, within the step that runs.
    EntryChange RemoveEntries(const QList<qsizetype>& positions);
    EntryChange CloneEntries(const QList<qsizetype>& positions);
    EntryChange MoveByEntries(const QList<qsizetype>& positions, int direction);
    EntryChange MoveToEntries(const QList<qsizetype>& positions, qsizetype before);
    EntryChange SortByNameEntries(const QList<qsizetype>& positions);
    EntryChange InsertEntries(qsizetype at, const QByteArray& images, const QStringList& descriptions);
    // Runs an entry operation as part of a step; the library counts as changed when it changed.
    EntryChange Changed(const QString& name, const std::function<EntryChange()>& operation);
    LibrarySnapshot Snapshot() const;
    // Runs `change` within the running step, or as a step of its own named `name`.
    void Changing(const QString& name, const std::function<void()>& change);
    // Starts the running step's record of rearrangements: with exactly one, the history keeps the
    // step as the positions moved.
    void StartStep();
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
    int stepDepth_ = 0; // steps running, one inside another
    // The count running beside the window; last, so that it is waited for before the counts go.
    mutable std::future<void> counting_;
};

// The names' order of the sort: as shown, ignoring case, blanks at the end counting for nothing.
bool NameSortsBefore(const QString& left, const QString& right);

} // namespace quillbox
