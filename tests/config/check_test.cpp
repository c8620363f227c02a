// SPDX-License-Identifier: Apache-2.0
// Check: each rule a document's value meets, one row a bad value (its one problem: pointer and
// message) and one row a good value (no problem). The limits are the command line's.
#include <gtest/gtest.h>

#include "tests/config/server.h"

namespace share::client::config::test {
namespace {

Json Doc(const char *section, Json value) {
    return {{"schema_version", kSchemaVersion}, {section, std::move(value)}};
}

// One share, valid but for the fields given.
Json Share(Json fields) {
    Json s = {{"name", "s"}, {"volume", "VOL1"}};
    s.update(fields);
    return Doc("shares", Json::array({s}));
}

Json Option(const char *key, Json value) {
    return Doc("options", {{key, std::move(value)}});
}

std::string Text(size_t n, char c = 'x') {
    return std::string(n, c);
}

// A text with a NUL inside.
std::string Nul(const char *before, const char *after) {
    return std::string(before) + '\0' + after;
}

struct Row {
    const char *what;
    Json doc;
    std::string pointer;  // empty with message empty: no problem
    std::string message;  // a part of it
};

TEST(Check, EachRuleRefusesItsBadValueOnceAndAcceptsTheGoodOne) {
    const Row rows[] = {
        // Shape.
        {"not an object", Json::array(), "", "must be a JSON object"},
        {"version", {{"schema_version", 2}}, "/schema_version", "must be 1"},
        {"no version", {{"shares", Json::array()}}, "", "\"schema_version\" is missing"},
        {"unknown key", Share({{"size", 1}}), "/shares/0/size", "unknown key \"size\""},
        {"type", Share({{"encrypt_data", "yes"}}), "/shares/0/encrypt_data", "must be true or"},
        {"duplicate",
         Doc("shares", {{{"name", "a"}, {"volume", "VOL1"}}, {{"name", "A"}, {"volume", "VOL1"}}}),
         "/shares/1/name", "share \"A\" is listed twice"},
        {"volume", Share({{"volume", "VOL9"}}), "/shares/0/volume", "no volume \"VOL9\""},
        {"volume any case", Share({{"volume", "vol2"}}), "", ""},
        // Shares: the command line's limits.
        {"max_users 70000", Share({{"max_users", 70000}}), "/shares/0/max_users",
         "70000 must be a number from 0 to 65535"},
        {"max_users -1", Share({{"max_users", -1}}), "/shares/0/max_users",
         "-1 must be a number from 0 to 65535"},
        {"max_users 65535", Share({{"max_users", 65535}}), "", ""},
        {"name 81 bytes", Share({{"name", Text(81)}}), "/shares/0/name",
         "(81 bytes) must be a text of 1 to 80 bytes, not only periods"},
        {"name ..", Share({{"name", ".."}}), "/shares/0/name", "\"..\" must be a text of 1 to"},
        {"name empty", Share({{"name", ""}}), "/shares/0/name", "must be a text of 1 to 80"},
        {"name 80 bytes", Share({{"name", Text(80)}}), "", ""},
        {"name spaces", Share({{"name", " s"}}), "/shares/0/name", "leading or trailing spaces"},
        {"location 512 bytes", Share({{"path", "/" + Text(506)}}), "/shares/0/path",
         "(512 bytes) must be VOLUME:PATH (a volume name, a colon, the path) of at most 511"},
        {"location 511 bytes", Share({{"path", "/" + Text(505)}}), "", ""},
        {"path relative", Share({{"path", "dir"}}), "/shares/0/path", "must start with /"},
        {"path form", Share({{"path", "/a/../b"}}), "/shares/0/path", "not in the form"},
        {"comment 48 bytes", Share({{"comment", Text(48)}}), "/shares/0/comment",
         "must be a text of at most 47 bytes, not only periods"},
        {"comment periods", Share({{"comment", "..."}}), "/shares/0/comment",
         "\"...\" must be a text of at most 47"},
        {"comment 47 bytes", Share({{"comment", Text(47)}}), "", ""},
        {"comment spaces", Share({{"comment", "x "}}), "/shares/0/comment", "trailing spaces"},
        // Options.
        {"keyword", Option("smb-signing", "SOMETIMES"), "/options/smb-signing",
         "\"SOMETIMES\" must be one of YES, NO, OPTIONAL, FORCE (any letter case)"},
        {"keyword any case", Option("smb-signing", "force"), "", ""},
        {"number", Option("oplock-break-ack-timeout", 31), "/options/oplock-break-ack-timeout",
         "31 must be a number from 5 to 30"},
        {"number as text", Option("oplock-break-ack-timeout", "30"), "", ""},
        {"text", Option("dns-suffix", Text(256)), "/options/dns-suffix",
         "must be a text of at most 255 bytes"},
        {"text empty", Option("dns-suffix", ""), "", ""},
        {"switch", Option("dump-crypto-keys", "MAYBE"), "/options/dump-crypto-keys",
         "\"MAYBE\" must be one of YES, NO"},
        {"switch on", Option("dump-crypto-keys", "YES"), "", ""},
        {"unknown option", Option("colour", 1), "/options/colour", "unknown option"},
        {"cache 0", Option("cache", {{"dircache", 0}}), "/options/cache/dircache",
         "0 must be a number from 1 to 2147483647"},
        {"cache too big", Option("cache", {{"filecache", 2147483648}}), "/options/cache/filecache",
         "2147483648 must be a number from 1 to 2147483647"},
        {"cache kind", Option("cache", {{"bigcache", 1}}), "/options/cache/bigcache",
         "unknown cache"},
        {"cache 1", Option("cache", {{"sdircache", 1}}), "", ""},
        {"dfs", Option("dfs-referral-cache-duration", 525601),
         "/options/dfs-referral-cache-duration", "525601 must be a number from 0 to 525600"},
        {"dfs max", Option("dfs-referral-cache-duration", 525600), "", ""},
        {"by default server", Option("share-volumes-by-default", {{Text(256), "YES"}}),
         "/options/share-volumes-by-default/" + Text(256), "must be a text of 1 to 255 bytes"},
        {"by default value", Option("share-volumes-by-default", {{"SRV2", "MAYBE"}}),
         "/options/share-volumes-by-default/SRV2", "\"MAYBE\" must be one of YES, NO"},
        {"by default no", Option("share-volumes-by-default", {{"SRV2", "no"}}), "", ""},
        {"virtual server", Option("virtual-server", {{{"name", Text(256)}}}),
         "/options/virtual-server/0", "must be a text of 1 to 255 bytes"},
        {"address", Option("virtual-server", {{{"name", "v"}, {"address", "192.0.2.300"}}}),
         "/options/virtual-server/0", "\"192.0.2.300\" must be an IPv4 address"},
        {"virtual server ok", Option("virtual-server", {{{"name", "v"}, {"address", "192.0.2.9"}}}),
         "", ""},
        {"dns entry", Option("dns-entry", {{{"name", Text(16)}}}), "/options/dns-entry/0",
         "must be a text of 1 to 15 bytes"},
        {"dns entry 15 bytes", Option("dns-entry", {{{"name", Text(15)}}}), "", ""},
        {"interface", Option("multichannel-interface", {Text(16)}),
         "/options/multichannel-interface/0", "must be a text of 1 to 15 bytes"},
        {"interface twice", Option("multichannel-interface", {"eth1", "ETH1"}),
         "/options/multichannel-interface/1", "listed twice"},
        {"interface ok", Option("multichannel-interface", {"eth1"}), "", ""},
        // Each shape's JSON types.
        {"single a switch", Option("smb-signing", true), "/options/smb-signing",
         "must be a string or an integer"},
        {"single number only", Option("dfs-referral-cache-duration", "5"),
         "/options/dfs-referral-cache-duration", "must be an integer"},
        {"keyed a list", Option("cache", Json::array()), "/options/cache", "must be an object"},
        {"keyed size text", Option("cache", {{"dircache", "5"}}), "/options/cache/dircache",
         "must be an integer"},
        {"keyed word a switch", Option("share-volumes-by-default", {{"SRV2", true}}),
         "/options/share-volumes-by-default/SRV2", "must be YES or NO"},
        {"set an object", Option("dns-entry", {{"name", "d"}}), "/options/dns-entry",
         "must be a list"},
        {"set member text", Option("virtual-server", {"v"}), "/options/virtual-server/0",
         "must be an object"},
        {"set member number", Option("multichannel-interface", {1}),
         "/options/multichannel-interface/0", "must be a string"},
        {"set member key", Option("dns-entry", {{{"name", "d"}, {"ttl", 1}}}),
         "/options/dns-entry/0/ttl", "unknown key"},
        // Invalid users and user contexts.
        {"time-out", Doc("invalid_users", {{"timeout_minutes", 525601}}),
         "/invalid_users/timeout_minutes", "525601 must be a number from 0 to 525600"},
        {"time-out max", Doc("invalid_users", {{"timeout_minutes", 525600}}), "", ""},
        {"user name", Doc("invalid_users", {{"permanent", {Text(257)}}}),
         "/invalid_users/permanent/0", "must be a text of 1 to 256 bytes"},
        {"user name empty", Doc("invalid_users", {{"permanent", {""}}}),
         "/invalid_users/permanent/0", "must be a text of 1 to 256 bytes"},
        {"user name 256 bytes", Doc("invalid_users", {{"permanent", {Text(256)}}}), "", ""},
        {"context", Doc("user_contexts", {Text(512)}), "/user_contexts/0",
         "must be a text of 1 to 511 bytes, not only periods"},
        {"context periods", Doc("user_contexts", {"."}), "/user_contexts/0", "not only periods"},
        {"context ok", Doc("user_contexts", {"ou=b,o=example"}), "", ""},
        {"context empty", Doc("user_contexts", {""}), "/user_contexts/0", "must be a text of 1"},
        // The server's forms: what the library would cut at a NUL or the server refuses.
        {"user name NUL", Doc("invalid_users", {{"permanent", {Nul("mal", "lory")}}}),
         "/invalid_users/permanent/0", "must not hold control characters"},
        {"share name NUL", Share({{"name", Nul("s", "x")}}), "/shares/0/name", "control"},
        {"share name tab", Share({{"name", "a\tb"}}), "/shares/0/name", "control characters"},
        {"share name slash", Share({{"name", "a/b"}}), "/shares/0/name",
         "must not hold any of \\ / : * ? \" < > |"},
        {"share name star", Share({{"name", "a*b"}}), "/shares/0/name", "must not hold any of"},
        {"share name a volume's", Share({{"name", "vol1"}}), "/shares/0/name",
         "\"vol1\" is the name of volume VOL1"},
        {"renamed from NUL", Share({{"renamed_from", Nul("s", "")}}), "/shares/0/renamed_from",
         "control"},
        {"administrative volume", Share({{"volume", "_admin"}}), "/shares/0/volume",
         "\"_ADMIN\" is the administrative volume"},
        {"path backslash", Share({{"path", "/a\\b"}}), "/shares/0/path", "not in the form"},
        {"path control", Share({{"path", "/a\x01"}}), "/shares/0/path", "not in the form"},
        {"path NUL", Share({{"path", Nul("/a", "b")}}), "/shares/0/path", "not in the form"},
        {"comment control", Share({{"comment", "ring\x07"}}), "/shares/0/comment",
         "must not hold control characters"},
        {"comment DEL", Share({{"comment", "x\x7f"}}), "/shares/0/comment", "control"},
        {"option text NUL", Option("dns-suffix", Nul("a", "b")), "/options/dns-suffix", "control"},
        {"dns entry NUL", Option("dns-entry", {{{"name", Nul("d", "")}}}), "/options/dns-entry/0",
         "control"},
        {"virtual server NUL", Option("virtual-server", {{{"name", Nul("v", "w")}}}),
         "/options/virtual-server/0", "control"},
        {"by default server NUL", Option("share-volumes-by-default", {{Nul("S", ""), "YES"}}),
         "/options/share-volumes-by-default/" + Nul("S", ""), "control"},
        {"interface space", Option("multichannel-interface", {"eth 0"}),
         "/options/multichannel-interface/0", "only letters, digits and . - _ : @"},
        {"interface form", Option("multichannel-interface", {"en0:1@x_y-z.2"}), "", ""},
        {"context NUL", Doc("user_contexts", {Nul("ou=a", "")}), "/user_contexts/0", "control"},
    };
    const ServerState server = Server();
    for (const Row &row : rows) {
        const auto problems = Check(row.doc, server);
        std::string found;
        for (const auto &p : problems)
            found += "\n  " + p.pointer + ": " + tools::ProblemMessage(p);
        if (row.message.empty()) {
            EXPECT_TRUE(problems.empty()) << row.what << found;
        } else {
            EXPECT_TRUE(problems.size() == 1 && problems[0].pointer == row.pointer &&
                        tools::ProblemMessage(problems[0]).find(row.message) != std::string::npos)
                << row.what << ": expected " << row.pointer << ": ..." << row.message << "..."
                << found;
        }
    }
}

// A mistake never hides another: every field of a share, of a member and of the invalid-user
// section is checked though another is wrong.
TEST(Check, EveryMistakeOfASectionIsNamed) {
    const Json doc = {
        {"schema_version", kSchemaVersion},
        {"shares",
         {{{"name", "a/b"},
           {"volume", "VOL1"},
           {"size", 1},
           {"max_users", 70000},
           {"comment", "x\x01"},
           {"path", "/a\\b"},
           {"mfa", "yes"}}}},
        {"options", {{"dns-entry", {{{"name", Text(16)}, {"ttl", 1}}}}}},
        {"invalid_users", {{"colour", 1}, {"timeout_minutes", -1}, {"permanent", {""}}}}};
    std::vector<std::string> pointers;
    for (const auto &p : Check(doc, Server())) pointers.push_back(p.pointer);
    const std::vector<std::string> expected = {"/shares/0/size",
                                               "/shares/0/mfa",
                                               "/shares/0/name",
                                               "/shares/0/path",
                                               "/shares/0/comment",
                                               "/shares/0/max_users",
                                               "/options/dns-entry/0/ttl",
                                               "/options/dns-entry/0",
                                               "/invalid_users/colour",
                                               "/invalid_users/timeout_minutes",
                                               "/invalid_users/permanent/0"};
    EXPECT_EQ(pointers, expected);
}

struct ReadRow {
    const char *what;
    std::string text;
    std::string pointer;  // with message empty: read as Json::parse reads it
    std::string message;
};

// The reader refuses what the parser would silently keep or throw, with a pointer or a place.
TEST(ReadDocument, RefusesAmbiguousHugeAndBrokenDocumentsWithoutThrowing) {
    std::string many = "[";
    for (size_t i = 0; i < kMaxDocumentValues; ++i) many += "0,";
    const ReadRow rows[] = {
        {"duplicate key", R"({"options": {"smb-signing": "BOGUS", "smb-signing": "YES"}})",
         "/options/smb-signing", "\"smb-signing\" is given twice"},
        {"duplicate in a list", R"({"shares": [{}, {"name": "a", "name": "b"}]})", "/shares/1/name",
         "given twice"},
        {"escaped key", R"({"a/b": {"~": 1, "~": 2}})", "/a~1b/~0", "given twice"},
        {"number beyond a double", R"({"options": {"cache": {"dircache": 1e400}}})", "",
         "line 1, column 36: the number 1e400 is out of range"},
        {"negative beyond", "[\n -1e999]", "", "line 2, column 2: the number -1e999 is out"},
        {"syntax", "{\n  \"a\": 1,\n}", "", "not JSON: line 3, column 1: unexpected '}'; expected"},
        {"empty", "", "", "not JSON: line 1, column 1: unexpected end of input; expected"},
        {"bad UTF-8", "[\"\xff\"]", "", "not JSON: line 1, column 2: "},
        {"too deep", std::string(33, '[') + std::string(33, ']'),
         "/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0",
         "nested deeper than 32 levels"},
        {"deep enough", std::string(32, '[') + std::string(32, ']'), "", ""},
        {"too many values", many + "0]", "/199999", "more than 200000 values"},
        {"many enough", many.substr(0, many.size() - 4) + "0]", "", ""},  // with the list
        {"too large", std::string(kMaxDocumentBytes + 1, ' '), "", "larger than 16777216 bytes"},
        {"document", R"({"b": [1, 2.5, "x", null, true], "a": {"c": {}}})", "", ""},
    };
    for (const ReadRow &row : rows) {
        std::vector<Problem> problems;
        const auto doc = ParseDocument(row.text, &problems);
        std::string found;
        for (const auto &p : problems) found += "\n  " + p.pointer + ": " + p.message;
        if (row.message.empty()) {
            EXPECT_TRUE(doc && problems.empty() && *doc == Json::parse(row.text))
                << row.what << found;
        } else {
            EXPECT_TRUE(!doc && problems.size() == 1 && problems[0].pointer == row.pointer &&
                        problems[0].message.find(row.message) != std::string::npos)
                << row.what << ": expected " << row.pointer << ": ..." << row.message << "..."
                << found;
        }
    }
    std::string error;
    EXPECT_FALSE(ReadDocumentText("/nonexistent/doc.json", &error));
    EXPECT_EQ(error, "cannot read /nonexistent/doc.json: No such file or directory");
}

// What the server reports is accepted back as it is: an export applies to its own server.
TEST(Check, TheServersOwnStateIsADocumentWithoutProblems) {
    const ServerState server = Server();
    EXPECT_TRUE(Check(server.doc, server).empty());
}

}  // namespace
}  // namespace share::client::config::test
