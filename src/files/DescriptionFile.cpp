#include "DescriptionFile.h"

#include "FileAccess.h"
#include "ProfileFile.h"
#include "ProfileLines.h"

#include <algorithm>
#include <cstring>

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

char16_t CodeUnit(QChar c) {
    return c.unicode();
}
char16_t CodeUnit(char c) {
    return quint8(c);
}

// The number a key names when it is written as QString::number writes one: an optional '-', digits,
// no leading zero. Other keys can never be asked for by position. The same on text and on bytes.
template <typename View> std::optional<qsizetype> PositionOf(View key) {
    View digits = key;
    const bool negative = !digits.isEmpty() && CodeUnit(digits.front()) == u'-';
    if (negative)
        digits = digits.sliced(1);
    if (digits.isEmpty() || digits.size() > 18 ||
        (CodeUnit(digits.front()) == u'0' && (digits.size() > 1 || negative)))
        return std::nullopt;
    qsizetype value = 0;
    for (const auto c : digits) {
        const char16_t unit = CodeUnit(c);
        if (unit < u'0' || unit > u'9')
            return std::nullopt;
        value = value * 10 + (unit - u'0');
    }
    return negative ? -value : value;
}

// Every "&*&" becomes CR LF, left to right as QString::replace finds them, in the text's own buffer
// (it only gets shorter): no search object and no second string per description. Returns the new length.
qsizetype DecodeLineBreaksInPlace(char16_t* units, qsizetype n, qsizetype firstAmpersand = 0) {
    qsizetype out = firstAmpersand;
    for (qsizetype i = firstAmpersand; i < n;) {
        if (units[i] == u'&' && i + 2 < n && units[i + 1] == u'*' && units[i + 2] == u'&') {
            units[out++] = u'\r';
            units[out++] = u'\n';
            i += 3;
        } else {
            units[out++] = units[i++];
        }
    }
    return out;
}

} // namespace

DescriptionReader DescriptionReader::FromBytes(const QByteArray& bytes, std::optional<qsizetype> count) {
    // One pass that keeps only where each value is: a side file of 100,000 entries loads without
    // building a line list or a hash of them. Windows-1252 and UTF-8 files are read on their bytes
    // and not decoded here at all.
    DescriptionReader reader;
    bool sorted = true;
    std::vector<bool> seen;
    const auto start = [&] {
        reader.entries_.clear();
        reader.entries_.reserve(size_t(count ? std::max<qsizetype>(*count, 0) : bytes.size() / 32));
        seen.assign(count ? size_t(std::max<qsizetype>(*count, 0)) + 1 : 0, false);
        sorted = true;
    };
    const auto keep = [&](std::optional<qsizetype> position, qsizetype at, qsizetype length) {
        if (!position)
            return;
        if (count) {
            if (*position < 1 || *position > *count || seen[size_t(*position)])
                return;
            seen[size_t(*position)] = true;
        }
        if (!reader.entries_.empty() && *position <= reader.entries_.back().position)
            sorted = false;
        reader.entries_.push_back({*position, at, length});
    };

    start();
    const char* bytesBase = bytes.constData();
    const std::optional<ByteText> byteText = profile::ScanSectionBytes(
        bytes, DescriptionSection, [&](QByteArrayView key, QByteArrayView value, bool) {
            keep(PositionOf(key), value.data() ? value.data() - bytesBase : 0, value.size());
        });
    if (byteText) {
        reader.bytes_ = bytes;
        reader.bytesEncoding_ = byteText->encoding;
    } else {
        start();
        reader.text_ = DecodeText(bytes).text;
        const QChar* base = reader.text_.constData();
        ProfileFile::ScanSection(
            reader.text_, DescriptionSection, [&](QStringView key, QStringView value, bool) {
                keep(PositionOf(key), value.data() ? value.data() - base : 0, value.size());
            });
    }
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

const DescriptionReader::Entry* DescriptionReader::Find(qsizetype position1) const {
    // A file of keys 1..N in order (what a save writes) finds each one at once.
    auto it = entries_.begin();
    if (position1 >= 1 && position1 <= qsizetype(entries_.size()) &&
        entries_[size_t(position1 - 1)].position == position1)
        it += position1 - 1;
    else
        it = std::lower_bound(entries_.begin(), entries_.end(), position1,
                              [](const Entry& e, qsizetype p) { return e.position < p; });
    if (it == entries_.end() || it->position != position1 || it->length == 0)
        return nullptr;
    return &*it;
}

QStringList DescriptionReader::DescArray(qsizetype count) const {
    // The descriptions are slices of one buffer that they share: a Windows-1252 file decoded whole,
    // or the values alone decoded one after the other. A library of 100,000 entries then loads
    // without 100,000 allocations (and frees them at once). Each slice ends in a null character, as
    // every string's data does; editing a description gives it a buffer of its own, and the shared
    // one goes with the last description that still uses it.
    struct Slice {
        qsizetype start = 0;
        qsizetype length = 0;
    };
    std::vector<Slice> slices(size_t(std::max<qsizetype>(count, 0)) + 1);
    QString buffer;
    qsizetype used = 0;
    qsizetype shared = 0;
    const bool wholeFile = bytesEncoding_ == TextEncoding::Cp1252;
    if (wholeFile) {
        buffer = DecodeSlice(bytes_, TextEncoding::Cp1252); // one character a byte: the same offsets
    } else {
        qsizetype units = 0;
        for (qsizetype i = 1; i <= count; ++i) {
            if (const Entry* entry = Find(i))
                units += entry->length + 1; // UTF-8 never decodes to more units than it has bytes
        }
        buffer = QString(units, Qt::Uninitialized);
    }
    QChar* out = buffer.data();
    for (qsizetype i = 1; i <= count; ++i) {
        const Entry* entry = Find(i);
        if (!entry)
            continue;
        Slice& slice = slices[size_t(i)];
        bool coded = false;
        qsizetype firstAmpersand = 0;
        if (bytesEncoding_) {
            const QByteArrayView value = QByteArrayView(bytes_).sliced(entry->start, entry->length);
            const void* ampersand = std::memchr(value.data(), '&', size_t(value.size()));
            coded = ampersand != nullptr;
            if (wholeFile && coded)
                firstAmpersand = static_cast<const char*>(ampersand) - value.data(); // one unit a byte
            if (wholeFile) {
                slice = {entry->start, entry->length};
            } else {
                slice.start = used;
                slice.length = DecodeSliceInto(out + used, value, *bytesEncoding_) - (out + used);
                used += slice.length + 1;
            }
        } else {
            const QStringView value = QStringView(text_).sliced(entry->start, entry->length);
            coded = value.contains(u'&');
            std::copy(value.begin(), value.end(), out + used);
            slice = {used, value.size()};
            used += slice.length + 1;
        }
        if (coded) // decoded in place: the text only gets shorter, and the buffer is still ours alone
            slice.length = DecodeLineBreaksInPlace(reinterpret_cast<char16_t*>(out + slice.start),
                                                   slice.length, firstAmpersand);
        // The unit after a value is its line's own (a quote, a blank, the line break) or the
        // buffer's terminator, never part of another value.
        out[slice.start + slice.length] = QChar(u'\0');
        if (slice.length > 0)
            ++shared;
    }

    QStringList descriptions(std::max<qsizetype>(count, 0) + 1); // all null until set below
    QString* list = descriptions.data();
    QString::DataPointer& data = buffer.data_ptr();
    // Each slice adopts one reference; the buffer keeps its own until it goes out of scope. Set at
    // once: counting them up one by one is an atomic operation per description.
    if (shared > 0)
        data.d_ptr()->ref_.storeRelaxed(int(shared) + 1);
    for (qsizetype i = 1; i <= count; ++i) {
        const Slice& slice = slices[size_t(i)];
        if (slice.length > 0)
            list[i] = QString(QString::DataPointer(data.d_ptr(), data.data() + slice.start, slice.length));
    }
    return descriptions;
}

QString DescriptionReader::Description(qsizetype position1) const {
    const Entry* entry = Find(position1);
    if (!entry)
        return QString();
    QString description;
    bool coded = false;
    if (bytesEncoding_) {
        const QByteArrayView value = QByteArrayView(bytes_).sliced(entry->start, entry->length);
        description = DecodeSlice(value, *bytesEncoding_);
        coded = std::memchr(value.data(), '&', size_t(value.size())) != nullptr;
    } else {
        const QStringView value = QStringView(text_).sliced(entry->start, entry->length);
        description = value.toString();
        coded = value.contains(u'&');
    }
    if (coded) // the string is ours alone
        description.truncate(
            DecodeLineBreaksInPlace(reinterpret_cast<char16_t*>(description.data()), description.size()));
    return description;
}

void DescriptionReader::AppendDescription(qsizetype position1, QByteArray& utf8) const {
    const Entry* entry = Find(position1);
    if (!entry)
        return;
    // An ASCII value without line breaks is the same bytes in every encoding read on its bytes.
    if (bytesEncoding_) {
        const QByteArrayView value = QByteArrayView(bytes_).sliced(entry->start, entry->length);
        if (std::none_of(value.begin(), value.end(), [](char c) { return c == '&' || uchar(c) >= 0x80; })) {
            utf8 += value;
            return;
        }
    }
    utf8 += Description(position1).toUtf8();
}

namespace {

// Whether `stored`, a value's bytes in a side file of `encoding`, are EncodeLineBreaks(description)
// in that encoding: compared a run between line breaks at a time, nothing made. Most of a save's
// descriptions are the ones the file already holds.
bool StoredAs(QStringView description, QByteArrayView stored, TextEncoding encoding) {
    const qsizetype n = description.size();
    const auto next = [&](char16_t c, qsizetype from) { // the next CR or LF, found in one search; n: none
        const qsizetype found = from < n ? description.indexOf(QChar(c), from) : -1;
        return found < 0 ? n : found;
    };
    qsizetype nextCr = next(u'\r', 0);
    qsizetype nextLf = next(u'\n', 0);
    qsizetype at = 0;
    qsizetype runStart = 0;
    for (;;) {
        qsizetype i = std::min(nextCr, nextLf);
        const qsizetype used =
            EncodedPrefixLength(description.sliced(runStart, i - runStart), stored.sliced(at), encoding);
        if (used < 0)
            return false;
        at += used;
        if (i == n)
            return at == stored.size();
        if (!stored.sliced(at).startsWith("&*&"))
            return false;
        at += 3;
        if (description[i] == u'\r' && i + 1 < n && description[i + 1] == u'\n')
            ++i; // CR LF is one line break
        runStart = i + 1;
        if (nextCr < runStart)
            nextCr = next(u'\r', runStart);
        if (nextLf < runStart)
            nextLf = next(u'\n', runStart);
    }
}

} // namespace

std::optional<QByteArray> BuildSideFile(const std::optional<QByteArray>& existing,
                                        const QStringList& descriptions, qsizetype count) {
    if (count <= 0)
        return existing; // no entry to write: an existing file stays exactly as it is
    return ProfileFile::SetNumberedValues(
        existing.value_or(QByteArray()), DescriptionSection, count,
        [&](qsizetype i) { return EncodeLineBreaks(descriptions.value(i)); },
        [&](qsizetype i, QByteArrayView stored, TextEncoding encoding) {
            return StoredAs(i < descriptions.size() ? QStringView(descriptions[i]) : QStringView(), stored,
                            encoding);
        });
}

} // namespace quillbox
