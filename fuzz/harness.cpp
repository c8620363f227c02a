// SPDX-License-Identifier: Apache-2.0
#include "fuzz/harness.h"

#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "shareadmin/protocol.h"
#include "tests/support/fake_server.h"

// A fuzzed header may announce up to 4 GiB of body. Under ASan each such allocation costs a
// shadow sweep of its size, which slows a run to a few inputs a second; refusing allocations
// above 64 MiB keeps the speed and still drives the library's out-of-memory path.
extern "C" __attribute__((used)) const char *__asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=64";
}

namespace share::fuzz {
namespace {

using test::FakeServer;
using test::Reply;

// Lives as long as the process: libFuzzer may leave from any thread.
FakeServer *g_peer = nullptr;

}  // namespace

int Initialize(bool withPeer) {
    gCIFSLogLevel = 127;
    if (withPeer) StartPeer();
    return 0;
}

void StartPeer() {
    if (g_peer != nullptr) return;
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("fuzz: a private network namespace is required");
        std::exit(1);
    }
    // Past the queued chunks: close without an answer.
    g_peer = new FakeServer(
        [](const test::Request &) { return Reply::Raw({}); },
        test::ServerOptions{.threads = 1, .record = false, .receiveTimeoutSeconds = 2});
}

void QueueAnswers(std::span<const uint8_t> data) {
    std::vector<Reply> answers;
    while (data.size() >= 2) {
        size_t len = data[0] | (static_cast<size_t>(data[1]) << 8);
        data = data.subspan(2);
        len = std::min(len, data.size());
        answers.push_back(
            Reply::Raw({data.begin(), data.begin() + static_cast<std::ptrdiff_t>(len)}));
        data = data.subspan(len);
    }
    g_peer->Queue(std::move(answers));
}

void RunSelected(std::span<const uint8_t> input, void (*call)(uint8_t selector)) {
    if (input.empty() || input.size() > (1u << 20)) return;
    QueueAnswers(input.subspan(1));
    call(input[0]);
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
    for (size_t i = 0; i < len; ++i)
        out.push_back(data_[i] == 0 ? ' ' : static_cast<char>(data_[i]));
    data_ = data_.subspan(len);
    return out;
}

}  // namespace share::fuzz
