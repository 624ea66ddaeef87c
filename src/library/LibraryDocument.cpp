#include "LibraryDocument.h"

#include "PatchList.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace quillbox {

namespace {

QList<qsizetype> Run(qsizetype first, qsizetype count) {
    QList<qsizetype> run(count);
    std::iota(run.begin(), run.end(), first);
    return run;
}

bool IsIdentity(const QList<qsizetype>& order, qsizetype count) {
    if (order.size() != count)
        return false;
    for (qsizetype i = 0; i < count; ++i) {
        if (order.at(i) != i)
            return false;
    }
    return true;
}

} // namespace

namespace {

// A name as it sorts: the blanks that pad it at the end do not count; one at the start is part of
// the name as the list shows it.
QStringView SortKey(QStringView name) {
    while (!name.isEmpty() && name.back().isSpace())
        name.chop(1);
    return name;
}

} // namespace

bool NameSortsBefore(const QString& left, const QString& right) {
    return SortKey(left).compare(SortKey(right), Qt::CaseInsensitive) < 0;
}

void LibraryDocument::WaitForCounts() const {
    if (counting_.valid())
        counting_.get(); // a failure of the count (memory) surfaces here, in the window's thread
}

const TwinIndex& LibraryDocument::Twins() const {
    WaitForCounts();
    // Counted lazily as well: undo, redo and loads replace the library however they like.
    if (!twins_.IsOf(state_.LibraryData))
        twins_.Update(state_.LibraryData);
    return twins_;
}

const TwinIndex* LibraryDocument::TwinsIfCounted() const {
    if (counting_.valid()) {
        if (counting_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return nullptr;
        counting_.get();
    }
    if (!twins_.IsOf(state_.LibraryData)) {
        if (Count() < BigLibrary) {
            twins_.Update(state_.LibraryData);
        } else {
            counting_ = std::async(std::launch::async,
                                   [this, library = state_.LibraryData] { twins_.Update(library); });
            return nullptr;
        }
    }
    return &twins_;
}

void LibraryDocument::UpdateCounts(qsizetype entries, std::function<void()> update) {
    const bool busy =
        counting_.valid() && counting_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    if (!busy) {
        WaitForCounts();
        if (entries < CountedAside)
            return update();
    }
    // After the count that runs, so that the counts see every change in order.
    counting_ = std::async(std::launch::async,
                           [previous = std::move(counting_), update = std::move(update)]() mutable {
                               if (previous.valid())
                                   previous.get();
                               update();
                           });
}

qsizetype LibraryDocument::Count() const {
    return EntryCount(state_.LibraryData);
}

QByteArray LibraryDocument::Entry(qsizetype k) const {
    return PatchImage::FromStore(state_.LibraryData, k).Bytes();
}

// ---------------------------------------------------------------------------------------------
// Description array

bool LibraryDocument::ModifyDescArray(qint32 arrayNr, qint32 arrayMode, const QString& descriptionText) {
    QStringList& desc = state_.DescArray;
    const qsizetype upper = desc.size() - 1; // highest index; -1 when the array has no elements
    const qsizetype nr = arrayNr;

    // Every precondition is checked before anything changes, so a failure leaves the array whole.
    auto fail = [this](const QString& why) {
        messages_(QStringLiteral("ModifyDescArray: ") + why);
        return false;
    };
    auto noElements = [&] {
        return fail(QStringLiteral("the description array has no elements"));
    };
    auto outside = [&](qsizetype index) {
        return fail(
            QStringLiteral("index %1 is outside the description array (0 to %2)").arg(index).arg(upper));
    };
    auto needIndex = [&](qsizetype index) {
        return desc.isEmpty() || index < 0 || index > upper;
    };
    auto indexFailure = [&](qsizetype index) {
        return desc.isEmpty() ? noElements() : outside(index);
    };

    switch (arrayMode) {
    case DescRemove:
        if (needIndex(nr))
            return indexFailure(nr);
        if (upper == 0)
            return fail(QStringLiteral("element 0 cannot be removed"));
        desc.removeAt(nr);
        return true;
    case DescClear:
        desc = QStringList{QString()};
        return true;
    case DescInsertAfter:
        if (needIndex(nr))
            return indexFailure(nr);
        desc.insert(nr + 1, descriptionText);
        return true;
    case DescDuplicate:
        if (needIndex(nr))
            return indexFailure(nr);
        desc.insert(nr + 1, desc.at(nr));
        return true;
    case DescResizeAndSet: {
        const qsizetype newUpper = Count() + 1;
        if (nr + 1 < 0 || nr + 1 > newUpper)
            return fail(QStringLiteral("index %1 is outside the description array (0 to %2)")
                            .arg(nr + 1)
                            .arg(newUpper));
        desc.resize(newUpper + 1);
        desc[nr + 1] = descriptionText;
        return true;
    }
    case DescAppend:
        if (desc.isEmpty())
            desc.append(QString());
        desc.append(descriptionText);
        return true;
    case DescSetSelected: {
        const qsizetype index = state_.LibSelection + 1;
        if (needIndex(index))
            return indexFailure(index);
        desc[index] = descriptionText;
        return true;
    }
    case DescSwapWithPrevious:
        if (needIndex(nr - 1) || needIndex(nr))
            return indexFailure(needIndex(nr - 1) ? nr - 1 : nr);
        desc.swapItemsAt(nr - 1, nr);
        return true;
    case DescSwapWithNext:
        if (needIndex(nr) || needIndex(nr + 1))
            return indexFailure(needIndex(nr) ? nr : nr + 1);
        desc.swapItemsAt(nr, nr + 1);
        return true;
    default:
        messages_(QStringLiteral("ModifyDescArray invalid mode"));
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Entry operations

void LibraryDocument::Rearrange(const QList<qsizetype>& order) {
    const QByteArray old = state_.LibraryData;
    const QStringList& oldDesc = state_.DescArray;
    const qsizetype last = Count() - 1;
    const bool shortLast = old.size() % PatchImageSize != 0;
    // A short last entry stays as it is only where it stays the last and is not cloned.
    const bool keepShort = shortLast && !order.isEmpty() && order.last() == last &&
                           (order.size() < 2 || order.at(order.size() - 2) != last);
    const qsizetype tail = keepShort ? old.size() % PatchImageSize - PatchImageSize : 0;
    QByteArray bytes(order.size() * PatchImageSize + tail, Qt::Uninitialized);
    char* out = bytes.data();
    QStringList desc;
    desc.reserve(order.size() + 1);
    desc.append(oldDesc.value(0));
    for (qsizetype i = 0; i < order.size(); ++i) {
        const qsizetype k = order.at(i);
        if (shortLast && k == last) {
            const QByteArray entry =
                keepShort && i == order.size() - 1 ? old.sliced(k * PatchImageSize) : Entry(k);
            std::memcpy(out, entry.constData(), size_t(entry.size()));
            out += entry.size();
        } else {
            std::memcpy(out, old.constData() + k * PatchImageSize, PatchImageSize);
            out += PatchImageSize;
        }
        desc.append(oldDesc.value(k + 1));
    }
    state_.LibraryData = std::move(bytes);
    state_.DescArray = std::move(desc);
    stepOrder_ = order;
    ++stepRearranges_;
}

EntryChange LibraryDocument::RemoveEntries(const QList<qsizetype>& positions) {
    if (positions.isEmpty())
        return {};
    const QByteArray before = state_.LibraryData;
    if (positions.size() == 1) {
        const qsizetype k = positions.first();
        const qsizetype start = k * PatchImageSize;
        state_.LibraryData.remove(start, EntryLength(state_.LibraryData.size(), k));
        ModifyDescArray(qint32(k + 1), DescRemove);
    } else {
        QList<qsizetype> order;
        const qsizetype count = Count();
        order.reserve(count - positions.size());
        qsizetype next = 0;
        for (qsizetype k = 0; k < count; ++k) {
            if (next < positions.size() && positions.at(next) == k)
                ++next;
            else
                order.append(k);
        }
        Rearrange(order);
    }
    UpdateCounts(positions.size(), [this, before, positions, after = state_.LibraryData] {
        twins_.Removed(before, positions, after);
    });
    return {EntryChange::Kind::Removed, positions};
}

EntryChange LibraryDocument::CloneEntries(const QList<qsizetype>& positions) {
    if (positions.isEmpty())
        return {};
    const QByteArray before = state_.LibraryData;
    QList<qsizetype> clones;
    clones.reserve(positions.size());
    if (positions.size() == 1) {
        const qsizetype k = positions.first();
        ModifyDescArray(qint32(k + 1), DescDuplicate);
        const QByteArray entry = Entry(k);
        const qsizetype start = k * PatchImageSize;
        state_.LibraryData.replace(start, EntryLength(state_.LibraryData.size(), k),
                                   QByteArray(entry + entry));
        clones.append(k + 1);
    } else {
        const qsizetype count = Count();
        QList<qsizetype> order;
        order.reserve(count + positions.size());
        qsizetype next = 0;
        for (qsizetype k = 0; k < count; ++k) {
            order.append(k);
            if (next < positions.size() && positions.at(next) == k) {
                order.append(k);
                clones.append(order.size() - 1);
                ++next;
            }
        }
        Rearrange(order);
    }
    UpdateCounts(clones.size(), [this, before, clones, after = state_.LibraryData] {
        twins_.Inserted(before, clones, after);
    });
    return {EntryChange::Kind::Inserted, clones};
}

EntryChange LibraryDocument::Reorder(const QList<qsizetype>& order) {
    if (IsIdentity(order, Count()))
        return {};
    const QByteArray before = state_.LibraryData;
    Rearrange(order);
    // The counts do not depend on positions.
    UpdateCounts(0, [this, before, after = state_.LibraryData] { twins_.Rearranged(before, after); });
    return {EntryChange::Kind::Rearranged, {}};
}

EntryChange LibraryDocument::MoveByEntries(const QList<qsizetype>& positions, int direction) {
    const qsizetype count = Count();
    const bool up = direction < 0;
    if (positions.isEmpty() || (up ? positions.first() <= 0 : positions.last() >= count - 1))
        return {};
    const QByteArray before = state_.LibraryData;
    if (positions.size() == 1) {
        // The two entries trade places as whole images, so an entry cut short by the end of its file
        // never lands between two others and shifts them.
        const qsizetype k = positions.first();
        const qsizetype first = up ? k - 1 : k;
        ModifyDescArray(qint32(k + 1), up ? DescSwapWithPrevious : DescSwapWithNext);
        const QByteArray upper = Entry(first);
        const QByteArray lower = Entry(first + 1);
        const qsizetype start = first * PatchImageSize;
        state_.LibraryData.replace(start, std::min(2 * PatchImageSize, state_.LibraryData.size() - start),
                                   QByteArray(lower + upper));
    } else {
        QList<qsizetype> order = Run(0, count);
        if (up) {
            for (const qsizetype k : positions)
                std::swap(order[k - 1], order[k]);
        } else {
            for (auto it = positions.crbegin(); it != positions.crend(); ++it)
                std::swap(order[*it], order[*it + 1]);
        }
        return Reorder(order);
    }
    UpdateCounts(0, [this, before, after = state_.LibraryData] { twins_.Rearranged(before, after); });
    return {EntryChange::Kind::Rearranged, {}};
}

EntryChange LibraryDocument::MoveToEntries(const QList<qsizetype>& positions, qsizetype before) {
    const qsizetype count = Count();
    before = std::clamp<qsizetype>(before, 0, count);
    QList<qsizetype> order;
    order.reserve(count);
    qsizetype next = 0; // the first moved entry not yet passed
    auto appendUnmoved = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to; ++k) {
            if (next < positions.size() && positions.at(next) == k)
                ++next;
            else
                order.append(k);
        }
    };
    appendUnmoved(0, before);
    order.append(positions);
    appendUnmoved(before, count);
    return Reorder(order);
}

EntryChange LibraryDocument::SortByNameEntries(const QList<qsizetype>& positions) {
    QStringList names; // of the set, in its order
    names.reserve(positions.size());
    for (const qsizetype k : positions) {
        const QString line = PatchListLine(state_.LibraryData, k);
        names.append(line.mid(line.indexOf(QStringLiteral(":  ")) + 3));
    }
    QList<qsizetype> ranks = Run(0, positions.size());
    std::stable_sort(ranks.begin(), ranks.end(), [&names](qsizetype a, qsizetype b) {
        return NameSortsBefore(names.at(a), names.at(b));
    });
    const qsizetype count = Count();
    QList<qsizetype> order = Run(0, count);
    for (qsizetype i = 0; i < positions.size(); ++i)
        order[positions.at(i)] = positions.at(ranks.at(i));
    return Reorder(order);
}

EntryChange LibraryDocument::InsertEntries(qsizetype at, const QByteArray& images, const QStringList& descriptions) {
    const qsizetype count = Count();
    at = std::clamp<qsizetype>(at, 0, count);
    if (at == count)
        PadShortLastEntry();
    const QByteArray before = state_.LibraryData;
    QStringList& desc = state_.DescArray;
    if (desc.size() < count + 1)
        desc.resize(count + 1);
    const qsizetype added = images.size() / PatchImageSize;
    desc.insert(at + 1, added, QString());
    for (qsizetype i = 0; i < added; ++i)
        desc[at + 1 + i] = descriptions.value(i);
    state_.LibraryData.insert(std::min(state_.LibraryData.size(), at * PatchImageSize), images);
    const QList<qsizetype> inserted = Run(at, added);
    UpdateCounts(inserted.size(), [this, before, inserted, after = state_.LibraryData] {
        twins_.Inserted(before, inserted, after);
    });
    return {EntryChange::Kind::Inserted, inserted};
}

void LibraryDocument::PadShortLastEntry() {
    const qsizetype rest = state_.LibraryData.size() % PatchImageSize;
    if (rest == 0)
        return;
    const QByteArray before = state_.LibraryData;
    const qsizetype last = Count() - 1;
    state_.LibraryData.replace(last * PatchImageSize, rest, Entry(last));
    // The counts are of padded entries already.
    UpdateCounts(0, [this, before, after = state_.LibraryData] { twins_.Rearranged(before, after); });
}

// ---------------------------------------------------------------------------------------------
// Entry operations, each part of the running step or a step of its own

EntryChange LibraryDocument::Changed(const QString& name, const std::function<EntryChange()>& operation) {
    EntryChange change;
    Changing(name, [&] {
        change = operation();
        if (change.kind != EntryChange::Kind::None)
            state_.LibChanged = true;
    });
    return change;
}

EntryChange LibraryDocument::Remove(const QList<qsizetype>& positions) {
    return Changed(QStringLiteral("Delete"), [&] { return RemoveEntries(positions); });
}

EntryChange LibraryDocument::Clone(const QList<qsizetype>& positions) {
    return Changed(QStringLiteral("Clone"), [&] { return CloneEntries(positions); });
}

EntryChange LibraryDocument::MoveBy(const QList<qsizetype>& positions, int direction) {
    return Changed(QStringLiteral("Move"), [&] { return MoveByEntries(positions, direction); });
}

EntryChange LibraryDocument::MoveTo(const QList<qsizetype>& positions, qsizetype before) {
    return Changed(QStringLiteral("Move"), [&] { return MoveToEntries(positions, before); });
}

EntryChange LibraryDocument::SortByName(const QList<qsizetype>& positions) {
    return Changed(QStringLiteral("Sort by Name"), [&] { return SortByNameEntries(positions); });
}

EntryChange LibraryDocument::Insert(qsizetype at, const QByteArray& images, const QStringList& descriptions) {
    return Changed(QStringLiteral("Insert patches"), [&] { return InsertEntries(at, images, descriptions); });
}

} // namespace quillbox
