#pragma once

#include "EarlierVersions.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillbox {

// A library (or device patch file) together with its description side file on disk: the one place
// where an interrupted save of the pair is recovered and where the pair is saved, for the window and
// the tool alike. A library's replaced pair is kept as an earlier version once the save is complete.
class LibraryPairFile {
public:
    // `versions` holds the earlier versions (its default folder when not given).
    explicit LibraryPairFile(QString path, EarlierVersions versions = EarlierVersions());

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
};

} // namespace quillbox
