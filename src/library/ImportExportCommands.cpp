// The File menu's imports and exports: a library or a device patch file into the patches list, the
// library or its selected entries out to a device patch file, and the set list.
#include "ImportExportCommands.h"

#include "DescriptionFile.h"
#include "FileAccess.h"
#include "FileCommands.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchList.h"
#include "SafeSave.h"

#include <QFileInfo>

namespace quillbox {

ImportExportCommands::ImportExportCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps,
                                           FileCommands& files, PanesView& panes, ShellView& shell,
                                           QString appTitle)
    : CommandBase(doc, lists, steps), files_(files), panes_(panes), shell_(shell),
      appTitle_(std::move(appTitle)) {}

// ---------------------------------------------------------------------------------------------
// Imports and export

void ImportExportCommands::ImportLibrary() {
    files_.RunFileCommand([this] {
        const QString libPath = ApplyLibraryExtension(
            files_.AskPathToRead(QStringLiteral(" Import Library"), LibraryFileFilter(), FileKind::Library));
        files_.RecoverInterruptedSave(libPath);
        if (const std::optional<PairContent> pair = files_.ReadLibrary(libPath, false))
            ShowImportedPatches(pair->store, libPath);
    });
}

void ImportExportCommands::ImportPatches() {
    files_.RunFileCommand([this] {
        ImportPatchesBody(files_.AskPathToRead(QStringLiteral(" Import PS02PatchFile"),
                                               PatchOrAnyFileFilter(), FileKind::PatchFile));
    });
}

void ImportExportCommands::ImportPatchesFromPath(const QString& path) {
    files_.RunFileCommand([this, &path] { ImportPatchesBody(path); });
}

void ImportExportCommands::ImportPatchesBody(const QString& path) {
    // The file is read before anything changes, so a failure leaves the patches list as it was.
    files_.RecoverInterruptedSave(path);
    ShowImportedPatches(ReadFileAsString(path), path);
}

void ImportExportCommands::ShowImportedPatches(QByteArray patches, const QString& path) {
    doc_.EndTypingRun();
    session_.PatchesData = std::move(patches);
    session_.PatchesFilePath = path;
    session_.PatchesDescFilePath = SideFilePath(path);
    // The title keeps naming the file "Save (Library) " writes; the imported file is named in the
    // patches list's heading and the status line.
    if (state_.LibraryLoaded)
        shell_.SetCaption(files_.Caption(state_.LibFilePath));
    lists_.RefillPatchesList();
    // A patch of the list that was replaced is no longer there to show.
    if (session_.ActiveList == ActiveListPatches)
        lists_.ShowNothingEditable();
    session_.PatchesFileName = GetFileName(path);
    panes_.SetLabelToolTip(ListId::Patches, session_.PatchesFileName);
    shell_.ShowStatus(QStringLiteral("Imported ") + Patches(lists_.ListCount(ListId::Patches)) +
                      QStringLiteral(" from ") + ShortPath(path) + ImportAccounting());
}

QString ImportExportCommands::ImportAccounting() const {
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

void ImportExportCommands::ExportLibrary() {
    ExportImages(state_.LibraryData, state_.DescArray, lists_.ListCount(ListId::Library));
}

void ImportExportCommands::ExportImages(const QByteArray& images, const QStringList& descriptions,
                                        qsizetype count) {
    files_.RunFileCommand([&] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Export PS02PatchFile");
        request.filter = PatchFileFilter();
        request.readOnly = false;
        request.forSaving = true;
        request.kind = FileKind::PatchFile;
        request.fileName = PatchExportFileName(state_.LibFileName);
        const QString path = ApplyPatchFileExtension(files_.AskPathOrCancel(request));
        files_.RecoverInterruptedSave(path);
        if (!files_.ConfirmReplace(path))
            return;
        // A device patch file holds the bare images in list order; the descriptions go to its side
        // file, from where "Import PS02" reads them back.
        const LibraryPairFile pair(path, files_.Versions());
        pair.Save(images, pair.SideFor(descriptions, count));
        // What went to the device is the common past when its patch file comes back; a record that
        // cannot be kept costs the export nothing.
        QString recordProblem;
        if (state_.LibraryLoaded && !state_.LibFilePath.isEmpty()) {
            try {
                files_.Versions().KeepExport(
                    state_.LibFilePath,
                    {images, BuildSideFile(std::nullopt, descriptions, count)});
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

void ImportExportCommands::ExportSelected() {
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
// The set list

std::vector<SetListRow> ImportExportCommands::SetList() const {
    return SetListRows(state_.LibraryData, state_.DescArray);
}

QString ImportExportCommands::SetListTitle() const {
    return state_.LibFileName.isEmpty() ? appTitle_ : state_.LibFileName;
}

void ImportExportCommands::ExportSetList() {
    files_.RunFileCommand([this] {
        FileDialogRequest request;
        request.dialogTitle = appTitle_ + QStringLiteral(" Export Set List");
        request.filter = SetListFilter();
        request.readOnly = false;
        request.forSaving = true;
        request.kind = FileKind::Library;
        request.fileName = SetListFileName(state_.LibFileName);
        const QString chosen = files_.AskPathOrCancel(request);
        const SetListFile file = SetListFileFor(chosen, shell_.ChosenFilter());
        const QString& path = file.path;
        if (!files_.ConfirmReplace(path))
            return;
        const std::vector<SetListRow> rows = SetList();
        if (file.format != SetListFormat::Csv) {
            shell_.WriteSetListPdf(path, SetListTitle(), rows,
                                   file.format == SetListFormat::LargePrintPdf ? SetListPrint::LargePrint
                                                                               : SetListPrint::Table);
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

} // namespace quillbox
