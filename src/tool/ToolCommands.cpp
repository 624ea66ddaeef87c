#include "ToolCommands.h"

#include "CollectionIndex.h"
#include "CollectionSettings.h"
#include "DescriptionFile.h"
#include "EarlierVersions.h"
#include "FieldMap.h"
#include "FileAccess.h"
#include "FileError.h"
#include "LibraryDocument.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchComparison.h"
#include "PatchImage.h"
#include "PatchList.h"
#include "PatchName.h"
#include "QuotedPath.h"
#include "Reconcile.h"
#include "SetList.h"
#include "ValueTables.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <memory>
#include <numeric>
#include <optional>

namespace quillbox::tool {

namespace {

const QString ProgramName = QStringLiteral("quillbox-tool");

// A failure that ends a command with its own exit status; `message` is shown after the program name.
struct ToolError {
    int exitCode;
    QString message;
    bool usage = false; // a wrong command line: the help is pointed out
};

[[noreturn]] void UsageError(const QString& message) {
    throw ToolError{ExitBadUsage, message, true};
}

[[noreturn]] void FileProblem(const QString& message) {
    throw ToolError{ExitBadFile, message};
}

QString Plural(qsizetype count, const char* singular, const char* plural) {
    return QString::number(count) + QLatin1Char(' ') + QString::fromUtf8(count == 1 ? singular : plural);
}

QString PatchCount(qsizetype count) {
    return Plural(count, "patch", "patches");
}

// How lines meant for scripts are written: paths (and names) quoted as QuotePath quotes them and
// each record ended by a line break; with -z as they are, each record ended by NUL. The other fields
// of a record never hold a tab, so a path is what lies between them.
struct Records {
    bool nul = false;
    QString Path(const QString& path) const { return nul ? path : QuotePath(path); }
    QChar End() const { return nul ? QChar(u'\0') : QChar(u'\n'); }
};

// How many bytes the last entry lacks to be a whole 18-byte image (0 when it is whole).
qsizetype ShortBy(const QByteArray& store) {
    const qsizetype rest = store.size() % PatchImageSize;
    return rest == 0 ? 0 : PatchImageSize - rest;
}

QString ShortByText(qsizetype missing) {
    return QStringLiteral("last entry short by ") + Plural(missing, "byte", "bytes");
}

// Why `content` is not a library, for a path that names one.
QString InvalidLibraryReason(const QByteArray& content) {
    if (content.isEmpty())
        return QStringLiteral("the file is empty");
    return QStringLiteral("its first byte is %1, not the marker byte %2")
        .arg(static_cast<quint8>(content.front()))
        .arg(static_cast<int>(LibraryFileMarker));
}

// The patch store of a file, read the way the program reads it: a ".pslib" path as a library
// (which must carry the marker byte), any other path as a device patch file, byte for byte.
QByteArray ReadPatchStore(const QString& path) {
    const QByteArray content = ReadFileAsString(path);
    if (!IsLibraryPath(path))
        return content;
    if (!IsValidLibrary(content))
        FileProblem(path + QStringLiteral(": Not a valid Library (") + InvalidLibraryReason(content) +
                    QLatin1Char(')'));
    return DecodeLibrary(content);
}

// The descriptions of a file's patches. A missing side file means no descriptions; one that exists
// but cannot be read is an error rather than silently empty descriptions, so that a conversion never
// drops them unnoticed.
DescriptionReader ReadDescriptions(const QString& path) {
    const QString sidePath = SideFilePath(path);
    if (!FileExists(sidePath))
        return {};
    return DescriptionReader::FromBytes(ReadFileAsString(sidePath));
}

// A save of `path` (with its side file) that a kill or power loss interrupted is finished, or undone,
// before the file is read or written; the user is told which.
void RecoverInterruptedSave(const QString& path, QTextStream& err) {
    if (const std::optional<QString> report = LibraryPairFile(path).Recover())
        err << ProgramName << QStringLiteral(": ") << *report << QLatin1Char('\n');
}

void WarnIfShort(const QString& path, const QByteArray& store, QTextStream& err) {
    if (const qsizetype missing = ShortBy(store); missing > 0)
        err << ProgramName << QStringLiteral(": warning: ") << path << QStringLiteral(": ")
            << ShortByText(missing) << QLatin1Char('\n');
}

QString EntryText(ParameterList list, int index) {
    return index < 0 ? QString() : ParameterTable(list).entries.value(index);
}

QString OnOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

int CommandList(const QString& path, bool details, QTextStream& out, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    const QByteArray store = ReadPatchStore(path);
    const DescriptionReader descriptions = details ? ReadDescriptions(path) : DescriptionReader();
    const qsizetype count = EntryCount(store);
    const QLatin1Char tab('\t');
    for (qsizetype i = 0; i < count; ++i) {
        out << PatchListLine(store, i);
        if (details) {
            const DetailValues values = ShowPatchDetails(PatchImage::FromStore(store, i));
            out << tab << EntryText(ParameterList::DriveType, values.driveType) << tab
                << EntryText(ParameterList::CabType, values.cabType) << tab
                << EntryText(ParameterList::CabSpeaker, values.cabSpeaker) << tab << OnOff(values.driveOn)
                << tab << OnOff(values.cabOn) << tab << EscapeDescription(descriptions.Description(i + 1));
        }
        out << QLatin1Char('\n');
    }
    WarnIfShort(path, store, err);
    return ExitSuccess;
}

int CommandCheck(const QString& path, QTextStream& out, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    const QByteArray content = ReadFileAsString(path);
    QString kind;
    QByteArray store;
    if (IsLibraryPath(path)) {
        if (!IsValidLibrary(content))
            FileProblem(path + QStringLiteral(": Not a valid Library (") + InvalidLibraryReason(content) +
                        QLatin1Char(')'));
        kind = QStringLiteral("library");
        store = DecodeLibrary(content);
    } else {
        // The program imports an empty file as an empty list, but no device writes one: it is far
        // more likely a failed copy, so the check calls it what it is.
        if (content.isEmpty())
            FileProblem(path + QStringLiteral(": the file is empty, so it is not a patch file"));
        kind = QStringLiteral("patch file");
        store = content;
    }
    out << QuotePath(path) << QStringLiteral(": ") << kind << QStringLiteral(" with ")
        << PatchCount(EntryCount(store));
    if (const qsizetype missing = ShortBy(store); missing > 0)
        out << QStringLiteral(", ") << ShortByText(missing);
    out << QLatin1Char('\n');
    return ExitSuccess;
}

void WarnIfNotKept(const QString& problem, QTextStream& err) {
    if (!problem.isEmpty())
        err << ProgramName
            << QStringLiteral(": warning: the version that was replaced could not be kept as an "
                              "earlier version: ")
            << problem << QLatin1Char('\n');
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

// Writes `store` with `descriptions` (element 0 unused) as OUT, a library or a patch file by its name,
// with its side file, and says so. An existing side file of OUT is always rewritten, so that
// positions 1..N carry these descriptions (empty ones included) and nothing stale; none is created
// just to hold empty ones. A library's replaced pair is kept as an earlier version once the save is
// complete.
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

int CommandConvert(const QString& inPath, const QString& outPath, bool force, QTextStream& out,
                   QTextStream& err) {
    const QString outSidePath = SideFilePath(outPath);
    RecoverInterruptedSave(inPath, err);
    if (outPath != inPath)
        RecoverInterruptedSave(outPath, err);
    // The side file counts as part of OUT: an old one would hand its descriptions to the new patches.
    if (!force) {
        RefuseIfExists(outPath, QString());
        RefuseIfExists(outSidePath,
                       QStringLiteral(" (the description file of ") + outPath + QLatin1Char(')'));
    }

    // Everything is read before anything is written, so IN may even be OUT.
    const QByteArray store = ReadPatchStore(inPath);
    const DescriptionReader reader = ReadDescriptions(inPath);
    QStringList descriptions(EntryCount(store) + 1); // element 0 is not written
    for (qsizetype i = 1; i < descriptions.size(); ++i)
        descriptions[i] = reader.Description(i);
    WriteOut(outPath, store, descriptions, QString(), out, err);
    WarnIfShort(inPath, store, err);
    return ExitSuccess;
}

QString TimeText(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
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
    const QString outSidePath = SideFilePath(outPath);
    if (!force) {
        RefuseIfExists(outPath, QString());
        RefuseIfExists(outSidePath,
                       QStringLiteral(" (the description file of ") + outPath + QLatin1Char(')'));
    }
    const QList<EarlierVersion> versions = EarlierVersions().List(path);
    if (n > versions.size())
        FileProblem(path +
                    QStringLiteral(": there is no earlier version %1 (%2 kept)").arg(n).arg(versions.size()));
    const EarlierVersion& version = versions[n - 1];
    const LibraryPair pair = EarlierVersions().Read(path, version.id);

    // Restoring over a library is a save like any other: the pair it replaces is kept.
    const std::optional<QByteArray> existingSide =
        FileExists(outSidePath) ? std::optional(ReadFileAsString(outSidePath)) : std::nullopt;
    // A version without descriptions must not borrow those of the file it replaces: an empty side
    // file takes their place in the same commit.
    const std::optional<QByteArray> side = pair.side      ? pair.side
                                           : existingSide ? std::optional(QByteArray())
                                                          : std::nullopt;
    const QString versionProblem = LibraryPairFile(outPath).Save(pair.library, side);

    out << outPath << QStringLiteral(": restored version %1 of ").arg(n) << path << QStringLiteral(" (")
        << TimeText(version.time) << QStringLiteral(")\n");
    if (pair.side)
        out << outSidePath << QStringLiteral(": restored the descriptions\n");
    WarnIfNotKept(versionProblem, err);
    return ExitSuccess;
}

// The set list of FILE as CSV, as "Export Set List…" writes it.
int CommandListCsv(const QString& path, QTextStream& out, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    const QByteArray store = ReadPatchStore(path);
    const DescriptionReader reader = ReadDescriptions(path);
    const qsizetype count = EntryCount(store);
    const QStringList descArray = reader.DescArray(count);
    // The stream drops a byte order mark found in the text; it writes its own before any output.
    out.setGenerateByteOrderMark(true);
    out << QString::fromUtf8(SetListCsv(SetListRows(store, descArray)).mid(3));
    WarnIfShort(path, store, err);
    return ExitSuccess;
}

// A 1-based position within a list of `count` entries.
qsizetype PositionIn(const QString& text, qsizetype count, const QString& path) {
    bool isNumber = false;
    const qsizetype position = text.toLongLong(&isNumber);
    if (!isNumber || position < 1 || position > count)
        FileProblem(
            path +
            QStringLiteral(": there is no position %1; positions run from 1 to %2").arg(text).arg(count));
    return position;
}

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
    const QByteArray store = ReadPatchStore(path);
    const qsizetype count = EntryCount(store);
    document.Open(path, SideFilePath(path), store, ReadDescriptions(path).DescArray(count));
    const LibraryState& state = document.State();
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

// FILE:POS, split at the last colon so that a path may hold colons.
std::pair<QString, QString> FileAndPosition(const QString& argument) {
    const qsizetype colon = argument.lastIndexOf(u':');
    if (colon <= 0)
        UsageError(QStringLiteral("expected FILE:POSITION, not ") + argument);
    return {argument.left(colon), argument.mid(colon + 1)};
}

// Compares two patches as the compare window does. Exit 0: identical; 1: they differ; 2: trouble.
int CommandDiff(const QString& first, const QString& second, const Records& records, QTextStream& out,
                QTextStream& err) {
    const auto [leftPath, leftPos] = FileAndPosition(first);
    const auto [rightPath, rightPos] = FileAndPosition(second);
    PatchComparison comparison;
    try {
        RecoverInterruptedSave(leftPath, err);
        RecoverInterruptedSave(rightPath, err);
        const QByteArray left = ReadPatchStore(leftPath), right = ReadPatchStore(rightPath);
        comparison = ComparePatches(left, PositionIn(leftPos, EntryCount(left), leftPath) - 1, right,
                                    PositionIn(rightPos, EntryCount(right), rightPath) - 1);
    } catch (const FileError& e) {
        throw ToolError{ExitDiffTrouble, e.description};
    } catch (const ToolError& e) {
        throw ToolError{ExitDiffTrouble, e.message, e.usage};
    }
    out << ComparisonText(comparison, records.Path(leftPath) + QLatin1Char(':') + leftPos,
                          records.Path(rightPath) + QLatin1Char(':') + rightPos, records.End());
    return comparison.Identical() ? ExitSuccess : ExitDiffers;
}

// Both sides of a reconciliation (and the base) are read whole, with their descriptions.
ReconcileSide ReadSide(const QString& path, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    ReconcileSide side;
    side.store = ReadPatchStore(path);
    side.descriptions = ReadDescriptions(path).DescArray(EntryCount(side.store));
    return side;
}

// The decoded name of an entry, empty when it is cut short inside its name field.
QString EntryName(const ReconcileSide& side, qsizetype index) {
    const QByteArray bytes = EntryBytes(side.store, index);
    return bytes.size() < NameFieldEnd ? QString()
                                       : StringToPatchName(QByteArrayView(bytes).sliced(11, 6)).name;
}

QString PositionText(qsizetype index) {
    return index < 0 ? QStringLiteral("-") : QString::number(index + 1);
}

// reconcile and merge end with status 2 on any trouble, as diff does, since 1 tells a result.
template <typename Body> int WithTroubleAsTwo(Body body) {
    try {
        return body();
    } catch (const FileError& e) {
        throw ToolError{ExitDiffTrouble, e.description};
    } catch (const ToolError& e) {
        throw ToolError{ExitDiffTrouble, e.message, e.usage};
    }
}

// One line per row that differs: kind, left position, right position, name ("OLD -> NEW" when it
// changed), what differs; with a base also what the merge takes ("left", "right", "both", with what
// comes from the other side in brackets) or "conflict".
int CommandReconcile(const QString& leftPath, const QString& rightPath,
                     const std::optional<QString>& basePath, const Records& records, QTextStream& out,
                     QTextStream& err) {
    ReconcileSide left, right, base;
    WithTroubleAsTwo([&] {
        left = ReadSide(leftPath, err);
        right = ReadSide(rightPath, err);
        if (basePath)
            base = ReadSide(*basePath, err);
        return 0;
    });
    const Reconciliation reconciliation = Reconcile(left, right, basePath ? &base : nullptr);
    const std::vector<ReconcileRow>& rows = reconciliation.rows;
    const QLatin1Char tab('\t');
    bool differs = false;
    for (size_t k = 0; k < rows.size(); ++k) {
        const ReconcileRow& row = rows[k];
        if (!RowDiffers(row))
            continue;
        differs = true;
        const QString leftName = row.left >= 0 ? EntryName(left, row.left) : QString();
        const QString rightName = row.right >= 0 ? EntryName(right, row.right) : QString();
        const QString name = row.left < 0 ? rightName
                             : row.right < 0 || leftName == rightName
                                 ? leftName
                                 : leftName + QStringLiteral(" -> ") + rightName;
        out << RowKindName(row.kind) << tab << PositionText(row.left) << tab << PositionText(row.right) << tab
            << records.Path(name) << tab << RowFieldsText(row.differs);
        if (basePath) {
            const PresetChoice& preset = reconciliation.presets[k];
            out << tab << (preset.conflict ? QStringLiteral("conflict") : ChoiceText(row, preset.choice));
        }
        out << records.End();
    }
    for (const auto& [path, side] : {std::pair{leftPath, &left}, std::pair{rightPath, &right}})
        WarnIfShort(path, side->store, err);
    return differs ? ExitDiffers : ExitSuccess;
}

// The three-way merge of LEFT and RIGHT over BASE, written to OUT (and its side file) as convert
// writes; with conflicts each is listed and nothing is written.
int CommandMerge(const QString& leftPath, const QString& rightPath, const QString& basePath,
                 const QString& outPath, bool force, QTextStream& out, QTextStream& err) {
    return WithTroubleAsTwo([&] {
        const QString outSidePath = SideFilePath(outPath);
        if (outPath != leftPath && outPath != rightPath && outPath != basePath)
            RecoverInterruptedSave(outPath, err);
        if (!force) {
            RefuseIfExists(outPath, QString());
            RefuseIfExists(outSidePath,
                           QStringLiteral(" (the description file of ") + outPath + QLatin1Char(')'));
        }
        const ReconcileSide left = ReadSide(leftPath, err), right = ReadSide(rightPath, err),
                            base = ReadSide(basePath, err);
        const MergeResult merge = MergeThreeWay(base, left, right);
        const QLatin1Char tab('\t');
        if (!merge.conflicts.empty()) {
            for (const MergeConflict& c : merge.conflicts) {
                const QString name = EntryName(base, c.base);
                out << QStringLiteral("conflict") << tab << PositionText(c.base) << tab
                    << PositionText(c.left) << tab << PositionText(c.right) << tab << name << tab << c.reason
                    << QLatin1Char('\n');
            }
            err << ProgramName << QStringLiteral(": ")
                << Plural(qsizetype(merge.conflicts.size()), "conflict", "conflicts")
                << QStringLiteral(" unresolved; ") << outPath << QStringLiteral(" was not written\n");
            return int(ExitDiffers);
        }
        WriteOut(outPath, merge.merged.store, merge.merged.descriptions,
                 QStringLiteral(", merged without conflict"), out, err);
        return int(ExitSuccess);
    });
}

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

int CommandCollectionScan(const QStringList& folders, QTextStream& out, QTextStream& err) {
    ScanResult result;
    RefreshCollection(CollectionFolders(folders), true, result, err)->CountPatches(result);
    out << QStringLiteral("files: ") << result.files << QStringLiteral(" (") << result.versions
        << QStringLiteral(" earlier versions)\npatches: ") << result.patches
        << QStringLiteral("\ndistinct patches: ") << result.distinct << QStringLiteral("\nskipped: ")
        << result.skipped.size() << QLatin1Char('\n');
    return ExitSuccess;
}

QString FirstLine(const QString& text) {
    return text.section(QRegularExpression(QStringLiteral("[\r\n]")), 0, 0);
}

QString PlaceText(const Place& place, const Records& records) {
    return records.Path(place.path) + QLatin1Char(':') + QString::number(place.position + 1);
}

// Exit 0 when a place holds every word, 1 when none does, 2 on trouble.
int CommandCollectionFind(const QStringList& folders, bool withVersions, const QStringList& words,
                          const Records& records, QTextStream& out, QTextStream& err) {
    ScanResult result;
    const auto index = RefreshCollection(CollectionFolders(folders), false, result, err);
    const std::vector<Place> places = index->Find(words.join(QLatin1Char(' ')), withVersions);
    for (const Place& place : places)
        out << PlaceText(place, records) << QLatin1Char('\t') << records.Path(place.name) << QLatin1Char('\t')
            << EscapeDescription(FirstLine(place.description)) << records.End();
    return places.empty() ? ExitDiffers : ExitSuccess;
}

// Every other place of the collection holding the patch at FILE:POS (identical), its sound under
// another name (same-sound) or its name with another sound (same-name). Exit 0 when there is one,
// 1 when none, 2 on trouble.
int CommandWhere(const QString& argument, const QStringList& folders, const Records& records,
                 QTextStream& out, QTextStream& err) {
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
    const QString self = QFileInfo(path).canonicalFilePath();
    qsizetype shown = 0;
    for (const RelatedPlace& related : index->WhereUsed(patch.front())) {
        if (related.relation == Relation::Identical && related.place.position == position &&
            QFileInfo(related.place.path).canonicalFilePath() == self)
            continue;
        out << RelationText(related.relation) << QLatin1Char('\t') << PlaceText(related.place, records)
            << QLatin1Char('\t') << records.Path(related.place.name) << records.End();
        ++shown;
    }
    return shown > 0 ? ExitSuccess : ExitDiffers;
}

struct CommandLine {
    QStringList positional;
    bool help = false;
    bool version = false;
    bool details = false;
    bool force = false;
    bool csv = false;
    bool versions = false;
    bool nul = false;                     // -z
    QStringList in;                       // --in DIR, any number of times
    std::optional<QString> base, outPath; // --base BASE, --out OUT
};

// True when the next positional argument of `line` is a value that may start with '-': rename's
// POSITION (so that "-1" is a bad position, not an unknown option) and NAME ('-' is a name character).
bool ValueExpected(const CommandLine& line) {
    const qsizetype given = line.positional.size();
    return given >= 2 && given <= 3 && line.positional.front() == QStringLiteral("rename");
}

CommandLine ParseArguments(const QStringList& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    std::optional<QString>* pendingValue = nullptr; // the option that takes the next argument
    bool pendingFolder = false;                     // --in takes the next argument
    for (const QString& argument : arguments) {
        if (pendingFolder) {
            line.in.append(argument);
            pendingFolder = false;
        } else if (!optionsEnded && argument.startsWith(QStringLiteral("--in="))) {
            line.in.append(argument.section(u'=', 1));
        } else if (!optionsEnded && argument == QStringLiteral("--in")) {
            pendingFolder = true;
        } else if (!optionsEnded && argument == QStringLiteral("--versions")) {
            line.versions = true;
        } else if (pendingValue) {
            *pendingValue = argument;
            pendingValue = nullptr;
        } else if (!optionsEnded && (argument.startsWith(QStringLiteral("--base=")) ||
                                     argument.startsWith(QStringLiteral("--out=")))) {
            (argument.startsWith(QStringLiteral("--base=")) ? line.base : line.outPath) =
                argument.section(u'=', 1);
        } else if (!optionsEnded && argument == QStringLiteral("--base")) {
            pendingValue = &line.base;
        } else if (!optionsEnded && argument == QStringLiteral("--out")) {
            pendingValue = &line.outPath;
        } else if (optionsEnded || !argument.startsWith(QLatin1Char('-')) ||
                   argument == QStringLiteral("-") ||
                   (ValueExpected(line) && argument != QStringLiteral("--"))) {
            line.positional.append(argument);
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            line.help = true;
        } else if (argument == QStringLiteral("--version")) {
            line.version = true;
        } else if (argument == QStringLiteral("--details")) {
            line.details = true;
        } else if (argument == QStringLiteral("--force")) {
            line.force = true;
        } else if (argument == QStringLiteral("--csv")) {
            line.csv = true;
        } else if (argument == QStringLiteral("-z")) {
            line.nul = true;
        } else {
            UsageError(QStringLiteral("unknown option: ") + argument);
        }
    }
    if (pendingValue)
        UsageError(QStringLiteral("--base and --out each need a file"));
    if (pendingFolder)
        UsageError(QStringLiteral("--in needs a folder"));
    return line;
}

void ExpectFiles(const CommandLine& line, qsizetype files, const QString& usage) {
    if (line.positional.size() - 1 != files)
        UsageError(QStringLiteral("usage: ") + ProgramName + QLatin1Char(' ') + usage);
}

int Dispatch(const CommandLine& line, QTextStream& out, QTextStream& err) {
    if (line.help) {
        out << HelpText();
        return ExitSuccess;
    }
    if (line.version) {
        out << VersionText();
        return ExitSuccess;
    }
    if (line.positional.isEmpty())
        UsageError(QStringLiteral("no command given"));

    const QString& command = line.positional.front();
    const bool collection = command == QStringLiteral("collection") || command == QStringLiteral("where");
    const bool records =
        command == QStringLiteral("where") || command == QStringLiteral("diff") ||
        command == QStringLiteral("reconcile") || command == QStringLiteral("versions") ||
        (command == QStringLiteral("collection") && line.positional.value(1) == QStringLiteral("find"));
    if (line.nul && !records)
        UsageError(QStringLiteral("-z applies to collection find, where, diff, reconcile and versions only"));
    const Records output{line.nul};
    if (!line.in.isEmpty() && !collection)
        UsageError(QStringLiteral("--in applies to collection and where only"));
    if (line.versions && !(collection && line.positional.value(1) == QStringLiteral("find")))
        UsageError(QStringLiteral("--versions applies to collection find only"));
    if (collection && (line.details || line.force || line.csv || line.base || line.outPath))
        UsageError(command + QStringLiteral(" takes --in (and find --versions, -z) only"));
    if (command == QStringLiteral("collection")) {
        return WithTroubleAsTwo([&] {
            const QString sub = line.positional.value(1);
            if (sub == QStringLiteral("scan") && line.positional.size() == 2)
                return CommandCollectionScan(line.in, out, err);
            if (sub == QStringLiteral("find") && line.positional.size() > 2)
                return CommandCollectionFind(line.in, line.versions, line.positional.mid(2), output, out,
                                             err);
            UsageError(QStringLiteral("usage: ") + ProgramName +
                       QStringLiteral(" collection scan [--in DIR]... | collection find [--in DIR]... "
                                      "[--versions] WORD..."));
        });
    }
    if (command == QStringLiteral("where")) {
        return WithTroubleAsTwo([&] {
            ExpectFiles(line, 1, QStringLiteral("where FILE:POS [--in DIR]..."));
            return CommandWhere(line.positional[1], line.in, output, out, err);
        });
    }
    if ((line.base || line.outPath) && command != QStringLiteral("reconcile") &&
        command != QStringLiteral("merge"))
        UsageError(QStringLiteral("--base and --out apply to reconcile and merge only"));
    if (command == QStringLiteral("list")) {
        if (line.force)
            UsageError(QStringLiteral("--force applies to convert, restore and merge only"));
        ExpectFiles(line, 1, QStringLiteral("list [--details | --csv] FILE"));
        if (line.csv && line.details)
            UsageError(QStringLiteral("--csv and --details exclude each other"));
        return line.csv ? CommandListCsv(line.positional[1], out, err)
                        : CommandList(line.positional[1], line.details, out, err);
    }
    if (line.csv)
        UsageError(QStringLiteral("--csv applies to list only"));
    if (command == QStringLiteral("reconcile")) {
        if (line.details || line.force || line.outPath)
            UsageError(QStringLiteral("reconcile takes --base only"));
        ExpectFiles(line, 2, QStringLiteral("reconcile LEFT RIGHT [--base BASE]"));
        return CommandReconcile(line.positional[1], line.positional[2], line.base, output, out, err);
    }
    if (command == QStringLiteral("merge")) {
        const QString usage = QStringLiteral("merge LEFT RIGHT --base BASE --out OUT [--force]");
        if (line.details)
            UsageError(QStringLiteral("--details applies to list only"));
        if (!line.base || !line.outPath)
            UsageError(QStringLiteral("usage: ") + ProgramName + QLatin1Char(' ') + usage);
        ExpectFiles(line, 2, usage);
        return CommandMerge(line.positional[1], line.positional[2], *line.base, *line.outPath, line.force,
                            out, err);
    }
    if (command == QStringLiteral("rename")) {
        if (line.details || line.force)
            UsageError(QStringLiteral("rename takes no options"));
        ExpectFiles(line, 3, QStringLiteral("rename FILE POSITION NAME"));
        return CommandRename(line.positional[1], line.positional[2], line.positional[3], out, err);
    }
    if (command == QStringLiteral("sort")) {
        if (line.details || line.force)
            UsageError(QStringLiteral("sort takes no options"));
        ExpectFiles(line, 1, QStringLiteral("sort FILE"));
        return CommandSort(line.positional[1], out, err);
    }
    if (command == QStringLiteral("diff")) {
        if (line.details || line.force)
            UsageError(QStringLiteral("diff takes no options"));
        ExpectFiles(line, 2, QStringLiteral("diff FILE1:POSITION1 FILE2:POSITION2"));
        return CommandDiff(line.positional[1], line.positional[2], output, out, err);
    }
    if (command == QStringLiteral("convert")) {
        if (line.details)
            UsageError(QStringLiteral("--details applies to list only"));
        ExpectFiles(line, 2, QStringLiteral("convert [--force] IN OUT"));
        return CommandConvert(line.positional[1], line.positional[2], line.force, out, err);
    }
    if (command == QStringLiteral("versions")) {
        if (line.details || line.force)
            UsageError(QStringLiteral("versions takes no options"));
        ExpectFiles(line, 1, QStringLiteral("versions FILE"));
        return CommandVersions(line.positional[1], output, out);
    }
    if (command == QStringLiteral("restore")) {
        if (line.details)
            UsageError(QStringLiteral("--details applies to list only"));
        ExpectFiles(line, 3, QStringLiteral("restore [--force] FILE N OUT"));
        return CommandRestore(line.positional[1], line.positional[2], line.positional[3], line.force, out,
                              err);
    }
    if (command == QStringLiteral("check")) {
        if (line.details || line.force)
            UsageError(QStringLiteral("check takes no options"));
        ExpectFiles(line, 1, QStringLiteral("check FILE"));
        return CommandCheck(line.positional[1], out, err);
    }
    UsageError(QStringLiteral("unknown command: ") + command);
}

} // namespace

QString VersionText() {
    return ProgramName + QStringLiteral(" %1.%2.%3\n")
                             .arg(QUILLBOX_VERSION_MAJOR)
                             .arg(QUILLBOX_VERSION_MINOR)
                             .arg(QUILLBOX_VERSION_REVISION);
}

QString HelpText() {
    return QStringLiteral(
        "Usage: quillbox-tool COMMAND [OPTION]... FILE...\n"
        "Lists, checks and converts PS02 libraries and device patch files.\n"
        "\n"
        "A file whose name ends in \".pslib\" (exactly so, in lower case) is read as a library,\n"
        "any other file as a device patch file. The descriptions of a file's patches live in its\n"
        "side file: the file's path followed by \".txt\".\n"
        "\n"
        "Commands:\n"
        "  list [--details | --csv] FILE\n"
        "                            one line per patch, as Quillbox's lists show it. With --details\n"
        "                            each line is followed, tab-separated, by the drive type, cab type\n"
        "                            and cab speaker, the Drive and Cab switches (on/off) and the\n"
        "                            description, its line breaks shown as \\n and tabs as \\t.\n"
        "                            With --csv the set list as CSV (UTF-8 with a byte order mark):\n"
        "                            position, name, the five parameters and the description\n"
        "  rename FILE POSITION NAME renames entry POSITION (from 1) of the library FILE in place;\n"
        "                            only the name changes, the earlier version is kept. POSITION\n"
        "                            and NAME are taken as they are, also when they start with '-';\n"
        "                            an entry cut short inside its name is refused\n"
        "  sort FILE                 sorts the library FILE by name in place, ignoring case and\n"
        "                            blanks at the end of a name (a stable sort; the descriptions\n"
        "                            go with their patches; the earlier version is kept)\n"
        "  diff FILE1:POS1 FILE2:POS2\n"
        "                            compares two patches: the parameters and every byte and bit;\n"
        "                            exit 0 when they are identical, 1 when they differ, 2 on trouble\n"
        "  convert [--force] IN OUT  writes the patches of IN to OUT: a library when OUT ends in\n"
        "                            \".pslib\", otherwise a device patch file; the descriptions go to\n"
        "                            OUT's side file. Neither OUT nor its side file is replaced\n"
        "                            unless --force is given\n"
        "  check FILE                says whether FILE is a library or a patch file, how many\n"
        "                            patches it holds and whether its last entry is cut short;\n"
        "                            an empty patch file or a library without its marker byte fails\n"
        "  versions FILE             lists the earlier versions of the library FILE, newest first:\n"
        "                            every save that replaces a library (here: convert --force,\n"
        "                            restore --force) keeps the pair it replaces, the last 20\n"
        "  restore [--force] FILE N OUT\n"
        "                            writes earlier version N of FILE (as `versions` numbers it)\n"
        "                            to the library OUT and its side file; neither is replaced\n"
        "                            unless --force is given\n"
        "  reconcile LEFT RIGHT [--base BASE]\n"
        "                            one tab-separated line per entry that differs: kind (changed,\n"
        "                            only-left, only-right, moved), left position, right position\n"
        "                            (- when none), name (OLD -> NEW when renamed) and what differs\n"
        "                            (name, parameters, other bits, description, length); with BASE\n"
        "                            also what a merge takes: left, right, both or conflict, and in\n"
        "                            brackets what it takes from the other side (\"right (left\n"
        "                            description)\"). Exit 0 when both hold the same entries in the\n"
        "                            same order, 1 when not, 2 on trouble\n"
        "  merge LEFT RIGHT --base BASE --out OUT [--force]\n"
        "                            writes the three-way merge of LEFT and RIGHT over their common\n"
        "                            past BASE to OUT and its side file (neither replaced unless\n"
        "                            --force is given), entry by entry and field by field: the bytes\n"
        "                            from the side that changed them, the description likewise.\n"
        "                            A conflict: both changed the same field differently, one\n"
        "                            deleted what the other changed, or both moved an entry to\n"
        "                            different places. Exit 0 when merged, 1 when conflicts remain\n"
        "                            (each listed; OUT not written), 2 on trouble\n"
        "  collection scan [--in DIR]...\n"
        "                            brings the collection's cache up to date with the libraries\n"
        "                            and patch files under the folders DIR (without --in: those\n"
        "                            chosen in Quillbox) and the earlier versions kept of them, and\n"
        "                            prints the files, patches, distinct patches and files skipped\n"
        "  collection find [--in DIR]... [--versions] WORD...\n"
        "                            every place whose patch holds all the words (as Ctrl+F finds;\n"
        "                            #tag matches a tag), as PATH:POS, name and the description's\n"
        "                            first line, tab-separated, by path and position; earlier\n"
        "                            versions only with --versions. Words that begin with '-' go\n"
        "                            after --. Exit 0 when found, 1 when not, 2 on trouble (a\n"
        "                            folder DIR that does not exist, too)\n"
        "  where FILE:POS [--in DIR]...\n"
        "                            every other place of the collection with the same patch:\n"
        "                            identical, same-sound (other name) or same-name (other sound),\n"
        "                            a tab, PATH:POS, a tab, the name. Exit 0, 1 or 2 as find\n"
        "\n"
        "Options:\n"
        "  -h, --help                show this help and exit\n"
        "      --version             show the version and exit\n"
        "  -z                        (collection find, where, diff, reconcile, versions) end each\n"
        "                            line with NUL instead of a line break and write paths as they\n"
        "                            are, for scripts; the other fields never hold a tab\n"
        "      --                    end of options (for a file name or a word starting with '-')\n"
        "\n"
        "Paths in the output of collection find, where, diff, reconcile, versions and check, and\n"
        "the skipped files collection scan names, are quoted as git's core.quotePath quotes them when\n"
        "they hold a control character, a double quote, a backslash, bytes that are not UTF-8 or a\n"
        "character that hides or reorders text (C1 controls, bidi and zero-width marks, line and\n"
        "paragraph separators): in double quotes, with \\a \\b \\t \\n \\v \\f \\r \\\" \\\\ and\n"
        "\\ooo (octal) escapes of the bytes. Other UTF-8 (\"Café.pslib\") is written as it is.\n"
        "\n"
        "Exit status: 0 success; 1 a file that cannot be read or written, is not what its name says,\n"
        "is larger than 1 GiB, or already exists, or a value the file cannot take (a position it\n"
        "lacks, a name the device cannot show, an entry cut short inside its name); 2 a wrong\n"
        "command line.\n");
}

QString EscapeDescription(const QString& description) {
    QString escaped;
    escaped.reserve(description.size());
    for (qsizetype i = 0; i < description.size(); ++i) {
        const QChar c = description[i];
        if (c == QLatin1Char('\r')) {
            escaped += QStringLiteral("\\n");
            if (i + 1 < description.size() && description[i + 1] == QLatin1Char('\n'))
                ++i; // CR LF is one line break
        } else if (c == QLatin1Char('\n')) {
            escaped += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\t')) {
            escaped += QStringLiteral("\\t");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

int RunTool(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    int status = ExitSuccess;
    try {
        status = Dispatch(ParseArguments(arguments), out, err);
    } catch (const ToolError& error) {
        err << ProgramName << QStringLiteral(": ") << error.message << QLatin1Char('\n');
        if (error.usage)
            err << QStringLiteral("Try '") << ProgramName
                << QStringLiteral(" --help' for more information.\n");
        status = error.exitCode;
    } catch (const FileError& error) {
        err << ProgramName << QStringLiteral(": ") << error.description << QLatin1Char('\n');
        status = ExitBadFile;
    }
    out.flush();
    if (out.status() != QTextStream::Ok) {
        err << ProgramName << QStringLiteral(": cannot write the output\n");
        status = ExitBadFile;
    }
    err.flush();
    return status;
}

} // namespace quillbox::tool
