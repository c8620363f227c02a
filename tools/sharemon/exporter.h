// SPDX-License-Identifier: Apache-2.0
// sharemon's exporter subcommands, `metrics` and `serve`, registered on its command line.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "output/reporter.h"

namespace share::sharemon {

// Adds the subcommands to app; the parsed one sets run.
void RegisterExporter(CLI::App &app, std::function<int(const tools::Reporter &)> &run);

}  // namespace share::sharemon
