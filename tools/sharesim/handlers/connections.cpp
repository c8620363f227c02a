// SPDX-License-Identifier: Apache-2.0
// Client connections: count, lists, details, mapped shares, crypto key dumps and clearing idle
// ones; the connection record, which the open-file lists use too.
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/server_formats.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"
#include "sharesim/handlers/common.h"

namespace share::sim::handlers {

using namespace share::tools;  // NOLINT: status codes and server formats

std::vector<uint8_t> ConnectionBytes(const Context &ctx, const Connection &c, RecordKind kind,
                                     const std::vector<const OpenFile *> &files) {
    ConnectionRecord r{};
    r.connectionId = c.id;
    SetConnFlags(r, c.flags);
    SetConnTotalFiles(r, static_cast<uint32_t>(c.files.size()));
    SetConnMappedShares(r, static_cast<uint32_t>(c.mapped.size()));
    r.value12 = static_cast<uint64_t>(c.loginAt);
    CopyText(r.text20, c.workstation);
    CopyText(r.text36, c.user);
    CopyText(r.text292, c.address);
    r.value326 =
        static_cast<uint32_t>(std::clamp<int64_t>(ctx.now - c.lastActivity, 0, UINT32_MAX));
    r.value330 = c.bytesRead;
    r.value338 = c.bytesWritten;
    CopyText(r.text354, c.dialect);
    CopyText(r.text386, c.auth);
    std::vector<uint8_t> variable;
    if (kind == RecordKind::kDetails) {
        for (const auto &dn : c.secEquiv)
            variable.insert(variable.end(), dn.c_str(), dn.c_str() + dn.size() + 1);
        r.secEquivCount = static_cast<uint32_t>(c.secEquiv.size());
        r.secEquivLength = static_cast<uint32_t>(variable.size());
    }
    if (kind != RecordKind::kList) {
        r.openFileCount = static_cast<uint32_t>(files.size());
        for (const OpenFile *f : files) {
            const uint32_t head[2] = {f->id, f->access};
            const auto *h = reinterpret_cast<const uint8_t *>(head);
            variable.insert(variable.end(), h, h + sizeof head);
            const std::string name = f->FullPath();
            variable.insert(variable.end(), name.c_str(), name.c_str() + name.size() + 1);
        }
    }
    // Sized once and filled in place (inserting after the record trips GCC 12's bounds warning
    // at -O3).
    std::vector<uint8_t> out(sizeof r + variable.size());
    std::memcpy(out.data(), &r, sizeof r);
    if (!variable.empty()) std::memcpy(out.data() + sizeof r, variable.data(), variable.size());
    return out;
}

std::vector<const OpenFile *> AllFiles(const Connection &c) {
    std::vector<const OpenFile *> out;
    for (const auto &f : c.files) out.push_back(&f);
    return out;
}

int32_t ConnectionOf(Context &ctx, const Request &req, Connection **out) {
    const auto p = Payload(req, 0, CIFS_ELEM_CONNECTION, 2);
    if (!p || req.elements.size() != 1) return kMalformedRequest;
    *out = ctx.state.FindConnection(Record<uint16_t>(*p));
    return *out ? kOk : kNoSuchConnection;
}

int32_t ConnectionCount(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    const auto n = static_cast<int32_t>(ctx.state.connections.size());
    if (n > 0) out.Add(CIFS_ELEM_CONNECTION, Bytes(n));
    return kOk;
}

// All connections, those with open files, or the null sessions.
int32_t ConnectionList(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    for (const auto &c : ctx.state.connections) {
        if (req.function == CIFS_FN_CONNECTION_LIST_8 && c.files.empty()) continue;
        if (req.function == CIFS_FN_CONNECTION_LIST_9 && !(c.flags & kConnFlagNullSession))
            continue;
        out.Add(CIFS_ELEM_CONNECTION, ConnectionBytes(ctx, c, RecordKind::kList, {}));
    }
    return kOk;
}

int32_t ConnectionDetails(Context &ctx, const Request &req, Response &out) {
    Connection *c = nullptr;
    if (int32_t s = ConnectionOf(ctx, req, &c)) return s;
    out.Add(CIFS_ELEM_CONNECTION, ConnectionBytes(ctx, *c, RecordKind::kDetails, AllFiles(*c)));
    return kOk;
}

int32_t MappedShares(Context &ctx, const Request &req, Response &out) {
    Connection *c = nullptr;
    if (int32_t s = ConnectionOf(ctx, req, &c)) return s;
    std::vector<ShareParams> records;
    for (const auto &name : c->mapped) {
        ShareParams r;
        if (const Share *s = ctx.state.FindShare(name))
            r = ShareRecord(*s);
        else if (const Volume *v = ctx.state.FindVolume(name))
            r = VolumeRecord(*v);
        else
            continue;
        const uint32_t files = FilesInShare(*c, ctx.state, name);
        std::memcpy(reinterpret_cast<uint8_t *>(&r) + kShareMappedFilesOffset, &files,
                    sizeof files);
        records.push_back(r);
    }
    const auto n = static_cast<uint32_t>(records.size());
    out.Add(CIFS_ELEM_CONNECTION, Bytes(n));
    for (const auto &r : records) out.AddRecord(CIFS_ELEM_SHARE_RECORD, r);
    return kOk;
}

int32_t CryptoKeysOfConnection(Context &ctx, const Request &req, Response &) {
    Connection *c = nullptr;
    if (int32_t s = ConnectionOf(ctx, req, &c)) return s;
    ctx.state.lastCryptoDumpConnection = c->id;
    return kOk;
}

int32_t ClearConnections(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_CLEAR_CONNECTIONS, sizeof(ClearConnParams)}}))
        return kMalformedRequest;
    const auto p = Record<ClearConnParams>(req.elements[0].payload);
    if (p.connType > 1 || p.connCount < 1 || p.connCount > 65535 || p.idleTime < 15 ||
        p.idleTime > 65535)
        return kInvalidValue;
    std::vector<const Connection *> idle;
    for (const auto &c : ctx.state.connections)
        if ((p.connType == 0 || (c.flags & kConnFlagNullSession)) &&
            ctx.now - c.lastActivity >= int64_t{p.idleTime} * 60)
            idle.push_back(&c);
    // The longest idle go first.
    std::stable_sort(idle.begin(), idle.end(), [](const Connection *a, const Connection *b) {
        return a->lastActivity < b->lastActivity;
    });
    if (idle.size() > static_cast<size_t>(p.connCount))
        idle.resize(static_cast<size_t>(p.connCount));
    std::vector<uint16_t> ids;
    for (const Connection *c : idle) ids.push_back(c->id);
    std::erase_if(ctx.state.connections, [&](const Connection &c) {
        return std::find(ids.begin(), ids.end(), c.id) != ids.end();
    });
    return kOk;
}

}  // namespace share::sim::handlers
