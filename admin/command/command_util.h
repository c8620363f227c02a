// SPDX-License-Identifier: Apache-2.0
// Helpers shared by the dispatcher and the command parsers: argument release, the normalised
// copy, number conversion, context field access, and the standard-output channels of command
// messages (their syslog channel is SHARE_LOG_CLI_ERROR of protocol/log.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocol/log.h"
#include "protocol/memory.h"
#include "shareadmin/command.h"

namespace share::command {

// Frees gbCifsArg[index].value and sets it to null (a command consumed it).
void ReleaseArg(int index) noexcept;

// Upper-cased copy of value with trailing spaces removed; null for a null value or no memory.
CString NormalisedCopy(const char *value) noexcept;

// Standard output as one line (text plus line end).
void PrintLine(const char *text) noexcept;
// Standard output exactly as formatted.
void Print(const char *fmt, ...) noexcept __attribute__((format(printf, 1, 2)));

// Code of entry `index`, or CIFS_ARG_END past the block's last entry (a full block has no end
// entry).
inline int32_t ArgCode(int index) noexcept {
    return index >= 0 && index < CIFS_ARG_ENTRIES ? gbCifsArg[index].id : CIFS_ARG_END;
}
inline const char *ArgValue(int index) noexcept {
    return gbCifsArg[index].value;
}

// Base-10 conversion with strtol's grammar (leading white space, optional sign, digits).
// An empty text converts to 0 with nothing trailing, as strtol does.
struct ParsedNumber {
    long value = 0;
    bool trailing = false;  // text remains after the digits (also: no digits in a non-empty text)
    bool overflow = false;  // the value does not fit a long
};
ParsedNumber ParseNumber(const char *text) noexcept;

// Copies at most size - 1 bytes of src into the field and zero-fills the rest, so a value given
// twice leaves nothing of the first one behind.
void CopyField(char *field, size_t size, const char *src) noexcept;

// Stores an integer of `width` bytes (1 or 4) at byte `offset` of the context: the parameter
// records are packed, so their fields are written through memcpy, never through a pointer.
void StoreInt(CmdContext *ctx, size_t offset, size_t width, int32_t value) noexcept;

inline void StorePointer(CmdContext *ctx, const void *pointer) noexcept {
    std::memcpy(ctx->params.raw, &pointer, sizeof pointer);
}
template <class T = void>
T *LoadPointer(const CmdContext *ctx) noexcept {
    void *pointer;
    std::memcpy(&pointer, ctx->params.raw, sizeof pointer);
    return static_cast<T *>(pointer);
}

// Byte address of a field given by its offset within the context.
inline char *FieldAt(CmdContext *ctx, size_t offset) noexcept {
    return reinterpret_cast<char *>(ctx) + offset;
}

}  // namespace share::command
