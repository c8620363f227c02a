// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "shareadmin/command.h"
#include "tests/admin/command/command_test_util.h"

namespace share::test {
namespace {

using S = std::string;

class UserCommands : public CommandTest {};

const S kCacheUsage =
    "Failed to process invalid user cache request. Invalid command entered, check the usage";

auto UserName(const S &expected) {
    return [expected](const CmdContext &c) { EXPECT_EQ(S(c.params.userName), expected); };
}

TEST_F(UserCommands, InvalidUserNames) {
    const S addLong =
        "Failed to add invalid user details. User name must be only 256 characters long\n";
    const S removeLong =
        "Failed to remove invalid user details. User name must be only 256 characters long\n";
    // clang-format off
    RunCases(ProcessIUCCommandData, {
        {"add", {A(28), A(10), A(12, "EXAMPLE\\bob  ")}, 0, 22, "", "", {2},
         UserName("EXAMPLE\\bob")},
        {"remove", {A(28), A(11), A(12, "bob")}, 0, 23, "", "", {2}, UserName("bob")},
        {"make permanent", {A(28), A(82), A(12, "bob ")}, 0, 81, "", "", {2}, UserName("bob")},
        {"periods are a name", {A(28), A(10), A(12, "..")}, 0, 22, "", "", {2}, UserName("..")},
        {"name of 256", {A(28), A(10), A(12, S(256, 'u'))}, 0, 22, "", "", {2},
         UserName(S(256, 'u'))},
        {"add name of 257", {A(28), A(10), A(12, S(257, 'u'))}, -1, 22, addLong, "", {2}},
        {"remove name of 257", {A(28), A(11), A(12, S(257, 'u'))}, -1, 23, removeLong, "", {2}},
        {"make permanent name of 257", {A(28), A(82), A(12, S(257, 'u'))}, -1, 81, "",
         "Failed to add invalid user details. User name must be only 256 characters long", {2}},
        {"add with another option", {A(28), A(10), A(15, "x")}, -1, 22, kCacheUsage + "\n", "",
         {2}},
        {"add without a name entry", {A(28), A(10)}, -1, 22, kCacheUsage + "\n"},
        {"add without a name string", {A(28), A(10), A(12)}, -1, 22, kCacheUsage + "\n"},
        {"make permanent with another option", {A(28), A(82), A(15, "x")}, -1, 81, "",
         kCacheUsage, {2}},
        {"make permanent without a name string", {A(28), A(82), A(12)}, -1, 81, "", kCacheUsage},
        {"add with four entries", {A(28), A(10), A(12, "bob"), A(15, "x")}, -1, 0,
         kCacheUsage + "\n"},
        // Described as ending the process; refused like add instead.
        {"remove with four entries", {A(28), A(11), A(12, "bob"), A(15, "x")}, -1, 0,
         kCacheUsage + "\n"},
        {"make permanent with four entries", {A(28), A(82), A(12, "bob"), A(15, "x")}, -1, 0, "",
         "Failed to process make permanent invalid user request. Invalid command entered, check "
         "the usage"},
    });
    // clang-format on
}

TEST_F(UserCommands, InvalidUserCacheListAndTimeout) {
    const S timeout =
        "Failed to set invalid user timeout period. Timeout period (in minutes) should be a "
        "numeric value between 0 and 525600\n";
    const auto minutes = [](int32_t expected) {
        return [expected](const CmdContext &c) { EXPECT_EQ(+c.params.timeoutMinutes, expected); };
    };
    // clang-format off
    RunCases(ProcessIUCCommandData, {
        {"list", {A(28), A(7)}, 0, 24},
        // Described as ending the process; refused instead.
        {"list with entry 2", {A(28), A(7), A(12, "x")}, -1, 0, kCacheUsage + "\n"},
        {"timeout 0", {A(28), A(29, "0")}, 0, 21, "", "", {1}, minutes(0)},
        {"timeout 525600", {A(28), A(29, "525600")}, 0, 21, "", "", {1}, minutes(525600)},
        {"timeout 525601", {A(28), A(29, "525601")}, -1, 21, timeout, "", {1}},
        {"timeout -1", {A(28), A(29, "-1")}, -1, 21, timeout, "", {1}},
        {"timeout 10a", {A(28), A(29, "10a")}, -1, 21, timeout, "", {1}},
        {"timeout overflow", {A(28), A(29, "99999999999999999999")}, -1, 21, timeout, "", {1}},
        {"timeout without a string", {A(28), A(29)}, -1, 21, timeout},
        {"timeout with entry 2", {A(28), A(29, "5"), A(12, "x")}, -1, 0, kCacheUsage + "\n"},
        {"list invalid users with entry 2", {A(28), A(81, "rec"), A(12, "x")}, -1, 0, "",
         "Failed to process list invalid users request. Invalid command entered, check the usage"},
        {"list invalid users without a record", {A(28), A(81)}, -1, 0, "",
         "Failed to process list invalid users request. Invalid command entered, check the usage"},
        {"unlisted action", {A(28), A(33, "x")}, -1, 0, kCacheUsage + "\n"},
        {"no action", {A(28)}, -1, 0, kCacheUsage + "\n"},
    });
    // clang-format on
}

TEST_F(UserCommands, ListInvalidUsersMovesTheRecord) {
    const std::vector<char *> written = FillArgBlock({A(28), A(81, "record")});
    const Outcome o = Capture(ProcessIUCCommandData);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.ctx.functionId, 80);
    EXPECT_EQ(gbCifsArg[1].value, nullptr);
    void *moved;
    std::memcpy(&moved, o.ctx.params.raw, sizeof moved);
    EXPECT_EQ(moved, written[1]);
    std::free(written[1]);
}

TEST_F(UserCommands, UserContexts) {
    const S usage =
        "Failed to process contexts request. Invalid command entered, check the usage\n";
    const auto name = [](const S &expected) {
        return
            [expected](const CmdContext &c) { EXPECT_EQ(S(c.params.userContextName), expected); };
    };
    // clang-format off
    RunCases(ProcessContextsCommandData, {
        {"list", {A(83), A(7)}, 0, 82},
        {"list with entry 2", {A(83), A(7), A(12, "x")}, 0, 82},
        {"add", {A(83), A(10, "ctx.users.example  ")}, 0, 83, "", "", {1},
         name("ctx.users.example")},
        {"remove", {A(83), A(11, "ctx")}, 0, 84, "", "", {1}, name("ctx")},
        {"511 characters", {A(83), A(10, S(511, 'c'))}, 0, 83, "", "", {1}, name(S(511, 'c'))},
        {"512 characters", {A(83), A(10, S(512, 'c'))}, -1, 83,
         "Failed to add user context as name exceeds max characters long\n", "", {1}},
        {"periods", {A(83), A(11, "..")}, -1, 84,
         "Failed to remove user context as invalid user context is entered\n", "", {1}},
        {"periods and spaces", {A(83), A(10, ". ")}, -1, 83,
         "Failed to add user context as invalid user context is entered\n", "", {1}},
        {"no string", {A(83), A(10)}, -1, 83,
         "Failed to add user context as invalid user context is entered\n"},
        {"entry 3 used", {A(83), A(7), A(12), A(5)}, -1, 0, usage},
        {"unlisted action", {A(83), A(33, "x")}, -1, 0, usage},
    });
    // clang-format on
}

}  // namespace
}  // namespace share::test
