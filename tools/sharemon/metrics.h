// SPDX-License-Identifier: Apache-2.0
// The exporter's view of the file server: one pass of the monitoring and management calls
// reduced to bounded-cardinality aggregates, and why a pass failed when it did.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "client/outcome.h"

namespace share::sharemon {

// Upper bounds (seconds) of the idle-time classes; the last class is open.
inline constexpr std::array<double, 9> kIdleBuckets = {1,    10,   60,    300,  900,
                                                       1800, 3600, 14400, 86400};

// Why a gather failed. The names are the values of fileserver_scrape_error{kind}.
enum class ErrorKind {
    kNone,
    kUnreachable,
    kTimeout,
    kRefused,
    kAccessDenied,
    kUnexpectedServer,
    kBadReply,
};
inline constexpr std::array<ErrorKind, 6> kErrorKinds = {
    ErrorKind::kUnreachable,  ErrorKind::kTimeout,          ErrorKind::kRefused,
    ErrorKind::kAccessDenied, ErrorKind::kUnexpectedServer, ErrorKind::kBadReply};
const char *KindName(ErrorKind kind);
// The kind of a failed call, from the client layer's own classification.
ErrorKind KindOf(const client::Outcome &outcome);

struct ConnectionKind {
    std::string dialect, auth;
    bool isSigned = false, encrypted = false;
    auto operator<=>(const ConnectionKind &) const = default;
};

// One open connection. A connection is its ID and login time: IDs are reused.
struct ConnectionSample {
    uint16_t id;
    uint32_t idleSeconds;
    uint64_t bytesRead, bytesWritten;
    uint64_t loginTime = 0;
};

// What the server says of itself (its status text).
struct ServerStatus {
    std::string name;
    std::optional<uint64_t> uptimeSeconds, requests, refused;
};

// How the server compares with the desired configuration document.
struct Drift {
    bool inSync = false;
    std::optional<uint64_t> differences;  // unset: the document does not fit this server
    std::string problem;                  // why it does not fit
};

struct Snapshot {
    bool up = false;  // every call of the pass succeeded
    ErrorKind error = ErrorKind::kNone;
    std::string cause;  // when not up: what failed, for the log
    std::map<ConnectionKind, uint64_t> connections;
    std::array<uint64_t, kIdleBuckets.size()> idleBuckets{};  // not cumulative
    uint64_t idleCount = 0;
    double idleSum = 0;
    uint64_t bytesRead = 0, bytesWritten = 0;                           // of the open connections
    std::map<std::pair<std::string, std::string>, uint64_t> openFiles;  // (volume, access)
    std::map<std::string, uint64_t> shares;                             // by type name
    std::map<std::string, int64_t> shareClients;                        // by share name
    std::map<std::string, uint64_t> invalidUsers;                       // permanent, temporary
    uint64_t failedLogons = 0;
    int64_t invalidUserTimeoutMinutes = -1;  // -1: not reported
    std::optional<ServerStatus> status;
    std::optional<Drift> drift;
    std::vector<ConnectionSample> perConnection;  // every open connection

    // Counts one connection record into the aggregates.
    void AddConnection(const ConnectionKind &kind, uint32_t idleSeconds, uint64_t read,
                       uint64_t written);
    // Marks the pass failed; the first failure is the one reported.
    void Fail(ErrorKind kind, std::string what);
};

struct GatherOptions {
    bool perConnection = false;  // series per connection (within the budget)
    size_t maxSeries = 1000;     // per family of per-share or per-connection series
    std::string desired;         // a configuration document to compare with; empty: none
};

// One pass over the server. Never throws; a failing call leaves up false with its kind. The
// library's messages are kept off standard output.
Snapshot Gather(const GatherOptions &options);

// The key=value pairs of the server's status text.
ServerStatus ParseStatus(const std::string &text);

// Writes text to path atomically: a temporary file in the same folder, fsync, rename. False
// with a reason on failure (the temporary file is removed).
bool WriteAtomically(const std::string &path, const std::string &text, std::string *error);

}  // namespace share::sharemon
