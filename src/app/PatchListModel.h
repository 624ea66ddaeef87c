#pragma once

#include "LibraryView.h"

#include <QAbstractListModel>
#include <QSize>
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
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // With a rename handler, a line's name can be edited in place.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void SetRenameHandler(RenameHandler handler) { rename_ = std::move(handler); }

    // Shows the controller's current lines, every entry or only `entries` (ascending); every line
    // gets `lineSize`, the size the view needs for the widest line of a list that long.
    void Refill(QSize lineSize, std::optional<std::vector<qsizetype>> entries = std::nullopt);
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

private:
    const LibraryController& controller_;
    ListId list_;
    int rows_ = 0;
    QSize lineSize_;
    QSize markSize_{12, 12};
    bool filtered_ = false;
    std::vector<qsizetype> entries_; // the entries shown while filtered, ascending
    RenameHandler rename_;
};

} // namespace quillbox
