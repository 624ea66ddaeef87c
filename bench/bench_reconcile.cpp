// Reconciling two libraries of 100,000 entries with descriptions: the rows when 1 % of the entries
// are changed, moved, inserted or deleted, the rows of two identical libraries, and the three-way
// merge of two sides that each changed half a percent of their common past; each beside its floor.
#include "BenchSupport.h"
#include "BenchTable.h"
#include "Reconcile.h"

#include <QRandomGenerator>
#include <map>
#include <memory>

using namespace quillbox;
using namespace quillbox::bench;

namespace {

const std::vector<long> Sizes{100000};

struct Edited {
    std::vector<QByteArray> entries;
    QStringList descriptions; // one per entry, no unused element 0

    ReconcileSide Side() const {
        ReconcileSide side{{}, {QString()}};
        for (const QByteArray& e : entries)
            side.store.append(e);
        side.descriptions.append(descriptions);
        return side;
    }
};

// `count` operations spread over the entries from `seed`: a quarter each of edits (another drive
// type), moves (to a random place), insertions (a new patch) and deletions.
Edited Edit(const ReconcileSide& from, long count, quint32 seed) {
    Edited e;
    const qsizetype n = EntryCount(from.store);
    for (qsizetype i = 0; i < n; ++i) {
        e.entries.push_back(from.store.mid(i * PatchImageSize, PatchImageSize));
        e.descriptions.append(from.descriptions.value(i + 1));
    }
    QRandomGenerator random(seed);
    const auto at = [&](qsizetype size) {
        return qsizetype(random.bounded(quint32(size)));
    };
    for (long k = 0; k < count; ++k) {
        const qsizetype i = at(qsizetype(e.entries.size()));
        switch (k % 4) {
        case 0:
            e.entries[size_t(i)][0] = char(e.entries[size_t(i)][0] ^ 1);
            break;
        case 1: {
            const QByteArray entry = e.entries[size_t(i)];
            const QString text = e.descriptions.takeAt(i);
            e.entries.erase(e.entries.begin() + i);
            const qsizetype to = at(qsizetype(e.entries.size()));
            e.entries.insert(e.entries.begin() + to, entry);
            e.descriptions.insert(to, text);
            break;
        }
        case 2:
            e.entries.insert(e.entries.begin() + i, MakeImage(k, int(seed) * 1000 + int(k) + 777777));
            e.descriptions.insert(i, QStringLiteral("new %1").arg(k));
            break;
        default:
            e.entries.erase(e.entries.begin() + i);
            e.descriptions.removeAt(i);
        }
    }
    return e;
}

struct World {
    ReconcileSide base, left, right, copy;
};

World& WorldFor(long size) {
    static std::map<long, std::unique_ptr<World>> worlds;
    std::unique_ptr<World>& world = worlds[size];
    if (!world) {
        world = std::make_unique<World>();
        World& w = *world;
        w.base = {MakeStore(size), MakeDescriptions(size)};
        w.copy = {Unshared(w.base.store), Unshared(w.base.descriptions)};
        w.left = Edit(w.base, size / 200, 1).Side();
        w.right = Edit(w.base, size / 100, 2).Side();
    }
    return *world;
}

// The floor: one comparison of two stores and their descriptions that differ only at the end.
Body Floor(long size) {
    return [size](benchmark::State& state) {
        World& w = WorldFor(size);
        for (auto _ : state) {
            benchmark::DoNotOptimize(w.base.store == w.copy.store);
            benchmark::DoNotOptimize(w.base.descriptions == w.copy.descriptions);
        }
    };
}

} // namespace

int main(int argc, char** argv) {
    const std::string floorName = "compare two equal libraries";
    Register(
        "rows, 1 % changed", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                size_t differing = 0;
                for (auto _ : state) {
                    const std::vector<ReconcileRow> rows = ReconcileRows(w.base, w.right);
                    differing = size_t(std::count_if(rows.begin(), rows.end(), RowDiffers));
                }
                state.counters["differing rows"] = double(differing);
            };
        },
        floorName, Floor, Target{Target::Milliseconds, 200, 100000});
    Register(
        "rows, identical", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                for (auto _ : state)
                    benchmark::DoNotOptimize(ReconcileRows(w.base, w.copy).size());
            };
        },
        floorName, Floor, Target{Target::Milliseconds, 20, 100000});
    Register(
        "three-way merge", Sizes,
        [](long size) -> Body {
            return [size](benchmark::State& state) {
                World& w = WorldFor(size);
                size_t conflicts = 0;
                for (auto _ : state)
                    conflicts = MergeThreeWay(w.base, w.left, w.right).conflicts.size();
                state.counters["conflicts"] = double(conflicts);
            };
        },
        floorName, Floor, Target{Target::Milliseconds, 300, 100000});
    return RunAll(argc, argv);
}
