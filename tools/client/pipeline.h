// SPDX-License-Identifier: Apache-2.0
// Running a command of the argument block the way an administration tool does: fill gbCifsArg,
// let the library validate and send it, read the response. The library answers -1 both for a
// command it rejects and for a server it cannot reach: its validation alone, run first, tells
// the two apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "client/outcome.h"
#include "shareadmin/protocol.h"

namespace share::client {

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

// Runs the command in args after the library's own validation (nothing is sent when it
// rejects). The reply is stored when the server answered, refusal or not.
Outcome Execute(const std::vector<Arg> &args, Reply *reply);
// Execute without the validation first, the library's messages captured; for a command the
// library has validated already.
Outcome Send(const std::vector<Arg> &args, Reply *reply);
// Send without capturing the library's output, for a batch of queries that the caller wraps
// in one LibraryOutput. validated: the command is known to pass the library's validation.
Outcome Query(const std::vector<Arg> &args, Reply *reply, bool validated = false);

// The library's validation of args alone (nothing is sent): nullopt when it accepts, else its
// message (possibly empty: some rejections are only logged; always empty without capture, when
// the caller captures a batch).
std::optional<std::string> LibraryCheck(const std::vector<Arg> &args, bool capture = true);

// Fills gbCifsArg with args and an end entry; ClearArgs frees what the library left behind.
void FillArgs(const std::vector<Arg> &args);
void ClearArgs(size_t entries);

}  // namespace share::client
