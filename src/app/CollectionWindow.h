#pragma once

#include "CollectionIndex.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QDialog>
#include <QHash>
#include <QSize>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class QTreeWidget;

namespace quillbox {

class LibraryController;
class StatusLine;

// The collection's distinct patches, one row each: name, decoded parameters, places, whether only
// earlier versions hold it, and its description's first line. The twin kinds and the descriptions
// come from the index for the rows drawn, and are kept while the list stays the same.
class DistinctPatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The five decoded parameters follow the name; the description comes last, taking the room the
    // others leave.
    enum Column { Name, FirstParameter, Places = FirstParameter + 5, Deleted, Description, ColumnCount };
    explicit DistinctPatchModel(const CollectionIndex* index, QObject* parent = nullptr)
        : QAbstractTableModel(parent), index_(index) {}
    // Shows the patches of `list` at `shown` (ascending positions in it).
    void Show(std::shared_ptr<const CollectionIndex::DistinctList> list, std::vector<qsizetype> shown);
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

    const CollectionIndex* index_;
    std::shared_ptr<const CollectionIndex::DistinctList> list_;
    std::vector<qsizetype> shown_;
    mutable std::vector<qint8> kinds_; // per patch of the list, -1 until asked
    // The descriptions of the patches drawn (by their place in the list): a few screens' worth.
    mutable QHash<qsizetype, QString> descriptions_;
    QSize markSize_{12, 12};
    QColor markEdge_;
};

// frmCollection: every patch of the collection's folders, found by words or a tag, with where each
// is used. Enter or a double click copies the selected patch into the open library as one step;
// "Open Library" opens the file of the selected place through the controller's load path.
class CollectionWindow : public QDialog {
    Q_OBJECT
public:
    // The folders are those chosen in `settingsPath` (empty: the user's settings file); until some
    // are chosen, "Folders…" offers those of `recentLibraries`. `cachePath`, `versionsFolder` empty:
    // the defaults.
    CollectionWindow(LibraryController& controller, QString settingsPath, QStringList recentLibraries,
                     QString cachePath = {}, QString versionsFolder = {}, QWidget* parent = nullptr);
    ~CollectionWindow() override;

    // Brings the cache up to date with the folders on a worker thread, with a progress bar and
    // Cancel; the patches are shown again when it is done. A scan under way is left to finish.
    void Rescan();
    bool Scanning() const { return worker_ != nullptr; }
    QString Status() const;
    // What the status line says while no folders are chosen.
    static QString FirstUseHint();
    QStringList Folders() const { return folders_; }
    // "Folders…": the collection's folders to add to or remove from; kept and scanned on OK.
    void ChooseFolders();

Q_SIGNALS:
    // A scan brought the cache up to date (its tags may be others now).
    void scanned();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Back in the window: a quick identity check of the files picks up what changed meanwhile.
    void changeEvent(QEvent* event) override;

private:
    // Without folders the window says what to do first and puts the focus on Folders….
    void ShowFirstUse();
    void Refill();
    // `list`: the distinct patches read anew after the scan, or none when nothing changed.
    void ScanFinished(const ScanResult& result, const QString& status,
                      std::shared_ptr<const CollectionIndex::DistinctList> list);
    void StopScan();
    void WatchFolders();
    void ShowWhereUsed();
    void CopySelected();
    void OpenSelectedPlace();
    std::optional<DistinctPatch> Selected() const;
    QList<int> SelectedRows() const;

    LibraryController& controller_;
    QString settingsPath_;
    QStringList recentLibraries_;
    QStringList folders_;
    std::unique_ptr<CollectionIndex> index_;
    DistinctPatchModel model_{index_.get()};
    std::vector<RelatedPlace> places_;
    // What the list and the find work on: read on the scan's worker, kept in memory, so that a
    // keystroke in the find field never waits for the database.
    std::shared_ptr<const CollectionIndex::DistinctList> list_;
    QString shownQuery_; // the find that chose the patches shown
    QLineEdit* find_ = nullptr;
    QListWidget* tags_ = nullptr;
    QTableView* patches_ = nullptr;
    QTreeWidget* whereUsed_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* rescan_ = nullptr;
    QPushButton* foldersButton_ = nullptr;
    StatusLine* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString cachePath_, versionsFolder_;
    // The scan's own index lives on the worker: it touches neither widgets nor the controller and
    // hands its progress and result back as queued calls.
    QThread* worker_ = nullptr;
    std::atomic_bool cancelScan_{false};
    // Changes in the folders while the window is open, gathered for a moment before a rescan.
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* changed_ = nullptr;
    bool rescanAgain_ = false;
    qsizetype shownPatches_ = -1, shownDistinct_ = -1;
};

} // namespace quillbox
