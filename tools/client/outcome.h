// SPDX-License-Identifier: Apache-2.0
// What one library call came to, from what the library itself reported: its return value (0,
// -1, or the server's status), the message it printed and the errno its exchange left. Never
// from asking the server again afterwards: a server that dies between the call and a second
// look would make a change that was sent read as one that was refused.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "client/library_call.h"

namespace share::client {

enum class Result {
    kDone,              // the server accepted the request
    kRefused,           // the server refused it: status
    kRejected,          // the library refused it before sending: message (may be empty)
    kUnreachable,       // no server answered, or it went away during the exchange
    kTimedOut,          // the server did not answer within the library's limit
    kUnexpectedServer,  // the endpoint is held by a process the uid list does not accept
};

struct Outcome {
    Result result = Result::kDone;
    int32_t status = 0;   // kRefused: the server's status
    std::string message;  // the library's message
    bool done() const { return result == Result::kDone; }
};

// Which failure a -1 was. validated: the library had accepted the command, so only the
// exchange can have failed (a -1 it does not explain is a server that went away).
Outcome Classify(int result, std::string message, int error, bool validated);

// Runs one library call with its standard-output messages captured and classifies it.
template <class F>
Outcome CallLibrary(F &&call, bool validated = false) {
    int result;
    int error;
    std::string message;
    {
        LibraryOutput capture;
        errno = 0;
        result = call();
        error = errno;
        message = capture.Finish();
    }
    return Classify(result, std::move(message), error, validated);
}

// The same for a call whose messages go where they go (nothing captured).
template <class F>
Outcome Observe(F &&call, bool validated = false) {
    errno = 0;
    const int result = call();
    return Classify(result, "", errno, validated);
}

}  // namespace share::client
