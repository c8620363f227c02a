// SPDX-License-Identifier: Apache-2.0
// User audit records through libaudit. The channel is closed (cifs_laf_fd negative) until the
// host opens it with cifs_audit_init, and open only while auditing is enabled.
#include <libaudit.h>

#include "protocol/log.h"

namespace {

void CloseChannel() noexcept {
    audit_close(cifs_laf_fd);
    cifs_laf_fd = -1;
}

}  // namespace

extern "C" SHARE_API void cifs_audit_init(void) noexcept {
    // Opening again must not leak the channel that is already open.
    if (cifs_laf_fd >= 0) CloseChannel();
    cifs_laf_fd = audit_open();
    if (cifs_laf_fd < 0) {
        SHARE_LOG(CIFS_LOG_CRITICAL, CIFS_MODULE_UTILS, "Unable open audit");
        return;
    }
    if (CifsAuditEnabled == 1) {
        (void)audit_set_enabled(cifs_laf_fd, 1);
        return;
    }
    SHARE_LOG(CIFS_LOG_DEBUG, CIFS_MODULE_UTILS, "audit log not enabled");
    CloseChannel();
}

extern "C" SHARE_API void cifs_audit(const char *message, int type) noexcept {
    if (cifs_laf_fd < 0 || CifsAuditEnabled == 0 || message == nullptr) return;
    if (audit_log_user_message(cifs_laf_fd, type, message, nullptr, nullptr, nullptr, 1) < 0)
        SHARE_LOG(CIFS_LOG_DEBUG, CIFS_MODULE_UTILS, "audit_log_user_message failed for %d \n",
                  type);
}

extern "C" SHARE_API void cifs_audit_close(void) noexcept {
    if (cifs_laf_fd >= 0) CloseChannel();
}
