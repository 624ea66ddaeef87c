#pragma once

class QApplication;

namespace quillbox {

// The program's start: the splash, then the main window; returns when the main window has closed.
int Main(QApplication& app);

} // namespace quillbox
