// SPDX-License-Identifier: Apache-2.0
// The exposition at the server's limits, 65,535 connections and 1,000 shares, with and without
// a cut by the series budget: promtool accepts it, the summaries stay whole and the dropped
// counter is what was cut.
#include <gtest/gtest.h>
#include <time.h>

#include <string>

#include "exporter/http_client.h"
#include "sharesim/state.h"
#include "tools/process.h"

namespace share::exporter::test {
namespace {

constexpr unsigned kConnections = 65535;
constexpr unsigned kShares = 1000;

long Dropped(const std::string &text, const std::string &family) {
    const std::string key = "fileserver_exporter_series_dropped_total{family=\"" + family + "\"} ";
    const auto at = text.find(key);
    return at == std::string::npos ? -1 : std::stol(text.substr(at + key.size()));
}

size_t Lines(const std::string &text, const std::string &prefix) {
    size_t n = 0;
    for (size_t at = text.find("\n" + prefix); at != std::string::npos;
         at = text.find("\n" + prefix, at + 1))
        ++n;
    return n;
}

TEST(ExporterScale, FullServerWithAndWithoutTheBudget) {
    tools::test::TempDir dir;
    const std::string statePath = dir.File("state.json");
    {
        sim::State state = sim::DefaultState({"VOL1", "VOL2"}, "_ADMIN");
        sim::SeedPopulation(state, kConnections, 1, time(nullptr));
        for (unsigned i = 0; state.shares.size() < kShares; ++i) {
            sim::Share s;
            s.id = state.nextShareId++;
            s.name = "S" + std::to_string(i);
            s.volume = "VOL1";
            s.path = "/";
            state.shares.push_back(s);
        }
        std::string error;
        ASSERT_TRUE(sim::SaveState(state, statePath, &error)) << error;
    }
    tools::test::SimProcess server({"--state", statePath});
    ASSERT_TRUE(server.ready());
    const struct {
        const char *maxSeries;
        size_t shareSeries, connectionSeries;  // shareSeries 0: every share
    } cases[] = {{"100000", 0, kConnections}, {"1000", 1000, 1000}, {"10", 10, 10}};
    for (const auto &c : cases) {
        const auto r = tools::test::RunTool({SHAREMON_BIN, "metrics", "--timeout", "110",
                                             "--per-connection", "--max-series", c.maxSeries},
                                            120000);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string file = dir.File(std::string("m") + c.maxSeries + ".prom");
        tools::test::WriteFile(file, r.out);
        EXPECT_EQ(std::system(("promtool check metrics <" + file).c_str()), 0) << c.maxSeries;
        // The listing holds the volumes' own shares too: every share the summary counts.
        const auto shares = static_cast<size_t>(FamilySum(r.out, "fileserver_shares"));
        ASSERT_GE(shares, kShares);
        const size_t shareSeries = c.shareSeries ? c.shareSeries : shares;
        EXPECT_EQ(Lines(r.out, "fileserver_share_clients{"), shareSeries) << c.maxSeries;
        EXPECT_EQ(Lines(r.out, "fileserver_connection_read_bytes{"), c.connectionSeries);
        EXPECT_EQ(Dropped(r.out, "fileserver_share_clients"), long(shares - shareSeries));
        EXPECT_EQ(Dropped(r.out, "fileserver_connection_read_bytes"),
                  long(kConnections - c.connectionSeries));
        // The summaries count everything, cut or not.
        double connections = 0;
        for (size_t at = r.out.find("\nfileserver_connections{"); at != std::string::npos;
             at = r.out.find("\nfileserver_connections{", at + 1))
            connections += std::stod(r.out.substr(r.out.find("} ", at) + 2));
        EXPECT_EQ(connections, kConnections) << c.maxSeries;
    }
}

}  // namespace
}  // namespace share::exporter::test
