// SPDX-License-Identifier: Apache-2.0
// Running the tools as the user does: as separate processes, in the test's private network
// namespace, with their output and exit status captured.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/sim_process.h"

namespace share::tools::test {

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs argv to completion (killed after timeoutMs).
RunResult RunTool(const std::vector<std::string> &argv, int timeoutMs = 20000);

// The sharesim of this build, serving for the lifetime of the object.
class SimProcess : public share::test::SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args = {})
        : share::test::SimProcess(SHARESIM_BIN, std::move(args)) {}
};

// A temporary directory removed with its files at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// CIFSLIB_CreateShare of share `name` at VOL1:/name, without a comment (see NewShare).
int CreateShare(const std::string &name);

// True when something accepts connections on the file server's endpoint.
bool ServerReachable();

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text);

}  // namespace share::tools::test
