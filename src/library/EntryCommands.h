#pragma once

#include "CommandBase.h"
#include "DetailsCommands.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryView.h"
#include "StepRunner.h"

#include <QDateTime>
#include <functional>

namespace quillbox {

// The Library menu on the selected library entries (move, clone, delete, delete all, random
// modification, sort, rename, tags) and the drops on the library list. Each takes the selected
// lines as a set, one step whatever their number.
class EntryCommands : private CommandBase {
public:
    EntryCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, DetailsCommands& details,
                  PanesView& panes, ShellView& shell);

    // Test seams: the clock and the random source of "Random Modification".
    void SetClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    void SetRandomSource(std::function<quint8()> source) { random_ = std::move(source); }

    void MoveUp();
    void MoveDown();
    void ClonePatch();
    void DeleteSelected();
    void DeleteAll();
    void RandomModification();
    void SortByName();
    bool RenameEntry(qsizetype index, const QString& name);
    bool TagSelected(const QString& tag, bool add);

    void MoveEntriesTo(QList<qsizetype> positions, qsizetype before);
    void CopyPatchesTo(QList<qsizetype> positions, qsizetype before);
    void CopyImagesIntoLibrary(const QByteArray& images, const QStringList& descriptions, qsizetype before);

private:
    void MoveSelectionBy(int direction); // -1 up, +1 down
    QByteArray RandomImage(qsizetype k);
    QString RandomDescription() const;

    DetailsCommands& details_;
    PanesView& panes_;
    ShellView& shell_;
    std::function<QDateTime()> clock_;
    std::function<quint8()> random_; // one random byte 0..254 per call
};

} // namespace quillbox
