#pragma once

#include "LibraryView.h"

#include <QList>
#include <QMargins>
#include <QRect>
#include <QStringList>
#include <memory>
#include <optional>

class QSettings;

namespace quillbox {

// What the window remembers between runs: the recent libraries, the folder last used for each kind
// of file and the window's place. These are conveniences only: nothing here changes what a command
// does to a file, so a missing, unreadable or damaged settings file just means starting from the
// defaults. Every change is written at once.
class WindowSettings {
public:
    static constexpr int MaxRecent = 8;

    // `settings` null: the user's settings file in the standard place, ~/.config/quillbox/quillbox.ini
    // (no other file is read). Only a regular file, or a link to one, is used: anything else is
    // neither read nor written, the settings start from the defaults and one line on standard error
    // says so.
    explicit WindowSettings(std::shared_ptr<QSettings> settings = nullptr);
    ~WindowSettings();
    WindowSettings(const WindowSettings&) = delete;
    WindowSettings& operator=(const WindowSettings&) = delete;

    // Newest first, at most MaxRecent, each an absolute path once.
    QStringList RecentLibraries() const { return recent_; }
    void AddRecentLibrary(const QString& path);
    void RemoveRecentLibrary(const QString& path);
    // The shows opened or saved last, kept as the libraries are.
    QStringList RecentShows() const { return recentShows_; }
    void AddRecentShow(const QString& path);
    void RemoveRecentShow(const QString& path);

    // The folder the dialog for `kind` starts in; empty when none was used or it is gone.
    QString LastFolder(FileKind kind) const;
    void SetLastFolder(FileKind kind, const QString& folder);

    // The window's normal (not maximised) geometry when it was last closed, if one was kept.
    std::optional<QRect> WindowRect() const { return windowRect_; }
    bool WindowMaximized() const { return maximized_; }
    void SetWindowPlace(const QRect& normal, bool maximized);

    // Where a window kept at `saved` (without its frame) goes on the screens there are now (their
    // available areas, the primary first): with its `frame`, wholly on the screen it overlaps most,
    // or centred on the primary when it overlaps none, and never larger than that screen.
    static QRect PlaceOnScreens(const QRect& saved, const QList<QRect>& screens, const QMargins& frame = {});

private:
    void Write();

    std::shared_ptr<QSettings> settings_;
    bool damaged_ = false; // the file could not be read as settings: it is replaced on the next write
    QStringList recent_;
    QStringList recentShows_;
    QString libraryFolder_;
    QString patchFolder_;
    std::optional<QRect> windowRect_;
    bool maximized_ = false;
};

} // namespace quillbox
