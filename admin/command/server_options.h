// Inline server option commands: the dispatcher hands every inline command code here.
#pragma once

#include "shareadmin/context.h"

namespace share::command {

// Runs the server option command whose code is in gbCifsArg[0].id: writes the function ID and
// the value into ctx and releases the strings it read. 0 accepted, -1 rejected (reported).
int ProcessServerOptionCommand(CmdContext *ctx) noexcept;

}  // namespace share::command
