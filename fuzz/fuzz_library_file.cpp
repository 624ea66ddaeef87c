// The library file decoder and the list lines of what it decodes: any bytes at all.
#include "FieldMap.h"
#include "FuzzSupport.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "PatchList.h"

using namespace quillbox;
using namespace quillbox::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content = Bytes(data, size);
    if (!IsValidLibrary(content)) {
        FUZZ_CHECK(content.isEmpty() || content.front() != LibraryFileMarker);
        return 0;
    }
    const QByteArray store = DecodeLibrary(content);
    FUZZ_CHECK(store.size() == content.size() - 1);
    // Encoding what was decoded gives the file back byte for byte.
    FUZZ_CHECK(EncodeLibrary(store) == content);

    const qsizetype count = EntryCount(store);
    FUZZ_CHECK(count == (store.size() + PatchImageSize - 1) / PatchImageSize);
    const QStringList lines = FillPatchList(store);
    FUZZ_CHECK(lines.size() == count);
    for (qsizetype i = 0; i < count; ++i) {
        FUZZ_CHECK(lines.at(i) == PatchListLine(store, i));
        const QString number = QString::number(i + 1).rightJustified(2, QLatin1Char('0'));
        FUZZ_CHECK(lines.at(i).startsWith(number + QStringLiteral(":  ")));
        const PatchImage image = PatchImage::FromStore(store, i);
        FUZZ_CHECK(image.Bytes().size() == PatchImageSize);
        FUZZ_CHECK(image.Bytes().startsWith(EntryBytes(store, i)));
        ShowPatchDetails(image);
    }
    QString error;
    const bool unreadable = StoreHasUnreadableName(store, &error);
    FUZZ_CHECK(unreadable == (count > 0 && EntryBytes(store, count - 1).size() < 17));
    FUZZ_CHECK(unreadable != error.isEmpty());
    return 0;
}
