// SPDX-License-Identifier: Apache-2.0
// sharemon: watching the local file server through libsharemonitor: connections, one
// connection's details, volumes and the open files of a volume; closing open files (close.cpp).
#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "cli/runtime.h"
#include "client/records.h"
#include "client/server_trust.h"
#include "output/listings.h"
#include "output/reporter.h"
#include "shareadmin/monitor.h"
#include "shareadmin/protocol.h"
#include "sharemon/close.h"
#include "sharemon/exporter.h"
#include "sharemon/watch.h"

namespace {

namespace tools = share::tools;
using share::sharemon::Show;
using share::sharemon::View;
using tools::Json;
using tools::Reporter;

void Rendered(View &v, tools::Rendered r) {
    v.doc = std::move(r.doc);
    v.text = std::move(r.text);
}

// Runs an Ext_* call: -1 to go on. A -1 the library does not explain is its answer for an
// empty listing where emptyOk, else a server gone during the exchange.
template <class F>
int Check(const Reporter &out, const std::string &action, bool emptyOk, bool *empty, F &&call) {
    const share::client::Outcome o = share::client::Observe(std::forward<F>(call), !emptyOk);
    if (o.result != share::client::Result::kRejected) return out.Report(action, o);
    *empty = true;
    return -1;
}

// A listing of one of the library's linked lists: a row for each node, then the list released.
template <class Node, class RowOf>
View NodeListing(const Reporter &out, const char *action, bool emptyOk,
                 int (*list)(int32_t *, Node **), void (*release)(Node **),
                 const tools::Listing &listing, RowOf rowOf) {
    View v;
    int32_t count = 0;
    Node *head = nullptr;
    bool empty = false;
    if ((v.status = Check(out, action, emptyOk, &empty, [&] { return list(&count, &head); })) >= 0)
        return v;
    v.status = 0;
    Json rows = Json::array();
    for (const Node *n = head; n; n = n->next) rows.push_back(rowOf(*n));
    release(&head);
    Rendered(v, share::tools::RenderListing(out.output(), listing, std::move(rows)));
    return v;
}

View Connections(const Reporter &out) {
    return NodeListing(out, "connections", false, Ext_ListConnDetails, FreeConnListNodes,
                       share::tools::kMonConnectionListing, [](const ConnListNode &n) {
                           Json c{{"id", +n.connectionId},
                                  {"workstation", share::tools::FieldString(n.text20)},
                                  {"user", share::tools::FieldString(n.text36)},
                                  {"address", share::tools::FieldString(n.text292)},
                                  {"idle_seconds", +n.value326},
                                  {"bytes_read", +n.value330},
                                  {"bytes_written", +n.value338}};
                           share::tools::SetTime(c, "login_time", static_cast<int64_t>(n.value12));
                           return c;
                       });
}

View Connection(const Reporter &out, int32_t id) {
    View v;
    UserDetailsNode *node = nullptr;
    bool empty = false;
    const std::string action = "connection " + std::to_string(id);
    if ((v.status =
             Check(out, action, false, &empty, [&] { return Ext_GetConnInfo(id, &node); })) >= 0)
        return v;
    v.status = 0;
    if (node == nullptr) {
        v.status = out.Rejected(action, "the server sent no connection record");
        return v;
    }
    Json dns = Json::array(), files = Json::array();
    for (uint32_t i = 0; node->secEquivDns && i < node->secEquivCount; ++i)
        dns.push_back(node->secEquivDns[i]);
    for (uint16_t i = 0; node->openFileNames && i < node->openFileCount; ++i)
        files.push_back({{"path", node->openFileNames[i]}});
    const std::string user = share::tools::FieldString(node->text36);
    Json doc{{"id", +node->connectionId},
             {"workstation", share::tools::FieldString(node->text20)},
             {"user", user},
             {"address", share::tools::FieldString(node->text292)},
             {"dialect", share::tools::FieldString(node->text354)},
             {"auth", share::tools::FieldString(node->text386)}};
    share::tools::SetTime(doc, "login_time", static_cast<int64_t>(node->value12));
    doc["security_equivalences"] = dns;
    doc["open_files"] = files.size();
    doc["files"] = files;
    std::string text = share::tools::KeyValues(
        {{"Connection", std::to_string(node->connectionId)},
         {"User", user.empty() ? "(null session)" : user},
         {"Workstation", share::tools::FieldString(node->text20)},
         {"Address", share::tools::FieldString(node->text292)},
         {"Dialect", share::tools::FieldString(node->text354)},
         {"Authentication", share::tools::FieldString(node->text386)},
         {"Logged in", share::tools::FormatTime(static_cast<int64_t>(node->value12))}});
    text += dns.empty() ? "Security equivalences: none\n" : "Security equivalences:\n";
    for (const auto &d : dns) text += "  " + d.get<std::string>() + "\n";
    text += files.empty() ? "Open files: none\n" : "Open files:\n";
    for (const auto &f : files) text += "  " + f["path"].get<std::string>() + "\n";
    Rendered(v, share::tools::RenderDetail(out.output(), doc, text));
    FreeUserDetailsNode(&node);
    return v;
}

View Volumes(const Reporter &out) {
    return NodeListing(out, "volumes", true, Ext_ListVolumeDetails, FreeVolsDetailsNode,
                       share::tools::kMonVolumeListing, [](const VolsDetailsNode &n) {
                           return Json{{"name", share::tools::FieldString(n.name)}};
                       });
}

View Files(const Reporter &out, const std::string &volume) {
    View v;
    const std::string action = "files " + volume;
    std::vector<uint8_t> request = share::client::VolumeFilesRequest(volume);
    void *reply = nullptr;
    bool empty = false;
    if ((v.status = Check(out, action, false, &empty, [&] {
             return CIFSLIB_ListOpenFiles(reinterpret_cast<OpenFilesRequest *>(request.data()),
                                          &reply);
         })) >= 0)
        return v;
    v.status = 0;
    const auto list = share::client::TakeOpenFiles(reply);
    if (!list) {
        v.status = out.Rejected(action, "the server's open-files reply is malformed");
        return v;
    }
    Json rows = Json::array();
    for (const auto &f : list->files)
        rows.push_back({{"connection", +f.connection}, {"user", f.user}, {"path", f.path}});
    Rendered(v, share::tools::RenderListing(out.output(), share::tools::kMonOpenFileListing,
                                            std::move(rows), Json{{"volume", volume}}));
    return v;
}

bool ParseId(const std::string &text, int32_t *id) {
    long n;
    if (!share::tools::ParseNumber(text, 0, 65535, &n)) return false;
    *id = static_cast<int32_t>(n);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    share::tools::OutputOptions output;
    unsigned watch = 0;
    std::string id, volume;
    std::function<int(const Reporter &)> run;
    CLI::App app{"Monitoring of the local file server: client connections, volumes and open files.",
                 "sharemon"};
    app.footer(share::tools::kExitStatusHelp);
    app.fallthrough();
    app.require_subcommand(1);
    share::tools::AddOutputOptions(app, output);
    app.add_option("--watch", watch, "Redraw the view every SECONDS until interrupted")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 3600));
    tools::RuntimeOptions runtime;
    tools::AddRuntimeOptions(app, runtime);
    uint32_t logMask = gCIFSLogLevel;
    app.add_option("--log-mask", logMask, "Library syslog level bits (1 event .. 64 debug)")
        ->capture_default_str();
    share::tools::ServerTrust trust;
    share::tools::AddServerTrustOptions(app, trust);

    auto leaf = [&](const char *name, const char *help, std::function<int(const Reporter &)> fn) {
        CLI::App *cmd = app.add_subcommand(name, help);
        cmd->callback([&run, fn = std::move(fn)] { run = fn; });
        return cmd;
    };
    auto idCheck = [&](const Reporter &out, const std::string &action, int32_t *n) {
        if (ParseId(id, n)) return -1;
        return out.Rejected(action, "a connection ID is a number from 0 to 65535");
    };
    share::tools::AddListingOptions(leaf("connections", "List client connections",
                                         [&](const Reporter &out) {
                                             return Show(
                                                 out, [&] { return Connections(out); }, watch);
                                         }),
                                    output, share::tools::kMonConnectionListing);
    leaf("connection", "Details of one connection: user, security equivalences, open files",
         [&](const Reporter &out) {
             int32_t n = 0;
             if (int e = idCheck(out, "connection", &n); e >= 0) return e;
             return Show(
                 out, [&, n] { return Connection(out, n); }, watch);
         })
        ->add_option("ID", id, "Connection ID")
        ->required();
    share::tools::AddListingOptions(leaf("volumes", "List volumes and shares",
                                         [&](const Reporter &out) {
                                             return Show(
                                                 out, [&] { return Volumes(out); }, watch);
                                         }),
                                    output, share::tools::kMonVolumeListing);
    CLI::App *files =
        leaf("files", "Open files of a volume, per connection", [&](const Reporter &out) {
            return Show(
                out, [&] { return Files(out, volume); }, watch);
        });
    files->add_option("VOLUME", volume, "Volume name")->required();
    share::tools::AddListingOptions(files, output, share::tools::kMonOpenFileListing);
    share::sharemon::RegisterClose(app, run);
    share::sharemon::RegisterExporter(app, run);

    if (const int e = tools::ParseCommandLine(app, argc, argv); e >= 0) return e;
    gCIFSLogLevel = logMask;
    Reporter out("sharemon", output);
    out.set_json_lines(watch > 0);
    if (const int e = tools::StartCommand(out, app, runtime, trust); e >= 0) return e;
    InitializeLogs("sharemon");
    const int status = run ? run(out) : share::tools::kExitRejected;
    DeinitializeLogs();
    return status;
}
