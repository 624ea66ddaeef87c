#include "LibraryController.h"

#include "DescriptionFile.h"
#include "PatchList.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <utility>

namespace quillbox {

LibraryController::LibraryController(LibraryView& view, QString appTitle)
    : LibraryController(view, view, std::move(appTitle)) {}

LibraryController::LibraryController(PanesView& panes, ShellView& shell, QString appTitle)
    : panes_(panes), shell_(shell), appTitle_(std::move(appTitle)) {}

void LibraryController::SetClock(Clock clock) {
    clock_ = std::move(clock);
}

void LibraryController::SetRandomSource(ByteSource source) {
    random_ = std::move(source);
}

qsizetype LibraryController::ListCount(ListId list) const {
    return EntryCount(list == ListId::Library ? state_.LibraryData : session_.PatchesData);
}

QString LibraryController::ListLine(ListId list, qsizetype index) const {
    const QByteArray& store = list == ListId::Library ? state_.LibraryData : session_.PatchesData;
    if (index < 0 || index >= EntryCount(store))
        return {};
    return PatchListLine(store, index);
}

void LibraryController::Startup() {
    session_.DetailsEnabled = false;
    panes_.EnableDetails(false);
    doc_.Restart();
    shell_.SetFileCommandsEnabled(false);
    shell_.SetModified(false);
    ShowHistory();
}

// ---------------------------------------------------------------------------------------------
// Description array

bool LibraryController::ModifyDescArray(qint32 arrayNr, qint32 arrayMode, const QString& descriptionText) {
    return doc_.ModifyDescArray(arrayNr, arrayMode, descriptionText);
}

// ---------------------------------------------------------------------------------------------
// Lists and selection

void LibraryController::RefillLibList(qsizetype select, const EntryChange* change) {
    if (change)
        panes_.ListEntriesChanged(ListId::Library, *change);
    else
        panes_.RefillList(ListId::Library);
    // The patches list's marks tell about the library's entries too.
    panes_.RefreshListMarks();
    const qsizetype count = ListCount(ListId::Library);
    panes_.SetListToolTip(ListId::Library, PatchCountToolTip(count));
    QString error;
    if (StoreHasUnreadableName(state_.LibraryData, &error))
        shell_.ShowMessage(QStringLiteral("StringToPatchName: ") + error, MessageStyle::Plain);
    session_.LibSelection = -1;
    session_.LibSelected.clear();
    panes_.SelectListLine(ListId::Library, -1);
    if (select >= 0 && select < count)
        SelectLibraryLine(select);
}

void LibraryController::RefillPatchesList() {
    panes_.RefillList(ListId::Patches);
    panes_.SetListToolTip(ListId::Patches, PatchCountToolTip(ListCount(ListId::Patches)));
    QString error;
    if (StoreHasUnreadableName(session_.PatchesData, &error))
        shell_.ShowMessage(QStringLiteral("StringToPatchName: ") + error, MessageStyle::Plain);
    session_.PatchesSelection = -1;
    session_.PatchesSelected.clear();
    panes_.SelectListLine(ListId::Patches, -1);
}

void LibraryController::SelectLibraryLine(qsizetype index) {
    session_.LibSelection = index;
    session_.LibSelected.clear();
    panes_.SelectListLine(ListId::Library, index);
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryController::LibraryClicked(qsizetype index) {
    doc_.EndTypingRun();
    if (index < 0 || index >= ListCount(ListId::Library)) {
        index = -1;
        panes_.SelectListLine(ListId::Library, -1);
    }
    session_.LibSelection = index;
    session_.LibSelected.clear();
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryController::PatchesClicked(qsizetype index) {
    doc_.EndTypingRun();
    if (index < 0 || index >= ListCount(ListId::Patches)) {
        index = -1;
        panes_.SelectListLine(ListId::Patches, -1);
    }
    session_.PatchesSelection = index;
    session_.PatchesSelected.clear();
    session_.ActiveList = ActiveListPatches;
    SelectPatch(false);
}

void LibraryController::SelectPatch(bool fromLibrary) {
    const qsizetype index = fromLibrary ? session_.LibSelection : session_.PatchesSelection;
    if (index < 0)
        return;
    session_.PatchIndex = index;
    session_.CurrentPatch = PatchImage::FromStore(fromLibrary ? state_.LibraryData : session_.PatchesData, index);
    panes_.ShowDetails(ShowPatchDetails(session_.CurrentPatch));
    session_.DetailsEnabled = fromLibrary;
    panes_.EnableDetails(fromLibrary);

    QString text;
    if (fromLibrary) {
        if (index + 1 < state_.DescArray.size())
            text = state_.DescArray.at(index + 1);
    } else {
        text = PatchDescription(index);
    }
    panes_.SetDescriptionText(text);
    // Setting the box's text runs its change handling, as a typed change would; for an imported
    // patch that handling stores nothing.
    if (fromLibrary)
        DescriptionChanged(text);
}

namespace {

// What tells one version of a file from another: its size, modification time and identity. Empty
// when there is nothing to read at the path.
QByteArray FileStamp(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QByteArray::number(qint64(info.st_size)) + ' ' + QByteArray::number(qint64(info.st_mtim.tv_sec)) +
           '.' + QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ' ' +
           QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino));
#else
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return QByteArray::number(info.size()) + ' ' +
           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
#endif
}

} // namespace

QString LibraryController::PatchDescription(qsizetype p) const {
    if (session_.PatchesDescFilePath.isEmpty())
        return {};
    // The file is still read when the description is needed: a side file changed since the last
    // read is read again.
    const QByteArray stamp = FileStamp(session_.PatchesDescFilePath);
    if (stamp.isEmpty())
        return {};
    if (patchesDesc_.path != session_.PatchesDescFilePath || patchesDesc_.stamp != stamp) {
        patchesDesc_.path = session_.PatchesDescFilePath;
        patchesDesc_.stamp = stamp;
        patchesDesc_.reader = DescriptionReader(session_.PatchesDescFilePath);
    }
    return patchesDesc_.reader.Description(p + 1);
}

bool LibraryController::PanelShowsLibraryEntry() const {
    return session_.DetailsEnabled && session_.PatchIndex >= 0 && session_.PatchIndex < ListCount(ListId::Library);
}

void LibraryController::ClearDescriptionBox() {
    session_.DescLock = true;
    panes_.SetDescriptionText(QString());
    session_.DescLock = false;
}

void LibraryController::ShowNothingEditable() {
    session_.PatchIndex = -1;
    session_.DetailsEnabled = false;
    panes_.EnableDetails(false);
    panes_.ShowDetails(DetailValues{});
    ClearDescriptionBox();
}

void LibraryController::ShowSelectionOrNothing() {
    if (session_.LibSelection < 0)
        ShowNothingEditable();
}

void LibraryController::RefreshPanelIfShowing(qsizetype libIndex, bool withDescription) {
    if (!PanelShowsLibraryEntry() || session_.PatchIndex != libIndex)
        return;
    session_.CurrentPatch = PatchImage::FromStore(state_.LibraryData, libIndex);
    panes_.ShowDetails(ShowPatchDetails(session_.CurrentPatch));
    if (withDescription && libIndex + 1 < state_.DescArray.size()) {
        const QString text = state_.DescArray.at(libIndex + 1);
        panes_.SetDescriptionText(text);
        DescriptionChanged(text);
    }
}

// ---------------------------------------------------------------------------------------------
// Details panel

void LibraryController::ApplyDetailChange() {
    if (session_.PatchIndex < 0)
        return;
    doc_.SetEntry(session_.PatchIndex, session_.CurrentPatch.Bytes());
}

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

void LibraryController::ApplyBoundChange(BoundField field, int value) {
    doc_.EndTypingRun();
    // Only a library entry that the panel shows can be changed; an imported patch, or an index
    // left over from a library that no longer has that entry, changes nothing.
    if (!PanelShowsLibraryEntry())
        return;
    const bool all = session_.ChangeAll;
    // Under "Change  Selected" every selected library patch takes the change.
    const QList<qsizetype> selected = all ? QList<qsizetype>() : Selection(ListId::Library);
    const bool several = selected.size() > 1;
    const QString line = LibLine(session_.PatchIndex);
    const QString target = all       ? Patches(ListCount(ListId::Library))
                           : several ? Patches(selected.size())
                                     : line;
    const bool module = field == BoundField::DriveModule || field == BoundField::CabModule;
    const QString change = FieldChange(field, value, false);
    AsStep([&] {
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

void LibraryController::WriteBoundChange(BoundField field, int value, const QList<qsizetype>& selected) {
    const PatchImage keptPatch = session_.CurrentPatch;
    const qsizetype keptIndex = session_.PatchIndex;
    auto write = [&](qsizetype i) {
        session_.PatchIndex = i;
        session_.CurrentPatch = PatchImage::FromStore(state_.LibraryData, i);
        WriteBoundField(session_.CurrentPatch, field, value);
        ApplyDetailChange();
    };
    if (session_.ChangeAll) {
        for (qsizetype i = 0; i < ListCount(ListId::Library); ++i)
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

void LibraryController::DriveTypePicked(int entry) {
    ApplyBoundChange(BoundField::DriveType, entry);
}

void LibraryController::CabTypePicked(int entry) {
    ApplyBoundChange(BoundField::CabType, entry);
}

void LibraryController::CabSpeakerPicked(int entry) {
    ApplyBoundChange(BoundField::CabSpeaker, entry);
}

// The press comes before the box toggles, so the stored bit becomes the state it is about to take.
void LibraryController::DriveMousePressed(bool checkedAtPress) {
    ApplyBoundChange(BoundField::DriveModule, checkedAtPress ? 0 : 1);
}

void LibraryController::CabMousePressed(bool checkedAtPress) {
    ApplyBoundChange(BoundField::CabModule, checkedAtPress ? 0 : 1);
}

void LibraryController::SetChangeAll(bool all) {
    session_.ChangeAll = all;
}

// ---------------------------------------------------------------------------------------------
// Description and name boxes

void LibraryController::DescriptionChanged(const QString& text) {
    if (session_.ActiveList != ActiveListLibrary || session_.DescLock)
        return;
    const qsizetype element = session_.PatchIndex + 1;
    // Only the element of the library entry the panel shows is written: never element 0 through an
    // index of -1, never an entry of the patches list, and the array never grows here.
    if (PanelShowsLibraryEntry() && element < state_.DescArray.size() &&
        state_.DescArray.at(element) != text) {
        doc_.SetDescription(session_.PatchIndex, text);
    }
    panes_.SetDescriptionCounter(QString::number(text.size()) + QStringLiteral("/255"));
}

void LibraryController::DescriptionEdited(const QString& text) {
    // Each run of typing on one entry is one step.
    const qsizetype entry = session_.PatchIndex;
    AsStep(
        [&] {
            DescriptionChanged(text);
            return StepOutcome{QStringLiteral("Typing in ") + LibLine(entry), {}, {}};
        },
        entry + 1);
}

void LibraryController::DescriptionClicked() {
    doc_.MarkChanged();
    shell_.SetModified(true);
    KeepUnsaved();
}

void LibraryController::NameKeyReleased(int keyCode, int shift) {
    // The name box is bound to no patch: a key release changes nothing.
    Q_UNUSED(keyCode);
    Q_UNUSED(shift);
}

// ---------------------------------------------------------------------------------------------
// Closing

bool LibraryController::QueryClose() {
    if (!OfferToSave())
        return false;
    // A clean close: saved, or the changes given up. Either way there is nothing left to recover.
    if (state_.LibraryLoaded)
        ForgetUnsaved(state_.LibFilePath);
    return true;
}

} // namespace quillbox
