// SPDX-License-Identifier: Apache-2.0
// Connection monitoring against the fake server: the list and one connection's details.
#include <string>

#include "tests/monitor/monitor_testing.h"
#include "tests/support/alloc_fault.h"

namespace share::test {
namespace {

constexpr char kInvalidType[] =
    "ERROR: CLI: Internal error - Invalid data type in the response packet";
constexpr char kNoDetails[] = "ERROR: CLI: Failed to get connection details from response packet";

std::vector<ConnListNode *> Nodes(ConnListNode *head) {
    std::vector<ConnListNode *> out;
    for (; head != nullptr; head = head->next) out.push_back(head);
    return out;
}

void ExpectSample(const ConnListNode &n, uint16_t id) {
    const std::string s = std::to_string(id);
    EXPECT_EQ(+n.connectionId, id);
    EXPECT_STREQ(n.text20, ("10.0.0." + s).c_str());
    EXPECT_STREQ(n.text36, ("cn=user" + s + ",o=org").c_str());
    EXPECT_STREQ(n.text292, ("2024-01-0" + s.substr(0, 1) + " 10:00:00").c_str());
    EXPECT_EQ(+n.value326, 326000u + id);
    EXPECT_EQ(+n.value330, 0xA000000000000000u + id);
    EXPECT_EQ(+n.value338, 0xB000000000000000u + id);
    EXPECT_EQ(+n.value12, 0x1122334455660000u + id);
}

using ListTest = MonitorTest;

TEST_F(ListTest, ListsConnectionsInReplyOrder) {
    FakeServer server([](const Request &) {
        return Reply::Status(0,
                             {ConnRecord::Sample(7).ToElement(), ConnRecord::Sample(3).ToElement(),
                              ConnRecord::Sample(9).ToElement()});
    });
    int32_t count = 5;
    ConnListNode *list = nullptr;
    ASSERT_EQ(Ext_ListConnDetails(&count, &list), 0);
    EXPECT_EQ(count, 8);
    const auto nodes = Nodes(list);
    ASSERT_EQ(nodes.size(), 3u);
    ExpectSample(*nodes[0], 7);
    ExpectSample(*nodes[1], 3);
    ExpectSample(*nodes[2], 9);
    FreeConnListNodes(&list);

    const Request req = server.LastRequest();
    EXPECT_EQ(req.raw, (std::vector<uint8_t>{0, 26, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ListTest, CutsTextsThatFillTheirField) {
    ConnRecord r = ConnRecord::Sample(1);
    r.Text(20, 16, std::string(16, 'a'))
        .Text(36, 256, std::string(256, 'b'))
        .Text(292, 20, std::string(20, 'c'));
    FakeServer server([&](const Request &) { return Reply::Status(0, {r.ToElement()}); });
    int32_t count = 0;
    ConnListNode *list = nullptr;
    ASSERT_EQ(Ext_ListConnDetails(&count, &list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(std::string(list->text20), std::string(15, 'a'));
    EXPECT_EQ(std::string(list->text36), std::string(255, 'b'));
    EXPECT_EQ(std::string(list->text292), std::string(19, 'c'));
    FreeConnListNodes(&list);
}

TEST_F(ListTest, SkipsOtherTypesAndShortRecords) {
    struct Case {
        const char *name;
        std::vector<Element> elements;
        size_t nodes;
        size_t logged;
    };
    const Case cases[] = {
        {"mixed", {ConnRecord::Sample(1).ToElement(), TextElement(42, "x")}, 1, 1},
        {"short record",
         {ConnRecord::Sample(1).Truncate(417).ToElement(), ConnRecord::Sample(2).ToElement()},
         1,
         1},
        {"only other types", {TextElement(1, "a"), TextElement(6, "b")}, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        log_.Clear();
        FakeServer server([&](const Request &) { return Reply::Status(0, c.elements); });
        int32_t count = 10;
        ConnListNode *list = Untouched<ConnListNode>();
        ASSERT_EQ(Ext_ListConnDetails(&count, &list), 0);
        EXPECT_EQ(count, static_cast<int32_t>(10 + c.nodes));
        EXPECT_EQ(Nodes(list).size(), c.nodes);  // null head when nothing was kept
        EXPECT_EQ(Logged(kInvalidType), c.logged);
        FreeConnListNodes(&list);
    }
}

TEST_F(ListTest, EmptyListResetsTheCounter) {
    FakeServer server;
    int32_t count = 7;
    ConnListNode *list = Untouched<ConnListNode>();
    EXPECT_EQ(Ext_ListConnDetails(&count, &list), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list, Untouched<ConnListNode>());
}

TEST_F(ListTest, RefusalAndLocalFailures) {
    int32_t count = 4;
    ConnListNode *list = Untouched<ConnListNode>();
    EXPECT_EQ(Ext_ListConnDetails(&count, &list), -1);  // no server
    {
        FakeServer server([](const Request &) { return Reply::Status(5); });
        EXPECT_EQ(Ext_ListConnDetails(&count, &list), 5);
        EXPECT_EQ(
            Logged("ERROR: CLI: (Interface)Listing of all active connections failed. Error: 5"),
            1u);
        EXPECT_EQ(Ext_ListConnDetails(nullptr, &list), -1);
        EXPECT_EQ(Ext_ListConnDetails(&count, nullptr), -1);
        EXPECT_EQ(server.RequestCount(), 1u);
    }
    EXPECT_EQ(count, 4);
    EXPECT_EQ(list, Untouched<ConnListNode>());
}

TEST_F(ListTest, AllocationFailuresKeepNothing) {
    FakeServer server([](const Request &) {
        return Reply::Status(0, {ConnRecord::Sample(1).ToElement(), TextElement(6, "x"),
                                 ConnRecord::Sample(2).ToElement()});
    });
    const long runs = ForEachAllocationFailure([this](AllocFaultScope &scope) {
        int32_t count = 1;
        ConnListNode *list = Untouched<ConnListNode>();
        const int rc = Ext_ListConnDetails(&count, &list);
        scope.Disarm();
        log_.Clear();
        if (rc == 0) {  // the failed allocation did not matter (e.g. inside logging)
            EXPECT_EQ(count, 3);
            EXPECT_EQ(Nodes(list).size(), 2u);
            FreeConnListNodes(&list);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(list, Untouched<ConnListNode>());
            EXPECT_LE(count, 3);
        }
    });
    EXPECT_GT(runs, 5);
}

using DetailsTest = MonitorTest;

TEST_F(DetailsTest, ReadsFixedFieldsDnsAndFiles) {
    // Two DNs in a 40-byte area: the first entry starts at 458, after 8 skipped bytes.
    const ConnRecord r = ConnRecord::Sample(4)
                             .Dns({"cn=admin,o=org", "cn=ops"}, 40)
                             .Files({"VOL1:/a.txt", "", "VOL2:/dir/b"});
    ASSERT_EQ(r.Bytes()[458], 0xEE);
    FakeServer server([&](const Request &) { return Reply::Status(0, {r.ToElement()}); });
    UserDetailsNode *d = nullptr;
    ASSERT_EQ(Ext_GetConnInfo(4, &d), 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(+d->connectionId, 4);
    EXPECT_STREQ(d->text20, "10.0.0.4");
    EXPECT_STREQ(d->text386, "dom4");
    EXPECT_STREQ(d->text354, "ws4");
    EXPECT_STREQ(d->text36, "cn=user4,o=org");
    EXPECT_STREQ(d->text292, "2024-01-04 10:00:00");
    EXPECT_EQ(+d->value12, 0x1122334455660004u);
    ASSERT_EQ(+d->secEquivCount, 2u);
    EXPECT_STREQ(d->secEquivDns[0], "cn=admin,o=org");
    EXPECT_STREQ(d->secEquivDns[1], "cn=ops");
    ASSERT_EQ(+d->openFileCount, 3);
    EXPECT_STREQ(d->openFileNames[0], "VOL1:/a.txt");
    EXPECT_STREQ(d->openFileNames[1], "");
    EXPECT_STREQ(d->openFileNames[2], "VOL2:/dir/b");
    FreeUserDetailsNode(&d);
}

TEST_F(DetailsTest, NoOpenFilesMeansNoNameArray) {
    const ConnRecord r = ConnRecord::Sample(2).Dns({"cn=a", "cn=b"});
    FakeServer server([&](const Request &) { return Reply::Status(0, {r.ToElement()}); });
    UserDetailsNode *d = nullptr;
    ASSERT_EQ(Ext_GetConnInfo(2, &d), 0);
    EXPECT_EQ(+d->secEquivCount, 2u);
    EXPECT_EQ(+d->openFileCount, 0);
    EXPECT_EQ(+d->openFileNames, nullptr);
    FreeUserDetailsNode(&d);
}

TEST_F(DetailsTest, SendsTheLow16BitsOfTheConnectionNumber) {
    FakeServer server([](const Request &) { return Reply::Status(0, {TextElement(42, "x")}); });
    const std::pair<int32_t, std::vector<uint8_t>> cases[] = {
        {65535, {0xFF, 0xFF}}, {65536, {0, 0}}, {65536 + 7, {7, 0}}, {-1, {0xFF, 0xFF}}};
    for (const auto &[number, wire] : cases) {
        UserDetailsNode *d = Untouched<UserDetailsNode>();
        EXPECT_EQ(Ext_GetConnInfo(number, &d), 0);  // first element not a record: nothing stored
        EXPECT_EQ(d, Untouched<UserDetailsNode>());
        const Request req = server.LastRequest();
        EXPECT_EQ(req.function, 29);
        ASSERT_EQ(req.elements.size(), 1u);
        EXPECT_EQ(req.elements[0].type, 41);
        EXPECT_EQ(req.elements[0].payload, wire) << number;
    }
}

TEST_F(DetailsTest, RefusalEmptyReplyAndNoServer) {
    UserDetailsNode *d = Untouched<UserDetailsNode>();
    EXPECT_EQ(Ext_GetConnInfo(1, &d), -1);
    {
        FakeServer server([](const Request &) { return Reply::Status(12); });
        EXPECT_EQ(Ext_GetConnInfo(1, &d), 12);
        EXPECT_EQ(Logged("ERROR: CLI: (Interface)Getting User Details Failed. Error: 12"), 1u);
        server.SetHandler([](const Request &) { return Reply::Status(0); });
        EXPECT_EQ(Ext_GetConnInfo(1, &d), -1);
        EXPECT_EQ(Logged(kNoDetails), 1u);
        EXPECT_EQ(Ext_GetConnInfo(1, nullptr), -1);
        EXPECT_EQ(server.RequestCount(), 2u);
    }
    EXPECT_EQ(d, Untouched<UserDetailsNode>());
}

// Records whose counts or lengths run past the element: nothing is read there or kept, and the
// call answers as for an element of another type.
TEST_F(DetailsTest, RejectsRecordsThatRunPastTheirEnd) {
    struct Case {
        const char *name;
        ConnRecord record;
    };
    const Case cases[] = {
        {"shorter than the fixed part", ConnRecord::Sample(1).Truncate(417)},
        {"DN area past the end", ConnRecord::Sample(1).Dns({"cn=a"}).Put<uint32_t>(350, 6)},
        {"more DNs than the area holds",
         ConnRecord::Sample(1).Dns({"cn=a", "cn=b"}).Put<uint32_t>(346, 3)},
        {"DN without NUL in the area",
         ConnRecord::Sample(1).Dns({"cn=a", "cn=bb"}).Put<uint32_t>(350, 7).Files({"f"})},
        {"huge DN count", ConnRecord::Sample(1).Dns({"cn=a"}).Put<uint32_t>(346, 0xFFFFFFFF)},
        {"more files than entries",
         ConnRecord::Sample(1).Dns({"cn=a"}).Files({"f1", "f2"}).Put<uint32_t>(4, 3)},
        {"file name without NUL", ConnRecord::Sample(1).Files({"f1", "f2"}).Truncate(418 + 11 + 9)},
        {"second entry shorter than its skipped bytes",
         ConnRecord::Sample(1).Files({"abcdefghij", "z"}).Truncate(418 + 19 + 3)},
        {"entry shorter than its skipped bytes",
         ConnRecord::Sample(1).Files({"f1"}).Truncate(418 + 5)},
        {"huge file count", ConnRecord::Sample(1).Files({"f1"}).Put<uint32_t>(4, 0xFFFFFFFF)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        log_.Clear();
        FakeServer server(
            [&](const Request &) { return Reply::Status(0, {c.record.ToElement()}); });
        UserDetailsNode *d = Untouched<UserDetailsNode>();
        EXPECT_EQ(Ext_GetConnInfo(1, &d), 0);
        EXPECT_EQ(d, Untouched<UserDetailsNode>());
        EXPECT_EQ(Logged(kNoDetails), 1u);
    }
}

TEST_F(DetailsTest, KeepsAtMost65535FileNames) {
    ConnRecord r = ConnRecord::Sample(1);
    r.Files(std::vector<std::string>(65536, ""));
    FakeServer server([&](const Request &) { return Reply::Status(0, {r.ToElement()}); });
    UserDetailsNode *d = nullptr;
    ASSERT_EQ(Ext_GetConnInfo(1, &d), 0);
    EXPECT_EQ(+d->openFileCount, 65535);
    EXPECT_STREQ(d->openFileNames[65534], "");
    FreeUserDetailsNode(&d);  // frees every name: the sanitizer build checks
}

TEST_F(DetailsTest, AllocationFailuresKeepNothing) {
    const ConnRecord r = ConnRecord::Sample(3).Dns({"cn=a", "cn=b"}, 20).Files({"x", "yy"});
    FakeServer server([&](const Request &) { return Reply::Status(0, {r.ToElement()}); });
    const long runs = ForEachAllocationFailure([this](AllocFaultScope &scope) {
        UserDetailsNode *d = Untouched<UserDetailsNode>();
        const int rc = Ext_GetConnInfo(3, &d);
        scope.Disarm();
        log_.Clear();
        if (rc == 0) {
            EXPECT_EQ(+d->secEquivCount, 2u);
            EXPECT_EQ(+d->openFileCount, 2);
            FreeUserDetailsNode(&d);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(d, Untouched<UserDetailsNode>());
        }
    });
    EXPECT_GT(runs, 7);
}

}  // namespace
}  // namespace share::test
