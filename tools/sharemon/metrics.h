// SPDX-License-Identifier: Apache-2.0
// The exporter's view of the file server: one pass of the monitoring and management calls
// reduced to bounded-cardinality aggregates, and their Prometheus text exposition.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace share::sharemon {

// Upper bounds (seconds) of the idle-time histogram; +Inf is implicit.
inline constexpr std::array<double, 9> kIdleBuckets = {1,    10,   60,    300,  900,
                                                       1800, 3600, 14400, 86400};

struct ConnectionKind {
    std::string dialect, auth;
    bool isSigned = false, encrypted = false;
    auto operator<=>(const ConnectionKind &) const = default;
};

struct ConnectionSample {  // only with per-connection series
    uint16_t id;
    uint32_t idleSeconds;
    uint64_t bytesRead, bytesWritten;
};

struct Snapshot {
    bool up = false;  // every call of the pass succeeded
    std::map<ConnectionKind, uint64_t> connections;
    std::array<uint64_t, kIdleBuckets.size()> idleBuckets{};  // not cumulative
    uint64_t idleCount = 0;
    double idleSum = 0;
    uint64_t bytesRead = 0, bytesWritten = 0;
    std::map<std::pair<std::string, std::string>, uint64_t> openFiles;  // (volume, access)
    std::map<std::string, uint64_t> shares;                             // by type name
    std::map<std::string, int64_t> shareClients;                        // by share name
    std::map<std::string, uint64_t> invalidUsers;                       // permanent, temporary
    uint64_t failedLogons = 0;
    int64_t invalidUserTimeoutMinutes = -1;  // -1: not reported
    std::vector<ConnectionSample> perConnection;

    // Counts one connection record into the aggregates.
    void AddConnection(const ConnectionKind &kind, uint32_t idleSeconds, uint64_t read,
                       uint64_t written);
};

struct GatherOptions {
    bool perConnection = false;
};

// One pass over the server. Never throws; a failing call leaves up false. Library messages
// go to standard error.
Snapshot Gather(const GatherOptions &options);

// The exposition of snapshot; durationSeconds is the gather's wall time.
std::string Render(const Snapshot &snapshot, double durationSeconds);

// Escapes a label value for the text format (backslash, double quote, newline).
std::string EscapeLabel(const std::string &value);

// Writes text to path atomically: a temporary file in the same folder, fsync, rename. False
// with a reason on failure (the temporary file is removed).
bool WriteAtomically(const std::string &path, const std::string &text, std::string *error);

}  // namespace share::sharemon
