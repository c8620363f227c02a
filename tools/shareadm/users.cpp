// SPDX-License-Identifier: Apache-2.0
// shareadm invalid-users / user-contexts.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/server_formats.h"
#include "output/listings.h"
#include "output/records.h"
#include "shareadm/tool.h"
#include "shareadmin/api.h"

namespace share::shareadm {
namespace {

struct UserParams {
    std::string name;
    std::string minutes;
    bool permanent = false, temporary = false;
    std::string filter;
    uint32_t first = 0, max = 0;
};

Json Done(const std::string &action, const std::string &what) {
    return Json{{"ok", true}, {"action", action}, {"name", what}};
}

int ListUsers(const tools::Reporter &out, const InvalidUsers &users) {
    return out.List(kInvalidUserListing,
                    tools::RowsOf(users.users.data(), users.users.size(),
                                  [](const client::InvalidUser &u) { return InvalidUserJson(u); }),
                    Json{{"timeout_minutes", users.timeoutMinutes}, {"total", users.total}});
}

int List(const Tool &tool, const UserParams &p) {
    const auto out = tool.out();
    const std::string action = "invalid-users list";
    tools::InvalidUserQuery q{};
    q.flags = (p.permanent ? uint32_t{tools::kIuPermanentOnly} : 0u) |
              (p.temporary ? uint32_t{tools::kIuTemporaryOnly} : 0u);
    q.first = p.first;
    q.maxEntries = p.max;
    const std::string data = p.filter.empty() ? "" : p.filter + '\0';
    q.dataLength = static_cast<int32_t>(data.size());
    std::vector<uint8_t> record(sizeof q + data.size());
    std::memcpy(record.data(), &q, sizeof q);
    std::memcpy(record.data() + sizeof q, data.data(), data.size());
    void *list = nullptr;
    if (int e = Call(out, action, [&] { return CIFSLIB_ListInvalidUsers(record.data(), &list); });
        e >= 0)
        return e;
    const std::optional<InvalidUsers> users = TakeInvalidUsers(list);
    if (!users) return out.Rejected(action, "the server's invalid-user list is malformed");
    return ListUsers(out, *users);
}

int Cache(const Tool &tool) {
    const auto out = tool.out();
    Reply reply;
    if (int e = RunCommand(out, "invalid-users cache",
                           {{CMD_INVALID_USER_CACHE, {}}, {CIFS_ACT_LIST, {}}}, &reply);
        e >= 0)
        return e;
    for (const auto &el : reply.elements())
        if (el.type == CIFS_ELEM_INVALID_USERS)
            if (auto users = DecodeInvalidUsers(el.payload)) return ListUsers(out, *users);
    return out.Rejected("invalid-users cache", "the server sent no invalid-user list");
}

int Change(const Tool &tool, const UserParams &p, const std::string &verb,
           int (*call)(const char *)) {
    const auto out = tool.out();
    const std::string action = "invalid-users " + verb;
    const Blames blames{{tools::kNameTaken, "USER", "the user", p.name},
                        {tools::kNoSuchUser, "USER", "the user", p.name},
                        {tools::kInvalidValue, "USER", "the user", p.name}};
    if (int e = Call(
            out, action, [&] { return call(p.name.c_str()); }, blames);
        e >= 0)
        return e;
    static const std::pair<const char *, const char *> texts[] = {
        {"add", "added as a permanent invalid user"},
        {"remove", "removed from the invalid-user cache"},
        {"make-permanent", "made a permanent invalid user"}};
    std::string done;
    for (const auto &[v, t] : texts)
        if (verb == v) done = t;
    return out.Success(Done(action, p.name), "User " + p.name + " " + done + ".");
}

int Timeout(const Tool &tool, const UserParams &p) {
    const auto out = tool.out();
    Reply reply;
    if (int e = RunCommand(out, "invalid-users timeout",
                           {{CMD_INVALID_USER_CACHE, {}}, {CIFS_ACT_TIMEOUT, p.minutes}}, &reply,
                           {{tools::kInvalidValue, "MINUTES", "the time-out", p.minutes}});
        e >= 0)
        return e;
    return out.Success(
        Json{{"ok", true}, {"action", "invalid-users timeout"}, {"minutes", p.minutes}},
        "Invalid-user cache time-out set to " + p.minutes + " minutes.");
}

int ContextList(const Tool &tool) {
    const auto out = tool.out();
    std::vector<std::string> contexts;
    if (int e = ReadUserContexts(out, "user-contexts list", &contexts); e >= 0) return e;
    return out.List(kUserContextListing, Json(contexts));
}

int ContextChange(const Tool &tool, const UserParams &p, bool add) {
    const auto out = tool.out();
    const std::string action = add ? "user-contexts add" : "user-contexts remove";
    const Blames blames{{tools::kNameTaken, "CONTEXT", "the user context", p.name},
                        {tools::kNoSuchEntry, "CONTEXT", "the user context", p.name},
                        {tools::kInvalidValue, "CONTEXT", "the user context", p.name}};
    if (int e = Call(
            out, action,
            [&] {
                return add ? CIFSLIB_AddUserContext(p.name.c_str())
                           : CIFSLIB_RemoveUserContext(p.name.c_str());
            },
            blames);
        e >= 0)
        return e;
    return out.Success(Done(action, p.name),
                       std::string("User context ") + p.name + (add ? " added." : " removed."));
}

}  // namespace

void RegisterUsers(CLI::App &app, Tool &tool) {
    auto p = std::make_shared<UserParams>();
    CLI::App *iu = app.add_subcommand(
        "invalid-users", "The invalid-user cache: list, add, remove, make permanent, time-out");
    iu->require_subcommand(1);
    CLI::App *list =
        Leaf(tool, iu, "list", "List invalid users", [&tool, p] { return List(tool, *p); });
    auto *perm = list->add_flag("--permanent", p->permanent, "Only permanent invalid users");
    list->add_flag("--temporary", p->temporary, "Only users that expire")->excludes(perm);
    list->add_option("--filter", p->filter, "Only names containing this text");
    tools::Checked(list->add_option("--first", p->first, "Skip this many matching users"),
                   "entries");
    tools::Checked(list->add_option("--max", p->max, "Show at most this many users"), "entries");
    tools::AddListingOptions(list, tool.output, kInvalidUserListing);
    tools::AddListingOptions(Leaf(tool, iu, "cache", "Show the whole invalid-user cache",
                                  [&tool] { return Cache(tool); }),
                             tool.output, kInvalidUserListing);
    struct Row {
        const char *verb;
        int (*call)(const char *);
        const char *help;
    };
    static const Row rows[] = {
        {"add", CIFSLIB_AddPermanentInvalidUser, "Add a user as a permanent invalid user"},
        {"remove", CIFSLIB_RemoveInvalidUser, "Remove a user from the cache"},
        {"make-permanent", CIFSLIB_MakePermanentInvalidUser,
         "Make a cached invalid user permanent"},
    };
    for (const auto &r : rows)
        tools::Checked(Leaf(tool, iu, r.verb, r.help,
                            [&tool, p, &r] { return Change(tool, *p, r.verb, r.call); })
                           ->add_option("USER", p->name, "User name")
                           ->required(),
                       "user-name");
    tools::Checked(Leaf(tool, iu, "timeout", "Set the cache's time-out period",
                        [&tool, p] { return Timeout(tool, *p); })
                       ->add_option("MINUTES", p->minutes, "Minutes")
                       ->required(),
                   "invalid-user-timeout");

    CLI::App *uc = app.add_subcommand("user-contexts", "User contexts: list, add, remove");
    uc->alias("contexts");
    uc->require_subcommand(1);
    tools::AddListingOptions(
        Leaf(tool, uc, "list", "List user contexts", [&tool] { return ContextList(tool); }),
        tool.output, kUserContextListing);
    tools::Checked(Leaf(tool, uc, "add", "Add a user context",
                        [&tool, p] { return ContextChange(tool, *p, true); })
                       ->add_option("CONTEXT", p->name, "Context")
                       ->required(),
                   "user-context");
    tools::Checked(Leaf(tool, uc, "remove", "Remove a user context",
                        [&tool, p] { return ContextChange(tool, *p, false); })
                       ->add_option("CONTEXT", p->name, "Context")
                       ->required(),
                   "user-context");
}

}  // namespace share::shareadm
