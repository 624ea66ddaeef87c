#pragma once

#include <QString>

namespace quillbox {

// Switches every dialog of this library into test mode: from then on nothing modal is opened.
// File dialogs and questions take the answers queued in advance (OpenSaveDLG::setNextPath,
// MessageBoxes::setNextAnswer); OK boxes are only recorded. A dialog that needs an answer when none
// is queued logs a warning that starts with UnansweredDialogWarning, so a test can fail on it
// (QTest::failOnWarning), and behaves as if the user had cancelled.
void EnableDialogTestMode(bool enabled);
bool DialogTestMode();

inline constexpr const char* UnansweredDialogWarning = "Unanswered dialog:";

// Logs the warning described above.
void ReportUnansweredDialog(const QString& what);

} // namespace quillbox
