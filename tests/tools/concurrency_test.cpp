// SPDX-License-Identifier: Apache-2.0
// Many clients at once: every answer matches its request, and a client that stalls holds up
// nobody.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "shareadmin/api.h"
#include "shareadmin/command.h"
#include "shareadmin/context.h"
#include "tests/support/records.h"
#include "tests/support/wire.h"
#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

using share::test::ConnectToServer;
using share::test::ReadResponse;
using share::test::ShareDetailsRequest;
using share::test::WriteAll;

// Share name in a details answer, or "" when the answer is not a share record.
std::string AnsweredName(const std::vector<uint8_t> &reply) {
    if (reply.size() < 12 + 8 + sizeof(ShareParams)) return "";
    int32_t status;
    std::memcpy(&status, reply.data(), 4);
    if (status != 0 || reply[12] != 6) return "";
    ShareParams rec;
    std::memcpy(&rec, reply.data() + 20, sizeof rec);
    return rec.shareName;
}

TEST(Concurrency, ThreadsThroughTheLibraryEachGetTheirOwnAnswers) {
    SimProcess sim({"--clients", "16"});
    ASSERT_TRUE(sim.ready());
    std::atomic<int> mismatches{0}, failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t)
        threads.emplace_back([&, t] {
            const std::string mine = "thread" + std::to_string(t);
            if (CreateShare(mine) != 0) ++failures;
            for (int i = 0; i < 25; ++i) {
                gbCifsArg[0] = {1, nullptr};
                gbCifsArg[1] = {7, nullptr};
                gbCifsArg[2] = {12, strdup(mine.c_str())};
                gbCifsArg[3] = {0, nullptr};
                RespPkt *resp = nullptr;
                if (ValidateAndProcessCmd(&resp) != 0) {
                    ++failures;
                    continue;
                }
                const std::vector<uint8_t> bytes(resp->buffer, resp->buffer + resp->capacity);
                if (AnsweredName(bytes) != mine) ++mismatches;
                std::free(resp->buffer);
                std::free(resp);
                ConnectionRecord record{};
                const uint16_t id = static_cast<uint16_t>((t + i) % 16 + 1);
                if (CIFSLIB_GetConnectionDetails(std::to_string(id).c_str(), &record, nullptr) != 0)
                    ++failures;
                if (record.connectionId != id) ++mismatches;
            }
        });
    for (auto &th : threads) th.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(mismatches, 0);
}

TEST(Concurrency, HundredsOfInterleavedConnectionsAreMatchedToTheirRequests) {
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    for (int s = 0; s < 10; ++s) ASSERT_EQ(CreateShare("share" + std::to_string(s)), 0);
    constexpr int kClients = 300;
    std::vector<int> fds;
    std::vector<std::vector<uint8_t>> requests;
    for (int i = 0; i < kClients; ++i) {
        fds.push_back(ConnectToServer());
        ASSERT_GE(fds.back(), 0) << i;
        requests.push_back(ShareDetailsRequest("share" + std::to_string(i % 10)));
        // Everyone sends half a request first...
        ASSERT_TRUE(WriteAll(fds[i], requests[i].data(), 100));
    }
    // ...and completes it in the reverse order.
    for (int i = kClients - 1; i >= 0; --i)
        ASSERT_TRUE(WriteAll(fds[i], requests[i].data() + 100, requests[i].size() - 100));
    for (int i = 0; i < kClients; ++i) {
        EXPECT_EQ(AnsweredName(ReadResponse(fds[i])), "share" + std::to_string(i % 10))
            << "client " << i;
        close(fds[i]);
    }
}

TEST(Concurrency, AStalledClientHoldsUpNobodyAndIsDropped) {
    SimProcess sim({"--exchange-timeout", "1"});
    ASSERT_TRUE(sim.ready());
    const int staller = ConnectToServer();
    ASSERT_GE(staller, 0);
    const uint8_t half[3] = {0, 1, 1};
    ASSERT_TRUE(WriteAll(staller, half, sizeof half));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        int32_t count = -1;
        ASSERT_EQ(CIFSLIB_GetConnectionsCount(&count), 0);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    timeval tv{5, 0};
    setsockopt(staller, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char byte;
    EXPECT_EQ(read(staller, &byte, 1), 0) << "the server closes an exchange that does not finish";
    close(staller);
}

TEST(Concurrency, MalformedAndOversizedRequestsGetAStatusNotAHang) {
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    auto exchange = [](std::vector<uint8_t> bytes) {
        const int fd = ConnectToServer();
        WriteAll(fd, bytes.data(), bytes.size());
        const auto reply = ReadResponse(fd);
        close(fd);
        int32_t status = -1;
        if (reply.size() >= 12) std::memcpy(&status, reply.data(), 4);
        return status;
    };
    EXPECT_EQ(exchange({0, 0, 2, 0, 0, 0, 0, 0}), 1) << "two elements announced, none sent";
    EXPECT_EQ(exchange({0, 0, 0, 0, 0xff, 0xff, 0xff, 0x7f}), 1)
        << "a body beyond the server's limit";
    EXPECT_EQ(exchange({0, 89, 0, 0, 0, 0, 0, 0}), 2) << "no function 89";
}

}  // namespace
}  // namespace share::tools::test
