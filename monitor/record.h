// SPDX-License-Identifier: Apache-2.0
// Bounded reading of reply payloads: the connection record's fixed part by offset, and the walk
// over NUL-terminated texts in its variable part. Nothing here reads past the payload it is given.
//
//   record   := fixed(418) | secEquivArea(u32 @350 bytes) | fileEntry*
//   fixed    := u16 id @0 | u32 fileCount @4 | u64 @12 | char[16] @20 | char[256] @36
//             | char[20] @292 | u32 @326 | u64 @330 | u64 @338 | u32 dnCount @346
//             | u32 secEquivLength @350 | char[32] @354 | char[32] @386
//   fileEntry:= u8[8] (not interpreted) | NUL-terminated name
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace share::monitor {

struct TextField {
    size_t offset;
    size_t size;
};

namespace record {
inline constexpr size_t kConnectionId = 0;   // u16
inline constexpr size_t kOpenFileCount = 4;  // u32
inline constexpr size_t kValue12 = 12;       // u64
inline constexpr TextField kText20{20, 16};
inline constexpr TextField kText36{36, 256};
inline constexpr TextField kText292{292, 20};
inline constexpr size_t kValue326 = 326;        // u32
inline constexpr size_t kValue330 = 330;        // u64
inline constexpr size_t kValue338 = 338;        // u64
inline constexpr size_t kSecEquivCount = 346;   // u32
inline constexpr size_t kSecEquivLength = 350;  // u32
inline constexpr TextField kText354{354, 32};
inline constexpr TextField kText386{386, 32};
inline constexpr size_t kFixedSize = 418;
inline constexpr size_t kFileEntrySkip = 8;  // bytes in front of each open-file name
static_assert(kText386.offset + kText386.size == kFixedSize);
}  // namespace record

// The node fields can count at most this many open files.
inline constexpr uint32_t kMaxOpenFiles = 0xFFFF;

// Copies the text at the start of src (up to its NUL or the end of src) into dst, cut to
// dstSize - 1 characters and always terminated.
inline void CopyText(std::span<const uint8_t> src, char *dst, size_t dstSize) noexcept {
    size_t n = 0;
    while (n < src.size() && n < dstSize - 1 && src[n] != 0) ++n;
    if (n > 0) std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

// A connection record; the accessors require HasFixedPart().
class RecordView {
  public:
    explicit RecordView(std::span<const uint8_t> bytes) noexcept : bytes_(bytes) {}

    bool HasFixedPart() const noexcept { return bytes_.size() >= record::kFixedSize; }

    template <class T>
    T Get(size_t offset) const noexcept {
        T value;
        std::memcpy(&value, bytes_.data() + offset, sizeof value);
        return value;
    }

    void Text(TextField field, char *dst, size_t dstSize) const noexcept {
        CopyText(bytes_.subspan(field.offset, field.size), dst, dstSize);
    }

    // The bytes from offset to the end (empty when offset lies beyond it).
    std::span<const uint8_t> From(size_t offset) const noexcept {
        return offset <= bytes_.size() ? bytes_.subspan(offset) : std::span<const uint8_t>{};
    }

  private:
    std::span<const uint8_t> bytes_;
};

// Steps over NUL-terminated texts placed back to back in an area, never beyond its end.
class TextWalk {
  public:
    explicit TextWalk(std::span<const uint8_t> area) noexcept : area_(area) {}

    size_t Remaining() const noexcept { return area_.size() - pos_; }

    // Skips n bytes; false when fewer remain.
    bool Skip(size_t n) noexcept {
        if (n > Remaining()) return false;
        pos_ += n;
        return true;
    }

    // The next text, stepping past its NUL; nothing when no NUL lies before the end.
    std::optional<std::string_view> Next() noexcept {
        if (Remaining() == 0) return std::nullopt;
        const uint8_t *start = area_.data() + pos_;
        const auto *nul = static_cast<const uint8_t *>(std::memchr(start, 0, Remaining()));
        if (nul == nullptr) return std::nullopt;
        const auto length = static_cast<size_t>(nul - start);
        pos_ += length + 1;
        return std::string_view(reinterpret_cast<const char *>(start), length);
    }

  private:
    std::span<const uint8_t> area_;
    size_t pos_ = 0;
};

}  // namespace share::monitor
