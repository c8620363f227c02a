// SPDX-License-Identifier: Apache-2.0
#include "sharesim/wire.h"

#include <cstring>

namespace share::sim {
namespace {

uint32_t ReadU32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void AppendU32(std::vector<uint8_t> &out, uint32_t v) {
    const auto *p = reinterpret_cast<const uint8_t *>(&v);
    out.insert(out.end(), p, p + sizeof v);
}

}  // namespace

uint32_t AnnouncedBodyLength(std::span<const uint8_t> header) {
    return ReadU32(header.data() + 4);
}

std::optional<Request> ParseRequest(std::span<const uint8_t> bytes, std::string *error) {
    auto fail = [&](const char *why) -> std::optional<Request> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (bytes.size() < kRequestHeaderSize) return fail("short header");
    Request req;
    req.component = bytes[0];
    req.function = bytes[1];
    const uint8_t count = bytes[2];
    const uint64_t body = AnnouncedBodyLength(bytes);
    if (bytes.size() != kRequestHeaderSize + body) return fail("body length differs from header");
    size_t at = kRequestHeaderSize;
    while (at < bytes.size()) {
        if (bytes.size() - at < kElementHeaderSize)
            return fail("element header runs past the body");
        const uint32_t len = ReadU32(bytes.data() + at + 4);
        if (bytes.size() - at - kElementHeaderSize < len) return fail("element runs past the body");
        req.elements.push_back({bytes[at], bytes.subspan(at + kElementHeaderSize, len)});
        at += kElementHeaderSize + len;
    }
    if (req.elements.size() != count) return fail("element count differs from header");
    return req;
}

void Response::Add(uint8_t type, std::span<const uint8_t> payload) {
    body_.push_back(type);
    body_.insert(body_.end(), 3, 0);
    AppendU32(body_, static_cast<uint32_t>(payload.size()));
    body_.insert(body_.end(), payload.begin(), payload.end());
    ++count_;
}

void Response::AddText(uint8_t type, std::string_view text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    Add(type, bytes);
}

std::vector<uint8_t> Response::Encode() const {
    // Sized once and filled in place (appending 4-byte pieces trips GCC 12's overflow warning
    // at -O3).
    std::vector<uint8_t> out(kResponseHeaderSize + body_.size());
    const uint32_t header[3] = {static_cast<uint32_t>(status_), count_,
                                static_cast<uint32_t>(body_.size())};
    std::memcpy(out.data(), header, sizeof header);
    if (!body_.empty()) std::memcpy(out.data() + kResponseHeaderSize, body_.data(), body_.size());
    return out;
}

std::optional<std::string> TextIn(std::span<const uint8_t> bytes) {
    const void *nul = std::memchr(bytes.data(), 0, bytes.size());
    if (nul == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char *>(bytes.data()),
                       static_cast<size_t>(static_cast<const uint8_t *>(nul) - bytes.data()));
}

std::optional<std::string> FieldText(const char *field, size_t size) {
    return TextIn({reinterpret_cast<const uint8_t *>(field), size});
}

}  // namespace share::sim
