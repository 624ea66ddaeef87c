// The details panel's picks and presses, and the description and name boxes.
#include "DetailsCommands.h"

#include "PatchList.h"

namespace quillbox {

namespace {

// How a step and the status line name the change of a bound field.
QString FieldChange(BoundField field, int value, bool forStatus) {
    switch (field) {
    case BoundField::DriveType:
        return forStatus ? QStringLiteral("drive type") : QStringLiteral("Drive type");
    case BoundField::CabType:
        return forStatus ? QStringLiteral("cab type") : QStringLiteral("Cab type");
    case BoundField::CabSpeaker:
        return forStatus ? QStringLiteral("cab speaker") : QStringLiteral("Cab speaker");
    case BoundField::DriveModule:
        return value ? QStringLiteral("Drive on") : QStringLiteral("Drive off");
    case BoundField::CabModule:
        return value ? QStringLiteral("Cab on") : QStringLiteral("Cab off");
    }
    return {};
}

} // namespace

DetailsCommands::DetailsCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps,
                                 ShellView& shell)
    : CommandBase(doc, lists, steps), shell_(shell) {}

// ---------------------------------------------------------------------------------------------
// Details panel

void DetailsCommands::ApplyDetailChange() {
    if (session_.PatchIndex < 0)
        return;
    doc_.SetEntry(session_.PatchIndex, session_.CurrentPatch.Bytes());
}

void DetailsCommands::ApplyBoundChange(BoundField field, int value) {
    doc_.EndTypingRun();
    // Only a library entry that the panel shows can be changed; an imported patch, or an index
    // left over from a library that no longer has that entry, changes nothing.
    if (!lists_.PanelShowsLibraryEntry())
        return;
    const bool all = session_.ChangeAll;
    // Under "Change  Selected" every selected library patch takes the change.
    const QList<qsizetype> selected = all ? QList<qsizetype>() : lists_.Selection(ListId::Library);
    const bool several = selected.size() > 1;
    const QString line = lists_.LibLine(session_.PatchIndex);
    const QString target = all       ? Patches(lists_.ListCount(ListId::Library))
                           : several ? Patches(selected.size())
                                     : line;
    const bool module = field == BoundField::DriveModule || field == BoundField::CabModule;
    const QString change = FieldChange(field, value, false);
    steps_.AsStep([&] {
        WriteBoundChange(field, value, selected);
        return StepOutcome{
            all ? QString(QStringLiteral("Change All: ") + change)
                : QString(QStringLiteral("Change ") + change + QStringLiteral(" of ") + target),
            module ? QString(QStringLiteral("Switched ") + change + QStringLiteral(" for ") + target)
                   : QString(QStringLiteral("Changed the ") + FieldChange(field, value, true) +
                             QStringLiteral(" of ") + target),
            QStringLiteral("Nothing changed: ") +
                (all       ? QStringLiteral("every patch")
                 : several ? QStringLiteral("every selected patch")
                           : line) +
                QStringLiteral(" already had that value")};
    });
}

void DetailsCommands::WriteBoundChange(BoundField field, int value, const QList<qsizetype>& selected) {
    const PatchImage keptPatch = session_.CurrentPatch;
    const qsizetype keptIndex = session_.PatchIndex;
    auto write = [&](qsizetype i) {
        session_.PatchIndex = i;
        session_.CurrentPatch = PatchImage::FromStore(state_.LibraryData, i);
        WriteBoundField(session_.CurrentPatch, field, value);
        ApplyDetailChange();
    };
    if (session_.ChangeAll) {
        for (qsizetype i = 0; i < lists_.ListCount(ListId::Library); ++i)
            write(i);
    } else if (selected.size() > 1) {
        for (const qsizetype i : selected)
            write(i);
    } else {
        write(keptIndex);
    }
    session_.CurrentPatch = keptPatch;
    session_.PatchIndex = keptIndex;
}

void DetailsCommands::DriveTypePicked(int entry) {
    ApplyBoundChange(BoundField::DriveType, entry);
}

void DetailsCommands::CabTypePicked(int entry) {
    ApplyBoundChange(BoundField::CabType, entry);
}

void DetailsCommands::CabSpeakerPicked(int entry) {
    ApplyBoundChange(BoundField::CabSpeaker, entry);
}

// The press comes before the box toggles, so the stored bit becomes the state it is about to take.
void DetailsCommands::DriveMousePressed(bool checkedAtPress) {
    ApplyBoundChange(BoundField::DriveModule, checkedAtPress ? 0 : 1);
}

void DetailsCommands::CabMousePressed(bool checkedAtPress) {
    ApplyBoundChange(BoundField::CabModule, checkedAtPress ? 0 : 1);
}

void DetailsCommands::SetChangeAll(bool all) {
    session_.ChangeAll = all;
}

// ---------------------------------------------------------------------------------------------
// Description and name boxes

void DetailsCommands::DescriptionEdited(const QString& text) {
    // Each run of typing on one entry is one step.
    const qsizetype entry = session_.PatchIndex;
    steps_.AsStep(
        [&] {
            lists_.DescriptionChanged(text);
            return StepOutcome{QStringLiteral("Typing in ") + lists_.LibLine(entry), {}, {}};
        },
        entry + 1);
}

void DetailsCommands::DescriptionClicked() {
    doc_.MarkChanged();
    shell_.SetModified(true);
    steps_.KeepUnsaved();
}

void DetailsCommands::NameKeyReleased(int keyCode, int shift) {
    // The name box is bound to no patch: a key release changes nothing.
    Q_UNUSED(keyCode);
    Q_UNUSED(shift);
}

} // namespace quillbox
