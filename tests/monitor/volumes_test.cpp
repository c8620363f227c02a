// SPDX-License-Identifier: Apache-2.0
// Volume and open-file monitoring against the fake server: volume names, the open files of a
// volume, and closing files.
#include <string>

#include "tests/monitor/monitor_testing.h"
#include "tests/support/alloc_fault.h"

namespace share::test {
namespace {

template <class Node>
std::vector<Node *> Nodes(Node *head) {
    std::vector<Node *> out;
    for (; head != nullptr; head = head->next) out.push_back(head);
    return out;
}

std::vector<std::string> Names(VolsDetailsNode *head) {
    std::vector<std::string> out;
    for (auto *n : Nodes(head)) out.emplace_back(n->name);
    return out;
}

std::vector<std::string> FileNames(const VolFileListNode &n) {
    std::vector<std::string> out;
    for (size_t i = 0; n.fileNames != nullptr && i < n.openFileCount; ++i)
        out.emplace_back(n.fileNames[i]);
    return out;
}

constexpr char kInvalidName[] = "ERROR: CLI: Invalid data type in response packet";
constexpr char kInvalidFiles[] =
    "ERROR: CLI: Received invalid response as part of listing open files";

using VolumesTest = MonitorTest;

TEST_F(VolumesTest, ListsNamesInReplyOrder) {
    const std::string longName(300, 'n');
    FakeServer server([&](const Request &) {
        return Reply::Status(
            0, {TextElement(1, "SYS"), TextElement(6, "share record"), TextElement(1, ""),
                TextElement(1, longName), BytesElement(1, "VOL1", 4)});  // no NUL in the element
    });
    int32_t count = 2;
    VolsDetailsNode *list = nullptr;
    ASSERT_EQ(Ext_ListVolumeDetails(&count, &list), 0);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"SYS", "", std::string(255, 'n'), "VOL1"}));
    EXPECT_EQ(Logged(kInvalidName), 1u);
    FreeVolsDetailsNode(&list);
    EXPECT_EQ(server.LastRequest().raw, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(VolumesTest, EmptyAndUnexpectedReplies) {
    FakeServer server;
    int32_t count = 3;
    VolsDetailsNode *list = Untouched<VolsDetailsNode>();
    const char kNoData[] =
        "DEBUG: CLI: No data is available in the response packet to list the shares";
    EXPECT_EQ(Ext_ListVolumeDetails(&count, &list), -1);
    EXPECT_EQ(Logged(kNoData), 0u);  // debug bit off
    gCIFSLogLevel |= CIFS_LOG_DEBUG;
    EXPECT_EQ(Ext_ListVolumeDetails(&count, &list), -1);
    EXPECT_EQ(Logged(kNoData), 1u);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(list, Untouched<VolsDetailsNode>());

    server.SetHandler([](const Request &) { return Reply::Status(0, {TextElement(41, "x")}); });
    EXPECT_EQ(Ext_ListVolumeDetails(&count, &list), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, 3);

    server.SetHandler([](const Request &) { return Reply::Status(-3); });
    list = Untouched<VolsDetailsNode>();
    EXPECT_EQ(Ext_ListVolumeDetails(&count, &list), -3);
    EXPECT_EQ(Logged("ERROR: CLI: (Interface)Listing of all Volumes/Shares Failed. Error: -3"), 1u);
    EXPECT_EQ(list, Untouched<VolsDetailsNode>());
    EXPECT_EQ(Ext_ListVolumeDetails(nullptr, &list), -1);
    EXPECT_EQ(Ext_ListVolumeDetails(&count, nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 4u);
}

TEST_F(VolumesTest, ListsOpenFilesPerConnection) {
    // Entries follow the fixed part even when the record announces a DN area.
    const ConnRecord first = ConnRecord::Sample(5).Put<uint32_t>(350, 40).Files({"VOL1:/a", ""});
    const ConnRecord second = ConnRecord::Sample(6);
    FakeServer server([&](const Request &) {
        return Reply::Status(0, {first.ToElement(), TextElement(1, "x"), second.ToElement()});
    });
    int32_t count = 1;
    VolFileListNode *list = nullptr;
    ASSERT_EQ(Ext_ListVolFileDetails("VOL1", &list, &count), 0);
    EXPECT_EQ(count, 3);
    const auto nodes = Nodes(list);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(+nodes[0]->connectionId, 5);
    EXPECT_EQ(+nodes[0]->openFileCount, 2);
    EXPECT_STREQ(nodes[0]->text36, "cn=user5,o=org");
    EXPECT_EQ(FileNames(*nodes[0]), (std::vector<std::string>{"VOL1:/a", ""}));
    EXPECT_EQ(+nodes[1]->connectionId, 6);
    EXPECT_EQ(+nodes[1]->openFileCount, 0);
    EXPECT_EQ(+nodes[1]->fileNames, nullptr);
    EXPECT_EQ(Logged(kInvalidFiles), 1u);
    FreeVolFileListNodes(&list);

    const Request req = server.LastRequest();
    EXPECT_EQ(req.function, 32);
    ASSERT_EQ(req.elements.size(), 1u);
    EXPECT_EQ(req.elements[0].type, 42);
    EXPECT_EQ(req.elements[0].payload, (std::vector<uint8_t>{'V', 'O', 'L', '1', 0}));
}

TEST_F(VolumesTest, SkipsFileRecordsThatRunPastTheirEnd) {
    const std::vector<Element> bad = {
        ConnRecord::Sample(1).Truncate(300).ToElement(),
        ConnRecord::Sample(2).Files({"a", "b"}).Put<uint32_t>(4, 3).ToElement(),
        ConnRecord::Sample(3).Files({"abcdefghij", "z"}).Truncate(418 + 19 + 3).ToElement(),
        ConnRecord::Sample(4).Files({"a", "bcd"}).Truncate(418 + 10 + 11).ToElement(),
    };
    std::vector<Element> reply = bad;
    reply.push_back(ConnRecord::Sample(9).Files({"ok"}).ToElement());
    FakeServer server([&](const Request &) { return Reply::Status(0, reply); });
    int32_t count = 0;
    VolFileListNode *list = nullptr;
    ASSERT_EQ(Ext_ListVolFileDetails("V", &list, &count), 0);
    EXPECT_EQ(count, 1);
    const auto nodes = Nodes(list);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(+nodes[0]->connectionId, 9);
    EXPECT_EQ(FileNames(*nodes[0]), (std::vector<std::string>{"ok"}));
    EXPECT_EQ(Logged(kInvalidFiles), bad.size());
    FreeVolFileListNodes(&list);
}

TEST_F(VolumesTest, NoOpenFilesRefusalAndBadArguments) {
    FakeServer server;
    gCIFSLogLevel |= CIFS_LOG_DEBUG;
    int32_t count = 2;
    VolFileListNode *list = Untouched<VolFileListNode>();
    EXPECT_EQ(Ext_ListVolFileDetails("V", &list, &count), -1);
    EXPECT_EQ(Logged("DEBUG: CLI: No files are in open state"), 1u);

    server.SetHandler([](const Request &) { return Reply::Status(0, {TextElement(1, "x")}); });
    VolFileListNode *empty = Untouched<VolFileListNode>();
    EXPECT_EQ(Ext_ListVolFileDetails("V", &empty, &count), 0);
    EXPECT_EQ(empty, nullptr);

    server.SetHandler([](const Request &) { return Reply::Status(2); });
    EXPECT_EQ(Ext_ListVolFileDetails("V", &list, &count), 2);
    EXPECT_EQ(
        Logged("ERROR: CLI: (Interface)Listing all Open Files within a Volume Failed. Error: 2"),
        1u);
    EXPECT_EQ(Ext_ListVolFileDetails(nullptr, &list, &count), -1);
    EXPECT_EQ(Ext_ListVolFileDetails("V", nullptr, &count), -1);
    EXPECT_EQ(Ext_ListVolFileDetails("V", &list, nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 3u);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(list, Untouched<VolFileListNode>());
}

TEST_F(VolumesTest, ClosesByPathVolumeAndConnection) {
    struct Case {
        const char *name;
        int (*call)();
        uint8_t function;
        Element element;
        const char *refusal;
    };
    const Case cases[] = {
        {"path", [] { return Ext_CloseFileByFileName("VOL1:/d/f"); }, 36,
         TextElement(42, "VOL1:/d/f"),
         "ERROR: CLI: (Interface)Closing all File Handles by Filename Failed. Error: 5"},
        {"volume", [] { return Ext_CloseFileByVolume("VOL1"); }, 38, TextElement(42, "VOL1"),
         "ERROR: CLI: (Interface)Closing all Files within a Volume Failed. Error: 5"},
        {"connection", [] { return Ext_CloseFileByID(65536 + 0x1234); }, 37,
         Element{41, {0x34, 0x12}},
         "ERROR: CLI: (Interface)Closing all File Handles by a connection Failed. Error: 5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), -1);  // no server
        FakeServer server;
        EXPECT_EQ(c.call(), 0);
        const Request req = server.LastRequest();
        EXPECT_EQ(req.component, 0);
        EXPECT_EQ(req.function, c.function);
        ASSERT_EQ(req.elements.size(), 1u);
        EXPECT_EQ(req.elements[0].type, c.element.type);
        EXPECT_EQ(req.elements[0].payload, c.element.payload);

        server.SetHandler([](const Request &) { return Reply::Status(5); });
        EXPECT_EQ(c.call(), 5);
        EXPECT_EQ(Logged(c.refusal), 1u);
    }
    EXPECT_EQ(Ext_CloseFileByFileName(nullptr), -1);
    EXPECT_EQ(Ext_CloseFileByVolume(nullptr), -1);
}

TEST_F(VolumesTest, AllocationFailuresKeepNothing) {
    FakeServer server([](const Request &req) {
        if (req.function == 0) {
            return Reply::Status(0,
                                 {TextElement(1, "A"), TextElement(6, "x"), TextElement(1, "B")});
        }
        return Reply::Status(
            0, {ConnRecord::Sample(1).Files({"f1", "f2"}).ToElement(),
                ConnRecord::Sample(2).ToElement(), ConnRecord::Sample(3).Files({"g"}).ToElement()});
    });
    const long volumeRuns = ForEachAllocationFailure([this](AllocFaultScope &scope) {
        int32_t count = 0;
        VolsDetailsNode *list = Untouched<VolsDetailsNode>();
        const int rc = Ext_ListVolumeDetails(&count, &list);
        scope.Disarm();
        log_.Clear();
        if (rc == 0) {
            EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "B"}));
            FreeVolsDetailsNode(&list);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(list, Untouched<VolsDetailsNode>());
        }
    });
    EXPECT_GT(volumeRuns, 5);

    const long fileRuns = ForEachAllocationFailure([this](AllocFaultScope &scope) {
        int32_t count = 0;
        VolFileListNode *list = Untouched<VolFileListNode>();
        const int rc = Ext_ListVolFileDetails("VOL", &list, &count);
        scope.Disarm();
        log_.Clear();
        if (rc == 0) {
            EXPECT_EQ(count, 3);
            EXPECT_EQ(Nodes(list).size(), 3u);
            FreeVolFileListNodes(&list);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(list, Untouched<VolFileListNode>());
        }
    });
    EXPECT_GT(fileRuns, 8);
}

}  // namespace
}  // namespace share::test
