// SPDX-License-Identifier: Apache-2.0
// Share configuration: create, change, change features, remove. Each turns the caller's
// ShareInfo into share command entries and lets the pipeline validate and send them; the server
// answers with a status only.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin/api/exchange.h"
#include "shareadmin/api.h"
#include "shareadmin/context.h"

namespace share::api {
namespace {

// A caller's modifyMask reaches the server as the share command's modify bits.
static_assert(SHARE_MODIFY_NEW_NAME == CIFS_MODIFY_NEW_NAME);
static_assert(SHARE_MODIFY_PATH == CIFS_MODIFY_PATH);
static_assert(SHARE_MODIFY_COMMENT == CIFS_MODIFY_COMMENT);
static_assert(SHARE_MODIFY_ENCRYPT_DATA == CIFS_MODIFY_ENCRYPT_DATA);
static_assert(SHARE_MODIFY_FOLDER_REDIRECTION == CIFS_MODIFY_FOLDER_REDIRECTION);
static_assert(SHARE_MODIFY_ATM_BACKUP == CIFS_MODIFY_ATM_BACKUP);

constexpr size_t kMaxName = 80;
constexpr size_t kMaxComment = 47;
constexpr uint32_t kSwitchBits =
    SHARE_MODIFY_ENCRYPT_DATA | SHARE_MODIFY_FOLDER_REDIRECTION | SHARE_MODIFY_ATM_BACKUP;

char *TextAt(ShareInfo *info, uint32_t offset) noexcept {
    return reinterpret_cast<char *>(info) + SHARE_INFO_FIXED_SIZE + offset;
}

// The messages that differ between creating and changing a share.
struct Messages {
    const char *nameCopy;        // name
    const char *pathCopy;        // name, share path
    const char *commentTooLong;  // name, comment
    const char *commentCopy;     // name, comment
    const char *switchCopy[3];   // name; encrypt data, folder redirection, ATM backup
};

constexpr Messages kCreate = {
    "CIFSLIB: Failed to allocate memory to store share name for creating a new share: %s",
    // The share path is logged as its two parts, which reads the same as "%s:%s".
    "CIFSLIB: Failed to allocate memory to store Zelm path for creating a new share: %s <%s:%s>",
    "CIFSLIB: Comment exceeds 47 characters long to create a new share: %s <%s>",
    "CIFSLIB: Failed to allocate memory to store share comment for creating a new share: %s <%s>",
    {"CIFSLIB: Failed to allocate memory to store encrypt-data status for creating a new share: %s",
     "CIFSLIB: Failed to allocate memory to store folder-redirection status for creating a new "
     "share: %s",
     "CIFSLIB: Failed to allocate memory to store atm-backup status for creating a new share: "
     "%s"},
};

constexpr Messages kChange = {
    "CIFSLIB: Failed to allocate memory to store share name for changing share configuration: %s",
    "CIFSLIB: Failed to allocate memory to store Zelm path for changing share configuration: %s "
    "<%s:%s>",
    "CIFSLIB: Comment exceeds 47 characters long for changing share configuration: %s <%s>",
    "CIFSLIB: Failed to allocate memory to store comment for changing share configuration: %s <%s>",
    {"CIFSLIB: Failed to allocate memory to store encrypt-data status for changing share "
     "configuration: %s",
     "CIFSLIB: Failed to allocate memory to store folder-redirection status for changing share "
     "configuration: %s",
     "CIFSLIB: Failed to allocate memory to store atm-backup status for changing share "
     "configuration: %s"},
};

struct SwitchField {
    uint32_t bit;
    int32_t code;
    uint8_t ShareInfo::*field;
};
constexpr SwitchField kSwitches[3] = {
    {SHARE_MODIFY_ENCRYPT_DATA, CIFS_OPT_ENCRYPT_DATA, &ShareInfo::encryptData},
    {SHARE_MODIFY_FOLDER_REDIRECTION, CIFS_OPT_FOLDER_REDIRECTION, &ShareInfo::folderRedirection},
    {SHARE_MODIFY_ATM_BACKUP, CIFS_OPT_ATM_BACKUP, &ShareInfo::atmBackup},
};

// Entries 0 to 2: the share command, its action and a copy of the share name.
bool StartCommand(Command &cmd, int32_t action, const char *name, const char *copyFailed) noexcept {
    cmd.Add(action);
    if (cmd.AddCopy(CIFS_OPT_NAME, name)) return true;
    SHARE_LOG_CLI_ERROR(copyFailed, name);
    return false;
}

// "volume:path", in one block of exactly its size.
bool AddSharePath(Command &cmd, ShareInfo *info, const char *name, const Messages &msg) noexcept {
    const char *volume = TextAt(info, info->volumeOffset);
    const char *path = TextAt(info, info->pathOffset);
    const size_t size = std::strlen(volume) + 1 + std::strlen(path) + 1;
    CString text(static_cast<char *>(std::malloc(size)));
    if (text) std::snprintf(text.get(), size, "%s:%s", volume, path);
    if (cmd.AddOwned(CIFS_OPT_PATH, std::move(text))) return true;
    SHARE_LOG_CLI_ERROR(msg.pathCopy, name, volume, path);
    return false;
}

// The comment, with its trailing spaces removed in the caller's record.
bool AddComment(Command &cmd, ShareInfo *info, const char *name, const Messages &msg) noexcept {
    char *comment = TextAt(info, info->commentOffset);
    stripSpaces(comment);
    if (std::strlen(comment) > kMaxComment) {
        SHARE_LOG_CLI_ERROR(msg.commentTooLong, name, comment);
        return false;
    }
    if (cmd.AddCopy(CIFS_OPT_COMMENT, comment)) return true;
    SHARE_LOG_CLI_ERROR(msg.commentCopy, name, comment);
    return false;
}

bool AddSwitches(Command &cmd, const ShareInfo *info, uint32_t mask, const char *name,
                 const Messages &msg) noexcept {
    for (size_t i = 0; i < std::size(kSwitches); ++i) {
        const SwitchField &s = kSwitches[i];
        if ((mask & s.bit) == 0) continue;
        if (!cmd.AddCopy(s.code, info->*s.field != 0 ? "YES" : "NO")) {
            SHARE_LOG_CLI_ERROR(msg.switchCopy[i], name);
            return false;
        }
    }
    return true;
}

// Ends the entries and runs the command, logging a refusal with the share name.
int Finish(Command &cmd, const char *refused, const char *name) noexcept {
    cmd.End();
    return RunForStatus(cmd, [&](int32_t status) { SHARE_LOG_CLI_ERROR(refused, name, status); });
}

int Change(ShareInfo *info, uint32_t mask, const char *refused) noexcept {
    if (info == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Not received shareInfo parameter to change share configuration.");
        return -1;
    }
    const char *name = TextAt(info, info->nameOffset);
    Command cmd(CMD_SHARE);
    if (!StartCommand(cmd, CIFS_ACT_MODIFY, name, kChange.nameCopy)) return -1;

    if ((mask & SHARE_MODIFY_NEW_NAME) != 0) {
        const char *newName = TextAt(info, info->newNameOffset);
        if (std::strlen(newName) > kMaxName) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: New name exceeds 80 characters long for changing share configuration: "
                "%s",
                name);
            return -1;
        }
        if (stringHasOnlyPeriods(newName) != 0) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: Invalid new name provided for changing share configuration: %s", name);
            return -1;
        }
        if (!cmd.AddCopy(CIFS_OPT_NEW_NAME, newName)) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: Failed to allocate memory to store new name for changing share "
                "configuration: %s",
                name);
            return -1;
        }
    }
    if ((mask & SHARE_MODIFY_PATH) != 0 && !AddSharePath(cmd, info, name, kChange)) return -1;
    if ((mask & SHARE_MODIFY_COMMENT) != 0 && !AddComment(cmd, info, name, kChange)) return -1;
    if (!AddSwitches(cmd, info, mask, name, kChange)) return -1;
    return Finish(cmd, refused, name);
}

}  // namespace
}  // namespace share::api

using namespace share;
using namespace share::api;

extern "C" SHARE_API int CIFSLIB_CreateShare(ShareInfo *shareInfo) noexcept {
    if (shareInfo == nullptr) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Not received shareInfo parameter to create a new share.");
        return -1;
    }
    const char *name = TextAt(shareInfo, shareInfo->nameOffset);
    if (std::strlen(name) > kMaxName) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Name exceeds 80 characters long to create a new share: %s",
                            name);
        return -1;
    }
    if (stringHasOnlyPeriods(name) != 0) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Invalid name provided to create a new share: %s", name);
        return -1;
    }
    Command cmd(CMD_SHARE);
    if (!StartCommand(cmd, CIFS_ACT_ADD, name, kCreate.nameCopy)) return -1;
    if (!AddSharePath(cmd, shareInfo, name, kCreate)) return -1;
    if (shareInfo->commentOffset != SHARE_INFO_NO_COMMENT &&
        !AddComment(cmd, shareInfo, name, kCreate))
        return -1;
    if (!AddSwitches(cmd, shareInfo, kSwitchBits, name, kCreate)) return -1;
    return Finish(cmd, "CIFSLIB: Failed to create/add a new share: %s, error: %d", name);
}

extern "C" SHARE_API int CIFSLIB_ChangeShareConfiguration(ShareInfo *shareInfo) noexcept {
    return Change(shareInfo, shareInfo != nullptr ? shareInfo->modifyMask : 0,
                  "CIFSLIB: Failed to change configuration of share: %s, error: %d");
}

extern "C" SHARE_API int CIFSLIB_ChangeShareFeatureConfiguration(ShareInfo *shareInfo) noexcept {
    return Change(shareInfo, shareInfo != nullptr ? shareInfo->modifyMask & kSwitchBits : 0,
                  "CIFSLIB: Failed to change feature configuration of share: %s, error: %d");
}

extern "C" SHARE_API int CIFSLIB_RemoveShare(ShareInfo *shareInfo) noexcept {
    if (shareInfo == nullptr) return -1;
    const char *name = TextAt(shareInfo, shareInfo->nameOffset);
    Command cmd(CMD_SHARE);
    if (!StartCommand(cmd, CIFS_ACT_REMOVE, name,
                      "CIFSLIB: Failed to allocate memory to store share name for removing "
                      "share: %s"))
        return -1;
    return Finish(cmd, "CIFSLIB: Failed to remove share: %s, error: %d", name);
}
