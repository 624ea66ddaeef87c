#include "FieldMap.h"

#include "BitRoutines.h"
#include "ValueTables.h"

namespace quillbox {

namespace {
qint16 B(const PatchImage& image, int position) {
    return static_cast<qint16>(image.Byte(position));
}

int EntryOrEmpty(int value, int entries) {
    return value < entries ? value : -1;
}
} // namespace

int DriveTypeValue(const PatchImage& image) {
    int v = 0;
    for (qint16 k = 0; k <= 4; ++k)
        v += BitValue(B(image, 1), k) << k;
    return v;
}

int CabTypeValue(const PatchImage& image) {
    const qint16 b3 = B(image, 3);
    return BitValue(b3, 1) + 2 * BitValue(b3, 2) + 4 * BitValue(b3, 3);
}

int CabSpeakerValue(const PatchImage& image) {
    const qint16 b3 = B(image, 3);
    return BitValue(b3, 4) + 2 * BitValue(b3, 5) + 4 * BitValue(b3, 6);
}

bool DriveModuleOn(const PatchImage& image) {
    return BitValue(B(image, 17), 1) == 1;
}

bool CabModuleOn(const PatchImage& image) {
    return BitValue(B(image, 17), 2) == 1;
}

DetailValues ShowPatchDetails(const PatchImage& image) {
    DetailValues v;
    v.driveType = EntryOrEmpty(DriveTypeValue(image), int(ParameterTable(ParameterList::DriveType).entries.size()));
    v.cabType = EntryOrEmpty(CabTypeValue(image), int(ParameterTable(ParameterList::CabType).entries.size()));
    v.cabSpeaker =
        EntryOrEmpty(CabSpeakerValue(image), int(ParameterTable(ParameterList::CabSpeaker).entries.size()));
    v.driveOn = DriveModuleOn(image);
    v.cabOn = CabModuleOn(image);
    return v;
}

void WriteBoundField(PatchImage& image, BoundField field, int value) {
    switch (field) {
    case BoundField::DriveType:
        image.SetByte(1, quint8((image.Byte(1) & 0xE0) | (value & 0x1F)));
        break;
    case BoundField::CabType:
        image.SetByte(3, quint8((image.Byte(3) & 0xF1) | ((value & 7) * 2)));
        break;
    case BoundField::CabSpeaker:
        image.SetByte(3, quint8((image.Byte(3) & 0x8F) | ((value & 7) * 16)));
        break;
    case BoundField::DriveModule:
    case BoundField::CabModule: {
        qint16 b17 = B(image, 17);
        const qint16 bit = field == BoundField::DriveModule ? 1 : 2;
        if (value != 0)
            SetBit(b17, bit);
        else
            ClearBit(b17, bit);
        image.SetByte(17, quint8(b17));
        break;
    }
    }
}

} // namespace quillbox
