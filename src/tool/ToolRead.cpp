#include "ToolRead.h"

#include "FieldMap.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "PatchList.h"
#include "QuotedPath.h"
#include "SetList.h"
#include "ToolPairs.h"
#include "ToolSupport.h"
#include "ValueTables.h"

namespace quillbox::tool {

namespace {

QString EntryText(ParameterList list, int index) {
    return index < 0 ? QString() : ParameterTable(list).entries.value(index);
}

QString OnOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

int CommandList(const QString& path, bool details, QTextStream& out, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    const PairContent pair = details ? ReadPair(path) : PairContent{ReadPatchStore(path), {}, {}};
    const QByteArray& store = pair.store;
    const qsizetype count = EntryCount(store);
    const QLatin1Char tab('\t');
    for (qsizetype i = 0; i < count; ++i) {
        out << PatchListLine(store, i);
        if (details) {
            const DetailValues values = ShowPatchDetails(PatchImage::FromStore(store, i));
            out << tab << EntryText(ParameterList::DriveType, values.driveType) << tab
                << EntryText(ParameterList::CabType, values.cabType) << tab
                << EntryText(ParameterList::CabSpeaker, values.cabSpeaker) << tab << OnOff(values.driveOn)
                << tab << OnOff(values.cabOn) << tab << EscapeDescription(pair.descriptions.value(i + 1));
        }
        out << QLatin1Char('\n');
    }
    WarnIfShort(path, store, err);
    return ExitSuccess;
}

int CommandListCsv(const QString& path, QTextStream& out, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    const PairContent pair = ReadPair(path);
    const QByteArray& store = pair.store;
    const QStringList& descArray = pair.descriptions;
    // The stream drops a byte order mark found in the text; it writes its own before any output.
    out.setGenerateByteOrderMark(true);
    out << QString::fromUtf8(SetListCsv(SetListRows(store, descArray)).mid(3));
    WarnIfShort(path, store, err);
    return ExitSuccess;
}

int CommandCheck(const QString& path, QTextStream& out, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    const QByteArray content = ReadFileAsString(path);
    QString kind;
    QByteArray store;
    if (IsLibraryPath(path)) {
        kind = QStringLiteral("library");
        store = LibraryStore(path, content);
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

} // namespace quillbox::tool
