// SPDX-License-Identifier: Apache-2.0
// One connection of the exporter's endpoint as the HTTP library's stream: reads and writes with
// deadlines the connection sets, over TCP or TLS.
#pragma once

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "sharemon/http_server.h"

namespace share::sharemon::http {

using Clock = std::chrono::steady_clock;

// Waits until fd is ready for events or until passes. A hang-up or error counts as ready: the
// following read or write reports it.
bool WaitFor(int fd, short events, Clock::time_point until);
std::string Address(const sockaddr_storage &a, int *port);
// The last OpenSSL error as text; clears the thread's error queue.
std::string OpenSslReason();

// Reads and writes with the deadlines the connection sets, over TCP or TLS, buffered: the
// library reads the request line and headers a byte at a time.
class ConnectionStream final : public httplib::Stream {
  public:
    ConnectionStream(int fd, const HttpLimits &limits) : fd_(fd), limits_(limits) {
        sockaddr_storage a{};
        socklen_t n = sizeof a;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&a), &n) == 0)
            peer_ = Address(a, &peerPort_);
        n = sizeof a;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&a), &n) == 0)
            local_ = Address(a, &localPort_);
    }
    void set_ssl(SSL *ssl) { ssl_ = ssl; }
    const std::string &peer() const { return peer_; }

    // A new request: its headers must be complete by the deadline and within the byte cap.
    void StartRequest(Clock::time_point deadline) {
        readDeadline_ = deadline;
        inHeaders_ = true;
        headerRead_ = 0;
    }
    void HeadersDone() {
        inHeaders_ = false;
        readDeadline_ = Clock::now() + limits_.ioTimeout;
    }
    bool Buffered() const { return at_ < size_ || (ssl_ && SSL_pending(ssl_) > 0); }
    bool WaitRequest() const {
        return Buffered() || WaitFor(fd_, POLLIN, Clock::now() + limits_.keepAlive);
    }

    bool is_readable() const override { return Buffered() || WaitFor(fd_, POLLIN, readDeadline_); }
    bool is_writable() const override {
        return WaitFor(fd_, POLLOUT, Clock::now() + limits_.ioTimeout);
    }
    ssize_t read(char *ptr, size_t size) override {
        if (at_ == size_) {
            if (size >= sizeof buffer_) return Counted(Raw(ptr, size));
            const ssize_t n = Counted(Raw(buffer_, sizeof buffer_));
            if (n <= 0) return n;
            at_ = 0;
            size_ = static_cast<size_t>(n);
        }
        const size_t n = std::min(size, size_ - at_);
        std::memcpy(ptr, buffer_ + at_, n);
        at_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char *ptr, size_t size) override {
        const auto until = Clock::now() + limits_.ioTimeout;
        for (;;) {
            if (ssl_) {
                ERR_clear_error();
                const int n =
                    SSL_write(ssl_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 20)));
                if (n > 0) return n;
                if (!Retry(SSL_get_error(ssl_, n), until)) return -1;
                continue;
            }
            const ssize_t n = send(fd_, ptr, size, MSG_NOSIGNAL);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(fd_, POLLOUT, until))
                return -1;
        }
    }
    void get_remote_ip_and_port(std::string &ip, int &port) const override {
        ip = peer_;
        port = peerPort_;
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override {
        ip = local_;
        port = localPort_;
    }
    int socket() const override { return fd_; }

  private:
    bool Retry(int sslError, Clock::time_point until) const {
        if (sslError == SSL_ERROR_WANT_READ) return WaitFor(fd_, POLLIN, until);
        if (sslError == SSL_ERROR_WANT_WRITE) return WaitFor(fd_, POLLOUT, until);
        return false;
    }
    ssize_t Raw(char *ptr, size_t size) {
        if (inHeaders_)
            size = std::min(size,
                            limits_.headerBytes + 1 - std::min(headerRead_, limits_.headerBytes));
        for (;;) {
            if (ssl_) {
                ERR_clear_error();
                const int n =
                    SSL_read(ssl_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 20)));
                if (n > 0) return n;
                const int e = SSL_get_error(ssl_, n);
                if (e == SSL_ERROR_ZERO_RETURN) return 0;
                if (!Retry(e, readDeadline_)) return -1;
                continue;
            }
            const ssize_t n = recv(fd_, ptr, size, 0);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(fd_, POLLIN, readDeadline_))
                return -1;
        }
    }
    // Headers beyond the cap end the connection: memory per connection stays bounded.
    ssize_t Counted(ssize_t n) {
        if (n > 0 && inHeaders_ && (headerRead_ += static_cast<size_t>(n)) > limits_.headerBytes)
            return -1;
        return n;
    }

    int fd_;
    const HttpLimits &limits_;
    SSL *ssl_ = nullptr;
    std::string peer_, local_;
    int peerPort_ = 0, localPort_ = 0;
    Clock::time_point readDeadline_;
    bool inHeaders_ = true;
    size_t headerRead_ = 0;
    char buffer_[4096];
    size_t at_ = 0, size_ = 0;
};

}  // namespace share::sharemon::http
