// SPDX-License-Identifier: Apache-2.0
// The one scriptable peer on the file server's abstract socket name, for the tests, the fuzz
// harnesses and the benchmarks. Each connection carries one request; the server records it when
// asked and answers with the next queued reply, else its handler's: a whole response, a cut one,
// a trickle, a reset, or nothing at all until the server stops.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/wire.h"

namespace share::test {

struct Request {
    uint8_t component = 0;
    uint8_t function = 0;
    uint8_t count = 0;
    uint32_t bodyLength = 0;
    std::vector<Element> elements;  // parsed from the body
    Bytes raw;                      // header and body as received
};

struct Reply {
    enum class Mode { kSend, kSilent };
    Mode mode = Mode::kSend;
    Bytes bytes;
    size_t sendLimit = SIZE_MAX;          // close after this many bytes
    std::chrono::milliseconds pacing{0};  // pause between single bytes when non-zero
    bool reset = false;                   // abort the connection (RST) instead of sending

    static Reply Status(int32_t status, std::vector<Element> elements = {}) {
        return Reply{Mode::kSend, EncodeResponse(status, elements)};
    }
    static Reply Raw(Bytes bytes) { return Reply{Mode::kSend, std::move(bytes)}; }
    static Reply Silent() { return Reply{Mode::kSilent, {}}; }
};

struct ServerOptions {
    int threads = 1;
    bool record = true;             // keep every request; false: only during Capture
    int receiveTimeoutSeconds = 5;  // for a client that stops mid-request; 0: no limit
    // Waits for a connection before accepting it: a blocked accept holds a descriptor, which
    // tests that count descriptors would see. Off, an exchange costs one system call less.
    bool pollBeforeAccept = true;
};

// For peers that must cost no more than a bare canned server (the benchmarks' floors): one or
// more threads, no recording, blocking reads.
inline ServerOptions CannedOptions(int threads = 1) {
    return ServerOptions{threads, false, 0, false};
}

class FakeServer {
  public:
    // Builds the reply for a parsed request.
    using Handler = std::function<Reply(const Request &)>;
    // Picks a reply by the request's bytes without copying either; the reply must outlive the
    // server.
    using Responder = std::function<const Reply &(std::span<const uint8_t> request)>;

    // Binds the abstract name and starts serving; aborts the process if the name is taken.
    explicit FakeServer(Handler handler, ServerOptions options = {});
    FakeServer(Responder responder, ServerOptions options);
    // Answers every request with status 0 and no element.
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer &) = delete;
    FakeServer &operator=(const FakeServer &) = delete;

    void SetHandler(Handler handler);
    // Replies for the next connections, in order, ahead of the handler or responder. Replaces
    // whatever is still queued and forgets the requests recorded so far.
    void Queue(std::vector<Reply> replies);

    std::vector<Request> Requests() const;
    Request LastRequest() const;  // empty Request when none arrived
    size_t RequestCount() const;
    std::vector<Request> TakeRequests();

    // Runs `call` (returning success) while recording, and returns the bytes of every request
    // it sent; none when the call failed. Requests recorded before are dropped.
    template <class Call>
    std::vector<Bytes> Capture(Call &&call) {
        TakeRequests();
        capturing_ = true;
        const bool ok = call();
        capturing_ = false;
        std::vector<Bytes> raw;
        for (Request &r : TakeRequests())
            if (ok) raw.push_back(std::move(r.raw));
        return raw;
    }

  private:
    FakeServer(Handler handler, Responder responder, ServerOptions options);
    void Serve();
    void Exchange(int fd, Bytes &raw);
    bool TakeQueued(Reply &reply);
    void Deliver(int fd, const Reply &reply);

    const ServerOptions options_;
    const Responder responder_;
    int listen_fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> capturing_{false};
    std::atomic<bool> queued_{false};
    mutable std::mutex mutex_;
    Handler handler_;
    std::deque<Reply> queue_;
    std::vector<Request> requests_;
    std::vector<int> held_;  // connections left unanswered until shutdown
    std::vector<std::thread> threads_;
};

// A handler that answers each function ID from the table and every other one with `otherwise`.
FakeServer::Handler ByFunction(std::map<uint8_t, Reply> replies,
                               Reply otherwise = Reply::Status(0));

}  // namespace share::test
