// SPDX-License-Identifier: Apache-2.0
// sharemon's close-file, close-volume and close-connection commands.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "output/reporter.h"

namespace share::sharemon {

// Adds the three close commands to app; the parsed one sets run.
void RegisterClose(CLI::App &app, std::function<int(const tools::Reporter &)> &run);

}  // namespace share::sharemon
