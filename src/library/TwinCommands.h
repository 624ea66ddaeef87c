#pragma once

#include "CommandBase.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryView.h"
#include "PatchComparison.h"
#include "StepRunner.h"

#include <optional>
#include <utility>
#include <vector>

namespace quillbox {

// Compare: an entry of one of the lists.
struct EntryRef {
    ListId list = ListId::Patches;
    qsizetype index = -1;
    friend bool operator==(const EntryRef&, const EntryRef&) = default;
};

// Twins (the marks of the lines, their tool tips, "Select Duplicates") and the comparison of two
// entries with its "Take →".
class TwinCommands : private CommandBase {
public:
    TwinCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, ShellView& shell);

    unsigned LineTwinKinds(ListId list, qsizetype index) const;
    std::optional<unsigned> LineTwinKindsIfCounted(ListId list, qsizetype index) const;
    QString LineTwinToolTip(ListId list, qsizetype index) const;
    std::vector<qsizetype> DuplicatePositions() const;
    void SelectDuplicates();

    std::optional<std::pair<EntryRef, EntryRef>> SelectedPairToCompare() const;
    bool EntryExists(const EntryRef& entry) const;
    PatchComparison Compare(const EntryRef& left, const EntryRef& right) const;
    QString EntryLabel(const EntryRef& entry) const;
    QString EntryDescription(const EntryRef& entry) const;
    void TakeParameter(const EntryRef& from, qsizetype libIndex, BoundField field);

private:
    ShellView& shell_;
};

} // namespace quillbox
