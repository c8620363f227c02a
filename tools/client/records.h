// SPDX-License-Identifier: Apache-2.0
// The server's replies and the library's records as typed records, each format decoded here
// once. Every decoder checks lengths first: a short or inconsistent payload yields nullopt,
// never a read past its end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "client/pipeline.h"
#include "common/server_formats.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"

namespace share::client {

const char *ShareTypeName(uint16_t type);
// Every name ShareTypeName gives, "other" last.
std::vector<std::string> ShareTypeNames();
// A share record's type, derived as the library derives it for its share list.
uint16_t ShareRecordType(const ShareParams &record);
// A share's type from the library's share list, as text.
inline const char *ShareTypeName(const ShareInfo &info) {
    return ShareTypeName(info.volumeType);
}

// A share listing's reply: the share's record and its client count when the server sent one.
struct ShareReply {
    ShareParams record;
    std::optional<long> clients;
};
std::optional<ShareReply> DecodeShareReply(const std::vector<ReplyElement> &elements);

// "read", "write", "read+write" or "-".
std::string AccessName(uint32_t mode);

// A connection record followed by its security equivalences (when asked for) and the
// open-file entries.
struct ConnectionFile {
    uint32_t fileId;
    uint32_t accessMode;
    std::string path;
};
struct ConnectionInfo {
    ConnectionRecord record;
    std::optional<std::vector<std::string>> securityEquivalences;
    std::vector<ConnectionFile> files;
};
std::optional<ConnectionInfo> DecodeConnectionInfo(std::span<const uint8_t> payload,
                                                   bool withSecurity);
// The security-equivalence block: count NUL-terminated DNs within length bytes.
std::optional<std::vector<std::string>> SecurityEquivalences(std::span<const uint8_t> block,
                                                             uint32_t count);

// The server's open-files reply.
struct OpenFile {
    uint16_t connection;
    uint32_t fileId;
    uint32_t accessMode;
    std::string user, address, path, volume;
    uint64_t openedAt;
};
struct OpenFiles {
    uint32_t total = 0;
    std::vector<OpenFile> files;
};
std::optional<OpenFiles> DecodeOpenFiles(std::span<const uint8_t> reply);

// CIFSLIB_ListOpenFiles's request record: the query, then its strings.
std::vector<uint8_t> OpenFilesRequestRecord(const tools::OpenFilesQuery &query,
                                            const std::string &strings);
// The request for every open file of a volume. Where the monitoring library's volume list
// stops at 65,535 files a connection (its count is 16 bits), this reply counts in 32 bits.
std::vector<uint8_t> VolumeFilesRequest(const std::string &volume);

// The open files in the block CIFSLIB_ListOpenFiles hands over (freed here): its length is
// not handed over, the reply's header states it, bounded by the block. nullopt for no block.
std::optional<OpenFiles> TakeOpenFiles(void *reply);

// The server's invalid-user list.
struct InvalidUser {
    std::string name;
    bool permanent;
    uint32_t failedLogons;
    uint64_t addedAt, expiresAt;
};
struct InvalidUsers {
    uint32_t timeoutMinutes = 0;
    uint32_t total = 0;
    std::vector<InvalidUser> users;
};
std::optional<InvalidUsers> DecodeInvalidUsers(std::span<const uint8_t> list);

// The same from the block CIFSLIB_ListInvalidUsers hands over (freed here).
std::optional<InvalidUsers> TakeInvalidUsers(void *list);

// A text of a ShareInfo's string area at offset ("" outside it).
std::string ShareInfoText(const ShareInfo &info, uint32_t offset);

// The user-context data: NUL-terminated texts back to back.
std::optional<std::vector<std::string>> UserContexts(std::span<const uint8_t> data);

}  // namespace share::client
