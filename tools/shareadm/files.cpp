// SPDX-License-Identifier: Apache-2.0
// shareadm files: list, holders, close.
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

struct FileParams {
    std::string path, volume, connection;
    bool modified = false;
    bool writeOnly = false;
    uint32_t first = 0, max = 0;
    bool dryRun = false;
};

int SelectorCount(const FileParams &p) {
    return !p.path.empty() + !p.volume.empty() + !p.connection.empty();
}

int FilesList(const Tool &tool, const FileParams &p) {
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
    std::vector<uint8_t> record = OpenFilesRequestRecord(q, strings);
    void *reply = nullptr;
    if (int e = Call(out, action,
                     [&] {
                         return CIFSLIB_ListOpenFiles(
                             reinterpret_cast<OpenFilesRequest *>(record.data()), &reply);
                     });
        e >= 0)
        return e;
    const std::optional<OpenFiles> files = TakeOpenFiles(reply);
    if (!files) return out.Rejected(action, "the server's open-files reply is malformed");
    return out.List(kOpenFileListing,
                    tools::RowsOf(files->files.data(), files->files.size(),
                                  [](const client::OpenFile &f) { return OpenFileJson(f); }),
                    Json{{"total", files->total}});
}

int FilesHolders(const Tool &tool, const FileParams &p) {
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
    return out.List(kHolderListing, ConnectionRecords(reply, true));
}

// The selector of files close and what a refusal of it concerns.
struct Selection {
    Arg arg;
    std::string what;  // "connection 4", "volume VOL1", "path VOL1:/a"
    Blames blames;
};

Selection Select(const FileParams &p) {
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
    for (const auto &c : ConnectionRecords(reply, true))
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

int FilesClose(const Tool &tool, const FileParams &p) {
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

}  // namespace

void RegisterFiles(CLI::App &app, Tool &tool) {
    auto p = std::make_shared<FileParams>();
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
}

}  // namespace share::shareadm
