#pragma once

// The commands that write whole files: convert, and the earlier versions of a library (versions,
// restore).
#include <QString>
#include <QTextStream>

namespace quillbox::tool {

struct Records;

// The patches of IN, with their descriptions, written as OUT (a library or a patch file by its name).
int CommandConvert(const QString& inPath, const QString& outPath, bool force, QTextStream& out,
                   QTextStream& err);
// The earlier versions kept of the library FILE, newest first.
int CommandVersions(const QString& path, const Records& records, QTextStream& out);
// Earlier version `number` (as CommandVersions numbers it) of FILE written as the library OUT.
int CommandRestore(const QString& path, const QString& number, const QString& outPath, bool force,
                   QTextStream& out, QTextStream& err);

} // namespace quillbox::tool
