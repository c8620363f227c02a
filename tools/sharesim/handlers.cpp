#include "tools/sharesim/handlers.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "shareadmin/api.h"
#include "shareadmin/context.h"
#include "tools/common/server_formats.h"
#include "tools/sharesim/rules.h"

namespace share::sim {
namespace {

using namespace share::tools;  // NOLINT: status codes and server formats

constexpr size_t kMaxShares = 4096;
constexpr size_t kMaxInvalidUsers = 4096;
constexpr size_t kMaxNamedEntries = 256;

// ---- Request elements ----

// Payload of element `index` when it has the given type and, when `size` is not 0, exactly that
// length.
std::optional<std::span<const uint8_t>> Payload(const Request &req, size_t index, uint8_t type,
                                                size_t size) {
    if (index >= req.elements.size()) return std::nullopt;
    const Element &e = req.elements[index];
    if (e.type != type || (size != 0 && e.payload.size() != size)) return std::nullopt;
    return e.payload;
}

// The request must carry exactly these elements (type, length; length 0 = any).
bool Shape(const Request &req, std::initializer_list<std::pair<uint8_t, size_t>> shape) {
    if (req.elements.size() != shape.size()) return false;
    size_t i = 0;
    for (const auto &[type, size] : shape)
        if (!Payload(req, i++, type, size)) return false;
    return true;
}

template <class T>
T Record(std::span<const uint8_t> bytes) {
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

template <class T>
std::span<const uint8_t> Bytes(const T &record) {
    return {reinterpret_cast<const uint8_t *>(&record), sizeof record};
}

template <size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

std::string Address(const uint8_t ip[4]) {
    if (ip[0] == 0 && ip[1] == 0 && ip[2] == 0 && ip[3] == 0) return "";
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, ip, text, sizeof text);
    return text;
}

void ParseAddress(const std::string &text, uint8_t ip[4]) {
    std::memset(ip, 0, 4);
    if (!text.empty()) inet_pton(AF_INET, text.c_str(), ip);
}

// "VOLUME:/path" split at its first colon.
struct VolumePath {
    std::string volume;
    std::string path;
};
std::optional<VolumePath> SplitVolumePath(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    return VolumePath{std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

// ---- Shares ----

bool UnderPath(const std::string &path, const std::string &dir) {
    if (dir == "/") return true;
    return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                           path[dir.size()] == '/');
}

uint32_t FilesInShare(const Connection &c, const State &st, const std::string &name) {
    std::string volume, dir;
    if (const Share *s = st.FindShare(name)) {
        volume = s->volume;
        dir = s->path;
    } else if (const Volume *v = st.FindVolume(name)) {
        volume = v->name;
        dir = "/";
    }
    return static_cast<uint32_t>(std::count_if(c.files.begin(), c.files.end(), [&](const OpenFile &f) {
        return IEquals(f.volume, volume) && UnderPath(f.path, dir);
    }));
}

uint32_t ClientsOf(const State &st, const std::string &name) {
    return static_cast<uint32_t>(std::count_if(
        st.connections.begin(), st.connections.end(), [&](const Connection &c) {
            return std::any_of(c.mapped.begin(), c.mapped.end(),
                               [&](const std::string &m) { return IEquals(m, name); });
        }));
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

bool Switch(int32_t value) { return value == 0 || value == 1; }

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
    out.AddText(CIFS_ELEM_SHARE_EXTRA, "clients=" + std::to_string(ClientsOf(ctx.state, reply.shareName)));
    return kOk;
}

int32_t ShareAdd(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_SHARE_RECORD, sizeof(ShareParams)}, {CIFS_ELEM_SHARE_PATH, 512}, {CIFS_ELEM_SERVER_DN, CIFS_SERVER_DN_SIZE}}))
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
    if ((mask & CIFS_MODIFY_FOLDER_REDIRECTION) && !Switch(rec.folderRedirection)) return kInvalidValue;
    if (mask & CIFS_MODIFY_ENCRYPT_DATA) changed.encryptData = rec.encryptData != 0;
    if (mask & CIFS_MODIFY_FOLDER_REDIRECTION) changed.folderRedirection = rec.folderRedirection != 0;
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
    if (!Shape(req, {{CIFS_ELEM_SHARE_RECORD, sizeof(ShareParams)}, {CIFS_ELEM_SERVER_DN, CIFS_SERVER_DN_SIZE}})) return kMalformedRequest;
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

// ---- Connections ----

enum class RecordKind { kList, kDetails, kFiles };

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
    r.value326 = static_cast<uint32_t>(std::clamp<int64_t>(ctx.now - c.lastActivity, 0, UINT32_MAX));
    r.value330 = c.bytesRead;
    r.value338 = c.bytesWritten;
    CopyText(r.text354, c.dialect);
    CopyText(r.text386, c.auth);
    std::vector<uint8_t> variable;
    if (kind == RecordKind::kDetails) {
        for (const auto &dn : c.secEquiv) variable.insert(variable.end(), dn.c_str(), dn.c_str() + dn.size() + 1);
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

int32_t ConnectionIdOf(const Request &req, uint16_t *id) {
    const auto p = Payload(req, 0, CIFS_ELEM_CONNECTION, 2);
    if (!p || req.elements.size() != 1) return kMalformedRequest;
    *id = Record<uint16_t>(*p);
    return kOk;
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
        if (req.function == CIFS_FN_CONNECTION_LIST_9 && !(c.flags & kConnFlagNullSession)) continue;
        out.Add(CIFS_ELEM_CONNECTION, ConnectionBytes(ctx, c, RecordKind::kList, {}));
    }
    return kOk;
}

int32_t ConnectionDetails(Context &ctx, const Request &req, Response &out) {
    uint16_t id;
    if (int32_t s = ConnectionIdOf(req, &id)) return s;
    const Connection *c = ctx.state.FindConnection(id);
    if (!c) return kNoSuchConnection;
    out.Add(CIFS_ELEM_CONNECTION, ConnectionBytes(ctx, *c, RecordKind::kDetails, AllFiles(*c)));
    return kOk;
}

int32_t MappedShares(Context &ctx, const Request &req, Response &out) {
    uint16_t id;
    if (int32_t s = ConnectionIdOf(req, &id)) return s;
    const Connection *c = ctx.state.FindConnection(id);
    if (!c) return kNoSuchConnection;
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
        std::memcpy(reinterpret_cast<uint8_t *>(&r) + kShareMappedFilesOffset, &files, sizeof files);
        records.push_back(r);
    }
    const auto n = static_cast<uint32_t>(records.size());
    out.Add(CIFS_ELEM_CONNECTION, Bytes(n));
    for (const auto &r : records) out.AddRecord(CIFS_ELEM_SHARE_RECORD, r);
    return kOk;
}

int32_t CryptoKeysOfConnection(Context &ctx, const Request &req, Response &) {
    uint16_t id;
    if (int32_t s = ConnectionIdOf(req, &id)) return s;
    if (!ctx.state.FindConnection(id)) return kNoSuchConnection;
    ctx.state.lastCryptoDumpConnection = id;
    return kOk;
}

int32_t ClearConnections(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_CLEAR_CONNECTIONS, sizeof(ClearConnParams)}})) return kMalformedRequest;
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
    if (idle.size() > static_cast<size_t>(p.connCount)) idle.resize(static_cast<size_t>(p.connCount));
    std::vector<uint16_t> ids;
    for (const Connection *c : idle) ids.push_back(c->id);
    std::erase_if(ctx.state.connections, [&](const Connection &c) {
        return std::find(ids.begin(), ids.end(), c.id) != ids.end();
    });
    return kOk;
}

// ---- Open files ----

std::optional<std::string> PathText(const Request &req) {
    const auto p = Payload(req, 0, CIFS_ELEM_TEXT, 0);
    if (!p || req.elements.size() != 1) return std::nullopt;
    return TextIn(*p);
}

// Matches "VOLUME:/dir/file" against an open file.
struct FileMatch {
    std::string volume;
    std::string path;
    bool operator()(const OpenFile &f) const { return IEquals(f.volume, volume) && f.path == path; }
};
std::optional<FileMatch> FileMatchFor(const std::string &text) {
    const auto vp = SplitVolumePath(text);
    if (!vp) return std::nullopt;
    const auto path = NormalisePath(vp->path);
    if (!path) return std::nullopt;
    return FileMatch{vp->volume, *path};
}

// The six file lists: connection records with the matching open files.
int32_t ListFiles(Context &ctx, const Request &req, Response &out) {
    const int kind = (req.function - CIFS_FN_FILES_BY_PATH) % 3;  // 0 by path, 1 by connection, 2 by volume
    if (kind == 1) {
        uint16_t id;
        if (int32_t s = ConnectionIdOf(req, &id)) return s;
        const Connection *c = ctx.state.FindConnection(id);
        if (!c) return kNoSuchConnection;
        out.Add(CIFS_ELEM_CONNECTION, ConnectionBytes(ctx, *c, RecordKind::kFiles, AllFiles(*c)));
        return kOk;
    }
    const auto text = PathText(req);
    if (!text) return kMalformedRequest;
    std::function<bool(const OpenFile &)> match;
    if (kind == 0) {
        const auto m = FileMatchFor(*text);
        if (!m) return kInvalidValue;
        match = *m;
    } else {
        const Volume *v = ctx.state.FindVolume(*text);
        if (!v) return kNoSuchVolume;
        match = [v](const OpenFile &f) { return IEquals(f.volume, v->name); };
    }
    for (const auto &c : ctx.state.connections) {
        std::vector<const OpenFile *> files;
        for (const auto &f : c.files)
            if (match(f)) files.push_back(&f);
        if (!files.empty()) out.Add(CIFS_ELEM_CONNECTION, ConnectionBytes(ctx, c, RecordKind::kFiles, files));
    }
    if (kind == 0 && out.count() == 0) return kNoSuchFile;
    return kOk;
}

int32_t CloseByPath(Context &ctx, const Request &req, Response &) {
    const auto text = PathText(req);
    if (!text) return kMalformedRequest;
    const auto m = FileMatchFor(*text);
    if (!m) return kInvalidValue;
    size_t closed = 0;
    for (auto &c : ctx.state.connections) closed += std::erase_if(c.files, *m);
    return closed ? kOk : kNoSuchFile;
}

int32_t CloseByConnection(Context &ctx, const Request &req, Response &) {
    uint16_t id;
    if (int32_t s = ConnectionIdOf(req, &id)) return s;
    Connection *c = ctx.state.FindConnection(id);
    if (!c) return kNoSuchConnection;
    c->files.clear();
    return kOk;
}

int32_t CloseByVolume(Context &ctx, const Request &req, Response &) {
    const auto text = PathText(req);
    if (!text) return kMalformedRequest;
    const Volume *v = ctx.state.FindVolume(*text);
    if (!v) return kNoSuchVolume;
    const std::string volume = v->name;
    for (auto &c : ctx.state.connections)
        std::erase_if(c.files, [&](const OpenFile &f) { return IEquals(f.volume, volume); });
    return kOk;
}

void Append(std::vector<uint8_t> &out, const void *data, size_t size) {
    const auto *p = static_cast<const uint8_t *>(data);
    out.insert(out.end(), p, p + size);
}

int32_t OpenFilesByRecord(Context &ctx, const Request &req, Response &out) {
    const auto p = Payload(req, 0, CIFS_ELEM_OPEN_FILES, 0);
    if (!p || req.elements.size() != 1 || p->size() < sizeof(OpenFilesQuery)) return kMalformedRequest;
    const auto q = Record<OpenFilesQuery>(*p);
    const auto strings = p->subspan(sizeof q);
    if (q.stringBytes != strings.size()) return kMalformedRequest;
    std::function<bool(const Connection &, const OpenFile &)> match;
    if (q.nameOffset == OPEN_FILES_BY_CONNECTION) {
        if (q.connectionId > 65535 || !ctx.state.FindConnection(static_cast<uint16_t>(q.connectionId)))
            return kNoSuchConnection;
        match = [id = q.connectionId](const Connection &c, const OpenFile &) { return c.id == id; };
    } else {
        if (q.nameOffset >= strings.size()) return kMalformedRequest;
        const auto name = TextIn(strings.subspan(q.nameOffset));
        if (!name) return kMalformedRequest;
        if (name->find(':') == std::string::npos) {
            const Volume *v = ctx.state.FindVolume(*name);
            if (!v) return kNoSuchVolume;
            match = [v](const Connection &, const OpenFile &f) { return IEquals(f.volume, v->name); };
        } else {
            const auto m = FileMatchFor(*name);
            if (!m) return kInvalidValue;
            if (!ctx.state.FindVolume(m->volume)) return kNoSuchVolume;
            match = [m](const Connection &, const OpenFile &f) {
                return IEquals(f.volume, m->volume) && UnderPath(f.path, m->path);
            };
        }
    }
    OpenFilesReplyHead head{1, 0, 0, 0};
    std::vector<uint8_t> entries;
    for (const auto &c : ctx.state.connections) {
        for (const auto &f : c.files) {
            if (!match(c, f)) continue;
            if ((q.flags & kQueryWriteOnly) && !(f.access & kAccessWrite)) continue;
            const uint32_t index = head.totalMatches++;
            if (index < q.first || (q.maxEntries != 0 && head.entryCount >= q.maxEntries)) continue;
            ++head.entryCount;
            std::string strings2;
            auto add = [&](const std::string &text) {
                const auto offset = static_cast<uint32_t>(strings2.size());
                strings2.append(text).push_back('\0');
                return offset;
            };
            OpenFileEntryHead e{};
            e.connectionId = c.id;
            e.fileId = f.id;
            e.accessMode = f.access;
            e.userOffset = add(c.user);
            e.addressOffset = add(c.address);
            e.pathOffset = add(f.FullPath());
            e.volumeOffset = add(f.volume);
            e.openedAt = static_cast<uint64_t>(f.openedAt);
            strings2.resize((sizeof e + strings2.size() + 7) / 8 * 8 - sizeof e, '\0');
            e.entryBytes = static_cast<uint32_t>(sizeof e + strings2.size());
            Append(entries, &e, sizeof e);
            Append(entries, strings2.data(), strings2.size());
        }
    }
    head.totalBytes = static_cast<uint32_t>(sizeof head + entries.size());
    std::vector<uint8_t> reply;
    Append(reply, &head, sizeof head);
    reply.insert(reply.end(), entries.begin(), entries.end());
    out.Add(CIFS_ELEM_OPEN_FILES, reply);
    return kOk;
}

// ---- Invalid users ----

bool Expired(const State &st, const InvalidUser &u, int64_t now) {
    return !u.permanent && st.iucTimeoutMinutes > 0 && now - u.addedAt >= int64_t{st.iucTimeoutMinutes} * 60;
}

void PurgeExpired(Context &ctx) {
    std::erase_if(ctx.state.invalidUsers,
                  [&](const InvalidUser &u) { return Expired(ctx.state, u, ctx.now); });
}

InvalidUser *FindUser(State &st, std::string_view name) {
    for (auto &u : st.invalidUsers)
        if (IEquals(u.name, name)) return &u;
    return nullptr;
}

std::optional<std::string> UserNameOf(const Request &req) {
    const auto p = Payload(req, 0, CIFS_ELEM_INVALID_USER_NAME, 0);
    if (!p || req.elements.size() != 1) return std::nullopt;
    return TextIn(*p);
}

int32_t IucTimeout(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_INVALID_USER_TIMEOUT, 4}})) return kMalformedRequest;
    const auto minutes = Record<int32_t>(req.elements[0].payload);
    if (minutes < 0 || minutes > 525600) return kInvalidValue;
    PurgeExpired(ctx);
    ctx.state.iucTimeoutMinutes = minutes;
    return kOk;
}

int32_t InvalidUserChange(Context &ctx, const Request &req, Response &) {
    const auto name = UserNameOf(req);
    if (!name) return kMalformedRequest;
    if (name->empty() || !PrintableText(*name, 256)) return kInvalidValue;
    PurgeExpired(ctx);
    InvalidUser *u = FindUser(ctx.state, *name);
    switch (req.function) {
    case CIFS_FN_INVALID_USER_ADD:  // as a permanent invalid user
        if (u && u->permanent) return kNameTaken;
        if (u) {
            u->permanent = true;
            return kOk;
        }
        if (ctx.state.invalidUsers.size() >= kMaxInvalidUsers) return kLimitReached;
        ctx.state.invalidUsers.push_back({*name, true, 0, ctx.now});
        return kOk;
    case CIFS_FN_INVALID_USER_REMOVE:
        if (!u) return kNoSuchUser;
        std::erase_if(ctx.state.invalidUsers, [&](const InvalidUser &x) { return IEquals(x.name, *name); });
        return kOk;
    default:  // CIFS_FN_INVALID_USER_MAKE_PERMANENT
        if (!u) return kNoSuchUser;
        u->permanent = true;
        return kOk;
    }
}

std::vector<uint8_t> InvalidUserList(const Context &ctx, uint32_t flags, uint32_t first,
                                     uint32_t maxEntries, const std::string &filter) {
    InvalidUserListHead head{1, 0, 0, static_cast<uint32_t>(ctx.state.iucTimeoutMinutes)};
    std::vector<uint8_t> entries;
    const std::string upperFilter = ToUpper(filter);
    for (const auto &u : ctx.state.invalidUsers) {
        if (Expired(ctx.state, u, ctx.now)) continue;
        if ((flags & kIuPermanentOnly) && !u.permanent) continue;
        if ((flags & kIuTemporaryOnly) && u.permanent) continue;
        if (!filter.empty() && ToUpper(u.name).find(upperFilter) == std::string::npos) continue;
        const uint32_t index = head.totalMatches++;
        if (index < first || (maxEntries != 0 && head.entryCount >= maxEntries)) continue;
        ++head.entryCount;
        InvalidUserEntry e{};
        CopyText(e.name, u.name);
        e.permanent = u.permanent ? 1 : 0;
        e.failedLogons = u.failedLogons;
        e.addedAt = static_cast<uint64_t>(u.addedAt);
        e.expiresAt = u.permanent || ctx.state.iucTimeoutMinutes == 0
                          ? 0
                          : static_cast<uint64_t>(u.addedAt + int64_t{ctx.state.iucTimeoutMinutes} * 60);
        Append(entries, &e, sizeof e);
    }
    std::vector<uint8_t> reply;
    Append(reply, &head, sizeof head);
    reply.insert(reply.end(), entries.begin(), entries.end());
    return reply;
}

int32_t InvalidUserCache(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    out.Add(CIFS_ELEM_INVALID_USERS, InvalidUserList(ctx, 0, 0, 0, ""));
    return kOk;
}

int32_t InvalidUsersByRecord(Context &ctx, const Request &req, Response &out) {
    const auto p = Payload(req, 0, CIFS_ELEM_INVALID_USERS, 0);
    if (!p || req.elements.size() != 1 || p->size() < sizeof(InvalidUserQuery)) return kMalformedRequest;
    const auto q = Record<InvalidUserQuery>(*p);
    const auto data = p->subspan(sizeof q);
    if (q.dataLength < 0 || static_cast<size_t>(q.dataLength) != data.size()) return kMalformedRequest;
    std::string filter;
    if (!data.empty()) {
        const auto text = TextIn(data);
        if (!text) return kMalformedRequest;
        filter = *text;
    }
    if ((q.flags & kIuPermanentOnly) && (q.flags & kIuTemporaryOnly)) return kInvalidValue;
    out.Add(CIFS_ELEM_INVALID_USERS, InvalidUserList(ctx, q.flags, q.first, q.maxEntries, filter));
    return kOk;
}

// ---- User contexts ----

int32_t UserContextList(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    std::vector<uint8_t> data;
    for (const auto &c : ctx.state.userContexts) Append(data, c.c_str(), c.size() + 1);
    const uint32_t head[2] = {static_cast<uint32_t>(ctx.state.userContexts.size()),
                              static_cast<uint32_t>(data.size())};
    std::vector<uint8_t> reply;
    Append(reply, head, sizeof head);
    reply.insert(reply.end(), data.begin(), data.end());
    out.Add(CIFS_ELEM_USER_CONTEXTS, reply);
    return kOk;
}

int32_t UserContextChange(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_USER_CONTEXTS, 512}})) return kMalformedRequest;
    const auto text = TextIn(req.elements[0].payload);
    if (!text) return kMalformedRequest;
    if (text->empty() || !PrintableText(*text, 511)) return kInvalidValue;
    auto &list = ctx.state.userContexts;
    const auto it = std::find_if(list.begin(), list.end(), [&](const std::string &c) { return IEquals(c, *text); });
    if (req.function == CIFS_FN_USER_CONTEXT_ADD) {
        if (it != list.end()) return kNameTaken;
        if (list.size() >= kMaxNamedEntries) return kLimitReached;
        list.push_back(*text);
    } else {
        if (it == list.end()) return kNoSuchEntry;
        list.erase(it);
    }
    return kOk;
}

// ---- Name tables: virtual servers, DNS entries, multichannel interfaces ----

int32_t NamedChange(std::vector<NamedAddress> &list, const std::string &name, const std::string &address,
                    bool add) {
    const auto it = std::find_if(list.begin(), list.end(), [&](const NamedAddress &n) { return IEquals(n.name, name); });
    if (add) {
        if (it != list.end()) return kNameTaken;
        if (list.size() >= kMaxNamedEntries) return kLimitReached;
        list.push_back({name, address});
    } else {
        if (it == list.end()) return kNoSuchEntry;
        list.erase(it);
    }
    return kOk;
}

int32_t VirtualServer(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_VIRTUAL_SERVER, sizeof(VirtualServerParams)}})) return kMalformedRequest;
    const auto p = Record<VirtualServerParams>(req.elements[0].payload);
    const auto name = FieldText(p.serverName, sizeof p.serverName);
    if (!name) return kMalformedRequest;
    if (name->empty() || !PrintableText(*name, 255)) return kInvalidValue;
    return NamedChange(ctx.state.virtualServers, *name, Address(p.ipAddress), req.function == CIFS_FN_VIRTUAL_SERVER_ADD);
}

int32_t DnsEntry(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_DNS_ENTRY, sizeof(DnsEntryParams)}})) return kMalformedRequest;
    const auto p = Record<DnsEntryParams>(req.elements[0].payload);
    const auto name = FieldText(p.netbiosName, sizeof p.netbiosName);
    if (!name) return kMalformedRequest;
    if (name->empty() || !PrintableText(*name, 15)) return kInvalidValue;
    return NamedChange(ctx.state.dnsEntries, *name, Address(p.ipAddress), req.function == CIFS_FN_DNS_ENTRY_ADD);
}

bool ValidInterfaceName(std::string_view name) {
    return !name.empty() && name.size() <= 15 && std::all_of(name.begin(), name.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' || c == ':' || c == '@';
           });
}

int32_t Interface(Context &ctx, const Request &req, Response &out) {
    auto &list = ctx.state.interfaces;
    if (req.function == CIFS_FN_INTERFACE_LIST) {
        if (!req.elements.empty()) return kMalformedRequest;
        for (const auto &name : list) {
            char field[16] = {};
            CopyText(field, name);
            out.Add(CIFS_ELEM_INTERFACE, {reinterpret_cast<const uint8_t *>(field), sizeof field});
        }
        return kOk;
    }
    if (!Shape(req, {{CIFS_ELEM_INTERFACE, 16}})) return kMalformedRequest;
    const auto name = TextIn(req.elements[0].payload);
    if (!name) return kMalformedRequest;
    if (!ValidInterfaceName(*name)) return kInvalidValue;
    const auto it = std::find(list.begin(), list.end(), *name);
    if (req.function == CIFS_FN_INTERFACE_ADD) {
        if (it != list.end()) return kNameTaken;
        if (list.size() >= kMaxNamedEntries) return kLimitReached;
        list.push_back(*name);
    } else {
        if (it == list.end()) return kNoSuchEntry;
        list.erase(it);
    }
    return kOk;
}

// ---- Other server settings ----

int32_t ShareVolumesByDefault(Context &ctx, const Request &req, Response &) {
    const auto server = Payload(req, 0, CIFS_ELEM_SERVER_NAME, 0);
    const auto value = Payload(req, 1, CIFS_ELEM_SHARE_BY_DEFAULT, 4);
    if (!server || !value || req.elements.size() != 2) return kMalformedRequest;
    const auto name = TextIn(*server);
    if (!name) return kMalformedRequest;
    const auto yes = Record<int32_t>(*value);
    if (name->empty() || !PrintableText(*name, 255) || !Switch(yes)) return kInvalidValue;
    ctx.state.shareByDefault[*name] = yes != 0;
    return kOk;
}

int32_t QuotaSyncRequest(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_USER_QUOTA_SYNC, sizeof(QuotaSyncParams)}})) return kMalformedRequest;
    const auto p = Record<QuotaSyncParams>(req.elements[0].payload);
    const auto target = FieldText(p.quotaTarget, sizeof p.quotaTarget);
    if (!target) return kMalformedRequest;
    if (target->empty() || !PrintableText(*target, 64) || (p.quotaSyncValue != -1 && p.quotaSyncValue < 1))
        return kInvalidValue;
    ctx.state.lastQuotaSync = QuotaSync{*target, p.quotaSyncValue};
    return kOk;
}

int32_t QuotaViewRequest(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_USER_QUOTA_VIEW, 65}})) return kMalformedRequest;
    const auto target = TextIn(req.elements[0].payload);
    if (!target) return kMalformedRequest;
    if (target->empty() || !PrintableText(*target, 64)) return kInvalidValue;
    ctx.state.lastQuotaView = *target;
    return kOk;
}

int32_t DfsReferralCache(Context &ctx, const Request &req, Response &) {
    if (!Shape(req, {{CIFS_ELEM_DFS_REFERRAL_CACHE, sizeof(DfsReferralCacheParams)}})) return kMalformedRequest;
    const auto p = Record<DfsReferralCacheParams>(req.elements[0].payload);
    const auto path = FieldText(p.junctionPath, sizeof p.junctionPath);
    if (!path) return kMalformedRequest;
    if (p.durationMinutes == -1) {
        if (ToUpper(*path) != "ALL") {
            const auto vp = SplitVolumePath(*path);
            if (!vp || !NormalisePath(vp->path) || vp->path.size() < 2) return kInvalidValue;
            if (!ctx.state.FindVolume(vp->volume)) return kNoSuchVolume;
        }
        ctx.state.dfsLastClear = *path;
        return kOk;
    }
    if (p.durationMinutes < 0 || p.durationMinutes > 525600) return kInvalidValue;
    ctx.state.dfsReferralMinutes = p.durationMinutes;
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
            std::memcpy(payload.data(), v.text.data(), std::min<size_t>(v.text.size(), optionRow.width - 1));
            break;
        }
        out.Add(optionRow.element, payload);
    }
    for (int32_t kind = 1; kind <= 3; ++kind) {
        const CacheParams c{st.caches[static_cast<size_t>(kind - 1)], kind};
        out.AddRecord(CIFS_ELEM_CACHE, c);
    }
    out.Add(CIFS_ELEM_INVALID_USER_TIMEOUT, Bytes(st.iucTimeoutMinutes));
    for (const auto &n : st.virtualServers) {
        VirtualServerParams p{};
        CopyText(p.serverName, n.name);
        ParseAddress(n.address, p.ipAddress);
        out.AddRecord(CIFS_ELEM_VIRTUAL_SERVER, p);
    }
    for (const auto &n : st.dnsEntries) {
        DnsEntryParams p{};
        CopyText(p.netbiosName, n.name);
        ParseAddress(n.address, p.ipAddress);
        out.AddRecord(CIFS_ELEM_DNS_ENTRY, p);
    }
    for (const auto &[server, yes] : st.shareByDefault) {
        ShareVolumesParams p{};
        CopyText(p.serverName, server);
        p.shareByDefault = yes ? 1 : 0;
        out.AddRecord(CIFS_ELEM_SERVER_NAME, p);
    }
    for (const auto &name : st.interfaces) {
        char field[16] = {};
        CopyText(field, name);
        out.Add(CIFS_ELEM_INTERFACE, {reinterpret_cast<const uint8_t *>(field), sizeof field});
    }
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
        out.Add(CIFS_ELEM_USER_QUOTA_VIEW, {reinterpret_cast<const uint8_t *>(target), sizeof target});
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
    const std::string text = "server=sharesim uptime=" + std::to_string(ctx.now - ctx.stats.startedAt) +
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
    const OptionSpec *optionRow = FindOptionByFunction(req.function);
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

// ---- Dispatch ----

using HandlerFn = int32_t (*)(Context &, const Request &, Response &);

struct Row {
    const char *name;
    HandlerFn handler;
    bool changes;
};

constexpr Row R(const char *name, HandlerFn handler, bool changes) { return {name, handler, changes}; }
constexpr Row Opt(const char *name) { return {name, SetOption, true}; }

struct Entry {
    int function;
    Row row;
};

constexpr Entry kEntries[] = {
    {CIFS_FN_SHARE_NAMES, R("share-names", ShareNames, false)},
    {CIFS_FN_SHARE_DETAILS, R("share-details", ShareDetails, false)},
    {CIFS_FN_SHARE_ADD, R("share-add", ShareAdd, true)},
    {CIFS_FN_SHARE_REMOVE, R("share-remove", ShareRemove, true)},
    {CIFS_FN_SERVER_REQUEST_4, R("configuration-dump", ConfigurationDump, false)},
    {CIFS_FN_SMB_SIGNING, Opt("smb-signing")},
    {CIFS_FN_LOG_LEVEL, Opt("log-level")},
    {CIFS_FN_VIRTUAL_SERVER_ADD, R("virtual-server-add", VirtualServer, true)},
    {CIFS_FN_VIRTUAL_SERVER_REMOVE, R("virtual-server-remove", VirtualServer, true)},
    {CIFS_FN_DUMP_STATISTICS, R("dump-statistics", DumpStatistics, true)},
    {CIFS_FN_AUDITING, Opt("auditing")},
    {CIFS_FN_DNS_ENTRY_ADD, R("dns-entry-add", DnsEntry, true)},
    {CIFS_FN_DNS_ENTRY_REMOVE, R("dns-entry-remove", DnsEntry, true)},
    {CIFS_FN_GUEST_LOGIN, Opt("guest-login")},
    {CIFS_FN_LM_COMPATIBILITY, Opt("lm-compatibility")},
    {CIFS_FN_SUBTREE_SEARCH, Opt("subtree-search")},
    {CIFS_FN_SYNC, Opt("sync")},
    {CIFS_FN_CACHE, R("cache", Cache, true)},
    {CIFS_FN_RANGE_LOCK_MASK, Opt("range-lock-mask")},
    {CIFS_FN_OFFLINE_FILES, Opt("offline-files")},
    {CIFS_FN_READ_PROXY, Opt("read-proxy")},
    {CIFS_FN_INVALID_USER_TIMEOUT, R("invalid-user-timeout", IucTimeout, true)},
    {CIFS_FN_INVALID_USER_ADD, R("invalid-user-add", InvalidUserChange, true)},
    {CIFS_FN_INVALID_USER_REMOVE, R("invalid-user-remove", InvalidUserChange, true)},
    {CIFS_FN_INVALID_USER_CACHE, R("invalid-user-cache", InvalidUserCache, false)},
    {CIFS_FN_CONNECTION_COUNT, R("connection-count", ConnectionCount, false)},
    {CIFS_FN_CONNECTION_LIST, R("connection-list", ConnectionList, false)},
    {CIFS_FN_CONNECTION_LIST_8, R("connection-list-with-files", ConnectionList, false)},
    {CIFS_FN_CONNECTION_LIST_9, R("connection-list-null-sessions", ConnectionList, false)},
    {CIFS_FN_CONNECTION_DETAILS, R("connection-details", ConnectionDetails, false)},
    {CIFS_FN_FILES_BY_PATH, R("files-by-path", ListFiles, false)},
    {CIFS_FN_FILES_BY_CONNECTION, R("files-by-connection", ListFiles, false)},
    {CIFS_FN_FILES_BY_VOLUME, R("files-by-volume", ListFiles, false)},
    {CIFS_FN_FILES_BY_PATH_MODIFIED, R("files-by-path-modified", ListFiles, false)},
    {CIFS_FN_FILES_BY_CONNECTION_MODIFIED, R("files-by-connection-modified", ListFiles, false)},
    {CIFS_FN_FILES_BY_VOLUME_MODIFIED, R("files-by-volume-modified", ListFiles, false)},
    {CIFS_FN_CLOSE_BY_PATH, R("close-by-path", CloseByPath, true)},
    {CIFS_FN_CLOSE_BY_CONNECTION, R("close-by-connection", CloseByConnection, true)},
    {CIFS_FN_CLOSE_BY_VOLUME, R("close-by-volume", CloseByVolume, true)},
    {CIFS_FN_PASSTHRU, Opt("passthru")},
    {CIFS_FN_SERVER_REQUEST_40, R("server-status", ServerStatus, false)},
    {CIFS_FN_SHARE_VOLUMES_BY_DEFAULT, R("share-volumes-by-default", ShareVolumesByDefault, true)},
    {CIFS_FN_DIALECT, Opt("dialect")},
    {CIFS_FN_CHANGE_NOTIFY, Opt("change-notify")},
    {CIFS_FN_USER_QUOTA_SYNC, R("user-quota-sync", QuotaSyncRequest, true)},
    {CIFS_FN_ENUM_SHARES_NULL_SESSION, Opt("enum-shares-null-session")},
    {CIFS_FN_OPLOCK_BREAK_ACK_TIMEOUT, Opt("oplock-break-ack-timeout")},
    {CIFS_FN_NEGOTIATE_NTSTATUS, Opt("negotiate-ntstatus")},
    {CIFS_FN_DFS, Opt("dfs")},
    {CIFS_FN_ALTERNATE_DATA_STREAMS, Opt("alternate-data-streams")},
    {CIFS_FN_DISABLE_SMBV1, Opt("disable-smbv1")},
    {CIFS_FN_SHARE_ENCRYPTION, R("share-encryption", ShareSwitch, true)},
    {CIFS_FN_ENCRYPT_DATA, Opt("encrypt-data")},
    {CIFS_FN_REJECT_UNENCRYPTED_ACCESS, Opt("reject-unencrypted-access")},
    {CIFS_FN_DNS_SUFFIX, Opt("dns-suffix")},
    {CIFS_FN_DISPLAY_USER_ADDRESS, Opt("display-user-address")},
    {CIFS_FN_SHARE_FOLDER_REDIRECTION, R("share-folder-redirection", ShareSwitch, true)},
    {CIFS_FN_DOS_FILENAME, Opt("dos-filenames")},
    {CIFS_FN_MAP_AD_SESSIONS, Opt("map-ad-sessions")},
    {CIFS_FN_DISABLE_NTLMSSP, Opt("disable-ntlmssp")},
    {CIFS_FN_BLOCK_UNMANAGED_READS, Opt("block-unmanaged-reads")},
    {CIFS_FN_LEASING, Opt("leasing")},
    {CIFS_FN_ZEROCOPY, Opt("zero-copy")},
    {CIFS_FN_CLEAR_CONNECTIONS, R("clear-connections", ClearConnections, true)},
    {CIFS_FN_SHARE_VISIBILITY_RIGHTS, Opt("share-visibility-rights")},
    {CIFS_FN_DIRECTORY_LEASING, Opt("directory-leasing")},
    {CIFS_FN_SHARE_ATM_BACKUP, R("share-atm-backup", ShareSwitch, true)},
    {CIFS_FN_USER_QUOTA_VIEW, R("user-quota-view", QuotaViewRequest, true)},
    {CIFS_FN_CRYPTO_KEYS_OF_CONNECTION, R("crypto-keys-of-connection", CryptoKeysOfConnection, true)},
    {CIFS_FN_DUMP_CRYPTO_KEYS, Opt("dump-crypto-keys")},
    {CIFS_FN_PREFERRED_CIPHER, Opt("preferred-cipher")},
    {CIFS_FN_COMPRESSION, Opt("compression")},
    {CIFS_FN_MULTICHANNEL, Opt("multichannel")},
    {CIFS_FN_INTERFACE_ADD, R("interface-add", Interface, true)},
    {CIFS_FN_INTERFACE_REMOVE, R("interface-remove", Interface, true)},
    {CIFS_FN_INTERFACE_LIST, R("interface-list", Interface, false)},
    {CIFS_FN_LARGE_MTU, Opt("large-mtu")},
    {CIFS_FN_SHARE_MODIFY, R("share-modify", ShareModify, true)},
    {CIFS_FN_CONNECTION_MAPPED_SHARES, R("connection-mapped-shares", MappedShares, false)},
    {CIFS_FN_OPEN_FILES, R("open-files", OpenFilesByRecord, false)},
    {CIFS_FN_INVALID_USER_LIST, R("invalid-user-list", InvalidUsersByRecord, false)},
    {CIFS_FN_INVALID_USER_MAKE_PERMANENT, R("invalid-user-make-permanent", InvalidUserChange, true)},
    {CIFS_FN_USER_CONTEXT_LIST, R("user-context-list", UserContextList, false)},
    {CIFS_FN_USER_CONTEXT_ADD, R("user-context-add", UserContextChange, true)},
    {CIFS_FN_USER_CONTEXT_REMOVE, R("user-context-remove", UserContextChange, true)},
    {CIFS_FN_MFA, Opt("mfa")},
    {CIFS_FN_SHARE_MFA, R("share-mfa", ShareSwitch, true)},
    {CIFS_FN_DURABLE_HANDLES, Opt("durable-handles")},
    {CIFS_FN_DFS_REFERRAL_CACHE_DURATION, R("dfs-referral-cache-duration", DfsReferralCache, true)},
};

// The table indexed by function ID; every ID has exactly one entry.
constexpr std::array<Row, CIFS_FN_LAST + 1> kRows = [] {
    std::array<Row, CIFS_FN_LAST + 1> rows{};
    for (const Entry &e : kEntries) rows[static_cast<size_t>(e.function)] = e.row;
    return rows;
}();

constexpr bool EveryFunctionOnce() {
    std::array<int, CIFS_FN_LAST + 1> seen{};
    for (const Entry &e : kEntries)
        if (e.function < 0 || e.function > CIFS_FN_LAST || seen[static_cast<size_t>(e.function)]++) return false;
    for (int n : seen)
        if (n != 1) return false;
    return true;
}
static_assert(EveryFunctionOnce());

}  // namespace

const char *FunctionName(int function) {
    return function >= 0 && function <= CIFS_FN_LAST ? kRows[static_cast<size_t>(function)].name : "unknown";
}

bool FunctionChangesState(int function) {
    return function >= 0 && function <= CIFS_FN_LAST && kRows[static_cast<size_t>(function)].changes;
}

Response Handle(Context &ctx, const Request &req) {
    Response out;
    if (req.component != 0 || req.function > CIFS_FN_LAST) {
        out.SetStatus(kUnknownFunction);
        return out;
    }
    const int32_t status = kRows[req.function].handler(ctx, req, out);
    if (status != kOk) out = Response(status);  // a refusal carries the status alone
    return out;
}

}  // namespace share::sim
