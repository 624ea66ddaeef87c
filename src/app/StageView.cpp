#include "StageView.h"

#include <QAccessible>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QWindow>
#include <memory>

namespace quillbox {

// One line of the stage view: its text set as large as its box allows, wrapped at words where a
// word fits a line and broken inside one only where none would, so that nothing is cut off. The
// boxes are shared out by the view's layout whatever their text says, so that a new cue repaints
// the lines whose text changed and nothing else.
class StageLine : public QLabel {
public:
    enum Align { Centre, Left };

    StageLine(const char* name, bool bold, Align align, QWidget* parent)
        : QLabel(parent), bold_(bold), align_(align) {
        setObjectName(QLatin1String(name));
        setTextFormat(Qt::PlainText); // a song called "<b>" is not markup
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    }

    void SetText(const QString& text) {
        if (text == QLabel::text())
            return;
        setText(text);
        fitted_.reset();
        update();
    }

    QSize sizeHint() const override { return {}; }
    QSize minimumSizeHint() const override { return {}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        fitted_.reset();
        QLabel::resizeEvent(event);
    }

    void paintEvent(QPaintEvent*) override {
        if (!fitted_)
            Fit();
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRectF box = contentsRect();
        const qreal top =
            align_ == Centre ? box.top() + std::max<qreal>(0, (box.height() - height_) / 2) : box.top();
        fitted_->draw(&painter, QPointF(box.left(), top));
    }

private:
    // Lays the text out at `pixels`; its height, or -1 when a line is wider than the box (a word
    // that would not fit, with `anywhere` false).
    qreal LayOutAt(QTextLayout& layout, int pixels, bool anywhere) const {
        QFont font = this->font();
        font.setPixelSize(pixels);
        font.setBold(bold_);
        layout.setFont(font);
        layout.setCacheEnabled(true);
        QTextOption option;
        option.setWrapMode(anywhere ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::WordWrap);
        layout.setTextOption(option);
        const qreal width = contentsRect().width();
        qreal y = 0;
        bool fits = true;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            fits = fits && line.naturalTextWidth() <= width + 0.5;
            line.setPosition(
                QPointF(align_ == Centre ? std::max<qreal>(0, (width - line.naturalTextWidth()) / 2) : 0, y));
            y += line.height();
        }
        layout.endLayout();
        return fits ? y : -1;
    }

    // The largest size at which the whole text fits its box: words kept whole where some size
    // allows it, else broken where they must be. At the smallest size the text may run past the
    // box's foot (long notes); that is cut rather than set unreadably small.
    void Fit() {
        QString text = QLabel::text();
        text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        fitted_ = std::make_unique<QTextLayout>(text);
        const qreal room = contentsRect().height();
        // A line of text is about 1.2 times its pixel size high.
        const int largest = std::max(Smallest, int(room / 1.2));
        for (const bool anywhere : {false, true}) {
            int low = Smallest, high = largest, best = 0;
            while (low <= high) {
                const int middle = (low + high) / 2;
                const qreal needed = LayOutAt(*fitted_, middle, anywhere);
                if (needed >= 0 && needed <= room) {
                    best = middle;
                    low = middle + 1;
                } else {
                    high = middle - 1;
                }
            }
            if (best > 0) {
                height_ = LayOutAt(*fitted_, best, anywhere);
                return;
            }
        }
        height_ = LayOutAt(*fitted_, Smallest, true);
    }

    static constexpr int Smallest = 12;
    bool bold_;
    Align align_;
    std::unique_ptr<QTextLayout> fitted_;
    qreal height_ = 0;
};

namespace {

QString Described(const ShowCue& cue, qsizetype index) {
    return cue.label.trimmed().isEmpty() ? QStringLiteral("Cue %1").arg(index + 1) : cue.label;
}

} // namespace

StageView::StageView(const ShowRecord& show, const ShowSlots& slots, ShowPlace start, QWidget* parent)
    : QWidget(parent, Qt::Window), show_(show), slots_(slots) {
    setObjectName(QStringLiteral("frmStage"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(show.title.isEmpty() ? QStringLiteral("Stage") : QStringLiteral("Stage: ") + show.title);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    song_ = new StageLine("lblStageSong", true, StageLine::Left, this);
    position_ = new StageLine("lblStagePosition", false, StageLine::Left, this);
    // The cue, its patch and slot on a ground of their own, so they stand out in any theme.
    auto* current = new QWidget(this);
    current->setObjectName(QStringLiteral("fraStageCue"));
    current->setBackgroundRole(QPalette::Base);
    current->setAutoFillBackground(true);
    cue_ = new StageLine("lblStageCue", true, StageLine::Centre, current);
    patch_ = new StageLine("lblStagePatch", true, StageLine::Centre, current);
    slot_ = new StageLine("lblStageSlot", true, StageLine::Centre, current);
    for (StageLine* line : {cue_, patch_})
        line->setForegroundRole(QPalette::Text);
    slot_->setBackgroundRole(QPalette::Highlight);
    slot_->setForegroundRole(QPalette::HighlightedText);
    slot_->setAutoFillBackground(true);
    next_ = new StageLine("lblStageNext", false, StageLine::Left, this);
    nextSong_ = new StageLine("lblStageNextSong", false, StageLine::Left, this);
    notes_ = new StageLine("lblStageNotes", false, StageLine::Left, this);

    auto* inner = new QVBoxLayout(current);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(0);
    inner->addWidget(cue_, 30);
    inner->addWidget(patch_, 34);
    inner->addWidget(slot_, 26);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(song_, 11);
    layout->addWidget(position_, 4);
    layout->addWidget(current, 56);
    layout->addWidget(next_, 7);
    layout->addWidget(nextSong_, 6);
    layout->addWidget(notes_, 16);

    // The cue line takes the keyboard: a screen reader follows the focus and says its name as
    // each cue comes.
    cue_->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(cue_);
    position_->setAccessibleName(QStringLiteral("Place in the show"));
    notes_->setAccessibleDescription(QStringLiteral("Notes"));

    ShowPlace first = start;
    if (show_.songs.isEmpty())
        first = {};
    else if (first.song < 0 || first.song >= show_.songs.size())
        first = FirstCueOf(0);
    else if (first.cue < 0 || first.cue >= show_.songs[first.song].cues.size())
        first = FirstCueOf(first.song);
    place_ = {-2, -2}; // so that the first place is announced with its song
    Show(first);
}

void StageView::ShowStage() {
    QScreen* screen = parentWidget() ? parentWidget()->screen() : nullptr;
    if (screen) {
        create();
        windowHandle()->setScreen(screen);
        setGeometry(screen->geometry());
    }
    showFullScreen();
    raise();
    activateWindow();
    cue_->setFocus(Qt::OtherFocusReason);
}

ShowPlace StageView::FirstCueOf(qsizetype song) const {
    return {song, show_.songs[song].cues.isEmpty() ? -1 : 0};
}

ShowPlace StageView::NextCue() const {
    if (place_.song < 0)
        return place_;
    if (place_.cue + 1 < show_.songs[place_.song].cues.size())
        return {place_.song, place_.cue + 1};
    return place_.song + 1 < show_.songs.size() ? FirstCueOf(place_.song + 1) : place_;
}

ShowPlace StageView::PreviousCue() const {
    if (place_.song < 0)
        return place_;
    if (place_.cue > 0)
        return {place_.song, place_.cue - 1};
    if (place_.song == 0)
        return place_;
    return {place_.song - 1, show_.songs[place_.song - 1].cues.size() - 1};
}

void StageView::keyPressEvent(QKeyEvent* event) {
    ShowPlace to = place_;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        to = NextCue();
        break;
    case Qt::Key_Left:
    case Qt::Key_PageUp:
        to = PreviousCue();
        break;
    case Qt::Key_Down:
        if (place_.song >= 0 && place_.song + 1 < show_.songs.size())
            to = FirstCueOf(place_.song + 1);
        break;
    case Qt::Key_Up:
        if (place_.song > 0)
            to = FirstCueOf(place_.song - 1);
        break;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (to != place_)
        Show(to);
}

void StageView::resizeEvent(QResizeEvent* event) {
    // Margins grow with the screen, as the type does.
    const int margin = std::max(8, std::min(width(), height()) / 40);
    layout()->setContentsMargins(margin, margin / 2, margin, margin / 2);
    QWidget::resizeEvent(event);
}

QString StageView::SlotText(qsizetype song, qsizetype cue) const {
    const qsizetype slot = slots_.slotOfCue.value(song).value(cue);
    return slot > 0 ? QStringLiteral("Slot %1").arg(slot) : QString();
}

// A cue as the next line shows it: "Chorus: CRUNCH, Slot 3".
QString StageView::CueText(qsizetype song, qsizetype cue) const {
    const ShowCue& shown = show_.songs[song].cues[cue];
    QString text = Described(shown, cue) + QStringLiteral(": ") + ShownPatchName(shown.image);
    const QString slot = SlotText(song, cue);
    return slot.isEmpty() ? text : text + QStringLiteral(", ") + slot;
}

void StageView::Show(ShowPlace place) {
    const bool newSong = place.song != place_.song;
    place_ = place;
    if (place.song < 0) {
        song_->SetText(show_.title);
        position_->SetText(QStringLiteral("No songs"));
        cue_->SetText(QStringLiteral("No songs"));
        cue_->setAccessibleName(QStringLiteral("No songs"));
        for (StageLine* line : {patch_, slot_, next_, nextSong_, notes_})
            line->SetText(QString());
        return;
    }
    const ShowSong& song = show_.songs[place.song];
    const qsizetype cues = song.cues.size();
    song_->SetText(song.title);
    QString position = QStringLiteral("Song %1 of %2").arg(place.song + 1).arg(show_.songs.size());
    if (place.cue >= 0)
        position += QStringLiteral(", cue %1 of %2").arg(place.cue + 1).arg(cues);
    position_->SetText(position);
    QString spoken;
    if (place.cue < 0) {
        cue_->SetText(QStringLiteral("No cues"));
        patch_->SetText(QString());
        slot_->SetText(QString());
        spoken = QStringLiteral("No cues");
    } else {
        const ShowCue& cue = song.cues[place.cue];
        cue_->SetText(Described(cue, place.cue));
        patch_->SetText(ShownPatchName(cue.image));
        slot_->SetText(SlotText(place.song, place.cue));
        spoken = CueText(place.song, place.cue);
    }
    slot_->setAutoFillBackground(!slot_->text().isEmpty());
    if (place.cue + 1 < cues)
        next_->SetText(QStringLiteral("Next: ") + CueText(place.song, place.cue + 1));
    else
        next_->SetText(QStringLiteral("Last cue of this song"));
    nextSong_->SetText(place.song + 1 < show_.songs.size()
                           ? QStringLiteral("Next song: ") + show_.songs[place.song + 1].title
                           : QStringLiteral("Last song"));
    notes_->SetText(song.notes);

    // What a screen reader says: the cue (after the song's title when the song is new), then where
    // it stands in the show. A name that did not change (two cues alike) is announced all the same.
    if (newSong)
        spoken = song.title + QStringLiteral(". ") + spoken;
    cue_->setAccessibleDescription(position);
    if (cue_->accessibleName() == spoken) {
        QAccessibleEvent event(cue_, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    } else {
        cue_->setAccessibleName(spoken);
    }
}

} // namespace quillbox
