// SPDX-License-Identifier: Apache-2.0
// Shared fixtures of the monitoring tests; the records come from tests/support/records.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "shareadmin/monitor.h"
#include "tests/support/capture.h"
#include "tests/support/fake_server.h"
#include "tests/support/records.h"

namespace share::test {

// Keeps the log mask and captures syslog; every test starts with errors logged.
class MonitorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = gCIFSLogLevel;
        gCIFSLogLevel = 15;
        ASSERT_TRUE(log_.Active());
    }
    void TearDown() override { gCIFSLogLevel = saved_; }

    // The capture socket queues only a few datagrams before syslog() blocks: tests that log
    // many lines pump it between calls. Lines() keeps what it reads.
    void Pump() { (void)log_.Lines(); }

    // Count of captured lines equal to text.
    size_t Logged(std::string_view text) {
        size_t n = 0;
        for (const auto &line : log_.Texts()) n += line == text;
        return n;
    }

    SyslogCapture log_;
    uint32_t saved_ = 0;
};

// A pointer value no call may store; tells "left as it was" from "set to null".
template <class T>
T *Untouched() {
    return reinterpret_cast<T *>(uintptr_t{0x5a5a5a5a});
}

}  // namespace share::test
