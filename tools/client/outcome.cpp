// SPDX-License-Identifier: Apache-2.0
#include "client/outcome.h"

namespace share::client {

Outcome Classify(int result, std::string message, int error, bool validated) {
    if (result == 0) return {};
    if (result > 0) return {Result::kRefused, result, std::move(message)};
    // The exchange leaves the errno of the system call that failed: a connect nobody took, a
    // reset or a closed pipe (the server went away), the library's own time-out, or its refusal
    // of the endpoint's holder.
    switch (error) {
        case EACCES:  // the library's identity check refused the endpoint's holder
            return {Result::kUnexpectedServer, 0, std::move(message)};
        case ETIMEDOUT:
            return {Result::kTimedOut, 0, std::move(message)};
        case ECONNREFUSED:
        case ENOENT:
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ENOTCONN:
            return {Result::kUnreachable, 0, std::move(message)};
        default:
            break;
    }
    if (validated) return {Result::kUnreachable, 0, std::move(message)};
    return {Result::kRejected, 0, std::move(message)};
}

}  // namespace share::client
