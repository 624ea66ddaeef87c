#include "DescriptionFile.h"

#include "FileAccess.h"
#include "ProfileFile.h"
#include "ProfileLines.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
// (it only gets shorter): no search object and no second string per description. The runs between
// codes move whole, found by the library's vectorised search (`at(i)` reads unit i where the codes
// are looked for, `nextAmpersand(from)` finds the next '&' or `n`). Returns the new length.
template <typename At, typename Next>
qsizetype DecodeLineBreaksWith(char16_t* units, qsizetype n, qsizetype first, At at, Next nextAmpersand) {
    qsizetype i = nextAmpersand(first);
    qsizetype out = i;
    while (i < n) {
        if (i + 2 < n && at(i + 1) == u'*' && at(i + 2) == u'&') {
            units[out++] = u'\r';
            units[out++] = u'\n';
            i += 3;
        } else {
            units[out++] = units[i++]; // a '&' that starts no code
        }
        const qsizetype next = nextAmpersand(i);
        if (out != i)
            std::memmove(units + out, units + i, size_t(next - i) * sizeof(char16_t));
        out += next - i;
        i = next;
    }
    return out;
}

qsizetype DecodeLineBreaksInPlace(char16_t* units, qsizetype n, qsizetype firstAmpersand = 0) {
    return DecodeLineBreaksWith(
        units, n, firstAmpersand, [units](qsizetype i) { return units[i]; },
        [units, n](qsizetype from) {
            const qsizetype at = QStringView(units + from, n - from).indexOf(u'&');
            return at < 0 ? n : from + at;
        });
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

namespace {

// The descriptions as slices of `buffer`, in which each slice ends in a null character, as every
// string's data does: element i is the slice sliceOf(i) gives ({start, length}), a null string when
// it is empty. Each slice adopts one reference to the buffer, set at once at the end (counting them
// up one by one is an atomic operation per description); the buffer keeps its own until it goes out
// of scope. Editing a description gives it a buffer of its own, and the shared one goes with the
// last description that still uses it.
template <typename SliceOf> QStringList AdoptSlices(QString& buffer, qsizetype count, SliceOf sliceOf) {
    QStringList descriptions(std::max<qsizetype>(count, 0) + 1); // all null until set below
    QString* list = descriptions.data();
    QString::DataPointer& data = buffer.data_ptr();
    qsizetype shared = 0;
    for (qsizetype i = 1; i <= count; ++i) {
        const auto slice = sliceOf(i);
        if (slice.length > 0) {
            list[i] = QString(QString::DataPointer(data.d_ptr(), data.data() + slice.start, slice.length));
            ++shared;
        }
    }
    if (shared > 0)
        data.d_ptr()->ref_.storeRelaxed(int(shared) + 1);
    return descriptions;
}

} // namespace

QStringList DescriptionReader::DescArray(qsizetype count) const {
    // The descriptions are slices of one buffer that they share (see AdoptSlices): a Windows-1252
    // file decoded whole, or the values alone decoded one after the other. A library of 100,000
    // entries then loads without 100,000 allocations (and frees them at once).
    struct Slice {
        qsizetype start = 0;
        qsizetype length = 0;
    };
    std::vector<Slice> slices(size_t(std::max<qsizetype>(count, 0)) + 1);
    QString buffer;
    qsizetype used = 0;
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
    }

    return AdoptSlices(buffer, count, [&slices](qsizetype i) { return slices[size_t(i)]; });
}

namespace {

// What WidenToLineEnd saw up to the end of its line.
struct WidenedLine {
    qsizetype end = 0;      // the first CR or LF from where it started, or the end of the bytes
    bool ampersand = false; // a '&' (a line break code may be there)
    bool notLatin1 = false; // a byte that is not its own character: Windows-1252's 0x80..0x9F, or any
                            // byte beyond ASCII in UTF-8
};

// Copies bytes from `from` to the end of their line into `out`, one character per byte (Latin-1), and
// says where the line ends and whether the copy needs mending. Sixteen bytes at a time where the
// processor allows; up to fifteen characters past the line's end may be written.
WidenedLine WidenToLineEnd(const char* data, qsizetype from, qsizetype n, char16_t* out, bool cp1252) {
    WidenedLine line;
    qsizetype i = from;
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i ampersand = _mm_set1_epi8('&');
    const __m128i topThree = _mm_set1_epi8(char(0xE0));
    const __m128i c1 = _mm_set1_epi8(char(0x80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - from)), _mm_unpacklo_epi8(block, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - from) + 8), _mm_unpackhi_epi8(block, zero));
        const unsigned ends =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
        const unsigned codes = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, ampersand)));
        const unsigned mend =
            cp1252 ? unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(block, topThree), c1)))
                   : unsigned(_mm_movemask_epi8(block));
        if (ends != 0) {
            const unsigned before = (ends & (0u - ends)) - 1; // the bytes before the first end
            line.ampersand = line.ampersand || (codes & before) != 0;
            line.notLatin1 = line.notLatin1 || (mend & before) != 0;
            line.end = i + std::countr_zero(ends);
            return line;
        }
        line.ampersand = line.ampersand || codes != 0;
        line.notLatin1 = line.notLatin1 || mend != 0;
    }
#endif
    for (; i < n; ++i) {
        const quint8 byte = quint8(data[i]);
        if (byte == '\r' || byte == '\n')
            break;
        out[i - from] = byte;
        line.ampersand = line.ampersand || byte == '&';
        line.notLatin1 = line.notLatin1 || (cp1252 ? (byte & 0xE0) == 0x80 : byte >= 0x80);
    }
    line.end = i;
    return line;
}

// DecodeLineBreaksInPlace for `n` units that are `bytes` one for one (a Latin-1 copy): the codes are
// found in the bytes, by the C library's vectorised search.
qsizetype DecodeLineBreaksAlong(char16_t* units, const char* bytes, qsizetype n) {
    return DecodeLineBreaksWith(
        units, n, 0, [bytes](qsizetype i) { return char16_t(uchar(bytes[i])); },
        [bytes, n](qsizetype from) {
            const void* at = from < n ? std::memchr(bytes + from, '&', size_t(n - from)) : nullptr;
            return at ? static_cast<const char*>(at) - bytes : n;
        });
}

// The blanks that can stand inside a line.
bool IsInnerBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// The key the next line of a file that a save wrote starts with: the position after the last one,
// as QString::number writes it, and '='. Compared as one word where it fits in eight bytes.
class ExpectedKey {
public:
    ExpectedKey() { Reset(1); }
    qsizetype Position() const { return position_; }
    qsizetype Length() const { return length_; }
    bool At(const char* p, qsizetype available) const {
        if (available < 8 || length_ > 8)
            return available >= length_ && std::memcmp(p, text_, size_t(length_)) == 0;
        quint64 word;
        std::memcpy(&word, p, 8);
        return ((word ^ word_) & mask_) == 0;
    }
    // The key after this one, counted up on its digits, in the text and in the word alike (the
    // word is not read back from the text: a wide read of a byte just written stalls).
    void Advance() {
        ++position_;
        qsizetype j = length_ - 2; // the last digit
        while (j >= 0 && text_[j] == '9') {
            text_[j] = '0';
            if (j < 8)
                word_ -= quint64(9) << ByteShift(j);
            --j;
        }
        if (j < 0) {
            Reset(position_); // one digit more
            return;
        }
        ++text_[j];
        if (j < 8)
            word_ += quint64(1) << ByteShift(j);
    }
    void Reset(qsizetype position) {
        position_ = position;
        char digits[24];
        qsizetype k = 0;
        for (qsizetype v = position; v > 0 || k == 0; v /= 10)
            digits[k++] = char('0' + v % 10);
        for (qsizetype j = 0; j < k; ++j)
            text_[j] = digits[k - 1 - j];
        text_[k] = '=';
        length_ = k + 1;
        char mask[8] = {};
        std::memset(mask, 0xFF, size_t(std::min<qsizetype>(length_, 8)));
        std::memcpy(&mask_, mask, 8);
        SetWord();
    }

private:
    static int ByteShift(qsizetype j) {
        return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? int(8 * j) : int(8 * (7 - j));
    }
    void SetWord() {
        std::memcpy(&word_, text_, 8);
        word_ &= mask_;
    }

    qsizetype position_ = 0;
    char text_[24] = {};
    qsizetype length_ = 0;
    quint64 word_ = 0;
    quint64 mask_ = 0;
};

} // namespace

QStringList DescriptionReader::DescArrayOf(const QByteArray& bytes, qsizetype count) {
    const std::optional<ByteText> byteText = ByteTextOf(bytes);
    if (!byteText)
        return FromBytes(bytes, count).DescArray(count);
    count = std::max<qsizetype>(count, 0);
    const TextEncoding encoding = byteText->encoding;
    const bool cp1252 = encoding == TextEncoding::Cp1252;
    const char* data = bytes.constData() + byteText->bodyStart;
    const qsizetype n = bytes.size() - byteText->bodyStart;

    // Up to the section's first line: the grammar's own parse.
    const QStringView wanted = profile::Trim(DescriptionSection);
    qsizetype start = 0;
    bool found = false;
    while (start < n && !found) {
        const qsizetype end = profile::LineEndBytes(data, start, n);
        const profile::ParsedBytes parsed = profile::ParseBytes(QByteArrayView(data + start, end - start));
        if (parsed.kind == profile::LineKind::Section) {
            if (HasHighByte(parsed.name))
                return FromBytes(bytes, count).DescArray(count); // such a file is decoded whole
            found = profile::SameAsciiName(parsed.name, wanted);
        }
        start = end + 1;
    }
    QStringList descriptions(count + 1); // all null until set below
    if (!found)
        return descriptions;

    // Each value is decoded where the last one ended, and its description made a slice of the buffer
    // at once (see AdoptSlices; the references are set at the end, and nothing here throws before).
    // A value never takes more characters than its line has bytes beyond its key and '=', so the
    // buffer's characters never outrun the file's bytes, and the copy's overrun past a line's end
    // stays inside the buffer.
    QString* list = descriptions.data();
    std::vector<bool> seen(size_t(count) + 1); // the first line of a key is the one that counts
    QString buffer(n + 1, Qt::Uninitialized);
    QTypedArrayData<char16_t>* shared = buffer.data_ptr().d_ptr();
    char16_t* out = reinterpret_cast<char16_t*>(buffer.data());
    qsizetype used = 0;
    qsizetype slices = 0;
    const auto wantedPosition = [&](qsizetype position) {
        return position >= 1 && position <= count && !seen[size_t(position)];
    };
    const auto keep = [&](qsizetype position, qsizetype length) {
        seen[size_t(position)] = true;
        if (length > 0) {
            out[used + length] = u'\0';
            // Over the null string there: nothing to free, nothing to swap.
            new (&list[position].data_ptr()) QString::DataPointer(shared, out + used, length);
            ++slices;
            used += length + 1;
        }
    };
    ExpectedKey expected;
    while (start < n) {
        const char first = data[start];
        if (first == '\r' || first == '\n') { // any run of CR/LF ends a line
            ++start;
            continue;
        }
        // The common line: a number as QString::number writes it (most often the one after the
        // last), '=', the value.
        qsizetype position = 0;
        qsizetype valueStart = -1;
        if (expected.At(data + start, n - start)) {
            position = expected.Position();
            valueStart = start + expected.Length();
        } else if (first >= '1' && first <= '9') {
            qsizetype i = start;
            for (; i < n && data[i] >= '0' && data[i] <= '9'; ++i) {
                if (i - start < 18)
                    position = position * 10 + (data[i] - '0');
            }
            if (i - start <= 18) {
                while (i < n && IsInnerBlank(data[i]))
                    ++i;
                if (i < n && data[i] == '=')
                    valueStart = i + 1;
            }
        }
        if (valueStart < 0) {
            // Any other line: the grammar's own parse.
            const qsizetype end = profile::LineEndBytes(data, start, n);
            const profile::ParsedBytes parsed =
                profile::ParseBytes(QByteArrayView(data + start, end - start));
            if (parsed.kind == profile::LineKind::Section)
                break; // only the first matching section counts
            if (parsed.kind == profile::LineKind::Key) {
                const std::optional<qsizetype> key = PositionOf(parsed.name);
                if (key && wantedPosition(*key)) {
                    const QByteArrayView value =
                        parsed.hasValue ? profile::StripQuotesBytes(parsed.value) : QByteArrayView();
                    qsizetype length =
                        DecodeSliceInto(reinterpret_cast<QChar*>(out + used), value, encoding) -
                        reinterpret_cast<QChar*>(out + used);
                    if (!value.isEmpty() && std::memchr(value.data(), '&', size_t(value.size())))
                        length = DecodeLineBreaksInPlace(out + used, length);
                    keep(*key, length);
                }
            }
            start = end + 1;
            continue;
        }
        if (position == expected.Position())
            expected.Advance();
        else
            expected.Reset(std::min<qsizetype>(position, 999999999999999999) + 1);

        qsizetype from = valueStart;
        while (from < n && quint8(data[from]) <= ' ' && IsInnerBlank(data[from]))
            ++from;
        char16_t* value = out + used;
        const WidenedLine line = WidenToLineEnd(data, from, n, value, cp1252);
        start = line.end + 1;
        if (!wantedPosition(position))
            continue;
        qsizetype to = line.end;
        while (to > from && profile::IsBlankByte(data[to - 1]))
            --to;
        if (to - from >= 2 && (data[from] == '"' || data[from] == '\'') && data[to - 1] == data[from]) {
            std::memmove(value, value + 1, size_t(to - from - 2) * sizeof(char16_t));
            ++from;
            --to;
        }
        qsizetype length = to - from;
        if (line.notLatin1) {
            length = DecodeSliceInto(reinterpret_cast<QChar*>(value), QByteArrayView(data + from, length),
                                     encoding) -
                     reinterpret_cast<QChar*>(value);
            if (line.ampersand)
                length = DecodeLineBreaksInPlace(value, length);
        } else if (line.ampersand) {
            length = DecodeLineBreaksAlong(value, data + from, length);
        }
        keep(position, length);
    }

    // What the keys and line ends took is given back: a shrink, which leaves the buffer where it is
    // (should it move, the slices follow it).
    const quintptr oldStart = quintptr(out);
    buffer.truncate(used);
    buffer.squeeze();
    if (slices == 0)
        return descriptions;
    QString::DataPointer& moved = buffer.data_ptr();
    if (moved.d_ptr() != shared || quintptr(moved.data()) != oldStart) {
        for (qsizetype i = 1; i <= count; ++i) {
            QString::DataPointer& slice = list[i].data_ptr();
            if (slice.d_ptr())
                new (&slice) QString::DataPointer(
                    moved.d_ptr(), moved.data() + (quintptr(slice.data()) - oldStart) / sizeof(char16_t),
                    slice.size);
        }
    }
    moved.d_ptr()->ref_.storeRelaxed(int(slices) + 1);
    return descriptions;
}

void ReleaseDescArray(QStringList& descriptions) {
    if (descriptions.isDetached()) {
        QString* list = descriptions.data();
        const qsizetype n = descriptions.size();
        // The buffer of the first description that has one, and how many of the list's hold it.
        QTypedArrayData<char16_t>* buffer = nullptr;
        qsizetype holders = 0;
        for (qsizetype i = 0; i < n; ++i) {
            QTypedArrayData<char16_t>* d = list[i].data_ptr().d_ptr();
            if (d && !buffer)
                buffer = d;
            holders += d && d == buffer;
        }
        // Every reference to it is in this list, which nothing else holds: no other thread can take
        // one meanwhile. All holders but one forget it; that one frees it with the list.
        if (holders > 1 && buffer->ref_.loadRelaxed() == holders) {
            qsizetype forget = holders - 1;
            for (qsizetype i = 0; i < n && forget > 0; ++i) {
                if (list[i].data_ptr().d_ptr() == buffer) {
                    new (&list[i].data_ptr()) QString::DataPointer();
                    --forget;
                }
            }
            buffer->ref_.storeRelaxed(1);
        }
    }
    descriptions = QStringList();
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
