#include "ShowLists.h"

#include "PatchListModel.h"
#include "ShowDocument.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFont>
#include <QIODevice>
#include <QMimeData>
#include <algorithm>

namespace quillbox {

namespace {

// More lines than any show holds; a larger count is not ours.
constexpr qint64 MostDraggedLines = 1'000'000;

QList<qsizetype> Rows(const QModelIndexList& indexes) {
    QList<qsizetype> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid())
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// A line to look at: bold, whatever the theme's colours.
QVariant BoldWhen(bool bold) {
    if (!bold)
        return {};
    QFont font;
    font.setBold(true);
    return font;
}

} // namespace

QString ShowSongsMimeType() {
    return QStringLiteral("application/x-quillbox-show-songs");
}

QString ShowCuesMimeType() {
    return QStringLiteral("application/x-quillbox-show-cues");
}

QMimeData* ShowLinesMimeData(const QString& type, const void* owner, qsizetype song, QList<qsizetype> lines) {
    if (lines.isEmpty())
        return nullptr;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint64(QCoreApplication::applicationPid()) << quint64(quintptr(owner)) << qint64(song)
        << qint64(lines.size());
    for (const qsizetype line : lines)
        out << qint64(line);
    auto* data = new QMimeData;
    data->setData(type, bytes);
    return data;
}

std::optional<DraggedShowLines> DecodeShowLines(const QMimeData* data, const QString& type,
                                                const void* owner) {
    if (!data || !data->hasFormat(type))
        return std::nullopt;
    QDataStream in(data->data(type));
    qint64 pid = 0, song = 0, count = 0;
    quint64 from = 0;
    in >> pid >> from >> song >> count;
    if (in.status() != QDataStream::Ok || pid != QCoreApplication::applicationPid() ||
        from != quint64(quintptr(owner)) || count <= 0 || count > MostDraggedLines)
        return std::nullopt;
    DraggedShowLines dragged{song, {}};
    for (qint64 i = 0; i < count; ++i) {
        qint64 line = 0;
        in >> line;
        dragged.lines.append(line);
    }
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return dragged;
}

QString CueLine(const ShowCue& cue, qsizetype slot, const CueCheck* check) {
    const QString label = cue.label.isEmpty() ? QStringLiteral("(no label)") : cue.label;
    const QString name = ShownPatchName(cue.image);
    const QString slotText = slot > 0 ? QStringLiteral("slot %1").arg(slot) : QStringLiteral("no slot");
    const QString state = check ? check->Words() : QStringLiteral("not checked");
    return label + QStringLiteral(" – ") + name + QStringLiteral(" – ") + slotText + QStringLiteral(" – ") +
           state;
}

// ---- Songs ----

int ShowSongsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(hooks_.document->Show().songs.size());
}

QVariant ShowSongsModel::data(const QModelIndex& index, int role) const {
    const QList<ShowSong>& songs = hooks_.document->Show().songs;
    if (!index.isValid() || index.row() >= songs.size())
        return {};
    const ShowSong& song = songs.at(index.row());
    qsizetype notOk = 0;
    for (qsizetype c = 0; c < song.cues.size(); ++c) {
        const CueCheck* check = hooks_.check(index.row(), c);
        notOk += check && check->state != CueState::Ok;
    }
    const QString title = song.title.isEmpty() ? QStringLiteral("(no title)") : song.title;
    switch (role) {
    case Qt::EditRole:
        return song.title;
    case Qt::DisplayRole:
        return QStringLiteral("%1. %2").arg(index.row() + 1).arg(title);
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole: {
        QString text =
            QStringLiteral("%1. %2, %3 cues").arg(index.row() + 1).arg(title).arg(song.cues.size());
        if (notOk > 0)
            text += QStringLiteral(", %1 not ok").arg(notOk);
        return text;
    }
    case Qt::FontRole:
        return BoldWhen(notOk > 0);
    default:
        return {};
    }
}

Qt::ItemFlags ShowSongsModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (!index.isValid())
        return flags | Qt::ItemIsDropEnabled;
    return flags | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

bool ShowSongsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid())
        return false;
    return hooks_.renameSong(index.row(), value.toString());
}

QStringList ShowSongsModel::mimeTypes() const {
    return {ShowSongsMimeType(), ShowCuesMimeType(), PatchListModel::EntriesMimeType(),
            PatchListModel::ImagesMimeType()};
}

QMimeData* ShowSongsModel::mimeData(const QModelIndexList& indexes) const {
    return ShowLinesMimeData(ShowSongsMimeType(), hooks_.document, -1, Rows(indexes));
}

bool ShowSongsModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                     const QModelIndex& parent) const {
    if (DecodeShowLines(data, ShowSongsMimeType(), hooks_.document))
        return true;
    // Cues and patches land on a song.
    return (parent.isValid() || row >= 0) && hooks_.canDrop(data);
}

bool ShowSongsModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    const qsizetype count = rowCount();
    // Onto a song, or between two (the one below takes what is not a song).
    const qsizetype at = parent.isValid() ? parent.row() : row < 0 ? count : row;
    return hooks_.drop(data, at, parent.isValid() ? -1 : row, true);
}

// ---- Cues ----

const ShowSong* ShowCuesModel::Song() const {
    const qsizetype song = hooks_.currentSong();
    const QList<ShowSong>& songs = hooks_.document->Show().songs;
    return song >= 0 && song < songs.size() ? &songs.at(song) : nullptr;
}

int ShowCuesModel::rowCount(const QModelIndex& parent) const {
    const ShowSong* song = Song();
    return parent.isValid() || !song ? 0 : int(song->cues.size());
}

QVariant ShowCuesModel::data(const QModelIndex& index, int role) const {
    const ShowSong* song = Song();
    if (!song || !index.isValid() || index.row() >= song->cues.size())
        return {};
    const qsizetype s = hooks_.currentSong();
    const ShowCue& cue = song->cues.at(index.row());
    const CueCheck* check = hooks_.check(s, index.row());
    const ShowSlots& slots = hooks_.slotsOf();
    const qsizetype slot = slots.slotOfCue.value(s).value(index.row());
    switch (role) {
    case Qt::EditRole:
        return cue.label;
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return CueLine(cue, slot, check);
    case Qt::ToolTipRole:
        return cue.description.isEmpty() ? QVariant() : QVariant(cue.description);
    case Qt::FontRole:
        return BoldWhen(check && check->state != CueState::Ok);
    default:
        return {};
    }
}

Qt::ItemFlags ShowCuesModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (!index.isValid())
        return flags | Qt::ItemIsDropEnabled; // between the lines and below the last one
    return flags | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
}

bool ShowCuesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid())
        return false;
    return hooks_.renameCue(hooks_.currentSong(), index.row(), value.toString());
}

QStringList ShowCuesModel::mimeTypes() const {
    return {ShowCuesMimeType(), PatchListModel::EntriesMimeType(), PatchListModel::ImagesMimeType()};
}

QMimeData* ShowCuesModel::mimeData(const QModelIndexList& indexes) const {
    return ShowLinesMimeData(ShowCuesMimeType(), hooks_.document, hooks_.currentSong(), Rows(indexes));
}

bool ShowCuesModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                    const QModelIndex&) const {
    return hooks_.canDrop(data);
}

bool ShowCuesModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                 const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    const qsizetype before = parent.isValid() ? parent.row() : row;
    return hooks_.drop(data, hooks_.currentSong(), before, false);
}

} // namespace quillbox
