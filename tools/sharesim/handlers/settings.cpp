// SPDX-License-Identifier: Apache-2.0
// Server settings: virtual servers, DNS entries, multichannel interfaces, share-by-default,
// user quotas, the DFS referral cache, caches, statistics dumps, the stored options, and the
// configuration dump and status that read them back.
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "common/server_formats.h"
#include "common/text_forms.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"
#include "sharesim/handlers/common.h"
#include "sharesim/rules.h"

namespace share::sim::handlers {

using namespace share::tools;  // NOLINT: status codes and server formats

namespace {

void ParseAddress(const std::string &text, uint8_t ip[4]) {
    std::memset(ip, 0, 4);
    if (!text.empty()) inet_pton(AF_INET, text.c_str(), ip);
}

// Virtual servers and DNS entries: a record of a name field and an address, added to or removed
// from its name table.
template <class P, size_t N>
int32_t NamedChange(std::vector<NamedAddress> &list, const Request &req, uint8_t type,
                    char (P::*field)[N], size_t maxLen, bool add) {
    const auto p = OnlyRecord<P>(req, type);
    if (!p) return kMalformedRequest;
    const auto name = FieldText((*p).*field, N);
    if (const int32_t s = CheckName(name, maxLen)) return s;
    return ChangeNameTable(
        list, [&](const NamedAddress &n) { return IEquals(n.name, *name); }, add,
        NamedAddress{*name, Ipv4Text(p->ipAddress)});
}

// The dump's form of a name table: one record per entry.
template <class P, size_t N>
void AddNamedRecords(Response &out, uint8_t type, const std::vector<NamedAddress> &list,
                     char (P::*field)[N]) {
    for (const auto &n : list) {
        P p{};
        CopyText(p.*field, n.name);
        ParseAddress(n.address, p.ipAddress);
        out.AddRecord(type, p);
    }
}

void AddInterface(Response &out, const std::string &name) {
    char field[16] = {};
    CopyText(field, name);
    out.Add(CIFS_ELEM_INTERFACE, {reinterpret_cast<const uint8_t *>(field), sizeof field});
}

bool ValidInterfaceName(std::string_view name) {
    return !name.empty() && name.size() <= 15 && InterfaceNameForm(name);
}

}  // namespace

int32_t VirtualServer(Context &ctx, const Request &req, Response &) {
    return NamedChange(ctx.state.virtualServers, req, CIFS_ELEM_VIRTUAL_SERVER,
                       &VirtualServerParams::serverName, 255,
                       req.function == CIFS_FN_VIRTUAL_SERVER_ADD);
}

int32_t DnsEntry(Context &ctx, const Request &req, Response &) {
    return NamedChange(ctx.state.dnsEntries, req, CIFS_ELEM_DNS_ENTRY, &DnsEntryParams::netbiosName,
                       15, req.function == CIFS_FN_DNS_ENTRY_ADD);
}

int32_t Interface(Context &ctx, const Request &req, Response &out) {
    auto &list = ctx.state.interfaces;
    if (req.function == CIFS_FN_INTERFACE_LIST) {
        if (!req.elements.empty()) return kMalformedRequest;
        for (const auto &name : list) AddInterface(out, name);
        return kOk;
    }
    const auto name = OnlyText(req, CIFS_ELEM_INTERFACE, 16);
    if (!name) return kMalformedRequest;
    if (!ValidInterfaceName(*name)) return kInvalidValue;
    return ChangeNameTable(
        list, [&](const std::string &i) { return i == *name; },
        req.function == CIFS_FN_INTERFACE_ADD, *name);
}

int32_t ShareVolumesByDefault(Context &ctx, const Request &req, Response &) {
    const auto server = Payload(req, 0, CIFS_ELEM_SERVER_NAME, 0);
    const auto value = Payload(req, 1, CIFS_ELEM_SHARE_BY_DEFAULT, 4);
    if (!server || !value || req.elements.size() != 2) return kMalformedRequest;
    const auto name = TextIn(*server);
    if (const int32_t s = CheckName(name, 255)) return s;
    const auto yes = Record<int32_t>(*value);
    if (!Switch(yes)) return kInvalidValue;
    ctx.state.shareByDefault[*name] = yes != 0;
    return kOk;
}

int32_t QuotaSyncRequest(Context &ctx, const Request &req, Response &) {
    const auto p = OnlyRecord<QuotaSyncParams>(req, CIFS_ELEM_USER_QUOTA_SYNC);
    if (!p) return kMalformedRequest;
    const auto target = FieldText(p->quotaTarget, sizeof p->quotaTarget);
    if (const int32_t s = CheckName(target, 64)) return s;
    if (p->quotaSyncValue != -1 && p->quotaSyncValue < 1) return kInvalidValue;
    ctx.state.lastQuotaSync = QuotaSync{*target, p->quotaSyncValue};
    return kOk;
}

int32_t QuotaViewRequest(Context &ctx, const Request &req, Response &) {
    const auto target = OnlyText(req, CIFS_ELEM_USER_QUOTA_VIEW, 65);
    if (const int32_t s = CheckName(target, 64)) return s;
    ctx.state.lastQuotaView = *target;
    return kOk;
}

int32_t DfsReferralCache(Context &ctx, const Request &req, Response &) {
    const auto p = OnlyRecord<DfsReferralCacheParams>(req, CIFS_ELEM_DFS_REFERRAL_CACHE);
    if (!p) return kMalformedRequest;
    const auto path = FieldText(p->junctionPath, sizeof p->junctionPath);
    if (!path) return kMalformedRequest;
    if (p->durationMinutes == -1) {
        if (ToUpper(*path) != "ALL") {
            const auto vp = SplitVolumePath(*path);
            if (!vp || !NormalisePath(vp->path) || vp->path.size() < 2) return kInvalidValue;
            if (!ctx.state.FindVolume(vp->volume)) return kNoSuchVolume;
        }
        ctx.state.dfsLastClear = *path;
        return kOk;
    }
    if (p->durationMinutes < 0 || p->durationMinutes > 525600) return kInvalidValue;
    ctx.state.dfsReferralMinutes = p->durationMinutes;
    return kOk;
}

int32_t Cache(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_CACHE, sizeof(CacheParams)}})) return kMalformedRequest;
    const auto p = Record<CacheParams>(req.elements[0].payload);
    if (p.cacheKind < 1 || p.cacheKind > 3 || p.cacheValue < 1) return kInvalidValue;
    ctx.state.caches[static_cast<size_t>(p.cacheKind - 1)] = p.cacheValue;
    return kOk;
}

int32_t DumpStatistics(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_DUMP_STATISTICS, 4}})) return kMalformedRequest;
    const auto what = Record<int32_t>(req.elements[0].payload);
    if (what < 0 || what > 3) return kInvalidValue;
    ctx.state.lastStatisticsDump = what;
    return kOk;
}

// The configuration dump: every stored setting, each as the element that sets it.
int32_t ConfigurationDump(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    const State &st = ctx.state;
    for (const auto &optionRow : OptionTable()) {
        const OptionValue &v = st.options.at(optionRow.name);
        std::vector<uint8_t> payload;
        switch (optionRow.kind) {
            case ValueKind::kU8:
                payload.push_back(static_cast<uint8_t>(v.number));
                break;
            case ValueKind::kI32:
                Append(payload, &v.number, sizeof v.number);
                break;
            case ValueKind::kText:
                Append(payload, v.text.c_str(), v.text.size() + 1);
                break;
            case ValueKind::kField:
                payload.assign(optionRow.width, 0);
                std::memcpy(payload.data(), v.text.data(),
                            std::min<size_t>(v.text.size(), optionRow.width - 1));
                break;
        }
        out.Add(optionRow.element, payload);
    }
    for (int32_t kind = 1; kind <= 3; ++kind) {
        const CacheParams c{st.caches[static_cast<size_t>(kind - 1)], kind};
        out.AddRecord(CIFS_ELEM_CACHE, c);
    }
    out.Add(CIFS_ELEM_INVALID_USER_TIMEOUT, Bytes(st.iucTimeoutMinutes));
    AddNamedRecords(out, CIFS_ELEM_VIRTUAL_SERVER, st.virtualServers,
                    &VirtualServerParams::serverName);
    AddNamedRecords(out, CIFS_ELEM_DNS_ENTRY, st.dnsEntries, &DnsEntryParams::netbiosName);
    for (const auto &[server, yes] : st.shareByDefault) {
        ShareVolumesParams p{};
        CopyText(p.serverName, server);
        p.shareByDefault = yes ? 1 : 0;
        out.AddRecord(CIFS_ELEM_SERVER_NAME, p);
    }
    for (const auto &name : st.interfaces) AddInterface(out, name);
    DfsReferralCacheParams dfs{};
    dfs.durationMinutes = st.dfsReferralMinutes;
    CopyText(dfs.junctionPath, st.dfsLastClear);
    out.AddRecord(CIFS_ELEM_DFS_REFERRAL_CACHE, dfs);
    if (st.lastQuotaSync) {
        QuotaSyncParams q{};
        CopyText(q.quotaTarget, st.lastQuotaSync->target);
        q.quotaSyncValue = st.lastQuotaSync->value;
        out.AddRecord(CIFS_ELEM_USER_QUOTA_SYNC, q);
    }
    if (st.lastQuotaView) {
        char target[65] = {};
        CopyText(target, *st.lastQuotaView);
        out.Add(CIFS_ELEM_USER_QUOTA_VIEW,
                {reinterpret_cast<const uint8_t *>(target), sizeof target});
    }
    if (st.lastStatisticsDump) out.Add(CIFS_ELEM_DUMP_STATISTICS, Bytes(*st.lastStatisticsDump));
    return kOk;
}

// The server status: one text of key=value pairs describing the running server.
int32_t ServerStatus(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    const State &st = ctx.state;
    size_t files = 0;
    for (const auto &c : st.connections) files += c.files.size();
    const std::string text =
        "server=sharesim uptime=" + std::to_string(ctx.now - ctx.stats.startedAt) +
        " requests=" + std::to_string(ctx.stats.requests) +
        " refused=" + std::to_string(ctx.stats.refused) +
        " volumes=" + std::to_string(st.volumes.size()) +
        " shares=" + std::to_string(st.shares.size()) +
        " connections=" + std::to_string(st.connections.size()) +
        " open_files=" + std::to_string(files);
    out.AddText(CIFS_ELEM_SERVER_STATUS, text);
    return kOk;
}

// Every row of the option table: one element of the row's type and width.
int32_t SetOption(Context &ctx, const Request &req, Response &) {
    const StoredOption *optionRow = FindOptionByFunction(req.function);
    const auto p = Payload(req, 0, optionRow->element, 0);
    if (!p || req.elements.size() != 1) return kMalformedRequest;
    OptionValue v;
    switch (optionRow->kind) {
        case ValueKind::kU8:
            if (p->size() != 1) return kMalformedRequest;
            v.number = (*p)[0];
            break;
        case ValueKind::kI32:
            if (p->size() != 4) return kMalformedRequest;
            v.number = Record<int32_t>(*p);
            break;
        case ValueKind::kText:
        case ValueKind::kField: {
            if (p->empty() || p->size() > optionRow->width ||
                (optionRow->kind == ValueKind::kField && p->size() != optionRow->width))
                return kMalformedRequest;
            const auto text = TextIn(*p);
            if (!text) return kMalformedRequest;
            v.text = *text;
            break;
        }
    }
    if (!ValidOptionValue(*optionRow, v)) return kInvalidValue;
    ctx.state.options[optionRow->name] = v;
    return kOk;
}

}  // namespace share::sim::handlers
