// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <syslog.h>

#include <cstring>
#include <string>
#include <vector>

#include "shareadmin/protocol.h"
#include "tests/protocol/protocol_test_util.h"

namespace share::test {
namespace {

class LogTest : public ProtocolTest {};

TEST(LogVariables, InitialValues) {
    EXPECT_EQ(gCIFSLogLevel, 15u);
    EXPECT_EQ(CifsAuditEnabled, 1);
    EXPECT_EQ(cifs_laf_fd, -1);
    const char *names[16] = {"UTILS",   "ENTRY", "BROWSER", "NBNS",    "SESSION", "AUTH",
                             "VERB",    "VERBS", "CODIR",   "CLI",     "SMB",     "RPC",
                             "CLUSTER", "DCNC",  "ADS",     "NTLM_LIB"};
    for (int i = 0; i < 16; ++i) EXPECT_STREQ(cifsLogModules[i], names[i]) << i;
    EXPECT_EQ(sizeof uniCrt, 96u);
    EXPECT_EQ(sizeof gDomainSidLock, 56u);
    for (unsigned char c : uniCrt) EXPECT_EQ(c, 0);
    for (unsigned char c : gDomainSidLock) EXPECT_EQ(c, 0);
}

struct LevelCase {
    int level;
    int priority;  // -1: no line
    const char *prefix;
};

class LevelTest : public LogTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LevelTest, PrefixAndPriority) {
    const LevelCase &c = GetParam();
    cifsLogExt(c.level, CIFS_MODULE_CLI, "value %d and %s", 42, "text");
    const auto lines = log_.Lines();
    if (c.priority < 0) {
        EXPECT_TRUE(lines.empty());
        return;
    }
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].priority, c.priority);
    EXPECT_EQ(lines[0].text, std::string(c.prefix) + ": CLI: value 42 and text");
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LevelTest,
    ::testing::Values(LevelCase{1, 134, "EVENT"}, LevelCase{2, 130, "CRITICAL"},
                      LevelCase{4, 134, "ERROR"}, LevelCase{8, 134, "WARNING"},
                      LevelCase{16, 129, "ALERT"}, LevelCase{32, 134, "INFO"},
                      LevelCase{64, 134, "DEBUG"}, LevelCase{0, -1, ""}, LevelCase{3, -1, ""},
                      LevelCase{128, -1, ""}, LevelCase{-1, -1, ""}),
    [](const auto &param) {
        return "Level" + std::to_string(static_cast<unsigned>(param.param.level) & 0xffff);
    });

TEST_F(LogTest, ModuleNamesByIndex) {
    cifsLogExt(CIFS_LOG_ERROR, CIFS_MODULE_CODIR, "a");
    cifsLogExt(CIFS_LOG_ERROR, CIFS_MODULE_UTILS, "b");
    cifsLogExt(CIFS_LOG_ERROR, CIFS_MODULE_NTLM_LIB, "c");
    ExpectLogged({"ERROR: CODIR: a", "ERROR: UTILS: b", "ERROR: NTLM_LIB: c"});
}

TEST_F(LogTest, UnknownModuleLogsNothing) {
    cifsLogExt(CIFS_LOG_ERROR, 16, "x");
    cifsLogExt(CIFS_LOG_ERROR, -1, "x");
    ExpectSilent();
}

TEST_F(LogTest, FormatLengthLimit) {
    struct Case {
        size_t length;
        int level;
        bool overflow;
    } cases[] = {{487, CIFS_LOG_ERROR, false},
                 {488, CIFS_LOG_ERROR, true},
                 {487, CIFS_LOG_CRITICAL, false},
                 {600, 3, true},
                 {488, 0, true}};
    for (const Case &c : cases) {
        log_.Clear();
        const std::string fmt(c.length, 'f');
        cifsLogExt(c.level, CIFS_MODULE_CLI, fmt.c_str(), 0);
        const auto lines = log_.Lines();
        ASSERT_EQ(lines.size(), 1u) << c.length;
        if (c.overflow) {
            EXPECT_EQ(lines[0].priority, 128);
            EXPECT_EQ(lines[0].text.rfind("BUFFER OVERFLOW IN SYSLOG", 0), 0u) << lines[0].text;
        } else {
            EXPECT_EQ(lines[0].text.substr(lines[0].text.size() - c.length), fmt);
        }
    }
}

TEST_F(LogTest, LongestPrefixFitsWithTheLongestFormat) {
    // CRITICAL and an eight-letter module leave exactly room for 487 characters in 512.
    const std::string fmt(487, 'x');
    cifsLogExt(CIFS_LOG_CRITICAL, CIFS_MODULE_NTLM_LIB, "%s", fmt.c_str());  // short format
    cifsLogExt(CIFS_LOG_CRITICAL, CIFS_MODULE_NTLM_LIB, fmt.c_str(), 0);
    const auto texts = log_.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "CRITICAL: NTLM_LIB: " + fmt);
}

TEST_F(LogTest, CallerConversionsAreExpandedBySyslog) {
    cifsLogExt(CIFS_LOG_ERROR, CIFS_MODULE_CLI, "Failed to connect to CIFS server, error: %d", 111);
    cifsLogExt(CIFS_LOG_WARNING, CIFS_MODULE_CLI, "%lu bytes, %s, 100%%", 5ul, "ok");
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "ERROR: CLI: Failed to connect to CIFS server, error: 111");
    EXPECT_EQ(lines[0].priority, 134);
    EXPECT_EQ(lines[1].text, "WARNING: CLI: 5 bytes, ok, 100%");
}

TEST_F(LogTest, NtlmCallbackFiltersByItself) {
    struct Case {
        uint32_t mask;
        int level;
        bool logged;
    } cases[] = {{15, CIFS_LOG_ERROR, true}, {15, CIFS_LOG_DEBUG, false},
                 {64, CIFS_LOG_DEBUG, true}, {15, 3, false},  // shares a bit, but no style
                 {0, CIFS_LOG_EVENT, false}, {127, CIFS_LOG_ALERT, true}};
    for (const Case &c : cases) {
        LogMask mask(c.mask);
        log_.Clear();
        cifs_ntlmssp_callback_log(c.level, "ntlm %d", 7);
        const auto texts = log_.Texts();
        EXPECT_EQ(texts.size(), c.logged ? 1u : 0u) << c.mask << " " << c.level;
        if (c.logged && !texts.empty()) {
            EXPECT_NE(texts[0].find(": NTLM_LIB: ntlm 7"), std::string::npos);
        }
    }
}

TEST_F(LogTest, InitializeLogsSetsTheIdentAndFacility) {
    static const char ident[] = "share-log-test";
    InitializeLogs(ident);
    cifsLogExt(CIFS_LOG_ERROR, CIFS_MODULE_CLI, "after init");
    const auto raw = log_.Lines();
    DeinitializeLogs();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].priority, 134);
    EXPECT_EQ(raw[0].text, "ERROR: CLI: after init");
    EXPECT_EQ(raw[0].tag, ident);
}

TEST_F(LogTest, NullFormatIsIgnored) {
    cifsLogExt(CIFS_LOG_ERROR, CIFS_MODULE_CLI, nullptr);
    ExpectSilent();
}

}  // namespace
}  // namespace share::test
