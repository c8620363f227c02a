// SPDX-License-Identifier: Apache-2.0
#include "bench/support.h"

#include <malloc.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>

#include "sharesim/handlers.h"
#include "sharesim/state.h"
#include "sharesim/wire.h"

// The allocator entry points the heap meter forwards to.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

namespace share::bench {
namespace {

// Per thread, so that the server's threads never count towards a client's figure.
thread_local bool tArmed = false;
thread_local int64_t tLive = 0;
thread_local int64_t tPeak = 0;

void Allocated(void *p) noexcept {
    if (!tArmed || p == nullptr) return;
    tLive += static_cast<int64_t>(malloc_usable_size(p));
    if (tLive > tPeak) tPeak = tLive;
}

void Released(size_t bytes) noexcept {
    if (tArmed) tLive -= static_cast<int64_t>(bytes);
}

size_t SizeOf(void *p) noexcept {
    return p != nullptr ? malloc_usable_size(p) : 0;
}

}  // namespace

const Reply &StatusOnly(std::span<const uint8_t>) {
    static const Reply kStatus = Reply::Status(0);
    return kStatus;
}

struct SimResponder::Impl {
    sim::State state;
    sim::ServerStats stats;
    std::mutex mutex;
    std::unordered_map<std::string, Reply> cache;  // by the request's bytes
};

SimResponder::SimResponder(unsigned shares, unsigned clients) : impl_(std::make_unique<Impl>()) {
    const int64_t now = time(nullptr);
    sim::State &st = impl_->state;
    st = sim::DefaultState({"VOL1", "VOL2"}, "_ADMIN");
    for (unsigned i = 0; i < shares; ++i) {
        sim::Share share;
        share.id = st.nextShareId++;
        share.name = "SHARE" + std::to_string(i);
        share.volume = "VOL1";
        share.path = "/projects/" + share.name;
        share.comment = "Benchmark share " + std::to_string(i);
        share.createdAt = now;
        st.shares.push_back(std::move(share));
    }
    if (clients > 0) sim::SeedPopulation(st, clients, 1, now);
}

SimResponder::~SimResponder() = default;

const Reply &SimResponder::operator()(std::span<const uint8_t> request) {
    const std::lock_guard lock(impl_->mutex);
    std::string key(request.begin(), request.end());
    auto found = impl_->cache.find(key);
    if (found == impl_->cache.end()) {
        Bytes encoded;
        if (const auto parsed = sim::ParseRequest(request, nullptr)) {
            sim::Context ctx{impl_->state, time(nullptr), impl_->stats};
            encoded = sim::Handle(ctx, *parsed).Encode();
        } else {
            encoded = sim::Response(-1).Encode();
        }
        found = impl_->cache.emplace(std::move(key), Reply::Raw(std::move(encoded))).first;
    }
    return found->second;
}

ssize_t RawExchange(std::span<const uint8_t> request, Bytes &scratch, RawIo how) {
    const int fd = test::ConnectToServer();
    if (fd < 0) return -1;
    bool ok = test::WriteAll(fd, request.data(), request.size(), how.chunk);
    pollfd p{fd, POLLIN, 0};
    uint8_t header[12];
    ok = ok && poll(&p, 1, 90000) == 1 && test::ReadAll(fd, header, sizeof header, how.chunk);
    const uint32_t body = ok ? test::LoadU32(header + 8) : 0;
    if (ok && how.fresh) {
        auto *response = static_cast<uint8_t *>(std::malloc(sizeof header + body));
        auto *block = static_cast<uint8_t *>(std::malloc(body != 0 ? body : 1));
        ok = response != nullptr && block != nullptr && test::ReadAll(fd, block, body, how.chunk);
        if (ok) std::memcpy(response + sizeof header, block, body);
        std::free(block);
        std::free(response);
    } else if (ok) {
        if (scratch.size() < body) scratch.resize(body);
        ok = test::ReadAll(fd, scratch.data(), body, how.chunk);
    }
    close(fd);
    return ok ? static_cast<ssize_t>(sizeof header + body) : -1;
}

void ReplayRaw(benchmark::State &state, const std::vector<Bytes> &requests, RawIo how) {
    Bytes scratch;
    for (auto _ : state)
        for (const Bytes &r : requests)
            if (RawExchange(r, scratch, how) < 0) return state.SkipWithError("raw exchange failed");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(requests.size()));
}

HeapMeter::HeapMeter() {
    tLive = 0;
    tPeak = 0;
    tArmed = true;
}

HeapMeter::~HeapMeter() {
    tArmed = false;
}

int64_t HeapMeter::Peak() const {
    return tPeak;
}

}  // namespace share::bench

using share::bench::Allocated;
using share::bench::Released;
using share::bench::SizeOf;

extern "C" void *malloc(size_t n) {
    void *p = __libc_malloc(n);
    Allocated(p);
    return p;
}

extern "C" void *calloc(size_t n, size_t size) {
    void *p = __libc_calloc(n, size);
    Allocated(p);
    return p;
}

extern "C" void *realloc(void *old, size_t n) {
    const size_t before = SizeOf(old);
    void *p = __libc_realloc(old, n);
    // The old block is gone unless the call failed (null for a non-zero size).
    if (p != nullptr || n == 0) Released(before);
    Allocated(p);
    return p;
}

extern "C" void free(void *p) {
    Released(SizeOf(p));
    __libc_free(p);
}
