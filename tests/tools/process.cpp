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

#include "common/cli.h"
#include "shareadmin/api.h"

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
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, "/tmp/cifs.str", 13);
    const uint8_t status[8] = {0, 40, 0, 0, 0, 0, 0, 0};  // server status, no element
    uint8_t head[12];
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), 16) == 0 &&
                    write(fd, status, sizeof status) == static_cast<ssize_t>(sizeof status) &&
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
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
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

std::string SimProcess::Stderr() const {
    return ReadFile(errPath_);
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/sharesim-test-XXXXXX";
    path_ = mkdtemp(tmpl);
}

TempDir::~TempDir() {
    std::filesystem::remove_all(path_);
}

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

std::vector<char> ShareRecord(const std::string &name) {
    const std::string strings = name + '\0' + "VOL1" + '\0' + "/" + name + '\0';
    std::vector<char> rec(SHARE_INFO_FIXED_SIZE + strings.size());
    auto *info = reinterpret_cast<ShareInfo *>(rec.data());
    info->volumeOffset = static_cast<uint32_t>(name.size() + 1);
    info->pathOffset = static_cast<uint32_t>(name.size() + 6);
    info->commentOffset = SHARE_INFO_NO_COMMENT;
    info->stringBytes = static_cast<uint32_t>(strings.size());
    std::memcpy(rec.data() + SHARE_INFO_FIXED_SIZE, strings.data(), strings.size());
    return rec;
}

int CreateShare(const std::string &name) {
    std::vector<char> rec = ShareRecord(name);
    return CIFSLIB_CreateShare(reinterpret_cast<ShareInfo *>(rec.data()));
}

}  // namespace share::tools::test
