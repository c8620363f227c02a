// SPDX-License-Identifier: Apache-2.0
// The state's own operations: lookups by name or ID (names compare case-insensitively) and the
// fresh default state.
#include "sharesim/state.h"

#include <algorithm>
#include <cctype>

#include "common/server_formats.h"
#include "sharesim/rules.h"

namespace share::sim {

using tools::OptionTable;

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string ToUpper(std::string_view text) {
    std::string out(text);
    for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

const Volume *State::FindVolume(std::string_view name) const {
    for (const auto &v : volumes)
        if (IEquals(v.name, name)) return &v;
    return nullptr;
}

Share *State::FindShare(std::string_view name) {
    for (auto &s : shares)
        if (IEquals(s.name, name)) return &s;
    return nullptr;
}

const Share *State::FindShare(std::string_view name) const {
    return const_cast<State *>(this)->FindShare(name);
}

Connection *State::FindConnection(uint16_t id) {
    for (auto &c : connections)
        if (c.id == id) return &c;
    return nullptr;
}

const Connection *State::FindConnection(uint16_t id) const {
    return const_cast<State *>(this)->FindConnection(id);
}

State DefaultState(const std::vector<std::string> &volumes, const std::string &adminVolume) {
    State st;
    for (const auto &v : volumes) st.volumes.push_back({v, false});
    st.volumes.push_back({adminVolume, true});
    for (const auto &o : OptionTable()) st.options[o.name] = DefaultOptionValue(o);
    return st;
}

}  // namespace share::sim
