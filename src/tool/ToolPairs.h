#pragma once

// A library or device patch file with its side file, as the tool's commands read, recover and write
// it.
#include "LibraryPairFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace quillbox::tool {

// A save of `path` (with its side file) that a kill or power loss interrupted is finished, or undone,
// before the file is read or written; the user is told which.
void RecoverInterruptedSave(const QString& path, QTextStream& err);

// The store of `content`, the bytes of the library at `path`; refused when it is not a valid library.
QByteArray LibraryStore(const QString& path, const QByteArray& content);

// The patch store of a file, read the way the program reads it: a ".pslib" path as a library
// (which must carry the marker byte), any other path as a device patch file, byte for byte.
QByteArray ReadPatchStore(const QString& path);

// The patches of a file with their descriptions, as the pair reader reads them. A missing side file
// means no descriptions; one that exists but cannot be read is an error rather than silently empty
// descriptions, so that a conversion never drops them unnoticed.
PairContent ReadPair(const QString& path);

// Refuses to replace the file at `path` (`what` says more about it after "already exists").
void RefuseIfExists(const QString& path, const QString& what);

// Refuses, unless `force`, to replace OUT or its side file: the side file counts as part of OUT, since
// an old one would hand its descriptions to the new patches.
void RefuseToReplace(const QString& outPath, bool force);

// Writes `store` with `descriptions` (element 0 unused) as OUT, a library or a patch file by its name,
// with its side file, and says so. An existing side file of OUT is always rewritten, so that
// positions 1..N carry these descriptions (empty ones included) and nothing stale; none is created
// just to hold empty ones. A library's replaced pair is kept as an earlier version once the save is
// complete.
void WriteOut(const QString& outPath, const QByteArray& store, const QStringList& descriptions,
              const QString& how, QTextStream& out, QTextStream& err);

// Says on the error output why the pair a save replaced could not be kept (nothing when it was).
void WarnIfNotKept(const QString& problem, QTextStream& err);

} // namespace quillbox::tool
