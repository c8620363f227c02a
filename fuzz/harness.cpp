#include "fuzz/harness.h"

#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

// A fuzzed header may announce up to 4 GiB of body. Under ASan each such allocation costs a
// shadow sweep of its size, which slows a run to a few inputs a second; refusing allocations
// above 64 MiB keeps the speed and still drives the library's out-of-memory path.
extern "C" __attribute__((used)) const char *__asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=64";
}

namespace share::fuzz {
namespace {

std::mutex g_mutex;
std::deque<std::vector<uint8_t>> g_answers;
std::vector<std::vector<uint8_t>> g_requests;

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

void Serve(int listen_fd) {
    for (;;) {
        int fd = accept(listen_fd, nullptr, nullptr);
        if (fd < 0) continue;
        timeval tv{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::vector<uint8_t> request(8);
        if (ReadAll(fd, request.data(), 8)) {
            uint32_t body;
            std::memcpy(&body, &request[4], 4);
            request.resize(8 + static_cast<size_t>(body));
            if (!ReadAll(fd, request.data() + 8, body)) request.resize(8);
        }
        std::vector<uint8_t> answer;
        {
            std::lock_guard lock(g_mutex);
            g_requests.push_back(std::move(request));
            if (!g_answers.empty()) {
                answer = std::move(g_answers.front());
                g_answers.pop_front();
            }
        }
        for (size_t off = 0; off < answer.size();) {
            ssize_t w = send(fd, answer.data() + off, answer.size() - off, MSG_NOSIGNAL);
            if (w <= 0) break;
            off += static_cast<size_t>(w);
        }
        close(fd);
    }
}

}  // namespace

void StartPeer() {
    static bool started = false;
    if (started) return;
    started = true;
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("fuzz: a private network namespace is required");
        std::exit(1);
    }
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, "\0/tmp/cifs.str", 14);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), 16) != 0 || listen(fd, 64) != 0) {
        std::perror("fuzz: cannot listen on the server name");
        std::exit(1);
    }
    std::thread(Serve, fd).detach();
}

void QueueAnswers(std::span<const uint8_t> data) {
    std::lock_guard lock(g_mutex);
    g_answers.clear();
    g_requests.clear();
    while (data.size() >= 2) {
        size_t len = data[0] | (static_cast<size_t>(data[1]) << 8);
        data = data.subspan(2);
        len = std::min(len, data.size());
        g_answers.emplace_back(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(len));
        data = data.subspan(len);
    }
}

std::vector<std::vector<uint8_t>> TakeRequests() {
    std::lock_guard lock(g_mutex);
    return std::move(g_requests);
}

uint8_t Reader::Byte() {
    if (data_.empty()) return 0;
    uint8_t b = data_[0];
    data_ = data_.subspan(1);
    return b;
}

std::string Reader::Text(size_t max) {
    size_t len = std::min<size_t>({Byte(), max, data_.size()});
    std::string out;
    for (size_t i = 0; i < len; ++i) out.push_back(data_[i] == 0 ? ' ' : static_cast<char>(data_[i]));
    data_ = data_.subspan(len);
    return out;
}

}  // namespace share::fuzz
