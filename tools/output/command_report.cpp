// SPDX-License-Identifier: Apache-2.0
#include "output/command_report.h"

#include "common/server_formats.h"

namespace share::tools {

int DryRun(const Reporter &out, const std::string &action, const std::vector<Arg> &args) {
    const auto rejected = LibraryCheck(args);
    return rejected ? out.Rejected(action, *rejected) : -1;
}

namespace {

// How a status reads about one argument: "the share name "x" is not accepted".
const char *StatusVerb(int32_t status) {
    switch (status) {
        case kNoSuchVolume:
            return "names no volume";
        case kNoSuchShare:
            return "names no share";
        case kNameTaken:
            return "is already in use";
        case kInvalidValue:
            return "is not accepted";
        case kNoSuchConnection:
            return "names no client connection";
        case kNoSuchFile:
            return "is not an open file";
        case kNoSuchUser:
            return "is not in the invalid-user cache";
        case kNoSuchEntry:
            return "names no entry";
        case kNotPermitted:
            return "may not be used or changed this way";
        default:
            return nullptr;
    }
}

}  // namespace

int RefusedFor(const Reporter &out, const std::string &action, int32_t status,
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
        detail += (i == 0 ? "" : " or ") + named[i]->what + " " + QuoteValue(named[i]->value);
    detail += std::string(" ") + verb;
    Json extra = Json::object();
    if (named.size() == 1) {
        extra["argument"] = named[0]->argument;
        extra["value"] = TextJson(named[0]->value);
    }
    return out.Refused(action, status, detail, extra);
}

int RunCommand(const Reporter &out, const std::string &action, const std::vector<Arg> &args,
               Reply *reply, const Blames &blames, int32_t allowedStatus) {
    // The library's own validation first: nothing is sent.
    if (int e = DryRun(out, action, args); e >= 0) return e;
    const client::Outcome o = client::Send(args, reply);
    if (o.result != client::Result::kRefused) return out.Report(action, o);
    if (allowedStatus != 0 && o.status == allowedStatus) return -1;
    return RefusedFor(out, action, o.status, blames);
}

}  // namespace share::tools
