// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "shareadmin/command.h"
#include "tests/admin/command/command_test_util.h"
#include "tests/support/alloc_fault.h"

namespace share::test {
namespace {

using S = std::string;

class ConnectionCommands : public CommandTest {};

auto ConnectionId(uint16_t expected) {
    return [expected](const CmdContext &c) { EXPECT_EQ(+c.params.connectionId, expected); };
}

char *PathRef(const CmdContext &c) {
    char *p;
    std::memcpy(&p, c.params.raw, sizeof p);
    return p;
}

// The parser's copy of a path belongs to the context: check it, then release it.
auto PathCopy(const char *expected) {
    return [expected](const CmdContext &c) {
        char *p = PathRef(c);
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p, expected);
        std::free(p);
    };
}

TEST_F(ConnectionCommands, Connections) {
    const S usage =
        "Failed to process connections monitoring request. Invalid command entered, check the "
        "usage\n";
    const S numeric =
        "Failed to process connections related command. Connection ID should be a numeric value\n";
    const S range =
        "Failed to process connections related command. Connection ID should be a numeric value "
        "between 0 to 65535\n";
    // clang-format off
    RunCases(ProcessConnectionsCommandData, {
        {"count", {A(30)}, 0, 25},
        {"count ignores entry 2", {A(30), A(0), A(7, "x")}, 0, 25},
        {"list", {A(30), A(7)}, 0, 26},
        {"list variant 8", {A(30), A(7), A(8, "v")}, 0, 27},
        {"list variant 9", {A(30), A(7), A(9)}, 0, 28},
        {"list variant 10", {A(30), A(7), A(10)}, -1, 0, usage},
        {"entry 3 used", {A(30), A(7), A(8), A(9)}, -1, 0, usage},
        {"count ignores a stale entry 3", {A(30), A(0), A(0), A(9)}, 0, 25},
        {"list ignores a stale entry 3", {A(30), A(7), A(0), A(9)}, 0, 26},
        {"details ignore a stale entry 3", {A(30), A(31, "4"), A(0), A(9)}, 0, 29, "", "", {1},
         ConnectionId(4)},
        {"unlisted action", {A(30), A(33, "5")}, -1, 0, usage},
        {"details", {A(30), A(31, "65535")}, 0, 29, "", "", {1}, ConnectionId(65535)},
        {"mapped shares", {A(30), A(1, "0")}, 0, 78, "", "", {1}, ConnectionId(0)},
        {"leading blank and sign", {A(30), A(31, " +12")}, 0, 29, "", "", {1}, ConnectionId(12)},
        {"empty text is 0", {A(30), A(31, "")}, 0, 29, "", "", {1}, ConnectionId(0)},
        {"65536", {A(30), A(31, "65536")}, -1, 29, range, "", {1}},
        {"-1", {A(30), A(1, "-1")}, -1, 78, range, "", {1}},
        {"overflow", {A(30), A(31, "99999999999999999999")}, -1, 29, range, "", {1}},
        {"digits then a letter", {A(30), A(31, "12a")}, -1, 29, numeric, "", {1}},
        {"trailing space", {A(30), A(31, "12 ")}, -1, 29, numeric, "", {1}},
        {"blank", {A(30), A(31, " ")}, -1, 29, numeric, "", {1}},
        {"no value string", {A(30), A(31)}, -1, 29, numeric},
    });
    // clang-format on
}

TEST_F(ConnectionCommands, FilesList) {
    const S usage = "Failed to process files request. Invalid command entered, check the usage\n";
    // clang-format off
    RunCases(ProcessFilesCommandData, {
        {"by path", {A(32), A(7), A(34, "vol1:/a b.txt")}, 0, 30, "", "", {2},
         PathCopy("vol1:/a b.txt")},
        {"by connection", {A(32), A(7), A(31, "7")}, 0, 31, "", "", {2}, ConnectionId(7)},
        {"by volume", {A(32), A(7), A(35, "vol1")}, 0, 32, "", "", {2}, PathCopy("vol1")},
        {"modified by path", {A(32), A(7), A(60), A(34, "p")}, 0, 33, "", "", {3}, PathCopy("p")},
        {"modified by connection", {A(32), A(7), A(60, "m"), A(31, "8")}, 0, 34, "", "", {3},
         ConnectionId(8)},
        {"modified by volume", {A(32), A(7), A(60), A(35, "v")}, 0, 35, "", "", {3},
         PathCopy("v")},
        {"modified without selector", {A(32), A(7), A(60)}, -1, 0, usage},
        {"unlisted selector value is freed", {A(32), A(7), A(17, "c")}, -1, 0, usage, "", {2}},
        {"connection ID range", {A(32), A(7), A(31, "70000")}, -1, 31,
         "Failed to process files command. Connection ID should be a numeric value between 0 to "
         "65535\n",
         "", {2}},
        {"connection ID text", {A(32), A(7), A(60), A(31, "x")}, -1, 34,
         "Failed to process files command. Connection ID should be a numeric value\n", "", {3}},
        {"path without value string", {A(32), A(7), A(34)}, -1, 0, usage},
        {"record without value string", {A(32), A(7), A(60), A(80)}, -1, 0, usage},
        {"unlisted action", {A(32), A(10), A(34, "p")}, -1, 0, usage},
        {"five used entries", {A(32), A(7), A(60), A(34, "p"), A(1, "x")}, -1, 0, usage},
    });
    // clang-format on
}

TEST_F(ConnectionCommands, FilesListByRecordMovesThePointer) {
    for (int index : {2, 3}) {
        std::vector<Arg> args = {A(32), A(7)};
        if (index == 3) args.push_back(A(60));
        args.push_back(A(80, "record bytes"));
        const std::vector<char *> written = FillArgBlock(args);
        const Outcome o = Capture(ProcessFilesCommandData);
        EXPECT_EQ(o.rc, 0);
        EXPECT_EQ(o.ctx.functionId, 79);
        EXPECT_EQ(gbCifsArg[index].value, nullptr);
        EXPECT_EQ(PathRef(o.ctx), written[index]);  // the same record, not a copy
        std::free(written[index]);
    }
}

TEST_F(ConnectionCommands, FilesClose) {
    const S usage = "Failed to process files request. Invalid command entered, check the usage\n";
    // clang-format off
    RunCases(ProcessFilesCommandData, {
        {"by path", {A(32), A(33), A(34, "vol1:/f")}, 0, 36, "", "", {2}, PathCopy("vol1:/f")},
        {"by connection", {A(32), A(33), A(31, "3")}, 0, 37, "", "", {2}, ConnectionId(3)},
        {"by volume", {A(32), A(33), A(35, "vol2")}, 0, 38, "", "", {2}, PathCopy("vol2")},
        {"option 60 is not a selector here", {A(32), A(33), A(60, "m"), A(34, "p")}, -1, 0, usage,
         "", {2}},
        {"a record is not a selector here", {A(32), A(33), A(80, "r")}, -1, 0, usage, "", {2}},
    });
    // clang-format on
}

// The management API ends a close at entry 3; what an earlier command left in entry 4 is stale.
TEST_F(ConnectionCommands, FilesIgnoreAStaleEntryAfterTheEnd) {
    FillArgBlock({A(32), A(33), A(34, "vol1:/f"), A(0), A(12, "stale")});
    const Outcome o = Capture(ProcessFilesCommandData);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.ctx.functionId, 36);
    EXPECT_STREQ(gbCifsArg[4].value, "stale");
    std::free(PathRef(o.ctx));
}

TEST_F(ConnectionCommands, FilesPathCopyWithoutMemory) {
    FillArgBlock({A(32), A(7), A(34, "vol1:/f")});
    bool triggered = false;
    const Outcome o = Capture([&triggered](CmdContext *ctx) {
        AllocFaultScope fault(0);  // armed inside: the capture's own allocations do not count
        const int rc = ProcessFilesCommandData(ctx);
        fault.Disarm();
        triggered = fault.Triggered();
        return rc;
    });
    EXPECT_TRUE(triggered);
    EXPECT_EQ(o.rc, -1);
    EXPECT_EQ(o.out,
              "Failed to allocate memory to get the list of users who opened the file: vol1:/f\n");
    EXPECT_EQ(gbCifsArg[2].value, nullptr);
    EXPECT_EQ(PathRef(o.ctx), nullptr);
}

TEST_F(ConnectionCommands, ClearConnections) {
    const S missing =
        "Failed to process clear connection request. Required parameters are missing for the "
        "request.\n";
    const S idleText =
        "Failed to process clear connections related command. Idle time should be a numeric "
        "value.\n";
    const S idleRange =
        "Failed to process clear connections related command. Idle time should be a numeric "
        "value between 15 to 65535.\n";
    const S countRange =
        "Failed to process clear connections related command. Connection count should be a "
        "numeric value between 1 to 65535.\n";
    const S countWord =
        "Failed to process clear connections related command. Invalid value supplied for "
        "--conn-count option.\n";
    const S typeWord =
        "Failed to process clear connections related command. Invalid value supplied for --ctype "
        "option.\n";
    const auto params = [](uint8_t type, int32_t idle, int32_t count) {
        return [=](const CmdContext &c) {
            EXPECT_EQ(+c.params.clearConn.connType, type);
            EXPECT_EQ(+c.params.clearConn.idleTime, idle);
            EXPECT_EQ(+c.params.clearConn.connCount, count);
        };
    };
    // clang-format off
    RunCases(ProcessClearConnectionInputParameters, {
        {"all, 15, all", {A(62), A(63, "all  "), A(64, "15"), A(65, "all")}, 0, 63, "", "",
         {1, 2, 3}, params(0, 15, 65535)},
        {"null, 65535, 1", {A(62), A(65, "1"), A(63, "Null"), A(64, "65535")}, 0, 63, "", "",
         {1, 2, 3}, params(1, 65535, 1)},
        {"count 65535", {A(62), A(63, "ALL"), A(64, "20"), A(65, "65535")}, 0, 63, "", "",
         {1, 2, 3}, params(0, 20, 65535)},
        {"idle 14", {A(62), A(63, "all"), A(64, "14"), A(65, "1")}, -1, 63, idleRange, "", {1, 2}},
        {"idle 65536", {A(62), A(64, "65536")}, -1, 63, idleRange, "", {1}},
        {"idle overflow", {A(62), A(64, "99999999999999999999")}, -1, 63, idleRange, "", {1}},
        {"idle text", {A(62), A(64, "20m")}, -1, 63, idleText, "", {1}},
        {"idle empty", {A(62), A(64, "")}, -1, 63, idleRange, "", {1}},
        {"count 0", {A(62), A(65, "0")}, -1, 63, countRange, "", {1}},
        {"count 65536", {A(62), A(65, "65536")}, -1, 63, countRange, "", {1}},
        {"count word", {A(62), A(65, "many")}, -1, 63, countWord, "", {1}},
        {"count with a leading blank", {A(62), A(65, " all")}, -1, 63, countWord, "", {1}},
        {"count digits then text", {A(62), A(65, "5x")}, -1, 63, countWord, "", {1}},
        {"type word", {A(62), A(63, "some")}, -1, 63, typeWord, "", {1}},
        {"type with a leading blank", {A(62), A(63, " all")}, -1, 63, typeWord, "", {1}},
        {"no type string", {A(62), A(63)}, -1, 63, typeWord},
        {"no idle string", {A(62), A(64)}, -1, 63, idleText},
        {"no count string", {A(62), A(65)}, -1, 63, countWord},
        {"two of three", {A(62), A(63, "all"), A(64, "15")}, -1, 63, missing, "", {1, 2}},
        {"one twice, one missing", {A(62), A(63, "all"), A(63, "null"), A(64, "15")}, -1, 63,
         missing, "", {1, 2, 3},
         [](const CmdContext &c) { EXPECT_EQ(+c.params.clearConn.connType, 1); }},
        {"nothing", {A(62)}, -1, 63, missing},
        {"entry 4 used", {A(62), A(63, "all"), A(64, "15"), A(65, "1"), A(65, "2")}, -1, 0,
         "Failed to process clear connections request. Invalid option entered.\n"},
        {"unlisted option", {A(62), A(63, "all"), A(12, "x"), A(65, "1")}, -1, 63,
         "Failed to parse clear connection request. Invalid option entered.\n", "", {1}},
    });
    // clang-format on
}

}  // namespace
}  // namespace share::test
