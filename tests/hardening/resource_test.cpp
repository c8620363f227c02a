// SPDX-License-Identifier: Apache-2.0
// Resource failures as a host process meets them, through the shared libraries: every
// allocation of every command's pipeline failing in turn, descriptors exhausted for real, and a
// storm of signals that interrupts every blocking call of the exchanges.
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "tests/hardening/hardening.h"
#include "tests/support/alloc_fault.h"
#include "tests/support/capture.h"
#include "tests/support/syscall_hooks.h"

namespace share::test::hardening {
namespace {

// ---- every command through the pipeline, with each allocation failing ----

struct Arg {
    int32_t id;
    const char *value;  // copied to the heap; kRecord: a caller-built list request record
};
constexpr const char *kRecord = "\x01record";

struct CommandCase {
    uint8_t functionId;  // what the server must receive when nothing fails
    std::vector<Arg> args;
};

// One accepted form of every command code, and of every function ID the object commands select.
const std::vector<CommandCase> &CommandCases() {
    static const std::vector<CommandCase> cases = {
        // Shares.
        {0, {{1, nullptr}, {7, nullptr}}},
        {1, {{1, nullptr}, {7, nullptr}, {12, "docs"}}},
        {2, {{1, nullptr}, {10, nullptr}, {12, "docs"}, {34, "VOL1:/docs"}, {17, "note"}}},
        {3, {{1, nullptr}, {11, nullptr}, {12, "docs"}}},
        {77, {{1, nullptr}, {78, nullptr}, {12, "docs"}, {79, "new"}}},
        {51, {{1, nullptr}, {49, "yes"}, {12, "docs"}}},
        {56, {{1, nullptr}, {54, "yes"}, {12, "docs"}}},
        {66, {{1, nullptr}, {68, "yes"}, {12, "docs"}}},
        {86, {{1, nullptr}, {84, "yes"}, {12, "docs"}}},
        // Connections, open files, clearing.
        {25, {{30, nullptr}}},
        {26, {{30, nullptr}, {7, nullptr}}},
        {27, {{30, nullptr}, {7, nullptr}, {8, nullptr}}},
        {28, {{30, nullptr}, {7, nullptr}, {9, nullptr}}},
        {29, {{30, nullptr}, {31, "12"}}},
        {78, {{30, nullptr}, {1, "12"}}},
        {30, {{32, nullptr}, {7, nullptr}, {34, "VOL1:/a"}}},
        {31, {{32, nullptr}, {7, nullptr}, {31, "5"}}},
        {32, {{32, nullptr}, {7, nullptr}, {35, "VOL1"}}},
        {33, {{32, nullptr}, {7, nullptr}, {60, nullptr}, {34, "VOL1:/a"}}},
        {34, {{32, nullptr}, {7, nullptr}, {60, nullptr}, {31, "5"}}},
        {35, {{32, nullptr}, {7, nullptr}, {60, nullptr}, {35, "VOL1"}}},
        {79, {{32, nullptr}, {7, nullptr}, {60, nullptr}, {80, kRecord}}},
        {36, {{32, nullptr}, {33, nullptr}, {34, "VOL1:/a"}}},
        {37, {{32, nullptr}, {33, nullptr}, {31, "5"}}},
        {38, {{32, nullptr}, {33, nullptr}, {35, "VOL1"}}},
        {63, {{62, nullptr}, {63, "all"}, {64, "15"}, {65, "ALL"}}},
        // Invalid users and user contexts.
        {21, {{28, nullptr}, {29, "60"}}},
        {22, {{28, nullptr}, {10, nullptr}, {12, "guest  "}}},
        {23, {{28, nullptr}, {11, nullptr}, {12, "guest"}}},
        {24, {{28, nullptr}, {7, nullptr}}},
        {81, {{28, nullptr}, {82, nullptr}, {12, "guest"}}},
        {80, {{28, nullptr}, {81, kRecord}}},
        {82, {{83, nullptr}, {7, nullptr}}},
        {83, {{83, nullptr}, {10, "ou=users"}}},
        {84, {{83, nullptr}, {11, "ou=users"}}},
        // Server options.
        {4, {{2, nullptr}}},
        {9, {{3, "t"}}},
        {5, {{4, "force"}}},
        {7, {{10, nullptr}, {15, "vs1"}, {16, "10.1.2.3"}}},
        {11, {{10, nullptr}, {19, "dns1"}, {16, "10.1.2.3"}}},
        {8, {{11, nullptr}, {15, "vs1"}}},
        {12, {{11, nullptr}, {19, "dns1"}, {16, "10.1.2.3"}}},
        {6, {{14, "Debug"}}},
        {10, {{18, "readocs"}}},
        {13, {{20, "yes"}}},
        {14, {{21, "4"}}},
        {15, {{22, "yes"}}},
        {16, {{23, "no"}}},
        {17, {{24, "DIRCACHE=300"}}},
        {18, {{25, "yes"}}},
        {19, {{26, "3"}}},
        {20, {{27, "readproxy"}}},
        {39, {{36, "yes"}}},
        {40, {{37, nullptr}}},
        {41, {{38, "Server1"}, {38, "yes"}}},
        {42, {{39, "SMB2"}}},
        {43, {{40, "yes"}}},
        {44, {{41, "domain\\user"}, {42, "5"}}},
        {45, {{43, "yes"}}},
        {46, {{44, "30"}}},
        {47, {{45, "yes"}}},
        {48, {{46, "no"}}},
        {49, {{47, "yes"}}},
        {50, {{48, "win-mac"}}},
        {52, {{50, "yes"}}},
        {53, {{51, "yes"}}},
        {54, {{52, "Example.com"}}},
        {55, {{53, "yes"}}},
        {57, {{55, "yes"}}},
        {58, {{56, "fallback"}}},
        {59, {{57, "yes"}}},
        {60, {{58, "yes"}}},
        {61, {{59, "yes"}}},
        {62, {{61, "yes"}}},
        {64, {{66, "yes"}}},
        {65, {{67, "yes"}}},
        {67, {{69, "user1"}}},
        {68, {{70, nullptr}, {31, "65534"}}},
        {69, {{70, nullptr}, {71, "yes"}}},
        {70, {{72, "aes-256-gcm "}}},
        {71, {{73, "yes"}}},
        {72, {{74, "yes"}}},
        {73, {{75, nullptr}, {10, nullptr}, {76, "eth0"}}},
        {74, {{75, nullptr}, {11, nullptr}, {76, "eth1"}}},
        {75, {{75, nullptr}, {7, nullptr}}},
        {76, {{77, "yes"}}},
        {85, {{84, "yes"}}},
        {87, {{85, "yes"}}},
        {88, {{86, "clear"}, {34, "VOL1:/dir/junction"}}},
    };
    return cases;
}

// A caller-built list request record (open files and invalid users read their length words at
// offsets 24 and 16): 40 bytes, both words 12.
void *NewRecord() {
    auto *r = static_cast<uint8_t *>(std::calloc(1, 40));
    const uint32_t twelve = 12;
    std::memcpy(r + 16, &twelve, 4);
    std::memcpy(r + 24, &twelve, 4);
    return r;
}

// Fills the calling thread's block; returns the records, which stay the caller's.
std::vector<void *> Fill(const std::vector<Arg> &args) {
    ClearArgBlock();
    std::vector<void *> records;
    for (size_t i = 0; i < args.size(); ++i) {
        gbCifsArg[i].id = args[i].id;
        if (args[i].value == kRecord) {
            records.push_back(NewRecord());
            gbCifsArg[i].value = static_cast<char *>(records.back());
        } else if (args[i].value != nullptr) {
            gbCifsArg[i].value = strdup(args[i].value);
        }
    }
    return records;
}

// Releases what the command left: the caller's values and records.
void Release(std::vector<void *> &records) {
    for (CifsArgEntry &e : gbCifsArg)
        for (void *r : records)
            if (e.value == r) e.value = nullptr;
    for (void *r : records) std::free(r);
    records.clear();
    ClearArgBlock();
}

TEST(AllocationFailure, EveryCommandThroughThePipeline) {
    SyslogCapture log;
    ASSERT_TRUE(log.Active());
    LogMask level(127);
    FakeServer server;
    std::set<uint8_t> functions;
    for (const CommandCase &c : CommandCases()) {
        SCOPED_TRACE("function " + std::to_string(c.functionId));
        functions.insert(c.functionId);
        long failures = 0;
        for (long i = 0;; ++i) {
            std::vector<void *> records = Fill(c.args);
            RespPkt *const untouched = Sentinel<RespPkt>();
            RespPkt *response = untouched;
            const size_t before = server.RequestCount();
            int rc;
            bool hit;
            std::string printed;
            {
                StdoutCapture out;
                AllocFaultScope fault(i);
                rc = ValidateAndProcessCmd(&response);
                fault.Disarm();
                hit = fault.Triggered();
                printed = out.Finish();
            }
            Release(records);
            const std::vector<std::string> logged = log.Texts();
            log.Clear();
            if (!hit) {
                // Past the last allocation: the command goes through.
                ASSERT_EQ(rc, 0) << printed;
                ASSERT_NE(response, untouched);
                EXPECT_EQ(server.LastRequest().function, c.functionId);
                std::free(response->buffer);
                std::free(response);
                break;
            }
            ++failures;
            // Every allocation of the pipeline is needed: its failure fails the command.
            ASSERT_EQ(rc, -1) << "allocation " << i;
            EXPECT_EQ(response, untouched);
            // A failure is never silent: the command's message on standard output or in the log.
            EXPECT_FALSE(printed.empty() && logged.empty()) << "allocation " << i;
            // A request that could not be built never reaches the server.
            if (server.RequestCount() != before) {
                EXPECT_EQ(server.LastRequest().function, c.functionId);
            }
        }
        EXPECT_GT(failures, 0);
    }
    // Every function ID a command can select, 0 to 88, was driven.
    for (unsigned f = 0; f <= 88; ++f)
        EXPECT_EQ(functions.count(static_cast<uint8_t>(f)), 1u) << "function " << f;
}

// ---- descriptors exhausted ----

// Every API call, and both request paths, with no descriptor left for the socket.
TEST(DescriptorExhaustion, EveryCallFailsWithTheSocketMessageAndLeaksNoDescriptor) {
    SyslogCapture log;
    ASSERT_TRUE(log.Active());
    LogMask level(15);
    FakeServer server;            // listening, so that only the missing descriptor can stop a call
    InitializeLogs("hardening");  // the log's own descriptor is open before the limit drops

    std::vector<ApiCall> calls = ManagementCalls();
    for (ApiCall &c : MonitoringCalls()) calls.push_back(std::move(c));
    calls.push_back({"ValidateAndProcessCmd", [] {
                         gbCifsArg[0] = {30, nullptr};
                         gbCifsArg[1] = {0, nullptr};
                         RespPkt *response = Sentinel<RespPkt>();
                         const int rc = ValidateAndProcessCmd(&response);
                         return Outcome{rc, response == Sentinel<RespPkt>()
                                                ? std::string(kUntouched)
                                                : "response"};
                     }});
    calls.push_back({"BuildAndReceiveReply", [] {
                         CmdContext record;
                         std::memset(&record, 0, sizeof record);
                         record.functionId = 26;
                         RespPkt *response = Sentinel<RespPkt>();
                         const int rc = BuildAndReceiveReply(&record, &response);
                         return Outcome{rc, response == Sentinel<RespPkt>()
                                                ? std::string(kUntouched)
                                                : "response"};
                     }});

    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::vector<std::pair<std::string, Outcome>> results;
    std::vector<std::vector<std::string>> lines;
    {
        rlimit none = saved;
        none.rlim_cur = static_cast<rlim_t>(lowestFree);  // the next descriptor is refused
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
        for (const ApiCall &c : calls) {
            results.emplace_back(c.name, c.run());
            lines.push_back(log.Texts());
            log.Clear();
        }
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    }
    // No descriptor was kept by any failed call.
    const int after = dup(0);
    EXPECT_EQ(after, lowestFree);
    close(after);
    DeinitializeLogs();
    for (size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(results[i].first);
        const Outcome &o = results[i].second;
        EXPECT_EQ(o.rc, -1);
        EXPECT_TRUE(o.out == kUntouched || o.out.empty()) << "outputs changed";
        EXPECT_NE(std::find(lines[i].begin(), lines[i].end(),
                            "ERROR: CLI: Failed to create socket to connect to CIFS server, "
                            "error: 24"),
                  lines[i].end())
            << testing::PrintToString(lines[i]);
    }
    EXPECT_EQ(server.RequestCount(), 0u);
}

// ---- interrupted system calls ----

std::atomic<long> g_signals{0};
void CountSignal(int) {
    g_signals.fetch_add(1, std::memory_order_relaxed);
}

// Every API call while another thread interrupts the calling thread with a signal whose handler
// does not ask for restarted system calls, every 200 microseconds, with answers big and
// trickled enough that the exchange is interrupted in each of its waits, reads and writes: each
// call ends exactly as it does undisturbed.
TEST(InterruptedCalls, SignalStormChangesNoResult) {
    struct sigaction action {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: blocking calls fail with EINTR
    // Stays installed after the test: a signal still in flight must find it.
    ASSERT_EQ(sigaction(SIGUSR1, &action, nullptr), 0);

    // The server's thread never takes the signal.
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, nullptr);
    FakeServer server([](const Request &r) {
        // Answers of many chunks, so that reads are interrupted too, not only the wait.
        std::vector<Element> elements;
        if (r.function == 0) {
            for (int i = 0; i < 300; ++i)
                elements.push_back(TextElement(1, "SHARE" + std::to_string(i)));
        } else if (r.function == 26 || r.function == 32) {
            for (uint16_t i = 1; i <= 40; ++i)
                elements.push_back(ConnectionRecord({.id = i, .files = {"/a", "/b"}}));
        } else if (r.function == 25) {
            const int32_t n = 40;
            elements.push_back(BytesElement(41, &n, 4));
        } else if (r.function == 29) {
            elements.push_back(ConnectionRecord({.id = 7, .dns = {"cn=a"}, .files = {"f"}}));
        } else if (r.function == 1) {
            elements.push_back(ShareRecord({.name = "docs", .volume = "VOL1"}));
        }
        return Reply::Status(0, elements);
    });
    pthread_sigmask(SIG_UNBLOCK, &usr1, nullptr);

    std::vector<ApiCall> calls = ManagementCalls();
    for (ApiCall &c : MonitoringCalls()) calls.push_back(std::move(c));
    std::vector<Outcome> calm;
    for (const ApiCall &c : calls) calm.push_back(c.run());

    // Counts the interrupted calls the library saw and retried.
    std::atomic<long> interrupted{0};
    SyscallHooks hooks;
    hooks.poll = [&](pollfd *fds, nfds_t n, int timeout) {
        const int r = real::poll(fds, n, timeout);
        if (r < 0 && errno == EINTR) ++interrupted;
        return r;
    };
    hooks.read = [&](int fd, void *buf, size_t n) {
        const ssize_t r = real::read(fd, buf, n);
        if (r < 0 && errno == EINTR) ++interrupted;
        return r;
    };

    const pthread_t target = pthread_self();
    std::atomic<bool> stop{false};
    std::thread storm([&] {
        while (!stop) {
            pthread_kill(target, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const long before = g_signals;
    {
        HookScope scope(hooks);
        for (int round = 0; round < 5; ++round)
            for (size_t i = 0; i < calls.size(); ++i) {
                SCOPED_TRACE(calls[i].name);
                EXPECT_EQ(calls[i].run(), calm[i]);
            }
    }
    stop = true;
    storm.join();
    EXPECT_GT(g_signals - before, 100) << "the storm did not reach the calls";
    // With a storm this dense some blocking call is always hit; the library retried them all.
    EXPECT_GT(interrupted.load(), 0);
}

}  // namespace
}  // namespace share::test::hardening
