#include "ToolEdits.h"

#include "LibraryDocument.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchImage.h"
#include "PatchList.h"
#include "PatchName.h"
#include "ToolPairs.h"
#include "ToolSupport.h"

#include <numeric>

namespace quillbox::tool {

// Renames one entry of a library in place. Only the name bits change; the file is replaced safely
// and its earlier version kept, as a save from the window does; the side file is not touched.
int CommandRename(const QString& path, const QString& positionText, const QString& name, QTextStream& out,
                  QTextStream& err) {
    if (!IsLibraryPath(path))
        FileProblem(path +
                    QStringLiteral(": only a library (a name ending in \".pslib\") is renamed in place"));
    const PatchNameCodes codes = EncodePatchName(name);
    if (!codes.ok())
        FileProblem(PatchNameRefusal(name, codes));
    RecoverInterruptedSave(path, err);
    QByteArray store = ReadPatchStore(path);
    const qsizetype position = PositionIn(positionText, EntryCount(store), path);
    const QString before = PatchListLine(store, position - 1);
    const qsizetype start = (position - 1) * PatchImageSize;
    if (store.size() - start < NameFieldEnd)
        FileProblem(path + QStringLiteral(": ") + NameCutShortRefusal(before));
    QByteArray image = PatchImage::FromStore(store, position - 1).Bytes();
    const qsizetype length = EntryLength(store.size(), position - 1);
    WritePatchName(image, codes.codes);
    // A last entry cut short after its name keeps its length: only bytes it holds are written back.
    store.replace(start, length, image.left(length));
    const QByteArray content = EncodeLibrary(store);
    const QString versionProblem = LibraryPairFile(path).Save(content, std::nullopt);
    out << path << QStringLiteral(": renamed ") << before << QStringLiteral(" to ")
        << PatchListLine(store, position - 1) << QLatin1Char('\n');
    WarnIfNotKept(versionProblem, err);
    return ExitSuccess;
}

// Sorts a library by name in place, as "Library > Sort by Name" sorts every entry: the same library
// document does it, descriptions travel with their entries, and the file is saved as every library
// is (its earlier version kept).
int CommandSort(const QString& path, QTextStream& out, QTextStream& err) {
    if (!IsLibraryPath(path))
        FileProblem(path +
                    QStringLiteral(": only a library (a name ending in \".pslib\") is sorted in place"));
    RecoverInterruptedSave(path, err);
    LibraryDocument document([&err](const QString& text) { err << text << QLatin1Char('\n'); });
    LibraryState& state = document.State();
    state.LibraryData = ReadPatchStore(path);
    const qsizetype count = document.Count();
    const DescriptionReader reader = ReadDescriptions(path);
    state.DescArray = QStringList(count + 1);
    for (qsizetype i = 1; i <= count; ++i)
        state.DescArray[i] = reader.Description(i);
    QList<qsizetype> all(count);
    std::iota(all.begin(), all.end(), 0);
    if (document.SortByName(all).kind == EntryChange::Kind::None) {
        out << path << QStringLiteral(": ") << PatchCount(count)
            << (count == 1 ? QStringLiteral(" is") : QStringLiteral(" are"))
            << QStringLiteral(" already in order by name; nothing was written\n");
        return ExitSuccess;
    }
    WriteOut(path, state.LibraryData, state.DescArray, QStringLiteral(", sorted by name"), out, err);
    WarnIfShort(path, state.LibraryData, err);
    return ExitSuccess;
}

} // namespace quillbox::tool
