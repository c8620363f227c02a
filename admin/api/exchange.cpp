#include "admin/api/exchange.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "protocol/wire.h"

namespace share::api {

void Log(int level, const char *fmt, ...) noexcept {
    if ((gCIFSLogLevel & static_cast<uint32_t>(level)) == 0) return;
    va_list args;
    va_start(args, fmt);
    cifsLogVarArgs(level, CIFS_MODULE_CLI, fmt, args);
    va_end(args);
}

void ResponseDeleter::operator()(RespPkt *pkt) const noexcept {
    std::free(pkt->buffer);
    std::free(pkt);
}

void Command::Put(int32_t id, char *value) noexcept {
    gbCifsArg[next_].id = id;
    gbCifsArg[next_].value = value;
    ++next_;
}

bool Command::AddCopy(int32_t id, const char *text) noexcept {
    char *copy = strdup(text);
    Put(id, copy);
    return copy != nullptr;
}

bool Command::AddOwned(int32_t id, CString text) noexcept {
    const bool ok = text != nullptr;
    Put(id, text.release());
    return ok;
}

void Command::AddBorrowed(int32_t id, void *record) noexcept {
    borrowed_ |= uint64_t{1} << next_;
    Put(id, static_cast<char *>(record));
}

void Command::Release() noexcept {
    for (int i = 0; i < next_; ++i) {
        // The pipeline clears what it consumes; anything left here is ours (or the caller's
        // record, which must not dangle in the block either).
        if ((borrowed_ & (uint64_t{1} << i)) == 0) std::free(gbCifsArg[i].value);
        gbCifsArg[i].value = nullptr;
    }
}

int Command::Run(Response &response, int32_t &status) noexcept {
    RespPkt *raw = nullptr;
    const int rc = ValidateAndProcessCmd(&raw);
    Release();
    if (rc != 0 || raw == nullptr) return -1;
    response.reset(raw);
    const auto value =
        wire::LoadU32({raw->buffer, raw->buffer ? raw->capacity : 0u}, wire::kRespStatus);
    if (!value) return -1;
    status = static_cast<int32_t>(*value);
    return 0;
}

Step ElementWalk::Next(Element &out) noexcept {
    uint32_t length = 0;
    uint8_t type = 0;
    // Where the element about to be read starts, to tell a failed copy from the end.
    size_t at = wire::kRespHeader;
    if (started_ && pkt_->cursor != nullptr) at = static_cast<size_t>(pkt_->cursor - pkt_->buffer);
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
    const auto count = wire::LoadU32(packet, wire::kRespCount);
    const auto body = wire::LoadU32(packet, wire::kRespBodyLength);
    if (!count || !body) return Step::kFailed;
    if (*count == 0 && *body == 0) return Step::kEnd;
    const size_t end = std::min(packet.size(), wire::kRespHeader + size_t{*body});
    // A whole element was there, so only its copy can have failed.
    return wire::ElementAt(packet.first(end), at) ? Step::kFailed : Step::kEnd;
}

}  // namespace share::api
