#include "ToolCompare.h"

#include "PatchComparison.h"
#include "PatchImage.h"
#include "PatchName.h"
#include "Reconcile.h"
#include "ToolPairs.h"
#include "ToolSupport.h"

namespace quillbox::tool {

namespace {

// Both sides of a reconciliation (and the base) are read whole, with their descriptions.
ReconcileSide ReadSide(const QString& path, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    PairContent pair = ReadPair(path);
    return {std::move(pair.store), std::move(pair.descriptions)};
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

} // namespace

// Compares two patches as the compare window does. Exit 0: identical; 1: they differ; 2: trouble.
int CommandDiff(const QString& first, const QString& second, const Records& records, QTextStream& out,
                QTextStream& err) {
    const auto [leftPath, leftPos] = FileAndPosition(first);
    const auto [rightPath, rightPos] = FileAndPosition(second);
    const PatchComparison comparison = WithTroubleAsTwo([&] {
        RecoverInterruptedSave(leftPath, err);
        RecoverInterruptedSave(rightPath, err);
        const QByteArray left = ReadPatchStore(leftPath), right = ReadPatchStore(rightPath);
        return ComparePatches(left, PositionIn(leftPos, EntryCount(left), leftPath) - 1, right,
                              PositionIn(rightPos, EntryCount(right), rightPath) - 1);
    });
    out << ComparisonText(comparison, records.Path(leftPath) + QLatin1Char(':') + leftPos,
                          records.Path(rightPath) + QLatin1Char(':') + rightPos, records.End());
    return comparison.Identical() ? ExitSuccess : ExitDiffers;
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
        if (outPath != leftPath && outPath != rightPath && outPath != basePath)
            RecoverInterruptedSave(outPath, err);
        RefuseToReplace(outPath, force);
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

} // namespace quillbox::tool
