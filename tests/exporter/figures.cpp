// SPDX-License-Identifier: Apache-2.0
// The exporter's figures for the benchmark table, measured in one run: a scrape over HTTP of a
// sharesim holding 65,535 connections against the same gather made in-process, and the
// exporter's resident memory at idle, after one scrape and after 100. Prints the rows and fails
// when a bound is not met.
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "exporter/http_client.h"
#include "sharemon/metrics.h"
#include "sharesim/state.h"
#include "tools/process.h"

namespace share::exporter::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kConnections = 65535;
constexpr int kPort = 19923;
constexpr int kRuns = 5;
constexpr int kScrapes = 100;
constexpr double kMaxRatio = 1.3;
constexpr std::chrono::milliseconds kSettle{500};
// The exporter hands its scrape memory back after 2 s without a scrape.
constexpr std::chrono::milliseconds kQuiet{3000};

template <class F>
double Seconds(F &&run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The least disturbed run: the machine is shared, and its load only ever adds time.
double Fastest(const std::vector<double> &v) {
    return *std::min_element(v.begin(), v.end());
}

long StatusKib(int pid, const char *field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// A scrape of 65,535 connections against the gather itself.
TEST(ExporterFigures, ScrapeCost) {
    tools::test::TempDir dir;
    const std::string statePath = dir.File("state.json");
    {
        sim::State state = sim::DefaultState({"VOL1", "VOL2"}, "_ADMIN");
        sim::SeedPopulation(state, kConnections, 1, time(nullptr));
        std::string error;
        ASSERT_TRUE(sim::SaveState(state, statePath, &error)) << error;
    }
    tools::test::SimProcess server({"--state", statePath});
    ASSERT_TRUE(server.ready());
    ServeProcess serve(kPort);
    ASSERT_TRUE(serve.ready());

    // Interleaved, so that a change in the machine's load hits both alike, and each from a quiet
    // server (it is still releasing the last reply when the client has read it).
    std::vector<double> gathers, programs, scrapes;
    for (int i = 0; i < kRuns; ++i) {
        sharemon::Snapshot direct;
        std::this_thread::sleep_for(kSettle);
        gathers.push_back(Seconds([&] { direct = sharemon::Gather({}); }));
        ASSERT_TRUE(direct.up);
        ASSERT_EQ(direct.idleCount, kConnections);
        std::this_thread::sleep_for(kSettle);
        tools::test::RunResult r;
        programs.push_back(Seconds([&] { r = tools::test::RunTool({SHAREMON_BIN, "metrics"}); }));
        ASSERT_EQ(r.status, 0) << r.err;
        HttpAnswer a;
        std::this_thread::sleep_for(kSettle);
        scrapes.push_back(Seconds([&] { a = Get(kPort, "/metrics", std::chrono::seconds(60)); }));
        ASSERT_EQ(a.status, 200);
        ASSERT_EQ(FamilySum(a.body, "fileserver_connections"), kConnections);
    }
    const double gather = Fastest(gathers), program = Fastest(programs), scrape = Fastest(scrapes);
    std::printf("| exporter: gather in the test process, %u connections | %.0f ms |\n",
                kConnections, gather * 1e3);
    std::printf(
        "| exporter: the same calls by a program (sharemon metrics) | %.0f ms | %.2fx "
        "in-process |\n",
        program * 1e3, program / gather);
    std::printf(
        "| exporter: scrape over HTTP, %u connections | %.0f ms | %.2fx the program, "
        "%.2fx in-process |\n",
        kConnections, scrape * 1e3, scrape / program, scrape / gather);
    // Against a program of its own: the test binary's warm, never-trimmed heap makes the
    // in-process gather faster than any fresh or trimmed process (printed above).
    EXPECT_LE(scrape / program, kMaxRatio);
}

// Resident memory of the exporter: idle, and once quiet after one scrape and after 100.
TEST(ExporterFigures, MemoryOverScrapes) {
    tools::test::SimProcess server({"--clients", "10000"});
    ASSERT_TRUE(server.ready());
    ServeProcess serve(kPort);
    ASSERT_TRUE(serve.ready());
    const long idle = StatusKib(serve.pid(), "VmRSS:");
    ASSERT_EQ(Get(kPort, "/metrics").status, 200);
    std::this_thread::sleep_for(kQuiet);
    const long afterFirst = StatusKib(serve.pid(), "VmRSS:");
    for (int i = 1; i < kScrapes; ++i) ASSERT_EQ(Get(kPort, "/metrics").status, 200) << i;
    std::this_thread::sleep_for(kQuiet);
    const long afterAll = StatusKib(serve.pid(), "VmRSS:");
    const long peak = StatusKib(serve.pid(), "VmHWM:");
    std::printf(
        "| exporter: resident KiB, 10,000 connections: idle / peak / after 1 / after %d "
        "scrapes | %ld / %ld / %ld / %ld | %.2fx idle |\n",
        kScrapes, idle, peak, afterFirst, afterAll,
        static_cast<double>(afterAll) / static_cast<double>(idle));
    EXPECT_LE(afterFirst, idle + 2048);
    EXPECT_LE(afterAll, afterFirst + 1024);
}

}  // namespace
}  // namespace share::exporter::test
