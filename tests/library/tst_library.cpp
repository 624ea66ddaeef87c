// The library layer end to end through a FakeView, with real temporary files: the description
// array, the Patch and Library menus, Random Modification, the details panel and the description box,
// the File menu and the closing question, and a library of 100,000 entries. Find, twins, comparing and
// the set list: tst_libraryFind.cpp. Bad files and failing writes: tests/faults.
#include "FieldMap.h"
#include "LibraryTestSupport.h"
#include "PatchComparison.h"
#include "PatchName.h"
#include "TestClasses.h"
#include "TwinIndex.h"

#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <numeric>
#include <random>

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
    QString lines = {}; // the selected lines while several are selected
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
    // Each kind of file has its own folder; the commands that write offer a name (a Save dialog).
    QCOMPARE(request.kind, filter == LibraryFilter ? FileKind::Library : FileKind::PatchFile);
    QCOMPARE(request.fileName.isEmpty(), !saving);
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
    // box empty. `lines`: all selected lines while there are several.
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
        // A find that hides the shown entry, and a new import, leave nothing to show or edit.
        QTest::newRow("hidden entry")         << ScriptRow{3, 0, u"L1 hide:L"_s, u"0 1 2"_s, -2, false};
        QTest::newRow("edit hidden entry")    << ScriptRow{3, 0, u"L1 hide:L edits"_s, u"0 1 2"_s, -1, false};
        QTest::newRow("hidden patch")         << ScriptRow{3, 3, u"P1 hide:P"_s, u"0 1 2"_s, -2, false};
        QTest::newRow("hidden other list")    << ScriptRow{3, 3, u"P1 L2 hide:P"_s, u"0 1 2"_s, 2, false};
        QTest::newRow("import again")         << ScriptRow{3, 3, u"P1 reimport"_s, u"0 1 2"_s, -2, false};
        QTest::newRow("import, entry shown")  << ScriptRow{3, 3, u"L1 reimport"_s, u"0 1 2"_s, 1, false};
        // Several selected lines: each command acts on all of them, descriptions following their entries.
        QTest::newRow("delete first, last")   << ScriptRow{5, 0, u"L0,4 del"_s, u"1 2 3"_s, 0, true};
        QTest::newRow("delete scattered")     << ScriptRow{6, 0, u"L4,1,3 del"_s, u"0 2 5"_s, 1, true};
        QTest::newRow("delete every line")    << ScriptRow{4, 0, u"L0,1,2,3 del"_s, u""_s, -2, true};
        QTest::newRow("delete the last two")  << ScriptRow{5, 0, u"L3,4 del"_s, u"0 1 2"_s, 2, true};
        QTest::newRow("clone several")        << ScriptRow{4, 0, u"L0,2 clone"_s, u"0 0 1 2 2 3"_s, 4, true, u"1 4"_s};
        QTest::newRow("clone with the last")  << ScriptRow{3, 0, u"L2,1 clone"_s, u"0 1 1 2 2"_s, 2, true, u"2 4"_s};
        QTest::newRow("up several")           << ScriptRow{5, 0, u"L1,3 up"_s, u"1 0 3 2 4"_s, 2, true, u"0 2"_s};
        QTest::newRow("up at the top")        << ScriptRow{5, 0, u"L3,0 up"_s, u"0 1 2 3 4"_s, 0, false, u"0 3"_s};
        QTest::newRow("down several")         << ScriptRow{5, 0, u"L1,2 down"_s, u"0 3 1 2 4"_s, 3, true, u"2 3"_s};
        QTest::newRow("down at the end")      << ScriptRow{5, 0, u"L4,2 down"_s, u"0 1 2 3 4"_s, 2, false, u"2 4"_s};
        QTest::newRow("down, whole list")     << ScriptRow{3, 0, u"L0,1,2 down"_s, u"0 1 2"_s, 2, false, u"0 1 2"_s};
        QTest::newRow("copy several after")   << ScriptRow{3, 3, u"L1 P2,0 copy"_s, u"0 1 p0 p2 2"_s, -1, true};
        QTest::newRow("copy several to end")  << ScriptRow{3, 3, u"P0,1 copy"_s, u"0 1 2 p0 p1"_s, -1, true};
        QTest::newRow("drop further down")    << ScriptRow{5, 0, u"L2,0 mv:0,2>4"_s, u"1 3 0 2 4"_s, 2, true, u"2 3"_s};
        QTest::newRow("drop on top")          << ScriptRow{5, 0, u"mv:3,4>0"_s, u"3 4 0 1 2"_s, 0, true, u"0 1"_s};
        QTest::newRow("drop one at the end")  << ScriptRow{5, 0, u"mv:0>5"_s, u"1 2 3 4 0"_s, 4, true};
        QTest::newRow("drop amid its own")    << ScriptRow{5, 0, u"mv:1,3>3"_s, u"0 2 1 3 4"_s, 2, true, u"2 3"_s};
        QTest::newRow("drop onto itself")     << ScriptRow{5, 0, u"L1,2 mv:1,2>2"_s, u"0 1 2 3 4"_s, 2, false, u"1 2"_s};
        QTest::newRow("drop patches")         << ScriptRow{3, 3, u"cp:2,0>1"_s, u"0 p0 p2 1 2"_s, 1, true, u"1 2"_s};
        QTest::newRow("drop a patch at end")  << ScriptRow{3, 3, u"cp:2>3"_s, u"0 1 2 p2"_s, 3, true};
        QTest::newRow("sort all, one selected") << ScriptRow{5, 0, u"L3 up L4 up L1 sort"_s, u"0 1 2 3 4"_s, 1, true};
        QTest::newRow("sort the selected")    << ScriptRow{5, 0, u"L3 up L4 up L4,2,0 sort"_s, u"0 1 2 4 3"_s, 0, true, u"0 2 4"_s};
        QTest::newRow("sort, entry followed") << ScriptRow{3, 0, u"L2 up sort"_s, u"0 1 2"_s, 2, true};
        QTest::newRow("drop, no library")     << ScriptRow{-1, 3, u"P0,1 copy cp:0,1>0 dbl"_s, u"-"_s, -1, false};
        // clang-format on
    }
    // The sort's key is the name as the list shows it: case ignored, blanks at the end ignored, a
    // blank at the start kept (it sorts before the letters). "before": which of the two sorts first
    // (0: neither). "sorted": Sort by Name of a library of the two names and "AB" (L, R, A).
    void sortKey_data() {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("sorted");
        QTest::newRow("blanks at the end") << u"AB  "_s << u"AB"_s << 0 << u"LRA"_s;
        QTest::newRow("a blank at the start") << u" ZZ"_s << u"ZZ"_s << -1 << u"LAR"_s;
        QTest::newRow("a blank at the start, on the right") << u"ZZ"_s << u" ZZ"_s << 1 << u"RAL"_s;
        QTest::newRow("a blank inside counts") << u"A B"_s << u"AB"_s << -1 << u"LRA"_s;
        QTest::newRow("case") << u"abc"_s << u"ABD"_s << -1 << QString();
        QTest::newRow("case alike, blanks at the end") << u"Abc "_s << u"aBC"_s << 0 << QString();
    }
    void sortKey() {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, before);
        QFETCH(QString, sorted);
        QCOMPARE(NameSortsBefore(left, right), before < 0);
        QCOMPARE(NameSortsBefore(right, left), before > 0);
        if (sorted.isEmpty()) // the device's names have no small letters
            return;
        const QList<QByteArray> images{MakeImage(left, 1), MakeImage(right, 2), MakeImage(u"AB"_s, 3)};
        Fixture f;
        f.LoadLibrary(u"lib.pslib"_s, images[0] + images[1] + images[2], {});
        f.Run(u"sort"_s);
        QString order;
        for (qsizetype k = 0; k < 3; ++k)
            order += u"LRA"_s.at(images.indexOf(Entry(f.Ctl().State().LibraryData, k)));
        QCOMPARE(order, sorted);
    }

    // The twin counts follow each entry operation by counting only what it changed: after every step
    // of the script they agree with counting the library anew. The library has twins of every kind
    // (entries 1 and 4 identical, 2 renamed 0, 3 named as 0 with other settings) and a short last
    // entry, and the counts are looked at before each step so that the step updates them.
    void twinCounts_data() {
        QTest::addColumn<QString>("script");
        QTest::newRow("delete several") << u"L1,3 del L0,2 del"_s;
        QTest::newRow("delete the short last") << u"L5 del L0 del"_s;
        QTest::newRow("clone several") << u"L4,1,5 clone L0 clone"_s;
        QTest::newRow("drops") << u"mv:5,1>0 mv:0,2>6"_s;
        QTest::newRow("moves") << u"L5 up L1,2 down L0 down"_s;
        QTest::newRow("copies and sort") << u"cp:0,1>6 cp:2>0 L3 P1 copy sort"_s;
        QTest::newRow("undo and redo") << u"L1,3 del undo redo undo L0,5 clone undo"_s;
    }
    void twinCounts() {
        QFETCH(QString, script);
        Fixture f;
        QByteArray lib = MakeStore(5);
        lib.replace(18, 18, Entry(lib, 4));
        lib.replace(2 * 18, 11, Entry(lib, 0).left(11));
        lib.replace(3 * 18 + 11, 7, Entry(lib, 0).mid(11));
        lib.append(MakeImage(u"SHORT"_s, 9).left(14));
        f.LoadLibrary(u"lib.pslib"_s, lib, Descs(6, u"L"_s));
        f.ImportPatches(u"in.pch"_s, Entry(lib, 4) + MakeStore(2, 500), Descs(3, u"p"_s));
        for (const QString& step : script.split(u' ')) {
            f.Ctl().LineTwinKinds(ListId::Library, 0);
            f.Run(step);
            TwinIndex anew;
            const QByteArray& now = f.Ctl().State().LibraryData;
            anew.Update(now);
            for (qsizetype k = 0; k < EntryCount(now); ++k)
                QCOMPARE(f.Ctl().LineTwinKinds(ListId::Library, k), anew.LibraryKinds(k));
            for (qsizetype p = 0; p < 3; ++p)
                QCOMPARE(f.Ctl().LineTwinKinds(ListId::Patches, p),
                         anew.PatchKinds(f.Ctl().State().PatchesData, p));
        }
    }

    // Changes of thousands of entries are counted beside the window, each after the one before it: the
    // counts the lines are drawn with end up those of the library as it stands.
    void twinCountsBeside() {
        Fixture f;
        QByteArray lib = MakeStore(15000);
        for (qsizetype k = 0; k < 15000; k += 7)
            lib.replace(k * 18, 18, Entry(lib, k / 2)); // many identical pairs, far apart
        f.LoadLibrary(u"lib.pslib"_s, lib, Descs(15000, u"L"_s));
        QStringList every3, every5;
        for (qsizetype k = 0; k < 15000; k += 3)
            every3.append(QString::number(k));
        for (qsizetype k = 1; k < 7000; k += 5)
            every5.append(QString::number(k));
        const int recounts = f.Ctl().Document().Twins().Recounts();
        // A delete and a clone of thousands, a drop behind them, without waiting in between.
        f.Run(u"L"_s + every3.join(u',') + u" del L"_s + every5.join(u',') + u" clone mv:0,1,2>900"_s);
        QCOMPARE(f.Ctl().Document().Twins().Recounts(), recounts); // each change counted, in order
        const QByteArray& now = f.Ctl().State().LibraryData;
        TwinIndex anew;
        anew.Update(now);
        for (qsizetype k = 0; k < EntryCount(now); ++k) {
            if (f.Ctl().LineTwinKinds(ListId::Library, k) != anew.LibraryKinds(k))
                QFAIL(qPrintable(u"entry %1"_s.arg(k)));
        }
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
        QList<qsizetype> lines;
        for (const QString& line : row.lines.split(u' ', Qt::SkipEmptyParts))
            lines.append(line.toInt());
        QCOMPARE(f.S().LibSelected, lines);
        QCOMPARE(f.view.library.lines, lines);
        QCOMPARE(f.view.library.count, f.Ctl().ListCount(ListId::Library));
        QCOMPARE(f.view.messages.size(), noLibrary ? 3 : 0);
        QVERIFY(!noLibrary || f.view.messages[0].startsWith(u"No library is loaded."_s));
        if (row.sel >= 0)
            QVERIFY(f.view.detailsEnabled == true && f.S().PatchIndex == row.sel);
        if (row.sel == -2) {
            QVERIFY(f.view.detailsEnabled == false && f.view.description.isEmpty());
            QCOMPARE(f.view.details.value_or(DetailValues{}), DetailValues{});
        }
        // A library entry in the panel is shown as stored now, with its description in the box.
        if (f.view.detailsEnabled == true) {
            QCOMPARE(*f.view.details,
                     ShowPatchDetails(PatchImage::FromStore(f.S().LibraryData, f.S().PatchIndex)));
            QCOMPARE(f.view.description, f.S().DescArray.value(f.S().PatchIndex + 1));
        }
    }

    // A library whose last entry is cut short (5 of 18 bytes): every command that puts a patch behind
    // it pads that entry to a whole image first, so the patch stays whole, under its own description.
    // `expected` lists library entries (2 the padded short one, s the short one as it was) and
    // patches (p0, p1).
    void shortLastEntry_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("copy, no selection") << u"P0 copy"_s << u"0 1 2 p0"_s;
        QTest::newRow("copy after the short entry") << u"L2 P1 copy"_s << u"0 1 2 p1"_s;
        QTest::newRow("copy after entry 0") << u"L0 P1 copy"_s << u"0 p1 1 s"_s;
        QTest::newRow("double click") << u"P1 dbl"_s << u"0 1 2 p1"_s;
        QTest::newRow("append all") << u"appendAll"_s << u"0 1 2 p0 p1"_s;
        QTest::newRow("append different") << u"appendDiff"_s << u"0 1 2 p0 p1"_s;
        QTest::newRow("clone the short entry") << u"L2 clone"_s << u"0 1 2 2"_s;
        QTest::newRow("clone several") << u"L0,2 clone"_s << u"0 0 1 2 2"_s;
        QTest::newRow("move it up with another") << u"L1,2 up"_s << u"1 2 0"_s;
        QTest::newRow("drop it on top") << u"mv:2>0"_s << u"2 0 1"_s;
        QTest::newRow("drop before it") << u"mv:0>2"_s << u"1 0 s"_s;
        QTest::newRow("copy several to the end") << u"P1,0 copy"_s << u"0 1 2 p0 p1"_s;
        QTest::newRow("drop a patch before it") << u"cp:0>2"_s << u"0 1 p0 s"_s;
    }
    void shortLastEntry() {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        Fixture f;
        const QByteArray lib = MakeStore(3).left(2 * 18 + 5), patches = MakeStore(2, 500);
        f.LoadLibrary(u"lib.pslib"_s, lib, Descs(3, u"L"_s));
        f.ImportPatches(u"in.pch"_s, patches, Descs(2, u"p"_s));
        f.Run(script);
        QByteArray images;
        QStringList descs{QString()};
        for (const QString& token : expected.split(u' ')) {
            const bool patch = token.startsWith(u'p');
            const int i = token == u"s"_s ? 2 : token.mid(patch ? 1 : 0).toInt();
            images += patch             ? Entry(patches, i)
                      : token == u"s"_s ? lib.mid(36)
                                        : PatchImage::FromStore(lib, i).Bytes();
            descs += (patch ? u"p%1"_s : u"L%1"_s).arg(i + 1);
        }
        QCOMPARE(f.S().LibraryData, images);
        QCOMPARE(f.S().DescArray, descs);
        QCOMPARE(f.Ctl().ListCount(ListId::Library), descs.size() - 1);
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

        // Several selected lines: each varied, the selection kept, the line clicked last shown.
        next = 0;
        f.Run(u"L4,0 rnd"_s);
        QByteArray varied = QByteArray(lib).replace(2 * 18, 18, image);
        for (int i = 0; i < 11; ++i) // in list order: entry 0 takes 0 .. 10, entry 4 takes 11 .. 21
            varied[i] = char(i), varied[4 * 18 + i] = char(11 + i);
        QCOMPARE(f.S().LibraryData, varied);
        QCOMPARE(f.S().DescArray, (QStringList{QString(), text, u"L2"_s, text, u"L4"_s, text}));
        QVERIFY(f.view.library.lines == (QList<qsizetype>{0, 4}) && f.view.library.selected == 0);
        QCOMPARE(f.view.nameText, u"RND1"_s);

        // The real generator, seeded anew each run: bytes 1-11 new and never 255, bytes 12-18 kept.
        f.Ctl().SetRandomSource({});
        f.Run(u"L2"_s);
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
        // Under "Change  Selected" every selected line takes the change; "Change  All" still changes all.
        QTest::newRow("several: drive type") << BoundRow{u"L0,2 drive:2"_s, {0xFB, 0, 0}, {0xE2, 0, 0}};
        QTest::newRow("several: Cab checked") << BoundRow{u"L2,0 chkC:1"_s, {0, 0, 0xFE}, {0, 0, 0xFA}};
        QTest::newRow("several, all: speaker") << BoundRow{u"L0,1 all:1 spk:4"_s, {0, 0xFF, 0}, {0, 0xCF, 0}};
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
        // The edit goes to line 1 unless the row selects other lines first.
        const QString script = row.edit.startsWith(u'L') ? row.edit : u"L1 "_s + row.edit;
        const QString lines = script.section(u' ', 0, 0).mid(1);
        QByteArray lib, expected;
        for (int i = 0; i < 3; ++i) {
            lib += withBytes(MakeImage(u"E%1"_s.arg(i), i), row.before);
            const bool changed =
                script.contains(u"all:1"_s) || lines.split(u',').contains(QString::number(i));
            expected += withBytes(Entry(lib, i), changed ? row.after : row.before);
        }
        Fixture f;
        f.LoadLibrary(u"lib.pslib"_s, lib);
        f.Run(script);
        QCOMPARE(f.S().LibraryData, expected);
        QVERIFY(f.S().LibChanged && f.S().PatchIndex == lines.section(u',', -1).toInt());
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
        QCOMPARE(f.view.usedFiles, QStringList{f.Path(file)});
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
        QCOMPARE(f.view.usedFiles, QStringList{f.Path(u"a.pslib"_s)});
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
        QCOMPARE(f.view.pathRequests.last().fileName, u"other.pslib"_s);
        QCOMPARE(f.view.usedFiles, (QStringList{a, a, other, other, a}));
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
        QCOMPARE(f.view.pathRequests.last().fileName, u"a.pch"_s);
        QCOMPARE(f.view.messages, QStringList{out + u" saved"_s});
        QCOMPARE(ReadBytes(out), store);
        // "Export Selected" writes only the selected lines, in list order, with their descriptions.
        const QString part = f.Path(u"part.pch"_s);
        f.view.paths.push_back(part);
        f.view.paths.push_back(part);
        f.Run(u"L2,0 exportSel importPatches P1"_s);
        QCOMPARE(f.view.messages.last(), part + u" saved"_s);
        QCOMPARE(ReadBytes(part), Entry(store, 0) + Entry(store, 2));
        QCOMPARE(f.view.description, descs[2]);
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
            QCOMPARE(f.view.caption, u"Quillbox   "_s + lib); // the file a save writes
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
        f.Run(u"delAll exportSel"_s); // nothing selected: no dialog
        QCOMPARE(f.view.statuses.last(), u"Nothing exported: no library patch is selected"_s);
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
        if (row.failSave) {
            QVERIFY(QDir().mkpath(lib + u".txt"_s));
            // The folder where the side file goes is a change on disk: the save asks before it fails.
            f.view.diskAnswers.push_back(DiskChangeAnswer::Overwrite);
        }
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

    // Every save that replaces a library keeps the pair it replaced as an earlier version; one that
    // cannot be kept never stops the save: the user is told after it.
    void saveKeepsVersion_data() {
        QTest::addColumn<QString>("script"); // on lib.pslib (3 entries); saveAs goes to `target`
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("blocked"); // a file where the versions folder should be
        QTest::addColumn<int>("kept");     // versions of lib.pslib afterwards
        QTest::newRow("save") << u"L1 up save"_s << QString() << false << 1;
        QTest::newRow("save unchanged") << u"save"_s << QString() << false << 0;
        QTest::newRow("save as over it") << u"L1 up saveAs"_s << u"lib"_s << false << 1;
        QTest::newRow("save as a new name") << u"L1 up saveAs"_s << u"new"_s << false << 0;
        QTest::newRow("cannot be kept") << u"L1 up save"_s << QString() << true << 0;
    }
    void saveKeepsVersion() {
        QFETCH(QString, script);
        QFETCH(QString, target);
        QFETCH(bool, blocked);
        QFETCH(int, kept);
        Fixture f;
        const QString lib = f.Path(u"lib.pslib"_s);
        f.LoadLibrary(u"lib.pslib"_s, MakeStore(3), Descs(3, u"L"_s));
        const LibraryPair before{ReadBytes(lib), ReadBytes(lib + u".txt"_s)};
        if (blocked)
            WriteBytes(f.versionsDir.filePath(u"versions"_s), "a file");
        if (!target.isEmpty()) {
            f.view.paths.push_back(f.Path(target));
            if (target == u"lib"_s)
                f.view.yesNoAnswers.push_back(true);
        }
        f.Run(script);
        const QList<EarlierVersion> versions = f.Ctl().LibEarlierVersions();
        const QString saved = f.S().LibFilePath;
        QCOMPARE(EarlierVersions(f.versionsDir.filePath(u"versions"_s)).List(lib).size(), kept);
        if (kept > 0)
            QCOMPARE(EarlierVersions(f.versionsDir.filePath(u"versions"_s)).Read(lib, versions.last().id),
                     before);
        QStringList told;
        if (!target.isEmpty())
            told.append(saved + u" saved"_s);
        if (blocked)
            told.append(lib + u" was saved, but the version it replaced could not be kept as an earlier "
                              u"version: Error: Cannot create the folder: "_s);
        QCOMPARE(f.view.messages.size(), told.size());
        for (qsizetype i = 0; i < told.size(); ++i)
            QVERIFY2(f.view.messages[i].startsWith(told[i]), qPrintable(f.view.messages[i]));
        QVERIFY(!f.S().LibChanged);
        QCOMPARE(ReadBytes(saved), LibraryFileBytes(f.S().LibraryData));
    }

    // "Earlier Versions" loads a kept version as the library being edited, with unsaved changes;
    // unsaved changes get the closing question first, and a save it makes (which keeps a version
    // and may prune the chosen one) does not change what is loaded.
    void loadEarlierVersion_data() {
        QTest::addColumn<int>("saves"); // each swaps entries 0 and 1 and saves
        QTest::addColumn<bool>("edited");
        QTest::addColumn<int>("answer"); // SaveAnswer; -1 nothing asked
        QTest::addColumn<bool>("loads");
        const int yes = int(SaveAnswer::Yes), no = int(SaveAnswer::No), cancel = int(SaveAnswer::Cancel);
        QTest::newRow("unchanged") << 1 << false << -1 << true;
        QTest::newRow("changed, Yes") << 1 << true << yes << true;
        QTest::newRow("changed, No") << 1 << true << no << true;
        QTest::newRow("changed, Cancel") << 1 << true << cancel << false;
        QTest::newRow("Yes prunes the chosen one") << 20 << true << yes << true;
    }
    void loadEarlierVersion() {
        QFETCH(int, saves);
        QFETCH(bool, edited);
        QFETCH(int, answer);
        QFETCH(bool, loads);
        Fixture f;
        const QByteArray store = MakeStore(3);
        const QString lib = f.Path(u"lib.pslib"_s);
        f.LoadLibrary(u"lib.pslib"_s, store, Descs(3, u"L"_s));
        for (int i = 0; i < saves; ++i)
            f.Run(u"L1 up save"_s);
        if (edited)
            f.Run(u"L1 del"_s);
        const QList<EarlierVersion> versions = f.Ctl().LibEarlierVersions();
        QCOMPARE(versions.size(), saves);
        QVERIFY(versions.last().patches == 3 && versions.last().libraryBytes == 55);
        const QByteArray onDisk = ReadBytes(lib), current = f.S().LibraryData;
        if (answer >= 0)
            f.view.saveAnswers.push_back(SaveAnswer(answer));
        f.Ctl().LoadEarlierVersion(versions.last().id); // the library as first loaded
        QCOMPARE(f.view.saveQuestions, answer >= 0 ? 1 : 0);
        QCOMPARE(f.S().LibraryData, loads ? store : current);
        QCOMPARE(f.S().DescArray, loads ? QStringList{QString()} + Descs(3, u"L"_s) : f.S().DescArray);
        QVERIFY(f.S().LibChanged && f.S().LibFilePath == lib);
        QCOMPARE(f.view.library.count, f.Ctl().ListCount(ListId::Library));
        QCOMPARE(ReadBytes(lib), answer == int(SaveAnswer::Yes) ? LibraryFileBytes(current) : onDisk);
        QCOMPARE(f.view.messages, QStringList());
    }

    // Renaming changes the name field of that entry only: every other bit of the store, the
    // descriptions and the selection stay; the panel takes the new image when it shows the entry.
    // A last entry cut short by its file keeps its length.
    void renameKeepsEveryOtherBit_data() {
        QTest::addColumn<qsizetype>("entry");
        QTest::addColumn<QString>("click"); // the line clicked before
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("cut"); // bytes missing from the last entry
        QTest::newRow("first, shown") << qsizetype(0) << u"L0"_s << u"crunch"_s << 0;
        QTest::newRow("middle, other shown") << qsizetype(3) << u"L5"_s << u"@="_s << 0;
        QTest::newRow("last, blanks") << qsizetype(6) << u"L6"_s << u""_s << 0;
        QTest::newRow("short last entry") << qsizetype(6) << u"L6"_s << u"ZZZZZZ"_s << 1;
        QTest::newRow("cut short in its name") << qsizetype(6) << u"L6"_s << u"ZZZZZZ"_s << 2;
    }
    void renameKeepsEveryOtherBit() {
        QFETCH(qsizetype, entry);
        QFETCH(QString, click);
        QFETCH(QString, name);
        QFETCH(int, cut);
        std::mt19937 random(7);
        QByteArray store(7 * 18 - cut, '\0');
        for (char& byte : store)
            byte = char(random());
        Fixture f;
        f.LoadLibrary(u"lib.pslib"_s, store, Descs(7, u"d"_s));
        f.Run(click);
        const LibraryState before = f.S();
        const bool whole = cut < 2; // a name cut short is refused
        QCOMPARE(f.Ctl().RenameEntry(entry, name), whole);
        const QByteArray& after = f.S().LibraryData;
        if (!whole) {
            QCOMPARE(after, store);
            QCOMPARE(f.view.statuses.last(),
                     u"Nothing renamed: 07: ends before its name, cut short by the end of its file"_s);
            return;
        }
        QCOMPARE(after.size(), store.size());
        const quint64 nameBits = quint64{0xFFFFFFFFF} << 5; // bits 5..40 of bytes 12..17
        for (qsizetype i = 0; i < store.size(); ++i) {
            const qsizetype inName = i - entry * 18 - 11;
            const int keep = inName >= 0 && inName < 6 ? int(~(nameBits >> (8 * inName)) & 0xFF) : 0xFF;
            QVERIFY2((after[i] & keep) == (store[i] & keep), qPrintable(u"byte %1"_s.arg(i)));
        }
        if (!cut)
            QCOMPARE(f.Ctl().ListLine(ListId::Library, entry).mid(5), name.toUpper().leftJustified(6));
        QCOMPARE(f.S().DescArray, before.DescArray);
        QCOMPARE(f.S().LibSelection, before.LibSelection);
        QCOMPARE(f.S().CurrentPatch,
                 before.PatchIndex == entry ? PatchImage::FromStore(after, entry) : before.CurrentPatch);
        QCOMPARE(f.view.library.changedLines, QList<qsizetype>{entry});
        QVERIFY(f.S().LibChanged);
    }

    // "Tags…" over the selected entries (descriptions d1..d4, entry 3's near the limit): every entry
    // takes the tag as one step, or, when one cannot, none does and that entry is named.
    void tagSelected_data() {
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("add");
        QTest::addColumn<QStringList>("after"); // descriptions 1..4 afterwards
        QTest::addColumn<QString>("status");    // empty: a message instead, nothing changed
        const QString nearLimit = QString(251, u'n');
        QTest::newRow("add to three") << u"L0,1,3"_s << u"#gig"_s << true
                                      << QStringList{u"d1 #gig"_s, u"d2 #gig"_s, nearLimit, u"d4 #old #gig"_s}
                                      << u"Added #gig to 3 patches"_s;
        QTest::newRow("one has it") << u"L3"_s << u"#old"_s << true
                                    << QStringList{u"d1"_s, u"d2"_s, nearLimit, u"d4 #old"_s}
                                    << u"Nothing changed: 04:  P3 already has #old"_s;
        QTest::newRow("remove, any case") << u"L0,3"_s << u"#OLD"_s << false
                                          << QStringList{u"d1"_s, u"d2"_s, nearLimit, u"d4"_s}
                                          << u"Removed #OLD from 1 patch"_s;
        QTest::newRow("does not fit") << u"L1,2"_s << u"#gig"_s << true
                                      << QStringList{u"d1"_s, u"d2"_s, nearLimit, u"d4 #old"_s} << QString();
    }
    void tagSelected() {
        QFETCH(QString, select);
        QFETCH(QString, tag);
        QFETCH(bool, add);
        QFETCH(QStringList, after);
        QFETCH(QString, status);
        Fixture f;
        const QStringList before{u"d1"_s, u"d2"_s, QString(251, u'n'), u"d4 #old"_s};
        f.LoadLibrary(u"lib.pslib"_s, MakeStore(4), before);
        f.Run(select);
        const qsizetype steps = f.Ctl().History().UndoCount();
        QCOMPARE(f.Ctl().TagSelected(tag, add), !status.isEmpty());
        QCOMPARE(f.S().DescArray.mid(1), after);
        if (status.isEmpty()) {
            QCOMPARE(f.view.messages.size(), 1);
            QVERIFY2(f.view.messages.first().contains(u"03:  P2"_s), qPrintable(f.view.messages.first()));
            f.view.messages.clear();
        } else {
            QCOMPARE(f.view.statuses.last(), status);
        }
        const bool changed = f.S().DescArray.mid(1) != before;
        QCOMPARE(f.Ctl().History().UndoCount(), steps + (changed ? 1 : 0));
        QCOMPARE(f.S().LibChanged, changed);
        f.Ctl().Undo();
        QCOMPARE(f.S().DescArray.mid(1), before);
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

std::unique_ptr<QObject> NewLibraryFindTests(); // tst_libraryFind.cpp

// One program for both classes, so that it stays one ctest test.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> classes;
    classes.push_back(std::make_unique<TestLibrary>());
    classes.push_back(NewLibraryFindTests());
    return RunTestClasses(classes, argc, argv);
}

#include "tst_library.moc"
