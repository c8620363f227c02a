// SPDX-License-Identifier: Apache-2.0
// MakePlan: the changes of a document against a server state, in their order; and, for every
// row, the property that the server after those changes needs none.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/config/server.h"

namespace share::shareadm::config::test {
namespace {

// The server state with the change made, as the server would store it.
void Make(const Change &c, ServerState *s) {
    const size_t space = c.target.find(' ');
    const std::string kind = c.target.substr(0, space);
    const std::string name = space == std::string::npos ? "" : c.target.substr(space + 1);
    auto named = [](Json &list, const std::string &key) {
        return std::find_if(list.begin(), list.end(),
                            [&](const Json &m) { return Upper(MemberName(m)) == Upper(key); });
    };
    auto drop = [&](Json &list, const std::string &key) {
        if (auto it = named(list, key); it != list.end()) list.erase(it);
    };
    Json &doc = s->doc;
    if (kind == "share") {
        Json &shares = doc["shares"];
        if (c.kind == "add") {
            Json share = ShareJson("", "", "/");
            share.update(c.after);
            shares.push_back(share);
        } else if (c.kind == "remove") {
            drop(shares, name);
        } else {
            (*named(shares, name))[c.field] = c.after;
        }
    } else if (kind == "option") {
        Json &option = doc["options"][name];
        if (c.field.empty())
            option = c.after;
        else if (option.is_object())
            option[c.field] = c.after;
        else {  // a set option: the member replaced
            drop(option, c.field);
            if (!c.after.is_null()) option.push_back(c.after);
        }
    } else if (kind == "invalid-users") {
        doc["invalid_users"][c.field] = c.after;
    } else {  // invalid-user, user-context: a name in a list
        Json &list =
            kind == "invalid-user" ? doc["invalid_users"]["permanent"] : doc["user_contexts"];
        drop(list, name);
        if (c.kind != "remove") list.push_back(name);
        s->temporaryUsers.erase(Upper(name));
    }
}

Json Doc(Json shares, Json rest = Json::object()) {
    Json doc = {{"schema_version", kSchemaVersion}, {"shares", std::move(shares)}};
    doc.update(rest);
    return doc;
}

struct Row {
    const char *what;
    Json doc;
    bool prune, force;
    std::vector<std::string> lines;  // ChangeLine of each change, in order
    size_t blocked = 0;
};

TEST(MakePlan, ChangesInTheirOrderAndNoneLeftAfterThem) {
    const ServerState server = Server();
    const Json shares = server.doc["shares"];
    Json work = shares[2], renamedCase = shares[0], moved = shares[1];
    work.update({{"name", "work"}, {kRenamedFrom, "projects"}, {"comment", "Work"}});
    renamedCase["name"] = "HOME";
    moved.update({{"volume", "VOL1"}, {"max_users", 0}, {"mfa", true}});
    const Json created = {{"name", "new"}, {"volume", "VOL2"}, {"mfa", true}};
    const Row rows[] = {
        {"the server's own state", server.doc, true, false, {}},
        {"a subset, no prune", Doc({shares[1]}), false, false, {}},
        {"in order: renames, creations, changes, removals",
         Doc({created, moved, work}, {{"user_contexts", {"ou=b,o=example"}}}),
         true,
         true,
         {"~ share projects name: \"projects\" -> \"work\"",
          "+ share new {\"name\":\"new\",\"volume\":\"VOL2\",\"mfa\":true}",
          "+ user-context ou=b,o=example", "~ share media volume: \"VOL2\" -> \"VOL1\"",
          "~ share media mfa: false -> true", "~ share work comment: \"\" -> \"Work\"",
          "- share home", "- user-context ou=a,o=example"}},
        {"a name differing in case is a rename, first",
         Doc({created, renamedCase}),
         false,
         false,
         {"~ share home name: \"home\" -> \"HOME\"",
          "+ share new {\"name\":\"new\",\"volume\":\"VOL2\",\"mfa\":true}"}},
        {"renamed_from a share that is gone: a creation",
         Doc({{{"name", "x"}, {"volume", "VOL1"}, {kRenamedFrom, "gone"}}}),
         false,
         false,
         {"+ share x {\"name\":\"x\",\"volume\":\"VOL1\"}"}},
        {"prune blocked by clients", Doc({shares[1]}), true, false, {"- share projects"}, 1},
        {"force without prune", Doc({shares[1]}), false, true, {}},
        {"prune with force", Doc({shares[1]}), true, true, {"- share home", "- share projects"}},
        {"options: alike values, keys, members",
         Doc(shares, {{"options",
                       {{"smb-signing", "OPTIONAL"},
                        {"oplock-break-ack-timeout", "12"},
                        {"cache", {{"sdircache", 100}, {"dircache", 250}}},
                        {"share-volumes-by-default", {{"SRV1", "yes"}, {"SRV2", "NO"}}},
                        {"virtual-server", {{{"name", "ALIAS1"}, {"address", "192.0.2.2"}}}},
                        {"multichannel-interface", {"eth1"}}}}}),
         true,
         false,
         {"+ option share-volumes-by-default SRV2", "+ option multichannel-interface eth1",
          "~ option oplock-break-ack-timeout: 10 -> \"12\"", "~ option cache dircache: 200 -> 250",
          "~ option virtual-server ALIAS1: {\"name\":\"alias1\",\"address\":\"192.0.2.1\"} -> "
          "{\"name\":\"ALIAS1\",\"address\":\"192.0.2.2\"}",
          "- option multichannel-interface eth0"}},
        {"invalid users: temporary made permanent, added, time-out, pruned",
         Doc(shares,
             {{"invalid_users", {{"timeout_minutes", 60}, {"permanent", {"tempuser", "other"}}}}}),
         true,
         false,
         {"+ invalid-user other", "~ invalid-users timeout_minutes: 30 -> 60",
          "~ invalid-user tempuser permanent: false -> true", "- invalid-user baduser"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const Plan plan = MakePlan(row.doc, server, row.prune, row.force);
        std::vector<std::string> lines;
        for (const Change &c : plan.changes) lines.push_back(ChangeLine(c));
        EXPECT_EQ(lines, row.lines);
        EXPECT_EQ(plan.blocked.size(), row.blocked);
        // Every change is made by a step, in order.
        size_t next = 0;
        for (const Step &s : plan.steps) {
            EXPECT_LE(s.first, next);
            EXPECT_LT(s.first, s.last);
            next = std::max(next, s.last);
        }
        EXPECT_EQ(next, plan.changes.size());

        ServerState after = server;
        for (const Change &c : plan.changes) Make(c, &after);
        const Plan again = MakePlan(row.doc, after, row.prune, row.force);
        for (const Change &c : again.changes) ADD_FAILURE() << "left: " << ChangeLine(c);
    }
}

}  // namespace
}  // namespace share::shareadm::config::test
