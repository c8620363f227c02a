// SPDX-License-Identifier: Apache-2.0
#include "client/records.h"

#include <malloc.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "client/text.h"
#include "common/server_formats.h"

namespace share::client {
namespace {

template <class T>
T At(std::span<const uint8_t> bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// Text starting at offset within bytes, up to its NUL; nullopt when no NUL follows.
std::optional<std::string> TextAt(std::span<const uint8_t> bytes, size_t offset) {
    if (offset >= bytes.size()) return std::nullopt;
    const auto *start = bytes.data() + offset;
    const void *nul = std::memchr(start, 0, bytes.size() - offset);
    if (nul == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char *>(start),
                       static_cast<size_t>(static_cast<const uint8_t *>(nul) - start));
}

}  // namespace

std::string AccessName(uint32_t mode) {
    std::string out;
    if (mode & tools::kAccessRead) out += "read";
    if (mode & tools::kAccessWrite) out += out.empty() ? "write" : "+write";
    return out.empty() ? "-" : out;
}

namespace {

// The share types a tool names; any other type reads as "other".
constexpr std::pair<uint16_t, const char *> kShareTypes[] = {{SHARE_TYPE_VOLUME, "volume"},
                                                             {SHARE_TYPE_ADMIN, "admin"},
                                                             {SHARE_TYPE_DIRECTORY, "directory"},
                                                             {STYPE_GDFS, "gdfs"}};
constexpr const char *kOtherShareType = "other";

}  // namespace

const char *ShareTypeName(uint16_t type) {
    for (const auto &[code, name] : kShareTypes)
        if (code == type) return name;
    return kOtherShareType;
}

std::vector<std::string> ShareTypeNames() {
    std::vector<std::string> names;
    for (const auto &[code, name] : kShareTypes) names.emplace_back(name);
    names.emplace_back(kOtherShareType);
    return names;
}

uint16_t ShareRecordType(const ShareParams &r) {
    const auto name = FieldString(r.shareName);
    const auto volume = FieldString(r.volumeName);
    // The same type as the library derives for its share list (shareadmin/api.h).
    uint16_t type = static_cast<uint16_t>(r.volumeType & 0xFFFF);
    if (type == 0 && name != volume)
        type = SHARE_TYPE_DIRECTORY;
    else if (type == 0 &&
             (strcasecmp(name.c_str(), "_admin") == 0 || strcasecmp(name.c_str(), "ADMIN") == 0))
        type = SHARE_TYPE_ADMIN;
    else if (type == 0 && (r.modifyMask & 0x02) != 0)
        type = STYPE_GDFS;
    return type;
}

std::optional<ShareReply> DecodeShareReply(const std::vector<ReplyElement> &elements) {
    std::optional<ShareReply> reply;
    long clients = -1;
    for (const auto &el : elements) {
        if (el.type == CIFS_ELEM_SHARE_RECORD && el.payload.size() >= sizeof(ShareParams) &&
            !reply) {
            reply.emplace();
            std::memcpy(&reply->record, el.payload.data(), sizeof reply->record);
        } else if (el.type == CIFS_ELEM_SHARE_EXTRA) {
            const std::string text(el.payload.begin(),
                                   std::find(el.payload.begin(), el.payload.end(), 0));
            if (text.rfind("clients=", 0) == 0) ParseNumber(text.substr(8), 0, 65535, &clients);
        }
    }
    if (reply && clients >= 0) reply->clients = clients;
    return reply;
}

std::optional<std::vector<std::string>> SecurityEquivalences(std::span<const uint8_t> block,
                                                             uint32_t count) {
    std::vector<std::string> out;
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const auto dn = TextAt(block, at);
        if (!dn) return std::nullopt;
        at += dn->size() + 1;
        out.push_back(*dn);
    }
    return out;
}

std::optional<ConnectionInfo> DecodeConnectionInfo(std::span<const uint8_t> payload,
                                                   bool withSecurity) {
    if (payload.size() < sizeof(ConnectionRecord)) return std::nullopt;
    ConnectionInfo d;
    ConnectionRecord &r = d.record;
    std::memcpy(&r, payload.data(), sizeof r);
    size_t at = sizeof r;
    if (r.secEquivLength > payload.size() - at) return std::nullopt;
    if (withSecurity) {
        d.securityEquivalences =
            SecurityEquivalences(payload.subspan(at, r.secEquivLength), r.secEquivCount);
        if (!d.securityEquivalences) return std::nullopt;
    }
    at += r.secEquivLength;
    for (uint32_t i = 0; i < r.openFileCount; ++i) {
        if (payload.size() - at < 8) return std::nullopt;
        const auto id = At<uint32_t>(payload, at);
        const auto mode = At<uint32_t>(payload, at + 4);
        const auto name = TextAt(payload, at + 8);
        if (!name) return std::nullopt;
        d.files.push_back({id, mode, *name});
        at += 8 + name->size() + 1;
    }
    return d;
}

std::optional<OpenFiles> DecodeOpenFiles(std::span<const uint8_t> reply) {
    if (reply.size() < sizeof(tools::OpenFilesReplyHead)) return std::nullopt;
    const auto head = At<tools::OpenFilesReplyHead>(reply, 0);
    OpenFiles out;
    out.total = head.totalMatches;
    size_t at = sizeof head;
    for (uint32_t i = 0; i < head.entryCount; ++i) {
        if (reply.size() - at < sizeof(tools::OpenFileEntryHead)) return std::nullopt;
        const auto e = At<tools::OpenFileEntryHead>(reply, at);
        if (e.entryBytes < sizeof e || e.entryBytes > reply.size() - at) return std::nullopt;
        const auto strings = reply.subspan(at, e.entryBytes).subspan(sizeof e);
        const auto user = TextAt(strings, e.userOffset);
        const auto address = TextAt(strings, e.addressOffset);
        const auto path = TextAt(strings, e.pathOffset);
        const auto volume = TextAt(strings, e.volumeOffset);
        if (!user || !address || !path || !volume) return std::nullopt;
        out.files.push_back(
            {e.connectionId, e.fileId, e.accessMode, *user, *address, *path, *volume, e.openedAt});
        at += e.entryBytes;
    }
    return out;
}

std::vector<uint8_t> OpenFilesRequestRecord(const tools::OpenFilesQuery &query,
                                            const std::string &strings) {
    tools::OpenFilesQuery q = query;
    q.stringBytes = static_cast<uint32_t>(strings.size());
    std::vector<uint8_t> record(sizeof q + strings.size());
    std::memcpy(record.data(), &q, sizeof q);
    std::memcpy(record.data() + sizeof q, strings.data(), strings.size());
    return record;
}

std::vector<uint8_t> VolumeFilesRequest(const std::string &volume) {
    tools::OpenFilesQuery q{};
    q.nameOffset = 0;
    return OpenFilesRequestRecord(q, volume + '\0');
}

std::optional<OpenFiles> TakeOpenFiles(void *reply) {
    if (reply == nullptr) return std::nullopt;
    const size_t block = malloc_usable_size(reply);
    tools::OpenFilesReplyHead head{};
    if (block >= sizeof head) std::memcpy(&head, reply, sizeof head);
    auto files = DecodeOpenFiles(
        {static_cast<const uint8_t *>(reply), std::min<size_t>(head.totalBytes, block)});
    std::free(reply);
    return files;
}

std::optional<InvalidUsers> TakeInvalidUsers(void *list) {
    if (list == nullptr) return std::nullopt;
    auto users = DecodeInvalidUsers({static_cast<const uint8_t *>(list), malloc_usable_size(list)});
    std::free(list);
    return users;
}

std::string ShareInfoText(const ShareInfo &info, uint32_t offset) {
    if (offset >= info.stringBytes) return "";
    return FieldString(SHARE_INFO_TEXT(&info, offset), info.stringBytes - offset);
}

std::optional<InvalidUsers> DecodeInvalidUsers(std::span<const uint8_t> list) {
    if (list.size() < sizeof(tools::InvalidUserListHead)) return std::nullopt;
    const auto head = At<tools::InvalidUserListHead>(list, 0);
    if (head.entryCount > (list.size() - sizeof head) / sizeof(tools::InvalidUserEntry))
        return std::nullopt;
    InvalidUsers out{head.timeoutMinutes, head.totalMatches, {}};
    for (uint32_t i = 0; i < head.entryCount; ++i) {
        const auto e =
            At<tools::InvalidUserEntry>(list, sizeof head + i * sizeof(tools::InvalidUserEntry));
        out.users.push_back(
            {FieldString(e.name), e.permanent != 0, e.failedLogons, e.addedAt, e.expiresAt});
    }
    return out;
}

std::optional<std::vector<std::string>> UserContexts(std::span<const uint8_t> data) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < data.size()) {
        const auto text = TextAt(data, at);
        if (!text) return std::nullopt;
        out.push_back(*text);
        at += text->size() + 1;
    }
    return out;
}

}  // namespace share::client
