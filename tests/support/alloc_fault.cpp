// SPDX-License-Identifier: Apache-2.0
#include "tests/support/alloc_fault.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

using MallocFn = void *(*)(size_t);
using CallocFn = void *(*)(size_t, size_t);
using ReallocFn = void *(*)(void *, size_t);

MallocFn next_malloc;
CallocFn next_calloc;
ReallocFn next_realloc;

// dlsym may allocate before the pointers are known; serve those few bytes from here.
alignas(16) unsigned char bootstrap[4096];
size_t bootstrap_used;
bool resolving;

void *BootstrapAlloc(size_t n) {
    n = (n + 15) & ~size_t{15};
    if (bootstrap_used + n > sizeof bootstrap) return nullptr;
    void *p = bootstrap + bootstrap_used;
    bootstrap_used += n;
    return p;
}

void Resolve() {
    if (next_malloc != nullptr || resolving) return;
    resolving = true;
    next_calloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
    next_malloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
    next_realloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
    resolving = false;
}

thread_local long t_fail_at = -1;
thread_local long t_count = 0;
thread_local bool t_triggered = false;

// True when this allocation must fail.
bool Fault() {
    if (t_fail_at < 0) return false;
    long n = t_count++;
    if (n != t_fail_at) return false;
    t_triggered = true;
    errno = ENOMEM;
    return true;
}

}  // namespace

extern "C" {

void *malloc(size_t n) {
    Resolve();
    if (next_malloc == nullptr) return BootstrapAlloc(n);
    return Fault() ? nullptr : next_malloc(n);
}

void *calloc(size_t count, size_t size) {
    Resolve();
    if (next_calloc == nullptr) return BootstrapAlloc(count * size);  // zeroed static storage
    return Fault() ? nullptr : next_calloc(count, size);
}

void *realloc(void *p, size_t n) {
    Resolve();
    return Fault() ? nullptr : next_realloc(p, n);
}

char *strdup(const char *s) {
    size_t n = std::strlen(s) + 1;
    auto *p = static_cast<char *>(malloc(n));
    if (p != nullptr) std::memcpy(p, s, n);
    return p;
}

char *strndup(const char *s, size_t max) {
    size_t n = strnlen(s, max);
    auto *p = static_cast<char *>(malloc(n + 1));
    if (p != nullptr) {
        std::memcpy(p, s, n);
        p[n] = '\0';
    }
    return p;
}

}  // extern "C"

namespace share::test {

AllocFaultScope::AllocFaultScope(long fail_at) {
    t_count = 0;
    t_triggered = false;
    t_fail_at = fail_at;
}

AllocFaultScope::~AllocFaultScope() {
    Disarm();
}

bool AllocFaultScope::Triggered() const {
    return t_triggered;
}
long AllocFaultScope::Count() const {
    return t_count;
}
void AllocFaultScope::Disarm() {
    t_fail_at = -1;
}

}  // namespace share::test
