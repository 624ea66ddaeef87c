#include "PatchComparison.h"

#include "PatchImage.h"
#include "PatchName.h"
#include "ValueTables.h"

namespace quillbox {

namespace {

QString TableText(ParameterList list, int index) {
    return index < 0 ? QStringLiteral("(none)") : ParameterTable(list).entries.value(index);
}

QStringList ParameterTexts(const PatchImage& image) {
    const DetailValues v = ShowPatchDetails(image);
    return {TableText(ParameterList::DriveType, v.driveType), TableText(ParameterList::CabType, v.cabType),
            TableText(ParameterList::CabSpeaker, v.cabSpeaker),
            v.driveOn ? QStringLiteral("on") : QStringLiteral("off"),
            v.cabOn ? QStringLiteral("on") : QStringLiteral("off")};
}

QString NameOf(const QByteArray& image) {
    return StringToPatchName(QByteArrayView(image).sliced(11, 6)).name;
}

QString Bits(quint8 byte) {
    return QStringLiteral("%1").arg(byte, 8, 2, QLatin1Char('0'));
}

} // namespace

ImageField FieldOfBit(int byte1, int bit) {
    if (byte1 == 1 && bit <= 4)
        return ImageField::DriveType;
    if (byte1 == 3 && bit >= 1 && bit <= 3)
        return ImageField::CabType;
    if (byte1 == 3 && bit >= 4 && bit <= 6)
        return ImageField::CabSpeaker;
    if ((byte1 == 12 && bit >= 5) || (byte1 >= 13 && byte1 <= 16) || (byte1 == 17 && bit == 0))
        return ImageField::Name;
    if (byte1 == 17 && bit == 1)
        return ImageField::DriveModule;
    if (byte1 == 17 && bit == 2)
        return ImageField::CabModule;
    return ImageField::Carried;
}

QString ImageFieldName(ImageField field) {
    switch (field) {
    case ImageField::DriveType:
        return QStringLiteral("Drive type");
    case ImageField::CabType:
        return QStringLiteral("Cab type");
    case ImageField::CabSpeaker:
        return QStringLiteral("Cab speaker");
    case ImageField::DriveModule:
        return QStringLiteral("Drive");
    case ImageField::CabModule:
        return QStringLiteral("Cab");
    case ImageField::Name:
        return QStringLiteral("Name");
    case ImageField::Carried:
        break;
    }
    return QStringLiteral("Carried");
}

bool PatchComparison::FieldDiffers(ImageField field) const {
    for (const Bit& b : differingBits) {
        if (b.field == field)
            return true;
    }
    return false;
}

PatchComparison ComparePatches(const QByteArray& leftStore, qsizetype leftIndex, const QByteArray& rightStore,
                               qsizetype rightIndex) {
    PatchComparison c;
    const PatchImage left = PatchImage::FromStore(leftStore, leftIndex);
    const PatchImage right = PatchImage::FromStore(rightStore, rightIndex);
    c.left = left.Bytes();
    c.right = right.Bytes();
    c.leftName = NameOf(c.left);
    c.rightName = NameOf(c.right);
    for (int byte1 = 1; byte1 <= PatchImageSize; ++byte1) {
        const int differ = left.Byte(byte1) ^ right.Byte(byte1);
        for (int bit = 0; bit < 8; ++bit) {
            if (differ & (1 << bit))
                c.differingBits.push_back({byte1, bit, FieldOfBit(byte1, bit)});
        }
    }
    for (ImageField f : {ImageField::DriveType, ImageField::CabType, ImageField::CabSpeaker,
                         ImageField::DriveModule, ImageField::CabModule}) {
        c.parameterNames.append(ImageFieldName(f));
        c.parameterDiffers.push_back(c.FieldDiffers(f));
    }
    c.leftValues = ParameterTexts(left);
    c.rightValues = ParameterTexts(right);
    return c;
}

QString ComparisonText(const PatchComparison& c, const QString& leftLabel, const QString& rightLabel,
                       QChar lineEnd) {
    QString text;
    const auto row = [&text, lineEnd](const QString& what, const QString& l, const QString& r, bool differs) {
        text += QStringLiteral("%1 %2  %3  %4")
                    .arg(QChar(differs ? u'*' : u' '))
                    .arg(what, -12)
                    .arg(l, -20)
                    .arg(r) +
                lineEnd;
    };
    row(QString(), leftLabel, rightLabel, false);
    row(QStringLiteral("Name"), c.leftName, c.rightName, c.FieldDiffers(ImageField::Name));
    for (qsizetype i = 0; i < c.parameterNames.size(); ++i)
        row(c.parameterNames[i], c.leftValues[i], c.rightValues[i], c.parameterDiffers[size_t(i)]);
    text += lineEnd + QStringLiteral("byte  %1  %2").arg(leftLabel.left(13), -13).arg(rightLabel.left(13)) +
            lineEnd;
    for (int byte1 = 1; byte1 <= PatchImageSize; ++byte1) {
        const auto l = static_cast<quint8>(c.left[byte1 - 1]), r = static_cast<quint8>(c.right[byte1 - 1]);
        QString marks(8, u' ');
        QStringList fields;
        for (const PatchComparison::Bit& b : c.differingBits) {
            if (b.byte1 != byte1)
                continue;
            marks[7 - b.bit] = u'^';
            if (!fields.contains(ImageFieldName(b.field)))
                fields.append(ImageFieldName(b.field));
        }
        text += QStringLiteral("%1  %2 %3  %4 %5%6")
                    .arg(byte1, 4)
                    .arg(l, 2, 16, QLatin1Char('0'))
                    .arg(Bits(l))
                    .arg(r, 2, 16, QLatin1Char('0'))
                    .arg(Bits(r))
                    .arg(fields.isEmpty() ? QString()
                                          : QStringLiteral("  ") + fields.join(QStringLiteral(", "))) +
                lineEnd;
        if (l != r)
            text += QString(9, u' ') + marks + QString(5, u' ') + marks + lineEnd; // under both bit columns
    }
    text += (c.Identical() ? QStringLiteral("identical")
                           : QStringLiteral("%1 bits differ").arg(c.differingBits.size())) +
            lineEnd;
    return text;
}

} // namespace quillbox
