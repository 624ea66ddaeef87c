#pragma once

#include "ShowCheck.h"
#include "ShowDocument.h"
#include "ShowRecord.h"

#include <QWidget>

namespace quillbox {

class StageLine;

// frmStage: the show played from, full screen and readable from a few metres away. It shows the
// song, the cue's label, its patch's name and slot in very large type, the next cue and the next song
// smaller, and the song's notes. Page turners send the keys it steps with: Right, Space and Page
// Down to the next cue, Left and Page Up to the previous one (across songs), Down and Up to the first
// cue of the next and previous song; Esc closes it. A screen reader hears each cue as it comes.
class StageView : public QWidget {
    Q_OBJECT
public:
    // `slots` are those of the device file the show builds; a cue without one shows no slot. The
    // view keeps copies of both, so the show may change while it is up.
    StageView(const ShowRecord& show, const ShowSlots& slots, ShowPlace start, QWidget* parent = nullptr);

    // Full screen on the screen of the parent window, with the keyboard.
    void ShowStage();
    // The song and cue shown (cue -1 in a song without cues; both -1 in a show without songs).
    ShowPlace Current() const { return place_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Show(ShowPlace place);
    ShowPlace NextCue() const;
    ShowPlace PreviousCue() const;
    ShowPlace FirstCueOf(qsizetype song) const;
    QString CueText(qsizetype song, qsizetype cue) const;
    QString SlotText(qsizetype song, qsizetype cue) const;

    ShowRecord show_;
    ShowSlots slots_;
    ShowPlace place_;
    StageLine* song_ = nullptr;
    StageLine* position_ = nullptr;
    StageLine* cue_ = nullptr;
    StageLine* patch_ = nullptr;
    StageLine* slot_ = nullptr;
    StageLine* next_ = nullptr;
    StageLine* nextSong_ = nullptr;
    StageLine* notes_ = nullptr;
};

} // namespace quillbox
