#include "ToolPairs.h"

#include "FileAccess.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchImage.h"
#include "ToolSupport.h"

#include <algorithm>
#include <optional>

namespace quillbox::tool {

namespace {

// Why `content` is not a library, for a path that names one.
QString InvalidLibraryReason(const QByteArray& content) {
    if (content.isEmpty())
        return QStringLiteral("the file is empty");
    return QStringLiteral("its first byte is %1, not the marker byte %2")
        .arg(static_cast<quint8>(content.front()))
        .arg(static_cast<int>(LibraryFileMarker));
}

void RefuseIfExists(const QString& path, const QString& what) {
    if (FileExists(path))
        FileProblem(path + QStringLiteral(" already exists") + what +
                    QStringLiteral("; use --force to replace it. Nothing was written."));
}

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

QByteArray ReadPatchStore(const QString& path) {
    const QByteArray content = ReadFileAsString(path);
    return IsLibraryPath(path) ? LibraryStore(path, content) : content;
}

DescriptionReader ReadDescriptions(const QString& path) {
    const QString sidePath = SideFilePath(path);
    if (!FileExists(sidePath))
        return {};
    return DescriptionReader::FromBytes(ReadFileAsString(sidePath));
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
    std::optional<QByteArray> existingSide;
    if (FileExists(outSidePath))
        existingSide = ReadFileAsString(outSidePath);
    const bool anyDescription =
        std::any_of(descriptions.begin(), descriptions.end(), [](const QString& d) { return !d.isEmpty(); });
    std::optional<QByteArray> sideContent;
    if (existingSide || anyDescription)
        sideContent = BuildSideFile(existingSide, descriptions, count);
    if (sideContent)
        RefuseIfTooLarge(outSidePath, *sideContent);
    const QString versionProblem = LibraryPairFile(outPath).Save(outContent, sideContent);
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
