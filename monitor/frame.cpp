// SPDX-License-Identifier: Apache-2.0
// The monitoring request frame: building and exchanging a request record, and the reply
// mechanics every Ext_* function shares.
#include "monitor/frame.h"

#include <cstring>

namespace share::monitor {
namespace {

enum class Param { kNone, kConnectionId, kText };

struct FrameRow {
    uint8_t function;
    Param param;
    uint8_t type;
    const char *failure;  // logged when the element cannot be appended
};

constexpr const char kByConnectionListFailure[] =
    "Failed to process listing of files by connection. Error while inserting data into request "
    "packet structure";
constexpr const char kByConnectionCloseFailure[] =
    "Failed to process listing/closing of files by connection. Error while inserting data into "
    "request packet structure";
constexpr const char kTextFailure[] =
    "Failed to process listing of files. Error while inserting data into request packet "
    "structure";

constexpr FrameRow kFrames[] = {
    {CIFS_FN_MON_LIST_VOLUMES, Param::kNone, 0, nullptr},
    {CIFS_FN_MON_LIST_CONNECTIONS, Param::kNone, 0, nullptr},
    {CIFS_FN_MON_CONNECTION_DETAILS, Param::kConnectionId, CIFS_ELEM_CONNECTION,
     kByConnectionListFailure},
    {CIFS_FN_MON_CLOSE_BY_CONNECTION, Param::kConnectionId, CIFS_ELEM_CONNECTION,
     kByConnectionCloseFailure},
    {CIFS_FN_MON_VOLUME_FILES, Param::kText, CIFS_ELEM_TEXT, kTextFailure},
    {CIFS_FN_MON_CLOSE_BY_PATH, Param::kText, CIFS_ELEM_TEXT, kTextFailure},
    {CIFS_FN_MON_CLOSE_BY_VOLUME, Param::kText, CIFS_ELEM_TEXT, kTextFailure},
};

const FrameRow *FindFrame(uint8_t function) noexcept {
    for (const FrameRow &row : kFrames) {
        if (row.function == function) return &row;
    }
    return nullptr;
}

// Appends the row's element; false after logging the row's message.
bool AppendParam(const FrameRow &row, const CmdContext &record, ReqPkt *pkt) noexcept {
    ReqPkt *done = nullptr;
    switch (row.param) {
        case Param::kNone:
            // The protocol layer reports a packet it cannot touch.
            return ReqPktSetNumberOfData(pkt, 0) != nullptr;
        case Param::kConnectionId: {
            const uint16_t id = record.params.connectionId;
            done = ReqPktInsertData(pkt, row.type, sizeof id, &id);
            break;
        }
        case Param::kText: {
            const char *text = record.params.pathRef;
            if (text != nullptr) {
                done = ReqPktInsertData(pkt, row.type, static_cast<uint32_t>(std::strlen(text) + 1),
                                        text);
            }
            break;
        }
    }
    if (done == nullptr) SHARE_LOG_CLI_ERROR("%s", row.failure);
    return done != nullptr;
}

}  // namespace

CmdContext NewRecord(uint8_t function) noexcept {
    CmdContext record;
    std::memset(&record, 0, sizeof record);
    record.functionId = function;
    return record;
}

CmdContext NewRecord(uint8_t function, int32_t connectionNumber) noexcept {
    CmdContext record = NewRecord(function);
    record.params.connectionId = static_cast<uint16_t>(connectionNumber);  // low 16 bits
    return record;
}

CmdContext NewRecord(uint8_t function, const char *text) noexcept {
    CmdContext record = NewRecord(function);
    record.params.pathRef = const_cast<char *>(text);  // read only, during the call
    return record;
}

int Exchange(CmdContext &record, const char *refusal, ResponsePtr &response) noexcept {
    RespPkt *reply = nullptr;
    if (BuildAndReceiveReply(&record, &reply) != 0) return -1;
    ResponsePtr owned(reply);
    const std::optional<int32_t> status = ResponseStatus(owned.get());
    if (!status) return -1;
    if (*status != 0) {
        SHARE_LOG_CLI_ERROR(refusal, *status);
        return *status;
    }
    response = std::move(owned);
    return 0;
}

Copied CopyTexts(TextWalk &walk, size_t count, size_t skip, const TextArrayMessages &messages,
                 char **&array) noexcept {
    // Every entry takes at least its skipped bytes and a NUL.
    if (count > walk.Remaining() / (skip + 1)) return Copied::kMalformed;
    array = static_cast<char **>(std::calloc(count, sizeof(char *)));
    if (array == nullptr) {
        SHARE_LOG_CLI_ERROR(messages.array, static_cast<unsigned long>(count * sizeof(char *)));
        return Copied::kNoMemory;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!walk.Skip(skip)) return Copied::kMalformed;
        const auto text = walk.Next();
        if (!text) return Copied::kMalformed;
        const size_t size = text->size() + 1;
        array[i] = static_cast<char *>(std::malloc(size));
        if (array[i] == nullptr) {
            SHARE_LOG_CLI_ERROR(messages.text, static_cast<unsigned long>(size));
            return Copied::kNoMemory;
        }
        std::memcpy(array[i], text->data(), text->size());
        array[i][text->size()] = '\0';
    }
    return Copied::kDone;
}

}  // namespace share::monitor

using share::RequestPtr;
using share::monitor::FindFrame;

extern "C" SHARE_API int FillReqPkt(CmdContext *record, ReqPkt *pkt) noexcept {
    if (record == nullptr || pkt == nullptr) return -1;
    const auto *row = FindFrame(record->functionId);
    if (row == nullptr) {
        SHARE_LOG_CLI_ERROR(
            "Failed to populate request packet with command line data. Invalid option requested");
        return -1;
    }
    return share::monitor::AppendParam(*row, *record, pkt) ? 0 : -1;
}

extern "C" SHARE_API int BuildAndReceiveReply(CmdContext *record, RespPkt **responseOut) noexcept {
    if (record == nullptr || responseOut == nullptr) return -1;
    ReqPkt *created = ReqPktInsertComponentID(record->componentId);
    if (created == nullptr) return -1;
    // On failure the packet has already been released by the protocol layer.
    if (ReqPktInsertFunctionID(created, record->functionId) == nullptr) return -1;
    RequestPtr request(created);
    if (FillReqPkt(record, request.get()) != 0) return -1;
    return SendAndReceiveIPC(request.get(), responseOut);
}
