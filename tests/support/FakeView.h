#pragma once

// A LibraryView that records what the window would show, and answers the questions a test queued
// in advance. A question asked with no answer queued fails the running test.

#include "LibraryController.h"
#include "LibraryView.h"

#include <QList>
#include <QStringList>
#include <QTest>
#include <deque>
#include <optional>

namespace quillbox {

class FakeView : public LibraryView {
public:
    // Lines are kept at each refill up to this count; beyond it only the count is recorded.
    static constexpr qsizetype KeptLines = 5000;

    struct ListShown {
        int refills = 0;
        qsizetype count = 0;
        QStringList lines; // as computed at the last refill (when count <= KeptLines)
        qsizetype selected = -1;
        QString toolTip;
        QString labelToolTip;
    };

    struct Message {
        QString text;
        MessageStyle style = MessageStyle::Plain;
    };

    const LibraryController* controller = nullptr;

    ListShown library;
    ListShown patches;
    QString caption;
    std::optional<bool> fileCommandsEnabled;
    std::optional<DetailValues> details;
    int detailsShown = 0;
    std::optional<bool> detailsEnabled;
    QString description;
    int descriptionSets = 0;
    QString counter;
    QString nameText;
    bool busy = false;
    int busyStarts = 0;
    QList<Message> messages;

    // Queued answers, consumed in order.
    std::deque<std::optional<QString>> paths;
    std::deque<bool> yesNoAnswers;
    std::deque<SaveAnswer> saveAnswers;
    // The questions that were asked.
    QList<FileDialogRequest> pathRequests;
    QList<std::pair<QString, QString>> yesNoQuestions;
    int saveQuestions = 0;

    ListShown& Shown(ListId list) { return list == ListId::Library ? library : patches; }

    QStringList MessageTexts() const {
        QStringList texts;
        for (const Message& m : messages)
            texts.append(m.text);
        return texts;
    }
    bool AnswersUsedUp() const { return paths.empty() && yesNoAnswers.empty() && saveAnswers.empty(); }

    void RefillList(ListId list) override {
        ListShown& shown = Shown(list);
        ++shown.refills;
        shown.count = controller->ListCount(list);
        shown.lines.clear();
        if (shown.count <= KeptLines) {
            for (qsizetype i = 0; i < shown.count; ++i)
                shown.lines.append(controller->ListLine(list, i));
        }
        shown.selected = -1; // a refilled list has no selection until one is set
    }
    void SelectListLine(ListId list, qsizetype index) override { Shown(list).selected = index; }
    void SetListToolTip(ListId list, const QString& text) override { Shown(list).toolTip = text; }
    void SetLabelToolTip(ListId list, const QString& text) override { Shown(list).labelToolTip = text; }
    void SetCaption(const QString& text) override { caption = text; }
    void SetFileCommandsEnabled(bool enabled) override { fileCommandsEnabled = enabled; }
    void ShowDetails(const DetailValues& values) override {
        details = values;
        ++detailsShown;
    }
    void EnableDetails(bool enabled) override { detailsEnabled = enabled; }
    void SetDescriptionText(const QString& text) override {
        description = text;
        ++descriptionSets;
    }
    void SetDescriptionCounter(const QString& toolTip) override { counter = toolTip; }
    void SetNameText(const QString& text) override { nameText = text; }
    void SetBusy(bool on) override {
        if (on && !busy)
            ++busyStarts;
        busy = on;
    }
    void ShowMessage(const QString& text, MessageStyle style) override { messages.append({text, style}); }

    bool AskYesNo(const QString& text, const QString& title) override {
        yesNoQuestions.append({text, title});
        if (yesNoAnswers.empty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected question: ") + text), __FILE__, __LINE__);
            return false;
        }
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    SaveAnswer AskSaveQuestion() override {
        ++saveQuestions;
        if (saveAnswers.empty()) {
            QTest::qFail("unexpected closing question", __FILE__, __LINE__);
            return SaveAnswer::Cancel;
        }
        const SaveAnswer answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    std::optional<QString> AskPath(const FileDialogRequest& request) override {
        pathRequests.append(request);
        if (paths.empty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected file dialog: ") + request.dialogTitle),
                         __FILE__, __LINE__);
            return std::nullopt;
        }
        const std::optional<QString> answer = paths.front();
        paths.pop_front();
        return answer;
    }
};

} // namespace quillbox
