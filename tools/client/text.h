// SPDX-License-Identifier: Apache-2.0
// Reading the texts and numbers of records and command lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace share::client {

// Text of a fixed-size field, up to its first NUL (or the whole field).
std::string FieldString(const char *field, size_t size);
template <size_t N>
std::string FieldString(const char (&field)[N]) {
    return FieldString(field, N);
}

// text with a-z as A-Z.
std::string ToUpperAscii(std::string_view text);

// Strict decimal conversion of a whole text within [min, max].
bool ParseNumber(std::string_view text, long min, long max, long *out);

}  // namespace share::client
