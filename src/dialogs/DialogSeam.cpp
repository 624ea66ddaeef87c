#include "DialogSeam.h"

#include <QtGlobal>

namespace quillbox {

namespace {
bool testMode = false;
}

void EnableDialogTestMode(bool enabled) {
    testMode = enabled;
}

bool DialogTestMode() {
    return testMode;
}

void ReportUnansweredDialog(const QString& what) {
    qWarning("%s %s", UnansweredDialogWarning, qUtf8Printable(what));
}

} // namespace quillbox
