// SPDX-License-Identifier: Apache-2.0
// The stand-in server's own formats: its status codes, the layouts of the replies whose format
// belongs to the server (open files, invalid users, user contexts, the configuration dump), the
// meaning it gives to the connection record's fields, and the table of stored server options.
// sharesim produces these formats; shareadm and sharemon decode them. They are stable: change
// them only together with the "Server formats" section of doc/internals.md.
//
// All integers are little-endian (host order on x86-64), all records byte-packed.
//
//   open-files request, CIFS_ELEM_OPEN_FILES:
//       OpenFilesQuery(28) | strings
//   open-files reply, CIFS_ELEM_OPEN_FILES:
//       OpenFilesReplyHead(16) | entryCount x (OpenFileEntryHead(40) | strings | pad to 8)
//   invalid-user request, CIFS_ELEM_INVALID_USERS:
//       InvalidUserQuery(20) | dataLength bytes (name filter)
//   invalid-user list, CIFS_ELEM_INVALID_USERS:
//       InvalidUserListHead(16) | entryCount x InvalidUserEntry(280)
//   user contexts, CIFS_ELEM_USER_CONTEXTS:
//       u32 count | u32 dataLength | count NUL-terminated texts
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "shareadmin/api.h"
#include "shareadmin/codes.h"
#include "shareadmin/context.h"

namespace share::tools {

// ---- The endpoint ----

// The server's abstract socket name (behind a leading zero byte, no terminator) and the address
// length that goes with it.
inline constexpr char kEndpointName[] = "/tmp/cifs.str";
inline constexpr socklen_t kEndpointAddressLength =
    sizeof(sa_family_t) + 1 + sizeof kEndpointName - 1;
sockaddr_un EndpointAddress();

// ---- Addresses in records ----

// An IPv4 address field of a record (4 bytes, network order) as dotted text; all zero, the
// field's "none", as "".
std::string Ipv4Text(const uint8_t ip[4]);

// ---- Status codes of the server ----

enum Status : int32_t {
    kOk = 0,
    kMalformedRequest = 1,  // an element is missing, of the wrong type or length, or unterminated
    kUnknownFunction = 2,   // component ID other than 0, or function ID above CIFS_FN_LAST
    kNoSuchVolume = 3,      // the named volume does not exist
    kNoSuchShare = 4,       // the named share does not exist
    kNameTaken = 5,         // a share, volume, user, context or entry of that name exists
    kInvalidValue = 6,      // a value outside what the setting accepts (name, path, number)
    kNoSuchConnection = 7,  // no client connection has that ID
    kNoSuchFile = 8,        // no open file has that path
    kNoSuchUser = 9,        // the user is not in the invalid-user cache
    kNoSuchEntry = 10,      // no such virtual server name, DNS entry, interface or user context
    kNotPermitted = 11,     // the object may not be changed (a volume, the administrative volume)
    kLimitReached = 12,     // the server holds as many objects of the kind as it accepts
    kStateNotSaved = 13,    // the change could not be written to the state file; nothing changed
    kAccessDenied = 14,  // the server does not serve this caller (sharesim --allow-uid/--allow-gid)
};

struct StatusInfo {
    int32_t code;
    const char *name;  // stable identifier, used in JSON output
    const char *text;  // one-line explanation
};

// Every status with its name and explanation, in code order.
std::span<const StatusInfo> StatusTable();
// Name and text of a status; "unknown-status" for a code not in the table.
const StatusInfo &DescribeStatus(int32_t code);

// ---- Connection record: the server's meaning of its fields ----
//
//   0   u16  connection ID
//   2   u16  flags (kConnFlag*)
//   4   u32  open-file entries in the variable part (0 in plain list records)
//   8   u32  files the connection holds open (in every record)
//   12  u64  login time, seconds since the epoch
//   20  text workstation (NetBIOS) name
//   36  text user (distinguished name; empty for a null session)
//   292 text client address
//   312 u32  number of mapped shares
//   326 u32  idle time in seconds
//   330 u64  bytes read by the client
//   338 u64  bytes written by the client
//   346 u32  security-equivalence DNs in the variable part (0 in list and file records)
//   350 u32  bytes of the security-equivalence block
//   354 text SMB dialect
//   386 text authentication method
// Each open-file entry of the variable part: u32 file ID, u32 access mode (kAccess*), name.

inline constexpr size_t kConnTotalFilesOffset = 8;
inline constexpr size_t kConnMappedSharesOffset = 312;
enum ConnFlag : uint16_t {
    kConnFlagNullSession = 0x1,
    kConnFlagSigned = 0x2,
    kConnFlagEncrypted = 0x4
};
enum AccessMode : uint32_t { kAccessRead = 0x1, kAccessWrite = 0x2 };

// Reads the two server-defined fields that the public record leaves uninterpreted.
uint16_t ConnFlags(const ConnectionRecord &record);
uint32_t ConnTotalFiles(const ConnectionRecord &record);
uint32_t ConnMappedShares(const ConnectionRecord &record);
void SetConnFlags(ConnectionRecord &record, uint16_t flags);
void SetConnTotalFiles(ConnectionRecord &record, uint32_t files);
void SetConnMappedShares(ConnectionRecord &record, uint32_t shares);

// ---- Share record: the server's meaning of its reply fields ----
//   16   serverValue: the share's user limit (0 = unlimited; set with the numeric option)
//   994  auxText: the full share path, "VOLUME:/path"
//   5160 u32 (mapped-shares replies only): files the connection holds open in the share
inline constexpr size_t kShareMappedFilesOffset = 5160;

#pragma pack(push, 1)

// ---- Open files (function 79) ----

// The 28-byte fixed part of an open-files request, as this server reads it.
struct OpenFilesQuery {
    uint32_t connectionId;  // connection listed when nameOffset is OPEN_FILES_BY_CONNECTION
    uint32_t first;         // index of the first matching entry to return
    uint32_t maxEntries;    // at most this many entries; 0 = all
    uint32_t flags;         // kQueryWriteOnly: only files open for writing
    uint32_t nameOffset;    // a volume name, or a path prefix "VOLUME:/dir", in the strings
    uint32_t reserved;
    uint32_t stringBytes;
};
enum QueryFlag : uint32_t { kQueryWriteOnly = 0x1 };

struct OpenFilesReplyHead {
    uint32_t version;       // 1
    uint32_t totalMatches;  // entries that match, before first/maxEntries
    uint32_t entryCount;    // entries in this reply
    uint32_t totalBytes;    // bytes of the whole reply
};

// One entry; the entry is a complete OpenFileInfo: pathOffset sits at byte 24 and the strings
// start at byte 40, so it can be handed to CIFSLIB_CloseOpenFile as it is.
struct OpenFileEntryHead {
    uint32_t entryBytes;  // bytes of this entry, strings and padding included (multiple of 8)
    uint16_t connectionId;
    uint16_t reserved;
    uint32_t fileId;
    uint32_t accessMode;     // kAccess* bits
    uint32_t userOffset;     // user of the connection
    uint32_t addressOffset;  // client address of the connection
    uint32_t pathOffset;     // full path "VOLUME:/dir/file"
    uint32_t volumeOffset;   // volume name
    uint64_t openedAt;       // seconds since the epoch
};

// ---- Invalid users (functions 24 and 80) ----

struct InvalidUserQuery {
    uint32_t flags;       // kIuPermanentOnly or kIuTemporaryOnly; 0 = both
    uint32_t first;       // index of the first matching entry to return
    uint32_t maxEntries;  // 0 = all
    uint32_t reserved;
    int32_t dataLength;  // bytes of data: an optional NUL-terminated substring filter
};
enum InvalidUserFlag : uint32_t { kIuPermanentOnly = 0x1, kIuTemporaryOnly = 0x2 };

struct InvalidUserListHead {
    uint32_t version;  // 1
    uint32_t totalMatches;
    uint32_t entryCount;
    uint32_t timeoutMinutes;  // the cache's time-out period
};

struct InvalidUserEntry {
    char name[257];
    uint8_t permanent;  // 1 permanent, 0 expires
    uint8_t reserved[2];
    uint32_t failedLogons;
    uint64_t addedAt;    // seconds since the epoch
    uint64_t expiresAt;  // seconds since the epoch; 0 for a permanent entry
};

#pragma pack(pop)

static_assert(sizeof(OpenFilesQuery) == OPEN_FILES_REQUEST_FIXED_SIZE);
static_assert(offsetof(OpenFilesQuery, nameOffset) == offsetof(OpenFilesRequest, nameOffset));
static_assert(offsetof(OpenFilesQuery, stringBytes) == offsetof(OpenFilesRequest, stringBytes));
static_assert(sizeof(OpenFilesReplyHead) == 16);
static_assert(sizeof(OpenFileEntryHead) == OPEN_FILE_INFO_FIXED_SIZE);
static_assert(offsetof(OpenFileEntryHead, pathOffset) == offsetof(OpenFileInfo, pathOffset));
static_assert(sizeof(InvalidUserQuery) == INVALID_USER_REQUEST_FIXED_SIZE);
static_assert(offsetof(InvalidUserQuery, dataLength) ==
              offsetof(InvalidUserListRequest, dataLength));
static_assert(sizeof(InvalidUserListHead) == 16);
static_assert(sizeof(InvalidUserEntry) == 280);

// ---- Stored server options ----
//
// One row per server setting that a single-value command changes. The server stores the value,
// reports it in its configuration dump (function 4: one element per row, of the row's element
// type, holding the value exactly as a set request carries it) and persists it by name.

enum class ValueKind : uint8_t {
    kU8,     // 1 byte
    kI32,    // 4 bytes
    kText,   // NUL-terminated text, at most width bytes with the NUL
    kField,  // fixed-size text field of width bytes
};

struct Keyword {
    const char *word;
    int32_t value;
};

struct StoredOption {
    const char *name;  // readable name: command-line subcommand and state-file key
    int command;       // command code of the argument block
    uint8_t function;  // function ID that sets it
    uint8_t element;   // element type of the set request and the dump
    ValueKind kind;
    uint32_t width;                     // payload bytes (numbers) or maximum bytes (texts)
    std::span<const Keyword> keywords;  // accepted values; empty: the range below
    int32_t min, max;                   // accepted numbers when there are no keywords
    int32_t defaultNumber;
    const char *defaultText;
    const char *help;
};

std::span<const StoredOption> OptionTable();
const StoredOption *FindOptionByFunction(uint8_t function);
const StoredOption *FindOptionByName(std::string_view name);
const StoredOption *FindOptionByElement(uint8_t element);
// The keyword that stands for value (the first in the row's order), or null.
const char *KeywordFor(const StoredOption &optionRow, int32_t value);

// ---- Other elements of the configuration dump (function 4) ----
// Each as an element of the type that sets it:
//   CIFS_ELEM_CACHE: CacheParams (8 bytes), one per cache kind (1 SDIRCACHE, 2 DIRCACHE,
//       3 FILECACHE)
//   CIFS_ELEM_INVALID_USER_TIMEOUT: i32, the invalid-user cache time-out in minutes
//   CIFS_ELEM_VIRTUAL_SERVER: VirtualServerParams (775 bytes), one per virtual server name
//   CIFS_ELEM_DNS_ENTRY: DnsEntryParams (20 bytes), one per DNS entry
//   CIFS_ELEM_SERVER_NAME: ShareVolumesParams (260 bytes), one per server with a
//       share-by-default setting
//   CIFS_ELEM_INTERFACE: 16-byte interface name, one per multichannel interface
//   CIFS_ELEM_DFS_REFERRAL_CACHE: DfsReferralCacheParams (1029 bytes): duration, and the path
//       of the last CLEAR
//   CIFS_ELEM_USER_QUOTA_SYNC: QuotaSyncParams (69 bytes): the last user quota sync request,
//       when there was one
//   CIFS_ELEM_USER_QUOTA_VIEW: 65-byte target: the last user quota view request, when there
//       was one
//   CIFS_ELEM_DUMP_STATISTICS: i32, the last statistics dump requested (0 DC, 1 FP, 2 FH, 3 T),
//       when there was one

}  // namespace share::tools
