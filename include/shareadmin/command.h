// SPDX-License-Identifier: Apache-2.0
/** \file
 * Command processing (libshareadmin): the thread-local argument block, the pipeline that turns
 * it into one exchange with the file server, and the command parsers.
 *
 * Ownership of gbCifsArg values: every value is a separate heap string (malloc/strdup). Each
 * value a command reads is freed and its pointer set to null before the call returns, on success
 * and failure alike; values it does not read stay the caller's.
 */
#ifndef SHARE_COMMAND_H
#define SHARE_COMMAND_H

#include <stdint.h>

#include "shareadmin/context.h"
#include "shareadmin/export.h"
#include "shareadmin/protocol.h"

SHARE_BEGIN_DECLS

/** Entries in gbCifsArg. */
#define CIFS_ARG_ENTRIES 128

/** One argument: a command, action or option code and its text (null allowed). id 0 ends a list. */
typedef struct CifsArgEntry {
    int32_t id;  /**< CMD_*, CIFS_ACT_* or CIFS_OPT_* code; CIFS_ARG_END (0) ends the list */
    char *value; /**< heap text (malloc/strdup) or null; see the ownership rule above */
} CifsArgEntry;

SHARE_STATIC_ASSERT(sizeof(CifsArgEntry) == 16, cifsargentry_size);
SHARE_STATIC_ASSERT(offsetof(CifsArgEntry, value) == 8, cifsargentry_value);

/** The calling thread's argument block; entry 0 holds the command code. */
SHARE_API extern __thread CifsArgEntry gbCifsArg[CIFS_ARG_ENTRIES];

/** Runs the command in gbCifsArg. 0: the server answered and, when responseOut is not null,
 * *responseOut holds the response (caller frees buffer, then handle; the status is at offset 0).
 * -1: rejected or failed; *responseOut untouched. */
SHARE_API int ValidateAndProcessCmd(RespPkt **responseOut) SHARE_NOEXCEPT;
/** Validates gbCifsArg into a zeroed context. 0 accepted, -1 rejected. */
SHARE_API int ProcessCommandLineData(CmdContext *ctx) SHARE_NOEXCEPT;
/** Appends the elements the context's function ID calls for. 0 or -1; never releases pkt. */
SHARE_API int PopulateRequestPacket(CmdContext *ctx, ReqPkt *pkt) SHARE_NOEXCEPT;

/** \name Object command parsers
 * Each reads gbCifsArg and fills ctx; 0 accepted, -1 rejected. */
/** @{ */
/** Parses a CMD_SHARE command. */
SHARE_API int ProcessShareCommandData(CmdContext *ctx) SHARE_NOEXCEPT;
/** Parses a CMD_CONNECTIONS command. */
SHARE_API int ProcessConnectionsCommandData(CmdContext *ctx) SHARE_NOEXCEPT;
/** Parses a CMD_FILES command. */
SHARE_API int ProcessFilesCommandData(CmdContext *ctx) SHARE_NOEXCEPT;
/** Parses a CMD_CLEAR_CONNECTIONS command. */
SHARE_API int ProcessClearConnectionInputParameters(CmdContext *ctx) SHARE_NOEXCEPT;
/** Parses a CMD_INVALID_USER_CACHE command. */
SHARE_API int ProcessIUCCommandData(CmdContext *ctx) SHARE_NOEXCEPT;
/** Parses a CMD_USER_CONTEXTS command. */
SHARE_API int ProcessContextsCommandData(CmdContext *ctx) SHARE_NOEXCEPT;
/** @} */

/** New heap copy mapped through tolower; null for null text or no memory. Caller frees. */
SHARE_API char *strtolower(const char *text) SHARE_NOEXCEPT;
/** New heap copy mapped through toupper; null for null text or no memory. Caller frees. */
SHARE_API char *strToUpper(const char *text) SHARE_NOEXCEPT;
/** Overwrites trailing 0x20 characters with NUL, never the first character. Returns 0. */
SHARE_API int stripSpaces(char *text) SHARE_NOEXCEPT;
/** 1 when text is non-empty and made of '.' only, else 0. */
SHARE_API int stringHasOnlyPeriods(const char *text) SHARE_NOEXCEPT;

SHARE_END_DECLS

#endif
