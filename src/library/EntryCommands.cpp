// The commands on the selected library entries and the drops. Each takes the selected lines as a
// set, one step of the history whatever their number; one selected line is a set of one and changes
// the library exactly as the single-entry command always has.
#include "EntryCommands.h"

#include "PatchList.h"
#include "PatchName.h"
#include "Tags.h"

#include <QLocale>
#include <algorithm>
#include <chrono>
#include <random>

namespace quillbox {

namespace {

const QString NoLibrarySelection = QStringLiteral(": no library patch is selected");

constexpr qsizetype RandomBytes = 11; // bytes 1 to 11 are drawn; 12 to 18 are kept

} // namespace

EntryCommands::EntryCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps,
                             DetailsCommands& details, PanesView& panes, ShellView& shell)
    : CommandBase(doc, lists, steps), details_(details), panes_(panes), shell_(shell) {}

// ---------------------------------------------------------------------------------------------
// The Library menu

void EntryCommands::MoveUp() {
    MoveSelectionBy(-1);
}

void EntryCommands::MoveDown() {
    MoveSelectionBy(+1);
}

void EntryCommands::MoveSelectionBy(int direction) {
    const QList<qsizetype> selected = lists_.Selection(ListId::Library);
    const qsizetype count = lists_.ListCount(ListId::Library);
    const qsizetype current = session_.LibSelection;
    const bool up = direction < 0;
    const bool one = selected.size() <= 1;
    // One line names itself and where it went; several are counted.
    const QString what = one ? lists_.LibLine(current) : Patches(selected.size());
    const QString way = up ? QStringLiteral(" up") : QStringLiteral(" down");
    steps_.AsStep([&] {
        const EntryChange change = doc_.MoveBy(selected, direction);
        if (change.kind == EntryChange::Kind::None) {
            if (selected.isEmpty())
                return StepOutcome{{}, {}, QStringLiteral("Nothing moved") + NoLibrarySelection};
            // The selection moves as a whole and keeps its shape: at an end it stops.
            const QString end = one ? what : lists_.LibLine(up ? 0 : count - 1);
            return StepOutcome{
                {},
                {},
                QStringLiteral("Nothing moved: ") + end +
                    (up ? QStringLiteral(" is the first patch") : QStringLiteral(" is the last patch"))};
        }
        doc_.MarkChanged();
        QList<qsizetype> moved = selected;
        for (qsizetype& k : moved)
            k += direction;
        lists_.ShowLibraryChange(change, moved, current + direction);
        const QString step = (up ? QStringLiteral("Move up ") : QStringLiteral("Move down ")) + what;
        if (one)
            return StepOutcome{step,
                               QStringLiteral("Moved ") + what + way + QStringLiteral(" to ") +
                                   lists_.EntryNumber(current + direction),
                               {}};
        return StepOutcome{step, QStringLiteral("Moved ") + what + way, {}};
    });
}

void EntryCommands::ClonePatch() {
    const QList<qsizetype> selected = lists_.Selection(ListId::Library);
    const qsizetype current = session_.LibSelection;
    const QString what = selected.size() <= 1 ? lists_.LibLine(current) : Patches(selected.size());
    steps_.AsStep([&] {
        const EntryChange change = doc_.Clone(selected);
        if (change.kind == EntryChange::Kind::None)
            return StepOutcome{{}, {}, QStringLiteral("Nothing cloned") + NoLibrarySelection};
        doc_.MarkChanged();
        // The clones are selected, the current entry's clone shown.
        const QList<qsizetype>& clones = change.positions;
        const qsizetype shown = clones.at(LibraryLists::IndexIn(selected, current));
        lists_.ShowLibraryChange(change, clones, shown);
        if (selected.size() == 1)
            return StepOutcome{QStringLiteral("Clone ") + what,
                               QStringLiteral("Cloned ") + what + QStringLiteral(" as ") +
                                   lists_.EntryNumber(shown),
                               {}};
        return StepOutcome{QStringLiteral("Clone ") + what, QStringLiteral("Cloned ") + what, {}};
    });
}

void EntryCommands::DeleteSelected() {
    const QList<qsizetype> selected = lists_.Selection(ListId::Library);
    const QString step =
        selected.size() <= 1 ? lists_.LibLine(session_.LibSelection) : Patches(selected.size());
    const QString named = lists_.NamedLines(selected);
    steps_.AsStep([&] {
        const EntryChange change = doc_.Remove(selected);
        // The entry that moved into the first deleted one's place is selected, else the new last one;
        // with nothing selected, the first line is.
        const qsizetype kept = selected.isEmpty() ? 0 : selected.first();
        const qsizetype left = lists_.ListCount(ListId::Library);
        const qsizetype select = left > kept ? kept : left - 1;
        if (change.kind == EntryChange::Kind::None)
            lists_.RefillLibList(select);
        else
            lists_.ShowLibraryChange(change, select < 0 ? QList<qsizetype>() : QList<qsizetype>{select},
                                     select);
        // The selected entry's description is already in the box (the selection showed it); with no
        // entry left to show, the panel and the box hold nothing editable.
        lists_.ShowSelectionOrNothing();
        doc_.MarkChanged();
        return StepOutcome{QStringLiteral("Delete ") + step, QStringLiteral("Deleted ") + named,
                           QStringLiteral("Nothing deleted") + NoLibrarySelection};
    });
}

void EntryCommands::DeleteAll() {
    const qsizetype count = lists_.ListCount(ListId::Library);
    steps_.AsStep([&] {
        doc_.ClearEntries();
        lists_.RefillLibList();
        doc_.ModifyDescArray(0, DescClear);
        lists_.ShowNothingEditable();
        return StepOutcome{QStringLiteral("Delete ALL Patches"),
                           QStringLiteral("Deleted all ") + Patches(count),
                           QStringLiteral("Nothing deleted: the library is empty")};
    });
}

void EntryCommands::SortByName() {
    QList<qsizetype> selected = lists_.Selection(ListId::Library);
    const qsizetype current = session_.LibSelection;
    const bool all = selected.size() <= 1;
    if (all)
        selected = LibraryLists::Run(0, lists_.ListCount(ListId::Library));
    const QString what = Patches(selected.size());
    steps_.AsStep([&] {
        const EntryChange change = doc_.SortByName(selected);
        if (change.kind == EntryChange::Kind::None)
            return StepOutcome{{},
                               {},
                               QStringLiteral("Nothing sorted: ") + what +
                                   QStringLiteral(" are already in order by name")};
        doc_.MarkChanged();
        if (all) {
            // The entry the user had selected stays selected at its new place.
            const QList<qsizetype>* order = doc_.StepOrder();
            qsizetype went = -1;
            if (order && current >= 0)
                went = std::find(order->begin(), order->end(), current) - order->begin();
            lists_.ShowLibraryChange(change, went >= 0 ? QList<qsizetype>{went} : QList<qsizetype>(), went);
        } else {
            lists_.ShowLibraryChange(change, selected, current);
        }
        return StepOutcome{QStringLiteral("Sort by Name"),
                           QStringLiteral("Sorted ") + what + QStringLiteral(" by name"),
                           {}};
    });
}

// ---------------------------------------------------------------------------------------------
// "Random Modification": random variations of the selected library entries

QString EntryCommands::RandomDescription() const {
    const QDateTime now = clock_ ? clock_() : QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    return QStringLiteral("Random Sound ") + locale.toString(now.date(), QLocale::ShortFormat) +
           QStringLiteral(" ") + locale.toString(now.time(), QLocale::ShortFormat);
}

QByteArray EntryCommands::RandomImage(qsizetype k) {
    QByteArray image;
    image.reserve(PatchImageSize);
    if (random_) {
        for (qsizetype i = 0; i < RandomBytes; ++i)
            image.append(char(random_() % 255)); // the value 255 never occurs
    } else {
        // Seeded anew on every run, from the clock and the system's random device.
        std::random_device device;
        const auto ticks = quint64(std::chrono::high_resolution_clock::now().time_since_epoch().count());
        std::seed_seq seed{quint32(ticks), quint32(ticks >> 32), device(), device()};
        std::mt19937 generator(seed);
        std::uniform_int_distribution<int> byte(0, 254);
        for (qsizetype i = 0; i < RandomBytes; ++i)
            image.append(char(byte(generator)));
    }
    image.append(doc_.Entry(k).sliced(RandomBytes));
    return image;
}

void EntryCommands::RandomModification() {
    const QList<qsizetype> selected = lists_.Selection(ListId::Library);
    const qsizetype current = session_.LibSelection;
    // One entry keeps the single-entry command's ways: its description goes through the description
    // array's "set selected", and the step itself marks the library changed.
    const bool one = selected.size() <= 1;
    const QString what = one ? lists_.LibLine(current) : Patches(selected.size());
    steps_.AsStep([&] {
        if (selected.isEmpty())
            return StepOutcome{{}, {}, QStringLiteral("Nothing changed") + NoLibrarySelection};
        const QString text = RandomDescription();
        for (const qsizetype k : selected) {
            if (one)
                doc_.ModifyDescArray(qint32(k), DescSetSelected, text);
            doc_.SetEntry(k, RandomImage(k));
            if (!one && k + 1 < state_.DescArray.size())
                doc_.SetDescription(k, text);
        }
        if (!one)
            doc_.MarkChanged();
        lists_.RefillLibList();
        lists_.SelectLibraryLines(selected, current);
        panes_.SetNameText(QStringLiteral("RND") + QString::number(current + 1));
        details_.NameKeyReleased(32, 0);
        return StepOutcome{QStringLiteral("Random Modification of ") + what,
                           (one ? QStringLiteral("Made a random variation of ")
                                : QStringLiteral("Made random variations of ")) +
                               what,
                           one ? QStringLiteral("Nothing changed") + NoLibrarySelection : QString()};
    });
}

// ---------------------------------------------------------------------------------------------
// Names and tags

bool EntryCommands::RenameEntry(qsizetype index, const QString& name) {
    if (index < 0 || index >= lists_.ListCount(ListId::Library))
        return false;
    const QString before = lists_.LibLine(index);
    QString refusal;
    steps_.AsStep([&] {
        const LibraryDocument::Renamed renamed = doc_.Rename(index, name);
        refusal = renamed.cutShort ? NameCutShortRefusal(before) : renamed.refusal;
        const QString newName = renamed.newName.trimmed();
        const QString named =
            before + QStringLiteral(" to ") + (newName.isEmpty() ? QStringLiteral("a blank name") : newName);
        if (renamed.changed) {
            panes_.ListLineChanged(ListId::Library, index);
            lists_.RefreshPanelIfShowing(index, false);
        }
        return StepOutcome{QStringLiteral("Rename ") + named, QStringLiteral("Renamed ") + named,
                           refusal.isEmpty() ? QStringLiteral("Nothing renamed: ") + before +
                                                   QStringLiteral(" has that name")
                                             : refusal};
    });
    return refusal.isEmpty();
}

bool EntryCommands::TagSelected(const QString& tag, bool add) {
    doc_.EndTypingRun();
    if (!IsTag(tag)) {
        shell_.ShowMessage(
            QStringLiteral("\"") + tag +
                QStringLiteral("\" is not a tag: a tag is # followed by letters, digits, - or _"),
            MessageStyle::Plain);
        return false;
    }
    const QList<qsizetype> selected = lists_.Selection(ListId::Library);
    const QString what = Patches(selected.size());
    bool applied = false;
    steps_.AsStep([&] {
        if (selected.isEmpty())
            return StepOutcome{{}, {}, QStringLiteral("Nothing tagged: no library patch is selected")};
        const LibraryDocument::TagResult result =
            add ? doc_.Tag(selected, {tag}, {}) : doc_.Tag(selected, {}, {tag});
        if (!result.tooLong.isEmpty()) {
            shell_.ShowMessage(tag +
                                   QStringLiteral(" does not fit within %1 characters in the description of ")
                                       .arg(LibraryDocument::DescriptionLimit) +
                                   lists_.NamedLines(result.tooLong) +
                                   QStringLiteral("; nothing was changed"),
                               MessageStyle::Plain);
            return StepOutcome{};
        }
        applied = true;
        // The box shows the description as it now stands.
        if (selected.contains(session_.PatchIndex))
            lists_.RefreshPanelIfShowing(session_.PatchIndex, true);
        const QString step = (add ? QStringLiteral("Add ") : QStringLiteral("Remove ")) + tag;
        return StepOutcome{
            step + (add ? QStringLiteral(" to ") : QStringLiteral(" from ")) + what,
            add ? QStringLiteral("Added ") + tag + QStringLiteral(" to ") + Patches(result.changed)
                : QStringLiteral("Removed ") + tag + QStringLiteral(" from ") + Patches(result.changed),
            QStringLiteral("Nothing changed: ") +
                (selected.size() == 1 ? lists_.LibLine(selected.first())
                                      : QStringLiteral("every selected patch")) +
                (add ? QStringLiteral(" already has ") : QStringLiteral(" has no ")) + tag};
    });
    return applied;
}

// ---------------------------------------------------------------------------------------------
// Drops and copies of several patches

void EntryCommands::MoveEntriesTo(QList<qsizetype> positions, qsizetype before) {
    const qsizetype count = lists_.ListCount(ListId::Library);
    positions = LibraryLists::Cleaned(std::move(positions), count);
    if (positions.isEmpty())
        return;
    before = std::clamp<qsizetype>(before, 0, count);
    const qsizetype current = LibraryLists::CurrentAmong(positions, session_.LibSelection);
    const QString what = lists_.Lines(positions);
    // Where the moved entries begin: after the unmoved entries before the drop line.
    const qsizetype first = before - LibraryLists::IndexIn(positions, before);
    steps_.AsStep([&] {
        const EntryChange change = doc_.MoveTo(positions, before);
        const QList<qsizetype> moved = LibraryLists::Run(first, positions.size());
        const qsizetype shown = first + LibraryLists::IndexIn(positions, current);
        if (change.kind != EntryChange::Kind::None) {
            doc_.MarkChanged();
            lists_.ShowLibraryChange(change, moved, shown);
        } else {
            lists_.SelectLibraryLines(moved, shown);
        }
        return StepOutcome{QStringLiteral("Move ") + what,
                           QStringLiteral("Moved ") + what + QStringLiteral(" to ") +
                               lists_.EntryNumber(first),
                           QStringLiteral("Nothing moved: ") + what +
                               (positions.size() == 1 ? QStringLiteral(" is already there")
                                                      : QStringLiteral(" are already there"))};
    });
}

void EntryCommands::CopyPatchesTo(QList<qsizetype> positions, qsizetype before) {
    positions = LibraryLists::Cleaned(std::move(positions), lists_.ListCount(ListId::Patches));
    if (positions.isEmpty())
        return;
    before = std::clamp<qsizetype>(before, 0, lists_.ListCount(ListId::Library));
    const qsizetype current = LibraryLists::CurrentAmong(positions, session_.PatchesSelection);
    steps_.AsStep([&] {
        if (!lists_.LibraryReadyForTransfer())
            return StepOutcome{};
        QStringList descriptions;
        const EntryChange change =
            doc_.Insert(before, lists_.PatchImages(positions, &descriptions), descriptions);
        doc_.MarkChanged();
        // The copies are selected, the copy of the patch last clicked shown.
        lists_.ShowLibraryChange(change, LibraryLists::Run(before, positions.size()),
                                 before + LibraryLists::IndexIn(positions, current));
        const qsizetype last = before + positions.size() - 1;
        if (positions.size() == 1)
            return StepOutcome{QStringLiteral("Copy ") + lists_.LibLine(before),
                               QStringLiteral("Copied ") + lists_.PatchesName(positions.first()) +
                                   QStringLiteral(" into the library as ") + lists_.EntryNumber(before),
                               {}};
        return StepOutcome{
            QStringLiteral("Copy ") + Patches(positions.size()),
            QStringLiteral("Copied %1 into the library as %2 to %3")
                .arg(Patches(positions.size()), lists_.EntryNumber(before), lists_.EntryNumber(last)),
            {}};
    });
}

void EntryCommands::CopyImagesIntoLibrary(const QByteArray& images, const QStringList& descriptions,
                                          qsizetype before) {
    const qsizetype count = images.size() / PatchImageSize;
    if (count == 0)
        return;
    const QByteArray whole = images.left(count * PatchImageSize);
    QStringList texts = descriptions.mid(0, count);
    while (texts.size() < count)
        texts.append(QString());
    const qsizetype k = session_.LibSelection;
    const qsizetype entries = lists_.ListCount(ListId::Library);
    const qsizetype at = before >= 0 ? std::min(before, entries) : k >= 0 && k < entries ? k + 1 : entries;
    steps_.AsStep([&] {
        if (!lists_.LibraryReadyForTransfer())
            return StepOutcome{};
        const EntryChange change = doc_.Insert(at, whole, texts);
        doc_.MarkChanged();
        lists_.ShowLibraryChange(change, LibraryLists::Run(at, count), at);
        if (count == 1) {
            const QString line = lists_.ListLine(ListId::Library, at);
            const QString name = line.mid(line.indexOf(QStringLiteral(":  ")) + 3).trimmed();
            return StepOutcome{QStringLiteral("Copy ") + lists_.LibLine(at),
                               QStringLiteral("Copied ") + name + QStringLiteral(" into the library as ") +
                                   lists_.EntryNumber(at),
                               {}};
        }
        return StepOutcome{
            QStringLiteral("Copy ") + Patches(count),
            QStringLiteral("Copied %1 into the library as %2 to %3")
                .arg(Patches(count), lists_.EntryNumber(at), lists_.EntryNumber(at + count - 1)),
            {}};
    });
}

} // namespace quillbox
