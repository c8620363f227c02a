// One complete exchange through SendAndReceiveIPC next to the least a client can do for the same
// exchange (socket, connect, write, poll, read, close), against one server thread that answers
// every request with a 12-byte status.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "share/protocol.h"

namespace {

sockaddr_un ServerAddress() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, "\0/tmp/cifs.str", 14);
    return addr;
}
constexpr socklen_t kAddressLength = 16;

bool ReadAll(int fd, uint8_t *p, size_t n) {
    while (n > 0) {
        const ssize_t got = read(fd, p, n);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

// Reads a request header and body, answers status 0 with no element, closes.
class StatusServer {
public:
    StatusServer() {
        listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un addr = ServerAddress();
        if (bind(listener_, reinterpret_cast<const sockaddr *>(&addr), kAddressLength) != 0 ||
            listen(listener_, 64) != 0)
            std::abort();
        thread_ = std::thread([this] { Serve(); });
    }
    ~StatusServer() {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }

private:
    void Serve() {
        static const uint8_t kStatus[12] = {};
        while (!stop_) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            uint8_t header[8];
            if (ReadAll(fd, header, sizeof header)) {
                uint32_t body;
                std::memcpy(&body, header + 4, 4);
                uint8_t sink[4096];
                bool ok = true;
                while (ok && body > 0) {
                    const size_t n = body < sizeof sink ? body : sizeof sink;
                    ok = ReadAll(fd, sink, n);
                    body -= static_cast<uint32_t>(n);
                }
                if (ok) (void)!write(fd, kStatus, sizeof kStatus);
            }
            close(fd);
        }
    }

    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void SendAndReceive(benchmark::State &state) {
    StatusServer server;
    ReqPkt *req = ReqPktInsertComponentID(0);
    ReqPktInsertFunctionID(req, 25);
    for (auto _ : state) {
        RespPkt *resp = nullptr;
        if (SendAndReceiveIPC(req, &resp) != 0) {
            state.SkipWithError("exchange failed");
            break;
        }
        std::free(resp->buffer);
        std::free(resp);
    }
    std::free(req->buffer);
    std::free(req);
}

void RawSocketFloor(benchmark::State &state) {
    StatusServer server;
    const sockaddr_un addr = ServerAddress();
    const uint8_t request[8] = {0, 25, 0, 0, 0, 0, 0, 0};
    for (auto _ : state) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        bool ok = connect(fd, reinterpret_cast<const sockaddr *>(&addr), kAddressLength) == 0 &&
                  write(fd, request, sizeof request) == sizeof request;
        pollfd p{fd, POLLIN, 0};
        uint8_t response[12];
        ok = ok && poll(&p, 1, 90000) == 1 && ReadAll(fd, response, sizeof response);
        close(fd);
        if (!ok) {
            state.SkipWithError("raw exchange failed");
            break;
        }
    }
}

}  // namespace

BENCHMARK(SendAndReceive)->Name("BM_Exchange/SendAndReceiveIPC")->UseRealTime();
BENCHMARK(RawSocketFloor)->Name("BM_Exchange/RawSocketFloor")->UseRealTime();
