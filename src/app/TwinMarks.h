#pragma once

#include "TwinIndex.h"

#include <QColor>
#include <QIcon>
#include <QSize>

namespace quillbox {

// The mark beside a list line whose patch has a twin (TwinKind bits): "identical" a red disc with an
// equals sign, "same sound, other name" a blue square with a wave, "same name, other sound" an amber
// label. A line with several kinds shows the closest one; a line with none gets a blank mark of the
// same size, so that every line's text starts in the same place. A valid `edge` (the list's text
// colour) rings the mark, so that it stands off any ground the theme gives the list.
QIcon TwinMarkIcon(unsigned kinds, QSize size, const QColor& edge = QColor());

// A mark's fill and the symbol drawn on it, a pair readable on each other.
struct TwinMarkColours {
    QColor fill, symbol;
};
TwinMarkColours MarkColours(TwinKind kind);

} // namespace quillbox
