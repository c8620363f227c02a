// SPDX-License-Identifier: Apache-2.0
// The command table, the dispatcher's routing of every code, and the whole pipeline against the
// fake server: the exact request on the wire, the response handed over, and every failure path.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "admin/command/command_table.h"
#include "admin/command/server_options.h"
#include "shareadmin/command.h"
#include "tests/admin/command/command_test_util.h"
#include "tests/support/alloc_fault.h"
#include "tests/support/fake_server.h"

namespace share::test {
namespace {

using command::CommandTable;
using command::FindCommand;
using command::HandlerKind;

const std::set<int32_t> kNotCommands = {0,  5,  6,  7,  8,  9,  12, 13, 15, 16, 17,
                                        19, 29, 31, 33, 34, 35, 42, 49, 54, 60, 63,
                                        64, 65, 68, 71, 76, 78, 79, 80, 81, 82};

const std::map<int32_t, Parser> &ObjectParsers() {
    static const std::map<int32_t, Parser> parsers = {
        {1, &ProcessShareCommandData},
        {28, &ProcessIUCCommandData},
        {30, &ProcessConnectionsCommandData},
        {32, &ProcessFilesCommandData},
        {62, &ProcessClearConnectionInputParameters},
        {83, &ProcessContextsCommandData},
    };
    return parsers;
}

const char kRejected[] = "Failed to validate and process command\n";

TEST(CommandTable, OneRowPerCodeWithItsHandler) {
    const auto table = CommandTable();
    ASSERT_EQ(table.size(), 87u);
    std::set<std::string> names;
    int inline_rows = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        const command::CommandRow &row = table[i];
        SCOPED_TRACE("code " + std::to_string(i));
        EXPECT_EQ(row.code, static_cast<int32_t>(i));
        EXPECT_EQ(FindCommand(row.code), &row);
        if (kNotCommands.count(row.code) != 0) {
            EXPECT_EQ(row.kind, HandlerKind::kNotCommand);
            EXPECT_EQ(row.handler, nullptr);
            EXPECT_EQ(row.name, nullptr);
            EXPECT_EQ(row.functionIds.count, 0);
            continue;
        }
        ASSERT_NE(row.name, nullptr);
        EXPECT_EQ(std::string(row.name).rfind("CMD_", 0), 0u) << row.name;
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_GT(row.functionIds.count, 0);
        const auto object = ObjectParsers().find(row.code);
        if (object != ObjectParsers().end()) {
            EXPECT_EQ(row.kind, HandlerKind::kObject);
            EXPECT_EQ(row.handler, object->second);
        } else {
            EXPECT_EQ(row.kind, HandlerKind::kInline);
            EXPECT_EQ(row.handler, &command::ProcessServerOptionCommand);
            ++inline_rows;
        }
    }
    EXPECT_EQ(inline_rows, 49);
    EXPECT_STREQ(FindCommand(1)->name, "CMD_SHARE");
    EXPECT_STREQ(FindCommand(62)->name, "CMD_CLEAR_CONNECTIONS");
    EXPECT_STREQ(FindCommand(86)->name, "CMD_DFS_REFERRAL_CACHE_DURATION");
    for (int32_t code : {-1, 87, INT32_MIN, INT32_MAX}) EXPECT_EQ(FindCommand(code), nullptr);
}

// Each function ID belongs to exactly one command.
TEST(CommandTable, EveryFunctionIdHasOneCommand) {
    std::map<int, std::vector<int32_t>> owners;
    for (const command::CommandRow &row : CommandTable())
        for (uint8_t i = 0; i < row.functionIds.count; ++i)
            owners[row.functionIds.ids[i]].push_back(row.code);
    EXPECT_EQ(owners.size(), 89u);
    for (int id = 0; id <= 88; ++id) EXPECT_EQ(owners[id].size(), 1u) << "function " << id;
    EXPECT_EQ(owners[63], std::vector<int32_t>{62});
    EXPECT_EQ(owners[79], std::vector<int32_t>{32});
    EXPECT_EQ(owners[80], std::vector<int32_t>{28});
}

class Dispatcher : public CommandTest {};

// Every code, in range or not, against the handler it must reach.
TEST_F(Dispatcher, RoutesEveryCode) {
    std::vector<int32_t> codes = {-1, INT32_MIN, 87, 88, 1000, INT32_MAX};
    for (int32_t code = 0; code <= 86; ++code) codes.push_back(code);
    for (int32_t code : codes) {
        SCOPED_TRACE("code " + std::to_string(code));
        const std::vector<char *> written = FillArgBlock({A(code, "yes"), A(0)});
        const Outcome routed = Capture(ProcessCommandLineData);
        const command::CommandRow *row = FindCommand(code);
        if (row == nullptr || row->kind == HandlerKind::kNotCommand) {
            EXPECT_EQ(routed.rc, -1);
            EXPECT_EQ(routed.out, kRejected);
            EXPECT_TRUE(routed.log.empty());
            EXPECT_EQ(gbCifsArg[0].value, written[0]);  // the block is left alone
            continue;
        }
        const auto object = ObjectParsers().find(code);
        const Parser expected =
            object != ObjectParsers().end() ? object->second : &command::ProcessServerOptionCommand;
        if (object != ObjectParsers().end()) {
            EXPECT_EQ(gbCifsArg[0].value, written[0]);
        }
        FillArgBlock({A(code, "yes"), A(0)});
        const Outcome direct = Capture(expected);
        EXPECT_EQ(routed.rc, direct.rc == 0 ? 0 : -1);
        EXPECT_EQ(routed.out, direct.out);
        EXPECT_EQ(routed.log, direct.log);
        EXPECT_EQ(std::memcmp(&routed.ctx, &direct.ctx, sizeof routed.ctx), 0);
        if (routed.rc == 0) {
            EXPECT_TRUE(row->functionIds.Contains(routed.ctx.functionId));
        }
    }
}

TEST_F(Dispatcher, TheBlockIsPerThread) {
    FillArgBlock({A(1, "main"), A(7)});
    int32_t seen_code = -1;
    std::thread([&seen_code] {
        seen_code = gbCifsArg[0].id;
        gbCifsArg[0].id = 30;
    }).join();
    EXPECT_EQ(seen_code, 0);
    EXPECT_EQ(gbCifsArg[0].id, 1);
    EXPECT_STREQ(gbCifsArg[0].value, "main");
}

// ---- the pipeline against the fake server ----

std::vector<uint8_t> Bytes(const void *p, size_t n) {
    const auto *b = static_cast<const uint8_t *>(p);
    return {b, b + n};
}

std::vector<uint8_t> Field(const std::string &text, size_t size) {
    std::vector<uint8_t> out(size, 0);
    std::memcpy(out.data(), text.data(), std::min(text.size(), size));
    return out;
}

template <class T>
std::vector<uint8_t> Le(T v) {
    return Bytes(&v, sizeof v);
}

// The share record as the server must receive it: zero but for the fields given.
struct ShareRecord {
    ShareParams p;
    ShareRecord() { std::memset(&p, 0, sizeof p); }
    ShareRecord &Name(const char *s) { return Text(p.shareName, s); }
    ShareRecord &NewName(const char *s) { return Text(p.newShareName, s); }
    ShareRecord &Comment(const char *s) { return Text(p.comment, s); }
    ShareRecord &Path(const char *s) { return Text(p.sharePath, s); }
    ShareRecord &Set(size_t offset, const void *v, size_t n) {
        std::memcpy(reinterpret_cast<uint8_t *>(&p) + offset, v, n);
        return *this;
    }
    ShareRecord &Int(size_t offset, int32_t v) { return Set(offset, &v, 4); }
    ShareRecord &Byte(size_t offset, uint8_t v) { return Set(offset, &v, 1); }
    Element Element6() const { return BytesElement(6, &p, sizeof p); }

  private:
    template <size_t N>
    ShareRecord &Text(char (&field)[N], const char *s) {
        std::strncpy(field, s, N - 1);
        return *this;
    }
};

Element Dn(const std::string &dn) {
    const std::vector<uint8_t> f = Field(dn, 256);
    return BytesElement(20, f.data(), f.size());
}

struct WireCase {
    std::string name;
    std::vector<Arg> args;
    uint8_t function;
    std::vector<Element> elements;
};

class Pipeline : public CommandTest {
  protected:
    // Runs the block through the whole pipeline and returns what the server received.
    Request Send(const std::vector<Arg> &args, int *rc) {
        FillArgBlock(args);
        RespPkt *response = nullptr;
        StdoutCapture out;
        *rc = ValidateAndProcessCmd(&response);
        EXPECT_EQ(out.Finish(), "");
        if (response != nullptr) {
            std::free(response->buffer);
            std::free(response);
        }
        return server_.LastRequest();
    }

    void ExpectOnWire(const WireCase &c) {
        SCOPED_TRACE(c.name);
        const size_t before = server_.RequestCount();
        int rc = -1;
        const Request req = Send(c.args, &rc);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(server_.RequestCount(), before + 1);
        EXPECT_EQ(req.component, 0);
        EXPECT_EQ(req.function, c.function);
        EXPECT_EQ(req.count, c.elements.size());
        uint32_t body = 0;
        for (const Element &e : c.elements) body += 8 + static_cast<uint32_t>(e.payload.size());
        EXPECT_EQ(req.bodyLength, body);
        EXPECT_EQ(req.raw.size(), 8u + body);
        ASSERT_EQ(req.elements.size(), c.elements.size());
        for (size_t i = 0; i < c.elements.size(); ++i) {
            EXPECT_EQ(req.elements[i].type, c.elements[i].type) << "element " << i;
            EXPECT_EQ(req.elements[i].payload, c.elements[i].payload) << "element " << i;
        }
    }

    FakeServer server_;
};

TEST_F(Pipeline, ShareRequestsOnTheWire) {
    const auto path = Field("vol1:/docs", 512);
    const std::vector<WireCase> cases = {
        {"list", {A(1), A(7)}, 0, {}},
        {"details", {A(1), A(7), A(12, "docs ")}, 1, {ShareRecord().Name("docs").Element6()}},
        {"add",
         {A(1), A(10), A(12, "docs"), A(34, "vol1:/docs"), A(17, "Team"), A(49, "yes"),
          A(15, "CN=srv")},
         2,
         {ShareRecord()
              .Name("docs")
              .Path("vol1:/docs")
              .Comment("Team")
              .Int(offsetof(ShareParams, encryptData), 1)
              .Element6(),
          BytesElement(2, path.data(), path.size()), Dn("CN=srv")}},
        {"modify",
         {A(1), A(78), A(12, "docs"), A(79, "papers"), A(68, "NO")},
         77,
         {ShareRecord()
              .Name("docs")
              .NewName("papers")
              .Int(offsetof(ShareParams, modifyMask), 0x21)
              .Element6()}},
        {"remove",
         {A(1), A(11), A(12, "docs"), A(15, "CN=srv")},
         3,
         {ShareRecord().Name("docs").Element6(), Dn("CN=srv")}},
        {"encryption",
         {A(1), A(49, "Yes"), A(12, "docs")},
         51,
         {ShareRecord().Name("docs").Int(offsetof(ShareParams, encryptData), 1).Element6()}},
        {"folder redirection",
         {A(1), A(54, "yes"), A(12, "docs")},
         56,
         {ShareRecord()
              .Name("docs")
              .Int(offsetof(ShareParams, folderRedirection), 1)
              .Int(offsetof(ShareParams, volumeType), 1)
              .Element6()}},
        {"ATM backup",
         {A(1), A(68, "yes"), A(12, "docs")},
         66,
         {ShareRecord().Name("docs").Byte(offsetof(ShareParams, atmBackup), 1).Element6()}},
        {"MFA share level",
         {A(1), A(84, "yes"), A(12, "docs")},
         86,
         {ShareRecord().Name("docs").Byte(offsetof(ShareParams, mfaShareLevel), 1).Element6()}},
    };
    for (const WireCase &c : cases) ExpectOnWire(c);
}

TEST_F(Pipeline, ConnectionAndUserRequestsOnTheWire) {
    const std::vector<uint8_t> clear = {1, 0xff, 0xff, 0, 0, 30, 0, 0, 0};
    const std::vector<WireCase> cases = {
        {"connection count", {A(30)}, 25, {}},
        {"connection list", {A(30), A(7)}, 26, {}},
        {"connection details", {A(30), A(31, "513")}, 29, {BytesElement(41, "\x01\x02", 2)}},
        {"mapped shares", {A(30), A(1, "65535")}, 78, {BytesElement(41, "\xff\xff", 2)}},
        {"files by path",
         {A(32), A(7), A(34, "vol1:/f.txt")},
         30,
         {TextElement(42, "vol1:/f.txt")}},
        {"files by connection",
         {A(32), A(7), A(60), A(31, "2")},
         34,
         {BytesElement(41, "\x02\x00", 2)}},
        {"close by volume", {A(32), A(33), A(35, "vol2")}, 38, {TextElement(42, "vol2")}},
        {"clear connections",
         {A(62), A(63, "null"), A(64, "30"), A(65, "all")},
         63,
         {BytesElement(67, clear.data(), clear.size())}},
        {"invalid users", {A(28), A(7)}, 24, {}},
        {"invalid user add", {A(28), A(10), A(12, "bob  ")}, 22, {TextElement(40, "bob")}},
        {"invalid user remove",
         {A(28), A(11), A(12, std::string(256, 'u'))},
         23,
         {TextElement(40, std::string(256, 'u'))}},
        {"invalid user timeout",
         {A(28), A(29, "60")},
         21,
         {BytesElement(39, Le<int32_t>(60).data(), 4)}},
        {"user context list", {A(83), A(7)}, 82, {}},
        {"user context add",
         {A(83), A(10, "ctx ")},
         83,
         {BytesElement(28, Field("ctx", 512).data(), 512)}},
        {"server request without parameters", {A(2)}, 4, {}},
    };
    for (const WireCase &c : cases) ExpectOnWire(c);
}

// A list request record is the caller's: it is sent whole and not freed.
TEST_F(Pipeline, ListRequestRecordsOnTheWire) {
    struct RecordCase {
        std::vector<Arg> args;
        int index;
        size_t head, word;
        uint8_t function, type;
    } cases[] = {
        {{A(32), A(7), A(60), A(80)}, 3, 28, 24, 79, 77},
        {{A(28), A(81)}, 1, 20, 16, 80, 78},
    };
    for (const RecordCase &c : cases) {
        const uint32_t data = 6;
        auto *record = static_cast<uint8_t *>(std::calloc(1, c.head + data));
        for (size_t i = 0; i < c.head + data; ++i) record[i] = static_cast<uint8_t>(i + 1);
        std::memcpy(record + c.word, &data, 4);
        FillArgBlock(c.args);
        gbCifsArg[c.index].value = reinterpret_cast<char *>(record);
        RespPkt *response = nullptr;
        ASSERT_EQ(ValidateAndProcessCmd(&response), 0);
        std::free(response->buffer);
        std::free(response);
        EXPECT_EQ(gbCifsArg[c.index].value, nullptr);
        const Request req = server_.LastRequest();
        EXPECT_EQ(req.function, c.function);
        ASSERT_EQ(req.elements.size(), 1u);
        EXPECT_EQ(req.elements[0].type, c.type);
        EXPECT_EQ(req.elements[0].payload, Bytes(record, c.head + data));
        std::free(record);
    }
}

TEST_F(Pipeline, TheResponseIsHandedOver) {
    server_.SetHandler([](const Request &) { return Reply::Status(7, {TextElement(1, "docs")}); });
    FillArgBlock({A(1), A(7)});
    RespPkt *response = nullptr;
    ASSERT_EQ(ValidateAndProcessCmd(&response), 0);
    ASSERT_NE(response, nullptr);
    const std::vector<uint8_t> expected = EncodeResponse(7, {TextElement(1, "docs")});
    EXPECT_EQ(Bytes(response->buffer, expected.size()), expected);
    std::free(response->buffer);
    std::free(response);
}

TEST_F(Pipeline, WithoutResponseOutTheResponseIsReleased) {
    FillArgBlock({A(30), A(7)});
    EXPECT_EQ(ValidateAndProcessCmd(nullptr), 0);
    EXPECT_EQ(server_.RequestCount(), 1u);
    EXPECT_EQ(server_.LastRequest().function, 26);
}

TEST_F(Pipeline, FailuresLeaveTheResponsePointerAlone) {
    auto *const sentinel = reinterpret_cast<RespPkt *>(0x1);
    struct FailCase {
        std::string name;
        std::vector<Arg> args;
        bool reset;
        std::string out;
    } cases[] = {
        {"rejected code", {A(5, "x")}, false, kRejected},
        {"rejected values",
         {A(30), A(31, "x")},
         false,
         "Failed to process connections related command. Connection ID should be a numeric "
         "value\n"},
        {"server drops the connection", {A(32), A(7), A(34, "vol1:/f")}, true, ""},
    };
    for (const FailCase &c : cases) {
        SCOPED_TRACE(c.name);
        server_.SetHandler([reset = c.reset](const Request &) {
            Reply r = Reply::Status(0);
            r.reset = reset;
            return r;
        });
        const size_t before = server_.RequestCount();
        FillArgBlock(c.args);
        RespPkt *response = sentinel;
        StdoutCapture out;
        EXPECT_EQ(ValidateAndProcessCmd(&response), -1);
        EXPECT_EQ(out.Finish(), c.out);
        EXPECT_EQ(response, sentinel);
        EXPECT_EQ(server_.RequestCount(), before + (c.reset ? 1 : 0));
    }
}

TEST(PipelineWithoutServer, FailsAndReleasesEverything) {
    ClearArgBlock();
    FillArgBlock({A(32), A(33), A(34, "vol1:/f")});
    auto *const sentinel = reinterpret_cast<RespPkt *>(0x1);
    RespPkt *response = sentinel;
    EXPECT_EQ(ValidateAndProcessCmd(&response), -1);
    EXPECT_EQ(response, sentinel);
    EXPECT_EQ(gbCifsArg[2].value, nullptr);
    ClearArgBlock();
}

// Every allocation of a run fails once: the call either succeeds or fails cleanly, the value
// strings it read are consumed either way, nothing leaks and nothing is sent half-built.
TEST_F(Pipeline, EveryAllocationFailureIsHandled) {
    const char kAppend[] =
        "Failed to process listing/closing of files. Error while inserting data into request "
        "packet structure\n";
    const std::string big(3000, 'p');  // an element beyond the first buffer: it must grow
    bool sawAppendFailure = false, sawComponentFailure = false;
    for (long i = 0;; ++i) {
        FillArgBlock({A(32), A(7), A(34, big)});
        const size_t before = server_.RequestCount();
        auto *const sentinel = reinterpret_cast<RespPkt *>(0x1);
        RespPkt *response = sentinel;
        SyslogCapture log;
        StdoutCapture out;
        int rc;
        bool hit;
        {
            AllocFaultScope fault(i);
            rc = ValidateAndProcessCmd(&response);
            fault.Disarm();
            hit = fault.Triggered();
        }
        const std::string printed = out.Finish();
        EXPECT_EQ(gbCifsArg[2].value, nullptr);
        if (rc == 0) {
            ASSERT_NE(response, sentinel);
            std::free(response->buffer);
            std::free(response);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(response, sentinel);
        }
        if (printed == kAppend) {
            sawAppendFailure = true;
            EXPECT_EQ(server_.RequestCount(), before);
        }
        if (log.Contains(ErrorLine("Failed to insert component id into the request packet "
                                   "structure\n"))) {
            sawComponentFailure = true;
        }
        if (!hit) {
            EXPECT_EQ(rc, 0);
            break;
        }
        ASSERT_LT(i, 200);
    }
    EXPECT_TRUE(sawAppendFailure);
    if (PrivateDevLog()) {
        EXPECT_TRUE(sawComponentFailure);
    }
}

}  // namespace
}  // namespace share::test
