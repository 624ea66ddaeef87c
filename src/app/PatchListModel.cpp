#include "PatchListModel.h"

#include "LibraryController.h"
#include "TwinMarks.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <algorithm>
#include <limits>

namespace quillbox {

namespace {

// A list view counts its rows in int; more lines than that cannot be shown anyway.
int Rows(qsizetype count) {
    return static_cast<int>(std::min<qsizetype>(count, std::numeric_limits<int>::max()));
}

QString NameOfLine(const QString& line) {
    const qsizetype colon = line.indexOf(QStringLiteral(":  "));
    return colon < 0 ? QString() : line.mid(colon + 3);
}

} // namespace

PatchListModel::PatchListModel(const LibraryController& controller, ListId list, QObject* parent)
    : QAbstractListModel(parent), controller_(controller), list_(list), marksPending_(new QTimer(this)) {
    marksPending_->setSingleShot(true);
    marksPending_->setInterval(4);
    connect(marksPending_, &QTimer::timeout, this, [this] {
        if (rows_ > 0)
            Q_EMIT dataChanged(index(0), index(rows_ - 1), {Qt::DecorationRole});
    });
}

int PatchListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QModelIndex PatchListModel::index(int row, int column, const QModelIndex& parent) const {
    return row >= 0 && row < rows_ && column == 0 && !parent.isValid() ? createIndex(row, column)
                                                                       : QModelIndex();
}

qsizetype PatchListModel::EntryAt(int row) const {
    if (row < 0 || row >= rows_)
        return -1;
    return filtered_ ? entries_[size_t(row)] : row;
}

int PatchListModel::RowOf(qsizetype entry) const {
    if (!filtered_)
        return entry >= 0 && entry < rows_ ? int(entry) : -1;
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), entry);
    return at != entries_.end() && *at == entry ? int(at - entries_.begin()) : -1;
}

QVariant PatchListModel::data(const QModelIndex& index, int role) const {
    // The store may already hold fewer entries than the view last heard of (a command shows a message
    // before it refills the list).
    const qsizetype entry = index.isValid() ? EntryAt(index.row()) : -1;
    if (entry < 0 || entry >= controller_.ListCount(list_))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return controller_.ListLine(list_, entry);
    case Qt::DecorationRole: {
        // The marks never hold up drawing the list: until the counts of a big change are made, the
        // line goes without and is drawn again.
        const std::optional<unsigned> kinds = controller_.LineTwinKindsIfCounted(list_, entry);
        if (!kinds)
            marksPending_->start();
        return TwinMarkIcon(kinds.value_or(TwinNone), markSize_, markEdge_);
    }
    case Qt::EditRole: // the name to edit, without the padding
    {
        QString name = NameOfLine(controller_.ListLine(list_, entry));
        while (name.endsWith(QLatin1Char(' ')))
            name.chop(1);
        return name;
    }
    case NameRole:
        return NameOfLine(controller_.ListLine(list_, entry)).trimmed();
    case Qt::ToolTipRole: {
        // A name with codes outside the alphabet makes a line wider than the list: its tool tip shows
        // it whole, as does a line whose patch has twins, naming them. Other lines leave the list's
        // own tool tip (the count) in view.
        const QString line = controller_.ListLine(list_, entry);
        const qsizetype name = line.indexOf(QStringLiteral(":  "));
        const QString twins = controller_.LineTwinToolTip(list_, entry);
        if (!twins.isEmpty())
            return QString(line.trimmed() + QLatin1Char('\n') + twins);
        return name >= 0 && line.size() - name - 3 > 6 ? QVariant(line) : QVariant();
    }
    case Qt::AccessibleTextRole: {
        // A screen reader says the marks in words: "04: CLEAN, identical to 05".
        QString text = controller_.ListLine(list_, entry).simplified();
        const QString twins = controller_.LineTwinToolTip(list_, entry);
        for (const QString& twin : twins.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            text += QStringLiteral(", ") + twin.left(1).toLower() + twin.mid(1);
        return text;
    }
    case Qt::SizeHintRole:
        return lineSize_.isValid() ? QVariant(lineSize_) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags PatchListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (rename_ && index.isValid())
        flags |= Qt::ItemIsEditable;
    if (index.isValid())
        flags |= Qt::ItemIsDragEnabled;
    else if (list_ == ListId::Library)
        flags |= Qt::ItemIsDropEnabled; // between the lines and below the last one
    return flags;
}

bool PatchListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const qsizetype entry = index.isValid() ? EntryAt(index.row()) : -1;
    if (role != Qt::EditRole || !rename_ || entry < 0)
        return false;
    return rename_(entry, value.toString());
}

namespace {

const QString EntriesType = QStringLiteral("application/x-quillbox-entries");
const QString ImagesType = QStringLiteral("application/x-quillbox-images");
// More than any collection holds in one drag; a larger count is not ours.
constexpr qint64 MostDraggedImages = 1'000'000;

} // namespace

QStringList PatchListModel::mimeTypes() const {
    return {EntriesType, ImagesType};
}

QMimeData* PatchListModel::mimeData(const QModelIndexList& indexes) const {
    QList<qsizetype> entries;
    entries.reserve(indexes.size());
    for (const QModelIndex& index : indexes) {
        if (index.isValid())
            entries.append(EntryAt(index.row()));
    }
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    // Positions mean something only to this window's lists: the process and the controller say
    // whose they are, so that a drag from another window is not taken for one of ours.
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint64(QCoreApplication::applicationPid()) << quint64(quintptr(&controller_))
        << qint32(list_ == ListId::Library ? 1 : 0) << qint64(entries.size());
    for (const qsizetype entry : entries)
        out << qint64(entry);
    auto* data = new QMimeData;
    data->setData(EntriesType, bytes);
    return data;
}

std::optional<PatchListModel::Dragged> PatchListModel::Decode(const QMimeData* data) const {
    if (!data || !data->hasFormat(EntriesType))
        return std::nullopt;
    QDataStream in(data->data(EntriesType));
    qint64 pid = 0, count = 0;
    quint64 owner = 0;
    qint32 from = 0;
    in >> pid >> owner >> from >> count;
    if (in.status() != QDataStream::Ok || pid != QCoreApplication::applicationPid() ||
        owner != quint64(quintptr(&controller_)) || count < 0 ||
        count > controller_.ListCount(from ? ListId::Library : ListId::Patches))
        return std::nullopt;
    Dragged dragged{from ? ListId::Library : ListId::Patches, {}};
    dragged.entries.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        qint64 entry = 0;
        in >> entry;
        dragged.entries.append(entry);
    }
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return dragged;
}

QString PatchListModel::EntriesMimeType() {
    return EntriesType;
}

QString PatchListModel::ImagesMimeType() {
    return ImagesType;
}

QMimeData* PatchListModel::ImagesMimeData(const QByteArray& images, const QStringList& descriptions) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint64(QCoreApplication::applicationPid()) << images << descriptions;
    auto* data = new QMimeData;
    data->setData(ImagesType, bytes);
    return data;
}

namespace {

// Whether `data` holds patches dragged from this process (a drag from elsewhere is not taken for
// patches). Only the start is read: a drag's every move asks.
bool ImagesFromHere(const QMimeData* data) {
    if (!data || !data->hasFormat(ImagesType))
        return false;
    QDataStream in(data->data(ImagesType));
    qint64 pid = 0;
    in >> pid;
    return in.status() == QDataStream::Ok && pid == QCoreApplication::applicationPid();
}

} // namespace

std::optional<PatchListModel::DraggedImages> PatchListModel::DecodeImages(const QMimeData* data) {
    if (!ImagesFromHere(data))
        return std::nullopt;
    QDataStream in(data->data(ImagesType));
    qint64 pid = 0;
    DraggedImages dragged;
    in >> pid >> dragged.images >> dragged.descriptions;
    // Only whole images.
    if (in.status() != QDataStream::Ok || dragged.images.isEmpty() ||
        dragged.images.size() % PatchImageSize != 0 ||
        dragged.images.size() / PatchImageSize > MostDraggedImages)
        return std::nullopt;
    return dragged;
}

Qt::DropAction PatchListModel::DropActionFor(const QMimeData* data) const {
    if (list_ != ListId::Library)
        return Qt::IgnoreAction;
    if (ImagesFromHere(data))
        return Qt::CopyAction;
    const std::optional<Dragged> dragged = Decode(data);
    if (!dragged)
        return Qt::IgnoreAction;
    return dragged->from == ListId::Library ? Qt::MoveAction : Qt::CopyAction;
}

bool PatchListModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                     const QModelIndex&) const {
    const Qt::DropAction wanted = DropActionFor(data);
    return wanted != Qt::IgnoreAction && action == wanted;
}

bool PatchListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                  const QModelIndex&) {
    if (!canDropMimeData(data, action, row, 0, {}))
        return false;
    const qsizetype before = row < 0 || row >= rows_ ? controller_.ListCount(list_) : EntryAt(row);
    if (ImagesFromHere(data)) {
        const std::optional<DraggedImages> images = DecodeImages(data);
        if (images)
            Q_EMIT imagesDropped(images->images, images->descriptions, before);
        return images.has_value();
    }
    const std::optional<Dragged> dragged = Decode(data);
    Q_EMIT entriesDropped(dragged->from, dragged->entries, before);
    return true;
}

Qt::DropActions PatchListModel::supportedDragActions() const {
    return list_ == ListId::Library ? Qt::MoveAction : Qt::CopyAction;
}

Qt::DropActions PatchListModel::supportedDropActions() const {
    return list_ == ListId::Library ? Qt::MoveAction | Qt::CopyAction : Qt::IgnoreAction;
}

void PatchListModel::Refill(QSize lineSize, std::optional<std::vector<qsizetype>> entries) {
    beginResetModel();
    lineSize_ = lineSize;
    filtered_ = entries.has_value();
    entries_ = entries ? std::move(*entries) : std::vector<qsizetype>();
    rows_ = Rows(filtered_ ? qsizetype(entries_.size()) : controller_.ListCount(list_));
    endResetModel();
}

void PatchListModel::EntriesChanged(const EntryChange& change, QSize lineSize) {
    const int rows = Rows(controller_.ListCount(list_));
    const bool sameSize = lineSize == lineSize_;
    // Runs of neighbouring positions, each one signal; past a few, a reset costs less than the
    // views' bookkeeping per run.
    QList<std::pair<int, int>> runs;
    constexpr qsizetype FewRuns = 16;
    for (qsizetype i = 0; i < change.positions.size() && runs.size() <= FewRuns;) {
        qsizetype j = i;
        while (j + 1 < change.positions.size() && change.positions.at(j + 1) == change.positions.at(j) + 1)
            ++j;
        runs.append({int(change.positions.at(i)), int(change.positions.at(j))});
        i = j + 1;
    }
    if (filtered_ || !sameSize || runs.size() > FewRuns) {
        Refill(lineSize);
        return;
    }
    switch (change.kind) {
    case EntryChange::Kind::None:
        return;
    case EntryChange::Kind::Rearranged:
        if (rows == rows_) {
            if (rows_ > 0)
                Q_EMIT dataChanged(index(0), index(rows_ - 1));
            return;
        }
        break;
    case EntryChange::Kind::Removed:
        if (rows_ - rows == change.positions.size()) {
            // From the last run, so that the earlier runs keep their rows.
            for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
                beginRemoveRows(QModelIndex(), run->first, run->second);
                rows_ -= run->second - run->first + 1;
                endRemoveRows();
            }
            // Lines after the removal show other numbers now.
            if (runs.first().first < rows_)
                Q_EMIT dataChanged(index(runs.first().first), index(rows_ - 1));
            return;
        }
        break;
    case EntryChange::Kind::Inserted:
        if (rows - rows_ == change.positions.size()) {
            for (const auto& [first, last] : runs) {
                beginInsertRows(QModelIndex(), first, last);
                rows_ += last - first + 1;
                endInsertRows();
            }
            // Lines after the insertion show other numbers now.
            if (rows_ > 0)
                Q_EMIT dataChanged(index(runs.first().first), index(rows_ - 1));
            return;
        }
        break;
    }
    Refill(lineSize);
}

void PatchListModel::Filter(std::optional<std::vector<qsizetype>> entries) {
    Refill(lineSize_, std::move(entries));
}

int PatchListModel::KeepShown(qsizetype entry) {
    if (entry < 0 || entry >= controller_.ListCount(list_))
        return -1;
    if (const int row = RowOf(entry); row >= 0 || !filtered_)
        return row;
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), entry);
    const int row = int(at - entries_.begin());
    beginInsertRows(QModelIndex(), row, row);
    entries_.insert(at, entry);
    rows_ = Rows(qsizetype(entries_.size()));
    endInsertRows();
    return row;
}

void PatchListModel::EntryChanged(qsizetype entry) {
    if (const int row = RowOf(entry); row >= 0)
        Q_EMIT dataChanged(index(row), index(row));
}

} // namespace quillbox
