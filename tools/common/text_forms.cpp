// SPDX-License-Identifier: Apache-2.0
#include "common/text_forms.h"

#include <algorithm>
#include <cctype>

namespace share::tools {

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool ShareNameForm(std::string_view name) {
    if (HasControl(name) || name.find_first_of(kShareNameReserved) != std::string_view::npos)
        return false;
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) return false;
    return name.find_first_not_of('.') != std::string_view::npos;
}

bool InterfaceNameForm(std::string_view name) {
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ||
               c == ':' || c == '@';
    });
}

bool PathForm(std::string_view path) {
    if (path.empty() || path.front() != '/' || HasControl(path) ||
        path.find('\\') != std::string_view::npos)
        return false;
    size_t at = 0;
    while (at < path.size()) {
        const size_t next = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, next - at);
        if (part == "." || part == "..") return false;
        at = next + 1;
    }
    return true;
}

}  // namespace share::tools
