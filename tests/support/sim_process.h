// SPDX-License-Identifier: Apache-2.0
// The stand-in server as a child process in the caller's network namespace: for the tools'
// tests, the hardening runs and the benchmarks, each passing the binary it was built with.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace share::test {

// A waitpid status as a shell reports it: the exit status, or 128 + signal.
int ExitStatus(int waitStatus);

// True when a server on the endpoint answers a request.
bool ServerAnswers();

// A sharesim process serving for the lifetime of the object (killed at destruction).
class SimProcess {
  public:
    // Starts `binary` with args and waits until it answers on the server's name (or has exited).
    SimProcess(std::string binary, std::vector<std::string> args);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    // Sends sig and waits for the exit; returns the exit status (128 + signal when killed).
    int Stop(int sig = 15);
    // What it wrote to standard error so far.
    std::string Stderr() const;

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
    int status_ = -1;
    std::string errPath_;
};

}  // namespace share::test
