#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>

namespace quillbox {

// What the window showed of the library around a change: enough to show it again after an undo or
// a redo.
struct PanelState {
    qsizetype libSelection = -1;
    qsizetype patchIndex = 0;
    int activeList = 0;
    bool detailsEnabled = false;
    QList<qsizetype> libSelected; // all selected lines when there were several
    friend bool operator==(const PanelState&, const PanelState&) = default;
};

// The library and its descriptions at one moment. Copies share their data with the live state
// until either is written, so taking one costs nothing.
struct LibrarySnapshot {
    QByteArray library;
    QStringList descriptions;
    PanelState panel;
};

// The undo/redo history of the library. A step keeps only what its change touched, each changed run
// on its own: a change at the third entry and one near the end cost two small runs, not everything
// between. A run of the same length on both sides is kept once, as the bytes that differ (an
// exclusive or, with unchanged stretches skipped), so changing one field of every entry costs a
// few bytes per entry. A step that only rearranges entries (moves, drops, clones, deletes) keeps
// where each stretch of entries went and the entries it dropped, never the entries it passed.
// Steps beyond the memory budget are dropped, oldest first; the newest step is always kept.
class ChangeHistory {
public:
    static constexpr qsizetype DefaultBudget = qsizetype(64) * 1024 * 1024;

    // Records the change from `before` to `after` under `name`; false when nothing changed, which
    // makes no step. A step with `typingEntry` >= 0 (the description element typed into) joins the
    // step before it while that is a typing step on the same element and the run is open.
    bool Record(const QString& name, const LibrarySnapshot& before, const LibrarySnapshot& after,
                qsizetype typingEntry = -1);
    // Records a change in which entry i of `after` is entry order[i] of `before`, bytes and
    // description alike (descriptions[k + 1] belongs to entry k; element 0 to none). Only when the
    // states are exactly that is it kept as positions; otherwise it is recorded as Record does.
    bool RecordRearranged(const QString& name, const LibrarySnapshot& before, const LibrarySnapshot& after,
                          const QList<qsizetype>& order);
    // Closes the current typing run: the next typed change starts a step of its own.
    void EndTypingRun() { typingOpen_ = false; }

    bool CanUndo() const { return index_ > 0; }
    bool CanRedo() const { return index_ < qsizetype(steps_.size()); }
    QString UndoName() const; // empty when there is nothing to undo
    QString RedoName() const;
    // Turn `library` and `descriptions` back into the state before the last step (after the next
    // one) and return what the window showed then. Only with CanUndo() / CanRedo().
    PanelState Undo(QByteArray& library, QStringList& descriptions);
    PanelState Redo(QByteArray& library, QStringList& descriptions);

    // A new history whose starting point is the saved state (a library was loaded).
    void Clear();
    // The current state is the one on disk; AtSavedPoint() says whether the state is that one again.
    void MarkSaved();
    bool AtSavedPoint() const { return saved_ == index_; }

    void SetBudget(qsizetype bytes);
    qsizetype Budget() const { return budget_; }
    qsizetype Count() const { return qsizetype(steps_.size()); }
    qsizetype UndoCount() const { return index_; }
    qsizetype MemoryUsed() const { return memory_; } // bytes held by the steps, estimated from above

private:
    // Bytes [pos, pos + beforeSize) of the state before became afterSize bytes.
    struct ByteRun {
        qsizetype pos = 0;
        qsizetype beforeSize = 0;
        qsizetype afterSize = 0;
        QByteArray beforeBytes; // empty when the sizes are equal: then `xorBytes` holds the change
        QByteArray afterBytes;
        QByteArray xorBytes;
    };
    // Descriptions [pos, pos + before.size()) of the state before became `after`.
    struct TextRun {
        qsizetype pos = 0;
        QStringList before;
        QStringList after;
    };
    // Entries [from, from + count) of the state before are the next `count` entries after.
    struct Segment {
        qsizetype from = 0;
        qsizetype count = 0;
    };
    // The state after put together from segments of the state before.
    struct Rearranged {
        QList<Segment> segments;
        // Entries of the state before that no segment takes (positions before), their bytes and
        // descriptions one after another: kept for the undo.
        QList<Segment> dropped;
        QByteArray droppedBytes;
        QStringList droppedTexts;
        QStringList textsBefore; // instead of `droppedTexts` when they are many: all of them
        qsizetype librarySizeBefore = 0;
        qsizetype librarySizeAfter = 0;
    };
    struct Step {
        QString name;
        // A change of bytes and descriptions, run by run in ascending order; or a rearrangement
        // (kept apart: most steps have none).
        QList<ByteRun> bytes;
        QList<TextRun> texts;
        std::unique_ptr<const Rearranged> rearranged;
        PanelState panelBefore;
        PanelState panelAfter;
        qsizetype typingEntry = -1;
        qsizetype cost = 0;
    };

    static Step Diff(const LibrarySnapshot& before, const LibrarySnapshot& after);
    static std::unique_ptr<Rearranged>
    Rearrangement(const LibrarySnapshot& before, const LibrarySnapshot& after, const QList<qsizetype>& order);
    static qsizetype Cost(const Step& step);
    static void Apply(const Step& step, bool forward, QByteArray& library, QStringList& descriptions);
    static void ApplyRearranged(const Rearranged& step, bool forward, QByteArray& library,
                                QStringList& descriptions);
    bool Push(Step step, const QString& name, const LibrarySnapshot& before, const LibrarySnapshot& after,
              qsizetype typingEntry);
    bool MergeTyping(Step& step);
    void DropOldest();
    void FitBudget();

    std::deque<Step> steps_;
    qsizetype index_ = 0; // steps before it are done, steps from it on are undone
    qsizetype saved_ = 0; // index of the saved state; -1 when no step leads back to it
    bool typingOpen_ = false;
    qsizetype memory_ = 0;
    qsizetype budget_ = DefaultBudget;
};

} // namespace quillbox
