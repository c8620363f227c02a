// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "tests/admin/api/api_testing.h"

namespace share::test {
namespace {

// An OpenFilesRequest with the given strings and patterned opaque bytes, which must reach the
// server unchanged.
OpenFilesRequestRecord PatternedRequest(uint32_t connectionId, uint32_t nameOffset,
                                        std::string_view strings) {
    OpenFilesRequestRecord r = OpenFilesRequestOf(strings, nameOffset, connectionId);
    std::memset(r->opaque4, 0xA4, sizeof r->opaque4);
    std::memset(r->opaque20, 0xB2, sizeof r->opaque20);
    return r;
}

class OpenFilesTest : public ApiTest {};

TEST_F(OpenFilesTest, ListHandsTheReplyOver) {
    const std::string reply = "opaque reply bytes";
    FakeServer server([&](const Request &) {
        return Reply::Status(
            0, {BytesElement(77, reply.data(), reply.size()), TextElement(41, "ignored")});
    });
    OpenFilesRequestRecord request = PatternedRequest(12, 0, std::string_view("VOL1:/a\0xy", 10));
    void *out = nullptr;
    ASSERT_EQ(CIFSLIB_ListOpenFiles(request.Get(), &out), 0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(static_cast<char *>(out), reply.size()), reply);
    std::free(out);

    const Request sent = server.LastRequest();
    EXPECT_EQ(sent.raw, EncodeRequest(0, 79, {BytesElement(77, request.Get(), 38)}));
    EXPECT_EQ(ArgBlockIds(5), (std::vector<int32_t>{32, 7, 60, 80, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());
}

TEST_F(OpenFilesTest, ListFailuresLeaveTheReplyLocation) {
    struct Case {
        const char *label;
        uint32_t connectionId;
        uint32_t nameOffset;
        Reply reply;
        int rc;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"refused for a connection",
         70000,
         OPEN_FILES_BY_CONNECTION,
         Reply::Status(3),
         3,
         {Line("ERROR", "CIFSLIB: Failed to list open files of: 4464, error: 3")}},
        {"refused for a name",
         1,
         5,
         Reply::Status(6),
         6,
         {Line("ERROR", "CIFSLIB: Failed to list open files of: VOL9, error: 6")}},
        {"first element of another type",
         1,
         0,
         Reply::Status(0, {TextElement(41, "x")}),
         -1,
         {Line("DEBUG", "CIFSLIB: Invalid data type received in the response packet: 41")}},
        {"no element", 1, 0, Reply::Status(0), -1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return c.reply; });
        OpenFilesRequestRecord request =
            PatternedRequest(c.connectionId, c.nameOffset, std::string_view("VOL1\0VOL9", 10));
        void *out = Sentinel<void>();
        EXPECT_EQ(CIFSLIB_ListOpenFiles(request.Get(), &out), c.rc);
        EXPECT_EQ(out, Sentinel<void>());
        EXPECT_EQ(ApiLines(), c.log);
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
}

TEST_F(OpenFilesTest, ListRejectsNullArgumentsWithoutExchange) {
    FakeServer server;
    OpenFilesRequestRecord request = PatternedRequest(1, 0, "x");
    void *out = nullptr;
    EXPECT_EQ(CIFSLIB_ListOpenFiles(nullptr, &out), -1);
    EXPECT_EQ(CIFSLIB_ListOpenFiles(request.Get(), nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 0u);
    const std::string line =
        Line("ERROR", "CIFSLIB: Not received request parameter to list open files.");
    EXPECT_EQ(ApiLines(), (std::vector<std::string>{line, line}));
}

TEST_F(OpenFilesTest, CloseSendsThePathOrTheVolume) {
    FakeServer server;
    OpenFileRecord record = OpenFileOf(std::string_view("xx\0VOL1:/a/b.txt", 17), 3);
    OpenFileInfo *file = record.Get();
    ASSERT_EQ(CIFSLIB_CloseOpenFile(file), 0);
    EXPECT_EQ(server.LastRequest().raw, TextRequest(36, 42, "VOL1:/a/b.txt"));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{32, 33, 34, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());

    ShareInfoBuilder share;
    share.Name("DATA").Volume("VOL1");
    ASSERT_EQ(CIFSLIB_CloseAllOpenFiles(share.Get()), 0);
    EXPECT_EQ(server.LastRequest().raw, TextRequest(38, 42, "VOL1"));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{32, 33, 35, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());
    EXPECT_TRUE(ApiLines().empty());
}

TEST_F(OpenFilesTest, CloseAfterCreateOnTheSameThread) {
    // Creating leaves a code in entry 4; the close ends its list at entry 3 before it.
    FakeServer server;
    ShareInfoBuilder share;
    share.Name("DATA").Volume("VOL1").Path("/").NoComment();
    ASSERT_EQ(CIFSLIB_CreateShare(share.Get()), 0);
    ASSERT_NE(gbCifsArg[4].id, 0);
    ASSERT_EQ(CIFSLIB_CloseAllOpenFiles(share.Get()), 0);
    EXPECT_EQ(server.LastRequest().function, 38);
}

TEST_F(OpenFilesTest, CloseRefusalsAndNullRecords) {
    FakeServer server([](const Request &) { return Reply::Status(9); });
    OpenFileRecord record = OpenFileOf(std::string_view("/f", 3));
    OpenFileInfo *file = record.Get();
    ShareInfoBuilder share;
    share.Name("DATA").Volume("VOL1");
    EXPECT_EQ(CIFSLIB_CloseOpenFile(file), 9);
    EXPECT_EQ(CIFSLIB_CloseAllOpenFiles(share.Get()), 9);
    EXPECT_EQ(CIFSLIB_CloseOpenFile(nullptr), -1);
    EXPECT_EQ(CIFSLIB_CloseAllOpenFiles(nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(
        ApiLines(),
        (std::vector<std::string>{
            Line("ERROR", "CIFSLIB: Failed to close file: /f, error: 9"),
            Line("ERROR", "CIFSLIB: Not received openFileInfo parameter to close an open file.")}));
}

// ---- User contexts ----

class UserContextsTest : public ApiTest {};

TEST_F(UserContextsTest, ListCopiesHeaderAndData) {
    struct Case {
        const char *label;
        Element reply;
        uint32_t word;
        std::string data;
    };
    const Case cases[] = {
        {"contexts", UserContextsElement(0xC0FFEE, 9, std::string("ou=a\0ou=b", 9)), 0xC0FFEE,
         std::string("ou=a\0ou=b", 9)},
        {"empty", UserContextsElement(7, 0, ""), 7, ""},
        {"element longer than announced", UserContextsElement(1, 2, "abcdef"), 1, "ab"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        FakeServer server([&](const Request &) { return Reply::Status(0, {c.reply}); });
        UserContextHeader *header = nullptr;
        void *data = nullptr;
        ASSERT_EQ(CIFSLIB_ListUserContexts(&header, &data), 0);
        ASSERT_NE(header, nullptr);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(header->contextWord, c.word);
        EXPECT_EQ(header->dataLength, c.data.size());
        EXPECT_EQ(std::string(static_cast<char *>(data), c.data.size()), c.data);
        EXPECT_EQ(server.LastRequest().raw, NoElementRequest(82));
        EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{83, 7, 0, 0}));
        std::free(header);
        std::free(data);
    }
}

TEST_F(UserContextsTest, ListWithoutResult) {
    struct Case {
        const char *label;
        Reply reply;
        int rc;
        std::vector<std::string> log;
    };
    const std::string bad =
        "CIFSLIB: Internal error - Invalid data type in the response packet. type: %d";
    auto badLine = [&](int type) {
        char text[128];
        std::snprintf(text, sizeof text, bad.c_str(), type);
        return Line("DEBUG", text);
    };
    const Case cases[] = {
        {"no element",
         Reply::Status(0),
         0,
         {Line("DEBUG", "CIFSLIB: There are no user contexts.")}},
        {"refused",
         Reply::Status(8),
         8,
         {Line("ERROR", "CIFSLIB: Listing of user contexts Failed. error: 8")}},
        {"another type", Reply::Status(0, {TextElement(41, "x")}), -1, {badLine(41)}},
        {"data length past the element",
         Reply::Status(0, {UserContextsElement(1, 100, "abc")}),
         -1,
         {badLine(28)}},
        {"shorter than the header",
         Reply::Status(0, {BytesElement(28, "abcd", 4)}),
         -1,
         {badLine(28)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return c.reply; });
        UserContextHeader *header = Sentinel<UserContextHeader>();
        void *data = Sentinel<void>();
        EXPECT_EQ(CIFSLIB_ListUserContexts(&header, &data), c.rc);
        EXPECT_EQ(header, Sentinel<UserContextHeader>());
        EXPECT_EQ(data, Sentinel<void>());
        EXPECT_EQ(ApiLines(), c.log);
    }
}

TEST_F(UserContextsTest, AddAndRemove) {
    FakeServer server;
    const std::string context = "ou=users,o=corp";
    std::vector<uint8_t> sent(512, 0);
    std::memcpy(sent.data(), context.data(), context.size());
    ASSERT_EQ(CIFSLIB_AddUserContext((context + "  ").c_str()), 0);
    EXPECT_EQ(server.LastRequest().raw,
              EncodeRequest(0, 83, {BytesElement(28, sent.data(), sent.size())}));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{83, 10, 0, 0}));
    ASSERT_EQ(CIFSLIB_RemoveUserContext(context.c_str()), 0);
    EXPECT_EQ(server.LastRequest().raw,
              EncodeRequest(0, 84, {BytesElement(28, sent.data(), sent.size())}));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{83, 11, 0, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());
    EXPECT_TRUE(ApiLines().empty());
}

TEST_F(UserContextsTest, AddAndRemoveFailures) {
    FakeServer server([](const Request &) { return Reply::Status(12); });
    EXPECT_EQ(CIFSLIB_AddUserContext("ou=x"), 12);
    EXPECT_EQ(CIFSLIB_RemoveUserContext("ou=x"), 12);
    EXPECT_EQ(CIFSLIB_AddUserContext(std::string(512, 'c').c_str()), -1);
    EXPECT_TRUE(ArgBlockValuesCleared());
    EXPECT_EQ(CIFSLIB_AddUserContext(nullptr), -1);
    EXPECT_EQ(CIFSLIB_RemoveUserContext(nullptr), -1);
    EXPECT_EQ(CIFSLIB_ListUserContexts(nullptr, nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(ApiLines(),
              (std::vector<std::string>{
                  Line("ERROR", "CIFSLIB: Adding of user context Failed. error: 12"),
                  Line("ERROR", "CIFSLIB: Removing of user context Failed. error: 12"),
                  Line("ERROR", "CIFSLIB: CIFSLIB_AddUserContext: Invalid output parameters."),
                  Line("ERROR", "CIFSLIB: CIFSLIB_RemoveUserContext: Invalid output parameters."),
                  Line("ERROR", "CIFSLIB: CIFSLIB_ListUserContexts: Invalid output parameters.")}));
}

}  // namespace
}  // namespace share::test
