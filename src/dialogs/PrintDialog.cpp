#include "PrintDialog.h"

#include "DialogSeam.h"

#include <QChildEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QTabWidget>
#include <deque>

namespace quillbox {

namespace {

std::deque<QString>& QueuedAnswers() {
    static std::deque<QString> answers;
    return answers;
}

// Qt's widget dialog and the Properties dialog it opens leave their tab widgets without a name; a
// screen reader announces that pane as the tab bar inside it takes the focus.
void NameTabs(QWidget* dialog, const QString& name) {
    if (auto* tabs = dialog->findChild<QTabWidget*>(QStringLiteral("tabs"));
        tabs && tabs->accessibleName().isEmpty())
        tabs->setAccessibleName(name);
}

// The Properties dialog is made anew on each click; it is complete once polished, before it shows.
class PropertiesNamer : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildPolished) {
            if (auto* properties = qobject_cast<QDialog*>(static_cast<QChildEvent*>(event)->child()))
                NameTabs(properties, QStringLiteral("Printer properties"));
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

bool PrintDialog::Ask(QWidget* owner, QPrinter& printer) {
    if (DialogTestMode()) {
        auto& queue = QueuedAnswers();
        if (queue.empty()) {
            ReportUnansweredDialog(QStringLiteral("print dialog"));
            return false;
        }
        const QString pdfPath = queue.front();
        queue.pop_front();
        if (pdfPath.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        return true;
    }
    QPrintDialog dialog(&printer, owner);
    NameTabs(&dialog, QStringLiteral("Print options"));
    PropertiesNamer namer;
    dialog.installEventFilter(&namer);
    return dialog.exec() == QDialog::Accepted;
}

void PrintDialog::setNextAnswer(const QString& pdfPath) {
    QueuedAnswers().push_back(pdfPath);
}

qsizetype PrintDialog::pendingAnswers() {
    return static_cast<qsizetype>(QueuedAnswers().size());
}

void PrintDialog::resetSeam() {
    QueuedAnswers().clear();
}

} // namespace quillbox
