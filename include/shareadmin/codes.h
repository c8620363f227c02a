// SPDX-License-Identifier: Apache-2.0
/** \file
 * The vocabulary of the administration interface: the codes a caller writes into gbCifsArg,
 * the function IDs of request headers and the element types of request and response bodies.
 * Names only: nothing here is a symbol of either library.
 *
 * Argument codes share one flat space of small integers. Entry 0 of gbCifsArg holds a command
 * code (CMD_*); later entries hold action (CIFS_ACT_*) and option (CIFS_OPT_*) codes. The same
 * number may serve in both roles (10 is the add command and the add action).
 */
#ifndef SHARE_CODES_H
#define SHARE_CODES_H

/** Commands (gbCifsArg entry 0); codes 0..CIFS_CMD_LAST, the others are not commands. */
enum {
    CMD_SHARE = 1,
    CMD_SERVER_REQUEST_4 = 2,
    CMD_DUMP_STATISTICS = 3,
    CMD_SMB_SIGNING = 4,
    CMD_ADD = 10,
    CMD_REMOVE = 11,
    CMD_LOG_LEVEL = 14,
    CMD_AUDITING = 18,
    CMD_GUEST_LOGIN = 20,
    CMD_LM_COMPATIBILITY = 21,
    CMD_SUBTREE_SEARCH = 22,
    CMD_SYNC = 23,
    CMD_CACHE = 24,
    CMD_RANGE_LOCK_MASK = 25,
    CMD_OFFLINE_FILES = 26,
    CMD_READ_PROXY = 27,
    CMD_INVALID_USER_CACHE = 28,
    CMD_CONNECTIONS = 30,
    CMD_FILES = 32,
    CMD_PASSTHRU = 36,
    CMD_SERVER_REQUEST_40 = 37,
    CMD_SHARE_VOLUMES_BY_DEFAULT = 38,
    CMD_DIALECT = 39,
    CMD_CHANGE_NOTIFY = 40,
    CMD_USER_QUOTA_SYNC = 41,
    CMD_ENUM_SHARES_NULL_SESSION = 43,
    CMD_OPLOCK_BREAK_ACK_TIMEOUT = 44,
    CMD_NEGOTIATE_NTSTATUS = 45,
    CMD_DFS = 46,
    CMD_ALTERNATE_DATA_STREAMS = 47,
    CMD_DISABLE_SMBV1 = 48,
    CMD_ENCRYPT_DATA = 50,
    CMD_REJECT_UNENCRYPTED_ACCESS = 51,
    CMD_DNS_SUFFIX = 52,
    CMD_DISPLAY_USER_ADDRESS = 53,
    CMD_DOS_FILENAME = 55,
    CMD_MAP_AD_SESSIONS = 56,
    CMD_DISABLE_NTLMSSP = 57,
    CMD_BLOCK_UNMANAGED_READS = 58,
    CMD_LEASING = 59,
    CMD_ZEROCOPY = 61,
    CMD_CLEAR_CONNECTIONS = 62,
    CMD_SHARE_VISIBILITY_RIGHTS = 66,
    CMD_DIRECTORY_LEASING = 67,
    CMD_USER_QUOTA_VIEW = 69,
    CMD_DUMP_CRYPTO_KEYS = 70,
    CMD_PREFERRED_CIPHER = 72,
    CMD_COMPRESSION = 73,
    CMD_MULTICHANNEL = 74,
    CMD_MULTICHANNEL_INTERFACE = 75,
    CMD_LARGE_MTU = 77,
    CMD_USER_CONTEXTS = 83,
    CMD_MFA = 84,
    CMD_DURABLE_HANDLES = 85,
    CMD_DFS_REFERRAL_CACHE_DURATION = 86,
    CIFS_CMD_LAST = 86
};

/** Actions (entry 1 of the object commands). */
enum {
    CIFS_ARG_END = 0,                 /* ends an argument list */
    CIFS_ACT_MAPPED_SHARES = 1,       /* connections: shares one connection has mapped */
    CIFS_ACT_LIST = 7,                /* also lists multichannel interfaces */
    CIFS_ACT_ADD = 10,                /* also adds a multichannel interface */
    CIFS_ACT_REMOVE = 11,             /* also removes a multichannel interface */
    CIFS_ACT_TIMEOUT = 29,            /* invalid-user cache time-out; minutes in entry 1 */
    CIFS_ACT_CONNECTION = 31,         /* connections: one connection's details */
    CIFS_ACT_CLOSE = 33,              /* open files */
    CIFS_ACT_ENCRYPTION = 49,         /* share switch */
    CIFS_ACT_FOLDER_REDIRECTION = 54, /* share switch */
    CIFS_ACT_ATM_BACKUP = 68,         /* share switch */
    CIFS_ACT_MODIFY = 78,             /* shares */
    CIFS_ACT_LIST_INVALID_USERS = 81, /* invalid-user cache, by request record */
    CIFS_ACT_MAKE_PERMANENT = 82,     /* invalid-user cache */
    CIFS_ACT_MFA = 84                 /* share switch: MFA share level */
};

/** Options (entries 1 or 2 onwards). */
enum {
    CIFS_OPT_LIST_VARIANT_8 = 8, /* connection list variants */
    CIFS_OPT_LIST_VARIANT_9 = 9,
    CIFS_OPT_NAME = 12,   /* share or user name */
    CIFS_OPT_NUMBER = 13, /* share numeric option (user limit) */
    CIFS_OPT_SERVER = 15, /* server DN, or a virtual server name */
    CIFS_OPT_IP_ADDRESS = 16,
    CIFS_OPT_COMMENT = 17,
    CIFS_OPT_DNS_ENTRY = 19,
    CIFS_OPT_CONNECTION_ID = 31,
    CIFS_OPT_PATH = 34, /* share path, file path or DFS junction path */
    CIFS_OPT_VOLUME = 35,
    CIFS_OPT_SHARE_BY_DEFAULT = 38,
    CIFS_OPT_QUOTA_SYNC_VALUE = 42,
    CIFS_OPT_ENCRYPT_DATA = 49,
    CIFS_OPT_FOLDER_REDIRECTION = 54,
    CIFS_OPT_LIST_MODIFIER = 60, /* open-file lists: selector moves to entry 3 */
    CIFS_OPT_CONN_TYPE = 63,     /* clear connections */
    CIFS_OPT_IDLE_TIME = 64,
    CIFS_OPT_CONN_COUNT = 65,
    CIFS_OPT_ATM_BACKUP = 68,
    CIFS_OPT_CRYPTO_KEYS_SWITCH = 71,
    CIFS_OPT_INTERFACE = 76,
    CIFS_OPT_NEW_NAME = 79,
    CIFS_OPT_REQUEST_RECORD = 80 /* the caller's list request record itself */
};

/** Function IDs (request header byte 1), 0..CIFS_FN_LAST. */
enum {
    CIFS_FN_SHARE_NAMES = 0,
    CIFS_FN_SHARE_DETAILS = 1,
    CIFS_FN_SHARE_ADD = 2,
    CIFS_FN_SHARE_REMOVE = 3,
    CIFS_FN_SERVER_REQUEST_4 = 4,
    CIFS_FN_SMB_SIGNING = 5,
    CIFS_FN_LOG_LEVEL = 6,
    CIFS_FN_VIRTUAL_SERVER_ADD = 7,
    CIFS_FN_VIRTUAL_SERVER_REMOVE = 8,
    CIFS_FN_DUMP_STATISTICS = 9,
    CIFS_FN_AUDITING = 10,
    CIFS_FN_DNS_ENTRY_ADD = 11,
    CIFS_FN_DNS_ENTRY_REMOVE = 12,
    CIFS_FN_GUEST_LOGIN = 13,
    CIFS_FN_LM_COMPATIBILITY = 14,
    CIFS_FN_SUBTREE_SEARCH = 15,
    CIFS_FN_SYNC = 16,
    CIFS_FN_CACHE = 17,
    CIFS_FN_RANGE_LOCK_MASK = 18,
    CIFS_FN_OFFLINE_FILES = 19,
    CIFS_FN_READ_PROXY = 20,
    CIFS_FN_INVALID_USER_TIMEOUT = 21,
    CIFS_FN_INVALID_USER_ADD = 22,
    CIFS_FN_INVALID_USER_REMOVE = 23,
    CIFS_FN_INVALID_USER_CACHE = 24,
    CIFS_FN_CONNECTION_COUNT = 25,
    CIFS_FN_CONNECTION_LIST = 26,
    CIFS_FN_CONNECTION_LIST_8 = 27,
    CIFS_FN_CONNECTION_LIST_9 = 28,
    CIFS_FN_CONNECTION_DETAILS = 29,
    CIFS_FN_FILES_BY_PATH = 30,
    CIFS_FN_FILES_BY_CONNECTION = 31,
    CIFS_FN_FILES_BY_VOLUME = 32,
    CIFS_FN_FILES_BY_PATH_MODIFIED = 33,
    CIFS_FN_FILES_BY_CONNECTION_MODIFIED = 34,
    CIFS_FN_FILES_BY_VOLUME_MODIFIED = 35,
    CIFS_FN_CLOSE_BY_PATH = 36,
    CIFS_FN_CLOSE_BY_CONNECTION = 37,
    CIFS_FN_CLOSE_BY_VOLUME = 38,
    CIFS_FN_PASSTHRU = 39,
    CIFS_FN_SERVER_REQUEST_40 = 40,
    CIFS_FN_SHARE_VOLUMES_BY_DEFAULT = 41,
    CIFS_FN_DIALECT = 42,
    CIFS_FN_CHANGE_NOTIFY = 43,
    CIFS_FN_USER_QUOTA_SYNC = 44,
    CIFS_FN_ENUM_SHARES_NULL_SESSION = 45,
    CIFS_FN_OPLOCK_BREAK_ACK_TIMEOUT = 46,
    CIFS_FN_NEGOTIATE_NTSTATUS = 47,
    CIFS_FN_DFS = 48,
    CIFS_FN_ALTERNATE_DATA_STREAMS = 49,
    CIFS_FN_DISABLE_SMBV1 = 50,
    CIFS_FN_SHARE_ENCRYPTION = 51,
    CIFS_FN_ENCRYPT_DATA = 52,
    CIFS_FN_REJECT_UNENCRYPTED_ACCESS = 53,
    CIFS_FN_DNS_SUFFIX = 54,
    CIFS_FN_DISPLAY_USER_ADDRESS = 55,
    CIFS_FN_SHARE_FOLDER_REDIRECTION = 56,
    CIFS_FN_DOS_FILENAME = 57,
    CIFS_FN_MAP_AD_SESSIONS = 58,
    CIFS_FN_DISABLE_NTLMSSP = 59,
    CIFS_FN_BLOCK_UNMANAGED_READS = 60,
    CIFS_FN_LEASING = 61,
    CIFS_FN_ZEROCOPY = 62,
    CIFS_FN_CLEAR_CONNECTIONS = 63,
    CIFS_FN_SHARE_VISIBILITY_RIGHTS = 64,
    CIFS_FN_DIRECTORY_LEASING = 65,
    CIFS_FN_SHARE_ATM_BACKUP = 66,
    CIFS_FN_USER_QUOTA_VIEW = 67,
    CIFS_FN_CRYPTO_KEYS_OF_CONNECTION = 68,
    CIFS_FN_DUMP_CRYPTO_KEYS = 69,
    CIFS_FN_PREFERRED_CIPHER = 70,
    CIFS_FN_COMPRESSION = 71,
    CIFS_FN_MULTICHANNEL = 72,
    CIFS_FN_INTERFACE_ADD = 73,
    CIFS_FN_INTERFACE_REMOVE = 74,
    CIFS_FN_INTERFACE_LIST = 75,
    CIFS_FN_LARGE_MTU = 76,
    CIFS_FN_SHARE_MODIFY = 77,
    CIFS_FN_CONNECTION_MAPPED_SHARES = 78,
    CIFS_FN_OPEN_FILES = 79,
    CIFS_FN_INVALID_USER_LIST = 80,
    CIFS_FN_INVALID_USER_MAKE_PERMANENT = 81,
    CIFS_FN_USER_CONTEXT_LIST = 82,
    CIFS_FN_USER_CONTEXT_ADD = 83,
    CIFS_FN_USER_CONTEXT_REMOVE = 84,
    CIFS_FN_MFA = 85,
    CIFS_FN_SHARE_MFA = 86,
    CIFS_FN_DURABLE_HANDLES = 87,
    CIFS_FN_DFS_REFERRAL_CACHE_DURATION = 88,
    CIFS_FN_LAST = 88
};

/** Monitoring requests reuse management function IDs under their own names. */
enum {
    CIFS_FN_MON_LIST_VOLUMES = CIFS_FN_SHARE_NAMES,
    CIFS_FN_MON_LIST_CONNECTIONS = CIFS_FN_CONNECTION_LIST,
    CIFS_FN_MON_CONNECTION_DETAILS = CIFS_FN_CONNECTION_DETAILS,
    CIFS_FN_MON_VOLUME_FILES = CIFS_FN_FILES_BY_VOLUME,
    CIFS_FN_MON_CLOSE_BY_PATH = CIFS_FN_CLOSE_BY_PATH,
    CIFS_FN_MON_CLOSE_BY_CONNECTION = CIFS_FN_CLOSE_BY_CONNECTION,
    CIFS_FN_MON_CLOSE_BY_VOLUME = CIFS_FN_CLOSE_BY_VOLUME
};

/** Element types (byte 0 of an element header). */
enum {
    /* Responses. */
    CIFS_ELEM_NAME = 1,           /* a share or volume name */
    CIFS_ELEM_SHARE_RECORD = 6,   /* ShareParams, in requests too */
    CIFS_ELEM_SHARE_EXTRA = 9,    /* text accompanying a share record */
    CIFS_ELEM_USER_CONTEXTS = 28, /* user-context list; one context in requests */
    CIFS_ELEM_CONNECTION = 41,    /* connection record or count; a connection ID in requests */
    CIFS_ELEM_TEXT = 42,          /* text; a path or volume name in requests */
    CIFS_ELEM_OPEN_FILES = 77,    /* open-files reply; the request record in requests */
    CIFS_ELEM_INVALID_USERS = 78, /* invalid-user list; the request record in requests */
    CIFS_ELEM_SERVER_STATUS = 90, /* the server status text of function 40 */

    /* Requests only. */
    CIFS_ELEM_SHARE_PATH = 2,
    CIFS_ELEM_SMB_SIGNING = 5,
    CIFS_ELEM_LOG_LEVEL = 10,
    CIFS_ELEM_VIRTUAL_SERVER = 11,
    CIFS_ELEM_DUMP_STATISTICS = 12,
    CIFS_ELEM_SERVER_DN = 20,
    CIFS_ELEM_AUDITING = 29,
    CIFS_ELEM_DNS_ENTRY = 30,
    CIFS_ELEM_GUEST_LOGIN = 31,
    CIFS_ELEM_LM_COMPATIBILITY = 32,
    CIFS_ELEM_SUBTREE_SEARCH = 33,
    CIFS_ELEM_SYNC = 34,
    CIFS_ELEM_CACHE = 35,
    CIFS_ELEM_RANGE_LOCK_MASK = 36,
    CIFS_ELEM_OFFLINE_FILES = 37,
    CIFS_ELEM_READ_PROXY = 38,
    CIFS_ELEM_INVALID_USER_TIMEOUT = 39,
    CIFS_ELEM_INVALID_USER_NAME = 40,
    CIFS_ELEM_PASSTHRU = 43,
    CIFS_ELEM_SERVER_NAME = 44,
    CIFS_ELEM_SHARE_BY_DEFAULT = 45,
    CIFS_ELEM_DIALECT = 47,
    CIFS_ELEM_CHANGE_NOTIFY = 48,
    CIFS_ELEM_USER_QUOTA_SYNC = 49,
    CIFS_ELEM_ENUM_SHARES_NULL_SESSION = 50,
    CIFS_ELEM_OPLOCK_BREAK_ACK_TIMEOUT = 51,
    CIFS_ELEM_NEGOTIATE_NTSTATUS = 52,
    CIFS_ELEM_DFS = 53,
    CIFS_ELEM_ALTERNATE_DATA_STREAMS = 54,
    CIFS_ELEM_DISABLE_SMBV1 = 55,
    CIFS_ELEM_ENCRYPT_DATA = 56,
    CIFS_ELEM_REJECT_UNENCRYPTED_ACCESS = 57,
    CIFS_ELEM_DNS_SUFFIX = 58,
    CIFS_ELEM_DISPLAY_USER_ADDRESS = 59,
    CIFS_ELEM_DOS_FILENAME = 61,
    CIFS_ELEM_MAP_AD_SESSIONS = 62,
    CIFS_ELEM_DISABLE_NTLMSSP = 63,
    CIFS_ELEM_BLOCK_UNMANAGED_READS = 64,
    CIFS_ELEM_LEASING = 65,
    CIFS_ELEM_ZEROCOPY = 66,
    CIFS_ELEM_CLEAR_CONNECTIONS = 67,
    CIFS_ELEM_SHARE_VISIBILITY_RIGHTS = 68,
    CIFS_ELEM_DIRECTORY_LEASING = 69,
    CIFS_ELEM_USER_QUOTA_VIEW = 70,
    CIFS_ELEM_CRYPTO_KEYS = 71,
    CIFS_ELEM_PREFERRED_CIPHER = 72,
    CIFS_ELEM_COMPRESSION = 73,
    CIFS_ELEM_MULTICHANNEL = 74,
    CIFS_ELEM_INTERFACE = 75,
    CIFS_ELEM_LARGE_MTU = 76,
    CIFS_ELEM_MFA = 79,
    CIFS_ELEM_DURABLE_HANDLES = 80,
    CIFS_ELEM_DFS_REFERRAL_CACHE = 81
};

#endif
