// shareadm: administration of the local file server through libshareadmin.
#include <CLI/CLI.hpp>

#include "common/server_trust.h"
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
    uint32_t logMask = gCIFSLogLevel;
    app.add_option("--log-mask", logMask, "Library syslog level bits (1 event .. 64 debug)")
        ->capture_default_str();
    share::tools::ServerTrust trust;
    share::tools::AddServerTrustOptions(app, trust);
    RegisterShares(app, tool);
    RegisterConnections(app, tool);
    RegisterUsers(app, tool);
    RegisterOptions(app, tool);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? 0 : share::tools::kExitRejected;
    }
    gCIFSLogLevel = logMask;
    const std::string accepted = share::tools::ApplyServerTrust(trust);
    if (const int e = share::tools::CheckServerTrust(tool.out(), accepted); e >= 0) return e;
    InitializeLogs("shareadm");
    const int status = tool.run ? tool.run() : share::tools::kExitRejected;
    DeinitializeLogs();
    return status;
}
