// SPDX-License-Identifier: Apache-2.0
// Every monitoring function, fed a fuzzed answer. The first byte picks the function.
#include <cstdlib>

#include "fuzz/harness.h"
#include "shareadmin/monitor.h"
#include "shareadmin/protocol.h"

namespace {

void Run(uint8_t which) {
    int32_t count = 0;
    switch (which % 7) {
        case 0: {
            ConnListNode *list = nullptr;
            if (Ext_ListConnDetails(&count, &list) == 0) FreeConnListNodes(&list);
            break;
        }
        case 1: {
            UserDetailsNode *node = nullptr;
            if (Ext_GetConnInfo(7, &node) == 0) FreeUserDetailsNode(&node);
            break;
        }
        case 2: {
            VolsDetailsNode *list = nullptr;
            if (Ext_ListVolumeDetails(&count, &list) == 0) FreeVolsDetailsNode(&list);
            break;
        }
        case 3: {
            VolFileListNode *list = nullptr;
            if (Ext_ListVolFileDetails("VOL1", &list, &count) == 0) FreeVolFileListNodes(&list);
            break;
        }
        case 4:
            Ext_CloseFileByFileName("VOL1:/dir/file");
            break;
        case 5:
            Ext_CloseFileByVolume("VOL1");
            break;
        default:
            Ext_CloseFileByID(7);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return share::fuzz::Initialize(true);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    share::fuzz::RunSelected({data, size}, Run);
    return 0;
}
