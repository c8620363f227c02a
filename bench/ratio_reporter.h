// Console output plus the ratios of named benchmark pairs, from the median of their runs.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace share::bench {

// Pairs whose ratio is reported: {measured, floor, target}.
struct RatioPair {
    const char *measured;
    const char *floor;
    double target;
};

inline const RatioPair kRatioPairs[] = {
    {"BM_Exchange/SendAndReceiveIPC", "BM_Exchange/RawSocketFloor", 1.15},
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times_[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() {
        for (const RatioPair &pair : kRatioPairs) {
            const auto measured = times_.find(pair.measured), floor = times_.find(pair.floor);
            if (measured == times_.end() || floor == times_.end()) continue;
            const double m = Median(measured->second), f = Median(floor->second);
            const double ratio = m / f;
            std::printf("%s / %s = %.3f (median of %zu and %zu runs; target <= %.2f): %s\n",
                        pair.measured, pair.floor, ratio, measured->second.size(),
                        floor->second.size(), pair.target, ratio <= pair.target ? "met" : "MISSED");
        }
    }

private:
    static double Median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace share::bench
