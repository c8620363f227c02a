// SPDX-License-Identifier: Apache-2.0
// The element walk over a received packet: any header and body, both sides.
#include <cstdlib>
#include <cstring>

#include "fuzz/harness.h"
#include "shareadmin/protocol.h"

namespace {

// Builds a handle the way a receive does: capacity is the header plus the announced body.
template <class Pkt>
void Walk(const uint8_t *data, size_t size, size_t header,
          void *(*first)(Pkt *, uint32_t *, uint8_t *),
          void *(*next)(Pkt *, uint32_t *, uint8_t *)) {
    size_t cap = size < header ? header : size;
    auto *buffer = static_cast<uint8_t *>(std::calloc(1, cap));
    auto *pkt = static_cast<Pkt *>(std::calloc(1, sizeof(Pkt)));
    if (buffer == nullptr || pkt == nullptr) std::abort();
    if (size > 0) std::memcpy(buffer, data, size);
    uint32_t body = static_cast<uint32_t>(cap - header);
    std::memcpy(buffer + header - 4, &body, 4);
    pkt->buffer = buffer;
    pkt->capacity = static_cast<uint32_t>(cap);
    uint32_t len = 0;
    uint8_t type = 0;
    for (void *p = first(pkt, &len, &type); p != nullptr; p = next(pkt, &len, &type)) std::free(p);
    std::free(next(pkt, &len, &type));
    std::free(buffer);
    std::free(pkt);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return share::fuzz::Initialize(false);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;
    Walk<RespPkt>(data, size, CIFS_RESP_HEADER_SIZE, RespPktGetFirstData, RespPktGetNextData);
    Walk<ReqPkt>(data, size, CIFS_REQ_HEADER_SIZE, ReqPktGetFirstData, ReqPktGetNextData);
    return 0;
}
