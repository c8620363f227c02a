// SPDX-License-Identifier: Apache-2.0
#include "sharemon/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace share::sharemon {

using Clock = std::chrono::steady_clock;

namespace {

// Set while a worker could not be started: the connection is refused on the accepting thread.
thread_local bool tNoThread = false;

// Waits until fd is ready for events or until passes. A hang-up or error counts as ready: the
// following read or write reports it.
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

// The connection a worker thread is serving, for the pre-routing handler.
struct Current {
    ConnectionStream *stream = nullptr;
    bool closeAfter = false;
};
thread_local Current tCurrent;

// One thread per admitted connection; shutting down waits for them all.
class ThreadPerConnection final : public httplib::TaskQueue {
  public:
    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard lock(mutex_);
            ++running_;
        }
        try {
            std::thread([this, fn] {
                fn();
                Done();
            }).detach();
        } catch (const std::system_error &) {
            tNoThread = true;
            fn();
            tNoThread = false;
            Done();
        }
    }
    void shutdown() override {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] { return running_ == 0; });
    }

  private:
    void Done() {
        std::lock_guard lock(mutex_);
        --running_;
        idle_.notify_all();  // under the lock: the queue outlives this call
    }
    std::mutex mutex_;
    std::condition_variable idle_;
    size_t running_ = 0;
};

using RequestFn = std::function<bool(httplib::Stream &, bool last, bool &closed)>;

template <class Base>
class Guarded final : public Base {
  public:
    template <class... A>
    explicit Guarded(HttpServer::Guard &guard, A &&...a)
        : Base(std::forward<A>(a)...), guard_(guard) {}
    void Adopt(int fd) { this->svr_sock_ = fd; }

  private:
    bool process_and_close_socket(int sock) override;
    HttpServer::Guard &guard_;
};

}  // namespace

struct HttpServer::Guard {
    HttpLimits limits;
    WebConfig config;
    SSL_CTX *ctx = nullptr;
    std::function<void(int)> adopt;
    std::mutex mutex;
    std::map<std::string, size_t> perAddress;
    std::set<int> open;
    bool stopping = false;

    bool Admit(int fd, const std::string &peer) {
        std::lock_guard lock(mutex);
        size_t &n = perAddress[peer];
        if (tNoThread || stopping || open.size() >= limits.total || n >= limits.perAddress) {
            if (n == 0) perAddress.erase(peer);
            return false;
        }
        ++n;
        open.insert(fd);
        return true;
    }
    void Release(int fd, const std::string &peer) {
        std::lock_guard lock(mutex);
        open.erase(fd);  // before the close: Stop() never touches a reused descriptor
        if (--perAddress[peer] == 0) perAddress.erase(peer);
    }
    void HangUpAll() {
        std::lock_guard lock(mutex);
        stopping = true;
        for (const int fd : open) ::shutdown(fd, SHUT_RDWR);
    }

    bool Handshake(SSL *ssl, int fd, Clock::time_point until) {
        for (;;) {
            ERR_clear_error();
            const int r = SSL_accept(ssl);
            if (r == 1) return true;
            const int e = SSL_get_error(ssl, r);
            if (e == SSL_ERROR_WANT_READ) {
                if (!WaitFor(fd, POLLIN, until)) return false;
            } else if (e != SSL_ERROR_WANT_WRITE || !WaitFor(fd, POLLOUT, until)) {
                return false;
            }
        }
    }

    void Serve(int fd, const RequestFn &process) {
        const auto start = Clock::now();
        ConnectionStream stream(fd, limits);
        if (!Admit(fd, stream.peer())) {
            if (!ctx) {
                static constexpr char kBusy[] =
                    "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
                    "Content-Length: 0\r\n\r\n";
                [[maybe_unused]] const ssize_t n =
                    send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            }
            ::shutdown(fd, SHUT_RDWR);
            close(fd);
            return;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        SSL *ssl = nullptr;
        bool ready = true;
        if (ctx) {
            ssl = SSL_new(ctx);
            ready = ssl && SSL_set_fd(ssl, fd) == 1;
            if (ready) {
                SSL_set_mode(ssl,
                             SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
                ready = Handshake(ssl, fd, start + limits.headerDeadline);
                stream.set_ssl(ssl);
            }
        }
        tCurrent = {&stream, false};
        for (int n = 0; ready && n < limits.requestsPerConnection; ++n) {
            if (n > 0 && !stream.WaitRequest()) break;
            stream.StartRequest(n == 0 ? start + limits.headerDeadline
                                       : Clock::now() + limits.headerDeadline);
            bool closed = false;
            const bool ok = process(stream, n + 1 == limits.requestsPerConnection, closed);
            if (!ok || closed || tCurrent.closeAfter) break;
        }
        tCurrent = {};
        if (ssl) {
            ERR_clear_error();
            SSL_shutdown(ssl);  // best effort: the socket does not block
            SSL_free(ssl);
        }
        ERR_clear_error();
        Release(fd, stream.peer());
        ::shutdown(fd, SHUT_RDWR);
        close(fd);
    }

    bool Authorized(const httplib::Request &req) const;
};

namespace {

template <class Base>
bool Guarded<Base>::process_and_close_socket(int sock) {
    guard_.Serve(sock, [this](httplib::Stream &s, bool last, bool &closed) {
        return this->process_request(s, last, closed, nullptr);
    });
    return true;
}

std::string DecodeBase64(const std::string &in) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : in) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else if (c == '=')
            break;
        else
            return {};
        bits = (bits << 6) | static_cast<unsigned>(v);
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xff);
        }
    }
    return out;
}

bool SetUpTls(SSL_CTX &ctx, const WebConfig &c, std::string *error) {
    const auto fail = [&](const std::string &what, const std::string &file) {
        *error = what + " " + file + ": " +
                 (access(file.c_str(), R_OK) != 0 ? std::strerror(errno) : OpenSslReason());
        return false;
    };
    SSL_CTX_set_min_proto_version(&ctx, c.minVersion == "TLS13" ? TLS1_3_VERSION : TLS1_2_VERSION);
    SSL_CTX_set_options(
        &ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    if (SSL_CTX_use_certificate_chain_file(&ctx, c.certFile.c_str()) != 1)
        return fail("cert_file", c.certFile);
    if (SSL_CTX_use_PrivateKey_file(&ctx, c.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        return fail("key_file", c.keyFile);
    if (SSL_CTX_check_private_key(&ctx) != 1) {
        *error = "key_file " + c.keyFile + " does not match cert_file " + c.certFile;
        return false;
    }
    if (!c.clientCaFile.empty()) {
        if (SSL_CTX_load_verify_locations(&ctx, c.clientCaFile.c_str(), nullptr) != 1)
            return fail("client_ca_file", c.clientCaFile);
        SSL_CTX_set_client_CA_list(&ctx, SSL_load_client_CA_file(c.clientCaFile.c_str()));
    }
    // Asked for but not checked: any certificate is accepted.
    const auto anyCert = [](int, X509_STORE_CTX *) { return 1; };
    switch (c.clientAuth) {
        case ClientAuth::None:
            SSL_CTX_set_verify(&ctx, SSL_VERIFY_NONE, nullptr);
            break;
        case ClientAuth::Request:
            SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER, anyCert);
            break;
        case ClientAuth::RequireAny:
            SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, anyCert);
            break;
        case ClientAuth::VerifyIfGiven:
            SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER, nullptr);
            break;
        case ClientAuth::RequireAndVerify:
            SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
            break;
    }
    return true;
}

}  // namespace

bool HttpServer::Guard::Authorized(const httplib::Request &req) const {
    if (config.users.empty()) return true;
    const std::string header = req.get_header_value("Authorization");
    if (header.size() < 6 || strncasecmp(header.c_str(), "Basic ", 6) != 0) return false;
    const std::string pair = DecodeBase64(header.substr(6));
    const auto colon = pair.find(':');
    if (colon == std::string::npos) return false;
    const auto user = config.users.find(pair.substr(0, colon));
    // An unknown name costs a hash too: the time taken does not tell which names exist.
    const std::string &hash =
        user != config.users.end() ? user->second : config.users.begin()->second;
    return PasswordMatches(pair.substr(colon + 1), hash) && user != config.users.end();
}

std::unique_ptr<HttpServer> HttpServer::Create(const WebConfig &config, std::string *error,
                                               HttpLimits limits) {
    std::unique_ptr<HttpServer> s(new HttpServer);
    s->guard_ = std::make_unique<Guard>();
    Guard &guard = *s->guard_;
    guard.limits = limits;
    guard.config = config;
    if (config.Tls()) {
        std::string tlsError;
        auto server = std::make_unique<Guarded<httplib::SSLServer>>(
            guard, [&](SSL_CTX &ctx) { return SetUpTls(ctx, config, &tlsError); });
        if (!server->is_valid()) {
            *error = tlsError.empty() ? "cannot set up TLS: " + OpenSslReason() : tlsError;
            return nullptr;
        }
        guard.ctx = server->ssl_context();
        guard.adopt = [p = server.get()](int fd) { p->Adopt(fd); };
        s->server_ = std::move(server);
    } else {
        auto server = std::make_unique<Guarded<httplib::Server>>(guard);
        guard.adopt = [p = server.get()](int fd) { p->Adopt(fd); };
        s->server_ = std::move(server);
    }
    httplib::Server &server = *s->server_;
    server.new_task_queue = [] { return new ThreadPerConnection; };
    server.set_payload_max_length(4096);
    server.set_keep_alive_max_count(static_cast<size_t>(limits.requestsPerConnection));
    server.set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(limits.keepAlive).count());
    server.set_pre_routing_handler([&guard](const httplib::Request &req, httplib::Response &res) {
        if (tCurrent.stream) tCurrent.stream->HeadersDone();
        if (!guard.Authorized(req)) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"sharemon\", charset=\"UTF-8\"");
            res.set_content("Unauthorized\n", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            res.status = 405;
            res.set_header("Allow", "GET, HEAD");
            res.set_content("Method Not Allowed\n", "text/plain");
            tCurrent.closeAfter = true;  // its body, if any, was not read
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    return s;
}

HttpServer::~HttpServer() = default;

httplib::Server &HttpServer::routes() {
    return *server_;
}

bool HttpServer::Tls() const {
    return guard_->ctx != nullptr;
}

// The listening socket is made here rather than by the library: the library asks for port
// sharing (so a second exporter would start and split the scrapes), keeps a backlog of 5 and
// loses the reason a bind failed.
bool HttpServer::Bind(const std::string &host, int port, std::string *error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (const int e =
            getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
        e != 0) {
        *error = gai_strerror(e);
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, freeaddrinfo);
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    const int yes = 1;  // TIME_WAIT only: a live listener still keeps the port
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
        *error = std::strerror(errno);
        close(fd);
        return false;
    }
    guard_->adopt(fd);
    return true;
}

bool HttpServer::Run() {
    return server_->listen_after_bind();
}

void HttpServer::Stop() {
    guard_->HangUpAll();
    server_->stop();
}

}  // namespace share::sharemon
