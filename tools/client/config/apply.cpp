// SPDX-License-Identifier: Apache-2.0
// The commands that make a plan's changes, and making them in order until one is refused.
#include "client/config/config.h"

namespace share::client::config {
std::vector<Arg> TimeoutArgs(const Json &minutes) {
    return {{CMD_INVALID_USER_CACHE, {}}, {CIFS_ACT_TIMEOUT, ValueText(minutes)}};
}

std::vector<Arg> InvalidUserArgs(int32_t action, const std::string &name) {
    return {{CMD_INVALID_USER_CACHE, {}}, {action, {}}, {CIFS_OPT_NAME, name}};
}

std::vector<Arg> UserContextArgs(int32_t action, const std::string &context) {
    return {{CMD_USER_CONTEXTS, {}}, {action, context}};
}

ApplyResult Apply(const Plan &plan) {
    ApplyResult result;
    for (; result.applied < plan.actions.size(); ++result.applied)
        for (const Command &command : plan.actions[result.applied].commands) {
            Reply reply;
            Outcome o = Execute(command.args, &reply);
            if (o.done()) continue;
            result.refused = Refusal{result.applied, command.name, std::move(o)};
            return result;
        }
    return result;
}

}  // namespace share::client::config
