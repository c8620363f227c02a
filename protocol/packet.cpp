// SPDX-License-Identifier: Apache-2.0
// Request and response packets: creation, header fields, appending elements and the element walk.
// Both sides share one implementation; a Side describes where they differ (header layout, how
// the count is stored, when the buffer grows) and carries each side's messages.
#include <cstdlib>
#include <cstring>
#include <span>

#include "protocol/log.h"
#include "protocol/memory.h"
#include "protocol/wire.h"

namespace share::protocol {
namespace {

struct Side {
    size_t header;      // header size
    size_t count;       // offset of the element count
    size_t countWidth;  // 1 (request) or 4 (response) bytes
    size_t bodyLength;  // offset of the body length
    bool growWhenFull;  // request: grow also when the append would exactly fill the buffer
};

constexpr Side kRequest{wire::kReqHeader, wire::kReqCount, 1, wire::kReqBodyLength, true};
constexpr Side kResponse{wire::kRespHeader, wire::kRespCount, 4, wire::kRespBodyLength, false};

// The bytes of a handle's buffer, and the header fields read through them.
template <class Pkt>
struct View {
    const Side &side;
    Pkt *pkt;

    std::span<uint8_t> bytes() const { return {pkt->buffer, pkt->capacity}; }
    // A buffer that holds at least the header can be read and written field by field.
    bool HasHeader() const { return pkt->buffer != nullptr && pkt->capacity >= side.header; }
    uint32_t Count() const {
        if (side.countWidth == 1) return *wire::LoadU8(bytes(), side.count);
        return *wire::LoadU32(bytes(), side.count);
    }
    void SetCount(uint32_t value) const {
        if (side.countWidth == 1)
            wire::StoreU8(bytes(), side.count, static_cast<uint8_t>(value));
        else
            wire::StoreU32(bytes(), side.count, value);
    }
    uint32_t BodyLength() const { return *wire::LoadU32(bytes(), side.bodyLength); }
    void SetBodyLength(uint32_t value) const { wire::StoreU32(bytes(), side.bodyLength, value); }
    // The header and the body as far as they lie inside the buffer. A body length that runs past
    // the buffer is cut at its end, so walks never leave the allocation.
    std::span<const uint8_t> Packet() const {
        const uint64_t end = side.header + static_cast<uint64_t>(BodyLength());
        return {pkt->buffer, static_cast<size_t>(end < pkt->capacity ? end : pkt->capacity)};
    }
    // Appends go at the end of the body, so the body must lie wholly inside the buffer.
    bool BodyInside() const { return side.header + uint64_t{BodyLength()} <= pkt->capacity; }
    bool Empty() const { return Count() == 0 && BodyLength() == 0; }
};

enum class Growth { kNone, kOk, kStepFailed, kLargeFailed };

// Makes room for `needed` bytes (header included) following the growth rule: one step of 1024
// bytes when that suffices, else exactly `large` more bytes. The added bytes are zero and a walk
// in progress keeps its position. On failure the packet is unchanged.
template <class Pkt>
Growth Grow(const View<Pkt> &view, uint64_t needed, uint64_t large) noexcept {
    Pkt *pkt = view.pkt;
    const uint64_t capacity = pkt->capacity;
    const bool grows = view.side.growWhenFull ? needed >= capacity : needed > capacity;
    if (!grows) return Growth::kNone;
    const bool small = needed <= capacity + wire::kGrowthStep;
    const uint64_t target = capacity + (small ? wire::kGrowthStep : large);
    const Growth failure = small ? Growth::kStepFailed : Growth::kLargeFailed;
    if (target > UINT32_MAX) return failure;  // the capacity field could not describe it

    const size_t cursor =
        pkt->cursor == nullptr ? 0 : static_cast<size_t>(pkt->cursor - pkt->buffer);
    auto *grown = static_cast<uint8_t *>(std::realloc(pkt->buffer, static_cast<size_t>(target)));
    if (grown == nullptr) return failure;
    std::memset(grown + capacity, 0, static_cast<size_t>(target - capacity));
    if (pkt->cursor != nullptr) pkt->cursor = grown + cursor;
    pkt->buffer = grown;
    pkt->capacity = static_cast<uint32_t>(target);
    return Growth::kOk;
}

// Messages of the append operations, per side. Like every message text (protocol/log.h) they stay
// byte for byte, odd spellings included, and RespPktInsertDataExt reports with the request
// side's texts: log readers match them as they are.
struct AppendMessages {
    const char *noHandle;
    const char *noBuffer;
    const char *stepFailed;
    const char *largeFailed;
    bool releaseOnFailure;  // a response is released when an append fails
};

constexpr AppendMessages kReqAppend{
    "Request packet structure doesn't exist to fill the data",
    "Request packet structure has no buffer to fill the data",
    "Failed to re-allocate memory for accomodating new data element in request",
    "Failed to re-allocate memory for accomodating new data element which is more than 1024 "
    "bytes in request",
    false};

constexpr AppendMessages kRespAppend{
    "Response packet structure doesn't exist to fill the data",
    "Response packet structure has no buffer to fill the data",
    "Failed to re-allocate memory for accomodating new data element in response",
    "Failed to re-allocate memory for accomodating new data element which is more than 1024 "
    "bytes in response",
    true};

template <class Pkt>
Pkt *InsertData(const Side &side, const AppendMessages &msg, Pkt *pkt, unsigned int type,
                uint32_t length, const void *payload) noexcept {
    if (pkt == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", msg.noHandle);
        return nullptr;
    }
    const View<Pkt> view{side, pkt};
    if (pkt->buffer == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", msg.noBuffer);
        if (msg.releaseOnFailure) ReleasePacket(pkt);
        return nullptr;
    }
    // A damaged handle, or a payload that is not there: refuse without touching anything.
    if (!view.HasHeader() || !view.BodyInside() || (payload == nullptr && length != 0))
        return nullptr;
    const uint32_t body = view.BodyLength();
    const uint64_t added = wire::kElemHeader + uint64_t{length};
    if (body + added > UINT32_MAX) return nullptr;  // the body length could not describe it

    const uint64_t needed = body + added + side.header;
    const Growth growth = Grow(view, needed, added + side.header);
    if (growth == Growth::kStepFailed || growth == Growth::kLargeFailed) {
        SHARE_LOG_CLI_ERROR("%s", growth == Growth::kStepFailed ? msg.stepFailed : msg.largeFailed);
        if (msg.releaseOnFailure) ReleasePacket(pkt);
        return nullptr;
    }
    const auto bytes = view.bytes();
    const size_t at = side.header + body;
    wire::StoreU8(bytes, at + wire::kElemType, static_cast<uint8_t>(type));
    wire::StoreU32(bytes, at + wire::kElemLength, length);
    if (length != 0) std::memcpy(pkt->buffer + at + wire::kElemHeader, payload, length);
    view.SetCount(view.Count() + 1);  // a request's one-byte count wraps from 255 to 0
    view.SetBodyLength(static_cast<uint32_t>(body + added));
    return pkt;
}

// Messages of the walk, per side and step. A null entry means the condition is silent.
struct WalkMessages {
    const char *noHandle;
    const char *noBuffer;
    const char *empty;
    const char *noMemory;
};

constexpr WalkMessages kReqFirst{
    "Request packet structure doesn't exist to get the first data element",
    "Request packet structure has no buffer to get the first data element", nullptr,
    "Failed to allocate memory for getting the first data element in request packet structure"};
constexpr WalkMessages kReqNext{
    "Request packet structure doesn't exist to get the next data element",
    "Request packet structure has no buffer to get the next data element",
    "Request packet structure has empty buffer, no data is available to get the next data "
    "element",
    "Failed to allocate memory for getting the next data element in request packet structure"};
constexpr WalkMessages kRespFirst{
    "Response packet structure doesn't exist to get the first data element",
    "Response packet structure has no buffer to get the first data element",
    "Response packet structure has empty buffer, no data is available to get the first data "
    "element",
    "Failed to allocate memory for getting the first data element in response packet structure"};
constexpr WalkMessages kRespNext{
    "Response packet structure doesn't exist to get the next data element",
    "Response packet structure has empty buffer, no data is available to get the next data "
    "element",
    "Response packet structure has empty buffer, no data is available to get the next data "
    "element",
    "Failed to allocate memory for getting the next data element in response packet structure"};

void Say(const char *message) noexcept {
    if (message != nullptr) SHARE_LOG_CLI_ERROR("%s", message);
}

// Returns a copy of the payload of the element at `offset` and moves the cursor past it. An
// element that would run past the body ends the walk: nothing is read and null is returned.
template <class Pkt>
void *TakeElement(const View<Pkt> &view, const WalkMessages &msg, size_t offset, uint32_t *length,
                  uint8_t *type) noexcept {
    Pkt *pkt = view.pkt;
    const auto packet = view.Packet();
    const auto element = wire::ElementAt(packet, offset);
    if (!element) {
        pkt->cursor = pkt->buffer + packet.size();
        return nullptr;
    }
    if (type != nullptr) *type = element->type;
    if (length != nullptr) *length = element->length;
    // One byte at least, so that an empty element is a block and not the null of end of data.
    // A non-empty copy is overwritten whole, so only the empty one needs zeroing.
    void *copy = element->length == 0 ? std::calloc(1, 1) : std::malloc(element->length);
    if (copy == nullptr) {
        Say(msg.noMemory);
        return nullptr;
    }
    if (element->length != 0) std::memcpy(copy, pkt->buffer + element->payload, element->length);
    pkt->cursor = pkt->buffer + element->next;
    return copy;
}

// The checks both walk calls make first: a handle, a header, and something to walk.
template <class Pkt>
bool Walkable(const Side &side, const WalkMessages &msg, Pkt *pkt) noexcept {
    if (pkt == nullptr) {
        Say(msg.noHandle);
        return false;
    }
    const View<Pkt> view{side, pkt};
    if (!view.HasHeader()) {
        Say(msg.noBuffer);
        return false;
    }
    if (view.Empty()) {
        Say(msg.empty);
        return false;
    }
    return true;
}

template <class Pkt>
void *GetFirst(const Side &side, const WalkMessages &msg, Pkt *pkt, uint32_t *length,
               uint8_t *type) noexcept {
    if (!Walkable(side, msg, pkt)) return nullptr;
    const View<Pkt> view{side, pkt};
    return TakeElement(view, msg, side.header, length, type);
}

template <class Pkt>
void *GetNext(const Side &side, const WalkMessages &msg, Pkt *pkt, uint32_t *length,
              uint8_t *type) noexcept {
    if (!Walkable(side, msg, pkt)) return nullptr;
    const View<Pkt> view{side, pkt};
    // A walk that was never started, or a cursor outside the buffer, has nothing to return.
    const auto cursor = reinterpret_cast<uintptr_t>(pkt->cursor);
    const auto base = reinterpret_cast<uintptr_t>(pkt->buffer);
    if (pkt->cursor == nullptr || cursor < base || cursor - base >= view.Packet().size())
        return nullptr;
    return TakeElement(view, msg, cursor - base, length, type);
}

// Header field access with the two failure messages of a getter or setter.
struct FieldMessages {
    const char *noHandle;
    const char *noBuffer;
};

template <class Pkt>
bool Usable(const Side &side, const FieldMessages &msg, Pkt *pkt) noexcept {
    if (pkt == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", msg.noHandle);
        return false;
    }
    if (!View<Pkt>{side, pkt}.HasHeader()) {
        SHARE_LOG_CLI_ERROR("%s", msg.noBuffer);
        return false;
    }
    return true;
}

// Creates a handle with a zero 1024-byte buffer.
template <class Pkt>
Pkt *NewPacket(const char *noHandle, const char *noBuffer) noexcept {
    auto *pkt = static_cast<Pkt *>(std::calloc(1, sizeof(Pkt)));
    if (pkt == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", noHandle);
        return nullptr;
    }
    pkt->buffer = static_cast<uint8_t *>(std::calloc(1, wire::kInitialCapacity));
    if (pkt->buffer == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", noBuffer);
        std::free(pkt);
        return nullptr;
    }
    pkt->capacity = wire::kInitialCapacity;
    return pkt;
}

}  // namespace
}  // namespace share::protocol

using namespace share::protocol;
using share::wire::StoreU32;
using share::wire::StoreU8;

// ---- Request side ----

extern "C" SHARE_API ReqPkt *ReqPktInsertComponentID(unsigned int componentId) noexcept {
    ReqPkt *pkt = NewPacket<ReqPkt>(
        "Failed to allocate memory for creating a new request packet structure to fill the "
        "component ID",
        "Failed to allocate memory for creating a buffer to fill the header information with "
        "component ID");
    if (pkt != nullptr) pkt->buffer[share::wire::kReqComponent] = static_cast<uint8_t>(componentId);
    return pkt;
}

extern "C" SHARE_API ReqPkt *ReqPktInsertFunctionID(ReqPkt *pkt, unsigned int functionId) noexcept {
    if (pkt == nullptr) return nullptr;
    if (!View<ReqPkt>{kRequest, pkt}.HasHeader()) {
        SHARE_LOG_CLI_ERROR("Request packet structure has no buffer to set function id");
        share::ReleasePacket(pkt);
        return nullptr;
    }
    pkt->buffer[share::wire::kReqFunction] = static_cast<uint8_t>(functionId);
    return pkt;
}

extern "C" SHARE_API ReqPkt *ReqPktInsertData(ReqPkt *pkt, unsigned int type, uint32_t len,
                                              const void *payload) noexcept {
    return InsertData(kRequest, kReqAppend, pkt, type, len, payload);
}

extern "C" SHARE_API ReqPkt *ReqPktSetNumberOfData(ReqPkt *pkt, unsigned int count) noexcept {
    constexpr FieldMessages msg{
        "Request packet structure doesn't exist to set the number of data elements field",
        "Request packet structure has no buffer to set the number of data elements field"};
    if (!Usable(kRequest, msg, pkt)) return nullptr;
    View<ReqPkt>{kRequest, pkt}.SetCount(count & 0xFFu);
    return pkt;
}

extern "C" SHARE_API int ReqPktGetNumberOfData(ReqPkt *pkt) noexcept {
    constexpr FieldMessages msg{
        "Request packet structure doesn't exist to get the number of data elements field",
        "Request packet structure has no buffer to get the number of data elements field"};
    if (!Usable(kRequest, msg, pkt)) return -1;
    return static_cast<int>(View<ReqPkt>{kRequest, pkt}.Count());
}

extern "C" SHARE_API int ReqPktGetComponentID(ReqPkt *pkt) noexcept {
    constexpr FieldMessages msg{"Request packet structure doesn't exist to get the component ID",
                                "Request packet structure has no buffer to get the component ID"};
    if (!Usable(kRequest, msg, pkt)) return -1;
    return pkt->buffer[share::wire::kReqComponent];
}

extern "C" SHARE_API int ReqPktGetFunctionID(ReqPkt *pkt) noexcept {
    constexpr FieldMessages msg{"Request packet structure doesn't exist to get the function ID",
                                "Request packet structure has no buffer to get the function ID"};
    if (!Usable(kRequest, msg, pkt)) return -1;
    return pkt->buffer[share::wire::kReqFunction];
}

extern "C" SHARE_API void *ReqPktGetFirstData(ReqPkt *pkt, uint32_t *len, uint8_t *type) noexcept {
    return GetFirst(kRequest, kReqFirst, pkt, len, type);
}

extern "C" SHARE_API void *ReqPktGetNextData(ReqPkt *pkt, uint32_t *len, uint8_t *type) noexcept {
    return GetNext(kRequest, kReqNext, pkt, len, type);
}

// ---- Response side ----

extern "C" SHARE_API RespPkt *RespPktInsertStatus(int32_t status) noexcept {
    RespPkt *pkt = NewPacket<RespPkt>(
        "Failed to allocate memory for creating a new response packet structure to fill the "
        "status informatio",
        "Failed to allocate memory for creating a buffer to fill the header information with "
        "status information");
    if (pkt != nullptr)
        StoreU32({pkt->buffer, pkt->capacity}, share::wire::kRespStatus,
                 static_cast<uint32_t>(status));
    return pkt;
}

extern "C" SHARE_API RespPkt *RespPktInsertData(RespPkt *pkt, unsigned int type, uint32_t len,
                                                const void *payload) noexcept {
    return InsertData(kResponse, kRespAppend, pkt, type, len, payload);
}

extern "C" SHARE_API RespPkt *RespPktInsertDataExt(RespPkt *pkt, uint32_t len,
                                                   const void *payload) noexcept {
    if (pkt == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", kReqAppend.noHandle);
        return nullptr;
    }
    if (pkt->buffer == nullptr) {
        SHARE_LOG_CLI_ERROR("%s", kReqAppend.noBuffer);
        return nullptr;
    }
    const View<RespPkt> view{kResponse, pkt};
    if (!view.HasHeader() || !view.BodyInside() || (payload == nullptr && len != 0)) return nullptr;
    const uint32_t count = view.Count();
    const uint32_t body = view.BodyLength();
    if (count == 0 || body + uint64_t{len} > UINT32_MAX) return nullptr;

    // Find the last element. It must end exactly at the end of the body, or the added bytes
    // would not follow its payload and the packet would come apart.
    const auto packet = view.Packet();
    size_t at = share::wire::kRespHeader;
    for (uint32_t i = 0; i + 1 < count; ++i) {
        const auto element = share::wire::ElementAt(packet, at);
        if (!element) return nullptr;
        at = element->next;
    }
    const auto last = share::wire::ElementAt(packet, at);
    if (!last || last->next != packet.size() || last->length + uint64_t{len} > UINT32_MAX)
        return nullptr;

    const uint64_t needed = body + uint64_t{len} + share::wire::kRespHeader;
    const Growth growth = Grow(view, needed, len + uint64_t{share::wire::kRespHeader});
    if (growth == Growth::kStepFailed || growth == Growth::kLargeFailed) {
        SHARE_LOG_CLI_ERROR(
            "%s", growth == Growth::kStepFailed ? kReqAppend.stepFailed : kReqAppend.largeFailed);
        return nullptr;
    }
    if (len != 0) std::memcpy(pkt->buffer + share::wire::kRespHeader + body, payload, len);
    StoreU32(view.bytes(), at + share::wire::kElemLength, last->length + len);
    view.SetBodyLength(body + len);
    return pkt;
}

extern "C" SHARE_API RespPkt *RespPktSetNumberOfData(RespPkt *pkt, uint8_t count) noexcept {
    constexpr FieldMessages msg{
        "Response packet structure doesn't exist to set the number of data elements field",
        "Response packet structure has no buffer to set the number of data elements field"};
    if (!Usable(kResponse, msg, pkt)) return nullptr;
    View<RespPkt>{kResponse, pkt}.SetCount(count);
    return pkt;
}

extern "C" SHARE_API int RespPktGetNumberOfData(RespPkt *pkt) noexcept {
    constexpr FieldMessages msg{
        "Response packet structure doesn't exist to get the number of data elements field",
        "Response packet structure has no buffer to get the number of data elements field"};
    if (!Usable(kResponse, msg, pkt)) return -1;
    return static_cast<int>(View<RespPkt>{kResponse, pkt}.Count());
}

extern "C" SHARE_API void *RespPktGetFirstData(RespPkt *pkt, uint32_t *len,
                                               uint8_t *type) noexcept {
    return GetFirst(kResponse, kRespFirst, pkt, len, type);
}

extern "C" SHARE_API void *RespPktGetNextData(RespPkt *pkt, uint32_t *len, uint8_t *type) noexcept {
    return GetNext(kResponse, kRespNext, pkt, len, type);
}
