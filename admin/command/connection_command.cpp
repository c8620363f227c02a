// SPDX-License-Identifier: Apache-2.0
// The connection objects: connections (CMD_CONNECTIONS), open files (CMD_FILES) and clearing of
// connections (CMD_CLEAR_CONNECTIONS).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "admin/command/command_util.h"
#include "shareadmin/command.h"

namespace share::command {
namespace {

constexpr uint16_t kMaxConnectionId = 65535;

enum class IdCheck : uint8_t { kOk, kNotNumeric, kOutOfRange };

// Whole text, no overflow, 0..65535 taken as unsigned (so negative numbers are out of range).
IdCheck ConvertConnectionId(const char *text, uint16_t *id) noexcept {
    if (text == nullptr) return IdCheck::kNotNumeric;
    const ParsedNumber n = ParseNumber(text);
    if (n.trailing) return IdCheck::kNotNumeric;
    if (n.overflow || n.value < 0 || n.value > kMaxConnectionId) return IdCheck::kOutOfRange;
    *id = static_cast<uint16_t>(n.value);
    return IdCheck::kOk;
}

// Converts entry `index` into the context's connection ID; the value is released either way.
bool TakeConnectionId(CmdContext *ctx, int index, const char *notNumeric,
                      const char *outOfRange) noexcept {
    uint16_t id = 0;
    const IdCheck check = ConvertConnectionId(ArgValue(index), &id);
    if (check == IdCheck::kNotNumeric) PrintLine(notNumeric);
    if (check == IdCheck::kOutOfRange) PrintLine(outOfRange);
    if (check == IdCheck::kOk) std::memcpy(ctx->params.raw, &id, sizeof id);
    ReleaseArg(index);
    return check == IdCheck::kOk;
}

// ---- connections ----

constexpr const char kConnectionsUsage[] =
    "Failed to process connections monitoring request. Invalid command entered, check the usage";

int Connections(CmdContext *ctx) noexcept {
    // Entry 3 counts only when the list reaches it: after an end marker it holds whatever an
    // earlier, longer command on this thread left there.
    const bool reachesEntry3 = ArgCode(1) != CIFS_ARG_END && ArgCode(2) != CIFS_ARG_END;
    if (reachesEntry3 && ArgCode(3) != CIFS_ARG_END) {
        PrintLine(kConnectionsUsage);
        return -1;
    }
    switch (ArgCode(1)) {
        case CIFS_ARG_END:
            ctx->functionId = CIFS_FN_CONNECTION_COUNT;
            return 0;
        case CIFS_ACT_LIST:
            switch (ArgCode(2)) {
                case CIFS_ARG_END:
                    ctx->functionId = CIFS_FN_CONNECTION_LIST;
                    return 0;
                case CIFS_OPT_LIST_VARIANT_8:
                    ctx->functionId = CIFS_FN_CONNECTION_LIST_8;
                    return 0;
                case CIFS_OPT_LIST_VARIANT_9:
                    ctx->functionId = CIFS_FN_CONNECTION_LIST_9;
                    return 0;
                default:
                    PrintLine(kConnectionsUsage);
                    return -1;
            }
        case CIFS_ACT_CONNECTION:
        case CIFS_ACT_MAPPED_SHARES:
            ctx->functionId = ArgCode(1) == CIFS_ACT_CONNECTION ? CIFS_FN_CONNECTION_DETAILS
                                                                : CIFS_FN_CONNECTION_MAPPED_SHARES;
            return TakeConnectionId(ctx, 1,
                                    "Failed to process connections related command. Connection "
                                    "ID should be a numeric value",
                                    "Failed to process connections related command. Connection "
                                    "ID should be a numeric value between 0 to 65535")
                       ? 0
                       : -1;
        default:
            PrintLine(kConnectionsUsage);
            return -1;
    }
}

// ---- open files ----

constexpr const char kFilesUsage[] =
    "Failed to process files request. Invalid command entered, check the usage";

enum class Selector : uint8_t { kPathCopy, kConnectionId, kRecord };

// Function IDs per selector: listing, listing with CIFS_OPT_LIST_MODIFIER, closing (0: not
// allowed).
struct FileSelector {
    int32_t code;
    Selector kind;
    uint8_t list;
    uint8_t listModified;
    uint8_t close;
};

constexpr FileSelector kFileSelectors[] = {
    {CIFS_OPT_PATH, Selector::kPathCopy, CIFS_FN_FILES_BY_PATH, CIFS_FN_FILES_BY_PATH_MODIFIED,
     CIFS_FN_CLOSE_BY_PATH},
    {CIFS_OPT_CONNECTION_ID, Selector::kConnectionId, CIFS_FN_FILES_BY_CONNECTION,
     CIFS_FN_FILES_BY_CONNECTION_MODIFIED, CIFS_FN_CLOSE_BY_CONNECTION},
    {CIFS_OPT_VOLUME, Selector::kPathCopy, CIFS_FN_FILES_BY_VOLUME,
     CIFS_FN_FILES_BY_VOLUME_MODIFIED, CIFS_FN_CLOSE_BY_VOLUME},
    {CIFS_OPT_REQUEST_RECORD, Selector::kRecord, CIFS_FN_OPEN_FILES, CIFS_FN_OPEN_FILES, 0},
};

int Files(CmdContext *ctx) noexcept {
    // Entries 1 to 4 all used: more than any file command takes. An entry after the end entry
    // is stale and not looked at.
    int used = 0;
    while (used < 4 && ArgCode(used + 1) != CIFS_ARG_END) ++used;
    if (used == 4) {
        PrintLine(kFilesUsage);
        return -1;
    }
    const int32_t action = ArgCode(1);
    if (action != CIFS_ACT_LIST && action != CIFS_ACT_CLOSE) {
        PrintLine(kFilesUsage);
        return -1;
    }
    const bool modified = action == CIFS_ACT_LIST && ArgCode(2) == CIFS_OPT_LIST_MODIFIER;
    const int index = modified ? 3 : 2;
    const FileSelector *sel = nullptr;
    for (const FileSelector &s : kFileSelectors)
        if (s.code == ArgCode(index)) sel = &s;
    const uint8_t functionId = sel == nullptr             ? 0
                               : action == CIFS_ACT_CLOSE ? sel->close
                               : modified                 ? sel->listModified
                                                          : sel->list;
    const char *value = ArgValue(index);
    // A selector without a value cannot be sent: treated like an unlisted one.
    if (functionId == 0 || (value == nullptr && sel->kind != Selector::kConnectionId)) {
        PrintLine(kFilesUsage);
        ReleaseArg(index);
        return -1;
    }
    ctx->functionId = functionId;
    switch (sel->kind) {
        case Selector::kPathCopy: {
            char *copy = strdup(value);
            if (copy == nullptr)
                Print(
                    "Failed to allocate memory to get the list of users who opened the file: "
                    "%s\n",
                    value);
            else
                StorePointer(ctx, copy);
            ReleaseArg(index);
            return copy != nullptr ? 0 : -1;
        }
        case Selector::kConnectionId:
            return TakeConnectionId(ctx, index,
                                    "Failed to process files command. Connection ID should be a "
                                    "numeric value",
                                    "Failed to process files command. Connection ID should be a "
                                    "numeric value between 0 to 65535")
                       ? 0
                       : -1;
        case Selector::kRecord:
            // The record stays the caller's: only the pointer moves.
            StorePointer(ctx, value);
            gbCifsArg[index].value = nullptr;
            return 0;
    }
    return -1;
}

// ---- clear connections ----

constexpr const char kClearMissing[] =
    "Failed to process clear connection request. Required parameters are missing for the "
    "request.";

bool TakeConnType(ClearConnParams *p, int index) noexcept {
    const CString word = NormalisedCopy(ArgValue(index));
    bool ok = true;
    if (word && std::strcmp(word.get(), "ALL") == 0)
        p->connType = 0;
    else if (word && std::strcmp(word.get(), "NULL") == 0)
        p->connType = 1;
    else
        ok = false;
    if (!ok)
        PrintLine(
            "Failed to process clear connections related command. Invalid value supplied "
            "for --ctype option.");
    ReleaseArg(index);
    return ok;
}

bool TakeIdleTime(ClearConnParams *p, int index) noexcept {
    const char *value = ArgValue(index);
    const ParsedNumber n = value != nullptr ? ParseNumber(value) : ParsedNumber{0, true, false};
    bool ok = false;
    if (n.trailing)
        PrintLine(
            "Failed to process clear connections related command. Idle time should be a "
            "numeric value.");
    else if (n.overflow || n.value < 15 || n.value > 65535)
        PrintLine(
            "Failed to process clear connections related command. Idle time should be a "
            "numeric value between 15 to 65535.");
    else
        ok = true;
    if (ok) p->idleTime = static_cast<int32_t>(n.value);
    ReleaseArg(index);
    return ok;
}

bool TakeConnCount(ClearConnParams *p, int index) noexcept {
    const char *value = ArgValue(index);
    const ParsedNumber n = value != nullptr ? ParseNumber(value) : ParsedNumber{0, true, false};
    long count = n.value;
    bool ok = false;
    if (n.trailing) {
        const CString word = NormalisedCopy(value);
        ok = word && std::strcmp(word.get(), "ALL") == 0;
        count = 65535;
        if (!ok)
            PrintLine(
                "Failed to process clear connections related command. Invalid value "
                "supplied for --conn-count option.");
    } else if (n.overflow || count < 1 || count > 65535) {
        PrintLine(
            "Failed to process clear connections related command. Connection count should "
            "be a numeric value between 1 to 65535.");
    } else {
        ok = true;
    }
    if (ok) p->connCount = static_cast<int32_t>(count);
    ReleaseArg(index);
    return ok;
}

int ClearConnections(CmdContext *ctx) noexcept {
    if (ArgCode(4) != CIFS_ARG_END) {
        PrintLine("Failed to process clear connections request. Invalid option entered.");
        return -1;
    }
    ctx->functionId = CIFS_FN_CLEAR_CONNECTIONS;
    if (ArgCode(1) == CIFS_ARG_END) {
        PrintLine(kClearMissing);
        return -1;
    }
    ClearConnParams *params = &ctx->params.clearConn;
    bool seenType = false, seenIdle = false, seenCount = false;
    for (int i = 1; ArgCode(i) != CIFS_ARG_END; ++i) {
        bool ok = false;
        switch (ArgCode(i)) {
            case CIFS_OPT_CONN_TYPE:
                ok = seenType = TakeConnType(params, i);
                break;
            case CIFS_OPT_IDLE_TIME:
                ok = seenIdle = TakeIdleTime(params, i);
                break;
            case CIFS_OPT_CONN_COUNT:
                ok = seenCount = TakeConnCount(params, i);
                break;
            default:
                PrintLine("Failed to parse clear connection request. Invalid option entered.");
                break;
        }
        if (!ok) return -1;
    }
    if (!(seenType && seenIdle && seenCount)) {
        PrintLine(kClearMissing);
        return -1;
    }
    return 0;
}

}  // namespace
}  // namespace share::command

using namespace share::command;

extern "C" SHARE_API int ProcessConnectionsCommandData(CmdContext *ctx) noexcept {
    return ctx != nullptr ? Connections(ctx) : -1;
}

extern "C" SHARE_API int ProcessFilesCommandData(CmdContext *ctx) noexcept {
    return ctx != nullptr ? Files(ctx) : -1;
}

extern "C" SHARE_API int ProcessClearConnectionInputParameters(CmdContext *ctx) noexcept {
    return ctx != nullptr ? ClearConnections(ctx) : -1;
}
