// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "shareadmin/protocol.h"
#include "tests/protocol/protocol_test_util.h"
#include "tests/support/alloc_fault.h"
#include "tests/support/fake_server.h"
#include "tests/support/syscall_hooks.h"

namespace share::test {
namespace {

class ExchangeTest : public ProtocolTest {
  protected:
    // A request for function `fn` carrying the given elements.
    static ReqOwner MakeRequest(uint8_t fn, const std::vector<Element> &elements = {}) {
        ReqOwner pkt(ReqPktInsertComponentID(0));
        ReqPktInsertFunctionID(pkt.get(), fn);
        for (const Element &e : elements)
            ReqPktInsertData(pkt.get(), e.type, static_cast<uint32_t>(e.payload.size()),
                             e.payload.data());
        return pkt;
    }

    // Runs one exchange; on failure checks that the out argument was left alone.
    int Exchange(ReqPkt *request, RespOwner &response) {
        RespPkt *out = kUntouched;
        const int rc = SendAndReceiveIPC(request, &out);
        if (rc != 0) {
            EXPECT_EQ(out, kUntouched);
        } else {
            response.reset(out);
        }
        return rc;
    }

    bool LoggedStartingWith(const std::string &prefix) {
        for (const std::string &t : log_.Texts())
            if (t.rfind(prefix, 0) == 0) return true;
        return false;
    }

    static inline RespPkt *const kUntouched = reinterpret_cast<RespPkt *>(0x1);
};

// ---- successful exchanges ----

TEST_F(ExchangeTest, EmptyRequestSendsEightBytesAndHeaderOnlyResponseHasCapacity12) {
    std::vector<uint8_t> header(12, 0);
    PutU32At(header.data(), 0, 3);  // status, not examined here
    PutU32At(header.data(), 4, 7);  // count as sent
    FakeServer server([&](const Request &) { return Reply::Raw(header); });
    ReqOwner req = MakeRequest(25);
    RespOwner resp;
    ASSERT_EQ(Exchange(req.get(), resp), 0);

    const Request got = server.LastRequest();
    EXPECT_EQ(got.raw, (std::vector<uint8_t>{0, 25, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(resp->capacity, 12u);
    EXPECT_EQ(resp->cursor, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(resp->buffer, resp->buffer + 12), header);
    EXPECT_EQ(RespPktGetNumberOfData(resp.get()), 7);
    ExpectSilent();
}

TEST_F(ExchangeTest, ElementsTravelBothWays) {
    const std::vector<Element> sent = {TextElement(1, "share1"), BytesElement(6, "\x01\x02", 2)};
    const std::vector<Element> answer = {TextElement(1, "a"),
                                         TextElement(1, std::string(5000, 'b')), Element{9, {}}};
    FakeServer server([&](const Request &) { return Reply::Status(0, answer); });
    ReqOwner req = MakeRequest(1, sent);
    const std::vector<uint8_t> before(req->buffer, req->buffer + req->capacity);
    RespOwner resp;
    ASSERT_EQ(Exchange(req.get(), resp), 0);

    EXPECT_EQ(server.LastRequest().raw, EncodeRequest(0, 1, sent));
    EXPECT_EQ(server.LastRequest().elements, sent);
    EXPECT_EQ(std::vector<uint8_t>(req->buffer, req->buffer + req->capacity), before);
    const std::vector<uint8_t> wire = EncodeResponse(0, answer);
    EXPECT_EQ(resp->capacity, wire.size());
    EXPECT_EQ(std::vector<uint8_t>(resp->buffer, resp->buffer + resp->capacity), wire);
}

// The response buffer, the receiving block and the payload copies are not zeroed before they are
// filled: with malloc handing out dirty memory, every byte a caller sees must still be the
// server's, and an empty element still a zeroed byte.
TEST_F(ExchangeTest, ReceivedBlocksAreWrittenInFullFromDirtyMemory) {
    const std::vector<Element> answer = {TextElement(1, std::string(5000, 'b')), Element{9, {}},
                                         BytesElement(41, "\x00\x01\x00", 3)};
    FakeServer server([&](const Request &) { return Reply::Status(0, answer); });
    ReqOwner req = MakeRequest(26);
    mallopt(M_PERTURB, 0xa5);
    RespOwner resp;
    const int rc = Exchange(req.get(), resp);
    std::vector<std::vector<uint8_t>> walked;
    uint32_t len = 0;
    uint8_t type = 0;
    for (void *p = rc == 0 ? RespPktGetFirstData(resp.get(), &len, &type) : nullptr; p != nullptr;
         p = RespPktGetNextData(resp.get(), &len, &type)) {
        const auto *bytes = static_cast<const uint8_t *>(p);
        walked.emplace_back(bytes, bytes + (len == 0 ? 1 : len));
        std::free(p);
    }
    mallopt(M_PERTURB, 0);

    ASSERT_EQ(rc, 0);
    const std::vector<uint8_t> wire = EncodeResponse(0, answer);
    EXPECT_EQ(std::vector<uint8_t>(resp->buffer, resp->buffer + resp->capacity), wire);
    ASSERT_EQ(walked.size(), answer.size());
    EXPECT_EQ(walked[0], answer[0].payload);
    EXPECT_EQ(walked[1], std::vector<uint8_t>{0});
    EXPECT_EQ(walked[2], answer[2].payload);
}

TEST_F(ExchangeTest, TrickledResponseWaitsInsteadOfSpinning) {
    const std::vector<Element> answer = {TextElement(1, "slowly")};
    FakeServer server([&](const Request &) {
        Reply r = Reply::Status(0, answer);
        r.pacing = std::chrono::milliseconds(2);
        return r;
    });
    int again = 0, waits = 0;
    SyscallHooks hooks;
    hooks.read = [&](int fd, void *buf, size_t n) {
        const ssize_t got = real::read(fd, buf, n);
        if (got < 0 && errno == EAGAIN) ++again;
        return got;
    };
    hooks.poll = [&](pollfd *fds, nfds_t n, int timeout) {
        ++waits;
        EXPECT_EQ(timeout, 90000);
        return real::poll(fds, n, timeout);
    };
    ReqOwner req = MakeRequest(2);
    RespOwner resp;
    {
        HookScope scope(hooks);
        ASSERT_EQ(Exchange(req.get(), resp), 0);
    }
    EXPECT_GT(again, 0);
    EXPECT_LE(again, waits);  // every "not yet" was followed by a wait
    EXPECT_EQ(std::vector<uint8_t>(resp->buffer, resp->buffer + resp->capacity),
              EncodeResponse(0, answer));
}

TEST_F(ExchangeTest, ConcurrentExchangesEachGetTheirAnswer) {
    FakeServer server([](const Request &r) { return Reply::Status(r.function); });
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 1; t <= 4; ++t) {
        threads.emplace_back([t, &good] {
            for (int i = 0; i < 10; ++i) {
                ReqOwner req = MakeRequest(static_cast<uint8_t>(t));
                RespPkt *out = nullptr;
                if (SendAndReceiveIPC(req.get(), &out) == 0) {
                    if (static_cast<int>(U32At(out->buffer, 0)) == t) ++good;
                    RespOwner owner(out);
                }
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(good.load(), 40);
}

// ---- a server that misbehaves ----

struct BadServerCase {
    const char *name;
    Reply reply;
    std::vector<std::string> messages;  // logged lines, each compared as a prefix
};

std::vector<uint8_t> Announcing(uint32_t body, size_t actual) {
    std::vector<uint8_t> out(12 + actual, 'x');
    PutU32At(out.data(), 0, 0);
    PutU32At(out.data(), 4, 1);
    PutU32At(out.data(), 8, body);
    return out;
}

Reply Cut(std::vector<uint8_t> bytes, size_t limit) {
    Reply r = Reply::Raw(std::move(bytes));
    r.sendLimit = limit;
    return r;
}

Reply Reset() {
    Reply r = Reply::Status(0);
    r.reset = true;
    return r;
}

class BadServerTest : public ExchangeTest, public ::testing::WithParamInterface<BadServerCase> {};

TEST_P(BadServerTest, ExchangeFailsWithTheMessages) {
    const BadServerCase &c = GetParam();
    FakeServer server([&](const Request &) { return c.reply; });
    ReqOwner req = MakeRequest(3);
    RespOwner resp;
    EXPECT_EQ(Exchange(req.get(), resp), -1);
    const auto texts = log_.Texts();
    ASSERT_EQ(texts.size(), c.messages.size()) << ::testing::PrintToString(texts);
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(texts[i].rfind(c.messages[i], 0), 0u) << texts[i];
}

const std::string kHeaderShort = CliError("Failed to receive complete response packet header");
const std::string kBodyShort = CliError(
    "Failed to receive complete data sent by the server (based on length of data as specified in "
    "header)");

INSTANTIATE_TEST_SUITE_P(
    Responses, BadServerTest,
    ::testing::Values(
        BadServerCase{"BodyCutAt60Of100",
                      Cut(Announcing(100, 100), 12 + 60),
                      {CliError("Failed to read 100 bytes from the CLI IPC interface, bytes "
                                "remaining = 40, errno = "),
                       kBodyShort}},
        BadServerCase{"HeaderCut",
                      Cut(Announcing(0, 0), 5),
                      {CliError("Failed to read 12 bytes from the CLI IPC interface, bytes "
                                "remaining = 7, errno = "),
                       kHeaderShort}},
        BadServerCase{"ClosedWithoutAnswer",
                      Cut(Announcing(0, 0), 0),
                      {CliError("Failed to read 12 bytes from the CLI IPC interface, bytes "
                                "remaining = 12, errno = "),
                       kHeaderShort}},
        BadServerCase{"Reset",
                      Reset(),
                      {CliError("Failed to read 12 bytes from the CLI IPC interface, bytes "
                                "remaining = 12, errno = "),
                       kHeaderShort}},
        BadServerCase{"LengthBeyondAnyBuffer",
                      Cut(Announcing(0xFFFFFFFF, 0), 12),
                      {CliError("Failed to allocate memory to receive the response header and "
                                "data")}}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(ExchangeTest, BytesBeyondTheAnnouncedBodyAreIgnored) {
    std::vector<uint8_t> wire = EncodeResponse(0, {TextElement(1, "ok")});
    const size_t exact = wire.size();
    wire.insert(wire.end(), 500, 0xEE);
    FakeServer server([&](const Request &) { return Reply::Raw(wire); });
    ReqOwner req = MakeRequest(0);
    RespOwner resp;
    ASSERT_EQ(Exchange(req.get(), resp), 0);
    EXPECT_EQ(resp->capacity, exact);
}

TEST_F(ExchangeTest, NoServerIsConnectionRefused) {
    ReqOwner req = MakeRequest(0);
    RespOwner resp;
    EXPECT_EQ(Exchange(req.get(), resp), -1);
    ExpectLogged({CliError("Failed to connect to CIFS server, error: 111")});
}

TEST_F(ExchangeTest, ServerHangingUpMidRequestDoesNotKillTheProcess) {
    // A listener that accepts and closes at once, while the client still has a large request to
    // write: the write must fail (EPIPE) instead of raising SIGPIPE.
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = ServerAddress();
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), kServerAddressLength), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    std::thread closer([listener] {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd >= 0) close(fd);
    });
    ReqOwner req = MakeRequest(1, {Element{1, std::vector<uint8_t>(1 << 20, 'r')}});
    RespOwner resp;
    EXPECT_EQ(Exchange(req.get(), resp), -1);
    closer.join();
    close(listener);
    EXPECT_TRUE(
        LoggedStartingWith(CliError("Failed to write 1048592 bytes of data through CLI "
                                    "IPC interface. Only wrote ")));
}

TEST_F(ExchangeTest, DamagedRequestIsNotSent) {
    FakeServer server;
    ReqOwner req = MakeRequest(0);
    PutU32At(req->buffer, 4, 5000);  // body length beyond the buffer
    RespOwner resp;
    EXPECT_EQ(Exchange(req.get(), resp), -1);
    EXPECT_EQ(SendAndReceiveIPC(nullptr, nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 0u);
}

// ---- the wait for the response, with poll interposed ----

struct WaitCase {
    const char *name;
    int result;     // what the interposed poll returns on the first call
    int error;      // errno for -1
    short revents;  // events reported for a positive result
    std::string message;
    int priority;
};

class WaitTest : public ExchangeTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(WaitTest, FailureReportedOnce) {
    const WaitCase &c = GetParam();
    FakeServer server([](const Request &) { return Reply::Silent(); });
    int calls = 0;
    SyscallHooks hooks;
    hooks.poll = [&](pollfd *fds, nfds_t n, int timeout) {
        ++calls;
        EXPECT_EQ(n, 1u);
        EXPECT_EQ(fds[0].events, POLLIN);
        EXPECT_EQ(timeout, 90000);
        fds[0].revents = c.revents;
        errno = c.error;
        return c.result;
    };
    ReqOwner req = MakeRequest(0);
    RespOwner resp;
    {
        HookScope scope(hooks);
        EXPECT_EQ(Exchange(req.get(), resp), -1);
    }
    EXPECT_EQ(calls, 1);
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, c.message);
    EXPECT_EQ(lines[0].priority, c.priority);
}

INSTANTIATE_TEST_SUITE_P(
    Poll, WaitTest,
    ::testing::Values(
        WaitCase{"TimedOut", 0, 0, 0,
                 CliError("CIFS Server is too busy to respond within \"90\" secs, exiting due to "
                          "timeout\n"),
                 134},
        WaitCase{"Error", -1, ENOMEM, 0,
                 "CRITICAL: CODIR: Failed to wait for receiving response from CIFS server, error: "
                 "12",
                 130},
        // The events are printed in decimal behind "0x": POLLHUP (16) shows as 0x16.
        WaitCase{"HangUpOnly", 1, 0, POLLHUP,
                 CliError("Cannot read response from the established connection with CIFS "
                          "Server, return events: 0x16"),
                 134},
        WaitCase{"TwoReady", 2, 0, POLLIN,
                 CliError("Unexpected number of descriptors are ready while waiting for response "
                          "from CIFS server: 2\n"),
                 134}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(ExchangeTest, InterruptedWaitStartsAgainWithTheFullTime) {
    FakeServer server;
    std::vector<int> timeouts;
    SyscallHooks hooks;
    hooks.poll = [&](pollfd *fds, nfds_t n, int timeout) {
        timeouts.push_back(timeout);
        if (timeouts.size() <= 2) {
            errno = EINTR;
            return -1;
        }
        return real::poll(fds, n, timeout);
    };
    ReqOwner req = MakeRequest(0);
    RespOwner resp;
    {
        HookScope scope(hooks);
        EXPECT_EQ(Exchange(req.get(), resp), 0);
    }
    EXPECT_EQ(timeouts, (std::vector<int>{90000, 90000, 90000}));
    ExpectSilent();
}

TEST_F(ExchangeTest, WaitMessageNeedsItsBit) {
    LogMask mask(CIFS_LOG_ERROR);  // CRITICAL off
    FakeServer server([](const Request &) { return Reply::Silent(); });
    SyscallHooks hooks;
    hooks.poll = [](pollfd *, nfds_t, int) {
        errno = EBADF;
        return -1;
    };
    ReqOwner req = MakeRequest(0);
    RespOwner resp;
    HookScope scope(hooks);
    EXPECT_EQ(Exchange(req.get(), resp), -1);
    ExpectSilent();
}

// ---- socket set-up failures ----

TEST_F(ExchangeTest, SocketCreationFailure) {
    SyscallHooks hooks;
    hooks.socket = [](int domain, int type, int protocol) {
        EXPECT_EQ(domain, AF_UNIX);
        EXPECT_EQ(type & SOCK_STREAM, SOCK_STREAM);
        EXPECT_EQ(protocol, 0);
        errno = EMFILE;
        return -1;
    };
    ReqOwner req = MakeRequest(0);
    RespOwner resp;
    HookScope scope(hooks);
    EXPECT_EQ(Exchange(req.get(), resp), -1);
    ExpectLogged({CliError("Failed to create socket to connect to CIFS server, error: 24")});
}

TEST_F(ExchangeTest, NonBlockingFailureClosesTheSocket) {
    struct Case {
        int failingCmd;
        std::string printed;
    } cases[] = {{F_GETFL, "Getting flags for the cli socket failed, errno = 9"},
                 {F_SETFL, "Failed to set CLI socket to non-blocking, errno = 9"}};
    for (const Case &c : cases) {
        log_.Clear();
        int socketFd = -1;
        SyscallHooks hooks;
        hooks.socket = [&](int d, int t, int p) { return socketFd = real::socket(d, t, p); };
        hooks.fcntl = [&](int fd, int cmd, long arg) {
            if (cmd == c.failingCmd) {
                errno = EBADF;
                return -1;
            }
            return real::fcntl(fd, cmd, arg);
        };
        ReqOwner req = MakeRequest(0);
        RespOwner resp;
        StdoutCapture out;
        {
            HookScope scope(hooks);
            EXPECT_EQ(Exchange(req.get(), resp), -1);
        }
        EXPECT_EQ(out.Finish(), c.printed);
        ExpectLogged({CliError("Failed to set the socket to be non-blocking\n")});
        ASSERT_GE(socketFd, 0);
        EXPECT_EQ(fcntl(socketFd, F_GETFD), -1);  // closed again
    }
}

TEST_F(ExchangeTest, SetSocketUnblockAddsTheFlagOnly) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const int before = fcntl(fds[1], F_GETFL);
    EXPECT_EQ(CLI_setSocketUnblock(fds[1]), 0);
    EXPECT_EQ(fcntl(fds[1], F_GETFL), before | O_NONBLOCK);
    close(fds[0]);
    close(fds[1]);
    StdoutCapture out;
    EXPECT_EQ(CLI_setSocketUnblock(-1), -1);
    EXPECT_EQ(out.Finish(), "Getting flags for the cli socket failed, errno = 9");
    ExpectSilent();  // standard output only, whatever the mask
}

// ---- allocation failures while receiving ----

TEST_F(ExchangeTest, EachReceiveAllocationFailureIsReported) {
    const std::string messages[] = {
        "Failed to allocate memory to receive the response packet header\n",
        "Failed to allocate memory to receive the response",
        "Failed to allocate memory to receive the response header and data",
        "Failed to allocate memory to receive the response data",
    };
    FakeServer server([](const Request &) { return Reply::Status(0, {TextElement(1, "x")}); });
    for (long i = 0; i < 4; ++i) {
        log_.Clear();
        ReqOwner req = MakeRequest(0);
        RespPkt *out = kUntouched;
        int rc;
        {
            AllocFaultScope fault(i);
            rc = SendAndReceiveIPC(req.get(), &out);
            fault.Disarm();
            EXPECT_TRUE(fault.Triggered());
        }
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(out, kUntouched);
        ExpectLogged({CliError(messages[i])});
    }
    // The fifth allocation is past the exchange: it succeeds.
    ReqOwner req = MakeRequest(0);
    RespOwner resp;
    AllocFaultScope fault(4);
    EXPECT_EQ(Exchange(req.get(), resp), 0);
    fault.Disarm();
    EXPECT_FALSE(fault.Triggered());
}

// ---- readn and writen ----

class TransferTest : public ProtocolTest {
  protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        ASSERT_EQ(pipe2(pipe_, O_CLOEXEC), 0);
    }
    void TearDown() override {
        close(pipe_[0]);
        close(pipe_[1]);
    }
    int pipe_[2] = {-1, -1};
};

TEST_F(TransferTest, ZeroBytesMakeNoCall) {
    SyscallHooks hooks;
    hooks.read = [](int, void *, size_t) -> ssize_t {
        ADD_FAILURE();
        return -1;
    };
    hooks.write = [](int, const void *, size_t) -> ssize_t {
        ADD_FAILURE();
        return -1;
    };
    hooks.send = [](int, const void *, size_t, int) -> ssize_t {
        ADD_FAILURE();
        return -1;
    };
    HookScope scope(hooks);
    EXPECT_EQ(readn(pipe_[0], nullptr, 0), 0);
    EXPECT_EQ(writen(pipe_[1], nullptr, 0), 0);
    ExpectSilent();
}

TEST_F(TransferTest, ChunksOfAtMost1024) {
    std::vector<size_t> sizes;
    SyscallHooks hooks;
    hooks.write = [&](int fd, const void *buf, size_t n) {
        sizes.push_back(n);
        return real::write(fd, buf, n);
    };
    hooks.read = [&](int fd, void *buf, size_t n) {
        sizes.push_back(n);
        return real::read(fd, buf, n);
    };
    const std::vector<uint8_t> data(2500, 7);
    std::vector<uint8_t> back(2500);
    {
        HookScope scope(hooks);
        EXPECT_EQ(writen(pipe_[1], data.data(), data.size()), 2500);
        EXPECT_EQ(readn(pipe_[0], back.data(), back.size()), 2500);
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{1024, 1024, 452, 1024, 1024, 452}));
    EXPECT_EQ(back, data);
}

TEST_F(TransferTest, InterruptedCallsAreRetried) {
    int interrupted = 0;
    SyscallHooks hooks;
    hooks.read = [&](int fd, void *buf, size_t n) -> ssize_t {
        if (interrupted++ < 2) {
            errno = EINTR;
            return -1;
        }
        return real::read(fd, buf, n);
    };
    ASSERT_EQ(write(pipe_[1], "abcd", 4), 4);
    char buf[4];
    HookScope scope(hooks);
    EXPECT_EQ(readn(pipe_[0], buf, 4), 4);
    ExpectSilent();
}

TEST_F(TransferTest, FailuresReportRequestedRemainingAndErrno) {
    ASSERT_EQ(write(pipe_[1], "abc", 3), 3);
    close(pipe_[1]);
    pipe_[1] = open("/dev/null", O_WRONLY | O_CLOEXEC);
    char buf[10] = {};
    EXPECT_EQ(readn(pipe_[0], buf, 10), 3);  // then end of file

    SyscallHooks hooks;
    int calls = 0;
    hooks.write = [&](int, const void *, size_t n) -> ssize_t {
        if (calls++ == 0) return static_cast<ssize_t>(n / 2);
        errno = EIO;
        return -1;
    };
    {
        HookScope scope(hooks);
        EXPECT_EQ(writen(pipe_[1], buf, 10), 5);
        SendData(pipe_[1], buf, 10);
    }
    const auto texts = log_.Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].rfind(CliError("Failed to read 10 bytes from the CLI IPC interface, bytes "
                                      "remaining = 7, errno = "),
                             0),
              0u);
    EXPECT_EQ(texts[1], CliError("Failed to write 10 bytes to the CLI IPC interface, bytes "
                                 "remaining = 5, errno = 5"));
    EXPECT_EQ(texts[2], CliError("Failed to write 10 bytes to the CLI IPC interface, bytes "
                                 "remaining = 10, errno = 5"));
    EXPECT_EQ(texts[3], CliError("Failed to write 10 bytes of data through CLI IPC interface. "
                                 "Only wrote 0 bytes"));
}

TEST_F(TransferTest, NotReadyWaitsWithPollAndGivesUpAfterTheLimit) {
    ASSERT_EQ(fcntl(pipe_[0], F_SETFL, O_NONBLOCK), 0);
    std::vector<std::pair<short, int>> waits;
    SyscallHooks hooks;
    hooks.poll = [&](pollfd *fds, nfds_t, int timeout) {
        waits.emplace_back(fds[0].events, timeout);
        return 0;  // the limit passes without the peer sending
    };
    char buf[8];
    {
        HookScope scope(hooks);
        EXPECT_EQ(readn(pipe_[0], buf, 8), 0);
    }
    EXPECT_EQ(waits, (std::vector<std::pair<short, int>>{{POLLIN, 90000}}));
    ExpectLogged(
        {CliError("Failed to read 8 bytes from the CLI IPC interface, bytes remaining = "
                  "8, errno = 110")});
}

TEST_F(TransferTest, FullWriteBufferWaitsForRoom) {
    ASSERT_EQ(fcntl(pipe_[1], F_SETFL, O_NONBLOCK), 0);
    const size_t total = 1 << 20;  // more than a pipe holds
    std::vector<uint8_t> data(total, 3);
    std::thread reader([this, total] {
        std::vector<uint8_t> sink(total);
        size_t got = 0;
        while (got < total) {
            const ssize_t n = read(pipe_[0], sink.data() + got, total - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
    });
    int waits = 0;
    SyscallHooks hooks;
    hooks.poll = [&](pollfd *fds, nfds_t n, int timeout) {
        ++waits;
        EXPECT_EQ(fds[0].events, POLLOUT);
        return real::poll(fds, n, timeout);
    };
    {
        HookScope scope(hooks);
        EXPECT_EQ(writen(pipe_[1], data.data(), total), static_cast<ssize_t>(total));
    }
    reader.join();
    EXPECT_GT(waits, 0);
}

TEST_F(TransferTest, MebibyteProgressFollowsTheNumberOfWrites) {
    struct Case {
        size_t perWrite;
        uint32_t mask;
        std::vector<std::string> lines;
    } cases[] = {
        {1024,
         15 | CIFS_LOG_INFO,
         {"INFO: CLI: Completed writing 1 MB of data through CLI IPC interface"}},
        {512,
         15 | CIFS_LOG_INFO,
         {"INFO: CLI: Completed writing 1 MB of data through CLI IPC interface",
          "INFO: CLI: Completed writing 2 MB of data through CLI IPC interface"}},
        {1024, 15, {}},
    };
    const std::vector<uint8_t> data(1 << 20, 1);
    for (const Case &c : cases) {
        LogMask mask(c.mask);
        log_.Clear();
        SyscallHooks hooks;
        hooks.write = [&](int, const void *, size_t n) {
            return static_cast<ssize_t>(std::min(n, c.perWrite));
        };
        HookScope scope(hooks);
        EXPECT_EQ(writen(pipe_[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
        EXPECT_EQ(log_.Texts(), c.lines) << c.perWrite;
    }
}

}  // namespace
}  // namespace share::test
