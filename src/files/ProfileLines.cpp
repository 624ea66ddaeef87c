#include "ProfileLines.h"

#include <cstring>

namespace quillbox::profile {

// The blanks the profile routines trim around names and values.
bool IsBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\v' || u == u'\f' || u == u'\r';
}

QStringView Trim(QStringView s) {
    while (!s.isEmpty() && IsBlank(s.front()))
        s = s.sliced(1);
    while (!s.isEmpty() && IsBlank(s.back()))
        s.chop(1);
    return s;
}

bool SameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

ParsedLine Parse(QStringView text) {
    const QStringView t = Trim(text);
    if (t.isEmpty())
        return {};
    if (t.front() == u'[') {
        // The name runs to the LAST ']' of the line; a '[' line without one is an ordinary key.
        const qsizetype close = t.lastIndexOf(u']');
        if (close > 0)
            return {LineKind::Section, Trim(t.sliced(1, close - 1)), {}, false};
    }
    const qsizetype equals = t.indexOf(u'=');
    if (equals < 0)
        return {LineKind::Key, t, {}, false};
    return {LineKind::Key, Trim(t.first(equals)), Trim(t.sliced(equals + 1)), true};
}

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

QStringView StripQuotesView(QStringView value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

QString StripQuotes(QStringView value) {
    return StripQuotesView(value).toString();
}

// A value that reading would change (trimmed blanks, a stripped pair of quotes) goes inside one
// pair of double quotes, which the reader removes again. Any space character counts here, not just
// the ones our reader trims, since other readers may trim more.
bool NeedsQuotes(QStringView value) {
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace() || IsBlank(value.front()) || IsBlank(value.back()))
        return true;
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

// Appends what EntryLine() makes, without building the line first.
void AppendEntryLine(QString& out, QStringView name, const QString& value) {
    out += name;
    out += QLatin1Char('=');
    QString safe = value; // shared; copied only when a line break has to go
    if (safe.contains(u'\r') || safe.contains(u'\n'))
        safe.replace(u'\r', u' ').replace(u'\n', u' ');
    if (NeedsQuotes(safe)) {
        out += QLatin1Char('"');
        out += safe;
        out += QLatin1Char('"');
    } else {
        out += safe;
    }
}

// The 1-based position a trimmed key names when written as QString::number writes it, or -1.
qsizetype PositionKey(QStringView name) {
    if (name.isEmpty() || name.size() > 18 || name.front() == u'0')
        return -1;
    qsizetype value = 0;
    for (const QChar c : name) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// --- The grammar on bytes ------------------------------------------------------------------------

QByteArrayView StripQuotesBytes(QByteArrayView value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

qsizetype PositionKeyBytes(QByteArrayView name) {
    if (name.isEmpty() || name.size() > 18 || name.front() == '0')
        return -1;
    qsizetype value = 0;
    for (const char c : name) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool SameAsciiName(QByteArrayView name, QStringView wanted) {
    if (name.size() != wanted.size())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const auto lower = [](char16_t c) {
            return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
        };
        if (lower(char16_t(quint8(name[i]))) != lower(wanted[i].unicode()))
            return false;
    }
    return true;
}

} // namespace quillbox::profile
