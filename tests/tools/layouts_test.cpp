// SPDX-License-Identifier: Apache-2.0
// sharesim against the exact layouts the libraries read: its answers, decoded by the real
// libraries, must say what its state file says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "common/server_formats.h"
#include "shareadmin/api.h"
#include "shareadmin/command.h"
#include "shareadmin/monitor.h"
#include "sharesim/state.h"
#include "tests/tools/process.h"

namespace share::tools::test {
namespace {

using sim::State;

class Layouts : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_ = std::make_unique<SimProcess>(
            std::vector<std::string>{"--clients", "12", "--seed", "3", "--state", State()});
        ASSERT_TRUE(sim_->ready()) << sim_->Stderr();
    }
    std::string State() const { return dir_.File("state.json"); }
    sim::State Load() const { return sim::LoadState(State()).value(); }

    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
};

std::string Text(const ShareInfo *info, uint32_t offset) {
    return SHARE_INFO_TEXT(info, offset);
}

TEST_F(Layouts, ShareListingDecodesToTheStateAndItsTypes) {
    const sim::State st = Load();
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    ASSERT_EQ(list->count, st.volumes.size() + st.shares.size());
    std::map<std::string, const ShareInfo *> byName;
    for (uint32_t i = 0; i < list->count; ++i)
        byName[Text(list->entries[i], list->entries[i]->nameOffset)] = list->entries[i];
    for (const auto &v : st.volumes) {
        ASSERT_TRUE(byName.count(v.name)) << v.name;
        EXPECT_EQ(byName[v.name]->volumeType, v.admin ? SHARE_TYPE_ADMIN : SHARE_TYPE_VOLUME)
            << v.name;
    }
    for (const auto &s : st.shares) {
        ASSERT_TRUE(byName.count(s.name)) << s.name;
        const ShareInfo *info = byName[s.name];
        EXPECT_EQ(info->volumeType, SHARE_TYPE_DIRECTORY);
        EXPECT_EQ(Text(info, info->volumeOffset), s.volume);
        EXPECT_EQ(Text(info, info->pathOffset), s.path);
        EXPECT_EQ(Text(info, info->commentOffset), s.comment);
        EXPECT_EQ(Text(info, info->auxTextOffset), s.volume + ":" + s.path);
        EXPECT_EQ(info->encryptData, s.encryptData);
    }
    for (uint32_t i = 0; i < list->count; ++i) std::free(list->entries[i]);
    std::free(list);
}

TEST_F(Layouts, CreatedSharesComeBackWithTheirSettings) {
    std::string strings =
        std::string("docs") + '\0' + "VOL2" + '\0' + "/team/docs" + '\0' + "Team documents" + '\0';
    std::vector<char> rec(SHARE_INFO_FIXED_SIZE + strings.size());
    auto *info = reinterpret_cast<ShareInfo *>(rec.data());
    info->nameOffset = 0;
    info->volumeOffset = 5;
    info->pathOffset = 10;
    info->commentOffset = 21;
    info->encryptData = 1;
    info->atmBackup = 1;
    info->stringBytes = static_cast<uint32_t>(strings.size());
    std::memcpy(rec.data() + SHARE_INFO_FIXED_SIZE, strings.data(), strings.size());
    ASSERT_EQ(CIFSLIB_CreateShare(info), 0);
    EXPECT_EQ(CIFSLIB_CreateShare(info), kNameTaken);
    info->encryptData = 0;
    info->modifyMask = SHARE_MODIFY_ENCRYPT_DATA;
    ASSERT_EQ(CIFSLIB_ChangeShareFeatureConfiguration(info), 0);
    const sim::State st = Load();
    const sim::Share *s = st.FindShare("docs");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->volume, "VOL2");
    EXPECT_EQ(s->path, "/team/docs");
    EXPECT_EQ(s->comment, "Team documents");
    EXPECT_FALSE(s->encryptData);
    EXPECT_EQ(s->atmBackup, 1);
    ASSERT_EQ(CIFSLIB_RemoveShare(info), 0);
    EXPECT_FALSE(Load().FindShare("docs"));
}

TEST_F(Layouts, ConnectionRecordsCarryTheStateFieldByField) {
    const sim::State st = Load();
    int32_t count = -1;
    ASSERT_EQ(CIFSLIB_GetConnectionsCount(&count), 0);
    EXPECT_EQ(count, static_cast<int32_t>(st.connections.size()));
    ConnectionList *list = nullptr;
    ASSERT_EQ(CIFSLIB_GetConnectionsList(&list), 0);
    ASSERT_EQ(list->count, count);
    const auto *records = static_cast<const ConnectionRecord *>(list->records);
    for (int32_t i = 0; i < count; ++i) {
        const auto &c = st.connections[static_cast<size_t>(i)];
        const ConnectionRecord &r = records[i];
        EXPECT_EQ(+r.connectionId, c.id);
        EXPECT_STREQ(r.text20, c.workstation.c_str());
        EXPECT_STREQ(r.text36, c.user.c_str());
        EXPECT_STREQ(r.text292, c.address.c_str());
        EXPECT_STREQ(r.text354, c.dialect.c_str());
        EXPECT_STREQ(r.text386, c.auth.c_str());
        EXPECT_EQ(+r.value12, static_cast<uint64_t>(c.loginAt));
        EXPECT_EQ(+r.value330, c.bytesRead);
        EXPECT_EQ(+r.value338, c.bytesWritten);
        EXPECT_EQ(ConnTotalFiles(r), c.files.size());
        EXPECT_EQ(ConnMappedShares(r), c.mapped.size());
        EXPECT_EQ(+r.openFileCount, 0u) << "list records carry no variable part";
        EXPECT_EQ(+r.secEquivLength, 0u);
    }
    std::free(list->records);
    std::free(list);

    for (const auto &c : st.connections) {
        ConnectionRecord r{};
        void *sev = nullptr;
        ASSERT_EQ(CIFSLIB_GetConnectionDetails(std::to_string(c.id).c_str(), &r, &sev), 0);
        ASSERT_TRUE(sev);
        EXPECT_EQ(+r.secEquivCount, c.secEquiv.size());
        EXPECT_EQ(+r.openFileCount, c.files.size());
        std::string expected;
        for (const auto &dn : c.secEquiv) expected += dn + '\0';
        EXPECT_EQ(std::string(static_cast<const char *>(sev), r.secEquivLength), expected);
        std::free(sev);

        UserDetailsNode *node = nullptr;
        ASSERT_EQ(Ext_GetConnInfo(c.id, &node), 0);
        ASSERT_TRUE(node);
        ASSERT_EQ(+node->openFileCount, c.files.size());
        for (size_t k = 0; k < c.files.size(); ++k)
            EXPECT_EQ(+node->openFileNames[k], c.files[k].FullPath());
        ASSERT_EQ(+node->secEquivCount, c.secEquiv.size());
        for (size_t k = 0; k < c.secEquiv.size(); ++k)
            EXPECT_EQ(+node->secEquivDns[k], c.secEquiv[k]);
        FreeUserDetailsNode(&node);
    }
}

TEST_F(Layouts, MappedSharesAndMonitoringListsMatchTheState) {
    const sim::State st = Load();
    for (const auto &c : st.connections) {
        ShareInfoList *shares = nullptr;
        const int rc = CIFSLIB_GetConnectionMappedShares(std::to_string(c.id).c_str(), &shares);
        if (c.mapped.empty()) {
            EXPECT_EQ(rc, -1) << "the library's answer for no mapped shares";
            continue;
        }
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(shares->count, c.mapped.size());
        for (uint32_t i = 0; i < shares->count; ++i) {
            const ShareInfo *info = shares->entries[i];
            EXPECT_EQ(Text(info, info->nameOffset), c.mapped[i]);
            const sim::Share *s = st.FindShare(c.mapped[i]);
            const std::string volume = s ? s->volume : c.mapped[i];
            const std::string dir = s ? s->path : "/";
            const auto open =
                std::count_if(c.files.begin(), c.files.end(), [&](const sim::OpenFile &f) {
                    return f.volume == volume && (dir == "/" || f.path.rfind(dir + "/", 0) == 0);
                });
            EXPECT_EQ(info->mappedValue, static_cast<uint32_t>(open)) << c.mapped[i];
            std::free(shares->entries[i]);
        }
        std::free(shares);
    }

    int32_t n = 0;
    ConnListNode *conns = nullptr;
    ASSERT_EQ(Ext_ListConnDetails(&n, &conns), 0);
    EXPECT_EQ(n, static_cast<int32_t>(st.connections.size()));
    size_t i = 0;
    for (const ConnListNode *node = conns; node; node = node->next, ++i) {
        EXPECT_EQ(+node->connectionId, st.connections[i].id);
        EXPECT_STREQ(node->text36, st.connections[i].user.c_str());
    }
    FreeConnListNodes(&conns);

    for (const auto &v : st.volumes) {
        std::map<int, std::vector<std::string>> expected;
        for (const auto &c : st.connections)
            for (const auto &f : c.files)
                if (f.volume == v.name) expected[c.id].push_back(f.FullPath());
        int32_t nodes = 0;
        VolFileListNode *files = nullptr;
        const int rc = Ext_ListVolFileDetails(v.name.c_str(), &files, &nodes);
        if (expected.empty()) {
            EXPECT_EQ(rc, -1) << v.name << ": no element is the library's 'no files open'";
            continue;
        }
        ASSERT_EQ(rc, 0) << v.name;
        std::map<int, std::vector<std::string>> got;
        for (const VolFileListNode *node = files; node; node = node->next)
            for (uint16_t k = 0; k < node->openFileCount; ++k)
                got[node->connectionId].push_back(node->fileNames[k]);
        EXPECT_EQ(got, expected) << v.name;
        FreeVolFileListNodes(&files);
    }
}

TEST_F(Layouts, OpenFileEntriesCanBeHandedBackToClose) {
    OpenFilesQuery q{};
    q.nameOffset = 0;
    const std::string strings = std::string("VOL1") + '\0';
    q.stringBytes = static_cast<uint32_t>(strings.size());
    std::vector<uint8_t> rec(sizeof q + strings.size());
    std::memcpy(rec.data(), &q, sizeof q);
    std::memcpy(rec.data() + sizeof q, strings.data(), strings.size());
    void *reply = nullptr;
    ASSERT_EQ(CIFSLIB_ListOpenFiles(reinterpret_cast<OpenFilesRequest *>(rec.data()), &reply), 0);
    OpenFilesReplyHead head;
    std::memcpy(&head, reply, sizeof head);
    size_t inVolume = 0;
    for (const auto &c : Load().connections)
        for (const auto &f : c.files) inVolume += f.volume == "VOL1";
    ASSERT_EQ(+head.entryCount, inVolume);
    ASSERT_GT(+head.entryCount, 0u);
    auto *first = reinterpret_cast<OpenFileInfo *>(static_cast<uint8_t *>(reply) + sizeof head);
    const std::string path =
        reinterpret_cast<const char *>(first) + OPEN_FILE_INFO_FIXED_SIZE + first->pathOffset;
    EXPECT_EQ(CIFSLIB_CloseOpenFile(first), 0);
    EXPECT_EQ(CIFSLIB_CloseOpenFile(first), kNoSuchFile);
    std::free(reply);
    for (const auto &c : Load().connections)
        for (const auto &f : c.files) EXPECT_NE(f.FullPath(), path);
}

TEST_F(Layouts, InvalidUsersContextsAndOptionsRoundTrip) {
    ASSERT_EQ(CIFSLIB_AddPermanentInvalidUser("mallory  "), 0);
    InvalidUserQuery q{};
    void *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListInvalidUsers(&q, &list), 0);
    InvalidUserListHead head;
    std::memcpy(&head, list, sizeof head);
    const sim::State st = Load();
    ASSERT_EQ(+head.entryCount, st.invalidUsers.size());
    EXPECT_EQ(+head.timeoutMinutes, static_cast<uint32_t>(st.iucTimeoutMinutes));
    for (uint32_t i = 0; i < head.entryCount; ++i) {
        InvalidUserEntry e;
        std::memcpy(&e, static_cast<uint8_t *>(list) + sizeof head + i * sizeof e, sizeof e);
        EXPECT_STREQ(e.name, st.invalidUsers[i].name.c_str());
        EXPECT_EQ(e.permanent != 0, st.invalidUsers[i].permanent);
    }
    std::free(list);
    EXPECT_TRUE(std::any_of(st.invalidUsers.begin(), st.invalidUsers.end(),
                            [](const sim::InvalidUser &u) { return u.name == "mallory"; }));

    ASSERT_EQ(CIFSLIB_AddUserContext("ou=finance,o=example"), 0);
    UserContextHeader *hdr = nullptr;
    void *data = nullptr;
    ASSERT_EQ(CIFSLIB_ListUserContexts(&hdr, &data), 0);
    std::string expected;
    for (const auto &c : Load().userContexts) expected += c + '\0';
    EXPECT_EQ(hdr->contextWord, Load().userContexts.size());
    EXPECT_EQ(std::string(static_cast<const char *>(data), hdr->dataLength), expected);
    std::free(hdr);
    std::free(data);

    // A switch, a keyword and a number, set through the argument block, land in the state.
    const std::pair<int, const char *> settings[] = {{4, "force"}, {72, "aes-256-ccm"}, {44, "17"}};
    for (const auto &[code, value] : settings) {
        gbCifsArg[0] = {code, strdup(value)};
        gbCifsArg[1] = {0, nullptr};
        RespPkt *resp = nullptr;
        ASSERT_EQ(ValidateAndProcessCmd(&resp), 0) << code;
        int32_t status;
        std::memcpy(&status, resp->buffer, 4);
        EXPECT_EQ(status, 0) << code;
        std::free(resp->buffer);
        std::free(resp);
    }
    const sim::State after = Load();
    EXPECT_EQ(after.options.at("smb-signing").number, 2);
    EXPECT_EQ(after.options.at("preferred-cipher").text, "AES-256-CCM");
    EXPECT_EQ(after.options.at("oplock-break-ack-timeout").number, 17);
}

}  // namespace
}  // namespace share::tools::test
