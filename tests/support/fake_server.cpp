#include "tests/support/fake_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace share::test {
namespace {

void PutU32(std::vector<uint8_t> &out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void AppendElements(std::vector<uint8_t> &out, const std::vector<Element> &elements) {
    for (const Element &e : elements) {
        out.push_back(e.type);
        out.insert(out.end(), 3, 0);
        PutU32(out, static_cast<uint32_t>(e.payload.size()));
        out.insert(out.end(), e.payload.begin(), e.payload.end());
    }
}

uint32_t BodyLength(const std::vector<Element> &elements) {
    size_t n = 0;
    for (const Element &e : elements) n += 8 + e.payload.size();
    return static_cast<uint32_t>(n);
}

bool ReadAll(int fd, uint8_t *p, size_t n) {
    while (n > 0) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

void WriteAll(int fd, const uint8_t *p, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}

}  // namespace

sockaddr_un ServerAddress() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, "\0/tmp/cifs.str", 14);
    return addr;
}

Element TextElement(uint8_t type, std::string_view text) {
    Element e{type, std::vector<uint8_t>(text.begin(), text.end())};
    e.payload.push_back(0);
    return e;
}

Element BytesElement(uint8_t type, const void *data, size_t len) {
    const auto *p = static_cast<const uint8_t *>(data);
    return Element{type, std::vector<uint8_t>(p, p + len)};
}

std::vector<uint8_t> EncodeResponse(int32_t status, const std::vector<Element> &elements) {
    std::vector<uint8_t> out;
    PutU32(out, static_cast<uint32_t>(status));
    PutU32(out, static_cast<uint32_t>(elements.size()));
    PutU32(out, BodyLength(elements));
    AppendElements(out, elements);
    return out;
}

std::vector<uint8_t> EncodeRequest(uint8_t component, uint8_t function,
                                   const std::vector<Element> &elements) {
    std::vector<uint8_t> out{component, function, static_cast<uint8_t>(elements.size()), 0};
    PutU32(out, BodyLength(elements));
    AppendElements(out, elements);
    return out;
}

FakeServer::FakeServer() : FakeServer([](const Request &) { return Reply::Status(0); }) {}

FakeServer::FakeServer(Handler handler) : handler_(std::move(handler)) {
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr = ServerAddress();
    if (listen_fd_ < 0 ||
        bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), kServerAddressLength) != 0 ||
        listen(listen_fd_, 128) != 0 || pipe2(stop_pipe_, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "fake server: cannot listen on the server name: %s\n",
                     std::strerror(errno));
        std::abort();
    }
    thread_ = std::thread([this] { Serve(); });
}

FakeServer::~FakeServer() {
    char c = 0;
    (void)!write(stop_pipe_[1], &c, 1);
    thread_.join();
    for (int fd : held_) close(fd);
    close(listen_fd_);
    close(stop_pipe_[0]);
    close(stop_pipe_[1]);
}

void FakeServer::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
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

void FakeServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) HandleConnection(fd);
    }
}

void FakeServer::HandleConnection(int fd) {
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    Request req;
    uint8_t header[8];
    if (!ReadAll(fd, header, sizeof header)) {
        close(fd);
        return;
    }
    req.component = header[0];
    req.function = header[1];
    req.count = header[2];
    req.bodyLength = GetU32(header + 4);
    req.raw.assign(header, header + 8);
    std::vector<uint8_t> body(req.bodyLength);
    if (!ReadAll(fd, body.data(), body.size())) {
        close(fd);
        return;
    }
    req.raw.insert(req.raw.end(), body.begin(), body.end());
    for (size_t off = 0; off + 8 <= body.size();) {
        uint32_t len = GetU32(&body[off + 4]);
        if (len > body.size() - off - 8) break;
        req.elements.push_back(
            Element{body[off], std::vector<uint8_t>(&body[off + 8], &body[off + 8] + len)});
        off += 8 + len;
    }
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(req);
        handler = handler_;
    }
    Reply reply = handler(req);
    if (reply.mode == Reply::Mode::kSilent) {
        held_.push_back(fd);
        return;
    }
    if (reply.reset) {
        linger lg{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        close(fd);
        return;
    }
    size_t n = std::min(reply.sendLimit, reply.bytes.size());
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
