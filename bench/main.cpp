// SPDX-License-Identifier: Apache-2.0
// Benchmark entry point: isolate the server name, run, then print the table of ratios.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bench/report.h"

int main(int argc, char **argv) {
    if (unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "benchmarks need a private network namespace (root): %s\n",
                     std::strerror(errno));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    share::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool complete = reporter.PrintTable();
    benchmark::Shutdown();
    return complete ? 0 : 1;
}
