// SPDX-License-Identifier: Apache-2.0
// The invalid-user cache: time-out, additions, removals, permanence and its lists.
#include <optional>
#include <string>
#include <vector>

#include "common/server_formats.h"
#include "sharesim/handlers/common.h"
#include "sharesim/rules.h"

namespace share::sim::handlers {

using namespace share::tools;  // NOLINT: status codes and server formats

namespace {

constexpr size_t kMaxInvalidUsers = 4096;

bool Expired(const State &st, const InvalidUser &u, int64_t now) {
    return !u.permanent && st.iucTimeoutMinutes > 0 &&
           now - u.addedAt >= int64_t{st.iucTimeoutMinutes} * 60;
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
        e.expiresAt =
            u.permanent || ctx.state.iucTimeoutMinutes == 0
                ? 0
                : static_cast<uint64_t>(u.addedAt + int64_t{ctx.state.iucTimeoutMinutes} * 60);
        Append(entries, &e, sizeof e);
    }
    return HeadThen(head, entries);
}

}  // namespace

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
    if (const int32_t s = CheckName(name, 256)) return s;
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
            std::erase_if(ctx.state.invalidUsers,
                          [&](const InvalidUser &x) { return IEquals(x.name, *name); });
            return kOk;
        default:  // CIFS_FN_INVALID_USER_MAKE_PERMANENT
            if (!u) return kNoSuchUser;
            u->permanent = true;
            return kOk;
    }
}

int32_t InvalidUserCache(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    out.Add(CIFS_ELEM_INVALID_USERS, InvalidUserList(ctx, 0, 0, 0, ""));
    return kOk;
}

int32_t InvalidUsersByRecord(Context &ctx, const Request &req, Response &out) {
    const auto in = OnlyRecordThenData<InvalidUserQuery>(req, CIFS_ELEM_INVALID_USERS);
    if (!in || in->record.dataLength < 0 ||
        static_cast<size_t>(in->record.dataLength) != in->data.size())
        return kMalformedRequest;
    const InvalidUserQuery &q = in->record;
    const auto data = in->data;
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

}  // namespace share::sim::handlers
