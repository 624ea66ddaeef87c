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

QString PatchNameCharacters() {
    // Codes 48 and 49 repeat the blank of code 0.
    return DeviceAlphabet.left(48);
}

int PatchCodeFromChar(QChar ch) {
    // Only ASCII letters fold: other scripts' case mappings (dotless i, long s) must not slip in.
    const QChar upper = ch >= u'a' && ch <= u'z' ? QChar(ch.unicode() - (u'a' - u'A')) : ch;
    return static_cast<int>(PatchNameCharacters().indexOf(upper));
}

PatchNameCodes EncodePatchName(const QString& text) {
    PatchNameCodes result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int code = i < 6 ? PatchCodeFromChar(text[i]) : -1;
        if (code < 0) {
            result.refused = i;
            return result;
        }
        result.codes[static_cast<size_t>(i)] = code;
    }
    return result;
}

QString NameCutShortRefusal(const QString& line) {
    return QStringLiteral("Nothing renamed: ") + line +
           QStringLiteral(" ends before its name, cut short by the end of its file");
}

QString PatchNameRefusal(const QString& text, const PatchNameCodes& codes) {
    if (codes.refused >= 6)
        return QStringLiteral("A patch name has at most 6 characters: \"%1\" has %2")
            .arg(text)
            .arg(text.size());
    return QStringLiteral("A patch name cannot hold \"%1\"; allowed are A-Z, 0-9, the blank and %2")
        .arg(text.mid(codes.refused, 1), QStringLiteral("' < > * + - / [ = ] @"));
}

void WritePatchName(QByteArray& image, const std::array<int, 6>& codes) {
    Q_ASSERT(image.size() >= PatchNameOffset + 6);
    quint64 field = PatchNameField(image.constData()) & ~PatchNameMask;
    for (size_t c = 0; c < 6; ++c)
        field |= quint64(codes[c] & 63) << (5 + 6 * c);
    SetPatchNameField(image.data(), field);
}

} // namespace quillbox
