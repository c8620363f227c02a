// SPDX-License-Identifier: Apache-2.0
// The one logging front end of every piece of both libraries.
//
// Message texts, logged or printed, are part of the interface: log readers match them byte for
// byte, odd spellings included, so they are never corrected.
#pragma once

#include "shareadmin/protocol.h"

// Logs through cifsLogExt only when `level` is enabled in gCIFSLogLevel, so a disabled message
// costs one bit test: no call, no formatting and no evaluation of the arguments. A literal format
// is checked by the compiler; a format taken from a table is passed on as it is.
#define SHARE_LOG(level, module, ...)                                     \
    do {                                                                  \
        if ((::gCIFSLogLevel & static_cast<uint32_t>(level)) != 0)        \
            ::cifsLogExt(static_cast<int>(level), (module), __VA_ARGS__); \
    } while (0)

// The libraries log under the CLI module; most messages at ERROR level.
#define SHARE_LOG_CLI(level, ...) SHARE_LOG(level, CIFS_MODULE_CLI, __VA_ARGS__)
#define SHARE_LOG_CLI_ERROR(...) SHARE_LOG_CLI(CIFS_LOG_ERROR, __VA_ARGS__)
#define SHARE_LOG_CLI_DEBUG(...) SHARE_LOG_CLI(CIFS_LOG_DEBUG, __VA_ARGS__)
