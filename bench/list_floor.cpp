// SPDX-License-Identifier: Apache-2.0
// The floor of the tool listing benchmarks: a process that makes only the library call that
// `shareadm connections list` makes and frees its result.
//
// With --run PROGRAM ARGS... it is instead the launcher of one measured run: Linux counts the
// resident memory a child inherits at fork (vfork and posix_spawn included) in its ru_maxrss
// after exec, so a child of the benchmark, which holds the server's answers, would report them
// too. Started fresh, this process is small: it runs PROGRAM with standard output to /dev/null
// and prints "<ru_maxrss KiB> <wall nanoseconds>".
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "shareadmin.h"

namespace {

long long Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

int Launch(char **argv) {
    const long long start = Now();
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, STDOUT_FILENO) < 0) _exit(126);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return 1;
    const long long wall = Now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    std::printf("%ld %lld\n", usage.ru_maxrss, wall);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 2 && std::strcmp(argv[1], "--run") == 0) return Launch(argv + 2);
    ConnectionList *list = nullptr;
    if (CIFSLIB_GetConnectionsList(&list) != 0 || list == nullptr) return 1;
    const bool any = list->count > 0;
    std::free(list->records);
    std::free(list);
    return any ? 0 : 1;
}
