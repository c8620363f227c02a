// SPDX-License-Identifier: Apache-2.0
#include "sharemon/metrics.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "client/library_call.h"
#include "client/pipeline.h"
#include "client/records.h"
#include "client/text.h"
#include "common/server_formats.h"
#include "shareadmin/api.h"
#include "shareadmin/codes.h"

namespace share::sharemon {
namespace {

using client::FieldString;

bool Connections(Snapshot &s, bool perConnection) {
    ConnectionList *list = nullptr;
    if (CIFSLIB_GetConnectionsList(&list) != 0) return false;
    if (list == nullptr) return true;  // no connection
    const auto *records = static_cast<const ConnectionRecord *>(list->records);
    for (int32_t i = 0; records && i < list->count; ++i) {
        const ConnectionRecord &r = records[i];
        const uint16_t flags = tools::ConnFlags(r);
        s.AddConnection(
            {FieldString(r.text354), FieldString(r.text386), (flags & tools::kConnFlagSigned) != 0,
             (flags & tools::kConnFlagEncrypted) != 0},
            r.value326, r.value330, r.value338);
        if (perConnection)
            s.perConnection.push_back({r.connectionId, r.value326, r.value330, r.value338});
    }
    std::free(list->records);
    std::free(list);
    return true;
}

// The share-details exchange: its "clients=N" text.
bool ShareClients(const std::string &name, int64_t *clients) {
    client::Reply reply;
    if (!client::Execute({{CMD_SHARE, {}}, {CIFS_ACT_LIST, {}}, {CIFS_OPT_NAME, name}}, &reply)
             .done())
        return false;
    if (const auto share = client::DecodeShareReply(reply.elements()); share && share->clients)
        *clients = *share->clients;
    return true;
}

// Shares by type and their clients; fills the volume names.
bool Shares(Snapshot &s, std::set<std::string> *volumes) {
    ShareInfoList *list = nullptr;
    if (CIFSLIB_ListAllShares(&list) != 0) return false;
    std::vector<std::string> names;
    for (uint32_t i = 0; list && i < list->count; ++i) {
        ShareInfo *info = list->entries[i];
        ++s.shares[client::ShareTypeName(*info)];
        names.push_back(client::ShareInfoText(*info, info->nameOffset));
        if (auto v = client::ShareInfoText(*info, info->volumeOffset); !v.empty())
            volumes->insert(std::move(v));
        std::free(info);
    }
    std::free(list);
    for (const auto &name : names) {
        int64_t clients = 0;
        if (!ShareClients(name, &clients)) return false;
        s.shareClients[name] = clients;
    }
    return true;
}

bool OpenFiles(Snapshot &s, const std::string &volume) {
    std::vector<uint8_t> record = client::VolumeFilesRequest(volume);
    void *reply = nullptr;
    if (CIFSLIB_ListOpenFiles(reinterpret_cast<OpenFilesRequest *>(record.data()), &reply) != 0)
        return false;
    if (reply == nullptr) return true;
    const auto files = client::TakeOpenFiles(reply);
    if (!files) return false;
    for (const auto &f : files->files) ++s.openFiles[{f.volume, client::AccessName(f.accessMode)}];
    return true;
}

bool InvalidUsers(Snapshot &s) {
    tools::InvalidUserQuery q{};
    void *list = nullptr;
    if (CIFSLIB_ListInvalidUsers(&q, &list) != 0) return false;
    if (list == nullptr) return true;
    const auto users = client::TakeInvalidUsers(list);
    if (!users) return false;
    s.invalidUsers["permanent"];
    s.invalidUsers["temporary"];
    for (const auto &u : users->users) {
        ++s.invalidUsers[u.permanent ? "permanent" : "temporary"];
        s.failedLogons += u.failedLogons;
    }
    s.invalidUserTimeoutMinutes = users->timeoutMinutes;
    return true;
}

// ---- Exposition ----

using Labels = std::vector<std::pair<const char *, std::string>>;

class Writer {
  public:
    void Family(const std::string &name, const char *type, const char *help) {
        out_ += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void Sample(const std::string &name, const Labels &labels, const std::string &value) {
        out_ += name;
        if (!labels.empty()) {
            out_ += '{';
            for (size_t i = 0; i < labels.size(); ++i) {
                if (i) out_ += ',';
                out_ += labels[i].first;
                out_ += "=\"" + EscapeLabel(labels[i].second) + '"';
            }
            out_ += '}';
        }
        out_ += ' ' + value + '\n';
    }
    void Sample(const std::string &name, const Labels &labels, uint64_t value) {
        Sample(name, labels, std::to_string(value));
    }
    std::string Take() { return std::move(out_); }

  private:
    std::string out_;
};

std::string Number(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", value);
    return buf;
}

const char *Bool(bool b) {
    return b ? "true" : "false";
}

}  // namespace

void Snapshot::AddConnection(const ConnectionKind &kind, uint32_t idleSeconds, uint64_t read,
                             uint64_t written) {
    ++connections[kind];
    const auto bucket = std::lower_bound(kIdleBuckets.begin(), kIdleBuckets.end(),
                                         static_cast<double>(idleSeconds));
    if (bucket != kIdleBuckets.end())
        ++idleBuckets[static_cast<size_t>(bucket - kIdleBuckets.begin())];
    ++idleCount;
    idleSum += idleSeconds;
    bytesRead += read;
    bytesWritten += written;
}

Snapshot Gather(const GatherOptions &options) {
    Snapshot s;
    std::string messages;
    try {
        client::LibraryOutput capture;  // keep the library's complaints off the exposition
        std::set<std::string> volumes;
        s.up = Connections(s, options.perConnection) && Shares(s, &volumes) && InvalidUsers(s);
        for (auto v = volumes.begin(); s.up && v != volumes.end(); ++v) s.up = OpenFiles(s, *v);
        messages = capture.Finish();
    } catch (const std::exception &e) {  // memory, or a reply no record can hold
        s.up = false;
        messages += std::string("sharemon: metrics: ") + e.what() + "\n";
    }
    if (!messages.empty()) std::fputs(messages.c_str(), stderr);
    return s.up ? s : Snapshot{};
}

std::string Render(const Snapshot &s, double durationSeconds) {
    Writer w;
    w.Family("fileserver_up", "gauge", "1 when the file server answered every call of the scrape");
    w.Sample("fileserver_up", {}, s.up ? 1 : 0);
    w.Family("fileserver_scrape_duration_seconds", "gauge",
             "Seconds the exporter took to gather the file server's state");
    w.Sample("fileserver_scrape_duration_seconds", {}, Number(durationSeconds));
    if (!s.up) return w.Take();

    w.Family("fileserver_connections", "gauge", "Client connections");
    for (const auto &[k, n] : s.connections)
        w.Sample("fileserver_connections",
                 {{"dialect", k.dialect},
                  {"auth", k.auth},
                  {"signed", Bool(k.isSigned)},
                  {"encrypted", Bool(k.encrypted)}},
                 n);
    w.Family("fileserver_connection_idle_seconds", "histogram",
             "Idle time of the client connections");
    uint64_t cumulative = 0;
    for (size_t i = 0; i < kIdleBuckets.size(); ++i) {
        cumulative += s.idleBuckets[i];
        w.Sample("fileserver_connection_idle_seconds_bucket", {{"le", Number(kIdleBuckets[i])}},
                 cumulative);
    }
    w.Sample("fileserver_connection_idle_seconds_bucket", {{"le", "+Inf"}}, s.idleCount);
    w.Sample("fileserver_connection_idle_seconds_sum", {}, Number(s.idleSum));
    w.Sample("fileserver_connection_idle_seconds_count", {}, s.idleCount);
    w.Family("fileserver_bytes_read_total", "counter",
             "Bytes read by the clients, summed over the open connections");
    w.Sample("fileserver_bytes_read_total", {}, s.bytesRead);
    w.Family("fileserver_bytes_written_total", "counter",
             "Bytes written by the clients, summed over the open connections");
    w.Sample("fileserver_bytes_written_total", {}, s.bytesWritten);
    w.Family("fileserver_open_files", "gauge", "Open files by volume and access mode");
    for (const auto &[k, n] : s.openFiles)
        w.Sample("fileserver_open_files", {{"volume", k.first}, {"access", k.second}}, n);
    w.Family("fileserver_shares", "gauge", "Shares by type");
    for (const auto &[type, n] : s.shares) w.Sample("fileserver_shares", {{"type", type}}, n);
    w.Family("fileserver_share_clients", "gauge", "Clients connected to each share");
    for (const auto &[share, n] : s.shareClients)
        w.Sample("fileserver_share_clients", {{"share", share}}, std::to_string(n));
    w.Family("fileserver_invalid_users", "gauge", "Entries of the invalid-user cache by kind");
    for (const auto &[kind, n] : s.invalidUsers)
        w.Sample("fileserver_invalid_users", {{"kind", kind}}, n);
    w.Family("fileserver_invalid_user_failed_logons", "gauge",
             "Failed logons recorded by the invalid-user cache's entries");
    w.Sample("fileserver_invalid_user_failed_logons", {}, s.failedLogons);
    if (s.invalidUserTimeoutMinutes >= 0) {
        w.Family("fileserver_invalid_user_timeout_seconds", "gauge",
                 "Time after which a temporary invalid-user entry expires (0: never)");
        w.Sample("fileserver_invalid_user_timeout_seconds", {},
                 std::to_string(s.invalidUserTimeoutMinutes * 60));
    }
    if (!s.perConnection.empty()) {
        auto each = [&](const char *name, const char *type, const char *help, auto value) {
            w.Family(name, type, help);
            for (const auto &c : s.perConnection)
                w.Sample(name, {{"connection", std::to_string(c.id)}}, value(c));
        };
        each("fileserver_connection_idle_time_seconds", "gauge", "Idle time of one connection",
             [](const ConnectionSample &c) { return uint64_t{c.idleSeconds}; });
        each("fileserver_connection_bytes_read_total", "counter", "Bytes read by one connection",
             [](const ConnectionSample &c) { return c.bytesRead; });
        each("fileserver_connection_bytes_written_total", "counter",
             "Bytes written by one connection",
             [](const ConnectionSample &c) { return c.bytesWritten; });
    }
    return w.Take();
}

std::string EscapeLabel(const std::string &value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool WriteAtomically(const std::string &path, const std::string &text, std::string *error) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string temp = (slash == std::string::npos ? "" : dir) + ".sharemon-metrics.XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        *error = "cannot create a temporary file in " + dir + ": " + std::strerror(errno);
        return false;
    }
    bool ok = fchmod(fd, 0644) == 0;
    for (size_t at = 0; ok && at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) at += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    const int saved = errno;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp.c_str(), path.c_str()) == 0) {
        // The rename itself is durable once the folder is synced.
        if (const int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); d >= 0) {
            fsync(d);
            close(d);
        }
        return true;
    }
    *error = "cannot write " + path + ": " + std::strerror(ok ? errno : saved);
    unlink(temp.c_str());
    return false;
}

}  // namespace share::sharemon
