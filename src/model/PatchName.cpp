#include "PatchName.h"

#include "BitRoutines.h"

#include <array>

namespace quillbox {

const QString DeviceAlphabet = QStringLiteral(" '<>*+-/0123456789[=]@ABCDEFGHIJKLMNOPQRSTUVWXYZ  ");

QString PatchCharFromCode(int code) {
    if (code >= 0 && code < DeviceAlphabet.size())
        return DeviceAlphabet.mid(code, 1);
    return QLatin1Char('(') + QString::number(code) + QLatin1Char(')');
}

PatchNameResult StringToPatchName(QByteArrayView source) {
    constexpr int NameBytes = 6;
    if (source.size() < NameBytes) {
        return {QString(), false,
                QStringLiteral("the patch ends after %1 of the 6 name bytes").arg(source.size())};
    }
    // All six bytes are read before any character is rendered.
    std::array<qint16, NameBytes> bytes{};
    for (int i = 0; i < NameBytes; ++i)
        bytes[i] = static_cast<quint8>(source[i]);

    // The name covers bits 5..40 of the little-endian 48-bit number formed by the six bytes; each
    // character takes the next six bits, least significant first.
    QString name;
    for (int c = 0; c < NameBytes; ++c) {
        int code = 0;
        for (int k = 0; k < 6; ++k) {
            const int bitOfField = 5 + 6 * c + k;
            if (IsBitSet(bytes[bitOfField / 8], static_cast<qint16>(bitOfField % 8)))
                code += 1 << k;
        }
        name += PatchCharFromCode(code);
    }
    return {name, true, QString()};
}

} // namespace quillbox
