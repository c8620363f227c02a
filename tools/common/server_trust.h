// SPDX-License-Identifier: Apache-2.0
// Which server the tools talk to. The endpoint's abstract name carries no permissions: any local
// process may hold it. By default the tools accept a server run by root or by the invoking
// user, and the libraries enforce the same list on every exchange (SHAREADMIN_SERVER_UIDS).
#pragma once

#include <sys/types.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "common/cli.h"

namespace share::tools {

struct ServerTrust {
    std::vector<uint32_t> uids;  // --server-uid, repeatable
    bool any = false;            // --any-server
};

// Adds --server-uid and --any-server to a tool's top level.
void AddServerTrustOptions(CLI::App &app, ServerTrust &trust);

// Sets the libraries' variable from the options: --any-server clears it; --server-uid lists
// exactly those uids; otherwise a value already in the environment stays, and without one it
// becomes root and the invoking user. Returns the list in force (empty: no check).
std::string ApplyServerTrust(const ServerTrust &trust);

// Asks the kernel who holds the endpoint and compares with `accepted`. -1 to go on (accepted,
// no check, or nobody listening: the command then reports that itself); otherwise the exit
// status after reporting the unexpected holder or a malformed list.
int CheckServerTrust(const Reporter &out, const std::string &accepted);

}  // namespace share::tools
