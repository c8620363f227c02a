// SPDX-License-Identifier: Apache-2.0
// What the benchmarks share: canned answers for the fake server of the tests (tests/support),
// the least a raw client can do for one exchange, and a heap meter.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "tests/support/fake_server.h"

namespace share::bench {

using test::Bytes;
using test::CannedOptions;
using test::FakeServer;
using test::Reply;

// A response of status 0 and no element.
const Reply &StatusOnly(std::span<const uint8_t> request);

// The stand-in server's handlers over a fixed state, each distinct request answered once and
// then from a cache, so that the server costs the same for a library call and its raw floor.
class SimResponder {
  public:
    // A default state with `shares` shares on VOL1 and `clients` seeded connections.
    SimResponder(unsigned shares, unsigned clients);
    ~SimResponder();
    const Reply &operator()(std::span<const uint8_t> request);
    FakeServer::Responder AsResponder() {
        return [this](std::span<const uint8_t> r) -> const Reply & { return (*this)(r); };
    }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// How a raw client moves the bytes.
struct RawIo {
    size_t chunk;  // most bytes per read or write
    // false: into one buffer reused across exchanges. true: the way the exchange must, into a
    // fresh receive block that is then copied into a fresh response buffer.
    bool fresh;
};
inline constexpr RawIo kLargeIo{64 * 1024, false};
inline constexpr RawIo kChunkedIo{1024, false};
inline constexpr RawIo kChunkedIoFresh{1024, true};

// One exchange the way a minimal client does it: socket, connect, write, poll, read the header
// and the body it announces, close. Returns the bytes read, or -1.
ssize_t RawExchange(std::span<const uint8_t> request, Bytes &scratch, RawIo how);

// The benchmark loop of a raw client: every request once per iteration, answers dropped.
void ReplayRaw(benchmark::State &state, const std::vector<Bytes> &requests, RawIo how);

// Heap bytes in use by the calling thread's allocations while armed, and their high-water mark.
// The benchmark binary interposes malloc, calloc, realloc and free to keep the count.
class HeapMeter {
  public:
    HeapMeter();
    ~HeapMeter();
    HeapMeter(const HeapMeter &) = delete;
    HeapMeter &operator=(const HeapMeter &) = delete;
    int64_t Peak() const;
};

}  // namespace share::bench
