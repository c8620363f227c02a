// SPDX-License-Identifier: Apache-2.0
// sharesim's state file: kept across restarts, never torn by a kill, refused when corrupt; and
// the server's own life: the name taken, SIGTERM, --private-network with a command.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "common/server_formats.h"
#include "output/reporter.h"
#include "shareadmin/api.h"
#include "sharesim/state.h"
#include "tests/support/records.h"
#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

TEST(Persistence, StateSurvivesARestart) {
    TempDir dir;
    const std::string state = dir.File("state.json");
    {
        SimProcess sim({"--clients", "4", "--state", state});
        ASSERT_TRUE(sim.ready()) << sim.Stderr();
        ASSERT_EQ(CreateShare("kept"), 0);
        ASSERT_EQ(CIFSLIB_AddUserContext("ou=kept,o=example"), 0);
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
    }
    const sim::State before = sim::LoadState(state).value();
    // A second start ignores --clients: the file is the state.
    SimProcess sim({"--clients", "50", "--state", state});
    ASSERT_TRUE(sim.ready()) << sim.Stderr();
    int32_t count = 0;
    ASSERT_EQ(CIFSLIB_GetConnectionsCount(&count), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(CreateShare("kept"), kNameTaken);
    EXPECT_EQ(CIFSLIB_AddUserContext("ou=kept,o=example"), kNameTaken);
    EXPECT_EQ(sim::ToJson(sim::LoadState(state).value()), sim::ToJson(before));
}

TEST(Persistence, AKillDuringABurstLeavesEveryAcknowledgedChange) {
    TempDir dir;
    const std::string state = dir.File("state.json");
    SimProcess sim({"--state", state});
    ASSERT_TRUE(sim.ready()) << sim.Stderr();
    std::atomic<int> acknowledged{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    std::vector<std::vector<std::string>> done(4);
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; !stop && i < 10000; ++i) {
                const std::string name = "s" + std::to_string(t) + "_" + std::to_string(i);
                if (CreateShare(name) != 0) break;  // the server is gone
                done[t].push_back(name);
                ++acknowledged;
            }
        });
    while (acknowledged < 60) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sim.Stop(SIGKILL);
    stop = true;
    for (auto &w : writers) w.join();

    std::optional<sim::State> after;
    ASSERT_NO_THROW(after = sim::LoadState(state)) << "the state file must never be torn";
    ASSERT_TRUE(after);
    for (const auto &names : done)
        for (const auto &n : names)
            EXPECT_TRUE(after->FindShare(n)) << n << " was acknowledged but is lost";
    // The server starts again on what was left, and cleans up after its dead predecessor.
    SimProcess again({"--state", state});
    ASSERT_TRUE(again.ready()) << again.Stderr();
    for (const auto &e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename(), "state.json") << "left over: " << e.path();
}

TEST(Persistence, ACorruptStateIsRefusedAndKept) {
    TempDir dir;
    const std::string state = dir.File("state.json");
    {
        SimProcess sim({"--clients", "2", "--state", state});
        ASSERT_TRUE(sim.ready());
    }
    std::string text = ReadFile(state);
    text.resize(text.size() / 2);
    WriteFile(state, text);
    SimProcess sim({"--state", state});
    EXPECT_FALSE(sim.ready());
    EXPECT_EQ(sim.Stop(), 1);
    EXPECT_NE(sim.Stderr().find("corrupt"), std::string::npos) << sim.Stderr();
    EXPECT_EQ(ReadFile(state), text) << "a corrupt state is never silently replaced";
    EXPECT_FALSE(ServerReachable());
}

TEST(Persistence, AChangeThatCannotBeSavedIsNotMade) {
    TempDir dir;
    const std::string state = dir.File("state.json");
    SimProcess sim({"--state", state});
    ASSERT_TRUE(sim.ready());
    // A directory where the server's temporary file would go: the save fails, even for root.
    std::filesystem::create_directory(state + ".tmp." + std::to_string(sim.pid()));
    EXPECT_EQ(CreateShare("docs"), kStateNotSaved);
    EXPECT_EQ(CIFSLIB_RemoveShare(share::test::NewShare("docs").Get()), kNoSuchShare)
        << "the refused change must not be served either";
    EXPECT_FALSE(sim::LoadState(state)->FindShare("docs"));
}

TEST(ServerLife, TheNameIsNeverShadowed) {
    TempDir dir;
    SimProcess first;
    ASSERT_TRUE(first.ready());
    const RunResult second = RunTool({SHARESIM_BIN, "--state", dir.File("untouched.json")});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("already taken"), std::string::npos) << second.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("untouched.json")));
    EXPECT_EQ(first.Stop(SIGTERM), 0);
}

TEST(ServerLife, PrivateNetworkRunsTheCommandAndPassesItsStatusOn) {
    RunResult r = RunTool({SHARESIM_BIN, "--private-network", "--clients", "3", "--", SHAREADM_BIN,
                           "--json", "connections", "count"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"count\": 3"), std::string::npos) << r.out;
    EXPECT_EQ(RunTool({SHARESIM_BIN, "--private-network", "--", "/bin/sh", "-c", "exit 7"}).status,
              7);
    // Its loopback is up, so the command can serve on 127.0.0.1 (IFF_UP is bit 0 of the flags).
    EXPECT_EQ(RunTool({SHARESIM_BIN, "--private-network", "--", "/bin/sh", "-c",
                       "exit $(( ! ($(cat /sys/class/net/lo/flags) & 1) ))"})
                  .status,
              0);
    // The namespace was private: nothing is left serving here.
    EXPECT_FALSE(ServerReachable());
    EXPECT_EQ(RunTool({SHARESIM_BIN, "--volume", "bad/name"}).status, 1);
}

}  // namespace
}  // namespace share::tools::test
