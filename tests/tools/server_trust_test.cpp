// SPDX-License-Identifier: Apache-2.0
// Who talks to whom: the tools accept a server run by root or by the invoking user unless told
// otherwise, and sharesim --allow-uid/--allow-gid refuses other callers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"};

// sharesim run by uid 65534: a process squatting on the endpoint.
class SquattingSim {
  public:
    SquattingSim() {
        pid_ = fork();
        if (pid_ == 0) {
            execl(kAsNobody[0].c_str(), "setpriv", kAsNobody[1].c_str(), kAsNobody[2].c_str(),
                  kAsNobody[3].c_str(), SHARESIM_BIN, "--clients", "3", nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100 && !share::test::ServerAnswers(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~SquattingSim() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    SquattingSim(const SquattingSim &) = delete;
    SquattingSim &operator=(const SquattingSim &) = delete;

  private:
    pid_t pid_ = -1;
};

struct TrustCase {
    bool squatter;                     // sharesim runs as 65534 instead of root
    std::vector<std::string> simArgs;  // for a root sharesim
    std::vector<std::string> prefix;   // before the tool: env settings, setpriv
    std::vector<std::string> args;     // tool and arguments
    int status;
    const char *stderrHas;  // null: nothing to check
};

std::vector<std::string> Env(const std::string &value) {
    return {"/usr/bin/env", "SHAREADMIN_SERVER_UIDS=" + value};
}

TEST(ServerTrust, ToolsCheckWhoHoldsTheEndpoint) {
    const std::string adm = SHAREADM_BIN, mon = SHAREMON_BIN;
    const char *held = "held by an unexpected process: uid 65534";
    const std::vector<TrustCase> cases = {
        {false, {}, {}, {adm, "share", "list"}, 0, nullptr},
        {true, {}, {}, {adm, "share", "list"}, 3, held},
        {true, {}, {}, {mon, "connections"}, 3, held},
        {true, {}, {}, {adm, "--json", "share", "list"}, 3, held},
        {true, {}, {}, {adm, "--server-uid", "65534", "share", "list"}, 0, nullptr},
        {true,
         {},
         {},
         {adm, "--server-uid", "0", "--server-uid", "65534", "share", "list"},
         0,
         nullptr},
        {true, {}, {}, {mon, "--any-server", "connections"}, 0, nullptr},
        {true, {}, Env("65534"), {mon, "connections"}, 0, nullptr},
        {true, {}, Env("0"), {adm, "--server-uid", "65534", "share", "list"}, 0, nullptr},
        {true, {}, Env("0"), {mon, "connections"}, 3, held},
        {false, {}, {}, {adm, "--server-uid", "abc", "share", "list"}, 1, "--server-uid"},
        {false, {}, {}, {adm, "--server-uid", "-1", "share", "list"}, 1, "--server-uid"},
        {false, {}, Env("x,1"), {mon, "connections"}, 1, "not a comma-separated list"},
        {false, {}, Env("0,"), {adm, "share", "list"}, 1, "not a comma-separated list"},
        // The stand-in server's own allow lists.
        {false, {"--allow-uid", "0"}, kAsNobody, {adm, "share", "list"}, 2, "access-denied"},
        {false, {"--allow-uid", "0"}, kAsNobody, {mon, "connections"}, 2, "access-denied"},
        {false, {"--allow-uid", "0"}, {}, {adm, "share", "list"}, 0, nullptr},
        {false, {"--allow-uid", "65534"}, {}, {adm, "share", "list"}, 2, "access-denied"},
        {false, {"--allow-gid", "65534"}, kAsNobody, {adm, "share", "list"}, 0, nullptr},
    };
    for (const TrustCase &c : cases) {
        std::unique_ptr<SquattingSim> squatter;
        std::unique_ptr<SimProcess> sim;
        if (c.squatter) {
            squatter = std::make_unique<SquattingSim>();
        } else {
            sim = std::make_unique<SimProcess>(c.simArgs);
            ASSERT_TRUE(sim->ready()) << sim->Stderr();
        }
        std::vector<std::string> argv = c.prefix;
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult r = RunTool(argv);
        std::string line;
        for (const auto &a : argv) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.out << r.err;
        if (c.stderrHas != nullptr) {
            EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << line << "\n" << r.err;
        }
    }
}

}  // namespace
}  // namespace share::tools::test
