#include "admin/command/server_options.h"

#include <cstdio>

namespace share::command {

// Placeholder until the option rows land: every inline command is rejected like an unknown code.
int ProcessServerOptionCommand(CmdContext *) noexcept {
    std::puts("Failed to validate and process command");
    return -1;
}

}  // namespace share::command
