#pragma once

#include "PatchImage.h"

namespace quillbox {

// The five parameters of an image that the details panel shows and can change.
enum class BoundField { DriveType, CabType, CabSpeaker, DriveModule, CabModule };

// What the details panel shows for one image. A combo value is the entry index to show, or -1
// when the stored value has no entry in its list (the combo then shows empty text).
struct DetailValues {
    int driveType = -1;
    int cabType = -1;
    int cabSpeaker = -1;
    bool driveOn = false;
    bool cabOn = false;
    friend bool operator==(const DetailValues&, const DetailValues&) = default;
};

int DriveTypeValue(const PatchImage& image);  // byte 1 bits 0-4
int CabTypeValue(const PatchImage& image);    // byte 3 bits 1-3
int CabSpeakerValue(const PatchImage& image); // byte 3 bits 4-6
bool DriveModuleOn(const PatchImage& image);  // byte 17 bit 1
bool CabModuleOn(const PatchImage& image);    // byte 17 bit 2

DetailValues ShowPatchDetails(const PatchImage& image);
// The same from an image's 18 bytes where they lie (a store's entry), without a copy.
DetailValues PatchDetailsAt(const char* image);

// Writes a new value into one bound field and leaves every other bit of the image as it was.
// For the combos `value` is the picked entry index; for the module switches it is 1 (on) or 0 (off).
void WriteBoundField(PatchImage& image, BoundField field, int value);

} // namespace quillbox
