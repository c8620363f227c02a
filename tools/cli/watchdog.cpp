// SPDX-License-Identifier: Apache-2.0
// The watchdog: the libraries wait for the server's answer without a limit of their own, and
// their exchange cannot be interrupted, so a thread watches each wait and, past the time-out,
// reports it and ends the process. The report is prepared when the wait begins; the thread
// only writes it and exits, holding the lock that every other outcome is printed under.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/runtime.h"
#include "client/library_call.h"

namespace share::tools {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kNoticeAfter = 2s;
constexpr auto kStopPoll = 100ms;

struct Watchdog {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Reporter> out;  // set once started
    Clock::duration limit{};
    std::string notice;
    int realStdout = -1;  // standard output may be redirected to a capture while waiting
    int depth = 0;
    bool answered = false;  // the current wait's outcome is being printed
    bool noticed = false;
    Clock::time_point since;
    Reporter::ErrorText report;  // the time-out of the current wait
    std::string action;
    bool changes = false;
    double seconds = 0;
};

// Never destroyed: the thread may still wait on it while the process exits.
Watchdog &Dog() {
    static Watchdog *dog = new Watchdog;
    return *dog;
}

volatile sig_atomic_t g_stop = 0;
std::atomic<int> g_statusOnStop{kExitOk};

void OnStop(int) {
    g_stop = 1;
}

void WriteAll(int fd, const std::string &text) {
    for (size_t at = 0; at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n <= 0) return;
        at += static_cast<size_t>(n);
    }
}

std::string SecondsText(double seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g second%s", seconds, seconds == 1 ? "" : "s");
    return buf;
}

std::string TimeoutMessage(double seconds, bool changes) {
    std::string message = "the file server did not answer within " + SecondsText(seconds);
    if (changes) message += "; the change may or may not have been applied";
    return message;
}

Reporter::ErrorText Report(const Watchdog &d, double seconds) {
    return d.out->RenderError("timeout", d.action, TimeoutMessage(seconds, d.changes),
                              kExitUnreachable, Json{{"timeout_seconds", seconds}});
}

[[noreturn]] void Fire(const Watchdog &d, const Reporter::ErrorText &report) {
    WriteAll(STDERR_FILENO, report.text);
    if (!report.document.empty()) WriteAll(d.realStdout, report.document);
    _exit(kExitUnreachable);
}

// Called as a wait ends or its outcome is about to be printed. The deadline passed just as the
// call returned, or the library gave up waiting on its own (its failure would otherwise read as
// a rejection): either way, no answer in time.
void FireIfLate(const Watchdog &d) {
    if (d.answered) return;
    const Clock::duration waited = Clock::now() - d.since;
    if (waited >= d.limit) Fire(d, d.report);
    if (waited >= std::chrono::duration<double>(kDefaultTimeoutSeconds))
        Fire(d, Report(d, kDefaultTimeoutSeconds));
}

[[noreturn]] void Watch() {
    Watchdog &d = Dog();
    std::unique_lock lock(d.mutex);
    for (;;) {
        if (d.depth == 0 || d.answered) {
            d.changed.wait(lock);
            continue;
        }
        if (g_stop) _exit(g_statusOnStop.load());
        const Clock::time_point now = Clock::now();
        if (now - d.since >= d.limit) Fire(d, d.report);
        if (!d.noticed && now - d.since >= kNoticeAfter) {
            d.noticed = true;
            if (d.limit > kNoticeAfter && isatty(STDERR_FILENO)) WriteAll(STDERR_FILENO, d.notice);
        }
        Clock::time_point wake = std::min(d.since + d.limit, now + kStopPoll);
        if (!d.noticed) wake = std::min(wake, d.since + kNoticeAfter);
        d.changed.wait_until(lock, wake);
    }
}

bool BeginWait();
void EndWait();
void HoldOutcome();
void ReleaseOutcome();

}  // namespace

void StartWatchdog(const Reporter &out, double seconds, const std::string &action, bool changes) {
    Watchdog &d = Dog();
    {
        std::lock_guard lock(d.mutex);
        if (d.out) return;
        d.out = out;
        d.seconds = seconds;
        d.limit =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        d.action = action;
        d.changes = changes;
        d.notice = std::string(out.program()) +
                   ": waiting for the file server to answer (giving up after " +
                   SecondsText(seconds) + ") ...\n";
        d.realStdout = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    }
    client::SetWaitObserver({BeginWait, EndWait, HoldOutcome, ReleaseOutcome});
    // The thread takes no signals: they stay with the main thread's handlers.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    std::thread(Watch).detach();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void SetStatusOnStop(int status) {
    g_statusOnStop = status;
}

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sa.sa_flags = SA_RESTART;  // a wait for the server goes on; the watchdog ends it
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool StopRequested() {
    return g_stop != 0;
}

namespace {

bool BeginWait() {
    Watchdog &d = Dog();
    std::lock_guard lock(d.mutex);
    if (!d.out) return false;
    if (d.depth++ > 0) return true;
    d.since = Clock::now();
    d.answered = false;
    d.noticed = false;
    d.report = Report(d, d.seconds);
    d.changed.notify_all();
    return true;
}

void EndWait() {
    Watchdog &d = Dog();
    std::lock_guard lock(d.mutex);
    if (--d.depth == 0) FireIfLate(d);
}

void HoldOutcome() {
    Watchdog &d = Dog();
    d.mutex.lock();
    if (d.out && d.depth > 0) FireIfLate(d);
    d.answered = true;
}

void ReleaseOutcome() {
    Dog().mutex.unlock();
}

}  // namespace

}  // namespace share::tools
