#pragma once

#include "TextEncoding.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <utility>

namespace quillbox {

// A profile (INI) text read and written the way the Windows profile routines do it:
// - any run of CR/LF ends a line; lines are trimmed for parsing; blank lines are ignored;
// - "[name]" names a section (the name runs to the last ']'); section and key names compare
//   case-insensitively after trimming; the first matching section and key win;
// - a line without '=' is a key without a value (reads as the default);
// - a value is the text after the first '=', trimmed, with one pair of matching surrounding
//   '"' or '\'' removed; comments are not special.
// Writing changes the first matching key in place, adds a new key after the last non-blank line of
// its section and a new section at the end; untouched lines keep their bytes. Values that would not
// read back unchanged are written inside double quotes. The file keeps its encoding while the text
// fits it; Windows-1252 text that no longer fits becomes UTF-8 with a BOM.
class ProfileFile {
public:
    static ProfileFile FromBytes(const QByteArray& bytes);

    QString Value(const QString& section, const QString& key, const QString& defaultText) const;
    // Every key of the first matching section with its value, the first occurrence of each key
    // winning; keys are trimmed and lower-cased. A key written without '=' maps to a null QString
    // (it reads as the default).
    QHash<QString, QString> SectionValues(const QString& section) const;

    // Sets the values in the given order, as repeated single writes would, in linear time.
    void SetValues(const QString& section, const QList<std::pair<QString, QString>>& entries);
    void SetValue(const QString& section, const QString& key, const QString& value);

    QByteArray ToBytes() const;
    TextEncoding Encoding() const { return encoding_; }

private:
    struct Line {
        QString text;       // without its terminator
        QString terminator; // the line break that ended it (CR LF, CR or LF); empty for a last line
                            // without one. Blank lines are lines of their own.
    };
    QList<Line> lines_;
    TextEncoding encoding_ = TextEncoding::Cp1252;
};

} // namespace quillbox
