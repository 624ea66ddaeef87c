#include "PatchList.h"

#include "PatchImage.h"
#include "PatchName.h"

#include <algorithm>

namespace quillbox {

namespace {
constexpr qsizetype NameLength = 6;
} // namespace

QString PatchListLine(const QByteArray& store, qsizetype index) {
    const QByteArrayView entry = EntryView(store, index);
    QString number = QString::number(index + 1);
    if (number.size() < 2)
        number.prepend(QLatin1Char('0'));
    const QByteArrayView nameBytes = entry.sliced(std::min(PatchNameOffset, entry.size()));
    return number + QStringLiteral(":  ") +
           StringToPatchName(nameBytes.first(std::min(NameLength, nameBytes.size()))).name;
}

QStringList FillPatchList(const QByteArray& store) {
    QStringList lines;
    const qsizetype count = EntryCount(store);
    lines.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        lines.append(PatchListLine(store, i));
    return lines;
}

QString PatchCountToolTip(qsizetype count) {
    return QString::number(count) + QStringLiteral(" Patches");
}

bool StoreHasUnreadableName(const QByteArray& store, QString* error) {
    const qsizetype count = EntryCount(store);
    if (count == 0)
        return false;
    const QByteArrayView last = EntryView(store, count - 1);
    if (last.size() >= PatchNameOffset + NameLength)
        return false;
    if (error) {
        const QByteArrayView nameBytes = last.sliced(std::min(PatchNameOffset, last.size()));
        *error = StringToPatchName(nameBytes).error;
    }
    return true;
}

int MostCodesOutsideAlphabet(const QByteArray& store) {
    const qsizetype count = EntryCount(store);
    int most = 0;
    for (qsizetype i = 0; i < count && most < NameLength; ++i) {
        const qsizetype at = i * PatchImageSize;
        if (at + PatchNameOffset + NameLength > store.size())
            break; // an entry cut short shows no name
        const quint64 field = PatchNameField(store.constData() + at);
        int outside = 0;
        for (int c = 0; c < NameLength; ++c)
            outside += PatchNameCode(field, c) >= DeviceAlphabet.size() ? 1 : 0;
        most = std::max(most, outside);
    }
    return most;
}

} // namespace quillbox
