// SPDX-License-Identifier: Apache-2.0
#include "admin/command/server_options.h"

#include <strings.h>

#include <cstring>

#include "admin/command/command_util.h"
#include "admin/command/server_option_family.h"

namespace share::command {

int ProcessServerOptionCommand(CmdContext *ctx) noexcept {
    const int32_t code = gbCifsArg[0].id;
    for (auto run : {RunSwitchCommand, RunNameCommand, RunNumberCommand})
        if (std::optional<int> result = run(code, ctx)) return *result;
    // Only reachable when the dispatcher routes a code that is not an option command.
    PrintLine("Failed to validate and process command");
    return -1;
}

void Emit(const Message &msg, const char *quoted, int first, int second) noexcept {
    if (msg.text == nullptr) return;
    switch (msg.channel) {
        case Channel::kLine:
            PrintLine(msg.text);
            break;
        case Channel::kPrint:
            Print(msg.text, quoted, first, second);
            break;
        case Channel::kLog:
            SHARE_LOG_CLI_ERROR(msg.text, quoted, first, second);
            break;
    }
}

std::optional<int32_t> MatchKeyword(std::span<const Keyword> keywords, const char *text,
                                    bool ignoreCase) noexcept {
    for (const Keyword &k : keywords)
        if ((ignoreCase ? strcasecmp(text, k.word) : std::strcmp(text, k.word)) == 0)
            return k.value;
    return std::nullopt;
}

}  // namespace share::command
