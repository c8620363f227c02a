// SPDX-License-Identifier: Apache-2.0
// Running a command of the argument block the way an administration tool does: fill gbCifsArg,
// let the library validate and send it, read the response. The library answers -1 both for a
// command it rejects and for a server it cannot reach; a dry run of its validation first tells
// the two apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/cli.h"
#include "shareadmin/protocol.h"

namespace share::shareadm {

struct Arg {
    int32_t code;
    std::optional<std::string> value;
};

struct ReplyElement {
    uint8_t type;
    std::vector<uint8_t> payload;
};

// A response packet and its elements.
class Reply {
  public:
    Reply() = default;
    explicit Reply(RespPkt *pkt);
    ~Reply();
    Reply(Reply &&other) noexcept;
    Reply &operator=(Reply &&other) noexcept;
    int32_t status() const;
    const std::vector<ReplyElement> &elements() const { return elements_; }

  private:
    RespPkt *pkt_ = nullptr;
    std::vector<ReplyElement> elements_;
};

// An argument a refusal status may concern: the status, the argument ("NAME"), what it is
// ("the share name") and its value. suspect: the value looks like the cause (when several
// arguments share a status, the suspects are named; if none or all are, every one is).
struct Blame {
    int32_t status;
    std::string argument;
    std::string what;
    std::string value;
    bool suspect = true;
};
using Blames = std::vector<Blame>;

// Reports the server's refusal with status, naming the argument it concerns when blames
// trace it to one (or to a short list).
int RefusedFor(const tools::Reporter &out, const std::string &action, int32_t status,
               const Blames &blames);

// What one command came to, unreported: exit -1 when the server accepted it (reply filled),
// else the exit status; status is the server's refusal, message the library's complaint.
struct Outcome {
    int exit = -1;
    int32_t status = 0;
    std::string message;
};
Outcome Execute(const std::vector<Arg> &args, Reply *reply);
// Execute without the dry run and without capturing the library's output, for a batch of
// queries that the caller wraps in one tools::LibraryOutput.
Outcome Query(const std::vector<Arg> &args, Reply *reply);

// The library's validation of args alone (nothing is sent): nullopt when it accepts, else its
// message (possibly empty: some rejections are only logged; always empty without capture, when
// the caller captures a batch).
std::optional<std::string> LibraryCheck(const std::vector<Arg> &args, bool capture = true);

// Runs the command in args. On success stores the response (status 0) and returns -1; else
// returns the exit status after reporting: 1 rejected by the library (its message is shown),
// 2 refused by the server, 3 unreachable.
// A server status equal to allowedStatus (not 0) is not reported: the reply is stored with it.
int RunCommand(const tools::Reporter &out, const std::string &action, const std::vector<Arg> &args,
               Reply *reply, const Blames &blames = {}, int32_t allowedStatus = 0);

// Runs only the library's validation of args (nothing is sent). -1 when it accepts, else
// kExitRejected after reporting the library's message.
int DryRun(const tools::Reporter &out, const std::string &action, const std::vector<Arg> &args);

// Fills gbCifsArg with args and an end entry; ClearArgs frees what the library left behind.
void FillArgs(const std::vector<Arg> &args);
void ClearArgs(size_t entries);

}  // namespace share::shareadm
