#pragma once

#include "LibraryView.h"

#include <QAbstractListModel>
#include <QColor>
#include <QSize>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

namespace quillbox {

class LibraryController;

// One of the two lists: the lines come from the controller when the view asks for them, so a
// refill is a model reset however long the list is. A find shows only some entries: row r then
// shows entry EntryAt(r), with the entry's own position in its line.
class PatchListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // The name of a row's entry, without the blanks around it (what typing in the list looks for).
    static constexpr int NameRole = Qt::UserRole + 1;
    // Renames entry `entry`; true when it took the name.
    using RenameHandler = std::function<bool(qsizetype entry, const QString& name)>;

    PatchListModel(const LibraryController& controller, ListId list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // What the list model's own gives, without asking rowCount and columnCount each time: the view
    // asks for every line's index when it lays out a list of 100,000.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // With a rename handler, a line's name can be edited in place; lines can be dragged, and the
    // library list takes drops.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void SetRenameHandler(RenameHandler handler) { rename_ = std::move(handler); }

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
    // Patches dragged from another window of this program (the collection): whole images with
    // their descriptions, which the library list takes as a copy.
    static QMimeData* ImagesMimeData(const QByteArray& images, const QStringList& descriptions);
    static QString ImagesMimeType();

    // Shows the controller's current lines, every entry or only `entries` (ascending); every line
    // gets `lineSize`, the size the view needs for the widest line of a list that long.
    void Refill(QSize lineSize, std::optional<std::vector<qsizetype>> entries = std::nullopt);
    // The controller's entries changed as `change` says, while every entry is shown: rows are taken
    // out or put in where that is a few runs of lines, else the lines are shown anew; a
    // rearrangement keeps the rows and draws them anew. `lineSize` as for Refill.
    void EntriesChanged(const EntryChange& change, QSize lineSize);
    // Shows only `entries` (ascending), or every entry.
    void Filter(std::optional<std::vector<qsizetype>> entries);
    bool Filtered() const { return filtered_; }

    qsizetype EntryAt(int row) const; // -1 outside the rows
    int RowOf(qsizetype entry) const; // -1 when the entry is not shown
    // Shows `entry` also when the find left it out (a command selected it); returns its row.
    int KeepShown(qsizetype entry);
    // Entry `entry` shows something else now; its row is drawn anew.
    void EntryChanged(qsizetype entry);
    // The size of the twin marks beside the lines.
    void SetMarkSize(QSize size) { markSize_ = size; }
    // The ring around the marks: the list's text colour, readable on its ground in any theme.
    void SetMarkEdge(const QColor& edge) { markEdge_ = edge; }
    QColor MarkEdge() const { return markEdge_; }

Q_SIGNALS:
    // Lines of `from` were dropped here, to land before entry `before` (the count: at the end).
    void entriesDropped(ListId from, const QList<qsizetype>& entries, qsizetype before);
    // Patches from another window were dropped here (see ImagesMimeData).
    void imagesDropped(const QByteArray& images, const QStringList& descriptions, qsizetype before);

public:
    // What a drag holds, for other places that take the lists' lines (the show window).
    static QString EntriesMimeType();
    struct Dragged {
        ListId from = ListId::Patches;
        QList<qsizetype> entries;
    };
    // The dragged lines, when `data` comes from one of this window's lists.
    std::optional<Dragged> Decode(const QMimeData* data) const;
    struct DraggedImages {
        QByteArray images;
        QStringList descriptions;
    };
    static std::optional<DraggedImages> DecodeImages(const QMimeData* data);

private:
    const LibraryController& controller_;
    ListId list_;
    int rows_ = 0;
    QSize lineSize_;
    QSize markSize_{12, 12};
    QColor markEdge_;
    bool filtered_ = false;
    std::vector<qsizetype> entries_; // the entries shown while filtered, ascending
    RenameHandler rename_;
    // Marks that were not counted yet when a line was drawn are drawn again shortly.
    QTimer* marksPending_ = nullptr;
};

} // namespace quillbox
