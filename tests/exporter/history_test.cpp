// SPDX-License-Identifier: Apache-2.0
// What the exporter keeps across gathers: counters that never go back when connections close,
// the series budget and its dropped count, the failure kinds and their log.
#include "sharemon/history.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "common/server_formats.h"
#include "sharemon/exposition.h"

namespace share::sharemon {
namespace {

// Connections open, move bytes and close at random between gathers; the counters never
// decrease, and once every connection was last seen at its final count they equal the bytes
// moved by all of them, however IDs are reused.
TEST(ExporterCounters, NeverDecreaseAndCountClosedConnections) {
    std::mt19937 random(24);
    for (int run = 0; run < 50; ++run) {
        ByteCounters counters;
        std::map<uint16_t, ConnectionSample> open;
        uint64_t closedRead = 0, closedWritten = 0, login = 1, lastRead = 0, lastWritten = 0;
        for (int gather = 0; gather < 40; ++gather) {
            for (int change = 0; change < 5; ++change) {
                const auto id = static_cast<uint16_t>(random() % 8);
                const auto it = open.find(id);
                if (it == open.end()) {
                    open[id] = {id, 0, random() % 100, random() % 100, login++};
                } else if (random() % 3 == 0) {  // closes after its last gather
                    closedRead += it->second.bytesRead;
                    closedWritten += it->second.bytesWritten;
                    open.erase(it);
                } else {
                    it->second.bytesRead += random() % 1000;
                    it->second.bytesWritten += random() % 1000;
                }
            }
            std::vector<ConnectionSample> samples;
            uint64_t openRead = 0, openWritten = 0;
            for (const auto &[id, c] : open) {
                samples.push_back(c);
                openRead += c.bytesRead;
                openWritten += c.bytesWritten;
            }
            std::shuffle(samples.begin(), samples.end(), random);
            counters.Update(samples);
            ASSERT_GE(counters.read(), lastRead) << run << "/" << gather;
            ASSERT_GE(counters.written(), lastWritten) << run << "/" << gather;
            lastRead = counters.read();
            lastWritten = counters.written();
            // Changes made since the last gather to connections that then closed are not
            // seen; the counters hold at least what was seen.
            EXPECT_GE(counters.read(), openRead);
            EXPECT_LE(counters.read(), closedRead + openRead) << run << "/" << gather;
            EXPECT_LE(counters.written(), closedWritten + openWritten) << run << "/" << gather;
        }
    }
}

// The same ID under a new login time: the old connection's bytes stay counted.
TEST(ExporterCounters, ReusedIdKeepsTheClosedConnectionsBytes) {
    ByteCounters c;
    c.Update({{5, 0, 1000, 10, 100}});
    c.Update({{5, 0, 3, 1, 200}});
    EXPECT_EQ(c.read(), 1003u);
    EXPECT_EQ(c.written(), 11u);
    c.Update({});
    EXPECT_EQ(c.read(), 1003u);
}

TEST(ExporterErrors, KindsFromTheClientLayersOutcome) {
    using client::Result;
    const struct {
        client::Outcome outcome;
        ErrorKind kind;
    } cases[] = {
        {{Result::kDone, 0, ""}, ErrorKind::kNone},
        {{Result::kUnreachable, 0, ""}, ErrorKind::kUnreachable},
        {{Result::kTimedOut, 0, ""}, ErrorKind::kTimeout},
        {{Result::kRefused, tools::kUnknownFunction, ""}, ErrorKind::kRefused},
        {{Result::kRefused, tools::kAccessDenied, ""}, ErrorKind::kAccessDenied},
        {{Result::kUnexpectedServer, 0, ""}, ErrorKind::kUnexpectedServer},
        {{Result::kRejected, 0, ""}, ErrorKind::kBadReply},
    };
    for (const auto &c : cases) EXPECT_EQ(KindOf(c.outcome), c.kind) << KindName(c.kind);
}

// One line per change of cause, none while it stays the same.
TEST(ExporterErrors, OneLogLinePerChangeOfCause) {
    std::vector<std::string> lines;
    History h(true, [&](const std::string &l) { lines.push_back(l); });
    const struct {
        ErrorKind kind;
        size_t linesAfter;
    } steps[] = {
        {ErrorKind::kNone, 0},    {ErrorKind::kUnreachable, 1},  {ErrorKind::kUnreachable, 1},
        {ErrorKind::kTimeout, 2}, {ErrorKind::kTimeout, 2},      {ErrorKind::kNone, 3},
        {ErrorKind::kNone, 3},    {ErrorKind::kAccessDenied, 4},
    };
    for (const auto &step : steps) {
        Snapshot s;
        if (step.kind == ErrorKind::kNone)
            s.up = true;
        else
            s.Fail(step.kind, "call");
        h.Record(s, {});
        ASSERT_EQ(lines.size(), step.linesAfter) << KindName(step.kind);
        if (step.kind != ErrorKind::kNone) {
            EXPECT_NE(lines.back().find(KindName(step.kind)), std::string::npos) << lines.back();
        }
    }
    EXPECT_EQ(h.errors().at(ErrorKind::kTimeout), 2u);
}

size_t Count(const std::string &text, const std::string &prefix) {
    size_t n = 0;
    for (size_t at = text.find("\n" + prefix); at != std::string::npos;
         at = text.find("\n" + prefix, at + 1))
        ++n;
    return n;
}

// Capped families hold at most the budget; what is cut is counted, and said once.
TEST(ExporterBudget, CapsFamiliesAndCountsWhatIsCut) {
    const struct {
        size_t shares, connections, max;
        bool perConnection;
    } cases[] = {{10, 10, 1000, true},      {1500, 0, 1000, false}, {1500, 3000, 1000, true},
                 {1500, 3000, 1000, false}, {5, 5, 5, true},        {6, 7, 5, true}};
    for (const auto &c : cases) {
        Snapshot s;
        s.up = true;
        for (size_t i = 0; i < c.shares; ++i) s.shareClients["s" + std::to_string(i)] = 1;
        for (size_t i = 0; i < c.connections; ++i)
            s.perConnection.push_back({static_cast<uint16_t>(i), 1, 2, 3, 4});
        const GatherOptions options{c.perConnection, c.max, ""};
        std::vector<std::string> lines;
        History h(true, [&](const std::string &l) { lines.push_back(l); });
        for (int scrape = 1; scrape <= 2; ++scrape) {
            h.Record(s, options);
            const std::string text = Render(s, 0, options, &h);
            const size_t shares = std::min(c.shares, c.max);
            const size_t conns = c.perConnection ? std::min(c.connections, c.max) : 0;
            EXPECT_EQ(Count(text, "fileserver_share_clients{"), shares);
            EXPECT_EQ(Count(text, "fileserver_connection_read_bytes{"), conns);
            const auto dropped = [&](const char *family) {
                const std::string key =
                    std::string("fileserver_exporter_series_dropped_total{family=\"") + family +
                    "\"} ";
                const auto at = text.find(key);
                return at == std::string::npos ? -1 : std::stol(text.substr(at + key.size()));
            };
            // A counter: each scrape adds what it cut.
            EXPECT_EQ(dropped("fileserver_share_clients"), long(scrape * (c.shares - shares)));
            EXPECT_EQ(dropped("fileserver_connection_read_bytes"),
                      long(scrape * (c.perConnection ? c.connections - conns : 0)));
        }
        const size_t cutFamilies =
            (c.shares > c.max) + 3 * (c.perConnection && c.connections > c.max);
        EXPECT_EQ(lines.size(), cutFamilies) << c.shares << "/" << c.connections;
    }
}

TEST(ExporterStatus, ParsesTheServersStatusText) {
    const struct {
        const char *text, *name;
        std::optional<uint64_t> uptime, requests, refused;
    } cases[] = {
        {"server=sharesim uptime=5 requests=10 refused=1 shares=3", "sharesim", 5, 10, 1},
        {"uptime=x requests=-1", "", std::nullopt, std::nullopt, std::nullopt},
        {"", "", std::nullopt, std::nullopt, std::nullopt},
        {"junk refused=0", "", std::nullopt, std::nullopt, 0},
    };
    for (const auto &c : cases) {
        const ServerStatus st = ParseStatus(c.text);
        EXPECT_EQ(st.name, c.name) << c.text;
        EXPECT_EQ(st.uptimeSeconds, c.uptime) << c.text;
        EXPECT_EQ(st.requests, c.requests) << c.text;
        EXPECT_EQ(st.refused, c.refused) << c.text;
    }
}

}  // namespace
}  // namespace share::sharemon
