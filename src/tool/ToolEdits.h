#pragma once

// The commands that change a library in place, as the window's commands change it: rename, sort.
#include <QString>
#include <QTextStream>

namespace quillbox::tool {

// Renames entry `positionText` (from 1) of the library FILE to `name`.
int CommandRename(const QString& path, const QString& positionText, const QString& name, QTextStream& out,
                  QTextStream& err);
// Sorts the library FILE by name.
int CommandSort(const QString& path, QTextStream& out, QTextStream& err);

} // namespace quillbox::tool
