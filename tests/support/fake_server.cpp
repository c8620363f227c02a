// SPDX-License-Identifier: Apache-2.0
#include "tests/support/fake_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace share::test {
namespace {

Request Parse(const Bytes &raw) {
    Request req;
    req.component = raw[0];
    req.function = raw[1];
    req.count = raw[2];
    req.bodyLength = LoadU32(raw.data() + 4);
    req.raw = raw;
    req.elements =
        ParseElements(raw.data() + CIFS_REQ_HEADER_SIZE, raw.size() - CIFS_REQ_HEADER_SIZE);
    return req;
}

}  // namespace

FakeServer::FakeServer() : FakeServer([](const Request &) { return Reply::Status(0); }) {}

FakeServer::FakeServer(Handler handler, ServerOptions options)
    : FakeServer(std::move(handler), nullptr, options) {}

FakeServer::FakeServer(Responder responder, ServerOptions options)
    : FakeServer(nullptr, std::move(responder), options) {}

FakeServer::FakeServer(Handler handler, Responder responder, ServerOptions options)
    : options_(options), responder_(std::move(responder)), handler_(std::move(handler)) {
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un addr = ServerAddress();
    if (listen_fd_ < 0 ||
        bind(listen_fd_, reinterpret_cast<const sockaddr *>(&addr), kServerAddressLength) != 0 ||
        listen(listen_fd_, 256) != 0) {
        std::fprintf(stderr, "fake server: cannot listen on the server name: %s\n",
                     std::strerror(errno));
        std::abort();
    }
    for (int i = 0; i < options_.threads; ++i) threads_.emplace_back([this] { Serve(); });
}

FakeServer::~FakeServer() {
    stopping_ = true;
    // Wakes every thread waiting in poll or accept.
    shutdown(listen_fd_, SHUT_RDWR);
    for (std::thread &t : threads_) t.join();
    for (int fd : held_) close(fd);
    close(listen_fd_);
}

void FakeServer::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void FakeServer::Queue(std::vector<Reply> replies) {
    std::lock_guard lock(mutex_);
    queue_.assign(std::make_move_iterator(replies.begin()), std::make_move_iterator(replies.end()));
    queued_ = !queue_.empty();
    requests_.clear();
}

std::vector<Request> FakeServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

Request FakeServer::LastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? Request{} : requests_.back();
}

size_t FakeServer::RequestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

std::vector<Request> FakeServer::TakeRequests() {
    std::lock_guard lock(mutex_);
    return std::exchange(requests_, {});
}

void FakeServer::Serve() {
    Bytes raw;  // reused: a canned exchange allocates nothing
    while (!stopping_) {
        pollfd ready{listen_fd_, POLLIN, 0};
        if (options_.pollBeforeAccept && poll(&ready, 1, -1) < 0) continue;
        const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) Exchange(fd, raw);
    }
}

bool FakeServer::TakeQueued(Reply &reply) {
    if (!queued_) return false;
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return false;
    reply = std::move(queue_.front());
    queue_.pop_front();
    queued_ = !queue_.empty();
    return true;
}

void FakeServer::Exchange(int fd, Bytes &raw) {
    if (options_.receiveTimeoutSeconds > 0) {
        const timeval tv{options_.receiveTimeoutSeconds, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    raw.resize(CIFS_REQ_HEADER_SIZE);
    if (!ReadAll(fd, raw.data(), CIFS_REQ_HEADER_SIZE)) {
        close(fd);
        return;
    }
    const uint32_t body = LoadU32(raw.data() + 4);
    raw.resize(CIFS_REQ_HEADER_SIZE + size_t{body});
    if (!ReadAll(fd, raw.data() + CIFS_REQ_HEADER_SIZE, body)) {
        close(fd);
        return;
    }
    const bool record = options_.record || capturing_;
    Reply owned;
    const Reply *reply = TakeQueued(owned) ? &owned : nullptr;
    if (reply == nullptr && responder_) {
        if (record) {
            const std::lock_guard lock(mutex_);
            requests_.push_back(Parse(raw));
        }
        reply = &responder_(raw);
    } else {
        const Request req = Parse(raw);
        Handler handler;
        {
            const std::lock_guard lock(mutex_);
            if (record) requests_.push_back(req);
            if (reply == nullptr) handler = handler_;
        }
        if (reply == nullptr) {
            owned = handler(req);
            reply = &owned;
        }
    }
    Deliver(fd, *reply);
}

void FakeServer::Deliver(int fd, const Reply &reply) {
    if (reply.mode == Reply::Mode::kSilent) {
        const std::lock_guard lock(mutex_);
        held_.push_back(fd);
        return;
    }
    if (reply.reset) {
        const linger lg{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        close(fd);
        return;
    }
    const size_t n = std::min(reply.sendLimit, reply.bytes.size());
    if (reply.pacing.count() == 0) {
        WriteAll(fd, reply.bytes.data(), n);
    } else {
        for (size_t i = 0; i < n; ++i) {
            WriteAll(fd, &reply.bytes[i], 1);
            std::this_thread::sleep_for(reply.pacing);
        }
    }
    close(fd);
}

FakeServer::Handler ByFunction(std::map<uint8_t, Reply> replies, Reply otherwise) {
    return [replies = std::move(replies), otherwise = std::move(otherwise)](const Request &r) {
        const auto it = replies.find(r.function);
        return it == replies.end() ? otherwise : it->second;
    };
}

}  // namespace share::test
