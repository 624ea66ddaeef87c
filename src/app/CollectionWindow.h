#pragma once

#include "CollectionIndex.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QDialog>
#include <QSize>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

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

// The collection's distinct patches, one row each: name, decoded parameters, description's first
// line, places, and
// whether only earlier versions hold it.
class DistinctPatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The five decoded parameters follow the name.
    // The description last: it takes the room the others leave.
    enum Column { Name, FirstParameter, Places = FirstParameter + 5, Deleted, Description, ColumnCount };
    // The twin kinds of a patch across the collection (TwinKind bits), asked only for the rows
    // drawn and kept until the patches change.
    using KindsOf = std::function<unsigned(const DistinctPatch&)>;
    explicit DistinctPatchModel(KindsOf kindsOf, QObject* parent = nullptr)
        : QAbstractTableModel(parent), kindsOf_(std::move(kindsOf)) {}
    // Shows the patches of `list` at `shown` (ascending positions in it); the twin kinds already
    // asked are kept while the list stays the same.
    void Show(std::shared_ptr<const CollectionIndex::DistinctList> list, std::vector<qsizetype> shown);
    const DistinctPatch* At(int row) const;
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
    unsigned Kinds(int row) const;
    // The twin words of a row: "identical in 3 places", "same sound, other name elsewhere"...
    QStringList TwinWords(int row) const;

    std::shared_ptr<const CollectionIndex::DistinctList> list_;
    std::vector<qsizetype> shown_;
    KindsOf kindsOf_;
    mutable std::vector<qint8> kinds_; // per patch of the list, -1 until asked
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
    void Refill();
    // `list`: the distinct patches read anew after the scan, or none when nothing changed.
    void ScanFinished(const ScanResult& result, const QString& status,
                      std::shared_ptr<const CollectionIndex::DistinctList> list);
    void StopScan();
    void WatchFolders();
    void ShowWhereUsed();
    void CopySelected();
    void OpenSelectedPlace();
    const DistinctPatch* Selected() const;
    QList<int> SelectedRows() const;

    LibraryController& controller_;
    QString settingsPath_;
    QStringList recentLibraries_;
    QStringList folders_;
    std::unique_ptr<CollectionIndex> index_;
    DistinctPatchModel model_{[this](const DistinctPatch& patch) {
        return index_->TwinKindsOf(patch);
    }};
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
