// SPDX-License-Identifier: Apache-2.0
// Request parsing and response encoding for the stand-in server. Its own small codec, kept apart
// from the libraries so that tests which decode its answers with the libraries cross-check two
// independent implementations of the packet format.
//
//   request   := u8 component | u8 function | u8 count | u8 0 | u32 bodyLength | element*
//   response  := i32 status | u32 count | u32 bodyLength | element*
//   element   := u8 type | u8[3] 0 | u32 length | u8[length] payload
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace share::sim {

inline constexpr size_t kRequestHeaderSize = 8;
inline constexpr size_t kResponseHeaderSize = 12;
inline constexpr size_t kElementHeaderSize = 8;

struct Element {
    uint8_t type = 0;
    std::span<const uint8_t> payload;
};

struct Request {
    uint8_t component = 0;
    uint8_t function = 0;
    std::vector<Element> elements;  // views into the received bytes
};

// Body length announced by a request header (the first 8 bytes).
uint32_t AnnouncedBodyLength(std::span<const uint8_t> header);

// Parses a complete request (header and exactly the announced body). Fails when the elements do
// not tile the body exactly or their number differs from the header's count.
std::optional<Request> ParseRequest(std::span<const uint8_t> bytes, std::string *error);

class Response {
  public:
    explicit Response(int32_t status = 0) : status_(status) {}
    void SetStatus(int32_t status) { status_ = status; }
    int32_t status() const { return status_; }
    void Add(uint8_t type, std::span<const uint8_t> payload);
    void AddText(uint8_t type, std::string_view text);  // text plus its NUL
    template <class T>
    void AddRecord(uint8_t type, const T &record) {
        Add(type, {reinterpret_cast<const uint8_t *>(&record), sizeof record});
    }
    void Clear() {
        body_.clear();
        count_ = 0;
    }
    uint32_t count() const { return count_; }
    std::vector<uint8_t> Encode() const;

  private:
    int32_t status_;
    uint32_t count_ = 0;
    std::vector<uint8_t> body_;
};

// Text of a NUL-terminated payload or fixed field: nullopt when no NUL lies within it.
std::optional<std::string> TextIn(std::span<const uint8_t> bytes);
std::optional<std::string> FieldText(const char *field, size_t size);

}  // namespace share::sim
