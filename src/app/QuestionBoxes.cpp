#include "QuestionBoxes.h"

#include "FileError.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"

#include <exception>

namespace quillbox {

SaveAnswer AskSaveNowBox(QWidget* parent) {
    const NormalPointer pointer;
    switch (MessageBoxes::AskSaveNow(parent)) {
    case QMessageBox::Yes:
        return SaveAnswer::Yes;
    case QMessageBox::No:
        return SaveAnswer::No;
    default:
        return SaveAnswer::Cancel;
    }
}

RecoveryAnswer AskRestoreUnsavedBox(QWidget* parent, const QString& text) {
    const NormalPointer pointer;
    // No escape button: the box closes only with an answer, so the work is never dropped unseen.
    switch (MessageBoxes::AskChoice(parent, text, QStringLiteral("Unsaved changes"),
                                    {{QMessageBox::Yes, QStringLiteral("&Restore")},
                                     {QMessageBox::Open, QStringLiteral("&Compare")},
                                     {QMessageBox::Discard, QStringLiteral("&Discard")}},
                                    QMessageBox::Yes, QMessageBox::NoButton)) {
    case QMessageBox::Yes:
        return RecoveryAnswer::Restore;
    case QMessageBox::Open:
        return RecoveryAnswer::Compare;
    case QMessageBox::Discard:
        return RecoveryAnswer::Discard;
    default:
        return RecoveryAnswer::Later;
    }
}

DiskChangeAnswer AskChangedOnDiskBox(QWidget* parent, const QString& text) {
    const NormalPointer pointer;
    switch (MessageBoxes::AskChoice(parent, text, QStringLiteral("Changed on disk"),
                                    {{QMessageBox::Save, QStringLiteral("&Overwrite")},
                                     {QMessageBox::SaveAll, QStringLiteral("Save &As\u2026")},
                                     {QMessageBox::Apply, QStringLiteral("&Reconcile")},
                                     {QMessageBox::Cancel, QStringLiteral("Cancel")}},
                                    QMessageBox::Cancel, QMessageBox::Cancel)) {
    case QMessageBox::Save:
        return DiskChangeAnswer::Overwrite;
    case QMessageBox::SaveAll:
        return DiskChangeAnswer::SaveAs;
    case QMessageBox::Apply:
        return DiskChangeAnswer::Reconcile;
    default:
        return DiskChangeAnswer::Cancel;
    }
}

void RunGuarded(const char* handler, const std::function<void()>& work,
                const std::function<void(const QString& message)>& show) {
    try {
        work();
    } catch (const FileError& error) {
        show(QString::fromLatin1(handler) + QStringLiteral(": ") + error.description);
    } catch (const std::exception& error) {
        show(QString::fromLatin1(handler) + QStringLiteral(": ") + QString::fromLocal8Bit(error.what()));
    }
}

std::optional<QString> AskFileBox(OpenSaveDLG& dialog, QWidget* owner, const FileDialogRequest& request,
                                  const QString& initDir) {
    dialog.SetDialogTitle(request.dialogTitle);
    dialog.SetFilter(request.filter);
    dialog.SetOwner(owner);
    dialog.SetReadOnly(request.readOnly);
    dialog.SetFilename(request.fileName);
    dialog.SetInitDir(initDir);
    dialog.SetShortFileName(false);
    dialog.SetOldStyle(false);
    dialog.SetCancelError(true);
    const NormalPointer pointer;
    try {
        dialog.Show();
    } catch (const FileError& error) {
        if (error.number == CancelErrorNumber)
            return std::nullopt;
        throw;
    }
    return dialog.ReturnPath();
}

} // namespace quillbox
