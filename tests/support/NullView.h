#pragma once

// A window that shows nothing and answers every question the same way: for benchmarks and fuzz
// targets, which look at the controller's state, not at the screen. Messages are counted.

#include "LibraryView.h"

namespace quillbox {

class NullView : public LibraryView {
public:
    int messages = 0;
    void RefillList(ListId) override {}
    void ListLineChanged(ListId, qsizetype) override {}
    void SelectListLine(ListId, qsizetype) override {}
    void SelectListLines(ListId, const QList<qsizetype>&, qsizetype) override {}
    void RefreshListMarks() override {}
    void WriteSetListPdf(const QString&, const QString&, const std::vector<SetListRow>&,
                         SetListPrint) override {}
    void SetListToolTip(ListId, const QString&) override {}
    void SetLabelToolTip(ListId, const QString&) override {}
    void SetCaption(const QString&) override {}
    void SetFileCommandsEnabled(bool) override {}
    void ShowDetails(const DetailValues&) override {}
    void EnableDetails(bool) override {}
    void SetDescriptionText(const QString&) override {}
    void SetDescriptionCounter(const QString&) override {}
    void SetNameText(const QString&) override {}
    void SetBusy(bool) override {}
    void ShowMessage(const QString&, MessageStyle) override { ++messages; }
    bool AskYesNo(const QString&, const QString&) override { return true; }
    SaveAnswer AskSaveQuestion() override { return SaveAnswer::No; }
    RecoveryAnswer AskRestoreUnsaved(const QString&) override { return RecoveryAnswer::Later; }
    DiskChangeAnswer AskChangedOnDisk(const QString&) override { return DiskChangeAnswer::Overwrite; }
    std::optional<QString> AskPath(const FileDialogRequest&) override { return std::nullopt; }
    void LibraryFileUsed(const QString&) override {}
    void OpenReconcile(const QString&) override {}
    void ShowStatus(const QString&) override {}
    void SetModified(bool) override {}
    void ShowHistory(const QString&, const QString&) override {}
};

} // namespace quillbox
