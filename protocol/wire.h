// SPDX-License-Identifier: Apache-2.0
// Wire layout of the packets exchanged with the file server, and checked accessors for it.
//
// All integers are in the host's byte order, which is little-endian on every target we build
// for; there is no padding anywhere.
//
//   request  := component:u8 function:u8 count:u8 reserved:u8 bodyLength:u32 element*
//   response := status:i32 count:u32 bodyLength:u32 element*
//   element  := type:u8 reserved:u8[3] length:u32 payload:u8[length]
//
//   bodyLength = sum over the elements of (8 + length); the header is not counted.
//   A request carries at most 255 elements (one count byte); a response counts in 32 bits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "shareadmin/protocol.h"

namespace share::wire {

static_assert(std::endian::native == std::endian::little, "packets use little-endian integers");

// Request header.
inline constexpr size_t kReqComponent = 0;
inline constexpr size_t kReqFunction = 1;
inline constexpr size_t kReqCount = 2;
inline constexpr size_t kReqBodyLength = 4;
inline constexpr size_t kReqHeader = 1 + 1 + 1 + 1 + 4;

// Response header.
inline constexpr size_t kRespStatus = 0;
inline constexpr size_t kRespCount = 4;
inline constexpr size_t kRespBodyLength = 8;
inline constexpr size_t kRespHeader = 4 + 4 + 4;

// Data element.
inline constexpr size_t kElemType = 0;
inline constexpr size_t kElemLength = 4;
inline constexpr size_t kElemHeader = 1 + 3 + 4;

static_assert(kReqHeader == CIFS_REQ_HEADER_SIZE);
static_assert(kRespHeader == CIFS_RESP_HEADER_SIZE);
static_assert(kElemHeader == CIFS_ELEMENT_HEADER_SIZE);

// Buffer size of a new packet, and the step by which small appends grow it.
inline constexpr uint32_t kInitialCapacity = 1024;
inline constexpr uint32_t kGrowthStep = 1024;

// True when [offset, offset + n) lies inside a region of `size` bytes (no overflow possible).
constexpr bool Fits(size_t size, size_t offset, size_t n) noexcept {
    return offset <= size && n <= size - offset;
}

// Field accessors. Loads of a field outside `bytes` yield nullopt; stores outside are refused
// (false). Nothing is ever read or written past the span.
constexpr std::optional<uint8_t> LoadU8(std::span<const uint8_t> bytes, size_t offset) noexcept {
    if (!Fits(bytes.size(), offset, 1)) return std::nullopt;
    return bytes[offset];
}

constexpr std::optional<uint32_t> LoadU32(std::span<const uint8_t> bytes, size_t offset) noexcept {
    if (!Fits(bytes.size(), offset, 4)) return std::nullopt;
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

constexpr bool StoreU8(std::span<uint8_t> bytes, size_t offset, uint8_t value) noexcept {
    if (!Fits(bytes.size(), offset, 1)) return false;
    bytes[offset] = value;
    return true;
}

constexpr bool StoreU32(std::span<uint8_t> bytes, size_t offset, uint32_t value) noexcept {
    if (!Fits(bytes.size(), offset, 4)) return false;
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return true;
}

// One element found inside a body: where its payload starts and how long it is.
struct ElementRef {
    uint8_t type;
    uint32_t length;
    size_t payload;  // offset of the payload within the region searched
    size_t next;     // offset just past the payload
};

// The element whose header starts at `offset` inside `region`, or nullopt when its header or its
// payload would run past the end of the region.
constexpr std::optional<ElementRef> ElementAt(std::span<const uint8_t> region,
                                              size_t offset) noexcept {
    if (!Fits(region.size(), offset, kElemHeader)) return std::nullopt;
    const uint8_t type = *LoadU8(region, offset + kElemType);
    const uint32_t length = *LoadU32(region, offset + kElemLength);
    const size_t payload = offset + kElemHeader;
    if (!Fits(region.size(), payload, length)) return std::nullopt;
    return ElementRef{type, length, payload, payload + length};
}

}  // namespace share::wire
