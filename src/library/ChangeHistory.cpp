#include "ChangeHistory.h"

#include "PatchImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillbox {

namespace {

qsizetype CommonPrefix(const char* a, const char* b, qsizetype n) {
    qsizetype i = 0;
    constexpr qsizetype Chunk = 256;
    while (i + Chunk <= n && std::memcmp(a + i, b + i, Chunk) == 0)
        i += Chunk;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// Length of the common end of a[0, aSize) and b[0, bSize), at most `limit`.
qsizetype CommonSuffix(const char* a, qsizetype aSize, const char* b, qsizetype bSize, qsizetype limit) {
    qsizetype i = 0;
    constexpr qsizetype Chunk = 256;
    while (i + Chunk <= limit && std::memcmp(a + aSize - i - Chunk, b + bSize - i - Chunk, Chunk) == 0)
        i += Chunk;
    while (i < limit && a[aSize - 1 - i] == b[bSize - 1 - i])
        ++i;
    return i;
}

// Descriptions copied from one another still share their text, which makes the usual case cheap.
bool SameText(const QString& a, const QString& b) {
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

void AppendNumber(QByteArray& out, qsizetype value) {
    auto v = quint64(value);
    do {
        const auto low = char(v & 0x7F);
        v >>= 7;
        out.append(v ? char(low | 0x80) : low);
    } while (v);
}

qsizetype ReadNumber(const char*& p) {
    quint64 value = 0;
    int shift = 0;
    for (;;) {
        const auto byte = quint8(*p++);
        value |= quint64(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return qsizetype(value);
        shift += 7;
    }
}

// The bytes in which two ranges of equal length differ: runs of (unchanged length, changed length,
// changed bytes exclusive-or'ed). Applying it to either side gives the other.
QByteArray XorRuns(const char* a, const char* b, qsizetype size) {
    QByteArray out;
    qsizetype i = 0;
    while (i < size) {
        const qsizetype start = i;
        // Byte by byte first: where every entry changes the next change is close.
        const qsizetype near = std::min(size, i + 32);
        while (i < near && a[i] == b[i])
            ++i;
        if (i == near)
            i += CommonPrefix(a + i, b + i, size - i);
        if (i == size)
            break;
        const qsizetype skip = i - start;
        qsizetype end = i;
        // A gap of a few equal bytes costs less inside the run than as a new run.
        while (end < size) {
            if (a[end] != b[end]) {
                ++end;
                continue;
            }
            qsizetype same = end;
            while (same < size && same - end < 3 && a[same] == b[same])
                ++same;
            if (same == size || same - end >= 3)
                break;
            end = same;
        }
        AppendNumber(out, skip);
        AppendNumber(out, end - i);
        // Written in place: a byte-wise append costs more than the comparison itself.
        const qsizetype at = out.size();
        out.resize(at + (end - i));
        char* x = out.data() + at;
        for (; i < end; ++i)
            *x++ = char(a[i] ^ b[i]);
    }
    out.squeeze(); // kept for long: no room to grow
    return out;
}

void ApplyXorRuns(const QByteArray& runs, char* data) {
    const char* p = runs.constData();
    const char* end = p + runs.size();
    while (p < end) {
        data += ReadNumber(p);
        const qsizetype length = ReadNumber(p);
        for (qsizetype i = 0; i < length; ++i)
            *data++ ^= *p++;
    }
}

// Items [pos, pos + oldCount) of `list` become `items`.
void ReplaceItems(QStringList& list, qsizetype pos, qsizetype oldCount, const QStringList& items) {
    const qsizetype newCount = items.size();
    if (newCount > oldCount)
        list.insert(pos + oldCount, newCount - oldCount, QString());
    else if (newCount < oldCount)
        list.remove(pos + newCount, oldCount - newCount);
    for (qsizetype i = 0; i < newCount; ++i)
        list[pos + i] = items.at(i);
}

constexpr qsizetype BlockCost = 32; // the allocation of a list's, an array's or a text's items

// A list's or an array's items: nothing until it holds some.
qsizetype Block(qsizetype capacity, size_t itemSize) {
    return capacity > 0 ? BlockCost + capacity * qsizetype(itemSize) : 0;
}

// Counted as if every text were the step's own, though most share theirs with the library. From
// the sizes alone: a text's own block is far in memory, and reading each would cost more than the
// step itself.
qsizetype TextCost(const QStringList& list) {
    qsizetype cost = Block(list.capacity(), sizeof(QString));
    for (const QString& text : list)
        cost += Block(text.size(), 2);
    return cost;
}

// Below this many items a changed middle of another length is kept whole.
constexpr qsizetype SplitMinimum = 16;

// The changed middles [0, beforeCount) and [0, afterCount) differ in length: somewhere items were
// inserted or removed. Returns how many leading items to compare in place, the rest being compared
// from the end, so that the fewest items differ; the inserted or removed items sit right after them.
// `same(i, j)` compares item i before with item j after.
template <class Same> qsizetype SplitPoint(qsizetype beforeCount, qsizetype afterCount, Same same) {
    const qsizetype common = std::min(beforeCount, afterCount);
    const qsizetype beforeShift = beforeCount - common;
    const qsizetype afterShift = afterCount - common;
    std::vector<char> sameFromEnd(static_cast<size_t>(common));
    qsizetype back = 0; // items from `split` on that differ when compared from the end
    for (qsizetype i = 0; i < common; ++i) {
        sameFromEnd[size_t(i)] = same(i + beforeShift, i + afterShift) ? 1 : 0;
        back += sameFromEnd[size_t(i)] ? 0 : 1;
    }
    qsizetype front = 0; // items before `split` that differ in place
    qsizetype best = back;
    qsizetype bestSplit = 0;
    for (qsizetype i = 0; i < common && best > 0; ++i) {
        front += same(i, i) ? 0 : 1;
        back -= sameFromEnd[size_t(i)] ? 0 : 1;
        if (front + back < best) {
            best = front + back;
            bestSplit = i + 1;
        }
    }
    return bestSplit;
}

} // namespace

ChangeHistory::Step ChangeHistory::Diff(const LibrarySnapshot& before, const LibrarySnapshot& after) {
    Step step;
    const QByteArray& a = before.library;
    const QByteArray& b = after.library;
    if (a.constData() != b.constData() || a.size() != b.size()) {
        const char* pa = a.constData();
        const char* pb = b.constData();
        // Stretches of equal length [ai, ai + size) before and [bi, bi + size) after, each
        // changed byte kept as an exclusive or.
        const auto xorRun = [&](qsizetype ai, qsizetype bi, qsizetype size) {
            QByteArray runs = XorRuns(pa + ai, pb + bi, size);
            if (!runs.isEmpty())
                step.bytes.append({ai, size, size, {}, {}, std::move(runs)});
        };
        const auto replaceRun = [&](qsizetype ai, qsizetype aSize, qsizetype bi, qsizetype bSize) {
            if (aSize > 0 || bSize > 0)
                step.bytes.append({ai, aSize, bSize, a.mid(ai, aSize), b.mid(bi, bSize), {}});
        };
        const qsizetype shorter = std::min(a.size(), b.size());
        // Whole entries on either side, so that a step names the entries it touched.
        qsizetype prefix = CommonPrefix(pa, pb, shorter);
        prefix -= prefix % PatchImageSize;
        qsizetype suffix = CommonSuffix(pa, a.size(), pb, b.size(), shorter - prefix);
        suffix -= suffix % PatchImageSize;
        const qsizetype beforeSize = a.size() - prefix - suffix;
        const qsizetype afterSize = b.size() - prefix - suffix;
        const qsizetype beforeCount = beforeSize / PatchImageSize;
        const qsizetype afterCount = afterSize / PatchImageSize;
        if (beforeSize == afterSize) {
            xorRun(prefix, prefix, beforeSize);
        } else if (beforeSize % PatchImageSize == 0 && afterSize % PatchImageSize == 0 &&
                   std::min(beforeCount, afterCount) >= SplitMinimum) {
            // Entries inserted or removed at one place, others changed in place around it.
            const qsizetype split = SplitPoint(beforeCount, afterCount, [&](qsizetype i, qsizetype j) {
                return std::memcmp(pa + prefix + i * PatchImageSize, pb + prefix + j * PatchImageSize,
                                   PatchImageSize) == 0;
            });
            const qsizetype common = std::min(beforeCount, afterCount);
            const qsizetype at = prefix + split * PatchImageSize;
            const qsizetype removed = (beforeCount - common) * PatchImageSize;
            const qsizetype inserted = (afterCount - common) * PatchImageSize;
            xorRun(prefix, prefix, split * PatchImageSize);
            replaceRun(at, removed, at, inserted);
            xorRun(at + removed, at + inserted, (common - split) * PatchImageSize);
        } else {
            replaceRun(prefix, beforeSize, prefix, afterSize);
        }
    }

    const QStringList& x = before.descriptions;
    const QStringList& y = after.descriptions;
    if (x.constData() != y.constData() || x.size() != y.size()) {
        // Stretches of equal length from xi before and yi after: the differing items as runs; a
        // single equal item between two changed ones stays inside the run (a run costs more).
        const auto sameLengthRuns = [&](qsizetype xi, qsizetype yi, qsizetype count) {
            qsizetype i = 0;
            while (i < count) {
                while (i < count && SameText(x.at(xi + i), y.at(yi + i)))
                    ++i;
                if (i == count)
                    break;
                const qsizetype start = i;
                qsizetype end = i + 1;
                for (;;) {
                    if (end < count && !SameText(x.at(xi + end), y.at(yi + end)))
                        ++end;
                    else if (end + 1 < count && !SameText(x.at(xi + end + 1), y.at(yi + end + 1)))
                        end += 2;
                    else
                        break;
                }
                step.texts.append(
                    {xi + start, x.mid(xi + start, end - start), y.mid(yi + start, end - start)});
                i = end;
            }
        };
        const qsizetype shorter = std::min(x.size(), y.size());
        qsizetype prefix = 0;
        while (prefix < shorter && SameText(x.at(prefix), y.at(prefix)))
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shorter - prefix &&
               SameText(x.at(x.size() - 1 - suffix), y.at(y.size() - 1 - suffix)))
            ++suffix;
        const qsizetype beforeCount = x.size() - prefix - suffix;
        const qsizetype afterCount = y.size() - prefix - suffix;
        if (beforeCount == afterCount) {
            sameLengthRuns(prefix, prefix, beforeCount);
        } else if (std::min(beforeCount, afterCount) >= SplitMinimum) {
            const qsizetype split = SplitPoint(beforeCount, afterCount, [&](qsizetype i, qsizetype j) {
                return SameText(x.at(prefix + i), y.at(prefix + j));
            });
            const qsizetype common = std::min(beforeCount, afterCount);
            const qsizetype at = prefix + split;
            const qsizetype removed = beforeCount - common;
            const qsizetype inserted = afterCount - common;
            sameLengthRuns(prefix, prefix, split);
            step.texts.append({at, x.mid(at, removed), y.mid(at, inserted)});
            sameLengthRuns(at + removed, at + inserted, common - split);
        } else {
            step.texts.append({prefix, x.mid(prefix, beforeCount), y.mid(prefix, afterCount)});
        }
    }
    return step;
}

std::unique_ptr<ChangeHistory::Rearranged> ChangeHistory::Rearrangement(const LibrarySnapshot& before,
                                                                        const LibrarySnapshot& after,
                                                                        const QList<qsizetype>& order) {
    const QByteArray& a = before.library;
    const QByteArray& b = after.library;
    const QStringList& x = before.descriptions;
    const QStringList& y = after.descriptions;
    const qsizetype count = EntryCount(a);
    if (EntryCount(b) != order.size() || x.size() != count + 1 || y.size() != order.size() + 1 ||
        !SameText(x.first(), y.first()))
        return {};
    auto step = std::make_unique<Rearranged>();
    QList<Segment>& segments = step->segments;
    for (const qsizetype k : order) {
        if (k < 0 || k >= count)
            return {};
        if (!segments.isEmpty() && segments.last().from + segments.last().count == k)
            ++segments.last().count;
        else
            segments.append({k, 1});
    }
    // The state after has to be exactly these entries: a short last entry that was padded on the
    // way, or any other change, is recorded as a difference instead.
    qsizetype at = 0;   // bytes after
    qsizetype next = 1; // descriptions after
    std::vector<char> taken(size_t(count), 0);
    for (const Segment& segment : segments) {
        const qsizetype start = segment.from * PatchImageSize;
        const qsizetype length = std::min((segment.from + segment.count) * PatchImageSize, a.size()) - start;
        if (at + length > b.size() ||
            std::memcmp(a.constData() + start, b.constData() + at, size_t(length)) != 0)
            return {};
        at += length;
        for (qsizetype i = 0; i < segment.count; ++i) {
            if (!SameText(x.at(segment.from + 1 + i), y.at(next + i)))
                return {};
        }
        next += segment.count;
        std::fill_n(taken.begin() + segment.from, segment.count, char(1));
    }
    if (at != b.size())
        return {};
    const auto droppedCount = qsizetype(std::count(taken.cbegin(), taken.cend(), char(0)));
    step->droppedBytes.reserve(droppedCount * PatchImageSize);
    // Many dropped descriptions (half the library deleted) are kept as the whole list before, which
    // costs one reference instead of one per description.
    const bool wholeList = droppedCount * 4 >= count;
    if (wholeList)
        step->textsBefore = x;
    else
        step->droppedTexts.resize(droppedCount);
    QString* text = step->droppedTexts.data();
    for (qsizetype k = 0; k < count;) {
        if (taken[size_t(k)]) {
            ++k;
            continue;
        }
        qsizetype end = k + 1;
        while (end < count && !taken[size_t(end)])
            ++end;
        const qsizetype start = k * PatchImageSize;
        step->dropped.append({k, end - k});
        step->droppedBytes.append(a.constData() + start, std::min(end * PatchImageSize, a.size()) - start);
        for (qsizetype i = k; i < end && !wholeList; ++i)
            *text++ = x.at(i + 1);
        k = end;
    }
    step->dropped.squeeze();
    step->segments.squeeze();
    step->librarySizeBefore = a.size();
    step->librarySizeAfter = b.size();
    return step;
}

qsizetype ChangeHistory::Cost(const Step& step) {
    qsizetype cost = qsizetype(sizeof(Step)) + Block(std::max(step.name.capacity(), step.name.size()), 2) +
                     Block(step.panelBefore.libSelected.capacity(), sizeof(qsizetype)) +
                     Block(step.panelAfter.libSelected.capacity(), sizeof(qsizetype));
    cost += Block(step.bytes.capacity(), sizeof(ByteRun));
    for (const ByteRun& run : step.bytes)
        cost += Block(run.beforeBytes.capacity(), 1) + Block(run.afterBytes.capacity(), 1) +
                Block(run.xorBytes.capacity(), 1);
    cost += Block(step.texts.capacity(), sizeof(TextRun));
    for (const TextRun& run : step.texts)
        cost += TextCost(run.before) + TextCost(run.after);
    if (const Rearranged* r = step.rearranged.get())
        cost += Block(1, sizeof(Rearranged)) + Block(r->segments.capacity(), sizeof(Segment)) +
                Block(r->dropped.capacity(), sizeof(Segment)) + Block(r->droppedBytes.capacity(), 1) +
                TextCost(r->droppedTexts) + TextCost(r->textsBefore);
    return cost;
}

// The runs lie in ascending order, each at its place in the state before. Forward they are applied
// from the last, so that the places before each are still those of the state before; backward
// from the first, so that everything before each already is the state before again.
void ChangeHistory::Apply(const Step& step, bool forward, QByteArray& library, QStringList& descriptions) {
    if (step.rearranged)
        return ApplyRearranged(*step.rearranged, forward, library, descriptions);
    const auto applyBytes = [&](const ByteRun& run) {
        if (run.beforeSize == run.afterSize)
            ApplyXorRuns(run.xorBytes, library.data() + run.pos);
        else
            library.replace(run.pos, forward ? run.beforeSize : run.afterSize,
                            forward ? run.afterBytes : run.beforeBytes);
    };
    const auto applyTexts = [&](const TextRun& run) {
        ReplaceItems(descriptions, run.pos, forward ? run.before.size() : run.after.size(),
                     forward ? run.after : run.before);
    };
    if (forward) {
        std::for_each(step.bytes.crbegin(), step.bytes.crend(), applyBytes);
        std::for_each(step.texts.crbegin(), step.texts.crend(), applyTexts);
    } else {
        std::for_each(step.bytes.cbegin(), step.bytes.cend(), applyBytes);
        std::for_each(step.texts.cbegin(), step.texts.cend(), applyTexts);
    }
}

void ChangeHistory::ApplyRearranged(const Rearranged& step, bool forward, QByteArray& library,
                                    QStringList& descriptions) {
    const qsizetype sizeBefore = step.librarySizeBefore;
    const auto length = [sizeBefore](const Segment& segment) {
        return std::min((segment.from + segment.count) * PatchImageSize, sizeBefore) -
               segment.from * PatchImageSize;
    };
    if (forward) {
        QByteArray bytes(step.librarySizeAfter, Qt::Uninitialized);
        QStringList texts;
        texts.reserve(EntryCount(bytes) + 1);
        texts.append(descriptions.first());
        char* out = bytes.data();
        for (const Segment& segment : step.segments) {
            const qsizetype size = length(segment);
            std::memcpy(out, library.constData() + segment.from * PatchImageSize, size_t(size));
            out += size;
            for (qsizetype i = 0; i < segment.count; ++i)
                texts.append(descriptions.at(segment.from + 1 + i));
        }
        library = std::move(bytes);
        descriptions = std::move(texts);
        return;
    }
    QByteArray bytes(sizeBefore, Qt::Uninitialized);
    // A step that kept the whole description list before gives it back as it is: every text the
    // state after holds is one of it, unchanged. Putting it together text by text would touch
    // every description for nothing.
    const bool wholeList = !step.textsBefore.isEmpty();
    QStringList texts = wholeList ? QStringList() : QStringList(EntryCount(bytes) + 1);
    if (!wholeList)
        texts[0] = descriptions.first();
    char* out = bytes.data();
    qsizetype at = 0;
    qsizetype next = 1;
    for (const Segment& segment : step.segments) {
        const qsizetype size = length(segment);
        std::memcpy(out + segment.from * PatchImageSize, library.constData() + at, size_t(size));
        at += size;
        for (qsizetype i = 0; i < segment.count && !wholeList; ++i)
            texts[segment.from + 1 + i] = descriptions.at(next + i);
        next += segment.count;
    }
    const char* kept = step.droppedBytes.constData();
    next = 0;
    for (const Segment& entries : step.dropped) {
        const qsizetype size = length(entries);
        std::memcpy(out + entries.from * PatchImageSize, kept, size_t(size));
        kept += size;
        for (qsizetype i = 0; i < entries.count && !wholeList; ++i)
            texts[entries.from + 1 + i] = step.droppedTexts.at(next + i);
        next += entries.count;
    }
    library = std::move(bytes);
    descriptions = wholeList ? step.textsBefore : std::move(texts);
}

bool ChangeHistory::Record(const QString& name, const LibrarySnapshot& before, const LibrarySnapshot& after,
                           qsizetype typingEntry) {
    Step step = Diff(before, after);
    if (step.bytes.isEmpty() && step.texts.isEmpty())
        return false;
    return Push(std::move(step), name, before, after, typingEntry);
}

bool ChangeHistory::RecordRearranged(const QString& name, const LibrarySnapshot& before,
                                     const LibrarySnapshot& after, const QList<qsizetype>& order) {
    Step step;
    step.rearranged = Rearrangement(before, after, order);
    if (!step.rearranged)
        return Record(name, before, after);
    // Equal entries swapped leave the state as it was: no step, as with any other change.
    const auto sameTexts = [&] {
        const QStringList& x = before.descriptions;
        const QStringList& y = after.descriptions;
        return std::equal(x.begin(), x.end(), y.begin(), y.end(), SameText);
    };
    if (step.rearranged->dropped.isEmpty() && before.library == after.library && sameTexts())
        return false;
    return Push(std::move(step), name, before, after, -1);
}

bool ChangeHistory::Push(Step step, const QString& name, const LibrarySnapshot& before,
                         const LibrarySnapshot& after, qsizetype typingEntry) {
    step.name = name;
    step.panelBefore = before.panel;
    step.panelAfter = after.panel;
    step.typingEntry = typingEntry;

    // A new step replaces whatever had been undone.
    while (qsizetype(steps_.size()) > index_) {
        memory_ -= steps_.back().cost;
        steps_.pop_back();
    }
    if (saved_ > index_)
        saved_ = -1;
    if (typingEntry >= 0 && MergeTyping(step))
        return true;

    step.cost = Cost(step);
    memory_ += step.cost;
    steps_.push_back(std::move(step));
    ++index_;
    typingOpen_ = typingEntry >= 0;
    FitBudget();
    return true;
}

bool ChangeHistory::MergeTyping(Step& step) {
    if (!typingOpen_ || steps_.empty() || index_ != qsizetype(steps_.size()))
        return false;
    Step& last = steps_.back();
    const auto onlyOneText = [](const Step& s) {
        return !s.rearranged && s.bytes.isEmpty() && s.texts.size() == 1 &&
               s.texts.first().before.size() == 1 && s.texts.first().after.size() == 1;
    };
    if (last.typingEntry != step.typingEntry || !onlyOneText(last) || !onlyOneText(step) ||
        last.texts.first().pos != step.texts.first().pos)
        return false;
    memory_ -= last.cost;
    last.texts.first().after = step.texts.first().after;
    last.panelAfter = step.panelAfter;
    if (last.texts.first().before.first() == last.texts.first().after.first()) {
        // Typed back to the text it started from: the run changed nothing after all.
        steps_.pop_back();
        --index_;
        typingOpen_ = false;
        return true;
    }
    last.cost = Cost(last);
    memory_ += last.cost;
    return true;
}

QString ChangeHistory::UndoName() const {
    return CanUndo() ? steps_[size_t(index_ - 1)].name : QString();
}

QString ChangeHistory::RedoName() const {
    return CanRedo() ? steps_[size_t(index_)].name : QString();
}

PanelState ChangeHistory::Undo(QByteArray& library, QStringList& descriptions) {
    typingOpen_ = false;
    const Step& step = steps_[size_t(--index_)];
    Apply(step, false, library, descriptions);
    return step.panelBefore;
}

PanelState ChangeHistory::Redo(QByteArray& library, QStringList& descriptions) {
    typingOpen_ = false;
    const Step& step = steps_[size_t(index_++)];
    Apply(step, true, library, descriptions);
    return step.panelAfter;
}

void ChangeHistory::Clear() {
    steps_.clear();
    index_ = 0;
    saved_ = 0;
    memory_ = 0;
    typingOpen_ = false;
}

void ChangeHistory::MarkSaved() {
    saved_ = index_;
    typingOpen_ = false;
}

void ChangeHistory::SetBudget(qsizetype bytes) {
    budget_ = bytes;
    FitBudget();
}

void ChangeHistory::DropOldest() {
    memory_ -= steps_.front().cost;
    steps_.pop_front();
    --index_;
    saved_ = saved_ > 0 ? saved_ - 1 : -1;
}

void ChangeHistory::FitBudget() {
    while (memory_ > budget_ && steps_.size() > 1) {
        if (index_ > 0) {
            DropOldest();
        } else { // everything is undone: the step furthest from here goes
            memory_ -= steps_.back().cost;
            steps_.pop_back();
            if (saved_ > qsizetype(steps_.size()))
                saved_ = -1;
        }
    }
}

} // namespace quillbox
