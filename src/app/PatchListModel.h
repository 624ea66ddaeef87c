#pragma once

#include "LibraryView.h"

#include <QAbstractListModel>
#include <QSize>

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

    // Shows the controller's current lines; every line gets `lineSize`, the size the view needs for
    // the widest line of a list that long.
    void Refill(QSize lineSize);
    // The size of the twin marks beside the lines.
    void SetMarkSize(QSize size) { markSize_ = size; }

private:
    const LibraryController& controller_;
    ListId list_;
    int rows_ = 0;
    QSize lineSize_;
    QSize markSize_{12, 12};
};

} // namespace quillbox
