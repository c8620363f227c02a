// SPDX-License-Identifier: Apache-2.0
// Reading the server's configuration through the same calls the other commands use, into the
// document export prints: stable order (sorted by name where the server keeps insertion order)
// and nothing volatile (no times, counters or temporary entries).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/server_formats.h"
#include "output/records.h"
#include "output/server_dump.h"
#include "shareadm/config.h"
#include "shareadm/tool.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"

namespace share::shareadm {

// Shared with `user-contexts list`.
int ReadUserContexts(const tools::Reporter &out, const std::string &action,
                     std::vector<std::string> *contexts) {
    UserContextHeader *header = nullptr;
    void *data = nullptr;
    if (int e = Call(out, action, [&] { return CIFSLIB_ListUserContexts(&header, &data); }); e >= 0)
        return e;
    contexts->clear();
    if (header) {
        *contexts = UserContexts({static_cast<const uint8_t *>(data), header->dataLength})
                        .value_or(std::vector<std::string>{});
        std::free(header);
        std::free(data);
    }
    return -1;
}

}  // namespace share::shareadm

namespace share::shareadm::config {
namespace {

bool ByUpperName(const Json &a, const Json &b) {
    return Upper(a["name"].get<std::string>()) < Upper(b["name"].get<std::string>());
}

Json Sorted(Json list) {
    std::sort(list.begin(), list.end(), [](const Json &a, const Json &b) {
        return a.is_object() ? ByUpperName(a, b) : a < b;
    });
    return list;
}

int ReadShares(const tools::Reporter &out, const std::string &action, ServerState *state) {
    ShareNameList *list = nullptr;
    if (int e = Call(out, action, [&] { return CIFSLIB_GetShareNames(&list); }); e >= 0) return e;
    std::vector<std::string> names;
    for (uint32_t i = 0; list && i < list->count; ++i)
        names.push_back(tools::FieldString(list->names[i], SHARE_NAME_SLOT_SIZE));
    std::free(list);
    Json shares = Json::array();
    tools::LibraryOutput capture;  // one for the whole batch of queries
    for (const auto &name : names) {
        Reply reply;
        const Outcome o =
            Query({{CMD_SHARE, {}}, {CIFS_ACT_LIST, {}}, {CIFS_OPT_NAME, name}}, &reply);
        if (!o.done()) {
            Outcome failed = o;
            failed.message = capture.Finish();
            return out.Report(action, failed);
        }
        std::optional<Json> record = ShareReplyJson(reply.elements());
        if (!record) {
            capture.Finish();
            return out.Rejected(action, "the server sent no record of " + name);
        }
        if (Upper((*record)["name"].get<std::string>()) ==
            Upper((*record)["volume"].get<std::string>())) {
            state->volumes.push_back((*record)["volume"].get<std::string>());
            continue;
        }
        Json share = Json::object();
        for (const char *key : kShareFields) share[key] = (*record)[key];
        state->clients[Upper(share["name"].get<std::string>())] = record->value("clients", 0L);
        shares.push_back(std::move(share));
    }
    capture.Finish();
    state->doc["shares"] = Sorted(std::move(shares));
    return -1;
}

// The dump's settings under the names and in the form of their setters.
Json OptionsFrom(const Json &dump) {
    Json options = dump["options"];
    Json caches = Json::object();
    for (const char *kind : {"sdircache", "dircache", "filecache"})
        if (dump["caches"].contains(kind)) caches[kind] = dump["caches"][kind];
    options["cache"] = caches;
    if (dump["dfs_referral_cache"].is_object())
        options["dfs-referral-cache-duration"] = dump["dfs_referral_cache"]["minutes"];
    Json byDefault = Json::object();
    std::vector<std::string> servers;
    for (const auto &[server, on] : dump["share_volumes_by_default"].items())
        servers.push_back(server);
    std::sort(servers.begin(), servers.end());
    for (const auto &s : servers)
        byDefault[s] = dump["share_volumes_by_default"][s].get<bool>() ? "YES" : "NO";
    options["share-volumes-by-default"] = byDefault;
    options["virtual-server"] = Sorted(dump["virtual_servers"]);
    options["dns-entry"] = Sorted(dump["dns_entries"]);
    options["multichannel-interface"] = Sorted(dump["multichannel_interfaces"]);
    return options;
}

int ReadInvalidUsers(const tools::Reporter &out, const std::string &action, ServerState *state) {
    Reply reply;
    if (int e =
            RunCommand(out, action, {{CMD_INVALID_USER_CACHE, {}}, {CIFS_ACT_LIST, {}}}, &reply);
        e >= 0)
        return e;
    for (const auto &el : reply.elements()) {
        if (el.type != CIFS_ELEM_INVALID_USERS) continue;
        const auto list = DecodeInvalidUsers(el.payload);
        if (!list) break;
        Json permanent = Json::array();
        for (const auto &u : list->users) {
            if (u.permanent)
                permanent.push_back(u.name);
            else
                state->temporaryUsers.insert(Upper(u.name));
        }
        state->doc["invalid_users"] = {{"timeout_minutes", list->timeoutMinutes},
                                       {"permanent", Sorted(permanent)}};
        return -1;
    }
    return out.Rejected(action, "the server sent no invalid-user list");
}

int ReadContexts(const tools::Reporter &out, const std::string &action, ServerState *state) {
    std::vector<std::string> contexts;
    if (int e = ReadUserContexts(out, action, &contexts); e >= 0) return e;
    state->doc["user_contexts"] = Sorted(Json(contexts));
    return -1;
}

}  // namespace

std::string Upper(std::string_view text) {
    return tools::ToUpperAscii(text);
}

std::string PointerToken(std::string_view key) {
    std::string out;
    for (char c : key) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

int ReadServer(const tools::Reporter &out, const std::string &action, ServerState *state) {
    state->doc = Json{{"schema_version", kSchemaVersion}};
    if (int e = ReadShares(out, action, state); e >= 0) return e;
    Reply reply;
    if (int e = RunCommand(out, action, {{CMD_SERVER_REQUEST_4, {}}}, &reply); e >= 0) return e;
    state->doc["options"] = OptionsFrom(ServerDumpJson(reply.elements()));
    if (int e = ReadInvalidUsers(out, action, state); e >= 0) return e;
    return ReadContexts(out, action, state);
}

}  // namespace share::shareadm::config
