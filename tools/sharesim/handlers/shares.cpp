// SPDX-License-Identifier: Apache-2.0
// Shares: names, details, creation, change, removal and the four share switches; the share and
// volume records other objects answer with too.
#include <algorithm>
#include <string>
#include <vector>

#include "common/server_formats.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"
#include "sharesim/handlers/common.h"
#include "sharesim/rules.h"

namespace share::sim::handlers {

using namespace share::tools;  // NOLINT: status codes and server formats

namespace {

constexpr size_t kMaxShares = 4096;

uint32_t ClientsOf(const State &st, const std::string &name) {
    return static_cast<uint32_t>(
        std::count_if(st.connections.begin(), st.connections.end(), [&](const Connection &c) {
            return std::any_of(c.mapped.begin(), c.mapped.end(),
                               [&](const std::string &m) { return IEquals(m, name); });
        }));
}

// The share a request names, or the status that says why there is none.
int32_t FindShareFor(State &st, const char *field, size_t size, Share **out) {
    const auto name = FieldText(field, size);
    if (!name) return kMalformedRequest;
    *out = st.FindShare(*name);
    if (*out) return kOk;
    return st.FindVolume(*name) ? kNotPermitted : kNoSuchShare;
}

// Validates "VOLUME:/path" for a share and returns the volume's name and the normalised path.
int32_t ShareLocation(const State &st, std::string_view text, VolumePath *out) {
    const auto vp = SplitVolumePath(text);
    if (!vp) return kInvalidValue;
    const Volume *vol = st.FindVolume(vp->volume);
    if (!vol) return kNoSuchVolume;
    if (vol->admin) return kNotPermitted;
    const auto path = NormalisePath(vp->path);
    if (!path) return kInvalidValue;
    *out = {vol->name, *path};
    return kOk;
}

int32_t NameFree(const State &st, std::string_view name, const Share *except) {
    if (!ValidShareName(name)) return kInvalidValue;
    const Share *other = st.FindShare(name);
    if ((other && other != except) || st.FindVolume(name)) return kNameTaken;
    return kOk;
}

}  // namespace

uint32_t FilesInShare(const Connection &c, const State &st, const std::string &name) {
    // A volume is its own share of everything under its root; an unknown name holds no files.
    const Share *share = st.FindShare(name);
    const Volume *whole = share != nullptr ? nullptr : st.FindVolume(name);
    if (share == nullptr && whole == nullptr) return 0;
    const std::string &volume = share != nullptr ? share->volume : whole->name;
    const std::string dir = share != nullptr ? share->path : std::string(1, '/');
    return static_cast<uint32_t>(std::count_if(
        c.files.begin(), c.files.end(),
        [&](const OpenFile &f) { return IEquals(f.volume, volume) && UnderPath(f.path, dir); }));
}

ShareParams ShareRecord(const Share &s) {
    ShareParams r{};
    r.serverValue = static_cast<uint32_t>(s.maxUsers);
    CopyText(r.volumeName, s.volume);
    CopyText(r.shareName, s.name);
    CopyText(r.comment, s.comment);
    CopyText(r.sharePath, s.path);
    CopyText(r.auxText, s.volume + ":" + s.path);
    r.folderRedirection = s.folderRedirection ? 1 : 0;
    r.encryptData = s.encryptData ? 1 : 0;
    r.atmBackup = s.atmBackup;
    r.mfaShareLevel = s.mfa ? 1 : 0;
    return r;
}

ShareParams VolumeRecord(const Volume &v) {
    ShareParams r{};
    CopyText(r.volumeName, v.name);
    CopyText(r.shareName, v.name);
    CopyText(r.comment, v.admin ? "Administrative volume" : "Volume");
    CopyText(r.sharePath, "/");
    CopyText(r.auxText, v.name + ":/");
    return r;
}

int32_t ShareNames(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    for (const auto &v : ctx.state.volumes) out.AddText(CIFS_ELEM_NAME, v.name);
    std::vector<const Share *> sorted;
    for (const auto &s : ctx.state.shares) sorted.push_back(&s);
    std::sort(sorted.begin(), sorted.end(),
              [](const Share *a, const Share *b) { return ToUpper(a->name) < ToUpper(b->name); });
    for (const Share *s : sorted) out.AddText(CIFS_ELEM_NAME, s->name);
    return kOk;
}

int32_t ShareDetails(Context &ctx, const Request &req, Response &out) {
    if (!Shape(req, {{CIFS_ELEM_SHARE_RECORD, sizeof(ShareParams)}})) return kMalformedRequest;
    const auto rec = Record<ShareParams>(req.elements[0].payload);
    const auto name = FieldText(rec.shareName, sizeof rec.shareName);
    if (!name) return kMalformedRequest;
    ShareParams reply;
    if (const Share *s = ctx.state.FindShare(*name))
        reply = ShareRecord(*s);
    else if (const Volume *v = ctx.state.FindVolume(*name))
        reply = VolumeRecord(*v);
    else
        return kNoSuchShare;
    out.AddRecord(CIFS_ELEM_SHARE_RECORD, reply);
    out.AddText(CIFS_ELEM_SHARE_EXTRA,
                "clients=" + std::to_string(ClientsOf(ctx.state, reply.shareName)));
    return kOk;
}

int32_t ShareAdd(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_SHARE_RECORD, sizeof(ShareParams)},
                     {CIFS_ELEM_SHARE_PATH, 512},
                     {CIFS_ELEM_SERVER_DN, CIFS_SERVER_DN_SIZE}}))
        return kMalformedRequest;
    const auto rec = Record<ShareParams>(req.elements[0].payload);
    const auto name = FieldText(rec.shareName, sizeof rec.shareName);
    const auto path = TextIn(req.elements[1].payload);
    const auto comment = FieldText(rec.comment, sizeof rec.comment);
    const auto dn = TextIn(req.elements[2].payload);
    if (!name || !path || !comment || !dn) return kMalformedRequest;
    State &st = ctx.state;
    if (int32_t s = NameFree(st, *name, nullptr)) return s;
    VolumePath where;
    if (int32_t s = ShareLocation(st, *path, &where)) return s;
    if (!PrintableText(*comment, 47) || !PrintableText(*dn, 255) || rec.numericOption < 0 ||
        !Switch(rec.encryptData) || !Switch(rec.folderRedirection))
        return kInvalidValue;
    if (st.shares.size() >= kMaxShares) return kLimitReached;
    Share share;
    share.id = st.nextShareId++;
    share.name = *name;
    share.volume = where.volume;
    share.path = where.path;
    share.comment = *comment;
    share.serverDn = *dn;
    share.maxUsers = rec.numericOption;
    share.encryptData = rec.encryptData != 0;
    share.folderRedirection = rec.folderRedirection != 0;
    share.atmBackup = rec.atmBackup;
    share.createdAt = ctx.now;
    st.shares.push_back(std::move(share));
    return kOk;
}

int32_t ShareModify(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_SHARE_RECORD, sizeof(ShareParams)}})) return kMalformedRequest;
    const auto rec = Record<ShareParams>(req.elements[0].payload);
    State &st = ctx.state;
    Share *share = nullptr;
    if (int32_t s = FindShareFor(st, rec.shareName, sizeof rec.shareName, &share)) return s;
    Share changed = *share;
    const uint32_t mask = rec.modifyMask;
    if (mask & CIFS_MODIFY_NEW_NAME) {
        const auto name = FieldText(rec.newShareName, sizeof rec.newShareName);
        if (!name) return kMalformedRequest;
        if (int32_t s = NameFree(st, *name, share)) return s;
        changed.name = *name;
    }
    if (mask & CIFS_MODIFY_PATH) {
        const auto path = FieldText(rec.sharePath, sizeof rec.sharePath);
        if (!path) return kMalformedRequest;
        VolumePath where;
        if (int32_t s = ShareLocation(st, *path, &where)) return s;
        changed.volume = where.volume;
        changed.path = where.path;
    }
    if (mask & CIFS_MODIFY_COMMENT) {
        const auto comment = FieldText(rec.comment, sizeof rec.comment);
        if (!comment) return kMalformedRequest;
        if (!PrintableText(*comment, 47)) return kInvalidValue;
        changed.comment = *comment;
    }
    if ((mask & CIFS_MODIFY_ENCRYPT_DATA) && !Switch(rec.encryptData)) return kInvalidValue;
    if ((mask & CIFS_MODIFY_FOLDER_REDIRECTION) && !Switch(rec.folderRedirection))
        return kInvalidValue;
    if (mask & CIFS_MODIFY_ENCRYPT_DATA) changed.encryptData = rec.encryptData != 0;
    if (mask & CIFS_MODIFY_FOLDER_REDIRECTION)
        changed.folderRedirection = rec.folderRedirection != 0;
    if (mask & CIFS_MODIFY_ATM_BACKUP) changed.atmBackup = rec.atmBackup;
    // The numeric option has no change bit: positive sets the user limit, negative lifts it.
    if (rec.numericOption != 0) changed.maxUsers = rec.numericOption > 0 ? rec.numericOption : 0;
    if (changed.name != share->name)
        for (auto &c : st.connections)
            for (auto &m : c.mapped)
                if (IEquals(m, share->name)) m = changed.name;
    *share = std::move(changed);
    return kOk;
}

int32_t ShareRemove(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_SHARE_RECORD, sizeof(ShareParams)},
                     {CIFS_ELEM_SERVER_DN, CIFS_SERVER_DN_SIZE}}))
        return kMalformedRequest;
    const auto rec = Record<ShareParams>(req.elements[0].payload);
    if (!TextIn(req.elements[1].payload)) return kMalformedRequest;
    State &st = ctx.state;
    Share *share = nullptr;
    if (int32_t s = FindShareFor(st, rec.shareName, sizeof rec.shareName, &share)) return s;
    const Share gone = *share;
    // Clients lose the share and the files they held open through it.
    for (auto &c : st.connections) {
        const auto before = c.mapped.size();
        std::erase_if(c.mapped, [&](const std::string &m) { return IEquals(m, gone.name); });
        if (c.mapped.size() != before)
            std::erase_if(c.files, [&](const OpenFile &f) {
                return IEquals(f.volume, gone.volume) && UnderPath(f.path, gone.path);
            });
    }
    std::erase_if(st.shares, [&](const Share &s) { return s.id == gone.id; });
    return kOk;
}

// One switch of one share: encryption, folder redirection, ATM backup or MFA.
int32_t ShareSwitch(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_SHARE_RECORD, sizeof(ShareParams)}})) return kMalformedRequest;
    const auto rec = Record<ShareParams>(req.elements[0].payload);
    Share *share = nullptr;
    if (int32_t s = FindShareFor(ctx.state, rec.shareName, sizeof rec.shareName, &share)) return s;
    switch (req.function) {
        case CIFS_FN_SHARE_ENCRYPTION:
            if (!Switch(rec.encryptData)) return kInvalidValue;
            share->encryptData = rec.encryptData != 0;
            break;
        case CIFS_FN_SHARE_FOLDER_REDIRECTION:
            if (!Switch(rec.folderRedirection)) return kInvalidValue;
            share->folderRedirection = rec.folderRedirection != 0;
            break;
        case CIFS_FN_SHARE_ATM_BACKUP:
            if (!Switch(rec.atmBackup)) return kInvalidValue;
            share->atmBackup = rec.atmBackup;
            break;
        default:  // CIFS_FN_SHARE_MFA
            if (!Switch(rec.mfaShareLevel)) return kInvalidValue;
            share->mfa = rec.mfaShareLevel != 0;
            break;
    }
    return kOk;
}

}  // namespace share::sim::handlers
