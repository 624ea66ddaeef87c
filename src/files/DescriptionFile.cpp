#include "DescriptionFile.h"

#include "FileAccess.h"
#include "ProfileFile.h"

#include <algorithm>

namespace quillbox {

namespace {
const QString LineBreakCode = QStringLiteral("&*&");
} // namespace

QString EncodeLineBreaks(const QString& description) {
    if (!description.contains(u'\r') && !description.contains(u'\n'))
        return description; // nothing to code: shared, not copied
    // Runs between line breaks are copied whole; a break (CR LF, or a lone CR or LF) becomes the code.
    QString value;
    value.reserve(description.size() + 16);
    const QStringView text = description;
    const qsizetype n = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        value += text.sliced(runStart, i - runStart);
        value += LineBreakCode;
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i; // CR LF is one line break
        runStart = i + 1;
    }
    value += text.sliced(runStart);
    return value;
}

QString DecodeLineBreaks(const QString& value) {
    QString description = value;
    description.replace(LineBreakCode, QStringLiteral("\r\n"));
    return description;
}

QString ReadDescription(const QString& section, const QString& keyName, const QString& defaultText,
                        const QString& iniFile) {
    QByteArray bytes;
    try {
        bytes = ReadFileAsString(iniFile);
    } catch (const FileError&) {
        return defaultText; // reading a description never fails
    }
    return ProfileFile::FromBytes(bytes).Value(section, keyName, defaultText);
}

DescriptionReader::DescriptionReader(const QString& iniFile) {
    try {
        *this = FromBytes(ReadFileAsString(iniFile));
    } catch (const FileError&) {
        // No side file, or one we cannot read: every description is empty.
    }
}

namespace {

// The number a key names when it is written as QString::number writes one: an optional '-', digits,
// no leading zero. Other keys can never be asked for by position.
std::optional<qsizetype> PositionOf(QStringView key) {
    QStringView digits = key;
    const bool negative = !digits.isEmpty() && digits.front() == u'-';
    if (negative)
        digits = digits.sliced(1);
    if (digits.isEmpty() || digits.size() > 18 || (digits.front() == u'0' && (digits.size() > 1 || negative)))
        return std::nullopt;
    qsizetype value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -value : value;
}

} // namespace

DescriptionReader DescriptionReader::FromBytes(const QByteArray& bytes, std::optional<qsizetype> count) {
    // One pass over the text that keeps only where each value is: a side file of 100,000 entries
    // loads without building a line list or a hash of them.
    DescriptionReader reader;
    reader.text_ = DecodeText(bytes).text;
    reader.entries_.reserve(size_t(std::count(bytes.begin(), bytes.end(), '\n')) + 1); // about one a line
    const QChar* base = reader.text_.constData();
    bool sorted = true;
    std::vector<bool> seen(count ? size_t(std::max<qsizetype>(*count, 0)) + 1 : 0);
    ProfileFile::ScanSection(reader.text_, DescriptionSection, [&](QStringView key, QStringView value, bool) {
        const std::optional<qsizetype> position = PositionOf(key);
        if (!position)
            return;
        if (count) {
            if (*position < 1 || *position > *count || seen[size_t(*position)])
                return;
            seen[size_t(*position)] = true;
        }
        if (!reader.entries_.empty() && *position <= reader.entries_.back().position)
            sorted = false;
        reader.entries_.push_back({*position, value.data() ? value.data() - base : 0, value.size()});
    });
    if (!sorted) {
        // The first line of a key is the one that counts.
        std::stable_sort(reader.entries_.begin(), reader.entries_.end(),
                         [](const Entry& a, const Entry& b) { return a.position < b.position; });
        reader.entries_.erase(
            std::unique(reader.entries_.begin(), reader.entries_.end(),
                        [](const Entry& a, const Entry& b) { return a.position == b.position; }),
            reader.entries_.end());
    }
    return reader;
}

QStringList DescriptionReader::DescArray(qsizetype count) const {
    QStringList descriptions;
    descriptions.reserve(count + 1);
    descriptions.append(QString());
    for (qsizetype i = 1; i <= count; ++i)
        descriptions.append(Description(i));
    return descriptions;
}

const DescriptionReader::Entry* DescriptionReader::Find(qsizetype position1) const {
    // A file of keys 1..N in order (what a save writes) finds each one at once.
    auto it = entries_.begin();
    if (position1 >= 1 && position1 <= qsizetype(entries_.size()) &&
        entries_[size_t(position1 - 1)].position == position1)
        it += position1 - 1;
    else
        it = std::lower_bound(entries_.begin(), entries_.end(), position1,
                              [](const Entry& e, qsizetype p) { return e.position < p; });
    return it == entries_.end() || it->position != position1 ? nullptr : &*it;
}

QString DescriptionReader::Description(qsizetype position1) const {
    const Entry* entry = Find(position1);
    if (!entry)
        return QString();
    const QStringView value = QStringView(text_).sliced(entry->start, entry->length);
    QString description = value.toString();
    if (value.contains(u'&'))
        description.replace(LineBreakCode, QStringLiteral("\r\n")); // in place: the string is ours alone
    return description;
}

void DescriptionReader::AppendDescription(qsizetype position1, QByteArray& utf8) const {
    const Entry* entry = Find(position1);
    if (!entry)
        return;
    const QStringView value = QStringView(text_).sliced(entry->start, entry->length);
    if (value.contains(LineBreakCode)) {
        utf8 += Description(position1).toUtf8();
        return;
    }
    // Most descriptions are ASCII: one byte a character, no conversion needed.
    const qsizetype at = utf8.size();
    utf8.resize(at + value.size());
    char* out = utf8.data() + at;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        if (c >= 0x80) {
            utf8.resize(at);
            utf8 += value.toUtf8();
            return;
        }
        out[i] = char(c);
    }
}

std::optional<QByteArray> BuildSideFile(const std::optional<QByteArray>& existing,
                                        const QStringList& descriptions, qsizetype count) {
    if (count <= 0)
        return existing; // no entry to write: an existing file stays exactly as it is
    return ProfileFile::SetNumberedValues(
        existing.value_or(QByteArray()), DescriptionSection, count,
        [&](qsizetype i) { return EncodeLineBreaks(descriptions.value(i)); });
}

} // namespace quillbox
