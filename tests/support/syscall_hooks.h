// SPDX-License-Identifier: Apache-2.0
// System-call interposition for the test binaries. The binaries define socket, fcntl, connect,
// poll, read, write and send themselves (syscall_hooks.cpp); each forwards to the next definition
// (libc or a sanitizer) unless the calling thread has installed a hook for it. Hooks are per
// thread, so a FakeServer thread is never affected by the hooks of the thread under test.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <functional>

namespace share::test {

struct SyscallHooks {
    std::function<int(int domain, int type, int protocol)> socket;
    std::function<int(int fd, int cmd, long arg)> fcntl;
    std::function<int(pollfd *fds, nfds_t n, int timeout)> poll;
    std::function<ssize_t(int fd, void *buf, size_t n)> read;
    std::function<ssize_t(int fd, const void *buf, size_t n)> write;
    std::function<ssize_t(int fd, const void *buf, size_t n, int flags)> send;
};

// Installs the hooks on this thread for its lifetime (empty members forward as usual).
class HookScope {
  public:
    explicit HookScope(SyscallHooks hooks);
    ~HookScope();
    HookScope(const HookScope &) = delete;
    HookScope &operator=(const HookScope &) = delete;

  private:
    SyscallHooks hooks_;
    const SyscallHooks *previous_;
};

// The functions the interposers forward to, for hooks that pass calls through.
namespace real {
int socket(int domain, int type, int protocol);
int fcntl(int fd, int cmd, long arg);
int poll(pollfd *fds, nfds_t n, int timeout);
ssize_t read(int fd, void *buf, size_t n);
ssize_t write(int fd, const void *buf, size_t n);
ssize_t send(int fd, const void *buf, size_t n, int flags);
}  // namespace real

}  // namespace share::test
