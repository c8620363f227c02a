// SPDX-License-Identifier: Apache-2.0
// The exchange itself: one SendAndReceiveIPC and one switch command through ValidateAndProcessCmd,
// each next to a raw client sending the same bytes to the same server thread; throughput with
// one and two client threads; and the stand-in server's own rate.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "bench/support.h"
#include "shareadmin/command.h"
#include "shareadmin/protocol.h"
#include "tests/support/sim_process.h"

namespace share::bench {
namespace {

// Function ID 25 (connection count): a request with no element.
constexpr uint8_t kCountRequest[8] = {0, 25, 0, 0, 0, 0, 0, 0};

struct RequestDeleter {
    void operator()(ReqPkt *pkt) const noexcept {
        std::free(pkt->buffer);
        std::free(pkt);
    }
};
using RequestPtr = std::unique_ptr<ReqPkt, RequestDeleter>;

RequestPtr CountRequest() {
    RequestPtr req(ReqPktInsertComponentID(0));
    ReqPktInsertFunctionID(req.get(), 25);
    return req;
}

// One exchange through the library; false when it failed.
bool LibraryExchange(ReqPkt *req) {
    RespPkt *resp = nullptr;
    if (SendAndReceiveIPC(req, &resp) != 0) return false;
    std::free(resp->buffer);
    std::free(resp);
    return true;
}

// The guest login switch set to "yes", as an administration tool fills the block.
bool SwitchCommand() {
    gbCifsArg[0] = {20, strdup("yes")};
    gbCifsArg[1] = {0, nullptr};
    RespPkt *resp = nullptr;
    if (ValidateAndProcessCmd(&resp) != 0) return false;
    std::free(resp->buffer);
    std::free(resp);
    return true;
}

void BM_ExchangeLibrary(benchmark::State &state) {
    FakeServer server(StatusOnly, CannedOptions());
    const RequestPtr req = CountRequest();
    for (auto _ : state)
        if (!LibraryExchange(req.get())) return state.SkipWithError("exchange failed");
}

void BM_ExchangeRaw(benchmark::State &state) {
    FakeServer server(StatusOnly, CannedOptions());
    ReplayRaw(state, {Bytes(std::begin(kCountRequest), std::end(kCountRequest))}, kLargeIo);
}

void BM_CommandLibrary(benchmark::State &state) {
    FakeServer server(StatusOnly, CannedOptions());
    for (auto _ : state)
        if (!SwitchCommand()) return state.SkipWithError("command failed");
}

// The same request bytes the command sends, captured from the library once.
void BM_CommandRaw(benchmark::State &state) {
    FakeServer server(StatusOnly, CannedOptions());
    const std::vector<Bytes> requests = server.Capture(SwitchCommand);
    if (requests.empty()) return state.SkipWithError("command failed");
    ReplayRaw(state, requests, kLargeIo);
}

// Exchanges from 1 or 2 client threads against a server with two threads.
std::unique_ptr<FakeServer> gScalingServer;

void BM_Scaling(benchmark::State &state) {
    if (state.thread_index() == 0)
        gScalingServer = std::make_unique<FakeServer>(StatusOnly, CannedOptions(2));
    const RequestPtr req = CountRequest();
    for (auto _ : state)
        if (!LibraryExchange(req.get())) state.SkipWithError("exchange failed");
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) gScalingServer.reset();
}

// The stand-in server (one serving thread, epoll) answering two client threads.
std::unique_ptr<test::SimProcess> gSim;

void BM_Sharesim(benchmark::State &state) {
    if (state.thread_index() == 0) {
        gSim = std::make_unique<test::SimProcess>(SHARESIM_PATH,
                                                  std::vector<std::string>{"--clients", "20"});
        if (!gSim->ready()) state.SkipWithError("sharesim did not start");
    }
    const RequestPtr req = CountRequest();
    for (auto _ : state)
        if (!LibraryExchange(req.get())) state.SkipWithError("exchange failed");
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) gSim.reset();
}

}  // namespace
}  // namespace share::bench

using namespace share::bench;
BENCHMARK(BM_ExchangeLibrary)->Name("BM_Exchange/SendAndReceiveIPC")->UseRealTime();
BENCHMARK(BM_ExchangeRaw)->Name("BM_Exchange/RawSocket")->UseRealTime();
BENCHMARK(BM_CommandLibrary)->Name("BM_Command/ValidateAndProcessCmd")->UseRealTime();
BENCHMARK(BM_CommandRaw)->Name("BM_Command/RawSocket")->UseRealTime();
BENCHMARK(BM_Scaling)->Name("BM_Scaling/SendAndReceiveIPC")->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_Sharesim)->Name("BM_Sharesim/SendAndReceiveIPC")->Threads(2)->UseRealTime();
