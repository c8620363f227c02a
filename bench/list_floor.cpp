// SPDX-License-Identifier: Apache-2.0
// The floor of the tool listing benchmarks: a process that makes only the library call that
// `shareadm connections list` makes and frees its result.
#include <cstdlib>

#include "shareadmin.h"

int main() {
    ConnectionList *list = nullptr;
    if (CIFSLIB_GetConnectionsList(&list) != 0 || list == nullptr) return 1;
    const bool any = list->count > 0;
    std::free(list->records);
    std::free(list);
    return any ? 0 : 1;
}
