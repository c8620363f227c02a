// SPDX-License-Identifier: Apache-2.0
// The listings that grow with the server: 65,535 connections through both libraries and 1,000
// shares with their details, each next to a raw client that reads the same response bytes
// without decoding them, and the listings' peak heap next to the size of their response.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/listing_names.h"
#include "bench/support.h"
#include "shareadmin.h"
#include "sharemonitor.h"

namespace share::bench {
namespace {

constexpr unsigned kConnections = 65535;
constexpr unsigned kShares = 1000;

SimResponder &ManyConnections() {
    static SimResponder responder(0, kConnections);
    return responder;
}

SimResponder &ManyShares() {
    static SimResponder responder(kShares, 0);
    return responder;
}

bool ListConnDetails() {
    int32_t count = 0;
    ConnListNode *list = nullptr;
    if (Ext_ListConnDetails(&count, &list) != 0) return false;
    FreeConnListNodes(&list);
    return count == static_cast<int32_t>(kConnections);
}

bool GetConnectionsList() {
    ConnectionList *list = nullptr;
    if (CIFSLIB_GetConnectionsList(&list) != 0 || list == nullptr) return false;
    const bool complete = list->count == static_cast<int32_t>(kConnections);
    std::free(list->records);
    std::free(list);
    return complete;
}

bool ListAllShares() {
    ShareInfoList *list = nullptr;
    if (CIFSLIB_ListAllShares(&list) != 0 || list == nullptr) return false;
    const bool complete = list->count >= kShares;
    for (uint32_t i = 0; i < list->count; ++i) {
        ShareInfo *info;  // the list's pointers are unaligned
        std::memcpy(&info, reinterpret_cast<const uint8_t *>(list->entries) + i * sizeof info,
                    sizeof info);
        std::free(info);
    }
    std::free(list);
    return complete;
}

struct Workload {
    SimResponder &(*responder)();
    bool (*call)();
};

constexpr Workload kConnDetails{ManyConnections, ListConnDetails};
constexpr Workload kConnectionsList{ManyConnections, GetConnectionsList};
constexpr Workload kAllShares{ManyShares, ListAllShares};

// The call's requests, recorded from one run; that run also fills the responder's cache, so the
// measured runs find every answer ready.
std::vector<Bytes> RecordCall(FakeServer &server, const Workload &w) {
    return server.Capture(w.call);
}

void BM_Library(benchmark::State &state, Workload w) {
    FakeServer server(w.responder().AsResponder(), CannedOptions());
    if (RecordCall(server, w).empty()) return state.SkipWithError("listing failed");
    for (auto _ : state)
        if (!w.call()) return state.SkipWithError("listing failed");
}

// The same exchanges, bytes read and dropped undecoded.
void BM_Raw(benchmark::State &state, Workload w, RawIo how) {
    FakeServer server(w.responder().AsResponder(), CannedOptions());
    const std::vector<Bytes> requests = RecordCall(server, w);
    if (requests.empty()) return state.SkipWithError("listing failed");
    ReplayRaw(state, requests, how);
}

// The same exchanges through SendAndReceiveIPC, answers received and dropped undecoded: what the
// listing costs before its decoder runs.
void BM_Exchange(benchmark::State &state, Workload w) {
    FakeServer server(w.responder().AsResponder(), CannedOptions());
    std::vector<Bytes> requests = RecordCall(server, w);
    if (requests.empty()) return state.SkipWithError("listing failed");
    for (auto _ : state)
        for (Bytes &r : requests) {
            ReqPkt req{r.data(), static_cast<uint32_t>(r.size()), nullptr};
            RespPkt *resp = nullptr;
            if (SendAndReceiveIPC(&req, &resp) != 0) return state.SkipWithError("exchange failed");
            std::free(resp->buffer);
            std::free(resp);
        }
}

// Highest heap in use during one call (the calling thread's allocations), and the size of the
// largest response it received.
void BM_Peak(benchmark::State &state, Workload w) {
    FakeServer server(w.responder().AsResponder(), CannedOptions());
    const std::vector<Bytes> requests = RecordCall(server, w);
    if (requests.empty()) return state.SkipWithError("listing failed");
    size_t response = 0;
    for (const Bytes &r : requests) response = std::max(response, w.responder()(r).bytes.size());
    int64_t peak = 0;
    for (auto _ : state) {
        const HeapMeter meter;
        if (!w.call()) return state.SkipWithError("listing failed");
        peak = meter.Peak();
    }
    state.counters["peak_bytes"] = static_cast<double>(peak);
    state.counters["response_bytes"] = static_cast<double>(response);
}

// Every listing with its floors, then the peak heap of the two connection listings.
const bool kRegistered = [] {
    struct Listing {
        const char *name;
        Workload workload;
    };
    struct Floor {
        const char *prefix;
        RawIo how;
    };
    constexpr Listing kListings[] = {{"Ext_ListConnDetails", kConnDetails},
                                     {"CIFSLIB_GetConnectionsList", kConnectionsList},
                                     {"CIFSLIB_ListAllShares", kAllShares}};
    constexpr Floor kFloors[] = {
        {kLargeFloor, kLargeIo}, {kChunkedFloor, kChunkedIo}, {kFreshFloor, kChunkedIoFresh}};
    auto add = [](const std::string &name, auto fn) {
        return benchmark::RegisterBenchmark(name.c_str(), fn)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    };
    for (const Listing &l : kListings) {
        const Workload w = l.workload;
        add(kListing + std::string(l.name), [w](benchmark::State &s) { BM_Library(s, w); });
        add(kExchangeFloor + std::string(l.name), [w](benchmark::State &s) { BM_Exchange(s, w); });
        for (const Floor &f : kFloors)
            add(f.prefix + std::string(l.name),
                [w, how = f.how](benchmark::State &s) { BM_Raw(s, w, how); });
    }
    for (const Listing &l : {kListings[0], kListings[1]}) {
        const Workload w = l.workload;
        benchmark::RegisterBenchmark((kPeakHeap + std::string(l.name)).c_str(),
                                     [w](benchmark::State &s) { BM_Peak(s, w); })
            ->Iterations(1)
            ->Repetitions(1);
    }
    return true;
}();

}  // namespace
}  // namespace share::bench
