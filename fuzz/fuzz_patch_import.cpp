// An imported patch file of any bytes: its list lines and details, then the commands that carry its
// patches into the library, through the library controller with a view that shows nothing.
#include "FieldMap.h"
#include "FuzzSupport.h"
#include "LibraryController.h"
#include "NullView.h"
#include "PatchImage.h"
#include "PatchList.h"

using namespace quillbox;
using namespace quillbox::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input(data, size);
    const quint8 steer = input.Byte();
    const int pick = input.Byte();
    const QByteArray patches = input.Rest();

    // What the patches list shows.
    const qsizetype count = EntryCount(patches);
    for (qsizetype i = 0; i < count; ++i) {
        const QString line = PatchListLine(patches, i);
        FUZZ_CHECK(line.startsWith(QString::number(i + 1).rightJustified(2, QLatin1Char('0')) +
                                   QStringLiteral(":  ")));
        const PatchImage image = PatchImage::FromStore(patches, i);
        FUZZ_CHECK(image.Bytes().size() == PatchImageSize);
        ShowPatchDetails(image);
        // A bound field written and read back changes that field only.
        PatchImage changed = image;
        WriteBoundField(changed, BoundField::CabType, pick % 6);
        FUZZ_CHECK(CabTypeValue(changed) >= 0);
        FUZZ_CHECK(changed.Bytes().left(2) == image.Bytes().left(2));
        FUZZ_CHECK(changed.Bytes().mid(3) == image.Bytes().mid(3));
    }

    // The same patches carried into a library, which keeps whole 18-byte images only.
    NullView view;
    LibraryController controller(view, QStringLiteral("Quillbox"));
    controller.MutableState().PatchesData = patches;
    controller.MutableState().DescArray = QStringList{QString()};
    controller.MutableState().LibraryLoaded = true;
    if (count > 0) {
        controller.PatchesClicked(pick % count);
        controller.CopySelectedPatch();
    }
    if (steer & 1)
        controller.AppendAllPatches();
    if (steer & 2)
        controller.AppendDifferentPatches();
    if (steer & 4)
        controller.UpdateAllPatchesInLib();
    if (count > 0 && controller.ListCount(ListId::Library) > 0) {
        controller.LibraryClicked(pick % controller.ListCount(ListId::Library));
        controller.PatchesClicked((pick / 2) % count);
        controller.ReplaceSelectedPatch();
        controller.CabTypePicked(pick % 6);
    }
    const LibraryState& state = controller.State();
    FUZZ_CHECK(state.LibraryData.size() % PatchImageSize == 0);
    FUZZ_CHECK(state.DescArray.size() == controller.ListCount(ListId::Library) + 1);
    return 0;
}
