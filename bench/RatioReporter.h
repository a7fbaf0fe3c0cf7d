#pragma once
// The console reporter of the benchmarks that compare our code with a system tool on the
// same files: it keeps the console output and remembers each benchmark's wall time, so
// that the ratios (ours / theirs) can be printed at the end.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <initializer_list>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            if (!run.error_occurred) {
                const std::string name = run.benchmark_name();
                FTimes[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(reports);
    }
    void PrintRatio(const std::string& ours, const std::string& theirs) const {
        const auto a = FTimes.find(ours);
        const auto b = FTimes.find(theirs);
        if (a == FTimes.end() || b == FTimes.end() || b->second <= 0) {
            std::cout << ours << " / " << theirs << ": not measured\n";
            return;
        }
        std::cout << ours << " / " << theirs << " = " << a->second / b->second << "\n";
    }

private:
    std::map<std::string, double> FTimes;
};

// A path in single quotes for the shell (the benchmarks' own folders hold no quote).
inline std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

// Runs a system tool's command as one iteration; a failure marks the benchmark.
inline void RunShell(benchmark::State& state, const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        state.SkipWithError(("failed: " + command).c_str());
    }
}

// The main of such a benchmark: prepare() makes the files (false: nothing runs, 1), the
// benchmarks run, each pair's ratio ours / theirs is printed, and folder is removed.
inline int RunComparison(int argc, char** argv, bool (*prepare)(),
                         std::initializer_list<std::pair<const char*, const char*>> ratios,
                         const std::string& folder) {
    benchmark::Initialize(&argc, argv);
    if (!prepare()) {
        return 1;
    }
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout << "\nratios (target <= 1.2):\n";
    for (const auto& [ours, theirs] : ratios) {
        reporter.PrintRatio(ours, theirs);
    }
    std::system(("rm -rf " + Quoted(folder)).c_str());
    benchmark::Shutdown();
    return 0;
}
