// Undo and redo at 100,000 entries: every kind of step taken back and done again, each beside the
// floor of one copy of the store; then the memory the history holds after 1,000 single-entry
// commands, beside the size of the library, and after dragging one entry across the library, once
// and 1,000 times.
#include "BenchSupport.h"
#include "BenchTable.h"
#include "LibraryController.h"

#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <memory>

using namespace quillbox;
using namespace quillbox::bench;

namespace {

// A library of `size` entries with descriptions, a patches file with the same names at the same
// positions (Update All changes every entry) and one whose first half is the library (Append All
// Different appends the second half).
struct Files {
    QTemporaryDir dir;
    QByteArray store;
    QString lib, patches, mixed;
    explicit Files(long size) {
        store = MakeStore(size);
        lib = dir.filePath(QStringLiteral("lib.pslib"));
        patches = dir.filePath(QStringLiteral("patches.pch"));
        mixed = dir.filePath(QStringLiteral("mixed.pch"));
        const QByteArray other = MakeStore(size, 500000);
        const QByteArray descriptions = SideFileBytes(MakeDescriptions(size));
        WriteFile(lib, LibraryFileBytes(store));
        WriteFile(lib + QStringLiteral(".txt"), descriptions);
        WriteFile(patches, other);
        WriteFile(patches + QStringLiteral(".txt"), descriptions);
        const qsizetype half = (size / 2) * PatchImageSize;
        WriteFile(mixed, store.left(half) + other.mid(half));
        WriteFile(mixed + QStringLiteral(".txt"), descriptions);
    }
};

Files& FilesFor(long size) {
    static std::map<long, std::unique_ptr<Files>> made;
    std::unique_ptr<Files>& files = made[size];
    if (!files)
        files = std::make_unique<Files>(size);
    return *files;
}

struct Session {
    NullView view;
    LibraryController ctl{view, QStringLiteral("Quillbox")};
    long size;
    int counter = 0;
    Session(long entries, bool mixed) : size(entries) {
        Files& files = FilesFor(entries);
        ctl.LoadLibFromPath(files.lib);
        ctl.ImportPatchesFromPath(mixed ? files.mixed : files.patches);
    }
    qsizetype Middle() const { return size / 2; }
};

struct Kind {
    const char* name;
    bool mixed; // the patches list half of which is in the library
    void (*prepare)(Session&);
    void (*command)(Session&);
};

void SelectMiddle(Session& s) {
    s.ctl.SetChangeAll(false);
    s.ctl.LibraryClicked(s.Middle());
}

void SelectBoth(Session& s) {
    SelectMiddle(s);
    s.ctl.PatchesClicked(s.Middle());
}

void SelectForAll(Session& s) {
    s.ctl.LibraryClicked(s.Middle());
    s.ctl.SetChangeAll(true);
}

void Nothing(Session&) {}

DetailValues Shown(const Session& s) {
    return ShowPatchDetails(s.ctl.State().CurrentPatch);
}

// clang-format off
const Kind Kinds[] = {
    {"copy", false, SelectBoth, [](Session& s) { s.ctl.CopySelectedPatch(); }},
    {"replace", false, SelectBoth, [](Session& s) { s.ctl.ReplaceSelectedPatch(); }},
    {"update selected", false, SelectBoth, [](Session& s) { s.ctl.UpdateLibWithSelected(); }},
    {"move up", false, SelectMiddle, [](Session& s) { s.ctl.MoveUp(); }},
    {"move down", false, SelectMiddle, [](Session& s) { s.ctl.MoveDown(); }},
    {"clone", false, SelectMiddle, [](Session& s) { s.ctl.ClonePatch(); }},
    {"delete", false, SelectMiddle, [](Session& s) { s.ctl.DeleteSelected(); }},
    {"random modification", false, SelectMiddle, [](Session& s) { s.ctl.RandomModification(); }},
    {"typing", false, SelectMiddle,
     [](Session& s) { s.ctl.DescriptionEdited(QStringLiteral("typed ") + QString::number(++s.counter)); }},
    {"drive type", false, SelectMiddle, [](Session& s) { s.ctl.DriveTypePicked((Shown(s).driveType + 1) % 24); }},
    {"change all cab type", false, SelectForAll, [](Session& s) { s.ctl.CabTypePicked((Shown(s).cabType + 1) % 6); }},
    {"delete all", false, Nothing, [](Session& s) { s.ctl.DeleteAll(); }},
    {"append all", false, Nothing, [](Session& s) { s.ctl.AppendAllPatches(); }},
    {"append all different", true, Nothing, [](Session& s) { s.ctl.AppendDifferentPatches(); }},
    {"update all", false, Nothing, [](Session& s) { s.ctl.UpdateAllPatchesInLib(); }},
    {"drag the first to the end", false, Nothing, [](Session& s) { s.ctl.MoveEntriesTo({0}, s.size); }},
};
// clang-format on

void Check(benchmark::State& state, const Session& s) {
    if (s.view.messages != 0)
        state.SkipWithError("a message was shown");
    if (s.ctl.ListCount(ListId::Library) != s.size)
        state.SkipWithError("the library is not back to its size");
}

Body CopyOfStore(long size) {
    return [size](benchmark::State& state) {
        const QByteArray& store = FilesFor(size).store;
        for (auto _ : state) {
            QByteArray copy = Unshared(store);
            benchmark::DoNotOptimize(copy.data());
        }
    };
}

// Times the undo of the step `kind` makes (or, with `redo`, doing it again after an undo). Every
// run starts from the library as loaded, so the step is always the same.
std::function<Body(long)> Timed(const Kind& kind, bool redo) {
    return [kind, redo](long size) -> Body {
        return [kind, redo, size](benchmark::State& state) {
            Session s(size, kind.mixed);
            for (auto _ : state) {
                state.PauseTiming();
                kind.prepare(s);
                const qsizetype steps = s.ctl.History().UndoCount();
                kind.command(s);
                if (s.ctl.History().UndoCount() != steps + 1) {
                    state.SkipWithError("the command made no step");
                    break;
                }
                if (redo)
                    s.ctl.Undo();
                state.ResumeTiming();
                redo ? s.ctl.Redo() : s.ctl.Undo();
                state.PauseTiming();
                if (redo)
                    s.ctl.Undo();
                state.ResumeTiming();
            }
            Check(state, s);
        };
    };
}

// 1,000 single-entry commands spread over the library, then the history's memory.
void PrintMemory(long size) {
    Session s(size, false);
    const Kind* singles[] = {&Kinds[3], &Kinds[4], &Kinds[5], &Kinds[6], &Kinds[7], &Kinds[8], &Kinds[9]};
    for (int i = 0; s.ctl.History().Count() < 1000 && i < 2000; ++i) {
        s.ctl.SetChangeAll(false);
        s.ctl.LibraryClicked(1 + (i * 7919L) % (size - 10));
        singles[i % std::size(singles)]->command(s);
    }
    const qsizetype library = s.ctl.State().LibraryData.size();
    qsizetype text = 0;
    for (const QString& description : s.ctl.State().DescArray)
        text += 2 * description.size();
    std::printf("history after %lld single-entry commands at %ld entries: %.1f KiB (%lld steps kept); "
                "library %.1f KiB, its descriptions %.1f KiB of text\n",
                qint64(s.ctl.History().Count()), size, double(s.ctl.History().MemoryUsed()) / 1024,
                qint64(s.ctl.History().UndoCount()), double(library) / 1024, double(text) / 1024);
}

// Drags one entry from the top to the bottom of the library (the drop the library list makes), and
// back up again, 1,000 times: the memory of the first step and how many steps the default budget
// keeps. Counters of a single run; the time is that of the 1,000 drags with their steps.
void Drags(benchmark::State& state) {
    const long size = 100000;
    for (auto _ : state) {
        state.PauseTiming();
        Session s(size, false);
        state.ResumeTiming();
        s.ctl.MoveEntriesTo({0}, size);
        const qsizetype one = s.ctl.History().MemoryUsed();
        for (int i = 1; i < 1000; ++i)
            s.ctl.MoveEntriesTo({i % 2 ? size - 1 : 0}, i % 2 ? 0 : size);
        state.counters["one_drag_bytes"] = double(one);
        state.counters["steps_kept"] = double(s.ctl.History().Count());
        state.counters["history_KiB"] = double(s.ctl.History().MemoryUsed()) / 1024;
        std::printf("one entry dragged across %ld entries: %lld bytes of history; after 1,000 such drags "
                    "%lld steps kept (%lld undoable), %.1f KiB\n",
                    size, qint64(one), qint64(s.ctl.History().Count()), qint64(s.ctl.History().UndoCount()),
                    double(s.ctl.History().MemoryUsed()) / 1024);
        Check(state, s);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Target withinFrame{Target::Milliseconds, 16, 100000};
    for (const Kind& kind : Kinds) {
        Register(std::string("undo ") + kind.name, {100000}, Timed(kind, false), "one copy of the store",
                 CopyOfStore, withinFrame, 200);
        Register(std::string("redo ") + kind.name, {100000}, Timed(kind, true), "one copy of the store",
                 CopyOfStore, withinFrame, 200);
    }
    benchmark::RegisterBenchmark("1,000 drags across 100000", Drags)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
    const int result = RunAll(argc, argv);
    for (const long size : {10000L, 100000L})
        PrintMemory(size);
    return result;
}
