// `quillbox-tool merge` end to end beside `git merge-file` on the same three-way merge: 100,000
// entries with descriptions, each side changing 1 % of them (the bytes of some, the description of
// others, moves, insertions and deletions). The two sides change entries eight places apart, so that
// both merges are clean, the line-based one included. The tool reads the three libraries with their
// side files and writes OUT (with its side file) as every save does: temporary files, fsync, commit
// record. `git merge-file` gets the same entries written one per line (the bytes in hex, a tab, the
// description with its line breaks as "\n") and writes its result over the current file. Each run
// starts a process, as a user or a script does; what a run needs beforehand (OUT removed, the current
// file copied back) is done outside the timing.
#include "BenchSupport.h"
#include "BenchTable.h"
#include "PatchImage.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <numeric>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace quillbox;
using namespace quillbox::bench;

namespace {

constexpr long Entries = 100000;

struct Side {
    std::vector<QByteArray> entries;
    QStringList descriptions; // one per entry
};

// 1 % of the entries changed, each change at a base position of `offset` modulo 8: a fifth each of
// edited bytes, edited descriptions, moves (to after another such position), insertions and deletions.
Side Changed(const Side& base, int offset, quint32 seed) {
    QRandomGenerator random(seed);
    const qsizetype n = qsizetype(base.entries.size());
    const qsizetype slots = n / 8;
    std::vector<qsizetype> order(static_cast<size_t>(slots));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    const qsizetype changes = n / 100;
    // What happens at each base position, then the side in base order.
    enum Change : char { Keep, Bytes, Text, MoveAway, Insert, Delete };
    std::vector<Change> change(size_t(n), Keep);
    std::vector<std::vector<qsizetype>> movedAfter(
        static_cast<size_t>(n)); // base entries moved behind this one
    for (qsizetype k = 0; k < changes; ++k) {
        const qsizetype at = order[size_t(k)] * 8 + offset;
        change[size_t(at)] = Change(1 + k % 5);
        if (change[size_t(at)] == MoveAway) {
            const qsizetype to = qsizetype(random.bounded(quint32(slots))) * 8 + offset;
            movedAfter[size_t(to == at ? (to + 8) % n : to)].push_back(at);
        }
    }
    Side side;
    int made = 0;
    const auto append = [&](qsizetype i) {
        QByteArray entry = base.entries[size_t(i)];
        QString text = base.descriptions.at(i);
        if (change[size_t(i)] == Bytes)
            entry[0] = char(entry[0] ^ 1);
        else if (change[size_t(i)] == Text)
            text = QStringLiteral("changed on side %1").arg(offset);
        side.entries.push_back(entry);
        side.descriptions.append(text);
    };
    for (qsizetype i = 0; i < n; ++i) {
        if (change[size_t(i)] != Delete && change[size_t(i)] != MoveAway)
            append(i);
        for (qsizetype moved : movedAfter[size_t(i)])
            append(moved);
        if (change[size_t(i)] == Insert) {
            ++made;
            side.entries.push_back(MakeImage(made, int(seed) * 100000 + made));
            side.descriptions.append(QStringLiteral("inserted %1 on side %2").arg(made).arg(offset));
        }
    }
    return side;
}

QStringList DescArray(const Side& side) {
    return QStringList{QString()} + side.descriptions;
}

QByteArray Store(const Side& side) {
    QByteArray store;
    store.reserve(qsizetype(side.entries.size()) * PatchImageSize);
    for (const QByteArray& e : side.entries)
        store.append(e);
    return store;
}

// One entry per line: the 18 bytes in hex, a tab, the description with its line breaks as "\n".
QByteArray Lines(const Side& side) {
    QByteArray text;
    text.reserve(qsizetype(side.entries.size()) * 80);
    for (size_t k = 0; k < side.entries.size(); ++k) {
        text += side.entries[k].toHex();
        text += '\t';
        text += QString(side.descriptions.at(qsizetype(k)))
                    .replace(QStringLiteral("\r\n"), QStringLiteral("\\n"))
                    .toUtf8();
        text += '\n';
    }
    return text;
}

// The files go to a temporary folder, or to the folder QUILLBOX_BENCH_DIR names, where they stay (to
// time or profile the two commands by hand).
struct World {
    QTemporaryDir temporary;
    QString dir = qEnvironmentVariableIsSet("QUILLBOX_BENCH_DIR") ? qEnvironmentVariable("QUILLBOX_BENCH_DIR")
                                                                  : temporary.path();
    QTemporaryDir data; // the tool's own files (earlier versions, locks): never the user's
    QString Path(const char* name) const { return dir + u'/' + QString::fromUtf8(name); }
};

World& TheWorld() {
    static std::unique_ptr<World> world;
    if (!world) {
        world = std::make_unique<World>();
        Side base;
        const QByteArray store = MakeStore(Entries);
        const QStringList descriptions = MakeDescriptions(Entries);
        for (qsizetype i = 0; i < Entries; ++i) {
            base.entries.push_back(store.mid(i * PatchImageSize, PatchImageSize));
            base.descriptions.append(descriptions.at(i + 1));
        }
        const Side left = Changed(base, 0, 1), right = Changed(base, 4, 2);
        for (const auto& [name, side] :
             {std::pair<const char*, const Side*>{"base", &base}, {"left", &left}, {"right", &right}}) {
            const QString stem = world->Path(name);
            if (!WriteFile(stem + QStringLiteral(".pslib"), LibraryFileBytes(Store(*side))) ||
                !WriteFile(stem + QStringLiteral(".pslib.txt"), SideFileBytes(DescArray(*side))) ||
                !WriteFile(stem + QStringLiteral(".lines"), Lines(*side)))
                std::abort();
        }
        qputenv("XDG_DATA_HOME", QFile::encodeName(world->data.path()));
    }
    return *world;
}

// Runs the program with `arguments` and returns its exit status (-1 when it did not start or end).
int Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (started != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// The tool built with this benchmark, or the one QUILLBOX_TOOL names (to hold another build against git).
std::string ToolPath() {
    const QByteArray chosen = qgetenv("QUILLBOX_TOOL");
    return chosen.isEmpty() ? std::string(QUILLBOX_TOOL_PATH) : chosen.toStdString();
}

std::string Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

Body ToolMerge(long) {
    return [](benchmark::State& state) {
        World& w = TheWorld();
        const QString out = w.Path("merged.pslib");
        const std::vector<std::string> command{ToolPath(),
                                               "merge",
                                               Local(w.Path("left.pslib")),
                                               Local(w.Path("right.pslib")),
                                               "--base",
                                               Local(w.Path("base.pslib")),
                                               "--out",
                                               Local(out)};
        for (auto _ : state) {
            state.PauseTiming();
            QFile::remove(out);
            QFile::remove(out + QStringLiteral(".txt"));
            state.ResumeTiming();
            if (const int status = Run(command); status != 0) {
                state.SkipWithError(("quillbox-tool merge exited with " + std::to_string(status)).c_str());
                break;
            }
        }
    };
}

Body GitMerge(long) {
    return [](benchmark::State& state) {
        World& w = TheWorld();
        const QByteArray left = ReadFile(w.Path("left.lines"));
        const QString current = w.Path("current.lines");
        const std::vector<std::string> command{"git",
                                               "merge-file",
                                               "-q",
                                               Local(current),
                                               Local(w.Path("base.lines")),
                                               Local(w.Path("right.lines"))};
        for (auto _ : state) {
            state.PauseTiming();
            WriteFile(current, left);
            state.ResumeTiming();
            if (const int status = Run(command); status != 0) {
                state.SkipWithError(("git merge-file exited with " + std::to_string(status)).c_str());
                break;
            }
        }
    };
}

} // namespace

int main(int argc, char** argv) {
    Register("merge, tool vs git", {Entries}, ToolMerge, "git merge-file, one entry a line", GitMerge,
             Target{Target::Ratio, 1.0, Entries});
    return RunAll(argc, argv);
}
