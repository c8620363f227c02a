// SPDX-License-Identifier: Apache-2.0
// Client connections: their count, every record, one connection's record with its
// security-equivalence block, and the shares one connection has mapped.
//
// Connection record (CIFS_ELEM_CONNECTION): a 418-byte fixed part (ConnectionRecord); the details
// answer appends the security-equivalence block of secEquivLength bytes at offset 418.
#include <cstdlib>
#include <cstring>

#include "admin/api/exchange.h"
#include "admin/api/records.h"
#include "protocol/wire.h"
#include "shareadmin/api.h"

namespace share::api {
namespace {

// Entries (CMD_CONNECTIONS, null), (action, value), end, end: the connections command with a copy
// of the connection number where one is given.
bool ConnectionsCommand(Command &cmd, int32_t action, const char *number) noexcept {
    if (number == nullptr) {
        cmd.Add(action);
    } else if (!cmd.AddCopy(action, number)) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to allocate memory to parse connection number.");
        return false;
    }
    cmd.EndThrough(3);
    return true;
}

// The whole record, and, when `withBlock`, the security-equivalence block behind it.
bool IsDetailsReply(const Element &e, bool withBlock) noexcept {
    if (e.type != CIFS_ELEM_CONNECTION || !IsConnectionRecord(e.Bytes())) return false;
    if (!withBlock) return true;
    const auto length = wire::LoadU32(e.Bytes(), offsetof(ConnectionRecord, secEquivLength));
    return wire::Fits(e.length, CIFS_CONNECTION_RECORD_SIZE, *length);
}

struct ConnectionListDeleter {
    void operator()(ConnectionList *list) const noexcept {
        std::free(list->records);
        std::free(list);
    }
};

constexpr const char *kNoConnections = "CIFSLIB: There are no Active CIFS client Connections.";
constexpr const char *kInvalidType =
    "CIFSLIB: Internal error - Invalid data type in the response packet. type: %d";
constexpr const char *kMissing = "CIFSLIB: Expected packet type is missing.";

}  // namespace
}  // namespace share::api

using namespace share;
using namespace share::api;

extern "C" SHARE_API int CIFSLIB_GetConnectionsCount(int32_t *count) noexcept {
    if (count == nullptr) return -1;
    Command cmd(CMD_CONNECTIONS);
    cmd.EndThrough(3);
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Not able to get total connections count. error: %d",
                                status);
        }))
        return rc;
    if (answer.step == Step::kFailed) return -1;
    const Element &e = answer.element;
    if (answer.step == Step::kEnd) {
        SHARE_LOG_CLI(CIFS_LOG_INFO, "%s", kNoConnections);
        *count = 0;
        return 0;
    }
    const auto value = wire::LoadU32(e.Bytes(), 0);
    if (e.type != CIFS_ELEM_CONNECTION || !value) {
        SHARE_LOG_CLI_ERROR("Invalid data type in the response packet");
        return -1;
    }
    *count = static_cast<int32_t>(*value);
    return 0;
}

extern "C" SHARE_API int CIFSLIB_GetConnectionDetails(const char *connectionNumber, void *record,
                                                      void **sevBlock) noexcept {
    if (connectionNumber == nullptr || record == nullptr) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Invalid input parameters.");
        return -1;
    }
    Command cmd(CMD_CONNECTIONS);
    if (!ConnectionsCommand(cmd, CIFS_ACT_CONNECTION, connectionNumber)) return -1;
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to get connection detail. error: %d", status);
        }))
        return rc;
    if (answer.step == Step::kFailed) return -1;
    const Element &e = answer.element;
    if (answer.step == Step::kEnd) {
        SHARE_LOG_CLI(CIFS_LOG_INFO, "%s", kNoConnections);
        return 0;
    }
    if (!IsDetailsReply(e, sevBlock != nullptr)) {
        SHARE_LOG_CLI_DEBUG(kInvalidType, e.type);
        return 0;
    }
    std::memcpy(record, e.payload.get(), CIFS_CONNECTION_RECORD_SIZE);
    if (sevBlock == nullptr) return 0;

    uint32_t length;
    std::memcpy(&length, e.payload.get() + offsetof(ConnectionRecord, secEquivLength),
                sizeof length);
    // At least one byte, so that an empty block is still a block.
    void *block = std::calloc(1, length != 0 ? length : 1);
    if (block == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Failed to allocate memory for SEV information. Requested Memory: %lu bytes",
            static_cast<unsigned long>(length));
        return 0;
    }
    std::memcpy(block, e.payload.get() + CIFS_CONNECTION_RECORD_SIZE, length);
    *sevBlock = block;
    return 0;
}

extern "C" SHARE_API int CIFSLIB_GetConnectionsList(ConnectionList **list) noexcept {
    if (list == nullptr) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: CIFSLIB_GetConnectionsList: Invalid output parameters.");
        return -1;
    }
    int32_t count = 0;
    if (CIFSLIB_GetConnectionsCount(&count) != 0 || count < 0) {
        SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to get connections count.");
        return -1;
    }
    std::unique_ptr<ConnectionList, ConnectionListDeleter> result(
        static_cast<ConnectionList *>(std::calloc(1, sizeof(ConnectionList))));
    if (!result) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Failed to allocate memory for Connection list object. Requested Memory: %lu "
            "bytes",
            static_cast<unsigned long>(sizeof(ConnectionList)));
        return -1;
    }
    const auto slots = static_cast<size_t>(count);
    result->count = count;
    result->records = std::calloc(slots != 0 ? slots : 1, CIFS_CONNECTION_RECORD_SIZE);
    if (result->records == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Failed to allocate memory for Connection Information. Requested Memory: %lu "
            "bytes",
            static_cast<unsigned long>(slots * CIFS_CONNECTION_RECORD_SIZE));
        return -1;
    }

    Command cmd(CMD_CONNECTIONS);
    ConnectionsCommand(cmd, CIFS_ACT_LIST, nullptr);
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Listing of Connections Failed. error: %d", status);
        }))
        return rc;
    const Element &e = answer.element;
    if (answer.step == Step::kFailed) return -1;
    if (answer.step == Step::kEnd) {
        SHARE_LOG_CLI_DEBUG("%s", kNoConnections);
        return 0;
    }
    auto *records = static_cast<uint8_t *>(result->records);
    size_t filled = 0;
    // Once every record is filled, the element read next is dropped whatever it holds.
    while (answer.step == Step::kElement && filled < slots) {
        if (e.type == CIFS_ELEM_CONNECTION && IsConnectionRecord(e.Bytes()))
            std::memcpy(records + filled++ * CIFS_CONNECTION_RECORD_SIZE, e.payload.get(),
                        CIFS_CONNECTION_RECORD_SIZE);
        else
            SHARE_LOG_CLI_DEBUG(kInvalidType, e.type);
        answer.Next();
    }
    if (answer.step == Step::kFailed && filled < slots) return -1;
    *list = result.release();
    return 0;
}

extern "C" SHARE_API int CIFSLIB_GetConnectionMappedShares(const char *connectionNumber,
                                                           ShareInfoList **sharesList) noexcept {
    if (connectionNumber == nullptr || sharesList == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Not received connection number and sharesList parameter to fill "
            "information of mapped shares.");
        return -1;
    }
    Command cmd(CMD_CONNECTIONS);
    if (!ConnectionsCommand(cmd, CIFS_ACT_MAPPED_SHARES, connectionNumber)) return -1;
    Answer answer;
    if (int rc = RunQuery(cmd, answer, [&](int32_t status) {
            SHARE_LOG_CLI_ERROR("CIFSLIB: Failed to get connection mapped shares. error: %d",
                                status);
        }))
        return rc;
    const Element &e = answer.element;
    if (answer.step == Step::kFailed) return -1;
    const auto announced = answer.step == Step::kElement ? wire::LoadU32(e.Bytes(), 0) : 0u;
    if (answer.step == Step::kElement && (e.type != CIFS_ELEM_CONNECTION || !announced)) {
        SHARE_LOG_CLI(CIFS_LOG_INFO, "%s", kMissing);
        return -1;
    }
    if (*announced == 0) {  // also when no element came
        SHARE_LOG_CLI(CIFS_LOG_INFO, "CIFSLIB: There are no mapped shares by this connection %s.",
                      connectionNumber);
        return -1;
    }
    const size_t capacity = *announced;
    const size_t size = ShareInfoListSize(capacity);
    InfoList result(static_cast<ShareInfoList *>(std::calloc(1, size)));
    if (!result) {
        SHARE_LOG_CLI_ERROR(
            "CIFSLIB: Failed to allocate memory of %lu bytes to fill information of mapped "
            "shares",
            static_cast<unsigned long>(size));
        return -1;
    }
    answer.Next();
    if (answer.step == Step::kFailed) return -1;
    if (answer.step == Step::kEnd) {
        SHARE_LOG_CLI(CIFS_LOG_INFO, "%s", kMissing);
        return -1;
    }
    for (; answer.step == Step::kElement; answer.Next()) {
        if (e.type != CIFS_ELEM_SHARE_RECORD || !IsShareRecord(e.Bytes())) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: Invalid data type '%u' in response packet to list share information",
                e.type);
            return -1;
        }
        CPtr<ShareInfo> info = BuildShareInfo(e.Bytes(), VolumeTypeRule::kMapped);
        if (!info) {
            SHARE_LOG_CLI_ERROR(
                "CIFSLIB: Failed to allocate memory of %lu bytes to fill information of share",
                static_cast<unsigned long>(ShareInfoSize(e.Bytes())));
            return -1;
        }
        AppendShareInfo(result.get(), std::move(info));
        if (result->count == capacity) break;
    }
    if (answer.step == Step::kFailed) return -1;
    *sharesList = result.release();
    return 0;
}
