// SPDX-License-Identifier: Apache-2.0
// Decoding of what the server and the library hand back into JSON objects and text. Every
// decoder checks lengths first: a short or inconsistent payload yields nullopt, never a read
// past its end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/cli.h"
#include "shareadm/pipeline.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"

namespace share::shareadm {

using tools::Json;

const char *ShareTypeName(uint16_t type);

// A ShareInfo from the library. withMapped adds "open_files" (the mapped-shares listing).
Json ShareInfoJson(const ShareInfo &info, bool withMapped = false);
// A share record (ShareParams) straight from the server.
Json ShareRecordJson(const ShareParams &record);
// The share record of a share listing's reply with its "clients" count when the server sent
// one; nullopt without a record.
std::optional<Json> ShareReplyJson(const std::vector<ReplyElement> &elements);
std::string ShareDetails(const Json &share);

Json ConnectionJson(const ConnectionRecord &record);
std::string ConnectionDetails(const Json &connection);

// A connection record followed by its open-file entries (no security-equivalence block unless
// withSecurity): the record's JSON with "files" added.
std::optional<Json> ConnectionWithFiles(std::span<const uint8_t> payload, bool withSecurity);
// The security-equivalence block: count NUL-terminated DNs within length bytes.
std::optional<std::vector<std::string>> SecurityEquivalences(std::span<const uint8_t> block,
                                                             uint32_t count);

// The server's open-files reply.
std::optional<Json> OpenFilesJson(std::span<const uint8_t> reply);

// The server's invalid-user list.
std::optional<Json> InvalidUsersJson(std::span<const uint8_t> list);

// The user-context data: NUL-terminated texts back to back.
std::optional<std::vector<std::string>> UserContexts(std::span<const uint8_t> data);

}  // namespace share::shareadm
