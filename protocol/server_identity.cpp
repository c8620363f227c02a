// SPDX-License-Identifier: Apache-2.0
#include "protocol/server_identity.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "protocol/log.h"

namespace share::protocol {

UidListMatch MatchUidList(std::string_view list, uid_t uid) noexcept {
    bool listed = false;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string_view item = list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (item.empty()) return UidListMatch::kMalformed;
        uint64_t value = 0;
        for (const char c : item) {
            if (c < '0' || c > '9') return UidListMatch::kMalformed;
            value = value * 10 + static_cast<uint64_t>(c - '0');
            if (value >= UINT32_MAX) return UidListMatch::kMalformed;
        }
        if (value == uid) listed = true;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return listed ? UidListMatch::kListed : UidListMatch::kNotListed;
}

bool ServerIdentityAccepted(int fd) noexcept {
    const char *list = std::getenv(kServerUidsVariable);
    if (list == nullptr || *list == '\0') return true;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
        SHARE_LOG_CLI_ERROR("Cannot tell who holds the CIFS server endpoint, error: %d", errno);
        return false;
    }
    switch (MatchUidList(list, peer.uid)) {
        case UidListMatch::kListed:
            return true;
        case UidListMatch::kNotListed:
            SHARE_LOG_CLI_ERROR(
                "Refusing to send the request: the CIFS server endpoint is held by uid %u (pid "
                "%d), which %s does not list",
                static_cast<unsigned>(peer.uid), static_cast<int>(peer.pid), kServerUidsVariable);
            // Set after logging, which may touch errno: callers tell this refusal by it.
            errno = EACCES;
            return false;
        case UidListMatch::kMalformed:
            break;
    }
    SHARE_LOG_CLI_ERROR(
        "Refusing to send the request: %s=\"%s\" is not a comma-separated list of numeric uids",
        kServerUidsVariable, list);
    errno = EINVAL;
    return false;
}

}  // namespace share::protocol
