// The document's record of steps, its files and the edits of single entries and descriptions.
#include "DescriptionFile.h"
#include "FileAccess.h"
#include "LibraryDocument.h"
#include "PatchList.h"
#include "PatchName.h"
#include "Tags.h"

#include <exception>

namespace quillbox {

// ---------------------------------------------------------------------------------------------
// Steps

PanelState LibraryDocument::Panel() const {
    const bool several = state_.LibSelected.size() > 1 && state_.LibSelected.first() >= 0 &&
                         state_.LibSelected.last() < Count() &&
                         state_.LibSelected.contains(state_.LibSelection);
    return {state_.LibSelection, state_.PatchIndex, state_.ActiveList, state_.DetailsEnabled,
            several ? state_.LibSelected : QList<qsizetype>()};
}

LibrarySnapshot LibraryDocument::Snapshot() const {
    return {state_.LibraryData, state_.DescArray, Panel()};
}

void LibraryDocument::StartStep() {
    stepOrder_.clear();
    stepRearranges_ = 0;
}

bool LibraryDocument::RecordStep(const std::function<QString()>& change, qsizetype typingEntry) {
    if (stepDepth_ > 0) {
        change(); // part of the step that runs
        return false;
    }
    if (typingEntry < 0)
        history_.EndTypingRun();
    const LibrarySnapshot before = Snapshot();
    StartStep();
    QString name;
    ++stepDepth_;
    try {
        name = change();
    } catch (...) {
        --stepDepth_;
        // What changed before the failure can still be taken back.
        history_.Record(QStringLiteral("Unfinished change"), before, Snapshot());
        StartStep();
        throw;
    }
    --stepDepth_;
    const bool recorded = stepRearranges_ == 1
                              ? history_.RecordRearranged(name, before, Snapshot(), stepOrder_)
                              : history_.Record(name, before, Snapshot(), typingEntry);
    StartStep();
    return recorded;
}

void LibraryDocument::Changing(const QString& name, const std::function<void()>& change) {
    if (stepDepth_ > 0)
        return change();
    RecordStep([&] {
        change();
        return name;
    });
}

PanelState LibraryDocument::Undo() {
    history_.EndTypingRun();
    const PanelState panel = history_.Undo(state_.LibraryData, state_.DescArray);
    state_.LibChanged = !history_.AtSavedPoint();
    return panel;
}

PanelState LibraryDocument::Redo() {
    history_.EndTypingRun();
    const PanelState panel = history_.Redo(state_.LibraryData, state_.DescArray);
    state_.LibChanged = !history_.AtSavedPoint();
    return panel;
}

// ---------------------------------------------------------------------------------------------
// Files

void LibraryDocument::Open(const QString& libPath, const QString& descPath, const QByteArray& store,
                           const QStringList& descriptions) {
    // A loaded library starts a history of its own, from the state on disk. The history goes first,
    // so that the old descriptions are then often this list's alone, and freed at once.
    history_.Clear();
    QStringList incoming = descriptions; // shared, not copied: `descriptions` may be the old list
    ReleaseDescArray(state_.DescArray);
    state_.LibraryData = store;
    state_.DescArray = std::move(incoming);
    Saved(libPath, descPath);
}

void LibraryDocument::Saved(const QString& libPath, const QString& descPath) {
    // Copies first: the paths may be the record's own.
    const QString lib = libPath, desc = descPath;
    state_.LibFileName = GetFileName(lib);
    state_.LibFilePath = lib;
    state_.DescFilePath = desc;
    state_.LibraryLoaded = true;
    state_.LibChanged = false;
    history_.MarkSaved();
}

void LibraryDocument::Replace(const QByteArray& store, const QStringList& descriptions) {
    Changing(QStringLiteral("Replace the library"), [&] {
        state_.LibChanged =
            state_.LibChanged || state_.LibraryData != store || state_.DescArray != descriptions;
        state_.LibraryData = store;
        state_.DescArray = descriptions;
    });
}

void LibraryDocument::Restart() {
    state_.LibChanged = false;
    history_.Clear();
}

void LibraryDocument::MarkChanged() {
    state_.LibChanged = true;
}

// ---------------------------------------------------------------------------------------------
// Single entries

void LibraryDocument::SetEntry(qsizetype k, const QByteArray& image) {
    Changing(QStringLiteral("Change ") + PatchListLine(state_.LibraryData, k), [&] {
        state_.LibraryData.replace(std::min(k * PatchImageSize, state_.LibraryData.size()),
                                   EntryLength(state_.LibraryData.size(), k), image);
        state_.LibChanged = true;
    });
}

void LibraryDocument::SetDescription(qsizetype k, const QString& text) {
    Changing(QStringLiteral("Describe ") + PatchListLine(state_.LibraryData, k), [&] {
        state_.DescArray[k + 1] = text;
        state_.LibChanged = true;
    });
}

void LibraryDocument::InsertImage(qsizetype before, const QByteArray& image) {
    Changing(QStringLiteral("Insert a patch"), [&] {
        state_.LibraryData.insert(std::min(state_.LibraryData.size(), before * PatchImageSize), image);
        state_.LibChanged = true;
    });
}

void LibraryDocument::Reserve(qsizetype entries) {
    state_.LibraryData.reserve(state_.LibraryData.size() + entries * PatchImageSize);
    state_.DescArray.reserve(state_.DescArray.size() + entries + 1);
}

void LibraryDocument::ClearEntries() {
    Changing(QStringLiteral("Delete ALL Patches"), [&] {
        state_.LibraryData.clear();
        state_.LibChanged = true;
    });
}

LibraryDocument::Renamed LibraryDocument::Rename(qsizetype k, const QString& name) {
    Renamed result;
    result.before = result.after = PatchListLine(state_.LibraryData, k);
    const PatchNameCodes codes = EncodePatchName(name);
    if (!codes.ok()) {
        result.refusal = PatchNameRefusal(name, codes);
        return result;
    }
    if (state_.LibraryData.size() - k * PatchImageSize < NameFieldEnd) {
        result.cutShort = true;
        return result;
    }
    QByteArray image = Entry(k);
    WritePatchName(image, codes.codes);
    result.newName = StringToPatchName(QByteArrayView(image).sliced(11, 6)).name;
    const QByteArrayView entry = EntryView(state_.LibraryData, k);
    if (entry == QByteArrayView(image).first(entry.size()))
        return result;
    Changing(QStringLiteral("Rename ") + result.before, [&] {
        state_.LibraryData.replace(k * PatchImageSize, entry.size(), image.left(entry.size()));
        state_.LibChanged = true;
    });
    result.changed = true;
    result.after = PatchListLine(state_.LibraryData, k);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Tags

LibraryDocument::TagResult LibraryDocument::Tag(const QList<qsizetype>& positions, const QStringList& add,
                                                const QStringList& remove) {
    TagResult result;
    QStringList changed;
    changed.reserve(positions.size());
    for (const qsizetype k : positions) {
        QString text = Description(k);
        for (const QString& tag : remove)
            text = WithoutTag(text, tag);
        for (const QString& tag : add)
            text = WithTag(text, tag);
        if (text.size() > DescriptionLimit)
            result.tooLong.append(k);
        changed.append(text);
    }
    if (!result.tooLong.isEmpty())
        return result;
    Changing(QStringLiteral("Tags of ") + QString::number(positions.size()) + QStringLiteral(" patches"), [&] {
        if (state_.DescArray.size() < Count() + 1)
            state_.DescArray.resize(Count() + 1);
        for (qsizetype i = 0; i < positions.size(); ++i) {
            const qsizetype k = positions.at(i);
            if (state_.DescArray.at(k + 1) == changed.at(i))
                continue;
            state_.DescArray[k + 1] = changed.at(i);
            ++result.changed;
        }
        if (result.changed > 0)
            state_.LibChanged = true;
    });
    return result;
}

} // namespace quillbox
