// SPDX-License-Identifier: Apache-2.0
// Encoding of a command context into request data elements, one table row per function ID.
//
//   row      := element{0..3}            (no element: the element count is set to 0)
//   element  := type | length rule | source
//   length   := fixed N | text length + 1 | record head + u32 stored in the record
//   source   := params + offset | serverDn | text at pathRef | record at listRequestRef
#include "admin/command/request_encoding.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "admin/command/command_util.h"
#include "shareadmin/command.h"

namespace share::command {
namespace {

enum class Length : uint8_t { kFixed, kText, kRecord };
enum class Source : uint8_t { kParams, kServerDn, kPathRef, kListRecord };

struct ElementRule {
    uint8_t type = 0;
    Length length = Length::kFixed;
    uint32_t size = 0;        // fixed length, or the record's fixed head
    uint32_t wordOffset = 0;  // record: where it stores the length of its data
    Source source = Source::kParams;
    uint32_t offset = 0;  // params: where the element's bytes start
    const char *message = nullptr;
};

struct EncodingRow {
    bool defined = false;
    uint8_t count = 0;
    ElementRule elements[3] = {};
};

constexpr ElementRule Fixed(uint8_t type, uint32_t size, const char *message, uint32_t offset = 0) {
    return {type, Length::kFixed, size, 0, Source::kParams, offset, message};
}
constexpr ElementRule Text(uint8_t type, const char *message) {
    return {type, Length::kText, 0, 0, Source::kParams, 0, message};
}
constexpr ElementRule ServerDn(const char *message) {
    return {
        CIFS_ELEM_SERVER_DN, Length::kFixed, CIFS_SERVER_DN_SIZE, 0, Source::kServerDn, 0, message};
}
constexpr ElementRule PathText(const char *message) {
    return {CIFS_ELEM_TEXT, Length::kText, 0, 0, Source::kPathRef, 0, message};
}
constexpr ElementRule Record(uint8_t type, uint32_t head, uint32_t wordOffset,
                             const char *message) {
    return {type, Length::kRecord, head, wordOffset, Source::kListRecord, 0, message};
}
constexpr ElementRule ShareRecord(const char *message) {
    return Fixed(CIFS_ELEM_SHARE_RECORD, CIFS_PARAMS_SIZE, message);
}

constexpr const char kFilesMessage[] =
    "Failed to process listing/closing of files. Error while inserting data into request packet "
    "structure";

constexpr auto kEncoding = [] {
    std::array<EncodingRow, CIFS_FN_LAST + 1> t{};
    auto set = [&t](std::initializer_list<uint8_t> ids, std::initializer_list<ElementRule> rule) {
        for (uint8_t id : ids) {
            EncodingRow &row = t[id];
            row.defined = true;
            for (const ElementRule &e : rule) row.elements[row.count++] = e;
        }
    };
    set({CIFS_FN_SHARE_NAMES, CIFS_FN_SERVER_REQUEST_4, CIFS_FN_INVALID_USER_CACHE,
         CIFS_FN_CONNECTION_COUNT, CIFS_FN_CONNECTION_LIST, CIFS_FN_CONNECTION_LIST_8,
         CIFS_FN_CONNECTION_LIST_9, CIFS_FN_SERVER_REQUEST_40, CIFS_FN_INTERFACE_LIST,
         CIFS_FN_USER_CONTEXT_LIST},
        {});
    set({CIFS_FN_SHARE_DETAILS},
        {ShareRecord("Failed to process share list request. Error while inserting data into "
                     "request packet structure")});
    set({CIFS_FN_SHARE_ADD},
        {ShareRecord("Failed to process add share request. Error while inserting share "
                     "details into request packet structure"),
         Fixed(CIFS_ELEM_SHARE_PATH, 512,
               "Failed to process add share request. Error while inserting share path into "
               "request packet structure",
               offsetof(ShareParams, sharePath)),
         ServerDn("Failed to process add share request. Error while inserting server DN "
                  "into request packet structure")});
    set({CIFS_FN_SHARE_REMOVE},
        {ShareRecord("Failed to process remove share request. Error while inserting share "
                     "details into request packet structure"),
         ServerDn("Failed to process remove share request. Error while inserting server DN "
                  "details into request packet structure")});
    set({CIFS_FN_SMB_SIGNING},
        {Fixed(CIFS_ELEM_SMB_SIGNING, 1,
               "Failed to process SMB signing request. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_LOG_LEVEL},
        {Fixed(CIFS_ELEM_LOG_LEVEL, 4,
               "Failed to process debug log request. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_VIRTUAL_SERVER_ADD, CIFS_FN_VIRTUAL_SERVER_REMOVE},
        {Fixed(CIFS_ELEM_VIRTUAL_SERVER, 775,
               "Failed to process virtual server request. Error while "
               "inserting data into request packet structure")});
    set({CIFS_FN_DUMP_STATISTICS},
        {Fixed(CIFS_ELEM_DUMP_STATISTICS, 4,
               "Failed to process dump statistics request. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_AUDITING},
        {Fixed(CIFS_ELEM_AUDITING, 1,
               "Failed to process auditing request. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_DNS_ENTRY_ADD, CIFS_FN_DNS_ENTRY_REMOVE},
        {Fixed(CIFS_ELEM_DNS_ENTRY, 20,
               "Failed to process DNS request. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_GUEST_LOGIN},
        {Fixed(CIFS_ELEM_GUEST_LOGIN, 1,
               "Failed to process guest login request. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_LM_COMPATIBILITY},
        {Fixed(CIFS_ELEM_LM_COMPATIBILITY, 4,
               "Failed to process LM compatibility request. Error while inserting "
               "data into request packet structure")});
    set({CIFS_FN_SUBTREE_SEARCH},
        {Fixed(CIFS_ELEM_SUBTREE_SEARCH, 4,
               "Failed to process subtree request. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_SYNC}, {Fixed(CIFS_ELEM_SYNC, 1,
                               "Failed to process sync request. Error while inserting data into "
                               "request packet structure")});
    set({CIFS_FN_CACHE}, {Fixed(CIFS_ELEM_CACHE, 8,
                                "Failed to process cache request. Error while inserting data into "
                                "request packet structure")});
    set({CIFS_FN_RANGE_LOCK_MASK},
        {Fixed(CIFS_ELEM_RANGE_LOCK_MASK, 1,
               "Failed to process range lock mask request. Error while inserting "
               "data into request packet structure")});
    set({CIFS_FN_OFFLINE_FILES},
        {Fixed(CIFS_ELEM_OFFLINE_FILES, 4,
               "Failed to process offline files request. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_READ_PROXY},
        {Fixed(CIFS_ELEM_READ_PROXY, 4,
               "Failed to process read proxy request. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_INVALID_USER_TIMEOUT},
        {Fixed(CIFS_ELEM_INVALID_USER_TIMEOUT, 4,
               "Failed to process invalid user cache's timeout period request. Error "
               "while inserting data into request packet structure")});
    set({CIFS_FN_INVALID_USER_ADD, CIFS_FN_INVALID_USER_REMOVE,
         CIFS_FN_INVALID_USER_MAKE_PERMANENT},
        {Text(CIFS_ELEM_INVALID_USER_NAME,
              "Failed to process invalid user cache's data. Error while "
              "inserting data into request packet structure")});
    set({CIFS_FN_CONNECTION_DETAILS, CIFS_FN_FILES_BY_CONNECTION,
         CIFS_FN_FILES_BY_CONNECTION_MODIFIED, CIFS_FN_CLOSE_BY_CONNECTION,
         CIFS_FN_CRYPTO_KEYS_OF_CONNECTION, CIFS_FN_CONNECTION_MAPPED_SHARES},
        {Fixed(CIFS_ELEM_CONNECTION, 2,
               "Failed to process listing/closing of files by connection. Error while "
               "inserting data into request packet structure")});
    set({CIFS_FN_FILES_BY_PATH, CIFS_FN_FILES_BY_VOLUME, CIFS_FN_FILES_BY_PATH_MODIFIED,
         CIFS_FN_FILES_BY_VOLUME_MODIFIED, CIFS_FN_CLOSE_BY_PATH, CIFS_FN_CLOSE_BY_VOLUME},
        {PathText(kFilesMessage)});
    set({CIFS_FN_PASSTHRU},
        {Fixed(CIFS_ELEM_PASSTHRU, 1,
               "Failed to process passthru option Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_SHARE_VOLUMES_BY_DEFAULT},
        {Text(CIFS_ELEM_SERVER_NAME,
              "Failed to process share volumes by default. Error while inserting "
              "data(serverName) into request packet structure"),
         Fixed(CIFS_ELEM_SHARE_BY_DEFAULT, 4,
               "Failed to process share volumes by default. Error while inserting "
               "data(value) into request packet structure",
               offsetof(ShareVolumesParams, shareByDefault))});
    set({CIFS_FN_DIALECT},
        {Text(CIFS_ELEM_DIALECT,
              "Failed to process dialect. Error while inserting data into request "
              "packet structure")});
    set({CIFS_FN_CHANGE_NOTIFY},
        {Fixed(CIFS_ELEM_CHANGE_NOTIFY, 1,
               "Failed to process Change Notify  setting. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_USER_QUOTA_SYNC},
        {Fixed(CIFS_ELEM_USER_QUOTA_SYNC, 69,
               "Failed to process user quota sync all. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_ENUM_SHARES_NULL_SESSION},
        {Fixed(CIFS_ELEM_ENUM_SHARES_NULL_SESSION, 1,
               "Failed to process Enumerate Shares over NULL Session  setting. Error "
               "while inserting data into request packet structure")});
    set({CIFS_FN_OPLOCK_BREAK_ACK_TIMEOUT},
        {Fixed(CIFS_ELEM_OPLOCK_BREAK_ACK_TIMEOUT, 4,
               "Failed to set oplock break acknowledgement timeout, Error while "
               "inserting data into request packet structure")});
    set({CIFS_FN_NEGOTIATE_NTSTATUS},
        {Fixed(CIFS_ELEM_NEGOTIATE_NTSTATUS, 1,
               "Failed to process Negotiate NtStatus setting. Error while inserting "
               "data into request packet structure")});
    set({CIFS_FN_DFS}, {Fixed(CIFS_ELEM_DFS, 1,
                              "Failed to process dfs support, Error while inserting data into "
                              "request packet structure")});
    set({CIFS_FN_ALTERNATE_DATA_STREAMS},
        {Fixed(CIFS_ELEM_ALTERNATE_DATA_STREAMS, 1,
               "Failed to set alternate data stream enable option, Error while "
               "inserting data into request packet structure")});
    set({CIFS_FN_DISABLE_SMBV1},
        {Fixed(CIFS_ELEM_DISABLE_SMBV1, 128,
               "Failed to set disable smbv1 sessions option, error while inserting "
               "data into request packet structure")});
    set({CIFS_FN_SHARE_ENCRYPTION},
        {ShareRecord("Failed to process enable encryption request. Error while inserting "
                     "data into request packet structure")});
    set({CIFS_FN_ENCRYPT_DATA},
        {Fixed(CIFS_ELEM_ENCRYPT_DATA, 1,
               "Failed to set encrypt data option, error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_REJECT_UNENCRYPTED_ACCESS},
        {Fixed(CIFS_ELEM_REJECT_UNENCRYPTED_ACCESS, 1,
               "Failed to set reject unencrypted access option, error while "
               "inserting data into request packet structure")});
    set({CIFS_FN_DNS_SUFFIX},
        {Text(CIFS_ELEM_DNS_SUFFIX,
              "Failed to process dns suffix. Error while inserting data into request "
              "packet structure")});
    set({CIFS_FN_DISPLAY_USER_ADDRESS},
        {Fixed(CIFS_ELEM_DISPLAY_USER_ADDRESS, 4,
               "Failed to process Display user address request. Error while "
               "inserting data into request packet structure")});
    set({CIFS_FN_SHARE_FOLDER_REDIRECTION},
        {ShareRecord("Failed to set folder redirection, error while inserting data into "
                     "request packet structure")});
    set({CIFS_FN_DOS_FILENAME},
        {Fixed(CIFS_ELEM_DOS_FILENAME, 4,
               "Failed to set DOS filename option, error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_MAP_AD_SESSIONS},
        {Fixed(CIFS_ELEM_MAP_AD_SESSIONS, 1,
               "Failed to process Map Active Directory Sessions to Tarnlet for File "
               "Operations. Error while inserting data into request packet "
               "structure")});
    set({CIFS_FN_DISABLE_NTLMSSP},
        {Fixed(CIFS_ELEM_DISABLE_NTLMSSP, 1,
               "Failed to process disable NTLMSSP. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_BLOCK_UNMANAGED_READS},
        {Fixed(CIFS_ELEM_BLOCK_UNMANAGED_READS, 1,
               "Failed to process blocking of reads from unmanaged Nimbrel clients "
               "option. Error while inserting data into request packet structure")});
    set({CIFS_FN_LEASING},
        {Fixed(CIFS_ELEM_LEASING, 1,
               "Failed to process leasing option. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_ZEROCOPY},
        {Fixed(CIFS_ELEM_ZEROCOPY, 1,
               "Failed to process zerocopy option. Error while inserting data into "
               "request packet structure")});
    set({CIFS_FN_CLEAR_CONNECTIONS},
        {Fixed(CIFS_ELEM_CLEAR_CONNECTIONS, sizeof(ClearConnParams),
               "Failed to process clear connection request. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_SHARE_VISIBILITY_RIGHTS},
        {Fixed(CIFS_ELEM_SHARE_VISIBILITY_RIGHTS, 1,
               "Failed to process check share visibility rights option. Error while "
               "inserting request packet structure")});
    set({CIFS_FN_DIRECTORY_LEASING},
        {Fixed(CIFS_ELEM_DIRECTORY_LEASING, 1,
               "Failed to process directory leasing option. Error while inserting "
               "request packet structure")});
    set({CIFS_FN_SHARE_ATM_BACKUP},
        {ShareRecord("Failed to change ATM backup option on the share. Error while "
                     "inserting request packet structure")});
    set({CIFS_FN_USER_QUOTA_VIEW},
        {Fixed(CIFS_ELEM_USER_QUOTA_VIEW, 65,
               "Failed to process user quota view option. Error while inserting "
               "data into request packet structure")});
    set({CIFS_FN_DUMP_CRYPTO_KEYS},
        {Fixed(CIFS_ELEM_CRYPTO_KEYS, 1,
               "Failed to process crypto keys dumping option. Error while inserting "
               "request packet structure")});
    set({CIFS_FN_PREFERRED_CIPHER},
        {Text(CIFS_ELEM_PREFERRED_CIPHER,
              "Failed to process Preferred Cipher. Error while inserting data into "
              "request packet structure")});
    set({CIFS_FN_COMPRESSION},
        {Fixed(CIFS_ELEM_COMPRESSION, 1,
               "Failed to process compression option. Error while inserting data "
               "into request packet structure")});
    set({CIFS_FN_MULTICHANNEL},
        {Fixed(CIFS_ELEM_MULTICHANNEL, 1,
               "Failed to process multi channel option. Error while inserting "
               "request packet structure")});
    set({CIFS_FN_INTERFACE_ADD, CIFS_FN_INTERFACE_REMOVE},
        {Fixed(CIFS_ELEM_INTERFACE, 16,
               "Failed to process multi channel interface option. Error while "
               "inserting request packet structure")});
    set({CIFS_FN_LARGE_MTU}, {Fixed(CIFS_ELEM_LARGE_MTU, 1,
                                    "Failed to process multi channel option. Error while inserting "
                                    "request packet structure")});
    set({CIFS_FN_SHARE_MODIFY},
        {ShareRecord("Failed to process modify share request. Error while inserting share "
                     "details into request packet structure")});
    set({CIFS_FN_OPEN_FILES}, {Record(CIFS_ELEM_OPEN_FILES, 28, 24, kFilesMessage)});
    set({CIFS_FN_INVALID_USER_LIST},
        {Record(CIFS_ELEM_INVALID_USERS, 20, 16,
                "Failed to process listing of invalid users. Error while "
                "inserting data into request packet structure")});
    set({CIFS_FN_USER_CONTEXT_ADD, CIFS_FN_USER_CONTEXT_REMOVE},
        {Fixed(CIFS_ELEM_USER_CONTEXTS, 512,
               "Failed to process add/remove user context. Error while "
               "inserting request packet structure")});
    set({CIFS_FN_MFA}, {Fixed(CIFS_ELEM_MFA, 1,
                              "Failed to process mfa option. Error while inserting request packet "
                              "structure")});
    set({CIFS_FN_SHARE_MFA},
        {ShareRecord("Failed to change MFA share level option on the share. Error while "
                     "inserting request packet structure")});
    set({CIFS_FN_DURABLE_HANDLES},
        {Fixed(CIFS_ELEM_DURABLE_HANDLES, 1,
               "Failed to process durable handles option. Error while inserting "
               "request packet structure")});
    set({CIFS_FN_DFS_REFERRAL_CACHE_DURATION},
        {Fixed(CIFS_ELEM_DFS_REFERRAL_CACHE, sizeof(DfsReferralCacheParams),
               "Failed to set DFS referral cache duration. Error while inserting data into "
               "request packet structure")});
    return t;
}();

constexpr bool EveryRowDefined() {
    for (const EncodingRow &row : kEncoding)
        if (!row.defined) return false;
    return true;
}
static_assert(EveryRowDefined(), "every function ID needs a row");

constexpr bool FixedElementsFitTheirSource() {
    for (const EncodingRow &row : kEncoding)
        for (uint8_t i = 0; i < row.count; ++i) {
            const ElementRule &e = row.elements[i];
            if (e.length != Length::kFixed) continue;
            const uint32_t area =
                e.source == Source::kServerDn ? CIFS_SERVER_DN_SIZE : CIFS_PARAMS_SIZE;
            if (e.offset + e.size > area) return false;
        }
    return true;
}
static_assert(FixedElementsFitTheirSource());

struct Payload {
    const void *bytes = nullptr;
    uint32_t length = 0;
};

// Where the element's bytes are and how many; null bytes when the context does not hold them.
bool Locate(const CmdContext *ctx, const ElementRule &e, Payload *out) noexcept {
    const char *base = nullptr;
    size_t room = 0;  // bytes of the source that may be read, for texts
    switch (e.source) {
        case Source::kParams:
            base = reinterpret_cast<const char *>(ctx->params.raw) + e.offset;
            room = CIFS_PARAMS_SIZE - e.offset;
            break;
        case Source::kServerDn:
            base = ctx->serverDn;
            room = CIFS_SERVER_DN_SIZE;
            break;
        case Source::kPathRef:
        case Source::kListRecord:
            base = LoadPointer<const char>(ctx);
            room = SIZE_MAX;
            break;
    }
    if (base == nullptr) return false;
    uint64_t length = 0;
    switch (e.length) {
        case Length::kFixed:
            length = e.size;
            break;
        case Length::kText:
            // Keep a text that lacks its terminator inside its area.
            length = room == SIZE_MAX ? std::strlen(base) + 1 : strnlen(base, room - 1) + 1;
            break;
        case Length::kRecord: {
            uint32_t stored;
            std::memcpy(&stored, base + e.wordOffset, sizeof stored);
            length = uint64_t{e.size} + stored;
            break;
        }
    }
    if (length > UINT32_MAX) return false;
    *out = Payload{base, static_cast<uint32_t>(length)};
    return true;
}

}  // namespace

bool EncodesPathRef(uint8_t functionId) noexcept {
    if (functionId > CIFS_FN_LAST) return false;
    const EncodingRow &row = kEncoding[functionId];
    for (uint8_t i = 0; i < row.count; ++i)
        if (row.elements[i].source == Source::kPathRef) return true;
    return false;
}

}  // namespace share::command

using namespace share::command;

extern "C" SHARE_API int PopulateRequestPacket(CmdContext *ctx, ReqPkt *pkt) noexcept {
    if (ctx == nullptr || pkt == nullptr) return -1;
    if (ctx->functionId > CIFS_FN_LAST) {
        PrintLine(
            "Failed to populate request packet with command line data. Invalid option "
            "requested");
        return -1;
    }
    const EncodingRow &row = kEncoding[ctx->functionId];
    if (row.count == 0) {
        (void)ReqPktSetNumberOfData(pkt, 0);
        return 0;
    }
    for (uint8_t i = 0; i < row.count; ++i) {
        const ElementRule &e = row.elements[i];
        Payload payload;
        if (!Locate(ctx, e, &payload) ||
            ReqPktInsertData(pkt, e.type, payload.length, payload.bytes) == nullptr) {
            PrintLine(e.message);
            return -1;
        }
    }
    return 0;
}
