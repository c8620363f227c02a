#include "tests/tools/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "shareadmin/api.h"
#include "tests/support/records.h"
#include "tests/support/wire.h"
#include "tools/common/cli.h"

namespace share::tools::test {
namespace {

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::vector<char *> Argv(std::vector<std::string> &args) {
    std::vector<char *> out;
    for (auto &a : args) out.push_back(a.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

bool ServerAnswers() {
    const int fd = share::test::ConnectToServer();
    if (fd < 0) return false;
    // Server status, no element.
    const uint8_t status[CIFS_REQ_HEADER_SIZE] = {0, CIFS_FN_SERVER_REQUEST_40, 0, 0, 0, 0, 0, 0};
    uint8_t head[CIFS_RESP_HEADER_SIZE];
    const bool ok = write(fd, status, sizeof status) == static_cast<ssize_t>(sizeof status) &&
                    read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head);
    close(fd);
    return ok;
}

RunResult RunTool(const std::vector<std::string> &argv, int timeoutMs) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return {};
    std::vector<std::string> args = argv;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        auto a = Argv(args);
        execv(a[0], a.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    RunResult r;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = DecodeStatus(status);
    return r;
}

SimProcess::SimProcess(std::vector<std::string> args) {
    char tmpl[] = "/tmp/sharesim-err-XXXXXX";
    const int errFd = mkstemp(tmpl);
    errPath_ = tmpl;
    args.insert(args.begin(), SHARESIM_BIN);
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that dies
        dup2(errFd, 2);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        auto a = Argv(args);
        execv(a[0], a.data());
        _exit(127);
    }
    close(errFd);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = DecodeStatus(status);
            pid_ = -1;
            return;
        }
        // Bound is not enough: the state file is written once the name is held.
        if (ServerAnswers()) {
            ready_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int SimProcess::Stop(int sig) {
    if (pid_ > 0) {
        kill(pid_, sig);
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = DecodeStatus(status);
        pid_ = -1;
    }
    return status_;
}

SimProcess::~SimProcess() {
    Stop(SIGKILL);
    unlink(errPath_.c_str());
}

std::string SimProcess::Stderr() const { return ReadFile(errPath_); }

TempDir::TempDir() {
    char tmpl[] = "/tmp/sharesim-test-XXXXXX";
    path_ = mkdtemp(tmpl);
}

TempDir::~TempDir() { std::filesystem::remove_all(path_); }

std::string ReadFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
}

int CreateShare(const std::string &name) {
    return CIFSLIB_CreateShare(share::test::NewShare(name).Get());
}

}  // namespace share::tools::test
