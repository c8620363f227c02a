// SPDX-License-Identifier: Apache-2.0
// sharemon close-file / close-volume / close-connection. What was open before and is no longer
// is what was closed, so the count is the server's doing, not an echo of the request; --dry-run
// lists what would be closed and sends nothing that changes anything.
#include "sharemon/close.h"

#include <algorithm>
#include <memory>

#include "cli/value_checks.h"
#include "client/outcome.h"
#include "client/pipeline.h"
#include "client/records.h"
#include "common/server_formats.h"
#include "output/command_report.h"
#include "shareadmin/monitor.h"

namespace share::sharemon {
namespace {

using client::Blames;
using tools::Json;
using tools::Reporter;

// One open file: the connection holding it, its user and the full path.
using Files = std::vector<Json>;

// Runs an Ext_* call that must succeed: -1 when it did, else the exit status. A -1 the library
// does not explain is its answer for an empty listing where emptyOk, else a server gone during
// the exchange (the values were checked before).
template <class F>
int Library(const Reporter &out, const std::string &action, const Blames &blames, bool emptyOk,
            F &&call) {
    const client::Outcome o = client::CallLibrary(std::forward<F>(call), !emptyOk);
    if (o.result == client::Result::kRefused)
        return tools::RefusedFor(out, action, o.status, blames);
    if (o.result == client::Result::kRejected && emptyOk) return -1;
    return out.Report(action, o);
}

int VolumeFiles(const Reporter &out, const std::string &action, const std::string &volume,
                const Blames &blames, Files *files) {
    std::vector<uint8_t> request = client::VolumeFilesRequest(volume);
    void *reply = nullptr;
    if (int e = Library(out, action, blames, false,
                        [&] {
                            return CIFSLIB_ListOpenFiles(
                                reinterpret_cast<OpenFilesRequest *>(request.data()), &reply);
                        });
        e >= 0)
        return e;
    const std::optional<client::OpenFiles> list = client::TakeOpenFiles(reply);
    if (!list) return out.Rejected(action, "the server's open-files reply is malformed");
    for (const auto &f : list->files)
        files->push_back({{"connection", +f.connection}, {"user", f.user}, {"path", f.path}});
    return -1;
}

int ConnectionFiles(const Reporter &out, const std::string &action, int32_t id,
                    const Blames &blames, Files *files) {
    UserDetailsNode *node = nullptr;
    if (int e = Library(out, action, blames, false, [&] { return Ext_GetConnInfo(id, &node); });
        e >= 0)
        return e;
    if (node == nullptr) return out.Rejected(action, "the server sent no connection record");
    for (uint16_t i = 0; node->openFileNames && i < node->openFileCount; ++i)
        files->push_back({{"connection", +node->connectionId},
                          {"user", tools::FieldString(node->text36)},
                          {"path", node->openFileNames[i]}});
    FreeUserDetailsNode(&node);
    return -1;
}

// "VOL1:/a//b/" and "vol1:/a/b" name the same file.
std::string SamePathKey(const std::string &path) {
    const size_t colon = path.find(':');
    std::string key = tools::ToUpperAscii(path.substr(0, colon)) + ":";
    if (colon == std::string::npos) return key;
    for (char c : path.substr(colon + 1))
        if (c != '/' || key.back() != '/') key += c;
    if (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

struct CloseParams {
    std::string volume, path, id;
    bool dryRun = false;
};

// One close command: how it lists what it covers and how it closes.
struct CloseCommand {
    std::string action;
    std::string what;  // "connection 4", "volume VOL1", "path VOL1:/a"
    Blames blames;
    std::function<int(const Reporter &, Files *)> list;
    std::function<int()> close;
    bool sendWhenNothing;  // let the server say that nothing matches
};

std::string FileLines(const Files &files) {
    tools::Table t({"CONN", "USER", "PATH"});
    for (const auto &f : files)
        t.Row({std::to_string(f["connection"].get<int>()), f["user"], f["path"]});
    return t.Render();
}

std::string OpenFiles(size_t n) {
    return std::to_string(n) + (n == 1 ? " open file" : " open files");
}

int RunClose(const Reporter &out, const CloseCommand &c, bool dryRun) {
    Files before;
    if (int e = c.list(out, &before); e >= 0) return e;
    const std::string nothing = "Nothing to close: " + c.what + " holds no open files.\n";
    if (dryRun)
        return out.Success(Json{{"ok", true},
                                {"action", c.action},
                                {"dry_run", true},
                                {"would_close", before.size()},
                                {"files", before}},
                           before.empty() ? nothing
                                          : "Would close " + OpenFiles(before.size()) + " of " +
                                                c.what + ":\n" + FileLines(before));
    if (before.empty() && !c.sendWhenNothing)
        return out.Success(
            Json{{"ok", true}, {"action", c.action}, {"closed", 0}, {"files", Json::array()}},
            nothing);
    if (int e = Library(out, c.action, c.blames, false, c.close); e >= 0) return e;
    Files after;
    if (int e = c.list(out, &after); e >= 0) return e;
    Json closed = Json::array();
    for (const auto &f : before)
        if (std::find(after.begin(), after.end(), f) == after.end()) closed.push_back(f);
    return out.Success(
        Json{{"ok", true}, {"action", c.action}, {"closed", closed.size()}, {"files", closed}},
        closed.empty()
            ? "Nothing was closed: the files of " + c.what + " are still open.\n"
            : "Closed " + OpenFiles(closed.size()) + " of " + c.what + ":\n" + FileLines(closed));
}

CloseCommand CloseFile(const CloseParams &p) {
    const std::string action = "close-file";
    const std::string volume = p.path.substr(0, p.path.find(':'));
    const std::string key = SamePathKey(p.path);
    const Blames blames{{tools::kNoSuchFile, "PATH", "the path", p.path},
                        {tools::kNoSuchVolume, "PATH", "the path", p.path},
                        {tools::kInvalidValue, "PATH", "the path", p.path}};
    return {action,
            "path " + p.path,
            blames,
            [=](const Reporter &out, Files *files) {
                Files all;
                if (int e = VolumeFiles(out, action, volume, blames, &all); e >= 0) return e;
                for (auto &f : all)
                    if (SamePathKey(f["path"]) == key) files->push_back(std::move(f));
                return -1;
            },
            [path = p.path] { return Ext_CloseFileByFileName(path.c_str()); },
            true};
}

CloseCommand CloseVolume(const CloseParams &p) {
    const std::string action = "close-volume";
    const Blames blames{{tools::kNoSuchVolume, "VOLUME", "the volume", p.volume}};
    return {action,
            "volume " + p.volume,
            blames,
            [=, volume = p.volume](const Reporter &out, Files *files) {
                return VolumeFiles(out, action, volume, blames, files);
            },
            [volume = p.volume] { return Ext_CloseFileByVolume(volume.c_str()); },
            false};
}

CloseCommand CloseConnection(const CloseParams &p) {
    const std::string action = "close-connection";
    long id = 0;
    tools::ParseNumber(p.id, 0, 65535, &id);
    const Blames blames{{tools::kNoSuchConnection, "ID", "the connection ID", p.id}};
    return {action,
            "connection " + p.id,
            blames,
            [=](const Reporter &out, Files *files) {
                return ConnectionFiles(out, action, static_cast<int32_t>(id), blames, files);
            },
            [id] { return Ext_CloseFileByID(static_cast<int32_t>(id)); },
            false};
}

}  // namespace

void RegisterClose(CLI::App &app, std::function<int(const Reporter &)> &run) {
    auto p = std::make_shared<CloseParams>();
    struct Row {
        const char *name;
        const char *help;
        const char *positional;
        std::string CloseParams::*value;
        const char *valueHelp;
        const char *rule;
        CloseCommand (*command)(const CloseParams &);
    };
    static const Row rows[] = {
        {"close-file", "Close a file by its full path", "PATH", &CloseParams::path,
         "Full path VOLUME:/dir/file", "file-path", CloseFile},
        {"close-volume", "Close every open file of a volume", "VOLUME", &CloseParams::volume,
         "Volume name", "volume", CloseVolume},
        {"close-connection", "Close every open file of a connection", "ID", &CloseParams::id,
         "Connection ID", "connection-id", CloseConnection},
    };
    for (const Row &r : rows) {
        CLI::App *cmd = app.add_subcommand(r.name, r.help);
        cmd->callback([&run, p, &r] {
            run = [p, &r](const Reporter &out) {
                return tools::UnlessInvalid(
                    out, r.name, [&] { return RunClose(out, r.command(*p), p->dryRun); });
            };
        });
        tools::Checked(cmd->add_option(r.positional, (*p).*r.value, r.valueHelp)->required(),
                       r.rule);
        cmd->add_flag("--dry-run", p->dryRun, "List what would be closed; close nothing");
    }
}

}  // namespace share::sharemon
