// SPDX-License-Identifier: Apache-2.0
#include "client/server_trust.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "common/server_formats.h"

namespace share::client {
namespace {

// The peer credentials of whoever listens on the endpoint, or nothing when nobody does.
std::optional<ucred> EndpointHolder() {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    const sockaddr_un addr = tools::EndpointAddress();
    std::optional<ucred> holder;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), tools::kEndpointAddressLength) ==
            0 &&
        getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0)
        holder = peer;
    close(fd);
    return holder;
}

}  // namespace

std::optional<std::vector<uint32_t>> ParseUids(std::string_view list) {
    // Digits only: a sign or a space the libraries refuse must not pass here.
    std::vector<uint32_t> uids;
    for (size_t start = 0;;) {
        const size_t comma = list.find(',', start);
        const std::string_view item = list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (item.empty()) return std::nullopt;
        uint64_t value = 0;
        for (const char c : item) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<uint64_t>(c - '0');
            if (value >= UINT32_MAX) return std::nullopt;
        }
        uids.push_back(static_cast<uint32_t>(value));
        if (comma == std::string_view::npos) return uids;
        start = comma + 1;
    }
}

std::string ApplyServerTrust(const ServerTrust &trust) {
    if (trust.any) {
        unsetenv(kServerUidsVariable);
        return "";
    }
    std::string list;
    if (!trust.uids.empty()) {
        for (const uint32_t uid : trust.uids)
            list += (list.empty() ? "" : ",") + std::to_string(uid);
    } else if (const char *set = std::getenv(kServerUidsVariable); set != nullptr && *set != '\0') {
        return set;
    } else {
        list = "0";
        if (getuid() != 0) list += "," + std::to_string(getuid());
    }
    setenv(kServerUidsVariable, list.c_str(), 1);
    return list;
}

TrustCheck CheckServerTrust(const std::string &accepted) {
    if (accepted.empty()) return {};
    const std::optional<std::vector<uint32_t>> uids = ParseUids(accepted);
    if (!uids) return {TrustCheck::kMalformed};
    const std::optional<ucred> holder = EndpointHolder();
    if (!holder || std::find(uids->begin(), uids->end(), holder->uid) != uids->end()) return {};
    return {TrustCheck::kUnexpected, holder->uid, holder->pid};
}

}  // namespace share::client
