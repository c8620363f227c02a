// SPDX-License-Identifier: Apache-2.0
// Which server the tools talk to. The endpoint's abstract name carries no permissions: any local
// process may hold it. By default the tools accept a server run by root or by the invoking
// user, and the libraries enforce the same list on every exchange (SHAREADMIN_SERVER_UIDS).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace share::client {

inline constexpr char kServerUidsVariable[] = "SHAREADMIN_SERVER_UIDS";

struct ServerTrust {
    std::vector<uint32_t> uids;  // --server-uid, repeatable
    bool any = false;            // --any-server
};

// Sets the libraries' variable from the options: --any-server clears it; uids lists exactly
// those uids; otherwise a value already in the environment stays, and without one it becomes
// root and the invoking user. Returns the list in force (empty: no check).
std::string ApplyServerTrust(const ServerTrust &trust);

// The uids of a list as the libraries read it (decimal digits, each below 4294967295, comma
// separated, no empty item), or nothing when the libraries would refuse it.
std::optional<std::vector<uint32_t>> ParseUids(std::string_view list);

// Who holds the endpoint, against the list in force.
struct TrustCheck {
    enum Verdict { kAccepted, kMalformed, kUnexpected } verdict = kAccepted;
    uint32_t uid = 0;  // kUnexpected: the holder
    int32_t pid = 0;
};
// Asks the kernel who holds the endpoint and compares with `accepted`. Accepted when the list
// is empty, lists the holder, or nobody listens (the command then reports that itself).
TrustCheck CheckServerTrust(const std::string &accepted);

}  // namespace share::client
