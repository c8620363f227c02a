// The monitoring request frame: building and exchanging a request record, and the reply
// mechanics every Ext_* function shares.
#include "monitor/frame.h"

#include <cstdarg>
#include <cstring>

namespace share::monitor {
namespace {

void LogAt(int level, const char *fmt, va_list args) noexcept {
    if ((gCIFSLogLevel & static_cast<uint32_t>(level)) == 0) return;
    cifsLogVarArgs(level, CIFS_MODULE_CLI, fmt, args);
}

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
    if (done == nullptr) LogError("%s", row.failure);
    return done != nullptr;
}

int32_t Status(const RespPkt &reply) noexcept {
    int32_t status;
    std::memcpy(&status, reply.buffer, sizeof status);
    return status;
}

}  // namespace

void LogError(const char *fmt, ...) noexcept {
    va_list args;
    va_start(args, fmt);
    LogAt(CIFS_LOG_ERROR, fmt, args);
    va_end(args);
}

void LogDebug(const char *fmt, ...) noexcept {
    va_list args;
    va_start(args, fmt);
    LogAt(CIFS_LOG_DEBUG, fmt, args);
    va_end(args);
}

void PacketDeleter::operator()(ReqPkt *pkt) const noexcept {
    std::free(pkt->buffer);
    std::free(pkt);
}

void PacketDeleter::operator()(RespPkt *pkt) const noexcept {
    std::free(pkt->buffer);
    std::free(pkt);
}

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
    if (owned->buffer == nullptr || owned->capacity < CIFS_RESP_HEADER_SIZE) return -1;
    const int32_t status = Status(*owned);
    if (status != 0) {
        LogError(refusal, status);
        return status;
    }
    response = std::move(owned);
    return 0;
}

bool ElementWalk::ElementFitsAt(const uint8_t *at) const noexcept {
    uint32_t bodyLength;
    std::memcpy(&bodyLength, pkt_->buffer + 8, sizeof bodyLength);
    const uint64_t end =
        std::min<uint64_t>(pkt_->capacity, uint64_t{CIFS_RESP_HEADER_SIZE} + bodyLength);
    if (at == nullptr || at < pkt_->buffer) return false;
    const auto offset = static_cast<uint64_t>(at - pkt_->buffer);
    if (offset + CIFS_ELEMENT_HEADER_SIZE > end) return false;
    uint32_t length;
    std::memcpy(&length, at + 4, sizeof length);
    return offset + CIFS_ELEMENT_HEADER_SIZE + length <= end;
}

Step ElementWalk::Next(Element &element) noexcept {
    element.payload.reset();
    const uint8_t *at = started_ ? pkt_->cursor : pkt_->buffer + CIFS_RESP_HEADER_SIZE;
    uint32_t length = 0;
    uint8_t type = 0;
    void *payload = started_ ? RespPktGetNextData(pkt_, &length, &type)
                             : RespPktGetFirstData(pkt_, &length, &type);
    started_ = true;
    if (payload == nullptr) {
        // A complete element where the walk stood means its copy could not be allocated.
        return ElementFitsAt(at) ? Step::kNoMemory : Step::kEnd;
    }
    element.type = type;
    element.length = length;
    element.payload.reset(static_cast<uint8_t *>(payload));
    return Step::kElement;
}

Copied CopyTexts(TextWalk &walk, size_t count, size_t skip, const TextArrayMessages &messages,
                 char **&array) noexcept {
    // Every entry takes at least its skipped bytes and a NUL.
    if (count > walk.Remaining() / (skip + 1)) return Copied::kMalformed;
    array = static_cast<char **>(std::calloc(count, sizeof(char *)));
    if (array == nullptr) {
        LogError(messages.array, static_cast<unsigned long>(count * sizeof(char *)));
        return Copied::kNoMemory;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!walk.Skip(skip)) return Copied::kMalformed;
        const auto text = walk.Next();
        if (!text) return Copied::kMalformed;
        const size_t size = text->size() + 1;
        array[i] = static_cast<char *>(std::malloc(size));
        if (array[i] == nullptr) {
            LogError(messages.text, static_cast<unsigned long>(size));
            return Copied::kNoMemory;
        }
        std::memcpy(array[i], text->data(), text->size());
        array[i][text->size()] = '\0';
    }
    return Copied::kDone;
}

}  // namespace share::monitor

using share::monitor::FindFrame;
using share::monitor::PacketDeleter;
using share::monitor::RequestPtr;

extern "C" SHARE_API int FillReqPkt(CmdContext *record, ReqPkt *pkt) noexcept {
    if (record == nullptr || pkt == nullptr) return -1;
    const auto *row = FindFrame(record->functionId);
    if (row == nullptr) {
        share::monitor::LogError(
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
