// "Random Modification": random variations of the selected library entries.
#include "LibraryController.h"

#include <QLocale>
#include <chrono>

namespace quillbox {

namespace {
constexpr qsizetype RandomBytes = 11; // bytes 1 to 11 are drawn; 12 to 18 are kept
} // namespace

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
    image.append(doc_.Entry(k).sliced(RandomBytes));
    return image;
}

void LibraryController::DoRandomModification() {
    const qsizetype k = session_.LibSelection;
    if (k < 0 || k >= ListCount(ListId::Library))
        return;

    ModifyDescArray(qint32(k), DescSetSelected, RandomDescription());
    const QByteArray image = RandomImage(k);
    doc_.SetEntry(k, image);
    RefillLibList(k);
    panes_.SetNameText(QStringLiteral("RND") + QString::number(k + 1));
    NameKeyReleased(32, 0);
}

void LibraryController::RandomizeSelection() {
    const QList<qsizetype> selected = Selection(ListId::Library);
    const qsizetype current = session_.LibSelection;
    AsStep([&] {
        const QString text = RandomDescription();
        for (const qsizetype k : selected) {
            doc_.SetEntry(k, RandomImage(k));
            if (k + 1 < state_.DescArray.size())
                doc_.SetDescription(k, text);
        }
        doc_.MarkChanged();
        RefillLibList();
        SelectLibraryLines(selected, current);
        panes_.SetNameText(QStringLiteral("RND") + QString::number(current + 1));
        NameKeyReleased(32, 0);
        return StepOutcome{QStringLiteral("Random Modification of ") + Patches(selected.size()),
                           QStringLiteral("Made random variations of ") + Patches(selected.size()),
                           {}};
    });
}

} // namespace quillbox
