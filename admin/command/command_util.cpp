// SPDX-License-Identifier: Apache-2.0
#include "admin/command/command_util.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace share::command {

void ReleaseArg(int index) noexcept {
    std::free(gbCifsArg[index].value);
    gbCifsArg[index].value = nullptr;
}

CString NormalisedCopy(const char *value) noexcept {
    CString copy(strToUpper(value));
    if (copy) stripSpaces(copy.get());
    return copy;
}

void PrintLine(const char *text) noexcept {
    std::puts(text);
}

void Print(const char *fmt, ...) noexcept {
    va_list args;
    va_start(args, fmt);
    std::vprintf(fmt, args);
    va_end(args);
}

ParsedNumber ParseNumber(const char *text) noexcept {
    ParsedNumber result;
    char *end = nullptr;
    const int saved = errno;
    errno = 0;
    result.value = std::strtol(text, &end, 10);
    result.overflow = errno == ERANGE;
    errno = saved;
    result.trailing = *end != '\0';
    return result;
}

void CopyField(char *field, size_t size, const char *src) noexcept {
    const size_t n = strnlen(src, size - 1);
    std::memcpy(field, src, n);
    std::memset(field + n, 0, size - n);
}

void StoreInt(CmdContext *ctx, size_t offset, size_t width, int32_t value) noexcept {
    char *field = FieldAt(ctx, offset);
    if (width == 1) {
        const auto byte = static_cast<uint8_t>(value);
        std::memcpy(field, &byte, 1);
    } else {
        std::memcpy(field, &value, sizeof value);
    }
}

}  // namespace share::command
