#pragma once

#include <QSize>

class QWidget;

namespace quillbox {

// The least room a control of the main window's design needs at its current font, in twips: a list
// its lines, a drop-down its widest entry, a text box its designed text; empty for the controls that
// adapt (frames, the description box).
QSize NeededTwips(const QWidget& control);

} // namespace quillbox
