#include "ToolFiles.h"

#include "EarlierVersions.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchImage.h"
#include "ToolPairs.h"
#include "ToolSupport.h"

#include <optional>

namespace quillbox::tool {

namespace {

QString TimeText(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

int CommandConvert(const QString& inPath, const QString& outPath, bool force, QTextStream& out,
                   QTextStream& err) {
    RecoverInterruptedSave(inPath, err);
    if (outPath != inPath)
        RecoverInterruptedSave(outPath, err);
    RefuseToReplace(outPath, force);

    // Everything is read before anything is written, so IN may even be OUT.
    const PairContent pair = ReadPair(inPath);
    WriteOut(outPath, pair.store, pair.descriptions, QString(), out, err);
    WarnIfShort(inPath, pair.store, err);
    return ExitSuccess;
}

int CommandVersions(const QString& path, const Records& records, QTextStream& out) {
    const QList<EarlierVersion> versions = EarlierVersions().List(path);
    if (versions.isEmpty())
        out << records.Path(path) << QStringLiteral(": no earlier versions kept") << records.End();
    for (qsizetype i = 0; i < versions.size(); ++i) {
        const EarlierVersion& v = versions[i];
        out << (i + 1) << QStringLiteral(": ") << TimeText(v.time) << QStringLiteral(", ")
            << (v.patches < 0 ? QStringLiteral("not a valid library") : PatchCount(v.patches))
            << QStringLiteral(", ") << Plural(v.libraryBytes, "byte", "bytes")
            << (v.sideBytes < 0 ? QStringLiteral(", no description file")
                                : QStringLiteral(" + descriptions ") + Plural(v.sideBytes, "byte", "bytes"))
            << records.End();
    }
    return ExitSuccess;
}

int CommandRestore(const QString& path, const QString& number, const QString& outPath, bool force,
                   QTextStream& out, QTextStream& err) {
    bool isNumber = false;
    const qsizetype n = number.toLongLong(&isNumber);
    if (!isNumber || n < 1)
        UsageError(QStringLiteral("N must be a version number as `versions` lists it: ") + number);
    if (!IsLibraryPath(outPath))
        UsageError(QStringLiteral("OUT must be a library, ending in \".pslib\": ") + outPath);
    RefuseToReplace(outPath, force);
    const QList<EarlierVersion> versions = EarlierVersions().List(path);
    if (n > versions.size())
        FileProblem(path +
                    QStringLiteral(": there is no earlier version %1 (%2 kept)").arg(n).arg(versions.size()));
    const EarlierVersion& version = versions[n - 1];
    const LibraryPair pair = EarlierVersions().Read(path, version.id);

    // Restoring over a library is a save like any other: the pair it replaces is kept.
    const std::optional<QByteArray> existingSide = LibraryPairFile(outPath).ExistingSide();
    // A version without descriptions must not borrow those of the file it replaces: an empty side
    // file takes their place in the same commit.
    const std::optional<QByteArray> side = pair.side      ? pair.side
                                           : existingSide ? std::optional(QByteArray())
                                                          : std::nullopt;
    const QString versionProblem = LibraryPairFile(outPath).Save(pair.library, side);

    out << outPath << QStringLiteral(": restored version %1 of ").arg(n) << path << QStringLiteral(" (")
        << TimeText(version.time) << QStringLiteral(")\n");
    if (pair.side)
        out << SideFilePath(outPath) << QStringLiteral(": restored the descriptions\n");
    WarnIfNotKept(versionProblem, err);
    return ExitSuccess;
}

} // namespace quillbox::tool
