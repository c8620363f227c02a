// SPDX-License-Identifier: Apache-2.0
// shareadm and sharemon end to end: every subcommand against sharesim, their exit statuses, and
// their JSON read back and checked against the server's state.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sharesim/state.h"
#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

using Json = nlohmann::json;

RunResult Adm(std::vector<std::string> args) {
    args.insert(args.begin(), SHAREADM_BIN);
    return RunTool(args);
}
RunResult Mon(std::vector<std::string> args) {
    args.insert(args.begin(), SHAREMON_BIN);
    return RunTool(args);
}

Json Parse(const RunResult &r) {
    try {
        return Json::parse(r.out);
    } catch (const Json::exception &e) {
        ADD_FAILURE() << "not JSON: " << e.what() << "\n" << r.out << r.err;
        return Json();
    }
}

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_ = std::make_unique<SimProcess>(std::vector<std::string>{
            "--clients", "10", "--seed", "5", "--state", dir_.File("s.json")});
        ASSERT_TRUE(sim_->ready()) << sim_->Stderr();
    }
    sim::State State() const { return sim::LoadState(dir_.File("s.json")).value(); }
    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
};

// One command line, its exit status, and a check of its JSON (when it succeeds).
struct Case {
    std::vector<std::string> args;
    int status;
    std::function<void(const Json &, const sim::State &)> check;
};

void RunCases(const std::function<RunResult(std::vector<std::string>)> &tool,
              const std::vector<Case> &cases, const std::function<sim::State()> &state) {
    for (const auto &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--json");
        const RunResult r = tool(args);
        std::string line;
        for (const auto &a : c.args) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.out << r.err;
        const Json j = Parse(r);
        if (c.status != 0) {
            EXPECT_EQ(j.value("exit_status", -1), c.status) << line;
            EXPECT_FALSE(r.err.empty()) << line << ": a failure explains itself on standard error";
        } else if (c.check) {
            c.check(j, state());
        }
    }
}

TEST_F(Cli, ShareadmCoversEveryFamily) {
    auto names = [](const Json &j) {
        std::set<std::string> out;
        for (const auto &s : j) out.insert(s["name"].get<std::string>());
        return out;
    };
    const std::vector<Case> cases = {
        {{"share", "list"},
         0,
         [&](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["shares"].size(), st.volumes.size() + st.shares.size());
             for (const auto &s : j["shares"])
                 for (const char *key : {"name", "volume", "path", "comment"})
                     EXPECT_TRUE(s[key].is_string()) << key;
         }},
        {{"share", "add", "docs", "VOL2:/docs", "--comment", "Documents", "--encrypt-data", "yes",
          "--max-users", "5"},
         0,
         [](const Json &, const sim::State &st) {
             const auto *s = st.FindShare("docs");
             ASSERT_TRUE(s);
             EXPECT_EQ(s->comment, "Documents");
             EXPECT_TRUE(s->encryptData);
             EXPECT_EQ(s->maxUsers, 5);
         }},
        {{"share", "add", "docs", "VOL1:/other"}, 2, nullptr},
        {{"share", "add", "x", "VOL9:/x"}, 2, nullptr},
        {{"share", "add", "x", "VOL1:/x", "--comment", std::string(48, 'c')}, 1, nullptr},
        {{"share", "names"},
         0,
         [&](const Json &j, const sim::State &) {
             EXPECT_TRUE(std::count(j["names"].begin(), j["names"].end(), "docs"));
         }},
        {{"share", "show", "docs"},
         0,
         [](const Json &j, const sim::State &) {
             EXPECT_EQ(j["path"], "/docs");
             EXPECT_EQ(j["max_users"], 5);
             EXPECT_EQ(j["full_path"], "VOL2:/docs");
         }},
        {{"share", "show", "nope"}, 2, nullptr},
        {{"share", "modify", "docs", "--new-name", "papers", "--path", "VOL1:/papers",
          "--folder-redirection", "yes"},
         0,
         [](const Json &, const sim::State &st) {
             const auto *s = st.FindShare("papers");
             ASSERT_TRUE(s);
             EXPECT_EQ(s->volume, "VOL1");
             EXPECT_TRUE(s->folderRedirection);
         }},
        {{"share", "modify", "papers"}, 1, nullptr},
        {{"share", "modify", "papers", "--max-users", "0"},
         0,
         [](const Json &, const sim::State &st) {
             EXPECT_EQ(st.FindShare("papers")->maxUsers, 0);  // 0 is no limit, as in add
         }},
        {{"share", "modify", "papers", "--max-users", "5"}, 0, nullptr},
        {{"share", "modify", "papers", "--max-users", "-1"},
         0,
         [](const Json &, const sim::State &st) {
             EXPECT_EQ(st.FindShare("papers")->maxUsers, 0);
         }},
        {{"share", "encryption", "papers", "no"},
         0,
         [](const Json &, const sim::State &st) {
             EXPECT_FALSE(st.FindShare("papers")->encryptData);
         }},
        {{"share", "folder-redirection", "papers", "no"},
         0,
         [](const Json &, const sim::State &st) {
             EXPECT_FALSE(st.FindShare("papers")->folderRedirection);
         }},
        {{"share", "atm-backup", "papers", "yes"},
         0,
         [](const Json &, const sim::State &st) {
             EXPECT_EQ(st.FindShare("papers")->atmBackup, 1);
         }},
        {{"share", "mfa", "papers", "yes"},
         0,
         [](const Json &, const sim::State &st) { EXPECT_TRUE(st.FindShare("papers")->mfa); }},
        {{"share", "mfa", "papers", "maybe"}, 1, nullptr},
        {{"share", "remove", "papers"},
         0,
         [](const Json &, const sim::State &st) { EXPECT_FALSE(st.FindShare("papers")); }},
        {{"share", "remove", "VOL1"}, 2, nullptr},
        {{"connections", "count"},
         0,
         [](const Json &j, const sim::State &st) { EXPECT_EQ(j["count"], st.connections.size()); }},
        {{"connections", "list"},
         0,
         [](const Json &j, const sim::State &st) {
             const Json &c = j["connections"];
             ASSERT_EQ(c.size(), st.connections.size());
             for (size_t i = 0; i < c.size(); ++i) EXPECT_EQ(c[i]["id"], st.connections[i].id);
         }},
        {{"connections", "list", "--with-files"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["connections"].size(),
                       std::count_if(st.connections.begin(), st.connections.end(),
                                     [](const auto &c) { return !c.files.empty(); }));
         }},
        {{"connections", "list", "--null-sessions"},
         0,
         [](const Json &j, const sim::State &) {
             for (const auto &c : j["connections"]) EXPECT_TRUE(c["null_session"].get<bool>());
         }},
        {{"connections", "show", "2"},
         0,
         [](const Json &j, const sim::State &st) {
             const auto *c = st.FindConnection(2);
             EXPECT_EQ(j["user"], c->user);
             EXPECT_EQ(j["security_equivalences"].size(), c->secEquiv.size());
             EXPECT_EQ(j["files"].size(), c->files.size());
         }},
        {{"connections", "show", "70000"}, 1, nullptr},
        {{"connections", "show", "999"}, 2, nullptr},
        {{"connections", "shares", "2"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["shares"].size(), st.FindConnection(2)->mapped.size());
         }},
        {{"files", "list", "--volume", "VOL1"},
         0,
         [](const Json &j, const sim::State &st) {
             size_t n = 0;
             for (const auto &c : st.connections)
                 for (const auto &f : c.files) n += f.volume == "VOL1";
             EXPECT_EQ(j["open_files"].size(), n);
             EXPECT_EQ(j["total"], n);
         }},
        {{"files", "list", "--connection", "2", "--max", "1"},
         0,
         [](const Json &j, const sim::State &) { EXPECT_LE(j["open_files"].size(), 1u); }},
        {{"files", "list", "--volume", "VOL1", "--path", "VOL1:/x"}, 1, nullptr},
        {{"files", "holders", "--volume", "VOL1", "--modified"},
         0,
         [](const Json &j, const sim::State &) {
             for (const auto &c : j["connections"]) EXPECT_FALSE(c["files"].empty());
         }},
        {{"files", "holders", "--path", "VOL1:/no/such/file"}, 2, nullptr},
        {{"files", "close", "--connection", "2"},
         0,
         [](const Json &, const sim::State &st) {
             EXPECT_TRUE(st.FindConnection(2)->files.empty());
         }},
        {{"files", "close", "--volume", "VOL2"},
         0,
         [](const Json &, const sim::State &st) {
             for (const auto &c : st.connections)
                 for (const auto &f : c.files) EXPECT_NE(f.volume, "VOL2");
         }},
        {{"files", "close", "--path", "VOL1:/no/such/file"}, 2, nullptr},
        {{"clear-connections", "--type", "all", "--idle", "20", "--count", "ALL"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["remaining"], st.connections.size());
             EXPECT_GT(j["cleared"].get<int>(), 0);
         }},
        {{"clear-connections", "--type", "SOME", "--idle", "20", "--count", "1"}, 1, nullptr},
        {{"invalid-users", "add", "mallory"}, 0, nullptr},
        {{"invalid-users", "add", "mallory"}, 2, nullptr},
        {{"invalid-users", "make-permanent", "olduser"}, 0, nullptr},
        {{"invalid-users", "remove", "tempuser"}, 0, nullptr},
        {{"invalid-users", "remove", "tempuser"}, 2, nullptr},
        {{"invalid-users", "timeout", "45"},
         0,
         [](const Json &, const sim::State &st) { EXPECT_EQ(st.iucTimeoutMinutes, 45); }},
        {{"invalid-users", "timeout", "525601"}, 1, nullptr},
        {{"invalid-users", "list", "--permanent"},
         0,
         [&](const Json &j, const sim::State &) {
             EXPECT_EQ(names(j["users"]), (std::set<std::string>{"guest", "olduser", "mallory"}));
             EXPECT_EQ(j["timeout_minutes"], 45);
         }},
        {{"invalid-users", "list", "--filter", "MALL"},
         0,
         [&](const Json &j, const sim::State &) {
             EXPECT_EQ(names(j["users"]), std::set<std::string>{"mallory"});
         }},
        {{"invalid-users", "cache"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["users"].size(), st.invalidUsers.size());
         }},
        {{"user-contexts", "add", "ou=finance,o=example"}, 0, nullptr},
        {{"user-contexts", "add", ".."}, 1, nullptr},
        {{"user-contexts", "remove", "ou=nobody"}, 2, nullptr},
        {{"user-contexts", "list"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["user_contexts"].get<std::vector<std::string>>(), st.userContexts);
         }},
    };
    RunCases(Adm, cases, [&] { return State(); });
}

TEST_F(Cli, ShareadmSetsAndShowsEveryServerOption) {
    const std::vector<Case> cases = {
        {{"option", "smb-signing", "force"}, 0, nullptr},
        {{"option", "smb-signing", "sometimes"}, 1, nullptr},
        {{"option", "dialect", "SMB2"}, 0, nullptr},
        {{"option", "log-level", "info"}, 0, nullptr},
        {{"option", "lm-compatibility", "4"}, 0, nullptr},
        {{"option", "disable-smbv1", "mac"}, 0, nullptr},
        {{"option", "dns-suffix", "example.com"}, 0, nullptr},
        {{"option", "dump-crypto-keys", "yes"}, 0, nullptr},
        {{"option", "dump-crypto-keys", "--connection", "3"},
         0,
         [](const Json &, const sim::State &st) { EXPECT_EQ(st.lastCryptoDumpConnection, 3); }},
        {{"option", "dump-crypto-keys", "--connection", "999"}, 2, nullptr},
        {{"option", "dump-statistics", "T"}, 0, nullptr},
        {{"option", "cache", "FILECACHE=77"}, 0, nullptr},
        {{"option", "cache", "filecache=77"}, 1, nullptr},
        {{"option", "virtual-server", "add", "FS1", "--ip", "10.1.2.3"}, 0, nullptr},
        {{"option", "virtual-server", "remove", "FS2"}, 2, nullptr},
        {{"option", "dns-entry", "add", "NB1"}, 0, nullptr},
        {{"option", "dns-entry", "add", "NB2", "--ip", "not-an-address"}, 1, nullptr},
        {{"option", "share-volumes-by-default", "FS1", "no"}, 0, nullptr},
        {{"option", "user-quota-sync", "alice", "--value", "3"}, 0, nullptr},
        {{"option", "user-quota-view", "bob"}, 0, nullptr},
        {{"option", "multichannel-interface", "add", "eth0"}, 0, nullptr},
        {{"option", "multichannel-interface", "list"},
         0,
         [](const Json &j, const sim::State &) {
             EXPECT_EQ(j["multichannel_interfaces"], Json::array({"eth0"}));
         }},
        {{"option", "dfs-referral-cache-duration", "CLEAR", "--path", "all"}, 0, nullptr},
        {{"option", "dfs-referral-cache-duration", "120"}, 0, nullptr},
        {{"option", "status"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["connections"], st.connections.size());
         }},
        {{"option", "show"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["options"]["smb-signing"], "FORCE");
             EXPECT_EQ(j["options"]["dialect"], "SMB2");
             EXPECT_EQ(j["options"]["log-level"], "INFO");
             EXPECT_EQ(j["options"]["lm-compatibility"], 4);
             EXPECT_EQ(j["options"]["disable-smbv1"], "MAC");
             EXPECT_EQ(j["options"]["dns-suffix"], "example.com");
             EXPECT_EQ(j["options"]["dump-crypto-keys"], "YES");
             EXPECT_EQ(j["options"].size(), st.options.size());
             EXPECT_EQ(j["caches"]["filecache"], 77);
             EXPECT_EQ(j["virtual_servers"][0]["address"], "10.1.2.3");
             EXPECT_EQ(j["dns_entries"][0]["name"], "NB1");
             EXPECT_EQ(j["share_volumes_by_default"]["FS1"], false);
             EXPECT_EQ(j["multichannel_interfaces"], Json::array({"eth0"}));
             EXPECT_EQ(j["dfs_referral_cache"]["minutes"], 120);
             EXPECT_EQ(j["dfs_referral_cache"]["last_clear"], "ALL");
             EXPECT_EQ(j["last_quota_sync"]["target"], "ALICE");
             EXPECT_EQ(j["last_quota_view"], "BOB");
             EXPECT_EQ(j["last_statistics_dump"], "T");
         }},
    };
    RunCases(Adm, cases, [&] { return State(); });
    // Every single-value option of the table is reachable by its name.
    for (const char *name : {"guest-login", "sync", "passthru", "leasing", "large-mtu", "mfa",
                             "durable-handles", "compression"})
        EXPECT_EQ(Adm({"option", name, "yes"}).status, 0) << name;
    EXPECT_EQ(State().options.at("durable-handles").number, 1);
}

TEST_F(Cli, SharemonCoversEveryCommand) {
    const std::vector<Case> cases = {
        {{"connections"},
         0,
         [](const Json &j, const sim::State &st) {
             const Json &c = j["connections"];
             ASSERT_EQ(c.size(), st.connections.size());
             for (size_t i = 0; i < c.size(); ++i) EXPECT_EQ(c[i]["id"], st.connections[i].id);
         }},
        {{"connection", "4"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["files"].size(), st.FindConnection(4)->files.size());
             EXPECT_EQ(j["open_files"], st.FindConnection(4)->files.size());
             EXPECT_EQ(j["auth"], st.FindConnection(4)->auth);
         }},
        {{"connection", "65536"}, 1, nullptr},
        {{"connection", "999"}, 2, nullptr},
        {{"volumes"},
         0,
         [](const Json &j, const sim::State &st) {
             EXPECT_EQ(j["volumes"].size(), st.volumes.size() + st.shares.size());
         }},
        {{"files", "VOL1"}, 0, nullptr},
        {{"files", "NOVOL"}, 2, nullptr},
        {{"close-connection", "4"},
         0,
         [](const Json &, const sim::State &st) {
             EXPECT_TRUE(st.FindConnection(4)->files.empty());
         }},
        {{"close-volume", "VOL1"}, 0, nullptr},
        {{"files", "VOL1"},
         0,
         [](const Json &j, const sim::State &) { EXPECT_TRUE(j["open_files"].empty()); }},
        {{"close-file", "VOL1:/gone"}, 2, nullptr},
    };
    RunCases(Mon, cases, [&] { return State(); });
}

TEST_F(Cli, JsonMayFollowTheSubcommandAndHelpNeedsNoServer) {
    const RunResult after = Adm({"share", "list", "--json"});
    EXPECT_EQ(after.status, 0);
    EXPECT_TRUE(Parse(after)["shares"].is_array());
    const RunResult mon = Mon({"connections", "--json"});
    EXPECT_EQ(mon.status, 0);
    EXPECT_TRUE(Parse(mon)["connections"].is_array());
    EXPECT_EQ(Adm({"--help"}).status, 0);
    EXPECT_NE(Adm({"--help"}).out.find("Exit status"), std::string::npos);
    EXPECT_EQ(Adm({"share", "frobnicate"}).status, 1);
    EXPECT_EQ(Mon({}).status, 1);
}

TEST(CliWithoutServer, UnreachableIsStatusThree) {
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"share", "list"}, {"share", "add", "a", "VOL1:/a"}, {"connections", "count"}}) {
        const RunResult r = Adm(args);
        EXPECT_EQ(r.status, 3) << args[0] << " " << args[1] << r.err;
    }
    EXPECT_EQ(Mon({"connections"}).status, 3);
    EXPECT_EQ(Mon({"close-volume", "VOL1"}).status, 3);
    // A command the library rejects is rejected even without a server: nothing was sent.
    EXPECT_EQ(Adm({"option", "smb-signing", "bogus"}).status, 1);
}

TEST_F(Cli, WatchRedrawsUntilInterrupted) {
    std::vector<std::string> args{
        "/usr/bin/timeout", "--preserve-status", "-s", "INT",    "1.5", SHAREMON_BIN,
        "--json",           "--watch",           "1",  "volumes"};
    const RunResult r = RunTool(args);
    EXPECT_EQ(r.status, 0) << r.err;
    size_t lines = 0;
    for (size_t at = 0; (at = r.out.find('\n', at)) != std::string::npos; ++at) ++lines;
    EXPECT_GE(lines, 2u) << r.out;
    const Json first = Json::parse(r.out.substr(0, r.out.find('\n')));
    EXPECT_TRUE(first.is_object() && first.contains("timestamp")) << r.out;
    EXPECT_TRUE(first["volumes"].is_array()) << r.out;
}

}  // namespace
}  // namespace share::tools::test
