#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace quillbox {

// A path or a name as output meant for scripts writes it, so that no file name can forge a line or a
// field. It is written as it is unless it holds a byte that needs escaping; then it is written in
// double quotes, each such byte escaped as git's core.quotePath writes it: \a \b \t \n \v \f \r, \"
// and \\ for those characters, and \ooo (three octal digits) for any other.
//
// Bytes that need escaping: ASCII control characters and DEL, '"' and '\\'. Beyond ASCII, printable
// UTF-8 stays as it is (as with core.quotePath=false), so "Café.pslib" reads as it is; but every byte
// of a sequence that is not valid UTF-8, and of a character that can hide or reorder what a terminal
// shows (C1 controls, format characters such as bidi overrides and zero-width marks, the line and
// paragraph separators), is escaped as core.quotePath=true escapes it.
QByteArray QuotePathBytes(QByteArrayView bytes);

// The same for a path held as text: its bytes as the file system has them (QFile::encodeName).
QString QuotePath(const QString& path);

// Whether the bytes are written as they are.
bool PathNeedsNoQuotes(QByteArrayView bytes);

} // namespace quillbox
