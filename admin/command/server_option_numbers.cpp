// SPDX-License-Identifier: Apache-2.0
// Numeric option commands: the two requests without arguments, the numeric levels (one table row
// each), the cache sizes and the DFS referral cache duration with its junction path.
#include <strings.h>

#include <climits>
#include <cstring>
#include <string_view>

#include "admin/command/command_util.h"
#include "admin/command/server_option_family.h"

namespace share::command {
namespace {

struct NoArgumentRow {
    int32_t code;
    uint8_t functionId;
};

constexpr NoArgumentRow kNoArguments[] = {{CMD_SERVER_REQUEST_4, CIFS_FN_SERVER_REQUEST_4},
                                          {CMD_SERVER_REQUEST_40, CIFS_FN_SERVER_REQUEST_40}};

struct Range {
    int32_t low, high;
};

struct LevelRow {
    int32_t code;
    uint8_t functionId;
    bool wholeText;  // the whole text must be the number; otherwise what follows it is ignored
    std::span<const Range> accepted;
    Message invalid;  // %s: the caller's text, then %d %d: the lowest and highest accepted
};

constexpr Range kLmCompatibility[] = {{0, 0}, {4, 5}};
constexpr Range kOfflineFiles[] = {{0, 3}};
constexpr Range kOplockBreakAckSeconds[] = {{5, 30}};

constexpr LevelRow kLevels[] = {
    {CMD_LM_COMPATIBILITY, CIFS_FN_LM_COMPATIBILITY, true, kLmCompatibility,
     Printed("Failed to process LM compatibility option. Invalid parameter value: \" %s \"\n")},
    {CMD_OFFLINE_FILES, CIFS_FN_OFFLINE_FILES, true, kOfflineFiles,
     Printed("Failed to process offline files support option. Invalid parameter value: \" %s "
             "\"\n")},
    {CMD_OPLOCK_BREAK_ACK_TIMEOUT, CIFS_FN_OPLOCK_BREAK_ACK_TIMEOUT, false, kOplockBreakAckSeconds,
     Printed("Failed to set oplock break acknowledgement timeout. Invalid parameter value \"%s\", "
             "it should be between %d to %d\n")},
};

std::optional<int32_t> LevelValue(const LevelRow &row, const char *text) {
    if (text == nullptr) return std::nullopt;
    const ParsedNumber n = ParseNumber(text);
    if (row.wholeText && n.trailing) return std::nullopt;
    for (const Range &r : row.accepted)
        if (Within(n, r.low, r.high)) return static_cast<int32_t>(n.value);
    return std::nullopt;
}

int RunLevel(const LevelRow &row, CmdContext *ctx) {
    ctx->functionId = row.functionId;
    const char *text = gbCifsArg[0].value;
    const std::optional<int32_t> value = LevelValue(row, text);
    if (value)
        ctx->params.intValue = *value;
    else
        Emit(row.invalid, Quoted(text), row.accepted.front().low, row.accepted.back().high);
    ReleaseArg(0);
    return value ? 0 : -1;
}

// Cache sizes: "<kind>=<number>", the caller's text taken as is.
struct CacheKind {
    std::string_view prefix;  // compared with the start of the text, letter case exact
    int32_t kind;
};

constexpr CacheKind kCacheKinds[] = {{"SDIRCACHE", 1}, {"DIRCACHE", 2}, {"FILECACHE", 3}};

constexpr const char *kCacheWrongPattern =
    "Failed to process cache option. Invalid input or wrong pattern: \" %s \"\n";

int CacheParamsFrom(const char *text, CacheParams &params) {
    const char *equals = std::strchr(text, '=');
    if (equals == nullptr) {
        Print(kCacheWrongPattern, text);
        return -1;
    }
    const ParsedNumber n = ParseNumber(equals + 1);
    // Sizes beyond 32 bits are refused rather than cut to their low bits.
    if (n.trailing || n.value == 0 || n.value > INT32_MAX) {
        Print("Failed to process cache option. Input must be a positive integer only: \" %s \"\n",
              text);
        return -1;
    }
    if (n.value < 0) {
        Print("Failed to process cache option. Negative values are not allowed: \" %s \"\n", text);
        return -1;
    }
    params.cacheValue = static_cast<int32_t>(n.value);
    for (const CacheKind &k : kCacheKinds) {
        if (std::string_view(text).starts_with(k.prefix)) {
            params.cacheKind = k.kind;
            return 0;
        }
    }
    Print("Failed to process cache option. Invalid Input or option: %s\n", text);
    return -1;
}

int RunCache(CmdContext *ctx) {
    ctx->functionId = CIFS_FN_CACHE;
    const char *text = gbCifsArg[0].value;
    int result = -1;
    if (text)
        result = CacheParamsFrom(text, ctx->params.cache);
    else
        Print(kCacheWrongPattern, "");
    ReleaseArg(0);
    return result;
}

// DFS referral cache duration: minutes, or CLEAR with a junction path in entry 1.
constexpr long kMaxReferralMinutes = 525600;  // a 365-day year
constexpr size_t kMaxJunctionPath = sizeof(DfsReferralCacheParams::junctionPath) - 1;

constexpr const char *kInvalidMinutes =
    "Failed to process dfs referral cache duration. Invalid minutes value: \"%s\" (min 0 max "
    "%d)\n";

// The checks a junction path ("VOL:/dir/junction") passes, in order. The path has had its
// trailing spaces removed, so neither side of the volume separator has any left.
struct PathCheck {
    bool (*fails)(std::string_view path);
    const char *detail;  // logged when the check fails; null: nothing logged
};

constexpr std::string_view AfterVolume(std::string_view path) {
    return path.substr(path.find(':') + 1);
}

constexpr PathCheck kJunctionPathChecks[] = {
    {[](std::string_view p) { return p.size() > kMaxJunctionPath; }, nullptr},
    {[](std::string_view p) { return p.empty(); }, "Verifying the path list failed, path is empty"},
    {[](std::string_view p) { return p.find(',') != p.npos; },
     "Verifying the path list failed, multiple paths are not allowed"},
    {[](std::string_view p) { return p.find(':') == p.npos || p.front() == ':'; },
     "Verifying the path list failed, volume name is missing"},
    {[](std::string_view p) { return AfterVolume(p).find(':') != p.npos; },
     "Verifying the path list failed, only one volume separator is expected"},
    {[](std::string_view p) {
         const std::string_view dir = AfterVolume(p);
         return dir.size() < 2 || dir.front() != '/';
     },
     "Verifying the path list failed, path start with forward slash or it is empty"},
};

bool JunctionPathValid(std::string_view path) {
    for (const PathCheck &check : kJunctionPathChecks) {
        if (check.fails(path)) {
            if (check.detail) SHARE_LOG_CLI_ERROR("%s", check.detail);
            return false;
        }
    }
    return true;
}

// CLEAR: entry 1 names the junction (or ALL); releases entry 1 once it was taken.
int ClearReferralCache(DfsReferralCacheParams &params) {
    char *path = gbCifsArg[1].value;
    if (gbCifsArg[1].id != CIFS_OPT_PATH || path == nullptr) {
        PrintLine(
            "Failed to process dfs referral cache duration. --path is mandatory only"
            "\t\t\t\t\t\t\t\t\twith CLEAR value. Use --path=ALL or "
            "--path=<VOL:/junction-path>");
        return -1;
    }
    stripSpaces(path);
    int result = 0;
    if (strcasecmp(path, "ALL") == 0) {
        CopyField(params.junctionPath, sizeof params.junctionPath, "ALL");
    } else if (JunctionPathValid(path)) {
        CopyField(params.junctionPath, sizeof params.junctionPath, path);
    } else {
        Print(
            "Failed to process dfs referral cache duration. Invalid --path value. Expected "
            "--path=ALL or format: VOL1:/dir/dir1/junction and max length %d\n",
            static_cast<int>(kMaxJunctionPath));
        result = -1;
    }
    if (result == 0) params.durationMinutes = -1;
    ReleaseArg(1);
    return result;
}

int ReferralCacheMinutes(const char *text, const char *copy, DfsReferralCacheParams &params) {
    if (gbCifsArg[1].id == CIFS_OPT_PATH) {
        PrintLine(
            "Failed to process dfs referral cache duration. --path can be used only when "
            "--dfs-referral-cache-duration=CLEAR");
        ReleaseArg(1);
        return -1;
    }
    const ParsedNumber n = ParseNumber(copy);
    if (*copy == '\0' || n.trailing || !Within(n, 0, kMaxReferralMinutes)) {
        Print(kInvalidMinutes, text, static_cast<int>(kMaxReferralMinutes));
        return -1;
    }
    params.durationMinutes = static_cast<int32_t>(n.value);
    return 0;
}

int RunReferralCacheDuration(CmdContext *ctx) {
    ctx->functionId = CIFS_FN_DFS_REFERRAL_CACHE_DURATION;
    const char *text = gbCifsArg[0].value;
    CString copy = NormalisedCopy(text);
    DfsReferralCacheParams &params = ctx->params.dfsReferralCache;
    int result = -1;
    if (!copy)
        Print(kInvalidMinutes, "", static_cast<int>(kMaxReferralMinutes));
    else if (stringHasOnlyPeriods(copy.get()))
        PrintLine("Failed to process dfs referral cache duration. Invalid parameter entered");
    else if (std::strcmp(copy.get(), "CLEAR") == 0)
        result = ClearReferralCache(params);
    else
        result = ReferralCacheMinutes(text, copy.get(), params);
    ReleaseArg(0);
    return result;
}

}  // namespace

std::optional<int> RunNumberCommand(int32_t code, CmdContext *ctx) noexcept {
    if (const NoArgumentRow *row = FindRow<NoArgumentRow>(kNoArguments, code)) {
        ctx->functionId = row->functionId;
        return 0;
    }
    if (const LevelRow *row = FindRow<LevelRow>(kLevels, code)) return RunLevel(*row, ctx);
    if (code == CMD_CACHE) return RunCache(ctx);
    if (code == CMD_DFS_REFERRAL_CACHE_DURATION) return RunReferralCacheDuration(ctx);
    return std::nullopt;
}

}  // namespace share::command
