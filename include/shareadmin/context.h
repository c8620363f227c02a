// SPDX-License-Identifier: Apache-2.0
/*
 * Command context: a validated command (function ID and one parameter record) ready to be
 * encoded into a request. The parameter records are copied byte for byte into request elements,
 * so their layouts are wire formats. Shared by both libraries.
 */
#ifndef SHARE_CONTEXT_H
#define SHARE_CONTEXT_H

#include <stddef.h>
#include <stdint.h>

#include "shareadmin/export.h"

SHARE_BEGIN_DECLS

#define CIFS_PARAMS_SIZE 5168
#define CIFS_SERVER_DN_SIZE 256

#pragma pack(push, 1)

/* Clear-connections parameters (element type 67, 9 bytes). */
typedef struct ClearConnParams {
    uint8_t connType; /* 0 ALL, 1 NULL */
    int32_t connCount;
    int32_t idleTime;
} ClearConnParams;

/* Virtual server name (element type 11, 775 bytes). */
typedef struct VirtualServerParams {
    char serverName[256];
    uint8_t reserved[515];
    uint8_t ipAddress[4]; /* network byte order, zero when none */
} VirtualServerParams;

/* DNS entry (element type 30, 20 bytes). */
typedef struct DnsEntryParams {
    char netbiosName[16];
    uint8_t ipAddress[4]; /* network byte order, zero when none */
} DnsEntryParams;

/* Cache size (element type 35, 8 bytes). */
typedef struct CacheParams {
    int32_t cacheValue;
    int32_t cacheKind; /* 1 SDIRCACHE, 2 DIRCACHE, 3 FILECACHE */
} CacheParams;

/* Share volumes by default (elements 44: serverName text, 45: shareByDefault). */
typedef struct ShareVolumesParams {
    char serverName[256];
    int32_t shareByDefault;
} ShareVolumesParams;

/* User quota sync (element type 49, 69 bytes). */
typedef struct QuotaSyncParams {
    char quotaTarget[65];
    int32_t quotaSyncValue; /* >= 1, or -1 when none was given */
} QuotaSyncParams;

/* DFS referral cache duration (element type 81, 1029 bytes). */
typedef struct DfsReferralCacheParams {
    int32_t durationMinutes; /* 0..525600, or -1 for CLEAR */
    char junctionPath[1025];
} DfsReferralCacheParams;

/* Share record (element type 6, 5168 bytes); replies to share queries use the same layout. */
typedef struct ShareParams {
    int32_t volumeType; /* request: folder-redirection switch; reply: share type (low 16) */
    uint8_t reserved4[12];
    uint32_t serverValue; /* reply only */
    uint32_t modifyMask;  /* CIFS_MODIFY_* bits, modify only */
    int32_t numericOption;
    uint8_t reserved28[16];
    char volumeName[65]; /* reply only */
    char shareName[81];
    char newShareName[81];
    char comment[48];
    uint8_t reserved319[163];
    char sharePath[512];
    char auxText[4150]; /* reply only */
    int32_t folderRedirection;
    int32_t encryptData;
    uint8_t reserved5152[4];
    uint8_t atmBackup;
    uint8_t reserved5157[7];
    uint8_t mfaShareLevel;
    uint8_t reserved5165[3];
} ShareParams;

/* Parameter area: one record at its start, selected by the function ID; the rest is zero. */
typedef union CmdParams {
    uint8_t raw[CIFS_PARAMS_SIZE];
    uint8_t flagValue;
    int32_t intValue;
    uint16_t connectionId;
    int32_t timeoutMinutes;
    char *pathRef;        /* heap text owned by the context's filler */
    void *listRequestRef; /* caller-built list request record */
    char userName[257];
    char userContextName[512];
    ClearConnParams clearConn;
    VirtualServerParams virtualServer;
    DnsEntryParams dnsEntry;
    CacheParams cache;
    ShareVolumesParams shareVolumes;
    QuotaSyncParams quotaSync;
    char quotaViewTarget[65];
    char smbv1Mode[128];
    char domainNameSuffix[256];
    char dialectName[16];
    char cipherName[16];
    char interfaceName[16];
    DfsReferralCacheParams dfsReferralCache;
    ShareParams share;
} CmdParams;

typedef struct CmdContext {
    uint8_t componentId; /* always 0 */
    uint8_t functionId;
    char serverDn[CIFS_SERVER_DN_SIZE];
    CmdParams params;
} CmdContext;

#pragma pack(pop)

/* modifyMask bits */
enum {
    CIFS_MODIFY_NEW_NAME = 0x01,
    CIFS_MODIFY_PATH = 0x02,
    CIFS_MODIFY_COMMENT = 0x04,
    CIFS_MODIFY_ENCRYPT_DATA = 0x08,
    CIFS_MODIFY_FOLDER_REDIRECTION = 0x10,
    CIFS_MODIFY_ATM_BACKUP = 0x20
};

SHARE_STATIC_ASSERT(sizeof(CmdContext) == 5426, cmdcontext_size);
SHARE_STATIC_ASSERT(offsetof(CmdContext, functionId) == 1, cmdcontext_function);
SHARE_STATIC_ASSERT(offsetof(CmdContext, serverDn) == 2, cmdcontext_dn);
SHARE_STATIC_ASSERT(offsetof(CmdContext, params) == 258, cmdcontext_params);
SHARE_STATIC_ASSERT(sizeof(CmdParams) == 5168, cmdparams_size);
SHARE_STATIC_ASSERT(sizeof(ClearConnParams) == 9, clearconn_size);
SHARE_STATIC_ASSERT(offsetof(ClearConnParams, connCount) == 1, clearconn_count);
SHARE_STATIC_ASSERT(offsetof(ClearConnParams, idleTime) == 5, clearconn_idle);
SHARE_STATIC_ASSERT(sizeof(VirtualServerParams) == 775, vserver_size);
SHARE_STATIC_ASSERT(offsetof(VirtualServerParams, ipAddress) == 771, vserver_ip);
SHARE_STATIC_ASSERT(sizeof(DnsEntryParams) == 20, dns_size);
SHARE_STATIC_ASSERT(offsetof(DnsEntryParams, ipAddress) == 16, dns_ip);
SHARE_STATIC_ASSERT(sizeof(CacheParams) == 8, cache_size);
SHARE_STATIC_ASSERT(sizeof(ShareVolumesParams) == 260, sharevol_size);
SHARE_STATIC_ASSERT(offsetof(ShareVolumesParams, shareByDefault) == 256, sharevol_value);
SHARE_STATIC_ASSERT(sizeof(QuotaSyncParams) == 69, quota_size);
SHARE_STATIC_ASSERT(offsetof(QuotaSyncParams, quotaSyncValue) == 65, quota_value);
SHARE_STATIC_ASSERT(sizeof(DfsReferralCacheParams) == 1029, dfs_size);
SHARE_STATIC_ASSERT(offsetof(DfsReferralCacheParams, junctionPath) == 4, dfs_path);
SHARE_STATIC_ASSERT(sizeof(ShareParams) == 5168, share_size);
SHARE_STATIC_ASSERT(offsetof(ShareParams, serverValue) == 16, share_server_value);
SHARE_STATIC_ASSERT(offsetof(ShareParams, modifyMask) == 20, share_mask);
SHARE_STATIC_ASSERT(offsetof(ShareParams, numericOption) == 24, share_numeric);
SHARE_STATIC_ASSERT(offsetof(ShareParams, volumeName) == 44, share_volume);
SHARE_STATIC_ASSERT(offsetof(ShareParams, shareName) == 109, share_name);
SHARE_STATIC_ASSERT(offsetof(ShareParams, newShareName) == 190, share_new_name);
SHARE_STATIC_ASSERT(offsetof(ShareParams, comment) == 271, share_comment);
SHARE_STATIC_ASSERT(offsetof(ShareParams, sharePath) == 482, share_path);
SHARE_STATIC_ASSERT(offsetof(ShareParams, auxText) == 994, share_aux);
SHARE_STATIC_ASSERT(offsetof(ShareParams, folderRedirection) == 5144, share_folder);
SHARE_STATIC_ASSERT(offsetof(ShareParams, encryptData) == 5148, share_encrypt);
SHARE_STATIC_ASSERT(offsetof(ShareParams, atmBackup) == 5156, share_atm);
SHARE_STATIC_ASSERT(offsetof(ShareParams, mfaShareLevel) == 5164, share_mfa);

SHARE_END_DECLS

#endif
