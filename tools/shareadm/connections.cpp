// SPDX-License-Identifier: Apache-2.0
// shareadm connections / files / clear-connections.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/server_formats.h"
#include "shareadm/listings.h"
#include "shareadm/records.h"
#include "shareadm/tool.h"
#include "shareadmin/api.h"

namespace share::shareadm {
namespace {

struct ConnParams {
    std::string id;
    bool withFiles = false;
    bool nullSessions = false;
    std::string path, volume, connection;
    bool modified = false;
    bool writeOnly = false;
    uint32_t first = 0, max = 0;
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

// Connection records of a reply (type 41, at least the fixed part), decoded.
Json Records(const Reply &reply, bool withFiles) {
    Json list = Json::array();
    for (const auto &el : reply.elements()) {
        if (el.type != CIFS_ELEM_CONNECTION) continue;
        if (withFiles) {
            if (auto j = ConnectionWithFiles(el.payload, false)) list.push_back(*j);
        } else if (el.payload.size() >= sizeof(ConnectionRecord)) {
            ConnectionRecord r;
            std::memcpy(&r, el.payload.data(), sizeof r);
            list.push_back(ConnectionJson(r));
        }
    }
    return list;
}

int ListCmd(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    Json list = Json::array();
    if (p.withFiles || p.nullSessions) {
        Reply reply;
        const int32_t variant = p.withFiles ? CIFS_OPT_LIST_VARIANT_8 : CIFS_OPT_LIST_VARIANT_9;
        if (int e = RunCommand(out, "connections list",
                               {{CMD_CONNECTIONS, {}}, {CIFS_ACT_LIST, {}}, {variant, {}}}, &reply);
            e >= 0)
            return e;
        list = Records(reply, false);
    } else {
        ConnectionList *cl = nullptr;
        if (int e = Call(out, "connections list", [&] { return CIFSLIB_GetConnectionsList(&cl); });
            e >= 0)
            return e;
        if (cl) {
            const auto *records = static_cast<const ConnectionRecord *>(cl->records);
            for (int32_t i = 0; i < cl->count; ++i)
                if (records[i].connectionId != 0) list.push_back(ConnectionJson(records[i]));
            std::free(cl->records);
            std::free(cl);
        }
    }
    return out.List(kConnectionListing, std::move(list));
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
    Json list = Records(files, true);
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
    int result;
    std::string message;
    {
        tools::LibraryOutput capture;
        result = CIFSLIB_GetConnectionMappedShares(p.id.c_str(), &list);
        message = capture.Finish();
    }
    // -1 from a reachable server after a valid command is the library's answer for a
    // connection without mapped shares.
    if (result == -1 && !tools::ServerReachable()) return out.Unreachable(action);
    if (result != 0 && result != -1)
        return RefusedFor(out, action, result,
                          {{tools::kNoSuchConnection, "ID", "the connection ID", p.id}});
    return ListShares(out, action, result == 0 ? list : nullptr, true);
}

// ---- Open files ----

int SelectorCount(const ConnParams &p) {
    return !p.path.empty() + !p.volume.empty() + !p.connection.empty();
}

int FilesList(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    const std::string action = "files list";
    if (SelectorCount(p) != 1)
        return out.Rejected(action, "give exactly one of --path, --volume and --connection");
    tools::OpenFilesQuery q{};
    std::string strings;
    long id = 0;
    if (!p.connection.empty()) {
        if (!tools::ParseNumber(p.connection, 0, 65535, &id))
            return out.Rejected(action, "a connection ID is a number from 0 to 65535");
        q.connectionId = static_cast<uint32_t>(id);
        q.nameOffset = OPEN_FILES_BY_CONNECTION;
    } else {
        strings = (p.path.empty() ? p.volume : p.path) + '\0';
        q.nameOffset = 0;
    }
    q.first = p.first;
    q.maxEntries = p.max;
    q.flags = p.writeOnly ? uint32_t{tools::kQueryWriteOnly} : 0u;
    q.stringBytes = static_cast<uint32_t>(strings.size());
    std::vector<uint8_t> record(sizeof q + strings.size());
    std::memcpy(record.data(), &q, sizeof q);
    std::memcpy(record.data() + sizeof q, strings.data(), strings.size());
    void *reply = nullptr;
    if (int e = Call(out, action,
                     [&] {
                         return CIFSLIB_ListOpenFiles(
                             reinterpret_cast<OpenFilesRequest *>(record.data()), &reply);
                     });
        e >= 0)
        return e;
    // The reply's length is not handed over: its header states it, bounded by the block.
    std::optional<Json> files;
    if (reply) {
        const size_t block = malloc_usable_size(reply);
        tools::OpenFilesReplyHead head{};
        if (block >= sizeof head) std::memcpy(&head, reply, sizeof head);
        files = OpenFilesJson(
            {static_cast<const uint8_t *>(reply), std::min<size_t>(head.totalBytes, block)});
        std::free(reply);
    }
    if (!files) return out.Rejected(action, "the server's open-files reply is malformed");
    return out.List(kOpenFileListing, std::move((*files)["files"]),
                    Json{{"total", (*files)["total"]}});
}

int FilesHolders(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    const std::string action = "files holders";
    if (SelectorCount(p) != 1)
        return out.Rejected(action, "give exactly one of --path, --volume and --connection");
    std::vector<Arg> args{{CMD_FILES, {}}, {CIFS_ACT_LIST, {}}};
    if (p.modified) args.push_back({CIFS_OPT_LIST_MODIFIER, {}});
    if (!p.path.empty()) args.push_back({CIFS_OPT_PATH, p.path});
    if (!p.volume.empty()) args.push_back({CIFS_OPT_VOLUME, p.volume});
    if (!p.connection.empty()) args.push_back({CIFS_OPT_CONNECTION_ID, p.connection});
    Reply reply;
    if (int e = RunCommand(out, action, args, &reply); e >= 0) return e;
    return out.List(kHolderListing, Records(reply, true));
}

// The selector of files close and what a refusal of it concerns.
struct Selection {
    Arg arg;
    std::string what;  // "connection 4", "volume VOL1", "path VOL1:/a"
    Blames blames;
};

Selection Select(const ConnParams &p) {
    if (!p.path.empty())
        return {{CIFS_OPT_PATH, p.path},
                "path " + p.path,
                {{tools::kNoSuchFile, "--path", "the path", p.path},
                 {tools::kNoSuchVolume, "--path", "the path", p.path},
                 {tools::kInvalidValue, "--path", "the path", p.path}}};
    if (!p.volume.empty())
        return {{CIFS_OPT_VOLUME, p.volume},
                "volume " + p.volume,
                {{tools::kNoSuchVolume, "--volume", "the volume", p.volume}}};
    return {{CIFS_OPT_CONNECTION_ID, p.connection},
            "connection " + p.connection,
            {{tools::kNoSuchConnection, "--connection", "the connection ID", p.connection}}};
}

// The open files the selection covers, one {connection, user, path} object each. A path that is
// not open covers nothing when noneOk, else is reported.
int Covered(const tools::Reporter &out, const std::string &action, const Selection &s, bool noneOk,
            Json *files) {
    Reply reply;
    if (int e = RunCommand(out, action, {{CMD_FILES, {}}, {CIFS_ACT_LIST, {}}, s.arg}, &reply,
                           s.blames, noneOk ? tools::kNoSuchFile : 0);
        e >= 0)
        return e;
    *files = Json::array();
    for (const auto &c : Records(reply, true))
        for (const auto &f : c["files"])
            files->push_back({{"connection", c["id"]}, {"user", c["user"]}, {"path", f["path"]}});
    return -1;
}

std::string FileLines(const Json &files) {
    tools::Table t({"CONN", "USER", "PATH"});
    for (const auto &f : files)
        t.Row({std::to_string(f["connection"].get<int>()), f["user"], f["path"]});
    return t.Render();
}

std::string Plural(size_t n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int FilesClose(const Tool &tool, const ConnParams &p) {
    const auto out = tool.out();
    const std::string action = "files close";
    if (SelectorCount(p) != 1)
        return out.Rejected(action, "give exactly one of --path, --volume and --connection");
    const Selection s = Select(p);
    Json before;
    if (int e = Covered(out, action, s, false, &before); e >= 0) return e;
    if (p.dryRun)
        return out.Success(Json{{"ok", true},
                                {"action", action},
                                {"dry_run", true},
                                {"would_close", before.size()},
                                {"files", before}},
                           before.empty()
                               ? "Nothing to close: " + s.what + " holds no open files.\n"
                               : "Would close " + Plural(before.size(), "open file", "open files") +
                                     " of " + s.what + ":\n" + FileLines(before));
    if (before.empty())
        return out.Success(Json{{"ok", true}, {"action", action}, {"closed", 0}, {"files", before}},
                           "Nothing to close: " + s.what + " holds no open files.");
    if (!p.path.empty()) {
        std::vector<char> rec(OPEN_FILE_INFO_FIXED_SIZE + p.path.size() + 1, 0);
        auto *info = reinterpret_cast<OpenFileInfo *>(rec.data());
        info->pathOffset = 0;
        std::memcpy(rec.data() + OPEN_FILE_INFO_FIXED_SIZE, p.path.c_str(), p.path.size() + 1);
        if (int e = Call(
                out, action, [&] { return CIFSLIB_CloseOpenFile(info); }, s.blames);
            e >= 0)
            return e;
    } else if (!p.volume.empty()) {
        // Only the volume name of the record is read; the other texts are empty.
        std::vector<char> rec(SHARE_INFO_FIXED_SIZE + 1 + p.volume.size() + 1, 0);
        auto *info = reinterpret_cast<ShareInfo *>(rec.data());
        info->volumeOffset = 1;
        info->stringBytes = static_cast<uint32_t>(rec.size() - SHARE_INFO_FIXED_SIZE);
        std::memcpy(rec.data() + SHARE_INFO_FIXED_SIZE + 1, p.volume.c_str(), p.volume.size() + 1);
        if (int e = Call(
                out, action, [&] { return CIFSLIB_CloseAllOpenFiles(info); }, s.blames);
            e >= 0)
            return e;
    } else {
        Reply reply;
        if (int e = RunCommand(out, action, {{CMD_FILES, {}}, {CIFS_ACT_CLOSE, {}}, s.arg}, &reply,
                               s.blames);
            e >= 0)
            return e;
    }
    // What was open before and is no longer is what this closed.
    Json after;
    if (int e = Covered(out, action, s, true, &after); e >= 0) return e;
    Json closed = Json::array();
    for (const auto &f : before)
        if (std::find(after.begin(), after.end(), f) == after.end()) closed.push_back(f);
    return out.Success(
        Json{{"ok", true}, {"action", action}, {"closed", closed.size()}, {"files", closed}},
        closed.empty() ? "Nothing was closed: the files of " + s.what + " are still open.\n"
                       : "Closed " + Plural(closed.size(), "open file", "open files") + " of " +
                             s.what + ":\n" + FileLines(closed));
}

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
                                 "; " + std::to_string(after.size()) + " remain:\n" +
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

    CLI::App *files = app.add_subcommand("files", "Open files: list, holders, close");
    files->alias("file");
    files->require_subcommand(1);
    auto selectors = [&](CLI::App *cmd, const char *verb) {
        tools::Checked(cmd->add_option("--path", p->path,
                                       std::string(verb) + " by full path VOLUME:/dir/file"),
                       "file-path");
        tools::Checked(cmd->add_option("--volume", p->volume, std::string(verb) + " by volume"),
                       "volume");
        tools::Checked(
            cmd->add_option("--connection", p->connection, std::string(verb) + " by connection ID"),
            "connection-id");
    };
    CLI::App *flist =
        Leaf(tool, files, "list", "List open files (--path lists a directory's files)",
             [&tool, p] { return FilesList(tool, *p); });
    selectors(flist, "Select");
    flist->add_flag("--write-only", p->writeOnly, "Only files open for writing");
    tools::Checked(flist->add_option("--first", p->first, "Skip this many matching files"),
                   "entries");
    tools::Checked(flist->add_option("--max", p->max, "Show at most this many files"), "entries");
    tools::AddListingOptions(flist, tool.output, kOpenFileListing);
    CLI::App *holders =
        Leaf(tool, files, "holders", "Connections holding files open, with the files",
             [&tool, p] { return FilesHolders(tool, *p); });
    selectors(holders, "Select");
    holders->add_flag("--modified", p->modified, "Use the server's modified listing");
    tools::AddListingOptions(holders, tool.output, kHolderListing);
    CLI::App *close =
        Leaf(tool, files, "close", "Close open files", [&tool, p] { return FilesClose(tool, *p); });
    selectors(close, "Close");
    close->add_flag("--dry-run", p->dryRun, "List what would be closed; close nothing");

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
