// The File menu: load, save, save as, both imports and the export; earlier versions, kept by every
// save, listed and loaded back as the library being edited; the set list's export; closing.
#include "FileCommands.h"

#include "DescriptionFile.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchList.h"
#include "RecoveryCommands.h"
#include "SafeSave.h"

#include <QFileInfo>
#include <exception>

namespace quillbox {

namespace {

const QString CancelDescription = QStringLiteral("Cancelled: no file was chosen.");
const QString NotValidLibrary = QStringLiteral("Not a valid Library");

QString Caption(const QString& appTitle, const QString& path) {
    return appTitle + QStringLiteral("   ") + path;
}

} // namespace

FileCommands::FileCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps,
                           RecoveryCommands& recovery, PanesView& panes, ShellView& shell, QString appTitle)
    : CommandBase(doc, lists, steps), recovery_(recovery), panes_(panes), shell_(shell),
      appTitle_(std::move(appTitle)) {}

void FileCommands::Startup() {
    session_.DetailsEnabled = false;
    panes_.EnableDetails(false);
    doc_.Restart();
    shell_.SetFileCommandsEnabled(false);
    shell_.SetModified(false);
    steps_.ShowHistory();
}

bool FileCommands::RunFileCommand(const std::function<void()>& body) {
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

QString FileCommands::AskPathOrCancel(const FileDialogRequest& request) {
    const std::optional<QString> path = shell_.AskPath(request);
    if (!path || path->isEmpty())
        throw FileError{CancelErrorNumber, QString(), CancelDescription};
    return *path;
}

QString FileCommands::AskLibraryPathToSave(const QString& title, const QString& fileName) {
    FileDialogRequest request;
    request.dialogTitle = appTitle_ + title;
    request.filter = LibraryFileFilter();
    request.readOnly = false;
    request.forSaving = true;
    request.kind = FileKind::Library;
    // A name to start from makes it a Save dialog: the command writes a file.
    request.fileName = fileName;
    return ApplyLibraryExtension(AskPathOrCancel(request));
}

bool FileCommands::ConfirmReplace(const QString& path) {
    if (!FileExists(path))
        return true;
    return shell_.AskYesNo(path + QStringLiteral(" already exists.\nDo you want to replace it?"), appTitle_);
}

std::optional<QByteArray> FileCommands::ExistingSideFile(const QString& sideFilePath) {
    // The side file is written over what it holds now, so that its other sections and keys stay;
    // one that exists but cannot be read fails the save before anything is written.
    if (FileExists(sideFilePath))
        return ReadFileAsString(sideFilePath);
    return std::nullopt;
}

std::optional<QByteArray> FileCommands::SideFileFor(const std::optional<QByteArray>& existing,
                                                    const QStringList& descriptions, qsizetype count) {
    if (descriptions.size() > count)
        return BuildSideFile(existing, descriptions, count);
    QStringList padded = descriptions;
    padded.resize(count + 1);
    return BuildSideFile(existing, padded, count);
}

void FileCommands::RecoverInterruptedSave(const QString& path, bool saving) {
    bool foreign = false;
    const std::optional<QString> report = LibraryPairFile(path, Versions()).Recover(&foreign);
    // A save that finds a record not its own refuses with a message of its own that says why.
    if (report && !(saving && foreign)) {
        shell_.SetBusy(false);
        shell_.ShowMessage(*report, MessageStyle::Plain);
        shell_.SetBusy(true);
    }
}

QString FileCommands::WriteLibraryFiles(const QString& libPath) {
    if (libPath.isEmpty())
        throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                        QStringLiteral("Error: Cannot open the file: ")};
    RecoverInterruptedSave(libPath, true);
    const QByteArray libBytes = EncodeLibrary(state_.LibraryData);
    const QString sidePath = SideFilePath(libPath);
    const std::optional<QByteArray> oldSide = ExistingSideFile(sidePath);
    const std::optional<QByteArray> sideBytes =
        SideFileFor(oldSide, state_.DescArray, lists_.ListCount(ListId::Library));
    return SavePair(libPath, libBytes, sideBytes);
}

QString FileCommands::SavePair(const QString& libPath, const QByteArray& libBytes,
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

bool FileCommands::OfferToSave() {
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

void FileCommands::LoadLib() {
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

void FileCommands::LoadLibFromPath(const QString& path) {
    if (!OfferToSave())
        return;
    RunFileCommand([this, &path] { LoadLibBody(path); });
}

void FileCommands::LoadLibBody(const QString& path) {
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
        steps_.ForgetUnsaved(state_.LibFilePath);
    const QByteArray store = DecodeLibrary(content);
    doc_.Open(libPath, descPath, store, reader.DescArray(EntryCount(store)));
    shell_.SetCaption(Caption(appTitle_, path));
    lists_.RefillLibList();
    panes_.SetLabelToolTip(ListId::Library, state_.LibFileName);
    shell_.SetFileCommandsEnabled(true);
    const qsizetype count = lists_.ListCount(ListId::Library);
    steps_.DiskIdentity() = identity;
    steps_.ReportedIdentity() = identity;
    // The panel may still show an entry of the library that was open before.
    lists_.ShowNothingEditable();
    shell_.LibraryFileUsed(libPath);
    steps_.ShowHistory();
    shell_.SetModified(false);
    shell_.ShowStatus(created ? QString(QStringLiteral("Created the new library ") + ShortPath(libPath))
                              : QString(QStringLiteral("Loaded ") + Patches(count) +
                                        QStringLiteral(" from ") + ShortPath(libPath)));
    if (!sideFileProblem.isEmpty()) {
        shell_.SetBusy(false);
        shell_.ShowMessage(sideFileProblem, MessageStyle::Plain);
    }
    recovery_.OfferRecovery(libPath);
}

// ---------------------------------------------------------------------------------------------
// Save

bool FileCommands::SaveLib() {
    QString versionProblem;
    doc_.EndTypingRun();
    if (bool savedAs = false; !recovery_.ConfirmChangedOnDisk(savedAs))
        return savedAs && !state_.LibChanged;
    const PairIdentity atStart = PairIdentityOf(state_.LibFilePath);
    const bool saved = RunFileCommand([this, &versionProblem] {
        versionProblem = WriteLibraryFiles(state_.LibFilePath);
        steps_.RecordDiskIdentity(state_.LibFilePath);
        steps_.ForgetUnsaved(state_.LibFilePath);
        doc_.Saved(state_.LibFilePath, state_.DescFilePath);
        shell_.SetModified(false);
        shell_.ShowStatus(QStringLiteral("Saved ") + Patches(lists_.ListCount(ListId::Library)) +
                          QStringLiteral(" to ") + ShortPath(state_.LibFilePath));
        shell_.LibraryFileUsed(state_.LibFilePath);
    });
    if (saved && !versionProblem.isEmpty())
        shell_.ShowMessage(versionProblem, MessageStyle::Plain);
    // A save that failed after it had linked the old files (its second names of them) changed only
    // their change time: the pair is still the one loaded, and the next Save need not ask about it.
    const PairIdentity now = PairIdentityOf(state_.LibFilePath);
    if (!saved && atStart == steps_.DiskIdentity() && now.library.SameApartFromChange(atStart.library) &&
        now.side.SameApartFromChange(atStart.side))
        steps_.DiskIdentity() = steps_.ReportedIdentity() = now;
    return saved;
}

void FileCommands::SaveAsLib() {
    doc_.EndTypingRun();
    RunFileCommand([this] {
        const QString libPath = AskLibraryPathToSave(QStringLiteral(" Save Library File"),
                                                     state_.LibFileName.isEmpty() ? DefaultLibraryFileName()
                                                                                  : state_.LibFileName);
        if (!ConfirmReplace(libPath))
            return;
        const QString versionProblem = WriteLibraryFiles(libPath);
        steps_.RecordDiskIdentity(libPath);
        // The changes are saved, under the new name: the old name's recovery file goes.
        if (state_.LibraryLoaded)
            steps_.ForgetUnsaved(state_.LibFilePath);
        // The paths change only once the files are written.
        doc_.Saved(libPath, SideFilePath(libPath));
        panes_.SetLabelToolTip(ListId::Library, state_.LibFileName);
        // The caption names the file that "Save (Library) " writes from now on.
        shell_.SetCaption(Caption(appTitle_, libPath));
        shell_.SetBusy(false);
        shell_.ShowMessage(libPath + QStringLiteral(" saved"), MessageStyle::Plain);
        shell_.SetModified(false);
        shell_.ShowStatus(QStringLiteral("Saved ") + Patches(lists_.ListCount(ListId::Library)) +
                          QStringLiteral(" to ") + ShortPath(libPath));
        shell_.LibraryFileUsed(libPath);
        if (!versionProblem.isEmpty())
            shell_.ShowMessage(versionProblem, MessageStyle::Plain);
    });
}

// ---------------------------------------------------------------------------------------------
// Imports and export

void FileCommands::ImportLibrary() {
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

void FileCommands::ImportPatches() {
    RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Import PS02PatchFile");
        request.filter = PatchOrAnyFileFilter();
        request.readOnly = true;
        request.kind = FileKind::PatchFile;
        ImportPatchesBody(AskPathOrCancel(request));
    });
}

void FileCommands::ImportPatchesFromPath(const QString& path) {
    RunFileCommand([this, &path] { ImportPatchesBody(path); });
}

void FileCommands::ImportPatchesBody(const QString& path) {
    // The file is read before anything changes, so a failure leaves the patches list as it was.
    RecoverInterruptedSave(path);
    ShowImportedPatches(ReadFileAsString(path), path);
}

void FileCommands::ShowImportedPatches(QByteArray patches, const QString& path) {
    doc_.EndTypingRun();
    session_.PatchesData = std::move(patches);
    session_.PatchesFilePath = path;
    session_.PatchesDescFilePath = SideFilePath(path);
    // The title keeps naming the file "Save (Library) " writes; the imported file is named in the
    // patches list's heading and the status line.
    if (state_.LibraryLoaded)
        shell_.SetCaption(Caption(appTitle_, state_.LibFilePath));
    lists_.RefillPatchesList();
    // A patch of the list that was replaced is no longer there to show.
    if (session_.ActiveList == ActiveListPatches)
        lists_.ShowNothingEditable();
    session_.PatchesFileName = GetFileName(path);
    panes_.SetLabelToolTip(ListId::Patches, session_.PatchesFileName);
    shell_.ShowStatus(QStringLiteral("Imported ") + Patches(lists_.ListCount(ListId::Patches)) +
                      QStringLiteral(" from ") + ShortPath(path) + ImportAccounting());
}

QString FileCommands::ImportAccounting() const {
    const qsizetype count = lists_.ListCount(ListId::Patches);
    const TwinIndex& twins = doc_.Twins();
    qsizetype identical = 0, sameName = 0;
    const std::vector<unsigned> kinds = twins.AllPatchKinds(session_.PatchesData);
    for (qsizetype p = 0; p < count; ++p) {
        if (kinds[size_t(p)] & TwinIdentical)
            ++identical;
        else if (twins.NameInLibrary(session_.PatchesData, p))
            ++sameName;
    }
    return QStringLiteral(": %1 identical to library patches, %2 same name with other settings, %3 new.")
        .arg(identical)
        .arg(sameName)
        .arg(count - identical - sameName);
}

void FileCommands::ExportLibrary() {
    ExportImages(state_.LibraryData, state_.DescArray, lists_.ListCount(ListId::Library));
}

void FileCommands::ExportImages(const QByteArray& images, const QStringList& descriptions, qsizetype count) {
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

void FileCommands::ExportSelected() {
    const QList<qsizetype> selected = lists_.Selection(ListId::Library);
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

// ---------------------------------------------------------------------------------------------
// Earlier versions

EarlierVersions FileCommands::Versions() const {
    return EarlierVersions(versionsFolder_, clock_);
}

QList<EarlierVersion> FileCommands::LibEarlierVersions() const {
    if (!state_.LibraryLoaded || state_.LibFilePath.isEmpty())
        return {};
    return Versions().List(state_.LibFilePath);
}

void FileCommands::LoadEarlierVersion(const QString& id) {
    if (!state_.LibraryLoaded)
        return;
    // Read before the closing question: saving now keeps another version and may prune this one.
    LibraryPair pair;
    if (!RunFileCommand([this, &id, &pair] { pair = Versions().Read(state_.LibFilePath, id); }))
        return;
    if (!IsValidLibrary(pair.library)) {
        shell_.ShowMessage(QStringLiteral("Not a valid Library"), MessageStyle::Plain);
        return;
    }
    if (!OfferToSave())
        return;

    // One step of the history: undo gives back the library as it was before, saved or not.
    steps_.AsStep([&] {
        const QByteArray store = DecodeLibrary(pair.library);
        const DescriptionReader reader =
            pair.side ? DescriptionReader::FromBytes(*pair.side) : DescriptionReader();
        // What is shown is not what the library's files hold until it is saved.
        doc_.Replace(store, reader.DescArray(EntryCount(store)));
        lists_.RefillLibList();
        const qsizetype count = lists_.ListCount(ListId::Library);
        lists_.ShowNothingEditable();
        return StepOutcome{QStringLiteral("Load Earlier Version"),
                           QStringLiteral("Loaded an earlier version of ") + ShortPath(state_.LibFilePath) +
                               QStringLiteral(" with ") + Patches(count) +
                               QStringLiteral("; save to keep it"),
                           QStringLiteral("The earlier version is the same as the library")};
    });
}

// ---------------------------------------------------------------------------------------------
// The set list

std::vector<SetListRow> FileCommands::SetList() const {
    return SetListRows(state_.LibraryData, state_.DescArray);
}

QString FileCommands::SetListTitle() const {
    return state_.LibFileName.isEmpty() ? appTitle_ : state_.LibFileName;
}

void FileCommands::ExportSetList() {
    RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Export Set List");
        request.filter = QStringLiteral("Set list as CSV (*.csv)") + QChar(0) + QStringLiteral("*.csv") +
                         QChar(0) + QStringLiteral("Set list as PDF (*.pdf)") + QChar(0) +
                         QStringLiteral("*.pdf") + QChar(0) +
                         QStringLiteral("Set list in large print for the stage (*.pdf)") + QChar(0) +
                         QStringLiteral("*.pdf") + QChar(0);
        request.readOnly = false;
        request.forSaving = true;
        request.kind = FileKind::Library;
        request.fileName = QFileInfo(state_.LibFileName).completeBaseName() + QStringLiteral(".csv");
        QString path = AskPathOrCancel(request);
        const QString suffix = QFileInfo(path).suffix().toLower();
        // The name's extension decides between CSV and PDF; a name without either takes the chosen
        // filter's. The third filter prints a PDF in large print.
        const int filter = shell_.ChosenFilter();
        const bool csv = suffix == QLatin1String("csv");
        const bool pdf = suffix == QLatin1String("pdf") || (!csv && (filter == 1 || filter == 2));
        const bool largePrint = pdf && filter == 2;
        if (!csv && suffix != QLatin1String("pdf"))
            path += pdf ? QStringLiteral(".pdf") : QStringLiteral(".csv");
        if (!ConfirmReplace(path))
            return;
        const std::vector<SetListRow> rows = SetList();
        if (pdf) {
            shell_.WriteSetListPdf(path, SetListTitle(), rows,
                                   largePrint ? SetListPrint::LargePrint : SetListPrint::Table);
        } else {
            SafeSave save;
            save.Add(path, SetListCsv(rows));
            save.Commit();
        }
        shell_.SetBusy(false);
        shell_.ShowStatus(QStringLiteral("Exported the set list of ") + Patches(qsizetype(rows.size())) +
                          QStringLiteral(" to ") + ShortPath(path));
    });
}

// ---------------------------------------------------------------------------------------------
// Closing

bool FileCommands::QueryClose() {
    if (!OfferToSave())
        return false;
    // A clean close: saved, or the changes given up. Either way there is nothing left to recover.
    if (state_.LibraryLoaded)
        steps_.ForgetUnsaved(state_.LibFilePath);
    return true;
}

} // namespace quillbox
