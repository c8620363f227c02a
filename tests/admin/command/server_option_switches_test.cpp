// SPDX-License-Identifier: Apache-2.0
// Switch and keyword commands: every row, its accepted words, its rejections and their channels.
#include <cctype>
#include <utility>

#include "tests/admin/command/server_option_testing.h"

namespace share::test {
namespace {

enum class Where { kPrinted, kLine, kLogged };

struct Report {
    const char *text;  // a format: %s stands for the caller's text
    Where where;
};

struct SwitchCase {
    int32_t code;
    uint8_t functionId;
    size_t width;
    std::vector<std::pair<std::string, int32_t>> keywords;
    Report invalid;
    std::optional<Report> periods;  // none: "..." is just another invalid word
};

const std::vector<std::pair<std::string, int32_t>> kYesNoWords = {{"YES", 1}, {"NO", 0}};

Report P(const char *text) {
    return {text, Where::kPrinted};
}
Report L(const char *text) {
    return {text, Where::kLine};
}
Report G(const char *text) {
    return {text, Where::kLogged};
}

const std::vector<SwitchCase> kSwitchCases = {
    {20, 13, 1, kYesNoWords,
     P("Failed to process guest login option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process guest login option. Invalid option entered")},
    {22, 15, 4, kYesNoWords,
     P("Failed to process subtree search option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process subtree search option. Invalid option entered")},
    {23, 16, 1, kYesNoWords,
     P("Failed to process sync option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process sync option. Invalid option entered")},
    {25, 18, 1, kYesNoWords,
     P("Failed to process range lock mask option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process range lock mask option. Invalid range lock mask command")},
    {36, 39, 1, kYesNoWords,
     P("Failed to process passthru option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process passthru option. Invalid parameter entered")},
    {40, 43, 1, kYesNoWords,
     P("Failed to process change-notify option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process change-notify option. Invalid option entered")},
    {43, 45, 1, kYesNoWords,
     P("Failed to process enum-shares-over-nullsession option. Invalid parameter value: \" %s "
       "\"\n"),
     L("Failed to process enum-shares-over-nullsession option. Invalid option entered")},
    {45, 47, 1, kYesNoWords,
     P("Failed to process negotiate-ntstatus option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process negotiate-ntstatus option. Invalid option entered")},
    {46, 48, 1, kYesNoWords, P("Failed to process dfs option. Invalid parameter value: \" %s \"\n"),
     std::nullopt},
    {47, 49, 1, kYesNoWords,
     P("Failed to process alternate-data-stream-enable option. Invalid parameter value: \" %s "
       "\"\n"),
     L("Failed to process alternate-data-stream-enable option. Invalid option entered. Valid "
       "values are \"yes/no\"")},
    {50, 52, 1, kYesNoWords,
     P("Failed to process encrypt-data option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process encrypt-data option. Invalid option entered")},
    {51, 53, 1, kYesNoWords,
     P("Failed to process reject-unencrypted-access option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process reject-unencrypted-access option. Invalid option entered")},
    {53, 55, 4, kYesNoWords,
     P("Failed to process display user address option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process display user address option. Invalid parameter entered")},
    {55, 57, 4, kYesNoWords,
     P("Failed to process DOS filename option. Invalid parameter value: \" %s \"\n"), std::nullopt},
    {57, 59, 1, kYesNoWords,
     P("Failed to process disable NTLMSSP option. Invalid parameter value: \" %s \"\n"),
     std::nullopt},
    {58, 60, 1, kYesNoWords,
     P("Failed to process blocking of reads to cloud files from unmanaged Nimbrel clients. Invalid "
       "parameter value: \" %s \"\n"),
     std::nullopt},
    {59, 61, 1, kYesNoWords,
     P("Failed to process leasing configuartion. Invalid parameter value: \" %s \"\n"),
     std::nullopt},
    {61, 62, 1, kYesNoWords,
     P("Failed to process zerocopy option. Invalid parameter value: \" %s \"\n"), std::nullopt},
    {66, 64, 1, kYesNoWords,
     P("Failed to process check share visibility rights option. Invalid parameter value:\" %s "
       "\"\n"),
     std::nullopt},
    {67, 65, 1, kYesNoWords,
     P("Failed to process directory leasing configuartion. Invalid parameter value:\" %s \"\n"),
     std::nullopt},
    {73, 71, 1, kYesNoWords,
     P("Failed to process compression option. Invalid parameter value: \" %s \"\n"), std::nullopt},
    {74, 72, 1, kYesNoWords,
     P("Failed to process multi channel configuartion. Invalid parameter value:\" %s \"\n"),
     std::nullopt},
    {77, 76, 1, kYesNoWords,
     P("Failed to process large mtu configuartion. Invalid parameter value:\" %s \"\n"),
     std::nullopt},
    {84, 85, 1, kYesNoWords,
     P("Failed to process mfa configuartion. Invalid parameter value:\" %s \"\n"), std::nullopt},
    {85, 87, 1, kYesNoWords,
     P("Failed to process durable handles configuartion. Invalid parameter value:\" %s \"\n"),
     std::nullopt},
    {4,
     5,
     1,
     {{"YES", 1}, {"NO", 0}, {"OPTIONAL", 1}, {"FORCE", 2}},
     P("Failed to process SMB signing option. Invalid parameter value: \" %s \"\n"),
     G("Failed to process SMB signing option. Invalid parameter entered\n")},
    {18,
     10,
     1,
     {{"YES", 1}, {"NO", 0}, {"READOCS", 3}},
     P("Failed to process auditing option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process auditing option. Invalid option entered")},
    {27,
     20,
     4,
     {{"READPROXY", 1}},
     P("Failed to process read proxy option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process read proxy option. Invalid option entered")},
    {56,
     58,
     1,
     {{"YES", 1}, {"FALLBACK", 2}, {"NO", 0}},
     P("Failed to process Map AD Sessions to Tarnlet option. Invalid parameter value: \" %s \"\n"),
     std::nullopt},
    {3,
     9,
     4,
     {{"DC", 0}, {"FP", 1}, {"FH", 2}, {"T", 3}},
     G("Failed to process dump statistics option. Invalid parameter value \"%s\"\n"),
     G("Failed to process dump statistics option. Invalid parameter entered\n")},
    {14,
     6,
     4,
     {{"DEBUG", 64}, {"INFO", 32}, {"ERROR", 4}},
     P("Failed to process set log option. Invalid parameter value: \" %s \"\n"),
     L("Failed to process debug log option. Invalid parameter entered")},
};

std::string Lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Every other letter lower case: "YeS".
std::string Mixed(std::string s) {
    for (size_t i = 1; i < s.size(); i += 2)
        s[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    return s;
}

int32_t Stored(const OptionRun &run, size_t width) {
    if (width == 1) return run.ctx.params.flagValue;
    return run.ctx.params.intValue;
}

void ExpectReport(const OptionRun &run, const Report &report, std::string_view quoted) {
    const std::string text = Quoting(report.text, quoted);
    switch (report.where) {
        case Where::kPrinted:
            EXPECT_EQ(run.out, text);
            EXPECT_TRUE(run.log.empty());
            break;
        case Where::kLine:
            EXPECT_EQ(run.out, text + "\n");
            EXPECT_TRUE(run.log.empty());
            break;
        case Where::kLogged:
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.log, std::vector<std::string>{ErrorLine(text)});
            break;
    }
}

// A rejected word: -1, the report, the function ID written, entry 0 released.
void ExpectRejected(const SwitchCase &c, const char *word, const Report &report) {
    SCOPED_TRACE(word ? std::string("word \"") + word + "\"" : std::string("null word"));
    const OptionRun run = RunOption({{c.code, word}, {7, nullptr}});
    EXPECT_EQ(run.rc, -1);
    EXPECT_EQ(run.ctx.functionId, c.functionId);
    ExpectReport(run, report, word ? word : "");
    EXPECT_EQ(gbCifsArg[0].value, nullptr);
    EXPECT_EQ(gbCifsArg[1].id, 7);  // later entries are not touched
}

using SwitchCommandTest = CommandTest;

TEST_F(SwitchCommandTest, EveryRowAcceptsItsKeywordsInAnyCaseWithTrailingSpaces) {
    gCIFSLogLevel = 0xffffffff;
    for (const SwitchCase &c : kSwitchCases) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        for (const auto &[word, value] : c.keywords) {
            for (const std::string &text : {word, Lower(word) + "   ", Mixed(word) + " "}) {
                SCOPED_TRACE(text);
                const OptionRun run = RunOption({{c.code, text.c_str()}});
                EXPECT_EQ(run.rc, 0);
                EXPECT_EQ(run.ctx.functionId, c.functionId);
                EXPECT_EQ(Stored(run, c.width), value);
                EXPECT_TRUE(run.ZeroFrom(c.width));
                EXPECT_EQ(run.ctx.componentId, 0);
                EXPECT_EQ(run.out, "");
                EXPECT_TRUE(run.log.empty());
                EXPECT_EQ(gbCifsArg[0].value, nullptr);
            }
        }
    }
}

TEST_F(SwitchCommandTest, EveryRowRejectsOtherWordsWithItsMessage) {
    for (const SwitchCase &c : kSwitchCases) {
        SCOPED_TRACE("code " + std::to_string(c.code));
        for (const auto &[word, value] : c.keywords) {
            ExpectRejected(c, (" " + word).c_str(), c.invalid);   // leading space
            ExpectRejected(c, (word + word).c_str(), c.invalid);  // whole word only
            ExpectRejected(c, (word + "\t").c_str(), c.invalid);  // only spaces are trimmed
        }
        ExpectRejected(c, "", c.invalid);
        ExpectRejected(c, nullptr, c.invalid);
        ExpectRejected(c, "y", c.invalid);
        ExpectRejected(c, "1", c.invalid);
        for (const char *periods : {".", "...", ".. "})
            ExpectRejected(c, periods, c.periods ? *c.periods : c.invalid);
        ExpectRejected(c, "..x", c.invalid);
    }
}

TEST_F(SwitchCommandTest, KeywordsOfOtherRowsAreRejected) {
    const auto find = [](int32_t code) {
        for (const SwitchCase &c : kSwitchCases)
            if (c.code == code) return c;
        return SwitchCase{};
    };
    ExpectRejected(find(18), "READPROXY", find(18).invalid);
    ExpectRejected(find(27), "NO", find(27).invalid);
    ExpectRejected(find(20), "FORCE", find(20).invalid);
    ExpectRejected(find(3), "TT", find(3).invalid);
    ExpectRejected(find(14), "warning", find(14).invalid);
}

TEST_F(SwitchCommandTest, LoggedReportsNeedTheErrorBit) {
    gCIFSLogLevel &= ~static_cast<uint32_t>(CIFS_LOG_ERROR);
    for (const auto &[code, word] :
         std::vector<std::pair<int32_t, const char *>>{{3, "XX"}, {3, "..."}, {4, "..."}}) {
        SCOPED_TRACE(word);
        const OptionRun run = RunOption({{code, word}});
        EXPECT_EQ(run.rc, -1);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.log.empty());
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
    }
}

// Keyword commands that send the keyword itself as text.
struct TextCase {
    int32_t code;
    uint8_t functionId;
    const char *word;
    const char *stored;  // null: rejected
};

constexpr const char *kSmbv1Invalid =
    "Failed to process disable-smbv1-sessions option. Invalid parameter value: \"%s\"\n";
constexpr const char *kDialectInvalid =
    "Failed to process dialect option. Invalid parameter value: \" %s \"\n";
constexpr const char *kCipherInvalid =
    "Failed to process Preferred Cipher option. Invalid parameter value: \" %s \"\n";

const char *InvalidTextFormat(int32_t code) {
    return code == 48 ? kSmbv1Invalid : code == 39 ? kDialectInvalid : kCipherInvalid;
}

constexpr TextCase kTextCases[] = {
    {48, 50, "win-mac", "WIN-MAC"},
    {48, 50, "Mac  ", "MAC"},
    {48, 50, "NONE", "NONE"},
    {48, 50, "all ", "ALL"},
    {48, 50, " ALL", nullptr},
    {48, 50, "WIN", nullptr},
    {48, 50, "...", nullptr},
    {48, 50, "", nullptr},
    {48, 50, nullptr, nullptr},
    {39, 42, "SMB", "SMB"},
    {39, 42, "SMB2", "SMB2"},
    {39, 42, "SMB3", "SMB3"},
    {39, 42, "smb2", nullptr},   // letter case matters
    {39, 42, "SMB2 ", nullptr},  // and spaces are kept
    {39, 42, "SMB1", nullptr},
    {39, 42, "", nullptr},
    {39, 42, nullptr, nullptr},
    {72, 70, "aes-128-gcm", "AES-128-GCM"},
    {72, 70, "AES-128-CCM", "AES-128-CCM"},
    {72, 70, "Aes-256-Ccm  ", "AES-256-CCM"},
    {72, 70, "aes-256-gcm ", "AES-256-GCM"},
    {72, 70, "none", "NONE"},
    {72, 70, "AES-256", nullptr},
    {72, 70, " NONE", nullptr},
    {72, 70, ".", nullptr},
    {72, 70, "", nullptr},
    {72, 70, nullptr, nullptr},
};

TEST_F(SwitchCommandTest, KeywordTextCommands) {
    for (const TextCase &c : kTextCases) {
        SCOPED_TRACE(std::to_string(c.code) + " \"" + (c.word ? c.word : "(null)") + "\"");
        const OptionRun run = RunOption({{c.code, c.word}});
        EXPECT_EQ(run.ctx.functionId, c.functionId);
        EXPECT_EQ(gbCifsArg[0].value, nullptr);
        if (c.stored) {
            EXPECT_EQ(run.rc, 0);
            EXPECT_STREQ(reinterpret_cast<const char *>(run.Params()), c.stored);
            EXPECT_TRUE(run.ZeroFrom(std::strlen(c.stored)));
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_EQ(run.rc, -1);
            EXPECT_EQ(run.out, Quoting(InvalidTextFormat(c.code), c.word ? c.word : ""));
            EXPECT_TRUE(run.ZeroFrom(0));
        }
    }
}

}  // namespace
}  // namespace share::test
