// The show window: its commands through their actions with one undo and one redo each, "Add to
// Show" and drops from the library list, a file that is no show, the closing question, the device
// file and a show left unsaved. What a command does to the show is the show document's tests'
// concern; these check the window's wiring.

#include "LibraryFile.h"
#include "MainWindowShows.h"
#include "ShowCheck.h"
#include "ShowCommandTable.h"
#include "ShowFile.h"
#include "ShowWindow.h"
#include "UnsavedWork.h"
#include "WindowFixture.h"

#include <QDateTime>
#include <QHash>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPoint>

using namespace quillbox;
using namespace quillbox::test;

class TestShowWindow : public WindowFixture {
    Q_OBJECT

    ShowWindow* Show() const { return window->Shows().Window(); }
    template <typename T = QWidget> T* InShow(const char* name) const {
        return Show()->findChild<T*>(L(name));
    }
    QListView* Songs() const { return InShow<QListView>("lstSongs"); }
    QListView* Cues() const { return InShow<QListView>("lstCues"); }
    void ShowTrigger(const char* name) const {
        auto* action = InShow<QAction>(name);
        QVERIFY2(action && action->isEnabled(), name);
        action->trigger();
    }
    const ShowRecord& Record() const { return Show()->Document().Show(); }

    // Cue `position` (1-based) of band.pslib, a library of the four names.
    ShowCue Cue(const QString& label, int position) const {
        const QByteArray image = Image(Names.at(position - 1), position - 1);
        return {label, image, QString(), {Path(L("band.pslib")), position, image}};
    }

    // The library of the four names loaded, and a show of two songs of two cues each from band.pslib
    // opened in the show window; that library's second entry changed since (its cue can be updated).
    void OpenTwoSongShow() {
        LoadLibrary(Names);
        ShowRecord show{L("Gig"),
                        {{L("Intro"), L("count in"), {Cue(L("Verse"), 1), Cue(L("Chorus"), 2)}},
                         {L("Outro"), QString(), {Cue(L("Solo"), 3), Cue(L("End"), 4)}}}};
        ShowFile::Save(Path(L("gig.psshow")), show, EarlierVersions(Path(L("versions"))));
        WriteBytes(Path(L("band.pslib")), LibraryFileBytes(Store(Names).replace(
                                              PatchImageSize, PatchImageSize, Image(L("BRAVO"), 9))));
        Trigger("mnuWindow_Shows");
        QVERIFY(Show() && Show()->isVisible());
        OpenSaveDLG::setNextPath(Path(L("gig.psshow")));
        ShowTrigger("mnuShow_Open");
        QCOMPARE(Record(), show);
    }

    void Select(int song, int cue) const {
        Songs()->setCurrentIndex(Songs()->model()->index(song, 0));
        if (cue >= 0)
            Cues()->setCurrentIndex(Cues()->model()->index(cue, 0));
    }

private Q_SLOTS:
    void undoRedo_data() {
        // An action of the show window, "=" and a list to rename in, a text box, or a list and a key.
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("song"); // selected before
        QTest::addColumn<int>("cue");
        // Where each command of the table that makes a step has something to do in the two-song show.
        const QHash<QString, QPoint> selection = {
            {L("mnuSong_Add"), {0, -1}},    {L("mnuSong_Rename"), {1, -1}},   {L("mnuSong_Delete"), {0, -1}},
            {L("mnuSong_MoveUp"), {1, -1}}, {L("mnuSong_MoveDown"), {0, -1}}, {L("mnuCue_Rename"), {0, 1}},
            {L("mnuCue_Delete"), {1, 0}},   {L("mnuCue_MoveUp"), {1, 1}},     {L("mnuCue_MoveDown"), {0, 0}},
            {L("mnuCue_Update"), {0, 1}}};
        for (const ShowCommand& row : ShowCommandRows()) {
            if (!row.oneStep)
                continue;
            const QString name = L(row.name);
            const QPoint at = selection.value(name, {-2, -2}); // -2: a command this test does not know
            const QString list = row.keys == ShowKeyScope::SongsList ? L("lstSongs") : L("lstCues");
            const bool inPlace = row.action.window == ShowWindowCommand::RenameSong ||
                                 row.action.window == ShowWindowCommand::RenameCue;
            QTest::newRow(row.name) << (inPlace ? L("=") + list : name) << at.x() << at.y();
            // The lists' keys.
            if (row.keys != ShowKeyScope::Window && !inPlace && row.HasShortcut()) {
                const QString key = QKeySequence(row.shortcut).toString();
                QTest::addRow("%s in %s", qPrintable(key), row.name)
                    << list + L(":") + key << at.x() << at.y();
            }
        }
        QTest::newRow("notes") << L("txtNotes") << 0 << -1;
        QTest::newRow("title") << L("txtShowTitle") << 0 << -1;
    }

    // Every command changes the show as one step: one undo brings back the show as it was, one redo
    // the changed one, and the Edit menu names the step.
    void undoRedo() {
        QFETCH(QString, command);
        QFETCH(int, song);
        QFETCH(int, cue);
        QVERIFY2(song != -2, qPrintable(command + L(": no place to run it given")));
        OpenTwoSongShow();
        Select(song, cue);
        const ShowRecord before = Record();
        if (command.startsWith(L("="))) {
            QListView* list = InShow<QListView>(command.mid(1).toLatin1().constData());
            QVERIFY(list->model()->setData(list->currentIndex(), L("Bridge")));
        } else if (command.contains(L(":"))) {
            QListView* list = InShow<QListView>(command.section(L(":"), 0, 0).toLatin1().constData());
            Show()->activateWindow(); // keys reach the active window only
            QTRY_VERIFY(Show()->isActiveWindow());
            list->setFocus();
            const QKeyCombination key = QKeySequence(command.section(L(":"), 1))[0];
            QTest::keyClick(list, key.key(), key.keyboardModifiers());
        } else if (command == L("txtNotes")) {
            InShow<QPlainTextEdit>("txtNotes")->setFocus();
            QTest::keyClicks(InShow<QPlainTextEdit>("txtNotes"), L("capo 2"));
        } else if (command == L("txtShowTitle")) {
            auto* title = InShow<QLineEdit>("txtShowTitle");
            title->setText(L("Friday"));
            Q_EMIT title->editingFinished();
        } else {
            ShowTrigger(command.toLatin1().constData());
        }
        const ShowRecord after = Record();
        QVERIFY(after != before);
        QTRY_VERIFY(Show()->isWindowModified()); // a rename in place is shown once its editor is done
        QVERIFY(!Show()->Document().UndoName().isEmpty());
        QCOMPARE(InShow<QAction>("mnuEdit_Undo")->text().remove(L("&")),
                 L("Undo ") + Show()->Document().UndoName());
        ShowTrigger("mnuEdit_Undo");
        QCOMPARE(Record(), before);
        ShowTrigger("mnuEdit_Redo");
        QCOMPARE(Record(), after);
        // The window shows where the step happened.
        QCOMPARE(Songs()->currentIndex().row(), int(Show()->Document().Place().song));
        QVERIFY(!InShow<QAction>("mnuEdit_Redo")->isEnabled());
    }

    void addToShow_data() {
        QTest::addColumn<bool>("withSongs"); // a show with two songs, the second selected; else a new one
        QTest::addColumn<QString>("songTitle");
        QTest::newRow("new show") << false << L("Song 1");
        QTest::newRow("selected song") << true << L("Outro");
    }

    // "Add to Show" on the library list's menu: the selected entries, with their descriptions and
    // places in the library, at the end of the song selected in the show window.
    void addToShow() {
        QFETCH(bool, withSongs);
        QFETCH(QString, songTitle);
        if (withSongs) {
            OpenTwoSongShow();
            Select(1, 0);
        } else {
            LoadLibrary(Names);
        }
        Click(Lib(), 0);
        Click(Lib(), 1, Qt::LeftButton, false, Qt::ControlModifier);
        Trigger("mnuLibrary_AddToShow");
        QVERIFY(Show() && Show()->isVisible());
        const ShowSong& song = Record().songs.at(withSongs ? 1 : 0);
        QCOMPARE(song.title, songTitle);
        const QList<ShowCue> added = song.cues.mid(withSongs ? 2 : 0);
        QCOMPARE(added, (QList<ShowCue>{{QString(),
                                         Image(L("ALPHA"), 0),
                                         L("first"),
                                         {Path(L("sample.pslib")), 1, Image(L("ALPHA"), 0)}},
                                        {QString(),
                                         Image(L("BRAVO"), 1),
                                         L("second\r\nline"),
                                         {Path(L("sample.pslib")), 2, Image(L("BRAVO"), 1)}}}));
        // One step, also when the show had no song for them.
        ShowTrigger("mnuEdit_Undo");
        QCOMPARE(Record().songs.size(), withSongs ? 2 : 0);
    }

    // Lines of the library list dropped onto the cues land where they were dropped, as one step.
    void dropOntoCues() {
        OpenTwoSongShow();
        Select(1, 0);
        const ShowRecord before = Record();
        std::unique_ptr<QMimeData> dragged(Lib()->model()->mimeData({Lib()->model()->index(3, 0)}));
        QAbstractItemModel* cues = Cues()->model();
        QVERIFY(cues->canDropMimeData(dragged.get(), Qt::MoveAction, 1, 0, {}));
        QVERIFY(cues->dropMimeData(dragged.get(), Qt::MoveAction, 1, 0, {}));
        QTRY_COMPARE(Record().songs.at(1).cues.size(), 3);
        QCOMPARE(Record().songs.at(1).cues.at(1),
                 (ShowCue{QString(),
                          Image(L("DELTA"), 3),
                          L("fourth"),
                          {Path(L("sample.pslib")), 4, Image(L("DELTA"), 3)}}));
        QCOMPARE(Cues()->currentIndex().row(), 1);
        ShowTrigger("mnuEdit_Undo");
        QCOMPARE(Record(), before);
        // Data from another program, or text, is not taken.
        QMimeData text;
        text.setText(L("ALPHA"));
        QVERIFY(!cues->canDropMimeData(&text, Qt::CopyAction, 0, 0, {}));
    }

    void dropOntoSongs_data() {
        QTest::addColumn<QString>(
            "from");                   // the first line of lstSongs, lstCues (of the second song) or lstLib
        QTest::addColumn<int>("row");  // the drop between songs before this one, or -1 ...
        QTest::addColumn<int>("onto"); // ... onto this song
        QTest::addColumn<QString>("titles"); // afterwards: each song's title and its cues' labels
        QTest::newRow("song below the next")
            << L("lstSongs") << 2 << -1 << L("Outro: Solo End; Intro: Verse Chorus");
        QTest::newRow("song onto the last")
            << L("lstSongs") << -1 << 1 << L("Outro: Solo End; Intro: Verse Chorus");
        QTest::newRow("cue onto another song")
            << L("lstCues") << -1 << 0 << L("Intro: Verse Chorus Solo; Outro: End");
        QTest::newRow("patch onto a song")
            << L("lstLib") << -1 << 0 << L("Intro: Verse Chorus ; Outro: Solo End");
    }

    // Lines dropped onto the songs list: a song moves between the others, cues and patches go to
    // the end of the song they land on; one step each.
    void dropOntoSongs() {
        QFETCH(QString, from);
        QFETCH(int, row);
        QFETCH(int, onto);
        QFETCH(QString, titles);
        OpenTwoSongShow();
        Select(1, 0);
        const ShowRecord before = Record();
        auto* source = from == L("lstLib") ? static_cast<QAbstractItemView*>(Lib())
                                           : InShow<QListView>(from.toLatin1().constData());
        std::unique_ptr<QMimeData> dragged(source->model()->mimeData({source->model()->index(0, 0)}));
        QAbstractItemModel* songs = Songs()->model();
        const QModelIndex parent = onto < 0 ? QModelIndex() : songs->index(onto, 0);
        QVERIFY(songs->dropMimeData(dragged.get(), Qt::MoveAction, row, 0, parent));
        QTRY_VERIFY(Record() != before);
        QStringList shown;
        for (const ShowSong& song : Record().songs) {
            QStringList labels;
            for (const ShowCue& cue : song.cues)
                labels.append(cue.label);
            shown.append(song.title + L(": ") + labels.join(L(" ")));
        }
        QCOMPARE(shown.join(L("; ")), titles);
        ShowTrigger("mnuEdit_Undo");
        QCOMPARE(Record(), before);
    }

    // Each cue line says its check in words, for a screen reader too; "Keep" goes on to the next
    // cue that is not ok.
    void checkAndKeep() {
        OpenTwoSongShow();
        const QModelIndex chorus = Cues()->model()->index(1, 0);
        QCOMPARE(chorus.data().toString(), L("Chorus – BRAVO – slot 2 – changed: 2 now holds BRAVO"));
        QCOMPARE(chorus.data(Qt::AccessibleTextRole), chorus.data());
        QCOMPARE(Line(Cues(), 0), L("Verse – ALPHA – slot 1 – ok"));
        Select(0, 0);
        ShowTrigger("mnuCue_Keep");
        QCOMPARE(Cues()->currentIndex().row(), 1);
        ShowTrigger("mnuCue_Keep"); // no later cue is not ok: the selection stays
        QCOMPARE(Songs()->currentIndex().row(), 0);
        QCOMPARE(Cues()->currentIndex().row(), 1);
        // The library gives the cue its bytes back: Check Again finds it ok.
        WriteBytes(Path(L("band.pslib")), LibraryFileBytes(Store(Names)));
        ShowTrigger("mnuCue_CheckAgain");
        QCOMPARE(Line(Cues(), 1), L("Chorus – BRAVO – slot 2 – ok"));
    }

    // A show saved under a new name heads "File > Recent Shows" of the main window, also in the
    // next run; one that has gone since is said so and leaves the list.
    void recentShows() {
        OpenTwoSongShow();
        ShowTrigger("mnuSong_Delete");
        OpenSaveDLG::setNextPath(Path(L("friday")));
        ShowTrigger("mnuShow_SaveAs");
        QCOMPARE(Show()->Document().Path(), Path(L("friday.psshow")));
        OpenWindow();
        const QList<QAction*> items = Find<QMenu>("mnuFile_RecentShows")->actions();
        QCOMPARE(items.at(0)->data().toString(), Path(L("friday.psshow")));
        QCOMPARE(items.at(1)->data().toString(), Path(L("gig.psshow")));
        QVERIFY(!items.at(2)->isVisible());
        items.at(0)->trigger();
        QCOMPARE(Record().songs.size(), 1);
        QVERIFY(QFile::remove(Path(L("gig.psshow"))));
        Find<QMenu>("mnuFile_RecentShows")->actions().at(1)->trigger();
        QCOMPARE(TakeMessages(), QStringList{L("File not found: ") + Path(L("gig.psshow"))});
        QVERIFY(!Find<QMenu>("mnuFile_RecentShows")->actions().at(1)->isVisible());
        QCOMPARE(Show()->Document().Path(), Path(L("friday.psshow")));
    }

    void openNotAShow_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("size"); // grown to this size when larger than the bytes
        QTest::newRow("text") << QByteArray("set list\nVerse: ALPHA\n") << qint64(0);
        QTest::newRow("library") << LibraryFileBytes(Store({L("ALPHA")})) << qint64(0);
        QTest::newRow("cut") << QByteArray(R"({"format": "quillbox-show", "version": 1, "songs": [)")
                             << qint64(0);
        QTest::newRow("too large") << QByteArray("{") << ShowFile::MaxBytes + 1;
    }

    // A file that is no show is said so with the reader's reason; the show being edited stays.
    void openNotAShow() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, size);
        OpenTwoSongShow();
        ShowTrigger("mnuSong_Add");
        const ShowRecord before = Record();
        const QString path = Path(L("other.psshow"));
        WriteBytes(path, bytes);
        if (size > 0)
            QVERIFY(QFile::resize(path, size));
        QString reason;
        try {
            ShowFile::Read(path);
        } catch (const FileError& error) {
            reason = error.description;
        }
        QVERIFY(!reason.isEmpty());
        OpenSaveDLG::setNextPath(path);
        ShowTrigger("mnuShow_Open");
        QCOMPARE(TakeMessages(), QStringList{reason});
        QCOMPARE(Record(), before);
        QCOMPARE(Show()->Document().Path(), Path(L("gig.psshow")));
        QVERIFY(Show()->Document().Changed());
    }

    void closingQuestion_data() {
        QTest::addColumn<bool>("mainWindow"); // the main window is closed, not the show window
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("saved");
        QTest::newRow("save") << false << int(QMessageBox::Yes) << true << true;
        QTest::newRow("don't save") << false << int(QMessageBox::No) << true << false;
        QTest::newRow("cancel") << false << int(QMessageBox::Cancel) << false << false;
        QTest::newRow("main window, cancel") << true << int(QMessageBox::Cancel) << false << false;
        QTest::newRow("main window, save") << true << int(QMessageBox::Yes) << true << true;
    }

    // A changed show asks before its window (or the main window) closes: Save writes it and
    // closes, Don't Save closes, Cancel keeps the window and the changes.
    void closingQuestion() {
        QFETCH(bool, mainWindow);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(bool, saved);
        OpenTwoSongShow();
        Select(0, -1);
        ShowTrigger("mnuSong_Delete");
        const ShowRecord changed = Record();
        MessageBoxes::setNextAnswer(QMessageBox::StandardButton(answer));
        QWidget* closing = mainWindow ? static_cast<QWidget*>(window.get()) : Show();
        QCOMPARE(closing->close(), closed);
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, L("Show not saved"));
        QCOMPARE(Show()->isVisible(), !closed);
        QCOMPARE(ShowFile::Read(Path(L("gig.psshow"))) == changed, saved);
        QCOMPARE(Show()->Document().Changed(), !closed);
    }

    void saveOverChanged_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("replace") << int(QMessageBox::Yes);
        QTest::newRow("keep what is on disk") << int(QMessageBox::No);
    }

    // Another window saved the show since it was opened here: Save asks before replacing it.
    void saveOverChanged() {
        QFETCH(int, answer);
        OpenTwoSongShow();
        const ShowRecord other{L("Saved by another window"), {}};
        ShowFile::Save(Path(L("gig.psshow")), other, EarlierVersions(Path(L("versions"))));
        Select(0, -1);
        ShowTrigger("mnuSong_Delete");
        MessageBoxes::setNextAnswer(QMessageBox::StandardButton(answer));
        ShowTrigger("mnuShow_Save");
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().text.contains(L("was changed on disk")));
        const bool replaced = answer == QMessageBox::Yes;
        QCOMPARE(ShowFile::Read(Path(L("gig.psshow"))) == Record(), replaced);
        QCOMPARE(Show()->Document().Changed(), !replaced);
    }

    void deviceFile_data() {
        QTest::addColumn<QString>("chosen"); // the name given in the dialog
        QTest::addColumn<bool>("exists");    // a file is there already
        QTest::addColumn<int>("answer");     // to the replace question
        QTest::addColumn<bool>("written");
        QTest::newRow("new, no extension") << L("built") << false << int(QMessageBox::NoButton) << true;
        QTest::newRow("replaced") << L("built.pch") << true << int(QMessageBox::Yes) << true;
        QTest::newRow("kept") << L("built.pch") << true << int(QMessageBox::No) << false;
    }

    // "Build Device File…" asks for a patch file, gives a name without one its extension, asks
    // before replacing a file and says what it wrote; the file holds the show's slots.
    void deviceFile() {
        QFETCH(QString, chosen);
        QFETCH(bool, exists);
        QFETCH(int, answer);
        QFETCH(bool, written);
        OpenTwoSongShow();
        const QString path = Path(L("built.pch"));
        if (exists)
            WriteBytes(path, "old");
        if (answer != QMessageBox::NoButton)
            MessageBoxes::setNextAnswer(QMessageBox::StandardButton(answer));
        OpenSaveDLG::setNextPath(Path(chosen));
        ShowTrigger("mnuShow_BuildDeviceFile");
        QCOMPARE(OpenSaveDLG::takeShown().constLast().filter, PatchFileFilter());
        QStringList expected;
        if (exists)
            expected.append(path + L(" already exists.\nDo you want to replace it?"));
        if (written)
            expected.append(path + L(" saved"));
        QCOMPARE(TakeMessages(), expected);
        QCOMPARE(ReadBytes(path), written ? SlotsOf(Record()).images : QByteArray("old"));
    }

    void leftShow_data() {
        QTest::addColumn<bool>("restore");
        QTest::newRow("restored") << true;
        QTest::newRow("given up") << false;
    }

    // A show a window that is gone left unsaved is offered when the show window opens: Yes takes
    // it (changed, under its file's name), No removes what was left.
    void leftShow() {
        const ShowRecord left{L("Left"), {{L("Only"), L("notes"), {}}}};
        const UnsavedWorkFiles gone(Path(L("shows")), L("00000000000000aa"));
        gone.Write({Path(L("left.psshow")), {}, QDateTime::currentDateTimeUtc(), ShowFile::Encode(left), {}});
        const QString file = gone.FileFor(Path(L("left.psshow")));
        QVERIFY(QFile::exists(file));
        QFETCH(bool, restore);
        MessageBoxes::setNextAnswer(restore ? QMessageBox::Yes : QMessageBox::No);
        Trigger("mnuWindow_Shows");
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, L("Unsaved show"));
        QCOMPARE(Record(), restore ? left : ShowRecord());
        QCOMPARE(Show()->Document().Changed(), restore);
        QCOMPARE(Show()->Document().Path(), restore ? Path(L("left.psshow")) : QString());
        QVERIFY(!QFile::exists(file));
        // The restored work is kept as this living window's own, which no other window offers,
        // even while the library itself has nothing unsaved.
        const UnsavedWorkFiles other(Path(L("shows")), L("00000000000000bb"));
        QCOMPARE(other.ReadAll().size(), 0);
        const UnsavedWorkFiles own(Path(L("shows")), window->Controller().Unsaved().Files().Instance());
        QCOMPARE(bool(own.Read(Path(L("left.psshow"))).work), restore);
    }
};

std::unique_ptr<QObject> quillbox::test::NewShowWindowTests() {
    return std::make_unique<TestShowWindow>();
}

#include "tst_ShowWindow.moc"
