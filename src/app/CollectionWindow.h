#pragma once

#include "CollectionIndex.h"

#include <QAbstractTableModel>
#include <QDialog>
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
    enum Column { Name, FirstParameter, Description = FirstParameter + 5, Places, Deleted, ColumnCount };
    using QAbstractTableModel::QAbstractTableModel;
    void SetPatches(std::vector<DistinctPatch> patches);
    const DistinctPatch* At(int row) const;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<DistinctPatch> patches_;
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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Back in the window: a quick identity check of the files picks up what changed meanwhile.
    void changeEvent(QEvent* event) override;

private:
    void Refill();
    void ScanFinished(const ScanResult& result, const QString& status);
    void StopScan();
    void WatchFolders();
    void ShowWhereUsed();
    void CopySelected();
    void OpenSelectedPlace();
    const DistinctPatch* Selected() const;

    LibraryController& controller_;
    QString settingsPath_;
    QStringList recentLibraries_;
    QStringList folders_;
    std::unique_ptr<CollectionIndex> index_;
    DistinctPatchModel model_;
    std::vector<RelatedPlace> places_;
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
