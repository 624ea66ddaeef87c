#pragma once

#include "FileError.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace quillbox {

// A library file and its description side file, byte for byte; `side` is nullopt when there is no
// side file.
struct LibraryPair {
    QByteArray library;
    std::optional<QByteArray> side;
    friend bool operator==(const LibraryPair&, const LibraryPair&) = default;
};

// One kept version, as listed.
struct EarlierVersion {
    QString id;              // its name in the store; stays the same while the version is kept
    QDateTime time;          // the save that replaced it (UTC)
    qsizetype patches = -1;  // entries of its library file; -1 when it is not a valid library
    qint64 libraryBytes = 0; // size of its library file
    qint64 sideBytes = -1;   // size of its side file; -1 when there was none
};

// Earlier versions of libraries: every save keeps the pair it replaces here, outside the library's
// folder, so that saving a mistake is never final. One folder per library path (named after a hash
// of the path, with a file recording the path itself), the newest `Kept` versions per library.
// Each file of a version is written whole and renamed into place, side file first, so a version whose
// library file exists is complete.
class EarlierVersions {
public:
    static constexpr int Kept = 20;
    static constexpr int KeptExports = 5;
    using Clock = std::function<QDateTime()>;

    // `folder` holds the per-library folders; empty means DefaultFolder(). Without a clock the
    // current time is used.
    explicit EarlierVersions(QString folder = QString(), Clock clock = {});

    // "versions" in the user's writable data location for the program (QStandardPaths::AppDataLocation).
    static QString DefaultFolder();
    QString Folder() const { return folder_; }
    // The folder of one library's versions (whether or not it exists yet).
    QString FolderFor(const QString& libPath) const;

    // Keeps `replaced`, the pair a save has just replaced at `libPath`, as the newest version and
    // prunes the oldest beyond `Kept`; first removes what a killed keeping of this library left. Keeps
    // nothing when `replaced` is the newest version already. Returns true when a version was kept.
    // Throws FileError when it cannot keep it (a full disk is named as such).
    bool Keep(const QString& libPath, const LibraryPair& replaced);

    // The versions kept for `libPath`, newest first (number 1 is the newest). Nothing when none.
    QList<EarlierVersion> List(const QString& libPath) const;
    // The pair of version `id`. Throws FileError when it cannot be read.
    LibraryPair Read(const QString& libPath, const QString& id) const;

    // Export records: the bytes and side file an export of the library wrote to a device patch file,
    // kept in the library's folder as "export-<sequence>-<UTC time>.pch" (side file beside it), the
    // newest `KeptExports`. They are the common past when the device's patch file comes back.
    // Throws FileError when the record cannot be written.
    void KeepExport(const QString& libPath, const LibraryPair& exported);
    // The records of `libPath`, newest first; `patches` counts the entries of the patch file.
    QList<EarlierVersion> Exports(const QString& libPath) const;
    LibraryPair ReadExport(const QString& libPath, const QString& id) const;

    // For a scan of the store that only reads (of any owner's files), per library's folder `dir` of
    // the store: the file that records which library the folder is for, and the library files of
    // the versions kept there by name (only names of this store's own pattern).
    static QString PathRecordOf(const QString& dir);
    static QStringList VersionFiles(const QString& dir);

private:
    QString folder_;
    Clock clock_;
};

} // namespace quillbox
