#pragma once

#include "ChangeHistory.h"
#include "DescriptionFile.h"
#include "EntryChange.h"
#include "LibraryDocument.h"
#include "LibraryView.h"

namespace quillbox {

// "1 patch", "120 patches"
QString Patches(qsizetype count);
// "…/live.pslib"
QString ShortPath(const QString& path);

// The two lists, their selection, the details panel and the description box as they show the
// document; and the wording of lines and counts the commands use. Every command class reads the
// lists and the selection through this one place.
class LibraryLists {
public:
    LibraryLists(LibraryDocument& doc, PanesView& panes, ShellView& shell);

    // Lists, as the window shows them.
    qsizetype ListCount(ListId list) const;
    QString ListLine(ListId list, qsizetype index) const;
    const QByteArray& Store(ListId list) const;

    // List refills. Refilling the library list optionally selects a line from code, which runs the
    // list's click handling as a user click would; with `change`, the list updates only that.
    void RefillLibList(qsizetype select = -1, const EntryChange* change = nullptr);
    void RefillPatchesList();
    void SelectLibraryLine(qsizetype index);
    void SelectLibraryLines(const QList<qsizetype>& positions, qsizetype current);
    // Shows the library after an entry operation: the list learns what changed, and `positions` are
    // selected with `current` as the line shown.
    void ShowLibraryChange(const EntryChange& change, const QList<qsizetype>& positions, qsizetype current);

    // Clicks and selections of the user; see LibraryController.
    void LibraryClicked(qsizetype index);
    void PatchesClicked(qsizetype index);
    void SelectPatch(bool fromLibrary);
    void SelectionHidden(ListId list);
    void LibrarySelected(QList<qsizetype> positions, qsizetype current);
    void PatchesSelected(QList<qsizetype> positions, qsizetype current);
    QList<qsizetype> Selection(ListId list) const;

    // The details panel shows nothing editable any more (the entry it showed is gone, hidden or
    // belongs to a list that was filled anew): disable and empty it and the description box.
    void ShowNothingEditable();
    void ShowSelectionOrNothing();
    bool PanelShowsLibraryEntry() const;
    void RefreshPanelIfShowing(qsizetype libIndex, bool withDescription);
    // The description box's change handling: stores the text of the library entry the panel shows.
    void DescriptionChanged(const QString& text);
    // Shows the library as a step left it: the list, the selected line, the panel and the box.
    void RestorePanel(const PanelState& panel);

    // The description of patch `p` (0-based) of the patches list, from PatchesDescFilePath.
    QString PatchDescription(qsizetype p) const;
    // Patch `p` of the patches list as the library stores it: always 18 bytes, an entry cut short
    // by the end of its file padded with blanks, so that it can never shift the entries after it.
    QByteArray PatchForLibrary(qsizetype p) const;
    // Patches of the patches list as the library stores them, their descriptions appended to
    // `descriptions`.
    QByteArray PatchImages(const QList<qsizetype>& patches, QStringList* descriptions) const;
    // Patches can only go into a loaded library: one that was never loaded could not be saved, and
    // closing would drop it without a question. Tells the user so and returns false.
    bool LibraryReadyForTransfer();

    QString LibLine(qsizetype k) const; // the list line of library entry k, without trailing blanks
    QString PatchesName(qsizetype p) const;
    QString EntryNumber(qsizetype k) const;                 // "04" for entry 3
    QString Lines(const QList<qsizetype>& positions) const; // "3 patches", or the one entry's line
    // The one entry's line, or "3 patches: 02: A, 05: B, 09: C", naming at most three.
    QString NamedLines(const QList<qsizetype>& positions) const;

    // Positions as the commands take them. Ascending, each once, only lines that exist:
    static QList<qsizetype> Cleaned(QList<qsizetype> positions, qsizetype count);
    static bool Contains(const QList<qsizetype>& sorted, qsizetype k);
    // `current` when it is selected; otherwise the selected line before it, or the first one.
    static qsizetype CurrentAmong(const QList<qsizetype>& sorted, qsizetype current);
    static qsizetype IndexIn(const QList<qsizetype>& sorted, qsizetype k);
    static QList<qsizetype> Run(qsizetype first, qsizetype count);

private:
    void ClearDescriptionBox();

    LibraryDocument& doc_;
    const LibraryState& state_ = doc_.State();
    SessionRecord& session_ = doc_.Session();
    PanesView& panes_;
    ShellView& shell_;

    // The patches list's side file, parsed once and read again only when the file changes, so that
    // showing or copying one patch of a large list does not parse the whole file each time.
    struct PatchesDescCache {
        QString path;
        QByteArray stamp; // size, modification time and file id when read; empty: not read
        DescriptionReader reader;
    };
    mutable PatchesDescCache patchesDesc_;
};

} // namespace quillbox
