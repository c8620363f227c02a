// SPDX-License-Identifier: Apache-2.0
// The string helpers the parsers share; exported for the command-line tool.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "shareadmin/command.h"

namespace {

char *MappedCopy(const char *text, int (*map)(int)) noexcept {
    if (text == nullptr) return nullptr;
    const size_t n = std::strlen(text);
    auto *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy == nullptr) return nullptr;
    for (size_t i = 0; i < n; ++i)
        copy[i] = static_cast<char>(map(static_cast<unsigned char>(text[i])));
    copy[n] = '\0';
    return copy;
}

}  // namespace

extern "C" SHARE_API char *strtolower(const char *text) noexcept {
    return MappedCopy(text, [](int c) { return std::tolower(c); });
}

extern "C" SHARE_API char *strToUpper(const char *text) noexcept {
    return MappedCopy(text, [](int c) { return std::toupper(c); });
}

extern "C" SHARE_API int stripSpaces(char *text) noexcept {
    if (text == nullptr) return 0;
    // Never the first character: a text of spaces keeps one.
    for (size_t i = std::strlen(text); i > 1 && text[i - 1] == ' '; --i) text[i - 1] = '\0';
    return 0;
}

extern "C" SHARE_API int stringHasOnlyPeriods(const char *text) noexcept {
    if (text == nullptr || *text == '\0') return 0;
    return text[std::strspn(text, ".")] == '\0' ? 1 : 0;
}
