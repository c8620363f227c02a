// SPDX-License-Identifier: Apache-2.0
// Open-file counts past 16 bits: a connection holding 65,536 files or more in a volume has
// every one of them listed, by both tools.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sharesim/state.h"
#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

TEST(OpenFilesCount, ListingsPastSixteenBitsListEveryFile) {
    for (const uint32_t count : {65535u, 65536u, 65537u}) {
        SCOPED_TRACE(count);
        TempDir dir;
        sim::State st = sim::DefaultState({"VOL1"}, "_ADMIN");
        sim::Connection c;
        c.id = 7;
        c.user = "alice";
        for (uint32_t i = 0; i < count; ++i) {
            sim::OpenFile f;
            f.id = st.nextFileId++;
            f.volume = "VOL1";
            f.path = "/f" + std::to_string(i);
            f.access = 1;
            c.files.push_back(std::move(f));
        }
        st.connections.push_back(std::move(c));
        std::string error;
        ASSERT_TRUE(sim::SaveState(st, dir.File("state.json"), &error)) << error;
        SimProcess sim({"--state", dir.File("state.json")});
        const RunResult mon = RunTool({SHAREMON_BIN, "--json", "files", "VOL1"}, 60000);
        ASSERT_EQ(mon.status, 0) << mon.err;
        EXPECT_EQ(nlohmann::json::parse(mon.out)["open_files"].size(), count);
        const RunResult adm =
            RunTool({SHAREADM_BIN, "--json", "files", "list", "--volume", "VOL1"}, 60000);
        ASSERT_EQ(adm.status, 0) << adm.err;
        EXPECT_EQ(nlohmann::json::parse(adm.out)["open_files"].size(), count);
    }
}

}  // namespace
}  // namespace share::tools::test
