#pragma once

#include "TextEncoding.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quillbox {

inline const QString DescriptionSection = QStringLiteral("Description");

// Line breaks inside a description are stored as "&*&". CR LF, and also a lone CR or LF, become
// "&*&", so a value can never break its line; reading turns every "&*&" into CR LF.
QString EncodeLineBreaks(const QString& description);
QString DecodeLineBreaks(const QString& value);

// The value of `keyName` in `section` of `iniFile`, or `defaultText` when the file (or the section,
// or the key) does not exist or cannot be read. Line breaks are not decoded here.
QString ReadDescription(const QString& section, const QString& keyName, const QString& defaultText,
                        const QString& iniFile);

// Reads a side file once and answers descriptions by 1-based position, with line breaks decoded.
// A missing or unreadable file gives empty descriptions.
class DescriptionReader {
public:
    DescriptionReader() = default;
    explicit DescriptionReader(const QString& iniFile);
    // With `count` given, only positions 1..count are kept, each from its first line, so that what
    // the reader holds beside the text grows with the entries asked for, not with the file's lines.
    static DescriptionReader FromBytes(const QByteArray& bytes, std::optional<qsizetype> count = {});
    QString Description(qsizetype position1) const;
    // Description(position1) appended to `utf8` in UTF-8: an ASCII value without line breaks is
    // copied straight from the file's bytes.
    void AppendDescription(qsizetype position1, QByteArray& utf8) const;
    // The descriptions of positions 1..count as a description array: element 0 empty, element i
    // the description of position i.
    QStringList DescArray(qsizetype count) const;
    // FromBytes(bytes, count).DescArray(count) in one pass over the bytes of a Windows-1252 or UTF-8
    // file: each value is decoded straight into the buffer the descriptions share, with no index of
    // the lines in between. A file that must be decoded whole takes the two steps.
    static QStringList DescArrayOf(const QByteArray& bytes, qsizetype count);

private:
    struct Entry {
        qsizetype position = 0;
        qsizetype start = 0; // the value's place in text_
        qsizetype length = 0;
    };
    // The file, and the keys that name a position (as QString::number writes it), sorted by
    // position, the first line of each position only. Descriptions are made when asked for. A
    // Windows-1252 or UTF-8 file is kept as its bytes and each description decoded on its own;
    // other files are decoded whole.
    const Entry* Find(qsizetype position1) const;
    QString text_;
    QByteArray bytes_;
    std::optional<TextEncoding> bytesEncoding_; // set when the entries point into bytes_
    std::vector<Entry> entries_;
};

// Empties `descriptions`. The slices of one buffer that DescArray and DescArrayOf give, when nothing
// but this list holds that buffer, let go of it at once rather than each counting its reference down
// (an atomic operation per description); everything else is freed as usual.
void ReleaseDescArray(QStringList& descriptions);

// The new content of a side file that holds `descriptions` (element i is the description of
// position i; element 0 is not written) for positions 1..count, written over `existing` (the old
// file's bytes, or nullopt when there is none). Returns nullopt when nothing needs to be written
// (no entries and no existing file).
std::optional<QByteArray> BuildSideFile(const std::optional<QByteArray>& existing,
                                        const QStringList& descriptions, qsizetype count);

} // namespace quillbox
