#pragma once

#include "CollectionMemory.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QSize>
#include <memory>
#include <optional>
#include <vector>

namespace quillbox {

// The collection's distinct patches, one row each: name, decoded parameters, places, whether only
// earlier versions hold it, and its description's first line. The twin kinds and the descriptions
// come from the index for the rows drawn, and are kept while the list stays the same.
class DistinctPatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The five decoded parameters follow the name; the description comes last, taking the room the
    // others leave.
    enum Column { Name, FirstParameter, Places = FirstParameter + 5, Deleted, Description, ColumnCount };
    explicit DistinctPatchModel(const CollectionMemory* memory, QObject* parent = nullptr)
        : QAbstractTableModel(parent), memory_(memory) {}
    // The memory whose list is shown from now on (the next Show takes its list).
    void SetMemory(const CollectionMemory* memory) { memory_ = memory; }
    // Shows the entries `shown` of `list`, in that order; `changed`: the list changed since it was
    // last shown, so what was kept of its entries is taken anew.
    void Show(std::shared_ptr<const CollectionIndex::DistinctList> list, std::vector<qsizetype> shown,
              bool changed = false);
    // The patch of `row`, with its description.
    std::optional<DistinctPatch> At(int row) const;
    const std::shared_ptr<const CollectionIndex::DistinctList>& List() const { return list_; }
    const std::vector<qsizetype>& Shown() const { return shown_; }
    // The marks' size and the ring around them, as in the lists.
    void SetMarks(QSize size, const QColor& edge);
    QSize MarkSize() const { return markSize_; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows are dragged into the library list as whole patches with their descriptions.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    // The patches of `rows` back to back, with their descriptions.
    std::pair<QByteArray, QStringList> Images(QList<int> rows) const;

private:
    qsizetype EntryAt(int row) const; // -1 outside the rows
    unsigned Kinds(int row) const;
    QString DescriptionAt(int row) const;
    // The twin words of a row: "identical in 3 places", "same sound, other name elsewhere"...
    QStringList TwinWords(int row) const;

    const CollectionMemory* memory_;
    std::shared_ptr<const CollectionIndex::DistinctList> list_;
    std::vector<qsizetype> shown_;
    mutable std::vector<qint8> kinds_; // per patch of the list, -1 until asked
    // The descriptions of the patches drawn (by their place in the list): a few screens' worth.
    mutable QHash<qsizetype, QString> descriptions_;
    QSize markSize_{12, 12};
    QColor markEdge_;
};

} // namespace quillbox
