#include "QuotedPath.h"

#include <QChar>
#include <QFile>

namespace quillbox {

namespace {

// The length of the valid UTF-8 sequence starting at `at` (strict: no overlong forms, surrogates
// or values above U+10FFFF), or 0 when there is none; `code` gets its value.
qsizetype Utf8Sequence(QByteArrayView bytes, qsizetype at, char32_t& code) {
    const auto byte = [&](qsizetype i) {
        return static_cast<quint8>(bytes[i]);
    };
    const quint8 lead = byte(at);
    qsizetype length = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// Characters beyond ASCII that a terminal does not show as themselves.
bool Hidden(char32_t code) {
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// The escape of an ASCII byte as git writes it: a letter, the byte itself after '\\', 1 for octal,
// 0 when the byte needs none.
char AsciiEscape(quint8 c) {
    switch (c) {
    case '\a':
        return 'a';
    case '\b':
        return 'b';
    case '\t':
        return 't';
    case '\n':
        return 'n';
    case '\v':
        return 'v';
    case '\f':
        return 'f';
    case '\r':
        return 'r';
    case '"':
        return '"';
    case '\\':
        return '\\';
    default:
        return c < 0x20 || c == 0x7F ? 1 : 0;
    }
}

void Octal(QByteArray& out, quint8 c) {
    out += '\\';
    out += char('0' + (c >> 6));
    out += char('0' + ((c >> 3) & 7));
    out += char('0' + (c & 7));
}

// Walks the bytes, calling plain(from, length) for runs written as they are and escaped(byte) for
// each byte that needs escaping. Returns whether any did.
template <typename Plain, typename Escaped> bool Walk(QByteArrayView bytes, Plain plain, Escaped escaped) {
    bool any = false;
    qsizetype run = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const quint8 c = static_cast<quint8>(bytes[i]);
        qsizetype length = 1;
        bool escape = false;
        if (c < 0x80) {
            escape = AsciiEscape(c) != 0;
        } else {
            char32_t code = 0;
            length = Utf8Sequence(bytes, i, code);
            escape = length == 0 || Hidden(code);
            if (length == 0)
                length = 1; // a stray byte alone
        }
        if (escape) {
            plain(run, i - run);
            for (qsizetype k = 0; k < length; ++k)
                escaped(static_cast<quint8>(bytes[i + k]));
            run = i + length;
            any = true;
        }
        i += length;
    }
    plain(run, bytes.size() - run);
    return any;
}

} // namespace

bool PathNeedsNoQuotes(QByteArrayView bytes) {
    return !Walk(
        bytes, [](qsizetype, qsizetype) {}, [](quint8) {});
}

QByteArray QuotePathBytes(QByteArrayView bytes) {
    if (PathNeedsNoQuotes(bytes))
        return bytes.toByteArray();
    QByteArray out;
    out.reserve(bytes.size() + 16);
    out += '"';
    Walk(
        bytes, [&](qsizetype from, qsizetype length) { out += bytes.sliced(from, length); },
        [&](quint8 c) {
            if (const char letter = AsciiEscape(c); letter > 1) {
                out += '\\';
                out += letter;
            } else {
                Octal(out, c);
            }
        });
    out += '"';
    return out;
}

QString QuotePath(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    if (PathNeedsNoQuotes(bytes))
        return path;
    // Everything that is not valid UTF-8 is escaped, so the quoted bytes are text.
    return QString::fromUtf8(QuotePathBytes(bytes));
}

} // namespace quillbox
