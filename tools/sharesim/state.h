// SPDX-License-Identifier: Apache-2.0
// The stand-in server's state: volumes, shares, simulated client connections with their open
// files, the invalid-user cache, user contexts, name tables and every server option. Plain
// values, so that a change can be made on a copy and committed only once it has been saved.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace share::sim {

struct Volume {
    std::string name;
    bool admin = false;
};

struct Share {
    uint32_t id = 0;
    std::string name;
    std::string volume;
    std::string path;  // within the volume, "/" or "/dir/..."
    std::string comment;
    std::string serverDn;
    int32_t maxUsers = 0;  // 0 = unlimited
    bool encryptData = false;
    bool folderRedirection = false;
    uint8_t atmBackup = 0;
    bool mfa = false;
    int64_t createdAt = 0;
};

struct OpenFile {
    uint32_t id = 0;
    std::string volume;
    std::string path;  // within the volume
    uint32_t access = 0;
    int64_t openedAt = 0;
    std::string FullPath() const { return volume + ":" + path; }
};

struct Connection {
    uint16_t id = 0;
    uint16_t flags = 0;
    std::string workstation;
    std::string user;
    std::string address;
    std::string dialect;
    std::string auth;
    int64_t loginAt = 0;
    int64_t lastActivity = 0;
    uint64_t bytesRead = 0;
    uint64_t bytesWritten = 0;
    std::vector<std::string> secEquiv;
    std::vector<std::string> mapped;  // share or volume names
    std::vector<OpenFile> files;
};

struct InvalidUser {
    std::string name;
    bool permanent = false;
    uint32_t failedLogons = 0;
    int64_t addedAt = 0;
};

struct NamedAddress {
    std::string name;
    std::string address;  // dotted IPv4, or empty when none was given
};

struct OptionValue {
    int32_t number = 0;
    std::string text;
    bool operator==(const OptionValue &) const = default;
};

struct QuotaSync {
    std::string target;
    int32_t value = -1;
};

struct State {
    std::vector<Volume> volumes;
    std::vector<Share> shares;
    std::vector<Connection> connections;  // ascending IDs
    std::vector<InvalidUser> invalidUsers;
    int32_t iucTimeoutMinutes = 30;
    std::vector<std::string> userContexts;
    std::vector<NamedAddress> virtualServers;
    std::vector<NamedAddress> dnsEntries;
    std::vector<std::string> interfaces;
    std::map<std::string, OptionValue> options;      // by option name; every row of the table
    std::map<std::string, bool> shareByDefault;      // server name -> share volumes by default
    std::array<int32_t, 3> caches{512, 1024, 2048};  // SDIRCACHE, DIRCACHE, FILECACHE
    int32_t dfsReferralMinutes = 30;
    std::string dfsLastClear;
    std::optional<QuotaSync> lastQuotaSync;
    std::optional<std::string> lastQuotaView;
    std::optional<int32_t> lastStatisticsDump;
    std::optional<uint16_t> lastCryptoDumpConnection;
    uint32_t nextShareId = 1;
    uint32_t nextFileId = 1;

    const Volume *FindVolume(std::string_view name) const;
    Share *FindShare(std::string_view name);
    const Share *FindShare(std::string_view name) const;
    Connection *FindConnection(uint16_t id);
    const Connection *FindConnection(uint16_t id) const;
};

// Case-insensitive ASCII comparison: names of volumes, shares and users are case-insensitive.
bool IEquals(std::string_view a, std::string_view b);
std::string ToUpper(std::string_view text);

// A fresh state: the given volumes plus the administrative volume, every option at its default.
State DefaultState(const std::vector<std::string> &volumes, const std::string &adminVolume);
// Adds the simulated population: a few shares, `clients` connections with users, addresses,
// security equivalences, mapped shares and open files, some invalid users and user contexts.
// Deterministic for a given seed and time.
void SeedPopulation(State &state, unsigned clients, uint32_t seed, int64_t now);

class StateError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// JSON text of a state, and back. FromJson throws StateError naming the first fault found.
std::string ToJson(const State &state);
State FromJson(std::string_view text);

// Writes the state to path atomically: a temporary file beside it, fsync, rename, fsync of the
// directory. Returns false with a reason when any step fails (the old file is then intact).
bool SaveState(const State &state, const std::string &path, std::string *error);
// Reads the state at path. nullopt when the file does not exist; throws StateError when it
// exists but cannot be read or is not a valid state.
std::optional<State> LoadState(const std::string &path);
// Removes temporary files that an earlier, killed server left beside path.
void RemoveStaleTemporaries(const std::string &path);

}  // namespace share::sim
