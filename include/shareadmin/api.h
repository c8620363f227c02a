// SPDX-License-Identifier: Apache-2.0
/** \file
 * Management API (libshareadmin): the CIFSLIB_* functions and their records.
 *
 * Conventions for every function of this header:
 *  - The result is 0 on success, -1 on a failure on the client side (bad argument, memory, a
 *    command the pipeline rejects, transport, an unexpected or malformed response), or the
 *    server's non-zero status word, passed on unchanged when the server refuses.
 *  - Everything handed to the caller is a heap block from the C allocator, allocated zero-filled,
 *    that the caller releases with free() as each declaration says. On every result other than 0
 *    the caller's result locations are left untouched and nothing stays allocated.
 *  - Each function fills the calling thread's gbCifsArg (shareadmin/command.h) and runs
 *    ValidateAndProcessCmd on the caller's thread, one connection per exchange. Only the entries
 *    named with each function are overwritten; every value string the function wrote is released
 *    (or, for a caller's record pointer, cleared to null) before it returns.
 *  - Messages go to syslog under module CLI, each only when its level bit is set in
 *    gCIFSLogLevel (shareadmin/protocol.h).
 *  - Records are in host byte order. Texts inside the self-relative records (ShareInfo,
 *    OpenFilesRequest, OpenFileInfo) are NUL-terminated strings in the string area that follows
 *    the fixed part, addressed by their byte offset from the start of that area.
 *
 * Received data is never read past the end of the element that carried it: a record shorter
 * than what its decoder reads, or whose announced length runs past its element, is treated as an
 * invalid element (see each function for the reaction). An element that is present but cannot
 * be copied for lack of memory fails the call with -1; it never passes for the end of the data.
 */
#ifndef SHARE_API_H
#define SHARE_API_H

#include <stddef.h>
#include <stdint.h>

#include "shareadmin/export.h"

SHARE_BEGIN_DECLS

/** \name Shares */
/** @{ */

/** Bytes of one name slot of a ShareNameList. */
#define SHARE_NAME_SLOT_SIZE 82
/** Bytes of the fixed part of a ShareInfo, before its string area. */
#define SHARE_INFO_FIXED_SIZE 48
/** commentOffset of a create record that carries no comment. */
#define SHARE_INFO_NO_COMMENT 0xFFFFFFFFu

/* volumeType values that the library derives when the server reports type 0. */
#define SHARE_TYPE_VOLUME 0    /**< a whole volume shared under its own name */
#define SHARE_TYPE_ADMIN 2     /**< the administrative volume (_admin / ADMIN) */
#define SHARE_TYPE_DIRECTORY 4 /**< a directory inside a volume */
#define STYPE_GDFS 5           /**< a volume flagged 0x02 by the server */

/* modifyMask bits of a change request (the same bits as CIFS_MODIFY_* of shareadmin/context.h). */
#define SHARE_MODIFY_NEW_NAME 0x01u           /**< rename to the text at newNameOffset */
#define SHARE_MODIFY_PATH 0x02u               /**< change the path */
#define SHARE_MODIFY_COMMENT 0x04u            /**< change the comment */
#define SHARE_MODIFY_ENCRYPT_DATA 0x08u       /**< change encryptData */
#define SHARE_MODIFY_FOLDER_REDIRECTION 0x10u /**< change folderRedirection */
#define SHARE_MODIFY_ATM_BACKUP 0x20u         /**< change atmBackup */

/** Share and volume names: count slots of 82 bytes directly behind the count, each a
 * NUL-terminated name of at most 81 characters, zero beyond it. One block of
 * 4 + 82 x count bytes. */
typedef struct ShareNameList {
    uint32_t count;                      /**< names in the list */
    char names[1][SHARE_NAME_SLOT_SIZE]; /**< count slots */
} ShareNameList;

/** Share information: a 48-byte fixed part and a string area of stringBytes bytes. */
typedef struct ShareInfo {
    uint16_t volumeType;  /**< server type code, or a SHARE_TYPE_* / STYPE_GDFS derived value */
    uint8_t reserved2[2]; /**< zero */
    uint32_t modifyMask;  /**< SHARE_MODIFY_* bits a change applies; 0 in listed records */
    uint32_t shareValue;  /**< server value, passed on unchanged */
    uint8_t encryptData;  /**< 1 on, 0 off */
    uint8_t folderRedirection; /**< 1 on, 0 off */
    uint8_t atmBackup;         /**< the server's byte: 0 off, non-zero on */
    uint8_t reserved15;        /**< zero */
    uint32_t nameOffset;       /**< share name */
    uint32_t volumeOffset;     /**< volume name */
    uint32_t commentOffset;    /**< SHARE_INFO_NO_COMMENT: no comment (create only) */
    uint32_t pathOffset;       /**< directory within the volume */
    uint32_t auxTextOffset;    /**< server text, passed on unchanged */
    uint32_t newNameOffset;    /**< change with SHARE_MODIFY_NEW_NAME only; 0 in listed records */
    uint32_t mappedValue;      /**< mapped-shares listing only; 0 elsewhere */
    uint32_t stringBytes;      /**< bytes of the string area in use, terminators included */
    char strings[1];           /**< stringBytes bytes */
} ShareInfo;

/** Text of a ShareInfo at a string-area offset. */
#define SHARE_INFO_TEXT(info, offset) ((const char *)(info) + SHARE_INFO_FIXED_SIZE + (offset))

#pragma pack(push, 1)
/** List of share information records: count, then one pointer per record at 4 + 8 x i. The
 * block has room for the pointers its producer announced; count says how many are in use. */
typedef struct ShareInfoList {
    uint32_t count;        /**< entries in use */
    ShareInfo *entries[1]; /**< count pointers, unaligned */
} ShareInfoList;
#pragma pack(pop)

SHARE_STATIC_ASSERT(offsetof(ShareNameList, names) == 4, sharenamelist_names);
SHARE_STATIC_ASSERT(sizeof(((ShareNameList *)0)->names[0]) == 82, sharenamelist_slot);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, modifyMask) == 4, shareinfo_mask);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, shareValue) == 8, shareinfo_value);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, encryptData) == 12, shareinfo_encrypt);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, folderRedirection) == 13, shareinfo_folder);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, atmBackup) == 14, shareinfo_atm);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, nameOffset) == 16, shareinfo_name);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, volumeOffset) == 20, shareinfo_volume);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, commentOffset) == 24, shareinfo_comment);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, pathOffset) == 28, shareinfo_path);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, auxTextOffset) == 32, shareinfo_aux);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, newNameOffset) == 36, shareinfo_new_name);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, mappedValue) == 40, shareinfo_mapped);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, stringBytes) == 44, shareinfo_bytes);
SHARE_STATIC_ASSERT(offsetof(ShareInfo, strings) == SHARE_INFO_FIXED_SIZE, shareinfo_strings);
SHARE_STATIC_ASSERT(offsetof(ShareInfoList, entries) == 4, shareinfolist_entries);
SHARE_STATIC_ASSERT(sizeof(ShareInfo *) == 8, shareinfolist_pointer);

/** Names of all shares and volumes (one exchange).
 * 0 with at least one name: *sharesList receives a new ShareNameList; release it with free().
 *   Slots follow the response's name elements; an element of another type is skipped and leaves
 *   its slot (at the end) all zero; a name longer than 81 characters is cut to its slot; name
 *   elements beyond the announced count are dropped.
 * 0 when the server has no shares: *sharesList is left as it was. */
SHARE_API int CIFSLIB_GetShareNames(ShareNameList **sharesList) SHARE_NOEXCEPT;

/** Information on every share: the names, then one details exchange per name, in order.
 * 0: *sharesList receives a new ShareInfoList (possibly count 0); release each of its count
 *   entries with free(), then the list. A details answer with more share records than the list
 *   has room for left has the extra records dropped. A share record shorter than 5168 bytes is
 *   an invalid element and fails the listing with -1. */
SHARE_API int CIFSLIB_ListAllShares(ShareInfoList **sharesList) SHARE_NOEXCEPT;

/** @} */

/** \name Share configuration
 * The record stays the caller's. REQUIRES: every offset an operation reads addresses a
 * NUL-terminated text inside the record's string area; offsets are not checked. Create and
 * change remove trailing spaces from the caller's comment in place. The server answers with a
 * status only. */
/** @{ */

/** Creates the share named at nameOffset on volumeOffset:pathOffset, with the comment (unless
 * commentOffset is SHARE_INFO_NO_COMMENT), encryptData, folderRedirection and atmBackup. */
SHARE_API int CIFSLIB_CreateShare(ShareInfo *shareInfo) SHARE_NOEXCEPT;
/** Changes the settings of the named share that modifyMask selects (SHARE_MODIFY_*). */
SHARE_API int CIFSLIB_ChangeShareConfiguration(ShareInfo *shareInfo) SHARE_NOEXCEPT;
/** Changes only encryptData, folderRedirection and atmBackup, as modifyMask bits 0x08, 0x10 and
 * 0x20 select; never reads the new name, path or comment. */
SHARE_API int CIFSLIB_ChangeShareFeatureConfiguration(ShareInfo *shareInfo) SHARE_NOEXCEPT;
/** Removes the named share (a record from CIFSLIB_ListAllShares may be passed unchanged). */
SHARE_API int CIFSLIB_RemoveShare(ShareInfo *shareInfo) SHARE_NOEXCEPT;

/** @} */

/** \name Open files and user contexts */
/** @{ */

/** Bytes of the fixed part of an OpenFilesRequest. */
#define OPEN_FILES_REQUEST_FIXED_SIZE 28
/** Bytes of the fixed part of an OpenFileInfo. */
#define OPEN_FILE_INFO_FIXED_SIZE 40
/** nameOffset of an OpenFilesRequest that selects a connection instead of a name. */
#define OPEN_FILES_BY_CONNECTION 0xFFFFFFFFu

/** Open-files list request, built by the caller: a 28-byte fixed part and stringBytes bytes of
 * strings; the whole 28 + stringBytes bytes go to the server unchanged. */
typedef struct OpenFilesRequest {
    uint32_t connectionId; /**< listed connection when nameOffset is OPEN_FILES_BY_CONNECTION */
    uint8_t opaque4[12];   /**< sent unchanged */
    uint32_t nameOffset;   /**< text naming what is listed, or OPEN_FILES_BY_CONNECTION */
    uint8_t opaque20[4];   /**< sent unchanged */
    uint32_t stringBytes;  /**< bytes of the string area */
    char strings[1];       /**< stringBytes bytes */
} OpenFilesRequest;

/** One open file, as the caller holds it: a 40-byte fixed part and a string area; only
 * pathOffset (the file's full path) is read. */
typedef struct OpenFileInfo {
    uint8_t opaque0[24];  /**< not read */
    uint32_t pathOffset;  /**< the file's full path */
    uint8_t opaque28[12]; /**< not read */
    char strings[1];      /**< the string area */
} OpenFileInfo;

/** The first 8 bytes of a user-context reply. */
typedef struct UserContextHeader {
    uint32_t contextWord; /**< passed on unchanged */
    uint32_t dataLength;  /**< bytes of context data */
} UserContextHeader;

SHARE_STATIC_ASSERT(offsetof(OpenFilesRequest, nameOffset) == 16, openfilesrequest_name);
SHARE_STATIC_ASSERT(offsetof(OpenFilesRequest, stringBytes) == 24, openfilesrequest_bytes);
SHARE_STATIC_ASSERT(offsetof(OpenFilesRequest, strings) == OPEN_FILES_REQUEST_FIXED_SIZE,
                    openfilesrequest_strings);
SHARE_STATIC_ASSERT(offsetof(OpenFileInfo, pathOffset) == 24, openfileinfo_path);
SHARE_STATIC_ASSERT(offsetof(OpenFileInfo, strings) == OPEN_FILE_INFO_FIXED_SIZE,
                    openfileinfo_strings);
SHARE_STATIC_ASSERT(sizeof(UserContextHeader) == 8, usercontextheader_size);
SHARE_STATIC_ASSERT(offsetof(UserContextHeader, dataLength) == 4, usercontextheader_length);

/** Lists open files as the caller's request selects. The request must stay valid and unchanged
 * during the call; it stays the caller's. A null reply location is rejected like a null request
 * (-1, nothing sent).
 * 0: *reply receives the server's reply payload unchanged, as one block; release it with free(). */
SHARE_API int CIFSLIB_ListOpenFiles(OpenFilesRequest *request, void **reply) SHARE_NOEXCEPT;
/** Closes the open file whose full path is at pathOffset. */
SHARE_API int CIFSLIB_CloseOpenFile(OpenFileInfo *openFileInfo) SHARE_NOEXCEPT;
/** Closes every open file of the volume named at volumeOffset. */
SHARE_API int CIFSLIB_CloseAllOpenFiles(ShareInfo *shareInfo) SHARE_NOEXCEPT;
/** Lists the user contexts.
 * 0 with a reply: *header receives a new UserContextHeader and *data a new block of
 *   header->dataLength bytes of context data (possibly empty, never null); release both with
 *   free(). A reply shorter than 8 bytes, or whose dataLength runs past its end, is an invalid
 *   element (-1).
 * 0 when the server sends no context: both locations are left as they were. */
SHARE_API int CIFSLIB_ListUserContexts(UserContextHeader **header, void **data) SHARE_NOEXCEPT;
/** Adds a user context (at most 511 characters); the caller keeps the text. */
SHARE_API int CIFSLIB_AddUserContext(const char *context) SHARE_NOEXCEPT;
/** Removes a user context (at most 511 characters); the caller keeps the text. */
SHARE_API int CIFSLIB_RemoveUserContext(const char *context) SHARE_NOEXCEPT;

/** @} */

/** \name Connections */
/** @{ */

/** Bytes of a ConnectionRecord, the fixed part of a connection element. */
#define CIFS_CONNECTION_RECORD_SIZE 418

#pragma pack(push, 1)
/** Connection record: the 418-byte fixed part the server sends for a connection. The fields
 * named by offset belong to the server and are carried unchanged. */
typedef struct ConnectionRecord {
    uint16_t connectionId;   /**< the connection's ID */
    uint8_t reserved2[2];    /**< carried unchanged */
    uint32_t openFileCount;  /**< open-file entries in the variable part */
    uint8_t reserved8[4];    /**< carried unchanged */
    uint64_t value12;        /**< server value at offset 12 */
    char text20[16];         /**< server text at offset 20 */
    char text36[256];        /**< server text at offset 36 */
    char text292[20];        /**< server text at offset 292 */
    uint8_t reserved312[14]; /**< carried unchanged */
    uint32_t value326;       /**< server value at offset 326 */
    uint64_t value330;       /**< server value at offset 330 */
    uint64_t value338;       /**< server value at offset 338 */
    uint32_t secEquivCount;  /**< DNs in the security-equivalence block */
    uint32_t secEquivLength; /**< bytes of the security-equivalence block */
    char text354[32];        /**< server text at offset 354 */
    char text386[32];        /**< server text at offset 386 */
} ConnectionRecord;
#pragma pack(pop)

/** Connection list: count records of 418 bytes, contiguous. */
typedef struct ConnectionList {
    int32_t count; /**< records in the block */
    void *records; /**< count ConnectionRecord, zero where none arrived */
} ConnectionList;

SHARE_STATIC_ASSERT(sizeof(ConnectionRecord) == CIFS_CONNECTION_RECORD_SIZE, connrecord_size);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, openFileCount) == 4, connrecord_files);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, value12) == 12, connrecord_value12);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, text20) == 20, connrecord_text20);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, text36) == 36, connrecord_text36);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, text292) == 292, connrecord_text292);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, value326) == 326, connrecord_value326);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, value330) == 330, connrecord_value330);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, value338) == 338, connrecord_value338);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, secEquivCount) == 346, connrecord_sev_count);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, secEquivLength) == 350, connrecord_sev_length);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, text354) == 354, connrecord_text354);
SHARE_STATIC_ASSERT(offsetof(ConnectionRecord, text386) == 386, connrecord_text386);
SHARE_STATIC_ASSERT(offsetof(ConnectionList, records) == 8, connlist_records);

/** Number of active connections. 0: *count receives it (0 when the server sends none). An
 * element of another type, or shorter than 4 bytes, is -1 with *count left as it was. */
SHARE_API int CIFSLIB_GetConnectionsCount(int32_t *count) SHARE_NOEXCEPT;
/** Every connection's record: the count, then the list (two exchanges).
 * 0 with records: *list receives a new ConnectionList whose count is the count just obtained;
 *   records that did not arrive are zero, records beyond the count are dropped and a record
 *   shorter than 418 bytes is skipped. Release list->records, then the list, with free().
 * 0 when the server sends no record: *list is left as it was. A negative count is -1. */
SHARE_API int CIFSLIB_GetConnectionsList(ConnectionList **list) SHARE_NOEXCEPT;
/** One connection's record. connectionNumber is the connection ID as decimal text (0..65535;
 * anything else is -1 before any exchange); record points to the caller's 418-byte
 * ConnectionRecord.
 * 0 with a record: the fixed part is copied into *record; when sevBlock is not null it receives
 *   a new block holding the security-equivalence block (secEquivLength bytes, possibly empty;
 *   release it with free()). Should that block not be allocated, *sevBlock is left as it was and
 *   the result is still 0 (the failure is logged).
 * 0 without a usable record (none, another type, shorter than 418 bytes, or, when sevBlock is
 *   requested, a security-equivalence length past the element's end): *record and *sevBlock are
 *   left as they were. */
SHARE_API int CIFSLIB_GetConnectionDetails(const char *connectionNumber, void *record,
                                           void **sevBlock) SHARE_NOEXCEPT;
/** The shares one connection has mapped.
 * 0: *sharesList receives a new ShareInfoList with room for the announced share count; release
 *   each of its count entries, then the list, with free(). Records are built as by
 *   CIFSLIB_ListAllShares except that volumeType is only the server's code or
 *   SHARE_TYPE_DIRECTORY, and mappedValue is filled. Fewer records than announced leave count
 *   smaller; records beyond the announced count are not read.
 * -1 also when the connection has no mapped shares, and for a share record shorter than 5168
 * bytes. */
SHARE_API int CIFSLIB_GetConnectionMappedShares(const char *connectionNumber,
                                                ShareInfoList **sharesList) SHARE_NOEXCEPT;

/** @} */

/** \name Invalid users */
/** @{ */

/** Bytes of the fixed part of an InvalidUserListRequest. */
#define INVALID_USER_REQUEST_FIXED_SIZE 20

/** Invalid-user list request, built by the caller: 20 + dataLength bytes sent unchanged. */
typedef struct InvalidUserListRequest {
    uint8_t opaque0[16]; /**< sent unchanged */
    int32_t dataLength;  /**< bytes after the 20-byte fixed part */
    uint8_t data[1];     /**< dataLength bytes */
} InvalidUserListRequest;

SHARE_STATIC_ASSERT(offsetof(InvalidUserListRequest, dataLength) == 16, iulrequest_length);
SHARE_STATIC_ASSERT(offsetof(InvalidUserListRequest, data) == INVALID_USER_REQUEST_FIXED_SIZE,
                    iulrequest_data);

/** Lists the invalid-user cache as the caller's request (an InvalidUserListRequest, which stays
 * the caller's and must stay valid during the call) selects.
 * 0: *list receives the server's list payload unchanged, as one block; release it with free().
 * A response without an element is -1. */
SHARE_API int CIFSLIB_ListInvalidUsers(void *request, void **list) SHARE_NOEXCEPT;
/** Adds an invalid user (at most 256 characters; trailing spaces are not sent). The caller keeps
 * the text. */
SHARE_API int CIFSLIB_AddPermanentInvalidUser(const char *userName) SHARE_NOEXCEPT;
/** Removes an invalid user (at most 256 characters; trailing spaces are not sent). The caller
 * keeps the text. */
SHARE_API int CIFSLIB_RemoveInvalidUser(const char *userName) SHARE_NOEXCEPT;
/** Makes an invalid user permanent (at most 256 characters; trailing spaces are not sent). The
 * caller keeps the text. */
SHARE_API int CIFSLIB_MakePermanentInvalidUser(const char *userName) SHARE_NOEXCEPT;

/** @} */

SHARE_END_DECLS

#endif
