// SPDX-License-Identifier: Apache-2.0
// The character forms of the names and texts the server keeps: the stand-in server refuses
// anything else, and the configuration check refuses it before a request is sent. The lengths
// are not here: the server's are its own, the tools' are the value rules'.
#pragma once

#include <string_view>

namespace share::tools {

// Characters a share name may not hold.
inline constexpr char kShareNameReserved[] = "\\/:*?\"<>|";

// A byte below 0x20 (NUL included) or DEL.
bool HasControl(std::string_view text);
// No reserved or control character, no leading or trailing space, not only periods.
bool ShareNameForm(std::string_view name);
// Letters, digits and . - _ : @ only.
bool InterfaceNameForm(std::string_view name);
// Absolute, without a backslash, a control character or a "." or ".." component.
bool PathForm(std::string_view path);

}  // namespace share::tools
