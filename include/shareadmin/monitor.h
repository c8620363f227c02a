// SPDX-License-Identifier: Apache-2.0
/** \file
 * Monitoring API (libsharemonitor): client connections, volumes and open files of the local file
 * server, returned as lists of result nodes, and the closing of open files.
 *
 * Conventions for the whole interface:
 *  - Every function returns a signed 32-bit result: 0 success, -1 local failure (bad argument,
 *    memory, request building, the exchange, an unusable reply), or the server's non-zero status
 *    unchanged when the server refuses the request. Nothing aborts the host process.
 *  - Result nodes are byte-packed, zero-filled heap records, linked through `next` in the order
 *    the server sent them. They are released only with the matching Free* function, which frees
 *    every node, text and array of the list; the Free* functions accept a null head and leave
 *    the caller's pointer as it was (do not use it afterwards).
 *  - A list function that fails releases everything it built and leaves *listOut as it was. Its
 *    counter starts from the caller's value, grows by one per node appended and keeps the
 *    increments made before a failure.
 *  - Text fields are NUL-terminated; a server text that does not fit its field is cut to it.
 *  - Texts passed in are read during the call only; they are not kept.
 *
 * The nodes copy fields of the server's connection record (element type 41):
 * \verbatim
 *   record   := u16 connectionId | u8[2] | u32 openFileCount | u8[4] | u64 value12
 *             | char[16] text20 | char[256] text36 | char[20] text292 | u8[14]
 *             | u32 value326 | u64 value330 | u64 value338 | u32 secEquivCount
 *             | u32 secEquivLength | char[32] text354 | char[32] text386        (418 bytes)
 *             | variable part
 *   variable := secEquivArea(secEquivLength: secEquivCount NUL-terminated DNs)
 *             | openFileCount x (u8[8] | NUL-terminated file name)
 * \endverbatim
 * Field names carry the record offset they come from; their meaning is the server's.
 */
#ifndef SHARE_MONITOR_H
#define SHARE_MONITOR_H

#include <stddef.h>
#include <stdint.h>

#include "shareadmin/context.h"
#include "shareadmin/export.h"
#include "shareadmin/protocol.h"

SHARE_BEGIN_DECLS

#pragma pack(push, 1)

/** One client connection (Ext_ListConnDetails). */
typedef struct ConnListNode {
    uint16_t connectionId;     /**< record bytes 0-1 */
    char text20[16];           /**< record bytes 20-35 */
    char text36[256];          /**< record bytes 36-291 */
    char text292[20];          /**< record bytes 292-311 */
    uint32_t value326;         /**< record bytes 326-329 */
    uint64_t value330;         /**< record bytes 330-337 */
    uint64_t value338;         /**< record bytes 338-345 */
    uint64_t value12;          /**< record bytes 12-19 */
    struct ConnListNode *next; /**< the next node, null at the end */
} ConnListNode;

/** The details of one connection (Ext_GetConnInfo). */
typedef struct UserDetailsNode {
    uint16_t connectionId;  /**< record bytes 0-1 */
    char text20[16];        /**< record bytes 20-35 */
    char text386[32];       /**< record bytes 386-417 */
    char text354[32];       /**< record bytes 354-385 */
    char text36[256];       /**< record bytes 36-291 */
    char text292[20];       /**< record bytes 292-311 */
    uint32_t secEquivCount; /**< entries of secEquivDns */
    uint16_t openFileCount; /**< entries of openFileNames */
    uint64_t value12;       /**< record bytes 12-19 */
    char **openFileNames;   /**< openFileCount heap texts; null when there are none */
    char **secEquivDns;     /**< secEquivCount heap texts; null when there are none */
} UserDetailsNode;

/** One connection with files open in a volume (Ext_ListVolFileDetails). */
typedef struct VolFileListNode {
    uint16_t connectionId;        /**< record bytes 0-1 */
    uint16_t openFileCount;       /**< entries of fileNames */
    char text36[256];             /**< record bytes 36-291 */
    char **fileNames;             /**< openFileCount heap texts; null when there are none */
    struct VolFileListNode *next; /**< the next node, null at the end */
} VolFileListNode;

/** One volume or share name (Ext_ListVolumeDetails). */
typedef struct VolsDetailsNode {
    char name[256];               /**< NUL-terminated name */
    struct VolsDetailsNode *next; /**< the next node, null at the end */
} VolsDetailsNode;

#pragma pack(pop)

SHARE_STATIC_ASSERT(sizeof(ConnListNode) == 330, connlistnode_size);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, text20) == 2, connlistnode_text20);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, text36) == 18, connlistnode_text36);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, text292) == 274, connlistnode_text292);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, value326) == 294, connlistnode_value326);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, value330) == 298, connlistnode_value330);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, value338) == 306, connlistnode_value338);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, value12) == 314, connlistnode_value12);
SHARE_STATIC_ASSERT(offsetof(ConnListNode, next) == 322, connlistnode_next);

SHARE_STATIC_ASSERT(sizeof(UserDetailsNode) == 388, userdetailsnode_size);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, text20) == 2, userdetailsnode_text20);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, text386) == 18, userdetailsnode_text386);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, text354) == 50, userdetailsnode_text354);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, text36) == 82, userdetailsnode_text36);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, text292) == 338, userdetailsnode_text292);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, secEquivCount) == 358, userdetailsnode_seccount);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, openFileCount) == 362, userdetailsnode_filecount);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, value12) == 364, userdetailsnode_value12);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, openFileNames) == 372, userdetailsnode_files);
SHARE_STATIC_ASSERT(offsetof(UserDetailsNode, secEquivDns) == 380, userdetailsnode_dns);

SHARE_STATIC_ASSERT(sizeof(VolFileListNode) == 276, volfilelistnode_size);
SHARE_STATIC_ASSERT(offsetof(VolFileListNode, openFileCount) == 2, volfilelistnode_count);
SHARE_STATIC_ASSERT(offsetof(VolFileListNode, text36) == 4, volfilelistnode_text36);
SHARE_STATIC_ASSERT(offsetof(VolFileListNode, fileNames) == 260, volfilelistnode_files);
SHARE_STATIC_ASSERT(offsetof(VolFileListNode, next) == 268, volfilelistnode_next);

SHARE_STATIC_ASSERT(sizeof(VolsDetailsNode) == 264, volsdetailsnode_size);
SHARE_STATIC_ASSERT(offsetof(VolsDetailsNode, next) == 256, volsdetailsnode_next);

/** \name Request frame */
/** @{ */

/** Builds the request for record->functionId (component ID record->componentId), appends its
 * element with FillReqPkt and exchanges it with the server. 0: *responseOut holds the response,
 * which the caller releases (free its buffer, then the handle). -1: nothing was received (null
 * argument, unsupported function ID, building or exchange failed); *responseOut untouched. */
SHARE_API int BuildAndReceiveReply(CmdContext *record, RespPkt **responseOut) SHARE_NOEXCEPT;

/** Appends the element of record->functionId to pkt: none for 0 and 26 (element count 0); the
 * 16-bit record->params.connectionId as type 41 for 29 and 37; the text at
 * record->params.pathRef with its NUL as type 42 for 32, 36 and 38. Returns 0, or -1 for any
 * other function ID, a null argument or text, or a failed append. Never releases pkt. */
SHARE_API int FillReqPkt(CmdContext *record, ReqPkt *pkt) SHARE_NOEXCEPT;

/** @} */

/** \name Connections */
/** @{ */

/** Lists the active connections. 0: *listOut receives the head (release with FreeConnListNodes)
 * and *count grows by one per node; when the reply holds elements but none is a connection
 * record, *listOut receives null and *count is unchanged; when the reply holds no element at
 * all, *count is set to 0 and *listOut is left as it was. A connection record shorter than its
 * 418-byte fixed part is skipped like an element of another type (logged, not counted).
 * Null count or listOut: -1 without a request. */
SHARE_API int Ext_ListConnDetails(int32_t *count, ConnListNode **listOut) SHARE_NOEXCEPT;

/** Details of the connection whose ID is the low 16 bits of connectionNumber. 0: *detailsOut
 * receives a new node, released with FreeUserDetailsNode; or, when the reply's first element is
 * not a connection record, *detailsOut is left as it was. A record shorter than its fixed part,
 * or announcing DNs or open-file entries that run past its end, is treated like an element of
 * another type: logged, nothing kept, 0 with *detailsOut left as it was. -1 when the reply holds
 * no element. More than 65535 open files: the first 65535 names are returned. Null detailsOut:
 * -1 without a request. */
SHARE_API int Ext_GetConnInfo(int32_t connectionNumber,
                              UserDetailsNode **detailsOut) SHARE_NOEXCEPT;

/** @} */

/** \name Volumes and open files */
/** @{ */

/** Lists all volume and share names. 0: *listOut receives the head (release with
 * FreeVolsDetailsNode; null when no element was a name) and *count grows by one per node. -1
 * also when the reply holds no element. Names longer than 255 characters are cut to 255.
 * Null count or listOut: -1 without a request. */
SHARE_API int Ext_ListVolumeDetails(int32_t *count, VolsDetailsNode **listOut) SHARE_NOEXCEPT;

/** Lists, per connection, the files open in volume. 0: *listOut receives the head (release with
 * FreeVolFileListNodes; null when no element was a connection record) and *count grows by one
 * per node. -1 also when the reply holds no element ("no files open"). A connection record
 * shorter than its fixed part or whose open-file entries run past its end is skipped like an
 * element of another type (logged, not counted). More than 65535 open files: the first 65535
 * names are returned. Null volume, listOut or count: -1 without a request. */
SHARE_API int Ext_ListVolFileDetails(const char *volume, VolFileListNode **listOut,
                                     int32_t *count) SHARE_NOEXCEPT;

/** @} */

/** \name Closing open files
 * Close open files by file path, by volume, or by the connection whose ID is the low 16 bits of
 * connectionNumber. 0 when the server reports success, its non-zero status, or -1 (null text,
 * request not built or exchanged). */
/** @{ */
/** Closes open files by file path. */
SHARE_API int Ext_CloseFileByFileName(const char *path) SHARE_NOEXCEPT;
/** Closes open files by volume. */
SHARE_API int Ext_CloseFileByVolume(const char *volume) SHARE_NOEXCEPT;
/** Closes open files by connection. */
SHARE_API int Ext_CloseFileByID(int32_t connectionNumber) SHARE_NOEXCEPT;
/** @} */

/** \name Releasing results
 * Each frees the whole list (or node) that *headRef points to, with all its texts and arrays.
 * A null headRef or null head does nothing. The caller's pointer is not changed. */
/** @{ */
/** Frees a list from Ext_ListConnDetails. */
SHARE_API void FreeConnListNodes(ConnListNode **headRef) SHARE_NOEXCEPT;
/** Frees a node from Ext_GetConnInfo. */
SHARE_API void FreeUserDetailsNode(UserDetailsNode **nodeRef) SHARE_NOEXCEPT;
/** Frees a list from Ext_ListVolFileDetails. */
SHARE_API void FreeVolFileListNodes(VolFileListNode **headRef) SHARE_NOEXCEPT;
/** Frees a list from Ext_ListVolumeDetails. */
SHARE_API void FreeVolsDetailsNode(VolsDetailsNode **headRef) SHARE_NOEXCEPT;
/** @} */

SHARE_END_DECLS

#endif
