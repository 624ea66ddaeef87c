#pragma once

#include "FieldMap.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace quillbox {

// The field a bit of an image belongs to: one of the five bound parameters, the name, or the bits
// carried without being interpreted.
enum class ImageField { DriveType, CabType, CabSpeaker, DriveModule, CabModule, Name, Carried };

// Byte 1..18 and bit 0..7 of an image (bit 0 the least significant).
ImageField FieldOfBit(int byte1, int bit);
QString ImageFieldName(ImageField field);

// Two patches side by side: every differing bit, placed in its field, and the five decoded parameters.
struct PatchComparison {
    struct Bit {
        int byte1; // 1..18
        int bit;   // 0..7
        ImageField field;
        friend bool operator==(const Bit&, const Bit&) = default;
    };
    QByteArray left, right; // 18 bytes each (a short entry padded as the library stores it)
    QString leftName, rightName;
    std::vector<Bit> differingBits;
    QStringList parameterNames; // "Drive type", "Cab type", "Cab speaker", "Drive", "Cab"
    QStringList leftValues, rightValues;
    std::vector<bool> parameterDiffers;

    bool Identical() const { return differingBits.empty(); }
    bool FieldDiffers(ImageField field) const;
};

// Compares entry `leftIndex` of `leftStore` with entry `rightIndex` of `rightStore`.
PatchComparison ComparePatches(const QByteArray& leftStore, qsizetype leftIndex, const QByteArray& rightStore,
                               qsizetype rightIndex);

// The comparison as text: names, the five parameters (differing ones marked "*"), and each byte in
// hexadecimal and bits with the differing bits marked under it. Each line ends in `lineEnd`.
QString ComparisonText(const PatchComparison& comparison, const QString& leftLabel, const QString& rightLabel,
                       QChar lineEnd = u'\n');

} // namespace quillbox
