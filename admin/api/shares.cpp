// SPDX-License-Identifier: Apache-2.0
// Share queries: the names of all shares, and one information record per share.
#include <cstdlib>
#include <cstring>

#include "admin/api/exchange.h"
#include "admin/api/records.h"
#include "shareadmin/api.h"

namespace share::api {
namespace {

char *NameSlot(ShareNameList *list, size_t i) noexcept {
    return reinterpret_cast<char *>(list) + offsetof(ShareNameList, names) +
           i * SHARE_NAME_SLOT_SIZE;
}

// Appends the records of one share's details answer. 0, -1, or the server's status.
int AppendShareDetails(ShareInfoList *list, size_t capacity, const char *name) noexcept {
    Command cmd(CMD_SHARE);
    cmd.Add(CIFS_ACT_LIST);
    if (!cmd.AddCopy(CIFS_OPT_NAME, name)) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to allocate memory to store share name: %s", name);
        return -1;
    }
    cmd.EndThrough(3);
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Listing of all volumes/shares failed, error: %d", status);
        }))
        return rc;
    if (answer.step == Step::kEnd) {
        SHARE_LOG_CLI_DEBUG(
            "CIFSLIB: No data is available in the response packet to store share information "
            "of: %s",
            name);
        return -1;
    }
    for (; answer.step == Step::kElement; answer.Next()) {
        const Element &e = answer.element;
        if (e.type == CIFS_ELEM_SHARE_EXTRA) continue;
        if (e.type != CIFS_ELEM_SHARE_RECORD || !IsShareRecord(e.Bytes())) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: Invalid data type '%u' in response packet to list share information "
                "of: %s",
                e.type, name);
            return -1;
        }
        if (list->count >= capacity) continue;  // one record per name: extras are dropped
        CPtr<ShareInfo> info = BuildShareInfo(e.Bytes(), VolumeTypeRule::kListed);
        if (!info) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: Failed to allocate memory of %lu bytes to fill information of share: "
                "%s",
                static_cast<unsigned long>(ShareInfoSize(e.Bytes())), name);
            return -1;
        }
        AppendShareInfo(list, std::move(info));
    }
    return answer.step == Step::kFailed ? -1 : 0;
}

}  // namespace
}  // namespace share::api

using namespace share;
using namespace share::api;

extern "C" SHARE_API int CIFSLIB_GetShareNames(ShareNameList **sharesList) noexcept {
    if (sharesList == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Not received sharesList parameter to fill names of all the shares.");
        return -1;
    }
    Command cmd(CMD_SHARE);
    cmd.Add(CIFS_ACT_LIST);
    cmd.EndThrough(2);
    // The element count sizes the list before the first element is read.
    Answer answer;
    if (int rc = RunForAnswer(cmd, answer.response, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Listing names of all volumes/shares failed, error: %d",
                                status);
        }))
        return rc;
    const int count = RespPktGetNumberOfData(answer.response.get());
    if (count < 0) return -1;
    if (count == 0) {
        SHARE_LOG_CLI_DEBUG("CIFSLIB: No shares exist on the server");
        return 0;
    }

    const size_t slots = static_cast<size_t>(count);
    const size_t size = slots * SHARE_NAME_SLOT_SIZE + offsetof(ShareNameList, names);
    CPtr<ShareNameList> list(static_cast<ShareNameList *>(std::calloc(1, size)));
    if (!list) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to allocate memory of %lu bytes to fill share names",
                            static_cast<unsigned long>(size));
        return -1;
    }
    list->count = static_cast<uint32_t>(count);

    if (answer.Start() == Step::kEnd) {
        SHARE_LOG_CLI_DEBUG(
            "CIFSLIB: No data is available in the response packet to list the shares");
        return -1;
    }
    size_t used = 0;
    for (; answer.step == Step::kElement; answer.Next()) {
        const Element &e = answer.element;
        if (e.type != CIFS_ELEM_NAME) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: Invalid data type '%u' in response packet of listing all share names",
                e.type);
            continue;
        }
        if (used < slots) CopyNameToSlot(NameSlot(list.get(), used++), e.Bytes());
    }
    if (answer.step == Step::kFailed) return -1;
    *sharesList = list.release();
    return 0;
}

extern "C" SHARE_API int CIFSLIB_ListAllShares(ShareInfoList **sharesList) noexcept {
    if (sharesList == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Not received sharesList parameter to fill information of all the shares.");
        return -1;
    }
    ShareNameList *rawNames = nullptr;
    const int rc = CIFSLIB_GetShareNames(&rawNames);
    if (rc != 0) return rc;
    const CPtr<ShareNameList> names(rawNames);
    const size_t capacity = names ? names->count : 0;

    const size_t size = ShareInfoListSize(capacity);
    InfoList list(static_cast<ShareInfoList *>(std::calloc(1, size)));
    if (!list) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Failed to allocate memory of %lu bytes to fill information of all shares",
            static_cast<unsigned long>(size));
        return -1;
    }
    for (size_t i = 0; i < capacity; ++i) {
        const int result = AppendShareDetails(list.get(), capacity, NameSlot(names.get(), i));
        if (result != 0) return result;
    }
    *sharesList = list.release();
    return 0;
}
