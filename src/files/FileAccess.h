#pragma once

#include "FileError.h"

#include <QByteArray>
#include <QString>

namespace quillbox {

// Largest file the program reads; anything bigger is refused before it is read.
inline constexpr qint64 MaxReadSize = 16 * 1024 * 1024;

// The whole file, byte for byte. Throws FileError:
//  - missing file: number FileNotFoundNumber, description "File not found: " + path
//  - larger than MaxReadSize: a description naming the file and the limit
//  - cannot open (a folder, no permission): "ReadFileAsString Error - Cannot open the file: " + path
//  - read failure: "Error: Cannot read the file: " + path
QByteArray ReadFileAsString(const QString& filePath);

// Writes `content` to the file. writeMode 1 appends (creating the file when missing); any other
// value replaces the file atomically (temporary file beside it, then rename), so a failure leaves the
// old file as it was. Throws FileError with source "WriteToFile" and the descriptions
// "Error: Cannot open the file: ", "Error: Cannot write to the file: ", "Error: Cannot wflush the file: "
// followed by the path.
void WriteToFile(const QString& filePath, const QByteArray& content, qint32 writeMode);

// True when anything exists at the path (also a folder or an unreadable file), so that a caller
// that creates a file for False never writes over an existing one.
bool FileExists(const QString& filePath);

// The part after the last directory separator ('/' here, '\\' on Windows); the whole text without one.
QString GetFileName(const QString& filePath);

} // namespace quillbox
