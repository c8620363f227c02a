// SPDX-License-Identifier: Apache-2.0
#include "client/text.h"

#include <charconv>
#include <cstring>

namespace share::client {

std::string FieldString(const char *field, size_t size) {
    const void *nul = std::memchr(field, 0, size);
    return std::string(field,
                       nul ? static_cast<size_t>(static_cast<const char *>(nul) - field) : size);
}

std::string ToUpperAscii(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool ParseNumber(std::string_view text, long min, long max, long *out) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
    if (value < min || value > max) return false;
    *out = value;
    return true;
}

}  // namespace share::client
