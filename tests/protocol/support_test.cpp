// SPDX-License-Identifier: Apache-2.0
// The test support itself: if these break, every other suite's verdicts mean nothing.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "shareadmin/protocol.h"
#include "tests/protocol/protocol_test_util.h"
#include "tests/support/alloc_fault.h"
#include "tests/support/capture.h"
#include "tests/support/fake_server.h"
#include "tests/support/syscall_hooks.h"

namespace share::test {
namespace {

TEST(Support, AllocFaultFailsTheArmedCall) {
    void *first = nullptr, *second = nullptr;
    {
        AllocFaultScope scope(1);
        first = std::malloc(8);
        second = std::calloc(1, 8);
        scope.Disarm();
        EXPECT_TRUE(scope.Triggered());
    }
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    std::free(first);
}

TEST(Support, AllocFaultIsPerThread) {
    std::atomic<int> phase{0};
    void *other = nullptr;
    std::thread thread([&] {
        while (phase.load() == 0) std::this_thread::yield();
        other = std::malloc(8);
        phase = 2;
    });
    {
        AllocFaultScope scope(0);  // armed on this thread only
        phase = 1;
        while (phase.load() != 2) std::this_thread::yield();
        scope.Disarm();
        EXPECT_FALSE(scope.Triggered());
    }
    thread.join();
    EXPECT_NE(other, nullptr);
    std::free(other);
}

TEST(Support, SyslogCaptureSeesLibcDatagrams) {
    SyslogCapture cap;
    ASSERT_TRUE(cap.Active());
    syslog(134, "hello %d", 7);
    auto lines = cap.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].priority, 134);
    EXPECT_EQ(lines[0].text, "hello 7");
}

TEST(Support, StdoutCaptureSeesPuts) {
    StdoutCapture cap;
    std::puts("line");
    std::printf("x%d", 1);
    EXPECT_EQ(cap.Finish(), "line\nx1");
}

TEST(Support, HooksApplyToTheInstallingThreadOnly) {
    int calls = 0;
    SyscallHooks hooks;
    hooks.poll = [&](pollfd *, nfds_t, int) {
        ++calls;
        return 0;
    };
    HookScope scope(hooks);
    EXPECT_EQ(poll(nullptr, 0, 0), 0);
    std::thread([] { EXPECT_EQ(poll(nullptr, 0, 0), 0); }).join();  // the real one
    EXPECT_EQ(calls, 1);
}

TEST(Support, FakeServerRecordsRequestsAndAnswersPerFunction) {
    FakeServer server(
        ByFunction({{1, Reply::Status(5, {TextElement(1, "one")})}}, Reply::Status(9)));
    for (uint8_t fn : {1, 2}) {
        ReqOwner req(ReqPktInsertComponentID(0));
        ReqPktInsertFunctionID(req.get(), fn);
        ReqPktInsertData(req.get(), 7, 3, "ab");
        RespPkt *out = nullptr;
        ASSERT_EQ(SendAndReceiveIPC(req.get(), &out), 0);
        RespOwner resp(out);
        EXPECT_EQ(static_cast<int>(U32At(resp->buffer, 0)), fn == 1 ? 5 : 9);
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].function, 2);
    EXPECT_EQ(requests[1].count, 1);
    EXPECT_EQ(requests[1].elements, (std::vector<Element>{TextElement(7, "ab")}));
    EXPECT_EQ(requests[1].raw, EncodeRequest(0, 2, {TextElement(7, "ab")}));
}

TEST(Support, FakeServerCutsAndStaysSilentOnDemand) {
    Reply cut = Reply::Status(0, {TextElement(1, "0123456789")});
    cut.sendLimit = 15;
    FakeServer server([&](const Request &r) { return r.function == 0 ? cut : Reply::Silent(); });
    const sockaddr_un addr = ServerAddress();
    auto connectAndSend = [&](uint8_t fn) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr *>(&addr), kServerAddressLength), 0);
        const auto req = EncodeRequest(0, fn, {});
        EXPECT_EQ(write(fd, req.data(), req.size()), static_cast<ssize_t>(req.size()));
        return fd;
    };
    const int cutFd = connectAndSend(0);
    char buf[64];
    size_t total = 0;
    for (ssize_t n; (n = read(cutFd, buf, sizeof buf)) > 0;) total += static_cast<size_t>(n);
    EXPECT_EQ(total, 15u);
    close(cutFd);

    const int silentFd = connectAndSend(1);
    pollfd p{silentFd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 100), 0);  // nothing, and the connection stays open
    close(silentFd);
}

// Status of one exchange over a raw socket, or -1 when the server closed without an answer.
int32_t RawStatus(uint8_t function) {
    const int fd = ConnectToServer();
    if (fd < 0) return -2;
    const Bytes request = EncodeRequest(0, function, {});
    const bool sent = WriteAll(fd, request.data(), request.size());
    const Bytes response = ReadResponse(fd);
    close(fd);
    if (!sent) return -2;
    return response.size() >= CIFS_RESP_HEADER_SIZE ? static_cast<int32_t>(LoadU32(response.data()))
                                                    : -1;
}

TEST(Support, FakeServerAnswersFromItsQueueBeforeItsHandler) {
    struct Case {
        const char *label;
        std::vector<Reply> queue;
        std::vector<int32_t> statuses;  // of four exchanges in a row
    };
    const Case cases[] = {
        {"empty queue", {}, {9, 9, 9, 9}},
        {"two queued", {Reply::Status(1), Reply::Status(2)}, {1, 2, 9, 9}},
        {"queued close without answer", {Reply::Raw({}), Reply::Status(3)}, {-1, 3, 9, 9}},
    };
    FakeServer server([](const Request &) { return Reply::Status(9); });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        server.Queue(c.queue);
        EXPECT_EQ(server.RequestCount(), 0u) << "queueing forgets the requests so far";
        std::vector<int32_t> got;
        for (uint8_t fn = 0; fn < 4; ++fn) got.push_back(RawStatus(fn));
        EXPECT_EQ(got, c.statuses);
        EXPECT_EQ(server.RequestCount(), 4u);
    }
}

TEST(Support, CannedServerRecordsOnlyWhileCapturing) {
    static const Reply kAnswer = Reply::Status(4);
    FakeServer server([](std::span<const uint8_t>) -> const Reply & { return kAnswer; },
                      CannedOptions(2));
    EXPECT_EQ(RawStatus(CIFS_FN_SHARE_NAMES), 4);
    EXPECT_EQ(server.RequestCount(), 0u);
    const std::vector<Bytes> captured = server.Capture(
        [] { return RawStatus(CIFS_FN_SHARE_DETAILS) == 4 && RawStatus(CIFS_FN_SHARE_ADD) == 4; });
    EXPECT_EQ(captured, (std::vector<Bytes>{EncodeRequest(0, CIFS_FN_SHARE_DETAILS, {}),
                                            EncodeRequest(0, CIFS_FN_SHARE_ADD, {})}));
    EXPECT_TRUE(server.Capture([] { return RawStatus(CIFS_FN_SHARE_REMOVE) != 4; }).empty())
        << "a failed call captures nothing";
    EXPECT_EQ(RawStatus(CIFS_FN_SHARE_NAMES), 4);
    EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
}  // namespace share::test
