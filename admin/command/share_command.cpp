// SPDX-License-Identifier: Apache-2.0
// The share object (CMD_SHARE): list, add, modify, remove, and the four share switches.
//
//   entry 1 := action code [YES/NO word for the switch actions]
//   entry 2.. := option code, value      (until CIFS_ARG_END or the block's end)
#include <strings.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "admin/command/command_util.h"
#include "shareadmin/command.h"

namespace share::command {
namespace {

constexpr size_t kParams = offsetof(CmdContext, params);
constexpr size_t Share(size_t fieldOffset) {
    return kParams + fieldOffset;
}

constexpr const char kAddUsage[] = "Failed to add share. Invalid command entered, check the usage";

// Trailing spaces go; a name made only of periods is refused.
bool NormaliseName(char *field) noexcept {
    stripSpaces(field);
    return stringHasOnlyPeriods(field) == 0;
}

// ---- add and modify ----

enum class OptionKind : uint8_t { kText, kNumber, kYesNo };

struct ShareOption {
    int32_t code;
    OptionKind kind;
    size_t offset;     // field within the context
    size_t size;       // text: field size; yes/no: field width
    size_t maxLength;  // text: longest value accepted; 0: cut to the field
    bool normalise;    // text: trailing spaces removed, periods only refused
    uint32_t modifyBit;
    const char *tooLong;  // printed with the verb (and the limit when limitInMessage)
    bool limitInMessage;
    const char *invalid;  // text: printed with the verb; yes/no: logged with verb and value
};

constexpr ShareOption kShareOptions[] = {
    {CIFS_OPT_NAME, OptionKind::kText, Share(offsetof(ShareParams, shareName)), 81, 80, true, 0,
     "Failed to %s share as name exceeds 80 characters long\n", false,
     "Failed to %s share as invalid share name entered\n"},
    {CIFS_OPT_NEW_NAME, OptionKind::kText, Share(offsetof(ShareParams, newShareName)), 81, 80, true,
     CIFS_MODIFY_NEW_NAME, "Failed to %s share as new name exceeds 80 characters long\n", false,
     "Failed to %s share as invalid new share name entered\n"},
    {CIFS_OPT_COMMENT, OptionKind::kText, Share(offsetof(ShareParams, comment)), 48, 47, true,
     CIFS_MODIFY_COMMENT, "Failed to %s share as comment exceed 47 characters\n", false,
     "Failed to %s share as invalid share comment entered\n"},
    {CIFS_OPT_PATH, OptionKind::kText, Share(offsetof(ShareParams, sharePath)), 512, 511, false,
     CIFS_MODIFY_PATH, "Failed to %s share as path name exceeds %d characters\n", true, nullptr},
    {CIFS_OPT_SERVER, OptionKind::kText, offsetof(CmdContext, serverDn), CIFS_SERVER_DN_SIZE, 0,
     false, 0, nullptr, false, nullptr},
    {CIFS_OPT_NUMBER, OptionKind::kNumber, Share(offsetof(ShareParams, numericOption)), 4, 0, false,
     0, nullptr, false, nullptr},
    {CIFS_OPT_ENCRYPT_DATA, OptionKind::kYesNo, Share(offsetof(ShareParams, encryptData)), 4, 0,
     false, CIFS_MODIFY_ENCRYPT_DATA, nullptr, false,
     "Failed to %s share as invalid encrypt-data option provided: \"%s\""},
    {CIFS_OPT_FOLDER_REDIRECTION, OptionKind::kYesNo,
     Share(offsetof(ShareParams, folderRedirection)), 4, 0, false, CIFS_MODIFY_FOLDER_REDIRECTION,
     nullptr, false, "Failed to %s share as invalid folder-redirection option provided: \"%s\""},
    {CIFS_OPT_ATM_BACKUP, OptionKind::kYesNo, Share(offsetof(ShareParams, atmBackup)), 1, 0, false,
     CIFS_MODIFY_ATM_BACKUP, nullptr, false,
     "Failed to %s share as invalid atm-backup option provided: \"%s\""},
};

const ShareOption *FindShareOption(int32_t code) noexcept {
    for (const ShareOption &opt : kShareOptions)
        if (opt.code == code) return &opt;
    return nullptr;
}

bool ApplyText(CmdContext *ctx, const ShareOption &opt, int index, const char *verb) noexcept {
    const char *value = ArgValue(index);
    if (value == nullptr) {
        if (opt.invalid != nullptr)
            Print(opt.invalid, verb);
        else
            PrintLine(kAddUsage);
        return false;
    }
    if (opt.maxLength != 0 && std::strlen(value) > opt.maxLength) {
        if (opt.limitInMessage)
            Print(opt.tooLong, verb, static_cast<int>(opt.maxLength));
        else
            Print(opt.tooLong, verb);
        ReleaseArg(index);
        return false;
    }
    char *field = FieldAt(ctx, opt.offset);
    CopyField(field, opt.size, value);
    if (opt.normalise && !NormaliseName(field)) {
        Print(opt.invalid, verb);
        ReleaseArg(index);
        return false;
    }
    ReleaseArg(index);
    return true;
}

// No error for a text that is not a number; the value string stays the caller's.
bool ApplyNumber(CmdContext *ctx, const ShareOption &opt, int index) noexcept {
    const char *value = ArgValue(index);
    if (value == nullptr) {
        PrintLine(kAddUsage);
        return false;
    }
    long n = ParseNumber(value).value;
    if (n > INT32_MAX) n = INT32_MAX;
    if (n < INT32_MIN) n = INT32_MIN;
    StoreInt(ctx, opt.offset, opt.size, static_cast<int32_t>(n));
    return true;
}

// yes or no in any letter case, as supplied (no space removal).
bool ApplyYesNo(CmdContext *ctx, const ShareOption &opt, int index, const char *verb) noexcept {
    const char *value = ArgValue(index);
    int32_t on;
    if (value != nullptr && strcasecmp(value, "yes") == 0) {
        on = 1;
    } else if (value != nullptr && strcasecmp(value, "no") == 0) {
        on = 0;
    } else {
        SHARE_LOG_CLI_ERROR(opt.invalid, verb, value != nullptr ? value : "");
        ReleaseArg(index);
        return false;
    }
    StoreInt(ctx, opt.offset, opt.size, on);
    ReleaseArg(index);
    return true;
}

int AddOrModify(CmdContext *ctx, bool modify) noexcept {
    const char *verb = modify ? "modify/update" : "add";
    ctx->functionId = modify ? CIFS_FN_SHARE_MODIFY : CIFS_FN_SHARE_ADD;
    uint32_t mask = 0;
    for (int i = 2; ArgCode(i) != CIFS_ARG_END; ++i) {
        const ShareOption *opt = FindShareOption(ArgCode(i));
        if (opt == nullptr) {
            PrintLine(kAddUsage);
            return -1;
        }
        bool ok = false;
        switch (opt->kind) {
            case OptionKind::kText:
                ok = ApplyText(ctx, *opt, i, verb);
                break;
            case OptionKind::kNumber:
                ok = ApplyNumber(ctx, *opt, i);
                break;
            case OptionKind::kYesNo:
                ok = ApplyYesNo(ctx, *opt, i, verb);
                break;
        }
        if (!ok) return -1;
        mask |= opt->modifyBit;
        if (modify)
            StoreInt(ctx, Share(offsetof(ShareParams, modifyMask)), 4, static_cast<int32_t>(mask));
    }
    return 0;
}

// ---- list and remove ----

int List(CmdContext *ctx) noexcept {
    if (ArgCode(2) != CIFS_OPT_NAME) {
        ctx->functionId = CIFS_FN_SHARE_NAMES;
        return 0;
    }
    ctx->functionId = CIFS_FN_SHARE_DETAILS;
    constexpr const char kInvalid[] = "Failed to list share details. Invalid share name entered";
    const char *value = ArgValue(2);
    if (value == nullptr) {
        PrintLine(kInvalid);
        return -1;
    }
    char *name = ctx->params.share.shareName;
    CopyField(name, sizeof ctx->params.share.shareName, value);
    const bool ok = NormaliseName(name);
    if (!ok) PrintLine(kInvalid);
    ReleaseArg(2);
    return ok ? 0 : -1;
}

int Remove(CmdContext *ctx) noexcept {
    constexpr const char kInvalidName[] = "Failed to remove share. Invalid share name entered";
    constexpr const char kUsage[] =
        "Failed to remove share. Invalid command entered, check the usage";
    for (int i = 2; ArgCode(i) != CIFS_ARG_END; ++i) {
        const char *value = ArgValue(i);
        if (ArgCode(i) == CIFS_OPT_NAME) {
            ctx->functionId = CIFS_FN_SHARE_REMOVE;
            char *name = ctx->params.share.shareName;
            // A name that does not fit its field is refused rather than cut: removing a
            // different share than the one named must not happen.
            bool ok = value != nullptr && std::strlen(value) < sizeof ctx->params.share.shareName;
            if (ok) {
                CopyField(name, sizeof ctx->params.share.shareName, value);
                ok = NormaliseName(name);
            }
            if (!ok) Print("%s", kInvalidName);
            ReleaseArg(i);
            if (!ok) return -1;
        } else if (ArgCode(i) == CIFS_OPT_SERVER && value != nullptr) {
            CopyField(ctx->serverDn, sizeof ctx->serverDn, value);
            ReleaseArg(i);
        } else {
            PrintLine(kUsage);
            return -1;
        }
    }
    return 0;
}

// ---- the switch actions: entry 1 carries YES or NO, entry 2 the share name ----

struct SwitchAction {
    int32_t action;
    uint8_t functionId;
    size_t offset;  // field that receives 1 or 0
    size_t width;
    size_t alsoOffset;         // a second 32-bit field that receives the same value, or 0
    const char *invalidValue;  // logged with entry 1's value
    const char *badName;       // logged
    const char *usage;         // logged
};

constexpr SwitchAction kSwitchActions[] = {
    {CIFS_ACT_ENCRYPTION, CIFS_FN_SHARE_ENCRYPTION, Share(offsetof(ShareParams, encryptData)), 4, 0,
     "Failed to process encryptiion status option. Invalid parameter value: \" %s\"",
     "Failed to change encryption status for share. Invalid share name entered",
     "Failed to change encryption status. Invalid command entered, check the usage"},
    {CIFS_ACT_FOLDER_REDIRECTION, CIFS_FN_SHARE_FOLDER_REDIRECTION,
     Share(offsetof(ShareParams, folderRedirection)), 4, Share(offsetof(ShareParams, volumeType)),
     "Failed to process folder redirection option. Invalid parameter value: \" %s \"",
     "Failed to change redirection status for share. Invalid share name entered",
     "Failed to change redirection status. Invalid command entered, check the usage"},
    {CIFS_ACT_ATM_BACKUP, CIFS_FN_SHARE_ATM_BACKUP, Share(offsetof(ShareParams, atmBackup)), 1, 0,
     "Failed to process ATM backup option. Invalid parameter value: \"%s\"",
     "Failed to change ATM backup status for share. Invalid share name entered",
     "Failed to change ATM backup status for share. Invalid command entered, check the usage"},
    {CIFS_ACT_MFA, CIFS_FN_SHARE_MFA, Share(offsetof(ShareParams, mfaShareLevel)), 1, 0,
     "Failed to process MFA share level option. Invalid parameter value: \"%s\"",
     "Failed to change MFA status for share. Invalid share name entered",
     "Failed to change MFA status for share. Invalid command entered, check the usage"},
};

int RunSwitch(CmdContext *ctx, const SwitchAction &a) noexcept {
    ctx->functionId = a.functionId;
    const char *value = ArgValue(1);
    const CString word = NormalisedCopy(value);
    int32_t on = -1;
    if (word && stringHasOnlyPeriods(word.get()) == 0) {
        if (std::strcmp(word.get(), "YES") == 0) on = 1;
        if (std::strcmp(word.get(), "NO") == 0) on = 0;
    }
    if (on < 0) {
        SHARE_LOG_CLI_ERROR(a.invalidValue, value != nullptr ? value : "");
        ReleaseArg(1);
        return -1;
    }
    StoreInt(ctx, a.offset, a.width, on);
    if (a.alsoOffset != 0) StoreInt(ctx, a.alsoOffset, 4, on);
    ReleaseArg(1);

    if (ArgCode(2) != CIFS_OPT_NAME) {
        SHARE_LOG_CLI_ERROR("%s", a.usage);
        return -1;
    }
    const char *name = ArgValue(2);
    bool ok = name != nullptr;
    if (ok) {
        CopyField(ctx->params.share.shareName, sizeof ctx->params.share.shareName, name);
        ok = NormaliseName(ctx->params.share.shareName);
    }
    if (!ok) SHARE_LOG_CLI_ERROR("%s", a.badName);
    ReleaseArg(2);
    return ok ? 0 : -1;
}

}  // namespace
}  // namespace share::command

using namespace share::command;

extern "C" SHARE_API int ProcessShareCommandData(CmdContext *ctx) noexcept {
    if (ctx == nullptr) return -1;
    const int32_t action = ArgCode(1);
    switch (action) {
        case CIFS_ACT_LIST:
            return List(ctx);
        case CIFS_ACT_ADD:
            return AddOrModify(ctx, false);
        case CIFS_ACT_MODIFY:
            return AddOrModify(ctx, true);
        case CIFS_ACT_REMOVE:
            return Remove(ctx);
        default:
            break;
    }
    for (const SwitchAction &a : kSwitchActions)
        if (a.action == action) return RunSwitch(ctx, a);
    SHARE_LOG_CLI_ERROR(
        "Failed to process share request. Invalid command entered, check the usage");
    return -1;
}
