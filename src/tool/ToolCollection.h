#pragma once

// The commands over the collection, every patch under the chosen folders: collection scan,
// collection find, where. Each ends with status 2 on any trouble, since 1 tells a result.
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace quillbox::tool {

struct Records;

// Brings the collection's cache up to date with `folders` and prints the counts.
int CommandCollectionScan(const QStringList& folders, QTextStream& out, QTextStream& err);
// Every place whose patch holds all of `words`.
int CommandCollectionFind(const QStringList& folders, bool withVersions, const QStringList& words,
                          const Records& records, QTextStream& out, QTextStream& err);
// Every other place of the same patch (or sound, or name) as FILE:POS.
int CommandWhere(const QString& argument, const QStringList& folders, const Records& records,
                 QTextStream& out, QTextStream& err);

} // namespace quillbox::tool
