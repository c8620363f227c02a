// SPDX-License-Identifier: Apache-2.0
// The server's invalid-user cache: list it by a caller's request; add a permanent invalid user,
// remove one, make one permanent.
#include <cerrno>

#include "admin/api/exchange.h"
#include "shareadmin/api.h"

namespace share::api {
namespace {

struct UserAction {
    int32_t action;
    const char *notReceived;
    const char *refused;  // user name, status
};

constexpr UserAction kAddPermanent = {
    CIFS_ACT_ADD,
    "CIFSLIB: Not received request parameter to add a default/permanent invalid user.",
    "CIFSLIB: Failed to add user as a default/permanent invalid user: %s, error: %d"};
constexpr UserAction kRemove = {
    CIFS_ACT_REMOVE, "CIFSLIB: Not received request parameter to remove an invalid user.",
    "CIFSLIB: Failed to remove user as an invalid user: %s, error: %d"};
constexpr UserAction kMakePermanent = {
    CIFS_ACT_MAKE_PERMANENT,
    "CIFSLIB: Not received request parameter to make an invalid user to be a permanent invalid "
    "user.",
    "CIFSLIB: Failed to make an invalid user as a permanent invalid user: %s, error: %d"};

// Entries (CMD_INVALID_USER_CACHE, null), (action, null), (CIFS_OPT_NAME, copy of the name), end.
int RunUserAction(const UserAction &a, const char *userName) noexcept {
    if (userName == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", a.notReceived);
        return -1;
    }
    Command cmd(CMD_INVALID_USER_CACHE);
    cmd.Add(a.action);
    if (!cmd.AddCopy(CIFS_OPT_NAME, userName)) {
        const int error = errno;
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to allocate memory to store user name: %s, error: %d",
                            userName, error);
        return -1;
    }
    cmd.End();
    return RunForStatus(cmd,
                        [&](int32_t status) { SHARE_LOG_CLI_ERROR(a.refused, userName, status); });
}

}  // namespace
}  // namespace share::api

using namespace share;
using namespace share::api;

extern "C" SHARE_API int CIFSLIB_ListInvalidUsers(void *request, void **list) noexcept {
    if (request == nullptr || list == nullptr) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Not received request parameter to list invalid users.");
        return -1;
    }
    Command cmd(CMD_INVALID_USER_CACHE);
    cmd.AddBorrowed(CIFS_ACT_LIST_INVALID_USERS, request);
    cmd.End();
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to list invalid users, error: %d", status);
        }))
        return rc;
    if (answer.step != Step::kElement) return -1;
    Element &e = answer.element;
    if (e.type != CIFS_ELEM_INVALID_USERS) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Invalid data type received in the response packet: %u, expected: %u",
            static_cast<unsigned>(e.type), static_cast<unsigned>(CIFS_ELEM_INVALID_USERS));
        return -1;
    }
    *list = e.payload.release();
    return 0;
}

extern "C" SHARE_API int CIFSLIB_AddPermanentInvalidUser(const char *userName) noexcept {
    return RunUserAction(kAddPermanent, userName);
}

extern "C" SHARE_API int CIFSLIB_RemoveInvalidUser(const char *userName) noexcept {
    return RunUserAction(kRemove, userName);
}

extern "C" SHARE_API int CIFSLIB_MakePermanentInvalidUser(const char *userName) noexcept {
    return RunUserAction(kMakePermanent, userName);
}
