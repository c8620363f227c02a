// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "tests/admin/api/api_testing.h"

namespace share::test {
namespace {

class ShareNamesTest : public ApiTest {};

struct NamesCase {
    const char *label;
    std::vector<uint8_t> response;
    int rc;
    std::vector<std::string> slots;  // expected names; "" = an all-zero slot
    std::vector<std::string> log;
};

std::vector<NamesCase> NamesCases() {
    const std::string long_name(100, 'n');
    return {
        {"two names",
         EncodeResponse(0, {TextElement(1, "DATA"), TextElement(1, "VOL1")}),
         0,
         {"DATA", "VOL1"},
         {}},
        {"an element of another type leaves the last slot zero",
         EncodeResponse(0, {TextElement(1, "A"), TextElement(5, "x"), TextElement(1, "B")}),
         0,
         {"A", "B", ""},
         {Line("ERROR",
               "CIFSLIB: Invalid data type '5' in response packet of listing all share names")}},
        {"a name over 81 characters is cut to its slot",
         EncodeResponse(0, {TextElement(1, long_name)}),
         0,
         {long_name.substr(0, 81)},
         {}},
        {"a name without terminator stays inside its element",
         EncodeResponse(0, {BytesElement(1, "ABC", 3)}),
         0,
         {"ABC"},
         {}},
        {"more names than announced are dropped",
         ResponseWithCount(0, 1, {TextElement(1, "A"), TextElement(1, "B")}),
         0,
         {"A"},
         {}},
        {"fewer names than announced leave zero slots",
         ResponseWithCount(0, 3, {TextElement(1, "A")}),
         0,
         {"A", "", ""},
         {}},
    };
}

TEST_F(ShareNamesTest, BuildsTheListFromTheNameElements) {
    for (const NamesCase &c : NamesCases()) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return Reply::Raw(c.response); });
        ShareNameList *list = Sentinel<ShareNameList>();
        ASSERT_EQ(CIFSLIB_GetShareNames(&list), c.rc);
        ASSERT_NE(list, Sentinel<ShareNameList>());
        ASSERT_EQ(list->count, c.slots.size());
        for (size_t i = 0; i < c.slots.size(); ++i) {
            if (c.slots[i].empty())
                EXPECT_TRUE(SlotIsZero(list, i)) << i;
            else
                EXPECT_EQ(SlotOf(list, i), c.slots[i]) << i;
        }
        EXPECT_EQ(ApiLines(), c.log);
        ASSERT_EQ(server.RequestCount(), 1u);
        EXPECT_EQ(server.LastRequest().raw, NoElementRequest(0));
        EXPECT_EQ(ArgBlockIds(3), (std::vector<int32_t>{1, 7, 0}));
        EXPECT_TRUE(ArgBlockValuesCleared());
        std::free(list);
    }
}

TEST_F(ShareNamesTest, FailuresLeaveTheCallersPointer) {
    struct Case {
        const char *label;
        std::vector<uint8_t> response;
        int rc;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"no shares",
         EncodeResponse(0, {}),
         0,
         {Line("DEBUG", "CIFSLIB: No shares exist on the server")}},
        {"refused",
         EncodeResponse(5, {}),
         5,
         {Line("ERROR", "CIFSLIB: Listing names of all volumes/shares failed, error: 5")}},
        {"count without elements",
         ResponseWithCount(0, 2, {}),
         -1,
         {Line("DEBUG",
               "CIFSLIB: No data is available in the response packet to list the shares")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return Reply::Raw(c.response); });
        ShareNameList *list = Sentinel<ShareNameList>();
        EXPECT_EQ(CIFSLIB_GetShareNames(&list), c.rc);
        EXPECT_EQ(list, Sentinel<ShareNameList>());
        EXPECT_EQ(ApiLines(), c.log);
    }
}

TEST_F(ShareNamesTest, NullResultIsRejectedWithoutExchange) {
    FakeServer server;
    EXPECT_EQ(CIFSLIB_GetShareNames(nullptr), -1);
    EXPECT_EQ(CIFSLIB_ListAllShares(nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(ApiLines(),
              (std::vector<std::string>{
                  Line("ERROR",
                       "CIFSLIB: Not received sharesList parameter to fill names of all the "
                       "shares."),
                  Line("ERROR",
                       "CIFSLIB: Not received sharesList parameter to fill information of all the "
                       "shares.")}));
}

TEST_F(ShareNamesTest, MessagesFollowTheirLevelBits) {
    FakeServer server(ByFunction({{0, Reply::Status(0)}}));
    gCIFSLogLevel = kLogEverything & ~uint32_t{CIFS_LOG_DEBUG};
    ShareNameList *list = nullptr;
    EXPECT_EQ(CIFSLIB_GetShareNames(&list), 0);
    EXPECT_TRUE(ApiLines().empty());
    server.SetHandler(ByFunction({{0, Reply::Status(3)}}));
    gCIFSLogLevel = kLogEverything & ~uint32_t{CIFS_LOG_ERROR};
    EXPECT_EQ(CIFSLIB_GetShareNames(&list), 3);
    EXPECT_TRUE(ApiLines().empty());
    EXPECT_EQ(list, nullptr);
}

// ---- Listing every share ----

class ListAllSharesTest : public ApiTest {
  protected:
    // Names first, then each name's record from `shares` (keyed by name).
    static FakeServer::Handler Server(std::vector<std::string> names,
                                      std::map<std::string, Reply> details) {
        return [names, details](const Request &r) {
            if (r.function == 0) {
                std::vector<Element> elements;
                for (const std::string &n : names) elements.push_back(TextElement(1, n));
                return Reply::Status(0, elements);
            }
            const auto it = details.find(RequestedShareName(r));
            return it != details.end() ? it->second : Reply::Status(98);
        };
    }
};

TEST_F(ListAllSharesTest, OneRecordPerNameWithEveryField) {
    const ShareFields data{.name = "DATA",
                           .volume = "VOL1",
                           .path = "/users/public",
                           .comment = "team files",
                           .aux = "aux text",
                           .type = 0,
                           .serverValue = 0xA1B2C3D4,
                           .flags = 0,
                           .folder = 7,
                           .encrypt = -1,
                           .atm = 2};
    const ShareFields vol{.name = "VOL1", .volume = "VOL1", .folder = 0, .encrypt = 0, .atm = 0};
    FakeServer server(Server({"DATA", "VOL1"},
                             {{"DATA", Reply::Status(0, {ShareElement(data), TextElement(9, "x")})},
                              {"VOL1", Reply::Status(0, {ShareElement(vol)})}}));
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 2u);

    const ShareInfo *info = EntryOf(list, 0);
    EXPECT_EQ(info->volumeType, SHARE_TYPE_DIRECTORY);
    EXPECT_EQ(info->modifyMask, 0u);
    EXPECT_EQ(info->shareValue, 0xA1B2C3D4u);
    EXPECT_EQ(info->encryptData, 1);
    EXPECT_EQ(info->folderRedirection, 1);
    EXPECT_EQ(info->atmBackup, 2);
    EXPECT_EQ(info->nameOffset, 0u);
    EXPECT_EQ(info->volumeOffset, 5u);
    EXPECT_EQ(info->pathOffset, 10u);
    EXPECT_EQ(info->auxTextOffset, 24u);
    EXPECT_EQ(info->commentOffset, 33u);
    EXPECT_EQ(info->newNameOffset, 0u);
    EXPECT_EQ(info->mappedValue, 0u);
    EXPECT_EQ(info->stringBytes, 44u);
    EXPECT_EQ(TextOf(info, info->nameOffset), "DATA");
    EXPECT_EQ(TextOf(info, info->volumeOffset), "VOL1");
    EXPECT_EQ(TextOf(info, info->pathOffset), "/users/public");
    EXPECT_EQ(TextOf(info, info->auxTextOffset), "aux text");
    EXPECT_EQ(TextOf(info, info->commentOffset), "team files");

    const ShareInfo *second = EntryOf(list, 1);
    EXPECT_EQ(second->volumeType, SHARE_TYPE_VOLUME);
    EXPECT_EQ(second->encryptData, 0);
    EXPECT_EQ(second->folderRedirection, 0);
    // An empty comment still has its terminator.
    EXPECT_EQ(second->commentOffset, 12u);
    EXPECT_EQ(second->stringBytes, 13u);
    EXPECT_EQ(TextOf(second, second->commentOffset), "");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].raw, NoElementRequest(0));
    EXPECT_EQ(requests[1].raw, ShareDetailsRequest("DATA"));
    EXPECT_EQ(requests[2].raw, ShareDetailsRequest("VOL1"));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{1, 7, 12, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());
    FreeInfoList(list);
}

TEST_F(ListAllSharesTest, VolumeTypeDerivation) {
    struct Case {
        const char *label;
        ShareFields share;
        uint16_t type;
        bool gdfsLine;
    };
    const Case cases[] = {
        {"directory share", {.name = "DATA", .volume = "VOL1"}, 4, false},
        {"whole volume", {.name = "VOL1", .volume = "VOL1"}, 0, false},
        {"names differ only in case", {.name = "vol1", .volume = "VOL1"}, 4, false},
        {"_ADMIN volume", {.name = "_ADMIN", .volume = "_ADMIN"}, 2, false},
        {"admin volume", {.name = "admin", .volume = "admin"}, 2, false},
        {"admin wins over the flag", {.name = "ADMIN", .volume = "ADMIN", .flags = 2}, 2, false},
        {"flagged volume", {.name = "VOL2", .volume = "VOL2", .flags = 0x02}, STYPE_GDFS, true},
        {"other flag bits", {.name = "VOL2", .volume = "VOL2", .flags = 0xFD}, 0, false},
        {"flag on a directory share", {.name = "D", .volume = "VOL2", .flags = 2}, 4, false},
        {"server code kept", {.name = "DATA", .volume = "VOL1", .type = 3}, 3, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server(
            Server({c.share.name}, {{c.share.name, Reply::Status(0, {ShareElement(c.share)})}}));
        ShareInfoList *list = nullptr;
        ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
        ASSERT_EQ(list->count, 1u);
        EXPECT_EQ(EntryOf(list, 0)->volumeType, c.type);
        const std::vector<std::string> gdfs = {
            Line("EVENT", "******** setting volumeType to STYPE_GDFS ************")};
        EXPECT_EQ(ApiLines(), c.gdfsLine ? gdfs : std::vector<std::string>{});
        FreeInfoList(list);
    }
}

TEST_F(ListAllSharesTest, TypeWordAboveSixteenBitsIsNotAType) {
    ShareParams record = ShareRecord({.name = "VOL1", .volume = "VOL1"});
    record.volumeType = 0x00050000;
    FakeServer server(Server({"VOL1"}, {{"VOL1", Reply::Status(0, {RecordElement(6, record)})}}));
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    EXPECT_EQ(EntryOf(list, 0)->volumeType, 0);
    FreeInfoList(list);
}

TEST_F(ListAllSharesTest, NoSharesGiveAnEmptyList) {
    FakeServer server(ByFunction({{0, Reply::Status(0)}}));
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0u);
    EXPECT_EQ(server.RequestCount(), 1u);
    std::free(list);
}

TEST_F(ListAllSharesTest, FailuresReleaseEverythingAndStoreNothing) {
    const ShareFields a{.name = "A", .volume = "V"}, b{.name = "B", .volume = "V"};
    struct Case {
        const char *label;
        std::map<std::string, Reply> details;
        int rc;
        size_t requests;
        std::vector<std::string> log;
    };
    const std::string bad_type =
        "CIFSLIB: Invalid data type '7' in response packet to list share information of: C";
    std::vector<uint8_t> short_record(5000, 0);
    const Case cases[] = {
        {"third name refused",
         {{"A", Reply::Status(0, {ShareElement(a)})},
          {"B", Reply::Status(0, {ShareElement(b)})},
          {"C", Reply::Status(5)}},
         5,
         4,
         {Line("ERROR", "CIFSLIB: Listing of all volumes/shares failed, error: 5")}},
        {"element of type 7",
         {{"A", Reply::Status(0, {ShareElement(a)})},
          {"B", Reply::Status(0, {ShareElement(b)})},
          {"C", Reply::Status(0, {TextElement(9, ""), TextElement(7, "x")})}},
         -1,
         4,
         {Line("ERROR", bad_type)}},
        {"no element",
         {{"A", Reply::Status(0, {ShareElement(a)})}, {"B", Reply::Status(0)}},
         -1,
         3,
         {Line("DEBUG",
               "CIFSLIB: No data is available in the response packet to store share information "
               "of: B")}},
        {"short share record",
         {{"A", Reply::Status(0, {BytesElement(6, short_record.data(), short_record.size())})}},
         -1,
         2,
         {Line("ERROR",
               "CIFSLIB: Invalid data type '6' in response packet to list share information of: "
               "A")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server(Server({"A", "B", "C"}, c.details));
        ShareInfoList *list = Sentinel<ShareInfoList>();
        EXPECT_EQ(CIFSLIB_ListAllShares(&list), c.rc);
        EXPECT_EQ(list, Sentinel<ShareInfoList>());
        EXPECT_EQ(server.RequestCount(), c.requests);
        EXPECT_EQ(ApiLines(), c.log);
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
}

TEST_F(ListAllSharesTest, NameRefusalIsPassedOn) {
    FakeServer server(ByFunction({{0, Reply::Status(7)}}));
    ShareInfoList *list = Sentinel<ShareInfoList>();
    EXPECT_EQ(CIFSLIB_ListAllShares(&list), 7);
    EXPECT_EQ(list, Sentinel<ShareInfoList>());
}

TEST_F(ListAllSharesTest, ExtraRecordsInOneAnswerAreDropped) {
    const ShareFields a{.name = "A", .volume = "V"}, extra{.name = "X", .volume = "V"};
    FakeServer server(Server(
        {"A", "B"},
        {{"A", Reply::Status(0, {ShareElement(a), ShareElement(extra), ShareElement(extra)})},
         {"B", Reply::Status(0, {ShareElement(extra)})}}));
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    ASSERT_EQ(list->count, 2u);
    EXPECT_EQ(TextOf(EntryOf(list, 0), 0), "A");
    EXPECT_EQ(TextOf(EntryOf(list, 1), 0), "X");
    FreeInfoList(list);
}

TEST_F(ListAllSharesTest, SkippedNameSlotSendsAnEmptyName) {
    // The name list's last slot stays zero, so the last details query names no share.
    FakeServer server([](const Request &r) {
        if (r.function == 0) return Reply::Status(0, {TextElement(1, "A"), TextElement(3, "?")});
        const std::string name = RequestedShareName(r);
        return Reply::Status(
            0, {ShareElement({.name = name.empty() ? "EMPTY" : name, .volume = "V"})});
    });
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    ASSERT_EQ(list->count, 2u);
    EXPECT_EQ(server.Requests()[2].raw, ShareDetailsRequest(""));
    EXPECT_EQ(TextOf(EntryOf(list, 1), 0), "EMPTY");
    FreeInfoList(list);
}

TEST_F(ListAllSharesTest, TextsWithoutTerminatorStayInsideTheirFields) {
    ShareParams record = ShareRecord({.name = "N", .volume = "V"});
    std::memset(record.volumeName, 'v', sizeof record.volumeName);
    std::memset(record.comment, 'c', sizeof record.comment);
    std::memset(record.auxText, 'a', sizeof record.auxText);
    FakeServer server(Server({"N"}, {{"N", Reply::Status(0, {RecordElement(6, record)})}}));
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    const ShareInfo *info = EntryOf(list, 0);
    EXPECT_EQ(TextOf(info, info->volumeOffset), std::string(65, 'v'));
    EXPECT_EQ(TextOf(info, info->auxTextOffset), std::string(4150, 'a'));
    EXPECT_EQ(TextOf(info, info->commentOffset), std::string(48, 'c'));
    EXPECT_EQ(info->stringBytes, 2u + 66u + 1u + 4151u + 49u);
    FreeInfoList(list);
}

}  // namespace
}  // namespace share::test
