// SPDX-License-Identifier: Apache-2.0
// Inline server option commands: the dispatcher hands every inline command code here.
#pragma once

#include "shareadmin/context.h"

namespace share::command {

// Runs the server option command whose code is in gbCifsArg[0].id: writes the function ID and
// the value into ctx and releases the strings it read. 0 accepted, -1 rejected: the rejection is
// printed on standard output (a few are logged instead), like every parser's.
int ProcessServerOptionCommand(CmdContext *ctx) noexcept;

}  // namespace share::command
