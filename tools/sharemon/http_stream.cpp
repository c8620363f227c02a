// SPDX-License-Identifier: Apache-2.0
#include "sharemon/http_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace share::sharemon::http {

bool WaitFor(int fd, short events, Clock::time_point until) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 60000)) + 1);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

std::string Address(const sockaddr_storage &a, int *port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(a);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        *port = ntohs(in.sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto &in = reinterpret_cast<const sockaddr_in6 &>(a);
        inet_ntop(AF_INET6, &in.sin6_addr, text, sizeof text);
        *port = ntohs(in.sin6_port);
    }
    return text;
}

std::string OpenSslReason() {
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0) return "unknown TLS error";
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return text;
}

}  // namespace share::sharemon::http
