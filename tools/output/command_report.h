// SPDX-License-Identifier: Apache-2.0
// Running a command of the argument block and reporting what it came to.
#pragma once

#include <string>
#include <vector>

#include "client/pipeline.h"
#include "output/reporter.h"

namespace share::tools {

using client::Arg;
using client::Blame;
using client::Blames;
using client::Reply;

// Reports the server's refusal with status, naming the argument it concerns when blames
// trace it to one (or to a short list).
int RefusedFor(const Reporter &out, const std::string &action, int32_t status,
               const Blames &blames);

// Runs the command in args. On success stores the response (status 0) and returns -1; else
// returns the exit status after reporting: 1 rejected by the library (its message is shown),
// 2 refused by the server, 3 unreachable.
// A server status equal to allowedStatus (not 0) is not reported: the reply is stored with it.
int RunCommand(const Reporter &out, const std::string &action, const std::vector<Arg> &args,
               Reply *reply, const Blames &blames = {}, int32_t allowedStatus = 0);

// Runs only the library's validation of args (nothing is sent). -1 when it accepts, else
// kExitRejected after reporting the library's message.
int DryRun(const Reporter &out, const std::string &action, const std::vector<Arg> &args);

}  // namespace share::tools
