// A caller's share record with every text set (name "S", volume "VOL1", path "/d", comment "c",
// new name "N") and every change bit on: what the share functions of the management API are
// given, for the tests and the fuzz harnesses alike. Header only, so the harnesses need no test
// support library.
#pragma once

#include <cstdint>
#include <cstring>

#include "shareadmin/api.h"

namespace share::test {

class CallerShare {
  public:
    CallerShare() {
        std::memcpy(raw_ + SHARE_INFO_FIXED_SIZE, "S\0VOL1\0/d\0c\0N\0", 15);
        ShareInfo *i = get();
        i->volumeOffset = 2;
        i->pathOffset = 7;
        i->commentOffset = 10;
        i->newNameOffset = 12;
        i->stringBytes = 15;
        i->modifyMask = SHARE_MODIFY_NEW_NAME | SHARE_MODIFY_PATH | SHARE_MODIFY_COMMENT |
                        SHARE_MODIFY_ENCRYPT_DATA | SHARE_MODIFY_FOLDER_REDIRECTION |
                        SHARE_MODIFY_ATM_BACKUP;
        i->encryptData = 1;
    }
    ShareInfo *get() { return reinterpret_cast<ShareInfo *>(raw_); }

  private:
    alignas(8) uint8_t raw_[SHARE_INFO_FIXED_SIZE + 32] = {};
};

}  // namespace share::test
