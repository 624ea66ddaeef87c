#include "TextEncoding.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace quillbox {

namespace {

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the control characters of the same value, as the platform's converter does, so
// every byte decodes to a character and encodes back to itself.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

char16_t Cp1252ToUnicode(quint8 byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return Cp1252High[byte - 0x80];
    return byte; // 0x00..0x7F and 0xA0..0xFF are Latin-1
}

// The byte for a character, or -1 when Windows-1252 has none.
int UnicodeToCp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(Cp1252High.size()); ++i) {
        if (Cp1252High[size_t(i)] == c)
            return 0x80 + i;
    }
    return -1;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no truncated sequence.
bool IsValidUtf8(QByteArrayView bytes, bool* hasNonAscii) {
    *hasNonAscii = false;
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        if (i + 8 <= n) { // runs of ASCII are skipped 8 bytes at a time
            quint64 block;
            std::memcpy(&block, bytes.data() + i, 8);
            if ((block & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const quint8 b = quint8(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        *hasNonAscii = true;
        int length = 0;
        quint8 low = 0x80;
        quint8 high = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0)
                low = 0xA0; // overlong
            else if (b == 0xED)
                high = 0x9F; // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0)
                low = 0x90; // overlong
            else if (b == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (i + length > n)
            return false;
        const quint8 second = quint8(bytes[i + 1]);
        if (second < low || second > high)
            return false;
        for (int k = 2; k < length; ++k) {
            const quint8 next = quint8(bytes[i + k]);
            if (next < 0x80 || next > 0xBF)
                return false;
        }
        i += length;
    }
    return true;
}

QString DecodeUtf16(QByteArrayView bytes, bool littleEndian) {
    // Code units are copied as they are (unpaired surrogates included), so encoding gives the same
    // bytes back. An odd last byte cannot be a character and is dropped.
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const quint8 a = quint8(bytes[i]);
        const quint8 b = quint8(bytes[i + 1]);
        text[i / 2] = QChar(littleEndian ? char16_t(a | (b << 8)) : char16_t((a << 8) | b));
    }
    return text;
}

QByteArray EncodeUtf16(const QString& text, bool littleEndian) {
    QByteArray bytes;
    bytes.reserve(2 + 2 * text.size());
    bytes.append(littleEndian ? "\xFF\xFE" : "\xFE\xFF", 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const char high = char(u >> 8);
        const char low = char(u & 0xFF);
        if (littleEndian) {
            bytes.append(low);
            bytes.append(high);
        } else {
            bytes.append(high);
            bytes.append(low);
        }
    }
    return bytes;
}

bool StartsWith(QByteArrayView bytes, const char* prefix, qsizetype length) {
    return bytes.size() >= length && bytes.first(length) == QByteArrayView(prefix, length);
}

QString DecodeCp1252(QByteArrayView bytes) {
    // Latin-1 everywhere but 0x80..0x9F, which are mended afterwards: the bulk conversion is the
    // library's vectorised one, and the bytes are searched for the few to mend eight at a time.
    QString text = QString::fromLatin1(bytes);
    const char* in = bytes.data();
    const qsizetype n = bytes.size();
    QChar* out = nullptr;
    for (qsizetype i = 0; i < n; i += 8) {
        const qsizetype blockEnd = std::min<qsizetype>(i + 8, n);
        if (blockEnd - i == 8) {
            quint64 block;
            std::memcpy(&block, in + i, 8);
            // A byte is 0x80..0x9F when its top three bits are 100: no byte of `block & 0xE0..`
            // equal to 0x80 (a zero byte after the XOR) means nothing to mend here.
            const quint64 masked = (block & 0xE0E0E0E0E0E0E0E0ull) ^ 0x8080808080808080ull;
            if (((masked - 0x0101010101010101ull) & ~masked & 0x8080808080808080ull) == 0)
                continue;
        }
        for (qsizetype k = i; k < blockEnd; ++k) {
            const quint8 byte = quint8(in[k]);
            if (byte >= 0x80 && byte <= 0x9F) {
                if (!out)
                    out = text.data();
                out[k] = QChar(Cp1252ToUnicode(byte));
            }
        }
    }
    return text;
}

std::optional<QByteArray> EncodeCp1252IfFits(const QString& text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    const char16_t* in = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        const char16_t u = in[i];
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out[i] = char(u); // Latin-1 outside the C1 range: the same byte, decided without the table
            continue;
        }
        const int b = UnicodeToCp1252(u);
        if (b < 0)
            return std::nullopt;
        out[i] = char(b);
    }
    return bytes;
}
} // namespace

DecodedText DecodeText(QByteArrayView bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
        // Only the first BOM marks the encoding: a second one right after it is text (U+FEFF), kept so
        // that a file written back holds what it held.
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        return {utf8(bytes.sliced(3)), TextEncoding::Utf8Bom};
    }
    if (StartsWith(bytes, "\xFF\xFE", 2))
        return {DecodeUtf16(bytes.sliced(2), true), TextEncoding::Utf16LE};
    if (StartsWith(bytes, "\xFE\xFF", 2))
        return {DecodeUtf16(bytes.sliced(2), false), TextEncoding::Utf16BE};

    bool hasNonAscii = false;
    if (IsValidUtf8(bytes, &hasNonAscii) && hasNonAscii)
        return {QString::fromUtf8(bytes), TextEncoding::Utf8};

    return {DecodeCp1252(bytes), TextEncoding::Cp1252};
}

std::optional<ByteText> ByteTextOf(QByteArrayView bytes) {
    bool hasNonAscii = false;
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
        const QByteArrayView body = bytes.sliced(3);
        if (StartsWith(body, "\xEF\xBB\xBF", 3) || !IsValidUtf8(body, &hasNonAscii))
            return std::nullopt;
        return ByteText{TextEncoding::Utf8Bom, 3};
    }
    if (StartsWith(bytes, "\xFF\xFE", 2) || StartsWith(bytes, "\xFE\xFF", 2))
        return std::nullopt;
    if (IsValidUtf8(bytes, &hasNonAscii) && hasNonAscii)
        return ByteText{TextEncoding::Utf8, 0};
    return ByteText{TextEncoding::Cp1252, 0};
}

QString DecodeSlice(QByteArrayView slice, TextEncoding encoding) {
    if (encoding == TextEncoding::Cp1252)
        return DecodeCp1252(slice);
    QString text(slice.size(), Qt::Uninitialized);
    text.truncate(DecodeSliceInto(text.data(), slice, encoding) - text.constData());
    return text;
}

QChar* DecodeSliceInto(QChar* out, QByteArrayView slice, TextEncoding encoding) {
    if (encoding == TextEncoding::Cp1252) {
        for (const char c : slice)
            *out++ = QChar(Cp1252ToUnicode(quint8(c)));
        return out;
    }
    // A U+FEFF that starts a slice is text here, as it is inside the whole file's text.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return utf8.appendToBuffer(out, slice);
}

QByteArray EncodeText(const QString& text, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return text.toUtf8();
    case TextEncoding::Utf8Bom:
        return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::Utf16LE:
        return EncodeUtf16(text, true);
    case TextEncoding::Utf16BE:
        return EncodeUtf16(text, false);
    case TextEncoding::Cp1252:
        break;
    }
    std::optional<QByteArray> bytes = EncodeCp1252IfFits(text);
    if (bytes)
        return *bytes;
    // Only reached against the contract (text that does not fit): unknown characters become '?'.
    QByteArray lossy(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = UnicodeToCp1252(text[i].unicode());
        lossy[i] = char(b < 0 ? '?' : b);
    }
    return lossy;
}

std::optional<QByteArray> TryEncodeCp1252(const QString& text) {
    std::optional<QByteArray> bytes = EncodeCp1252IfFits(text);
    bool hasNonAscii = false;
    if (bytes && IsValidUtf8(*bytes, &hasNonAscii) && hasNonAscii)
        return std::nullopt; // DecodeText would take these bytes for UTF-8
    return bytes;
}

qsizetype EncodedPrefixLength(QStringView text, QByteArrayView bytes, TextEncoding encoding) {
    const char16_t* in = reinterpret_cast<const char16_t*>(text.utf16());
    const auto* at = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = text.size();
    const qsizetype m = bytes.size();
    if (encoding != TextEncoding::Cp1252 && encoding != TextEncoding::Utf8 &&
        encoding != TextEncoding::Utf8Bom)
        return -1;
    // Up to the first byte beyond ASCII, both encodings hold a character a byte, the same as
    // Latin-1: that part is compared in one call, in blocks.
    qsizetype ascii = 0;
    const qsizetype most = std::min(n, m);
    for (; ascii + 8 <= most; ascii += 8) {
        quint64 block;
        std::memcpy(&block, at + ascii, 8);
        if (block & 0x8080808080808080ull)
            break;
    }
    while (ascii < most && at[ascii] < 0x80)
        ++ascii;
    if (text.first(ascii) != QLatin1StringView(bytes.first(ascii)))
        return -1;
    if (encoding == TextEncoding::Cp1252) {
        if (m < n)
            return -1;
        for (qsizetype i = ascii; i < n; ++i) {
            const char16_t u = in[i];
            // Latin-1 outside the C1 range is the same byte, as EncodeCp1252IfFits decides it.
            const int b = (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) ? int(u) : UnicodeToCp1252(u);
            if (b < 0 || at[i] != b)
                return -1;
        }
        return n;
    }
    qsizetype used = ascii;
    for (qsizetype i = ascii; i < n; ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c > 0xDBFF || i + 1 >= n || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF)
                return -1; // toUtf8 would write a replacement: left to the writer that makes it
            c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
        }
        uchar encoded[4];
        int length = 0;
        if (c < 0x80) {
            encoded[length++] = uchar(c);
        } else if (c < 0x800) {
            encoded[length++] = uchar(0xC0 | (c >> 6));
            encoded[length++] = uchar(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            encoded[length++] = uchar(0xE0 | (c >> 12));
            encoded[length++] = uchar(0x80 | ((c >> 6) & 0x3F));
            encoded[length++] = uchar(0x80 | (c & 0x3F));
        } else {
            encoded[length++] = uchar(0xF0 | (c >> 18));
            encoded[length++] = uchar(0x80 | ((c >> 12) & 0x3F));
            encoded[length++] = uchar(0x80 | ((c >> 6) & 0x3F));
            encoded[length++] = uchar(0x80 | (c & 0x3F));
        }
        if (m - used < length || std::memcmp(at + used, encoded, size_t(length)) != 0)
            return -1;
        used += length;
    }
    return used;
}

bool FitsCp1252(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
            continue; // Latin-1 outside the C1 range: the common case, decided without the table
        if (UnicodeToCp1252(u) < 0)
            return false;
    }
    return true;
}

bool IsStrictUtf8(QByteArrayView bytes, bool* hasNonAscii) {
    return IsValidUtf8(bytes, hasNonAscii);
}

} // namespace quillbox
