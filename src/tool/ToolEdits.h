#pragma once

// The commands that change a library in place, as the window's commands change it: rename, sort, tag.
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace quillbox::tool {

// Renames entry `positionText` (from 1) of the library FILE to `name`.
int CommandRename(const QString& path, const QString& positionText, const QString& name, QTextStream& out,
                  QTextStream& err);
// Sorts the library FILE by name.
int CommandSort(const QString& path, QTextStream& out, QTextStream& err);
// Adds (+TAG) and removes (-TAG) tags in the descriptions of the entries at the positions (from 1)
// given in `arguments`, all or nothing.
int CommandTag(const QString& path, const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace quillbox::tool
