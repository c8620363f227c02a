// Helpers for the server option command tests: fill the argument block, run one command on a
// zeroed context and collect what it printed and logged.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "admin/command/server_options.h"
#include "share/command.h"
#include "tests/support/capture.h"

namespace share::test {

// One argument entry; a null value is a missing value.
struct Arg {
    int32_t id;
    const char *value;
};

inline void ClearArgs() {
    for (CifsArgEntry &e : gbCifsArg) {
        std::free(e.value);
        e = CifsArgEntry{};
    }
}

// Entries 0..n-1 from args (values as heap copies), entry n the end entry.
inline void FillArgs(std::initializer_list<Arg> args) {
    ClearArgs();
    size_t i = 0;
    for (const Arg &a : args) {
        gbCifsArg[i].id = a.id;
        gbCifsArg[i].value = a.value ? strdup(a.value) : nullptr;
        ++i;
    }
}

struct OptionRun {
    int rc = 0;
    CmdContext ctx;
    std::string out;                // standard output
    std::vector<std::string> logs;  // syslog texts

    const uint8_t *Params() const { return ctx.params.raw; }
    // True when no byte of the parameter area from `from` on is set.
    bool ZeroFrom(size_t from) const {
        for (size_t i = from; i < sizeof ctx.params.raw; ++i)
            if (ctx.params.raw[i] != 0) return false;
        return true;
    }
};

// Runs the option command already in gbCifsArg on a zeroed context.
inline OptionRun RunFilled() {
    OptionRun run;
    std::memset(&run.ctx, 0, sizeof run.ctx);
    SyslogCapture log;
    StdoutCapture out;
    run.rc = command::ProcessServerOptionCommand(&run.ctx);
    run.out = out.Finish();
    run.logs = log.Texts();
    return run;
}

inline OptionRun RunOption(std::initializer_list<Arg> args) {
    FillArgs(args);
    return RunFilled();
}

// The format with its one %s replaced by text.
inline std::string Quote(std::string_view format, std::string_view text) {
    std::string s(format);
    const size_t at = s.find("%s");
    if (at != std::string::npos) s.replace(at, 2, text);
    return s;
}

// A syslog text as an ERROR line of module CLI carries it.
inline std::string CliError(std::string_view message) { return "ERROR: CLI: " + std::string(message); }

// Restores the log level mask and releases the argument block after each test.
class OptionTest : public ::testing::Test {
protected:
    void SetUp() override { saved_level_ = gCIFSLogLevel; }
    void TearDown() override {
        gCIFSLogLevel = saved_level_;
        ClearArgs();
    }

private:
    uint32_t saved_level_ = 0;
};

}  // namespace share::test
