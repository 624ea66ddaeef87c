#include "LibraryPairFile.h"

#include "DescriptionFile.h"
#include "FileAccess.h"
#include "FileError.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "SafeSave.h"

namespace quillbox {

namespace {

// The pair a save or recovery hands over (the library file last, as it was added): each target's
// content from its source, a target without a source did not exist; a side file the save did not
// write is as it is now. Nothing when the library file did not exist: a new library replaced nothing.
std::optional<LibraryPair> PairFrom(const QString& libPath, const std::vector<SafeSave::OldFile>& files) {
    if (files.empty() || files.back().source.isEmpty())
        return std::nullopt;
    LibraryPair pair{ReadFileAsString(files.back().source), std::nullopt};
    if (files.size() > 1) {
        if (!files.front().source.isEmpty())
            pair.side = ReadFileAsString(files.front().source);
    } else if (FileExists(SideFilePath(libPath))) {
        pair.side = ReadFileAsString(SideFilePath(libPath));
    }
    return pair;
}

} // namespace

LibraryPairFile::LibraryPairFile(QString path, EarlierVersions versions, bool keepAnyFile)
    : path_(std::move(path)), versions_(std::move(versions)), keepAnyFile_(keepAnyFile) {}

QByteArray LibraryPairFile::ReadStore() const {
    QByteArray content = ReadFileAsString(path_);
    if (!IsLibraryPath(path_))
        return content;
    if (!IsValidLibrary(content))
        throw FileError{NotALibraryNumber, path_,
                        QStringLiteral("Not a valid Library (") + InvalidLibraryReason(content) + QLatin1Char(')')};
    return DecodeLibrary(std::move(content));
}

PairContent LibraryPairFile::WithSide(QByteArray store, const std::optional<QByteArray>& side) {
    const qsizetype count = EntryCount(store);
    QStringList descriptions =
        side ? DescriptionReader::DescArrayOf(*side, count) : DescriptionReader().DescArray(count);
    return {std::move(store), std::move(descriptions), {}};
}

PairContent LibraryPairFile::Read() const {
    QByteArray store = ReadStore();
    std::optional<QByteArray> side;
    QString problem;
    try {
        side = ExistingSide();
    } catch (const FileError& error) {
        problem = error.description;
    }
    PairContent pair = WithSide(std::move(store), side);
    pair.sideFileProblem = problem;
    return pair;
}

PairContent LibraryPairFile::FromLibraryBytes(const QByteArray& content, const std::optional<QByteArray>& side) {
    return WithSide(DecodeLibrary(content), side);
}

std::optional<QByteArray> LibraryPairFile::SideFor(const QStringList& descriptions, qsizetype count) const {
    return BuildSideFile(ExistingSide(), descriptions, count);
}

std::optional<QByteArray> LibraryPairFile::ExistingSide() const {
    const QString sidePath = SideFilePath(path_);
    if (!FileExists(sidePath))
        return std::nullopt;
    return ReadFileAsString(sidePath);
}

bool LibraryPairFile::KeepsVersions() const {
    return keepAnyFile_ || IsLibraryPath(path_);
}

bool LibraryPairFile::Keep(const LibraryPair& replaced, QString& problem) const {
    try {
        return versions_.Keep(path_, replaced);
    } catch (const FileError& e) {
        problem = e.description;
        return false;
    }
}

std::optional<QString> LibraryPairFile::Recover(bool* foreign) const {
    QString problem;
    SafeSave::KeepFiles keep;
    if (KeepsVersions())
        keep = [this, &problem](const std::vector<SafeSave::OldFile>& files) {
            const std::optional<LibraryPair> pair = PairFrom(path_, files);
            return !pair || Keep(*pair, problem) || problem.isEmpty();
        };
    std::optional<QString> report = SafeSave::Recover(path_, keep, foreign);
    if (report && !problem.isEmpty())
        *report += QStringLiteral(" (An earlier version could not be kept: ") + problem + QLatin1Char(')');
    return report;
}

QString LibraryPairFile::Save(const QByteArray& content, const std::optional<QByteArray>& side) const {
    const QString sidePath = SideFilePath(path_);
    SafeSave save;
    if (side)
        save.Add(sidePath, *side);
    save.Add(path_, content);
    QString problem;
    if (!KeepsVersions()) {
        save.Commit();
        return problem;
    }
    save.Commit([&](const std::vector<SafeSave::OldFile>& files) {
        try {
            const std::optional<LibraryPair> replaced = PairFrom(path_, files);
            // A save that wrote the bytes already there replaced nothing worth keeping.
            const LibraryPair next{content, side ? side : (replaced ? replaced->side : std::nullopt)};
            if (replaced && !(*replaced == next))
                Keep(*replaced, problem);
        } catch (const FileError& e) {
            problem = e.description;
        }
        return problem.isEmpty();
    });
    return problem;
}

} // namespace quillbox
