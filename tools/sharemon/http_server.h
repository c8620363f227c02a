// SPDX-License-Identifier: Apache-2.0
// The exporter's HTTP(S) endpoint: TLS and basic authentication from a web configuration, one
// listener per port, GET and HEAD only, and connections that cannot starve one another.
#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>

#include "sharemon/web_config.h"

namespace share::sharemon {

struct HttpLimits {
    // From a connection's start (TLS handshake included), or a later request's first byte, to
    // the end of the request's headers. Not per read: a byte a second never extends it.
    std::chrono::milliseconds headerDeadline{5000};
    std::chrono::milliseconds keepAlive{5000};  // idle wait for the next request
    std::chrono::milliseconds ioTimeout{5000};  // each wait for the body or the response
    int requestsPerConnection = 20;
    size_t headerBytes = 128 * 1024;  // above the library's own line limits, so they answer first
    size_t perAddress = 128;          // open connections from one client address
    size_t total = 512;               // open connections in all
};

// Each admitted connection has its own thread, so a slow client holds only its own; the caps
// and the header deadline bound how many there are and for how long.
class HttpServer {
  public:
    // Loads the certificate and key when the configuration asks for TLS. Null with an error
    // naming the file when they cannot be used.
    static std::unique_ptr<HttpServer> Create(const WebConfig &config, std::string *error,
                                              HttpLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    httplib::Server &routes();
    bool Tls() const;
    // Listens on host:port, alone (no port sharing). False with the system's reason.
    bool Bind(const std::string &host, int port, std::string *error);
    // Serves until Stop(); false when accepting failed.
    bool Run();
    // Stops accepting and hangs up on open connections. Safe from another thread.
    void Stop();

    struct Guard;

  private:
    HttpServer() = default;
    std::unique_ptr<Guard> guard_;
    std::unique_ptr<httplib::Server> server_;
};

}  // namespace share::sharemon
