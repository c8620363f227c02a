// SPDX-License-Identifier: Apache-2.0
// The rows of the stored server options, visible at compile time so that the stand-in server's
// dispatch can route every option's function ID to the one option handler and check, while it
// builds, that no ID is left without a handler. Everybody else reads them through OptionTable().
#pragma once

#include "common/server_formats.h"

namespace share::tools::option_rows {

inline constexpr Keyword kYesNo[] = {{"YES", 1}, {"NO", 0}};
inline constexpr Keyword kSigning[] = {{"YES", 1}, {"NO", 0}, {"OPTIONAL", 1}, {"FORCE", 2}};
inline constexpr Keyword kAuditing[] = {{"YES", 1}, {"NO", 0}, {"READOCS", 3}};
inline constexpr Keyword kReadProxy[] = {{"READPROXY", 1}};
inline constexpr Keyword kMapAd[] = {{"YES", 1}, {"FALLBACK", 2}, {"NO", 0}};
inline constexpr Keyword kLogLevel[] = {{"DEBUG", 64}, {"INFO", 32}, {"ERROR", 4}};
inline constexpr Keyword kLmCompat[] = {{"0", 0}, {"4", 4}, {"5", 5}};
inline constexpr Keyword kSmbv1[] = {{"WIN-MAC", 0}, {"MAC", 0}, {"NONE", 0}, {"ALL", 0}};
inline constexpr Keyword kDialect[] = {{"SMB", 0}, {"SMB2", 0}, {"SMB3", 0}};
inline constexpr Keyword kCipher[] = {
    {"AES-128-GCM", 0}, {"AES-128-CCM", 0}, {"AES-256-CCM", 0}, {"AES-256-GCM", 0}, {"NONE", 0}};
inline constexpr std::span<const Keyword> kNone{};

using K = ValueKind;

// Text rows list their accepted words in `keywords` (values unused); number rows list words with
// their values, or a range.
inline constexpr StoredOption kOptionRows[] = {
    {"smb-signing", CMD_SMB_SIGNING, CIFS_FN_SMB_SIGNING, CIFS_ELEM_SMB_SIGNING, K::kU8, 1,
     kSigning, 0, 0, 1, nullptr, "SMB signing: YES, NO, OPTIONAL or FORCE"},
    {"log-level", CMD_LOG_LEVEL, CIFS_FN_LOG_LEVEL, CIFS_ELEM_LOG_LEVEL, K::kI32, 4, kLogLevel, 0,
     0, 4, nullptr, "server log level: DEBUG, INFO or ERROR"},
    {"auditing", CMD_AUDITING, CIFS_FN_AUDITING, CIFS_ELEM_AUDITING, K::kU8, 1, kAuditing, 0, 0, 0,
     nullptr, "auditing: YES, NO or READOCS"},
    {"guest-login", CMD_GUEST_LOGIN, CIFS_FN_GUEST_LOGIN, CIFS_ELEM_GUEST_LOGIN, K::kU8, 1, kYesNo,
     0, 0, 0, nullptr, "guest login: YES or NO"},
    {"lm-compatibility", CMD_LM_COMPATIBILITY, CIFS_FN_LM_COMPATIBILITY, CIFS_ELEM_LM_COMPATIBILITY,
     K::kI32, 4, kLmCompat, 0, 0, 5, nullptr, "LM compatibility level: 0, 4 or 5"},
    {"subtree-search", CMD_SUBTREE_SEARCH, CIFS_FN_SUBTREE_SEARCH, CIFS_ELEM_SUBTREE_SEARCH,
     K::kI32, 4, kYesNo, 0, 0, 1, nullptr, "subtree search: YES or NO"},
    {"sync", CMD_SYNC, CIFS_FN_SYNC, CIFS_ELEM_SYNC, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "synchronous writes: YES or NO"},
    {"range-lock-mask", CMD_RANGE_LOCK_MASK, CIFS_FN_RANGE_LOCK_MASK, CIFS_ELEM_RANGE_LOCK_MASK,
     K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "range lock mask: YES or NO"},
    {"offline-files", CMD_OFFLINE_FILES, CIFS_FN_OFFLINE_FILES, CIFS_ELEM_OFFLINE_FILES, K::kI32, 4,
     kNone, 0, 3, 0, nullptr, "offline files support level: 0 to 3"},
    {"read-proxy", CMD_READ_PROXY, CIFS_FN_READ_PROXY, CIFS_ELEM_READ_PROXY, K::kI32, 4, kReadProxy,
     0, 0, 0, nullptr, "read proxy: READPROXY"},
    {"passthru", CMD_PASSTHRU, CIFS_FN_PASSTHRU, CIFS_ELEM_PASSTHRU, K::kU8, 1, kYesNo, 0, 0, 0,
     nullptr, "passthru: YES or NO"},
    {"dialect", CMD_DIALECT, CIFS_FN_DIALECT, CIFS_ELEM_DIALECT, K::kText, 16, kDialect, 0, 0, 0,
     "SMB3", "highest SMB dialect: SMB, SMB2 or SMB3 (exact case)"},
    {"change-notify", CMD_CHANGE_NOTIFY, CIFS_FN_CHANGE_NOTIFY, CIFS_ELEM_CHANGE_NOTIFY, K::kU8, 1,
     kYesNo, 0, 0, 1, nullptr, "change notify: YES or NO"},
    {"enum-shares-null-session", CMD_ENUM_SHARES_NULL_SESSION, CIFS_FN_ENUM_SHARES_NULL_SESSION,
     CIFS_ELEM_ENUM_SHARES_NULL_SESSION, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "enumerate shares over a null session: YES or NO"},
    {"oplock-break-ack-timeout", CMD_OPLOCK_BREAK_ACK_TIMEOUT, CIFS_FN_OPLOCK_BREAK_ACK_TIMEOUT,
     CIFS_ELEM_OPLOCK_BREAK_ACK_TIMEOUT, K::kI32, 4, kNone, 5, 30, 10, nullptr,
     "oplock break acknowledgement time-out: 5 to 30 seconds"},
    {"negotiate-ntstatus", CMD_NEGOTIATE_NTSTATUS, CIFS_FN_NEGOTIATE_NTSTATUS,
     CIFS_ELEM_NEGOTIATE_NTSTATUS, K::kU8, 1, kYesNo, 0, 0, 1, nullptr,
     "negotiate NtStatus codes: YES or NO"},
    {"dfs", CMD_DFS, CIFS_FN_DFS, CIFS_ELEM_DFS, K::kU8, 1, kYesNo, 0, 0, 1, nullptr,
     "DFS support: YES or NO"},
    {"alternate-data-streams", CMD_ALTERNATE_DATA_STREAMS, CIFS_FN_ALTERNATE_DATA_STREAMS,
     CIFS_ELEM_ALTERNATE_DATA_STREAMS, K::kU8, 1, kYesNo, 0, 0, 1, nullptr,
     "alternate data streams: YES or NO"},
    {"disable-smbv1", CMD_DISABLE_SMBV1, CIFS_FN_DISABLE_SMBV1, CIFS_ELEM_DISABLE_SMBV1, K::kField,
     128, kSmbv1, 0, 0, 0, "NONE", "disable SMBv1 sessions of: WIN-MAC, MAC, NONE or ALL"},
    {"encrypt-data", CMD_ENCRYPT_DATA, CIFS_FN_ENCRYPT_DATA, CIFS_ELEM_ENCRYPT_DATA, K::kU8, 1,
     kYesNo, 0, 0, 0, nullptr, "encrypt data: YES or NO"},
    {"reject-unencrypted-access", CMD_REJECT_UNENCRYPTED_ACCESS, CIFS_FN_REJECT_UNENCRYPTED_ACCESS,
     CIFS_ELEM_REJECT_UNENCRYPTED_ACCESS, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "reject unencrypted access: YES or NO"},
    {"dns-suffix", CMD_DNS_SUFFIX, CIFS_FN_DNS_SUFFIX, CIFS_ELEM_DNS_SUFFIX, K::kText, 256, kNone,
     0, 0, 0, "", "DNS suffix (up to 255 bytes; empty clears it)"},
    {"display-user-address", CMD_DISPLAY_USER_ADDRESS, CIFS_FN_DISPLAY_USER_ADDRESS,
     CIFS_ELEM_DISPLAY_USER_ADDRESS, K::kI32, 4, kYesNo, 0, 0, 0, nullptr,
     "display user address: YES or NO"},
    {"dos-filenames", CMD_DOS_FILENAME, CIFS_FN_DOS_FILENAME, CIFS_ELEM_DOS_FILENAME, K::kI32, 4,
     kYesNo, 0, 0, 0, nullptr, "DOS file names: YES or NO"},
    {"map-ad-sessions", CMD_MAP_AD_SESSIONS, CIFS_FN_MAP_AD_SESSIONS, CIFS_ELEM_MAP_AD_SESSIONS,
     K::kU8, 1, kMapAd, 0, 0, 0, nullptr,
     "map Active Directory sessions to Tarnlet for file operations: YES, FALLBACK or NO"},
    {"disable-ntlmssp", CMD_DISABLE_NTLMSSP, CIFS_FN_DISABLE_NTLMSSP, CIFS_ELEM_DISABLE_NTLMSSP,
     K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "disable NTLMSSP: YES or NO"},
    {"block-unmanaged-reads", CMD_BLOCK_UNMANAGED_READS, CIFS_FN_BLOCK_UNMANAGED_READS,
     CIFS_ELEM_BLOCK_UNMANAGED_READS, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "block reads of cloud files from unmanaged Nimbrel clients: YES or NO"},
    {"leasing", CMD_LEASING, CIFS_FN_LEASING, CIFS_ELEM_LEASING, K::kU8, 1, kYesNo, 0, 0, 1,
     nullptr, "leasing: YES or NO"},
    {"zero-copy", CMD_ZEROCOPY, CIFS_FN_ZEROCOPY, CIFS_ELEM_ZEROCOPY, K::kU8, 1, kYesNo, 0, 0, 0,
     nullptr, "zero-copy: YES or NO"},
    {"share-visibility-rights", CMD_SHARE_VISIBILITY_RIGHTS, CIFS_FN_SHARE_VISIBILITY_RIGHTS,
     CIFS_ELEM_SHARE_VISIBILITY_RIGHTS, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "check share visibility rights: YES or NO"},
    {"directory-leasing", CMD_DIRECTORY_LEASING, CIFS_FN_DIRECTORY_LEASING,
     CIFS_ELEM_DIRECTORY_LEASING, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "directory leasing: YES or NO"},
    {"dump-crypto-keys", CMD_DUMP_CRYPTO_KEYS, CIFS_FN_DUMP_CRYPTO_KEYS, CIFS_ELEM_CRYPTO_KEYS,
     K::kU8, 1, kYesNo, 0, 0, 0, nullptr, "dumping of crypto keys: YES or NO"},
    {"preferred-cipher", CMD_PREFERRED_CIPHER, CIFS_FN_PREFERRED_CIPHER, CIFS_ELEM_PREFERRED_CIPHER,
     K::kText, 16, kCipher, 0, 0, 0, "AES-128-GCM",
     "preferred cipher: AES-128-GCM, AES-128-CCM, AES-256-CCM, AES-256-GCM or NONE"},
    {"compression", CMD_COMPRESSION, CIFS_FN_COMPRESSION, CIFS_ELEM_COMPRESSION, K::kU8, 1, kYesNo,
     0, 0, 0, nullptr, "compression: YES or NO"},
    {"multichannel", CMD_MULTICHANNEL, CIFS_FN_MULTICHANNEL, CIFS_ELEM_MULTICHANNEL, K::kU8, 1,
     kYesNo, 0, 0, 0, nullptr, "multichannel: YES or NO"},
    {"large-mtu", CMD_LARGE_MTU, CIFS_FN_LARGE_MTU, CIFS_ELEM_LARGE_MTU, K::kU8, 1, kYesNo, 0, 0, 1,
     nullptr, "large MTU: YES or NO"},
    {"mfa", CMD_MFA, CIFS_FN_MFA, CIFS_ELEM_MFA, K::kU8, 1, kYesNo, 0, 0, 0, nullptr,
     "multi-factor authentication: YES or NO"},
    {"durable-handles", CMD_DURABLE_HANDLES, CIFS_FN_DURABLE_HANDLES, CIFS_ELEM_DURABLE_HANDLES,
     K::kU8, 1, kYesNo, 0, 0, 1, nullptr, "durable handles: YES or NO"},
};

}  // namespace share::tools::option_rows
