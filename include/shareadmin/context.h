// SPDX-License-Identifier: Apache-2.0
/** \file
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

/** Bytes of the parameter area (CmdParams). */
#define CIFS_PARAMS_SIZE 5168
/** Bytes of CmdContext::serverDn. */
#define CIFS_SERVER_DN_SIZE 256

#pragma pack(push, 1)

/** Clear-connections parameters (element type 67, 9 bytes). */
typedef struct ClearConnParams {
    uint8_t connType;  /**< 0 ALL, 1 NULL */
    int32_t connCount; /**< CIFS_OPT_CONN_COUNT value */
    int32_t idleTime;  /**< CIFS_OPT_IDLE_TIME value */
} ClearConnParams;

/** Virtual server name (element type 11, 775 bytes). */
typedef struct VirtualServerParams {
    char serverName[256];  /**< NUL-terminated virtual server name */
    uint8_t reserved[515]; /**< zero */
    uint8_t ipAddress[4];  /**< network byte order, zero when none */
} VirtualServerParams;

/** DNS entry (element type 30, 20 bytes). */
typedef struct DnsEntryParams {
    char netbiosName[16]; /**< NUL-terminated NetBIOS name */
    uint8_t ipAddress[4]; /**< network byte order, zero when none */
} DnsEntryParams;

/** Cache size (element type 35, 8 bytes). */
typedef struct CacheParams {
    int32_t cacheValue; /**< size of the cache that cacheKind names */
    int32_t cacheKind;  /**< 1 SDIRCACHE, 2 DIRCACHE, 3 FILECACHE */
} CacheParams;

/** Share volumes by default (elements 44: serverName text, 45: shareByDefault). */
typedef struct ShareVolumesParams {
    char serverName[256];   /**< NUL-terminated server name (element 44) */
    int32_t shareByDefault; /**< the switch (element 45) */
} ShareVolumesParams;

/** User quota sync (element type 49, 69 bytes). */
typedef struct QuotaSyncParams {
    char quotaTarget[65];   /**< NUL-terminated target of the sync */
    int32_t quotaSyncValue; /**< >= 1, or -1 when none was given */
} QuotaSyncParams;

/** DFS referral cache duration (element type 81, 1029 bytes). */
typedef struct DfsReferralCacheParams {
    int32_t durationMinutes; /**< 0..525600, or -1 for CLEAR */
    char junctionPath[1025]; /**< NUL-terminated DFS junction path */
} DfsReferralCacheParams;

/** Share record (element type 6, 5168 bytes); replies to share queries use the same layout. */
typedef struct ShareParams {
    int32_t volumeType;       /**< request: folder-redirection switch; reply: share type (low 16) */
    uint8_t reserved4[12];    /**< zero */
    uint32_t serverValue;     /**< reply only */
    uint32_t modifyMask;      /**< CIFS_MODIFY_* bits, modify only */
    int32_t numericOption;    /**< the share's numeric option (user limit) */
    uint8_t reserved28[16];   /**< zero */
    char volumeName[65];      /**< reply only */
    char shareName[81];       /**< NUL-terminated share name */
    char newShareName[81];    /**< new name of a rename (CIFS_MODIFY_NEW_NAME) */
    char comment[48];         /**< NUL-terminated comment */
    uint8_t reserved319[163]; /**< zero */
    char sharePath[512];      /**< NUL-terminated path of the share */
    char auxText[4150];       /**< reply only */
    int32_t folderRedirection; /**< folder redirection switch */
    int32_t encryptData;       /**< encryption switch */
    uint8_t reserved5152[4];   /**< zero */
    uint8_t atmBackup;         /**< ATM backup switch */
    uint8_t reserved5157[7];   /**< zero */
    uint8_t mfaShareLevel;     /**< MFA share level */
    uint8_t reserved5165[3];   /**< zero */
} ShareParams;

/** Parameter area: one record at its start, selected by the function ID; the rest is zero. */
typedef union CmdParams {
    uint8_t raw[CIFS_PARAMS_SIZE];           /**< the whole area */
    uint8_t flagValue;                       /**< one-byte switch of a server option */
    int32_t intValue;                        /**< 32-bit value of a server option */
    uint16_t connectionId;                   /**< connection ID */
    int32_t timeoutMinutes;                  /**< invalid-user cache time-out */
    char *pathRef;                           /**< heap text owned by the context's filler */
    void *listRequestRef;                    /**< caller-built list request record */
    char userName[257];                      /**< invalid-user name */
    char userContextName[512];               /**< user context */
    ClearConnParams clearConn;               /**< CIFS_FN_CLEAR_CONNECTIONS */
    VirtualServerParams virtualServer;       /**< virtual server add and remove */
    DnsEntryParams dnsEntry;                 /**< DNS entry add and remove */
    CacheParams cache;                       /**< CIFS_FN_CACHE */
    ShareVolumesParams shareVolumes;         /**< CIFS_FN_SHARE_VOLUMES_BY_DEFAULT */
    QuotaSyncParams quotaSync;               /**< CIFS_FN_USER_QUOTA_SYNC */
    char quotaViewTarget[65];                /**< CIFS_FN_USER_QUOTA_VIEW */
    char smbv1Mode[128];                     /**< CIFS_FN_DISABLE_SMBV1 */
    char domainNameSuffix[256];              /**< CIFS_FN_DNS_SUFFIX */
    char dialectName[16];                    /**< CIFS_FN_DIALECT */
    char cipherName[16];                     /**< CIFS_FN_PREFERRED_CIPHER */
    char interfaceName[16];                  /**< multichannel interface add and remove */
    DfsReferralCacheParams dfsReferralCache; /**< CIFS_FN_DFS_REFERRAL_CACHE_DURATION */
    ShareParams share;                       /**< share functions */
} CmdParams;

/** A validated command: the request header's IDs, the server DN and one parameter record. */
typedef struct CmdContext {
    uint8_t componentId;                /**< always 0 */
    uint8_t functionId;                 /**< CIFS_FN_* of the request */
    char serverDn[CIFS_SERVER_DN_SIZE]; /**< server DN (CIFS_OPT_SERVER), NUL-terminated */
    CmdParams params;                   /**< the record functionId selects */
} CmdContext;

#pragma pack(pop)

/** modifyMask bits */
enum {
    CIFS_MODIFY_NEW_NAME = 0x01,           /**< rename to newShareName */
    CIFS_MODIFY_PATH = 0x02,               /**< change sharePath */
    CIFS_MODIFY_COMMENT = 0x04,            /**< change comment */
    CIFS_MODIFY_ENCRYPT_DATA = 0x08,       /**< change encryptData */
    CIFS_MODIFY_FOLDER_REDIRECTION = 0x10, /**< change folderRedirection */
    CIFS_MODIFY_ATM_BACKUP = 0x20          /**< change atmBackup */
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
