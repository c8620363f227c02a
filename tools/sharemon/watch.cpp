// SPDX-License-Identifier: Apache-2.0
#include "sharemon/watch.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli/runtime.h"

namespace share::sharemon {
namespace {

View Refresh(const std::function<View()> &view) {
    tools::ServerWait wait;
    return view();
}

// The text of one refresh: on a terminal the screen is redrawn, elsewhere a timestamp line
// heads it (no control sequences in files and pipes).
void PrintText(const View &v, unsigned seconds, bool first) {
    const int64_t now = static_cast<int64_t>(time(nullptr));
    if (isatty(STDOUT_FILENO))
        std::printf("\033[H\033[2Jsharemon - every %us - %s (Ctrl-C to stop)\n\n", seconds,
                    tools::FormatTime(now).c_str());
    else
        std::printf("%s%s\n", first ? "" : "\n", tools::FormatRfc3339(now).c_str());
    std::fputs(v.text.c_str(), stdout);
}

}  // namespace

int Show(const tools::Reporter &out, const std::function<View()> &view, unsigned watchSeconds) {
    if (watchSeconds == 0) {
        const View v = Refresh(view);
        return v.status != 0 ? v.status : out.Success(v.doc, v.text);
    }
    tools::CatchStopSignals();
    int status = tools::kExitUnreachable;  // interrupted before the server first answered
    tools::SetStatusOnStop(status);
    for (bool printed = false; !tools::StopRequested();) {
        const View v = Refresh(view);
        status = v.status;
        tools::SetStatusOnStop(status);
        if (v.status == 0) {
            if (out.json())
                std::fputs(out.Document(v.doc).c_str(), stdout);
            else
                PrintText(v, watchSeconds, !printed);
            printed = true;
        }
        std::fflush(stdout);
        timespec rest{static_cast<time_t>(watchSeconds), 0};
        while (!tools::StopRequested() && nanosleep(&rest, &rest) != 0 && errno == EINTR) {
        }
    }
    return status;
}

}  // namespace share::sharemon
