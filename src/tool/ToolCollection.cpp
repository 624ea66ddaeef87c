#include "ToolCollection.h"

#include "CollectionIndex.h"
#include "CollectionSettings.h"
#include "FileIdentity.h"
#include "LibraryFile.h"
#include "QuotedPath.h"
#include "ToolSupport.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <memory>

namespace quillbox::tool {

namespace {

// The collection's folders: those given with --in, else those chosen in the window. A folder named
// on the command line that is not there is a mistake to report, not an empty collection.
QStringList CollectionFolders(const QStringList& given) {
    for (const QString& folder : given) {
        const QFileInfo info(folder);
        if (!info.exists())
            throw ToolError{ExitDiffTrouble, folder + QStringLiteral(": no such folder")};
        if (!info.isDir())
            throw ToolError{ExitDiffTrouble, folder + QStringLiteral(": not a folder")};
    }
    if (!given.isEmpty())
        return given;
    const QStringList chosen = ReadCollectionFolders();
    if (chosen.isEmpty())
        throw ToolError{ExitDiffTrouble,
                        QStringLiteral("no folders are chosen for the collection; name them with --in DIR")};
    return chosen;
}

// The collection's cache brought up to date with `folders`. A cache started anew is said on the
// error output, as are the files passed over (each by `collection scan`, by count otherwise).
std::unique_ptr<CollectionIndex> RefreshCollection(const QStringList& folders, bool listSkipped,
                                                   ScanResult& result, QTextStream& err) {
    auto index = std::make_unique<CollectionIndex>();
    QString status, error;
    if (!index->Open(&status, &error))
        throw ToolError{ExitDiffTrouble, error};
    if (!status.isEmpty())
        err << ProgramName << QStringLiteral(": ") << status << QLatin1Char('\n');
    result = index->Scan(folders);
    if (listSkipped)
        for (const SkippedFile& skipped : result.skipped)
            err << ProgramName << QStringLiteral(": skipped ")
                << (skipped.nativePath.isEmpty() ? QuotePath(skipped.path)
                                                 : QString::fromUtf8(QuotePathBytes(skipped.nativePath)))
                << QStringLiteral(": ") << skipped.reason << QLatin1Char('\n');
    else if (!result.skipped.empty())
        err << ProgramName << QStringLiteral(": ")
            << Plural(qsizetype(result.skipped.size()), "file", "files")
            << QStringLiteral(" skipped (`collection scan` names them)\n");
    return index;
}

QString FirstLine(const QString& text) {
    return text.section(QRegularExpression(QStringLiteral("[\r\n]")), 0, 0);
}

QString PlaceText(const Place& place, const Records& records) {
    return records.Path(place.path) + QLatin1Char(':') + QString::number(place.position + 1);
}

} // namespace

int CommandCollectionScan(const QStringList& folders, QTextStream& out, QTextStream& err) {
    return WithTroubleAsTwo([&] {
        ScanResult result;
        RefreshCollection(CollectionFolders(folders), true, result, err)->CountPatches(result);
        out << QStringLiteral("files: ") << result.files << QStringLiteral(" (") << result.versions
            << QStringLiteral(" earlier versions)\npatches: ") << result.patches
            << QStringLiteral("\ndistinct patches: ") << result.distinct << QStringLiteral("\nskipped: ")
            << result.skipped.size() << QLatin1Char('\n');
        return int(ExitSuccess);
    });
}

// Exit 0 when a place holds every word, 1 when none does, 2 on trouble.
int CommandCollectionFind(const QStringList& folders, bool withVersions, const QStringList& words,
                          const Records& records, QTextStream& out, QTextStream& err) {
    return WithTroubleAsTwo([&] {
        ScanResult result;
        const auto index = RefreshCollection(CollectionFolders(folders), false, result, err);
        const std::vector<Place> places = index->Find(words.join(QLatin1Char(' ')), withVersions);
        for (const Place& place : places)
            out << PlaceText(place, records) << QLatin1Char('\t') << records.Path(place.name)
                << QLatin1Char('\t') << EscapeDescription(FirstLine(place.description)) << records.End();
        return places.empty() ? ExitDiffers : ExitSuccess;
    });
}

// Every other place of the collection holding the patch at FILE:POS (identical), its sound under
// another name (same-sound) or its name with another sound (same-name). Exit 0 when there is one,
// 1 when none, 2 on trouble.
int CommandWhere(const QString& argument, const QStringList& folders, const Records& records,
                 QTextStream& out, QTextStream& err) {
    return WithTroubleAsTwo([&] {
        const auto [path, positionText] = FileAndPosition(argument);
        const QStringList chosen = CollectionFolders(folders);
        ScannedFile file =
            ScannedFile::Open(path, IsLibraryPath(path) ? PlaceKind::Library : PlaceKind::PatchFile);
        if (!file.refusal.isEmpty())
            throw ToolError{ExitDiffTrouble, path + QStringLiteral(": ") + file.refusal};
        const qsizetype position = PositionIn(positionText, file.Count(), path) - 1;
        const std::vector<QByteArray> patch = file.Patches(position, 1);
        if (patch.empty())
            throw ToolError{ExitDiffTrouble, path + QStringLiteral(": ") + file.refusal};
        ScanResult result;
        const auto index = RefreshCollection(chosen, false, result, err);
        qsizetype shown = 0;
        for (const RelatedPlace& related : index->WhereUsed(patch.front())) {
            if (related.relation == Relation::Identical && related.place.position == position &&
                SameFile(related.place.path, path))
                continue;
            out << RelationText(related.relation) << QLatin1Char('\t') << PlaceText(related.place, records)
                << QLatin1Char('\t') << records.Path(related.place.name) << records.End();
            ++shown;
        }
        return shown > 0 ? ExitSuccess : ExitDiffers;
    });
}

} // namespace quillbox::tool
