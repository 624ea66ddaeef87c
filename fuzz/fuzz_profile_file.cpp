// The profile (INI) reader and writer: read any bytes, write them back, read again and compare;
// then set values and check that they read back.
#include "FuzzSupport.h"
#include "ProfileFile.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <utility>

using namespace quillbox;
using namespace quillbox::fuzz;

namespace {

// The section names a text mentions, so that every section of the file is compared.
QStringList SectionNames(const QString& text) {
    QStringList names;
    for (QStringView line : QStringView(text).split(QRegularExpression(QStringLiteral("[\r\n]+")))) {
        line = line.trimmed();
        const qsizetype close = line.lastIndexOf(u']');
        if (line.startsWith(u'[') && close > 0)
            names.append(line.sliced(1, close - 1).toString());
    }
    names.append(QStringLiteral("Description"));
    return names;
}

// A name the profile format can hold: no line break, no '=', no brackets, something besides blanks.
QString Name(const QByteArray& raw) {
    QString name = QString::fromUtf8(raw);
    name.remove(QRegularExpression(QStringLiteral("[\r\n=\\[\\]]")));
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("k") : name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input(data, size);
    const int entryCount = input.Byte() % 8;
    const QString section = Name(input.Piece(12));
    QList<std::pair<QString, QString>> entries;
    for (int i = 0; i < entryCount; ++i) {
        const QString key = Name(input.Piece(8));
        entries.append({key, QString::fromUtf8(input.Piece(40))});
    }
    const QByteArray bytes = input.Rest();

    // Written back unchanged, the file is what it was: every line we did not touch keeps its bytes.
    const ProfileFile file = ProfileFile::FromBytes(bytes);
    const QByteArray written = file.ToBytes();
    const ProfileFile again = ProfileFile::FromBytes(written);
    FUZZ_CHECK(again.ToBytes() == written);
    const QString text = DecodeText(bytes).text;
    for (const QString& name : SectionNames(text))
        FUZZ_CHECK(file.SectionValues(name) == again.SectionValues(name));

    // Values set read back as they were set (line breaks become blanks; the last write of a key
    // wins), and the other sections are left as they were.
    ProfileFile changed = file;
    changed.SetValues(section, entries);
    const ProfileFile reread = ProfileFile::FromBytes(changed.ToBytes());
    QHash<QString, QString> expected;
    for (const auto& [key, value] : entries) {
        QString flat = value;
        flat.replace(u'\r', u' ').replace(u'\n', u' ');
        expected.insert(key.toLower(), flat);
    }
    for (const auto& [key, value] : entries) {
        Q_UNUSED(value);
        FUZZ_CHECK(reread.Value(section, key, QStringLiteral("<none>")) == expected.value(key.toLower()));
    }
    for (const QString& name : SectionNames(text)) {
        if (name.compare(section, Qt::CaseInsensitive) != 0 &&
            name.trimmed().compare(section, Qt::CaseInsensitive) != 0)
            FUZZ_CHECK(reread.SectionValues(name) == file.SectionValues(name));
    }
    return 0;
}
