// The library layer end to end through a FakeView, with real temporary files: the description
// array, the Patch and Library menus, Random Modification, the details panel and the description box,
// the File menu and the closing question, and a library of 100,000 entries. Bad files and failing
// writes: tests/faults.
#include "FieldMap.h"
#include "LibraryTestSupport.h"

#include <QFileInfo>
#include <QLocale>
#include <QSet>

using namespace quillbox;
using namespace quillbox::test;

namespace {
struct DescRow {
    QString before; // "-": an array without elements
    int lines, selected, nr, mode;
    QString after, message; // the start of the message shown; empty for none
};
struct ScriptRow {
    int lib, patches;
    QString script, expected;
    int sel;
    bool changed;
};
struct BoundRow {
    QString edit;             // a panel edit of Fixture::Run, on the shown entry 1 of 3 or on all three
    QList<int> before, after; // bytes 1, 3 and 17
};
QStringList Arr(const QString& text) {
    return text == u"-"_s ? QStringList() : text.split(u',');
}
QString Nuls(const QString& text) { // a dialog filter, "|" standing for its NUL characters
    return QString(text).replace(u'|', QChar(0));
}
const QString LibraryFilter = Nuls(u"PS02 Library(*.pslib)|*.pslib|"_s);

void CheckRequest(const FileDialogRequest& request, const QString& title, const QString& filter,
                  bool saving) {
    QCOMPARE(request.dialogTitle, u"Quillbox "_s + title);
    QCOMPARE(request.filter, filter);
    QVERIFY(request.readOnly != saving && request.forSaving == saving);
}

struct ClosingRow {
    bool load;             // asked by "Load (Library) " instead of by closing
    int state;             // 0 nothing loaded but the box clicked, 1 unchanged, 2 changed
    int answer;            // SaveAnswer; -1 nothing asked
    bool failSave, goesOn; // the window may close, or the load goes on
};
} // namespace

class TestLibrary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void descArray_data() {
        QTest::addColumn<DescRow>("row");
        const QString fail = u"ModifyDescArray: "_s, invalid = u"ModifyDescArray invalid mode"_s;
        // clang-format off
        QTest::newRow("1 remove")        << DescRow{u",a,b,c"_s, 3, -1, 2, 1, u",a,c"_s, {}};
        QTest::newRow("1 last one")      << DescRow{u",a"_s, 1, -1, 1, 1, u""_s, {}};
        QTest::newRow("1 no elements")   << DescRow{u"-"_s, 0, -1, 1, 1, u"-"_s, fail};
        QTest::newRow("1 outside")       << DescRow{u",a"_s, 1, -1, 2, 1, u",a"_s, fail};
        QTest::newRow("2 clear")         << DescRow{u",a,b"_s, 2, -1, 0, 2, u""_s, {}};
        QTest::newRow("3 insert")        << DescRow{u",a,b"_s, 2, -1, 1, 3, u",a,x,b"_s, {}};
        QTest::newRow("3 no elements")   << DescRow{u"-"_s, 0, -1, 0, 3, u"-"_s, fail};
        QTest::newRow("4 duplicate")     << DescRow{u",a,b"_s, 2, -1, 1, 4, u",a,a,b"_s, {}};
        QTest::newRow("4 no elements")   << DescRow{u"-"_s, 0, -1, 1, 4, u"-"_s, fail};
        QTest::newRow("5 resize, set")   << DescRow{u",a,b,c"_s, 1, -1, 1, 5, u",a,x"_s, {}};
        QTest::newRow("5 no elements")   << DescRow{u"-"_s, 0, -1, 0, 5, u",x"_s, {}};
        QTest::newRow("5 outside")       << DescRow{u",a"_s, 1, -1, 5, 5, u",a"_s, fail};
        QTest::newRow("6 append")        << DescRow{u",a"_s, 1, -1, 0, 6, u",a,x"_s, {}};
        QTest::newRow("6 no elements")   << DescRow{u"-"_s, 0, -1, 0, 6, u",x"_s, {}};
        QTest::newRow("7 selected")      << DescRow{u",a,b"_s, 2, 1, 9, 7, u",a,x"_s, {}};
        QTest::newRow("7 no selection")  << DescRow{u",a,b"_s, 2, -1, 0, 7, u"x,a,b"_s, {}};
        QTest::newRow("8 swap previous") << DescRow{u",a,b"_s, 2, -1, 2, 8, u",b,a"_s, {}};
        QTest::newRow("8 below 0")       << DescRow{u",a,b"_s, 2, -1, 0, 8, u",a,b"_s, fail};
        QTest::newRow("8 no elements")   << DescRow{u"-"_s, 0, -1, 2, 8, u"-"_s, fail};
        QTest::newRow("9 swap next")     << DescRow{u",a,b"_s, 2, -1, 1, 9, u",b,a"_s, {}};
        QTest::newRow("9 no elements")   << DescRow{u"-"_s, 0, -1, 1, 9, u"-"_s, fail};
        QTest::newRow("mode 0")          << DescRow{u",a"_s, 1, -1, 1, 0, u",a"_s, invalid};
        // clang-format on
    }
    void descArray() {
        QFETCH(DescRow, row);
        Fixture f;
        f.Ctl().MutableState().DescArray = Arr(row.before);
        f.Ctl().MutableState().LibraryData = MakeStore(row.lines);
        f.Ctl().MutableState().LibSelection = row.selected;
        QCOMPARE(f.Ctl().ModifyDescArray(row.nr, row.mode, u"x"_s), row.message.isEmpty());
        QCOMPARE(f.S().DescArray, Arr(row.after));
        QCOMPARE(f.view.messages.size(), row.message.isEmpty() ? 0 : 1);
        const QString shown = f.view.messages.value(0); // a reason follows "ModifyDescArray: "
        QVERIFY2(shown.startsWith(row.message) && row.message.endsWith(u' ') != (shown == row.message),
                 qPrintable(shown));
    }

    // A library of `lib` entries (descriptions L1.., -1: none loaded) and a patches list of
    // `patches` (descriptions p1.., none for the last) go through a script (Fixture::Run).
    // `expected` lists the library's entries by origin ("3" library entry 3, "p1" patch 1, "=text"
    // overriding the description; "-": no library at all, each command refused with a message).
    // `sel`: the library entry then selected and shown; -1 none; -2 none, the panel disabled and the
    // box empty.
    void script_data() {
        QTest::addColumn<ScriptRow>("row");
        // clang-format off
        QTest::newRow("up on entry 0")        << ScriptRow{3, 0, u"L0 up"_s, u"0 1 2"_s, 0, false};
        QTest::newRow("down on the last")     << ScriptRow{3, 0, u"L2 down"_s, u"0 1 2"_s, 2, false};
        QTest::newRow("no selection")         << ScriptRow{3, 0, u"up down clone rnd"_s, u"0 1 2"_s, -1, false};
        QTest::newRow("empty library")        << ScriptRow{0, 0, u"up down clone rnd"_s, u""_s, -1, false};
        QTest::newRow("up 1 of 2")            << ScriptRow{2, 0, u"L1 up"_s, u"1 0"_s, 0, true};
        QTest::newRow("up 3 of 5")            << ScriptRow{5, 0, u"L3 up"_s, u"0 1 3 2 4"_s, 2, true};
        QTest::newRow("down 2 of 5")          << ScriptRow{5, 0, u"L2 down"_s, u"0 1 3 2 4"_s, 3, true};
        QTest::newRow("clone the last")       << ScriptRow{3, 0, u"L2 clone"_s, u"0 1 2 2"_s, 3, true};
        QTest::newRow("delete last of 4")     << ScriptRow{4, 0, u"L3 del"_s, u"0 1 2"_s, 2, true};
        QTest::newRow("delete 1 of 4")        << ScriptRow{4, 0, u"L1 del"_s, u"0 2 3"_s, 1, true};
        QTest::newRow("delete the only")      << ScriptRow{1, 0, u"L0 del"_s, u""_s, -2, true};
        QTest::newRow("delete, no selection") << ScriptRow{3, 0, u"del"_s, u"0 1 2"_s, 0, true};
        QTest::newRow("delete, empty")        << ScriptRow{0, 0, u"del"_s, u""_s, -2, true};
        QTest::newRow("delete all")           << ScriptRow{3, 0, u"L1 delAll"_s, u""_s, -2, true};
        QTest::newRow("delete all, empty")    << ScriptRow{0, 0, u"delAll"_s, u""_s, -2, true};
        QTest::newRow("copy after 2 of 5")    << ScriptRow{5, 3, u"L2 P1 copy"_s, u"0 1 2 p1 3 4"_s, -1, true};
        QTest::newRow("copy to the end")      << ScriptRow{5, 3, u"P2 copy"_s, u"0 1 2 3 4 p2"_s, -1, true};
        QTest::newRow("copy into empty")      << ScriptRow{0, 3, u"P0 copy"_s, u"p0"_s, -1, true};
        QTest::newRow("copy without patch")   << ScriptRow{5, 3, u"L2 copy"_s, u"0 1 2 3 4"_s, -1, true};
        QTest::newRow("double click, none")   << ScriptRow{2, 3, u"dbl"_s, u"0 1"_s, -1, false};
        QTest::newRow("two double clicks")    << ScriptRow{4, 3, u"L1 P0 dbl P2 dbl"_s, u"0 1 p0 2 3 p2"_s, -1, true};
        QTest::newRow("replace")              << ScriptRow{3, 3, u"L1 P1 L1 replace"_s, u"0 p1 2"_s, -1, true};
        QTest::newRow("replace, no desc")     << ScriptRow{3, 3, u"L1 P2 L1 replace"_s, u"0 p2 2"_s, -1, true};
        QTest::newRow("update")               << ScriptRow{3, 3, u"L1 P1 L1 update"_s, u"0 p1=L2 2"_s, -1, true};
        QTest::newRow("replace, no lib sel")  << ScriptRow{2, 3, u"P0 replace"_s, u"0 1"_s, -1, true};
        QTest::newRow("update, no patch sel") << ScriptRow{2, 3, u"L0 update"_s, u"0 1"_s, -1, true};
        QTest::newRow("append all")           << ScriptRow{2, 3, u"L1 appendAll"_s, u"0 1 p0 p1 p2"_s, -1, true};
        QTest::newRow("append all, no patch") << ScriptRow{2, 0, u"L1 appendAll"_s, u"0 1"_s, -1, true};
        QTest::newRow("update all")           << ScriptRow{6, 3, u"L1 updateAll"_s, u"p0=L1 p1=L2 p2=L3 3 4 5"_s, 1, true};
        QTest::newRow("update all, moved")    << ScriptRow{4, 3, u"L0 del save updateAll"_s, u"1 2 3"_s, 0, false};
        QTest::newRow("update all, equal")    << ScriptRow{0, 3, u"appendAll save updateAll"_s, u"p0 p1 p2"_s, -1, false};
        QTest::newRow("copy needs a loaded library") << ScriptRow{-1, 3, u"P0 dbl appendAll copy"_s, u"-"_s, -1, false};
        QTest::newRow("new library")          << ScriptRow{-1, 3, u"P0 open:new copy"_s, u"p0"_s, -1, true};
        QTest::newRow("typed without click")  << ScriptRow{3, 0, u"L1 t:new"_s, u"0 1=new 2"_s, 1, true};
        QTest::newRow("typed the same text")  << ScriptRow{3, 0, u"L1 t:L2"_s, u"0 1 2"_s, 1, false};
        QTest::newRow("click into the box")   << ScriptRow{3, 0, u"L1 click"_s, u"0 1 2"_s, 1, true};
        QTest::newRow("edit imported patch")  << ScriptRow{3, 3, u"P1 edits"_s, u"0 1 2"_s, -1, false};
        QTest::newRow("edit empty library")   << ScriptRow{0, 0, u"edits"_s, u""_s, -1, false};
        QTest::newRow("edit after del all")   << ScriptRow{1, 0, u"L0 delAll save edits"_s, u""_s, -1, false};
        QTest::newRow("edit after del only")  << ScriptRow{1, 0, u"L0 del save edits"_s, u""_s, -1, false};
        QTest::newRow("reload")               << ScriptRow{3, 0, u"L1 open:lib"_s, u"0 1 2"_s, -2, false};
        QTest::newRow("edit after reload")    << ScriptRow{3, 0, u"L1 open:lib edits"_s, u"0 1 2"_s, -1, false};
        // clang-format on
    }
    void script() {
        QFETCH(ScriptRow, row);
        Fixture f;
        const QByteArray libStore = MakeStore(std::max(row.lib, 0)), patchStore = MakeStore(row.patches, 500);
        if (row.lib >= 0)
            f.LoadLibrary(u"lib.pslib"_s, libStore, Descs(row.lib, u"L"_s));
        f.ImportPatches(u"in.pch"_s, patchStore, Descs(row.patches - 1, u"p"_s));
        f.Run(row.script);

        QByteArray images;
        QStringList descs{QString()};
        for (const QString& token : row.expected.split(u' ', Qt::SkipEmptyParts)) {
            const bool patch = token.startsWith(u'p');
            const int i = token.section(u'=', 0, 0).mid(patch ? 1 : 0).toInt();
            images += Entry(patch ? patchStore : libStore, i);
            descs += token.contains(u'=')  ? token.section(u'=', 1)
                     : !patch              ? u"L%1"_s.arg(i + 1)
                     : i < row.patches - 1 ? u"p%1"_s.arg(i + 1)
                                           : QString();
        }
        const bool noLibrary = row.expected == u"-"_s;
        QCOMPARE(f.S().LibraryData, noLibrary ? QByteArray() : images);
        QCOMPARE(f.S().DescArray, noLibrary ? QStringList() : descs);
        QCOMPARE(f.S().LibChanged, row.changed);
        QCOMPARE(f.view.library.selected, std::max(row.sel, -1));
        QCOMPARE(f.view.library.count, f.Ctl().ListCount(ListId::Library));
        QCOMPARE(f.view.messages.size(), noLibrary ? 3 : 0);
        QVERIFY(!noLibrary || f.view.messages[0].startsWith(u"No library is loaded."_s));
        if (row.sel >= 0)
            QVERIFY(f.view.detailsEnabled == true && f.S().PatchIndex == row.sel);
        if (row.sel == -2)
            QVERIFY(f.view.detailsEnabled == false && f.view.description.isEmpty());
        // A library entry in the panel is shown as stored now, with its description in the box.
        if (f.view.detailsEnabled == true) {
            QCOMPARE(*f.view.details,
                     ShowPatchDetails(PatchImage::FromStore(f.S().LibraryData, f.S().PatchIndex)));
            QCOMPARE(f.view.description, f.S().DescArray.value(f.S().PatchIndex + 1));
        }
    }

    // Each patch whose 18 bytes equal no library entry and no patch appended before it goes in, in
    // order; a patch with a library entry's name but other bytes is a different one.
    void appendDifferent() {
        Fixture f;
        const QByteArray lib = MakeStore(3), a = MakeImage(u"NEWA"_s, 900), b = MakeImage(u"NEWB"_s, 901);
        f.LoadLibrary(u"lib.pslib"_s, lib, Descs(3, u"L"_s));
        QByteArray twin = Entry(lib, 1);
        twin[0] = char(twin[0] ^ 1);
        f.ImportPatches(u"in.pch"_s, a + Entry(lib, 1) + b + a + twin + b, Descs(6, u"p"_s));
        f.Run(u"L0 appendDiff"_s);
        QCOMPARE(f.S().LibraryData, lib + a + b + twin);
        QCOMPARE(f.S().DescArray,
                 (QStringList{QString()} + Descs(3, u"L"_s) + QStringList{u"p1"_s, u"p3"_s, u"p5"_s}));
        QVERIFY(f.S().LibChanged && f.view.library.selected == -1);
        f.Run(u"appendDiff"_s);
        QCOMPARE(f.S().LibraryData, lib + a + b + twin);
    }

    void randomModification() {
        Fixture f;
        const QByteArray lib = MakeStore(5);
        f.LoadLibrary(u"lib.pslib"_s, lib, Descs(5, u"L"_s));
        const QDateTime when(QDate(2024, 3, 9), QTime(17, 45, 12));
        f.Ctl().SetClock([when] { return when; });
        int next = 250;
        f.Ctl().SetRandomSource([&next] { return quint8(next++); }); // 250 .. 255, then 0 ..
        f.Run(u"L2 rnd"_s);
        QByteArray image;
        for (int i = 0; i < 11; ++i)
            image.append(char((250 + i) % 256 % 255)); // never 255
        image += Entry(lib, 2).mid(11);
        QCOMPARE(f.S().LibraryData, QByteArray(lib).replace(2 * 18, 18, image));
        const QString text = u"Random Sound "_s +
                             QLocale::system().toString(when.date(), QLocale::ShortFormat) + u' ' +
                             QLocale::system().toString(when.time(), QLocale::ShortFormat);
        QCOMPARE(f.S().DescArray, (QStringList{QString(), u"L1"_s, u"L2"_s, text, u"L4"_s, u"L5"_s}));
        QCOMPARE(f.view.library.selected, 2);
        QCOMPARE(f.view.description, text);
        QCOMPARE(*f.view.details, ShowPatchDetails(PatchImage(image)));
        QCOMPARE(f.view.nameText, u"RND3"_s);
        QVERIFY(f.S().LibChanged);

        // The real generator, seeded anew each run: bytes 1-11 new and never 255, bytes 12-18 kept.
        f.Ctl().SetRandomSource({});
        QSet<QByteArray> images;
        for (int run = 0; run < 600; ++run, images.insert(Entry(f.S().LibraryData, 2)))
            f.Run(u"rnd"_s);
        for (const QByteArray& entry : images)
            QVERIFY(entry.mid(11) == image.mid(11) && !entry.left(11).contains('\xFF'));
        QCOMPARE(images.size(), 600);
    }

    void boundHandlers_data() {
        QTest::addColumn<BoundRow>("row");
        // clang-format off
        QTest::newRow("drive type")         << BoundRow{u"drive:2"_s, {0xFB, 0, 0}, {0xE2, 0, 0}};
        QTest::newRow("cab type")           << BoundRow{u"cab:5"_s, {0, 0xF1, 0}, {0, 0xFB, 0}};
        QTest::newRow("cab speaker")        << BoundRow{u"spk:6"_s, {0, 0x8F, 0}, {0, 0xEF, 0}};
        QTest::newRow("Drive unchecked")    << BoundRow{u"chkD:0"_s, {0, 0, 0xF8}, {0, 0, 0xFA}};
        QTest::newRow("Cab checked")        << BoundRow{u"chkC:1"_s, {0, 0, 0xFE}, {0, 0, 0xFA}};
        QTest::newRow("all: drive type 0")  << BoundRow{u"all:1 drive:0"_s, {0x5F, 0, 0}, {0x40, 0, 0}};
        QTest::newRow("all: cab speaker")   << BoundRow{u"all:1 spk:4"_s, {0, 0xFF, 0}, {0, 0xCF, 0}};
        QTest::newRow("all: Drive checked") << BoundRow{u"all:1 chkD:1"_s, {0, 0, 0xFE}, {0, 0, 0xFC}};
        // clang-format on
    }
    void boundHandlers() {
        QFETCH(BoundRow, row);
        auto withBytes = [](QByteArray image, const QList<int>& b) {
            image[0] = char(b[0]);
            image[2] = char(b[1]);
            image[16] = char((b[2] & 0xFE) | (image[16] & 1)); // bit 0 belongs to the name
            return image;
        };
        QByteArray lib, expected;
        for (int i = 0; i < 3; ++i) {
            lib += withBytes(MakeImage(u"E%1"_s.arg(i), i), row.before);
            expected +=
                withBytes(Entry(lib, i), row.edit.startsWith(u'a') || i == 1 ? row.after : row.before);
        }
        Fixture f;
        f.LoadLibrary(u"lib.pslib"_s, lib);
        f.Run(u"L1 "_s + row.edit);
        QCOMPARE(f.S().LibraryData, expected);
        QVERIFY(f.S().LibChanged && f.S().PatchIndex == 1);
    }

    void descriptionBox() {
        Fixture f;
        f.Ctl().MutableState().ActiveList = ActiveListLibrary; // no library yet: the box only counts
        f.Ctl().DescriptionEdited(u"abc"_s);
        QVERIFY(f.view.counter == u"3/255"_s && f.S().DescArray.isEmpty());

        f.LoadLibrary(u"lib.pslib"_s, MakeStore(3), {u"one"_s, u"two"_s});
        f.ImportPatches(u"in.pch"_s, MakeStore(2, 30), {u"first\r\nline"_s});
        f.Ctl().MutableState().DescArray[0] = u"element zero"_s; // never shown
        f.Run(u"L0"_s);
        QVERIFY(f.view.description == u"one"_s && f.view.counter == u"3/255"_s);
        f.Ctl().SelectPatch(false); // the patches list has no selection: nothing changes
        QVERIFY(f.S().CurrentPatch.Bytes() == Entry(MakeStore(3), 0) && f.view.description == u"one"_s);

        // An imported patch: its description from its side file and a read-only panel; typing stores
        // nothing and leaves the counter.
        f.Run(u"P0"_s);
        QVERIFY(f.view.description == u"first\r\nline"_s && f.view.detailsEnabled == false);
        f.Ctl().DescriptionEdited(u"lost"_s);
        QCOMPARE(f.view.counter, u"3/255"_s);
        f.Run(u"P1"_s); // no key for it
        QCOMPARE(f.view.description, QString());
        QCOMPARE(f.S().DescArray, (QStringList{u"element zero"_s, u"one"_s, u"two"_s, QString()}));
        QVERIFY(!f.S().LibChanged);

        // Typed for position 3: stored as typed, CR LF counting two.
        f.Run(u"L2"_s);
        for (const QString& text : {u"Hello"_s, u"ab\r\nc"_s, QString(255, u'x')}) {
            f.Ctl().DescriptionEdited(text);
            QCOMPARE(f.S().DescArray[3], text);
            QCOMPARE(f.view.counter, u"%1/255"_s.arg(text.size()));
        }
    }

    // A name where nothing exists makes a new library of one byte; an existing one opens unchanged.
    void load_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("entries"); // in the existing file; -1 none there
        QTest::newRow("new") << u"new"_s << u"new.pslib"_s << -1;
        QTest::newRow("new.pslib") << u"new.pslib"_s << u"new.pslib"_s << -1;
        QTest::newRow("X.PSLIB") << u"X.PSLIB"_s << u"X.PSLIB.pslib"_s << -1;
        QTest::newRow("existing, typed without extension") << u"x"_s << u"x.pslib"_s << 3;
    }
    void load() {
        QFETCH(QString, typed);
        QFETCH(QString, file);
        QFETCH(int, entries);
        Fixture f;
        const QByteArray store = MakeStore(std::max(entries, 0));
        const QStringList descs{u"one"_s, u"two\r\nlines"_s, QString()};
        WriteBytes(f.Path(u"X.PSLIB"_s), "\x02 not this one");
        if (entries >= 0)
            f.Write(file, LibraryFileBytes(store), descs);
        f.view.paths = {f.Path(typed)};
        f.Run(u"load"_s);
        QCOMPARE(ReadBytes(f.Path(file)), LibraryFileBytes(store));
        QCOMPARE(ReadBytes(f.Path(u"X.PSLIB"_s)), QByteArray("\x02 not this one"));
        CheckRequest(f.view.pathRequests.value(0), u"Load Library File"_s, LibraryFilter, false);
        QCOMPARE(f.S().LibraryData, store);
        QCOMPARE(f.S().DescArray, QStringList{QString()} + (entries < 0 ? QStringList() : descs));
        QVERIFY(f.S().LibFilePath == f.Path(file) && f.S().DescFilePath == f.Path(file) + u".txt"_s);
        QCOMPARE(f.view.library.labelToolTip, file);
        QCOMPARE(f.view.caption, u"Quillbox   "_s + f.Path(typed));
        QCOMPARE(f.Ctl().ListLine(ListId::Library, 0), entries > 0 ? u"01:  P0    "_s : QString());
        QCOMPARE(f.view.library.toolTip, u"%1 Patches"_s.arg(std::max(entries, 0)));
        QVERIFY(f.view.fileCommandsEnabled == true && !f.S().LibChanged && f.view.messages.isEmpty());
        QCOMPARE(QFileInfo::exists(f.Path(file) + u".txt"_s), entries >= 0);
    }

    void cancel_data() {
        QTest::addColumn<QString>("command");
        for (const char* command : {"load", "saveAs", "importLib", "importPatches", "export"})
            QTest::newRow(command) << QString::fromLatin1(command);
    }
    void cancel() {
        QFETCH(QString, command);
        Fixture f;
        f.LoadLibrary(u"a.pslib"_s, MakeStore(2));
        f.ImportPatches(u"p.pch"_s, MakeStore(3, 50));
        f.Run(u"delAll"_s);
        const LibraryState before = f.S();
        const QString caption = f.view.caption;
        const QStringList files = QDir(f.dir.path()).entryList(QDir::Files);
        f.view.paths.push_back(std::nullopt);
        if (command == u"load"_s)
            f.view.saveAnswers.push_back(SaveAnswer::No);
        f.Run(command);
        QCOMPARE(f.view.messages, QStringList{u"Cancelled: no file was chosen."_s});
        const LibraryState& s = f.S();
        QVERIFY(s.LibraryData == before.LibraryData && s.DescArray == before.DescArray &&
                s.LibFilePath == before.LibFilePath && s.PatchesData == before.PatchesData &&
                s.PatchesFilePath == before.PatchesFilePath && s.LibChanged && f.view.caption == caption &&
                !f.view.busy);
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), files);
    }

    void saveAndSaveAs() {
        Fixture f;
        const QByteArray store = MakeStore(2);
        const QString a = f.Path(u"a.pslib"_s), other = f.Path(u"other.pslib"_s);
        f.LoadLibrary(u"a.pslib"_s, store);
        // A lone LF is stored as a line break; blanks and quotes are kept inside quotes.
        f.Run(u"L0"_s);
        f.Ctl().DescriptionEdited(u" \"q\" "_s);
        f.Run(u"L1 t:Lead\nwith save"_s);
        QVERIFY(f.view.messages.isEmpty() && !f.S().LibChanged);
        QCOMPARE(ReadBytes(a), LibraryFileBytes(store));
        QCOMPARE(ReadBytes(a + u".txt"_s), QByteArray("[Description]\r\n1=\" \"q\" \"\r\n2=Lead&*&with\r\n"));

        // Save As "other" writes both files and switches the paths; the next save goes there.
        f.view.paths.push_back(f.Path(u"other"_s));
        f.Run(u"saveAs"_s);
        CheckRequest(f.view.pathRequests.last(), u"Save Library File"_s, LibraryFilter, true);
        QCOMPARE(f.view.messages, QStringList{other + u" saved"_s});
        QCOMPARE(ReadBytes(other), LibraryFileBytes(store));
        QCOMPARE(ReadBytes(other + u".txt"_s), ReadBytes(a + u".txt"_s));
        QVERIFY(f.S().LibFilePath == other && f.S().DescFilePath == other + u".txt"_s);
        // The caption names the file the next save writes.
        QVERIFY(f.view.library.labelToolTip == u"other.pslib"_s &&
                f.view.caption == u"Quillbox   "_s + other);
        f.Run(u"delAll save"_s);
        QCOMPARE(ReadBytes(other), QByteArray(1, '\x01'));
        QCOMPARE(ReadBytes(a), LibraryFileBytes(store));

        // Over an existing file Save As asks first: No writes nothing, Yes replaces it.
        for (const bool replace : {false, true}) {
            f.view.paths.push_back(f.Path(u"a"_s));
            f.view.yesNoAnswers.push_back(replace);
            f.Run(u"saveAs"_s);
            QCOMPARE(f.view.yesNoQuestions.last(),
                     u"Quillbox|"_s + a + u" already exists.\nDo you want to replace it?"_s);
            QCOMPARE(ReadBytes(a), replace ? QByteArray(1, '\x01') : LibraryFileBytes(store));
            QCOMPARE(f.S().LibFilePath, replace ? a : other);
        }
    }

    // The export writes the bare images and a side file; both imports fill the patches list from
    // such files, their descriptions read from the side file, and leave the library as it was.
    void exportAndImports() {
        Fixture f;
        const QByteArray store = MakeStore(3, 40);
        const QStringList descs{u"first"_s, QString(), u"two\r\nlines é"_s};
        f.LoadLibrary(u"a.pslib"_s, store, descs);
        const QString out = f.Path(u"out.pch"_s), lib = f.Path(u"a.pslib"_s);
        f.view.paths.push_back(f.Path(u"out"_s));
        f.Run(u"export"_s);
        CheckRequest(f.view.pathRequests.last(), u"Export PS02PatchFile"_s,
                     Nuls(u"PS02 Patches(*.pch)|*.pch|"_s), true);
        QCOMPARE(f.view.messages, QStringList{out + u" saved"_s});
        QCOMPARE(ReadBytes(out), store);
        for (const bool library : {false, true}) {
            const QString file = library ? lib : out;
            f.view.paths.push_back(library ? f.Path(u"a"_s) : out);
            f.Run(library ? u"importLib"_s : u"importPatches"_s);
            CheckRequest(
                f.view.pathRequests.last(), library ? u"Import Library"_s : u"Import PS02PatchFile"_s,
                library ? LibraryFilter : Nuls(u"PS02 Patches(*.pch)|*.pch|All (*.*)|*.*|"_s), false);
            QVERIFY(f.S().PatchesData == store && f.S().PatchesFilePath == file &&
                    f.S().PatchesDescFilePath == file + u".txt"_s);
            QVERIFY(f.view.patches.labelToolTip == QFileInfo(file).fileName() &&
                    f.view.patches.toolTip == u"3 Patches"_s);
            QCOMPARE(f.view.caption, u"Quillbox   "_s + file);
            f.Run(u"P2"_s);
            QCOMPARE(f.view.description, descs[2]);
        }
        QVERIFY(f.S().LibraryData == store && !f.S().LibChanged);
        f.Run(u"appendAll"_s);
        QCOMPARE(f.S().DescArray.mid(4), descs);
        // The patches' side file is read again once it changes on disk.
        WriteBytes(lib + u".txt"_s, SideFileBytes({u"1"_s, u"2"_s, u"changed"_s}));
        f.Run(u"P2"_s);
        QCOMPARE(f.view.description, u"changed"_s);
        f.Run(u"delAll"_s);
        for (const bool replace : {false, true}) { // an existing file is replaced only after Yes
            f.view.paths.push_back(out);
            f.view.yesNoAnswers.push_back(replace);
            f.Run(u"export"_s);
            QCOMPARE(ReadBytes(out), replace ? QByteArray() : store);
        }
    }

    // The closing question, and the same question before a load over unsaved changes.
    void closingQuestion_data() {
        QTest::addColumn<ClosingRow>("row");
        const int yes = int(SaveAnswer::Yes), no = int(SaveAnswer::No), cancel = int(SaveAnswer::Cancel);
        // clang-format off
        QTest::newRow("close, nothing loaded")  << ClosingRow{false, 0, -1, false, true};
        QTest::newRow("close, unchanged")       << ClosingRow{false, 1, -1, false, true};
        QTest::newRow("close, Yes")             << ClosingRow{false, 2, yes, false, true};
        QTest::newRow("close, No")              << ClosingRow{false, 2, no, false, true};
        QTest::newRow("close, Cancel")          << ClosingRow{false, 2, cancel, false, false};
        QTest::newRow("close, Yes, save fails") << ClosingRow{false, 2, yes, true, false};
        QTest::newRow("load, Yes")              << ClosingRow{true, 2, yes, false, true};
        QTest::newRow("load, No")               << ClosingRow{true, 2, no, false, true};
        QTest::newRow("load, Cancel")           << ClosingRow{true, 2, cancel, false, false};
        QTest::newRow("load, Yes, save fails")  << ClosingRow{true, 2, yes, true, false};
        // clang-format on
    }
    void closingQuestion() {
        QFETCH(ClosingRow, row);
        Fixture f;
        const QString lib = f.Path(u"c.pslib"_s), next = f.Path(u"b.pslib"_s);
        const QByteArray old = LibraryFileBytes(MakeStore(2));
        WriteBytes(next, LibraryFileBytes(MakeStore(4, 90)));
        WriteBytes(lib, old);
        f.Run(row.state == 0   ? u"click"_s
              : row.state == 1 ? u"open:c.pslib"_s
                               : u"open:c.pslib click L1 up"_s);
        if (row.failSave)
            QVERIFY(QDir().mkpath(lib + u".txt"_s));
        if (row.answer >= 0)
            f.view.saveAnswers.push_back(SaveAnswer(row.answer));
        if (row.load && row.goesOn)
            f.view.paths.push_back(next);
        const QByteArray data = f.S().LibraryData;
        const bool wentOn = row.load ? (f.Run(u"load"_s), f.S().LibFilePath == next) : f.Ctl().QueryClose();
        QCOMPARE(wentOn, row.goesOn);
        QCOMPARE(f.view.saveQuestions, row.answer >= 0 ? 1 : 0);
        const bool saved = row.answer == int(SaveAnswer::Yes) && !row.failSave;
        QCOMPARE(ReadBytes(lib), saved ? LibraryFileBytes(data) : old);
        QCOMPARE(f.view.messages.size(), row.failSave ? 1 : 0);
        QCOMPARE(f.S().LibChanged, !(row.load && row.goesOn) && row.state != 1 && !saved);
        QVERIFY(row.goesOn || f.S().LibraryData == data); // the changes are intact
    }

    // 100,000 entries loaded, edited in the middle and throughout, saved and loaded back whole.
    void hundredThousandEntries() {
        constexpr int Count = 100000;
        Fixture f;
        const QByteArray store = MakeStore(Count), patches = MakeStore(3, 7000);
        QStringList descs = Descs(Count, u"e"_s);
        f.Write(u"big.pslib"_s, LibraryFileBytes(store), descs);
        f.Run(u"load"_s);
        f.ImportPatches(u"in.pch"_s, patches);
        QCOMPARE(f.view.library.toolTip, u"100000 Patches"_s);
        QCOMPARE(f.Ctl().ListLine(ListId::Library, 99999), u"100000:  P99999"_s);
        f.Run(u"L50000 P1 copy L50001 up down clone L70000 del t:edited"_s);
        f.Ctl().SetChangeAll(true);
        f.Ctl().DriveTypePicked(5);

        QByteArray expected = store;
        expected.insert(50001 * 18, Entry(patches, 1).repeated(2)).remove(70000 * 18, 18);
        for (qsizetype i = 0; i < expected.size(); i += 18) // every drive type is 5 now
            expected[i] = char((expected[i] & 0xE0) | 5);
        descs.prepend(QString());
        descs.insert(50002, 2, QString());
        descs.removeAt(70001);
        descs[70001] = u"edited"_s;
        QCOMPARE(f.S().LibraryData, expected);
        QCOMPARE(f.S().DescArray, descs);

        // The library imported as patches: Update All and Append Different find nothing to do.
        f.view.paths.push_back(f.Path(u"big"_s));
        f.Run(u"save importLib updateAll appendDiff save"_s);
        QCOMPARE(ReadBytes(f.Path(u"big.pslib"_s)), LibraryFileBytes(expected));
        Fixture g;
        g.Ctl().LoadLibFromPath(f.Path(u"big.pslib"_s));
        QCOMPARE(g.S().LibraryData, expected);
        QCOMPARE(g.S().DescArray, descs);
    }
};

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
