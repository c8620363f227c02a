// SPDX-License-Identifier: Apache-2.0
// Open files (list by a caller's request, close one, close a volume's) and user contexts.
#include <cstdlib>
#include <cstring>

#include "admin/api/exchange.h"
#include "protocol/wire.h"
#include "shareadmin/api.h"

namespace share::api {
namespace {

const char *TextAt(const void *record, size_t fixedSize, uint32_t offset) noexcept {
    return static_cast<const char *>(record) + fixedSize + offset;
}

// Adds or removes a user context: entries (CMD_USER_CONTEXTS, null), (action, copy), end, end.
int ChangeUserContext(const char *context, int32_t action, const char *invalid,
                      const char *refused) noexcept {
    if (context == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", invalid);
        return -1;
    }
    Command cmd(CMD_USER_CONTEXTS);
    if (!cmd.AddCopy(action, context)) return -1;
    cmd.EndThrough(3);
    return RunForStatus(cmd, [&](int32_t status) { SHARE_LOG_CLI_ERROR(refused, status); });
}

// The user-context reply: an 8-byte header and dataLength bytes that must lie inside it.
bool IsUserContextReply(const Element &e) noexcept {
    if (e.type != CIFS_ELEM_USER_CONTEXTS) return false;
    const auto length = wire::LoadU32(e.Bytes(), offsetof(UserContextHeader, dataLength));
    return length && wire::Fits(e.length, sizeof(UserContextHeader), *length);
}

}  // namespace
}  // namespace share::api

using namespace share;
using namespace share::api;

extern "C" SHARE_API int CIFSLIB_ListOpenFiles(OpenFilesRequest *request, void **reply) noexcept {
    if (request == nullptr || reply == nullptr) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Not received request parameter to list open files.");
        return -1;
    }
    Command cmd(CMD_FILES);
    cmd.Add(CIFS_ACT_LIST);
    cmd.Add(CIFS_OPT_LIST_MODIFIER);
    cmd.AddBorrowed(CIFS_OPT_REQUEST_RECORD, request);
    cmd.End();
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            if (request->nameOffset == OPEN_FILES_BY_CONNECTION)
                SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to list open files of: %hu, error: %d",
                                    static_cast<unsigned short>(request->connectionId), status);
            else
                SHARE_LOG_CLI_ERROR(
                    "CIFSLIB: Failed to list open files of: %s, error: %d",
                    TextAt(request, OPEN_FILES_REQUEST_FIXED_SIZE, request->nameOffset), status);
        }))
        return rc;
    if (answer.step != Step::kElement) return -1;
    Element &e = answer.element;
    if (e.type != CIFS_ELEM_OPEN_FILES) {
        SHARE_LOG_CLI_DEBUG("CIFSLIB: Invalid data type received in the response packet: %d",
                            e.type);
        return -1;
    }
    *reply = e.payload.release();
    return 0;
}

extern "C" SHARE_API int CIFSLIB_CloseOpenFile(OpenFileInfo *openFileInfo) noexcept {
    if (openFileInfo == nullptr) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Not received openFileInfo parameter to close an open file.");
        return -1;
    }
    const char *path = TextAt(openFileInfo, OPEN_FILE_INFO_FIXED_SIZE, openFileInfo->pathOffset);
    Command cmd(CMD_FILES);
    cmd.Add(CIFS_ACT_CLOSE);
    if (!cmd.AddCopy(CIFS_OPT_PATH, path)) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to allocate memory to store full path of the file: %s",
                            path);
        return -1;
    }
    cmd.End();
    return RunForStatus(cmd, [&](int32_t status) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to close file: %s, error: %d", path, status);
    });
}

extern "C" SHARE_API int CIFSLIB_CloseAllOpenFiles(ShareInfo *shareInfo) noexcept {
    if (shareInfo == nullptr) return -1;
    const char *volume = TextAt(shareInfo, SHARE_INFO_FIXED_SIZE, shareInfo->volumeOffset);
    Command cmd(CMD_FILES);
    cmd.Add(CIFS_ACT_CLOSE);
    if (!cmd.AddCopy(CIFS_OPT_VOLUME, volume)) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Failed to allocate memory to store share name for closing open files of "
            "volume: %s",
            volume);
        return -1;
    }
    cmd.End();
    return RunForStatus(cmd, [](int32_t) {});
}

extern "C" SHARE_API int CIFSLIB_ListUserContexts(UserContextHeader **header,
                                                  void **data) noexcept {
    if (header == nullptr || data == nullptr) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: CIFSLIB_ListUserContexts: Invalid output parameters.");
        return -1;
    }
    Command cmd(CMD_USER_CONTEXTS);
    cmd.Add(CIFS_ACT_LIST);
    cmd.EndThrough(3);
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Listing of user contexts Failed. error: %d", status);
        }))
        return rc;
    if (answer.step == Step::kFailed) return -1;
    const Element &e = answer.element;
    if (answer.step == Step::kEnd) {
        SHARE_LOG_CLI_DEBUG("CIFSLIB: There are no user contexts.");
        return 0;
    }
    if (!IsUserContextReply(e)) {
        SHARE_LOG_CLI_DEBUG(
            "CIFSLIB: Internal error - Invalid data type in the response packet. type: %d", e.type);
        return -1;
    }
    CPtr<UserContextHeader> head(
        static_cast<UserContextHeader *>(std::calloc(1, sizeof(UserContextHeader))));
    if (!head) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to allocate memory of %lu bytes to user contexts",
                            static_cast<unsigned long>(sizeof(UserContextHeader)));
        return -1;
    }
    std::memcpy(head.get(), e.payload.get(), sizeof(UserContextHeader));
    const uint32_t length = head->dataLength;
    // At least one byte, so that an empty list is still a block the caller can tell from none.
    CPtr<void> contexts(std::calloc(1, length != 0 ? length : 1));
    if (!contexts) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to allocate memory of %u bytes to user contexts",
                            length);
        return -1;
    }
    std::memcpy(contexts.get(), e.payload.get() + sizeof(UserContextHeader), length);
    *header = head.release();
    *data = contexts.release();
    return 0;
}

extern "C" SHARE_API int CIFSLIB_AddUserContext(const char *context) noexcept {
    return ChangeUserContext(context, CIFS_ACT_ADD,
                             "CIFSLIB: CIFSLIB_AddUserContext: Invalid output parameters.",
                             "CIFSLIB: Adding of user context Failed. error: %d");
}

extern "C" SHARE_API int CIFSLIB_RemoveUserContext(const char *context) noexcept {
    return ChangeUserContext(context, CIFS_ACT_REMOVE,
                             "CIFSLIB: CIFSLIB_RemoveUserContext: Invalid output parameters.",
                             "CIFSLIB: Removing of user context Failed. error: %d");
}
