// Encoding of a command context into request data elements, one table row per function ID.
//
//   row      := element{0..3}            (no element: the element count is set to 0)
//   element  := type | length rule | source
//   length   := fixed N | text length + 1 | record head + u32 stored in the record
//   source   := params + offset | serverDn | text at pathRef | record at listRequestRef
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "admin/command/command_util.h"
#include "shareadmin/command.h"

namespace share::command {
namespace {

constexpr uint8_t kLastFunctionId = 88;

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
    return {20, Length::kFixed, CIFS_SERVER_DN_SIZE, 0, Source::kServerDn, 0, message};
}
constexpr ElementRule PathText(const char *message) {
    return {42, Length::kText, 0, 0, Source::kPathRef, 0, message};
}
constexpr ElementRule Record(uint8_t type, uint32_t head, uint32_t wordOffset,
                             const char *message) {
    return {type, Length::kRecord, head, wordOffset, Source::kListRecord, 0, message};
}
constexpr ElementRule ShareRecord(const char *message) {
    return Fixed(6, CIFS_PARAMS_SIZE, message);
}

constexpr const char kFilesMessage[] =
    "Failed to process listing/closing of files. Error while inserting data into request packet "
    "structure";

constexpr auto kEncoding = [] {
    std::array<EncodingRow, kLastFunctionId + 1> t{};
    auto set = [&t](std::initializer_list<uint8_t> ids, std::initializer_list<ElementRule> rule) {
        for (uint8_t id : ids) {
            EncodingRow &row = t[id];
            row.defined = true;
            for (const ElementRule &e : rule) row.elements[row.count++] = e;
        }
    };
    set({0, 4, 24, 25, 26, 27, 28, 40, 75, 82}, {});
    set({1}, {ShareRecord("Failed to process share list request. Error while inserting data into "
                          "request packet structure")});
    set({2}, {ShareRecord("Failed to process add share request. Error while inserting share "
                          "details into request packet structure"),
              Fixed(2, 512,
                    "Failed to process add share request. Error while inserting share path into "
                    "request packet structure",
                    offsetof(ShareParams, sharePath)),
              ServerDn("Failed to process add share request. Error while inserting server DN "
                       "into request packet structure")});
    set({3}, {ShareRecord("Failed to process remove share request. Error while inserting share "
                          "details into request packet structure"),
              ServerDn("Failed to process remove share request. Error while inserting server DN "
                       "details into request packet structure")});
    set({5}, {Fixed(5, 1,
                    "Failed to process SMB signing request. Error while inserting data into "
                    "request packet structure")});
    set({6}, {Fixed(10, 4,
                    "Failed to process debug log request. Error while inserting data into "
                    "request packet structure")});
    set({7, 8}, {Fixed(11, 775,
                       "Failed to process virtual server request. Error while "
                       "inserting data into request packet structure")});
    set({9}, {Fixed(12, 4,
                    "Failed to process dump statistics request. Error while inserting data "
                    "into request packet structure")});
    set({10}, {Fixed(29, 1,
                     "Failed to process auditing request. Error while inserting data into "
                     "request packet structure")});
    set({11, 12}, {Fixed(30, 20,
                         "Failed to process DNS request. Error while inserting data into "
                         "request packet structure")});
    set({13}, {Fixed(31, 1,
                     "Failed to process guest login request. Error while inserting data "
                     "into request packet structure")});
    set({14}, {Fixed(32, 4,
                     "Failed to process LM compatibility request. Error while inserting "
                     "data into request packet structure")});
    set({15}, {Fixed(33, 4,
                     "Failed to process subtree request. Error while inserting data into "
                     "request packet structure")});
    set({16}, {Fixed(34, 1,
                     "Failed to process sync request. Error while inserting data into "
                     "request packet structure")});
    set({17}, {Fixed(35, 8,
                     "Failed to process cache request. Error while inserting data into "
                     "request packet structure")});
    set({18}, {Fixed(36, 1,
                     "Failed to process range lock mask request. Error while inserting "
                     "data into request packet structure")});
    set({19}, {Fixed(37, 4,
                     "Failed to process offline files request. Error while inserting data "
                     "into request packet structure")});
    set({20}, {Fixed(38, 4,
                     "Failed to process read proxy request. Error while inserting data "
                     "into request packet structure")});
    set({21}, {Fixed(39, 4,
                     "Failed to process invalid user cache's timeout period request. Error "
                     "while inserting data into request packet structure")});
    set({22, 23, 81}, {Text(40,
                            "Failed to process invalid user cache's data. Error while "
                            "inserting data into request packet structure")});
    set({29, 31, 34, 37, 68, 78},
        {Fixed(41, 2,
               "Failed to process listing/closing of files by connection. Error while "
               "inserting data into request packet structure")});
    set({30, 32, 33, 35, 36, 38}, {PathText(kFilesMessage)});
    set({39}, {Fixed(43, 1,
                     "Failed to process passthru option Error while inserting data into "
                     "request packet structure")});
    set({41}, {Text(44,
                    "Failed to process share volumes by default. Error while inserting "
                    "data(serverName) into request packet structure"),
               Fixed(45, 4,
                     "Failed to process share volumes by default. Error while inserting "
                     "data(value) into request packet structure",
                     offsetof(ShareVolumesParams, shareByDefault))});
    set({42}, {Text(47,
                    "Failed to process dialect. Error while inserting data into request "
                    "packet structure")});
    set({43}, {Fixed(48, 1,
                     "Failed to process Change Notify  setting. Error while inserting data "
                     "into request packet structure")});
    set({44}, {Fixed(49, 69,
                     "Failed to process user quota sync all. Error while inserting data "
                     "into request packet structure")});
    set({45}, {Fixed(50, 1,
                     "Failed to process Enumerate Shares over NULL Session  setting. Error "
                     "while inserting data into request packet structure")});
    set({46}, {Fixed(51, 4,
                     "Failed to set oplock break acknowledgement timeout, Error while "
                     "inserting data into request packet structure")});
    set({47}, {Fixed(52, 1,
                     "Failed to process Negotiate NtStatus setting. Error while inserting "
                     "data into request packet structure")});
    set({48}, {Fixed(53, 1,
                     "Failed to process dfs support, Error while inserting data into "
                     "request packet structure")});
    set({49}, {Fixed(54, 1,
                     "Failed to set alternate data stream enable option, Error while "
                     "inserting data into request packet structure")});
    set({50}, {Fixed(55, 128,
                     "Failed to set disable smbv1 sessions option, error while inserting "
                     "data into request packet structure")});
    set({51}, {ShareRecord("Failed to process enable encryption request. Error while inserting "
                           "data into request packet structure")});
    set({52}, {Fixed(56, 1,
                     "Failed to set encrypt data option, error while inserting data into "
                     "request packet structure")});
    set({53}, {Fixed(57, 1,
                     "Failed to set reject unencrypted access option, error while "
                     "inserting data into request packet structure")});
    set({54}, {Text(58,
                    "Failed to process dns suffix. Error while inserting data into request "
                    "packet structure")});
    set({55}, {Fixed(59, 4,
                     "Failed to process Display user address request. Error while "
                     "inserting data into request packet structure")});
    set({56}, {ShareRecord("Failed to set folder redirection, error while inserting data into "
                           "request packet structure")});
    set({57}, {Fixed(61, 4,
                     "Failed to set DOS filename option, error while inserting data into "
                     "request packet structure")});
    set({58}, {Fixed(62, 1,
                     "Failed to process Map Active Directory Sessions to Tarnlet for File "
                     "Operations. Error while inserting data into request packet "
                     "structure")});
    set({59}, {Fixed(63, 1,
                     "Failed to process disable NTLMSSP. Error while inserting data into "
                     "request packet structure")});
    set({60}, {Fixed(64, 1,
                     "Failed to process blocking of reads from unmanaged Nimbrel clients "
                     "option. Error while inserting data into request packet structure")});
    set({61}, {Fixed(65, 1,
                     "Failed to process leasing option. Error while inserting data into "
                     "request packet structure")});
    set({62}, {Fixed(66, 1,
                     "Failed to process zerocopy option. Error while inserting data into "
                     "request packet structure")});
    set({63}, {Fixed(67, sizeof(ClearConnParams),
                     "Failed to process clear connection request. Error while inserting data "
                     "into request packet structure")});
    set({64}, {Fixed(68, 1,
                     "Failed to process check share visibility rights option. Error while "
                     "inserting request packet structure")});
    set({65}, {Fixed(69, 1,
                     "Failed to process directory leasing option. Error while inserting "
                     "request packet structure")});
    set({66}, {ShareRecord("Failed to change ATM backup option on the share. Error while "
                           "inserting request packet structure")});
    set({67}, {Fixed(70, 65,
                     "Failed to process user quota view option. Error while inserting "
                     "data into request packet structure")});
    set({69}, {Fixed(71, 1,
                     "Failed to process crypto keys dumping option. Error while inserting "
                     "request packet structure")});
    set({70}, {Text(72,
                    "Failed to process Preferred Cipher. Error while inserting data into "
                    "request packet structure")});
    set({71}, {Fixed(73, 1,
                     "Failed to process compression option. Error while inserting data "
                     "into request packet structure")});
    set({72}, {Fixed(74, 1,
                     "Failed to process multi channel option. Error while inserting "
                     "request packet structure")});
    set({73, 74}, {Fixed(75, 16,
                         "Failed to process multi channel interface option. Error while "
                         "inserting request packet structure")});
    set({76}, {Fixed(76, 1,
                     "Failed to process multi channel option. Error while inserting "
                     "request packet structure")});
    set({77}, {ShareRecord("Failed to process modify share request. Error while inserting share "
                           "details into request packet structure")});
    set({79}, {Record(77, 28, 24, kFilesMessage)});
    set({80}, {Record(78, 20, 16,
                      "Failed to process listing of invalid users. Error while "
                      "inserting data into request packet structure")});
    set({83, 84}, {Fixed(28, 512,
                         "Failed to process add/remove user context. Error while "
                         "inserting request packet structure")});
    set({85}, {Fixed(79, 1,
                     "Failed to process mfa option. Error while inserting request packet "
                     "structure")});
    set({86}, {ShareRecord("Failed to change MFA share level option on the share. Error while "
                           "inserting request packet structure")});
    set({87}, {Fixed(80, 1,
                     "Failed to process durable handles option. Error while inserting "
                     "request packet structure")});
    set({88}, {Fixed(81, sizeof(DfsReferralCacheParams),
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
}  // namespace share::command

using namespace share::command;

extern "C" SHARE_API int PopulateRequestPacket(CmdContext *ctx, ReqPkt *pkt) noexcept {
    if (ctx == nullptr || pkt == nullptr) return -1;
    if (ctx->functionId > kLastFunctionId) {
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
