#include "BitRoutines.h"

namespace quillbox {

namespace {
qint32 Mask(qint16 bit) {
    // 2^bit as a 32-bit integer; out-of-range bit numbers give no bit rather than undefined shifts.
    return (bit >= 0 && bit < 31) ? (qint32{1} << bit) : 0;
}
} // namespace

bool IsBitSet(qint16 value, qint16 bit) {
    return (Mask(bit) & qint32{value}) > 0;
}

qint16 BitValue(qint16 value, qint16 bit) {
    return IsBitSet(value, bit) ? 1 : 0;
}

void SetBit(qint16& value, qint16 bit) {
    value = static_cast<qint16>(qint32{value} | Mask(bit));
}

void ClearBit(qint16& value, qint16 bit) {
    value = static_cast<qint16>(qint32{value} & ~Mask(bit));
}

} // namespace quillbox
