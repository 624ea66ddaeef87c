#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>

namespace quillbox {

// The 50 characters of the device's name alphabet; code n is character n (0-based).
extern const QString DeviceAlphabet;

// One character for codes 0..49, otherwise "(" code ")".
QString PatchCharFromCode(int code);

struct PatchNameResult {
    QString name; // the six renderings; empty when the source was too short
    bool ok = true;
    QString error; // description of the failure when !ok
};

// Decodes the six name characters from `source`, which holds bytes 12 to 17 of an image.
PatchNameResult StringToPatchName(QByteArrayView source);

// The characters a name can be typed with, each once ("A".."Z", digits, blank and the signs).
QString PatchNameCharacters();

// The code that stands for `ch` (a lower-case letter as its upper-case letter; a blank as code 0),
// or -1 when the alphabet lacks it.
int PatchCodeFromChar(QChar ch);

// The six codes of a typed name, padded with blanks. `refused` is the index of the first character
// the alphabet lacks (or of the seventh character when the text is too long); -1 when none is.
struct PatchNameCodes {
    std::array<int, 6> codes{};
    qsizetype refused = -1;
    bool ok() const { return refused < 0; }
};
PatchNameCodes EncodePatchName(const QString& text);

// Why a typed name was refused: the character the alphabet lacks and the characters it has, or that
// the name is longer than six characters.
QString PatchNameRefusal(const QString& text, const PatchNameCodes& codes);

// The name field ends in byte 17: an entry cut short before that cannot take a whole name, so a
// rename of it is refused, in the window and in the tool alike.
inline constexpr qsizetype NameFieldEnd = 17;
// The refusal for such an entry, shown in its list line `line`.
QString NameCutShortRefusal(const QString& line);

// Writes the six codes into the name field of an 18-byte image (bits 5..40 of bytes 12..17) and
// leaves every other bit, including those that share bytes with the name, as it was.
void WritePatchName(QByteArray& image, const std::array<int, 6>& codes);

// The name field as the readers of a million images take it: bytes 12 to 17 of an image (its bytes
// where they lie) as one little-endian number, whose bits 5..40 hold the six codes, the first
// character's lowest; the other bits of those bytes belong to the parameters.
inline constexpr qsizetype PatchNameOffset = 11;
inline constexpr quint64 PatchNameMask = quint64{0xFFFFFFFFF} << 5;
inline quint64 PatchNameField(const char* image) {
    quint64 field = 0;
    for (int i = 0; i < 6; ++i)
        field |= quint64(quint8(image[PatchNameOffset + i])) << (8 * i);
    return field;
}
inline void SetPatchNameField(char* image, quint64 field) {
    for (int i = 0; i < 6; ++i)
        image[PatchNameOffset + i] = char(field >> (8 * i));
}
// Code `c` (0 to 5) of a name field.
inline int PatchNameCode(quint64 field, int c) {
    return int(field >> (5 + 6 * c)) & 63;
}

} // namespace quillbox
