// SPDX-License-Identifier: Apache-2.0
// `sharemon serve` and its gatherer: one gather in flight whatever the number of scrapes, the
// time-out against a server that never answers, and an endpoint that survives hostile clients.
#include "sharemon/serve.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "exporter/http_client.h"
#include "support/fake_server.h"
#include "tools/process.h"

namespace share::exporter::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using share::test::FakeServer;
using share::test::Reply;
using share::test::Request;
using tools::test::SimProcess;

FakeServer::Handler Silent() {
    return [](const Request &) { return Reply::Silent(); };
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// However many scrapes arrive together, the server sees one gather: its first request only,
// since the server never answers it. Each scrape gives up at the gather's deadline.
TEST(ExporterGatherer, ConcurrentScrapesShareOneBoundedGather) {
    FakeServer server(Silent());
    for (int scrapes : {1, 8, 32}) {
        sharemon::Gatherer gatherer({}, 600ms);
        const auto start = Clock::now();
        const size_t before = server.RequestCount();
        std::vector<std::future<std::string>> results;
        for (int i = 0; i < scrapes; ++i)
            results.push_back(std::async(std::launch::async, [&] { return gatherer.Scrape(); }));
        for (auto &r : results) {
            const std::string text = r.get();
            EXPECT_EQ(SampleValue(text, "fileserver_up"), 0) << scrapes;
            EXPECT_GE(SampleValue(text, "fileserver_scrape_duration_seconds"), 0.5) << scrapes;
        }
        const double took = Seconds(Clock::now() - start);
        EXPECT_GE(took, 0.55) << scrapes;
        EXPECT_LT(took, 5.0) << scrapes;  // not the library's own 90 s
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(server.RequestCount() - before, 1u) << scrapes << " scrapes";
        // The late gather is still in flight: a later scrape waits for it, not for a new one.
        EXPECT_EQ(SampleValue(gatherer.Scrape(), "fileserver_up"), 0);
        EXPECT_EQ(server.RequestCount() - before, 1u) << scrapes << " scrapes, then one more";
    }
}

// Each case: what a client sends, and whether the endpoint answers with a status at all.
struct Hostile {
    const char *name;
    std::string request;
    bool answers;            // an error status comes back (else: any answer, or none)
    bool halfClose = false;  // the client stops sending without closing
};

std::vector<Hostile> HostileRequests() {
    return {
        {"garbage", "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 not http\r\n\r\n", false},
        {"no version", "GET /metrics\r\n\r\n", true},
        {"unknown method", "BREW /metrics HTTP/1.1\r\nHost: x\r\n\r\n", true},
        {"bad header line", "GET /metrics HTTP/1.1\r\nno colon here\r\n\r\n", false},
        {"huge header", "GET /metrics HTTP/1.1\r\nX-Big: " + std::string(1 << 20, 'a') + "\r\n\r\n",
         false},
        {"many headers",
         [] {
             std::string r = "GET /metrics HTTP/1.1\r\n";
             for (int i = 0; i < 20000; ++i) r += "X-" + std::to_string(i) + ": v\r\n";
             return r + "\r\n";
         }(),
         false},
        {"huge URI", "GET /" + std::string(1 << 16, 'x') + " HTTP/1.1\r\n\r\n", true},
        {"NUL in path",
         [] {
             static constexpr char kRequest[] = "GET /met\0rics HTTP/1.1\r\nHost: x\r\n\r\n";
             return std::string(kRequest, sizeof kRequest - 1);
         }(),
         true},
        {"body too large",
         "POST /metrics HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n" + std::string(8192, 'b'),
         true},
        {"negative length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", true},
        {"bad chunk", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", true},
        {"truncated", "GET /metr", false, true},
        {"empty", "", false, true},
        {"bad range", "GET /metrics HTTP/1.1\r\nRange: bytes=99999999-1\r\n\r\n", true},
    };
}

class ExporterServe : public ::testing::Test {
  protected:
    static constexpr int kPort = 19922;
};

TEST_F(ExporterServe, SurvivesHostileClientsAndStillServes) {
    SimProcess sim({"--clients", "20"});
    ASSERT_TRUE(sim.ready());
    ServeProcess serve(kPort);
    ASSERT_TRUE(serve.ready());
    for (const auto &h : HostileRequests()) {
        const HttpAnswer a = Exchange(kPort, h.request, 10s, h.halfClose);
        EXPECT_TRUE(a.connected) << h.name;
        if (h.answers) {
            EXPECT_GE(a.status, 400) << h.name << ": " << a.raw.substr(0, 80);
        }
        EXPECT_NE(a.status, 500) << h.name;
        ASSERT_TRUE(serve.Alive()) << h.name;
        const HttpAnswer ok = Get(kPort, "/metrics");
        EXPECT_EQ(ok.status, 200) << "after " << h.name;
        EXPECT_EQ(SampleValue(ok.body, "fileserver_up"), 1) << "after " << h.name;
    }
    const struct {
        const char *path;
        int status;
        const char *contains;
    } pages[] = {{"/", 200, "href=\"/metrics\""},
                 {"/metrics", 200, "# TYPE fileserver_connections gauge"},
                 {"/metrics?x=1", 200, "fileserver_up 1"},
                 {"/nothing", 404, ""},
                 {"/../../etc/passwd", 400, ""}};
    for (const auto &p : pages) {
        const HttpAnswer a = Get(kPort, p.path);
        EXPECT_EQ(a.status == 200, p.status == 200) << p.path << " " << a.status;
        if (p.status != 200) {
            EXPECT_GE(a.status, 400) << p.path;
        }
        EXPECT_NE(a.body.find(p.contains), std::string::npos) << p.path;
    }
    EXPECT_EQ(serve.Stop(), 0);
}

TEST_F(ExporterServe, ManyConcurrentScrapesAllAnswered) {
    SimProcess sim({"--clients", "200"});
    ASSERT_TRUE(sim.ready());
    ServeProcess serve(kPort);
    ASSERT_TRUE(serve.ready());
    for (int clients : {4, 64}) {
        std::atomic<int> ok{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < clients; ++i)
            threads.emplace_back([&] {
                const HttpAnswer a = Get(kPort, "/metrics", 30s);
                if (a.status == 200 && SampleValue(a.body, "fileserver_up") == 1 &&
                    FamilySum(a.body, "fileserver_connections") == 200)
                    ++ok;
            });
        for (auto &t : threads) t.join();
        EXPECT_EQ(ok.load(), clients);
    }
    EXPECT_EQ(serve.Stop(), 0);
}

// A server that accepts and never answers: the scrape still returns, within the time-out, a
// 200 with fileserver_up 0; SIGTERM stops the exporter even with that gather stuck.
TEST_F(ExporterServe, ServerThatNeverAnswers) {
    FakeServer server(Silent());
    ServeProcess serve(kPort, "1");
    ASSERT_TRUE(serve.ready());
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        const HttpAnswer a = Get(kPort, "/metrics");
        const double took = Seconds(Clock::now() - start);
        EXPECT_EQ(a.status, 200) << i;
        EXPECT_EQ(SampleValue(a.body, "fileserver_up"), 0) << i;
        EXPECT_LT(took, 3.0) << i;
    }
    const auto start = Clock::now();
    EXPECT_EQ(serve.Stop(), 0);
    EXPECT_LT(Seconds(Clock::now() - start), 3.0);
}

TEST_F(ExporterServe, RefusesBadListenAddresses) {
    for (const char *listen : {"nonsense", "127.0.0.1:0", "256.1.1.1:80"}) {
        const auto r = tools::test::RunTool({SHAREMON_BIN, "serve", "--listen", listen}, 10000);
        EXPECT_EQ(r.status, 1) << listen;
        EXPECT_NE(r.err.find("listen"), std::string::npos) << listen << ": " << r.err;
    }
}

}  // namespace
}  // namespace share::exporter::test
