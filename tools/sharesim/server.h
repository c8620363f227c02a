// SPDX-License-Identifier: Apache-2.0
// The serving loop: one thread, non-blocking sockets and epoll, one exchange per connection.
// A client that sends slowly or never reads its answer holds only its own connection, which is
// dropped after a time-out; nobody else waits for it.
#pragma once

#include <sys/signalfd.h>

#include <functional>
#include <memory>
#include <string>

#include "sharesim/handlers.h"
#include "sharesim/state.h"

namespace share::sim {

struct ServerOptions {
    std::string statePath;  // empty: the state lives in memory only
    bool verbose = false;
    int exchangeTimeoutMs = 30000;
    // Callers served when either list is non-empty: a listed uid or a listed primary gid. Others
    // are answered access-denied after their header, and nothing more is read from them.
    std::vector<uint32_t> allowUids;
    std::vector<uint32_t> allowGids;
};

class Server {
  public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Binds and listens on the file server's abstract name. False with a reason when the name is
    // taken (another server runs in this network namespace) or the socket cannot be set up.
    bool Bind(std::string *error);

    // Serves until onSignal, called for every signal read from signalFd, returns true.
    void Run(int signalFd, const std::function<bool(const signalfd_siginfo &)> &onSignal);

    void SetState(State state) { state_ = std::move(state); }
    const State &state() const { return state_; }

  private:
    struct Client;
    void Accept();
    bool Allowed(int fd) const;
    void OnReadable(Client &client);
    void OnWritable(Client &client);
    void Answer(Client &client);
    std::vector<uint8_t> Process(std::span<const uint8_t> bytes);
    void Close(int fd);
    void ExpireClients();

    State state_;
    ServerOptions options_;
    ServerStats stats_;
    int listenFd_ = -1;
    int epollFd_ = -1;
    std::vector<std::unique_ptr<Client>> clients_;  // indexed by descriptor
    size_t clientCount_ = 0;
};

}  // namespace share::sim
