// SPDX-License-Identifier: Apache-2.0
// The calling thread's argument block (gbCifsArg) as the tests, the hardening runs and the fuzz
// harnesses fill, clear and inspect it. Header only: no GoogleTest.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "shareadmin/command.h"

namespace share::test {

// One entry to write: a code and a value (a heap copy is written; null stays null).
struct Arg {
    int32_t id;
    std::optional<std::string> value;
};

inline Arg A(int32_t id) {
    return Arg{id, std::nullopt};
}
inline Arg A(int32_t id, std::string value) {
    return Arg{id, std::move(value)};
}

// Frees whatever the block still holds and zeroes it.
inline void ClearArgBlock() {
    for (CifsArgEntry &e : gbCifsArg) {
        std::free(e.value);
        e = CifsArgEntry{};
    }
}

// Clears the block, then writes the entries in order; the zeroed entry after them ends the list.
// Returns the pointers written, by entry index.
inline std::vector<char *> FillArgBlock(const std::vector<Arg> &args) {
    ClearArgBlock();
    std::vector<char *> written;
    int i = 0;
    for (const Arg &a : args) {
        gbCifsArg[i].id = a.id;
        gbCifsArg[i].value = a.value ? strdup(a.value->c_str()) : nullptr;
        written.push_back(gbCifsArg[i].value);
        ++i;
    }
    return written;
}

// Ids of entries 0..n-1 of the block.
inline std::vector<int32_t> ArgBlockIds(int n) {
    std::vector<int32_t> ids;
    for (int i = 0; i < n; ++i) ids.push_back(gbCifsArg[i].id);
    return ids;
}

// True when no entry of the block holds a value.
inline bool ArgBlockValuesCleared() {
    for (const CifsArgEntry &e : gbCifsArg)
        if (e.value != nullptr) return false;
    return true;
}

}  // namespace share::test
