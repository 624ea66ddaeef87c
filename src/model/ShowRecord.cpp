#include "ShowRecord.h"

#include "PatchName.h"

namespace quillbox {

QString ShownPatchName(const QByteArray& image) {
    // The name is the image's bytes 12 to 17 (1-based), as every list reads it.
    if (image.size() < 17)
        return {};
    QString name = StringToPatchName(QByteArrayView(image).sliced(11, 6)).name;
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name;
}

} // namespace quillbox
