// SPDX-License-Identifier: Apache-2.0
// Pieces shared by the three families of inline server option commands (switches and keywords;
// names, addresses and interfaces; numbers, caches and the DFS referral cache).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "admin/command/command_util.h"

namespace share::command {

// Where a message goes: printed exactly as formatted, printed as one line, or logged (ERROR/CLI).
enum class Channel : uint8_t { kPrint, kLine, kLog };

struct Message {
    const char *text = nullptr;  // a printf format, kept byte for byte; null means "no message"
    Channel channel = Channel::kPrint;
};

constexpr Message Printed(const char *text) {
    return {text, Channel::kPrint};
}
constexpr Message Line(const char *text) {
    return {text, Channel::kLine};
}
constexpr Message Logged(const char *text) {
    return {text, Channel::kLog};
}

// Reports msg on its channel; its format may use %s for `quoted`, then %d for the two numbers.
void Emit(const Message &msg, const char *quoted = "", int first = 0, int second = 0) noexcept;

// The caller's text as messages quote it: a missing value quotes as empty.
constexpr const char *Quoted(const char *text) {
    return text ? text : "";
}

struct Keyword {
    const char *word;
    int32_t value;
};

inline constexpr Keyword kYesNo[] = {{"YES", 1}, {"NO", 0}};

// The value of the first keyword equal to text (whole string, byte for byte, or ignoring case).
std::optional<int32_t> MatchKeyword(std::span<const Keyword> keywords, const char *text,
                                    bool ignoreCase = false) noexcept;

// The row of a command table whose `code` matches, or null.
template <class Row>
constexpr const Row *FindRow(std::span<const Row> rows, int32_t code) {
    for (const Row &row : rows)
        if (row.code == code) return &row;
    return nullptr;
}

// True when the conversion gave a number within low..high.
constexpr bool Within(const ParsedNumber &n, long low, long high) {
    return !n.overflow && n.value >= low && n.value <= high;
}

// Each family runs the command when `code` is one of its own (0 accepted, -1 rejected, the
// rejection printed on standard output or logged as its row says), and returns nothing otherwise.
std::optional<int> RunSwitchCommand(int32_t code, CmdContext *ctx) noexcept;
std::optional<int> RunNameCommand(int32_t code, CmdContext *ctx) noexcept;
std::optional<int> RunNumberCommand(int32_t code, CmdContext *ctx) noexcept;

}  // namespace share::command
