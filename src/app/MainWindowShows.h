#pragma once

#include "LibraryView.h"
#include "ShowRecord.h"
#include "ShowWindow.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>

class QMenu;
class QMimeData;

namespace quillbox {

class CollectionWindow;
class MainWindow;
class WindowSettings;

// The main window's side of shows: the show window it opens (one per main window), "Recent Shows",
// "Add to Show" from its lists and the collection, the patches dragged from them, and the show's
// closing question before the main window closes.
class MainWindowShows : public QObject {
    Q_OBJECT
public:
    MainWindowShows(MainWindow& window, WindowSettings& settings, QMenu* recentShows, QString collectionCache);

    // The show window, or nullptr while it was never opened.
    ShowWindow* Window() const { return show_; }
    // Opens (or raises) the show window; the first time, it offers a show left unsaved.
    ShowWindow& Open();
    void NewShow();
    void OpenShow();
    // Opens a show of "Recent Shows"; one that is gone is said so and leaves the list.
    void OpenRecent(const QString& path);
    // "Add to Show": the selected lines of `list` into the song selected in the show window.
    void AddSelected(ListId list);
    // The collection window's "Add to Show" reaches the show window through here.
    void WatchCollection(CollectionWindow* collection);

    // The cues for `entries` (0-based) of `list`: their bytes, descriptions and places in its file.
    QList<ShowCue> CuesOf(ListId list, const QList<qsizetype>& entries) const;
    // The cues for whole images from the collection; each takes the first file the collection
    // knows holding it as its source.
    QList<ShowCue> CuesOfImages(const QByteArray& images, const QStringList& descriptions) const;
    // The cues a drop of `data` brings; nullopt when it holds no patches of this window's.
    std::optional<QList<ShowCue>> CuesIn(const QMimeData* data) const;

protected:
    // The show's closing question comes before the main window closes.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillRecentMenu();

    MainWindow& window_;
    WindowSettings& settings_;
    QMenu* recent_;
    QString collectionCache_; // read for the other places of a cue while no collection is open
    QPointer<ShowWindow> show_;
};

} // namespace quillbox
