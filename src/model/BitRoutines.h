#pragma once

#include <QtGlobal>

namespace quillbox {

// Bit 0 is the least significant bit. The value is widened with its sign, so a negative value has
// every high bit set; the mask is 2^bit as a 32-bit number.
bool IsBitSet(qint16 value, qint16 bit);
qint16 BitValue(qint16 value, qint16 bit);
void SetBit(qint16& value, qint16 bit);
void ClearBit(qint16& value, qint16 bit);

} // namespace quillbox
