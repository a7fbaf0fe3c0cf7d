#pragma once
// The console reporter of the benchmarks that compare our code with a system tool on the
// same files: it keeps the console output and remembers each benchmark's wall time, so
// that the ratios (ours / theirs) can be printed at the end.

#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <string>
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
