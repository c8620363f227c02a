// SPDX-License-Identifier: Apache-2.0
#include "tests/support/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/wire.h"

namespace share::test {

int ExitStatus(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

bool ServerAnswers() {
    const int fd = ConnectToServer();
    if (fd < 0) return false;
    // Server status, no element.
    const uint8_t status[CIFS_REQ_HEADER_SIZE] = {0, CIFS_FN_SERVER_REQUEST_40, 0, 0, 0, 0, 0, 0};
    uint8_t head[CIFS_RESP_HEADER_SIZE];
    const bool ok = write(fd, status, sizeof status) == static_cast<ssize_t>(sizeof status) &&
                    read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head);
    close(fd);
    return ok;
}

SimProcess::SimProcess(std::string binary, std::vector<std::string> args) {
    char tmpl[] = "/tmp/sharesim-err-XXXXXX";
    const int errFd = mkstemp(tmpl);
    errPath_ = tmpl;
    args.insert(args.begin(), std::move(binary));
    // Built before the fork: the child of a threaded process must not allocate.
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that dies
        dup2(errFd, 2);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(errFd);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = ExitStatus(status);
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
        status_ = ExitStatus(status);
        pid_ = -1;
    }
    return status_;
}

SimProcess::~SimProcess() {
    Stop(SIGKILL);
    unlink(errPath_.c_str());
}

std::string SimProcess::Stderr() const {
    std::ifstream in(errPath_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace share::test
