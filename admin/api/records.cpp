// SPDX-License-Identifier: Apache-2.0
// Share record (CIFS_ELEM_SHARE_RECORD), as the server answers share queries; offsets within the
// payload, texts NUL-terminated within their fields:
//
//   0     u16   type code (0: none; the library derives one)
//   16    u32   server value                    -> shareValue
//   20    u32   flag word; 0x02 marks a GDFS volume
//   44    text  volume name [65]
//   109   text  share name [81]
//   271   text  comment [48]
//   482   text  path within the volume [512]
//   994   text  auxiliary text [4150]
//   5144  i32   folder redirection, non-zero on
//   5148  i32   encrypt data, non-zero on
//   5156  u8    ATM backup
//   5160  u32   mapped value (mapped-shares listing only)
//
// ShareInfo string area, in this physical order: name, volume, path, auxiliary text, comment,
// each with its terminator.
#include "admin/api/records.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "admin/api/exchange.h"
#include "protocol/wire.h"
#include "shareadmin/context.h"

namespace share::api {
namespace {

constexpr size_t kTypeCode = offsetof(ShareParams, volumeType);
constexpr size_t kServerValue = offsetof(ShareParams, serverValue);
constexpr size_t kFlagWord = offsetof(ShareParams, modifyMask);
constexpr size_t kFolderRedirection = offsetof(ShareParams, folderRedirection);
constexpr size_t kEncryptData = offsetof(ShareParams, encryptData);
constexpr size_t kAtmBackup = offsetof(ShareParams, atmBackup);
constexpr size_t kMappedValue = 5160;
constexpr uint32_t kGdfsFlag = 0x02;
static_assert(kMappedValue + 4 <= offsetof(ShareParams, mfaShareLevel));

struct TextField {
    size_t offset;
    size_t size;
};

// The five texts in string-area order.
enum Text { kName, kVolume, kPath, kAux, kComment, kTextCount };
constexpr TextField kTextFields[kTextCount] = {
    {offsetof(ShareParams, shareName), sizeof(ShareParams::shareName)},
    {offsetof(ShareParams, volumeName), sizeof(ShareParams::volumeName)},
    {offsetof(ShareParams, sharePath), sizeof(ShareParams::sharePath)},
    {offsetof(ShareParams, auxText), sizeof(ShareParams::auxText)},
    {offsetof(ShareParams, comment), sizeof(ShareParams::comment)},
};

// A text of the record, ending at its NUL or at the end of its field.
std::string_view TextOf(std::span<const uint8_t> record, Text which) noexcept {
    const TextField f = kTextFields[which];
    const auto *p = reinterpret_cast<const char *>(record.data() + f.offset);
    return {p, strnlen(p, f.size)};
}

uint32_t U32(std::span<const uint8_t> record, size_t offset) noexcept {
    return *wire::LoadU32(record, offset);
}

uint16_t DeriveVolumeType(std::span<const uint8_t> record, std::string_view name,
                          std::string_view volume, VolumeTypeRule rule) noexcept {
    const auto code = static_cast<uint16_t>(U32(record, kTypeCode) & 0xFFFFu);
    if (code != 0) return code;
    if (name != volume) return SHARE_TYPE_DIRECTORY;
    if (rule == VolumeTypeRule::kMapped) return SHARE_TYPE_VOLUME;
    // name is a whole field cut at its NUL; compare it as the C string it is.
    char text[sizeof(ShareParams::shareName) + 1] = {};
    std::memcpy(text, name.data(), name.size());
    if (strcasecmp(text, "_admin") == 0 || strcasecmp(text, "ADMIN") == 0) return SHARE_TYPE_ADMIN;
    if ((U32(record, kFlagWord) & kGdfsFlag) != 0) {
        SHARE_LOG_CLI(CIFS_LOG_EVENT, "******** setting volumeType to STYPE_GDFS ************");
        return STYPE_GDFS;
    }
    return SHARE_TYPE_VOLUME;
}

}  // namespace

bool IsShareRecord(std::span<const uint8_t> payload) noexcept {
    return payload.size() >= sizeof(ShareParams);
}

size_t ShareInfoSize(std::span<const uint8_t> record) noexcept {
    size_t size = SHARE_INFO_FIXED_SIZE;
    for (int t = 0; t < kTextCount; ++t) size += TextOf(record, static_cast<Text>(t)).size() + 1;
    return size;
}

CPtr<ShareInfo> BuildShareInfo(std::span<const uint8_t> record, VolumeTypeRule rule) noexcept {
    const size_t size = ShareInfoSize(record);
    CPtr<ShareInfo> info(static_cast<ShareInfo *>(std::calloc(1, size)));
    if (!info) return info;

    char *area = reinterpret_cast<char *>(info.get()) + SHARE_INFO_FIXED_SIZE;
    uint32_t offsets[kTextCount] = {};
    uint32_t used = 0;
    for (int t = 0; t < kTextCount; ++t) {
        const std::string_view text = TextOf(record, static_cast<Text>(t));
        offsets[t] = used;
        std::memcpy(area + used, text.data(), text.size());
        used += static_cast<uint32_t>(text.size() + 1);  // the block is zeroed: terminator stays
    }
    info->nameOffset = offsets[kName];
    info->volumeOffset = offsets[kVolume];
    info->pathOffset = offsets[kPath];
    info->auxTextOffset = offsets[kAux];
    info->commentOffset = offsets[kComment];
    info->stringBytes = used;

    info->volumeType =
        DeriveVolumeType(record, TextOf(record, kName), TextOf(record, kVolume), rule);
    info->shareValue = U32(record, kServerValue);
    info->encryptData = U32(record, kEncryptData) != 0 ? 1 : 0;
    info->folderRedirection = U32(record, kFolderRedirection) != 0 ? 1 : 0;
    info->atmBackup = record[kAtmBackup];
    if (rule == VolumeTypeRule::kMapped) info->mappedValue = U32(record, kMappedValue);
    return info;
}

size_t ShareInfoListSize(size_t capacity) noexcept {
    return offsetof(ShareInfoList, entries) + capacity * sizeof(ShareInfo *);
}

ShareInfo *ShareInfoAt(const ShareInfoList *list, size_t i) noexcept {
    ShareInfo *info;
    std::memcpy(&info, reinterpret_cast<const char *>(list) + ShareInfoListSize(i), sizeof info);
    return info;
}

void AppendShareInfo(ShareInfoList *list, CPtr<ShareInfo> info) noexcept {
    ShareInfo *raw = info.release();
    std::memcpy(reinterpret_cast<char *>(list) + ShareInfoListSize(list->count), &raw, sizeof raw);
    ++list->count;
}

void ShareInfoListDeleter::operator()(ShareInfoList *list) const noexcept {
    for (size_t i = 0; i < list->count; ++i) std::free(ShareInfoAt(list, i));
    std::free(list);
}

void CopyNameToSlot(char *slot, std::span<const uint8_t> name) noexcept {
    const size_t limit = std::min(name.size(), size_t{SHARE_NAME_SLOT_SIZE - 1});
    const auto *text = reinterpret_cast<const char *>(name.data());
    std::memcpy(slot, text, strnlen(text, limit));
}

}  // namespace share::api
