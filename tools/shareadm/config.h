// SPDX-License-Identifier: Apache-2.0
// shareadm config export / diff / apply: the command line over the client layer's
// configuration engine (client/config/), printed through the plan view.
#pragma once

#include <string>

#include "client/config/config.h"
#include "output/reporter.h"

namespace share::shareadm::config {

using client::Json;

// config diff's status when something differs.
inline constexpr int kExitDifferent = 4;

// config apply of file: checked, planned, converged, reported. Returns the exit status.
int RunApply(const tools::Reporter &out, const std::string &file, bool dryRun, bool prune,
             bool force);

}  // namespace share::shareadm::config
