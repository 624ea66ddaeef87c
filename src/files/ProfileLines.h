#pragma once

// The line grammar of profile (INI) files, shared by ProfileFile's reader, its writer and its
// numbered-values writer. For ProfileFile's own files.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

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
bool HasHighByte(QByteArrayView s);
// Where the line starting at `start` ends: the first CR or LF at or after it, or `n`.
qsizetype LineEndBytes(const char* data, qsizetype start, qsizetype n);

struct ParsedBytes {
    LineKind kind = LineKind::Blank;
    QByteArrayView name;  // as ParsedLine's
    QByteArrayView value; // raw value, trimmed (quotes not yet removed)
    bool hasValue = false;
};
ParsedBytes ParseBytes(QByteArrayView line);
QByteArrayView StripQuotesBytes(QByteArrayView value);
// PositionKey() on bytes: only ASCII digits count, and no other byte decodes to one.
qsizetype PositionKeyBytes(QByteArrayView name);
// ASCII names, compared as SameName() compares them (case folding only maps A-Z there).
bool SameAsciiName(QByteArrayView name, QStringView wanted);

} // namespace quillbox::profile
