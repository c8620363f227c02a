// SPDX-License-Identifier: Apache-2.0
#include "client/server_options.h"

#include <algorithm>

#include "client/text.h"
#include "client/value_rules.h"
#include "shareadmin/codes.h"

namespace share::client {
namespace {

using tools::StoredOption;

Json SortedByName(Json list) {
    std::sort(list.begin(), list.end(), [](const Json &a, const Json &b) {
        return ToUpperAscii(MemberName(a)) < ToUpperAscii(MemberName(b));
    });
    return list;
}

std::string Joined(const std::vector<std::string> &parts, const char *separator, const char *none) {
    std::string text;
    for (const auto &p : parts) text += (text.empty() ? "" : separator) + p;
    return text.empty() ? none : text;
}

// A value as its setter takes it. A value no setter word names (read proxy off) says what the
// setter does take instead.
std::string ShowSingle(const ServerOption &row, const Json &value) {
    const std::string text = ValueText(value);
    const ValueRule *rule = FindRule(row.name);
    if (rule == nullptr || Accepts(*rule, text)) return text;
    if (rule->words.size() == 1) return "off (the setter takes " + rule->words[0] + " only)";
    return text + " (the setter takes " + Accepted(*rule) + ")";
}

std::string ShowKeyed(const ServerOption &row, const Json &value) {
    std::vector<std::string> parts;
    for (const auto &[k, v] : value.items())
        parts.push_back(row.keys.empty() ? k + "=" + ValueText(v)
                                         : ToUpperAscii(k) + "=" + v.dump());
    // Cache sizes read as the setter's words, one space apart; servers as a list.
    return row.keys.empty() ? Joined(parts, ", ", "-") : Joined(parts, " ", "");
}

std::string ShowSet(const ServerOption &, const Json &value) {
    std::vector<std::string> parts;
    for (const auto &m : value) {
        const std::string address = m.is_object() ? m.value("address", "") : "";
        parts.push_back(MemberName(m) + (address.empty() ? "" : " (" + address + ")"));
    }
    return Joined(parts, ", ", "-");
}

std::vector<Arg> SingleArgs(const ServerOption &row, const std::string &, const Json &value, bool) {
    const std::string text = ValueText(value);
    if (row.stored->command == CMD_DUMP_CRYPTO_KEYS)  // the switch form of the command
        return {{CMD_DUMP_CRYPTO_KEYS, {}}, {CIFS_OPT_CRYPTO_KEYS_SWITCH, text}};
    return {{row.stored->command, text}};
}

// virtual-server and dns-entry: a name and, when adding, the address (an empty one left out).
template <int32_t kOption>
std::vector<Arg> NamedMemberArgs(const ServerOption &, const std::string &, const Json &m,
                                 bool add) {
    std::vector<Arg> args{{add ? CMD_ADD : CMD_REMOVE, {}}, {kOption, MemberName(m)}};
    if (add && !m.value("address", "").empty())
        args.push_back({CIFS_OPT_IP_ADDRESS, m["address"].get<std::string>()});
    return args;
}

template <const char *kDumpKey>
Json ReadMembers(const ServerOption &, const Json &dump) {
    return SortedByName(dump.contains(kDumpKey) ? dump[kDumpKey] : Json::array());
}

constexpr char kVirtualServers[] = "virtual_servers";
constexpr char kDnsEntries[] = "dns_entries";
constexpr char kInterfaces[] = "multichannel_interfaces";

std::vector<ServerOption> BuildTable() {
    std::vector<ServerOption> rows;
    for (const StoredOption &stored : tools::OptionTable()) {
        const bool crypto = stored.command == CMD_DUMP_CRYPTO_KEYS;
        rows.push_back({stored.name,
                        OptionShape::kSingle,
                        &stored,
                        crypto ? "yes-no" : stored.name,
                        nullptr,
                        {},
                        ValueType::kStringOrInteger,
                        false,
                        nullptr,
                        std::string("Set ") + stored.help,
                        [](const ServerOption &row, const Json &dump) {
                            const Json &options = dump["options"];
                            return options.contains(row.name) ? options[row.name] : Json();
                        },
                        SingleArgs,
                        ShowSingle});
    }
    rows.push_back(
        {"cache",
         OptionShape::kKeyed,
         nullptr,
         "cache",
         nullptr,
         {"sdircache", "dircache", "filecache"},
         ValueType::kInteger,
         true,
         "the size",
         "Set a cache size: SDIRCACHE=N, DIRCACHE=N or FILECACHE=N",
         [](const ServerOption &row, const Json &dump) {
             Json caches = Json::object();
             for (const auto &kind : row.keys)
                 if (dump["caches"].contains(kind)) caches[kind] = dump["caches"][kind];
             return caches;
         },
         [](const ServerOption &, const std::string &kind, const Json &size, bool) {
             return std::vector<Arg>{{CMD_CACHE, ToUpperAscii(kind) + "=" + ValueText(size)}};
         },
         ShowKeyed});
    rows.push_back(
        {"dfs-referral-cache-duration",
         OptionShape::kSingle,
         nullptr,
         "dfs-minutes",
         nullptr,
         {},
         ValueType::kInteger,
         true,
         "the duration",
         "Set the DFS referral cache duration, or CLEAR it",
         [](const ServerOption &, const Json &dump) {
             const Json &dfs = dump["dfs_referral_cache"];
             return dfs.is_object() ? dfs["minutes"] : Json();
         },
         [](const ServerOption &, const std::string &, const Json &minutes, bool) {
             return std::vector<Arg>{{CMD_DFS_REFERRAL_CACHE_DURATION, ValueText(minutes)}};
         },
         ShowSingle});
    rows.push_back({"share-volumes-by-default",
                    OptionShape::kKeyed,
                    nullptr,
                    "yes-no",
                    "server-name",
                    {},
                    ValueType::kString,
                    false,
                    "the value",
                    "Share a server's volumes by default: YES or NO",
                    [](const ServerOption &, const Json &dump) {
                        std::vector<std::string> servers;
                        for (const auto &[server, on] : dump["share_volumes_by_default"].items())
                            servers.push_back(server);
                        std::sort(servers.begin(), servers.end());
                        Json byDefault = Json::object();
                        for (const auto &s : servers)
                            byDefault[s] =
                                dump["share_volumes_by_default"][s].get<bool>() ? "YES" : "NO";
                        return byDefault;
                    },
                    [](const ServerOption &, const std::string &server, const Json &value, bool) {
                        return std::vector<Arg>{{CMD_SHARE_VOLUMES_BY_DEFAULT, server},
                                                {CIFS_OPT_SHARE_BY_DEFAULT, ValueText(value)}};
                    },
                    ShowKeyed});
    rows.push_back({"virtual-server",
                    OptionShape::kSet,
                    nullptr,
                    "virtual-server-name",
                    "ipv4",
                    {},
                    ValueType::kNamed,
                    false,
                    "the entry",
                    "Add or remove a virtual server name",
                    ReadMembers<kVirtualServers>,
                    NamedMemberArgs<CIFS_OPT_SERVER>,
                    ShowSet});
    rows.push_back({"dns-entry",
                    OptionShape::kSet,
                    nullptr,
                    "dns-entry-name",
                    "ipv4",
                    {},
                    ValueType::kNamed,
                    false,
                    "the entry",
                    "Add or remove a DNS entry",
                    ReadMembers<kDnsEntries>,
                    NamedMemberArgs<CIFS_OPT_DNS_ENTRY>,
                    ShowSet});
    rows.push_back({"multichannel-interface",
                    OptionShape::kSet,
                    nullptr,
                    "interface",
                    nullptr,
                    {},
                    ValueType::kString,
                    false,
                    "the entry",
                    "Add, remove or list multichannel interfaces",
                    ReadMembers<kInterfaces>,
                    [](const ServerOption &, const std::string &, const Json &name, bool add) {
                        return std::vector<Arg>{{CMD_MULTICHANNEL_INTERFACE, {}},
                                                {add ? CIFS_ACT_ADD : CIFS_ACT_REMOVE, {}},
                                                {CIFS_OPT_INTERFACE, name.get<std::string>()}};
                    },
                    ShowSet});
    return rows;
}

}  // namespace

std::span<const ServerOption> ServerOptions() {
    static const std::vector<ServerOption> rows = BuildTable();
    return rows;
}

const ServerOption *FindServerOption(std::string_view name) {
    for (const ServerOption &row : ServerOptions())
        if (name == row.name) return &row;
    return nullptr;
}

std::string ValueText(const Json &value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string MemberName(const Json &member) {
    return member.is_object() ? member["name"].get<std::string>() : member.get<std::string>();
}

std::vector<Arg> SetterArgs(const ServerOption &row, const Json &value) {
    return row.args(row, "", value, true);
}

}  // namespace share::client
