// SPDX-License-Identifier: Apache-2.0
// `shareadm connections list` over 65,535 connections answered by the stand-in server's
// handlers (its binary seeds at most 10,000), as the user runs it (a child process, standard output
// to /dev/null), next to a child that makes only the library call: wall time and the child's peak
// resident memory (ru_maxrss).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/listing_names.h"
#include "bench/support.h"

namespace share::bench {
namespace {

// One server for every run of these benchmarks (random interleaving would restart it often).
void ServerUp() {
    static SimResponder responder(0, 65535);
    static FakeServer server(responder.AsResponder(), CannedOptions());
}

// Runs argv with standard output to /dev/null; the child's ru_maxrss in bytes, or -1.
long RunChild(const std::vector<std::string> &argv) {
    std::vector<char *> a;  // made before fork: the server's threads may hold the heap's lock
    for (const auto &s : argv) a.push_back(const_cast<char *>(s.c_str()));
    a.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, STDOUT_FILENO) < 0) _exit(126);
        execv(a[0], a.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss * 1024L;
}

void BM_Tool(benchmark::State &state, std::vector<std::string> argv) {
    ServerUp();
    long peak = 0;
    for (auto _ : state) {
        const long rss = RunChild(argv);
        if (rss < 0) return state.SkipWithError("the child failed");
        peak = std::max(peak, rss);
    }
    state.counters["maxrss_bytes"] = static_cast<double>(peak);
}

const bool kRegistered = [] {
    const std::pair<const char *, std::vector<std::string>> runs[] = {
        {kToolFloor, {LIST_FLOOR_PATH}},
        {kToolTable, {SHAREADM_PATH, "connections", "list"}},
        {kToolJson, {SHAREADM_PATH, "--format", "json", "connections", "list"}},
        {kToolCsv, {SHAREADM_PATH, "--format", "csv", "connections", "list"}},
    };
    for (const auto &[name, argv] : runs)
        benchmark::RegisterBenchmark(name, [argv](benchmark::State &s) { BM_Tool(s, argv); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
    return true;
}();

}  // namespace
}  // namespace share::bench
