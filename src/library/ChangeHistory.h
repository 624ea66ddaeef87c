#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>

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

// The undo/redo history of the library. A step keeps only what its change touched: the differing
// middle of the library bytes and of the descriptions between the common beginning and end of the
// states before and after. A middle of the same length on both sides is kept once, as the bytes
// that differ (an exclusive or, with unchanged runs skipped), so changing one field of every entry
// costs a few bytes per entry. Steps beyond the memory budget are dropped, oldest first; the newest
// step is always kept.
class ChangeHistory {
public:
    static constexpr qsizetype DefaultBudget = qsizetype(64) * 1024 * 1024;

    // Records the change from `before` to `after` under `name`; false when nothing changed, which
    // makes no step. A step with `typingEntry` >= 0 (the description element typed into) joins the
    // step before it while that is a typing step on the same element and the run is open.
    bool Record(const QString& name, const LibrarySnapshot& before, const LibrarySnapshot& after,
                qsizetype typingEntry = -1);
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
    struct Step {
        QString name;
        qsizetype bytePos = 0;    // where the changed bytes begin
        qsizetype beforeSize = 0; // length of the changed bytes before and after
        qsizetype afterSize = 0;
        QByteArray beforeBytes; // empty when the sizes are equal: then `xorBytes` holds the change
        QByteArray afterBytes;
        QByteArray xorBytes;
        qsizetype descPos = 0;
        QStringList descBefore;
        QStringList descAfter;
        PanelState panelBefore;
        PanelState panelAfter;
        qsizetype typingEntry = -1;
        qsizetype cost = 0;
    };

    static Step Diff(const LibrarySnapshot& before, const LibrarySnapshot& after);
    static qsizetype Cost(const Step& step);
    static void Apply(const Step& step, bool forward, QByteArray& library, QStringList& descriptions);
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
