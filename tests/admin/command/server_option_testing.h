// SPDX-License-Identifier: Apache-2.0
// Helpers for the server option command tests, on top of the command test helpers: write entries
// whose value may be missing, run one option command on a zeroed context, read what it stored.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "admin/command/server_options.h"
#include "tests/admin/command/command_test_util.h"

namespace share::test {

// One entry as the option tests write it; a null value is a missing value.
struct OptionArg {
    int32_t id;
    const char *value;
};

inline std::vector<char *> FillOptionArgs(const std::vector<OptionArg> &args) {
    std::vector<Arg> block;
    for (const OptionArg &a : args) block.push_back(a.value ? A(a.id, a.value) : A(a.id));
    return FillArgBlock(block);
}

// The context is packed: read its numbers by value (+run.ctx.params.intValue), never bind them.
struct OptionRun : Outcome {
    const uint8_t *Params() const { return ctx.params.raw; }
    // True when no byte of the parameter area from `from` on is set.
    bool ZeroFrom(size_t from) const {
        for (size_t i = from; i < sizeof ctx.params.raw; ++i)
            if (ctx.params.raw[i] != 0) return false;
        return true;
    }
};

// Runs the option command written by args on a zeroed context, capturing output and syslog.
inline OptionRun RunOption(std::initializer_list<OptionArg> args) {
    FillOptionArgs(args);
    return OptionRun{Capture(&command::ProcessServerOptionCommand)};
}

// The format with its %s replaced by text.
inline std::string Quoting(std::string_view format, std::string_view text) {
    std::string s(format);
    const size_t at = s.find("%s");
    if (at != std::string::npos) s.replace(at, 2, text);
    return s;
}

}  // namespace share::test
