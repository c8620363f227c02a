// SPDX-License-Identifier: Apache-2.0
#include "tests/support/capture.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tests/support/isolation.h"

namespace share::test {
namespace {

LogLine Parse(std::string_view datagram) {
    LogLine line;
    if (datagram.size() > 2 && datagram[0] == '<') {
        size_t close = datagram.find('>');
        if (close != std::string_view::npos) {
            line.priority = std::atoi(std::string(datagram.substr(1, close - 1)).c_str());
            datagram.remove_prefix(close + 1);
        }
    }
    // "Mmm dd hh:mm:ss " then "tag: " (or "tag[pid]: ")
    if (datagram.size() > 16) datagram.remove_prefix(16);
    size_t sep = datagram.find(": ");
    if (sep != std::string_view::npos) {
        line.tag = std::string(datagram.substr(0, sep));
        datagram.remove_prefix(sep + 2);
    }
    line.text = std::string(datagram);
    return line;
}

}  // namespace

SyslogCapture::SyslogCapture() {
    if (!PrivateDevLog()) return;
    closelog();  // drop a connection to an earlier capture's socket
    unlink("/dev/log");
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, "/dev/log");
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd_);
        fd_ = -1;
    }
    if (fd_ >= 0) {
        int size = 4 << 20;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
}

SyslogCapture::~SyslogCapture() {
    if (fd_ >= 0) {
        close(fd_);
        unlink("/dev/log");
        closelog();
    }
}

void SyslogCapture::Drain(int wait_ms) {
    if (fd_ < 0) return;
    char buf[8192];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, wait_ms) <= 0) return;
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return;
        lines_.push_back(Parse(std::string_view(buf, static_cast<size_t>(n))));
        wait_ms = 0;
    }
}

std::vector<LogLine> SyslogCapture::Lines() {
    // syslog() is synchronous on a datagram socket: what was logged is already queued.
    Drain(0);
    return lines_;
}

std::vector<std::string> SyslogCapture::Texts() {
    std::vector<std::string> out;
    for (const LogLine &l : Lines()) out.push_back(l.text);
    return out;
}

bool SyslogCapture::Contains(std::string_view text) {
    for (const LogLine &l : Lines())
        if (l.text == text) return true;
    return false;
}

void SyslogCapture::Clear() {
    Drain(0);
    lines_.clear();
}

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    char tmpl[] = "/tmp/share-stdout-XXXXXX";
    file_ = mkstemp(tmpl);
    if (file_ < 0) return;
    unlink(tmpl);
    saved_ = dup(STDOUT_FILENO);
    dup2(file_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
    Finish();
}

std::string StdoutCapture::Finish() {
    if (saved_ < 0) return text_;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    off_t end = lseek(file_, 0, SEEK_END);
    text_.assign(static_cast<size_t>(end > 0 ? end : 0), '\0');
    if (end > 0) (void)!pread(file_, text_.data(), text_.size(), 0);
    close(file_);
    file_ = -1;
    return text_;
}

}  // namespace share::test
