// SPDX-License-Identifier: Apache-2.0
// Decoders of the records the server sends: share records into ShareInfo, name elements into
// name slots, connection records. Each checks the element's length before it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "protocol/memory.h"
#include "shareadmin/api.h"

namespace share::api {

// Share record (CIFS_ELEM_SHARE_RECORD) decoding, shared by the share listing and the mapped-shares
// listing.
enum class VolumeTypeRule {
    kListed,  // server code, else directory / admin / GDFS flag / volume
    kMapped,  // server code, else directory / volume
};

// True when the payload holds a whole share record.
bool IsShareRecord(std::span<const uint8_t> payload) noexcept;
// Bytes of the ShareInfo that a whole share record yields.
size_t ShareInfoSize(std::span<const uint8_t> record) noexcept;
// The ShareInfo of a whole share record, one zero-filled block of ShareInfoSize bytes; null when
// it cannot be allocated.
CPtr<ShareInfo> BuildShareInfo(std::span<const uint8_t> record, VolumeTypeRule rule) noexcept;
// ShareInfoList: pointers at 4 + 8 x i, unaligned, so accessed bytewise.
size_t ShareInfoListSize(size_t capacity) noexcept;
ShareInfo *ShareInfoAt(const ShareInfoList *list, size_t i) noexcept;
// Stores `info` as entry `count` and counts it; the list must have room.
void AppendShareInfo(ShareInfoList *list, CPtr<ShareInfo> info) noexcept;

// Releases the list's count records, then the list.
struct ShareInfoListDeleter {
    void operator()(ShareInfoList *list) const noexcept;
};
using InfoList = std::unique_ptr<ShareInfoList, ShareInfoListDeleter>;

// Copies a name element into a zeroed name slot of SHARE_NAME_SLOT_SIZE bytes, cut to 81
// characters; the slot keeps its NUL.
void CopyNameToSlot(char *slot, std::span<const uint8_t> name) noexcept;

// True when the payload holds a whole connection record.
inline bool IsConnectionRecord(std::span<const uint8_t> payload) noexcept {
    return payload.size() >= CIFS_CONNECTION_RECORD_SIZE;
}

}  // namespace share::api
