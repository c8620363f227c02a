// SPDX-License-Identifier: Apache-2.0
// `shareadm connections list` over 65,535 connections answered by the stand-in server's
// handlers (its binary seeds at most 10,000), as the user runs it (a child process, standard output
// to /dev/null), next to a child that makes only the library call: the child's wall time and
// peak resident memory (ru_maxrss), both taken by a small launcher process.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/listing_names.h"
#include "bench/support.h"

namespace share::bench {
namespace {

// The answers are encoded once for every run of these benchmarks; the server holds the name only
// while one of them runs, since the others (interleaved at random) start servers of their own.
SimResponder &Responder() {
    static SimResponder responder(0, 65535);
    return responder;
}

// One run of argv from the launcher (see list_floor.cpp), so that the child's peak is its own:
// false when it failed.
bool RunChild(const std::vector<std::string> &argv, long *maxrssBytes, double *seconds) {
    std::vector<char *> a{const_cast<char *>(LIST_FLOOR_PATH), const_cast<char *>("--run")};
    for (const auto &s : argv) a.push_back(const_cast<char *>(s.c_str()));
    a.push_back(nullptr);  // made before fork: the server's threads may hold the heap's lock
    int out[2];
    if (pipe(out) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return false;
    }
    if (pid == 0) {
        if (dup2(out[1], STDOUT_FILENO) < 0) _exit(126);
        execv(a[0], a.data());
        _exit(127);
    }
    close(out[1]);
    char text[64] = {};
    size_t got = 0;
    for (ssize_t n;
         got + 1 < sizeof text && (n = read(out[0], text + got, sizeof text - 1 - got)) > 0;)
        got += static_cast<size_t>(n);
    close(out[0]);
    int status = 0;
    long kib = 0;
    long long nanoseconds = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(text, "%ld %lld", &kib, &nanoseconds) != 2)
        return false;
    *maxrssBytes = kib * 1024L;
    *seconds = static_cast<double>(nanoseconds) / 1e9;
    return true;
}

void BM_Tool(benchmark::State &state, std::vector<std::string> argv) {
    const FakeServer server(Responder().AsResponder(), CannedOptions());
    long peak = 0;
    for (auto _ : state) {
        long rss = 0;
        double seconds = 0;
        if (!RunChild(argv, &rss, &seconds)) return state.SkipWithError("the child failed");
        state.SetIterationTime(seconds);
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
            ->UseManualTime()
            ->Iterations(3);
    return true;
}();

}  // namespace
}  // namespace share::bench
