#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class QMainWindow;
class QMenu;

namespace quillbox {

// A "Recent …" submenu keeps its `count` items, named NAME_1 …, once made: an item may be refilled
// while its own click is handled. MakeRecentItems makes them (each runs `open` with its path);
// ShowRecentItems shows `paths` in them, as many as there are, and disables an empty menu.
void MakeRecentItems(QMenu* menu, int count, const QString& name, QObject* context,
                     const std::function<void(const QString& path)>& open);
void ShowRecentItems(QMenu* menu, const QStringList& paths);

// The menu bar (the Edit menu apart, see EditMenu) and the window's keys, made from the command
// table: each row's menu or action is the window's, named as the row. While the menu bar has the
// focus it takes the keys that items only show.
class CommandMenus : public QObject {
    Q_OBJECT
public:
    explicit CommandMenus(QMainWindow* window);

    QAction* Action(const QString& name) const { return actions_.value(name); }
    QMenu* PatchMenu() const { return patch_; }
    // "Recent Libraries", which the window fills itself.
    QMenu* RecentMenu() const { return Submenu(QStringLiteral("mnuFile_Recent")); }
    // A submenu of the table (the window fills it), by name.
    QMenu* Submenu(const QString& name) const { return submenus_.value(name); }
    // The items enabled by the first successful load.
    void SetFileCommandsEnabled(bool enabled);

protected:
    // While the menu bar has the focus, a key that an item only shows runs that item.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMainWindow* window_;
    QHash<QString, QAction*> actions_;
    QMenu* patch_ = nullptr;
    QHash<QString, QMenu*> submenus_;
};

} // namespace quillbox
