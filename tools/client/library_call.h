// SPDX-License-Identifier: Apache-2.0
// The frame of every library call: the wait it is for the server, and the library's messages
// on standard output captured instead of printed.
#pragma once

#include <string>

namespace share::client {

// The library's own limit on waiting for an answer (per stall): a wait that lasted this long
// is a time-out whatever --timeout says.
inline constexpr double kDefaultTimeoutSeconds = 90;

// Who counts the waits for the server (the CLI layer's watchdog); nobody by default. begin
// tells whether it counts this wait (then end follows); hold and release frame the printing of
// an outcome.
struct WaitObserver {
    bool (*begin)() = nullptr;
    void (*end)() = nullptr;
    void (*hold)() = nullptr;
    void (*release)() = nullptr;
};
void SetWaitObserver(WaitObserver observer);

// The frames below each stand for one span of the call, begun and ended once: never copied.
class Frame {
  public:
    Frame(const Frame &) = delete;
    Frame &operator=(const Frame &) = delete;

  protected:
    Frame() = default;
    ~Frame() = default;
};

// While alive, the process waits for the file server. Waits nest.
class ServerWait : Frame {
  public:
    ServerWait();
    ~ServerWait();
    void End();  // ends the wait early (idempotent)

  private:
    bool active_ = false;
};

// Held while an outcome is printed: the observer cannot report over it, and the wait in
// progress counts as answered.
class OutcomeLock : Frame {
  public:
    OutcomeLock();
    ~OutcomeLock();

  private:
    void (*release_)() = nullptr;
};

// While alive, whatever the libraries print on standard output (only complaints about a
// command) goes to an in-memory file instead (standard error when none can be made); Finish()
// restores standard output and returns the text. A library call is a wait for the server.
class LibraryOutput : Frame {
  public:
    LibraryOutput();
    ~LibraryOutput();
    std::string Finish();

  private:
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
    ServerWait wait_;
};

}  // namespace share::client
