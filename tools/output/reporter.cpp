// SPDX-License-Identifier: Apache-2.0
#include "output/reporter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>

#include "common/server_formats.h"

namespace share::tools {

// ---- Reporter ----

int Reporter::Print(const Rendered &result) const {
    OutcomeLock lock;
    if (json_) {
        std::fputs(Document(result.doc).c_str(), stdout);
    } else if (!result.text.empty()) {
        std::fputs(result.text.c_str(), stdout);
        if (result.text.back() != '\n') std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    return kExitOk;
}

int Reporter::Success(const Json &doc, const std::string &text) const {
    // A rendered result (a listing, a view) already has its text in the chosen format.
    if (doc.is_object() && !doc.empty() && doc.begin().key() == "schema_version")
        return Print({doc, text});
    return Print(RenderDetail(output_, doc, text));
}

int Reporter::List(const Listing &listing, const RowSource &rows, const Json &extra) const {
    OutcomeLock lock;
    WriteListing(stdout, output_, listing, rows, extra, lines_);
    std::fflush(stdout);
    return kExitOk;
}

std::string Reporter::Document(const Json &body) const {
    Json doc{{"schema_version", kSchemaVersion}};
    if (lines_) doc["timestamp"] = FormatRfc3339(static_cast<int64_t>(time(nullptr)));
    if (body.is_object()) {
        for (const auto &[key, value] : body.items())
            if (key != "schema_version" && key != "timestamp") doc[key] = value;
    } else {
        doc["data"] = body;
    }
    return (lines_ ? doc.dump() : doc.dump(2)) + "\n";
}

Reporter::ErrorText Reporter::RenderError(const char *kind, const std::string &action,
                                          const std::string &message, int code,
                                          const Json &extra) const {
    ErrorText r;
    r.text = std::string(program_) + ": " + action + ": " + message + "\n";
    if (json_) r.document = Document(ErrorBody(kind, action, message, code, extra));
    return r;
}

int Reporter::Error(const char *kind, const std::string &action, const std::string &message,
                    int code, const Json &extra) const {
    const ErrorText r = RenderError(kind, action, message, code, extra);
    OutcomeLock lock;
    std::fputs(r.text.c_str(), stderr);
    if (!r.document.empty()) {
        std::fputs(r.document.c_str(), stdout);
        std::fflush(stdout);
    }
    return code;
}

Json Reporter::ErrorBody(const char *kind, const std::string &action, const std::string &message,
                         int code, const Json &extra) {
    Json doc{{"error", kind}, {"action", action}, {"message", message}, {"exit_status", code}};
    doc.update(extra);
    return doc;
}

namespace {

// "@/tmp/cifs.str", as the endpoint's abstract name is written.
std::string Endpoint() {
    return std::string("@") + kEndpointName;
}

}  // namespace

Failure DescribeFailure(const client::Outcome &o, const std::string &detail) {
    using client::Result;
    const long limit = static_cast<long>(client::kDefaultTimeoutSeconds);
    switch (o.result) {
        case Result::kDone:
            return {};
        case Result::kRefused: {
            const StatusInfo &info = DescribeStatus(o.status);
            return {"refused",
                    "refused by the server with status " + std::to_string(o.status) + " (" +
                        info.name + ": " + info.text + ")" + (detail.empty() ? "" : ": " + detail),
                    kExitRefused, Json{{"status", o.status}, {"status_name", info.name}}};
        }
        case Result::kRejected: {
            const std::string &why = detail.empty() ? o.message : detail;
            return {"rejected",
                    why.empty() ? "rejected before anything was sent" : "rejected: " + why,
                    kExitRejected};
        }
        case Result::kUnreachable:
            return {"unreachable", "no file server answers on " + Endpoint(), kExitUnreachable};
        case Result::kTimedOut:
            return {"timeout",
                    "the file server did not answer within " + std::to_string(limit) + " seconds",
                    kExitUnreachable, Json{{"timeout_seconds", limit}}};
        case Result::kUnexpectedServer:
            return {"unexpected-server",
                    "the endpoint " + Endpoint() +
                        " is held by a process the accepted uids do not list",
                    kExitUnreachable};
    }
    return {};
}

int ExitStatus(const client::Outcome &outcome) {
    return DescribeFailure(outcome).code;
}

int Reporter::Report(const std::string &action, const client::Outcome &outcome,
                     const std::string &detail, const Json &extra) const {
    if (outcome.done()) return -1;
    Failure f = DescribeFailure(outcome, detail);
    f.extra.update(extra);
    return Error(f.kind, action, f.message, f.code, f.extra);
}

int Reporter::Usage(const std::string &action, const std::string &message) const {
    return Error("usage", action, message, kExitRejected, Json::object());
}

int Reporter::Refused(const std::string &action, int32_t status, const std::string &detail,
                      const Json &extra) const {
    return Report(action, {client::Result::kRefused, status, ""}, detail, extra);
}

int Reporter::Invalid(const std::string &action, const std::string &argument,
                      const std::string &value, const std::string &accepted) const {
    return Error("rejected", action, argument + ": " + QuoteValue(value) + " is not " + accepted,
                 kExitRejected,
                 Json{{"argument", argument}, {"value", TextJson(value)}, {"accepted", accepted}});
}

int Reporter::Rejected(const std::string &action, const std::string &detail) const {
    return Report(action, {client::Result::kRejected, 0, detail});
}

int Reporter::Unreachable(const std::string &action) const {
    return Report(action, {client::Result::kUnreachable, 0, ""});
}

int Reporter::UnexpectedServer(uint32_t uid, int32_t pid, const std::string &accepted) const {
    return Error("unexpected-server", "server",
                 "the endpoint " + Endpoint() + " is held by an unexpected process: uid " +
                     std::to_string(uid) + " (pid " + std::to_string(pid) +
                     "), not one of the accepted uids " + accepted + "; pass --server-uid " +
                     std::to_string(uid) + " to accept it, or --any-server",
                 kExitUnreachable, Json{{"uid", uid}, {"pid", pid}, {"accepted_uids", accepted}});
}

// ---- Formatting ----

std::string FormatTime(int64_t epochSeconds) {
    if (epochSeconds <= 0) return "-";
    return FormatEpoch(epochSeconds, "%Y-%m-%d %H:%M:%S", false);
}

std::string FormatDuration(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char buf[32];
    if (seconds >= 86400)
        std::snprintf(buf, sizeof buf, "%lldd%02lldh", static_cast<long long>(seconds / 86400),
                      static_cast<long long>(seconds % 86400 / 3600));
    else if (seconds >= 3600)
        std::snprintf(buf, sizeof buf, "%lldh%02lldm", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds % 3600 / 60));
    else if (seconds >= 60)
        std::snprintf(buf, sizeof buf, "%lldm%02llds", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    else
        std::snprintf(buf, sizeof buf, "%llds", static_cast<long long>(seconds));
    return buf;
}

std::string FormatBytes(uint64_t bytes) {
    static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char buf[32];
    if (unit == 0)
        std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(buf, sizeof buf, "%.1f %s", value, units[unit]);
    return buf;
}

std::string YesNo(bool value) {
    return value ? "yes" : "no";
}

std::string Plural(size_t n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string QuoteValue(const std::string &value) {
    constexpr size_t kShown = 64;
    if (value.size() <= kShown)
        return Json(value).dump(-1, ' ', false, Json::error_handler_t::replace);
    size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
    const std::string shown =
        Json(value.substr(0, cut) + "...").dump(-1, ' ', false, Json::error_handler_t::replace);
    return shown + " (" + std::to_string(value.size()) + " bytes)";
}

Json TextJson(const std::string &value) {
    return Json::parse(Json(value).dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace share::tools
