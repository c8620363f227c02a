// SPDX-License-Identifier: Apache-2.0
// Console output plus one table: every measured pair as a ratio next to its target, then the
// figures that have no floor (encoding cost per command, the stand-in server's rate).
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace share::bench {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    // Colours only on a terminal, so that logs and pipes get plain text.
    RatioReporter();
    void ReportRuns(const std::vector<Run> &runs) override;
    // Prints the table; false when a pair with a target could not be measured.
    bool PrintTable() const;

  private:
    struct Samples {
        std::vector<double> seconds;  // per iteration, one entry per repetition
        std::vector<double> rates;    // items per second
        std::map<std::string, double> counters;
    };
    std::map<std::string, Samples> samples_;
};

}  // namespace share::bench
