#pragma once

// The line grammar of profile (INI) files, shared by ProfileFile's reader, its writer and its
// numbered-values writer. For ProfileFile's own files.

#include "ByteBlocks.h"
#include "TextEncoding.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <cstring>
#include <optional>

namespace quillbox::profile {

inline const QString NewLineEnd = QStringLiteral("\r\n");

// The blanks the profile routines trim around names and values.
bool IsBlank(QChar c);
QStringView Trim(QStringView s);
bool SameName(QStringView a, QStringView b);

enum class LineKind { Blank, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    QStringView name;  // section or key name, trimmed
    QStringView value; // raw value, trimmed (quotes not yet removed)
    bool hasValue = false;
};

ParsedLine Parse(QStringView text);
QStringView StripQuotesView(QStringView value);
QString StripQuotes(QStringView value);
// A value that reading would change goes inside one pair of double quotes.
bool NeedsQuotes(QStringView value);
// Appends what EntryLine() makes, without building the line first.
void AppendEntryLine(QString& out, QStringView name, const QString& value);
// The 1-based position a trimmed key names when written as QString::number writes it, or -1.
qsizetype PositionKey(QStringView name);

// The same grammar on the bytes of a Windows-1252 or UTF-8 file, where CR, LF, the blanks, '[', ']',
// '=', the quotes and the digits are the same single bytes as in the text and no other byte sequence
// decodes to them, so lines, names and values can be found without decoding the file.
inline bool IsBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline QByteArrayView TrimBytes(QByteArrayView s) {
    const char* begin = s.data();
    const char* end = begin + s.size();
    while (begin != end && IsBlankByte(*begin))
        ++begin;
    while (end != begin && IsBlankByte(end[-1]))
        --end;
    return QByteArrayView(begin, end - begin);
}

// Where the line starting at `start` ends: the first CR or LF at or after it, or `n`. Inline, as are
// ParseBytes and ScanSectionBytes below: a side file has a line per entry, and calls per line were
// most of reading one.
inline qsizetype LineEndBytes(const char* data, qsizetype start, qsizetype n) {
    // Eight bytes at a time: lines are tens of bytes long.
    qsizetype i = start;
    for (; i + 8 <= n; i += 8) {
        quint64 block;
        std::memcpy(&block, data + i, 8);
        if (HasZeroByte(block ^ (OneInEachByte * '\n')) || HasZeroByte(block ^ (OneInEachByte * '\r')))
            break;
    }
    while (i < n && data[i] != '\r' && data[i] != '\n')
        ++i;
    return i;
}

struct ParsedBytes {
    LineKind kind = LineKind::Blank;
    QByteArrayView name;  // as ParsedLine's
    QByteArrayView value; // raw value, trimmed (quotes not yet removed)
    bool hasValue = false;
};

inline ParsedBytes ParseBytes(QByteArrayView line) {
    const QByteArrayView t = TrimBytes(line);
    if (t.isEmpty())
        return {};
    if (t.front() == '[') {
        qsizetype close = t.size() - 1;
        while (close >= 0 && t[close] != ']')
            --close;
        if (close > 0)
            return {LineKind::Section, TrimBytes(t.sliced(1, close - 1)), {}, false};
    }
    qsizetype equals = 0; // a few bytes in: a loop beats a library call here
    while (equals < t.size() && t[equals] != '=')
        ++equals;
    if (equals == t.size())
        return {LineKind::Key, t, {}, false};
    return {LineKind::Key, TrimBytes(t.first(equals)), TrimBytes(t.sliced(equals + 1)), true};
}
QByteArrayView StripQuotesBytes(QByteArrayView value);
// PositionKey() on bytes: only ASCII digits count, and no other byte decodes to one.
qsizetype PositionKeyBytes(QByteArrayView name);
// ASCII names, compared as SameName() compares them (case folding only maps A-Z there).
bool SameAsciiName(QByteArrayView name, QStringView wanted);

// ProfileFile::ScanSectionBytes() with the visitor called directly (see there).
template <typename Visit>
std::optional<ByteText> ScanSectionBytes(QByteArrayView bytes, const QString& section, Visit&& visit) {
    const std::optional<ByteText> byteText = ByteTextOf(bytes);
    const QStringView wanted = Trim(section);
    if (!byteText)
        return std::nullopt;
    for (const QChar c : wanted) {
        if (c.unicode() >= 0x80)
            return std::nullopt;
    }
    const QByteArrayView text = bytes.sliced(byteText->bodyStart);
    const char* data = text.data();
    const qsizetype n = text.size();
    bool inSection = false;
    qsizetype start = 0;
    while (start < n) {
        // Any run of CR/LF ends a line, as in ScanSection.
        const qsizetype end = LineEndBytes(data, start, n);
        const ParsedBytes parsed = ParseBytes(text.sliced(start, end - start));
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                break; // only the first matching section counts
            if (HasHighByte(parsed.name))
                return std::nullopt;
            inSection = SameAsciiName(parsed.name, wanted);
        } else if (inSection && parsed.kind == LineKind::Key) {
            visit(parsed.name, parsed.hasValue ? StripQuotesBytes(parsed.value) : QByteArrayView(),
                  parsed.hasValue);
        }
        start = end + 1;
    }
    return byteText;
}

} // namespace quillbox::profile
