#pragma once

// Benchmarks that come in pairs: "name/size" and its floor "name/size/floor" (the plain work the
// figure is held against). After the usual console output a table gives each figure beside its
// floor, the ratio and the target it has to meet.

#include "LargeArrays.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quillbox::bench {

struct Target {
    enum Kind { None, Ratio, Milliseconds } kind = None;
    double limit = 0;
    long atSize = 0; // the target holds at this size; 0 = at every size
};

struct Row {
    std::string name;
    long size;
    std::string floorName;
    Target target;
};

inline std::vector<Row>& Rows() {
    static std::vector<Row> rows;
    return rows;
}

using Body = std::function<void(benchmark::State&)>;

// Registers a figure and its floor for each size. `iterations` > 0 fixes the figure's number of runs
// (for figures whose untimed set-up costs far more than what they time).
inline void Register(const std::string& name, const std::vector<long>& sizes, std::function<Body(long)> make,
                     const std::string& floorName, std::function<Body(long)> makeFloor, Target target = {},
                     long iterations = 0) {
    for (long size : sizes) {
        const std::string base = name + "/" + std::to_string(size);
        auto* figure = benchmark::RegisterBenchmark(base.c_str(), make(size))
                           ->Unit(benchmark::kMillisecond)
                           ->UseRealTime();
        if (iterations > 0)
            figure->Iterations(iterations);
        benchmark::RegisterBenchmark((base + "/floor").c_str(), makeFloor(size))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        Rows().push_back({name, size, floorName, target});
    }
}

class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                ms_[run.run_name.function_name] = run.GetAdjustedRealTime(); // milliseconds: every unit is ms
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %8s %11s %11s %9s  %-30s %s\n", "benchmark", "entries", "time ms", "floor ms",
                    "ratio", "floor", "target");
        int missed = 0;
        for (const Row& row : Rows()) {
            const std::string base = row.name + "/" + std::to_string(row.size);
            const auto time = ms_.find(base);
            const auto floor = ms_.find(base + "/floor");
            if (time == ms_.end() || floor == ms_.end())
                continue; // filtered out of this run
            const double ratio = floor->second > 0 ? time->second / floor->second : 0;
            std::string verdict;
            if (row.target.kind != Target::None &&
                (row.target.atSize == 0 || row.target.atSize == row.size)) {
                const bool met = row.target.kind == Target::Ratio ? ratio <= row.target.limit
                                                                  : time->second <= row.target.limit;
                char text[64];
                std::snprintf(text, sizeof text, "%s %g%s: %s", row.target.kind == Target::Ratio ? "<=" : "<",
                              row.target.limit, row.target.kind == Target::Ratio ? "x floor" : " ms",
                              met ? "met" : "MISSED");
                verdict = text;
                missed += met ? 0 : 1;
            }
            std::printf("%-28s %8ld %11.3f %11.3f %8.1fx  %-30s %s\n", row.name.c_str(), row.size,
                        time->second, floor->second, ratio, row.floorName.c_str(), verdict.c_str());
        }
        std::printf("targets missed: %d\n", missed);
        std::fflush(stdout);
    }

private:
    std::map<std::string, double> ms_;
};

// Runs every registered benchmark and prints the table; `argc`/`argv` take Google Benchmark's flags.
inline int RunAll(int argc, char** argv) {
    KeepFreedMemory(); // as the programs measured do
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace quillbox::bench
