// shareadm option ...: every server option command by a readable name, and the server's
// configuration dump and status to read them back.
#include <arpa/inet.h>

#include <climits>
#include <cstring>

#include "common/server_formats.h"
#include "shareadm/listings.h"
#include "shareadm/records.h"
#include "shareadm/tool.h"
#include "shareadmin/context.h"

namespace share::shareadm {
namespace {

using tools::OptionSpec;
using tools::ValueKind;

struct OptParams {
    std::string value;
    std::string verb;
    std::string name;
    std::string ip;
    std::string quotaValue;
    std::string path;
    std::string connection;
};

std::string IpText(const uint8_t ip[4]) {
    if (ip[0] == 0 && ip[1] == 0 && ip[2] == 0 && ip[3] == 0) return "";
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, ip, text, sizeof text);
    return text;
}

template <class T>
bool Read(const ReplyElement &el, T *out) {
    if (el.payload.size() < sizeof(T)) return false;
    std::memcpy(out, el.payload.data(), sizeof(T));
    return true;
}

Json OptionValueJson(const OptionSpec &optionRow, const std::vector<uint8_t> &payload) {
    switch (optionRow.kind) {
        case ValueKind::kU8:
        case ValueKind::kI32: {
            int32_t n = 0;
            if (optionRow.kind == ValueKind::kU8 && !payload.empty()) n = payload[0];
            if (optionRow.kind == ValueKind::kI32 && payload.size() >= 4)
                std::memcpy(&n, payload.data(), 4);
            // Words read better than codes; numeric keywords (LM compatibility) stay numbers.
            if (const char *word = tools::KeywordFor(optionRow, n);
                word && !(word[0] >= '0' && word[0] <= '9'))
                return word;
            return n;
        }
        default:
            return tools::FieldString(reinterpret_cast<const char *>(payload.data()),
                                      payload.size());
    }
}

std::string Render(const Json &j) {
    return j.is_string() ? j.get<std::string>() : j.dump();
}

int Show(const Tool &tool) {
    const auto out = tool.out();
    Reply reply;
    if (int e = RunCommand(out, "option show", {{CMD_SERVER_REQUEST_4, {}}}, &reply); e >= 0)
        return e;
    Json options = Json::object();
    Json caches = Json::object(), vservers = Json::array(), dns = Json::array(),
         byDefault = Json::object();
    Json interfaces = Json::array(), dfs, extra = Json::object();
    int32_t iucTimeout = -1;
    static const char *const cacheNames[] = {"", "sdircache", "dircache", "filecache"};
    for (const auto &el : reply.elements()) {
        if (const OptionSpec *optionRow = tools::FindOptionByElement(el.type)) {
            options[optionRow->name] = OptionValueJson(*optionRow, el.payload);
            continue;
        }
        switch (el.type) {
            case CIFS_ELEM_CACHE: {
                CacheParams c;
                if (Read(el, &c) && c.cacheKind >= 1 && c.cacheKind <= 3)
                    caches[cacheNames[c.cacheKind]] = +c.cacheValue;
                break;
            }
            case CIFS_ELEM_INVALID_USER_TIMEOUT:
                Read(el, &iucTimeout);
                break;
            case CIFS_ELEM_VIRTUAL_SERVER: {
                VirtualServerParams v;
                if (Read(el, &v))
                    vservers.push_back({{"name", tools::FieldString(v.serverName)},
                                        {"address", IpText(v.ipAddress)}});
                break;
            }
            case CIFS_ELEM_DNS_ENTRY: {
                DnsEntryParams d;
                if (Read(el, &d))
                    dns.push_back({{"name", tools::FieldString(d.netbiosName)},
                                   {"address", IpText(d.ipAddress)}});
                break;
            }
            case CIFS_ELEM_SERVER_NAME: {
                ShareVolumesParams s;
                if (Read(el, &s))
                    byDefault[tools::FieldString(s.serverName)] = s.shareByDefault != 0;
                break;
            }
            case CIFS_ELEM_INTERFACE:
                interfaces.push_back(tools::FieldString(
                    reinterpret_cast<const char *>(el.payload.data()), el.payload.size()));
                break;
            case CIFS_ELEM_DFS_REFERRAL_CACHE: {
                DfsReferralCacheParams d;
                if (Read(el, &d))
                    dfs = {{"minutes", +d.durationMinutes},
                           {"last_clear", tools::FieldString(d.junctionPath)}};
                break;
            }
            case CIFS_ELEM_USER_QUOTA_SYNC: {
                QuotaSyncParams q;
                if (Read(el, &q))
                    extra["last_quota_sync"] = {{"target", tools::FieldString(q.quotaTarget)},
                                                {"value", +q.quotaSyncValue}};
                break;
            }
            case CIFS_ELEM_USER_QUOTA_VIEW:
                extra["last_quota_view"] = tools::FieldString(
                    reinterpret_cast<const char *>(el.payload.data()), el.payload.size());
                break;
            case CIFS_ELEM_DUMP_STATISTICS: {
                int32_t s;
                static const char *const kinds[] = {"DC", "FP", "FH", "T"};
                if (Read(el, &s) && s >= 0 && s <= 3) extra["last_statistics_dump"] = kinds[s];
                break;
            }
            default:
                break;
        }
    }
    Json doc{{"options", options},
             {"caches", caches},
             {"invalid_user_timeout", iucTimeout},
             {"virtual_servers", vservers},
             {"dns_entries", dns},
             {"share_volumes_by_default", byDefault},
             {"multichannel_interfaces", interfaces},
             {"dfs_referral_cache", dfs}};
    doc.update(extra);

    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto &[k, v] : options.items()) rows.push_back({k, Render(v)});
    std::string cacheText;
    for (const auto &[k, v] : caches.items())
        cacheText += (cacheText.empty() ? "" : " ") + tools::ToUpperAscii(k) + "=" + v.dump();
    rows.push_back({"cache", cacheText});
    rows.push_back({"invalid-user-timeout", std::to_string(iucTimeout) + " minutes"});
    auto named = [](const Json &list) {
        std::string t;
        for (const auto &n : list)
            t += (t.empty() ? "" : ", ") + n["name"].get<std::string>() +
                 (n["address"].get<std::string>().empty()
                      ? ""
                      : " (" + n["address"].get<std::string>() + ")");
        return t.empty() ? "-" : t;
    };
    rows.push_back({"virtual-servers", named(vservers)});
    rows.push_back({"dns-entries", named(dns)});
    std::string sbd;
    for (const auto &[k, v] : byDefault.items())
        sbd += (sbd.empty() ? "" : ", ") + k + "=" + (v.get<bool>() ? "YES" : "NO");
    rows.push_back({"share-volumes-by-default", sbd.empty() ? "-" : sbd});
    std::string ifs;
    for (const auto &i : interfaces) ifs += (ifs.empty() ? "" : ", ") + i.get<std::string>();
    rows.push_back({"multichannel-interfaces", ifs.empty() ? "-" : ifs});
    if (!dfs.is_null())
        rows.push_back({"dfs-referral-cache-duration",
                        std::to_string(dfs["minutes"].get<int>()) + " minutes"});
    if (extra.contains("last_quota_sync")) {
        const auto &q = extra["last_quota_sync"];
        const int value = q["value"].get<int>();
        rows.push_back({"last-user-quota-sync",
                        q["target"].get<std::string>() +
                            (value < 0 ? "" : " (value " + std::to_string(value) + ")")});
    }
    if (extra.contains("last_quota_view"))
        rows.push_back({"last-user-quota-view", Render(extra["last_quota_view"])});
    if (extra.contains("last_statistics_dump"))
        rows.push_back({"last-statistics-dump", Render(extra["last_statistics_dump"])});
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
    for (const auto &[k, v] : doc.items()) rows.push_back({k, Render(v)});
    return out.Success(doc, tools::KeyValues(rows));
}

int Run(const Tool &tool, const std::string &action, const std::vector<Arg> &args, const Json &doc,
        const std::string &text) {
    const auto out = tool.out();
    Reply reply;
    if (int e = RunCommand(out, action, args, &reply); e >= 0) return e;
    Json d{{"ok", true}, {"action", action}};
    d.update(doc);
    return out.Success(d, text);
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

    // The single-value options, from the server formats' option table.
    for (const OptionSpec &optionRow : tools::OptionTable()) {
        if (optionRow.command == CMD_DUMP_CRYPTO_KEYS) continue;  // has a second form, below
        const std::string name = optionRow.name;
        const int32_t code = optionRow.command;
        Leaf(tool, opt, name, std::string("Set ") + optionRow.help,
             [&tool, p, name, code] {
                 return Run(tool, "option " + name, {{code, p->value}},
                            {{"option", name}, {"value", p->value}},
                            name + " set to " + p->value + ".");
             })
            ->add_option("VALUE", p->value, optionRow.help)
            ->required();
    }

    CLI::App *crypto = Leaf(
        tool, opt, "dump-crypto-keys",
        "Switch the dumping of crypto keys, or dump one connection's", [&tool, p] {
            if (!p->connection.empty())
                return Run(tool, "option dump-crypto-keys",
                           {{CMD_DUMP_CRYPTO_KEYS, {}}, {CIFS_OPT_CONNECTION_ID, p->connection}},
                           {{"connection", p->connection}},
                           "Crypto keys of connection " + p->connection + " dumped.");
            if (p->value.empty())
                return tool.out().Rejected("option dump-crypto-keys",
                                           "give YES, NO or --connection ID");
            return Run(tool, "option dump-crypto-keys",
                       {{CMD_DUMP_CRYPTO_KEYS, {}}, {CIFS_OPT_CRYPTO_KEYS_SWITCH, p->value}},
                       {{"option", "dump-crypto-keys"}, {"value", p->value}},
                       "dump-crypto-keys set to " + p->value + ".");
        });
    auto *cv = crypto->add_option("VALUE", p->value, "YES or NO");
    crypto->add_option("--connection", p->connection, "Dump the keys of this connection")
        ->excludes(cv);

    Leaf(tool, opt, "dump-statistics", "Have the server dump statistics: DC, FP, FH or T",
         [&tool, p] {
             return Run(tool, "option dump-statistics", {{CMD_DUMP_STATISTICS, p->value}},
                        {{"value", p->value}}, "Statistics dump " + p->value + " requested.");
         })
        ->add_option("WHAT", p->value, "DC, FP, FH or T")
        ->required();

    Leaf(tool, opt, "cache", "Set a cache size: SDIRCACHE=N, DIRCACHE=N or FILECACHE=N",
         [&tool, p] {
             return Run(tool, "option cache", {{CMD_CACHE, p->value}}, {{"value", p->value}},
                        "Cache set: " + p->value + ".");
         })
        ->add_option("SETTING", p->value, "KIND=N")
        ->required();

    struct NameTable {
        const char *name;
        int32_t option;
        const char *help;
    };
    static const NameTable tables[] = {
        {"virtual-server", CIFS_OPT_SERVER, "Add or remove a virtual server name"},
        {"dns-entry", CIFS_OPT_DNS_ENTRY, "Add or remove a DNS entry"},
    };
    for (const auto &t : tables) {
        CLI::App *cmd = Leaf(tool, opt, t.name, t.help, [&tool, p, &t] {
            const std::string action = std::string("option ") + t.name + " " + p->verb;
            std::vector<Arg> args{{p->verb == "add" ? CMD_ADD : CMD_REMOVE, {}},
                                  {t.option, p->name}};
            if (!p->ip.empty()) args.push_back({CIFS_OPT_IP_ADDRESS, p->ip});
            return Run(
                tool, action, args, {{"name", p->name}},
                std::string(t.name) + " " + p->name + (p->verb == "add" ? " added." : " removed."));
        });
        cmd->add_option("ACTION", p->verb, "add or remove")
            ->required()
            ->check(CLI::IsMember({"add", "remove"}));
        cmd->add_option("NAME", p->name, "The name")->required();
        cmd->add_option("--ip", p->ip, "IPv4 address");
    }

    CLI::App *sbd = Leaf(
        tool, opt, "share-volumes-by-default", "Share a server's volumes by default: YES or NO",
        [&tool, p] {
            return Run(
                tool, "option share-volumes-by-default",
                {{CMD_SHARE_VOLUMES_BY_DEFAULT, p->name}, {CIFS_OPT_SHARE_BY_DEFAULT, p->value}},
                {{"server", p->name}, {"value", p->value}},
                "share-volumes-by-default of " + p->name + " set to " + p->value + ".");
        });
    sbd->add_option("SERVER", p->name, "Server name")->required();
    sbd->add_option("VALUE", p->value, "YES or NO")->required();

    CLI::App *qs =
        Leaf(tool, opt, "user-quota-sync", "Synchronise user quotas of a target", [&tool, p] {
            std::vector<Arg> args{{CMD_USER_QUOTA_SYNC, p->name}};
            if (!p->quotaValue.empty()) args.push_back({CIFS_OPT_QUOTA_SYNC_VALUE, p->quotaValue});
            return Run(tool, "option user-quota-sync", args, {{"target", p->name}},
                       "User quota sync of " + p->name + " requested.");
        });
    qs->add_option("TARGET", p->name, "Target (up to 64 characters)")->required();
    qs->add_option("--value", p->quotaValue, "A number of at least 1");

    Leaf(tool, opt, "user-quota-view", "Request the user quota view of a target",
         [&tool, p] {
             return Run(tool, "option user-quota-view", {{CMD_USER_QUOTA_VIEW, p->name}},
                        {{"target", p->name}}, "User quota view of " + p->name + " requested.");
         })
        ->add_option("TARGET", p->name, "Target (up to 64 characters)")
        ->required();

    CLI::App *mci = Leaf(
        tool, opt, "multichannel-interface", "Add, remove or list multichannel interfaces",
        [&tool, p] {
            const auto out = tool.out();
            if (p->verb == "list") {
                Reply reply;
                if (int e =
                        RunCommand(out, "option multichannel-interface list",
                                   {{CMD_MULTICHANNEL_INTERFACE, {}}, {CIFS_ACT_LIST, {}}}, &reply);
                    e >= 0)
                    return e;
                Json list = Json::array();
                for (const auto &el : reply.elements())
                    if (el.type == CIFS_ELEM_INTERFACE)
                        list.push_back(tools::FieldString(
                            reinterpret_cast<const char *>(el.payload.data()), el.payload.size()));
                return out.List(kInterfaceListing, std::move(list));
            }
            if (p->name.empty())
                return out.Rejected("option multichannel-interface", "give the interface name");
            const bool add = p->verb == "add";
            return Run(tool, "option multichannel-interface " + p->verb,
                       {{CMD_MULTICHANNEL_INTERFACE, {}},
                        {add ? CIFS_ACT_ADD : CIFS_ACT_REMOVE, {}},
                        {CIFS_OPT_INTERFACE, p->name}},
                       {{"interface", p->name}},
                       "Interface " + p->name + (add ? " added." : " removed."));
        });
    mci->add_option("ACTION", p->verb, "add, remove or list")
        ->required()
        ->check(CLI::IsMember({"add", "remove", "list"}));
    mci->add_option("INTERFACE", p->name, "Interface name (up to 15 characters)");

    CLI::App *dfs = Leaf(tool, opt, "dfs-referral-cache-duration",
                         "Set the DFS referral cache duration, or CLEAR it", [&tool, p] {
                             std::vector<Arg> args{{CMD_DFS_REFERRAL_CACHE_DURATION, p->value}};
                             if (!p->path.empty()) args.push_back({CIFS_OPT_PATH, p->path});
                             return Run(tool, "option dfs-referral-cache-duration", args,
                                        {{"value", p->value}, {"path", p->path}},
                                        "dfs-referral-cache-duration: " + p->value +
                                            (p->path.empty() ? "" : " " + p->path) + ".");
                         });
    dfs->add_option("VALUE", p->value, "Minutes (0 to 525600) or CLEAR")->required();
    dfs->add_option("--path", p->path, "With CLEAR: ALL or VOLUME:/junction/path");
}

}  // namespace share::shareadm
