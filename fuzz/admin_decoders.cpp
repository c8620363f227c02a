// SPDX-License-Identifier: Apache-2.0
// Every management function, fed fuzzed answers. The first byte picks the function; the rest are
// the answers of its exchanges, in order (see harness.h).
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fuzz/harness.h"
#include "shareadmin/api.h"
#include "shareadmin/command.h"
#include "shareadmin/protocol.h"
#include "tests/support/records.h"

namespace {

using share::test::CallerShare;
using share::test::InvalidUsersRequestOf;
using share::test::OpenFileOf;
using share::test::OpenFilesRequestOf;

void FreeShareInfoList(ShareInfoList *list) {
    if (list == nullptr) return;
    for (uint32_t i = 0; i < list->count; ++i) {
        ShareInfo *entry;
        std::memcpy(&entry, reinterpret_cast<char *>(list) + 4 + 8 * i, sizeof entry);
        std::free(entry);
    }
    std::free(list);
}

// The string area of the caller-built request records.
constexpr std::string_view kRequestStrings("VOL1:/dir/file\0", 16);

void ShareNames() {
    ShareNameList *names = nullptr;
    if (CIFSLIB_GetShareNames(&names) == 0) std::free(names);
}

void AllShares() {
    ShareInfoList *list = nullptr;
    if (CIFSLIB_ListAllShares(&list) == 0) FreeShareInfoList(list);
}

void OpenFiles() {
    auto req = OpenFilesRequestOf(kRequestStrings);
    void *reply = nullptr;
    if (CIFSLIB_ListOpenFiles(req.Get(), &reply) == 0) std::free(reply);
}

void OpenFilesOfConnection() {
    auto req = OpenFilesRequestOf(kRequestStrings, OPEN_FILES_BY_CONNECTION, 70000);
    void *reply = nullptr;
    if (CIFSLIB_ListOpenFiles(req.Get(), &reply) == 0) std::free(reply);
}

void UserContexts() {
    UserContextHeader *header = nullptr;
    void *data = nullptr;
    if (CIFSLIB_ListUserContexts(&header, &data) == 0) {
        std::free(header);
        std::free(data);
    }
}

void ConnectionsCount() {
    int32_t count = 0;
    CIFSLIB_GetConnectionsCount(&count);
}

void ConnectionsList() {
    ConnectionList *list = nullptr;
    if (CIFSLIB_GetConnectionsList(&list) == 0 && list != nullptr) {
        std::free(list->records);
        std::free(list);
    }
}

void ConnectionDetails() {
    ConnectionRecord record{};
    void *sev = nullptr;
    if (CIFSLIB_GetConnectionDetails("7", &record, &sev) == 0) std::free(sev);
}

void ConnectionRecordOnly() {
    ConnectionRecord record{};
    CIFSLIB_GetConnectionDetails("7", &record, nullptr);
}

void MappedShares() {
    ShareInfoList *list = nullptr;
    if (CIFSLIB_GetConnectionMappedShares("7", &list) == 0) FreeShareInfoList(list);
}

void InvalidUsers() {
    auto req = InvalidUsersRequestOf(kRequestStrings);
    void *list = nullptr;
    if (CIFSLIB_ListInvalidUsers(req.Get(), &list) == 0) std::free(list);
}

void CreateShare() {
    CIFSLIB_CreateShare(CallerShare().Get());
}
void ChangeShare() {
    CIFSLIB_ChangeShareConfiguration(CallerShare().Get());
}
void ChangeFeatures() {
    CIFSLIB_ChangeShareFeatureConfiguration(CallerShare().Get());
}
void RemoveShare() {
    CIFSLIB_RemoveShare(CallerShare().Get());
}
void CloseAllOfShare() {
    CIFSLIB_CloseAllOpenFiles(CallerShare().Get());
}

void CloseFile() {
    CIFSLIB_CloseOpenFile(OpenFileOf(std::string_view("VOL1:/d/f", 10)).Get());
}

void AddContext() {
    CIFSLIB_AddUserContext("ou=users,o=example");
}
void RemoveContext() {
    CIFSLIB_RemoveUserContext("ou=users,o=example");
}
void AddInvalidUser() {
    CIFSLIB_AddPermanentInvalidUser("guest");
}
void RemoveInvalidUser() {
    CIFSLIB_RemoveInvalidUser("guest");
}
void MakePermanent() {
    CIFSLIB_MakePermanentInvalidUser("guest");
}

// Selector byte -> call. Keep the order: the committed corpus names its selector.
constexpr void (*kCalls[])() = {
    ShareNames,
    AllShares,
    OpenFiles,
    UserContexts,
    ConnectionsCount,
    ConnectionsList,
    ConnectionDetails,
    MappedShares,
    InvalidUsers,
    AddContext,
    RemoveInvalidUser,
    CreateShare,
    ChangeShare,
    ChangeFeatures,
    RemoveShare,
    CloseFile,
    CloseAllOfShare,
    RemoveContext,
    AddInvalidUser,
    MakePermanent,
    ConnectionRecordOnly,
    OpenFilesOfConnection,
};
constexpr size_t kCallCount = sizeof kCalls / sizeof kCalls[0];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return share::fuzz::Initialize(true);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    share::fuzz::RunSelected({data, size},
                             [](uint8_t selector) { kCalls[selector % kCallCount](); });
    return 0;
}
