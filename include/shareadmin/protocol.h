// SPDX-License-Identifier: Apache-2.0
/** \file
 * Protocol core: request and response packets, the exchange with the file server, logging and
 * audit. Both libraries export these symbols with identical behaviour.
 *
 * Conventions for the whole interface:
 *  - Every operation returns a signed 32-bit result (0 success, -1 local failure) or a packet
 *    handle (null on failure). Nothing aborts the host process.
 *  - Memory handed to the caller comes from the C allocator and is released with free(). A packet
 *    is released by freeing its buffer, then the handle.
 *  - Messages go to syslog through cifsLogExt, each only when its level bit is set in
 *    gCIFSLogLevel.
 *
 * Wire format (host byte order, no padding):
 * \verbatim
 *   request   := u8 component | u8 function | u8 count | u8 0 | u32 bodyLength | element*
 *   response  := i32 status | u32 count | u32 bodyLength | element*
 *   element   := u8 type | u8[3] 0 | u32 length | u8[length] payload
 * \endverbatim
 */
#ifndef SHARE_PROTOCOL_H
#define SHARE_PROTOCOL_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "shareadmin/codes.h"
#include "shareadmin/export.h"

SHARE_BEGIN_DECLS

/** Packet handle: owns `buffer` (capacity bytes); `cursor` marks the next element of a walk. */
typedef struct ReqPkt {
    uint8_t *buffer;   /**< header and elements; freed before the handle */
    uint32_t capacity; /**< bytes allocated at buffer */
    uint8_t *cursor;   /**< next element of a walk */
} ReqPkt;

/** Response handle, laid out as ReqPkt: owns `buffer` (capacity bytes); `cursor` marks the next
 * element of a walk. */
typedef struct RespPkt {
    uint8_t *buffer;   /**< header and elements; freed before the handle */
    uint32_t capacity; /**< bytes allocated at buffer */
    uint8_t *cursor;   /**< next element of a walk */
} RespPkt;

/** Bytes of a request header. */
#define CIFS_REQ_HEADER_SIZE 8
/** Bytes of a response header. */
#define CIFS_RESP_HEADER_SIZE 12
/** Bytes of an element header. */
#define CIFS_ELEMENT_HEADER_SIZE 8

SHARE_STATIC_ASSERT(sizeof(ReqPkt) == 24, reqpkt_size);
SHARE_STATIC_ASSERT(offsetof(ReqPkt, capacity) == 8, reqpkt_capacity);
SHARE_STATIC_ASSERT(offsetof(ReqPkt, cursor) == 16, reqpkt_cursor);
SHARE_STATIC_ASSERT(sizeof(RespPkt) == 24, resppkt_size);
SHARE_STATIC_ASSERT(offsetof(RespPkt, capacity) == 8, resppkt_capacity);
SHARE_STATIC_ASSERT(offsetof(RespPkt, cursor) == 16, resppkt_cursor);

/** \name Request side */
/** @{ */

/** Creates a request for the component (low 8 bits) with a zeroed 1024-byte buffer; null when
 * memory runs out. The caller owns the result: free(pkt->buffer), then free(pkt). */
SHARE_API ReqPkt *ReqPktInsertComponentID(unsigned int componentId) SHARE_NOEXCEPT;
/** Sets the function ID (low 8 bits) and returns pkt. Null pkt: null. A handle without buffer is
 * released (buffer and handle freed) and null returned. */
SHARE_API ReqPkt *ReqPktInsertFunctionID(ReqPkt *pkt, unsigned int functionId) SHARE_NOEXCEPT;
/** Appends one element (type: low 8 bits) with a copy of len payload bytes; returns pkt. On failure
 * returns null and pkt stays unchanged and the caller's. The payload stays the caller's. */
SHARE_API ReqPkt *ReqPktInsertData(ReqPkt *pkt, unsigned int type, uint32_t len,
                                   const void *payload) SHARE_NOEXCEPT;
/** Sets the element count (low 8 bits); returns pkt, or null (pkt kept) without a usable pkt. */
SHARE_API ReqPkt *ReqPktSetNumberOfData(ReqPkt *pkt, unsigned int count) SHARE_NOEXCEPT;
/** The element count (0 to 255), or -1 without a usable pkt. */
SHARE_API int ReqPktGetNumberOfData(ReqPkt *pkt) SHARE_NOEXCEPT;
/** The component ID (0 to 255), or -1 without a usable pkt. */
SHARE_API int ReqPktGetComponentID(ReqPkt *pkt) SHARE_NOEXCEPT;
/** The function ID (0 to 255), or -1 without a usable pkt. */
SHARE_API int ReqPktGetFunctionID(ReqPkt *pkt) SHARE_NOEXCEPT;
/** Element walk. GetFirstData starts (or restarts) at the first element, GetNextData continues.
 * Each returns a fresh heap copy of exactly one payload, which the caller frees (an empty
 * element yields a non-null zeroed block and *len 0), and writes the element's length and type to
 * *len and *type. Null at the end of the data, for an element that would run past the body, for
 * GetNextData before any GetFirstData, and on failure. Only pkt->cursor changes. */
SHARE_API void *ReqPktGetFirstData(ReqPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;
/** Continues the element walk ReqPktGetFirstData started; the same rules apply. */
SHARE_API void *ReqPktGetNextData(ReqPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;

/** @} */

/** \name Response side */
/** @{ */

/** Creates a response with the status and a zeroed 1024-byte buffer; null when memory runs out.
 * The caller owns the result: free(pkt->buffer), then free(pkt). */
SHARE_API RespPkt *RespPktInsertStatus(int32_t status) SHARE_NOEXCEPT;
/** Appends one element, as ReqPktInsertData. When the handle has no buffer or the buffer cannot
 * grow, the packet is released (buffer and handle freed) and null returned. */
SHARE_API RespPkt *RespPktInsertData(RespPkt *pkt, unsigned int type, uint32_t len,
                                     const void *payload) SHARE_NOEXCEPT;
/** Appends len more payload bytes to the last element; returns pkt. Null, with pkt unchanged and
 * still the caller's, on failure and when the packet holds no element. */
SHARE_API RespPkt *RespPktInsertDataExt(RespPkt *pkt, uint32_t len,
                                        const void *payload) SHARE_NOEXCEPT;
/** Sets the 32-bit element count to count; returns pkt, or null (pkt kept). */
SHARE_API RespPkt *RespPktSetNumberOfData(RespPkt *pkt, uint8_t count) SHARE_NOEXCEPT;
/** The element count, or -1 without a usable pkt. */
SHARE_API int RespPktGetNumberOfData(RespPkt *pkt) SHARE_NOEXCEPT;
/** Element walk over the response body, as ReqPktGetFirstData/ReqPktGetNextData; payload copies
 * are the caller's to free. */
SHARE_API void *RespPktGetFirstData(RespPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;
/** Continues the element walk RespPktGetFirstData started, as ReqPktGetNextData. */
SHARE_API void *RespPktGetNextData(RespPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;

/** @} */

/** \name Exchange with the file server */
/** @{ */

/** Sends the request (read only; it stays the caller's) over a new connection to the file server
 * and receives one response. 0: *responseOut holds a new response that the caller releases
 * (free(buffer), then free(handle)); its status word is not examined. -1: failure, logged;
 * *responseOut untouched. Blocks for up to 90 seconds while the server is silent. */
SHARE_API int SendAndReceiveIPC(ReqPkt *request, RespPkt **responseOut) SHARE_NOEXCEPT;
/** Adds O_NONBLOCK to the descriptor's status flags. 0, or -1 (reported on standard output). */
SHARE_API int CLI_setSocketUnblock(int fd) SHARE_NOEXCEPT;
/** Reads exactly n bytes in chunks of at most 1024, waiting (up to 90 seconds per stall) while a
 * non-blocking descriptor is not ready. Returns the count moved: n, or fewer after a failure,
 * which is logged. Never negative. */
SHARE_API ssize_t readn(int fd, void *buffer, size_t n) SHARE_NOEXCEPT;
/** Writes exactly n bytes, as readn reads them: in chunks of at most 1024, waiting up to 90
 * seconds per stall; returns the count moved (fewer after a logged failure), never negative. */
SHARE_API ssize_t writen(int fd, const void *data, size_t n) SHARE_NOEXCEPT;
/** readn under the name the exchange uses. */
SHARE_API ssize_t ReceiveData(int fd, void *buffer, size_t n) SHARE_NOEXCEPT;
/** writen; logs when fewer than n bytes went out. */
SHARE_API void SendData(int fd, const void *data, size_t n) SHARE_NOEXCEPT;

/** @} */

/** \name Logging */
/** @{ */

/** Level bits: a message names exactly one. */
enum {
    CIFS_LOG_EVENT = 1,    /**< EVENT */
    CIFS_LOG_CRITICAL = 2, /**< CRITICAL */
    CIFS_LOG_ERROR = 4,    /**< ERROR */
    CIFS_LOG_WARNING = 8,  /**< WARNING */
    CIFS_LOG_ALERT = 16,   /**< ALERT */
    CIFS_LOG_INFO = 32,    /**< INFO */
    CIFS_LOG_DEBUG = 64    /**< DEBUG */
};

/** Module indices into cifsLogModules that the libraries use. */
enum {
    CIFS_MODULE_UTILS = 0,    /**< "UTILS" */
    CIFS_MODULE_CODIR = 8,    /**< "CODIR" */
    CIFS_MODULE_CLI = 9,      /**< "CLI": the management API's messages */
    CIFS_MODULE_NTLM_LIB = 15 /**< "NTLM_LIB": cifs_ntlmssp_callback_log */
};

/** Bit mask of enabled level bits; the host may change it at any time. Initially 15 (EVENT,
 * CRITICAL, ERROR, WARNING). */
SHARE_API extern uint32_t gCIFSLogLevel;
/** Module names by index (16 entries): "UTILS", "ENTRY", ..., "CLI" (9), ..., "NTLM_LIB" (15). */
SHARE_API extern const char *cifsLogModules[16];
/** Audit records are written only while non-zero. Initially 1. */
SHARE_API extern uint8_t CifsAuditEnabled;
/** Audit channel descriptor; negative (initially -1) while closed. */
SHARE_API extern int32_t cifs_laf_fd;
/** Zeroed storage provided for other components of the host; the libraries never touch it. */
SHARE_API extern unsigned char uniCrt[96];
/** Zeroed storage provided for other components of the host, like uniCrt. */
SHARE_API extern unsigned char gDomainSidLock[56];

/** Opens the system log under ident (LOG_NDELAY, facility LOG_LOCAL0). ident stays the caller's
 * and must stay valid until DeinitializeLogs. Optional: lines reach syslog without it. */
SHARE_API void InitializeLogs(const char *ident) SHARE_NOEXCEPT;
/** Closes the system log. */
SHARE_API void DeinitializeLogs(void) SHARE_NOEXCEPT;
/** Logs one line "<LEVEL>: <module>: <message>" at facility LOG_LOCAL0. It does not filter: the
 * caller tests its level bit in gCIFSLogLevel first. A format longer than 487 characters is
 * replaced by "BUFFER OVERFLOW IN SYSLOG"; an unknown level or module logs nothing. */
SHARE_API void cifsLogExt(int level, int module, const char *fmt, ...) SHARE_NOEXCEPT
    __attribute__((format(printf, 3, 4)));
/** cifsLogExt with a va_list. */
SHARE_API void cifsLogVarArgs(int level, int module, const char *fmt, va_list args) SHARE_NOEXCEPT;
/** Logs under "NTLM_LIB" when level shares a bit with gCIFSLogLevel; filters by itself. */
SHARE_API void cifs_ntlmssp_callback_log(int level, const char *fmt, ...) SHARE_NOEXCEPT
    __attribute__((format(printf, 2, 3)));

/** @} */

/** \name Audit */
/** @{ */

/** Opens the audit channel into cifs_laf_fd and enables auditing when CifsAuditEnabled is 1;
 * otherwise closes it again. A failure is logged and leaves the channel closed. */
SHARE_API void cifs_audit_init(void) SHARE_NOEXCEPT;
/** Writes one user audit record of the given type (message stays the caller's) while the channel
 * is open and CifsAuditEnabled is non-zero. Failures are logged at DEBUG level and dropped. */
SHARE_API void cifs_audit(const char *message, int type) SHARE_NOEXCEPT;
/** Closes the audit channel when it is open. */
SHARE_API void cifs_audit_close(void) SHARE_NOEXCEPT;

/** @} */

SHARE_END_DECLS

#endif
