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

constexpr auto kTable = [] {
    std::array<CommandRow, kLastCommandCode + 1> t{};
    for (int32_t code = 0; code <= kLastCommandCode; ++code)
        t[static_cast<size_t>(code)].code = code;
    const CommandRow rows[] = {
        Object(1, "CMD_SHARE", &ProcessShareCommandData, {0, 1, 2, 3, 51, 56, 66, 77, 86}),
        Inline(2, "CMD_SERVER_REQUEST_4", {4}),
        Inline(3, "CMD_DUMP_STATISTICS", {9}),
        Inline(4, "CMD_SMB_SIGNING", {5}),
        Inline(10, "CMD_ADD", {7, 11}),
        Inline(11, "CMD_REMOVE", {8, 12}),
        Inline(14, "CMD_LOG_LEVEL", {6}),
        Inline(18, "CMD_AUDITING", {10}),
        Inline(20, "CMD_GUEST_LOGIN", {13}),
        Inline(21, "CMD_LM_COMPATIBILITY", {14}),
        Inline(22, "CMD_SUBTREE_SEARCH", {15}),
        Inline(23, "CMD_SYNC", {16}),
        Inline(24, "CMD_CACHE", {17}),
        Inline(25, "CMD_RANGE_LOCK_MASK", {18}),
        Inline(26, "CMD_OFFLINE_FILES", {19}),
        Inline(27, "CMD_READ_PROXY", {20}),
        Object(28, "CMD_INVALID_USER_CACHE", &ProcessIUCCommandData, {21, 22, 23, 24, 80, 81}),
        Object(30, "CMD_CONNECTIONS", &ProcessConnectionsCommandData, {25, 26, 27, 28, 29, 78}),
        Object(32, "CMD_FILES", &ProcessFilesCommandData, {30, 31, 32, 33, 34, 35, 36, 37, 38, 79}),
        Inline(36, "CMD_PASSTHRU", {39}),
        Inline(37, "CMD_SERVER_REQUEST_40", {40}),
        Inline(38, "CMD_SHARE_VOLUMES_BY_DEFAULT", {41}),
        Inline(39, "CMD_DIALECT", {42}),
        Inline(40, "CMD_CHANGE_NOTIFY", {43}),
        Inline(41, "CMD_USER_QUOTA_SYNC", {44}),
        Inline(43, "CMD_ENUM_SHARES_NULL_SESSION", {45}),
        Inline(44, "CMD_OPLOCK_BREAK_ACK_TIMEOUT", {46}),
        Inline(45, "CMD_NEGOTIATE_NTSTATUS", {47}),
        Inline(46, "CMD_DFS", {48}),
        Inline(47, "CMD_ALTERNATE_DATA_STREAMS", {49}),
        Inline(48, "CMD_DISABLE_SMBV1", {50}),
        Inline(50, "CMD_ENCRYPT_DATA", {52}),
        Inline(51, "CMD_REJECT_UNENCRYPTED_ACCESS", {53}),
        Inline(52, "CMD_DNS_SUFFIX", {54}),
        Inline(53, "CMD_DISPLAY_USER_ADDRESS", {55}),
        Inline(55, "CMD_DOS_FILENAME", {57}),
        Inline(56, "CMD_MAP_AD_SESSIONS", {58}),
        Inline(57, "CMD_DISABLE_NTLMSSP", {59}),
        Inline(58, "CMD_BLOCK_UNMANAGED_READS", {60}),
        Inline(59, "CMD_LEASING", {61}),
        Inline(61, "CMD_ZEROCOPY", {62}),
        Object(62, "CMD_CLEAR_CONNECTIONS", &ProcessClearConnectionInputParameters, {63}),
        Inline(66, "CMD_SHARE_VISIBILITY_RIGHTS", {64}),
        Inline(67, "CMD_DIRECTORY_LEASING", {65}),
        Inline(69, "CMD_USER_QUOTA_VIEW", {67}),
        Inline(70, "CMD_DUMP_CRYPTO_KEYS", {68, 69}),
        Inline(72, "CMD_PREFERRED_CIPHER", {70}),
        Inline(73, "CMD_COMPRESSION", {71}),
        Inline(74, "CMD_MULTICHANNEL", {72}),
        Inline(75, "CMD_MULTICHANNEL_INTERFACE", {73, 74, 75}),
        Inline(77, "CMD_LARGE_MTU", {76}),
        Object(83, "CMD_USER_CONTEXTS", &ProcessContextsCommandData, {82, 83, 84}),
        Inline(84, "CMD_MFA", {85}),
        Inline(85, "CMD_DURABLE_HANDLES", {87}),
        Inline(86, "CMD_DFS_REFERRAL_CACHE_DURATION", {88}),
    };
    for (const CommandRow &row : rows) t[static_cast<size_t>(row.code)] = row;
    return t;
}();

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
    if (code < 0 || code > kLastCommandCode) return nullptr;
    return &kTable[static_cast<size_t>(code)];
}

}  // namespace share::command
