#include "CollectionWindow.h"

#include "CollectionSettings.h"
#include "EarlierVersions.h"
#include "LibraryController.h"
#include "StatusLine.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quillbox {

namespace {

// As the command line names it, in words: "same sound".
QString RelationShown(Relation relation) {
    return RelationText(relation).replace(QLatin1Char('-'), QLatin1Char(' '));
}

} // namespace

CollectionWindow::CollectionWindow(LibraryController& controller, QString settingsPath,
                                   QStringList recentLibraries, QString cachePath, QString versionsFolder,
                                   QWidget* parent)
    : QDialog(parent), controller_(controller), settingsPath_(std::move(settingsPath)),
      recentLibraries_(std::move(recentLibraries)), folders_(ReadCollectionFolders(settingsPath_)),
      index_(std::make_unique<CollectionIndex>(cachePath, versionsFolder)), cachePath_(std::move(cachePath)),
      versionsFolder_(std::move(versionsFolder)) {
    setObjectName(QStringLiteral("frmCollection"));
    setWindowTitle(QStringLiteral("Collection"));
    setModal(false);

    find_ = new QLineEdit(this);
    find_->setObjectName(QStringLiteral("txtCollectionFind"));
    find_->setAccessibleName(QStringLiteral("Find in the collection"));
    find_->setPlaceholderText(QStringLiteral("Find: words or #tag"));
    find_->setClearButtonEnabled(true);
    // The clear button is a control of its own for a reader.
    for (QToolButton* clear : find_->findChildren<QToolButton*>())
        clear->setAccessibleName(QStringLiteral("Clear the find field"));
    tags_ = new QListWidget(this);
    tags_->setObjectName(QStringLiteral("lstCollectionTags"));
    tags_->setAccessibleName(QStringLiteral("Tags"));
    tags_->setMaximumWidth(160);
    patches_ = new QTableView(this);
    patches_->setObjectName(QStringLiteral("lstCollectionPatches"));
    patches_->setAccessibleName(QStringLiteral("Patches of the collection"));
    patches_->setModel(&model_);
    patches_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several patches are copied or dragged at once; where-used follows the current one.
    patches_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    patches_->setDragEnabled(true);
    patches_->setDragDropMode(QAbstractItemView::DragOnly);
    patches_->setDefaultDropAction(Qt::CopyAction);
    {
        const int mark = patches_->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, patches_);
        model_.SetMarks(QSize(mark, mark), patches_->palette().color(QPalette::Text));
    }
    patches_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    patches_->verticalHeader()->hide();
    // Lines as high as the text, and columns as wide as what the first lines show; the description
    // takes the room left. Only a few hundred lines are measured, however large the collection.
    patches_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    patches_->verticalHeader()->setDefaultSectionSize(
        std::max(patches_->fontMetrics().height(), model_.MarkSize().height()) + 6);
    patches_->horizontalHeader()->setResizeContentsPrecision(200);
    patches_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    patches_->horizontalHeader()->setSectionResizeMode(DistinctPatchModel::Description, QHeaderView::Stretch);
    patches_->setTextElideMode(Qt::ElideRight);
    whereUsed_ = new QTreeWidget(this);
    whereUsed_->setObjectName(QStringLiteral("lstCollectionWhereUsed"));
    whereUsed_->setAccessibleName(QStringLiteral("Where the patch is used"));
    whereUsed_->setRootIsDecorated(false);
    whereUsed_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    whereUsed_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Position"), QStringLiteral("Kind"),
                                 QStringLiteral("Relation"), QStringLiteral("Name"),
                                 QStringLiteral("Folder")});
    open_ = new QPushButton(QStringLiteral("&Open Library"), this);
    open_->setObjectName(QStringLiteral("cmdCollectionOpen"));
    open_->setAccessibleName(QStringLiteral("Open Library"));
    rescan_ = new QPushButton(QStringLiteral("&Rescan"), this);
    rescan_->setObjectName(QStringLiteral("cmdCollectionRescan"));
    rescan_->setAccessibleName(QStringLiteral("Rescan"));
    foldersButton_ = new QPushButton(QStringLiteral("&Folders…"), this);
    foldersButton_->setObjectName(QStringLiteral("cmdCollectionFolders"));
    // A reader says the caption as it stands; what the folders are for is the description.
    foldersButton_->setAccessibleDescription(QStringLiteral("The folders of the collection"));
    // Named by what it says (the counts), not by what it is.
    status_ = new StatusLine(this);
    status_->setTextFormat(Qt::PlainText);
    status_->setObjectName(QStringLiteral("lblCollectionStatus"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("prgCollectionScan"));
    progress_->setAccessibleName(QStringLiteral("Scan progress"));
    progress_->hide();
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cmdCollectionCancel"));
    cancel_->setAccessibleName(QStringLiteral("Cancel the scan"));
    cancel_->hide();

    auto* lists = new QHBoxLayout;
    lists->addWidget(tags_);
    lists->addWidget(patches_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(progress_);
    buttons->addWidget(cancel_);
    buttons->addWidget(foldersButton_);
    buttons->addWidget(rescan_);
    buttons->addWidget(open_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(find_);
    layout->addLayout(lists, 2);
    layout->addWidget(whereUsed_, 1);
    layout->addLayout(buttons);
    setTabOrder(find_, tags_);
    setTabOrder(tags_, patches_);
    setTabOrder(patches_, whereUsed_);
    setTabOrder(whereUsed_, foldersButton_);
    setTabOrder(foldersButton_, rescan_);
    setTabOrder(rescan_, open_);
    setTabOrder(open_, cancel_);
    resize(720, 520);

    connect(find_, &QLineEdit::textChanged, this, [this] { Refill(); });
    connect(tags_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { find_->setText(item->data(Qt::UserRole).toString()); });
    connect(patches_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowWhereUsed(); });
    // A double click and Enter both activate the line.
    connect(patches_, &QTableView::activated, this, [this] { CopySelected(); });
    // The right button (and the menu key) offers the selected patches to the show window.
    auto* addAction = new QAction(QStringLiteral("Add to S&how"), patches_);
    addAction->setObjectName(QStringLiteral("mnuCollection_AddToShow"));
    auto* patchMenu = new QMenu(patches_);
    patchMenu->setObjectName(QStringLiteral("mnuCollectionPatch"));
    patchMenu->setAccessibleName(QStringLiteral("Patch"));
    patchMenu->addAction(addAction);
    patches_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(patches_, &QWidget::customContextMenuRequested, this, [this, patchMenu](const QPoint& pos) {
        patchMenu->popup(patches_->viewport()->mapToGlobal(pos));
    });
    connect(addAction, &QAction::triggered, this, [this] {
        const auto [images, descriptions] = model_.Images(SelectedRows());
        if (!images.isEmpty())
            Q_EMIT addToShow(images, descriptions);
    });
    connect(open_, &QPushButton::clicked, this, [this] { OpenSelectedPlace(); });
    connect(rescan_, &QPushButton::clicked, this, [this] { Rescan(); });
    connect(foldersButton_, &QPushButton::clicked, this, [this] { ChooseFolders(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { cancelScan_ = true; });

    watcher_ = new QFileSystemWatcher(this);
    changed_ = new QTimer(this);
    changed_->setSingleShot(true);
    changed_->setInterval(300);
    connect(changed_, &QTimer::timeout, this, [this] { Rescan(); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, changed_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::fileChanged, changed_, qOverload<>(&QTimer::start));
    WatchFolders();

    QString status, error;
    if (!index_->Open(&status, &error))
        status = error;
    status_->Show(status);
    ShowFirstUse();
}

void CollectionWindow::ShowFirstUse() {
    if (!folders_.isEmpty())
        return;
    // Nothing to show yet: say what to do, with the keyboard on the button that does it.
    status_->Show(FirstUseHint());
    foldersButton_->setFocus(Qt::OtherFocusReason);
}

QString CollectionWindow::FirstUseHint() {
    return QStringLiteral(
        "No folders yet: choose Folders\u2026 \u2014 your recent libraries' folders are offered there");
}

CollectionWindow::~CollectionWindow() {
    StopScan();
    StopIndexing();
}

void CollectionWindow::StopIndexing() {
    if (!indexer_)
        return;
    indexer_->wait();
    delete indexer_;
    indexer_ = nullptr;
}

void CollectionWindow::IndexWords() {
    // Below this a search of every text is as quick as a look at the index.
    constexpr qsizetype Indexed = 50000;
    if (indexer_ || !list_ || list_->LiveCount() < Indexed || list_->finder.HasWordIndex())
        return;
    indexer_ = QThread::create([this, finder = memory_->FinderCopy(), memory = memory_.get()] {
        auto index = std::make_shared<PatchFinder::WordIndex>(finder.BuildWordIndex());
        QMetaObject::invokeMethod(
            this,
            [this, index, memory] {
                StopIndexing();
                // A memory read afresh meanwhile gets an index of its own.
                if (memory_.get() == memory) {
                    memory_->UseWordIndex(std::move(*index));
#ifdef __GLIBC__
                    malloc_trim(0); // what building it took
#endif
                } else {
                    IndexWords();
                }
            },
            Qt::QueuedConnection);
    });
    indexer_->start();
}

void CollectionWindow::StopScan() {
    if (!worker_)
        return;
    cancelScan_ = true;
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
}

QString CollectionWindow::Status() const {
    return status_->text();
}

void CollectionWindow::WatchFolders() {
    if (!watcher_->directories().isEmpty())
        watcher_->removePaths(watcher_->directories());
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    // The folders and their subfolders (a bounded number: watches are a limited resource); files
    // rewritten in place show as changes of their folder's modification on most systems, and the
    // identity check on activation catches the rest.
    constexpr int MaxWatched = 2000;
    QStringList paths;
    for (const QString& folder : folders_) {
        if (!QFileInfo(folder).isDir())
            continue;
        paths.append(folder);
        QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext() && paths.size() < MaxWatched)
            paths.append(it.next());
    }
    if (!paths.isEmpty())
        watcher_->addPaths(paths);
}

void CollectionWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && shownPatches_ >= 0)
        Rescan();
}

void CollectionWindow::Rescan() {
    if (worker_) {
        rescanAgain_ = true; // what changed during this scan may have been missed by it
        return;
    }
    rescanAgain_ = false;
    cancelScan_ = false;
    progress_->setRange(0, 0);
    progress_->show();
    cancel_->show();
    rescan_->setEnabled(false);
    // The files are read into memory first, and the list answers from it; the cache that the tools
    // and the other windows read is brought up to date behind it, on the same worker.
    worker_ = QThread::create([this, folders = folders_, cachePath = cachePath_,
                               versions = versionsFolder_.isEmpty() ? EarlierVersions::DefaultFolder()
                                                                    : versionsFolder_,
                               known = memory_->KnownFiles(), worn = memory_->Worn()] {
        const auto progress = [this](const ScanProgress& step) {
            QMetaObject::invokeMethod(
                this,
                [this, step] {
                    progress_->setRange(0, int(std::min<qsizetype>(step.total, INT_MAX)));
                    progress_->setValue(int(std::min<qsizetype>(step.done, INT_MAX)));
                },
                Qt::QueuedConnection);
        };
        auto look = std::make_shared<FolderLook>(
            CollectionMemory::Look(folders, versions, known, progress, &cancelScan_));
        // A first read, one where many files changed, or one after so many changes that most of
        // the list's entries are dead, is taken into a memory of its own here,
        // so that the window never waits for it; a few changed files are taken in by the window.
        std::shared_ptr<CollectionMemory> fresh;
        auto result = std::make_shared<ScanResult>();
        if (!look->cancelled &&
            (known.isEmpty() || worn || look->read.size() > std::max<size_t>(16, size_t(known.size()) / 8))) {
            if (!known.isEmpty())
                *look = CollectionMemory::Look(folders, versions, {}, progress, &cancelScan_);
            if (!look->cancelled) {
                fresh = std::make_shared<CollectionMemory>();
                *result = fresh->Apply(std::move(*look));
            }
        }
        const bool cancelled = look->cancelled;
        QMetaObject::invokeMethod(
            this, [this, look, fresh, result] { FilesRead(std::move(*look), fresh, *result); },
            Qt::QueuedConnection);
        if (cancelled)
            return;
        CollectionIndex index(cachePath, versions);
        QString status, error;
        qsizetype read = 0;
        if (index.Open(&status, &error))
            read = index.Scan(folders, {}, &cancelScan_).read;
        else
            status = error;
        QMetaObject::invokeMethod(
            this, [this, status, read] { CacheWritten(status, read); }, Qt::QueuedConnection);
    });
    worker_->start();
}

void CollectionWindow::ChooseFolders() {
    QStringList offered = folders_;
    if (offered.isEmpty()) {
        // First use: the folders the user's libraries are in.
        for (const QString& library : recentLibraries_) {
            const QString folder = QFileInfo(library).absolutePath();
            if (!library.isEmpty() && !offered.contains(folder) && QFileInfo(folder).isDir())
                offered.append(folder);
        }
    }
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("frmCollectionFolders"));
    dialog.setWindowTitle(QStringLiteral("Folders of the collection"));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lstCollectionFolders"));
    list->setAccessibleName(QStringLiteral("Folders"));
    for (const QString& folder : offered)
        list->addItem(QDir::toNativeSeparators(folder));
    auto* add = new QPushButton(QStringLiteral("&Add…"), &dialog);
    add->setObjectName(QStringLiteral("cmdFolderAdd"));
    add->setAccessibleName(QStringLiteral("Add a folder"));
    auto* remove = new QPushButton(QStringLiteral("&Remove"), &dialog);
    remove->setObjectName(QStringLiteral("cmdFolderRemove"));
    remove->setAccessibleName(QStringLiteral("Remove the selected folder"));
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    box->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    box->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    auto* side = new QVBoxLayout;
    side->addWidget(add);
    side->addWidget(remove);
    side->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(list, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
    layout->addWidget(box);
    connect(add, &QPushButton::clicked, &dialog, [&dialog, list] {
        const QString folder = QFileDialog::getExistingDirectory(&dialog, QStringLiteral("Add a folder"));
        if (!folder.isEmpty() &&
            list->findItems(QDir::toNativeSeparators(folder), Qt::MatchExactly).isEmpty())
            list->addItem(QDir::toNativeSeparators(folder));
    });
    connect(remove, &QPushButton::clicked, &dialog, [list] { delete list->currentItem(); });
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QStringList chosen;
    for (int row = 0; row < list->count(); ++row)
        chosen.append(QDir::fromNativeSeparators(list->item(row)->text()));
    if (!WriteCollectionFolders(chosen, settingsPath_)) {
        status_->Show(QStringLiteral("The folders could not be kept in the settings file"));
        return;
    }
    folders_ = chosen;
    WatchFolders();
    Rescan();
}

void CollectionWindow::FilesRead(FolderLook look, std::shared_ptr<CollectionMemory> fresh,
                                 ScanResult result) {
    progress_->hide();
    cancel_->hide();
    const bool changed = fresh || look.Changed();
    if (fresh) {
        memory_ = std::move(fresh);
        model_.SetMemory(memory_.get());
    } else {
        result = memory_->Apply(std::move(look));
    }
    QString line = QStringLiteral("%1 files, %2 patches, %3 distinct, %4 skipped")
                       .arg(result.files)
                       .arg(result.patches)
                       .arg(result.distinct)
                       .arg(result.skipped.size());
    if (result.cancelled)
        line = QStringLiteral("Scan cancelled: ") + line;
    countsLine_ = line;
    status_->Show(line);
    ShowFirstUse();
    shownPatches_ = result.patches;
    if (result.cancelled)
        CacheWritten({}, 0);
    // A rescan that found nothing new leaves the lists (and the user's place in them) alone.
    if (!changed && list_)
        return;
    list_ = memory_->List();
#ifdef __GLIBC__
    // Reading the files left freed buffers about the heap: the system gets them back, so that the
    // window holds what its list needs and little more.
    malloc_trim(0);
#endif
    tags_->clear();
    for (const TagCount& tag : memory_->Tags()) {
        auto* item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(tag.tag).arg(tag.places), tags_);
        item->setData(Qt::UserRole, tag.tag);
    }
    listChanged_ = true;
    Refill();
    IndexWords();
}

void CollectionWindow::CacheWritten(const QString& status, qsizetype read) {
    if (worker_) {
        worker_->wait();
        delete worker_;
        worker_ = nullptr;
    }
    rescan_->setEnabled(true);
#ifdef __GLIBC__
    malloc_trim(0); // what writing the cache took on the worker
#endif
    if (!status.isEmpty())
        status_->Show(status + QStringLiteral("; ") + countsLine_);
    ShowFirstUse();
    if (read > 0)
        Q_EMIT scanned();
    if (rescanAgain_)
        QTimer::singleShot(0, this, [this] { Rescan(); });
}

void CollectionWindow::Refill() {
    const QString query = find_->text();
    std::vector<qsizetype> shown;
    if (list_) {
        // Typing on narrows what is shown: only those patches need looking at.
        shown = !listChanged_ && model_.List() == list_ && PatchFinder::Narrows(query, shownQuery_)
                    ? list_->MatchingAmong(query, model_.Shown())
                    : list_->Matching(query);
    }
    shownQuery_ = query;
    model_.Show(list_, std::move(shown), listChanged_);
    listChanged_ = false;
    // The result is said once, as the field's description, instead of by the cells refilled.
    const int found = model_.rowCount();
    find_->setAccessibleDescription(query.trimmed().isEmpty() ? QString()
                                    : found == 1              ? QStringLiteral("1 patch found")
                                                 : QStringLiteral("%1 patches found").arg(found));
    if (model_.rowCount() > 0)
        patches_->setCurrentIndex(model_.index(0, 0));
    ShowWhereUsed();
}

std::optional<DistinctPatch> CollectionWindow::Selected() const {
    return model_.At(patches_->currentIndex().row());
}

void CollectionWindow::ShowWhereUsed() {
    whereUsed_->clear();
    places_.clear();
    const std::optional<DistinctPatch> patch = Selected();
    if (!patch)
        return;
    places_ = memory_->WhereUsed(patch->bytes);
    for (const RelatedPlace& related : places_) {
        const Place& place = related.place;
        // The file's name first, where it can be read; its folder last, with the whole path in the
        // tool tip.
        const QFileInfo file(place.path);
        auto* item = new QTreeWidgetItem(
            whereUsed_, {file.fileName(), QString::number(place.position + 1), PlaceKindText(place.kind),
                         RelationShown(related.relation), place.name, QDir::toNativeSeparators(file.path())});
        item->setToolTip(0, QDir::toNativeSeparators(place.path));
        item->setData(0, Qt::AccessibleTextRole, place.path);
    }
    if (whereUsed_->topLevelItemCount() > 0)
        whereUsed_->setCurrentItem(whereUsed_->topLevelItem(0));
}

QList<int> CollectionWindow::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : patches_->selectionModel()->selectedRows())
        rows.append(index.row());
    return rows;
}

void CollectionWindow::CopySelected() {
    const auto [images, descriptions] = model_.Images(SelectedRows());
    if (!images.isEmpty())
        controller_.CopyImagesIntoLibrary(images, descriptions);
}

void CollectionWindow::OpenSelectedPlace() {
    const int row = whereUsed_->indexOfTopLevelItem(whereUsed_->currentItem());
    if (row < 0 || size_t(row) >= places_.size())
        return;
    controller_.LoadLibFromPath(places_[size_t(row)].place.path);
}

void CollectionWindow::keyPressEvent(QKeyEvent* event) {
    // Enter copies in the patches (their activation) and must not close the window elsewhere.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

} // namespace quillbox
