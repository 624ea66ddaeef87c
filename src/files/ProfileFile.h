#pragma once

#include "TextEncoding.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>
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

    // Reads the keys of the first section named `section` straight from decoded text, without
    // building a ProfileFile: `visit` gets each key line in file order with its trimmed name and
    // its value as Value() reads it (`hasValue` false for a key written without '='). Repeated keys
    // are all passed; the first one is the one that counts.
    // The bytes that FromBytes(bytes), SetValues(section, {{"1", value(1)}, .., {count, value(count)}})
    // and ToBytes() give, made in one pass over the text without a line list or a key index, so that
    // a side file of 100,000 entries is rewritten in a few milliseconds. `count` must be at least 1.
    // `storedAs`, when given, tells whether the bytes a line of a Windows-1252 or UTF-8 file holds
    // after "position=" are value(position) in the file's encoding, character for character; a line
    // that would be written back byte for byte is then kept without making its value.
    using StoredCheck = std::function<bool(qsizetype position, QByteArrayView stored, TextEncoding encoding)>;
    static QByteArray SetNumberedValues(const QByteArray& bytes, const QString& section, qsizetype count,
                                        const std::function<QString(qsizetype position)>& value,
                                        const StoredCheck& storedAs = {});

    using KeyVisitor = std::function<void(QStringView key, QStringView value, bool hasValue)>;
    static void ScanSection(QStringView text, const QString& section, const KeyVisitor& visit);
    // ScanSection() on a file's bytes, without decoding it: names and values are slices of the
    // body (see ByteTextOf), the value still quoted-stripped as Value() reads it. Returns the file's
    // ByteText, or nullopt when the file must be decoded and scanned as text: it cannot be read on
    // its bytes, or a section header or `section` holds a character beyond ASCII (Unicode case
    // folding could make it match). Keys already visited then count for nothing.
    using KeyBytesVisitor = std::function<void(QByteArrayView key, QByteArrayView value, bool hasValue)>;
    static std::optional<ByteText> ScanSectionBytes(QByteArrayView bytes, const QString& section,
                                                    const KeyBytesVisitor& visit);
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
