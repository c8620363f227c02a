// SPDX-License-Identifier: Apache-2.0
#include "tests/support/syscall_hooks.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <cstdarg>

namespace share::test {
namespace {

thread_local const SyscallHooks *t_hooks = nullptr;

template <class Fn>
Fn Next(Fn &cache, const char *name) {
    if (cache == nullptr) cache = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
    return cache;
}

using SocketFn = int (*)(int, int, int);
using FcntlFn = int (*)(int, int, ...);
using PollFn = int (*)(pollfd *, nfds_t, int);
using ReadFn = ssize_t (*)(int, void *, size_t);
using WriteFn = ssize_t (*)(int, const void *, size_t);
using SendFn = ssize_t (*)(int, const void *, size_t, int);

SocketFn next_socket;
FcntlFn next_fcntl;
PollFn next_poll;
ReadFn next_read;
WriteFn next_write;
SendFn next_send;

}  // namespace

HookScope::HookScope(SyscallHooks hooks) : hooks_(std::move(hooks)), previous_(t_hooks) {
    t_hooks = &hooks_;
}

HookScope::~HookScope() {
    t_hooks = previous_;
}

namespace real {
int socket(int domain, int type, int protocol) {
    return Next(next_socket, "socket")(domain, type, protocol);
}
int fcntl(int fd, int cmd, long arg) {
    return Next(next_fcntl, "fcntl")(fd, cmd, arg);
}
int poll(pollfd *fds, nfds_t n, int timeout) {
    return Next(next_poll, "poll")(fds, n, timeout);
}
ssize_t read(int fd, void *buf, size_t n) {
    return Next(next_read, "read")(fd, buf, n);
}
ssize_t write(int fd, const void *buf, size_t n) {
    return Next(next_write, "write")(fd, buf, n);
}
ssize_t send(int fd, const void *buf, size_t n, int flags) {
    return Next(next_send, "send")(fd, buf, n, flags);
}
}  // namespace real

}  // namespace share::test

using share::test::t_hooks;
namespace real = share::test::real;

// Exported, so that calls from the shared libraries under test reach them too (the project
// builds with hidden visibility).
#define SHARE_HOOK __attribute__((visibility("default")))

extern "C" {

SHARE_HOOK int socket(int domain, int type, int protocol) {
    if (t_hooks != nullptr && t_hooks->socket) return t_hooks->socket(domain, type, protocol);
    return real::socket(domain, type, protocol);
}

SHARE_HOOK int fcntl(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    const long arg = va_arg(args, long);  // every command we forward takes at most one word
    va_end(args);
    if (t_hooks != nullptr && t_hooks->fcntl) return t_hooks->fcntl(fd, cmd, arg);
    return real::fcntl(fd, cmd, arg);
}

SHARE_HOOK int poll(pollfd *fds, nfds_t n, int timeout) {
    if (t_hooks != nullptr && t_hooks->poll) return t_hooks->poll(fds, n, timeout);
    return real::poll(fds, n, timeout);
}

SHARE_HOOK ssize_t read(int fd, void *buf, size_t n) {
    if (t_hooks != nullptr && t_hooks->read) return t_hooks->read(fd, buf, n);
    return real::read(fd, buf, n);
}

SHARE_HOOK ssize_t write(int fd, const void *buf, size_t n) {
    if (t_hooks != nullptr && t_hooks->write) return t_hooks->write(fd, buf, n);
    return real::write(fd, buf, n);
}

SHARE_HOOK ssize_t send(int fd, const void *buf, size_t n, int flags) {
    if (t_hooks != nullptr && t_hooks->send) return t_hooks->send(fd, buf, n, flags);
    return real::send(fd, buf, n, flags);
}

}  // extern "C"
