#pragma once

#include <QIcon>
#include <QSize>

namespace quillbox {

// The mark beside a list line whose patch has a twin (TwinKind bits): "identical" a red disc with an
// equals sign, "same sound, other name" a blue square with a wave, "same name, other sound" an amber
// label. A line with several kinds shows the closest one; a line with none gets a blank mark of the
// same size, so that every line's text starts in the same place.
QIcon TwinMarkIcon(unsigned kinds, QSize size);

} // namespace quillbox
