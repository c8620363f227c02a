// Scaffolding of shareadm's subcommands: each leaf registers the function that runs it, and
// library calls go through Call so that their messages are captured and their results mapped
// to the tool's exit statuses.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/common/cli.h"
#include "tools/shareadm/pipeline.h"

namespace share::shareadm {

using tools::Json;

struct Tool {
    bool json = false;
    std::function<int()> run;  // the parsed leaf's action
    tools::Reporter out() const { return tools::Reporter("shareadm", json); }
};

// A subcommand that runs `run` when it is the one parsed.
inline CLI::App *Leaf(Tool &tool, CLI::App *parent, const std::string &name, const std::string &help,
                      std::function<int()> run) {
    CLI::App *app = parent->add_subcommand(name, help);
    app->callback([&tool, run = std::move(run)] { tool.run = run; });
    return app;
}

// Runs one library call with its standard-output messages captured. Returns -1 when it
// succeeded, else the exit status (after reporting).
template <class F>
int Call(const tools::Reporter &out, const std::string &action, F &&call) {
    int result;
    std::string message;
    {
        tools::LibraryOutput capture;
        result = call();
        message = capture.Finish();
    }
    return out.Check(result, action, message);
}

void RegisterShares(CLI::App &app, Tool &tool);
void RegisterConnections(CLI::App &app, Tool &tool);
void RegisterUsers(CLI::App &app, Tool &tool);
void RegisterOptions(CLI::App &app, Tool &tool);

// Argument codes of the command block.
enum Code : int32_t {
    kCmdShare = 1,
    kCmdServerRequest4 = 2,
    kCmdDumpStatistics = 3,
    kCmdAdd = 10,
    kCmdRemove = 11,
    kCmdCache = 24,
    kCmdInvalidUsers = 28,
    kCmdConnections = 30,
    kCmdFiles = 32,
    kCmdServerRequest40 = 37,
    kCmdShareVolumesByDefault = 38,
    kCmdUserQuotaSync = 41,
    kCmdClearConnections = 62,
    kCmdUserQuotaView = 69,
    kCmdDumpCryptoKeys = 70,
    kCmdMultichannelInterface = 75,
    kCmdUserContexts = 83,
    kCmdDfsReferralCacheDuration = 86,
    kActMappedShares = 1,
    kActList = 7,
    kOptListVariant8 = 8,
    kOptListVariant9 = 9,
    kActAdd = 10,
    kActRemove = 11,
    kOptName = 12,
    kOptNumber = 13,
    kOptServer = 15,
    kOptAddress = 16,
    kOptComment = 17,
    kOptDnsEntry = 19,
    kActTimeout = 29,
    kOptConnection = 31,
    kActClose = 33,
    kOptPath = 34,
    kOptVolume = 35,
    kOptShareByDefault = 38,
    kOptQuotaValue = 42,
    kActEncryption = 49,
    kActFolderRedirection = 54,
    kOptListModifier = 60,
    kOptConnType = 63,
    kOptIdleTime = 64,
    kOptConnCount = 65,
    kActAtmBackup = 68,
    kOptCryptoSwitch = 71,
    kOptInterface = 76,
    kActModify = 78,
    kOptNewName = 79,
    kActMfa = 84,
};

}  // namespace share::shareadm
