#pragma once

#include "LibraryView.h"
#include "PatchFinder.h"

#include <QLineEdit>
#include <QStringList>

namespace quillbox {

class LibraryController;
class PatchListModel;
class PatchListView;

// The find field over one list (txtFindLib, txtFindPatches): while it holds words the list shows
// only the entries whose line, description or decoded parameters hold every word. The entries'
// texts are taken again only when the list's store or descriptions changed since they were taken,
// so a keystroke costs a scan of the texts, not their rebuilding. Esc empties and hides the field.
class FindField : public QLineEdit {
    Q_OBJECT
public:
    FindField(const LibraryController& controller, ListId list, PatchListView* view, PatchListModel* model);

    // Ctrl+F: shows the field (or keeps it shown) with the focus in it and its words selected.
    void Open();
    // Empties and hides the field; the list shows every entry again, with the focus in it.
    void Close();
    bool IsOpen() const { return !isHidden(); }

    // The entries to show for the field's words as the store now stands; nullopt: every entry.
    std::optional<std::vector<qsizetype>> Matching();

Q_SIGNALS:
    // The list shows other lines now (the field's words changed, or it was closed).
    void filtered();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Apply();
    bool Stale() const;

    const LibraryController& controller_;
    ListId list_;
    PatchListView* view_;
    PatchListModel* model_;
    PatchFinder finder_;
    // What the texts were taken from; held while the field is open, so that a change of either
    // gives them new data and shows as a different pointer.
    QByteArray storeSeen_;
    QStringList descSeen_;
    QString descPathSeen_;
    bool built_ = false;
};

} // namespace quillbox
