// A show: its file, its document's steps, the check of its cues against their libraries, and the
// device file it builds.

#include "EarlierVersions.h"
#include "FileAccess.h"
#include "LibraryTestSupport.h"
#include "ShowCheck.h"
#include "ShowDocument.h"
#include "ShowFile.h"
#include "UnsavedWork.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace quillbox;
using namespace quillbox::test;

Q_DECLARE_METATYPE(std::function<bool(ShowDocument&)>)
Q_DECLARE_METATYPE(std::function<void(QString)>)

namespace {

ShowCue Cue(const QString& label, const QByteArray& image, const QString& path = {}, qsizetype position = 0,
            const QString& description = {}) {
    return ShowCue{label, image, description, CueSource{path, position, path.isEmpty() ? QByteArray() : image}};
}

// Two songs, every field filled, texts the JSON must carry exactly.
ShowRecord FullShow() {
    ShowRecord show{u"Friday · Club \"Zé\""_s, {}};
    show.songs.append(ShowSong{u"Intro"_s, u"Count in\r\nfour\tbars"_s,
                               {Cue(u"Verse"_s, MakeImage(u"CLEAN"_s, 1), u"/lib/a:b.pslib"_s, 3, u"warm #gig"_s),
                                Cue(u"Solo"_s, MakeImage(u"LEAD"_s, 2), u"/lib/b.pslib"_s, 1)}});
    show.songs.append(ShowSong{u"Ballad 😀"_s, {}, {ShowCue{u"Chorus"_s, MakeImage(u"WET"_s, 3), u"x"_s, {}}}});
    show.songs[1].cues.append(ShowCue{u"No bytes"_s, MakeImage(u"OLD"_s, 4), {}, {u"/gone.pslib"_s, 2, {}}});
    show.songs.append(ShowSong{});
    return show;
}

} // namespace

class TestShow : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString Path(const QString& name) const { return dir_.filePath(name); }

    void WriteLibrary(const QString& path, const QByteArray& store, const QStringList& descriptions = {}) {
        WriteBytes(path, LibraryFileBytes(store));
        if (!descriptions.isEmpty())
            WriteBytes(SideFilePath(path), SideFileBytes(descriptions));
    }

private Q_SLOTS:
    void roundTrip() {
        const ShowRecord show = FullShow();
        QCOMPARE(ShowFile::Decode(ShowFile::Encode(show)), show);
        QCOMPARE(ShowFile::Decode(ShowFile::Encode(ShowRecord{})), ShowRecord{});

        // Saved twice: the file reads back, and the show it replaced is kept as an earlier version.
        const QString path = Path(u"rt.psshow"_s);
        const EarlierVersions versions(Path(u"versions"_s));
        QVERIFY(ShowFile::Save(path, ShowRecord{u"first"_s, {}}, versions).isEmpty());
        QVERIFY(ShowFile::Save(path, show, versions).isEmpty());
        QCOMPARE(ShowFile::Read(path), show);
        const QList<EarlierVersion> kept = versions.List(path);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(ShowFile::Decode(versions.Read(path, kept[0].id).library).title, u"first"_s);

        // A show the reader would refuse is not written at all.
        ShowRecord tooLong = show;
        tooLong.songs[0].cues[0].label = QString(ShowFile::MaxTextLength + 1, u'x');
        QVERIFY_THROWS_EXCEPTION(FileError, ShowFile::Save(path, tooLong, versions));
        QCOMPARE(ShowFile::Read(path), show);
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray good = ShowFile::Encode(FullShow());
        const auto with = [&](const std::function<void(QJsonObject&)>& change) {
            QJsonObject root = QJsonDocument::fromJson(good).object();
            change(root);
            return QJsonDocument(root).toJson();
        };
        const auto cue = [&](const QString& key, const QJsonValue& value) {
            return with([&](QJsonObject& root) {
                QJsonArray songs = root[u"songs"_s].toArray();
                QJsonObject song = songs[0].toObject();
                QJsonArray cues = song[u"cues"_s].toArray();
                QJsonObject c = cues[1].toObject();
                if (key.startsWith(u"source."_s)) {
                    QJsonObject source = c[u"source"_s].toObject();
                    source[key.mid(7)] = value;
                    c[u"source"_s] = source;
                } else {
                    c[key] = value;
                }
                cues[1] = c;
                song[u"cues"_s] = cues;
                songs[0] = song;
                root[u"songs"_s] = songs;
            });
        };
        QTest::newRow("empty") << QByteArray() << u"the file is empty"_s;
        QTest::newRow("truncated") << good.left(good.size() / 2) << u"damaged at byte"_s;
        QTest::newRow("a library") << LibraryFileBytes(MakeStore(3)) << u"damaged at byte"_s;
        QTest::newRow("other json") << QByteArray("{\"songs\": []}") << u"no show format mark"_s;
        QTest::newRow("array") << QByteArray("[1,2]") << u"no show format mark"_s;
        QTest::newRow("later version") << with([](QJsonObject& r) { r[u"version"_s] = 2; })
                                       << u"written by a later version of Quillbox (format 2)"_s;
        QTest::newRow("no version") << with([](QJsonObject& r) { r.remove(u"version"_s); }) << u"no valid version"_s;
        QTest::newRow("songs not a list") << with([](QJsonObject& r) { r[u"songs"_s] = 3; })
                                          << u"songs is not a list"_s;
        QTest::newRow("song not an object") << with([](QJsonObject& r) { r[u"songs"_s] = QJsonArray{1}; })
                                            << u"song 1 is not an object"_s;
        QTest::newRow("short patch") << cue(u"patch"_s, QString(35, u'a')) << u"song 1, cue 2: patch is not a patch"_s;
        QTest::newRow("not hex") << cue(u"patch"_s, QString(36, u'g')) << u"song 1, cue 2: patch is not a patch"_s;
        QTest::newRow("no patch") << cue(u"patch"_s, QJsonValue()) << u"song 1, cue 2: patch is not a patch"_s;
        QTest::newRow("label a number") << cue(u"label"_s, 5) << u"song 1, cue 2: label is not text"_s;
        QTest::newRow("long label") << cue(u"label"_s, QString(256, u'x')) << u"label is longer than 255"_s;
        QTest::newRow("negative position") << cue(u"source.position"_s, -1) << u"cue 2, source: position is not"_s;
        QTest::newRow("half position") << cue(u"source.position"_s, 1.5) << u"cue 2, source: position is not"_s;
        QTest::newRow("bad source patch") << cue(u"source.patch"_s, u"00"_s) << u"source: patch is not a patch"_s;
        QJsonArray many;
        for (qsizetype i = 0; i <= ShowFile::MaxSongs; ++i)
            many.append(QJsonObject{});
        QTest::newRow("too many songs") << with([&](QJsonObject& r) { r[u"songs"_s] = many; })
                                        << u"more than 10000 songs"_s;
        QTest::newRow("huge") << QByteArray(ShowFile::MaxBytes + 1, ' ') << u"larger than 16 MiB"_s;
    }

    void refused() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        try {
            ShowFile::Decode(bytes);
            QFAIL("decoded");
        } catch (const FileError& e) {
            QCOMPARE(e.number, NotAShowNumber);
            QVERIFY2(e.description.startsWith(u"Not a Quillbox show ("_s) && e.description.contains(reason),
                     qPrintable(e.description));
        }
    }

    void readNamesTheFile() {
        // A huge file is refused before it is read, and the message names it.
        const QString path = Path(u"huge.psshow"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(ShowFile::MaxBytes + 1));
        file.close();
        try {
            ShowFile::Read(path);
            QFAIL("read");
        } catch (const FileError& e) {
            QCOMPARE(e.description, u"Not a Quillbox show (larger than 16 MiB): "_s + path);
        }
    }

    void documentSteps_data() {
        QTest::addColumn<std::function<bool(ShowDocument&)>>("edit");
        QTest::addColumn<QString>("name");
        QTest::addColumn<ShowPlace>("place");
        const ShowCue extra = Cue(u"Bridge"_s, MakeImage(u"EXTRA"_s, 9));
        using D = ShowDocument&;
        QTest::newRow("title") << std::function([](D d) { return d.SetTitle(u"Sat"_s); }) << u"Show Title"_s << ShowPlace{0, -1};
        QTest::newRow("add song") << std::function([](D d) { return d.AddSong(1, u"New"_s); }) << u"Add Song"_s << ShowPlace{1, -1};
        QTest::newRow("add untitled song") << std::function([](D d) { return d.AddSong(-1, {}); }) << u"Add Song"_s << ShowPlace{3, -1};
        QTest::newRow("rename song") << std::function([](D d) { return d.RenameSong(2, u"End"_s); }) << u"Rename Song"_s << ShowPlace{2, -1};
        QTest::newRow("notes") << std::function([](D d) { return d.SetNotes(1, u"slow"_s); }) << u"Typing"_s << ShowPlace{1, -1};
        QTest::newRow("delete songs") << std::function([](D d) { return d.RemoveSongs({2, 0}); }) << u"Delete Songs"_s << ShowPlace{0, -1};
        QTest::newRow("move song") << std::function([](D d) { return d.MoveSong(0, 2); }) << u"Move Song"_s << ShowPlace{2, -1};
        QTest::newRow("add cue") << std::function([extra](D d) { return d.AddCues(0, 1, {extra}); }) << u"Add Cue"_s << ShowPlace{0, 1};
        QTest::newRow("add cues at end") << std::function([extra](D d) { return d.AddCues(2, -1, {extra, extra}); }) << u"Add Cues"_s << ShowPlace{2, 0};
        QTest::newRow("add cues in a new song") << std::function([extra](D d) { return d.AddCues(3, 0, {extra}); }) << u"Add Cue"_s << ShowPlace{3, 0};
        QTest::newRow("rename cue") << std::function([](D d) { return d.RenameCue(0, 1, u"Outro"_s); }) << u"Rename Cue"_s << ShowPlace{0, 1};
        QTest::newRow("delete cue") << std::function([](D d) { return d.RemoveCues(0, {0}); }) << u"Delete Cue"_s << ShowPlace{0, 0};
        QTest::newRow("move cue down") << std::function([](D d) { return d.MoveCues(0, {0}, 0, 2); }) << u"Move Cue"_s << ShowPlace{0, 1};
        QTest::newRow("move cues to song") << std::function([](D d) { return d.MoveCues(0, {1, 0}, 1, 0); }) << u"Move Cues"_s << ShowPlace{1, 0};
        QTest::newRow("update") << std::function([extra](D d) { return d.ReplaceCue(1, 0, extra); }) << u"Update from Library"_s << ShowPlace{1, 0};
    }

    void documentSteps() {
        QFETCH(std::function<bool(ShowDocument&)>, edit);
        QFETCH(QString, name);
        QFETCH(ShowPlace, place);
        ShowDocument document;
        document.Open(Path(u"s.psshow"_s), FullShow());
        const ShowRecord before = document.Show();
        QVERIFY(edit(document));
        const ShowRecord after = document.Show();
        QVERIFY(after != before);
        QVERIFY(document.Changed());
        QCOMPARE(document.UndoName(), name);
        QCOMPARE(document.Place(), place);
        QVERIFY(document.Undo());
        QCOMPARE(document.Show(), before);
        QVERIFY(!document.Changed());
        QCOMPARE(document.RedoName(), name);
        QVERIFY(document.Redo());
        QCOMPARE(document.Show(), after);
        QCOMPARE(document.Place(), place);
        QVERIFY(!document.CanRedo());
    }

    void documentRefusesWhatChangesNothing() {
        ShowDocument document;
        document.Open({}, FullShow());
        const ShowCue cue = Cue({}, MakeImage(u"X"_s, 1));
        QVERIFY(!document.RenameSong(0, u"Intro"_s)); // the same title
        QVERIFY(!document.RenameSong(7, u"x"_s));
        QVERIFY(!document.RemoveSongs({}));
        QVERIFY(!document.RemoveSongs({0, 3}));
        QVERIFY(!document.MoveSong(1, 1));
        QVERIFY(!document.AddCues(4, 0, {cue}));
        QVERIFY(!document.RemoveCues(2, {0}));
        QVERIFY(!document.MoveCues(0, {0}, 0, 1)); // back where it was
        QVERIFY(!document.ReplaceCue(0, 0, Cue({}, QByteArray(17, 'x'))));
        QVERIFY(!document.CanUndo());
        QVERIFY(!document.Changed());
    }

    void typingIsOneStepUntilSaved() {
        ShowDocument document;
        document.Open(Path(u"t.psshow"_s), FullShow());
        for (const QString& notes : {u"a"_s, u"ab"_s, u"abc"_s})
            QVERIFY(document.SetNotes(1, notes));
        document.Saved(document.Path());
        QVERIFY(document.SetNotes(1, u"abcd"_s));
        QVERIFY(document.SetNotes(0, u"other"_s));
        QVERIFY(document.Undo() && document.Undo());
        QCOMPARE(document.Show().songs[1].notes, u"abc"_s);
        QVERIFY(!document.Changed()); // back at the saved point
        QVERIFY(document.Undo());
        QCOMPARE(document.Show().songs[1].notes, QString());
        QVERIFY(!document.CanUndo());
    }

    // A save must not replace unasked what another window or program wrote since.
    void changedOnDisk() {
        const QString path = Path(u"disk.psshow"_s);
        QVERIFY(ShowFile::Save(path, FullShow(), EarlierVersions(Path(u"v"_s))).isEmpty());
        ShowDocument document;
        document.Open(path, ShowFile::Read(path));
        QVERIFY(!document.ChangedOnDisk());
        QVERIFY(ShowFile::Save(path, ShowRecord{u"other window"_s, {}}, EarlierVersions(Path(u"v"_s))).isEmpty());
        QVERIFY(document.ChangedOnDisk());
        document.Saved(path);
        QVERIFY(!document.ChangedOnDisk());
        document.Restore(path, FullShow()); // recovered work: the file may have moved on since
        QVERIFY(document.ChangedOnDisk());
        document.New();
        QVERIFY(!document.ChangedOnDisk());
    }

    void unsavedWorkIsKept() {
        const UnsavedWorkFiles files(Path(u"unsaved"_s), u"0123456789abcdef"_s);
        const QString path = Path(u"u.psshow"_s);
        ShowDocument document;
        document.KeepUnsavedIn(&files);
        document.Open(path, FullShow());
        QVERIFY(!QFile::exists(files.FileFor(path)));
        QVERIFY(document.RenameSong(0, u"Opener"_s));
        const UnsavedWorkFiles::Found found = files.Read(path);
        QVERIFY2(found.work, qPrintable(found.problem));
        QCOMPARE(ShowFile::Decode(found.work->library), document.Show());
        QVERIFY(document.Undo()); // back at the saved point: nothing left to keep
        QVERIFY(!QFile::exists(files.FileFor(path)));
        QVERIFY(document.Redo());
        document.Saved(path);
        QVERIFY(!QFile::exists(files.FileFor(path)));
    }

    void check_data() {
        QTest::addColumn<std::function<void(QString)>>("change"); // done to the library after the cue took entry 2
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("words");
        const QByteArray store = MakeStore(4);
        QTest::newRow("unchanged") << std::function([this, store](QString p) { WriteLibrary(p, store); })
                                   << u"ok"_s << u"ok"_s;
        QTest::newRow("moved") << std::function([this, store](QString p) {
            WriteLibrary(p, Entry(store, 0) + Entry(store, 2) + Entry(store, 3) + Entry(store, 1));
        }) << u"moved"_s << u"moved to 4; also in 1 other place"_s;
        QTest::newRow("changed") << std::function([this, store](QString p) {
            WriteLibrary(p, Entry(store, 0) + MakeImage(u"NEW"_s, 77) + Entry(store, 2));
        }) << u"changed"_s << u"changed: 2 now holds NEW; also in 2 other places"_s;
        QTest::newRow("shrunk") << std::function([this, store](QString p) { WriteLibrary(p, Entry(store, 0)); })
                                << u"changed"_s << u"changed: 2 is no longer there; also in 2 other places"_s;
        QTest::newRow("gone") << std::function([](QString p) { QFile::remove(p); }) << u"missing"_s
                              << u"missing: File not found: %1; also in 2 other places"_s;
        QTest::newRow("not a library") << std::function([](QString p) { WriteBytes(p, "\x07xyz"); }) << u"missing"_s
                                       << u"missing: Not a valid Library"_s;
    }

    void check() {
        QFETCH(std::function<void(QString)>, change);
        QFETCH(QString, state);
        QFETCH(QString, words);
        const QString path = Path(u"check.pslib"_s);
        const QByteArray store = MakeStore(4);
        WriteLibrary(path, store);
        ShowRecord show{{}, {ShowSong{u"S"_s, {}, {Cue(u"V"_s, Entry(store, 1), path, 2)}}}};
        QVERIFY(CheckShow(show).allOk);
        change(path);
        // The collection (as of before the change) knows the bytes at the cue's place, at the place a
        // move took them and at one other: the cue's own places are not news.
        const OtherPlaces others = [&](const QByteArray& image) {
            return image == Entry(store, 1) ? QStringList{path + u":2"_s, path + u":4"_s, u"/elsewhere.pslib:9"_s}
                                            : QStringList{};
        };
        const ShowCheckResult result = CheckShow(show, {}, others);
        const CueCheck& check = result.songs[0][0];
        QCOMPARE(CueStateText(check.state), state);
        QCOMPARE(result.allOk, state == u"ok"_s);
        QVERIFY2(check.Words().startsWith(words.contains(u"%1"_s) ? words.arg(path) : words), qPrintable(check.Words()));
    }

    void checkReadsEachFileOnce() {
        const QString a = Path(u"once-a.pslib"_s);
        const QByteArray store = MakeStore(5);
        WriteLibrary(a, store);
        ShowRecord show;
        for (int s = 0; s < 3; ++s)
            show.songs.append(ShowSong{{}, {}, {Cue({}, Entry(store, s), a, s + 1), Cue({}, Entry(store, 4), a, 5),
                                                 Cue({}, MakeImage(u"N"_s, 1))}});
        int reads = 0;
        const ShowCheckResult result = CheckShow(show, [&](const QString& p) {
            ++reads;
            return LibraryPairFile(p).ReadStore();
        });
        QCOMPARE(reads, 1);
        QVERIFY(!result.allOk); // the cue from no file
        QCOMPARE(result.songs[2][2].Words(), u"missing: the cue came from no file"_s);
        QCOMPARE(result.songs[2][0].state, CueState::Ok);
    }

    void updateFromLibrary() {
        const QString path = Path(u"update.pslib"_s);
        const QByteArray store = MakeStore(3);
        WriteLibrary(path, store);
        ShowDocument document;
        document.Open({}, ShowRecord{{}, {ShowSong{u"S"_s, {}, {Cue(u"V"_s, Entry(store, 1), path, 2, u"old"_s),
                                                                  Cue(u"C"_s, Entry(store, 2), path, 3)}}}});
        const QByteArray changed = MakeImage(u"NEWER"_s, 50);
        WriteLibrary(path, Entry(store, 1) + Entry(store, 0) + changed, {u"first"_s, u"second"_s, u"third"_s});
        const ShowCheckResult result = CheckShow(document.Show());
        QCOMPARE(result.songs[0][0].state, CueState::Moved);
        QCOMPARE(result.songs[0][1].state, CueState::Changed);
        for (qsizetype c = 0; c < 2; ++c) {
            const std::optional<ShowCue> updated = UpdatedFromSource(document.Show().songs[0].cues[c], result.songs[0][c]);
            QVERIFY(updated);
            QVERIFY(document.ReplaceCue(0, c, *updated));
        }
        const ShowCue moved = document.Show().songs[0].cues[0];
        QCOMPARE(moved.label, u"V"_s);
        QCOMPARE(moved.description, u"first"_s);
        QCOMPARE(moved.source.position, 1);
        QCOMPARE(document.Show().songs[0].cues[1].image, changed);
        QCOMPARE(document.Show().songs[0].cues[1].description, u"third"_s);
        QVERIFY(CheckShow(document.Show()).allOk);
        QVERIFY(!UpdatedFromSource(moved, CheckShow(document.Show()).songs[0][0]));
    }

    void slotsAndBuild() {
        const QByteArray a = MakeImage(u"A"_s, 1), b = MakeImage(u"B"_s, 2), c = MakeImage(u"C"_s, 3);
        ShowRecord show;
        show.songs.append(ShowSong{{}, {}, {Cue({}, b, {}, 0, u"b first"_s), Cue({}, a)}});
        show.songs.append(ShowSong{});
        show.songs.append(ShowSong{{}, {}, {Cue({}, a, {}, 0, u"a later"_s), Cue({}, b), Cue({}, c, {}, 0, u"c"_s)}});
        show.songs.append(ShowSong{{}, {}, {Cue({}, b)}});
        const ShowSlots built0 = SlotsOf(show);
        QCOMPARE(built0.count, 3);
        QCOMPARE(built0.images, b + a + c);
        QCOMPARE(built0.slotOfCue, (QList<QList<qsizetype>>{{1, 2}, {}, {2, 1, 3}, {1}}));
        QCOMPARE(built0.descriptions, (QStringList{{}, u"b first"_s, {}, u"c"_s}));

        const QString out = Path(u"gig.pch"_s);
        const EarlierVersions versions(Path(u"build-versions"_s));
        WriteBytes(out, "old device file");
        QVERIFY(BuildDeviceFile(show, out, versions).isEmpty());
        const PairContent built = LibraryPairFile(out).Read();
        QCOMPARE(built.store, built0.images);
        QCOMPARE(built.descriptions.value(1), u"b first"_s);
        QCOMPARE(built.descriptions.value(3), u"c"_s);
        QCOMPARE(versions.List(out).size(), 1);
        QCOMPARE(versions.Read(out, versions.List(out)[0].id).library, QByteArray("old device file"));
    }
};

QTEST_GUILESS_MAIN(TestShow)
#include "tst_show.moc"
