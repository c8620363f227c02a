// SPDX-License-Identifier: Apache-2.0
#include "sharesim/rules.h"

#include <algorithm>
#include <cctype>

#include "common/text_forms.h"

namespace share::sim {

bool ValidVolumeName(std::string_view name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '$' ||
               c == '.';
    });
}

bool PrintableText(std::string_view text, size_t maxLen) {
    return text.size() <= maxLen && !tools::HasControl(text);
}

bool ValidShareName(std::string_view name) {
    return !name.empty() && name.size() <= 80 && tools::ShareNameForm(name);
}

std::optional<std::string> NormalisePath(std::string_view path) {
    if (path.empty()) return "/";
    if (path.size() > 511 || !tools::PathForm(path)) return std::nullopt;
    std::string out;
    size_t at = 0;
    while (at < path.size()) {
        const size_t next = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, next - at);
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
