// SPDX-License-Identifier: Apache-2.0
// Reading the server's configuration through the same calls the other commands use, into the
// document export prints: stable order (sorted by name where the server keeps insertion order)
// and nothing volatile (no times, counters or temporary entries).
#include <algorithm>
#include <cstdlib>

#include "client/config/config.h"
#include "client/records.h"
#include "client/server_dump.h"
#include "client/text.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"

namespace share::client::config {
namespace {

Json Sorted(Json list) {
    std::sort(list.begin(), list.end(), [](const Json &a, const Json &b) {
        return a.is_object() ? Upper(MemberName(a)) < Upper(MemberName(b)) : a < b;
    });
    return list;
}

Outcome Missing(const std::string &what) {
    return {Result::kRejected, 0, what};
}

Outcome ReadShares(const Decoders &decode, ServerState *state) {
    ShareNameList *list = nullptr;
    if (Outcome o = CallLibrary([&] { return CIFSLIB_GetShareNames(&list); }, true); !o.done())
        return o;
    std::vector<std::string> names;
    for (uint32_t i = 0; list && i < list->count; ++i)
        names.push_back(FieldString(list->names[i], SHARE_NAME_SLOT_SIZE));
    std::free(list);
    Json shares = Json::array();
    LibraryOutput capture;  // one for the whole batch of queries
    for (const auto &name : names) {
        Reply reply;
        Outcome o = Query({{CMD_SHARE, {}}, {CIFS_ACT_LIST, {}}, {CIFS_OPT_NAME, name}}, &reply);
        if (!o.done()) {
            o.message = capture.Finish();
            return o;
        }
        std::optional<Json> record = decode.share(reply.elements());
        if (!record) {
            capture.Finish();
            return Missing("the server sent no record of " + name);
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
    return {};
}

// Each option as its row reads it back from the dump (absent ones left out).
Json OptionsFrom(const Json &dump) {
    Json options = Json::object();
    for (const ServerOption &row : ServerOptions())
        if (Json value = row.read(row, dump); !value.is_null()) options[row.name] = value;
    return options;
}

Outcome ReadInvalidUsers(ServerState *state) {
    Reply reply;
    if (Outcome o = Execute({{CMD_INVALID_USER_CACHE, {}}, {CIFS_ACT_LIST, {}}}, &reply); !o.done())
        return o;
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
        return {};
    }
    return Missing("the server sent no invalid-user list");
}

Outcome Read(const Decoders &decode, ServerState *state) {
    if (Outcome o = ReadShares(decode, state); !o.done()) return o;
    Reply reply;
    if (Outcome o = Execute({{CMD_SERVER_REQUEST_4, {}}}, &reply); !o.done()) return o;
    state->doc["options"] = OptionsFrom(tools::ServerDumpJson(reply.elements()));
    if (Outcome o = ReadInvalidUsers(state); !o.done()) return o;
    std::vector<std::string> contexts;
    if (Outcome o = ReadUserContexts(&contexts); !o.done()) return o;
    state->doc["user_contexts"] = Sorted(Json(contexts));
    return {};
}

}  // namespace

std::string Upper(std::string_view text) {
    return ToUpperAscii(text);
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

Outcome ReadUserContexts(std::vector<std::string> *contexts) {
    UserContextHeader *header = nullptr;
    void *data = nullptr;
    if (Outcome o = CallLibrary([&] { return CIFSLIB_ListUserContexts(&header, &data); }, true);
        !o.done())
        return o;
    contexts->clear();
    if (header) {
        *contexts = UserContexts({static_cast<const uint8_t *>(data), header->dataLength})
                        .value_or(std::vector<std::string>{});
        std::free(header);
        std::free(data);
    }
    return {};
}

ServerState ReadServer(const Decoders &decode) {
    ServerState state;
    state.doc = Json{{"schema_version", kSchemaVersion}};
    state.outcome = Read(decode, &state);
    return state;
}

}  // namespace share::client::config
