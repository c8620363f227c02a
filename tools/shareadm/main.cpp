// SPDX-License-Identifier: Apache-2.0
// shareadm: administration of the local file server through libshareadmin.
#include <CLI/CLI.hpp>

#include "cli/runtime.h"
#include "client/server_trust.h"
#include "shareadm/tool.h"
#include "shareadmin/command.h"
#include "shareadmin/protocol.h"

int main(int argc, char **argv) {
    using namespace share::shareadm;
    Tool tool;
    CLI::App app{
        "Administration of the local file server: shares, connections, open files, the "
        "invalid-user cache, user contexts and every server option.",
        "shareadm"};
    app.footer(share::tools::kExitStatusHelp);
    app.fallthrough();
    app.require_subcommand(1);
    share::tools::AddOutputOptions(app, tool.output);
    share::tools::RuntimeOptions runtime;
    share::tools::AddRuntimeOptions(app, runtime);
    uint32_t logMask = gCIFSLogLevel;
    app.add_option("--log-mask", logMask, "Library syslog level bits (1 event .. 64 debug)")
        ->capture_default_str();
    share::tools::ServerTrust trust;
    share::tools::AddServerTrustOptions(app, trust);
    RegisterShares(app, tool);
    RegisterConnections(app, tool);
    RegisterUsers(app, tool);
    RegisterOptions(app, tool);
    RegisterConfig(app, tool);
    if (const int e = share::tools::ParseCommandLine(app, argc, argv); e >= 0) return e;
    gCIFSLogLevel = logMask;
    if (const int e = share::tools::StartCommand(tool.out(), app, runtime, trust); e >= 0) return e;
    InitializeLogs("shareadm");
    const int status = tool.run ? tool.run() : share::tools::kExitRejected;
    DeinitializeLogs();
    return status;
}
