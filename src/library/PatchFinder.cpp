#include "PatchFinder.h"

#include "ByteBlocks.h"
#include "FieldMap.h"
#include "LargeArrays.h"
#include "PatchList.h"
#include "PatchName.h"
#include "ValueTables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>

namespace quillbox {

namespace {

// Parts of an entry's text are joined with this byte; no word holds it, so none spans two parts.
constexpr char Gap = '\n';

// The folded texts of one table, looked up per entry instead of folded again each time.
std::vector<QByteArray> FoldedTable(ParameterList list) {
    std::vector<QByteArray> folded;
    for (const QString& entry : ParameterTable(list).entries)
        folded.push_back(PatchFinder::Folded(entry));
    return folded;
}

const std::vector<QByteArray>& DriveTypes() {
    static const std::vector<QByteArray> table = FoldedTable(ParameterList::DriveType);
    return table;
}
const std::vector<QByteArray>& CabTypes() {
    static const std::vector<QByteArray> table = FoldedTable(ParameterList::CabType);
    return table;
}
const std::vector<QByteArray>& CabSpeakers() {
    static const std::vector<QByteArray> table = FoldedTable(ParameterList::CabSpeaker);
    return table;
}
// The module switches as the lists' find reads them, off first.
const std::vector<QByteArray> DriveSwitch{"drive off", "drive on"};
const std::vector<QByteArray> CabSwitch{"cab off", "cab on"};

std::vector<bool> Holding(const std::vector<QByteArray>& table, const QByteArray& word, bool& any) {
    std::vector<bool> holds(table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        holds[i] = table[i].contains(word);
        any = any || holds[i];
    }
    return holds;
}

} // namespace

// An entry's settings hold a word when the text of one of its values does.
struct PatchFinder::TablesHolding {
    std::vector<bool> drive, cab, speaker, driveOn, cabOn;
    bool any = false;
    // The same as bits, value + 1 each (no value, -1, is bit 0 and never set): an entry's settings
    // are then tested in a few instructions, which a million entries want.
    bool fit = false;
    quint64 driveBits = 0, cabBits = 0, speakerBits = 0, driveOnBits = 0, cabOnBits = 0;
};

namespace {

// `table` as bits from bit 1, or false when it has too many entries.
bool AsBits(const std::vector<bool>& table, quint64& bits) {
    if (table.size() > 63)
        return false;
    for (size_t i = 0; i < table.size(); ++i)
        bits |= quint64(table[i]) << (i + 1);
    return true;
}

} // namespace

PatchFinder::TablesHolding PatchFinder::TablesWith(const QByteArray& word) {
    TablesHolding t;
    t.drive = Holding(DriveTypes(), word, t.any);
    t.cab = Holding(CabTypes(), word, t.any);
    t.speaker = Holding(CabSpeakers(), word, t.any);
    t.driveOn = Holding(DriveSwitch, word, t.any);
    t.cabOn = Holding(CabSwitch, word, t.any);
    t.fit = AsBits(t.drive, t.driveBits) && AsBits(t.cab, t.cabBits) && AsBits(t.speaker, t.speakerBits) &&
            AsBits(t.driveOn, t.driveOnBits) && AsBits(t.cabOn, t.cabOnBits);
    return t;
}

namespace {

bool Holds(const std::vector<bool>& table, int index) {
    return index >= 0 && size_t(index) < table.size() && table[size_t(index)];
}

} // namespace

QByteArray PatchFinder::Folded(const QString& text) {
    return text.toCaseFolded().toUtf8();
}

QList<QByteArray> PatchFinder::Words(const QString& query) {
    QList<QByteArray> words;
    for (const QString& word : query.simplified().split(u' ', Qt::SkipEmptyParts))
        words.append(Folded(word));
    return words;
}

PatchFinder::Settings PatchFinder::SettingsOf(const QByteArray& store, qsizetype k) {
    // A whole entry is read where it stands, without a copy.
    const DetailValues values = EntryLength(store.size(), k) == PatchImageSize
                                    ? PatchDetailsAt(store.constData() + k * PatchImageSize)
                                    : ShowPatchDetails(PatchImage::FromStore(store, k));
    return {qint16(values.driveType), qint16(values.cabType), qint16(values.cabSpeaker), values.driveOn,
            values.cabOn};
}

bool PatchFinder::SettingsHold(const Settings& settings, const TablesHolding& tables) {
    const auto bit = [](quint64 bits, int value) {
        return value >= -1 && value < 63 && (bits >> (value + 1) & 1) != 0;
    };
    if (tables.fit)
        return bit(tables.driveBits, settings.drive) | bit(tables.cabBits, settings.cab) |
               bit(tables.speakerBits, settings.speaker) | bit(tables.driveOnBits, settings.driveOn ? 1 : 0) |
               bit(tables.cabOnBits, settings.cabOn ? 1 : 0);
    return Holds(tables.drive, settings.drive) || Holds(tables.cab, settings.cab) ||
           Holds(tables.speaker, settings.speaker) || Holds(tables.driveOn, settings.driveOn ? 1 : 0) ||
           Holds(tables.cabOn, settings.cabOn ? 1 : 0);
}

namespace {

// Folded(text) appended: an ASCII text (most are) is lowered byte by byte, without a string of its
// own; case folding leaves ASCII as lower case.
void AppendFolded(QByteArray& out, QStringView text) {
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char* bytes = out.data() + at;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80) {
            out.resize(at);
            out += PatchFinder::Folded(text.toString());
            return;
        }
        bytes[i] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
}

// Writes `text` lowered to `out` and returns true when it is all ASCII (folding is lowering then);
// false, with `out` left unspecified, when it is not. Eight bytes at a time.
bool LowerAscii(QByteArrayView text, char* out) {
    const char* in = text.data();
    const qsizetype n = text.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, in + i, 8);
        if (word & HighBitOfEachByte)
            return false;
        // Bytes below 0x80 add without carrying into the next: the high bit tells >= 'A', > 'Z'.
        const quint64 upper = (word + OneInEachByte * (0x80 - 'A')) &
                              ~(word + OneInEachByte * (0x80 - 'Z' - 1)) & HighBitOfEachByte;
        word |= upper >> 2; // 0x80 >> 2 is the 0x20 between a capital and its small letter
        std::memcpy(out + i, &word, 8);
    }
    for (; i < n; ++i) {
        const char c = in[i];
        if (uchar(c) >= 0x80)
            return false;
        out[i] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return true;
}

// The folded character of each name code.
const std::array<QByteArray, 64>& FoldedCodes() {
    static const std::array<QByteArray, 64> folded = [] {
        std::array<QByteArray, 64> table;
        for (int code = 0; code < 64; ++code)
            table[size_t(code)] = PatchFinder::Folded(PatchCharFromCode(code));
        return table;
    }();
    return folded;
}

// Gives `put` the folded characters of a whole image's six name codes, in order.
template <typename Put> void PutFoldedName(const char* image, Put put) {
    const std::array<QByteArray, 64>& folded = FoldedCodes();
    const quint64 field = PatchNameField(image);
    for (int c = 0; c < 6; ++c)
        put(QByteArrayView(folded[size_t(PatchNameCode(field, c))]));
}

// The same written at `out` (room for six bytes) where each folded character is one byte, as
// nearly every name's are; false, with nothing written that counts, where one is more.
bool PutFoldedNameBytes(const char* image, char* out) {
    static const std::array<char, 64> single = [] {
        std::array<char, 64> table{};
        for (size_t code = 0; code < table.size(); ++code)
            if (const QByteArray& folded = FoldedCodes()[code]; folded.size() == 1)
                table[code] = folded.front();
        return table;
    }();
    const quint64 field = PatchNameField(image);
    for (int c = 0; c < 6; ++c)
        if ((out[c] = single[size_t(PatchNameCode(field, c))]) == 0)
            return false;
    return true;
}

// A whole entry's name folded.
bool AppendFoldedName(QByteArray& out, const QByteArray& store, qsizetype k) {
    const QByteArrayView entry = EntryView(store, k);
    if (entry.size() < PatchNameOffset + 6)
        return false;
    PutFoldedName(entry.data(), [&out](QByteArrayView part) { out += part; });
    return true;
}

} // namespace

void PatchFinder::AppendName(QByteArray& text, const QByteArray& store, qsizetype k) const {
    if (numbered_ || !AppendFoldedName(text, store, k)) {
        const QString line = PatchListLine(store, k);
        text += Folded(numbered_ ? line : line.mid(line.indexOf(QStringLiteral(":  ")) + 3));
    }
    text += Gap;
}

void PatchFinder::AppendText(QByteArray& text, const QByteArray& store, qsizetype k,
                             const DescriptionOf& descriptionOf) const {
    AppendName(text, store, k);
    if (descriptionOf)
        AppendFolded(text, descriptionOf(k));
    text += Gap;
}

void PatchFinder::Rebuild(const QByteArray& store, const DescriptionOf& descriptionOf) {
    const qsizetype count = EntryCount(store);
    ++generation_;
    segments_.clear();
    text_.clear();
    text_.reserve(count * 64);
    starts_.assign(1, 0);
    starts_.reserve(size_t(count) + 1);
    settings_.clear();
    settings_.reserve(size_t(count));
    for (qsizetype k = 0; k < count; ++k) {
        AppendText(text_, store, k, descriptionOf);
        starts_.push_back(text_.size());
        settings_.push_back(SettingsOf(store, k));
    }
}

void PatchFinder::Update(const QByteArray& store, const DescriptionOf& descriptionOf, qsizetype first,
                         qsizetype last) {
    first = std::max<qsizetype>(first, 0);
    last = std::min(last, Count() - 1);
    if (first > last)
        return;
    ++generation_;
    segments_.clear();
    QByteArray text;
    std::vector<qsizetype> lengths;
    for (qsizetype k = first; k <= last; ++k) {
        const qsizetype before = text.size();
        AppendText(text, store, k, descriptionOf);
        lengths.push_back(text.size() - before);
        settings_[size_t(k)] = SettingsOf(store, k);
    }
    const qsizetype from = starts_[size_t(first)];
    const qsizetype oldLength = starts_[size_t(last) + 1] - from;
    text_.replace(from, oldLength, text);
    for (qsizetype k = first; k <= last; ++k)
        starts_[size_t(k) + 1] = starts_[size_t(k)] + lengths[size_t(k - first)];
    const qsizetype shift = text.size() - oldLength;
    for (size_t k = size_t(last) + 2; k < starts_.size(); ++k)
        starts_[k] += shift;
}

namespace {

// The character of UTF-8 `text` that starts at `at` (which must start one), or after `at` going back.
QString CharAt(QByteArrayView text, qsizetype at) {
    qsizetype end = at + 1;
    while (end < text.size() && (uchar(text[end]) & 0xC0) == 0x80)
        ++end;
    return QString::fromUtf8(text.constData() + at, end - at);
}

QString CharBefore(QByteArrayView text, qsizetype at) {
    qsizetype start = at - 1;
    while (start > 0 && (uchar(text[start]) & 0xC0) == 0x80)
        --start;
    return QString::fromUtf8(text.constData() + start, at - start);
}

// Whether the `length` bytes at `at` are a whole tag, as descriptions hold them: after a blank or
// at the start, and not followed by more of a tag's letters ("#gig" is not found in "#gigs").
bool WholeTagAt(QByteArrayView text, qsizetype at, qsizetype length) {
    if (at > 0) {
        const QString before = CharBefore(text, at);
        if (before.isEmpty() || !before.front().isSpace())
            return false;
    }
    const qsizetype after = at + length;
    if (after >= text.size())
        return true;
    const QString next = CharAt(text, after);
    return next.isEmpty() || !(next.front().isLetterOrNumber() || next.front() == QLatin1Char('-') ||
                               next.front() == QLatin1Char('_'));
}

} // namespace

std::vector<qsizetype> PatchFinder::EntriesHolding(const QByteArray& word) const {
    // A word that starts with '#' is a tag and matches that tag only.
    const bool tag = word.size() > 1 && word.front() == '#';
    std::vector<qsizetype> found;
    const char* const begin = text_.constData();
    const char* const end = begin + text_.size();
    const char* from = begin;
    auto next = starts_.begin() + 1; // the start of the entry after the one searched
    while (from < end) {
        const void* hit = memmem(from, size_t(end - from), word.constData(), size_t(word.size()));
        if (!hit)
            break;
        const qsizetype at = static_cast<const char*>(hit) - begin;
        if (tag && !WholeTagAt(text_, at, word.size())) {
            from = static_cast<const char*>(hit) + 1;
            continue;
        }
        // The entry holding the hit. Hits come in order and a common word is found in the entry
        // searched or the next, so one look forward saves most binary searches.
        if (*next <= at)
            next = next + 1 != starts_.end() && next[1] > at ? next + 1
                                                             : std::upper_bound(next, starts_.end(), at);
        found.push_back(qsizetype(next - starts_.begin()) - 1);
        // The entry's remaining text needs no further search.
        from = begin + *next;
        ++next;
    }
    // The decoded parameters are looked up by value: most words are in none of their texts, and
    // then no entry needs looking at.
    const TablesHolding tables = tag ? TablesHolding{} : TablesWith(word);
    if (!tables.any || qsizetype(found.size()) == Count())
        return found;
    std::vector<qsizetype> bySettings;
    for (size_t k = 0; k < settings_.size(); ++k)
        if (SettingsHold(settings_[k], tables))
            bySettings.push_back(qsizetype(k));
    std::vector<qsizetype> both;
    both.reserve(found.size() + bySettings.size());
    std::set_union(found.begin(), found.end(), bySettings.begin(), bySettings.end(),
                   std::back_inserter(both));
    return both;
}

std::vector<qsizetype> PatchFinder::Matching(const QString& query) const {
    const QList<QByteArray> words = Words(query);
    std::vector<qsizetype> found;
    if (words.isEmpty()) {
        found.resize(size_t(Count()));
        for (qsizetype k = 0; k < Count(); ++k)
            found[size_t(k)] = k;
        return found;
    }
    if (!segments_.empty() && FromIndex(words, found))
        return found;
    for (qsizetype w = 0; w < words.size(); ++w) {
        std::vector<qsizetype> holding = EntriesHolding(words[w]);
        if (w == 0) {
            found = std::move(holding);
            continue;
        }
        std::vector<qsizetype> both;
        std::set_intersection(found.begin(), found.end(), holding.begin(), holding.end(),
                              std::back_inserter(both));
        found = std::move(both);
    }
    return found;
}

void PatchFinder::Append(const QByteArray& store, const DescriptionOf& descriptionOf) {
    const qsizetype from = Count(), count = EntryCount(store);
    if (count <= from)
        return;
    starts_.reserve(size_t(count) + 1);
    settings_.reserve(size_t(count));
    for (qsizetype k = from; k < count; ++k) {
        AppendText(text_, store, k, descriptionOf);
        starts_.push_back(text_.size());
        settings_.push_back(SettingsOf(store, k));
    }
    if (!segments_.empty())
        IndexAppended();
}

qsizetype PatchFinder::RoomForUtf8(const QByteArray& store, const DescriptionBytesOf& descriptionOf) {
    const qsizetype from = Count(), count = EntryCount(store);
    // The descriptions are asked for twice rather than kept: at a million entries a list of them
    // would be 16 MB more to take.
    qsizetype bytes = text_.size();
    for (qsizetype k = from; k < count; ++k)
        bytes += 8 + descriptionOf(k).size(); // six name bytes and two gaps, as most take
    GrowLarge(starts_, size_t(count) + 1);
    GrowLarge(settings_, size_t(count));
    GrowLarge(text_, bytes);
    return bytes;
}

void PatchFinder::ReserveUtf8(const QByteArray& store, const DescriptionBytesOf& descriptionOf) {
    RoomForUtf8(store, descriptionOf);
}

void PatchFinder::AppendUtf8(const QByteArray& store, const DescriptionBytesOf& descriptionOf) {
    const qsizetype from = Count(), count = EntryCount(store);
    if (count <= from)
        return;
    // Written through a pointer into room made once: a million entries' texts are not copied as
    // they grow, nor appended to a byte at a time.
    qsizetype size = text_.size();
    text_.resize(RoomForUtf8(store, descriptionOf));
    const auto room = [&](qsizetype more) {
        if (size + more > text_.size())
            text_.resize(std::max(size + more, text_.size() + text_.size() / 8));
        return text_.data() + size;
    };
    const auto put = [&](QByteArrayView part) {
        std::memcpy(room(part.size()), part.data(), size_t(part.size()));
        size += part.size();
    };
    for (qsizetype k = from; k < count; ++k) {
        const char* image = store.constData() + k * PatchImageSize;
        if (!numbered_ && EntryLength(store.size(), k) == PatchImageSize) {
            if (PutFoldedNameBytes(image, room(6)))
                size += 6;
            else
                PutFoldedName(image, put);
            *room(1) = Gap;
            ++size;
        } else {
            QByteArray name;
            AppendName(name, store, k);
            put(name);
        }
        const QByteArrayView description = descriptionOf(k);
        if (LowerAscii(description, room(description.size())))
            size += description.size();
        else
            put(Folded(QString::fromUtf8(description)));
        *room(1) = Gap;
        ++size;
        starts_.push_back(size);
        settings_.push_back(SettingsOf(store, k));
    }
    text_.resize(size);
    if (!segments_.empty())
        IndexAppended();
}

namespace {

// The bytes between tokens: a query's word never holds one of them.
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

quint64 HashOf(const char* bytes, qsizetype length) {
    quint64 hash = 14695981039346656037ull;
    for (qsizetype i = 0; i < length; ++i)
        hash = (hash ^ uchar(bytes[i])) * 1099511628211ull;
    return hash ^ (hash >> 29);
}

int GapBytes(quint32 gap) {
    int bytes = 1;
    for (; gap >= 0x80; gap >>= 7)
        ++bytes;
    return bytes;
}

constexpr quint32 NoToken = 0xFFFFFFFF;

bool IsTag(const QByteArray& word) {
    return word.size() > 1 && word.front() == '#';
}

} // namespace

PatchFinder::WordIndex PatchFinder::IndexOf(qsizetype first, qsizetype end) const {
    WordIndex index;
    index.first_ = first;
    index.end_ = end;
    index.generation_ = generation_;
    // Token numbers by hash (open addressing), and per token the last entry holding it and the
    // bytes of its gaps. The first pass numbers each entry's distinct tokens, entry by entry, each
    // entry ended by NoToken, so that the second writes the postings without hashing again.
    std::vector<quint32> slots(1024, NoToken), last, gapBytes, occurrences;
    const char* const text = text_.constData();
    const auto tokenStart = [&index](quint32 token) {
        return token == 0 ? 0 : index.tokenEnds_[token - 1] + 1;
    };
    for (qsizetype k = first; k < end; ++k) {
        const quint32 entry = quint32(k - first);
        const qsizetype stop = starts_[size_t(k) + 1];
        for (qsizetype at = starts_[size_t(k)]; at < stop;) {
            if (IsBlank(text[at])) {
                ++at;
                continue;
            }
            qsizetype after = at + 1;
            while (after < stop && !IsBlank(text[after]))
                ++after;
            const qsizetype length = after - at;
            size_t slot = HashOf(text + at, length) & (slots.size() - 1);
            quint32 token = slots[slot];
            for (; token != NoToken; token = slots[slot]) {
                const quint32 start = tokenStart(token);
                if (index.tokenEnds_[token] - start == length &&
                    std::memcmp(index.vocabulary_.constData() + start, text + at, size_t(length)) == 0)
                    break;
                slot = (slot + 1) & (slots.size() - 1);
            }
            if (token == NoToken) {
                token = quint32(index.tokenEnds_.size());
                index.vocabulary_.append(text + at, length);
                index.vocabulary_.append('\n');
                index.tokenEnds_.push_back(quint32(index.vocabulary_.size() - 1));
                index.counts_.push_back(0);
                last.push_back(NoToken);
                gapBytes.push_back(0);
                slots[slot] = token;
                if (index.tokenEnds_.size() * 2 > slots.size()) {
                    slots.assign(slots.size() * 2, NoToken);
                    for (quint32 t = 0; t < index.tokenEnds_.size(); ++t) {
                        const quint32 start = tokenStart(t);
                        size_t s =
                            HashOf(index.vocabulary_.constData() + start, index.tokenEnds_[t] - start) &
                            (slots.size() - 1);
                        while (slots[s] != NoToken)
                            s = (s + 1) & (slots.size() - 1);
                        slots[s] = t;
                    }
                }
            }
            if (last[token] != entry) {
                gapBytes[token] += GapBytes(last[token] == NoToken ? entry : entry - last[token]);
                last[token] = entry;
                ++index.counts_[token];
                occurrences.push_back(token);
            }
            at = after;
        }
        occurrences.push_back(NoToken);
        // Room for the rest as the first entries go, instead of growing by doubling a large buffer.
        if (entry + 1 == 1024 && k + 1 < end)
            occurrences.reserve(occurrences.size() * size_t(end - first) / 1024 * 9 / 8);
    }
    slots = {};
    // A token held by more than an eighth of the entries keeps no postings: a search never starts
    // from it (it scans instead), and the common words would take most of the index's memory.
    const quint32 common = quint32(std::max<qsizetype>(4096, (end - first) / 8));
    const size_t tokens = index.tokenEnds_.size();
    index.postingEnds_.resize(tokens);
    std::vector<quint32>& cursor = gapBytes; // where each token's next gap goes
    quint32 total = 0;
    for (size_t t = 0; t < tokens; ++t) {
        const quint32 start = total;
        if (index.counts_[t] <= common)
            total += gapBytes[t];
        index.postingEnds_[t] = total;
        cursor[t] = start;
        last[t] = NoToken;
    }
    index.postings_.resize(total);
    quint32 entry = 0;
    for (const quint32 token : occurrences) {
        if (token == NoToken) {
            ++entry;
            continue;
        }
        if (index.counts_[token] > common)
            continue;
        quint32 gap = last[token] == NoToken ? entry : entry - last[token];
        last[token] = entry;
        quint8* out = index.postings_.data() + cursor[token];
        for (; gap >= 0x80; gap >>= 7)
            *out++ = quint8(gap & 0x7F) | 0x80;
        *out++ = quint8(gap);
        cursor[token] = quint32(out - index.postings_.data());
    }
    index.vocabulary_.squeeze();
    index.tokenEnds_.shrink_to_fit();
    index.counts_.shrink_to_fit();
    return index;
}

PatchFinder::WordIndex PatchFinder::BuildWordIndex() const {
    return IndexOf(0, Count());
}

bool PatchFinder::UseWordIndex(WordIndex index) {
    segments_.clear();
    if (index.generation_ != generation_ || index.first_ != 0 || index.end_ > Count())
        return false;
    segments_.push_back(std::move(index));
    if (segments_.back().end_ < Count())
        IndexAppended();
    return true;
}

void PatchFinder::IndexAppended() {
    segments_.push_back(IndexOf(segments_.back().end_, Count()));
    // The runs of appended entries merge as they grow, as a binary counter does: few indices to
    // search, each entry taken again a few times, and the index over the whole list never.
    while (segments_.size() > 2 && segments_.back().Entries() >= segments_[segments_.size() - 2].Entries()) {
        const qsizetype first = segments_[segments_.size() - 2].first_;
        segments_.pop_back();
        segments_.back() = IndexOf(first, Count());
    }
}

bool PatchFinder::FromIndex(const QList<QByteArray>& words, std::vector<qsizetype>& found) const {
    // Starts from the word held by the fewest entries (at most: a word may stand in several tokens of
    // an entry), when it is held by at most an eighth of them; otherwise a scan is as fast.
    struct Source {
        size_t segment;
        quint32 token; // NoToken: a token without postings, so every entry of the segment
    };
    std::vector<Source> best, sources;
    qsizetype fewest = Count() / 8 + 1, chosen = -1;
    for (qsizetype w = 0; w < words.size(); ++w) {
        const QByteArray& word = words[w];
        const bool tag = IsTag(word);
        // A word in a parameter's texts would need every entry's settings looked at.
        if (!tag && TablesWith(word).any)
            continue;
        qsizetype held = 0;
        sources.clear();
        for (size_t s = 0; s < segments_.size() && held < fewest; ++s) {
            const WordIndex& segment = segments_[s];
            const char* const vocabulary = segment.vocabulary_.constData();
            const char* const end = vocabulary + segment.vocabulary_.size();
            for (const char* from = vocabulary; from < end && held < fewest;) {
                const void* hit = memmem(from, size_t(end - from), word.constData(), size_t(word.size()));
                if (!hit)
                    break;
                const quint32 at = quint32(static_cast<const char*>(hit) - vocabulary);
                const auto ends = segment.tokenEnds_.begin();
                const quint32 token = quint32(std::upper_bound(ends, segment.tokenEnds_.end(), at) - ends);
                const quint32 start = token == 0 ? 0 : ends[token - 1] + 1;
                // A token's start stands after a blank (or at the text's start), as in the texts.
                if (tag && !WholeTagAt(QByteArrayView(vocabulary + start, ends[token] - start), at - start,
                                       word.size())) {
                    from = static_cast<const char*>(hit) + 1;
                    continue;
                }
                const quint32 postingsFrom = token == 0 ? 0 : segment.postingEnds_[token - 1];
                if (segment.postingEnds_[token] > postingsFrom) {
                    held += segment.counts_[token];
                    sources.push_back({s, token});
                    from = vocabulary + ends[token] + 1;
                } else {
                    held += segment.Entries();
                    sources.push_back({s, NoToken});
                    break;
                }
            }
        }
        if (held < fewest) {
            fewest = held;
            chosen = w;
            best.swap(sources);
        }
    }
    if (chosen < 0)
        return false;
    std::vector<qsizetype> candidates;
    candidates.reserve(size_t(fewest));
    bool exact = true; // the candidates are exactly the entries holding the chosen word
    for (const Source& source : best) {
        const WordIndex& segment = segments_[source.segment];
        if (source.token == NoToken) {
            exact = false;
            for (qsizetype k = segment.first_; k < segment.end_; ++k)
                candidates.push_back(k);
            continue;
        }
        const quint8* in =
            segment.postings_.data() + (source.token == 0 ? 0 : segment.postingEnds_[source.token - 1]);
        const quint8* const stop = segment.postings_.data() + segment.postingEnds_[source.token];
        qsizetype entry = segment.first_;
        while (in < stop) {
            quint32 gap = 0;
            for (int shift = 0;; shift += 7) {
                const quint8 byte = *in++;
                gap |= quint32(byte & 0x7F) << shift;
                if (!(byte & 0x80))
                    break;
            }
            entry += gap;
            candidates.push_back(entry);
        }
    }
    if (best.size() > 1) {
        // Several tokens hold the word: their entries in order, each once.
        if (candidates.size() > 4096) {
            std::vector<quint64> bits(size_t(Count() + 63) / 64);
            for (const qsizetype k : candidates)
                bits[size_t(k) / 64] |= quint64(1) << (k % 64);
            candidates.clear();
            for (size_t i = 0; i < bits.size(); ++i)
                for (quint64 word = bits[i]; word; word &= word - 1)
                    candidates.push_back(qsizetype(i * 64) + std::countr_zero(word));
        } else {
            std::sort(candidates.begin(), candidates.end());
            candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        }
    }
    QList<QByteArray> rest = words;
    if (exact)
        rest.removeAt(chosen);
    found = rest.isEmpty() ? std::move(candidates) : Among(rest, candidates);
    return true;
}

std::vector<qsizetype> PatchFinder::MatchingAmong(const QString& query,
                                                  const std::vector<qsizetype>& among) const {
    return Among(Words(query), among);
}

std::vector<qsizetype> PatchFinder::Among(const QList<QByteArray>& words,
                                          const std::vector<qsizetype>& among) const {
    std::vector<TablesHolding> tables;
    for (const QByteArray& word : words)
        tables.push_back(word.size() > 1 && word.front() == '#' ? TablesHolding{} : TablesWith(word));
    std::vector<qsizetype> found;
    for (const qsizetype k : among) {
        if (k < 0 || k >= Count())
            continue;
        const qsizetype start = starts_[size_t(k)];
        const QByteArrayView text(text_.constData() + start, starts_[size_t(k) + 1] - start);
        bool all = true;
        for (qsizetype w = 0; w < words.size(); ++w) {
            const QByteArray& word = words[w];
            const bool tag = word.size() > 1 && word.front() == '#';
            bool held = tables[size_t(w)].any && SettingsHold(settings_[size_t(k)], tables[size_t(w)]);
            for (qsizetype at = text.indexOf(word); at >= 0 && !held; at = text.indexOf(word, at + 1))
                held = !tag || WholeTagAt(text_, start + at, word.size());
            if (!held) {
                all = false;
                break;
            }
        }
        if (all)
            found.push_back(k);
    }
    return found;
}

bool PatchFinder::Narrows(const QString& narrower, const QString& wider) {
    const QList<QByteArray> narrow = Words(narrower), wide = Words(wider);
    const auto isTag = [](const QByteArray& word) {
        return word.startsWith('#');
    };
    if (wide.isEmpty() || std::any_of(narrow.begin(), narrow.end(), isTag) ||
        std::any_of(wide.begin(), wide.end(), isTag))
        return false;
    return std::all_of(wide.begin(), wide.end(), [&narrow](const QByteArray& w) {
        return std::any_of(narrow.begin(), narrow.end(), [&w](const QByteArray& n) { return n.contains(w); });
    });
}

} // namespace quillbox
