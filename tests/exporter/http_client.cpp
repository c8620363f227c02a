// SPDX-License-Identifier: Apache-2.0
#include "exporter/http_client.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace share::exporter::test {

using Clock = std::chrono::steady_clock;

namespace {

// True once raw holds a whole response with a Content-Length.
bool Complete(const std::string &raw) {
    const auto end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    const auto at = raw.find("Content-Length: ");
    if (at == std::string::npos || at > end) return false;
    return raw.size() - end - 4 >= std::strtoul(raw.c_str() + at + 16, nullptr, 10);
}

}  // namespace

HttpAnswer Exchange(int port, const std::string &request, std::chrono::milliseconds timeout,
                    bool halfClose) {
    HttpAnswer a;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        if (fd >= 0) close(fd);
        return a;
    }
    a.connected = true;
    const auto deadline = Clock::now() + timeout;
    // The server may stop reading a request it refuses, or hang up: never block on sending.
    for (size_t at = 0; at < request.size() && Clock::now() < deadline;) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        if (p.revents & (POLLERR | POLLHUP)) break;
        const ssize_t n =
            send(fd, request.data() + at, request.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) break;
        at += static_cast<size_t>(n);
    }
    if (halfClose) shutdown(fd, SHUT_WR);
    char buf[65536];
    while (Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        a.raw.append(buf, static_cast<size_t>(n));
        if (Complete(a.raw)) break;  // the server may keep the connection open
    }
    close(fd);
    if (a.raw.rfind("HTTP/1.", 0) == 0 && a.raw.size() > 12) a.status = std::atoi(&a.raw[9]);
    if (const auto end = a.raw.find("\r\n\r\n"); end != std::string::npos)
        a.body = a.raw.substr(end + 4);
    return a;
}

HttpAnswer Get(int port, const std::string &path, std::chrono::milliseconds timeout) {
    return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                    timeout);
}

// The test's private network namespace starts with its loopback interface down.
void BringUpLoopback() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq req{};
    std::strcpy(req.ifr_name, "lo");
    if (ioctl(fd, SIOCGIFFLAGS, &req) == 0 && !(req.ifr_flags & IFF_UP)) {
        req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP);
        ioctl(fd, SIOCSIFFLAGS, &req);
    }
    close(fd);
}

ServeProcess::ServeProcess(int port, const std::string &timeout) {
    BringUpLoopback();
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that dies
        execl(SHAREMON_BIN, SHAREMON_BIN, "serve", "--listen", listen.c_str(), "--timeout",
              timeout.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && !ready_ && Alive(); ++i) {
        ready_ = Exchange(port, "", std::chrono::milliseconds(100)).connected;
        if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

bool ServeProcess::Alive() const {
    if (pid_ <= 0 || status_ >= 0) return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) != pid_) return true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
}

int ServeProcess::Stop(int waitMs) {
    if (pid_ <= 0 || status_ >= 0) return status_;
    kill(pid_, SIGTERM);
    for (int i = 0; i < waitMs / 10; ++i) {
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

ServeProcess::~ServeProcess() {
    if (pid_ > 0 && status_ < 0 && Stop() < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

double SampleValue(const std::string &exposition, const std::string &name) {
    std::istringstream in(exposition);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name + " ", 0) == 0) return std::strtod(line.c_str() + name.size(), nullptr);
    return -1;
}

double FamilySum(const std::string &exposition, const std::string &name) {
    std::istringstream in(exposition);
    double sum = 0;
    bool any = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name, 0) != 0 || line.size() <= name.size()) continue;
        const char next = line[name.size()];
        if (next != ' ' && next != '{') continue;
        const auto space = line.rfind(' ');
        sum += std::strtod(line.c_str() + space + 1, nullptr);
        any = true;
    }
    return any ? sum : -1;
}

}  // namespace share::exporter::test
