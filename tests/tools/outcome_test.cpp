// SPDX-License-Identifier: Apache-2.0
// What the tools make of a library call's failure: what the library reported, never a second
// look at the server afterwards. A server that takes a request and closes without answering,
// while its endpoint still accepts connections, is the window in which a second look lies.
#include "client/outcome.h"

#include <gtest/gtest.h>

#include <mutex>
#include <nlohmann/json.hpp>

#include "sharesim/handlers.h"
#include "tests/support/fake_server.h"
#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

// Answers with sharesim's handlers until `answered` requests of function `fn` were answered;
// from then on it reads every request of that function and closes without a word.
class DyingServer {
  public:
    DyingServer(uint8_t fn, int answered)
        : fn_(fn),
          left_(answered),
          server_([this](const share::test::Request &r) { return Answer(r); }) {}

  private:
    share::test::Reply Answer(const share::test::Request &r) {
        std::lock_guard lock(mutex_);
        if (r.function == fn_ && left_-- <= 0) {
            share::test::Reply cut = share::test::Reply::Status(0);
            cut.sendLimit = 0;
            return cut;
        }
        const auto request = sim::ParseRequest(r.raw, nullptr);
        sim::Context ctx{state_, 1700000000, stats_};
        return share::test::Reply::Raw(request ? sim::Handle(ctx, *request).Encode()
                                               : sim::Response(-1).Encode());
    }

    std::mutex mutex_;
    sim::State state_ = sim::DefaultState({"VOL1"}, "_ADMIN");
    sim::ServerStats stats_;
    uint8_t fn_;
    int left_;
    share::test::FakeServer server_;
};

TEST(Outcome, AServerGoneMidExchangeIsUnreachableAndApplyListsWhatWasApplied) {
    TempDir dir;
    nlohmann::json doc{{"schema_version", 1}, {"shares", nlohmann::json::array()}};
    for (const char *name : {"a1", "a2", "a3", "a4"})
        doc["shares"].push_back({{"name", name}, {"volume", "VOL1"}, {"path", "/"}});
    WriteFile(dir.File("doc.json"), doc.dump());
    struct Case {
        const char *what;
        std::vector<std::string> argv;
        uint8_t fn;
        int answered;  // requests of fn answered before the server goes
    };
    const std::vector<Case> cases = {
        {"config apply",
         {SHAREADM_BIN, "config", "apply", dir.File("doc.json")},
         CIFS_FN_SHARE_ADD,
         2},
        {"config apply --json",
         {SHAREADM_BIN, "--json", "config", "apply", dir.File("doc.json")},
         CIFS_FN_SHARE_ADD,
         2},
        {"share add", {SHAREADM_BIN, "share", "add", "b1", "VOL1:/"}, CIFS_FN_SHARE_ADD, 0},
        {"share list", {SHAREADM_BIN, "share", "list"}, CIFS_FN_SHARE_NAMES, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        DyingServer server(c.fn, c.answered);
        const RunResult r = RunTool(c.argv);
        EXPECT_EQ(r.status, 3) << r.err;
        if (c.argv[1] == "--json") {
            const auto out = nlohmann::json::parse(r.out);
            EXPECT_EQ(out["error"], "unreachable");
            EXPECT_EQ(out["changes"].size(), 2u) << r.out;
            EXPECT_EQ(out["failed"].size() + out["not_applied"].size(), 2u) << r.out;
        } else {
            EXPECT_NE(r.err.find("no file server answers on @/tmp/cifs.str"), std::string::npos)
                << r.err;
        }
        if (c.argv[1] == "config") {
            EXPECT_NE(r.err.find("2 changes applied; not applied:"), std::string::npos) << r.err;
        }
    }
}

// A failed call is told apart by the errno the library's exchange left behind.
TEST(Outcome, TheLibrarysErrnoNamesTheFailure) {
    using client::Result;
    struct Case {
        int result, error;
        bool validated;
        Result expected;
    };
    const Case cases[] = {
        {0, EACCES, false, Result::kDone},
        {6, 0, false, Result::kRefused},
        {-1, EACCES, false, Result::kUnexpectedServer},
        {-1, EACCES, true, Result::kUnexpectedServer},
        {-1, ETIMEDOUT, false, Result::kTimedOut},
        {-1, ECONNREFUSED, false, Result::kUnreachable},
        {-1, EPIPE, false, Result::kUnreachable},
        {-1, EINVAL, false, Result::kRejected},
        {-1, 0, true, Result::kUnreachable},
    };
    for (const Case &c : cases)
        EXPECT_EQ(client::Classify(c.result, "", c.error, c.validated).result, c.expected)
            << c.result << " errno " << c.error;
}

}  // namespace
}  // namespace share::tools::test
