#include "DescriptionFile.h"

#include "FileAccess.h"
#include "ProfileFile.h"

namespace quillbox {

namespace {
const QString LineBreakCode = QStringLiteral("&*&");
} // namespace

QString EncodeLineBreaks(const QString& description) {
    QString value;
    value.reserve(description.size());
    const qsizetype n = description.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = description[i];
        if (c == u'\r') {
            value += LineBreakCode;
            if (i + 1 < n && description[i + 1] == u'\n')
                ++i; // CR LF is one line break
        } else if (c == u'\n') {
            value += LineBreakCode;
        } else {
            value += c;
        }
    }
    return value;
}

QString DecodeLineBreaks(const QString& value) {
    QString description = value;
    description.replace(LineBreakCode, QStringLiteral("\r\n"));
    return description;
}

QString ReadDescription(const QString& section, const QString& keyName, const QString& defaultText,
                        const QString& iniFile) {
    QByteArray bytes;
    try {
        bytes = ReadFileAsString(iniFile);
    } catch (const FileError&) {
        return defaultText; // reading a description never fails
    }
    return ProfileFile::FromBytes(bytes).Value(section, keyName, defaultText);
}

DescriptionReader::DescriptionReader(const QString& iniFile) {
    try {
        *this = FromBytes(ReadFileAsString(iniFile));
    } catch (const FileError&) {
        // No side file, or one we cannot read: every description is empty.
    }
}

DescriptionReader DescriptionReader::FromBytes(const QByteArray& bytes) {
    DescriptionReader reader;
    reader.values_ = ProfileFile::FromBytes(bytes).SectionValues(DescriptionSection);
    return reader;
}

QString DescriptionReader::Description(qsizetype position1) const {
    // Keys are compared lower-cased; decimal numbers are their own lower case.
    return DecodeLineBreaks(values_.value(QString::number(position1)));
}

std::optional<QByteArray> BuildSideFile(const std::optional<QByteArray>& existing,
                                        const QStringList& descriptions, qsizetype count) {
    if (count <= 0)
        return existing; // no entry to write: an existing file stays exactly as it is
    ProfileFile file = ProfileFile::FromBytes(existing.value_or(QByteArray()));
    QList<std::pair<QString, QString>> entries;
    entries.reserve(count);
    for (qsizetype i = 1; i <= count; ++i)
        entries.append({QString::number(i), EncodeLineBreaks(descriptions.value(i))});
    file.SetValues(DescriptionSection, entries);
    return file.ToBytes();
}

} // namespace quillbox
