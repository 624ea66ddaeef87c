#include "SetList.h"

#include "FieldMap.h"
#include "PatchImage.h"
#include "PatchName.h"
#include "ValueTables.h"

#include <algorithm>

namespace quillbox {

namespace {

QString TableText(ParameterList list, int index) {
    return index < 0 ? QString() : ParameterTable(list).entries.value(index);
}

QString OnOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// A spreadsheet runs a cell that starts with = + - or @ as a formula (a description like
// "=HYPERLINK(...)" would become a link), and some take a leading tab or carriage return the same
// way. Such a cell gets a leading apostrophe, which keeps it text. Leading blanks are looked past,
// as a spreadsheet that trims them would.
QString Neutralised(const QString& field) {
    const auto first = std::find_if(field.cbegin(), field.cend(), [](QChar c) { return c != u' '; });
    if (first != field.cend() && QStringView(u"=+-@\t\r").contains(*first))
        return u'\'' + field;
    return field;
}

QString CsvField(const QString& text) {
    const QString field = Neutralised(text);
    const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\r') ||
                       field.contains(u'\n') || field != field.trimmed();
    if (!quote)
        return field;
    return u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

QStringList SetListHeader() {
    return {QStringLiteral("Position"), QStringLiteral("Name"),        QStringLiteral("Drive type"),
            QStringLiteral("Cab type"), QStringLiteral("Cab speaker"), QStringLiteral("Drive"),
            QStringLiteral("Cab"),      QStringLiteral("Description")};
}

std::vector<SetListRow> SetListRows(const QByteArray& store, const QStringList& descArray) {
    std::vector<SetListRow> rows;
    const qsizetype count = EntryCount(store);
    rows.reserve(size_t(count));
    for (qsizetype k = 0; k < count; ++k) {
        const PatchImage image = PatchImage::FromStore(store, k);
        const DetailValues v = ShowPatchDetails(image);
        rows.push_back({QStringLiteral("%1").arg(k + 1, 2, 10, QLatin1Char('0')),
                        StringToPatchName(QByteArrayView(image.Bytes()).sliced(11, 6)).name.trimmed(),
                        TableText(ParameterList::DriveType, v.driveType),
                        TableText(ParameterList::CabType, v.cabType),
                        TableText(ParameterList::CabSpeaker, v.cabSpeaker), OnOff(v.driveOn), OnOff(v.cabOn),
                        descArray.value(k + 1)});
    }
    return rows;
}

QByteArray SetListCsv(const std::vector<SetListRow>& rows) {
    QString text;
    const auto record = [&text](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields)
            quoted.append(CsvField(f));
        text += quoted.join(u',') + QStringLiteral("\r\n");
    };
    record(SetListHeader());
    for (const SetListRow& r : rows)
        record({r.position, r.name, r.driveType, r.cabType, r.cabSpeaker, r.drive, r.cab, r.description});
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace quillbox
