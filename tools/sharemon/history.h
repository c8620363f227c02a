// SPDX-License-Identifier: Apache-2.0
// What the exporter remembers from one gather to the next: byte counters that survive closed
// connections, failures by kind, the series its budget cut, and the log of each change of cause.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sharemon/metrics.h"

namespace share::sharemon {

// A family whose series the budget caps, and how many of its series a snapshot has.
struct Capped {
    const char *family;
    size_t series;
};
// The capped families of a snapshot as rendered with options (per-connection ones only when
// asked for).
std::vector<Capped> CappedFamilies(const Snapshot &s, const GatherOptions &options);

// Bytes moved by the clients since the exporter started: the open connections' own counts plus
// the last count seen of each connection that has closed since. Never decreases.
class ByteCounters {
  public:
    void Update(const std::vector<ConnectionSample> &open);
    uint64_t read() const { return retiredRead_ + openRead_; }
    uint64_t written() const { return retiredWritten_ + openWritten_; }

  private:
    struct Seen {
        uint64_t key, read, written;
    };
    std::vector<Seen> last_;  // by key
    uint64_t retiredRead_ = 0, retiredWritten_ = 0, openRead_ = 0, openWritten_ = 0;
};

class History {
  public:
    using Log = std::function<void(const std::string &line)>;
    // serving: a long-running exporter (counters and self-metrics are shown); log: where a
    // change of cause is said (standard error by default).
    explicit History(bool serving, Log log = {});

    // Folds in one gather's result.
    void Record(const Snapshot &s, const GatherOptions &options);
    void CountScrape() { ++scrapes_; }

    bool serving() const { return serving_; }
    bool countersValid() const { return seenUp_; }
    const ByteCounters &bytes() const { return bytes_; }
    uint64_t scrapes() const { return scrapes_; }
    const std::map<ErrorKind, uint64_t> &errors() const { return errors_; }
    const std::map<std::string, uint64_t> &dropped() const { return dropped_; }
    double startTime() const { return startTime_; }

  private:
    bool serving_;
    Log log_;
    ByteCounters bytes_;
    bool seenUp_ = false;
    uint64_t scrapes_ = 0;
    std::map<ErrorKind, uint64_t> errors_;
    std::map<std::string, uint64_t> dropped_;
    std::map<std::string, bool> cutSaid_;
    ErrorKind lastKind_ = ErrorKind::kNone;
    std::string lastDrift_;
    double startTime_;
};

}  // namespace share::sharemon
