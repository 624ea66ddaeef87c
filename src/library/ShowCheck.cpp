#include "ShowCheck.h"

#include "FileError.h"
#include "LibraryPairFile.h"

#include <QHash>

namespace quillbox {

namespace {

constexpr qsizetype ImageSize = 18;

// The 1-based position of the first whole entry of `store` that is `image`; 0 when none is.
qsizetype FindEntry(const QByteArray& store, const QByteArray& image) {
    const QByteArrayView all(store);
    for (qsizetype at = all.indexOf(image); at >= 0; at = all.indexOf(image, at + 1)) {
        if (at % ImageSize == 0)
            return at / ImageSize + 1;
    }
    return 0;
}

QByteArray EntryAt(const QByteArray& store, qsizetype position) {
    if (position < 1 || position > store.size() / ImageSize)
        return {};
    return store.mid((position - 1) * ImageSize, ImageSize);
}

QString PlaceText(const QString& path, qsizetype position) {
    return path + QLatin1Char(':') + QString::number(position);
}

// One file's entries, read once for every cue that came from it.
struct Source {
    QByteArray store;
    QString problem; // set when it could not be read
};

} // namespace

QString CueStateText(CueState state) {
    switch (state) {
    case CueState::Ok:
        return QStringLiteral("ok");
    case CueState::Moved:
        return QStringLiteral("moved");
    case CueState::Changed:
        return QStringLiteral("changed");
    case CueState::Missing:
        return QStringLiteral("missing");
    }
    return {};
}

QString CueCheck::Words() const {
    QString words;
    switch (state) {
    case CueState::Ok:
        words = QStringLiteral("ok");
        break;
    case CueState::Moved:
        words = QStringLiteral("moved to ") + QString::number(position);
        break;
    case CueState::Changed:
        words = QStringLiteral("changed: ") + QString::number(position);
        words += current.isEmpty() ? QStringLiteral(" is no longer there") : QStringLiteral(" now holds ") + ShownPatchName(current);
        break;
    case CueState::Missing:
        words = QStringLiteral("missing: ") + problem;
        break;
    }
    if (!elsewhere.isEmpty())
        words += QStringLiteral("; also in ") + QString::number(elsewhere.size()) +
                 (elsewhere.size() == 1 ? QStringLiteral(" other place") : QStringLiteral(" other places"));
    return words;
}

ShowCheckResult CheckShow(const ShowRecord& show, const ReadEntries& read, const OtherPlaces& others) {
    const ReadEntries reader = read ? read : [](const QString& path) { return LibraryPairFile(path).ReadStore(); };
    QHash<QString, Source> sources;
    ShowCheckResult result;
    result.songs.reserve(show.songs.size());
    for (const ShowSong& song : show.songs) {
        QList<CueCheck>& checks = result.songs.emplace_back();
        checks.reserve(song.cues.size());
        for (const ShowCue& cue : song.cues) {
            CueCheck& check = checks.emplace_back();
            const CueSource& from = cue.source;
            check.position = from.position;
            if (from.path.isEmpty() || from.image.size() != ImageSize) {
                check.state = CueState::Missing;
                check.problem = QStringLiteral("the cue came from no file");
            } else {
                auto it = sources.find(from.path);
                if (it == sources.end()) {
                    Source source;
                    try {
                        source.store = reader(from.path);
                    } catch (const FileError& e) {
                        source.problem = e.description;
                    }
                    it = sources.insert(from.path, std::move(source));
                }
                const Source& source = it.value();
                if (!source.problem.isEmpty()) {
                    check.state = CueState::Missing;
                    check.problem = source.problem;
                } else if (EntryAt(source.store, from.position) == from.image) {
                    check.state = CueState::Ok;
                } else if (const qsizetype now = FindEntry(source.store, from.image)) {
                    check.state = CueState::Moved;
                    check.position = now;
                } else {
                    check.state = CueState::Changed;
                    check.current = EntryAt(source.store, from.position);
                }
            }
            if (check.state == CueState::Ok)
                continue;
            result.allOk = false;
            if (others && cue.image.size() == ImageSize) {
                // The cue's own place (where it was, and where a move took it) is not news.
                const QString was = PlaceText(from.path, from.position);
                const QString now = PlaceText(from.path, check.position);
                for (const QString& place : others(cue.image)) {
                    if (place != was && place != now)
                        check.elsewhere.append(place);
                }
            }
        }
    }
    return result;
}

std::optional<ShowCue> UpdatedFromSource(const ShowCue& cue, const CueCheck& check) {
    if (check.state != CueState::Moved && !(check.state == CueState::Changed && !check.current.isEmpty()))
        return std::nullopt;
    const PairContent pair = LibraryPairFile(cue.source.path).Read();
    const QByteArray image = EntryAt(pair.store, check.position);
    if (image.size() != ImageSize)
        return std::nullopt;
    ShowCue updated = cue;
    updated.image = image;
    updated.description = check.position < pair.descriptions.size() ? pair.descriptions[check.position] : QString();
    updated.source = {cue.source.path, check.position, image};
    return updated;
}

ShowSlots SlotsOf(const ShowRecord& show) {
    ShowSlots slots;
    slots.descriptions.append(QString());
    QHash<QByteArray, qsizetype> slotOf;
    for (const ShowSong& song : show.songs) {
        QList<qsizetype>& songSlots = slots.slotOfCue.emplace_back();
        songSlots.reserve(song.cues.size());
        for (const ShowCue& cue : song.cues) {
            auto it = slotOf.find(cue.image);
            if (it == slotOf.end()) {
                it = slotOf.insert(cue.image, ++slots.count);
                slots.images += cue.image;
                slots.descriptions.append(cue.description);
            }
            songSlots.append(it.value());
        }
    }
    return slots;
}

QString BuildDeviceFile(const ShowRecord& show, const QString& path, EarlierVersions versions) {
    const ShowSlots slots = SlotsOf(show);
    // The file a build replaces may be one the player still needs: it is kept as an earlier version.
    const LibraryPairFile pair(path, std::move(versions), true);
    return pair.Save(slots.images, pair.SideFor(slots.descriptions, slots.count));
}

} // namespace quillbox
