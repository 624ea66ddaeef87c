#include "CollectionMemory.h"

#include "LargeArrays.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "PatchName.h"
#include "Tags.h"
#include "TwinIndex.h"

#include <QMutex>
#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <deque>
#include <numeric>
#include <thread>

namespace quillbox {

namespace {

constexpr qsizetype Size = PatchImageSize;
quint64 Mix(quint64 h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 33);
}

// An image as three words (its bytes 0–7, 8–15 and 16–17), hashed whole: no loop, no copy, the
// tables hash a million of them when a list is read afresh.
struct Words {
    quint64 a = 0, b = 0, c = 0;
};
static_assert(Size == 18 && PatchNameOffset == 11 && std::endian::native == std::endian::little);
Words WordsOf(const char* image) {
    Words w;
    std::memcpy(&w.a, image, 8);
    std::memcpy(&w.b, image + 8, 8);
    quint16 last;
    std::memcpy(&last, image + 16, 2);
    w.c = last;
    return w;
}
// The words are kept in registers: through memory, the two bytes of the third could not be
// forwarded to its eight-byte load, and every hash waited for them.
quint64 HashWords(quint64 a, quint64 b, quint64 c) {
    return Mix(a ^ Mix(b ^ Mix(c + quint64(Size))));
}
// The image's hash with the name's bits left out (they lie in the second word from its bit 24 on
// and in the third): equal for two patches that sound the same.
quint64 SoundHash(const char* image) {
    const Words w = WordsOf(image);
    return HashWords(w.a, w.b & ~(PatchNameMask << 24), w.c & ~(PatchNameMask >> 40));
}

// The characters of the device's alphabet by code, and for each code the first code with the same
// character: two names are the same text when their codes are the same after that.
struct Alphabet {
    std::array<char16_t, 64> character{};
    std::array<quint8, 64> first{};
    std::array<quint8, 64> rank{}; // how many distinct characters sort before this code's
    Alphabet() {
        for (int code = 0; code < 64; ++code) {
            const QString c = PatchCharFromCode(code);
            character[size_t(code)] = c.isEmpty() ? 0 : c.front().unicode();
            first[size_t(code)] = quint8(code);
            for (int before = 0; before < code; ++before)
                if (character[size_t(before)] == character[size_t(code)] && PatchCharFromCode(before) == c) {
                    first[size_t(code)] = quint8(before);
                    break;
                }
        }
        for (int code = 0; code < 64; ++code) {
            std::array<char16_t, 64> below{};
            int count = 0;
            for (int other = 0; other < 64; ++other) {
                const char16_t c = character[size_t(other)];
                if (c < character[size_t(code)] &&
                    std::find(below.begin(), below.begin() + count, c) == below.begin() + count)
                    below[size_t(count++)] = c;
            }
            rank[size_t(code)] = quint8(count);
        }
    }
};
const Alphabet& TheAlphabet() {
    static const Alphabet alphabet;
    return alphabet;
}

quint64 NameKey(const char* image) {
    const quint64 field = PatchNameField(image);
    const Alphabet& alphabet = TheAlphabet();
    quint64 key = 0;
    for (int c = 0; c < 6; ++c)
        key |= quint64(alphabet.first[PatchNameCode(field, c)]) << (6 * c);
    return key;
}

// The image with its name left out: equal for two patches that sound the same (SoundOf).
std::array<char, Size> SoundBytes(const char* image) {
    std::array<char, Size> sound;
    std::memcpy(sound.data(), image, Size);
    SetPatchNameField(sound.data(), PatchNameField(image) & ~PatchNameMask);
    return sound;
}

// `array` as `count` copies of `value`, its room new and advised for huge pages when it must grow.
template <typename T> void AssignLarge(std::vector<T>& array, size_t count, const T& value) {
    if (array.capacity() < count) {
        std::vector<T>().swap(array);
        ReserveLarge(array, count);
    }
    array.assign(count, value);
}

// Where the list puts a patch, by its name as text, then by its bytes, as one number as far as it
// goes: the name's characters by rank, six bits each, then the image's first 28 bits. Patches of
// equal numbers are put in order by their whole images.
quint64 OrderKey(const char* image) {
    const quint64 field = PatchNameField(image);
    const Alphabet& alphabet = TheAlphabet();
    quint64 key = 0;
    for (int c = 0; c < 6; ++c)
        key = key << 6 | alphabet.rank[PatchNameCode(field, c)];
    const quint32 first = quint32(quint8(image[0])) << 24 | quint32(quint8(image[1])) << 16 |
                          quint32(quint8(image[2])) << 8 | quint8(image[3]);
    return key << 28 | first >> 4;
}

// Work large enough to be shared by two threads (a thread costs some tens of microseconds).
constexpr size_t TwoThreadsFrom = 1 << 16;

// Runs `part(0)` on a thread of its own and `part(1)` here when `two`, else one after the other.
template <typename Part> void InTwo(bool two, Part part) {
    if (!two) {
        part(0);
        part(1);
        return;
    }
    std::thread first([&part] { part(0); });
    part(1);
    first.join();
}

// Sorts `items` by their `key`, keeping the order of equal keys: thirteen bits a pass, from the
// lowest, passing over the bits where all keys agree. Each half of the items is counted and moved
// by a thread of its own, the first half's before the second's in every bucket.
template <typename Item> void RadixSort(std::vector<Item>& items) {
    constexpr int Bits = 13;
    constexpr size_t Buckets = size_t(1) << Bits;
    const bool two = items.size() >= TwoThreadsFrom;
    const std::array<size_t, 3> bounds{0, items.size() / 2, items.size()};
    std::vector<Item> other;
    ReserveLarge(other, items.size());
    other.resize(items.size());
    std::array<std::vector<size_t>, 2> starts;
    for (int shift = 0; shift < 64; shift += Bits) {
        InTwo(two, [&](int half) {
            std::vector<size_t>& counts = starts[size_t(half)];
            counts.assign(Buckets, 0);
            for (size_t i = bounds[size_t(half)]; i < bounds[size_t(half) + 1]; ++i)
                ++counts[(items[i].key >> shift) & (Buckets - 1)];
        });
        bool agree = false;
        size_t at = 0;
        for (size_t b = 0; b < Buckets; ++b) {
            const size_t first = starts[0][b], second = starts[1][b];
            agree = agree || first + second == items.size();
            starts[0][b] = at;
            starts[1][b] = at + first;
            at += first + second;
        }
        if (agree)
            continue;
        InTwo(two, [&](int half) {
            std::vector<size_t>& to = starts[size_t(half)];
            for (size_t i = bounds[size_t(half)]; i < bounds[size_t(half) + 1]; ++i)
                other[to[(items[i].key >> shift) & (Buckets - 1)]++] = items[i];
        });
        items.swap(other);
    }
}

} // namespace

// The look-ups by sound and by name: open addressing over the list's entries, whose keys are
// taken from the images in the list's store. Dead entries stay in them (answers skip them) until
// the list is made anew. A patch is found by its bytes among those of its sound: no table of its
// own, which would hold 8 MB at a million patches.
struct CollectionMemory::Tables {
    std::vector<qint32> sound, name;         // slots: an entry, or -1
    std::vector<qint32> nextSound, nextName; // the next entry under the same slot's key
    // Per entry: which place's description is shown.
    std::vector<std::pair<qint32, qint32>> shown; // file, position; -1 when none
    QMap<QString, qsizetype> tags;
    qsizetype entries = 0; // entries in the slots

    const char* Image(const CollectionIndex::DistinctList& list, qint32 k) const {
        return list.store.constData() + qsizetype(k) * Size;
    }
    size_t Mask() const { return sound.size() - 1; }

    // Takes every live entry anew, each table filled in about the order of its slots: at a million
    // entries that is a pass over memory rather than a cache miss an entry.
    void Grow(const CollectionIndex::DistinctList& list, qsizetype room = 0) {
        size_t slots = 1024;
        while (slots < size_t(std::max(list.Count(), room)) * 2 + 2)
            slots *= 2;
        AssignLarge(sound, slots, -1);
        AssignLarge(name, slots, -1);
        AssignLarge(nextSound, size_t(list.Count()), -1);
        AssignLarge(nextName, size_t(list.Count()), -1);
        std::vector<qint32> live;
        ReserveLarge(live, size_t(list.Count()));
        for (qint32 k = 0; k < qint32(list.Count()); ++k)
            if (!list.dead[size_t(k)])
                live.push_back(k);
        entries = qsizetype(live.size());
        std::vector<quint64> hash;
        AssignLarge(hash, size_t(list.Count()), quint64{0});
        for (const qint32 k : live)
            hash[size_t(k)] = SoundHash(Image(list, k));
        Fill(sound, nextSound, hash, live,
             [&](qint32 a, qint32 b) { return SoundBytes(Image(list, a)) == SoundBytes(Image(list, b)); });
        // Entries next to each other with the same name take one place in the table, the others
        // chained behind the first: a list read afresh is numbered by name, so that a million
        // entries of a hundred thousand names are put in a hundred thousand times.
        std::vector<size_t> runs; // where each run of one name starts in `live`
        std::vector<qint32> firsts;
        quint64 runKey = 0;
        for (size_t i = 0; i < live.size(); ++i) {
            const quint64 key = NameKey(Image(list, live[i]));
            if (i > 0 && key == runKey)
                continue;
            runs.push_back(i);
            firsts.push_back(live[i]);
            hash[size_t(live[i])] = Mix(key); // one to one: equal hashes are equal names
            runKey = key;
        }
        Fill(name, nextName, hash, firsts, [](qint32, qint32) { return true; });
        for (size_t r = 0; r < runs.size(); ++r) {
            const size_t from = runs[r], to = r + 1 < runs.size() ? runs[r + 1] : live.size();
            if (to - from < 2)
                continue;
            const qint32 first = live[from];
            for (size_t i = from + 1; i + 1 < to; ++i)
                nextName[size_t(live[i])] = live[i + 1];
            nextName[size_t(live[to - 1])] = nextName[size_t(first)];
            nextName[size_t(first)] = live[from + 1];
        }
    }

    // Puts `live` into `table` by `hash`; entries of the same key (`same`, asked only of equal
    // hashes) share a slot and are chained by `next`.
    template <typename Same>
    void Fill(std::vector<qint32>& table, std::vector<qint32>& next, const std::vector<quint64>& hash,
              const std::vector<qint32>& live, Same same) const {
        const size_t mask = Mask();
        const int shift = std::max(0, int(std::countr_zero(table.size())) - 11);
        std::vector<qint32> starts((table.size() >> shift) + 1, 0);
        for (const qint32 k : live)
            ++starts[((hash[size_t(k)] & mask) >> shift) + 1];
        for (size_t b = 1; b < starts.size(); ++b)
            starts[b] += starts[b - 1];
        // Each entry goes with its hash, so that the pass in slot order reads them in a stream.
        struct Sorted {
            quint64 hash;
            qint32 entry;
        };
        std::vector<Sorted> sorted;
        AssignLarge(sorted, live.size(), Sorted{0, 0});
        for (const qint32 k : live)
            sorted[size_t(starts[(hash[size_t(k)] & mask) >> shift]++)] = {hash[size_t(k)], k};
        std::vector<quint64> held; // the hash of each slot's entry
        AssignLarge(held, table.size(), quint64{0});
        for (const auto [h, k] : sorted) {
            size_t slot = h & mask;
            for (; table[slot] >= 0; slot = (slot + 1) & mask)
                if (held[slot] == h && same(table[slot], k))
                    break;
            next[size_t(k)] = table[slot];
            held[slot] = h;
            table[slot] = k;
        }
    }

    qint32 Find(const CollectionIndex::DistinctList& list, const char* image) const {
        for (qint32 k = sound[SoundSlot(list, image)]; k >= 0; k = nextSound[size_t(k)])
            if (!list.dead[size_t(k)] && std::memcmp(Image(list, k), image, Size) == 0)
                return k;
        return -1;
    }

    template <typename Same> size_t SlotOf(const std::vector<qint32>& table, quint64 hash, Same same) const {
        size_t slot = hash & Mask();
        while (table[slot] >= 0 && !same(table[slot]))
            slot = (slot + 1) & Mask();
        return slot;
    }
    size_t SoundSlot(const CollectionIndex::DistinctList& list, const char* image) const {
        const auto key = SoundBytes(image);
        return SlotOf(sound, SoundHash(image), [&](qint32 k) { return SoundBytes(Image(list, k)) == key; });
    }
    size_t NameSlot(const CollectionIndex::DistinctList& list, const char* image) const {
        const quint64 key = NameKey(image);
        return SlotOf(name, Mix(key), [&](qint32 k) { return NameKey(Image(list, k)) == key; });
    }

    void Insert(const CollectionIndex::DistinctList& list, qint32 k) {
        if ((entries + 1) * 2 > qsizetype(sound.size())) {
            Grow(list); // takes every live entry, `k` among them
            return;
        }
        const char* image = Image(list, k);
        if (nextSound.size() < size_t(k) + 1) {
            nextSound.resize(size_t(list.Count()), -1);
            nextName.resize(size_t(list.Count()), -1);
        }
        const size_t s = SoundSlot(list, image);
        nextSound[size_t(k)] = sound[s];
        sound[s] = k;
        const size_t n = NameSlot(list, image);
        nextName[size_t(k)] = name[n];
        name[n] = k;
        ++entries;
    }
};

CollectionMemory::CollectionMemory()
    : list_(std::make_shared<CollectionIndex::DistinctList>()), tables_(std::make_unique<Tables>()) {
    tables_->Grow(*list_);
}

CollectionMemory::~CollectionMemory() = default;

CollectionMemory::Known CollectionMemory::KnownFiles() const {
    Known known;
    for (const ReadFile& file : files_)
        if (file.kept)
            known.insert(file.path, {file.identity, file.sideIdentity});
    return known;
}

namespace {

ReadFile ReadOne(const FoundFile& found, std::vector<SkippedFile>& skipped) {
    ReadFile file;
    file.path = found.path;
    file.kind = found.kind;
    ScannedFile scanned = ScannedFile::Open(found.path, found.kind);
    if (!scanned.refusal.isEmpty()) {
        skipped.push_back({found.path, scanned.refusal, {}});
        return file;
    }
    file.identity = scanned.identity.ToText();
    file.sideIdentity = scanned.sideIdentity.ToText();
    file.store.reserve(scanned.Count() * Size);
    // Tags counted in a few recent ones first (a file holds few, again and again), then in `tags`.
    QHash<QByteArray, qint32> tags;
    QVarLengthArray<std::pair<QByteArray, qint32>, 8> recent;
    const auto flush = [&] {
        for (const auto& [tag, count] : recent)
            tags[tag] += count;
        recent.clear();
    };
    const auto count = [&](QByteArrayView tag) {
        for (auto& [held, n] : recent)
            if (held == tag) {
                ++n;
                return;
            }
        if (recent.size() == 8)
            flush();
        recent.push_back({tag.toByteArray(), 1});
    };
    const std::function<void(QByteArrayView)> counting = count;
    file.ends.reserve(size_t(scanned.Count()));
    for (qsizetype first = 0; first < scanned.Count(); first += ScannedFile::PartSize) {
        const QByteArray part = scanned.Part(first, ScannedFile::PartSize);
        if (part.isEmpty()) {
            skipped.push_back({found.path, scanned.refusal, {}});
            ReadFile refused;
            refused.path = found.path;
            refused.kind = found.kind;
            return refused;
        }
        file.store += part;
        for (qsizetype k = first; k < first + part.size() / Size; ++k) {
            const qsizetype start = file.texts.size();
            scanned.AppendDescription(k, file.texts);
            file.ends.push_back(quint32(file.texts.size()));
            ForEachTagOf(QByteArrayView(file.texts).sliced(start), counting);
        }
    }
    flush();
    for (auto it = tags.cbegin(); it != tags.cend(); ++it)
        file.tags.insert(QString::fromUtf8(it.key()), it.value());
    file.texts.squeeze(); // kept as long as the file is
    if (!scanned.sideRefusal.isEmpty())
        skipped.push_back({SideFilePath(found.path), scanned.sideRefusal, {}});
    file.kept = true;
    return file;
}

} // namespace

FolderLook CollectionMemory::Look(const QStringList& folders, const QString& versionsFolder,
                                  const Known& known, const CollectionIndex::Progress& progress,
                                  const std::atomic_bool* cancel) {
    FolderLook look;
    FolderWalk walk = WalkFolders(folders, versionsFolder);
    look.skipped = std::move(walk.skipped);
    Known gone = known;
    std::vector<const FoundFile*> toRead;
    for (const FoundFile& found : walk.files) {
        const auto it = gone.constFind(found.path);
        if (it != gone.constEnd() && found.Unchanged(it->first, it->second)) {
            gone.erase(it);
            continue;
        }
        toRead.push_back(&found);
    }
    // Files read again leave before they come back; those not found leave for good.
    look.gone = gone.keys();
    std::sort(look.gone.begin(), look.gone.end());
    // Two readers take the files by turns; each keeps what it passed over, in the files' order.
    look.read.resize(toRead.size());
    std::vector<std::vector<SkippedFile>> skipped(toRead.size());
    std::atomic<size_t> next{0};
    std::atomic<qsizetype> done{0};
    QMutex progressing;
    const auto reader = [&] {
        for (size_t i = next++; i < toRead.size(); i = next++) {
            if (cancel && cancel->load())
                return;
            look.read[i] = ReadOne(*toRead[i], skipped[i]);
            if (progress) {
                const QMutexLocker lock(&progressing);
                progress({++done, qsizetype(toRead.size())});
            }
        }
    };
    if (progress)
        progress({0, qsizetype(toRead.size())});
    InTwo(true, [&](int) { reader(); });
    if (cancel && cancel->load()) {
        // What was read until then is kept; files not yet read stay as they were.
        look.cancelled = true;
        std::vector<ReadFile> read;
        for (size_t i = 0; i < toRead.size(); ++i)
            if (!look.read[i].path.isEmpty())
                read.push_back(std::move(look.read[i]));
        look.read = std::move(read);
        look.gone.clear();
    }
    for (const auto& some : skipped)
        look.skipped.insert(look.skipped.end(), some.begin(), some.end());
    return look;
}

void CollectionMemory::DropFile(qsizetype index) {
    ReadFile& file = files_[size_t(index)];
    fileOf_.remove(file.path);
    touched_.insert(touched_.end(), file.entries.begin(), file.entries.end());
    if (file.kind != PlaceKind::EarlierVersion)
        for (auto it = file.tags.cbegin(); it != file.tags.cend(); ++it)
            if ((tables_->tags[it.key()] -= it.value()) <= 0)
                tables_->tags.remove(it.key());
    file = ReadFile{};
}

ScanResult CollectionMemory::Apply(FolderLook look) {
    ScanResult result;
    result.read = qsizetype(look.read.size());
    result.skipped = std::move(look.skipped);
    result.cancelled = look.cancelled;
    if (look.Changed()) {
        for (const QString& path : std::as_const(look.gone))
            if (const auto it = fileOf_.constFind(path); it != fileOf_.constEnd())
                DropFile(*it);
        for (ReadFile& file : look.read) {
            if (const auto it = fileOf_.constFind(file.path); it != fileOf_.constEnd())
                DropFile(*it);
            if (file.kept)
                AddFile(std::move(file));
        }
        Settle();
    }
    const ScanResult counts = Counts();
    result.files = counts.files;
    result.versions = counts.versions;
    result.patches = counts.patches;
    result.distinct = counts.distinct;
    return result;
}

void CollectionMemory::AddFile(ReadFile file) {
    if (file.kind != PlaceKind::EarlierVersion)
        for (auto it = file.tags.cbegin(); it != file.tags.cend(); ++it)
            tables_->tags[it.key()] += it.value();
    const auto empty = std::find_if(files_.begin(), files_.end(), [](const ReadFile& f) { return !f.kept; });
    const qsizetype index =
        empty != files_.end() ? qsizetype(empty - files_.begin()) : qsizetype(files_.size());
    fileOf_.insert(file.path, index);
    if (index == qsizetype(files_.size()))
        files_.push_back(std::move(file));
    else
        files_[size_t(index)] = std::move(file);
}

qint32 CollectionMemory::NewEntry(const char* image) {
    CollectionIndex::DistinctList& list = *list_;
    const qint32 entry = qint32(list.Count());
    list.store.append(image, Size);
    list.lengths.push_back(quint8(Size));
    list.places.push_back(0);
    list.deleted.push_back(false);
    list.dead.push_back(false);
    list.rank.push_back(-1);
    tables_->shown.push_back({-1, -1});
    tables_->Insert(list, entry);
    return entry;
}

void CollectionMemory::TakeFresh(std::vector<qint32>& starts,
                                 std::vector<std::pair<qint32, qint32>>& places) {
    CollectionIndex::DistinctList& list = *list_;
    // Every place with its order key, sorted by it: the patches come out in the list's order, each
    // one's places together and in the files' order, so that no look-up is needed to number them.
    // Each step is shared by two threads, each taking its half of the places.
    struct Held {
        quint64 key;
        qint32 file, position;
    };
    std::vector<qsizetype> firstOf(files_.size() + 1, 0); // the first place of each file
    for (size_t f = 0; f < files_.size(); ++f)
        firstOf[f + 1] = firstOf[f] + (files_[f].kept ? files_[f].Count() : 0);
    const size_t total = size_t(firstOf.back());
    const bool two = total >= TwoThreadsFrom;
    std::vector<Held> held;
    ReserveLarge(held, total);
    held.resize(total);
    const size_t middleFile =
        size_t(std::lower_bound(firstOf.begin(), firstOf.end(), qsizetype(total / 2)) - firstOf.begin());
    InTwo(two, [&](int half) {
        for (size_t f = half ? std::min(middleFile, files_.size()) : 0;
             f < (half ? files_.size() : middleFile); ++f) {
            ReadFile& file = files_[f];
            if (!file.kept)
                continue;
            file.entries.assign(size_t(file.Count()), -1);
            Held* to = held.data() + firstOf[f];
            for (qint32 k = 0; k < qint32(file.Count()); ++k)
                to[k] = {OrderKey(file.store.constData() + qsizetype(k) * Size), qint32(f), k};
        }
    });
    RadixSort(held);
    const auto image = [this](const Held& h) {
        return files_[size_t(h.file)].store.constData() + qsizetype(h.position) * Size;
    };
    // The halves meet where a key changes, so that no patch has places in both: each half puts its
    // runs of equal keys in order by their whole images and counts its patches.
    size_t middle = total / 2;
    while (middle > 0 && middle < total && held[middle].key == held[middle - 1].key)
        ++middle;
    const std::array<size_t, 3> parts{0, middle, total};
    std::array<qint32, 2> patches{};
    InTwo(two, [&](int half) {
        const auto begin = held.begin() + qsizetype(parts[size_t(half)]),
                   end = held.begin() + qsizetype(parts[size_t(half) + 1]);
        qint32 count = 0;
        for (auto run = begin; run != end;) {
            const auto runEnd = std::find_if(run, end, [&](const Held& h) { return h.key != run->key; });
            if (runEnd - run > 1)
                std::stable_sort(run, runEnd, [&](const Held& a, const Held& b) {
                    return std::memcmp(image(a), image(b), Size) < 0;
                });
            ++count;
            for (auto it = run + 1; it != runEnd; ++it)
                count += std::memcmp(image(*(it - 1)), image(*it), Size) != 0 ? 1 : 0;
            run = runEnd;
        }
        patches[size_t(half)] = count;
    });
    // Then each numbers its patches (the second half's after the first's) and copies them into the
    // store.
    const qint32 count = patches[0] + patches[1];
    ReserveLarge(list.store, qsizetype(count) * Size);
    list.store.resize(qsizetype(count) * Size);
    char* const store = list.store.data();
    ReserveLarge(places, total);
    places.resize(total);
    starts.resize(size_t(count) + 1);
    InTwo(two, [&](int half) {
        qint32 entry = half ? patches[0] - 1 : -1;
        for (size_t i = parts[size_t(half)]; i < parts[size_t(half) + 1]; ++i) {
            const Held& h = held[i];
            const char* bytes = image(h);
            if (i == parts[size_t(half)] || held[i - 1].key != h.key ||
                std::memcmp(image(held[i - 1]), bytes, Size) != 0) {
                starts[size_t(++entry)] = qint32(i);
                std::memcpy(store + qsizetype(entry) * Size, bytes, Size);
            }
            files_[size_t(h.file)].entries[size_t(h.position)] = entry;
            places[i] = {h.file, h.position};
        }
    });
    starts[size_t(count)] = qint32(total);
    list.lengths.assign(size_t(count), quint8(Size));
    AssignLarge(list.places, size_t(count), 0);
    list.deleted.assign(size_t(count), false);
    list.dead.assign(size_t(count), false);
    AssignLarge(list.rank, size_t(count), -1);
    AssignLarge(tables_->shown, size_t(count), std::pair<qint32, qint32>{-1, -1});
}

void CollectionMemory::Settle() {
    CollectionIndex::DistinctList& list = *list_;
    Tables& t = *tables_;
    const qint32 before = qint32(list.Count());
    // The new entries' places (file, position), grouped: entry `before + i` has those from
    // starts[i] to starts[i + 1].
    std::vector<qint32> starts{0};
    std::vector<std::pair<qint32, qint32>> places;
    if (before == 0) {
        touched_.clear();
        TakeFresh(starts, places);
    } else {
        // The patches that gained or lost a place get new entries: the old ones die.
        std::vector<qint32> moved(size_t(before), -1);
        for (const qint32 entry : std::as_const(touched_))
            if (entry < before && moved[size_t(entry)] < 0 && !list.dead[size_t(entry)]) {
                list.dead[size_t(entry)] = true;
                moved[size_t(entry)] = -2; // given its new entry when a place still holds it
            }
        touched_.clear();
        qsizetype incoming = 0;
        for (const ReadFile& file : files_)
            incoming += file.kept && file.entries.empty() ? file.Count() : 0;
        if ((t.entries + incoming) * 2 > qsizetype(t.sound.size()))
            t.Grow(list, t.entries + incoming);
        list.store.reserve(list.store.size() + incoming * Size);
        for (ReadFile& file : files_) {
            if (!file.kept || !file.entries.empty())
                continue;
            file.entries.resize(size_t(file.Count()));
            for (qsizetype k = 0; k < file.Count(); ++k) {
                const char* image = file.store.constData() + k * Size;
                qint32 entry = t.Find(list, image);
                if (entry >= 0 && entry < before) {
                    list.dead[size_t(entry)] = true;
                    moved[size_t(entry)] = -2;
                }
                file.entries[size_t(k)] = entry;
            }
        }
        // One pass over every place: those of changed patches go to their new entries, counted.
        std::vector<qint32> counts;
        for (ReadFile& file : files_) {
            if (!file.kept)
                continue;
            for (qsizetype k = 0; k < file.Count(); ++k) {
                qint32& entry = file.entries[size_t(k)];
                if (entry < 0 || (entry < before && moved[size_t(entry)] != -1)) {
                    if (entry < 0 || moved[size_t(entry)] < 0) {
                        // A file kept from before holds its images only in the list's store.
                        std::array<char, Size> image;
                        std::memcpy(image.data(),
                                    entry >= 0 ? t.Image(list, entry) : file.store.constData() + k * Size,
                                    Size);
                        const qint32 found = t.Find(list, image.data());
                        const qint32 now = found >= before ? found : NewEntry(image.data());
                        if (entry >= 0)
                            moved[size_t(entry)] = now;
                        entry = now;
                    } else {
                        entry = moved[size_t(entry)];
                    }
                }
                if (entry >= before) {
                    counts.resize(std::max(counts.size(), size_t(entry - before) + 1), 0);
                    ++counts[size_t(entry - before)];
                }
            }
        }
        // The new entries' places, grouped by a count and a second pass.
        const qint32 added = qint32(list.Count()) - before;
        counts.resize(size_t(added), 0);
        starts.assign(size_t(added) + 1, 0);
        for (qint32 i = 0; i < added; ++i)
            starts[size_t(i) + 1] = starts[size_t(i)] + counts[size_t(i)];
        places.resize(size_t(starts.back()));
        std::vector<qint32> filled(starts.begin(), starts.end() - 1);
        for (qint32 f = 0; f < qint32(files_.size()); ++f) {
            const ReadFile& file = files_[size_t(f)];
            if (!file.kept)
                continue;
            for (qint32 k = 0; k < qint32(file.Count()); ++k)
                if (const qint32 entry = file.entries[size_t(k)]; entry >= before)
                    places[size_t(filled[size_t(entry - before)]++)] = {f, k};
        }
    }
    // Each new entry's description, and the texts the finder takes: one place's own text where its
    // places hold one (most do), else the distinct ones joined.
    const qint32 added = qint32(list.Count()) - before;
    std::vector<QByteArrayView> texts;
    ReserveLarge(texts, size_t(added));
    texts.resize(size_t(added));
    // Shared by two threads when there are many, each taking its half of the entries. The halves
    // meet where a word of the flags' bits begins, so that the two never write the same word.
    std::array<std::deque<QByteArray>, 2> joined;
    const qint32 middle = std::max(before, (before + added / 2) / 64 * 64) - before;
    const auto describe = [&](int half) {
        std::vector<QByteArrayView> seen;
        for (qint32 i = half ? middle : 0; i < (half ? added : middle); ++i) {
            const qint32 entry = before + i;
            const auto first = places.begin() + starts[size_t(i)],
                       last = places.begin() + starts[size_t(i) + 1];
            list.places[size_t(entry)] = qint32(last - first);
            if (first == last) {
                list.dead[size_t(entry)] = true;
                continue;
            }
            qint32 current = 0;
            QByteArrayView best;
            seen.clear();
            for (auto it = first; it != last; ++it) {
                const ReadFile& file = files_[size_t(it->first)];
                current += file.kind != PlaceKind::EarlierVersion ? 1 : 0;
                const QByteArrayView text = file.Text(it->second);
                if (text.isEmpty())
                    continue;
                if (best.isEmpty() || best.compare(text) < 0) {
                    best = text;
                    t.shown[size_t(entry)] = *it;
                }
                if (std::find(seen.begin(), seen.end(), text) == seen.end())
                    seen.push_back(text);
            }
            if (seen.size() == 1) {
                texts[size_t(i)] = seen.front();
            } else if (seen.size() > 1) {
                QByteArray& all = joined[size_t(half)].emplace_back(seen.front().toByteArray());
                for (size_t s = 1; s < seen.size(); ++s)
                    all += '\n' + seen[s].toByteArray();
                texts[size_t(i)] = all;
            }
            list.deleted[size_t(entry)] = current == 0;
        }
    };
    // The finder takes the new texts on a thread of its own while the tables and the order are made
    // here: neither touches what the other changes. Its room is made here first, from this thread's
    // heap, where the memory of a list read before was left.
    InTwo(size_t(added) >= TwoThreadsFrom, describe);
    const auto textOf = [&](qsizetype k) {
        return k >= before ? texts[size_t(k - before)] : QByteArrayView();
    };
    std::thread finding;
    if (added >= 4096) {
        list.finder.ReserveUtf8(list.store, textOf);
        finding = std::thread([&] { list.finder.AppendUtf8(list.store, textOf); });
    } else {
        list.finder.AppendUtf8(list.store, textOf);
    }
    if (before == 0) {
        // A list read afresh is numbered in its order (by name, then bytes), so that an answer of
        // the finder is in the list's order as it stands; every entry lives.
        t.Grow(list);
        list.order.resize(size_t(added));
        std::iota(list.order.begin(), list.order.end(), 0);
    } else {
        // The order: the live entries that stay, merged with the new ones sorted by name then bytes.
        struct Key {
            quint64 order;
            qint32 entry;
        };
        const auto less = [&list](const Key& a, const Key& b) {
            if (a.order != b.order)
                return a.order < b.order;
            return std::memcmp(list.store.constData() + qsizetype(a.entry) * Size,
                               list.store.constData() + qsizetype(b.entry) * Size, Size) < 0;
        };
        const auto keyOf = [&list](qint32 entry) {
            return Key{OrderKey(list.store.constData() + qsizetype(entry) * Size), entry};
        };
        std::vector<Key> fresh;
        for (qint32 entry = before; entry < qint32(list.Count()); ++entry)
            if (!list.dead[size_t(entry)])
                fresh.push_back(keyOf(entry));
        std::sort(fresh.begin(), fresh.end(), less);
        std::vector<qint32> order;
        order.reserve(list.order.size() + fresh.size());
        auto next = fresh.begin();
        for (const qint32 entry : list.order) {
            if (list.dead[size_t(entry)])
                continue;
            if (next != fresh.end()) {
                const Key key = keyOf(entry);
                for (; next != fresh.end() && less(*next, key); ++next)
                    order.push_back(next->entry);
            }
            order.push_back(entry);
        }
        for (; next != fresh.end(); ++next)
            order.push_back(next->entry);
        list.order = std::move(order);
    }
    std::fill(list.rank.begin(), list.rank.end(), -1);
    list.inOrder = true;
    for (qint32 r = 0; r < qint32(list.order.size()); ++r) {
        list.rank[size_t(list.order[size_t(r)])] = r;
        list.inOrder = list.inOrder && list.order[size_t(r)] == r;
    }
    list.inOrder = list.inOrder && qsizetype(list.order.size()) == list.Count();
    if (finding.joinable())
        finding.join();
    for (ReadFile& file : files_)
        file.store = QByteArray(); // its images are in the list's store now
}

QString CollectionMemory::DescriptionOf(qsizetype entry) const {
    if (entry < 0 || entry >= list_->Count())
        return {};
    const auto [file, position] = tables_->shown[size_t(entry)];
    return file < 0 ? QString() : QString::fromUtf8(files_[size_t(file)].Text(position));
}

unsigned CollectionMemory::TwinKindsOf(qsizetype entry) const {
    const CollectionIndex::DistinctList& list = *list_;
    const Tables& t = *tables_;
    if (entry < 0 || entry >= list.Count())
        return TwinNone;
    unsigned kinds = list.places[size_t(entry)] > 1 ? TwinIdentical : TwinNone;
    const char* image = t.Image(list, qint32(entry));
    const auto sound = SoundBytes(image);
    for (qint32 k = t.sound[t.SoundSlot(list, image)]; k >= 0; k = t.nextSound[size_t(k)])
        if (!list.dead[size_t(k)] && std::memcmp(t.Image(list, k), image, Size) != 0) {
            kinds |= TwinSameSound;
            break;
        }
    for (qint32 k = t.name[t.NameSlot(list, image)]; k >= 0; k = t.nextName[size_t(k)])
        if (!list.dead[size_t(k)] && SoundBytes(t.Image(list, k)) != sound) {
            kinds |= TwinSameName;
            break;
        }
    return kinds;
}

std::vector<RelatedPlace> CollectionMemory::WhereUsed(const QByteArray& bytes) const {
    const CollectionIndex::DistinctList& list = *list_;
    const Tables& t = *tables_;
    std::vector<RelatedPlace> related;
    if (bytes.size() != Size)
        return related;
    const char* image = bytes.constData();
    const auto sound = SoundBytes(image);
    // The entries of each relation, then one pass over the places for them.
    QHash<qint32, Relation> relationOf;
    for (qint32 k = t.sound[t.SoundSlot(list, image)]; k >= 0; k = t.nextSound[size_t(k)])
        if (!list.dead[size_t(k)])
            relationOf.insert(k, std::memcmp(t.Image(list, k), image, Size) == 0 ? Relation::Identical
                                                                                 : Relation::SameSound);
    for (qint32 k = t.name[t.NameSlot(list, image)]; k >= 0; k = t.nextName[size_t(k)])
        if (!list.dead[size_t(k)] && SoundBytes(t.Image(list, k)) != sound)
            relationOf.insert(k, Relation::SameName);
    if (relationOf.isEmpty())
        return related;
    // A window asks this for every line it moves to: a bit per entry keeps the pass over a million
    // places to a test each, the look-up only for the few that hold one.
    std::vector<bool> wanted(size_t(list.Count()), false);
    for (auto it = relationOf.cbegin(); it != relationOf.cend(); ++it)
        wanted[size_t(it.key())] = true;
    for (const ReadFile& file : files_) {
        if (!file.kept)
            continue;
        for (qsizetype k = 0; k < file.Count(); ++k) {
            if (!wanted[size_t(file.entries[size_t(k)])])
                continue;
            const auto it = relationOf.constFind(file.entries[size_t(k)]);
            const QByteArray patch(t.Image(list, file.entries[size_t(k)]), Size);
            related.push_back(
                {*it, Place{file.path, k, file.kind, NameOf(patch), QString::fromUtf8(file.Text(k)), patch}});
        }
    }
    std::sort(related.begin(), related.end(), [](const RelatedPlace& a, const RelatedPlace& b) {
        if (a.relation != b.relation)
            return int(a.relation) < int(b.relation);
        return a.place.path != b.place.path ? a.place.path < b.place.path
                                            : a.place.position < b.place.position;
    });
    return related;
}

std::vector<TagCount> CollectionMemory::Tags() const {
    std::vector<TagCount> tags;
    for (auto it = tables_->tags.cbegin(); it != tables_->tags.cend(); ++it)
        tags.push_back({it.key(), it.value()});
    // As the cache orders them: by the tags' UTF-8 bytes.
    std::sort(tags.begin(), tags.end(),
              [](const TagCount& a, const TagCount& b) { return a.tag.toUtf8() < b.tag.toUtf8(); });
    return tags;
}

qsizetype CollectionMemory::HeldBytes() const {
    qsizetype held = qsizetype(files_.capacity() * sizeof(ReadFile));
    for (const ReadFile& file : files_)
        held += file.store.capacity() + file.texts.capacity() +
                qsizetype(file.ends.capacity() * sizeof(quint32) + file.entries.capacity() * sizeof(qint32));
    const Tables& t = *tables_;
    held +=
        qsizetype((t.sound.capacity() + t.name.capacity() + t.nextSound.capacity() + t.nextName.capacity()) *
                      sizeof(qint32) +
                  t.shown.capacity() * sizeof(std::pair<qint32, qint32>));
    return held;
}

ScanResult CollectionMemory::Counts() const {
    ScanResult result;
    for (const ReadFile& file : files_) {
        if (!file.kept)
            continue;
        ++result.files;
        result.versions += file.kind == PlaceKind::EarlierVersion ? 1 : 0;
        result.patches += file.Count();
    }
    result.distinct = list_->LiveCount();
    return result;
}

} // namespace quillbox
