// SPDX-License-Identifier: Apache-2.0
// Numeric option commands: the commands without arguments, the numeric levels and their bounds,
// the cache sizes and the DFS referral cache duration with its junction path checks.
#include "tests/admin/command/server_option_testing.h"

namespace share::test {
namespace {

using NumberCommandTest = CommandTest;

TEST_F(NumberCommandTest, CommandsWithoutArgumentsReadNothing) {
    for (const auto &[code, functionId] : {std::pair{2, 4}, std::pair{37, 40}}) {
        const OptionRun run = RunOption({{code, "caller's"}, {12, "caller's too"}});
        EXPECT_EQ(run.rc, 0);
        EXPECT_EQ(run.ctx.functionId, functionId);
        EXPECT_TRUE(run.ZeroFrom(0));
        EXPECT_EQ(run.out, "");
        EXPECT_STREQ(gbCifsArg[0].value, "caller's");
        EXPECT_STREQ(gbCifsArg[1].value, "caller's too");
    }
}

struct LevelCase {
    int32_t code;
    const char *text;
    std::optional<int32_t> stored;  // none: rejected
};

constexpr const char *kLmInvalid =
    "Failed to process LM compatibility option. Invalid parameter value: \" %s \"\n";
constexpr const char *kOfflineInvalid =
    "Failed to process offline files support option. Invalid parameter value: \" %s \"\n";
constexpr const char *kOplockInvalid =
    "Failed to set oplock break acknowledgement timeout. Invalid parameter value \"%s\", it "
    "should be between 5 to 30\n";

const std::vector<LevelCase> kLevelCases = {
    {21, "0", 0},
    {21, "4", 4},
    {21, "5", 5},
    {21, "3", {}},
    {21, "1", {}},
    {21, "6", {}},
    {21, "-4", {}},
    {21, "4x", {}},
    {21, "4 ", {}},
    {21, " 4", 4},
    {21, "+5", 5},
    {21, "", 0},
    {21, "x", {}},
    {21, nullptr, {}},
    {21, "4294967300", {}},  // 4 in the low 32 bits
    {26, "0", 0},
    {26, "3", 3},
    {26, "4", {}},
    {26, "-1", {}},
    {26, "2.", {}},
    {26, "", 0},
    {26, nullptr, {}},
    {26, "4294967298", {}},
    {44, "5", 5},
    {44, "30", 30},
    {44, "4", {}},
    {44, "31", {}},
    {44, "12abc", 12},
    {44, " 7 s", 7},
    {44, "", {}},
    {44, "abc", {}},
    {44, "-5", {}},
    {44, nullptr, {}},
    {44, "4294967301", {}},  // 5 in the low 32 bits
    {44, "99999999999999999999", {}},
};

TEST_F(NumberCommandTest, NumericLevelsAndTheirBounds) {
    for (const LevelCase &c : kLevelCases) {
        SCOPED_TRACE(std::to_string(c.code) + " \"" + (c.text ? c.text : "(null)") + "\"");
        const OptionRun run = RunOption({{c.code, c.text}});
        EXPECT_EQ(run.ctx.functionId, c.code == 21 ? 14 : c.code == 26 ? 19 : 46);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        if (c.stored) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_EQ(+run.ctx.params.intValue, *c.stored);
            EXPECT_TRUE(run.ZeroFrom(4));
            EXPECT_EQ(run.out, "");
        } else {
            const char *format = c.code == 21   ? kLmInvalid
                                 : c.code == 26 ? kOfflineInvalid
                                                : kOplockInvalid;
            EXPECT_EQ(run.rc, -1);
            EXPECT_EQ(run.out, Quoting(format, c.text ? c.text : ""));
        }
    }
}

struct CacheCase {
    const char *text;
    int32_t value;  // stored when kind != 0
    int32_t kind;
    const char *rejection;  // format quoting the text, when kind == 0
};

constexpr const char *kWrongPattern =
    "Failed to process cache option. Invalid input or wrong pattern: \" %s \"\n";
constexpr const char *kNotPositive =
    "Failed to process cache option. Input must be a positive integer only: \" %s \"\n";
constexpr const char *kNegative =
    "Failed to process cache option. Negative values are not allowed: \" %s \"\n";
constexpr const char *kNoKind = "Failed to process cache option. Invalid Input or option: %s\n";

const std::vector<CacheCase> kCacheCases = {
    {"SDIRCACHE=100", 100, 1, nullptr},
    {"DIRCACHE=5", 5, 2, nullptr},
    {"FILECACHE=7", 7, 3, nullptr},
    {"SDIRCACHEXY=8", 8, 1, nullptr},  // what lies before the '=' is not examined
    {"FILECACHE= +9", 9, 3, nullptr},
    {"FILECACHE=2147483647", 2147483647, 3, nullptr},
    {"sdircache=100", 0, 0, kNoKind},
    {" SDIRCACHE=1", 0, 0, kNoKind},
    {"CACHE=1", 0, 0, kNoKind},
    {"SDIRCACHE", 0, 0, kWrongPattern},
    {"", 0, 0, kWrongPattern},
    {"SDIRCACHE=0", 0, 0, kNotPositive},
    {"SDIRCACHE=", 0, 0, kNotPositive},
    {"SDIRCACHE=12x", 0, 0, kNotPositive},
    {"SDIRCACHE=1=2", 0, 0, kNotPositive},
    {"SDIRCACHE=-4x", 0, 0, kNotPositive},
    {"bogus=0", 0, 0, kNotPositive},  // the number is judged before the kind
    {"SDIRCACHE=2147483648", 0, 0, kNotPositive},
    {"SDIRCACHE=4294967396", 0, 0, kNotPositive},  // 100 in the low 32 bits
    {"SDIRCACHE=-4", 0, 0, kNegative},
    {"bogus=-1", 0, 0, kNegative},
};

TEST_F(NumberCommandTest, CacheSizes) {
    for (const CacheCase &c : kCacheCases) {
        SCOPED_TRACE(c.text);
        const OptionRun run = RunOption({{24, c.text}});
        EXPECT_EQ(run.ctx.functionId, 17);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        if (c.kind != 0) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_EQ(+run.ctx.params.cache.cacheValue, c.value);
            EXPECT_EQ(+run.ctx.params.cache.cacheKind, c.kind);
            EXPECT_TRUE(run.ZeroFrom(sizeof(CacheParams)));
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_EQ(run.rc, -1);
            EXPECT_EQ(run.out, Quoting(c.rejection, c.text));
        }
    }
    const OptionRun missing = RunOption({{24, nullptr}});
    EXPECT_EQ(missing.rc, -1);
    EXPECT_EQ(missing.out, Quoting(kWrongPattern, ""));
}

// DFS referral cache duration.
constexpr const char *kMinutes =
    "Failed to process dfs referral cache duration. Invalid minutes value: \"%s\" (min 0 max "
    "525600)\n";
constexpr const char *kDfsPeriods =
    "Failed to process dfs referral cache duration. Invalid parameter entered\n";
constexpr const char *kPathOnlyWithClear =
    "Failed to process dfs referral cache duration. --path can be used only when "
    "--dfs-referral-cache-duration=CLEAR\n";
constexpr const char *kPathMandatory =
    "Failed to process dfs referral cache duration. --path is mandatory only\t\t\t\t\t\t\t\t\twith "
    "CLEAR value. Use --path=ALL or --path=<VOL:/junction-path>\n";
constexpr const char *kBadPath =
    "Failed to process dfs referral cache duration. Invalid --path value. Expected --path=ALL or "
    "format: VOL1:/dir/dir1/junction and max length 1024\n";

const DfsReferralCacheParams &Dfs(const OptionRun &run) {
    return run.ctx.params.dfsReferralCache;
}

TEST_F(NumberCommandTest, ReferralCacheMinutes) {
    struct Case {
        const char *text;
        std::optional<int32_t> minutes;
    };
    const Case cases[] = {
        {"0", 0},       {"525600", 525600}, {"60  ", 60},       {" 60", 60},
        {"+7", 7},      {"525601", {}},     {"-1", {}},         {"", {}},
        {"   ", {}},    {"6o", {}},         {"4295492896", {}},  // 525600 in the low 32 bits
        {"clearx", {}}, {nullptr, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        const OptionRun run = RunOption({{86, c.text}});
        EXPECT_EQ(run.ctx.functionId, 88);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        if (c.minutes) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_EQ(+Dfs(run).durationMinutes, *c.minutes);
            EXPECT_TRUE(run.ZeroFrom(4));
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_EQ(run.rc, -1);
            EXPECT_EQ(run.out, Quoting(kMinutes, c.text ? c.text : ""));
        }
    }
}

TEST_F(NumberCommandTest, ReferralCacheRejectionsAndWhatTheyRelease) {
    OptionRun run = RunOption({{86, "..."}, {34, "ALL"}});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.out, kDfsPeriods);
    EXPECT_EQ(gbCifsArg[0].value, nullptr);
    EXPECT_STREQ(gbCifsArg[1].value, "ALL");  // not read

    run = RunOption({{86, "10"}, {34, "ALL"}});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.out, kPathOnlyWithClear);
    EXPECT_EQ(gbCifsArg[0].value, nullptr);
    EXPECT_EQ(gbCifsArg[1].value, nullptr);

    run = RunOption({{86, "10"}, {35, "VOL:/x"}});  // another option is not the path
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(+Dfs(run).durationMinutes, 10);
    EXPECT_STREQ(gbCifsArg[1].value, "VOL:/x");

    for (const auto &entry1 :
         {OptionArg{0, nullptr}, OptionArg{35, "ALL"}, OptionArg{34, nullptr}}) {
        run = RunOption({{86, "CLEAR"}, entry1});
        EXPECT_EQ(run.rc, -1);
        EXPECT_EQ(run.out, kPathMandatory);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
    }
    EXPECT_STREQ(RunOption({{86, "CLEAR"}, {35, "ALL"}}).out.c_str(), kPathMandatory);
    EXPECT_STREQ(gbCifsArg[1].value, "ALL");
}

TEST_F(NumberCommandTest, ReferralCacheClearWithAll) {
    for (const char *path : {"ALL", "all", "All   "}) {
        const OptionRun run = RunOption({{86, "clear  "}, {34, path}});
        EXPECT_EQ(run.rc, 0);
        EXPECT_EQ(run.ctx.functionId, 88);
        EXPECT_EQ(+Dfs(run).durationMinutes, -1);
        EXPECT_STREQ(Dfs(run).junctionPath, "ALL");
        EXPECT_TRUE(run.ZeroFrom(4 + 4));
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        EXPECT_EQ(gbCifsArg[1].value, nullptr);
    }
}

TEST_F(NumberCommandTest, JunctionPathChecksInOrder) {
    struct Case {
        std::string path;
        const char *stored;  // null: rejected
        const char *detail;  // logged before the rejection; null: none
    };
    const std::string longest = "VOL1:/" + std::string(1018, 'd');
    const Case cases[] = {
        {"VOL1:/dir/junction", "VOL1:/dir/junction", nullptr},
        {"VOL1:/dir/junction   ", "VOL1:/dir/junction", nullptr},
        {"V :/a b", "V :/a b", nullptr},
        {longest, longest.c_str(), nullptr},
        // 1: too long (checked before the commas of 3)
        {longest + "d", nullptr, nullptr},
        {longest + ",", nullptr, nullptr},
        // 2: nothing but spaces leaves one space, which has no colon (4)
        {"   ", nullptr, "Verifying the path list failed, volume name is missing"},
        {"", nullptr, "Verifying the path list failed, path is empty"},
        // 3: commas first, even with no colon
        {"VOL1:/a,VOL2:/b", nullptr,
         "Verifying the path list failed, multiple paths are not allowed"},
        {",", nullptr, "Verifying the path list failed, multiple paths are not allowed"},
        // 4
        {":/dir", nullptr, "Verifying the path list failed, volume name is missing"},
        {"VOL1/dir", nullptr, "Verifying the path list failed, volume name is missing"},
        {":a:b", nullptr, "Verifying the path list failed, volume name is missing"},
        // 5
        {"VOL1:/a:b", nullptr,
         "Verifying the path list failed, only one volume separator is expected"},
        {"VOL1::/a", nullptr,
         "Verifying the path list failed, only one volume separator is expected"},
        // 6
        {"VOL1:dir", nullptr,
         "Verifying the path list failed, path start with forward slash or it is empty"},
        {"VOL1:/", nullptr,
         "Verifying the path list failed, path start with forward slash or it is empty"},
        {"VOL1:", nullptr,
         "Verifying the path list failed, path start with forward slash or it is empty"},
        {"VOL1: /a", nullptr,
         "Verifying the path list failed, path start with forward slash or it is empty"},
    };
    gCIFSLogLevel |= CIFS_LOG_ERROR;
    for (const Case &c : cases) {
        SCOPED_TRACE("\"" + c.path.substr(0, 40) + "\"");
        const OptionRun run = RunOption({{86, "CLEAR"}, {34, c.path.c_str()}});
        EXPECT_EQ(run.ctx.functionId, 88);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        EXPECT_EQ(gbCifsArg[1].value, nullptr);
        if (c.stored) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_EQ(+Dfs(run).durationMinutes, -1);
            EXPECT_STREQ(Dfs(run).junctionPath, c.stored);
            EXPECT_EQ(run.out, "");
            EXPECT_TRUE(run.log.empty());
        } else {
            EXPECT_EQ(run.rc, -1);
            EXPECT_EQ(run.out, kBadPath);
            std::vector<std::string> expected;
            if (c.detail) expected.push_back(ErrorLine(c.detail));
            EXPECT_EQ(run.log, expected);
        }
    }
}

TEST_F(NumberCommandTest, JunctionPathDetailsNeedTheErrorBit) {
    gCIFSLogLevel &= ~static_cast<uint32_t>(CIFS_LOG_ERROR);
    const OptionRun run = RunOption({{86, "CLEAR"}, {34, ":/dir"}});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.out, kBadPath);  // printed whatever the mask
    EXPECT_TRUE(run.log.empty());
}

}  // namespace
}  // namespace share::test
