// SPDX-License-Identifier: Apache-2.0
// PopulateRequestPacket against an independent statement of the encoding: every function ID,
// every element's type, length and bytes, and the message of every failed append.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "shareadmin/command.h"
#include "tests/admin/command/command_test_util.h"
#include "tests/support/alloc_fault.h"

namespace share::test {
namespace {

enum class Src { kParams, kDn, kPath, kRecord };

struct El {
    uint8_t type;
    Src src;
    int32_t len;  // fixed length; -1: text with its NUL; record: the fixed head
    uint32_t offset;
    std::string message;
};

struct Row {
    std::vector<uint8_t> ids;
    std::vector<El> els;
};

El P(uint8_t type, int32_t len, std::string msg, uint32_t offset = 0) {
    return El{type, Src::kParams, len, offset, std::move(msg)};
}
El T(uint8_t type, std::string msg) {
    return El{type, Src::kParams, -1, 0, std::move(msg)};
}

const std::string kIns = " Error while inserting data into request packet structure";
const std::string kInsReq = " Error while inserting request packet structure";

// One row per line, as the messages are long and greppable.
// clang-format off
const std::vector<Row> &Rows() {
    static const std::vector<Row> rows = {
        {{0, 4, 24, 25, 26, 27, 28, 40, 75, 82}, {}},
        {{1}, {P(6, 5168, "Failed to process share list request." + kIns)}},
        {{2},
         {P(6, 5168, "Failed to process add share request. Error while inserting share details into request packet structure"),
          P(2, 512, "Failed to process add share request. Error while inserting share path into request packet structure", 482),
          El{20, Src::kDn, 256, 0, "Failed to process add share request. Error while inserting server DN into request packet structure"}}},
        {{3},
         {P(6, 5168, "Failed to process remove share request. Error while inserting share details into request packet structure"),
          El{20, Src::kDn, 256, 0, "Failed to process remove share request. Error while inserting server DN details into request packet structure"}}},
        {{5}, {P(5, 1, "Failed to process SMB signing request." + kIns)}},
        {{6}, {P(10, 4, "Failed to process debug log request." + kIns)}},
        {{7, 8}, {P(11, 775, "Failed to process virtual server request." + kIns)}},
        {{9}, {P(12, 4, "Failed to process dump statistics request." + kIns)}},
        {{10}, {P(29, 1, "Failed to process auditing request." + kIns)}},
        {{11, 12}, {P(30, 20, "Failed to process DNS request." + kIns)}},
        {{13}, {P(31, 1, "Failed to process guest login request." + kIns)}},
        {{14}, {P(32, 4, "Failed to process LM compatibility request." + kIns)}},
        {{15}, {P(33, 4, "Failed to process subtree request." + kIns)}},
        {{16}, {P(34, 1, "Failed to process sync request." + kIns)}},
        {{17}, {P(35, 8, "Failed to process cache request." + kIns)}},
        {{18}, {P(36, 1, "Failed to process range lock mask request." + kIns)}},
        {{19}, {P(37, 4, "Failed to process offline files request." + kIns)}},
        {{20}, {P(38, 4, "Failed to process read proxy request." + kIns)}},
        {{21}, {P(39, 4, "Failed to process invalid user cache's timeout period request." + kIns)}},
        {{22, 23, 81}, {T(40, "Failed to process invalid user cache's data." + kIns)}},
        {{29, 31, 34, 37, 68, 78},
         {P(41, 2, "Failed to process listing/closing of files by connection." + kIns)}},
        {{30, 32, 33, 35, 36, 38},
         {El{42, Src::kPath, -1, 0, "Failed to process listing/closing of files." + kIns}}},
        {{39}, {P(43, 1, "Failed to process passthru option Error while inserting data into request packet structure")}},
        {{41},
         {T(44, "Failed to process share volumes by default. Error while inserting data(serverName) into request packet structure"),
          P(45, 4, "Failed to process share volumes by default. Error while inserting data(value) into request packet structure", 256)}},
        {{42}, {T(47, "Failed to process dialect." + kIns)}},
        {{43}, {P(48, 1, "Failed to process Change Notify  setting." + kIns)}},
        {{44}, {P(49, 69, "Failed to process user quota sync all." + kIns)}},
        {{45}, {P(50, 1, "Failed to process Enumerate Shares over NULL Session  setting." + kIns)}},
        {{46}, {P(51, 4, "Failed to set oplock break acknowledgement timeout, Error while inserting data into request packet structure")}},
        {{47}, {P(52, 1, "Failed to process Negotiate NtStatus setting." + kIns)}},
        {{48}, {P(53, 1, "Failed to process dfs support, Error while inserting data into request packet structure")}},
        {{49}, {P(54, 1, "Failed to set alternate data stream enable option, Error while inserting data into request packet structure")}},
        {{50}, {P(55, 128, "Failed to set disable smbv1 sessions option, error while inserting data into request packet structure")}},
        {{51}, {P(6, 5168, "Failed to process enable encryption request." + kIns)}},
        {{52}, {P(56, 1, "Failed to set encrypt data option, error while inserting data into request packet structure")}},
        {{53}, {P(57, 1, "Failed to set reject unencrypted access option, error while inserting data into request packet structure")}},
        {{54}, {T(58, "Failed to process dns suffix." + kIns)}},
        {{55}, {P(59, 4, "Failed to process Display user address request." + kIns)}},
        {{56}, {P(6, 5168, "Failed to set folder redirection, error while inserting data into request packet structure")}},
        {{57}, {P(61, 4, "Failed to set DOS filename option, error while inserting data into request packet structure")}},
        {{58}, {P(62, 1, "Failed to process Map Active Directory Sessions to Tarnlet for File Operations." + kIns)}},
        {{59}, {P(63, 1, "Failed to process disable NTLMSSP." + kIns)}},
        {{60}, {P(64, 1, "Failed to process blocking of reads from unmanaged Nimbrel clients option." + kIns)}},
        {{61}, {P(65, 1, "Failed to process leasing option." + kIns)}},
        {{62}, {P(66, 1, "Failed to process zerocopy option." + kIns)}},
        {{63}, {P(67, 9, "Failed to process clear connection request." + kIns)}},
        {{64}, {P(68, 1, "Failed to process check share visibility rights option." + kInsReq)}},
        {{65}, {P(69, 1, "Failed to process directory leasing option." + kInsReq)}},
        {{66}, {P(6, 5168, "Failed to change ATM backup option on the share." + kInsReq)}},
        {{67}, {P(70, 65, "Failed to process user quota view option." + kIns)}},
        {{69}, {P(71, 1, "Failed to process crypto keys dumping option." + kInsReq)}},
        {{70}, {T(72, "Failed to process Preferred Cipher." + kIns)}},
        {{71}, {P(73, 1, "Failed to process compression option." + kIns)}},
        {{72}, {P(74, 1, "Failed to process multi channel option." + kInsReq)}},
        {{73, 74}, {P(75, 16, "Failed to process multi channel interface option." + kInsReq)}},
        {{76}, {P(76, 1, "Failed to process multi channel option." + kInsReq)}},
        {{77}, {P(6, 5168, "Failed to process modify share request. Error while inserting share details into request packet structure")}},
        {{79}, {El{77, Src::kRecord, 28, 24, "Failed to process listing/closing of files." + kIns}}},
        {{80}, {El{78, Src::kRecord, 20, 16, "Failed to process listing of invalid users." + kIns}}},
        {{83, 84}, {P(28, 512, "Failed to process add/remove user context." + kInsReq)}},
        {{85}, {P(79, 1, "Failed to process mfa option." + kInsReq)}},
        {{86}, {P(6, 5168, "Failed to change MFA share level option on the share." + kInsReq)}},
        {{87}, {P(80, 1, "Failed to process durable handles option." + kInsReq)}},
        {{88}, {P(81, 1029, "Failed to set DFS referral cache duration." + kIns)}},
    };
    return rows;
}
// clang-format on

std::map<uint8_t, const Row *> RowsById() {
    std::map<uint8_t, const Row *> byId;
    for (const Row &row : Rows())
        for (uint8_t id : row.ids) byId[id] = &row;
    return byId;
}

constexpr size_t kTextLength = 40;
const char kPath[] = "vol1:/projects/report.txt";
constexpr uint32_t kRecordData = 100;

struct WireElement {
    uint8_t type;
    std::vector<uint8_t> payload;
};

struct Parsed {
    uint8_t component = 0, function = 0, count = 0;
    uint32_t bodyLength = 0;
    std::vector<WireElement> elements;
};

// Reads the wire bytes directly, without the packet operations.
Parsed Parse(const ReqPkt *pkt) {
    Parsed p;
    const uint8_t *b = pkt->buffer;
    p.component = b[0];
    p.function = b[1];
    p.count = b[2];
    std::memcpy(&p.bodyLength, b + 4, 4);
    for (uint32_t off = 0; off < p.bodyLength;) {
        uint32_t len;
        std::memcpy(&len, b + 8 + off + 4, 4);
        p.elements.push_back(WireElement{b[8 + off], {b + 16 + off, b + 16 + off + len}});
        off += 8 + len;
    }
    return p;
}

void Release(ReqPkt *pkt) {
    if (pkt == nullptr) return;
    std::free(pkt->buffer);
    std::free(pkt);
}

// A context whose every byte is recognisable, holding what the row's elements read.
class EncodingTest : public testing::Test {
  protected:
    void SetUp() override {
        std::memset(&ctx_, 0, sizeof ctx_);
        for (size_t i = 0; i < CIFS_PARAMS_SIZE; ++i)
            ctx_.params.raw[i] = static_cast<uint8_t>(1 + (i * 13) % 250);
        for (size_t i = 0; i + 1 < CIFS_SERVER_DN_SIZE; ++i)
            ctx_.serverDn[i] = static_cast<char>('a' + i % 26);
        record_.assign(28 + kRecordData, 0);
        for (size_t i = 0; i < record_.size(); ++i) record_[i] = static_cast<uint8_t>(200 - i % 97);
    }

    void Prepare(uint8_t id, const Row &row) {
        ctx_.functionId = id;
        for (const El &e : row.els) {
            if (e.src == Src::kParams && e.len < 0) ctx_.params.raw[kTextLength] = 0;
            if (e.src == Src::kPath) StorePointer(kPath);
            if (e.src == Src::kRecord) {
                std::memcpy(record_.data() + e.offset, &kRecordData, 4);
                StorePointer(record_.data());
            }
        }
    }

    void StorePointer(const void *p) { std::memcpy(ctx_.params.raw, &p, sizeof p); }

    std::vector<uint8_t> Expected(const El &e) const {
        const auto *params = ctx_.params.raw;
        switch (e.src) {
            case Src::kParams:
                if (e.len < 0) return {params, params + kTextLength + 1};
                return {params + e.offset, params + e.offset + e.len};
            case Src::kDn: {
                const auto *dn = reinterpret_cast<const uint8_t *>(ctx_.serverDn);
                return {dn, dn + CIFS_SERVER_DN_SIZE};
            }
            case Src::kPath:
                return {kPath, kPath + sizeof kPath};
            case Src::kRecord:
                return {record_.begin(), record_.begin() + e.len + kRecordData};
        }
        return {};
    }

    static ReqPkt *NewRequest(uint8_t id) {
        return ReqPktInsertFunctionID(ReqPktInsertComponentID(0), id);
    }

    CmdContext ctx_;
    std::vector<uint8_t> record_;
};

TEST_F(EncodingTest, TheTableHereNamesEveryFunctionIdOnce) {
    size_t ids = 0;
    for (const Row &row : Rows()) ids += row.ids.size();
    EXPECT_EQ(ids, 89u);
    EXPECT_EQ(RowsById().size(), 89u);
    EXPECT_EQ(RowsById().rbegin()->first, 88);
}

TEST_F(EncodingTest, EveryFunctionIdAppendsItsElements) {
    for (const auto &[id, row] : RowsById()) {
        SCOPED_TRACE("function " + std::to_string(id));
        SetUp();
        Prepare(id, *row);
        ReqPkt *pkt = NewRequest(id);
        ASSERT_NE(pkt, nullptr);
        StdoutCapture out;
        ASSERT_EQ(PopulateRequestPacket(&ctx_, pkt), 0);
        EXPECT_EQ(out.Finish(), "");
        const Parsed p = Parse(pkt);
        EXPECT_EQ(p.component, 0);
        EXPECT_EQ(p.function, id);
        ASSERT_EQ(p.count, row->els.size());
        ASSERT_EQ(p.elements.size(), row->els.size());
        uint32_t body = 0;
        for (size_t k = 0; k < row->els.size(); ++k) {
            EXPECT_EQ(p.elements[k].type, row->els[k].type) << "element " << k;
            EXPECT_EQ(p.elements[k].payload, Expected(row->els[k])) << "element " << k;
            body += 8 + static_cast<uint32_t>(p.elements[k].payload.size());
        }
        EXPECT_EQ(p.bodyLength, body);
        Release(pkt);
    }
}

TEST_F(EncodingTest, ShareAddSendsThePathFieldAgainAndTheServerDn) {
    Prepare(2, *RowsById().at(2));
    ReqPkt *pkt = NewRequest(2);
    ASSERT_EQ(PopulateRequestPacket(&ctx_, pkt), 0);
    const Parsed p = Parse(pkt);
    ASSERT_EQ(p.elements.size(), 3u);
    EXPECT_EQ(p.elements[0].payload.size(), 5168u);
    const std::vector<uint8_t> slice(p.elements[0].payload.begin() + 482,
                                     p.elements[0].payload.begin() + 994);
    EXPECT_EQ(p.elements[1].payload, slice);
    EXPECT_EQ(p.elements[2].payload.size(), 256u);
    Release(pkt);
}

TEST_F(EncodingTest, EmptyTextsAndListRecordLengths) {
    std::memset(ctx_.params.raw, 0, sizeof ctx_.params.raw);
    ctx_.functionId = 54;  // DNS suffix, empty
    ReqPkt *pkt = NewRequest(54);
    ASSERT_EQ(PopulateRequestPacket(&ctx_, pkt), 0);
    Parsed p = Parse(pkt);
    ASSERT_EQ(p.elements.size(), 1u);
    EXPECT_EQ(p.elements[0].payload, std::vector<uint8_t>{0});
    Release(pkt);

    // A list request record with no data is its head alone.
    for (auto [id, head, word] : {std::tuple{79, 28u, 24u}, std::tuple{80, 20u, 16u}}) {
        std::vector<uint8_t> record(head, 0x5a);
        const uint32_t zero = 0;
        std::memcpy(record.data() + word, &zero, 4);
        ctx_.functionId = static_cast<uint8_t>(id);
        StorePointer(record.data());
        pkt = NewRequest(ctx_.functionId);
        ASSERT_EQ(PopulateRequestPacket(&ctx_, pkt), 0);
        p = Parse(pkt);
        ASSERT_EQ(p.elements.size(), 1u);
        EXPECT_EQ(p.elements[0].payload, record);
        Release(pkt);
    }
}

// The request is given exactly the room that the elements before element k need, so appending
// element k must grow the buffer: that allocation is the one that fails.
TEST_F(EncodingTest, EveryFailedAppendPrintsItsRowMessage) {
    int checked = 0;
    for (const auto &[id, row] : RowsById()) {
        SetUp();
        Prepare(id, *row);
        uint64_t before = 0;  // body bytes of the elements before k
        for (size_t k = 0; k < row->els.size(); ++k) {
            SCOPED_TRACE("function " + std::to_string(id) + " element " + std::to_string(k));
            const uint64_t len = Expected(row->els[k]).size();
            const uint32_t capacity = static_cast<uint32_t>(before + len + 16 - 1);
            ReqPkt *pkt = NewRequest(id);
            ASSERT_NE(pkt, nullptr);
            pkt->buffer = static_cast<uint8_t *>(std::realloc(pkt->buffer, capacity));
            pkt->capacity = capacity;
            StdoutCapture out;
            int rc;
            {
                AllocFaultScope fault(0);
                rc = PopulateRequestPacket(&ctx_, pkt);
                fault.Disarm();
                EXPECT_TRUE(fault.Triggered());
            }
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(out.Finish(), row->els[k].message + "\n");
            // The elements before the failure stay in the packet.
            const Parsed p = Parse(pkt);
            EXPECT_EQ(p.elements.size(), k);
            Release(pkt);
            before += 8 + len;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 83);
}

TEST_F(EncodingTest, FunctionIdsAbove88AreRefused) {
    for (int id : {89, 100, 255}) {
        ctx_.functionId = static_cast<uint8_t>(id);
        ReqPkt *pkt = NewRequest(ctx_.functionId);
        StdoutCapture out;
        EXPECT_EQ(PopulateRequestPacket(&ctx_, pkt), -1);
        EXPECT_EQ(out.Finish(),
                  "Failed to populate request packet with command line data. Invalid option "
                  "requested\n");
        EXPECT_EQ(Parse(pkt).bodyLength, 0u);
        Release(pkt);
    }
}

// A reference field left null (a context filled by hand) is refused, not dereferenced.
TEST_F(EncodingTest, MissingReferencedDataIsRefused) {
    for (uint8_t id : {30, 36, 79, 80}) {
        std::memset(ctx_.params.raw, 0, sizeof ctx_.params.raw);
        ctx_.functionId = id;
        ReqPkt *pkt = NewRequest(id);
        StdoutCapture out;
        EXPECT_EQ(PopulateRequestPacket(&ctx_, pkt), -1) << int(id);
        EXPECT_EQ(out.Finish(), RowsById().at(id)->els[0].message + "\n");
        Release(pkt);
    }
    EXPECT_EQ(PopulateRequestPacket(nullptr, nullptr), -1);
}

TEST_F(EncodingTest, ARecordLengthBeyond32BitsIsRefused) {
    std::vector<uint8_t> record(28, 0);
    const uint32_t huge = UINT32_MAX - 10;
    std::memcpy(record.data() + 24, &huge, 4);
    ctx_.functionId = 79;
    StorePointer(record.data());
    ReqPkt *pkt = NewRequest(79);
    StdoutCapture out;
    EXPECT_EQ(PopulateRequestPacket(&ctx_, pkt), -1);
    EXPECT_EQ(out.Finish(), RowsById().at(79)->els[0].message + "\n");
    Release(pkt);
}

}  // namespace
}  // namespace share::test
