// SPDX-License-Identifier: Apache-2.0
#include "sharemon/exposition.h"

#include <dirent.h>
#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace share::sharemon {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

class Builder {
  public:
    explicit Builder(size_t budget) : budget_(budget) {}
    void Family(const char *name, MetricType type, const char *help) {
        families_.push_back({name, help, type, {}});
    }
    void Sample(std::vector<ClientMetric::Label> labels, double value) {
        ClientMetric m;
        m.label = std::move(labels);
        switch (families_.back().type) {
            case MetricType::Counter:
                m.counter.value = value;
                break;
            case MetricType::Gauge:
                m.gauge.value = value;
                break;
            default:
                m.untyped.value = value;
                break;
        }
        families_.back().metric.push_back(std::move(m));
    }
    // A sample of a capped family: false once the family is full.
    bool Capped(std::vector<ClientMetric::Label> labels, double value) {
        if (families_.back().metric.size() >= budget_) return false;
        Sample(std::move(labels), value);
        return true;
    }
    std::string Take() {
        std::ostringstream out;
        prometheus::TextSerializer().Serialize(out, families_);
        return std::move(out).str();
    }

  private:
    size_t budget_;
    std::vector<MetricFamily> families_;
};

const char *Bool(bool b) {
    return b ? "true" : "false";
}

std::string Bound(double b) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", b);
    return buf;
}

double ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double OpenFds() {
    double n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (const dirent *e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
        --n;  // the listing's own
    }
    return n;
}

void Exporter(Builder &b, const Snapshot &s, double duration, const GatherOptions &options,
              const History *h) {
    b.Family("fileserver_build_info", MetricType::Gauge, "The exporter's version (always 1)");
    b.Sample({{"version", SHARE_VERSION}}, 1);
    b.Family("fileserver_up", MetricType::Gauge,
             "1 when the file server answered every call of the scrape");
    b.Sample({}, s.up ? 1 : 0);
    b.Family("fileserver_scrape_error", MetricType::Gauge,
             "1 for the kind of failure that made fileserver_up 0");
    for (ErrorKind k : kErrorKinds) b.Sample({{"kind", KindName(k)}}, s.error == k ? 1 : 0);
    b.Family("fileserver_scrape_duration_seconds", MetricType::Gauge,
             "Seconds the exporter took to gather the file server's state");
    b.Sample({}, duration);
    b.Family("fileserver_exporter_series_dropped_total", MetricType::Counter,
             "Series left out by the series budget (--max-series), by family");
    for (const Capped &c : CappedFamilies(s, options)) {
        double cut = 0;
        if (h) {
            if (const auto d = h->dropped().find(c.family); d != h->dropped().end())
                cut = static_cast<double>(d->second);
        } else if (c.series > options.maxSeries) {
            cut = static_cast<double>(c.series - options.maxSeries);
        }
        b.Sample({{"family", c.family}}, cut);
    }
    if (!h || !h->serving()) return;
    b.Family("fileserver_exporter_scrapes_total", MetricType::Counter, "Scrapes answered");
    b.Sample({}, static_cast<double>(h->scrapes()));
    b.Family("fileserver_exporter_gather_errors_total", MetricType::Counter,
             "Gathers of the file server's state that failed, by kind");
    for (ErrorKind k : kErrorKinds) {
        const auto e = h->errors().find(k);
        b.Sample({{"kind", KindName(k)}},
                 e == h->errors().end() ? 0.0 : static_cast<double>(e->second));
    }
    b.Family("process_resident_memory_bytes", MetricType::Gauge, "Resident memory size in bytes");
    b.Sample({}, ResidentBytes());
    b.Family("process_open_fds", MetricType::Gauge, "Number of open file descriptors");
    b.Sample({}, OpenFds());
    b.Family("process_start_time_seconds", MetricType::Gauge,
             "Start time of the process since the epoch in seconds");
    b.Sample({}, h->startTime());
    if (!h->countersValid()) return;
    b.Family("fileserver_bytes_read_total", MetricType::Counter,
             "Bytes read by the clients since the exporter started: the open connections plus "
             "the last value seen of each closed one; a connection opened and closed between "
             "two scrapes is not seen, nor what a closed one moved after its last scrape");
    b.Sample({}, static_cast<double>(h->bytes().read()));
    b.Family("fileserver_bytes_written_total", MetricType::Counter,
             "Bytes written by the clients since the exporter started: the open connections "
             "plus the last value seen of each closed one; a connection opened and closed "
             "between two scrapes is not seen, nor what a closed one moved after its last scrape");
    b.Sample({}, static_cast<double>(h->bytes().written()));
}

void Server(Builder &b, const Snapshot &s, const GatherOptions &options) {
    b.Family("fileserver_connections", MetricType::Gauge, "Client connections");
    for (const auto &[k, n] : s.connections)
        b.Sample({{"dialect", k.dialect},
                  {"auth", k.auth},
                  {"signed", Bool(k.isSigned)},
                  {"encrypted", Bool(k.encrypted)}},
                 static_cast<double>(n));
    b.Family("fileserver_connections_idle_longer_than", MetricType::Gauge,
             "Connections idle for more than the given number of seconds");
    uint64_t within = 0;
    for (size_t i = 0; i < kIdleBuckets.size(); ++i) {
        within += s.idleBuckets[i];
        b.Sample({{"seconds", Bound(kIdleBuckets[i])}}, static_cast<double>(s.idleCount - within));
    }
    b.Family("fileserver_open_connections_read_bytes", MetricType::Gauge,
             "Bytes read by the clients over the connections open now (falls when one closes)");
    b.Sample({}, static_cast<double>(s.bytesRead));
    b.Family("fileserver_open_connections_written_bytes", MetricType::Gauge,
             "Bytes written by the clients over the connections open now (falls when one closes)");
    b.Sample({}, static_cast<double>(s.bytesWritten));
    b.Family("fileserver_open_files", MetricType::Gauge, "Open files by volume and access mode");
    for (const auto &[k, n] : s.openFiles)
        b.Sample({{"volume", k.first}, {"access", k.second}}, static_cast<double>(n));
    b.Family("fileserver_shares", MetricType::Gauge, "Shares by type");
    for (const auto &[type, n] : s.shares) b.Sample({{"type", type}}, static_cast<double>(n));
    b.Family("fileserver_share_clients", MetricType::Gauge,
             "Clients connected to each share (at most --max-series shares)");
    for (const auto &[share, n] : s.shareClients)
        if (!b.Capped({{"share", share}}, static_cast<double>(n))) break;
    b.Family("fileserver_invalid_users", MetricType::Gauge,
             "Entries of the invalid-user cache by kind");
    for (const auto &[kind, n] : s.invalidUsers) b.Sample({{"kind", kind}}, static_cast<double>(n));
    b.Family("fileserver_invalid_user_failed_logons", MetricType::Gauge,
             "Failed logons recorded by the invalid-user cache's entries");
    b.Sample({}, static_cast<double>(s.failedLogons));
    if (s.invalidUserTimeoutMinutes >= 0) {
        b.Family("fileserver_invalid_user_timeout_seconds", MetricType::Gauge,
                 "Time after which a temporary invalid-user entry expires (0: never)");
        b.Sample({}, static_cast<double>(s.invalidUserTimeoutMinutes * 60));
    }
    if (s.status) {
        const ServerStatus &st = *s.status;
        b.Family("fileserver_server_info", MetricType::Gauge, "The server's name (always 1)");
        b.Sample({{"name", st.name}}, 1);
        const auto number = [&](const char *name, MetricType type, const char *help,
                                const std::optional<uint64_t> &v) {
            if (!v) return;
            b.Family(name, type, help);
            b.Sample({}, static_cast<double>(*v));
        };
        number("fileserver_server_uptime_seconds", MetricType::Gauge,
               "Seconds since the server started", st.uptimeSeconds);
        number("fileserver_server_requests_total", MetricType::Counter,
               "Requests the server has handled since it started", st.requests);
        number("fileserver_server_refused_requests_total", MetricType::Counter,
               "Requests the server has refused since it started", st.refused);
    }
    if (s.drift) {
        b.Family("fileserver_config_in_sync", MetricType::Gauge,
                 "1 when the server matches the desired configuration document (--desired)");
        b.Sample({}, s.drift->inSync ? 1 : 0);
        if (s.drift->differences) {
            b.Family("fileserver_config_differences", MetricType::Gauge,
                     "Changes that would make the server match the desired document");
            b.Sample({}, static_cast<double>(*s.drift->differences));
        }
    }
    if (!options.perConnection) return;
    const auto each = [&](const char *name, const char *help, auto value) {
        b.Family(name, MetricType::Gauge, help);
        for (const auto &c : s.perConnection)
            if (!b.Capped({{"connection", std::to_string(c.id)}}, value(c))) break;
    };
    each("fileserver_connection_idle_time_seconds", "Idle time of one connection",
         [](const ConnectionSample &c) { return static_cast<double>(c.idleSeconds); });
    each("fileserver_connection_read_bytes", "Bytes read over one connection so far",
         [](const ConnectionSample &c) { return static_cast<double>(c.bytesRead); });
    each("fileserver_connection_written_bytes", "Bytes written over one connection so far",
         [](const ConnectionSample &c) { return static_cast<double>(c.bytesWritten); });
}

}  // namespace

std::string Render(const Snapshot &s, double durationSeconds, const GatherOptions &options,
                   const History *history) {
    Builder b(options.maxSeries);
    Exporter(b, s, durationSeconds, options, history);
    if (s.up) Server(b, s, options);
    return b.Take();
}

}  // namespace share::sharemon
