// SPDX-License-Identifier: Apache-2.0
// Showing one of sharemon's views once, or again every few seconds until interrupted.
#pragma once

#include <functional>
#include <string>

#include "output/reporter.h"

namespace share::sharemon {

// What one refresh shows: the exit status, and on success the document and the text.
struct View {
    int status = 0;
    tools::Json doc;
    std::string text;
};

// Shows the view once (watchSeconds 0), or every watchSeconds until SIGINT or SIGTERM; the exit
// status is then that of the last refresh. On a terminal each refresh redraws the screen;
// elsewhere refreshes follow each other, each after a timestamp line (a blank line between),
// and under --json each is one line of JSON Lines.
int Show(const tools::Reporter &out, const std::function<View()> &view, unsigned watchSeconds);

}  // namespace share::sharemon
