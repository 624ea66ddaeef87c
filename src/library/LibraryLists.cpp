// The lists, their selection, the details panel and the description box as they show the document,
// and the wording of the lines and counts that the commands' steps and status lines use.
#include "LibraryLists.h"

#include "PatchList.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <algorithm>
#include <numeric>

namespace quillbox {

namespace {

// What tells one version of a file from another: its size, modification time and identity. Empty
// when there is nothing to read at the path.
QByteArray FileStamp(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QByteArray::number(qint64(info.st_size)) + ' ' + QByteArray::number(qint64(info.st_mtim.tv_sec)) +
           '.' + QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ' ' +
           QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino));
#else
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return QByteArray::number(info.size()) + ' ' +
           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
#endif
}

} // namespace

QString Patches(qsizetype count) {
    return count == 1 ? QStringLiteral("1 patch") : QString::number(count) + QStringLiteral(" patches");
}

QString ShortPath(const QString& path) {
    return QStringLiteral("\u2026/") + QFileInfo(path).fileName();
}

LibraryLists::LibraryLists(LibraryDocument& doc, PanesView& panes, ShellView& shell)
    : doc_(doc), panes_(panes), shell_(shell) {}

// ---------------------------------------------------------------------------------------------
// Positions

QList<qsizetype> LibraryLists::Cleaned(QList<qsizetype> positions, qsizetype count) {
    if (!std::is_sorted(positions.begin(), positions.end()))
        std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.erase(std::remove_if(positions.begin(), positions.end(),
                                   [count](qsizetype k) { return k < 0 || k >= count; }),
                    positions.end());
    return positions;
}

bool LibraryLists::Contains(const QList<qsizetype>& sorted, qsizetype k) {
    return std::binary_search(sorted.begin(), sorted.end(), k);
}

qsizetype LibraryLists::CurrentAmong(const QList<qsizetype>& sorted, qsizetype current) {
    if (Contains(sorted, current))
        return current;
    const auto after = std::lower_bound(sorted.begin(), sorted.end(), current);
    return after == sorted.begin() ? sorted.first() : *(after - 1);
}

qsizetype LibraryLists::IndexIn(const QList<qsizetype>& sorted, qsizetype k) {
    return std::lower_bound(sorted.begin(), sorted.end(), k) - sorted.begin();
}

QList<qsizetype> LibraryLists::Run(qsizetype first, qsizetype count) {
    QList<qsizetype> run(count);
    std::iota(run.begin(), run.end(), first);
    return run;
}

// ---------------------------------------------------------------------------------------------
// Lists and selection

qsizetype LibraryLists::ListCount(ListId list) const {
    return EntryCount(list == ListId::Library ? state_.LibraryData : session_.PatchesData);
}

QString LibraryLists::ListLine(ListId list, qsizetype index) const {
    const QByteArray& store = list == ListId::Library ? state_.LibraryData : session_.PatchesData;
    if (index < 0 || index >= EntryCount(store))
        return {};
    return PatchListLine(store, index);
}

const QByteArray& LibraryLists::Store(ListId list) const {
    return list == ListId::Library ? state_.LibraryData : session_.PatchesData;
}

void LibraryLists::RefillLibList(qsizetype select, const EntryChange* change) {
    if (change)
        panes_.ListEntriesChanged(ListId::Library, *change);
    else
        panes_.RefillList(ListId::Library);
    // The patches list's marks tell about the library's entries too.
    panes_.RefreshListMarks();
    const qsizetype count = ListCount(ListId::Library);
    panes_.SetListToolTip(ListId::Library, PatchCountToolTip(count));
    QString error;
    if (StoreHasUnreadableName(state_.LibraryData, &error))
        shell_.ShowMessage(QStringLiteral("StringToPatchName: ") + error, MessageStyle::Plain);
    session_.LibSelection = -1;
    session_.LibSelected.clear();
    panes_.SelectListLine(ListId::Library, -1);
    if (select >= 0 && select < count)
        SelectLibraryLine(select);
}

void LibraryLists::RefillPatchesList() {
    panes_.RefillList(ListId::Patches);
    panes_.SetListToolTip(ListId::Patches, PatchCountToolTip(ListCount(ListId::Patches)));
    QString error;
    if (StoreHasUnreadableName(session_.PatchesData, &error))
        shell_.ShowMessage(QStringLiteral("StringToPatchName: ") + error, MessageStyle::Plain);
    session_.PatchesSelection = -1;
    session_.PatchesSelected.clear();
    panes_.SelectListLine(ListId::Patches, -1);
}

void LibraryLists::SelectLibraryLine(qsizetype index) {
    session_.LibSelection = index;
    session_.LibSelected.clear();
    panes_.SelectListLine(ListId::Library, index);
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryLists::LibraryClicked(qsizetype index) {
    doc_.EndTypingRun();
    if (index < 0 || index >= ListCount(ListId::Library)) {
        index = -1;
        panes_.SelectListLine(ListId::Library, -1);
    }
    session_.LibSelection = index;
    session_.LibSelected.clear();
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryLists::PatchesClicked(qsizetype index) {
    doc_.EndTypingRun();
    if (index < 0 || index >= ListCount(ListId::Patches)) {
        index = -1;
        panes_.SelectListLine(ListId::Patches, -1);
    }
    session_.PatchesSelection = index;
    session_.PatchesSelected.clear();
    session_.ActiveList = ActiveListPatches;
    SelectPatch(false);
}

void LibraryLists::SelectPatch(bool fromLibrary) {
    const qsizetype index = fromLibrary ? session_.LibSelection : session_.PatchesSelection;
    if (index < 0)
        return;
    session_.PatchIndex = index;
    session_.CurrentPatch =
        PatchImage::FromStore(fromLibrary ? state_.LibraryData : session_.PatchesData, index);
    panes_.ShowDetails(ShowPatchDetails(session_.CurrentPatch));
    session_.DetailsEnabled = fromLibrary;
    panes_.EnableDetails(fromLibrary);

    QString text;
    if (fromLibrary) {
        if (index + 1 < state_.DescArray.size())
            text = state_.DescArray.at(index + 1);
    } else {
        text = PatchDescription(index);
    }
    panes_.SetDescriptionText(text);
    // Setting the box's text runs its change handling, as a typed change would; for an imported
    // patch that handling stores nothing.
    if (fromLibrary)
        DescriptionChanged(text);
}

QList<qsizetype> LibraryLists::Selection(ListId list) const {
    const bool library = list == ListId::Library;
    const QList<qsizetype>& many = library ? session_.LibSelected : session_.PatchesSelected;
    const qsizetype current = library ? session_.LibSelection : session_.PatchesSelection;
    const qsizetype count = ListCount(list);
    if (many.size() > 1 && many.first() >= 0 && many.last() < count && Contains(many, current))
        return many;
    if (current >= 0 && current < count)
        return {current};
    return {};
}

void LibraryLists::LibrarySelected(QList<qsizetype> positions, qsizetype current) {
    positions = Cleaned(std::move(positions), ListCount(ListId::Library));
    if (positions.size() <= 1)
        return LibraryClicked(positions.isEmpty() ? -1 : positions.first());
    doc_.EndTypingRun();
    session_.LibSelection = CurrentAmong(positions, current);
    session_.LibSelected = std::move(positions);
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryLists::PatchesSelected(QList<qsizetype> positions, qsizetype current) {
    positions = Cleaned(std::move(positions), ListCount(ListId::Patches));
    if (positions.size() <= 1)
        return PatchesClicked(positions.isEmpty() ? -1 : positions.first());
    doc_.EndTypingRun();
    session_.PatchesSelection = CurrentAmong(positions, current);
    session_.PatchesSelected = std::move(positions);
    session_.ActiveList = ActiveListPatches;
    SelectPatch(false);
}

void LibraryLists::SelectLibraryLines(const QList<qsizetype>& positions, qsizetype current) {
    if (positions.size() <= 1) {
        if (!positions.isEmpty())
            SelectLibraryLine(positions.first());
        return;
    }
    session_.LibSelection = current;
    session_.LibSelected = positions;
    panes_.SelectListLines(ListId::Library, positions, current);
    session_.ActiveList = ActiveListLibrary;
    SelectPatch(true);
}

void LibraryLists::ShowLibraryChange(const EntryChange& change, const QList<qsizetype>& positions,
                                     qsizetype current) {
    RefillLibList(-1, &change);
    SelectLibraryLines(positions, current);
}

void LibraryLists::SelectionHidden(ListId list) {
    doc_.EndTypingRun();
    const bool library = list == ListId::Library;
    (library ? session_.LibSelection : session_.PatchesSelection) = -1;
    (library ? session_.LibSelected : session_.PatchesSelected).clear();
    panes_.SelectListLine(list, -1);
    // The panel and the box showed that entry: typing must never go into a patch nobody sees.
    if (session_.ActiveList == (library ? ActiveListLibrary : ActiveListPatches))
        ShowNothingEditable();
}

// ---------------------------------------------------------------------------------------------
// The details panel and the description box

bool LibraryLists::PanelShowsLibraryEntry() const {
    return session_.DetailsEnabled && session_.PatchIndex >= 0 &&
           session_.PatchIndex < ListCount(ListId::Library);
}

void LibraryLists::ClearDescriptionBox() {
    session_.DescLock = true;
    panes_.SetDescriptionText(QString());
    session_.DescLock = false;
}

void LibraryLists::ShowNothingEditable() {
    session_.PatchIndex = -1;
    session_.DetailsEnabled = false;
    panes_.EnableDetails(false);
    panes_.ShowDetails(DetailValues{});
    ClearDescriptionBox();
}

void LibraryLists::ShowSelectionOrNothing() {
    if (session_.LibSelection < 0)
        ShowNothingEditable();
}

void LibraryLists::RefreshPanelIfShowing(qsizetype libIndex, bool withDescription) {
    if (!PanelShowsLibraryEntry() || session_.PatchIndex != libIndex)
        return;
    session_.CurrentPatch = PatchImage::FromStore(state_.LibraryData, libIndex);
    panes_.ShowDetails(ShowPatchDetails(session_.CurrentPatch));
    if (withDescription && libIndex + 1 < state_.DescArray.size()) {
        const QString text = state_.DescArray.at(libIndex + 1);
        panes_.SetDescriptionText(text);
        DescriptionChanged(text);
    }
}

void LibraryLists::DescriptionChanged(const QString& text) {
    if (session_.ActiveList != ActiveListLibrary || session_.DescLock)
        return;
    const qsizetype element = session_.PatchIndex + 1;
    // Only the element of the library entry the panel shows is written: never element 0 through an
    // index of -1, never an entry of the patches list, and the array never grows here.
    if (PanelShowsLibraryEntry() && element < state_.DescArray.size() &&
        state_.DescArray.at(element) != text) {
        doc_.SetDescription(session_.PatchIndex, text);
    }
    panes_.SetDescriptionCounter(QString::number(text.size()) + QStringLiteral("/255"));
}

void LibraryLists::RestorePanel(const PanelState& panel) {
    RefillLibList();
    const qsizetype count = ListCount(ListId::Library);
    if (panel.libSelection >= 0 && panel.libSelection < count) {
        session_.LibSelection = panel.libSelection;
        // Several lines are selected at once, without selecting the current one alone first.
        if (panel.libSelected.size() > 1 && panel.libSelected.last() < count) {
            session_.LibSelected = panel.libSelected;
            panes_.SelectListLines(ListId::Library, panel.libSelected, panel.libSelection);
        } else {
            panes_.SelectListLine(ListId::Library, panel.libSelection);
        }
    }
    session_.ActiveList = panel.activeList;
    if (panel.detailsEnabled && panel.patchIndex >= 0 && panel.patchIndex < count) {
        session_.PatchIndex = panel.patchIndex;
        session_.CurrentPatch = PatchImage::FromStore(state_.LibraryData, panel.patchIndex);
        panes_.ShowDetails(ShowPatchDetails(session_.CurrentPatch));
        session_.DetailsEnabled = true;
        panes_.EnableDetails(true);
        const QString text = state_.DescArray.value(panel.patchIndex + 1);
        panes_.SetDescriptionText(text);
        DescriptionChanged(text);
    } else if (session_.DetailsEnabled) {
        // The panel shows a library entry that the restored state did not show.
        ShowNothingEditable();
    }
    session_.PatchIndex = panel.patchIndex;
}

// ---------------------------------------------------------------------------------------------
// Patches of the patches list

QString LibraryLists::PatchDescription(qsizetype p) const {
    if (session_.PatchesDescFilePath.isEmpty())
        return {};
    // The file is still read when the description is needed: a side file changed since the last
    // read is read again.
    const QByteArray stamp = FileStamp(session_.PatchesDescFilePath);
    if (stamp.isEmpty())
        return {};
    if (patchesDesc_.path != session_.PatchesDescFilePath || patchesDesc_.stamp != stamp) {
        patchesDesc_.path = session_.PatchesDescFilePath;
        patchesDesc_.stamp = stamp;
        patchesDesc_.reader = DescriptionReader(session_.PatchesDescFilePath);
    }
    return patchesDesc_.reader.Description(p + 1);
}

QByteArray LibraryLists::PatchForLibrary(qsizetype p) const {
    return PatchImage::FromStore(session_.PatchesData, p).Bytes();
}

QByteArray LibraryLists::PatchImages(const QList<qsizetype>& patches, QStringList* descriptions) const {
    QByteArray images;
    images.reserve(patches.size() * PatchImageSize);
    for (const qsizetype p : patches) {
        images.append(PatchForLibrary(p));
        descriptions->append(PatchDescription(p));
    }
    return images;
}

bool LibraryLists::LibraryReadyForTransfer() {
    if (state_.LibraryLoaded)
        return true;
    shell_.ShowMessage(QStringLiteral("No library is loaded. Load a library or create a new one with "
                                      "\"Load (Library) \" first."),
                       MessageStyle::Plain);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Names

QString LibraryLists::LibLine(qsizetype k) const {
    return ListLine(ListId::Library, k).trimmed();
}

QString LibraryLists::PatchesName(qsizetype p) const {
    const QString line = ListLine(ListId::Patches, p);
    return line.mid(line.indexOf(QStringLiteral(":  ")) + 3).trimmed();
}

QString LibraryLists::EntryNumber(qsizetype k) const {
    const QString line = ListLine(ListId::Library, k);
    return line.left(line.indexOf(QLatin1Char(':')));
}

QString LibraryLists::Lines(const QList<qsizetype>& positions) const {
    return positions.size() == 1 ? LibLine(positions.first()) : Patches(positions.size());
}

QString LibraryLists::NamedLines(const QList<qsizetype>& positions) const {
    if (positions.size() == 1)
        return LibLine(positions.first());
    // A few are named, so that the user sees what went without opening the list.
    constexpr qsizetype Named = 3;
    QStringList names;
    for (qsizetype i = 0; i < std::min(Named, positions.size()); ++i)
        names.append(LibLine(positions.at(i)));
    QString text = Patches(positions.size()) + QStringLiteral(": ") + names.join(QStringLiteral(", "));
    if (positions.size() > Named)
        text += QStringLiteral(" and %1 more").arg(positions.size() - Named);
    return text;
}

} // namespace quillbox
