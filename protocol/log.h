// Internal logging entry for every piece of both libraries.
#pragma once

#include "shareadmin/protocol.h"

// Logs through cifsLogExt only when `level` is enabled in gCIFSLogLevel, so a disabled message
// costs one bit test: no call and no formatting. The format is checked by the compiler.
#define SHARE_LOG(level, module, ...)                                        \
    do {                                                                     \
        if ((::gCIFSLogLevel & static_cast<uint32_t>(level)) != 0)           \
            ::cifsLogExt(static_cast<int>(level), (module), __VA_ARGS__);    \
    } while (0)

// The messages of the protocol core all go to the CLI module at ERROR level unless noted.
#define SHARE_LOG_CLI_ERROR(...) SHARE_LOG(CIFS_LOG_ERROR, CIFS_MODULE_CLI, __VA_ARGS__)
