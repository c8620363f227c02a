// SPDX-License-Identifier: Apache-2.0
#include "common/server_trust.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "common/server_formats.h"

namespace share::tools {
namespace {

constexpr char kVariable[] = "SHAREADMIN_SERVER_UIDS";

// The peer credentials of whoever listens on the endpoint, or nothing when nobody does.
std::optional<ucred> EndpointHolder() {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    const sockaddr_un addr = EndpointAddress();
    std::optional<ucred> holder;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), kEndpointAddressLength) == 0 &&
        getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0)
        holder = peer;
    close(fd);
    return holder;
}

// The uids of a list, or nothing when an item is not one.
std::optional<std::vector<uint32_t>> ParseUids(std::string_view list) {
    std::vector<uint32_t> uids;
    for (size_t start = 0;;) {
        const size_t comma = list.find(',', start);
        long uid = 0;
        if (!ParseNumber(
                list.substr(start, comma == std::string_view::npos ? comma : comma - start), 0,
                4294967294L, &uid))
            return std::nullopt;
        uids.push_back(static_cast<uint32_t>(uid));
        if (comma == std::string_view::npos) return uids;
        start = comma + 1;
    }
}

}  // namespace

void AddServerTrustOptions(CLI::App &app, ServerTrust &trust) {
    app.add_option("--server-uid", trust.uids,
                   "Accept a server run by this uid (repeatable; default: root and you)")
        ->check(CLI::Range(uint32_t{0}, uint32_t{4294967294u}))
        ->type_name("UID");
    app.add_flag("--any-server", trust.any,
                 "Talk to whatever process holds the endpoint, whoever runs it");
}

std::string ApplyServerTrust(const ServerTrust &trust) {
    if (trust.any) {
        unsetenv(kVariable);
        return "";
    }
    std::string list;
    if (!trust.uids.empty()) {
        for (const uint32_t uid : trust.uids)
            list += (list.empty() ? "" : ",") + std::to_string(uid);
    } else if (const char *set = std::getenv(kVariable); set != nullptr && *set != '\0') {
        return set;
    } else {
        list = "0";
        if (getuid() != 0) list += "," + std::to_string(getuid());
    }
    setenv(kVariable, list.c_str(), 1);
    return list;
}

int CheckServerTrust(const Reporter &out, const std::string &accepted) {
    if (accepted.empty()) return -1;
    const std::optional<std::vector<uint32_t>> uids = ParseUids(accepted);
    if (!uids)
        return out.Rejected("server", std::string(kVariable) + "=\"" + accepted +
                                          "\" is not a comma-separated list of numeric uids");
    const std::optional<ucred> holder = EndpointHolder();
    if (!holder || std::find(uids->begin(), uids->end(), holder->uid) != uids->end()) return -1;
    return out.UnexpectedServer(holder->uid, holder->pid, accepted);
}

}  // namespace share::tools
