// SPDX-License-Identifier: Apache-2.0
// What the request encoding knows that other pieces ask about.
#pragma once

#include <cstdint>

namespace share::command {

// True when the function's request carries the text behind pathRef. The file commands leave a
// heap copy of their path or volume name there for it, which the context's owner frees.
bool EncodesPathRef(uint8_t functionId) noexcept;

}  // namespace share::command
