#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace quillbox {

// The system's print dialog, with a test seam: in test mode (DialogTestMode) nothing opens, and the
// queued answer either cancels or sends the printout into a PDF file that a test can read.
class PrintDialog {
public:
    // Lets the user choose a printer and its settings for `printer`; true when printing should go on.
    static bool Ask(QWidget* owner, QPrinter& printer);

    // Test seam: the next dialog prints into `pdfPath`; an empty path cancels it.
    static void setNextAnswer(const QString& pdfPath);
    static qsizetype pendingAnswers();
    static void resetSeam();
};

} // namespace quillbox
