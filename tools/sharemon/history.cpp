// SPDX-License-Identifier: Apache-2.0
#include "sharemon/history.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace share::sharemon {

std::vector<Capped> CappedFamilies(const Snapshot &s, const GatherOptions &options) {
    std::vector<Capped> families{{"fileserver_share_clients", s.shareClients.size()}};
    const size_t n = options.perConnection ? s.perConnection.size() : 0;
    for (const char *f :
         {"fileserver_connection_idle_time_seconds", "fileserver_connection_read_bytes",
          "fileserver_connection_written_bytes"})
        families.push_back({f, n});
    return families;
}

void ByteCounters::Update(const std::vector<ConnectionSample> &open) {
    std::vector<Seen> now;
    now.reserve(open.size());
    // IDs are reused: a connection is its ID and its login time.
    for (const auto &c : open)
        now.push_back({c.loginTime << 16 | c.id, c.bytesRead, c.bytesWritten});
    const auto byKey = [](const Seen &a, const Seen &b) { return a.key < b.key; };
    if (!std::is_sorted(now.begin(), now.end(), byKey)) std::sort(now.begin(), now.end(), byKey);
    openRead_ = openWritten_ = 0;
    auto old = last_.begin();
    for (const Seen &n : now) {
        for (; old != last_.end() && old->key < n.key; ++old) {  // closed since
            retiredRead_ += old->read;
            retiredWritten_ += old->written;
        }
        if (old != last_.end() && old->key == n.key) {
            // A count that went back is a new connection under the same key: the old one's
            // bytes stay counted.
            if (n.read < old->read || n.written < old->written) {
                retiredRead_ += old->read;
                retiredWritten_ += old->written;
            }
            ++old;
        }
        openRead_ += n.read;
        openWritten_ += n.written;
    }
    for (; old != last_.end(); ++old) {
        retiredRead_ += old->read;
        retiredWritten_ += old->written;
    }
    last_ = std::move(now);
}

History::History(bool serving, Log log)
    : serving_(serving),
      log_(log ? std::move(log)
               : Log([](const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); })),
      startTime_(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                     .count()) {}

void History::Record(const Snapshot &s, const GatherOptions &options) {
    if (s.error != lastKind_) {
        if (s.error == ErrorKind::kNone)
            log_("sharemon: the file server answers again");
        else
            log_(std::string("sharemon: the file server cannot be read: ") + KindName(s.error) +
                 (s.cause.empty() ? "" : " (" + s.cause + ")"));
        lastKind_ = s.error;
    }
    if (!s.up) {
        ++errors_[s.error];
        return;
    }
    seenUp_ = true;
    bytes_.Update(s.perConnection);
    for (const Capped &c : CappedFamilies(s, options)) {
        uint64_t &dropped = dropped_[c.family];
        if (c.series <= options.maxSeries) continue;
        const size_t cut = c.series - options.maxSeries;
        dropped = serving_ ? dropped + cut : cut;
        if (!cutSaid_[c.family])
            log_(std::string("sharemon: ") + c.family + ": " + std::to_string(cut) + " of " +
                 std::to_string(c.series) + " series left out (--max-series " +
                 std::to_string(options.maxSeries) + ")");
        cutSaid_[c.family] = true;
    }
    const std::string drift = s.drift ? s.drift->problem : "";
    if (drift != lastDrift_ && !drift.empty())
        log_("sharemon: the desired configuration does not fit the server: " + drift);
    lastDrift_ = drift;
}

}  // namespace share::sharemon
