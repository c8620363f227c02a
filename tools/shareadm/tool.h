// SPDX-License-Identifier: Apache-2.0
// Scaffolding of shareadm's subcommands: each leaf registers the function that runs it, and
// library calls go through Call so that their messages are captured and their results mapped
// to the tool's exit statuses.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/value_checks.h"
#include "client/pipeline.h"
#include "client/records.h"
#include "output/command_report.h"
#include "output/records.h"
#include "output/reporter.h"
#include "shareadmin/api.h"
#include "shareadmin/codes.h"

namespace share::shareadm {

// shareadm is a leaf over the client, output and CLI layers.
using namespace share::client;
using namespace share::tools;

using tools::Json;

struct Tool {
    tools::OutputOptions output;  // format, headers, and the parsed listing's filters and sort
    std::function<int()> run;     // the parsed leaf's action
    tools::Reporter out() const { return tools::Reporter("shareadm", output); }
};

// A subcommand that runs `run` when it is the one parsed, unless one of its values was refused
// by its rule (then that is reported).
inline CLI::App *Leaf(Tool &tool, CLI::App *parent, const std::string &name,
                      const std::string &help, std::function<int()> run) {
    CLI::App *app = parent->add_subcommand(name, help);
    const std::string action = parent->get_parent() ? parent->get_name() + " " + name : name;
    app->callback([&tool, action, run = std::move(run)] {
        tool.run = [&tool, action, run] { return tools::UnlessInvalid(tool.out(), action, run); };
    });
    return app;
}

// Runs one library call with its standard-output messages captured. Returns -1 when it
// succeeded, else the exit status (after reporting; a server status through blames). The
// values were checked before, so a -1 the library does not explain is a server gone during the
// exchange.
template <class F>
int Call(const tools::Reporter &out, const std::string &action, F &&call,
         const Blames &blames = {}) {
    const Outcome o = CallLibrary(std::forward<F>(call), true);
    if (o.result == Result::kRefused) return RefusedFor(out, action, o.status, blames);
    return out.Report(action, o);
}

// The user contexts the server holds, in its order.
int ReadUserContexts(const tools::Reporter &out, const std::string &action,
                     std::vector<std::string> *contexts);
// The share's own record (with "mfa" and, when the server tells, "clients"). -1 when fetched,
// else the exit status after reporting.
int FetchShare(const tools::Reporter &out, const std::string &action, const std::string &name,
               Json *share);
// Prints the library's share list (freed here) as the share listing, each share completed
// from its own record; withOpenFiles for a connection's mapped shares.
int ListShares(const tools::Reporter &out, const std::string &action, ShareInfoList *list,
               bool withOpenFiles);

void RegisterShares(CLI::App &app, Tool &tool);
// The connection records of a reply (at least the fixed part), decoded; withFiles adds each
// one's "files".
Json ConnectionRecords(const Reply &reply, bool withFiles);

void RegisterConnections(CLI::App &app, Tool &tool);  // with RegisterFiles in between
void RegisterFiles(CLI::App &app, Tool &tool);
void RegisterUsers(CLI::App &app, Tool &tool);
void RegisterOptions(CLI::App &app, Tool &tool);
void RegisterConfig(CLI::App &app, Tool &tool);

}  // namespace share::shareadm
