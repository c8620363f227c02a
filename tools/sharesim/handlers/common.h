// SPDX-License-Identifier: Apache-2.0
// What the request handlers share: reading request elements, the records that more than one kind
// of server object answers with, and the handlers themselves, one group per server object, for
// the dispatch table. Internal to the stand-in server.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/server_formats.h"
#include "shareadmin/context.h"
#include "sharesim/handlers.h"

namespace share::sim::handlers {

// A handler answers one request into out and returns the status; out is discarded unless the
// status is 0.
using HandlerFn = int32_t (*)(Context &, const Request &, Response &);

// Entries of one name table (user contexts, virtual servers, DNS entries, interfaces).
inline constexpr size_t kMaxNamedEntries = 256;

// Adds entry to a name table, or removes the entry that matches; refuses a name that is taken or
// missing, and an addition to a full table.
template <class T, class Match>
int32_t ChangeNameTable(std::vector<T> &list, Match match, bool add, T entry) {
    const auto it = std::find_if(list.begin(), list.end(), match);
    if (add) {
        if (it != list.end()) return tools::kNameTaken;
        if (list.size() >= kMaxNamedEntries) return tools::kLimitReached;
        list.push_back(std::move(entry));
    } else {
        if (it == list.end()) return tools::kNoSuchEntry;
        list.erase(it);
    }
    return tools::kOk;
}

// ---- Request elements ----

// Payload of element `index` when it has the given type and, when `size` is not 0, exactly that
// length.
std::optional<std::span<const uint8_t>> Payload(const Request &req, size_t index, uint8_t type,
                                                size_t size);
// The request must carry exactly these elements (type, length; length 0 = any).
bool Shape(const Request &req, std::initializer_list<std::pair<uint8_t, size_t>> shape);

template <class T>
T Record(std::span<const uint8_t> bytes) {
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

// The record of a request that carries it as its one element, of the given type.
template <class T>
std::optional<T> OnlyRecord(const Request &req, uint8_t type) {
    if (!Shape(req, {{type, sizeof(T)}})) return std::nullopt;
    return Record<T>(req.elements[0].payload);
}

// A request whose one element is a fixed record, then data the record describes.
template <class T>
struct RecordThenData {
    T record;
    std::span<const uint8_t> data;
};
template <class T>
std::optional<RecordThenData<T>> OnlyRecordThenData(const Request &req, uint8_t type) {
    const auto p = Payload(req, 0, type, 0);
    if (!p || req.elements.size() != 1 || p->size() < sizeof(T)) return std::nullopt;
    return RecordThenData<T>{Record<T>(*p), p->subspan(sizeof(T))};
}

// The text of a request's one element, of the given type and width.
std::optional<std::string> OnlyText(const Request &req, uint8_t type, size_t width);

// The verdict on a name a request carries: malformed when it could not be read (no
// terminator), an invalid value when empty or not printable text of at most maxLen characters.
int32_t CheckName(const std::optional<std::string> &name, size_t maxLen);

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

void Append(std::vector<uint8_t> &out, const void *data, size_t size);

// A reply payload: a fixed head, then the rest.
template <class Head>
std::vector<uint8_t> HeadThen(const Head &head, const std::vector<uint8_t> &rest) {
    std::vector<uint8_t> out;
    Append(out, &head, sizeof head);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

// A switch value: 0 or 1.
bool Switch(int32_t value);

// "VOLUME:/path" split at its first colon.
struct VolumePath {
    std::string volume;
    std::string path;
};
std::optional<VolumePath> SplitVolumePath(std::string_view text);
// True when path lies in dir (both normalised within one volume).
bool UnderPath(const std::string &path, const std::string &dir);

// ---- Records more than one object answers with ----

ShareParams ShareRecord(const Share &s);
ShareParams VolumeRecord(const Volume &v);
// Files connection c holds open in the share or volume called name.
uint32_t FilesInShare(const Connection &c, const State &st, const std::string &name);

enum class RecordKind { kList, kDetails, kFiles };
// A connection record: the fixed part, then for details the security equivalences, and for
// details and file lists the given open files.
std::vector<uint8_t> ConnectionBytes(const Context &ctx, const Connection &c, RecordKind kind,
                                     const std::vector<const OpenFile *> &files);
std::vector<const OpenFile *> AllFiles(const Connection &c);
// The connection a request names by its ID alone, or the status that says why there is none.
int32_t ConnectionOf(Context &ctx, const Request &req, Connection **out);

// ---- Handlers ----

// Shares (shares.cpp).
int32_t ShareNames(Context &ctx, const Request &req, Response &out);
int32_t ShareDetails(Context &ctx, const Request &req, Response &out);
int32_t ShareAdd(Context &ctx, const Request &req, Response &out);
int32_t ShareModify(Context &ctx, const Request &req, Response &out);
int32_t ShareRemove(Context &ctx, const Request &req, Response &out);
int32_t ShareSwitch(Context &ctx, const Request &req, Response &out);

// Connections (connections.cpp).
int32_t ConnectionCount(Context &ctx, const Request &req, Response &out);
int32_t ConnectionList(Context &ctx, const Request &req, Response &out);
int32_t ConnectionDetails(Context &ctx, const Request &req, Response &out);
int32_t MappedShares(Context &ctx, const Request &req, Response &out);
int32_t CryptoKeysOfConnection(Context &ctx, const Request &req, Response &out);
int32_t ClearConnections(Context &ctx, const Request &req, Response &out);

// Open files (open_files.cpp).
int32_t ListFiles(Context &ctx, const Request &req, Response &out);
int32_t CloseByPath(Context &ctx, const Request &req, Response &out);
int32_t CloseByConnection(Context &ctx, const Request &req, Response &out);
int32_t CloseByVolume(Context &ctx, const Request &req, Response &out);
int32_t OpenFilesByRecord(Context &ctx, const Request &req, Response &out);

// The invalid-user cache (invalid_users.cpp).
int32_t IucTimeout(Context &ctx, const Request &req, Response &out);
int32_t InvalidUserChange(Context &ctx, const Request &req, Response &out);
int32_t InvalidUserCache(Context &ctx, const Request &req, Response &out);
int32_t InvalidUsersByRecord(Context &ctx, const Request &req, Response &out);

// User contexts (user_contexts.cpp).
int32_t UserContextList(Context &ctx, const Request &req, Response &out);
int32_t UserContextChange(Context &ctx, const Request &req, Response &out);

// Server settings (settings.cpp).
int32_t VirtualServer(Context &ctx, const Request &req, Response &out);
int32_t DnsEntry(Context &ctx, const Request &req, Response &out);
int32_t Interface(Context &ctx, const Request &req, Response &out);
int32_t ShareVolumesByDefault(Context &ctx, const Request &req, Response &out);
int32_t QuotaSyncRequest(Context &ctx, const Request &req, Response &out);
int32_t QuotaViewRequest(Context &ctx, const Request &req, Response &out);
int32_t DfsReferralCache(Context &ctx, const Request &req, Response &out);
int32_t Cache(Context &ctx, const Request &req, Response &out);
int32_t DumpStatistics(Context &ctx, const Request &req, Response &out);
int32_t ConfigurationDump(Context &ctx, const Request &req, Response &out);
int32_t ServerStatus(Context &ctx, const Request &req, Response &out);
int32_t SetOption(Context &ctx, const Request &req, Response &out);

}  // namespace share::sim::handlers
