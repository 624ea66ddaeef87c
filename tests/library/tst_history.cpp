// Undo and redo through a FakeView: every kind of step taken back and done again byte for byte, a
// long random mix of commands, undos and redos against the states seen, the saved point, and the
// memory the history keeps.
#include "ChangeHistory.h"
#include "LibraryTestSupport.h"

#include <QRandomGenerator>
#include <algorithm>

using namespace quillbox;
using namespace quillbox::test;

namespace {

// What the user sees of the library and what is stored.
struct Seen {
    QByteArray library;
    QStringList descriptions;
    qsizetype selected = -1;
    qsizetype shown = -1;   // the library entry in the panel; -1 none
    QString box;            // the description box, while it shows a library entry
    QList<qsizetype> lines; // every selected line while several are
    // QList's own == hands memcmp a null pointer for two empty lists, which the sanitizer rejects.
    friend bool operator==(const Seen& a, const Seen& b) {
        return a.library == b.library && a.descriptions == b.descriptions && a.selected == b.selected &&
               a.shown == b.shown && a.box == b.box &&
               std::equal(a.lines.begin(), a.lines.end(), b.lines.begin(), b.lines.end());
    }
};

Seen Look(const Fixture& f) {
    const LibraryState& s = f.S();
    const bool shown = s.DetailsEnabled;
    return {s.LibraryData,
            s.DescArray,
            s.LibSelection,
            shown ? s.PatchIndex : -1,
            shown ? f.view.description : QString(),
            s.LibSelected};
}

// The window shows what is stored: the selected line, the panel, the box.
void CheckShown(Fixture& f) {
    const LibraryState& s = f.S();
    QCOMPARE(f.view.library.selected, s.LibSelection);
    QCOMPARE(f.view.library.lines, s.LibSelected);
    QCOMPARE(f.view.library.count, f.Ctl().ListCount(ListId::Library));
    QCOMPARE(f.view.detailsEnabled.value_or(false), s.DetailsEnabled);
    if (s.DetailsEnabled) {
        QCOMPARE(*f.view.details, ShowPatchDetails(PatchImage::FromStore(s.LibraryData, s.PatchIndex)));
        QCOMPARE(f.view.description, s.DescArray.value(s.PatchIndex + 1));
    }
}

// A library of five entries (descriptions L1..L5) and four patches: the first equal to library
// entry 0, the second named like library entry 1 but with other bytes, two new ones.
struct World : Fixture {
    QByteArray lib = MakeStore(5);
    int random = 0;
    World() {
        LoadLibrary(u"lib.pslib"_s, lib, Descs(5, u"L"_s));
        ImportPatches(u"in.pch"_s, Entry(lib, 0) + MakeImage(u"P1"_s, 777) + MakeStore(2, 500),
                      Descs(3, u"p"_s));
        Ctl().SetClock([] { return QDateTime(QDate(2025, 1, 2), QTime(3, 4)); });
        Ctl().SetRandomSource([this] { return quint8(random++ % 255); });
    }
};

constexpr qsizetype BigCount = 100000;

const QByteArray& BigStore() {
    static const QByteArray store = MakeStore(BigCount);
    return store;
}

// Every n-th line of the big library: "0,n,2n,...".
QString Every(qsizetype n) {
    QStringList lines;
    for (qsizetype k = 0; k < BigCount; k += n)
        lines.append(QString::number(k));
    return lines.join(u',');
}

struct StepRow {
    QString setup, command;
    QString step;   // the Edit menu's step; empty: the command makes no step
    QString status; // the status line after the command; empty: none
};

} // namespace

namespace QTest {
template <> char* toString(const Seen& seen) {
    return qstrdup(qPrintable(
        u"%1 entries, descriptions %2, selected %3, shown %4, box \"%5\""_s.arg(seen.library.size() / 18)
            .arg(seen.descriptions.join(u'|'))
            .arg(seen.selected)
            .arg(seen.shown)
            .arg(seen.box)));
}
} // namespace QTest

class TestHistory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void steps_data() {
        QTest::addColumn<StepRow>("row");
        // clang-format off
        QTest::newRow("copy after")      << StepRow{u"L2 P1"_s, u"copy"_s, u"Copy 04:  P1"_s, u"Copied P1 into the library as 04"_s};
        QTest::newRow("copy to the end") << StepRow{u"P3"_s, u"copy"_s, u"Copy 06:  P1"_s, u"Copied P1 into the library as 06"_s};
        QTest::newRow("copy, none")      << StepRow{u"L2"_s, u"copy"_s, u""_s, u"Nothing copied: no patch of the patches list is selected"_s};
        QTest::newRow("double click")    << StepRow{u"L0 P2"_s, u"dbl"_s, u"Copy 02:  P0"_s, u"Copied P0 into the library as 02"_s};
        QTest::newRow("replace")         << StepRow{u"P1 L3"_s, u"replace"_s, u"Replace 04:  P3"_s, u"Replaced 04:  P3 with P1"_s};
        QTest::newRow("update")          << StepRow{u"P2 L0"_s, u"update"_s, u"Update 01:  P0"_s, u"Updated 01:  P0 from P0"_s};
        QTest::newRow("append all")      << StepRow{u"L1"_s, u"appendAll"_s, u"Append All Patches"_s, u"Appended 4 patches"_s};
        QTest::newRow("append diff")     << StepRow{u"L1"_s, u"appendDiff"_s, u"Append All Different Patches"_s, u"Appended 3 of 4 patches; skipped 1: 1 identical to library patches"_s};
        QTest::newRow("update all")      << StepRow{u"L1"_s, u"updateAll"_s, u"Update All Patches in the Library"_s, u"Updated 1 of 5 library patches"_s};
        QTest::newRow("move up")         << StepRow{u"L2"_s, u"up"_s, u"Move up 03:  P2"_s, u"Moved 03:  P2 up to 02"_s};
        QTest::newRow("up on the first") << StepRow{u"L0"_s, u"up"_s, u""_s, u"Nothing moved: 01:  P0 is the first patch"_s};
        QTest::newRow("move down")       << StepRow{u"L2"_s, u"down"_s, u"Move down 03:  P2"_s, u"Moved 03:  P2 down to 04"_s};
        QTest::newRow("clone")           << StepRow{u"L4"_s, u"clone"_s, u"Clone 05:  P4"_s, u"Cloned 05:  P4 as 06"_s};
        QTest::newRow("delete")          << StepRow{u"L2"_s, u"del"_s, u"Delete 03:  P2"_s, u"Deleted 03:  P2"_s};
        QTest::newRow("delete the last") << StepRow{u"L4"_s, u"del"_s, u"Delete 05:  P4"_s, u"Deleted 05:  P4"_s};
        QTest::newRow("delete, none")    << StepRow{u""_s, u"del"_s, u""_s, u"Nothing deleted: no library patch is selected"_s};
        QTest::newRow("delete all")      << StepRow{u"L3"_s, u"delAll"_s, u"Delete ALL Patches"_s, u"Deleted all 5 patches"_s};
        QTest::newRow("delete all twice")<< StepRow{u"delAll"_s, u"delAll"_s, u""_s, u"Nothing deleted: the library is empty"_s};
        QTest::newRow("random")          << StepRow{u"L1"_s, u"rnd"_s, u"Random Modification of 02:  P1"_s, u"Made a random variation of 02:  P1"_s};
        QTest::newRow("drive type")      << StepRow{u"L1"_s, u"drive:3"_s, u"Change Drive type of 02:  P1"_s, u"Changed the drive type of 02:  P1"_s};
        QTest::newRow("all: cab type")   << StepRow{u"L1 all:1"_s, u"cab:1"_s, u"Change All: Cab type"_s, u"Changed the cab type of 5 patches"_s};
        QTest::newRow("all: speaker")    << StepRow{u"L1 all:1"_s, u"spk:2"_s, u"Change All: Cab speaker"_s, u"Changed the cab speaker of 5 patches"_s};
        QTest::newRow("Drive off")       << StepRow{u"L3"_s, u"chkD:1"_s, u"Change Drive off of 04:  P3"_s, u"Switched Drive off for 04:  P3"_s};
        QTest::newRow("all: Cab on")     << StepRow{u"L3 all:1"_s, u"chkC:0"_s, u"Change All: Cab on"_s, u"Switched Cab on for 5 patches"_s};
        QTest::newRow("take drive type") << StepRow{u"P1 L1"_s, u"take:0"_s, u"Take Drive type into 02:  P1"_s, u"Took the drive type of Patches 02 into 02:  P1"_s};
        QTest::newRow("take cab, same")  << StepRow{u"P0 L0"_s, u"take:4"_s, u""_s, u"Nothing changed: 01:  P0 already had that cab"_s};
        QTest::newRow("take, no patch")  << StepRow{u"L0"_s, u"take:1"_s, u""_s, u""_s};
        QTest::newRow("dups")            << StepRow{u"L1 clone L4"_s, u"dups"_s, u""_s, u"Selected 1 duplicate: 03"_s};
        QTest::newRow("dups, none")      << StepRow{u"L1"_s, u"dups"_s, u""_s, u"No duplicates: no library patch repeats an earlier one"_s};
        QTest::newRow("rename")          << StepRow{u"L2"_s, u"ren:cr-1"_s, u"Rename 03:  P2 to CR-1"_s, u"Renamed 03:  P2 to CR-1"_s};
        QTest::newRow("rename, the same")<< StepRow{u"L2"_s, u"ren:p2"_s, u""_s, u"Nothing renamed: 03:  P2 has that name"_s};
        QTest::newRow("rename refused")  << StepRow{u"L2"_s, u"ren:a_b"_s, u""_s, u"A patch name cannot hold \"_\"; allowed are A-Z, 0-9, the blank and ' < > * + - / [ = ] @"_s};
        QTest::newRow("typing")          << StepRow{u"L1"_s, u"t:a t:ab t:abc"_s, u"Typing in 02:  P1"_s, u""_s};
        QTest::newRow("typed back")      << StepRow{u"L1"_s, u"t:L2x t:L2"_s, u""_s, u""_s};
        QTest::newRow("imported patch")  << StepRow{u"P1"_s, u"t:lost edits"_s, u""_s, u""_s};
        // Several selected lines, and drops.
        QTest::newRow("delete several")  << StepRow{u"L1,3"_s, u"del"_s, u"Delete 2 patches"_s, u"Deleted 2 patches: 02:  P1, 04:  P3"_s};
        QTest::newRow("delete every line") << StepRow{u"L0,1,2,3,4"_s, u"del"_s, u"Delete 5 patches"_s, u"Deleted 5 patches: 01:  P0, 02:  P1, 03:  P2 and 2 more"_s};
        QTest::newRow("clone several")   << StepRow{u"L4,0"_s, u"clone"_s, u"Clone 2 patches"_s, u"Cloned 2 patches"_s};
        QTest::newRow("up several")      << StepRow{u"L2,4"_s, u"up"_s, u"Move up 2 patches"_s, u"Moved 2 patches up"_s};
        QTest::newRow("up, at the top")  << StepRow{u"L0,2"_s, u"up"_s, u""_s, u"Nothing moved: 01:  P0 is the first patch"_s};
        QTest::newRow("down several")    << StepRow{u"L1,3"_s, u"down"_s, u"Move down 2 patches"_s, u"Moved 2 patches down"_s};
        QTest::newRow("copy several")    << StepRow{u"L1 P3,1"_s, u"copy"_s, u"Copy 2 patches"_s, u"Copied 2 patches into the library as 03 to 04"_s};
        QTest::newRow("random, several") << StepRow{u"L1,2"_s, u"rnd"_s, u"Random Modification of 2 patches"_s, u"Made random variations of 2 patches"_s};
        QTest::newRow("drive, several")  << StepRow{u"L3,1"_s, u"drive:3"_s, u"Change Drive type of 2 patches"_s, u"Changed the drive type of 2 patches"_s};
        QTest::newRow("sort all")        << StepRow{u"L3 up L1"_s, u"sort"_s, u"Sort by Name"_s, u"Sorted 5 patches by name"_s};
        QTest::newRow("sort, in order")  << StepRow{u"L1"_s, u"sort"_s, u""_s, u"Nothing sorted: 5 patches are already in order by name"_s};
        QTest::newRow("sort several")    << StepRow{u"L4 up L4,3"_s, u"sort"_s, u"Sort by Name"_s, u"Sorted 2 patches by name"_s};
        QTest::newRow("drop several")    << StepRow{u"L0,1"_s, u"mv:0,1>5"_s, u"Move 2 patches"_s, u"Moved 2 patches to 04"_s};
        QTest::newRow("drop one")        << StepRow{u"L3"_s, u"mv:3>0"_s, u"Move 04:  P3"_s, u"Moved 04:  P3 to 01"_s};
        QTest::newRow("drop, no move")   << StepRow{u"L1,2"_s, u"mv:1,2>3"_s, u""_s, u"Nothing moved: 2 patches are already there"_s};
        QTest::newRow("drop patches")    << StepRow{u""_s, u"cp:2,3>1"_s, u"Copy 2 patches"_s, u"Copied 2 patches into the library as 02 to 03"_s};
        QTest::newRow("drop a patch")    << StepRow{u""_s, u"cp:1>5"_s, u"Copy 06:  P1"_s, u"Copied P1 into the library as 06"_s};
        QTest::newRow("collection after")  << StepRow{u"L1"_s, u"col:C1"_s, u"Copy 03:  C1"_s, u"Copied C1 into the library as 03"_s};
        QTest::newRow("collection at end") << StepRow{u""_s, u"col:C1"_s, u"Copy 06:  C1"_s, u"Copied C1 into the library as 06"_s};
        QTest::newRow("collection two")    << StepRow{u"L4"_s, u"col:C1,C2"_s, u"Copy 2 patches"_s, u"Copied 2 patches into the library as 06 to 07"_s};
        // clang-format on
    }
    // One step: undo shows the state before, redo the state after, each with its status line.
    void steps() {
        QFETCH(StepRow, row);
        World f;
        if (!row.setup.isEmpty())
            f.Run(row.setup);
        const Seen before = Look(f);
        const qsizetype steps = f.Ctl().History().UndoCount();
        f.view.statuses.clear();
        f.Run(row.command);
        const Seen after = Look(f);
        QCOMPARE(f.view.statuses, row.status.isEmpty() ? QStringList() : QStringList{row.status});
        QCOMPARE(f.Ctl().History().UndoCount(), steps + (row.step.isEmpty() ? 0 : 1));
        if (row.step.isEmpty()) {
            QCOMPARE(after.library, before.library);
            QCOMPARE(after.descriptions, before.descriptions);
            return;
        }
        QVERIFY(after.library != before.library || after.descriptions != before.descriptions);
        QCOMPARE(f.view.undoStep, row.step);
        QCOMPARE(f.view.redoStep, QString());
        f.Run(u"undo"_s);
        QCOMPARE(Look(f), before);
        CheckShown(f);
        QCOMPARE(f.view.statuses.last(), u"Undid "_s + row.step);
        QCOMPARE(f.view.redoStep, row.step);
        f.Run(u"redo"_s);
        QCOMPARE(Look(f), after);
        CheckShown(f);
        QCOMPARE(f.view.statuses.last(), u"Redid "_s + row.step);
        QVERIFY(f.view.messages.isEmpty());
    }

    // A copy from the collection lands after the selected entry (at the end without one) with its
    // description, and the copies are selected; without a library nothing changes but the message.
    void copyFromCollection_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("patches");
        QTest::addColumn<qsizetype>("at"); // -1: refused
        QTest::newRow("after the selection") << u"L2"_s << u"C1"_s << qsizetype(3);
        QTest::newRow("after the last") << u"L4"_s << u"C1,C2"_s << qsizetype(5);
        QTest::newRow("first selected") << u"L0"_s << u"C1,C2"_s << qsizetype(1);
        QTest::newRow("no selection") << u""_s << u"C1"_s << qsizetype(5);
        QTest::newRow("no library") << u"-"_s << u"C1"_s << qsizetype(-1);
    }
    void copyFromCollection() {
        QFETCH(QString, setup);
        QFETCH(QString, patches);
        QFETCH(qsizetype, at);
        Fixture bare;
        World world;
        Fixture& f = setup == u"-"_s ? bare : world;
        if (!setup.isEmpty() && setup != u"-"_s)
            f.Run(setup);
        const Seen before = Look(f);
        f.Run(u"col:"_s + patches);
        const Seen after = Look(f);
        if (at < 0) {
            QCOMPARE(after, before);
            QCOMPARE(f.view.messages.size(), 1);
            QVERIFY(f.view.messages.first().contains(u"No library is loaded"_s));
            return;
        }
        const QStringList names = patches.split(u',');
        QByteArray expected = before.library;
        QStringList descriptions = before.descriptions;
        for (qsizetype i = 0; i < names.size(); ++i) {
            expected.insert((at + i) * 18, MakeImage(names[i], 900 + int(i)));
            descriptions.insert(at + i + 1, u"c "_s + names[i]);
        }
        QCOMPARE(after.library, expected);
        QCOMPARE(after.descriptions, descriptions);
        QCOMPARE(after.selected, at);
        CheckShown(f);
    }

    // Several seeds of a few hundred random clicks, commands, typing, saves, undos and redos. The
    // model is the list of states seen before and after each step: an undo has to bring back the
    // state before, a redo the state after, and `LibChanged` after either says whether the state
    // is the saved one.
    void randomSequence() {
        const QStringList commands =
            u"copy replace update appendAll appendDiff updateAll dbl up down clone "
            u"del delAll rnd ren:ECHO ren:P3 drive:5 cab:2 spk:3 chkD:0 chkD:1 chkC:0 chkC:1"_s.split(u' ');
        struct ModelStep {
            Seen before, after;
            bool typing;
            qsizetype entry;
        };
        for (const quint32 seed : {1u, 2u, 3u, 4u, 5u}) {
            World f;
            QRandomGenerator random(seed);
            QList<ModelStep> model;
            qsizetype index = 0, saved = 0;
            bool typingRun = false;
            for (int action = 0; action < 300 && !QTest::currentTestFailed(); ++action) {
                const int pick = int(random.bounded(100));
                const int lines = int(f.Ctl().ListCount(ListId::Library)) + 1; // one past the end
                const QString what =
                    pick < 15   ? u"undo"_s
                    : pick < 27 ? u"redo"_s
                    : pick < 30 ? u"save"_s
                    : pick < 40 ? u"L%1"_s.arg(random.bounded(lines))
                    : pick < 43 ? u"L%1,%2"_s.arg(random.bounded(lines)).arg(random.bounded(lines))
                    : pick < 45 ? (random.bounded(2) ? u"mv:%1,%2>%3"_s : u"cp:%1,%2>%3"_s)
                                      .arg(random.bounded(lines))
                                      .arg(random.bounded(lines))
                                      .arg(random.bounded(lines))
                    : pick < 50 ? u"P%1"_s.arg(random.bounded(4))
                    : pick < 54 ? u"all:%1"_s.arg(random.bounded(2))
                    : pick < 70 ? u"t:"_s + QString(random.bounded(1, 3), QChar(u'a' + random.bounded(3)))
                                : commands.at(random.bounded(int(commands.size())));
                // A failed check leaves the lambda; the seed and action are named below.
                [&] {
                    const Seen before = Look(f);
                    const bool changedBefore = f.S().LibChanged;
                    const qsizetype entry = f.S().PatchIndex;
                    const bool typing = what.startsWith(u"t:"_s);
                    f.Run(what);
                    const Seen after = Look(f);
                    if (what == u"undo"_s || what == u"redo"_s) {
                        const bool undo = what == u"undo"_s;
                        const bool moves = undo ? index > 0 : index < model.size();
                        if (moves) {
                            index += undo ? -1 : 1;
                            QCOMPARE(after, undo ? model[index].before : model[index - 1].after);
                            CheckShown(f); // after a panel edit the panel shows the pick itself
                            QCOMPARE(f.S().LibChanged, index != saved);
                        }
                        // With nothing to take back or do again the mark stays (a panel pick of the
                        // value already stored sets it without making a step).
                        QCOMPARE(f.S().LibChanged, moves ? index != saved : changedBefore);
                        typingRun = false;
                    } else if (what == u"save"_s) {
                        saved = index;
                        typingRun = false;
                    } else if (after.library != before.library || after.descriptions != before.descriptions) {
                        model.resize(index);
                        saved = saved > index ? -1 : saved;
                        if (typing && typingRun && model.last().typing && model.last().entry == entry) {
                            model.last().after = after; // typing joins the run's step
                            if (model.last().before.descriptions == after.descriptions) {
                                model.removeLast();
                                typingRun = false;
                            }
                        } else {
                            model.append({before, after, typing, entry});
                            typingRun = typing;
                        }
                        index = model.size();
                    } else if (!typing && !what.startsWith(u"all:"_s)) {
                        typingRun = false; // a click or a command that changed nothing
                    }
                    QCOMPARE(f.Ctl().History().UndoCount(), index);
                    QCOMPARE(f.Ctl().History().Count(), model.size());
                }();
                if (QTest::currentTestFailed())
                    qWarning("seed %u, action %d: %s", seed, action, qPrintable(what));
            }
            QVERIFY(f.view.messages.isEmpty());
        }
    }

    // `LibChanged` after an undo or a redo says whether the library differs from its last save;
    // everything else keeps its rules. A load starts a new history, an import leaves it.
    // "Take →" writes exactly the field's bits of the patch into the library entry, every other bit
    // of the entry kept; undo and redo take it back and do it again.
    void takeField_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("byte1");
        QTest::addColumn<int>("mask"); // the field's bits in that byte
        QTest::newRow("drive type") << 0 << 1 << 0x1F;
        QTest::newRow("cab type") << 1 << 3 << 0x0E;
        QTest::newRow("cab speaker") << 2 << 3 << 0x70;
        QTest::newRow("Drive") << 3 << 17 << 0x02;
        QTest::newRow("Cab") << 4 << 17 << 0x04;
    }
    void takeField() {
        QFETCH(int, field);
        QFETCH(int, byte1);
        QFETCH(int, mask);
        World f;
        // Every bit of the patch differs from the library entry.
        const QByteArray patch = Entry(f.S().PatchesData, 2);
        QByteArray entry = patch;
        for (char& c : entry)
            c = char(~c);
        f.Ctl().MutableState().LibraryData.replace(18, 18, entry);
        f.Run(u"P2 L1 take:"_s + QString::number(field));
        QByteArray expected = entry;
        expected[byte1 - 1] = char((entry[byte1 - 1] & ~mask) | (patch[byte1 - 1] & mask));
        QCOMPARE(Entry(f.S().LibraryData, 1), expected);
        f.Run(u"undo"_s);
        QCOMPARE(Entry(f.S().LibraryData, 1), entry);
        f.Run(u"redo"_s);
        QCOMPARE(Entry(f.S().LibraryData, 1), expected);
    }

    // The marks of both lists follow a command, its undo and its redo.
    void marksFollowSteps() {
        World f;
        const auto kinds = [&f](ListId list, qsizetype k) {
            return f.Ctl().LineTwinKinds(list, k);
        };
        // Patch 1 is identical to library entry 01, patch 2 has the name of entry 02 with other bytes.
        QCOMPARE(kinds(ListId::Patches, 0), unsigned(TwinIdentical));
        QCOMPARE(kinds(ListId::Patches, 1), unsigned(TwinSameName));
        QCOMPARE(f.Ctl().LineTwinToolTip(ListId::Patches, 1), u"Same name, other sound: 02"_s);
        QCOMPARE(kinds(ListId::Library, 1), unsigned(TwinNone));
        int refreshes = f.view.markRefreshes;
        f.Run(u"L1 clone"_s);
        QVERIFY(f.view.markRefreshes > refreshes);
        QCOMPARE(kinds(ListId::Library, 1), unsigned(TwinIdentical));
        QCOMPARE(kinds(ListId::Library, 2), unsigned(TwinIdentical));
        QCOMPARE(f.Ctl().LineTwinToolTip(ListId::Library, 1), u"Identical to 03"_s);
        QCOMPARE(f.Ctl().LineTwinToolTip(ListId::Patches, 1), u"Same name, other sound: 02, 03"_s);
        f.Run(u"L0 del"_s);
        QCOMPARE(kinds(ListId::Patches, 0), unsigned(TwinNone));
        refreshes = f.view.markRefreshes;
        f.Run(u"undo"_s);
        QVERIFY(f.view.markRefreshes > refreshes);
        QCOMPARE(kinds(ListId::Patches, 0), unsigned(TwinIdentical));
        f.Run(u"undo"_s);
        QCOMPARE(kinds(ListId::Library, 1), unsigned(TwinNone));
        QCOMPARE(f.Ctl().LineTwinToolTip(ListId::Library, 1), QString());
        f.Run(u"redo"_s);
        QCOMPARE(kinds(ListId::Library, 2), unsigned(TwinIdentical));
    }

    void savedPoint_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QString>("undoStep");
        // clang-format off
        QTest::newRow("undo to the loaded state")  << u"L1 up undo"_s << false << u""_s;
        QTest::newRow("undo after a click")        << u"L1 click up undo"_s << false << u""_s;
        QTest::newRow("undo past the save")        << u"L1 up save undo"_s << true << u""_s;
        QTest::newRow("redo to the save")          << u"L1 up save undo redo"_s << false << u"Move up 02:  P1"_s;
        QTest::newRow("undo to the save")          << u"L1 up save del undo"_s << false << u"Move up 02:  P1"_s;
        QTest::newRow("save no longer reachable")  << u"L1 up save undo del undo"_s << true << u""_s;
        QTest::newRow("redo of a step made after undoing the save") << u"L1 up save undo del undo redo"_s << true << u"Delete 02:  P1"_s;
        QTest::newRow("typing after the save")     << u"L1 t:a save t:ab undo"_s << false << u"Typing in 02:  P1"_s;
        QTest::newRow("nothing to undo")           << u"L1 up undo undo"_s << false << u""_s;
        QTest::newRow("delete all, empty: no step")<< u"delAll save delAll"_s << true << u"Delete ALL Patches"_s;
        QTest::newRow("a load starts anew")        << u"L1 up open:lib.pslib"_s << false << u""_s;
        QTest::newRow("an import keeps it")        << u"L1 up importPatches"_s << true << u"Move up 02:  P1"_s;
        // clang-format on
    }
    void savedPoint() {
        QFETCH(QString, script);
        QFETCH(bool, changed);
        QFETCH(QString, undoStep);
        World f;
        if (script.contains(u"import"_s))
            f.view.paths.push_back(f.Path(u"in.pch"_s));
        if (script.contains(u"open:"_s))
            f.view.saveAnswers.push_back(SaveAnswer::No);
        f.Run(script);
        QCOMPARE(f.S().LibChanged, changed);
        QCOMPARE(f.view.modified, std::optional<bool>(changed));
        QCOMPARE(f.view.undoStep, undoStep);
        if (!changed) // closing asks nothing (an unexpected question fails the test)
            QVERIFY(f.Ctl().QueryClose());
    }

    // Whether the history is at the saved state after each of a script's steps: e an edit, s a save,
    // u undo, r redo. The budget holds two edits, so a third drops the oldest, and the saved mark
    // must move with the steps that are left (or go, when its state is no longer reachable).
    void savedMark_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("saved"); // 1 at the saved state, 0 not, after each step
        QTest::newRow("undo back to the save") << u"eseuru"_s << u"010101"_s;
        QTest::newRow("redo up to the save") << u"eesuurr"_s << u"0010001"_s;
        QTest::newRow("a new edit after undoing the save") << u"esueur"_s << u"010000"_s;
        QTest::newRow("oldest dropped after the save") << u"eeseur"_s << u"001010"_s;
        QTest::newRow("saved state now the oldest kept") << u"eseeuu"_s << u"010001"_s;
        QTest::newRow("saved state dropped") << u"seeeuu"_s << u"100000"_s;
    }
    void savedMark() {
        QFETCH(QString, script);
        QFETCH(QString, saved);
        LibrarySnapshot state{QByteArray(20000, '\0'), {QString()}, {}};
        ChangeHistory history;
        int edits = 0;
        const auto edit = [&] { // each edit rewrites a run of its own, so that each costs the same
            LibrarySnapshot after = state;
            ++edits;
            after.library.replace(edits % 10 * 2000, 2000, QByteArray(2000, char(edits)));
            QVERIFY(history.Record(u"edit"_s, state, after));
            state = after;
        };
        edit();
        const qsizetype cost = history.MemoryUsed();
        history.Clear(); // as a load does: the state now is the one on disk
        history.SetBudget(cost * 5 / 2);
        QString seen;
        for (const QChar c : script) {
            if (c == u'e')
                edit();
            else if (c == u's')
                history.MarkSaved();
            else if (c == u'u')
                history.Undo(state.library, state.descriptions);
            else if (c == u'r')
                history.Redo(state.library, state.descriptions);
            QVERIFY(history.Count() <= 2);
            seen += history.AtSavedPoint() ? u'1' : u'0';
        }
        QCOMPARE(seen, saved);
    }

    // The file commands' status lines; a failure or a cancel is a message box only.
    void fileStatus_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("path"); // the dialog's answer; "-" none asked, empty: cancelled
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("boxes"); // message boxes shown
        const QString dots = u"\u2026/"_s;
        QTest::newRow("save") << u"L0 del save"_s << u"-"_s
                              << u"Saved 4 patches to "_s + dots + u"lib.pslib"_s << 0;
        QTest::newRow("new") << u"load"_s << u"new"_s << u"Created the new library "_s + dots + u"new.pslib"_s
                             << 0;
        QTest::newRow("load") << u"load"_s << u"lib"_s << u"Loaded 5 patches from "_s + dots + u"lib.pslib"_s
                              << 0;
        QTest::newRow("import") << u"importLib"_s << u"lib"_s
                                << u"Imported 5 patches from "_s + dots +
                                       u"lib.pslib: 5 identical to library patches, 0 same name with other "
                                       u"settings, 0 new."_s
                                << 0;
        QTest::newRow("export") << u"export"_s << u"one"_s
                                << u"Exported 5 patches to "_s + dots + u"one.pch"_s << 1;
        QTest::newRow("cancelled") << u"importPatches"_s << u""_s << u""_s << 1;
    }
    void fileStatus() {
        QFETCH(QString, script);
        QFETCH(QString, path);
        QFETCH(QString, status);
        QFETCH(int, boxes);
        World f;
        if (path != u"-"_s)
            f.view.paths.push_back(path.isEmpty() ? std::optional<QString>() : f.Path(path));
        f.view.statuses.clear();
        f.Run(script);
        QCOMPARE(f.view.statuses.value(f.view.statuses.size() - 1), status);
        QCOMPARE(f.view.messages.size(), boxes);
    }

    // At 10,000 entries a thousand single-entry steps are all kept and cost little; a change of one
    // field in every entry costs a few bytes per entry; beyond the budget the oldest steps go, the
    // newest stays, and what is left still undoes exactly.
    void memory() {
        Fixture f;
        constexpr int Count = 10000;
        const QByteArray store = MakeStore(Count);
        f.LoadLibrary(u"big.pslib"_s, store, Descs(Count, u"a longer description of entry "_s));
        const QStringList script = u"up down clone del rnd chkD:0 t:typed"_s.split(u' ');
        const ChangeHistory& history = f.Ctl().History();
        for (int i = 0; history.Count() < 1000 && i < 2000; ++i)
            f.Run(u"L%1 %2"_s.arg(1 + i * 7 % (Count - 10)).arg(script.at(i % script.size())) +
                  (i % script.size() == script.size() - 1 ? QString::number(i) : QString()));
        QCOMPARE(history.Count(), 1000);
        QCOMPARE(history.UndoCount(), 1000);
        qInfo("1,000 single-entry steps at 10,000 entries: %lld bytes (library %lld bytes)",
              qint64(history.MemoryUsed()), qint64(store.size()));
        QVERIFY(history.MemoryUsed() < 1000 * 2048);

        const qsizetype used = history.MemoryUsed();
        f.Run(u"L0 all:1 cab:3"_s);
        QVERIFY2(history.MemoryUsed() - used < store.size() / 4,
                 "Change All keeps more than the bytes it changed");

        // A budget that holds a few whole-library steps, each keeping the library once.
        f.Ctl().MutableHistory().SetBudget(5 * 1024 * 1024);
        QVERIFY(history.MemoryUsed() <= history.Budget());
        f.view.paths.push_back(f.Path(u"big.pslib"_s));
        f.Run(u"importLib"_s);
        QList<Seen> states{Look(f)};
        for (int i = 0; i < 6; ++i) {
            f.Run(i % 2 ? u"appendAll L3 down"_s : u"delAll"_s);
            states.append(Look(f));
            QVERIFY(history.MemoryUsed() <= history.Budget());
        }
        QVERIFY(history.Count() < 10);
        while (history.CanUndo()) {
            const qsizetype left = history.UndoCount();
            f.Run(u"undo"_s);
            QCOMPARE(history.UndoCount(), left - 1);
        }
        QVERIFY(f.S().LibChanged); // the saved state is gone with the oldest steps
        while (history.CanRedo())
            f.Run(u"redo"_s);
        QCOMPARE(Look(f), states.last());

        // A step larger than the whole budget is still kept, alone.
        f.Ctl().MutableHistory().SetBudget(1000);
        f.Run(u"delAll"_s);
        QCOMPARE(history.Count(), 1);
        f.Run(u"undo"_s);
        QCOMPARE(Look(f).library, states.last().library);
    }

    // At 100,000 entries a step costs what it changed: two far-apart entries two small runs, an
    // entry dragged across the library the positions it moved, never the entries between. Undo
    // and redo bring back exactly the states before and after.
    void stepMemory_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<qsizetype>("most"); // bytes the step may keep
        // clang-format off
        QTest::newRow("drag the first to the end")   << u"L0 mv:0>100000"_s << qsizetype(4096);
        QTest::newRow("drag the last to the top")    << u"mv:99999>0"_s << qsizetype(4096);
        QTest::newRow("drop three far apart")        << u"L3,50000,99990 mv:3,50000,99990>20000"_s << qsizetype(4096);
        QTest::newRow("move two far apart down")     << u"L3,99000 down"_s << qsizetype(4096);
        QTest::newRow("move two far apart up")       << u"L3,99000 up"_s << qsizetype(4096);
        QTest::newRow("random, two far apart")       << u"L3,99000 rnd"_s << qsizetype(4096);
        QTest::newRow("drive type, two far apart")   << u"L3,99000 drive:7"_s << qsizetype(4096);
        QTest::newRow("delete two far apart")        << u"L3,99000 del"_s << qsizetype(4096);
        QTest::newRow("clone two far apart")         << u"L3,99000 clone"_s << qsizetype(4096);
        QTest::newRow("drop every hundredth")        << u"L0,100 mv:"_s + Every(100) + u">50000"_s << qsizetype(64 * 1024);
        // Half the library deleted keeps half of it, not all of it twice.
        // "short": the last entry is cut short by the end of its file. It stays as it is while it
        // stays last; moved elsewhere it is padded, and the step is kept as a difference.
        QTest::newRow("short: drop before it")       << u"short mv:0,1>20"_s << qsizetype(4096);
        QTest::newRow("short: drag it to the top")   << u"short mv:99999>0"_s << qsizetype(64 * 1024 * 1024);
        QTest::newRow("delete every second")         << u"L"_s + Every(2) + u" del"_s << qsizetype(16 * 1024 * 1024);
        // clang-format on
    }
    void stepMemory() {
        QFETCH(QString, script);
        QFETCH(qsizetype, most);
        Fixture f;
        const bool cut = script.startsWith(u"short "_s);
        if (cut)
            script.remove(0, 6);
        f.LoadLibrary(u"big.pslib"_s, cut ? BigStore().chopped(5) : BigStore(),
                      Descs(BigCount, u"a longer description of entry "_s));
        QCOMPARE(f.S().LibraryData.size() % PatchImageSize, cut ? 13 : 0);
        const QString command = script.section(u' ', -1);
        if (command != script)
            f.Run(script.section(u' ', 0, -2));
        const Seen before = Look(f);
        f.Run(command);
        const Seen after = Look(f);
        const ChangeHistory& history = f.Ctl().History();
        QCOMPARE(history.Count(), 1);
        QVERIFY(after.library != before.library || after.descriptions != before.descriptions);
        qInfo("%lld bytes", qint64(history.MemoryUsed()));
        QVERIFY(history.MemoryUsed() <= most);
        f.Run(u"undo"_s);
        QCOMPARE(Look(f), before);
        f.Run(u"redo"_s);
        QCOMPARE(Look(f), after);
    }

    // Entries first, first + step, ... before `end` of 1,000 deleted as one step, then taken back
    // and done again three times: each undo gives exactly the descriptions before, each redo those
    // after, whether the step keeps the deleted descriptions one by one or (from a quarter of the
    // library on) the whole list before.
    void deleteManyBackAndForth_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("end");
        QTest::newRow("every second") << 0 << 2 << 1000;
        QTest::newRow("every fourth: a quarter") << 3 << 4 << 1000;
        QTest::newRow("one short of a quarter") << 4 << 4 << 1000;
        QTest::newRow("every fifth") << 1 << 5 << 1000;
        QTest::newRow("the first 300, one run") << 0 << 1 << 300;
        QTest::newRow("all but the last") << 0 << 1 << 999;
    }
    void deleteManyBackAndForth() {
        QFETCH(int, first);
        QFETCH(int, step);
        QFETCH(int, end);
        constexpr qsizetype Count = 1000;
        Fixture f;
        f.LoadLibrary(u"big.pslib"_s, BigStore().left(Count * PatchImageSize), Descs(Count, u"entry "_s));
        QStringList lines;
        for (int k = first; k < end; k += step)
            lines.append(QString::number(k));
        f.Run(u"L"_s + lines.join(u','));
        const Seen before = Look(f);
        f.Run(u"del"_s);
        const Seen after = Look(f);
        QCOMPARE(after.descriptions.size(), Count + 1 - lines.size());
        for (int round = 0; round < 3; ++round) {
            f.Run(u"undo"_s);
            QCOMPARE(Look(f), before);
            f.Run(u"redo"_s);
            QCOMPARE(Look(f), after);
        }
    }

    // Any two states: the runs found between them, however far apart, and of other lengths.
    // Edits: "c5" changes entry 5 and its description, "i5" inserts an entry before entry 5, "d5"
    // deletes entry 5, "t5" changes only the description, each on the state the edits before it left.
    void diffRuns_data() {
        QTest::addColumn<QString>("edits");
        QTest::addColumn<qsizetype>("most");
        // clang-format off
        QTest::newRow("two changes far apart")       << u"c3 c99000"_s << qsizetype(4096);
        QTest::newRow("two descriptions far apart")  << u"t3 t99000"_s << qsizetype(4096);
        QTest::newRow("insert, then a far change")   << u"i3 c99000"_s << qsizetype(4096);
        QTest::newRow("a change, then a far delete") << u"c3 d99000"_s << qsizetype(4096);
        QTest::newRow("delete between two changes")  << u"c10 d50000 c90000 t95000"_s << qsizetype(4096);
        QTest::newRow("three inserted together")     << u"t5 i60000 i60000 i60000 t99000"_s << qsizetype(4096);
        QTest::newRow("the last deleted")            << u"c0 d99999"_s << qsizetype(4096);
        QTest::newRow("changed everywhere")          << u"c0 c20000 c40000 c60000 c80000 c99999"_s << qsizetype(8192);
        // clang-format on
    }
    void diffRuns() {
        QFETCH(QString, edits);
        QFETCH(qsizetype, most);
        const LibrarySnapshot before{BigStore(), QStringList{QString()} + Descs(BigCount, u"entry "_s), {}};
        LibrarySnapshot after = before;
        int made = 0;
        for (const QString& edit : edits.split(u' ')) {
            const qsizetype k = edit.mid(1).toInt();
            const QString text = u"edited "_s + QString::number(++made);
            const QByteArray image = MakeImage(u"E%1"_s.arg(made), 9000 + made);
            if (edit[0] == u'c' || edit[0] == u't') {
                if (edit[0] == u'c')
                    after.library.replace(k * PatchImageSize, PatchImageSize, image);
                after.descriptions[k + 1] = text;
            } else if (edit[0] == u'i') {
                after.library.insert(k * PatchImageSize, image);
                after.descriptions.insert(k + 1, text);
            } else {
                after.library.remove(k * PatchImageSize, PatchImageSize);
                after.descriptions.removeAt(k + 1);
            }
        }
        ChangeHistory history;
        QVERIFY(history.Record(u"edits"_s, before, after));
        QVERIFY2(history.MemoryUsed() <= most, qPrintable(u"%1 bytes"_s.arg(history.MemoryUsed())));
        QByteArray library = after.library;
        QStringList descriptions = after.descriptions;
        history.Undo(library, descriptions);
        QCOMPARE(library, before.library);
        QCOMPARE(descriptions, before.descriptions);
        history.Redo(library, descriptions);
        QCOMPARE(library, after.library);
        QCOMPARE(descriptions, after.descriptions);
    }

    // 1,000 drags of one entry across the library are all kept under the default budget, with the
    // saved point; every one is taken back and done again exactly. (10,000 entries keep the test
    // short: a step that kept the entries it passed would cost over 2 MB here; the benchmark drags
    // across 100,000.)
    void manyDrags() {
        constexpr qsizetype Count = 10000;
        Fixture f;
        f.LoadLibrary(u"big.pslib"_s, BigStore().left(Count * PatchImageSize),
                      Descs(Count, u"a longer description of entry "_s));
        const ChangeHistory& history = f.Ctl().History();
        QList<Seen> kept; // the states after drags 0, 1, 500 and 1,000
        kept.append(Look(f));
        for (int i = 0; i < 1000; ++i) {
            // Down from the top, up from the bottom, and across from further in.
            const qsizetype from = i % 3 == 0 ? 0 : i % 3 == 1 ? Count - 1 : 7 * i;
            f.Run(u"mv:%1>%2"_s.arg(from).arg(from < Count / 2 ? Count : 0));
            if (i == 0 || i == 499 || i == 999)
                kept.append(Look(f));
        }
        QCOMPARE(history.Count(), 1000);
        QVERIFY(history.MemoryUsed() <= history.Budget());
        QVERIFY(f.S().LibChanged);
        const QList<int> at{0, 1, 500, 1000};
        for (qsizetype i = at.size() - 1; i >= 0; --i) {
            while (history.UndoCount() > at[i])
                f.Run(u"undo"_s);
            QCOMPARE(Look(f), kept[i]);
        }
        QVERIFY(!f.S().LibChanged); // back at the state loaded
        for (qsizetype i = 1; i < at.size(); ++i) {
            while (history.UndoCount() < at[i])
                f.Run(u"redo"_s);
            QCOMPARE(Look(f), kept[i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
