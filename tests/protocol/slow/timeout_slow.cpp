// SPDX-License-Identifier: Apache-2.0
// The real time limit: a server that never answers is given up on after 90 seconds, no sooner
// and not much later. Runs only when asked for (ctest -L slow).
#include <gtest/gtest.h>

#include <chrono>

#include "shareadmin/protocol.h"
#include "tests/protocol/protocol_test_util.h"
#include "tests/support/fake_server.h"

namespace share::test {
namespace {

class SlowExchangeTest : public ProtocolTest {};

TEST_F(SlowExchangeTest, SilentServerTimesOutAfterNinetySeconds) {
    FakeServer server([](const Request &) { return Reply::Silent(); });
    ReqOwner req(ReqPktInsertComponentID(0));
    RespPkt *out = nullptr;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendAndReceiveIPC(req.get(), &out), -1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(90));
    EXPECT_LT(elapsed, std::chrono::seconds(95));
    EXPECT_EQ(out, nullptr);
    ExpectLogged({CliError(
        "CIFS Server is too busy to respond within \"90\" secs, exiting due to timeout\n")});
}

}  // namespace
}  // namespace share::test
