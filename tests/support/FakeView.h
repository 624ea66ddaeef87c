#pragma once

// A LibraryView that records what the window would show and answers the questions a test queued in
// advance. A question asked with no answer queued fails the running test.

#include "LibraryController.h"
#include "LibraryView.h"

#include <QStringList>
#include <QTest>
#include <deque>
#include <optional>

namespace quillbox {

class FakeView : public LibraryView {
public:
    struct ListShown {
        qsizetype count = 0, selected = -1;
        QList<qsizetype> lines; // every selected line while several are selected
        QString toolTip, labelToolTip;
        QList<qsizetype> changedLines; // lines shown anew since the last refill
    };
    const LibraryController* controller = nullptr;
    ListShown library, patches;
    QString caption, description, counter, nameText;
    QStringList statuses;         // every status line, in order
    QString undoStep, redoStep;   // what the Edit menu would name
    std::optional<bool> modified; // the window's unsaved-changes mark
    std::optional<bool> fileCommandsEnabled, detailsEnabled;
    std::optional<DetailValues> details;
    bool busy = false;
    QStringList messages;
    // Queued answers, and the questions asked.
    std::deque<std::optional<QString>> paths;
    std::deque<bool> yesNoAnswers;
    std::deque<SaveAnswer> saveAnswers;
    QList<FileDialogRequest> pathRequests;
    QStringList yesNoQuestions;
    int saveQuestions = 0;
    std::deque<RecoveryAnswer> recoveryAnswers;
    std::deque<DiskChangeAnswer> diskAnswers;
    QStringList recoveryQuestions, diskQuestions;
    QStringList usedFiles;  // library files reported as loaded or saved
    int markRefreshes = 0;  // how often the lists were told to show their marks again
    QStringList pdfTitles;  // set lists written as PDF, by title, "(large)" after large print ones
    int chosenFilter = 0;   // the filter the file dialog answers with
    QStringList reconciled; // the files the reconcile window was opened on

    ListShown& Shown(ListId list) { return list == ListId::Library ? library : patches; }
    bool AnswersUsedUp() const {
        return paths.empty() && yesNoAnswers.empty() && saveAnswers.empty() && recoveryAnswers.empty() &&
               diskAnswers.empty();
    }

    void RefillList(ListId list) override {
        Shown(list).count = controller->ListCount(list);
        Shown(list).selected = -1;
        Shown(list).lines.clear();
        Shown(list).changedLines.clear();
    }
    void ListLineChanged(ListId list, qsizetype index) override { Shown(list).changedLines.append(index); }
    void SelectListLine(ListId list, qsizetype index) override {
        Shown(list).selected = index;
        Shown(list).lines.clear();
    }
    void SelectListLines(ListId list, const QList<qsizetype>& positions, qsizetype current) override {
        Shown(list).selected = current;
        Shown(list).lines = positions;
    }
    void RefreshListMarks() override { ++markRefreshes; }
    void WriteSetListPdf(const QString&, const QString& title, const std::vector<SetListRow>&,
                         SetListPrint print) override {
        pdfTitles.append(title +
                         (print == SetListPrint::LargePrint ? QStringLiteral(" (large)") : QString()));
    }
    int ChosenFilter() const override { return chosenFilter; }
    void SetListToolTip(ListId list, const QString& text) override { Shown(list).toolTip = text; }
    void SetLabelToolTip(ListId list, const QString& text) override { Shown(list).labelToolTip = text; }
    void SetCaption(const QString& text) override { caption = text; }
    void SetFileCommandsEnabled(bool enabled) override { fileCommandsEnabled = enabled; }
    void ShowDetails(const DetailValues& values) override { details = values; }
    void EnableDetails(bool enabled) override { detailsEnabled = enabled; }
    void SetDescriptionText(const QString& text) override { description = text; }
    void SetDescriptionCounter(const QString& toolTip) override { counter = toolTip; }
    void SetNameText(const QString& text) override { nameText = text; }
    void SetBusy(bool on) override { busy = on; }
    void ShowMessage(const QString& text, MessageStyle) override { messages.append(text); }

    void ShowStatus(const QString& text) override { statuses.append(text); }
    void SetModified(bool on) override { modified = on; }
    void ShowHistory(const QString& undo, const QString& redo) override {
        undoStep = undo;
        redoStep = redo;
    }

    template <typename T> T Answer(std::deque<T>& queue, const QString& question, T none) {
        if (queue.empty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected question: ") + question), __FILE__, __LINE__);
            return none;
        }
        T answer = queue.front();
        queue.pop_front();
        return answer;
    }
    bool AskYesNo(const QString& text, const QString& title) override {
        yesNoQuestions.append(title + QLatin1Char('|') + text);
        return Answer(yesNoAnswers, text, false);
    }
    SaveAnswer AskSaveQuestion() override {
        ++saveQuestions;
        return Answer(saveAnswers, QStringLiteral("save now?"), SaveAnswer::Cancel);
    }
    RecoveryAnswer AskRestoreUnsaved(const QString& text) override {
        recoveryQuestions.append(text);
        return Answer(recoveryAnswers, text, RecoveryAnswer::Later);
    }
    DiskChangeAnswer AskChangedOnDisk(const QString& text) override {
        diskQuestions.append(text);
        return Answer(diskAnswers, text, DiskChangeAnswer::Cancel);
    }
    std::optional<QString> AskPath(const FileDialogRequest& request) override {
        pathRequests.append(request);
        return Answer(paths, request.dialogTitle, std::optional<QString>());
    }
    void LibraryFileUsed(const QString& path) override { usedFiles.append(path); }
    void OpenReconcile(const QString& path) override { reconciled.append(path); }
};

} // namespace quillbox
