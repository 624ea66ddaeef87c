#pragma once

#include <QString>
#include <QtGlobal>

namespace quillbox {

inline constexpr qint64 FileErrorNumber = 0x80040001; // every failure of the file routines
inline constexpr qint64 FileNotFoundNumber = 53;      // a file to be read does not exist
inline constexpr qint64 CancelErrorNumber = 18;       // the file dialog was cancelled

// A failure raised by the file routines (and the cancelled file dialog). Commands catch it and show
// `description` as it stands.
struct FileError {
    qint64 number = FileErrorNumber;
    QString source;
    QString description;
};

} // namespace quillbox
