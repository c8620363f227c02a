// SPDX-License-Identifier: Apache-2.0
// The Prometheus text exposition of a snapshot, through prometheus-cpp's families and text
// serializer.
#pragma once

#include <string>

#include "sharemon/history.h"
#include "sharemon/metrics.h"

namespace share::sharemon {

// durationSeconds is the gather's wall time; history (may be null) adds what the exporter
// remembers across gathers.
std::string Render(const Snapshot &snapshot, double durationSeconds,
                   const GatherOptions &options = {}, const History *history = nullptr);

}  // namespace share::sharemon
