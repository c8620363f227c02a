// SPDX-License-Identifier: Apache-2.0
// Shared by the command tests: filling the argument block, running a parser with its standard
// output and syslog captured, and checking which value strings the command consumed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shareadmin/command.h"
#include "tests/support/arg_block.h"
#include "tests/support/capture.h"
#include "tests/support/isolation.h"

namespace share::test {

inline constexpr uint32_t kLogAll = 15;
inline constexpr uint32_t kLogWithoutError = 15 & ~4u;

struct Outcome {
    int rc = 0;
    std::string out;               // standard output
    std::vector<std::string> log;  // syslog texts
    CmdContext ctx{};
};

// Runs fn on a zeroed context, capturing standard output and syslog.
template <class Fn>
Outcome Capture(Fn &&fn) {
    Outcome o;
    std::memset(&o.ctx, 0, sizeof o.ctx);
    SyslogCapture log;
    StdoutCapture out;
    o.rc = fn(&o.ctx);
    o.out = out.Finish();
    o.log = log.Texts();
    return o;
}

inline std::string ErrorLine(const std::string &message) {
    return "ERROR: CLI: " + message;
}

// Checks that exactly the entries in `released` lost their value (pointer null) and every other
// entry written still holds its own pointer.
inline void ExpectReleased(const std::vector<char *> &written, std::set<int> released) {
    for (int i = 0; i < static_cast<int>(written.size()); ++i) {
        if (released.count(i) != 0) {
            EXPECT_EQ(gbCifsArg[i].value, nullptr) << "entry " << i << " should be released";
        } else {
            EXPECT_EQ(gbCifsArg[i].value, written[i]) << "entry " << i << " should be untouched";
        }
    }
}

// Every command test starts from an empty block and the default log mask, and frees what the
// command left behind.
class CommandTest : public testing::Test {
  protected:
    void SetUp() override {
        ClearArgBlock();
        saved_level_ = gCIFSLogLevel;
        gCIFSLogLevel = kLogAll;
    }
    void TearDown() override {
        ClearArgBlock();
        gCIFSLogLevel = saved_level_;
    }

  private:
    uint32_t saved_level_ = 0;
};

// One parser run: the block, and everything the run must leave behind.
struct Case {
    Case(std::string name_, std::vector<Arg> args_, int rc_ = 0, int functionId_ = -1,
         std::string out_ = "", std::string log_ = "", std::set<int> released_ = {},
         std::function<void(const CmdContext &)> check_ = {})
        : name(std::move(name_)),
          args(std::move(args_)),
          rc(rc_),
          functionId(functionId_),
          out(std::move(out_)),
          log(std::move(log_)),
          released(std::move(released_)),
          check(std::move(check_)) {}

    std::string name;
    std::vector<Arg> args;  // from entry 0; an end entry follows
    int rc = 0;
    int functionId = -1;  // -1: not checked
    std::string out;      // standard output, exactly
    std::string log;      // the one syslog message (without its prefix) when log bit 4 is set
    std::set<int> released;
    std::function<void(const CmdContext &)> check;
};

using Parser = int (*)(CmdContext *) noexcept;

// Runs each case twice, with log bit 4 set and clear: the result, output and consumed values
// are the same, and the log message appears only with the bit set.
inline void RunCases(Parser parser, const std::vector<Case> &cases) {
    for (const Case &c : cases) {
        for (uint32_t level : {kLogAll, kLogWithoutError}) {
            SCOPED_TRACE(c.name + (level == kLogAll ? " (log on)" : " (log off)"));
            gCIFSLogLevel = level;
            const std::vector<char *> written = FillArgBlock(c.args);
            const bool logs = PrivateDevLog();
            const Outcome o = Capture(parser);
            EXPECT_EQ(o.rc, c.rc);
            if (c.functionId >= 0) {
                EXPECT_EQ(o.ctx.functionId, c.functionId);
            }
            EXPECT_EQ(o.out, c.out);
            if (logs) {
                std::vector<std::string> expected;
                if (level == kLogAll && !c.log.empty()) expected.push_back(ErrorLine(c.log));
                EXPECT_EQ(o.log, expected);
            }
            ExpectReleased(written, c.released);
            EXPECT_EQ(o.ctx.componentId, 0);
            if (c.check) c.check(o.ctx);
        }
    }
    gCIFSLogLevel = kLogAll;
}

}  // namespace share::test
