// SPDX-License-Identifier: Apache-2.0
#include "protocol/reply.h"

#include <algorithm>

#include "protocol/wire.h"

namespace share {

std::optional<int32_t> ResponseStatus(const RespPkt *pkt) noexcept {
    if (pkt == nullptr || pkt->buffer == nullptr) return std::nullopt;
    const auto word = wire::LoadU32({pkt->buffer, pkt->capacity}, wire::kRespStatus);
    if (!word) return std::nullopt;
    return static_cast<int32_t>(*word);
}

Step ElementWalk::Next(Element &out) noexcept {
    out.payload.reset();
    // Where the element about to be read starts, to tell a failed copy from the end.
    size_t at = wire::kRespHeader;
    if (started_ && pkt_ != nullptr && pkt_->cursor != nullptr)
        at = reinterpret_cast<uintptr_t>(pkt_->cursor) - reinterpret_cast<uintptr_t>(pkt_->buffer);
    uint32_t length = 0;
    uint8_t type = 0;
    void *payload = started_ ? RespPktGetNextData(pkt_, &length, &type)
                             : RespPktGetFirstData(pkt_, &length, &type);
    started_ = true;
    if (payload != nullptr) {
        out.type = type;
        out.length = length;
        out.payload.reset(static_cast<uint8_t *>(payload));
        return Step::kElement;
    }
    if (pkt_ == nullptr || pkt_->buffer == nullptr) return Step::kFailed;
    const std::span<const uint8_t> packet{pkt_->buffer, pkt_->capacity};
    const auto body = wire::LoadU32(packet, wire::kRespBodyLength);
    if (!body) return Step::kFailed;
    // The walk reads the body only as far as it lies inside the buffer; a whole element within
    // that where the walk stood means only its copy can have failed.
    const size_t end = std::min(packet.size(), wire::kRespHeader + size_t{*body});
    return wire::ElementAt(packet.first(end), at) ? Step::kFailed : Step::kEnd;
}

}  // namespace share
