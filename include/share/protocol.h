/*
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
 *   request   := u8 component | u8 function | u8 count | u8 0 | u32 bodyLength | element*
 *   response  := i32 status | u32 count | u32 bodyLength | element*
 *   element   := u8 type | u8[3] 0 | u32 length | u8[length] payload
 */
#ifndef SHARE_PROTOCOL_H
#define SHARE_PROTOCOL_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "share/export.h"

SHARE_BEGIN_DECLS

/* Packet handle: owns `buffer` (capacity bytes); `cursor` marks the next element of a walk. */
typedef struct ReqPkt {
    uint8_t *buffer;
    uint32_t capacity;
    uint8_t *cursor;
} ReqPkt;

typedef struct RespPkt {
    uint8_t *buffer;
    uint32_t capacity;
    uint8_t *cursor;
} RespPkt;

#define CIFS_REQ_HEADER_SIZE 8
#define CIFS_RESP_HEADER_SIZE 12
#define CIFS_ELEMENT_HEADER_SIZE 8

SHARE_STATIC_ASSERT(sizeof(ReqPkt) == 24, reqpkt_size);
SHARE_STATIC_ASSERT(offsetof(ReqPkt, capacity) == 8, reqpkt_capacity);
SHARE_STATIC_ASSERT(offsetof(ReqPkt, cursor) == 16, reqpkt_cursor);
SHARE_STATIC_ASSERT(sizeof(RespPkt) == 24, resppkt_size);
SHARE_STATIC_ASSERT(offsetof(RespPkt, capacity) == 8, resppkt_capacity);
SHARE_STATIC_ASSERT(offsetof(RespPkt, cursor) == 16, resppkt_cursor);

/* ---- Request side ---- */

/* Creates a request with a zeroed 1024-byte buffer. The caller owns the result. */
SHARE_API ReqPkt *ReqPktInsertComponentID(unsigned int componentId) SHARE_NOEXCEPT;
/* Returns pkt; on a handle without buffer the handle is released and null returned. */
SHARE_API ReqPkt *ReqPktInsertFunctionID(ReqPkt *pkt, unsigned int functionId) SHARE_NOEXCEPT;
/* Appends one element; on failure pkt is kept unchanged (still the caller's) and null returned. */
SHARE_API ReqPkt *ReqPktInsertData(ReqPkt *pkt, unsigned int type, uint32_t len,
                                   const void *payload) SHARE_NOEXCEPT;
SHARE_API ReqPkt *ReqPktSetNumberOfData(ReqPkt *pkt, unsigned int count) SHARE_NOEXCEPT;
SHARE_API int ReqPktGetNumberOfData(ReqPkt *pkt) SHARE_NOEXCEPT;
SHARE_API int ReqPktGetComponentID(ReqPkt *pkt) SHARE_NOEXCEPT;
SHARE_API int ReqPktGetFunctionID(ReqPkt *pkt) SHARE_NOEXCEPT;
/* Element walk: each call returns a fresh heap copy of one payload (caller frees) or null at the
 * end of data. *len and *type receive the element's length and type code. */
SHARE_API void *ReqPktGetFirstData(ReqPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;
SHARE_API void *ReqPktGetNextData(ReqPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;

/* ---- Response side ---- */

/* Creates a response with a zeroed 1024-byte buffer. The caller owns the result. */
SHARE_API RespPkt *RespPktInsertStatus(int32_t status) SHARE_NOEXCEPT;
/* Appends one element; on a failed growth the packet is released and null returned. */
SHARE_API RespPkt *RespPktInsertData(RespPkt *pkt, unsigned int type, uint32_t len,
                                     const void *payload) SHARE_NOEXCEPT;
/* Extends the last element by len bytes; null (packet kept) when there is no element. */
SHARE_API RespPkt *RespPktInsertDataExt(RespPkt *pkt, uint32_t len,
                                        const void *payload) SHARE_NOEXCEPT;
SHARE_API RespPkt *RespPktSetNumberOfData(RespPkt *pkt, uint8_t count) SHARE_NOEXCEPT;
SHARE_API int RespPktGetNumberOfData(RespPkt *pkt) SHARE_NOEXCEPT;
SHARE_API void *RespPktGetFirstData(RespPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;
SHARE_API void *RespPktGetNextData(RespPkt *pkt, uint32_t *len, uint8_t *type) SHARE_NOEXCEPT;

/* ---- Exchange with the file server ---- */

/* Sends the request (left untouched) and receives one response. On 0, *responseOut receives a
 * new response the caller releases (buffer, then handle); on -1 it is left untouched. */
SHARE_API int SendAndReceiveIPC(ReqPkt *request, RespPkt **responseOut) SHARE_NOEXCEPT;
SHARE_API int CLI_setSocketUnblock(int fd) SHARE_NOEXCEPT;
/* Move exactly n bytes; return the count moved (n on success, fewer on failure). */
SHARE_API ssize_t readn(int fd, void *buffer, size_t n) SHARE_NOEXCEPT;
SHARE_API ssize_t writen(int fd, const void *data, size_t n) SHARE_NOEXCEPT;
SHARE_API ssize_t ReceiveData(int fd, void *buffer, size_t n) SHARE_NOEXCEPT;
SHARE_API void SendData(int fd, const void *data, size_t n) SHARE_NOEXCEPT;

/* ---- Logging ---- */

enum {
    CIFS_LOG_EVENT = 1,
    CIFS_LOG_CRITICAL = 2,
    CIFS_LOG_ERROR = 4,
    CIFS_LOG_WARNING = 8,
    CIFS_LOG_ALERT = 16,
    CIFS_LOG_INFO = 32,
    CIFS_LOG_DEBUG = 64
};

enum {
    CIFS_MODULE_UTILS = 0,
    CIFS_MODULE_CODIR = 8,
    CIFS_MODULE_CLI = 9,
    CIFS_MODULE_NTLM_LIB = 15
};

/* Bit mask of enabled level bits; the host may change it at any time. Initially 15. */
SHARE_API extern uint32_t gCIFSLogLevel;
/* Module names by index (16 entries). */
SHARE_API extern const char *cifsLogModules[16];
/* Audit records are written only while non-zero. Initially 1. */
SHARE_API extern uint8_t CifsAuditEnabled;
/* Audit channel descriptor; negative when closed. */
SHARE_API extern int32_t cifs_laf_fd;
/* Storage provided for other components; never touched by the libraries. */
SHARE_API extern unsigned char uniCrt[96];
SHARE_API extern unsigned char gDomainSidLock[56];

/* ident must stay valid while the log is open. */
SHARE_API void InitializeLogs(const char *ident) SHARE_NOEXCEPT;
SHARE_API void DeinitializeLogs(void) SHARE_NOEXCEPT;
/* Callers test their level bit in gCIFSLogLevel before calling; this does not filter. */
SHARE_API void cifsLogExt(int level, int module, const char *fmt, ...) SHARE_NOEXCEPT
    __attribute__((format(printf, 3, 4)));
SHARE_API void cifsLogVarArgs(int level, int module, const char *fmt, va_list args) SHARE_NOEXCEPT;
/* Filters by itself against gCIFSLogLevel; logs under "NTLM_LIB". */
SHARE_API void cifs_ntlmssp_callback_log(int level, const char *fmt, ...) SHARE_NOEXCEPT
    __attribute__((format(printf, 2, 3)));

/* ---- Audit ---- */

SHARE_API void cifs_audit_init(void) SHARE_NOEXCEPT;
SHARE_API void cifs_audit(const char *message, int type) SHARE_NOEXCEPT;
SHARE_API void cifs_audit_close(void) SHARE_NOEXCEPT;

SHARE_END_DECLS

#endif
