#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace quillbox {

// How a side file's bytes are turned into text. Cp1252 also stands for plain ASCII.
enum class TextEncoding { Cp1252, Utf8, Utf8Bom, Utf16LE, Utf16BE };

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Cp1252;
};

// UTF-8 BOM -> UTF-8; UTF-16 BOM -> UTF-16; bytes that are valid UTF-8 with at least one non-ASCII
// character -> UTF-8; anything else -> Windows-1252 (every byte maps to one character, so decoding
// and encoding again gives the same bytes). The BOM is not part of `text`.
DecodedText DecodeText(QByteArrayView bytes);

// Encodes `text` (adding the BOM for Utf8Bom and UTF-16). Characters Windows-1252 cannot hold must
// not be passed with Cp1252 (check FitsCp1252 first).
QByteArray EncodeText(const QString& text, TextEncoding encoding);
bool FitsCp1252(const QString& text);
// The UTF-8 test DecodeText makes (strict: no overlong forms, surrogates, values above U+10FFFF or
// cut sequences); `hasNonAscii` tells whether any byte was beyond ASCII.
bool IsStrictUtf8(QByteArrayView bytes, bool* hasNonAscii);
// The Windows-1252 bytes of `text`, or nullopt when a character does not fit or when the bytes would
// be read back as UTF-8 (Windows-1252 text such as "Ã©" is also valid UTF-8): such text must be
// written in another encoding to come back unchanged.
std::optional<QByteArray> TryEncodeCp1252(const QString& text);

// A Windows-1252 or UTF-8 file whose lines, names and values can be found on its bytes: every slice
// cut at ASCII bytes decodes on its own (DecodeSlice) to what it is within DecodeText's text. The
// text starts at `bodyStart` (after a BOM).
struct ByteText {
    TextEncoding encoding = TextEncoding::Cp1252;
    qsizetype bodyStart = 0;
};
// Nullopt when the bytes must be decoded whole: UTF-16, or a UTF-8 BOM followed by bytes that are not
// strict UTF-8 (decoding replaces them) or by a second BOM.
std::optional<ByteText> ByteTextOf(QByteArrayView bytes);
// How many bytes at the start of `bytes` are `text` as a ByteText file of `encoding` holds it
// (Windows-1252, or UTF-8 as QString::toUtf8 writes it), or -1 when they are other bytes or `text`
// holds a character that cannot be written so (none of Windows-1252, a lone surrogate). Compares
// without making the bytes.
qsizetype EncodedPrefixLength(QStringView text, QByteArrayView bytes, TextEncoding encoding);
// The text of a slice of a ByteText file's body that starts and ends at ASCII bytes (or its ends).
QString DecodeSlice(QByteArrayView slice, TextEncoding encoding);
// The same into `out`, which has room for slice.size() characters; returns the end of what it wrote.
QChar* DecodeSliceInto(QChar* out, QByteArrayView slice, TextEncoding encoding);

} // namespace quillbox
