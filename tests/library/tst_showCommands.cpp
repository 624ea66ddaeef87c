// The show window's Song and Cue commands over a fake view: run by their rows of the show's command
// table, each either one undo step or no change at all.

#include "LibraryTestSupport.h"
#include "ShowCommandTable.h"
#include "ShowCommands.h"

#include <QTest>

using namespace quillbox;
using namespace quillbox::test;

namespace {

// What the commands see of a window: a selection, the checks, and what they ask of it.
class FakeShowView : public ShowView {
public:
    qsizetype song = -1;
    qsizetype cue = -1;
    QList<qsizetype> selected;
    ShowCheckResult checks;
    int changes = 0;
    QString selectedPlace; // "song,cue" of the last SelectPlace
    QString status;

    qsizetype CurrentSong() const override { return song; }
    qsizetype CurrentCue() const override { return cue; }
    QList<qsizetype> SelectedCues() const override { return selected; }
    const ShowCheckResult& LastCheck() const override { return checks; }
    void ShowChanged() override { ++changes; }
    void SelectPlace(const ShowPlace& place) override {
        selectedPlace = u"%1,%2"_s.arg(place.song).arg(place.cue);
    }
    void ShowStatus(const QString& text) override { status = text; }
};

// "Intro:a,b|Outro:" is two songs, the first with the cues a and b; "" a show without songs.
ShowRecord ShowOf(const QString& text) {
    ShowRecord show;
    for (const QString& song : text.split(u'|', Qt::SkipEmptyParts)) {
        ShowSong added{song.section(u':', 0, 0), {}, {}};
        for (const QString& label : song.section(u':', 1).split(u',', Qt::SkipEmptyParts))
            added.cues.append(ShowCue{label, MakeImage(label.toUpper(), int(label.at(0).unicode())), {}, {}});
        show.songs.append(added);
    }
    return show;
}

QString TextOf(const ShowRecord& show) {
    QStringList songs;
    for (const ShowSong& song : show.songs) {
        QStringList labels;
        for (const ShowCue& cue : song.cues)
            labels.append(cue.label);
        songs.append(song.title + u':' + labels.join(u','));
    }
    return songs.join(u'|');
}

// "oo|oc": one letter per cue, o for ok, c for changed.
ShowCheckResult ChecksOf(const QString& text) {
    ShowCheckResult result;
    for (const QString& song : text.split(u'|', Qt::SkipEmptyParts)) {
        QList<CueCheck> row;
        for (const QChar state : song) {
            CueCheck check;
            check.state = state == u'o' ? CueState::Ok : CueState::Changed;
            result.allOk = result.allOk && check.state == CueState::Ok;
            row.append(check);
        }
        result.songs.append(row);
    }
    return result;
}

} // namespace

class TestShowCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commands_data() {
        QTest::addColumn<QString>("show");
        QTest::addColumn<QString>("checks");
        QTest::addColumn<int>("song");
        QTest::addColumn<QList<qsizetype>>("cues"); // selected; the first is the current cue
        QTest::addColumn<QString>("command");       // a row of the table, or "addCues:x,y"
        QTest::addColumn<QString>("after");         // the show after; as before when unchanged
        QTest::addColumn<QString>("place");         // what the view was asked to select
        QTest::addColumn<QString>("status");
        using P = QList<qsizetype>;
        const QString two = u"A:x|B:y"_s, abc = u"A:a,b,c|B:d"_s;
        QTest::newRow("first song up") << two << u"o|o"_s << 0 << P{} << u"mnuSong_MoveUp"_s << two << ""
                                       << "";
        QTest::newRow("last song down") << two << u"o|o"_s << 1 << P{} << u"mnuSong_MoveDown"_s << two << ""
                                        << "";
        QTest::newRow("song down") << two << u"o|o"_s << 0 << P{} << u"mnuSong_MoveDown"_s << u"B:y|A:x"_s
                                   << ""
                                   << "";
        QTest::newRow("song up") << two << u"o|o"_s << 1 << P{} << u"mnuSong_MoveUp"_s << u"B:y|A:x"_s << ""
                                 << "";
        QTest::newRow("first cues up") << abc << u"ooo|o"_s << 0 << P{0, 1} << u"mnuCue_MoveUp"_s << abc << ""
                                       << "";
        QTest::newRow("last cues down")
            << abc << u"ooo|o"_s << 0 << P{1, 2} << u"mnuCue_MoveDown"_s << abc << ""
            << "";
        QTest::newRow("two cues down")
            << abc << u"ooo|o"_s << 0 << P{0, 1} << u"mnuCue_MoveDown"_s << u"A:c,a,b|B:d"_s << ""
            << "";
        QTest::newRow("two cues up") << abc << u"ooo|o"_s << 0 << P{1, 2} << u"mnuCue_MoveUp"_s
                                     << u"A:b,c,a|B:d"_s << ""
                                     << "";
        QTest::newRow("one cue down to the end")
            << abc << u"ooo|o"_s << 0 << P{1} << u"mnuCue_MoveDown"_s << u"A:a,c,b|B:d"_s << ""
            << "";
        QTest::newRow("delete two cues apart")
            << abc << u"ooo|o"_s << 0 << P{0, 2} << u"mnuCue_Delete"_s << u"A:b|B:d"_s << ""
            << "";
        QTest::newRow("delete a song") << two << u"o|o"_s << 0 << P{} << u"mnuSong_Delete"_s << u"B:y"_s << ""
                                       << "";
        QTest::newRow("add a song after the current")
            << two << u"o|o"_s << 0 << P{} << u"mnuSong_Add"_s << u"A:x|Song 3:|B:y"_s << "1,-1"
            << "";
        QTest::newRow("add the first song") << ""
                                            << "" << -1 << P{} << u"mnuSong_Add"_s << u"Song 1:"_s << "0,-1"
                                            << "";
        QTest::newRow("keep: a later song's cue")
            << abc << u"ooo|c"_s << 0 << P{1} << u"mnuCue_Keep"_s << abc << "1,0"
            << "";
        QTest::newRow("keep: the same song's")
            << abc << u"ooc|c"_s << 0 << P{0} << u"mnuCue_Keep"_s << abc << "0,2"
            << "";
        QTest::newRow("keep: nothing later") << abc << u"coo|o"_s << 0 << P{0} << u"mnuCue_Keep"_s << abc
                                             << "" << u"Kept; every later cue is ok"_s;
        QTest::newRow("keep: the last cue") << abc << u"ooo|c"_s << 1 << P{0} << u"mnuCue_Keep"_s << abc << ""
                                            << u"Kept; every later cue is ok"_s;
        QTest::newRow("add cues to a show without songs")
            << ""
            << "" << -1 << P{} << u"addCues:p,q"_s << u"Song 1:p,q"_s << "" << u"Added 2 cues to Song 1"_s;
        QTest::newRow("add cues to the current song") << two << u"o|o"_s << 1 << P{} << u"addCues:p"_s
                                                      << u"A:x|B:y,p"_s << "" << u"Added 1 cue to B"_s;
        QTest::newRow("add no cues") << two << u"o|o"_s << 0 << P{} << u"addCues:"_s << two << ""
                                     << u"Nothing added: no patch is selected"_s;
        QTest::newRow("update an ok cue") << two << u"o|o"_s << 0 << P{0} << u"mnuCue_Update"_s << two << ""
                                          << u"Nothing to update: the cue is "_s + CueCheck().Words();
    }

    // A command changes the show as one step or not at all; the view shows a change, and is asked to
    // select a place or show a status only where the command says so.
    void commands() {
        QFETCH(QString, show);
        QFETCH(QString, checks);
        QFETCH(int, song);
        QFETCH(QList<qsizetype>, cues);
        QFETCH(QString, command);
        QFETCH(QString, after);
        QFETCH(QString, place);
        QFETCH(QString, status);
        ShowDocument doc;
        doc.Open(u"gig.psshow"_s, ShowOf(show));
        FakeShowView view;
        view.song = song;
        view.selected = cues;
        view.cue = cues.isEmpty() ? -1 : cues.first();
        view.checks = ChecksOf(checks);
        ShowCommands commands(doc, view);
        if (command.startsWith(u"addCues:")) {
            commands.AddCuesToSelectedSong(ShowOf(u"x:"_s + command.section(u':', 1)).songs.first().cues);
        } else {
            const ShowCommand* row = FindShowCommand(command);
            QVERIFY2(row && row->action.run, qPrintable(command));
            row->action.run(commands);
        }
        QCOMPARE(TextOf(doc.Show()), after);
        QCOMPARE(view.selectedPlace, place);
        QCOMPARE(view.status, status);
        const bool changed = after != show;
        QCOMPARE(view.changes, changed ? 1 : 0);
        QCOMPARE(doc.CanUndo(), changed);
        if (changed) {
            commands.Undo();
            QCOMPARE(TextOf(doc.Show()), show);
            QVERIFY(!doc.CanUndo());
            commands.Redo();
            QCOMPARE(TextOf(doc.Show()), after);
        }
    }
};

QTEST_GUILESS_MAIN(TestShowCommands)
#include "tst_showCommands.moc"
