#include "PatchListModel.h"

#include "LibraryController.h"
#include "TwinMarks.h"

#include <limits>

namespace quillbox {

PatchListModel::PatchListModel(const LibraryController& controller, ListId list, QObject* parent)
    : QAbstractListModel(parent), controller_(controller), list_(list) {}

int PatchListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant PatchListModel::data(const QModelIndex& index, int role) const {
    // The store may already hold fewer entries than the view last heard of (a command shows a message
    // before it refills the list).
    if (!index.isValid() || index.row() >= controller_.ListCount(list_))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return controller_.ListLine(list_, index.row());
    case Qt::DecorationRole:
        return TwinMarkIcon(controller_.LineTwinKinds(list_, index.row()), markSize_);
    case Qt::ToolTipRole: {
        // A name with codes outside the alphabet makes a line wider than the list: its tool tip shows
        // it whole, as does a line whose patch has twins, naming them. Other lines leave the list's
        // own tool tip (the count) in view.
        const QString line = controller_.ListLine(list_, index.row());
        const qsizetype name = line.indexOf(QStringLiteral(":  "));
        const QString twins = controller_.LineTwinToolTip(list_, index.row());
        if (!twins.isEmpty())
            return QString(line.trimmed() + QLatin1Char('\n') + twins);
        return name >= 0 && line.size() - name - 3 > 6 ? QVariant(line) : QVariant();
    }
    case Qt::SizeHintRole:
        return lineSize_.isValid() ? QVariant(lineSize_) : QVariant();
    default:
        return {};
    }
}

void PatchListModel::Refill(QSize lineSize) {
    beginResetModel();
    const qsizetype count = controller_.ListCount(list_);
    // A list view counts its rows in int; more lines than that cannot be shown anyway.
    rows_ = static_cast<int>(std::min<qsizetype>(count, std::numeric_limits<int>::max()));
    lineSize_ = lineSize;
    endResetModel();
}

} // namespace quillbox
