// SPDX-License-Identifier: Apache-2.0
// The smallest set of changes from the server to a document, and the commands that make them.
// Order: renames first (so that later commands name shares as the document does), then
// creations, then changes of existing objects, then removals (only when pruning). Within a
// phase: shares, options, invalid users, user contexts, each by name.
#include <strings.h>

#include <algorithm>

#include "client/config/config.h"
#include "client/text.h"

namespace share::client::config {
namespace {

enum Phase { kRename, kCreate, kModify, kRemove, kPhases };

std::string YesNoWord(const Json &on) {
    return on.get<bool>() ? "yes" : "no";
}

// The number a keyword or decimal text stands for, in an option of numbers.
std::optional<int64_t> OptionNumber(const tools::StoredOption &row, const Json &v) {
    if (v.is_number_integer()) return v.get<int64_t>();
    const auto text = v.get<std::string>();
    for (const auto &k : row.keywords)
        if (strcasecmp(k.word, text.c_str()) == 0) return k.value;
    long n;
    if (ParseNumber(text, INT32_MIN, INT32_MAX, &n)) return n;
    return std::nullopt;
}

// Two values of an option that the server stores the same way (OPTIONAL and YES of signing).
bool SameOption(const ServerOption &option, const Json &now, const Json &want) {
    if (now == want) return true;
    if (now.is_null() || option.stored == nullptr) return false;  // not reported; or plain numbers
    const tools::StoredOption &row = *option.stored;
    if (row.kind == tools::ValueKind::kText || row.kind == tools::ValueKind::kField)
        return ValueText(now) == ValueText(want);
    const auto a = OptionNumber(row, now), b = OptionNumber(row, want);
    return a && b && *a == *b;
}

PlannedAction Share(Action action, const std::string &name, std::vector<FieldChange> fields,
                    std::vector<Command> commands) {
    return {action, ObjectKind::kShare, name, std::move(fields), std::move(commands)};
}

class Builder {
  public:
    Builder(const ServerState &server, bool prune, bool force)
        : server_(server), prune_(prune), force_(force) {}
    Plan plan;

    void Make(Phase phase, PlannedAction action) {
        if (!action.fields.empty()) phases_[phase].push_back(std::move(action));
    }

    // Renames are planned as a graph: each wanted share names at most one existing share it
    // was renamed from; a rename holds while its target is free (absent, or itself renamed
    // away). Chains are made from their free end; cycles through a temporary name, and only
    // when they change less than matching by name would (so that a made swap is not swapped
    // back by the next apply).
    void Shares(const Json &wanted) {
        std::map<std::string, Json> current;
        for (const auto &s : server_.doc["shares"])
            current[Upper(s["name"].get<std::string>())] = s;
        const size_t n = wanted.size();
        std::vector<std::string> target(n), source(n);  // upper case; source empty: no rename
        std::map<std::string, size_t> bySource;
        for (size_t i = 0; i < n; ++i) {
            const Json &w = wanted[i];
            target[i] = Upper(w["name"].get<std::string>());
            if (!w.contains(kRenamedFrom)) continue;
            const auto from = Upper(w[kRenamedFrom].get<std::string>());
            if (from != target[i] && current.count(from) && !bySource.count(from)) {
                source[i] = from;
                bySource[from] = i;
            }
        }
        auto movedAway = [&](const std::string &name) {
            const auto it = bySource.find(name);
            return it != bySource.end() && !source[it->second].empty();
        };
        for (bool changed = true; changed;) {
            changed = false;
            for (size_t i = 0; i < n; ++i)
                if (!source[i].empty() && current.count(target[i]) && !movedAway(target[i])) {
                    source[i].clear();
                    changed = true;
                }
        }
        DropCostlyCycles(wanted, current, target, source, bySource);

        std::set<std::string> consumed;  // existing shares the document accounts for
        std::vector<Json> renamed(n);
        RenameInOrder(wanted, current, target, source, &renamed);
        for (size_t i = 0; i < n; ++i) {
            const Json &w = wanted[i];
            const auto name = w["name"].get<std::string>();
            if (!source[i].empty()) {
                consumed.insert(source[i]);
                ModifyShare(renamed[i], w);
                continue;
            }
            const auto it = current.find(target[i]);
            if (it != current.end() && !movedAway(target[i])) {
                consumed.insert(it->first);
                // A name that differs only in case is a rename too, made with the others.
                ModifyShare(it->second["name"] == name ? it->second : Rename(it->second, name), w);
                continue;
            }
            // Created after the renames, so a name being renamed away is free by then; the MFA
            // switch is a second step, reported as its own.
            Json after = Json::object();
            for (const char *key : kShareFields)
                if (w.contains(key) && std::string_view(key) != "mfa") after[key] = w[key];
            Make(kCreate, Share(Action::kCreate, name, {{"", nullptr, after}},
                                {{"share add", ShareAddArgs(w)}}));
            if (w.value("mfa", false))
                Make(kCreate, Share(Action::kModify, name, {{"mfa", false, true}},
                                    {{"share mfa", MfaArgs(name, true)}}));
        }
        for (size_t i = 0; i < n; ++i)
            if (!source[i].empty() && server_.clients.count(source[i]) &&
                server_.clients.at(source[i]) > 0)
                plan.warnings.push_back(
                    {"/shares/" + std::to_string(i) + "/" + kRenamedFrom,
                     "share \"" + current[source[i]]["name"].get<std::string>() + "\" has " +
                         std::to_string(server_.clients.at(source[i])) +
                         " connected client(s): they find it under its new name only"});
        if (!prune_) return;
        for (const auto &[key, s] : current) {
            if (consumed.count(key)) continue;
            const auto name = s["name"].get<std::string>();
            const auto clients = server_.clients.count(key) ? server_.clients.at(key) : 0;
            const std::string cut = "share \"" + name + "\" has " + std::to_string(clients) +
                                    " connected client(s): removing it needs --force";
            if (clients > 0 && !force_) {
                plan.blocked.push_back({"/shares", cut});
                continue;
            }
            if (clients > 0) plan.warnings.push_back({"/shares", cut});
            Make(kRemove,
                 Share(Action::kRemove, name, {{"", s, nullptr}},
                       {{"share remove",
                         {{CMD_SHARE, {}}, {CIFS_ACT_REMOVE, {}}, {CIFS_OPT_NAME, name}}}}));
        }
    }

    // Each option by its row's shape.
    void Options(const Json &wanted) {
        const Json &now = server_.doc["options"];
        for (const auto &[key, want] : wanted.items()) {
            const ServerOption &row = *FindServerOption(key);  // a checked document
            const Json have = now.contains(key) ? now[key] : Json();
            if (row.shape == OptionShape::kSingle) {
                if (!SameOption(row, have, want))
                    Make(kModify, Option(Action::kModify, row, {{"", have, want}},
                                         {{"option " + key, SetterArgs(row, want)}}));
            } else if (row.shape == OptionShape::kKeyed) {
                Keyed(row, have, want);
            } else {
                Members(row, have.is_array() ? have : Json::array(), want);
            }
        }
    }

    void InvalidUsers(const Json &wanted) {
        const Json &now = server_.doc["invalid_users"];
        auto user = [](Action action, const std::string &name, FieldChange field, Command c) {
            return PlannedAction{action, ObjectKind::kInvalidUser, name, {std::move(field)}, {c}};
        };
        if (wanted.contains("timeout_minutes") &&
            wanted["timeout_minutes"] != now["timeout_minutes"])
            Make(kModify,
                 user(Action::kModify, "",
                      {"timeout_minutes", now["timeout_minutes"], wanted["timeout_minutes"]},
                      {"invalid-users timeout", TimeoutArgs(wanted["timeout_minutes"])}));
        if (!wanted.contains("permanent")) return;
        std::set<std::string> have, want;
        for (const auto &u : now["permanent"]) have.insert(Upper(u.get<std::string>()));
        for (const auto &u : wanted["permanent"]) {
            const auto name = u.get<std::string>();
            want.insert(Upper(name));
            if (have.count(Upper(name))) continue;
            if (server_.temporaryUsers.count(Upper(name)))
                Make(kModify, user(Action::kModify, name, {"permanent", false, true},
                                   {"invalid-users make-permanent",
                                    InvalidUserArgs(CIFS_ACT_MAKE_PERMANENT, name)}));
            else
                Make(kCreate, user(Action::kCreate, name, {"", nullptr, name},
                                   {"invalid-users add", InvalidUserArgs(CIFS_ACT_ADD, name)}));
        }
        if (!prune_) return;
        for (const auto &u : now["permanent"]) {
            const auto name = u.get<std::string>();
            if (!want.count(Upper(name)))
                Make(kRemove,
                     user(Action::kRemove, name, {"", name, nullptr},
                          {"invalid-users remove", InvalidUserArgs(CIFS_ACT_REMOVE, name)}));
        }
    }

    void UserContexts(const Json &wanted) {
        auto context = [](Action action, const std::string &text, FieldChange field, Command c) {
            return PlannedAction{action, ObjectKind::kUserContext, text, {std::move(field)}, {c}};
        };
        std::set<std::string> have, want;
        for (const auto &c : server_.doc["user_contexts"]) have.insert(Upper(c.get<std::string>()));
        for (const auto &c : wanted) {
            const auto text = c.get<std::string>();
            want.insert(Upper(text));
            if (!have.count(Upper(text)))
                Make(kCreate, context(Action::kCreate, text, {"", nullptr, text},
                                      {"user-contexts add", UserContextArgs(CIFS_ACT_ADD, text)}));
        }
        if (!prune_) return;
        for (const auto &c : server_.doc["user_contexts"]) {
            const auto text = c.get<std::string>();
            if (!want.count(Upper(text)))
                Make(kRemove,
                     context(Action::kRemove, text, {"", text, nullptr},
                             {"user-contexts remove", UserContextArgs(CIFS_ACT_REMOVE, text)}));
        }
    }

    void Finish() {
        for (auto &phase : phases_)
            for (auto &a : phase) plan.actions.push_back(std::move(a));
    }

  private:
    static std::vector<Arg> MfaArgs(const std::string &name, bool on) {
        return {{CMD_SHARE, {}}, {CIFS_ACT_MFA, on ? "yes" : "no"}, {CIFS_OPT_NAME, name}};
    }

    static PlannedAction Option(Action action, const ServerOption &row,
                                std::vector<FieldChange> fields, std::vector<Command> commands) {
        return {action, ObjectKind::kOption, row.name, std::move(fields), std::move(commands)};
    }

    // The changes ModifyShare would plan for c to become w.
    size_t FieldChanges(const Json &c, const Json &w) {
        Builder probe(server_, false, false);
        probe.ModifyShare(c, w);
        size_t count = 0;
        for (const auto &phase : probe.phases_)
            for (const auto &a : phase) count += a.fields.size();
        return count;
    }

    // Every rename that holds now has its target renamed away: the rest are cycles. A cycle is
    // kept only when it leaves fewer fields to change than matching each share by name.
    void DropCostlyCycles(const Json &wanted, const std::map<std::string, Json> &current,
                          const std::vector<std::string> &target, std::vector<std::string> &source,
                          const std::map<std::string, size_t> &bySource) {
        std::vector<bool> seen(wanted.size());
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (source[i].empty() || seen[i]) continue;
            std::vector<size_t> members;
            size_t j = i;
            bool cycle = false;
            while (!seen[j]) {
                seen[j] = true;
                members.push_back(j);
                const auto next = bySource.find(target[j]);
                if (next == bySource.end() || source[next->second].empty()) break;
                j = next->second;
                if (j == i) cycle = true;
            }
            if (!cycle) continue;
            size_t byRename = members.size(), byName = 0;
            for (size_t m : members) {
                byRename += FieldChanges(current.at(source[m]), wanted[m]);
                byName += FieldChanges(current.at(target[m]), wanted[m]);
            }
            if (byRename >= byName)
                for (size_t m : members) source[m].clear();
        }
    }

    // The renames that hold, each once its target is free; a cycle is broken by renaming one
    // share to a name no existing or wanted share has. renamed[i]: wanted share i as renamed.
    void RenameInOrder(const Json &wanted, const std::map<std::string, Json> &current,
                       const std::vector<std::string> &target,
                       const std::vector<std::string> &source, std::vector<Json> *renamed) {
        std::set<std::string> taken, occupied;
        for (const auto &[key, s] : current) taken.insert(key), occupied.insert(key);
        for (const auto &key : target) taken.insert(key);
        std::vector<size_t> pending;
        std::vector<Json> from(wanted.size());
        for (size_t i = 0; i < wanted.size(); ++i)
            if (!source[i].empty()) {
                pending.push_back(i);
                from[i] = current.at(source[i]);
            }
        int temporaries = 0;
        while (!pending.empty()) {
            bool progress = false;
            for (auto it = pending.begin(); it != pending.end();) {
                const size_t i = *it;
                if (occupied.count(target[i])) {
                    ++it;
                    continue;
                }
                occupied.erase(Upper(from[i]["name"].get<std::string>()));
                occupied.insert(target[i]);
                (*renamed)[i] = Rename(from[i], wanted[i]["name"].get<std::string>());
                it = pending.erase(it);
                progress = true;
            }
            if (progress) continue;
            std::string spare;
            do spare = "cfgrename" + std::to_string(++temporaries);
            while (taken.count(Upper(spare)));
            taken.insert(Upper(spare));
            Json &moved = from[pending.front()];
            occupied.erase(Upper(moved["name"].get<std::string>()));
            occupied.insert(Upper(spare));
            moved = Rename(moved, spare);
        }
    }

    // The rename of share, in the first phase; the share as it is then.
    Json Rename(const Json &share, const std::string &name) {
        const auto old = share["name"].get<std::string>();
        Make(kRename, Share(Action::kRename, old, {{"name", old, name}},
                            {{"share modify",
                              {{CMD_SHARE, {}},
                               {CIFS_ACT_MODIFY, {}},
                               {CIFS_OPT_NAME, old},
                               {CIFS_OPT_NEW_NAME, name}}}}));
        Json renamed = share;
        renamed["name"] = name;
        return renamed;
    }

    // The fields of an existing share (named as in the document) that the document sets
    // otherwise.
    void ModifyShare(const Json &c, const Json &w) {
        const auto name = w["name"].get<std::string>();
        std::vector<FieldChange> changes;
        std::vector<Arg> args{{CMD_SHARE, {}}, {CIFS_ACT_MODIFY, {}}, {CIFS_OPT_NAME, name}};
        const auto volume = w["volume"].get<std::string>();
        const std::string path = w.value("path", c["path"].get<std::string>());
        const bool moveVolume = Upper(volume) != Upper(c["volume"].get<std::string>());
        if (moveVolume) changes.push_back({"volume", c["volume"], volume});
        if (path != c["path"]) changes.push_back({"path", c["path"], path});
        if (moveVolume || path != c["path"]) args.push_back({CIFS_OPT_PATH, volume + ":" + path});
        auto differs = [&](const char *key) { return w.contains(key) && w[key] != c[key]; };
        if (differs("comment")) {
            changes.push_back({"comment", c["comment"], w["comment"]});
            args.push_back({CIFS_OPT_COMMENT, w["comment"].get<std::string>()});
        }
        const std::pair<const char *, int32_t> switches[] = {
            {"encrypt_data", CIFS_OPT_ENCRYPT_DATA},
            {"folder_redirection", CIFS_OPT_FOLDER_REDIRECTION},
            {"atm_backup", CIFS_OPT_ATM_BACKUP}};
        for (const auto &[key, code] : switches)
            if (differs(key)) {
                changes.push_back({key, c[key], w[key]});
                args.push_back({code, YesNoWord(w[key])});
            }
        if (differs("max_users")) {
            const auto n = w["max_users"].get<int64_t>();
            changes.push_back({"max_users", c["max_users"], n});
            // Zero leaves the limit alone in a change; a negative number lifts it.
            args.push_back({CIFS_OPT_NUMBER, n == 0 ? "-1" : std::to_string(n)});
        }
        Make(kModify, Share(Action::kModify, name, std::move(changes), {{"share modify", args}}));
        if (differs("mfa"))
            Make(kModify, Share(Action::kModify, name, {{"mfa", c["mfa"], w["mfa"]}},
                                {{"share mfa", MfaArgs(name, w["mfa"].get<bool>())}}));
    }

    // A keyed option: each entry added or changed; entries are never pruned.
    void Keyed(const ServerOption &row, const Json &have, const Json &want) {
        for (const auto &[k, v] : want.items()) {
            const Json old = have.is_object() && have.contains(k) ? have[k] : Json();
            if (old == v || (old.is_string() && v.is_string() &&
                             Upper(old.get<std::string>()) == Upper(v.get<std::string>())))
                continue;
            const bool add = old.is_null();
            Make(add ? kCreate : kModify,
                 Option(add ? Action::kCreate : Action::kModify, row, {{k, old, v}},
                        {{"option " + std::string(row.name), row.args(row, k, v, true)}}));
        }
    }

    // A set option: members added, changed (removed and added again), pruned.
    void Members(const ServerOption &row, const Json &have, const Json &want) {
        const std::string command = "option " + std::string(row.name);
        std::map<std::string, Json> current;
        for (const auto &m : have) current[Upper(MemberName(m))] = m;
        std::set<std::string> wanted;
        for (const auto &m : want) {
            const auto key = Upper(MemberName(m));
            wanted.insert(key);
            const auto it = current.find(key);
            if (it == current.end()) {
                Make(kCreate, Option(Action::kCreate, row, {{MemberName(m), nullptr, m}},
                                     {{command + " add", row.args(row, "", m, true)}}));
            } else if (m.is_object() && m.value("address", "") != it->second.value("address", "")) {
                Make(kModify, Option(Action::kModify, row, {{MemberName(m), it->second, m}},
                                     {{command + " remove", row.args(row, "", it->second, false)},
                                      {command + " add", row.args(row, "", m, true)}}));
            }
        }
        if (!prune_) return;
        for (const auto &[key, m] : current)
            if (!wanted.count(key))
                Make(kRemove, Option(Action::kRemove, row, {{MemberName(m), m, nullptr}},
                                     {{command + " remove", row.args(row, "", m, false)}}));
    }

    const ServerState &server_;
    bool prune_, force_;
    std::vector<PlannedAction> phases_[kPhases];
};

}  // namespace

std::vector<Arg> ShareAddArgs(const Json &s) {
    std::vector<Arg> args{
        {CMD_SHARE, {}},
        {CIFS_ACT_ADD, {}},
        {CIFS_OPT_NAME, s["name"].get<std::string>()},
        {CIFS_OPT_PATH, s["volume"].get<std::string>() + ":" + s.value("path", "/")}};
    if (s.contains("comment")) args.push_back({CIFS_OPT_COMMENT, s["comment"].get<std::string>()});
    if (s.contains("encrypt_data"))
        args.push_back({CIFS_OPT_ENCRYPT_DATA, YesNoWord(s["encrypt_data"])});
    if (s.contains("folder_redirection"))
        args.push_back({CIFS_OPT_FOLDER_REDIRECTION, YesNoWord(s["folder_redirection"])});
    if (s.contains("atm_backup")) args.push_back({CIFS_OPT_ATM_BACKUP, YesNoWord(s["atm_backup"])});
    if (s.value("max_users", int64_t{0}) > 0)
        args.push_back({CIFS_OPT_NUMBER, std::to_string(s["max_users"].get<int64_t>())});
    return args;
}

Plan MakePlan(const Json &doc, const ServerState &server, bool prune, bool force) {
    Builder b(server, prune, force);
    if (doc.contains("shares")) b.Shares(doc["shares"]);
    if (doc.contains("options")) b.Options(doc["options"]);
    if (doc.contains("invalid_users")) b.InvalidUsers(doc["invalid_users"]);
    if (doc.contains("user_contexts")) b.UserContexts(doc["user_contexts"]);
    b.Finish();
    return b.plan;
}

}  // namespace share::client::config
