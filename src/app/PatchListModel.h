#pragma once

#include "LibraryView.h"

#include <QAbstractListModel>
#include <QSize>
#include <optional>

namespace quillbox {

class LibraryController;

// One of the two lists: the lines come from the controller when the view asks for them, so a
// refill is a model reset however long the list is.
class PatchListModel : public QAbstractListModel {
    Q_OBJECT
public:
    PatchListModel(const LibraryController& controller, ListId list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Drag and drop: lines of either list can be dragged; the library list takes its own lines (a
    // move) and lines of the patches list (a copy). The data carries the entries' positions.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    // What a drop of `data` does here: a move, a copy, or nothing.
    Qt::DropAction DropActionFor(const QMimeData* data) const;

    // The entry a line shows and the line that shows an entry (-1: not shown). Every entry has its
    // line, in order.
    qsizetype EntryAt(int row) const { return row; }
    int RowOf(qsizetype entry) const { return entry >= 0 && entry < rows_ ? static_cast<int>(entry) : -1; }

    // Shows the controller's current lines; every line gets `lineSize`, the size the view needs for
    // the widest line of a list that long.
    void Refill(QSize lineSize);

Q_SIGNALS:
    // Lines of `from` were dropped here, to land before entry `before` (the count: at the end).
    void entriesDropped(ListId from, const QList<qsizetype>& entries, qsizetype before);

private:
    struct Dragged {
        ListId from = ListId::Patches;
        QList<qsizetype> entries;
    };
    // The dragged lines, when `data` comes from one of this window's lists.
    std::optional<Dragged> Decode(const QMimeData* data) const;

    const LibraryController& controller_;
    ListId list_;
    int rows_ = 0;
    QSize lineSize_;
};

} // namespace quillbox
