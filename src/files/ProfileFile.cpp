#include "ProfileFile.h"

#include "ProfileLines.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace quillbox {

namespace {

using namespace profile;

const QString LoneCr = QStringLiteral("\r");
const QString LoneLf = QStringLiteral("\n");

QString EntryLine(QStringView name, const QString& value) {
    // A line break would end the entry and start a new line of its own, so none may get through.
    QString safe = value;
    safe.replace(u'\r', u' ').replace(u'\n', u' ');
    if (NeedsQuotes(safe))
        safe = QLatin1Char('"') + safe + QLatin1Char('"');
    return name.toString() + QLatin1Char('=') + safe;
}

QString KeyOf(QStringView name) {
    return name.toString().toLower();
}

// A lower-cased key with its hash computed once (FNV-1a over the UTF-16 code units, then mixed). The key
// indexes of SetValues hold every key of a section, one per library entry in a side file, and
// QHash's own string hash made them the slowest part of a save.
struct Key {
    QString name;
    size_t hash = 0;
    explicit Key(QString lowered) : name(std::move(lowered)) {
        quint64 h = 14695981039346656037ull;
        for (const QChar c : name) {
            h ^= c.unicode();
            h *= 1099511628211ull;
        }
        // Mixed so that the low bits, which pick the bucket, depend on every character.
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ull;
        hash = size_t(h ^ (h >> 33));
    }
    friend bool operator==(const Key& a, const Key& b) { return a.hash == b.hash && a.name == b.name; }
};

size_t qHash(const Key& key, size_t seed) {
    return key.hash ^ seed;
}

using KeyIndex = QHash<Key, qsizetype>;

} // namespace

ProfileFile ProfileFile::FromBytes(const QByteArray& bytes) {
    ProfileFile file;
    const DecodedText decoded = DecodeText(bytes);
    file.encoding_ = decoded.encoding;
    const QString& text = decoded.text;

    // Each line keeps its own terminator (CR LF, lone CR or lone LF), so that writing the file
    // back reproduces the lines we did not change exactly. Blank lines become lines of their own.
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            ++i;
            continue;
        }
        const qsizetype terminatorLength = (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ? 2 : 1;
        // The three possible terminators are shared strings rather than one allocation per line.
        const QString& terminator = terminatorLength == 2 ? NewLineEnd : c == u'\r' ? LoneCr : LoneLf;
        file.lines_.append({text.mid(start, i - start), terminator});
        i += terminatorLength;
        start = i;
    }
    if (start < n)
        file.lines_.append({text.mid(start), QString()});
    return file;
}

void ProfileFile::ScanSection(QStringView text, const QString& section, const KeyVisitor& visit) {
    const QStringView wanted = Trim(section);
    bool inSection = false;
    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n) {
        // Any run of CR/LF ends a line, as in FromBytes.
        qsizetype end = start;
        while (end < n && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const ParsedLine parsed = Parse(text.sliced(start, end - start));
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                return; // only the first matching section counts
            inSection = SameName(parsed.name, wanted);
        } else if (inSection && parsed.kind == LineKind::Key) {
            visit(parsed.name, parsed.hasValue ? StripQuotesView(parsed.value) : QStringView(),
                  parsed.hasValue);
        }
        start = end + 1;
    }
}

std::optional<ByteText> ProfileFile::ScanSectionBytes(QByteArrayView bytes, const QString& section,
                                                      const KeyBytesVisitor& visit) {
    return profile::ScanSectionBytes(bytes, section, visit);
}

QString ProfileFile::Value(const QString& section, const QString& key, const QString& defaultText) const {
    const QStringView wantedKey = Trim(key);
    bool inSection = false;
    for (const Line& line : lines_) {
        const ParsedLine parsed = Parse(line.text);
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                break; // only the first matching section counts
            inSection = SameName(parsed.name, Trim(section));
        } else if (inSection && parsed.kind == LineKind::Key && SameName(parsed.name, wantedKey)) {
            return parsed.hasValue ? StripQuotes(parsed.value) : defaultText;
        }
    }
    return defaultText;
}

QHash<QString, QString> ProfileFile::SectionValues(const QString& section) const {
    QHash<QString, QString> values;
    bool inSection = false;
    for (const Line& line : lines_) {
        const ParsedLine parsed = Parse(line.text);
        if (parsed.kind == LineKind::Section) {
            if (inSection)
                break;
            inSection = SameName(parsed.name, Trim(section));
        } else if (inSection && parsed.kind == LineKind::Key) {
            // A key without '=' maps to a null string: it hides later keys of the same name and
            // reads as the default.
            const QString name = KeyOf(parsed.name);
            if (!values.contains(name))
                values.insert(name, parsed.hasValue ? StripQuotes(parsed.value) : QString());
        }
    }
    return values;
}

void ProfileFile::SetValue(const QString& section, const QString& key, const QString& value) {
    SetValues(section, {{key, value}});
}

void ProfileFile::SetValues(const QString& section, const QList<std::pair<QString, QString>>& entries) {
    if (entries.isEmpty())
        return;

    // Find the first matching section and index its keys once (first occurrence of each name).
    qsizetype header = -1;
    qsizetype lastNonBlank = -1;
    KeyIndex keyLines;
    keyLines.reserve(lines_.size());
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const ParsedLine parsed = Parse(lines_[i].text);
        if (parsed.kind == LineKind::Section) {
            if (header >= 0)
                break;
            if (SameName(parsed.name, Trim(section))) {
                header = i;
                lastNonBlank = i;
            }
        } else if (header >= 0 && parsed.kind == LineKind::Key) {
            Key key(KeyOf(parsed.name));
            if (!keyLines.contains(key)) // the first line of a key is the one that counts
                keyLines.insert(std::move(key), i);
            lastNonBlank = i;
        }
    }

    // Existing keys change in place; new keys are collected in order, a repeated new key keeping its
    // first position, exactly as one write after the other would leave them.
    QList<Line> added;
    KeyIndex addedLines;
    for (const auto& [rawKey, value] : entries) {
        const QStringView name = Trim(rawKey);
        const Key lowered(KeyOf(name));
        if (const auto it = keyLines.constFind(lowered); it != keyLines.cend()) {
            Line& line = lines_[it.value()];
            line.text = EntryLine(Parse(line.text).name, value);
        } else if (const auto at = addedLines.constFind(lowered); at != addedLines.cend()) {
            Line& line = added[at.value()];
            line.text = EntryLine(Parse(line.text).name, value); // keeps the spelling first written
        } else {
            addedLines.insert(lowered, added.size());
            added.append({EntryLine(name, value), NewLineEnd});
        }
        if (encoding_ == TextEncoding::Cp1252 && !(FitsCp1252(rawKey) && FitsCp1252(value)))
            encoding_ = TextEncoding::Utf8Bom;
    }
    if (added.isEmpty())
        return;

    if (header < 0) {
        if (encoding_ == TextEncoding::Cp1252 && !FitsCp1252(section))
            encoding_ = TextEncoding::Utf8Bom;
        if (!lines_.isEmpty() && lines_.back().terminator.isEmpty())
            lines_.back().terminator = NewLineEnd;
        lines_.append({QLatin1Char('[') + Trim(section).toString() + QLatin1Char(']'), NewLineEnd});
        lines_.append(added);
        return;
    }

    // New keys go right after the section's last non-blank line, before any blank lines that
    // separate it from the next section.
    if (lines_[lastNonBlank].terminator.isEmpty())
        lines_[lastNonBlank].terminator = NewLineEnd;
    QList<Line> merged;
    merged.reserve(lines_.size() + added.size());
    merged.append(lines_.first(lastNonBlank + 1));
    merged.append(added);
    merged.append(lines_.sliced(lastNonBlank + 1));
    lines_ = std::move(merged);
}

QByteArray ProfileFile::ToBytes() const {
    qsizetype total = 0;
    for (const Line& line : lines_)
        total += line.text.size() + line.terminator.size();
    QString text;
    text.reserve(total);
    for (const Line& line : lines_) {
        text += line.text;
        text += line.terminator;
    }
    TextEncoding encoding = encoding_;
    if (encoding == TextEncoding::Cp1252) {
        // Stays Windows-1252 while every character fits; otherwise UTF-8 with a BOM.
        if (std::optional<QByteArray> cp1252 = TryEncodeCp1252(text))
            return *cp1252;
        encoding = TextEncoding::Utf8Bom;
    }
    return EncodeText(text, encoding);
}

} // namespace quillbox
