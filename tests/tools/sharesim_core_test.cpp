// SPDX-License-Identifier: Apache-2.0
// The stand-in server's pieces on their own: its codec, its rules, its state file and the
// statuses its handlers give.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

#include "common/server_formats.h"
#include "shareadmin/context.h"
#include "sharesim/handlers.h"
#include "sharesim/rules.h"
#include "sharesim/state.h"
#include "sharesim/wire.h"

namespace share::sim {
namespace {

using namespace share::tools;

std::vector<uint8_t> Encode(uint8_t fid,
                            const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> &els,
                            int countAdjust = 0, int lengthAdjust = 0) {
    std::vector<uint8_t> body;
    for (const auto &[t, p] : els) {
        body.push_back(t);
        body.insert(body.end(), 3, 0);
        const uint32_t len = static_cast<uint32_t>(p.size());
        body.insert(body.end(), reinterpret_cast<const uint8_t *>(&len),
                    reinterpret_cast<const uint8_t *>(&len) + 4);
        body.insert(body.end(), p.begin(), p.end());
    }
    std::vector<uint8_t> out{0, fid, static_cast<uint8_t>(els.size() + countAdjust), 0};
    const uint32_t bl = static_cast<uint32_t>(body.size() + lengthAdjust);
    out.insert(out.end(), reinterpret_cast<const uint8_t *>(&bl),
               reinterpret_cast<const uint8_t *>(&bl) + 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(SharesimWire, ParsesOnlyRequestsWhoseElementsTileTheBody) {
    const auto good = Encode(1, {{6, std::vector<uint8_t>(10)}, {2, {1, 2}}});
    auto req = ParseRequest(good, nullptr);
    ASSERT_TRUE(req);
    EXPECT_EQ(req->function, 1);
    ASSERT_EQ(req->elements.size(), 2u);
    EXPECT_EQ(req->elements[1].type, 2);
    EXPECT_EQ(req->elements[1].payload.size(), 2u);

    std::string why;
    EXPECT_FALSE(ParseRequest(Encode(1, {{6, {1}}}, +1), &why));  // count says two
    EXPECT_NE(why.find("count"), std::string::npos);
    auto cut = Encode(1, {{6, std::vector<uint8_t>(10)}});
    cut.erase(cut.end() - 3, cut.end());  // body shorter than announced
    EXPECT_FALSE(ParseRequest(cut, nullptr));
    auto overrun = Encode(1, {{6, std::vector<uint8_t>(10)}});
    overrun[12] = 200;  // element length runs past the body
    EXPECT_FALSE(ParseRequest(overrun, nullptr));
    EXPECT_TRUE(ParseRequest(Encode(0, {}), nullptr));
}

TEST(SharesimWire, ResponsesCountTheirElementsAndBody) {
    Response r(5);
    r.AddText(1, "ab");
    r.Add(41, std::vector<uint8_t>{1, 2, 3, 4});
    const auto bytes = r.Encode();
    ASSERT_EQ(bytes.size(), 12u + 8 + 3 + 8 + 4);
    int32_t status;
    uint32_t count, body;
    std::memcpy(&status, bytes.data(), 4);
    std::memcpy(&count, bytes.data() + 4, 4);
    std::memcpy(&body, bytes.data() + 8, 4);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(body, bytes.size() - 12);
}

TEST(SharesimRules, Paths) {
    const std::pair<const char *, const char *> cases[] = {
        {"", "/"},          {"/", "/"},
        {"/a//b/", "/a/b"}, {"/users/public", "/users/public"},
        {"a/b", nullptr},   {"/a/../b", nullptr},
        {"/./a", nullptr},  {"/a\\b", nullptr},
    };
    for (const auto &[in, want] : cases) {
        const auto got = NormalisePath(in);
        if (want)
            EXPECT_EQ(got.value_or("<invalid>"), want) << in;
        else
            EXPECT_FALSE(got) << in;
    }
    EXPECT_FALSE(NormalisePath("/" + std::string(511, 'a')));
}

TEST(SharesimRules, ShareNames) {
    for (const char *ok : {"docs", "a..", "My Share", "x$"}) EXPECT_TRUE(ValidShareName(ok)) << ok;
    for (const char *bad : {"", "...", " lead", "trail ", "a/b", "a:b", "a*b", "q?"})
        EXPECT_FALSE(ValidShareName(bad)) << bad;
    EXPECT_TRUE(ValidShareName(std::string(80, 'n')));
    EXPECT_FALSE(ValidShareName(std::string(81, 'n')));
}

TEST(SharesimOptions, EveryRowIsServedStoredAndDistinct) {
    std::set<int> functions, elements, commands;
    for (const auto &optionRow : OptionTable()) {
        EXPECT_STREQ(FunctionName(optionRow.function), optionRow.name)
            << "function " << int(optionRow.function);
        EXPECT_TRUE(FunctionChangesState(optionRow.function)) << optionRow.name;
        EXPECT_TRUE(ValidOptionValue(optionRow, DefaultOptionValue(optionRow))) << optionRow.name;
        EXPECT_TRUE(functions.insert(optionRow.function).second) << optionRow.name;
        EXPECT_TRUE(elements.insert(optionRow.element).second) << optionRow.name;
        EXPECT_TRUE(commands.insert(optionRow.command).second) << optionRow.name;
        EXPECT_EQ(FindOptionByName(optionRow.name), &optionRow);
    }
    for (int f = 0; f <= CIFS_FN_LAST; ++f) EXPECT_STRNE(FunctionName(f), "unknown") << f;
}

State Seeded() {
    State st = DefaultState({"VOL1", "VOL2"}, "_ADMIN");
    SeedPopulation(st, 12, 7, 1700000000);
    return st;
}

TEST(SharesimState, JsonRoundTripKeepsEverything) {
    State st = Seeded();
    st.virtualServers.push_back({"FS1", "10.0.0.1"});
    st.shareByDefault["FS1"] = true;
    st.lastQuotaSync = QuotaSync{"ALICE", 3};
    st.options["dialect"].text = "SMB2";
    const std::string text = ToJson(st);
    EXPECT_EQ(ToJson(FromJson(text)), text);
    ASSERT_FALSE(st.connections.empty());
    EXPECT_EQ(FromJson(text).connections.size(), 12u);
}

TEST(SharesimState, CorruptFilesAreRefusedWithTheFaultNamed) {
    using Json = nlohmann::ordered_json;
    const Json base = Json::parse(ToJson(Seeded()));
    struct Case {
        const char *name;
        std::function<void(Json &)> spoil;
        const char *expect;
    };
    const Case cases[] = {
        {"missing field", [](Json &j) { j["shares"][0].erase("volume"); }, "shares[0].volume"},
        {"wrong type", [](Json &j) { j["invalid_user_timeout"] = "30"; }, "invalid_user_timeout"},
        {"duplicate share", [](Json &j) { j["shares"].push_back(j["shares"][0]); }, "duplicate"},
        {"unknown volume", [](Json &j) { j["shares"][0]["volume"] = "NOPE"; }, "no volume"},
        {"bad option value", [](Json &j) { j["options"]["smb-signing"] = 9; },
         "options.smb-signing"},
        {"unknown option", [](Json &j) { j["options"]["turbo"] = 1; }, "unknown option"},
        {"duplicate connection", [](Json &j) { j["connections"].push_back(j["connections"][0]); },
         "duplicate connection"},
        {"other format", [](Json &j) { j["format"] = "something"; }, "format"},
        {"future version", [](Json &j) { j["version"] = 2; }, "version"},
        {"relative path", [](Json &j) { j["shares"][0]["path"] = "x"; }, "path"},
    };
    for (const auto &c : cases) {
        Json j = base;
        c.spoil(j);
        try {
            FromJson(j.dump());
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const StateError &e) {
            EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos)
                << c.name << ": " << e.what();
        }
    }
    const std::string text = base.dump();
    EXPECT_THROW(FromJson(text.substr(0, text.size() / 2)), StateError);  // torn file
    EXPECT_THROW(FromJson(""), StateError);
}

// Handler statuses, request by request, on a seeded state.
struct Call {
    const char *what;
    uint8_t function;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> elements;
    int32_t status;
};

template <class T>
std::vector<uint8_t> B(const T &record) {
    const auto *p = reinterpret_cast<const uint8_t *>(&record);
    return {p, p + sizeof record};
}

std::vector<uint8_t> Text(const std::string &s, size_t size = 0) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.resize(std::max(size, s.size() + 1), 0);
    return v;
}

ShareParams ShareRec(const char *name, const char *path = "", const char *newName = "",
                     uint32_t mask = 0) {
    ShareParams r{};
    std::strcpy(r.shareName, name);
    std::strcpy(r.sharePath, path);
    std::strcpy(r.newShareName, newName);
    r.modifyMask = mask;
    return r;
}

std::vector<std::pair<uint8_t, std::vector<uint8_t>>> Add(const char *name, const char *path) {
    return {{6, B(ShareRec(name, path))}, {2, Text(path, 512)}, {20, Text("", 256)}};
}

TEST(SharesimHandlers, StatusesTellEachFaultApart) {
    const Call calls[] = {
        {"add", 2, Add("docs", "VOL1:/docs"), kOk},
        {"add again, other case", 2, Add("DOCS", "VOL1:/d2"), kNameTaken},
        {"add a volume's name", 2, Add("vol2", "VOL1:/d3"), kNameTaken},
        {"add on an unknown volume", 2, Add("x1", "VOL9:/x"), kNoSuchVolume},
        {"add on the admin volume", 2, Add("x2", "_ADMIN:/x"), kNotPermitted},
        {"add with ..", 2, Add("x3", "VOL1:/a/../b"), kInvalidValue},
        {"add without colon", 2, Add("x4", "VOL1/a"), kInvalidValue},
        {"add with a bad name", 2, Add("a/b", "VOL1:/x"), kInvalidValue},
        {"add missing elements", 2, {{6, B(ShareRec("x5", "VOL1:/x"))}}, kMalformedRequest},
        {"add short record",
         2,
         {{6, Text("x", 100)}, {2, Text("", 512)}, {20, Text("", 256)}},
         kMalformedRequest},
        {"details", 1, {{6, B(ShareRec("docs"))}}, kOk},
        {"details of a volume", 1, {{6, B(ShareRec("_admin"))}}, kOk},
        {"details unknown", 1, {{6, B(ShareRec("nope"))}}, kNoSuchShare},
        {"rename onto another", 77, {{6, B(ShareRec("docs", "", "public", 1))}}, kNameTaken},
        {"rename", 77, {{6, B(ShareRec("docs", "", "papers", 1))}}, kOk},
        {"modify a volume", 77, {{6, B(ShareRec("VOL1", "", "", 4))}}, kNotPermitted},
        {"remove unknown", 3, {{6, B(ShareRec("docs"))}, {20, Text("", 256)}}, kNoSuchShare},
        {"remove", 3, {{6, B(ShareRec("papers"))}, {20, Text("", 256)}}, kOk},
        {"details of a connection", 29, {{41, B(uint16_t{3})}}, kOk},
        {"details unknown connection", 29, {{41, B(uint16_t{999})}}, kNoSuchConnection},
        {"connection ID too long", 29, {{41, B(uint32_t{3})}}, kMalformedRequest},
        {"close unknown path", 36, {{42, Text("VOL1:/no/such")}}, kNoSuchFile},
        {"close by unknown volume", 38, {{42, Text("VOL7")}}, kNoSuchVolume},
        {"clear: idle too short", 63, {{67, B(ClearConnParams{0, 5, 14})}}, kInvalidValue},
        {"invalid user twice", 22, {{40, Text("guest")}}, kNameTaken},
        {"remove unknown invalid user", 23, {{40, Text("nobody")}}, kNoSuchUser},
        {"user context again", 83, {{28, Text("ou=staff,o=example", 512)}}, kNameTaken},
        {"remove unknown context", 84, {{28, Text("ou=none", 512)}}, kNoSuchEntry},
        {"signing 3", 5, {{5, {3}}}, kInvalidValue},
        {"signing FORCE", 5, {{5, {2}}}, kOk},
        {"dialect smb2 (case)", 42, {{47, Text("smb2")}}, kInvalidValue},
        {"dialect unterminated", 42, {{47, {'S', 'M', 'B'}}}, kMalformedRequest},
        {"oplock timeout 31", 46, {{51, B(int32_t{31})}}, kInvalidValue},
        {"cache kind 4", 17, {{35, B(CacheParams{10, 4})}}, kInvalidValue},
        {"remove missing interface", 74, {{75, Text("eth9", 16)}}, kNoSuchEntry},
        {"dfs clear unknown volume",
         88,
         {{81,
           [] {
               DfsReferralCacheParams p{};
               p.durationMinutes = -1;
               std::strcpy(p.junctionPath, "VOL9:/j");
               return B(p);
           }()}},
         kNoSuchVolume},
        {"every function answers", 40, {}, kOk},
    };
    State st = Seeded();
    ServerStats stats;
    for (const auto &c : calls) {
        const auto bytes = Encode(c.function, c.elements);
        const auto req = ParseRequest(bytes, nullptr);
        ASSERT_TRUE(req) << c.what;
        Context ctx{st, 1700000000, stats};
        const Response r = Handle(ctx, *req);
        EXPECT_EQ(r.status(), c.status) << c.what;
        if (r.status() != kOk) {
            EXPECT_EQ(r.count(), 0u) << c.what << ": a refusal carries no element";
        }
    }
    Context ctx{st, 1700000000, stats};
    const auto other = Encode(0, {});
    auto req = ParseRequest(other, nullptr);
    req->component = 1;
    EXPECT_EQ(Handle(ctx, *req).status(), kUnknownFunction);
}

// Every handler that takes a name: unreadable (no terminator) is malformed; empty, too long
// or with a control character is an invalid value; each reaches the state only when accepted.
TEST(SharesimHandlers, NamesAreCheckedAlikeByEveryHandler) {
    using Make = std::vector<uint8_t> (*)(const std::string &);
    struct Case {
        const char *what;
        uint8_t function, element;
        size_t maxLen;
        Make make;  // the element; a name too long for it comes out unterminated
    };
    const Case cases[] = {
        {"virtual server", CIFS_FN_VIRTUAL_SERVER_ADD, CIFS_ELEM_VIRTUAL_SERVER, 255,
         [](const std::string &n) {
             VirtualServerParams p{};
             std::memcpy(p.serverName, n.data(), std::min(n.size(), sizeof p.serverName));
             return B(p);
         }},
        {"DNS entry", CIFS_FN_DNS_ENTRY_ADD, CIFS_ELEM_DNS_ENTRY, 15,
         [](const std::string &n) {
             DnsEntryParams p{};
             std::memcpy(p.netbiosName, n.data(), std::min(n.size(), sizeof p.netbiosName));
             return B(p);
         }},
        {"quota sync", CIFS_FN_USER_QUOTA_SYNC, CIFS_ELEM_USER_QUOTA_SYNC, 64,
         [](const std::string &n) {
             QuotaSyncParams p{};
             std::memcpy(p.quotaTarget, n.data(), std::min(n.size(), sizeof p.quotaTarget));
             p.quotaSyncValue = -1;
             return B(p);
         }},
        {"quota view", CIFS_FN_USER_QUOTA_VIEW, CIFS_ELEM_USER_QUOTA_VIEW, 64,
         [](const std::string &n) { return Text(n, 65); }},
        {"user context", CIFS_FN_USER_CONTEXT_ADD, CIFS_ELEM_USER_CONTEXTS, 511,
         [](const std::string &n) { return Text(n, 512); }},
        {"invalid user", CIFS_FN_INVALID_USER_ADD, CIFS_ELEM_INVALID_USER_NAME, 256,
         [](const std::string &n) { return Text(n); }},
    };
    for (const Case &c : cases) {
        State st = DefaultState({"VOL1"}, "_ADMIN");
        ServerStats stats;
        Context ctx{st, 1700000000, stats};
        auto call = [&](const std::string &name) {
            const auto bytes = Encode(c.function, {{c.element, c.make(name)}});
            return Handle(ctx, *ParseRequest(bytes, nullptr)).status();
        };
        EXPECT_EQ(call(""), kInvalidValue) << c.what;
        EXPECT_EQ(call("a\x01"), kInvalidValue) << c.what;
        EXPECT_EQ(call(std::string(c.maxLen + 1, 'n')),
                  c.element == CIFS_ELEM_INVALID_USER_NAME ? kInvalidValue : kMalformedRequest)
            << c.what;
        const std::string before = ToJson(st);
        EXPECT_EQ(call(std::string(c.maxLen, 'n')), kOk) << c.what;
        EXPECT_NE(ToJson(st), before) << c.what << ": accepted but not stored";
    }
}

TEST(SharesimHandlers, ClearingDropsTheLongestIdleOfTheTypeFirst) {
    State st = DefaultState({"VOL1"}, "_ADMIN");
    const int64_t now = 1700000000;
    auto conn = [&](uint16_t id, int64_t idleMinutes, bool null) {
        Connection c;
        c.id = id;
        c.flags = null ? kConnFlagNullSession : 0;
        c.lastActivity = now - idleMinutes * 60;
        st.connections.push_back(c);
    };
    conn(1, 90, false);
    conn(2, 10, false);
    conn(3, 60, true);
    conn(4, 120, true);
    conn(5, 30, false);
    ServerStats stats;
    Context ctx{st, now, stats};
    auto clear = [&](uint8_t type, int32_t count, int32_t idle) {
        const auto bytes = Encode(63, {{67, B(ClearConnParams{type, count, idle})}});
        return Handle(ctx, *ParseRequest(bytes, nullptr)).status();
    };
    auto ids = [&] {
        std::vector<int> out;
        for (const auto &c : st.connections) out.push_back(c.id);
        return out;
    };
    EXPECT_EQ(clear(1, 1, 15), kOk);  // null sessions only, one: the 120-minute one
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3, 5}));
    EXPECT_EQ(clear(0, 65535, 45), kOk);  // all idle at least 45 minutes
    EXPECT_EQ(ids(), (std::vector<int>{2, 5}));
}

}  // namespace
}  // namespace share::sim
