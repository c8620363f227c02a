// SPDX-License-Identifier: Apache-2.0
// Every management function with each of its allocations failing in turn: the result is either
// the complete answer or a failure that leaves the caller's result locations untouched and the
// argument block without values (leaks are caught by LeakSanitizer in the sanitizer build).
#include <gtest/gtest.h>

#include <functional>

#include "tests/admin/api/api_testing.h"

namespace share::test {
namespace {

std::string Bytes(const void *p, size_t n) {
    return std::string(static_cast<const char *>(p), n);
}

std::string InfoBytes(const ShareInfo *info) {
    return Bytes(info, SHARE_INFO_FIXED_SIZE + info->stringBytes);
}

std::string InfoListBytes(ShareInfoList *list) {
    std::string out = std::to_string(list->count) + ":";
    for (uint32_t i = 0; i < list->count; ++i) out += InfoBytes(EntryOf(list, i));
    FreeInfoList(list);
    return out;
}

constexpr const char *kUntouched = "untouched";

struct FaultCase {
    const char *label;
    FakeServer::Handler server;
    // Makes the call (which must be the first allocation of the run), disarms the scope, then
    // describes and releases what was handed over: kUntouched when nothing was.
    std::function<int(AllocFaultScope &, std::string &)> run;
    // A result other than the complete answer that still counts as success.
    std::string alsoAccepted = {};
};

Reply Names(std::vector<std::string> names) {
    std::vector<Element> elements;
    for (const std::string &n : names) elements.push_back(TextElement(1, n));
    return Reply::Status(0, elements);
}

class FaultInjectionTest : public ApiTest {
  protected:
    void SetUp() override {
        ApiTest::SetUp();
        share_ = ShareInfoBuilder()
                     .Name("DATA")
                     .Volume("VOL1")
                     .Path("/p")
                     .Comment("note  ")
                     .NewName("DATA2")
                     .Switches(1, 1, 0)
                     .Mask(0x3F);
        info_ = share_.Get();
        pristine_ = Bytes(info_, SHARE_INFO_FIXED_SIZE + info_->stringBytes);
    }

    // Restores the share record that create and change strip in place (no allocation).
    ShareInfo *Share() {
        std::memcpy(info_, pristine_.data(), pristine_.size());
        return info_;
    }
    OpenFileInfo *File() { return file_.Get(); }

    std::vector<FaultCase> Cases();

    ShareInfoBuilder share_;
    ShareInfo *info_ = nullptr;
    std::string pristine_;
    OpenFileRecord file_ = OpenFileOf(std::string_view("/a/b", 5));
    OpenFilesRequestRecord open_request_ = OpenFilesRequestOf(std::string_view("VOL1", 5));
    InvalidUsersRequestRecord iu_request_ = InvalidUsersRequestOf("");
};

// A status-only call: nothing is handed over.
template <class Call>
std::function<int(AllocFaultScope &, std::string &)> StatusOnly(Call call) {
    return [call](AllocFaultScope &scope, std::string &out) {
        const int rc = call();
        scope.Disarm();
        out = rc == 0 ? "done" : kUntouched;
        return rc;
    };
}

std::vector<FaultCase> FaultInjectionTest::Cases() {
    const Element a = ShareElement({.name = "A", .volume = "V", .path = "/a", .comment = "c"});
    const Element b = ShareElement({.name = "B", .volume = "B", .aux = "aux"});
    ConnectionRecord conn{};
    conn.connectionId = 4;
    conn.secEquivLength = 6;
    const Element details = ConnRecord(conn).Tail(std::string_view("cn=x\0\0", 6)).ToElement();
    const Element contexts = UserContextsElement(1, 3, std::string_view("ou", 3));

    return {
        {"share names", ByFunction({{0, Names({"A", "B", "C"})}}),
         [](AllocFaultScope &scope, std::string &out) {
             ShareNameList *list = Sentinel<ShareNameList>();
             const int rc = CIFSLIB_GetShareNames(&list);
             scope.Disarm();
             if (list == Sentinel<ShareNameList>()) {
                 out = kUntouched;
             } else {
                 out = Bytes(list, 4 + 82 * list->count);
                 std::free(list);
             }
             return rc;
         }},
        {"all shares",
         [a, b](const Request &r) {
             if (r.function == 0) return Names({"A", "B"});
             return Reply::Status(0, {RequestedShareName(r) == "A" ? a : b, TextElement(9, "")});
         },
         [](AllocFaultScope &scope, std::string &out) {
             ShareInfoList *list = Sentinel<ShareInfoList>();
             const int rc = CIFSLIB_ListAllShares(&list);
             scope.Disarm();
             out = list == Sentinel<ShareInfoList>() ? kUntouched : InfoListBytes(list);
             return rc;
         }},
        {"create", ByFunction({{2, Reply::Status(0)}}),
         StatusOnly([this] { return CIFSLIB_CreateShare(Share()); })},
        {"change", ByFunction({{77, Reply::Status(0)}}),
         StatusOnly([this] { return CIFSLIB_ChangeShareConfiguration(Share()); })},
        {"change features", ByFunction({{77, Reply::Status(0)}}),
         StatusOnly([this] { return CIFSLIB_ChangeShareFeatureConfiguration(Share()); })},
        {"remove", ByFunction({{3, Reply::Status(0)}}),
         StatusOnly([this] { return CIFSLIB_RemoveShare(Share()); })},
        {"list open files", ByFunction({{79, Reply::Status(0, {TextElement(77, "reply")})}}),
         [this](AllocFaultScope &scope, std::string &out) {
             void *reply = Sentinel<void>();
             const int rc = CIFSLIB_ListOpenFiles(open_request_.Get(), &reply);
             scope.Disarm();
             if (reply == Sentinel<void>()) {
                 out = kUntouched;
             } else {
                 out = Bytes(reply, 6);
                 std::free(reply);
             }
             return rc;
         }},
        {"close file", ByFunction({{36, Reply::Status(0)}}),
         StatusOnly([this] { return CIFSLIB_CloseOpenFile(File()); })},
        {"close volume files", ByFunction({{38, Reply::Status(0)}}),
         StatusOnly([this] { return CIFSLIB_CloseAllOpenFiles(Share()); })},
        {"list user contexts", ByFunction({{82, Reply::Status(0, {contexts})}}),
         [](AllocFaultScope &scope, std::string &out) {
             UserContextHeader *header = Sentinel<UserContextHeader>();
             void *data = Sentinel<void>();
             const int rc = CIFSLIB_ListUserContexts(&header, &data);
             scope.Disarm();
             if (header == Sentinel<UserContextHeader>() && data == Sentinel<void>()) {
                 out = kUntouched;
             } else {
                 out = Bytes(header, 8) + Bytes(data, header->dataLength);
                 std::free(header);
                 std::free(data);
             }
             return rc;
         }},
        {"add user context", ByFunction({{83, Reply::Status(0)}}),
         StatusOnly([] { return CIFSLIB_AddUserContext("ou=x"); })},
        {"remove user context", ByFunction({{84, Reply::Status(0)}}),
         StatusOnly([] { return CIFSLIB_RemoveUserContext("ou=x"); })},
        {"connections count", ByFunction({{25, Reply::Status(0, {U32Element(41, 2)})}}),
         [](AllocFaultScope &scope, std::string &out) {
             int32_t count = -5;
             const int rc = CIFSLIB_GetConnectionsCount(&count);
             scope.Disarm();
             out = count == -5 ? kUntouched : std::to_string(count);
             return rc;
         }},
        {"connections list",
         ByFunction({{25, Reply::Status(0, {U32Element(41, 2)})},
                     {26, Reply::Status(0, {RecordElement(41, conn), TextElement(3, "x"),
                                            RecordElement(41, conn), RecordElement(41, conn)})}}),
         [](AllocFaultScope &scope, std::string &out) {
             ConnectionList *list = Sentinel<ConnectionList>();
             const int rc = CIFSLIB_GetConnectionsList(&list);
             scope.Disarm();
             if (list == Sentinel<ConnectionList>()) {
                 out = kUntouched;
             } else {
                 out = std::to_string(list->count) + Bytes(list->records, 418 * 2);
                 std::free(list->records);
                 std::free(list);
             }
             return rc;
         }},
        {"connection details", ByFunction({{29, Reply::Status(0, {details})}}),
         [](AllocFaultScope &scope, std::string &out) {
             ConnectionRecord record;
             std::memset(&record, 0xEE, sizeof record);
             void *block = Sentinel<void>();
             const int rc = CIFSLIB_GetConnectionDetails("4", &record, &block);
             scope.Disarm();
             const std::string untouched(sizeof record, '\xEE');
             out = Bytes(&record, sizeof record);
             if (block == Sentinel<void>()) {
                 out = out == untouched ? kUntouched : out + kUntouched;
             } else {
                 out += Bytes(block, 6);
                 std::free(block);
             }
             return rc;
         },
         // The block alone cannot be allocated: the record is still filled and the result is 0.
         Bytes(details.payload.data(), 418) + kUntouched},
        {"mapped shares", ByFunction({{78, Reply::Status(0, {U32Element(41, 2), a, b})}}),
         [](AllocFaultScope &scope, std::string &out) {
             ShareInfoList *list = Sentinel<ShareInfoList>();
             const int rc = CIFSLIB_GetConnectionMappedShares("4", &list);
             scope.Disarm();
             out = list == Sentinel<ShareInfoList>() ? kUntouched : InfoListBytes(list);
             return rc;
         }},
        {"list invalid users", ByFunction({{80, Reply::Status(0, {TextElement(78, "list")})}}),
         [this](AllocFaultScope &scope, std::string &out) {
             void *list = Sentinel<void>();
             const int rc = CIFSLIB_ListInvalidUsers(iu_request_.Get(), &list);
             scope.Disarm();
             if (list == Sentinel<void>()) {
                 out = kUntouched;
             } else {
                 out = Bytes(list, 5);
                 std::free(list);
             }
             return rc;
         }},
        {"add invalid user", ByFunction({{22, Reply::Status(0)}}),
         StatusOnly([] { return CIFSLIB_AddPermanentInvalidUser("jdoe"); })},
        {"remove invalid user", ByFunction({{23, Reply::Status(0)}}),
         StatusOnly([] { return CIFSLIB_RemoveInvalidUser("jdoe"); })},
        {"make invalid user permanent", ByFunction({{81, Reply::Status(0)}}),
         StatusOnly([] { return CIFSLIB_MakePermanentInvalidUser("jdoe"); })},
    };
}

TEST_F(FaultInjectionTest, EveryAllocationFailureIsCleanForEveryFunction) {
    for (FaultCase &c : Cases()) {
        SCOPED_TRACE(c.label);
        FakeServer server(c.server);
        std::string expected;
        {
            AllocFaultScope never(-1);
            ASSERT_EQ(c.run(never, expected), 0);
        }
        ASSERT_NE(expected, kUntouched);
        long successes = 0;
        const long failures = ForEachAllocationFailure([&](AllocFaultScope &scope) {
            std::string out;
            const int rc = c.run(scope, out);
            log_.Clear();  // keeps the log socket from filling up
            EXPECT_TRUE(ArgBlockValuesCleared());
            if (rc == 0) {
                ++successes;
                if (out != expected) {
                    EXPECT_EQ(out, c.alsoAccepted) << "allocation " << scope.Count();
                }
            } else {
                EXPECT_EQ(rc, -1);
                EXPECT_EQ(out, kUntouched) << "allocation " << scope.Count();
            }
        });
        EXPECT_GT(failures, 0);
        EXPECT_GE(successes, 1);  // the last run, with no allocation left to fail
    }
}

}  // namespace
}  // namespace share::test
