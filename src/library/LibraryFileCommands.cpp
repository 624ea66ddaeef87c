// The File menu: load, save, save as, both imports and the export.
#include "DescriptionFile.h"
#include "FileAccess.h"
#include "LibraryController.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchList.h"

#include <exception>

namespace quillbox {

namespace {

const QString CancelDescription = QStringLiteral("Cancelled: no file was chosen.");
const QString NotValidLibrary = QStringLiteral("Not a valid Library");

QString Caption(const QString& appTitle, const QString& path) {
    return appTitle + QStringLiteral("   ") + path;
}

} // namespace

bool LibraryController::RunFileCommand(const std::function<void()>& body) {
    shell_.SetBusy(true);
    QString failure;
    try {
        body();
        shell_.SetBusy(false);
        return true;
    } catch (const FileError& e) {
        failure = e.description;
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    shell_.SetBusy(false);
    shell_.ShowMessage(failure, MessageStyle::Plain);
    return false;
}

QString LibraryController::AskPathOrCancel(const FileDialogRequest& request) {
    const std::optional<QString> path = shell_.AskPath(request);
    if (!path || path->isEmpty())
        throw FileError{CancelErrorNumber, QString(), CancelDescription};
    return *path;
}

bool LibraryController::ConfirmReplace(const QString& path) {
    if (!FileExists(path))
        return true;
    return shell_.AskYesNo(path + QStringLiteral(" already exists.\nDo you want to replace it?"), appTitle_);
}

std::optional<QByteArray> LibraryController::ExistingSideFile(const QString& sideFilePath) {
    // The side file is written over what it holds now, so that its other sections and keys stay;
    // one that exists but cannot be read fails the save before anything is written.
    if (FileExists(sideFilePath))
        return ReadFileAsString(sideFilePath);
    return std::nullopt;
}

std::optional<QByteArray> LibraryController::SideFileFor(const std::optional<QByteArray>& existing,
                                                         const QStringList& descriptions, qsizetype count) {
    if (descriptions.size() > count)
        return BuildSideFile(existing, descriptions, count);
    QStringList padded = descriptions;
    padded.resize(count + 1);
    return BuildSideFile(existing, padded, count);
}

void LibraryController::RecoverInterruptedSave(const QString& path, bool saving) {
    bool foreign = false;
    const std::optional<QString> report = LibraryPairFile(path, Versions()).Recover(&foreign);
    // A save that finds a record not its own refuses with a message of its own that says why.
    if (report && !(saving && foreign)) {
        shell_.SetBusy(false);
        shell_.ShowMessage(*report, MessageStyle::Plain);
        shell_.SetBusy(true);
    }
}

QString LibraryController::WriteLibraryFiles(const QString& libPath) {
    if (libPath.isEmpty())
        throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                        QStringLiteral("Error: Cannot open the file: ")};
    RecoverInterruptedSave(libPath, true);
    const QByteArray libBytes = EncodeLibrary(state_.LibraryData);
    const QString sidePath = SideFilePath(libPath);
    const std::optional<QByteArray> oldSide = ExistingSideFile(sidePath);
    const std::optional<QByteArray> sideBytes =
        SideFileFor(oldSide, state_.DescArray, ListCount(ListId::Library));
    return SavePair(libPath, libBytes, sideBytes);
}

QString LibraryController::SavePair(const QString& libPath, const QByteArray& libBytes,
                                    const std::optional<QByteArray>& sideBytes) {
    // Both files are prepared before either replaces its old version; the pair replaced is kept as
    // an earlier version only once the save is complete.
    const QString versionProblem = LibraryPairFile(libPath, Versions()).Save(libBytes, sideBytes);
    if (versionProblem.isEmpty())
        return {};
    return libPath +
           QStringLiteral(
               " was saved, but the version it replaced could not be kept as an earlier version: ") +
           versionProblem;
}

// ---------------------------------------------------------------------------------------------
// Load

bool LibraryController::OfferToSave() {
    if (!state_.LibChanged || !state_.LibraryLoaded)
        return true;
    switch (shell_.AskSaveQuestion()) {
    case SaveAnswer::Yes:
        return SaveLib();
    case SaveAnswer::No:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void LibraryController::LoadLib() {
    if (!OfferToSave())
        return;
    RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Load Library File");
        request.filter = LibraryFileFilter();
        request.readOnly = true;
        request.kind = FileKind::Library;
        LoadLibBody(AskPathOrCancel(request));
    });
}

void LibraryController::LoadLibFromPath(const QString& path) {
    if (!OfferToSave())
        return;
    RunFileCommand([this, &path] { LoadLibBody(path); });
}

void LibraryController::LoadLibBody(const QString& path) {
    const QString libPath = ApplyLibraryExtension(path);
    RecoverInterruptedSave(libPath);
    // Only a name where nothing exists makes a new library; an existing file is never written here.
    const bool created = !FileExists(libPath);
    if (created)
        WriteToFile(libPath, QByteArray(1, LibraryFileMarker), 0);
    // Taken before the read: a change between the two is then seen as a change on disk, never missed.
    const PairIdentity identity = PairIdentityOf(libPath);
    const QByteArray content = ReadFileAsString(libPath);
    if (!IsValidLibrary(content)) {
        shell_.SetBusy(false);
        shell_.ShowMessage(NotValidLibrary, MessageStyle::Plain);
        return;
    }
    const QString descPath = SideFilePath(libPath);
    // Every description is read from one parse of the side file. A side file that exists but cannot
    // be read leaves the descriptions empty; the user is told, and a save then refuses to write over
    // it rather than lose what it holds.
    DescriptionReader reader;
    QString sideFileProblem;
    if (FileExists(descPath)) {
        try {
            reader = DescriptionReader::FromBytes(ReadFileAsString(descPath));
        } catch (const FileError& e) {
            sideFileProblem = e.description;
        }
    }

    // Changes the user chose not to save before this load are given up: no recovery file for them.
    if (state_.LibraryLoaded && state_.LibChanged)
        ForgetUnsaved(state_.LibFilePath);
    const QByteArray store = DecodeLibrary(content);
    doc_.Open(libPath, descPath, store, reader.DescArray(EntryCount(store)));
    shell_.SetCaption(Caption(appTitle_, path));
    RefillLibList();
    panes_.SetLabelToolTip(ListId::Library, state_.LibFileName);
    shell_.SetFileCommandsEnabled(true);
    const qsizetype count = ListCount(ListId::Library);
    diskIdentity_ = identity;
    reportedIdentity_ = identity;
    // The panel may still show an entry of the library that was open before.
    ShowNothingEditable();
    shell_.LibraryFileUsed(libPath);
    ShowHistory();
    shell_.SetModified(false);
    shell_.ShowStatus(created ? QString(QStringLiteral("Created the new library ") + ShortPath(libPath))
                             : QString(QStringLiteral("Loaded ") + Patches(count) + QStringLiteral(" from ") +
                                       ShortPath(libPath)));
    if (!sideFileProblem.isEmpty()) {
        shell_.SetBusy(false);
        shell_.ShowMessage(sideFileProblem, MessageStyle::Plain);
    }
    OfferRecovery(libPath);
}

// ---------------------------------------------------------------------------------------------
// Save

bool LibraryController::SaveLib() {
    QString versionProblem;
    doc_.EndTypingRun();
    if (bool savedAs = false; !ConfirmChangedOnDisk(savedAs))
        return savedAs && !state_.LibChanged;
    const PairIdentity atStart = PairIdentityOf(state_.LibFilePath);
    const bool saved = RunFileCommand([this, &versionProblem] {
        versionProblem = WriteLibraryFiles(state_.LibFilePath);
        RecordDiskIdentity(state_.LibFilePath);
        ForgetUnsaved(state_.LibFilePath);
        doc_.Saved(state_.LibFilePath, state_.DescFilePath);
        shell_.SetModified(false);
        shell_.ShowStatus(QStringLiteral("Saved ") + Patches(ListCount(ListId::Library)) +
                         QStringLiteral(" to ") + ShortPath(state_.LibFilePath));
        shell_.LibraryFileUsed(state_.LibFilePath);
    });
    if (saved && !versionProblem.isEmpty())
        shell_.ShowMessage(versionProblem, MessageStyle::Plain);
    // A save that failed after it had linked the old files (its second names of them) changed only
    // their change time: the pair is still the one loaded, and the next Save need not ask about it.
    const PairIdentity now = PairIdentityOf(state_.LibFilePath);
    if (!saved && atStart == diskIdentity_ && now.library.SameApartFromChange(atStart.library) &&
        now.side.SameApartFromChange(atStart.side))
        diskIdentity_ = reportedIdentity_ = now;
    return saved;
}

void LibraryController::SaveAsLib() {
    doc_.EndTypingRun();
    RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Save Library File");
        request.filter = LibraryFileFilter();
        request.readOnly = false;
        request.forSaving = true;
        request.kind = FileKind::Library;
        // A name to start from makes it a Save dialog: the command writes a file.
        request.fileName =
            state_.LibFileName.isEmpty() ? DefaultLibraryFileName() : state_.LibFileName;
        const QString libPath = ApplyLibraryExtension(AskPathOrCancel(request));
        if (!ConfirmReplace(libPath))
            return;
        const QString versionProblem = WriteLibraryFiles(libPath);
        RecordDiskIdentity(libPath);
        // The changes are saved, under the new name: the old name's recovery file goes.
        if (state_.LibraryLoaded)
            ForgetUnsaved(state_.LibFilePath);
        // The paths change only once the files are written.
        doc_.Saved(libPath, SideFilePath(libPath));
        panes_.SetLabelToolTip(ListId::Library, state_.LibFileName);
        // The caption names the file that "Save (Library) " writes from now on.
        shell_.SetCaption(Caption(appTitle_, libPath));
        shell_.SetBusy(false);
        shell_.ShowMessage(libPath + QStringLiteral(" saved"), MessageStyle::Plain);
        shell_.SetModified(false);
        shell_.ShowStatus(QStringLiteral("Saved ") + Patches(ListCount(ListId::Library)) +
                         QStringLiteral(" to ") + ShortPath(libPath));
        shell_.LibraryFileUsed(libPath);
        if (!versionProblem.isEmpty())
            shell_.ShowMessage(versionProblem, MessageStyle::Plain);
    });
}

// ---------------------------------------------------------------------------------------------
// Imports and export

void LibraryController::ImportLibrary() {
    RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Import Library");
        request.filter = LibraryFileFilter();
        request.readOnly = true;
        request.kind = FileKind::Library;
        const QString libPath = ApplyLibraryExtension(AskPathOrCancel(request));
        RecoverInterruptedSave(libPath);
        const QByteArray content = ReadFileAsString(libPath);
        if (!IsValidLibrary(content)) {
            shell_.SetBusy(false);
            shell_.ShowMessage(NotValidLibrary, MessageStyle::Plain);
            return;
        }
        ShowImportedPatches(DecodeLibrary(content), libPath);
    });
}

void LibraryController::ImportPatches() {
    RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Import PS02PatchFile");
        request.filter = PatchOrAnyFileFilter();
        request.readOnly = true;
        request.kind = FileKind::PatchFile;
        ImportPatchesBody(AskPathOrCancel(request));
    });
}

void LibraryController::ImportPatchesFromPath(const QString& path) {
    RunFileCommand([this, &path] { ImportPatchesBody(path); });
}

void LibraryController::ImportPatchesBody(const QString& path) {
    // The file is read before anything changes, so a failure leaves the patches list as it was.
    RecoverInterruptedSave(path);
    ShowImportedPatches(ReadFileAsString(path), path);
}

void LibraryController::ShowImportedPatches(QByteArray patches, const QString& path) {
    doc_.EndTypingRun();
    session_.PatchesData = std::move(patches);
    session_.PatchesFilePath = path;
    session_.PatchesDescFilePath = SideFilePath(path);
    // The title keeps naming the file "Save (Library) " writes; the imported file is named in the
    // patches list's heading and the status line.
    if (state_.LibraryLoaded)
        shell_.SetCaption(Caption(appTitle_, state_.LibFilePath));
    RefillPatchesList();
    // A patch of the list that was replaced is no longer there to show.
    if (session_.ActiveList == ActiveListPatches)
        ShowNothingEditable();
    session_.PatchesFileName = GetFileName(path);
    panes_.SetLabelToolTip(ListId::Patches, session_.PatchesFileName);
    shell_.ShowStatus(QStringLiteral("Imported ") + Patches(ListCount(ListId::Patches)) +
                     QStringLiteral(" from ") + ShortPath(path) + ImportAccounting());
}

void LibraryController::ExportLibrary() {
    ExportImages(state_.LibraryData, state_.DescArray, ListCount(ListId::Library));
}

void LibraryController::ExportImages(const QByteArray& images, const QStringList& descriptions,
                                     qsizetype count) {
    RunFileCommand([&] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Export PS02PatchFile");
        request.filter = PatchFileFilter();
        request.readOnly = false;
        request.forSaving = true;
        request.kind = FileKind::PatchFile;
        request.fileName = PatchExportFileName(state_.LibFileName);
        const QString path = ApplyPatchFileExtension(AskPathOrCancel(request));
        RecoverInterruptedSave(path);
        if (!ConfirmReplace(path))
            return;
        // A device patch file holds the bare images in list order; the descriptions go to its side
        // file, from where "Import PS02" reads them back.
        const QString sidePath = SideFilePath(path);
        const std::optional<QByteArray> sideBytes =
            SideFileFor(ExistingSideFile(sidePath), descriptions, count);
        LibraryPairFile(path, Versions()).Save(images, sideBytes);
        // What went to the device is the common past when its patch file comes back; a record that
        // cannot be kept costs the export nothing.
        QString recordProblem;
        if (state_.LibraryLoaded && !state_.LibFilePath.isEmpty()) {
            try {
                Versions().KeepExport(state_.LibFilePath,
                                      {images, SideFileFor(std::nullopt, descriptions, count)});
            } catch (const FileError& e) {
                recordProblem = QStringLiteral("; no export record kept: ") + e.description;
            }
        }
        shell_.SetBusy(false);
        shell_.ShowMessage(path + QStringLiteral(" saved"), MessageStyle::Plain);
        shell_.ShowStatus(QStringLiteral("Exported ") + Patches(count) + QStringLiteral(" to ") +
                         ShortPath(path) + recordProblem);
    });
}

void LibraryController::ExportSelected() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    if (selected.isEmpty()) {
        shell_.ShowStatus(QStringLiteral("Nothing exported") +
                         QStringLiteral(": no library patch is selected"));
        return;
    }
    const QByteArray& library = state_.LibraryData;
    QByteArray images;
    images.reserve(selected.size() * PatchImageSize);
    QStringList descriptions{QString()};
    descriptions.reserve(selected.size() + 1);
    for (const qsizetype k : selected) {
        images.append(EntryView(library, k));
        descriptions.append(state_.DescArray.value(k + 1));
    }
    ExportImages(images, descriptions, selected.size());
}

} // namespace quillbox
