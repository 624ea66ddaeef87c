#pragma once

#include "EarlierVersions.h"
#include "FileError.h"
#include "LibraryFile.h"
#include "ShowRecord.h"

#include <QByteArray>
#include <QString>

namespace quillbox {

// A show file ("NAME.psshow"): UTF-8 JSON, versioned, read with the same distrust as any file a
// user may be handed. The format (see the README):
//
//   {"format": "quillbox-show", "version": 1, "title": "...",
//    "songs": [{"title": "...", "notes": "...",
//               "cues": [{"label": "...", "patch": "<36 hex digits>", "description": "...",
//                         "source": {"path": "...", "position": 3, "patch": "<36 hex digits>"}}]}]}
//
// Unknown members are ignored (a later version may add some); a later "version" is refused.
class ShowFile {
public:
    static constexpr int Version = 1;
    // Bounds on what a show may hold; a file beyond them is refused with a message naming the bound.
    static constexpr qint64 MaxBytes = qint64(16) * 1024 * 1024;
    static constexpr qsizetype MaxSongs = 10000;
    static constexpr qsizetype MaxCues = 100000; // in the whole show
    static constexpr qsizetype MaxTextLength = 255; // a title, a label, a description
    static constexpr qsizetype MaxNotesLength = 65536;
    static constexpr qsizetype MaxPathLength = 4096;

    static QByteArray Encode(const ShowRecord& show);
    // The show the bytes hold. Throws FileError (NotAShowNumber) saying what is wrong, and where.
    static ShowRecord Decode(const QByteArray& bytes);

    // Reads the show at `path`. Throws FileError: the file's own errors (missing, unreadable, too
    // large) or NotAShowNumber.
    static ShowRecord Read(const QString& path);
    // Writes `show` to `path` through a safe save and keeps the file it replaces as an earlier
    // version in `versions`. Returns why that version could not be kept (empty when it was, or when
    // there was nothing to keep). Throws FileError when nothing was written.
    static QString Save(const QString& path, const ShowRecord& show, EarlierVersions versions = EarlierVersions());
};

// A failure of ShowFile::Decode / Read: the file is not a show Quillbox can read.
inline constexpr qint64 NotAShowNumber = 0x80040102;

} // namespace quillbox
