#include "PatchFinder.h"

#include "FieldMap.h"
#include "PatchList.h"
#include "PatchName.h"
#include "ValueTables.h"

#include <algorithm>
#include <array>
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
};

PatchFinder::TablesHolding PatchFinder::TablesWith(const QByteArray& word) {
    TablesHolding t;
    t.drive = Holding(DriveTypes(), word, t.any);
    t.cab = Holding(CabTypes(), word, t.any);
    t.speaker = Holding(CabSpeakers(), word, t.any);
    t.driveOn = Holding(DriveSwitch, word, t.any);
    t.cabOn = Holding(CabSwitch, word, t.any);
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
    const DetailValues values = ShowPatchDetails(PatchImage::FromStore(store, k));
    return {qint16(values.driveType), qint16(values.cabType), qint16(values.cabSpeaker), values.driveOn,
            values.cabOn};
}

bool PatchFinder::SettingsHold(const Settings& settings, const TablesHolding& tables) {
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

// A whole entry's name folded, from the folded characters of its six codes.
bool AppendFoldedName(QByteArray& out, const QByteArray& store, qsizetype k) {
    constexpr qsizetype NameOffset = 11;
    const QByteArrayView entry = EntryView(store, k);
    if (entry.size() < NameOffset + 6)
        return false;
    static const std::array<QByteArray, 64> folded = [] {
        std::array<QByteArray, 64> table;
        for (int code = 0; code < 64; ++code)
            table[size_t(code)] = PatchFinder::Folded(PatchCharFromCode(code));
        return table;
    }();
    quint64 field = 0;
    for (int i = 0; i < 6; ++i)
        field |= quint64(quint8(entry[NameOffset + i])) << (8 * i);
    for (int c = 0; c < 6; ++c)
        out += folded[(field >> (5 + 6 * c)) & 63];
    return true;
}

} // namespace

void PatchFinder::AppendText(QByteArray& text, const QByteArray& store, qsizetype k,
                             const DescriptionOf& descriptionOf) const {
    if (numbered_ || !AppendFoldedName(text, store, k)) {
        const QString line = PatchListLine(store, k);
        text += Folded(numbered_ ? line : line.mid(line.indexOf(QStringLiteral(":  ")) + 3));
    }
    text += Gap;
    if (descriptionOf)
        AppendFolded(text, descriptionOf(k));
    text += Gap;
}

void PatchFinder::Rebuild(const QByteArray& store, const DescriptionOf& descriptionOf) {
    const qsizetype count = EntryCount(store);
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

void PatchFinder::Append(const QByteArray& store, const DescriptionOf& descriptionOf) {
    const qsizetype count = EntryCount(store);
    settings_.reserve(size_t(count));
    starts_.reserve(size_t(count) + 1);
    for (qsizetype k = Count(); k < count; ++k) {
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
QString CharAt(const QByteArray& text, qsizetype at) {
    qsizetype end = at + 1;
    while (end < text.size() && (uchar(text[end]) & 0xC0) == 0x80)
        ++end;
    return QString::fromUtf8(text.constData() + at, end - at);
}

QString CharBefore(const QByteArray& text, qsizetype at) {
    qsizetype start = at - 1;
    while (start > 0 && (uchar(text[start]) & 0xC0) == 0x80)
        --start;
    return QString::fromUtf8(text.constData() + start, at - start);
}

// Whether the `length` bytes at `at` are a whole tag, as descriptions hold them: after a blank or
// at the start, and not followed by more of a tag's letters ("#gig" is not found in "#gigs").
bool WholeTagAt(const QByteArray& text, qsizetype at, qsizetype length) {
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

std::vector<qsizetype> PatchFinder::MatchingAmong(const QString& query,
                                                  const std::vector<qsizetype>& among) const {
    const QList<QByteArray> words = Words(query);
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
