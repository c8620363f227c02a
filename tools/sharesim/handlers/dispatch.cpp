// SPDX-License-Identifier: Apache-2.0
// The dispatch: one row per function ID with its name for the request log, its handler and
// whether it may change the state. The stored options' rows come from the option table, so an
// option added there is served without a second list to keep in step.
#include <array>

#include "common/option_rows.h"
#include "common/server_formats.h"
#include "shareadmin/codes.h"
#include "sharesim/handlers.h"
#include "sharesim/handlers/common.h"

namespace share::sim {
namespace {

using namespace handlers;  // NOLINT: the handlers of the table

struct Row {
    const char *name;
    HandlerFn handler;
    bool changes;
};

constexpr Row R(const char *name, HandlerFn handler, bool changes) {
    return {name, handler, changes};
}

struct Entry {
    int function;
    Row row;
};

constexpr Entry kEntries[] = {
    {CIFS_FN_SHARE_NAMES, R("share-names", ShareNames, false)},
    {CIFS_FN_SHARE_DETAILS, R("share-details", ShareDetails, false)},
    {CIFS_FN_SHARE_ADD, R("share-add", ShareAdd, true)},
    {CIFS_FN_SHARE_REMOVE, R("share-remove", ShareRemove, true)},
    {CIFS_FN_SERVER_REQUEST_4, R("configuration-dump", ConfigurationDump, false)},
    {CIFS_FN_VIRTUAL_SERVER_ADD, R("virtual-server-add", VirtualServer, true)},
    {CIFS_FN_VIRTUAL_SERVER_REMOVE, R("virtual-server-remove", VirtualServer, true)},
    {CIFS_FN_DUMP_STATISTICS, R("dump-statistics", DumpStatistics, true)},
    {CIFS_FN_DNS_ENTRY_ADD, R("dns-entry-add", DnsEntry, true)},
    {CIFS_FN_DNS_ENTRY_REMOVE, R("dns-entry-remove", DnsEntry, true)},
    {CIFS_FN_CACHE, R("cache", Cache, true)},
    {CIFS_FN_INVALID_USER_TIMEOUT, R("invalid-user-timeout", IucTimeout, true)},
    {CIFS_FN_INVALID_USER_ADD, R("invalid-user-add", InvalidUserChange, true)},
    {CIFS_FN_INVALID_USER_REMOVE, R("invalid-user-remove", InvalidUserChange, true)},
    {CIFS_FN_INVALID_USER_CACHE, R("invalid-user-cache", InvalidUserCache, false)},
    {CIFS_FN_CONNECTION_COUNT, R("connection-count", ConnectionCount, false)},
    {CIFS_FN_CONNECTION_LIST, R("connection-list", ConnectionList, false)},
    {CIFS_FN_CONNECTION_LIST_8, R("connection-list-with-files", ConnectionList, false)},
    {CIFS_FN_CONNECTION_LIST_9, R("connection-list-null-sessions", ConnectionList, false)},
    {CIFS_FN_CONNECTION_DETAILS, R("connection-details", ConnectionDetails, false)},
    {CIFS_FN_FILES_BY_PATH, R("files-by-path", ListFiles, false)},
    {CIFS_FN_FILES_BY_CONNECTION, R("files-by-connection", ListFiles, false)},
    {CIFS_FN_FILES_BY_VOLUME, R("files-by-volume", ListFiles, false)},
    {CIFS_FN_FILES_BY_PATH_MODIFIED, R("files-by-path-modified", ListFiles, false)},
    {CIFS_FN_FILES_BY_CONNECTION_MODIFIED, R("files-by-connection-modified", ListFiles, false)},
    {CIFS_FN_FILES_BY_VOLUME_MODIFIED, R("files-by-volume-modified", ListFiles, false)},
    {CIFS_FN_CLOSE_BY_PATH, R("close-by-path", CloseByPath, true)},
    {CIFS_FN_CLOSE_BY_CONNECTION, R("close-by-connection", CloseByConnection, true)},
    {CIFS_FN_CLOSE_BY_VOLUME, R("close-by-volume", CloseByVolume, true)},
    {CIFS_FN_SERVER_REQUEST_40, R("server-status", ServerStatus, false)},
    {CIFS_FN_SHARE_VOLUMES_BY_DEFAULT, R("share-volumes-by-default", ShareVolumesByDefault, true)},
    {CIFS_FN_USER_QUOTA_SYNC, R("user-quota-sync", QuotaSyncRequest, true)},
    {CIFS_FN_SHARE_ENCRYPTION, R("share-encryption", ShareSwitch, true)},
    {CIFS_FN_SHARE_FOLDER_REDIRECTION, R("share-folder-redirection", ShareSwitch, true)},
    {CIFS_FN_CLEAR_CONNECTIONS, R("clear-connections", ClearConnections, true)},
    {CIFS_FN_SHARE_ATM_BACKUP, R("share-atm-backup", ShareSwitch, true)},
    {CIFS_FN_USER_QUOTA_VIEW, R("user-quota-view", QuotaViewRequest, true)},
    {CIFS_FN_CRYPTO_KEYS_OF_CONNECTION,
     R("crypto-keys-of-connection", CryptoKeysOfConnection, true)},
    {CIFS_FN_INTERFACE_ADD, R("interface-add", Interface, true)},
    {CIFS_FN_INTERFACE_REMOVE, R("interface-remove", Interface, true)},
    {CIFS_FN_INTERFACE_LIST, R("interface-list", Interface, false)},
    {CIFS_FN_SHARE_MODIFY, R("share-modify", ShareModify, true)},
    {CIFS_FN_CONNECTION_MAPPED_SHARES, R("connection-mapped-shares", MappedShares, false)},
    {CIFS_FN_OPEN_FILES, R("open-files", OpenFilesByRecord, false)},
    {CIFS_FN_INVALID_USER_LIST, R("invalid-user-list", InvalidUsersByRecord, false)},
    {CIFS_FN_INVALID_USER_MAKE_PERMANENT,
     R("invalid-user-make-permanent", InvalidUserChange, true)},
    {CIFS_FN_USER_CONTEXT_LIST, R("user-context-list", UserContextList, false)},
    {CIFS_FN_USER_CONTEXT_ADD, R("user-context-add", UserContextChange, true)},
    {CIFS_FN_USER_CONTEXT_REMOVE, R("user-context-remove", UserContextChange, true)},
    {CIFS_FN_SHARE_MFA, R("share-mfa", ShareSwitch, true)},
    {CIFS_FN_DFS_REFERRAL_CACHE_DURATION, R("dfs-referral-cache-duration", DfsReferralCache, true)},
};

// The table indexed by function ID; every ID has exactly one entry or option row.
constexpr std::array<Row, CIFS_FN_LAST + 1> kRows = [] {
    std::array<Row, CIFS_FN_LAST + 1> rows{};
    for (const Entry &e : kEntries) rows[static_cast<size_t>(e.function)] = e.row;
    for (const tools::StoredOption &o : tools::option_rows::kOptionRows)
        rows[o.function] = R(o.name, SetOption, true);
    return rows;
}();

constexpr bool EveryFunctionOnce() {
    std::array<int, CIFS_FN_LAST + 1> seen{};
    for (const Entry &e : kEntries)
        if (e.function < 0 || e.function > CIFS_FN_LAST || seen[static_cast<size_t>(e.function)]++)
            return false;
    for (const tools::StoredOption &o : tools::option_rows::kOptionRows)
        if (o.function > CIFS_FN_LAST || seen[o.function]++) return false;
    for (int n : seen)
        if (n != 1) return false;
    return true;
}

static_assert(EveryFunctionOnce());

}  // namespace

const char *FunctionName(int function) {
    return function >= 0 && function <= CIFS_FN_LAST ? kRows[static_cast<size_t>(function)].name
                                                     : "unknown";
}

bool FunctionChangesState(int function) {
    return function >= 0 && function <= CIFS_FN_LAST &&
           kRows[static_cast<size_t>(function)].changes;
}

Response Handle(Context &ctx, const Request &req) {
    Response out;
    if (req.component != 0 || req.function > CIFS_FN_LAST) {
        out.SetStatus(tools::kUnknownFunction);
        return out;
    }
    const int32_t status = kRows[req.function].handler(ctx, req, out);
    if (status != tools::kOk) out = Response(status);  // a refusal carries the status alone
    return out;
}

}  // namespace share::sim
