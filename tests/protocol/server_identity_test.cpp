// SPDX-License-Identifier: Apache-2.0
// The exchange asks the kernel who holds the server's name before it writes a byte: a process
// of another uid (a squatter) receives nothing unless SHAREADMIN_SERVER_UIDS lists it.
#include "protocol/server_identity.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "shareadmin/protocol.h"
#include "tests/protocol/protocol_test_util.h"
#include "tests/support/fake_server.h"

namespace share::test {
namespace {

constexpr uid_t kSquatterUid = 65534;

// A server of another uid on the server's name, in a child process. It answers one request
// with an empty success and reports how many bytes it received.
class Squatter {
  public:
    Squatter() {
        int ready[2];
        if (pipe(ready) != 0 || pipe(report_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(report_[0]);
            _exit(Serve(ready[1], report_[1]));
        }
        close(ready[1]);
        close(report_[1]);
        char byte = 0;
        started_ = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~Squatter() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(report_[0]);
    }
    Squatter(const Squatter &) = delete;
    Squatter &operator=(const Squatter &) = delete;

    bool Started() const { return started_; }
    pid_t Pid() const { return pid_; }
    // Bytes the squatter received on its one connection.
    long Received() {
        long count = -1;
        if (read(report_[0], &count, sizeof count) != sizeof count) return -1;
        return count;
    }

  private:
    static int Serve(int ready, int report) {
        const sockaddr_un addr = ServerAddress();
        const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        if (setresuid(kSquatterUid, kSquatterUid, kSquatterUid) != 0) return 1;
        if (bind(listener, reinterpret_cast<const sockaddr *>(&addr), kServerAddressLength) != 0 ||
            listen(listener, 1) != 0)
            return 1;
        if (write(ready, "r", 1) != 1) return 1;
        const int conn = accept(listener, nullptr, nullptr);
        long received = 0;
        uint8_t buffer[4096];
        for (;;) {
            pollfd p{conn, POLLIN, 0};
            if (poll(&p, 1, 500) <= 0) break;  // the client waits for an answer: stop reading
            const ssize_t got = read(conn, buffer, sizeof buffer);
            if (got <= 0) break;
            received += got;
        }
        if (received > 0) {
            const uint8_t empty[CIFS_RESP_HEADER_SIZE] = {};
            if (write(conn, empty, sizeof empty) != sizeof empty) return 1;
        }
        return write(report, &received, sizeof received) == sizeof received ? 0 : 1;
    }

    pid_t pid_ = -1;
    int report_[2] = {-1, -1};
    bool started_ = false;
};

constexpr char kHeldBy[] = "Refusing to send the request: the CIFS server endpoint is held by";
constexpr char kMalformed[] = "Refusing to send the request: SHAREADMIN_SERVER_UIDS=";

struct IdentityCase {
    const char *variable;  // null: unset
    bool sent;             // the request reaches the squatter and the call succeeds
    const char *logged;    // start of the message logged on refusal
};

class ServerIdentityTest : public ::testing::TestWithParam<IdentityCase> {
  protected:
    void TearDown() override { unsetenv(protocol::kServerUidsVariable); }
    SyslogCapture log_;
};

TEST_P(ServerIdentityTest, OnlyListedServersReceiveTheRequest) {
    const IdentityCase &c = GetParam();
    if (c.variable != nullptr) {
        setenv(protocol::kServerUidsVariable, c.variable, 1);
    } else {
        unsetenv(protocol::kServerUidsVariable);
    }
    Squatter squatter;
    ASSERT_TRUE(squatter.Started());

    ReqPkt *request = ReqPktInsertComponentID(0);
    ASSERT_NE(ReqPktInsertFunctionID(request, CIFS_FN_CONNECTION_COUNT), nullptr);
    RespPkt *response = nullptr;
    const int rc = SendAndReceiveIPC(request, &response);
    const int error = errno;
    PacketFree<ReqPkt>()(request);
    if (response != nullptr) PacketFree<RespPkt>()(response);

    EXPECT_EQ(rc, c.sent ? 0 : -1);
    EXPECT_EQ(squatter.Received(), c.sent ? CIFS_REQ_HEADER_SIZE : 0);
    if (c.logged == nullptr) return;
    // The tools tell an identity refusal from a dead server by errno.
    EXPECT_EQ(error, c.logged == kHeldBy ? EACCES : EINVAL);
    std::string expected = CliError(c.logged);
    if (std::string(c.logged).find("held by") != std::string::npos)
        expected += " uid " + std::to_string(kSquatterUid) + " (pid " +
                    std::to_string(squatter.Pid()) + ")";
    bool found = false;
    for (const std::string &line : log_.Texts()) found |= line.rfind(expected, 0) == 0;
    EXPECT_TRUE(found) << "no log line starting with: " << expected;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ServerIdentityTest,
    ::testing::Values(
        IdentityCase{nullptr, true, nullptr}, IdentityCase{"", true, nullptr},
        IdentityCase{"65534", true, nullptr}, IdentityCase{"0,65534", true, nullptr},
        IdentityCase{"0", false, kHeldBy}, IdentityCase{"0,1000", false, kHeldBy},
        IdentityCase{"abc", false, kMalformed}, IdentityCase{"0,,65534", false, kMalformed},
        IdentityCase{"65534,", false, kMalformed}, IdentityCase{"-1", false, kMalformed},
        IdentityCase{"+65534", false, kMalformed}, IdentityCase{" 65534", false, kMalformed},
        IdentityCase{"4294967295", false, kMalformed},
        IdentityCase{"99999999999999999999,65534", false, kMalformed}));

}  // namespace
}  // namespace share::test
