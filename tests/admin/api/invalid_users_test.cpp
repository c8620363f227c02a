// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "tests/admin/api/api_testing.h"

namespace share::test {
namespace {

class InvalidUsersTest : public ApiTest {};

// An InvalidUserListRequest carrying `data` after its fixed part.
InvalidUsersRequestRecord ListRequest(const std::string &data) {
    InvalidUsersRequestRecord r = InvalidUsersRequestOf(data);
    std::memset(r->opaque0, 0x3C, sizeof r->opaque0);
    return r;
}

TEST_F(InvalidUsersTest, ListSendsTheRequestAndHandsTheListOver) {
    const std::string list_bytes = "server list";
    FakeServer server(ByFunction(
        {{80, Reply::Status(0, {BytesElement(78, list_bytes.data(), list_bytes.size())})}}));
    InvalidUsersRequestRecord request = ListRequest("filter");
    void *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListInvalidUsers(request.Get(), &list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(std::string(static_cast<char *>(list), list_bytes.size()), list_bytes);
    std::free(list);
    EXPECT_EQ(server.LastRequest().raw,
              EncodeRequest(0, 80, {BytesElement(78, request.Get(), 26)}));
    EXPECT_EQ(ArgBlockIds(3), (std::vector<int32_t>{28, 81, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());  // the caller's record is not left in the block
    EXPECT_TRUE(ApiLines().empty());
}

TEST_F(InvalidUsersTest, ListFailuresLeaveTheListLocation) {
    struct Case {
        const char *label;
        Reply reply;
        int rc;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"refused",
         Reply::Status(2),
         2,
         {Line("ERROR", "CIFSLIB: Failed to list invalid users, error: 2")}},
        {"another type",
         Reply::Status(0, {TextElement(77, "x")}),
         -1,
         {Line("ERROR",
               "CIFSLIB: Invalid data type received in the response packet: 77, expected: 78")}},
        {"no element", Reply::Status(0), -1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server([&](const Request &) { return c.reply; });
        InvalidUsersRequestRecord request = ListRequest("");
        void *list = Sentinel<void>();
        EXPECT_EQ(CIFSLIB_ListInvalidUsers(request.Get(), &list), c.rc);
        EXPECT_EQ(list, Sentinel<void>());
        EXPECT_EQ(ApiLines(), c.log);
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
    void *list = nullptr;
    InvalidUsersRequestRecord request = ListRequest("");
    EXPECT_EQ(CIFSLIB_ListInvalidUsers(nullptr, &list), -1);
    EXPECT_EQ(CIFSLIB_ListInvalidUsers(request.Get(), nullptr), -1);
}

struct UserFunction {
    const char *label;
    int (*call)(const char *);
    int32_t action;
    uint8_t function;
    const char *notReceived;
    const char *refused;
};

const UserFunction kUserFunctions[] = {
    {"add", CIFSLIB_AddPermanentInvalidUser, 10, 22,
     "CIFSLIB: Not received request parameter to add a default/permanent invalid user.",
     "CIFSLIB: Failed to add user as a default/permanent invalid user: %s, error: %d"},
    {"remove", CIFSLIB_RemoveInvalidUser, 11, 23,
     "CIFSLIB: Not received request parameter to remove an invalid user.",
     "CIFSLIB: Failed to remove user as an invalid user: %s, error: %d"},
    {"make permanent", CIFSLIB_MakePermanentInvalidUser, 82, 81,
     "CIFSLIB: Not received request parameter to make an invalid user to be a permanent invalid "
     "user.",
     "CIFSLIB: Failed to make an invalid user as a permanent invalid user: %s, error: %d"},
};

TEST_F(InvalidUsersTest, UserFunctionsSendTheName) {
    const std::string name256(256, 'u');
    for (const UserFunction &f : kUserFunctions) {
        SCOPED_TRACE(f.label);
        FakeServer server;
        ASSERT_EQ(f.call("jdoe  "), 0);
        EXPECT_EQ(server.LastRequest().raw, TextRequest(f.function, 40, "jdoe"));
        EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{28, f.action, 12, 0}));
        EXPECT_TRUE(ArgBlockValuesCleared());
        ASSERT_EQ(f.call(name256.c_str()), 0);
        EXPECT_EQ(server.LastRequest().raw, TextRequest(f.function, 40, name256));
        EXPECT_EQ(f.call((name256 + "u").c_str()), -1);  // rejected by the command processing
        EXPECT_EQ(server.RequestCount(), 2u);
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
    EXPECT_TRUE(ApiLines().empty());
}

TEST_F(InvalidUsersTest, UserFunctionFailures) {
    FakeServer server([](const Request &) { return Reply::Status(2); });
    for (const UserFunction &f : kUserFunctions) {
        SCOPED_TRACE(f.label);
        log_.Clear();
        EXPECT_EQ(f.call("jdoe"), 2);
        EXPECT_EQ(f.call(nullptr), -1);
        char refused[256];
        std::snprintf(refused, sizeof refused, f.refused, "jdoe", 2);
        EXPECT_EQ(ApiLines(),
                  (std::vector<std::string>{Line("ERROR", refused), Line("ERROR", f.notReceived)}));
    }
    EXPECT_EQ(server.RequestCount(), 3u);
}

}  // namespace
}  // namespace share::test
