#include "ChangeHistory.h"

#include "PatchImage.h"

#include <cstring>

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
        while (i < size && a[i] == b[i])
            ++i;
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

qsizetype TextCost(const QStringList& list) {
    qsizetype cost = 0;
    for (const QString& text : list)
        cost += qsizetype(sizeof(QString)) + 32 + 2 * text.size();
    return cost;
}

} // namespace

ChangeHistory::Step ChangeHistory::Diff(const LibrarySnapshot& before, const LibrarySnapshot& after) {
    Step step;
    const QByteArray& a = before.library;
    const QByteArray& b = after.library;
    if (a.constData() != b.constData() || a.size() != b.size()) {
        const qsizetype shorter = std::min(a.size(), b.size());
        // Whole entries on either side, so that a step names the entries it touched.
        qsizetype prefix = CommonPrefix(a.constData(), b.constData(), shorter);
        prefix -= prefix % PatchImageSize;
        qsizetype suffix = CommonSuffix(a.constData(), a.size(), b.constData(), b.size(), shorter - prefix);
        suffix -= suffix % PatchImageSize;
        step.bytePos = prefix;
        step.beforeSize = a.size() - prefix - suffix;
        step.afterSize = b.size() - prefix - suffix;
        if (step.beforeSize == step.afterSize)
            step.xorBytes = XorRuns(a.constData() + prefix, b.constData() + prefix, step.beforeSize);
        else {
            step.beforeBytes = a.mid(prefix, step.beforeSize);
            step.afterBytes = b.mid(prefix, step.afterSize);
        }
    }

    const QStringList& x = before.descriptions;
    const QStringList& y = after.descriptions;
    if (x.constData() != y.constData() || x.size() != y.size()) {
        const qsizetype shorter = std::min(x.size(), y.size());
        qsizetype prefix = 0;
        while (prefix < shorter && SameText(x.at(prefix), y.at(prefix)))
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shorter - prefix &&
               SameText(x.at(x.size() - 1 - suffix), y.at(y.size() - 1 - suffix)))
            ++suffix;
        step.descPos = prefix;
        step.descBefore = x.mid(prefix, x.size() - prefix - suffix);
        step.descAfter = y.mid(prefix, y.size() - prefix - suffix);
    }
    return step;
}

qsizetype ChangeHistory::Cost(const Step& step) {
    return qsizetype(sizeof(Step)) + 2 * step.name.size() + 4 * 32 + step.beforeBytes.size() +
           step.afterBytes.size() + step.xorBytes.size() + TextCost(step.descBefore) +
           TextCost(step.descAfter) +
           qsizetype(sizeof(qsizetype)) *
               (step.panelBefore.libSelected.size() + step.panelAfter.libSelected.size());
}

void ChangeHistory::Apply(const Step& step, bool forward, QByteArray& library, QStringList& descriptions) {
    if (step.beforeSize == step.afterSize) {
        if (!step.xorBytes.isEmpty())
            ApplyXorRuns(step.xorBytes, library.data() + step.bytePos);
    } else {
        library.replace(step.bytePos, forward ? step.beforeSize : step.afterSize,
                        forward ? step.afterBytes : step.beforeBytes);
    }
    const QStringList& from = forward ? step.descBefore : step.descAfter;
    const QStringList& to = forward ? step.descAfter : step.descBefore;
    if (!from.isEmpty() || !to.isEmpty())
        ReplaceItems(descriptions, step.descPos, from.size(), to);
}

bool ChangeHistory::Record(const QString& name, const LibrarySnapshot& before, const LibrarySnapshot& after,
                           qsizetype typingEntry) {
    Step step = Diff(before, after);
    const bool bytesSame = step.beforeSize == step.afterSize && step.xorBytes.isEmpty();
    if (bytesSame && step.descBefore.isEmpty() && step.descAfter.isEmpty())
        return false;
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
        return s.beforeSize == s.afterSize && s.xorBytes.isEmpty() && s.descBefore.size() == 1 &&
               s.descAfter.size() == 1;
    };
    if (last.typingEntry != step.typingEntry || !onlyOneText(last) || !onlyOneText(step) ||
        last.descPos != step.descPos)
        return false;
    memory_ -= last.cost;
    last.descAfter = step.descAfter;
    last.panelAfter = step.panelAfter;
    if (last.descBefore.first() == last.descAfter.first()) {
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
