// ProfileFile::SetNumberedValues(): the one-pass writer of a side file's numbered descriptions.

#include "ProfileFile.h"
#include "ProfileLines.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace quillbox {

using namespace profile;

namespace {

// The general writer: decodes the whole file and encodes it again. The byte writer below falls back to it.
QByteArray SetNumberedValuesText(const QByteArray& bytes, const QString& section, qsizetype count,
                                 const std::function<QString(qsizetype)>& value) {
    const DecodedText decoded = DecodeText(bytes);
    const QStringView text = decoded.text;
    const QStringView wanted = Trim(section);
    const qsizetype n = text.size();

    // Lines are split as FromBytes splits them. Found: the first line of each position in the first
    // matching section, and where SetValues puts new keys (after the section's last non-blank line).
    struct Found {
        qsizetype start;
        qsizetype end;
        qsizetype position;
    };
    std::vector<Found> found;
    std::vector<bool> seen(size_t(count + 1), false);
    bool sectionFound = false;
    qsizetype insertAt = -1;
    bool lastLineOpen = false; // the line before insertAt has no terminator (the file's last line)
    for (qsizetype start = 0; start < n;) {
        qsizetype end = start;
        while (end < n && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        qsizetype next = end;
        if (end < n)
            next += (text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n') ? 2 : 1;
        const ParsedLine parsed = Parse(text.sliced(start, end - start));
        if (parsed.kind == LineKind::Section) {
            if (sectionFound)
                break;
            if (SameName(parsed.name, wanted)) {
                sectionFound = true;
                insertAt = next;
                lastLineOpen = next == end;
            }
        } else if (sectionFound && parsed.kind == LineKind::Key) {
            const qsizetype position = PositionKey(parsed.name);
            if (position >= 1 && position <= count && !seen[size_t(position)]) {
                seen[size_t(position)] = true;
                found.push_back({start, end, position});
            }
            insertAt = next;
            lastLineOpen = next == end;
        }
        start = next;
    }

    QString out;
    out.reserve(n + count * 24 + 32);
    qsizetype copied = 0;
    for (const Found& f : found) {
        out += text.sliced(copied, f.start - copied);
        AppendEntryLine(out, Parse(text.sliced(f.start, f.end - f.start)).name, value(f.position));
        copied = f.end;
    }
    const bool anyNew = qsizetype(found.size()) < count;
    if (anyNew) {
        if (sectionFound) {
            out += text.sliced(copied, insertAt - copied);
            copied = insertAt;
            if (lastLineOpen)
                out += NewLineEnd;
        } else {
            out += text.sliced(copied);
            copied = n;
            if (n > 0 && text.back() != u'\r' && text.back() != u'\n')
                out += NewLineEnd;
            out += QLatin1Char('[') + wanted + QLatin1Char(']') + NewLineEnd;
        }
        for (qsizetype position = 1; position <= count; ++position) {
            if (seen[size_t(position)])
                continue;
            AppendEntryLine(out, QString::number(position), value(position));
            out += NewLineEnd;
        }
    }
    out += text.sliced(copied);

    TextEncoding encoding = decoded.encoding;
    if (encoding == TextEncoding::Cp1252) {
        // Stays Windows-1252 while every character fits; otherwise UTF-8 with a BOM.
        if (std::optional<QByteArray> cp1252 = TryEncodeCp1252(out))
            return *cp1252;
        encoding = TextEncoding::Utf8Bom;
    }
    return EncodeText(out, encoding);
}

// --- The byte writer ---------------------------------------------------------------------------
// Side files are Windows-1252 or UTF-8, where CR, LF, the blanks, '[', ']', '=' and the digits are
// the same single bytes as in the text and no other byte sequence decodes to them. Lines, section
// headers and position keys can then be found on the bytes, untouched lines copied as they are, and
// only the new values encoded: decoding and encoding a whole 100,000-entry file cost most of a save.

// Appends the value part of what AppendEntryLine() makes, in the file's encoding. False when a
// Windows-1252 file cannot hold it (the whole file then becomes UTF-8, which the text writer does).
bool AppendEntryValueBytes(QByteArray& out, const QString& value, TextEncoding encoding) {
    const char16_t* units = reinterpret_cast<const char16_t*>(value.constData());
    const qsizetype n = value.size();
    bool plain = true; // ASCII without line breaks: the same bytes in both encodings
    for (qsizetype i = 0; i < n && plain; ++i)
        plain = units[i] < 0x80 && units[i] != u'\r' && units[i] != u'\n';
    if (plain && !NeedsQuotes(value)) {
        const qsizetype at = out.size();
        out.resize(at + n);
        char* to = out.data() + at;
        for (qsizetype i = 0; i < n; ++i)
            to[i] = char(units[i]);
        return true;
    }
    QString safe = value;
    if (safe.contains(u'\r') || safe.contains(u'\n'))
        safe.replace(u'\r', u' ').replace(u'\n', u' ');
    if (NeedsQuotes(safe))
        safe = QLatin1Char('"') + safe + QLatin1Char('"');
    if (encoding == TextEncoding::Cp1252) {
        const std::optional<QByteArray> cp1252 = TryEncodeCp1252(safe);
        if (!cp1252)
            return false;
        out += *cp1252;
    } else {
        out += safe.toUtf8();
    }
    return true;
}

// SetNumberedValuesText() on the bytes of a Windows-1252 or UTF-8 file, or nullopt whenever the
// result might differ from it: UTF-16, a BOM file with bytes that are not UTF-8 or a second BOM, a
// non-ASCII section header or key name (Unicode case folding could make it match), or a value that a
// Windows-1252 file cannot hold. Values are only copied, never parsed, so non-ASCII text in them is
// fine.
// Whether a value stored as `stored` in a file of `encoding`, when the text it encodes is written
// again by AppendEntryValueBytes(), comes out as the same bytes: when it needs no quotes, which
// NeedsQuotes() decides on its first and last characters alone (and whether there are two), decoded
// here on their own. A Windows-1252 file whose bytes would then read as UTF-8 is caught on the whole
// file below, as a new value's would be.
bool WrittenBackAsIs(QByteArrayView stored, TextEncoding encoding) {
    if (stored.isEmpty())
        return true;
    qsizetype firstBytes = 1;
    qsizetype lastStart = stored.size() - 1;
    if (encoding != TextEncoding::Cp1252) { // a UTF-8 character runs on over its continuation bytes
        while (firstBytes < stored.size() && (uchar(stored[firstBytes]) & 0xC0) == 0x80)
            ++firstBytes;
        while (lastStart > 0 && (uchar(stored[lastStart]) & 0xC0) == 0x80)
            --lastStart;
    }
    QChar ends[8];
    QChar* end = DecodeSliceInto(ends, stored.first(firstBytes), encoding);
    if (firstBytes < stored.size())
        end = DecodeSliceInto(end, stored.sliced(std::max(lastStart, firstBytes)), encoding);
    return !NeedsQuotes(QStringView(ends, end - ends));
}

std::optional<QByteArray> SetNumberedValuesBytes(const QByteArray& bytes, const QString& section,
                                                 qsizetype count,
                                                 const std::function<QString(qsizetype)>& value,
                                                 const ProfileFile::StoredCheck& storedAs) {
    const QStringView wanted = Trim(section);
    for (const QChar c : wanted) {
        if (c.unicode() >= 0x80)
            return std::nullopt;
    }
    const QByteArrayView all(bytes);
    const std::optional<ByteText> byteText = ByteTextOf(all);
    if (!byteText)
        return std::nullopt;
    const TextEncoding encoding = byteText->encoding;
    const qsizetype bodyStart = byteText->bodyStart;
    const QByteArrayView text = all.sliced(bodyStart);
    const char* data = text.data();
    const qsizetype n = text.size();

    // The same walk as SetNumberedValuesText(), on byte offsets.
    struct Found {
        qsizetype start;
        qsizetype end;
        qsizetype nameStart;
        qsizetype nameSize;
        qsizetype position;
    };
    std::vector<Found> found;
    found.reserve(size_t(std::min(count, n / 4 + 1))); // grown once, not step by step
    std::vector<bool> seen(size_t(count + 1), false);
    bool sectionFound = false;
    qsizetype insertAt = -1;
    bool lastLineOpen = false;
    for (qsizetype start = 0; start < n;) {
        const qsizetype end = LineEndBytes(data, start, n);
        qsizetype next = end;
        if (end < n)
            next += (data[end] == '\r' && end + 1 < n && data[end + 1] == '\n') ? 2 : 1;
        const QByteArrayView line = text.sliced(start, end - start);
        const ParsedBytes parsed = ParseBytes(line);
        if (parsed.kind == LineKind::Section) {
            if (HasHighByte(line))
                return std::nullopt;
            if (sectionFound)
                break;
            if (SameAsciiName(parsed.name, wanted)) {
                sectionFound = true;
                insertAt = next;
                lastLineOpen = next == end;
            }
        } else if (sectionFound && parsed.kind == LineKind::Key) {
            if (HasHighByte(parsed.name))
                return std::nullopt;
            const qsizetype position = PositionKeyBytes(parsed.name);
            if (position >= 1 && position <= count && !seen[size_t(position)]) {
                seen[size_t(position)] = true;
                found.push_back(
                    {start, end, qsizetype(parsed.name.data() - data), parsed.name.size(), position});
            }
            insertAt = next;
            lastLineOpen = next == end;
        }
        start = next;
    }

    QByteArray out;
    out.reserve(all.size() + count * 24 + 32);
    out.append(all.first(bodyStart));
    qsizetype copied = 0;
    for (const Found& f : found) {
        // "name=value" with nothing between: kept as it is when it already holds the value. A kept
        // line without blanks before its name is copied with the lines around it, in one piece.
        const qsizetype valueStart = f.nameStart + f.nameSize + 1;
        if (storedAs && valueStart <= f.end && data[valueStart - 1] == '=') {
            const QByteArrayView stored = text.sliced(valueStart, f.end - valueStart);
            if (WrittenBackAsIs(stored, encoding) && storedAs(f.position, stored, encoding)) {
                if (f.nameStart != f.start) {
                    out.append(text.sliced(copied, f.start - copied));
                    out.append(text.sliced(f.nameStart, f.end - f.nameStart));
                    copied = f.end;
                }
                continue;
            }
        }
        out.append(text.sliced(copied, f.start - copied)); // blanks before the name go, as in Parse()
        copied = f.end;
        out.append(text.sliced(f.nameStart, f.nameSize));
        out.append('=');
        if (!AppendEntryValueBytes(out, value(f.position), encoding))
            return std::nullopt;
    }
    const bool anyNew = qsizetype(found.size()) < count;
    if (anyNew) {
        if (sectionFound) {
            out.append(text.sliced(copied, insertAt - copied));
            copied = insertAt;
            if (lastLineOpen)
                out.append("\r\n");
        } else {
            out.append(text.sliced(copied));
            copied = n;
            if (n > 0 && text.back() != '\r' && text.back() != '\n')
                out.append("\r\n");
            out.append('[');
            out.append(wanted.toLatin1());
            out.append("]\r\n");
        }
        for (qsizetype position = 1; position <= count; ++position) {
            if (seen[size_t(position)])
                continue;
            out.append(QByteArray::number(position));
            out.append('=');
            if (!AppendEntryValueBytes(out, value(position), encoding))
                return std::nullopt;
            out.append("\r\n");
        }
    }
    out.append(text.sliced(copied));
    if (encoding == TextEncoding::Cp1252) {
        // Windows-1252 bytes that happen to form UTF-8 would read back as other text; the text
        // writer then chooses UTF-8 with a BOM.
        bool outHasNonAscii = false;
        if (IsStrictUtf8(out, &outHasNonAscii) && outHasNonAscii)
            return std::nullopt;
    }
    return out;
}

} // namespace

QByteArray ProfileFile::SetNumberedValues(const QByteArray& bytes, const QString& section, qsizetype count,
                                          const std::function<QString(qsizetype)>& value,
                                          const StoredCheck& storedAs) {
    if (std::optional<QByteArray> written = SetNumberedValuesBytes(bytes, section, count, value, storedAs))
        return *written;
    return SetNumberedValuesText(bytes, section, count, value);
}

} // namespace quillbox
