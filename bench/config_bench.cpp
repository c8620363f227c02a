// SPDX-License-Identifier: Apache-2.0
// config apply of 1,000 shares to an empty stand-in server, against the floor of the same 1,000
// share add commands sent straight through ValidateAndProcessCmd from one process. Each
// iteration starts a fresh server (untimed); both write their output to /dev/null.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "shareadm/config.h"
#include "tests/support/sim_process.h"

namespace share::bench {
namespace {

using shareadm::config::Json;

constexpr int kShares = 1000;

Json Share(int i) {
    const std::string name = "s" + std::to_string(1000 + i);
    return Json{{"name", name}, {"volume", "VOL1"}, {"path", "/" + name}, {"comment", "share"}};
}

// Standard output to /dev/null while alive.
class Quiet {
  public:
    Quiet() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~Quiet() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

  private:
    int saved_;
};

template <class F>
void OnFreshServer(benchmark::State &state, F run) {
    for (auto _ : state) {
        state.PauseTiming();
        auto sim = std::make_unique<test::SimProcess>(SHARESIM_PATH, std::vector<std::string>{});
        if (!sim->ready()) return state.SkipWithError("sharesim did not start");
        state.ResumeTiming();
        bool ok;
        {
            Quiet quiet;
            ok = run();
        }
        state.PauseTiming();
        sim.reset();
        state.ResumeTiming();
        if (!ok) return state.SkipWithError("a share was not created");
    }
    state.SetItemsProcessed(state.iterations() * kShares);
}

void BM_ShareAddDirect(benchmark::State &state) {
    OnFreshServer(state, [] {
        for (int i = 0; i < kShares; ++i) {
            client::Reply reply;
            if (!client::Query(client::config::ShareAddArgs(Share(i)), &reply).done()) return false;
        }
        return true;
    });
}

void BM_ConfigApply(benchmark::State &state) {
    Json doc{{"schema_version", 1}, {"shares", Json::array()}};
    for (int i = 0; i < kShares; ++i) doc["shares"].push_back(Share(i));
    const std::string file = "/tmp/share-bench-config-" + std::to_string(getpid()) + ".json";
    std::ofstream(file) << doc.dump();
    const tools::Reporter out("shareadm", false);
    OnFreshServer(state,
                  [&] { return shareadm::config::RunApply(out, file, false, false, false) == 0; });
    std::remove(file.c_str());
}

}  // namespace
}  // namespace share::bench

using namespace share::bench;
BENCHMARK(BM_ShareAddDirect)
    ->Name("BM_Config/ShareAddDirect")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ConfigApply)
    ->Name("BM_Config/Apply")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
