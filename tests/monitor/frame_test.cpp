// SPDX-License-Identifier: Apache-2.0
// The request frame (FillReqPkt, BuildAndReceiveReply) and the free functions.
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/monitor/monitor_testing.h"
#include "tests/support/alloc_fault.h"

namespace share::test {
namespace {

class FrameTest : public MonitorTest {
  protected:
    ~FrameTest() override { Release(); }

    ReqPkt *NewPacket() {
        Release();
        pkt_ = ReqPktInsertComponentID(0);
        return pkt_;
    }
    void Release() {
        if (pkt_ != nullptr) std::free(pkt_->buffer);
        std::free(pkt_);
        pkt_ = nullptr;
    }
    // The packet's elements, read back.
    std::vector<Element> Elements() {
        std::vector<Element> out;
        uint32_t len = 0;
        uint8_t type = 0;
        for (void *p = ReqPktGetFirstData(pkt_, &len, &type); p != nullptr;
             p = ReqPktGetNextData(pkt_, &len, &type)) {
            out.push_back(BytesElement(type, p, len));
            std::free(p);
        }
        return out;
    }

    ReqPkt *pkt_ = nullptr;
};

CmdContext Record(uint8_t function) {
    CmdContext record;
    std::memset(&record, 0, sizeof record);
    record.functionId = function;
    return record;
}

constexpr char kFilesFailure[] =
    "ERROR: CLI: Failed to process listing of files. Error while inserting data into request "
    "packet structure";

TEST_F(FrameTest, EncodesEachSupportedFunction) {
    char path[] = "VOL1:/dir/file.txt";
    const std::vector<uint8_t> text(path, path + sizeof path);
    struct Case {
        uint8_t function;
        std::vector<Element> elements;
    };
    const Case cases[] = {
        {0, {}},
        {26, {}},
        {29, {Element{41, {0xFF, 0xFF}}}},
        {37, {Element{41, {0xFF, 0xFF}}}},
        {32, {Element{42, text}}},
        {36, {Element{42, text}}},
        {38, {Element{42, text}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.function));
        CmdContext record = Record(c.function);
        if (c.function == 29 || c.function == 37) {
            record.params.connectionId = 0xFFFF;
        } else {
            record.params.pathRef = path;
        }
        ASSERT_NE(NewPacket(), nullptr);
        EXPECT_EQ(FillReqPkt(&record, pkt_), 0);
        EXPECT_EQ(ReqPktGetNumberOfData(pkt_), static_cast<int>(c.elements.size()));
        const auto got = Elements();
        ASSERT_EQ(got.size(), c.elements.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].type, c.elements[i].type);
            EXPECT_EQ(got[i].payload, c.elements[i].payload);
        }
    }
    EXPECT_TRUE(log_.Texts().empty());
}

TEST_F(FrameTest, RefusesOtherFunctionsAndMissingTexts) {
    for (int function : {1, 25, 27, 30, 31, 33, 34, 35, 39, 78, 88, 255}) {
        CmdContext record = Record(static_cast<uint8_t>(function));
        ASSERT_NE(NewPacket(), nullptr);
        EXPECT_EQ(FillReqPkt(&record, pkt_), -1) << function;
        EXPECT_EQ(ReqPktGetNumberOfData(pkt_), 0);
        Pump();
    }
    EXPECT_EQ(Logged("ERROR: CLI: Failed to populate request packet with command line data. "
                     "Invalid option requested"),
              12u);

    for (int function : {32, 36, 38}) {
        CmdContext record = Record(static_cast<uint8_t>(function));  // pathRef null
        ASSERT_NE(NewPacket(), nullptr);
        EXPECT_EQ(FillReqPkt(&record, pkt_), -1);
    }
    EXPECT_EQ(Logged(kFilesFailure), 3u);

    CmdContext record = Record(26);
    EXPECT_EQ(FillReqPkt(nullptr, pkt_), -1);
    EXPECT_EQ(FillReqPkt(&record, nullptr), -1);
}

TEST_F(FrameTest, ReportsAFailedAppend) {
    std::string path(5000, 'p');  // needs the buffer to grow
    CmdContext record = Record(36);
    record.params.pathRef = path.data();
    ASSERT_NE(NewPacket(), nullptr);
    int rc;
    {
        AllocFaultScope fault(0);
        rc = FillReqPkt(&record, pkt_);
    }
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(Logged(kFilesFailure), 1u);
}

TEST_F(FrameTest, ExchangesTheRecord) {
    FakeServer server([](const Request &) { return Reply::Status(9, {TextElement(1, "x")}); });
    CmdContext record = Record(26);
    RespPkt *reply = nullptr;
    ASSERT_EQ(BuildAndReceiveReply(&record, &reply), 0);
    ASSERT_NE(reply, nullptr);
    int32_t status;
    std::memcpy(&status, reply->buffer, 4);
    EXPECT_EQ(status, 9);
    EXPECT_EQ(RespPktGetNumberOfData(reply), 1);
    std::free(reply->buffer);
    std::free(reply);

    const Request req = server.LastRequest();
    EXPECT_EQ(req.raw, (std::vector<uint8_t>{0, 26, 0, 0, 0, 0, 0, 0}));
}

TEST_F(FrameTest, FailsWithoutContactingTheServerOrWithoutServer) {
    RespPkt *reply = Untouched<RespPkt>();
    {
        FakeServer server;
        CmdContext record = Record(1);
        EXPECT_EQ(BuildAndReceiveReply(&record, &reply), -1);
        EXPECT_EQ(BuildAndReceiveReply(nullptr, &reply), -1);
        EXPECT_EQ(BuildAndReceiveReply(&record, nullptr), -1);
        EXPECT_EQ(server.RequestCount(), 0u);
    }
    CmdContext record = Record(26);
    EXPECT_EQ(BuildAndReceiveReply(&record, &reply), -1);  // nobody listening
    EXPECT_EQ(reply, Untouched<RespPkt>());
}

TEST_F(FrameTest, ReleasesEverythingWhenAnAllocationFails) {
    FakeServer server;
    char path[] = "VOL1:/a";
    const long runs = ForEachAllocationFailure([&](AllocFaultScope &scope) {
        CmdContext record = Record(36);
        record.params.pathRef = path;
        RespPkt *reply = Untouched<RespPkt>();
        const int rc = BuildAndReceiveReply(&record, &reply);
        scope.Disarm();
        log_.Clear();
        if (rc == 0) {
            std::free(reply->buffer);
            std::free(reply);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(reply, Untouched<RespPkt>());
        }
    });
    EXPECT_GT(runs, 2);
}

// Nodes built by hand, partly filled as a failed call leaves them.
char *Dup(const char *s) {
    return strdup(s);
}

TEST_F(FrameTest, FreeFunctionsAcceptNullAndPartlyBuiltRecords) {
    FreeConnListNodes(nullptr);
    FreeUserDetailsNode(nullptr);
    FreeVolFileListNodes(nullptr);
    FreeVolsDetailsNode(nullptr);
    ConnListNode *conn = nullptr;
    UserDetailsNode *details = nullptr;
    VolFileListNode *files = nullptr;
    VolsDetailsNode *vols = nullptr;
    FreeConnListNodes(&conn);
    FreeUserDetailsNode(&details);
    FreeVolFileListNodes(&files);
    FreeVolsDetailsNode(&vols);

    // Counted names without an array, a DN array with a missing entry.
    details = static_cast<UserDetailsNode *>(std::calloc(1, sizeof *details));
    details->openFileCount = 3;
    details->secEquivCount = 3;
    details->secEquivDns = static_cast<char **>(std::calloc(3, sizeof(char *)));
    details->secEquivDns[0] = Dup("cn=a");
    details->secEquivDns[2] = Dup("cn=c");
    UserDetailsNode *kept = details;
    FreeUserDetailsNode(&details);
    EXPECT_EQ(details, kept);  // the caller's pointer is left as it was

    // Three file nodes, the last with a half-filled array; two name-only volume nodes.
    VolFileListNode *nodes[3];
    for (auto &n : nodes) n = static_cast<VolFileListNode *>(std::calloc(1, sizeof *n));
    nodes[0]->next = nodes[1];
    nodes[1]->next = nodes[2];
    nodes[0]->openFileCount = 2;
    nodes[0]->fileNames = static_cast<char **>(std::calloc(2, sizeof(char *)));
    nodes[0]->fileNames[0] = Dup("a");
    nodes[0]->fileNames[1] = Dup("");
    nodes[2]->openFileCount = 4;
    nodes[2]->fileNames = static_cast<char **>(std::calloc(4, sizeof(char *)));
    nodes[2]->fileNames[0] = Dup("x");
    files = nodes[0];
    FreeVolFileListNodes(&files);

    for (int i = 0; i < 2; ++i) {
        auto *v = static_cast<VolsDetailsNode *>(std::calloc(1, sizeof(VolsDetailsNode)));
        v->next = vols;
        vols = v;
        auto *c = static_cast<ConnListNode *>(std::calloc(1, sizeof(ConnListNode)));
        c->next = conn;
        conn = c;
    }
    FreeVolsDetailsNode(&vols);
    FreeConnListNodes(&conn);
    // Leaks would be reported by the sanitizer build.
}

}  // namespace
}  // namespace share::test
