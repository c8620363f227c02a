// SPDX-License-Identifier: Apache-2.0
// Random argument blocks through the dispatcher and, when accepted, the request encoding.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "admin/command/request_encoding.h"
#include "fuzz/harness.h"
#include "shareadmin/command.h"
#include "shareadmin/protocol.h"
#include "tests/support/arg_block.h"

namespace {

// Codes whose value may be taken as a caller-built list request record: those get a record
// shape (a short text, then small length words at offsets 16 and 24) so the encoder's read of
// "fixed part + stored length" stays inside the block, as a real caller guarantees.
bool RecordCode(int32_t code) {
    return code == CIFS_OPT_REQUEST_RECORD || code == CIFS_ACT_LIST_INVALID_USERS;
}

char *MakeValue(share::fuzz::Reader &in, int32_t code, std::vector<void *> &records) {
    const uint8_t shape = in.Byte();
    if ((shape & 0x0F) == 0) return nullptr;
    if (RecordCode(code)) {
        auto *rec = static_cast<char *>(std::calloc(1, 64));
        std::string text = in.Text(15);
        std::memcpy(rec, text.data(), text.size());
        uint32_t len16 = shape % 40, len24 = shape % 32;
        std::memcpy(rec + 16, &len16, 4);
        std::memcpy(rec + 24, &len24, 4);
        records.push_back(rec);
        return rec;
    }
    std::string text = in.Text(255);
    if (shape & 0x80)
        text.append(static_cast<size_t>(shape & 0x70) * 5, text.empty() ? 'x' : text[0]);
    return strdup(text.c_str());
}

int32_t MakeCode(share::fuzz::Reader &in) {
    const uint8_t b = in.Byte();
    if (b >= 250) return b == 255 ? -1 : 1000 + b;
    return b % 90;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    share::fuzz::Initialize(false);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    share::fuzz::Reader in({data, size});
    std::vector<void *> records;
    const size_t entries = 1 + in.Byte() % 6;
    share::test::ClearArgBlock();
    for (size_t i = 0; i < entries && !in.Empty(); ++i) {
        gbCifsArg[i].id = MakeCode(in);
        gbCifsArg[i].value = MakeValue(in, gbCifsArg[i].id, records);
    }
    CmdContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    if (ProcessCommandLineData(&ctx) == 0) {
        ReqPkt *req = ReqPktInsertFunctionID(ReqPktInsertComponentID(0), ctx.functionId);
        if (req == nullptr) std::abort();
        PopulateRequestPacket(&ctx, req);
        std::free(req->buffer);
        std::free(req);
    }
    if (share::command::EncodesPathRef(ctx.functionId)) {
        char *path;
        std::memcpy(&path, &ctx.params.raw[0], sizeof path);
        std::free(path);
    }
    // A record stays ours while an entry or the context holds it; a command that read it as a
    // text (an unlisted selector, say) has freed it, as it frees every value it rejects.
    void *moved = nullptr;
    if (ctx.functionId == CIFS_FN_OPEN_FILES || ctx.functionId == CIFS_FN_INVALID_USER_LIST)
        std::memcpy(&moved, &ctx.params.raw[0], sizeof moved);
    for (void *r : records) {
        bool held = r == moved;
        for (const CifsArgEntry &e : gbCifsArg) held |= (e.value == r);
        if (held) std::free(r);
    }
    // What the command did not consume stays the caller's.
    for (CifsArgEntry &e : gbCifsArg) {
        bool record = false;
        for (void *r : records) record |= (r == e.value);
        if (!record) std::free(e.value);
        e = CifsArgEntry{};
    }
    return 0;
}
