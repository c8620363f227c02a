// SPDX-License-Identifier: Apache-2.0
// A C++ consumer of the installed libsharemonitor: one real exchange with a server thread in a
// private network namespace (so no real server is ever reached). Prints "ok" when it holds.
#include <sched.h>
#include <sharemonitor.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

int Fail(const char *what) {
    std::fprintf(stderr, "check failed: %s\n", what);
    return 1;
}

}  // namespace

int main() {
    static_assert(noexcept(RespPktInsertStatus(0)), "exported functions are noexcept");
    gCIFSLogLevel = 0;
    if (unshare(CLONE_NEWNET) != 0) {
        // Without a private namespace the server name could be a real server's: packets only.
        RespPkt *resp = RespPktInsertStatus(5);
        if (resp == nullptr || RespPktGetNumberOfData(resp) != 0) return Fail("packet");
        std::free(resp->buffer);
        std::free(resp);
        std::puts("ok (no private network namespace: exchange skipped)");
        return 0;
    }
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, "\0/tmp/cifs.str", 14);
    if (bind(listener, reinterpret_cast<sockaddr *>(&addr), 16) != 0 || listen(listener, 1) != 0)
        return Fail("listen");
    std::thread server([listener] {
        const int fd = accept(listener, nullptr, nullptr);
        uint8_t header[8];
        if (fd < 0 || read(fd, header, sizeof header) != 8) return;
        const uint8_t reply[12 + 8 + 3] = {7, 0, 0, 0, 1, 0, 0, 0, 11,  0,   0, 0,
                                           1, 0, 0, 0, 3, 0, 0, 0, 'o', 'k', 0};
        (void)!write(fd, reply, sizeof reply);
        close(fd);
    });
    ReqPkt *req = ReqPktInsertComponentID(0);
    ReqPktInsertFunctionID(req, 0);
    RespPkt *resp = nullptr;
    const int rc = SendAndReceiveIPC(req, &resp);
    server.join();
    close(listener);
    std::free(req->buffer);
    std::free(req);
    if (rc != 0 || resp == nullptr) return Fail("exchange");
    int32_t status;
    std::memcpy(&status, resp->buffer, sizeof status);
    uint32_t len = 0;
    uint8_t type = 0;
    void *text = RespPktGetFirstData(resp, &len, &type);
    const bool good = status == 7 && text != nullptr && type == 1 && len == 3 &&
                      std::strcmp(static_cast<char *>(text), "ok") == 0;
    std::free(text);
    std::free(resp->buffer);
    std::free(resp);
    if (!good) return Fail("response");
    std::puts("ok");
    return 0;
}
