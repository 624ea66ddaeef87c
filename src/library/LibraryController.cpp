#include "LibraryController.h"

#include <utility>

namespace quillbox {

LibraryController::LibraryController(LibraryView& view, QString appTitle)
    : LibraryController(view, view, std::move(appTitle)) {}

LibraryController::LibraryController(PanesView& panes, ShellView& shell, QString appTitle)
    : doc_([messages = &shell](const QString& text) { messages->ShowMessage(text, MessageStyle::Plain); }),
      lists_(doc_, panes, shell), steps_(doc_, lists_, panes, shell),
      files_(doc_, lists_, steps_, recovery_, panes, shell, appTitle),
      recovery_(doc_, lists_, steps_, files_, shell),
      imports_(doc_, lists_, steps_, files_, panes, shell, appTitle), transfer_(doc_, lists_, steps_),
      details_(doc_, lists_, steps_, shell), entries_(doc_, lists_, steps_, details_, panes, shell),
      reconcile_(doc_, lists_, steps_, files_, shell), twins_(doc_, lists_, steps_, shell) {}

void LibraryController::SetClock(Clock clock) {
    files_.SetClock(clock);
    entries_.SetClock(std::move(clock));
}

void LibraryController::SetRandomSource(ByteSource source) {
    entries_.SetRandomSource(std::move(source));
}

qsizetype LibraryController::ListCount(ListId list) const {
    return lists_.ListCount(list);
}

QString LibraryController::ListLine(ListId list, qsizetype index) const {
    return lists_.ListLine(list, index);
}

void LibraryController::Startup() {
    files_.Startup();
}

void LibraryController::LoadLib() {
    files_.LoadLib();
}

bool LibraryController::SaveLib() {
    return files_.SaveLib();
}

void LibraryController::SaveAsLib() {
    files_.SaveAsLib();
}

void LibraryController::ImportLibrary() {
    imports_.ImportLibrary();
}

void LibraryController::ImportPatches() {
    imports_.ImportPatches();
}

void LibraryController::ExportLibrary() {
    imports_.ExportLibrary();
}

void LibraryController::ExportSelected() {
    imports_.ExportSelected();
}

void LibraryController::LoadLibFromPath(const QString& path) {
    files_.LoadLibFromPath(path);
}

void LibraryController::ImportPatchesFromPath(const QString& path) {
    imports_.ImportPatchesFromPath(path);
}

void LibraryController::CopySelectedPatch() {
    transfer_.CopySelectedPatch();
}

void LibraryController::ReplaceSelectedPatch() {
    transfer_.ReplaceSelectedPatch();
}

void LibraryController::AppendDifferentPatches() {
    transfer_.AppendDifferentPatches();
}

void LibraryController::AppendAllPatches() {
    transfer_.AppendAllPatches();
}

void LibraryController::UpdateLibWithSelected() {
    transfer_.UpdateLibWithSelected();
}

void LibraryController::UpdateAllPatchesInLib() {
    transfer_.UpdateAllPatchesInLib();
}

void LibraryController::PatchesDoubleClicked() {
    transfer_.PatchesDoubleClicked();
}

void LibraryController::MoveUp() {
    entries_.MoveUp();
}

void LibraryController::MoveDown() {
    entries_.MoveDown();
}

void LibraryController::ClonePatch() {
    entries_.ClonePatch();
}

void LibraryController::DeleteSelected() {
    entries_.DeleteSelected();
}

void LibraryController::DeleteAll() {
    entries_.DeleteAll();
}

void LibraryController::RandomModification() {
    entries_.RandomModification();
}

void LibraryController::SortByName() {
    entries_.SortByName();
}

bool LibraryController::RenameEntry(qsizetype index, const QString& name) {
    return entries_.RenameEntry(index, name);
}

bool LibraryController::TagSelected(const QString& tag, bool add) {
    return entries_.TagSelected(tag, add);
}

void LibraryController::LibraryClicked(qsizetype index) {
    lists_.LibraryClicked(index);
}

void LibraryController::PatchesClicked(qsizetype index) {
    lists_.PatchesClicked(index);
}

void LibraryController::SelectPatch(bool fromLibrary) {
    lists_.SelectPatch(fromLibrary);
}

void LibraryController::SelectionHidden(ListId list) {
    lists_.SelectionHidden(list);
}

void LibraryController::LibrarySelected(QList<qsizetype> positions, qsizetype current) {
    lists_.LibrarySelected(std::move(positions), current);
}

void LibraryController::PatchesSelected(QList<qsizetype> positions, qsizetype current) {
    lists_.PatchesSelected(std::move(positions), current);
}

QList<qsizetype> LibraryController::Selection(ListId list) const {
    return lists_.Selection(list);
}

void LibraryController::MoveEntriesTo(QList<qsizetype> positions, qsizetype before) {
    entries_.MoveEntriesTo(std::move(positions), before);
}

void LibraryController::CopyPatchesTo(QList<qsizetype> positions, qsizetype before) {
    entries_.CopyPatchesTo(std::move(positions), before);
}

void LibraryController::CopyImagesIntoLibrary(const QByteArray& images, const QStringList& descriptions,
                                              qsizetype before) {
    entries_.CopyImagesIntoLibrary(images, descriptions, before);
}

void LibraryController::DriveTypePicked(int entry) {
    details_.DriveTypePicked(entry);
}

void LibraryController::CabTypePicked(int entry) {
    details_.CabTypePicked(entry);
}

void LibraryController::CabSpeakerPicked(int entry) {
    details_.CabSpeakerPicked(entry);
}

void LibraryController::DriveMousePressed(bool checkedAtPress) {
    details_.DriveMousePressed(checkedAtPress);
}

void LibraryController::CabMousePressed(bool checkedAtPress) {
    details_.CabMousePressed(checkedAtPress);
}

void LibraryController::SetChangeAll(bool all) {
    details_.SetChangeAll(all);
}

void LibraryController::DescriptionEdited(const QString& text) {
    details_.DescriptionEdited(text);
}

void LibraryController::DescriptionClicked() {
    details_.DescriptionClicked();
}

void LibraryController::NameKeyReleased(int keyCode, int shift) {
    details_.NameKeyReleased(keyCode, shift);
}

QList<EarlierVersion> LibraryController::LibEarlierVersions() const {
    return files_.LibEarlierVersions();
}

void LibraryController::LoadEarlierVersion(const QString& id) {
    files_.LoadEarlierVersion(id);
}

void LibraryController::ReconcileWith() {
    reconcile_.ReconcileWith();
}

ReconcileSide LibraryController::LibrarySide() const {
    return reconcile_.LibrarySide();
}

ReconcileSide LibraryController::ReadReconcileSide(const QString& path) {
    return reconcile_.ReadReconcileSide(path);
}

ReconcileSide LibraryController::EarlierVersionSide(const QString& id) const {
    return reconcile_.EarlierVersionSide(id);
}

QList<EarlierVersion> LibraryController::LibExportRecords() const {
    return reconcile_.LibExportRecords();
}

ReconcileSide LibraryController::ExportRecordSide(const QString& id) const {
    return reconcile_.ExportRecordSide(id);
}

bool LibraryController::ApplyReconcile(const QString& name, const ReconcileSide& left,
                                       const ReconcileSide& right, const std::vector<ReconcileRow>& rows,
                                       const std::vector<RowChoice>& choices) {
    return reconcile_.ApplyReconcile(name, left, right, rows, choices);
}

void LibraryController::RecoverAtStart() {
    recovery_.RecoverAtStart();
}

QString LibraryController::RecoveredDifferences(const UnsavedWork& work) const {
    return recovery_.RecoveredDifferences(work);
}

void LibraryController::CheckChangedOnDisk() {
    recovery_.CheckChangedOnDisk();
}

unsigned LibraryController::LineTwinKinds(ListId list, qsizetype index) const {
    return twins_.LineTwinKinds(list, index);
}

std::optional<unsigned> LibraryController::LineTwinKindsIfCounted(ListId list, qsizetype index) const {
    return twins_.LineTwinKindsIfCounted(list, index);
}

QString LibraryController::LineTwinToolTip(ListId list, qsizetype index) const {
    return twins_.LineTwinToolTip(list, index);
}

std::vector<qsizetype> LibraryController::DuplicatePositions() const {
    return twins_.DuplicatePositions();
}

void LibraryController::SelectDuplicates() {
    twins_.SelectDuplicates();
}

std::optional<std::pair<LibraryController::EntryRef, LibraryController::EntryRef>>
LibraryController::SelectedPairToCompare() const {
    return twins_.SelectedPairToCompare();
}

bool LibraryController::EntryExists(const EntryRef& entry) const {
    return twins_.EntryExists(entry);
}

PatchComparison LibraryController::Compare(const EntryRef& left, const EntryRef& right) const {
    return twins_.Compare(left, right);
}

QString LibraryController::EntryLabel(const EntryRef& entry) const {
    return twins_.EntryLabel(entry);
}

QString LibraryController::EntryDescription(const EntryRef& entry) const {
    return twins_.EntryDescription(entry);
}

void LibraryController::TakeParameter(const EntryRef& from, qsizetype libIndex, BoundField field) {
    twins_.TakeParameter(from, libIndex, field);
}

std::vector<SetListRow> LibraryController::SetList() const {
    return imports_.SetList();
}

QString LibraryController::SetListTitle() const {
    return imports_.SetListTitle();
}

void LibraryController::ExportSetList() {
    imports_.ExportSetList();
}

bool LibraryController::QueryClose() {
    return files_.QueryClose();
}

void LibraryController::Undo() {
    steps_.Undo();
}

void LibraryController::Redo() {
    steps_.Redo();
}

bool LibraryController::ModifyDescArray(qint32 arrayNr, qint32 arrayMode, const QString& descriptionText) {
    return doc_.ModifyDescArray(arrayNr, arrayMode, descriptionText);
}

QString LibraryController::PatchDescription(qsizetype p) const {
    return lists_.PatchDescription(p);
}

} // namespace quillbox
