#include "PrintDialog.h"

#include "DialogSeam.h"

#include <QPrintDialog>
#include <QPrinter>
#include <deque>

namespace quillbox {

namespace {

std::deque<QString>& QueuedAnswers() {
    static std::deque<QString> answers;
    return answers;
}

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
