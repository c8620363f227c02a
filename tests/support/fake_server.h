// A scriptable peer on the file server's abstract socket name, for tests of the client side.
// It accepts one request per connection, records it, and answers as its handler says: a whole
// response, a cut one, a trickle, or nothing at all.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace share::test {

inline constexpr socklen_t kServerAddressLength = 16;
sockaddr_un ServerAddress();

struct Element {
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    friend bool operator==(const Element &, const Element &) = default;
};

// Element helpers for building replies.
Element TextElement(uint8_t type, std::string_view text);  // text plus its NUL
Element BytesElement(uint8_t type, const void *data, size_t len);
template <class T>
Element RecordElement(uint8_t type, const T &record) {
    return BytesElement(type, &record, sizeof record);
}

struct Request {
    uint8_t component = 0;
    uint8_t function = 0;
    uint8_t count = 0;
    uint32_t bodyLength = 0;
    std::vector<Element> elements;  // parsed from the body
    std::vector<uint8_t> raw;       // header and body as received
};

// Wire bytes of a response: 12-byte header (count and body length derived) and elements.
std::vector<uint8_t> EncodeResponse(int32_t status, const std::vector<Element> &elements);
// Wire bytes of a request, as the server would receive them.
std::vector<uint8_t> EncodeRequest(uint8_t component, uint8_t function,
                                   const std::vector<Element> &elements);

struct Reply {
    enum class Mode { kSend, kSilent };
    Mode mode = Mode::kSend;
    std::vector<uint8_t> bytes;
    size_t sendLimit = SIZE_MAX;  // close after this many bytes
    std::chrono::milliseconds pacing{0};  // pause between single bytes when non-zero
    bool reset = false;  // abort the connection (RST) instead of sending

    static Reply Status(int32_t status, std::vector<Element> elements = {}) {
        return Reply{Mode::kSend, EncodeResponse(status, elements)};
    }
    static Reply Raw(std::vector<uint8_t> bytes) { return Reply{Mode::kSend, std::move(bytes)}; }
    static Reply Silent() { return Reply{Mode::kSilent, {}}; }
};

class FakeServer {
public:
    using Handler = std::function<Reply(const Request &)>;

    // Binds the abstract name and starts serving; aborts the test binary if the name is taken.
    explicit FakeServer(Handler handler);
    // Answers every request with status 0 and no element.
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer &) = delete;
    FakeServer &operator=(const FakeServer &) = delete;

    void SetHandler(Handler handler);
    std::vector<Request> Requests() const;
    Request LastRequest() const;  // empty Request when none arrived
    size_t RequestCount() const;

private:
    void Serve();
    void HandleConnection(int fd);

    int listen_fd_ = -1;
    int stop_pipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<Request> requests_;
    std::vector<int> held_;  // connections left unanswered until shutdown
    std::thread thread_;
};

// A handler that answers each function ID from the table and every other one with `otherwise`.
FakeServer::Handler ByFunction(std::map<uint8_t, Reply> replies,
                               Reply otherwise = Reply::Status(0));

}  // namespace share::test
