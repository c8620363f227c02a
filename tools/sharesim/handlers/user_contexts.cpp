// SPDX-License-Identifier: Apache-2.0
// User contexts: the list, additions and removals.
#include <algorithm>
#include <string>
#include <vector>

#include "common/server_formats.h"
#include "sharesim/handlers/common.h"
#include "sharesim/rules.h"

namespace share::sim::handlers {

using namespace share::tools;  // NOLINT: status codes and server formats

int32_t UserContextList(Context &ctx, const Request &req, Response &out) {
    if (!req.elements.empty()) return kMalformedRequest;
    std::vector<uint8_t> data;
    for (const auto &c : ctx.state.userContexts) Append(data, c.c_str(), c.size() + 1);
    const uint32_t head[2] = {static_cast<uint32_t>(ctx.state.userContexts.size()),
                              static_cast<uint32_t>(data.size())};
    out.Add(CIFS_ELEM_USER_CONTEXTS, HeadThen(head, data));
    return kOk;
}

int32_t UserContextChange(Context &ctx, const Request &req, Response &) {
    const auto text = OnlyText(req, CIFS_ELEM_USER_CONTEXTS, 512);
    if (const int32_t s = CheckName(text, 511)) return s;
    return ChangeNameTable(
        ctx.state.userContexts, [&](const std::string &c) { return IEquals(c, *text); },
        req.function == CIFS_FN_USER_CONTEXT_ADD, *text);
}

}  // namespace share::sim::handlers
