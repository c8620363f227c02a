// SPDX-License-Identifier: Apache-2.0
#include "client/pipeline.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/server_formats.h"
#include "shareadmin/command.h"

namespace share::client {

Reply::Reply(RespPkt *pkt) : pkt_(pkt) {
    if (RespPktGetNumberOfData(pkt_) <= 0) return;  // nothing to walk (and nothing to log)
    uint32_t len = 0;
    uint8_t type = 0;
    for (void *p = RespPktGetFirstData(pkt_, &len, &type); p != nullptr;
         p = RespPktGetNextData(pkt_, &len, &type)) {
        const auto *bytes = static_cast<const uint8_t *>(p);
        elements_.push_back({type, std::vector<uint8_t>(bytes, bytes + len)});
        std::free(p);
    }
}

Reply::~Reply() {
    if (pkt_) {
        std::free(pkt_->buffer);
        std::free(pkt_);
    }
}

Reply::Reply(Reply &&other) noexcept : pkt_(other.pkt_), elements_(std::move(other.elements_)) {
    other.pkt_ = nullptr;
}

Reply &Reply::operator=(Reply &&other) noexcept {
    std::swap(pkt_, other.pkt_);
    std::swap(elements_, other.elements_);
    return *this;
}

int32_t Reply::status() const {
    int32_t status = 0;
    if (pkt_ && pkt_->buffer) std::memcpy(&status, pkt_->buffer, sizeof status);
    return status;
}

void FillArgs(const std::vector<Arg> &args) {
    size_t i = 0;
    for (; i < args.size() && i + 1 < CIFS_ARG_ENTRIES; ++i) {
        gbCifsArg[i].id = args[i].code;
        gbCifsArg[i].value = args[i].value ? strdup(args[i].value->c_str()) : nullptr;
    }
    gbCifsArg[i].id = 0;
    gbCifsArg[i].value = nullptr;
}

void ClearArgs(size_t entries) {
    for (size_t i = 0; i < entries && i < CIFS_ARG_ENTRIES; ++i) {
        std::free(gbCifsArg[i].value);
        gbCifsArg[i].value = nullptr;
        gbCifsArg[i].id = 0;
    }
}

namespace {

// Function IDs whose validation leaves a heap copy of a path behind in the context.
bool LeavesPathCopy(uint8_t function) {
    switch (function) {
        case CIFS_FN_FILES_BY_PATH:
        case CIFS_FN_FILES_BY_VOLUME:
        case CIFS_FN_FILES_BY_PATH_MODIFIED:
        case CIFS_FN_FILES_BY_VOLUME_MODIFIED:
        case CIFS_FN_CLOSE_BY_PATH:
        case CIFS_FN_CLOSE_BY_VOLUME:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<std::string> LibraryCheck(const std::vector<Arg> &args, bool capture) {
    FillArgs(args);
    CmdContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    int result;
    std::string message;
    if (capture) {
        LibraryOutput output;
        result = ProcessCommandLineData(&ctx);
        message = output.Finish();
    } else {
        result = ProcessCommandLineData(&ctx);
    }
    if (LeavesPathCopy(ctx.functionId)) {
        char *copy = nullptr;
        std::memcpy(&copy, ctx.params.raw, sizeof copy);
        std::free(copy);
    }
    ClearArgs(args.size() + 1);
    if (result == 0) return std::nullopt;
    return message;
}

Outcome Query(const std::vector<Arg> &args, Reply *reply, bool validated) {
    FillArgs(args);
    RespPkt *pkt = nullptr;
    errno = 0;
    const int result = ValidateAndProcessCmd(&pkt);
    const int error = errno;
    ClearArgs(args.size() + 1);
    if (result != 0) return Classify(result, "", error, validated);
    Reply r(pkt);
    const int32_t status = r.status();
    *reply = std::move(r);
    if (status != 0) return {Result::kRefused, status, ""};
    return {};
}

Outcome Send(const std::vector<Arg> &args, Reply *reply) {
    LibraryOutput capture;
    Outcome o = Query(args, reply, true);
    o.message = capture.Finish();
    return o;
}

Outcome Execute(const std::vector<Arg> &args, Reply *reply) {
    // The library's own validation first: nothing is sent.
    if (auto rejected = LibraryCheck(args)) return {Result::kRejected, 0, *rejected};
    return Send(args, reply);
}

}  // namespace share::client
