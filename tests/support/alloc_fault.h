// SPDX-License-Identifier: Apache-2.0
// Allocator fault injection. The test binaries define malloc, calloc, realloc, strdup and
// strndup themselves (alloc_fault.cpp); they forward to the next definition (libc or a
// sanitizer) unless a fault is armed on the calling thread.
#pragma once

namespace share::test {

// While alive, the allocation number `fail_at` (0-based, counted on this thread from
// construction) fails; every other one succeeds.
class AllocFaultScope {
  public:
    explicit AllocFaultScope(long fail_at);
    ~AllocFaultScope();
    AllocFaultScope(const AllocFaultScope &) = delete;
    AllocFaultScope &operator=(const AllocFaultScope &) = delete;

    bool Triggered() const;  // the armed allocation was reached (and failed)
    long Count() const;      // allocations seen so far in this scope
    void Disarm();           // stop counting and failing (e.g. before assertions)
};

// Runs `run` once for every allocation it makes, failing that allocation, until a run no longer
// reaches the armed allocation. `run` performs the call under test and its own clean-up; it is
// called with the scope disarmed afterwards. Returns the number of runs that saw a failure.
template <class Fn>
long ForEachAllocationFailure(Fn &&run) {
    for (long i = 0;; ++i) {
        bool hit;
        {
            AllocFaultScope scope(i);
            run(scope);
            hit = scope.Triggered();
        }
        if (!hit) return i;
        if (i > 100000) return i;  // runaway guard
    }
}

}  // namespace share::test
