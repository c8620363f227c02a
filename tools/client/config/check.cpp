// SPDX-License-Identifier: Apache-2.0
// Checking a whole document before anything is sent: its shape (the published schema's rules),
// names unique, volumes the server has, paths in the form the server stores, and every value
// through the tools' value rules (the limits the command line applies) and then the library's own
// validation of the command that would set it, and the server's own forms (characters, reserved
// names) that neither of those sees. Every mistake is reported once, each at its JSON pointer,
// and a mistake in one field never keeps the others from being checked.
#include <algorithm>
#include <cstring>
#include <set>

#include "client/config/config.h"
#include "client/records.h"
#include "client/value_rules.h"
#include "common/text_forms.h"

namespace share::client::config {
namespace {

enum class Type { kString, kInteger, kBoolean, kObject, kArray, kStringOrInteger };

const char *TypeName(Type t) {
    switch (t) {
        case Type::kString:
            return "a string";
        case Type::kInteger:
            return "an integer";
        case Type::kBoolean:
            return "true or false";
        case Type::kObject:
            return "an object";
        case Type::kArray:
            return "a list";
        default:
            return "a string or an integer";
    }
}

bool IsType(const Json &v, Type t) {
    switch (t) {
        case Type::kString:
            return v.is_string();
        case Type::kInteger:
            return v.is_number_integer();
        case Type::kBoolean:
            return v.is_boolean();
        case Type::kObject:
            return v.is_object();
        case Type::kArray:
            return v.is_array();
        default:
            return v.is_string() || v.is_number_integer();
    }
}

struct Key {
    const char *name;
    Type type;
    bool required;
};

constexpr Key kTopKeys[] = {{"schema_version", Type::kInteger, true},
                            {"shares", Type::kArray, false},
                            {"options", Type::kObject, false},
                            {"invalid_users", Type::kObject, false},
                            {"user_contexts", Type::kArray, false}};
constexpr Key kShareKeys[] = {{"name", Type::kString, true},
                              {"volume", Type::kString, true},
                              {"path", Type::kString, false},
                              {"comment", Type::kString, false},
                              {"max_users", Type::kInteger, false},
                              {"encrypt_data", Type::kBoolean, false},
                              {"folder_redirection", Type::kBoolean, false},
                              {"atm_backup", Type::kBoolean, false},
                              {"mfa", Type::kBoolean, false},
                              {kRenamedFrom, Type::kString, false}};
constexpr Key kInvalidUserKeys[] = {{"timeout_minutes", Type::kInteger, false},
                                    {"permanent", Type::kArray, false}};
constexpr Key kMemberKeys[] = {{"name", Type::kString, true}, {"address", Type::kString, false}};

class Checker {
  public:
    explicit Checker(const ServerState &server) : server_(server) {}
    std::vector<Problem> problems;

    void Add(const std::string &pointer, const std::string &message) {
        problems.push_back({pointer, message});
    }

    // Unknown keys, missing keys and wrong types; true when every known key has its type.
    template <size_t N>
    bool Shape(const Json &obj, const std::string &at, const Key (&keys)[N]) {
        bool ok = true;
        for (const auto &[k, v] : obj.items()) {
            const Key *key = nullptr;
            for (const Key &candidate : keys)
                if (k == candidate.name) key = &candidate;
            if (!key) {
                Add(at + "/" + PointerToken(k), "unknown key \"" + k + "\"");
                ok = false;
            } else if (!IsType(v, key->type)) {
                Add(at + "/" + PointerToken(k), std::string("must be ") + TypeName(key->type));
                ok = false;
            }
        }
        for (const Key &key : keys)
            if (key.required && !obj.contains(key.name)) {
                Add(at, std::string("\"") + key.name + "\" is missing");
                ok = false;
            }
        return ok;
    }

    // The command line's rule for a value; false, after reporting, when it refuses. A refused
    // value is not also put to the library: one mistake, one message.
    bool Rule(const std::string &at, const ValueRule &rule, const Json &value) {
        const std::string text = ValueText(value);
        if (!Accepts(rule, text)) {
            problems.push_back({at, "must be " + Accepted(rule), value});
            return false;
        }
        // The library passes text as C strings (a NUL cuts it) and the server keeps no control
        // characters.
        if (tools::HasControl(text)) {
            problems.push_back(
                {at, "must not hold control characters (NUL, tab, line breaks)", value});
            return false;
        }
        return true;
    }
    bool Rule(const std::string &at, const char *rule, const Json &value) {
        return Rule(at, OptionRule(rule), value);
    }

    // The library's verdict on the command that would set a value.
    void Library(const std::string &at, const std::vector<Arg> &args, const std::string &what) {
        if (const auto message = LibraryCheck(args))
            Add(at, "the library refuses " + what +
                        (message->empty() ? std::string() : ": " + Trim(*message)));
    }

    // A string list without duplicates (compared ignoring case), each checked by check.
    template <class F>
    void UniqueStrings(const Json &list, const std::string &at, F check) {
        std::set<std::string> seen;
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string p = at + "/" + std::to_string(i);
            if (!list[i].is_string()) {
                Add(p, "must be a string");
                continue;
            }
            const auto text = list[i].get<std::string>();
            if (!seen.insert(Upper(text)).second) Add(p, "\"" + text + "\" is listed twice");
            check(p, text);
        }
    }

    void Shares(const Json &shares) {
        std::set<std::string> seen;
        LibraryOutput batch;  // what the checks of whole shares print goes nowhere
        for (size_t i = 0; i < shares.size(); ++i) {
            const std::string at = "/shares/" + std::to_string(i);
            const Json &s = shares[i];
            if (!s.is_object()) {
                Add(at, "must be an object");
                continue;
            }
            // A field of the wrong type is reported by Shape; the others are still checked.
            const bool shapeOk = Shape(s, at, kShareKeys);
            const auto typed = [&](const char *key, bool (Json::*is)() const noexcept) {
                return s.contains(key) && (s[key].*is)();
            };
            bool nameOk = false, pathOk = false, commentOk = true, usersOk = true;
            std::string name, volume;
            if (typed("name", &Json::is_string)) {
                name = s["name"].get<std::string>();
                if (!seen.insert(Upper(name)).second)
                    Add(at + "/name", "share \"" + name + "\" is listed twice");
                nameOk = ShareName(at + "/name", name);
            }
            if (typed(kRenamedFrom, &Json::is_string))
                ShareName(at + "/" + kRenamedFrom, s[kRenamedFrom].get<std::string>());
            if (typed("volume", &Json::is_string)) {
                volume = s["volume"].get<std::string>();
                if (!Volume(at + "/volume", volume)) volume.clear();
            }
            if (!volume.empty() && (!s.contains("path") || s["path"].is_string()))
                pathOk = Path(at + "/path", volume, s.value("path", "/"));
            if (typed("comment", &Json::is_string)) {
                commentOk = Rule(at + "/comment", "comment", s["comment"]);
                if (commentOk && s["comment"].get<std::string>().ends_with(" ")) {
                    Add(at + "/comment", "trailing spaces would not be kept");
                    commentOk = false;
                }
            }
            if (typed("max_users", &Json::is_number_integer))
                usersOk = Rule(at + "/max_users", "max-users", s["max_users"]);
            if (!shapeOk || !nameOk || volume.empty() || !pathOk || !commentOk || !usersOk)
                continue;
            // Once as a whole; when refused, one field at a time, so that each refusal points
            // at its own field.
            if (!LibraryCheck(ShareAddArgs(s), false)) continue;
            const size_t before = problems.size();
            const Json probe = {{"name", "probe"}, {"volume", volume}, {"path", "/"}};
            Json named = probe, located = probe, commented = probe;
            named["name"] = name;
            located["path"] = s.value("path", "/");
            if (s.contains("comment")) commented["comment"] = s["comment"];
            Library(at + "/name", ShareAddArgs(named), "the name");
            Library(at + "/path", ShareAddArgs(located), "the path");
            Library(at + "/comment", ShareAddArgs(commented), "the comment");
            if (problems.size() == before) Add(at, "the library refuses the share");
        }
    }

    // A share name in the form the server keeps, and not a volume's (the server shares each
    // volume under its own name, in any letter case).
    bool ShareName(const std::string &at, const std::string &name) {
        if (!Rule(at, "share-name", name)) return false;
        if (name.front() == ' ' || name.back() == ' ') {
            Add(at, "leading or trailing spaces would not be kept");
            return false;
        }
        if (name.find_first_of(tools::kShareNameReserved) != std::string::npos) {
            problems.push_back(
                {at, std::string("must not hold any of ") + Spaced(tools::kShareNameReserved),
                 name});
            return false;
        }
        for (const auto &v : server_.volumes)
            if (Upper(v) == Upper(name)) {
                problems.push_back({at, "is the name of volume " + v, name});
                return false;
            }
        return true;
    }

    // A volume the server has and lets shares be made on.
    bool Volume(const std::string &at, const std::string &volume) {
        for (const auto &v : server_.volumes) {
            if (Upper(v) != Upper(volume)) continue;
            if (!Administrative(v)) return true;
            Add(at, "\"" + v + "\" is the administrative volume; no share can be made on it");
            return false;
        }
        Add(at, "the server has no volume \"" + volume + "\"");
        return false;
    }

    bool Path(const std::string &at, const std::string &volume, const std::string &path) {
        if (path.empty() || path[0] != '/') {
            Add(at, "must start with /");
            return false;
        }
        if (!tools::PathForm(path) || path.find("//") != std::string::npos ||
            (path.size() > 1 && path.back() == '/')) {
            problems.push_back(
                {at,
                 "is not in the form the server keeps (\"/dir/sub\": no \\, no . or .. parts, "
                 "no control characters, no doubled or trailing /)",
                 path});
            return false;
        }
        // The command takes VOLUME:PATH, and its limit is the whole text's.
        return Rule(at, "location", volume + ":" + path);
    }

    void Options(const Json &options) {
        const Json &now = server_.doc["options"];
        for (const auto &[key, value] : options.items()) {
            const std::string at = "/options/" + PointerToken(key);
            const ServerOption *row = FindServerOption(key);
            if (row == nullptr)
                Add(at, "unknown option \"" + key + "\"");
            else if (row->shape == OptionShape::kSingle)
                Single(*row, value, now.contains(key) ? now[key] : Json(), at);
            else if (row->shape == OptionShape::kKeyed)
                Keyed(*row, value, at);
            else
                Members(*row, value, at);
        }
    }

    // A value the server holds already is not checked again: it is what export printed.
    void Single(const ServerOption &row, const Json &value, const Json &now,
                const std::string &at) {
        if (!Typed(at, row, value) || now == value || !Rule(at, ValueRuleOf(row), value)) return;
        Library(at, SetterArgs(row, value),
                row.noun ? row.noun : "\"" + ValueText(value) + "\" (" + row.stored->help + ")");
    }

    void Keyed(const ServerOption &row, const Json &entries, const std::string &at) {
        if (!IsType(entries, Type::kObject)) {
            Add(at, "must be an object");
            return;
        }
        for (const auto &[key, value] : entries.items()) {
            const std::string p = at + "/" + PointerToken(key);
            if (!row.keys.empty() &&
                std::find(row.keys.begin(), row.keys.end(), key) == row.keys.end()) {
                Add(p, "unknown " + std::string(row.name) + " (" + Alternatives(row.keys) + ")");
            } else if (Typed(p, row, value)) {
                const bool keyOk = !row.keyRule || Rule(p, row.keyRule, key);
                if (Rule(p, ValueRuleOf(row), value) && keyOk)
                    Library(p, row.args(row, key, value, true), row.noun);
            }
        }
    }

    void Members(const ServerOption &row, const Json &list, const std::string &at) {
        if (!list.is_array()) {
            Add(at, "must be a list");
            return;
        }
        const bool named = row.type == ValueType::kNamed;
        std::set<std::string> seen;
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string p = at + "/" + std::to_string(i);
            const Json &m = list[i];
            if (!Typed(p, row, m)) continue;
            if (named) {
                Shape(m, p, kMemberKeys);
                if (!m.contains("name") || !m["name"].is_string() ||
                    !m.value("address", Json("")).is_string())
                    continue;
            }
            if (!seen.insert(Upper(MemberName(m))).second)
                Add(p, "\"" + MemberName(m) + "\" is listed twice");
            bool ok = Rule(p, row.valueRule, named ? m["name"] : m);
            if (ok && std::strcmp(row.valueRule, "interface") == 0 &&
                !tools::InterfaceNameForm(m.get<std::string>())) {
                problems.push_back({p, "must hold only letters, digits and . - _ : @", m});
                ok = false;
            }
            // An empty address is left out of the command.
            if (named && !m.value("address", "").empty())
                ok = Rule(p, row.keyRule, m["address"]) && ok;
            if (ok) Library(p, row.args(row, "", m, true), row.noun);
        }
    }

    void InvalidUsers(const Json &users) {
        Shape(users, "/invalid_users", kInvalidUserKeys);
        if (users.contains("timeout_minutes") && users["timeout_minutes"].is_number_integer() &&
            Rule("/invalid_users/timeout_minutes", "invalid-user-timeout",
                 users["timeout_minutes"]))
            Library("/invalid_users/timeout_minutes", TimeoutArgs(users["timeout_minutes"]),
                    "the time-out");
        if (users.contains("permanent") && users["permanent"].is_array())
            UniqueStrings(users["permanent"], "/invalid_users/permanent",
                          [&](const std::string &p, const std::string &name) {
                              if (Rule(p, "user-name", name))
                                  Library(p, InvalidUserArgs(CIFS_ACT_ADD, name), "the user name");
                          });
    }

    void UserContexts(const Json &contexts) {
        UniqueStrings(contexts, "/user_contexts", [&](const std::string &p, const std::string &c) {
            if (Rule(p, "user-context", c))
                Library(p, UserContextArgs(CIFS_ACT_ADD, c), "the context");
        });
    }

  private:
    // The JSON type of a row's value (or member); false after reporting when it has another.
    bool Typed(const std::string &at, const ServerOption &row, const Json &value) {
        const bool ok = row.type == ValueType::kNamed     ? value.is_object()
                        : row.type == ValueType::kInteger ? value.is_number_integer()
                        : row.type == ValueType::kString  ? value.is_string()
                                                          : IsType(value, Type::kStringOrInteger);
        if (ok) return true;
        const ValueRule &rule = OptionRule(row.valueRule);
        Add(at, row.type == ValueType::kNamed     ? "must be an object"
                : row.type == ValueType::kInteger ? "must be an integer"
                : row.type == ValueType::kString
                    ? (rule.kind == RuleKind::kKeyword ? "must be " + Alternatives(rule.words)
                                                       : std::string("must be a string"))
                    : "must be a string or an integer");
        return false;
    }
    static ValueRule ValueRuleOf(const ServerOption &row) {
        const ValueRule &rule = OptionRule(row.valueRule);
        return row.numberOnly ? NumberOf(rule) : rule;
    }
    // "a, b or c".
    static std::string Alternatives(const std::vector<std::string> &words) {
        std::string text;
        for (size_t i = 0; i < words.size(); ++i)
            text += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
        return text;
    }
    // The number part of a rule: the document gives cache sizes and durations as integers.
    static ValueRule NumberOf(const ValueRule &rule) {
        ValueRule number = rule;
        number.kind = RuleKind::kNumber;
        number.words.clear();
        return number;
    }
    // The library's own rule for the administrative volume (the type it gives its share).
    static bool Administrative(const std::string &volume) {
        ShareParams record{};
        std::strncpy(record.shareName, volume.c_str(), sizeof record.shareName - 1);
        std::strncpy(record.volumeName, volume.c_str(), sizeof record.volumeName - 1);
        return ShareRecordType(record) == SHARE_TYPE_ADMIN;
    }
    static std::string Spaced(std::string_view chars) {
        std::string out;
        for (char c : chars) out += (out.empty() ? "" : " ") + std::string(1, c);
        return out;
    }
    static std::string Trim(std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return text;
    }
    const ServerState &server_;
};

}  // namespace

std::vector<Problem> Check(const Json &doc, const ServerState &server) {
    Checker c(server);
    if (!doc.is_object()) {
        c.Add("", "the document must be a JSON object");
        return c.problems;
    }
    c.Shape(doc, "", kTopKeys);
    if (doc.contains("schema_version") && doc["schema_version"].is_number_integer() &&
        doc["schema_version"] != kSchemaVersion)
        c.Add("/schema_version", "must be " + std::to_string(kSchemaVersion));
    if (doc.contains("shares") && doc["shares"].is_array()) c.Shares(doc["shares"]);
    if (doc.contains("options") && doc["options"].is_object()) c.Options(doc["options"]);
    if (doc.contains("invalid_users") && doc["invalid_users"].is_object())
        c.InvalidUsers(doc["invalid_users"]);
    if (doc.contains("user_contexts") && doc["user_contexts"].is_array())
        c.UserContexts(doc["user_contexts"]);
    return c.problems;
}

}  // namespace share::client::config
