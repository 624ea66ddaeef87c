// The collection over generated folders: first scan against reading the same files, rescans, a
// find and where-used. The size is the number of libraries of 1,000 entries (QUILLBOX_BENCH_LIBRARIES,
// default 100; the full collection is 1000), plus one patch file of 100 patches per five libraries.
#include "BenchTable.h"
#include "CollectionIndex.h"
#include "CollectionMemory.h"
#include "FileAccess.h"
#include "LibraryFile.h"
#include "LibraryPairFile.h"
#include "PatchName.h"
#include "ShowCheck.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

using namespace quillbox;
using namespace quillbox::bench;

namespace {

constexpr long Entries = 1000;

struct World {
    QTemporaryDir dir;
    QString folder, cache, versions;
    QStringList files;
    std::unique_ptr<CollectionIndex> index;
    std::unique_ptr<CollectionIndex::DistinctList> list; // what the window holds
    std::unique_ptr<CollectionMemory> memory;            // what the window holds since it reads the files
    QByteArray probe;                                    // a patch held by a few places
    QStringList libraries;                               // the library files, in order
};

QByteArray Image(std::mt19937& random, long n) {
    QByteArray image(18, '\0');
    for (char& c : image)
        c = char(random());
    WritePatchName(image, EncodePatchName(QStringLiteral("P%1").arg(n % 99999)).codes);
    return image;
}

// The generated collections, cleared before the application goes: a cache's database connection
// must close while Qt is still there.
std::map<long, std::unique_ptr<World>>& Worlds() {
    static std::map<long, std::unique_ptr<World>> worlds;
    return worlds;
}

World& WorldFor(long libraries) {
    auto& world = Worlds()[libraries];
    if (world)
        return *world;
    world = std::make_unique<World>();
    World& w = *world;
    w.folder = w.dir.filePath(QStringLiteral("folder"));
    w.cache = w.dir.filePath(QStringLiteral("cache/collection.sqlite"));
    w.versions = w.dir.filePath(QStringLiteral("versions"));
    std::mt19937 random(7);
    for (long lib = 0; lib < libraries; ++lib) {
        const QString sub = w.folder + QStringLiteral("/set%1").arg(lib / 50);
        QDir().mkpath(sub);
        QByteArray store;
        QByteArray side = "[Description]\r\n";
        for (long k = 0; k < Entries; ++k) {
            store += Image(random, lib * Entries + k);
            side += QByteArray::number(k + 1) + "=library " + QByteArray::number(lib) + " entry " +
                    QByteArray::number(k) + " warm lead " + (k % 10 == 0 ? "#gig" : "#practice") + "\r\n";
        }
        if (lib == 0)
            w.probe = store.left(18);
        const QString path = sub + QStringLiteral("/lib%1.pslib").arg(lib);
        test::WriteBytes(path, test::LibraryFileBytes(store));
        test::WriteBytes(SideFilePath(path), side);
        w.files << path << SideFilePath(path);
        w.libraries << path;
        if (lib % 5 == 0) {
            const QString patches = sub + QStringLiteral("/read%1.pch").arg(lib);
            test::WriteBytes(patches, store.left(100 * 18));
            w.files << patches;
        }
    }
    w.index = std::make_unique<CollectionIndex>(w.cache, w.versions);
    w.index->Open();
    w.index->Scan({w.folder});
    w.list = std::make_unique<CollectionIndex::DistinctList>(w.index->ReadDistinct());
    // The window searches its list through a word index, built on its worker after the list.
    w.list->finder.UseWordIndex(w.list->finder.BuildWordIndex());
    return w;
}

// The collection as the window holds it: read from the files, with its word index.
CollectionMemory& MemoryOf(World& w) {
    if (!w.memory) {
        w.memory = std::make_unique<CollectionMemory>();
        w.memory->Apply(CollectionMemory::Look({w.folder}, w.versions, {}));
        w.memory->UseWordIndex(w.memory->FinderCopy().BuildWordIndex());
    }
    return *w.memory;
}

std::vector<long> Sizes() {
    const long libraries = qEnvironmentVariableIntValue("QUILLBOX_BENCH_LIBRARIES");
    return {libraries > 0 ? libraries : 100};
}

Body ReadFloor(long size) {
    return [size](benchmark::State& state) {
        World& w = WorldFor(size);
        for (auto _ : state)
            for (const QString& file : std::as_const(w.files))
                benchmark::DoNotOptimize(ReadFileAsString(file).size());
    };
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // QUILLBOX_BENCH_NO_FTS=1 measures the path taken where SQLite lacks full-text search.
    CollectionIndex::SetFullTextForbiddenForTest(qEnvironmentVariableIntValue("QUILLBOX_BENCH_NO_FTS") == 1);
    const std::string floorName = "read every file";
    Register(
        "first scan", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                for (auto _ : state) {
                    QFile::remove(w.cache);
                    CollectionIndex index(w.cache, w.versions);
                    index.Open();
                    state.counters["patches"] = double(index.Scan({w.folder}).patches);
                }
            };
        },
        floorName, ReadFloor, Target{Target::Ratio, 3}, 1);
    Register(
        "rescan, nothing changed", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                for (auto _ : state)
                    benchmark::DoNotOptimize(w.index->Scan({w.folder}).read);
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 300});
    Register(
        "rescan, one file changed", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                long turn = 0;
                for (auto _ : state) {
                    state.PauseTiming();
                    test::WriteBytes(w.files[1],
                                     "[Description]\r\n1=changed " + QByteArray::number(++turn) + "\r\n");
                    state.ResumeTiming();
                    benchmark::DoNotOptimize(w.index->Scan({w.folder}).read);
                }
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 100});
    Register(
        "find, two words", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                size_t found = 0;
                for (auto _ : state)
                    found = w.index->Find(QStringLiteral("entry 770 #gig"), false).size();
                state.counters["found"] = double(found);
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 16, 100});
    Register(
        "where used", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                size_t found = 0;
                for (auto _ : state)
                    found = w.index->WhereUsed(w.probe).size();
                state.counters["places"] = double(found);
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 16});
    // The window: the distinct patches read after a scan (on its worker), then each keystroke of
    // the find field over them: one letter (nearly every patch), a word and a number, a tag.
    Register(
        "window: read the distinct patches", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                size_t patches = 0;
                double held = 0;
                for (auto _ : state) {
                    const CollectionIndex::DistinctList list = w.index->ReadDistinct();
                    // What the window holds for the list, without the allocator's own overhead.
                    held = double(list.HeldBytes()) / (1024.0 * 1024.0);
                    patches = size_t(list.Count());
                }
                state.counters["distinct"] = double(patches);
                state.counters["held MiB"] = held;
            };
        },
        floorName, ReadFloor, Target{});
    // The window's first answer: a collection without a cache read straight from its files into
    // the list it searches, whose find and where-used answer from then on (the cache is written
    // behind it, on the worker).
    Register(
        "first answer, fresh collection", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                ScanResult result;
                for (auto _ : state) {
                    CollectionMemory memory;
                    result = memory.Apply(CollectionMemory::Look({w.folder}, w.versions, {}));
                }
                state.counters["patches"] = double(result.patches);
                state.counters["distinct"] = double(result.distinct);
            };
        },
        floorName, ReadFloor, Target{Target::Ratio, 5});
    // After one side file was rewritten (untimed): the look at the folders, the changed file read,
    // its places taken out of the list and the new ones put in, and the whole list's rows as the
    // window shows them again.
    Register(
        "window: list after one changed file", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                CollectionMemory& memory = MemoryOf(w);
                long turn = 0;
                size_t shown = 0;
                for (auto _ : state) {
                    state.PauseTiming();
                    test::WriteBytes(SideFilePath(w.libraries[1]), "[Description]\r\n1=changed again " +
                                                     QByteArray::number(++turn) + " #gig\r\n");
                    state.ResumeTiming();
                    const ScanResult result =
                        memory.Apply(CollectionMemory::Look({w.folder}, w.versions, memory.KnownFiles()));
                    if (result.read != 1)
                        state.SkipWithError("the changed file was not read");
                    shown = memory.List()->Matching({}).size();
                }
                state.counters["shown"] = double(shown);
                state.counters["held MiB"] =
                    double(memory.HeldBytes() + memory.List()->HeldBytes()) / (1024.0 * 1024.0);
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 50});
    for (const char* query : {"e", "entry 770", "#gig"}) {
        Register(
            std::string("window: find keystroke \"") + query + '"', Sizes(),
            [query](long size) -> Body {
                return [size, query](benchmark::State& state) {
                    World& w = WorldFor(size);
                    size_t found = 0;
                    for (auto _ : state)
                        found = w.list->finder.Matching(QString::fromUtf8(query)).size();
                    state.counters["found"] = double(found);
                };
            },
            floorName, ReadFloor, Target{Target::Milliseconds, 16, 100});
        // The same keystroke as the window answers it: from the list read from the files (after
        // the changed files above), the answer put in the list's order.
        Register(
            std::string("window: find keystroke \"") + query + "\", in the list's order", Sizes(),
            [query](long size) -> Body {
                return [size, query](benchmark::State& state) {
                    CollectionMemory& memory = MemoryOf(WorldFor(size));
                    size_t found = 0;
                    for (auto _ : state)
                        found = memory.List()->Matching(QString::fromUtf8(query)).size();
                    state.counters["found"] = double(found);
                };
            },
            floorName, ReadFloor, Target{Target::Milliseconds, 16});
    }
    // Typing on: "entry 77" became "entry 770", so only what "entry 77" found is looked at.
    Register(
        "window: find keystroke typing on \"entry 770\"", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                const std::vector<qsizetype> before = w.list->finder.Matching(QStringLiteral("entry 77"));
                size_t found = 0;
                for (auto _ : state)
                    found = w.list->finder.MatchingAmong(QStringLiteral("entry 770"), before).size();
                state.counters["found"] = double(found);
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 16, 100});
    // The word index over the distinct patches' texts, as the window's worker builds it after a read.
    // After the find rows: they see the process as the window is after its one build, not the
    // allocator's state after many (a whole-list scan then ran slower, its code unchanged).
    Register(
        "window: index the words", Sizes(),
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                double index = 0;
                for (auto _ : state)
                    index = double(w.list->finder.BuildWordIndex().HeldBytes()) / (1024.0 * 1024.0);
                state.counters["index MiB"] = index;
                // What the window holds for the list with its index.
                state.counters["held MiB"] = double(w.list->HeldBytes()) / (1024.0 * 1024.0);
            };
        },
        floorName, ReadFloor, Target{});
    // A gig of 200 songs × 8 cues whose patches come from libraries all over the collection; one cue
    // in a hundred finds its patch moved (searched for in its library, and asked of the collection).
    const auto gig = [](World& w) {
        ShowRecord show{QStringLiteral("Gig"), {}};
        const qsizetype libraries = w.libraries.size();
        for (int s = 0; s < 200; ++s) {
            ShowSong& song = show.songs.emplace_back();
            song.title = QStringLiteral("Song %1").arg(s + 1);
            for (int c = 0; c < 8; ++c) {
                const qsizetype n = s * 8 + c;
                const QString path = w.libraries[(n * 7919) % libraries];
                const qsizetype position = (n * 31) % Entries + 1;
                const QByteArray store = LibraryPairFile(path).ReadStore();
                const QByteArray image = store.mid((position - 1) * 18, 18);
                const bool moved = n % 100 == 0;
                song.cues.append(ShowCue{QStringLiteral("Cue %1").arg(c + 1), image, QString(),
                                         CueSource{path, moved ? position % Entries + 1 : position, image}});
            }
        }
        return show;
    };
    Register(
        "show: check 200 songs x 8 cues", Sizes(),
        [gig](long size) -> Body {
            return [size, gig](benchmark::State& state) {
                World& w = WorldFor(size);
                const ShowRecord show = gig(w);
                const OtherPlaces others = [&w](const QByteArray& image) { return w.index->IdenticalPlaces(image); };
                qsizetype moved = 0;
                for (auto _ : state) {
                    const ShowCheckResult result = CheckShow(show, {}, others);
                    moved = 0;
                    for (const QList<CueCheck>& song : result.songs)
                        moved += std::count_if(song.begin(), song.end(),
                                               [](const CueCheck& c) { return c.state == CueState::Moved; });
                }
                state.counters["moved"] = double(moved);
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 100, 1000});
    Register(
        "show: build the device file", Sizes(),
        [gig](long size) -> Body {
            return [size, gig](benchmark::State& state) {
                World& w = WorldFor(size);
                const ShowRecord show = gig(w);
                const QString out = w.dir.filePath(QStringLiteral("gig.pch"));
                const EarlierVersions versions(w.dir.filePath(QStringLiteral("build-versions")));
                for (auto _ : state)
                    BuildDeviceFile(show, out, versions);
                state.counters["slots"] = double(SlotsOf(show).count);
            };
        },
        floorName, ReadFloor, Target{Target::Milliseconds, 50, 1000});
    const int status = RunAll(argc, argv);
#ifdef QUILLBOX_WINDOW_MEMORY
    // The whole window process with the collection open over the generated folders, its cache
    // written anew: resident and peak memory once the files are read and the cache is written.
    if (!qEnvironmentVariableIsSet("QUILLBOX_BENCH_NO_WINDOW")) {
        World& w = WorldFor(Sizes().front());
        QProcess window;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        window.setProcessEnvironment(environment);
        window.start(QStringLiteral(QUILLBOX_WINDOW_MEMORY),
                     {w.folder, w.dir.filePath(QStringLiteral("window/collection.sqlite")), w.versions});
        window.waitForFinished(-1);
        const QList<QByteArray> words = window.readAllStandardOutput().trimmed().split(' ');
        const double resident = words.value(0).toDouble(), peak = words.value(1).toDouble();
        std::printf("\nwindow process, %ld libraries: resident %.0f MB, peak %.0f MB (%s); target 300 MB: %s\n",
                    Sizes().front(), resident, peak, words.mid(2).join(' ').constData(),
                    window.exitCode() == 0 && resident > 0 && resident <= 300 ? "met" : "MISSED");
    }
#endif
    Worlds().clear();
    return status;
}
