#pragma once

#include <QByteArrayView>
#include <QString>

namespace quillbox {

// The 50 characters of the device's name alphabet; code n is character n (0-based).
extern const QString DeviceAlphabet;

// One character for codes 0..49, otherwise "(" code ")".
QString PatchCharFromCode(int code);

struct PatchNameResult {
    QString name;  // the six renderings; empty when the source was too short
    bool ok = true;
    QString error; // description of the failure when !ok
};

// Decodes the six name characters from `source`, which holds bytes 12 to 17 of an image.
PatchNameResult StringToPatchName(QByteArrayView source);

} // namespace quillbox
