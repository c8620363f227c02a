// Helpers shared by the dispatcher and the command parsers: argument release, the normalised
// copy, and the three output channels of command messages.
#pragma once

#include "protocol/memory.h"
#include "share/command.h"

namespace share::command {

// Frees gbCifsArg[index].value and sets it to null (a command consumed it).
void ReleaseArg(int index) noexcept;

// Upper-cased copy of value with trailing spaces removed; null for a null value or no memory.
CString NormalisedCopy(const char *value) noexcept;

// Standard output as one line (text plus line end).
void PrintLine(const char *text) noexcept;
// Standard output exactly as formatted.
void Print(const char *fmt, ...) noexcept __attribute__((format(printf, 1, 2)));
// syslog at level ERROR under CLI, only when that bit is set in gCIFSLogLevel.
void LogError(const char *fmt, ...) noexcept __attribute__((format(printf, 1, 2)));

}  // namespace share::command
