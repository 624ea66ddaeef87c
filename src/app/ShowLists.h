#pragma once

#include "ShowCheck.h"
#include "ShowRecord.h"

#include <QAbstractListModel>
#include <functional>
#include <optional>

namespace quillbox {

class ShowDocument;

// What the show window's lists need from it: the show and its checks, the renames and the drops.
struct ShowListHooks {
    const ShowDocument* document = nullptr;
    std::function<qsizetype()> currentSong;
    // The check of a cue; nullptr while it has none.
    std::function<const CueCheck*(qsizetype song, qsizetype cue)> check;
    std::function<const ShowSlots&()> slotsOf;
    std::function<bool(qsizetype song, const QString& title)> renameSong;
    std::function<bool(qsizetype song, qsizetype cue, const QString& label)> renameCue;
    // A drop onto song `song` (cues: before cue `before`, -1 at the end; songs: song `before`).
    std::function<bool(const QMimeData* data, qsizetype song, qsizetype before, bool ontoSongs)> drop;
    // Whether a drop of `data` could land: patches of the main window or the collection, or lines
    // of these lists.
    std::function<bool(const QMimeData* data)> canDrop;
};

// The lines the show window's lists drag between each other; they mean something only to the
// window (and process) that made them.
QString ShowSongsMimeType();
QString ShowCuesMimeType();
struct DraggedShowLines {
    qsizetype song = -1;    // cues: the song they are in
    QList<qsizetype> lines; // songs or cues, ascending
};
QMimeData* ShowLinesMimeData(const QString& type, const void* owner, qsizetype song, QList<qsizetype> lines);
std::optional<DraggedShowLines> DecodeShowLines(const QMimeData* data, const QString& type,
                                                const void* owner);

// The line a cue shows: label, patch name, slot and the check in words; the same words for a
// screen reader.
QString CueLine(const ShowCue& cue, qsizetype slot, const CueCheck* check);

// lstSongs: the show's songs; a song is renamed in place, dragged to another place, and takes
// cues and patches dropped onto it.
// What both lists share: the hooks, a refill, and lines moved by a drag and copied in by a drop.
class ShowListModel : public QAbstractListModel {
public:
    ShowListModel(ShowListHooks hooks, QObject* parent) : QAbstractListModel(parent), hooks_(std::move(hooks)) {}
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction | Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

protected:
    ShowListHooks hooks_;
};

class ShowSongsModel : public ShowListModel {
public:
    using ShowListModel::ShowListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
};

// lstCues: the cues of the song selected in lstSongs.
class ShowCuesModel : public ShowListModel {
public:
    using ShowListModel::ShowListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    const ShowSong* Song() const;
};

} // namespace quillbox
