// Running the tools as the user does: as separate processes, in the test's private network
// namespace, with their output and exit status captured.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace share::tools::test {

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// True when a server on the endpoint answers a request.
bool ServerAnswers();

// Runs argv to completion (killed after timeoutMs).
RunResult RunTool(const std::vector<std::string> &argv, int timeoutMs = 20000);

// A sharesim process serving for the lifetime of the object.
class SimProcess {
  public:
    // Starts sharesim with args and waits until it accepts connections (or has exited).
    explicit SimProcess(std::vector<std::string> args = {});
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    // Sends sig and waits for the exit; returns the exit status (128 + signal when killed).
    int Stop(int sig = 15);
    std::string Stderr() const;

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
    int status_ = -1;
    std::string errPath_;
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

// A ShareInfo record for creating share `name` at VOL1:/name, without a comment.
std::vector<char> ShareRecord(const std::string &name);
// CIFSLIB_CreateShare with that record.
int CreateShare(const std::string &name);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text);

}  // namespace share::tools::test
