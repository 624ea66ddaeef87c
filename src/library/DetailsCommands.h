#pragma once

#include "CommandBase.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryView.h"
#include "StepRunner.h"

namespace quillbox {

// The details panel's picks and presses, "Change All", and the description and name boxes. Each
// change of the library is one step; the panel shows through the lists.
class DetailsCommands : private CommandBase {
public:
    DetailsCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, ShellView& shell);

    void DriveTypePicked(int entry);
    void CabTypePicked(int entry);
    void CabSpeakerPicked(int entry);
    void DriveMousePressed(bool checkedAtPress);
    void CabMousePressed(bool checkedAtPress);
    void SetChangeAll(bool all);

    // Description and name boxes. `text` uses CR LF line breaks.
    void DescriptionEdited(const QString& text);
    void DescriptionClicked();
    void NameKeyReleased(int keyCode, int shift);

private:
    void ApplyBoundChange(BoundField field, int value);
    void WriteBoundChange(BoundField field, int value, const QList<qsizetype>& selected);
    void ApplyDetailChange();

    ShellView& shell_;
};

} // namespace quillbox
