// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "tests/admin/api/api_testing.h"

namespace share::test {
namespace {

std::vector<uint8_t> CreateRequest(const ShareFields &s) {
    const ShareParams p = ShareRecord(s);
    const std::vector<uint8_t> dn(256, 0);
    return EncodeRequest(0, 2,
                         {RecordElement(6, p), BytesElement(2, p.sharePath, 512),
                          BytesElement(20, dn.data(), dn.size())});
}

std::vector<uint8_t> ModifyRequest(const ShareFields &s) {
    return EncodeRequest(0, 77, {RecordElement(6, ShareRecord(s))});
}

std::vector<uint8_t> RemoveRequest(const std::string &name) {
    const std::vector<uint8_t> dn(256, 0);
    return EncodeRequest(
        0, 3,
        {RecordElement(6, ShareRecord({.name = name})), BytesElement(20, dn.data(), dn.size())});
}

class ShareConfigTest : public ApiTest {};

ShareInfoBuilder Typical() {
    ShareInfoBuilder b;
    b.Name("DATA").Volume("VOL1").Path("/users/public").Comment("hello   ").Switches(1, 0, 2);
    return b;
}

TEST_F(ShareConfigTest, CreateSendsEveryOption) {
    struct Case {
        const char *label;
        ShareInfoBuilder record;
        std::vector<int32_t> entries;
        ShareFields sent;
    };
    const std::string name80(80, 'n'), comment47(47, 'c');
    Case cases[] = {
        {"typical",
         Typical(),
         {1, 10, 12, 34, 17, 49, 54, 68, 0},
         {.name = "DATA",
          .path = "VOL1:/users/public",
          .comment = "hello",
          .folder = 0,
          .encrypt = 1,
          .atm = 1}},
        {"no comment",
         ShareInfoBuilder().Name("DATA").Volume("VOL1").Path("/p").NoComment(),
         {1, 10, 12, 34, 49, 54, 68, 0},
         {.name = "DATA", .path = "VOL1:/p"}},
        {"empty path",
         ShareInfoBuilder().Name("D").Volume("VOL1").Path("").Comment(""),
         {1, 10, 12, 34, 17, 49, 54, 68, 0},
         {.name = "D", .path = "VOL1:"}},
        {"longest name and comment",
         ShareInfoBuilder().Name(name80).Volume("V").Path("/").Comment(comment47).Switches(0, 9, 0),
         {1, 10, 12, 34, 17, 49, 54, 68, 0},
         {.name = name80, .path = "V:/", .comment = comment47, .folder = 1}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.label);
        ClearArgBlock();
        FakeServer server;
        EXPECT_EQ(CIFSLIB_CreateShare(c.record.Get()), 0);
        ASSERT_EQ(server.RequestCount(), 1u);
        EXPECT_EQ(server.LastRequest().raw, CreateRequest(c.sent));
        EXPECT_EQ(ArgBlockIds(static_cast<int>(c.entries.size())), c.entries);
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
    EXPECT_TRUE(ApiLines().empty());
}

TEST_F(ShareConfigTest, CreateStripsTheCallersComment) {
    FakeServer server;
    ShareInfoBuilder b = Typical();
    ShareInfo *info = b.Get();
    ASSERT_EQ(CIFSLIB_CreateShare(info), 0);
    EXPECT_EQ(TextOf(info, info->commentOffset), "hello");
}

TEST_F(ShareConfigTest, CreateRejectsBeforeSending) {
    struct Case {
        const char *label;
        ShareInfoBuilder record;
        std::string log;
    };
    const std::string name81(81, 'n'), comment48(48, 'c');
    Case cases[] = {
        {"name of 81", ShareInfoBuilder().Name(name81).Volume("V").Path("/").NoComment(),
         "CIFSLIB: Name exceeds 80 characters long to create a new share: " + name81},
        {"name of periods", ShareInfoBuilder().Name("...").Volume("V").Path("/").NoComment(),
         "CIFSLIB: Invalid name provided to create a new share: ..."},
        {"comment of 48", ShareInfoBuilder().Name("D").Volume("V").Path("/").Comment(comment48),
         "CIFSLIB: Comment exceeds 47 characters long to create a new share: D <" + comment48 +
             ">"},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server;
        EXPECT_EQ(CIFSLIB_CreateShare(c.record.Get()), -1);
        EXPECT_EQ(server.RequestCount(), 0u);
        EXPECT_EQ(ApiLines(), std::vector<std::string>{Line("ERROR", c.log)});
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
}

TEST_F(ShareConfigTest, PipelineRejectionReleasesTheEntries) {
    // A path over 511 characters passes here and is rejected by the command processing.
    FakeServer server;
    ShareInfoBuilder b;
    b.Name("D").Volume("V").Path(std::string(600, 'p')).Comment("c");
    EXPECT_EQ(CIFSLIB_CreateShare(b.Get()), -1);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_TRUE(ArgBlockValuesCleared());
    EXPECT_TRUE(ApiLines().empty());
}

TEST_F(ShareConfigTest, ChangeSendsTheMaskedOptions) {
    struct Case {
        const char *label;
        uint32_t mask;
        std::vector<int32_t> entries;
        ShareFields sent;
    };
    const Case cases[] = {
        {"new name, path, encrypt data",
         0x0B,
         {1, 78, 12, 79, 34, 49, 0},
         {.name = "DATA",
          .newName = "DATA2",
          .path = "VOL1:/users/public",
          .flags = 0x0B,
          .encrypt = 1}},
        {"nothing", 0, {1, 78, 12, 0}, {.name = "DATA"}},
        {"unknown bits are ignored", 0x40, {1, 78, 12, 0}, {.name = "DATA"}},
        {"everything",
         0x3F,
         {1, 78, 12, 79, 34, 17, 49, 54, 68, 0},
         {.name = "DATA",
          .newName = "DATA2",
          .path = "VOL1:/users/public",
          .comment = "hello",
          .flags = 0x3F,
          .folder = 0,
          .encrypt = 1,
          .atm = 1}},
        {"switches only",
         0x30,
         {1, 78, 12, 54, 68, 0},
         {.name = "DATA", .flags = 0x30, .folder = 0, .atm = 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        ClearArgBlock();
        FakeServer server;
        ShareInfoBuilder b = Typical();
        b.NewName("DATA2").Mask(c.mask);
        EXPECT_EQ(CIFSLIB_ChangeShareConfiguration(b.Get()), 0);
        ASSERT_EQ(server.RequestCount(), 1u);
        EXPECT_EQ(server.LastRequest().raw, ModifyRequest(c.sent));
        EXPECT_EQ(ArgBlockIds(static_cast<int>(c.entries.size())), c.entries);
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
}

TEST_F(ShareConfigTest, ChangeFeaturesSendsOnlyTheSwitches) {
    struct Case {
        uint32_t mask;
        std::vector<int32_t> entries;
        ShareFields sent;
    };
    const Case cases[] = {
        {0x0B, {1, 78, 12, 49, 0}, {.name = "DATA", .flags = 0x08, .encrypt = 1}},
        {0x07, {1, 78, 12, 0}, {.name = "DATA"}},
        {0x38,
         {1, 78, 12, 49, 54, 68, 0},
         {.name = "DATA", .flags = 0x38, .folder = 0, .encrypt = 1, .atm = 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask);
        ClearArgBlock();
        FakeServer server;
        // Offsets of the unread texts point far outside the record: they must not be touched.
        ShareInfoBuilder b;
        b.Name("DATA").Switches(1, 0, 2).Mask(c.mask);
        ShareInfo *info = b.Get();
        info->newNameOffset = info->pathOffset = info->volumeOffset = info->commentOffset =
            0x7FFFFFF0;
        EXPECT_EQ(CIFSLIB_ChangeShareFeatureConfiguration(info), 0);
        ASSERT_EQ(server.RequestCount(), 1u);
        EXPECT_EQ(server.LastRequest().raw, ModifyRequest(c.sent));
        EXPECT_EQ(ArgBlockIds(static_cast<int>(c.entries.size())), c.entries);
    }
}

TEST_F(ShareConfigTest, ChangeRejectsBeforeSending) {
    struct Case {
        const char *label;
        std::string newName;
        std::string comment;
        uint32_t mask;
        std::string log;
    };
    const std::string name81(81, 'n'), comment48(48, 'c');
    const Case cases[] = {
        {"new name of periods", "..", "c", 0x01,
         "CIFSLIB: Invalid new name provided for changing share configuration: DATA"},
        {"new name of 81", name81, "c", 0x01,
         "CIFSLIB: New name exceeds 80 characters long for changing share configuration: DATA"},
        {"comment of 48", "N", comment48 + "  ", 0x04,
         "CIFSLIB: Comment exceeds 47 characters long for changing share configuration: DATA <" +
             comment48 + ">"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        FakeServer server;
        ShareInfoBuilder b;
        b.Name("DATA").Volume("V").Path("/").Comment(c.comment).NewName(c.newName).Mask(c.mask);
        EXPECT_EQ(CIFSLIB_ChangeShareConfiguration(b.Get()), -1);
        EXPECT_EQ(server.RequestCount(), 0u);
        EXPECT_EQ(ApiLines(), std::vector<std::string>{Line("ERROR", c.log)});
        EXPECT_TRUE(ArgBlockValuesCleared());
    }
}

TEST_F(ShareConfigTest, ChangeStripsTheCallersCommentOnlyWhenSelected) {
    FakeServer server;
    ShareInfoBuilder b = Typical();
    ShareInfo *info = b.Mask(0x01).NewName("X").Get();
    ASSERT_EQ(CIFSLIB_ChangeShareConfiguration(info), 0);
    EXPECT_EQ(TextOf(info, info->commentOffset), "hello   ");
    info->modifyMask = 0x04;
    ASSERT_EQ(CIFSLIB_ChangeShareConfiguration(info), 0);
    EXPECT_EQ(TextOf(info, info->commentOffset), "hello");
}

TEST_F(ShareConfigTest, RefusalsAreLoggedAndPassedOn) {
    struct Case {
        const char *label;
        int (*call)(ShareInfo *);
        std::string log;
    };
    const Case cases[] = {
        {"create", CIFSLIB_CreateShare,
         "CIFSLIB: Failed to create/add a new share: DATA, error: 4"},
        {"change", CIFSLIB_ChangeShareConfiguration,
         "CIFSLIB: Failed to change configuration of share: DATA, error: 4"},
        {"change features", CIFSLIB_ChangeShareFeatureConfiguration,
         "CIFSLIB: Failed to change feature configuration of share: DATA, error: 4"},
        {"remove", CIFSLIB_RemoveShare, "CIFSLIB: Failed to remove share: DATA, error: 4"},
    };
    FakeServer server([](const Request &) { return Reply::Status(4); });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        log_.Clear();
        ShareInfoBuilder b = Typical();
        EXPECT_EQ(c.call(b.Get()), 4);
        EXPECT_EQ(ApiLines(), std::vector<std::string>{Line("ERROR", c.log)});
        gCIFSLogLevel = kLogEverything & ~uint32_t{CIFS_LOG_ERROR};
        EXPECT_EQ(c.call(b.Get()), 4);
        EXPECT_EQ(ApiLines().size(), 1u);
        gCIFSLogLevel = kLogEverything;
    }
}

TEST_F(ShareConfigTest, NullRecord) {
    FakeServer server;
    EXPECT_EQ(CIFSLIB_CreateShare(nullptr), -1);
    EXPECT_EQ(CIFSLIB_ChangeShareConfiguration(nullptr), -1);
    EXPECT_EQ(CIFSLIB_ChangeShareFeatureConfiguration(nullptr), -1);
    EXPECT_EQ(CIFSLIB_RemoveShare(nullptr), -1);
    EXPECT_EQ(server.RequestCount(), 0u);
    const std::string change =
        Line("ERROR", "CIFSLIB: Not received shareInfo parameter to change share configuration.");
    EXPECT_EQ(ApiLines(),
              (std::vector<std::string>{
                  Line("ERROR", "CIFSLIB: Not received shareInfo parameter to create a new share."),
                  change, change}));
}

TEST_F(ShareConfigTest, RemoveAListedRecordUnchanged) {
    FakeServer server([](const Request &r) {
        if (r.function == 0) return Reply::Status(0, {TextElement(1, "DATA")});
        if (r.function == 1)
            return Reply::Status(
                0,
                {ShareElement({.name = "DATA", .volume = "VOL1", .path = "/p", .comment = "c"})});
        return Reply::Status(0);
    });
    ShareInfoList *list = nullptr;
    ASSERT_EQ(CIFSLIB_ListAllShares(&list), 0);
    ClearArgBlock();
    EXPECT_EQ(CIFSLIB_RemoveShare(EntryOf(list, 0)), 0);
    EXPECT_EQ(server.LastRequest().raw, RemoveRequest("DATA"));
    EXPECT_EQ(ArgBlockIds(4), (std::vector<int32_t>{1, 11, 12, 0}));
    EXPECT_TRUE(ArgBlockValuesCleared());
    FreeInfoList(list);
}

}  // namespace
}  // namespace share::test
