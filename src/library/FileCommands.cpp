// The File menu's library commands: load, save, save as; earlier versions, kept by every save, listed
// and loaded back as the library being edited; closing.
#include "FileCommands.h"

#include "DescriptionFile.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchList.h"
#include "RecoveryCommands.h"

#include <QFileInfo>
#include <exception>

namespace quillbox {

namespace {

const QString CancelDescription = QStringLiteral("Cancelled: no file was chosen.");
const QString NotValidLibrary = QStringLiteral("Not a valid Library");

} // namespace

FileCommands::FileCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps,
                           RecoveryCommands& recovery, PanesView& panes, ShellView& shell, QString appTitle)
    : CommandBase(doc, lists, steps), recovery_(recovery), panes_(panes), shell_(shell),
      appTitle_(std::move(appTitle)) {}

QString FileCommands::Caption(const QString& path) const {
    return appTitle_ + QStringLiteral("   ") + path;
}

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

QString FileCommands::AskPathToRead(const QString& title, const QString& filter, FileKind kind) {
    FileDialogRequest request;
    request.dialogTitle = appTitle_ + title;
    request.filter = filter;
    request.readOnly = true;
    request.kind = kind;
    return AskPathOrCancel(request);
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

std::optional<PairContent> FileCommands::ReadLibrary(const QString& libPath, bool withDescriptions) {
    try {
        const LibraryPairFile file(libPath);
        return withDescriptions ? file.Read() : PairContent{file.ReadStore(), {}, {}};
    } catch (const FileError& error) {
        if (error.number != NotALibraryNumber)
            throw;
        shell_.SetBusy(false);
        shell_.ShowMessage(NotValidLibrary, MessageStyle::Plain);
        return std::nullopt;
    }
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
    const std::optional<QByteArray> sideBytes =
        LibraryPairFile(libPath).SideFor(state_.DescArray, lists_.ListCount(ListId::Library));
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
        LoadLibBody(
            AskPathToRead(QStringLiteral(" Load Library File"), LibraryFileFilter(), FileKind::Library));
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
    // A side file that exists but cannot be read leaves the descriptions empty; the user is told,
    // and a save then refuses to write over it rather than lose what it holds.
    const std::optional<PairContent> read = ReadLibrary(libPath, true);
    if (!read)
        return;
    const PairContent& pair = *read;
    const QString& sideFileProblem = pair.sideFileProblem;

    // Changes the user chose not to save before this load are given up: no recovery file for them.
    if (state_.LibraryLoaded && state_.LibChanged)
        steps_.ForgetUnsaved(state_.LibFilePath);
    doc_.Open(libPath, SideFilePath(libPath), pair.store, pair.descriptions);
    shell_.SetCaption(Caption(path));
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
        shell_.SetCaption(Caption(libPath));
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
        const PairContent version = LibraryPairFile::FromLibraryBytes(pair.library, pair.side);
        // What is shown is not what the library's files hold until it is saved.
        doc_.Replace(version.store, version.descriptions);
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
