// SPDX-License-Identifier: Apache-2.0
// Option commands with names, addresses and second arguments.
#include "tests/admin/command/server_option_testing.h"

namespace share::test {
namespace {

using NameCommandTest = CommandTest;

const VirtualServerParams &Server(const OptionRun &run) {
    return run.ctx.params.virtualServer;
}
const DnsEntryParams &Dns(const OptionRun &run) {
    return run.ctx.params.dnsEntry;
}

struct AddRemoveCase {
    int32_t command;
    int32_t kind;  // 15 server name, 19 DNS entry
    uint8_t functionId;
    const char *addressMessage;
};

const AddRemoveCase kAddRemove[] = {
    {10, 15, 7, "Failed to add virtual server name. Wrong IP address given as parameter\n"},
    {11, 15, 8, "Failed to remove virtual server name. Wrong IP address given as parameter\n"},
    {10, 19, 11, "Failed to add DNS entry. Wrong IP address given as parameter\n"},
    {11, 19, 12, "Failed to remove DNS entry. Wrong IP address given as parameter\n"},
};

TEST_F(NameCommandTest, AddAndRemoveCutNamesToTheirFields) {
    const std::string name(300, 'n');
    for (const AddRemoveCase &c : kAddRemove) {
        SCOPED_TRACE(std::to_string(c.command) + "/" + std::to_string(c.kind));
        const OptionRun run =
            RunOption({{c.command, "entry 0"}, {c.kind, ("mIxed" + name).c_str()}});
        EXPECT_EQ(run.rc, 0);
        EXPECT_EQ(run.ctx.functionId, c.functionId);
        const size_t limit = c.kind == 15 ? 255 : 15;
        const char *stored = c.kind == 15 ? Server(run).serverName : Dns(run).netbiosName;
        EXPECT_EQ(std::string(stored), ("mIxed" + name).substr(0, limit));
        EXPECT_TRUE(run.ZeroFrom(limit));  // no address either
        EXPECT_EQ(run.out, "");
        EXPECT_STREQ(gbCifsArg[0].value, "entry 0");  // not read
        EXPECT_EQ(gbCifsArg[1].value, nullptr);
    }
}

TEST_F(NameCommandTest, AddressFormsOfInetAton) {
    struct Form {
        const char *text;
        bool accepted;
    };
    const Form forms[] = {
        {"10.1.2.3", true},    {"10.1.515", true},   {"10.66051", true},   {"167838211", true},
        {"0x0a.1.2.3", true},  {"012.1.2.3", true},  {"10.1.2.3 x", true}, {"10.1.2.256", false},
        {"256.1.2.3", false},  {"1.2.3.4.5", false}, {"", false},          {"abc", false},
        {"10.1.2.3x", false},  {" 10.1.2.3", false}, {"10..2.3", false},   {"09.1.2.3", false},
        {"4294967296", false}, {nullptr, false},
    };
    for (const AddRemoveCase &c : kAddRemove) {
        for (const Form &f : forms) {
            SCOPED_TRACE(std::to_string(c.functionId) + " \"" + (f.text ? f.text : "(null)") +
                         "\"");
            const OptionRun run = RunOption({{c.command, nullptr}, {c.kind, "NAME"}, {16, f.text}});
            EXPECT_EQ(gbCifsArg[1].value, nullptr);
            EXPECT_EQ(gbCifsArg[2].value, nullptr);
            if (f.accepted) {
                const uint8_t expected[4] = {10, 1, 2, 3};
                const uint8_t *address = c.kind == 15 ? Server(run).ipAddress : Dns(run).ipAddress;
                EXPECT_EQ(run.rc, 0);
                EXPECT_EQ(std::memcmp(address, expected, 4), 0);
                EXPECT_EQ(run.out, "");
            } else {
                EXPECT_EQ(run.rc, -1);
                EXPECT_EQ(run.out, c.addressMessage);
            }
        }
    }
}

TEST_F(NameCommandTest, AddAndRemoveReleaseEntryTwoWhateverItsCode) {
    const OptionRun run = RunOption({{10, nullptr}, {19, "NAME"}, {17, "comment"}});
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(Dns(run).ipAddress[0], 0);
    EXPECT_EQ(gbCifsArg[2].value, nullptr);
    EXPECT_STREQ(Dns(run).netbiosName, "NAME");
}

TEST_F(NameCommandTest, AddAndRemoveNeedANameOrEntry) {
    constexpr const char *kAdd =
        "Failed to process add option. Invalid command entered, check the usage\n";
    constexpr const char *kRemove =
        "Failed to process remove option. Invalid command entered. Check the usage\n";
    for (const auto &entry1 :
         {OptionArg{12, "NAME"}, OptionArg{16, "10.1.2.3"}, OptionArg{0, nullptr},
          OptionArg{15, nullptr}, OptionArg{19, nullptr}}) {
        for (int32_t command : {10, 11}) {
            const OptionRun run = RunOption({{command, nullptr}, entry1, {16, "1.2.3.4"}});
            EXPECT_EQ(run.rc, -1);
            EXPECT_EQ(run.out, command == 10 ? kAdd : kRemove);
            EXPECT_EQ(gbCifsArg[1].value, nullptr);
            EXPECT_STREQ(gbCifsArg[2].value, "1.2.3.4");  // not read
        }
    }
}

TEST_F(NameCommandTest, ShareVolumesByDefault) {
    constexpr const char *kWrongUsage =
        "Failed to process share volumes by default option. Wrong usage\n";
    constexpr const char *kBadServer =
        "Failed to process share volumes by default option. Invalid server name: \" %s \"\n";
    constexpr const char *kBadValue =
        "Failed to process share volumes by default option. Invalid parameter value given for: \" "
        "%s \"\n";
    const std::string longest(255, 's');
    struct Case {
        std::string server;
        bool serverMissing;
        OptionArg entry1;
        std::optional<int32_t> stored;
        std::string out;
    };
    const Case cases[] = {
        {"Server1", false, {38, "yes"}, 1, ""},
        {"Server1", false, {38, "No  "}, 0, ""},
        {longest, false, {38, "YES"}, 1, ""},
        {longest + "s", false, {38, "YES"}, {}, Quoting(kBadServer, longest + "s")},
        {"", true, {38, "YES"}, {}, Quoting(kBadServer, "")},
        {"Server1", false, {0, nullptr}, {}, kWrongUsage},
        {"Server1", false, {71, "YES"}, {}, kWrongUsage},
        {"Server1", false, {38, " YES"}, {}, Quoting(kBadValue, " YES")},
        {"Server1", false, {38, "..."}, {}, Quoting(kBadValue, "...")},  // no periods check
        {"Server1", false, {38, ""}, {}, Quoting(kBadValue, "")},
        {"Server1", false, {38, nullptr}, {}, Quoting(kBadValue, "")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.server.substr(0, 10) + " " + (c.entry1.value ? c.entry1.value : "(null)"));
        const OptionRun run =
            RunOption({{38, c.serverMissing ? nullptr : c.server.c_str()}, c.entry1});
        EXPECT_EQ(run.ctx.functionId, 41);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        EXPECT_EQ(gbCifsArg[1].value, nullptr);
        if (c.stored) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_EQ(std::string(run.ctx.params.shareVolumes.serverName), c.server);
            EXPECT_EQ(+run.ctx.params.shareVolumes.shareByDefault, *c.stored);
        } else {
            EXPECT_EQ(run.rc, -1);
        }
    }
}

constexpr const char *kQuotaSyncInvalid =
    "Failed to process user quota sync. Invalid parameter value: \" %s \"\n";
constexpr const char *kQuotaViewInvalid =
    "Failed to process user quota view. Invalid parameter value: \" %s \"\n";

TEST_F(NameCommandTest, UserQuotaSync) {
    const std::string longest(64, 'u');
    const std::string upper(64, 'U');
    const std::string tooLong = longest + "u";
    const std::string spaced = longest + " ";  // too long before its spaces are removed
    struct Case {
        const char *target;
        OptionArg entry1;
        const char *stored;  // null: rejected
        int32_t number;
        std::string out;
    };
    const Case cases[] = {
        {"domain\\user  ", {0, nullptr}, "DOMAIN\\USER", -1, ""},
        {"all", {42, "5"}, "ALL", 5, ""},
        {"all", {42, "5 and letters"}, "ALL", 5, ""},
        {"all", {42, " +1"}, "ALL", 1, ""},
        {"all", {42, "2147483647"}, "ALL", 2147483647, ""},
        {longest.c_str(), {42, "7"}, upper.c_str(), 7, ""},
        {"all", {43, "0"}, "ALL", -1, ""},  // another option: no number
        {"all", {42, "0"}, nullptr, 0, Quoting(kQuotaSyncInvalid, "0")},
        {"all", {42, "-3"}, nullptr, 0, Quoting(kQuotaSyncInvalid, "-3")},
        {"all", {42, "x"}, nullptr, 0, Quoting(kQuotaSyncInvalid, "x")},
        {"all", {42, ""}, nullptr, 0, Quoting(kQuotaSyncInvalid, "")},
        {"all", {42, nullptr}, nullptr, 0, Quoting(kQuotaSyncInvalid, "")},
        {"all", {42, "2147483648"}, nullptr, 0, Quoting(kQuotaSyncInvalid, "2147483648")},
        {"all", {42, "4294967297"}, nullptr, 0, Quoting(kQuotaSyncInvalid, "4294967297")},
        {tooLong.c_str(), {42, "7"}, nullptr, 0, Quoting(kQuotaSyncInvalid, tooLong)},
        {spaced.c_str(), {0, nullptr}, nullptr, 0, Quoting(kQuotaSyncInvalid, spaced)},
        {nullptr, {0, nullptr}, nullptr, 0, Quoting(kQuotaSyncInvalid, "")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.target ? c.target : "(null)").substr(0, 10) + " / " +
                     (c.entry1.value ? c.entry1.value : "(null)"));
        const OptionRun run = RunOption({{41, c.target}, c.entry1});
        EXPECT_EQ(run.ctx.functionId, 44);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        EXPECT_EQ(gbCifsArg[1].value, nullptr);  // whatever its code
        if (c.stored) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_STREQ(run.ctx.params.quotaSync.quotaTarget, c.stored);
            EXPECT_EQ(+run.ctx.params.quotaSync.quotaSyncValue, c.number);
        } else {
            EXPECT_EQ(run.rc, -1);
        }
    }
}

TEST_F(NameCommandTest, UserQuotaView) {
    const std::string longest(64, 'v');
    for (const auto &[target, stored] : std::vector<std::pair<std::string, std::string>>{
             {"user1 ", "USER1"}, {longest, std::string(64, 'V')}, {"", ""}}) {
        const OptionRun run = RunOption({{69, target.c_str()}, {42, "entry 1"}});
        EXPECT_EQ(run.rc, 0);
        EXPECT_EQ(run.ctx.functionId, 67);
        EXPECT_EQ(std::string(run.ctx.params.quotaViewTarget), stored);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        EXPECT_STREQ(gbCifsArg[1].value, "entry 1");  // not read
    }
    OptionRun run = RunOption({{69, (longest + "v").c_str()}});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.out, Quoting(kQuotaViewInvalid, longest + "v"));
    EXPECT_EQ(gbCifsArg[0].value, nullptr);
    run = RunOption({{69, nullptr}});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.out, Quoting(kQuotaViewInvalid, ""));
}

TEST_F(NameCommandTest, DnsSuffix) {
    constexpr const char *kTooLong =
        "Failed to process dns suffix option. dns suffix can not be more than 255\n";
    const std::string longest(255, 'd');
    for (const std::string &suffix : {std::string("Example.COM "), std::string(), longest}) {
        const OptionRun run = RunOption({{52, suffix.c_str()}});
        EXPECT_EQ(run.rc, 0);
        EXPECT_EQ(run.ctx.functionId, 54);
        EXPECT_EQ(std::string(run.ctx.params.domainNameSuffix), suffix);  // unchanged
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
    }
    const std::string tooLong = longest + "d";
    for (const char *suffix : {tooLong.c_str(), static_cast<const char *>(nullptr)}) {
        const OptionRun run = RunOption({{52, suffix}});
        EXPECT_EQ(run.rc, -1);
        EXPECT_EQ(run.out, kTooLong);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
    }
}

TEST_F(NameCommandTest, DumpCryptoKeys) {
    constexpr const char *kNotNumeric =
        "Failed to process dump cryptokeys command. Connection ID should be a numeric value \n";
    constexpr const char *kNotSupplied =
        "Failed to process dump cryptokeys command. Connection ID not supplied \n";
    constexpr const char *kRange =
        "Failed to process dump cryptokeys command. Connection ID should be a numeric value "
        "between 0 to 65535\n";
    constexpr const char *kBadSwitch =
        "Failed to process dump cryptokeys option. Invalid parameter value:\" %s \"\n";
    constexpr const char *kBadCommand =
        "Failed to process dump cryptokeys option. Invalid command entered.\n";
    struct Case {
        OptionArg entry1;
        uint8_t functionId;
        std::optional<int32_t> stored;
        std::string out;
    };
    const Case cases[] = {
        {{31, "0"}, 68, 0, ""},
        {{31, "65535"}, 68, 65535, ""},
        {{31, " +12"}, 68, 12, ""},
        {{31, "65536"}, 68, {}, kRange},
        {{31, "-1"}, 68, {}, kRange},
        {{31, "99999999999999999999"}, 68, {}, kRange},
        {{31, "4294967296"}, 68, {}, kRange},
        {{31, "12x"}, 68, {}, kNotNumeric},
        {{31, "12 "}, 68, {}, kNotNumeric},
        {{31, "x"}, 68, {}, kNotNumeric},
        {{31, ""}, 68, {}, kNotSupplied},
        {{31, nullptr}, 68, {}, kNotSupplied},
        {{71, "yes"}, 69, 1, ""},
        {{71, "NO  "}, 69, 0, ""},
        {{71, " NO"}, 69, {}, Quoting(kBadSwitch, " NO")},
        {{71, "..."}, 69, {}, Quoting(kBadSwitch, "...")},
        {{71, ""}, 69, {}, Quoting(kBadSwitch, "")},
        {{71, nullptr}, 69, {}, Quoting(kBadSwitch, "")},
        {{42, "1"}, 0, {}, kBadCommand},
        {{0, nullptr}, 0, {}, kBadCommand},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.entry1.id) + " " +
                     (c.entry1.value ? c.entry1.value : "(null)"));
        const OptionRun run = RunOption({{70, "entry 0"}, c.entry1});
        EXPECT_EQ(run.ctx.functionId, c.functionId);
        EXPECT_EQ(run.out, c.out);
        EXPECT_STREQ(gbCifsArg[0].value, "entry 0");  // not read
        EXPECT_EQ(gbCifsArg[1].value, nullptr);
        if (c.stored) {
            EXPECT_EQ(run.rc, 0);
            if (c.functionId == 68)
                EXPECT_EQ(+run.ctx.params.connectionId, *c.stored);
            else
                EXPECT_EQ(+run.ctx.params.flagValue, *c.stored);
            EXPECT_TRUE(run.ZeroFrom(c.functionId == 68 ? 2 : 1));
        } else {
            EXPECT_EQ(run.rc, -1);
        }
    }
}

TEST_F(NameCommandTest, MultichannelInterfaces) {
    struct Case {
        int32_t action;
        OptionArg entry2;
        uint8_t functionId;
        const char *stored;  // null: rejected
        std::string out;
        bool releasesEntry2;
    };
    const char *kAddMissing = "Failed to add multi channel interface, invalid parameter\n";
    const char *kRemoveMissing = "Failed to remove multi channel interface, invalid parameter\n";
    const char *kAddBad =
        "Failed to add multi channel interface, invalid parameter value:\" %s \"\n";
    const char *kRemoveBad =
        "Failed to remove multi channel interface, invalid parameter value:\" %s \"\n";
    const char *kBadAction =
        "Failed to process multi channnel interface option. Invalid command entered, check the "
        "usage\n";
    const Case cases[] = {
        {10, {76, "eth0"}, 73, "eth0", "", true},
        {11, {76, "Eth1 "}, 74, "Eth1 ", "", true},
        {10, {76, "a-very-long-interface-name"}, 73, "a-very-long-int", "", true},
        {10, {76, ""}, 73, nullptr, Quoting(kAddBad, ""), true},
        {11, {76, nullptr}, 74, nullptr, Quoting(kRemoveBad, ""), true},
        {10, {75, "eth0"}, 73, nullptr, kAddMissing, false},
        {11, {0, nullptr}, 74, nullptr, kRemoveMissing, false},
        {7, {76, "eth0"}, 75, "", "", true},
        {7, {0, nullptr}, 75, "", "", true},
        {12, {76, "eth0"}, 0, nullptr, kBadAction, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.action) + " " + (c.entry2.value ? c.entry2.value : "(null)"));
        const OptionRun run = RunOption({{75, "entry 0"}, {c.action, "entry 1"}, c.entry2});
        EXPECT_EQ(run.ctx.functionId, c.functionId);
        EXPECT_EQ(run.out, c.out);
        EXPECT_STREQ(gbCifsArg[0].value, "entry 0");
        EXPECT_STREQ(gbCifsArg[1].value, "entry 1");
        if (c.releasesEntry2)
            EXPECT_EQ(gbCifsArg[2].value, nullptr);
        else
            EXPECT_STREQ(gbCifsArg[2].value, c.entry2.value);
        if (c.stored) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_STREQ(run.ctx.params.interfaceName, c.stored);
            EXPECT_TRUE(run.ZeroFrom(std::strlen(c.stored)));
        } else {
            EXPECT_EQ(run.rc, -1);
        }
    }
}

}  // namespace
}  // namespace share::test
