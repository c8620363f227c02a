// SPDX-License-Identifier: Apache-2.0
// The kernel audit channel is not available to tests, so this binary provides the four libaudit
// functions itself and records how the library calls them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shareadmin/protocol.h"
#include "tests/protocol/protocol_test_util.h"

namespace share::test {
namespace {

struct AuditFake {
    int openResult = 42;
    int setEnabledResult = 0;
    int logResult = 1;
    std::vector<std::string> calls;
} g_audit;

}  // namespace
}  // namespace share::test

using share::test::g_audit;

extern "C" {

int audit_open(void) {
    g_audit.calls.push_back("open");
    return g_audit.openResult;
}

void audit_close(int fd) {
    g_audit.calls.push_back("close " + std::to_string(fd));
}

int audit_set_enabled(int fd, uint32_t enabled) {
    g_audit.calls.push_back("enable " + std::to_string(fd) + " " + std::to_string(enabled));
    return g_audit.setEnabledResult;
}

int audit_log_user_message(int fd, int type, const char *message, const char *host,
                           const char *addr, const char *tty, int result) {
    g_audit.calls.push_back("log " + std::to_string(fd) + " " + std::to_string(type) + " " +
                            message + (host || addr || tty ? " +origin" : "") + " " +
                            std::to_string(result));
    return g_audit.logResult;
}

}  // extern "C"

namespace share::test {
namespace {

using Calls = std::vector<std::string>;

class AuditTest : public ProtocolTest {
  protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        g_audit = AuditFake{};
    }
    void TearDown() override {
        if (cifs_laf_fd >= 0) cifs_audit_close();
        cifs_laf_fd = -1;
        CifsAuditEnabled = 1;
    }
};

TEST_F(AuditTest, NothingIsWrittenBeforeInit) {
    cifs_audit("early", 1100);
    EXPECT_EQ(g_audit.calls, Calls{});
    ExpectSilent();
}

TEST_F(AuditTest, OpenEnableWriteClose) {
    g_audit.setEnabledResult = -1;  // ignored
    cifs_audit_init();
    EXPECT_EQ(cifs_laf_fd, 42);
    cifs_audit("share added", 1100);
    cifs_audit_close();
    EXPECT_EQ(cifs_laf_fd, -1);
    cifs_audit_close();  // already closed: nothing
    cifs_audit("late", 1100);
    EXPECT_EQ(g_audit.calls,
              (Calls{"open", "enable 42 1", "log 42 1100 share added 1", "close 42"}));
    ExpectSilent();
}

TEST_F(AuditTest, OpenFailureIsReportedOnceAndLeavesAuditingOff) {
    g_audit.openResult = -5;
    cifs_audit_init();
    EXPECT_LT(cifs_laf_fd, 0);
    cifs_audit("dropped", 1100);
    cifs_audit_close();
    EXPECT_EQ(g_audit.calls, Calls{"open"});
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "CRITICAL: UTILS: Unable open audit");
    EXPECT_EQ(lines[0].priority, 130);
}

TEST_F(AuditTest, ChannelIsClosedAgainUnlessEnabledIsExactlyOne) {
    struct Case {
        uint8_t enabled;
        uint32_t mask;
        std::vector<std::string> logged;
    } cases[] = {
        {0, 15, {}},
        {0, 15 | CIFS_LOG_DEBUG, {"DEBUG: UTILS: audit log not enabled"}},
        {2, 15 | CIFS_LOG_DEBUG, {"DEBUG: UTILS: audit log not enabled"}},
    };
    for (const Case &c : cases) {
        g_audit = AuditFake{};
        log_.Clear();
        LogMask mask(c.mask);
        CifsAuditEnabled = c.enabled;
        cifs_audit_init();
        EXPECT_EQ(cifs_laf_fd, -1);
        cifs_audit_close();
        cifs_audit("dropped", 1100);
        EXPECT_EQ(g_audit.calls, (Calls{"open", "close 42"})) << int{c.enabled};
        EXPECT_EQ(log_.Texts(), c.logged);
    }
}

TEST_F(AuditTest, DisablingAfterInitSuppressesRecords) {
    cifs_audit_init();
    CifsAuditEnabled = 0;
    cifs_audit("suppressed", 1100);
    CifsAuditEnabled = 1;
    cifs_audit("written", 1101);
    EXPECT_EQ(g_audit.calls, (Calls{"open", "enable 42 1", "log 42 1101 written 1"}));
}

TEST_F(AuditTest, FailedWriteIsReportedAtDebugOnly) {
    g_audit.logResult = -1;
    cifs_audit_init();
    cifs_audit("first", 1100);
    EXPECT_EQ(log_.Texts(), std::vector<std::string>{});
    LogMask mask(15 | CIFS_LOG_DEBUG);
    cifs_audit("second", 1102);
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "DEBUG: UTILS: audit_log_user_message failed for 1102 \n");
    EXPECT_EQ(lines[0].priority, 134);
}

TEST_F(AuditTest, InitAgainReplacesTheOpenChannel) {
    cifs_audit_init();
    g_audit.openResult = 43;
    cifs_audit_init();
    EXPECT_EQ(cifs_laf_fd, 43);
    EXPECT_EQ(g_audit.calls, (Calls{"open", "enable 42 1", "close 42", "open", "enable 43 1"}));
}

TEST_F(AuditTest, NullMessageIsIgnored) {
    cifs_audit_init();
    cifs_audit(nullptr, 1100);
    EXPECT_EQ(g_audit.calls, (Calls{"open", "enable 42 1"}));
}

}  // namespace
}  // namespace share::test
