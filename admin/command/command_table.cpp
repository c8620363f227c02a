// SPDX-License-Identifier: Apache-2.0
#include "admin/command/command_table.h"

#include <array>
#include <initializer_list>

#include "admin/command/server_options.h"
#include "shareadmin/command.h"

namespace share::command {
namespace {

constexpr FunctionIds Ids(std::initializer_list<uint8_t> ids) {
    FunctionIds f;
    for (uint8_t id : ids) f.ids[f.count++] = id;
    return f;
}

constexpr CommandRow Object(int32_t code, const char *name, CommandHandler parser,
                            std::initializer_list<uint8_t> ids) {
    return CommandRow{code, name, HandlerKind::kObject, parser, Ids(ids)};
}

constexpr CommandRow Inline(int32_t code, const char *name, std::initializer_list<uint8_t> ids) {
    return CommandRow{code, name, HandlerKind::kInline, &ProcessServerOptionCommand, Ids(ids)};
}

// A row names its command once: the printed name is the spelling of its code.
#define SHARE_OBJECT_ROW(code, parser, ...) Object(code, #code, parser, __VA_ARGS__)
#define SHARE_INLINE_ROW(code, ...) Inline(code, #code, __VA_ARGS__)

constexpr auto kTable = [] {
    std::array<CommandRow, CIFS_CMD_LAST + 1> t{};
    for (int32_t code = 0; code <= CIFS_CMD_LAST; ++code) t[static_cast<size_t>(code)].code = code;
    const CommandRow rows[] = {
        SHARE_OBJECT_ROW(
            CMD_SHARE, &ProcessShareCommandData,
            {CIFS_FN_SHARE_NAMES, CIFS_FN_SHARE_DETAILS, CIFS_FN_SHARE_ADD, CIFS_FN_SHARE_REMOVE,
             CIFS_FN_SHARE_ENCRYPTION, CIFS_FN_SHARE_FOLDER_REDIRECTION, CIFS_FN_SHARE_ATM_BACKUP,
             CIFS_FN_SHARE_MODIFY, CIFS_FN_SHARE_MFA}),
        SHARE_INLINE_ROW(CMD_SERVER_REQUEST_4, {CIFS_FN_SERVER_REQUEST_4}),
        SHARE_INLINE_ROW(CMD_DUMP_STATISTICS, {CIFS_FN_DUMP_STATISTICS}),
        SHARE_INLINE_ROW(CMD_SMB_SIGNING, {CIFS_FN_SMB_SIGNING}),
        SHARE_INLINE_ROW(CMD_ADD, {CIFS_FN_VIRTUAL_SERVER_ADD, CIFS_FN_DNS_ENTRY_ADD}),
        SHARE_INLINE_ROW(CMD_REMOVE, {CIFS_FN_VIRTUAL_SERVER_REMOVE, CIFS_FN_DNS_ENTRY_REMOVE}),
        SHARE_INLINE_ROW(CMD_LOG_LEVEL, {CIFS_FN_LOG_LEVEL}),
        SHARE_INLINE_ROW(CMD_AUDITING, {CIFS_FN_AUDITING}),
        SHARE_INLINE_ROW(CMD_GUEST_LOGIN, {CIFS_FN_GUEST_LOGIN}),
        SHARE_INLINE_ROW(CMD_LM_COMPATIBILITY, {CIFS_FN_LM_COMPATIBILITY}),
        SHARE_INLINE_ROW(CMD_SUBTREE_SEARCH, {CIFS_FN_SUBTREE_SEARCH}),
        SHARE_INLINE_ROW(CMD_SYNC, {CIFS_FN_SYNC}),
        SHARE_INLINE_ROW(CMD_CACHE, {CIFS_FN_CACHE}),
        SHARE_INLINE_ROW(CMD_RANGE_LOCK_MASK, {CIFS_FN_RANGE_LOCK_MASK}),
        SHARE_INLINE_ROW(CMD_OFFLINE_FILES, {CIFS_FN_OFFLINE_FILES}),
        SHARE_INLINE_ROW(CMD_READ_PROXY, {CIFS_FN_READ_PROXY}),
        SHARE_OBJECT_ROW(CMD_INVALID_USER_CACHE, &ProcessIUCCommandData,
                         {CIFS_FN_INVALID_USER_TIMEOUT, CIFS_FN_INVALID_USER_ADD,
                          CIFS_FN_INVALID_USER_REMOVE, CIFS_FN_INVALID_USER_CACHE,
                          CIFS_FN_INVALID_USER_LIST, CIFS_FN_INVALID_USER_MAKE_PERMANENT}),
        SHARE_OBJECT_ROW(CMD_CONNECTIONS, &ProcessConnectionsCommandData,
                         {CIFS_FN_CONNECTION_COUNT, CIFS_FN_CONNECTION_LIST,
                          CIFS_FN_CONNECTION_LIST_8, CIFS_FN_CONNECTION_LIST_9,
                          CIFS_FN_CONNECTION_DETAILS, CIFS_FN_CONNECTION_MAPPED_SHARES}),
        SHARE_OBJECT_ROW(
            CMD_FILES, &ProcessFilesCommandData,
            {CIFS_FN_FILES_BY_PATH, CIFS_FN_FILES_BY_CONNECTION, CIFS_FN_FILES_BY_VOLUME,
             CIFS_FN_FILES_BY_PATH_MODIFIED, CIFS_FN_FILES_BY_CONNECTION_MODIFIED,
             CIFS_FN_FILES_BY_VOLUME_MODIFIED, CIFS_FN_CLOSE_BY_PATH, CIFS_FN_CLOSE_BY_CONNECTION,
             CIFS_FN_CLOSE_BY_VOLUME, CIFS_FN_OPEN_FILES}),
        SHARE_INLINE_ROW(CMD_PASSTHRU, {CIFS_FN_PASSTHRU}),
        SHARE_INLINE_ROW(CMD_SERVER_REQUEST_40, {CIFS_FN_SERVER_REQUEST_40}),
        SHARE_INLINE_ROW(CMD_SHARE_VOLUMES_BY_DEFAULT, {CIFS_FN_SHARE_VOLUMES_BY_DEFAULT}),
        SHARE_INLINE_ROW(CMD_DIALECT, {CIFS_FN_DIALECT}),
        SHARE_INLINE_ROW(CMD_CHANGE_NOTIFY, {CIFS_FN_CHANGE_NOTIFY}),
        SHARE_INLINE_ROW(CMD_USER_QUOTA_SYNC, {CIFS_FN_USER_QUOTA_SYNC}),
        SHARE_INLINE_ROW(CMD_ENUM_SHARES_NULL_SESSION, {CIFS_FN_ENUM_SHARES_NULL_SESSION}),
        SHARE_INLINE_ROW(CMD_OPLOCK_BREAK_ACK_TIMEOUT, {CIFS_FN_OPLOCK_BREAK_ACK_TIMEOUT}),
        SHARE_INLINE_ROW(CMD_NEGOTIATE_NTSTATUS, {CIFS_FN_NEGOTIATE_NTSTATUS}),
        SHARE_INLINE_ROW(CMD_DFS, {CIFS_FN_DFS}),
        SHARE_INLINE_ROW(CMD_ALTERNATE_DATA_STREAMS, {CIFS_FN_ALTERNATE_DATA_STREAMS}),
        SHARE_INLINE_ROW(CMD_DISABLE_SMBV1, {CIFS_FN_DISABLE_SMBV1}),
        SHARE_INLINE_ROW(CMD_ENCRYPT_DATA, {CIFS_FN_ENCRYPT_DATA}),
        SHARE_INLINE_ROW(CMD_REJECT_UNENCRYPTED_ACCESS, {CIFS_FN_REJECT_UNENCRYPTED_ACCESS}),
        SHARE_INLINE_ROW(CMD_DNS_SUFFIX, {CIFS_FN_DNS_SUFFIX}),
        SHARE_INLINE_ROW(CMD_DISPLAY_USER_ADDRESS, {CIFS_FN_DISPLAY_USER_ADDRESS}),
        SHARE_INLINE_ROW(CMD_DOS_FILENAME, {CIFS_FN_DOS_FILENAME}),
        SHARE_INLINE_ROW(CMD_MAP_AD_SESSIONS, {CIFS_FN_MAP_AD_SESSIONS}),
        SHARE_INLINE_ROW(CMD_DISABLE_NTLMSSP, {CIFS_FN_DISABLE_NTLMSSP}),
        SHARE_INLINE_ROW(CMD_BLOCK_UNMANAGED_READS, {CIFS_FN_BLOCK_UNMANAGED_READS}),
        SHARE_INLINE_ROW(CMD_LEASING, {CIFS_FN_LEASING}),
        SHARE_INLINE_ROW(CMD_ZEROCOPY, {CIFS_FN_ZEROCOPY}),
        SHARE_OBJECT_ROW(CMD_CLEAR_CONNECTIONS, &ProcessClearConnectionInputParameters,
                         {CIFS_FN_CLEAR_CONNECTIONS}),
        SHARE_INLINE_ROW(CMD_SHARE_VISIBILITY_RIGHTS, {CIFS_FN_SHARE_VISIBILITY_RIGHTS}),
        SHARE_INLINE_ROW(CMD_DIRECTORY_LEASING, {CIFS_FN_DIRECTORY_LEASING}),
        SHARE_INLINE_ROW(CMD_USER_QUOTA_VIEW, {CIFS_FN_USER_QUOTA_VIEW}),
        SHARE_INLINE_ROW(CMD_DUMP_CRYPTO_KEYS,
                         {CIFS_FN_CRYPTO_KEYS_OF_CONNECTION, CIFS_FN_DUMP_CRYPTO_KEYS}),
        SHARE_INLINE_ROW(CMD_PREFERRED_CIPHER, {CIFS_FN_PREFERRED_CIPHER}),
        SHARE_INLINE_ROW(CMD_COMPRESSION, {CIFS_FN_COMPRESSION}),
        SHARE_INLINE_ROW(CMD_MULTICHANNEL, {CIFS_FN_MULTICHANNEL}),
        SHARE_INLINE_ROW(CMD_MULTICHANNEL_INTERFACE,
                         {CIFS_FN_INTERFACE_ADD, CIFS_FN_INTERFACE_REMOVE, CIFS_FN_INTERFACE_LIST}),
        SHARE_INLINE_ROW(CMD_LARGE_MTU, {CIFS_FN_LARGE_MTU}),
        SHARE_OBJECT_ROW(
            CMD_USER_CONTEXTS, &ProcessContextsCommandData,
            {CIFS_FN_USER_CONTEXT_LIST, CIFS_FN_USER_CONTEXT_ADD, CIFS_FN_USER_CONTEXT_REMOVE}),
        SHARE_INLINE_ROW(CMD_MFA, {CIFS_FN_MFA}),
        SHARE_INLINE_ROW(CMD_DURABLE_HANDLES, {CIFS_FN_DURABLE_HANDLES}),
        SHARE_INLINE_ROW(CMD_DFS_REFERRAL_CACHE_DURATION, {CIFS_FN_DFS_REFERRAL_CACHE_DURATION}),
    };
    for (const CommandRow &row : rows) t[static_cast<size_t>(row.code)] = row;
    return t;
}();

#undef SHARE_OBJECT_ROW
#undef SHARE_INLINE_ROW

constexpr int CountKind(HandlerKind kind) {
    int n = 0;
    for (const CommandRow &row : kTable) n += row.kind == kind ? 1 : 0;
    return n;
}
static_assert(CountKind(HandlerKind::kObject) == 6);
static_assert(CountKind(HandlerKind::kInline) == 49);
static_assert(CountKind(HandlerKind::kNotCommand) == 32);

}  // namespace

std::span<const CommandRow> CommandTable() noexcept {
    return kTable;
}

const CommandRow *FindCommand(int32_t code) noexcept {
    if (code < 0 || code > CIFS_CMD_LAST) return nullptr;
    return &kTable[static_cast<size_t>(code)];
}

}  // namespace share::command
