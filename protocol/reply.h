// SPDX-License-Identifier: Apache-2.0
// Reading a response above the protocol core: its status word and a bounded walk over its
// elements, shared by both libraries.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "protocol/memory.h"
#include "shareadmin/protocol.h"

namespace share {

// The status word at offset 0; nothing without a buffer that holds it.
std::optional<int32_t> ResponseStatus(const RespPkt *pkt) noexcept;

// One data element of a response: its type and an owned copy of its payload.
struct Element {
    uint8_t type = 0;
    uint32_t length = 0;
    CPtr<uint8_t> payload;

    std::span<const uint8_t> Bytes() const noexcept { return {payload.get(), length}; }
};

// kFailed: a whole element was there but its copy could not be made, or the packet cannot be
// read at all.
enum class Step { kElement, kEnd, kFailed };

// RespPktGetFirstData, then RespPktGetNextData. Unlike the bare walk, tells a payload copy that
// could not be allocated (kFailed) from the end of the data (kEnd), so that no failure passes
// for an empty answer.
class ElementWalk {
  public:
    explicit ElementWalk(RespPkt *pkt) noexcept : pkt_(pkt) {}
    // Frees the payload `out` holds, then reads the next element into it.
    Step Next(Element &out) noexcept;

  private:
    RespPkt *pkt_;
    bool started_ = false;
};

}  // namespace share
