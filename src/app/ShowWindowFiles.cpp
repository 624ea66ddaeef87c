#include "ShowWindow.h"

#include "AppInfo.h"
#include "FileError.h"
#include "LibraryFile.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "QuestionBoxes.h"
#include "ShowCheck.h"
#include "ShowFile.h"
#include "ShowLists.h"
#include "StatusLine.h"
#include "UnsavedWork.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QLocale>

// The show window's files: new, open, save, the device file, the closing question and the show
// kept after a crash.
namespace quillbox {

std::optional<QString> ShowWindow::AskPath(const FileDialogRequest& request) {
    const std::optional<QString> path =
        AskFileBox(*fileDialog_, this, request, hooks_.lastFolder ? hooks_.lastFolder() : QString());
    if (path && hooks_.setLastFolder)
        hooks_.setLastFolder(QFileInfo(*path).absolutePath());
    return path;
}

void ShowWindow::NewShow() {
    if (!QueryClose())
        return;
    doc_.New();
    Refresh(true);
    title_->setFocus(Qt::OtherFocusReason);
}

void ShowWindow::OpenShow() {
    FileDialogRequest request;
    request.dialogTitle = QStringLiteral("Open Show");
    request.filter = ShowFilter();
    const std::optional<QString> path = AskPath(request);
    if (path)
        OpenShowFile(*path);
}

bool ShowWindow::OpenShowFile(const QString& path) {
    ShowRecord show;
    try {
        show = ShowFile::Read(path);
    } catch (const FileError& error) {
        Message(error.description);
        return false;
    }
    if (!QueryClose())
        return false;
    doc_.Open(path, std::move(show));
    if (hooks_.showFileUsed)
        hooks_.showFileUsed(path);
    Refresh(true);
    ShowStatus(QStringLiteral("Opened ") + path);
    return true;
}

bool ShowWindow::WriteTo(const QString& path) {
    QString versionProblem;
    try {
        versionProblem = ShowFile::Save(path, doc_.Show(), hooks_.versions);
    } catch (const FileError& error) {
        Message(error.description);
        return false;
    }
    doc_.Saved(path);
    if (hooks_.showFileUsed)
        hooks_.showFileUsed(path);
    UpdateCaption();
    ShowStatus(QStringLiteral("Saved ") + path +
               (versionProblem.isEmpty() ? QString()
                                         : QStringLiteral("; no earlier version kept: ") + versionProblem));
    return true;
}

bool ShowWindow::Save() {
    if (doc_.Path().isEmpty())
        return SaveAs();
    // Two windows, or a sync tool, never overwrite each other's show unasked.
    if (doc_.ChangedOnDisk() &&
        !MessageBoxes::AskYesNo(this,
                                doc_.Path() +
                                    QStringLiteral(" was changed on disk since it was opened or saved here.\n"
                                                   "Replace it? What is on disk is kept as an earlier version."),
                                AppInfo::ProductName()))
        return false;
    return WriteTo(doc_.Path());
}

bool ShowWindow::SaveAs() {
    FileDialogRequest request;
    request.dialogTitle = QStringLiteral("Save Show As");
    request.filter = ShowFilter();
    request.readOnly = false;
    request.forSaving = true;
    const QString base =
        doc_.Path().isEmpty() ? doc_.Show().title : QFileInfo(doc_.Path()).completeBaseName();
    request.fileName = ApplyShowExtension(base.isEmpty() ? QStringLiteral("Show") : base);
    const std::optional<QString> chosen = AskPath(request);
    if (!chosen)
        return false;
    const QString path = ApplyShowExtension(*chosen);
    if (path != doc_.Path() && QFileInfo::exists(path) &&
        !MessageBoxes::AskYesNo(this, path + QStringLiteral(" already exists.\nDo you want to replace it?"),
                                AppInfo::ProductName()))
        return false;
    return WriteTo(path);
}

void ShowWindow::BuildDeviceFileCommand() {
    if (slots_.count == 0) {
        ShowStatus(QStringLiteral("Nothing built: the show has no cues"));
        return;
    }
    FileDialogRequest request;
    request.dialogTitle = QStringLiteral("Build Device File");
    request.filter = PatchFileFilter();
    request.readOnly = false;
    request.forSaving = true;
    request.kind = FileKind::PatchFile;
    const QString base =
        doc_.Path().isEmpty() ? doc_.Show().title : QFileInfo(doc_.Path()).completeBaseName();
    request.fileName = ApplyPatchFileExtension(base.isEmpty() ? QStringLiteral("Show") : base);
    const std::optional<QString> chosen = AskPath(request);
    if (!chosen)
        return;
    const QString path = ApplyPatchFileExtension(*chosen);
    if (QFileInfo::exists(path) &&
        !MessageBoxes::AskYesNo(this, path + QStringLiteral(" already exists.\nDo you want to replace it?"),
                                AppInfo::ProductName()))
        return;
    const QString versionProblem = BuildDeviceFile(doc_.Show(), path, hooks_.versions);
    Message(path + QStringLiteral(" saved"));
    ShowStatus(QStringLiteral("Built the device file of %1 patches to %2").arg(slots_.count).arg(path) +
               (versionProblem.isEmpty() ? QString()
                                         : QStringLiteral("; no earlier version kept: ") + versionProblem));
}

bool ShowWindow::QueryClose() {
    if (!doc_.Changed())
        return true;
    const QString name = doc_.Path().isEmpty() ? doc_.Show().title : QFileInfo(doc_.Path()).fileName();
    const QMessageBox::StandardButton answer = MessageBoxes::AskChoice(
        this,
        QStringLiteral("The show %1 has changes that are not saved.\nDo you like to save it now?")
            .arg(name.isEmpty() ? QStringLiteral("(no title)") : name),
        QStringLiteral("Show not saved"),
        {{QMessageBox::Yes, QStringLiteral("&Save")},
         {QMessageBox::No, QStringLiteral("&Don't Save")},
         {QMessageBox::Cancel, QStringLiteral("Cancel")}},
        QMessageBox::Yes, QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return Save();
    if (answer != QMessageBox::No)
        return false;
    doc_.ForgetUnsaved();
    doc_.New();
    Refresh(true);
    return true;
}

void ShowWindow::OfferLeftWork() {
    if (std::exchange(offered_, true))
        return;
    for (const UnsavedWorkFiles::Found& found : hooks_.unsaved.ReadAll()) {
        if (!found.work)
            continue;
        ShowRecord show;
        try {
            show = ShowFile::Decode(found.work->library);
        } catch (const FileError&) {
            continue; // not a show's: not ours to offer nor to remove
        }
        const QString name =
            found.work->libPath.isEmpty() ? QStringLiteral("a show never saved") : found.work->libPath;
        const QString text =
            QStringLiteral("Restore the unsaved changes to %1 from %2?")
                .arg(name, QLocale().toString(found.work->time.toLocalTime(), QLocale::ShortFormat));
        if (MessageBoxes::AskYesNo(this, text, QStringLiteral("Unsaved show"))) {
            doc_.Restore(found.work->libPath, std::move(show));
            Refresh(true);
            // The restored show is kept under this window's name now; the old file goes once it is.
            if (doc_.UnsavedProblem().isEmpty())
                hooks_.unsaved.RemoveLeft(found.file);
        } else {
            hooks_.unsaved.RemoveLeft(found.file);
        }
        return;
    }
}

} // namespace quillbox
