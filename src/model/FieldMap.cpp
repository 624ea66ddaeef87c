#include "FieldMap.h"

#include "BitRoutines.h"
#include "ValueTables.h"

#include <array>

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

namespace {

// Each field lies in one byte: its value for each of the 256 values of that byte, read by the
// routines above once, so that a million images (the collection's finder) cost three look-ups each.
struct DetailTables {
    std::array<qint8, 256> driveType{}, cabType{}, cabSpeaker{};
    std::array<bool, 256> driveOn{}, cabOn{};
    DetailTables() {
        const int driveTypes = int(ParameterTable(ParameterList::DriveType).entries.size());
        const int cabTypes = int(ParameterTable(ParameterList::CabType).entries.size());
        const int cabSpeakers = int(ParameterTable(ParameterList::CabSpeaker).entries.size());
        for (int value = 0; value < 256; ++value) {
            PatchImage image;
            image.SetByte(1, quint8(value));
            image.SetByte(3, quint8(value));
            image.SetByte(17, quint8(value));
            driveType[size_t(value)] = qint8(EntryOrEmpty(DriveTypeValue(image), driveTypes));
            cabType[size_t(value)] = qint8(EntryOrEmpty(CabTypeValue(image), cabTypes));
            cabSpeaker[size_t(value)] = qint8(EntryOrEmpty(CabSpeakerValue(image), cabSpeakers));
            driveOn[size_t(value)] = DriveModuleOn(image);
            cabOn[size_t(value)] = CabModuleOn(image);
        }
    }
};

} // namespace

DetailValues ShowPatchDetails(const PatchImage& image) {
    return PatchDetailsAt(image.Bytes().constData());
}

DetailValues PatchDetailsAt(const char* image) {
    static const DetailTables tables;
    const auto byte = [image](int position1) {
        return quint8(image[position1 - 1]);
    };
    DetailValues v;
    v.driveType = tables.driveType[byte(1)];
    v.cabType = tables.cabType[byte(3)];
    v.cabSpeaker = tables.cabSpeaker[byte(3)];
    v.driveOn = tables.driveOn[byte(17)];
    v.cabOn = tables.cabOn[byte(17)];
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
