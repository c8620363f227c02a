// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "shareadmin/command.h"
#include "tests/admin/command/command_test_util.h"

namespace share::test {
namespace {

using S = std::string;

S Chars(size_t n, char c = 'n') {
    return S(n, c);
}

class ShareCommand : public CommandTest {};

auto Name(const char *expected) {
    return [expected](const CmdContext &c) { EXPECT_STREQ(c.params.share.shareName, expected); };
}

TEST_F(ShareCommand, List) {
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"all shares", {A(1), A(7)}, 0, 0},
        {"all shares, later entries ignored", {A(1, "x"), A(7), A(13, "12"), A(99, "z")}, 0, 0},
        {"one share, trailing spaces go", {A(1), A(7), A(12, "docs  ")}, 0, 1, "", "", {2},
         Name("docs")},
        {"one share, long name cut at 80", {A(1), A(7), A(12, Chars(100))}, 0, 1, "", "", {2},
         [](const CmdContext &c) { EXPECT_EQ(S(c.params.share.shareName), Chars(80)); }},
        {"periods only", {A(1), A(7), A(12, "...")}, -1, 1,
         "Failed to list share details. Invalid share name entered\n", "", {2}},
        {"periods then a space", {A(1), A(7), A(12, ".. ")}, -1, 1,
         "Failed to list share details. Invalid share name entered\n", "", {2}},
        {"no name string", {A(1), A(7), A(12)}, -1, 1,
         "Failed to list share details. Invalid share name entered\n"},
    });
    // clang-format on
}

TEST_F(ShareCommand, AddFillsEveryField) {
    const auto check = [](const CmdContext &c) {
        const ShareParams &p = c.params.share;
        EXPECT_STREQ(p.shareName, "docs");
        EXPECT_STREQ(p.sharePath, "vol1:/docs ");  // no space removal for paths
        EXPECT_STREQ(p.comment, "Team docs");
        EXPECT_STREQ(c.serverDn, "CN=srv,O=example");
        EXPECT_EQ(+p.encryptData, 1);
        EXPECT_EQ(+p.folderRedirection, 0);
        EXPECT_EQ(+p.volumeType, 0);  // only the folder-redirection action writes it
        EXPECT_EQ(+p.atmBackup, 1);
        EXPECT_EQ(+p.numericOption, 42);
        EXPECT_EQ(+p.modifyMask, 0u);
    };
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"add", {A(1), A(10), A(12, "docs"), A(34, "vol1:/docs "), A(17, "Team docs"),
                 A(49, "YES"), A(54, "No"), A(68, "yes"), A(15, "CN=srv,O=example"), A(13, "42")},
         0, 2, "", "", {2, 3, 4, 5, 6, 7, 8}, check},
        {"add without options", {A(1), A(10)}, 0, 2},
    });
    // clang-format on
}

TEST_F(ShareCommand, AddAndModifyLimits) {
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"name of 80", {A(1), A(10), A(12, Chars(80))}, 0, 2, "", "", {2}},
        {"name of 81", {A(1), A(10), A(12, Chars(81))}, -1, 2,
         "Failed to add share as name exceeds 80 characters long\n", "", {2}},
        {"name of 81 in modify", {A(1), A(78), A(12, Chars(81))}, -1, 77,
         "Failed to modify/update share as name exceeds 80 characters long\n", "", {2}},
        {"name limit counts trailing spaces", {A(1), A(10), A(12, Chars(79) + "  ")}, -1, 2,
         "Failed to add share as name exceeds 80 characters long\n", "", {2}},
        {"new name of 80", {A(1), A(78), A(79, Chars(80))}, 0, 77, "", "", {2}},
        {"new name of 81", {A(1), A(78), A(79, Chars(81))}, -1, 77,
         "Failed to modify/update share as new name exceeds 80 characters long\n", "", {2}},
        {"comment of 47", {A(1), A(10), A(17, Chars(47))}, 0, 2, "", "", {2}},
        {"comment of 48", {A(1), A(10), A(17, Chars(48))}, -1, 2,
         "Failed to add share as comment exceed 47 characters\n", "", {2}},
        {"path of 511", {A(1), A(10), A(34, Chars(511))}, 0, 2, "", "", {2}},
        {"path of 512", {A(1), A(10), A(34, Chars(512))}, -1, 2,
         "Failed to add share as path name exceeds 511 characters\n", "", {2}},
        {"server DN cut at 255", {A(1), A(10), A(15, Chars(300, 'd'))}, 0, 2, "", "", {2},
         [](const CmdContext &c) { EXPECT_EQ(S(c.serverDn), Chars(255, 'd')); }},
    });
    // clang-format on
}

TEST_F(ShareCommand, AddNameRules) {
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"three periods", {A(1), A(10), A(12, "...")}, -1, 2,
         "Failed to add share as invalid share name entered\n", "", {2}},
        {"periods and a space", {A(1), A(10), A(12, ".. ")}, -1, 2,
         "Failed to add share as invalid share name entered\n", "", {2}},
        {"letter and periods", {A(1), A(10), A(12, "a..")}, 0, 2, "", "", {2}, Name("a..")},
        {"empty name passes", {A(1), A(10), A(12, "")}, 0, 2, "", "", {2}, Name("")},
        {"new name of periods", {A(1), A(78), A(79, ".")}, -1, 77,
         "Failed to modify/update share as invalid new share name entered\n", "", {2}},
        {"comment of periods", {A(1), A(10), A(17, "..  ")}, -1, 2,
         "Failed to add share as invalid share comment entered\n", "", {2}},
        {"path of periods is a path", {A(1), A(10), A(34, "..")}, 0, 2, "", "", {2}},
        {"later name replaces the earlier one whole",
         {A(1), A(10), A(12, "a-rather-long-name"), A(12, "ab")}, 0, 2, "", "", {2, 3},
         [](const CmdContext &c) {
             EXPECT_STREQ(c.params.share.shareName, "ab");
             for (size_t i = 2; i < sizeof c.params.share.shareName; ++i)
                 EXPECT_EQ(c.params.share.shareName[i], 0);
         }},
    });
    // clang-format on
}

TEST_F(ShareCommand, AddYesNoOptionsCompareAsSupplied) {
    const S encrypt = "Failed to add share as invalid encrypt-data option provided: ";
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"YES", {A(1), A(10), A(49, "YES")}, 0, 2, "", "", {2}},
        {"No", {A(1), A(10), A(49, "No")}, 0, 2, "", "", {2}},
        {"yes and a space", {A(1), A(10), A(49, "yes ")}, -1, 2, "", encrypt + "\"yes \"", {2}},
        {"y", {A(1), A(10), A(49, "y")}, -1, 2, "", encrypt + "\"y\"", {2}},
        {"folder redirection", {A(1), A(78), A(54, "on")}, -1, 77, "",
         "Failed to modify/update share as invalid folder-redirection option provided: \"on\"",
         {2}},
        {"atm backup", {A(1), A(10), A(68, "1")}, -1, 2, "",
         "Failed to add share as invalid atm-backup option provided: \"1\"", {2}},
    });
    // clang-format on
}

TEST_F(ShareCommand, ModifyMask) {
    const auto mask = [](uint32_t expected) {
        return [expected](const CmdContext &c) { EXPECT_EQ(+c.params.share.modifyMask, expected); };
    };
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"new name, path, encrypt", {A(1), A(78), A(79, "n"), A(34, "v:/p"), A(49, "no")}, 0, 77,
         "", "", {2, 3, 4}, mask(0x0B)},
        {"same options in add", {A(1), A(10), A(79, "n"), A(34, "v:/p"), A(49, "no")}, 0, 2, "",
         "", {2, 3, 4}, mask(0)},
        {"every bit", {A(1), A(78), A(79, "n"), A(34, "p"), A(17, "c"), A(49, "no"),
                       A(54, "yes"), A(68, "no")},
         0, 77, "", "", {2, 3, 4, 5, 6, 7}, mask(0x3F)},
        {"name, number and DN set no bit", {A(1), A(78), A(12, "s"), A(13, "1"), A(15, "d")}, 0,
         77, "", "", {2, 4}, mask(0)},
    });
    // clang-format on
}

TEST_F(ShareCommand, NumericOptionIsConvertedAndLeftToTheCaller) {
    const auto number = [](int32_t expected) {
        return
            [expected](const CmdContext &c) { EXPECT_EQ(+c.params.share.numericOption, expected); };
    };
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"number", {A(1), A(10), A(13, "17")}, 0, 2, "", "", {}, number(17)},
        {"negative", {A(1), A(10), A(13, "-5")}, 0, 2, "", "", {}, number(-5)},
        {"not a number", {A(1), A(10), A(13, "abc")}, 0, 2, "", "", {}, number(0)},
        {"digits then text", {A(1), A(10), A(13, "12ab")}, 0, 2, "", "", {}, number(12)},
        {"beyond 32 bits saturates", {A(1), A(10), A(13, "99999999999")}, 0, 2, "", "", {},
         number(INT32_MAX)},
    });
    // clang-format on
}

TEST_F(ShareCommand, UnlistedOptionStopsTheWalk) {
    const S usage = "Failed to add share. Invalid command entered, check the usage\n";
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"add", {A(1), A(10), A(12, "a"), A(99, "x"), A(17, "c")}, -1, 2, usage, "", {2}},
        {"modify says add too", {A(1), A(78), A(7, "x")}, -1, 77, usage},
        {"a failed check leaves later entries", {A(1), A(10), A(12, "..."), A(17, "c")}, -1, 2,
         "Failed to add share as invalid share name entered\n", "", {2}},
    });
    // clang-format on
}

// A missing value string is refused with the option's own message.
TEST_F(ShareCommand, AddNullValues) {
    const S usage = "Failed to add share. Invalid command entered, check the usage\n";
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"name", {A(1), A(10), A(12)}, -1, 2,
         "Failed to add share as invalid share name entered\n"},
        {"new name", {A(1), A(78), A(79)}, -1, 77,
         "Failed to modify/update share as invalid new share name entered\n"},
        {"comment", {A(1), A(10), A(17)}, -1, 2,
         "Failed to add share as invalid share comment entered\n"},
        {"path", {A(1), A(10), A(34)}, -1, 2, usage},
        {"server DN", {A(1), A(10), A(15)}, -1, 2, usage},
        {"number", {A(1), A(10), A(13)}, -1, 2, usage},
        {"encrypt", {A(1), A(10), A(49)}, -1, 2, "",
         "Failed to add share as invalid encrypt-data option provided: \"\""},
    });
    // clang-format on
}

TEST_F(ShareCommand, Remove) {
    const S badName = "Failed to remove share. Invalid share name entered";
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"name and DN", {A(1), A(11), A(15, "CN=x"), A(12, "docs ")}, 0, 3, "", "", {2, 3},
         [](const CmdContext &c) {
             EXPECT_STREQ(c.params.share.shareName, "docs");
             EXPECT_STREQ(c.serverDn, "CN=x");
         }},
        {"DN only goes out as a list", {A(1), A(11), A(15, "CN=x")}, 0, 0, "", "", {2}},
        {"name of 80", {A(1), A(11), A(12, Chars(80))}, 0, 3, "", "", {2}},
        {"name of 81 is refused, not cut", {A(1), A(11), A(12, Chars(81))}, -1, 3, badName, "",
         {2}},
        {"periods", {A(1), A(11), A(12, ".")}, -1, 3, badName, "", {2}},
        {"no name string", {A(1), A(11), A(12)}, -1, 3, badName},
        {"no DN string", {A(1), A(11), A(15)}, -1, 0,
         "Failed to remove share. Invalid command entered, check the usage\n"},
        {"unlisted option", {A(1), A(11), A(12, "a"), A(17, "c")}, -1, 3,
         "Failed to remove share. Invalid command entered, check the usage\n", "", {2}},
    });
    // clang-format on
}

struct SwitchCase {
    int32_t action;
    uint8_t functionId;
    S invalid;  // with %s for the value
    S badName, usage;
    std::function<int(const CmdContext &)> value;
};

S Format(const S &fmt, const S &value) {
    const size_t at = fmt.find("%s");
    return fmt.substr(0, at) + value + fmt.substr(at + 2);
}

TEST_F(ShareCommand, SwitchActions) {
    const std::vector<SwitchCase> actions = {
        {49, 51, "Failed to process encryptiion status option. Invalid parameter value: \" %s\"",
         "Failed to change encryption status for share. Invalid share name entered",
         "Failed to change encryption status. Invalid command entered, check the usage",
         [](const CmdContext &c) { return +c.params.share.encryptData; }},
        {54, 56, "Failed to process folder redirection option. Invalid parameter value: \" %s \"",
         "Failed to change redirection status for share. Invalid share name entered",
         "Failed to change redirection status. Invalid command entered, check the usage",
         [](const CmdContext &c) {
             // The switch lands in both fields.
             EXPECT_EQ(+c.params.share.volumeType, +c.params.share.folderRedirection);
             return +c.params.share.folderRedirection;
         }},
        {68, 66, "Failed to process ATM backup option. Invalid parameter value: \"%s\"",
         "Failed to change ATM backup status for share. Invalid share name entered",
         "Failed to change ATM backup status for share. Invalid command entered, check the usage",
         [](const CmdContext &c) { return +c.params.share.atmBackup; }},
        {84, 86, "Failed to process MFA share level option. Invalid parameter value: \"%s\"",
         "Failed to change MFA status for share. Invalid share name entered",
         "Failed to change MFA status for share. Invalid command entered, check the usage",
         [](const CmdContext &c) { return +c.params.share.mfaShareLevel; }},
    };
    for (const SwitchCase &a : actions) {
        const auto is = [&a](int expected) {
            return [&a, expected](const CmdContext &c) {
                EXPECT_EQ(a.value(c), expected);
                EXPECT_STREQ(c.params.share.shareName, "docs");
            };
        };
        const int32_t x = a.action;
        const int f = a.functionId;
        // clang-format off
        RunCases(ProcessShareCommandData, {
            {"yes in lower case with spaces", {A(1), A(x, "yes  "), A(12, "docs")}, 0, f, "", "",
             {1, 2}, is(1)},
            {"NO", {A(1), A(x, "NO"), A(12, "docs ")}, 0, f, "", "", {1, 2}, is(0)},
            {"no", {A(1), A(x, "no"), A(12, "docs"), A(99, "ignored")}, 0, f, "", "", {1, 2},
             is(0)},
            {"leading space", {A(1), A(x, " yes"), A(12, "docs")}, -1, f, "",
             Format(a.invalid, " yes"), {1}},
            {"single letter", {A(1), A(x, "y"), A(12, "docs")}, -1, f, "", Format(a.invalid, "y"),
             {1}},
            {"periods", {A(1), A(x, ".."), A(12, "docs")}, -1, f, "", Format(a.invalid, ".."),
             {1}},
            {"no value string", {A(1), A(x), A(12, "docs")}, -1, f, "", Format(a.invalid, ""), {}},
            {"no share entry", {A(1), A(x, "yes")}, -1, f, "", a.usage, {1}},
            {"another option", {A(1), A(x, "yes"), A(15, "dn")}, -1, f, "", a.usage, {1}},
            {"name of periods", {A(1), A(x, "yes"), A(12, "...")}, -1, f, "", a.badName, {1, 2}},
            {"no name string", {A(1), A(x, "yes"), A(12)}, -1, f, "", a.badName, {1}},
            {"long name cut at 80", {A(1), A(x, "yes"), A(12, Chars(90))}, 0, f, "", "", {1, 2},
             [](const CmdContext &c) { EXPECT_EQ(S(c.params.share.shareName), Chars(80)); }},
        });
        // clang-format on
    }
}

TEST_F(ShareCommand, UnknownActionIsLogged) {
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"action 5", {A(1), A(5, "x"), A(12, "y")}, -1, 0, "",
         "Failed to process share request. Invalid command entered, check the usage"},
        {"no action", {A(1)}, -1, 0, "",
         "Failed to process share request. Invalid command entered, check the usage"},
    });
    // clang-format on
}

// 128 used entries have no end entry: the walk stops at the block's last entry.
TEST_F(ShareCommand, AFullBlockIsNotReadPastItsEnd) {
    std::vector<Arg> args = {A(1), A(10)};
    while (args.size() < CIFS_ARG_ENTRIES)
        args.push_back(A(15, "CN=" + std::to_string(args.size())));
    std::set<int> released;
    for (int i = 2; i < CIFS_ARG_ENTRIES; ++i) released.insert(i);
    // clang-format off
    RunCases(ProcessShareCommandData, {
        {"add", args, 0, 2, "", "", released,
         [](const CmdContext &c) { EXPECT_STREQ(c.serverDn, "CN=127"); }},
    });
    // clang-format on
    args[1] = A(11);
    // clang-format off
    RunCases(ProcessShareCommandData, {{"remove", args, 0, 0, "", "", released}});
    // clang-format on
}

}  // namespace
}  // namespace share::test
