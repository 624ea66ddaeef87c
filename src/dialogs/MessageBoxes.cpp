#include "MessageBoxes.h"

#include "DialogSeam.h"

#include <QAbstractButton>
#include <QWidget>
#include <deque>

namespace quillbox {

namespace {
std::deque<QMessageBox::StandardButton>& QueuedAnswers() {
    static std::deque<QMessageBox::StandardButton> answers;
    return answers;
}

QList<MessageBoxes::Shown>& ShownBoxes() {
    static QList<MessageBoxes::Shown> shown;
    return shown;
}
} // namespace

QString MessageBoxes::DefaultTitle() {
    return QStringLiteral("Quillbox");
}

void MessageBoxes::ShowPlain(QWidget* owner, const QString& text) {
    Run(owner, QMessageBox::NoIcon, DefaultTitle(), text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxes::ShowCritical(QWidget* owner, const QString& text) {
    Run(owner, QMessageBox::Critical, DefaultTitle(), text, QMessageBox::Ok, QMessageBox::Ok,
        QMessageBox::Ok);
}

bool MessageBoxes::AskYesNo(QWidget* owner, const QString& text, const QString& title) {
    return Run(owner, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
               QMessageBox::No) == QMessageBox::Yes;
}

QMessageBox::StandardButton MessageBoxes::AskSaveNow(QWidget* owner) {
    return Run(owner, QMessageBox::NoIcon, QStringLiteral("Library not saved"),
               QStringLiteral("Do you like to save now?"),
               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
               QMessageBox::Cancel);
}

QMessageBox::StandardButton
MessageBoxes::AskChoice(QWidget* owner, const QString& text, const QString& title,
                        const QList<std::pair<QMessageBox::StandardButton, QString>>& buttons,
                        QMessageBox::StandardButton defaultButton, QMessageBox::StandardButton escapeButton) {
    QMessageBox::StandardButtons set;
    for (const auto& button : buttons)
        set |= button.first;
    return Run(owner, QMessageBox::Question, title, text, set, defaultButton, escapeButton, buttons);
}

void MessageBoxes::setNextAnswer(QMessageBox::StandardButton answer) {
    QueuedAnswers().push_back(answer);
}

qsizetype MessageBoxes::pendingAnswers() {
    return static_cast<qsizetype>(QueuedAnswers().size());
}

QList<MessageBoxes::Shown> MessageBoxes::takeShown() {
    return std::exchange(ShownBoxes(), {});
}

void MessageBoxes::resetSeam() {
    QueuedAnswers().clear();
    ShownBoxes().clear();
}

QMessageBox::StandardButton
MessageBoxes::Run(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text,
                  QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                  QMessageBox::StandardButton escapeButton,
                  const QList<std::pair<QMessageBox::StandardButton, QString>>& texts) {
    if (DialogTestMode()) {
        Shown shown{title, text, icon, buttons, QMessageBox::Ok};
        if (buttons != QMessageBox::Ok) {
            auto& queue = QueuedAnswers();
            if (queue.empty()) {
                ReportUnansweredDialog(QStringLiteral("message box \"%1\"").arg(text));
                shown.answer = escapeButton;
            } else {
                shown.answer = queue.front();
                queue.pop_front();
                if (!buttons.testFlag(shown.answer)) {
                    ReportUnansweredDialog(
                        QStringLiteral("queued answer does not fit the box \"%1\"").arg(text));
                    shown.answer = escapeButton;
                }
            }
        }
        ShownBoxes().append(shown);
        return shown.answer;
    }

    QMessageBox box(icon, title, text, buttons, owner);
    for (const auto& [button, label] : texts) {
        if (QAbstractButton* shown = box.button(button)) {
            shown->setText(label);
            shown->setAccessibleName(QString(label).remove(QLatin1Char('&')));
        }
    }
    box.setDefaultButton(defaultButton);
    if (buttons.testFlag(escapeButton))
        box.setEscapeButton(escapeButton);
    const int result = box.exec();
    // exec() gives the standard button that was clicked; closing the box gives the escape button.
    const auto answer = static_cast<QMessageBox::StandardButton>(result);
    return buttons.testFlag(answer) ? answer : escapeButton;
}

} // namespace quillbox
