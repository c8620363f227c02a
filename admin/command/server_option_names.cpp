// SPDX-License-Identifier: Apache-2.0
// Option commands with names, addresses and second arguments: virtual server names and DNS
// entries, share volumes by default, user quota sync and view, DNS suffix, crypto key dumps and
// multichannel interfaces.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <climits>
#include <cstring>

#include "admin/command/command_util.h"
#include "admin/command/server_option_family.h"

namespace share::command {
namespace {

// Add and remove of a virtual server name (entry 1 CIFS_OPT_SERVER) or a DNS entry
// (CIFS_OPT_DNS_ENTRY), each with an optional IPv4 address in entry 2 (CIFS_OPT_IP_ADDRESS).
struct AddRemoveRow {
    int32_t code;
    const char *invalidCommand;
    uint8_t serverFunctionId;
    const char *serverAddressMessage;
    uint8_t dnsFunctionId;
    const char *dnsAddressMessage;
};

constexpr AddRemoveRow kAddRemove[] = {
    {CMD_ADD, "Failed to process add option. Invalid command entered, check the usage",
     CIFS_FN_VIRTUAL_SERVER_ADD,
     "Failed to add virtual server name. Wrong IP address given as parameter",
     CIFS_FN_DNS_ENTRY_ADD, "Failed to add DNS entry. Wrong IP address given as parameter"},
    {CMD_REMOVE, "Failed to process remove option. Invalid command entered. Check the usage",
     CIFS_FN_VIRTUAL_SERVER_REMOVE,
     "Failed to remove virtual server name. Wrong IP address given as parameter",
     CIFS_FN_DNS_ENTRY_REMOVE, "Failed to remove DNS entry. Wrong IP address given as parameter"},
};

int RunAddRemove(const AddRemoveRow &row, CmdContext *ctx) {
    const CifsArgEntry &target = gbCifsArg[1];
    const bool server = target.id == CIFS_OPT_SERVER;
    if ((!server && target.id != CIFS_OPT_DNS_ENTRY) || target.value == nullptr) {
        PrintLine(row.invalidCommand);
        ReleaseArg(1);
        return -1;
    }
    uint8_t *address;
    if (server) {
        VirtualServerParams &params = ctx->params.virtualServer;
        ctx->functionId = row.serverFunctionId;
        CopyField(params.serverName, sizeof params.serverName, target.value);
        address = params.ipAddress;
    } else {
        DnsEntryParams &params = ctx->params.dnsEntry;
        ctx->functionId = row.dnsFunctionId;
        CopyField(params.netbiosName, sizeof params.netbiosName, target.value);
        address = params.ipAddress;
    }
    int result = 0;
    if (gbCifsArg[2].id == CIFS_OPT_IP_ADDRESS) {
        in_addr parsed{};
        if (gbCifsArg[2].value && inet_aton(gbCifsArg[2].value, &parsed)) {
            std::memcpy(address, &parsed, sizeof parsed);
        } else {
            PrintLine(server ? row.serverAddressMessage : row.dnsAddressMessage);
            result = -1;
        }
    }
    ReleaseArg(2);
    ReleaseArg(1);
    return result;
}

int RunShareVolumesByDefault(CmdContext *ctx) {
    ctx->functionId = CIFS_FN_SHARE_VOLUMES_BY_DEFAULT;
    const char *server = gbCifsArg[0].value;
    const char *word = gbCifsArg[1].value;
    ShareVolumesParams &params = ctx->params.shareVolumes;
    int result = -1;
    if (gbCifsArg[1].id != CIFS_OPT_SHARE_BY_DEFAULT) {
        PrintLine("Failed to process share volumes by default option. Wrong usage");
    } else if (server == nullptr || std::strlen(server) >= sizeof params.serverName) {
        Print("Failed to process share volumes by default option. Invalid server name: \" %s \"\n",
              Quoted(server));
    } else {
        CopyField(params.serverName, sizeof params.serverName, server);
        CString copy = NormalisedCopy(word);
        const std::optional<int32_t> value = copy ? MatchKeyword(kYesNo, copy.get()) : std::nullopt;
        if (value) {
            params.shareByDefault = *value;
            result = 0;
        } else {
            Print(
                "Failed to process share volumes by default option. Invalid parameter value "
                "given for: \" %s \"\n",
                Quoted(word));
        }
    }
    ReleaseArg(0);
    ReleaseArg(1);
    return result;
}

constexpr size_t kMaxQuotaTarget = sizeof(QuotaSyncParams::quotaTarget) - 1;

// The normalised copy of a quota target, or null when the target is missing or too long.
CString QuotaTarget(const char *target) {
    if (target == nullptr || std::strlen(target) > kMaxQuotaTarget) return nullptr;
    return NormalisedCopy(target);
}

constexpr const char *kInvalidQuotaSync =
    "Failed to process user quota sync. Invalid parameter value: \" %s \"\n";

int QuotaSyncParamsFrom(const char *target, const CifsArgEntry &number, QuotaSyncParams &params) {
    params.quotaSyncValue = -1;
    if (number.id == CIFS_OPT_QUOTA_SYNC_VALUE) {
        const ParsedNumber n = number.value ? ParseNumber(number.value) : ParsedNumber{};
        if (!Within(n, 1, INT32_MAX)) {
            Print(kInvalidQuotaSync, Quoted(number.value));
            return -1;
        }
        params.quotaSyncValue = static_cast<int32_t>(n.value);
    }
    CString copy = QuotaTarget(target);
    if (!copy) {
        Print(kInvalidQuotaSync, Quoted(target));
        return -1;
    }
    CopyField(params.quotaTarget, sizeof params.quotaTarget, copy.get());
    return 0;
}

int RunUserQuotaSync(CmdContext *ctx) {
    ctx->functionId = CIFS_FN_USER_QUOTA_SYNC;
    const int result = QuotaSyncParamsFrom(gbCifsArg[0].value, gbCifsArg[1], ctx->params.quotaSync);
    ReleaseArg(0);
    ReleaseArg(1);  // whatever its code
    return result;
}

int RunUserQuotaView(CmdContext *ctx) {
    ctx->functionId = CIFS_FN_USER_QUOTA_VIEW;
    const char *target = gbCifsArg[0].value;
    char(&field)[sizeof ctx->params.quotaViewTarget] = ctx->params.quotaViewTarget;
    CString copy = QuotaTarget(target);
    if (copy)
        CopyField(field, sizeof field, copy.get());
    else
        Print("Failed to process user quota view. Invalid parameter value: \" %s \"\n",
              Quoted(target));
    ReleaseArg(0);
    return copy ? 0 : -1;
}

int RunDnsSuffix(CmdContext *ctx) {
    ctx->functionId = CIFS_FN_DNS_SUFFIX;
    const char *suffix = gbCifsArg[0].value;
    char(&field)[sizeof ctx->params.domainNameSuffix] = ctx->params.domainNameSuffix;
    const size_t limit = sizeof field - 1;
    const bool valid = suffix != nullptr && std::strlen(suffix) <= limit;
    if (valid)
        CopyField(field, sizeof field, suffix);
    else
        Print("Failed to process dns suffix option. dns suffix can not be more than %d\n",
              static_cast<int>(limit));
    ReleaseArg(0);
    return valid ? 0 : -1;
}

int DumpConnectionCryptoKeys(const char *text, CmdContext *ctx) {
    ctx->functionId = CIFS_FN_CRYPTO_KEYS_OF_CONNECTION;
    const char *digits = Quoted(text);  // a missing number is not supplied, like an empty one
    const ParsedNumber n = ParseNumber(digits);
    if (n.trailing) {
        PrintLine(
            "Failed to process dump cryptokeys command. Connection ID should be a numeric "
            "value ");
    } else if (*digits == '\0') {
        PrintLine("Failed to process dump cryptokeys command. Connection ID not supplied ");
    } else if (!Within(n, 0, UINT16_MAX)) {
        PrintLine(
            "Failed to process dump cryptokeys command. Connection ID should be a numeric "
            "value between 0 to 65535");
    } else {
        ctx->params.connectionId = static_cast<uint16_t>(n.value);
        return 0;
    }
    return -1;
}

int SwitchCryptoKeyDumps(const char *text, CmdContext *ctx) {
    ctx->functionId = CIFS_FN_DUMP_CRYPTO_KEYS;
    CString copy = NormalisedCopy(text);
    const std::optional<int32_t> value = copy ? MatchKeyword(kYesNo, copy.get()) : std::nullopt;
    if (!value) {
        Print("Failed to process dump cryptokeys option. Invalid parameter value:\" %s \"\n",
              Quoted(text));
        return -1;
    }
    ctx->params.flagValue = static_cast<uint8_t>(*value);
    return 0;
}

int RunDumpCryptoKeys(CmdContext *ctx) {
    const char *text = gbCifsArg[1].value;
    int result = -1;
    switch (gbCifsArg[1].id) {
        case CIFS_OPT_CONNECTION_ID:
            result = DumpConnectionCryptoKeys(text, ctx);
            break;
        case CIFS_OPT_CRYPTO_KEYS_SWITCH:
            result = SwitchCryptoKeyDumps(text, ctx);
            break;
        default:
            PrintLine("Failed to process dump cryptokeys option. Invalid command entered.");
            break;
    }
    ReleaseArg(1);
    return result;
}

// Multichannel interfaces: entry 1 holds the action, entry 2 (CIFS_OPT_INTERFACE) the interface
// name.
struct InterfaceActionRow {
    int32_t code;  // the action
    uint8_t functionId;
    const char *missingInterface;
    const char *invalidInterface;  // %s: the caller's text
};

constexpr InterfaceActionRow kInterfaceActions[] = {
    {CIFS_ACT_ADD, CIFS_FN_INTERFACE_ADD,
     "Failed to add multi channel interface, invalid parameter",
     "Failed to add multi channel interface, invalid parameter value:\" %s \"\n"},
    {CIFS_ACT_REMOVE, CIFS_FN_INTERFACE_REMOVE,
     "Failed to remove multi channel interface, invalid parameter",
     "Failed to remove multi channel interface, invalid parameter value:\" %s \"\n"},
};

int RunInterfaceAction(const InterfaceActionRow &row, CmdContext *ctx) {
    ctx->functionId = row.functionId;
    if (gbCifsArg[2].id != CIFS_OPT_INTERFACE) {
        PrintLine(row.missingInterface);
        return -1;
    }
    const char *name = gbCifsArg[2].value;
    char(&field)[sizeof ctx->params.interfaceName] = ctx->params.interfaceName;
    if (name) CopyField(field, sizeof field, name);
    const bool valid = field[0] != '\0';
    if (!valid) Print(row.invalidInterface, Quoted(name));
    ReleaseArg(2);
    return valid ? 0 : -1;
}

int RunMultichannelInterface(CmdContext *ctx) {
    const int32_t action = gbCifsArg[1].id;
    if (const InterfaceActionRow *row = FindRow<InterfaceActionRow>(kInterfaceActions, action))
        return RunInterfaceAction(*row, ctx);
    if (action == CIFS_ACT_LIST) {
        ctx->functionId = CIFS_FN_INTERFACE_LIST;
        ReleaseArg(2);
        return 0;
    }
    PrintLine(
        "Failed to process multi channnel interface option. Invalid command entered, check the "
        "usage");
    return -1;
}

}  // namespace

std::optional<int> RunNameCommand(int32_t code, CmdContext *ctx) noexcept {
    if (const AddRemoveRow *row = FindRow<AddRemoveRow>(kAddRemove, code))
        return RunAddRemove(*row, ctx);
    switch (code) {
        case CMD_SHARE_VOLUMES_BY_DEFAULT:
            return RunShareVolumesByDefault(ctx);
        case CMD_USER_QUOTA_SYNC:
            return RunUserQuotaSync(ctx);
        case CMD_DNS_SUFFIX:
            return RunDnsSuffix(ctx);
        case CMD_USER_QUOTA_VIEW:
            return RunUserQuotaView(ctx);
        case CMD_DUMP_CRYPTO_KEYS:
            return RunDumpCryptoKeys(ctx);
        case CMD_MULTICHANNEL_INTERFACE:
            return RunMultichannelInterface(ctx);
        default:
            return std::nullopt;
    }
}

}  // namespace share::command
