// SPDX-License-Identifier: Apache-2.0
#include "sharemon/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
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

#include "sharemon/http_stream.h"

namespace share::sharemon {

using http::Address;
using http::Clock;
using http::ConnectionStream;
using http::OpenSslReason;
using http::WaitFor;

namespace {

// Set while a worker could not be started: the connection is refused on the accepting thread.
thread_local bool tNoThread = false;

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
        // Headers and body go out in separate writes: Nagle's wait for the peer's delayed
        // acknowledgement would add 40 ms to every answer on a kept-alive connection.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
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

    bool Authorized(const httplib::Request &req);

    // A password that matched once is known by a keyed digest afterwards: bcrypt is slow by
    // design, and a scrape every few seconds should not pay for it each time. One per user.
    unsigned char digestKey[32] = {};
    std::mutex verifiedMutex;
    std::map<std::string, std::string> verified;
    std::string Digest(const std::string &password) const {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_MD_CTX *md = EVP_MD_CTX_new();
        EVP_DigestInit_ex(md, EVP_sha256(), nullptr);
        EVP_DigestUpdate(md, digestKey, sizeof digestKey);
        EVP_DigestUpdate(md, password.data(), password.size());
        EVP_DigestFinal_ex(md, out, &size);
        EVP_MD_CTX_free(md);
        return std::string(reinterpret_cast<char *>(out), size);
    }
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

bool HttpServer::Guard::Authorized(const httplib::Request &req) {
    if (config.users.empty()) return true;
    const std::string header = req.get_header_value("Authorization");
    if (header.size() < 6 || strncasecmp(header.c_str(), "Basic ", 6) != 0) return false;
    const std::string pair = DecodeBase64(header.substr(6));
    const auto colon = pair.find(':');
    if (colon == std::string::npos) return false;
    const std::string name = pair.substr(0, colon), password = pair.substr(colon + 1);
    const auto user = config.users.find(name);
    const std::string digest = Digest(password);
    if (user != config.users.end()) {
        std::lock_guard lock(verifiedMutex);
        const auto known = verified.find(name);
        if (known != verified.end() && known->second.size() == digest.size() &&
            CRYPTO_memcmp(known->second.data(), digest.data(), digest.size()) == 0)
            return true;
    }
    // An unknown name costs a hash too: the time taken does not tell which names exist.
    const std::string &hash =
        user != config.users.end() ? user->second : config.users.begin()->second;
    if (!PasswordMatches(password, hash) || user == config.users.end()) return false;
    std::lock_guard lock(verifiedMutex);
    verified[name] = digest;
    return true;
}

std::unique_ptr<HttpServer> HttpServer::Create(const WebConfig &config, std::string *error,
                                               HttpLimits limits) {
    std::unique_ptr<HttpServer> s(new HttpServer);
    s->guard_ = std::make_unique<Guard>();
    Guard &guard = *s->guard_;
    guard.limits = limits;
    guard.config = config;
    if (!config.users.empty() && RAND_bytes(guard.digestKey, sizeof guard.digestKey) != 1) {
        *error = "cannot draw a random key: " + OpenSslReason();
        return nullptr;
    }
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
