// SPDX-License-Identifier: Apache-2.0
// Switch and keyword commands: one word in entry 0's value selects one small value (or a
// keyword text) that the request carries as its only element. Each command is one table row.
#include <cstring>

#include "admin/command/command_util.h"
#include "admin/command/server_option_family.h"

namespace share::command {
namespace {

enum class Width : uint8_t { k8, k32 };

struct SwitchRow {
    int32_t code;
    uint8_t functionId;
    Width width;
    std::span<const Keyword> keywords;  // compared in order against the normalised copy
    Message invalid;                    // %s: the caller's own text
    Message periods;                    // no text: the command has no periods check
    bool ignoreCase = false;
};

constexpr Keyword kSigning[] = {{"YES", 1}, {"NO", 0}, {"OPTIONAL", 1}, {"FORCE", 2}};
constexpr Keyword kAuditing[] = {{"YES", 1}, {"NO", 0}, {"READOCS", 3}};
constexpr Keyword kReadProxy[] = {{"READPROXY", 1}};
constexpr Keyword kMapAdSessions[] = {{"YES", 1}, {"FALLBACK", 2}, {"NO", 0}};
constexpr Keyword kDumpStatistics[] = {{"DC", 0}, {"FP", 1}, {"FH", 2}, {"T", 3}};
// The server's log level bits.
constexpr Keyword kLogLevels[] = {
    {"debug", CIFS_LOG_DEBUG}, {"info", CIFS_LOG_INFO}, {"error", CIFS_LOG_ERROR}};

constexpr Message kNoPeriodsCheck{};

constexpr SwitchRow kSwitches[] = {
    {CMD_GUEST_LOGIN, CIFS_FN_GUEST_LOGIN, Width::k8, kYesNo,
     Printed("Failed to process guest login option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process guest login option. Invalid option entered")},
    {CMD_SUBTREE_SEARCH, CIFS_FN_SUBTREE_SEARCH, Width::k32, kYesNo,
     Printed("Failed to process subtree search option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process subtree search option. Invalid option entered")},
    {CMD_SYNC, CIFS_FN_SYNC, Width::k8, kYesNo,
     Printed("Failed to process sync option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process sync option. Invalid option entered")},
    {CMD_RANGE_LOCK_MASK, CIFS_FN_RANGE_LOCK_MASK, Width::k8, kYesNo,
     Printed("Failed to process range lock mask option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process range lock mask option. Invalid range lock mask command")},
    {CMD_PASSTHRU, CIFS_FN_PASSTHRU, Width::k8, kYesNo,
     Printed("Failed to process passthru option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process passthru option. Invalid parameter entered")},
    {CMD_CHANGE_NOTIFY, CIFS_FN_CHANGE_NOTIFY, Width::k8, kYesNo,
     Printed("Failed to process change-notify option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process change-notify option. Invalid option entered")},
    {CMD_ENUM_SHARES_NULL_SESSION, CIFS_FN_ENUM_SHARES_NULL_SESSION, Width::k8, kYesNo,
     Printed("Failed to process enum-shares-over-nullsession option. Invalid parameter value: "
             "\" %s \"\n"),
     Line("Failed to process enum-shares-over-nullsession option. Invalid option entered")},
    {CMD_NEGOTIATE_NTSTATUS, CIFS_FN_NEGOTIATE_NTSTATUS, Width::k8, kYesNo,
     Printed("Failed to process negotiate-ntstatus option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process negotiate-ntstatus option. Invalid option entered")},
    {CMD_DFS, CIFS_FN_DFS, Width::k8, kYesNo,
     Printed("Failed to process dfs option. Invalid parameter value: \" %s \"\n"), kNoPeriodsCheck},
    {CMD_ALTERNATE_DATA_STREAMS, CIFS_FN_ALTERNATE_DATA_STREAMS, Width::k8, kYesNo,
     Printed("Failed to process alternate-data-stream-enable option. Invalid parameter value: "
             "\" %s \"\n"),
     Line("Failed to process alternate-data-stream-enable option. Invalid option entered. Valid "
          "values are \"yes/no\"")},
    {CMD_ENCRYPT_DATA, CIFS_FN_ENCRYPT_DATA, Width::k8, kYesNo,
     Printed("Failed to process encrypt-data option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process encrypt-data option. Invalid option entered")},
    {CMD_REJECT_UNENCRYPTED_ACCESS, CIFS_FN_REJECT_UNENCRYPTED_ACCESS, Width::k8, kYesNo,
     Printed("Failed to process reject-unencrypted-access option. Invalid parameter value: "
             "\" %s \"\n"),
     Line("Failed to process reject-unencrypted-access option. Invalid option entered")},
    {CMD_DISPLAY_USER_ADDRESS, CIFS_FN_DISPLAY_USER_ADDRESS, Width::k32, kYesNo,
     Printed("Failed to process display user address option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process display user address option. Invalid parameter entered")},
    {CMD_DOS_FILENAME, CIFS_FN_DOS_FILENAME, Width::k32, kYesNo,
     Printed("Failed to process DOS filename option. Invalid parameter value: \" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_DISABLE_NTLMSSP, CIFS_FN_DISABLE_NTLMSSP, Width::k8, kYesNo,
     Printed("Failed to process disable NTLMSSP option. Invalid parameter value: \" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_BLOCK_UNMANAGED_READS, CIFS_FN_BLOCK_UNMANAGED_READS, Width::k8, kYesNo,
     Printed("Failed to process blocking of reads to cloud files from unmanaged Nimbrel clients. "
             "Invalid parameter value: \" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_LEASING, CIFS_FN_LEASING, Width::k8, kYesNo,
     Printed("Failed to process leasing configuartion. Invalid parameter value: \" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_ZEROCOPY, CIFS_FN_ZEROCOPY, Width::k8, kYesNo,
     Printed("Failed to process zerocopy option. Invalid parameter value: \" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_SHARE_VISIBILITY_RIGHTS, CIFS_FN_SHARE_VISIBILITY_RIGHTS, Width::k8, kYesNo,
     Printed("Failed to process check share visibility rights option. Invalid parameter "
             "value:\" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_DIRECTORY_LEASING, CIFS_FN_DIRECTORY_LEASING, Width::k8, kYesNo,
     Printed("Failed to process directory leasing configuartion. Invalid parameter value:\" %s "
             "\"\n"),
     kNoPeriodsCheck},
    {CMD_COMPRESSION, CIFS_FN_COMPRESSION, Width::k8, kYesNo,
     Printed("Failed to process compression option. Invalid parameter value: \" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_MULTICHANNEL, CIFS_FN_MULTICHANNEL, Width::k8, kYesNo,
     Printed("Failed to process multi channel configuartion. Invalid parameter value:\" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_LARGE_MTU, CIFS_FN_LARGE_MTU, Width::k8, kYesNo,
     Printed("Failed to process large mtu configuartion. Invalid parameter value:\" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_MFA, CIFS_FN_MFA, Width::k8, kYesNo,
     Printed("Failed to process mfa configuartion. Invalid parameter value:\" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_DURABLE_HANDLES, CIFS_FN_DURABLE_HANDLES, Width::k8, kYesNo,
     Printed("Failed to process durable handles configuartion. Invalid parameter value:\" %s "
             "\"\n"),
     kNoPeriodsCheck},
    {CMD_SMB_SIGNING, CIFS_FN_SMB_SIGNING, Width::k8, kSigning,
     Printed("Failed to process SMB signing option. Invalid parameter value: \" %s \"\n"),
     Logged("Failed to process SMB signing option. Invalid parameter entered\n")},
    {CMD_AUDITING, CIFS_FN_AUDITING, Width::k8, kAuditing,
     Printed("Failed to process auditing option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process auditing option. Invalid option entered")},
    {CMD_READ_PROXY, CIFS_FN_READ_PROXY, Width::k32, kReadProxy,
     Printed("Failed to process read proxy option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process read proxy option. Invalid option entered")},
    {CMD_MAP_AD_SESSIONS, CIFS_FN_MAP_AD_SESSIONS, Width::k8, kMapAdSessions,
     Printed("Failed to process Map AD Sessions to Tarnlet option. Invalid parameter value: "
             "\" %s \"\n"),
     kNoPeriodsCheck},
    {CMD_DUMP_STATISTICS, CIFS_FN_DUMP_STATISTICS, Width::k32, kDumpStatistics,
     Logged("Failed to process dump statistics option. Invalid parameter value \"%s\"\n"),
     Logged("Failed to process dump statistics option. Invalid parameter entered\n")},
    {CMD_LOG_LEVEL, CIFS_FN_LOG_LEVEL, Width::k32, kLogLevels,
     Printed("Failed to process set log option. Invalid parameter value: \" %s \"\n"),
     Line("Failed to process debug log option. Invalid parameter entered"), true},
};

// Commands that send the keyword itself as text.
struct TextRow {
    int32_t code;
    uint8_t functionId;
    bool normalised;  // compare the normalised copy; otherwise the caller's text exactly
    std::span<const char *const> words;
    Message invalid;  // %s: the caller's own text
};

constexpr const char *kSmbv1Modes[] = {"WIN-MAC", "MAC", "NONE", "ALL"};
constexpr const char *kDialects[] = {"SMB", "SMB2", "SMB3"};
constexpr const char *kCiphers[] = {"AES-128-GCM", "AES-128-CCM", "AES-256-CCM", "AES-256-GCM",
                                    "NONE"};

constexpr TextRow kTexts[] = {
    {CMD_DISABLE_SMBV1, CIFS_FN_DISABLE_SMBV1, true, kSmbv1Modes,
     Printed("Failed to process disable-smbv1-sessions option. Invalid parameter value: "
             "\"%s\"\n")},
    {CMD_DIALECT, CIFS_FN_DIALECT, false, kDialects,
     Printed("Failed to process dialect option. Invalid parameter value: \" %s \"\n")},
    {CMD_PREFERRED_CIPHER, CIFS_FN_PREFERRED_CIPHER, true, kCiphers,
     Printed("Failed to process Preferred Cipher option. Invalid parameter value: \" %s \"\n")},
};

// The command's value from the normalised copy, or nothing after reporting why not.
std::optional<int32_t> SwitchValue(const SwitchRow &row, const char *text) {
    CString copy = NormalisedCopy(text);
    if (copy && row.periods.text && stringHasOnlyPeriods(copy.get())) {
        Emit(row.periods);
        return std::nullopt;
    }
    std::optional<int32_t> value;
    if (copy) value = MatchKeyword(row.keywords, copy.get(), row.ignoreCase);
    if (!value) Emit(row.invalid, Quoted(text));
    return value;
}

int RunSwitch(const SwitchRow &row, CmdContext *ctx) {
    ctx->functionId = row.functionId;
    const std::optional<int32_t> value = SwitchValue(row, gbCifsArg[0].value);
    ReleaseArg(0);
    if (!value) return -1;
    if (row.width == Width::k8)
        ctx->params.flagValue = static_cast<uint8_t>(*value);
    else
        ctx->params.intValue = *value;
    return 0;
}

int RunText(const TextRow &row, CmdContext *ctx) {
    ctx->functionId = row.functionId;
    const char *text = gbCifsArg[0].value;
    CString copy = row.normalised ? NormalisedCopy(text) : nullptr;
    const char *candidate = row.normalised ? copy.get() : text;
    const char *match = nullptr;
    for (const char *word : row.words)
        if (candidate && std::strcmp(candidate, word) == 0) match = word;
    // Every text record (smbv1Mode, dialectName, cipherName) starts the parameter area and is
    // larger than its longest keyword.
    if (match)
        std::memcpy(ctx->params.raw, match, std::strlen(match) + 1);
    else
        Emit(row.invalid, Quoted(text));
    ReleaseArg(0);
    return match ? 0 : -1;
}

}  // namespace

std::optional<int> RunSwitchCommand(int32_t code, CmdContext *ctx) noexcept {
    if (const SwitchRow *row = FindRow<SwitchRow>(kSwitches, code)) return RunSwitch(*row, ctx);
    if (const TextRow *row = FindRow<TextRow>(kTexts, code)) return RunText(*row, ctx);
    return std::nullopt;
}

}  // namespace share::command
