// SPDX-License-Identifier: Apache-2.0
// The exchange with the file server: one connection per request over the abstract Unix socket,
// the request written whole, one response read back.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/log.h"
#include "protocol/memory.h"
#include "protocol/server_identity.h"
#include "protocol/wire.h"

namespace share::protocol {
namespace {

// Abstract name: a zero byte, then the 13 characters of the name, no terminator.
constexpr char kServerName[] = "\0/tmp/cifs.str";
constexpr socklen_t kAddressLength = sizeof(sa_family_t) + sizeof kServerName - 1;
static_assert(kAddressLength == 16);

// How long the server may keep the client waiting, for the response and for each stall after.
constexpr int kWaitSeconds = 90;
constexpr int kWaitMillis = kWaitSeconds * 1000;

// Most bytes moved by one read or write.
constexpr size_t kChunk = 1024;

class Socket {
  public:
    explicit Socket(int fd) noexcept : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const noexcept { return fd_; }

  private:
    int fd_;
};

sockaddr_un ServerAddress() noexcept {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, kServerName, sizeof kServerName - 1);
    return addr;
}

// Waits until fd is ready for `events`, at most the server's time limit; a signal restarts the
// wait. False with errno set when it never became ready (ETIMEDOUT after the limit).
bool AwaitReady(int fd, short events) noexcept {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, kWaitMillis);
        if (ready > 0) return true;
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        if (errno != EINTR) return false;
    }
}

// A chunk could not move yet: wait for the descriptor instead of spinning.
bool Retry(int fd, short events) noexcept {
    if (errno == EINTR) return true;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return AwaitReady(fd, events);
    return false;
}

// One chunk out. Sockets are written with MSG_NOSIGNAL, so a server that hangs up early makes
// the write fail with EPIPE instead of ending the host process; other descriptors use write.
ssize_t WriteChunk(int fd, const uint8_t *data, size_t n, bool &maybeSocket) noexcept {
    if (maybeSocket) {
        const ssize_t sent = send(fd, data, n, MSG_NOSIGNAL);
        if (sent >= 0 || errno != ENOTSOCK) return sent;
        maybeSocket = false;
    }
    return write(fd, data, n);
}

// Waits for the first byte of the response. Logs and returns false when none is coming.
bool AwaitResponse(int fd) noexcept {
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        p.revents = 0;
        ready = poll(&p, 1, kWaitMillis);
    } while (ready == -1 && errno == EINTR);

    if (ready == 0) {
        SHARE_LOG_CLI_ERROR(
            "CIFS Server is too busy to respond within \"%d\" secs, exiting due to timeout\n",
            kWaitSeconds);
        return false;
    }
    if (ready < 0) {
        SHARE_LOG(CIFS_LOG_CRITICAL, CIFS_MODULE_CODIR,
                  "Failed to wait for receiving response from CIFS server, error: %d", errno);
        return false;
    }
    if (ready == 1 && (p.revents & POLLIN) == 0) {
        SHARE_LOG_CLI_ERROR(
            "Cannot read response from the established connection with CIFS Server, return "
            "events: 0x%hu",
            static_cast<unsigned short>(p.revents));
        return false;
    }
    if (ready != 1) {
        SHARE_LOG_CLI_ERROR(
            "Unexpected number of descriptors are ready while waiting for response from CIFS "
            "server: %d\n",
            ready);
        return false;
    }
    return true;
}

// Reads one response from a connected socket: the header, then exactly the body it announces.
ResponsePtr ReceiveResponse(int fd) noexcept {
    CPtr<uint8_t> header(static_cast<uint8_t *>(std::calloc(1, wire::kRespHeader)));
    if (!header) {
        SHARE_LOG_CLI_ERROR("Failed to allocate memory to receive the response packet header\n");
        return nullptr;
    }
    if (ReceiveData(fd, header.get(), wire::kRespHeader) <
        static_cast<ssize_t>(wire::kRespHeader)) {
        SHARE_LOG_CLI_ERROR("Failed to receive complete response packet header");
        return nullptr;
    }
    ResponsePtr response(static_cast<RespPkt *>(std::calloc(1, sizeof(RespPkt))));
    if (!response) {
        SHARE_LOG_CLI_ERROR("Failed to allocate memory to receive the response");
        return nullptr;
    }
    const uint32_t body = *wire::LoadU32({header.get(), wire::kRespHeader}, wire::kRespBodyLength);
    const uint64_t total = wire::kRespHeader + uint64_t{body};
    // The capacity field is 32 bits wide: a larger packet is treated as one that does not fit.
    // The buffer and the receiving block below are written in full before anything reads them
    // (the header, then the whole body), so zeroing them first would only cost time: on a large
    // listing that is tens of megabytes of memset per call.
    if (total <= UINT32_MAX)
        response->buffer = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(total)));
    if (response->buffer == nullptr) {
        SHARE_LOG_CLI_ERROR("Failed to allocate memory to receive the response header and data");
        return nullptr;
    }
    response->capacity = static_cast<uint32_t>(total);
    std::memcpy(response->buffer, header.get(), wire::kRespHeader);
    header.reset();

    CPtr<uint8_t> data(static_cast<uint8_t *>(std::malloc(body == 0 ? 1 : body)));
    if (!data) {
        SHARE_LOG_CLI_ERROR("Failed to allocate memory to receive the response data");
        return nullptr;
    }
    if (ReceiveData(fd, data.get(), body) != static_cast<ssize_t>(body)) {
        SHARE_LOG_CLI_ERROR(
            "Failed to receive complete data sent by the server (based on length of data as "
            "specified in header)");
        return nullptr;
    }
    std::memcpy(response->buffer + wire::kRespHeader, data.get(), body);
    return response;
}

}  // namespace
}  // namespace share::protocol

using share::ResponsePtr;
using namespace share::protocol;

extern "C" SHARE_API int CLI_setSocketUnblock(int fd) noexcept {
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1) {
        std::printf("Getting flags for the cli socket failed, errno = %d", errno);
        return -1;
    }
    if (fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1) {
        std::printf("Failed to set CLI socket to non-blocking, errno = %d", errno);
        return -1;
    }
    return 0;
}

extern "C" SHARE_API ssize_t readn(int fd, void *buffer, size_t n) noexcept {
    auto *at = static_cast<uint8_t *>(buffer);
    size_t remaining = n;
    while (remaining > 0) {
        const ssize_t got = read(fd, at, std::min(remaining, kChunk));
        if (got > 0) {
            at += got;
            remaining -= static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && Retry(fd, POLLIN)) continue;
        SHARE_LOG_CLI_ERROR(
            "Failed to read %lu bytes from the CLI IPC interface, bytes remaining = %lu, errno = "
            "%d",
            n, remaining, errno);
        break;
    }
    return static_cast<ssize_t>(n - remaining);
}

extern "C" SHARE_API ssize_t writen(int fd, const void *data, size_t n) noexcept {
    const auto *at = static_cast<const uint8_t *>(data);
    size_t remaining = n;
    bool maybeSocket = true;
    int writes = 0;
    while (remaining > 0) {
        const ssize_t sent = WriteChunk(fd, at, std::min(remaining, kChunk), maybeSocket);
        if (sent > 0) {
            at += sent;
            remaining -= static_cast<size_t>(sent);
            // With full chunks, every 1024 writes make one mebibyte.
            if (++writes % 1024 == 0)
                SHARE_LOG(CIFS_LOG_INFO, CIFS_MODULE_CLI,
                          "Completed writing %d MB of data through CLI IPC interface",
                          writes / 1024);
            continue;
        }
        if (sent < 0 && Retry(fd, POLLOUT)) continue;
        SHARE_LOG_CLI_ERROR(
            "Failed to write %lu bytes to the CLI IPC interface, bytes remaining = %lu, errno = %d",
            n, remaining, errno);
        break;
    }
    return static_cast<ssize_t>(n - remaining);
}

extern "C" SHARE_API ssize_t ReceiveData(int fd, void *buffer, size_t n) noexcept {
    return readn(fd, buffer, n);
}

extern "C" SHARE_API void SendData(int fd, const void *data, size_t n) noexcept {
    const ssize_t sent = writen(fd, data, n);
    if (static_cast<size_t>(sent) < n)
        SHARE_LOG_CLI_ERROR(
            "Failed to write %lu bytes of data through CLI IPC interface. Only wrote %lu bytes", n,
            static_cast<size_t>(sent));
}

extern "C" SHARE_API int SendAndReceiveIPC(ReqPkt *request, RespPkt **responseOut) noexcept {
    // Nothing to send, nowhere to put the answer, or a body that runs past the buffer.
    if (request == nullptr || responseOut == nullptr || request->buffer == nullptr) return -1;
    const auto body =
        share::wire::LoadU32({request->buffer, request->capacity}, share::wire::kReqBodyLength);
    if (!body || !share::wire::Fits(request->capacity, share::wire::kReqHeader, *body)) return -1;

    Socket sock(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (sock.fd() < 0) {
        SHARE_LOG_CLI_ERROR("Failed to create socket to connect to CIFS server, error: %d", errno);
        return -1;
    }
    if (CLI_setSocketUnblock(sock.fd()) != 0) {
        SHARE_LOG_CLI_ERROR("Failed to set the socket to be non-blocking\n");
        return -1;
    }
    const sockaddr_un addr = ServerAddress();
    if (connect(sock.fd(), reinterpret_cast<const sockaddr *>(&addr), kAddressLength) != 0) {
        SHARE_LOG_CLI_ERROR("Failed to connect to CIFS server, error: %d", errno);
        return -1;
    }
    // Checked before any byte goes out: a squatter on the name must learn nothing.
    if (!ServerIdentityAccepted(sock.fd())) return -1;
    // A short write is reported by SendData; the server's answer (or silence) decides the rest.
    SendData(sock.fd(), request->buffer, share::wire::kReqHeader + *body);
    if (!AwaitResponse(sock.fd())) return -1;
    ResponsePtr response = ReceiveResponse(sock.fd());
    if (!response) return -1;
    *responseOut = response.release();
    return 0;
}
