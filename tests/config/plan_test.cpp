// SPDX-License-Identifier: Apache-2.0
// MakePlan: the changes of a document against a server state, in their order; and, for every
// row, the property that the server after those changes needs none.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/config/server.h"

namespace share::client::config::test {
namespace {

// The server state with the change made, as the server would store it.
void Make(const PlannedAction &a, const FieldChange &c, ServerState *s) {
    const std::string &name = a.name;
    auto named = [](Json &list, const std::string &key) {
        return std::find_if(list.begin(), list.end(),
                            [&](const Json &m) { return Upper(MemberName(m)) == Upper(key); });
    };
    auto drop = [&](Json &list, const std::string &key) {
        if (auto it = named(list, key); it != list.end()) list.erase(it);
    };
    Json &doc = s->doc;
    if (a.kind == ObjectKind::kShare) {
        Json &shares = doc["shares"];
        if (a.action == Action::kCreate) {
            Json share = ShareJson("", "", "/");
            share.update(c.after);
            shares.push_back(share);
        } else if (a.action == Action::kRemove) {
            drop(shares, name);
        } else {
            (*named(shares, name))[c.field] = c.after;
        }
    } else if (a.kind == ObjectKind::kOption) {
        Json &option = doc["options"][name];
        if (c.field.empty())
            option = c.after;
        else if (option.is_object())
            option[c.field] = c.after;
        else {  // a set option: the member replaced
            drop(option, c.field);
            if (!c.after.is_null()) option.push_back(c.after);
        }
    } else if (a.kind == ObjectKind::kInvalidUser && name.empty()) {
        doc["invalid_users"][c.field] = c.after;
    } else {  // invalid-user, user-context: a name in a list
        Json &list = a.kind == ObjectKind::kInvalidUser ? doc["invalid_users"]["permanent"]
                                                        : doc["user_contexts"];
        drop(list, name);
        if (a.action != Action::kRemove) list.push_back(name);
        s->temporaryUsers.erase(Upper(name));
    }
}

// Every changed field's line, in order.
std::vector<std::string> Lines(const Plan &plan) {
    std::vector<std::string> lines;
    for (const auto &a : plan.actions)
        for (const auto &c : a.fields) lines.push_back(tools::ChangeLine(a, c));
    return lines;
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
    size_t warnings = 0;
};

// A share of the document: name, where, and the name it had before ("" none).
Json Wanted(const char *name, const char *volume, const char *path, const char *from = "") {
    Json s = {{"name", name}, {"volume", volume}, {"path", path}};
    if (*from) s[kRenamedFrom] = from;
    return s;
}

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
          "+ share new {\"name\":\"new\",\"volume\":\"VOL2\"}", "~ share new mfa: false -> true",
          "+ user-context ou=b,o=example", "~ share media volume: \"VOL2\" -> \"VOL1\"",
          "~ share media mfa: false -> true", "~ share work comment: \"\" -> \"Work\"",
          "- share home", "- user-context ou=a,o=example"},
         0,
         1},
        {"a name differing in case is a rename, first",
         Doc({created, renamedCase}),
         false,
         false,
         {"~ share home name: \"home\" -> \"HOME\"",
          "+ share new {\"name\":\"new\",\"volume\":\"VOL2\"}", "~ share new mfa: false -> true"}},
        {"renamed_from a share that is gone: a creation",
         Doc({{{"name", "x"}, {"volume", "VOL1"}, {kRenamedFrom, "gone"}}}),
         false,
         false,
         {"+ share x {\"name\":\"x\",\"volume\":\"VOL1\"}"}},
        {"prune blocked by clients", Doc({shares[1]}), true, false, {"- share projects"}, 1},
        {"force without prune", Doc({shares[1]}), false, true, {}},
        {"prune with force",
         Doc({shares[1]}),
         true,
         true,
         {"- share home", "- share projects"},
         0,
         1},
        {"a chain of renames, made from its free end",
         Doc({Wanted("archive", "VOL2", "/media", "media"),
              Wanted("media", "VOL1", "/projects", "projects"), shares[0]}),
         false,
         false,
         {"~ share media name: \"media\" -> \"archive\"",
          "~ share projects name: \"projects\" -> \"media\""}},
        {"a swap through a name nobody has",
         Doc({Wanted("media", "VOL1", "/projects", "projects"),
              Wanted("projects", "VOL2", "/media", "media"), shares[0]}),
         false,
         false,
         {"~ share projects name: \"projects\" -> \"cfgrename1\"",
          "~ share media name: \"media\" -> \"projects\"",
          "~ share cfgrename1 name: \"cfgrename1\" -> \"media\""}},
        {"a cycle that would change no field is not made",
         Doc({Wanted("home", "VOL1", "/home", "media"),
              Wanted("media", "VOL2", "/media", "projects"),
              Wanted("projects", "VOL1", "/projects", "home")}),
         false,
         false,
         {}},
        {"a new share under a name being renamed away comes after the rename",
         Doc({Wanted("work", "VOL1", "/projects", "projects"), Wanted("projects", "VOL2", "/new"),
              shares[1]}),
         true,
         false,
         {"~ share projects name: \"projects\" -> \"work\"",
          "+ share projects {\"name\":\"projects\",\"volume\":\"VOL2\",\"path\":\"/new\"}"},
         1},
        {"a share with clients renamed; one source claimed once",
         Doc({Wanted("house", "VOL1", "/home", "home"), Wanted("dwelling", "VOL1", "/home", "home"),
              shares[1], shares[2]}),
         false,
         false,
         {"~ share home name: \"home\" -> \"house\"",
          "+ share dwelling {\"name\":\"dwelling\",\"volume\":\"VOL1\",\"path\":\"/home\"}"},
         0,
         1},
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
         {"+ option share-volumes-by-default SRV2: \"NO\"", "+ option multichannel-interface eth1",
          "~ option oplock-break-ack-timeout: 10 -> \"12\"", "~ option cache dircache: 200 -> 250",
          "~ option virtual-server ALIAS1: {\"name\":\"alias1\",\"address\":\"192.0.2.1\"} -> "
          "{\"name\":\"ALIAS1\",\"address\":\"192.0.2.2\"}",
          "- option multichannel-interface eth0"}},
        {"options: a plain number, a named member, keys never pruned",
         Doc(shares, {{"options",
                       {{"dfs-referral-cache-duration", 6},
                        {"dns-entry", {{{"name", "d1"}}}},
                        {"cache", {{"sdircache", 100}}},
                        {"virtual-server", Json::array()}}}}),
         true,
         false,
         {"+ option dns-entry d1 {\"name\":\"d1\"}", "~ option dfs-referral-cache-duration: 5 -> 6",
          "- option virtual-server alias1"}},
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
        EXPECT_EQ(Lines(plan), row.lines);
        EXPECT_EQ(plan.blocked.size(), row.blocked);
        EXPECT_EQ(plan.warnings.size(), row.warnings);
        // Every action changes something and has the commands that make it.
        for (const auto &a : plan.actions) EXPECT_FALSE(a.fields.empty() || a.commands.empty());

        ServerState after = server;
        for (const auto &a : plan.actions)
            for (const auto &c : a.fields) Make(a, c, &after);
        for (const auto &line : Lines(MakePlan(row.doc, after, row.prune, row.force)))
            ADD_FAILURE() << "left: " << line;
    }
}

}  // namespace
}  // namespace share::client::config::test
