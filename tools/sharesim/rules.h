// SPDX-License-Identifier: Apache-2.0
// What the stand-in server accepts: names, paths and option values. Shared by the request
// handlers and the state-file reader, so that a state file can hold nothing a request could not
// have produced.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/server_formats.h"
#include "sharesim/state.h"

namespace share::sim {

// 1 to 64 characters of letters, digits, '_', '-', '$' and '.'.
bool ValidVolumeName(std::string_view name);
// 1 to 80 printable characters, none of \ / : * ? " < > |, no leading or trailing space, not
// only periods.
bool ValidShareName(std::string_view name);
// Printable text without control characters, at most maxLen characters.
bool PrintableText(std::string_view text, size_t maxLen);
// "/dir/sub" form of a path within a volume: empty means the root; duplicate and trailing
// slashes are dropped. nullopt for a relative path, "." or ".." components, a backslash, control
// characters, or more than 511 characters.
std::optional<std::string> NormalisePath(std::string_view path);

OptionValue DefaultOptionValue(const tools::StoredOption &optionRow);
bool ValidOptionValue(const tools::StoredOption &optionRow, const OptionValue &value);

}  // namespace share::sim
