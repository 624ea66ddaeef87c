#pragma once

// The commands over a show: show new, add, list, check and build. Each ends with status 2 on any
// trouble (a file that is not a show, a bad argument, an output in the way), since check's 1 tells a
// result.
#include <QString>
#include <QTextStream>
#include <optional>

namespace quillbox::tool {

struct Records;

// An empty show at `path`; an existing file is replaced only with `force`.
int CommandShowNew(const QString& path, const std::optional<QString>& title, bool force, QTextStream& out,
                   QTextStream& err);
// Appends the patch at LIBRARY:POS to the song titled `song` (a new last song when none is).
int CommandShowAdd(const QString& path, const QString& song, const QString& place,
                   const std::optional<QString>& label, QTextStream& out, QTextStream& err);
// One line per cue: song, cue (from 1), label, patch name, slot.
int CommandShowList(const QString& path, const Records& records, QTextStream& out, QTextStream& err);
// One line per cue: state, song, cue, patch name, PATH:POS. Exit 1 when a cue is not ok.
int CommandShowCheck(const QString& path, const Records& records, QTextStream& out, QTextStream& err);
// The device patch file of the show and its side file at `outPath`.
int CommandShowBuild(const QString& path, const QString& outPath, bool force, QTextStream& out,
                     QTextStream& err);

} // namespace quillbox::tool
