#include "tools/common/server_formats.h"

#include <array>
#include <cstring>

namespace share::tools {
namespace {

constexpr std::array kStatuses = {
    StatusInfo{kOk, "ok", "done"},
    StatusInfo{kMalformedRequest, "malformed-request",
               "the request's elements are missing, of the wrong type or length, or unterminated"},
    StatusInfo{kUnknownFunction, "unknown-function", "the server has no such component or function"},
    StatusInfo{kNoSuchVolume, "no-such-volume", "no volume has that name"},
    StatusInfo{kNoSuchShare, "no-such-share", "no share has that name"},
    StatusInfo{kNameTaken, "name-taken", "the name is already in use"},
    StatusInfo{kInvalidValue, "invalid-value", "the value is not accepted for this setting"},
    StatusInfo{kNoSuchConnection, "no-such-connection", "no client connection has that ID"},
    StatusInfo{kNoSuchFile, "no-such-file", "no open file has that path"},
    StatusInfo{kNoSuchUser, "no-such-user", "the user is not in the invalid-user cache"},
    StatusInfo{kNoSuchEntry, "no-such-entry", "no such entry exists"},
    StatusInfo{kNotPermitted, "not-permitted", "the object may not be changed this way"},
    StatusInfo{kLimitReached, "limit-reached", "the server holds as many objects of this kind as it accepts"},
    StatusInfo{kStateNotSaved, "state-not-saved",
               "the change could not be saved to the state file and was not made"},
};
constexpr StatusInfo kUnknownStatus{-1, "unknown-status", "unknown status"};

constexpr Keyword kYesNo[] = {{"YES", 1}, {"NO", 0}};
constexpr Keyword kSigning[] = {{"YES", 1}, {"NO", 0}, {"OPTIONAL", 1}, {"FORCE", 2}};
constexpr Keyword kAuditing[] = {{"YES", 1}, {"NO", 0}, {"READOCS", 3}};
constexpr Keyword kReadProxy[] = {{"READPROXY", 1}};
constexpr Keyword kMapAd[] = {{"YES", 1}, {"FALLBACK", 2}, {"NO", 0}};
constexpr Keyword kLogLevel[] = {{"DEBUG", 64}, {"INFO", 32}, {"ERROR", 4}};
constexpr Keyword kLmCompat[] = {{"0", 0}, {"4", 4}, {"5", 5}};
constexpr Keyword kSmbv1[] = {{"WIN-MAC", 0}, {"MAC", 0}, {"NONE", 0}, {"ALL", 0}};
constexpr Keyword kDialect[] = {{"SMB", 0}, {"SMB2", 0}, {"SMB3", 0}};
constexpr Keyword kCipher[] = {
    {"AES-128-GCM", 0}, {"AES-128-CCM", 0}, {"AES-256-CCM", 0}, {"AES-256-GCM", 0}, {"NONE", 0}};
constexpr std::span<const Keyword> kNone{};

using K = ValueKind;

// Text rows list their accepted words in `keywords` (values unused); number rows list words with
// their values, or a range.
constexpr OptionSpec kOptions[] = {
    {"smb-signing", 4, 5, 5, K::kU8, 1, kSigning, 0, 0, 1, nullptr,
     "SMB signing: YES, NO, OPTIONAL or FORCE"},
    {"log-level", 14, 6, 10, K::kI32, 4, kLogLevel, 0, 0, 4, nullptr,
     "server log level: DEBUG, INFO or ERROR"},
    {"auditing", 18, 10, 29, K::kU8, 1, kAuditing, 0, 0, 0, nullptr, "auditing: YES, NO or READOCS"},
    {"guest-login", 20, 13, 31, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "guest login: YES or NO"},
    {"lm-compatibility", 21, 14, 32, K::kI32, 4, kLmCompat, 0, 0, 5, nullptr,
     "LM compatibility level: 0, 4 or 5"},
    {"subtree-search", 22, 15, 33, K::kI32, 4, kYesNo, 0, 0, 1, nullptr, "subtree search: YES or NO"},
    {"sync", 23, 16, 34, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "synchronous writes: YES or NO"},
    {"range-lock-mask", 25, 18, 36, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "range lock mask: YES or NO"},
    {"offline-files", 26, 19, 37, K::kI32, 4, kNone, 0, 3, 0, nullptr,
     "offline files support level: 0 to 3"},
    {"read-proxy", 27, 20, 38, K::kI32, 4, kReadProxy, 0, 0, 0, nullptr, "read proxy: READPROXY"},
    {"passthru", 36, 39, 43, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "passthru: YES or NO"},
    {"dialect", 39, 42, 47, K::kText, 16, kDialect, 0, 0, 0, "SMB3",
     "highest SMB dialect: SMB, SMB2 or SMB3 (exact case)"},
    {"change-notify", 40, 43, 48, K::kU8, 1, kYesNo, 0, 0, 1, nullptr, "change notify: YES or NO"},
    {"enum-shares-null-session", 43, 45, 50, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "enumerate shares over a null session: YES or NO"},
    {"oplock-break-ack-timeout", 44, 46, 51, K::kI32, 4, kNone, 5, 30, 10, nullptr,
     "oplock break acknowledgement time-out: 5 to 30 seconds"},
    {"negotiate-ntstatus", 45, 47, 52, K::kU8, 1, kYesNo, 0, 0, 1, nullptr,
     "negotiate NtStatus codes: YES or NO"},
    {"dfs", 46, 48, 53, K::kU8, 1, kYesNo, 0, 0, 1, nullptr, "DFS support: YES or NO"},
    {"alternate-data-streams", 47, 49, 54, K::kU8, 1, kYesNo, 0, 0, 1, nullptr,
     "alternate data streams: YES or NO"},
    {"disable-smbv1", 48, 50, 55, K::kField, 128, kSmbv1, 0, 0, 0, "NONE",
     "disable SMBv1 sessions of: WIN-MAC, MAC, NONE or ALL"},
    {"encrypt-data", 50, 52, 56, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "encrypt data: YES or NO"},
    {"reject-unencrypted-access", 51, 53, 57, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "reject unencrypted access: YES or NO"},
    {"dns-suffix", 52, 54, 58, K::kText, 256, kNone, 0, 0, 0, "", "DNS suffix (up to 255 characters)"},
    {"display-user-address", 53, 55, 59, K::kI32, 4, kYesNo, 0, 0, 0, nullptr,
     "display user address: YES or NO"},
    {"dos-filenames", 55, 57, 61, K::kI32, 4, kYesNo, 0, 0, 0, nullptr, "DOS file names: YES or NO"},
    {"map-ad-sessions", 56, 58, 62, K::kU8, 1, kMapAd, 0, 0, 0, nullptr,
     "map Active Directory sessions to Tarnlet for file operations: YES, FALLBACK or NO"},
    {"disable-ntlmssp", 57, 59, 63, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "disable NTLMSSP: YES or NO"},
    {"block-unmanaged-reads", 58, 60, 64, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "block reads of cloud files from unmanaged Nimbrel clients: YES or NO"},
    {"leasing", 59, 61, 65, K::kU8, 1, kYesNo, 0, 0, 1, nullptr, "leasing: YES or NO"},
    {"zero-copy", 61, 62, 66, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "zero-copy: YES or NO"},
    {"share-visibility-rights", 66, 64, 68, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "check share visibility rights: YES or NO"},
    {"directory-leasing", 67, 65, 69, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "directory leasing: YES or NO"},
    {"dump-crypto-keys", 70, 69, 71, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "dumping of crypto keys: YES or NO"},
    {"preferred-cipher", 72, 70, 72, K::kText, 16, kCipher, 0, 0, 0, "AES-128-GCM",
     "preferred cipher: AES-128-GCM, AES-128-CCM, AES-256-CCM, AES-256-GCM or NONE"},
    {"compression", 73, 71, 73, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "compression: YES or NO"},
    {"multichannel", 74, 72, 74, K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "multichannel: YES or NO"},
    {"large-mtu", 77, 76, 76, K::kU8, 1, kYesNo, 0, 0, 1, nullptr, "large MTU: YES or NO"},
    {"mfa", 84, 85, 79, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "multi-factor authentication: YES or NO"},
    {"durable-handles", 85, 87, 80, K::kU8, 1, kYesNo, 0, 0, 1, nullptr, "durable handles: YES or NO"},
};

}  // namespace

std::span<const StatusInfo> StatusTable() { return kStatuses; }

const StatusInfo &DescribeStatus(int32_t code) {
    for (const auto &s : kStatuses)
        if (s.code == code) return s;
    return kUnknownStatus;
}

namespace {
template <class T>
T ReadAt(const ConnectionRecord &record, size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const uint8_t *>(&record) + offset, sizeof value);
    return value;
}
template <class T>
void WriteAt(ConnectionRecord &record, size_t offset, T value) {
    std::memcpy(reinterpret_cast<uint8_t *>(&record) + offset, &value, sizeof value);
}
}  // namespace

uint16_t ConnFlags(const ConnectionRecord &record) { return ReadAt<uint16_t>(record, 2); }
uint32_t ConnTotalFiles(const ConnectionRecord &record) {
    return ReadAt<uint32_t>(record, kConnTotalFilesOffset);
}
uint32_t ConnMappedShares(const ConnectionRecord &record) {
    return ReadAt<uint32_t>(record, kConnMappedSharesOffset);
}
void SetConnFlags(ConnectionRecord &record, uint16_t flags) { WriteAt(record, 2, flags); }
void SetConnTotalFiles(ConnectionRecord &record, uint32_t files) {
    WriteAt(record, kConnTotalFilesOffset, files);
}
void SetConnMappedShares(ConnectionRecord &record, uint32_t shares) {
    WriteAt(record, kConnMappedSharesOffset, shares);
}

std::span<const OptionSpec> OptionTable() { return kOptions; }

const OptionSpec *FindOptionByFunction(uint8_t function) {
    for (const auto &o : kOptions)
        if (o.function == function) return &o;
    return nullptr;
}

const OptionSpec *FindOptionByName(std::string_view name) {
    for (const auto &o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

const OptionSpec *FindOptionByElement(uint8_t element) {
    for (const auto &o : kOptions)
        if (o.element == element) return &o;
    return nullptr;
}

const char *KeywordFor(const OptionSpec &optionRow, int32_t value) {
    for (const auto &k : optionRow.keywords)
        if (k.value == value) return k.word;
    return nullptr;
}

}  // namespace share::tools
