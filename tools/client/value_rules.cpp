// SPDX-License-Identifier: Apache-2.0
#include "client/value_rules.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <stdexcept>

#include "client/text.h"
#include "common/server_formats.h"

namespace share::client {
namespace {

using tools::OptionTable;
using tools::StoredOption;
using tools::ValueKind;

using K = RuleKind;

ValueRule Number(const char *name, long min, long max, std::vector<std::string> words = {}) {
    return {name, K::kNumber, min, max, std::move(words), false, 0, false, false};
}
ValueRule Words(const char *name, std::vector<std::string> words, bool exactCase = false) {
    return {name, K::kKeyword, 0, 0, std::move(words), exactCase, 0, false, false};
}
ValueRule Location(const char *name, size_t maxBytes) {
    return {name, K::kLocation, 0, 0, {}, false, maxBytes, false, false};
}
ValueRule Text(const char *name, size_t maxBytes, bool nonEmpty, bool notOnlyPeriods = false) {
    return {name, K::kText, 0, 0, {}, false, maxBytes, nonEmpty, notOnlyPeriods};
}

// A server option setter's rule, from the server option table. The library compares the
// keywords without regard to case, except the dialect's.
ValueRule FromOption(const StoredOption &o) {
    if (o.kind == ValueKind::kText && o.keywords.empty()) return Text(o.name, o.width - 1, false);
    if (o.keywords.empty()) return Number(o.name, o.min, o.max);
    std::vector<std::string> words;
    for (const auto &k : o.keywords) words.push_back(k.word);
    return Words(o.name, std::move(words), o.command == CMD_DIALECT);
}

std::vector<ValueRule> BuildRules() {
    std::vector<ValueRule> rules{
        Text("share-name", 80, true, true),
        Location("location", 511),
        Text("comment", 47, false, true),
        Words("yes-no", {"YES", "NO"}),
        Number("max-users", 0, 65535),
        Number("max-users-change", -1, 65535),
        Text("server-dn", 255, false),
        Number("connection-id", 0, 65535),
        Location("file-path", 0),
        Text("volume", 0, true),
        Words("clear-type", {"ALL", "NULL"}),
        Number("idle-minutes", 15, 65535),
        Number("clear-count", 1, 65535, {"ALL"}),
        Text("user-name", 256, true),
        Number("invalid-user-timeout", 0, 525600),
        Text("user-context", 511, true, true),
        Words("statistics", {"DC", "FP", "FH", "T"}),
        {"cache",
         K::kCache,
         1,
         INT_MAX,
         {"SDIRCACHE", "DIRCACHE", "FILECACHE"},
         true,
         0,
         false,
         false},
        Words("add-remove", {"add", "remove"}, true),
        Words("add-remove-list", {"add", "remove", "list"}, true),
        Text("virtual-server-name", 255, true),
        Text("dns-entry-name", 15, true),
        {"ipv4", K::kAddress, 0, 0, {}, false, 0, false, false},
        Text("server-name", 255, true),
        Text("quota-target", 64, true),
        Number("quota-value", 1, INT_MAX),
        Number("entries", 0, UINT32_MAX),
        Text("interface", 15, true),
        Number("dfs-minutes", 0, 525600, {"CLEAR"}),
        {"dfs-path", K::kJunction, 0, 0, {"ALL"}, false, 1024, false, false},
    };
    for (const StoredOption &o : OptionTable())
        if (o.command != CMD_DUMP_CRYPTO_KEYS) rules.push_back(FromOption(o));
    return rules;
}

bool SameWord(std::string_view a, std::string_view b, bool exactCase) {
    return exactCase ? a == b : ToUpperAscii(a) == ToUpperAscii(b);
}

const std::string *FindWord(const ValueRule &rule, std::string_view value) {
    for (const auto &w : rule.words)
        if (SameWord(w, value, rule.exactCase)) return &w;
    return nullptr;
}

std::string Join(const std::vector<std::string> &words, const char *last) {
    std::string out;
    for (size_t i = 0; i < words.size(); ++i)
        out += (i == 0 ? "" : i + 1 == words.size() ? last : ", ") + words[i];
    return out;
}

const char *CaseNote(const ValueRule &rule) {
    const bool letters =
        std::any_of(rule.words.begin(), rule.words.end(), [](const std::string &w) {
            return std::any_of(w.begin(), w.end(), [](char c) { return std::isalpha(c) != 0; });
        });
    if (!letters) return "";
    return rule.exactCase ? " (exact letter case)" : " (any letter case)";
}

std::string Bytes(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

bool OnlyPeriods(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return !text.empty() && text.find_first_not_of('.') == std::string_view::npos;
}

bool AcceptsLocation(std::string_view value, size_t maxBytes) {
    const size_t colon = value.find(':');
    return colon != std::string_view::npos && colon > 0 &&
           (maxBytes == 0 || value.size() <= maxBytes);
}

}  // namespace

std::string Accepted(const ValueRule &rule) {
    switch (rule.kind) {
        case K::kNumber: {
            std::string s =
                "a number from " + std::to_string(rule.min) + " to " + std::to_string(rule.max);
            if (!rule.words.empty()) s += ", or " + Join(rule.words, " or ") + CaseNote(rule);
            return s;
        }
        case K::kKeyword:
            return "one of " + Join(rule.words, ", ") + CaseNote(rule);
        case K::kText: {
            std::string s = rule.maxBytes == 0 ? "a non-empty text"
                            : rule.nonEmpty    ? "a text of 1 to " + Bytes(rule.maxBytes)
                                               : "a text of at most " + Bytes(rule.maxBytes);
            if (rule.notOnlyPeriods) s += ", not only periods";
            return s;
        }
        case K::kLocation:
            return "VOLUME:PATH (a volume name, a colon, the path)" +
                   (rule.maxBytes ? " of at most " + Bytes(rule.maxBytes) : std::string());
        case K::kCache:
            return "KIND=N with KIND one of " + Join(rule.words, ", ") + CaseNote(rule) +
                   " and N a number from " + std::to_string(rule.min) + " to " +
                   std::to_string(rule.max);
        case K::kAddress:
            return "an IPv4 address such as 192.0.2.10";
        case K::kJunction:
            return "ALL" + std::string(CaseNote(rule)) +
                   " or one VOLUME:/junction/path of at most " + Bytes(rule.maxBytes);
    }
    return "";
}

bool Accepts(const ValueRule &rule, std::string_view value) {
    long n;
    switch (rule.kind) {
        case K::kNumber:
            return ParseNumber(value, rule.min, rule.max, &n) || FindWord(rule, value);
        case K::kKeyword:
            return FindWord(rule, value) != nullptr;
        case K::kText:
            return (!rule.nonEmpty || !value.empty()) &&
                   (rule.maxBytes == 0 || value.size() <= rule.maxBytes) &&
                   (!rule.notOnlyPeriods || !OnlyPeriods(value));
        case K::kLocation:
            return AcceptsLocation(value, rule.maxBytes);
        case K::kCache: {
            const size_t eq = value.find('=');
            return eq != std::string_view::npos && FindWord(rule, value.substr(0, eq)) &&
                   ParseNumber(value.substr(eq + 1), rule.min, rule.max, &n);
        }
        case K::kAddress: {
            in_addr a;
            return inet_aton(std::string(value).c_str(), &a) != 0;
        }
        case K::kJunction: {
            if (FindWord(rule, value)) return true;
            const size_t colon = value.find(':');
            return AcceptsLocation(value, rule.maxBytes) && value.find(',') == value.npos &&
                   value.find(':', colon + 1) == value.npos && value.size() > colon + 2 &&
                   value[colon + 1] == '/';
        }
    }
    return false;
}

std::string Canonical(const ValueRule &rule, std::string_view value) {
    if (rule.kind == K::kKeyword || rule.kind == K::kNumber || rule.kind == K::kJunction)
        if (const std::string *w = FindWord(rule, value)) return *w;
    return std::string(value);
}

std::span<const ValueRule> ValueRules() {
    static const std::vector<ValueRule> rules = BuildRules();
    return rules;
}

const ValueRule *FindRule(std::string_view name) {
    for (const auto &r : ValueRules())
        if (name == r.name) return &r;
    return nullptr;
}

const ValueRule &OptionRule(std::string_view option) {
    const ValueRule *r = FindRule(option);
    if (r == nullptr) throw std::logic_error("no value rule for " + std::string(option));
    return *r;
}

}  // namespace share::client
