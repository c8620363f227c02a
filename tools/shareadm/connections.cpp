// SPDX-License-Identifier: Apache-2.0
// shareadm connections / clear-connections.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/server_formats.h"
#include "output/listings.h"
#include "output/records.h"
#include "shareadm/tool.h"
#include "shareadmin/api.h"

namespace share::shareadm {
namespace {

struct ConnParams {
    std::string id;
    bool withFiles = false;
    bool nullSessions = false;
    std::string type, idle, count;
    bool dryRun = false;
};

int32_t Count(const tools::Reporter &out, int *exitCode) {
    int32_t n = 0;
    *exitCode = Call(out, "connections count", [&] { return CIFSLIB_GetConnectionsCount(&n); });
    return n;
}

int CountCmd(const Tool &tool) {
    const auto out = tool.out();
    int e;
    const int32_t n = Count(out, &e);
    if (e >= 0) return e;
    return out.Success(Json{{"count", n}}, std::to_string(n) + " connections");
}

}  // namespace

Json ConnectionRecords(const Reply &reply, bool withFiles) {
    Json list = Json::array();
    for (const auto &el : reply.elements()) {
        if (el.type != CIFS_ELEM_CONNECTION) continue;
        if (withFiles) {
            if (auto d = DecodeConnectionInfo(el.payload, false))
                list.push_back(ConnectionInfoJson(*d));
        } else if (el.payload.size() >= sizeof(ConnectionRecord)) {
            ConnectionRecord r;
            std::memcpy(&r, el.payload.data(), sizeof r);
            list.push_back(ConnectionJson(r));
        }
    }
    return list;
}

namespace {

int ListCmd(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    if (p.withFiles || p.nullSessions) {
        Reply reply;
        const int32_t variant = p.withFiles ? CIFS_OPT_LIST_VARIANT_8 : CIFS_OPT_LIST_VARIANT_9;
        if (int e = RunCommand(out, "connections list",
                               {{CMD_CONNECTIONS, {}}, {CIFS_ACT_LIST, {}}, {variant, {}}}, &reply);
            e >= 0)
            return e;
        return out.List(kConnectionListing, ConnectionRecords(reply, false));
    }
    ConnectionList *cl = nullptr;
    if (int e = Call(out, "connections list", [&] { return CIFSLIB_GetConnectionsList(&cl); });
        e >= 0)
        return e;
    // The rows are made from the library's records as they are printed; the records of closed
    // connections (ID 0) move out first.
    ConnectionRecord *records = cl ? static_cast<ConnectionRecord *>(cl->records) : nullptr;
    const ConnectionRecord *end =
        records ? std::remove_if(records, records + std::max(cl->count, 0),
                                 [](const ConnectionRecord &r) { return r.connectionId == 0; })
                : records;
    const int e = out.List(
        kConnectionListing,
        tools::FieldRows(records, static_cast<size_t>(end - records), tools::kConnectionFields));
    if (cl) {
        std::free(cl->records);
        std::free(cl);
    }
    return e;
}

int ShowCmd(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    const std::string action = "connections show";
    if (int e = DryRun(out, action, {{CMD_CONNECTIONS, {}}, {CIFS_ACT_CONNECTION, p.id}}); e >= 0)
        return e;
    ConnectionRecord record;
    std::memset(&record, 0xFF, sizeof record);
    void *sev = nullptr;
    const Blames blames{{tools::kNoSuchConnection, "ID", "the connection ID", p.id}};
    if (int e = Call(
            out, action, [&] { return CIFSLIB_GetConnectionDetails(p.id.c_str(), &record, &sev); },
            blames);
        e >= 0)
        return e;
    if (record.connectionId == 0xFFFF && record.text20[0] == '\xFF')
        return out.Rejected(action, "the server sent no usable connection record");
    Json c = ConnectionJson(record);
    if (sev) {
        const auto *bytes = static_cast<const uint8_t *>(sev);
        c["security_equivalences"] =
            SecurityEquivalences({bytes, record.secEquivLength}, record.secEquivCount)
                .value_or(std::vector<std::string>{});
        std::free(sev);
    }
    // The details carry no names for the files; the connection's file listing does.
    Reply files;
    if (int e = RunCommand(out, action,
                           {{CMD_FILES, {}}, {CIFS_ACT_LIST, {}}, {CIFS_OPT_CONNECTION_ID, p.id}},
                           &files, blames);
        e >= 0)
        return e;
    Json list = ConnectionRecords(files, true);
    c["files"] = list.empty() ? Json::array() : list[0]["files"];
    return out.Success(c, ConnectionDetails(c));
}

int SharesCmd(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    const std::string action = "connections shares";
    if (int e = DryRun(out, action, {{CMD_CONNECTIONS, {}}, {CIFS_ACT_MAPPED_SHARES, p.id}});
        e >= 0)
        return e;
    ShareInfoList *list = nullptr;
    const Outcome o =
        CallLibrary([&] { return CIFSLIB_GetConnectionMappedShares(p.id.c_str(), &list); });
    // A -1 the library does not explain, after a valid command, is its answer for a connection
    // without mapped shares.
    if (o.result == Result::kRefused)
        return RefusedFor(out, action, o.status,
                          {{tools::kNoSuchConnection, "ID", "the connection ID", p.id}});
    if (o.result != Result::kRejected && !o.done()) return out.Report(action, o);
    return ListShares(out, action, o.done() ? list : nullptr, true);
}

// ---- Open files ----

// The connections a clear would drop: of the type, idle long enough, the longest idle first,
// at most count.
Json ClearCandidates(const Json &connections, const ConnParams &p) {
    const bool nullOnly = tools::ToUpperAscii(p.type) == "NULL";
    long idle = 0, count = 65535;
    tools::ParseNumber(p.idle, 0, 65535, &idle);
    tools::ParseNumber(p.count, 1, 65535, &count);
    Json list = Json::array();
    for (const auto &c : connections)
        if ((!nullOnly || c["null_session"].get<bool>()) &&
            c["idle_seconds"].get<long>() >= idle * 60)
            list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [](const Json &a, const Json &b) {
        return a["idle_seconds"].get<long>() > b["idle_seconds"].get<long>();
    });
    if (list.size() > static_cast<size_t>(count)) list.erase(list.begin() + count, list.end());
    return list;
}

int Connections(const tools::Reporter &out, const std::string &action, Json *list) {
    ConnectionList *cl = nullptr;
    if (int e = Call(out, action, [&] { return CIFSLIB_GetConnectionsList(&cl); }); e >= 0)
        return e;
    *list = Json::array();
    if (cl) {
        const auto *records = static_cast<const ConnectionRecord *>(cl->records);
        for (int32_t i = 0; i < cl->count; ++i)
            if (records[i].connectionId != 0) list->push_back(ConnectionJson(records[i]));
        std::free(cl->records);
        std::free(cl);
    }
    return -1;
}

std::string ConnectionLines(const Json &list) {
    tools::Table t({"ID", "USER", "ADDRESS", "IDLE"});
    for (const auto &c : list)
        t.Row({std::to_string(c["id"].get<int>()),
               c["null_session"].get<bool>() ? "(null session)" : c["user"].get<std::string>(),
               c["address"], tools::FormatDuration(c["idle_seconds"].get<long>())});
    return t.Render();
}

int ClearCmd(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    const std::string action = "clear-connections";
    const std::vector<Arg> args{{CMD_CLEAR_CONNECTIONS, {}},
                                {CIFS_OPT_CONN_TYPE, p.type},
                                {CIFS_OPT_IDLE_TIME, p.idle},
                                {CIFS_OPT_CONN_COUNT, p.count}};
    if (int e = DryRun(out, action, args); e >= 0) return e;
    Json before;
    if (int e = Connections(out, action, &before); e >= 0) return e;
    if (p.dryRun) {
        const Json would = ClearCandidates(before, p);
        return out.Success(Json{{"ok", true},
                                {"action", action},
                                {"dry_run", true},
                                {"would_clear", would.size()},
                                {"connections", would}},
                           would.empty() ? "Nothing to clear: no connection matches.\n"
                                         : "Would clear " +
                                               Plural(would.size(), "connection", "connections") +
                                               ":\n" + ConnectionLines(would));
    }
    Reply reply;
    if (int r = RunCommand(out, action, args, &reply); r >= 0) return r;
    Json after;
    if (int e = Connections(out, action, &after); e >= 0) return e;
    Json cleared = Json::array();
    for (const auto &c : before)
        if (std::none_of(after.begin(), after.end(),
                         [&](const Json &a) { return a["id"] == c["id"]; }))
            cleared.push_back(c);
    return out.Success(Json{{"ok", true},
                            {"action", action},
                            {"cleared", cleared.size()},
                            {"remaining", after.size()},
                            {"connections", cleared}},
                       cleared.empty()
                           ? "Nothing to clear: no connection matched; " +
                                 std::to_string(after.size()) + " remain.\n"
                           : "Cleared " + Plural(cleared.size(), "connection", "connections") +
                                 " (" + std::to_string(after.size()) + " remain):\n" +
                                 ConnectionLines(cleared));
}

}  // namespace

void RegisterConnections(CLI::App &app, Tool &tool) {
    auto p = std::make_shared<ConnParams>();
    CLI::App *conn =
        app.add_subcommand("connections", "Client connections: count, list, show, mapped shares");
    conn->alias("connection");
    conn->require_subcommand(1);
    Leaf(tool, conn, "count", "Number of client connections", [&tool] { return CountCmd(tool); });
    CLI::App *list = Leaf(tool, conn, "list", "List client connections",
                          [&tool, p] { return ListCmd(tool, *p); });
    tools::AddListingOptions(list, tool.output, kConnectionListing);
    auto *wf =
        list->add_flag("--with-files", p->withFiles, "Only connections that hold files open");
    list->add_flag("--null-sessions", p->nullSessions, "Only null-session (anonymous) connections")
        ->excludes(wf);
    tools::Checked(Leaf(tool, conn, "show",
                        "Details of one connection: user, security equivalences, open files",
                        [&tool, p] { return ShowCmd(tool, *p); })
                       ->add_option("ID", p->id, "Connection ID")
                       ->required(),
                   "connection-id");
    CLI::App *mapped = Leaf(tool, conn, "shares", "Shares one connection has mapped",
                            [&tool, p] { return SharesCmd(tool, *p); });
    tools::Checked(mapped->add_option("ID", p->id, "Connection ID")->required(), "connection-id");
    tools::AddListingOptions(mapped, tool.output, kMappedShareListing);

    RegisterFiles(app, tool);

    CLI::App *clear = Leaf(tool, &app, "clear-connections", "Drop idle client connections",
                           [&tool, p] { return ClearCmd(tool, *p); });
    tools::Checked(
        clear->add_option("--type", p->type, "ALL or NULL (null sessions only)")->required(),
        "clear-type");
    tools::Checked(clear->add_option("--idle", p->idle, "Minimum idle time in minutes")->required(),
                   "idle-minutes");
    tools::Checked(
        clear->add_option("--count", p->count, "At most this many connections")->required(),
        "clear-count");
    clear->add_flag("--dry-run", p->dryRun, "List the connections that match; clear nothing");
}

}  // namespace share::shareadm
