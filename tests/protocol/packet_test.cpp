// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "shareadmin/protocol.h"
#include "tests/protocol/protocol_test_util.h"
#include "tests/support/alloc_fault.h"
#include "tests/support/fake_server.h"

namespace share::test {
namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), seed);
    return v;
}

bool AllZero(const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

class PacketTest : public ProtocolTest {};

// ---- creation and header fields ----

TEST_F(PacketTest, NewRequestIsZeroApartFromItsIds) {
    ReqOwner pkt(ReqPktInsertComponentID(0x1234));
    ASSERT_NE(pkt, nullptr);
    ASSERT_EQ(ReqPktInsertFunctionID(pkt.get(), 0x1ff), pkt.get());
    EXPECT_EQ(pkt->capacity, 1024u);
    EXPECT_EQ(pkt->cursor, nullptr);
    EXPECT_EQ(pkt->buffer[0], 0x34);
    EXPECT_EQ(pkt->buffer[1], 0xff);
    EXPECT_TRUE(AllZero(pkt->buffer + 2, 1022));
    EXPECT_EQ(ReqPktGetComponentID(pkt.get()), 0x34);
    EXPECT_EQ(ReqPktGetFunctionID(pkt.get()), 0xff);
    EXPECT_EQ(ReqPktGetNumberOfData(pkt.get()), 0);
    ExpectSilent();
}

TEST_F(PacketTest, NewResponseHoldsItsStatus) {
    RespOwner pkt(RespPktInsertStatus(-7));
    ASSERT_NE(pkt, nullptr);
    EXPECT_EQ(pkt->capacity, 1024u);
    EXPECT_EQ(static_cast<int32_t>(U32At(pkt->buffer, 0)), -7);
    EXPECT_TRUE(AllZero(pkt->buffer + 4, 1020));
    EXPECT_EQ(RespPktGetNumberOfData(pkt.get()), 0);
}

TEST_F(PacketTest, CountSettersStoreTheirWidth) {
    ReqOwner req(ReqPktInsertComponentID(0));
    EXPECT_EQ(ReqPktSetNumberOfData(req.get(), 0x1203), req.get());
    EXPECT_EQ(ReqPktGetNumberOfData(req.get()), 3);
    EXPECT_EQ(req->buffer[3], 0);  // the reserved byte is not touched

    RespOwner resp(RespPktInsertStatus(0));
    PutU32At(resp->buffer, 4, 0xffffffff);
    EXPECT_EQ(RespPktSetNumberOfData(resp.get(), 255), resp.get());
    EXPECT_EQ(U32At(resp->buffer, 4), 255u);  // zero-extended over the whole field
}

// ---- appending ----

TEST_F(PacketTest, AppendWritesTheElementAndTheHeader) {
    ReqOwner pkt(ReqPktInsertComponentID(0));
    const auto payload = Bytes(5, 1);
    ASSERT_EQ(ReqPktInsertData(pkt.get(), 0x1A7, 5, payload.data()), pkt.get());
    const uint8_t expected[] = {0xA7, 0, 0, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5};
    EXPECT_EQ(0, std::memcmp(pkt->buffer + 8, expected, sizeof expected));
    EXPECT_EQ(pkt->buffer[2], 1);
    EXPECT_EQ(U32At(pkt->buffer, 4), 13u);
    EXPECT_TRUE(AllZero(pkt->buffer + 8 + 13, 1024 - 21));

    RespOwner resp(RespPktInsertStatus(0));
    ASSERT_EQ(RespPktInsertData(resp.get(), 9, 5, payload.data()), resp.get());
    EXPECT_EQ(resp->buffer[12], 9);
    EXPECT_EQ(U32At(resp->buffer, 16), 5u);
    EXPECT_EQ(0, std::memcmp(resp->buffer + 20, payload.data(), 5));
    EXPECT_EQ(U32At(resp->buffer, 4), 1u);
    EXPECT_EQ(U32At(resp->buffer, 8), 13u);
}

struct GrowthCase {
    const char *name;
    bool response;
    std::vector<uint32_t> lengths;  // appended in order
    uint32_t capacity;              // after the last append
};

class GrowthTest : public PacketTest, public ::testing::WithParamInterface<GrowthCase> {};

TEST_P(GrowthTest, CapacityFollowsTheGrowthRule) {
    const GrowthCase &c = GetParam();
    uint32_t body = 0;
    std::vector<uint8_t> expected;
    auto check = [&](uint8_t *buffer, uint32_t capacity, size_t header) {
        EXPECT_EQ(capacity, c.capacity);
        EXPECT_EQ(U32At(buffer, header == 8 ? 4 : 8), body);
        EXPECT_EQ(0, std::memcmp(buffer + header, expected.data(), expected.size()));
        EXPECT_TRUE(AllZero(buffer + header + body, capacity - header - body));
    };
    auto append = [&](auto *pkt, auto insert) {
        for (uint32_t len : c.lengths) {
            const auto payload = Bytes(len, static_cast<uint8_t>(len));
            ASSERT_EQ(insert(pkt, 3, len, payload.data()), pkt);
            const uint8_t head[] = {3, 0, 0, 0};
            expected.insert(expected.end(), head, head + 4);
            for (int i = 0; i < 4; ++i) expected.push_back(static_cast<uint8_t>(len >> (8 * i)));
            expected.insert(expected.end(), payload.begin(), payload.end());
            body += 8 + len;
        }
    };
    if (c.response) {
        RespOwner pkt(RespPktInsertStatus(0));
        append(pkt.get(), RespPktInsertData);
        check(pkt->buffer, pkt->capacity, 12);
    } else {
        ReqOwner pkt(ReqPktInsertComponentID(0));
        append(pkt.get(), ReqPktInsertData);
        check(pkt->buffer, pkt->capacity, 8);
    }
    ExpectSilent();
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, GrowthTest,
    ::testing::Values(GrowthCase{"RequestJustBelowFull", false, {1007}, 1024},
                      GrowthCase{"RequestExactlyFullGrows", false, {1008}, 2048},
                      GrowthCase{"ResponseExactlyFullFits", true, {1004}, 1024},
                      GrowthCase{"ResponseOneOverGrows", true, {1005}, 2048},
                      GrowthCase{"ResponseRequestSizedElement", true, {1008}, 2048},
                      GrowthCase{"RequestLastSmallStep", false, {2032}, 2048},
                      GrowthCase{"RequestFirstLargeStep", false, {2033}, 1024 + 2033 + 16},
                      GrowthCase{"RequestLarge", false, {5000}, 6040},
                      GrowthCase{"ResponseLarge", true, {5000}, 1024 + 5000 + 20},
                      GrowthCase{"RequestSecondElementFills", false, {500, 500}, 2048},
                      GrowthCase{"RequestSecondElementFits", false, {500, 499}, 1024},
                      GrowthCase{"ResponseManySmall", true, {400, 400, 400, 400, 400}, 3072},
                      GrowthCase{"ZeroLength", false, {0, 0, 0}, 1024}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(PacketTest, RequestCountWrapsAtOneByteResponseCountDoesNot) {
    ReqOwner req(ReqPktInsertComponentID(0));
    RespOwner resp(RespPktInsertStatus(0));
    for (int i = 0; i < 256; ++i) {
        ASSERT_NE(ReqPktInsertData(req.get(), 1, 0, nullptr), nullptr);
        ASSERT_NE(RespPktInsertData(resp.get(), 1, 0, nullptr), nullptr);
    }
    EXPECT_EQ(ReqPktGetNumberOfData(req.get()), 0);
    EXPECT_EQ(U32At(req->buffer, 4), 256u * 8);
    EXPECT_EQ(RespPktGetNumberOfData(resp.get()), 256);
}

TEST_F(PacketTest, AppendDuringWalkKeepsThePosition) {
    RespOwner pkt(RespPktInsertStatus(0));
    RespPktInsertData(pkt.get(), 1, 4, "abc");
    RespPktInsertData(pkt.get(), 2, 4, "def");
    uint32_t len = 0;
    uint8_t type = 0;
    std::free(RespPktGetFirstData(pkt.get(), &len, &type));
    const auto big = Bytes(4000, 0);
    ASSERT_NE(RespPktInsertData(pkt.get(), 3, 4000, big.data()), nullptr);  // moves the buffer
    void *next = RespPktGetNextData(pkt.get(), &len, &type);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(type, 2);
    EXPECT_STREQ(static_cast<char *>(next), "def");
    std::free(next);
}

// ---- extending the last element ----

TEST_F(PacketTest, ExtendJoinsThePayloads) {
    RespOwner pkt(RespPktInsertStatus(0));
    const auto first = Bytes(10, 0), second = Bytes(6, 10);
    RespPktInsertData(pkt.get(), 7, 10, first.data());
    ASSERT_EQ(RespPktInsertDataExt(pkt.get(), 6, second.data()), pkt.get());
    EXPECT_EQ(U32At(pkt->buffer, 4), 1u);
    EXPECT_EQ(U32At(pkt->buffer, 8), 24u);
    uint32_t len = 0;
    uint8_t type = 0;
    void *payload = RespPktGetFirstData(pkt.get(), &len, &type);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(len, 16u);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(0, std::memcmp(payload, Bytes(16, 0).data(), 16));
    std::free(payload);
}

TEST_F(PacketTest, ExtendTargetsTheLastOfSeveral) {
    RespOwner pkt(RespPktInsertStatus(0));
    RespPktInsertData(pkt.get(), 1, 3, "ab");
    RespPktInsertData(pkt.get(), 2, 2, "c");
    ASSERT_NE(RespPktInsertDataExt(pkt.get(), 3, "de"), nullptr);
    uint32_t len = 0;
    uint8_t type = 0;
    void *a = RespPktGetFirstData(pkt.get(), &len, &type);
    EXPECT_EQ(len, 3u);
    void *b = RespPktGetNextData(pkt.get(), &len, &type);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(0, std::memcmp(b, "c\0de", 5));
    std::free(a);
    std::free(b);
}

TEST_F(PacketTest, ExtendGrowsByItsOwnRule) {
    struct Case {
        uint32_t added;
        uint32_t capacity;
    } cases[] = {{994, 1024}, {995, 2048}, {3000, 1024 + 3000 + 12}};
    for (const Case &c : cases) {
        RespOwner pkt(RespPktInsertStatus(0));
        RespPktInsertData(pkt.get(), 1, 10, Bytes(10, 0).data());  // body 18
        const auto more = Bytes(c.added, 10);
        ASSERT_NE(RespPktInsertDataExt(pkt.get(), c.added, more.data()), nullptr);
        EXPECT_EQ(pkt->capacity, c.capacity) << c.added;
        EXPECT_EQ(U32At(pkt->buffer, 8), 18 + c.added);
        EXPECT_EQ(0, std::memcmp(pkt->buffer + 30, more.data(), c.added));
    }
}

TEST_F(PacketTest, ExtendWithoutAnElementIsRefused) {
    RespOwner pkt(RespPktInsertStatus(0));
    EXPECT_EQ(RespPktInsertDataExt(pkt.get(), 4, "abc"), nullptr);
    EXPECT_EQ(U32At(pkt->buffer, 8), 0u);
    EXPECT_TRUE(AllZero(pkt->buffer + 4, 1020));
}

TEST_F(PacketTest, ExtendRefusesACountThatDoesNotMatchTheBody) {
    RespOwner pkt(RespPktInsertStatus(0));
    RespPktInsertData(pkt.get(), 1, 4, "abc");
    RespPktInsertData(pkt.get(), 2, 4, "def");
    RespPktSetNumberOfData(pkt.get(), 1);  // the last counted element is not the last one
    std::vector<uint8_t> before(pkt->buffer, pkt->buffer + pkt->capacity);
    EXPECT_EQ(RespPktInsertDataExt(pkt.get(), 2, "x"), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(pkt->buffer, pkt->buffer + pkt->capacity), before);
    RespPktSetNumberOfData(pkt.get(), 5);  // more elements counted than the body holds
    before.assign(pkt->buffer, pkt->buffer + pkt->capacity);
    EXPECT_EQ(RespPktInsertDataExt(pkt.get(), 2, "x"), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(pkt->buffer, pkt->buffer + pkt->capacity), before);
}

// ---- the walk ----

template <class Pkt>
std::vector<Element> Walk(Pkt *pkt, void *(*first)(Pkt *, uint32_t *, uint8_t *),
                          void *(*next)(Pkt *, uint32_t *, uint8_t *)) {
    std::vector<Element> out;
    uint32_t len = 0xdead;
    uint8_t type = 0xee;
    for (void *p = first(pkt, &len, &type); p != nullptr; p = next(pkt, &len, &type)) {
        out.push_back(BytesElement(type, p, len));
        std::free(p);
    }
    return out;
}

TEST_F(PacketTest, WalkReturnsEveryElementInOrderOnBothSides) {
    const std::vector<Element> elements = {TextElement(1, "share"), BytesElement(6, "\0\1\2", 3),
                                           Element{9, {}}, TextElement(41, std::string(3000, 'x'))};
    ReqOwner req(ReqPktInsertComponentID(0));
    RespOwner resp(RespPktInsertStatus(0));
    for (const Element &e : elements) {
        const auto len = static_cast<uint32_t>(e.payload.size());
        ReqPktInsertData(req.get(), e.type, len, e.payload.data());
        RespPktInsertData(resp.get(), e.type, len, e.payload.data());
    }
    EXPECT_EQ(Walk(req.get(), ReqPktGetFirstData, ReqPktGetNextData), elements);
    EXPECT_EQ(Walk(resp.get(), RespPktGetFirstData, RespPktGetNextData), elements);
    // After the end: null again, without a message; GetFirstData restarts.
    uint32_t len = 0;
    uint8_t type = 0;
    EXPECT_EQ(RespPktGetNextData(resp.get(), &len, &type), nullptr);
    EXPECT_EQ(ReqPktGetNextData(req.get(), &len, &type), nullptr);
    EXPECT_EQ(Walk(resp.get(), RespPktGetFirstData, RespPktGetNextData), elements);
    ExpectSilent();
}

TEST_F(PacketTest, ZeroLengthElementIsAnEmptyBlockNotTheEnd) {
    ReqOwner pkt(ReqPktInsertComponentID(0));
    ReqPktInsertData(pkt.get(), 5, 0, nullptr);
    uint32_t len = 99;
    uint8_t type = 0;
    void *p = ReqPktGetFirstData(pkt.get(), &len, &type);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(type, 5);
    std::free(p);
    EXPECT_EQ(ReqPktGetNextData(pkt.get(), &len, &type), nullptr);
}

TEST_F(PacketTest, RequestWithCountZeroButABodyStillWalks) {
    ReqOwner pkt(ReqPktInsertComponentID(0));
    ReqPktInsertData(pkt.get(), 2, 3, "ab");
    ReqPktSetNumberOfData(pkt.get(), 0);
    EXPECT_EQ(Walk(pkt.get(), ReqPktGetFirstData, ReqPktGetNextData),
              std::vector<Element>{TextElement(2, "ab")});
}

TEST_F(PacketTest, NextBeforeFirstReturnsNull) {
    ReqOwner req(ReqPktInsertComponentID(0));
    ReqPktInsertData(req.get(), 2, 3, "ab");
    RespOwner resp(RespPktInsertStatus(0));
    RespPktInsertData(resp.get(), 2, 3, "ab");
    uint32_t len = 77;
    uint8_t type = 77;
    EXPECT_EQ(ReqPktGetNextData(req.get(), &len, &type), nullptr);
    EXPECT_EQ(RespPktGetNextData(resp.get(), &len, &type), nullptr);
    EXPECT_EQ(len, 77u);
    EXPECT_EQ(type, 77);
    ExpectSilent();
}

// Hand-made responses whose elements run past the body: the walk must stop there.
struct MalformedCase {
    const char *name;
    std::vector<uint8_t> bytes;   // whole response
    size_t elementsBeforeTheEnd;  // complete elements the walk still yields
};

std::vector<uint8_t> Response(uint32_t count, uint32_t body, std::vector<uint8_t> tail) {
    std::vector<uint8_t> out(12 + tail.size(), 0);
    PutU32At(out.data(), 4, count);
    PutU32At(out.data(), 8, body);
    std::copy(tail.begin(), tail.end(), out.begin() + 12);
    return out;
}

class MalformedTest : public PacketTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedTest, WalkStopsAtTheBodyEnd) {
    const MalformedCase &c = GetParam();
    RespOwner pkt(ResponseFromBytes(c.bytes));
    EXPECT_EQ(Walk(pkt.get(), RespPktGetFirstData, RespPktGetNextData).size(),
              c.elementsBeforeTheEnd);
    uint32_t len = 0;
    uint8_t type = 0;
    EXPECT_EQ(RespPktGetNextData(pkt.get(), &len, &type), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, MalformedTest,
    ::testing::Values(
        // payload length beyond the body
        MalformedCase{"PayloadPastBody",
                      Response(1, 12, {1, 0, 0, 0, 200, 0, 0, 0, 'a', 'b', 'c', 'd'}), 0},
        // length so large that offset arithmetic would wrap
        MalformedCase{"HugeLength", Response(1, 8, {1, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}), 0},
        // an element header cut short after a good element
        MalformedCase{"CutHeader", Response(2, 13, {1, 0, 0, 0, 1, 0, 0, 0, 'x', 2, 0, 0, 0}), 1},
        // body length that claims more than the buffer holds
        MalformedCase{"BodyPastBuffer",
                      Response(2, 1000, {1, 0, 0, 0, 1, 0, 0, 0, 'x', 2, 0, 0, 0, 9, 0, 0, 0}), 1},
        // the count says more elements than there are: the body decides
        MalformedCase{"CountTooHigh", Response(9, 9, {1, 0, 0, 0, 1, 0, 0, 0, 'x'}), 1}),
    [](const auto &param) { return std::string(param.param.name); });

// ---- failure messages ----

enum class After { kKept, kReleased, kNone };

struct FailureCase {
    const char *name;
    std::string message;  // empty: no message
    After after;
    // Performs the call on `pkt` (null or bare handle); true when it returned its failure value.
    bool (*call)(void *);
    bool withHandle;  // call with a bare handle (else with null)
};

class FailureTest : public PacketTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, ReportsAndLeavesTheHandleAsDocumented) {
    const FailureCase &c = GetParam();
    void *pkt = c.withHandle ? std::calloc(1, sizeof(ReqPkt)) : nullptr;
    EXPECT_TRUE(c.call(pkt));
    if (c.message.empty())
        ExpectSilent();
    else
        ExpectLogged({CliError(c.message)});
    // A released handle was freed by the call; a kept one is still ours (ASan checks both).
    if (c.after == After::kKept) std::free(pkt);
}

uint32_t g_len;
uint8_t g_type;

#define REQ(expr)                             \
    [](void *p) {                             \
        auto *pkt = static_cast<ReqPkt *>(p); \
        return (expr);                        \
    }
#define RESP(expr)                             \
    [](void *p) {                              \
        auto *pkt = static_cast<RespPkt *>(p); \
        return (expr);                         \
    }

const std::string kReqFillNone = "Request packet structure doesn't exist to fill the data";
const std::string kReqFillBare = "Request packet structure has no buffer to fill the data";

INSTANTIATE_TEST_SUITE_P(
    Messages, FailureTest,
    ::testing::Values(
        FailureCase{"FunctionIdNull", "", After::kNone,
                    REQ(ReqPktInsertFunctionID(pkt, 1) == nullptr), false},
        FailureCase{"FunctionIdBare", "Request packet structure has no buffer to set function id",
                    After::kReleased, REQ(ReqPktInsertFunctionID(pkt, 1) == nullptr), true},
        FailureCase{"ReqInsertNull", kReqFillNone, After::kNone,
                    REQ(ReqPktInsertData(pkt, 1, 1, "") == nullptr), false},
        FailureCase{"ReqInsertBare", kReqFillBare, After::kKept,
                    REQ(ReqPktInsertData(pkt, 1, 1, "") == nullptr), true},
        FailureCase{"RespInsertNull", "Response packet structure doesn't exist to fill the data",
                    After::kNone, RESP(RespPktInsertData(pkt, 1, 1, "") == nullptr), false},
        FailureCase{"RespInsertBare", "Response packet structure has no buffer to fill the data",
                    After::kReleased, RESP(RespPktInsertData(pkt, 1, 1, "") == nullptr), true},
        FailureCase{"ExtNull", kReqFillNone, After::kNone,
                    RESP(RespPktInsertDataExt(pkt, 1, "") == nullptr), false},
        FailureCase{"ExtBare", kReqFillBare, After::kKept,
                    RESP(RespPktInsertDataExt(pkt, 1, "") == nullptr), true},
        FailureCase{"ReqSetCountNull",
                    "Request packet structure doesn't exist to set the number of data elements "
                    "field",
                    After::kNone, REQ(ReqPktSetNumberOfData(pkt, 1) == nullptr), false},
        FailureCase{"ReqSetCountBare",
                    "Request packet structure has no buffer to set the number of data elements "
                    "field",
                    After::kKept, REQ(ReqPktSetNumberOfData(pkt, 1) == nullptr), true},
        FailureCase{"RespSetCountNull",
                    "Response packet structure doesn't exist to set the number of data elements "
                    "field",
                    After::kNone, RESP(RespPktSetNumberOfData(pkt, 1) == nullptr), false},
        FailureCase{"RespSetCountBare",
                    "Response packet structure has no buffer to set the number of data elements "
                    "field",
                    After::kKept, RESP(RespPktSetNumberOfData(pkt, 1) == nullptr), true},
        FailureCase{"ReqGetCountNull",
                    "Request packet structure doesn't exist to get the number of data elements "
                    "field",
                    After::kNone, REQ(ReqPktGetNumberOfData(pkt) == -1), false},
        FailureCase{"ReqGetCountBare",
                    "Request packet structure has no buffer to get the number of data elements "
                    "field",
                    After::kKept, REQ(ReqPktGetNumberOfData(pkt) == -1), true},
        FailureCase{"RespGetCountNull",
                    "Response packet structure doesn't exist to get the number of data elements "
                    "field",
                    After::kNone, RESP(RespPktGetNumberOfData(pkt) == -1), false},
        FailureCase{"RespGetCountBare",
                    "Response packet structure has no buffer to get the number of data elements "
                    "field",
                    After::kKept, RESP(RespPktGetNumberOfData(pkt) == -1), true},
        FailureCase{"ComponentNull",
                    "Request packet structure doesn't exist to get the component ID", After::kNone,
                    REQ(ReqPktGetComponentID(pkt) == -1), false},
        FailureCase{"ComponentBare",
                    "Request packet structure has no buffer to get the component ID", After::kKept,
                    REQ(ReqPktGetComponentID(pkt) == -1), true},
        FailureCase{"FunctionNull", "Request packet structure doesn't exist to get the function ID",
                    After::kNone, REQ(ReqPktGetFunctionID(pkt) == -1), false},
        FailureCase{"FunctionBare", "Request packet structure has no buffer to get the function ID",
                    After::kKept, REQ(ReqPktGetFunctionID(pkt) == -1), true},
        FailureCase{"ReqFirstNull",
                    "Request packet structure doesn't exist to get the first data element",
                    After::kNone, REQ(ReqPktGetFirstData(pkt, &g_len, &g_type) == nullptr), false},
        FailureCase{"ReqFirstBare",
                    "Request packet structure has no buffer to get the first data element",
                    After::kKept, REQ(ReqPktGetFirstData(pkt, &g_len, &g_type) == nullptr), true},
        FailureCase{"ReqNextNull",
                    "Request packet structure doesn't exist to get the next data element",
                    After::kNone, REQ(ReqPktGetNextData(pkt, &g_len, &g_type) == nullptr), false},
        FailureCase{"ReqNextBare",
                    "Request packet structure has no buffer to get the next data element",
                    After::kKept, REQ(ReqPktGetNextData(pkt, &g_len, &g_type) == nullptr), true},
        FailureCase{"RespFirstNull",
                    "Response packet structure doesn't exist to get the first data element",
                    After::kNone, RESP(RespPktGetFirstData(pkt, &g_len, &g_type) == nullptr),
                    false},
        FailureCase{"RespFirstBare",
                    "Response packet structure has no buffer to get the first data element",
                    After::kKept, RESP(RespPktGetFirstData(pkt, &g_len, &g_type) == nullptr), true},
        FailureCase{"RespNextNull",
                    "Response packet structure doesn't exist to get the next data element",
                    After::kNone, RESP(RespPktGetNextData(pkt, &g_len, &g_type) == nullptr), false},
        FailureCase{"RespNextBare",
                    "Response packet structure has empty buffer, no data is available to get the "
                    "next data element",
                    After::kKept, RESP(RespPktGetNextData(pkt, &g_len, &g_type) == nullptr), true}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(PacketTest, EmptyPacketsReportPerSideAndStep) {
    ReqOwner req(ReqPktInsertComponentID(0));
    RespOwner resp(RespPktInsertStatus(0));
    uint32_t len = 0;
    uint8_t type = 0;
    EXPECT_EQ(ReqPktGetFirstData(req.get(), &len, &type), nullptr);
    ExpectSilent();
    EXPECT_EQ(ReqPktGetNextData(req.get(), &len, &type), nullptr);
    EXPECT_EQ(RespPktGetFirstData(resp.get(), &len, &type), nullptr);
    EXPECT_EQ(RespPktGetNextData(resp.get(), &len, &type), nullptr);
    ExpectLogged({CliError("Request packet structure has empty buffer, no data is available to "
                           "get the next data element"),
                  CliError("Response packet structure has empty buffer, no data is available to "
                           "get the first data element"),
                  CliError("Response packet structure has empty buffer, no data is available to "
                           "get the next data element")});
}

TEST_F(PacketTest, MessagesNeedTheErrorBit) {
    LogMask mask(CIFS_LOG_EVENT | CIFS_LOG_CRITICAL | CIFS_LOG_WARNING | CIFS_LOG_INFO);
    uint32_t len = 0;
    uint8_t type = 0;
    EXPECT_EQ(ReqPktInsertData(nullptr, 1, 0, nullptr), nullptr);
    EXPECT_EQ(RespPktGetFirstData(nullptr, &len, &type), nullptr);
    EXPECT_EQ(ReqPktGetNumberOfData(nullptr), -1);
    ExpectSilent();
}

// ---- allocation failures ----

TEST_F(PacketTest, CreationFailures) {
    struct Case {
        long failAt;
        bool response;
        std::string message;
    } cases[] = {
        {0, false,
         "Failed to allocate memory for creating a new request packet structure to fill the "
         "component ID"},
        {1, false,
         "Failed to allocate memory for creating a buffer to fill the header information with "
         "component ID"},
        {0, true,
         "Failed to allocate memory for creating a new response packet structure to fill the "
         "status informatio"},
        {1, true,
         "Failed to allocate memory for creating a buffer to fill the header information with "
         "status information"},
    };
    for (const Case &c : cases) {
        void *made;
        {
            AllocFaultScope fault(c.failAt);
            made = c.response ? static_cast<void *>(RespPktInsertStatus(0))
                              : static_cast<void *>(ReqPktInsertComponentID(0));
            fault.Disarm();
            EXPECT_TRUE(fault.Triggered());
        }
        EXPECT_EQ(made, nullptr);
        ExpectLogged({CliError(c.message)});
        log_.Clear();
    }
}

TEST_F(PacketTest, RequestGrowthFailureKeepsThePacket) {
    struct Case {
        uint32_t len;
        std::string message;
    } cases[] = {
        {1008, "Failed to re-allocate memory for accomodating new data element in request"},
        {5000,
         "Failed to re-allocate memory for accomodating new data element which is more than 1024 "
         "bytes in request"},
    };
    for (const Case &c : cases) {
        ReqOwner pkt(ReqPktInsertComponentID(4));
        ReqPktInsertData(pkt.get(), 1, 3, "ab");
        const std::vector<uint8_t> before(pkt->buffer, pkt->buffer + 1024);
        const auto payload = Bytes(c.len, 0);
        {
            AllocFaultScope fault(0);
            EXPECT_EQ(ReqPktInsertData(pkt.get(), 2, c.len, payload.data()), nullptr);
        }
        EXPECT_EQ(pkt->capacity, 1024u);
        EXPECT_EQ(std::vector<uint8_t>(pkt->buffer, pkt->buffer + 1024), before);
        ExpectLogged({CliError(c.message)});
        log_.Clear();
    }
}

TEST_F(PacketTest, ResponseGrowthFailureReleasesThePacket) {
    struct Case {
        uint32_t len;
        std::string message;
    } cases[] = {
        {1008, "Failed to re-allocate memory for accomodating new data element in response"},
        {5000,
         "Failed to re-allocate memory for accomodating new data element which is more than 1024 "
         "bytes in response"},
    };
    for (const Case &c : cases) {
        RespPkt *pkt = RespPktInsertStatus(0);
        const auto payload = Bytes(c.len, 0);
        {
            AllocFaultScope fault(0);
            EXPECT_EQ(RespPktInsertData(pkt, 2, c.len, payload.data()), nullptr);
        }
        // pkt is gone: the call released it (a leak or double free shows under ASan).
        ExpectLogged({CliError(c.message)});
        log_.Clear();
    }
}

TEST_F(PacketTest, ExtendGrowthFailureKeepsThePacket) {
    struct Case {
        uint32_t len;
        std::string message;
    } cases[] = {
        {995, "Failed to re-allocate memory for accomodating new data element in request"},
        {3000,
         "Failed to re-allocate memory for accomodating new data element which is more than 1024 "
         "bytes in request"},
    };
    for (const Case &c : cases) {
        RespOwner pkt(RespPktInsertStatus(0));
        RespPktInsertData(pkt.get(), 1, 10, Bytes(10, 0).data());
        const std::vector<uint8_t> before(pkt->buffer, pkt->buffer + 1024);
        const auto payload = Bytes(c.len, 0);
        {
            AllocFaultScope fault(0);
            EXPECT_EQ(RespPktInsertDataExt(pkt.get(), c.len, payload.data()), nullptr);
        }
        EXPECT_EQ(std::vector<uint8_t>(pkt->buffer, pkt->buffer + 1024), before);
        ExpectLogged({CliError(c.message)});
        log_.Clear();
    }
}

TEST_F(PacketTest, PayloadCopyFailureWritesTheOutArgumentsAndKeepsTheCursor) {
    struct Side {
        bool response;
        bool next;
        std::string message;
    } sides[] = {
        {false, false,
         "Failed to allocate memory for getting the first data element in request packet "
         "structure"},
        {false, true,
         "Failed to allocate memory for getting the next data element in request packet "
         "structure"},
        {true, false,
         "Failed to allocate memory for getting the first data element in response packet "
         "structure"},
        {true, true,
         "Failed to allocate memory for getting the next data element in response packet "
         "structure"},
    };
    for (const Side &s : sides) {
        ReqOwner req(ReqPktInsertComponentID(0));
        RespOwner resp(RespPktInsertStatus(0));
        ReqPktInsertData(req.get(), 1, 2, "a");
        ReqPktInsertData(req.get(), 2, 4, "bcd");
        RespPktInsertData(resp.get(), 1, 2, "a");
        RespPktInsertData(resp.get(), 2, 4, "bcd");
        uint32_t len = 0;
        uint8_t type = 0;
        if (s.next) {
            std::free(s.response ? RespPktGetFirstData(resp.get(), &len, &type)
                                 : ReqPktGetFirstData(req.get(), &len, &type));
        }
        uint8_t *cursor = s.response ? resp->cursor : req->cursor;
        log_.Clear();
        void *got;
        {
            AllocFaultScope fault(0);
            got = s.response ? (s.next ? RespPktGetNextData(resp.get(), &len, &type)
                                       : RespPktGetFirstData(resp.get(), &len, &type))
                             : (s.next ? ReqPktGetNextData(req.get(), &len, &type)
                                       : ReqPktGetFirstData(req.get(), &len, &type));
        }
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(len, s.next ? 4u : 2u);
        EXPECT_EQ(type, s.next ? 2 : 1);
        EXPECT_EQ(s.response ? resp->cursor : req->cursor, cursor);
        ExpectLogged({CliError(s.message)});
    }
}

TEST_F(PacketTest, EveryAllocationFailureOfABuildIsSurvivable) {
    // Build, walk and release a small packet with each allocation failing in turn: no crash,
    // no leak, and a null result exactly where an allocation failed.
    const auto payload = Bytes(2000, 0);
    const long runs = ForEachAllocationFailure([&payload](AllocFaultScope &scope) {
        ReqPkt *pkt = ReqPktInsertComponentID(0);
        if (pkt != nullptr && ReqPktInsertData(pkt, 1, 2000, payload.data()) != nullptr) {
            uint32_t len;
            uint8_t type;
            std::free(ReqPktGetFirstData(pkt, &len, &type));
        }
        scope.Disarm();
        if (pkt != nullptr) {
            std::free(pkt->buffer);
            std::free(pkt);
        }
    });
    EXPECT_GE(runs, 4);
}

}  // namespace
}  // namespace share::test
