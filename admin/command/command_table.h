// SPDX-License-Identifier: Apache-2.0
// The command table: one row per command code 0..CIFS_CMD_LAST of gbCifsArg entry 0. Codes that are
// not commands exist in the same number space as action and option codes of later entries.
#pragma once

#include <cstdint>
#include <span>

#include "shareadmin/codes.h"
#include "shareadmin/context.h"

namespace share::command {

enum class HandlerKind : uint8_t {
    kNotCommand,  // rejected in entry 0
    kObject,      // handed to the object's parser
    kInline,      // a server option, handled by ProcessServerOptionCommand
};

// An object parser or the server option handler: 0 accepted, -1 rejected. Parsers print their
// rejections on standard output (a few go to syslog instead), which the command-line tool shows
// as they are; library callers get the same output.
using CommandHandler = int (*)(CmdContext *) noexcept;

// The function IDs a command may write (several where its arguments choose).
struct FunctionIds {
    uint8_t count = 0;
    uint8_t ids[10] = {};

    constexpr bool Contains(uint8_t id) const {
        for (uint8_t i = 0; i < count; ++i)
            if (ids[i] == id) return true;
        return false;
    }
};

struct CommandRow {
    int32_t code = 0;
    const char *name = nullptr;  // CMD_* name; null for codes that are not commands
    HandlerKind kind = HandlerKind::kNotCommand;
    CommandHandler handler = nullptr;
    FunctionIds functionIds;
};

// Rows for codes 0..CIFS_CMD_LAST, indexed by code.
std::span<const CommandRow> CommandTable() noexcept;

// Row of a command code, or null for codes outside 0..CIFS_CMD_LAST.
const CommandRow *FindCommand(int32_t code) noexcept;

}  // namespace share::command
