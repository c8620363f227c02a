// SPDX-License-Identifier: Apache-2.0
// Helpers shared by the protocol tests: packet owners, raw packet access, log expectations.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "shareadmin/protocol.h"
#include "tests/support/capture.h"

namespace share::test {

template <class Pkt>
struct PacketFree {
    void operator()(Pkt *pkt) const {
        std::free(pkt->buffer);
        std::free(pkt);
    }
};
using ReqOwner = std::unique_ptr<ReqPkt, PacketFree<ReqPkt>>;
using RespOwner = std::unique_ptr<RespPkt, PacketFree<RespPkt>>;

inline uint32_t U32At(const uint8_t *buffer, size_t offset) {
    uint32_t v;
    std::memcpy(&v, buffer + offset, 4);
    return v;
}

inline void PutU32At(uint8_t *buffer, size_t offset, uint32_t v) {
    std::memcpy(buffer + offset, &v, 4);
}

// A response handle over exactly the given wire bytes, as the exchange would build it.
inline RespPkt *ResponseFromBytes(const std::vector<uint8_t> &bytes) {
    auto *pkt = static_cast<RespPkt *>(std::calloc(1, sizeof(RespPkt)));
    pkt->buffer = static_cast<uint8_t *>(std::calloc(1, bytes.size()));
    std::memcpy(pkt->buffer, bytes.data(), bytes.size());
    pkt->capacity = static_cast<uint32_t>(bytes.size());
    return pkt;
}

// The text a protocol message shows in syslog at ERROR level under CLI.
inline std::string CliError(const std::string &message) {
    return "ERROR: CLI: " + message;
}

// Base fixture: the initial log mask and a fresh syslog capture.
class ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(log_.Active()) << "no private /dev/log"; }
    std::vector<std::string> Logged() { return log_.Texts(); }
    void ExpectLogged(const std::vector<std::string> &texts) { EXPECT_EQ(log_.Texts(), texts); }
    void ExpectSilent() { EXPECT_EQ(log_.Texts(), std::vector<std::string>{}); }

    LogMask mask_{15};
    SyslogCapture log_;
};

}  // namespace share::test
