#pragma once

#include "CollectionIndex.h"
#include "CollectionMemory.h"
#include "DistinctPatchModel.h"

#include <QDialog>
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
    // Whether the list's word index is being built.
    bool Indexing() const { return indexer_ != nullptr; }
    QString Status() const;
    // What the status line says while no folders are chosen.
    static QString FirstUseHint();
    QStringList Folders() const { return folders_; }
    // "Folders…": the collection's folders to add to or remove from; kept and scanned on OK.
    void ChooseFolders();

    // The collection's cache as this window reads it; null while it has none.
    const CollectionIndex* Index() const { return index_.get(); }

Q_SIGNALS:
    // A scan brought the cache up to date (its tags may be others now).
    void scanned();
    // "Add to Show" on the patches' right-click menu: the selected patches, whole images.
    void addToShow(const QByteArray& images, const QStringList& descriptions);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Back in the window: a quick identity check of the files picks up what changed meanwhile.
    void changeEvent(QEvent* event) override;

private:
    // Without folders the window says what to do first and puts the focus on Folders….
    void ShowFirstUse();
    void Refill();
    // The look at the folders is taken into memory (or `fresh` is, which holds it with `result`),
    // and the lists show it.
    void FilesRead(FolderLook look, std::shared_ptr<CollectionMemory> fresh, ScanResult result);
    // The cache is up to date with the files (`read` of them read again); `status` tells how it
    // was opened when that is worth saying.
    void CacheWritten(const QString& status, qsizetype read);
    // A large list is given a word index, built on a thread of its own, so that a whole search
    // looks only at the patches holding its rarest word.
    void IndexWords();
    void StopIndexing();
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
    // The collection as read from the files: the list, the find and where each patch is used.
    std::shared_ptr<CollectionMemory> memory_ = std::make_shared<CollectionMemory>();
    DistinctPatchModel model_{memory_.get()};
    std::vector<RelatedPlace> places_;
    // What the list and the find work on: read on the scan's worker, kept in memory, so that a
    // keystroke in the find field never waits for the database.
    std::shared_ptr<const CollectionIndex::DistinctList> list_;
    QString shownQuery_;       // the find that chose the patches shown
    bool listChanged_ = false; // the list changed since the patches shown were chosen
    QString countsLine_;       // what the last look at the files counted
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
    QThread* indexer_ = nullptr;
    std::atomic_bool cancelScan_{false};
    // Changes in the folders while the window is open, gathered for a moment before a rescan.
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* changed_ = nullptr;
    bool rescanAgain_ = false;
    qsizetype shownPatches_ = -1;
};

} // namespace quillbox
