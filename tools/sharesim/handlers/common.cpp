// SPDX-License-Identifier: Apache-2.0
// Reading request elements: shared by every handler.
#include "sharesim/handlers/common.h"

#include "sharesim/rules.h"

namespace share::sim::handlers {

std::optional<std::span<const uint8_t>> Payload(const Request &req, size_t index, uint8_t type,
                                                size_t size) {
    if (index >= req.elements.size()) return std::nullopt;
    const Element &e = req.elements[index];
    if (e.type != type || (size != 0 && e.payload.size() != size)) return std::nullopt;
    return e.payload;
}

bool Shape(const Request &req, std::initializer_list<std::pair<uint8_t, size_t>> shape) {
    if (req.elements.size() != shape.size()) return false;
    size_t i = 0;
    for (const auto &[type, size] : shape)
        if (!Payload(req, i++, type, size)) return false;
    return true;
}

std::optional<std::string> OnlyText(const Request &req, uint8_t type, size_t width) {
    if (!Shape(req, {{type, width}})) return std::nullopt;
    return TextIn(req.elements[0].payload);
}

int32_t CheckName(const std::optional<std::string> &name, size_t maxLen) {
    if (!name) return tools::kMalformedRequest;
    if (name->empty() || !PrintableText(*name, maxLen)) return tools::kInvalidValue;
    return tools::kOk;
}

std::optional<VolumePath> SplitVolumePath(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    return VolumePath{std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

bool UnderPath(const std::string &path, const std::string &dir) {
    if (dir == "/") return true;
    return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                           path[dir.size()] == '/');
}

bool Switch(int32_t value) {
    return value == 0 || value == 1;
}

void Append(std::vector<uint8_t> &out, const void *data, size_t size) {
    const auto *p = static_cast<const uint8_t *>(data);
    out.insert(out.end(), p, p + size);
}

}  // namespace share::sim::handlers
