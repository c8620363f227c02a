// SPDX-License-Identifier: Apache-2.0
// Open files: the lists by path, connection or volume, the open-files record, and closing.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/server_formats.h"
#include "shareadmin/api.h"
#include "sharesim/handlers/common.h"
#include "sharesim/rules.h"

namespace share::sim::handlers {

using namespace share::tools;  // NOLINT: status codes and server formats

namespace {

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

}  // namespace

// The six file lists: connection records with the matching open files.
int32_t ListFiles(Context &ctx, const Request &req, Response &out) {
    // 0 by path, 1 by connection, 2 by volume
    const int kind = (req.function - CIFS_FN_FILES_BY_PATH) % 3;
    if (kind == 1) {
        Connection *c = nullptr;
        if (int32_t s = ConnectionOf(ctx, req, &c)) return s;
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
        if (!files.empty())
            out.Add(CIFS_ELEM_CONNECTION, ConnectionBytes(ctx, c, RecordKind::kFiles, files));
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
    Connection *c = nullptr;
    if (int32_t s = ConnectionOf(ctx, req, &c)) return s;
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

int32_t OpenFilesByRecord(Context &ctx, const Request &req, Response &out) {
    const auto in = OnlyRecordThenData<OpenFilesQuery>(req, CIFS_ELEM_OPEN_FILES);
    if (!in || in->record.stringBytes != in->data.size()) return kMalformedRequest;
    const OpenFilesQuery &q = in->record;
    const auto strings = in->data;
    std::function<bool(const Connection &, const OpenFile &)> match;
    if (q.nameOffset == OPEN_FILES_BY_CONNECTION) {
        if (q.connectionId > 65535 ||
            !ctx.state.FindConnection(static_cast<uint16_t>(q.connectionId)))
            return kNoSuchConnection;
        match = [id = q.connectionId](const Connection &c, const OpenFile &) { return c.id == id; };
    } else {
        if (q.nameOffset >= strings.size()) return kMalformedRequest;
        const auto name = TextIn(strings.subspan(q.nameOffset));
        if (!name) return kMalformedRequest;
        if (name->find(':') == std::string::npos) {
            const Volume *v = ctx.state.FindVolume(*name);
            if (!v) return kNoSuchVolume;
            match = [v](const Connection &, const OpenFile &f) {
                return IEquals(f.volume, v->name);
            };
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
    out.Add(CIFS_ELEM_OPEN_FILES, HeadThen(head, entries));
    return kOk;
}

}  // namespace share::sim::handlers
