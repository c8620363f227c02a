// SPDX-License-Identifier: Apache-2.0
// A bare HTTP/1.x client over a TCP socket, for sending what a well-behaved client never would.
#pragma once

#include <chrono>
#include <string>

namespace share::exporter::test {

struct HttpAnswer {
    bool connected = false;
    int status = 0;    // 0: no status line came back
    std::string body;  // after the blank line
    std::string raw;
};

// Sends request (as it is) to 127.0.0.1:port, half-closes when told, reads until the peer
// closes or timeout passes.
HttpAnswer Exchange(int port, const std::string &request,
                    std::chrono::milliseconds timeout = std::chrono::seconds(15),
                    bool halfClose = false);

// GET path with Connection: close.
HttpAnswer Get(int port, const std::string &path,
               std::chrono::milliseconds timeout = std::chrono::seconds(15));

// A sharemon serve process on 127.0.0.1:port, stopped with SIGTERM at destruction.
class ServeProcess {
  public:
    ServeProcess(int port, const std::string &timeout = "10");
    ~ServeProcess();
    ServeProcess(const ServeProcess &) = delete;
    ServeProcess &operator=(const ServeProcess &) = delete;
    bool ready() const { return ready_; }
    int pid() const { return pid_; }
    bool Alive() const;
    // SIGTERM, then the exit status (128 + signal when killed), or -1 after waitMs.
    int Stop(int waitMs = 5000);

  private:
    int pid_ = -1;
    bool ready_ = false;
    mutable int status_ = -1;
};

// Value of the unlabelled sample name in an exposition; -1 when absent.
double SampleValue(const std::string &exposition, const std::string &name);
// The sum of the samples of the family name, whatever their labels; -1 when it has none.
double FamilySum(const std::string &exposition, const std::string &name);

}  // namespace share::exporter::test
