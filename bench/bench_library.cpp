// The library layer at 1,000, 10,000 and 100,000 entries: load, save, list lines, every editing
// command on the middle entry (each recording its undo step) and the whole-list transfers, each
// beside its floor.
#include "BenchSupport.h"
#include "BenchTable.h"
#include "DescriptionFile.h"
#include "LibraryController.h"
#include "LibraryFile.h"
#include "PatchFinder.h"
#include "PatchList.h"
#include "TwinIndex.h"

#include <QTemporaryDir>
#include <map>
#include <memory>

using namespace quillbox;
using namespace quillbox::bench;

namespace {

const std::vector<long> Sizes{1000, 10000, 100000};

// The files of one size, made once: the library with its side file, a patches file of the same size
// whose entries have the library's names at the same positions (so "Update All" finds every one),
// and one whose first half equals the library (so "Append All Different" appends the second half).
struct World {
    QTemporaryDir dir;
    QTemporaryDir versions; // earlier versions kept by the saves, outside the library's folder
    long size = 0;
    QByteArray store;
    QStringList desc;
    QString libPath;
    QString patchesPath;
    QString mixedPath;
};

World& WorldFor(long size) {
    static std::map<long, std::unique_ptr<World>> worlds;
    std::unique_ptr<World>& world = worlds[size];
    if (world)
        return *world;
    world = std::make_unique<World>();
    World& w = *world;
    w.size = size;
    w.store = MakeStore(size);
    w.desc = MakeDescriptions(size);
    w.libPath = w.dir.filePath(QStringLiteral("lib.pslib"));
    WriteFile(w.libPath, LibraryFileBytes(w.store));
    WriteFile(w.libPath + QStringLiteral(".txt"), SideFileBytes(w.desc));
    const QByteArray patches = MakeStore(size, 500000);
    w.patchesPath = w.dir.filePath(QStringLiteral("patches.pch"));
    WriteFile(w.patchesPath, patches);
    WriteFile(w.patchesPath + QStringLiteral(".txt"), SideFileBytes(MakeDescriptions(size)));
    const qsizetype half = (size / 2) * PatchImageSize;
    w.mixedPath = w.dir.filePath(QStringLiteral("mixed.pch"));
    WriteFile(w.mixedPath, w.store.left(half) + patches.mid(half));
    WriteFile(w.mixedPath + QStringLiteral(".txt"), SideFileBytes(MakeDescriptions(size)));
    return w;
}

// A controller with the library of `w` loaded and, optionally, a patches file imported.
struct Session {
    NullView view;
    LibraryController ctl{view, QStringLiteral("Quillbox")};
    World& w;
    Session(World& world, const QString& patchesPath = QString()) : w(world) {
        ctl.SetVersionsFolder(w.versions.path());
        ctl.LoadLibFromPath(w.libPath);
        if (!patchesPath.isEmpty())
            ctl.ImportPatchesFromPath(patchesPath);
    }
    // Back to the library as loaded, sharing nothing with the copies kept here.
    void Restore() {
        ctl.MutableState().LibraryData = Unshared(w.store);
        ctl.MutableState().DescArray = Unshared(w.desc);
    }
    qsizetype Middle() const { return w.size / 2; }
};

void CheckSize(benchmark::State& state, const LibraryController& ctl, qsizetype expected) {
    if (ctl.ListCount(ListId::Library) != expected)
        state.SkipWithError("the library does not have the expected size");
}

// Floor of the in-memory commands: one copy of the store.
Body CopyOfStore(long size) {
    return [size](benchmark::State& state) {
        const QByteArray& store = WorldFor(size).store;
        for (auto _ : state) {
            QByteArray copy = Unshared(store);
            benchmark::DoNotOptimize(copy.data());
        }
    };
}

// A command on the middle entry. `prepare` runs untimed before each run of `command`; with `restore`
// the library is set back to its loaded state first.
std::function<Body(long)> Command(
    std::function<void(Session&)> prepare, std::function<void(Session&)> command, bool restore,
    const QString& patchesPath = QStringLiteral("patches"),
    std::function<long(long)> sizeChange = [](long) { return 0L; }) {
    return [=](long size) -> Body {
        return [=](benchmark::State& state) {
            World& w = WorldFor(size);
            Session s(w, patchesPath == QLatin1String("patches") ? w.patchesPath
                         : patchesPath == QLatin1String("mixed") ? w.mixedPath
                                                                 : QString());
            for (auto _ : state) {
                state.PauseTiming();
                if (restore)
                    s.Restore();
                prepare(s);
                state.ResumeTiming();
                command(s);
            }
            if (restore)
                CheckSize(state, s.ctl, w.size + sizeChange(size));
            if (s.view.messages != 0)
                state.SkipWithError("a message was shown");
        };
    };
}

void SelectMiddle(Session& s) {
    s.ctl.LibraryClicked(s.Middle());
}

void SelectBoth(Session& s) {
    s.ctl.LibraryClicked(s.Middle());
    s.ctl.PatchesClicked(s.Middle());
}

void Nothing(Session&) {}

void RegisterAll() {
    const Target underFiveMs{Target::Milliseconds, 5, 100000};
    const Target withinFiveTimes{Target::Ratio, 5, 100000};
    const Target underOneSecond{Target::Milliseconds, 1000, 100000};
    const Target underSixteenMs{Target::Milliseconds, 16, 100000};

    // Load from the disk (the files' pages dropped from the cache before each run, untimed), as a
    // library is opened the first time; and again with the files in the page cache.
    for (const bool cold : {true, false}) {
        Register(
            cold ? "load" : "load, warm cache", Sizes,
            [cold](long size) -> Body {
                return [size, cold](benchmark::State& state) {
                    World& w = WorldFor(size);
                    NullView view;
                    LibraryController ctl(view, QStringLiteral("Quillbox"));
                    for (auto _ : state) {
                        if (cold) {
                            state.PauseTiming();
                            DropFromCache(w.libPath);
                            DropFromCache(w.libPath + QStringLiteral(".txt"));
                            state.ResumeTiming();
                        }
                        ctl.LoadLibFromPath(w.libPath);
                    }
                    CheckSize(state, ctl, size);
                    if (ctl.State().DescArray != w.desc)
                        state.SkipWithError("descriptions read wrong");
                };
            },
            cold ? "read both files from disk" : "read both files from cache",
            [cold](long size) -> Body {
                return [size, cold](benchmark::State& state) {
                    World& w = WorldFor(size);
                    for (auto _ : state) {
                        if (cold) {
                            state.PauseTiming();
                            DropFromCache(w.libPath);
                            DropFromCache(w.libPath + QStringLiteral(".txt"));
                            state.ResumeTiming();
                        }
                        benchmark::DoNotOptimize(ReadFile(w.libPath).size());
                        benchmark::DoNotOptimize(ReadFile(w.libPath + QStringLiteral(".txt")).size());
                    }
                };
            },
            cold ? withinFiveTimes : Target{});
    }

    // Every save changes one description first (untimed), so that it replaces a different pair and
    // keeps it as an earlier version (the oldest beyond 20 pruned, as in use).
    Register(
        "save", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                Session s(w);
                for (auto _ : state) {
                    state.PauseTiming();
                    QString& description = s.ctl.MutableState().DescArray[1];
                    description.back() = description.back() == u'x' ? u'y' : u'x';
                    state.ResumeTiming();
                    if (!s.ctl.SaveLib())
                        state.SkipWithError("the save failed");
                }
                if (s.view.messages != 0 || s.ctl.LibEarlierVersions().isEmpty())
                    state.SkipWithError("no earlier version was kept");
            };
        },
        "read both, write+fsync both and the old pair",
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                QTemporaryDir dir;
                const QByteArray lib = LibraryFileBytes(w.store);
                const QByteArray side = SideFileBytes(w.desc);
                const QString sidePath = w.libPath + QStringLiteral(".txt");
                for (auto _ : state) {
                    const QByteArray oldLib = ReadFile(w.libPath), oldSide = ReadFile(sidePath);
                    WriteFile(dir.filePath(QStringLiteral("f.pslib")), lib, true);
                    WriteFile(dir.filePath(QStringLiteral("f.pslib.txt")), side, true);
                    WriteFile(dir.filePath(QStringLiteral("v.pslib")), oldLib, true);
                    WriteFile(dir.filePath(QStringLiteral("v.pslib.txt")), oldSide, true);
                }
            };
        },
        withinFiveTimes);

    Register(
        "list lines", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                const QByteArray& store = WorldFor(size).store;
                for (auto _ : state)
                    benchmark::DoNotOptimize(FillPatchList(store).size());
            };
        },
        "one copy of the store", CopyOfStore);

    struct Single {
        const char* name;
        void (*prepare)(Session&);
        void (*command)(Session&);
        bool restore;
        long sizeChange;
    };
    const Single singles[] = {
        {"select", Nothing, [](Session& s) { s.ctl.LibraryClicked(s.Middle()); }, false, 0},
        {"copy", SelectBoth, [](Session& s) { s.ctl.CopySelectedPatch(); }, true, 1},
        {"replace", SelectBoth, [](Session& s) { s.ctl.ReplaceSelectedPatch(); }, false, 0},
        {"move up", SelectMiddle, [](Session& s) { s.ctl.MoveUp(); }, false, 0},
        {"move down", SelectMiddle, [](Session& s) { s.ctl.MoveDown(); }, false, 0},
        {"clone", SelectMiddle, [](Session& s) { s.ctl.ClonePatch(); }, true, 1},
        {"delete", SelectMiddle, [](Session& s) { s.ctl.DeleteSelected(); }, true, -1},
        {"random modification", SelectMiddle, [](Session& s) { s.ctl.RandomModification(); }, false, 0},
        {"drive type", SelectMiddle,
         [](Session& s) {
             s.ctl.DriveTypePicked((ShowPatchDetails(s.ctl.State().CurrentPatch).driveType + 1) % 24);
         },
         false, 0},
        {"typing", SelectMiddle,
         [](Session& s) {
             static int typed = 0;
             s.ctl.DescriptionEdited(QStringLiteral("typed ") + QString::number(++typed));
         },
         false, 0},
    };
    for (const Single& c : singles)
        Register(c.name, Sizes,
                 Command(c.prepare, c.command, c.restore, QStringLiteral("patches"),
                         [change = c.sizeChange](long) { return change; }),
                 "one copy of the store", CopyOfStore, underFiveMs);

    // Several selected lines at 100,000 entries: every second entry deleted (50,000), and every
    // hundredth one (1,000) moved by a drop to the middle of the library; each records its step.
    auto every = [](long size, long step) {
        QList<qsizetype> positions;
        for (qsizetype k = 0; k < size; k += step)
            positions.append(k);
        return positions;
    };
    Register("delete half, selected", Sizes,
             Command(
                 [every](Session& s) {
                     static std::map<long, QList<qsizetype>> selections;
                     QList<qsizetype>& half = selections[s.w.size];
                     if (half.isEmpty())
                         half = every(s.w.size, 2);
                     s.ctl.LibrarySelected(half, half.last());
                 },
                 [](Session& s) { s.ctl.DeleteSelected(); }, true, QStringLiteral("patches"),
                 [](long size) { return -size / 2; }),
             "one copy of the store", CopyOfStore, underSixteenMs);
    Register("drop a hundredth, selected", Sizes,
             Command([every](Session& s) { s.ctl.LibrarySelected(every(s.w.size, 100), 0); },
                     [every](Session& s) {
                         static std::map<long, QList<qsizetype>> dragged;
                         QList<qsizetype>& lines = dragged[s.w.size];
                         if (lines.isEmpty())
                             lines = every(s.w.size, 100);
                         s.ctl.MoveEntriesTo(lines, s.Middle() + 1);
                     },
                     true),
             "one copy of the store", CopyOfStore, underSixteenMs);

    Register("change all cab type", Sizes,
             Command(
                 [](Session& s) {
                     SelectMiddle(s);
                     s.ctl.SetChangeAll(true);
                 },
                 [](Session& s) {
                     static int value = 0;
                     s.ctl.CabTypePicked(++value % 6);
                 },
                 false),
             "one copy of the store", CopyOfStore);
    Register("append all", Sizes,
             Command(
                 Nothing, [](Session& s) { s.ctl.AppendAllPatches(); }, true, QStringLiteral("patches"),
                 [](long size) { return size; }),
             "one copy of the store", CopyOfStore);
    Register("append all different", Sizes,
             Command(
                 Nothing, [](Session& s) { s.ctl.AppendDifferentPatches(); }, true, QStringLiteral("mixed"),
                 [](long size) { return size - size / 2; }),
             "one copy of the store", CopyOfStore, underOneSecond);
    Register("update all", Sizes,
             Command(
                 Nothing, [](Session& s) { s.ctl.UpdateAllPatchesInLib(); }, true),
             "one copy of the store", CopyOfStore, underOneSecond);

    // One keystroke in the find field: the folded entry texts are kept, each keystroke scans them
    // for every word ("p4" matches a tenth of the names, "p4 x" adds a word found in no entry).
    for (const char* query : {"p4", "p4 x"}) {
        Register(
            std::string("find keystroke \"") + query + "\"", Sizes,
            [query](long size) -> Body {
                return [size, query](benchmark::State& state) {
                    World& w = WorldFor(size);
                    PatchFinder finder;
                    finder.Rebuild(w.store, [&w](qsizetype k) { return w.desc.value(k + 1); });
                    for (auto _ : state)
                        benchmark::DoNotOptimize(finder.Matching(QString::fromUtf8(query)).size());
                };
            },
            "one copy of the store", CopyOfStore, underSixteenMs);
    }
    // Duplicate marks: counting the library and marking every imported patch, and keeping the counts
    // up to date after a single-entry command (the middle entry deleted, then put back).
    const Target underFiftyMs{Target::Milliseconds, 50, 100000};
    Register(
        "twins: count + mark all", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                const QByteArray patches = MakeStore(size, 500000);
                for (auto _ : state) {
                    TwinIndex index;
                    index.Update(w.store);
                    benchmark::DoNotOptimize(index.AllPatchKinds(patches).data());
                }
            };
        },
        "one copy of the store", CopyOfStore, underFiftyMs);
    Register(
        "twins: single-entry update", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                TwinIndex index;
                index.Update(w.store);
                QByteArray without = w.store;
                without.remove((size / 2) * PatchImageSize, PatchImageSize);
                bool deleted = false;
                for (auto _ : state) {
                    deleted = !deleted;
                    index.Update(deleted ? without : w.store);
                }
            };
        },
        "one copy of the store", CopyOfStore, underSixteenMs);
    Register(
        "find texts rebuilt", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                PatchFinder finder;
                for (auto _ : state)
                    finder.Rebuild(w.store, [&w](qsizetype k) { return w.desc.value(k + 1); });
            };
        },
        "one copy of the store", CopyOfStore);
}

} // namespace

int main(int argc, char** argv) {
    RegisterAll();
    return RunAll(argc, argv);
}
