// SPDX-License-Identifier: Apache-2.0
// Option commands whose normalised copy cannot be allocated: rejected like a bad word, with the
// values they read released (leaks show under the sanitizer build).
#include <set>

#include "tests/admin/command/server_option_testing.h"
#include "tests/support/alloc_fault.h"

namespace share::test {
namespace {

using OptionAllocTest = CommandTest;

TEST_F(OptionAllocTest, EveryFailedAllocationRejectsAndReleases) {
    struct Case {
        std::vector<OptionArg> args;
        std::set<int> releasedOnFailure;  // on success every entry is released
    };
    const Case cases[] = {
        {{{20, "yes"}}, {0}},
        {{{14, "debug"}}, {0}},
        {{{48, "win-mac"}}, {0}},
        {{{72, "none"}}, {0}},
        {{{38, "server"}, {38, "yes"}}, {0, 1}},
        {{{41, "user"}, {42, "3"}}, {0, 1}},
        {{{69, "user"}}, {0}},
        {{{70, nullptr}, {71, "no"}}, {1}},
        {{{86, "10"}}, {0}},
        // Without its copy the command never gets to the path, which stays the caller's.
        {{{86, "CLEAR"}, {34, "VOL1:/dir/junction"}}, {0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("command " + std::to_string(c.args[0].id));
        long failures = 0;
        for (long i = 0;; ++i) {
            const std::vector<char *> written = FillOptionArgs(c.args);
            CmdContext ctx;
            std::memset(&ctx, 0, sizeof ctx);
            int rc;
            bool hit;
            {
                StdoutCapture quiet;
                AllocFaultScope scope(i);
                rc = command::ProcessServerOptionCommand(&ctx);
                scope.Disarm();
                hit = scope.Triggered();
            }
            if (!hit) {
                EXPECT_EQ(rc, 0);
                for (size_t e = 0; e < c.args.size(); ++e) EXPECT_EQ(gbCifsArg[e].value, nullptr);
                break;
            }
            EXPECT_EQ(rc, -1);
            ExpectReleased(written, c.releasedOnFailure);
            ++failures;
        }
        EXPECT_GE(failures, 1);
    }
}

}  // namespace
}  // namespace share::test
