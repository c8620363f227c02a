// SPDX-License-Identifier: Apache-2.0
// Owners for C-allocator memory and packets, shared by every piece of both libraries.
#pragma once

#include <cstdlib>
#include <memory>

#include "shareadmin/protocol.h"

namespace share {

struct FreeDeleter {
    void operator()(void *p) const noexcept { std::free(p); }
};

// A heap block from malloc/calloc/strdup, released with free.
template <class T>
using CPtr = std::unique_ptr<T, FreeDeleter>;
using CString = CPtr<char>;

// A packet is released by freeing its buffer, then its handle.
template <class Pkt>
void ReleasePacket(Pkt *pkt) noexcept {
    if (pkt == nullptr) return;
    std::free(pkt->buffer);
    std::free(pkt);
}

struct PacketDeleter {
    void operator()(ReqPkt *pkt) const noexcept { ReleasePacket(pkt); }
    void operator()(RespPkt *pkt) const noexcept { ReleasePacket(pkt); }
};
using RequestPtr = std::unique_ptr<ReqPkt, PacketDeleter>;
using ResponsePtr = std::unique_ptr<RespPkt, PacketDeleter>;

}  // namespace share
