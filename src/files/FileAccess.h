#pragma once

#include "FileError.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillbox {

// One size rule for every file the program reads or writes, so that whatever a save writes the next
// load reads back: 1,000,000 entries with full descriptions fit in any encoding the side file gets.
// A bigger file is refused before a byte of it is read, and a save that would write one is refused
// before anything is written.
inline constexpr qint64 DefaultMaxFileSize = qint64(1) << 30;
qint64 MaxFileSize();
// The limit in words for messages ("1 GiB").
QString MaxFileSizeText();
// Test seam: a smaller limit, so that the rule is tested without files of a gibibyte; 0 restores it.
void SetMaxFileSizeForTest(qint64 limit);

// The whole file, byte for byte. Only a regular file (or a link to one) is read: a FIFO, device or
// socket is refused at once rather than waited on. Throws FileError:
//  - missing file: number FileNotFoundNumber, description "File not found: " + path
//  - larger than MaxFileSize(): a description naming the file and the limit
//  - cannot open (a folder, no permission): "ReadFileAsString Error - Cannot open the file: " + path
//  - not a regular file, or a name too long for the file system: a description saying so
//  - read failure: "Error: Cannot read the file: " + path
QByteArray ReadFileAsString(const QString& filePath);

// Writes `content` to the file. writeMode 1 appends (creating the file when missing); any other
// value replaces the file atomically (temporary file beside it, then rename), so a failure leaves the
// old file as it was. Throws FileError with source "WriteToFile" and the descriptions
// "Error: Cannot open the file: ", "Error: Cannot write to the file: ", "Error: Cannot wflush the file: "
// followed by the path; content over MaxFileSize(), a target that is not a regular file and a name
// too long for the file system are refused before anything is written (see SafeSave).
void WriteToFile(const QString& filePath, const QByteArray& content, qint32 writeMode);

// A file name given as bytes (a command-line argument) as text, or nullopt when the bytes are not
// valid text in the system's encoding of file names: decoded, they would name a different file.
std::optional<QString> FileNameFromBytes(const QByteArray& name);
// Why such a name is refused, and what to do.
QString FileNameNotTextMessage(const QByteArray& name);
// The real bytes behind a path that a file dialog or a drop made of a name that is not valid text:
// such a name arrives with U+FFFD in place of its bad bytes and so names another file, or none. Each
// part of the path that names nothing is matched against the entries of its folder whose names are
// not text. nullopt when the path names something as it is, or no such entry decodes to it.
std::optional<QByteArray> NameNotTextBehind(const QString& path);

// True when anything exists at the path (also a folder or an unreadable file), so that a caller
// that creates a file for False never writes over an existing one. False for a name too long for
// the file system, which can name nothing.
bool FileExists(const QString& filePath);

// The part after the last directory separator ('/' here, '\\' on Windows); the whole text without one.
QString GetFileName(const QString& filePath);

#ifdef Q_OS_UNIX
// Writes all of `content` to the open file `fd` with the system call itself, so that errno tells
// why a write failed. Returns the bytes written, or -1.
qint64 WriteAllToFd(int fd, const QByteArray& content);
#endif

} // namespace quillbox
