#include "DistinctPatchModel.h"

#include "PatchComparison.h"
#include "PatchListModel.h"
#include "TwinMarks.h"

#include <QRegularExpression>
#include <algorithm>

namespace quillbox {

namespace {

QString FirstLine(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.left(trimmed.indexOf(QRegularExpression(QStringLiteral("[\r\n]")))).trimmed();
}

} // namespace

void DistinctPatchModel::Show(std::shared_ptr<const CollectionIndex::DistinctList> list,
                              std::vector<qsizetype> shown, bool changed) {
    beginResetModel();
    if (list != list_ || changed) {
        kinds_.assign(list ? size_t(list->Count()) : 0, -1);
        descriptions_.clear();
    }
    list_ = std::move(list);
    shown_ = std::move(shown);
    endResetModel();
}

void DistinctPatchModel::SetMarks(QSize size, const QColor& edge) {
    markSize_ = size;
    markEdge_ = edge;
}

qsizetype DistinctPatchModel::EntryAt(int row) const {
    return row >= 0 && size_t(row) < shown_.size() ? shown_[size_t(row)] : -1;
}

unsigned DistinctPatchModel::Kinds(int row) const {
    const qsizetype entry = EntryAt(row);
    if (entry < 0)
        return TwinNone;
    qint8& kinds = kinds_[size_t(entry)];
    if (kinds < 0)
        kinds = qint8(memory_ ? memory_->TwinKindsOf(entry) : TwinNone);
    return unsigned(kinds);
}

QString DistinctPatchModel::DescriptionAt(int row) const {
    const qsizetype entry = EntryAt(row);
    if (entry < 0 || !memory_)
        return {};
    if (const auto known = descriptions_.constFind(entry); known != descriptions_.constEnd())
        return *known;
    // Scrolling through a large collection would keep every description it passed.
    constexpr qsizetype Kept = 4096;
    if (descriptions_.size() >= Kept)
        descriptions_.clear();
    return *descriptions_.insert(entry, memory_->DescriptionOf(entry));
}

std::optional<DistinctPatch> DistinctPatchModel::At(int row) const {
    const qsizetype entry = EntryAt(row);
    if (entry < 0)
        return std::nullopt;
    DistinctPatch patch = list_->Patch(entry);
    patch.description = DescriptionAt(row);
    return patch;
}

QStringList DistinctPatchModel::TwinWords(int row) const {
    const unsigned kinds = Kinds(row);
    QStringList words;
    if (kinds & TwinIdentical)
        words.append(QStringLiteral("identical in %1 places").arg(list_->places[size_t(EntryAt(row))]));
    if (kinds & TwinSameSound)
        words.append(QStringLiteral("same sound, other name elsewhere"));
    if (kinds & TwinSameName)
        words.append(QStringLiteral("same name, other sound elsewhere"));
    return words;
}

Qt::ItemFlags DistinctPatchModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

QStringList DistinctPatchModel::mimeTypes() const {
    return {PatchListModel::ImagesMimeType()};
}

std::pair<QByteArray, QStringList> DistinctPatchModel::Images(QList<int> rows) const {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QByteArray images;
    QStringList descriptions;
    for (const int row : rows)
        if (const std::optional<DistinctPatch> patch = At(row)) {
            // A short last entry of a library is stored padded; a copy is a whole image.
            images += patch->bytes.leftJustified(PatchImageSize, ' ', true);
            descriptions.append(patch->description);
        }
    return {images, descriptions};
}

QMimeData* DistinctPatchModel::mimeData(const QModelIndexList& indexes) const {
    QList<int> rows;
    for (const QModelIndex& index : indexes)
        rows.append(index.row());
    const auto [images, descriptions] = Images(rows);
    return images.isEmpty() ? nullptr : PatchListModel::ImagesMimeData(images, descriptions);
}

int DistinctPatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

int DistinctPatchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DistinctPatchModel::data(const QModelIndex& index, int role) const {
    const qsizetype entry = EntryAt(index.row());
    if (entry < 0)
        return {};
    // Without its description, which is asked for only when its column is drawn.
    const DistinctPatch patch = list_->Patch(entry);
    const int column = index.column();
    if (column == Name && role == Qt::DecorationRole)
        return TwinMarkIcon(Kinds(index.row()), markSize_, markEdge_);
    if (column == Name && (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)) {
        const QStringList words = TwinWords(index.row());
        if (role == Qt::ToolTipRole)
            return words.isEmpty() ? QVariant()
                                   : QVariant(patch.name + QLatin1Char('\n') + words.join(QLatin1Char('\n')));
        return (QStringList{patch.name} + words).join(QStringLiteral(", "));
    }
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    if (column >= FirstParameter && column < Places) {
        const PatchComparison decoded = ComparePatches(patch.bytes, 0, patch.bytes, 0);
        return decoded.leftValues.value(column - FirstParameter);
    }
    switch (column) {
    case Name:
        return patch.name;
    case Description:
        return FirstLine(DescriptionAt(index.row()));
    case Places:
        return patch.places;
    case Deleted:
        return patch.deleted ? QStringLiteral("deleted") : QString();
    }
    return {};
}

QVariant DistinctPatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section >= FirstParameter && section < Places) {
        static const QStringList names = [] {
            const QByteArray blank(PatchImageSize, '\0');
            return ComparePatches(blank, 0, blank, 0).parameterNames;
        }();
        return names.value(section - FirstParameter);
    }
    switch (section) {
    case Name:
        return QStringLiteral("Name");
    case Description:
        return QStringLiteral("Description");
    case Places:
        return QStringLiteral("Places");
    case Deleted:
        return QStringLiteral("Deleted");
    }
    return {};
}

} // namespace quillbox
