#pragma once

#include "EarlierVersions.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillbox {

// A failure of Read(): the file is named a library but does not hold one.
inline constexpr qint64 NotALibraryNumber = 0x80040101;

// A library or device patch file as read with its side file.
struct PairContent {
    QByteArray store;         // the entries: a library's decoded, a device patch file's as they are
    QStringList descriptions; // element 0 unused, element i the description of entry i
    // A side file that exists but could not be read: why (the descriptions are empty then).
    QString sideFileProblem;
};

// A library (or device patch file) together with its description side file on disk: the one place
// where an interrupted save of the pair is recovered and where the pair is saved, for the window and
// the tool alike. A library's replaced pair is kept as an earlier version once the save is complete.
class LibraryPairFile {
public:
    // `versions` holds the earlier versions (its default folder when not given). A library's replaced
    // pair is kept there; any other file's too when `keepAnyFile` (a show, a device file built from
    // one over an older file).
    explicit LibraryPairFile(QString path, EarlierVersions versions = EarlierVersions(), bool keepAnyFile = false);

    // The one reader of a pair. ReadStore gives the entries: a path IsLibraryPath calls a library must
    // hold one (else FileError NotALibraryNumber, "Not a valid Library (REASON)"); any other file is
    // taken byte for byte. Read adds the descriptions of its side file, none when there is none.
    // Throws FileError when the file cannot be read.
    QByteArray ReadStore() const;
    PairContent Read() const;
    // The same from bytes in hand (an earlier version, a kept export): entries with their side file's
    // bytes, or a library's content with them.
    static PairContent WithSide(QByteArray store, const std::optional<QByteArray>& side);
    static PairContent FromLibraryBytes(const QByteArray& content, const std::optional<QByteArray>& side);
    // The side file as it is on disk, for a save to write over (its other sections and keys stay);
    // nullopt when there is none. Throws FileError when one exists but cannot be read.
    std::optional<QByteArray> ExistingSide() const;
    // The side file a save writes for `descriptions` (element i: entry i) of `count` entries, over the
    // one on disk so that its other sections and keys stay; nullopt when nothing needs writing. One
    // that exists but cannot be read fails here, before anything is written.
    std::optional<QByteArray> SideFor(const QStringList& descriptions, qsizetype count) const;

    // Finishes or undoes an interrupted save of the pair (see SafeSave::Recover) and says what it
    // did; nothing when there was none.
    // `foreign`, when given, is set to whether a record was left alone as not ours.
    std::optional<QString> Recover(bool* foreign = nullptr) const;

    // Writes the file (and the side file when `side` is given; else the side file stays as it is)
    // together. Returns why the pair it replaced could not be kept as an earlier version, empty when
    // it was kept or there was nothing to keep. Throws FileError when nothing was saved.
    QString Save(const QByteArray& content, const std::optional<QByteArray>& side) const;

private:
    bool KeepsVersions() const;
    bool Keep(const LibraryPair& replaced, QString& problem) const;

    QString path_;
    mutable EarlierVersions versions_; // keeping a version changes only its folder
    bool keepAnyFile_ = false;
};

} // namespace quillbox
