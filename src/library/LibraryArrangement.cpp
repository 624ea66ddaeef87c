// The Library menu: moving, cloning, deleting and randomising library entries.
#include "LibraryController.h"

#include <QLocale>
#include <chrono>

namespace quillbox {

namespace {
constexpr qsizetype RandomBytes = 11; // bytes 1 to 11 are drawn; 12 to 18 are kept
} // namespace

QByteArray LibraryController::LibEntryPadded(qsizetype k) const {
    return PatchImage::FromStore(state_.LibraryData, k).Bytes();
}

void LibraryController::PadShortLastEntry() {
    const qsizetype rest = state_.LibraryData.size() % PatchImageSize;
    if (rest == 0)
        return;
    const qsizetype last = ListCount(ListId::Library) - 1;
    state_.LibraryData.replace(last * PatchImageSize, rest, LibEntryPadded(last));
}

// Moving and cloning take whole 18-byte images, so an entry cut short by the end of its file never
// lands between two others and shifts them.
void LibraryController::DoMoveUp() {
    const qsizetype k = state_.LibSelection;
    if (k < 1 || k >= ListCount(ListId::Library))
        return;
    ModifyDescArray(qint32(k + 1), DescSwapWithPrevious);
    const QByteArray upper = LibEntryPadded(k - 1);
    const QByteArray lower = LibEntryPadded(k);
    const qsizetype start = (k - 1) * PatchImageSize;
    state_.LibraryData.replace(start, std::min(2 * PatchImageSize, state_.LibraryData.size() - start),
                               QByteArray(lower + upper));
    state_.LibChanged = true;
    RefillLibList(k - 1);
}

void LibraryController::DoMoveDown() {
    const qsizetype k = state_.LibSelection;
    if (k < 0 || k >= ListCount(ListId::Library) - 1)
        return;
    ModifyDescArray(qint32(k + 1), DescSwapWithNext);
    const QByteArray upper = LibEntryPadded(k);
    const QByteArray lower = LibEntryPadded(k + 1);
    const qsizetype start = k * PatchImageSize;
    state_.LibraryData.replace(start, std::min(2 * PatchImageSize, state_.LibraryData.size() - start),
                               QByteArray(lower + upper));
    state_.LibChanged = true;
    RefillLibList(k + 1);
}

void LibraryController::DoClonePatch() {
    const qsizetype k = state_.LibSelection;
    if (k < 0 || k >= ListCount(ListId::Library))
        return;
    ModifyDescArray(qint32(k + 1), DescDuplicate);
    const QByteArray entry = LibEntryPadded(k);
    const qsizetype start = k * PatchImageSize;
    state_.LibraryData.replace(start, std::min(PatchImageSize, state_.LibraryData.size() - start),
                               QByteArray(entry + entry));
    state_.LibChanged = true;
    RefillLibList(k + 1);
}

void LibraryController::DeleteLibPatch() {
    const qsizetype k = state_.LibSelection;
    const qsizetype kept = k >= 0 ? k : 0;
    if (k >= 0 && k < ListCount(ListId::Library)) {
        const qsizetype start = k * PatchImageSize;
        state_.LibraryData.remove(start, std::min(PatchImageSize, state_.LibraryData.size() - start));
        ModifyDescArray(qint32(k + 1), DescRemove);
    }
    const qsizetype count = ListCount(ListId::Library);
    if (count > kept)
        RefillLibList(kept);
    else if (count > 0)
        RefillLibList(count - 1);
    else
        RefillLibList();
}

void LibraryController::DoDeleteSelected() {
    DeleteLibPatch();
    // The selected entry's description is already in the box (the selection showed it); with no
    // entry left to show, the panel and the box hold nothing editable.
    ShowSelectionOrNothing();
    state_.LibChanged = true;
}

void LibraryController::DoDeleteAll() {
    state_.LibraryData.clear();
    state_.LibChanged = true;
    RefillLibList();
    ModifyDescArray(0, DescClear);
    ShowNothingEditable();
}

QString LibraryController::RandomDescription() const {
    const QDateTime now = clock_ ? clock_() : QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    return QStringLiteral("Random Sound ") + locale.toString(now.date(), QLocale::ShortFormat) +
           QStringLiteral(" ") + locale.toString(now.time(), QLocale::ShortFormat);
}

QByteArray LibraryController::RandomImage(qsizetype k) {
    QByteArray image;
    image.reserve(PatchImageSize);
    if (random_) {
        for (qsizetype i = 0; i < RandomBytes; ++i)
            image.append(char(random_() % 255)); // the value 255 never occurs
    } else {
        // Seeded anew on every run, from the clock and the system's random device.
        std::random_device device;
        const auto ticks = quint64(std::chrono::high_resolution_clock::now().time_since_epoch().count());
        std::seed_seq seed{quint32(ticks), quint32(ticks >> 32), device(), device()};
        std::mt19937 generator(seed);
        std::uniform_int_distribution<int> byte(0, 254);
        for (qsizetype i = 0; i < RandomBytes; ++i)
            image.append(char(byte(generator)));
    }
    image.append(LibEntryPadded(k).sliced(RandomBytes));
    return image;
}

void LibraryController::DoRandomModification() {
    const qsizetype k = state_.LibSelection;
    if (k < 0 || k >= ListCount(ListId::Library))
        return;

    ModifyDescArray(qint32(k), DescSetSelected, RandomDescription());
    const QByteArray image = RandomImage(k);
    const qsizetype start = k * PatchImageSize;
    state_.LibraryData.replace(start, std::min(PatchImageSize, state_.LibraryData.size() - start), image);
    state_.LibChanged = true;
    RefillLibList(k);
    view_.SetNameText(QStringLiteral("RND") + QString::number(k + 1));
    NameKeyReleased(32, 0);
}

} // namespace quillbox
