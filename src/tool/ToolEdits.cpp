#include "ToolEdits.h"

#include "LibraryDocument.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchImage.h"
#include "PatchList.h"
#include "PatchName.h"
#include "Tags.h"
#include "ToolPairs.h"
#include "ToolSupport.h"

#include <algorithm>
#include <memory>
#include <numeric>

namespace quillbox::tool {

namespace {

// The library at `path` as the window's library document, read with its side file; only a library
// is changed in place (`what`: "renamed", "sorted", "tagged").
std::unique_ptr<LibraryDocument> OpenDocument(const QString& path, const char* what, QTextStream& err) {
    if (!IsLibraryPath(path))
        FileProblem(path + QStringLiteral(": only a library (a name ending in \".pslib\") is ") +
                    QLatin1String(what) + QStringLiteral(" in place"));
    RecoverInterruptedSave(path, err);
    auto document =
        std::make_unique<LibraryDocument>([&err](const QString& text) { err << text << QLatin1Char('\n'); });
    const PairContent pair = ReadPair(path);
    document->Open(path, SideFilePath(path), pair.store, pair.descriptions);
    return document;
}

} // namespace

// Renames one entry of a library in place. Only the name bits change; the file is replaced safely
// and its earlier version kept, as a save from the window does; the side file is not touched.
int CommandRename(const QString& path, const QString& positionText, const QString& name, QTextStream& out,
                  QTextStream& err) {
    const auto document = OpenDocument(path, "renamed", err);
    const qsizetype position = PositionIn(positionText, document->Count(), path);
    const LibraryDocument::Renamed renamed = document->Rename(position - 1, name);
    if (!renamed.refusal.isEmpty())
        FileProblem(renamed.refusal);
    if (renamed.cutShort)
        FileProblem(path + QStringLiteral(": ") + NameCutShortRefusal(renamed.before));
    const QString versionProblem =
        LibraryPairFile(path).Save(EncodeLibrary(document->State().LibraryData), std::nullopt);
    out << path << QStringLiteral(": renamed ") << renamed.before << QStringLiteral(" to ") << renamed.after
        << QLatin1Char('\n');
    WarnIfNotKept(versionProblem, err);
    return ExitSuccess;
}

// Sorts a library by name in place, as "Library > Sort by Name" sorts every entry: the same library
// document does it, descriptions travel with their entries, and the file is saved as every library
// is (its earlier version kept).
int CommandSort(const QString& path, QTextStream& out, QTextStream& err) {
    const auto document = OpenDocument(path, "sorted", err);
    const qsizetype count = document->Count();
    QList<qsizetype> all(count);
    std::iota(all.begin(), all.end(), 0);
    if (document->SortByName(all).kind == EntryChange::Kind::None) {
        out << path << QStringLiteral(": ") << PatchCount(count)
            << (count == 1 ? QStringLiteral(" is") : QStringLiteral(" are"))
            << QStringLiteral(" already in order by name; nothing was written\n");
        return ExitSuccess;
    }
    const LibraryState& state = document->State();
    WriteOut(path, state.LibraryData, state.DescArray, QStringLiteral(", sorted by name"), out, err);
    WarnIfShort(path, state.LibraryData, err);
    return ExitSuccess;
}

// Adds (+TAG) and removes (-TAG) tags in the descriptions of the entries at the positions, as
// "Library > Tags…" does: all or nothing.
int CommandTag(const QString& path, const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList positionTexts, add, remove;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1Char('+')) || argument.startsWith(QLatin1Char('-'))) {
            const QString tag = QLatin1Char('#') + argument.mid(1);
            if (!IsTag(tag))
                UsageError(QStringLiteral("not a tag: ") + argument +
                           QStringLiteral(" (a tag is + or - followed by letters, digits, - or _)"));
            (argument.startsWith(QLatin1Char('+')) ? add : remove).append(tag);
        } else {
            positionTexts.append(argument);
        }
    }
    if (positionTexts.isEmpty() || (add.isEmpty() && remove.isEmpty()))
        UsageError(QStringLiteral("usage: ") + ProgramName + QStringLiteral(" tag FILE POSITION... (+TAG|-TAG)..."));
    const auto document = OpenDocument(path, "tagged", err);
    QList<qsizetype> positions;
    for (const QString& text : positionTexts)
        positions.append(PositionIn(text, document->Count(), path) - 1);
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    const LibraryDocument::TagResult result = document->Tag(positions, add, remove);
    if (!result.tooLong.isEmpty()) {
        QStringList lines;
        for (const qsizetype k : result.tooLong)
            lines.append(PatchListLine(document->State().LibraryData, k));
        FileProblem(path + QStringLiteral(": the tags do not fit within %1 characters in the description of ")
                               .arg(LibraryDocument::DescriptionLimit) +
                    lines.join(QStringLiteral(", ")) + QStringLiteral("; nothing was written"));
    }
    if (result.changed == 0) {
        out << path << QStringLiteral(": no description changed; nothing was written\n");
        return ExitSuccess;
    }
    const LibraryState& state = document->State();
    WriteOut(path, state.LibraryData, state.DescArray,
             QStringLiteral(", tags changed in %1").arg(PatchCount(result.changed)), out, err);
    return ExitSuccess;
}

} // namespace quillbox::tool
