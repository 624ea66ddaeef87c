#include "TwinIndex.h"

#include "PatchImage.h"
#include "PatchName.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cstring>

namespace quillbox {

namespace {

quint64 NameField(const TwinIndex::Key& bytes) {
    return PatchNameField(reinterpret_cast<const char*>(bytes.data()));
}

void SetNameField(TwinIndex::Key& bytes, quint64 field) {
    SetPatchNameField(reinterpret_cast<char*>(bytes.data()), field);
}

// The name's codes with the three blank codes (0, 48, 49) made one, as the name is shown.
quint64 RenderedName(quint64 field) {
    quint64 codes = 0;
    for (int c = 0; c < 6; ++c) {
        quint64 code = quint64(PatchNameCode(field, c));
        if (code == 48 || code == 49)
            code = 0;
        codes |= code << (6 * c);
    }
    return codes;
}

quint64 Mix(quint64 h) {
    h = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ULL;
    h = (h ^ (h >> 29)) * 0x94D049BB133111EBULL;
    return h ^ (h >> 32);
}

quint64 HashOf(quint64 key) {
    return Mix(key);
}

quint64 HashOf(const TwinIndex::Key& key) {
    quint64 words[3] = {0, 0, 0};
    std::memcpy(words, key.data(), key.size());
    return Mix(Mix(words[0] ^ 0x9E3779B97F4A7C15ULL) ^ words[1]) ^ words[2];
}

QString Positions(const std::vector<qsizetype>& positions) {
    QStringList texts;
    for (qsizetype p : positions)
        texts.append(QStringLiteral("%1").arg(p + 1, 2, 10, QLatin1Char('0')));
    return texts.join(QStringLiteral(", "));
}

} // namespace

template <typename K> size_t TwinIndex::Counts<K>::Find(const K& key) const {
    const size_t mask = slots_.size() - 1;
    size_t at = size_t(HashOf(key)) & mask;
    while (slots_[at].count != Unused && !(slots_[at].key == key))
        at = (at + 1) & mask;
    return at;
}

template <typename K> qsizetype TwinIndex::Counts<K>::Of(const K& key) const {
    if (slots_.empty())
        return 0;
    const Slot& slot = slots_[Find(key)];
    return slot.count == Unused ? 0 : slot.count;
}

template <typename K> void TwinIndex::Counts<K>::Add(const K& key, qsizetype delta) {
    if (2 * (used_ + 1) > slots_.size())
        Reserve(used_ + 1);
    Slot& slot = slots_[Find(key)];
    if (slot.count == Unused) {
        slot = Slot{key, 0};
        ++used_;
    }
    slot.count += qint32(delta);
}

template <typename K> void TwinIndex::Counts<K>::Prefetch(const K& key) const {
    if (!slots_.empty())
        __builtin_prefetch(&slots_[size_t(HashOf(key)) & (slots_.size() - 1)]);
}

template <typename K> void TwinIndex::Counts<K>::Reserve(size_t keys) {
    size_t live = 0;
    for (const Slot& slot : slots_)
        live += slot.count > 0 ? 1 : 0;
    size_t capacity = 64;
    while (capacity < 2 * std::max(keys, 2 * live))
        capacity *= 2;
    if (capacity <= slots_.size() && 2 * keys <= slots_.size())
        return;
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    used_ = 0;
    for (const Slot& slot : old) {
        if (slot.count > 0) {
            slots_[Find(slot.key)] = slot;
            ++used_;
        }
    }
}

TwinIndex::Keys TwinIndex::KeysOf(const QByteArray& store, qsizetype index) {
    Keys keys{};
    // As the library stores it: an entry cut short by the end of the store padded with blanks.
    const QByteArrayView bytes = EntryView(store, index);
    keys.bytes.fill(' ');
    if (!bytes.isEmpty())
        std::memcpy(keys.bytes.data(), bytes.data(), size_t(bytes.size()));
    const quint64 field = NameField(keys.bytes);
    keys.sound = keys.bytes;
    SetNameField(keys.sound, field & ~PatchNameMask);
    keys.name = RenderedName(field);
    keys.nameSound = keys.sound;
    // The rendered name in place of the name bits: equal names with equal sounds count as one.
    SetNameField(keys.nameSound, (field & ~PatchNameMask) | (keys.name << 5));
    return keys;
}

void TwinIndex::PrefetchAll(const Keys& keys) const {
    bytes_.Prefetch(keys.bytes);
    sound_.Prefetch(keys.sound);
    nameSound_.Prefetch(keys.nameSound);
    name_.Prefetch(keys.name);
}

template <typename Position>
void TwinIndex::CountEach(const QByteArray& store, qsizetype n, Position position, qsizetype delta) {
    std::array<Keys, Batch> batch;
    for (qsizetype start = 0; start < n; start += Batch) {
        const qsizetype m = std::min(Batch, n - start);
        for (qsizetype i = 0; i < m; ++i) {
            batch[size_t(i)] = KeysOf(store, position(start + i));
            PrefetchAll(batch[size_t(i)]);
        }
        for (qsizetype i = 0; i < m; ++i) {
            const Keys& keys = batch[size_t(i)];
            bytes_.Add(keys.bytes, delta);
            sound_.Add(keys.sound, delta);
            nameSound_.Add(keys.nameSound, delta);
            name_.Add(keys.name, delta);
        }
    }
}

void TwinIndex::Count(const QByteArray& store, qsizetype from, qsizetype to, qsizetype delta) {
    CountEach(
        store, std::max<qsizetype>(to - from, 0), [from](qsizetype i) { return from + i; }, delta);
}

void TwinIndex::CountAt(const QByteArray& store, const QList<qsizetype>& positions, qsizetype delta) {
    CountEach(
        store, positions.size(), [&positions](qsizetype i) { return positions.at(i); }, delta);
}

void TwinIndex::Rearranged(const QByteArray& before, const QByteArray& library) {
    if (IsOf(before))
        counted_ = library;
}

void TwinIndex::Removed(const QByteArray& before, const QList<qsizetype>& removed,
                        const QByteArray& library) {
    if (!IsOf(before))
        return;
    CountAt(before, removed, -1);
    counted_ = library;
}

void TwinIndex::Inserted(const QByteArray& before, const QList<qsizetype>& inserted,
                         const QByteArray& library) {
    if (!IsOf(before))
        return;
    CountAt(library, inserted, +1);
    counted_ = library;
}

void TwinIndex::Update(const QByteArray& library) {
    ++recounts_;
    const qsizetype oldCount = EntryCount(counted_), newCount = EntryCount(library);
    // Whole entries alike at the start and at the end of both stores need no counting again.
    const qsizetype common = std::min(oldCount, newCount);
    const char* oldBytes = counted_.constData();
    const qsizetype wholeCommon = std::min(counted_.size(), library.size()) / PatchImageSize * PatchImageSize;
    const qsizetype head =
        qsizetype(std::mismatch(oldBytes, oldBytes + wholeCommon, library.constData()).first - oldBytes) /
        PatchImageSize;
    // The ends are compared only when both stores end alike (whole, or short by the same bytes).
    qsizetype tail = 0;
    if (counted_.size() % PatchImageSize == library.size() % PatchImageSize) {
        while (tail < common - head &&
               KeysOf(counted_, oldCount - 1 - tail).bytes == KeysOf(library, newCount - 1 - tail).bytes)
            ++tail;
    }
    // Taking the old middle out and the new one in costs more than counting every entry anew when
    // the change spans most of the library (a scattered selection deleted, nothing in common).
    const qsizetype oldMiddle = oldCount - tail - head, newMiddle = newCount - tail - head;
    if ((head == 0 && tail == 0) || oldMiddle + newMiddle > newCount) {
        bytes_ = {}, sound_ = {}, nameSound_ = {};
        name_ = {};
        for (auto* counts : {&bytes_, &sound_, &nameSound_})
            counts->Reserve(size_t(newCount));
        name_.Reserve(size_t(newCount));
        Count(library, 0, newCount, +1);
    } else {
        Count(counted_, head, oldCount - tail, -1);
        Count(library, head, newCount - tail, +1);
    }
    counted_ = library;
}

unsigned TwinIndex::Kinds(const Keys& keys, qsizetype self) const {
    const qsizetype identical = bytes_.Of(keys.bytes);
    unsigned kinds = identical - self > 0 ? TwinIdentical : TwinNone;
    if (sound_.Of(keys.sound) > identical)
        kinds |= TwinSameSound;
    if (name_.Of(keys.name) > nameSound_.Of(keys.nameSound))
        kinds |= TwinSameName;
    return kinds;
}

unsigned TwinIndex::LibraryKinds(qsizetype index) const {
    return Kinds(KeysOf(counted_, index), 1);
}

unsigned TwinIndex::PatchKinds(const QByteArray& patches, qsizetype index) const {
    return Kinds(KeysOf(patches, index), 0);
}

std::vector<unsigned> TwinIndex::AllPatchKinds(const QByteArray& patches) const {
    const qsizetype count = EntryCount(patches);
    std::vector<unsigned> kinds(static_cast<size_t>(count));
    std::array<Keys, Batch> batch;
    for (qsizetype start = 0; start < count; start += Batch) {
        const qsizetype n = std::min(Batch, count - start);
        for (qsizetype i = 0; i < n; ++i) {
            batch[size_t(i)] = KeysOf(patches, start + i);
            PrefetchAll(batch[size_t(i)]);
        }
        for (qsizetype i = 0; i < n; ++i)
            kinds[size_t(start + i)] = Kinds(batch[size_t(i)], 0);
    }
    return kinds;
}

bool TwinIndex::NameInLibrary(const QByteArray& patches, qsizetype index) const {
    return name_.Of(KeysOf(patches, index).name) > 0;
}

std::vector<qsizetype> TwinIndex::TwinPositions(const QByteArray& image, TwinKind kind,
                                                qsizetype self) const {
    const Keys keys = KeysOf(image, 0);
    std::vector<qsizetype> positions;
    const qsizetype count = EntryCount(counted_);
    for (qsizetype k = 0; k < count; ++k) {
        if (k == self)
            continue;
        const Keys other = KeysOf(counted_, k);
        const bool twin = kind == TwinIdentical ? other.bytes == keys.bytes
                          : kind == TwinSameSound
                              ? other.sound == keys.sound && other.bytes != keys.bytes
                              : other.name == keys.name && other.nameSound != keys.nameSound;
        if (twin)
            positions.push_back(k);
    }
    return positions;
}

QString TwinIndex::ToolTip(const QByteArray& image, qsizetype self) const {
    QStringList lines;
    const std::pair<TwinKind, QString> kinds[] = {{TwinIdentical, QStringLiteral("Identical to ")},
                                                  {TwinSameSound, QStringLiteral("Same sound, other name: ")},
                                                  {TwinSameName, QStringLiteral("Same name, other sound: ")}};
    for (const auto& [kind, lead] : kinds) {
        const std::vector<qsizetype> positions = TwinPositions(image, kind, self);
        if (!positions.empty())
            lines.append(lead + Positions(positions));
    }
    return lines.join(u'\n');
}

} // namespace quillbox
