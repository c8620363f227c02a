// SPDX-License-Identifier: Apache-2.0
#include "sharemon/metrics.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "client/config/config.h"
#include "client/library_call.h"
#include "client/pipeline.h"
#include "client/records.h"
#include "client/text.h"
#include "common/server_formats.h"
#include "output/plan_view.h"
#include "output/reporter.h"
#include "shareadmin/api.h"
#include "shareadmin/codes.h"

namespace share::sharemon {
namespace {

using client::FieldString;

// Runs one library call the exporter makes; false (with the kind) when it failed.
template <class F>
bool Call(Snapshot &s, const char *what, F &&call) {
    const client::Outcome o = client::Observe(std::forward<F>(call), true);
    if (o.done()) return true;
    std::string cause = what;
    if (o.result == client::Result::kRefused)
        cause += std::string(": ") + tools::DescribeStatus(o.status).name;
    s.Fail(KindOf(o), cause);
    return false;
}

bool Connections(Snapshot &s) {
    ConnectionList *list = nullptr;
    if (!Call(s, "connections", [&] { return CIFSLIB_GetConnectionsList(&list); })) return false;
    if (list == nullptr) return true;  // no connection
    const auto *records = static_cast<const ConnectionRecord *>(list->records);
    s.perConnection.reserve(static_cast<size_t>(std::max(list->count, 0)));
    for (int32_t i = 0; records && i < list->count; ++i) {
        const ConnectionRecord &r = records[i];
        const uint16_t flags = tools::ConnFlags(r);
        s.AddConnection(
            {FieldString(r.text354), FieldString(r.text386), (flags & tools::kConnFlagSigned) != 0,
             (flags & tools::kConnFlagEncrypted) != 0},
            r.value326, r.value330, r.value338);
        s.perConnection.push_back({r.connectionId, r.value326, r.value330, r.value338, r.value12});
    }
    std::free(list->records);
    std::free(list);
    return true;
}

// The share-details exchange: its "clients=N" text.
bool ShareClients(Snapshot &s, const std::string &name, int64_t *clients) {
    client::Reply reply;
    const client::Outcome o =
        client::Execute({{CMD_SHARE, {}}, {CIFS_ACT_LIST, {}}, {CIFS_OPT_NAME, name}}, &reply);
    if (!o.done()) {
        // The share went between the listing and its details: not a failure of the server.
        if (o.result == client::Result::kRefused && o.status == tools::kNoSuchShare) return true;
        s.Fail(KindOf(o), "share " + name);
        return false;
    }
    if (const auto share = client::DecodeShareReply(reply.elements()); share && share->clients)
        *clients = *share->clients;
    return true;
}

// Shares by type and their clients; fills the volume names.
bool Shares(Snapshot &s, std::set<std::string> *volumes) {
    ShareInfoList *list = nullptr;
    if (!Call(s, "shares", [&] { return CIFSLIB_ListAllShares(&list); })) return false;
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
        if (!ShareClients(s, name, &clients)) return false;
        s.shareClients[name] = clients;
    }
    return true;
}

bool OpenFiles(Snapshot &s, const std::string &volume) {
    std::vector<uint8_t> record = client::VolumeFilesRequest(volume);
    void *reply = nullptr;
    if (!Call(s, "open files", [&] {
            return CIFSLIB_ListOpenFiles(reinterpret_cast<OpenFilesRequest *>(record.data()),
                                         &reply);
        }))
        return false;
    if (reply == nullptr) return true;
    const auto files = client::TakeOpenFiles(reply);
    if (!files) {
        s.Fail(ErrorKind::kBadReply, "open files of " + volume);
        return false;
    }
    for (const auto &f : files->files) ++s.openFiles[{f.volume, client::AccessName(f.accessMode)}];
    return true;
}

bool InvalidUsers(Snapshot &s) {
    tools::InvalidUserQuery q{};
    void *list = nullptr;
    if (!Call(s, "invalid users", [&] { return CIFSLIB_ListInvalidUsers(&q, &list); }))
        return false;
    if (list == nullptr) return true;
    const auto users = client::TakeInvalidUsers(list);
    if (!users) {
        s.Fail(ErrorKind::kBadReply, "invalid users");
        return false;
    }
    s.invalidUsers["permanent"];
    s.invalidUsers["temporary"];
    for (const auto &u : users->users) {
        ++s.invalidUsers[u.permanent ? "permanent" : "temporary"];
        s.failedLogons += u.failedLogons;
    }
    s.invalidUserTimeoutMinutes = users->timeoutMinutes;
    return true;
}

bool Status(Snapshot &s) {
    client::Reply reply;
    const client::Outcome o = client::Execute({{CMD_SERVER_REQUEST_40, {}}}, &reply);
    if (!o.done()) {
        s.Fail(KindOf(o), "server status");
        return false;
    }
    for (const auto &el : reply.elements())
        if (el.type == CIFS_ELEM_SERVER_STATUS)
            s.status = ParseStatus(
                FieldString(reinterpret_cast<const char *>(el.payload.data()), el.payload.size()));
    return true;
}

// The desired document against the server, as `shareadm config diff` would plan it, with
// removals counted (a share added by hand is drift too).
bool Compare(Snapshot &s, const std::string &file) {
    Drift d;
    client::Json doc;
    try {
        std::ifstream in(file);
        if (!in) throw std::runtime_error("cannot read " + file);
        doc = client::Json::parse(in);
    } catch (const std::exception &e) {
        d.problem = e.what();
        s.drift = d;
        return true;  // the server answered; the document is at fault
    }
    const auto server = client::config::ReadServer(tools::RecordDecoders());
    if (!server.outcome.done()) {
        s.Fail(KindOf(server.outcome), "configuration");
        return false;
    }
    if (const auto problems = client::config::Check(doc, server); !problems.empty()) {
        d.problem = problems.front().pointer + ": " + problems.front().message;
    } else {
        d.differences = client::config::MakePlan(doc, server, true, true).actions.size();
        d.inSync = *d.differences == 0;
    }
    s.drift = d;
    return true;
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

void Snapshot::Fail(ErrorKind kind, std::string what) {
    if (error != ErrorKind::kNone) return;
    up = false;
    error = kind;
    cause = std::move(what);
}

const char *KindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::kNone:
            return "none";
        case ErrorKind::kUnreachable:
            return "unreachable";
        case ErrorKind::kTimeout:
            return "timeout";
        case ErrorKind::kRefused:
            return "refused";
        case ErrorKind::kAccessDenied:
            return "access-denied";
        case ErrorKind::kUnexpectedServer:
            return "unexpected-server";
        case ErrorKind::kBadReply:
            return "bad-reply";
    }
    return "none";
}

ErrorKind KindOf(const client::Outcome &o) {
    switch (o.result) {
        case client::Result::kDone:
            return ErrorKind::kNone;
        case client::Result::kRefused:
            return o.status == tools::kAccessDenied ? ErrorKind::kAccessDenied
                                                    : ErrorKind::kRefused;
        // Every request the exporter sends is one the library accepts: a refusal before
        // sending is the server's state or reply, not the request.
        case client::Result::kRejected:
            return ErrorKind::kBadReply;
        case client::Result::kUnreachable:
            return ErrorKind::kUnreachable;
        case client::Result::kTimedOut:
            return ErrorKind::kTimeout;
        case client::Result::kUnexpectedServer:
            return ErrorKind::kUnexpectedServer;
    }
    return ErrorKind::kBadReply;
}

ServerStatus ParseStatus(const std::string &text) {
    ServerStatus st;
    std::istringstream words(text);
    for (std::string pair; words >> pair;) {
        const auto eq = pair.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = pair.substr(0, eq), value = pair.substr(eq + 1);
        if (key == "server") {
            st.name = value;
            continue;
        }
        long n = 0;
        if (!tools::ParseNumber(value, 0, LONG_MAX, &n)) continue;
        if (key == "uptime") st.uptimeSeconds = static_cast<uint64_t>(n);
        if (key == "requests") st.requests = static_cast<uint64_t>(n);
        if (key == "refused") st.refused = static_cast<uint64_t>(n);
    }
    return st;
}

Snapshot Gather(const GatherOptions &options) {
    Snapshot s;
    s.up = true;
    std::string messages;
    try {
        client::LibraryOutput capture;  // keep the library's complaints off the exposition
        std::set<std::string> volumes;
        // The status first: its refusal carries the server's reason, where the connection
        // listing reports any refusal of its count as a bare -1.
        s.up = Status(s) && Connections(s) && Shares(s, &volumes) && InvalidUsers(s);
        for (auto v = volumes.begin(); s.up && v != volumes.end(); ++v) s.up = OpenFiles(s, *v);
        if (s.up && !options.desired.empty()) s.up = Compare(s, options.desired);
        messages = capture.Finish();
    } catch (const std::exception &e) {  // memory, or a reply no record can hold
        s.Fail(ErrorKind::kBadReply, e.what());
        s.up = false;
    }
    (void)messages;  // the kind and cause say it once per change (see History)
    if (s.up) return s;
    Snapshot failed;
    failed.error = s.error;
    failed.cause = std::move(s.cause);
    return failed;
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
