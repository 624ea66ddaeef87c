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
    const auto* bytes = reinterpret_cast<const quint8*>(store.constData());
    int most = 0;
    for (qsizetype i = 0; i < count && most < NameLength; ++i) {
        const qsizetype at = i * PatchImageSize + PatchNameOffset;
        if (at + NameLength > store.size())
            break; // an entry cut short shows no name
        // The six name bytes as one little-endian number; the codes are its bits 5..40, six each.
        quint64 field = 0;
        for (qsizetype b = NameLength - 1; b >= 0; --b)
            field = (field << 8) | bytes[at + b];
        field >>= 5;
        int outside = 0;
        for (int c = 0; c < NameLength; ++c, field >>= 6)
            outside += (field & 0x3F) >= quint64(DeviceAlphabet.size()) ? 1 : 0;
        most = std::max(most, outside);
    }
    return most;
}

} // namespace quillbox
