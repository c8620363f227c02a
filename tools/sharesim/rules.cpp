// SPDX-License-Identifier: Apache-2.0
#include "sharesim/rules.h"

#include <algorithm>
#include <cctype>

namespace share::sim {

bool ValidVolumeName(std::string_view name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '$' ||
               c == '.';
    });
}

bool PrintableText(std::string_view text, size_t maxLen) {
    return text.size() <= maxLen && std::none_of(text.begin(), text.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
           });
}

bool ValidShareName(std::string_view name) {
    if (name.empty() || name.size() > 80 || !PrintableText(name, 80)) return false;
    if (name.front() == ' ' || name.back() == ' ') return false;
    if (name.find_first_of("\\/:*?\"<>|") != std::string_view::npos) return false;
    return name.find_first_not_of('.') != std::string_view::npos;
}

std::optional<std::string> NormalisePath(std::string_view path) {
    if (path.empty()) return "/";
    if (path.front() != '/' || path.size() > 511 || !PrintableText(path, 511)) return std::nullopt;
    if (path.find('\\') != std::string_view::npos) return std::nullopt;
    std::string out;
    size_t at = 0;
    while (at < path.size()) {
        const size_t next = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, next - at);
        if (part == "." || part == "..") return std::nullopt;
        if (!part.empty()) {
            out += '/';
            out += part;
        }
        at = next + 1;
    }
    return out.empty() ? "/" : out;
}

OptionValue DefaultOptionValue(const tools::StoredOption &optionRow) {
    return {optionRow.defaultNumber, optionRow.defaultText ? optionRow.defaultText : ""};
}

bool ValidOptionValue(const tools::StoredOption &optionRow, const OptionValue &value) {
    using tools::ValueKind;
    if (optionRow.kind == ValueKind::kText || optionRow.kind == ValueKind::kField) {
        if (optionRow.keywords.empty()) return PrintableText(value.text, optionRow.width - 1);
        return std::any_of(optionRow.keywords.begin(), optionRow.keywords.end(),
                           [&](const tools::Keyword &k) { return value.text == k.word; });
    }
    if (!optionRow.keywords.empty()) {
        // The default may lie outside the keywords (read proxy off): accept it too.
        return value.number == optionRow.defaultNumber ||
               std::any_of(optionRow.keywords.begin(), optionRow.keywords.end(),
                           [&](const tools::Keyword &k) { return value.number == k.value; });
    }
    return value.number >= optionRow.min && value.number <= optionRow.max;
}

}  // namespace share::sim
