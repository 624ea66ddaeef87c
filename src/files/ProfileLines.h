#pragma once

// The line grammar of profile (INI) files, shared by ProfileFile's reader, its writer and its
// numbered-values writer. For ProfileFile's own files.

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

} // namespace quillbox::profile
