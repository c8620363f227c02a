// SPDX-License-Identifier: Apache-2.0
// Captures of what the libraries write: syslog datagrams sent to /dev/log, and standard output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shareadmin/protocol.h"

namespace share::test {

struct LogLine {
    int priority = -1;
    std::string text;  // the message after the "<pri>timestamp tag: " prefix
    std::string tag;   // the identification, with "[pid]" when the sender asked for it
};

// Sets the log mask (gCIFSLogLevel) for a scope and restores the one before.
class LogMask {
  public:
    explicit LogMask(uint32_t mask) : saved_(gCIFSLogLevel) { gCIFSLogLevel = mask; }
    ~LogMask() { gCIFSLogLevel = saved_; }
    LogMask(const LogMask &) = delete;
    LogMask &operator=(const LogMask &) = delete;

  private:
    uint32_t saved_;
};

// Binds /dev/log (private to this process, see isolation.h) for its lifetime.
class SyslogCapture {
  public:
    SyslogCapture();
    ~SyslogCapture();
    SyslogCapture(const SyslogCapture &) = delete;
    SyslogCapture &operator=(const SyslogCapture &) = delete;

    bool Active() const { return fd_ >= 0; }
    // Every line received so far (waits briefly for datagrams in flight).
    std::vector<LogLine> Lines();
    // Texts only, for compact assertions.
    std::vector<std::string> Texts();
    bool Contains(std::string_view text);
    void Clear();

  private:
    void Drain(int wait_ms);
    int fd_ = -1;
    std::vector<LogLine> lines_;
};

// Redirects file descriptor 1 to a temporary file until Finish() or destruction.
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Restores stdout and returns everything written meanwhile.
    std::string Finish();

  private:
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};

}  // namespace share::test
