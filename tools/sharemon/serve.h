// SPDX-License-Identifier: Apache-2.0
// `sharemon serve`: the HTTP endpoint that Prometheus scrapes, and the single-flight gatherer
// behind it.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "sharemon/history.h"
#include "sharemon/metrics.h"

namespace share::sharemon {

// Loopback only unless told otherwise; 9922 sits with the other exporters' ports (9100-9999).
inline constexpr const char *kDefaultListen = "127.0.0.1:9922";

struct ServeOptions {
    std::string listen = kDefaultListen;
    std::chrono::milliseconds timeout{10000};
    std::string webConfig;  // TLS and basic authentication; empty: plain HTTP, no authentication
    GatherOptions gather;
};

// Splits "ADDR:PORT" or "[V6ADDR]:PORT". False when it is not of that form.
bool ParseListen(const std::string &text, std::string *host, int *port);

// One gather in flight at a time: a scrape that arrives during a gather waits for that gather's
// result. Gathers run on a worker thread, so a scrape stops waiting at the gather's deadline
// (its start plus the time-out) and answers with fileserver_up 0, while the late gather is left
// to finish (the library's exchange cannot be interrupted); scrapes meanwhile join it. Every
// result, the time-out's included, goes through one History: serving keeps counters across
// scrapes, log hears each change of cause.
class Gatherer {
  public:
    Gatherer(GatherOptions options, std::chrono::milliseconds timeout, bool serving = true,
             History::Log log = {});
    std::string Scrape(ErrorKind *error = nullptr);

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// Serves until SIGTERM or SIGINT. Returns the exit status.
int Serve(const ServeOptions &options);

}  // namespace share::sharemon
