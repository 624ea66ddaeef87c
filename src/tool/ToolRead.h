#pragma once

// The commands that read a file and say what it holds: list, list --csv, check.
#include <QString>
#include <QTextStream>

namespace quillbox::tool {

// One line per patch as the program lists it; with `details` its parameters and description follow.
int CommandList(const QString& path, bool details, QTextStream& out, QTextStream& err);
// The set list of FILE as CSV, as "Export Set List…" writes it.
int CommandListCsv(const QString& path, QTextStream& out, QTextStream& err);
// What FILE is: a library or a patch file, how many patches, whether its last entry is cut short.
int CommandCheck(const QString& path, QTextStream& out, QTextStream& err);

} // namespace quillbox::tool
