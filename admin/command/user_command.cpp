// SPDX-License-Identifier: Apache-2.0
// The user objects: the invalid-user cache (CMD_INVALID_USER_CACHE) and user contexts
// (CMD_USER_CONTEXTS).
#include <cstdint>
#include <cstring>

#include "admin/command/command_util.h"
#include "shareadmin/command.h"

namespace share::command {
namespace {

constexpr size_t kMaxUserName = 256;
constexpr long kMaxTimeoutMinutes = 525600;
constexpr size_t kMaxUserContext = 511;

constexpr const char kCacheUsage[] =
    "Failed to process invalid user cache request. Invalid command entered, check the usage";

// One message of a rejection, on its channel.
struct Report {
    const char *text;
    bool logged;  // syslog (ERROR, CLI) instead of standard output

    void Emit() const noexcept {
        if (logged)
            SHARE_LOG_CLI_ERROR("%s", text);
        else
            PrintLine(text);
    }
};

// The three invalid-user name actions: add, remove, make permanent.
struct NameAction {
    int32_t action;
    uint8_t functionId;
    Report extraEntries;  // entry 3 used
    Report notAName;      // entry 2 is not CIFS_OPT_NAME, or has no value
    const char *tooLong;  // format with the limit
    bool tooLongLogged;
};

constexpr NameAction kNameActions[] = {
    {CIFS_ACT_ADD,
     CIFS_FN_INVALID_USER_ADD,
     {kCacheUsage, false},
     {kCacheUsage, false},
     "Failed to add invalid user details. User name must be only %d characters long\n",
     false},
    // Described as ending the process: a library must not, so it is refused like add.
    {CIFS_ACT_REMOVE,
     CIFS_FN_INVALID_USER_REMOVE,
     {kCacheUsage, false},
     {kCacheUsage, false},
     "Failed to remove invalid user details. User name must be only %d characters long\n",
     false},
    {CIFS_ACT_MAKE_PERMANENT,
     CIFS_FN_INVALID_USER_MAKE_PERMANENT,
     {"Failed to process make permanent invalid user request. Invalid command entered, check the "
      "usage",
      true},
     {kCacheUsage, true},
     "Failed to add invalid user details. User name must be only %d characters long",
     true},
};

int RunNameAction(CmdContext *ctx, const NameAction &a) noexcept {
    if (ArgCode(3) != CIFS_ARG_END) {
        a.extraEntries.Emit();
        return -1;
    }
    ctx->functionId = a.functionId;
    const char *name = ArgValue(2);
    if (ArgCode(2) != CIFS_OPT_NAME || name == nullptr) {
        a.notAName.Emit();
        ReleaseArg(2);
        return -1;
    }
    if (std::strlen(name) > kMaxUserName) {
        if (a.tooLongLogged)
            SHARE_LOG_CLI_ERROR(a.tooLong, static_cast<int>(kMaxUserName));
        else
            Print(a.tooLong, static_cast<int>(kMaxUserName));
        ReleaseArg(2);
        return -1;
    }
    CopyField(ctx->params.userName, sizeof ctx->params.userName, name);
    stripSpaces(ctx->params.userName);
    ReleaseArg(2);
    return 0;
}

int SetTimeout(CmdContext *ctx) noexcept {
    if (ArgCode(2) != CIFS_ARG_END) {
        PrintLine(kCacheUsage);
        return -1;
    }
    ctx->functionId = CIFS_FN_INVALID_USER_TIMEOUT;
    const char *value = ArgValue(1);
    const ParsedNumber n = value != nullptr ? ParseNumber(value) : ParsedNumber{0, true, false};
    const bool ok = !n.trailing && !n.overflow && n.value >= 0 && n.value <= kMaxTimeoutMinutes;
    if (ok) {
        const auto minutes = static_cast<int32_t>(n.value);
        std::memcpy(ctx->params.raw, &minutes, sizeof minutes);
    } else {
        Print(
            "Failed to set invalid user timeout period. Timeout period (in minutes) should be a "
            "numeric value between 0 and %d\n",
            static_cast<int>(kMaxTimeoutMinutes));
    }
    ReleaseArg(1);
    return ok ? 0 : -1;
}

int ListInvalidUsers(CmdContext *ctx) noexcept {
    const char *record = ArgValue(1);
    if (ArgCode(2) != CIFS_ARG_END || record == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "Failed to process list invalid users request. Invalid command entered, check "
            "the usage");
        return -1;
    }
    ctx->functionId = CIFS_FN_INVALID_USER_LIST;
    // The record stays the caller's: only the pointer moves.
    StorePointer(ctx, record);
    gbCifsArg[1].value = nullptr;
    return 0;
}

int InvalidUserCache(CmdContext *ctx) noexcept {
    const int32_t action = ArgCode(1);
    for (const NameAction &a : kNameActions)
        if (a.action == action) return RunNameAction(ctx, a);
    switch (action) {
        case CIFS_ACT_LIST:
            // Described as ending the process when entry 2 is used: refused instead.
            if (ArgCode(2) != CIFS_ARG_END) {
                PrintLine(kCacheUsage);
                return -1;
            }
            ctx->functionId = CIFS_FN_INVALID_USER_CACHE;
            return 0;
        case CIFS_ACT_TIMEOUT:
            return SetTimeout(ctx);
        case CIFS_ACT_LIST_INVALID_USERS:
            return ListInvalidUsers(ctx);
        default:
            PrintLine(kCacheUsage);
            return -1;
    }
}

// ---- user contexts ----

int UserContexts(CmdContext *ctx) noexcept {
    const int32_t action = ArgCode(1);
    if (ArgCode(3) != CIFS_ARG_END ||
        (action != CIFS_ACT_LIST && action != CIFS_ACT_ADD && action != CIFS_ACT_REMOVE)) {
        PrintLine("Failed to process contexts request. Invalid command entered, check the usage");
        return -1;
    }
    if (action == CIFS_ACT_LIST) {
        ctx->functionId = CIFS_FN_USER_CONTEXT_LIST;
        return 0;
    }
    const char *verb = action == CIFS_ACT_ADD ? "add" : "remove";
    ctx->functionId =
        action == CIFS_ACT_ADD ? CIFS_FN_USER_CONTEXT_ADD : CIFS_FN_USER_CONTEXT_REMOVE;
    const char *value = ArgValue(1);
    bool ok = false;
    if (value != nullptr && std::strlen(value) > kMaxUserContext) {
        Print("Failed to %s user context as name exceeds max characters long\n", verb);
    } else {
        if (value != nullptr) {
            char *field = ctx->params.userContextName;
            CopyField(field, sizeof ctx->params.userContextName, value);
            stripSpaces(field);
            ok = stringHasOnlyPeriods(field) == 0;
        }
        if (!ok) Print("Failed to %s user context as invalid user context is entered\n", verb);
    }
    ReleaseArg(1);
    return ok ? 0 : -1;
}

}  // namespace
}  // namespace share::command

using namespace share::command;

extern "C" SHARE_API int ProcessIUCCommandData(CmdContext *ctx) noexcept {
    return ctx != nullptr ? InvalidUserCache(ctx) : -1;
}

extern "C" SHARE_API int ProcessContextsCommandData(CmdContext *ctx) noexcept {
    return ctx != nullptr ? UserContexts(ctx) : -1;
}
