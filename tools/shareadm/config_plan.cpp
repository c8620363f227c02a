// SPDX-License-Identifier: Apache-2.0
// The smallest set of changes from the server to a document, and the commands that make them.
// Order: renames first (so that later commands name shares as the document does), then
// creations, then changes of existing objects, then removals (only when pruning). Within a
// phase: shares, options, invalid users, user contexts, each by name.
#include <strings.h>

#include <algorithm>

#include "shareadm/config.h"

namespace share::shareadm::config {
namespace {

enum Phase { kRename, kCreate, kModify, kRemove, kPhases };

std::string YesNoWord(const Json &on) {
    return on.get<bool>() ? "yes" : "no";
}

// The number a keyword or decimal text stands for, in an option of numbers.
std::optional<int64_t> OptionNumber(const tools::OptionSpec &row, const Json &v) {
    if (v.is_number_integer()) return v.get<int64_t>();
    const auto text = v.get<std::string>();
    for (const auto &k : row.keywords)
        if (strcasecmp(k.word, text.c_str()) == 0) return k.value;
    long n;
    if (tools::ParseNumber(text, INT32_MIN, INT32_MAX, &n)) return n;
    return std::nullopt;
}

// Two values of an option that the server stores the same way (OPTIONAL and YES of signing).
bool SameOption(const tools::OptionSpec &row, const Json &now, const Json &want) {
    if (now == want) return true;
    if (now.is_null()) return false;  // the server does not report it
    if (row.kind == tools::ValueKind::kText || row.kind == tools::ValueKind::kField)
        return ValueText(now) == ValueText(want);
    const auto a = OptionNumber(row, now), b = OptionNumber(row, want);
    return a && b && *a == *b;
}

class Builder {
  public:
    Builder(const ServerState &server, bool prune, bool force)
        : server_(server), prune_(prune), force_(force) {}
    Plan plan;

    // changes, made together by the commands, in phase.
    void Make(Phase phase, std::vector<Change> changes,
              std::vector<std::pair<std::string, std::vector<Arg>>> commands) {
        if (changes.empty()) return;
        Bucket &b = buckets_[phase];
        const size_t first = b.changes.size();
        for (auto &c : changes) b.changes.push_back(std::move(c));
        for (auto &[action, args] : commands)
            b.steps.push_back({std::move(action), std::move(args), first, b.changes.size()});
    }

    void Shares(const Json &wanted) {
        std::map<std::string, Json> current;
        for (const auto &s : server_.doc["shares"])
            current[Upper(s["name"].get<std::string>())] = s;
        std::set<std::string> kept;
        for (const auto &w : wanted) {
            const auto name = w["name"].get<std::string>();
            auto it = current.find(Upper(name));
            if (it == current.end() && w.contains(kRenamedFrom)) {
                auto from = current.find(Upper(w[kRenamedFrom].get<std::string>()));
                if (from != current.end() && !kept.count(from->first)) {
                    kept.insert(from->first);
                    ModifyShare(Rename(from->second, name), w);
                    continue;
                }
            }
            if (it == current.end()) {
                Json after = Json::object();
                for (const char *key : kShareFields)
                    if (w.contains(key)) after[key] = w[key];
                std::vector<std::pair<std::string, std::vector<Arg>>> commands{
                    {"share add", ShareAddArgs(w)}};
                if (w.value("mfa", false)) commands.push_back({"share mfa", MfaArgs(name, true)});
                Make(kCreate, {{"add", "share " + name, "", nullptr, after}}, std::move(commands));
                continue;
            }
            kept.insert(it->first);
            // A name that differs only in case is a rename too, made with the others.
            ModifyShare(it->second["name"] == name ? it->second : Rename(it->second, name), w);
        }
        if (!prune_) return;
        for (const auto &[key, s] : current) {
            if (kept.count(key)) continue;
            const auto name = s["name"].get<std::string>();
            const auto clients = server_.clients.count(key) ? server_.clients.at(key) : 0;
            if (clients > 0 && !force_) {
                plan.blocked.push_back(
                    {"/shares", "share \"" + name + "\" has " + std::to_string(clients) +
                                    " connected client(s): removing it needs --force"});
                continue;
            }
            Make(kRemove, {{"remove", "share " + name, "", s, nullptr}},
                 {{"share remove",
                   {{CMD_SHARE, {}}, {CIFS_ACT_REMOVE, {}}, {CIFS_OPT_NAME, name}}}});
        }
    }

    void Options(const Json &wanted) {
        const Json &now = server_.doc["options"];
        for (const auto &[key, want] : wanted.items()) {
            const std::string target = "option " + key;
            const Json have = now.contains(key) ? now[key] : Json();
            if (const tools::OptionSpec *row = tools::FindOptionByName(key)) {
                if (!SameOption(*row, have, want))
                    Make(kModify, {{"change", target, "", have, want}},
                         {{target, OptionArgs(*row, ValueText(want))}});
            } else if (key == "cache" || key == "share-volumes-by-default") {
                for (const auto &[k, v] : want.items()) {
                    const Json old = have.is_object() && have.contains(k) ? have[k] : Json();
                    if (old == v || (old.is_string() && v.is_string() &&
                                     Upper(old.get<std::string>()) == Upper(v.get<std::string>())))
                        continue;
                    Make(old.is_null() ? kCreate : kModify,
                         {{old.is_null() ? "add" : "change", target, k, old, v}},
                         {{target, key == "cache" ? CacheArgs(k, v) : ShareByDefaultArgs(k, v)}});
                }
            } else if (key == "dfs-referral-cache-duration") {
                if (have != want)
                    Make(kModify, {{"change", target, "", have, want}},
                         {{target, DfsDurationArgs(want)}});
            } else {
                Members(key, have.is_array() ? have : Json::array(), want);
            }
        }
    }

    void InvalidUsers(const Json &wanted) {
        const Json &now = server_.doc["invalid_users"];
        if (wanted.contains("timeout_minutes") &&
            wanted["timeout_minutes"] != now["timeout_minutes"])
            Make(kModify,
                 {{"change", "invalid-users", "timeout_minutes", now["timeout_minutes"],
                   wanted["timeout_minutes"]}},
                 {{"invalid-users timeout", TimeoutArgs(wanted["timeout_minutes"])}});
        if (!wanted.contains("permanent")) return;
        std::set<std::string> have, want;
        for (const auto &u : now["permanent"]) have.insert(Upper(u.get<std::string>()));
        for (const auto &u : wanted["permanent"]) {
            const auto name = u.get<std::string>();
            want.insert(Upper(name));
            if (have.count(Upper(name))) continue;
            const std::string target = "invalid-user " + name;
            if (server_.temporaryUsers.count(Upper(name)))
                Make(kModify, {{"change", target, "permanent", false, true}},
                     {{"invalid-users make-permanent",
                       InvalidUserArgs(CIFS_ACT_MAKE_PERMANENT, name)}});
            else
                Make(kCreate, {{"add", target, "", nullptr, name}},
                     {{"invalid-users add", InvalidUserArgs(CIFS_ACT_ADD, name)}});
        }
        if (!prune_) return;
        for (const auto &u : now["permanent"]) {
            const auto name = u.get<std::string>();
            if (!want.count(Upper(name)))
                Make(kRemove, {{"remove", "invalid-user " + name, "", name, nullptr}},
                     {{"invalid-users remove", InvalidUserArgs(CIFS_ACT_REMOVE, name)}});
        }
    }

    void UserContexts(const Json &wanted) {
        std::set<std::string> have, want;
        for (const auto &c : server_.doc["user_contexts"]) have.insert(Upper(c.get<std::string>()));
        for (const auto &c : wanted) {
            const auto text = c.get<std::string>();
            want.insert(Upper(text));
            if (!have.count(Upper(text)))
                Make(kCreate, {{"add", "user-context " + text, "", nullptr, text}},
                     {{"user-contexts add", UserContextArgs(CIFS_ACT_ADD, text)}});
        }
        if (!prune_) return;
        for (const auto &c : server_.doc["user_contexts"]) {
            const auto text = c.get<std::string>();
            if (!want.count(Upper(text)))
                Make(kRemove, {{"remove", "user-context " + text, "", text, nullptr}},
                     {{"user-contexts remove", UserContextArgs(CIFS_ACT_REMOVE, text)}});
        }
    }

    void Finish() {
        for (auto &b : buckets_) {
            const size_t offset = plan.changes.size();
            for (auto &c : b.changes) plan.changes.push_back(std::move(c));
            for (auto &s : b.steps) {
                s.first += offset;
                s.last += offset;
                plan.steps.push_back(std::move(s));
            }
        }
    }

  private:
    struct Bucket {
        std::vector<Change> changes;
        std::vector<Step> steps;
    };

    static std::vector<Arg> MfaArgs(const std::string &name, bool on) {
        return {{CMD_SHARE, {}}, {CIFS_ACT_MFA, on ? "yes" : "no"}, {CIFS_OPT_NAME, name}};
    }

    // The rename of share, in the first phase; the share as it is then.
    Json Rename(const Json &share, const std::string &name) {
        const auto old = share["name"].get<std::string>();
        Make(kRename, {{"rename", "share " + old, "name", old, name}},
             {{"share modify",
               {{CMD_SHARE, {}},
                {CIFS_ACT_MODIFY, {}},
                {CIFS_OPT_NAME, old},
                {CIFS_OPT_NEW_NAME, name}}}});
        Json renamed = share;
        renamed["name"] = name;
        return renamed;
    }

    // The fields of an existing share (named as in the document) that the document sets
    // otherwise.
    void ModifyShare(const Json &c, const Json &w) {
        const auto name = w["name"].get<std::string>();
        const std::string target = "share " + name;
        std::vector<Change> changes;
        std::vector<Arg> args{{CMD_SHARE, {}}, {CIFS_ACT_MODIFY, {}}, {CIFS_OPT_NAME, name}};
        const auto volume = w["volume"].get<std::string>();
        const std::string path = w.value("path", c["path"].get<std::string>());
        const bool moveVolume = Upper(volume) != Upper(c["volume"].get<std::string>());
        if (moveVolume) changes.push_back({"change", target, "volume", c["volume"], volume});
        if (path != c["path"]) changes.push_back({"change", target, "path", c["path"], path});
        if (moveVolume || path != c["path"]) args.push_back({CIFS_OPT_PATH, volume + ":" + path});
        auto differs = [&](const char *key) { return w.contains(key) && w[key] != c[key]; };
        if (differs("comment")) {
            changes.push_back({"change", target, "comment", c["comment"], w["comment"]});
            args.push_back({CIFS_OPT_COMMENT, w["comment"].get<std::string>()});
        }
        const std::pair<const char *, int32_t> switches[] = {
            {"encrypt_data", CIFS_OPT_ENCRYPT_DATA},
            {"folder_redirection", CIFS_OPT_FOLDER_REDIRECTION},
            {"atm_backup", CIFS_OPT_ATM_BACKUP}};
        for (const auto &[key, code] : switches)
            if (differs(key)) {
                changes.push_back({"change", target, key, c[key], w[key]});
                args.push_back({code, YesNoWord(w[key])});
            }
        if (differs("max_users")) {
            const auto n = w["max_users"].get<int64_t>();
            changes.push_back({"change", target, "max_users", c["max_users"], n});
            // Zero leaves the limit alone in a change; a negative number lifts it.
            args.push_back({CIFS_OPT_NUMBER, n == 0 ? "-1" : std::to_string(n)});
        }
        Make(kModify, std::move(changes), {{"share modify", args}});
        if (differs("mfa"))
            Make(kModify, {{"change", target, "mfa", c["mfa"], w["mfa"]}},
                 {{"share mfa", MfaArgs(name, w["mfa"].get<bool>())}});
    }

    // A set option: members added, changed (removed and added again), pruned.
    void Members(const std::string &option, const Json &have, const Json &want) {
        const std::string target = "option " + option;
        std::map<std::string, Json> current;
        for (const auto &m : have) current[Upper(MemberName(m))] = m;
        std::set<std::string> wanted;
        for (const auto &m : want) {
            const auto key = Upper(MemberName(m));
            wanted.insert(key);
            const auto it = current.find(key);
            if (it == current.end()) {
                Make(kCreate, {{"add", target, MemberName(m), nullptr, m}},
                     {{target + " add", MemberArgs(option, m, true)}});
            } else if (m.is_object() && m.value("address", "") != it->second.value("address", "")) {
                Make(kModify, {{"change", target, MemberName(m), it->second, m}},
                     {{target + " remove", MemberArgs(option, it->second, false)},
                      {target + " add", MemberArgs(option, m, true)}});
            }
        }
        if (!prune_) return;
        for (const auto &[key, m] : current)
            if (!wanted.count(key))
                Make(kRemove, {{"remove", target, MemberName(m), m, nullptr}},
                     {{target + " remove", MemberArgs(option, m, false)}});
    }

    const ServerState &server_;
    bool prune_, force_;
    Bucket buckets_[kPhases];
};

}  // namespace

std::string ValueText(const Json &value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string MemberName(const Json &member) {
    return member.is_object() ? member["name"].get<std::string>() : member.get<std::string>();
}

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

std::vector<Arg> OptionArgs(const tools::OptionSpec &row, const std::string &value) {
    if (row.command == CMD_DUMP_CRYPTO_KEYS)  // the switch form of the command
        return {{CMD_DUMP_CRYPTO_KEYS, {}}, {CIFS_OPT_CRYPTO_KEYS_SWITCH, value}};
    return {{row.command, value}};
}

std::vector<Arg> CacheArgs(const std::string &kind, const Json &size) {
    return {{CMD_CACHE, Upper(kind) + "=" + ValueText(size)}};
}

std::vector<Arg> DfsDurationArgs(const Json &minutes) {
    return {{CMD_DFS_REFERRAL_CACHE_DURATION, ValueText(minutes)}};
}

std::vector<Arg> ShareByDefaultArgs(const std::string &server, const Json &value) {
    return {{CMD_SHARE_VOLUMES_BY_DEFAULT, server}, {CIFS_OPT_SHARE_BY_DEFAULT, ValueText(value)}};
}

std::vector<Arg> MemberArgs(const std::string &option, const Json &m, bool add) {
    if (option == "multichannel-interface")
        return {{CMD_MULTICHANNEL_INTERFACE, {}},
                {add ? CIFS_ACT_ADD : CIFS_ACT_REMOVE, {}},
                {CIFS_OPT_INTERFACE, m.get<std::string>()}};
    std::vector<Arg> args{{add ? CMD_ADD : CMD_REMOVE, {}},
                          {option == "dns-entry" ? CIFS_OPT_DNS_ENTRY : CIFS_OPT_SERVER,
                           m["name"].get<std::string>()}};
    if (add && !m.value("address", "").empty())
        args.push_back({CIFS_OPT_IP_ADDRESS, m["address"].get<std::string>()});
    return args;
}

std::vector<Arg> TimeoutArgs(const Json &minutes) {
    return {{CMD_INVALID_USER_CACHE, {}}, {CIFS_ACT_TIMEOUT, ValueText(minutes)}};
}

std::vector<Arg> InvalidUserArgs(int32_t action, const std::string &name) {
    return {{CMD_INVALID_USER_CACHE, {}}, {action, {}}, {CIFS_OPT_NAME, name}};
}

std::vector<Arg> UserContextArgs(int32_t action, const std::string &context) {
    return {{CMD_USER_CONTEXTS, {}}, {action, context}};
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

Json ChangeJson(const Change &c) {
    return Json{{"kind", c.kind},
                {"target", c.target},
                {"field", c.field.empty() ? Json() : Json(c.field)},
                {"old", c.before},
                {"new", c.after},
                {"text", ChangeLine(c)}};
}

std::string ChangeLine(const Change &c) {
    const std::string field = c.field.empty() ? "" : " " + c.field;
    // A list entry is its name; an object is shown whole.
    if (c.kind == "add")
        return "+ " + c.target + field + (c.after.is_string() ? "" : " " + c.after.dump());
    if (c.kind == "remove") return "- " + c.target + field;
    return "~ " + c.target + field + ": " + c.before.dump() + " -> " + c.after.dump();
}

}  // namespace share::shareadm::config
