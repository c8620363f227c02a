// SPDX-License-Identifier: Apache-2.0
// Logging: the exported steering variables and the one formatter every message goes through.
#include "protocol/log.h"

#include <syslog.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

extern "C" {

SHARE_API uint32_t gCIFSLogLevel =
    CIFS_LOG_EVENT | CIFS_LOG_CRITICAL | CIFS_LOG_ERROR | CIFS_LOG_WARNING;

SHARE_API const char *cifsLogModules[16] = {
    "UTILS", "ENTRY", "BROWSER", "NBNS", "SESSION", "AUTH", "VERB", "VERBS",
    "CODIR", "CLI",   "SMB",     "RPC",  "CLUSTER", "DCNC", "ADS",  "NTLM_LIB",
};

SHARE_API uint8_t CifsAuditEnabled = 1;
SHARE_API int32_t cifs_laf_fd = -1;

// Storage other components of the host link against; nothing here touches it.
alignas(16) SHARE_API unsigned char uniCrt[96];
alignas(8) SHARE_API unsigned char gDomainSidLock[56];

}  // extern "C"

namespace {

// Line buffer of the formatter: 512 characters and the terminating NUL.
constexpr size_t kLineSize = 513;
// Longest caller format accepted: the line must still hold the longest prefix, which is
// "CRITICAL: " plus an eight-letter module name and ": " (20 characters).
constexpr size_t kMaxFormat = 487;
constexpr int kOverflowPriority = LOG_LOCAL0 | LOG_EMERG;

struct LevelStyle {
    int level;
    const char *prefix;  // printf format taking the module name and the caller's format
    int priority;
};

constexpr std::array<LevelStyle, 7> kLevels{{
    {CIFS_LOG_EVENT, "EVENT: %s: %s", LOG_LOCAL0 | LOG_INFO},
    {CIFS_LOG_CRITICAL, "CRITICAL: %s: %s", LOG_LOCAL0 | LOG_CRIT},
    {CIFS_LOG_ERROR, "ERROR: %s: %s", LOG_LOCAL0 | LOG_INFO},
    {CIFS_LOG_WARNING, "WARNING: %s: %s", LOG_LOCAL0 | LOG_INFO},
    {CIFS_LOG_ALERT, "ALERT: %s: %s", LOG_LOCAL0 | LOG_ALERT},
    {CIFS_LOG_INFO, "INFO: %s: %s", LOG_LOCAL0 | LOG_INFO},
    {CIFS_LOG_DEBUG, "DEBUG: %s: %s", LOG_LOCAL0 | LOG_INFO},
}};

constexpr size_t kModuleCount = sizeof cifsLogModules / sizeof cifsLogModules[0];

const LevelStyle *StyleOf(int level) noexcept {
    for (const LevelStyle &style : kLevels)
        if (style.level == level) return &style;
    return nullptr;
}

}  // namespace

extern "C" SHARE_API void cifsLogVarArgs(int level, int module, const char *fmt,
                                         va_list args) noexcept {
    if (fmt == nullptr) return;
    char line[kLineSize] = {};
    if (std::strlen(fmt) > kMaxFormat) {
        syslog(kOverflowPriority, "BUFFER OVERFLOW IN SYSLOG\n");
        return;
    }
    const LevelStyle *style = StyleOf(level);
    // An unknown module index would read outside the name table: such a call produces no line.
    if (style == nullptr || module < 0 || static_cast<size_t>(module) >= kModuleCount) return;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(line, kLineSize - 1, style->prefix, cifsLogModules[module], fmt);
    // The caller's conversions are expanded here, against the caller's arguments.
    vsyslog(style->priority, line, args);
#pragma GCC diagnostic pop
}

extern "C" SHARE_API void cifsLogExt(int level, int module, const char *fmt, ...) noexcept {
    va_list args;
    va_start(args, fmt);
    cifsLogVarArgs(level, module, fmt, args);
    va_end(args);
}

extern "C" SHARE_API void cifs_ntlmssp_callback_log(int level, const char *fmt, ...) noexcept {
    if ((static_cast<uint32_t>(level) & gCIFSLogLevel) == 0) return;
    va_list args;
    va_start(args, fmt);
    cifsLogVarArgs(level, CIFS_MODULE_NTLM_LIB, fmt, args);
    va_end(args);
}

extern "C" SHARE_API void InitializeLogs(const char *ident) noexcept {
    openlog(ident, LOG_NDELAY, LOG_LOCAL0);
}

extern "C" SHARE_API void DeinitializeLogs(void) noexcept {
    closelog();
}
