#pragma once

#include <QByteArrayView>
#include <cstring>

namespace quillbox {

// Text that is nearly always ASCII is looked at eight bytes at a step.
inline constexpr quint64 OneInEachByte = 0x0101010101010101ull;
inline constexpr quint64 HighBitOfEachByte = 0x8080808080808080ull;

// Whether any byte of `s` is 0x80 or above: the text is not all ASCII.
inline bool HasHighByte(QByteArrayView s) {
    const char* data = s.data();
    const qsizetype n = s.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 block;
        std::memcpy(&block, data + i, 8);
        if (block & HighBitOfEachByte)
            return true;
    }
    for (; i < n; ++i)
        if (quint8(data[i]) >= 0x80)
            return true;
    return false;
}

// Whether any of the eight bytes of `block` is zero (the classic bit trick; exact, no false hits).
inline bool HasZeroByte(quint64 block) {
    return ((block - OneInEachByte) & ~block & HighBitOfEachByte) != 0;
}

} // namespace quillbox
