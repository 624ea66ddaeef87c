#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quillbox {

// Where a cue's patch came from: the file, the entry's position (1-based) and its bytes as they
// were when the cue took them, so that a check can tell whether that file still holds them.
struct CueSource {
    QString path;
    qsizetype position = 0; // 1-based; 0 when the cue came from no file
    QByteArray image;       // the bytes as they were
    friend bool operator==(const CueSource&, const CueSource&) = default;
};

// One step of a song on stage: a label ("Verse", "Solo") and the patch played there. The cue keeps
// its own copy of the patch, so a show plays, prints and builds when its libraries are gone.
struct ShowCue {
    QString label;
    QByteArray image; // 18 bytes
    QString description;
    CueSource source;
    friend bool operator==(const ShowCue&, const ShowCue&) = default;
};

struct ShowSong {
    QString title;
    QString notes;
    QList<ShowCue> cues;
    friend bool operator==(const ShowSong&, const ShowSong&) = default;
};

// A gig: songs in the order they are played.
struct ShowRecord {
    QString title;
    QList<ShowSong> songs;
    friend bool operator==(const ShowRecord&, const ShowRecord&) = default;
};

// The name a list shows for a patch's bytes, without trailing blanks.
QString ShownPatchName(const QByteArray& image);

} // namespace quillbox
