// SPDX-License-Identifier: Apache-2.0
// share_facts: prints, as one JSON document, the facts that the Python package, the Ansible
// collection and the published schemas share with the tools: the server's statuses, the tools'
// exit statuses, the value rules, the server options and the settings set by key or member. It
// reads the C++ tables themselves, so the other languages read the tables rather than copies of
// them.
//
//   share_facts          the document on standard output
//   share_facts FILE     the document written to FILE (replaced only once complete)
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "client/server_options.h"
#include "client/value_rules.h"
#include "common/server_formats.h"
#include "output/reporter.h"

namespace share::tools {
namespace {

using namespace share::client;
using nlohmann::ordered_json;

// The exit statuses' names. Their texts are the tools' help text (kExitStatusHelp), read below,
// so that the help and the document cannot say different things.
struct ExitName {
    ExitCode code;
    const char *name;
};
constexpr ExitName kExitNames[] = {
    {kExitOk, "done"},
    {kExitRejected, "rejected"},
    {kExitRefused, "refused"},
    {kExitUnreachable, "unreachable"},
};

// "Exit status: 0 done; 1 rejected ...; 3 ... --timeout." as (code, text) in order.
ordered_json ExitStatuses() {
    std::string_view help = kExitStatusHelp;
    constexpr std::string_view kLead = "Exit status: ";
    if (!help.starts_with(kLead) || !help.ends_with('.'))
        throw std::logic_error("exit status help: unexpected form");
    help.remove_prefix(kLead.size());
    help.remove_suffix(1);
    ordered_json out = ordered_json::array();
    size_t index = 0;
    while (!help.empty()) {
        const size_t end = help.find("; ");
        const std::string_view item = help.substr(0, end);
        help = end == std::string_view::npos ? std::string_view() : help.substr(end + 2);
        const size_t space = item.find(' ');
        if (index >= std::size(kExitNames) || space == std::string_view::npos ||
            item.substr(0, space) != std::to_string(kExitNames[index].code))
            throw std::logic_error("exit status help and names differ at " + std::string(item));
        std::string text(item.substr(space + 1));
        out.push_back({{"code", static_cast<int>(kExitNames[index].code)},
                       {"name", kExitNames[index].name},
                       {"text", std::move(text)}});
        ++index;
    }
    if (index != std::size(kExitNames)) throw std::logic_error("exit status help lacks a status");
    return out;
}

// The kinds' names in the document. A kind that a table uses and this list lacks fails the
// build, which runs this program.
template <class Kind>
struct KindName {
    Kind kind;
    const char *name;
};
constexpr KindName<RuleKind> kRuleKindNames[] = {
    {RuleKind::kNumber, "number"},     {RuleKind::kKeyword, "keyword"},
    {RuleKind::kText, "text"},         {RuleKind::kLocation, "location"},
    {RuleKind::kCache, "cache"},       {RuleKind::kAddress, "address"},
    {RuleKind::kJunction, "junction"},
};
constexpr KindName<ValueKind> kValueKindNames[] = {
    {ValueKind::kU8, "u8"},
    {ValueKind::kI32, "i32"},
    {ValueKind::kText, "text"},
    {ValueKind::kField, "field"},
};

template <class Kind, size_t N>
const char *NameOf(const KindName<Kind> (&names)[N], Kind kind, const char *what) {
    for (const KindName<Kind> &n : names)
        if (n.kind == kind) return n.name;
    throw std::logic_error(std::string("unnamed ") + what);
}

ordered_json Facts() {
    ordered_json doc;
    doc["schema_version"] = 1;

    ordered_json statuses = ordered_json::array();
    for (const StatusInfo &s : StatusTable())
        statuses.push_back({{"code", s.code}, {"name", s.name}, {"text", s.text}});
    doc["statuses"] = std::move(statuses);
    doc["exit_statuses"] = ExitStatuses();

    ordered_json rules = ordered_json::object();
    for (const ValueRule &r : ValueRules())
        rules[r.name] = {{"kind", NameOf(kRuleKindNames, r.kind, "rule kind")},
                         {"min", r.min},
                         {"max", r.max},
                         {"words", r.words},
                         {"exact_case", r.exactCase},
                         {"max_bytes", r.maxBytes},
                         {"non_empty", r.nonEmpty},
                         {"not_only_periods", r.notOnlyPeriods},
                         {"accepted", Accepted(r)}};
    doc["value_rules"] = std::move(rules);

    ordered_json options = ordered_json::object();
    for (const StoredOption &o : OptionTable()) {
        ordered_json keywords = ordered_json::array();
        for (const Keyword &k : o.keywords)
            keywords.push_back({{"word", k.word}, {"value", k.value}});
        const bool text = o.kind == ValueKind::kText || o.kind == ValueKind::kField;
        const ValueRule *rule = FindRule(o.name);
        options[o.name] = {
            {"kind", NameOf(kValueKindNames, o.kind, "option kind")},
            {"width", o.width},
            {"rule", rule != nullptr ? ordered_json(rule->name) : ordered_json(nullptr)},
            {"keywords", std::move(keywords)},
            {"min", o.min},
            {"max", o.max},
            {"default", text ? ordered_json(o.defaultText != nullptr ? o.defaultText : "")
                             : ordered_json(o.defaultNumber)},
            {"help", o.help}};
    }
    doc["options"] = std::move(options);

    // The options beside the stored single values above: set by key, by member, or by a
    // command of their own.
    constexpr const char *kShapeNames[] = {"single", "keyed", "set"};
    ordered_json settings = ordered_json::object();
    for (const ServerOption &o : ServerOptions()) {
        if (o.stored != nullptr) continue;
        auto orNull = [](const char *text) {
            return text != nullptr ? ordered_json(text) : ordered_json(nullptr);
        };
        settings[o.name] = {{"shape", kShapeNames[static_cast<int>(o.shape)]},
                            {"value_rule", orNull(o.valueRule)},
                            {"key_rule", orNull(o.keyRule)},
                            {"keys", o.keys},
                            {"named", o.type == ValueType::kNamed},
                            {"help", o.help}};
    }
    doc["settings"] = std::move(settings);
    return doc;
}

void WriteFile(const std::filesystem::path &path, const std::string &text) {
    const std::filesystem::path partial = path.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) throw std::runtime_error("cannot write " + partial.string());
    }
    std::filesystem::rename(partial, path);
}

}  // namespace
}  // namespace share::tools

int main(int argc, char **argv) {
    try {
        const std::string text = share::tools::Facts().dump(2) + "\n";
        if (argc > 2) {
            std::fprintf(stderr, "usage: share_facts [FILE]\n");
            return 1;
        }
        if (argc == 2) {
            share::tools::WriteFile(argv[1], text);
        } else if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
                   std::fflush(stdout) != 0) {
            std::fprintf(stderr, "share_facts: cannot write standard output\n");
            return 1;
        }
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "share_facts: %s\n", e.what());
        return 1;
    }
}
