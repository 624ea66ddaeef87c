// The show reader: any bytes are either refused with a FileError or read into a show within the
// file's bounds that writes and reads back to itself.
#include "FuzzSupport.h"
#include "ShowCheck.h"
#include "ShowFile.h"

using namespace quillbox;
using namespace quillbox::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ShowRecord show;
    try {
        show = ShowFile::Decode(bytes);
    } catch (const FileError& e) {
        FUZZ_CHECK(e.number == NotAShowNumber && !e.description.isEmpty());
        return 0;
    }
    qsizetype cues = 0;
    FUZZ_CHECK(show.title.size() <= ShowFile::MaxTextLength);
    FUZZ_CHECK(show.songs.size() <= ShowFile::MaxSongs);
    for (const ShowSong& song : show.songs) {
        FUZZ_CHECK(song.notes.size() <= ShowFile::MaxNotesLength);
        cues += song.cues.size();
        for (const ShowCue& cue : song.cues) {
            FUZZ_CHECK(cue.image.size() == 18);
            FUZZ_CHECK(cue.source.image.isEmpty() || cue.source.image.size() == 18);
            FUZZ_CHECK(cue.label.size() <= ShowFile::MaxTextLength && cue.source.position >= 0);
        }
    }
    FUZZ_CHECK(cues <= ShowFile::MaxCues);
    const QByteArray written = ShowFile::Encode(show);
    FUZZ_CHECK(ShowFile::Decode(written) == show);
    FUZZ_CHECK(ShowFile::Encode(ShowFile::Decode(written)) == written);
    // Every cue gets a slot in the device file a build writes.
    const ShowSlots slots = SlotsOf(show);
    FUZZ_CHECK(slots.images.size() == slots.count * 18 && slots.slotOfCue.size() == show.songs.size());
    for (const QList<qsizetype>& song : slots.slotOfCue)
        for (const qsizetype slot : song)
            FUZZ_CHECK(slot >= 1 && slot <= slots.count);
    return 0;
}
