#include "admin/command/command_util.h"

#include <cstdarg>
#include <cstdio>

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

void PrintLine(const char *text) noexcept { std::puts(text); }

void Print(const char *fmt, ...) noexcept {
    va_list args;
    va_start(args, fmt);
    std::vprintf(fmt, args);
    va_end(args);
}

void LogError(const char *fmt, ...) noexcept {
    if ((gCIFSLogLevel & CIFS_LOG_ERROR) == 0) return;
    va_list args;
    va_start(args, fmt);
    cifsLogVarArgs(CIFS_LOG_ERROR, CIFS_MODULE_CLI, fmt, args);
    va_end(args);
}

}  // namespace share::command
