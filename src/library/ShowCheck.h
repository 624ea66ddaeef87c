#pragma once

#include "EarlierVersions.h"
#include "ShowRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace quillbox {

// Whether a cue's source still holds the patch the cue took from it.
enum class CueState {
    Ok,      // the same position holds the same bytes
    Moved,   // the same bytes are elsewhere in that file
    Changed, // the position holds other bytes (or is gone), and the old bytes are nowhere in it
    Missing, // the file is gone or cannot be read, or the cue came from no file
};
QString CueStateText(CueState state); // "ok", "moved", "changed", "missing"

struct CueCheck {
    CueState state = CueState::Ok;
    // Ok: the source position; Moved: where the bytes are now; Changed: the source position (1-based).
    qsizetype position = 0;
    QByteArray current;    // Changed: what the source position holds now (empty when it is gone)
    QString problem;       // Missing: why the file could not be read
    QStringList elsewhere; // other places the collection knows of the cue's bytes ("PATH:POS")
    // The state in words, for the list and a screen reader: "ok", "moved to 7", "changed: 3 now
    // holds CLEAN2", "missing: File not found: …"; with "; also in 2 other places" when known.
    QString Words() const;
};

struct ShowCheckResult {
    QList<QList<CueCheck>> songs; // one per cue, as the show holds them
    bool allOk = true;
};

// The entries of a file (a library's decoded); throws FileError when it cannot be read.
using ReadEntries = std::function<QByteArray(const QString& path)>;
// Other places the collection knows of these bytes ("PATH:POS"), besides the cue's own source.
using OtherPlaces = std::function<QStringList(const QByteArray& image)>;

// Checks every cue against its source. Each file is read once (by `read`; LibraryPairFile's reader
// when not given). `others`, when given, is asked only for cues that are not ok.
ShowCheckResult CheckShow(const ShowRecord& show, const ReadEntries& read = {}, const OtherPlaces& others = {});

// The cue with its source's current patch, for "Update from Library": the bytes the check found,
// the description the file's side file gives them, and the source pointing at them. nullopt when the
// check found nothing to take (ok, missing, or a position that is gone). Throws FileError when the
// file cannot be read again.
std::optional<ShowCue> UpdatedFromSource(const ShowCue& cue, const CueCheck& check);

// The device patch file a show builds: each distinct patch once, in the order of first use, with
// the description of its first use; every cue's slot is its patch's position in that file.
struct ShowSlots {
    QByteArray images;        // back to back
    QStringList descriptions; // element 0 unused, element i the description of slot i
    qsizetype count = 0;
    QList<QList<qsizetype>> slotOfCue; // per song, per cue: 1-based (not "slots": a Qt keyword)
};
ShowSlots SlotsOf(const ShowRecord& show);

// Writes the device patch file and its side file at `path` together (safe save). A file it replaces
// is kept as an earlier version first. Returns why that version could not be kept (empty when it
// was or there was none). Throws FileError when nothing was written.
QString BuildDeviceFile(const ShowRecord& show, const QString& path, EarlierVersions versions = EarlierVersions());

} // namespace quillbox
