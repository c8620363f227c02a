// SPDX-License-Identifier: Apache-2.0
#include "shareadm/pipeline.h"

#include <cstdlib>
#include <cstring>

#include "common/server_formats.h"
#include "shareadmin/command.h"

namespace share::shareadm {

Reply::Reply(RespPkt *pkt) : pkt_(pkt) {
    if (RespPktGetNumberOfData(pkt_) <= 0) return;  // nothing to walk (and nothing to log)
    uint32_t len = 0;
    uint8_t type = 0;
    for (void *p = RespPktGetFirstData(pkt_, &len, &type); p != nullptr;
         p = RespPktGetNextData(pkt_, &len, &type)) {
        const auto *bytes = static_cast<const uint8_t *>(p);
        elements_.push_back({type, std::vector<uint8_t>(bytes, bytes + len)});
        std::free(p);
    }
}

Reply::~Reply() {
    if (pkt_) {
        std::free(pkt_->buffer);
        std::free(pkt_);
    }
}

Reply::Reply(Reply &&other) noexcept : pkt_(other.pkt_), elements_(std::move(other.elements_)) {
    other.pkt_ = nullptr;
}

Reply &Reply::operator=(Reply &&other) noexcept {
    std::swap(pkt_, other.pkt_);
    std::swap(elements_, other.elements_);
    return *this;
}

int32_t Reply::status() const {
    int32_t status = 0;
    if (pkt_ && pkt_->buffer) std::memcpy(&status, pkt_->buffer, sizeof status);
    return status;
}

void FillArgs(const std::vector<Arg> &args) {
    size_t i = 0;
    for (; i < args.size() && i + 1 < CIFS_ARG_ENTRIES; ++i) {
        gbCifsArg[i].id = args[i].code;
        gbCifsArg[i].value = args[i].value ? strdup(args[i].value->c_str()) : nullptr;
    }
    gbCifsArg[i].id = 0;
    gbCifsArg[i].value = nullptr;
}

void ClearArgs(size_t entries) {
    for (size_t i = 0; i < entries && i < CIFS_ARG_ENTRIES; ++i) {
        std::free(gbCifsArg[i].value);
        gbCifsArg[i].value = nullptr;
        gbCifsArg[i].id = 0;
    }
}

namespace {

// Function IDs whose validation leaves a heap copy of a path behind in the context.
bool LeavesPathCopy(uint8_t function) {
    switch (function) {
        case CIFS_FN_FILES_BY_PATH:
        case CIFS_FN_FILES_BY_VOLUME:
        case CIFS_FN_FILES_BY_PATH_MODIFIED:
        case CIFS_FN_FILES_BY_VOLUME_MODIFIED:
        case CIFS_FN_CLOSE_BY_PATH:
        case CIFS_FN_CLOSE_BY_VOLUME:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<std::string> LibraryCheck(const std::vector<Arg> &args, bool capture) {
    FillArgs(args);
    CmdContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    int result;
    std::string message;
    if (capture) {
        tools::LibraryOutput output;
        result = ProcessCommandLineData(&ctx);
        message = output.Finish();
    } else {
        result = ProcessCommandLineData(&ctx);
    }
    if (LeavesPathCopy(ctx.functionId)) {
        char *copy = nullptr;
        std::memcpy(&copy, ctx.params.raw, sizeof copy);
        std::free(copy);
    }
    ClearArgs(args.size() + 1);
    if (result == 0) return std::nullopt;
    return message;
}

int DryRun(const tools::Reporter &out, const std::string &action, const std::vector<Arg> &args) {
    const auto rejected = LibraryCheck(args);
    return rejected ? out.Rejected(action, *rejected) : -1;
}

Outcome Query(const std::vector<Arg> &args, Reply *reply) {
    FillArgs(args);
    RespPkt *pkt = nullptr;
    const int result = ValidateAndProcessCmd(&pkt);
    ClearArgs(args.size() + 1);
    if (result != 0)
        return {tools::ServerReachable() ? tools::kExitRejected : tools::kExitUnreachable, 0, ""};
    Reply r(pkt);
    if (r.status() != 0) return {tools::kExitRefused, r.status(), ""};
    *reply = std::move(r);
    return {};
}

Outcome Execute(const std::vector<Arg> &args, Reply *reply) {
    // The library's own validation first: nothing is sent.
    if (auto rejected = LibraryCheck(args)) return {tools::kExitRejected, 0, *rejected};
    tools::LibraryOutput capture;
    Outcome o = Query(args, reply);
    o.message = capture.Finish();
    return o;
}

namespace {

// How a status reads about one argument: "the share name "x" is not accepted".
const char *StatusVerb(int32_t status) {
    switch (status) {
        case tools::kNoSuchVolume:
            return "names no volume";
        case tools::kNoSuchShare:
            return "names no share";
        case tools::kNameTaken:
            return "is already in use";
        case tools::kInvalidValue:
            return "is not accepted";
        case tools::kNoSuchConnection:
            return "names no client connection";
        case tools::kNoSuchFile:
            return "is not an open file";
        case tools::kNoSuchUser:
            return "is not in the invalid-user cache";
        case tools::kNoSuchEntry:
            return "names no entry";
        case tools::kNotPermitted:
            return "may not be used or changed this way";
        default:
            return nullptr;
    }
}

}  // namespace

int RefusedFor(const tools::Reporter &out, const std::string &action, int32_t status,
               const Blames &blames) {
    const char *verb = StatusVerb(status);
    std::vector<const Blame *> named, suspects;
    for (const auto &b : blames)
        if (b.status == status) {
            named.push_back(&b);
            if (b.suspect) suspects.push_back(&b);
        }
    if (!suspects.empty()) named = suspects;
    if (verb == nullptr || named.empty()) return out.Refused(action, status);
    std::string detail;
    for (size_t i = 0; i < named.size(); ++i)
        detail +=
            (i == 0 ? "" : " or ") + named[i]->what + " " + tools::QuoteValue(named[i]->value);
    detail += std::string(" ") + verb;
    tools::Json extra = tools::Json::object();
    if (named.size() == 1) {
        extra["argument"] = named[0]->argument;
        extra["value"] = tools::TextJson(named[0]->value);
    }
    return out.Refused(action, status, detail, extra);
}

int RunCommand(const tools::Reporter &out, const std::string &action, const std::vector<Arg> &args,
               Reply *reply, const Blames &blames, int32_t allowedStatus) {
    // The library's own validation first: nothing is sent.
    if (int e = DryRun(out, action, args); e >= 0) return e;

    FillArgs(args);
    RespPkt *pkt = nullptr;
    int result;
    std::string message;
    {
        tools::LibraryOutput capture;
        result = ValidateAndProcessCmd(&pkt);
        message = capture.Finish();
    }
    ClearArgs(args.size() + 1);
    if (result != 0) return out.LocalFailure(action, message);
    Reply r(pkt);
    if (r.status() != 0 && r.status() != allowedStatus)
        return RefusedFor(out, action, r.status(), blames);
    *reply = std::move(r);
    return -1;
}

}  // namespace share::shareadm
