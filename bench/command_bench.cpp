// SPDX-License-Identifier: Apache-2.0
// Validation and encoding alone, no I/O: what ValidateAndProcessCmd adds to an exchange, per
// command family. Each iteration fills the block with fresh copies (the commands free what they
// read), validates into a cleared context and builds the request packet.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "shareadmin/command.h"
#include "shareadmin/protocol.h"

namespace {

struct Arg {
    int32_t id;
    const char *value;
};
using Args = std::vector<Arg>;

void BM_Encode(benchmark::State &state, const Args &args) {
    for (auto _ : state) {
        int i = 0;
        for (const Arg &a : args) gbCifsArg[i++] = {a.id, a.value ? strdup(a.value) : nullptr};
        gbCifsArg[i] = {0, nullptr};

        CmdContext ctx;
        std::memset(&ctx, 0, sizeof ctx);
        bool ok = ProcessCommandLineData(&ctx) == 0;
        // A failed insert has released the packet already.
        ReqPkt *pkt = ReqPktInsertComponentID(0);
        pkt = pkt ? ReqPktInsertFunctionID(pkt, ctx.functionId) : nullptr;
        ok = ok && pkt != nullptr && PopulateRequestPacket(&ctx, pkt) == 0;
        if (pkt != nullptr) {
            benchmark::DoNotOptimize(pkt->buffer);
            std::free(pkt->buffer);
            std::free(pkt);
        }
        for (int j = 0; j < i; ++j) {
            std::free(gbCifsArg[j].value);
            gbCifsArg[j].value = nullptr;
        }
        if (!ok) return state.SkipWithError("command rejected");
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_Encode, switch, Args{{20, "yes"}});
BENCHMARK_CAPTURE(BM_Encode, keyword, Args{{4, "force"}});
BENCHMARK_CAPTURE(BM_Encode, number, Args{{21, "4"}});
BENCHMARK_CAPTURE(BM_Encode, cache, Args{{24, "DIRCACHE=300"}});
BENCHMARK_CAPTURE(BM_Encode, name_and_address, Args{{10, nullptr}, {15, "vs1"}, {16, "10.1.2.3"}});
BENCHMARK_CAPTURE(BM_Encode, dfs_junction, Args{{86, "clear"}, {34, "VOL1:/dir/junction"}});
BENCHMARK_CAPTURE(
    BM_Encode, share_create,
    Args{{1, nullptr}, {10, nullptr}, {12, "docs"}, {34, "VOL1:/docs"}, {17, "Team documents"}});
BENCHMARK_CAPTURE(BM_Encode, share_query, Args{{1, nullptr}, {7, nullptr}, {12, "docs"}});
BENCHMARK_CAPTURE(BM_Encode, connection_details, Args{{30, nullptr}, {31, "12"}});
