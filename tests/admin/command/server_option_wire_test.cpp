// SPDX-License-Identifier: Apache-2.0
// Every server option command end to end: the argument block through ValidateAndProcessCmd to
// the exact request bytes a server receives, and rejected commands that never reach it.
#include <cstdlib>
#include <set>

#include "admin/command/command_table.h"
#include "tests/admin/command/server_option_testing.h"
#include "tests/support/fake_server.h"

namespace share::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Le32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

// text in a zero-filled field of `size` bytes.
Bytes Field(std::string_view text, size_t size) {
    Bytes b(size, 0);
    std::memcpy(b.data(), text.data(), text.size());
    return b;
}

Bytes Text(std::string_view text) {
    return Field(text, text.size() + 1);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Element E(uint8_t type, Bytes payload) {
    return Element{type, std::move(payload)};
}

struct WireCase {
    std::vector<OptionArg> args;
    uint8_t functionId;
    std::vector<Element> elements;
};

const Bytes kAddress = {10, 1, 2, 3};

const std::vector<WireCase> &WireCases() {
    static const std::vector<WireCase> cases = {
        {{{2, nullptr}}, 4, {}},
        {{{3, "t"}}, 9, {E(12, Le32(3))}},
        {{{4, "force"}}, 5, {E(5, {2})}},
        {{{10, nullptr}, {15, "vs1"}, {16, "10.1.2.3"}},
         7,
         {E(11, Cat({Field("vs1", 256), Bytes(515, 0), kAddress}))}},
        {{{10, nullptr}, {19, "dns1"}, {16, "10.1.515"}},
         11,
         {E(30, Cat({Field("dns1", 16), kAddress}))}},
        {{{11, nullptr}, {15, "vs1"}}, 8, {E(11, Field("vs1", 775))}},
        {{{11, nullptr}, {19, "dns1"}, {16, "167838211"}},
         12,
         {E(30, Cat({Field("dns1", 16), kAddress}))}},
        {{{14, "Debug"}}, 6, {E(10, Le32(64))}},
        {{{18, "readocs"}}, 10, {E(29, {3})}},
        {{{20, "yes"}}, 13, {E(31, {1})}},
        {{{21, "4"}}, 14, {E(32, Le32(4))}},
        {{{22, "yes"}}, 15, {E(33, Le32(1))}},
        {{{23, "no"}}, 16, {E(34, {0})}},
        {{{24, "DIRCACHE=300"}}, 17, {E(35, Cat({Le32(300), Le32(2)}))}},
        {{{25, "yes"}}, 18, {E(36, {1})}},
        {{{26, "3"}}, 19, {E(37, Le32(3))}},
        {{{27, "readproxy"}}, 20, {E(38, Le32(1))}},
        {{{36, "yes"}}, 39, {E(43, {1})}},
        {{{37, nullptr}}, 40, {}},
        {{{38, "Server1"}, {38, "yes"}}, 41, {E(44, Text("Server1")), E(45, Le32(1))}},
        {{{39, "SMB2"}}, 42, {E(47, Text("SMB2"))}},
        {{{40, "yes"}}, 43, {E(48, {1})}},
        {{{41, "domain\\user"}, {42, "5"}}, 44, {E(49, Cat({Field("DOMAIN\\USER", 65), Le32(5)}))}},
        {{{41, "all"}}, 44, {E(49, Cat({Field("ALL", 65), Le32(-1)}))}},
        {{{43, "yes"}}, 45, {E(50, {1})}},
        {{{44, "30"}}, 46, {E(51, Le32(30))}},
        {{{45, "yes"}}, 47, {E(52, {1})}},
        {{{46, "no"}}, 48, {E(53, {0})}},
        {{{47, "yes"}}, 49, {E(54, {1})}},
        {{{48, "win-mac"}}, 50, {E(55, Field("WIN-MAC", 128))}},
        {{{50, "yes"}}, 52, {E(56, {1})}},
        {{{51, "yes"}}, 53, {E(57, {1})}},
        {{{52, "Example.com"}}, 54, {E(58, Text("Example.com"))}},
        {{{52, ""}}, 54, {E(58, {0})}},
        {{{53, "yes"}}, 55, {E(59, Le32(1))}},
        {{{55, "yes"}}, 57, {E(61, Le32(1))}},
        {{{56, "fallback"}}, 58, {E(62, {2})}},
        {{{57, "yes"}}, 59, {E(63, {1})}},
        {{{58, "yes"}}, 60, {E(64, {1})}},
        {{{59, "yes"}}, 61, {E(65, {1})}},
        {{{61, "yes"}}, 62, {E(66, {1})}},
        {{{66, "yes"}}, 64, {E(68, {1})}},
        {{{67, "yes"}}, 65, {E(69, {1})}},
        {{{69, "user1"}}, 67, {E(70, Field("USER1", 65))}},
        {{{70, nullptr}, {31, "65534"}}, 68, {E(41, {0xfe, 0xff})}},
        {{{70, nullptr}, {71, "yes"}}, 69, {E(71, {1})}},
        {{{72, "aes-256-gcm "}}, 70, {E(72, Text("AES-256-GCM"))}},
        {{{73, "yes"}}, 71, {E(73, {1})}},
        {{{74, "yes"}}, 72, {E(74, {1})}},
        {{{75, nullptr}, {10, nullptr}, {76, "eth0"}}, 73, {E(75, Field("eth0", 16))}},
        {{{75, nullptr}, {11, nullptr}, {76, "eth1"}}, 74, {E(75, Field("eth1", 16))}},
        {{{75, nullptr}, {7, nullptr}}, 75, {}},
        {{{77, "yes"}}, 76, {E(76, {1})}},
        {{{84, "yes"}}, 85, {E(79, {1})}},
        {{{85, "yes"}}, 87, {E(80, {1})}},
        {{{86, "525600"}}, 88, {E(81, Cat({Le32(525600), Bytes(1025, 0)}))}},
        {{{86, "clear"}, {34, "VOL1:/dir/junction  "}},
         88,
         {E(81, Cat({Le32(-1), Field("VOL1:/dir/junction", 1025)}))}},
    };
    return cases;
}

void ReleaseResponse(RespPkt *response) {
    if (response == nullptr) return;
    std::free(response->buffer);
    std::free(response);
}

using OptionWireTest = CommandTest;

TEST_F(OptionWireTest, EveryCommandSendsExactlyItsRequest) {
    FakeServer server;
    for (const WireCase &c : WireCases()) {
        SCOPED_TRACE("command " + std::to_string(c.args[0].id) + ", function " +
                     std::to_string(c.functionId));
        FillOptionArgs(c.args);
        const size_t before = server.RequestCount();
        RespPkt *response = nullptr;
        ASSERT_EQ(ValidateAndProcessCmd(&response), 0);
        ASSERT_NE(response, nullptr);
        ReleaseResponse(response);
        ASSERT_EQ(server.RequestCount(), before + 1);

        const Request request = server.LastRequest();
        EXPECT_EQ(request.component, 0);
        EXPECT_EQ(request.function, c.functionId);
        ASSERT_EQ(request.elements.size(), c.elements.size());
        for (size_t i = 0; i < c.elements.size(); ++i) {
            EXPECT_EQ(request.elements[i].type, c.elements[i].type) << "element " << i;
            EXPECT_EQ(request.elements[i].payload, c.elements[i].payload) << "element " << i;
        }
        EXPECT_EQ(request.raw, EncodeRequest(0, c.functionId, c.elements));
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
    }
}

TEST_F(OptionWireTest, TheCasesCoverEveryInlineCommandWithItsFunctionIds) {
    std::set<int32_t> covered;
    for (const WireCase &c : WireCases()) {
        const int32_t code = c.args[0].id;
        covered.insert(code);
        const command::CommandRow *row = command::FindCommand(code);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->kind, command::HandlerKind::kInline) << code;
        EXPECT_TRUE(row->functionIds.Contains(c.functionId)) << code;
    }
    size_t inlineCommands = 0;
    for (const command::CommandRow &row : command::CommandTable()) {
        if (row.kind != command::HandlerKind::kInline) continue;
        ++inlineCommands;
        EXPECT_EQ(covered.count(row.code), 1u) << "command " << row.code << " has no case";
    }
    EXPECT_EQ(inlineCommands, 49u);
}

// One rejected block for every command that can reject: -1, nothing sent, the response pointer
// untouched, and every value the command read released.
TEST_F(OptionWireTest, RejectedCommandsSendNothing) {
    const std::vector<std::vector<OptionArg>> rejected = {
        {{3, "x"}},
        {{4, "..."}},
        {{10, nullptr}, {12, "n"}},
        {{11, nullptr}, {19, "n"}, {16, "1.2.3.256"}},
        {{14, " debug"}},
        {{18, "readproxy"}},
        {{20, "y"}},
        {{21, "3"}},
        {{22, ""}},
        {{23, nullptr}},
        {{24, "SDIRCACHE=0"}},
        {{25, "..."}},
        {{26, "-1"}},
        {{27, "NO"}},
        {{36, "yes no"}},
        {{38, "s"}, {0, "yes"}},
        {{39, "smb2"}},
        {{40, "on"}},
        {{41, "u"}, {42, "0"}},
        {{43, "1"}},
        {{44, "4"}},
        {{45, "ja"}},
        {{46, "..."}},
        {{47, "..."}},
        {{48, "WIN"}},
        {{50, "."}},
        {{51, "nein"}},
        {{52, nullptr}},
        {{53, "true"}},
        {{55, "false"}},
        {{56, "maybe"}},
        {{57, "x"}},
        {{58, "x"}},
        {{59, "x"}},
        {{61, "x"}},
        {{66, "x"}},
        {{67, "x"}},
        {{69, nullptr}},
        {{70, nullptr}, {31, "65536"}},
        {{72, "AES"}},
        {{73, "x"}},
        {{74, "x"}},
        {{75, nullptr}, {10, nullptr}},
        {{77, "x"}},
        {{84, "x"}},
        {{85, "x"}},
        {{86, "525601"}},
        {{86, "CLEAR"}, {34, "VOL1:dir"}},
    };
    FakeServer server;
    for (const std::vector<OptionArg> &args : rejected) {
        SCOPED_TRACE("command " + std::to_string(args[0].id));
        FillOptionArgs(args);
        RespPkt *sentinel = reinterpret_cast<RespPkt *>(0x1);
        RespPkt *response = sentinel;
        {
            StdoutCapture quiet;
            EXPECT_EQ(ValidateAndProcessCmd(&response), -1);
        }
        EXPECT_EQ(response, sentinel);
    }
    EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
}  // namespace share::test
