#pragma once

// The commands that set patches and libraries against each other: diff, reconcile, merge.
#include <QString>
#include <QTextStream>
#include <optional>

namespace quillbox::tool {

struct Records;

// Compares the patches FILE1:POS1 and FILE2:POS2.
int CommandDiff(const QString& first, const QString& second, const Records& records, QTextStream& out,
                QTextStream& err);
// What differs between two libraries (and, with a base, what a merge takes), entry by entry.
int CommandReconcile(const QString& leftPath, const QString& rightPath,
                     const std::optional<QString>& basePath, const Records& records, QTextStream& out,
                     QTextStream& err);
// The three-way merge of LEFT and RIGHT over BASE, written as OUT.
int CommandMerge(const QString& leftPath, const QString& rightPath, const QString& basePath,
                 const QString& outPath, bool force, QTextStream& out, QTextStream& err);

} // namespace quillbox::tool
