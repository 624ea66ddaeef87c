#include "ToolPairs.h"

#include "DescriptionFile.h"
#include "FileAccess.h"
#include "FileError.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchImage.h"
#include "ToolSupport.h"

#include <algorithm>
#include <optional>

namespace quillbox::tool {

void RefuseIfExists(const QString& path, const QString& what) {
    if (FileExists(path))
        FileProblem(path + QStringLiteral(" already exists") + what +
                    QStringLiteral("; use --force to replace it. Nothing was written."));
}

namespace {

void RefuseIfTooLarge(const QString& path, const QByteArray& content) {
    if (content.size() > MaxFileSize())
        FileProblem(
            path + QStringLiteral(" would be %1 bytes, more than the %2 Quillbox reads. Nothing was written.")
                       .arg(content.size())
                       .arg(MaxFileSizeText()));
}

} // namespace

void RecoverInterruptedSave(const QString& path, QTextStream& err) {
    if (const std::optional<QString> report = LibraryPairFile(path).Recover())
        err << ProgramName << QStringLiteral(": ") << *report << QLatin1Char('\n');
}

QByteArray LibraryStore(const QString& path, const QByteArray& content) {
    if (!IsValidLibrary(content))
        FileProblem(path + QStringLiteral(": Not a valid Library (") + InvalidLibraryReason(content) +
                    QLatin1Char(')'));
    return DecodeLibrary(content);
}

namespace {

// What the pair reader reads, its refusal of a file named a library that holds none given with the path.
template <typename Read> auto NamingThePath(const QString& path, Read read) {
    try {
        return read();
    } catch (const FileError& error) {
        if (error.number != NotALibraryNumber)
            throw;
        FileProblem(path + QStringLiteral(": ") + error.description);
    }
}

} // namespace

QByteArray ReadPatchStore(const QString& path) {
    return NamingThePath(path, [&path] { return LibraryPairFile(path).ReadStore(); });
}

PairContent ReadPair(const QString& path) {
    const PairContent pair = NamingThePath(path, [&path] { return LibraryPairFile(path).Read(); });
    // A side file that exists but cannot be read is an error rather than silently empty
    // descriptions, so that a conversion never drops them unnoticed.
    if (!pair.sideFileProblem.isEmpty())
        FileProblem(pair.sideFileProblem);
    return pair;
}

void RefuseToReplace(const QString& outPath, bool force) {
    if (force)
        return;
    RefuseIfExists(outPath, QString());
    RefuseIfExists(SideFilePath(outPath),
                   QStringLiteral(" (the description file of ") + outPath + QLatin1Char(')'));
}

void WriteOut(const QString& outPath, const QByteArray& store, const QStringList& descriptions,
              const QString& how, QTextStream& out, QTextStream& err) {
    const qsizetype count = EntryCount(store);
    const bool toLibrary = IsLibraryPath(outPath);
    const QByteArray outContent = toLibrary ? EncodeLibrary(store) : store;
    RefuseIfTooLarge(outPath, outContent);
    const QString outSidePath = SideFilePath(outPath);
    const LibraryPairFile pair(outPath);
    const bool anyDescription =
        std::any_of(descriptions.begin(), descriptions.end(), [](const QString& d) { return !d.isEmpty(); });
    std::optional<QByteArray> sideContent;
    if (FileExists(outSidePath) || anyDescription)
        sideContent = pair.SideFor(descriptions, count);
    if (sideContent)
        RefuseIfTooLarge(outSidePath, *sideContent);
    const QString versionProblem = pair.Save(outContent, sideContent);
    out << outPath << QStringLiteral(": wrote ")
        << (toLibrary ? QStringLiteral("library") : QStringLiteral("patch file")) << QStringLiteral(" with ")
        << PatchCount(count) << how << QLatin1Char('\n');
    if (sideContent)
        out << outSidePath << QStringLiteral(": wrote the descriptions\n");
    WarnIfNotKept(versionProblem, err);
}

void WarnIfNotKept(const QString& problem, QTextStream& err) {
    if (!problem.isEmpty())
        err << ProgramName
            << QStringLiteral(": warning: the version that was replaced could not be kept as an "
                              "earlier version: ")
            << problem << QLatin1Char('\n');
}

} // namespace quillbox::tool
