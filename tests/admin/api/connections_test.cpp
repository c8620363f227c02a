// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <array>

#include "tests/admin/api/api_testing.h"

namespace share::test {
namespace {

ConnectionRecord MakeConnection(uint16_t id, const std::string &user, const std::string &sev = "") {
    ConnectionRecord r;
    std::memset(&r, 0, sizeof r);
    r.connectionId = id;
    r.openFileCount = 2;
    r.value12 = 0x1122334455667788ull;
    PutText(r.text20, "10.0.0." + std::to_string(id));
    PutText(r.text36, user);
    PutText(r.text292, "WS-" + std::to_string(id));
    r.value326 = 326;
    r.value330 = 330;
    r.value338 = 338;
    r.secEquivCount = sev.empty() ? 0 : 2;
    r.secEquivLength = static_cast<uint32_t>(sev.size());
    PutText(r.text354, "dialect");
    PutText(r.text386, "login");
    return r;
}

// A connection element: the record, then `tail` (the variable part).
Element ConnectionElement(const ConnectionRecord &r, const std::string &tail = "") {
    return ConnRecord(r).Tail(tail).ToElement();
}

bool SameRecord(const void *a, const ConnectionRecord &b) {
    return std::memcmp(a, &b, sizeof b) == 0;
}

class ConnectionsTest : public ApiTest {};

TEST_F(ConnectionsTest, Count) {
    struct Case {
        const char *label;
        Reply reply;
        int rc;
        int32_t count;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"count", Reply::Status(0, {U32Element(41, 17)}), 0, 17, {}},
        {"none",
         Reply::Status(0),
         0,
         0,
         {Line("INFO", "CIFSLIB: There are no Active CIFS client Connections.")}},
        {"refused",
         Reply::Status(5),
         5,
         -7,
         {Line("ERROR", "CIFSLIB: Not able to get total connections count. error: 5")}},
        {"another type",
         Reply::Status(0, {U32Element(40, 3)}),
         -1,
         -7,
         {Line("ERROR", "Invalid data type in the response packet")}},
        {"shorter than a count",
         Reply::Status(0, {BytesElement(41, "ab", 2)}),
         -1,
         -7,
         {Line("ERROR", "Invalid data type in the response packet")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return c.reply; });
        int32_t count = -7;
        EXPECT_EQ(CIFSLIB_GetConnectionsCount(&count), c.rc);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(ApiLines(), c.log);
        EXPECT_EQ(server.LastRequest().raw, NoElementRequest(25));
        EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{30, 0, 0, 0}));
    }
    EXPECT_EQ(CIFSLIB_GetConnectionsCount(nullptr), -1);
}

TEST_F(ConnectionsTest, ListReadsTheCountThenTheRecords) {
    const ConnectionRecord a = MakeConnection(1, "alice"), b = MakeConnection(2, "bob");
    struct Case {
        const char *label;
        uint32_t count;
        std::vector<Element> records;
        std::vector<const ConnectionRecord *> expected;  // null: an all-zero record
        size_t debugLines;
    };
    std::vector<uint8_t> short_record(417, 1);
    const Case cases[] = {
        {"as many as counted", 2, {ConnectionElement(a), ConnectionElement(b)}, {&a, &b}, 0},
        {"one ended in between", 2, {ConnectionElement(a)}, {&a, nullptr}, 0},
        {"more than counted",
         1,
         {ConnectionElement(a), ConnectionElement(b), ConnectionElement(b)},
         {&a},
         0},
        {"other types and short records are skipped",
         2,
         {TextElement(5, "x"), BytesElement(41, short_record.data(), short_record.size()),
          ConnectionElement(b), ConnectionElement(a, "variable part")},
         {&b, &a},
         2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        ClearArgBlock();
        FakeServer server(ByFunction({{25, Reply::Status(0, {U32Element(41, c.count)})},
                                      {26, Reply::Status(0, c.records)}}));
        ConnectionList *list = nullptr;
        ASSERT_EQ(CIFSLIB_GetConnectionsList(&list), 0);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count, static_cast<int32_t>(c.count));
        const auto *records = static_cast<const uint8_t *>(list->records);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const ConnectionRecord zero{};
            EXPECT_TRUE(SameRecord(records + 418 * i, c.expected[i] ? *c.expected[i] : zero)) << i;
        }
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].raw, NoElementRequest(25));
        EXPECT_EQ(requests[1].raw, NoElementRequest(26));
        EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{30, 7, 0, 0}));
        EXPECT_EQ(ApiLines().size(), c.debugLines);
        std::free(list->records);
        std::free(list);
    }
}

TEST_F(ConnectionsTest, ListWithoutRecordsLeavesThePointer) {
    struct Case {
        const char *label;
        Reply count;
        Reply list;
        int rc;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"no records",
         Reply::Status(0, {U32Element(41, 2)}),
         Reply::Status(0),
         0,
         {Line("DEBUG", "CIFSLIB: There are no Active CIFS client Connections.")}},
        {"list refused",
         Reply::Status(0, {U32Element(41, 2)}),
         Reply::Status(5),
         5,
         {Line("ERROR", "CIFSLIB: Listing of Connections Failed. error: 5")}},
        {"count refused",
         Reply::Status(4),
         Reply::Status(0),
         -1,
         {Line("ERROR", "CIFSLIB: Not able to get total connections count. error: 4"),
          Line("ERROR", "CIFSLIB: Failed to get connections count.")}},
        {"negative count",
         Reply::Status(0, {U32Element(41, 0xFFFFFFFE)}),
         Reply::Status(0),
         -1,
         {Line("ERROR", "CIFSLIB: Failed to get connections count.")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server(ByFunction({{25, c.count}, {26, c.list}}));
        ConnectionList *list = Sentinel<ConnectionList>();
        EXPECT_EQ(CIFSLIB_GetConnectionsList(&list), c.rc);
        EXPECT_EQ(list, Sentinel<ConnectionList>());
        EXPECT_EQ(ApiLines(), c.log);
    }
    EXPECT_EQ(CIFSLIB_GetConnectionsList(nullptr), -1);
}

TEST_F(ConnectionsTest, DetailsCopyTheRecordAndTheSecurityEquivalenceBlock) {
    const std::string sev("cn=a\0cn=b\0", 10);
    const ConnectionRecord r = MakeConnection(65535, "carol", sev);
    FakeServer server(ByFunction(
        {{29, Reply::Status(
                  0, {ConnectionElement(
                         r, sev + std::string("\x01\x02\x03\x04\x05\x06\x07\x08name\0", 13))})}}));
    ConnectionRecord out{};
    void *block = nullptr;
    ASSERT_EQ(CIFSLIB_GetConnectionDetails("65535", &out, &block), 0);
    EXPECT_TRUE(SameRecord(&out, r));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(static_cast<char *>(block), sev.size()), sev);
    std::free(block);
    EXPECT_EQ(server.LastRequest().raw, ConnectionIdRequest(29, 65535));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{30, 31, 0, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());

    // Without a block location only the record is filled; an empty block is still a block.
    const ConnectionRecord plain = MakeConnection(3, "dave");
    server.SetHandler(ByFunction({{29, Reply::Status(0, {ConnectionElement(plain)})}}));
    ASSERT_EQ(CIFSLIB_GetConnectionDetails("3", &out, nullptr), 0);
    EXPECT_TRUE(SameRecord(&out, plain));
    block = nullptr;
    ASSERT_EQ(CIFSLIB_GetConnectionDetails("3", &out, &block), 0);
    EXPECT_NE(block, nullptr);
    std::free(block);
    EXPECT_TRUE(ApiLines().empty());
}

TEST_F(ConnectionsTest, DetailsWithoutUsableRecordLeaveEverything) {
    const ConnectionRecord r = MakeConnection(3, "eve", std::string(50, 's'));
    std::vector<uint8_t> short_record(100, 1);
    struct Case {
        const char *label;
        Reply reply;
        bool withBlock;
        int rc;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"none",
         Reply::Status(0),
         true,
         0,
         {Line("INFO", "CIFSLIB: There are no Active CIFS client Connections.")}},
        {"refused",
         Reply::Status(5),
         true,
         5,
         {Line("ERROR", "CIFSLIB: Failed to get connection detail. error: 5")}},
        {"another type",
         Reply::Status(0, {TextElement(6, "x")}),
         true,
         0,
         {Line("DEBUG",
               "CIFSLIB: Internal error - Invalid data type in the response packet. type: 6")}},
        {"short record",
         Reply::Status(0, {BytesElement(41, short_record.data(), 100)}),
         false,
         0,
         {Line("DEBUG",
               "CIFSLIB: Internal error - Invalid data type in the response packet. type: 41")}},
        {"block past the element",
         Reply::Status(0, {ConnectionElement(r, std::string(49, 's'))}),
         true,
         0,
         {Line("DEBUG",
               "CIFSLIB: Internal error - Invalid data type in the response packet. type: 41")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return c.reply; });
        std::array<uint8_t, 418> out;
        out.fill(0xEE);
        void *block = Sentinel<void>();
        EXPECT_EQ(CIFSLIB_GetConnectionDetails("3", out.data(), c.withBlock ? &block : nullptr),
                  c.rc);
        for (uint8_t byte : out) ASSERT_EQ(byte, 0xEE);
        EXPECT_EQ(block, Sentinel<void>());
        EXPECT_EQ(ApiLines(), c.log);
    }
}

TEST_F(ConnectionsTest, BadConnectionNumbersAreRejectedWithoutExchange) {
    FakeServer server;
    ConnectionRecord out{};
    ShareInfoList *list = nullptr;
    for (const char *number : {"65536", "-1", "12a"}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(CIFSLIB_GetConnectionDetails(number, &out, nullptr), -1);
        EXPECT_EQ(CIFSLIB_GetConnectionMappedShares(number, &list), -1);
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
    EXPECT_EQ(CIFSLIB_GetConnectionDetails(nullptr, &out, nullptr), -1);
    EXPECT_EQ(CIFSLIB_GetConnectionDetails("1", nullptr, nullptr), -1);
    EXPECT_EQ(CIFSLIB_GetConnectionMappedShares(nullptr, &list), -1);
    EXPECT_EQ(CIFSLIB_GetConnectionMappedShares("1", nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(list, nullptr);
    const std::string invalid = Line("ERROR", "CIFSLIB: Invalid input parameters.");
    const std::string mapped =
        Line("ERROR",
             "CIFSLIB: Not received connection number and sharesList parameter to fill "
             "information of mapped shares.");
    EXPECT_EQ(ApiLines(), (std::vector<std::string>{invalid, invalid, mapped, mapped}));
}

TEST_F(ConnectionsTest, MappedShares) {
    const ShareFields dir{.name = "DATA",
                          .volume = "VOL1",
                          .path = "/d",
                          .comment = "c",
                          .aux = "x",
                          .serverValue = 16,
                          .folder = 1,
                          .encrypt = 0,
                          .atm = 3,
                          .mapped = 0xFEEDFACE};
    const ShareFields admin{.name = "_admin", .volume = "_admin", .flags = 2, .mapped = 1};
    const ShareFields typed{.name = "T", .volume = "VOL1", .type = 3};
    FakeServer server(ByFunction(
        {{78, Reply::Status(0, {U32Element(41, 3), ShareElement(dir), ShareElement(admin),
                                ShareElement(typed), ShareElement(typed)})}}));
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_GetConnectionMappedShares("7", &list), 0);
    ASSERT_EQ(list->count, 3u);
    const ShareInfo *d = EntryOf(list, 0);
    EXPECT_EQ(d->volumeType, SHARE_TYPE_DIRECTORY);
    EXPECT_EQ(d->mappedValue, 0xFEEDFACEu);
    EXPECT_EQ(d->shareValue, 16u);
    EXPECT_EQ(d->folderRedirection, 1);
    EXPECT_EQ(d->encryptData, 0);
    EXPECT_EQ(d->atmBackup, 3);
    EXPECT_EQ(TextOf(d, d->nameOffset), "DATA");
    EXPECT_EQ(TextOf(d, d->volumeOffset), "VOL1");
    EXPECT_EQ(TextOf(d, d->pathOffset), "/d");
    EXPECT_EQ(TextOf(d, d->auxTextOffset), "x");
    EXPECT_EQ(TextOf(d, d->commentOffset), "c");
    EXPECT_EQ(d->stringBytes, 17u);
    EXPECT_EQ(EntryOf(list, 1)->volumeType, SHARE_TYPE_VOLUME);  // no admin or flag rule here
    EXPECT_EQ(EntryOf(list, 1)->mappedValue, 1u);
    EXPECT_EQ(EntryOf(list, 2)->volumeType, 3);
    EXPECT_EQ(server.LastRequest().raw, ConnectionIdRequest(78, 7));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{30, 1, 0, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());
    EXPECT_TRUE(ApiLines().empty());  // no GDFS line either
    FreeInfoList(list);
}

TEST_F(ConnectionsTest, MappedSharesFewerThanAnnounced) {
    FakeServer server(ByFunction(
        {{78, Reply::Status(0, {U32Element(41, 4), ShareElement({.name = "A", .volume = "V"})})}}));
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_GetConnectionMappedShares("7", &list), 0);
    EXPECT_EQ(list->count, 1u);
    FreeInfoList(list);
}

TEST_F(ConnectionsTest, MappedSharesFailures) {
    const Element share = ShareElement({.name = "A", .volume = "V"});
    std::vector<uint8_t> short_record(5000, 0);
    struct Case {
        const char *label;
        Reply reply;
        int rc;
        std::vector<std::string> log;
    };
    const std::string none = "CIFSLIB: There are no mapped shares by this connection 7.";
    const std::string missing = "CIFSLIB: Expected packet type is missing.";
    const Case cases[] = {
        {"no element", Reply::Status(0), -1, {Line("INFO", none)}},
        {"count 0", Reply::Status(0, {U32Element(41, 0), share}), -1, {Line("INFO", none)}},
        {"first of another type",
         Reply::Status(0, {U32Element(6, 1), share}),
         -1,
         {Line("INFO", missing)}},
        {"count too short",
         Reply::Status(0, {BytesElement(41, "a", 1), share}),
         -1,
         {Line("INFO", missing)}},
        {"no share record", Reply::Status(0, {U32Element(41, 1)}), -1, {Line("INFO", missing)}},
        {"a record of another type",
         Reply::Status(0, {U32Element(41, 2), share, TextElement(9, "")}),
         -1,
         {Line("ERROR",
               "CIFSLIB: Invalid data type '9' in response packet to list share information")}},
        {"short share record",
         Reply::Status(0, {U32Element(41, 1), BytesElement(6, short_record.data(), 5000)}),
         -1,
         {Line("ERROR",
               "CIFSLIB: Invalid data type '6' in response packet to list share information")}},
        {"refused",
         Reply::Status(5),
         5,
         {Line("ERROR", "CIFSLIB: Failed to get connection mapped shares. error: 5")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return c.reply; });
        ShareInfoList *list = Sentinel<ShareInfoList>();
        EXPECT_EQ(CIFSLIB_GetConnectionMappedShares("7", &list), c.rc);
        EXPECT_EQ(list, Sentinel<ShareInfoList>());
        EXPECT_EQ(ApiLines(), c.log);
    }
}

}  // namespace
}  // namespace share::test
