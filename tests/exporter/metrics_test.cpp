// SPDX-License-Identifier: Apache-2.0
// The exposition and the files it is written to, without a server.
#include "sharemon/metrics.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "sharemon/exposition.h"
#include "sharemon/serve.h"
#include "tools/process.h"

namespace share::sharemon {
namespace {

using tools::test::ReadFile;
using tools::test::TempDir;
using tools::test::WriteFile;

TEST(ExporterRender, LabelValuesAreEscaped) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"SMB 3.1.1", "SMB 3.1.1"},    {"a\"b", "a\\\"b"},        {"c:\\share", "c:\\\\share"},
        {"two\nlines", "two\\nlines"}, {"\\\"\n", "\\\\\\\"\\n"}, {"", ""},
    };
    for (const auto &c : cases) {
        Snapshot s;
        s.up = true;
        s.shareClients[c.in] = 1;
        const std::string line = "fileserver_share_clients{share=\"" + c.out + "\"} 1\n";
        EXPECT_NE(Render(s, 0).find(line), std::string::npos) << c.in;
    }
}

// Bucket bounds are inclusive (le): a value on a bound counts in that bucket.
TEST(ExporterRender, IdleTimesFallInTheirBuckets) {
    const struct {
        uint32_t idle;
        size_t bucket;  // index in kIdleBuckets; kIdleBuckets.size() for +Inf only
    } cases[] = {{0, 0},    {1, 0},    {2, 1},     {10, 1},    {11, 2},
                 {3600, 6}, {3601, 7}, {86400, 8}, {86401, 9}, {4000000000u, 9}};
    for (const auto &c : cases) {
        Snapshot s;
        s.AddConnection({}, c.idle, 0, 0);
        for (size_t i = 0; i < kIdleBuckets.size(); ++i)
            EXPECT_EQ(s.idleBuckets[i], i == c.bucket ? 1u : 0u) << c.idle << " bucket " << i;
        EXPECT_EQ(s.idleCount, 1u);
        EXPECT_EQ(s.idleSum, c.idle);
    }
}

// Families of a rendering: name -> type, and each sample's family, checked for the text
// format's rules: HELP and TYPE once and before the samples, samples named after their family.
struct Parsed {
    std::map<std::string, std::string> types;
    std::map<std::string, std::vector<std::string>> samples;  // family -> sample lines
};

Parsed Parse(const std::string &text) {
    Parsed p;
    std::istringstream in(text);
    std::string line, family;
    std::set<std::string> helped;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first, kind, name;
        words >> first;
        if (first == "#") {
            words >> kind >> name;
            if (kind == "HELP") {
                EXPECT_TRUE(helped.insert(name).second) << "HELP twice: " << name;
            } else if (kind == "TYPE") {
                EXPECT_TRUE(helped.count(name)) << "TYPE before HELP: " << name;
                EXPECT_FALSE(p.types.count(name)) << "TYPE twice: " << name;
                words >> p.types[name];
                family = name;
            }
            continue;
        }
        const std::string sample = first.substr(0, first.find('{'));
        const std::string &type = p.types[family];
        bool ok = sample == family;
        if (type == "histogram")
            for (const char *suffix : {"_bucket", "_sum", "_count"})
                ok = ok || sample == family + suffix;
        EXPECT_TRUE(ok) << sample << " under family " << family;
        EXPECT_EQ(sample.rfind("fileserver_", 0), 0u) << sample;
        p.samples[family].push_back(line);
    }
    return p;
}

Snapshot Seeded() {
    Snapshot s;
    s.up = true;
    s.AddConnection({"SMB 3.1.1", "Kerberos", true, true}, 5, 100, 10);
    s.AddConnection({"SMB 3.1.1", "Kerberos", true, true}, 7200, 50, 5);
    s.AddConnection({"SMB 2.1", "NTLM \"v2\"", false, false}, 30, 1, 1);
    s.openFiles[{"VOL1", "read"}] = 3;
    s.shares["volume"] = 2;
    s.shareClients["home"] = 4;
    s.invalidUsers["permanent"] = 1;
    s.invalidUserTimeoutMinutes = 5;
    return s;
}

// Down: the exporter's own families and the failure's kind, none of the server's.
TEST(ExporterRender, DownShowsUpTheKindAndNoServerFamily) {
    for (ErrorKind kind : kErrorKinds) {
        Snapshot down;
        down.Fail(kind, "x");
        const Parsed p = Parse(Render(down, 0.25));
        EXPECT_EQ(p.samples.at("fileserver_up"), std::vector<std::string>{"fileserver_up 0"});
        EXPECT_EQ(p.samples.at("fileserver_scrape_duration_seconds"),
                  std::vector<std::string>{"fileserver_scrape_duration_seconds 0.25"});
        const auto &errors = p.samples.at("fileserver_scrape_error");
        EXPECT_EQ(errors.size(), kErrorKinds.size());
        for (const auto &line : errors)
            EXPECT_EQ(line.back(),
                      line.find(std::string("\"") + KindName(kind) + "\"") != std::string::npos
                          ? '1'
                          : '0')
                << line;
        EXPECT_FALSE(p.types.count("fileserver_connections")) << KindName(kind);
        EXPECT_FALSE(p.types.count("fileserver_bytes_read_total")) << KindName(kind);
    }
}

TEST(ExporterRender, FamiliesTypesAndSamples) {
    Snapshot seeded = Seeded();
    seeded.status = ParseStatus("server=sim uptime=7 requests=40 refused=2 shares=3");
    const std::string text = Render(seeded, 1.5);
    const Parsed p = Parse(text);
    const struct {
        const char *family, *type;
        std::vector<std::string> samples;  // exact lines; empty: not checked
    } cases[] = {
        {"fileserver_up", "gauge", {"fileserver_up 1"}},
        {"fileserver_build_info", "gauge", {}},
        {"fileserver_connections",
         "gauge",
         {R"(fileserver_connections{dialect="SMB 2.1",auth="NTLM \"v2\"",signed="false",encrypted="false"} 1)",
          R"(fileserver_connections{dialect="SMB 3.1.1",auth="Kerberos",signed="true",encrypted="true"} 2)"}},
        {"fileserver_open_connections_read_bytes",
         "gauge",
         {"fileserver_open_connections_read_bytes 151"}},
        {"fileserver_open_connections_written_bytes",
         "gauge",
         {"fileserver_open_connections_written_bytes 16"}},
        {"fileserver_open_files",
         "gauge",
         {R"(fileserver_open_files{volume="VOL1",access="read"} 3)"}},
        {"fileserver_shares", "gauge", {R"(fileserver_shares{type="volume"} 2)"}},
        {"fileserver_share_clients", "gauge", {R"(fileserver_share_clients{share="home"} 4)"}},
        {"fileserver_invalid_users", "gauge", {R"(fileserver_invalid_users{kind="permanent"} 1)"}},
        {"fileserver_invalid_user_timeout_seconds",
         "gauge",
         {"fileserver_invalid_user_timeout_seconds 300"}},
        {"fileserver_server_info", "gauge", {R"(fileserver_server_info{name="sim"} 1)"}},
        {"fileserver_server_uptime_seconds", "gauge", {"fileserver_server_uptime_seconds 7"}},
        {"fileserver_server_requests_total", "counter", {"fileserver_server_requests_total 40"}},
        {"fileserver_server_refused_requests_total",
         "counter",
         {"fileserver_server_refused_requests_total 2"}},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(p.types.count(c.family)) << c.family;
        EXPECT_EQ(p.types.at(c.family), c.type) << c.family;
        if (!c.samples.empty()) {
            EXPECT_EQ(p.samples.at(c.family), c.samples) << c.family;
        }
    }
    // Idle classes count from the top: 3 connections idle 5, 30 and 7200 s.
    const auto &idle = p.samples.at("fileserver_connections_idle_longer_than");
    for (const char *line : {R"(fileserver_connections_idle_longer_than{seconds="1"} 3)",
                             R"(fileserver_connections_idle_longer_than{seconds="10"} 2)",
                             R"(fileserver_connections_idle_longer_than{seconds="3600"} 1)",
                             R"(fileserver_connections_idle_longer_than{seconds="14400"} 0)"})
        EXPECT_NE(std::find(idle.begin(), idle.end(), line), idle.end()) << line;
    // Every counter is a _total and nothing else is.
    for (const auto &[family, type] : p.types)
        EXPECT_EQ(type == "counter", family.ends_with("_total")) << family;
    // No per-connection series unless asked for, nor counters without a history.
    EXPECT_EQ(text.find("connection=\""), std::string::npos);
    EXPECT_FALSE(p.types.count("fileserver_bytes_read_total"));
}

TEST(ExporterRender, PerConnectionSeriesOnlyWhenGathered) {
    Snapshot s = Seeded();
    s.perConnection = {{7, 30, 1, 2}, {9, 5, 3, 4}};
    EXPECT_EQ(Render(s, 0).find("connection=\""), std::string::npos);
    GatherOptions options;
    options.perConnection = true;
    const Parsed p = Parse(Render(s, 0, options));
    EXPECT_EQ(p.samples.at("fileserver_connection_read_bytes"),
              (std::vector<std::string>{R"(fileserver_connection_read_bytes{connection="7"} 1)",
                                        R"(fileserver_connection_read_bytes{connection="9"} 3)"}));
    EXPECT_EQ(p.types.at("fileserver_connection_idle_time_seconds"), "gauge");
}

TEST(ExporterListen, Addresses) {
    const struct {
        const char *text;
        bool ok;
        const char *host;
        int port;
    } cases[] = {
        {"127.0.0.1:9922", true, "127.0.0.1", 9922},
        {"0.0.0.0:1", true, "0.0.0.0", 1},
        {"[::1]:9922", true, "::1", 9922},
        {"localhost:80", true, "localhost", 80},
        {"127.0.0.1", false, "", 0},
        {":9922", false, "", 0},
        {"127.0.0.1:0", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:99x", false, "", 0},
        {"::1:9922", false, "", 0},
        {"[::1:9922", false, "", 0},
        {"[]:9922", false, "", 0},
    };
    for (const auto &c : cases) {
        std::string host;
        int port = 0;
        EXPECT_EQ(ParseListen(c.text, &host, &port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

std::vector<std::string> Entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

TEST(ExporterTextfile, WritesByRenameAndLeavesNothingBehind) {
    TempDir dir;
    const std::string path = dir.File("fileserver.prom");
    std::string error;
    const struct {
        std::string path, text;
        bool ok;
    } cases[] = {
        {path, "first\n", true},
        {path, "second, replacing\n", true},
        {path, "", true},
        {dir.File("missing/fileserver.prom"), "x\n", false},
        {dir.path(), "a folder is not replaced\n", false},
    };
    for (const auto &c : cases) {
        const std::string before = ReadFile(path);
        EXPECT_EQ(WriteAtomically(c.path, c.text, &error), c.ok) << c.path;
        EXPECT_EQ(ReadFile(path), c.ok ? c.text : before) << c.path;
        EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"fileserver.prom"}) << c.path;
        if (!c.ok) {
            EXPECT_NE(error.find("cannot"), std::string::npos) << error;
        }
    }
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // the collector may run as another user
}

}  // namespace
}  // namespace share::sharemon
