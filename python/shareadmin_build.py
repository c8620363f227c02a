# SPDX-License-Identifier: Apache-2.0
"""cffi (API mode) description of the native part of the ``shareadmin`` package.

The extension is compiled against the public headers, so every record the binding reads is laid
out by the C compiler: the declarations below name only the fields used and end in ``...;``.

Two ways to build it:

* the project's CMake build runs ``shareadmin_build.py --emit OUT.c`` and compiles the C file as
  a Python module against the build tree's libraries;
* against an installed tree: ``/usr/bin/python3 shareadmin_build.py --compile DIR`` finds the
  headers and libraries with ``pkg-config shareadmin sharemonitor``.
"""

from __future__ import annotations

import argparse
import os
import shlex
import subprocess
import sys

import cffi

MODULE = "shareadmin._native"

# Integer names of the public headers that the package uses (codes.h, api.h, context.h).
CONSTANTS = """
CMD_SHARE CMD_SERVER_REQUEST_4 CMD_DUMP_STATISTICS CMD_SMB_SIGNING CMD_ADD CMD_REMOVE
CMD_LOG_LEVEL CMD_AUDITING CMD_GUEST_LOGIN CMD_LM_COMPATIBILITY CMD_SUBTREE_SEARCH CMD_SYNC
CMD_CACHE CMD_RANGE_LOCK_MASK CMD_OFFLINE_FILES CMD_READ_PROXY CMD_INVALID_USER_CACHE
CMD_CONNECTIONS CMD_FILES CMD_PASSTHRU CMD_SERVER_REQUEST_40 CMD_SHARE_VOLUMES_BY_DEFAULT
CMD_DIALECT CMD_CHANGE_NOTIFY CMD_USER_QUOTA_SYNC CMD_ENUM_SHARES_NULL_SESSION
CMD_OPLOCK_BREAK_ACK_TIMEOUT CMD_NEGOTIATE_NTSTATUS CMD_DFS CMD_ALTERNATE_DATA_STREAMS
CMD_DISABLE_SMBV1 CMD_ENCRYPT_DATA CMD_REJECT_UNENCRYPTED_ACCESS CMD_DNS_SUFFIX
CMD_DISPLAY_USER_ADDRESS CMD_DOS_FILENAME CMD_MAP_AD_SESSIONS CMD_DISABLE_NTLMSSP
CMD_BLOCK_UNMANAGED_READS CMD_LEASING CMD_ZEROCOPY CMD_CLEAR_CONNECTIONS
CMD_SHARE_VISIBILITY_RIGHTS CMD_DIRECTORY_LEASING CMD_USER_QUOTA_VIEW CMD_DUMP_CRYPTO_KEYS
CMD_PREFERRED_CIPHER CMD_COMPRESSION CMD_MULTICHANNEL CMD_MULTICHANNEL_INTERFACE CMD_LARGE_MTU
CMD_USER_CONTEXTS CMD_MFA CMD_DURABLE_HANDLES CMD_DFS_REFERRAL_CACHE_DURATION
CIFS_ACT_MAPPED_SHARES CIFS_ACT_LIST CIFS_ACT_ADD CIFS_ACT_REMOVE CIFS_ACT_TIMEOUT
CIFS_ACT_CONNECTION CIFS_ACT_CLOSE CIFS_ACT_ENCRYPTION CIFS_ACT_FOLDER_REDIRECTION
CIFS_ACT_ATM_BACKUP CIFS_ACT_MODIFY CIFS_ACT_MFA
CIFS_OPT_LIST_VARIANT_8 CIFS_OPT_LIST_VARIANT_9 CIFS_OPT_NAME CIFS_OPT_NUMBER CIFS_OPT_SERVER
CIFS_OPT_IP_ADDRESS CIFS_OPT_COMMENT CIFS_OPT_DNS_ENTRY CIFS_OPT_CONNECTION_ID CIFS_OPT_PATH
CIFS_OPT_VOLUME CIFS_OPT_SHARE_BY_DEFAULT CIFS_OPT_QUOTA_SYNC_VALUE CIFS_OPT_LIST_MODIFIER
CIFS_OPT_CONN_TYPE CIFS_OPT_IDLE_TIME CIFS_OPT_CONN_COUNT CIFS_OPT_CRYPTO_KEYS_SWITCH
CIFS_OPT_INTERFACE CIFS_OPT_NEW_NAME CIFS_ARG_ENTRIES
CIFS_ELEM_SHARE_RECORD CIFS_ELEM_SHARE_EXTRA CIFS_ELEM_INVALID_USERS CIFS_ELEM_CONNECTION
CIFS_ELEM_SERVER_STATUS
CIFS_ELEM_SMB_SIGNING CIFS_ELEM_LOG_LEVEL CIFS_ELEM_VIRTUAL_SERVER CIFS_ELEM_DUMP_STATISTICS
CIFS_ELEM_AUDITING CIFS_ELEM_DNS_ENTRY CIFS_ELEM_GUEST_LOGIN CIFS_ELEM_LM_COMPATIBILITY
CIFS_ELEM_SUBTREE_SEARCH CIFS_ELEM_SYNC CIFS_ELEM_CACHE CIFS_ELEM_RANGE_LOCK_MASK
CIFS_ELEM_OFFLINE_FILES CIFS_ELEM_READ_PROXY CIFS_ELEM_INVALID_USER_TIMEOUT CIFS_ELEM_PASSTHRU
CIFS_ELEM_SERVER_NAME CIFS_ELEM_DIALECT CIFS_ELEM_CHANGE_NOTIFY
CIFS_ELEM_USER_QUOTA_SYNC CIFS_ELEM_ENUM_SHARES_NULL_SESSION CIFS_ELEM_OPLOCK_BREAK_ACK_TIMEOUT
CIFS_ELEM_NEGOTIATE_NTSTATUS CIFS_ELEM_DFS CIFS_ELEM_ALTERNATE_DATA_STREAMS
CIFS_ELEM_DISABLE_SMBV1 CIFS_ELEM_ENCRYPT_DATA CIFS_ELEM_REJECT_UNENCRYPTED_ACCESS
CIFS_ELEM_DNS_SUFFIX CIFS_ELEM_DISPLAY_USER_ADDRESS CIFS_ELEM_DOS_FILENAME
CIFS_ELEM_MAP_AD_SESSIONS CIFS_ELEM_DISABLE_NTLMSSP CIFS_ELEM_BLOCK_UNMANAGED_READS
CIFS_ELEM_LEASING CIFS_ELEM_ZEROCOPY CIFS_ELEM_SHARE_VISIBILITY_RIGHTS
CIFS_ELEM_DIRECTORY_LEASING CIFS_ELEM_USER_QUOTA_VIEW CIFS_ELEM_CRYPTO_KEYS
CIFS_ELEM_PREFERRED_CIPHER CIFS_ELEM_COMPRESSION CIFS_ELEM_MULTICHANNEL CIFS_ELEM_INTERFACE
CIFS_ELEM_LARGE_MTU CIFS_ELEM_MFA CIFS_ELEM_DURABLE_HANDLES CIFS_ELEM_DFS_REFERRAL_CACHE
CIFS_RESP_HEADER_SIZE CIFS_ELEMENT_HEADER_SIZE CIFS_FN_MON_LIST_VOLUMES CIFS_FN_MON_VOLUME_FILES
SHARE_NAME_SLOT_SIZE SHARE_INFO_FIXED_SIZE SHARE_INFO_NO_COMMENT SHARE_TYPE_VOLUME
SHARE_TYPE_ADMIN SHARE_TYPE_DIRECTORY STYPE_GDFS SHARE_MODIFY_NEW_NAME SHARE_MODIFY_PATH
SHARE_MODIFY_COMMENT SHARE_MODIFY_ENCRYPT_DATA SHARE_MODIFY_FOLDER_REDIRECTION
SHARE_MODIFY_ATM_BACKUP OPEN_FILES_REQUEST_FIXED_SIZE OPEN_FILE_INFO_FIXED_SIZE
OPEN_FILES_BY_CONNECTION CIFS_CONNECTION_RECORD_SIZE INVALID_USER_REQUEST_FIXED_SIZE
""".split()

CDEF = """
typedef struct { uint8_t *buffer; uint32_t capacity; ...; } RespPkt;
typedef struct { uint32_t count; ...; } ShareNameList;
typedef struct {
    uint16_t volumeType; uint32_t modifyMask; uint32_t shareValue; uint8_t encryptData;
    uint8_t folderRedirection; uint8_t atmBackup; uint32_t nameOffset; uint32_t volumeOffset;
    uint32_t commentOffset; uint32_t pathOffset; uint32_t auxTextOffset; uint32_t newNameOffset;
    uint32_t mappedValue; uint32_t stringBytes; ...;
} ShareInfo;
typedef struct { uint32_t count; ...; } ShareInfoList;
typedef struct { uint32_t connectionId; uint32_t nameOffset; uint32_t stringBytes; ...; }
    OpenFilesRequest;
typedef struct { uint32_t pathOffset; ...; } OpenFileInfo;
typedef struct { uint32_t contextWord; uint32_t dataLength; ...; } UserContextHeader;
typedef struct {
    uint16_t connectionId; uint8_t reserved2[2]; uint32_t openFileCount; uint8_t reserved8[4];
    uint64_t value12; char text20[16]; char text36[256]; char text292[20];
    uint8_t reserved312[14]; uint32_t value326; uint64_t value330; uint64_t value338;
    uint32_t secEquivCount; uint32_t secEquivLength; char text354[32]; char text386[32]; ...;
} ConnectionRecord;
typedef struct { int32_t count; void *records; } ConnectionList;
typedef struct { int32_t dataLength; ...; } InvalidUserListRequest;
typedef struct {
    int32_t volumeType; uint32_t serverValue; uint32_t modifyMask; char volumeName[65];
    char shareName[81];
    char newShareName[81]; char comment[48]; char sharePath[512]; char auxText[4150];
    int32_t folderRedirection; int32_t encryptData; uint8_t atmBackup; uint8_t mfaShareLevel;
    ...;
} ShareParams;
typedef struct { int32_t cacheValue; int32_t cacheKind; ...; } CacheParams;
typedef struct { char serverName[256]; uint8_t ipAddress[4]; ...; } VirtualServerParams;
typedef struct { char netbiosName[16]; uint8_t ipAddress[4]; ...; } DnsEntryParams;
typedef struct { char serverName[256]; int32_t shareByDefault; ...; } ShareVolumesParams;
typedef struct { char quotaTarget[65]; int32_t quotaSyncValue; ...; } QuotaSyncParams;
typedef struct { int32_t durationMinutes; char junctionPath[1025]; ...; } DfsReferralCacheParams;

typedef struct ConnListNode {
    uint16_t connectionId; char text20[16]; char text36[256]; char text292[20];
    uint32_t value326; uint64_t value330; uint64_t value338; uint64_t value12;
    struct ConnListNode *next; ...;
} ConnListNode;
typedef struct {
    uint16_t connectionId; char text20[16]; char text386[32]; char text354[32];
    char text36[256]; char text292[20]; uint32_t secEquivCount; uint16_t openFileCount;
    uint64_t value12; char **openFileNames; char **secEquivDns; ...;
} UserDetailsNode;
typedef struct VolFileListNode {
    uint16_t connectionId; uint16_t openFileCount; char text36[256]; char **fileNames;
    struct VolFileListNode *next; ...;
} VolFileListNode;
typedef struct VolsDetailsNode { char name[256]; struct VolsDetailsNode *next; ...; }
    VolsDetailsNode;

/* Server formats (the stand-in server's records, declared in the source below). */
typedef struct {
    uint32_t connectionId; uint32_t first; uint32_t maxEntries; uint32_t flags;
    uint32_t nameOffset; uint32_t stringBytes; ...;
} SaOpenFilesQuery;
typedef struct {
    uint32_t version; uint32_t totalMatches; uint32_t entryCount; uint32_t totalBytes; ...;
} SaOpenFilesHead;
typedef struct {
    uint32_t entryBytes; uint16_t connectionId; uint32_t fileId; uint32_t accessMode;
    uint32_t userOffset; uint32_t addressOffset; uint32_t pathOffset; uint32_t volumeOffset;
    uint64_t openedAt; ...;
} SaOpenFileEntry;
typedef struct {
    uint32_t flags; uint32_t first; uint32_t maxEntries; int32_t dataLength; ...;
} SaInvalidUserQuery;
typedef struct {
    uint32_t version; uint32_t totalMatches; uint32_t entryCount; uint32_t timeoutMinutes; ...;
} SaInvalidUserHead;
typedef struct {
    char name[257]; uint8_t permanent; uint32_t failedLogons; uint64_t addedAt;
    uint64_t expiresAt; ...;
} SaInvalidUserEntry;

void free(void *);
size_t malloc_usable_size(void *);
extern uint32_t gCIFSLogLevel;

int CIFSLIB_GetShareNames(ShareNameList **sharesList);
int CIFSLIB_ListAllShares(ShareInfoList **sharesList);
int CIFSLIB_CreateShare(ShareInfo *shareInfo);
int CIFSLIB_ChangeShareConfiguration(ShareInfo *shareInfo);
int CIFSLIB_ChangeShareFeatureConfiguration(ShareInfo *shareInfo);
int CIFSLIB_RemoveShare(ShareInfo *shareInfo);
int CIFSLIB_ListOpenFiles(OpenFilesRequest *request, void **reply);
int CIFSLIB_CloseOpenFile(OpenFileInfo *openFileInfo);
int CIFSLIB_CloseAllOpenFiles(ShareInfo *shareInfo);
int CIFSLIB_ListUserContexts(UserContextHeader **header, void **data);
int CIFSLIB_AddUserContext(const char *context);
int CIFSLIB_RemoveUserContext(const char *context);
int CIFSLIB_GetConnectionsCount(int32_t *count);
int CIFSLIB_GetConnectionsList(ConnectionList **list);
int CIFSLIB_GetConnectionDetails(const char *connectionNumber, void *record, void **sevBlock);
int CIFSLIB_GetConnectionMappedShares(const char *connectionNumber, ShareInfoList **sharesList);
int CIFSLIB_ListInvalidUsers(void *request, void **list);
int CIFSLIB_AddPermanentInvalidUser(const char *userName);
int CIFSLIB_RemoveInvalidUser(const char *userName);
int CIFSLIB_MakePermanentInvalidUser(const char *userName);

int Ext_ListConnDetails(int32_t *count, ConnListNode **listOut);
int Ext_GetConnInfo(int32_t connectionNumber, UserDetailsNode **detailsOut);
int Ext_ListVolumeDetails(int32_t *count, VolsDetailsNode **listOut);
int Ext_ListVolFileDetails(const char *volume, VolFileListNode **listOut, int32_t *count);
int Ext_CloseFileByFileName(const char *path);
int Ext_CloseFileByVolume(const char *volume);
int Ext_CloseFileByID(int32_t connectionNumber);
void FreeConnListNodes(ConnListNode **headRef);
void FreeUserDetailsNode(UserDetailsNode **nodeRef);
void FreeVolFileListNodes(VolFileListNode **headRef);
void FreeVolsDetailsNode(VolsDetailsNode **headRef);

void *RespPktGetFirstData(RespPkt *pkt, uint32_t *len, uint8_t *type);
void *RespPktGetNextData(RespPkt *pkt, uint32_t *len, uint8_t *type);

/* Helpers of the binding (source below). */
void sa_capture_begin(void);
size_t sa_capture_end(char **text);
int sa_run_command(const int32_t *ids, char *const *values, int count, RespPkt **responseOut);
int sa_validate_share_command(const int32_t *ids, char *const *values, int count);
int sa_monitor_exchange(uint8_t function, const char *text, RespPkt **responseOut);
int32_t sa_response_status(const RespPkt *response);
void sa_release_response(RespPkt *response);
ShareInfo *sa_share_entry(const ShareInfoList *list, uint32_t index);
char *sa_share_name(ShareNameList *list, uint32_t index);
void sa_release_share_list(ShareInfoList *list);
int32_t sa_flatten_connections(const ConnListNode *head, ConnListNode *out, int32_t capacity);
"""

SOURCE = r"""
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* fopencookie */
#endif
#include <errno.h>
#include <malloc.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <shareadmin.h>
#include <sharemonitor.h>

/* ---- The stand-in server's own records (doc/internals.md, "Server formats"); not public headers ---- */
#pragma pack(push, 1)
typedef struct {
    uint32_t connectionId, first, maxEntries, flags, nameOffset, reserved, stringBytes;
} SaOpenFilesQuery;
typedef struct { uint32_t version, totalMatches, entryCount, totalBytes; } SaOpenFilesHead;
typedef struct {
    uint32_t entryBytes; uint16_t connectionId; uint16_t reserved; uint32_t fileId;
    uint32_t accessMode; uint32_t userOffset; uint32_t addressOffset; uint32_t pathOffset;
    uint32_t volumeOffset; uint64_t openedAt;
} SaOpenFileEntry;
typedef struct {
    uint32_t flags, first, maxEntries, reserved; int32_t dataLength;
} SaInvalidUserQuery;
typedef struct { uint32_t version, totalMatches, entryCount, timeoutMinutes; } SaInvalidUserHead;
typedef struct {
    char name[257]; uint8_t permanent; uint8_t reserved[2]; uint32_t failedLogons;
    uint64_t addedAt; uint64_t expiresAt;
} SaInvalidUserEntry;
#pragma pack(pop)
/* Where they overlap the public records they must agree with them. */
SHARE_STATIC_ASSERT(sizeof(SaOpenFilesQuery) == OPEN_FILES_REQUEST_FIXED_SIZE, sa_query_size);
SHARE_STATIC_ASSERT(offsetof(SaOpenFilesQuery, nameOffset) ==
                    offsetof(OpenFilesRequest, nameOffset), sa_query_name);
SHARE_STATIC_ASSERT(sizeof(SaOpenFileEntry) == OPEN_FILE_INFO_FIXED_SIZE, sa_entry_size);
SHARE_STATIC_ASSERT(offsetof(SaOpenFileEntry, pathOffset) == offsetof(OpenFileInfo, pathOffset),
                    sa_entry_path);
SHARE_STATIC_ASSERT(sizeof(SaInvalidUserQuery) == INVALID_USER_REQUEST_FIXED_SIZE, sa_iu_size);
SHARE_STATIC_ASSERT(offsetof(SaInvalidUserQuery, dataLength) ==
                    offsetof(InvalidUserListRequest, dataLength), sa_iu_length);
SHARE_STATIC_ASSERT(sizeof(SaInvalidUserEntry) == 280, sa_iu_entry);

/* ---- Standard output of the library calls ----
 * The command pipeline reports rejections with printf on the process's stdout. While any call
 * of the binding is running, C's stdout is an unbuffered stream whose writes go to a buffer of
 * the writing thread when that thread is inside a call, and straight to descriptor 1 otherwise.
 * Python's own sys.stdout does not go through C's stdout, so it is never touched. */
#define SA_CAPTURE_SIZE 4096
static __thread char sa_text[SA_CAPTURE_SIZE];
static __thread size_t sa_length;
static __thread int sa_inside;
static __thread int sa_counted;
static pthread_mutex_t sa_lock = PTHREAD_MUTEX_INITIALIZER;
static unsigned sa_users;
static FILE *sa_saved;
static FILE *sa_router; /* made once and never closed: a late writer may still hold it */

static ssize_t sa_route(void *cookie, const char *data, size_t size) {
    (void)cookie;
    if (sa_inside) {
        size_t room = SA_CAPTURE_SIZE - 1 - sa_length;
        size_t n = size < room ? size : room;
        memcpy(sa_text + sa_length, data, n);
        sa_length += n;
        return (ssize_t)size;
    }
    size_t done = 0;
    while (done < size) {
        ssize_t w = write(STDOUT_FILENO, data + done, size - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? (ssize_t)done : -1;
        }
        done += (size_t)w;
    }
    return (ssize_t)size;
}

void sa_capture_begin(void) {
    sa_length = 0;
    sa_inside = 1;
    pthread_mutex_lock(&sa_lock);
    if (sa_router == NULL) {
        cookie_io_functions_t io = {NULL, sa_route, NULL, NULL};
        sa_router = fopencookie(NULL, "w", io);
        if (sa_router != NULL) setvbuf(sa_router, NULL, _IONBF, 0);
    }
    if (sa_router != NULL) {
        if (sa_users++ == 0) {
            fflush(stdout);
            sa_saved = stdout;
            stdout = sa_router;
        }
        sa_counted = 1;
    }
    pthread_mutex_unlock(&sa_lock);
}

size_t sa_capture_end(char **text) {
    pthread_mutex_lock(&sa_lock);
    if (sa_counted && --sa_users == 0) stdout = sa_saved;
    sa_counted = 0;
    pthread_mutex_unlock(&sa_lock);
    sa_inside = 0;
    sa_text[sa_length] = '\0';
    *text = sa_text;
    return sa_length;
}

/* ---- Commands of the argument block, as a command-line tool runs them ---- */
static int sa_fill_args(const int32_t *ids, char *const *values, int count) {
    int i;
    for (i = 0; i <= count; ++i) {
        gbCifsArg[i].id = i < count ? ids[i] : CIFS_ARG_END;
        gbCifsArg[i].value = NULL;
    }
    for (i = 0; i < count; ++i)
        if (values[i] != NULL && (gbCifsArg[i].value = strdup(values[i])) == NULL) return -1;
    return 0;
}

/* The command frees what it reads; anything else is still ours. */
static void sa_clear_args(int count) {
    int i;
    for (i = 0; i <= count; ++i) {
        free(gbCifsArg[i].value);
        gbCifsArg[i].value = NULL;
        gbCifsArg[i].id = 0;
    }
}

int sa_run_command(const int32_t *ids, char *const *values, int count, RespPkt **responseOut) {
    int rc = -1;
    if (count < 1 || count >= CIFS_ARG_ENTRIES) return -1;
    if (sa_fill_args(ids, values, count) == 0) rc = ValidateAndProcessCmd(responseOut);
    sa_clear_args(count);
    return rc;
}

/* The library's own validation of a share command, nothing sent: the share management
 * functions log their reasons to syslog only, the command's validation prints them. Share
 * commands keep no heap copy in the context. */
int sa_validate_share_command(const int32_t *ids, char *const *values, int count) {
    CmdContext ctx;
    int rc = -1;
    if (count < 1 || count >= CIFS_ARG_ENTRIES || ids[0] != CMD_SHARE) return -1;
    memset(&ctx, 0, sizeof ctx);
    if (sa_fill_args(ids, values, count) == 0) rc = ProcessCommandLineData(&ctx);
    sa_clear_args(count);
    return rc;
}

/* The request a monitoring call sends, with the whole response handed back: the calls answer -1
 * both for an answer without elements and for a failure, and only the answer tells which. */
int sa_monitor_exchange(uint8_t function, const char *text, RespPkt **responseOut) {
    CmdContext record;
    memset(&record, 0, sizeof record);
    record.functionId = function;
    record.params.pathRef = (char *)text; /* read only, during the call */
    return BuildAndReceiveReply(&record, responseOut);
}

int32_t sa_response_status(const RespPkt *response) {
    int32_t status = 0;
    if (response != NULL && response->buffer != NULL) memcpy(&status, response->buffer, 4);
    return status;
}

void sa_release_response(RespPkt *response) {
    if (response == NULL) return;
    free(response->buffer);
    free(response);
}

/* ---- Records whose fields the language cannot address directly ---- */
ShareInfo *sa_share_entry(const ShareInfoList *list, uint32_t index) {
    ShareInfo *entry; /* the list's pointers are unaligned */
    memcpy(&entry, (const char *)list + offsetof(ShareInfoList, entries) + index * sizeof entry,
           sizeof entry);
    return entry;
}

char *sa_share_name(ShareNameList *list, uint32_t index) { return list->names[index]; }

void sa_release_share_list(ShareInfoList *list) {
    uint32_t i;
    if (list == NULL) return;
    for (i = 0; i < list->count; ++i) free(sa_share_entry(list, i));
    free(list);
}

/* Copies the nodes into one array, so that the language reads them in one pass. */
int32_t sa_flatten_connections(const ConnListNode *head, ConnListNode *out, int32_t capacity) {
    int32_t n = 0;
    for (; head != NULL && n < capacity; head = head->next) memcpy(&out[n++], head, sizeof *head);
    return n;
}
"""


def make_ffi(include_dirs: list[str], library_dirs: list[str],
             extra: dict | None = None) -> cffi.FFI:
    """The FFI builder of the extension for the given header and library directories."""
    ffi = cffi.FFI()
    ffi.cdef("".join(f"#define {name} ...\n" for name in CONSTANTS) + CDEF)
    ffi.set_source(MODULE, SOURCE, include_dirs=include_dirs, library_dirs=library_dirs,
                   libraries=["shareadmin", "sharemonitor"], **(extra or {}))
    return ffi


def _pkg_config(*args: str) -> list[str]:
    out = subprocess.run(["pkg-config", *args, "shareadmin", "sharemonitor"], check=True,
                         capture_output=True, text=True).stdout
    return shlex.split(out)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--emit", metavar="FILE.c", help="write the extension's C source")
    group.add_argument("--compile", metavar="DIR",
                       help="compile against the installed tree (pkg-config) into DIR")
    args = parser.parse_args()
    if args.emit:
        ffi = make_ffi([], [])
        ffi.emit_c_code(args.emit)
        return 0
    includes = [f[2:] for f in _pkg_config("--cflags-only-I")]
    libdirs = [f[2:] for f in _pkg_config("--libs-only-L")]
    ffi = make_ffi(includes, libdirs, {"runtime_library_dirs": libdirs})
    os.makedirs(args.compile, exist_ok=True)
    ffi.compile(tmpdir=args.compile)
    return 0


if __name__ == "__main__":
    sys.exit(main())
