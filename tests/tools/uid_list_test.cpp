// SPDX-License-Identifier: Apache-2.0
// The tools read SHAREADMIN_SERVER_UIDS exactly as the libraries do: a list the libraries
// refuse is refused before anything is sent, not passed on to fail later.
#include <gtest/gtest.h>

#include "client/server_trust.h"
#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

struct UidList {
    const char *list;
    bool wellFormed;
};

const UidList kLists[] = {
    {"0", true},
    {"0,1000", true},
    {"4294967294", true},
    {"007", true},
    {"4294967295", false},  // the kernel's "no uid"
    {"99999999999999999999", false},
    {"-0", false},
    {"+1", false},
    {" 1", false},
    {"1 ", false},
    {"1,,2", false},
    {",1", false},
    {"1,", false},
    {"0x1", false},
};

TEST(UidList, ReadAsTheLibrariesReadIt) {
    for (const auto &c : kLists)
        EXPECT_EQ(client::ParseUids(c.list).has_value(), c.wellFormed) << c.list;
}

TEST(UidList, AMalformedListIsRefusedBeforeAnythingIsSent) {
    SimProcess sim;
    for (const auto &c : kLists) {
        const std::string env = std::string("SHAREADMIN_SERVER_UIDS=") + c.list;
        for (const auto &command : {std::vector<std::string>{SHAREADM_BIN, "share", "names"},
                                    std::vector<std::string>{SHAREMON_BIN, "volumes"}}) {
            std::vector<std::string> argv{"/usr/bin/env", env};
            argv.insert(argv.end(), command.begin(), command.end());
            const RunResult r = RunTool(argv);
            const std::string &tool = command[0];
            const bool refused =
                r.err.find("is not a comma-separated list of numeric uids") != std::string::npos;
            EXPECT_EQ(refused, !c.wellFormed) << tool << " " << c.list << ": " << r.err;
            if (!c.wellFormed) {
                EXPECT_EQ(r.status, 1) << tool << " " << c.list;
            }
        }
    }
}

}  // namespace
}  // namespace share::tools::test
