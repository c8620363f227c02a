// SPDX-License-Identifier: Apache-2.0
#include "sharesim/server.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/server_formats.h"
#include "sharesim/wire.h"

namespace share::sim {
namespace {

constexpr int kBacklog = 4096;
constexpr size_t kMaxClients = 4096;
constexpr uint32_t kMaxBody = 16u << 20;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

struct Server::Client {
    int fd = -1;
    int64_t deadline = 0;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    size_t sent = 0;
    bool answering = false;
    bool denied = false;  // answered access-denied once its header is in
};

Server::Server(ServerOptions options) : options_(std::move(options)) {
    stats_.startedAt = time(nullptr);
}

Server::~Server() {
    for (auto &c : clients_)
        if (c) close(c->fd);
    if (epollFd_ >= 0) close(epollFd_);
    if (listenFd_ >= 0) close(listenFd_);
}

bool Server::Bind(std::string *error) {
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        *error = std::string("cannot create a socket: ") + std::strerror(errno);
        return false;
    }
    const sockaddr_un addr = tools::EndpointAddress();
    if (bind(listenFd_, reinterpret_cast<const sockaddr *>(&addr), tools::kEndpointAddressLength) !=
        0) {
        *error = errno == EADDRINUSE
                     ? "the file server's name @/tmp/cifs.str is already taken in this network "
                       "namespace (is a file server running?); use --private-network to run apart"
                     : std::string("cannot bind @/tmp/cifs.str: ") + std::strerror(errno);
        return false;
    }
    if (listen(listenFd_, kBacklog) != 0) {
        *error = std::string("cannot listen: ") + std::strerror(errno);
        return false;
    }
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listenFd_;
    if (epollFd_ < 0 || epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev) != 0) {
        *error = std::string("cannot set up epoll: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void Server::Run(int signalFd, const std::function<bool(const signalfd_siginfo &)> &onSignal) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = signalFd;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, signalFd, &ev);
    int64_t nextSweep = NowMs() + 1000;
    epoll_event events[256];
    for (;;) {
        const int n = epoll_wait(epollFd_, events, 256, 1000);
        if (n < 0 && errno != EINTR) {
            std::perror("sharesim: epoll_wait");
            return;
        }
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listenFd_) {
                Accept();
            } else if (fd == signalFd) {
                signalfd_siginfo info;
                while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
                    if (onSignal(info)) return;
            } else if (static_cast<size_t>(fd) < clients_.size() &&
                       clients_[static_cast<size_t>(fd)]) {
                Client &c = *clients_[static_cast<size_t>(fd)];
                if (events[i].events & (EPOLLERR | EPOLLHUP)) {
                    Close(fd);
                } else if (c.answering) {
                    OnWritable(c);
                } else {
                    OnReadable(c);
                }
            }
        }
        if (NowMs() >= nextSweep) {
            ExpireClients();
            nextSweep = NowMs() + 1000;
        }
    }
}

void Server::Accept() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // EAGAIN, or out of descriptors: the rest wait in the backlog
        }
        if (clientCount_ >= kMaxClients) {
            close(fd);
            continue;
        }
        if (clients_.size() <= static_cast<size_t>(fd))
            clients_.resize(static_cast<size_t>(fd) + 1);
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->denied = !Allowed(fd);
        client->deadline = NowMs() + options_.exchangeTimeoutMs;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.fd = fd;
        if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
            close(fd);
            continue;
        }
        clients_[static_cast<size_t>(fd)] = std::move(client);
        ++clientCount_;
    }
}

bool Server::Allowed(int fd) const {
    if (options_.allowUids.empty() && options_.allowGids.empty()) return true;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) return false;
    const auto listed = [](const std::vector<uint32_t> &ids, uint32_t id) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    const bool allowed =
        listed(options_.allowUids, peer.uid) || listed(options_.allowGids, peer.gid);
    if (!allowed && options_.verbose)
        std::fprintf(stderr, "sharesim: caller uid %u gid %u (pid %d) is not allowed\n", peer.uid,
                     peer.gid, peer.pid);
    return allowed;
}

void Server::OnReadable(Client &c) {
    uint8_t buf[65536];
    for (;;) {
        size_t want = sizeof buf;
        if (c.in.size() >= kRequestHeaderSize && c.denied) {
            ++stats_.requests;
            ++stats_.refused;
            c.out = Response(tools::kAccessDenied).Encode();
            Answer(c);
            return;
        }
        if (c.in.size() >= kRequestHeaderSize) {
            const uint64_t total = kRequestHeaderSize + uint64_t{AnnouncedBodyLength(c.in)};
            if (AnnouncedBodyLength(c.in) > kMaxBody) {
                c.out = Response(tools::kMalformedRequest).Encode();
                if (options_.verbose)
                    std::fprintf(stderr, "sharesim: request of %u body bytes refused (limit %u)\n",
                                 AnnouncedBodyLength(c.in), kMaxBody);
                Answer(c);
                return;
            }
            if (c.in.size() >= total) {
                c.in.resize(total);
                c.out = Process(c.in);
                Answer(c);
                return;
            }
            want = std::min<uint64_t>(want, total - c.in.size());
        } else {
            want = kRequestHeaderSize - c.in.size();
        }
        const ssize_t got = read(c.fd, buf, want);
        if (got > 0) {
            c.in.insert(c.in.end(), buf, buf + got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        Close(c.fd);  // the peer closed, or failed, before its request was complete
        return;
    }
}

void Server::Answer(Client &c) {
    c.answering = true;
    epoll_event ev{};
    ev.events = EPOLLOUT;
    ev.data.fd = c.fd;
    epoll_ctl(epollFd_, EPOLL_CTL_MOD, c.fd, &ev);
    OnWritable(c);
}

void Server::OnWritable(Client &c) {
    while (c.sent < c.out.size()) {
        const ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (n > 0) {
            c.sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        break;
    }
    Close(c.fd);
}

std::vector<uint8_t> Server::Process(std::span<const uint8_t> bytes) {
    ++stats_.requests;
    std::string why;
    const auto req = ParseRequest(bytes, &why);
    Response reply;
    const char *name = "malformed";
    if (!req) {
        reply = Response(tools::kMalformedRequest);
    } else {
        name = FunctionName(req->function);
        const int64_t now = time(nullptr);
        if (FunctionChangesState(req->function)) {
            State next = state_;
            Context ctx{next, now, stats_};
            reply = Handle(ctx, *req);
            std::string error;
            if (reply.status() == tools::kOk) {
                if (!options_.statePath.empty() && !SaveState(next, options_.statePath, &error)) {
                    std::fprintf(stderr, "sharesim: %s; the change was not made\n", error.c_str());
                    reply = Response(tools::kStateNotSaved);
                } else {
                    state_ = std::move(next);
                }
            }
        } else {
            Context ctx{state_, now, stats_};
            reply = Handle(ctx, *req);
        }
    }
    if (reply.status() != tools::kOk) ++stats_.refused;
    if (options_.verbose) {
        if (req)
            std::fprintf(stderr, "sharesim: function %u %s (%zu elements) -> %d %s, %u elements\n",
                         req->function, name, req->elements.size(), reply.status(),
                         tools::DescribeStatus(reply.status()).name, reply.count());
        else
            std::fprintf(stderr, "sharesim: malformed request (%s) -> %d\n", why.c_str(),
                         reply.status());
    }
    return reply.Encode();
}

void Server::Close(int fd) {
    epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    clients_[static_cast<size_t>(fd)].reset();
    --clientCount_;
}

void Server::ExpireClients() {
    const int64_t now = NowMs();
    for (auto &c : clients_)
        if (c && c->deadline <= now) {
            if (options_.verbose)
                std::fprintf(
                    stderr,
                    "sharesim: dropped a client that did not finish its exchange in time\n");
            Close(c->fd);
        }
}

}  // namespace share::sim
