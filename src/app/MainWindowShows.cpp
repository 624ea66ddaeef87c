#include "MainWindowShows.h"

#include "CollectionIndex.h"
#include "CollectionWindow.h"
#include "CommandMenus.h"
#include "MainWindow.h"
#include "PatchImage.h"
#include "PatchListModel.h"
#include "PatchListView.h"
#include "ShowWindow.h"
#include "WindowSettings.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

namespace quillbox {

MainWindowShows::MainWindowShows(MainWindow& window, WindowSettings& settings, QMenu* recentShows,
                                 QString collectionCache)
    : QObject(&window), window_(window), settings_(settings), recent_(recentShows),
      collectionCache_(std::move(collectionCache)) {
    FillRecentMenu();
    window_.installEventFilter(this);
}

ShowWindow& MainWindowShows::Open() {
    if (!show_) {
        ShowWindowHooks hooks;
        hooks.patchesIn = [this](const QMimeData* data) {
            return CuesIn(data);
        };
        hooks.otherPlaces = [this]() -> OtherPlaces {
            const CollectionWindow* collection = window_.Collection();
            const CollectionIndex* index = collection ? collection->Index() : nullptr;
            if (!index) {
                // No collection open: what the cache of an earlier scan knows, read only.
                auto cached = std::make_shared<const CachedPlaces>(collectionCache_);
                return [cached](const QByteArray& image) { return cached->Of(image); };
            }
            return [collection = QPointer<const CollectionWindow>(collection)](const QByteArray& image) {
                const CollectionIndex* open = collection ? collection->Index() : nullptr;
                return open ? open->IdenticalPlaces(image) : QStringList();
            };
        };
        hooks.showFileUsed = [this](const QString& path) {
            settings_.AddRecentShow(path);
            FillRecentMenu();
        };
        hooks.lastFolder = [this] {
            const QString recent = settings_.RecentShows().value(0);
            return recent.isEmpty() ? settings_.LastFolder(FileKind::Library)
                                    : QFileInfo(recent).absolutePath();
        };
        hooks.versions = window_.Controller().Files().Versions();
        // Beside the libraries' recovery folder, not in it: a library's recovery never sees a show's.
        const UnsavedWorkFiles libraries = window_.Controller().Unsaved().Files();
        hooks.unsaved = UnsavedWorkFiles(
            QFileInfo(libraries.Folder()).dir().filePath(QStringLiteral("shows")), libraries.Instance());
        QString problem;
        hooks.keepsUnsaved = window_.Controller().Unsaved().HoldWindow(&problem);
        if (!hooks.keepsUnsaved)
            window_.ShowStatus(QStringLiteral("Unsaved changes of a show cannot be kept for recovery: ") + problem);
        show_ = new ShowWindow(std::move(hooks), &window_);
        show_->show();
        show_->OfferLeftWork();
    }
    show_->show();
    show_->raise();
    show_->activateWindow();
    return *show_;
}

void MainWindowShows::NewShow() {
    Open().NewShow();
}

void MainWindowShows::OpenShow() {
    Open().OpenShow();
}

void MainWindowShows::OpenRecent(const QString& path) {
    if (!QFileInfo::exists(path)) {
        settings_.RemoveRecentShow(path);
        FillRecentMenu();
        window_.ShowMessage(QStringLiteral("File not found: ") + path);
        return;
    }
    Open().OpenShowFile(path);
}

void MainWindowShows::AddSelected(ListId list) {
    const QList<qsizetype> entries = window_.Controller().Selection(list);
    if (entries.isEmpty()) {
        window_.ShowStatus(QStringLiteral("Nothing added to the show: no patch is selected"));
        return;
    }
    Open().Commands().AddCuesToSelectedSong(CuesOf(list, entries));
}

void MainWindowShows::WatchCollection(CollectionWindow* collection) {
    connect(collection, &CollectionWindow::addToShow, this,
            [this](const QByteArray& images, const QStringList& descriptions) {
                Open().Commands().AddCuesToSelectedSong(CuesOfImages(images, descriptions));
            });
}

QList<ShowCue> MainWindowShows::CuesOf(ListId list, const QList<qsizetype>& entries) const {
    const LibraryController& controller = window_.Controller();
    const LibraryState& state = controller.State();
    const bool library = list == ListId::Library;
    const QByteArray& store = library ? state.LibraryData : state.PatchesData;
    const QString& path = library ? state.LibFilePath : state.PatchesFilePath;
    QList<ShowCue> cues;
    for (const qsizetype entry : entries) {
        const QByteArray bytes = EntryBytes(store, entry);
        if (bytes.isEmpty())
            continue;
        ShowCue cue;
        // A short last entry is stored padded in the file's list; the cue holds a whole image.
        cue.image = bytes.leftJustified(PatchImageSize, ' ', true);
        cue.description = library ? state.DescArray.value(entry + 1) : controller.PatchDescription(entry);
        // Patches never saved to a file come from none.
        if (!path.isEmpty())
            cue.source = {path, entry + 1, bytes};
        cues.append(cue);
    }
    return cues;
}

QList<ShowCue> MainWindowShows::CuesOfImages(const QByteArray& images,
                                             const QStringList& descriptions) const {
    const CollectionWindow* collection = window_.Collection();
    const CollectionIndex* index = collection ? collection->Index() : nullptr;
    QList<ShowCue> cues;
    for (qsizetype i = 0; i + PatchImageSize <= images.size(); i += PatchImageSize) {
        ShowCue cue;
        cue.image = images.mid(i, PatchImageSize);
        cue.description = descriptions.value(i / PatchImageSize);
        for (const RelatedPlace& related :
             index ? index->WhereUsed(cue.image) : std::vector<RelatedPlace>()) {
            if (related.relation == Relation::Identical && related.place.kind != PlaceKind::EarlierVersion) {
                cue.source = {related.place.path, related.place.position + 1, related.place.bytes};
                break;
            }
        }
        cues.append(cue);
    }
    return cues;
}

std::optional<QList<ShowCue>> MainWindowShows::CuesIn(const QMimeData* data) const {
    if (const auto images = PatchListModel::DecodeImages(data))
        return CuesOfImages(images->images, images->descriptions);
    // Either list's model reads the lines of both.
    const auto* model =
        qobject_cast<const PatchListModel*>(window_.Panes().ListView(ListId::Library)->model());
    const std::optional<PatchListModel::Dragged> dragged = model ? model->Decode(data) : std::nullopt;
    if (!dragged)
        return std::nullopt;
    return CuesOf(dragged->from, dragged->entries);
}

bool MainWindowShows::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Close && show_ && show_->isVisible() &&
        !show_->close()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void MainWindowShows::FillRecentMenu() {
    // As "Recent Libraries": eight items kept, as many shown as there are shows.
    if (recent_->actions().isEmpty())
        MakeRecentItems(recent_, WindowSettings::MaxRecent, QStringLiteral("mnuFile_RecentShows"), this,
                        [this](const QString& path) { OpenRecent(path); });
    ShowRecentItems(recent_, settings_.RecentShows());
}

} // namespace quillbox
