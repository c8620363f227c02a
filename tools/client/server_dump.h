// SPDX-License-Identifier: Apache-2.0
// The server's configuration dump (function 4) decoded into one JSON object: "options" (every
// stored option by name, a keyword where one stands for the value), "caches",
// "invalid_user_timeout", "virtual_servers", "dns_entries", "share_volumes_by_default",
// "multichannel_interfaces", "dfs_referral_cache", and the last quota and statistics requests
// when there were any. `option show` prints it; `config export` reads the settings from it.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "client/pipeline.h"
#include "common/server_formats.h"

namespace share::tools {

using Json = nlohmann::ordered_json;
using client::ReplyElement;

// One stored option's value from its dump element: a keyword where one stands for it.
Json OptionValueJson(const StoredOption &row, const std::vector<uint8_t> &payload);

Json ServerDumpJson(const std::vector<ReplyElement> &elements);

}  // namespace share::tools
