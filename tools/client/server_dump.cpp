// SPDX-License-Identifier: Apache-2.0
#include "client/server_dump.h"

#include <cstring>

#include "client/text.h"
#include "common/server_formats.h"
#include "shareadmin/context.h"

namespace share::tools {
namespace {

using client::FieldString;

template <class T>
bool Read(const ReplyElement &el, T *out) {
    if (el.payload.size() < sizeof(T)) return false;
    std::memcpy(out, el.payload.data(), sizeof(T));
    return true;
}

// A virtual server or DNS entry: its record's name field and address.
template <class P, size_t N>
void AddNamed(const ReplyElement &el, char (P::*field)[N], Json &list) {
    P p;
    if (Read(el, &p))
        list.push_back({{"name", FieldString(p.*field)}, {"address", Ipv4Text(p.ipAddress)}});
}

}  // namespace

Json OptionValueJson(const StoredOption &optionRow, const std::vector<uint8_t> &payload) {
    switch (optionRow.kind) {
        case ValueKind::kU8:
        case ValueKind::kI32: {
            int32_t n = 0;
            if (optionRow.kind == ValueKind::kU8 && !payload.empty()) n = payload[0];
            if (optionRow.kind == ValueKind::kI32 && payload.size() >= 4)
                std::memcpy(&n, payload.data(), 4);
            // Words read better than codes; numeric keywords (LM compatibility) stay numbers.
            if (const char *word = KeywordFor(optionRow, n);
                word && !(word[0] >= '0' && word[0] <= '9'))
                return word;
            return n;
        }
        default:
            return FieldString(reinterpret_cast<const char *>(payload.data()), payload.size());
    }
}

Json ServerDumpJson(const std::vector<ReplyElement> &elements) {
    Json options = Json::object();
    Json caches = Json::object(), vservers = Json::array(), dns = Json::array(),
         byDefault = Json::object();
    Json interfaces = Json::array(), dfs, extra = Json::object();
    int32_t iucTimeout = -1;
    static const char *const cacheNames[] = {"", "sdircache", "dircache", "filecache"};
    for (const auto &el : elements) {
        if (const StoredOption *optionRow = FindOptionByElement(el.type)) {
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
            case CIFS_ELEM_VIRTUAL_SERVER:
                AddNamed(el, &VirtualServerParams::serverName, vservers);
                break;
            case CIFS_ELEM_DNS_ENTRY:
                AddNamed(el, &DnsEntryParams::netbiosName, dns);
                break;
            case CIFS_ELEM_SERVER_NAME: {
                ShareVolumesParams s;
                if (Read(el, &s)) byDefault[FieldString(s.serverName)] = s.shareByDefault != 0;
                break;
            }
            case CIFS_ELEM_INTERFACE:
                interfaces.push_back(FieldString(reinterpret_cast<const char *>(el.payload.data()),
                                                 el.payload.size()));
                break;
            case CIFS_ELEM_DFS_REFERRAL_CACHE: {
                DfsReferralCacheParams d;
                if (Read(el, &d))
                    dfs = {{"minutes", +d.durationMinutes},
                           {"last_clear", FieldString(d.junctionPath)}};
                break;
            }
            case CIFS_ELEM_USER_QUOTA_SYNC: {
                QuotaSyncParams q;
                if (Read(el, &q))
                    extra["last_quota_sync"] = {{"target", FieldString(q.quotaTarget)},
                                                {"value", +q.quotaSyncValue}};
                break;
            }
            case CIFS_ELEM_USER_QUOTA_VIEW:
                extra["last_quota_view"] = FieldString(
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
    return doc;
}

}  // namespace share::tools
