// Builders for the server's connection records and shared fixtures of the monitoring tests.
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

namespace share::test {

// A 418-byte connection record with an optional variable part.
class ConnRecord {
  public:
    ConnRecord() : bytes_(418, 0) {}

    template <class T>
    ConnRecord &Put(size_t offset, T value) {
        std::memcpy(&bytes_[offset], &value, sizeof value);
        return *this;
    }
    // Writes text into its field without a terminator when it fills the field.
    ConnRecord &Text(size_t offset, size_t size, std::string_view text) {
        std::memset(&bytes_[offset], 0, size);
        std::memcpy(&bytes_[offset], text.data(), std::min(size, text.size()));
        return *this;
    }
    // A recognisable record: every copied field derives from id.
    static ConnRecord Sample(uint16_t id) {
        ConnRecord r;
        const std::string n = std::to_string(id);
        r.Put<uint16_t>(0, id)
            .Put<uint64_t>(12, 0x1122334455660000u + id)
            .Text(20, 16, "10.0.0." + n)
            .Text(36, 256, "cn=user" + n + ",o=org")
            .Text(292, 20, "2024-01-0" + n.substr(0, 1) + " 10:00:00")
            .Put<uint32_t>(326, 326000u + id)
            .Put<uint64_t>(330, 0xA000000000000000u + id)
            .Put<uint64_t>(338, 0xB000000000000000u + id)
            .Text(354, 32, "ws" + n)
            .Text(386, 32, "dom" + n);
        return r;
    }
    // Security-equivalence area: the DNs back to back, padded with filler to areaLength.
    ConnRecord &Dns(const std::vector<std::string> &dns, size_t areaLength = 0) {
        std::vector<uint8_t> area;
        for (const auto &dn : dns) {
            area.insert(area.end(), dn.begin(), dn.end());
            area.push_back(0);
        }
        if (area.size() < areaLength) area.resize(areaLength, 'x');
        Put<uint32_t>(346, static_cast<uint32_t>(dns.size()));
        Put<uint32_t>(350, static_cast<uint32_t>(area.size()));
        bytes_.insert(bytes_.end(), area.begin(), area.end());
        return *this;
    }
    // Open-file entries: 8 filler bytes, then the name with its NUL.
    ConnRecord &Files(const std::vector<std::string> &names) {
        for (const auto &name : names) {
            bytes_.insert(bytes_.end(), 8, 0xEE);
            bytes_.insert(bytes_.end(), name.begin(), name.end());
            bytes_.push_back(0);
        }
        Put<uint32_t>(4, static_cast<uint32_t>(names.size()));
        return *this;
    }
    ConnRecord &Truncate(size_t size) {
        bytes_.resize(size);
        return *this;
    }
    Element ToElement(uint8_t type = 41) const {
        return BytesElement(type, bytes_.data(), bytes_.size());
    }
    const std::vector<uint8_t> &Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

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
