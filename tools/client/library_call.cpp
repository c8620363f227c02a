// SPDX-License-Identifier: Apache-2.0
#include "client/library_call.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

namespace share::client {
namespace {

WaitObserver g_observer;

}  // namespace

void SetWaitObserver(WaitObserver observer) {
    g_observer = observer;
}

ServerWait::ServerWait() {
    active_ = g_observer.begin != nullptr && g_observer.begin();
}

void ServerWait::End() {
    if (!active_) return;
    active_ = false;
    g_observer.end();
}

ServerWait::~ServerWait() {
    End();
}

OutcomeLock::OutcomeLock() {
    if (g_observer.hold == nullptr) return;
    g_observer.hold();
    release_ = g_observer.release;
}

OutcomeLock::~OutcomeLock() {
    if (release_) release_();
}

LibraryOutput::LibraryOutput() {
    std::fflush(stdout);
    saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ < 0) return;
    // In memory: a temporary file could be unwritable, full, or another user's.
    file_ = memfd_create("library-messages", MFD_CLOEXEC);
    if (dup2(file_ >= 0 ? file_ : STDERR_FILENO, STDOUT_FILENO) < 0) {
        if (file_ >= 0) close(file_);
        file_ = -1;
        close(saved_);
        saved_ = -1;
    }
}

std::string LibraryOutput::Finish() {
    wait_.End();
    if (saved_ < 0) return text_;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    if (file_ < 0) return text_;
    char buf[4096];
    ssize_t n;
    for (off_t at = 0; (n = pread(file_, buf, sizeof buf, at)) > 0; at += n)
        text_.append(buf, static_cast<size_t>(n));
    close(file_);
    file_ = -1;
    while (!text_.empty() && (text_.back() == '\n' || text_.back() == ' ')) text_.pop_back();
    return text_;
}

LibraryOutput::~LibraryOutput() {
    Finish();
}

}  // namespace share::client
