// SPDX-License-Identifier: Apache-2.0
// Answers one request against the server's state. Every function ID 0 to CIFS_FN_LAST has a
// handler; the table says which ones change the state, so that the server can run those on a copy
// and commit the copy only once it has been saved.
#pragma once

#include <cstdint>

#include "shareadmin/codes.h"
#include "sharesim/state.h"
#include "sharesim/wire.h"

namespace share::sim {

struct ServerStats {
    int64_t startedAt = 0;
    uint64_t requests = 0;
    uint64_t refused = 0;  // answers with a non-zero status
};

struct Context {
    State &state;
    int64_t now;
    const ServerStats &stats;
};

// Short name of a function ID for the request log ("share-add"); "unknown" outside 0..CIFS_FN_LAST.
const char *FunctionName(int function);
// True when the function may change the state.
bool FunctionChangesState(int function);

// Answers req. The state is changed only by functions for which FunctionChangesState is true,
// and only when the returned status is 0.
Response Handle(Context &ctx, const Request &req);

}  // namespace share::sim
