#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace quillbox {

// The message boxes of the program: OK boxes without or with the critical-stop icon, a Yes/No
// question, and the question asked before unsaved changes would be lost.
class MessageBoxes {
public:
    // Title of boxes that have none of their own: the product name.
    static QString DefaultTitle();

    // OK only, no icon.
    static void ShowPlain(QWidget* owner, const QString& text);
    // OK only, critical-stop icon.
    static void ShowCritical(QWidget* owner, const QString& text);
    // Yes and No; true for Yes. Closing the box counts as No.
    static bool AskYesNo(QWidget* owner, const QString& text, const QString& title);
    // "Do you like to save now?" titled "Library not saved", Yes/No/Cancel, no icon. Closing the box
    // counts as Cancel.
    static QMessageBox::StandardButton AskSaveNow(QWidget* owner);
    // A question with buttons of their own words: `buttons` maps each standard button used (its
    // role decides its place) to its text. `defaultButton` is the one Enter presses; closing the box
    // gives `escapeButton`, which need not be one of the buttons.
    static QMessageBox::StandardButton
    AskChoice(QWidget* owner, const QString& text, const QString& title,
              const QList<std::pair<QMessageBox::StandardButton, QString>>& buttons,
              QMessageBox::StandardButton defaultButton, QMessageBox::StandardButton escapeButton);

    // Test seam (see DialogSeam.h).
    struct Shown {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
    };
    // Queues the answer for the next question (Yes/No or Yes/No/Cancel).
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static qsizetype pendingAnswers();
    // Every box shown since the last call, oldest first.
    static QList<Shown> takeShown();
    // Forgets queued answers and recorded boxes.
    static void resetSeam();

private:
    static QMessageBox::StandardButton
    Run(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
        QMessageBox::StandardButton escapeButton,
        const QList<std::pair<QMessageBox::StandardButton, QString>>& texts = {});
};

} // namespace quillbox
