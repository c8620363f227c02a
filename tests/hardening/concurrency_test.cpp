// SPDX-License-Identifier: Apache-2.0
// Many threads of one host process calling both libraries at once against the stand-in server:
// every call is answered, and every answer is the one for its own request (nothing crosses
// between the threads' argument blocks, packets or sockets). Built into its own binary so that
// scripts/tsan can run it under ThreadSanitizer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "shareadmin/api.h"
#include "shareadmin/command.h"
#include "shareadmin/monitor.h"
#include "tests/hardening/hardening.h"
#include "tests/support/sim_process.h"

namespace share::test::hardening {
namespace {

constexpr int kThreads = 16;
constexpr int kCalls = 10000;

// ---- what each kind of call must answer ----

struct Expected {
    std::vector<uint16_t> connections;        // in list order
    std::vector<std::string> names;           // shares and volumes
    std::vector<std::string> mapped;          // per thread: shares of its connection
    std::vector<std::string> volumeFiles[2];  // per volume: "id:file" entries
    std::string userContexts;
    int refusedClose = 0;  // status for closing an unknown connection
};

std::string Names(const ShareNameList *list) {
    std::string out;
    for (uint32_t i = 0; i < list->count; ++i) out += std::string(list->names[i]) + ';';
    return out;
}

std::string InfoNames(ShareInfoList *list) {
    std::string out;
    for (uint32_t i = 0; i < list->count; ++i) {
        ShareInfo *info;
        std::memcpy(&info, reinterpret_cast<char *>(list) + 4 + 8 * i, sizeof info);
        out += std::string(SHARE_INFO_TEXT(info, info->nameOffset)) + ';';
        std::free(info);
    }
    std::free(list);
    return out;
}

std::vector<std::string> VolumeFileEntries(VolFileListNode *head) {
    std::vector<std::string> out;
    for (VolFileListNode *n = head; n != nullptr; n = n->next)
        for (uint16_t i = 0; i < n->openFileCount; ++i)
            out.push_back(std::to_string(n->connectionId) + ":" + n->fileNames[i]);
    FreeVolFileListNodes(&head);
    return out;
}

const char *kVolumes[2] = {"VOL1", "VOL2"};

std::string ThreadShare(int t) {
    return "t" + std::to_string(t);
}

int CreateThreadShare(int t) {
    return CIFSLIB_CreateShare(NewShare(ThreadShare(t)).Get());
}

// One call of kind `kind` on behalf of thread t; an empty string when it answered as expected.
std::string Call(int kind, int t, const Expected &want) {
    const uint16_t id = want.connections[static_cast<size_t>(t) % want.connections.size()];
    switch (kind) {
        case 0: {
            uint8_t record[CIFS_CONNECTION_RECORD_SIZE] = {};
            if (CIFSLIB_GetConnectionDetails(std::to_string(id).c_str(), record, nullptr) != 0)
                return "connection details failed";
            uint16_t got;
            std::memcpy(&got, record, 2);
            return got == id ? "" : "connection details of " + std::to_string(got);
        }
        case 1: {
            UserDetailsNode *node = nullptr;
            if (Ext_GetConnInfo(id, &node) != 0 || node == nullptr) return "conn info failed";
            const uint16_t got = node->connectionId;
            FreeUserDetailsNode(&node);
            return got == id ? "" : "conn info of " + std::to_string(got);
        }
        case 2: {
            // The thread's own argument block, filled by hand as a command-line tool does.
            gbCifsArg[0] = {1, nullptr};
            gbCifsArg[1] = {7, nullptr};
            gbCifsArg[2] = {12, strdup(ThreadShare(t).c_str())};
            gbCifsArg[3] = {0, nullptr};
            RespPkt *response = nullptr;
            if (ValidateAndProcessCmd(&response) != 0) return "share details failed";
            uint32_t len = 0;
            uint8_t type = 0;
            auto *record = static_cast<ShareParams *>(RespPktGetFirstData(response, &len, &type));
            std::string got =
                record != nullptr && len == sizeof(ShareParams) ? record->shareName : "(no record)";
            std::free(record);
            std::free(response->buffer);
            std::free(response);
            return got == ThreadShare(t) ? "" : "share details of " + got;
        }
        case 3: {
            int32_t count = -1;
            if (CIFSLIB_GetConnectionsCount(&count) != 0) return "count failed";
            return count == static_cast<int32_t>(want.connections.size()) ? "" : "wrong count";
        }
        case 4: {
            int32_t count = 0;
            ConnListNode *list = nullptr;
            if (Ext_ListConnDetails(&count, &list) != 0) return "connection list failed";
            std::vector<uint16_t> ids;
            for (ConnListNode *n = list; n != nullptr; n = n->next) ids.push_back(n->connectionId);
            FreeConnListNodes(&list);
            return ids == want.connections ? "" : "other connection list";
        }
        case 5: {
            ShareNameList *list = nullptr;
            if (CIFSLIB_GetShareNames(&list) != 0 || list == nullptr) return "names failed";
            std::string got = Names(list);
            std::free(list);
            std::string expected;
            for (const std::string &n : want.names) expected += n + ';';
            return got == expected ? "" : "other share names";
        }
        case 6: {
            int32_t count = 0;
            VolsDetailsNode *list = nullptr;
            if (Ext_ListVolumeDetails(&count, &list) != 0) return "volume list failed";
            std::vector<std::string> got;
            for (VolsDetailsNode *n = list; n != nullptr; n = n->next) got.push_back(n->name);
            FreeVolsDetailsNode(&list);
            return got == want.names ? "" : "other volume list";
        }
        case 7: {
            ShareInfoList *list = nullptr;
            const int rc = CIFSLIB_GetConnectionMappedShares(std::to_string(id).c_str(), &list);
            const std::string got = rc == 0 ? InfoNames(list) : "rc " + std::to_string(rc);
            return got == want.mapped[static_cast<size_t>(t)] ? "" : "other mapped shares";
        }
        case 8: {
            int32_t count = 0;
            VolFileListNode *list = nullptr;
            const int rc = Ext_ListVolFileDetails(kVolumes[t % 2], &list, &count);
            const std::vector<std::string> got =
                rc == 0 ? VolumeFileEntries(list) : std::vector<std::string>{"failed"};
            return got == want.volumeFiles[t % 2] ? "" : "other open files";
        }
        case 9: {
            UserContextHeader *header = nullptr;
            void *data = nullptr;
            if (CIFSLIB_ListUserContexts(&header, &data) != 0) return "contexts failed";
            std::string got;
            if (header != nullptr) {
                got = std::string(reinterpret_cast<char *>(data), header->dataLength);
                std::free(header);
                std::free(data);
            }
            return got == want.userContexts ? "" : "other user contexts";
        }
        default: {
            // Closing the files of a connection that does not exist: refused, nothing changes.
            const int rc = Ext_CloseFileByID(60000 + t);
            return rc == want.refusedClose ? "" : "close answered " + std::to_string(rc);
        }
    }
}
constexpr int kKinds = 11;

class ConcurrencyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.ready()) << "sharesim did not start";
        level_ = gCIFSLogLevel;
        gCIFSLogLevel = 0;  // quiet: thousands of calls, nothing to report
    }
    void TearDown() override { gCIFSLogLevel = level_; }

    SimProcess sim_{SHARESIM_BIN, {"--clients", "24", "--seed", "7"}};
    uint32_t level_ = 0;
};

// Expected answers, read by one thread once the threads' own shares exist.
Expected ReadExpectations() {
    Expected e;
    int32_t count = 0;
    ConnListNode *list = nullptr;
    EXPECT_EQ(Ext_ListConnDetails(&count, &list), 0);
    for (ConnListNode *n = list; n != nullptr; n = n->next)
        e.connections.push_back(n->connectionId);
    FreeConnListNodes(&list);
    VolsDetailsNode *vols = nullptr;
    EXPECT_EQ(Ext_ListVolumeDetails(&count, &vols), 0);
    for (VolsDetailsNode *n = vols; n != nullptr; n = n->next) e.names.push_back(n->name);
    FreeVolsDetailsNode(&vols);
    for (int t = 0; t < kThreads; ++t) {
        const uint16_t id = e.connections[static_cast<size_t>(t) % e.connections.size()];
        ShareInfoList *mapped = nullptr;
        const int rc = CIFSLIB_GetConnectionMappedShares(std::to_string(id).c_str(), &mapped);
        e.mapped.push_back(rc == 0 ? InfoNames(mapped) : "rc " + std::to_string(rc));
    }
    for (int v = 0; v < 2; ++v) {
        VolFileListNode *files = nullptr;
        const int rc = Ext_ListVolFileDetails(kVolumes[v], &files, &count);
        e.volumeFiles[v] = rc == 0 ? VolumeFileEntries(files) : std::vector<std::string>{"failed"};
    }
    UserContextHeader *header = nullptr;
    void *data = nullptr;
    EXPECT_EQ(CIFSLIB_ListUserContexts(&header, &data), 0);
    if (header != nullptr) {
        e.userContexts = std::string(static_cast<char *>(data), header->dataLength);
        std::free(header);
        std::free(data);
    }
    e.refusedClose = Ext_CloseFileByID(60000);
    return e;
}

TEST_F(ConcurrencyTest, SixteenThreadsTenThousandCallsEachGetTheirOwnAnswer) {
    // Each thread creates its own share, all at once.
    {
        std::vector<std::thread> threads;
        std::atomic<int> created{0};
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t, &created] { created += CreateThreadShare(t) == 0; });
        for (std::thread &th : threads) th.join();
        ASSERT_EQ(created, kThreads);
    }
    const Expected want = ReadExpectations();
    // The population the answers are checked against: the seeded connections, the threads'
    // shares among the names, open files in the volumes.
    ASSERT_EQ(want.connections.size(), 24u);
    ASSERT_NE(std::find(want.names.begin(), want.names.end(), "t15"), want.names.end());
    ASSERT_FALSE(want.volumeFiles[0].empty() && want.volumeFiles[1].empty());
    ASSERT_NE(want.refusedClose, 0);

    std::atomic<int> answered{0};
    std::mutex mutex;
    std::vector<std::string> wrong;
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kCalls / kThreads; ++i) {
                const int kind = (i + t) % kKinds;
                const std::string problem = Call(kind, t, want);
                ++answered;
                if (!problem.empty()) {
                    std::lock_guard lock(mutex);
                    wrong.push_back("thread " + std::to_string(t) + ", kind " +
                                    std::to_string(kind) + ": " + problem);
                }
            }
            for (CifsArgEntry &e : gbCifsArg) EXPECT_EQ(e.value, nullptr);
        });
    for (std::thread &th : threads) th.join();
    EXPECT_EQ(answered, kCalls);
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong answers, first: " << wrong.front();

    // And each removes its own share again.
    for (int t = 0; t < kThreads; ++t)
        threads[static_cast<size_t>(t)] = std::thread([t] {
            const std::string name = ThreadShare(t);
            const std::string strings = name + '\0' + "VOL1" + '\0';
            std::vector<uint64_t> raw((SHARE_INFO_FIXED_SIZE + strings.size() + 7) / 8, 0);
            auto *info = reinterpret_cast<ShareInfo *>(raw.data());
            info->volumeOffset = static_cast<uint32_t>(name.size() + 1);
            info->stringBytes = static_cast<uint32_t>(strings.size());
            std::memcpy(reinterpret_cast<char *>(info) + SHARE_INFO_FIXED_SIZE, strings.data(),
                        strings.size());
            EXPECT_EQ(CIFSLIB_RemoveShare(info), 0);
        });
    for (std::thread &th : threads) th.join();
    ShareNameList *names = nullptr;
    ASSERT_EQ(CIFSLIB_GetShareNames(&names), 0);
    EXPECT_EQ(Names(names).find(";t0;"), std::string::npos);
    std::free(names);
}

// One thread's argument block, filled and left waiting, is never touched while fifteen other
// threads fill theirs and run commands through the pipeline.
TEST_F(ConcurrencyTest, OneThreadsArgumentBlockIsNeverTouchedByAnother) {
    std::atomic<bool> othersDone{false};
    std::atomic<int> changed{-1};
    std::vector<const void *> blocks(kThreads);
    std::thread keeper([&] {
        blocks[0] = gbCifsArg;
        // Every entry set: codes and heap strings no command of the others uses.
        std::vector<std::string> texts;
        for (int i = 0; i < 128; ++i) {
            texts.push_back("keeper-" + std::to_string(i));
            gbCifsArg[i] = {1000 + i, strdup(texts.back().c_str())};
        }
        CifsArgEntry snapshot[128];
        std::memcpy(snapshot, gbCifsArg, sizeof snapshot);
        // Watches its block while the others work; a shared block would also be a data race
        // that ThreadSanitizer reports.
        while (!othersDone) {
            for (int i = 0; i < 128; ++i) {
                if (gbCifsArg[i].id != snapshot[i].id || gbCifsArg[i].value != snapshot[i].value ||
                    texts[static_cast<size_t>(i)] != gbCifsArg[i].value)
                    changed = i;
            }
            std::this_thread::yield();
        }
        for (CifsArgEntry &e : gbCifsArg) {
            std::free(e.value);
            e = CifsArgEntry{};
        }
    });
    std::vector<std::thread> others;
    for (int t = 1; t < kThreads; ++t)
        others.emplace_back([&, t] {
            blocks[static_cast<size_t>(t)] = gbCifsArg;
            for (int i = 0; i < 40; ++i) {
                int32_t count = 0;
                CIFSLIB_GetConnectionsCount(&count);
                ShareNameList *list = nullptr;
                if (CIFSLIB_GetShareNames(&list) == 0) std::free(list);
                CIFSLIB_RemoveInvalidUser("nobody");  // entries 0 to 3, with a copied name
                gbCifsArg[0] = {30, nullptr};
                gbCifsArg[1] = {7, nullptr};
                gbCifsArg[2] = {0, nullptr};
                RespPkt *response = nullptr;
                if (ValidateAndProcessCmd(&response) == 0) {
                    std::free(response->buffer);
                    std::free(response);
                }
            }
        });
    for (std::thread &th : others) th.join();
    othersDone = true;
    keeper.join();
    EXPECT_EQ(changed, -1) << "entry " << changed << " of the keeper's block changed";
    // Sixteen distinct blocks.
    std::sort(blocks.begin(), blocks.end());
    EXPECT_EQ(std::unique(blocks.begin(), blocks.end()), blocks.end());
}

}  // namespace
}  // namespace share::test::hardening
