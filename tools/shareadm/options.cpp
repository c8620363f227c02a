// SPDX-License-Identifier: Apache-2.0
// shareadm option ...: every server option command by a readable name, and the server's
// configuration dump and status to read them back.

#include <climits>
#include <cstring>

#include "client/server_dump.h"
#include "client/server_options.h"
#include "common/server_formats.h"
#include "output/listings.h"
#include "output/records.h"
#include "shareadm/tool.h"
#include "shareadmin/context.h"

namespace share::shareadm {
namespace {

using client::ServerOption;

struct OptParams {
    std::string value;
    std::string verb;
    std::string name;
    std::string ip;
    std::string quotaValue;
    std::string path;
    std::string connection;
};

// The stored value of one option, as its row reads it from the server's configuration dump.
int ReadOption(const tools::Reporter &out, const std::string &action, const ServerOption &row,
               Json *value) {
    Reply reply;
    if (int e = RunCommand(out, action, {{CMD_SERVER_REQUEST_4, {}}}, &reply); e >= 0) return e;
    *value = row.read(row, ServerDumpJson(reply.elements()));
    if (!value->is_null()) return -1;
    return out.Rejected(action, "the server's configuration dump has no " + std::string(row.name));
}

// Sets one single-value option and confirms with the value the server stored.
int SetOption(const Tool &tool, const ServerOption &row, const std::string &value) {
    const auto out = tool.out();
    const std::string action = std::string("option ") + row.name;
    Reply reply;
    if (int e = RunCommand(out, action, SetterArgs(row, value), &reply,
                           {{tools::kInvalidValue, "VALUE", "the value", value}});
        e >= 0)
        return e;
    Json stored;
    if (int e = ReadOption(out, action, row, &stored); e >= 0) return e;
    const std::string text = ValueText(stored);
    return out.Success(
        Json{{"ok", true}, {"action", action}, {"option", row.name}, {"value", stored}},
        text.empty() ? std::string(row.name) + " cleared."
                     : std::string(row.name) + " set to " + text + ".");
}

int Show(const Tool &tool) {
    const auto out = tool.out();
    Reply reply;
    if (int e = RunCommand(out, "option show", {{CMD_SERVER_REQUEST_4, {}}}, &reply); e >= 0)
        return e;
    const Json doc = ServerDumpJson(reply.elements());
    const Json &extra = doc;
    std::vector<std::pair<std::string, std::string>> rows;
    for (const ServerOption &row : ServerOptions())
        if (const Json value = row.read(row, doc); !value.is_null())
            rows.push_back({row.name, row.show(row, value)});
    rows.push_back(
        {"invalid-user-timeout", std::to_string(doc["invalid_user_timeout"].get<int32_t>())});
    if (extra.contains("last_quota_sync")) {
        const auto &q = extra["last_quota_sync"];
        const int value = q["value"].get<int>();
        rows.push_back({"last-user-quota-sync",
                        q["target"].get<std::string>() +
                            (value < 0 ? "" : " (value " + std::to_string(value) + ")")});
    }
    if (extra.contains("last_quota_view"))
        rows.push_back({"last-user-quota-view", ValueText(extra["last_quota_view"])});
    if (extra.contains("last_statistics_dump"))
        rows.push_back({"last-statistics-dump", ValueText(extra["last_statistics_dump"])});
    return out.Success(doc, tools::KeyValues(rows));
}

int Status(const Tool &tool) {
    const auto out = tool.out();
    Reply reply;
    if (int e = RunCommand(out, "option status", {{CMD_SERVER_REQUEST_40, {}}}, &reply); e >= 0)
        return e;
    Json doc = Json::object();
    std::string text;
    for (const auto &el : reply.elements()) {
        if (el.type != CIFS_ELEM_SERVER_STATUS) continue;
        text = tools::FieldString(reinterpret_cast<const char *>(el.payload.data()),
                                  el.payload.size());
        size_t at = 0;
        while (at < text.size()) {
            const size_t end = std::min(text.find(' ', at), text.size());
            const std::string pair = text.substr(at, end - at);
            const size_t eq = pair.find('=');
            if (eq != std::string::npos) {
                long n;
                const std::string value = pair.substr(eq + 1);
                doc[pair.substr(0, eq)] =
                    tools::ParseNumber(value, 0, LONG_MAX, &n) ? Json(n) : Json(value);
            }
            at = end + 1;
        }
    }
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto &[k, v] : doc.items()) rows.push_back({k, ValueText(v)});
    return out.Success(doc, tools::KeyValues(rows));
}

int Run(const Tool &tool, const std::string &action, const std::vector<Arg> &args, const Json &doc,
        const std::string &text, const Blames &blames = {}) {
    const auto out = tool.out();
    Reply reply;
    if (int e = RunCommand(out, action, args, &reply, blames); e >= 0) return e;
    Json d{{"ok", true}, {"action", action}};
    d.update(doc);
    return out.Success(d, text);
}

int ListInterfaces(const tools::Reporter &out) {
    Reply reply;
    if (int e = RunCommand(out, "option multichannel-interface list",
                           {{CMD_MULTICHANNEL_INTERFACE, {}}, {CIFS_ACT_LIST, {}}}, &reply);
        e >= 0)
        return e;
    Json list = Json::array();
    for (const auto &el : reply.elements())
        if (el.type == CIFS_ELEM_INTERFACE)
            list.push_back(tools::FieldString(reinterpret_cast<const char *>(el.payload.data()),
                                              el.payload.size()));
    return out.List(kInterfaceListing, std::move(list));
}

// Minutes, or CLEAR with the junction path (or ALL) to clear: --path goes with CLEAR only.
int DfsDuration(const Tool &tool, const OptParams &p, const ServerOption &row) {
    const std::string action = "option dfs-referral-cache-duration";
    const bool clear = tools::ToUpperAscii(p.value) == "CLEAR";
    if (clear && p.path.empty())
        return tool.out().Invalid(
            action, "--path", "",
            tools::Accepted(*tools::FindRule("dfs-path")) + " (required with CLEAR)");
    if (!clear && !p.path.empty())
        return tool.out().Rejected(action, "--path goes with CLEAR only, not with minutes");
    std::vector<Arg> args = SetterArgs(row, p.value);
    if (clear) args.push_back({CIFS_OPT_PATH, p.path});
    const std::string path = clear ? tools::Canonical(*tools::FindRule("dfs-path"), p.path) : "";
    return Run(tool, action, args, {{"value", clear ? "CLEAR" : p.value}, {"path", path}},
               clear ? "DFS referral cache cleared: " + path + "."
                     : "dfs-referral-cache-duration set to " + p.value + " minutes.",
               {{tools::kInvalidValue, "--path", "the junction path", p.path, clear},
                {tools::kInvalidValue, "VALUE", "the duration", p.value, !clear}});
}

void RegisterCrypto(CLI::App *opt, Tool &tool, const std::shared_ptr<OptParams> &p,
                    const ServerOption &row) {
    CLI::App *crypto = Leaf(
        tool, opt, row.name, "Switch the dumping of crypto keys, or dump one connection's",
        [&tool, p, &row] {
            if (!p->connection.empty())
                return Run(tool, "option dump-crypto-keys",
                           {{CMD_DUMP_CRYPTO_KEYS, {}}, {CIFS_OPT_CONNECTION_ID, p->connection}},
                           {{"connection", p->connection}},
                           "Crypto keys of connection " + p->connection + " dumped.",
                           {{tools::kNoSuchConnection, "--connection", "the connection ID",
                             p->connection}});
            if (p->value.empty())
                return tool.out().Rejected("option dump-crypto-keys",
                                           "give YES, NO or --connection ID");
            const std::string word = tools::Canonical(*tools::FindRule("yes-no"), p->value);
            return Run(tool, "option dump-crypto-keys", SetterArgs(row, p->value),
                       {{"option", "dump-crypto-keys"}, {"value", word}},
                       "dump-crypto-keys set to " + word + ".");
        });
    auto *cv = tools::Checked(crypto->add_option("VALUE", p->value, "YES or NO"), "yes-no");
    tools::Checked(
        crypto->add_option("--connection", p->connection, "Dump the keys of this connection")
            ->excludes(cv),
        "connection-id");
}

void RegisterCache(CLI::App *opt, Tool &tool, const std::shared_ptr<OptParams> &p,
                   const ServerOption &row) {
    tools::Checked(Leaf(tool, opt, row.name, row.help,
                        [&tool, p] {
                            return Run(
                                tool, "option cache", {{CMD_CACHE, p->value}},
                                {{"value", p->value}}, "Cache set: " + p->value + ".",
                                {{tools::kInvalidValue, "SETTING", "the setting", p->value}});
                        })
                       ->add_option("SETTING", p->value, "KIND=N")
                       ->required(),
                   "cache");
}

void RegisterInterfaces(CLI::App *opt, Tool &tool, const std::shared_ptr<OptParams> &p,
                        const ServerOption &row) {
    CLI::App *mci = Leaf(tool, opt, row.name, row.help, [&tool, p, &row] {
        const auto out = tool.out();
        if (p->verb == "list") return ListInterfaces(out);
        if (p->name.empty())
            return out.Invalid("option multichannel-interface " + p->verb, "INTERFACE", "",
                               tools::Accepted(*tools::FindRule("interface")));
        const bool add = p->verb == "add";
        return Run(tool, "option multichannel-interface " + p->verb,
                   row.args(row, "", p->name, add), {{"interface", p->name}},
                   "Interface " + p->name + (add ? " added." : " removed."),
                   {{tools::kNameTaken, "INTERFACE", "the interface", p->name},
                    {tools::kNoSuchEntry, "INTERFACE", "the interface", p->name},
                    {tools::kInvalidValue, "INTERFACE", "the interface", p->name}});
    });
    tools::Checked(mci->add_option("ACTION", p->verb, "add, remove or list")->required(),
                   "add-remove-list");
    tools::Checked(mci->add_option("INTERFACE", p->name, "Interface name"), "interface");
}

void RegisterDfs(CLI::App *opt, Tool &tool, const std::shared_ptr<OptParams> &p,
                 const ServerOption &row) {
    CLI::App *dfs = Leaf(tool, opt, row.name, row.help,
                         [&tool, p, &row] { return DfsDuration(tool, *p, row); });
    tools::Checked(dfs->add_option("VALUE", p->value, "Minutes or CLEAR")->required(),
                   "dfs-minutes");
    tools::Checked(dfs->add_option("--path", p->path, "With CLEAR: ALL or VOLUME:/junction/path"),
                   "dfs-path");
}

// The single values: a VALUE, confirmed with the value the server then stores.
void RegisterSingle(CLI::App *opt, Tool &tool, const std::shared_ptr<OptParams> &p,
                    const ServerOption &row) {
    tools::Checked(Leaf(tool, opt, row.name, row.help,
                        [&tool, p, &row] { return SetOption(tool, row, p->value); })
                       ->add_option("VALUE", p->value, "The value")
                       ->required(),
                   row.valueRule);
}

// A keyed option: KEY VALUE.
void RegisterKeyed(CLI::App *opt, Tool &tool, const std::shared_ptr<OptParams> &p,
                   const ServerOption &row) {
    CLI::App *cmd = Leaf(tool, opt, row.name, row.help, [&tool, p, &row] {
        const std::string word = tools::Canonical(client::OptionRule(row.valueRule), p->value);
        return Run(tool, std::string("option ") + row.name, row.args(row, p->name, p->value, true),
                   {{"server", p->name}, {"value", word}},
                   std::string(row.name) + " of " + p->name + " set to " + word + ".",
                   {{tools::kInvalidValue, "SERVER", "the server name", p->name}});
    });
    tools::Checked(cmd->add_option("SERVER", p->name, "Server name")->required(), row.keyRule);
    tools::Checked(cmd->add_option("VALUE", p->value, "YES or NO")->required(), row.valueRule);
}

// A set of named members: add or remove NAME (with its address).
void RegisterMembers(CLI::App *opt, Tool &tool, const std::shared_ptr<OptParams> &p,
                     const ServerOption &row) {
    CLI::App *cmd = Leaf(tool, opt, row.name, row.help, [&tool, p, &row] {
        const bool add = p->verb == "add";
        const Json member{{"name", p->name}, {"address", p->ip}};
        return Run(tool, std::string("option ") + row.name + " " + p->verb,
                   row.args(row, "", member, add), {{"name", p->name}},
                   std::string(row.name) + " " + p->name + (add ? " added." : " removed."),
                   {{tools::kNameTaken, "NAME", "the name", p->name},
                    {tools::kNoSuchEntry, "NAME", "the name", p->name},
                    {tools::kInvalidValue, "NAME", "the name", p->name}});
    });
    tools::Checked(cmd->add_option("ACTION", p->verb, "add or remove")->required(), "add-remove");
    tools::Checked(cmd->add_option("NAME", p->name, "The name")->required(), row.valueRule);
    tools::Checked(cmd->add_option("--ip", p->ip, "IPv4 address"), row.keyRule);
}

using Registrar = void (*)(CLI::App *, Tool &, const std::shared_ptr<OptParams> &,
                           const ServerOption &);

// The options whose command line is their own: a second form, a list, a path with CLEAR.
Registrar Special(std::string_view name) {
    static const std::pair<std::string_view, Registrar> rows[] = {
        {"dump-crypto-keys", RegisterCrypto},
        {"cache", RegisterCache},
        {"multichannel-interface", RegisterInterfaces},
        {"dfs-referral-cache-duration", RegisterDfs}};
    for (const auto &[option, registrar] : rows)
        if (option == name) return registrar;
    return nullptr;
}

}  // namespace

void RegisterOptions(CLI::App &app, Tool &tool) {
    auto p = std::make_shared<OptParams>();
    CLI::App *opt = app.add_subcommand("option", "Server options: set each by name, show them all");
    opt->alias("options");
    opt->require_subcommand(1);
    Leaf(tool, opt, "show", "Show every server option (the server's configuration dump)",
         [&tool] { return Show(tool); });
    Leaf(tool, opt, "status", "Show the server's status", [&tool] { return Status(tool); });

    // Every server option by its row: its own command line, or its shape's.
    for (const ServerOption &row : ServerOptions()) {
        Registrar registrar = Special(row.name);
        if (registrar == nullptr)
            registrar = row.shape == OptionShape::kSingle  ? RegisterSingle
                        : row.shape == OptionShape::kKeyed ? RegisterKeyed
                                                           : RegisterMembers;
        registrar(opt, tool, p, row);
    }

    tools::Checked(
        Leaf(tool, opt, "dump-statistics", "Have the server dump statistics: DC, FP, FH or T",
             [&tool, p] {
                 const std::string what =
                     tools::Canonical(*tools::FindRule("statistics"), p->value);
                 return Run(tool, "option dump-statistics", {{CMD_DUMP_STATISTICS, p->value}},
                            {{"value", what}}, "Statistics dump " + what + " requested.");
             })
            ->add_option("WHAT", p->value, "DC, FP, FH or T")
            ->required(),
        "statistics");

    CLI::App *qs =
        Leaf(tool, opt, "user-quota-sync", "Synchronise user quotas of a target", [&tool, p] {
            std::vector<Arg> args{{CMD_USER_QUOTA_SYNC, p->name}};
            if (!p->quotaValue.empty()) args.push_back({CIFS_OPT_QUOTA_SYNC_VALUE, p->quotaValue});
            return Run(tool, "option user-quota-sync", args, {{"target", p->name}},
                       "User quota sync of " + p->name + " requested.",
                       {{tools::kInvalidValue, "TARGET", "the target", p->name}});
        });
    tools::Checked(qs->add_option("TARGET", p->name, "Target")->required(), "quota-target");
    tools::Checked(qs->add_option("--value", p->quotaValue, "Sync value"), "quota-value");

    tools::Checked(Leaf(tool, opt, "user-quota-view", "Request the user quota view of a target",
                        [&tool, p] {
                            return Run(tool, "option user-quota-view",
                                       {{CMD_USER_QUOTA_VIEW, p->name}}, {{"target", p->name}},
                                       "User quota view of " + p->name + " requested.",
                                       {{tools::kInvalidValue, "TARGET", "the target", p->name}});
                        })
                       ->add_option("TARGET", p->name, "Target")
                       ->required(),
                   "quota-target");
}

}  // namespace share::shareadm
