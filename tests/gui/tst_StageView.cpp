// The stage view, stepped through with the keys a page turner sends, and the show's stage sheet as
// a PDF.

#include "ShowSheet.h"
#include "StageView.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>

using namespace quillbox;
using namespace quillbox::test;

namespace {

QString L(const char* text) {
    return QString::fromUtf8(text);
}

ShowCue Cue(const char* label, const char* patch, int value) {
    ShowCue cue;
    cue.label = L(label);
    cue.image = WindowFixture::Image(L(patch), value);
    return cue;
}

// Three songs, the second without cues; CRUNCH is used twice and takes one slot.
ShowRecord SmallShow() {
    ShowRecord show;
    show.title = L("Friday gig");
    show.songs = {
        {L("Opener"),
         L("Capo 2"),
         {Cue("Intro", "CLEAN1", 1), Cue("Verse", "CRUNCH", 2), Cue("Solo", "LEAD 1", 3)}},
        {L("Ballad"), L("Acoustic guitar, no patch"), {}},
        {L("Closer"), QString(), {Cue("Verse", "CRUNCH", 2), Cue("Outro", "AMBIEN", 4)}},
    };
    return show;
}

ShowSlots SmallSlots() {
    ShowSlots slots;
    slots.count = 4;
    slots.slotOfCue = {{1, 2, 3}, {}, {2, 4}};
    return slots;
}

} // namespace

class TestStageView : public QObject {
    Q_OBJECT

    QWidget parent;

    // A stage view over `show` at (song, cue), given `keys` (names separated by blanks) where the
    // keyboard is.
    static QPointer<StageView> Played(const ShowRecord& show, const ShowSlots& slots, int song, int cue,
                                      const QString& keys, QWidget* parent) {
        QPointer<StageView> stage = new StageView(show, slots, {song, cue}, parent);
        stage->ShowStage();
        if (!QTest::qWaitForWindowActive(stage))
            return nullptr;
        const QMap<QString, Qt::Key> named{
            {L("Right"), Qt::Key_Right},   {L("Left"), Qt::Key_Left},   {L("Space"), Qt::Key_Space},
            {L("PgDn"), Qt::Key_PageDown}, {L("PgUp"), Qt::Key_PageUp}, {L("Down"), Qt::Key_Down},
            {L("Up"), Qt::Key_Up},         {L("Esc"), Qt::Key_Escape},  {L("Home"), Qt::Key_Home}};
        for (const QString& key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            // Where a real key goes: the widget that has the keyboard.
            QTest::keyClick(QApplication::focusWidget(), named.value(key));
            QCoreApplication::processEvents();
        }
        return stage;
    }

private Q_SLOTS:
    // A failed test leaves no view behind to take the next one's keys.
    void cleanup() { qDeleteAll(parent.findChildren<StageView*>()); }

    void keys_data() {
        QTest::addColumn<int>("startSong");
        QTest::addColumn<int>("startCue");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("song");
        QTest::addColumn<int>("cue"); // -1: the song has no cues
        QTest::addColumn<bool>("closed");
        QTest::newRow("next cue") << 0 << 0 << L("Right") << 0 << 1 << false;
        QTest::newRow("space, page down") << 0 << 0 << L("Space PgDn") << 0 << 2 << false;
        QTest::newRow("into a song without cues") << 0 << 2 << L("Right") << 1 << -1 << false;
        QTest::newRow("out of it") << 1 << -1 << L("PgDn") << 2 << 0 << false;
        QTest::newRow("back to the last cue") << 2 << 0 << L("Left Left") << 0 << 2 << false;
        QTest::newRow("page up") << 0 << 2 << L("PgUp PgUp") << 0 << 0 << false;
        QTest::newRow("next songs") << 0 << 1 << L("Down Down") << 2 << 0 << false;
        QTest::newRow("previous song, first cue") << 2 << 1 << L("Up") << 1 << -1 << false;
        QTest::newRow("first cue of the first song") << 0 << 2 << L("Up") << 0 << 2 << false;
        QTest::newRow("up to the first song") << 2 << 1 << L("Up Up") << 0 << 0 << false;
        QTest::newRow("end of the show") << 2 << 1 << L("Right Space PgDn Down") << 2 << 1 << false;
        QTest::newRow("start of the show") << 0 << 0 << L("Left PgUp Up") << 0 << 0 << false;
        QTest::newRow("whole show") << 0 << 0 << L("Right Right Right Right Right Right") << 2 << 1 << false;
        QTest::newRow("other keys") << 0 << 1 << L("Home") << 0 << 1 << false;
        QTest::newRow("Esc closes") << 0 << 1 << L("Esc") << 0 << 1 << true;
        QTest::newRow("start past the songs") << 7 << 0 << L("") << 0 << 0 << false;
        QTest::newRow("start past the cues") << 2 << 5 << L("") << 2 << 0 << false;
        QTest::newRow("start in a song without cues") << 1 << 0 << L("") << 1 << -1 << false;
    }

    void keys() {
        QFETCH(int, startSong);
        QFETCH(int, startCue);
        QFETCH(QString, keys);
        QFETCH(int, song);
        QFETCH(int, cue);
        QFETCH(bool, closed);
        QPointer<StageView> stage = Played(SmallShow(), SmallSlots(), startSong, startCue, keys, &parent);
        QVERIFY(stage || closed);
        if (!closed) {
            QVERIFY(stage && stage->isVisible());
            QCOMPARE(stage->Current(), (ShowPlace{song, cue}));
        } else {
            QTRY_VERIFY(!stage); // closed and deleted
        }
    }

    // What each place shows, and what a screen reader is told on the way there.
    void shown_data() {
        QTest::addColumn<QString>("keys");      // from the first cue
        QTest::addColumn<QStringList>("lines"); // song, cue, patch, slot, next cue, next song, notes
        QTest::addColumn<QString>("spoken");
        QTest::newRow("first") << L("") << QStringList{L("Opener"),
                                                       L("Intro"),
                                                       L("CLEAN1"),
                                                       L("Slot 1"),
                                                       L("Next: Verse: CRUNCH, Slot 2"),
                                                       L("Next song: Ballad"),
                                                       L("Capo 2")}
                               << L("Opener. Intro: CLEAN1, Slot 1");
        QTest::newRow("within a song") << L("Right") << QStringList{L("Opener"),
                                                                    L("Verse"),
                                                                    L("CRUNCH"),
                                                                    L("Slot 2"),
                                                                    L("Next: Solo: LEAD 1, Slot 3"),
                                                                    L("Next song: Ballad"),
                                                                    L("Capo 2")}
                                       << L("Verse: CRUNCH, Slot 2");
        QTest::newRow("no cues") << L("Down")
                                 << QStringList{L("Ballad"),
                                                L("No cues"),
                                                L(""),
                                                L(""),
                                                L("Last cue of this song"),
                                                L("Next song: Closer"),
                                                L("Acoustic guitar, no patch")}
                                 << L("Ballad. No cues");
        QTest::newRow("last")
            << L("Down Down Right")
            << QStringList{L("Closer"),    L("Outro"), L("AMBIEN"), L("Slot 4"), L("Last cue of this song"),
                           L("Last song"), L("")}
            << L("Outro: AMBIEN, Slot 4");
    }

    void shown() {
        QFETCH(QString, keys);
        QFETCH(QStringList, lines);
        QFETCH(QString, spoken);
        QPointer<StageView> stage = Played(SmallShow(), SmallSlots(), 0, 0, keys, &parent);
        QVERIFY(stage);
        QVERIFY(stage->isFullScreen());
        QStringList texts;
        for (const char* name : {"lblStageSong", "lblStageCue", "lblStagePatch", "lblStageSlot",
                                 "lblStageNext", "lblStageNextSong", "lblStageNotes"})
            texts.append(stage->findChild<QLabel*>(L(name))->text());
        QCOMPARE(texts, lines);
        auto* cue = stage->findChild<QLabel*>(L("lblStageCue"));
        QCOMPARE(cue->accessibleName(), spoken);
        QCOMPARE(QApplication::focusWidget(), cue); // a reader follows the focus: the cue has it
    }

    // The stage sheet: a small show on one page, every song, cue, slot and note on it; a long show
    // on more pages; a cue label that is one long word broken, not cut.
    void sheet_data() {
        QTest::addColumn<int>("extraSongs"); // of eight cues each, after the small show
        QTest::addColumn<bool>("longWord");
        QTest::addColumn<bool>("onePage");
        QTest::newRow("small") << 0 << false << true;
        QTest::newRow("long word") << 0 << true << true;
        QTest::newRow("long") << 20 << false << false;
    }

    void sheet() {
        QFETCH(int, extraSongs);
        QFETCH(bool, longWord);
        QFETCH(bool, onePage);
        ShowRecord show = SmallShow();
        ShowSlots slots = SmallSlots();
        const QString word(150, QLatin1Char('#')); // nothing else holds a "#"
        if (longWord)
            show.songs[2].cues[1].label = word;
        for (int s = 0; s < extraSongs; ++s) {
            ShowSong song{L("Extra %1").arg(s + 1), L("notes %1").arg(s + 1), {}};
            slots.slotOfCue.append(QList<qsizetype>());
            for (int c = 0; c < 8; ++c) {
                song.cues.append(Cue("Part", "EXTRA", 5 + c));
                slots.slotOfCue.last().append(5 + c);
            }
            show.songs.append(song);
        }
        QTemporaryDir dir;
        const QString pdf = dir.filePath(L("show.pdf"));
        WriteShowPdf(pdf, show, slots);
        const PdfContent read = ReadPdf(pdf);
        QVERIFY2(read.pages > 0, "pdfinfo and pdftotext (poppler-utils) are needed to read the PDF");
        const QString& all = read.text;
        QVERIFY2(onePage ? read.pages == 1 : read.pages > 1, qPrintable(QString::number(read.pages)));
        QCOMPARE(all.count(QLatin1Char('#')), longWord ? 150 : 0);
        const QString simple = all.simplified();
        for (const char* expected :
             {"Friday gig", "1. Opener", "Intro", "CLEAN1", "Slot 1", "Capo 2", "2. Ballad", "No cues",
              "Acoustic guitar, no patch", "3. Closer", "AMBIEN", "Slot 4"})
            QVERIFY2(simple.contains(L(expected)), expected);
        QCOMPARE(simple.contains(L("Extra %1").arg(extraSongs)), extraSongs > 0);
        // A song's title is never the last line of a page: its first cue comes with it.
        for (const QString& page : all.split(QLatin1Char('\f'), Qt::SkipEmptyParts)) {
            QStringList lines = page.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            while (!lines.isEmpty() &&
                   (lines.last().contains(L("Page ")) || lines.last().trimmed().isEmpty()))
                lines.removeLast();
            QVERIFY2(!lines.isEmpty() && !QRegularExpression(L("^\\d+\\. ")).match(lines.last()).hasMatch(),
                     qPrintable(page));
        }
    }
};

std::unique_ptr<QObject> quillbox::test::NewStageViewTests() {
    return std::make_unique<TestStageView>();
}

#include "tst_StageView.moc"
