// SPDX-License-Identifier: Apache-2.0
// Who holds the server's endpoint. The abstract socket name carries no permissions: whichever
// process binds it first receives every request, so the exchange asks the kernel who answered
// before it writes a byte.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>

namespace share::protocol {

// Lists the uids a caller accepts as the server's, comma-separated and numeric.
inline constexpr char kServerUidsVariable[] = "SHAREADMIN_SERVER_UIDS";

enum class UidListMatch { kListed, kNotListed, kMalformed };

// Whether `uid` is in `list` (the variable's text). Every item must be a decimal uid below
// 4294967295 (the kernel's "no uid"); an empty item, a sign, a letter or an overflow makes the
// whole list malformed, whatever else it holds.
UidListMatch MatchUidList(std::string_view list, uid_t uid) noexcept;

// Checks the peer of a connected socket against the variable. True when the variable is unset
// or empty, or lists the peer's uid. False, after logging why (the peer's uid and pid, or the
// malformed value), otherwise.
bool ServerIdentityAccepted(int fd) noexcept;

}  // namespace share::protocol
