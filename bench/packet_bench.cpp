// SPDX-License-Identifier: Apache-2.0
// Packet throughput: building a typical request, and walking a response element by element.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "shareadmin/protocol.h"

namespace {

// A request as the command pipeline builds one: ids and a few small elements.
void BM_BuildRequest(benchmark::State &state) {
    const std::vector<uint8_t> name(64, 'n');
    const int32_t number = 7;
    for (auto _ : state) {
        ReqPkt *pkt = ReqPktInsertComponentID(0);
        ReqPktInsertFunctionID(pkt, 1);
        ReqPktInsertData(pkt, 1, static_cast<uint32_t>(name.size()), name.data());
        ReqPktInsertData(pkt, 41, sizeof number, &number);
        ReqPktInsertData(pkt, 9, 0, nullptr);
        benchmark::DoNotOptimize(pkt->buffer);
        std::free(pkt->buffer);
        std::free(pkt);
    }
    state.SetItemsProcessed(state.iterations() * 3);
}

// A response of N elements of `size` bytes, walked with GetFirstData/GetNextData.
void BM_WalkResponse(benchmark::State &state) {
    const auto count = static_cast<int>(state.range(0));
    const auto size = static_cast<uint32_t>(state.range(1));
    const std::vector<uint8_t> payload(size, 'p');
    RespPkt *pkt = RespPktInsertStatus(0);
    for (int i = 0; i < count; ++i) pkt = RespPktInsertData(pkt, 41, size, payload.data());
    for (auto _ : state) {
        uint32_t len;
        uint8_t type;
        for (void *p = RespPktGetFirstData(pkt, &len, &type); p != nullptr;
             p = RespPktGetNextData(pkt, &len, &type)) {
            benchmark::DoNotOptimize(p);
            std::free(p);
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * count * static_cast<int64_t>(size));
    std::free(pkt->buffer);
    std::free(pkt);
}

}  // namespace

BENCHMARK(BM_BuildRequest);
BENCHMARK(BM_WalkResponse)->Args({100, 64})->Args({100, 418})->Args({10, 5168});
