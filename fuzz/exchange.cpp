// SPDX-License-Identifier: Apache-2.0
// SendAndReceiveIPC against a peer that answers with the fuzzed byte stream.
#include <cstdlib>
#include <vector>

#include "fuzz/harness.h"
#include "shareadmin/protocol.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return share::fuzz::Initialize(true);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;
    // One answer: the whole input, unframed.
    std::vector<uint8_t> framed{static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)};
    if (size > 0xFFFF) return 0;
    framed.insert(framed.end(), data, data + size);
    share::fuzz::QueueAnswers(framed);
    ReqPkt *req = ReqPktInsertFunctionID(ReqPktInsertComponentID(0), 1);
    if (req == nullptr) std::abort();
    RespPkt *resp = nullptr;
    if (SendAndReceiveIPC(req, &resp) == 0) {
        uint32_t len = 0;
        uint8_t type = 0;
        for (void *p = RespPktGetFirstData(resp, &len, &type); p != nullptr;
             p = RespPktGetNextData(resp, &len, &type))
            std::free(p);
        std::free(resp->buffer);
        std::free(resp);
    }
    std::free(req->buffer);
    std::free(req);
    return 0;
}
