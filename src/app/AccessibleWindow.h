#pragma once

class QWidget;

namespace quillbox {

// A plain top-level widget (not a dialog or main window) is offered to screen readers as a "filler"
// they do not announce; this makes `window` a window to them. Call before the widget is shown.
void AnnounceAsWindow(QWidget* window);

} // namespace quillbox
